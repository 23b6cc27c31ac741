// Arbitrary bytes as a COMTRADE configuration and data file pair. The first
// byte picks the requested playback rate, the next two the configuration's
// length; the rest is the data file. A configuration in the single-file form
// is read as one: its own sections give both. Every result must be one the reader
// documents, the block count within its capacity, and nothing read outside.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "playback/comtrade_parser.h"
#include "playback/comtrade_single_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    static CComtradeParser* parser = new CComtradeParser;  // keeps its block between runs
    float rate = static_cast<float>(data[0]) * 50.0f;
    size_t cfgSize = data[1] | (data[2] << 8);
    data += 3;
    size -= 3;
    if (cfgSize > size) cfgSize = size;
    // Copies of exactly the given sizes, so that a read past either end is caught.
    std::vector<uint8_t> cfg(data, data + cfgSize), dat(data + cfgSize, data + size);
    if (CComtradeSingleFile::IsSingleFile(cfg.data(), cfg.size())) {
        ComtradeSection c, d;
        if (!CComtradeSingleFile::FindConfiguration(cfg.data(), cfg.size(), &c)) std::abort();
        if (c.begin > c.end || c.end > cfg.size()) std::abort();
        d = {cfg.size(), cfg.size()};
        CComtradeSingleFile::FindData(cfg.data(), cfg.size(), &d);
        if (d.begin > d.end || d.end > cfg.size()) std::abort();
        // Fresh vectors: exactly as large as the sections.
        dat = std::vector<uint8_t>(cfg.begin() + static_cast<std::ptrdiff_t>(d.begin),
                                   cfg.begin() + static_cast<std::ptrdiff_t>(d.end));
        cfg = std::vector<uint8_t>(cfg.begin() + static_cast<std::ptrdiff_t>(c.begin),
                                   cfg.begin() + static_cast<std::ptrdiff_t>(c.end));
    }
    HRESULT result = parser->ParseCfg(cfg.data(), cfg.size());
    if (result != 0 && result != 2) std::abort();
    if (result != 0) return 0;
    result = parser->ParseDat(dat.data(), dat.size(), rate);
    if (result != 0 && result != 12 && result != DISP_E_EXCEPTION) std::abort();
    if (parser->Mapping().FloatCount() > parser->Mapping().Capacity()) std::abort();
    return 0;
}
