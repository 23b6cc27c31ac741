// The tree through its COM interfaces: find-or-add, dotted paths, result
// codes, enumeration and the life of node objects.
#include "gdata_test_support.h"

namespace {

using TreeTest = GenericDataTest;

TEST_F(TreeTest, AddChildFindsOrAddsAndTakesDottedNamesWhole) {
    auto document = NewDocument();
    auto root = Root(document.Get());
    ComPtr<IGenericDataNode> first, again, dotted, missing;
    ASSERT_EQ(root->AddChild(BStr(OLESTR("A")).Get(), first.Put()), S_OK);
    ASSERT_EQ(first->SetValue(Variant::I4(7)), S_OK);
    ASSERT_EQ(root->AddChild(BStr(OLESTR("A")).Get(), again.Put()), S_OK);
    EXPECT_EQ(Value(root.Get(), OLESTR("A")), "7") << "an existing child comes back unchanged";

    ASSERT_EQ(root->AddChild(BStr(OLESTR("x.y")).Get(), dotted.Put()), S_OK);
    EXPECT_EQ(ChildNames(root.Get()), (std::vector<std::string>{"A", "x.y"}));
    EXPECT_EQ(root->GetChild(BStr(OLESTR("x.y")).Get(), missing.Put()), E_FAIL) << "x.y means child y of child x";
    Variant value;
    EXPECT_EQ(root->GetChildValue(BStr(OLESTR("x.y")).Get(), &value), E_INVALIDARG);

    EXPECT_EQ(root->AddChild(BStr(OLESTR("")).Get(), missing.Put()), E_FAIL);
    EXPECT_EQ(root->AddChild(nullptr, missing.Put()), E_FAIL);
    EXPECT_EQ(root->AddChild(BStr(OLESTR("B")).Get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(root->AddChildWithValue(BStr(OLESTR("")).Get(), Variant::I4(1)), E_FAIL);
    EXPECT_EQ(ChildNames(root.Get()), (std::vector<std::string>{"A", "x.y"})) << "nothing added on failure";
}

TEST_F(TreeTest, DottedPathsResolveWithoutCreating) {
    auto document = NewDocument();
    auto root = Root(document.Get());
    ComPtr<IGenericDataNode> params, state;
    ASSERT_EQ(root->AddChild(BStr(OLESTR("TestParams")).Get(), params.Put()), S_OK);
    ASSERT_EQ(params->AddChild(BStr(OLESTR("State")).Get(), state.Put()), S_OK);
    ASSERT_EQ(state->AddChildWithValue(BStr(OLESTR("Ua[0]")).Get(), Variant::R8(57.7)), S_OK);

    EXPECT_EQ(Value(root.Get(), OLESTR("TestParams.State.Ua[0]")), "57.7");
    ASSERT_EQ(root->SetChildValue(BStr(OLESTR("TestParams.State.Ua[0]")).Get(), Variant::I4(5)), S_OK);
    EXPECT_EQ(Value(state.Get(), OLESTR("Ua[0]")), "5") << "two node objects see one tree node";

    for (const WCHAR* bad : {OLESTR("TestParams.Nope"), OLESTR("TestParams..State"), OLESTR(".TestParams"), OLESTR("TestParams."),
                                OLESTR("TestParams.State.Ua[0].deeper"), OLESTR("")}) {
        SCOPED_TRACE(Utf16ToUtf8(bad));
        ComPtr<IGenericDataNode> node;
        Variant value;
        EXPECT_EQ(root->GetChild(BStr(bad).Get(), node.Put()), E_FAIL);
        EXPECT_EQ(root->GetChildValue(BStr(bad).Get(), &value), E_INVALIDARG);
        EXPECT_EQ(root->SetChildValue(BStr(bad).Get(), Variant::I4(1)), E_INVALIDARG);
    }
    EXPECT_EQ(ChildNames(state.Get()), (std::vector<std::string>{"Ua[0]"})) << "SetChildValue adds nothing";

    EXPECT_EQ(root->GetChild(BStr(OLESTR("TestParams")).Get(), nullptr), E_POINTER) << "null out after a found path";
    EXPECT_EQ(root->GetChild(BStr(OLESTR("Nope")).Get(), nullptr), E_FAIL) << "the lookup comes first";
    EXPECT_EQ(root->GetChildValue(BStr(OLESTR("TestParams")).Get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(root->GetValue(nullptr), E_INVALIDARG);
}

TEST_F(TreeTest, ValuesAreCopiedInAndOut) {
    auto document = NewDocument();
    auto root = Root(document.Get());
    Variant text = Variant::Text(OLESTR("VarelTest_State"));
    ASSERT_EQ(root->AddChildWithValue(BStr(OLESTR("TestParams")).Get(), text), S_OK);
    text.Clear(); // the tree holds its own copy
    Variant out;
    ASSERT_EQ(root->GetChildValue(BStr(OLESTR("TestParams")).Get(), &out), S_OK);
    ASSERT_EQ(out.vt, VT_BSTR);
    EXPECT_EQ(BstrView(out.bstrVal), OLESTR("VarelTest_State"));
    Variant fresh;
    ComPtr<IGenericDataNode> leaf;
    ASSERT_EQ(root->AddChild(BStr(OLESTR("Empty")).Get(), leaf.Put()), S_OK);
    ASSERT_EQ(leaf->GetValue(&fresh), S_OK);
    EXPECT_EQ(fresh.vt, VT_EMPTY) << "a new node's value is empty";
}

TEST_F(TreeTest, EnumerationFollowsCodeUnitOrder) {
    auto document = NewDocument();
    auto root = Root(document.Get());
    for (const WCHAR* name : {OLESTR("B"), OLESTR("a"), OLESTR("Z"), OLESTR("U[2]"), OLESTR("U[10]"), OLESTR("\u4E2D")})
        ASSERT_EQ(root->AddChildWithValue(BStr(name).Get(), Variant::I4(1)), S_OK);
    EXPECT_EQ(ChildNames(root.Get()), (std::vector<std::string>{"B", "U[10]", "U[2]", "Z", "a", "\u4E2D"}));

    ComPtr<IDispatch> collection;
    ASSERT_EQ(root->Children(collection.Put()), S_OK);
    ComPtr<IEnumGenericNodes> walk;
    ASSERT_EQ(collection.As(IID_IEnumGenericNodes, &walk), S_OK);
    ComPtr<IGenericDataNode> node;
    BStr name;
    ASSERT_EQ(walk->Next(nullptr, node.Put()), S_OK) << "either out may be null";
    EXPECT_EQ(Value(root.Get(), OLESTR("B")), "1");
    while (walk->Next(name.Put(), node.Put()) == S_OK) {
    }
    EXPECT_EQ(walk->Next(name.Put(), node.Put()), E_FAIL) << "the end is E_FAIL, again and again";
    ASSERT_EQ(walk->Reset(), S_OK);
    ASSERT_EQ(walk->Next(name.Put(), nullptr), S_OK);
    EXPECT_EQ(name.View(), OLESTR("B"));

    // Children added during a walk are met when their names come later.
    ASSERT_EQ(root->AddChildWithValue(BStr(OLESTR("b")).Get(), Variant::I4(2)), S_OK);
    std::vector<std::string> rest;
    while (walk->Next(name.Put(), nullptr) == S_OK) rest.push_back(Utf16ToUtf8(name.View()));
    EXPECT_EQ(rest, (std::vector<std::string>{"U[10]", "U[2]", "Z", "a", "b", "\u4E2D"}));

    ComPtr<IGenericDataNode> leaf;
    ASSERT_EQ(root->GetChild(BStr(OLESTR("a")).Get(), leaf.Put()), S_OK);
    EXPECT_EQ(leaf->Children(collection.Put()), E_NOINTERFACE);
    EXPECT_EQ(root->Children(nullptr), E_INVALIDARG);
}

TEST_F(TreeTest, NodeObjectsOutlivingTheirTreeAnswerEFail) {
    auto document = NewDocument();
    auto root = Root(document.Get());
    ComPtr<IGenericDataNode> child;
    ASSERT_EQ(root->AddChild(BStr(OLESTR("A")).Get(), child.Put()), S_OK);
    ASSERT_EQ(child->AddChildWithValue(BStr(OLESTR("B")).Get(), Variant::I4(1)), S_OK);
    ComPtr<IDispatch> collection;
    ASSERT_EQ(child->Children(collection.Put()), S_OK);
    ComPtr<IEnumGenericNodes> walk;
    ASSERT_EQ(collection.As(IID_IEnumGenericNodes, &walk), S_OK);

    ASSERT_EQ(Load(document.Get(), OLESTR("<root><Para id=\"N\" value=\"1\"/></root>")), S_OK);
    Variant value;
    ComPtr<IGenericDataNode> node;
    BStr name;
    EXPECT_EQ(child->GetValue(&value), E_FAIL);
    EXPECT_EQ(child->SetValue(Variant::I4(3)), E_FAIL);
    EXPECT_EQ(child->AddChild(BStr(OLESTR("C")).Get(), node.Put()), E_FAIL);
    EXPECT_EQ(root->GetChild(BStr(OLESTR("N")).Get(), node.Put()), E_FAIL) << "the old root is gone too";
    EXPECT_EQ(walk->Next(name.Put(), node.Put()), E_FAIL);
    EXPECT_EQ(walk->Reset(), E_FAIL);
    EXPECT_EQ(Value(Root(document.Get()).Get(), OLESTR("N")), "1");

    document.Reset(); // the document frees its tree; the node objects still answer
    EXPECT_EQ(child->GetChildValue(BStr(OLESTR("B")).Get(), &value), E_FAIL);
    EXPECT_EQ(child->Children(collection.Put()), E_FAIL);
}

TEST_F(TreeTest, OnlyTheDeclaredInterfacesAnswer) {
    auto document = NewDocument();
    auto root = Root(document.Get());
    ComPtr<IUnknown> unknown;
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(document.As(IID_IDispatch, &dispatch), S_OK);
    EXPECT_EQ(root.As(IID_IDispatch, &dispatch), S_OK);
    EXPECT_EQ(root.As(IID_IGenericDataNodeEx, &unknown), E_NOINTERFACE);
    EXPECT_EQ(document.As(IID_IGenericDataNode, &unknown), E_NOINTERFACE);
    EXPECT_EQ(root.As(IID_IGenericData, &unknown), E_NOINTERFACE);
}

} // namespace
