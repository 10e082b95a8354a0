// The module's entry point and its four exports.
//
// No exception may leave an export into a host. Only DllRegisterServer runs
// code that can throw (the string class's exhausted-memory and bad-index
// exceptions); it catches every exception and answers its status
// (E_OUTOFMEMORY, E_INVALIDARG, else E_UNEXPECTED). The other three exports
// and the entry point run nothing that throws.

#include "framework/Exceptions.h"
#include "framework/ModuleState.h"
#include "module/Registration.h"
#include "module/RuntimeThreads.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pReserved)
{
    switch (dwReason)
    {
    case DLL_PROCESS_ATTACH:
        // The runtime has constructed the static objects by now; what is left
        // is the framework's state for this module.
        return AfxInitModule(hInstance) ? TRUE : FALSE;
    case DLL_THREAD_DETACH:
        AfxTermThread();
        ReleaseRuntimeThread();
        break;
    case DLL_PROCESS_DETACH:
        AfxTermModule();
        // A host that frees the module goes on running, maybe loading it
        // again thousands of times: all the runtime holds is given back once
        // the static destructors have run. A process that exits (pReserved
        // set) has stopped its other threads wherever they were and takes
        // everything back itself.
        if (pReserved == nullptr)
            ReleaseRuntimeAfterStatics();
        break;
    default:
        break;
    }
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    CManageModuleState state(AfxGetStaticModuleState());
    return AfxDllCanUnloadNow();
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    CManageModuleState state(AfxGetStaticModuleState());
    return AfxDllGetClassObject(rclsid, riid, ppv);
}

STDAPI DllRegisterServer()
{
    try
    {
        CModuleState* pState = AfxGetStaticModuleState();
        if (pState == nullptr)
            return S_OK;
        return RegisterFromRegDat(pState->m_hCurrentInstanceHandle);
    }
    catch (...)
    {
        return StatusOfException();
    }
}

STDAPI DllUnregisterServer()
{
    return S_OK;
}
