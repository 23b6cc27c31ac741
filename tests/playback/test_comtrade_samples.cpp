// Public sample recordings against the figures of their expected.json.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "comtrade_test_support.h"
#include "playback/comtrade_dat_reader.h"
#include "playback/comtrade_single_file.h"

namespace {

// Just enough JSON for expected.json: objects, arrays, strings, numbers; true reads as 1.
struct Json {
    double number = 0;
    std::string text; // UTF-8
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json& operator[](const std::string& key) const {
        static const Json none;
        auto it = members.find(key);
        return it == members.end() ? none : it->second;
    }
    bool Has(const std::string& key) const { return members.count(key) != 0; }
};

Json ReadJson(const std::string& s, size_t& i) {
    auto blank = [&] {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    };
    blank();
    Json v;
    const char c = s[i];
    if (c == '{' || c == '[') {
        for (++i, blank(); s[i] != (c == '{' ? '}' : ']'); blank()) {
            if (c == '[') {
                v.items.push_back(ReadJson(s, i));
            } else {
                std::string key = ReadJson(s, i).text;
                blank();
                ++i; // ':'
                v.members[key] = ReadJson(s, i);
            }
            blank();
            if (s[i] == ',') ++i;
        }
        ++i;
    } else if (c == '"') {
        for (++i; s[i] != '"'; ++i) {
            if (s[i] != '\\') {
                v.text += s[i];
            } else if (s[++i] == 'u') {
                v.text += Utf16ToUtf8(
                    WideString(1, static_cast<WCHAR>(std::stoi(s.substr(i + 1, 4), nullptr, 16))));
                i += 4;
            } else {
                v.text += s[i] == 'n' ? '\n' : s[i] == 't' ? '\t' : s[i];
            }
        }
        ++i;
    } else if (std::isalpha(static_cast<unsigned char>(c))) {
        v.number = c == 't';
        while (std::isalpha(static_cast<unsigned char>(s[i]))) ++i;
    } else {
        size_t used = 0;
        v.number = std::stod(s.substr(i, 40), &used);
        i += used;
    }
    return v;
}

const std::filesystem::path kSamples = VTS_COMTRADE_SAMPLES;

// The expected names were decoded as Latin-1; a reader that takes valid
// UTF-8 as UTF-8 sees those bytes as UTF-8.
std::string AsRead(const std::string& latin1Decoded) {
    std::string bytes;
    for (WCHAR u : Utf8ToUtf16(latin1Decoded)) {
        if (u > 0xFF) return latin1Decoded;
        bytes.push_back(static_cast<char>(u));
    }
    return Utf16ToUtf8(Utf8ToUtf16(bytes)) == bytes ? bytes : latin1Decoded;
}

class ComtradeSamples : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(kSamples / "expected.json")) GTEST_SKIP() << "no sample recordings";
        std::ifstream file(kSamples / "expected.json");
        std::stringstream text;
        text << file.rdbuf();
        size_t at = 0;
        expected_ = ReadJson(text.str(), at);
    }
    static std::filesystem::path File(const std::string& name) {
        return kSamples / "python-comtrade-samples" / name;
    }
    Json expected_;
};

TEST_F(ComtradeSamples, EveryConfigurationReadsAsExpected) {
    int checked = 0;
    for (const auto& [name, e] : expected_.members) {
        SCOPED_TRACE(name);
        CComtradeParser parser;
        ASSERT_EQ(parser.OpenCfgFile(Utf8ToUtf16(File(name).string())), 0);
        const ComtradeConfig& c = parser.Config();
        EXPECT_EQ(Utf16ToUtf8(c.station_name), AsRead(e["station"].text));
        EXPECT_EQ(Utf16ToUtf8(c.rec_dev_id), AsRead(e["device"].text));
        EXPECT_EQ(Utf16ToUtf8(c.rev_year), e["rev"].text);
        EXPECT_EQ(c.analog.size(), static_cast<size_t>(e["analog"].number));
        EXPECT_EQ(c.digital.size(), static_cast<size_t>(e["digital"].number));
        EXPECT_EQ(c.analog.size() + c.digital.size(), static_cast<size_t>(e["total"].number));
        EXPECT_FLOAT_EQ(c.lf, e["lf"].number);
        ASSERT_EQ(c.rates.size(), static_cast<size_t>(e["nrates"].number));
        for (size_t i = 0; i < c.rates.size(); ++i) {
            EXPECT_FLOAT_EQ(c.rates[i].samp, e["rates"].items[i].items[0].number);
            EXPECT_EQ(c.rates[i].endsamp, static_cast<int32_t>(e["rates"].items[i].items[1].number));
        }
        EXPECT_EQ(Utf16ToUtf8(c.firstTime), e["start"].text);
        EXPECT_EQ(Utf16ToUtf8(c.triggerTime), e["trigger"].text);
        EXPECT_EQ(c.binary, e["ft"].text == "ASCII" ? 0 : 1);
        EXPECT_FLOAT_EQ(c.timemult, e["timemult"].number);
        ASSERT_EQ(e["names"].items.size(), c.analog.size());
        for (size_t i = 0; i < c.analog.size(); ++i)
            EXPECT_EQ(Utf16ToUtf8(c.analog[i].ch_id), e["names"].items[i].text);
        ++checked;
    }
    EXPECT_GE(checked, 8);
}

// Sample counts, first and last value of channel 1, and its extremes, in
// engineering units (a * x + b) before the unit and primary factors.
TEST_F(ComtradeSamples, EveryDataFileReadsAsExpected) {
    struct Pair {
        std::string cfg, dat, expectedKey;
    };
    std::vector<Pair> pairs;
    // A single-file recording (".cff") is its own data file.
    for (const auto& [name, e] : expected_.members)
        pairs.push_back({name, e.Has("dat_file") ? e["dat_file"].text : name, name});
    pairs.push_back({"sample_ascii.cfg", "sample_ascii_missing.dat", ""});
    pairs.push_back({"sample_bin.cfg", "sample_bin_missing.dat", ""});
    for (const Pair& p : pairs) {
        SCOPED_TRACE(p.cfg + " + " + p.dat);
        CComtradeParser parser;
        ASSERT_EQ(parser.OpenCfgFile(Utf8ToUtf16(File(p.cfg).string())), 0);
        ASSERT_EQ(parser.ParseDatFile(Utf8ToUtf16(File(p.dat).string()), 0.0f), 0);
        const ComtradeAnalogChannel& ch1 = parser.Config().analog[0];
        float gain, offset;
        CComtradeParser::ChannelScale(ch1, &gain, &offset);
        double units = gain / ch1.a; // the unit and primary factors
        if (p.expectedKey.empty()) {
            size_t samples = p.cfg == "sample_bin.cfg" ? 5 : 40;
            EXPECT_EQ(parser.SamplesRead(), samples);
            continue;
        }
        const Json& e = expected_[p.expectedKey];
        EXPECT_EQ(parser.SamplesRead(), static_cast<size_t>(e["samples"].number));
        auto expectNear = [&](double ours, const char* key) {
            double want = e[key].number;
            EXPECT_NEAR(ours / units, want, 1e-4 * std::max(1.0, std::fabs(want))) << key;
        };
        expectNear(ch1.point_min, "ch1_min");
        expectNear(ch1.point_max, "ch1_max");
        // The first frame is the first sample itself.
        ASSERT_GT(parser.Mapping().FloatCount(), 0u);
        expectNear(parser.Mapping().Floats()[0], "ch1_first");

        // The last sample, straight from the reader.
        ReadOnlyFileMapping dat;
        ASSERT_TRUE(dat.Open(Utf8ToUtf16(File(p.dat).string())));
        CComtradeDatReader reader;
        std::vector<float> gains, offsets;
        for (const ComtradeAnalogChannel& ch : parser.Config().analog) {
            CComtradeParser::ChannelScale(ch, &gain, &offset);
            gains.push_back(gain);
            offsets.push_back(offset);
        }
        ComtradeSection section{0, dat.size()};
        if (CComtradeSingleFile::IsSingleFile(dat.data(), dat.size())) {
            ASSERT_TRUE(CComtradeSingleFile::FindData(dat.data(), dat.size(), &section));
        }
        reader.Begin(dat.data() + section.begin, section.end - section.begin, parser.Config().format, gains,
                     offsets, parser.Config().digital.size());
        CComtradeDataLine line;
        line.Resize(gains.size(), parser.Config().digital.size());
        CComtradeDataLine last = line;
        while (reader.Read(&line)) last = line;
        reader.Complete(&last);
        expectNear(last.Analog()[0], "ch1_last");
    }
}

// 1200 samples/s played at 4800: four frames per recorded interval.
TEST_F(ComtradeSamples, UpsamplingInterpolatesBetweenSamples) {
    CComtradeParser parser;
    ASSERT_EQ(parser.OpenCfgFile(Utf8ToUtf16(File("sample_ascii.cfg").string())), 0);
    ASSERT_EQ(parser.ParseDatFile(Utf8ToUtf16(File("sample_ascii.dat").string()), 4800.0f), 0);
    size_t width = 8;
    const float* f = parser.Mapping().Floats();
    // 40 samples span 39 intervals; the grid lands on the last sample too.
    EXPECT_EQ(parser.Mapping().FloatCount(), (39 * 4 + 1) * width);
    float y0 = f[0], y1 = f[4 * width];
    for (int k = 1; k < 4; ++k) EXPECT_NEAR(f[k * width], y0 + (y1 - y0) * k / 4.0f, 1e-4f);
}

} // namespace

// Missing values (99999 in text, 0x8000 in binary) are counted per channel
// and read as their channel's neighbours give them, never as values.
TEST_F(ComtradeSamples, MissingValuesTakeTheirNeighbours) {
    CComtradeParser text;
    ASSERT_EQ(text.OpenCfgFile(Utf8ToUtf16(File("sample_ascii.cfg").string())), 0);
    ASSERT_EQ(text.ParseDatFile(Utf8ToUtf16(File("sample_ascii_missing.dat").string()), 0.0f), 0);
    const ComtradeAnalogChannel& ia = text.Config().analog[0];
    for (const ComtradeAnalogChannel& ch : text.Config().analog) EXPECT_EQ(ch.point_missing, 1u);
    EXPECT_NEAR(ia.point_max, expected_["sample_ascii.cfg"]["ch1_max"].number, 1e-3) << "not 99999 x a + b";
    // Sample 2 of IA lies between -83 and 55: raw -14.
    EXPECT_NEAR(text.Mapping().Floats()[8], ia.a * -14 + ia.b, 0.01);

    CComtradeParser binary;
    ASSERT_EQ(binary.OpenCfgFile(Utf8ToUtf16(File("sample_bin.cfg").string())), 0);
    ASSERT_EQ(binary.ParseDatFile(Utf8ToUtf16(File("sample_bin_missing.dat").string()), 0.0f), 0);
    float gain[2], offset[2];
    for (int c = 0; c < 2; ++c) {
        CComtradeParser::ChannelScale(binary.Config().analog[c], &gain[c], &offset[c]);
        EXPECT_EQ(binary.Config().analog[c].point_missing, 1u);
    }
    const float* frames = binary.Mapping().Floats();
    const size_t width = 20;
    EXPECT_FLOAT_EQ(frames[0], gain[0] * -24571 + offset[0]) << "the first sample takes the next one";
    EXPECT_FLOAT_EQ(frames[width + 1], gain[1] * (-3905 + -5090) / 2.0f + offset[1]);
    EXPECT_FLOAT_EQ(binary.Config().analog[0].point_min, gain[0] * -24571 + offset[0]);
}
