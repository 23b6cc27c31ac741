"""Test runs through the package on the simulated bench: its virtual relay
trips on over-current (5 A, 0.1 s) and closes binary input 0."""

import os
import subprocess
import sys
from pathlib import Path

import pytest

import varel
from conftest import state_sequence

TREE = Path(__file__).resolve().parents[2]


@pytest.mark.parametrize("fault_current, tripped", [(10.0, True), (4.0, False)])
def test_a_state_sequence_gives_the_relays_trip_time(server, fault_current, tripped):
    result = server.run("Varel.ZTXLTest.1", state_sequence(fault_current), timeout=20)
    trip = result["TestParams.Result.BinTripTime.1.Bin.0"]
    fault_begins = result["TestParams.Result.StateEnterTime.1"]
    assert fault_begins == pytest.approx(0.2, abs=1e-4)
    if tripped:
        assert trip - fault_begins == pytest.approx(0.1, abs=1e-3), "the relay's delay"
        assert result["TestParams.Result.StateEnterTime.2"] == pytest.approx(trip, abs=1e-3)
    else:
        assert trip < 0, "no trip"
        assert result["TestParams.Result.StateEnterTime.2"] == pytest.approx(1.2, abs=1e-3)
    codes = [n.code for n in server.notifications(timeout=0.5)]
    assert codes[0] == 16 and codes[-1] == 3, codes  # linked ... the result
    assert (2 in codes) == tripped, "the trip comes as an input change"


def test_a_ramp_picks_up_and_drops_off(server):
    params = varel.defaults("Varel.DBHCTest.1")
    # Phase A current from 4 A up in 0.1 A steps of 0.5 s, and back.
    for key, value in {"CurVari_nGroup": 1, "VaryFrom": 4.0, "VaryTo": 6.0, "StepSize": 0.1, "StepTime": 0.5,
                       "bBinSelect.0": 1}.items():
        params[f"TestParams.{key}"] = value
    result = server.run("Varel.DBHCTest.1", params, timeout=60)
    assert result["TestParams.Result.TripFlag"] == 1
    assert result["TestParams.Result.PickUpValue"] == pytest.approx(5.0), "4 A + 10 x 0.1 A"
    assert result["TestParams.Result.PickUpTime"] == pytest.approx(5.1), "10 steps and the relay's 0.1 s"
    assert result["TestParams.Result.DropOffValue"] == pytest.approx(4.7), "the first step at or below 0.95 x 5 A"


def test_inputs_and_outputs(server):
    state = server.io_state()
    assert len(state.state) == 64 and len(state.inputs) == 256 and len(state.outputs) == 256
    server.bout([1, 0, 1])
    server.bout([1] * 20)


def test_failures_carry_the_librarys_code_and_text(bench):
    with varel.Server() as server:
        with pytest.raises(varel.VarelError) as no_answer:
            server.link(bench.link.replace("DEV-PORT:2001", "DEV-PORT:2002"))
        assert no_answer.value.hresult == 0xA0190105
        assert "网络通讯数据发送超时" in no_answer.value.text
        assert no_answer.value.text in str(no_answer.value)
        with pytest.raises(varel.VarelError, match="0x80070057 执行失败，错误码") as refused:
            server.link("PC-IP:192.168.253.1;DEV-PORT:2001")
        assert refused.value.hresult == 0x80070057
        with pytest.raises(RuntimeError, match="one server"):
            varel.Server().open()
    with pytest.raises(varel.VarelError) as unknown:
        varel.defaults("Varel.NoSuchTest.1")
    assert unknown.value.hresult == 0x80070057


@pytest.fixture(params=["build tree", "installed tree"])
def library_tree(request, tmp_path):
    """The environment for a program that loads the library from the build
    tree, or from the tree cmake --install lays (which finds vts-sim beside it)."""
    environment = {**os.environ, "PYTHONPATH": str(TREE / "python")}
    if request.param == "installed tree":
        build = Path(varel._native.library().path).parent.parent
        if not (build / "CMakeCache.txt").is_file():
            pytest.skip(f"{build} is not a build tree to install from")
        subprocess.run(["cmake", "--install", str(build), "--prefix", str(tmp_path)], check=True,
                       capture_output=True)
        environment["VARELTSS_LIBRARY"] = str(tmp_path / "bin" / Path(varel._native.library().path).name)
        environment.pop("VARELTSS_SIM", None)
    return environment


def test_the_readme_example_prints_the_relays_trip_time(library_tree):
    example = (TREE / "README.md").read_text(encoding="utf-8").split("```python\n", 1)[1].split("```", 1)[0]
    # A namespace of its own: this run's bench holds the addresses here.
    done = subprocess.run([str(TREE / "tools" / "netns-run"), sys.executable, "-c", example], capture_output=True,
                          text=True, timeout=60, env=library_tree)
    assert done.returncode == 0, done.stderr
    assert done.stdout == "trip time: 0.1000 s\n"
    assert "[提示]" not in done.stderr, "the configuration beside the library was found"


def test_every_setting_of_the_simulator_and_none_other(bench):
    # A second bench beside the session's: its own tester port, no I/O box.
    others = {"tester_port": 2003, "iobox1": False, "iobox2": False}
    with varel.sim.Bench(diff_slope=0.4, syn_lead=0.1, leave_out=("harm2", "psb"), **others):
        pass
    with pytest.raises(varel.sim.BenchError, match="usage"):
        varel.sim.Bench(no_such_setting=1, **others).start()
