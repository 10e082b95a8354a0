// Where the DirectX detection takes its facts from: the system folder and
// the diagnostic provider. The public operations use the platform's; tests
// point them at a scratch folder or a provider of their own.
#pragma once

#include <windows.h>
#include <dxdiag.h>

namespace sysinfo_internal {

struct CDirectXSources
{
    // Writes the folder that holds the system files into pszBuffer (uSize
    // bytes), without a trailing separator, and returns its length, as
    // GetSystemDirectoryA does; 0 when there is none.
    UINT (*pfnGetSystemFolder)(void* pContext, LPSTR pszBuffer, UINT uSize);
    // Creates a diagnostic provider as CoCreateInstance does: S_OK with
    // *ppProvider holding one reference, or a failure with *ppProvider null.
    HRESULT (*pfnCreateProvider)(void* pContext, IDxDiagProvider** ppProvider);
    void* pContext;
};

// GetSystemDirectoryA.
UINT PlatformSystemFolder(void* pContext, LPSTR pszBuffer, UINT uSize) noexcept;
// CoCreateInstance of CLSID_DxDiagProvider, in-process, for IID_IDxDiagProvider.
HRESULT PlatformProvider(void* pContext, IDxDiagProvider** ppProvider) noexcept;

// The platform's system folder and provider.
inline CDirectXSources PlatformDirectXSources() noexcept
{
    return CDirectXSources{&PlatformSystemFolder, &PlatformProvider, nullptr};
}

// The public operations, over the given sources.
HRESULT DetectDirectXByFiles(const CDirectXSources& sources, int* pnMajor, int* pnMinor, char* pchLetter) noexcept;
HRESULT DetectDirectXByDiagnostics(const CDirectXSources& sources, int* pnMajor, int* pnMinor,
                                   char* pchLetter) noexcept;
bool QueryDirectXVersion(const CDirectXSources& sources, int* pnNumber, char* pszText, int nLength) noexcept;

// The identifiers of the provider and its interface.
extern const CLSID kClsidDxDiagProvider;
extern const IID kIidDxDiagProvider;

} // namespace sysinfo_internal
