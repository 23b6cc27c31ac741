#include "calc_request.h"

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "com/variant.h"
#include "sub_calcu.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

enum class FieldKind : uint8_t { Float, Int, Triple };

// One field of a request structure and its node: inputs directly under the
// request, results under its child "Result".
struct CalcField {
    const OLECHAR* name;
    uint16_t offset;
    FieldKind kind;
    bool result;
};

#define CALC_FLOAT(S, f) \
    { OLESTR(#f), offsetof(S, f), FieldKind::Float, false }
#define CALC_INT(S, f) \
    { OLESTR(#f), offsetof(S, f), FieldKind::Int, false }
#define CALC_TRIPLE(S, f) \
    { OLESTR(#f), offsetof(S, f), FieldKind::Triple, false }
#define CALC_RESULT_FLOAT(S, f) \
    { OLESTR(#f), offsetof(S, f), FieldKind::Float, true }
#define CALC_RESULT_TRIPLE(S, f, name) \
    { OLESTR(name), offsetof(S, f), FieldKind::Triple, true }
#define CALC_SYSTEM(S) CALC_FLOAT(S, Us), CALC_FLOAT(S, ILoad_Mag), CALC_FLOAT(S, ILoad_Ang)
#define CALC_EARTH_FACTOR(S)                                                                  \
    CALC_INT(S, KL_Mode), CALC_FLOAT(S, KL_Mag), CALC_FLOAT(S, KL_Ang), CALC_FLOAT(S, KL_KR), \
        CALC_FLOAT(S, KL_KX)
#define CALC_SIX_STATES(S)                                                                                \
    CALC_RESULT_TRIPLE(S, Up_PreFault, "Up_PreFault"), CALC_RESULT_TRIPLE(S, Ip_PreFault, "Ip_PreFault"), \
        CALC_RESULT_TRIPLE(S, Up_Fault, "Up_Fault"), CALC_RESULT_TRIPLE(S, Ip_Fault, "Ip_Fault"),         \
        CALC_RESULT_TRIPLE(S, Up_TransFault, "Up_TransFault"),                                            \
        CALC_RESULT_TRIPLE(S, Ip_TransFault, "Ip_TransFault")

const CalcField kLoadStateFields[] = {
    CALC_SYSTEM(VarelCalc_LoadState),
    CALC_RESULT_TRIPLE(VarelCalc_LoadState, Up, "Up"),
    CALC_RESULT_TRIPLE(VarelCalc_LoadState, Ip, "Ip"),
};

const CalcField kFaultFields[] = {
    CALC_SYSTEM(VarelCalc_Fault),
    CALC_INT(VarelCalc_Fault, FaultType),
    CALC_INT(VarelCalc_Fault, FaultDirection),
    CALC_FLOAT(VarelCalc_Fault, FaultUf),
    CALC_FLOAT(VarelCalc_Fault, FaultIf),
    CALC_FLOAT(VarelCalc_Fault, FaultZf_Mag),
    CALC_FLOAT(VarelCalc_Fault, FaultZf_Ang),
    CALC_INT(VarelCalc_Fault, CalcuMode),
    CALC_FLOAT(VarelCalc_Fault, Zs_Mag),
    CALC_FLOAT(VarelCalc_Fault, Zs_Ang),
    CALC_FLOAT(VarelCalc_Fault, Ks_Mag),
    CALC_FLOAT(VarelCalc_Fault, Ks_Ang),
    CALC_EARTH_FACTOR(VarelCalc_Fault),
    CALC_RESULT_TRIPLE(VarelCalc_Fault, Up, "Up"),
    CALC_RESULT_TRIPLE(VarelCalc_Fault, Ip, "Ip"),
};

// The inputs the power-frequency variation, distance and current-setting
// structures share after their first four.
#define CALC_SETTING_TAIL(S) \
    CALC_INT(S, FaultType), CALC_INT(S, FaultDirection), CALC_SYSTEM(S), CALC_EARTH_FACTOR(S)

const CalcField kGPFaultFields[] = {
    CALC_FLOAT(VarelCalc_GPFault, Zzd_Mag),
    CALC_FLOAT(VarelCalc_GPFault, Zzd_Ang),
    CALC_FLOAT(VarelCalc_GPFault, m),
    CALC_FLOAT(VarelCalc_GPFault, FaultIf),
    CALC_SETTING_TAIL(VarelCalc_GPFault),
    CALC_RESULT_TRIPLE(VarelCalc_GPFault, Up, "Up"),
    CALC_RESULT_TRIPLE(VarelCalc_GPFault, Ip, "Ip"),
};

const CalcField kABCPPFields[] = {
    CALC_TRIPLE(VarelCalc_ABCPP, Up),
    CALC_RESULT_TRIPLE(VarelCalc_ABCPP, Result_Up, "Up"),
};

const CalcField kABC120Fields[] = {
    CALC_TRIPLE(VarelCalc_ABC120, Up),
    CALC_RESULT_TRIPLE(VarelCalc_ABC120, Result_Up, "Up"),
};

const CalcField kPQFields[] = {
    CALC_INT(VarelCalc_PQ, CalcuMode),  CALC_TRIPLE(VarelCalc_PQ, Up),
    CALC_TRIPLE(VarelCalc_PQ, Ip),      CALC_RESULT_FLOAT(VarelCalc_PQ, P),
    CALC_RESULT_FLOAT(VarelCalc_PQ, Q), CALC_RESULT_FLOAT(VarelCalc_PQ, COS),
};

const CalcField kShotFields[] = {
    CALC_SYSTEM(VarelCalc_Shot),
    CALC_INT(VarelCalc_Shot, FaultType),
    CALC_INT(VarelCalc_Shot, FaultDirection),
    CALC_FLOAT(VarelCalc_Shot, FaultUf),
    CALC_FLOAT(VarelCalc_Shot, FaultIf),
    CALC_FLOAT(VarelCalc_Shot, FaultZf_Mag),
    CALC_FLOAT(VarelCalc_Shot, FaultZf_Ang),
    CALC_INT(VarelCalc_Shot, bFaultTrans),
    CALC_INT(VarelCalc_Shot, TransFaultType),
    CALC_INT(VarelCalc_Shot, TransFaultDirection),
    CALC_FLOAT(VarelCalc_Shot, TransFaultUf),
    CALC_FLOAT(VarelCalc_Shot, TransFaultIf),
    CALC_FLOAT(VarelCalc_Shot, TransFaultZf_Mag),
    CALC_FLOAT(VarelCalc_Shot, TransFaultZf_Ang),
    CALC_INT(VarelCalc_Shot, CalcuMode),
    CALC_FLOAT(VarelCalc_Shot, Zs_Mag),
    CALC_FLOAT(VarelCalc_Shot, Zs_Ang),
    CALC_FLOAT(VarelCalc_Shot, Ks_Mag),
    CALC_FLOAT(VarelCalc_Shot, Ks_Ang),
    CALC_EARTH_FACTOR(VarelCalc_Shot),
    CALC_SIX_STATES(VarelCalc_Shot),
};

const CalcField kDistanceFields[] = {
    CALC_FLOAT(VarelCalc_Distance, Zzd_Mag),  CALC_FLOAT(VarelCalc_Distance, Zzd_Ang),
    CALC_FLOAT(VarelCalc_Distance, Zf_Ratio), CALC_FLOAT(VarelCalc_Distance, FaultIf),
    CALC_SETTING_TAIL(VarelCalc_Distance),    CALC_SIX_STATES(VarelCalc_Distance),
};

const CalcField kGPDistanceFields[] = {
    CALC_FLOAT(VarelCalc_GPDistance, Zzd_Mag), CALC_FLOAT(VarelCalc_GPDistance, Zzd_Ang),
    CALC_FLOAT(VarelCalc_GPDistance, m),       CALC_FLOAT(VarelCalc_GPDistance, FaultIf),
    CALC_SETTING_TAIL(VarelCalc_GPDistance),   CALC_SIX_STATES(VarelCalc_GPDistance),
};

const CalcField kCurrentSettingFields[] = {
    CALC_FLOAT(VarelCalc_OverCurr, Izd),    CALC_FLOAT(VarelCalc_OverCurr, If_Ratio),
    CALC_FLOAT(VarelCalc_OverCurr, Zf_Mag), CALC_FLOAT(VarelCalc_OverCurr, Zf_Ang),
    CALC_SETTING_TAIL(VarelCalc_OverCurr),  CALC_SIX_STATES(VarelCalc_OverCurr),
};

using StructureMethod = HRESULT (STDMETHODCALLTYPE ICalcEngine::*)(BYTE*, LONG);

// A request code, its method and the structure it reads and writes (none
// for the methods that calculate nothing).
struct RequestKind {
    int32_t code;
    StructureMethod method;
    uint32_t size;
    const CalcField* fields;
    size_t fieldCount;
    void (*setDefaults)(void* structure);
};

template <class S>
void DefaultsOf(void* structure) {
    SetDefaults(*static_cast<S*>(structure));
}

#define CALC_REQUEST(code, method, S, fields) \
    { code, &ICalcEngine::method, sizeof(S), fields, sizeof(fields) / sizeof(fields[0]), DefaultsOf<S> }
#define CALC_EMPTY_REQUEST(code, method, size) \
    { code, &ICalcEngine::method, size, nullptr, 0, nullptr }

const RequestKind kRequests[] = {
    CALC_REQUEST(VARELCALC_LOADSTATE, Calculate_LoadState, VarelCalc_LoadState, kLoadStateFields),
    CALC_REQUEST(VARELCALC_FAULT, Calculate_Fault, VarelCalc_Fault, kFaultFields),
    CALC_REQUEST(VARELCALC_GPFAULT, Calculate_GPFault, VarelCalc_GPFault, kGPFaultFields),
    CALC_REQUEST(VARELCALC_ABCTOPP, Calculate_ABCtoPP, VarelCalc_ABCPP, kABCPPFields),
    CALC_REQUEST(VARELCALC_PPTOABC, Calculate_PPtoABC, VarelCalc_ABCPP, kABCPPFields),
    CALC_REQUEST(VARELCALC_ABCTO120, Calculate_ABCto120, VarelCalc_ABC120, kABC120Fields),
    CALC_REQUEST(VARELCALC_120TOABC, Calculate_120toABC, VarelCalc_ABC120, kABC120Fields),
    CALC_REQUEST(VARELCALC_PQ, Calculate_PQ, VarelCalc_PQ, kPQFields),
    CALC_REQUEST(VARELCALC_SHOT, Calculate_Shot, VarelCalc_Shot, kShotFields),
    CALC_REQUEST(VARELCALC_DISTANCE, Calculate_Distance, VarelCalc_Distance, kDistanceFields),
    CALC_REQUEST(VARELCALC_GPDISTANCE, Calculate_GPDistance, VarelCalc_GPDistance, kGPDistanceFields),
    CALC_REQUEST(VARELCALC_OVERCURR, Calculate_OverCurr, VarelCalc_OverCurr, kCurrentSettingFields),
    CALC_REQUEST(VARELCALC_NEGSEQCURR, Calculate_NegSeqCurr, VarelCalc_NegSeqCurr, kCurrentSettingFields),
    CALC_REQUEST(VARELCALC_ZEROSEQCURR, Calculate_ZeroSeqCurr, VarelCalc_ZeroSeqCurr, kCurrentSettingFields),
    CALC_EMPTY_REQUEST(VARELCALC_DIFF, Calculate_Diff, 208),
    CALC_EMPTY_REQUEST(VARELCALC_DIFF_KP, Calculate_Diff_KP, 60),
    CALC_EMPTY_REQUEST(VARELCALC_DIFF_SHOT, Calculate_Diff_Shot, 168),
    CALC_EMPTY_REQUEST(VARELCALC_DIFF_IRID, Calculate_Diff_IrId, 116),
    CALC_EMPTY_REQUEST(VARELCALC_DIFF5, Calculate_Diff5, 208),
    CALC_EMPTY_REQUEST(VARELCALC_OSC, Calculate_Osc, 1),
    CALC_EMPTY_REQUEST(VARELCALC_OSC_ZK, Calculate_Osc_Zk, 1),
};

// Large enough and aligned for every structure above.
struct alignas(4) StructureBuffer {
    BYTE bytes[sizeof(VarelCalc_Shot)];
};

const RequestKind* FindRequest(int64_t code) {
    for (const RequestKind& kind : kRequests)
        if (kind.code == code) return &kind;
    return nullptr;
}

// The code a request node's value names: integers as they are, reals
// truncated toward zero, text read as a decimal integer (blanks and a sign
// first, anything after the digits ignored). False for any other value.
bool RequestCode(const VARIANT& value, int64_t* code) {
    switch (value.vt) {
        case VT_I2:
            *code = value.iVal;
            return true;
        case VT_UI2:
            *code = value.uiVal;
            return true;
        case VT_I4:
            *code = value.lVal;
            return true;
        case VT_UI4:
            *code = value.ulVal;
            return true;
        case VT_INT:
            *code = value.intVal;
            return true;
        case VT_UINT:
            *code = value.uintVal;
            return true;
        case VT_R4:
        case VT_R8: {
            double real = value.vt == VT_R4 ? value.fltVal : value.dblVal;
            if (!(std::fabs(real) < 2147483648.0)) return false;
            *code = static_cast<int64_t>(std::trunc(real));
            return true;
        }
        case VT_BSTR: {
            WideStringView text = BstrView(value.bstrVal);
            size_t i = 0;
            while (i < text.size() && (text[i] == OLESTR(' ') || text[i] == OLESTR('\t'))) ++i;
            bool negative = false;
            if (i < text.size() && (text[i] == OLESTR('-') || text[i] == OLESTR('+')))
                negative = text[i++] == OLESTR('-');
            size_t first = i;
            int64_t n = 0;
            for (; i < text.size() && text[i] >= OLESTR('0') && text[i] <= OLESTR('9'); ++i) {
                n = n * 10 + (text[i] - OLESTR('0'));
                if (n > INT32_MAX) return false;
            }
            if (i == first) return false;
            *code = negative ? -n : n;
            return true;
        }
        default:
            return false;
    }
}

float* FloatAt(BYTE* structure, const CalcField& field) {
    return reinterpret_cast<float*>(structure + field.offset);
}
int32_t* IntAt(BYTE* structure, const CalcField& field) {
    return reinterpret_cast<int32_t*>(structure + field.offset);
}

const OLECHAR* const kPhaseNames[3] = {OLESTR("0"), OLESTR("1"), OLESTR("2")};

// The path of a field's node below the request, or of one part of a triple.
WideString FieldPath(const CalcField& field, int phase = -1, const OLECHAR* part = nullptr) {
    WideString path = field.result ? WideString(OLESTR("Result.")) : WideString();
    path += field.name;
    if (phase >= 0) {
        path += OLESTR('.');
        path += kPhaseNames[phase];
        path += OLESTR('.');
        path += part;
    }
    return path;
}

// The value at path converted to type; false when there is none or it does not convert.
bool ReadConverted(IGenericDataNode* request, const WideString& path, VARTYPE type, Variant* converted) {
    Variant value;
    if (request->GetChildValue(BStr(path).Get(), &value) != S_OK) return false;
    return VariantChangeType(converted, &value, 0, type) == S_OK;
}

void ReadFloat(IGenericDataNode* request, const WideString& path, float* target) {
    Variant converted;
    if (ReadConverted(request, path, VT_R4, &converted)) *target = converted.fltVal;
}

void ReadInt(IGenericDataNode* request, const WideString& path, int32_t* target) {
    Variant converted;
    if (ReadConverted(request, path, VT_INT, &converted)) *target = converted.intVal;
}

void ReadRequest(IGenericDataNode* request, const RequestKind& kind, BYTE* structure) {
    for (size_t f = 0; f < kind.fieldCount; ++f) {
        const CalcField& field = kind.fields[f];
        switch (field.kind) {
            case FieldKind::Float:
                ReadFloat(request, FieldPath(field), FloatAt(structure, field));
                break;
            case FieldKind::Int:
                ReadInt(request, FieldPath(field), IntAt(structure, field));
                break;
            case FieldKind::Triple:
                for (int phase = 0; phase < 3; ++phase) {
                    float* pair = FloatAt(structure, field) + 2 * phase;
                    ReadFloat(request, FieldPath(field, phase, OLESTR("Mag")), pair);
                    ReadFloat(request, FieldPath(field, phase, OLESTR("Ang")), pair + 1);
                }
                break;
        }
    }
}

Variant R4(float value) {
    Variant v;
    v.vt = VT_R4;
    v.fltVal = value;
    return v;
}

Variant Int(int32_t value) {
    Variant v;
    v.vt = VT_INT;
    v.intVal = value;
    return v;
}

ComPtr<IGenericDataNode> Child(IGenericDataNode* parent, const OLECHAR* name) {
    ComPtr<IGenericDataNode> child;
    if (parent) parent->AddChild(BStr(name).Get(), child.Put());
    return child;
}

void WriteField(IGenericDataNode* parent, const CalcField& field, BYTE* structure) {
    if (!parent) return;
    BStr name(field.name);
    switch (field.kind) {
        case FieldKind::Float:
            parent->AddChildWithValue(name.Get(), R4(*FloatAt(structure, field)));
            break;
        case FieldKind::Int:
            parent->AddChildWithValue(name.Get(), Int(*IntAt(structure, field)));
            break;
        case FieldKind::Triple: {
            ComPtr<IGenericDataNode> triple = Child(parent, field.name);
            for (int phase = 0; phase < 3 && triple; ++phase) {
                ComPtr<IGenericDataNode> node = Child(triple.Get(), kPhaseNames[phase]);
                if (!node) continue;
                const float* pair = FloatAt(structure, field) + 2 * phase;
                node->AddChildWithValue(BStr(OLESTR("Mag")).Get(), R4(pair[0]));
                node->AddChildWithValue(BStr(OLESTR("Ang")).Get(), R4(pair[1]));
            }
            break;
        }
    }
}

// The request's value becomes its code; every input and every result is
// written, nodes made as needed.
void WriteRequest(IGenericDataNode* request, const RequestKind& kind, BYTE* structure) {
    request->SetValue(Int(kind.code));
    ComPtr<IGenericDataNode> results;
    for (size_t f = 0; f < kind.fieldCount; ++f) {
        const CalcField& field = kind.fields[f];
        if (field.result && !results) results = Child(request, OLESTR("Result"));
        WriteField(field.result ? results.Get() : request, field, structure);
    }
}

void RunRequest(ICalcEngine* engine, IGenericDataNode* request) {
    Variant value;
    int64_t code;
    if (request->GetValue(&value) != S_OK || !RequestCode(value, &code) || code < 0) return;
    const RequestKind* kind = FindRequest(code);
    HRESULT hr = E_NOTIMPL;  // no calculation has this code
    if (kind && kind->fields) {
        StructureBuffer structure;
        kind->setDefaults(structure.bytes);
        // A request whose value does not read back as its code runs on the defaults.
        Variant own;
        if (VariantChangeType(&own, &value, 0, VT_INT) == S_OK && own.intVal == code)
            ReadRequest(request, *kind, structure.bytes);
        hr = (engine->*kind->method)(structure.bytes, static_cast<LONG>(kind->size));
        if (SUCCEEDED(hr)) WriteRequest(request, *kind, structure.bytes);
    } else if (kind) {
        hr = (engine->*kind->method)(nullptr, static_cast<LONG>(kind->size));
    }
    ComPtr<IGenericDataNode> mark;
    if (request->GetChild(BStr(OLESTR("Result")).Get(), mark.Put()) == S_OK)
        mark->SetValue(Variant::Text(SUCCEEDED(hr) ? OLESTR("1") : OLESTR("0")));
}

} // namespace

HRESULT CalculateDocument(ICalcEngine* engine, IDispatch* document) {
    if (!document) return E_POINTER;
    ComPtr<IGenericData> data;
    if (FAILED(document->QueryInterface(IID_IGenericData, data.PutVoid()))) return E_POINTER;
    ComPtr<IGenericDataNode> root;
    if (FAILED(data->GetRootNode(root.Put()))) return E_POINTER;
    ComPtr<IDispatch> children;
    if (root->Children(children.Put()) != S_OK) return S_OK;  // nothing to calculate
    ComPtr<IEnumGenericNodes> walk;
    if (FAILED(children.As(IID_IEnumGenericNodes, &walk))) return S_OK;
    ComPtr<IGenericDataNode> request;
    while (walk->Next(nullptr, request.Put()) == S_OK) RunRequest(engine, request.Get());
    return S_OK;
}

void WriteBlankRequest(IGenericData* document, int32_t code) {
    const RequestKind* kind = FindRequest(code);
    if (!document || !kind || !kind->fields) return;
    document->Load(nullptr);
    ComPtr<IGenericDataNode> root;
    if (FAILED(document->GetRootNode(root.Put()))) return;
    ComPtr<IGenericDataNode> request = Child(root.Get(), OLESTR("CalcParams"));
    if (!request) return;
    StructureBuffer structure;
    kind->setDefaults(structure.bytes);
    WriteRequest(request.Get(), *kind, structure.bytes);
    Variant value;
    value.vt = VT_UI4;
    value.ulVal = static_cast<ULONG>(code);
    request->SetValue(value);
}
