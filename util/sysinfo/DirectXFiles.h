// DirectXFiles: the installed DirectX release told from the file versions of
// system files, and the module-version helpers it is built on.
//
// A module version packs a file's four version fields into 64 bits, most
// significant first: major.minor.build.revision. Its high half is the
// platform's dwFileVersionMS, its low half dwFileVersionLS.
//
//   MakeModuleVersion(4, 2, 0, 95)    -> 0x000400020000005F
//   MakeModuleVersion(5, 1, 2258, 400) -> 0x0005000108D20190
//
// A release is a triple: major, minor and one letter, the space standing
// for no letter. 8.1b is (8, 1, 'b'), 9.0 is (9, 0, ' '); (0, 0, ' ') means
// that no release was recognised.
//
//   int nMajor, nMinor; char chLetter;
//   DetectDirectXByFiles(&nMajor, &nMinor, &chLetter);   // always S_OK
//   // ddraw.dll 4.6.0.436 and dplayx.dll 4.6.3.518 alone -> 6, 1, 'a'
//
// Everything here is stateless and safe to call from any number of threads.
#pragma once

#include <windows.h>

// The module version major.minor.build.revision. Each argument is cut to its
// low 16 bits first.
//   4, 2, 0, 95         -> high half 0x00040002, low half 0x0000005F
//   0x12345, 0, 0, 0    -> major field 0x2345
ULONGLONG MakeModuleVersion(DWORD dwMajor, DWORD dwMinor, DWORD dwBuild, DWORD dwRevision) noexcept;

// 1 when the first version is greater, -1 when it is smaller, 0 when equal:
// the plain unsigned 64-bit order.
//   4.8.40000.0 vs 4.8.1.0        -> 1
//   40000.0.0.0 vs 1.0.0.0        -> 1
//   1.0.0.0 vs 0.65535.65535.65535 -> 1
int CompareModuleVersions(ULONGLONG qwFirst, ULONGLONG qwSecond) noexcept;

// Reads the file version (not the product version) from the fixed record of
// the file's version resource.
//   S_OK           *pqwVersion holds the version
//   E_INVALIDARG   pszPath or pqwVersion is null; nothing is asked of the
//                  platform
//   E_FAIL         the file is missing or unreadable, has no version
//                  resource, or its resource has no sound fixed record (one
//                  shorter than VS_FIXEDFILEINFO, or lying outside the
//                  resource, counts as none)
//   E_OUTOFMEMORY  no room for a copy of the resource
// *pqwVersion is written only on S_OK. Truncated or corrupt resources are
// never read past their end.
HRESULT QueryFileVersion(const char* pszPath, ULONGLONG* pqwVersion) noexcept;

// Tells the release from the versions of ddraw.dll, d3drg8x.dll, dplayx.dll,
// dinput.dll, d3d8.dll, mpg2splt.ax, dpnet.dll and d3d9.dll in the system
// folder. Each known release has a row naming a file and the version that
// file must reach; the last row that holds decides. A missing file, or one
// without a version resource, only drops its rows. Each non-null pointer
// receives its part of the triple, (0, 0, ' ') when no row holds; null
// pointers are skipped, and the files are read all the same.
//   ddraw.dll 4.6.0.436 alone                     -> 6, 1, ' '
//   ddraw.dll 5.1.2258.400 alone                  -> 8, 0, ' '
//   ddraw.dll 5.1.2258.399 alone                  -> 7, 0, ' '
//   ddraw.dll 6.0.6000.0 alone                    -> 7, 0, ' '  (the 8.0 row
//                                                    knows majors 4 and 5 only)
//   d3d8.dll 5.1.2600.901 + mpg2splt.ax 6.3.1.885 -> 8, 1, 'b'
//   any d3d9.dll with a version resource          -> 9, 0, ' '
//   no system folder                              -> 0, 0, ' '
// Always returns S_OK.
HRESULT DetectDirectXByFiles(int* pnMajor, int* pnMinor, char* pchLetter) noexcept;
