// register: what DllRegisterServer would write for the REG.DAT in a folder,
// and with --write, writing it. The plan is the module's own, so the two
// cannot disagree.
#include "tools/kestrum/Tool.h"

#include "module/Registration.h"
#include "util/path/FileSystem.h"

#include <windows.h>

namespace {

const char* RootName(HKEY hRoot)
{
    return hRoot == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

// The state of one entry: "write" or "skip" before writing; "written",
// "skipped" or "failed" after.
const char* EntryStatus(const CRegistrationEntry& entry, bool bWriting, bool bWritten)
{
    if (entry.IsTooLong())
        return bWriting ? "skipped" : "skip";
    if (!bWriting)
        return "write";
    return bWritten ? "written" : "failed";
}

// The REG.DAT of strFolder as a full path: the profile reader looks for a
// bare or relative name in the Windows folder, not the current one.
BOOL FindRegDat(const CString& strFolder, CString& strRegDat)
{
    char szFull[MAX_PATH * 2];
    DWORD dwLength = GetFullPathNameA(strFolder, sizeof(szFull), szFull, nullptr);
    if (dwLength == 0 || dwLength >= sizeof(szFull))
        return FALSE;
    CString strFull = szFull;
    if (!IsDirectory(strFull))
        return FALSE;
    char chLast = strFull.IsEmpty() ? '\0' : strFull[strFull.GetLength() - 1];
    if (chLast != '\\' && chLast != '/')
        strFull += '\\';
    strRegDat = strFull + "REG.DAT";
    return TRUE;
}

} // namespace

int RunRegister(const CCommandLine& cmd)
{
    const CString& strFolder = cmd.m_args[0];
    CString strRegDat;
    if (!FindRegDat(strFolder, strRegDat))
        return Fail("%s: not a folder", strFolder.GetString());
    CString strReason = CheckReadable(strRegDat, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!strReason.IsEmpty())
        return Fail("%s: %s", strRegDat.GetString(), strReason.GetString());
    CString strWindowsDir;
    if (!QueryWindowsFolder(strWindowsDir))
        return Fail("cannot read the Windows folder");

    CRegistrationPlan plan = PlanRegistration(strRegDat, strWindowsDir);
    std::vector<bool> written;
    int nResult = ExitSuccess;
    if (cmd.m_bWrite)
    {
        WriteRegistration(plan, &written);
        for (size_t i = 0; i < plan.m_entries.size(); ++i)
            if (!written[i] && !plan.m_entries[i].IsTooLong())
                nResult = ExitFailure;
    }

    const struct
    {
        const char* pszKey;
        const CString& strValue;
    } values[] = {
        {"CLSID", plan.m_strClsid},
        {"TITLE", plan.m_strTitle},
        {"VERSION", plan.m_strVersion},
        {"PATH", plan.m_strPath},
    };

    if (cmd.m_bJson)
    {
        CJsonWriter json;
        json.BeginObject();
        json.Key("file");
        json.String(plan.m_strRegDat);
        json.Key("drive");
        json.String(plan.m_strWindowsDrive);
        json.Key("values");
        json.BeginObject();
        for (const auto& value : values)
        {
            json.Key(value.pszKey);
            json.String(value.strValue);
            if (plan.m_strStopKey == value.pszKey)
                break;
        }
        json.EndObject();
        json.Key("stop");
        if (plan.IsComplete())
            json.Null();
        else
            json.String(plan.m_strStopKey);
        json.Key("entries");
        json.BeginArray();
        for (size_t i = 0; i < plan.m_entries.size(); ++i)
        {
            const CRegistrationEntry& entry = plan.m_entries[i];
            json.BeginObject();
            json.Key("root");
            json.String(RootName(entry.m_hRoot));
            json.Key("key");
            json.String(entry.m_strKey);
            json.Key("name");
            json.String(entry.m_strName);
            json.Key("data");
            json.String(entry.m_strData);
            json.Key("status");
            json.String(EntryStatus(entry, cmd.m_bWrite, cmd.m_bWrite && written[i]));
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
        json.Print();
    }
    else
    {
        PrintRecord({"file", plan.m_strRegDat});
        PrintRecord({"drive", plan.m_strWindowsDrive});
        for (const auto& value : values)
        {
            PrintRecord({value.pszKey, value.strValue});
            if (plan.m_strStopKey == value.pszKey)
                break;
        }
        if (!plan.IsComplete())
            PrintRecord({"stop", plan.m_strStopKey});
        for (size_t i = 0; i < plan.m_entries.size(); ++i)
        {
            const CRegistrationEntry& entry = plan.m_entries[i];
            PrintRecord({EntryStatus(entry, cmd.m_bWrite, cmd.m_bWrite && written[i]), RootName(entry.m_hRoot),
                         entry.m_strKey, entry.m_strName.IsEmpty() ? CString("(default)") : entry.m_strName,
                         entry.m_strData});
        }
    }

    if (!plan.IsComplete())
        return Fail("%s is empty or missing: registration writes nothing", plan.m_strStopKey.GetString());
    if (nResult != ExitSuccess)
        Fail("some values could not be written");
    return nResult;
}
