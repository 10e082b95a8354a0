// LineText: taking the first line off a block of text, and splitting a text
// at every occurrence of a delimiter.
//
// A line ends at the two bytes "\r\n"; a lone "\r" or "\n" is ordinary text.
//
//   ReadLine text             result   length
//   "abc\r\ndef"              "abc"    3
//   "abc\ndef", "abc", ""     ""       -1      (no line ending)
//   "\r\nx"                   ""       0       (an empty line)
//   "a\r\r\nb"                "a\r"    2
//
//   SplitString text, delimiter   pieces appended
//   "a,b,c"   ","                 "a" "b" "c"
//   "a,,b"    ","                 "a" "" "b"
//   "a,b,"    ","                 "a" "b" ""
//   ","       ","                 "" ""
//   "a::b::"  "::"                "a" "b" ""
//   "ab"      "ab"                "" ""
//   "abc"     ","                 "abc"
//   ""        ","                 (nothing)
//   "abc"     ""                  "abc"
#pragma once

#include "framework/String.h"
#include "framework/StringArray.h"

// The bytes before the first "\r\n" of the zero-terminated pszText; nLength
// gets their count. Without a "\r\n" the result is "" and nLength is -1, so
// -1 and 0 tell "no line" from "an empty line". A null pszText counts as
// having no line ending.
CString ReadLine(const char* pszText, int& nLength);

// Appends to list each piece of strText between occurrences of strDelimiter,
// after whatever list already holds: k delimiters give k + 1 pieces, empty
// pieces included. The search works on whole characters of the active code
// page, so the trail byte of a double-byte character never matches a
// one-byte delimiter. An empty text appends nothing; an empty delimiter
// appends the whole text as one piece. Runs in time linear in the text.
void SplitString(CString strText, CString strDelimiter, CStringArray& list);
