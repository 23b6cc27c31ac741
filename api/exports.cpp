// The exported functions: each takes the server lock where it must, hands its
// arguments to the agent and returns the agent's result unchanged.
#include <varel/vts.h>

#include "agent/fault_messages.h"
#include "calc/calc_request.h"
#include "com/com_ptr.h"
#include "config/system_config_dialog.h"
#include "agent/module_table.h"
#include "gps/gps_params.h"
#include "playback/comtrade_description.h"
#include "process.h"
#include "server.h"
#include "string_args.h"
#include "text.h"
#include "window.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

CTestAgent& Agent() { return Server().agent; }

// The configuration file is read here once the configuration store exists;
// until then the agent gets the server's blocks as they stand.
WideString ConfigFile() { return Server().configFolder + kSysCfgFileName; }

void GiveConfigToAgent() { Agent().SetConfig(Server().config.channels, &Server().config.settings); }

// After a create and a link: the file's configuration (a failure shows its
// box and leaves the blocks as they are), then the agent gets the blocks.
void HandConfigToAgent() {
    Server().config.LoadFile(ConfigFile());
    GiveConfigToAgent();
}

// The configuration dialog's buttons that reach beyond its working copy.
class DialogActions : public SystemConfigActions {
public:
    void SendTimeMode(uint64_t mode) override {
        ServerLock lock; // the dialog's thread holds it already
        Agent().SetGPSTimeMode(static_cast<uint32_t>(mode), static_cast<uint32_t>(mode >> 32));
    }
    void RunIpConfig(HWND owner) override {
        const WideString path = Server().configFolder + OLESTR("VarelIP.exe");
        const HRESULT hr = RunProgramAndWait(path);
        if (hr == S_OK) return;
        char text[1024];
        std::snprintf(text, sizeof text, "启动测试仪 IP 配置程序失败! 错误码:0x%08X \n(Path:%s)",
                      static_cast<unsigned>(hr), Utf16ToUtf8(path).c_str());
        MessageBoxW(owner, Utf8ToUtf16(text).c_str(), OLESTR("提示"), MB_OK);
    }
};

template <class Call>
HRESULT WithWide(const WCHAR* text, Call call) {
    BStr copy;
    if (!CopyWideArgument(text, &copy)) return E_OUTOFMEMORY;
    return call(copy.Get());
}

template <class Call>
HRESULT WithNarrow(const char* text, Call call) {
    BStr copy;
    if (!CopyNarrowArgument(text, &copy)) return E_OUTOFMEMORY;
    return call(copy.Get());
}

void CopyTruncated(const WideString& text, WCHAR* buffer, int32_t length) {
    if (!buffer || length <= 0) return;
    size_t n = std::min(text.size(), static_cast<size_t>(length) - 1);
    std::memcpy(buffer, text.data(), n * sizeof(WCHAR));
    buffer[n] = 0;
}

void CopyTruncated(const WideString& text, char* buffer, int32_t length) {
    if (!buffer || length <= 0) return;
    std::string utf8 = Utf16ToUtf8(text);
    size_t n = std::min(utf8.size(), static_cast<size_t>(length) - 1);
    while (n > 0 && n < utf8.size() && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80)
        --n; // never half a character
    std::memcpy(buffer, utf8.data(), n);
    buffer[n] = 0;
}

} // namespace

VTS_EXPORT HRESULT VTS_CALL VTS_CreateServer(HWND hostWindow) {
    ServerLock lock;
    VarelServer& server = Server();
    if (server.created) return S_FALSE;
    server.queue.Start(hostWindow);
    HRESULT hr = server.agent.Create(0);
    if (hr == S_OK) HandConfigToAgent();
    server.created = 1;
    return hr;
}

VTS_EXPORT HRESULT VTS_CALL VTS_DestroyServer(void) {
    ServerLock lock;
    VarelServer& server = Server();
    server.queue.Stop();
    if (server.initialised) {
        server.agent.Destroy();
        server.initialised = 0;
    }
    server.created = 0;
    return S_OK;
}

VTS_EXPORT HRESULT VTS_CALL VTS_LinkDevice(const WCHAR* link) {
    ServerLock lock;
    return WithWide(link, [](BSTR text) {
        HRESULT hr = Agent().LinkDevice(text);
        if (hr == S_OK) HandConfigToAgent();
        return hr;
    });
}
VTS_EXPORT HRESULT VTS_CALL VTS_LinkDevice_W(const WCHAR* link) { return VTS_LinkDevice(link); }
VTS_EXPORT HRESULT VTS_CALL VTS_LinkDevice_A(const char* link) {
    BStr copy;
    if (!CopyNarrowArgument(link, &copy)) return E_OUTOFMEMORY;
    return VTS_LinkDevice(copy.Get());
}

VTS_EXPORT HRESULT VTS_CALL VTS_ActiveTest(const WCHAR* progId) {
    ServerLock lock;
    return WithWide(progId, [](BSTR text) { return Agent().ActiveTest(text); });
}
VTS_EXPORT HRESULT VTS_CALL VTS_ActiveTest_W(const WCHAR* progId) { return VTS_ActiveTest(progId); }
VTS_EXPORT HRESULT VTS_CALL VTS_ActiveTest_A(const char* progId) {
    ServerLock lock;
    return WithNarrow(progId, [](BSTR text) { return Agent().ActiveTest(text); });
}

VTS_EXPORT HRESULT VTS_CALL VTS_BeginTest(IUnknown* params) {
    ServerLock lock;
    return Agent().BeginTest(params);
}

VTS_EXPORT HRESULT VTS_CALL VTS_StopTest(int32_t arg) {
    ServerLock lock;
    return Agent().StopTest(arg);
}

VTS_EXPORT HRESULT VTS_CALL VTS_SwitchTestPoint(IUnknown* params) {
    ServerLock lock;
    return Agent().SwitchTestPoint(params);
}

VTS_EXPORT HRESULT VTS_CALL VTS_Execute(int32_t command, VARIANT* value, int32_t arg) {
    ServerLock lock;
    return Agent().Execute(command, value, arg);
}

VTS_EXPORT HRESULT VTS_CALL VTS_GetTestResult(IGenericData** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    ServerLock lock;
    IUnknown* object = nullptr;
    HRESULT hr = Agent().GetTestResult(&object);
    if (FAILED(hr)) return hr;
    if (!object) return E_NOINTERFACE;
    hr = object->QueryInterface(IID_IGenericData, reinterpret_cast<void**>(result));
    object->Release();
    return hr;
}

VTS_EXPORT HRESULT VTS_CALL VTS_GetTestServer(void) { return E_NOINTERFACE; }

VTS_EXPORT HRESULT VTS_CALL VTS_InitTestParams(IGenericData* document, const WCHAR* progId) {
    return InitTestParams(document, progId ? WideStringView(progId) : WideStringView());
}
VTS_EXPORT HRESULT VTS_CALL VTS_InitTestParams_W(IGenericData* document, const WCHAR* progId) {
    return VTS_InitTestParams(document, progId);
}
VTS_EXPORT HRESULT VTS_CALL VTS_InitTestParams_A(IGenericData* document, const char* progId) {
    BStr copy;
    if (!CopyNarrowArgument(progId, &copy)) return E_OUTOFMEMORY;
    return VTS_InitTestParams(document, copy.Get());
}

VTS_EXPORT HRESULT VTS_CALL VTS_TransBoutState(const uint16_t* states, int32_t count) {
    if (!states || count < 1) return E_INVALIDARG;
    ServerLock lock;
    return Agent().TransBoutState(states, count);
}

VTS_EXPORT HRESULT VTS_CALL VTS_TransBoutState_Ex(const uint16_t* states, int32_t count) {
    if (!states || count < 1) return E_INVALIDARG;
    ServerLock lock;
    return Agent().TransBoutStateEx(states, count);
}

VTS_EXPORT HRESULT VTS_CALL VTS_AskIoState(void) {
    ServerLock lock;
    return Agent().AskIoState();
}

VTS_EXPORT HRESULT VTS_CALL VTS_AskIoState_Ex(void) {
    ServerLock lock;
    return Agent().AskIoStateEx();
}

VTS_EXPORT HRESULT VTS_CALL VTS_GetDeviceInfo(const WCHAR* item, VARIANT* value) {
    return WithWide(item, [value](BSTR name) { return Agent().GetDeviceInfo(name, value); });
}
VTS_EXPORT HRESULT VTS_CALL VTS_GetDeviceInfo_W(const WCHAR* item, VARIANT* value) {
    return VTS_GetDeviceInfo(item, value);
}
VTS_EXPORT HRESULT VTS_CALL VTS_GetDeviceInfo_A(const char* item, VARIANT* value) {
    return WithNarrow(item, [value](BSTR name) { return Agent().GetDeviceInfo(name, value); });
}

VTS_EXPORT const BaseDeviceInfo* VTS_CALL VTS_GetBaseDeviceInfo(void) { return &Agent().BaseInfo(); }

VTS_EXPORT float VTS_CALL VTS_GetDAAM(void) { return (Agent().BaseInfo().model >> 16) == 2 ? 5.0f : 20.0f; }

VTS_EXPORT const void* VTS_CALL VTS_GetCFGPTCT(void) { return Server().config.channels; }
VTS_EXPORT const void* VTS_CALL VTS_GetSystemSet(void) { return &Server().config.settings; }

VTS_EXPORT HRESULT VTS_CALL VTS_SetVarelConfigInfo(IGenericData* document) {
    ServerLock lock;
    Server().config.SetVarelConfigInfo(document, ConfigFile());
    GiveConfigToAgent();
    return S_OK;
}
VTS_EXPORT HRESULT VTS_CALL VTS_DoConfigDataExchange(IGenericData* document, int32_t direction) {
    ServerLock lock;
    HRESULT hr = Server().config.DoConfigDataExchange(document, direction, ConfigFile());
    if (direction == 0) GiveConfigToAgent();
    return hr;
}
VTS_EXPORT HRESULT VTS_CALL VTS_OnSystemConfig(HWND owner) {
    ServerLock lock;
    VarelServer& server = Server();
    server.config.LoadFile(ConfigFile()); // a failure shows its box; the dialog opens anyway
    DialogActions actions;
    CIOSystemConfigDlg dialog(server.config, &actions);
    if (dialog.DoModal(owner) == 1) {
        server.config = dialog.WorkingCopy();
        server.config.SaveFile(ConfigFile());
        GiveConfigToAgent();
    }
    return S_OK;
}

VTS_EXPORT HRESULT VTS_CALL VTS_SetGPSTimeMode(int32_t mode) {
    ServerLock lock;
    return Agent().SetGPSTimeMode(static_cast<uint32_t>(mode), mode < 0 ? 0xFFFFFFFFu : 0u);
}

VTS_EXPORT HRESULT VTS_CALL VTS_QueryGPSTime(const WCHAR* params) {
    GpsParams values;
    WideStringView text = params ? WideStringView(params) : WideStringView();
    if (ParseGpsParamText(text, &values).reason != GpsTextStatus::Ok) return E_INVALIDARG;
    ServerLock lock;
    if (values.GpsPos == 0) {
        // The tester reads the receiver: it learns the time-synchronisation mode first.
        uint64_t mode = Agent().GpsTimeMode();
        Agent().SetGPSTimeMode(static_cast<uint32_t>(mode), static_cast<uint32_t>(mode >> 32));
    }
    ComPtr<IGenericData> document;
    HRESULT hr = WriteGpsParamsDocument(values, document.Put());
    VARIANT value;
    VariantInit(&value);
    if (SUCCEEDED(hr)) {
        value.vt = VT_UNKNOWN;
        value.punkVal = document.Get();
    }
    return Agent().Execute(5, &value, 0);
}
VTS_EXPORT HRESULT VTS_CALL VTS_QueryGPSTime_W(const WCHAR* params) { return VTS_QueryGPSTime(params); }
VTS_EXPORT HRESULT VTS_CALL VTS_QueryGPSTime_A(const char* params) {
    BStr copy;
    if (!CopyNarrowArgument(params, &copy)) return E_OUTOFMEMORY;
    return VTS_QueryGPSTime(copy.Get());
}

VTS_EXPORT HRESULT VTS_CALL VTS_GetCalcEngine(ICalcEngine** engine) {
    if (!engine) return E_POINTER;
    *engine = nullptr;
    ServerLock lock;
    ComPtr<IDispatch> dispatch;
    if (FAILED(Agent().GetCalcEngine(dispatch.Put())) || !dispatch) return E_NOINTERFACE;
    return dispatch->QueryInterface(IID_ICalcEngine, reinterpret_cast<void**>(engine));
}

VTS_EXPORT void VTS_CALL VTS_InitCalcParams(IGenericData* document, int32_t code) {
    WriteBlankRequest(document, code);
}

VTS_EXPORT HRESULT VTS_CALL VTS_DescribeComtrade(const WCHAR* cfgPath, float rate, IGenericData** document) {
    if (!document) return E_POINTER;
    *document = nullptr;
    if (!cfgPath) return E_INVALIDARG;
    CComtradeParser parser;
    return DescribeComtradeRecording(&parser, cfgPath, rate, document);
}

VTS_EXPORT void VTS_CALL VTS_GetFaultMsg_W(uint32_t model, uint32_t alarmLow, uint32_t alarmHigh,
                                           WCHAR* buffer, int32_t length) {
    CopyTruncated(AlarmText(model, alarmLow, alarmHigh), buffer, length);
}
VTS_EXPORT void VTS_CALL VTS_GetFaultMsg(uint32_t model, uint32_t alarmLow, uint32_t alarmHigh, WCHAR* buffer,
                                         int32_t length) {
    VTS_GetFaultMsg_W(model, alarmLow, alarmHigh, buffer, length);
}
VTS_EXPORT void VTS_CALL VTS_GetFaultMsg_A(uint32_t model, uint32_t alarmLow, uint32_t alarmHigh,
                                           char* buffer, int32_t length) {
    CopyTruncated(AlarmText(model, alarmLow, alarmHigh), buffer, length);
}

VTS_EXPORT void VTS_CALL VTS_GetFaultMsg_Com_W(HRESULT code, WCHAR* buffer, int32_t length) {
    CopyTruncated(ResultCodeText(code), buffer, length);
}
VTS_EXPORT void VTS_CALL VTS_GetFaultMsg_Com(HRESULT code, WCHAR* buffer, int32_t length) {
    VTS_GetFaultMsg_Com_W(code, buffer, length);
}
VTS_EXPORT void VTS_CALL VTS_GetFaultMsg_Com_A(HRESULT code, char* buffer, int32_t length) {
    CopyTruncated(ResultCodeText(code), buffer, length);
}
