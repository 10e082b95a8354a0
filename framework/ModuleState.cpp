#include "framework/ModuleState.h"

#include <new>

namespace {

struct CThreadState
{
    CModuleState* pCurrent = nullptr;
};

CModuleState* g_pModuleState = nullptr;
CRITICAL_SECTION g_lock;
bool g_bLockReady = false;
DWORD g_dwTlsIndex = TLS_OUT_OF_INDEXES;

CThreadState* GetThreadState(bool bCreate) noexcept
{
    if (g_dwTlsIndex == TLS_OUT_OF_INDEXES)
        return nullptr;
    CThreadState* pState = static_cast<CThreadState*>(TlsGetValue(g_dwTlsIndex));
    if (pState == nullptr && bCreate)
    {
        pState = new (std::nothrow) CThreadState;
        if (pState != nullptr && !TlsSetValue(g_dwTlsIndex, pState))
        {
            delete pState;
            pState = nullptr;
        }
    }
    return pState;
}

} // namespace

bool AfxInitModule(HINSTANCE hInstance) noexcept
{
    g_dwTlsIndex = TlsAlloc();
    if (g_dwTlsIndex == TLS_OUT_OF_INDEXES)
        return false;
    g_pModuleState = new (std::nothrow) CModuleState;
    if (g_pModuleState == nullptr)
    {
        AfxTermModule();
        return false;
    }
    g_pModuleState->m_hCurrentInstanceHandle = hInstance;
    InitializeCriticalSection(&g_lock);
    g_bLockReady = true;
    return true;
}

void AfxTermThread() noexcept
{
    if (g_dwTlsIndex == TLS_OUT_OF_INDEXES)
        return;
    delete static_cast<CThreadState*>(TlsGetValue(g_dwTlsIndex));
    TlsSetValue(g_dwTlsIndex, nullptr);
}

void AfxTermModule() noexcept
{
    // Released in reverse order of AfxInitModule.
    if (g_bLockReady)
    {
        DeleteCriticalSection(&g_lock);
        g_bLockReady = false;
    }
    delete g_pModuleState;
    g_pModuleState = nullptr;
    if (g_dwTlsIndex != TLS_OUT_OF_INDEXES)
    {
        AfxTermThread();   // the detaching thread's own slot
        TlsFree(g_dwTlsIndex);
        g_dwTlsIndex = TLS_OUT_OF_INDEXES;
    }
}

CModuleState* AfxGetStaticModuleState() noexcept
{
    return g_pModuleState;
}

CModuleState* AfxGetModuleState() noexcept
{
    CThreadState* pThread = GetThreadState(false);
    if (pThread != nullptr && pThread->pCurrent != nullptr)
        return pThread->pCurrent;
    return g_pModuleState;
}

CManageModuleState::CManageModuleState(CModuleState* pState) noexcept : m_pPrevious(nullptr), m_bSet(false)
{
    CThreadState* pThread = GetThreadState(true);
    if (pThread != nullptr)
    {
        m_pPrevious = pThread->pCurrent;
        pThread->pCurrent = pState;
        m_bSet = true;
    }
}

CManageModuleState::~CManageModuleState()
{
    if (!m_bSet)
        return;
    CThreadState* pThread = GetThreadState(false);
    if (pThread != nullptr)
        pThread->pCurrent = m_pPrevious;
}

void AfxLockGlobals() noexcept
{
    if (g_bLockReady)
        EnterCriticalSection(&g_lock);
}

void AfxUnlockGlobals() noexcept
{
    if (g_bLockReady)
        LeaveCriticalSection(&g_lock);
}

HRESULT AfxDllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) noexcept
{
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    CModuleState* pState = AfxGetModuleState();
    if (pState == nullptr)
        return CLASS_E_CLASSNOTAVAILABLE;

    HRESULT hr = CLASS_E_CLASSNOTAVAILABLE;
    AfxLockGlobals();
    for (const CClassFactoryEntry& entry : pState->m_factories)
    {
        if (IsEqualCLSID(entry.clsid, rclsid) && entry.pFactory != nullptr)
        {
            hr = entry.pFactory->QueryInterface(riid, ppv);
            break;
        }
    }
    AfxUnlockGlobals();
    return hr;
}

HRESULT AfxDllCanUnloadNow() noexcept
{
    CModuleState* pState = AfxGetModuleState();
    if (pState == nullptr)
        return S_OK;
    HRESULT hr = S_OK;
    AfxLockGlobals();
    if (pState->m_nObjectCount != 0 || pState->m_nLockCount != 0)
        hr = S_FALSE;
    for (const CClassFactoryEntry& entry : pState->m_factories)
    {
        if (entry.nRefs > 1)
            hr = S_FALSE;
    }
    AfxUnlockGlobals();
    return hr;
}
