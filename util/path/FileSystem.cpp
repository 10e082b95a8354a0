#include "util/path/FileSystem.h"

#include "framework/CodePage.h"
#include "framework/File.h"
#include "framework/FileFind.h"
#include "framework/Handle.h"
#include "util/internal/DecimalDigits.h"
#include "util/path/PathUtil.h"

#include <shlwapi.h>

#include <charconv>
#include <climits>

namespace {

// Start indexes of the last two characters of the text (-1 where there is
// none), walking whole characters of the active code page.
void FindLastTwoChars(const CString& strText, int& nLast, int& nBeforeLast)
{
    const CCodePageInfo& cp = AfxGetCodePageInfo();
    const char* p = strText.GetString();
    nLast = -1;
    nBeforeLast = -1;
    for (int i = 0; p[i] != '\0'; i += AfxCharLength(cp, p + i))
    {
        nBeforeLast = nLast;
        nLast = i;
    }
}

bool EndsWithBackslash(const CString& strText)
{
    int nLast = 0;
    int nBeforeLast = 0;
    FindLastTwoChars(strText, nLast, nBeforeLast);
    return nLast >= 0 && strText[nLast] == '\\';
}

// Appends the bare names of the entries that match strSearch and whose
// directory bit equals bWantFolders.
void AppendMatches(const CString& strSearch, CStringArray& arrNames, bool bWantFolders)
{
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(strSearch, &data);
    if (h == INVALID_HANDLE_VALUE)
        return;
    CFindHandle hSearch(h);
    do
    {
        bool bFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (bFolder == bWantFolders)
            arrNames.Add(CString(data.cFileName));
    } while (FindNextFileA(hSearch.Get(), &data));
}

// The folder with "\" separators and one final "\".
CString PrepareFolder(const CString& strFolder)
{
    CString strResult = ReplaceChar(strFolder, '/', '\\');
    if (!EndsWithBackslash(strResult))
        strResult += '\\';
    return strResult;
}

// Converts with the zone's rules for the time's own date, so a July time
// reads in summer time whatever today's date (FileTimeToLocalFileTime would
// apply today's offset to every date). Where the zone cannot convert it,
// the universal time is written; a file time past the calendar's range
// leaves the destination as it was.
void ToLocalSystemTime(const FILETIME& ftUniversal, SYSTEMTIME& stLocal)
{
    SYSTEMTIME stUniversal;
    if (!FileTimeToSystemTime(&ftUniversal, &stUniversal))
        return;
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &stUniversal, &stLocal))
        stLocal = stUniversal;
}

// Whether any entry of that name exists. A search never finds a name that
// ends in "\" (a drive root such as C:\, a two-character path such as a\,
// or C:\a\ left of C:\a\\), so such a name is asked for its attributes
// instead. Either way a name of 260 characters or
// more is never found.
bool PathExists(const CString& strPath, bool bFinalSeparator)
{
    if (bFinalSeparator)
        return strPath.GetLength() < MAX_PATH && GetFileAttributesA(strPath) != INVALID_FILE_ATTRIBUTES;
    CFileFind finder;
    return finder.FindFile(strPath) != FALSE;
}

CString FormatDecimal(ULONGLONG qwValue)
{
    char digits[util_internal::kMaxDecimalText];
    const char* pEnd = std::to_chars(digits, digits + sizeof(digits), qwValue).ptr;
    return CString(digits, static_cast<int>(pEnd - digits));
}

} // namespace

void GetFileList(CString strFolder, CStringArray& arrFiles, CString strPattern)
{
    if (strFolder.IsEmpty())
        return;
    AppendMatches(PrepareFolder(strFolder) + strPattern, arrFiles, false);
}

void GetSubFolderList(CString strFolder, CStringArray& arrFolders)
{
    if (strFolder.IsEmpty())
        return;
    AppendMatches(PrepareFolder(strFolder) + "*.*", arrFolders, true);
}

ULONGLONG GetFileLength(CString strPath, DWORD* pdwError)
{
    CFile file;
    CFileException error(0);
    BOOL bOpen = file.Open(strPath, CFile::modeRead | CFile::shareDenyNone, &error);
    if (pdwError != nullptr)
        *pdwError = static_cast<DWORD>(error.m_lOsError);
    if (!bOpen)
        return 0;
    ULONGLONG qwLength = file.GetLength();
    file.Close();
    return qwLength;
}

CString GetFileLengthText(CString strPath)
{
    return FormatByteSize(GetFileLength(strPath));
}

CString FormatByteSize(ULONGLONG qwCount)
{
    // The formatter takes a signed count; from 2^63 on it would print a
    // negative or wrong number.
    char buffer[256] = {};
    if (qwCount > static_cast<ULONGLONG>(LLONG_MAX) ||
        StrFormatByteSize64A(static_cast<LONGLONG>(qwCount), buffer, sizeof(buffer)) == nullptr)
        return FormatDecimal(qwCount) + " bytes";
    buffer[sizeof(buffer) - 1] = '\0';
    return CString(buffer);
}

BOOL GetFileTimes(CString strPath, SYSTEMTIME& stCreation, SYSTEMTIME& stAccess, SYSTEMTIME& stWrite,
                  DWORD* pdwError)
{
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(strPath, &data);
    if (pdwError != nullptr)
        *pdwError = h == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;
    CFindHandle hSearch(h);
    ToLocalSystemTime(data.ftCreationTime, stCreation);
    ToLocalSystemTime(data.ftLastAccessTime, stAccess);
    ToLocalSystemTime(data.ftLastWriteTime, stWrite);
    return TRUE;
}

BOOL IsDirectory(CString strPath)
{
    DWORD dwAttributes = GetFileAttributesA(strPath);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
        return FALSE;
    return (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? TRUE : FALSE;
}

BOOL CreateDirectoryTree(CString strPath)
{
    int nLast = 0;
    int nBeforeLast = 0;
    FindLastTwoChars(strPath, nLast, nBeforeLast);
    // A drive root keeps its "\": "C:" alone would name drive C's current folder.
    bool bFinalSeparator = nLast >= 0 && strPath[nLast] == '\\';
    bool bDriveRoot = bFinalSeparator && nBeforeLast >= 0 && strPath[nBeforeLast] == ':';
    if (strPath.GetLength() > 2 && bFinalSeparator && !bDriveRoot)
    {
        strPath.Truncate(nLast);
        FindLastTwoChars(strPath, nLast, nBeforeLast);
        bFinalSeparator = nLast >= 0 && strPath[nLast] == '\\';
    }

    if (PathExists(strPath, bFinalSeparator))
        return TRUE;

    // The search starts after the first character, so a leading "\" never
    // ends a level.
    int nFirstLength = strPath.IsEmpty() ? 0 : AfxCharLength(AfxGetCodePageInfo(), strPath.GetString());
    for (int nSeparator = strPath.Find('\\', nFirstLength); nSeparator >= 0;
         nSeparator = strPath.Find('\\', nSeparator + 1))
    {
        CreateDirectoryA(strPath.Left(nSeparator + 1), nullptr);
    }
    CreateDirectoryA(strPath, nullptr);

    return PathExists(strPath, bFinalSeparator) ? TRUE : FALSE;
}
