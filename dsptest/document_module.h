// What every module with a parameter struct shares: the start sequence, the
// test point switch, the result document, the stop command, its program,
// the module commands and the frame of the result conversion.
#pragma once

#include "dsptest/module_base.h"
#include "dsptest/module_entry.h"
#include "dsptest/result_words.h"
#include "dsptest/struct_document.h"

#include <mutex>
#include <span>

class CDspDocumentTest : public CDspTest {
public:
    explicit CDspDocumentTest(const ModuleEntry& entry);

    // Defaults, the document's values, download, then 0x0201, the start
    // outputs (0x0209) when the module has them, and 0x0202.
    HRESULT BeginTest(IUnknown* params) override;
    HRESULT StopTest(int32_t mode) override;
    HRESULT GetTestResult(IUnknown** result) override;
    // The document's values over the current ones, download, no start.
    HRESULT SwitchTestPoint(IUnknown* params) override;
    HRESULT GetDspProgram(BSTR* file, uint32_t* dspTestId) override;
    // Code 3 (the test result): ConvertResult fills the result fields and
    // the payload becomes the whole struct image. Code 4 (an intermediate
    // report) becomes the record of ReportFields. E_NOTIMPL always.
    HRESULT OnDeviceEvent(uint32_t code, std::vector<uint8_t>& payload) override;

    // The struct into a document root ("TestParams" and below); false when
    // the tree refuses a node.
    bool SaveToData(IGenericDataNode* root);
    // 1 after reading, 0 when "TestParams" names another struct.
    int LoadFromData(IGenericDataNode* root);

protected:
    // The struct: its defaults, its document walk and its byte image.
    virtual void ResetStruct() = 0;
    virtual void WalkStruct(FieldWalker& walker) = 0;
    virtual std::span<const uint8_t> StructImage() const = 0;
    // The tester's result words into the struct's result fields; false for
    // a module that converts nothing (the payload then stays as it came).
    virtual bool ConvertResult(ResultWords&) { return false; }
    // The fields of the record an intermediate report (code 4) becomes, one
    // letter a word: 'i' the word as it is, 't' a time (x 0.0001, a float);
    // null for a module that leaves the report as it came.
    virtual const char* ReportFields() const { return nullptr; }
    // The binary outputs sent between 0x0201 and 0x0202, into states; how
    // many (1 to 16), or 0 for a module without that step.
    virtual uint32_t StartOutputs(int32_t (&)[16]) { return 0; }
    // A start's step between reading the document and the download (not
    // taken by a test point switch); an error ends the start there.
    virtual HRESULT BeforeDownload() { return S_OK; }

    // ExecuteCmd of the modules with tester commands: 0 and 1 send 0x020E,
    // every other command is taken as done.
    HRESULT ModuleCommand(int32_t command);
    // The struct is written on the caller's thread (documents) and on the
    // receive thread (results); every touch of it holds this lock, and
    // nothing holds it while waiting for the tester.
    std::mutex structMutex_;

private:
    // The document's values into the struct (an argument that is no
    // document reads as an empty one); E_NOINTERFACE without a root.
    HRESULT LoadDocument(IUnknown* params);
    // The document's values into the struct, BeforeDownload when starting,
    // then the download.
    HRESULT LoadAndDownload(IUnknown* params, bool starting);

    const ModuleEntry& entry_;
};

// A struct's byte image in declaration order.
template <class Struct>
std::span<const uint8_t> ImageOf(const Struct& test) {
    return {reinterpret_cast<const uint8_t*>(&test), sizeof test};
}

// A module of the struct Struct, whose defaults and document walk are the
// free functions Defaults(Struct&) and Walk(FieldWalker&, Struct&) beside
// it: the module itself adds its parameter list and result conversion.
template <class Struct, class Base = CDspDocumentTest>
class CStructModule : public Base {
public:
    explicit CStructModule(const ModuleEntry& entry) : Base(entry) { Defaults(test_); }

protected:
    void ResetStruct() final { Defaults(test_); }
    void WalkStruct(FieldWalker& walker) final { Walk(walker, test_); }
    std::span<const uint8_t> StructImage() const final { return ImageOf(test_); }

    Struct test_;
};

// The 16 binary-input selection flags of a trip condition as the tester
// takes them: one mask, bit k for input k.
inline uint32_t BinSelectMask(const int32_t (&selected)[16]) {
    uint32_t mask = 0;
    for (uint32_t k = 0; k < 16; ++k)
        if (selected[k]) mask |= 1u << k;
    return mask;
}
