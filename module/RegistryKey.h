// CRegistryKey: writes string values at one position in the registry.
//
// The object remembers a predefined root and the path of a sub-key below it,
// never an open key: every call that touches the registry opens a key, does
// its one thing and closes the key before it returns, so an instance can be
// dropped at any point without leaking a handle. It reaches the registry
// through RegistryAccess.h, asking full access to create or open a key (read
// access on a second try) and write access to set a value.
//
//   CRegistryKey key;                       // root HKEY_CURRENT_USER
//   key.SelectRoot(HKEY_LOCAL_MACHINE);
//   if (key.OpenSubKey("SOFTWARE\\Vendor\\App", TRUE))   // creates the path
//       key.SetStringValue("Path", "C:\\App");            // REG_SZ, <= 254 bytes
#pragma once

#include "module/RegistryAccess.h"

#include "framework/String.h"

#include <windows.h>

class CRegistryKey
{
public:
    CRegistryKey();
    ~CRegistryKey();
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // Forgets the sub-key, selects HKEY_CURRENT_USER and the caller's own view
    // and skips flushing again; the last error stays.
    void Reset();
    // Accepts only HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and
    // HKEY_USERS; anything else returns FALSE and keeps the current root.
    BOOL SelectRoot(HKEY hRoot);
    // Creates (bCreate) or opens the sub-key below the root and remembers its
    // path. An empty path makes the root itself the target, without a registry
    // call. On failure the remembered path stays. Only an open without create
    // records its status in the last error (full access first, then read).
    // plStatus, when given, receives the platform's status of the call that
    // decided (ERROR_SUCCESS for an empty path).
    BOOL OpenSubKey(CString strSubKey, BOOL bCreate, LONG* plStatus = nullptr);
    // Writes a REG_SZ value (terminator stored) under the remembered sub-key;
    // an empty name writes the default value. Texts of more than 254 bytes are
    // refused without a registry call. plStatus, when given, receives the
    // platform's status of the open or the write that decided, or
    // ERROR_INVALID_DATA for a text refused for its length.
    BOOL SetStringValue(CString strName, CString strValue, LONG* plStatus = nullptr);

    // The longest value text written, in bytes.
    static const int kMaxValueLength = 254;
    // What the registry takes, in characters: a key name (one part of a
    // path), and a whole path through the 8-bit calls used here.
    static const int kMaxKeyNameLength = 255;
    static const int kMaxKeyPathLength = 260;

    // The fields are open to callers: one that wants every key flushed sets
    // m_bSkipFlush to FALSE itself.
    LONG m_lLastError;      // status of the last open without create

    HKEY m_hRoot;           // the selected predefined root
    BOOL m_bSkipFlush;      // TRUE: never call RegFlushKey
    CString m_strSubKey;    // target of SetStringValue; empty = the root
    RegistryView m_view;    // the registry view every call works in

};
