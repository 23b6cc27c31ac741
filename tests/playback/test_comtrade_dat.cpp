// The data readers, the choice of time base and the resampling.
#include <cmath>

#include "comtrade_test_support.h"
#include "debug_log.h"

namespace {

class ComtradeDat : public ComtradeFiles {
protected:
    // The analog values of the frames.
    std::vector<float> Analog(size_t channel = 0) const {
        std::vector<float> values;
        for (const auto& frame : Frames(parser_)) values.push_back(frame[channel]);
        return values;
    }
    CComtradeParser parser_;
};

// Samples 0, 4, 8, 12, 16 at 1000 per second played at 4000: four frames per
// interval, linearly interpolated, with the digital values of the earlier
// sample of the pair (an instant on a sample still belongs to the pair before).
TEST_F(ComtradeDat, UpsamplingFourFramesPerInterval) {
    Load(&parser_, OneChannelCfg("1\n1000,5\n"), "1,0,0,0\n2,0,4,1\n3,0,8,0\n4,0,12,1\n5,0,16,1\n", 4000.0f);
    const float digital[] = {0, 1, 0, 1, 1};
    auto frames = Frames(parser_);
    ASSERT_EQ(frames.size(), 17u);
    for (size_t k = 0; k < frames.size(); ++k) {
        EXPECT_NEAR(frames[k][0], static_cast<float>(k), 1e-4f) << k;
        EXPECT_EQ(frames[k][1], digital[k == 0 ? 0 : (k - 1) / 4]) << k;
    }
    EXPECT_EQ(parser_.SamplesRead(), 5u);
    EXPECT_FLOAT_EQ(parser_.Mapping().SampleRate(), 4000.0f);
    EXPECT_EQ(parser_.Mapping().StartTimeUs(), 0.0);
}

// The end: an instant within 10 us past the last sample gets its values once more.
TEST_F(ComtradeDat, LastSampleWrittenOnceMoreNearTheEnd) {
    Load(&parser_, OneChannelCfg("0\n0,2\n"), "1,0,0,0\n2,995,10,1\n", 200.0f);
    // Instants 0 and 5000: nothing near the end.
    EXPECT_EQ(Frames(parser_).size(), 1u);
    Load(&parser_, OneChannelCfg("0\n0,2\n"), "1,0,0,0\n2,4991,10,1\n", 200.0f);
    auto frames = Frames(parser_);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1], (std::vector<float>{10, 1}));
}

TEST_F(ComtradeDat, DownsamplingPicksTheGrid) {
    std::string dat;
    for (int i = 1; i <= 101; ++i) dat += std::to_string(i) + ",0," + std::to_string(i - 1) + ",0\n";
    Load(&parser_, OneChannelCfg("1\n10000,101\n"), dat, 1000.0f);
    std::vector<float> values = Analog();
    ASSERT_EQ(values.size(), 11u);
    for (size_t k = 0; k < values.size(); ++k) EXPECT_NEAR(values[k], 10.0f * k, 1e-3f);
}

// Layouts of the text data that read the same as the plain one.
TEST_F(ComtradeDat, TextLayoutsReadAlike) {
    const std::string plain = "1,0,10,1\n2,0,20,0\n3,0,30,1\n";
    Load(&parser_, OneChannelCfg("1\n1000,3\n"), plain);
    auto expected = Frames(parser_);
    ASSERT_EQ(expected.size(), 3u);
    struct Case {
        const char* what;
        std::string dat;
    } cases[] = {
        {"CR-LF", "1,0,10,1\r\n2,0,20,0\r\n3,0,30,1\r\n"},
        {"trailing commas", "1,0,10,1,\n2,0,20,0,\n3,0,30,1,\n"},
        {"trailing commas and CR-LF", "1,0,10,1,\r\n2,0,20,0,\r\n3,0,30,1,\r\n"},
        {"blanks", " 1 , 0 , 10 , 1 \n 2, 0, 20, 0\n3 ,0 ,30 ,1 \n"},
        {"extra fields", "1,0,10,1,7,8\n2,0,20,0,9\n3,0,30,1,,\n"},
        {"decimals and exponents", "1,0,1.0e1,1\n2,0.0,+20.000,0\n3,0,3E1,1\n"},
        {"a fourth line without line feed", plain + "4,0,40,1"},
        {"a fourth line cut short", plain + "4,0,4"},
        {"SUB characters at the end", plain + "\x1A\x1A\x1A"},
        {"a blank last line", plain + "\r\n"},
        {"fields split over lines", "1,0\n10,1\n2,0,20\n0\n3,0,30,1\n"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        ASSERT_EQ(parser_.ParseDatFile(Write("r.dat", k.dat), 0.0f), 0);
        EXPECT_EQ(Frames(parser_), expected);
        EXPECT_EQ(parser_.SamplesRead(), 3u);
    }
}

TEST_F(ComtradeDat, TextNumbers) {
    struct Case {
        const char* field;
        float value;
    } cases[] = {
        {"12", 12},
        {"-7", -7},
        {"0.25", 0.25f},
        {"-.5", -0.5f},
        {"1e3", 1000},
        {"2.5E-1", 0.25f},
        {"abc", 0},
        {"", 0},
        {"12abc", 12},
        {"1e", 1},
        {"0x10", 16},
        {"99999", 0}, // the missing-value marker: a channel without values reads 0
        {"1234567890123456789012", 1.2345679e21f},
        {"00000000000000000000000000000000000000000000000000000000000000000000000007", 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.field);
        Load(&parser_, OneChannelCfg("0\n0,1\n"), std::string("1,0,") + k.field + ",1\n");
        ASSERT_FALSE(Analog().empty());
        EXPECT_FLOAT_EQ(Analog()[0], k.value);
    }
    Load(&parser_, OneChannelCfg("0\n0,1\n"), "1,0,nan,1\n2,0,inf,0\n");
    EXPECT_TRUE(std::isnan(Analog()[0]));
}

// 16-bit records: sample number, time stamp, the analog values, the digital
// states sixteen to a word.
TEST_F(ComtradeDat, Binary16) {
    std::string cfg = "S,D,1999\n19,2A,17D\n1,U,,,V,2,1,0,0,0,1,1,S\n2,I,,,A,1,0,0,0,0,1,1,S\n";
    for (int i = 1; i <= 17; ++i) cfg += std::to_string(i) + ",K" + std::to_string(i) + ",,,0\n";
    cfg += "50\n1\n1000,2\n01/01/2020,00:00:00\n01/01/2020,00:00:00\nBINARY\n1\n";
    std::string dat;
    for (uint32_t n = 1; n <= 2; ++n) {
        PutLe32(&dat, n);
        PutLe32(&dat, (n - 1) * 1000);
        PutLe16(&dat, static_cast<uint16_t>(n == 1 ? -100 : 32767));
        PutLe16(&dat, 0x8000);
        PutLe16(&dat, n == 1 ? 0x8001 : 0x0002);
        PutLe16(&dat, n == 1 ? 0x0001 : 0xFFFE);
    }
    dat += "\x03\x00\x00"; // a record cut short
    Load(&parser_, cfg, dat);
    auto frames = Frames(parser_);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_FLOAT_EQ(frames[0][0], -199.0f);
    EXPECT_FLOAT_EQ(frames[1][0], 65535.0f);
    EXPECT_FLOAT_EQ(frames[0][1], 0.0f) << "0x8000 marks a missing value; none is present";
    std::vector<float> bits0(17, 0.0f);
    bits0[0] = bits0[15] = bits0[16] = 1.0f;
    EXPECT_EQ(std::vector<float>(frames[0].begin() + 2, frames[0].end()), bits0);
    // The instant on the second sample still carries the first one's states.
    EXPECT_EQ(std::vector<float>(frames[1].begin() + 2, frames[1].end()), bits0);
    CComtradeParser again;
    Load(&again, cfg, dat, 500.0f);
    ASSERT_EQ(Frames(again).size(), 1u);
    EXPECT_EQ(parser_.SamplesRead(), 2u);
    EXPECT_FLOAT_EQ(parser_.Config().analog[0].point_min, -199.0f);
    EXPECT_FLOAT_EQ(parser_.Config().analog[0].point_max, 65535.0f);
}

// 2013: 32-bit integers and IEEE floats in place of the 16-bit values.
TEST_F(ComtradeDat, Binary32AndFloat32) {
    for (const char* type : {"BINARY32", "FLOAT32"}) {
        SCOPED_TRACE(type);
        bool isFloat = std::string(type) == "FLOAT32";
        std::string dat;
        for (uint32_t n = 1; n <= 3; ++n) {
            PutLe32(&dat, n);
            PutLe32(&dat, 0);
            if (isFloat)
                PutFloat(&dat, 1.5f * static_cast<float>(n));
            else
                PutLe32(&dat, static_cast<uint32_t>(n == 2 ? -2000000 : 100000 * static_cast<int>(n)));
            PutLe16(&dat, static_cast<uint16_t>(n & 1));
        }
        Load(&parser_, OneChannelCfg("1\n1000,3\n", type), dat);
        std::vector<float> want = isFloat ? std::vector<float>{1.5f, 3.0f, 4.5f}
                                          : std::vector<float>{100000.0f, -2000000.0f, 300000.0f};
        EXPECT_EQ(Analog(), want);
        EXPECT_EQ(Analog(1), (std::vector<float>{1.0f, 1.0f, 0.0f}));
    }
}

// Which time base a recording gets, and where its frames start.
TEST_F(ComtradeDat, TimeBase) {
    const char *oneRate = "1\n500,3\n", *noRates = "0\n0,3\n";
    struct Case {
        const char* what;
        const char* rates;
        const char* dat;
        double startUs;
        std::vector<float> values; // at 1000 frames per second
        const char* timemult = "1\n";
    } cases[] = {
        {"rising stamps", oneRate, "1,1000,0,0\n2,2000,10,0\n3,4000,30,0\n", 1000.0, {0, 10, 20, 30}},
        {"timemult 2", oneRate, "1,1000,0,0\n2,2000,10,0\n3,3000,20,0\n", 2000.0, {0, 5, 10, 15, 20}, "2\n"},
        {"zero stamps", oneRate, "1,0,0,0\n2,0,10,0\n3,0,20,0\n", 0.0, {0, 5, 10, 15, 20}},
        {"a stamp repeated late", oneRate, "1,1000,0,0\n2,2000,10,0\n3,2000,20,0\n", 0.0, {0, 5, 10, 15, 20}},
        {"stamps below 1", oneRate, "1,0.25,0,0\n2,0.5,10,0\n3,0.75,20,0\n", 0.0, {0, 5, 10, 15, 20}},
        {"negative number first", oneRate, "-1,1000,0,0\n2,2000,10,0\n3,2000,20,0\n", 1000.0, {0, 10}},
        {"no rates: stamps", noRates, "1,0,0,0\n2,1000,10,0\n3,2000,20,0\n", 0.0, {0, 10, 20}},
        {"no rates, stamps not rising", noRates, "1,0,0,0\n2,0,10,0\n3,0,20,0\n", 0.0, {0}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Load(&parser_, OneChannelCfg(k.rates, "ASCII", k.timemult), k.dat, 1000.0f);
        EXPECT_EQ(parser_.Mapping().StartTimeUs(), k.startUs);
        std::vector<float> values = Analog();
        ASSERT_EQ(values.size(), k.values.size());
        for (size_t i = 0; i < values.size(); ++i) EXPECT_NEAR(values[i], k.values[i], 1e-4f) << i;
    }
}

// On sample numbers each sample's interval is that of its rate segment.
TEST_F(ComtradeDat, SeveralRateSegments) {
    std::string dat;
    for (int n = 1; n <= 7; ++n) dat += std::to_string(n) + ",0," + std::to_string(10 * n) + ",0\n";
    Load(&parser_, OneChannelCfg("2\n1000,4\n500,6\n"), dat);
    // Times 0, 1000, 2000, 3000, 5000, 7000 and (sample 7 beyond every segment) 7000 again.
    EXPECT_EQ(Analog(), (std::vector<float>{10, 20, 30, 40, 45, 50, 55, 60}));
}

TEST_F(ComtradeDat, NegativeSampleNumberOnSampleNumbers) {
    ASSERT_EQ(parser_.OpenCfgFile(Write("r.cfg", OneChannelCfg("1\n1000,9\n"))), 0);
    EXPECT_EQ(parser_.ParseDatFile(Write("r.dat", "1,0,1,0\n2,0,2,0\n-3,0,3,0\n"), 0.0f), DISP_E_EXCEPTION);
    // What came before stays in the block.
    EXPECT_EQ(Analog(), (std::vector<float>{1, 2}));
}

TEST_F(ComtradeDat, BadData) {
    std::string noise;
    std::mt19937 random(11);
    for (int i = 0; i < 200000; ++i) noise.push_back(static_cast<char>(random()));
    std::string digits;
    for (int i = 0; i < 200000; ++i) digits.push_back("0123456789,\n-.e "[random() % 16]);
    struct Case {
        const char* what;
        const char* type;
        std::string dat;
        HRESULT result; // -1: any result but a crash
    } cases[] = {
        {"empty", "ASCII", "", DISP_E_EXCEPTION},
        {"no whole first line", "ASCII", "1,0,5", DISP_E_EXCEPTION},
        {"binary shorter than a record", "BINARY", "\x01\x00\x00\x00\x00", DISP_E_EXCEPTION},
        {"non-numeric fields", "ASCII", "a,b,c,d\ne,f,g,h\n", 0},
        {"a line of millions of characters", "ASCII", "1,0,5,1," + std::string(3000000, 'x') + "\n2,0,6,1\n",
         0},
        {"a field of millions of characters", "ASCII", "1,0," + std::string(3000000, '7') + ",1\n", 0},
        {"binary noise as text", "ASCII", noise, -1},
        {"digits and separators", "ASCII", digits, -1},
        {"binary noise", "BINARY", noise, -1},
        {"binary noise, 32-bit", "BINARY32", noise, -1},
        {"binary noise, floats", "FLOAT32", noise, -1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        ASSERT_EQ(parser_.OpenCfgFile(Write("r.cfg", OneChannelCfg("1\n1000,100000\n", k.type))), 0);
        HRESULT result = parser_.ParseDatFile(Write("r.dat", k.dat), 0.0f);
        if (k.result != -1)
            EXPECT_EQ(result, k.result);
        else
            EXPECT_TRUE(result == 0 || result == 12 || result == DISP_E_EXCEPTION) << result;
        EXPECT_LE(parser_.Mapping().FloatCount(), parser_.Mapping().Capacity());
    }
}

// The configuration announced channels that its text does not have.
TEST_F(ComtradeDat, NoChannelsNoFrames) {
    ASSERT_EQ(parser_.OpenCfgFile(Write("r.cfg", "S,D,1999\n2,1A,1D\n")), 0);
    EXPECT_EQ(parser_.ParseDatFile(Write("r.dat", "1,0\n2,1000000\n3,2000000\n"), 1e6f), 0);
    EXPECT_EQ(parser_.SamplesRead(), 3u);
    EXPECT_EQ(parser_.Mapping().FloatCount(), 0u);
    EXPECT_EQ(parser_.ParseDatFile(Write("r.dat", ""), 1e6f), DISP_E_EXCEPTION);
}

TEST_F(ComtradeDat, FileNotOpened) {
    ASSERT_EQ(parser_.OpenCfgFile(Write("r.cfg", OneChannelCfg("1\n1000,9\n"))), 0);
    DebugLogCapture log;
    EXPECT_EQ(parser_.ParseDatFile(Path("missing.dat"), 0.0f), 11);
    EXPECT_TRUE(log.Contains("Open Dat File: "));
    EXPECT_TRUE(log.Contains("File could not be opened."));
    ASSERT_EQ(parser_.ParseDatFile(Write("r.dat", "1,0,1,0\n"), 0.0f), 0);
    EXPECT_TRUE(log.Contains("OpenDataFile Length = 8, Time:"));
    EXPECT_EQ(parser_.DataLength(), 8u);
}

// More frames than the block holds: the block is filled and the result is 12.
TEST_F(ComtradeDat, BlockFull) {
    ASSERT_EQ(parser_.OpenCfgFile(Write("r.cfg", OneChannelCfg("0\n0,2\n"))), 0);
    DebugLogCapture log;
    EXPECT_EQ(parser_.ParseDatFile(Write("r.dat", "1,0,0,0\n2,1000000,1,0\n"), 1e8f), 12);
    EXPECT_TRUE(log.Contains("ParseDatFile error "));
    EXPECT_EQ(parser_.Mapping().FloatCount(), parser_.Mapping().Capacity());
    EXPECT_EQ(parser_.Mapping().Capacity() * 4, CSampMappingFile::kBlockBytes);
}

// The block fills on time stamps that a later sample shows unusable: the
// pass starts again on sample numbers, where everything fits.
TEST_F(ComtradeDat, BlockFullBeforeTheTimeBaseIsKnown) {
    ASSERT_EQ(parser_.OpenCfgFile(Write("r.cfg", OneChannelCfg("1\n1000,3\n"))), 0);
    // 2^26 frames per second: a step of exactly 15625 / 2^20 us.
    const float rate = 67108864.0f;
    ASSERT_EQ(parser_.ParseDatFile(Write("r.dat", "1,0,0,0\n2,1000000,1,0\n3,1000000,2,0\n"), rate), 0);
    EXPECT_EQ(parser_.Mapping().StartTimeUs(), 0.0);
    // Instants 0 .. 134217 steps within the 2000 us, then the last sample once more.
    EXPECT_EQ(parser_.Mapping().FloatCount(), 2u * 134219u);
}

} // namespace
