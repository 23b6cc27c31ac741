#include "module_fixture.h"

#include "com/bstr.h"
#include "device/message_ids.h"
#include "little_endian.h"
#include "text.h"

#include <private_network.h>

namespace {

constexpr const WCHAR* kLink =
    OLESTR("PC-IP:192.168.253.1;PC-PORT:3000;DEV-IP:192.168.253.231;DEV-PORT:2001");

} // namespace

const ModuleEntry& EntryOf(const WCHAR* progId) {
    for (const ModuleEntry& entry : ModuleTable())
        if (WideStringView(entry.progId) == WideStringView(progId)) return entry;
    ADD_FAILURE() << "no module table row for " << Utf16ToUtf8(progId);
    return ModuleTable()[0];
}

ComPtr<IGenericData> NewDocument() {
    ComPtr<IGenericData> document;
    EXPECT_EQ(CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData,
                               document.PutVoid()),
              S_OK);
    return document;
}

ComPtr<IGenericData> DefaultsOf(const WCHAR* progId) {
    ComPtr<IGenericData> document = NewDocument();
    EXPECT_EQ(VTS_InitTestParams(document.Get(), progId), S_OK);
    return document;
}

ComPtr<IGenericData> DocumentFromXml(const WCHAR* xml) {
    ComPtr<IGenericData> document = NewDocument();
    BStr text(xml);
    EXPECT_EQ(document->Load(text.Get()), S_OK);
    return document;
}

uint32_t Find(const Pairs& pairs, uint16_t id, size_t nth) {
    for (const auto& [tag, value] : pairs)
        if (tag == 0x2000 + id && nth-- == 0) return value;
    ADD_FAILURE() << "no id " << id;
    return 0;
}

uint32_t Wire(double value) {
    return static_cast<uint32_t>(static_cast<int32_t>(value * 10000 + (value < 0 ? -0.5 : 0.5)));
}

HRESULT FakePort::Record(uint16_t testId, uint16_t msgId, std::vector<uint8_t> payload) {
    messages.push_back({testId, msgId, std::move(payload)});
    return msgId == failing ? failAnswer : S_OK;
}

HRESULT FakePort::Send(uint16_t testId, uint16_t msgId, const void* data, uint32_t length) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    return Record(testId, msgId, std::vector<uint8_t>(bytes, bytes + length));
}

HRESULT FakePort::SendTestParams(uint16_t testId, TestParamItem* items, uint32_t count) {
    std::vector<uint8_t> payload;
    for (uint32_t i = 0; i < count; ++i) {
        uint16_t tag;
        uint32_t word;
        if (!EncodeTestParam(items[i], &tag, &word)) return DISP_E_TYPEMISMATCH;
        pairs.emplace_back(tag, word);
        uint8_t pair[6];
        StoreLe16(pair, tag);
        StoreLe32(pair + 2, word);
        payload.insert(payload.end(), pair, pair + 6);
    }
    return Record(testId, DEVMSG_TEST_PARAMS, std::move(payload));
}

HRESULT FakePort::SetDownloadLock(uint16_t testId, bool locked) {
    return Record(testId, DEVMSG_DOWNLOAD_LOCK, {static_cast<uint8_t>(locked)});
}

HRESULT FakePort::SendBout(uint16_t testId, const uint16_t* states, uint32_t count) {
    std::vector<uint8_t> payload(2 * count);
    for (uint32_t k = 0; k < count; ++k) StoreLe16(payload.data() + 2 * k, states[k]);
    return Record(testId, DEVMSG_BOUT, std::move(payload));
}

HRESULT FakePort::SendWavePlayData(const float* samples, uint32_t, uint32_t count) {
    wave.assign(samples, samples + count);
    return Record(0, DEVMSG_WAVE_DATA, std::vector<uint8_t>(count));
}

HRESULT FakePort::TransFile(const WCHAR*, const WCHAR* destinationName) {
    const std::string name = Utf16ToUtf8(destinationName);
    return Record(0, 0x0500, std::vector<uint8_t>(name.begin(), name.end()));
}

std::vector<uint16_t> FakePort::Ids() const {
    std::vector<uint16_t> ids;
    for (const Message& m : messages) ids.push_back(m.msgId);
    return ids;
}

void BenchTest::SetUp() {
    REQUIRE_PRIVATE_NETWORK();
    std::string error;
    ASSERT_TRUE(bench.Start(&error)) << error;
    CoInitialize(nullptr);
    ASSERT_EQ(VTS_CreateServer(host.Window()), S_OK);
}

void BenchTest::TearDown() {
    document.Reset();
    VTS_DestroyServer();
    CoUninitialize();
    for (const sim::Datagram& d : bench.Traffic().Snapshot())
        EXPECT_FALSE(d.received && d.fault != sim::PacketFault::None) << sim::DescribeDatagram(d);
}

void BenchTest::Link(const WCHAR* progId, uint16_t voltages, uint16_t currents) {
    sim::TesterIdentity identity;
    identity.voltageChannels = voltages;
    identity.currentChannels = currents;
    bench.Model().SetIdentity(identity);
    ASSERT_EQ(VTS_LinkDevice(kLink), S_OK);
    auto linked = host.Next();
    ASSERT_TRUE(linked && linked->code == 16u);
    ASSERT_EQ(VTS_ActiveTest(progId), S_OK);
    // A type that hosts get no defaults for starts from its new module's document.
    if (EntryOf(progId).initParams)
        document = DefaultsOf(progId);
    else
        ASSERT_EQ(VTS_GetTestResult(document.Put()), S_OK);
}

void BenchTest::Set(const std::string& path, VARTYPE type, double value) {
    ASSERT_EQ(SetDocumentValue(document.Get(), "TestParams." + path, type, value), S_OK) << path;
}

double BenchTest::ResultValue(const std::string& path) {
    IGenericData* result = nullptr;
    EXPECT_EQ(VTS_GetTestResult(&result), S_OK);
    if (!result) return 0;
    const double value = DocumentValue(result, path);
    result->Release();
    return value;
}
