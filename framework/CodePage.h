// Character classification for the active multibyte code page.
//
// The string class and the path operations must never treat the trail byte of
// a double-byte character as a character of its own (in code page 949 or 932
// a trail byte may equal "\" or "?"). These tables answer, per byte, whether it
// starts a double-byte character and how a single-byte character changes case.
// They are built once per process from the active code page, which Windows
// fixes for the life of a process.
//
// Below them is the one pair of conversions between UTF-16 and a code page
// that the library, the module and kestrum.exe use.
#pragma once

#include "framework/String.h"

#include <windows.h>

#include <climits>
#include <string>

struct CCodePageInfo
{
    UINT nCodePage;             // the active code page the tables describe
    bool bDoubleByte;           // true when any byte is a lead byte
    bool bLead[256];            // byte starts a double-byte character
    unsigned char upper[256];   // single-byte upper-case mapping
    unsigned char lower[256];   // single-byte lower-case mapping
};

// Tables for the active code page (GetACP), built on first use; pure ASCII
// tables when the platform cannot describe the code page.
const CCodePageInfo& AfxGetCodePageInfo();

inline bool AfxIsLeadByte(const CCodePageInfo& cp, char ch)
{
    return cp.bLead[static_cast<unsigned char>(ch)];
}

// Length in bytes (1 or 2) of the character that starts at p. A lead byte
// followed by the terminator counts as one byte, so a walk never steps past
// the end of a zero-terminated text. With the tables of code page 949:
//   "\xB0\x41" -> 2 (one character whose trail byte is "A")
//   "\xB0"     -> 1 (a lead byte before the terminator)
//   "A"        -> 1
inline int AfxCharLength(const CCodePageInfo& cp, const char* p)
{
    return (AfxIsLeadByte(cp, *p) && p[1] != '\0') ? 2 : 1;
}

// True when the text holds a lead byte of the active code page; never in a
// single-byte code page. Operations that work byte by byte take their quick
// way when it is false.
inline bool AfxHasLeadByte(const CCodePageInfo& cp, const char* p, int nLength)
{
    if (!cp.bDoubleByte)
        return false;
    for (int i = 0; i < nLength; ++i)
    {
        if (AfxIsLeadByte(cp, p[i]))
            return true;
    }
    return false;
}

// UTF-16 to a code page, and back. nCodePage is CP_ACP, the process's
// active code page, unless the caller names another: the string class and
// the 8-bit platform calls use that one.
//
// AfxToCodePage: characters the code page lacks become its substitutes (a
// look-alike, or its default character "?"). At most nMaxBytes bytes: a
// longer text is cut after the last whole character that fits, a
// surrogate pair counting as one character.
//   L"a\xD55C", 2 units, 949        -> "a\xC7\xD1"
//   L"a\xD55C", 2 units, 949, max 2 -> "a"
//   L"a\xD55C", 2 units, 1252       -> "a?"
CString AfxToCodePage(const wchar_t* pch, int nUnits, UINT nCodePage = CP_ACP, int nMaxBytes = INT_MAX);
inline CString AfxToCodePage(const std::wstring& str)
{
    return AfxToCodePage(str.data(), static_cast<int>(str.size()));
}

// The same into a caller's buffer of nRoom bytes: no terminator, nothing
// written past nRoom (a failed first attempt may leave bytes after the ones
// counted). Returns the bytes written; bComplete tells whether every unit
// went in.
int AfxToCodePage(const wchar_t* pch, int nUnits, UINT nCodePage, char* pDest, int nRoom, bool& bComplete);

// The active code page's form of the text only when every character has an
// exact one, no look-alike and no default character: L"\x0101" (a with
// macron) has none in 1252, where AfxToCodePage gives a look-alike or "?".
// False, with strText unchanged, otherwise.
bool AfxToCodePageExactly(const wchar_t* pch, int nUnits, CString& strText);
inline bool AfxToCodePageExactly(const std::wstring& str, CString& strText)
{
    return AfxToCodePageExactly(str.data(), static_cast<int>(str.size()), strText);
}

// AfxFromCodePage: text in a code page to UTF-16. Valid text converts
// unchanged; a byte that starts no character of the code page becomes the
// platform's substitute, so no text ever converts to nothing.
//   "a\xC7\xD1", 3 bytes, 949 -> L"a\xD55C"
// The buffer form writes at most nRoom units, no terminator, and returns
// the units written; with pDest null it only counts the units the text
// needs. 0 when the room is too small.
int AfxFromCodePage(const char* pch, int nBytes, wchar_t* pDest, int nRoom, UINT nCodePage = CP_ACP);
// The string forms are inline, so that a binary that does not use them
// (the module) carries no standard-library strings.
inline std::wstring AfxFromCodePage(const char* pch, int nBytes, UINT nCodePage = CP_ACP)
{
    std::wstring wide(static_cast<size_t>(AfxFromCodePage(pch, nBytes, nullptr, 0, nCodePage)), L'\0');
    if (!wide.empty())
        AfxFromCodePage(pch, nBytes, &wide[0], static_cast<int>(wide.size()), nCodePage);
    return wide;
}
inline std::wstring AfxFromCodePage(const CString& str)
{
    return AfxFromCodePage(str.GetString(), str.GetLength());
}
