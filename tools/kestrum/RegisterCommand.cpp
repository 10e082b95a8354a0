// register, unregister and check: what DllRegisterServer writes for a
// REG.DAT, written on request or to files (RegistrationFormats.h), its safe
// undo, and whether the registry holds it. The plan, its keys and names,
// the REG.DAT it reads and the registry calls are the module's own, so the
// tool and the module cannot disagree.
#include "tools/kestrum/RegistrationFormats.h"

#include "framework/CodePage.h"
#include "framework/Handle.h"
#include "module/RegistryAccess.h"

#include <algorithm>

namespace {

// A status as the dry run and the run with --write spell it.
struct CStatus
{
    const char* pszDry;
    const char* pszWritten;
};
const CStatus kWrite = {"write", "written"};
const CStatus kSkip = {"skip", "skipped"};
const CStatus kFail = {"fail", "failed"};
const CStatus kRemove = {"remove", "removed"};
const CStatus kKeep = {"keep", "kept"};
const CStatus kAbsent = {"absent", "absent"};
const CStatus kRemoveKey = {"remove-key", "removed-key"};
const CStatus kKeepKey = {"keep-key", "kept-key"};

// One run of a command on a REG.DAT: what it acts on and what it found.
struct CRegDatRun
{
    const CCommandLine& cmd;
    CRecord& out;
    bool bWrite;
    // The views acted on in turn: the plan's, then with --view both the
    // other one.
    std::vector<RegistryView> views;
    CRegistrationPlan plan;
    CRecord warnings;
    int nResult;

    const char* Status(const CStatus& status) const { return bWrite ? status.pszWritten : status.pszDry; }
    void Warn(const CString& strMessage)
    {
        ::Warn("%s", strMessage.GetString());
        warnings.Text(nullptr, strMessage);
    }
};

// --view: the view it names, else the program's own; "both" is the
// program's own and then the other.
std::vector<RegistryView> ViewsOf(const CCommandLine& cmd)
{
    const std::wstring* pstrView = cmd.ValueOf(g_view);
    if (pstrView == nullptr)
        return {RegistryView::Own};
    if (*pstrView == L"both")
        return {RegistryView::Own, GetViewBits(RegistryView::Own) == 64 ? RegistryView::Bits32 : RegistryView::Bits64};
    return {*pstrView == L"64" ? RegistryView::Bits64 : RegistryView::Bits32};
}

// The REG.DAT an operand names, or why there is none. The profile reader
// reads a file it cannot open as empty, so that says why first.
CString FindRegDat(const std::wstring& strOperand, wchar_t (&szRegDat)[kRegDatPathSize])
{
    DWORD dwError = LocateRegDat(strOperand.c_str(), szRegDat);
    if (dwError == ERROR_FILENAME_EXCED_RANGE)
    {
        CString strReason;
        strReason.Format("path too long: the profile reader reads no REG.DAT whose path has more than %u characters",
                         kMaxRegDatPath);
        return strReason;
    }
    if (dwError == ERROR_SUCCESS)
    {
        CFileHandle hFile(CreateFileW(szRegDat, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        dwError = hFile ? ERROR_SUCCESS : GetLastError();
    }
    return dwError == ERROR_SUCCESS ? CString() : DescribeError(dwError);
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

// Registration writes exactly what REG.DAT says; these only tell where it
// does not look like what its author meant.
void WarnAboutPlan(CRegDatRun& run)
{
    const CRegistrationPlan& plan = run.plan;
    if (!IsGuidText(plan.m_strClsid))
        run.Warn("CLSID is not a class identifier of the form XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX (hex digits)");
    if (AfxFromCodePage(plan.m_strClsid).find(L'\\') != std::wstring::npos)
        run.Warn("CLSID holds a \"\\\", so the class key becomes a chain of nested keys");
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
        run.Warn(strMessage);
    }
}

// What the commands on a REG.DAT share: the REG.DAT read, the view (a line
// of its own unless the command shows its views itself), the values read,
// and the warnings. False (after complaining) when there is nothing to act
// on.
bool Prepare(CRegDatRun& run, bool bViewLine)
{
    const std::wstring& strOperand = run.cmd.m_wideArgs[0];
    wchar_t szRegDat[kRegDatPathSize];
    CString strReason = FindRegDat(strOperand, szRegDat);
    if (!strReason.IsEmpty())
    {
        run.nResult = FailName(szRegDat[0] == L'\0' ? strOperand : szRegDat, strReason);
        return false;
    }
    for (RegistryView view : run.views)
    {
        if (!HasRegistryView(view))
        {
            run.nResult = Fail("--view %s: this system has no 64-bit registry view",
                               AfxToCodePage(*run.cmd.ValueOf(g_view)).GetString());
            return false;
        }
    }
    CString strWindowsDir;
    if (!QueryWindowsFolder(strWindowsDir))
    {
        run.nResult = Fail("cannot read the Windows folder");
        return false;
    }

    run.plan = PlanRegistration(szRegDat, strWindowsDir, run.views[0]);
    const CRegistrationPlan& plan = run.plan;
    run.out = CRecord(CRecord::Lines);
    run.out.FileName("file", plan.m_szRegDat).Text("drive", plan.m_strWindowsDrive);
    if (bViewLine)
        run.out.Number("view", static_cast<unsigned>(GetViewBits(plan.m_view)));
    CRecord read(CRecord::Lines);
    for (const CRegDatKey& key : g_regDatKeys)
    {
        read.Text(key.m_pszName, plan.*key.m_pstrValue);
        if (plan.m_strStopKey == key.m_pszName)
            break;
    }
    run.out.Nested("values", read);
    if (plan.IsComplete())
    {
        run.out.Null("stop");
        WarnAboutPlan(run);
    }
    else
    {
        run.out.Text("stop", plan.m_strStopKey);
        run.nResult = Fail("%s is empty or missing: registration writes nothing", plan.m_strStopKey.GetString());
    }
    return plan.IsComplete();
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

CFoundValue ReadValue(const CRegistrationEntry& entry, RegistryView view)
{
    CFoundValue found;
    CKeyHandle hKey;
    CRegValue value;
    LONG lStatus = OpenRegKey(entry.m_pRoot->m_hRoot, entry.m_strKey, kKeyRead, view, hKey);
    if (lStatus == ERROR_SUCCESS)
        lStatus = ReadRegValue(hKey, entry.m_strName, value);
    if (lStatus == ERROR_FILE_NOT_FOUND)
        return found;
    if (lStatus != ERROR_SUCCESS)
    {
        found.m_state = ValueUnreadable;
        found.m_lError = lStatus;
        return found;
    }
    found.m_dwType = value.m_dwType;
    found.m_strData = value.m_strData;
    const bool bTerminated = !found.m_strData.empty() && found.m_strData.back() == L'\0';
    if (bTerminated)
        found.m_strData.pop_back();
    if (found.m_dwType != REG_SZ)
        found.m_state = ValueNotString;
    else
        found.m_state = bTerminated && !value.m_bOddSize && found.m_strData == AfxFromCodePage(entry.m_strData)
                            ? ValueSame
                            : ValueDiffers;
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
bool CountKey(HKEY hRoot, const CString& strKey, RegistryView view, DWORD& dwSubKeys, DWORD& dwValues)
{
    CKeyHandle hKey;
    return OpenRegKey(hRoot, strKey, kKeyRead, view, hKey) == ERROR_SUCCESS &&
           CountRegKey(hKey, dwSubKeys, dwValues) == ERROR_SUCCESS;
}

// Why a value that registration wrote no longer holds REG.DAT's data.
CString WhyKept(const CFoundValue& found)
{
    if (found.m_state == ValueDiffers)
        return "holds \"" + AfxToCodePage(found.m_strData) + "\", not what REG.DAT gives";
    if (found.m_state == ValueNotString)
        return "holds " + TypeName(found.m_dwType) + " data, not what REG.DAT gives";
    return "cannot be read (" + DescribeError(static_cast<DWORD>(found.m_lError)) + ")";
}

// unregister, first the values: only those that still hold exactly what
// registration wrote go. removed receives one flag per entry.
CRecord RemoveValues(CRegDatRun& run, std::vector<bool>& removed)
{
    const CRegistrationPlan& plan = run.plan;
    CRecord entries(CRecord::List);
    removed.assign(static_cast<size_t>(plan.m_nEntries), false);
    for (int i = 0; i < plan.m_nEntries; ++i)
    {
        const CRegistrationEntry& entry = plan.m_entries[i];
        CFoundValue found;
        if (!entry.IsTooLong())
            found = ReadValue(entry, plan.m_view);
        const char* pszStatus = run.Status(entry.IsTooLong() ? kSkip : kAbsent);
        CString strError;
        if (found.m_state != ValueSame && found.m_state != ValueMissing)
        {
            pszStatus = run.Status(kKeep);
            run.Warn(EntryPlace(entry) + ": " + WhyKept(found) + ": kept");
        }
        else if (found.m_state == ValueSame)
        {
            LONG lStatus = ERROR_SUCCESS;
            if (run.bWrite)
            {
                CKeyHandle hKey;
                lStatus = OpenRegKey(entry.m_pRoot->m_hRoot, entry.m_strKey, kKeyWrite, plan.m_view, hKey);
                if (lStatus == ERROR_SUCCESS)
                    lStatus = DeleteRegValue(hKey, entry.m_strName);
            }
            removed[i] = lStatus == ERROR_SUCCESS;
            pszStatus = run.Status(removed[i] ? kRemove : kFail);
            if (!removed[i])
            {
                strError = DescribeError(static_cast<DWORD>(lStatus));
                run.nResult = Fail("%s: %s", EntryPlace(entry).GetString(), strError.GetString());
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

// The keys unregister may remove, deepest first: the plan's two, and the
// keys a CLSID holding "\" made between them and CLSID.
std::vector<CString> KeysToRemove(const CRegistrationPlan& plan)
{
    std::vector<CString> strKeys;
    for (int i = 0; i < plan.m_nEntries; ++i)
        if (std::find(strKeys.begin(), strKeys.end(), plan.m_entries[i].m_strKey) == strKeys.end())
            strKeys.push_back(plan.m_entries[i].m_strKey);
    std::stable_sort(strKeys.begin(), strKeys.end(),
                     [](const CString& a, const CString& b) { return a.GetLength() > b.GetLength(); });
    const int nClassesLength = CString(g_szClassesKey).GetLength();
    for (int n = plan.m_strClassKey.ReverseFind('\\'); n > nClassesLength; n = strKeys.back().ReverseFind('\\'))
        strKeys.push_back(plan.m_strClassKey.Left(n));
    return strKeys;
}

// Then the keys, each only when nothing is left in it. In a dry run a key
// counts as empty when all it holds are values and keys that would go.
CRecord RemoveKeys(CRegDatRun& run, const std::vector<bool>& removed)
{
    const CRegistrationPlan& plan = run.plan;
    const std::vector<CString> strKeys = KeysToRemove(plan);
    CRecord keys(CRecord::List);
    for (const CRegistrationRoot& root : g_registrationRoots)
    {
        bool bChildGoes = false;
        for (const CString& strKey : strKeys)
        {
            DWORD dwSubKeys = 0, dwValues = 0;
            if (!CountKey(root.m_hRoot, strKey, plan.m_view, dwSubKeys, dwValues))
            {
                bChildGoes = false;
                continue;
            }
            if (!run.bWrite)
            {
                for (int i = 0; i < plan.m_nEntries; ++i)
                    if (removed[i] && plan.m_entries[i].m_pRoot == &root && plan.m_entries[i].m_strKey == strKey)
                        --dwValues;
                if (bChildGoes && dwSubKeys > 0)
                    --dwSubKeys;
            }
            bool bEmpty = dwSubKeys == 0 && dwValues == 0;
            const char* pszStatus = run.Status(bEmpty ? kRemoveKey : kKeepKey);
            CString strError;
            const LONG lStatus = bEmpty && run.bWrite ? DeleteRegKey(root.m_hRoot, strKey, plan.m_view) : ERROR_SUCCESS;
            if (lStatus != ERROR_SUCCESS)
            {
                pszStatus = run.Status(kFail);
                bEmpty = false;
                strError = DescribeError(static_cast<DWORD>(lStatus));
                run.nResult = Fail("%s\\%s: %s", root.m_pszName, strKey.GetString(), strError.GetString());
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

// register: the value lines, with what was written when --write is given.
// The dry run predicts what the registry refuses; writing then reports the
// platform's own reason. include receives whether registration writes each
// entry.
CRecord ListEntries(CRegDatRun& run, std::vector<bool>& include)
{
    const CRegistrationPlan& plan = run.plan;
    LONG status[kRegistrationEntries] = {};
    if (run.bWrite)
        WriteRegistration(plan, &status);
    CRecord entries(CRecord::List);
    include.assign(static_cast<size_t>(plan.m_nEntries), false);
    for (int i = 0; i < plan.m_nEntries; ++i)
    {
        const CRegistrationEntry& entry = plan.m_entries[i];
        const char* pszRefusal = entry.GetKeyRefusal();
        const char* pszStatus = run.Status(kWrite);
        CString strError;
        if (entry.IsTooLong())
        {
            pszStatus = run.Status(kSkip);
        }
        else if (run.bWrite ? status[i] != ERROR_SUCCESS : pszRefusal != nullptr)
        {
            pszStatus = run.Status(kFail);
            strError = pszRefusal != nullptr ? CString(pszRefusal) : CString();
            if (run.bWrite)
                strError += (pszRefusal != nullptr ? "; the registry answers: " : "") +
                            DescribeError(static_cast<DWORD>(status[i]));
            run.nResult = Fail("%s: %s", EntryPlace(entry).GetString(), strError.GetString());
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
    return entries;
}

// register: the files of the formats asked for.
void WriteFormats(CRegDatRun& run, const std::vector<bool>& include)
{
    const CFormatInput input{run.plan, include};
    for (const CRegistrationFormat& format : GetRegistrationFormats())
    {
        const std::wstring* pstrFile = run.cmd.ValueOf(format.option);
        if (pstrFile == nullptr)
            continue;
        std::vector<CString> problems;
        const std::string bytes = format.pfnRender(input, problems);
        for (const CString& strProblem : problems)
            run.nResult = Fail("%s", strProblem.GetString());
        CString strReason = WriteWholeFile(*pstrFile, bytes);
        if (!strReason.IsEmpty())
            run.nResult = FailName(*pstrFile, strReason);
        else
            run.out.FileName(format.pszField, *pstrFile);
    }
}

// check: the values in one view; bRegistered tells whether each one that
// registration writes is there.
CRecord CheckView(CRegDatRun& run, RegistryView view, bool& bRegistered)
{
    const CRegistrationPlan& plan = run.plan;
    static const char* const statuses[] = {"missing", "ok", "differs", "not-string", "unreadable"};
    CRecord entries(CRecord::List);
    bRegistered = true;
    for (int i = 0; i < plan.m_nEntries; ++i)
    {
        const CRegistrationEntry& entry = plan.m_entries[i];
        const CFoundValue found = ReadValue(entry, view);
        bRegistered = bRegistered && (entry.IsTooLong() || found.m_state == ValueSame);
        CRecord record = EntryRecord(entry.IsTooLong() ? "left-out" : statuses[found.m_state], entry, "expected");
        if (found.m_state == ValueMissing || found.m_state == ValueUnreadable)
            record.Null("found").ShownAs("");
        else if (found.m_state == ValueNotString)
            record.Text("found", TypeName(found.m_dwType));
        else
            record.FileName("found", found.m_strData);
        if (found.m_state == ValueUnreadable)
        {
            const CString strError = DescribeError(static_cast<DWORD>(found.m_lError));
            Fail("%d-bit view: %s: %s", GetViewBits(view), EntryPlace(entry).GetString(), strError.GetString());
            record.Text("error", strError).JsonOnly();
        }
        entries.Nested(nullptr, record);
    }
    return CRecord(CRecord::Lines)
        .Number("view", static_cast<unsigned>(GetViewBits(view)))
        .Nested("entries", entries)
        .Bool("registered", bRegistered)
        .JsonOnly();
}

// The commands on a REG.DAT: REG.DAT read and the header printed (with a
// view line unless the command shows its views itself), then the
// command's own part, then the warnings for JSON.
int ActOnRegDat(const CCommandLine& cmd, CRecord& out, void (*pfnAct)(CRegDatRun& run), bool bViewLine = true)
{
    CRegDatRun run = {cmd, out, cmd.Has(g_write), ViewsOf(cmd), {}, CRecord(CRecord::List), ExitSuccess};
    if (Prepare(run, bViewLine))
    {
        pfnAct(run);
        out.Nested("warnings", run.warnings).JsonOnly();
    }
    return run.nResult;
}

} // namespace

int RunRegister(const CCommandLine& cmd, CRecord& out)
{
    return ActOnRegDat(cmd, out, [](CRegDatRun& run) {
        std::vector<bool> include;
        run.out.Nested("entries", ListEntries(run, include));
        WriteFormats(run, include);
    });
}

int RunUnregister(const CCommandLine& cmd, CRecord& out)
{
    return ActOnRegDat(cmd, out, [](CRegDatRun& run) {
        std::vector<bool> removed;
        run.out.Nested("entries", RemoveValues(run, removed));
        run.out.Nested("keys", RemoveKeys(run, removed));
    });
}

int RunCheck(const CCommandLine& cmd, CRecord& out)
{
    return ActOnRegDat(cmd, out, [](CRegDatRun& run) {
        std::vector<RegistryView> registered;
        CRecord blocks(CRecord::List);
        for (RegistryView view : run.views)
        {
            bool bRegistered = false;
            blocks.Nested(nullptr, CheckView(run, view, bRegistered));
            if (bRegistered)
                registered.push_back(view);
        }
        run.out.Nested("views", blocks);
        CString strSummary = "not registered as REG.DAT says";
        if (registered.size() == run.views.size())
            strSummary = run.views.size() > 1 ? "registered in both views" : "registered";
        else if (!registered.empty())
            strSummary.Format("registered in the %d-bit view only", GetViewBits(registered[0]));
        run.out.Text("summary", strSummary);
        if (registered.size() != run.views.size())
            run.nResult = ExitFailure;
    }, false);
}
