#include "module/Registration.h"

#include "module/RegistryKey.h"
#include "util/path/PathUtil.h"

#include "framework/CodePage.h"

namespace {

// Room for the module path, the Windows folder and each REG.DAT value:
// 2047 bytes (or UTF-16 units) and a terminator.
const DWORD kPlatformBufferSize = 2048;

// Reads one key of section "REG"; a missing file, section or key reads as "".
// The file is named in UTF-16, so its folder may be named in any script; the
// value comes back in the active code page, as the 8-bit reader gives it
// (that reader reads through this one and converts), at most 2047 bytes.
CString ReadRegDatValue(const wchar_t* pszRegDat, const char* pszKey)
{
    wchar_t szKey[16] = {};
    AfxFromCodePage(pszKey, lstrlenA(pszKey), szKey, ARRAYSIZE(szKey) - 1);
    wchar_t szValue[kPlatformBufferSize];
    DWORD dwUnits = GetPrivateProfileStringW(L"REG", szKey, L"", szValue, kPlatformBufferSize, pszRegDat);
    return AfxToCodePage(szValue, static_cast<int>(dwUnits), CP_ACP, static_cast<int>(kPlatformBufferSize - 1));
}

// The values registration writes under each root, in writing order: the
// key below the class key, the value name, the plan's data and the value
// of REG.DAT it comes from.
const struct
{
    RegistrationValue value;
    const char* pszSubKey;      // "" for the class key itself
    const char* pszName;        // "" for the default value
    CString CRegistrationPlan::*pstrData;
    CString CRegistrationPlan::*pstrSource;
} kValues[kRegistrationValues] = {
    {RegValueTitle, "", "", &CRegistrationPlan::m_strTitle, &CRegistrationPlan::m_strTitle},
    {RegValueVersion, "InstalledVersion", "", &CRegistrationPlan::m_strVersion, &CRegistrationPlan::m_strVersion},
    {RegValueInstallPath, "InstalledVersion", "Path", &CRegistrationPlan::m_strInstallPath,
     &CRegistrationPlan::m_strPath},
};

} // namespace

const CRegistrationRoot g_registrationRoots[kRegistrationRoots] = {
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM"},
};

const char g_szClassesKey[] = "SOFTWARE\\Classes\\CLSID";

const CRegDatKey g_regDatKeys[kRegDatKeys] = {
    {"CLSID", &CRegistrationPlan::m_strClsid},
    {"TITLE", &CRegistrationPlan::m_strTitle},
    {"VERSION", &CRegistrationPlan::m_strVersion},
    {"PATH", &CRegistrationPlan::m_strPath},
};

const char* GetRegDatSource(RegistrationValue value)
{
    for (const auto& row : kValues)
        for (const CRegDatKey& key : g_regDatKeys)
            if (row.value == value && key.m_pstrValue == row.pstrSource)
                return key.m_pszName;
    return "";
}

bool CRegistrationEntry::IsTooLong() const noexcept
{
    return m_strData.GetLength() > CRegistryKey::kMaxValueLength;
}

const char* CRegistrationEntry::GetKeyRefusal() const
{
    // The platform counts characters, as UTF-16 units. The string class
    // finds whole characters, so a trail byte that equals "\\" parts nothing.
    int nUnits = 0;
    for (int nStart = 0; nStart <= m_strKey.GetLength();)
    {
        int nEnd = m_strKey.Find('\\', nStart);
        if (nEnd < 0)
            nEnd = m_strKey.GetLength();
        const int nPart = AfxFromCodePage(m_strKey.GetString() + nStart, nEnd - nStart, nullptr, 0);
        if (nPart > CRegistryKey::kMaxKeyNameLength)
            return "key name longer than 255 characters";
        nUnits += nPart + (nEnd < m_strKey.GetLength() ? 1 : 0);
        nStart = nEnd + 1;
    }
    if (nUnits > CRegistryKey::kMaxKeyPathLength)
        return "key path longer than 260 characters";
    return nullptr;
}

CString GetWindowsDrive(CString strWindowsDir)
{
    CString strDir = ReplaceChar(strWindowsDir, '/', '\\');
    int nSeparator = strDir.Find('\\');
    return nSeparator > 0 ? strDir.Left(nSeparator) : CString();
}

BOOL QueryWindowsFolder(CString& strDir)
{
    // A folder that does not fit the buffer is never used cut short.
    char szWindowsDir[kPlatformBufferSize];
    UINT nLength = GetWindowsDirectoryA(szWindowsDir, kPlatformBufferSize);
    if (nLength == 0 || nLength >= kPlatformBufferSize)
        return FALSE;
    strDir = szWindowsDir;
    return TRUE;
}

DWORD LocateRegDat(const wchar_t* pszFolderOrFile, wchar_t (&szRegDat)[kRegDatPathSize])
{
    szRegDat[0] = L'\0';
    wchar_t szFull[kRegDatPathSize];
    DWORD dwLength = GetFullPathNameW(pszFolderOrFile, kRegDatPathSize, szFull, nullptr);
    if (dwLength == 0)
        return GetLastError();
    if (dwLength > kMaxRegDatPath)
        return ERROR_FILENAME_EXCED_RANGE;
    // A name that ends in a separator is a folder's, whatever is there.
    const wchar_t chLast = szFull[dwLength - 1];
    const bool bSeparator = chLast == L'\\' || chLast == L'/';
    DWORD dwAttributes = bSeparator ? FILE_ATTRIBUTE_DIRECTORY : GetFileAttributesW(szFull);
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
    {
        const wchar_t* pszName = bSeparator ? L"REG.DAT" : L"\\REG.DAT";
        if (dwLength + static_cast<DWORD>(lstrlenW(pszName)) > kMaxRegDatPath)
            return ERROR_FILENAME_EXCED_RANGE;
        lstrcpyW(szFull + dwLength, pszName);
    }
    lstrcpyW(szRegDat, szFull);
    return ERROR_SUCCESS;
}

CRegistrationPlan PlanRegistration(const wchar_t* pszRegDat, CString strWindowsDir, RegistryView view)
{
    CRegistrationPlan plan;
    plan.m_view = view;
    // A name that does not fit is never read cut short: it reads as missing,
    // as the profile reader reads it.
    const bool bFits = lstrlenW(pszRegDat) <= static_cast<int>(kMaxRegDatPath);
    lstrcpynW(plan.m_szRegDat, bFits ? pszRegDat : L"", kRegDatPathSize);
    plan.m_strWindowsDrive = GetWindowsDrive(strWindowsDir);

    // Reading stops at the first empty value; the later keys are not read.
    for (const CRegDatKey& key : g_regDatKeys)
    {
        CString& strValue = plan.*key.m_pstrValue;
        strValue = bFits ? ReadRegDatValue(pszRegDat, key.m_pszName) : CString();
        if (strValue.IsEmpty())
        {
            plan.m_strStopKey = key.m_pszName;
            return plan;
        }
    }

    plan.m_strInstallPath = plan.m_strWindowsDrive + "\\" + plan.m_strPath;
    plan.m_strClassKey = CString(g_szClassesKey) + "\\{" + plan.m_strClsid + "}";
    for (const CRegistrationRoot& root : g_registrationRoots)
    {
        for (const auto& value : kValues)
        {
            CString strKey = plan.m_strClassKey;
            if (*value.pszSubKey != '\0')
                strKey += CString("\\") + value.pszSubKey;
            plan.m_entries[plan.m_nEntries++] = {&root, value.value, strKey, value.pszName, plan.*value.pstrData};
        }
    }
    return plan;
}

int WriteRegistration(const CRegistrationPlan& plan, LONG (*pStatus)[kRegistrationEntries])
{
    // An incomplete plan has no entries, so it writes nothing.
    CRegistryKey key;
    key.m_view = plan.m_view;
    int nWritten = 0;
    for (int i = 0; i < plan.m_nEntries; ++i)
    {
        const CRegistrationEntry& entry = plan.m_entries[i];
        key.SelectRoot(entry.m_pRoot->m_hRoot);
        LONG lStatus = ERROR_SUCCESS;
        if (key.OpenSubKey(entry.m_strKey, TRUE, &lStatus) &&
            key.SetStringValue(entry.m_strName, entry.m_strData, &lStatus))
            ++nWritten;
        if (pStatus != nullptr)
            (*pStatus)[i] = lStatus;
    }
    return nWritten;
}

HRESULT RegisterFromRegDat(HMODULE hModule)
{
    // The module's own handle names its own file, whatever it is called, so
    // a renamed copy still reads the REG.DAT beside itself; in UTF-16, since
    // the code page may not spell its folder. A path that does not fit the
    // buffer is never used cut short.
    wchar_t szPath[kPlatformBufferSize];
    DWORD dwLength = GetModuleFileNameW(hModule, szPath, kPlatformBufferSize);
    if (dwLength == 0 || dwLength >= kPlatformBufferSize)
        return S_OK;
    // Its folder: the path without the file name after the last separator.
    while (dwLength > 0 && szPath[dwLength - 1] != L'\\' && szPath[dwLength - 1] != L'/')
        --dwLength;
    szPath[dwLength] = L'\0';
    wchar_t szRegDat[kRegDatPathSize];
    CString strWindowsDir;
    if (LocateRegDat(szPath, szRegDat) != ERROR_SUCCESS || !QueryWindowsFolder(strWindowsDir))
        return S_OK;
    CRegistrationPlan plan = PlanRegistration(szRegDat, strWindowsDir);
    WriteRegistration(plan);
    return S_OK;
}
