"""varel: test automation over the VarelTSS library.

    import varel

    with varel.sim.Bench() as bench, varel.Server() as server:
        server.link(bench.link)
        params = varel.defaults("Varel.ZTXLTest.1")
        params["TestParams.StatePara.0.Ip.0.Mag"] = 10.0
        result = server.run("Varel.ZTXLTest.1", params)

The library is found through VARELTSS_LIBRARY, else the build tree beside
this package (build/bin/), else the system's library search path.
"""

from . import calc, comtrade, sim
from ._native import VarelError, fault_text
from .document import Document, defaults
from .server import IoState, Notification, Server

__all__ = ["Document", "IoState", "Notification", "Server", "VarelError", "calc", "comtrade", "defaults",
           "fault_text", "sim"]
