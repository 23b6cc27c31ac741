"""The simulated bench (vts-sim) for tests and examples.

The bench binds the tester's and the I/O box's fixed addresses
(192.168.253.231, .3 and .4), which must never be reached on a real
network: it starts only inside a private network namespace that has nothing
up but loopback with 192.168.253.1 on it, as tools/netns-run makes one:

    tools/netns-run python3 my_test_plan.py

vts-sim is found through VARELTSS_SIM, else the build tree of the library
(build/sim/vts-sim beside build/bin/), else the library's own folder (an
installed tree), else PATH.
"""

import ctypes
import ipaddress
import queue
import signal
import subprocess
import sys
import threading
from ctypes import POINTER, byref, c_char_p, c_uint, c_ushort, c_void_p

from . import _native

BENCH_ADDRESS = "192.168.253.1"


class BenchError(RuntimeError):
    """The simulated bench cannot start."""


class _SockAddr(ctypes.Structure):
    _fields_ = [("family", c_ushort), ("port", c_ushort), ("address", ctypes.c_uint8 * 4)]


class _IfAddrs(ctypes.Structure):
    pass


_IfAddrs._fields_ = [("next", POINTER(_IfAddrs)), ("name", c_char_p), ("flags", c_uint),
                     ("address", POINTER(_SockAddr)), ("netmask", c_void_p), ("broadcast", c_void_p),
                     ("data", c_void_p)]
_IFF_UP = 0x1
_AF_INET = 2


def in_private_network():
    """Whether this process runs in a private network: no interface up but
    lo, and 192.168.253.1 on lo."""
    if not sys.platform.startswith("linux"):
        return False
    libc = ctypes.CDLL(None)
    libc.getifaddrs.argtypes = [POINTER(POINTER(_IfAddrs))]
    libc.freeifaddrs.argtypes = [POINTER(_IfAddrs)]
    first = POINTER(_IfAddrs)()
    if libc.getifaddrs(byref(first)) != 0:
        return False
    only_loopback, bench_address = True, False
    try:
        entry = first
        while entry:
            item = entry.contents
            if item.name != b"lo":
                only_loopback = only_loopback and not item.flags & _IFF_UP
            elif item.address and item.address.contents.family == _AF_INET:
                address = ipaddress.IPv4Address(bytes(item.address.contents.address))
                bench_address = bench_address or str(address) == BENCH_ADDRESS
            entry = item.next
    finally:
        libc.freeifaddrs(first)
    return only_loopback and bench_address


class Bench:
    """vts-sim as a subprocess: the tester at 192.168.253.231 and the I/O box
    at .3 and .4, with the virtual relay on the tester's outputs (by default
    over-current 5 A, 0.1 s on input 0; see vts-sim --help).

        with Bench(oc_delay=0.25) as bench:
            server.link(bench.link)

    Relay settings are vts-sim's options with _ for -: oc_pickup=6,
    diff_slope=0.4, syn_lead=0.1 and the rest of vts-sim --help;
    leave_out=("harm2", "psb") leaves those elements out (vts-sim's --no-
    options), as over_current=False and under_voltage=False do. iobox1=False,
    iobox2=False leave an I/O box target out. vts-sim refuses a setting it
    does not know, and start() then raises BenchError with its usage."""

    def __init__(self, *, over_current=True, under_voltage=True, iobox1=True, iobox2=True, tester_port=2001,
                 start_timeout=10.0, leave_out=(), **settings):
        self.arguments = ["--quiet", "--tester-port", str(tester_port)]
        for name, value in settings.items():
            self.arguments += ["--" + name.replace("_", "-"), repr(float(value))]
        leave_out = [*leave_out, *(["oc"] if not over_current else []), *(["uv"] if not under_voltage else [])]
        self.arguments += ["--no-" + element.replace("_", "-") for element in leave_out]
        self.arguments += [flag for flag, on in (("--no-iobox1", iobox1), ("--no-iobox2", iobox2)) if not on]
        self.tester_port = tester_port
        self.start_timeout = start_timeout
        self._process = None

    @property
    def link(self):
        """The link string of the bench's tester."""
        return f"PC-IP:{BENCH_ADDRESS};PC-PORT:3000;DEV-IP:192.168.253.231;DEV-PORT:{self.tester_port}"

    def start(self):
        if not in_private_network():
            raise BenchError(
                "the simulated bench binds the tester's fixed addresses (192.168.253.x) and starts only inside a "
                "private network namespace (only lo up, with 192.168.253.1): run this program under "
                "tools/netns-run")
        program = _native.tree_program("vts-sim", "VARELTSS_SIM", "sim")
        if not program:
            raise BenchError("vts-sim not found: set VARELTSS_SIM to its path (build/sim/vts-sim of a build tree)")
        self._process = subprocess.Popen([program, *self.arguments], stdin=subprocess.DEVNULL,
                                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        lines = queue.SimpleQueue()
        self._stderr = []

        def read():
            for line in self._process.stderr:
                self._stderr.append(line)
                lines.put(line)
            lines.put(None)

        threading.Thread(target=read, name="vts-sim stderr", daemon=True).start()
        try:
            while True:
                line = lines.get(timeout=self.start_timeout)
                if line is None:
                    raise BenchError(f"vts-sim ended before serving: {''.join(self._stderr).strip()}")
                if "serving" in line:
                    return self
        except queue.Empty:
            self.stop()
            raise BenchError(f"vts-sim did not start within {self.start_timeout} s") from None
        except BaseException:
            self.stop()
            raise

    def stop(self):
        """Interrupts vts-sim and waits for it (killed after 5 s)."""
        if self._process is None:
            return
        if self._process.poll() is None:
            self._process.send_signal(signal.SIGINT)
            try:
                self._process.wait(5)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        self._process = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
