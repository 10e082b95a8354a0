#include "util/path/PathUtil.h"

#include "framework/CodePage.h"

#include <initializer_list>

// The Win32 macro of that name would rename the definition (see PathUtil.h).
#undef GetFileTitle

namespace {

bool IsSeparator(char ch)
{
    return ch == '\\' || ch == '/';
}

// Index of the last whole character in [nStart, nEnd) that is ch or, with
// bSeparator, "\" or "/"; -1 when there is none. nStart is a character
// boundary.
int FindLastChar(const CCodePageInfo& cp, const char* p, int nStart, int nEnd, char ch, bool bSeparator)
{
    if (!cp.bDoubleByte)
    {
        for (int i = nEnd - 1; i >= nStart; --i)
        {
            if (p[i] == ch || (bSeparator && IsSeparator(p[i])))
                return i;
        }
        return -1;
    }
    int nFound = -1;
    for (int i = nStart; i < nEnd; i += AfxCharLength(cp, p + i))
    {
        if ((p[i] == ch || (bSeparator && IsSeparator(p[i]))) && AfxCharLength(cp, p + i) == 1)
            nFound = i;
    }
    return nFound;
}

// Where the parts of a path lie, as GetFileName sees it: the file name is
// [nName, nCut), nCut is where the query part starts (or the length), and
// nDot the file name's last "." or -1. A path that begins with "?" is all
// file name.
struct CPathParts
{
    int nName;
    int nCut;
    int nDot;
};

CPathParts FindPathParts(const CString& strPath)
{
    const CCodePageInfo& cp = AfxGetCodePageInfo();
    const char* p = strPath.GetString();
    const int nQuery = strPath.Find('?');
    CPathParts parts = {0, nQuery > 0 ? nQuery : strPath.GetLength(), -1};
    if (nQuery != 0)
        parts.nName = FindLastChar(cp, p, 0, parts.nCut, '\\', true) + 1;
    parts.nDot = FindLastChar(cp, p, parts.nName, parts.nCut, '.', false);
    return parts;
}

// The bytes [nStart, nEnd) of the text; the text itself when that is all of it.
CString Part(const CString& strText, int nStart, int nEnd)
{
    if (nStart == 0 && nEnd == strText.GetLength())
        return strText;
    return CString(strText.GetString() + nStart, nEnd - nStart);
}

// The first nLength bytes of the text with every "/" turned into "\".
CString LeftWithBackslashes(const CString& strText, int nLength)
{
    if (nLength <= 0)
        return CString();
    CString strResult;
    const char* pSource = strText.GetString();
    char* p = strResult.GetBuffer(nLength);
    for (int i = 0; i < nLength; ++i)
        p[i] = pSource[i] == '/' ? '\\' : pSource[i];
    strResult.ReleaseBuffer(nLength);
    return strResult;
}

// Index of the first ":" that a separator follows, among the whole
// characters of [0, nEnd); -1 when there is none.
int FindDriveRoot(const CCodePageInfo& cp, const char* p, int nEnd)
{
    for (int i = 0; i + 1 < nEnd; i += AfxCharLength(cp, p + i))
    {
        if (p[i] == ':' && IsSeparator(p[i + 1]))
            return i;
    }
    return -1;
}

// The eight characters a file name may not hold, as a table over bytes. No
// lead byte is among them.
struct CInvalidNameChars
{
    bool bInvalid[256] = {};
    constexpr CInvalidNameChars()
    {
        for (char ch : {'/', '?', '\\', ':', '<', '>', '"', '|'})
            bInvalid[static_cast<unsigned char>(ch)] = true;
    }
};
constexpr CInvalidNameChars s_invalidNameChars;

} // namespace

CString ReplaceChar(CString strText, char chFind, char chPut)
{
    if (chFind == chPut)
        return strText;
    int nLength = strText.GetLength();
    const char* pSource = strText.GetString();
    int nFirst = 0;
    while (nFirst < nLength && pSource[nFirst] != chFind)
        ++nFirst;
    if (nFirst == nLength)
        return strText;
    char* p = strText.GetBuffer(nLength);
    for (int i = nFirst; i < nLength; ++i)
    {
        if (p[i] == chFind)
            p[i] = chPut;
    }
    strText.ReleaseBuffer(nLength);
    return strText;
}

CString GetFileName(CString strPath)
{
    // The name comes from the caller's own bytes: a "/" that is the trail
    // byte of a double-byte character is not a separator and stays as it is.
    const CPathParts parts = FindPathParts(strPath);
    return Part(strPath, parts.nName, parts.nCut);
}

CString GetFileTitle(CString strPath)
{
    const CPathParts parts = FindPathParts(strPath);
    return Part(strPath, parts.nName, parts.nDot < 0 ? parts.nCut : parts.nDot);
}

CString GetFileExt(CString strPath)
{
    const CPathParts parts = FindPathParts(strPath);
    return parts.nDot < 0 ? CString() : Part(strPath, parts.nDot + 1, parts.nCut);
}

CString GetFileDir(CString strPath)
{
    // A path that begins with "?" is all file name and has no folder.
    return Part(strPath, 0, FindPathParts(strPath).nName);
}

CString GetParentDir(CString strPath)
{
    const CPathParts parts = FindPathParts(strPath);
    if (parts.nName < parts.nCut)
        return LeftWithBackslashes(strPath, parts.nName);
    if (parts.nCut == 0)
        return CString();

    // The path ends in a separator. A drive root is its own parent.
    const CCodePageInfo& cp = AfxGetCodePageInfo();
    const char* p = strPath.GetString();
    const int nRoot = FindDriveRoot(cp, p, parts.nCut);
    if (nRoot >= 0 && nRoot == parts.nCut - 2)
        return LeftWithBackslashes(strPath, parts.nCut);
    int nSeparator = FindLastChar(cp, p, 0, parts.nCut - 1, '\\', true);
    if (nSeparator <= 0)
        return Part(strPath, 0, parts.nCut);
    return LeftWithBackslashes(strPath, nSeparator + 1);
}

CString GetDrive(CString strPath)
{
    int nColon = strPath.Find(':');
    if (nColon < 0)
        return CString();
    // The character after the ":" whole: a double-byte one is never cut in
    // half ("C:" then a Hangul syllable keeps both of its bytes).
    int nAfter = nColon + 1;
    int nNext = nAfter < strPath.GetLength() ? AfxCharLength(AfxGetCodePageInfo(), strPath.GetString() + nAfter) : 0;
    return strPath.Left(nAfter + nNext);
}

namespace {

// IsSamePath for texts that hold a double-byte character: lower-casing one
// needs the platform, and a trail byte equal to "\" (code page 932) is part
// of its character, not a final separator.
bool IsSamePathByCharacters(CString strFirst, CString strSecond)
{
    CString* texts[] = {&strFirst, &strSecond};
    for (CString* pText : texts)
    {
        *pText = ReplaceChar(*pText, '/', '\\');
        int nLength = pText->GetLength();
        if (nLength > 0 && pText->ReverseFind('\\') == nLength - 1)
            pText->Truncate(nLength - 1);
        pText->MakeLower();
    }
    return strFirst == strSecond;
}

// A byte as IsSamePath compares it: "/" as "\", then lower-cased.
unsigned char FoldPathByte(const CCodePageInfo& cp, char ch)
{
    return cp.lower[static_cast<unsigned char>(ch == '/' ? '\\' : ch)];
}

} // namespace

bool IsSamePath(CString strFirst, CString strSecond)
{
    if (strFirst.IsEmpty() || strSecond.IsEmpty())
        return false;
    const CCodePageInfo& cp = AfxGetCodePageInfo();
    const char* a = strFirst.GetString();
    const char* b = strSecond.GetString();
    int nFirst = strFirst.GetLength();
    int nSecond = strSecond.GetLength();
    if (AfxHasLeadByte(cp, a, nFirst) || AfxHasLeadByte(cp, b, nSecond))
        return IsSamePathByCharacters(strFirst, strSecond);
    // Single bytes only: each is a character, lower-cased by the code page's table.
    nFirst -= IsSeparator(a[nFirst - 1]) ? 1 : 0;
    nSecond -= IsSeparator(b[nSecond - 1]) ? 1 : 0;
    if (nFirst != nSecond)
        return false;
    for (int i = 0; i < nFirst; ++i)
    {
        if (FoldPathByte(cp, a[i]) != FoldPathByte(cp, b[i]))
            return false;
    }
    return true;
}

void MakeValidFileName(CString& strText, char chReplace)
{
    int nLength = strText.GetLength();
    if (nLength == 0)
        return;
    const CCodePageInfo& cp = AfxGetCodePageInfo();
    char* p = strText.GetBuffer(nLength);
    int nOut = 0;
    for (int i = 0; i < nLength; ++i)
    {
        char ch = p[i];
        if (s_invalidNameChars.bInvalid[static_cast<unsigned char>(ch)])
        {
            // With no replacement the bad characters are dropped, and so is
            // any "?" (which is itself one of them).
            if (chReplace == '\0')
                continue;
            ch = chReplace;
        }
        else if (cp.bDoubleByte && AfxCharLength(cp, p + i) == 2)
        {
            // A double-byte character stays whole: its trail byte may equal
            // "\" or "|" (code page 932) and is never one of the eight.
            p[nOut++] = ch;
            ch = p[++i];
        }
        p[nOut++] = ch;
    }
    strText.ReleaseBuffer(nOut);
}
