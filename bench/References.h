// The benchmark's references: for each case, the least its result needs,
// written by hand or as the bare platform calls, against which the case is
// timed (Cases.cpp). Each reference of a per-call case takes the same
// arguments the same way (a CString by value, or the literal a caller
// writes) and builds a text with integer arithmetic in a stack buffer and
// then one CString, or computes a value with a plain loop.
#pragma once

#include "framework/Handle.h"
#include "framework/String.h"
#include "framework/SystemLibrary.h"

#include <windows.h>
#include <shlwapi.h>
#include <wininet.h>

#include <emmintrin.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// --- the heavy cases ------------------------------------------------------

// A fresh read-only view of a whole file, for the reference loops.
struct View
{
    CFileHandle file;
    CHandle mapping;
    CMappedView view;
    const unsigned char* data = nullptr;
    size_t size = 0;

    explicit View(const std::string& path)
        : file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr))
    {
        LARGE_INTEGER length;
        GetFileSizeEx(file.Get(), &length);
        size = static_cast<size_t>(length.QuadPart);
        mapping.Attach(CreateFileMappingA(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        view.Attach(static_cast<const BYTE*>(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0)));
        data = view.Get();
    }
};

inline unsigned char TouchPages(const unsigned char* data, size_t size)
{
    unsigned char x = 0;
    for (size_t i = 0; i < size; i += 4096)
        x ^= static_cast<const volatile unsigned char*>(data)[i];
    return x;
}

// 16-byte loads into four independent XOR chains.
inline unsigned char FoldResident(const unsigned char* data, size_t size)
{
    __m128i a = _mm_setzero_si128(), b = a, c = a, d = a;
    size_t i = 0;
    for (; i + 64 <= size; i += 64)
    {
        a = _mm_xor_si128(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)));
        b = _mm_xor_si128(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 16)));
        c = _mm_xor_si128(c, _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 32)));
        d = _mm_xor_si128(d, _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 48)));
    }
    alignas(16) unsigned char lanes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), _mm_xor_si128(_mm_xor_si128(a, b), _mm_xor_si128(c, d)));
    unsigned char x = 0;
    for (unsigned char lane : lanes)
        x ^= lane;
    for (; i < size; ++i)
        x ^= data[i];
    return x;
}

inline unsigned char FoldBytes(const unsigned char* data, size_t size)
{
    const volatile unsigned char* p = data;
    unsigned char x = 0;
    for (size_t i = 0; i < size; ++i)
        x ^= p[i];
    return x;
}

// The pieces between commas, as a std::vector<std::string>; their count.
inline size_t RefSplit(const std::string& text)
{
    std::vector<std::string> pieces;
    std::string_view rest(text);
    for (;;)
    {
        size_t at = rest.find(',');
        if (at == std::string_view::npos)
        {
            pieces.emplace_back(rest);
            break;
        }
        pieces.emplace_back(rest.substr(0, at));
        rest.remove_prefix(at + 1);
    }
    return pieces.size();
}

// A conversion between two code pages as the two bare platform calls,
// through the wide buffer.
inline void RefConvert(UINT nFrom, const char* pSource, int nCount, std::vector<WCHAR>& wide, UINT nTo,
                       std::vector<char>& dest)
{
    int n = MultiByteToWideChar(nFrom, 0, pSource, nCount, wide.data(), static_cast<int>(wide.size()));
    WideCharToMultiByte(nTo, 0, wide.data(), n, dest.data(), static_cast<int>(dest.size()), nullptr, nullptr);
}

// The files in folder, counted by a bare find loop.
inline unsigned RefFileCount(const std::string& folder)
{
    WIN32_FIND_DATAA data;
    unsigned n = 0;
    CFindHandle find(FindFirstFileA((folder + "\\*.*").c_str(), &data));
    if (find)
    {
        do
            n += (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
        while (FindNextFileA(find.Get(), &data));
    }
    return n;
}

// --- per-call text operations --------------------------------------------

struct CVersionQuad
{
    int n[4];
    bool operator==(const CVersionQuad& other) const { return std::memcmp(n, other.n, sizeof(n)) == 0; }
    operator unsigned() const { return static_cast<unsigned>(n[0] + n[1] + n[2] + n[3]); }
};

// Reference texts: digits written backwards from pEnd, returning the start;
// 32-bit steps once the value fits (64-bit division is a library call on
// 32-bit x86).
inline char* RefDigits(char* pEnd, ULONGLONG value)
{
    for (; value > 0xFFFFFFFF; value /= 10)
        *--pEnd = static_cast<char>('0' + value % 10);
    unsigned uValue = static_cast<unsigned>(value);
    do
    {
        *--pEnd = static_cast<char>('0' + uValue % 10);
        uValue /= 10;
    } while (uValue != 0);
    return pEnd;
}

inline char* RefTwoDigits(char* p, int value)
{
    p[0] = static_cast<char>('0' + value / 10);
    p[1] = static_cast<char>('0' + value % 10);
    return p + 2;
}

inline char* RefCopy(char* p, const char* psz)
{
    while (*psz != '\0')
        *p++ = *psz++;
    return p;
}

// Seconds from 0 up to 2^31; fraction digits 0 to 9, rounded half up.
inline CString RefFormatDuration(double dSeconds, int nLevel, int nDigits)
{
    int nWhole = static_cast<int>(dSeconds);
    unsigned scale = 1;
    for (int i = 0; i < nDigits; ++i)
        scale *= 10;
    unsigned fraction = static_cast<unsigned>(static_cast<int>((dSeconds - nWhole) * static_cast<int>(scale) + 0.5));
    unsigned whole = static_cast<unsigned>(nWhole);
    if (nDigits > 0 && fraction >= scale)
    {
        fraction -= scale;
        ++whole;
    }
    unsigned days = whole / 86400;
    int rest = static_cast<int>(whole % 86400);
    int fields[3] = {rest / 3600, rest % 3600 / 60, rest % 60};
    char buffer[64];
    char* p = buffer;
    bool bShow = nLevel >= 3 || days != 0;
    if (bShow)
    {
        char digits[24];
        char* pStart = RefDigits(digits + sizeof(digits), days);
        if (days < 10)
            *p++ = '0';
        while (pStart < digits + sizeof(digits))
            *p++ = *pStart++;
        *p++ = ' ';
    }
    for (int k = 0; k < 3; ++k)
    {
        bShow = bShow || nLevel >= 2 - k || fields[k] != 0;
        if (!bShow)
            continue;
        p = RefTwoDigits(p, fields[k]);
        *p++ = k < 2 ? ':' : '.';
    }
    if (nDigits == 0)
        --p;   // no fraction: no "."
    for (int i = nDigits; i > 0; --i, fraction /= 10)
        p[i - 1] = static_cast<char>('0' + fraction % 10);
    p += nDigits;
    return CString(buffer, static_cast<int>(p - buffer));
}

// Rates from 1024 up to 2^20, rounded half up.
inline CString RefFormatBitRate(LONGLONG llRate)
{
    ULONGLONG cents = (static_cast<ULONGLONG>(llRate) * 100 + 512) / 1024;
    char buffer[32];
    char* pEnd = buffer + 24;
    char* pStart = RefDigits(pEnd - 3, cents / 100);
    pEnd[-3] = '.';
    RefTwoDigits(pEnd - 2, static_cast<int>(cents % 100));
    pEnd = RefCopy(pEnd, " kbps");
    return CString(pStart, static_cast<int>(pEnd - pStart));
}

// Values of 0 or more; the nSeparator bytes at pchSeparator stand between
// groups.
inline CString RefFormatThousands(LONGLONG llValue, const char* pchSeparator, int nSeparator, int nGroupSize)
{
    char buffer[128];
    char* pEnd = buffer + sizeof(buffer);
    char* p = pEnd;
    ULONGLONG value = static_cast<ULONGLONG>(llValue);
    for (int n = 0;; ++n)
    {
        if (n > 0 && n % nGroupSize == 0)
        {
            p -= nSeparator;
            std::memcpy(p, pchSeparator, static_cast<size_t>(nSeparator));
        }
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
        if (value == 0)
            break;
    }
    return CString(p, static_cast<int>(pEnd - p));
}

inline CString RefFormatThousands(LONGLONG llValue, CString strSeparator, int nGroupSize)
{
    return RefFormatThousands(llValue, strSeparator.GetString(), strSeparator.GetLength(), nGroupSize);
}

// The separator as the literal a caller writes, read where it lies: no
// CString is made of it, so the result is the one heap block.
inline CString RefFormatThousands(LONGLONG llValue, const char* pszSeparator, int nGroupSize)
{
    return RefFormatThousands(llValue, pszSeparator, static_cast<int>(std::strlen(pszSeparator)), nGroupSize);
}

inline CString RefColorToText(COLORREF crColor)
{
    const char hex[] = "0123456789ABCDEF";
    char buffer[7] = {'#'};
    for (int i = 0; i < 3; ++i)
    {
        unsigned byte = (crColor >> (8 * i)) & 0xFF;
        buffer[1 + 2 * i] = hex[byte >> 4];
        buffer[2 + 2 * i] = hex[byte & 15];
    }
    return CString(buffer, 7);
}

inline bool RefIsSeparator(char ch)
{
    return ch == '\\' || ch == '/';
}

// Index of the last separator at or before nEnd - 1, or -1.
inline int RefLastSeparator(const char* p, int nEnd)
{
    int i = nEnd - 1;
    while (i >= 0 && !RefIsSeparator(p[i]))
        --i;
    return i;
}

// Paths without "?" or double-byte characters.
inline CString RefFileName(CString strPath)
{
    const char* p = Opaque(strPath.GetString());
    int nLength = strPath.GetLength();
    int nStart = RefLastSeparator(p, nLength) + 1;
    return CString(p + nStart, nLength - nStart);
}

// The file name's part before (bTitle) or after its last ".".
inline CString RefFileNamePart(CString strPath, bool bTitle)
{
    const char* p = Opaque(strPath.GetString());
    int nLength = strPath.GetLength();
    int nStart = RefLastSeparator(p, nLength) + 1;
    int nDot = nLength - 1;
    while (nDot >= nStart && p[nDot] != '.')
        --nDot;
    if (bTitle)
        return CString(p + nStart, (nDot < nStart ? nLength : nDot) - nStart);
    return nDot < nStart ? CString() : CString(p + nDot + 1, nLength - nDot - 1);
}

inline CString RefFileDir(CString strPath)
{
    const char* p = Opaque(strPath.GetString());
    return CString(p, RefLastSeparator(p, strPath.GetLength()) + 1);
}

// Paths that end in a separator and have a folder above it.
inline CString RefParentDir(CString strPath)
{
    const char* p = Opaque(strPath.GetString());
    int nLength = RefLastSeparator(p, RefLastSeparator(p, strPath.GetLength())) + 1;
    char buffer[MAX_PATH];
    for (int i = 0; i < nLength; ++i)
        buffer[i] = p[i] == '/' ? '\\' : p[i];
    return CString(buffer, nLength);
}

inline CString RefDrive(CString strPath)
{
    const char* p = Opaque(strPath.GetString());
    const char* pColon = static_cast<const char*>(std::memchr(p, ':', static_cast<size_t>(strPath.GetLength())));
    return pColon == nullptr ? CString() : CString(p, static_cast<int>(pColon - p) + 2);
}

inline char RefFoldPathChar(char ch)
{
    if (ch == '/')
        return '\\';
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + 32) : ch;
}

inline bool RefIsSamePath(CString strFirst, CString strSecond)
{
    const char* a = Opaque(strFirst.GetString());
    const char* b = Opaque(strSecond.GetString());
    int nFirst = strFirst.GetLength();
    int nSecond = strSecond.GetLength();
    if (nFirst == 0 || nSecond == 0)
        return false;
    nFirst -= RefIsSeparator(a[nFirst - 1]) ? 1 : 0;
    nSecond -= RefIsSeparator(b[nSecond - 1]) ? 1 : 0;
    if (nFirst != nSecond)
        return false;
    for (int i = 0; i < nFirst; ++i)
        if (RefFoldPathChar(a[i]) != RefFoldPathChar(b[i]))
            return false;
    return true;
}

inline int RefHexDigit(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return 0;
}

inline int RefHexToInt(CString strText)
{
    const char* p = Opaque(strText.GetString());
    unsigned value = 0;
    for (int i = 0; i < strText.GetLength(); ++i)
        value = (value << 4) + static_cast<unsigned>(RefHexDigit(p[i]));
    return static_cast<int>(value);
}

// Texts of fewer than ten digits.
inline LONG RefDigitsToLong(CString strText)
{
    const char* p = Opaque(strText.GetString());
    LONG value = 0;
    for (int i = 0; i < strText.GetLength(); ++i)
        if (p[i] >= '0' && p[i] <= '9')
            value = value * 10 + (p[i] - '0');
    return value;
}

// "#RRGGBB" in full.
inline COLORREF RefTextToColor(CString strText)
{
    const char* p = Opaque(strText.GetString()) + 1;
    COLORREF crColor = 0;
    for (int i = 0; i < 3; ++i)
        crColor |= static_cast<COLORREF>(RefHexDigit(p[2 * i]) * 16 + RefHexDigit(p[2 * i + 1])) << (8 * i);
    return crColor;
}

// Four parts of plain digits.
inline CVersionQuad RefParseVersionText(CString strText)
{
    const char* p = Opaque(strText.GetString());
    CVersionQuad quad = {};
    int nPart = 0;
    for (int i = 0; i < strText.GetLength() && nPart < 4; ++i)
    {
        if (p[i] == '.' || p[i] == ',')
            ++nPart;
        else
            quad.n[nPart] = quad.n[nPart] * 10 + (p[i] - '0');
    }
    return quad;
}

// The bare platform calls: canonical form, then its scheme. Through
// pointers from wininet.dll in the system folder, as the library calls them.
inline CString RefURLScheme(CString strURL)
{
    static const auto pfnCanonicalize =
        g_internetLibrary.GetProc<decltype(&InternetCanonicalizeUrlA)>("InternetCanonicalizeUrlA");
    static const auto pfnCrack = g_internetLibrary.GetProc<decltype(&InternetCrackUrlA)>("InternetCrackUrlA");
    char canonical[INTERNET_MAX_URL_LENGTH + 1];
    DWORD dwSize = sizeof(canonical) - 1;
    if (!pfnCanonicalize(strURL, canonical, &dwSize, ICU_BROWSER_MODE))
        return CString();
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof(parts);
    if (!pfnCrack(canonical, dwSize, 0, &parts))
        return CString();
    switch (parts.nScheme)
    {
    case INTERNET_SCHEME_HTTP: return CString("http");
    case INTERNET_SCHEME_HTTPS: return CString("https");
    default: return CString("unk");
    }
}

inline CString RefFileLengthText(CString strPath)
{
    LARGE_INTEGER size = {};
    CFileHandle file(CreateFileA(strPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file)
        GetFileSizeEx(file.Get(), &size);
    char buffer[256];
    StrFormatByteSize64A(size.QuadPart, buffer, sizeof(buffer));
    return CString(buffer);
}


} // namespace bench
