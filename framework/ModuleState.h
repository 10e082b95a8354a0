// Module state: what the framework keeps for one loaded module.
//
// A module answers class-object and unload queries from its list of class
// factories, walked under the framework's global lock, with its own state
// made current for the length of the call. This module publishes no class,
// so the list stays empty, but the walk is real: a factory added to the list
// would be found.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <vector>

struct CClassFactoryEntry
{
    CLSID clsid;
    IClassFactory* pFactory;   // owned by whoever registered it
    LONG nRefs;                // the factory's own reference count
};

class CModuleState
{
public:
    HINSTANCE m_hCurrentInstanceHandle = nullptr;
    std::vector<CClassFactoryEntry> m_factories;   // empty in this module
    LONG m_nObjectCount = 0;                       // live component objects
    LONG m_nLockCount = 0;                         // server locks
};

// Process attach: sets up this module's state, its global lock and the
// per-thread slot. Returns false when any of it cannot be had; the caller
// then fails the load.
bool AfxInitModule(HINSTANCE hInstance) noexcept;
// Thread detach: frees the leaving thread's state.
void AfxTermThread() noexcept;
// Process detach: frees every thread's slot and the module's state.
void AfxTermModule() noexcept;

// This module's state (null before AfxInitModule or after AfxTermModule).
CModuleState* AfxGetStaticModuleState() noexcept;
// The state current on the calling thread: the one made current by the
// innermost CManageModuleState, else this module's.
CModuleState* AfxGetModuleState() noexcept;

// Makes a module state current on this thread for the holder's lifetime and
// restores the caller's afterwards.
class CManageModuleState
{
public:
    explicit CManageModuleState(CModuleState* pState) noexcept;
    ~CManageModuleState();
    CManageModuleState(const CManageModuleState&) = delete;
    CManageModuleState& operator=(const CManageModuleState&) = delete;

private:
    CModuleState* m_pPrevious;
    bool m_bSet;
};

// The framework's global lock over the factory list.
void AfxLockGlobals() noexcept;
void AfxUnlockGlobals() noexcept;

// Walks the current module's factory list under the global lock. The
// factory registered for rclsid is asked for riid; with none, *ppv is null
// and the answer CLASS_E_CLASSNOTAVAILABLE (always, in this module). A null
// ppv gives E_POINTER.
//   AfxDllGetClassObject(CLSID_Any, IID_IClassFactory, &pv)
//       -> CLASS_E_CLASSNOTAVAILABLE, pv == nullptr
HRESULT AfxDllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) noexcept;
// S_FALSE while live objects or server locks are counted, or while a factory
// holds more than one reference; otherwise S_OK, as in a freshly loaded
// module.
HRESULT AfxDllCanUnloadNow() noexcept;
