#include "config/varel_system_config.h"

#include "calib/adj_page.h"
#include "com/bstr.h"
#include "com/com_ptr.h"
#include "file_attributes.h"
#include "window.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const WCHAR* kSetNode = OLESTR("VarelSystemSet");

void ShowFailure(const char* format, HRESULT hr, const WideString& path) {
    char text[1024];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(hr), Utf16ToUtf8(path).c_str());
    MessageBoxW(GetActiveWindow(), Utf8ToUtf16(text).c_str(), OLESTR("提示"), MB_OK);
}

HRESULT NewDocument(ComPtr<IGenericData>* document) {
    return CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData,
                            document->PutVoid());
}

} // namespace

CVarelSystemConfig::CVarelSystemConfig() : CVarelConfig_Struct() {
    for (uint32_t i = 0; i < kConfigSlots; ++i) {
        channels[i] = ChannelConfigEntry{kSignalAmplifier, 1, 220.0f, 100.0f};
        channels[kConfigSlots + i] = ChannelConfigEntry{kSignalAmplifier, 0, 1000.0f, 1.0f};
        settings.U1[i] = 1000.0f;
        settings.U2[i] = 1.0f;
        settings.I1[i] = 1000.0f;
        settings.I2[i] = 1.0f;
    }
    settings.bShowPrimary = 0;
    settings.Fre = 50.0f;
    settings.U_Range = 130.0f;
    settings.I_Range = 40.0f;
    settings.bStop61850 = 0;
    settings.GPS_TimeMode = 1;
    baseDeviceInfo.voltageChannels = 6;
    baseDeviceInfo.currentChannels = 6;
    baseDeviceInfo.word60 = 16;
    baseDeviceInfo.word64 = 16;
    baseDeviceInfo.value68 = 120.0f;
    baseDeviceInfo.value72 = 30.0f;
    baseDeviceInfo.value76 = 10.0f;
    baseDeviceInfo.dspVersion = 1000.0f;
    baseDeviceInfo.value84 = 300.0f;
    baseDeviceInfo.value88 = 20.0f;
    baseDeviceInfo.value92 = 57.735f;
    baseDeviceInfo.value96 = 0.0f;
    baseDeviceInfo.value100 = 50.0f;
}

HRESULT CVarelSystemConfig::LoadFromDocument(IGenericData* document) {
    if (!document) return E_INVALIDARG;
    ComPtr<IGenericDataNode> root, set;
    if (FAILED(document->GetRootNode(root.Put()))) return E_FAIL;
    if (root->GetChild(BStr(kSetNode).Get(), set.Put()) != S_OK) return E_FAIL;
    return Exchange(set.Get(), false);
}

HRESULT CVarelSystemConfig::SaveToDocument(IGenericData* document) {
    if (!document) return E_INVALIDARG;
    ComPtr<IGenericDataNode> root, set;
    if (FAILED(document->GetRootNode(root.Put())) || root->AddChild(BStr(kSetNode).Get(), set.Put()) != S_OK)
        return E_FAIL;
    return Exchange(set.Get(), true);
}

HRESULT CVarelSystemConfig::LoadFile(const WideString& path) {
    ComPtr<IGenericData> document;
    HRESULT hr = NewDocument(&document);
    if (SUCCEEDED(hr)) {
        hr = document->LoadFromFile(BStr(path).Get());
        if (hr == S_OK)
            hr = LoadFromDocument(document.Get());
        else if (SUCCEEDED(hr))
            hr = E_FAIL; // missing, unreadable or not XML
    }
    if (FAILED(hr)) ShowFailure("打开系统配置文件失败! 错误码:0x%08X \n(Path:%s)", hr, path);
    return hr;
}

HRESULT CVarelSystemConfig::SaveFile(const WideString& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        const DWORD writable = attributes & ~DWORD(FILE_ATTRIBUTE_READONLY);
        SetFileAttributesW(path.c_str(), writable ? writable : FILE_ATTRIBUTE_NORMAL);
    }
    ComPtr<IGenericData> document;
    HRESULT hr = NewDocument(&document);
    if (SUCCEEDED(hr)) hr = SaveToDocument(document.Get());
    if (SUCCEEDED(hr)) hr = document->SaveToFile(BStr(path).Get());
    if (FAILED(hr)) ShowFailure("保存系统配置文件失败! 错误码:0x%08X \n(Path:%s)", hr, path);
    return hr;
}

HRESULT CVarelSystemConfig::SetVarelConfigInfo(IGenericData* document, const WideString& path) {
    CVarelSystemConfig taken;
    if (document) taken.ReadVarelConfigInfo(document);
    std::memcpy(&settings, &taken.settings, sizeof settings);
    std::memcpy(channels, taken.channels, sizeof channels);
    SaveFile(path);
    return S_OK;
}

HRESULT CVarelSystemConfig::DoConfigDataExchange(IGenericData* document, int32_t direction,
                                                 const WideString& path) {
    if (direction != 0) return SaveToDocument(document);
    HRESULT hr = LoadFromDocument(document);
    SaveFile(path);
    return hr;
}
