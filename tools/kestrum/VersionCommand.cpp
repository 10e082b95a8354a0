// version: a file's version from its version resource.
#include "tools/kestrum/Tool.h"

#include "util/sysinfo/FileVersion.h"

int RunVersion(const CCommandLine& cmd)
{
    const CString& strFile = cmd.m_args[0];
    CString strReason = CheckReadable(strFile, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!strReason.IsEmpty())
        return Fail("%s: %s", strFile.GetString(), strReason.GetString());
    ULONGLONG qwVersion = 0;
    if (QueryFileVersion(strFile, &qwVersion) < 0)
        return Fail("%s: no version resource", strFile.GetString());

    const unsigned parts[] = {
        static_cast<unsigned>(qwVersion >> 48 & 0xFFFF),
        static_cast<unsigned>(qwVersion >> 32 & 0xFFFF),
        static_cast<unsigned>(qwVersion >> 16 & 0xFFFF),
        static_cast<unsigned>(qwVersion & 0xFFFF),
    };
    CString strVersion;
    strVersion.Format("%u.%u.%u.%u", parts[0], parts[1], parts[2], parts[3]);
    if (cmd.m_bJson)
    {
        CJsonWriter json;
        json.BeginObject();
        json.Key("file");
        json.String(strFile);
        json.Key("version");
        json.String(strVersion);
        const char* const names[] = {"major", "minor", "build", "revision"};
        for (int i = 0; i < 4; ++i)
        {
            json.Key(names[i]);
            json.Number(parts[i]);
        }
        json.EndObject();
        json.Print();
    }
    else
    {
        PrintRecord({strVersion});
    }
    return ExitSuccess;
}
