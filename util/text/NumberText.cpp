#include "util/text/NumberText.h"

#include "framework/CodePage.h"
#include "util/internal/DecimalDigits.h"

#include <climits>
#include <cstring>

using util_internal::kMaxDecimalDigits;

namespace {

const ULONGLONG kLongMax = LONG_MAX;
const ULONGLONG kInt64Max = LLONG_MAX;
const ULONGLONG kIntMax = INT_MAX;

bool IsDecimalDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

bool IsSpace(char ch)
{
    return ch == ' ' || (ch >= '\t' && ch <= '\r');   // tab, line feed, vertical tab, form feed, return
}

// Value of a digit in base 10 or 16, or -1.
template <int nBase>
int DigitValue(char ch)
{
    int nValue = -1;
    if (ch >= '0' && ch <= '9')
        nValue = ch - '0';
    else if (nBase == 16 && ch >= 'a' && ch <= 'f')
        nValue = ch - 'a' + 10;
    else if (nBase == 16 && ch >= 'A' && ch <= 'F')
        nValue = ch - 'A' + 10;
    return nValue;
}

// ullValue * nBase + nDigit for a base of 10 or 16, pinned at ullLimit
// (2^31 - 1 to 2^63). Below 2^27 the result stays below 2^31, within every
// limit, in 32-bit arithmetic (the quick way on 32-bit x86). From 2^60 on
// the product is past every limit; between, it cannot wrap. So no digit
// run, however long, can overflow.
ULONGLONG AddDigit(ULONGLONG ullValue, int nDigit, int nBase, ULONGLONG ullLimit)
{
    if (ullValue < (1U << 27))
        return static_cast<UINT>(ullValue) * static_cast<UINT>(nBase) + static_cast<UINT>(nDigit);
    if (ullValue >= (1ULL << 60))
        return ullLimit;
    ULONGLONG ullNext = ullValue * static_cast<ULONGLONG>(nBase) + static_cast<ULONGLONG>(nDigit);
    return ullNext < ullLimit ? ullNext : ullLimit;
}

// The text-to-number conversion every operation here shares: white space,
// one sign, for base 16 an optional "0x", then digits up to the first other
// character or pEnd; p is left there. The magnitude is built unsigned and
// pinned at the limit (ullMax, or ullMax + 1 for a negative number).
template <int nBase>
LONGLONG ConvertNumber(const char*& pText, const char* pEnd, ULONGLONG ullMax)
{
    const char* p = pText;   // a local, which the loops keep in a register
    while (p < pEnd && IsSpace(*p))
        ++p;
    bool bNegative = false;
    if (p < pEnd && (*p == '+' || *p == '-'))
    {
        bNegative = *p == '-';
        ++p;
    }
    if (nBase == 16 && pEnd - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))
        p += 2;

    // Below 2^27 the value and one more digit fit 32 bits and every limit:
    // the quick loop on 32-bit x86, and all of most numbers.
    UINT uValue = 0;
    int nDigit = -1;
    for (; p < pEnd && (nDigit = DigitValue<nBase>(*p)) >= 0 && uValue < (1U << 27); ++p)
        uValue = uValue * nBase + static_cast<UINT>(nDigit);
    ULONGLONG ullValue = uValue;
    if (p < pEnd && nDigit >= 0)
    {
        // Stopped by the size, at a digit.
        const ULONGLONG ullLimit = bNegative ? ullMax + 1 : ullMax;
        for (; p < pEnd && (nDigit = DigitValue<nBase>(*p)) >= 0; ++p)
            ullValue = AddDigit(ullValue, nDigit, nBase, ullLimit);
    }
    pText = p;
    if (!bNegative || ullValue == 0)
        return static_cast<LONGLONG>(ullValue);
    // -(ullValue) without passing through an out-of-range signed value.
    return -static_cast<LONGLONG>(ullValue - 1) - 1;
}

LONGLONG ConvertDecimal(const char*& p, const char* pEnd, ULONGLONG ullMax)
{
    return ConvertNumber<10>(p, pEnd, ullMax);
}

// A hexadecimal piece of colour text, cut to its low 8 bits.
BYTE ConvertColorPiece(const char* pText, int nLength, int nFirst)
{
    if (nFirst >= nLength)
        return 0;
    const char* p = pText + nFirst;
    // Two hexadecimal digits, the usual piece, are the whole conversion.
    int nHigh = DigitValue<16>(p[0]);
    int nLow = nFirst + 1 < nLength ? DigitValue<16>(p[1]) : -1;
    if (nHigh >= 0 && nLow >= 0)
        return static_cast<BYTE>(nHigh * 16 + nLow);
    int nEnd = nFirst + 2 < nLength ? nFirst + 2 : nLength;
    LONGLONG llValue = ConvertNumber<16>(p, pText + nEnd, kLongMax);
    return static_cast<BYTE>(static_cast<ULONGLONG>(llValue) & 0xFF);
}

} // namespace

int HexToInt(CString strText)
{
    // Single bytes change case through the code page's table; a double-byte
    // character needs the platform, so a text that holds one is upper-cased
    // whole first.
    const CCodePageInfo& cp = AfxGetCodePageInfo();
    const bool bDoubleByte = AfxHasLeadByte(cp, strText.GetString(), strText.GetLength());
    if (bDoubleByte)
        strText.MakeUpper();
    const char* p = strText.GetString();
    UINT uValue = 0;
    for (int i = 0; i < strText.GetLength(); ++i)
    {
        char ch = bDoubleByte ? p[i] : static_cast<char>(cp.upper[static_cast<unsigned char>(p[i])]);
        UINT uDigit = 0;
        if (ch >= '0' && ch <= '9')
            uDigit = static_cast<UINT>(ch - '0');
        else if (ch >= 'A' && ch <= 'F')
            uDigit = static_cast<UINT>(ch - 'A' + 10);
        uValue = (uValue << 4) + uDigit;
    }
    if (uValue <= static_cast<UINT>(INT_MAX))
        return static_cast<int>(uValue);
    return -static_cast<int>(~uValue) - 1;
}

LONG DigitsToLong(CString strText)
{
    const char* p = strText.GetString();
    ULONGLONG ullValue = 0;
    for (int i = 0; i < strText.GetLength(); ++i)
    {
        if (IsDecimalDigit(p[i]))
            ullValue = AddDigit(ullValue, p[i] - '0', 10, kLongMax);
    }
    return static_cast<LONG>(ullValue);
}

LONGLONG DigitsToInt64(CString strText)
{
    const char* p = strText.GetString();
    const char* pEnd = p + strText.GetLength();
    while (p < pEnd && !IsDecimalDigit(*p))
        ++p;
    return ConvertDecimal(p, pEnd, kInt64Max);
}

COLORREF TextToColor(CString strText)
{
    const char* p = strText.GetString();
    int nLength = strText.GetLength();
    if (nLength > 0 && p[0] == '#')
    {
        ++p;
        --nLength;
    }
    BYTE red = ConvertColorPiece(p, nLength, 0);
    BYTE green = ConvertColorPiece(p, nLength, 2);
    BYTE blue = ConvertColorPiece(p, nLength, 4);
    return RGB(red, green, blue);
}

CString ColorToText(COLORREF crColor)
{
    const char kHexDigits[] = "0123456789ABCDEF";
    const BYTE bytes[3] = {GetRValue(crColor), GetGValue(crColor), GetBValue(crColor)};
    char szText[7] = {'#'};
    for (int i = 0; i < 3; ++i)
    {
        szText[1 + 2 * i] = kHexDigits[bytes[i] >> 4];
        szText[2 + 2 * i] = kHexDigits[bytes[i] & 0x0F];
    }
    return CString(szText, 7);
}

void ParseVersionText(CString strText, int& nFirst, int& nSecond, int& nThird, int& nFourth)
{
    // "," and "." are plain ASCII and no code page uses them as trail bytes,
    // so a byte walk finds the same separators a character walk would.
    int* parts[4] = {&nFirst, &nSecond, &nThird, &nFourth};
    const char* p = strText.GetString();
    const char* pEnd = p + strText.GetLength();
    int nPart = 0;
    for (; nPart < 4 && p != nullptr; ++nPart)
    {
        // A conversion stops at the next separator at the latest: neither
        // "." nor "," is white space, a sign or a digit. So the fourth part,
        // all the rest of the text, ignores a fifth.
        *parts[nPart] = static_cast<int>(ConvertDecimal(p, pEnd, kIntMax));
        if (nPart == 3)
            continue;
        while (p < pEnd && *p != '.' && *p != ',')
            ++p;
        p = p < pEnd ? p + 1 : nullptr;
    }
    for (; nPart < 4; ++nPart)
        *parts[nPart] = 0;
}

CString FormatThousands(LONGLONG llValue, CString strSeparator, int nGroupSize)
{
    char digits[kMaxDecimalDigits];
    char* pEnd = digits + sizeof(digits);
    const char* pDigits = util_internal::WriteDigitsBefore(pEnd, util_internal::Magnitude(llValue));
    const int nDigits = static_cast<int>(pEnd - pDigits);
    const int nSign = llValue < 0 ? 1 : 0;
    const int nSeparator = strSeparator.GetLength();
    const int nGroups = nGroupSize < 1 || nSeparator == 0 ? 0 : (nDigits - 1) / nGroupSize;
    const LONGLONG llTotal = nSign + nDigits + static_cast<LONGLONG>(nSeparator) * nGroups;
    if (llTotal > INT_MAX)
        AfxThrowMemoryException();

    CString strResult;
    char* p = strResult.GetBuffer(static_cast<int>(llTotal));
    if (nSign != 0)
        *p++ = '-';
    // The leftmost group holds 1 to nGroupSize digits, every other group nGroupSize.
    const int nFirst = nDigits - nGroups * nGroupSize;
    std::memcpy(p, pDigits, static_cast<size_t>(nFirst));
    p += nFirst;
    pDigits += nFirst;
    for (int i = 0; i < nGroups; ++i)
    {
        std::memcpy(p, strSeparator.GetString(), static_cast<size_t>(nSeparator));
        p += nSeparator;
        std::memcpy(p, pDigits, static_cast<size_t>(nGroupSize));
        p += nGroupSize;
        pDigits += nGroupSize;
    }
    strResult.ReleaseBuffer(static_cast<int>(llTotal));
    return strResult;
}
