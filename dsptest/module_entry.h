// One row of the module table: everything that names a test type. The
// table itself is the agent's (the one place these values are written);
// each module gets its row when it is made.
#pragma once

#include <varel/vts_platform.h>

#include <cstdint>
#include <memory>
#include <new>

class CDspDocumentTest;

struct ModuleEntry {
    const WCHAR* progId;
    const WCHAR* structName;  // the value of "TestParams" in its documents
    const WCHAR* programFile; // the DSP program it runs, in the series' folder
    uint32_t dspTestId;       // carried in the head of every message it sends
    bool initParams;          // VTS_InitTestParams knows it
    // A new module for this row; null when memory runs out.
    std::unique_ptr<CDspDocumentTest> (*create)(const ModuleEntry& entry);
};

// The create function of a module class constructed from its row.
template <class Module>
std::unique_ptr<CDspDocumentTest> MakeModule(const ModuleEntry& entry) {
    return std::unique_ptr<CDspDocumentTest>(new (std::nothrow) Module(entry));
}
