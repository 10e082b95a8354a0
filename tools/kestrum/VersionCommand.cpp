// version: a file's version from its version resource.
#include "tools/kestrum/Tool.h"

#include "util/path/FileSystem.h"
#include "util/sysinfo/FileVersion.h"

int RunVersion(const CCommandLine& cmd, CRecord& out)
{
    std::vector<CFileMatch> matches = ExpandFileOperand(cmd.m_wideArgs[0]);
    if (matches.size() > 1)
    {
        CString strReason;
        strReason.Format("matches %u files; version takes one", static_cast<unsigned>(matches.size()));
        return FailName(cmd.m_wideArgs[0], strReason);
    }
    const CFileMatch& file = matches[0];
    if (!file.m_strReason.IsEmpty())
        return FailName(file.m_strWidePath, file.m_strReason);

    ULONGLONG qwVersion = 0;
    if (QueryFileVersion(file.m_strPath, &qwVersion) < 0)
    {
        // The query cannot tell a file it may not read from one without a
        // resource; opening it for its length can.
        DWORD dwError = ERROR_SUCCESS;
        GetFileLength(file.m_strPath, &dwError);
        return FailName(file.m_strWidePath, dwError != ERROR_SUCCESS ? DescribeError(dwError) : "no version resource");
    }

    const unsigned parts[] = {
        static_cast<unsigned>(qwVersion >> 48 & 0xFFFF),
        static_cast<unsigned>(qwVersion >> 32 & 0xFFFF),
        static_cast<unsigned>(qwVersion >> 16 & 0xFFFF),
        static_cast<unsigned>(qwVersion & 0xFFFF),
    };
    CString strVersion;
    strVersion.Format("%u.%u.%u.%u", parts[0], parts[1], parts[2], parts[3]);
    out.FileName("file", file.m_strWidePath).JsonOnly().Text("version", strVersion);
    const char* const names[] = {"major", "minor", "build", "revision"};
    for (int i = 0; i < 4; ++i)
        out.Number(names[i], parts[i]).JsonOnly();
    return ExitSuccess;
}
