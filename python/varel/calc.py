"""The calculation engine (vts_calc.h) as functions of plain numbers and phasors.

Each structure calculation takes its inputs as keyword arguments named as
the engine names them (Us, FaultType, KL_Mode, ...); an input left out takes
the value of the engine's own blank request (VTS_InitCalcParams). Phasor
triples (phases A, B, C) are sequences of three Phasors or (mag, ang) pairs.
The results come back as a dict of the outputs: phasor triples as tuples of
three Phasors, the rest as numbers. Magnitudes in volts, amperes and ohms,
angles in degrees; the engine works in single precision.

    calc.fault(FaultType=0, FaultIf=5.0)["Up"][0]   # Phasor(mag=8.35, ang=0.0)
"""

import cmath
import ctypes
import math
from ctypes import byref, c_float, c_int32, c_void_p
from functools import lru_cache
from typing import NamedTuple

from . import _native
from ._native import check
from .document import Document


class Phasor(NamedTuple):
    """A phasor: magnitude and angle in degrees."""
    mag: float
    ang: float

    @classmethod
    def of(cls, value):
        if isinstance(value, complex):
            return cls.from_complex(value)
        mag, ang = value
        return cls(float(mag), float(ang))

    @classmethod
    def from_complex(cls, value):
        return cls(abs(value), math.degrees(cmath.phase(value)))

    def to_complex(self):
        return cmath.rect(self.mag, math.radians(self.ang))


_SYSTEM = "Us ILoad_Mag ILoad_Ang"
_EARTH = "KL_Mode:i KL_Mag KL_Ang KL_KR KL_KX"
_SETTING_TAIL = f"FaultType:i FaultDirection:i {_SYSTEM} {_EARTH}"
_SIX = "Up_PreFault:3 Ip_PreFault:3 Up_Fault:3 Ip_Fault:3 Up_TransFault:3 Ip_TransFault:3"
_FAULT = "FaultType:i FaultDirection:i FaultUf FaultIf FaultZf_Mag FaultZf_Ang"
_SOURCE = "CalcuMode:i Zs_Mag Zs_Ang Ks_Mag Ks_Ang"
_CURRENT_SETTING = f"Izd If_Ratio Zf_Mag Zf_Ang {_SETTING_TAIL}"


class _Kind(NamedTuple):
    method: str     # the ICalcEngine structure method
    slot: int       # and its vtable slot
    code: int       # the request code of a Calculate document
    size: int       # bytes, as vts_calc.h asserts
    inputs: str     # fields in declaration order: name, name:i (integer), name:3 (phasor triple)
    outputs: str


_KINDS = {
    "load_state": _Kind("Calculate_LoadState", 8, 0, 60, _SYSTEM, "Up:3 Ip:3"),
    "fault": _Kind("Calculate_Fault", 9, 1, 124, f"{_SYSTEM} {_FAULT} {_SOURCE} {_EARTH}", "Up:3 Ip:3"),
    "gp_fault": _Kind("Calculate_GPFault", 10, 2, 104, f"Zzd_Mag Zzd_Ang m FaultIf {_SETTING_TAIL}", "Up:3 Ip:3"),
    "abc_to_pp": _Kind("Calculate_ABCtoPP", 11, 3, 48, "Up:3", "Result_Up:3"),
    "pp_to_abc": _Kind("Calculate_PPtoABC", 12, 4, 48, "Up:3", "Result_Up:3"),
    "abc_to_seq": _Kind("Calculate_ABCto120", 13, 5, 48, "Up:3", "Result_Up:3"),
    "seq_to_abc": _Kind("Calculate_120toABC", 14, 6, 48, "Up:3", "Result_Up:3"),
    "pq": _Kind("Calculate_PQ", 15, 7, 64, "CalcuMode:i Up:3 Ip:3", "P Q COS"),
    "shot": _Kind("Calculate_Shot", 22, 100, 248,
                  f"{_SYSTEM} {_FAULT} bFaultTrans:i TransFaultType:i TransFaultDirection:i TransFaultUf "
                  f"TransFaultIf TransFaultZf_Mag TransFaultZf_Ang {_SOURCE} {_EARTH}", _SIX),
    "distance": _Kind("Calculate_Distance", 23, 101, 200, f"Zzd_Mag Zzd_Ang Zf_Ratio FaultIf {_SETTING_TAIL}", _SIX),
    "gp_distance": _Kind("Calculate_GPDistance", 24, 102, 200, f"Zzd_Mag Zzd_Ang m FaultIf {_SETTING_TAIL}", _SIX),
    "over_current": _Kind("Calculate_OverCurr", 25, 103, 200, _CURRENT_SETTING, _SIX),
    "neg_seq_current": _Kind("Calculate_NegSeqCurr", 26, 104, 200, _CURRENT_SETTING, _SIX),
    "zero_seq_current": _Kind("Calculate_ZeroSeqCurr", 27, 105, 200, _CURRENT_SETTING, _SIX),
}


def _fields(declaration):
    return [tuple(item.split(":")) if ":" in item else (item, "") for item in declaration.split()]


@lru_cache(maxsize=None)
def _structure(name):
    kind = _KINDS[name]
    ctypes_of = {"": c_float, "i": c_int32, "3": c_float * 6}
    fields = [(field, ctypes_of[form]) for field, form in _fields(kind.inputs) + _fields(kind.outputs)]
    structure = type(name, (ctypes.Structure,), {"_fields_": fields})
    if ctypes.sizeof(structure) != kind.size:
        raise RuntimeError(f"{name}: {ctypes.sizeof(structure)} bytes, where the engine takes {kind.size}")
    return structure


def _engine():
    return _native.create_instance(_native.CLSID_CalcEngine, _native.IID_ICalcEngine, "CalcEngine")


def request(code):
    """A blank request document of the engine (VTS_InitCalcParams), its
    request under "CalcParams"."""
    document = Document()
    _native.com().VTS_InitCalcParams(document.pointer, code)
    return document


def calculate(document):
    """Runs every request of a document (ICalcEngine::Calculate); the results
    are written under each request's "Result". Returns the document."""
    check(_engine().call(7, (c_void_p,), document.pointer), "ICalcEngine::Calculate")
    return document


@lru_cache(maxsize=None)
def _defaults(name):
    params = request(_KINDS[name].code).to_dict()["CalcParams"]
    defaults = {}
    for field, form in _fields(_KINDS[name].inputs):
        value = params[field]
        defaults[field] = tuple(Phasor(value[str(i)]["Mag"], value[str(i)]["Ang"]) for i in range(3)) \
            if form == "3" else value
    return defaults


def _run(name, inputs):
    kind = _KINDS[name]
    unknown = set(inputs) - set(_defaults(name))
    if unknown:
        raise TypeError(f"{name}() has no input {', '.join(sorted(unknown))}; "
                        f"its inputs: {', '.join(_defaults(name))}")
    data = _structure(name)()
    for field, form in _fields(kind.inputs):
        value = inputs.get(field, _defaults(name)[field])
        if form == "3":
            phasors = [Phasor.of(p) for p in value]
            if len(phasors) != 3:
                raise ValueError(f"{field} takes three phasors (A, B, C)")
            getattr(data, field)[:] = [part for p in phasors for part in p]
        else:
            setattr(data, field, int(value) if form == "i" else float(value))
    check(_engine().call(kind.slot, (c_void_p, c_int32), ctypes.addressof(data), ctypes.sizeof(data)),
          f"ICalcEngine::{kind.method}")
    results = {}
    for field, form in _fields(kind.outputs):
        value = getattr(data, field)
        results[field] = tuple(Phasor(_native.float32(value[2 * i]), _native.float32(value[2 * i + 1]))
                               for i in range(3)) if form == "3" else _native.float32(value)
    return results


def load_state(**inputs):
    """The balanced load state: Up, Ip (inputs Us, ILoad_Mag, ILoad_Ang)."""
    return _run("load_state", inputs)


def fault(**inputs):
    """The fault state: Up, Ip. FaultType 0-2 phase to earth, 3-5 phase to
    phase, 6-8 two phases to earth, 9 three-phase; CalcuMode 0 constant
    current (FaultIf), 1 constant voltage (FaultUf), 2 source impedance."""
    return _run("fault", inputs)


def gp_fault(**inputs):
    """The power-frequency variation fault over a setting impedance: Up, Ip."""
    return _run("gp_fault", inputs)


def shot(**inputs):
    """Pre-fault, fault and (with bFaultTrans) evolving-fault states."""
    return _run("shot", inputs)


def distance(**inputs):
    """A fault at Zf_Ratio times the setting impedance: the six triples."""
    return _run("distance", inputs)


def gp_distance(**inputs):
    """The power-frequency variation fault at m times the setting: the six triples."""
    return _run("gp_distance", inputs)


def over_current(**inputs):
    """A fault whose current is If_Ratio x Izd: the six triples."""
    return _run("over_current", inputs)


def neg_seq_current(**inputs):
    """A fault whose negative-sequence current is If_Ratio x Izd (FaultType 0-5)."""
    return _run("neg_seq_current", inputs)


def zero_seq_current(**inputs):
    """A fault whose zero-sequence current is If_Ratio x Izd (FaultType 0-2)."""
    return _run("zero_seq_current", inputs)


def pq(up, ip, mode=0):
    """Three-phase power {"P", "Q", "COS"}: mode 0 from the phase voltages,
    1 from the line voltages UAB, UCB (two wattmeters)."""
    return _run("pq", {"CalcuMode": mode, "Up": up, "Ip": ip})


def abc_to_pp(up):
    """Phase voltages A, B, C to the line voltages AB, BC, CA."""
    return _run("abc_to_pp", {"Up": up})["Result_Up"]


def pp_to_abc(up):
    """Line voltages AB, BC, CA (summing to zero) to the phase voltages."""
    return _run("pp_to_abc", {"Up": up})["Result_Up"]


def abc_to_seq(up):
    """Phases A, B, C to the positive, negative and 3 x zero sequence (ABCto120)."""
    return _run("abc_to_seq", {"Up": up})["Result_Up"]


def seq_to_abc(up):
    """Positive, negative and 3 x zero sequence to phases A, B, C (120toABC)."""
    return _run("seq_to_abc", {"Up": up})["Result_Up"]


def _pair(slot, method, a, b):
    x, y = c_float(), c_float()
    check(_engine().call(slot, (c_float,) * 4 + (c_void_p, c_void_p), *a, *b, byref(x), byref(y)),
          f"ICalcEngine::{method}")
    return _native.float32(x.value), _native.float32(y.value)


def add(a, b):
    """The sum of two phasors (Comp_Add)."""
    return Phasor(*_pair(16, "Comp_Add", Phasor.of(a), Phasor.of(b)))


def sub(a, b):
    """The difference of two phasors (Comp_Sub)."""
    return Phasor(*_pair(17, "Comp_Sub", Phasor.of(a), Phasor.of(b)))


def mul(a, b):
    """The product of two complex numbers (Comp_Mul)."""
    return complex(*_pair(18, "Comp_Mul", (a.real, a.imag), (b.real, b.imag)))


def div(a, b):
    """The quotient (Comp_Div); a vanishing divisor gives 100000 + 100000j."""
    return complex(*_pair(19, "Comp_Div", (a.real, a.imag), (b.real, b.imag)))


def to_xy(phasor):
    """A phasor as a complex number (Comp_POtoXY)."""
    x, y = c_float(), c_float()
    p = Phasor.of(phasor)
    check(_engine().call(20, (c_float, c_float, c_void_p, c_void_p), p.mag, p.ang, byref(x), byref(y)),
          "ICalcEngine::Comp_POtoXY")
    return complex(_native.float32(x.value), _native.float32(y.value))


def to_polar(value):
    """A complex number as a phasor, its angle in [-180, 180) (Comp_XYtoPO)."""
    mag, ang = c_float(), c_float()
    check(_engine().call(21, (c_float, c_float, c_void_p, c_void_p), value.real, value.imag, byref(mag),
                         byref(ang)), "ICalcEngine::Comp_XYtoPO")
    return Phasor(_native.float32(mag.value), _native.float32(ang.value))
