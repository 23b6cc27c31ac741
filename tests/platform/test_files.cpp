#include "file_mapping.h"
#include "module_path.h"
#include "text.h"
#include "thread.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {
std::string TempPath(const char* name) {
    return std::string(testing::TempDir()) + name + std::to_string(GetCurrentProcessId());
}
} // namespace

TEST(ProfileInt, ReadsKeysOfASection) {
    std::string path = TempPath("VarelTss.ini");
    std::ofstream(path) << "; comment\n[Other]\nSwitch=7\n[ dsp ]\r\n switch = 12abc \r\nNeg=-3\n";
    WideString file = Utf8ToUtf16(path);
    EXPECT_EQ(GetPrivateProfileIntW(OLESTR("DSP"), OLESTR("Switch"), 0, file.c_str()), 12u);
    EXPECT_EQ(static_cast<INT>(GetPrivateProfileIntW(OLESTR("DSP"), OLESTR("Neg"), 0, file.c_str())), -3);
    EXPECT_EQ(GetPrivateProfileIntW(OLESTR("DSP"), OLESTR("Missing"), 5, file.c_str()), 5u);
    EXPECT_EQ(GetPrivateProfileIntW(OLESTR("DSP"), OLESTR("Switch"), 9, OLESTR("/nonexistent/VarelTss.ini")), 9u);
    std::remove(path.c_str());
}

TEST(FileMapping, MapsAWholeFileReadOnly) {
    std::string path = TempPath("mapped.dat");
    std::ofstream(path, std::ios::binary) << "COMTRADE";
    ReadOnlyFileMapping file;
    ASSERT_TRUE(file.Open(Utf8ToUtf16(path)));
    ASSERT_EQ(file.size(), 8u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data()), 8), "COMTRADE");
    EXPECT_FALSE(file.Open(OLESTR("/nonexistent/file")));
    EXPECT_EQ(file.size(), 0u);
    std::remove(path.c_str());
}

TEST(SharedMemory, NamedBlocksAreSharedAndLiveWhileOpen) {
    WideString name = OLESTR("VAREL_TEST_MAPPING_") + Utf8ToUtf16(std::to_string(GetCurrentProcessId()));
    SharedMemory writer, reader;
    bool existed = true;
    ASSERT_TRUE(writer.Create(name, 1 << 20, &existed));
    EXPECT_FALSE(existed);
    EXPECT_EQ(writer.data()[12345], 0) << "a new block is zero-filled";
    writer.data()[12345] = 0x5A;
    ASSERT_TRUE(reader.Open(name));
    EXPECT_EQ(reader.data()[12345], 0x5A);
    SharedMemory again;
    ASSERT_TRUE(again.Create(name, 1 << 20, &existed));
    EXPECT_TRUE(existed);
    writer.Close();
    again.Close();
    EXPECT_EQ(reader.data()[12345], 0x5A);
    reader.Close();
    EXPECT_FALSE(reader.Open(name)) << "the name goes with the last handle";
}

TEST(ModulePath, TheLibraryKnowsWhereItLives) {
    WideString path = LibraryFilePath();
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(std::filesystem::path(path).is_absolute());
}
