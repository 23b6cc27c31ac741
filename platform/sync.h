// Locks, events and waits with Win32 semantics.
#pragma once

#include <varel/vts_platform.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <mutex>

// Recursive, as on Windows: the owning thread may enter again and must leave
// as often as it entered.
struct CRITICAL_SECTION {
    std::recursive_mutex mutex;
};

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu

void InitializeCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);

// manualReset FALSE: auto-reset, a successful wait clears the event and
// releases exactly one waiter. Returns null when out of memory. name must be null.
HANDLE CreateEventW(void* security, BOOL manualReset, BOOL initialState, LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Events and threads (a thread is signalled when it has ended).
// WAIT_OBJECT_0, WAIT_TIMEOUT after timeoutMs, WAIT_FAILED for a bad handle.
DWORD WaitForSingleObject(HANDLE object, DWORD timeoutMs);
// waitAll must be FALSE: WAIT_OBJECT_0 + the index of the first signalled
// object (an auto-reset one is cleared), WAIT_TIMEOUT, or WAIT_FAILED for a
// bad handle or more than MAXIMUM_WAIT_OBJECTS.
#define MAXIMUM_WAIT_OBJECTS 64u
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD timeoutMs);

// CloseHandle (in the public header) closes an event, thread, mapping or
// serial port handle; a thread goes on running.
#endif

// Scoped Enter/LeaveCriticalSection.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CRITICAL_SECTION& section) : section_(section) {
        EnterCriticalSection(&section_);
    }
    ~CriticalSectionLock() { LeaveCriticalSection(&section_); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CRITICAL_SECTION& section_;
};
