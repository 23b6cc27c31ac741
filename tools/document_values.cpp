#include "tools/document_values.h"

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "text.h"

#include <cmath>

HRESULT SetDocumentValue(IGenericData* document, const std::string& path, VARTYPE type, double value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = type;
    if (type == VT_R4)
        v.fltVal = static_cast<float>(value);
    else if (type == VT_R8)
        v.dblVal = value;
    else
        v.intVal = static_cast<int32_t>(value);
    ComPtr<IGenericDataNode> root;
    HRESULT hr = document->GetRootNode(root.Put());
    if (FAILED(hr)) return hr;
    BStr name(Utf8ToUtf16(path));
    return root->SetChildValue(name.Get(), v);
}

HRESULT SetDocumentText(IGenericData* document, const std::string& path, const std::string& text) {
    ComPtr<IGenericDataNode> root;
    HRESULT hr = document->GetRootNode(root.Put());
    if (FAILED(hr)) return hr;
    BStr value(Utf8ToUtf16(text));
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = value.Get();
    BStr name(Utf8ToUtf16(path));
    return root->SetChildValue(name.Get(), v);
}

std::string DocumentText(IGenericData* document, const std::string& path) {
    ComPtr<IGenericDataNode> root;
    BStr name(Utf8ToUtf16(path));
    VARIANT v;
    VariantInit(&v);
    std::string text;
    if (SUCCEEDED(document->GetRootNode(root.Put())) && SUCCEEDED(root->GetChildValue(name.Get(), &v)) &&
        SUCCEEDED(VariantChangeType(&v, &v, 0, VT_BSTR)))
        text = Utf16ToUtf8(BstrView(v.bstrVal));
    VariantClear(&v);
    return text;
}

double DocumentValue(IGenericData* document, const std::string& path) {
    ComPtr<IGenericDataNode> root;
    BStr name(Utf8ToUtf16(path));
    VARIANT v;
    VariantInit(&v);
    double number = std::nan("");
    if (SUCCEEDED(document->GetRootNode(root.Put())) && SUCCEEDED(root->GetChildValue(name.Get(), &v)) &&
        SUCCEEDED(VariantChangeType(&v, &v, 0, VT_R8)))
        number = v.dblVal;
    VariantClear(&v);
    return number;
}
