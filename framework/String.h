// CString: the framework's 8-bit text string.
//
// Zero-terminated, reference-counted (copies share one buffer until one of
// them is written), growable, in the active multibyte code page. A text of
// zero or one byte takes no heap block: every string of it shares one
// constant buffer, so CString(",") allocates nothing.
//
// Rules every caller may rely on:
//   - Lengths and indexes count bytes; a double-byte character counts two.
//   - Cuts never fail: Mid(-3, 2) == Mid(0, 2); Left(99) of "abc" is "abc";
//     Mid(5) of "abc" is "".
//   - GetAt(GetLength()) yields the terminating 0; an index below 0 or above
//     the length raises CInvalidArgException.
//   - Find, ReverseFind, MakeUpper and MakeLower work on whole characters of
//     the active code page: in code page 949 the text "\x95\x5C" is one
//     character, so Find('\\') on it is -1.
//   - Exhausted memory raises CMemoryException.
#pragma once

#include "framework/Exceptions.h"
#include "framework/StringData.h"

#include <cstdarg>

// Marks a printf-like function, so that the compiler checks the arguments
// of every call against its format: KESTRUM_PRINTF(position of the format,
// position of the first argument or 0 for a va_list), "this" counting as 1
// in a member function. The dialect is the Microsoft runtime's, which the
// code writes ("%I64d", "%lu" for a DWORD) and the MinGW formatter reads.
#if defined(__clang__)
#define KESTRUM_PRINTF(nFormat, nFirstArg) __attribute__((format(printf, nFormat, nFirstArg)))
#elif defined(__GNUC__)
#define KESTRUM_PRINTF(nFormat, nFirstArg) __attribute__((format(ms_printf, nFormat, nFirstArg)))
#else
#define KESTRUM_PRINTF(nFormat, nFirstArg)
#endif

class CString
{
public:
    CString() noexcept;
    CString(const CString& other) noexcept;
    CString(CString&& other) noexcept;
    CString(const char* psz);                 // null gives the empty text
    CString(const char* pch, int nLength);    // nLength bytes, zeros included
    explicit CString(char ch, int nRepeat = 1);
    ~CString();

    CString& operator=(const CString& other) noexcept;
    CString& operator=(CString&& other) noexcept;
    CString& operator=(const char* psz);
    CString& operator=(char ch);

    int GetLength() const noexcept { return Data()->nDataLength; }
    bool IsEmpty() const noexcept { return GetLength() == 0; }
    void Empty() noexcept;

    const char* GetString() const noexcept { return m_pszData; }
    operator const char*() const noexcept { return m_pszData; }

    // Byte access; see the rules above.
    char GetAt(int nIndex) const;
    char operator[](int nIndex) const { return GetAt(nIndex); }
    void SetAt(int nIndex, char ch);   // 0 <= nIndex < length, else raises

    CString& operator+=(const CString& str);
    CString& operator+=(const char* psz);
    CString& operator+=(char ch);
    void Append(const char* pch, int nLength);

    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, const char* b);
    friend CString operator+(const char* a, const CString& b);
    friend CString operator+(const CString& a, char b);
    friend CString operator+(char a, const CString& b);

    CString Left(int nCount) const;
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;

    // Index of the first occurrence at or after nStart, or -1. nStart is
    // taken as a character boundary; a negative nStart counts as 0.
    int Find(char ch, int nStart = 0) const noexcept;
    int Find(const char* pszSub, int nStart = 0) const noexcept;
    int ReverseFind(char ch) const noexcept;

    CString& Truncate(int nNewLength);

    CString& MakeUpper();
    CString& MakeLower();

    void Format(const char* pszFormat, ...) KESTRUM_PRINTF(2, 3);
    void FormatV(const char* pszFormat, va_list args) KESTRUM_PRINTF(2, 0);
    void AppendFormat(const char* pszFormat, ...) KESTRUM_PRINTF(2, 3);

    // Direct buffer access, as the platform's string calls need it: room for
    // nMinLength bytes plus the terminator; ReleaseBuffer(-1) takes the length
    // from the terminator, any other value sets it (clamped to the room).
    char* GetBuffer(int nMinLength = 0);
    void ReleaseBuffer(int nNewLength = -1);
    void Preallocate(int nLength);

private:
    friend class CStringBatch;
    using CStringData = framework_internal::CStringData;

    CStringData* Data() const noexcept { return reinterpret_cast<CStringData*>(m_pszData) - 1; }
    static CStringData* Nil() noexcept;
    // The shared text of the nLength (0 or 1) bytes at pch.
    static CStringData* Shared(const char* pch, int nLength) noexcept;
    static CStringData* Allocate(int nLength);
    static void Release(CStringData* pData) noexcept;
    void Attach(CStringData* pData) noexcept;
    // Moves to a new private block with room for nAlloc bytes that holds the
    // nLength bytes at pch (which may lie in the current block), then
    // releases the current block.
    void Reallocate(int nAlloc, const char* pch, int nLength);
    // Makes the buffer private and able to hold nLength bytes, keeping the
    // current contents; grows geometrically so appends stay linear.
    void PrepareWrite(int nLength);
    void SetLength(int nLength) noexcept;
    void Assign(const char* pch, int nLength);

    char* m_pszData;
};

// Equality is byte equality over the whole length, zeros included; a
// const char* stands for its bytes before its first zero, a null one for "".
bool operator==(const CString& a, const CString& b) noexcept;
bool operator==(const CString& a, const char* b) noexcept;
bool operator==(const char* a, const CString& b) noexcept;
bool operator!=(const CString& a, const CString& b) noexcept;
bool operator!=(const CString& a, const char* b) noexcept;
bool operator!=(const char* a, const CString& b) noexcept;
