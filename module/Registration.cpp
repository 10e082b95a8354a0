#include "module/Registration.h"

#include "module/RegistryKey.h"
#include "util/path/PathUtil.h"

namespace {

// Room for the module path, the Windows folder and each REG.DAT value:
// 2047 bytes and a terminator.
const DWORD PlatformBufferSize = 2048;

// Reads one key of section "REG"; a missing file, section or key reads as "".
CString ReadRegDatValue(const CString& strRegDat, const char* pszKey)
{
    CString strValue;
    char* p = strValue.GetBuffer(PlatformBufferSize - 1);
    GetPrivateProfileStringA("REG", pszKey, "", p, PlatformBufferSize, strRegDat);
    strValue.ReleaseBuffer();
    return strValue;
}

// The three writes for the selected root; a key that cannot be created only
// skips its own value.
void WriteComponentValues(CRegistryKey& key, const CString& strClassKey, const CString& strTitle,
                          const CString& strVersion, const CString& strInstallPath)
{
    CString strVersionKey = strClassKey + "\\InstalledVersion";
    if (key.OpenSubKey(strClassKey, TRUE))
        key.SetStringValue("", strTitle);
    if (key.OpenSubKey(strVersionKey, TRUE))
        key.SetStringValue("", strVersion);
    if (key.OpenSubKey(strVersionKey, TRUE))
        key.SetStringValue("Path", strInstallPath);
}

} // namespace

CString GetWindowsDrive(CString strWindowsDir)
{
    CString strDir = ReplaceChar(strWindowsDir, '/', '\\');
    int nSeparator = strDir.Find('\\');
    return nSeparator > 0 ? strDir.Left(nSeparator) : CString();
}

HRESULT RegisterFromRegDat(HMODULE hModule)
{
    // The module's own handle names its own file, whatever it is called, so
    // a renamed copy still reads the REG.DAT beside itself. A path or folder
    // that does not fit the buffer is never used cut short.
    char szModulePath[PlatformBufferSize];
    DWORD dwLength = GetModuleFileNameA(hModule, szModulePath, PlatformBufferSize);
    if (dwLength == 0 || dwLength >= PlatformBufferSize)
        return S_OK;
    CString strRegDat = GetFileDir(szModulePath) + "REG.DAT";

    char szWindowsDir[PlatformBufferSize];
    UINT nWindowsLength = GetWindowsDirectoryA(szWindowsDir, PlatformBufferSize);
    if (nWindowsLength == 0 || nWindowsLength >= PlatformBufferSize)
        return S_OK;
    CString strDrive = GetWindowsDrive(szWindowsDir);

    CString strClsid = ReadRegDatValue(strRegDat, "CLSID");
    if (strClsid.IsEmpty())
        return S_OK;
    CString strTitle = ReadRegDatValue(strRegDat, "TITLE");
    if (strTitle.IsEmpty())
        return S_OK;
    CString strVersion = ReadRegDatValue(strRegDat, "VERSION");
    if (strVersion.IsEmpty())
        return S_OK;
    CString strPath = ReadRegDatValue(strRegDat, "PATH");
    if (strPath.IsEmpty())
        return S_OK;

    CString strInstallPath = strDrive + "\\" + strPath;
    CString strClassKey;
    strClassKey.Format("SOFTWARE\\Classes\\CLSID\\{%s}", strClsid.GetString());

    CRegistryKey key;
    key.SelectRoot(HKEY_CURRENT_USER);
    WriteComponentValues(key, strClassKey, strTitle, strVersion, strInstallPath);
    key.SelectRoot(HKEY_LOCAL_MACHINE);
    WriteComponentValues(key, strClassKey, strTitle, strVersion, strInstallPath);
    return S_OK;
}
