// Calculation requests in documents: the walk, reading with defaults,
// writing every input and result, the "Result" mark, blank requests.
#include "calc_test_support.h"

#include <sstream>
#include <vector>

namespace {

class RequestTest : public CalcTest {
protected:
    void SetUp() override {
        CalcTest::SetUp();
        ASSERT_EQ(CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData,
                                   document_.PutVoid()),
                  S_OK);
        ASSERT_EQ(document_->GetRootNode(root_.Put()), S_OK);
    }
    void TearDown() override {
        root_.Reset();
        document_.Reset();
        CalcTest::TearDown();
    }
    ComPtr<IGenericDataNode> Request(const WideString& name, const Variant& value) {
        ComPtr<IGenericDataNode> node;
        EXPECT_EQ(root_->AddChild(BStr(name).Get(), node.Put()), S_OK);
        node->SetValue(value);
        return node;
    }
    // Finds or adds every node of a dotted path and sets the last one.
    static void Set(IGenericDataNode* node, const WideString& path, const Variant& value) {
        ComPtr<IGenericDataNode> at(node);
        size_t begin = 0;
        for (size_t dot; (dot = path.find(OLESTR('.'), begin)) != WideString::npos; begin = dot + 1) {
            ComPtr<IGenericDataNode> next;
            ASSERT_EQ(at->AddChild(BStr(path.substr(begin, dot - begin)).Get(), next.Put()), S_OK);
            at = next;
        }
        ASSERT_EQ(at->AddChildWithValue(BStr(path.substr(begin)).Get(), value), S_OK);
    }
    // The value at a dotted path as text, "<missing>" when there is none.
    static std::string Text(IGenericDataNode* node, const WideString& path, VARTYPE* type = nullptr) {
        Variant value;
        if (node->GetChildValue(BStr(path).Get(), &value) != S_OK) return "<missing>";
        if (type) *type = value.vt;
        Variant text;
        if (value.vt == VT_EMPTY) return "";
        if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR))) return "<no text>";
        return Utf16ToUtf8(BstrView(text.bstrVal));
    }
    static double Number(IGenericDataNode* node, const WideString& path) {
        Variant value, real;
        if (node->GetChildValue(BStr(path).Get(), &value) != S_OK) return NAN;
        if (VariantChangeType(&real, &value, 0, VT_R8) != S_OK) return NAN;
        return real.dblVal;
    }
    HRESULT Calculate() { return engine()->Calculate(document_.Get()); }
    // A blank request of the code, in place of the document's content: its "CalcParams" node.
    ComPtr<IGenericDataNode> Blank(int32_t code) {
        VTS_InitCalcParams(document_.Get(), code);
        root_.Reset();
        EXPECT_EQ(document_->GetRootNode(root_.Put()), S_OK);
        ComPtr<IGenericDataNode> request;
        EXPECT_EQ(root_->GetChild(BStr(OLESTR("CalcParams")).Get(), request.Put()), S_OK);
        return request;
    }

    ComPtr<IGenericData> document_;
    ComPtr<IGenericDataNode> root_;
};

// A number as a variant of the given type.
Variant Of(VARTYPE vt, double v) {
    Variant x;
    x.vt = vt;
    switch (vt) {
    case VT_R4: x.fltVal = static_cast<float>(v); break;
    case VT_R8: x.dblVal = v; break;
    case VT_UI1: x.bVal = static_cast<BYTE>(v); break;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: x.iVal = static_cast<SHORT>(v); break;
    default: x.lVal = static_cast<LONG>(v); // VT_I4, VT_UI4, VT_INT and VT_UINT share it
    }
    return x;
}
Variant R4(float v) { return Of(VT_R4, v); }
Variant Int(int32_t v) { return Of(VT_INT, v); }

TEST_F(RequestTest, LoadStateRequestWithOneInput) {
    auto x = Request(OLESTR("X"), Int(0));
    Set(x.Get(), OLESTR("Us"), R4(100));
    ASSERT_EQ(Calculate(), S_OK);
    EXPECT_EQ(Text(x.Get(), OLESTR("Result")), "1");
    EXPECT_EQ(Text(x.Get(), OLESTR("Result.Up.0.Mag")), "100");
    EXPECT_EQ(Text(x.Get(), OLESTR("Result.Up.0.Ang")), "0");
    EXPECT_EQ(Text(x.Get(), OLESTR("Result.Up.1.Ang")), "-120");
    for (const OLECHAR* path :
         {OLESTR("Result.Ip.0.Mag"), OLESTR("Result.Ip.1.Mag"), OLESTR("Result.Ip.2.Ang")})
        EXPECT_EQ(Text(x.Get(), path), "0");
    VARTYPE type = VT_EMPTY;
    EXPECT_EQ(Text(x.Get(), OLESTR("ILoad_Mag"), &type), "0");
    EXPECT_EQ(type, VT_R4);
    EXPECT_EQ(Text(x.Get(), OLESTR("ILoad_Ang")), "0");
    EXPECT_EQ(Text(x.Get(), OLESTR(""), &type), "<missing>");
    Variant value;
    x->GetValue(&value);
    EXPECT_EQ(value.vt, VT_INT);
}

TEST_F(RequestTest, CodesFromEveryIntegerLikeValue) {
    struct Case {
        const char* what;
        Variant value;
        const char* power; // Result.P: 1 from the inputs, 0 on the defaults, or not run
    };
    std::vector<Case> cases;
    for (VARTYPE vt : {VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT, VT_UINT, VT_R4, VT_R8})
        cases.push_back({"integer-like", Of(vt, 7), "1"});
    cases.push_back({"real truncated", Of(VT_R8, 7.4), "1"});
    cases.push_back({"text", Variant::Text(OLESTR("7")), "1"});
    cases.push_back({"text with blanks", Variant::Text(OLESTR("  7")), "1"});
    cases.push_back({"text with a tail, read as no code", Variant::Text(OLESTR("7abc")), "0"});
    cases.push_back({"text without digits", Variant::Text(OLESTR("abc")), "<missing>"});
    cases.push_back({"empty", Variant(), "<missing>"});
    cases.push_back({"negative", Of(VT_I4, -7), "<missing>"});
    cases.push_back({"bool", Of(VT_BOOL, VARIANT_TRUE), "<missing>"});
    cases.push_back({"unlisted integer type", Of(VT_UI1, 7), "<missing>"});
    int n = 0;
    for (const Case& c : cases) {
        WideString name = Utf8ToUtf16("R" + std::to_string(n++));
        auto r = Request(name, c.value);
        Set(r.Get(), OLESTR("Up.0.Mag"), R4(1));
        Set(r.Get(), OLESTR("Ip.0.Mag"), R4(1));
    }
    ASSERT_EQ(Calculate(), S_OK);
    n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WideString name = Utf8ToUtf16("R" + std::to_string(n++));
        EXPECT_EQ(Text(root_.Get(), name + OLESTR(".Result.P")), c.power);
    }
}

TEST_F(RequestTest, CodesWithoutACalculationAndFailedRequestsOnlyGetTheMark) {
    auto withResult = Request(OLESTR("A"), Int(8));
    ComPtr<IGenericDataNode> result;
    withResult->AddChild(BStr(OLESTR("Result")).Get(), result.Put());
    auto without = Request(OLESTR("B"), Int(99));
    auto diff = Request(OLESTR("C"), Int(120));
    diff->AddChild(BStr(OLESTR("Result")).Get(), result.Put());
    auto osc = Request(OLESTR("D"), Int(141));
    auto failed = Request(OLESTR("P"), Int(4));
    for (int i = 0; i < 3; ++i)
        Set(failed.Get(), Utf8ToUtf16("Up." + std::to_string(i) + ".Mag"), R4(1)); // 1∠0 three times
    failed->AddChild(BStr(OLESTR("Result")).Get(), result.Put());
    ASSERT_EQ(Calculate(), S_OK);
    EXPECT_EQ(Text(withResult.Get(), OLESTR("Result")), "0");
    Variant value;
    withResult->GetValue(&value);
    EXPECT_EQ(value.vt, VT_INT);
    EXPECT_EQ(value.intVal, 8) << "the value stays";
    EXPECT_EQ(Text(without.Get(), OLESTR("Result")), "<missing>");
    EXPECT_EQ(Text(diff.Get(), OLESTR("Result")), "1") << "the differential methods succeed";
    EXPECT_EQ(Text(osc.Get(), OLESTR("Result")), "<missing>");
    ComPtr<IDispatch> children;
    EXPECT_EQ(osc->Children(children.Put()), E_NOINTERFACE) << "nothing is written";
    EXPECT_EQ(Text(failed.Get(), OLESTR("Result")), "0");
    EXPECT_EQ(Text(failed.Get(), OLESTR("Result.Up")), "<missing>");
    EXPECT_EQ(Text(failed.Get(), OLESTR("Up.0.Ang")), "<missing>") << "inputs are not written either";
}

TEST_F(RequestTest, ValueThatDoesNotReadBackAsItsCodeRunsOnDefaults) {
    auto r = Request(OLESTR("F"), Of(VT_R8, 1.7)); // the walk truncates to 1, the reader rounds to 2
    Set(r.Get(), OLESTR("Us"), R4(100));
    Set(r.Get(), OLESTR("FaultType"), Int(9));
    ASSERT_EQ(Calculate(), S_OK);
    EXPECT_EQ(Text(r.Get(), OLESTR("Result")), "1");
    EXPECT_EQ(Text(r.Get(), OLESTR("Us")), "57.735") << "overwritten with the default";
    EXPECT_EQ(Text(r.Get(), OLESTR("FaultType")), "0");
    Variant value;
    r->GetValue(&value);
    EXPECT_EQ(value.vt, VT_INT);
    EXPECT_EQ(value.intVal, 1);
}

TEST_F(RequestTest, TextCodeRunsAndMalformedFieldsKeepTheirDefaults) {
    auto r = Request(OLESTR("F"), Variant::Text(OLESTR("1")));
    Set(r.Get(), OLESTR("Us"), Variant::Text(OLESTR("not a number")));
    Set(r.Get(), OLESTR("FaultIf"), Variant::Text(OLESTR("2.5")));
    Set(r.Get(), OLESTR("FaultType"), Of(VT_R8, 8.6)); // converts by rounding
    ASSERT_EQ(Calculate(), S_OK);
    EXPECT_EQ(Text(r.Get(), OLESTR("Us")), "57.735");
    EXPECT_EQ(Text(r.Get(), OLESTR("FaultIf")), "2.5");
    VARTYPE type;
    EXPECT_EQ(Text(r.Get(), OLESTR("FaultType"), &type), "9");
    EXPECT_EQ(type, VT_INT) << "ints are written as VT_INT";
    EXPECT_NEAR(Number(r.Get(), OLESTR("Result.Ip.1.Mag")), 2.5, 1e-6);
}

TEST_F(RequestTest, BadArgumentsAndEmptyDocuments) {
    EXPECT_EQ(engine()->Calculate(nullptr), E_POINTER);
    EXPECT_EQ(engine()->Calculate(engine()), E_POINTER) << "not a document";
    EXPECT_EQ(Calculate(), S_OK) << "a root without children";
}

// The structure of each request code as the document spells it: fields in
// order; "i:" ints, "T:" input triples, "r:" and "R:" results under "Result".
const char* const kTail =
    " i:FaultType i:FaultDirection Us ILoad_Mag ILoad_Ang i:KL_Mode KL_Mag KL_Ang KL_KR KL_KX";
const char* const kSix = " R:Up_PreFault R:Ip_PreFault R:Up_Fault R:Ip_Fault R:Up_TransFault R:Ip_TransFault";

struct RequestLayout {
    int32_t code;
    HRESULT (STDMETHODCALLTYPE ICalcEngine::*method)(BYTE*, LONG);
    size_t size;
    std::string fields;
};

std::vector<RequestLayout> Layouts() {
    const std::string fault =
        "Us ILoad_Mag ILoad_Ang i:FaultType i:FaultDirection FaultUf FaultIf FaultZf_Mag FaultZf_Ang "
        "i:CalcuMode "
        "Zs_Mag Zs_Ang Ks_Mag Ks_Ang i:KL_Mode KL_Mag KL_Ang KL_KR KL_KX";
    return {
        {0, &ICalcEngine::Calculate_LoadState, 60, "Us ILoad_Mag ILoad_Ang R:Up R:Ip"},
        {1, &ICalcEngine::Calculate_Fault, 124, fault + " R:Up R:Ip"},
        {2, &ICalcEngine::Calculate_GPFault, 104,
         std::string("Zzd_Mag Zzd_Ang m FaultIf") + kTail + " R:Up R:Ip"},
        {3, &ICalcEngine::Calculate_ABCtoPP, 48, "T:Up R:Up"},
        {4, &ICalcEngine::Calculate_PPtoABC, 48, "T:Up R:Up"},
        {5, &ICalcEngine::Calculate_ABCto120, 48, "T:Up R:Up"},
        {6, &ICalcEngine::Calculate_120toABC, 48, "T:Up R:Up"},
        {7, &ICalcEngine::Calculate_PQ, 64, "i:CalcuMode T:Up T:Ip r:P r:Q r:COS"},
        {100, &ICalcEngine::Calculate_Shot, 248,
         "Us ILoad_Mag ILoad_Ang i:FaultType i:FaultDirection FaultUf FaultIf FaultZf_Mag FaultZf_Ang "
         "i:bFaultTrans "
         "i:TransFaultType i:TransFaultDirection TransFaultUf TransFaultIf TransFaultZf_Mag TransFaultZf_Ang "
         "i:CalcuMode Zs_Mag Zs_Ang Ks_Mag Ks_Ang i:KL_Mode KL_Mag KL_Ang KL_KR KL_KX" +
             std::string(kSix)},
        {101, &ICalcEngine::Calculate_Distance, 200,
         std::string("Zzd_Mag Zzd_Ang Zf_Ratio FaultIf") + kTail + kSix},
        {102, &ICalcEngine::Calculate_GPDistance, 200,
         std::string("Zzd_Mag Zzd_Ang m FaultIf") + kTail + kSix},
        {103, &ICalcEngine::Calculate_OverCurr, 200,
         std::string("Izd If_Ratio Zf_Mag Zf_Ang") + kTail + kSix},
        {104, &ICalcEngine::Calculate_NegSeqCurr, 200,
         std::string("Izd If_Ratio Zf_Mag Zf_Ang") + kTail + kSix},
        {105, &ICalcEngine::Calculate_ZeroSeqCurr, 200,
         std::string("Izd If_Ratio Zf_Mag Zf_Ang") + kTail + kSix},
    };
}

struct Slot {
    WideString path;
    bool isInt, result;
};

std::vector<Slot> Slots(const std::string& fields) {
    std::vector<Slot> slots;
    std::istringstream words(fields);
    std::string word;
    while (words >> word) {
        char kind = word.size() > 2 && word[1] == ':' ? word[0] : 'f';
        std::string name = kind == 'f' ? word : word.substr(2);
        bool result = kind == 'r' || kind == 'R';
        std::string base = (result ? "Result." : "") + name;
        if (kind == 'T' || kind == 'R') {
            for (int i = 0; i < 3; ++i)
                for (const char* part : {".Mag", ".Ang"})
                    slots.push_back({Utf8ToUtf16(base + "." + std::to_string(i) + part), false, result});
        } else {
            slots.push_back({Utf8ToUtf16(base), kind == 'i', result});
        }
    }
    return slots;
}

// An input that every calculation accepts and that differs from the default.
int32_t IntInput(int32_t code, const WideString& path) {
    if (path == OLESTR("FaultType")) return 2;
    if (path == OLESTR("TransFaultType")) return 7;
    if (path == OLESTR("CalcuMode")) return code == 1 ? 2 : 1;
    return 1; // directions, KL_Mode, bFaultTrans
}

TEST_F(RequestTest, EveryCodeGivesTheNumbersOfItsMethod) {
    for (const RequestLayout& layout : Layouts()) {
        SCOPED_TRACE(testing::Message() << "code " << layout.code);
        ComPtr<IGenericDataNode> request = Blank(layout.code);
        ASSERT_TRUE(request);
        const std::vector<Slot> slots = Slots(layout.fields);
        ASSERT_EQ(slots.size() * 4, layout.size) << "the layout covers the structure";

        // New inputs: a closing balanced triangle for the triples, distinct reals elsewhere.
        std::vector<uint32_t> expected(slots.size());
        for (size_t i = 0; i < slots.size(); ++i) {
            const Slot& slot = slots[i];
            if (slot.result) continue;
            if (slot.isInt) {
                int32_t v = IntInput(layout.code, slot.path);
                Set(request.Get(), slot.path, Int(v));
                std::memcpy(&expected[i], &v, 4);
                continue;
            }
            float v = 0.75f + 0.5f * static_cast<float>(i);
            if (slot.path.find(OLESTR(".Mag")) != WideString::npos) v = 100;
            if (slot.path.find(OLESTR(".Ang")) != WideString::npos)
                v = 30 - 120.0f * static_cast<float>(i / 2 % 3);
            Set(request.Get(), slot.path, Of(VT_R8, v)); // reading converts any variant
            std::memcpy(&expected[i], &v, 4);
        }
        ASSERT_EQ(Calculate(), S_OK);
        EXPECT_EQ(Text(request.Get(), OLESTR("Result")), "1");

        // Everything the request now holds, read back as the structure.
        std::vector<uint32_t> fromDocument(slots.size()), typed(slots.size());
        for (size_t i = 0; i < slots.size(); ++i) {
            Variant value, converted;
            ASSERT_EQ(request->GetChildValue(BStr(slots[i].path).Get(), &value), S_OK)
                << Utf16ToUtf8(slots[i].path);
            ASSERT_EQ(VariantChangeType(&converted, &value, 0, slots[i].isInt ? VT_INT : VT_R4), S_OK);
            std::memcpy(&fromDocument[i], &converted.intVal, 4);
            if (!slots[i].result) {
                EXPECT_EQ(fromDocument[i], expected[i]) << Utf16ToUtf8(slots[i].path) << " was read and kept";
                typed[i] = fromDocument[i];
            }
        }
        ASSERT_EQ(
            (engine()->*layout.method)(reinterpret_cast<BYTE*>(typed.data()), static_cast<LONG>(layout.size)),
            S_OK);
        for (size_t i = 0; i < slots.size(); ++i)
            EXPECT_EQ(typed[i], fromDocument[i]) << Utf16ToUtf8(slots[i].path);
    }
}

TEST_F(RequestTest, BlankRequests) {
    ComPtr<IGenericDataNode> request = Blank(4);
    ASSERT_TRUE(request);
    Variant value;
    request->GetValue(&value);
    EXPECT_EQ(value.vt, VT_UI4);
    EXPECT_EQ(value.ulVal, 4u);
    for (const char* path : {"Up.0.Mag", "Up.2.Ang", "Result.Up.0.Mag", "Result.Up.1.Ang"})
        EXPECT_EQ(Text(request.Get(), Utf8ToUtf16(path)), "0") << path;

    const std::string before = [&] {
        BStr xml;
        document_->ToXMLString(xml.Put());
        return Utf16ToUtf8(xml.View());
    }();
    for (int32_t code : {8, 99, 106, 120, 141, -1}) {
        VTS_InitCalcParams(document_.Get(), code);
        BStr xml;
        document_->ToXMLString(xml.Put());
        EXPECT_EQ(Utf16ToUtf8(xml.View()), before) << "code " << code << " leaves the document alone";
    }
    VTS_InitCalcParams(nullptr, 1);

    request = Blank(103);
    EXPECT_EQ(Text(request.Get(), OLESTR("Izd")), "5");
    EXPECT_EQ(Text(request.Get(), OLESTR("If_Ratio")), "1.05");
    EXPECT_EQ(Text(request.Get(), OLESTR("KL_KX")), "0.67");
    EXPECT_EQ(Text(request.Get(), OLESTR("Result.Ip_TransFault.2.Ang")), "0");
    EXPECT_EQ(Text(request.Get(), OLESTR("Up")), "<missing>") << "the old request is gone";
}

} // namespace
