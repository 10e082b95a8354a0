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

#include "framework/String.h"

#include <windows.h>

// The drive of the Windows folder: the text before its first separator ("/"
// counts as "\"), "C:" for "C:\WINDOWS"; empty when the first separator is at
// index 0 or there is none.
CString GetWindowsDrive(CString strWindowsDir);

// Registers the component that REG.DAT beside hModule's file names. Always
// S_OK: a missing file, an empty value, a module path or Windows folder that
// cannot be read whole, or a key that cannot be written only mean less is
// written. Exhausted memory raises CMemoryException.
HRESULT RegisterFromRegDat(HMODULE hModule);
