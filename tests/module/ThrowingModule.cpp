// A DLL that throws and catches inside itself, built with the module's
// runtime thread functions and released on detach the way Module.cpp does,
// for the load-and-free cycles (the module's own exports never throw).
#include "module/RuntimeThreads.h"

#include <windows.h>

#include <stdexcept>

extern "C" __declspec(dllexport) int ThrowAndCatch(int nTimes)
{
    int nCaught = 0;
    for (int i = 0; i < nTimes; ++i)
    {
        try
        {
            throw std::runtime_error("thrown inside the DLL");
        }
        catch (const std::exception&)
        {
            ++nCaught;
        }
    }
    return nCaught;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, LPVOID pReserved)
{
    if (dwReason == DLL_THREAD_DETACH)
        ReleaseRuntimeThread();
    if (dwReason == DLL_PROCESS_DETACH && pReserved == nullptr)
        ReleaseRuntime();
    return TRUE;
}
