#include "util/text/DurationText.h"

#include <cmath>

namespace {

// A fraction of a double in [0, 1) has at most 1074 decimals; more digits
// than this are zeros and need no formatter.
const int kMaxFormattedDecimals = 1100;

const LONGLONG kMaxWholeSeconds = 0x7FFFFFFFFFFFFFFFLL;

// dSeconds (finite, 0 or more) truncated, pinned at kMaxWholeSeconds.
LONGLONG TruncateSeconds(double dSeconds)
{
    if (dSeconds >= 9223372036854775808.0)
        return kMaxWholeSeconds;
    return static_cast<LONGLONG>(dSeconds);
}

} // namespace

CString FormatDuration(double dSeconds, int nLevel, int nFractionDigits)
{
    if (nLevel < 0 || nLevel > 3)
        nLevel = 0;
    // Also turns -0.0 into 0, which would otherwise format as "-0.000".
    if (!(dSeconds > 0) || !std::isfinite(dSeconds))
        dSeconds = 0;

    LONGLONG llWhole = TruncateSeconds(dSeconds);
    CString strFraction;
    if (nFractionDigits >= 1)
    {
        // The part after the point is exact in a double, and rounding it on
        // its own gives the same digits as rounding the whole value. A carry
        // ("1.000") moves into the whole seconds.
        double dPart = dSeconds - std::trunc(dSeconds);
        int nFormatted = nFractionDigits < kMaxFormattedDecimals ? nFractionDigits : kMaxFormattedDecimals;
        strFraction.Format("%.*f", nFormatted, dPart);
        if (strFraction[0] == '1' && llWhole < kMaxWholeSeconds)
            ++llWhole;
        strFraction = strFraction.Mid(1);
        if (nFractionDigits > nFormatted)
            strFraction += CString('0', nFractionDigits - nFormatted);
    }

    LONGLONG llDays = llWhole / 86400;
    int nRest = static_cast<int>(llWhole % 86400);
    int nHours = nRest / 3600;
    int nMinutes = nRest % 3600 / 60;
    int nSeconds = nRest % 60;

    // A field shows when the level asks for it or it or a field above it is
    // nonzero, so a field is left out only when every field above it is.
    bool bDays = nLevel >= 3 || llDays != 0;
    bool bHours = bDays || nLevel >= 2 || nHours != 0;
    bool bMinutes = bHours || nLevel >= 1 || nMinutes != 0;

    CString strText;
    if (bDays)
        strText.Format("%.02I64d ", llDays);
    if (bHours)
        strText.AppendFormat("%02d:", nHours);
    if (bMinutes)
        strText.AppendFormat("%02d:", nMinutes);
    strText.AppendFormat("%02d", nSeconds);
    strText += strFraction;
    return strText;
}

CString FormatBitRate(LONGLONG llBitsPerSecond)
{
    CString strText;
    if (llBitsPerSecond >= 1073741824LL)
        strText.Format("%.2f Gbps", static_cast<double>(llBitsPerSecond) / 1073741824.0);
    else if (llBitsPerSecond >= 1048576LL)
        strText.Format("%.2f Mbps", static_cast<double>(llBitsPerSecond) / 1048576.0);
    else if (llBitsPerSecond >= 1024LL)
        strText.Format("%.2f kbps", static_cast<double>(llBitsPerSecond) / 1024.0);
    else
        strText.Format("%I64d bps", llBitsPerSecond);
    return strText;
}
