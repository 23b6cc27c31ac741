// The COM module as clients reach it: class objects by id, and late-bound
// calls by name, served from the type library where the system has one.
#include <varel/vts.h>

#include "com/com_ptr.h"
#include "com/type_library.h"
#include "com/variant.h"
#include "text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

TEST(ComModule, ClassObjectsOfTheTableOnly) {
    void* out = &out;
    EXPECT_EQ(DllGetClassObject(IID_ICalcEngine, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(DllGetClassObject(CLSID_CalcEngine, IID_IClassFactory, nullptr), E_POINTER);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(DllGetClassObject(CLSID_CalcEngine, IID_IClassFactory, factory.PutVoid()), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    factory.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

// Calls a method by name as a script host does: arguments in call order.
HRESULT Call(IDispatch* object, const OLECHAR* name, std::vector<Variant> args, Variant* result = nullptr) {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    if (FAILED(hr)) return hr;
    std::reverse(args.begin(), args.end()); // the last argument comes first
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    UINT error = 0;
    return object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result, nullptr, &error);
}

Variant Text(const OLECHAR* text) { return Variant::Text(text); }

class LateBound : public ::testing::Test {
protected:
    void SetUp() override {
        if (LibraryTypeInfoCount() == 0)
            GTEST_SKIP() << "this system has no type libraries: IDispatch answers E_NOTIMPL";
        CoInitialize(nullptr);
        ASSERT_EQ(CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   document_.PutVoid()),
                  S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_CalcEngine, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   engine_.PutVoid()),
                  S_OK);
        ASSERT_EQ(Call(document_.Get(), OLESTR("GetRootNode"), {}, &root_), S_OK);
        ASSERT_EQ(root_.vt, VT_DISPATCH);
    }
    void TearDown() override {
        if (LibraryTypeInfoCount() == 0) return;
        root_.Clear();
        document_.Reset();
        engine_.Reset();
        EXPECT_EQ(DllCanUnloadNow(), S_OK);
        CoUninitialize();
    }
    IDispatch* Root() const { return root_.pdispVal; }

    ComPtr<IDispatch> document_;
    ComPtr<IDispatch> engine_;
    Variant root_;
};

TEST_F(LateBound, ADocumentAndACalculationByName) {
    UINT count = 0;
    EXPECT_EQ(engine_->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    // A load-state request, its numbers as a script passes them: text and integers.
    Variant request;
    ASSERT_EQ(Call(Root(), OLESTR("AddChild"), {Text(OLESTR("X"))}, &request), S_OK);
    ASSERT_EQ(request.vt, VT_DISPATCH);
    ASSERT_EQ(Call(request.pdispVal, OLESTR("SetValue"), {Text(OLESTR("0"))}), S_OK);
    ASSERT_EQ(Call(request.pdispVal, OLESTR("AddChildWithValue"), {Text(OLESTR("Us")), Variant::I4(100)}),
              S_OK);
    Variant document;
    document.vt = VT_DISPATCH;
    document.pdispVal = document_.Get();
    document_->AddRef();
    ASSERT_EQ(Call(engine_.Get(), OLESTR("Calculate"), {document}), S_OK);
    Variant mag, mark;
    ASSERT_EQ(Call(Root(), OLESTR("GetChildValue"), {Text(OLESTR("X.Result.Up.1.Mag"))}, &mag), S_OK);
    ASSERT_EQ(mag.vt, VT_R4);
    EXPECT_FLOAT_EQ(mag.fltVal, 100);
    ASSERT_EQ(Call(Root(), OLESTR("GetChildValue"), {Text(OLESTR("X.Result"))}, &mark), S_OK);
    ASSERT_EQ(mark.vt, VT_BSTR);
    EXPECT_TRUE(BstrView(mark.bstrVal) == OLESTR("1"));
    // A name given as a number is converted to text by the system's rules.
    Variant seven;
    ASSERT_EQ(Call(Root(), OLESTR("AddChildWithValue"), {Variant::I4(7), Variant::R8(0.5)}), S_OK);
    ASSERT_EQ(Call(Root(), OLESTR("GetChildValue"), {Text(OLESTR("7"))}, &seven), S_OK);
    EXPECT_EQ(seven.vt, VT_R8);
}

TEST_F(LateBound, BadCallsGetTheSystemsCodes) {
    EXPECT_EQ(Call(engine_.Get(), OLESTR("Calculate"), {}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(engine_.Get(), OLESTR("Calculate"), {Text(OLESTR("text"))}), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Call(Root(), OLESTR("AddChildWithValue"), {Text(OLESTR("X"))}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(document_.Get(), OLESTR("Load"), {Text(OLESTR("<a/>")), Text(OLESTR("<b/>"))}),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(document_.Get(), OLESTR("Calculate"), {}), DISP_E_UNKNOWNNAME);
    LPOLESTR name = const_cast<LPOLESTR>(OLESTR("Load"));
    DISPID id = 0;
    EXPECT_EQ(document_->GetIDsOfNames(IID_IDispatch, &name, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(document_->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
}

} // namespace
