#include "comtrade_description.h"

#include <cstdio>

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "com/variant.h"
#include "debug_output.h"
#include "gdata/named_data.h"

namespace {

Variant Real(float value) {
    Variant v;
    v.vt = VT_R4;
    v.fltVal = value;
    return v;
}

WideString Numbered(const char* prefix, size_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%zu", prefix, index);
    return Utf8ToUtf16(name);
}

class Node {
public:
    explicit Node(ComPtr<IGenericDataNode> node) : node_(std::move(node)) {}
    void Set(const WCHAR* name, const Variant& value) {
        if (node_ && SUCCEEDED(result_)) result_ = node_->AddChildWithValue(BStr(name).Get(), value);
    }
    void Set(const WCHAR* name, const WideString& text) { Set(name, Variant::Text(text)); }
    Node Child(const WideString& name) {
        ComPtr<IGenericDataNode> child;
        if (node_ && SUCCEEDED(result_)) result_ = node_->AddChild(BStr(name).Get(), child.Put());
        return Node(child);
    }
    Node Child(const WCHAR* name) { return Child(WideString(name)); }

private:
    ComPtr<IGenericDataNode> node_;
    HRESULT result_ = S_OK;
};

void DescribeConfiguration(const ComtradeConfig& c, Node root) {
    root.Set(OLESTR("station_name"), c.station_name);
    root.Set(OLESTR("rec_dev_id"), c.rec_dev_id);
    root.Set(OLESTR("rev_year"), c.rev_year);
    root.Set(OLESTR("samp_time1"), c.firstTime);
    root.Set(OLESTR("samp_time2"), c.triggerTime);
    Node analog = root.Child(OLESTR("A_Channels"));
    for (size_t i = 0; i < c.analog.size(); ++i) {
        const ComtradeAnalogChannel& ch = c.analog[i];
        Node node = analog.Child(Numbered("ch", i));
        node.Set(OLESTR("ch_id"), ch.ch_id);
        node.Set(OLESTR("ph"), ch.ph);
        node.Set(OLESTR("ccbm"), ch.ccbm);
        node.Set(OLESTR("uu"), ch.uu);
        node.Set(OLESTR("a"), Real(ch.a));
        node.Set(OLESTR("b"), Real(ch.b));
        node.Set(OLESTR("skew"), Real(ch.skew));
        node.Set(OLESTR("min"), Variant::I4(ch.min));
        node.Set(OLESTR("max"), Variant::I4(ch.max));
        node.Set(OLESTR("primary"), Real(ch.primary));
        node.Set(OLESTR("secondary"), Real(ch.secondary));
        node.Set(OLESTR("ps"), WideString(1, ch.ps));
    }
    Node digital = root.Child(OLESTR("D_Channels"));
    for (size_t i = 0; i < c.digital.size(); ++i) {
        const ComtradeDigitalChannel& ch = c.digital[i];
        Node node = digital.Child(Numbered("ch", i));
        node.Set(OLESTR("ch_id"), ch.ch_id);
        node.Set(OLESTR("ph"), ch.ph);
        node.Set(OLESTR("ccbm"), ch.ccbm);
        node.Set(OLESTR("y"), Variant::I4(ch.y));
    }
    root.Set(OLESTR("lf"), Real(c.lf));
    Node rates = root.Child(OLESTR("nrates"));
    for (size_t i = 0; i < c.rates.size(); ++i) {
        Node node = rates.Child(Numbered("rate", i));
        node.Set(OLESTR("samp"), Real(c.rates[i].samp));
        node.Set(OLESTR("endsamp"), Variant::I4(c.rates[i].endsamp));
    }
}

void DescribeData(const CComtradeParser& parser, Node root) {
    const ComtradeConfig& c = parser.Config();
    Node analog = root.Child(OLESTR("A_Channels"));
    for (size_t i = 0; i < c.analog.size(); ++i) {
        Node node = analog.Child(Numbered("ch", i));
        node.Set(OLESTR("point_min"), Real(c.analog[i].point_min));
        node.Set(OLESTR("point_max"), Real(c.analog[i].point_max));
        node.Set(OLESTR("point_missing"), Variant::I4(static_cast<LONG>(c.analog[i].point_missing)));
    }
    const CSampMappingFile& mapping = parser.Mapping();
    Node memory = root.Child(OLESTR("mapping_memory"));
    memory.Set(OLESTR("name"), mapping.Name());
    memory.Set(OLESTR("point_count"), Variant::I4(static_cast<LONG>(mapping.FloatCount())));
    memory.Set(OLESTR("samp_rate"), Real(mapping.SampleRate()));
    memory.Set(OLESTR("start_time"), Variant::R8(mapping.StartTimeUs() / 1000.0));
}

} // namespace

WideString ComtradeDataPath(const WideString& cfgPath) {
    size_t dot = cfgPath.find_last_of('.');
    size_t slash = cfgPath.find_last_of(OLESTR("/\\"));
    if (dot == WideString::npos || (slash != WideString::npos && dot < slash))
        return cfgPath + OLESTR(".dat");
    WideString extension = cfgPath.substr(dot + 1);
    for (WCHAR& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<WCHAR>(c - 'A' + 'a');
    if (extension == OLESTR("cff")) return cfgPath; // a single-file recording
    bool upper = dot + 1 < cfgPath.size();
    for (size_t i = dot + 1; i < cfgPath.size(); ++i)
        upper = upper && !(cfgPath[i] >= 'a' && cfgPath[i] <= 'z');
    return cfgPath.substr(0, dot) + (upper ? OLESTR(".DAT") : OLESTR(".dat"));
}

HRESULT DescribeComtradeRecording(CComtradeParser* parser, const WideString& cfgPath, float requestedRate,
                                  IGenericData** document) {
    *document = nullptr;
    HRESULT result = parser->OpenCfgFile(cfgPath);
    if (result != 0) {
        DebugPrintf("WavePlay: OpenCfgFile failed.");
        return result;
    }
    ComPtr<IGenericData> made;
    HRESULT hr = CreateGenericData(IID_IGenericData, made.PutVoid());
    if (FAILED(hr)) return hr;
    ComPtr<IGenericDataNode> root;
    hr = made->GetRootNode(root.Put());
    if (FAILED(hr)) return hr;
    DescribeConfiguration(parser->Config(), Node(root));
    result = parser->ParseDatFile(ComtradeDataPath(cfgPath), requestedRate);
    if (result == 0) DescribeData(*parser, Node(root));
    *document = made.Detach();
    return result;
}
