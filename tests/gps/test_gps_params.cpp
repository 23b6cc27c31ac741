// The parameter text of a time query and the "GPSParams" document.
#include "gps/gps_params.h"

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "com/variant.h"
#include "text.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

GpsParams Parsed(const char* text) {
    GpsParams params;
    GpsTextStatus status = ParseGpsParamText(Utf8ToUtf16(text), &params);
    EXPECT_EQ(status.reason, GpsTextStatus::Ok) << text;
    return params;
}

void ExpectParams(const GpsParams& p, int32_t pos, int32_t baud, int32_t parity, int32_t stop, int32_t data,
                  int32_t com) {
    EXPECT_EQ(p.GpsPos, pos);
    EXPECT_EQ(p.BaudRate, baud);
    EXPECT_EQ(p.Parity, parity);
    EXPECT_EQ(p.StopBits, stop);
    EXPECT_EQ(p.DataBits, data);
    EXPECT_EQ(p.nComNo, com);
}

} // namespace

TEST(GpsParamText, ReadsEveryKey) {
    ExpectParams(Parsed("GPSPOS=2;COM=3;BAUDRATE=4800;PARITY=EVEN;STOPBITS=1;DATABITS=8;"), 2, 4800, 2, 1, 8,
                 3);
    ExpectParams(Parsed("DATABITS=7;STOPBITS=2;PARITY=ODD;BAUDRATE=19200;COM=12;GPSPOS=0;"), 0, 19200, 1, 2,
                 7, 12);
}

TEST(GpsParamText, KeysNotNamedAreZero) {
    ExpectParams(Parsed("GPSPOS=2;"), 2, 0, 0, 0, 0, 0);
    ExpectParams(Parsed(""), 0, 0, 0, 0, 0, 0);
    ExpectParams(Parsed("OTHER=5;"), 0, 0, 0, 0, 0, 0);
}

TEST(GpsParamText, ValuesAreLeadingDecimalDigits) {
    EXPECT_EQ(Parsed("BAUDRATE=96x00;").BaudRate, 96);
    EXPECT_EQ(Parsed("BAUDRATE=;").BaudRate, 0);
    EXPECT_EQ(Parsed("COM=-4;").nComNo, -4);
    EXPECT_EQ(Parsed("BAUDRATE=99999999999;").BaudRate, INT32_MAX) << "saturated";
    EXPECT_EQ(Parsed("BAUDRATE=-99999999999;").BaudRate, INT32_MIN);
    EXPECT_EQ(Parsed("BAUDRATE=0x10;").BaudRate, 0) << "decimal only";
    // A key is found anywhere in its item.
    EXPECT_EQ(Parsed(" GPSPOS=2;").GpsPos, 2);
}

TEST(GpsParamText, ParityWordsLaterMatchWins) {
    const struct {
        const char* value;
        int32_t parity;
    } cases[] = {{"NO", 0},      {"ODD", 1},  {"EVEN", 2}, {"NOODD", 1}, {"EVENNO", 2},
                 {"ODDEVEN", 2}, {"MARK", 0}, {"even", 0}, {"3", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(Parsed(("PARITY=" + std::string(c.value) + ";").c_str()).Parity, c.parity);
    }
}

TEST(GpsParamText, MalformedTextsSayWhereAndChangeNothing) {
    const struct {
        const char* text;
        GpsTextStatus::Reason reason;
        size_t offset;
    } cases[] = {
        {"GPSPOS=2;COM=3;BAUDRATE=4800;PARITY=EVEN;STOPBITS=1;DATABITS=8", GpsTextStatus::MissingSemicolon,
         62},
        {"GPSPOS=2", GpsTextStatus::MissingSemicolon, 8},
        {";", GpsTextStatus::EmptyItem, 0},
        {"GPSPOS=2;;COM=1;", GpsTextStatus::EmptyItem, 9},
        {"GPSPOS;", GpsTextStatus::MissingEquals, 0},
        {"COM=1;BAUDRATE 9600;", GpsTextStatus::MissingEquals, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        GpsParams params;
        params.BaudRate = 1234;
        GpsTextStatus status = ParseGpsParamText(Utf8ToUtf16(c.text), &params);
        EXPECT_EQ(status.reason, c.reason);
        EXPECT_EQ(status.offset, c.offset);
        EXPECT_EQ(params.BaudRate, 1234);
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
    ExpectParams(read, 2, 4800, 2, 0, 5, 7);
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
    ExpectParams(params, 1, 9600, 0, 1, 8, 4);
    CoUninitialize();
}
