// DirectXFiles: the installed DirectX release told from the file versions
// (util/sysinfo/FileVersion.h) of system files.
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
