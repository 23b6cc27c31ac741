#include "dsptest/test_modules.h"

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "debug_output.h"
#include "dsptest/dsp_test_state.h"

#include <new>

namespace {

struct TestType {
    const WCHAR* progId;
    bool defaultsExported;                         // VTS_InitTestParams knows it
    std::unique_ptr<CDspDocumentTest> (*create)(); // null: the module has not landed yet
};

template <class Module>
std::unique_ptr<CDspDocumentTest> Make() {
    return std::unique_ptr<CDspDocumentTest>(new (std::nothrow) Module);
}

// In the order the factory compares them.
constexpr TestType kTestTypes[] = {
    {OLESTR("Varel.UITest.1"), true, nullptr},    {OLESTR("Varel.XBTest.1"), true, nullptr},
    {OLESTR("Varel.ZZTest.1"), true, nullptr},    {OLESTR("Varel.ZTXLTest.1"), true, Make<CDspTest_State>},
    {OLESTR("Varel.DBHCTest.1"), true, nullptr},  {OLESTR("Varel.FSXTXTest.1"), true, nullptr},
    {OLESTR("Varel.ZDZTQTest.1"), true, nullptr}, {OLESTR("Varel.SJCLTest.1"), true, nullptr},
    {OLESTR("Varel.CDTest.1"), true, nullptr},    {OLESTR("Varel.BXHFTest.1"), true, nullptr},
    {OLESTR("Varel.GLZDTest.1"), true, nullptr},  {OLESTR("Varel.SzVove_State.1"), false, nullptr},
    {OLESTR("Varel.AdjTest.1"), false, nullptr},
};

const TestType* Find(WideStringView progId) {
    for (const TestType& type : kTestTypes)
        if (progId == type.progId) return &type;
    return nullptr;
}

// A test type whose module has not landed is refused like an unknown one.
HRESULT NotLanded(WideStringView progId) {
    DebugPrintf("test modules: %s has no module yet\n", Utf16ToUtf8(progId).c_str());
    return E_INVALIDARG;
}

} // namespace

HRESULT CreateTestModule(WideStringView progId, std::unique_ptr<CDspTest>* module) {
    const TestType* type = Find(progId);
    if (!type) return E_INVALIDARG;
    if (!type->create) return NotLanded(progId);
    std::unique_ptr<CDspDocumentTest> made = type->create();
    if (!made) return E_INVALIDARG;
    *module = std::move(made);
    return S_OK;
}

HRESULT InitTestParams(IGenericData* document, WideStringView progId) {
    const TestType* type = Find(progId);
    if (!document || !type || !type->defaultsExported) return E_INVALIDARG;
    if (!type->create) return NotLanded(progId);
    std::unique_ptr<CDspDocumentTest> module = type->create();
    if (!module) return E_OUTOFMEMORY;
    BStr empty(OLESTR(""));
    document->Load(empty.Get());
    ComPtr<IGenericDataNode> root;
    if (FAILED(document->GetRootNode(root.Put()))) return E_FAIL;
    return module->SaveToData(root.Get()) ? S_OK : E_FAIL;
}
