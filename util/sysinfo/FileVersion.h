// FileVersion: a file's version from its version resource, and the module
// version it is reported in.
//
// A module version packs a file's four version fields into 64 bits, most
// significant first: major.minor.build.revision. Its high half is the
// platform's dwFileVersionMS, its low half dwFileVersionLS.
//
//   MakeModuleVersion(4, 2, 0, 95)     -> 0x000400020000005F
//   MakeModuleVersion(5, 1, 2258, 400) -> 0x0005000108D20190
//
//   ULONGLONG qwVersion;
//   QueryFileVersion("C:\\windows\\system32\\ddraw.dll", &qwVersion);  // S_OK
//
// Everything here is stateless and safe to call from any number of threads.
#pragma once

#include <windows.h>

// The module version major.minor.build.revision. Each argument is cut to its
// low 16 bits first.
//   4, 2, 0, 95         -> high half 0x00040002, low half 0x0000005F
//   0x12345, 0, 0, 0    -> major field 0x2345
constexpr ULONGLONG MakeModuleVersion(DWORD dwMajor, DWORD dwMinor, DWORD dwBuild, DWORD dwRevision) noexcept
{
    return (static_cast<ULONGLONG>(((dwMajor & 0xFFFF) << 16) | (dwMinor & 0xFFFF)) << 32) |
           (((dwBuild & 0xFFFF) << 16) | (dwRevision & 0xFFFF));
}

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
// never read past their end. pdwError, when given, receives ERROR_SUCCESS,
// or the platform's reason for E_FAIL (ERROR_FILE_NOT_FOUND,
// ERROR_ACCESS_DENIED, ERROR_RESOURCE_TYPE_NOT_FOUND... as the version
// functions report it; ERROR_RESOURCE_DATA_NOT_FOUND for a resource with
// no sound fixed record; ERROR_MOD_NOT_FOUND where those functions cannot
// be loaded from the system folder), ERROR_INVALID_PARAMETER or
// ERROR_NOT_ENOUGH_MEMORY.
HRESULT QueryFileVersion(const char* pszPath, ULONGLONG* pqwVersion, DWORD* pdwError = nullptr) noexcept;
