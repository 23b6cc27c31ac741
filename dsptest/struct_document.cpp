#include "dsptest/struct_document.h"

#include "com/bstr.h"
#include "com/variant.h"

#include <algorithm>
#include <string>

namespace {

constexpr uint32_t kIndexNames = 64;

// "0" .. "63" as BSTRs, made once: arrays (of 51 elements at most) are
// written and read element by element.
BSTR IndexName(uint32_t index) {
    static const std::vector<BStr> names = [] {
        std::vector<BStr> made;
        for (uint32_t i = 0; i < kIndexNames; ++i) made.emplace_back(Utf8ToUtf16(std::to_string(i)));
        return made;
    }();
    return names[index].Get();
}

const WCHAR kTestParams[] = OLESTR("TestParams");

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
    tree_ = OwnTreeNode(root);
    if (!tree_) return;
    TreeNode* params = FindChild(*tree_, WideStringView(kTestParams));
    if (!params) return;
    const VARIANT& name = params->value;
    if (name.vt == VT_BSTR && BstrView(name.bstrVal) == WideStringView(structName)) path_.push_back(params);
}

const VARIANT* DocumentReader::Value(const WCHAR* key) const {
    if (path_.empty()) return nullptr;
    const TreeNode* node = FindChild(*path_.back(), WideStringView(key));
    return node ? &node->value : nullptr;
}

bool DocumentReader::ReadAs(const VARIANT* value, VARTYPE type, VARIANT* out) {
    if (!value || value->vt == VT_EMPTY) return false;
    if (value->vt == type) {
        *out = *value; // a plain value: nothing to own
        return true;
    }
    VariantInit(out);
    return SUCCEEDED(VariantChangeType(out, value, 0, type));
}

void DocumentReader::Int(const WCHAR* key, int32_t& value) { ReadInt(Value(key), value); }

void DocumentReader::Real(const WCHAR* key, float& value) { ReadReal(Value(key), value); }

void DocumentReader::ReadInt(const VARIANT* from, int32_t& value) {
    VARIANT v;
    if (ReadAs(from, VT_INT, &v)) value = v.intVal;
}

void DocumentReader::ReadReal(const VARIANT* from, float& value) {
    VARIANT v;
    if (ReadAs(from, VT_R4, &v)) value = v.fltVal;
}

void DocumentReader::Text(const WCHAR* key, WCHAR* text, uint32_t capacity) {
    const VARIANT* from = Value(key);
    if (capacity == 0 || !from || from->vt == VT_EMPTY) return;
    Variant converted;
    if (from->vt != VT_BSTR) {
        if (FAILED(VariantChangeType(&converted, from, 0, VT_BSTR))) return;
        from = &converted;
    }
    const WideStringView read = BstrView(from->bstrVal);
    const size_t n = std::min<size_t>(read.size(), capacity - 1);
    std::copy_n(read.data(), n, text);
    std::fill(text + n, text + capacity, WCHAR(0));
}

bool DocumentReader::Step(WideStringView name) {
    if (path_.empty()) return false;
    TreeNode* child = FindChild(*path_.back(), name);
    if (!child) return false;
    path_.push_back(child);
    return true;
}

bool DocumentReader::Enter(const WCHAR* key) { return Step(WideStringView(key)); }

bool DocumentReader::EnterIndex(uint32_t index) { return Step(BstrView(IndexName(index))); }

bool DocumentReader::Has(const WCHAR* key) {
    return !path_.empty() && FindChild(*path_.back(), WideStringView(key)) != nullptr;
}

void DocumentReader::Leave() { path_.pop_back(); }

void DocumentReader::IndexInt(int32_t& value) { ReadInt(&path_.back()->value, value); }

void DocumentReader::IndexReal(float& value) { ReadReal(&path_.back()->value, value); }
