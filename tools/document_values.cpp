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
