#include "test_agent.h"

#include "com/class_table.h"
#include "debug_output.h"
#include "module_path.h"
#include "thread.h"
#include "tick.h"
#include "window.h"

#include <algorithm>
#include <cstring>

// Operations whose subsystem has not landed say so once each time they run.
#define AGENT_NOT_IMPLEMENTED(name)                                   \
    do {                                                              \
        DebugPrintf("CTestAgent: %s is not implemented yet\n", name); \
        return E_NOTIMPL;                                             \
    } while (0)

CTestAgent::CTestAgent(MsgQueue& queue) : queue_(queue) {}
CTestAgent::~CTestAgent() = default;

WideString BaseFolderOf(const WideString& libraryPath, WCHAR separator) {
    size_t found = 0;
    for (size_t i = libraryPath.size(); i-- > 0;) {
        if (libraryPath[i] == separator && ++found == 2) return libraryPath.substr(0, i + 1);
    }
    return OLESTR("");
}

HRESULT CTestAgent::Create(int32_t) {
    WideString libraryPath = LibraryFilePath();
    WideString shortPath = ShortPathName(libraryPath);
    baseFolder_ = BaseFolderOf(shortPath.empty() ? libraryPath : shortPath, kPathSeparator);

    static const UINT serverMessage = RegisterWindowMessageW(OLESTR("WM_VAREL_SERVERMSG"));
    if (HWND trace = FindWindowW(nullptr, OLESTR("VarelDbgTrace")))
        SendMessageW(trace, serverMessage, GetCurrentProcessId(), 0);

    calcEngine_.Reset();
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(OLESTR("VarelCalcEngine.CalcEngine"), &clsid);
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_ICalcEngine,
                              calcEngine_.PutVoid());
    if (FAILED(hr)) calcEngine_.Reset();
    return hr;
}

HRESULT CTestAgent::Destroy() {
    calcEngine_.Reset();
    queue_.Stop();
    return S_OK;
}

HRESULT CTestAgent::OnProgress(uint32_t total, uint32_t done) {
    queue_.SendDirect(VTS_NOTIFY_PROGRESS, static_cast<int32_t>(done), static_cast<int32_t>(total));
    return S_OK;
}

bool BuildTimeRecord(const uint8_t* data, uint32_t length, uint8_t record[16]) {
    std::memset(record, 0, 16);
    if (length < 28) return false;
    uint32_t w[7];
    for (int i = 0; i < 7; ++i) w[i] = ReadLe32(data + 4 * i);
    if (w[0] == 0) return true; // not valid: an all-zero record
    SYSTEMTIME time{};
    if (w[1] && w[2] && w[3]) {
        time.wYear = static_cast<WORD>(w[1]);
        time.wMonth = static_cast<WORD>(w[2]);
        time.wDay = static_cast<WORD>(w[3]);
    } else {
        GetSystemTime(&time); // the receiver has no date yet: today's
    }
    time.wHour = static_cast<WORD>(w[4]);
    time.wMinute = static_cast<WORD>(w[5]);
    time.wSecond = static_cast<WORD>(w[6]);
    std::memcpy(record, &time, 16);
    return true;
}

bool BuildExtendedIoRecord(const uint8_t* data, uint32_t length, uint8_t record[1024]) {
    std::memset(record, 0, 1024);
    if (length < 8) return false;
    uint32_t inputs = ReadLe32(data), outputs = ReadLe32(data + 4);
    auto inRange = [](uint32_t n) { return n >= 1 && n <= 256; };
    if (!inRange(inputs) && !inRange(outputs)) return true;
    // A count above 256 with the other in range: the record holds 256 states
    // per array, so the excess is dropped.
    bool complete = uint64_t(8) + inputs + outputs <= length;
    const uint8_t* states = data + 8;
    uint32_t available = length - 8;
    for (uint32_t i = 0; i < std::min(inputs, 256u) && i < available; ++i) record[2 * i] = states[i];
    for (uint32_t i = 0; i < std::min(outputs, 256u) && inputs + i < available; ++i)
        record[512 + 2 * i] = states[inputs + i];
    return complete;
}

HRESULT CTestAgent::OnDevUpMessage(uint32_t, uint16_t, uint16_t id, const uint8_t* data, uint32_t length) {
    uint32_t code;
    std::vector<uint8_t> payload;
    const uint8_t* begin = data;
    switch (id) {
    case 0x0206: code = VTS_NOTIFY_IO_STATE; payload.assign(begin, begin + length); break;
    case 0x0203: code = VTS_NOTIFY_TEST_STOPPED; break;
    case 0x0207:
        code = VTS_NOTIFY_TEST_RESULT;
        payload.assign(begin, begin + length);
        DebugPrintf("Send TestResult \r\n\r\n");
        break;
    case 0x0208: code = VTS_NOTIFY_TEST_EVENT; payload.assign(begin, begin + length); break;
    case 0x020A: code = VTS_NOTIFY_VALUE; payload.assign(begin, begin + length); break;
    case 0x020B: code = VTS_NOTIFY_VALUES; payload.assign(begin, begin + length); break;
    case 0x020C: code = VTS_NOTIFY_EVENT; break;
    case 0x0105: {
        code = VTS_NOTIFY_TIME;
        uint8_t record[16];
        if (BuildTimeRecord(data, length, record)) payload.assign(record, record + 16);
        break;
    }
    case 0x0210: {
        code = VTS_NOTIFY_IO_STATE_EX;
        std::vector<uint8_t> record(1024);
        if (BuildExtendedIoRecord(data, length, record.data())) payload = std::move(record);
        break;
    }
    default: return S_OK; // not for the host
    }
    // The test module converts the payload here once modules exist.
    queue_.Enqueue(code, payload.data(), static_cast<uint32_t>(payload.size()));
    return S_OK;
}

HRESULT CTestAgent::SetConfig(const void* channelConfig, const void* systemSettings) {
    if (channelConfig) std::memcpy(channelConfig_, channelConfig, kChannelConfigBytes);
    if (systemSettings) std::memcpy(systemSettings_, systemSettings, kSystemSettingsBytes);
    return S_OK;
}

HRESULT CTestAgent::SetGPSTimeMode(uint32_t, uint32_t) { AGENT_NOT_IMPLEMENTED("SetGPSTimeMode"); }
HRESULT CTestAgent::Unused5(int32_t) { return E_NOTIMPL; }

HRESULT CTestAgent::GetCalcEngine(IDispatch** engine) {
    if (!engine) return E_INVALIDARG;
    if (!calcEngine_) return E_POINTER;
    return calcEngine_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(engine));
}

HRESULT CTestAgent::GetDeviceInfo(BSTR name, VARIANT* value) {
    if (!value) return E_INVALIDARG;
    WideStringView item = name ? WideStringView(name, SysStringLen(name)) : WideStringView();
    if (item == OLESTR("DEVBASEINFO.TestSampRate")) {
        VariantClear(value);
        value->vt = VT_I2;
        value->iVal = static_cast<SHORT>(ReadLe16(devBaseInfo_.bytes + kDevBaseInfoTestSampRate));
        return S_OK;
    }
    if (item == OLESTR("LINK")) AGENT_NOT_IMPLEMENTED("GetDeviceInfo(LINK)");
    return E_NOTIMPL;
}

HRESULT CTestAgent::LinkDevice(BSTR) { AGENT_NOT_IMPLEMENTED("LinkDevice"); }
HRESULT CTestAgent::ActiveTest(BSTR) { AGENT_NOT_IMPLEMENTED("ActiveTest"); }
HRESULT CTestAgent::BeginTest(IUnknown*) { AGENT_NOT_IMPLEMENTED("BeginTest"); }
HRESULT CTestAgent::StopTest(int32_t) { AGENT_NOT_IMPLEMENTED("StopTest"); }
HRESULT CTestAgent::GetTestResult(IUnknown**) { AGENT_NOT_IMPLEMENTED("GetTestResult"); }
HRESULT CTestAgent::Execute(int32_t, VARIANT*, int32_t) { AGENT_NOT_IMPLEMENTED("Execute"); }
HRESULT CTestAgent::SwitchTestPoint(IUnknown*) { AGENT_NOT_IMPLEMENTED("SwitchTestPoint"); }
HRESULT CTestAgent::TransBoutState(const uint16_t*, int32_t) { AGENT_NOT_IMPLEMENTED("TransBoutState"); }
HRESULT CTestAgent::AskIoState() { AGENT_NOT_IMPLEMENTED("AskIoState"); }
HRESULT CTestAgent::AskIoStateEx() { AGENT_NOT_IMPLEMENTED("AskIoStateEx"); }
HRESULT CTestAgent::TransBoutStateEx(const uint16_t*, int32_t) { AGENT_NOT_IMPLEMENTED("TransBoutStateEx"); }
