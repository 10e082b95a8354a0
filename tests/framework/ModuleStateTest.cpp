// The factory walks of the class-object and unload queries, over a list that
// holds a factory of the test's own (the module adds none).
#include "framework/ModuleState.h"

#include <gtest/gtest.h>

namespace {

struct CTestFactory : IClassFactory
{
    ULONG m_nRefs = 1;   // the test's own
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = IsEqualIID(riid, IID_IClassFactory) ? this : nullptr;
        return *ppv != nullptr ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_nRefs; }
    STDMETHODIMP_(ULONG) Release() override { return --m_nRefs; }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHODIMP LockServer(BOOL) override { return E_NOTIMPL; }
};

} // namespace

TEST(ModuleState, QueriesWalkTheFactoryList)
{
    const CLSID clsid = IID_IClassFactory;   // any identifier will do
    ASSERT_TRUE(AfxInitModule(GetModuleHandleA(nullptr)));
    CTestFactory factory;
    CModuleState state;
    state.m_factories.push_back({clsid, &factory});
    {
        CManageModuleState current(&state);
        void* pv = &state;
        EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, AfxDllGetClassObject(CLSID_NULL, IID_IClassFactory, &pv));
        EXPECT_EQ(nullptr, pv);
        EXPECT_EQ(S_OK, AfxDllCanUnloadNow());
        EXPECT_EQ(S_OK, AfxDllGetClassObject(clsid, IID_IClassFactory, &pv));
        EXPECT_EQ(static_cast<IClassFactory*>(&factory), pv);
        EXPECT_EQ(S_FALSE, AfxDllCanUnloadNow()) << "the caller holds the factory";
        factory.Release();
        EXPECT_EQ(S_OK, AfxDllCanUnloadNow());
    }
    EXPECT_EQ(AfxGetStaticModuleState(), AfxGetModuleState());
    AfxTermModule();
}
