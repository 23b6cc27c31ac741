"""The test server: link to a tester, run tests, read its notifications."""

import atexit
import collections
import ctypes
import itertools
import queue
import struct
import sys
import threading
import time
from ctypes import byref, c_uint16, c_void_p
from typing import NamedTuple

from . import _native
from ._native import HostNotifyRecord, check
from .document import Document, defaults

# Notification codes (vts.h).
IO_STATE, TEST_RESULT, TEST_EVENT, TEST_STOPPED = 2, 3, 4, 6
LINKED, PROGRESS, TIME, IO_STATE_EX = 16, 19, 21, 22


class Notification(NamedTuple):
    """One notification of the server: its code, kind, two values and its data bytes."""
    code: int
    kind: int
    value1: int
    value2: int
    data: bytes


class IoState(NamedTuple):
    """The tester's I/O state: the 64-byte state (notification 2), and the
    256 input and 256 output states of the extended one (notification 22)."""
    state: bytes
    inputs: tuple
    outputs: tuple


def _record(address):
    record = HostNotifyRecord.from_address(address)
    data = ctypes.string_at(record.data, record.length) if record.data and record.length else b""
    return Notification(record.code, record.kind, record.value1, record.value2, data)


class _LinuxWindow:
    """A host window of the library's own (VTS_CreateHostWindow): the library
    calls the procedure on the thread that sends."""

    def __init__(self, deliver):
        def procedure(context, window, message, code, address):
            if message == _native.VTS_WM_NOTIFY and address:
                deliver(_record(address))
            return 0

        self._procedure = _native.WINDOW_PROC(procedure)
        self.handle = _native.library().VTS_CreateHostWindow(_native.wide("varel"), self._procedure, None)
        if not self.handle:
            raise MemoryError("VTS_CreateHostWindow")

    def close(self):
        _native.library().VTS_DestroyHostWindow(self.handle)


class _WindowsWindow:
    """A message-only window on a thread of its own that runs its message
    loop: the library sends notifications to it with SendMessage."""

    def __init__(self, deliver):
        from ctypes import wintypes
        user32, kernel32 = ctypes.WinDLL("user32"), ctypes.WinDLL("kernel32")
        procedure_type = ctypes.WINFUNCTYPE(ctypes.c_ssize_t, c_void_p, ctypes.c_uint, ctypes.c_size_t,
                                            ctypes.c_ssize_t)

        class WindowClass(ctypes.Structure):
            _fields_ = [("style", ctypes.c_uint), ("lpfnWndProc", procedure_type), ("cbClsExtra", ctypes.c_int),
                        ("cbWndExtra", ctypes.c_int), ("hInstance", c_void_p), ("hIcon", c_void_p),
                        ("hCursor", c_void_p), ("hbrBackground", c_void_p), ("lpszMenuName", ctypes.c_wchar_p),
                        ("lpszClassName", ctypes.c_wchar_p)]

        user32.DefWindowProcW.restype = ctypes.c_ssize_t
        user32.DefWindowProcW.argtypes = [c_void_p, ctypes.c_uint, ctypes.c_size_t, ctypes.c_ssize_t]
        user32.RegisterClassW.argtypes = [ctypes.POINTER(WindowClass)]
        user32.CreateWindowExW.restype = c_void_p
        user32.CreateWindowExW.argtypes = [wintypes.DWORD, ctypes.c_wchar_p, ctypes.c_wchar_p, wintypes.DWORD,
                                           ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, c_void_p,
                                           c_void_p, c_void_p, c_void_p]
        user32.DestroyWindow.argtypes = [c_void_p]
        user32.GetMessageW.argtypes = [ctypes.POINTER(wintypes.MSG), c_void_p, ctypes.c_uint, ctypes.c_uint]
        user32.DispatchMessageW.argtypes = [ctypes.POINTER(wintypes.MSG)]
        user32.UnregisterClassW.argtypes = [ctypes.c_wchar_p, c_void_p]
        kernel32.GetModuleHandleW.restype = c_void_p
        self._user32 = user32

        def procedure(window, message, code, address):
            if message == _native.VTS_WM_NOTIFY and address:
                deliver(_record(address))
                return 0
            return user32.DefWindowProcW(window, message, code, address)

        self._procedure = procedure_type(procedure)
        self._class_name = f"VarelPythonHost{id(self):x}"
        self.handle = None
        ready = threading.Event()

        def loop():
            instance = kernel32.GetModuleHandleW(None)
            window_class = WindowClass(lpfnWndProc=self._procedure, hInstance=instance,
                                       lpszClassName=self._class_name)
            user32.RegisterClassW(byref(window_class))
            message_only = c_void_p(-3)  # HWND_MESSAGE
            self.handle = user32.CreateWindowExW(0, self._class_name, "varel", 0, 0, 0, 0, 0, message_only, None,
                                                 instance, None)
            self._thread_id = kernel32.GetCurrentThreadId()
            ready.set()
            message = wintypes.MSG()
            while self.handle and user32.GetMessageW(byref(message), None, 0, 0) > 0:
                user32.TranslateMessage(byref(message))
                user32.DispatchMessageW(byref(message))
            if self.handle:
                user32.DestroyWindow(self.handle)
            user32.UnregisterClassW(self._class_name, instance)

        self._thread = threading.Thread(target=loop, name="varel-window", daemon=True)
        self._thread.start()
        ready.wait()
        if not self.handle:
            raise OSError("the host window could not be made")

    def close(self):
        self._user32.PostThreadMessageW(self._thread_id, 0x0012, 0, 0)  # WM_QUIT
        self._thread.join()


_open_server = None
_open_lock = threading.Lock()


class Server:
    """The library's test server (one per process), with a host window for
    its notifications and a thread of its own that hands them on.

        with varel.Server() as server:
            server.link(bench.link)
            result = server.run("Varel.ZTXLTest.1", document)

    on_notification, when given, is called on the server's thread with each
    Notification; the library never waits for it."""

    def __init__(self, on_notification=None, keep=10000):
        self._on_notification = on_notification
        self._incoming = queue.SimpleQueue()
        self._arrived = threading.Condition()
        self._kept = collections.deque(maxlen=keep)
        self._count = 0  # notifications handed on so far
        self._read = 0   # the first that notifications() has not yielded
        self._latest = {}
        self._window = None
        self._thread = None
        self._closed = True

    def __enter__(self):
        self.open()
        return self

    def __exit__(self, *exc):
        self.close()

    def open(self):
        """Creates the server (VTS_CreateServer) with its window and thread."""
        global _open_server
        lib = _native.com()
        with _open_lock:
            if _open_server is not None:
                raise RuntimeError("a varel.Server is already open in this process: the library has one server")
            window_type = _WindowsWindow if _native.WINDOWS else _LinuxWindow
            self._window = window_type(self._deliver)
            self._closed = False
            self._thread = threading.Thread(target=self._hand_on, name="varel-notifications", daemon=True)
            self._thread.start()
            try:
                check(lib.VTS_CreateServer(self._window.handle), "VTS_CreateServer")
            except BaseException:
                self._shut()
                raise
            _open_server = self

    def close(self):
        """Destroys the server; its window and thread end."""
        global _open_server
        with _open_lock:
            if _open_server is not self:
                return
            _native.library().VTS_DestroyServer()
            self._shut()
            _open_server = None

    def _shut(self):
        self._window.close()
        self._incoming.put(None)
        self._thread.join()
        with self._arrived:
            self._closed = True
            self._arrived.notify_all()

    # The window procedure: the library's sender waits for it, so it only
    # copies the record and returns.
    def _deliver(self, notification):
        self._latest[notification.code] = notification
        self._incoming.put(notification)

    def _hand_on(self):
        while True:
            notification = self._incoming.get()
            if notification is None:
                return
            with self._arrived:
                self._kept.append(notification)
                self._count += 1
                self._arrived.notify_all()
            if self._on_notification:
                try:
                    self._on_notification(notification)
                except Exception:
                    sys.excepthook(*sys.exc_info())

    def _call(self, function, operation, *args):
        if self._closed:
            raise RuntimeError("the server is not open")
        _native.com()
        return check(function(*args), operation)

    def link(self, link_string):
        """Links to the tester: "PC-IP:192.168.253.1;PC-PORT:3000;DEV-IP:192.168.253.231;DEV-PORT:2001"."""
        self._call(_native.library().VTS_LinkDevice_A, "VTS_LinkDevice", link_string.encode("utf-8"))

    def run(self, prog_id, params=None, timeout=30.0):
        """Runs one test and returns its result document: selects the test
        type (VTS_ActiveTest), begins it with params (a Document; the test
        type's defaults when None) and waits for the result (notification
        3). Without one within timeout seconds the test is stopped and
        TimeoutError raised."""
        lib = _native.library()
        document = params if params is not None else defaults(prog_id)
        self._call(lib.VTS_ActiveTest_A, "VTS_ActiveTest", prog_id.encode("utf-8"))
        with self._arrived:
            begun = self._count
        self._call(lib.VTS_BeginTest, "VTS_BeginTest", document.pointer)
        with self._arrived:
            ended = self._arrived.wait_for(lambda: self._closed or self._seen(TEST_RESULT, begun), timeout)
        if ended and not self._closed:
            return self.result()
        lib.VTS_StopTest(0)
        raise TimeoutError(f"{prog_id}: no result within {timeout} s; the test was stopped")

    def _seen(self, code, since):
        """Whether a notification with code was handed on after the first since."""
        oldest = self._count - len(self._kept)
        return any(n.code == code for n in itertools.islice(self._kept, max(since - oldest, 0), None))

    def result(self):
        """The result document of the last test (VTS_GetTestResult)."""
        pointer = c_void_p()
        self._call(_native.library().VTS_GetTestResult, "VTS_GetTestResult", byref(pointer))
        return Document._adopt(pointer.value)

    def notifications(self, timeout=None):
        """Yields the notifications as they come (Notification: code, kind,
        value1, value2, data), from the first not yet yielded; ends once
        timeout seconds pass without one (None: when the server closes)."""
        while True:
            deadline = None if timeout is None else time.monotonic() + timeout
            with self._arrived:
                while self._read >= self._count and not self._closed:
                    left = None if deadline is None else deadline - time.monotonic()
                    if left is not None and left <= 0:
                        return
                    self._arrived.wait(left)
                if self._read >= self._count:
                    return
                oldest = self._count - len(self._kept)
                self._read = max(self._read, oldest)
                notification = self._kept[self._read - oldest]
                self._read += 1
            yield notification

    def stop(self):
        """Stops the running test (VTS_StopTest)."""
        self._call(_native.library().VTS_StopTest, "VTS_StopTest", 0)

    def io_state(self):
        """The tester's I/O state (VTS_AskIoState and VTS_AskIoState_Ex, whose
        answers arrive before they return)."""
        lib = _native.library()
        self._latest.pop(IO_STATE, None)
        self._latest.pop(IO_STATE_EX, None)
        self._call(lib.VTS_AskIoState, "VTS_AskIoState")
        self._call(lib.VTS_AskIoState_Ex, "VTS_AskIoState_Ex")
        state, extended = self._latest.get(IO_STATE), self._latest.get(IO_STATE_EX)
        if state is None or extended is None or len(extended.data) < 1024:
            raise RuntimeError("the I/O state did not arrive")
        return IoState(state.data, struct.unpack_from("<256H", extended.data, 0),
                       struct.unpack_from("<256H", extended.data, 512))

    def bout(self, states):
        """Sets the binary outputs: up to 16 states (VTS_TransBoutState), more
        one byte each (VTS_TransBoutState_Ex, up to 1446)."""
        values = (c_uint16 * len(states))(*states)
        lib = _native.library()
        if len(states) <= 16:
            self._call(lib.VTS_TransBoutState, "VTS_TransBoutState", values, len(states))
        else:
            self._call(lib.VTS_TransBoutState_Ex, "VTS_TransBoutState_Ex", values, len(states))


@atexit.register
def _close_open_server():
    # The library's threads must not call into an interpreter that is going away.
    if _open_server is not None:
        _open_server.close()
