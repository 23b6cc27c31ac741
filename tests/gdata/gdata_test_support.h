// Helpers for the document tests: documents made through CoCreateInstance,
// values and texts as std types.
#pragma once

#include <varel/vts.h>

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "com/variant.h"
#include "leak_check.h"
#include "text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Each test runs in a COM apartment and must leave no object or string behind.
class GenericDataTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override {
        leaks_.ExpectNoLeaks();
        CoUninitialize();
    }
    static ComPtr<IGenericData> NewDocument() {
        ComPtr<IGenericData> document;
        EXPECT_EQ(CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData,
                                   document.PutVoid()),
                  S_OK);
        return document;
    }
    static ComPtr<IGenericDataNode> Root(IGenericData* document) {
        ComPtr<IGenericDataNode> root;
        EXPECT_EQ(document->GetRootNode(root.Put()), S_OK);
        return root;
    }
    static HRESULT Load(IGenericData* document, const WideString& xml) {
        return document->Load(BStr(xml).Get());
    }
    static std::string Xml(IGenericData* document) {
        BStr text;
        EXPECT_EQ(document->ToXMLString(text.Put()), S_OK);
        return Utf16ToUtf8(text.View());
    }
    // The value at a dotted path as text ("<missing>" when there is none),
    // with its type.
    static std::string Value(IGenericDataNode* node, const WideString& path, VARTYPE* type = nullptr) {
        Variant value;
        if (node->GetChildValue(BStr(path).Get(), &value) != S_OK) return "<missing>";
        if (type) *type = value.vt;
        if (value.vt == VT_EMPTY) return "";
        Variant text;
        if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR))) return "<no text>";
        return Utf16ToUtf8(BstrView(text.bstrVal));
    }
    // The names of node's children in enumeration order.
    static std::vector<std::string> ChildNames(IGenericDataNode* node) {
        std::vector<std::string> names;
        ComPtr<IDispatch> collection;
        if (node->Children(collection.Put()) != S_OK) return names;
        ComPtr<IEnumGenericNodes> walk;
        EXPECT_EQ(collection.As(IID_IEnumGenericNodes, &walk), S_OK);
        BStr name;
        while (walk->Next(name.Put(), nullptr) == S_OK) names.push_back(Utf16ToUtf8(name.View()));
        return names;
    }

private:
    LeakCheck leaks_;
};
