/* The benchmark's reference for what a setup program pays: a plain C DLL
 * that registers as Kestrum.ocx does. It reads CLSID, TITLE, VERSION and
 * PATH from the REG.DAT beside itself, stopping at the first empty one,
 * and writes the title, the version and the install path under
 * HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE. No framework, no C++ runtime,
 * no checks beyond what the registry needs. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

static HINSTANCE g_hInstance;

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pReserved)
{
    (void)pReserved;
    if (dwReason == DLL_PROCESS_ATTACH)
        g_hInstance = hInstance;
    return TRUE;
}

static void WriteValue(HKEY hRoot, const char* pszKey, const char* pszName, const char* pszData)
{
    HKEY hKey;
    size_t nLength = strlen(pszData);
    if (nLength > 254 || RegCreateKeyExA(hRoot, pszKey, 0, NULL, 0, KEY_WRITE, NULL, &hKey, NULL) != ERROR_SUCCESS)
        return;
    RegSetValueExA(hKey, pszName, 0, REG_SZ, (const BYTE*)pszData, (DWORD)nLength + 1);
    RegCloseKey(hKey);
}

STDAPI DllRegisterServer(void)
{
    static const char* const keys[4] = {"CLSID", "TITLE", "VERSION", "PATH"};
    char szRegDat[MAX_PATH + 8], szWindows[MAX_PATH], values[4][2048], szClassKey[2200], szVersionKey[2300];
    char szInstallPath[2400];
    char* pSlash;
    DWORD dwLength = GetModuleFileNameA(g_hInstance, szRegDat, MAX_PATH);
    int i;
    if (dwLength == 0 || dwLength >= MAX_PATH)
        return S_OK;
    pSlash = strrchr(szRegDat, '\\');
    strcpy(pSlash != NULL ? pSlash + 1 : szRegDat, "REG.DAT");
    for (i = 0; i < 4; ++i)
        if (GetPrivateProfileStringA("REG", keys[i], "", values[i], sizeof(values[i]), szRegDat) == 0)
            return S_OK;
    if (GetWindowsDirectoryA(szWindows, MAX_PATH) == 0)
        return S_OK;
    pSlash = strchr(szWindows, '\\');
    if (pSlash != NULL)
        *pSlash = '\0';
    snprintf(szInstallPath, sizeof(szInstallPath), "%s\\%s", szWindows, values[3]);
    snprintf(szClassKey, sizeof(szClassKey), "SOFTWARE\\Classes\\CLSID\\{%s}", values[0]);
    snprintf(szVersionKey, sizeof(szVersionKey), "%s\\InstalledVersion", szClassKey);
    for (i = 0; i < 2; ++i)
    {
        HKEY hRoot = i == 0 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        WriteValue(hRoot, szClassKey, "", values[1]);
        WriteValue(hRoot, szVersionKey, "", values[2]);
        WriteValue(hRoot, szVersionKey, "Path", szInstallPath);
    }
    return S_OK;
}
