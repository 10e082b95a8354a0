#include "framework/ModuleState.h"

#include <new>

namespace {

CModuleState* g_pModuleState = nullptr;
CRITICAL_SECTION g_lock;
bool g_bLockReady = false;
// A thread's state is the module state made current on it, kept in the slot
// itself: nothing is allocated per thread, so nothing outlives the slot.
DWORD g_dwTlsIndex = TLS_OUT_OF_INDEXES;

CModuleState* GetCurrentOnThread() noexcept
{
    if (g_dwTlsIndex == TLS_OUT_OF_INDEXES)
        return nullptr;
    return static_cast<CModuleState*>(TlsGetValue(g_dwTlsIndex));
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
    if (g_dwTlsIndex != TLS_OUT_OF_INDEXES)
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
    CModuleState* pCurrent = GetCurrentOnThread();
    return pCurrent != nullptr ? pCurrent : g_pModuleState;
}

CManageModuleState::CManageModuleState(CModuleState* pState) noexcept : m_pPrevious(nullptr), m_bSet(false)
{
    if (g_dwTlsIndex == TLS_OUT_OF_INDEXES)
        return;
    m_pPrevious = GetCurrentOnThread();
    m_bSet = TlsSetValue(g_dwTlsIndex, pState) != FALSE;
}

CManageModuleState::~CManageModuleState()
{
    if (m_bSet && g_dwTlsIndex != TLS_OUT_OF_INDEXES)
        TlsSetValue(g_dwTlsIndex, m_pPrevious);
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
    for (const CClassFactoryEntry& entry : pState->m_factories)
    {
        if (entry.pFactory == nullptr)
            continue;
        entry.pFactory->AddRef();
        if (entry.pFactory->Release() > 1)
            hr = S_FALSE;
    }
    AfxUnlockGlobals();
    return hr;
}
