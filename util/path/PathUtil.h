// PathUtil: taking path text apart, without touching the file system.
//
// "\" and "/" both separate path parts. A path is cut at its first "?" unless
// the "?" is its first character; from the "?" on it is a query and ignored.
// Every rule works on whole characters of the active code page, so the trail
// byte of a double-byte character is never taken for a separator, a dot or
// a character a file name may not hold; only ReplaceChar works byte by byte.
//
//   path                  GetDrive  GetFileDir     GetParentDir  GetFileName  Title     Ext
//   "C:\dir\file.txt"     "C:\"     "C:\dir\"       "C:\dir\"     "file.txt"   "file"    "txt"
//   "C:/dir/file.tar.gz"  "C:/"     "C:/dir/"       "C:\dir\"     "file.tar.gz" "file.tar" "gz"
//   ".profile"            ""        ""              ""            ".profile"   ""        "profile"
//   "C:\dir\sub\"         "C:\"     "C:\dir\sub\"   "C:\dir\"     ""           ""        ""
//   "C:\"                 "C:\"     "C:\"           "C:\"         ""           ""        ""
//   "\dir\"               ""        "\dir\"         "\dir\"       ""           ""        ""
//   "?x/y.z"              ""        ""              ""            "?x/y.z"     "?x/y"    "z"
//   "C:\dir\p.asp?id=3"   "C:\"     "C:\dir\"       "C:\dir\"     "p.asp"      "p"       "asp"
#pragma once

#include "framework/String.h"

// The text after the last separator (after the query is cut); the whole
// path when it begins with "?". "C:\dir\" gives "".
CString GetFileName(CString strPath);
// The file name before its last "."; "file." gives "file", ".profile" "".
CString GetFileTitle(CString strPath);
// The file name after its last ".", case kept; "" when there is no ".".
CString GetFileExt(CString strPath);
// The path without its file name, in the path's own separators, ending in
// the separator: "C:/dir/file" gives "C:/dir/"; "file" gives "".
CString GetFileDir(CString strPath);
// The containing folder with "\" separators; for a path that ends in a
// separator, the folder above it: "C:/dir/" gives "C:\"; a drive root is its
// own parent; "\dir\" and "dir/" have no parent and come back unchanged.
CString GetParentDir(CString strPath);
// The text up to the first ":" and one character more: "C:\x" gives "C:\",
// "http://h/" gives "http:/", "C:" gives "C:"; "" without a ":". A
// double-byte character after the ":" is taken whole (both bytes).
CString GetDrive(CString strPath);
// True when both name the same path after "/" becomes "\", one final "\" is
// dropped and both are lower-cased: "C:\Dir\" and "c:/dir" are the same;
// "C:\dir\\" and "C:\dir" are not. An empty text is never the same path.
// The final "\" is a whole character: in code page 932 the path C:\ followed
// by the bytes 95 5C (one character whose trail byte is 0x5C) keeps them.
bool IsSamePath(CString strFirst, CString strSecond);
// Removes (chReplace == 0) or replaces each of / ? \ : < > " | in place.
// "*", control characters and double-byte characters stay whole (in code
// page 932 "\x95\x5C" is one character, not a lead byte and a "\").
void MakeValidFileName(CString& strText, char chReplace);
// A copy with every byte equal to chFind set to chPut.
CString ReplaceChar(CString strText, char chFind, char chPut);
