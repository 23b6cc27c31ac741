"""vts run feeding other tools: the result document as XML, JSON or CSV."""

import csv
import io
import json
import subprocess
import xml.etree.ElementTree as ElementTree

import pytest

import varel
from conftest import state_sequence
from varel import _native


@pytest.fixture(scope="module")
def run(bench, tmp_path_factory):
    vts = _native.tree_program("vts", "VARELTSS_VTS", "tools")
    params = tmp_path_factory.mktemp("run") / "state.xml"
    state_sequence(10.0).save(params)
    # A port of its own beside the tests' server on port 3000.
    link = bench.link.replace("PC-PORT:3000", "PC-PORT:3001")

    def vts_run(*options):
        done = subprocess.run([vts, "run", link, "Varel.ZTXLTest.1", str(params), *options],
                              capture_output=True, text=True, timeout=60)
        assert done.returncode == 0, done.stderr
        assert "VTS_BeginTest -> 0x00000000" in done.stderr, "the progress goes to stderr"
        assert "[提示]" not in done.stderr, "the configuration beside vts was found"
        return done.stdout

    return vts_run


def test_json_is_the_result_document_with_numbers_as_numbers(run):
    result = json.loads(run("--format", "json"))["TestParams"]["Result"]
    trip = result["BinTripTime"]["1"]["Bin"]["0"]
    assert isinstance(trip, float) and trip == pytest.approx(0.3, abs=1e-3)
    assert result["BinTripTime"]["0"]["Bin"]["0"] == -1000
    assert {"StateEnterTime", "RealTestTime", "BinTripTime"} <= set(result)


def test_csv_has_a_row_per_key_path_and_xml_reads_back(run, tmp_path):
    rows = dict(csv.reader(io.StringIO(run("--format", "csv"))))
    assert rows.pop("path") == "value"
    assert float(rows["TestParams.Result.BinTripTime.1.Bin.0"]) == pytest.approx(0.3, abs=1e-3)
    assert rows["TestParams.StatePara.1.Ip.0.Mag"] == "10"
    out = tmp_path / "result.xml"
    assert run("--out", str(out)) == ""
    assert varel.Document.from_file(out)["TestParams.Result.BinTripTime.1.Bin.0"] == pytest.approx(0.3, abs=1e-3)

    def leaves(element, prefix=""):
        for child in element.findall("Para"):
            path = prefix + child.get("id")
            if child.find("Para") is None:
                yield path, child.get("value")
            else:
                yield from leaves(child, path + ".")

    assert dict(leaves(ElementTree.parse(out).getroot())) == rows, "the XML result's leaves, row by row"
