#include "framework/UrlParser.h"

#include "framework/SystemLibrary.h"

#include <wininet.h>

#include <climits>
#include <cstring>

namespace {

// The two Internet functions, from wininet.dll in the system folder; null
// when it cannot be had there, and then every URL is rejected.
struct CInternetFunctions
{
    decltype(&InternetCanonicalizeUrlA) pfnCanonicalize;
    decltype(&InternetCrackUrlA) pfnCrack;
};

const CInternetFunctions& InternetFunctions() noexcept
{
    static const CInternetFunctions s_functions = {
        g_internetLibrary.GetProc<decltype(&InternetCanonicalizeUrlA)>("InternetCanonicalizeUrlA"),
        g_internetLibrary.GetProc<decltype(&InternetCrackUrlA)>("InternetCrackUrlA"),
    };
    return s_functions;
}

// Canonical form of pszURL in browser mode, split by the platform into
// parts (whose host and path buffers the caller has set), or FALSE. The
// first try canonicalises into a stack buffer for the longest URL the
// platform names; when the URL needs more, the call says how much, and the
// second try uses a heap buffer of exactly that.
BOOL CrackCanonicalUrl(const char* pszURL, URL_COMPONENTSA& parts)
{
    const CInternetFunctions& internet = InternetFunctions();
    if (internet.pfnCanonicalize == nullptr || internet.pfnCrack == nullptr)
        return FALSE;
    char szCanonical[INTERNET_MAX_URL_LENGTH + 2];
    CString strCanonical;
    char* pBuffer = szCanonical;
    DWORD dwSize = INTERNET_MAX_URL_LENGTH + 1;
    for (int nTry = 0; nTry < 2; ++nTry)
    {
        if (dwSize > static_cast<DWORD>(INT_MAX) - 1)
            return FALSE;
        DWORD dwOffered = dwSize;
        if (nTry > 0)
            pBuffer = strCanonical.GetBuffer(static_cast<int>(dwOffered));
        // The buffer holds dwOffered bytes plus one; the platform is told dwOffered.
        if (internet.pfnCanonicalize(pszURL, pBuffer, &dwSize, ICU_BROWSER_MODE))
        {
            pBuffer[dwOffered] = '\0';
            DWORD dwLength = dwSize < dwOffered ? dwSize : static_cast<DWORD>(strnlen(pBuffer, dwOffered));
            pBuffer[dwLength] = '\0';
            return internet.pfnCrack(pBuffer, dwLength, 0, &parts);
        }
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

// Host and path buffers of the size the parser promises to split into.
struct CUrlParts
{
    URL_COMPONENTSA parts;
    char szHost[INTERNET_MAX_URL_LENGTH];
    char szPath[INTERNET_MAX_URL_LENGTH];

    CUrlParts() : parts()
    {
        parts.dwStructSize = sizeof(parts);
        parts.lpszHostName = szHost;
        parts.dwHostNameLength = INTERNET_MAX_URL_LENGTH;
        parts.lpszUrlPath = szPath;
        parts.dwUrlPathLength = INTERNET_MAX_URL_LENGTH;
    }
};

// What both entries do: the service type set to AFX_INET_SERVICE_UNK, then
// the URL canonicalised and split into url, then the type of its scheme.
BOOL ParseServiceType(const char* pszURL, DWORD& dwServiceType, CUrlParts& url)
{
    dwServiceType = AFX_INET_SERVICE_UNK;
    if (pszURL == nullptr || !CrackCanonicalUrl(pszURL, url.parts))
        return FALSE;
    dwServiceType = ServiceTypeFromScheme(url.parts.nScheme);
    return TRUE;
}

} // namespace

BOOL AfxParseURL(const char* pszURL, DWORD& dwServiceType, CString& strServer, CString& strObject, WORD& nPort)
{
    CUrlParts url;
    url.szHost[0] = '\0';   // a part the platform leaves alone reads as empty
    url.szPath[0] = '\0';
    if (!ParseServiceType(pszURL, dwServiceType, url))
        return FALSE;
    strServer = CString(url.szHost, PartLength(url.parts.dwHostNameLength));
    strObject = CString(url.szPath, PartLength(url.parts.dwUrlPathLength));
    nPort = url.parts.nPort;
    return TRUE;
}

BOOL AfxParseURLServiceType(const char* pszURL, DWORD& dwServiceType)
{
    // The host and path are split as AfxParseURL splits them, so the same
    // URLs fail; they are never read.
    CUrlParts url;
    return ParseServiceType(pszURL, dwServiceType, url);
}
