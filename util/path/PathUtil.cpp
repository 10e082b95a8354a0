#include "util/path/PathUtil.h"

#include "framework/CodePage.h"

#include <initializer_list>

namespace {

// The path without its query part: everything from the first "?" on, unless
// that "?" is the first character (such a path is a name of its own).
CString CutQuery(const CString& strPath)
{
    int nQuery = strPath.Find('?');
    return nQuery > 0 ? strPath.Left(nQuery) : strPath;
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
    if (strPath.Find('?') == 0)
        return strPath;
    CString strCut = CutQuery(strPath);
    CString strWork = ReplaceChar(strCut, '/', '\\');
    int nSeparator = strWork.ReverseFind('\\');
    if (nSeparator < 0)
        return strCut;
    // The name comes from the caller's own bytes: a "/" that is the trail
    // byte of a double-byte character is not a separator and stays as it is.
    return strCut.Mid(nSeparator + 1);
}

CString GetFileTitle(CString strPath)
{
    CString strName = GetFileName(strPath);
    int nDot = strName.ReverseFind('.');
    return nDot < 0 ? strName : strName.Left(nDot);
}

CString GetFileExt(CString strPath)
{
    CString strName = GetFileName(strPath);
    int nDot = strName.ReverseFind('.');
    return nDot < 0 ? CString() : strName.Mid(nDot + 1);
}

CString GetFileDir(CString strPath)
{
    CString strName = GetFileName(strPath);
    // A path that begins with "?" is all file name and has no folder.
    CString strCut = CutQuery(strPath);
    return strCut.Left(strCut.GetLength() - strName.GetLength());
}

CString GetParentDir(CString strPath)
{
    CString strCut = CutQuery(strPath);
    CString strWork = ReplaceChar(strCut, '/', '\\');
    CString strName = GetFileName(strPath);
    if (!strName.IsEmpty())
        return strWork.Left(strWork.GetLength() - strName.GetLength());

    // A drive root is its own parent.
    int nRoot = strWork.Find(":\\");
    if (nRoot >= 0 && nRoot == strWork.GetLength() - 2)
        return strWork;

    if (!strWork.IsEmpty() && strWork.ReverseFind('\\') == strWork.GetLength() - 1)
        strWork.Truncate(strWork.GetLength() - 1);
    int nSeparator = strWork.ReverseFind('\\');
    if (nSeparator <= 0)
        return strCut;
    return strWork.Left(nSeparator + 1);
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

bool IsSamePath(CString strFirst, CString strSecond)
{
    if (strFirst.IsEmpty() || strSecond.IsEmpty())
        return false;
    CString* texts[] = {&strFirst, &strSecond};
    for (CString* pText : texts)
    {
        *pText = ReplaceChar(*pText, '/', '\\');
        // The last whole character: a trail byte equal to "\" (code page
        // 932) is part of its character, not a final separator.
        int nLength = pText->GetLength();
        if (nLength > 0 && pText->ReverseFind('\\') == nLength - 1)
            pText->Truncate(nLength - 1);
        pText->MakeLower();
    }
    return strFirst == strSecond;
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
