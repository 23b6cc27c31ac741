// Arbitrary bytes as the system configuration file: loading either reads it
// or refuses it, never crashes; what was read, written to a document and
// read by a fresh store, writes the same document again.
#include "config/varel_system_config.h"

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "gdata/named_data.h"
#include "text.h"
#include "thread.h"
#include "window.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string Saved(CVarelSystemConfig& config) {
    ComPtr<IGenericData> document;
    if (FAILED(CreateGenericData(IID_IGenericData, document.PutVoid()))) std::abort();
    if (config.SaveToDocument(document.Get()) != S_OK) std::abort();
    BStr xml;
    if (document->ToXMLString(xml.Put()) != S_OK) std::abort();
    return Utf16ToUtf8(BstrView(xml.Get()));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    CoInitialize(nullptr);
    // A file that cannot be read is said in a box; nobody is there to read it.
    VTS_SetMessageBoxHandler([](void*, const char*, const char*) { return IDOK; }, nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("fuzz-syscfg-" + std::to_string(GetCurrentProcessId()) + ".xml");
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    CVarelSystemConfig config;
    if (config.LoadFile(Utf8ToUtf16(file.string())) != S_OK) return 0;
    const std::string text = Saved(config);

    ComPtr<IGenericData> document;
    if (FAILED(CreateGenericData(IID_IGenericData, document.PutVoid()))) std::abort();
    if (document->Load(BStr(Utf8ToUtf16(text)).Get()) != S_OK) std::abort();
    CVarelSystemConfig fresh;
    if (fresh.LoadFromDocument(document.Get()) != S_OK || Saved(fresh) != text) std::abort();
    return 0;
}
