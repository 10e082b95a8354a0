// CharsetText: converting text between UTF-8, UTF-16, the active code page
// and the Korean code page 949, over the platform's own conversions.
//
// Fixed destinations (Utf8ToMultiByte, MultiByteToUtf8): the destination
// receives at most size - 1 bytes of text and zeros in every byte after it,
// so it always ends in a zero; a size of 0 (or a null destination) writes
// nothing; a null source or a count of 0 or less gives the empty text. A
// text that does not fit is cut after the last whole character that fits:
// never half of a double-byte character, of a UTF-8 sequence or of a
// surrogate pair. With the UTF-8 "a\xED\x95\x9C" "b" (a, U+D55C, b)
// converted to code page 949 ("a\xC7\xD1" "b"):
//
//   size   destination
//   0      untouched
//   1      ""
//   2, 3   "a"             (U+D55C takes two bytes)
//   4      "a\xC7\xD1"
//   5      "a\xC7\xD1" "b"   (and so on, zeros after the text)
//
// Long texts go through UTF-16 in steps of 16 KiB of source, cut between
// characters; code pages that keep a shift state (UTF-7, ISO-2022, HZ,
// GB18030) go in one step with a working buffer of count units. A
// conversion that fails (a code page that is not installed, no memory for
// the working buffer) leaves the empty text. Ill-formed input follows the
// platform: invalid UTF-8 bytes become U+FFFD, characters the target code
// page lacks become its default character ("?").
//
// Allocating conversions (MultiByteToWideAlloc, WideToCP949) return a buffer
// from malloc that the caller releases with free, or null when it cannot be
// allocated or its size would not fit in 32 bits.
#pragma once

#include "framework/Exceptions.h"
#include "framework/Handle.h"
#include "framework/String.h"

#include <windows.h>
#include <oleauto.h>

// Owns one BSTR and frees it with SysFreeString. Copies are deep and
// independent (SysAllocStringByteLen over SysStringByteLen, so embedded
// zeros and odd byte lengths survive); moves hand the string over and leave
// the source null. A copy that cannot be allocated raises CMemoryException.
class CBstr
{
public:
    CBstr() noexcept = default;
    // Takes ownership of bstr (which may be null).
    explicit CBstr(BSTR bstr) noexcept : m_bstr(bstr) {}
    CBstr(const CBstr& other);
    CBstr(CBstr&& other) noexcept = default;
    ~CBstr() = default;

    CBstr& operator=(const CBstr& other);
    CBstr& operator=(CBstr&& other) noexcept = default;

    BSTR Get() const noexcept { return m_bstr.Get(); }
    operator BSTR() const noexcept { return m_bstr.Get(); }
    bool IsNull() const noexcept { return !m_bstr; }
    // Length in UTF-16 units; 0 for a null string.
    UINT GetLength() const noexcept { return SysStringLen(m_bstr.Get()); }
    // Gives up ownership; the caller frees the result with SysFreeString.
    BSTR Detach() noexcept { return m_bstr.Detach(); }

private:
    CBstrHandle m_bstr;
};

// pszWide in the calling thread's code page (CP_THREAD_ACP). A null text, a
// text of more than 0x3FFFFFFE units, or a failed conversion gives "".
// Characters the code page lacks become its default character:
// L"\xD55C" is "\xC7\xD1" under code page 949 and "?" under 1252.
CString WideToString(const WCHAR* pszWide);

// Converts the first nCount bytes of the UTF-8 pUtf8 to code page
// nCodePage into pDest of nDestSize bytes (see the rules at the top). The
// converted text ends at its first zero: "ab\0cd" with nCount 5 gives "ab".
// A negative nCount counts as 0.
//   "\xC3\xA9", 2, 1252 -> "\xE9"
//   "\xC3\xA9\xC3\xA9", 2, 1252 -> "\xE9" (only the first nCount bytes)
void Utf8ToMultiByte(const char* pUtf8, int nCount, char* pDest, int nDestSize, UINT nCodePage);

// The first nCount bytes of the UTF-8 pUtf8 as a BSTR, up to the first zero.
// An empty source (nCount 0 or less) gives an empty, non-null BSTR. Raises
// CMemoryException when the string or its working buffer cannot be
// allocated.
CBstr Utf8ToBstr(const char* pUtf8, int nCount);

// Converts the first nCount bytes of pSource, text in code page nCodePage,
// to UTF-8 in pDest of nDestSize bytes (see the rules at the top). A zero
// byte in the source is copied, so the text seen ends there.
// A negative nCount counts as 0.
//   "\xE9", 1, 1252 -> "\xC3\xA9"
//   "\xC7\xD1", 2, 949 -> "\xED\x95\x9C" (U+D55C)
void MultiByteToUtf8(const char* pSource, int nCount, char* pDest, int nDestSize, UINT nCodePage);

// The zero-terminated pszText converted with mbstowcs under the C library's
// current locale (LC_CTYPE), in a new buffer of strlen + 1 wide characters.
// A sequence that is invalid in that locale leaves L"" in the buffer. Null
// for a null pszText or when the buffer cannot be allocated.
//   "abc" -> L"abc"; under the locale ".949", "\xC7\xD1" -> L"\xD55C"
WCHAR* MultiByteToWideAlloc(const char* pszText);

// The zero-terminated pszWide in code page 949, in a new buffer of
// 2 * wcslen + 2 bytes (always enough for code page 949). Characters the code
// page lacks become "?"; a failed conversion leaves "" in the buffer. Null
// for a null pszWide, for a text of more than 0x3FFFFFFE units, or when the
// buffer cannot be allocated.
//   L"" -> a buffer of 2 bytes whose first byte is 0
//   L"\xD55C\xAD6D\xC5B4" -> "\xC7\xD1\xB1\xB9\xBE\xEE"
char* WideToCP949(const WCHAR* pszWide);
