#include "util/text/DurationText.h"

#include "util/internal/DecimalDigits.h"

#include <climits>
#include <cmath>
#include <cstring>

using util_internal::kMaxDecimalDigits;
using util_internal::WriteDigitsBefore;
using util_internal::WriteTwoDigits;

namespace {

const LONGLONG kMaxWholeSeconds = 0x7FFFFFFFFFFFFFFFLL;

// dSeconds (finite, 0 or more) truncated, pinned at kMaxWholeSeconds.
LONGLONG TruncateSeconds(double dSeconds)
{
    // A 32-bit conversion is one instruction on 32-bit x86, a 64-bit one is not.
    if (dSeconds < 2147483648.0)
        return static_cast<int>(dSeconds);
    if (dSeconds >= 9223372036854775808.0)
        return kMaxWholeSeconds;
    return static_cast<LONGLONG>(dSeconds);
}

// A fraction of a second, 0 < value < 1, held exactly as qwMantissa / 2^nExponent
// with an odd mantissa below 2^53; nExponent is at most 1074.
struct CBinaryFraction
{
    ULONGLONG qwMantissa;
    int nExponent;
};

CBinaryFraction SplitFraction(double dPart)
{
    ULONGLONG qwBits = 0;
    std::memcpy(&qwBits, &dPart, sizeof(qwBits));
    const int nBiased = static_cast<int>(qwBits >> 52);   // the sign bit is 0
    CBinaryFraction fraction = {qwBits & ((1ULL << 52) - 1), 1074};
    if (nBiased != 0)
    {
        fraction.qwMantissa |= 1ULL << 52;
        fraction.nExponent = 1075 - nBiased;
    }
    if (static_cast<UINT>(fraction.qwMantissa) == 0)
    {
        fraction.qwMantissa >>= 32;
        fraction.nExponent -= 32;
    }
    while ((fraction.qwMantissa & 0xFF) == 0)
    {
        fraction.qwMantissa >>= 8;
        fraction.nExponent -= 8;
    }
    while ((fraction.qwMantissa & 1) == 0)
    {
        fraction.qwMantissa >>= 1;
        --fraction.nExponent;
    }
    return fraction;
}

// Whether the fraction rounded to nDigits decimals is 1: when 1 - value is
// at most half a unit of the last decimal (a tie rounds to the even digit,
// which from ...9 is up). Only a value of 0.5 or more (nExponent <= 53) and
// at most 15 decimals can get there.
bool RoundsToOne(const CBinaryFraction& fraction, int nDigits)
{
    if (fraction.nExponent > 53 || nDigits > 15)
        return false;
    // (2^e - m) * 2 * 10^n <= 2^e. The product is built up a factor of 10
    // at a time and given up once past 2^e, which is at most 2^53, so it
    // never wraps.
    const ULONGLONG qwOne = 1ULL << fraction.nExponent;
    ULONGLONG qwProduct = (qwOne - fraction.qwMantissa) * 2;
    for (int i = 0; i < nDigits && qwProduct <= qwOne; ++i)
        qwProduct *= 10;
    return qwProduct <= qwOne;
}

// Writes the fraction's first nDigits decimals to p, rounded to nearest with
// an exact tie to the even digit, as the C library's formatter rounds. The
// fraction is scaled to fill 32-bit limbs, so each multiplication by 10
// carries the next decimal out of the top limb. A carry out of the first
// decimal (see RoundsToOne) leaves only zeros.
void WriteFraction(char* p, int nDigits, const CBinaryFraction& fraction)
{
    const int kMaxLimbs = (1074 + 31) / 32;
    UINT limbs[kMaxLimbs];
    const int nLimbs = (fraction.nExponent + 31) / 32;
    const int nShift = nLimbs * 32 - fraction.nExponent;   // 0 to 31
    // The mantissa shifted by nShift takes at most the low three limbs.
    const ULONGLONG qwLow = fraction.qwMantissa << nShift;
    limbs[0] = static_cast<UINT>(qwLow);
    for (int k = 1; k < nLimbs; ++k)
        limbs[k] = 0;
    if (nLimbs > 1)
        limbs[1] = static_cast<UINT>(qwLow >> 32);
    if (nLimbs > 2 && nShift != 0)
        limbs[2] = static_cast<UINT>(fraction.qwMantissa >> (64 - nShift));

    // Limbs below nLow are zero and stay zero.
    int nLow = 0;
    while (nLow < nLimbs && limbs[nLow] == 0)
        ++nLow;
    int i = 0;
    for (; i < nDigits && nLow < nLimbs; ++i)
    {
        UINT uCarry = 0;
        for (int k = nLow; k < nLimbs; ++k)
        {
            ULONGLONG qwProduct = static_cast<ULONGLONG>(limbs[k]) * 10 + uCarry;
            limbs[k] = static_cast<UINT>(qwProduct);
            uCarry = static_cast<UINT>(qwProduct >> 32);
        }
        p[i] = static_cast<char>('0' + uCarry);
        while (nLow < nLimbs && limbs[nLow] == 0)
            ++nLow;
    }
    if (i < nDigits)
    {
        // The expansion ended: the rest are zeros and nothing is rounded.
        std::memset(p + i, '0', static_cast<size_t>(nDigits - i));
        return;
    }
    if (nLow == nLimbs)
        return;
    // The rest against one half, which is the top limb's high bit alone.
    const UINT uTop = limbs[nLimbs - 1];
    const bool bBelowTop = nLow < nLimbs - 1;
    const bool bUp = uTop > 0x80000000u || (uTop == 0x80000000u && (bBelowTop || (p[nDigits - 1] - '0') % 2 != 0));
    if (!bUp)
        return;
    int k = nDigits - 1;
    for (; k >= 0 && p[k] == '9'; --k)
        p[k] = '0';
    if (k >= 0)
        ++p[k];
}

// qwValue as a double holds it, the value the formatter was given: 53
// significant bits, a tie to the even one. Done in integers, since a 32-bit
// x86 build may convert through the x87 unit and keep all 64 bits.
ULONGLONG RoundToDouble(ULONGLONG qwValue)
{
    int nDrop = 0;
    while ((qwValue >> nDrop) >= (1ULL << 53))
        ++nDrop;
    if (nDrop == 0)
        return qwValue;
    const ULONGLONG qwUnit = 1ULL << nDrop;
    const ULONGLONG qwRest = qwValue & (qwUnit - 1);
    qwValue -= qwRest;
    if (qwRest > qwUnit / 2 || (qwRest == qwUnit / 2 && (qwValue & qwUnit) != 0))
        qwValue += qwUnit;
    return qwValue;
}

} // namespace

CString FormatDuration(double dSeconds, int nLevel, int nFractionDigits)
{
    if (nLevel < 0 || nLevel > 3)
        nLevel = 0;
    // Also turns -0.0 into 0.
    if (!(dSeconds > 0) || !std::isfinite(dSeconds))
        dSeconds = 0;

    LONGLONG llWhole = TruncateSeconds(dSeconds);
    const int nDigits = nFractionDigits > 0 ? nFractionDigits : 0;
    CBinaryFraction fraction = {0, 0};
    // Below 2^52 the whole seconds are exact in a double, and so is the part
    // after the point; from there on there is no such part.
    if (nDigits > 0 && dSeconds < 4503599627370496.0)
    {
        const double dWhole = llWhole <= INT_MAX ? static_cast<int>(llWhole) : static_cast<double>(llWhole);
        const double dPart = dSeconds - dWhole;
        // Rounding the part on its own gives the digits of rounding the whole
        // value; a carry ("1.000") moves into the whole seconds.
        if (dPart > 0)
        {
            fraction = SplitFraction(dPart);
            if (RoundsToOne(fraction, nDigits))
                ++llWhole;
        }
    }

    ULONGLONG qwDays = 0;
    UINT uRest = 0;
    if (llWhole <= 0xFFFFFFFFLL)
    {
        qwDays = static_cast<UINT>(llWhole) / 86400;
        uRest = static_cast<UINT>(llWhole) % 86400;
    }
    else
    {
        qwDays = static_cast<ULONGLONG>(llWhole) / 86400;
        uRest = static_cast<UINT>(static_cast<ULONGLONG>(llWhole) % 86400);
    }
    const UINT uHours = uRest / 3600;
    const UINT uMinutes = uRest % 3600 / 60;
    const UINT uSeconds = uRest % 60;

    // A field shows when the level asks for it or it or a field above it is
    // nonzero, so a field is left out only when every field above it is.
    const bool bDays = nLevel >= 3 || qwDays != 0;
    const bool bHours = bDays || nLevel >= 2 || uHours != 0;
    const bool bMinutes = bHours || nLevel >= 1 || uMinutes != 0;

    // The day field has at least two digits.
    char days[kMaxDecimalDigits + 1];
    char* pDaysEnd = days + sizeof(days);
    char* pDays = WriteDigitsBefore(pDaysEnd, qwDays);
    if (pDaysEnd - pDays < 2)
        *--pDays = '0';
    const int nDayText = bDays ? static_cast<int>(pDaysEnd - pDays) + 1 : 0;
    const LONGLONG llLength =
        nDayText + (bHours ? 3 : 0) + (bMinutes ? 3 : 0) + 2 + (nDigits > 0 ? 1 + static_cast<LONGLONG>(nDigits) : 0);
    if (llLength > INT_MAX)
        AfxThrowMemoryException();

    CString strText;
    char* p = strText.GetBuffer(static_cast<int>(llLength));
    if (bDays)
    {
        while (pDays < pDaysEnd)
            *p++ = *pDays++;
        *p++ = ' ';
    }
    if (bHours)
    {
        p = WriteTwoDigits(p, uHours);
        *p++ = ':';
    }
    if (bMinutes)
    {
        p = WriteTwoDigits(p, uMinutes);
        *p++ = ':';
    }
    p = WriteTwoDigits(p, uSeconds);
    if (nDigits > 0)
    {
        *p++ = '.';
        if (fraction.qwMantissa == 0)
            std::memset(p, '0', static_cast<size_t>(nDigits));
        else
            WriteFraction(p, nDigits, fraction);
    }
    strText.ReleaseBuffer(static_cast<int>(llLength));
    return strText;
}

CString FormatBitRate(LONGLONG llBitsPerSecond)
{
    struct CUnit
    {
        int nShift;
        const char* pszName;
    };
    const CUnit units[] = {{30, " Gbps"}, {20, " Mbps"}, {10, " kbps"}};
    char szText[kMaxDecimalDigits + 16];
    char* pEnd = szText + kMaxDecimalDigits + 4;   // room for the number, "." and the decimals
    char* pStart = nullptr;
    const char* pszUnit = " bps";
    for (const CUnit& unit : units)
    {
        if (llBitsPerSecond < (1LL << unit.nShift))
            continue;
        // The unit is a power of two, so rate / unit splits exactly into
        // whole units and a rest.
        const ULONGLONG qwRate = RoundToDouble(static_cast<ULONGLONG>(llBitsPerSecond));
        const ULONGLONG qwMask = (1ULL << unit.nShift) - 1;
        ULONGLONG qwWhole = qwRate >> unit.nShift;
        const ULONGLONG qwScaled = (qwRate & qwMask) * 100;
        UINT uHundredths = static_cast<UINT>(qwScaled >> unit.nShift);
        // Two decimals rounded to nearest, an exact tie to the even digit.
        const ULONGLONG qwRest = qwScaled & qwMask;
        const ULONGLONG qwHalf = 1ULL << (unit.nShift - 1);
        if (qwRest > qwHalf || (qwRest == qwHalf && uHundredths % 2 != 0))
        {
            if (++uHundredths == 100)
            {
                uHundredths = 0;
                ++qwWhole;
            }
        }
        WriteTwoDigits(pEnd - 2, uHundredths);
        pEnd[-3] = '.';
        pStart = WriteDigitsBefore(pEnd - 3, qwWhole);
        pszUnit = unit.pszName;
        break;
    }
    if (pStart == nullptr)
    {
        pStart = WriteDigitsBefore(pEnd, util_internal::Magnitude(llBitsPerSecond));
        if (llBitsPerSecond < 0)
            *--pStart = '-';
    }
    const size_t nUnit = std::strlen(pszUnit);
    std::memcpy(pEnd, pszUnit, nUnit);
    return CString(pStart, static_cast<int>(pEnd + nUnit - pStart));
}
