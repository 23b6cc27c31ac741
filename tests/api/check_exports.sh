#!/bin/sh
# Lists the shared library's exported functions and fails on any that is not
# part of the API: VTS_*, the COM entry points, and on Linux the platform
# functions a host calls (BSTR, VARIANT, COM runtime, named shared memory).
lib=$1
bad=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TW]$/ {print $3}' |
      grep -v -E '^(VTS_[A-Za-z_]+|Dll(CanUnloadNow|GetClassObject|RegisterServer|UnregisterServer|Install)|Sys(AllocString|AllocStringLen|AllocStringByteLen|ReAllocString|ReAllocStringLen|FreeString|StringLen|StringByteLen)|Variant(Init|Clear|Copy|ChangeType)|Co(Initialize|InitializeEx|Uninitialize|CreateInstance)|CLSIDFromProgID|CreateFileMappingW|OpenFileMappingW|MapViewOfFile|UnmapViewOfFile|CloseHandle|GetLastError|_init|_fini)$')
if [ -n "$bad" ]; then
  echo "unexpected exports:"; echo "$bad"; exit 1
fi
for name in VTS_CreateServer VTS_DestroyServer VTS_GetFaultMsg_Com_A DllGetClassObject SysAllocString CreateFileMappingW; do
  nm -D --defined-only "$lib" | grep -q " $name\$" || { echo "missing export $name"; exit 1; }
done
echo "exports ok"
