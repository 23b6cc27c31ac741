// The parameter text of a time query and the "GPSParams" document.
#include "gps/gps_params.h"

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "com/variant.h"
#include "text.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>

namespace {

// GpsPos, BaudRate, Parity, StopBits, DataBits, nComNo.
using Six = std::array<int32_t, 6>;
Six Fields(const GpsParams& p) { return {p.GpsPos, p.BaudRate, p.Parity, p.StopBits, p.DataBits, p.nComNo}; }

} // namespace

// Each key reads its leading decimal digits; a malformed text says where and changes nothing.
TEST(GpsParamText, ReadEveryKeyOrRefused) {
    constexpr auto NoSemicolon = GpsTextStatus::MissingSemicolon, Empty = GpsTextStatus::EmptyItem;
    constexpr auto NoEquals = GpsTextStatus::MissingEquals;
    const Six untouched = Fields(GpsParams{});
    const struct {
        std::string text;
        Six params;
        GpsTextStatus::Reason reason = GpsTextStatus::Ok;
        size_t offset = 0;
    } cases[] = {
        {"GPSPOS=2;COM=3;BAUDRATE=4800;PARITY=EVEN;STOPBITS=1;DATABITS=8;", {2, 4800, 2, 1, 8, 3}},
        {"DATABITS=7;STOPBITS=2;PARITY=ODD;BAUDRATE=19200;COM=12;GPSPOS=0;", {0, 19200, 1, 2, 7, 12}},
        // Keys not named are zero.
        {"GPSPOS=2;", {2, 0, 0, 0, 0, 0}},
        {"", {0, 0, 0, 0, 0, 0}},
        {"OTHER=5;", {0, 0, 0, 0, 0, 0}},
        {"BAUDRATE=96x00;", {0, 96, 0, 0, 0, 0}},
        {"BAUDRATE=;", {0, 0, 0, 0, 0, 0}},
        {"COM=-4;", {0, 0, 0, 0, 0, -4}},
        {"BAUDRATE=99999999999;", {0, INT32_MAX, 0, 0, 0, 0}}, // saturated
        {"BAUDRATE=-99999999999;", {0, INT32_MIN, 0, 0, 0, 0}},
        {"BAUDRATE=0x10;", {0, 0, 0, 0, 0, 0}}, // decimal only
        {" GPSPOS=2;", {2, 0, 0, 0, 0, 0}},     // a key is found anywhere in its item
        // Parity words: a later match wins.
        {"PARITY=NO;", {0, 0, 0, 0, 0, 0}},
        {"PARITY=ODD;", {0, 0, 1, 0, 0, 0}},
        {"PARITY=NOODD;", {0, 0, 1, 0, 0, 0}},
        {"PARITY=EVENNO;", {0, 0, 2, 0, 0, 0}},
        {"PARITY=ODDEVEN;", {0, 0, 2, 0, 0, 0}},
        {"PARITY=MARK;", {0, 0, 0, 0, 0, 0}},
        {"PARITY=even;", {0, 0, 0, 0, 0, 0}},
        {"PARITY=3;", {0, 0, 0, 0, 0, 0}},
        {"GPSPOS=2;COM=3;BAUDRATE=4800;PARITY=EVEN;STOPBITS=1;DATABITS=8", untouched, NoSemicolon, 62},
        {"GPSPOS=2", untouched, NoSemicolon, 8},
        {";", untouched, Empty, 0},
        {"GPSPOS=2;;COM=1;", untouched, Empty, 9},
        {"GPSPOS;", untouched, NoEquals, 0},
        {"COM=1;BAUDRATE 9600;", untouched, NoEquals, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        GpsParams params;
        GpsTextStatus status = ParseGpsParamText(Utf8ToUtf16(c.text), &params);
        EXPECT_EQ(status.reason, c.reason);
        EXPECT_EQ(status.offset, c.offset);
        EXPECT_EQ(Fields(params), c.params);
    }
}

TEST(GpsParamsDocument, WrittenAndReadBack) {
    CoInitialize(nullptr);
    GpsParams params{2, 4800, 2, 0, 5, 7};
    ComPtr<IGenericData> document;
    ASSERT_EQ(WriteGpsParamsDocument(params, document.Put()), S_OK);
    BStr xml;
    ASSERT_EQ(document->ToXMLString(xml.Put()), S_OK);
    std::string text = Utf16ToUtf8(xml.View());
    EXPECT_NE(text.find("\"GPSParams\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"VarelStruct_GPS\""), std::string::npos) << text;
    GpsParams read;
    ASSERT_TRUE(ReadGpsParamsDocument(document.Get(), &read));
    EXPECT_EQ(Fields(read), (Six{2, 4800, 2, 0, 5, 7}));
    CoUninitialize();
}

TEST(GpsParamsDocument, MissingValuesKeepTheDefaultsAndANodelessDocumentIsRefused) {
    CoInitialize(nullptr);
    ComPtr<IGenericData> document;
    ASSERT_EQ(CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData,
                               document.PutVoid()),
              S_OK);
    GpsParams params;
    EXPECT_FALSE(ReadGpsParamsDocument(document.Get(), &params));
    EXPECT_FALSE(ReadGpsParamsDocument(nullptr, &params));
    ComPtr<IGenericDataNode> root, node;
    ASSERT_EQ(document->GetRootNode(root.Put()), S_OK);
    ASSERT_EQ(root->AddChild(BStr(OLESTR("GPSParams")).Get(), node.Put()), S_OK);
    ASSERT_EQ(node->AddChildWithValue(BStr(OLESTR("nComNo")).Get(), Variant::I4(4)), S_OK);
    Variant text;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(OLESTR("not a number"));
    ASSERT_EQ(node->AddChildWithValue(BStr(OLESTR("BaudRate")).Get(), text), S_OK);
    ASSERT_TRUE(ReadGpsParamsDocument(document.Get(), &params));
    EXPECT_EQ(Fields(params), (Six{1, 9600, 0, 1, 8, 4}));
    CoUninitialize();
}
