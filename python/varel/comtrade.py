"""COMTRADE recordings, as the library reads them for waveform playback."""

import os
from ctypes import byref, c_void_p

from . import _native
from .document import Document

# The reader's own results (README "COMTRADE recordings").
_READER_RESULTS = {
    1: "the configuration file cannot be opened",
    2: "not a COMTRADE configuration",
    11: "the data file cannot be opened",
    12: "the data file or the sample block cannot be mapped",
    13: "the data file cannot be viewed",
}


def describe(path, rate=0.0):
    """The description document of a recording (VTS_DescribeComtrade): the
    configuration ("station_name", "A_Channels.ch0.ch_id", "lf", ...) and,
    from the data file read at the playback rate asked for (0: the
    recording's own), "A_Channels.chN.point_min"/"point_max" and
    "mapping_memory". A recording that cannot be read raises VarelError with
    the reader's result."""
    pointer = c_void_p()
    result = _native.com().VTS_DescribeComtrade(_native.wide(path), rate, byref(pointer))
    document = Document._adopt(pointer.value) if pointer.value else None
    if result != 0:
        raise _native.VarelError(result, "VTS_DescribeComtrade",
                                 f"{os.fspath(path)}: {_READER_RESULTS.get(result, 'the data file cannot be read')}")
    return document
