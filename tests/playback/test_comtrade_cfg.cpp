// The configuration grammar: the layouts recorders write, and bad input.
#include <sstream>

#include "comtrade_test_support.h"
#include "debug_log.h"

namespace {

// Everything the grammar fills, as one text, to compare twins.
std::string Dump(const ComtradeConfig& c) {
    std::ostringstream out;
    auto w = [](const WideString& s) { return "[" + Utf16ToUtf8(s) + "]"; };
    out << w(c.station_name) << w(c.rec_dev_id) << w(c.rev_year) << "\n";
    for (const ComtradeAnalogChannel& a : c.analog)
        out << w(a.ch_id) << w(a.ph) << w(a.ccbm) << w(a.uu) << a.a << "," << a.b << "," << a.skew << ","
            << a.min << "," << a.max << "," << a.primary << "," << a.secondary << ","
            << static_cast<char>(a.ps) << "\n";
    for (const ComtradeDigitalChannel& d : c.digital)
        out << w(d.ch_id) << w(d.ph) << w(d.ccbm) << d.y << "\n";
    out << c.lf << "|";
    for (const ComtradeSampleRate& r : c.rates) out << r.samp << "/" << r.endsamp << "|";
    out << w(c.firstTime) << w(c.triggerTime) << c.binary << static_cast<int>(c.format) << "|" << c.timemult;
    return out.str();
}

const std::string k1999 =
    "Sub 1,Relay 7,1999\n"
    "3,2A,1D\n"
    "1,VA,A,Line 1,kV,0.01,0.5,0,-32767,32767,110,0.1,P\n"
    "2,IA,A,Line 1,A,0.002,0,1.5,-32767,32767,600,1,S\n"
    "1,Trip,,Line 1,1\n"
    "50\n"
    "2\n"
    "1000,100\n"
    "4000,500\n"
    "01/02/2020,10:00:00.000000\n"
    "01/02/2020,10:00:00.100000\n"
    "BINARY\n"
    "0.5\n";

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

// Blanks around every field but those of the time stamp lines, kept whole.
std::string WithBlanks(const std::string& text) {
    std::string out;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.find('/') != std::string::npos) {
            out += line + "\n";
            continue;
        }
        for (char c : line) out += c == ',' ? std::string(" , ") : std::string(1, c);
        out += " \n";
    }
    return out;
}

std::string Utf16(const std::string& text) {
    WideString units = Utf8ToUtf16(text);
    std::string out = "\xFF\xFE";
    for (WCHAR u : units) PutLe16(&out, static_cast<uint16_t>(u));
    return out;
}

class ComtradeCfg : public ComtradeFiles {
protected:
    HRESULT Open(const std::string& text) { return parser_.OpenCfgFile(Write("t.cfg", text)); }
    CComtradeParser parser_;
};

TEST_F(ComtradeCfg, Layout1999) {
    ASSERT_EQ(Open(k1999), 0);
    EXPECT_EQ(Dump(parser_.Config()),
              "[Sub 1][Relay 7][1999]\n"
              "[VA][A][Line 1][kV]0.01,0.5,0,-32767,32767,110,0.1,P\n"
              "[IA][A][Line 1][A]0.002,0,1.5,-32767,32767,600,1,S\n"
              "[Trip][][Line 1]1\n"
              "50|1000/100|4000/500|[01/02/2020,10:00:00.000000][01/02/2020,10:00:00.100000]11|0.5");
}

// CR-LF line ends, blanks around every field and UTF-16 text read alike.
TEST_F(ComtradeCfg, TwinsReadAlike) {
    ASSERT_EQ(Open(k1999), 0);
    std::string plain = Dump(parser_.Config());
    for (const std::string& twin : {WithCrLf(k1999), WithBlanks(k1999), WithCrLf(WithBlanks(k1999)),
                                    Utf16(k1999), Utf16(WithCrLf(k1999)), "\xEF\xBB\xBF" + k1999}) {
        SCOPED_TRACE(twin.substr(0, 12));
        ASSERT_EQ(Open(twin), 0);
        EXPECT_EQ(Dump(parser_.Config()), plain);
    }
}

// 1991: no revision year, ten analog fields (primary, secondary 1, S), no timemult line.
TEST_F(ComtradeCfg, Layout1991) {
    ASSERT_EQ(Open("Old station,Old relay\n1,1A,0D\n1,IA,A,,A,0.1,0,0,-2047,2047\n60\n1\n2000,10\n"
                   "01/01/91,00:00:00.000\n01/01/91,00:00:00.000\nASCII\n"),
              0);
    EXPECT_EQ(Dump(parser_.Config()),
              "[Old station][Old relay][]\n[IA][A][][A]0.1,0,0,-2047,2047,1,1,S\n"
              "60|2000/10|[01/01/91,00:00:00.000][01/01/91,00:00:00.000]00|1");
}

// 2013: the time code and time quality lines after timemult are ignored.
TEST_F(ComtradeCfg, Layout2013) {
    ASSERT_EQ(Open(OneChannelCfg("1\n4000,10\n", "FLOAT32", "1.5\n-5h30,-5h30\nB,3\n")), 0);
    EXPECT_EQ(parser_.Config().format, ComtradeDataFormat::kFloat32);
    EXPECT_FLOAT_EQ(parser_.Config().timemult, 1.5f);
}

TEST_F(ComtradeCfg, FileTypes) {
    struct Case {
        const char* type;
        int binary;
        ComtradeDataFormat format;
    } cases[] = {
        {"ASCII", 0, ComtradeDataFormat::kAscii},       {"ascii", 0, ComtradeDataFormat::kAscii},
        {" Ascii \r", 0, ComtradeDataFormat::kAscii},   {"ASCII7", 0, ComtradeDataFormat::kAscii},
        {"binary", 1, ComtradeDataFormat::kBinary16},   {"BINARY32", 1, ComtradeDataFormat::kBinary32},
        {"binary32", 1, ComtradeDataFormat::kBinary32}, {"FLOAT32", 1, ComtradeDataFormat::kFloat32},
        {"ASC", 1, ComtradeDataFormat::kBinary16},      {"", 1, ComtradeDataFormat::kBinary16},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.type);
        ASSERT_EQ(Open(OneChannelCfg("1\n1000,10\n", k.type)), 0);
        EXPECT_EQ(parser_.Config().binary, k.binary);
        EXPECT_EQ(parser_.Config().format, k.format);
    }
}

// nrates 0 skips the line after it. Playback runs at the requested rate, else at the fastest
// segment's, else at lf * 100.
TEST_F(ComtradeCfg, PlaybackRate) {
    ASSERT_EQ(Open(OneChannelCfg("0\n0,3\n")), 0);
    EXPECT_TRUE(parser_.Config().rates.empty());
    EXPECT_EQ(Utf16ToUtf8(parser_.Config().firstTime), "01/01/2020,00:00:00.000000");
    EXPECT_FLOAT_EQ(parser_.ChoosePlaybackRate(0.0f), 5000.0f);
    EXPECT_FLOAT_EQ(parser_.ChoosePlaybackRate(1234.0f), 1234.0f);
    ASSERT_EQ(Open(OneChannelCfg("3\n1000,10\n8000,20\n2000,30\n")), 0);
    EXPECT_FLOAT_EQ(parser_.ChoosePlaybackRate(0.0f), 8000.0f);
    EXPECT_FLOAT_EQ(parser_.ChoosePlaybackRate(0.001f), 8000.0f);
    EXPECT_FLOAT_EQ(parser_.ChoosePlaybackRate(500.0f), 500.0f);
    ASSERT_EQ(Open(OneChannelCfg("1\n0,10\n")), 0);
    EXPECT_FLOAT_EQ(parser_.ChoosePlaybackRate(0.0f), 5000.0f);
}

// Fields without "," or line feed after them are absent; empty number fields
// leave the default, empty text fields give empty text; texts are cut to width.
TEST_F(ComtradeCfg, FieldRules) {
    std::string longId(100, 'x');
    ASSERT_EQ(Open("S,D,1999\n2,2A,0D\n1," + longId +
                   ",ABC,,ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789V,,,,,,,,\n"
                   "2,I,,,A,2,1,0,0,0,,,\n50\n1\n1000,5\n\n\nASCII\n0"),
              0);
    // The last piece has no line feed: it is no line, timemult stays 1.
    EXPECT_EQ(Dump(parser_.Config()), "[S][D][1999]\n[" + std::string(63, 'x') +
                                          "][AB][][ABCDEFGHIJKLMNOPQRSTUVWXYZ01234]0,0,0,0,0,1,1,S\n"
                                          "[I][][][A]2,1,0,0,0,1,1,S\n50|1000/5|[][]00|1");
}

// The text ends early: the channels it has are there, the rest are not made.
TEST_F(ComtradeCfg, TruncatedText) {
    ASSERT_EQ(Open("S,D,1999\n3,2A,1D\n1,IA,,,A,1,0,0,0,0,1,1,S\n2,IB,,"), 0);
    EXPECT_EQ(parser_.Config().analog.size(), 1u);
    EXPECT_TRUE(parser_.Config().digital.empty());
    EXPECT_FLOAT_EQ(parser_.Config().lf, 50.0f);
}

TEST_F(ComtradeCfg, EightBitTextIsUtf8OrLatin1) {
    ASSERT_EQ(Open("Esta\xE7\xE3o,Gr\xC3\xA4"
                   "t,2013\n1,0A,1D\n1,K,,,0\n50\n"),
              0);
    EXPECT_EQ(parser_.Config().station_name, Utf8ToUtf16("Esta\xC3\xA7\xC3\xA3o"));
    EXPECT_EQ(parser_.Config().rec_dev_id, Utf8ToUtf16("Gr\xC3\xA4t"));
}

TEST_F(ComtradeCfg, ChannelScale) {
    struct Case {
        const char* uu;
        char ps;
        float primary, secondary, gain;
    } cases[] = {
        {"V", 'S', 1, 1, 2.0f},         {"kV", 'S', 1, 1, 2000.0f}, {"KV", 's', 1, 1, 2000.0f},
        {"MV", 'S', 1, 1, 2e6f},        {"mA", 'S', 1, 1, 0.002f},  {"uA", 'S', 1, 1, 2.0f},
        {"Hz", 'S', 1, 1, 2.0f},        {"", 'S', 1, 1, 2.0f},      {"kV", 'P', 120, 1, 2000.0f / 120},
        {"A", 'p', 600, 5, 2.0f / 120}, {"A", 'S', 600, 5, 2.0f},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.uu);
        ComtradeAnalogChannel ch;
        ch.uu = Utf8ToUtf16(k.uu);
        ch.ps = static_cast<WCHAR>(k.ps);
        ch.primary = k.primary;
        ch.secondary = k.secondary;
        ch.a = 2.0f;
        ch.b = 1.0f;
        float gain, offset;
        CComtradeParser::ChannelScale(ch, &gain, &offset);
        EXPECT_FLOAT_EQ(gain, k.gain);
        EXPECT_FLOAT_EQ(offset, k.gain / 2);
    }
}

// Bad configurations: the result, the log line, and no crash.
TEST_F(ComtradeCfg, BadInput) {
    std::string noise;
    std::mt19937 random(7);
    for (int i = 0; i < 65536; ++i) noise.push_back(static_cast<char>(random()));
    struct Case {
        const char* what;
        std::string text;
        HRESULT result;
        const char* log;
    } cases[] = {
        {"empty", "", 2, nullptr},
        {"one byte", "S", 2, nullptr},
        {"counts do not add up", "S,D,1999\n6,3A,2D\n", 2,
         "CFG 错误: 通道数设置不正确 (总通道数=6, 模拟量=3, 开关量=2) "},
        {"no channels", "S,D,1999\n0,0A,0D\n", 2, "总通道数=0"},
        {"negative total", "S,D,1999\n-1,-1A,0D\n", 2, "总通道数=-1"},
        {"non-numeric counts", "S,D,1999\nx,yA,zD\n", 2, "总通道数=0"},
        {"timemult 0", OneChannelCfg("1\n1000,5\n", "ASCII", "0\n"), 2, "CFG 错误: TimeMult 不能 = 0 ! "},
        {"timemult negative", OneChannelCfg("1\n1000,5\n", "ASCII", "-1\n"), 2, "TimeMult"},
        {"timemult tiny", OneChannelCfg("1\n1000,5\n", "ASCII", "1e-7\n"), 2, "TimeMult"},
        {"timemult empty", OneChannelCfg("1\n1000,5\n", "ASCII", "\r\n"), 0, nullptr},
        {"absurd counts", "S,D,1999\n2000000000,1000000000A,1000000000D\n1,IA,,,A,1,0,0,0,0\n", 0, nullptr},
        {"counts that overflow", "S,D,1999\n-2,2147483647A,2147483647D\n", 2, "总通道数=-2"},
        {"absurd nrates", OneChannelCfg("2000000000\n1000,5\n"), 0, nullptr},
        {"a line of millions of characters",
         std::string(3000000, 'a') + "\n1,1A,0D\n" + std::string(2000000, ',') + "\n", 0, nullptr},
        {"binary noise", noise, -1, nullptr},
        {"UTF-16 noise", "\xFF\xFE" + noise, -1, nullptr},
        {"odd UTF-16",
         "\xFF\xFE"
         "S\0,\0D\0\n\0"
         "1",
         0, nullptr},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        DebugLogCapture log;
        HRESULT result = Open(k.text);
        if (k.result >= 0)
            EXPECT_EQ(result, k.result);
        else
            EXPECT_TRUE(result == 0 || result == 2) << result;
        if (k.log) {
            EXPECT_TRUE(log.Contains(k.log));
            EXPECT_TRUE(log.Contains("OpenCfgFile error "));
        }
    }
    EXPECT_LE(parser_.Config().analog.size(), 1u);
}

TEST_F(ComtradeCfg, FileNotOpened) {
    DebugLogCapture log;
    EXPECT_EQ(parser_.OpenCfgFile(Path("missing.cfg")), 1);
    EXPECT_EQ(parser_.OpenCfgFile(Utf8ToUtf16(dir_.string())), 1);
    EXPECT_EQ(log.Count("File could not be opened."), 2);
    ASSERT_EQ(Open(k1999), 0);
    EXPECT_TRUE(log.Contains("Open Cfg File: "));
    EXPECT_TRUE(log.Contains("OpenCfgFile Time:"));
}

// Reading again starts from nothing.
TEST_F(ComtradeCfg, ReadingAgainResets) {
    ASSERT_EQ(Open(k1999), 0);
    ASSERT_EQ(Open("S,D\n1,0A,1D\n1,K,,,0\n"), 0);
    EXPECT_EQ(Dump(parser_.Config()), "[S][D][]\n[K][][]0\n50|[][]00|1");
}

} // namespace

namespace {

// The single-file form: the configuration section, then the data section,
// a binary one as long as its head says.
TEST_F(ComtradeCfg, SingleFileRecording) {
    std::string binary;
    for (uint32_t n = 1; n <= 3; ++n) {
        PutLe32(&binary, n);
        PutLe32(&binary, 0);
        PutLe16(&binary, static_cast<uint16_t>(10 * n));
        PutLe16(&binary, 1);
    }
    std::string cff = "--- file type: CFG ---\r\n" + WithCrLf(OneChannelCfg("1\n1000,3\n", "BINARY")) +
                      "--- file type: INF ---\r\n\r\n--- file type: HDR ---\r\nnotes\r\n"
                      "--- file type: DAT BINARY: " +
                      std::to_string(binary.size()) + " ---\r\n" + binary + "junk after";
    WideString path = Write("one.cff", cff);
    ASSERT_EQ(parser_.OpenCfgFile(path), 0);
    EXPECT_EQ(parser_.Config().analog.size(), 1u);
    EXPECT_EQ(parser_.Config().binary, 1);
    ASSERT_EQ(parser_.ParseDatFile(path, 0.0f), 0);
    EXPECT_EQ(parser_.SamplesRead(), 3u);
    EXPECT_EQ(parser_.DataLength(), binary.size());
    // Without a data section there is no data.
    path = Write("cut.cff", cff.substr(0, cff.find("--- file type: DAT")));
    ASSERT_EQ(parser_.OpenCfgFile(path), 0);
    EXPECT_EQ(parser_.ParseDatFile(path, 0.0f), DISP_E_EXCEPTION);
}

} // namespace
