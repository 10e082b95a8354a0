#include "util/text/CharsetText.h"

#include "framework/CodePage.h"

#include <emmintrin.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

// The longest text the allocating conversions take: its buffer of
// 2 * n + 2 bytes must still fit the platform's 32-bit signed counts.
const size_t kMaxWideUnits = 0x3FFFFFFE;

using CWideBuffer = CHeapPtr<WCHAR>;

// A working buffer of nUnits UTF-16 units, or null when it cannot be had.
CWideBuffer AllocateWide(int nUnits)
{
    if (nUnits <= 0 || static_cast<size_t>(nUnits) > SIZE_MAX / sizeof(WCHAR))
        return CWideBuffer();
    return CWideBuffer(static_cast<WCHAR*>(std::malloc(static_cast<size_t>(nUnits) * sizeof(WCHAR))));
}

// Bytes before the first zero byte of p[0, nCount), or nCount. Sixteen bytes
// a step: a byte loop would cost as much as the conversion itself.
int LengthBeforeZero(const char* p, int nCount)
{
    int i = 0;
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= nCount; i += 16)
    {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero)) != 0)
            break;
    }
    while (i < nCount && p[i] != '\0')
        ++i;
    return i;
}

// UTF-8 to UTF-16 into pWork of nCount units; no UTF-8 byte yields more
// than one unit, so nCount units always hold the text. Returns the units
// before the first zero unit (in UTF-8 only a zero byte gives one), 0 when
// nothing could be converted.
int Utf8ToWide(const char* pUtf8, int nCount, WCHAR* pWork)
{
    int nBytes = LengthBeforeZero(pUtf8, nCount);
    if (nBytes == 0)
        return 0;
    int nUnits = MultiByteToWideChar(CP_UTF8, 0, pUtf8, nBytes, pWork, nCount);
    return nUnits > 0 ? nUnits : 0;
}

// Source bytes per step of the fixed-destination conversions. Stepping
// through a small working buffer keeps it in the cache and keeps a large
// text from needing a working buffer twice its size.
const int kStepBytes = 16384;

// Cuts a source text in code page nCodePage into steps that end on
// character boundaries. Code pages whose conversion keeps a shift state
// (ISO-2022, HZ, UTF-7, GB18030's four-byte forms and the like) are
// converted in one step, since a cut would change their output.
class CStepCutter
{
public:
    CStepCutter(UINT nSourceCodePage, UINT nDestCodePage) : m_nKind(kWhole)
    {
        std::memset(m_bLead, 0, sizeof(m_bLead));
        CPINFO destInfo;
        CPINFO info;
        if (!IsStateless(nDestCodePage, destInfo) || !IsStateless(nSourceCodePage, info))
            m_nKind = kWhole;
        else if (nSourceCodePage == CP_UTF8)
            m_nKind = kUtf8;
        else if (info.MaxCharSize == 1)
            m_nKind = kSingle;
        else
        {
            m_nKind = kDouble;
            for (int r = 0; r + 1 < MAX_LEADBYTES && (info.LeadByte[r] | info.LeadByte[r + 1]); r += 2)
                for (int b = info.LeadByte[r]; b <= info.LeadByte[r + 1]; ++b)
                    m_bLead[b] = true;
        }
    }

    // Largest number of source bytes in one step of a text of nCount bytes.
    int MaxStep(int nCount) const { return m_nKind == kWhole || nCount < kStepBytes ? nCount : kStepBytes; }

    // End of the step that starts at nFrom in p[0, nEnd).
    int StepEnd(const char* p, int nFrom, int nEnd) const
    {
        if (m_nKind == kWhole || nEnd - nFrom <= kStepBytes)
            return nEnd;
        int nLimit = nFrom + kStepBytes;
        switch (m_nKind)
        {
        case kUtf8:
        {
            // Back up over at most three continuation bytes to the start of
            // the character the limit cuts; a longer run is no character.
            int n = nLimit;
            for (int k = 0; k < 3 && IsContinuation(p[n]); ++k)
                --n;
            return IsContinuation(p[n]) ? nLimit : n;
        }
        case kDouble:
        {
            // A byte that cannot lead always ends a character; the run of
            // lead-capable bytes after it pairs up from its start, so an odd
            // run leaves a lead byte at the limit whose trail lies beyond.
            int n = nLimit;
            while (n > nFrom && m_bLead[static_cast<unsigned char>(p[n - 1])])
                --n;
            return (nLimit - n) % 2 != 0 ? nLimit - 1 : nLimit;
        }
        default:
            return nLimit;
        }
    }

private:
    enum Kind
    {
        kWhole,
        kUtf8,
        kSingle,
        kDouble
    };

    // UTF-8, and the single- and double-byte code pages below 50000, where
    // every character converts on its own. Fills info for the latter.
    static bool IsStateless(UINT nCodePage, CPINFO& info)
    {
        if (nCodePage == CP_UTF8)
            return true;
        return nCodePage < 50000 && GetCPInfo(nCodePage, &info) && info.MaxCharSize <= 2;
    }

    static bool IsContinuation(char ch) { return (static_cast<unsigned char>(ch) & 0xC0) == 0x80; }

    Kind m_nKind;
    bool m_bLead[256];
};

// The fixed-destination conversions: the source, in nSourceCodePage, goes
// step by step through UTF-16 into pDest in nDestCodePage, whole characters
// only, at most nDestSize - 1 bytes, zeros after the text. bStopAtZero ends
// the text at its first zero unit.
void ConvertIntoDestination(const char* pSource, int nCount, UINT nSourceCodePage, bool bStopAtZero,
                            char* pDest, int nDestSize, UINT nDestCodePage)
{
    if (pDest == nullptr || nDestSize <= 0)
        return;
    const int nRoom = nDestSize - 1;
    int nWritten = 0;
    // In UTF-8 only a zero byte gives a zero unit, so the text can be cut
    // there before converting.
    if (pSource != nullptr && nCount > 0 && bStopAtZero)
        nCount = LengthBeforeZero(pSource, nCount);
    if (pSource != nullptr && nCount > 0)
    {
        CStepCutter cutter(nSourceCodePage, nDestCodePage);
        // No source byte yields more than one UTF-16 unit.
        const int nWorkUnits = cutter.MaxStep(nCount);
        CWideBuffer work = AllocateWide(nWorkUnits);
        for (int nFrom = 0; work && nFrom < nCount;)
        {
            int nTo = cutter.StepEnd(pSource, nFrom, nCount);
            int nUnits = MultiByteToWideChar(nSourceCodePage, 0, pSource + nFrom, nTo - nFrom, work.Get(), nWorkUnits);
            if (nUnits <= 0)
                break;
            bool bComplete = false;
            nWritten += AfxToCodePage(work.Get(), nUnits, nDestCodePage, pDest + nWritten, nRoom - nWritten, bComplete);
            if (!bComplete)
                break;
            nFrom = nTo;
        }
    }
    std::memset(pDest + nWritten, 0, static_cast<size_t>(nDestSize - nWritten));
}

} // namespace

// ---------------------------------------------------------------------------
// CBstr

CBstr::CBstr(const CBstr& other)
{
    if (!other.IsNull())
    {
        m_bstr.Attach(SysAllocStringByteLen(reinterpret_cast<LPCSTR>(other.Get()), SysStringByteLen(other.Get())));
        if (!m_bstr)
            AfxThrowMemoryException();
    }
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
    // single- or double-byte code page; a text that needs more gives "".
    // The calling thread's code page, where the module and the tool convert
    // in the process's (CP_ACP): this one is made to follow a thread that
    // chose its own (SetThreadLocale), the others feed the 8-bit platform
    // calls, which use the process's.
    const int nRoom = 2 * (nLength + 1) - 1;
    CString strResult;
    bool bComplete = false;
    int nWritten = AfxToCodePage(pszWide, nLength, CP_THREAD_ACP, strResult.GetBuffer(nRoom), nRoom, bComplete);
    strResult.ReleaseBuffer(bComplete ? nWritten : 0);
    return strResult;
}

void Utf8ToMultiByte(const char* pUtf8, int nCount, char* pDest, int nDestSize, UINT nCodePage)
{
    ConvertIntoDestination(pUtf8, nCount, CP_UTF8, true, pDest, nDestSize, nCodePage);
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
        nUnits = Utf8ToWide(pUtf8, nCount, work.Get());
    }
    BSTR bstr = SysAllocStringLen(nUnits > 0 ? work.Get() : L"", static_cast<UINT>(nUnits));
    if (bstr == nullptr)
        AfxThrowMemoryException();
    return CBstr(bstr);
}

void MultiByteToUtf8(const char* pSource, int nCount, char* pDest, int nDestSize, UINT nCodePage)
{
    ConvertIntoDestination(pSource, nCount, nCodePage, false, pDest, nDestSize, CP_UTF8);
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
    bool bComplete = false;
    int nWritten = AfxToCodePage(pszWide, static_cast<int>(nLength), 949, pText, nBytes - 1, bComplete);
    pText[bComplete ? nWritten : 0] = '\0';
    return pText;
}
