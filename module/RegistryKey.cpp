#include "module/RegistryKey.h"

#include <cstring>

namespace {

// Flushes a key opened within one call when asked; its holder closes it.
void FlushUnlessSkipped(const CKeyHandle& hKey, BOOL bSkipFlush)
{
    if (!bSkipFlush)
        FlushRegKey(hKey);
}

} // namespace

CRegistryKey::CRegistryKey()
    : m_lLastError(ERROR_SUCCESS), m_hRoot(HKEY_CURRENT_USER), m_bSkipFlush(TRUE), m_view(RegistryView::Own)
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
    m_view = RegistryView::Own;
}

BOOL CRegistryKey::SelectRoot(HKEY hRoot)
{
    if (hRoot != HKEY_CLASSES_ROOT && hRoot != HKEY_CURRENT_USER && hRoot != HKEY_LOCAL_MACHINE && hRoot != HKEY_USERS)
        return FALSE;
    m_hRoot = hRoot;
    return TRUE;
}

BOOL CRegistryKey::OpenSubKey(CString strSubKey, BOOL bCreate, LONG* plStatus)
{
    LONG lUnused = ERROR_SUCCESS;
    LONG& lStatus = plStatus != nullptr ? *plStatus : lUnused;
    lStatus = ERROR_SUCCESS;
    if (strSubKey.IsEmpty())
    {
        m_strSubKey.Empty();
        return TRUE;
    }

    CKeyHandle hKey;
    if (bCreate)
    {
        lStatus = CreateRegKey(m_hRoot, strSubKey, KEY_ALL_ACCESS, m_view, hKey);
        if (lStatus != ERROR_SUCCESS)
            return FALSE;
    }
    else
    {
        m_lLastError = OpenRegKey(m_hRoot, strSubKey, KEY_ALL_ACCESS, m_view, hKey);
        if (m_lLastError != ERROR_SUCCESS)
        {
            m_lLastError = OpenRegKey(m_hRoot, strSubKey, KEY_READ, m_view, hKey);
            lStatus = m_lLastError;
            if (m_lLastError != ERROR_SUCCESS)
                return FALSE;
        }
    }

    m_strSubKey = strSubKey;
    FlushUnlessSkipped(hKey, m_bSkipFlush);
    return TRUE;
}

BOOL CRegistryKey::SetStringValue(CString strName, CString strValue, LONG* plStatus)
{
    LONG lUnused = ERROR_SUCCESS;
    LONG& lStatus = plStatus != nullptr ? *plStatus : lUnused;
    lStatus = ERROR_INVALID_DATA;
    int nLength = strValue.GetLength();
    if (nLength > kMaxValueLength)
        return FALSE;
    char buffer[256];
    std::memcpy(buffer, strValue.GetString(), static_cast<size_t>(nLength) + 1);

    CKeyHandle hKey;
    lStatus = OpenRegKey(m_hRoot, m_strSubKey, KEY_WRITE, m_view, hKey);
    if (lStatus != ERROR_SUCCESS)
        return FALSE;
    lStatus = SetRegString(hKey, strName, buffer, static_cast<DWORD>(nLength) + 1);
    FlushUnlessSkipped(hKey, m_bSkipFlush);
    return lStatus == ERROR_SUCCESS;
}
