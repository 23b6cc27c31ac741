#!/bin/sh
# Registration of the DLL under wine64, as an installer and a host meet it:
# regsvr32 writes every key of the class scripts, another program and a
# script run by cscript create both classes by ProgID, unregistering removes
# the keys again, and a per-user registration lands under the current user's
# classes root. Runs inside tools/wine-session (its prefix, its server).
#   com_registration.sh VarelTSS.dll com_client.exe varel_com.js
set -u
wine=/usr/lib/wine/wine64
dll=$($wine winepath -w "$1")
client=$2
script=$($wine winepath -w "$3")
failures=0
# Whatever happens, the prefix is left without the classes, for the other tests.
cleanup() {
  $wine regsvr32 /s /u "$dll" >/dev/null 2>&1
  $wine regsvr32 /s /u /n /i:user "$dll" >/dev/null 2>&1
}
trap cleanup EXIT

check() { # what, command...
  what=$1; shift
  if "$@" >/dev/null 2>&1; then echo "ok    $what"; else echo "FAIL  $what"; failures=$((failures + 1)); fi
}
fails() { ! "$@"; }
key() { $wine reg query "$1" >/dev/null 2>&1; }
# One reg query per key tree (each is a wine process); the checks read the dump.
dump() { dump=$(for k in "$@"; do $wine reg query "$k" /s; done 2>/dev/null | tr -d '\r'); }
has_key() { printf '%s\n' "$dump" | grep -qxF -- "$1"; }
value() { # key, value name (empty: the default), expected data
  printf '%s\n' "$dump" | K=$1 awk '$0 == ENVIRON["K"] { on = 1; next } on && /^$/ { exit } on { print }' |
    grep -F -- "${2:-(Default)}" | grep -qF -- "$3"
}

gdata={0D5B2936-9236-47D3-AE89-AA7DF0301B2A}
calc={6E0C3A52-41B7-4C8D-9F21-7B5E8A13D402}
libid={4D3E6B2A-B81F-43EE-9B00-9B9E97A2721B}
appid={E753674A-13B5-4E74-BE15-85E69B3BE5B7}

# Every key of one class's script under the classes root $1 (as reg names it).
class_keys() { # root, clsid, ProgID, description
  root=$1 clsid=$2 progid=$3 description=$4
  dump "$root\\$progid.1" "$root\\$progid" "$root\\CLSID\\$clsid"
  check "$progid: ProgID" value "$root\\$progid.1" "" "$description"
  check "$progid: ProgID's class" value "$root\\$progid.1\\CLSID" "" "$clsid"
  check "$progid: current ProgID" value "$root\\$progid" "" "$description"
  check "$progid: current ProgID's class" value "$root\\$progid\\CLSID" "" "$clsid"
  check "$progid: current version" value "$root\\$progid\\CurVer" "" "$progid.1"
  check "$progid: class key" value "$root\\CLSID\\$clsid" "" "$description"
  check "$progid: application id" value "$root\\CLSID\\$clsid" AppID "$appid"
  check "$progid: class's ProgID" value "$root\\CLSID\\$clsid\\ProgID" "" "$progid.1"
  check "$progid: class's current ProgID" value "$root\\CLSID\\$clsid\\VersionIndependentProgID" "" "$progid"
  check "$progid: programmable" has_key "$root\\CLSID\\$clsid\\Programmable"
  check "$progid: server" value "$root\\CLSID\\$clsid\\InprocServer32" "" "$dll"
  check "$progid: threading model" value "$root\\CLSID\\$clsid\\InprocServer32" ThreadingModel Apartment
  check "$progid: type library" value "$root\\CLSID\\$clsid\\TypeLib" "" "$libid"
}

check "regsvr32 registers" $wine regsvr32 /s "$dll"
check "registering twice" $wine regsvr32 /s "$dll"
class_keys HKEY_CLASSES_ROOT "$gdata" VarelData.GenericData "GenericData Class"
class_keys HKEY_CLASSES_ROOT "$calc" VarelCalcEngine.CalcEngine "CalcEngine Class"
check "the type library is registered" key "HKCR\\TypeLib\\$libid\\1.0"
check "a program creates both classes by ProgID" $wine "$client" registered
$wine cscript //nologo "$script" || { echo "FAIL  the script (above)"; failures=$((failures + 1)); }

check "regsvr32 /u unregisters" $wine regsvr32 /s /u "$dll"
check "the document's ProgID is gone" fails key "HKCR\\VarelData.GenericData"
check "the engine's class key is gone" fails key "HKCR\\CLSID\\$calc"
check "the type library's key is gone" fails key "HKCR\\TypeLib\\$libid"
check "the CLSID root stays" key "HKCR\\CLSID"
check "creating by ProgID fails" $wine "$client" unregistered
check "unregistering what is not registered" $wine regsvr32 /s /u "$dll"

check "DllInstall for the current user" $wine regsvr32 /s /n /i:USER "$dll"
class_keys 'HKEY_CURRENT_USER\Software\Classes' "$gdata" VarelData.GenericData "GenericData Class"
check "nothing under the machine's classes" fails key "HKLM\\Software\\Classes\\VarelData.GenericData"
check "DllInstall uninstalls for the current user" $wine regsvr32 /s /u /n /i:user "$dll"
check "the user's keys are gone" fails key 'HKCU\Software\Classes\CLSID\'"$gdata"

[ $failures -eq 0 ] && echo "all passed" || echo "$failures failed"
[ $failures -eq 0 ]
