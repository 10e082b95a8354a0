// UrlScheme: the scheme of a URL as a short lower-case word.
//
// The framework's URL parser (AfxParseURLServiceType) names the schemes
// the platform knows; the streaming schemes, which it does not know, are
// recognised here by the start of the URL. Nothing is opened or fetched.
#pragma once

#include "framework/String.h"

// "http", "https", "ftp", "gopher", "file", "mailto" or "nntp" (for news
// URLs), the words of the parser's service types; for a URL the parser
// accepts with a scheme it does not know, "mms", "mmst", "mmsu",
// "rtsp" or "rtp" when the URL, lower-cased, starts with that word and
// "://", else "unk". A URL the parser rejects gives "".
//   "https://x.com/"         -> "https"
//   "news:comp.lang"         -> "nntp"
//   "MMS://host/a"           -> "mms"
//   "mmst://host/a"          -> "mmst"  (not "mms")
//   "rtspu://host/a"         -> "unk"
//   "foo://host/rtsp://a"    -> "unk"   (the prefix must start the URL)
//   "abc", ""                -> ""      (rejected by the parser)
CString GetURLScheme(CString strURL);
