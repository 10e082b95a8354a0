// Registration from REG.DAT: what DllRegisterServer does.
//
// REG.DAT lies beside the module and names an installed component:
//
//   [REG]
//   CLSID=8A3B1C2D-0000-4000-8000-00AA00BB00CC
//   TITLE=Kestrum Viewer
//   VERSION=1.0.0.1
//   PATH=Program Files\Kestrum
//
// With the Windows folder on C:, registration writes below HKEY_CURRENT_USER
// and then HKEY_LOCAL_MACHINE:
//
//   SOFTWARE\Classes\CLSID\{8A3B...}                   (default) = Kestrum Viewer
//   SOFTWARE\Classes\CLSID\{8A3B...}\InstalledVersion  (default) = 1.0.0.1
//                                                      Path      = C:\Program Files\Kestrum
//
// The four values are read in that order and reading stops at the first
// empty one, in which case nothing at all is written.
#pragma once

#include "module/RegistryAccess.h"

#include "framework/String.h"

#include <windows.h>

// The roots registration writes under, in writing order, with the names
// regedit ("HKEY_CURRENT_USER") and installer tables ("HKCU") give them.
struct CRegistrationRoot
{
    HKEY m_hRoot;
    const char* m_pszName;
    const char* m_pszShortName;
};
constexpr int kRegistrationRoots = 2;
extern const CRegistrationRoot g_registrationRoots[kRegistrationRoots];

// The key every class key lies below: "SOFTWARE\Classes\CLSID".
extern const char g_szClassesKey[];

// What a value of the plan holds; registration writes these three under
// each root, in this order.
enum RegistrationValue
{
    RegValueTitle,          // TITLE, the class key's default value
    RegValueVersion,        // VERSION, the default value of InstalledVersion
    RegValueInstallPath,    // drive + "\" + PATH, InstalledVersion's "Path"
    kRegistrationValues
};

// One value registration writes: a REG_SZ under a root.
struct CRegistrationEntry
{
    const CRegistrationRoot* m_pRoot;   // one of g_registrationRoots
    RegistrationValue m_value;
    CString m_strKey;       // below the root, created where missing
    CString m_strName;      // "" for the key's default value
    CString m_strData;

    // Data of more than CRegistryKey::kMaxValueLength (254) bytes is refused
    // by the writer, so the entry is skipped.
    bool IsTooLong() const noexcept;

    // Why the registry refuses the key of this entry, known without a
    // registry call, or null: "key name longer than 255 characters" for a
    // part of the path between separators, "key path longer than 260
    // characters" for the whole (the 8-bit registry calls convert it in a
    // buffer of MAX_PATH + 1 characters). The writer still tries.
    const char* GetKeyRefusal() const;
};

// The longest REG.DAT path the platform's profile reader reads, in UTF-16
// units: it works on the file's full path in a buffer of MAX_PATH units and
// reads nothing at all from a longer one (under Wine 8, a path of 259 units
// reads, one of 260 reads as a missing file).
constexpr unsigned kMaxRegDatPath = MAX_PATH - 1;
constexpr unsigned kRegDatPathSize = kMaxRegDatPath + 1;

// The REG.DAT that a folder or a file names, as a full path (the profile
// reader would look for a bare or relative name in the Windows folder): the
// file REG.DAT in the folder (a name that ends in a separator is always a
// folder's), or the file itself, which need not exist.
//   "C:\Setup" or "C:\Setup\" (a folder)      -> "C:\Setup\REG.DAT"
//   "my.dat" (not a folder), in folder C:\Work  -> "C:\Work\my.dat"
// Returns ERROR_SUCCESS, or why there is none, szRegDat then empty:
// ERROR_FILENAME_EXCED_RANGE for a path of more than kMaxRegDatPath units,
// else the platform's reason for a name it cannot make a full path of.
DWORD LocateRegDat(const wchar_t* pszFolderOrFile, wchar_t (&szRegDat)[kRegDatPathSize]);

// A complete plan writes each value under each root.
constexpr int kRegistrationEntries = kRegistrationRoots * kRegistrationValues;

// What registration from one REG.DAT would do, worked out without touching
// the registry. The module and the command-line tool both act on it and
// take its keys and names from the tables above, so they cannot disagree.
//
//   REG.DAT as above, Windows folder "C:\WINDOWS":
//     m_strStopKey    ""                         (all four values read)
//     m_strClassKey   "SOFTWARE\Classes\CLSID\{8A3B...}"
//     m_strInstallPath "C:\Program Files\Kestrum"
//     m_entries       HKCU: class key (default), InstalledVersion (default),
//                     InstalledVersion Path; then the same three for HKLM
//
//   REG.DAT with VERSION= (empty):
//     m_strStopKey    "VERSION", m_strPath "" (never read), m_nEntries 0
struct CRegistrationPlan
{
    wchar_t m_szRegDat[kRegDatPathSize] = {};   // the file read, in UTF-16
    CString m_strWindowsDrive;  // "C:" for "C:\WINDOWS"
    // The values read, in reading order; the ones after the stop key are
    // never read and stay empty.
    CString m_strClsid;
    CString m_strTitle;
    CString m_strVersion;
    CString m_strPath;
    // The first key that read empty or missing (a name of g_regDatKeys);
    // "" when all four were read and the entries are filled.
    CString m_strStopKey;
    CString m_strClassKey;      // "SOFTWARE\Classes\CLSID\{" CLSID "}"
    CString m_strInstallPath;   // drive + "\" + PATH, nothing trimmed
    // In writing order; m_nEntries is kRegistrationEntries when the plan is
    // complete, else 0. Held in place: a plan needs no container.
    CRegistrationEntry m_entries[kRegistrationEntries];
    int m_nEntries = 0;
    // The registry view the entries go to; the module's is its own, as
    // regsvr32 of its bitness writes.
    RegistryView m_view = RegistryView::Own;

    bool IsComplete() const noexcept { return m_strStopKey.IsEmpty(); }
};

// The REG.DAT keys of section "REG", in reading order, each with the field
// of the plan that receives its value.
struct CRegDatKey
{
    const char* m_pszName;      // "CLSID", "TITLE", "VERSION", "PATH"
    CString CRegistrationPlan::*m_pstrValue;
};
constexpr int kRegDatKeys = 4;
extern const CRegDatKey g_regDatKeys[kRegDatKeys];

// The REG.DAT key whose value a registry value holds: "TITLE", "VERSION";
// "PATH" for the install path, which is the Windows drive, "\" and PATH.
const char* GetRegDatSource(RegistrationValue value);

// The drive of the Windows folder: the text before its first separator ("/"
// counts as "\"), "C:" for "C:\WINDOWS"; empty when the first separator is at
// index 0 or there is none.
CString GetWindowsDrive(CString strWindowsDir);

// The Windows folder, as registration takes it. FALSE (and strDir untouched)
// when it cannot be read or does not fit 2047 bytes.
BOOL QueryWindowsFolder(CString& strDir);

// Reads CLSID, TITLE, VERSION and PATH from section "REG" of the file
// pszRegDat, in that order, stopping at the first empty one, and plans the
// entries for the registry view given. The file is named in UTF-16, so any
// folder name works; the values are text in the active code page, as the
// 8-bit profile reader gives them, and at most 2047 bytes of each are seen
// (cut at a whole character). pszRegDat is a path that LocateRegDat gave;
// a missing file, or a name longer than kMaxRegDatPath, stops at "CLSID".
CRegistrationPlan PlanRegistration(const wchar_t* pszRegDat, CString strWindowsDir,
                                   RegistryView view = RegistryView::Own);

// Writes the entries of a complete plan in order, in the plan's view; a key
// that cannot be created or data over 254 bytes skips that one entry. An
// incomplete plan writes nothing. Returns the number of entries written;
// pStatus, when given, receives one status per entry of the plan:
// ERROR_SUCCESS when written, else the platform's reason
// (ERROR_INVALID_DATA for data over 254 bytes).
int WriteRegistration(const CRegistrationPlan& plan, LONG (*pStatus)[kRegistrationEntries] = nullptr);

// Registers the component that REG.DAT beside hModule's file names, both
// found by their UTF-16 names. Always S_OK: a missing file, an empty value,
// a module path or Windows folder that cannot be read whole, a REG.DAT path
// longer than kMaxRegDatPath, or a key that cannot be written only mean
// less is written. Exhausted memory raises CMemoryException.
HRESULT RegisterFromRegDat(HMODULE hModule);
