"""GenericData documents: the library's own document object, read and
written by dotted path and crossing as XML text."""

import os
import re
import xml.etree.ElementTree as ElementTree
from ctypes import POINTER, byref, c_void_p

from . import _native
from ._native import VARIANT, BStr, check

# IGenericData and IGenericDataNode slots (vts_gdata.h).
_LOAD, _GET_ROOT, _LOAD_FILE, _SAVE_FILE, _TO_XML = 7, 8, 9, 10, 11
_ADD_CHILD, _SET_VALUE, _GET_VALUE, _GET_CHILD_VALUE = 7, 9, 10, 12
_S_FALSE = 1
_E_INVALIDARG = -2147024809

_NUMBER = re.compile(r"[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?")


def plain(value):
    """A value as a program wants it: text that is a decimal number (an
    optional sign, digits with an optional point, an optional exponent) is
    that number, empty text None; anything else stays as it is."""
    if not isinstance(value, str):
        return value
    if value == "":
        return None
    if _NUMBER.fullmatch(value):
        if not any(c in value for c in ".eE"):
            return int(value)
        number = float(value)
        if number not in (float("inf"), float("-inf")):
            return number
    return value


class Document:
    """A GenericData document: a tree of named values, addressed by dotted
    paths ("TestParams.StatePara.0.Up.0.Mag").

    doc[path] gives the value as a number where its text is one (see plain);
    doc[path] = value sets it, adding the nodes the path lacks and keeping
    the type of a number already there. A missing path raises KeyError."""

    def __init__(self, xml=None):
        self._com = _native.create_instance(_native.CLSID_GenericData, _native.IID_IGenericData, "GenericData")
        self._root()  # a new document has an empty root
        if xml is not None:
            self.load_xml(xml)

    @classmethod
    def _adopt(cls, pointer):
        document = cls.__new__(cls)
        document._com = _native.ComObject(pointer)
        return document

    @classmethod
    def from_xml(cls, text):
        """A document read from XML text."""
        return cls(text)

    @classmethod
    def from_file(cls, path):
        """A document read from an XML file (UTF-8, or UTF-16 with a byte-order mark)."""
        document = cls()
        with BStr(os.fspath(path)) as name:
            loaded = check(document._com.call(_LOAD_FILE, (c_void_p,), name), "IGenericData::LoadFromFile")
        if loaded == _S_FALSE:
            if not os.path.isfile(path):
                raise FileNotFoundError(f"no such file: {os.fspath(path)}")
            raise ValueError(f"{os.fspath(path)} is not a readable GenericData XML file")
        return document

    def load_xml(self, text):
        """Replaces the tree with the one the XML text describes."""
        with BStr(text) as xml:
            loaded = check(self._com.call(_LOAD, (c_void_p,), xml), "IGenericData::Load")
        if loaded == _S_FALSE:
            raise ValueError("not a GenericData XML document (it is empty, not well formed, or too large)")

    def to_xml(self):
        """The document as XML text, one element per line; equal trees give equal text."""
        text = c_void_p()
        check(self._com.call(_TO_XML, (POINTER(c_void_p),), byref(text)), "IGenericData::ToXMLString")
        return _native.take_bstr(text.value)

    def save(self, path):
        """Writes the document to a file as UTF-8 XML."""
        with BStr(os.fspath(path)) as name:
            check(self._com.call(_SAVE_FILE, (c_void_p,), name), "IGenericData::SaveToFile", os.fspath(path))

    def _root(self):
        root = c_void_p()
        check(self._com.call(_GET_ROOT, (POINTER(c_void_p),), byref(root)), "IGenericData::GetRootNode")
        return _native.ComObject(root.value)

    def raw(self, path):
        """The value at path as the document holds it (text stays text)."""
        value = VARIANT()
        with BStr(path) as name:
            hr = self._root().call(_GET_CHILD_VALUE, (c_void_p, POINTER(VARIANT)), name, byref(value))
        if hr == _E_INVALIDARG:
            raise KeyError(path)
        check(hr, "IGenericDataNode::GetChildValue", path)
        try:
            return value.get()
        finally:
            value.clear()

    def __getitem__(self, path):
        return plain(self.raw(path))

    def get(self, path, default=None):
        try:
            return self[path]
        except KeyError:
            return default

    def __contains__(self, path):
        return self.get(path, self) is not self

    def __setitem__(self, path, value):
        names = path.split(".")
        if not all(names):
            raise KeyError(path)
        node = self._root()
        for name in names:
            child = c_void_p()
            with BStr(name) as text:
                check(node.call(_ADD_CHILD, (c_void_p, POINTER(c_void_p)), text, byref(child)),
                      "IGenericDataNode::AddChild", path)
            node = _native.ComObject(child.value)
        old = VARIANT()
        check(node.call(_GET_VALUE, (POINTER(VARIANT),), byref(old)), "IGenericDataNode::GetValue", path)
        new = VARIANT.of(value)
        try:
            if old.vt in _native.NUMERIC_TYPES and new.vt != old.vt and value is not None:
                check(_native.library().VariantChangeType(byref(new), byref(new), 0, old.vt),
                      "VariantChangeType", f"{path} = {value!r}")
            check(node.call(_SET_VALUE, (VARIANT,), new), "IGenericDataNode::SetValue", path)
        finally:
            old.clear()
            new.clear()

    def to_dict(self):
        """The tree as nested dicts: a node with children is a dict of them
        (its own value left out), a leaf its value as plain gives it."""
        def walk(element):
            children = element.findall("Para")
            if not children:
                return plain(element.get("value", ""))
            return level(children)

        def level(children):
            return {child.get("id"): walk(child) for child in children}

        return level(ElementTree.fromstring(self.to_xml().encode("utf-8")).findall("Para"))

    @property
    def pointer(self):
        """The IGenericData pointer, for the library's exports."""
        return self._com.pointer



def defaults(prog_id):
    """The default parameter document of a test type ("Varel.ZTXLTest.1").
    A test type whose module has not landed raises VarelError with E_NOTIMPL,
    an unknown one with E_INVALIDARG."""
    document = Document()
    check(_native.com().VTS_InitTestParams_A(document.pointer, prog_id.encode("utf-8")), "VTS_InitTestParams",
          prog_id)
    return document


__all__ = ["Document", "defaults", "plain"]
