// A host program as a host programmer writes it: the public header, the
// shared library, a window of its own. It creates and destroys the server
// twice and checks what the library tells it on the way.
#include <varel/vts.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {
int failures = 0;
#define CHECK(cond)                                                     \
    do {                                                                \
        if (!(cond)) {                                                  \
            std::printf("%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                 \
        }                                                               \
    } while (0)

unsigned serverMessages = 0;
uintptr_t announcedPid = 0;

intptr_t TraceWindow(void*, HWND, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message >= 0xC000) {
        ++serverMessages;
        announcedPid = wParam;
    }
    return 0;
}

intptr_t HostWindow(void*, HWND, uint32_t, uintptr_t, intptr_t) { return 0; }
} // namespace

int main() {
    CoInitialize(nullptr);
    HWND trace = VTS_CreateHostWindow(OLESTR("VarelDbgTrace"), TraceWindow, nullptr);
    for (int round = 0; round < 2; ++round) {
        HWND window = VTS_CreateHostWindow(OLESTR("host"), HostWindow, nullptr);
        CHECK(window != nullptr);
        VTS_CreateServer(window);
        CHECK(VTS_CreateServer(window) == S_FALSE);
        CHECK(VTS_GetTestServer() == E_NOINTERFACE);
        CHECK(VTS_GetDAAM() == 20.0f);
        CHECK(VTS_GetBaseDeviceInfo()->voltageChannels == 16);
        uint16_t states[3] = {1, 0, 1};
        CHECK(VTS_TransBoutState(nullptr, 3) == E_INVALIDARG);
        CHECK(VTS_TransBoutState(states, 0) == E_INVALIDARG);
        WCHAR text[10];
        VTS_GetFaultMsg_Com(E_FAIL, text, 10);
        CHECK(std::char_traits<WCHAR>::length(text) == 9);
        CHECK(VTS_DestroyServer() == S_OK);
        VTS_DestroyHostWindow(window);
    }
    CHECK(serverMessages == 2);
    CHECK(announcedPid != 0);
    VTS_DestroyHostWindow(trace);
    CoUninitialize();
    std::printf("%s\n", failures ? "host example FAILED" : "host example passed");
    return failures ? 1 : 0;
}
