#include "module/Registration.h"

#include "module/RegistryKey.h"
#include "util/path/PathUtil.h"

#include <cstring>

namespace {

// Room for the module path, the Windows folder and each REG.DAT value:
// 2047 bytes and a terminator.
const DWORD kPlatformBufferSize = 2048;

std::wstring ToWideText(const CString& str)
{
    int nUnits = MultiByteToWideChar(CP_ACP, 0, str, str.GetLength(), nullptr, 0);
    std::wstring wide(static_cast<size_t>(nUnits), L'\0');
    if (nUnits > 0)
        MultiByteToWideChar(CP_ACP, 0, str, str.GetLength(), &wide[0], nUnits);
    return wide;
}

// UTF-16 text in the active code page, cut at the last whole character
// that fits nMaxBytes.
CString ToCodePageText(const wchar_t* pch, int nUnits, int nMaxBytes)
{
    CString strText;
    int nBytes = WideCharToMultiByte(CP_ACP, 0, pch, nUnits, nullptr, 0, nullptr, nullptr);
    while (nBytes > nMaxBytes)
    {
        // Drop the last character, a surrogate pair as one.
        nUnits -= nUnits >= 2 && IS_LOW_SURROGATE(pch[nUnits - 1]) && IS_HIGH_SURROGATE(pch[nUnits - 2]) ? 2 : 1;
        nBytes = WideCharToMultiByte(CP_ACP, 0, pch, nUnits, nullptr, 0, nullptr, nullptr);
    }
    if (nBytes > 0)
    {
        WideCharToMultiByte(CP_ACP, 0, pch, nUnits, strText.GetBuffer(nBytes), nBytes, nullptr, nullptr);
        strText.ReleaseBuffer(nBytes);
    }
    return strText;
}

// Reads one key of section "REG"; a missing file, section or key reads as "".
// The file is named in UTF-16, so its folder may be named in any script; the
// value comes back in the active code page, as the 8-bit reader gives it
// (that reader reads through this one and converts), at most 2047 bytes.
CString ReadRegDatValue(const std::wstring& strRegDat, const char* pszKey)
{
    wchar_t szValue[kPlatformBufferSize];
    const std::wstring strKey(pszKey, pszKey + strlen(pszKey));
    DWORD dwUnits = GetPrivateProfileStringW(L"REG", strKey.c_str(), L"", szValue, kPlatformBufferSize,
                                             strRegDat.c_str());
    return ToCodePageText(szValue, static_cast<int>(dwUnits), static_cast<int>(kPlatformBufferSize - 1));
}

// The three values registration writes under one root, in writing order.
void AddRootEntries(CRegistrationPlan& plan, HKEY hRoot)
{
    CString strVersionKey = plan.m_strClassKey + "\\InstalledVersion";
    plan.m_entries.push_back({hRoot, plan.m_strClassKey, "", plan.m_strTitle});
    plan.m_entries.push_back({hRoot, strVersionKey, "", plan.m_strVersion});
    plan.m_entries.push_back({hRoot, strVersionKey, "Path", plan.m_strInstallPath});
}

} // namespace

bool CRegistrationEntry::IsTooLong() const noexcept
{
    return m_strData.GetLength() > CRegistryKey::kMaxValueLength;
}

const char* CRegistrationEntry::GetKeyRefusal() const
{
    // The platform counts characters, as UTF-16 units.
    const std::wstring key = ToWideText(m_strKey);
    const int nUnits = static_cast<int>(key.size());
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

CRegistrationPlan PlanRegistration(const std::wstring& strRegDat, CString strWindowsDir)
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
    plan.m_strClassKey.Format("SOFTWARE\\Classes\\CLSID\\{%s}", plan.m_strClsid.GetString());
    AddRootEntries(plan, HKEY_CURRENT_USER);
    AddRootEntries(plan, HKEY_LOCAL_MACHINE);
    return plan;
}

int WriteRegistration(const CRegistrationPlan& plan, std::vector<LONG>* pStatus)
{
    if (pStatus != nullptr)
        pStatus->assign(plan.m_entries.size(), ERROR_SUCCESS);
    // An incomplete plan has no entries, so it writes nothing.
    CRegistryKey key;
    key.m_samView = plan.m_samView;
    int nWritten = 0;
    for (size_t i = 0; i < plan.m_entries.size(); ++i)
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

std::wstring GetRegDatBeside(const std::wstring& strFile)
{
    size_t nSeparator = strFile.find_last_of(L"\\/");
    return (nSeparator == std::wstring::npos ? std::wstring() : strFile.substr(0, nSeparator + 1)) + L"REG.DAT";
}

HRESULT RegisterFromRegDat(HMODULE hModule)
{
    // The module's own handle names its own file, whatever it is called, so
    // a renamed copy still reads the REG.DAT beside itself; in UTF-16, since
    // the code page may not spell its folder. A path that does not fit the
    // buffer is never used cut short.
    wchar_t szModulePath[kPlatformBufferSize];
    DWORD dwLength = GetModuleFileNameW(hModule, szModulePath, kPlatformBufferSize);
    if (dwLength == 0 || dwLength >= kPlatformBufferSize)
        return S_OK;
    CString strWindowsDir;
    if (!QueryWindowsFolder(strWindowsDir))
        return S_OK;

    CRegistrationPlan plan = PlanRegistration(GetRegDatBeside(szModulePath), strWindowsDir);
    WriteRegistration(plan);
    return S_OK;
}
