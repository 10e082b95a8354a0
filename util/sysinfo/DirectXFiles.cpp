#include "util/sysinfo/DirectXFiles.h"

#include "util/sysinfo/internal/DirectXSources.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr ULONGLONG Version(WORD wMajor, WORD wMinor, WORD wBuild, WORD wRevision)
{
    return (static_cast<ULONGLONG>(wMajor) << 48) | (static_cast<ULONGLONG>(wMinor) << 32) |
           (static_cast<ULONGLONG>(wBuild) << 16) | wRevision;
}

enum ECondition
{
    kAtLeast,         // the file's version reaches qwMinimum
    kAtLeastByMajor,  // major 4 must reach qwMinimum, major 5 qwMinimumMajor5; others never match
    kReadable,        // the file has a version, whatever it is
};

struct CDetectionRow
{
    int nGroup;
    const char* pszName;  // appended to the system folder, hence the backslash
    ECondition eCondition;
    ULONGLONG qwMinimum;
    ULONGLONG qwMinimumMajor5;
    int nMajor;
    int nMinor;
    char chLetter;
};

// In test order. Rows of one group share one read of their file; the last
// row that holds decides, so later releases come later. ddraw.dll makes up
// four groups, each read anew.
const CDetectionRow kDetectionTable[] = {
    {1, "\\ddraw.dll", kAtLeast, Version(4, 2, 0, 95), 0, 1, 0, ' '},
    {1, "\\ddraw.dll", kAtLeast, Version(4, 3, 0, 1096), 0, 2, 0, ' '},
    {1, "\\ddraw.dll", kAtLeast, Version(4, 4, 0, 68), 0, 3, 0, ' '},
    {2, "\\d3drg8x.dll", kAtLeast, Version(4, 4, 0, 70), 0, 3, 0, 'a'},
    {3, "\\ddraw.dll", kAtLeast, Version(4, 5, 0, 155), 0, 5, 0, ' '},
    {3, "\\ddraw.dll", kAtLeast, Version(4, 6, 0, 318), 0, 6, 0, ' '},
    {3, "\\ddraw.dll", kAtLeast, Version(4, 6, 0, 436), 0, 6, 1, ' '},
    {4, "\\dplayx.dll", kAtLeast, Version(4, 6, 3, 518), 0, 6, 1, 'a'},
    {5, "\\ddraw.dll", kAtLeast, Version(4, 7, 0, 700), 0, 7, 0, ' '},
    {6, "\\dinput.dll", kAtLeast, Version(4, 7, 0, 716), 0, 7, 0, 'a'},
    {7, "\\ddraw.dll", kAtLeastByMajor, Version(4, 8, 0, 400), Version(5, 1, 2258, 400), 8, 0, ' '},
    {8, "\\d3d8.dll", kAtLeastByMajor, Version(4, 8, 1, 881), Version(5, 1, 2600, 881), 8, 1, ' '},
    {8, "\\d3d8.dll", kAtLeastByMajor, Version(4, 8, 1, 901), Version(5, 1, 2600, 901), 8, 1, 'a'},
    {9, "\\mpg2splt.ax", kAtLeast, Version(6, 3, 1, 885), 0, 8, 1, 'b'},
    {10, "\\dpnet.dll", kAtLeastByMajor, Version(4, 9, 0, 134), Version(5, 2, 3677, 134), 8, 2, ' '},
    {11, "\\d3d9.dll", kReadable, 0, 0, 9, 0, ' '},
};

const size_t kRowCount = sizeof(kDetectionTable) / sizeof(kDetectionTable[0]);

// Room for the system folder as GetSystemDirectoryA is allowed to write it.
const UINT kSystemFolderSize = 260;

bool RowHolds(const CDetectionRow& row, ULONGLONG qwVersion)
{
    switch (row.eCondition)
    {
    case kAtLeast:
        return CompareModuleVersions(qwVersion, row.qwMinimum) >= 0;
    case kAtLeastByMajor:
        switch (qwVersion >> 48)
        {
        case 4:
            return CompareModuleVersions(qwVersion, row.qwMinimum) >= 0;
        case 5:
            return CompareModuleVersions(qwVersion, row.qwMinimumMajor5) >= 0;
        default:
            return false;
        }
    case kReadable:
        return true;
    }
    return false;
}

void StoreTriple(int nMajor, int nMinor, char chLetter, int* pnMajor, int* pnMinor, char* pchLetter)
{
    if (pnMajor != nullptr)
        *pnMajor = nMajor;
    if (pnMinor != nullptr)
        *pnMinor = nMinor;
    if (pchLetter != nullptr)
        *pchLetter = chLetter;
}

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

// The copy of a version resource, freed on every way out.
struct CVersionBuffer
{
    explicit CVersionBuffer(BYTE* pBytes) noexcept : m_pData(pBytes) {}
    ~CVersionBuffer() { std::free(m_pData); }
    CVersionBuffer(const CVersionBuffer&) = delete;
    CVersionBuffer& operator=(const CVersionBuffer&) = delete;
    BYTE* m_pData;
};

} // namespace

ULONGLONG MakeModuleVersion(DWORD dwMajor, DWORD dwMinor, DWORD dwBuild, DWORD dwRevision) noexcept
{
    const DWORD dwHigh = ((dwMajor & 0xFFFF) << 16) | (dwMinor & 0xFFFF);
    const DWORD dwLow = ((dwBuild & 0xFFFF) << 16) | (dwRevision & 0xFFFF);
    return (static_cast<ULONGLONG>(dwHigh) << 32) | dwLow;
}

int CompareModuleVersions(ULONGLONG qwFirst, ULONGLONG qwSecond) noexcept
{
    if (qwFirst > qwSecond)
        return 1;
    if (qwFirst < qwSecond)
        return -1;
    return 0;
}

HRESULT QueryFileVersion(const char* pszPath, ULONGLONG* pqwVersion) noexcept
{
    if (pszPath == nullptr || pqwVersion == nullptr)
        return E_INVALIDARG;

    DWORD dwUnused = 0;
    const DWORD dwSize = GetFileVersionInfoSizeA(pszPath, &dwUnused);
    if (dwSize == 0)
        return E_FAIL;

    // Zeroed, so bytes the platform does not fill are never stray memory.
    CVersionBuffer buffer(static_cast<BYTE*>(std::calloc(dwSize, 1)));
    if (buffer.m_pData == nullptr)
        return E_OUTOFMEMORY;

    if (!GetFileVersionInfoA(pszPath, 0, dwSize, buffer.m_pData))
        return E_FAIL;

    if (FindRootValue(buffer.m_pData, dwSize) == 0)
        return E_FAIL;

    void* pRecord = nullptr;
    UINT uLength = 0;
    if (!VerQueryValueA(buffer.m_pData, "\\", &pRecord, &uLength) || pRecord == nullptr)
        return E_FAIL;

    // The record must be whole and inside the copy before it is read.
    const BYTE* pFirst = static_cast<const BYTE*>(pRecord);
    if (uLength < sizeof(VS_FIXEDFILEINFO) || dwSize < sizeof(VS_FIXEDFILEINFO) || pFirst < buffer.m_pData ||
        static_cast<size_t>(pFirst - buffer.m_pData) > dwSize - sizeof(VS_FIXEDFILEINFO))
        return E_FAIL;

    VS_FIXEDFILEINFO info;
    std::memcpy(&info, pFirst, sizeof(info));
    *pqwVersion = (static_cast<ULONGLONG>(info.dwFileVersionMS) << 32) | info.dwFileVersionLS;
    return S_OK;
}

HRESULT DetectDirectXByFiles(int* pnMajor, int* pnMinor, char* pchLetter) noexcept
{
    return sysinfo_internal::DetectDirectXByFiles(sysinfo_internal::PlatformDirectXSources(), pnMajor, pnMinor,
                                                  pchLetter);
}

namespace sysinfo_internal {

UINT PlatformSystemFolder(void*, LPSTR pszBuffer, UINT uSize) noexcept
{
    return GetSystemDirectoryA(pszBuffer, uSize);
}

HRESULT DetectDirectXByFiles(const CDirectXSources& sources, int* pnMajor, int* pnMinor, char* pchLetter) noexcept
{
    bool bFound = false;

    char szFolder[kSystemFolderSize] = {};
    const UINT uFolder = sources.pfnGetSystemFolder(sources.pContext, szFolder, kSystemFolderSize);
    szFolder[kSystemFolderSize - 1] = 0;

    // A folder too long for the buffer was not written: it counts as none.
    if (uFolder != 0 && uFolder < kSystemFolderSize)
    {
        char szPath[kSystemFolderSize + 16];
        const size_t nFolder = std::strlen(szFolder);
        for (size_t nFirst = 0; nFirst < kRowCount;)
        {
            size_t nEnd = nFirst + 1;
            while (nEnd < kRowCount && kDetectionTable[nEnd].nGroup == kDetectionTable[nFirst].nGroup)
                ++nEnd;

            std::memcpy(szPath, szFolder, nFolder);
            std::strcpy(szPath + nFolder, kDetectionTable[nFirst].pszName);
            ULONGLONG qwVersion = 0;
            if (SUCCEEDED(QueryFileVersion(szPath, &qwVersion)))
            {
                for (size_t i = nFirst; i < nEnd; ++i)
                {
                    const CDetectionRow& row = kDetectionTable[i];
                    if (RowHolds(row, qwVersion))
                    {
                        StoreTriple(row.nMajor, row.nMinor, row.chLetter, pnMajor, pnMinor, pchLetter);
                        bFound = true;
                    }
                }
            }
            nFirst = nEnd;
        }
    }

    if (!bFound)
        StoreTriple(0, 0, ' ', pnMajor, pnMinor, pchLetter);
    return S_OK;
}

} // namespace sysinfo_internal
