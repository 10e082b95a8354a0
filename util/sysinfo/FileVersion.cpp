#include "util/sysinfo/FileVersion.h"

#include "framework/Handle.h"
#include "framework/SystemLibrary.h"

#include <cstdlib>
#include <cstring>

namespace {

WORD ReadWord(const BYTE* p)
{
    WORD w;
    std::memcpy(&w, p, sizeof(w));
    return w;
}

DWORD AlignUp4(DWORD dw)
{
    return (dw + 3) & ~DWORD(3);
}

// The offset of the root block's value, by the documented VS_VERSIONINFO
// layout, when the block is sound enough for VerQueryValueA to walk and
// holds a whole fixed record there; else 0. Sound means: its length lies
// within the copy, its key ends inside it, and its value is binary (a text
// value would be converted into the space behind the block). Both layouts
// are known: the 32-bit one (a type word, then a UTF-16 key) and the 16-bit
// one of old executables (an 8-bit key at byte 4, a printable character).
DWORD FindRootValue(const BYTE* pBlock, DWORD dwSize)
{
    if (dwSize < 6)
        return 0;
    const DWORD dwLength = ReadWord(pBlock);
    if (dwLength < 6 || dwLength > dwSize)
        return 0;

    DWORD dwValue = 0;
    if (pBlock[4] >= ' ')
    {
        for (DWORD i = 4; i < dwLength && dwValue == 0; ++i)
        {
            if (pBlock[i] == 0)
                dwValue = AlignUp4(i + 1);
        }
    }
    else if (ReadWord(pBlock + 4) == 0)
    {
        for (DWORD i = 6; i + 1 < dwLength && dwValue == 0; i += 2)
        {
            if (ReadWord(pBlock + i) == 0)
                dwValue = AlignUp4(i + 2);
        }
    }
    if (dwValue == 0 || dwValue + sizeof(VS_FIXEDFILEINFO) > dwLength)
        return 0;
    return dwValue;
}

// The version-information functions, from version.dll in the system folder;
// all null when it cannot be had there.
struct CVersionFunctions
{
    decltype(&GetFileVersionInfoSizeA) pfnGetSize;
    decltype(&GetFileVersionInfoA) pfnGetInfo;
    decltype(&VerQueryValueA) pfnQueryValue;

    bool IsComplete() const noexcept
    {
        return pfnGetSize != nullptr && pfnGetInfo != nullptr && pfnQueryValue != nullptr;
    }
};

const CVersionFunctions& VersionFunctions() noexcept
{
    static const CVersionFunctions s_functions = {
        g_versionLibrary.GetProc<decltype(&GetFileVersionInfoSizeA)>("GetFileVersionInfoSizeA"),
        g_versionLibrary.GetProc<decltype(&GetFileVersionInfoA)>("GetFileVersionInfoA"),
        g_versionLibrary.GetProc<decltype(&VerQueryValueA)>("VerQueryValueA"),
    };
    return s_functions;
}

} // namespace

int CompareModuleVersions(ULONGLONG qwFirst, ULONGLONG qwSecond) noexcept
{
    if (qwFirst > qwSecond)
        return 1;
    if (qwFirst < qwSecond)
        return -1;
    return 0;
}

HRESULT QueryFileVersion(const char* pszPath, ULONGLONG* pqwVersion, DWORD* pdwError) noexcept
{
    auto answer = [pdwError](HRESULT hr, DWORD dwError) {
        if (pdwError != nullptr)
            *pdwError = dwError;
        return hr;
    };
    if (pszPath == nullptr || pqwVersion == nullptr)
        return answer(E_INVALIDARG, ERROR_INVALID_PARAMETER);

    // Without the platform's functions no file can be read.
    const CVersionFunctions& version = VersionFunctions();
    if (!version.IsComplete())
        return answer(E_FAIL, ERROR_MOD_NOT_FOUND);

    DWORD dwUnused = 0;
    const DWORD dwSize = version.pfnGetSize(pszPath, &dwUnused);
    if (dwSize == 0)
        return answer(E_FAIL, GetLastError());

    // Zeroed, so bytes the platform does not fill are never stray memory.
    CHeapPtr<BYTE> buffer(static_cast<BYTE*>(std::calloc(dwSize, 1)));
    if (!buffer)
        return answer(E_OUTOFMEMORY, ERROR_NOT_ENOUGH_MEMORY);
    BYTE* const pData = buffer.Get();

    if (!version.pfnGetInfo(pszPath, 0, dwSize, pData))
        return answer(E_FAIL, GetLastError());

    if (FindRootValue(pData, dwSize) == 0)
        return answer(E_FAIL, ERROR_RESOURCE_DATA_NOT_FOUND);

    void* pRecord = nullptr;
    UINT uLength = 0;
    if (!version.pfnQueryValue(pData, "\\", &pRecord, &uLength) || pRecord == nullptr)
        return answer(E_FAIL, ERROR_RESOURCE_DATA_NOT_FOUND);

    // The record must be whole and inside the copy before it is read.
    const BYTE* pFirst = static_cast<const BYTE*>(pRecord);
    if (uLength < sizeof(VS_FIXEDFILEINFO) || dwSize < sizeof(VS_FIXEDFILEINFO) || pFirst < pData ||
        static_cast<size_t>(pFirst - pData) > dwSize - sizeof(VS_FIXEDFILEINFO))
        return answer(E_FAIL, ERROR_RESOURCE_DATA_NOT_FOUND);

    VS_FIXEDFILEINFO info;
    std::memcpy(&info, pFirst, sizeof(info));
    *pqwVersion = (static_cast<ULONGLONG>(info.dwFileVersionMS) << 32) | info.dwFileVersionLS;
    return answer(S_OK, ERROR_SUCCESS);
}
