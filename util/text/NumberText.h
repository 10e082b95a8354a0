// NumberText: numbers, colours and versions to and from text.
//
// Texts are read byte by byte: a double-byte character counts as two
// characters, and only the bytes "0" to "9" are decimal digits. Nothing here
// fails; text that does not fit a form still gives a number by the rules
// below.
//
// The decimal conversion used throughout: leading white space (blank, tab,
// line feed, vertical tab, form feed, carriage return) is skipped, one "+" or
// "-" is taken, then digits up to the first other character. No digits give
// 0; a value past the result's range gives its largest or smallest value.
#pragma once

#include "framework/String.h"

#include <windows.h>

// Hexadecimal text to a 32-bit value. Every character takes a 4-bit place,
// worth 0 unless it is 0-9 or A-F after the code page's upper-casing; only
// the last eight places survive.
//   "ff", "FF" -> 255       "0x1F" -> 31 ("0" and "X" are worth 0)
//   "#FF" -> 255            "1G" -> 16        "" -> 0
//   "FFFFFFFF" -> -1        "123456789" -> 0x23456789
int HexToInt(CString strText);

// All the decimal digits of the text, in order, as one number; everything
// else is dropped, signs included. Saturates at 2147483647.
//   "-12" -> 12    "1,234,567" -> 1234567    "build 1.2.3" -> 123
//   "" -> 0        "99999999999" -> 2147483647
LONG DigitsToLong(CString strText);

// The first run of decimal digits in the text; what comes before it (signs
// included) is skipped, what comes after it is ignored. Saturates at
// 9223372036854775807.
//   "abc-12" -> 12    "12.5" -> 12    "0x1A" -> 0    "ab05" -> 5
//   "1 2" -> 1        "" -> 0
LONGLONG DigitsToInt64(CString strText);

// "#RRGGBB" (the "#" optional) to 0x00BBGGRR. Each two-character piece is
// read as a hexadecimal number (white space, sign and "0x" allowed, as in
// the decimal conversion) and cut to its low 8 bits; a piece past the end
// of the text is shorter or empty, and an empty piece is 0. Characters after
// the sixth are ignored.
//   "#FF0000", "FF0000" -> 0x0000FF    "#FFF" -> 0x000FFF (not white)
//   "" and "#" -> 0                    "-1" -> 0x0000FF (red piece -1)
//   "#12345678" -> 0x563412
COLORREF TextToColor(CString strText);

// 0x00BBGGRR to "#RRGGBB" in upper-case hexadecimal; the top byte is ignored.
//   0x0000FF -> "#FF0000"    0x563412 -> "#123456"    0xFF000000 -> "#000000"
CString ColorToText(COLORREF crColor);

// "a.b.c.d" to four numbers; "," counts as ".". Each of the first three
// parts is the decimal conversion of its piece; the fourth is the decimal
// conversion of everything after the third dot, so further parts are
// ignored. Parts that are missing are 0. All four references are written.
//   "1.2.3.4", "1, 2, 3, 4" -> 1 2 3 4     "1.2.3.4.5" -> 1 2 3 4
//   "1..3.4" -> 1 0 3 4                    "1.2.3" -> 1 2 3 0
//   "1.2." -> 1 2 0 0                      "7" -> 7 0 0 0
void ParseVersionText(CString strText, int& nFirst, int& nSecond, int& nThird, int& nFourth);

// The number in decimal with strSeparator between groups of nGroupSize
// digits counted from the right. The sign stays outside the groups. An empty
// separator or a group size below 1 gives the plain number.
//   1234567, ",", 3 -> "1,234,567"    -1234, ",", 3 -> "-1,234"
//   -123, ",", 3 -> "-123"            1234567, "'", 1 -> "1'2'3'4'5'6'7"
//   12345678, " ", 4 -> "1234 5678"   1234, "", 3 -> "1234"
CString FormatThousands(LONGLONG llValue, CString strSeparator, int nGroupSize);
