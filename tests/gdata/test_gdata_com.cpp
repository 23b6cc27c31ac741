// The document class as a host meets it: the class table, the class factory
// and the lock count behind DllCanUnloadNow.
#include "gdata_test_support.h"

namespace {

using ComClassTest = GenericDataTest;

TEST_F(ComClassTest, BothProgIdsNameTheClass) {
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(OLESTR("VarelData.GenericData"), &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_GenericData);
    ASSERT_EQ(CLSIDFromProgID(OLESTR("VarelData.GenericData.1"), &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_GenericData);
}

TEST_F(ComClassTest, ClassFactoryMakesDocumentsAndHoldsTheModule) {
    ASSERT_EQ(DllCanUnloadNow(), S_OK);
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(IID_IGenericData, IID_IClassFactory, factory.PutVoid()),
              CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(DllGetClassObject(CLSID_GenericData, IID_IClassFactory, factory.PutVoid()), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "the factory is alive";

    ComPtr<IGenericData> document;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IGenericData, document.PutVoid()), S_OK);
    ComPtr<IUnknown> none;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, none.PutVoid()), E_NOINTERFACE);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    document.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "a server lock holds the module";
    ASSERT_EQ(DllGetClassObject(CLSID_GenericData, IID_IClassFactory, factory.PutVoid()), S_OK);
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(ComClassTest, DocumentAndNodeObjectsCountAsLiveObjects) {
    auto document = NewDocument();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "a document is alive";
    auto root = Root(document.Get());
    document.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "a node object is still alive";
    root.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

} // namespace
