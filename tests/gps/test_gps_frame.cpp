// The receiver's frame parser, byte by byte, without a port.
#include "gps/varel_dev_gps.h"

#include "gps_test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::vector<TimeRecord> Feed(const std::string& bytes) {
    RecordingListener listener;
    CVarelDev_GPS gps;
    gps.Attach(&listener, nullptr);
    for (char c : bytes) gps.OnReceiveChar(static_cast<uint8_t>(c));
    return listener.Records();
}

} // namespace

TEST(GpsFrame, FramesBecomeTimeRecords) {
    const struct {
        const char* name;
        std::string bytes;
        std::vector<std::array<int32_t, 7>> records;
    } cases[] = {
        {"valid after junk", "xxA20260101120000", {Words(1, 2026, 1, 1, 12, 0, 0)}},
        {"no fix", "V20260101120000", {Words(0, 2026, 1, 1, 12, 0, 0)}},
        {"two in a row",
         "A20261231235959V19991130010203",
         {Words(1, 2026, 12, 31, 23, 59, 59), Words(0, 1999, 11, 30, 1, 2, 3)}},
        {"junk between frames",
         "A20260101120000\r\n$GP,,*\nA20260101120001",
         {Words(1, 2026, 1, 1, 12, 0, 0), Words(1, 2026, 1, 1, 12, 0, 1)}},
        {"V in the middle restarts", "A2026010V20260101120000", {Words(0, 2026, 1, 1, 12, 0, 0)}},
        {"A in the middle restarts", "V202601011A20260101120000", {Words(1, 2026, 1, 1, 12, 0, 0)}},
        {"short frame then nothing", "A2026010112000", {}},
        {"junk only", "xyz0123456789012345", {}},
        {"fields read by leading digits", "A20x601-112 0 0", {Words(1, 20, 1, 0, 12, 0, 0)}},
        {"any byte fills a field",
         std::string("A2026") + '\0' + "1011200\xff" + "0",
         {Words(1, 2026, 0, 1, 12, 0, 0)}},
        {"lower case is junk", "a20260101120000", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<TimeRecord> records = Feed(c.bytes);
        ASSERT_EQ(records.size(), c.records.size());
        for (size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].id, 0x0105);
            EXPECT_EQ(records[i].length, 28u);
            EXPECT_EQ(records[i].words, c.records[i]);
        }
    }
}

TEST(GpsFrame, RecordBytesAreLittleEndianWords) {
    const uint8_t frame[] = "A20260102030405";
    uint8_t record[28];
    GpsTimeRecordOf(frame, record);
    const uint8_t expected[28] = {1, 0, 0, 0, 0xEA, 0x07, 0, 0, 1, 0, 0, 0, 2, 0,
                                  0, 0, 3, 0, 0,    0,    4, 0, 0, 0, 5, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(record, expected, 28));
}

TEST(GpsFrame, ParserStartsAfreshOnEveryStart) {
    RecordingListener listener;
    CVarelDev_GPS gps;
    gps.Attach(&listener, nullptr);
    for (char c : std::string("A2026")) gps.OnReceiveChar(static_cast<uint8_t>(c));
    GpsParams other;
    other.GpsPos = 7; // neither side: stays inactive
    EXPECT_FALSE(gps.Start(other));
    EXPECT_FALSE(gps.Active());
    for (char c : std::string("0101120000")) gps.OnReceiveChar(static_cast<uint8_t>(c));
    EXPECT_TRUE(listener.Records().empty()) << "the half frame before Start is gone";
}
