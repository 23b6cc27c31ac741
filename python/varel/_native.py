"""The library, loaded once, and what crosses its edge: exports, BSTRs,
VARIANTs and COM objects called through their vtables.

Where the library is: the environment variable VARELTSS_LIBRARY (the path of
libVarelTSS.so or VarelTSS.dll), else the build tree beside this package
(build/bin/ of the source tree it was imported from), else the system
loader's search (LD_LIBRARY_PATH, PATH).
"""

import ctypes
import os
import shutil
import struct
import sys
import threading
import uuid
from ctypes import POINTER, byref, c_char_p, c_float, c_int32, c_size_t, c_ssize_t, c_uint16, c_uint32, c_void_p
from functools import lru_cache
from pathlib import Path

WINDOWS = sys.platform == "win32"
LIBRARY_NAME = "VarelTSS.dll" if WINDOWS else "libVarelTSS.so"
HRESULT = c_int32
# COM methods and entry points: stdcall on 32-bit Windows, the one convention elsewhere.
METHOD = ctypes.WINFUNCTYPE if WINDOWS else ctypes.CFUNCTYPE

_SOURCE_TREE = Path(__file__).resolve().parent.parent.parent


def library_path():
    """The library file to load: VARELTSS_LIBRARY, the build tree, or its bare name."""
    named = os.environ.get("VARELTSS_LIBRARY")
    if named:
        return named
    built = _SOURCE_TREE / "build" / "bin" / LIBRARY_NAME
    return str(built) if built.is_file() else LIBRARY_NAME


def tree_program(name, variable, build_folder):
    """A program of the library's tree: the environment variable, else
    <build>/<build_folder>/ beside the build tree's bin/, else bin/ of an
    installed tree, else PATH. None when none is found."""
    named = os.environ.get(variable)
    if named:
        return named
    executable = name + (".exe" if WINDOWS else "")
    folder = Path(library().path).parent
    for candidate in (folder.parent / build_folder / executable, folder / executable):
        if candidate.is_file():
            return str(candidate)
    return shutil.which(name)


class GUID(ctypes.Structure):
    _fields_ = [("Data1", c_uint32), ("Data2", c_uint16), ("Data3", c_uint16), ("Data4", ctypes.c_uint8 * 8)]

    @classmethod
    def of(cls, text):
        return cls.from_buffer_copy(uuid.UUID(text).bytes_le)


CLSID_GenericData = GUID.of("0D5B2936-9236-47D3-AE89-AA7DF0301B2A")
IID_IGenericData = GUID.of("B252A0EE-8DAE-41C7-8D66-92A2E3559EB8")
IID_IGenericDataNode = GUID.of("7A65C292-0FA7-4EA9-A7DF-73FF22BB1F49")
CLSID_CalcEngine = GUID.of("6E0C3A52-41B7-4C8D-9F21-7B5E8A13D402")
IID_ICalcEngine = GUID.of("C8A7F1D3-2E64-4B09-8D5A-39F0B6E2C715")
IID_IClassFactory = GUID.of("00000001-0000-0000-C000-000000000046")

# The host's notification record (vts.h): on 64-bit hosts data sits at offset 16.
class HostNotifyRecord(ctypes.Structure):
    _fields_ = [("code", c_uint32), ("kind", c_uint32), ("value1", c_int32), ("value2", c_int32),
                ("data", c_void_p), ("length", c_uint32)]


# The Linux host's window procedure (vts_platform.h).
WINDOW_PROC = ctypes.CFUNCTYPE(c_ssize_t, c_void_p, c_void_p, c_uint32, c_size_t, c_ssize_t)
VTS_WM_NOTIFY = 0x1400

_EXPORTS = {
    "VTS_CreateServer": (HRESULT, [c_void_p]),
    "VTS_DestroyServer": (HRESULT, []),
    "VTS_LinkDevice_A": (HRESULT, [c_char_p]),
    "VTS_ActiveTest_A": (HRESULT, [c_char_p]),
    "VTS_BeginTest": (HRESULT, [c_void_p]),
    "VTS_StopTest": (HRESULT, [c_int32]),
    "VTS_GetTestResult": (HRESULT, [POINTER(c_void_p)]),
    "VTS_InitTestParams_A": (HRESULT, [c_void_p, c_char_p]),
    "VTS_TransBoutState": (HRESULT, [POINTER(c_uint16), c_int32]),
    "VTS_TransBoutState_Ex": (HRESULT, [POINTER(c_uint16), c_int32]),
    "VTS_AskIoState": (HRESULT, []),
    "VTS_AskIoState_Ex": (HRESULT, []),
    "VTS_InitCalcParams": (None, [c_void_p, c_int32]),
    "VTS_DescribeComtrade": (HRESULT, [c_char_p, c_float, POINTER(c_void_p)]),
    "VTS_GetFaultMsg_Com_A": (None, [HRESULT, c_char_p, c_int32]),
}
# On Linux the library supplies the platform's part too; Windows has its own.
_PLATFORM = {
    "SysAllocStringLen": (c_void_p, [c_char_p, c_uint32]),
    "SysFreeString": (None, [c_void_p]),
    "SysStringLen": (c_uint32, [c_void_p]),
    "VariantClear": (HRESULT, [c_void_p]),
    "VariantChangeType": (HRESULT, [c_void_p, c_void_p, c_uint16, c_uint16]),
    "CoInitialize": (HRESULT, [c_void_p]),
}
_LINUX_HOST = {
    "VTS_CreateHostWindow": (c_void_p, [c_char_p, WINDOW_PROC, c_void_p]),
    "VTS_DestroyHostWindow": (None, [c_void_p]),
}


class _DlInfo(ctypes.Structure):
    _fields_ = [("dli_fname", c_char_p), ("dli_fbase", c_void_p), ("dli_sname", c_char_p), ("dli_saddr", c_void_p)]


def _bind(function, declaration):
    function.restype, function.argtypes = declaration
    return function


class _Library:
    def __init__(self, path):
        try:
            self.dll = ctypes.CDLL(path)
        except OSError as error:
            raise OSError(
                f"cannot load {path} ({error}); set VARELTSS_LIBRARY to the library's path "
                f"(build/bin/{LIBRARY_NAME} of a build tree, bin/{LIBRARY_NAME} of an installed one)") from None
        for name, declaration in _EXPORTS.items():
            setattr(self, name, _bind(getattr(self.dll, name), declaration))
        entry = (HRESULT, [POINTER(GUID), POINTER(GUID), POINTER(c_void_p)])
        if WINDOWS:
            self.DllGetClassObject = _bind(ctypes.WinDLL(path).DllGetClassObject, entry)
            oleaut32, ole32 = ctypes.WinDLL("oleaut32"), ctypes.WinDLL("ole32")
            for name, declaration in _PLATFORM.items():
                setattr(self, name, _bind(getattr(ole32 if name.startswith("Co") else oleaut32, name), declaration))
            kernel32 = ctypes.WinDLL("kernel32")
            buffer = ctypes.create_unicode_buffer(32768)
            kernel32.GetModuleFileNameW.argtypes = [c_void_p, c_void_p, c_uint32]
            found = kernel32.GetModuleFileNameW(self.dll._handle, buffer, len(buffer))
            self.path = buffer.value if found else path
        else:
            self.DllGetClassObject = _bind(self.dll.DllGetClassObject, entry)
            for name, declaration in {**_PLATFORM, **_LINUX_HOST}.items():
                setattr(self, name, _bind(getattr(self.dll, name), declaration))
            info = _DlInfo()
            libc = ctypes.CDLL(None)
            libc.dladdr.argtypes = [c_void_p, POINTER(_DlInfo)]
            found = libc.dladdr(ctypes.cast(self.dll.VTS_CreateServer, c_void_p), byref(info))
            self.path = os.path.realpath(info.dli_fname.decode()) if found and info.dli_fname else path


_library = None
_library_lock = threading.Lock()
_com_threads = threading.local()


def library():
    """The loaded library (loaded on first use)."""
    global _library
    with _library_lock:
        if _library is None:
            _library = _Library(library_path())
        return _library


def com():
    """The library, with COM initialised on the calling thread (the library
    makes its objects there)."""
    lib = library()
    if not getattr(_com_threads, "ready", False):
        lib.CoInitialize(None)
        _com_threads.ready = True
    return lib


class VarelError(Exception):
    """A failure of the library: its result code (HRESULT, as an unsigned
    32-bit number) and the library's own text for it (VTS_GetFaultMsg)."""

    def __init__(self, hresult, operation="", detail=""):
        self.hresult = hresult & 0xFFFFFFFF
        self.operation = operation
        self.text = fault_text(self.hresult)
        where = f"{operation}: " if operation else ""
        why = f" ({detail})" if detail else ""
        super().__init__(f"{where}0x{self.hresult:08X} {self.text}{why}")


def fault_text(hresult):
    """The library's text for a result code."""
    buffer = ctypes.create_string_buffer(4096)
    library().VTS_GetFaultMsg_Com_A(struct.unpack("<i", struct.pack("<I", hresult & 0xFFFFFFFF))[0], buffer, 4096)
    return buffer.value.decode("utf-8", "replace")


def check(hresult, operation, detail=""):
    """Raises VarelError for a failure code; returns the code otherwise."""
    if hresult < 0:
        raise VarelError(hresult, operation, detail)
    return hresult


def wide(text):
    """A NUL-terminated UTF-16 argument (WCHAR*)."""
    return os.fspath(text).encode("utf-16-le") + b"\0\0"


class BStr:
    """An owned BSTR, freed on exit from a with block."""

    def __init__(self, text):
        data = text.encode("utf-16-le", "surrogatepass")
        self.pointer = library().SysAllocStringLen(data, len(data) // 2)
        if not self.pointer:
            raise MemoryError("SysAllocStringLen")

    def __enter__(self):
        return self.pointer

    def __exit__(self, *exc):
        library().SysFreeString(self.pointer)


def bstr_text(pointer):
    """The text of a BSTR (null is empty)."""
    if not pointer:
        return ""
    return ctypes.string_at(pointer, 2 * library().SysStringLen(pointer)).decode("utf-16-le", "surrogatepass")


def take_bstr(pointer):
    """The text of a BSTR handed out by the library, which is then freed."""
    text = bstr_text(pointer)
    library().SysFreeString(pointer)
    return text


# VARIANT types that Python values take and give.
VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R4, VT_R8, VT_BSTR, VT_BOOL = 0, 1, 2, 3, 4, 5, 8, 11
VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT = 16, 17, 18, 19, 20, 21, 22, 23
_SCALARS = {VT_I1: "b", VT_UI1: "B", VT_I2: "h", VT_UI2: "H", VT_I4: "i", VT_UI4: "I", VT_INT: "i",
            VT_UINT: "I", VT_I8: "q", VT_UI8: "Q", VT_R4: "f", VT_R8: "d"}
NUMERIC_TYPES = frozenset(_SCALARS) | {VT_BOOL}


class VARIANT(ctypes.Structure):
    """The VARIANT, 8 bytes of type and reserved words, then two pointers'
    worth of value; written without a union so that it passes by value."""
    _fields_ = [("vt", c_uint16), ("reserved", c_uint16 * 3), ("word", ctypes.c_uint64)] + (
        [("word2", c_void_p)] if ctypes.sizeof(c_void_p) == 8 else [])

    def _value_bytes(self, size):
        return ctypes.string_at(ctypes.addressof(self) + 8, size)

    def _set_value_bytes(self, data):
        ctypes.memmove(ctypes.addressof(self) + 8, data, len(data))

    def get(self):
        """The value as Python has it: None, int, float, bool or str."""
        if self.vt in (VT_EMPTY, VT_NULL):
            return None
        if self.vt == VT_BSTR:
            return bstr_text(c_void_p.from_buffer_copy(self._value_bytes(ctypes.sizeof(c_void_p))).value)
        if self.vt == VT_BOOL:
            return struct.unpack("<h", self._value_bytes(2))[0] != 0
        code = _SCALARS.get(self.vt)
        if code is None:
            raise TypeError(f"a value of VARIANT type {self.vt} has no Python form")
        value = struct.unpack("<" + code, self._value_bytes(struct.calcsize(code)))[0]
        return float32(value) if self.vt == VT_R4 else value

    @classmethod
    def of(cls, value):
        """A VARIANT holding value; one holding text must be cleared."""
        v = cls()
        if value is None:
            return v
        if isinstance(value, bool):
            v.vt = VT_BOOL
            v._set_value_bytes(struct.pack("<h", -1 if value else 0))
        elif isinstance(value, int):
            v.vt = VT_I4 if -2**31 <= value < 2**31 else VT_I8
            v._set_value_bytes(struct.pack("<i" if v.vt == VT_I4 else "<q", value))
        elif isinstance(value, float):
            v.vt = VT_R8
            v._set_value_bytes(struct.pack("<d", value))
        elif isinstance(value, str):
            data = value.encode("utf-16-le", "surrogatepass")
            pointer = library().SysAllocStringLen(data, len(data) // 2)
            if not pointer:
                raise MemoryError("SysAllocStringLen")
            v.vt = VT_BSTR
            v._set_value_bytes(struct.pack("P", pointer))
        else:
            raise TypeError(f"a document holds numbers, text, booleans or None, not {type(value).__name__}")
        return v

    def clear(self):
        library().VariantClear(byref(self))


def float32(value):
    """A single-precision value in the shortest form that reads back the same."""
    for digits in range(6, 10):
        short = float(f"{value:.{digits}g}")
        if struct.pack("<f", short) == struct.pack("<f", value):
            return short
    return value


@lru_cache(maxsize=None)
def _prototype(restype, argtypes):
    return METHOD(restype, c_void_p, *argtypes)


class ComObject:
    """One reference to a COM object, called through its vtable by slot
    (IUnknown 0-2, IDispatch 3-6, then the interface's methods in order)."""

    def __init__(self, pointer):
        self.pointer = pointer

    def call(self, slot, argtypes, *args, restype=HRESULT):
        if not self.pointer:
            raise ValueError("the object has been released")
        table = ctypes.cast(self.pointer, POINTER(c_void_p))[0]
        method = ctypes.cast(table, POINTER(c_void_p))[slot]
        return _prototype(restype, tuple(argtypes))(method)(self.pointer, *args)

    def release(self):
        if self.pointer:
            self.call(2, (), restype=c_uint32)
            self.pointer = None

    def __del__(self):
        try:
            self.release()
        except Exception:  # the library may be gone at interpreter exit
            pass


def create_instance(clsid, iid, what):
    """A new object of the library's class (its class factory, so that no
    registration is needed)."""
    lib = com()
    factory = c_void_p()
    check(lib.DllGetClassObject(byref(clsid), byref(IID_IClassFactory), byref(factory)), "DllGetClassObject", what)
    factory = ComObject(factory.value)
    made = c_void_p()
    check(factory.call(3, (c_void_p, POINTER(GUID), POINTER(c_void_p)), None, byref(iid), byref(made)),
          "IClassFactory::CreateInstance", what)
    factory.release()
    return ComObject(made.value)
