// The one door to the registry: every key that registration, CRegistryKey
// and kestrum.exe open, read, write or remove goes through these calls, in
// a registry view chosen once.
//
// Keys are held by CKeyHandle (framework/Handle.h), and each call returns
// the platform's status (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ...). Names
// and paths are text in the active code page, as the 8-bit registry calls
// take them.
//
//   CKeyHandle hKey;
//   LONG lStatus = OpenRegKey(HKEY_CURRENT_USER, "SOFTWARE\\Vendor", kKeyRead, RegistryView::Bits64, hKey);
//   CRegValue value;
//   if (lStatus == ERROR_SUCCESS)
//       lStatus = ReadRegValue(hKey, "Path", value);
#pragma once

#include "framework/Handle.h"

#include <windows.h>

#include <string>

// Which of the registry's two views a key is reached in. A 64-bit system
// keeps apart some keys that 32-bit and 64-bit programs see under the same
// name; Own is the view of this binary's own bitness, the one regsvr32 of
// that bitness writes.
enum class RegistryView
{
    Own,
    Bits32,
    Bits64,
};

// 32 or 64; Own counts as this binary's bitness.
int GetViewBits(RegistryView view) noexcept;
// False only for the 64-bit view on a system that has none (32-bit Windows).
bool HasRegistryView(RegistryView view) noexcept;

// The least rights each use needs: kKeyRead to read values and count what a
// key holds, kKeyWrite to set or delete values. DeleteRegKey needs no open
// key: the platform opens the key with DELETE alone.
constexpr REGSAM kKeyRead = KEY_QUERY_VALUE;
constexpr REGSAM kKeyWrite = KEY_SET_VALUE;

// Opens hRoot\pszPath with the rights asked; an empty path opens the root
// again. CreateRegKey creates the keys of the path that are missing
// (non-volatile, no class, default security).
LONG OpenRegKey(HKEY hRoot, const char* pszPath, REGSAM samRights, RegistryView view, CKeyHandle& hKey);
LONG CreateRegKey(HKEY hRoot, const char* pszPath, REGSAM samRights, RegistryView view, CKeyHandle& hKey);

// A value as the registry holds it: its type and its data as UTF-16 units,
// read through the wide call so that text outside the active code page
// comes back whole. A string's terminator stays in m_strData.
struct CRegValue
{
    DWORD m_dwType = REG_NONE;
    std::wstring m_strData;
    bool m_bOddSize = false;    // the data ends in half a unit, dropped here
};

// Reads the value named pszName ("" for the default value) of a key opened
// with kKeyRead: ERROR_FILE_NOT_FOUND when there is none.
LONG ReadRegValue(const CKeyHandle& hKey, const char* pszName, CRegValue& value);
// Counts the sub-keys and values of a key opened with kKeyRead.
LONG CountRegKey(const CKeyHandle& hKey, DWORD& dwSubKeys, DWORD& dwValues);

// Stores cbData bytes of pchData, the terminator included, as the REG_SZ
// value pszName of a key opened with kKeyWrite (or more).
LONG SetRegString(const CKeyHandle& hKey, const char* pszName, const char* pchData, DWORD cbData);
// Deletes the value pszName of a key opened with kKeyWrite.
LONG DeleteRegValue(const CKeyHandle& hKey, const char* pszName);
// Removes the key hRoot\pszPath, which must hold no sub-keys; the platform
// opens it with DELETE alone to do so.
LONG DeleteRegKey(HKEY hRoot, const char* pszPath, RegistryView view);

// Writes the key's changes to disk before the call returns.
LONG FlushRegKey(const CKeyHandle& hKey);
