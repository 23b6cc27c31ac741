#include "agent/agent.h"

#include "com/bstr.h"
#include "com/class_table.h"
#include "debug_output.h"
#include "config/channel_ratio.h"
#include "device/link_string.h"
#include "device/message_ids.h"
#include "agent/module_table.h"
#include "little_endian.h"
#include "module_path.h"
#include "thread.h"
#include "tick.h"
#include "window.h"

#include <algorithm>
#include <cstring>
#include <new>

CTestAgent::CTestAgent(MsgQueue& queue) : queue_(queue) {}
CTestAgent::~CTestAgent() {
    // The devices' threads end before the agent they report to is gone.
    gps_.reset();
    mainDevice_.SetListener(nullptr);
    mainDevice_.Close();
    ioBox_.Close();
}

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

    mainDevice_.SetListener(this);
    ioBox_.Open(0);

    std::unique_ptr<CDspTest> empty(new (std::nothrow) CDspTest);
    if (!empty) return 1;
    empty->Attach(this);
    ReplaceModule(std::move(empty));
    progId_.clear();
    return hr;
}

void CTestAgent::ReplaceModule(std::unique_ptr<CDspTest> module) {
    std::unique_ptr<CDspTest> old;
    {
        std::lock_guard<std::mutex> lock(moduleMutex_);
        old = std::exchange(module_, std::move(module));
    }
}

HRESULT CTestAgent::Destroy() {
    if (testRunning_) StopTest(0);
    calcEngine_.Reset();
    mainDevice_.SetListener(nullptr);
    mainDevice_.SendNoWait(0, DEVMSG_LINK_NOTICE, nullptr, 0);
    mainDevice_.Close();
    ioBox_.Close();
    ReplaceModule(nullptr);
    progId_.clear();
    gps_.reset();
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
    for (int i = 0; i < 7; ++i) w[i] = LoadLe32(data + 4 * i);
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
    uint32_t inputs = LoadLe32(data), outputs = LoadLe32(data + 4);
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

namespace {

// What a device message becomes for the host.
enum class UpPayload {
    None,       // the notification carries nothing
    AsReceived, // the message's data
    TimeRecord, // the 16-byte time record of BuildTimeRecord
    ExtendedIo, // the 1024-byte record of BuildExtendedIoRecord
};

struct UpMessageRoute {
    uint16_t msgId;
    uint32_t code;
    UpPayload payload;
};

// The messages the tester (or the GPS receiver) sends on its own that the
// host hears of; every other one is not for the host.
constexpr UpMessageRoute kUpMessages[] = {
    {DEVMSG_ASK_IO, VTS_NOTIFY_IO_STATE, UpPayload::AsReceived},
    {DEVMSG_TEST_STOP, VTS_NOTIFY_TEST_STOPPED, UpPayload::None},
    {DEVMSG_TEST_RESULT, VTS_NOTIFY_TEST_RESULT, UpPayload::AsReceived},
    {DEVMSG_TEST_EVENT, VTS_NOTIFY_TEST_EVENT, UpPayload::AsReceived},
    {DEVMSG_TEST_VALUE, VTS_NOTIFY_VALUE, UpPayload::AsReceived},
    {DEVMSG_TEST_VALUES, VTS_NOTIFY_VALUES, UpPayload::AsReceived},
    {DEVMSG_TEST_SIGNAL, VTS_NOTIFY_EVENT, UpPayload::None},
    {DEVMSG_UP_TIME, VTS_NOTIFY_TIME, UpPayload::TimeRecord},
    {DEVMSG_ASK_IO_EX, VTS_NOTIFY_IO_STATE_EX, UpPayload::ExtendedIo},
};

} // namespace

HRESULT CTestAgent::OnDevUpMessage(uint32_t, uint16_t, uint16_t id, const uint8_t* data, uint32_t length) {
    const UpMessageRoute* route = nullptr;
    for (const UpMessageRoute& r : kUpMessages)
        if (r.msgId == id) route = &r;
    if (!route) return S_OK; // not for the host
    std::vector<uint8_t> payload;
    switch (route->payload) {
    case UpPayload::None: break;
    case UpPayload::AsReceived: payload.assign(data, data + length); break;
    case UpPayload::TimeRecord: {
        uint8_t record[16];
        if (BuildTimeRecord(data, length, record)) payload.assign(record, record + 16);
        break;
    }
    case UpPayload::ExtendedIo: {
        std::vector<uint8_t> record(kExtendedIoRecordBytes);
        if (BuildExtendedIoRecord(data, length, record.data())) payload = std::move(record);
        break;
    }
    }
    if (id == DEVMSG_TEST_RESULT) DebugPrintf("Send TestResult \r\n\r\n");
    // The module may replace the payload (a test result becomes its struct);
    // the host gets it as the module leaves it, whatever the module answers.
    HRESULT hr = S_OK;
    {
        std::lock_guard<std::mutex> lock(moduleMutex_);
        if (module_) hr = module_->OnDeviceEvent(route->code, payload);
    }
    queue_.Enqueue(route->code, payload.data(), static_cast<uint32_t>(payload.size()));
    return hr;
}

HRESULT CTestAgent::SetConfig(const ChannelConfigEntry* channels, const SystemSettings* settings) {
    if (channels) std::copy(channels, channels + kConfigChannels, channels_);
    if (settings) settings_ = *settings;
    ApplyChannelConfig(mainDevice_.m_cfg, channels_, settings_, devBaseInfo_.model);
    return S_OK;
}

HRESULT CTestAgent::SetGPSTimeMode(uint32_t low, uint32_t high) {
    settings_.GPS_TimeMode = low | uint64_t(high) << 32;
    uint8_t payload[8];
    StoreLe32(payload, low);
    StoreLe32(payload + 4, high);
    return mainDevice_.Send8(0, DEVMSG_GPS_MODE, payload);
}
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
        value->iVal = static_cast<SHORT>(devBaseInfo_.testSampRate);
        return S_OK;
    }
    if (item == OLESTR("LINK")) return LinkDocument(value);
    return E_NOTIMPL;
}

HRESULT CTestAgent::LinkDocument(VARIANT* value) {
    ComPtr<IGenericData> document;
    if (FAILED(CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData,
                                document.PutVoid())))
        return E_POINTER;
    ComPtr<IGenericDataNode> root;
    if (FAILED(document->GetRootNode(root.Put()))) return E_POINTER;
    const struct {
        const WCHAR* name;
        VARTYPE type;
        uint32_t value;
    } children[] = {{OLESTR("LinkState"), VT_INT, linked_},
                    {OLESTR("PC-IP"), VT_UI4, pcIp_},
                    {OLESTR("PC-PORT"), VT_UINT, pcPort_},
                    {OLESTR("DEV-IP"), VT_UI4, devIp_},
                    {OLESTR("DEV-PORT"), VT_UINT, devPort_}};
    for (const auto& child : children) {
        VARIANT v;
        VariantInit(&v);
        v.vt = child.type;
        v.ulVal = child.value;
        BSTR name = SysAllocString(child.name);
        HRESULT hr = root->AddChildWithValue(name, v);
        SysFreeString(name);
        if (FAILED(hr)) return hr;
    }
    VariantClear(value);
    HRESULT hr = document->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&value->pdispVal));
    if (SUCCEEDED(hr)) value->vt = VT_DISPATCH;
    return hr;
}

HRESULT CTestAgent::Identify() {
    mainDevice_.SetTarget(devIp_, static_cast<uint16_t>(devPort_));
    LinkInfo info{pcIp_, devIp_, static_cast<uint16_t>(pcPort_), static_cast<uint16_t>(devPort_)};
    HRESULT hr = mainDevice_.Identify(0, info);
    if (hr != S_OK) return hr;
    devBaseInfo_ = mainDevice_.DevBaseInfo();
    return S_OK;
}

HRESULT CTestAgent::LinkDevice(BSTR link) {
    mainDevice_.SendNoWait(0, DEVMSG_LINK_NOTICE, nullptr, 0);
    HRESULT hr = mainDevice_.Init(link);
    if (hr != S_OK) return hr;
    ioBox_.Heartbeat();
    // Every link string says the whole link: a key it leaves out takes its
    // value from before any link, not from the previous string.
    LinkAddresses addresses;
    if (!ParseLinkString(link ? WideStringView(link, SysStringLen(link)) : WideStringView(), &addresses) ||
        addresses.pcIp == 0 || addresses.devIp == 0)
        return E_INVALIDARG;
    pcIp_ = addresses.pcIp;
    pcPort_ = addresses.pcPort;
    devIp_ = addresses.devIp;
    devPort_ = addresses.devPort;
    hr = Identify();
    if (hr != S_OK) return hr;
    linked_ = 1;
    baseDeviceInfo_ = BaseDeviceInfoFrom(devBaseInfo_);
    queue_.DeliverNow(VTS_NOTIFY_LINKED, &baseDeviceInfo_, sizeof baseDeviceInfo_);
    {
        // The module hears of the new link too: a tester linked anew may
        // not keep what was downloaded to it.
        std::vector<uint8_t> linked(reinterpret_cast<const uint8_t*>(&baseDeviceInfo_),
                                    reinterpret_cast<const uint8_t*>(&baseDeviceInfo_ + 1));
        std::lock_guard<std::mutex> lock(moduleMutex_);
        if (module_) module_->OnDeviceEvent(VTS_NOTIFY_LINKED, linked);
    }
    if (mainDevice_.QueryADJData() != S_OK) {
        DebugPrintf("LinkDevice Succeeded but get adjdata failed.\r\n");
        return VTS_E_ADJ_READ;
    }
    return S_OK;
}
HRESULT CTestAgent::ActiveTest(BSTR progId) {
    const WideStringView wanted = progId ? WideStringView(progId, SysStringLen(progId)) : WideStringView();
    if (!module_ || wanted != WideStringView(progId_)) {
        std::unique_ptr<CDspTest> module;
        HRESULT hr = CreateTestModule(wanted, &module);
        if (hr != S_OK) return hr;
        ReplaceModule(std::move(module));
        progId_.assign(wanted);
    }
    module_->Attach(this);
    BStr file;
    uint32_t dspTestId = 0;
    HRESULT hr = module_->GetDspProgram(file.Put(), &dspTestId);
    if (FAILED(hr)) return hr;
    dspTestId_ = dspTestId;

    const WideString path = ProgramPath(BstrView(file.Get()));
    hr = Identify();
    if (hr == S_OK) {
        uint8_t select[8] = {};
        const uint16_t id = static_cast<uint16_t>(dspTestId_);
        StoreLe16(select, id);
        mainDevice_.Send8(0, DEVMSG_SELECT_PROGRAM, select);
        hr = Identify();
        if (hr != S_OK) hr = Identify();
    }
    if (hr != S_OK) {
        DebugPrintf("切换DSP程序时，重新连机失败！\r\n");
        return hr;
    }
    if (!path.empty()) {
        hr = mainDevice_.SendDspAPPFile(path.c_str());
        if (FAILED(hr)) {
            DebugPrintf("切换DSP程序时失败！path = %s\r\n", Utf16ToUtf8(path).c_str());
            return hr;
        }
        const WideString ini = baseFolder_ + OLESTR("VarelTss.ini");
        if (GetPrivateProfileIntW(OLESTR("DSP"), OLESTR("Switch"), 0, ini.c_str()))
            MessageBoxW(GetActiveWindow(), OLESTR("切换DSP程序成功"), OLESTR("提示"), MB_OK);
    }
    DebugPrintf("ActiveTest: %s\r\n", Utf16ToUtf8(progId_).c_str());
    return hr;
}

WideString CTestAgent::ProgramPath(WideStringView file) const {
    const WCHAR* series = nullptr;
    switch (devBaseInfo_.model >> 16) { // the series code
    case 2: series = OLESTR("NSeries"); break;
    case 3: series = OLESTR("RSeries"); break;
    case 4: series = OLESTR("RWSeries"); break;
    default: return WideString();
    }
    WideString path = baseFolder_ + OLESTR("Hex") + kPathSeparator + series + kPathSeparator;
    path.append(file);
    return path;
}

bool CTestAgent::BuildPtCtRecord(uint8_t record[kPtCtRecordLength]) const {
    StoreLe32(record, static_cast<uint32_t>(static_cast<int32_t>(settings_.U_Range)));
    StoreLe32(record + 4, static_cast<uint32_t>(static_cast<int32_t>(settings_.I_Range)));
    for (uint32_t slot = 0; slot < kConfigChannels; ++slot) {
        const ChannelConfigEntry& entry = channels_[slot];
        if (entry.fSecondary == 0) return false;
        StoreLe32(record + 8 + 4 * slot,
                  static_cast<uint32_t>(static_cast<int32_t>(entry.fPrimary / entry.fSecondary * 10000.0f)));
    }
    return true;
}

HRESULT CTestAgent::BeginTest(IUnknown* params) {
    if (!linked_) return E_FAIL;
    if (!module_) {
        DebugPrintf("BeginTest: no test module\r\n");
        return E_NOINTERFACE;
    }
    uint8_t record[kPtCtRecordLength];
    if (BuildPtCtRecord(record)) {
        ioBox_.SendPTCT(record);
        ioBox_.StartOutput();
    }
    HRESULT hr = mainDevice_.m_cfg.InitADJDataPreTest();
    if (hr != S_OK) {
        DebugPrintf("开始试验，下传补偿系数失败！\r\n");
        return hr;
    }
    hr = module_->BeginTest(params);
    if (hr == S_OK) testRunning_ = 1;
    DebugPrintf("BeginTest: %s\r\n", Utf16ToUtf8(progId_).c_str());
    return hr;
}

HRESULT CTestAgent::StopTest(int32_t arg) {
    HRESULT hr = E_NOINTERFACE;
    if (module_) {
        hr = module_->StopTest(arg);
        if (hr == S_OK) testRunning_ = 0;
    }
    if (settings_.bStop61850) ioBox_.StopOutput();
    DebugPrintf("StopTest: %s\r\n\r\n", Utf16ToUtf8(progId_).c_str());
    return hr;
}

HRESULT CTestAgent::GetTestResult(IUnknown** result) {
    std::lock_guard<std::mutex> lock(moduleMutex_); // the result fields change on the receive thread
    return module_ ? module_->GetTestResult(result) : E_NOINTERFACE;
}

HRESULT CTestAgent::Execute(int32_t command, VARIANT* value, int32_t arg) {
    DebugPrintf("ExecuteCmd: %ld\r\n\r\n", static_cast<long>(command));
    if (command == kGpsCommand) return GpsCommand(value);
    return module_ ? module_->ExecuteCmd(command, value, arg) : E_NOINTERFACE;
}

HRESULT CTestAgent::SwitchTestPoint(IUnknown* params) {
    DebugPrintf("SwitchTestPoint \r\n\r\n");
    return module_ ? module_->SwitchTestPoint(params) : E_NOINTERFACE;
}

HRESULT CTestAgent::GpsCommand(VARIANT* value) {
    if (!gps_) {
        gps_.reset(new (std::nothrow) CVarelDev_GPS);
        if (!gps_) return S_FALSE;
        gps_->Attach(this, &mainDevice_);
    } else {
        gps_->Stop();
    }
    GpsParams params;
    if (!value || value->vt != VT_UNKNOWN || !ReadGpsParamsDocument(value->punkVal, &params)) return S_FALSE;
    gps_->Start(params);
    return S_OK;
}

HRESULT CTestAgent::TransBoutState(const uint16_t* states, int32_t count) {
    return mainDevice_.TransBoutState(0, states, static_cast<uint32_t>(std::max(count, 0)));
}

HRESULT CTestAgent::TransBoutStateEx(const uint16_t* states, int32_t count) {
    return mainDevice_.TransBoutStateEx(0, states, static_cast<uint32_t>(std::max(count, 0)));
}

HRESULT CTestAgent::AskIoState() {
    HRESULT hr = mainDevice_.Send(0, DEVMSG_ASK_IO, nullptr, 0);
    if (hr != S_OK) return hr;
    uint8_t state[kIoStateBytes];
    if (mainDevice_.CopyAnswer(state, sizeof state) != S_OK) return E_FAIL;
    queue_.DeliverNow(VTS_NOTIFY_IO_STATE, state, sizeof state);
    return S_OK;
}

HRESULT CTestAgent::AskIoStateEx() {
    HRESULT hr = mainDevice_.Send(0, DEVMSG_ASK_IO_EX, nullptr, 0);
    if (hr != S_OK) return hr;
    std::vector<uint8_t> record(kExtendedIoRecordBytes);
    mainDevice_.ReadAnswer([&](const uint8_t* data, uint32_t length) {
        BuildExtendedIoRecord(data, length, record.data());
        return S_OK;
    });
    queue_.DeliverNow(VTS_NOTIFY_IO_STATE_EX, record.data(), kExtendedIoRecordBytes);
    return S_OK;
}

HRESULT CTestAgent::Send(uint16_t testId, uint16_t msgId, const void* data, uint32_t length) {
    return mainDevice_.Send(testId, msgId, data, length);
}

HRESULT CTestAgent::SendTestParams(uint16_t testId, TestParamItem* items, uint32_t count) {
    return mainDevice_.SendTestParams(testId, items, count);
}

HRESULT CTestAgent::SetDownloadLock(uint16_t testId, bool locked) {
    return mainDevice_.SetDownloadLock(testId, locked);
}

HRESULT CTestAgent::SendBout(uint16_t testId, const uint16_t* states, uint32_t count) {
    return mainDevice_.TransBoutState(testId, states, count);
}

uint32_t CTestAgent::VoltageChannels() const { return std::min<uint32_t>(devBaseInfo_.voltageChannels, 16); }
uint32_t CTestAgent::CurrentChannels() const { return std::min<uint32_t>(devBaseInfo_.currentChannels, 16); }

int16_t CTestAgent::TestSampRate() const { return static_cast<int16_t>(devBaseInfo_.testSampRate); }

HRESULT CTestAgent::TransFile(const WCHAR* sourcePath, const WCHAR* destinationName) {
    return mainDevice_.TransFile(sourcePath, destinationName);
}

HRESULT CTestAgent::SendWavePlayData(const float* samples, uint32_t channels, uint32_t count) {
    return mainDevice_.SendWavePlayData(samples, channels, count);
}
