#include "util/text/DurationText.h"

#include "util/internal/DecimalDigits.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

using util_internal::kMaxDecimalText;

namespace {

// From 2^63 seconds on, the whole seconds stop at LLONG_MAX.
constexpr double kPinnedSeconds = static_cast<double>(1ULL << 63);

// A double's fraction of a second ends within 1074 decimals, the expansion
// of its smallest bit, 2^-1074; any decimals after those are zeros.
constexpr int kMaxFractionDecimals = std::numeric_limits<double>::digits - std::numeric_limits<double>::min_exponent;
static_assert(kMaxFractionDecimals == 1074, "the smallest double is 2^-1074");

// A field of the duration, at least two digits: 7 gives "07". Writes from
// p on, at most up to pEnd, and returns the end.
char* WriteField(char* p, char* pEnd, ULONGLONG qwValue)
{
    if (qwValue < 10)
        *p++ = '0';
    return std::to_chars(p, pEnd, qwValue).ptr;
}

} // namespace

CString FormatDuration(double dSeconds, int nLevel, int nFractionDigits)
{
    if (nLevel < 0 || nLevel > 3)
        nLevel = 0;
    // Also turns -0.0 into 0.
    if (!(dSeconds > 0) || !std::isfinite(dSeconds))
        dSeconds = 0;
    const int nDigits = nFractionDigits > 0 ? nFractionDigits : 0;

    // Whole seconds truncated, or with decimals rounded to nDigits of them,
    // so that a carry ("59.9999" to "60.00") reaches every field. Rounding the
    // part after the point on its own gives the same decimals, a carry being
    // its "1". That part is exact in a double, and from 2^52 on it is 0.
    LONGLONG llWhole = dSeconds < kPinnedSeconds ? static_cast<LONGLONG>(dSeconds) : LLONG_MAX;
    char fraction[2 + kMaxFractionDecimals];   // "0." or "1.", then the decimals
    int nDecimals = 0;                         // in fraction; the rest of the nDigits are zeros
    if (nDigits > 0 && dSeconds < kPinnedSeconds)
    {
        nDecimals = std::min(nDigits, kMaxFractionDecimals);
        const double dPart = dSeconds - static_cast<double>(llWhole);
        std::to_chars(fraction, fraction + sizeof(fraction), dPart, std::chars_format::fixed, nDecimals);
        if (fraction[0] == '1')
            ++llWhole;
    }

    const ULONGLONG qwDays = static_cast<ULONGLONG>(llWhole) / 86400;
    const UINT uRest = static_cast<UINT>(static_cast<ULONGLONG>(llWhole) % 86400);
    const UINT uHours = uRest / 3600;
    const UINT uMinutes = uRest % 3600 / 60;
    const UINT uSeconds = uRest % 60;

    // A field shows when the level asks for it or it or a field above it is
    // nonzero, so a field is left out only when every field above it is.
    const bool bDays = nLevel >= 3 || qwDays != 0;
    const bool bHours = bDays || nLevel >= 2 || uHours != 0;
    const bool bMinutes = bHours || nLevel >= 1 || uMinutes != 0;

    char days[kMaxDecimalText];
    const int nDayDigits = static_cast<int>(WriteField(days, days + sizeof(days), qwDays) - days);
    const int nDayText = bDays ? nDayDigits + 1 : 0;
    const LONGLONG llLength =
        nDayText + (bHours ? 3 : 0) + (bMinutes ? 3 : 0) + 2 + (nDigits > 0 ? 1 + static_cast<LONGLONG>(nDigits) : 0);
    if (llLength > INT_MAX)
        AfxThrowMemoryException();

    CString strText;
    char* p = strText.GetBuffer(static_cast<int>(llLength));
    if (bDays)
    {
        std::memcpy(p, days, static_cast<size_t>(nDayDigits));
        p += nDayDigits;
        *p++ = ' ';
    }
    if (bHours)
    {
        p = WriteField(p, p + 2, uHours);
        *p++ = ':';
    }
    if (bMinutes)
    {
        p = WriteField(p, p + 2, uMinutes);
        *p++ = ':';
    }
    p = WriteField(p, p + 2, uSeconds);
    if (nDigits > 0)
    {
        *p++ = '.';
        std::memcpy(p, fraction + 2, static_cast<size_t>(nDecimals));
        std::memset(p + nDecimals, '0', static_cast<size_t>(nDigits - nDecimals));
    }
    strText.ReleaseBuffer(static_cast<int>(llLength));
    return strText;
}

CString FormatBitRate(LONGLONG llBitsPerSecond)
{
    struct CUnit
    {
        LONGLONG llSize;
        const char* pszName;
    };
    const CUnit units[] = {{1LL << 30, " Gbps"}, {1LL << 20, " Mbps"}, {1LL << 10, " kbps"}};
    // The plain rate, or the rate in a unit: below LLONG_MAX, with a "."
    // and two decimals; then the unit.
    char szText[kMaxDecimalText + 3 + 5];
    char* const pLast = szText + kMaxDecimalText + 3;
    char* pEnd = nullptr;
    const char* pszUnit = " bps";
    for (const CUnit& unit : units)
    {
        // Each divisor is a power of two, so the quotient is the rate as a
        // double holds it (a rate past 2^53 rounded to the nearest one),
        // scaled exactly.
        if (llBitsPerSecond >= unit.llSize)
        {
            const double dRate = static_cast<double>(llBitsPerSecond) / static_cast<double>(unit.llSize);
            pEnd = std::to_chars(szText, pLast, dRate, std::chars_format::fixed, 2).ptr;
            pszUnit = unit.pszName;
            break;
        }
    }
    if (pEnd == nullptr)
        pEnd = std::to_chars(szText, pLast, llBitsPerSecond).ptr;
    const size_t nUnit = std::strlen(pszUnit);
    std::memcpy(pEnd, pszUnit, nUnit);
    return CString(szText, static_cast<int>(pEnd + nUnit - szText));
}
