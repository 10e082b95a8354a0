#include "util/text/UrlScheme.h"

#include "framework/CodePage.h"
#include "framework/UrlParser.h"

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

// Whether the text, lower-cased, begins with pszPrefix (ASCII). A
// double-byte character lower-cases to another, whose lead byte is no ASCII
// character, and the code page's table leaves lead bytes as they are; so
// comparing single bytes through the table answers as lower-casing the
// whole text would.
bool StartsWithLowered(const CCodePageInfo& cp, const char* pszText, const char* pszPrefix)
{
    for (; *pszPrefix != '\0'; ++pszText, ++pszPrefix)
    {
        if (*pszText == '\0' || cp.lower[static_cast<unsigned char>(*pszText)] != static_cast<unsigned char>(*pszPrefix))
            return false;
    }
    return true;
}

} // namespace

CString GetURLScheme(CString strURL)
{
    DWORD dwServiceType = 0;
    if (!AfxParseURLServiceType(strURL, dwServiceType))
        return CString();

    for (const CServiceWord& entry : kServiceWords)
    {
        if (entry.dwServiceType == dwServiceType)
            return CString(entry.pszWord);
    }

    // AFX_INET_SERVICE_UNK. The caller's text, not the canonical one:
    // canonicalising may rewrite the start of a URL whose scheme the
    // platform does not know.
    const CCodePageInfo& cp = AfxGetCodePageInfo();
    for (const CStreamingPrefix& entry : kStreamingPrefixes)
    {
        if (StartsWithLowered(cp, strURL, entry.pszPrefix))
            return CString(entry.pszWord);
    }
    return CString("unk");
}
