#include "framework/File.h"

#include <cstring>

void AfxThrowFileException(LONG lOsError)
{
    throw CFileException(lOsError);
}

BOOL CFile::Open(const char* pszFileName, UINT nOpenFlags)
{
    const UINT nAccessMask = 0x0003;
    const UINT nShareMask = 0x0070;
    if (m_hFile || pszFileName == nullptr || (nOpenFlags & ~(nAccessMask | nShareMask)) != 0)
        return FALSE;
    if (std::strlen(pszFileName) >= MAX_PATH)
        return FALSE;

    DWORD dwAccess = 0;
    switch (nOpenFlags & nAccessMask)
    {
    case modeRead:
        dwAccess = GENERIC_READ;
        break;
    case modeWrite:
        dwAccess = GENERIC_WRITE;
        break;
    case modeReadWrite:
        dwAccess = GENERIC_READ | GENERIC_WRITE;
        break;
    default:
        return FALSE;
    }

    DWORD dwShare = 0;
    switch (nOpenFlags & nShareMask)
    {
    case shareCompat:
    case shareExclusive:
        dwShare = 0;
        break;
    case shareDenyWrite:
        dwShare = FILE_SHARE_READ;
        break;
    case shareDenyRead:
        dwShare = FILE_SHARE_WRITE;
        break;
    case shareDenyNone:
        dwShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
        break;
    default:
        return FALSE;
    }

    m_hFile.Attach(CreateFileA(pszFileName, dwAccess, dwShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return m_hFile ? TRUE : FALSE;
}

ULONGLONG CFile::GetLength() const
{
    if (!m_hFile)
        AfxThrowFileException(ERROR_INVALID_HANDLE);
    LARGE_INTEGER size;
    if (!GetFileSizeEx(m_hFile.Get(), &size))
        AfxThrowFileException(static_cast<LONG>(GetLastError()));
    return static_cast<ULONGLONG>(size.QuadPart);
}

void CFile::Close()
{
    const DWORD dwError = m_hFile.Close();
    if (dwError != ERROR_SUCCESS)
        AfxThrowFileException(static_cast<LONG>(dwError));
}
