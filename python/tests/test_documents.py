"""Documents: XML in and out, values by dotted path, nested dicts."""

import pytest

import varel

XML = """<?xml version="1.0" encoding="utf-8"?><root>
  <Para id="TestParams" value="VarelTest_State">
    <Para id="Name" value="feeder 7"/>
    <Para id="StatePara" value="">
      <Para id="0" value="">
        <Para id="Up" value="">
          <Para id="0" value=""><Para id="Mag" value="57.735"/><Para id="Ang" value="-120"/></Para>
        </Para>
      </Para>
    </Para>
  </Para>
</root>"""


def test_values_by_dotted_path_are_numbers_where_their_text_is_one():
    doc = varel.Document.from_xml(XML)
    assert doc["TestParams.StatePara.0.Up.0.Mag"] == 57.735
    assert doc["TestParams.StatePara.0.Up.0.Ang"] == -120
    assert doc["TestParams.Name"] == "feeder 7"
    assert doc.raw("TestParams.StatePara.0.Up.0.Mag") == "57.735"
    assert doc["TestParams.StatePara"] is None
    assert "TestParams.Name" in doc and "TestParams.Nothing" not in doc
    with pytest.raises(KeyError):
        doc["TestParams.StatePara.1"]


def test_setting_keeps_a_numbers_type_and_adds_missing_nodes():
    doc = varel.defaults("Varel.ZTXLTest.1")
    doc["TestParams.StatePara.0.Up.0.Mag"] = 57.735   # a single-precision field
    doc["TestParams.StateNumbers"] = "3"               # an integer field, given as text
    doc["Notes.Operator"] = "王工"
    again = varel.Document.from_xml(doc.to_xml())
    assert again["TestParams.StatePara.0.Up.0.Mag"] == 57.735
    assert again.raw("TestParams.StateNumbers") == "3"
    assert again["Notes.Operator"] == "王工"
    with pytest.raises(varel.VarelError) as failure:
        doc["TestParams.StateNumbers"] = "three"
    assert failure.value.hresult == 0x80020005  # DISP_E_TYPEMISMATCH


def test_documents_round_trip_through_text_and_files(tmp_path):
    doc = varel.defaults("Varel.ZTXLTest.1")
    doc["TestParams.StatePara.1.Ip.0.Mag"] = 10.0
    text = doc.to_xml()
    assert varel.Document.from_xml(text).to_xml() == text
    doc.save(tmp_path / "state.xml")
    assert varel.Document.from_file(tmp_path / "state.xml").to_xml() == text


def test_to_dict_nests_the_tree_with_numbers_as_numbers():
    tree = varel.Document.from_xml(XML).to_dict()
    assert tree == {"TestParams": {"Name": "feeder 7",
                                   "StatePara": {"0": {"Up": {"0": {"Ang": -120, "Mag": 57.735}}}}}}
    assert varel.Document().to_dict() == {}


def test_what_is_not_a_document_is_refused(tmp_path):
    with pytest.raises(ValueError):
        varel.Document.from_xml("<root><Para id='a'")
    with pytest.raises(FileNotFoundError):
        varel.Document.from_file(tmp_path / "none.xml")
