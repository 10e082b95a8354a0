// version: a file's version from its version resource.
#include "tools/kestrum/Tool.h"

#include <windows.h>

#include <vector>

namespace {

// The fixed file version of strFile packed as major.minor.build.revision,
// most significant first (dwFileVersionMS, then dwFileVersionLS). FALSE
// when the file has no version resource or it cannot be read.
// Stands in until the library's own file-version query can take its place.
BOOL ReadFileVersion(const CString& strFile, ULONGLONG& qwVersion)
{
    DWORD dwHandle = 0;
    DWORD dwSize = GetFileVersionInfoSizeA(strFile, &dwHandle);
    if (dwSize == 0)
        return FALSE;
    std::vector<BYTE> block(dwSize);
    if (!GetFileVersionInfoA(strFile, 0, dwSize, block.data()))
        return FALSE;
    VS_FIXEDFILEINFO* pInfo = nullptr;
    UINT nLength = 0;
    if (!VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&pInfo), &nLength) || pInfo == nullptr ||
        nLength < sizeof(VS_FIXEDFILEINFO) || pInfo->dwSignature != VS_FFI_SIGNATURE)
        return FALSE;
    qwVersion = (static_cast<ULONGLONG>(pInfo->dwFileVersionMS) << 32) | pInfo->dwFileVersionLS;
    return TRUE;
}

} // namespace

int RunVersion(const CCommandLine& cmd)
{
    const CString& strFile = cmd.m_args[0];
    CString strReason = CheckReadable(strFile, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!strReason.IsEmpty())
        return Fail("%s: %s", strFile.GetString(), strReason.GetString());
    ULONGLONG qwVersion = 0;
    if (!ReadFileVersion(strFile, qwVersion))
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
