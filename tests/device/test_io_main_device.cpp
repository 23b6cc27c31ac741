// The tester's senders against the simulated tester: what goes on the wire
// and what the device object makes of the answers.
#include "thread.h"
#include "device/io_main_device.h"
#include "device/message_ids.h"
#include "sim/tester_simulator.h"
#include "text.h"

#include <varel/vts_errors.h>

#include <debug_log.h>
#include <private_network.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

namespace {

using sim::Bytes;

class ProgressListener : public CDevMsgListener {
public:
    HRESULT OnProgress(uint32_t total, uint32_t done) override {
        std::lock_guard<std::mutex> lock(mutex);
        progress.emplace_back(total, done);
        return S_OK;
    }
    HRESULT OnDevUpMessage(uint32_t, uint16_t, uint16_t id, const uint8_t*, uint32_t) override {
        {
            std::lock_guard<std::mutex> lock(mutex);
            upMessages.push_back(id);
        }
        arrived.notify_all();
        return S_OK;
    }
    std::vector<uint16_t> WaitUpMessages(size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        arrived.wait_for(lock, std::chrono::seconds(3), [&] { return upMessages.size() >= count; });
        return upMessages;
    }
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::pair<uint32_t, uint32_t>> progress;
    std::vector<uint16_t> upMessages;
};

class MainDevice : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        std::string error;
        ASSERT_TRUE(bench.Start(&error)) << error;
        ASSERT_EQ(
            device.Init(OLESTR("PC-IP:192.168.253.1;PC-PORT:3000;DEV-IP:192.168.253.231;DEV-PORT:2001")),
            S_OK);
        device.SetListener(&listener);
    }
    void TearDown() override {
        device.Release();
        for (const sim::Datagram& d : bench.Traffic().Snapshot())
            EXPECT_FALSE(d.received && d.fault != sim::PacketFault::None) << sim::DescribeDatagram(d);
    }
    // Payloads of the requests the tester received with msgId.
    std::vector<Bytes> Received(uint16_t msgId) {
        std::vector<Bytes> payloads;
        for (const sim::Datagram& d : bench.Traffic().Snapshot())
            if (d.received && d.head.msgId == msgId)
                payloads.emplace_back(d.bytes.begin() + 16, d.bytes.end());
        return payloads;
    }
    std::filesystem::path WriteFile(const char* name, const std::string& text) {
        auto path = std::filesystem::temp_directory_path() / (std::to_string(GetCurrentProcessId()) + name);
        std::ofstream(path, std::ios::binary) << text;
        files.push_back(path);
        return path;
    }
    ~MainDevice() override {
        for (auto& f : files) std::filesystem::remove(f);
    }

    sim::TesterSimulator bench;
    CIOMainDevice device;
    ProgressListener listener;
    std::vector<std::filesystem::path> files;
};

uint32_t Load32(const Bytes& b, size_t at) {
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

} // namespace

TEST_F(MainDevice, InitBindsOnceOnThePortOfTheLinkString) {
    EXPECT_EQ(device.LocalPort(), 3000);
    EXPECT_EQ(device.Init(OLESTR("PC-PORT:3001")), S_OK);
    EXPECT_EQ(device.LocalPort(), 3000) << "already open";
    device.Close();
    EXPECT_EQ(device.Init(OLESTR("")), S_OK);
    EXPECT_NE(device.LocalPort(), 0);
    EXPECT_NE(device.LocalPort(), 3000);
    device.Close();
    EXPECT_EQ(device.Init(OLESTR("PC-PORT:70000")), E_INVALIDARG);
}

TEST_F(MainDevice, IdentifyStoresTheIdentityBlock) {
    sim::TesterIdentity identity;
    identity.series = 3;
    identity.testSampRate = 400;
    identity.currentChannels = 4;
    bench.Model().SetIdentity(identity);
    LinkInfo info{0xC0A8FD01, 0xC0A8FDE7, 3000, 2001};
    ASSERT_EQ(device.Identify(0, info), S_OK);
    EXPECT_TRUE(device.LinkAnswered());
    // The fields as the simulator's own encoder put them.
    const DEVBASEINFO read = device.DevBaseInfo();
    EXPECT_EQ(read.model, 0x00030001u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(read.name)), identity.name);
    EXPECT_EQ(read.capability, identity.capability);
    EXPECT_EQ(read.voltageChannels, identity.voltageChannels);
    EXPECT_EQ(read.currentChannels, identity.currentChannels);
    EXPECT_EQ(read.dspVersion, identity.dspVersion);
    EXPECT_EQ(read.testSampRate, 400);
    const Bytes sent = bench.Model().Record().lastLinkInfo;
    EXPECT_EQ(sent, (Bytes{0x01, 0xFD, 0xA8, 0xC0, 0xE7, 0xFD, 0xA8, 0xC0, 0xB8, 0x0B, 0xD1, 0x07}));

    // An answer longer than the block completes the request and leaves the block alone.
    bench.Tester().On(DEVMSG_LINK, [](const sim::Request&) { return sim::Reply{0, Bytes(120, 0xEE), {}}; });
    EXPECT_EQ(device.Identify(0, info), S_OK);
    EXPECT_EQ(std::memcmp(&device.DevBaseInfo(), &read, sizeof read), 0);
}

TEST_F(MainDevice, TestParamsArePairsOfTagAndValueEightyAMessage) {
    std::vector<TestParamItem> items(81);
    for (uint32_t i = 0; i < 81; ++i) {
        items[i].id = 0x5000 + i;
        VariantInit(&items[i].value);
        items[i].value.vt = VT_I4;
        items[i].value.lVal = static_cast<int32_t>(i);
    }
    items[1].value.vt = VT_R8;
    items[1].value.dblVal = 1.5;
    items[2].value.vt = VT_R8;
    items[2].value.dblVal = -1.5;
    items[3].value.vt = VT_R4;
    items[3].value.fltVal = 0.00005f; // 0.5 after scaling: away from zero
    items[4].value.vt = VT_BSTR;
    items[4].value.bstrVal = SysAllocString(OLESTR("12"));
    ASSERT_EQ(device.SendTestParams(4, items.data(), 81), S_OK);
    auto messages = Received(DEVMSG_TEST_PARAMS);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].size(), 480u);
    EXPECT_EQ(messages[1].size(), 6u);
    auto pair = [&](size_t n) {
        const Bytes& m = messages[n / 80];
        size_t at = (n % 80) * 6;
        return std::make_pair(static_cast<uint16_t>(m[at] | m[at + 1] << 8), Load32(m, at + 2));
    };
    EXPECT_EQ(pair(0), std::make_pair(uint16_t(0x2000), 0u));
    EXPECT_EQ(pair(1).second, 15000u);
    EXPECT_EQ(pair(2).second, 0xFFFFC568u);
    EXPECT_EQ(pair(4).second, 12u);
    EXPECT_EQ(items[4].value.vt, VT_UI4) << "converted in place";
    EXPECT_EQ(pair(80), std::make_pair(uint16_t(0x2050), 80u));

    DebugLogCapture log;
    TestParamItem bad{7, {}};
    VariantInit(&bad.value);
    bad.value.vt = VT_BSTR;
    bad.value.bstrVal = SysAllocString(OLESTR("abc"));
    EXPECT_EQ(device.SendTestParams(0, &bad, 1), DISP_E_TYPEMISMATCH);
    EXPECT_TRUE(log.Contains("VARELDS: SendTestParams: type not support.\n"));
    VariantClear(&bad.value);
    EXPECT_EQ(device.SendTestParams(0, nullptr, 0), S_OK);
    EXPECT_EQ(Received(DEVMSG_TEST_PARAMS).back().size(), 0u) << "an empty message without items";
    for (auto& item : items) VariantClear(&item.value);
}

TEST_F(MainDevice, OutputsTakeSixteenStatesOrOneByteEach) {
    std::vector<uint16_t> states(1447);
    for (size_t i = 0; i < states.size(); ++i) states[i] = static_cast<uint16_t>(0x100 + i);
    ASSERT_EQ(device.TransBoutState(0, states.data(), 20), S_OK);
    sim::TesterRecord record = bench.Model().Record();
    EXPECT_EQ(record.outputs[15], 0x10F);
    ASSERT_EQ(device.TransBoutStateEx(0, states.data(), 1000), S_OK);
    EXPECT_EQ(Received(DEVMSG_BOUT_EX).size(), 2u) << "two packets above 964 bytes";
    record = bench.Model().Record();
    ASSERT_EQ(record.outputsEx.size(), 1000u);
    EXPECT_EQ(record.outputsEx[999], static_cast<uint8_t>(0x100 + 999));
    EXPECT_EQ(device.TransBoutStateEx(0, states.data(), 1447), DISP_E_EXCEPTION);
    EXPECT_EQ(Received(DEVMSG_BOUT_EX).size(), 2u) << "nothing sent";
}

TEST_F(MainDevice, APreparedBufferGoesOutWholeOnlyWhenReleased) {
    auto buffer = std::make_unique<PreparedBuffer>();
    const uint32_t count = 1200;
    std::memcpy(buffer->data, &count, 4);
    for (uint32_t i = 0; i < count; ++i) buffer->data[4 + i] = static_cast<uint8_t>(i);
    buffer->used = 4 + count;
    EXPECT_EQ(CIOMainDevice::SendPrepared(*buffer, 0, DEVMSG_BOUT_EX), DISP_E_EXCEPTION) << "no device";
    buffer->device = &device;
    buffer->busy = true;
    EXPECT_EQ(CIOMainDevice::SendPrepared(*buffer, 0, DEVMSG_BOUT_EX), DISP_E_EXCEPTION) << "still written";
    EXPECT_TRUE(Received(DEVMSG_BOUT_EX).empty());
    buffer->busy = false;
    ASSERT_EQ(CIOMainDevice::SendPrepared(*buffer, 0, DEVMSG_BOUT_EX), S_OK);
    EXPECT_EQ(Received(DEVMSG_BOUT_EX).size(), 2u) << "split like any message";
    EXPECT_EQ(bench.Model().Record().outputsEx.size(), count);
}

TEST_F(MainDevice, CalibrationImageIsReadInPiecesAndParsed) {
    Bytes page(9728);
    for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i * 7);
    const Bytes image = sim::CalibrationImageOf({{kSignalSmall, page}, {kSignalAmplifier, page}});
    ASSERT_EQ(image.size(), 2048u + 2 * 10240);
    bench.Model().SetCalibrationImage(image);
    ASSERT_EQ(device.QueryADJData(), S_OK);
    std::vector<uint32_t> pieces;
    for (const Bytes& read : Received(DEVMSG_READ_MEM)) pieces.push_back(Load32(read, 0));
    ASSERT_EQ(pieces.size(), 2u + (image.size() - 36 - 1) / 528);
    EXPECT_EQ(pieces[1], 36u);
    EXPECT_EQ(pieces[2], 564u);
    EXPECT_EQ(Load32(Received(DEVMSG_READ_MEM).back(), 4), (image.size() - 36) % 528) << "the last piece";
    uint32_t count = 0, type = 0;
    EXPECT_EQ(device.m_cfg.AdjFile().PageCount(&count), S_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(device.m_cfg.AdjFile().PageInfo(1, &type, nullptr), S_OK);
    EXPECT_EQ(type, kSignalAmplifier);
    Bytes read(9728);
    EXPECT_EQ(device.m_cfg.AdjFile().ReadPage(kSignalAmplifier, read.data(), 9728), S_OK);
    EXPECT_EQ(read, page);
    // The next link's image replaces the pages.
    bench.Model().SetCalibrationImage(sim::CalibrationImageOf({{kSignal92, page}}));
    ASSERT_EQ(device.QueryADJData(), S_OK);
    EXPECT_EQ(device.m_cfg.AdjFile().PageCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(device.m_cfg.AdjFile().HasPage(kSignal92), S_OK);

    Bytes empty(36);
    bench.Model().SetCalibrationImage(empty);
    EXPECT_EQ(device.QueryADJData(), VTS_E_ADJ_UNINIT);
    // An image the calibration file cannot read is logged; the read itself succeeded.
    DebugLogCapture log;
    Bytes unknown(2048);
    unknown[0] = 0x78, unknown[8] = 0x00, unknown[9] = 0x08; // length 2048
    bench.Model().SetCalibrationImage(unknown);
    EXPECT_EQ(device.QueryADJData(), S_OK);
    EXPECT_TRUE(log.Contains("VARELDS: PraseADJSetData: unknown ADJ version: 0x00000078\n"));
    EXPECT_EQ(device.m_cfg.AdjFile().PageCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    // An answer that is not the piece asked for.
    bench.Tester().On(DEVMSG_READ_MEM, [](const sim::Request&) { return sim::Reply{0, Bytes(20), {}}; });
    uint8_t buffer[36];
    EXPECT_EQ(device.ReadMemory(0, buffer, 36), E_FAIL);
}

TEST_F(MainDevice, UpMessagesReachTheListener) {
    sim::PushOptions options;
    options.to = Ipv4Endpoint("192.168.253.1", 3000);
    bench.Tester().Push(DEVMSG_TEST_RESULT, Bytes(10), options);
    bench.Tester().Push(DEVMSG_TEST_STOP, {}, options);
    EXPECT_EQ(listener.WaitUpMessages(2), (std::vector<uint16_t>{DEVMSG_TEST_RESULT, DEVMSG_TEST_STOP}));
}

namespace {

// A program file: entry address, then blocks of (word count, address high,
// address low, words), written as "0x" words in lines of eight.
std::string ProgramText(uint32_t entry, const std::vector<std::pair<uint32_t, std::vector<uint16_t>>>& blocks,
                        size_t cutWords = 0) {
    std::vector<uint16_t> words{static_cast<uint16_t>(entry), static_cast<uint16_t>(entry >> 16)};
    for (const auto& [address, block] : blocks) {
        words.push_back(static_cast<uint16_t>(block.size()));
        words.push_back(static_cast<uint16_t>(address >> 16));
        words.push_back(static_cast<uint16_t>(address));
        words.insert(words.end(), block.begin(), block.end());
    }
    words.resize(words.size() - cutWords);
    std::string text;
    char word[16];
    for (size_t i = 0; i < words.size(); ++i) {
        std::snprintf(word, sizeof word, "0x%04X,%s", words[i], i % 8 == 7 ? "\r\n" : " ");
        text += word;
    }
    return text;
}

std::vector<uint16_t> Words(size_t count, uint16_t first) {
    std::vector<uint16_t> words(count);
    for (size_t i = 0; i < count; ++i) words[i] = static_cast<uint16_t>(first + i);
    return words;
}

Bytes AsBytes(const std::vector<uint16_t>& words) {
    Bytes bytes(words.size() * 2);
    std::memcpy(bytes.data(), words.data(), bytes.size());
    return bytes;
}

} // namespace

TEST_F(MainDevice, ProgramDownloadSendsEveryBlockAndClosesWithTheEntry) {
    auto first = Words(3, 0x100), second = Words(600, 0x2000);
    auto path = WriteFile("prog.txt", ProgramText(0x00012345, {{0x8000, first}, {0x00019000, second}}));
    ASSERT_EQ(device.SendDspAPPFile(Utf8ToUtf16(path.string()).c_str()), S_OK);
    sim::TesterRecord record = bench.Model().Record();
    EXPECT_TRUE(record.programComplete);
    EXPECT_EQ(record.programEntry, 0x00012345u);
    ASSERT_EQ(record.program.size(), 2u);
    EXPECT_EQ(record.program[0].address, 0x8000u);
    EXPECT_EQ(record.program[0].words, AsBytes(first));
    EXPECT_EQ(record.program[1].address, 0x00019000u);
    EXPECT_EQ(record.program[1].words, AsBytes(second));
    auto packets = Received(DEVMSG_DSP_APP);
    ASSERT_EQ(packets.size(), 4u) << "3 words; 478 + 122 words; the entry";
    EXPECT_EQ(packets[1].size(), 8u + 956);
    EXPECT_EQ(Load32(packets[2], 0), 0x00019000u + 478) << "word addressing";
    // The same file with other words of the same length: the new words go
    // out, not the image of the text read before.
    auto other = Words(3, 0x700);
    WriteFile("prog.txt", ProgramText(0x00012345, {{0x8000, other}, {0x00019000, second}}));
    ASSERT_EQ(device.SendDspAPPFile(Utf8ToUtf16(path.string()).c_str()), S_OK);
    record = bench.Model().Record();
    ASSERT_EQ(record.program.size(), 2u);
    EXPECT_EQ(record.program[0].words, AsBytes(other));
    // A text longer than any image needs (spacing between its words) is
    // read in place; twice, so that nothing of it is kept.
    std::string padded = ProgramText(0x00012345, {{0x8000, first}, {0x00019000, second}});
    padded.insert(padded.find("0x0100"), std::string(3u << 20, ' '));
    WriteFile("prog.txt", padded);
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(device.SendDspAPPFile(Utf8ToUtf16(path.string()).c_str()), S_OK);
        record = bench.Model().Record();
        ASSERT_EQ(record.program.size(), 2u);
        EXPECT_EQ(record.program[0].words, AsBytes(first));
    }
}

TEST_F(MainDevice, BadProgramFilesAreRefusedWithTheirLogLines) {
    DebugLogCapture log;
    EXPECT_EQ(device.SendDspAPPFile(OLESTR("/nonexistent/prog.txt")), VTS_E_DEVICE_FAILED);
    EXPECT_TRUE(log.Contains("VARELDS: SendDspAPPFile: open dsp bin file failed.(/nonexistent/prog.txt)\n"));
    auto empty = WriteFile("empty.txt", "no words here\n");
    EXPECT_EQ(device.SendDspAPPFile(Utf8ToUtf16(empty.string()).c_str()), VTS_E_DEVICE_FAILED);
    EXPECT_TRUE(log.Contains("VARELDS: SendDspAPPFile: uReadLen<=0 ???\n"));
    auto malformed = WriteFile("bad.txt", "0x12G4,\n");
    EXPECT_EQ(device.SendDspAPPFile(Utf8ToUtf16(malformed.string()).c_str()), VTS_E_DEVICE_FAILED);
    auto cut = WriteFile("cut.txt", ProgramText(0x1000, {{0x8000, Words(20, 1)}}, 5));
    EXPECT_EQ(device.SendDspAPPFile(Utf8ToUtf16(cut.string()).c_str()), VTS_E_DEVICE_FAILED);
    EXPECT_TRUE(log.Contains("SendDspAPPFile: 数据未发送完 ???\n"));
    EXPECT_EQ(Received(DEVMSG_DSP_APP).size(), 1u) << "what there was of the block went out";
    // Without an entry address every block goes out, but no closing packet.
    auto noEntry = WriteFile("noentry.txt", ProgramText(0, {{0x8000, Words(20, 1)}}));
    EXPECT_EQ(device.SendDspAPPFile(Utf8ToUtf16(noEntry.string()).c_str()), VTS_E_DEVICE_FAILED);
    EXPECT_EQ(Received(DEVMSG_DSP_APP).size(), 2u);
    EXPECT_FALSE(bench.Model().Record().programComplete);
}

TEST_F(MainDevice, ATesterThatStopsAnsweringEndsTheDownload) {
    bench.Tester().Faults().DropAnswers(DEVMSG_DSP_APP, 2, 1);
    auto path = WriteFile("prog.txt", ProgramText(0x1000, {{0x8000, Words(2000, 0)}}));
    EXPECT_EQ(device.SendDspAPPFile(Utf8ToUtf16(path.string()).c_str()), VTS_E_TIMEOUT);
    EXPECT_EQ(Received(DEVMSG_DSP_APP).size(), 3u) << "one answered, then one packet sent twice";
}

TEST_F(MainDevice, FileTransferSendsHeaderPiecesAndEnd) {
    std::string content(1000, 'x');
    content[999] = 'z';
    auto path = WriteFile("data.bin", content);
    ASSERT_EQ(device.TransFile(Utf8ToUtf16(path.string()).c_str(), OLESTR("录波/fault.cfg")), S_OK);
    sim::TesterRecord record = bench.Model().Record();
    ASSERT_EQ(record.files.size(), 1u);
    const sim::FileTransfer& file = record.files[0];
    EXPECT_TRUE(file.ended);
    EXPECT_EQ(file.data, Bytes(content.begin(), content.end()));
    ASSERT_EQ(file.header.size(), 288u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.header.data())), "录波/fault.cfg");
    EXPECT_EQ(Load32(file.header, 256), 1000u);
    EXPECT_EQ(Load32(file.header, 260), 24u);
    EXPECT_GE(Load32(file.header, 264), 2026u) << "the year it was written";
    // The data goes in pieces of 528 bytes after their offset and length.
    auto pieces = Received(DEVMSG_FILE_DATA);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].size(), 8u + 528);
    EXPECT_EQ(Load32(pieces[1], 0), 528u);
    EXPECT_EQ(Load32(pieces[1], 4), 472u);
    EXPECT_EQ(listener.progress, (std::vector<std::pair<uint32_t, uint32_t>>{{2, 1}, {2, 2}}));
    EXPECT_EQ(device.SendChunked(6, DEVMSG_WAVE_DATA, file.data.data(), 0), VTS_E_DEVICE_FAILED);

    // The end goes out even when a piece fails.
    bench.Tester().Faults().AnswerWithStatus(DEVMSG_FILE_DATA, 3);
    EXPECT_EQ(device.TransFile(Utf8ToUtf16(path.string()).c_str(), OLESTR("again")), S_OK);
    EXPECT_EQ(Received(DEVMSG_FILE_END).size(), 2u);

    DebugLogCapture log;
    // In a folder that exists, so that the error is file-not-found on every system.
    const std::string missing =
        (std::filesystem::temp_directory_path() / (std::to_string(GetCurrentProcessId()) + "missing.bin"))
            .string();
    EXPECT_EQ(device.TransFile(Utf8ToUtf16(missing).c_str(), OLESTR("x")), VTS_E_DEVICE_FAILED);
    EXPECT_TRUE(log.Contains("VARELDS: TransFile Open file(" + missing + ") failed, error=2\n"));
    auto empty = WriteFile("empty.bin", "");
    EXPECT_EQ(device.TransFile(Utf8ToUtf16(empty.string()).c_str(), OLESTR("x")), VTS_E_DEVICE_FAILED);
    EXPECT_TRUE(log.Contains("VARELDS: TransFile: CreateFileMapping failed, error="));
}

namespace {

uint16_t Code(const Bytes& piece, size_t sample) {
    return static_cast<uint16_t>(piece[8 + 2 * sample] | piece[9 + 2 * sample] << 8);
}

} // namespace

TEST_F(MainDevice, WaveDataIsScaledIntoCodesAndSentInPieces) {
    DebugLogCapture log;
    std::vector<float> samples(18 * 20 + 5, 1.414213f); // 20 frames of 18 channels and a partial one
    EXPECT_EQ(device.SendWavePlayData(samples.data(), 18, static_cast<uint32_t>(samples.size())),
              E_OUTOFMEMORY)
        << "no calibration page for the channels' signal type";
    EXPECT_TRUE(log.Contains("VARELDS: GetADJData ReadADJPage 0x00000000 failed.\n"));
    EXPECT_TRUE(log.Contains("SendWavePlayData->m_cfg.GetADJData failed.\n"));

    // A page with a zero offset of 1000 + channel and unit gains.
    AdjPage page = DefaultAdjPage();
    for (uint32_t k = 0; k < 32; ++k)
        page.words[kAdjZeroDrift + k] = 1000 + k, page.words[kAdjGain + k] = 10000;
    ASSERT_EQ(device.m_cfg.AdjFile().AddPage(kSignalAmplifier, page.words, sizeof page), S_OK);
    for (uint32_t ch = 0; ch < 32; ++ch) device.m_cfg.SetChannel(ch, kSignalAmplifier, 1.0f);
    listener.progress.clear();
    ASSERT_EQ(device.SendWavePlayData(samples.data(), 18, static_cast<uint32_t>(samples.size())), S_OK);
    auto checks = Received(DEVMSG_FLASH_CHECK);
    ASSERT_EQ(checks.size(), 2u);
    EXPECT_EQ(Load32(checks[1], 0), 0x1071u);
    EXPECT_EQ(Load32(checks[1], 4), 2u * 365);
    auto pieces = Received(DEVMSG_WAVE_DATA);
    ASSERT_EQ(pieces.size(), 2u) << "720 bytes: 528 and 192";
    EXPECT_EQ(Load32(pieces[1], 0), 528u);
    EXPECT_EQ(Load32(pieces[1], 4), 192u);
    EXPECT_EQ(Code(pieces[0], 0), 1001) << "Ua: slot 0";
    EXPECT_EQ(Code(pieces[0], 9), 1017) << "Ia: slot 16";
    EXPECT_EQ(Code(pieces[0], 17), 1025) << "Iw: slot 24";
    for (const sim::Datagram& d : bench.Traffic().Snapshot())
        if (d.received && d.head.msgId == DEVMSG_WAVE_DATA) {
            EXPECT_EQ(d.head.testId, 6);
        }
    EXPECT_EQ(listener.progress, (std::vector<std::pair<uint32_t, uint32_t>>{{100, 72}, {100, 100}}));
    const sim::WaveDownload kept = bench.Model().Record().wave;
    EXPECT_EQ(kept.Codes(), 18u * 20) << "whole frames";
    EXPECT_EQ(kept.Code(9), 1017) << "the tester keeps the blocks in offset order";

    samples[9] = 1e9f;
    EXPECT_EQ(device.SendWavePlayData(samples.data(), 18, 18), VTS_E_RANGE);
    EXPECT_TRUE(log.Contains("VARELDS: SendWavePlayData-> Ia越界: 计算前: 1000000000.000"));

    // The neutral page: a zero sample is the zero-drift code; half a code past 65535 is out of range.
    page = DefaultAdjPage();
    page.words[kAdjGain + 0] = 10000;
    page.words[kAdjZeroDrift + 16] = 65535; // two channels: the second takes slot 16
    page.words[kAdjGain + 16] = 10000;
    ASSERT_EQ(device.m_cfg.AdjFile().WritePage(kSignalAmplifier, page.words, sizeof page), S_OK);
    float frame[2] = {0.0f, 0.0f};
    ASSERT_EQ(device.SendWavePlayData(frame, 2, 2), S_OK);
    EXPECT_EQ(Code(Received(DEVMSG_WAVE_DATA).back(), 0), 32767);
    frame[1] = 0.5f * 1.414213f;
    EXPECT_EQ(device.SendWavePlayData(frame, 2, 2), VTS_E_RANGE);
    EXPECT_TRUE(log.Contains("计算后: 65535.500"));

    bench.Model().SetFlashBytes(35);
    EXPECT_EQ(device.SendWavePlayData(samples.data(), 18, 18), VTS_E_DEV_MEMORY);
    EXPECT_EQ(bench.Model().Record().wave.Codes(), 0u) << "nothing kept after a refused check";
    EXPECT_TRUE(log.Contains("WavePlay: Arm doesn't have enough space to store Wave Data (Size : 36).\r\n"));
}

TEST_F(MainDevice, TheShippedProgramDownloadsWhole) {
    ASSERT_EQ(device.SendDspAPPFile(Utf8ToUtf16(VTS_DSP_DIR "/State.new").c_str()), S_OK);
    sim::TesterRecord record = bench.Model().Record();
    EXPECT_TRUE(record.programComplete);
    EXPECT_EQ(record.programEntry, 0x00012000u);
    ASSERT_EQ(record.program.size(), 2u);
    EXPECT_EQ(record.program[0].words.size(), 2u * 64);
    EXPECT_EQ(record.program[1].address, 0x00019000u);
    EXPECT_EQ(record.program[1].words.size(), 2u * 700);
    EXPECT_EQ(Received(DEVMSG_DSP_APP).size(), 4u) << "64 words; 478 and 222; the entry";
}
