// Helpers for the COMTRADE tests: recordings written into a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "playback/comtrade_parser.h"
#include "text.h"

class ComtradeFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device entropy;
        dir_ = std::filesystem::temp_directory_path() / ("vts_comtrade_" + std::to_string(entropy()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    WideString Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return Path(name);
    }
    WideString Path(const std::string& name) const { return Utf8ToUtf16((dir_ / name).string()); }

    // Reads cfg then dat at rate; both results must be as expected.
    void Load(CComtradeParser* parser, const std::string& cfg, const std::string& dat, float rate = 0.0f,
              HRESULT datResult = 0) const {
        ASSERT_EQ(parser->OpenCfgFile(Write("r.cfg", cfg)), 0);
        ASSERT_EQ(parser->ParseDatFile(Write("r.dat", dat), rate), datResult);
    }

    // The frames written, each analog then digital values.
    static std::vector<std::vector<float>> Frames(const CComtradeParser& parser) {
        size_t width = parser.Config().analog.size() + parser.Config().digital.size();
        std::vector<std::vector<float>> frames;
        const float* f = parser.Mapping().Floats();
        for (size_t i = 0; width && i + width <= parser.Mapping().FloatCount(); i += width)
            frames.emplace_back(f + i, f + i + width);
        return frames;
    }

    std::filesystem::path dir_;
};

// Little-endian record pieces for binary data files.
inline void PutLe16(std::string* out, uint16_t v) {
    out->push_back(static_cast<char>(v & 0xFF));
    out->push_back(static_cast<char>(v >> 8));
}
inline void PutLe32(std::string* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline void PutFloat(std::string* out, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    PutLe32(out, bits);
}

// A configuration of one analog channel (a = 1, b = 0, "V") and one digital
// channel at the given rate lines, file type and optional timemult line.
inline std::string OneChannelCfg(const std::string& rates, const std::string& type = "ASCII",
                                 const std::string& tail = "1\n") {
    return "S,D,1999\n2,1A,1D\n1,U,,,V,1,0,0,-32768,32767,1,1,S\n1,K,,,0\n50\n" + rates +
           "01/01/2020,00:00:00.000000\n01/01/2020,00:00:00.000000\n" + type + "\n" + tail;
}
