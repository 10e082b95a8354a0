// register, unregister and check: what DllRegisterServer writes for a
// REG.DAT, written on request or to files (RegistrationFormats.h), its safe
// undo, and whether the registry holds it. The plan, its keys and names are
// the module's own, so the tool and the module cannot disagree.
#include "tools/kestrum/RegistrationFormats.h"

#include "framework/Handle.h"
#include "util/path/FileSystem.h"

#include <algorithm>

namespace {

// The view of this program's own bitness, which regsvr32 of that bitness
// writes to.
int OwnView()
{
    return sizeof(void*) == 8 ? 64 : 32;
}

// The views a command acts on, in turn: --view, else the program's own;
// both is the program's own and then the other.
std::vector<int> ViewsOf(const CCommandLine& cmd)
{
    if (cmd.m_nView == kBothViews)
        return {OwnView(), 96 - OwnView()};
    return {cmd.m_nView != 0 ? cmd.m_nView : OwnView()};
}

REGSAM SamOf(int nView)
{
    return nView == 64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
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

// pszData names the entry's data: "data", or "expected" beside what is found.
CRecord EntryRecord(const char* pszStatus, const CRegistrationEntry& entry, const char* pszData = "data")
{
    CRecord record;
    record.Text("status", pszStatus).Text("root", entry.m_pRoot->m_pszName).Text("key", entry.m_strKey);
    record.Text("name", entry.m_strName);
    if (entry.m_strName.IsEmpty())
        record.ShownAs("(default)");
    return record.Text(pszData, entry.m_strData);
}

// What the commands on a REG.DAT share: the REG.DAT read, the view (a
// line of its own unless the command shows its views itself), and the
// values read, with warnings where REG.DAT does not look like what its
// author meant. False (after complaining) when there is nothing to act on.
bool Prepare(const CCommandLine& cmd, bool bViewLine, CRegistrationPlan& plan, CRecord& out, CRecord& warnings,
             int& nResult)
{
    std::wstring strRegDat;
    CString strReason = FindRegDat(cmd.m_wideArgs[0], strRegDat);
    if (!strReason.IsEmpty())
    {
        nResult = FailName(strRegDat.empty() ? cmd.m_wideArgs[0] : strRegDat, strReason);
        return false;
    }
    const std::vector<int> views = ViewsOf(cmd);
    for (int nView : views)
    {
        if (nView == 64 && !HasView64())
        {
            nResult = Fail("--view %s: this system has no 64-bit registry view", views.size() > 1 ? "both" : "64");
            return false;
        }
    }
    CString strWindowsDir;
    if (!QueryWindowsFolder(strWindowsDir))
    {
        nResult = Fail("cannot read the Windows folder");
        return false;
    }

    plan = PlanRegistration(strRegDat.c_str(), strWindowsDir);
    if (cmd.m_nView != 0 && views.size() == 1)
        plan.m_samView = SamOf(views[0]);
    out = CRecord(CRecord::Lines);
    out.FileName("file", plan.m_szRegDat).Text("drive", plan.m_strWindowsDrive);
    if (bViewLine)
        out.Number("view", static_cast<unsigned>(views[0]));
    CRecord read(CRecord::Lines);
    for (const CRegDatKey& key : g_regDatKeys)
    {
        read.Text(key.m_pszName, plan.*key.m_pstrValue);
        if (plan.m_strStopKey == key.m_pszName)
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
        // Each value once, though every root has it.
        bool warned[kRegistrationValues] = {};
        for (int i = 0; i < plan.m_nEntries; ++i)
        {
            const CRegistrationEntry& entry = plan.m_entries[i];
            if (!entry.IsTooLong() || warned[entry.m_value])
                continue;
            warned[entry.m_value] = true;
            CString strWhat = GetRegDatSource(entry.m_value);
            if (entry.m_value == RegValueInstallPath)
                strWhat = "the install path (the drive and " + strWhat + ")";
            CString strMessage;
            strMessage.Format("%s is %d bytes, more than 254: registration leaves it out", strWhat.GetString(),
                              entry.m_strData.GetLength());
            warn(strMessage);
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

// What the registry holds where an entry goes, compared with the entry's
// data exactly: REG_SZ, the same UTF-16 text registration stores, one
// terminator.
enum ValueState
{
    ValueMissing,       // no key or no value
    ValueSame,
    ValueDiffers,       // REG_SZ with other data
    ValueNotString,     // another type
    ValueUnreadable,    // the registry refused to say
};

struct CFoundValue
{
    ValueState m_state = ValueMissing;
    std::wstring m_strData;     // the data as UTF-16 units, one final terminator dropped
    DWORD m_dwType = REG_NONE;
    LONG m_lError = ERROR_SUCCESS;
};

CFoundValue ReadValue(REGSAM samView, const CRegistrationEntry& entry)
{
    CFoundValue found;
    CKeyHandle hKey;
    LONG lStatus =
        RegOpenKeyExA(entry.m_pRoot->m_hRoot, entry.m_strKey, 0, KEY_QUERY_VALUE | samView, hKey.Put());
    const std::wstring strName = ToWide(entry.m_strName);
    std::vector<BYTE> data;
    DWORD dwSize = 0;
    if (lStatus == ERROR_SUCCESS)
        lStatus = RegQueryValueExW(hKey.Get(), strName.c_str(), nullptr, &found.m_dwType, nullptr, &dwSize);
    if (lStatus == ERROR_SUCCESS)
    {
        data.resize(dwSize);
        lStatus = RegQueryValueExW(hKey.Get(), strName.c_str(), nullptr, &found.m_dwType, data.data(), &dwSize);
    }
    if (lStatus == ERROR_FILE_NOT_FOUND)
        return found;
    if (lStatus != ERROR_SUCCESS)
    {
        found.m_state = ValueUnreadable;
        found.m_lError = lStatus;
        return found;
    }
    std::wstring strStored(dwSize / sizeof(wchar_t), L'\0');
    std::copy(data.begin(), data.begin() + strStored.size() * sizeof(wchar_t), reinterpret_cast<BYTE*>(&strStored[0]));
    const std::wstring strExpected = ToWide(entry.m_strData) + L'\0';
    found.m_strData = strStored;
    if (!found.m_strData.empty() && found.m_strData.back() == L'\0')
        found.m_strData.pop_back();
    if (found.m_dwType != REG_SZ)
        found.m_state = ValueNotString;
    else
        found.m_state = dwSize % sizeof(wchar_t) == 0 && strStored == strExpected ? ValueSame : ValueDiffers;
    return found;
}

// "REG_DWORD", as regedit names a type.
CString TypeName(DWORD dwType)
{
    static const char* const names[] = {"REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD",
                                        "REG_DWORD_BIG_ENDIAN", "REG_LINK", "REG_MULTI_SZ", "REG_RESOURCE_LIST",
                                        "REG_FULL_RESOURCE_DESCRIPTOR", "REG_RESOURCE_REQUIREMENTS_LIST",
                                        "REG_QWORD"};
    if (dwType < ARRAYSIZE(names))
        return names[dwType];
    CString strName;
    strName.Format("type %lu", dwType);
    return strName;
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
        CFoundValue found;
        if (!entry.IsTooLong())
            found = ReadValue(plan.m_samView, entry);
        const char* pszStatus = entry.IsTooLong() ? (cmd.m_bWrite ? "skipped" : "skip") : "absent";
        CString strError;
        if (found.m_state != ValueSame && found.m_state != ValueMissing)
        {
            pszStatus = cmd.m_bWrite ? "kept" : "keep";
            CString strWhy = found.m_state == ValueDiffers
                                 ? "holds \"" + ToCodePage(found.m_strData) + "\", not what REG.DAT gives"
                             : found.m_state == ValueNotString
                                 ? "holds " + TypeName(found.m_dwType) + " data, not what REG.DAT gives"
                                 : "cannot be read (" + DescribeError(static_cast<DWORD>(found.m_lError)) + ")";
            CString strMessage = EntryPlace(entry) + ": " + strWhy + ": kept";
            Warn("%s", strMessage.GetString());
            warnings.Text(nullptr, strMessage);
        }
        else if (found.m_state == ValueSame)
        {
            pszStatus = "remove";
            removed[i] = true;
            if (cmd.m_bWrite)
            {
                CKeyHandle hKey;
                LONG lStatus = RegOpenKeyExA(entry.m_pRoot->m_hRoot, entry.m_strKey, 0,
                                             KEY_SET_VALUE | plan.m_samView, hKey.Put());
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
        if (found.m_state == ValueDiffers)
            record.FileName("found", found.m_strData).JsonOnly();
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
    // The entries' keys, deepest first, then the class key's parents down
    // to the classes key.
    std::vector<CString> strKeys;
    for (int i = 0; i < plan.m_nEntries; ++i)
        if (std::find(strKeys.begin(), strKeys.end(), plan.m_entries[i].m_strKey) == strKeys.end())
            strKeys.push_back(plan.m_entries[i].m_strKey);
    std::stable_sort(strKeys.begin(), strKeys.end(),
                     [](const CString& a, const CString& b) { return a.GetLength() > b.GetLength(); });
    const int nClassesLength = CString(g_szClassesKey).GetLength();
    for (int n = plan.m_strClassKey.ReverseFind('\\'); n > nClassesLength; n = strKeys.back().ReverseFind('\\'))
        strKeys.push_back(plan.m_strClassKey.Left(n));
    CRecord keys(CRecord::List);
    for (const CRegistrationRoot& root : g_registrationRoots)
    {
        const HKEY hRoot = root.m_hRoot;
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
                    if (removed[i] && plan.m_entries[i].m_pRoot == &root && plan.m_entries[i].m_strKey == strKey)
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
                    nResult = Fail("%s\\%s: %s", root.m_pszName, strKey.GetString(), strError.GetString());
                }
            }
            bChildGoes = bEmpty;
            CRecord record;
            record.Text("status", pszStatus).Text("root", root.m_pszName).Text("key", strKey);
            if (!strError.IsEmpty())
                record.Text("error", strError).JsonOnly();
            keys.Nested(nullptr, record);
        }
    }
    return keys;
}

// The commands on a REG.DAT: REG.DAT read and the header printed (with a
// view line unless the command shows its views itself), then the
// command's own part, then the warnings for JSON.
template <typename F>
int ActOnRegDat(const CCommandLine& cmd, CRecord& out, F fnAct, bool bViewLine = true)
{
    int nResult = ExitSuccess;
    CRegistrationPlan plan;
    CRecord warnings(CRecord::List);
    if (Prepare(cmd, bViewLine, plan, out, warnings, nResult))
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

        const CFormatInput input{plan, include, ViewsOf(cmd)[0]};
        for (const CRegistrationFormat& format : GetRegistrationFormats())
        {
            const std::wstring* pstrFile = cmd.FileOf(format.option);
            if (pstrFile == nullptr)
                continue;
            const std::wstring& strFile = *pstrFile;
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

int RunCheck(const CCommandLine& cmd, CRecord& out)
{
    return ActOnRegDat(cmd, out, [&cmd, &out](const CRegistrationPlan& plan, CRecord&, int& nResult) {
        const std::vector<int> views = ViewsOf(cmd);
        std::vector<int> registered;
        CRecord blocks(CRecord::List);
        for (int nView : views)
        {
            CRecord entries(CRecord::List);
            bool bRegistered = true;
            for (int i = 0; i < plan.m_nEntries; ++i)
            {
                const CRegistrationEntry& entry = plan.m_entries[i];
                const CFoundValue found = ReadValue(SamOf(nView), entry);
                static const char* const statuses[] = {"missing", "ok", "differs", "not-string", "unreadable"};
                const char* pszStatus = entry.IsTooLong() ? "left-out" : statuses[found.m_state];
                bRegistered = bRegistered && (entry.IsTooLong() || found.m_state == ValueSame);
                CRecord record = EntryRecord(pszStatus, entry, "expected");
                if (found.m_state == ValueMissing || found.m_state == ValueUnreadable)
                    record.Null("found").ShownAs("");
                else if (found.m_state == ValueNotString)
                    record.Text("found", TypeName(found.m_dwType));
                else
                    record.FileName("found", found.m_strData);
                if (found.m_state == ValueUnreadable)
                {
                    const CString strError = DescribeError(static_cast<DWORD>(found.m_lError));
                    Fail("%d-bit view: %s: %s", nView, EntryPlace(entry).GetString(), strError.GetString());
                    record.Text("error", strError).JsonOnly();
                }
                entries.Nested(nullptr, record);
            }
            if (bRegistered)
                registered.push_back(nView);
            blocks.Nested(nullptr, CRecord(CRecord::Lines)
                                       .Number("view", static_cast<unsigned>(nView))
                                       .Nested("entries", entries)
                                       .Bool("registered", bRegistered)
                                       .JsonOnly());
        }
        out.Nested("views", blocks);
        CString strSummary = "not registered as REG.DAT says";
        if (registered.size() == views.size())
            strSummary = views.size() > 1 ? "registered in both views" : "registered";
        else if (!registered.empty())
            strSummary.Format("registered in the %d-bit view only", registered[0]);
        out.Text("summary", strSummary);
        nResult = registered.size() == views.size() ? nResult : ExitFailure;
    }, false);
}
