// Asks Windows' own verifier whether files are trusted, as Explorer and
// SmartScreen ask: WinVerifyTrust with the generic Authenticode action, no
// UI and no revocation check. Prints a line per file, the answer in hex:
//
//   trust_check.exe [--trust-root ROOT.cer] FILE...
//   0x00000000 C:\pkg\bin\Kestrum.ocx      trusted
//   0x80096010 C:\pkg\bin\changed.ocx      TRUST_E_BAD_DIGEST
//   0x800B0100 C:\pkg\bin\unsigned.ocx     TRUST_E_NOSIGNATURE
//
// --trust-root first adds a DER root certificate to the user's root store,
// for a throw-away prefix only. Exit code 0 when every step could be asked.
#include "framework/Handle.h"
#include "framework/SystemLibrary.h"

#include <windows.h>
// After windows.h, which they build on.
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace
{

// Neither DLL is a KnownDLL, so both come from the system folder by path.
CSystemLibrary g_cryptLibrary(L"crypt32.dll");
CSystemLibrary g_trustLibrary(L"wintrust.dll");

bool TrustRoot(const wchar_t* pszFile)
{
    CFileHandle hFile(CreateFileW(pszFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::vector<BYTE> certificate(64 * 1024);
    DWORD dwRead = 0;
    if (!hFile || !ReadFile(hFile.Get(), certificate.data(), static_cast<DWORD>(certificate.size()), &dwRead, nullptr))
    {
        std::printf("cannot read %ls: error %lu\n", pszFile, GetLastError());
        return false;
    }
    using AddFn = decltype(&CertAddEncodedCertificateToSystemStoreW);
    const AddFn pfnAdd = g_cryptLibrary.GetProc<AddFn>("CertAddEncodedCertificateToSystemStoreW");
    if (pfnAdd == nullptr || !pfnAdd(L"Root", certificate.data(), dwRead))
    {
        std::printf("cannot add %ls to the root store: error %lu\n", pszFile, GetLastError());
        return false;
    }
    return true;
}

LONG VerifyFile(const wchar_t* pszFile)
{
    using VerifyFn = decltype(&WinVerifyTrust);
    static const VerifyFn pfnVerify = g_trustLibrary.GetProc<VerifyFn>("WinVerifyTrust");
    if (pfnVerify == nullptr)
        return static_cast<LONG>(HRESULT_FROM_WIN32(GetLastError()));
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = pszFile;
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG lResult = pfnVerify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    // The verifier keeps its state until told to close it.
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    pfnVerify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return lResult;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int nFirst = 1;
    if (argc > 2 && std::wcscmp(argv[1], L"--trust-root") == 0)
    {
        if (!TrustRoot(argv[2]))
            return 1;
        nFirst = 3;
    }
    if (nFirst >= argc)
    {
        std::fprintf(stderr, "usage: trust_check [--trust-root ROOT.cer] FILE...\n");
        return 2;
    }
    for (int i = nFirst; i < argc; ++i)
        std::printf("0x%08lX %ls\n", static_cast<unsigned long>(VerifyFile(argv[i])), argv[i]);
    return 0;
}
