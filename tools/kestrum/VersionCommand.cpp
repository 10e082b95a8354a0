// version: a file's version from its version resource.
#include "tools/kestrum/Tool.h"

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
    DWORD dwError = ERROR_SUCCESS;
    if (QueryFileVersion(file.m_strPath, &qwVersion, &dwError) < 0)
    {
        const bool bNoResource = dwError == ERROR_RESOURCE_DATA_NOT_FOUND || dwError == ERROR_RESOURCE_TYPE_NOT_FOUND ||
                                 dwError == ERROR_RESOURCE_NAME_NOT_FOUND || dwError == ERROR_BAD_EXE_FORMAT ||
                                 dwError == ERROR_BAD_FORMAT;
        return FailName(file.m_strWidePath, bNoResource ? CString("no version resource") : DescribeError(dwError));
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
