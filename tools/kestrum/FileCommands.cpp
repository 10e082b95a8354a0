// File commands: checksum, size, times, ls, dirs.
#include "tools/kestrum/Tool.h"

#include "util/path/FileSystem.h"
#include "util/path/MappedFile.h"

#include <windows.h>

namespace {

// "2024-05-01 12:34:56.789", local time as the library gives it.
CString FormatTime(const SYSTEMTIME& st)
{
    CString strTime;
    strTime.Format("%04u-%02u-%02u %02u:%02u:%02u.%03u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                   st.wSecond, st.wMilliseconds);
    return strTime;
}

// ls and dirs: one name a line, or a JSON array of names.
int PrintNames(const CCommandLine& cmd, const CStringArray& names)
{
    if (cmd.m_bJson)
    {
        CJsonWriter json;
        json.BeginArray();
        for (int i = 0; i < names.GetSize(); ++i)
            json.String(names[i]);
        json.EndArray();
        json.Print();
    }
    else
    {
        for (int i = 0; i < names.GetSize(); ++i)
            PrintRecord({names[i]});
    }
    return ExitSuccess;
}

// The list operations answer a missing folder with an empty list; the tool
// tells the two apart first.
bool CheckFolder(const CString& strFolder)
{
    if (IsDirectory(strFolder))
        return true;
    Fail("%s: not a folder", strFolder.GetString());
    return false;
}

} // namespace

int RunChecksum(const CCommandLine& cmd)
{
    // The checksum is 0 for a file it cannot map, as for one whose bytes
    // cancel out; the check beforehand opens the file as the mapping does,
    // so only an empty file is left to give 0 that way, and rightly.
    int nResult = ExitSuccess;
    CJsonWriter json;
    json.BeginArray();
    for (const CString& strFile : cmd.m_args)
    {
        CString strReason = CheckReadable(strFile, FILE_SHARE_READ);
        if (!strReason.IsEmpty())
        {
            nResult = Fail("%s: %s", strFile.GetString(), strReason.GetString());
            continue;
        }
        BYTE bChecksum = GetFileChecksum(strFile);
        if (cmd.m_bJson)
        {
            json.BeginObject();
            json.Key("file");
            json.String(strFile);
            json.Key("checksum");
            json.Number(bChecksum);
            json.EndObject();
        }
        else
        {
            CString strValue;
            strValue.Format("0x%02X", bChecksum);
            PrintRecord({strValue, strFile});
        }
    }
    json.EndArray();
    if (cmd.m_bJson)
        json.Print();
    return nResult;
}

int RunSize(const CCommandLine& cmd)
{
    // GetFileLength opens with every kind of sharing allowed; so does the check.
    int nResult = ExitSuccess;
    CJsonWriter json;
    json.BeginArray();
    for (const CString& strFile : cmd.m_args)
    {
        CString strReason = CheckReadable(strFile, FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (!strReason.IsEmpty())
        {
            nResult = Fail("%s: %s", strFile.GetString(), strReason.GetString());
            continue;
        }
        ULONGLONG qwLength = GetFileLength(strFile);
        CString strText = FormatByteSize(qwLength);
        if (cmd.m_bJson)
        {
            json.BeginObject();
            json.Key("file");
            json.String(strFile);
            json.Key("bytes");
            json.Number(qwLength);
            json.Key("text");
            json.String(strText);
            json.EndObject();
        }
        else
        {
            CString strLength;
            strLength.Format("%I64u", qwLength);
            PrintRecord({strLength, strText, strFile});
        }
    }
    json.EndArray();
    if (cmd.m_bJson)
        json.Print();
    return nResult;
}

int RunTimes(const CCommandLine& cmd)
{
    const CString& strFile = cmd.m_args[0];
    SYSTEMTIME stCreation = {}, stAccess = {}, stWrite = {};
    if (!GetFileTimes(strFile, stCreation, stAccess, stWrite))
        return Fail("%s: not found", strFile.GetString());

    const struct
    {
        const char* pszName;
        const SYSTEMTIME& st;
    } times[] = {{"creation", stCreation}, {"access", stAccess}, {"write", stWrite}};
    if (cmd.m_bJson)
    {
        CJsonWriter json;
        json.BeginObject();
        json.Key("file");
        json.String(strFile);
        for (const auto& time : times)
        {
            json.Key(time.pszName);
            json.String(FormatTime(time.st));
        }
        json.EndObject();
        json.Print();
    }
    else
    {
        for (const auto& time : times)
            PrintRecord({time.pszName, FormatTime(time.st)});
    }
    return ExitSuccess;
}

int RunList(const CCommandLine& cmd)
{
    const CString& strFolder = cmd.m_args[0];
    if (!CheckFolder(strFolder))
        return ExitFailure;
    CStringArray files;
    GetFileList(strFolder, files, cmd.m_args.size() > 1 ? cmd.m_args[1] : CString("*.*"));
    return PrintNames(cmd, files);
}

int RunDirs(const CCommandLine& cmd)
{
    const CString& strFolder = cmd.m_args[0];
    if (!CheckFolder(strFolder))
        return ExitFailure;
    CStringArray folders;
    GetSubFolderList(strFolder, folders);
    return PrintNames(cmd, folders);
}
