#include "host_session.h"

#include "sim/tester_simulator.h"
#include "text.h"

#include <chrono>
#include <cstdio>
#include <utility>

HostSession::HostSession() {
    CoInitialize(nullptr);
    window_ = VTS_CreateHostWindow(OLESTR("vts"), &HostSession::Proc, this);
    VTS_CreateServer(window_);
}

HostSession::~HostSession() {
    VTS_DestroyServer();
    VTS_DestroyHostWindow(window_);
    CoUninitialize();
    if (simulator_) simulator_->Stop();
}

intptr_t HostSession::Proc(void* self, HWND, uint32_t message, uintptr_t code, intptr_t lParam) {
    if (message != VTS_WM_NOTIFY) return 0;
    auto* record = reinterpret_cast<const HostNotifyRecord*>(lParam);
    HostNotification n{static_cast<uint32_t>(code), record->value1, record->value2, {}};
    if (record->data) {
        auto* bytes = static_cast<const uint8_t*>(record->data);
        n.data.assign(bytes, bytes + record->length);
    }
    auto* session = static_cast<HostSession*>(self);
    {
        std::lock_guard<std::mutex> lock(session->mutex_);
        session->notifications_.push_back(std::move(n));
    }
    session->arrived_.notify_all();
    return 0;
}

bool HostSession::StartSimulator() {
    simulator_ = std::make_unique<sim::TesterSimulator>();
    std::string error;
    // The simulated tester serves a calibration page for every signal type.
    if (simulator_->Start(&error)) return true;
    std::fprintf(stderr, "vts: the simulated bench cannot start: %s\n", error.c_str());
    simulator_.reset();
    return false;
}

HRESULT HostSession::Link(const std::string& linkString) {
    HRESULT hr = VTS_LinkDevice_A(linkString.c_str());
    std::printf("VTS_LinkDevice -> %s\n", Outcome(hr).c_str());
    return hr;
}

std::vector<HostNotification> HostSession::Take(size_t count, uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return notifications_.size() >= count; });
    return std::exchange(notifications_, {});
}

std::string HostSession::Outcome(HRESULT code) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(code));
    if (code == S_OK) return number;
    std::vector<char> text(4096);
    VTS_GetFaultMsg_Com_A(code, text.data(), static_cast<int32_t>(text.size()));
    return std::string(number) + " " + text.data();
}

bool TakeSimFlag(std::vector<std::string>& args) {
    if (args.empty() || args[0] != "--sim") return false;
    args.erase(args.begin());
    return true;
}
