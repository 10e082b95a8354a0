// FILE operands: one rule for every command that takes files.
#include "tools/kestrum/Tool.h"

#include "framework/Handle.h"

namespace {

CFileMatch Problem(const CString& strPath, const std::wstring& strWidePath, const char* pszReason)
{
    CFileMatch match;
    match.m_strPath = strPath;
    match.m_strWidePath = strWidePath;
    match.m_strReason = pszReason;
    return match;
}

// Every file (not folder) that matches a pattern, searched in UTF-16 so that
// a name the code page cannot spell is told apart rather than shown as a
// look-alike.
std::vector<CFileMatch> ExpandPattern(const CString& strOperand, const std::wstring& strWide)
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
            if (!ToCodePageExactly(match.m_strWidePath, match.m_strPath))
                match.m_strReason = "name outside the active code page";
            else if (match.m_strPath.GetLength() >= MAX_PATH)
                match.m_strReason = "path too long";
            matches.push_back(match);
        } while (FindNextFileW(hSearch.Get(), &data));
    }
    if (matches.empty())
        matches.push_back(Problem(strOperand, strWide, "no file matches"));
    return matches;
}

} // namespace

std::vector<CFileMatch> ExpandFileOperand(const CString& strOperand)
{
    std::wstring strWide = ToWide(strOperand);
    // The library's file operations refuse such names, whatever is there.
    if (strOperand.GetLength() >= MAX_PATH)
        return {Problem(strOperand, strWide, "path too long")};
    size_t nPart = strWide.find_last_of(L"\\/:");
    if (strWide.find_first_of(L"*?", nPart == std::wstring::npos ? 0 : nPart + 1) != std::wstring::npos)
        return ExpandPattern(strOperand, strWide);

    DWORD dwAttributes = GetFileAttributesA(strOperand);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
    {
        CString strReason = DescribeError(GetLastError());
        CFileMatch match = Problem(strOperand, strWide, "");
        match.m_strReason = strReason;
        return {match};
    }
    if (dwAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return {Problem(strOperand, strWide, "is a folder")};
    return {Problem(strOperand, strWide, "")};
}

int ReportMatch(const CFileMatch& match, CRecord& list)
{
    list.Nested(nullptr, CRecord().FileName("file", match.m_strWidePath).Text("error", match.m_strReason)).JsonOnly();
    // The name is escaped already, and marked where the code page lacks it.
    return FailLine(TextOfFileName(match.m_strWidePath) + ": " + EscapeText(match.m_strReason));
}
