// A test struct and its document: one walk over the struct's fields, in
// the order of the struct, serves both writing a tree and reading it back.
// Scalars are children named after the field (ints as VT_INT, reals as
// VT_R4); arrays are children named "0", "1", ...
#pragma once

#include "com/com_ptr.h"
#include "gdata/named_data_node.h"
#include "text.h"

#include <varel/vts_gdata.h>

#include <cstdint>
#include <vector>

class FieldWalker {
public:
    virtual ~FieldWalker() = default;
    virtual void Int(const WCHAR* key, int32_t& value) = 0;
    virtual void Real(const WCHAR* key, float& value) = 0;
    // A text of at most capacity - 1 characters, always terminated.
    virtual void Text(const WCHAR* key, WCHAR* text, uint32_t capacity) = 0;
    // Steps into the child key (or an array element); false when reading
    // and there is none: the fields under it are left as they are.
    virtual bool Enter(const WCHAR* key) = 0;
    virtual bool EnterIndex(uint32_t index) = 0;
    virtual void Leave() = 0;
    // Whether reading finds key here; writing always does.
    virtual bool Has(const WCHAR* key) = 0;

    template <typename Body>
    void Child(const WCHAR* key, Body&& body) {
        if (!Enter(key)) return;
        body();
        Leave();
    }
    template <typename Body>
    void Array(const WCHAR* key, uint32_t count, Body&& body) {
        Child(key, [&] {
            for (uint32_t i = 0; i < count; ++i) {
                if (!EnterIndex(i)) continue;
                body(i);
                Leave();
            }
        });
    }
    template <size_t N>
    void Ints(const WCHAR* key, int32_t (&values)[N]) {
        Array(key, N, [&](uint32_t i) { IndexInt(values[i]); });
    }
    // An array that older documents keep under another key: read from
    // olderKey when key is missing, always written under key.
    template <size_t N>
    void Ints(const WCHAR* key, const WCHAR* olderKey, int32_t (&values)[N]) {
        Ints(Has(key) || !Has(olderKey) ? key : olderKey, values);
    }
    template <size_t N>
    void Reals(const WCHAR* key, float (&values)[N]) {
        Array(key, N, [&](uint32_t i) { IndexReal(values[i]); });
    }

protected:
    // The value of the array element just entered.
    virtual void IndexInt(int32_t& value) = 0;
    virtual void IndexReal(float& value) = 0;
};

// Writes under "TestParams" of root, its value the struct name. Every field,
// every array element. false when the tree refuses a node.
class DocumentWriter final : public FieldWalker {
public:
    DocumentWriter(IGenericDataNode* root, const WCHAR* structName);
    bool Ok() const { return ok_; }

    void Int(const WCHAR* key, int32_t& value) override;
    void Real(const WCHAR* key, float& value) override;
    void Text(const WCHAR* key, WCHAR* text, uint32_t capacity) override;
    bool Enter(const WCHAR* key) override;
    bool EnterIndex(uint32_t index) override;
    void Leave() override;
    bool Has(const WCHAR*) override { return true; }

protected:
    void IndexInt(int32_t& value) override;
    void IndexReal(float& value) override;

private:
    void Put(const WCHAR* key, const VARIANT& value);
    void Push(BSTR name);
    std::vector<ComPtr<IGenericDataNode>> path_;
    bool ok_ = true;
};

// Reads from "TestParams" of root, going by the tree of this library's own
// document (a document of another implementation is first copied into one).
// A missing key leaves its field; a value of another type is converted, and
// left out when it cannot be.
class DocumentReader final : public FieldWalker {
public:
    DocumentReader(IGenericDataNode* root, const WCHAR* structName);
    // False when "TestParams" holds another struct name (or none), or root is
    // not this library's own: nothing is read.
    bool Matches() const { return !path_.empty(); }

    void Int(const WCHAR* key, int32_t& value) override;
    void Real(const WCHAR* key, float& value) override;
    void Text(const WCHAR* key, WCHAR* text, uint32_t capacity) override;
    bool Enter(const WCHAR* key) override;
    bool EnterIndex(uint32_t index) override;
    void Leave() override;
    bool Has(const WCHAR* key) override;

protected:
    void IndexInt(int32_t& value) override;
    void IndexReal(float& value) override;

private:
    // The value at key under the current node, or null.
    const VARIANT* Value(const WCHAR* key) const;
    // value as type in out (a copy to be left uncleared: only plain types are
    // asked for); false for a missing or empty value and one that does not convert.
    static bool ReadAs(const VARIANT* value, VARTYPE type, VARIANT* out);
    static void ReadInt(const VARIANT* from, int32_t& value);
    static void ReadReal(const VARIANT* from, float& value);
    bool Step(WideStringView name);

    TreeRef tree_; // keeps the nodes of path_ alive
    std::vector<TreeNode*> path_;
};
