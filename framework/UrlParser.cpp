#include "framework/UrlParser.h"

#include <wininet.h>

#include <climits>

namespace {

// Canonical form of pszURL in browser mode, or FALSE. The first try uses a
// buffer for the longest URL the platform names; when the URL needs more,
// the call says how much, and the second try uses exactly that.
BOOL CanonicalizeUrl(const char* pszURL, CString& strCanonical)
{
    DWORD dwSize = INTERNET_MAX_URL_LENGTH + 1;
    for (int nTry = 0; nTry < 2; ++nTry)
    {
        if (dwSize > static_cast<DWORD>(INT_MAX) - 1)
            return FALSE;
        DWORD dwOffered = dwSize;
        char* pBuffer = strCanonical.GetBuffer(static_cast<int>(dwOffered));
        // The buffer holds dwOffered bytes plus one; the platform is told dwOffered.
        if (InternetCanonicalizeUrlA(pszURL, pBuffer, &dwSize, ICU_BROWSER_MODE))
        {
            strCanonical.ReleaseBuffer(dwSize < dwOffered ? static_cast<int>(dwSize) : -1);
            return TRUE;
        }
        strCanonical.ReleaseBuffer(0);
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || dwSize <= dwOffered)
            return FALSE;
    }
    return FALSE;
}

DWORD ServiceTypeFromScheme(INTERNET_SCHEME nScheme)
{
    switch (nScheme)
    {
    case INTERNET_SCHEME_FTP: return AFX_INET_SERVICE_FTP;
    case INTERNET_SCHEME_GOPHER: return AFX_INET_SERVICE_GOPHER;
    case INTERNET_SCHEME_HTTP: return AFX_INET_SERVICE_HTTP;
    case INTERNET_SCHEME_HTTPS: return AFX_INET_SERVICE_HTTPS;
    case INTERNET_SCHEME_FILE: return AFX_INET_SERVICE_FILE;
    case INTERNET_SCHEME_NEWS: return AFX_INET_SERVICE_NNTP;
    case INTERNET_SCHEME_MAILTO: return AFX_INET_SERVICE_MAILTO;
    default: return AFX_INET_SERVICE_UNK;
    }
}

// A split part's length as reported, never past its buffer's terminator.
int PartLength(DWORD dwLength)
{
    return static_cast<int>(dwLength < INTERNET_MAX_URL_LENGTH ? dwLength : INTERNET_MAX_URL_LENGTH - 1);
}

} // namespace

BOOL AfxParseURL(const char* pszURL, DWORD& dwServiceType, CString& strServer, CString& strObject, WORD& nPort)
{
    dwServiceType = AFX_INET_SERVICE_UNK;
    if (pszURL == nullptr)
        return FALSE;

    CString strCanonical;
    if (!CanonicalizeUrl(pszURL, strCanonical))
        return FALSE;

    char szHost[INTERNET_MAX_URL_LENGTH] = "";
    char szPath[INTERNET_MAX_URL_LENGTH] = "";
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = szHost;
    parts.dwHostNameLength = INTERNET_MAX_URL_LENGTH;
    parts.lpszUrlPath = szPath;
    parts.dwUrlPathLength = INTERNET_MAX_URL_LENGTH;
    if (!InternetCrackUrlA(strCanonical, static_cast<DWORD>(strCanonical.GetLength()), 0, &parts))
        return FALSE;

    dwServiceType = ServiceTypeFromScheme(parts.nScheme);
    strServer = CString(szHost, PartLength(parts.dwHostNameLength));
    strObject = CString(szPath, PartLength(parts.dwUrlPathLength));
    nPort = parts.nPort;
    return TRUE;
}
