// The description document of a recording.
#include "com/bstr.h"
#include "com/com_ptr.h"
#include "com/variant.h"
#include "comtrade_test_support.h"
#include "debug_log.h"
#include "leak_check.h"
#include "playback/comtrade_description.h"

namespace {

class ComtradeDescription : public ComtradeFiles {
protected:
    void SetUp() override {
        ComtradeFiles::SetUp();
        CoInitialize(nullptr);
    }
    void TearDown() override {
        document_.Reset();
        leaks_.ExpectNoLeaks();
        CoUninitialize();
        ComtradeFiles::TearDown();
    }
    // The value at a dotted path as text, "<missing>" when there is none.
    std::string Value(const char* path, VARTYPE* type = nullptr) {
        ComPtr<IGenericDataNode> root;
        EXPECT_EQ(document_->GetRootNode(root.Put()), S_OK);
        Variant value;
        if (root->GetChildValue(BStr(Utf8ToUtf16(path)).Get(), &value) != S_OK) return "<missing>";
        if (type) *type = value.vt;
        Variant text;
        if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR))) return "<no text>";
        return Utf16ToUtf8(BstrView(text.bstrVal));
    }

    LeakCheck leaks_;
    CComtradeParser parser_;
    ComPtr<IGenericData> document_;
};

const std::string kCfg =
    "Sub 1,Relay 7,1999\n3,2A,1D\n"
    "1,VA,A,Line 1,kV,0.5,0,0,-32767,32767,110,0.1,S\n"
    "2,IA,B,Line 1,A,1,2,0.25,-100,100,600,1,P\n"
    "1,Trip,C,Line 1,1\n"
    "50\n1\n1000,4\n01/02/2020,10:00:00.000000\n01/02/2020,10:00:00.001000\nASCII\n1\n";

TEST_F(ComtradeDescription, NodesOfTheConfigurationAndTheData) {
    Write("r.cfg", kCfg);
    Write("r.dat", "1,5000,1,3,0\n2,6000,-2,4,1\n3,7000,4,5,0\n4,8000,3,6,1\n");
    ASSERT_EQ(DescribeComtradeRecording(&parser_, Path("r.cfg"), 0.0f, document_.Put()), 0);
    ASSERT_TRUE(document_);
    VARTYPE type = VT_EMPTY;
    EXPECT_EQ(Value("station_name"), "Sub 1");
    EXPECT_EQ(Value("rec_dev_id"), "Relay 7");
    EXPECT_EQ(Value("rev_year"), "1999");
    EXPECT_EQ(Value("samp_time1"), "01/02/2020,10:00:00.000000");
    EXPECT_EQ(Value("samp_time2"), "01/02/2020,10:00:00.001000");
    EXPECT_EQ(Value("A_Channels.ch0.ch_id"), "VA");
    EXPECT_EQ(Value("A_Channels.ch0.uu"), "kV");
    EXPECT_EQ(Value("A_Channels.ch0.a", &type), "0.5");
    EXPECT_EQ(type, VT_R4);
    EXPECT_EQ(Value("A_Channels.ch1.ph"), "B");
    EXPECT_EQ(Value("A_Channels.ch1.b"), "2");
    EXPECT_EQ(Value("A_Channels.ch1.skew"), "0.25");
    EXPECT_EQ(Value("A_Channels.ch1.min", &type), "-100");
    EXPECT_EQ(type, VT_I4);
    EXPECT_EQ(Value("A_Channels.ch1.max"), "100");
    EXPECT_EQ(Value("A_Channels.ch1.primary"), "600");
    EXPECT_EQ(Value("A_Channels.ch1.secondary"), "1");
    EXPECT_EQ(Value("A_Channels.ch1.ps"), "P");
    EXPECT_EQ(Value("D_Channels.ch0.ch_id"), "Trip");
    EXPECT_EQ(Value("D_Channels.ch0.ph"), "C");
    EXPECT_EQ(Value("D_Channels.ch0.ccbm"), "Line 1");
    EXPECT_EQ(Value("D_Channels.ch0.y"), "1");
    EXPECT_EQ(Value("lf"), "50");
    EXPECT_EQ(Value("nrates.rate0.samp"), "1000");
    EXPECT_EQ(Value("nrates.rate0.endsamp"), "4");
    // kV: values in volts; P: primary values scaled back by 600 / 1 ((3 + 2) / 600).
    EXPECT_EQ(Value("A_Channels.ch0.point_min"), "-1000");
    EXPECT_EQ(Value("A_Channels.ch0.point_max"), "2000");
    EXPECT_EQ(Value("A_Channels.ch1.point_min", &type), "0.008333333");
    EXPECT_EQ(type, VT_R4);
    EXPECT_EQ(Value("mapping_memory.name"), "VAREL_BXHF_MAPPING");
    EXPECT_EQ(Value("mapping_memory.point_count"), "12");
    EXPECT_EQ(Value("mapping_memory.samp_rate"), "1000");
    EXPECT_EQ(Value("mapping_memory.start_time"), "5");
}

TEST_F(ComtradeDescription, DataFileFailureLeavesOutTheDataNodes) {
    Write("r.cfg", kCfg);
    EXPECT_EQ(DescribeComtradeRecording(&parser_, Path("r.cfg"), 0.0f, document_.Put()), 11);
    ASSERT_TRUE(document_);
    EXPECT_EQ(Value("A_Channels.ch0.ch_id"), "VA");
    EXPECT_EQ(Value("A_Channels.ch0.point_min"), "<missing>");
    EXPECT_EQ(Value("mapping_memory.name"), "<missing>");
}

TEST_F(ComtradeDescription, ConfigurationFailureGivesNoDocument) {
    DebugLogCapture log;
    EXPECT_EQ(DescribeComtradeRecording(&parser_, Path("none.cfg"), 0.0f, document_.Put()), 1);
    EXPECT_FALSE(document_);
    Write("bad.cfg", "S,D,1999\n6,3A,2D\n");
    EXPECT_EQ(DescribeComtradeRecording(&parser_, Path("bad.cfg"), 0.0f, document_.Put()), 2);
    EXPECT_FALSE(document_);
    EXPECT_EQ(log.Count("WavePlay: OpenCfgFile failed."), 2);
}

TEST(ComtradeDataPath, ExtensionBecomesDat) {
    struct Case {
        const char* cfg;
        const char* dat;
    } cases[] = {
        {"a/b/rec.cfg", "a/b/rec.dat"},
        {"C:\\rec\\FAULT.CFG", "C:\\rec\\FAULT.DAT"},
        {"rec.Cfg", "rec.dat"},
        {"dir.x/rec", "dir.x/rec.dat"},
        {"rec", "rec.dat"},
        {"rec.1.cfg", "rec.1.dat"},
        {"one.cff", "one.cff"},
        {"ONE.CFF", "ONE.CFF"},
    };
    for (const Case& k : cases) EXPECT_EQ(Utf16ToUtf8(ComtradeDataPath(Utf8ToUtf16(k.cfg))), k.dat) << k.cfg;
}

}  // namespace
