// Module state: what the framework keeps for one loaded module.
//
// A module answers class-object and unload queries from its list of class
// factories, walked under the framework's global lock, with its own state
// made current for the length of the call. This module publishes no class,
// so nothing adds to its list and the answers are CLASS_E_CLASSNOTAVAILABLE
// and S_OK; the framework's tests add a factory of their own to check the
// walk.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <vector>

struct CClassFactoryEntry
{
    CLSID clsid;
    IClassFactory* pFactory;   // owned by whoever added it
};

class CModuleState
{
public:
    HINSTANCE m_hCurrentInstanceHandle = nullptr;
    std::vector<CClassFactoryEntry> m_factories;   // guarded by the global lock
};

// Process attach: sets up this module's state, its global lock and the
// per-thread slot. Returns false when any of it cannot be had; the caller
// then fails the load.
bool AfxInitModule(HINSTANCE hInstance) noexcept;
// Thread detach: clears the leaving thread's state.
void AfxTermThread() noexcept;
// Process detach: frees the module's state and the per-thread slot. A
// thread's state is only the pointer the slot holds, so freeing the slot
// releases the state of every thread, those still running included.
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
// factory added for rclsid is asked for riid; with none, *ppv is null and
// the answer CLASS_E_CLASSNOTAVAILABLE (always, in this module). A null ppv
// gives E_POINTER.
//   AfxDllGetClassObject(CLSID_Any, IID_IClassFactory, &pv)
//       -> CLASS_E_CLASSNOTAVAILABLE, pv == nullptr
HRESULT AfxDllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) noexcept;
// S_FALSE while a factory in the list has a reference count above 1 (read
// from an AddRef and Release pair), that is while anyone besides its owner
// holds it; otherwise S_OK, as in a freshly loaded module. No count of live
// objects or server locks is kept: the module makes no objects and has no
// factory to lock.
HRESULT AfxDllCanUnloadNow() noexcept;
