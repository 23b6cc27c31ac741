#include "named_data.h"

#include "com/com_object.h"
#include "file_mapping.h"
#include "named_data_node.h"
#include "com/type_library.h"
#include "text.h"
#include "tree_node.h"
#include "xml_reader.h"
#include "xml_text.h"
#include "xml_writer.h"

#include <filesystem>
#include <fstream>
#include <new>

namespace {

class CNamedData final : public IGenericData {
public:
    static const ComInterfaceEntry kInterfaces[];
    COM_IUNKNOWN_METHODS(CNamedData)
    COM_TYPELIB_DISPATCH_METHODS(IGenericData, IID_IGenericData)

    HRESULT STDMETHODCALLTYPE Load(BSTR bstrXML) override {
        UINT length = SysStringLen(bstrXML);
        if (length == 0) {
            root_.reset();
            return S_FALSE;
        }
        return Replace(bstrXML, length * sizeof(OLECHAR), XmlBytes::Utf16Text);
    }

    HRESULT STDMETHODCALLTYPE GetRootNode(IGenericDataNode** lppRootNode) override {
        if (!lppRootNode) return E_INVALIDARG;
        *lppRootNode = nullptr;
        if (!root_) {
            try {
                root_ = MakeTree();
            } catch (const std::bad_alloc&) {
                return E_OUTOFMEMORY;
            }
        }
        return CreateNodeObject(root_, root_.get(), lppRootNode);
    }

    HRESULT STDMETHODCALLTYPE LoadFromFile(BSTR bstrFilePathName) override {
        ReadOnlyFileMapping file;
        // A missing or unreadable file holds no document element.
        if (!file.Open(WideString(BstrView(bstrFilePathName))) || file.size() == 0) return S_FALSE;
        return Replace(file.data(), file.size(), XmlBytes::File);
    }

    HRESULT STDMETHODCALLTYPE SaveToFile(BSTR bstrFilePathName) override {
        if (!bstrFilePathName || !root_) return E_INVALIDARG;
        try {
            std::string text = WriteTreeAsXml(*root_, XmlTemplate::File);
            std::ofstream out(std::filesystem::path(WideString(BstrView(bstrFilePathName))),
                              std::ios::binary | std::ios::trunc);
            if (!out) return E_ACCESSDENIED;
            out.write(text.data(), static_cast<std::streamsize>(text.size()));
            out.close();
            return out ? S_OK : E_FAIL;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT STDMETHODCALLTYPE ToXMLString(BSTR* pbstrXML) override {
        if (!pbstrXML || !root_) return E_INVALIDARG;
        *pbstrXML = nullptr;
        try {
            BSTR text = Utf8ToBstr(WriteTreeAsXml(*root_, XmlTemplate::Text));
            if (!text) return E_OUTOFMEMORY;
            *pbstrXML = text;
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

private:
    ~CNamedData() = default;

    // A successful read replaces the tree whole; node objects on the old
    // tree answer E_FAIL from then on. Anything else leaves it in place.
    HRESULT Replace(const void* bytes, size_t size, XmlBytes kind) {
        TreeRef fresh;
        HRESULT hr = ReadTreeFromXml(bytes, size, kind, &fresh);
        if (hr == S_OK) root_ = std::move(fresh);
        return hr;
    }

    TreeRef root_; // null until loaded or asked for
    ComRefCount refs_;
    ComLiveObject live_;
};

const ComInterfaceEntry CNamedData::kInterfaces[] = {
    COM_INTERFACE_ENTRY(CNamedData, IGenericData, IID_IGenericData),
    COM_INTERFACE_ENTRY(CNamedData, IDispatch, IID_IDispatch),
    {nullptr, 0},
};

} // namespace

HRESULT CreateGenericData(REFIID iid, void** out) {
    auto* document = new (std::nothrow) CNamedData;
    if (!document) return E_OUTOFMEMORY;
    HRESULT hr = document->QueryInterface(iid, out);
    document->Release();
    return hr;
}
