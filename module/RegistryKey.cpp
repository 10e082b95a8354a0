#include "module/RegistryKey.h"

#include "framework/Handle.h"

#include <cstring>

namespace {

// Flushes a key opened within one call when asked; its holder closes it.
void FlushUnlessSkipped(const CKeyHandle& hKey, BOOL bSkipFlush)
{
    if (!bSkipFlush)
        RegFlushKey(hKey.Get());
}

} // namespace

CRegistryKey::CRegistryKey()
    : m_lLastError(ERROR_SUCCESS), m_hRoot(HKEY_CURRENT_USER), m_bSkipFlush(TRUE)
{
}

CRegistryKey::~CRegistryKey()
{
    Reset();
}

void CRegistryKey::Reset()
{
    m_strSubKey.Empty();
    m_hRoot = HKEY_CURRENT_USER;
    m_bSkipFlush = TRUE;
}

BOOL CRegistryKey::SelectRoot(HKEY hRoot)
{
    if (hRoot != HKEY_CLASSES_ROOT && hRoot != HKEY_CURRENT_USER && hRoot != HKEY_LOCAL_MACHINE && hRoot != HKEY_USERS)
        return FALSE;
    m_hRoot = hRoot;
    return TRUE;
}

BOOL CRegistryKey::OpenSubKey(CString strSubKey, BOOL bCreate)
{
    if (strSubKey.IsEmpty())
    {
        m_strSubKey.Empty();
        return TRUE;
    }

    CKeyHandle hKey;
    if (bCreate)
    {
        DWORD dwDisposition = 0;
        if (RegCreateKeyExA(m_hRoot, strSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            hKey.Put(), &dwDisposition) != ERROR_SUCCESS)
            return FALSE;
    }
    else
    {
        m_lLastError = RegOpenKeyExA(m_hRoot, strSubKey, 0, KEY_ALL_ACCESS, hKey.Put());
        if (m_lLastError != ERROR_SUCCESS)
        {
            m_lLastError = RegOpenKeyExA(m_hRoot, strSubKey, 0, KEY_READ, hKey.Put());
            if (m_lLastError != ERROR_SUCCESS)
                return FALSE;
        }
    }

    m_strSubKey = strSubKey;
    FlushUnlessSkipped(hKey, m_bSkipFlush);
    return TRUE;
}

BOOL CRegistryKey::SetStringValue(CString strName, CString strValue)
{
    int nLength = strValue.GetLength();
    if (nLength > MaxValueLength)
        return FALSE;
    char buffer[256];
    std::memcpy(buffer, strValue.GetString(), static_cast<size_t>(nLength) + 1);

    CKeyHandle hKey;
    if (RegOpenKeyExA(m_hRoot, m_strSubKey, 0, KEY_WRITE, hKey.Put()) != ERROR_SUCCESS)
        return FALSE;
    LONG lResult = RegSetValueExA(hKey.Get(), strName, 0, REG_SZ, reinterpret_cast<const BYTE*>(buffer),
                                  static_cast<DWORD>(nLength) + 1);
    FlushUnlessSkipped(hKey, m_bSkipFlush);
    return lResult == ERROR_SUCCESS;
}
