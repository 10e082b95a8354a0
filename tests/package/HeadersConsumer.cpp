// A consumer of all installed headers in one configuration (CMakeLists.txt):
// ANSI or UNICODE, windows.h trimmed or not, <windows.h> (and <commdlg.h>
// when COMMDLG) before or after Kestrum's headers. GetFileTitle and
// FindNextFile are Win32 macro names too; Kestrum's functions and the
// platform's must both stay reachable. Prints "ok" or what went wrong.
#ifdef WINDOWS_FIRST
#include <windows.h>
#ifdef COMMDLG
#include <commdlg.h>
#endif
#endif

#include "AllHeaders.h"   // framework/FileFind.h and util/path/PathUtil.h among them

#ifndef WINDOWS_FIRST
#include <windows.h>
#ifdef COMMDLG
#include <commdlg.h>
#endif
#endif

#include <cstdio>

int main()
{
    int nFailures = 0;
    CString strTitle = GetFileTitle(CString("C:\\dir\\file.tar.gz"));
    if (strTitle != "file.tar")
        nFailures += std::printf("GetFileTitle gave \"%s\"\n", strTitle.GetString()) > 0;

    int nByKestrum = 0, nByPlatform = 0;
    CFileFind finder;
    for (BOOL bFound = finder.FindFile("C:\\windows\\*.*"); bFound; bFound = finder.FindNextFile())
        ++nByKestrum;
    WIN32_FIND_DATA data;
    HANDLE hFind = FindFirstFile(TEXT("C:\\windows\\*.*"), &data);
    for (BOOL bFound = hFind != INVALID_HANDLE_VALUE; bFound; bFound = FindNextFile(hFind, &data))
        ++nByPlatform;
    FindClose(hFind);
    if (nByKestrum == 0 || nByKestrum != nByPlatform)
        nFailures += std::printf("CFileFind found %d entries, FindNextFile %d\n", nByKestrum, nByPlatform) > 0;

#ifdef GetFileTitle   // the platform's, from commdlg.h
    TCHAR szTitle[MAX_PATH] = {};
    short nResult = GetFileTitle(TEXT("C:\\dir\\report.txt"), szTitle, MAX_PATH);
    if (nResult != 0 || lstrcmp(szTitle, TEXT("report.txt")) != 0)
        nFailures += std::printf("the platform's GetFileTitle answered %d\n", nResult) > 0;
#endif

    if (nFailures == 0)
        std::printf("ok\n");
    return nFailures;
}
