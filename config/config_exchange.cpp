// The values of the configuration documents, field by field: the layout of
// "SysCfgData.xml" in both directions and the host's "VarelConfig" form.
// A value that is missing or does not convert leaves its field as it is.
#include "config/varel_system_config.h"

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "com/variant.h"

#include <cstdio>
#include <vector>

namespace {

struct Field {
    WideString name;
    VARTYPE type; // VT_I4, VT_UI4, VT_R4 or VT_UI8
    void* at;
};

WideString Name(const char* format, uint32_t index) {
    char text[96];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(index));
    return Utf8ToUtf16(text);
}

void LoadField(IGenericDataNode* node, const Field& field) {
    Variant value, converted;
    if (node->GetChildValue(BStr(field.name).Get(), &value) != S_OK) return;
    if (FAILED(VariantChangeType(&converted, &value, 0, field.type))) return;
    switch (field.type) {
    case VT_I4: *static_cast<int32_t*>(field.at) = converted.lVal; break;
    case VT_UI4: *static_cast<uint32_t*>(field.at) = converted.ulVal; break;
    case VT_R4: *static_cast<float*>(field.at) = converted.fltVal; break;
    case VT_UI8: *static_cast<uint64_t*>(field.at) = converted.ullVal; break;
    }
}

HRESULT StoreField(IGenericDataNode* node, const Field& field) {
    VARIANT value;
    VariantInit(&value);
    value.vt = field.type;
    switch (field.type) {
    case VT_I4: value.lVal = *static_cast<int32_t*>(field.at); break;
    case VT_UI4: value.ulVal = *static_cast<uint32_t*>(field.at); break;
    case VT_R4: value.fltVal = *static_cast<float*>(field.at); break;
    case VT_UI8: value.ullVal = *static_cast<uint64_t*>(field.at); break;
    }
    return node->AddChildWithValue(BStr(field.name).Get(), value);
}

std::vector<Field> ChannelFields(ChannelConfigEntry& entry, const WideString& prefix,
                                 const WCHAR* const names[4]) {
    return {{prefix + names[0], VT_UI4, &entry.uSignalType},
            {prefix + names[1], VT_I4, &entry.bIsVolt},
            {prefix + names[2], VT_R4, &entry.fPrimary},
            {prefix + names[3], VT_R4, &entry.fSecondary}};
}

} // namespace

HRESULT CVarelSystemConfig::Exchange(IGenericDataNode* set, bool storing) {
    static const WCHAR* const kChannelNames[4] = {OLESTR("SignalType"), OLESTR("IsVolt"), OLESTR("Primary"),
                                                  OLESTR("Secondary")};
    for (uint32_t ch = 0; ch < kConfigChannels; ++ch) {
        const WideString node = Name(ch < kConfigSlots ? "U%u" : "I%u", ch % kConfigSlots);
        ComPtr<IGenericDataNode> slot;
        const HRESULT found = storing ? set->AddChild(BStr(node).Get(), slot.Put())
                                      : set->GetChild(BStr(node).Get(), slot.Put());
        if (found != S_OK) {
            if (storing) return found;
            continue;
        }
        for (const Field& field : ChannelFields(channels[ch], WideString(), kChannelNames)) {
            if (!storing) {
                LoadField(slot.Get(), field);
                continue;
            }
            if (HRESULT hr = StoreField(slot.Get(), field); FAILED(hr)) return hr;
        }
    }
    std::vector<Field> fields = {{OLESTR("bShowPrimary"), VT_I4, &settings.bShowPrimary},
                                 {OLESTR("Fre"), VT_R4, &settings.Fre},
                                 {OLESTR("bStop61850"), VT_I4, &settings.bStop61850},
                                 {OLESTR("GPS_TimeMode"), VT_UI8, &settings.GPS_TimeMode},
                                 {OLESTR("D_URANGE"), VT_R4, &settings.U_Range},
                                 {OLESTR("D_IRANGE"), VT_R4, &settings.I_Range}};
    for (uint32_t i = 0; i < kConfigSlots; ++i) {
        fields.push_back({Name("M_U1_%u", i), VT_R4, &settings.U1[i]});
        fields.push_back({Name("M_U2_%u", i), VT_R4, &settings.U2[i]});
    }
    for (uint32_t i = 0; i < kConfigSlots; ++i) {
        fields.push_back({Name("M_I1_%u", i), VT_R4, &settings.I1[i]});
        fields.push_back({Name("M_I2_%u", i), VT_R4, &settings.I2[i]});
    }
    for (const Field& field : fields) {
        if (!storing) {
            LoadField(set, field);
            continue;
        }
        if (HRESULT hr = StoreField(set, field); FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CVarelSystemConfig::ReadVarelConfigInfo(IGenericData* document) {
    if (!document) return E_INVALIDARG;
    ComPtr<IGenericDataNode> root;
    if (FAILED(document->GetRootNode(root.Put()))) return E_FAIL;
    static const WCHAR* const kEntryNames[4] = {OLESTR("uSignalType"), OLESTR("bIsVolt"), OLESTR("fPrimary"),
                                                OLESTR("fSecondary")};
    std::vector<Field> fields;
    for (uint32_t ch = 0; ch < kConfigChannels; ++ch) {
        const char* group =
            ch < kConfigSlots ? "VarelConfig.ChannelCfgData.Volt.%u." : "VarelConfig.ChannelCfgData.Curr.%u.";
        for (const Field& field : ChannelFields(channels[ch], Name(group, ch % kConfigSlots), kEntryNames))
            fields.push_back(field);
    }
    const WideString system = OLESTR("VarelConfig.SystemSetData.");
    fields.push_back({system + OLESTR("bShowPrimary"), VT_I4, &settings.bShowPrimary});
    fields.push_back({system + OLESTR("Fre"), VT_R4, &settings.Fre});
    fields.push_back({system + OLESTR("bStop61850"), VT_I4, &settings.bStop61850});
    fields.push_back({system + OLESTR("GPS_TimeMode"), VT_UI8, &settings.GPS_TimeMode});
    for (uint32_t i = 0; i < kConfigSlots; ++i) {
        const WideString volt = Name("VarelConfig.SystemSetData.Small_Signal.Volt.%u.", i);
        const WideString curr = Name("VarelConfig.SystemSetData.Small_Signal.Curr.%u.", i);
        fields.push_back({volt + OLESTR("U1"), VT_R4, &settings.U1[i]});
        fields.push_back({volt + OLESTR("U2"), VT_R4, &settings.U2[i]});
        fields.push_back({curr + OLESTR("I1"), VT_R4, &settings.I1[i]});
        fields.push_back({curr + OLESTR("I2"), VT_R4, &settings.I2[i]});
    }
    fields.push_back({system + OLESTR("Optical_Signal.U_Range"), VT_R4, &settings.U_Range});
    fields.push_back({system + OLESTR("Optical_Signal.I_Range"), VT_R4, &settings.I_Range});
    for (const Field& field : fields) LoadField(root.Get(), field);
    return S_OK;
}
