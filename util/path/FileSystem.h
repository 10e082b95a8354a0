// FileSystem: questions to the file system, and creating a folder tree.
//
// Listing files and sub-folders, a file's length as a number and as text, a
// file's time stamps in local time, whether a path is a folder, and creating
// a folder with all of its missing parents. Every call keeps no state and
// reports failure only through its result: 0, an unchanged list, or the text
// of a zero length.
//
// The two list operations turn "/" into "\" in the folder (byte by byte, as
// ReplaceChar does); every other operation uses its path unchanged. Tests of
// a final "\" look at whole characters of the active code page, so a
// double-byte character whose trail byte is "\" is not a separator.
#pragma once

#include "framework/String.h"
#include "framework/StringArray.h"

#include <windows.h>

// Appends to arrFiles the bare names of the files in strFolder that match
// strPattern, in the order the search reports them; folders are skipped,
// hidden and system files are not. An empty folder text, a missing folder or
// a pattern that matches nothing leaves the list as it was.
//
//   GetFileList("C:/data", arr, "*.txt")    searches C:\data\*.txt
//   GetFileList("C:\\data\\", arr, "*.*")   searches C:\data\*.*  (no second "\")
//   GetFileList("", arr, "*.*")             searches nothing
void GetFileList(CString strFolder, CStringArray& arrFiles, CString strPattern);

// Appends to arrFolders the bare names of the sub-folders of strFolder, as
// GetFileList does with the pattern "*.*" but keeping only folders. "." and
// ".." are listed where the search reports them (on every folder but a drive
// root), so a folder with the sub-folders a and b gives ".", "..", "a", "b"
// in the order of the search.
void GetSubFolderList(CString strFolder, CStringArray& arrFolders);

// The length of the file in bytes, full 64 bits: a file of 5,000,000,000
// bytes gives 5000000000. The file is opened for reading while others may
// read and write it, so a file another program is writing still answers.
// 0 for an empty file and for anything that cannot be opened (missing, a
// folder, no access, a name of 260 characters or more). A failure to read
// the length of a file that did open raises CFileException. pdwError, when
// given, receives why the file could not be opened (the platform's code;
// ERROR_FILENAME_EXCED_RANGE for a name too long), or ERROR_SUCCESS.
ULONGLONG GetFileLength(CString strPath, DWORD* pdwError = nullptr);

// FormatByteSize(GetFileLength(strPath)); "0 bytes" for a missing file.
CString GetFileLengthText(CString strPath);

// The platform's short text for a byte count (StrFormatByteSize64A, 256-byte
// buffer): 532 gives "532 bytes", 1340 "1.30 KB", 2400016 "2.28 MB"; the
// wording is the platform's. A count the formatter cannot take (2^63 and
// more: it counts signed) or a failure of the formatter gives the plain count
// and " bytes": 18446744073709551615 gives "18446744073709551615 bytes".
CString FormatByteSize(ULONGLONG qwCount);

// Finds strPath exactly as given (wildcards allowed; the first entry the
// search reports counts) and writes its creation, last-access and last-write
// times, converted to local time, to the three destinations; each time is
// converted with the offset of its own date, so a July time reads in summer
// time even in December. Returns 1; when nothing is found returns 0 and
// leaves the destinations untouched. pdwError, when given, receives why
// nothing was found (the search's error: ERROR_FILE_NOT_FOUND,
// ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED...), or ERROR_SUCCESS.
BOOL GetFileTimes(CString strPath, SYSTEMTIME& stCreation, SYSTEMTIME& stAccess, SYSTEMTIME& stWrite,
                  DWORD* pdwError = nullptr);

// 1 when strPath names an existing folder; 0 for a file, a missing path or
// one whose attributes cannot be read.
BOOL IsDirectory(CString strPath);

// Creates strPath and every missing folder above it. Returns 1 when an entry
// of that name (a folder, or a file) exists afterwards, else 0; nothing is
// created when it exists already. One final "\" is dropped from a path of
// three characters or more, except after a drive's ":" (C:\ stays C:\, not
// the current folder of drive C). A name that still ends in "\" (C:\, a\,
// C:\a\ left of C:\a\\) is found by its attributes, as no search finds it. Only
// "\" ends a level, never the path's first character:
//
//   C:\a\b\c       creates C:\  C:\a\  C:\a\b\  C:\a\b\c   (existing levels simply fail)
//   C:\a\b\        the same as C:\a\b
//   \\srv\share\x  creates \\  \\srv\  \\srv\share\  \\srv\share\x
//   logs\2024      relative to the current folder: logs\  logs\2024
//
// A path of 260 characters or more is never found afterwards, so the result
// is 0 even where some levels were created.
BOOL CreateDirectoryTree(CString strPath);
