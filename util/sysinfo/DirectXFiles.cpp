#include "util/sysinfo/DirectXFiles.h"

#include "util/sysinfo/FileVersion.h"

#include "util/sysinfo/internal/DirectXSources.h"

#include <cstring>

namespace {

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
    {1, "\\ddraw.dll", kAtLeast, MakeModuleVersion(4, 2, 0, 95), 0, 1, 0, ' '},
    {1, "\\ddraw.dll", kAtLeast, MakeModuleVersion(4, 3, 0, 1096), 0, 2, 0, ' '},
    {1, "\\ddraw.dll", kAtLeast, MakeModuleVersion(4, 4, 0, 68), 0, 3, 0, ' '},
    {2, "\\d3drg8x.dll", kAtLeast, MakeModuleVersion(4, 4, 0, 70), 0, 3, 0, 'a'},
    {3, "\\ddraw.dll", kAtLeast, MakeModuleVersion(4, 5, 0, 155), 0, 5, 0, ' '},
    {3, "\\ddraw.dll", kAtLeast, MakeModuleVersion(4, 6, 0, 318), 0, 6, 0, ' '},
    {3, "\\ddraw.dll", kAtLeast, MakeModuleVersion(4, 6, 0, 436), 0, 6, 1, ' '},
    {4, "\\dplayx.dll", kAtLeast, MakeModuleVersion(4, 6, 3, 518), 0, 6, 1, 'a'},
    {5, "\\ddraw.dll", kAtLeast, MakeModuleVersion(4, 7, 0, 700), 0, 7, 0, ' '},
    {6, "\\dinput.dll", kAtLeast, MakeModuleVersion(4, 7, 0, 716), 0, 7, 0, 'a'},
    {7, "\\ddraw.dll", kAtLeastByMajor, MakeModuleVersion(4, 8, 0, 400), MakeModuleVersion(5, 1, 2258, 400),
     8, 0, ' '},
    {8, "\\d3d8.dll", kAtLeastByMajor, MakeModuleVersion(4, 8, 1, 881), MakeModuleVersion(5, 1, 2600, 881),
     8, 1, ' '},
    {8, "\\d3d8.dll", kAtLeastByMajor, MakeModuleVersion(4, 8, 1, 901), MakeModuleVersion(5, 1, 2600, 901),
     8, 1, 'a'},
    {9, "\\mpg2splt.ax", kAtLeast, MakeModuleVersion(6, 3, 1, 885), 0, 8, 1, 'b'},
    {10, "\\dpnet.dll", kAtLeastByMajor, MakeModuleVersion(4, 9, 0, 134), MakeModuleVersion(5, 2, 3677, 134),
     8, 2, ' '},
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

} // namespace

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
