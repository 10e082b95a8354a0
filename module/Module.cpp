// The module's entry point and its four exports.
//
// No exception may leave an export into a host: each export catches what the
// framework can raise and answers with the matching status.

#include "framework/Exceptions.h"
#include "framework/ModuleState.h"
#include "module/Registration.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID /*pReserved*/)
{
    switch (dwReason)
    {
    case DLL_PROCESS_ATTACH:
        // The runtime has constructed the static objects by now; what is left
        // is the framework's state for this module.
        return AfxInitModule(hInstance) ? TRUE : FALSE;
    case DLL_THREAD_DETACH:
        AfxTermThread();
        break;
    case DLL_PROCESS_DETACH:
        AfxTermModule();
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
