// kestrum.exe: a command-line companion to Kestrum.ocx for setup authors
// and support engineers, built on the same library.
//
//   kestrum COMMAND [--json] OPERANDS...
//   kestrum help [COMMAND]      (also --help and its other spellings, globally or after COMMAND)
//   kestrum --version
//
// Adding a command is one row in the table below and one handler; adding
// an option is one declaration, named in the rows of the commands that
// take it.
#include "tools/kestrum/Tool.h"
#include "KestrumVersion.h"

#include "framework/Exceptions.h"
#include "framework/SystemLibrary.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

bool TakeView(CCommandLine& cmd, const COption& option, const std::wstring& strValue);
int RunHelp(const CCommandLine& cmd, CRecord& out);

// Options of no command: they replace what the command line asks for.
const COption g_help = {"--help", nullptr, nullptr, "the command list, or with a command its help", "/? -? -h /h",
                        TakeSwitch<&CCommandLine::m_bHelp>};
const COption g_version = {"--version", nullptr, nullptr, "the tool's version", nullptr,
                           TakeSwitch<&CCommandLine::m_bVersion>};
const COption* const g_globalOptions[] = {&g_help, &g_version};

const COption g_json = {"--json", nullptr, nullptr, "print one JSON document instead of text lines", nullptr,
                        TakeSwitch<&CCommandLine::m_bJson>};
const COption g_write = {"--write", nullptr, nullptr, "change the registry; without it nothing is changed", nullptr,
                         TakeSwitch<&CCommandLine::m_bWrite>};
// Two declarations of one name: the commands that change the registry
// act on one view, check may look at both. Both take a value.
const COption g_view = {"--view", "32|64", "32 or 64",
                        "the registry view; default: the one regsvr32 of this bitness writes", nullptr,
                        TakeView};
const COption g_views = {"--view", "32|64|both", "32, 64 or both",
                         "the registry view, or both in turn; default: the one regsvr32 of this bitness writes",
                         nullptr, TakeView};

bool TakeView(CCommandLine& cmd, const COption& option, const std::wstring& strValue)
{
    cmd.m_nView = strValue == L"32" ? 32 : strValue == L"64" ? 64 : 0;
    if (&option == &g_views && strValue == L"both")
        cmd.m_nView = kBothViews;
    return cmd.m_nView != 0;
}

template <typename... T>
std::vector<const COption*> Options(std::vector<const COption*> options, const T&... more)
{
    for (const std::vector<const COption*>& list : {more...})
        options.insert(options.end(), list.begin(), list.end());
    return options;
}

const std::vector<CCommand>& GetCommands()
{
    static const std::vector<CCommand> commands = {
        {"checksum", "FILE...", "one-byte XOR checksum of each file",
         "Prints \"0x5A<TAB>FILE\" a line. An empty file gives 0x00. A file another program\n"
         "holds open for writing cannot be read this way (the checksum maps it).",
         1, -1, {&g_json}, RunChecksum},
        {"size", "FILE...", "length of each file, as a number and as text",
         "Prints \"BYTES<TAB>TEXT<TAB>FILE\" a line, TEXT as the platform formats sizes (\"4.88 KB\").", 1, -1,
         {&g_json}, RunSize},
        {"times", "FILE...", "creation, last-access and last-write time of each file",
         "Prints \"CREATION<TAB>ACCESS<TAB>WRITE<TAB>FILE\" a line, each time local,\n"
         "\"YYYY-MM-DD hh:mm:ss.mmm\".",
         1, -1, {&g_json}, RunTimes},
        {"ls", "DIR [PATTERN]", "files of a folder that match PATTERN (default *.*)",
         "Prints one name a line, in the order the file system reports them; folders\n"
         "are left out. \"/\" in DIR counts as \"\\\".",
         1, 2, {&g_json}, RunList},
        {"dirs", "DIR", "sub-folders of a folder",
         "Prints one name a line, in the order the file system reports them, without\n"
         "\".\" and \"..\".",
         1, 1, {&g_json}, RunDirs},
        {"scheme", "URL...", "scheme word of each URL (http, https, ftp, mms, rtsp, unk...)",
         "Prints \"SCHEME<TAB>URL\" a line. A URL the parser rejects has the empty word;\n"
         "a scheme the parser does not know and that is not a streaming one gives \"unk\".",
         1, -1, {&g_json}, RunScheme},
        {"version", "FILE", "file version from a file's version resource",
         "Prints \"major.minor.build.revision\" of the fixed file version. FILE may be a\n"
         "pattern that matches one file.",
         1, 1, {&g_json}, RunVersion},
        {"register", "DIR|FILE", "what Kestrum.ocx registers for a REG.DAT",
         "Reads DIR\\REG.DAT (or the REG.DAT named) exactly as DllRegisterServer does (its\n"
         "four values in order, stopping at the first empty one) and prints the file,\n"
         "the drive, the registry view (32 or 64) and each value read, then one line\n"
         "per registry value: STATUS<TAB>ROOT<TAB>KEY<TAB>NAME<TAB>DATA, root by root in\n"
         "writing order. STATUS is \"write\"; \"skip\" for data over 254 bytes, which\n"
         "registration leaves out; \"fail\" for a key the registry refuses (a name over\n"
         "255 or a path over 260 characters). With --write STATUS is \"written\",\n"
         "\"skipped\" or \"failed\", with the reason on standard error. A registry script\n"
         "names no view; a WiX fragment (v3 schema, UTF-8) has component group\n"
         "KestrumRegistration, one component per root, Win64 as the view. A CLSID that\n"
         "is not an 8-4-4-4-12 class identifier or holds a \"\\\", and a value left out,\n"
         "are warned about. A REG.DAT that registers nothing prints \"stop<TAB>KEY\" and\n"
         "exits 1.",
         1, 1, Options({&g_json, &g_write, &g_view}, GetFormatOptions()), RunRegister},
        {"unregister", "DIR|FILE", "undo what registration from a REG.DAT wrote",
         "Reads REG.DAT as register does, then removes each value registration\n"
         "wrote that still holds exactly REG.DAT's data, and then each of its keys\n"
         "left empty. Prints STATUS<TAB>ROOT<TAB>KEY<TAB>NAME<TAB>DATA per value, STATUS\n"
         "\"remove\", \"keep\" (it holds other data now: reported, left alone), \"absent\"\n"
         "or \"skip\"; then STATUS<TAB>ROOT<TAB>KEY per key, \"remove-key\" or \"keep-key\".\n"
         "With --write STATUS reads \"removed\", \"kept\", \"removed-key\", \"kept-key\"\n"
         "or \"failed\".",
         1, 1, {&g_json, &g_write, &g_view}, RunUnregister},
        {"check", "DIR|FILE", "whether the registry holds what registration from a REG.DAT writes",
         "Reads REG.DAT as register does and reads each value registration writes back\n"
         "from the registry, in the view asked: \"view<TAB>BITS\", then one line per value,\n"
         "STATUS<TAB>ROOT<TAB>KEY<TAB>NAME<TAB>EXPECTED<TAB>FOUND. STATUS is \"ok\", \"missing\",\n"
         "\"differs\" (other data, compared exactly), \"not-string\" (not REG_SZ),\n"
         "\"unreadable\" (the reason on standard error) or \"left-out\" (data over 254\n"
         "bytes, which registration skips). A last line \"summary<TAB>TEXT\" says whether\n"
         "the values are there, and with --view both in which view. Exits 0 when every\n"
         "value registration writes is \"ok\" in each view asked, else 1.",
         1, 1, {&g_json, &g_views}, RunCheck},
        {"dx", "", "installed DirectX release: by the diagnostic provider, by the system files, combined",
         "Prints \"provider<TAB>RELEASE\" and \"files<TAB>RELEASE\" (\"none\" where a method\n"
         "finds nothing), then \"release<TAB>0xNUMBER<TAB>TEXT\": the provider's answer, or the\n"
         "files' when the provider fails, as QueryDirectXVersion reports it.",
         0, 0, {&g_json}, RunDx},
        {"help", "[COMMAND]", "the command list, or one command's help", "", 0, 1, {}, RunHelp},
    };
    return commands;
}

// Command names, like other Windows tools' commands, ignore case (ASCII).
bool SameName(const char* pszA, const char* pszB)
{
    for (; *pszA != '\0' && *pszB != '\0'; ++pszA, ++pszB)
        if (std::tolower(static_cast<unsigned char>(*pszA)) != std::tolower(static_cast<unsigned char>(*pszB)))
            return false;
    return *pszA == *pszB;
}

const CCommand* FindCommand(const char* pszName)
{
    for (const CCommand& command : GetCommands())
        if (SameName(command.pszName, pszName))
            return &command;
    return nullptr;
}

bool Takes(const CCommand& command, const COption& option)
{
    for (const COption* pOption : command.options)
        if (pOption == &option)
            return true;
    return false;
}

// "--view 32|64", as usage shows an option.
CString OptionUsage(const COption& option)
{
    return CString(option.pszName) + (option.pszValue != nullptr ? CString(" ") + option.pszValue : CString());
}

void PrintOptionLine(FILE* pOut, const COption& option)
{
    // "/? -h" reads " (also /?, -h)".
    CString strAliases;
    for (const char* pch = option.pszAliases; pch != nullptr && *pch != '\0'; ++pch)
        strAliases += *pch == ' ' ? CString(", ") : CString(*pch);
    if (!strAliases.IsEmpty())
        strAliases = " (also " + strAliases + ")";
    std::fprintf(pOut, "  %-18s %s%s\n", OptionUsage(option).GetString(), option.pszHelp, strAliases.GetString());
}

void PrintUsage(FILE* pOut)
{
    std::fputs("usage: kestrum COMMAND [--json] OPERANDS...\n"
               "       kestrum help [COMMAND]\n"
               "       kestrum --version\n\n"
               "Commands:\n",
               pOut);
    for (const CCommand& command : GetCommands())
        std::fprintf(pOut, "  %-10s %-14s %s\n", command.pszName, command.pszOperands, command.pszSummary);
    std::fputs("\nOptions of no command:\n", pOut);
    for (const COption* pOption : g_globalOptions)
        PrintOptionLine(pOut, *pOption);
    std::fputs("\nOperands may name files and folders in any script; FILE operands may hold\n"
               "the wildcards * and ? in their last part. Options may stand anywhere; \"--\"\n"
               "ends them.\n"
               "Output: one record a line, fields separated by a tab, with tab, line breaks,\n"
               "\\ and control bytes escaped (\\t \\n \\r \\\\ \\xHH). To a file or a pipe it is\n"
               "text in the active code page, characters of a file name that the code page\n"
               "lacks as \\uXXXX; to a console it is UTF-16, every character as it is.\n"
               "--json prints one JSON document instead (UTF-8, as ASCII with other\n"
               "characters as \\u escapes), failures included. Errors go to standard error,\n"
               "one line each.\n"
               "Exit codes: 0 success; 1 failure (missing file, no version resource, nothing\n"
               "to register, a write that failed, a value check finds not as registered);\n"
               "2 usage error.\n",
               pOut);
}

void PrintCommandHelp(const CCommand& command)
{
    CString strUsage = CString("usage: kestrum ") + command.pszName;
    if (Takes(command, g_json))
        strUsage += CString(" [") + g_json.pszName + "]";
    if (*command.pszOperands != '\0')
        strUsage += CString(" ") + command.pszOperands;
    for (const COption* pOption : command.options)
        if (pOption != &g_json)
            strUsage += " [" + OptionUsage(*pOption) + "]";
    CString strSummary = command.pszSummary;
    strSummary.SetAt(0, static_cast<char>(std::toupper(static_cast<unsigned char>(strSummary[0]))));
    std::printf("%s\n\n%s.\n", strUsage.GetString(), strSummary.GetString());
    if (*command.pszDetails != '\0')
        std::printf("%s\n", command.pszDetails);
    if (command.options.empty())
        return;
    std::fputs("\nOptions:\n", stdout);
    for (const COption* pOption : command.options)
        PrintOptionLine(stdout, *pOption);
}

// Reports a usage error; with --json also as the run's document. The
// message is exact text, a name the code page cannot spell included.
int UsageError(bool bJson, const char* pszCommand, const std::wstring& strMessage)
{
    WriteError(TextOfFileName(strMessage) + " (see kestrum help" + (pszCommand != nullptr ? " " : "") +
               (pszCommand != nullptr ? pszCommand : "") + ")");
    if (bJson)
        CRecord().FileName("error", strMessage).Print(true);
    return ExitUsage;
}

std::wstring Quoted(const char* pszBefore, const std::wstring& strArg)
{
    return ToWide(pszBefore) + L"'" + strArg + L"'";
}

bool IsAlias(const COption& option, const std::wstring& strArg)
{
    if (option.pszAliases == nullptr)
        return false;
    CString strAliases = option.pszAliases;
    for (int nStart = 0; nStart <= strAliases.GetLength();)
    {
        int nEnd = strAliases.Find(' ', nStart);
        if (nEnd < 0)
            nEnd = strAliases.GetLength();
        if (SameName(strAliases.Mid(nStart, nEnd - nStart), ToCodePage(strArg)))
            return true;
        nStart = nEnd + 1;
    }
    return false;
}

// The declaration an argument names, by its name or "NAME=VALUE" (an
// option with a value only), among all the tool's options; null for none.
// Options of one name agree on taking a value, so the first one tells.
const COption* FindOption(const std::wstring& strArg)
{
    std::vector<const COption*> all(std::begin(g_globalOptions), std::end(g_globalOptions));
    for (const CCommand& command : GetCommands())
        all.insert(all.end(), command.options.begin(), command.options.end());
    for (const COption* pOption : all)
    {
        const std::wstring strName = ToWide(pOption->pszName);
        if ((strArg.compare(0, strName.size(), strName) == 0 &&
             (strArg.size() == strName.size() || (pOption->pszValue != nullptr && strArg[strName.size()] == L'='))) ||
            IsAlias(*pOption, strArg))
            return pOption;
    }
    return nullptr;
}

// An option as the command line gives it.
struct CGivenOption
{
    const COption* pOption;     // the first declaration of its name
    std::wstring strValue;
    bool bValueMissing;         // a value option without one, or with one that begins with "--"
};

bool IsOptionLike(const std::wstring& strArg)
{
    return strArg.size() >= 2 && strArg[0] == L'-';
}

// The option of the command that has the name given, or a global one; null
// when the command does not take it.
const COption* ResolveOption(const CCommand* pCommand, const COption& given)
{
    for (const COption* pOption : g_globalOptions)
        if (pOption == &given)
            return pOption;
    if (pCommand != nullptr)
        for (const COption* pOption : pCommand->options)
            if (std::strcmp(pOption->pszName, given.pszName) == 0)
                return pOption;
    return nullptr;
}

int Run(const std::vector<std::wstring>& args, bool& bJson)
{
    // Options may stand anywhere; "--" ends them, so an operand may begin
    // with "-". The first error is reported once every option is known, so
    // that --json is decided like any other.
    CCommandLine cmd;
    std::vector<CGivenOption> given;
    std::wstring strFirstError;
    bool bOptionsDone = false;
    std::wstring strWideCommand;
    CString strCommand;
    bool bCommand = false;
    for (size_t i = 1; i < args.size(); ++i)
    {
        const std::wstring& strArg = args[i];
        if (!bOptionsDone && strArg == L"--")
        {
            bOptionsDone = true;
            continue;
        }
        const COption* pOption = bOptionsDone ? nullptr : FindOption(strArg);
        if (pOption == nullptr && !bOptionsDone && IsOptionLike(strArg))
        {
            if (strFirstError.empty())
                strFirstError = Quoted("unknown option ", strArg);
            continue;
        }
        if (pOption == nullptr)
        {
            if (!bCommand)
            {
                strWideCommand = strArg;
                strCommand = ToCodePage(strArg);
                bCommand = true;
            }
            else
            {
                cmd.m_args.push_back(ToCodePage(strArg));
                cmd.m_wideArgs.push_back(strArg);
            }
            continue;
        }
        CGivenOption option = {pOption, std::wstring(), false};
        if (pOption->pszValue != nullptr)
        {
            const size_t nName = std::strlen(pOption->pszName);
            if (strArg.size() > nName)
                option.strValue = strArg.substr(nName + 1);
            else if (i + 1 < args.size() && args[i + 1].compare(0, 2, L"--") != 0)
                option.strValue = args[++i];
            option.bValueMissing = option.strValue.compare(0, 2, L"--") == 0 || option.strValue.empty();
        }
        bJson = bJson || pOption == &g_json;
        given.push_back(option);
    }

    const CCommand* pCommand = bCommand ? FindCommand(strCommand) : nullptr;
    const char* pszCommand = pCommand != nullptr ? pCommand->pszName : nullptr;
    if (!strFirstError.empty())
        return UsageError(bJson, pszCommand, strFirstError);
    const std::wstring strName = ToWide(pszCommand != nullptr ? pszCommand : "");
    for (const CGivenOption& option : given)
    {
        const COption* pOption = ResolveOption(pCommand, *option.pOption);
        if (pOption == nullptr && pCommand == nullptr)
            continue;   // an option of a command: the missing command is the error
        if (pOption == nullptr)
            return UsageError(bJson, pszCommand, strName + L" does not take " + ToWide(option.pOption->pszName));
        if (option.bValueMissing || !pOption->pfnTake(cmd, *pOption, option.strValue))
            return UsageError(bJson, pszCommand, ToWide(pOption->pszName) + L" takes " + ToWide(pOption->pszTakes));
    }

    if (cmd.m_bVersion)
    {
        CRecord()
            .Text("name", "kestrum")
            .JsonOnly()
            .Text("version", KESTRUM_VERSION_TEXT)
            .ShownAs("kestrum " KESTRUM_VERSION_TEXT)
            .Print(bJson);
        return ExitSuccess;
    }
    if (!bCommand)
    {
        PrintUsage(cmd.m_bHelp ? stdout : stderr);
        if (!cmd.m_bHelp && bJson)
            CRecord().Text("error", "no command given").Print(true);
        return cmd.m_bHelp ? ExitSuccess : ExitUsage;
    }
    if (pCommand == nullptr)
        return UsageError(bJson, nullptr, Quoted("unknown command ", strWideCommand));
    if (cmd.m_bHelp)
    {
        PrintCommandHelp(*pCommand);
        return ExitSuccess;
    }
    int nArgs = static_cast<int>(cmd.m_args.size());
    if (nArgs < pCommand->nMinArgs)
        return UsageError(bJson, pszCommand, strName + L" needs more operands");
    if (pCommand->nMaxArgs >= 0 && nArgs > pCommand->nMaxArgs)
        return UsageError(bJson, pszCommand, strName + L" takes fewer operands");

    CRecord out;
    int nResult = pCommand->pfnRun(cmd, out);
    if (nResult == ExitUsage)
        return nResult;
    // A check that finds the registry otherwise has an answer, not an error.
    if (bJson && nResult != ExitSuccess && out.GetLayout() != CRecord::List && !GetFirstComplaint().empty())
        out.FileName("error", GetFirstComplaint()).JsonOnly();
    out.Print(bJson);
    return nResult;
}

// help [COMMAND]
int RunHelp(const CCommandLine& cmd, CRecord&)
{
    if (cmd.m_args.empty())
    {
        PrintUsage(stdout);
        return ExitSuccess;
    }
    const CCommand* pTopic = FindCommand(cmd.m_args[0]);
    if (pTopic == nullptr)
        return UsageError(cmd.m_bJson, nullptr, Quoted("unknown command ", cmd.m_wideArgs[0]));
    PrintCommandHelp(*pTopic);
    return ExitSuccess;
}

} // namespace

bool TakeFileName(CCommandLine& cmd, const COption& option, const std::wstring& strValue)
{
    // Given twice, the last one counts.
    for (auto& file : cmd.m_files)
        if (file.first == &option)
            file.second = strValue;
    if (cmd.FileOf(option) == nullptr)
        cmd.m_files.emplace_back(&option, strValue);
    return !strValue.empty();
}

const std::wstring* CCommandLine::FileOf(const COption& option) const
{
    for (const auto& file : m_files)
        if (file.first == &option)
            return &file.second;
    return nullptr;
}

// The arguments in UTF-16, so that an operand may name a file or folder in
// any script, whatever the active code page.
int wmain(int argc, wchar_t** argv)
{
    // Before anything can load a DLL by name: none from this program's
    // folder, which may be a download folder.
    RestrictDllSearchToSystemFolder();
    // Nothing is thrown past main: an exception ends the command with a
    // message and the failure code.
    bool bJson = false;
    try
    {
        const std::vector<std::wstring> args(argv, argv + argc);
        int nResult = Run(args, bJson);
        if (std::fflush(stdout) != 0)
            return ExitFailure;
        return nResult;
    }
    catch (...)
    {
        const char* pszWhat = nullptr;
        StatusOfException(&pszWhat);
        WriteError(pszWhat);
        if (bJson)
            CRecord().Text("error", pszWhat).Print(true);
    }
    return ExitFailure;
}
