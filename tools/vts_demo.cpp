// vts demo: a tour of the server on this machine's simulated bench.
#include "subcommand.h"

#include <varel/vts.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

intptr_t DemoWindow(void*, HWND, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message != VTS_WM_NOTIFY) return 0;
    auto* record = reinterpret_cast<const HostNotifyRecord*>(lParam);
    std::printf("  notification %u: kind %u, values %d %d, %u data bytes\n", static_cast<unsigned>(wParam),
                record->kind, record->value1, record->value2, record->length);
    return 0;
}

std::string Text(HRESULT code) {
    std::vector<char> text(4096);
    VTS_GetFaultMsg_Com_A(code, text.data(), static_cast<int32_t>(text.size()));
    return text.data();
}

int Demo(const std::vector<std::string>&) {
    std::printf("VarelTSS demo\n\n1. A host window and the server\n");
    CoInitialize(nullptr);
    HWND window = VTS_CreateHostWindow(OLESTR("vts demo"), DemoWindow, nullptr);
    HRESULT hr = VTS_CreateServer(window);
    std::printf("  VTS_CreateServer -> 0x%08X %s\n", static_cast<unsigned>(hr), Text(hr).c_str());
    std::printf("  again            -> %d (already created)\n", VTS_CreateServer(window));

    const BaseDeviceInfo* info = VTS_GetBaseDeviceInfo();
    std::printf("\n2. The tester before any link\n  %u voltage and %u current channels, DSP version %.0f, "
                "DAAM %.1f\n",
                info->voltageChannels, info->currentChannels, info->dspVersion, VTS_GetDAAM());
    VARIANT rate;
    VariantInit(&rate);
    if (VTS_GetDeviceInfo(OLESTR("DEVBASEINFO.TestSampRate"), &rate) == S_OK)
        std::printf("  TestSampRate %d\n", rate.iVal);

    std::printf("\n3. Message texts\n");
    for (HRESULT code : {static_cast<HRESULT>(0xA0190105), static_cast<HRESULT>(0xA0190102), E_FAIL})
        std::printf("  0x%08X: %s\n", static_cast<unsigned>(code), Text(code).c_str());
    std::vector<char> alarm(2048);
    VTS_GetFaultMsg_A(0x10000, 0x1, 0x80000000u, alarm.data(), static_cast<int32_t>(alarm.size()));
    std::printf("  alarm bits 0 and 63 of a family-1 tester:\n%s", alarm.data());

    std::printf("\n4. Linking needs the device layer: VTS_LinkDevice -> 0x%08X\n",
                static_cast<unsigned>(VTS_LinkDevice(OLESTR("PC-IP:192.168.253.1 DEV-IP:192.168.253.231"))));

    VTS_DestroyServer();
    VTS_DestroyHostWindow(window);
    CoUninitialize();
    std::printf("\nServer destroyed.\n");
    return 0;
}

} // namespace

VTS_SUBCOMMAND(demo, "demo", "", "a tour of the server on the simulated bench", Demo);
