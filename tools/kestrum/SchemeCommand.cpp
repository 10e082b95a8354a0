// scheme: the scheme word of each URL.
#include "tools/kestrum/Tool.h"

#include "util/text/UrlScheme.h"

int RunScheme(const CCommandLine& cmd)
{
    // A URL the parser rejects has the empty word: an answer, not a failure.
    CJsonWriter json;
    json.BeginArray();
    for (const CString& strUrl : cmd.m_args)
    {
        CString strScheme = GetURLScheme(strUrl);
        if (cmd.m_bJson)
        {
            json.BeginObject();
            json.Key("url");
            json.String(strUrl);
            json.Key("scheme");
            json.String(strScheme);
            json.EndObject();
        }
        else
        {
            PrintRecord({strScheme, strUrl});
        }
    }
    json.EndArray();
    if (cmd.m_bJson)
        json.Print();
    return ExitSuccess;
}
