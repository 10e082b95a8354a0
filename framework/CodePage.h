// Character classification for the active multibyte code page.
//
// The string class and the path operations must never treat the trail byte of
// a double-byte character as a character of its own (in code page 949 or 932
// a trail byte may equal "\" or "?"). These tables answer, per byte, whether it
// starts a double-byte character and how a single-byte character changes case.
// They are built once per process from the active code page, which Windows
// fixes for the life of a process.
#pragma once

#include <windows.h>

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
