/* A host program in C, as a 32-bit Windows host application uses the DLL:
 * it loads VarelTSS.dll itself, finds the exports by name, hands the server a
 * window of its own, pumps messages, and checks what arrives.
 * Usage: c_host_example [path of VarelTSS.dll [link text]]; without a path,
 * the DLL beside the program. With a link text (a tester answers there, such
 * as the simulated bench in a private network), one more server life links
 * to the tester and asks for the I/O state. */
#include <varel/vts.h>

#include "host_exports.h"
#include "host_windows.h"

#include <stdio.h>
#include <wchar.h>

static int failures = 0;

#define CHECK(cond)                                                              \
    do {                                                                         \
        if (!(cond)) {                                                           \
            printf("%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);      \
            ++failures;                                                          \
        }                                                                        \
    } while (0)

/* The server's announcement to the trace window, one per VTS_CreateServer. */
static const WCHAR kServerMessageName[] = L"WM_VAREL_SERVERMSG";
enum { kRounds = 2 };

static int DllPath(int argc, char** argv, WCHAR* path, DWORD capacity) {
    if (argc > 1) return MultiByteToWideChar(CP_ACP, 0, argv[1], -1, path, (int)capacity) > 0;
    DWORD length = GetModuleFileNameW(NULL, path, capacity);
    if (length == 0 || length == capacity) return 0;
    while (length > 0 && path[length - 1] != L'\\' && path[length - 1] != L'/') --length;
    static const WCHAR kName[] = L"VarelTSS.dll";
    if (length + sizeof kName / sizeof kName[0] > capacity) return 0;
    wcscpy(path + length, kName);
    return 1;
}

static void Release(void* object) {
    IUnknown* unknown = (IUnknown*)object;
    unknown->lpVtbl->Release(unknown);
}

/* The class's factory makes an object that answers iid: the C constants of
 * the public header are the DLL's own ids. */
static void CheckClass(const HostExports* api, REFCLSID clsid, REFIID iid) {
    IClassFactory* factory = NULL;
    CHECK(api->GetClassObject(clsid, &IID_IClassFactory, (void**)&factory) == S_OK && factory);
    if (!factory) return;
    void* object = NULL;
    CHECK(factory->lpVtbl->CreateInstance(factory, NULL, iid, &object) == S_OK && object);
    Release(factory);
    if (object) Release(object);
}

static void CheckCalcEngine(const HostExports* api) {
    ICalcEngine* engine = NULL;
    CHECK(api->GetCalcEngine(&engine) == S_OK && engine);
    if (!engine) return;
    IUnknown* unknown = (IUnknown*)engine;
    void* again = NULL;
    CHECK(unknown->lpVtbl->QueryInterface(unknown, &IID_ICalcEngine, &again) == S_OK && again);
    if (again) Release(again);
    Release(engine);
}

static void CheckFaultText(const HostExports* api) {
    WCHAR text[64] = {0};
    api->GetFaultMsg_Com_W(E_FAIL, text, 64);
    CHECK(wcslen(text) > 0);
    WCHAR cut[4] = {0};
    api->GetFaultMsg_Com_W(E_FAIL, cut, 4); /* truncated to 3 characters and NUL */
    CHECK(wcslen(cut) == 3 && wcsncmp(cut, text, 3) == 0);
}

/* One server life: created with the notification window, the calls that
 * need no tester, destroyed. The announcement arrives while
 * VTS_CreateServer runs (the trace window is this thread's), nothing after. */
static void CheckServerLife(const HostExports* api, HWND notifyWindow, const HostEventLog* log) {
    const int before = log->count;
    CHECK(api->CreateServer(notifyWindow) == S_OK);
    CHECK(log->count == before + 1);
    CHECK(api->CreateServer(notifyWindow) == S_FALSE);
    CHECK(api->GetTestServer() == E_NOINTERFACE);
    CHECK(api->GetDAAM() == 20.0f);
    const BaseDeviceInfo* info = api->GetBaseDeviceInfo();
    CHECK(info && info->voltageChannels == 16);
    CheckFaultText(api);
    CheckCalcEngine(api);
    PumpMessages(100); /* whatever the server's own threads send arrives here */
    CHECK(api->DestroyServer() == S_OK);
    PumpMessages(50);
    CHECK(log->count == before + 1);
}

static void PrintEvent(int i, const HostWindowEvent* event) {
    if (event->message == VTS_WM_NOTIFY)
        printf("event %d: notification %u (record %s, code %u)\n", i, (unsigned)event->wParam,
               event->hasRecord ? "present" : "missing", event->hasRecord ? event->record.code : 0u);
    else
        printf("event %d: message 0x%X, wParam %lu\n", i, event->message, (unsigned long)event->wParam);
}

/* All that arrived, in order: one announcement with this process's id per
 * server life, and no notification, as no tester is linked. */
static void CheckEventOrder(const HostEventLog* log, HWND traceWindow, UINT serverMessage) {
    CHECK(log->dropped == 0);
    CHECK(log->count == kRounds);
    for (int i = 0; i < log->count; ++i) {
        const HostWindowEvent* event = &log->events[i];
        if (event->window == traceWindow && event->message == serverMessage &&
            event->wParam == GetCurrentProcessId())
            continue;
        PrintEvent(i, event);
        ++failures;
    }
}

/* A server life with a tester: the trace window's announcement, then the
 * link's notification with the 104-byte device information, then the I/O
 * state's with its 64 bytes, in that order and nothing else. */
static void CheckLinkedLife(const HostExports* api, HWND notifyWindow, const HostEventLog* log,
                            HWND traceWindow, UINT serverMessage, const char* link) {
    const int before = log->count;
    CHECK(api->CreateServer(notifyWindow) == S_OK);
    CHECK(api->LinkDevice_A(link) == S_OK);
    PumpMessages(100);
    CHECK(api->AskIoState() == S_OK);
    PumpMessages(100);
    CHECK(api->DestroyServer() == S_OK);
    PumpMessages(50);
    static const uint32_t kCodes[] = {VTS_NOTIFY_LINKED, VTS_NOTIFY_IO_STATE};
    static const uint32_t kLengths[] = {104, 64};
    CHECK(log->count == before + 3);
    if (log->count != before + 3) {
        for (int i = before; i < log->count; ++i) PrintEvent(i, &log->events[i]);
        return;
    }
    const HostWindowEvent* announcement = &log->events[before];
    CHECK(announcement->window == traceWindow && announcement->message == serverMessage);
    for (int i = 0; i < 2; ++i) {
        const HostWindowEvent* event = &log->events[before + 1 + i];
        CHECK(event->window == notifyWindow && event->message == VTS_WM_NOTIFY);
        CHECK(event->wParam == kCodes[i] && event->hasRecord);
        CHECK(event->record.code == kCodes[i] && event->record.length == kLengths[i]);
        if (event->wParam != kCodes[i]) PrintEvent(before + 1 + i, event);
    }
    CHECK(log->events[before + 1].record.value1 == 1);
}

static void RunHost(const HostExports* api, const char* link) {
    static HostEventLog log;
    HWND traceWindow = CreateTraceWindow(&log);
    HWND notifyWindow = CreateNotifyWindow(&log);
    CHECK(traceWindow != NULL);
    CHECK(notifyWindow != NULL);
    const UINT serverMessage = RegisterWindowMessageW(kServerMessageName);
    CHECK(serverMessage >= 0xC000);
    if (traceWindow && notifyWindow) {
        for (int round = 0; round < kRounds; ++round) CheckServerLife(api, notifyWindow, &log);
        CheckEventOrder(&log, traceWindow, serverMessage);
        if (link) CheckLinkedLife(api, notifyWindow, &log, traceWindow, serverMessage, link);
    }
    CheckClass(api, &CLSID_GenericData, &IID_IGenericData);
    CheckClass(api, &CLSID_CalcEngine, &IID_ICalcEngine);
    DestroyHostWindows(notifyWindow, traceWindow);
}

int main(int argc, char** argv) {
    setvbuf(stdout, NULL, _IONBF, 0); /* a run cut short still shows its failed checks */
    WCHAR path[MAX_PATH];
    if (!DllPath(argc, argv, path, MAX_PATH)) {
        printf("no path for VarelTSS.dll\n");
        return 1;
    }
    HMODULE dll = LoadLibraryW(path);
    if (!dll) {
        printf("cannot load %ls: error %lu\n", path, (unsigned long)GetLastError());
        return 1;
    }
    HostExports api;
    if (FindHostExports(dll, &api) != 0) {
        FreeLibrary(dll);
        return 1;
    }
    /* What every host does first: the server uses Winsock and COM. */
    WSADATA winsock;
    CHECK(WSAStartup(MAKEWORD(2, 2), &winsock) == 0);
    CHECK(SUCCEEDED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)));
    RunHost(&api, argc > 2 ? argv[2] : NULL);
    CHECK(FreeLibrary(dll));
    CoUninitialize();
    WSACleanup();
    printf("%s\n", failures ? "host example FAILED" : "host example passed");
    return failures ? 1 : 0;
}
