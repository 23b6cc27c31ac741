// Load and save of a document shaped like a 50-state test (TestParams →
// StatePara → 0..49 → Up/Ip → 0..15 → ten fields, about 18,000 nodes)
// against bare pugixml parsing and serialising the same text in the same run.
#include <varel/vts.h>

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "com/variant.h"
#include "text.h"

#include <pugixml.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

namespace {

// The best of several rounds, in microseconds per call.
double Measure(const std::function<void()>& call) {
    double best = 1e300;
    for (int round = 0; round < 7; ++round) {
        constexpr int kCalls = 10;
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kCalls; ++i) call();
        std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / kCalls);
    }
    return best;
}

WideString Name(int i) { return Utf8ToUtf16(std::to_string(i)); }

ComPtr<IGenericData> BuildDocument() {
    static const WCHAR* const kFields[] = {OLESTR("fMag"), OLESTR("fAng"), OLESTR("fFre"), OLESTR("fDC"), OLESTR("fHarm"),
                                              OLESTR("fStep"), OLESTR("fMax"), OLESTR("fMin"), OLESTR("nType"), OLESTR("bOn")};
    ComPtr<IGenericData> document;
    CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData, document.PutVoid());
    ComPtr<IGenericDataNode> root, params, states, state, group, channel;
    document->GetRootNode(root.Put());
    root->AddChild(BStr(OLESTR("TestParams")).Get(), params.Put());
    params->SetValue(Variant::Text(OLESTR("VarelTest_State")));
    params->AddChild(BStr(OLESTR("StatePara")).Get(), states.Put());
    for (int s = 0; s < 50; ++s) {
        states->AddChild(BStr(Name(s)).Get(), state.Put());
        for (const WCHAR* side : {OLESTR("Up"), OLESTR("Ip")}) {
            state->AddChild(BStr(side).Get(), group.Put());
            for (int c = 0; c < 16; ++c) {
                group->AddChild(BStr(Name(c)).Get(), channel.Put());
                int f = 0;
                for (const WCHAR* field : kFields)
                    channel->AddChildWithValue(BStr(field).Get(), Variant::R8(57.735 + s + c * 0.25 + f++));
            }
        }
    }
    return document;
}

class StringWriter final : public pugi::xml_writer {
public:
    void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
    std::string text;
};

} // namespace

int main() {
    CoInitialize(nullptr);
    ComPtr<IGenericData> document = BuildDocument();
    BStr xml;
    document->ToXMLString(xml.Put());
    const std::string utf8 = Utf16ToUtf8(xml.View());
    const size_t utf16Bytes = xml.Length() * sizeof(OLECHAR);

    ComPtr<IGenericData> target;
    CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData, target.PutVoid());
    double load = Measure([&] { target->Load(xml.Get()); });
    double parse16 = Measure([&] {
        pugi::xml_document dom;
        dom.load_buffer(xml.Get(), utf16Bytes, pugi::parse_default, pugi::encoding_utf16_le);
    });
    double parse8 = Measure([&] {
        pugi::xml_document dom;
        dom.load_buffer(utf8.data(), utf8.size(), pugi::parse_default, pugi::encoding_utf8);
    });

    double save = Measure([&] {
        BStr text;
        target->ToXMLString(text.Put());
    });
    pugi::xml_document dom;
    dom.load_buffer(utf8.data(), utf8.size(), pugi::parse_default | pugi::parse_ws_pcdata | pugi::parse_declaration);
    double serialise = Measure([&] {
        StringWriter writer;
        dom.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    });
    double serialise16 = Measure([&] {
        StringWriter writer;
        dom.save(writer, "", pugi::format_raw, pugi::encoding_utf16_le);
    });

    std::printf("gdata document: %zu bytes of UTF-8, %zu of UTF-16\n", utf8.size(), utf16Bytes);
    std::printf("load  Load(BSTR)       %9.0f us   pugixml parse UTF-16 %9.0f us   ratio %.2f\n", load, parse16,
                load / parse16);
    std::printf("                                        pugixml parse UTF-8  %9.0f us   ratio %.2f\n", parse8,
                load / parse8);
    std::printf("save  ToXMLString      %9.0f us   pugixml save UTF-16  %9.0f us   ratio %.2f\n", save,
                serialise16, save / serialise16);
    std::printf("                                        pugixml save UTF-8   %9.0f us   ratio %.2f\n", serialise,
                save / serialise);
    target.Reset();
    document.Reset();
    CoUninitialize();
    return 0;
}
