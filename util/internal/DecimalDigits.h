// DecimalDigits: decimal digits written into a caller's buffer, for the
// operations that build a text on the stack and then make one string of it.
// Not part of the library's interface.
#pragma once

#include <windows.h>

namespace util_internal {

// Room for the digits of any 64-bit value.
const int kMaxDecimalDigits = 20;

// Writes the digits of qwValue so that they end just before pEnd and returns
// where they begin: 0 gives "0", 1234 "1234".
inline char* WriteDigitsBefore(char* pEnd, ULONGLONG qwValue)
{
    // Nine digits a step while the value is wider than 32 bits: a 64-bit
    // division is a library call on 32-bit x86.
    while (qwValue > 0xFFFFFFFFu)
    {
        ULONGLONG qwHigh = qwValue / 1000000000u;
        UINT uLow = static_cast<UINT>(qwValue - qwHigh * 1000000000u);
        for (int i = 0; i < 9; ++i, uLow /= 10)
            *--pEnd = static_cast<char>('0' + uLow % 10);
        qwValue = qwHigh;
    }
    UINT uValue = static_cast<UINT>(qwValue);
    do
    {
        *--pEnd = static_cast<char>('0' + uValue % 10);
        uValue /= 10;
    } while (uValue != 0);
    return pEnd;
}

// The magnitude of a signed value, LLONG_MIN included.
inline ULONGLONG Magnitude(LONGLONG llValue)
{
    return llValue < 0 ? 0 - static_cast<ULONGLONG>(llValue) : static_cast<ULONGLONG>(llValue);
}

// Two digits of a value below 100: 7 gives "07". Returns the end.
inline char* WriteTwoDigits(char* p, UINT uValue)
{
    p[0] = static_cast<char>('0' + uValue / 10);
    p[1] = static_cast<char>('0' + uValue % 10);
    return p + 2;
}

} // namespace util_internal
