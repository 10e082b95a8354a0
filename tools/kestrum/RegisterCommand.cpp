// register and unregister: what DllRegisterServer writes for a REG.DAT,
// written on request or to files (RegistrationFormats.h), and its safe
// undo. The plan is the module's own, so the tool and the module cannot
// disagree.
#include "tools/kestrum/RegistrationFormats.h"

#include "framework/Handle.h"
#include "util/path/FileSystem.h"

namespace {

const char* const kValueKeys[] = {"CLSID", "TITLE", "VERSION", "PATH"};

// The view of this program's own bitness, which regsvr32 of that bitness
// writes to.
int OwnView()
{
    return sizeof(void*) == 8 ? 64 : 32;
}

// The view a command writes: --view, else the program's own.
int ViewOf(const CCommandLine& cmd)
{
    return cmd.m_nView != 0 ? cmd.m_nView : OwnView();
}

bool HasView64()
{
    if (OwnView() == 64)
        return true;
    BOOL bWow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &bWow64) && bWow64;
}

// The REG.DAT that an operand names: the file itself, or REG.DAT in the
// folder. A full path, since the profile reader looks for a bare or
// relative name in the Windows folder; in UTF-16, so that a folder of any
// name works, and whole characters decide whether it ends in a separator.
CString FindRegDat(const std::wstring& strOperand, std::wstring& strRegDat)
{
    wchar_t szFull[MAX_PATH];
    DWORD dwLength = GetFullPathNameW(strOperand.c_str(), MAX_PATH, szFull, nullptr);
    if (dwLength == 0)
        return DescribeError(GetLastError());
    if (dwLength >= MAX_PATH)
        return "path too long";
    strRegDat = szFull;
    DWORD dwAttributes = GetFileAttributesW(strRegDat.c_str());
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
    {
        wchar_t chLast = strRegDat.back();
        strRegDat += chLast == L'\\' || chLast == L'/' ? L"REG.DAT" : L"\\REG.DAT";
        if (strRegDat.size() >= MAX_PATH)
            return "path too long";
    }
    // The profile reader reads a file it cannot open as empty; say why first.
    CFileHandle hFile(CreateFileW(strRegDat.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return hFile ? CString() : DescribeError(GetLastError());
}

// 8-4-4-4-12 hexadecimal digits, as a class identifier is written.
bool IsGuidText(const CString& strText)
{
    static const char szForm[] = "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX";
    if (strText.GetLength() != static_cast<int>(sizeof(szForm) - 1))
        return false;
    for (int i = 0; i < strText.GetLength(); ++i)
    {
        char ch = strText[i];
        bool bHex = (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
        if (szForm[i] == '-' ? ch != '-' : !bHex)
            return false;
    }
    return true;
}

// The value of REG.DAT an entry holds, by its place under its root.
const char* EntrySource(size_t nIndex)
{
    static const char* const sources[] = {"TITLE", "VERSION", "the install path"};
    return sources[nIndex % 3];
}

CRecord EntryRecord(const char* pszStatus, const CRegistrationEntry& entry)
{
    CRecord record;
    record.Text("status", pszStatus).Text("root", RootName(entry.m_hRoot)).Text("key", entry.m_strKey);
    record.Text("name", entry.m_strName);
    if (entry.m_strName.IsEmpty())
        record.ShownAs("(default)");
    return record.Text("data", entry.m_strData);
}

// What register and unregister share: the REG.DAT read, the view, and
// the values read, with warnings where REG.DAT does not look like what its
// author meant. False (after complaining) when there is nothing to act on.
bool Prepare(const CCommandLine& cmd, CRegistrationPlan& plan, CRecord& out, CRecord& warnings, int& nResult)
{
    std::wstring strRegDat;
    CString strReason = FindRegDat(cmd.m_wideArgs[0], strRegDat);
    if (!strReason.IsEmpty())
    {
        nResult = FailName(strRegDat.empty() ? cmd.m_wideArgs[0] : strRegDat, strReason);
        return false;
    }
    int nView = ViewOf(cmd);
    if (nView == 64 && !HasView64())
    {
        nResult = Fail("--view 64: this system has no 64-bit registry view");
        return false;
    }
    CString strWindowsDir;
    if (!QueryWindowsFolder(strWindowsDir))
    {
        nResult = Fail("cannot read the Windows folder");
        return false;
    }

    plan = PlanRegistration(strRegDat.c_str(), strWindowsDir);
    if (cmd.m_nView != 0)
        plan.m_samView = nView == 64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    out = CRecord(CRecord::Lines);
    out.FileName("file", plan.m_szRegDat).Text("drive", plan.m_strWindowsDrive).Number("view", nView);
    const CString* const values[] = {&plan.m_strClsid, &plan.m_strTitle, &plan.m_strVersion, &plan.m_strPath};
    CRecord read(CRecord::Lines);
    for (int i = 0; i < 4; ++i)
    {
        read.Text(kValueKeys[i], *values[i]);
        if (plan.m_strStopKey == kValueKeys[i])
            break;
    }
    out.Nested("values", read);
    if (plan.IsComplete())
        out.Null("stop");
    else
        out.Text("stop", plan.m_strStopKey);

    auto warn = [&warnings](const CString& strMessage) {
        Warn("%s", strMessage.GetString());
        warnings.Text(nullptr, strMessage);
    };
    if (plan.IsComplete())
    {
        // Registration writes exactly what REG.DAT says; these only tell.
        if (!IsGuidText(plan.m_strClsid))
            warn("CLSID is not a class identifier of the form XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX (hex digits)");
        if (ToWide(plan.m_strClsid).find(L'\\') != std::wstring::npos)
            warn("CLSID holds a \"\\\", so the class key becomes a chain of nested keys");
        for (size_t i = 0; i < 3; ++i)
        {
            if (plan.m_entries[i].IsTooLong())
            {
                CString strMessage;
                strMessage.Format("%s is %d bytes, more than 254: registration leaves it out", EntrySource(i),
                                  plan.m_entries[i].m_strData.GetLength());
                warn(strMessage);
            }
        }
    }
    else
    {
        nResult = Fail("%s is empty or missing: registration writes nothing",
                       plan.m_strStopKey.GetString());
    }
    return plan.IsComplete();
}

// A key of the plan, opened in the plan's view; null when it is not there.
CKeyHandle OpenKey(const CRegistrationPlan& plan, HKEY hRoot, const CString& strKey, REGSAM samAccess)
{
    CKeyHandle hKey;
    if (RegOpenKeyExA(hRoot, strKey, 0, samAccess | plan.m_samView, hKey.Put()) != ERROR_SUCCESS)
        return CKeyHandle();
    return hKey;
}

// Whether the value holds exactly the text registration writes: REG_SZ,
// the same bytes, one terminator. strFound receives what it holds.
enum ValueState
{
    ValueAbsent,
    ValueSame,
    ValueOther,
};

ValueState ReadValue(const CRegistrationPlan& plan, const CRegistrationEntry& entry, CString& strFound)
{
    CKeyHandle hKey = OpenKey(plan, entry.m_hRoot, entry.m_strKey, KEY_QUERY_VALUE);
    DWORD dwType = 0, dwSize = 0;
    if (!hKey || RegQueryValueExA(hKey.Get(), entry.m_strName, nullptr, &dwType, nullptr, &dwSize) != ERROR_SUCCESS)
        return ValueAbsent;
    std::vector<char> data(dwSize + 1, '\0');
    if (RegQueryValueExA(hKey.Get(), entry.m_strName, nullptr, &dwType, reinterpret_cast<BYTE*>(data.data()),
                         &dwSize) != ERROR_SUCCESS)
        return ValueOther;
    if (dwType == REG_SZ || dwType == REG_EXPAND_SZ)
        strFound = data.data();
    bool bSame = dwType == REG_SZ && dwSize == static_cast<DWORD>(entry.m_strData.GetLength()) + 1 &&
                 data[dwSize - 1] == '\0' && CString(data.data(), dwSize - 1) == entry.m_strData;
    return bSame ? ValueSame : ValueOther;
}

// Counts of what a key holds; false when it is not there.
bool CountKey(const CRegistrationPlan& plan, HKEY hRoot, const CString& strKey, DWORD& dwSubKeys, DWORD& dwValues)
{
    CKeyHandle hKey = OpenKey(plan, hRoot, strKey, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
    return hKey && RegQueryInfoKeyA(hKey.Get(), nullptr, nullptr, nullptr, &dwSubKeys, nullptr, nullptr, &dwValues,
                                    nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// unregister, first the values: only those that still hold exactly what
// registration wrote go. removed receives one flag per entry.
CRecord RemoveValues(const CCommandLine& cmd, const CRegistrationPlan& plan, CRecord& warnings,
                     std::vector<bool>& removed, int& nResult)
{
    CRecord entries(CRecord::List);
    removed.assign(static_cast<size_t>(plan.m_nEntries), false);
    for (int i = 0; i < plan.m_nEntries; ++i)
    {
        const CRegistrationEntry& entry = plan.m_entries[i];
        CString strFound;
        ValueState state = entry.IsTooLong() ? ValueAbsent : ReadValue(plan, entry, strFound);
        const char* pszStatus = entry.IsTooLong() ? (cmd.m_bWrite ? "skipped" : "skip") : "absent";
        CString strError;
        if (state == ValueOther)
        {
            pszStatus = cmd.m_bWrite ? "kept" : "keep";
            CString strMessage = EntryPlace(entry) + ": holds \"" + strFound + "\", not what REG.DAT gives: kept";
            Warn("%s", strMessage.GetString());
            warnings.Text(nullptr, strMessage);
        }
        else if (state == ValueSame)
        {
            pszStatus = "remove";
            removed[i] = true;
            if (cmd.m_bWrite)
            {
                CKeyHandle hKey;
                LONG lStatus = RegOpenKeyExA(entry.m_hRoot, entry.m_strKey, 0, KEY_SET_VALUE | plan.m_samView,
                                             hKey.Put());
                if (lStatus == ERROR_SUCCESS)
                    lStatus = RegDeleteValueA(hKey.Get(), entry.m_strName);
                pszStatus = lStatus == ERROR_SUCCESS ? "removed" : "failed";
                removed[i] = lStatus == ERROR_SUCCESS;
                if (lStatus != ERROR_SUCCESS)
                {
                    strError = DescribeError(static_cast<DWORD>(lStatus));
                    nResult = Fail("%s: %s", EntryPlace(entry).GetString(), strError.GetString());
                }
            }
        }
        CRecord record = EntryRecord(pszStatus, entry);
        if (state == ValueOther)
            record.Text("found", strFound).JsonOnly();
        if (!strError.IsEmpty())
            record.Text("error", strError).JsonOnly();
        entries.Nested(nullptr, record);
    }
    return entries;
}

// Then the keys, deepest first, each only when nothing is left in it: the
// plan's two, and the keys a CLSID holding "\" made between them and
// CLSID. In a dry run a key counts as empty when all it holds are values
// and keys that would go.
CRecord RemoveKeys(const CCommandLine& cmd, const CRegistrationPlan& plan, const std::vector<bool>& removed,
                   int& nResult)
{
    std::vector<CString> strKeys = {plan.m_strClassKey + "\\InstalledVersion", plan.m_strClassKey};
    const int nClassesLength = CString("SOFTWARE\\Classes\\CLSID").GetLength();
    for (int n = plan.m_strClassKey.ReverseFind('\\'); n > nClassesLength; n = strKeys.back().ReverseFind('\\'))
        strKeys.push_back(plan.m_strClassKey.Left(n));
    CRecord keys(CRecord::List);
    for (HKEY hRoot : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
    {
        bool bChildGoes = false;
        for (const CString& strKey : strKeys)
        {
            DWORD dwSubKeys = 0, dwValues = 0;
            if (!CountKey(plan, hRoot, strKey, dwSubKeys, dwValues))
            {
                bChildGoes = false;
                continue;
            }
            if (!cmd.m_bWrite)
            {
                for (int i = 0; i < plan.m_nEntries; ++i)
                    if (removed[i] && plan.m_entries[i].m_hRoot == hRoot && plan.m_entries[i].m_strKey == strKey)
                        --dwValues;
                if (bChildGoes && dwSubKeys > 0)
                    --dwSubKeys;
            }
            bool bEmpty = dwSubKeys == 0 && dwValues == 0;
            const char* pszStatus = bEmpty ? (cmd.m_bWrite ? "removed-key" : "remove-key")
                                           : (cmd.m_bWrite ? "kept-key" : "keep-key");
            CString strError;
            if (bEmpty && cmd.m_bWrite)
            {
                LONG lStatus = RegDeleteKeyExA(hRoot, strKey, plan.m_samView, 0);
                if (lStatus != ERROR_SUCCESS)
                {
                    pszStatus = "failed";
                    bEmpty = false;
                    strError = DescribeError(static_cast<DWORD>(lStatus));
                    nResult = Fail("%s\\%s: %s", RootName(hRoot), strKey.GetString(), strError.GetString());
                }
            }
            bChildGoes = bEmpty;
            CRecord record;
            record.Text("status", pszStatus).Text("root", RootName(hRoot)).Text("key", strKey);
            if (!strError.IsEmpty())
                record.Text("error", strError).JsonOnly();
            keys.Nested(nullptr, record);
        }
    }
    return keys;
}

// register and unregister: REG.DAT read and the header printed, then the
// command's own part, then the warnings for JSON.
template <typename F>
int ActOnRegDat(const CCommandLine& cmd, CRecord& out, F fnAct)
{
    int nResult = ExitSuccess;
    CRegistrationPlan plan;
    CRecord warnings(CRecord::List);
    if (Prepare(cmd, plan, out, warnings, nResult))
    {
        fnAct(plan, warnings, nResult);
        out.Nested("warnings", warnings).JsonOnly();
    }
    return nResult;
}

} // namespace

int RunRegister(const CCommandLine& cmd, CRecord& out)
{
    return ActOnRegDat(cmd, out, [&cmd, &out](const CRegistrationPlan& plan, CRecord&, int& nResult) {
        // The dry run predicts what the registry refuses; writing then reports
        // the platform's own reason.
        LONG status[kRegistrationEntries] = {};
        if (cmd.m_bWrite)
            WriteRegistration(plan, &status);
        CRecord entries(CRecord::List);
        std::vector<bool> include(static_cast<size_t>(plan.m_nEntries), false);
        for (int i = 0; i < plan.m_nEntries; ++i)
        {
            const CRegistrationEntry& entry = plan.m_entries[i];
            const char* pszRefusal = entry.GetKeyRefusal();
            const char* pszStatus = cmd.m_bWrite ? "written" : "write";
            CString strError;
            if (entry.IsTooLong())
            {
                pszStatus = cmd.m_bWrite ? "skipped" : "skip";
            }
            else if (cmd.m_bWrite ? status[i] != ERROR_SUCCESS : pszRefusal != nullptr)
            {
                pszStatus = cmd.m_bWrite ? "failed" : "fail";
                strError = pszRefusal != nullptr ? CString(pszRefusal) : CString();
                if (cmd.m_bWrite)
                    strError += (pszRefusal != nullptr ? "; the registry answers: " : "") +
                                DescribeError(static_cast<DWORD>(status[i]));
                nResult = Fail("%s: %s", EntryPlace(entry).GetString(), strError.GetString());
            }
            else
            {
                include[i] = true;
            }
            CRecord record = EntryRecord(pszStatus, entry);
            if (!strError.IsEmpty())
                record.Text("error", strError).JsonOnly();
            entries.Nested(nullptr, record);
        }
        out.Nested("entries", entries);

        const CFormatInput input{plan, include, ViewOf(cmd)};
        for (const CRegistrationFormat& format : GetRegistrationFormats())
        {
            const std::wstring& strFile = cmd.*format.pstrFile;
            if (strFile.empty())
                continue;
            std::vector<CString> problems;
            const std::string bytes = format.pfnRender(input, problems);
            for (const CString& strProblem : problems)
                nResult = Fail("%s", strProblem.GetString());
            CString strReason = WriteWholeFile(strFile, bytes);
            if (!strReason.IsEmpty())
                nResult = FailName(strFile, strReason);
            else
                out.FileName(format.pszField, strFile);
        }
    });
}

int RunUnregister(const CCommandLine& cmd, CRecord& out)
{
    return ActOnRegDat(cmd, out, [&cmd, &out](const CRegistrationPlan& plan, CRecord& warnings, int& nResult) {
        std::vector<bool> removed;
        out.Nested("entries", RemoveValues(cmd, plan, warnings, removed, nResult));
        out.Nested("keys", RemoveKeys(cmd, plan, removed, nResult));
    });
}
