#include "framework/File.h"

#include <cstring>

BOOL CFile::Open(const char* pszFileName, UINT nOpenFlags, CFileException* pError)
{
    // The reason is set before each way out, so a caller always learns one.
    auto fail = [pError](DWORD dwError) {
        if (pError != nullptr)
            pError->m_lOsError = static_cast<LONG>(dwError);
        return FALSE;
    };
    if (pError != nullptr)
        pError->m_lOsError = 0;
    const UINT nAccessMask = 0x0003;
    const UINT nShareMask = 0x0070;
    if (m_hFile)
        return fail(ERROR_ALREADY_EXISTS);
    if (pszFileName == nullptr || (nOpenFlags & ~(nAccessMask | nShareMask)) != 0)
        return fail(ERROR_INVALID_PARAMETER);
    if (std::strlen(pszFileName) >= MAX_PATH)
        return fail(ERROR_FILENAME_EXCED_RANGE);

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
        return fail(ERROR_INVALID_PARAMETER);
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
        return fail(ERROR_INVALID_PARAMETER);
    }

    // Attaching nothing keeps the thread's last error.
    m_hFile.Attach(CreateFileA(pszFileName, dwAccess, dwShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_hFile)
        return fail(GetLastError());
    return TRUE;
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
