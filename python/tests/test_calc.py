"""The calculation functions against the engine's own answers to the same
requests as documents (ICalcEngine::Calculate), and against arithmetic."""

import cmath

import pytest

from varel import calc
from varel.calc import Phasor

BALANCED = [(57.735, 0), (57.735, -120), (57.735, 120)]

REQUESTS = [
    ("load_state", 0, {"Us": 57.735, "ILoad_Mag": 1.5, "ILoad_Ang": -30}),
    ("fault", 1, {"FaultType": 4, "FaultIf": 8, "FaultZf_Mag": 2, "FaultZf_Ang": 80, "ILoad_Mag": 1}),
    ("fault", 1, {"FaultType": 7, "CalcuMode": 2, "Zs_Mag": 1, "Zs_Ang": 85, "FaultZf_Mag": 3, "KL_Mode": 1}),
    ("gp_fault", 2, {"Zzd_Mag": 5, "Zzd_Ang": 80, "m": 1.1, "FaultIf": 5, "FaultType": 1}),
    ("pq", 7, {"CalcuMode": 1, "Up": BALANCED, "Ip": [(1, -10), (1.2, -130), (0.8, 110)]}),
    ("shot", 100, {"FaultIf": 10, "bFaultTrans": 1, "TransFaultType": 6, "TransFaultIf": 12}),
    ("distance", 101, {"Zzd_Mag": 4, "Zzd_Ang": 78, "Zf_Ratio": 0.95, "FaultType": 3, "FaultDirection": 1}),
    ("gp_distance", 102, {"Zzd_Mag": 4, "Zzd_Ang": 78, "m": 0.9, "FaultType": 8}),
    ("over_current", 103, {"Izd": 4, "If_Ratio": 1.2, "FaultType": 9}),
    ("neg_seq_current", 104, {"Izd": 1, "If_Ratio": 1.05, "FaultType": 3}),
    ("zero_seq_current", 105, {"Izd": 1, "If_Ratio": 1.05, "FaultType": 1}),
]


@pytest.mark.parametrize("name, code, inputs", REQUESTS, ids=[f"{r[0]}-{i}" for i, r in enumerate(REQUESTS)])
def test_each_calculation_gives_the_engines_answer_to_its_request(name, code, inputs):
    document = calc.request(code)
    for field, value in inputs.items():
        if isinstance(value, list):
            for phase, (mag, ang) in enumerate(value):
                document[f"CalcParams.{field}.{phase}.Mag"] = mag
                document[f"CalcParams.{field}.{phase}.Ang"] = ang
        else:
            document[f"CalcParams.{field}"] = value
    answer = calc.calculate(document)
    assert answer["CalcParams.Result"] == 1
    results = calc.pq(inputs["Up"], inputs["Ip"], inputs["CalcuMode"]) if name == "pq" \
        else getattr(calc, name)(**inputs)
    assert results, name
    for output, value in results.items():
        if isinstance(value, tuple):
            for phase, phasor in enumerate(value):
                expected = (answer[f"CalcParams.Result.{output}.{phase}.Mag"],
                            answer[f"CalcParams.Result.{output}.{phase}.Ang"])
                assert phasor == pytest.approx(expected, abs=1e-5), f"{output}.{phase}"
        else:
            assert value == pytest.approx(answer[f"CalcParams.Result.{output}"], abs=1e-5), output


def test_transforms_of_a_balanced_set():
    line = calc.abc_to_pp(BALANCED)
    assert [p.mag for p in line] == pytest.approx([100.0] * 3, rel=1e-5)
    assert [p.ang for p in line] == pytest.approx([30.0, -90.0, 150.0], abs=1e-3)
    back = calc.pp_to_abc(line)
    assert back == pytest.approx([Phasor(*p) for p in BALANCED], abs=1e-3)
    positive, negative, zero = calc.abc_to_seq(BALANCED)
    assert (positive.mag, negative.mag, zero.mag) == pytest.approx((57.735, 0, 0), abs=1e-5)
    assert calc.seq_to_abc([positive, negative, zero]) == pytest.approx([Phasor(*p) for p in BALANCED], abs=1e-3)


def test_complex_arithmetic_agrees_with_python():
    a, b = Phasor(10, 30), Phasor(5, -60)
    assert calc.add(a, b).to_complex() == pytest.approx(a.to_complex() + b.to_complex(), abs=1e-4)
    assert calc.sub(a, b).to_complex() == pytest.approx(a.to_complex() - b.to_complex(), abs=1e-4)
    assert calc.mul(3 + 4j, 1 - 2j) == pytest.approx((3 + 4j) * (1 - 2j))
    assert calc.div(3 + 4j, 1 - 2j) == pytest.approx((3 + 4j) / (1 - 2j), abs=1e-6)
    assert calc.div(1, 0) == 100000 + 100000j
    assert calc.to_xy((2, 90)) == pytest.approx(2j, abs=1e-6)
    assert calc.to_polar(-1 - 1j) == pytest.approx((cmath.sqrt(2).real, -135.0))


def test_inputs_are_checked_by_name():
    assert calc.fault() == calc.fault(FaultType=0, FaultIf=5)
    with pytest.raises(TypeError, match="FaultCurrent"):
        calc.fault(FaultCurrent=5)
