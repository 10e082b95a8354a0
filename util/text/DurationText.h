// DurationText: durations and bit rates as display text.
//
// A duration is written "DD HH:MM:SS" with an optional fraction of the
// second; fields above the trimming level are left out while they and every
// field above them are zero. Levels: 3 days, 2 hours, 1 minutes, 0 seconds.
//
//   seconds   level 3        level 2        level 1        level 0
//   0         00 00:00:00    00:00:00       00:00          00
//   65        00 00:01:05    00:01:05       01:05          01:05
//   3661      00 01:01:01    01:01:01       01:01:01       01:01:01
//   90061     01 01:01:01    01 01:01:01    01 01:01:01    01 01:01:01
//
// A bit rate is scaled by powers of two (1 kbps = 1024 bps) with two
// decimals. Decimals, here and in a duration's fraction, are rounded to
// nearest from the exact value of the double (a rate past 2^53 first
// becomes the nearest double); an exact tie goes to the even digit
// (1152 bps gives "1.12 kbps", 0.125 s with two digits "00.12").
#pragma once

#include "framework/String.h"

#include <windows.h>

// dSeconds as "DD HH:MM:SS[.fff]". A level outside 0 to 3 counts as 0.
// Negative and non-finite seconds count as 0. With nFractionDigits of 1 or
// more the seconds are first rounded to that many decimals and every field
// comes from the rounded value; otherwise the whole seconds are truncated.
// The day field has at least two digits and as many more as it needs; past
// 9223372036854775807 seconds the count stops there.
//   7, level 0                    -> "07"
//   86400, level 0                -> "01 00:00:00" (days never trim)
//   3661.5, level 0, 2 digits     -> "01:01:01.50"
//   59.9999, level 0, 2 digits    -> "01:00.00"
//   0.9996, level 0, 3 digits     -> "01.000"
//   8640005, level 2, 1 digit     -> "100 00:00:05.0"
CString FormatDuration(double dSeconds, int nLevel, int nFractionDigits);

// The rate in the largest unit it reaches: Gbps from 2^30, Mbps from 2^20,
// kbps from 1024, each with two decimals; below 1024 (negative rates too)
// the plain integer with " bps".
//   1023 -> "1023 bps"       1024 -> "1.00 kbps"       -5 -> "-5 bps"
//   1048575 -> "1024.00 kbps" (rounded, not moved up a unit)
//   1073741824 -> "1.00 Gbps"
CString FormatBitRate(LONGLONG llBitsPerSecond);
