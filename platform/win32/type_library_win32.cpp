// The type library from the library file itself (resource 1), else from the
// ".tlb" beside it; oleaut32 describes, converts and calls.
#include "com/type_library.h"

#include "com/com_ptr.h"
#include "module_path.h"

#include <windows.h>

// oleaut32 exports them; mingw-w64's headers do not declare them.
extern "C" {
HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path, OLECHAR* helpDir);
HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID id, WORD major, WORD minor, LCID lcid, SYSKIND syskind);
}

namespace {

HRESULT LibraryPath(WideString* path) {
    *path = LibraryFilePath();
    if (path->empty()) return HRESULT_FROM_WIN32(GetLastError());
    if (path->size() >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    return S_OK;
}

// path: the file it was loaded from.
HRESULT LoadLibraryTypeLib(ITypeLib** out, WideString* path) {
    HRESULT hr = LibraryPath(path);
    if (FAILED(hr)) return hr;
    hr = LoadTypeLibEx(path->c_str(), REGKIND_NONE, out);
    if (SUCCEEDED(hr)) return hr;
    size_t dot = path->find_last_of(L'.');
    size_t slash = path->find_last_of(L'\\');
    if (dot == WideString::npos || (slash != WideString::npos && dot < slash)) dot = path->size();
    path->replace(dot, WideString::npos, L".tlb");
    return LoadTypeLibEx(path->c_str(), REGKIND_NONE, out);
}

// Loaded once and kept for the life of the process, as oleaut32 keeps it.
ITypeLib* CachedTypeLib() {
    static ITypeLib* const library = [] {
        ITypeLib* loaded = nullptr;
        WideString path;
        return SUCCEEDED(LoadLibraryTypeLib(&loaded, &path)) ? loaded : nullptr;
    }();
    return library;
}

// The vtable half of a dual interface: what Invoke calls through.
HRESULT VtableTypeInfo(REFIID iid, ComPtr<ITypeInfo>* out) {
    ComPtr<ITypeInfo> info;
    HRESULT hr = LibraryTypeInfo(iid, info.Put());
    if (FAILED(hr)) return hr;
    TYPEATTR* attr = nullptr;
    hr = info->GetTypeAttr(&attr);
    if (FAILED(hr)) return hr;
    bool dual = attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL);
    info->ReleaseTypeAttr(attr);
    if (!dual) {
        *out = info;
        return S_OK;
    }
    HREFTYPE vtable = 0;
    hr = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtable);
    if (FAILED(hr)) return hr;
    return info->GetRefTypeInfo(vtable, out->Put());
}

// More arguments than the method takes: the system's own Invoke refuses them,
// Wine's lets them pass; refused here on both.
HRESULT CheckArgumentCount(ITypeInfo* info, DISPID id, const DISPPARAMS* params) {
    ComPtr<ITypeInfo2> described;
    UINT index = 0;
    FUNCDESC* function = nullptr;
    if (!params || FAILED(info->QueryInterface(IID_ITypeInfo2, described.PutVoid())) ||
        FAILED(described->GetFuncIndexOfMemId(id, INVOKE_FUNC, &index)) ||
        FAILED(info->GetFuncDesc(index, &function)))
        return S_OK; // Invoke itself answers
    UINT taken = 0;
    for (SHORT i = 0; i < function->cParams; ++i)
        if (!(function->lprgelemdescParam[i].paramdesc.wParamFlags & PARAMFLAG_FRETVAL)) ++taken;
    bool varargs = function->cParamsOpt == -1;
    info->ReleaseFuncDesc(function);
    return !varargs && params->cArgs > taken ? DISP_E_BADPARAMCOUNT : S_OK;
}

} // namespace

UINT LibraryTypeInfoCount() { return 1; }

HRESULT LibraryTypeInfo(REFIID iid, ITypeInfo** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ITypeLib* library = CachedTypeLib();
    if (!library) return TYPE_E_CANTLOADLIBRARY;
    return library->GetTypeInfoOfGuid(iid, out);
}

HRESULT LibraryGetIDsOfNames(REFIID iid, REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ComPtr<ITypeInfo> info;
    HRESULT hr = VtableTypeInfo(iid, &info);
    if (FAILED(hr)) return hr;
    return info->GetIDsOfNames(names, count, ids);
}

HRESULT LibraryInvoke(REFIID iid, void* instance, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ComPtr<ITypeInfo> info;
    HRESULT hr = VtableTypeInfo(iid, &info);
    if (SUCCEEDED(hr)) hr = CheckArgumentCount(info.Get(), id, params);
    if (FAILED(hr)) return hr;
    return info->Invoke(instance, id, flags, params, result, exception, argError);
}

HRESULT RegisterLibraryTypeLib(bool perUser) {
    // Registered with the file it came from: the library's own or the ".tlb".
    ComPtr<ITypeLib> library;
    WideString path;
    HRESULT hr = LoadLibraryTypeLib(library.Put(), &path);
    if (FAILED(hr)) return hr;
    return perUser ? RegisterTypeLibForUser(library.Get(), path.data(), nullptr)
                   : RegisterTypeLib(library.Get(), path.data(), nullptr);
}

HRESULT UnregisterLibraryTypeLib(bool perUser) {
    ComPtr<ITypeLib> library;
    WideString path;
    HRESULT hr = LoadLibraryTypeLib(library.Put(), &path);
    if (FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    hr = library->GetLibAttr(&attr);
    if (FAILED(hr)) return hr;
    TLIBATTR id = *attr;
    library->ReleaseTLibAttr(attr);
    // What is not registered is not there to remove: that is done too.
    BSTR registered = nullptr;
    if (FAILED(QueryPathOfRegTypeLib(id.guid, id.wMajorVerNum, id.wMinorVerNum, id.lcid, &registered)))
        return S_OK;
    SysFreeString(registered);
    return perUser ? UnRegisterTypeLibForUser(id.guid, id.wMajorVerNum, id.wMinorVerNum, id.lcid, id.syskind)
                   : UnRegisterTypeLib(id.guid, id.wMajorVerNum, id.wMinorVerNum, id.lcid, id.syskind);
}
