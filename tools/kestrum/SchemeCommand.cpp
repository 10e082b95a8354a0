// scheme: the scheme word of each URL.
#include "tools/kestrum/Tool.h"

#include "util/text/UrlScheme.h"

int RunScheme(const CCommandLine& cmd, CRecord& out)
{
    // A URL the parser rejects has the empty word: an answer, not a failure.
    out = CRecord(CRecord::List);
    for (const CString& strUrl : cmd.m_args)
        out.Nested(nullptr, CRecord().Text("scheme", GetURLScheme(strUrl)).Text("url", strUrl));
    return ExitSuccess;
}
