#include "dsptest/document_module.h"

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "device/message_ids.h"

#include <varel/vts.h>

#include <cstring>

CDspDocumentTest::CDspDocumentTest(const ModuleEntry& entry) : CDspTest(entry.dspTestId), entry_(entry) {}

bool CDspDocumentTest::SaveToData(IGenericDataNode* root) {
    DocumentWriter writer(root, entry_.structName);
    std::lock_guard<std::mutex> lock(structMutex_);
    WalkStruct(writer);
    return writer.Ok();
}

int CDspDocumentTest::LoadFromData(IGenericDataNode* root) {
    DocumentReader reader(root, entry_.structName);
    if (!reader.Matches()) return 0;
    std::lock_guard<std::mutex> lock(structMutex_);
    WalkStruct(reader);
    return 1;
}

HRESULT CDspDocumentTest::LoadDocument(IUnknown* params) {
    ComPtr<IGenericData> document;
    HRESULT hr = params->QueryInterface(IID_IGenericData, document.PutVoid());
    if (hr == E_NOINTERFACE) {
        // Not a document: an empty one stands in, so the defaults are used.
        hr = CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData,
                              document.PutVoid());
        if (FAILED(hr)) return E_NOINTERFACE;
    } else if (FAILED(hr)) {
        return hr;
    }
    ComPtr<IGenericDataNode> root;
    if (FAILED(document->GetRootNode(root.Put())) || !root) return E_NOINTERFACE;
    ComPtr<IGenericData> own; // keeps the copy's tree while it is read
    if (!OwnTreeNode(root.Get())) {
        // A document of another implementation is read through its XML form.
        BStr xml;
        if (FAILED(document->ToXMLString(xml.Put())) ||
            FAILED(CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData,
                                    own.PutVoid())) ||
            own->Load(xml.Get()) != S_OK || FAILED(own->GetRootNode(root.Put())) || !root)
            return E_INVALIDARG;
    }
    // A document for another test type counts as read: the defaults stand.
    if (LoadFromData(root.Get()) < 0) return E_INVALIDARG;
    return S_OK;
}

HRESULT CDspDocumentTest::LoadAndDownload(IUnknown* params, bool starting) {
    HRESULT hr = LoadDocument(params);
    if (hr == S_OK && starting) hr = BeforeDownload();
    return hr != S_OK ? hr : DownloadTestParams();
}

HRESULT CDspDocumentTest::BeginTest(IUnknown* params) {
    if (!params) return E_INVALIDARG;
    {
        std::lock_guard<std::mutex> lock(structMutex_);
        ResetStruct();
    }
    HRESULT hr = LoadAndDownload(params, true);
    if (hr != S_OK) return hr;
    hr = SendTestCommand(DEVMSG_TEST_START);
    if (hr != S_OK) return hr;
    int32_t outputs[16] = {};
    uint32_t count;
    {
        std::lock_guard<std::mutex> lock(structMutex_);
        count = StartOutputs(outputs);
    }
    if (count && (hr = SendBoutState(outputs, count)) != S_OK) return hr;
    return SendTestCommand(DEVMSG_TEST_START2);
}

HRESULT CDspDocumentTest::SwitchTestPoint(IUnknown* params) {
    if (!params) return E_INVALIDARG;
    return LoadAndDownload(params, false);
}

HRESULT CDspDocumentTest::StopTest(int32_t) { return SendTestCommand(DEVMSG_TEST_STOP); }

HRESULT CDspDocumentTest::GetTestResult(IUnknown** result) {
    if (!result) return E_INVALIDARG;
    ComPtr<IGenericData> document;
    ComPtr<IGenericDataNode> root;
    if (FAILED(CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData,
                                document.PutVoid())) ||
        FAILED(document->GetRootNode(root.Put())))
        return E_NOINTERFACE;
    if (!SaveToData(root.Get())) return E_INVALIDARG;
    return document->QueryInterface(IID_IGenericData, reinterpret_cast<void**>(result));
}

HRESULT CDspDocumentTest::GetDspProgram(BSTR* file, uint32_t* dspTestId) {
    if (!file || !dspTestId) return E_INVALIDARG;
    *file = SysAllocString(entry_.programFile);
    *dspTestId = DspTestId();
    return *file ? S_OK : E_OUTOFMEMORY;
}

HRESULT CDspDocumentTest::OnDeviceEvent(uint32_t code, std::vector<uint8_t>& payload) {
    const char* report = ReportFields();
    if (code == VTS_NOTIFY_TEST_EVENT && report) {
        ResultWords words(payload);
        std::vector<uint8_t> record;
        for (const char* field = report; *field; ++field) {
            uint32_t bits = static_cast<uint32_t>(words.Next());
            if (*field == 't') {
                const float time = TesterSeconds(static_cast<int32_t>(bits));
                std::memcpy(&bits, &time, 4);
            }
            record.resize(record.size() + 4);
            StoreLe32(record.data() + record.size() - 4, bits);
        }
        payload = std::move(record);
        return E_NOTIMPL;
    }
    if (code != VTS_NOTIFY_TEST_RESULT) return E_NOTIMPL;
    ResultWords words(payload);
    std::lock_guard<std::mutex> lock(structMutex_);
    if (!ConvertResult(words)) return E_NOTIMPL;
    // The host gets the whole struct, parameters and results, not the words.
    const std::span<const uint8_t> image = StructImage();
    payload.assign(image.begin(), image.end());
    return E_NOTIMPL;
}

HRESULT CDspDocumentTest::ModuleCommand(int32_t command) {
    return command == 0 || command == 1 ? SendTestCommand(DEVMSG_MODULE_COMMAND) : S_OK;
}
