// What the tester sends on its own becomes notifications for the host.
#include "agent/agent.h"

#include "sync.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <vector>

namespace {

void Put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

struct Host {
    HANDLE got = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::mutex mutex;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> seen;
    HWND hwnd = VTS_CreateHostWindow(nullptr, &Host::Proc, this);
    ~Host() {
        VTS_DestroyHostWindow(hwnd);
        CloseHandle(got);
    }
    static intptr_t Proc(void* c, HWND, uint32_t, uintptr_t code, intptr_t lParam) {
        auto* self = static_cast<Host*>(c);
        auto* r = reinterpret_cast<const HostNotifyRecord*>(lParam);
        std::vector<uint8_t> data;
        if (r->data) data.assign(static_cast<const uint8_t*>(r->data), static_cast<const uint8_t*>(r->data) + r->length);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->seen.emplace_back(static_cast<uint32_t>(code), std::move(data));
        SetEvent(self->got);
        return 0;
    }
    std::pair<uint32_t, std::vector<uint8_t>> Next() {
        EXPECT_EQ(WaitForSingleObject(got, 5000), WAIT_OBJECT_0);
        std::lock_guard<std::mutex> lock(mutex);
        auto first = seen.front();
        seen.erase(seen.begin());
        return first;
    }
};

class UpMessages : public testing::Test {
protected:
    void SetUp() override { queue.Start(host.hwnd); }
    void TearDown() override { queue.Stop(); }
    std::pair<uint32_t, std::vector<uint8_t>> Send(uint16_t id, const std::vector<uint8_t>& data) {
        agent.OnDevUpMessage(0, 0, id, data.data(), static_cast<uint32_t>(data.size()));
        return host.Next();
    }
    Host host;
    MsgQueue queue;
    CTestAgent agent{queue};
};

} // namespace

TEST_F(UpMessages, EachIdMapsToItsCodeAndPayload) {
    using Bytes = std::vector<uint8_t>;
    const Bytes io(64, 0xA5), none;
    const struct {
        uint16_t id;
        Bytes data;
        uint32_t code;
        Bytes payload; // with no module active, as the host gets it
    } routes[] = {
        {0x0206, io, 2, io},
        {0x0207, {1, 2, 3}, 3, {1, 2, 3}},
        {0x0208, {4}, 4, {4}},
        {0x0203, {9, 9}, 6, none},
        {0x020A, {1, 0, 0, 0}, 7, none}, // the queue carries the words as values
        {0x020B, {1, 0, 0, 0, 2}, 8, none},
        {0x020C, {5}, 9, none},
    };
    for (const auto& route : routes) {
        SCOPED_TRACE(route.id);
        EXPECT_EQ(Send(route.id, route.data), std::make_pair(route.code, route.payload));
    }
    EXPECT_EQ(agent.OnDevUpMessage(0, 0, 0x0300, nullptr, 0), S_OK);
    EXPECT_EQ(WaitForSingleObject(host.got, 50), WAIT_TIMEOUT) << "unknown ids are not for the host";
}

TEST_F(UpMessages, TimeRecords) {
    std::vector<uint8_t> valid;
    for (uint32_t w : {1u, 2026u, 12u, 6u, 13u, 45u, 30u}) Put32(valid, w);
    auto [code, record] = Send(0x0105, valid);
    EXPECT_EQ(code, 21u);
    ASSERT_EQ(record.size(), 16u);
    EXPECT_EQ(Get16(&record[0]), 2026);
    EXPECT_EQ(Get16(&record[2]), 12);
    EXPECT_EQ(Get16(&record[4]), 0) << "day of week";
    EXPECT_EQ(Get16(&record[6]), 6);
    EXPECT_EQ(Get16(&record[8]), 13);
    EXPECT_EQ(Get16(&record[10]), 45);
    EXPECT_EQ(Get16(&record[12]), 30);
    EXPECT_EQ(Get16(&record[14]), 0);

    std::vector<uint8_t> invalid;
    for (uint32_t w : {0u, 2026u, 12u, 6u, 13u, 45u, 30u}) Put32(invalid, w);
    EXPECT_EQ(Send(0x0105, invalid).second, std::vector<uint8_t>(16, 0));

    std::vector<uint8_t> noDate;
    for (uint32_t w : {1u, 0u, 12u, 6u, 1u, 2u, 3u}) Put32(noDate, w);
    auto today = Send(0x0105, noDate).second;
    EXPECT_GE(Get16(&today[0]), 2024) << "the date comes from the clock";
    EXPECT_EQ(Get16(&today[8]), 1);
    EXPECT_EQ(Get16(&today[12]), 3);

    auto shortOne = Send(0x0105, std::vector<uint8_t>(27, 1));
    EXPECT_EQ(shortOne.first, 21u);
    EXPECT_TRUE(shortOne.second.empty());
}

TEST_F(UpMessages, ExtendedIoRecords) {
    std::vector<uint8_t> m;
    Put32(m, 3);
    Put32(m, 2);
    for (uint8_t b : {1, 0, 1, 1, 0}) m.push_back(b);
    auto [code, record] = Send(0x0210, m);
    EXPECT_EQ(code, 22u);
    ASSERT_EQ(record.size(), 1024u);
    EXPECT_EQ(Get16(&record[0]), 1);
    EXPECT_EQ(Get16(&record[2]), 0);
    EXPECT_EQ(Get16(&record[4]), 1);
    EXPECT_EQ(Get16(&record[6]), 0) << "past nBI";
    EXPECT_EQ(Get16(&record[512]), 1);
    EXPECT_EQ(Get16(&record[514]), 0);

    std::vector<uint8_t> tooMany;
    Put32(tooMany, 300);
    Put32(tooMany, 0);
    tooMany.resize(8 + 300, 1);
    EXPECT_EQ(Send(0x0210, tooMany).second, std::vector<uint8_t>(1024, 0));

    std::vector<uint8_t> cut;
    Put32(cut, 10);
    Put32(cut, 0);
    cut.resize(12, 1);
    EXPECT_TRUE(Send(0x0210, cut).second.empty()) << "states past the end";
    EXPECT_TRUE(Send(0x0210, {1, 2, 3}).second.empty());
}

TEST(ExtendedIoRecord, ExcessCountIsDroppedAtTheRecordsSize) {
    std::vector<uint8_t> m;
    Put32(m, 2);
    Put32(m, 300);
    m.resize(8 + 302, 1);
    uint8_t record[1024];
    EXPECT_TRUE(BuildExtendedIoRecord(m.data(), static_cast<uint32_t>(m.size()), record));
    EXPECT_EQ(Get16(&record[2]), 1);
    EXPECT_EQ(Get16(&record[1022]), 1) << "the 256th output";
}

TEST(BaseFolder, IsTheParentOfTheLibrarysFolder) {
    EXPECT_EQ(BaseFolderOf(OLESTR("/opt/varel/bin/libVarelTSS.so"), OLESTR('/')), OLESTR("/opt/varel/"));
    EXPECT_EQ(BaseFolderOf(OLESTR("C:\\VAREL\\Bin\\VarelTSS.dll"), OLESTR('\\')), OLESTR("C:\\VAREL\\"));
    EXPECT_EQ(BaseFolderOf(OLESTR("libVarelTSS.so"), OLESTR('/')), OLESTR(""));
}
