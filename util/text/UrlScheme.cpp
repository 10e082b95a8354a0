#include "util/text/UrlScheme.h"

#include "framework/UrlParser.h"

#include <cstring>

namespace {

struct CServiceWord
{
    DWORD dwServiceType;
    const char* pszWord;
};

// Every service type the parser reports but AFX_INET_SERVICE_UNK.
const CServiceWord kServiceWords[] = {
    {AFX_INET_SERVICE_FTP, "ftp"},
    {AFX_INET_SERVICE_GOPHER, "gopher"},
    {AFX_INET_SERVICE_HTTP, "http"},
    {AFX_INET_SERVICE_FILE, "file"},
    {AFX_INET_SERVICE_MAILTO, "mailto"},
    {AFX_INET_SERVICE_NNTP, "nntp"},
    {AFX_INET_SERVICE_HTTPS, "https"},
};

struct CStreamingPrefix
{
    const char* pszPrefix;
    const char* pszWord;
};

// Tried in this order; the first that starts the URL decides.
const CStreamingPrefix kStreamingPrefixes[] = {
    {"mms://", "mms"},
    {"mmst://", "mmst"},
    {"mmsu://", "mmsu"},
    {"rtsp://", "rtsp"},
    {"rtp://", "rtp"},
};

} // namespace

CString GetURLScheme(CString strURL)
{
    DWORD dwServiceType = 0;
    CString strServer;
    CString strObject;
    WORD nPort = 0;
    if (!AfxParseURL(strURL, dwServiceType, strServer, strObject, nPort))
        return CString();

    for (const CServiceWord& entry : kServiceWords)
    {
        if (entry.dwServiceType == dwServiceType)
            return CString(entry.pszWord);
    }

    // AFX_INET_SERVICE_UNK. The caller's text, not the canonical one: canonicalising may rewrite
    // the start of a URL whose scheme the platform does not know. A prefix
    // found at position 0 always starts on a character boundary, so a plain
    // byte comparison is a match of whole characters.
    CString strLower(strURL);
    strLower.MakeLower();
    for (const CStreamingPrefix& entry : kStreamingPrefixes)
    {
        if (std::strncmp(strLower, entry.pszPrefix, std::strlen(entry.pszPrefix)) == 0)
            return CString(entry.pszWord);
    }
    return CString("unk");
}
