#include "agent/module_table.h"

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "dsptest/channel_sequence.h"
#include "dsptest/comp.h"
#include "dsptest/diff.h"
#include "dsptest/harm.h"
#include "dsptest/osc.h"
#include "dsptest/ramp.h"
#include "dsptest/shot.h"
#include "dsptest/state.h"
#include "dsptest/syn.h"
#include "dsptest/timer.h"
#include "dsptest/track.h"
#include "dsptest/ui.h"
#include "playback/wave_play.h"

namespace {

// The one place a test type's identity is written.
constexpr ModuleEntry kModules[] = {
    // ProgID, struct, program, DspTestId, in VTS_InitTestParams, module
    {OLESTR("Varel.UITest.1"), OLESTR("VarelTest_UI"), OLESTR("UI.new"), 1, true, MakeModule<CDspTest_UI>},
    {OLESTR("Varel.XBTest.1"), OLESTR("VarelTest_Harm"), OLESTR("Harm.new"), 4, true,
     MakeModule<CDspTest_Harm>},
    {OLESTR("Varel.ZZTest.1"), OLESTR("VarelTest_Shot"), OLESTR("Shot.new"), 8, true,
     MakeModule<CDspTest_Shot>},
    {OLESTR("Varel.ZTXLTest.1"), OLESTR("VarelTest_State"), OLESTR("State.new"), 7, true,
     MakeModule<CDspTest_State>},
    {OLESTR("Varel.DBHCTest.1"), OLESTR("VarelTest_Ramp"), OLESTR("Ramp.new"), 2, true,
     MakeModule<CDspTest_Ramp>},
    {OLESTR("Varel.FSXTXTest.1"), OLESTR("VarelTest_Track"), OLESTR("Track.new"), 13, true,
     MakeModule<CDspTest_Track>},
    {OLESTR("Varel.ZDZTQTest.1"), OLESTR("VarelTest_Syn"), OLESTR("Syn.new"), 10, true,
     MakeModule<CDspTest_Syn>},
    {OLESTR("Varel.SJCLTest.1"), OLESTR("VarelTest_Timer"), OLESTR("Time.new"), 3, true,
     MakeModule<CDspTest_Timer>},
    {OLESTR("Varel.CDTest.1"), OLESTR("VarelTest_Diff"), OLESTR("Diff.new"), 9, true,
     MakeModule<CDspTest_Diff>},
    {OLESTR("Varel.BXHFTest.1"), OLESTR("VarelTest_WavePlay"), OLESTR("WavePlay.new"), 6, true,
     MakeModule<CDspTest_WavePlay>},
    {OLESTR("Varel.GLZDTest.1"), OLESTR("VarelTest_Osc"), OLESTR("Osc.new"), 5, true,
     MakeModule<CDspTest_Osc>},
    {OLESTR("Varel.SzVove_State.1"), OLESTR("VarelTest_SzVove_State"), OLESTR("SzVove_State.new"), 203, false,
     MakeModule<CDspTest_SzVove_State>},
    {OLESTR("Varel.AdjTest.1"), OLESTR("VarelTest_Comp"), OLESTR("Comp.new"), 14, false,
     MakeModule<CDspTest_Comp>},
};

const ModuleEntry* Find(WideStringView progId) {
    for (const ModuleEntry& entry : kModules)
        if (progId == entry.progId) return &entry;
    return nullptr;
}

} // namespace

std::span<const ModuleEntry> ModuleTable() { return kModules; }

HRESULT CreateTestModule(WideStringView progId, std::unique_ptr<CDspTest>* module) {
    const ModuleEntry* entry = Find(progId);
    if (!entry) return E_INVALIDARG;
    std::unique_ptr<CDspDocumentTest> made = entry->create(*entry);
    if (!made) return E_INVALIDARG;
    *module = std::move(made);
    return S_OK;
}

HRESULT InitTestParams(IGenericData* document, WideStringView progId) {
    const ModuleEntry* entry = Find(progId);
    if (!document || !entry || !entry->initParams) return E_INVALIDARG;
    std::unique_ptr<CDspDocumentTest> module = entry->create(*entry);
    if (!module) return E_OUTOFMEMORY;
    BStr empty(OLESTR(""));
    document->Load(empty.Get());
    ComPtr<IGenericDataNode> root;
    if (FAILED(document->GetRootNode(root.Put()))) return E_FAIL;
    return module->SaveToData(root.Get()) ? S_OK : E_FAIL;
}
