// What every module with a parameter struct shares: the start sequence, the
// test point switch, the result document, the stop command and its program.
#pragma once

#include "dsptest/dsp_test.h"
#include "dsptest/struct_document.h"

#include <mutex>

class CDspDocumentTest : public CDspTest {
public:
    CDspDocumentTest(uint32_t dspTestId, const WCHAR* structName, const WCHAR* programFile);

    // Defaults, the document's values, download, then 0x0201 and 0x0202.
    HRESULT BeginTest(IUnknown* params) override;
    HRESULT StopTest(int32_t mode) override;
    HRESULT GetTestResult(IUnknown** result) override;
    // The document's values over the current ones, download, no start.
    HRESULT SwitchTestPoint(IUnknown* params) override;
    HRESULT GetDspProgram(BSTR* file, uint32_t* dspTestId) override;

    // The struct into a document root ("TestParams" and below); false when
    // the tree refuses a node.
    bool SaveToData(IGenericDataNode* root);
    // 1 after reading, 0 when "TestParams" names another struct.
    int LoadFromData(IGenericDataNode* root);

protected:
    virtual void ResetStruct() = 0;
    virtual void WalkStruct(FieldWalker& walker) = 0;

    // The struct is written on the caller's thread (documents) and on the
    // receive thread (results); every touch of it holds this lock, and
    // nothing holds it while waiting for the tester.
    std::mutex structMutex_;

private:
    // The document's values into the struct, then the download.
    HRESULT LoadAndDownload(IUnknown* params);

    const WCHAR* structName_;
    const WCHAR* programFile_;
};
