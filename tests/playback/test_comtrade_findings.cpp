// Inputs that once made the COMTRADE reader read outside its data, kept as
// the fuzz harness feeds them: a rate byte, the configuration's length
// (16-bit), the configuration, then the data file, each in a buffer of its
// exact size so that a read past either end is seen (AddressSanitizer).
#include "playback/comtrade_parser.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

TEST(ComtradeFindings, TheBinaryReaderStaysInsideItsRecords) {
    std::ifstream file(VTS_FUZZ_FINDINGS "/comtrade-binary-read-past-end.bin", std::ios::binary);
    if (!file) GTEST_SKIP() << "the findings folder is not beside this tree";
    const std::vector<uint8_t> input((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    ASSERT_GE(input.size(), 3u);
    const size_t cfgSize = std::min<size_t>(input[1] | input[2] << 8, input.size() - 3);
    const std::vector<uint8_t> cfg(input.begin() + 3, input.begin() + 3 + cfgSize),
        dat(input.begin() + 3 + cfgSize, input.end());
    CComtradeParser parser;
    ASSERT_EQ(parser.ParseCfg(cfg.data(), cfg.size()), 0);
    const HRESULT result = parser.ParseDat(dat.data(), dat.size(), input[0] * 50.0f);
    EXPECT_TRUE(result == 0 || result == CComtradeParser::kDatMappingFailed) << result;
}
