#include "gps_params.h"

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "com/variant.h"

#include <climits>

namespace {

struct Field {
    const WCHAR* name;
    int32_t GpsParams::*member;
};
const Field kFields[] = {
    {OLESTR("GpsPos"), &GpsParams::GpsPos},     {OLESTR("BaudRate"), &GpsParams::BaudRate},
    {OLESTR("Parity"), &GpsParams::Parity},     {OLESTR("StopBits"), &GpsParams::StopBits},
    {OLESTR("DataBits"), &GpsParams::DataBits}, {OLESTR("nComNo"), &GpsParams::nComNo}};

struct TextKey {
    const WCHAR* key;
    int32_t GpsParams::*member;
};
const TextKey kTextKeys[] = {{OLESTR("GPSPOS="), &GpsParams::GpsPos},
                             {OLESTR("COM="), &GpsParams::nComNo},
                             {OLESTR("BAUDRATE="), &GpsParams::BaudRate},
                             {OLESTR("STOPBITS="), &GpsParams::StopBits},
                             {OLESTR("DATABITS="), &GpsParams::DataBits}};

// A decimal number at the start of text: an optional sign, then digits.
int32_t LeadingNumber(WideStringView text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > int64_t(INT32_MAX) + 1) value = int64_t(INT32_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    return static_cast<int32_t>(value);
}

int32_t ParityOf(WideStringView value) {
    int32_t parity = 0;
    if (value.find(OLESTR("NO")) != WideStringView::npos) parity = 0;
    if (value.find(OLESTR("ODD")) != WideStringView::npos) parity = 1;
    if (value.find(OLESTR("EVEN")) != WideStringView::npos) parity = 2;
    return parity;
}

} // namespace

GpsTextStatus ParseGpsParamText(WideStringView text, GpsParams* params) {
    GpsParams parsed{0, 0, 0, 0, 0, 0};
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u';', start);
        if (end == WideStringView::npos) return {GpsTextStatus::MissingSemicolon, text.size()};
        WideStringView item = text.substr(start, end - start);
        if (item.empty()) return {GpsTextStatus::EmptyItem, start};
        if (item.find(u'=') == WideStringView::npos) return {GpsTextStatus::MissingEquals, start};
        for (const TextKey& key : kTextKeys) {
            size_t at = item.find(key.key);
            if (at != WideStringView::npos)
                parsed.*key.member = LeadingNumber(item.substr(at + WideLength(key.key)));
        }
        size_t parity = item.find(OLESTR("PARITY="));
        if (parity != WideStringView::npos) parsed.Parity = ParityOf(item.substr(parity + 7));
        start = end + 1;
    }
    *params = parsed;
    return {};
}

HRESULT WriteGpsParamsDocument(const GpsParams& params, IGenericData** document) {
    if (!document) return E_POINTER;
    *document = nullptr;
    ComPtr<IGenericData> created;
    HRESULT hr = CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData,
                                  created.PutVoid());
    if (FAILED(hr)) return hr;
    ComPtr<IGenericDataNode> root, node;
    if (FAILED(hr = created->GetRootNode(root.Put()))) return hr;
    if (FAILED(hr = root->AddChild(BStr(OLESTR("GPSParams")).Get(), node.Put()))) return hr;
    Variant type;
    type.vt = VT_BSTR;
    type.bstrVal = SysAllocString(OLESTR("VarelStruct_GPS"));
    if (FAILED(hr = node->SetValue(type))) return hr;
    for (const Field& field : kFields) {
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_I4;
        value.lVal = params.*field.member;
        if (FAILED(hr = node->AddChildWithValue(BStr(field.name).Get(), value))) return hr;
    }
    *document = created.Detach();
    return S_OK;
}

bool ReadGpsParamsDocument(IUnknown* object, GpsParams* params) {
    if (!object) return false;
    ComPtr<IGenericData> document;
    ComPtr<IGenericDataNode> root, node;
    if (FAILED(object->QueryInterface(IID_IGenericData, document.PutVoid())) ||
        FAILED(document->GetRootNode(root.Put())) || !root ||
        FAILED(root->GetChild(BStr(OLESTR("GPSParams")).Get(), node.Put())) || !node)
        return false;
    for (const Field& field : kFields) {
        Variant value, number;
        if (FAILED(node->GetChildValue(BStr(field.name).Get(), &value)) || value.vt == VT_EMPTY) continue;
        if (SUCCEEDED(VariantChangeType(&number, &value, 0, VT_I4))) params->*field.member = number.lVal;
    }
    return true;
}
