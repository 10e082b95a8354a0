#include "util/text/NumberText.h"

#include "framework/CodePage.h"
#include "util/internal/DecimalDigits.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>

using util_internal::kMaxDecimalText;

namespace {

bool IsDecimalDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

bool IsSpace(char ch)
{
    return ch == ' ' || (ch >= '\t' && ch <= '\r');   // tab, line feed, vertical tab, form feed, return
}

// 0 to 15 for "0" to "9", "a" to "f" and "A" to "F"; -1 for any other byte.
int HexDigitValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

// The text-to-number conversion the version parts and colour pieces share:
// white space, one sign, for base 16 an optional "0x", then digits up to
// the first other character or pEnd, where pText is left. A value past the
// 32-bit range gives INT_MAX or INT_MIN.
template <int nBase>
int ConvertNumber(const char*& pText, const char* pEnd)
{
    const char* p = pText;
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
    UINT uMagnitude = 0;
    const std::from_chars_result result = std::from_chars(p, pEnd, uMagnitude, nBase);
    pText = result.ptr;
    const UINT uLimit = static_cast<UINT>(INT_MAX) + (bNegative ? 1 : 0);
    if (result.ec == std::errc::result_out_of_range || uMagnitude > uLimit)
        uMagnitude = uLimit;
    if (!bNegative || uMagnitude == 0)
        return static_cast<int>(uMagnitude);
    // -(uMagnitude) without passing through an out-of-range signed value.
    return -static_cast<int>(uMagnitude - 1) - 1;
}

// A hexadecimal piece of colour text, cut to its low 8 bits.
BYTE ConvertColorPiece(const char* pText, int nLength, int nFirst)
{
    if (nFirst >= nLength)
        return 0;
    const char* p = pText + nFirst;
    const char* pEnd = pText + std::min(nFirst + 2, nLength);
    // The usual piece, two hexadecimal digits, is read directly: through
    // the conversion, three pieces cost about twice what the digits alone do.
    if (pEnd - p == 2)
    {
        const int nHigh = HexDigitValue(p[0]);
        const int nLow = HexDigitValue(p[1]);
        if (nHigh >= 0 && nLow >= 0)
            return static_cast<BYTE>(nHigh * 16 + nLow);
    }
    return static_cast<BYTE>(static_cast<UINT>(ConvertNumber<16>(p, pEnd)) & 0xFF);
}

// DigitsToLong's step: uValue * 10 + nDigit, pinned at LONG_MAX. Below
// kQuickLongDigits another digit cannot pass LONG_MAX, so most steps are
// one 32-bit multiplication.
const UINT kLongMax = LONG_MAX;
const UINT kQuickLongDigits = (kLongMax - 9) / 10 + 1;
static_assert((kQuickLongDigits - 1) * 10ULL + 9 <= kLongMax, "the quick step stays within LONG_MAX");

UINT AddLongDigit(UINT uValue, int nDigit)
{
    if (uValue < kQuickLongDigits)
        return uValue * 10 + static_cast<UINT>(nDigit);
    const ULONGLONG ullNext = static_cast<ULONGLONG>(uValue) * 10 + static_cast<ULONGLONG>(nDigit);
    return ullNext < kLongMax ? static_cast<UINT>(ullNext) : kLongMax;
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
    UINT uValue = 0;
    for (int i = 0; i < strText.GetLength(); ++i)
    {
        if (IsDecimalDigit(p[i]))
            uValue = AddLongDigit(uValue, p[i] - '0');
    }
    return static_cast<LONG>(uValue);
}

LONGLONG DigitsToInt64(CString strText)
{
    const char* p = strText.GetString();
    const char* pEnd = p + strText.GetLength();
    while (p < pEnd && !IsDecimalDigit(*p))
        ++p;
    // The run begins with a digit, so no sign is read.
    LONGLONG llValue = 0;
    if (std::from_chars(p, pEnd, llValue).ec == std::errc::result_out_of_range)
        llValue = LLONG_MAX;
    return llValue;
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
        *parts[nPart] = ConvertNumber<10>(p, pEnd);
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
    char digits[kMaxDecimalText];
    const char* pEnd = std::to_chars(digits, digits + sizeof(digits), llValue).ptr;
    const int nSign = llValue < 0 ? 1 : 0;
    const char* pDigits = digits + nSign;
    const int nDigits = static_cast<int>(pEnd - pDigits);
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
