"""vts sweep tracing the virtual differential element's characteristic on
the bench: the slope beyond the knee comes back within 2 %."""

import subprocess

import pytest

import varel
from varel import _native


def test_the_sweep_recovers_the_elements_slope(bench, tmp_path):
    # The bench's element: 0.5 A, then a slope of 0.5 beyond 1 A of bias,
    # tripping in 30 ms on input 2.
    params = varel.defaults("Varel.CDTest.1")
    params["TestParams.PreFaultTime"] = 0.05
    params["TestParams.FaultTime"] = 0.1
    params["TestParams.bBinSelect.2"] = 1
    path = tmp_path / "diff.xml"
    params.save(path)
    vts = _native.tree_program("vts", "VARELTSS_VTS", "tools")
    # A port of its own beside the tests' server on port 3000.
    link = bench.link.replace("PC-PORT:3000", "PC-PORT:3002")
    done = subprocess.run([vts, "sweep", link, str(path), "0.5,2,4,6", "--resolution", "0.002"],
                          capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert lines[0] == "bias_A\toperate_A\tslope"
    rows = [line.split("\t") for line in lines[1:]]
    assert [row[0] for row in rows] == ["0.5000", "2.0000", "4.0000", "6.0000"]
    operate = {float(row[0]): float(row[1]) for row in rows}
    assert operate[0.5] == pytest.approx(0.5, abs=0.003), "below the knee: the least operating current"
    slope = (operate[6.0] - operate[2.0]) / (6.0 - 2.0)
    assert slope == pytest.approx(0.5, rel=0.02)
    assert float(rows[3][2]) == pytest.approx(0.5, rel=0.02), "the slope from the bias before"
