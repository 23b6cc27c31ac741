// What every COM class of the library shares: its reference count, its
// QueryInterface table and the live-object count behind DllCanUnloadNow.
#pragma once

#include <varel/vts_platform.h>

#include <atomic>
#include <cstddef>

// Objects alive plus server locks (IClassFactory::LockServer).
LONG ComModuleLockCount();
void ComModuleLock();
void ComModuleUnlock();

// A member of each COM object: counts it among the live objects.
class ComLiveObject {
public:
    ComLiveObject() { ComModuleLock(); }
    ~ComLiveObject() { ComModuleUnlock(); }
    ComLiveObject(const ComLiveObject&) : ComLiveObject() {}
    ComLiveObject& operator=(const ComLiveObject&) { return *this; }
};

// One interface a class answers, and where it sits inside the object.
struct ComInterfaceEntry {
    const IID* iid;
    ptrdiff_t offset; // from the object's start to the interface
};
#define COM_INTERFACE_ENTRY(Class, Interface, iid) \
    {&(iid), static_cast<ptrdiff_t>(reinterpret_cast<char*>(static_cast<Interface*>( \
                 reinterpret_cast<Class*>(0x1000))) - reinterpret_cast<char*>(0x1000))}

// QueryInterface over a table ended by {nullptr, 0}: IID_IUnknown answers the
// first entry. E_POINTER for a null out, E_NOINTERFACE (out nulled) otherwise.
HRESULT ComQueryInterface(void* object, const ComInterfaceEntry* table, REFIID iid, void** out);

// The reference count: starts at 1 for the creator.
class ComRefCount {
public:
    ULONG Add() { return ++count_; }
    ULONG Drop() { return --count_; }

private:
    std::atomic<ULONG> count_{1};
};

// The IUnknown of a class whose table is kInterfaces and whose deletion is
// `delete this`. Put inside the body of a final class.
#define COM_IUNKNOWN_METHODS(Class)                                                   \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {       \
        return ComQueryInterface(this, Class::kInterfaces, iid, out);                 \
    }                                                                                 \
    ULONG STDMETHODCALLTYPE AddRef() override { return refs_.Add(); }                 \
    ULONG STDMETHODCALLTYPE Release() override {                                      \
        ULONG left = refs_.Drop();                                                    \
        if (left == 0) delete this;                                                   \
        return left;                                                                  \
    }
