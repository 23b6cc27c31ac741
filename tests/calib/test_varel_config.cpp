// The calibration store on the simulated bench: the combined page from the
// pages of each channel's signal type, and the compensation items sent
// before a test.
#include "adj_images.h"
#include "calib/varel_config.h"
#include "device/io_main_device.h"
#include "device/message_ids.h"
#include "sim/tester_simulator.h"

#include <varel/vts_errors.h>

#include <debug_log.h>
#include <private_network.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr uint32_t kAllSignals = 7u << 29;

// A page whose words are all number * 100000 + word, but gains of 10000 + number.
AdjPage PageNumbered(uint32_t number) {
    AdjPage page;
    for (uint32_t w = 0; w < kAdjPageWords; ++w) page.words[w] = number * 100000 + w;
    for (uint32_t ch = 0; ch < 32; ++ch) page.words[kAdjGain + ch] = 10000 + number;
    return page;
}

class CalibrationStore : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        std::string error;
        ASSERT_TRUE(bench.Start(&error)) << error;
        ASSERT_EQ(device.Init(OLESTR("PC-IP:192.168.253.1;PC-PORT:3000;DEV-IP:192.168.253.231")), S_OK);
        for (uint32_t number : {1u, 2u, 3u}) {
            const AdjPage page = PageNumbered(number);
            const uint32_t type = number == 1 ? kSignalAmplifier : number == 2 ? kSignalSmall : kSignal92;
            ASSERT_EQ(device.m_cfg.AdjFile().AddPage(type, page.words, sizeof page), S_OK);
        }
    }
    void TearDown() override { device.Release(); }
    void Identify(uint16_t voltages, uint16_t currents, uint32_t capability, uint16_t dspVersion) {
        sim::TesterIdentity identity;
        identity.voltageChannels = voltages;
        identity.currentChannels = currents;
        identity.capability = capability;
        identity.dspVersion = dspVersion;
        bench.Model().SetIdentity(identity);
        ASSERT_EQ(device.Identify(0, LinkInfo{0xC0A8FD01, 0xC0A8FDE7, 3000, 2001}), S_OK);
    }
    sim::TesterSimulator bench;
    CIOMainDevice device;
};

} // namespace

TEST_F(CalibrationStore, EachChannelTakesThePageOfItsSignalType) {
    Identify(4, 4, kAllSignals, 1000);
    for (uint32_t ch = 0; ch < 32; ++ch) device.m_cfg.SetChannel(ch, kSignalFt3, 1.0f); // no such page
    for (uint32_t ch = 0; ch < 4; ++ch) device.m_cfg.SetChannel(ch, kSignalAmplifier, 0.5f);
    for (uint32_t ch = 16; ch < 20; ++ch) device.m_cfg.SetChannel(ch, kSignalSmall, 2.0f);
    device.m_cfg.SetChannel(19, kSignal92, 1.0f);
    AdjPage combined;
    ASSERT_EQ(device.m_cfg.GetADJData(&combined), S_OK);
    const struct {
        uint32_t channel, number;
        float scale;
    } expected[] = {{0, 1, 0.5f},  {3, 1, 0.5f},  {4, 1, 1.0f},  {15, 1, 1.0f},
                    {16, 2, 2.0f}, {19, 3, 1.0f}, {20, 1, 1.0f}, {31, 1, 1.0f}};
    for (const auto& e : expected) {
        SCOPED_TRACE(e.channel);
        const uint32_t ch = e.channel, base = e.number * 100000;
        EXPECT_EQ(combined.words[kAdjZeroDrift + ch], base + ch);
        EXPECT_EQ(combined.words[kAdjWordSet1 + ch], base + 64 + ch);
        EXPECT_EQ(combined.words[kAdjWordSet2 + ch], base + 96 + ch);
        EXPECT_EQ(combined.words[kAdjGain + ch], static_cast<uint32_t>((10000 + e.number) * e.scale));
        EXPECT_EQ(combined.words[kAdjTableT1 + 10 * ch + 9], base + 128 + 10 * ch + 9);
        EXPECT_EQ(combined.words[kAdjTableT2 + 10 * ch], base + 448 + 10 * ch);
        EXPECT_EQ(combined.words[kAdjTableT3 + 52 * ch + 51], base + 768 + 52 * ch + 51);
    }
    // A ratio that is not a whole number of gain codes is cut.
    device.m_cfg.SetChannel(0, kSignalAmplifier, 0.33333f);
    ASSERT_EQ(device.m_cfg.GetADJData(&combined), S_OK);
    EXPECT_EQ(combined.words[kAdjGain], 3333u) << "10001 x 0.33333";
}

TEST_F(CalibrationStore, ChannelsTheTesterCannotDriveStopTheCombination) {
    DebugLogCapture log;
    AdjPage combined;
    Identify(4, 4, 1u << 31, 1000);
    for (uint32_t ch = 0; ch < 32; ++ch) device.m_cfg.SetChannel(ch, kSignalAmplifier, 1.0f);
    device.m_cfg.SetChannel(17, kSignalSmall, 1.0f);
    EXPECT_EQ(device.m_cfg.GetADJData(&combined), VTS_E_SIGNAL_TYPE) << "no small-signal capability";
    EXPECT_TRUE(log.Contains("VARELDS: GetADJData u_ch17 of 32 signal type not support.\n"));
    device.m_cfg.SetChannel(17, 0x00030002, 1.0f);
    EXPECT_EQ(device.m_cfg.GetADJData(&combined), VTS_E_SIGNAL_TYPE) << "not a signal type";
    device.m_cfg.SetChannel(17, kSignalAmplifier, 1.0f);
    device.m_cfg.SetChannel(20, 0x1234, 1.0f);
    EXPECT_EQ(device.m_cfg.GetADJData(&combined), S_OK) << "channel 20 does not exist";

    Identify(4, 4, kAllSignals, 1000);
    device.m_cfg.SetChannel(2, kSignalFt3, 1.0f);
    EXPECT_EQ(device.m_cfg.GetADJData(&combined), E_OUTOFMEMORY);
    EXPECT_TRUE(log.Contains("VARELDS: GetADJData ReadADJPage 0x00020000 failed.\n"));
    EXPECT_EQ(device.m_cfg.InitADJDataPreTest(), E_OUTOFMEMORY);
    EXPECT_TRUE(bench.Model().Record().adjItems.empty()) << "nothing sent";
}

TEST_F(CalibrationStore, CompensationItemsGoOutInOrder) {
    for (uint16_t version : {1000, 1001}) {
        SCOPED_TRACE(version);
        Identify(6, 6, kAllSignals, version);
        for (uint32_t ch = 0; ch < 32; ++ch) device.m_cfg.SetChannel(ch, kSignalAmplifier, 1.0f);
        device.m_cfg.SetChannel(16, kSignalSmall, 1.0f);
        ASSERT_EQ(device.m_cfg.InitADJDataPreTest(), S_OK);
        AdjPage page;
        ASSERT_EQ(device.m_cfg.GetADJData(&page), S_OK);
        std::vector<sim::AdjItem> items = bench.Model().Record().adjItems;
        const size_t sent = version == 1000 ? 12 : 16;
        ASSERT_GE(items.size(), sent);
        items.erase(items.begin(), items.end() - static_cast<ptrdiff_t>(sent));
        std::vector<uint16_t> numbers;
        for (const auto& item : items) numbers.push_back(item.item);
        std::vector<uint16_t> expected{0, 16, 32, 48, 65, 66, 81, 82};
        if (version == 1000)
            expected.insert(expected.end(), {97, 98, 99, 100});
        else
            expected.insert(expected.end(), {113, 114, 115, 116, 117, 118, 119, 120});
        EXPECT_EQ(numbers, expected);
        auto words = [&](uint32_t first, uint32_t count) {
            return std::vector<uint32_t>(page.words + first, page.words + first + count);
        };
        EXPECT_EQ(items[0].words, words(0, 32));
        EXPECT_EQ(items[1].words, words(64, 32));
        EXPECT_EQ(items[2].words, words(96, 32));
        EXPECT_EQ(items[3].words, words(32, 32));
        EXPECT_EQ(items[3].words[16], 10002u) << "channel 16 from the small-signal page";
        EXPECT_EQ(items[5].words, words(288, 160));
        EXPECT_EQ(items[7].words, words(608, 160));
        if (version == 1000) {
            ASSERT_EQ(items[9].words.size(), 176u);
            // Item 98 starts with channel 8: its first 22 words of table T3.
            EXPECT_EQ(items[9].words[0], page.words[768 + 52 * 8]);
            EXPECT_EQ(items[9].words[21], page.words[768 + 52 * 8 + 21]);
            EXPECT_EQ(items[9].words[22], page.words[768 + 52 * 9]);
        } else {
            EXPECT_EQ(items[9].words, words(768 + 208, 208)) << "channels 4 to 7";
            EXPECT_EQ(items[15].words, words(768 + 7 * 208, 208));
        }
        for (const sim::Datagram& d : bench.Traffic().Snapshot())
            if (d.received && d.head.msgId == DEVMSG_ADJ_DATA) {
                EXPECT_EQ(d.head.testId, 0);
            }
    }
}

TEST_F(CalibrationStore, TheFirstFailedItemEndsTheDownload) {
    Identify(6, 6, kAllSignals, 1001);
    for (uint32_t ch = 0; ch < 32; ++ch) device.m_cfg.SetChannel(ch, kSignalAmplifier, 1.0f);
    bench.Tester().Faults().AnswerWithStatus(DEVMSG_ADJ_DATA, 1, 1, 4);
    EXPECT_EQ(device.m_cfg.InitADJDataPreTest(), VTS_E_EXEC_FAILED);
    EXPECT_EQ(bench.Model().Record().adjItems.size(), 5u)
        << "the fifth is answered with a failure, no sixth comes";

    DebugLogCapture log;
    CVarelConfig alone(nullptr);
    EXPECT_EQ(alone.InitADJDataPreTest(), VTS_E_ADJ_UNINIT);
    EXPECT_TRUE(log.Contains("VARELDS: InitADJDataPreTest failed, m_pADJFile=NULL ???\n"));
}

TEST_F(CalibrationStore, TheSimulatedTesterServesNeutralPagesForEverySignalType) {
    Identify(6, 6, sim::TesterIdentity{}.capability, 1001);
    ASSERT_EQ(device.QueryADJData(), S_OK);
    uint32_t count = 0;
    EXPECT_EQ(device.m_cfg.AdjFile().PageCount(&count), S_OK);
    EXPECT_EQ(count, 4u);
    for (uint32_t ch = 0; ch < 32; ++ch) device.m_cfg.SetChannel(ch, ch % 2 ? kSignal92 : kSignalSmall, 1.0f);
    AdjPage combined;
    ASSERT_EQ(device.m_cfg.GetADJData(&combined), S_OK);
    EXPECT_EQ(std::memcmp(&combined, DefaultAdjPage().words, sizeof combined), 0);
    EXPECT_EQ(device.m_cfg.InitADJDataPreTest(), S_OK);
}
