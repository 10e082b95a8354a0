#include "util/text/CharsetText.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>

namespace {

// The longest text the allocating conversions take: its buffer of
// 2 * n + 2 bytes must still fit the platform's 32-bit signed counts.
const size_t kMaxWideUnits = 0x3FFFFFFE;

struct CFreeDeleter
{
    void operator()(void* p) const noexcept { std::free(p); }
};
using CWideBuffer = std::unique_ptr<WCHAR[], CFreeDeleter>;

// A working buffer of nUnits UTF-16 units, or null when it cannot be had.
CWideBuffer AllocateWide(int nUnits)
{
    if (nUnits <= 0 || static_cast<size_t>(nUnits) > SIZE_MAX / sizeof(WCHAR))
        return CWideBuffer();
    return CWideBuffer(static_cast<WCHAR*>(std::malloc(static_cast<size_t>(nUnits) * sizeof(WCHAR))));
}

// UTF-8 to UTF-16 into pWork of nCount units; no UTF-8 byte yields more
// than one unit, so nCount units always hold the text. Returns the units
// before the first zero unit, 0 when nothing could be converted.
int Utf8ToWide(const char* pUtf8, int nCount, WCHAR* pWork)
{
    int nUnits = MultiByteToWideChar(CP_UTF8, 0, pUtf8, nCount, pWork, nCount);
    int n = 0;
    while (n < nUnits && pWork[n] != 0)
        ++n;
    return n;
}

int ConvertedBytes(UINT nCodePage, const WCHAR* pWide, int nUnits)
{
    if (nUnits <= 0)
        return 0;
    return WideCharToMultiByte(nCodePage, 0, pWide, nUnits, nullptr, 0, nullptr, nullptr);
}

// Converts the longest run of whole characters from the start of pWide
// whose conversion fits in nRoom bytes into pDest; writes no terminator and
// nothing past nRoom bytes. Returns the bytes written.
int ConvertWholeCharacters(UINT nCodePage, const WCHAR* pWide, int nUnits, char* pDest, int nRoom)
{
    if (nUnits <= 0 || nRoom <= 0)
        return 0;
    int nWritten = WideCharToMultiByte(nCodePage, 0, pWide, nUnits, pDest, nRoom, nullptr, nullptr);
    if (nWritten > 0)
        return nWritten;
    // Too long (or not convertible at all). A failed call may have left part
    // of a character behind.
    std::memset(pDest, 0, static_cast<size_t>(nRoom));
    // Longer prefixes never convert to fewer bytes, so search for the
    // longest prefix that fits: lo fits, hi does not.
    int nLow = 0;
    int nHigh = nUnits;
    while (nHigh - nLow > 1)
    {
        int nMid = nLow + (nHigh - nLow) / 2;
        int nBytes = ConvertedBytes(nCodePage, pWide, nMid);
        if (nBytes > 0 && nBytes <= nRoom)
            nLow = nMid;
        else
            nHigh = nMid;
    }
    // A surrogate pair is one character.
    if (nLow > 0 && IS_HIGH_SURROGATE(pWide[nLow - 1]) && IS_LOW_SURROGATE(pWide[nLow]))
        --nLow;
    if (nLow == 0)
        return 0;
    nWritten = WideCharToMultiByte(nCodePage, 0, pWide, nLow, pDest, nRoom, nullptr, nullptr);
    if (nWritten > 0)
        return nWritten;
    std::memset(pDest, 0, static_cast<size_t>(nRoom));
    return 0;
}

} // namespace

// ---------------------------------------------------------------------------
// CBstr

CBstr::CBstr(const CBstr& other) : m_bstr(nullptr)
{
    if (other.m_bstr != nullptr)
    {
        m_bstr = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(other.m_bstr), SysStringByteLen(other.m_bstr));
        if (m_bstr == nullptr)
            AfxThrowMemoryException();
    }
}

CBstr::~CBstr()
{
    SysFreeString(m_bstr);
}

CBstr& CBstr::operator=(const CBstr& other)
{
    if (this != &other)
    {
        CBstr copy(other);
        *this = static_cast<CBstr&&>(copy);
    }
    return *this;
}

CBstr& CBstr::operator=(CBstr&& other) noexcept
{
    if (this != &other)
    {
        SysFreeString(m_bstr);
        m_bstr = other.m_bstr;
        other.m_bstr = nullptr;
    }
    return *this;
}

BSTR CBstr::Detach() noexcept
{
    BSTR bstr = m_bstr;
    m_bstr = nullptr;
    return bstr;
}

// ---------------------------------------------------------------------------
// Conversions

CString WideToString(const WCHAR* pszWide)
{
    if (pszWide == nullptr)
        return CString();
    int nLength = lstrlenW(pszWide);
    if (nLength < 0 || static_cast<size_t>(nLength) > kMaxWideUnits)
        return CString();
    // Two bytes per unit, terminator included, hold the text in every
    // single- or double-byte code page.
    int nRoom = 2 * (nLength + 1);
    CString strResult;
    char* pBuffer = strResult.GetBuffer(nRoom);
    int nWritten = WideCharToMultiByte(CP_THREAD_ACP, 0, pszWide, -1, pBuffer, nRoom, nullptr, nullptr);
    if (nWritten <= 0)
    {
        strResult.ReleaseBuffer(0);
        return CString();
    }
    strResult.ReleaseBuffer(nWritten - 1);
    return strResult;
}

void Utf8ToMultiByte(const char* pUtf8, int nCount, char* pDest, int nDestSize, UINT nCodePage)
{
    if (pDest == nullptr || nDestSize <= 0)
        return;
    std::memset(pDest, 0, static_cast<size_t>(nDestSize));
    if (pUtf8 == nullptr || nCount <= 0)
        return;
    CWideBuffer work = AllocateWide(nCount);
    if (!work)
        return;
    int nUnits = Utf8ToWide(pUtf8, nCount, work.get());
    ConvertWholeCharacters(nCodePage, work.get(), nUnits, pDest, nDestSize - 1);
}

CBstr Utf8ToBstr(const char* pUtf8, int nCount)
{
    CWideBuffer work;
    int nUnits = 0;
    if (pUtf8 != nullptr && nCount > 0)
    {
        work = AllocateWide(nCount);
        if (!work)
            AfxThrowMemoryException();
        nUnits = Utf8ToWide(pUtf8, nCount, work.get());
    }
    BSTR bstr = SysAllocStringLen(nUnits > 0 ? work.get() : L"", static_cast<UINT>(nUnits));
    if (bstr == nullptr)
        AfxThrowMemoryException();
    return CBstr(bstr);
}

void MultiByteToUtf8(const char* pSource, int nCount, char* pDest, int nDestSize, UINT nCodePage)
{
    if (pDest == nullptr || nDestSize <= 0)
        return;
    std::memset(pDest, 0, static_cast<size_t>(nDestSize));
    if (pSource == nullptr || nCount <= 0)
        return;
    CWideBuffer work = AllocateWide(nCount);
    if (!work)
        return;
    int nUnits = MultiByteToWideChar(nCodePage, 0, pSource, nCount, work.get(), nCount);
    ConvertWholeCharacters(CP_UTF8, work.get(), nUnits, pDest, nDestSize - 1);
}

WCHAR* MultiByteToWideAlloc(const char* pszText)
{
    if (pszText == nullptr)
        return nullptr;
    size_t nLength = std::strlen(pszText);
    if (nLength >= SIZE_MAX / sizeof(WCHAR))
        return nullptr;
    size_t nUnits = nLength + 1;
    WCHAR* pWide = static_cast<WCHAR*>(std::malloc(nUnits * sizeof(WCHAR)));
    if (pWide == nullptr)
        return nullptr;
    // No multibyte character yields more than one wide character, so the
    // text and its terminator fit.
    if (std::mbstowcs(pWide, pszText, nUnits) == static_cast<size_t>(-1))
        pWide[0] = 0;
    return pWide;
}

char* WideToCP949(const WCHAR* pszWide)
{
    if (pszWide == nullptr)
        return nullptr;
    size_t nLength = std::wcslen(pszWide);
    if (nLength > kMaxWideUnits)
        return nullptr;
    int nBytes = static_cast<int>(2 * nLength + 2);
    char* pText = static_cast<char*>(std::malloc(static_cast<size_t>(nBytes)));
    if (pText == nullptr)
        return nullptr;
    if (WideCharToMultiByte(949, 0, pszWide, -1, pText, nBytes, nullptr, nullptr) <= 0)
        pText[0] = '\0';
    return pText;
}
