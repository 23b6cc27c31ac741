#include "dsptest/struct_document.h"

#include "com/bstr.h"

#include <algorithm>
#include <string>

namespace {

constexpr uint32_t kIndexNames = 64;

// "0" .. "63" as BSTRs, made once: arrays are walked element by element.
BSTR IndexName(uint32_t index) {
    static const std::vector<BStr> names = [] {
        std::vector<BStr> made;
        for (uint32_t i = 0; i < kIndexNames; ++i) made.emplace_back(Utf8ToUtf16(std::to_string(i)));
        return made;
    }();
    return names[index].Get();
}

const WCHAR kTestParams[] = OLESTR("TestParams");

// A value as type; false for a node without a value (it counts as missing)
// and for one that does not convert.
bool As(VARTYPE type, VARIANT* value) {
    if (value->vt == VT_EMPTY) return false;
    return value->vt == type || SUCCEEDED(VariantChangeType(value, value, 0, type));
}

} // namespace

DocumentWriter::DocumentWriter(IGenericDataNode* root, const WCHAR* structName) {
    BStr key(kTestParams);
    ComPtr<IGenericDataNode> params;
    if (!root || FAILED(root->AddChild(key.Get(), params.Put()))) {
        ok_ = false;
        return;
    }
    VARIANT name;
    VariantInit(&name);
    name.vt = VT_BSTR;
    name.bstrVal = SysAllocString(structName);
    ok_ = SUCCEEDED(params->SetValue(name));
    VariantClear(&name);
    path_.push_back(std::move(params));
}

void DocumentWriter::Put(const WCHAR* key, const VARIANT& value) {
    if (!ok_) return;
    BStr name(key);
    ok_ = SUCCEEDED(path_.back()->AddChildWithValue(name.Get(), value));
}

void DocumentWriter::Int(const WCHAR* key, int32_t& value) {
    VARIANT v;
    v.vt = VT_INT;
    v.intVal = value;
    Put(key, v);
}

void DocumentWriter::Real(const WCHAR* key, float& value) {
    VARIANT v;
    v.vt = VT_R4;
    v.fltVal = value;
    Put(key, v);
}

void DocumentWriter::Text(const WCHAR* key, WCHAR* text, uint32_t capacity) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(text, static_cast<UINT>(std::char_traits<WCHAR>::length(text)));
    if (!v.bstrVal && ok_) ok_ = capacity == 0;
    if (v.bstrVal) Put(key, v);
    VariantClear(&v);
}

void DocumentWriter::Push(BSTR name) {
    ComPtr<IGenericDataNode> child;
    if (ok_ && FAILED(path_.back()->AddChild(name, child.Put()))) ok_ = false;
    path_.push_back(ok_ ? std::move(child) : path_.back());
}

bool DocumentWriter::Enter(const WCHAR* key) {
    BStr name(key);
    Push(name.Get());
    return true;
}

bool DocumentWriter::EnterIndex(uint32_t index) {
    Push(IndexName(index));
    return true;
}

void DocumentWriter::Leave() { path_.pop_back(); }

void DocumentWriter::IndexInt(int32_t& value) {
    VARIANT v;
    v.vt = VT_INT;
    v.intVal = value;
    if (ok_) ok_ = SUCCEEDED(path_.back()->SetValue(v));
}

void DocumentWriter::IndexReal(float& value) {
    VARIANT v;
    v.vt = VT_R4;
    v.fltVal = value;
    if (ok_) ok_ = SUCCEEDED(path_.back()->SetValue(v));
}

DocumentReader::DocumentReader(IGenericDataNode* root, const WCHAR* structName) {
    BStr key(kTestParams);
    ComPtr<IGenericDataNode> params;
    if (!root || FAILED(root->GetChild(key.Get(), params.Put()))) return;
    VARIANT name;
    VariantInit(&name);
    const bool same = SUCCEEDED(params->GetValue(&name)) && name.vt == VT_BSTR &&
                      BstrView(name.bstrVal) == WideStringView(structName);
    VariantClear(&name);
    if (same) path_.push_back(std::move(params));
}

void DocumentReader::Int(const WCHAR* key, int32_t& value) {
    if (path_.empty()) return;
    BStr name(key);
    VARIANT v;
    VariantInit(&v);
    if (SUCCEEDED(path_.back()->GetChildValue(name.Get(), &v)) && As(VT_INT, &v)) value = v.intVal;
    VariantClear(&v);
}

void DocumentReader::Real(const WCHAR* key, float& value) {
    if (path_.empty()) return;
    BStr name(key);
    VARIANT v;
    VariantInit(&v);
    if (SUCCEEDED(path_.back()->GetChildValue(name.Get(), &v)) && As(VT_R4, &v)) value = v.fltVal;
    VariantClear(&v);
}

void DocumentReader::Text(const WCHAR* key, WCHAR* text, uint32_t capacity) {
    if (path_.empty() || capacity == 0) return;
    BStr name(key);
    VARIANT v;
    VariantInit(&v);
    if (SUCCEEDED(path_.back()->GetChildValue(name.Get(), &v)) && As(VT_BSTR, &v)) {
        const WideStringView read = BstrView(v.bstrVal);
        const size_t n = std::min<size_t>(read.size(), capacity - 1);
        std::copy_n(read.data(), n, text);
        std::fill(text + n, text + capacity, WCHAR(0));
    }
    VariantClear(&v);
}

bool DocumentReader::Step(BSTR name) {
    if (path_.empty()) return false;
    ComPtr<IGenericDataNode> child;
    if (FAILED(path_.back()->GetChild(name, child.Put()))) return false;
    path_.push_back(std::move(child));
    return true;
}

bool DocumentReader::Enter(const WCHAR* key) {
    BStr name(key);
    return Step(name.Get());
}

bool DocumentReader::EnterIndex(uint32_t index) { return Step(IndexName(index)); }

bool DocumentReader::Has(const WCHAR* key) {
    if (path_.empty()) return false;
    BStr name(key);
    ComPtr<IGenericDataNode> child;
    return SUCCEEDED(path_.back()->GetChild(name.Get(), child.Put()));
}

void DocumentReader::Leave() { path_.pop_back(); }

void DocumentReader::IndexInt(int32_t& value) {
    VARIANT v;
    VariantInit(&v);
    if (SUCCEEDED(path_.back()->GetValue(&v)) && As(VT_INT, &v)) value = v.intVal;
    VariantClear(&v);
}

void DocumentReader::IndexReal(float& value) {
    VARIANT v;
    VariantInit(&v);
    if (SUCCEEDED(path_.back()->GetValue(&v)) && As(VT_R4, &v)) value = v.fltVal;
    VariantClear(&v);
}
