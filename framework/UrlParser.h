// AfxParseURL: the framework's URL parser, over the platform's Internet
// functions.
//
// The URL is first canonicalised the way a browser would take it
// (InternetCanonicalizeUrlA, ICU_BROWSER_MODE), then split into its parts
// (InternetCrackUrlA). The platform's scheme number becomes one of the
// framework's service types below:
//
//   "http://host/a"            AFX_INET_SERVICE_HTTP   host "host", path "/a", port 80
//   "HTTPS://x.com"            AFX_INET_SERVICE_HTTPS  (canonical form "HTTPS://x.com/")
//   "news:comp.lang"           AFX_INET_SERVICE_NNTP   (the platform's news scheme)
//   "foo://host/path"          AFX_INET_SERVICE_UNK    success: a scheme it does not know
//   "C:\dir\file"              AFX_INET_SERVICE_FILE   (canonicalised to a file URL)
//   "" or "abc"                failure                 (no scheme to split by)
//
// A host or a path of 2084 characters or more does not fit the parser's
// buffers, and the URL is rejected.
#pragma once

#include "framework/String.h"

#include <windows.h>

// Service types. The first three are the platform's own service numbers;
// the others are the framework's.
const DWORD AFX_INET_SERVICE_FTP = 1;
const DWORD AFX_INET_SERVICE_GOPHER = 2;
const DWORD AFX_INET_SERVICE_HTTP = 3;
const DWORD AFX_INET_SERVICE_UNK = 0x1000;
const DWORD AFX_INET_SERVICE_FILE = 0x1001;
const DWORD AFX_INET_SERVICE_MAILTO = 0x1002;
const DWORD AFX_INET_SERVICE_NNTP = 0x1006;
const DWORD AFX_INET_SERVICE_HTTPS = 0x100B;

// Splits pszURL (active code page). dwServiceType is set to
// AFX_INET_SERVICE_UNK before anything else and keeps it on failure.
// Returns TRUE when the URL could be canonicalised and split; then the
// service type, host, path and port are those of the canonical form. On
// failure strServer, strObject and nPort are left as they were. A null
// pszURL fails.
BOOL AfxParseURL(const char* pszURL, DWORD& dwServiceType, CString& strServer, CString& strObject, WORD& nPort);

// AfxParseURL's answer and service type alone, for callers that want no
// host or path: TRUE for exactly the URLs AfxParseURL accepts, with the same
// service type, and AFX_INET_SERVICE_UNK on failure. No string is built.
BOOL AfxParseURLServiceType(const char* pszURL, DWORD& dwServiceType);
