// FILE operands: one rule for every command that takes files.
#include "tools/kestrum/Tool.h"

#include "framework/Handle.h"

namespace {

CFileMatch Match(const CString& strPath, const std::wstring& strWidePath)
{
    CFileMatch match;
    match.m_strPath = strPath;
    match.m_strWidePath = strWidePath;
    return match;
}

CFileMatch Problem(const std::wstring& strWidePath, const CString& strReason)
{
    CFileMatch match = Match(AfxToCodePage(strWidePath), strWidePath);
    match.m_strReason = strReason;
    return match;
}

// Every file (not folder) that matches a pattern, searched in UTF-16 so that
// a name the code page cannot spell is told apart rather than shown as a
// look-alike.
std::vector<CFileMatch> ExpandPattern(const std::wstring& strWide)
{
    std::vector<CFileMatch> matches;
    size_t nPart = strWide.find_last_of(L"\\/:");
    std::wstring strFolder = nPart == std::wstring::npos ? std::wstring() : strWide.substr(0, nPart + 1);

    WIN32_FIND_DATAW data;
    CFindHandle hSearch(FindFirstFileW(strWide.c_str(), &data));
    if (hSearch)
    {
        do
        {
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            CFileMatch match;
            match.m_strWidePath = strFolder + data.cFileName;
            if (!AfxToCodePageExactly(match.m_strWidePath, match.m_strPath))
                match.m_strReason = "name outside the active code page";
            else if (match.m_strPath.GetLength() >= MAX_PATH)
                match.m_strReason = "path too long";
            matches.push_back(match);
        } while (FindNextFileW(hSearch.Get(), &data));
    }
    if (matches.empty())
        matches.push_back(Problem(strWide, "no file matches"));
    return matches;
}

} // namespace

std::vector<CFileMatch> ExpandFileOperand(const std::wstring& strWide)
{
    size_t nPart = strWide.find_last_of(L"\\/:");
    if (strWide.find_first_of(L"*?", nPart == std::wstring::npos ? 0 : nPart + 1) != std::wstring::npos)
        return ExpandPattern(strWide);

    // The library's file operations take names in the code page, and
    // refuse names of 260 bytes or more, whatever is there.
    CString strPath;
    if (!AfxToCodePageExactly(strWide, strPath))
        return {Problem(strWide, "name outside the active code page")};
    if (strPath.GetLength() >= MAX_PATH)
        return {Problem(strWide, "path too long")};
    DWORD dwAttributes = GetFileAttributesW(strWide.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
        return {Problem(strWide, DescribeError(GetLastError()))};
    if (dwAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return {Problem(strWide, "is a folder")};
    return {Match(strPath, strWide)};
}

int ReportMatch(const CFileMatch& match, CRecord& list)
{
    list.Nested(nullptr, CRecord().FileName("file", match.m_strWidePath).Text("error", match.m_strReason)).JsonOnly();
    return FailName(match.m_strWidePath, match.m_strReason);
}
