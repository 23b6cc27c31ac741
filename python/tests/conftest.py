"""Fixtures: the simulated bench for the whole run (the run itself is
started inside a private network namespace: tools/netns-run), and a server
linked to it for each test."""

import pytest

import varel
from varel.sim import Bench


@pytest.fixture(scope="session")
def bench():
    with Bench() as running:
        yield running


@pytest.fixture
def server(bench):
    with varel.Server() as linked:
        linked.link(bench.link)
        yield linked


def state_sequence(fault_current):
    """Pre-fault 1 A for 0.2 s, a fault of fault_current on phase A until
    input 0 closes (1 s at most), post-fault 0.1 s."""
    params = varel.defaults("Varel.ZTXLTest.1")
    params["TestParams.StateNumbers"] = 3
    for state, volts in enumerate((57.735, 30.0, 57.735)):
        params[f"TestParams.StatePara.{state}.Up.0.Mag"] = volts
    params["TestParams.StatePara.0.Ip.0.Mag"] = 1.0
    params["TestParams.StatePara.0.MaxLastTime"] = 0.2
    params["TestParams.StatePara.1.Ip.0.Mag"] = fault_current
    params["TestParams.StatePara.1.MaxLastTime"] = 1.0
    params["TestParams.StatePara.1.EndMode"] = 2
    params["TestParams.StatePara.1.bBinSelect.0"] = 1
    params["TestParams.StatePara.2.MaxLastTime"] = 0.1
    return params
