// Arbitrary bytes as a document file and as a host's UTF-16 text: loading
// must answer S_OK or S_FALSE, never crash, and a loaded tree must write and
// load back to the same text.
#include "gdata/named_data.h"

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "gdata/xml_reader.h"
#include "gdata/xml_writer.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TreeRef tree;
    HRESULT hr = ReadTreeFromXml(data, size, XmlBytes::File, &tree);
    if (hr != S_OK && hr != S_FALSE) std::abort();
    if (hr == S_OK) {
        std::string text = WriteTreeAsXml(*tree, XmlTemplate::Text);
        TreeRef again;
        if (ReadTreeFromXml(text.data(), text.size(), XmlBytes::File, &again) != S_OK) std::abort();
        if (WriteTreeAsXml(*again, XmlTemplate::Text) != text) std::abort();
    }

    ComPtr<IGenericData> document;
    if (FAILED(CreateGenericData(IID_IGenericData, document.PutVoid()))) return 0;
    BStr wide(WideStringView(reinterpret_cast<const WCHAR*>(data), size / 2));
    hr = document->Load(wide.Get());
    if (hr != S_OK && hr != S_FALSE) std::abort();
    return 0;
}
