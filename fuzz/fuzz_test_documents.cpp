// Arbitrary text as the parameter document of every test type, found
// through the module table, so a new test type is fuzzed
// without a harness of its own (its starting input a document of its struct in
// fuzz/corpus/fuzz_test_documents/): the module whose struct the document
// names reads it, downloads its parameter list, switches a test point,
// writes its result document and converts the input's bytes as a result and
// as an intermediate report. Never a crash, and every parameter or output it
// sends is one the wire takes.
#include "agent/module_table.h"

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "gdata/named_data.h"
#include "text.h"

#include <varel/vts.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The tester as the modules see it: takes everything, checks what it is given.
class CheckingPort final : public CTesterPort {
public:
    HRESULT Send(uint16_t, uint16_t, const void* data, uint32_t length) override {
        if (length && !data) std::abort();
        return S_OK;
    }
    HRESULT SendTestParams(uint16_t, TestParamItem* items, uint32_t count) override {
        for (uint32_t i = 0; i < count; ++i) {
            uint16_t tag;
            uint32_t word;
            if (!EncodeTestParam(items[i], &tag, &word)) std::abort();
        }
        return S_OK;
    }
    HRESULT SetDownloadLock(uint16_t, bool) override { return S_OK; }
    HRESULT SendBout(uint16_t, const uint16_t* states, uint32_t count) override {
        if (count > 16 || (count && !states)) std::abort();
        return S_OK;
    }
    uint32_t VoltageChannels() const override { return 6; }
    uint32_t CurrentChannels() const override { return 6; }
    int16_t TestSampRate() const override { return 200; }
    HRESULT TransFile(const WCHAR* source, const WCHAR* destination) override {
        if (!source || !destination) std::abort();
        return S_OK;
    }
    // Reads every sample, so a wave taken from outside its block shows.
    HRESULT SendWavePlayData(const float* samples, uint32_t, uint32_t count) override {
        if (count && !samples) std::abort();
        volatile float last = 0;
        for (uint32_t i = 0; i < count; ++i) last = samples[i];
        (void)last;
        return S_OK;
    }
};

// The struct the document names under "TestParams", or nothing.
WideString StructNamed(IGenericData* document) {
    ComPtr<IGenericDataNode> root;
    if (document->GetRootNode(root.Put()) != S_OK) return {};
    VARIANT name;
    VariantInit(&name);
    BStr key(OLESTR("TestParams"));
    WideString named;
    if (root->GetChildValue(key.Get(), &name) == S_OK && name.vt == VT_BSTR) named = BstrView(name.bstrVal);
    VariantClear(&name);
    return named;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    CoInitialize(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ComPtr<IGenericData> document;
    if (FAILED(CreateGenericData(IID_IGenericData, document.PutVoid()))) return 0;
    BStr text(Utf8ToUtf16(std::string(reinterpret_cast<const char*>(data), size)));
    HRESULT hr = document->Load(text.Get());
    if (hr != S_OK && hr != S_FALSE) std::abort();

    // The other modules would only send their defaults again.
    const WideString structName = StructNamed(document.Get());
    CheckingPort port;
    for (const ModuleEntry& entry : ModuleTable()) {
        if (structName != entry.structName) continue;
        std::unique_ptr<CDspDocumentTest> module = entry.create(entry);
        if (!module) continue;
        module->Attach(&port);
        module->BeginTest(document.Get());
        module->SwitchTestPoint(document.Get());
        ComPtr<IGenericData> result;
        if (module->GetTestResult(reinterpret_cast<IUnknown**>(result.Put())) != S_OK) std::abort();
        std::vector<uint8_t> words(data, data + (size < 4096 ? size : 4096));
        module->OnDeviceEvent(VTS_NOTIFY_TEST_RESULT, words);
        std::vector<uint8_t> report(data, data + (size < 256 ? size : 256));
        module->OnDeviceEvent(VTS_NOTIFY_TEST_EVENT, report);
        module->Attach(nullptr);
    }
    return 0;
}
