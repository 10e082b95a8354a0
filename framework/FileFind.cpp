#include "framework/FileFind.h"

#include <cstring>

// The Win32 macro of that name would rename the definition (see FileFind.h).
#undef FindNextFile

CFileFind::CFileFind() noexcept
{
    std::memset(&m_data, 0, sizeof(m_data));
}

BOOL CFileFind::FindFile(const char* pszName)
{
    Close();
    if (pszName == nullptr || std::strlen(pszName) >= MAX_PATH)
        return FALSE;
    WIN32_FIND_DATAA data;
    m_hSearch.Attach(::FindFirstFileA(pszName, &data));
    if (!m_hSearch)
        return FALSE;
    m_data = data;
    return TRUE;
}

BOOL CFileFind::FindNextFile()
{
    if (!m_hSearch)
        return FALSE;
    WIN32_FIND_DATAA data;
    if (!::FindNextFileA(m_hSearch.Get(), &data))
        return FALSE;
    m_data = data;
    return TRUE;
}

void CFileFind::Close() noexcept
{
    m_hSearch.Close();
}
