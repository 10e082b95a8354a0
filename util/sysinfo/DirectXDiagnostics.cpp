#include "util/sysinfo/DirectXDiagnostics.h"

#include "util/sysinfo/DirectXFiles.h"
#include "util/sysinfo/internal/DirectXSources.h"

#include "framework/CodePage.h"
#include "framework/Handle.h"

#include <objbase.h>
#include <oleauto.h>

#include <cctype>
#include <cstdio>

namespace sysinfo_internal {

const CLSID kClsidDxDiagProvider = {0xA65B8071, 0x3BFE, 0x4213, {0x9A, 0x5B, 0x49, 0x1D, 0xA4, 0x46, 0x1C, 0xA7}};
const IID kIidDxDiagProvider = {0x9C6B4CB0, 0x23F8, 0x49CC, {0xA3, 0xED, 0x45, 0xA5, 0x50, 0x00, 0xA6, 0xD2}};

} // namespace sysinfo_internal

namespace {

// The provider's record version for the interfaces declared here.
const DWORD kDxDiagHeaderVersion = 111;

// Room for the converted letter text: nine bytes and the terminator.
const int kLetterBufferSize = 10;

// Reads a VT_UI4 property into *pnValue (when not null). False when it is
// missing or of another type.
bool ReadUnsignedProp(IDxDiagContainer* pContainer, const wchar_t* pszName, int* pnValue)
{
    CVariant var;
    if (FAILED(pContainer->GetProp(pszName, var.Put())) || var.Get().vt != VT_UI4)
        return false;
    if (pnValue != nullptr)
        *pnValue = static_cast<int>(var.Get().ulVal);
    return true;
}

// Reads the letter text and delivers its first byte in the active code page.
bool ReadLetterProp(IDxDiagContainer* pContainer, const wchar_t* pszName, char* pchLetter)
{
    CVariant var;
    if (FAILED(pContainer->GetProp(pszName, var.Put())) || var.Get().vt != VT_BSTR ||
        var.Get().bstrVal == nullptr)
        return false;
    char szLetter[kLetterBufferSize] = {};
    // A text that does not fit the buffer with its terminator stands for no
    // letter.
    bool bComplete = false;
    AfxToCodePage(var.Get().bstrVal, lstrlenW(var.Get().bstrVal), CP_ACP, szLetter, kLetterBufferSize - 1, bComplete);
    if (!bComplete)
        szLetter[0] = ' ';
    if (pchLetter != nullptr)
        *pchLetter = szLetter[0];
    return true;
}

} // namespace

namespace sysinfo_internal {

HRESULT PlatformProvider(void*, IDxDiagProvider** ppProvider) noexcept
{
    return CoCreateInstance(kClsidDxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, kIidDxDiagProvider,
                            reinterpret_cast<void**>(ppProvider));
}

HRESULT DetectDirectXByDiagnostics(const CDirectXSources& sources, int* pnMajor, int* pnMinor,
                                   char* pchLetter) noexcept
{
    // Destroyed in reverse: system information, root, provider, apartment.
    CComApartment apartment(SUCCEEDED(CoInitialize(nullptr)));
    CInterface<IDxDiagProvider> provider;
    if (FAILED(sources.pfnCreateProvider(sources.pContext, provider.Put())) || !provider)
        return E_FAIL;

    DXDIAG_INIT_PARAMS params;
    ZeroMemory(&params, sizeof(params));
    params.dwSize = sizeof(params);
    params.dwDxDiagHeaderVersion = kDxDiagHeaderVersion;
    params.bAllowWHQLChecks = FALSE;
    params.pReserved = nullptr;
    if (FAILED(provider.Get()->Initialize(&params)))
        return E_FAIL;

    CInterface<IDxDiagContainer> root;
    if (FAILED(provider.Get()->GetRootContainer(root.Put())) || !root)
        return E_FAIL;

    CInterface<IDxDiagContainer> systemInfo;
    if (FAILED(root.Get()->GetChildContainer(L"DxDiag_SystemInfo", systemInfo.Put())) || !systemInfo)
        return E_FAIL;

    // All three are asked for, even after one is missing.
    const bool bGotMajor = ReadUnsignedProp(systemInfo.Get(), L"dwDirectXVersionMajor", pnMajor);
    const bool bGotMinor = ReadUnsignedProp(systemInfo.Get(), L"dwDirectXVersionMinor", pnMinor);
    const bool bGotLetter = ReadLetterProp(systemInfo.Get(), L"szDirectXVersionLetter", pchLetter);
    return bGotMajor && bGotMinor && bGotLetter ? S_OK : E_FAIL;
}

bool QueryDirectXVersion(const CDirectXSources& sources, int* pnNumber, char* pszText, int nLength) noexcept
{
    if (pnNumber != nullptr)
        *pnNumber = 0;
    if (pszText != nullptr && nLength > 0)
        pszText[0] = 0;

    int nMajor = 0;
    int nMinor = 0;
    char chLetter = ' ';
    // The files always answer and write all three values, so nothing of a
    // provider's partial answer survives the fall-back.
    if (FAILED(DetectDirectXByDiagnostics(sources, &nMajor, &nMinor, &chLetter)))
        DetectDirectXByFiles(sources, &nMajor, &nMinor, &chLetter);

    // Only A to Z change in the C library's default locale.
    chLetter = static_cast<char>(std::tolower(static_cast<unsigned char>(chLetter)));

    if (pnNumber != nullptr)
    {
        // Unsigned, so a large major wraps as the 32-bit number it is.
        DWORD dwNumber = ((static_cast<DWORD>(nMajor) << 8) + static_cast<DWORD>(nMinor)) << 8;
        if (chLetter >= 'a' && chLetter <= 'z')
            dwNumber += static_cast<DWORD>(chLetter - 0x60);
        *pnNumber = static_cast<int>(dwNumber);
    }

    if (pszText != nullptr && nLength > 0)
    {
        if (chLetter == ' ')
            std::snprintf(pszText, static_cast<size_t>(nLength), "%d.%d", nMajor, nMinor);
        else
            std::snprintf(pszText, static_cast<size_t>(nLength), "%d.%d%c", nMajor, nMinor, chLetter);
        pszText[nLength - 1] = 0;
    }
    return true;
}

} // namespace sysinfo_internal

HRESULT DetectDirectXByDiagnostics(int* pnMajor, int* pnMinor, char* pchLetter) noexcept
{
    return sysinfo_internal::DetectDirectXByDiagnostics(sysinfo_internal::PlatformDirectXSources(), pnMajor, pnMinor,
                                                        pchLetter);
}

bool QueryDirectXVersion(int* pnNumber, char* pszText, int nLength) noexcept
{
    return sysinfo_internal::QueryDirectXVersion(sysinfo_internal::PlatformDirectXSources(), pnNumber, pszText,
                                                 nLength);
}
