// A host program's view of linking, I/O states, outputs and up-messages,
// through the exports, against the simulated tester and I/O box.
#include "agent/device_info.h"
#include "device/message_ids.h"
#include "sim/tester_simulator.h"
#include "text.h"

#include <varel/vts.h>
#include <varel/vts_errors.h>

#include <debug_log.h>
#include <private_network.h>
#include <recording_host.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using sim::Bytes;

constexpr const WCHAR* kLink =
    OLESTR("PC-IP:192.168.253.1;PC-PORT:3000;DEV-IP:192.168.253.231;DEV-PORT:2001");

class HostLink : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        std::string error;
        ASSERT_TRUE(bench.Start(&error)) << error;
        Bytes image(600, 0x11);
        const uint32_t length = 600;
        std::memcpy(image.data() + 8, &length, 4);
        bench.Model().SetCalibrationImage(image);
        CoInitialize(nullptr);
        // Without the calculation engine's class the server still runs.
        HRESULT created = VTS_CreateServer(host.Window());
        ASSERT_TRUE(created == S_OK || created == CO_E_CLASSSTRING) << std::hex << created;
    }
    void TearDown() override {
        VTS_DestroyServer();
        CoUninitialize();
        for (const sim::Datagram& d : bench.Traffic().Snapshot())
            EXPECT_FALSE(d.received && d.fault != sim::PacketFault::None) << sim::DescribeDatagram(d);
    }
    Notification Next() {
        auto n = host.Next();
        EXPECT_TRUE(n.has_value()) << "no notification";
        return n.value_or(Notification{0, 0, 0, 0, {}});
    }
    size_t SentToTester(uint16_t msgId) {
        return bench.Traffic().Count([msgId](const sim::Datagram& d) {
            return sim::ReceivedWithId(msgId)(d) && std::strcmp(d.device, "tester") == 0;
        });
    }

    sim::TesterSimulator bench;
    RecordingHost host;
};

} // namespace

TEST_F(HostLink, LinkReadsTheIdentityAndTellsTheHost) {
    sim::TesterIdentity identity;
    identity.testSampRate = 400;
    bench.Model().SetIdentity(identity);
    ASSERT_EQ(VTS_LinkDevice(kLink), S_OK);

    Notification linked = Next();
    EXPECT_EQ(linked.code, 16u);
    EXPECT_EQ(linked.value1, 1);
    ASSERT_EQ(linked.data.size(), 104u);
    const Bytes image = sim::DevBaseInfoOf(identity);
    BaseDeviceInfo expected = BaseDeviceInfoFrom(DecodeDevBaseInfo(image.data(), 112));
    EXPECT_EQ(std::memcmp(linked.data.data(), &expected, 104), 0);
    EXPECT_EQ(std::memcmp(VTS_GetBaseDeviceInfo(), &expected, 104), 0);
    EXPECT_EQ(VTS_GetBaseDeviceInfo()->voltageChannels, 6u);
    EXPECT_EQ(VTS_GetDAAM(), 5.0f) << "series 2";

    // The link message carries both ends, host byte order; it came from port 3000.
    EXPECT_EQ(bench.Model().Record().lastLinkInfo,
              (Bytes{0x01, 0xFD, 0xA8, 0xC0, 0xE7, 0xFD, 0xA8, 0xC0, 0xB8, 0x0B, 0xD1, 0x07}));
    for (const sim::Datagram& d : bench.Traffic().Snapshot())
        if (d.received && std::strcmp(d.device, "tester") == 0) {
            EXPECT_EQ(d.peerPort, 3000);
        }
    // The heartbeat goes to both box targets without waiting for them (to the
    // second where the bench has it).
    std::vector<const char*> boxes{"iobox1"};
    if (!bench.SecondIoBoxMissing()) boxes.push_back("iobox2");
    for (const char* box : boxes)
        EXPECT_TRUE(bench.Traffic().WaitFor(
            1, [box](const sim::Datagram& d) { return !d.received && std::strcmp(d.device, box) == 0; },
            1000))
            << box << " answered";

    VARIANT rate;
    VariantInit(&rate);
    ASSERT_EQ(VTS_GetDeviceInfo(OLESTR("DEVBASEINFO.TestSampRate"), &rate), S_OK);
    EXPECT_EQ(rate.vt, VT_I2);
    EXPECT_EQ(rate.iVal, 400);
    VARIANT link;
    VariantInit(&link);
    ASSERT_EQ(VTS_GetDeviceInfo(OLESTR("LINK"), &link), S_OK);
    ASSERT_EQ(link.vt, VT_DISPATCH);
    IGenericData* document = nullptr;
    ASSERT_EQ(link.pdispVal->QueryInterface(IID_IGenericData, reinterpret_cast<void**>(&document)), S_OK);
    BSTR xml = nullptr;
    ASSERT_EQ(document->ToXMLString(&xml), S_OK);
    std::string text = Utf16ToUtf8(BstrView(xml));
    EXPECT_NE(text.find("\"LinkState\""), std::string::npos) << text;
    EXPECT_NE(text.find("3232300519"), std::string::npos) << "DEV-IP as a number: " << text;
    SysFreeString(xml);
    document->Release();
    VariantClear(&link);

    // A second link sends the link notice first, on the socket now open.
    ASSERT_EQ(VTS_LinkDevice(kLink), S_OK);
    EXPECT_EQ(SentToTester(DEVMSG_LINK_NOTICE), 1u);
    EXPECT_EQ(bench.Model().Record().links, 2u);
}

TEST_F(HostLink, IoStatesArriveAsNotificationsAndOutputsReachTheTester) {
    ASSERT_EQ(VTS_LinkDevice(kLink), S_OK);
    Next();
    Bytes state(64);
    for (size_t i = 0; i < 64; ++i) state[i] = static_cast<uint8_t>(i);
    bench.Model().SetIoState(state);
    bench.Model().SetIoStateEx(Bytes{1, 0, 1}, Bytes{0, 1});
    ASSERT_EQ(VTS_AskIoState(), S_OK);
    Notification io = Next();
    EXPECT_EQ(io.code, 2u);
    EXPECT_EQ(io.data, state);
    ASSERT_EQ(VTS_AskIoState_Ex(), S_OK);
    Notification ex = Next();
    EXPECT_EQ(ex.code, 22u);
    ASSERT_EQ(ex.data.size(), 1024u);
    EXPECT_EQ(ex.data[0], 1);
    EXPECT_EQ(ex.data[2], 0);
    EXPECT_EQ(ex.data[4], 1);
    EXPECT_EQ(ex.data[512 + 2], 1);

    const uint16_t outputs[3] = {1, 0, 1};
    ASSERT_EQ(VTS_TransBoutState(outputs, 3), S_OK);
    EXPECT_EQ(bench.Model().Record().outputs[2], 1);
    ASSERT_EQ(VTS_TransBoutState_Ex(outputs, 3), S_OK);
    EXPECT_EQ(bench.Model().Record().outputsEx, (Bytes{1, 0, 1}));
    ASSERT_EQ(VTS_SetGPSTimeMode(-2), S_OK);
    EXPECT_EQ(bench.Model().Record().gpsMode, (std::array<uint32_t, 2>{0xFFFFFFFE, 0xFFFFFFFF}));

    // An I/O state of the wrong length is refused without a notification.
    bench.Model().SetIoState(Bytes(63));
    EXPECT_EQ(VTS_AskIoState(), E_FAIL);
    EXPECT_FALSE(host.Next(100).has_value());
}

TEST_F(HostLink, UpMessagesBecomeNotificationsInTheirOrder) {
    ASSERT_EQ(VTS_LinkDevice(kLink), S_OK);
    Next();
    sim::PushOptions shuffled;
    shuffled.order = {2, 1, 3};
    bench.Tester().Push(DEVMSG_TEST_RESULT, Bytes(2000, 3), shuffled);
    bench.Tester().Push(DEVMSG_TEST_EVENT, Bytes{4});
    bench.Tester().Push(DEVMSG_TEST_VALUE, Bytes{7, 0, 0, 0});
    bench.Tester().Push(DEVMSG_TEST_STOP, {});
    Notification result = Next(), event = Next(), value = Next(), stop = Next();
    EXPECT_EQ(result.code, 3u);
    EXPECT_EQ(result.data, Bytes(2000, 3));
    EXPECT_EQ(event.code, 4u);
    EXPECT_EQ(value.code, 7u);
    EXPECT_EQ(value.value1, 7);
    EXPECT_EQ(stop.code, 6u);
}

TEST_F(HostLink, BadLinksAreRefusedWithClearCodes) {
    DebugLogCapture log;
    EXPECT_EQ(VTS_LinkDevice(OLESTR("PC-IP:192.168.253.1")), E_INVALIDARG);
    EXPECT_EQ(SentToTester(DEVMSG_LINK), 0u) << "no identify without DEV-IP";
    EXPECT_EQ(VTS_LinkDevice(OLESTR("PC-IP:192.168.253.1;DEV-IP:192.168.300.231")), E_INVALIDARG);
    EXPECT_EQ(VTS_LinkDevice(OLESTR("PC-IP:192.168.253.1;DEV-IP:192.168.253.231;DEV-PORT:70000")),
              E_INVALIDARG);

    bench.Tester().Faults().DropAnswers(DEVMSG_LINK, 2);
    EXPECT_EQ(VTS_LinkDevice(kLink), VTS_E_TIMEOUT);
    EXPECT_EQ(SentToTester(DEVMSG_LINK), 2u);

    // Without port keys: the tester's port 2001.
    bench.Model().SetCalibrationImage(Bytes(36));
    EXPECT_EQ(VTS_LinkDevice(OLESTR("PC-IP:192.168.253.1 DEV-IP:192.168.253.231")), VTS_E_ADJ_READ);
    EXPECT_TRUE(log.Contains("LinkDevice Succeeded but get adjdata failed.\r\n"));
    EXPECT_EQ(Next().code, 16u) << "the link itself stands";
}

TEST_F(HostLink, ForgedAnswersAndResultsFromAnotherAddressNeverReachTheHost) {
    REQUIRE_ADDRESS_BOUND_UDP();
    ASSERT_EQ(VTS_LinkDevice(kLink), S_OK);
    Next();
    // Another machine on the bench network, on the tester's port.
    sim::TrafficLog forgedLog;
    sim::SimDevice forger("forger", sim::DeviceKind::Tester, forgedLog);
    int error = 0;
    ASSERT_TRUE(forger.Start("192.168.253.77", sim::kTesterPort, &error)) << error;
    sim::PushOptions toHost;
    toHost.to = Ipv4Endpoint("192.168.253.1", 3000);
    DebugLogCapture log;

    ASSERT_TRUE(forger.Push(DEVMSG_TEST_RESULT, Bytes(40, 9), toHost));
    ASSERT_TRUE(forger.Push(DEVMSG_ASK_IO, Bytes(64, 9), toHost));
    // The tester keeps silent on a request while the forger answers it over and over.
    bench.Tester().Faults().DropAnswers(DEVMSG_ASK_IO, 2);
    std::atomic<bool> asking{true};
    std::thread answering([&] {
        sim::PushOptions answer = toHost;
        answer.flags = sim::kAnswerBit;
        while (asking) {
            forger.Push(DEVMSG_ASK_IO, Bytes(64, 0x5A), answer);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    EXPECT_EQ(VTS_AskIoState(), VTS_E_TIMEOUT);
    asking = false;
    answering.join();
    EXPECT_TRUE(log.Contains(
        "VarelDeviceTarget >> Datagram from 192.168.253.77:2001 dropped: not the device's address"));

    // The tester itself still gets through, and nothing forged came before it.
    bench.Tester().Push(DEVMSG_TEST_STOP, {});
    EXPECT_EQ(Next().code, 6u);
    EXPECT_FALSE(host.Next(100).has_value());
}
