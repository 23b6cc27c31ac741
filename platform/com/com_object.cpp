#include "com_object.h"

namespace {
std::atomic<LONG> g_moduleLocks{0};
}

LONG ComModuleLockCount() { return g_moduleLocks.load(); }
void ComModuleLock() { ++g_moduleLocks; }
void ComModuleUnlock() { --g_moduleLocks; }

HRESULT ComQueryInterface(void* object, const ComInterfaceEntry* table, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (const ComInterfaceEntry* entry = table; entry->iid; ++entry) {
        if (*entry->iid == iid || (entry == table && iid == IID_IUnknown)) {
            auto* found = reinterpret_cast<IUnknown*>(static_cast<char*>(object) + entry->offset);
            found->AddRef();
            *out = found;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}
