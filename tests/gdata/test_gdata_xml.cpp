// The XML form: loading rules, writing layout, files in UTF-8 and UTF-16,
// and hostile input that must leave the tree as it was.
#include "gdata_test_support.h"

#include <fstream>
#include <iterator>

namespace {

using XmlTest = GenericDataTest;

std::string TempPath(const std::string& name) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "gdata_" + info->name() + "_" + name;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

HRESULT LoadFile(IGenericData* document, const std::string& path) {
    return document->LoadFromFile(BStr(Utf8ToUtf16(path)).Get());
}

TEST_F(XmlTest, ElementsWithoutIdAreSkippedWithTheirSubtree) {
    auto document = NewDocument();
    ASSERT_EQ(Load(document.Get(), OLESTR("<any a=\"b\">text<Para id=\"X\" value=\"1\"/><!-- c -->")
                                   OLESTR("<Para value=\"2\"><Para id=\"Hidden\" value=\"3\"/></Para>")
                                   OLESTR("<other id=\"Y\"/></any>")),
              S_OK);
    auto root = Root(document.Get());
    EXPECT_EQ(ChildNames(root.Get()), (std::vector<std::string>{"X", "Y"}));
    VARTYPE type = VT_EMPTY;
    EXPECT_EQ(Value(root.Get(), OLESTR("X"), &type), "1");
    EXPECT_EQ(type, VT_BSTR) << "values load as text";
    EXPECT_EQ(Value(root.Get(), OLESTR("Y"), &type), "");
    EXPECT_EQ(type, VT_EMPTY) << "no \"value\" leaves the value empty";
}

TEST_F(XmlTest, ValueTypesConvertOrLeaveText) {
    struct Case {
        const WCHAR* attributes;
        VARTYPE type;
        const char* text;
    } cases[] = {
        {OLESTR("value=\"1.5\" valuetype=\"double\""), VT_R8, "1.5"},
        {OLESTR("value=\"1.5\" valuetype=\"float\""), VT_R4, "1.5"},
        {OLESTR("value=\"-7\" valuetype=\"int\""), VT_I4, "-7"},
        {OLESTR("value=\"70000\" valuetype=\"long\""), VT_I4, "70000"},
        {OLESTR("value=\"-300\" valuetype=\"short\""), VT_I2, "-300"},
        {OLESTR("value=\"100\" valuetype=\"char\""), VT_I1, "100"},
        {OLESTR("value=\"x\" valuetype=\"int\""), VT_BSTR, "x"},
        {OLESTR("value=\"300\" valuetype=\"char\""), VT_BSTR, "300"},
        {OLESTR("value=\"2\" valuetype=\"Int\""), VT_BSTR, "2"},
        {OLESTR("value=\"2\" valuetype=\"bool\""), VT_BSTR, "2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.attributes));
        auto document = NewDocument();
        ASSERT_EQ(Load(document.Get(), OLESTR("<r><P id=\"k1\" ") + WideString(c.attributes) + OLESTR("/></r>")), S_OK);
        VARTYPE type = VT_EMPTY;
        EXPECT_EQ(Value(Root(document.Get()).Get(), OLESTR("k1"), &type), c.text);
        EXPECT_EQ(type, c.type);
    }
}

TEST_F(XmlTest, ArrayBoundsExpandNames) {
    struct Case {
        const WCHAR* bound;
        std::vector<std::string> names;
    } cases[] = {
        {OLESTR("3"), {"U[0]", "U[1]", "U[2]"}},
        {OLESTR("2,2"), {"U[0][0]", "U[0][1]", "U[1][0]", "U[1][1]"}},
        {OLESTR("1,2,2"), {"U[0][0][0]", "U[0][0][1]", "U[0][1][0]", "U[0][1][1]"}},
        {OLESTR("1,1,1,5"), {"U[0][0][0]"}},
        {OLESTR("0"), {"U"}},
        {OLESTR("x"), {"U"}},
        {OLESTR("0,2"), {"U[0]", "U[1]"}}, // a 0 leaves its slot free for the next number
        {OLESTR(" 2"), {"U[0]", "U[1]"}},
        {OLESTR("12"), {"U[0]", "U[10]", "U[11]", "U[1]", "U[2]", "U[3]", "U[4]", "U[5]", "U[6]", "U[7]", "U[8]", "U[9]"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.bound));
        auto document = NewDocument();
        ASSERT_EQ(Load(document.Get(), OLESTR("<r><P id=\"U\" value=\"0\" arraybound=\"") + WideString(c.bound) +
                                           OLESTR("\"><P id=\"Mag\" value=\"1\"/></P></r>")),
                  S_OK);
        auto root = Root(document.Get());
        EXPECT_EQ(ChildNames(root.Get()), c.names);
        WideString last = Utf8ToUtf16(c.names.back());
        EXPECT_EQ(Value(root.Get(), last), "0");
        EXPECT_EQ(Value(root.Get(), last + OLESTR(".Mag")), "1") << "each element is a copy of the whole subtree";
    }
}

TEST_F(XmlTest, RepeatedIdsMergeAndTheLaterValueWins) {
    auto document = NewDocument();
    ASSERT_EQ(Load(document.Get(), OLESTR("<r><P id=\"S\" value=\"1\"><P id=\"a\" value=\"1\"/><P id=\"b\" value=\"1\"/></P>")
                                   OLESTR("<P id=\"S\" value=\"2\"><P id=\"b\" value=\"2\"/><P id=\"c\" value=\"2\"/></P>")
                                   OLESTR("<P id=\"A\" value=\"0\" arraybound=\"2\"/><P id=\"A[1]\" value=\"9\"/></r>")),
              S_OK);
    auto root = Root(document.Get());
    EXPECT_EQ(ChildNames(root.Get()), (std::vector<std::string>{"A[0]", "A[1]", "S"}));
    EXPECT_EQ(Value(root.Get(), OLESTR("S")), "2");
    EXPECT_EQ(Value(root.Get(), OLESTR("S.a")), "1");
    EXPECT_EQ(Value(root.Get(), OLESTR("S.b")), "2");
    EXPECT_EQ(Value(root.Get(), OLESTR("S.c")), "2");
    EXPECT_EQ(Value(root.Get(), OLESTR("A[1]")), "9");
}

TEST_F(XmlTest, InitFuncIsReadButNotApplied) {
    auto document = NewDocument();
    ASSERT_EQ(Load(document.Get(), OLESTR("<r><init>1;2;3</init><P id=\"U\" value=\"0\" arraybound=\"3\" ")
                                   OLESTR("initfunc=\"/r/init\"/><P id=\"V\" value=\"0\" arraybound=\"1\" ")
                                   OLESTR("initfunc=\"((bad xpath\"/></r>")),
              S_OK);
    auto root = Root(document.Get());
    EXPECT_EQ(Value(root.Get(), OLESTR("U[2]")), "0");
    EXPECT_EQ(Value(root.Get(), OLESTR("V[0]")), "0");
}

TEST_F(XmlTest, WritingPutsOneElementPerLine) {
    auto document = NewDocument();
    EXPECT_EQ(document->ToXMLString(nullptr), E_INVALIDARG);
    BStr none;
    EXPECT_EQ(document->ToXMLString(none.Put()), E_INVALIDARG) << "no tree yet";
    auto root = Root(document.Get());
    EXPECT_EQ(Xml(document.Get()), "<?xml version=\"1.0\" encoding=\"utf-8\"?><root/>");

    ComPtr<IGenericDataNode> y;
    ASSERT_EQ(root->AddChild(BStr(OLESTR("Y")).Get(), y.Put()), S_OK);
    ASSERT_EQ(y->AddChildWithValue(BStr(OLESTR("Z")).Get(), Variant::I4(2)), S_OK);
    ASSERT_EQ(root->AddChildWithValue(BStr(OLESTR("X")).Get(), Variant::Text(OLESTR("1"))), S_OK);
    ASSERT_EQ(root->AddChildWithValue(BStr(OLESTR("Q")).Get(), Variant::Text(OLESTR("a<b&\"c\"\r\n"))), S_OK);
    EXPECT_EQ(Xml(document.Get()),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?><root>\r\n"
              "  <Para id=\"Q\" value=\"a&lt;b&amp;&quot;c&quot;&#13;&#10;\"/>\r\n"
              "  <Para id=\"X\" value=\"1\"/>\r\n"
              "  <Para id=\"Y\" value=\"\">\r\n"
              "    <Para id=\"Z\" value=\"2\"/>\r\n"
              "  </Para>\r\n"
              "</root>");
    EXPECT_EQ(Xml(document.Get()), Xml(document.Get())) << "saving twice gives identical text";

    auto again = NewDocument();
    BStr text;
    ASSERT_EQ(document->ToXMLString(text.Put()), S_OK);
    ASSERT_EQ(again->Load(text.Get()), S_OK);
    EXPECT_EQ(Value(Root(again.Get()).Get(), OLESTR("Q")), "a<b&\"c\"\r\n") << "escaped text comes back";
    EXPECT_EQ(Xml(again.Get()), Xml(document.Get()));
}

TEST_F(XmlTest, FilesRoundTripInUtf8AndLoadFromUtf16) {
    auto document = NewDocument();
    auto root = Root(document.Get());
    ComPtr<IGenericDataNode> params;
    ASSERT_EQ(root->AddChild(BStr(OLESTR("TestParams")).Get(), params.Put()), S_OK);
    ASSERT_EQ(params->SetValue(Variant::Text(OLESTR("VarelTest_State"))), S_OK);
    ASSERT_EQ(params->AddChildWithValue(BStr(OLESTR("\u540D\u79F0")).Get(), Variant::Text(OLESTR("\u72B6\u6001"))), S_OK);
    ComPtr<IGenericDataNode> state;
    ASSERT_EQ(params->AddChild(BStr(OLESTR("0")).Get(), state.Put()), S_OK);
    ASSERT_EQ(state->AddChildWithValue(BStr(OLESTR("fFre")).Get(), Variant::R8(50.0)), S_OK);

    std::string path = TempPath("doc.xml");
    EXPECT_EQ(document->SaveToFile(nullptr), E_INVALIDARG);
    ASSERT_EQ(document->SaveToFile(BStr(Utf8ToUtf16(path)).Get()), S_OK);
    std::string bytes = ReadFile(path);
    EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?><!--", 0), 0u) << bytes;
    EXPECT_NE(bytes.find("\u540D\u79F0"), std::string::npos) << "UTF-8 on disk";

    auto loaded = NewDocument();
    ASSERT_EQ(LoadFile(loaded.Get(), path), S_OK);
    auto loadedRoot = Root(loaded.Get());
    EXPECT_EQ(Value(loadedRoot.Get(), OLESTR("TestParams")), "VarelTest_State");
    EXPECT_EQ(Value(loadedRoot.Get(), OLESTR("TestParams.\u540D\u79F0")), "\u72B6\u6001");
    VARTYPE type;
    EXPECT_EQ(Value(loadedRoot.Get(), OLESTR("TestParams.0.fFre"), &type), "50");
    EXPECT_EQ(type, VT_BSTR) << "numbers come back as text";
    EXPECT_EQ(Xml(loaded.Get()), Xml(document.Get()));

    // The same text as UTF-16 with a byte-order mark, in both byte orders.
    WideString wide = Utf8ToUtf16(bytes);
    for (bool bigEndian : {false, true}) {
        std::string utf16 = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (WCHAR unit : wide) {
            char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
            utf16 += bigEndian ? std::string{high, low} : std::string{low, high};
        }
        std::string widePath = TempPath(bigEndian ? "be.xml" : "le.xml");
        WriteFile(widePath, utf16);
        auto fromUtf16 = NewDocument();
        ASSERT_EQ(LoadFile(fromUtf16.Get(), widePath), S_OK) << bigEndian;
        EXPECT_EQ(Xml(fromUtf16.Get()), Xml(document.Get()));
    }
}

TEST_F(XmlTest, EmptyTextDropsTheTree) {
    auto document = NewDocument();
    ASSERT_EQ(Load(document.Get(), OLESTR("<r><P id=\"A\"/></r>")), S_OK);
    EXPECT_EQ(document->Load(nullptr), S_FALSE);
    BStr text;
    EXPECT_EQ(document->ToXMLString(text.Put()), E_INVALIDARG) << "no tree after an empty load";
    EXPECT_EQ(document->SaveToFile(BStr(Utf8ToUtf16(TempPath("x.xml"))).Get()), E_INVALIDARG);
    ASSERT_EQ(Load(document.Get(), OLESTR("<r><P id=\"A\"/></r>")), S_OK);
    EXPECT_EQ(Load(document.Get(), OLESTR("")), S_FALSE);
    EXPECT_EQ(document->ToXMLString(text.Put()), E_INVALIDARG);
}

TEST_F(XmlTest, BadInputNeverChangesTheTree) {
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<P id=\"d\">";
    for (int i = 0; i < 100000; ++i) deep += "</P>";
    const std::string huge(4 << 20, 'v');
    const struct Case {
        const char* what;
        std::string bytes;
        bool fileOnly = false; // a byte fault that UTF-16 text cannot carry
    } cases[] = {
        {"truncated", "<root><Para id=\"A\" value=\"1\"/><Para id="},
        {"unclosed", "<root><Para id=\"A\">"},
        {"mismatched", "<root><a id=\"A\"></b></root>"},
        {"text only", "just text"},
        {"comment only", "<!-- nothing -->"},
        {"binary", std::string("\x00\x01\x02\xFF\xFE\x80<\x00r", 9)},
        {"invalid UTF-8", "<root><Para id=\"\xC3\x28\" value=\"1\"/></root>", true},
        {"overlong UTF-8", "<root><Para id=\"\xC0\xBC\"/></root>", true},
        {"deeply nested", "<root>" + deep + "</root>"},
        {"array too large", "<root><P id=\"U\" arraybound=\"100000,100000,100000\"/></root>"},
        {"arrays of arrays", "<root><P id=\"U\" arraybound=\"1024\"><P id=\"V\" arraybound=\"2048\"/></P></root>"},
        {"unterminated huge value", "<root><P id=\"A\" value=\"" + huge},
        {"empty file", ""},
    };
    auto document = NewDocument();
    ASSERT_EQ(Load(document.Get(), OLESTR("<root><Para id=\"Keep\" value=\"1\"/></root>")), S_OK);
    const std::string before = Xml(document.Get());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = TempPath("bad.xml");
        WriteFile(path, c.bytes);
        EXPECT_EQ(LoadFile(document.Get(), path), S_FALSE);
        if (!c.fileOnly) {
            EXPECT_EQ(Load(document.Get(), Utf8ToUtf16(c.bytes.empty() ? std::string("<") : c.bytes)), S_FALSE);
        }
        EXPECT_EQ(Xml(document.Get()), before);
    }
    EXPECT_EQ(LoadFile(document.Get(), TempPath("does-not-exist.xml")), S_FALSE);
    EXPECT_EQ(Xml(document.Get()), before);

    // A huge but well-formed value loads.
    ASSERT_EQ(Load(document.Get(), Utf8ToUtf16("<root><P id=\"A\" value=\"" + huge + "\"/></root>")), S_OK);
    EXPECT_EQ(Value(Root(document.Get()).Get(), OLESTR("A")).size(), huge.size());
}

} // namespace
