// What every module test shares: a fake tester port that records what a
// module sends, without sockets; the simulated bench with a host window and
// a linked server; and the document helpers.
#pragma once

#include "agent/module_table.h"
#include "com/com_ptr.h"
#include "dsptest/tester_port.h"
#include "sim/tester_simulator.h"
#include "tools/document_values.h"

#include <varel/vts.h>

#include <recording_host.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using Pairs = std::vector<std::pair<uint16_t, uint32_t>>;

// The row of the module table for progId (a test failure when there is none).
const ModuleEntry& EntryOf(const WCHAR* progId);

// A new empty document (GenericData).
ComPtr<IGenericData> NewDocument();
// A document with progId's defaults (VTS_InitTestParams).
ComPtr<IGenericData> DefaultsOf(const WCHAR* progId);
// The document from its XML text.
ComPtr<IGenericData> DocumentFromXml(const WCHAR* xml);

// The value of (tag 0x2000 + id) the nth time it occurs in pairs.
uint32_t Find(const Pairs& pairs, uint16_t id, size_t nth = 0);
// A real as the wire carries it: times 10000, half away from zero.
uint32_t Wire(double value);

// The tester as a module sees it, recording instead of sending.
class FakePort final : public CTesterPort {
public:
    struct Message {
        uint16_t testId;
        uint16_t msgId;
        std::vector<uint8_t> payload;
    };

    HRESULT Send(uint16_t testId, uint16_t msgId, const void* data, uint32_t length) override;
    HRESULT SendTestParams(uint16_t testId, TestParamItem* items, uint32_t count) override;
    HRESULT SetDownloadLock(uint16_t testId, bool locked) override;
    HRESULT SendBout(uint16_t testId, const uint16_t* states, uint32_t count) override;
    uint32_t VoltageChannels() const override { return voltages; }
    uint32_t CurrentChannels() const override { return currents; }
    int16_t TestSampRate() const override { return sampRate; }
    // Recorded as message 0x0500 with the destination name (UTF-8).
    HRESULT TransFile(const WCHAR* sourcePath, const WCHAR* destinationName) override;
    HRESULT SendWavePlayData(const float* samples, uint32_t channels, uint32_t count) override;

    // Every message in order; parameter lists as one 0x0204 entry per call,
    // the download lock as 0x020F with its word, outputs as 0x0209.
    std::vector<Message> messages;
    // The pairs of every parameter list sent, in order.
    Pairs pairs;
    // The message ids in order.
    std::vector<uint16_t> Ids() const;

    uint32_t voltages = 6, currents = 6;
    int16_t sampRate = 200;
    // The frames of the last wave download.
    std::vector<float> wave;
    // A message id the port answers with failAnswer instead of S_OK.
    uint16_t failing = 0;
    HRESULT failAnswer = E_FAIL;

private:
    HRESULT Record(uint16_t testId, uint16_t msgId, std::vector<uint8_t> payload);
};

// A module on a fake port, with the document a new module gives (its
// defaults).
template <class Module, class Struct>
class ModuleOnPort : public ::testing::Test {
protected:
    explicit ModuleOnPort(const WCHAR* progId) : module(EntryOf(progId)) {}
    void SetUp() override {
        CoInitialize(nullptr);
        module.Attach(&port);
        ASSERT_EQ(module.GetTestResult(reinterpret_cast<IUnknown**>(document.Put())), S_OK);
    }
    void TearDown() override {
        document.Reset();
        CoUninitialize();
    }
    void Set(const std::string& path, VARTYPE type, double value) {
        ASSERT_EQ(SetDocumentValue(document.Get(), "TestParams." + path, type, value), S_OK) << path;
    }
    // The payload the host gets with a notification of these words.
    std::vector<uint8_t> Convert(const std::vector<int32_t>& words, uint32_t code = VTS_NOTIFY_TEST_RESULT) {
        std::vector<uint8_t> payload(4 * words.size());
        std::memcpy(payload.data(), words.data(), payload.size());
        EXPECT_EQ(module.OnDeviceEvent(code, payload), E_NOTIMPL);
        return payload;
    }
    // The struct image the host gets with a result of these words.
    Struct Image(const std::vector<int32_t>& words) {
        const std::vector<uint8_t> payload = Convert(words);
        EXPECT_EQ(payload.size(), sizeof(Struct)) << "the host gets the whole struct";
        Struct image{};
        std::memcpy(&image, payload.data(), std::min(payload.size(), sizeof image));
        return image;
    }

    FakePort port;
    Module module;
    ComPtr<IGenericData> document;
};

// The simulated bench, a host window and a created server; Link links to
// the bench's tester and activates a test type.
class BenchTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Links to a tester of that many channels, activates progId and takes
    // its defaults as the document.
    void Link(const WCHAR* progId, uint16_t voltages = 6, uint16_t currents = 6);
    // Sets a value under "TestParams" of document (the node must exist).
    void Set(const std::string& path, VARTYPE type, double value);
    // The pairs of the tester's last parameter download.
    Pairs Params() { return bench.Model().Record().params; }
    // The value at a dotted path of the host's result document.
    double ResultValue(const std::string& path);

    sim::TesterSimulator bench;
    RecordingHost host;
    ComPtr<IGenericData> document;
};
