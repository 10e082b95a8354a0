// File commands: checksum, size, times, ls, dirs.
#include "tools/kestrum/Tool.h"

#include "framework/Handle.h"
#include "util/path/FileSystem.h"
#include "util/path/MappedFile.h"

namespace {

// "2024-05-01 12:34:56.789", local time as the library gives it.
CString FormatTime(const SYSTEMTIME& st)
{
    CString strTime;
    strTime.Format("%04u-%02u-%02u %02u:%02u:%02u.%03u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                   st.wSecond, st.wMilliseconds);
    return strTime;
}

// Where a run over files stands: which file, for the progress line.
struct CFileProgress
{
    CProgress* pProgress;
    size_t nIndex;
};

void ShowChecksumProgress(ULONGLONG qwDone, ULONGLONG qwTotal, void* pContext)
{
    const CFileProgress* p = static_cast<const CFileProgress*>(pContext);
    p->pProgress->Show(p->nIndex, qwDone, qwTotal);
}

// Runs fnFile on every file the operands name, in order; a file that has
// or gets a reason (set by fnFile when the library fails on it) is reported
// as an entry of the list.
template <typename F>
int ForEachFile(const CCommandLine& cmd, const char* pszCommand, CRecord& out, F fnFile)
{
    out = CRecord(CRecord::List);
    std::vector<CFileMatch> files;
    for (const std::wstring& strOperand : cmd.m_wideArgs)
    {
        std::vector<CFileMatch> matches = ExpandFileOperand(strOperand);
        files.insert(files.end(), matches.begin(), matches.end());
    }
    int nResult = ExitSuccess;
    CProgress progress(pszCommand, files.size());
    for (size_t i = 0; i < files.size(); ++i)
    {
        progress.Show(i, 0, 0);
        CFileMatch& file = files[i];
        if (file.m_strReason.IsEmpty())
            fnFile(file, CFileProgress{&progress, i});
        if (!file.m_strReason.IsEmpty())
            nResult = ReportMatch(file, out);
    }
    return nResult;
}

// ls and dirs: the bare names of a folder's entries that match, folders
// (without "." and "..") or files, searched in UTF-16 so a name outside
// the active code page is shown marked rather than as a look-alike.
int ListFolder(const std::wstring& strFolder, const std::wstring& strPattern, bool bFolders, CRecord& out)
{
    if (AfxToCodePage(strFolder).GetLength() >= MAX_PATH)
        return FailName(strFolder, "path too long");
    DWORD dwAttributes = GetFileAttributesW(strFolder.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
        return FailName(strFolder, DescribeError(GetLastError()));
    if (!(dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return FailName(strFolder, "not a folder");

    std::wstring strSearch = strFolder;
    for (wchar_t& ch : strSearch)
        if (ch == L'/')
            ch = L'\\';
    if (strSearch.back() != L'\\')
        strSearch += L'\\';
    strSearch += strPattern;

    out = CRecord(CRecord::List);
    WIN32_FIND_DATAW data;
    CFindHandle hSearch(FindFirstFileW(strSearch.c_str(), &data));
    if (!hSearch)
        return ExitSuccess;
    do
    {
        bool bFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        std::wstring strName = data.cFileName;
        if (bFolder == bFolders && strName != L"." && strName != L"..")
            out.FileName(nullptr, strName);
    } while (FindNextFileW(hSearch.Get(), &data));
    return ExitSuccess;
}

} // namespace

int RunChecksum(const CCommandLine& cmd, CRecord& out)
{
    return ForEachFile(cmd, "checksum", out, [&out](CFileMatch& file, CFileProgress progress) {
        DWORD dwError = ERROR_SUCCESS;
        BYTE bChecksum = GetFileChecksum(file.m_strPath, &dwError, ShowChecksumProgress, &progress);
        if (dwError == ERROR_SHARING_VIOLATION)
        {
            file.m_strReason = "in use by another program (a checksum maps the file, so no other program may "
                               "have it open for writing)";
            return;
        }
        if (dwError != ERROR_SUCCESS)
        {
            file.m_strReason = DescribeError(dwError);
            return;
        }
        CString strValue;
        strValue.Format("0x%02X", bChecksum);
        out.Nested(nullptr, CRecord().Text("checksum", strValue).Text("file", file.m_strPath));
    });
}

int RunSize(const CCommandLine& cmd, CRecord& out)
{
    return ForEachFile(cmd, "size", out, [&out](CFileMatch& file, CFileProgress) {
        DWORD dwError = ERROR_SUCCESS;
        ULONGLONG qwLength = GetFileLength(file.m_strPath, &dwError);
        if (dwError != ERROR_SUCCESS)
        {
            file.m_strReason = DescribeError(dwError);
            return;
        }
        out.Nested(nullptr, CRecord()
                                .Number("bytes", qwLength)
                                .Text("text", FormatByteSize(qwLength))
                                .Text("file", file.m_strPath));
    });
}

int RunTimes(const CCommandLine& cmd, CRecord& out)
{
    return ForEachFile(cmd, "times", out, [&out](CFileMatch& file, CFileProgress) {
        SYSTEMTIME stCreation = {}, stAccess = {}, stWrite = {};
        DWORD dwError = ERROR_SUCCESS;
        if (!GetFileTimes(file.m_strPath, stCreation, stAccess, stWrite, &dwError))
        {
            file.m_strReason = DescribeError(dwError);
            return;
        }
        out.Nested(nullptr, CRecord()
                                .Text("creation", FormatTime(stCreation))
                                .Text("access", FormatTime(stAccess))
                                .Text("write", FormatTime(stWrite))
                                .Text("file", file.m_strPath));
    });
}

int RunList(const CCommandLine& cmd, CRecord& out)
{
    return ListFolder(cmd.m_wideArgs[0], cmd.m_wideArgs.size() > 1 ? cmd.m_wideArgs[1] : L"*.*", false, out);
}

int RunDirs(const CCommandLine& cmd, CRecord& out)
{
    return ListFolder(cmd.m_wideArgs[0], L"*.*", true, out);
}
