#include "module/Registration.h"

#include "module/RegistryKey.h"
#include "util/path/PathUtil.h"

#include <memory>

namespace {

// Room for the module path, the Windows folder and each REG.DAT value:
// 2047 bytes and a terminator.
const DWORD kPlatformBufferSize = 2048;

// Reads one key of section "REG"; a missing file, section or key reads as "".
CString ReadRegDatValue(const CString& strRegDat, const char* pszKey)
{
    CString strValue;
    char* p = strValue.GetBuffer(kPlatformBufferSize - 1);
    GetPrivateProfileStringA("REG", pszKey, "", p, kPlatformBufferSize, strRegDat);
    strValue.ReleaseBuffer();
    return strValue;
}

// The three values registration writes under one root, in writing order.
void AddRootEntries(CRegistrationPlan& plan, HKEY hRoot)
{
    CString strVersionKey = plan.m_strClassKey + "\\InstalledVersion";
    plan.m_entries[plan.m_nEntries++] = {hRoot, plan.m_strClassKey, "", plan.m_strTitle};
    plan.m_entries[plan.m_nEntries++] = {hRoot, strVersionKey, "", plan.m_strVersion};
    plan.m_entries[plan.m_nEntries++] = {hRoot, strVersionKey, "Path", plan.m_strInstallPath};
}

} // namespace

bool CRegistrationEntry::IsTooLong() const noexcept
{
    return m_strData.GetLength() > CRegistryKey::kMaxValueLength;
}

const char* CRegistrationEntry::GetKeyRefusal() const
{
    // The platform counts characters, as UTF-16 units.
    int nUnits = MultiByteToWideChar(CP_ACP, 0, m_strKey, m_strKey.GetLength(), nullptr, 0);
    std::unique_ptr<wchar_t[]> key(new wchar_t[static_cast<size_t>(nUnits) + 1]());
    MultiByteToWideChar(CP_ACP, 0, m_strKey, m_strKey.GetLength(), key.get(), nUnits);
    int nPart = 0;
    for (int i = 0; i < nUnits; ++i)
    {
        nPart = key[i] == L'\\' ? 0 : nPart + 1;
        if (nPart > CRegistryKey::kMaxKeyNameLength)
            return "key name longer than 255 characters";
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

CRegistrationPlan PlanRegistration(CString strRegDat, CString strWindowsDir)
{
    CRegistrationPlan plan;
    plan.m_strRegDat = strRegDat;
    plan.m_strWindowsDrive = GetWindowsDrive(strWindowsDir);

    // Reading stops at the first empty value; the later keys are not read.
    struct
    {
        const char* pszKey;
        CString* pstrValue;
    } const keys[] = {
        {"CLSID", &plan.m_strClsid},
        {"TITLE", &plan.m_strTitle},
        {"VERSION", &plan.m_strVersion},
        {"PATH", &plan.m_strPath},
    };
    for (const auto& key : keys)
    {
        *key.pstrValue = ReadRegDatValue(strRegDat, key.pszKey);
        if (key.pstrValue->IsEmpty())
        {
            plan.m_strStopKey = key.pszKey;
            return plan;
        }
    }

    plan.m_strInstallPath = plan.m_strWindowsDrive + "\\" + plan.m_strPath;
    plan.m_strClassKey = "SOFTWARE\\Classes\\CLSID\\{" + plan.m_strClsid + "}";
    AddRootEntries(plan, HKEY_CURRENT_USER);
    AddRootEntries(plan, HKEY_LOCAL_MACHINE);
    return plan;
}

int WriteRegistration(const CRegistrationPlan& plan, LONG (*pStatus)[kRegistrationEntries])
{
    // An incomplete plan has no entries, so it writes nothing.
    CRegistryKey key;
    key.m_samView = plan.m_samView;
    int nWritten = 0;
    for (int i = 0; i < plan.m_nEntries; ++i)
    {
        const CRegistrationEntry& entry = plan.m_entries[i];
        key.SelectRoot(entry.m_hRoot);
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
    // a renamed copy still reads the REG.DAT beside itself. A path that does
    // not fit the buffer is never used cut short.
    char szModulePath[kPlatformBufferSize];
    DWORD dwLength = GetModuleFileNameA(hModule, szModulePath, kPlatformBufferSize);
    if (dwLength == 0 || dwLength >= kPlatformBufferSize)
        return S_OK;
    CString strWindowsDir;
    if (!QueryWindowsFolder(strWindowsDir))
        return S_OK;

    CRegistrationPlan plan = PlanRegistration(GetFileDir(szModulePath) + "REG.DAT", strWindowsDir);
    WriteRegistration(plan);
    return S_OK;
}
