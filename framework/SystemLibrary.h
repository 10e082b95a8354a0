// CSystemLibrary: functions of a system DLL that is not a KnownDLL, taken
// from the system folder only.
//
// Windows looks for a DLL that is not a KnownDLL in the program's own
// folder first, for static imports and for LoadLibrary by a bare name
// alike, and setup programs run from download folders, where anyone can
// leave a version.dll or wininet.dll. So nothing of Kestrum imports such a
// DLL: the operations that need one load it on first use with
// LOAD_LIBRARY_SEARCH_SYSTEM32 (its own imports are then searched there
// too), or by its full system-folder path where that flag is missing
// (Windows 7 without update KB2533623).
//
//   using GetSizeFn = decltype(&GetFileVersionInfoSizeA);
//   static const GetSizeFn pfnGetSize = g_versionLibrary.GetProc<GetSizeFn>("GetFileVersionInfoSizeA");
//   if (pfnGetSize == nullptr)
//       return E_FAIL;          // the operation's own failure result
//
// A DLL is loaded once, whatever the number of threads asking, and stays
// loaded for the life of the process, as a delay-loaded import does.
#pragma once

#include <windows.h>

#include <atomic>

class CSystemLibrary
{
public:
    // pszFileName: the DLL's file name alone, "version.dll".
    constexpr explicit CSystemLibrary(const wchar_t* pszFileName) noexcept
        : m_pszFileName(pszFileName), m_hModule(nullptr)
    {
    }
    CSystemLibrary(const CSystemLibrary&) = delete;
    CSystemLibrary& operator=(const CSystemLibrary&) = delete;

    // The DLL from the system folder, loaded on the first call; null when
    // it cannot be loaded from there (then every call tries again).
    HMODULE GetModule() noexcept;

    // An exported function as a typed pointer; null when the DLL cannot be
    // loaded or lacks the function.
    template <typename Fn>
    Fn GetProc(const char* pszProcName) noexcept
    {
        HMODULE hModule = GetModule();
        // Through void*, as the loader's untyped pointer must go.
        return hModule != nullptr
                   ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(hModule, pszProcName)))
                   : nullptr;
    }

private:
    const wchar_t* m_pszFileName;
    std::atomic<HMODULE> m_hModule;
};

// The DLLs the library reaches this way: the version-information functions
// (file versions) and the Internet functions (the URL parser).
extern CSystemLibrary g_versionLibrary;
extern CSystemLibrary g_internetLibrary;

// LoadLibraryExW of a file in the system folder, its own imports looked
// for there too; null (and the last error set) when it cannot be had.
HMODULE LoadSystemLibrary(const wchar_t* pszFileName) noexcept;

// For a program's start: restricts the DLL search of the whole process to
// the system folder (SetDefaultDllDirectories), so that no DLL loaded by
// name, by the program or by the platform on its behalf, comes from the
// program's folder. FALSE where the platform lacks the call (Windows 7
// without update KB2533623).
BOOL RestrictDllSearchToSystemFolder() noexcept;
