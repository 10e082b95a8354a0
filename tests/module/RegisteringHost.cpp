// A host as a setup program is one: it loads the module named on its
// command line (from another folder than its own), registers and
// unregisters it, and frees it. Exit code 0 when both answer S_OK.
//
//   registering_host.exe C:\setup\Kestrum.ocx
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: registering_host MODULE\n");
        return 2;
    }
    HMODULE hModule = LoadLibraryA(argv[1]);
    if (hModule == nullptr)
    {
        std::printf("cannot load %s: error %lu\n", argv[1], GetLastError());
        return 1;
    }
    using EntryFn = HRESULT(STDAPICALLTYPE*)();
    auto entry = [hModule](const char* pszName) {
        return reinterpret_cast<EntryFn>(reinterpret_cast<void*>(GetProcAddress(hModule, pszName)));
    };
    EntryFn pfnRegister = entry("DllRegisterServer");
    EntryFn pfnUnregister = entry("DllUnregisterServer");
    HRESULT hrRegister = pfnRegister != nullptr ? pfnRegister() : E_NOTIMPL;
    HRESULT hrUnregister = pfnUnregister != nullptr ? pfnUnregister() : E_NOTIMPL;
    FreeLibrary(hModule);
    std::printf("DllRegisterServer 0x%08lX, DllUnregisterServer 0x%08lX\n", static_cast<unsigned long>(hrRegister),
                static_cast<unsigned long>(hrUnregister));
    return hrRegister == S_OK && hrUnregister == S_OK ? 0 : 1;
}
