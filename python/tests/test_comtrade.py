"""COMTRADE recordings described through the library."""

import pytest

import varel
from varel import comtrade

CFG = """Bench,Rec1,1999
3,2A,1D
1,Ua,A,,V,0.1,0,0,-32767,32767,1,1,S
2,Ia,A,,A,0.01,0,0,-32767,32767,1,1,S
1,Trip,,,0
50
1
1000,5
01/01/2024,00:00:00.000000
01/01/2024,00:00:00.001000
ASCII
1
"""
DAT = "1,0,0,0,0\n2,1000,500,100,0\n3,2000,1000,200,1\n4,3000,-500,-100,1\n5,4000,-1000,-200,0\n"


def test_a_recording_is_described_with_its_extremes(tmp_path):
    (tmp_path / "r.cfg").write_text(CFG)
    (tmp_path / "r.dat").write_text(DAT)
    description = comtrade.describe(tmp_path / "r.cfg")
    assert description["station_name"] == "Bench"
    assert [description[f"A_Channels.ch{i}.ch_id"] for i in (0, 1)] == ["Ua", "Ia"]
    assert description["D_Channels.ch0.ch_id"] == "Trip"
    assert (description["A_Channels.ch0.point_min"], description["A_Channels.ch0.point_max"]) == (-100, 100)
    assert description["mapping_memory.samp_rate"] == 1000
    assert comtrade.describe(tmp_path / "r.cfg", rate=2000)["mapping_memory.samp_rate"] == 2000


def test_a_recording_that_cannot_be_read_raises_the_readers_result(tmp_path):
    with pytest.raises(varel.VarelError, match="cannot be opened") as missing:
        comtrade.describe(tmp_path / "none.cfg")
    assert missing.value.hresult == 1
    (tmp_path / "r.cfg").write_text(CFG)
    with pytest.raises(varel.VarelError) as no_data:
        comtrade.describe(tmp_path / "r.cfg")
    assert no_data.value.hresult == 11
