// The calibration file: its pages, the image it writes and the three
// layouts it reads, and what it does with images that are not right.
#include "adj_images.h"
#include "calib/memory_stream.h"
#include "calib/varel_adj_file.h"
#include "thread.h"
#include "tick.h"

#include <varel/vts_errors.h>

#include <debug_log.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

// The pages of a file, in order: (type, first 9728 bytes).
std::vector<std::pair<uint32_t, ImageBytes>> Pages(CVarelADJFile& file) {
    std::vector<std::pair<uint32_t, ImageBytes>> pages;
    uint32_t count = 0, type = 0, size = 0;
    EXPECT_EQ(file.PageCount(&count), S_OK);
    for (uint32_t i = 0; i < count; ++i) {
        EXPECT_EQ(file.PageInfo(i, &type, &size), S_OK);
        EXPECT_EQ(size, 10240u);
        ImageBytes page(kAdjPageBytes);
        EXPECT_EQ(file.ReadPage(type, page.data(), kAdjPageBytes), S_OK);
        pages.emplace_back(type, page);
    }
    return pages;
}

// The words of a file's one page: (word, value) pairs.
void ExpectWords(CVarelADJFile& file, std::initializer_list<std::pair<uint32_t, uint32_t>> words) {
    auto pages = Pages(file);
    ASSERT_EQ(pages.size(), 1u);
    for (auto [w, value] : words) EXPECT_EQ(Get32(pages[0].second, 4 * w), value) << "word " << w;
}

// A stream whose size cannot be told.
struct BrokenStream : CMemoryStream {
    HRESULT Size(uint64_t*) override { return E_ACCESSDENIED; }
};

} // namespace

TEST(AdjFile, PagesAreAddedReadWrittenAndCounted) {
    CVarelADJFile file;
    const ImageBytes a = NumberedPage(1), b = NumberedPage(2);
    ASSERT_EQ(file.AddPage(kSignalAmplifier, a.data(), kAdjPageBytes), S_OK);
    ASSERT_EQ(file.AddPage(kSignalSmall, b.data(), 100), S_OK);
    EXPECT_EQ(file.HasPage(kSignalSmall), S_OK);
    EXPECT_EQ(file.HasPage(kSignal92), DISP_E_UNKNOWNNAME);
    ImageBytes read(10240, 0xEE);
    ASSERT_EQ(file.ReadPage(kSignalSmall, read.data(), 10240), S_OK);
    EXPECT_TRUE(std::equal(b.begin(), b.begin() + 100, read.begin()));
    EXPECT_EQ(read[100], 0) << "the rest of an added page is zero";
    EXPECT_EQ(read[10239], 0);
    ASSERT_EQ(file.WritePage(kSignalSmall, a.data(), 8), S_OK);
    ASSERT_EQ(file.ReadPage(kSignalSmall, read.data(), 8), S_OK);
    EXPECT_EQ(Get32(read, 4), 100001u);
    uint32_t type = 0, count = 0, version = 0;
    EXPECT_EQ(file.PageInfo(0, &type, nullptr), S_OK);
    EXPECT_EQ(type, kSignalAmplifier) << "pages keep the order they came in";
    EXPECT_EQ(file.FileVersion(&version), S_OK);
    EXPECT_EQ(version, kAdjVersionCurrent);
    EXPECT_EQ(file.Clear(), S_OK);
    EXPECT_EQ(file.PageCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
}

TEST(AdjFile, PageOperationsRefuseBadArguments) {
    CVarelADJFile file;
    ImageBytes buffer(10241);
    ASSERT_EQ(file.AddPage(kSignalFt3, buffer.data(), 10240), S_OK);
    const struct {
        const char* what;
        HRESULT got, expected;
    } cases[] = {
        {"read, no buffer", file.ReadPage(kSignalFt3, nullptr, 4), E_INVALIDARG},
        {"read, too long", file.ReadPage(kSignalFt3, buffer.data(), 10241), E_INVALIDARG},
        {"read, no such page", file.ReadPage(kSignal92, buffer.data(), 4), E_OUTOFMEMORY},
        {"write, no buffer", file.WritePage(kSignalFt3, nullptr, 4), E_INVALIDARG},
        {"write, too long", file.WritePage(kSignalFt3, buffer.data(), 10241), E_INVALIDARG},
        {"write, no such page", file.WritePage(kSignal92, buffer.data(), 4), VTS_E_DEVICE_FAILED},
        {"info past the pages", file.PageInfo(1, nullptr, nullptr), VTS_E_READ_DATA},
        {"add, no buffer", file.AddPage(kSignal92, nullptr, 4), E_INVALIDARG},
        {"add, too long", file.AddPage(kSignal92, buffer.data(), 10241), E_INVALIDARG},
        {"add, type present", file.AddPage(kSignalFt3, buffer.data(), 4), VTS_E_ADJ_CALIB},
        {"add, unknown type", file.AddPage(0x00030002, buffer.data(), 4), E_INVALIDARG},
        {"add, type 0", file.AddPage(0, buffer.data(), 4), E_INVALIDARG},
        {"has, absent", file.HasPage(0x00030002), DISP_E_UNKNOWNNAME},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
    uint32_t count = 0;
    EXPECT_EQ(file.PageCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
}

TEST(AdjFile, SaveWritesTheCurrentLayout) {
    CVarelADJFile file;
    const ImageBytes small = NumberedPage(1), amplifier = NumberedPage(2);
    ASSERT_EQ(file.AddPage(kSignalSmall, small.data(), kAdjPageBytes), S_OK);
    ASSERT_EQ(file.AddPage(kSignalAmplifier, amplifier.data(), kAdjPageBytes), S_OK);
    CMemoryStream stream;
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    ASSERT_EQ(file.Save(&stream), S_OK);
    GetLocalTime(&after);
    const ImageBytes& image = stream.Bytes();
    ASSERT_EQ(image.size(), 2048u + 2 * 10240);
    auto stamp = [](const SYSTEMTIME& t) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%04u%02u%02u", t.wYear, t.wMonth, t.wDay);
        return static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
    };
    const uint32_t date = Get32(image, 4);
    EXPECT_TRUE(date == stamp(before) || date == stamp(after)) << std::hex << date;
    // Magic, (date), length, 0, 16|16, 19 then the page count, the table at 36, the summary
    // block at 52 and its length, then each page's type and address.
    const uint32_t header[] = {0x20120702u, date, 2048u + 2 * 10240, 0, 0x00100010u, 19u | 2u << 16, 36,
                               52, 128, kSignalSmall, 2048, kSignalAmplifier, 12288};
    for (uint32_t i = 0; i < std::size(header); ++i)
        EXPECT_EQ(Get32(image, 4 * i), header[i]) << "at " << 4 * i;
    EXPECT_TRUE(std::equal(amplifier.begin(), amplifier.begin() + 128, image.begin() + 52))
        << "summary block";
    EXPECT_TRUE(std::all_of(image.begin() + 180, image.begin() + 2048, [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(small.begin(), small.end(), image.begin() + 2048));
    EXPECT_TRUE(
        std::all_of(image.begin() + 2048 + 9728, image.begin() + 12288, [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(amplifier.begin(), amplifier.end(), image.begin() + 12288));

    // Without an amplifier page the summary block stays zero.
    CVarelADJFile plain;
    ASSERT_EQ(plain.AddPage(kSignal92, small.data(), kAdjPageBytes), S_OK);
    CMemoryStream second;
    ASSERT_EQ(plain.Save(&second), S_OK);
    EXPECT_EQ(Get32(second.Bytes(), 44), 0u);
    EXPECT_EQ(plain.Save(nullptr), E_INVALIDARG);
}

TEST(AdjFile, SaveThenLoadGivesTheSamePagesThroughAFile) {
    CVarelADJFile file;
    ASSERT_EQ(file.PraseADJSetData(
                  ImageOf(kAdjVersion2010b, 5888, {{kSignalFt3, NumberedPage(3, 1472)}}).data(), 2048 + 5888),
              S_OK);
    for (uint32_t type : {kSignalAmplifier, kSignal92, kSignalSmall}) {
        const ImageBytes page = NumberedPage(type >> 16 | (type & 1) << 4);
        ASSERT_EQ(file.AddPage(type, page.data(), kAdjPageBytes), S_OK);
    }
    uint32_t version = 0;
    EXPECT_EQ(file.FileVersion(&version), S_OK);
    EXPECT_EQ(version, kAdjVersion2010b) << "as read";
    CMemoryStream saved;
    ASSERT_EQ(file.Save(&saved), S_OK);

    const auto path =
        std::filesystem::temp_directory_path() / ("adj" + std::to_string(GetCurrentProcessId()) + ".bin");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(saved.Bytes().data()),
               static_cast<std::streamsize>(saved.Bytes().size()));
    ImageBytes bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    } // closed before the removal, which an open file prevents on Windows
    CMemoryStream reread(bytes);
    std::filesystem::remove(path);

    CVarelADJFile loaded;
    ImageBytes junk(9728, 1);
    ASSERT_EQ(loaded.AddPage(kSignal92, junk.data(), 9728), S_OK);
    ASSERT_EQ(loaded.Load(&reread), S_OK);
    EXPECT_EQ(Pages(loaded), Pages(file)) << "the same pages in the same order, nothing else";
    EXPECT_EQ(loaded.FileVersion(&version), S_OK);
    EXPECT_EQ(version, kAdjVersionCurrent);
}

TEST(AdjFile, OlderLayoutsAreReadWithTheirScaling) {
    // Layout 1: values as stored, table T3 cut to 22 words a channel.
    ImageBytes old = NumberedPage(0, 1472);
    CVarelADJFile file;
    ASSERT_EQ(
        file.PraseADJSetData(ImageOf(kAdjVersion2010b, 5888, {{kSignalSmall, old}}).data(), 2048 + 5888),
        S_OK);
    // Zero drift and gain as stored, word sets 1 and 2 not read, tables T1 and T2 as stored, T3
    // word 21 of channel 2 and then the neutral rest of T3.
    ExpectWords(file, {{5, 5}, {32 + 31, 63}, {64, 0}, {127, 0}, {128 + 10 * 7 + 3, 128 + 73},
                       {448 + 10 * 31 + 9, 448 + 319}, {768 + 52 * 2 + 21, 768 + 22 * 2 + 21},
                       {768 + 52 * 2 + 22, 10000}, {2431, 10000}});
    uint32_t version = 0;
    EXPECT_EQ(file.FileVersion(&version), S_OK);
    EXPECT_EQ(version, kAdjVersion2010b);

    // Layout 0: offsets from 32767, gains in 1/131.07 of today's unit, tables in hundredths.
    ImageBytes scaled(5888);
    Put32(scaled, 4 * 0, static_cast<uint32_t>(-5));
    Put32(scaled, 4 * 32, 100);
    Put32(scaled, 4 * 33, 300);
    Put32(scaled, 4 * (128 + 10), 1000099);
    Put32(scaled, 4 * (448 + 10 * 31 + 9), 199);
    Put32(scaled, 4 * (768 + 22 * 31 + 21), 12345);
    CVarelADJFile zero;
    ASSERT_EQ(zero.PraseADJSetData(ImageOf(kAdjVersion2010, 5888, {{kSignalAmplifier, scaled}}).data(),
                                   2048 + 5888),
              S_OK);
    // 300 x 131.07000732 = 39321.002
    ExpectWords(zero, {{0, 32762}, {1, 32767}, {32, 13107}, {33, 39321}, {128 + 10, 10000},
                       {448 + 10 * 31 + 9, 1}, {768 + 52 * 31 + 21, 123}, {768 + 52 * 31 + 22, 10000}, {64, 0}});
    EXPECT_EQ(zero.FileVersion(&version), S_OK);
    EXPECT_EQ(version, kAdjVersion2010b) << "layout 0 is kept as the version after it";
}

TEST(AdjFile, ACurrentPageMayEndExactlyAtTheFileEnd) {
    const ImageBytes image =
        ImageOf(kAdjVersionCurrent, 10240, {{kSignalSmall, NumberedPage(1)}, {kSignal92, NumberedPage(2)}});
    ASSERT_EQ(image.size(), 2048u + 10240 + 9728);
    CVarelADJFile file;
    EXPECT_EQ(file.PraseADJSetData(image.data(), static_cast<uint32_t>(image.size())), S_OK);
    EXPECT_EQ(Pages(file).size(), 2u);

    DebugLogCapture log;
    CVarelADJFile shorter;
    EXPECT_EQ(shorter.PraseADJSetData(image.data(), static_cast<uint32_t>(image.size() - 1)),
              VTS_E_READ_DATA);
    EXPECT_TRUE(log.Contains("VARELDS: PraseADJSetData_1: page address invalid or page type==0 ???\n"));
    EXPECT_EQ(Pages(shorter).size(), 1u) << "the page before the bad entry stays";
    CMemoryStream stream(ImageBytes(image.begin(), image.end() - 1));
    EXPECT_EQ(shorter.Load(&stream), VTS_E_READ_DATA);
    EXPECT_EQ(Pages(shorter).size(), 0u) << "a failed load leaves no pages";
}

TEST(AdjFile, BadImagesAreRefusedWithTheirLogLines) {
    const ImageBytes good = NumberedPage(1);
    ImageBytes typeZero = ImageOf(kAdjVersionCurrent, 10240, {{0, good}});
    ImageBytes farTable = ImageOf(kAdjVersionCurrent, 10240, {{kSignalSmall, good}});
    Put32(farTable, 24, static_cast<uint32_t>(farTable.size() - 8));
    ImageBytes farTable0 = ImageOf(kAdjVersion2010, 5888, {{kSignalSmall, ImageBytes(5888)}});
    Put32(farTable0, 24, 0xFFFFFFF0u);
    const struct {
        const char* what;
        ImageBytes image;
        HRESULT expected;
        const char* line;
    } cases[] = {
        {"2047 bytes", ImageBytes(2047), VTS_E_READ_DATA,
         "VARELDS: PraseADJSetData: 2047<sizeof(VarelDevAdjFlashFileHdrMax)\n"},
        {"no pages", ImageOf(kAdjVersionCurrent, 10240, {}), VTS_E_READ_DATA,
         "VARELDS: PraseADJSetData_1: nPages<=0 ???\n"},
        {"no pages, layout 0", ImageOf(kAdjVersion2010, 5888, {}), VTS_E_READ_DATA,
         "VARELDS: PraseADJSetData_0: nPages<=0 ???\n"},
        {"no pages, layout 1", ImageOf(kAdjVersion2010b, 5888, {}), VTS_E_READ_DATA,
         "VARELDS: PraseADJSetData_1: nPages<=0 ???\n"},
        {"unknown version", ImageOf(0x12345678, 10240, {{kSignalSmall, good}}), VTS_E_READ_DATA,
         "VARELDS: PraseADJSetData: unknown ADJ version: 0x12345678\n"},
        {"table past the end", farTable, E_INVALIDARG,
         "VARELDS: PraseADJSetData_1: uPageInfoTableOffset ???\n"},
        {"table far past the end, layout 0", farTable0, E_INVALIDARG,
         "VARELDS: PraseADJSetData_0: uPageInfoTableOffset ???\n"},
        {"page type 0", typeZero, VTS_E_READ_DATA,
         "VARELDS: PraseADJSetData_1: page address invalid or page type==0 ???\n"},
        {"old page cut short", ImageOf(kAdjVersion2010, 5888, {{kSignalSmall, ImageBytes(5887)}}),
         VTS_E_READ_DATA, "VARELDS: PraseADJSetData_0: page address invalid or page type==0 ???\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DebugLogCapture log;
        CVarelADJFile file;
        ImageBytes page(9728);
        ASSERT_EQ(file.AddPage(kSignalAmplifier, page.data(), 9728), S_OK);
        CMemoryStream stream(c.image);
        EXPECT_EQ(file.Load(&stream), c.expected);
        EXPECT_EQ(log.Lines(), std::vector<std::string>{c.line});
        EXPECT_EQ(Pages(file).size(), 0u);
    }
    CVarelADJFile file;
    uint32_t version = 0;
    EXPECT_EQ(file.PraseADJSetData(ImageOf(kAdjVersion2010b, 5888, {}).data(), 2048), VTS_E_READ_DATA);
    EXPECT_EQ(file.FileVersion(&version), S_OK);
    EXPECT_EQ(version, kAdjVersion2010b);
    EXPECT_EQ(file.PraseADJSetData(ImageOf(0x1, 5888, {}).data(), 2048), VTS_E_READ_DATA);
    EXPECT_EQ(file.FileVersion(&version), S_OK);
    EXPECT_EQ(version, kAdjVersionCurrent) << "an unknown version is taken as the current one";
}

TEST(AdjFile, LoadAndSaveFailuresAreLogged) {
    DebugLogCapture log;
    CVarelADJFile file;
    EXPECT_EQ(file.Load(nullptr), E_INVALIDARG);
    EXPECT_TRUE(log.Contains("VARELDS: CVarelADJFile::Load !spStream ???\n"));
    BrokenStream broken;
    EXPECT_EQ(file.Load(&broken), E_ACCESSDENIED);
    EXPECT_TRUE(log.Contains("VARELDS: CVarelADJFile::Load spStream->Stat ???\n"));
    CMemoryStream huge(ImageBytes(0x100001));
    EXPECT_EQ(file.Load(&huge), E_OUTOFMEMORY);
    EXPECT_TRUE(log.Contains("VARELDS: CVarelADJFile::Load lFileLength>1024k ???\n"));

    // The parse entry does not look for repeated types: 103 pages do not fit a file.
    std::vector<std::pair<uint32_t, ImageBytes>> many(103, {kSignalSmall, ImageBytes(9728)});
    const ImageBytes image = ImageOf(kAdjVersionCurrent, 10240, many);
    ASSERT_EQ(file.PraseADJSetData(image.data(), static_cast<uint32_t>(image.size())), S_OK);
    CMemoryStream stream;
    EXPECT_EQ(file.Save(&stream), E_OUTOFMEMORY);
    EXPECT_TRUE(log.Contains("VARELDS: CVarelADJFile::Save file head error: total length\n"));
    EXPECT_TRUE(stream.Bytes().empty());
}
