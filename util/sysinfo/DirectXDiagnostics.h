// DirectXDiagnostics: the installed DirectX release as the platform's DirectX
// diagnostic provider reports it, and the combined query that falls back to
// the system files' versions (DirectXFiles.h) when the provider cannot say.
//
//   int nNumber;
//   char szText[16];
//   QueryDirectXVersion(&nNumber, szText, sizeof(szText));
//   // release 9.0c -> nNumber 0x00090003, szText "9.0c"
//
// Both operations keep nothing between calls: each call creates its own
// provider and releases it before returning. They may run on any thread.
#pragma once

#include <windows.h>

// Asks the diagnostic provider for the major number, the minor number and
// the letter of the installed release. The letter is the first character of
// the provider's letter text in the active code page: "c" gives 'c', " "
// gives ' ', an empty text gives the zero character, and a text too long
// for a 10-byte conversion (nine bytes and the terminator) gives ' '.
//   S_OK    all three were read
//   E_FAIL  anything else: no provider, a failed step, a missing property,
//           or one of another type (a signed major, say)
// Each value is written through its non-null pointer as soon as it is read,
// so an E_FAIL may still have written the major, the minor or both.
//
// The calling thread joins a single-threaded apartment for the length of the
// call (CoInitialize) and is left as it was found: a thread that already
// belongs to the multithreaded apartment keeps it, and the provider is then
// made there.
HRESULT DetectDirectXByDiagnostics(int* pnMajor, int* pnMinor, char* pchLetter) noexcept;

// The installed release as a number and as text: the provider's answer, or
// else DetectDirectXByFiles's. The number is ((major * 256) + minor) * 256
// plus the letter's place in the alphabet (a = 1 ... z = 26, 0 for no letter
// or any other character); the letter is lower-cased first, and a minor of
// 256 or more carries into the major's bits. The text is "major.minor"
// followed by the letter unless it is the space.
//   9, 0, ' '   -> 0x00090000  "9.0"
//   8, 1, 'B'   -> 0x00080102  "8.1b"
//   9, 0, '1'   -> 0x00090000  "9.01"
//   9, 0, '\0'  -> 0x00090000  "9.0"
//   1, 256, ' ' -> 0x00020000  "1.256"
//   nothing found anywhere -> 0, "0.0"
// pszText receives at most nLength bytes and always ends in a zero, which is
// also written at its last byte (index nLength - 1): with release 9.0,
// nLength 1 gives "", 3 gives "9.", 4 gives "9.0". A null pnNumber, a null
// pszText or an nLength of 0 or less skips that output.
// Always returns true: the files always deliver a release triple.
bool QueryDirectXVersion(int* pnNumber, char* pszText, int nLength) noexcept;
