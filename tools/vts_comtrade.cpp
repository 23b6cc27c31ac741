// vts comtrade: the description document of a COMTRADE recording, or its
// resampled frames as CSV.
#include <varel/vts.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "playback/comtrade_description.h"
#include "playback/comtrade_parser.h"
#include "subcommand.h"
#include "text.h"

namespace {

int Failed(const char* what, HRESULT code) {
    std::fprintf(stderr, "vts comtrade: %s (%d, 0x%08X)\n", what, static_cast<int>(code),
                 static_cast<unsigned>(code));
    return 1;
}

int Describe(const std::string& cfg, float rate) {
    CComtradeParser parser;
    ComPtr<IGenericData> document;
    HRESULT result = DescribeComtradeRecording(&parser, Utf8ToUtf16(cfg), rate, document.Put());
    if (document) {
        BStr text;
        HRESULT hr = document->ToXMLString(text.Put());
        if (FAILED(hr)) return Failed("cannot write the document", hr);
        std::printf("%s\n", Utf16ToUtf8(text.View()).c_str());
    }
    if (result != 0)
        return Failed(document ? "the data file could not be read" : "the configuration could not be read",
                      result);
    return 0;
}

void PrintCsvText(const WideString& text) {
    std::string utf8 = Utf16ToUtf8(text);
    bool quote = utf8.find_first_of(",\"\n") != std::string::npos;
    if (!quote) {
        std::fputs(utf8.c_str(), stdout);
        return;
    }
    std::putchar('"');
    for (char c : utf8) {
        if (c == '"') std::putchar('"');
        std::putchar(c);
    }
    std::putchar('"');
}

// One row per frame: the output instant in microseconds, then every channel.
int WriteCsv(const std::string& cfg, float rate) {
    CComtradeParser parser;
    WideString path = Utf8ToUtf16(cfg);
    HRESULT result = parser.OpenCfgFile(path);
    if (result != 0) return Failed("the configuration could not be read", result);
    result = parser.ParseDatFile(ComtradeDataPath(path), rate);
    const ComtradeConfig& c = parser.Config();
    std::fputs("time_us", stdout);
    for (const ComtradeAnalogChannel& ch : c.analog) std::putchar(','), PrintCsvText(ch.ch_id);
    for (const ComtradeDigitalChannel& ch : c.digital) std::putchar(','), PrintCsvText(ch.ch_id);
    std::putchar('\n');
    const CSampMappingFile& mapping = parser.Mapping();
    size_t width = c.analog.size() + c.digital.size();
    if (width > 0) {
        const float* values = mapping.Floats();
        double stepUs = 1000000.0 / mapping.SampleRate();
        for (size_t frame = 0; frame < mapping.FloatCount() / width; ++frame) {
            std::printf("%.3f", mapping.StartTimeUs() + static_cast<double>(frame) * stepUs);
            for (size_t i = 0; i < width; ++i)
                std::printf(",%.9g", static_cast<double>(values[frame * width + i]));
            std::putchar('\n');
        }
    }
    if (result != 0) return Failed("the data file could not be read whole", result);
    return 0;
}

int ComtradeCommand(const std::vector<std::string>& args) {
    bool csv = false;
    const std::string* file = nullptr;
    float rate = 0.0f;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--csv") {
            csv = true;
        } else if (args[i] == "--rate" && i + 1 < args.size()) {
            errno = 0;
            char* end = nullptr;
            double value = std::strtod(args[++i].c_str(), &end);
            if (errno || *end || args[i].empty() || !(value >= 0.0) || value > 1e9)
                return UsageError("comtrade --rate takes a sample rate in samples per second");
            rate = static_cast<float>(value);
        } else if (!file && args[i].rfind("--", 0) != 0) {
            file = &args[i];
        } else {
            return UsageError("comtrade takes [--csv] FILE.cfg [--rate R]");
        }
    }
    if (!file) return UsageError("comtrade takes [--csv] FILE.cfg [--rate R]");
    CoInitialize(nullptr);
    int code = csv ? WriteCsv(*file, rate) : Describe(*file, rate);
    CoUninitialize();
    return code;
}

}  // namespace

VTS_SUBCOMMAND(comtrade, "comtrade", "[--csv] FILE.cfg [--rate R]",
               "describe a COMTRADE recording, or write its frames resampled at R samples/s as CSV",
               ComtradeCommand);
