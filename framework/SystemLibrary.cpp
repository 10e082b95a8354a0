#include "framework/SystemLibrary.h"

namespace {

// The search flags exist where kernel32 has AddDllDirectory, as the
// platform documents; without them LoadLibraryExW refuses the flag.
bool HasSearchFlags() noexcept
{
    return GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory") != nullptr;
}

} // namespace

CSystemLibrary g_versionLibrary(L"version.dll");
CSystemLibrary g_internetLibrary(L"wininet.dll");

HMODULE LoadSystemLibrary(const wchar_t* pszFileName) noexcept
{
    if (HasSearchFlags())
        return LoadLibraryExW(pszFileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // The full path; LOAD_WITH_ALTERED_SEARCH_PATH looks for the DLL's own
    // imports beside it, in the system folder, before anywhere else.
    wchar_t szPath[MAX_PATH];
    UINT nLength = GetSystemDirectoryW(szPath, MAX_PATH);
    int nName = lstrlenW(pszFileName);
    if (nLength == 0 || nLength + 1 + static_cast<UINT>(nName) >= MAX_PATH)
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    szPath[nLength] = L'\\';
    lstrcpyW(szPath + nLength + 1, pszFileName);
    return LoadLibraryExW(szPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE CSystemLibrary::GetModule() noexcept
{
    HMODULE hModule = m_hModule.load(std::memory_order_acquire);
    if (hModule != nullptr)
        return hModule;
    hModule = LoadSystemLibrary(m_pszFileName);
    if (hModule == nullptr)
        return nullptr;
    // Two threads may load it at once; the one that comes second gives its
    // reference back, so the DLL is held once.
    HMODULE hExpected = nullptr;
    if (!m_hModule.compare_exchange_strong(hExpected, hModule, std::memory_order_acq_rel))
    {
        FreeLibrary(hModule);
        hModule = hExpected;
    }
    return hModule;
}

BOOL RestrictDllSearchToSystemFolder() noexcept
{
    using SetDirectoriesFn = BOOL(WINAPI*)(DWORD);
    auto pfnSet = reinterpret_cast<SetDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    return pfnSet != nullptr && pfnSet(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
