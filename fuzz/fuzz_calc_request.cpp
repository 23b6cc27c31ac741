// Arbitrary bytes as a calculation document: Calculate must succeed on
// whatever the file holds, and a second run must leave the document as the
// first left it (every request it wrote reads back as the same structure).
#include "calc/calc_engine.h"
#include "gdata/named_data.h"

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "text.h"

#include <cstdint>
#include <cstdlib>

namespace {

BStr Text(IGenericData* document) {
    BStr xml;
    document->ToXMLString(xml.Put());
    return xml;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ComPtr<IGenericData> document;
    ComPtr<ICalcEngine> engine;
    if (FAILED(CreateGenericData(IID_IGenericData, document.PutVoid())) ||
        FAILED(CreateCalcEngine(IID_ICalcEngine, engine.PutVoid())))
        return 0;
    BStr xml = BStr(Utf8ToUtf16(std::string(reinterpret_cast<const char*>(data), size)));
    if (document->Load(xml.Get()) != S_OK) return 0;
    if (engine->Calculate(document.Get()) != S_OK) std::abort();
    BStr first = Text(document.Get());
    if (engine->Calculate(document.Get()) != S_OK) std::abort();
    if (Text(document.Get()).View() != first.View()) std::abort();
    return 0;
}
