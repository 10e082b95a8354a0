// All installed headers in one configuration (CMakeLists.txt): ANSI or
// UNICODE, windows.h trimmed or not, <windows.h> (and <commdlg.h> when
// COMMDLG) before or after them, as C++11, 14 or 17. GetFileTitle and
// FindNextFile are Win32 macro names too: Kestrum's and the platform's must
// both be reachable.
#ifdef WINDOWS_FIRST
#include <windows.h>
#endif
#include "AllHeaders.h"
#include <windows.h>
#ifdef COMMDLG
#include <commdlg.h>
#endif

#include <cstdio>

// The standard the configuration asks for is the one compiled: the
// package's own requirement raises none of them.
static_assert(__cplusplus / 100 % 100 == CXX_STANDARD, "compiled as another C++ standard");

int main()
{
    CFileFind finder;
    WIN32_FIND_DATA data;
    HANDLE hFind = FindFirstFile(TEXT("C:\\windows\\*.*"), &data);
    bool bOk = GetFileTitle(CString("C:\\dir\\file.tar.gz")) == "file.tar" && finder.FindFile("C:\\windows\\*.*") &&
               finder.FindNextFile() && FindNextFile(hFind, &data);
#ifdef GetFileTitle   // the platform's, from commdlg.h
    TCHAR szTitle[MAX_PATH] = {};
    bOk = bOk && GetFileTitle(TEXT("C:\\dir\\report.txt"), szTitle, MAX_PATH) == 0 &&
          lstrcmp(szTitle, TEXT("report.txt")) == 0;
#endif
    FindClose(hFind);
    std::printf(bOk ? "ok\n" : "failed\n");
    return bOk ? 0 : 1;
}
