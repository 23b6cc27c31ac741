#include "named_data_node.h"

#include "com/com_object.h"
#include "enum_generic_nodes.h"
#include "com/type_library.h"
#include "text.h"

#include <new>

namespace {

class CNamedDataNode final : public IGenericDataNode {
public:
    explicit CNamedDataNode(std::weak_ptr<TreeNode> node) : node_(std::move(node)) {}
    static const ComInterfaceEntry kInterfaces[];
    COM_IUNKNOWN_METHODS(CNamedDataNode)
    COM_TYPELIB_DISPATCH_METHODS(IGenericDataNode, IID_IGenericDataNode)

    HRESULT STDMETHODCALLTYPE AddChild(BSTR sName, IGenericDataNode** lppNode) override {
        TreeRef node = node_.lock();
        if (!node) return E_FAIL;
        if (!lppNode) return E_INVALIDARG;
        *lppNode = nullptr;
        if (SysStringLen(sName) == 0) return E_FAIL;
        try {
            TreeNode& child = FindOrAddChild(*node, BstrView(sName));
            return CreateNodeObject(node, &child, lppNode);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT STDMETHODCALLTYPE GetChild(BSTR sFieldName, IGenericDataNode** lppNode) override {
        TreeRef node = node_.lock();
        if (!node) return E_FAIL;
        TreeNode* child = ResolvePath(*node, BstrView(sFieldName));
        if (!child) return E_FAIL;
        if (!lppNode) return E_POINTER;
        return CreateNodeObject(node, child, lppNode);
    }

    HRESULT STDMETHODCALLTYPE SetValue(VARIANT val) override {
        TreeRef node = node_.lock();
        if (!node) return E_FAIL;
        return VariantCopy(&node->value, &val);
    }

    HRESULT STDMETHODCALLTYPE GetValue(VARIANT* pval) override {
        TreeRef node = node_.lock();
        if (!node) return E_FAIL;
        if (!pval) return E_INVALIDARG;
        return VariantCopy(pval, &node->value);
    }

    HRESULT STDMETHODCALLTYPE AddChildWithValue(BSTR sName, VARIANT val) override {
        TreeRef node = node_.lock();
        if (!node) return E_FAIL;
        if (SysStringLen(sName) == 0) return E_FAIL;
        try {
            return VariantCopy(&FindOrAddChild(*node, BstrView(sName)).value, &val);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT STDMETHODCALLTYPE GetChildValue(BSTR sFieldName, VARIANT* pval) override {
        TreeRef node = node_.lock();
        if (!node) return E_FAIL;
        TreeNode* child = ResolvePath(*node, BstrView(sFieldName));
        if (!child || !pval) return E_INVALIDARG;
        return VariantCopy(pval, &child->value);
    }

    HRESULT STDMETHODCALLTYPE SetChildValue(BSTR sFieldName, VARIANT val) override {
        TreeRef node = node_.lock();
        if (!node) return E_FAIL;
        TreeNode* child = ResolvePath(*node, BstrView(sFieldName));
        if (!child) return E_INVALIDARG;
        return VariantCopy(&child->value, &val);
    }

    HRESULT STDMETHODCALLTYPE Children(IDispatch** lppNodeCollection) override {
        TreeRef node = node_.lock();
        if (!node) return E_FAIL;
        if (!node->children) return E_NOINTERFACE;
        if (!lppNodeCollection) return E_INVALIDARG;
        return CreateNodeEnumerator(node, lppNodeCollection);
    }

    TreeRef Node() const { return node_.lock(); }

private:
    ~CNamedDataNode() = default;
    std::weak_ptr<TreeNode> node_;
    ComRefCount refs_;
    ComLiveObject live_;
};

const ComInterfaceEntry CNamedDataNode::kInterfaces[] = {
    COM_INTERFACE_ENTRY(CNamedDataNode, IGenericDataNode, IID_IGenericDataNode),
    COM_INTERFACE_ENTRY(CNamedDataNode, IDispatch, IID_IDispatch),
    {nullptr, 0},
};

} // namespace

HRESULT CreateNodeObject(const TreeRef& owner, TreeNode* node, IGenericDataNode** out) {
    *out = nullptr;
    auto* object = new (std::nothrow) CNamedDataNode(TreeRef(owner, node));
    if (!object) return E_OUTOFMEMORY;
    *out = object;
    return S_OK;
}

TreeRef OwnTreeNode(IGenericDataNode* node) {
    auto* own = dynamic_cast<CNamedDataNode*>(node);
    return own ? own->Node() : nullptr;
}
