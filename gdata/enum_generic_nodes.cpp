#include "enum_generic_nodes.h"

#include "com/com_object.h"
#include "named_data_node.h"
#include "com/type_library.h"

#include <new>

namespace {

class CEnumGenericNodes final : public IEnumGenericNodes {
public:
    explicit CEnumGenericNodes(const TreeRef& node) : node_(node), next_(node->children->begin()) {}
    static const ComInterfaceEntry kInterfaces[];
    COM_IUNKNOWN_METHODS(CEnumGenericNodes)
    COM_TYPELIB_DISPATCH_METHODS(IEnumGenericNodes, IID_IEnumGenericNodes)

    HRESULT STDMETHODCALLTYPE Next(BSTR* lpsNodeName, IGenericDataNode** lppNode) override {
        TreeRef node = node_.lock();
        // The map iterator stays valid while the tree lives: children are
        // only ever added, and additions keep iterators.
        if (!node || next_ == node->children->end()) return E_FAIL;
        BSTR name = nullptr;
        if (lpsNodeName) {
            name = SysAllocStringLen(next_->first.data(), static_cast<UINT>(next_->first.size()));
            if (!name) return E_OUTOFMEMORY;
        }
        if (lppNode) {
            HRESULT hr = CreateNodeObject(node, &next_->second, lppNode);
            if (FAILED(hr)) {
                SysFreeString(name);
                return hr;
            }
        }
        if (lpsNodeName) *lpsNodeName = name;
        ++next_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Reset() override {
        TreeRef node = node_.lock();
        if (!node || !node->children) return E_FAIL;
        next_ = node->children->begin();
        return S_OK;
    }

private:
    ~CEnumGenericNodes() = default;
    std::weak_ptr<TreeNode> node_;
    TreeNode::ChildMap::iterator next_;
    ComRefCount refs_;
    ComLiveObject live_;
};

const ComInterfaceEntry CEnumGenericNodes::kInterfaces[] = {
    COM_INTERFACE_ENTRY(CEnumGenericNodes, IEnumGenericNodes, IID_IEnumGenericNodes),
    COM_INTERFACE_ENTRY(CEnumGenericNodes, IDispatch, IID_IDispatch),
    {nullptr, 0},
};

} // namespace

HRESULT CreateNodeEnumerator(const TreeRef& node, IDispatch** out) {
    *out = nullptr;
    auto* object = new (std::nothrow) CEnumGenericNodes(node);
    if (!object) return E_OUTOFMEMORY;
    *out = object;
    return S_OK;
}
