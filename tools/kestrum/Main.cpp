// kestrum.exe: a command-line companion to Kestrum.ocx for setup authors
// and support engineers, built on the same library.
//
//   kestrum COMMAND [--json] OPERANDS...
//   kestrum help [COMMAND]      (also --help and its other spellings, globally or after COMMAND)
//   kestrum --version
//
// Adding a command is one row in the table below and one handler; adding
// an option is one declaration, named in the rows of the commands that
// take it, which ask the command line for its value.
#include "tools/kestrum/Tool.h"
#include "KestrumVersion.h"

#include "framework/CodePage.h"
#include "framework/Exceptions.h"
#include "framework/SystemLibrary.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

int RunHelp(const CCommandLine& cmd, CRecord& out);

// Options of no command: they replace what the command line asks for.
const COption g_help = {"--help", nullptr, nullptr, "the command list, or with a command its help", "/? -? -h /h"};
const COption g_version = {"--version", nullptr, nullptr, "the tool's version", nullptr};
const COptionUse g_globalOptions[] = {&g_help, &g_version};

const COption g_json = {"--json", nullptr, nullptr, "print one JSON document instead of text lines", nullptr};

} // namespace

const COption g_write = {"--write", nullptr, nullptr, "change the registry; without it nothing is changed", nullptr};
const COption g_view = {"--view", "32|64", nullptr,
                        "the registry view; default: the one regsvr32 of this bitness writes", nullptr};

namespace {

template <typename... T>
std::vector<COptionUse> Options(std::vector<COptionUse> options, const T&... more)
{
    for (const std::vector<COptionUse>& list : {more...})
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
         "the values are there, and with --view both (the tool's own view, then the\n"
         "other) in which view. Exits 0 when every value registration writes is \"ok\"\n"
         "in each view asked, else 1.",
         1, 1, {&g_json, {&g_view, "both"}}, RunCheck},
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

// The use of the option by the command, or by no command for the global
// options; null when neither takes it.
const COptionUse* FindUse(const CCommand* pCommand, const COption& option)
{
    for (const COptionUse& use : g_globalOptions)
        if (use.pOption == &option)
            return &use;
    if (pCommand != nullptr)
        for (const COptionUse& use : pCommand->options)
            if (use.pOption == &option)
                return &use;
    return nullptr;
}

// "32|64" gives "32" and "64".
std::vector<CString> Words(const CString& strList, char chSeparator)
{
    std::vector<CString> words;
    for (int nStart = 0; !strList.IsEmpty() && nStart <= strList.GetLength();)
    {
        int nEnd = strList.Find(chSeparator, nStart);
        if (nEnd < 0)
            nEnd = strList.GetLength();
        words.push_back(strList.Mid(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    return words;
}

// "32|64|both": the values the option takes where it is used so; "" for a
// switch or a value that may be anything.
CString ListedValues(const COptionUse& use)
{
    if (use.pOption->pszValue == nullptr || use.pOption->pszTakes != nullptr)
        return CString();
    return CString(use.pOption->pszValue) + (use.pszMore != nullptr ? CString("|") + use.pszMore : CString());
}

// Whether the use takes the value: a listed one, or any but "".
bool TakesValue(const COptionUse& use, const std::wstring& strValue)
{
    if (use.pOption->pszTakes != nullptr)
        return !strValue.empty();
    for (const CString& strWord : Words(ListedValues(use), '|'))
        if (AfxFromCodePage(strWord) == strValue)
            return true;
    return false;
}

// What the use takes, for its usage error: "a file name", "32, 64 or both".
CString TakesText(const COptionUse& use)
{
    if (use.pOption->pszTakes != nullptr)
        return use.pOption->pszTakes;
    const std::vector<CString> words = Words(ListedValues(use), '|');
    CString strText;
    for (size_t i = 0; i < words.size(); ++i)
        strText += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
    return strText;
}

// "--view 32|64", as usage shows an option.
CString OptionUsage(const COptionUse& use)
{
    const COption& option = *use.pOption;
    if (option.pszValue == nullptr)
        return option.pszName;
    return CString(option.pszName) + " " + (option.pszTakes != nullptr ? CString(option.pszValue) : ListedValues(use));
}

void PrintOptionLine(FILE* pOut, const COptionUse& use)
{
    // "/? -h" reads " (also /?, -h)".
    CString strAliases;
    for (const CString& strAlias : Words(use.pOption->pszAliases, ' '))
        strAliases += (strAliases.IsEmpty() ? " (also " : ", ") + strAlias;
    if (!strAliases.IsEmpty())
        strAliases += ")";
    std::fprintf(pOut, "  %-18s %s%s\n", OptionUsage(use).GetString(), use.pOption->pszHelp, strAliases.GetString());
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
    for (const COptionUse& use : g_globalOptions)
        PrintOptionLine(pOut, use);
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
    if (FindUse(&command, g_json) != nullptr)
        strUsage += CString(" [") + g_json.pszName + "]";
    if (*command.pszOperands != '\0')
        strUsage += CString(" ") + command.pszOperands;
    for (const COptionUse& use : command.options)
        if (use.pOption != &g_json)
            strUsage += " [" + OptionUsage(use) + "]";
    CString strSummary = command.pszSummary;
    strSummary.SetAt(0, static_cast<char>(std::toupper(static_cast<unsigned char>(strSummary[0]))));
    std::printf("%s\n\n%s.\n", strUsage.GetString(), strSummary.GetString());
    if (*command.pszDetails != '\0')
        std::printf("%s\n", command.pszDetails);
    if (command.options.empty())
        return;
    std::fputs("\nOptions:\n", stdout);
    for (const COptionUse& use : command.options)
        PrintOptionLine(stdout, use);
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
    return AfxFromCodePage(pszBefore) + L"'" + strArg + L"'";
}

bool IsAlias(const COption& option, const std::wstring& strArg)
{
    for (const CString& strAlias : Words(option.pszAliases, ' '))
        if (SameName(strAlias, AfxToCodePage(strArg)))
            return true;
    return false;
}

// The declaration an argument names, by its name or "NAME=VALUE" (an
// option with a value only), among all the tool's options; null for none.
const COption* FindOption(const std::wstring& strArg)
{
    std::vector<COptionUse> all(std::begin(g_globalOptions), std::end(g_globalOptions));
    for (const CCommand& command : GetCommands())
        all.insert(all.end(), command.options.begin(), command.options.end());
    for (const COptionUse& use : all)
    {
        const COption* pOption = use.pOption;
        const std::wstring strName = AfxFromCodePage(pOption->pszName);
        if ((strArg.compare(0, strName.size(), strName) == 0 &&
             (strArg.size() == strName.size() || (pOption->pszValue != nullptr && strArg[strName.size()] == L'='))) ||
            IsAlias(*pOption, strArg))
            return pOption;
    }
    return nullptr;
}

bool IsOptionLike(const std::wstring& strArg)
{
    return strArg.size() >= 2 && strArg[0] == L'-';
}

// An option as the command line gives it.
struct CGivenOption
{
    const COption* pOption;
    std::wstring strValue;
    bool bValueMissing;         // a value option without one, or with one that begins with "--"
};

// The command line taken apart. Options may stand anywhere; "--" ends
// them, so an operand may begin with "-". The first error is kept until
// every option is known, so that --json is decided like any other.
struct CArguments
{
    bool bCommand = false;
    std::wstring strCommand;
    std::vector<std::wstring> operands;
    std::vector<CGivenOption> options;
    std::wstring strFirstError;
    bool bJson = false;
};

CArguments SplitArguments(const std::vector<std::wstring>& args)
{
    CArguments parsed;
    bool bOptionsDone = false;
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
            if (parsed.strFirstError.empty())
                parsed.strFirstError = Quoted("unknown option ", strArg);
        }
        else if (pOption == nullptr && !parsed.bCommand)
        {
            parsed.strCommand = strArg;
            parsed.bCommand = true;
        }
        else if (pOption == nullptr)
        {
            parsed.operands.push_back(strArg);
        }
        else
        {
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
            parsed.bJson = parsed.bJson || pOption == &g_json;
            parsed.options.push_back(option);
        }
    }
    return parsed;
}

// Puts the options given into the command line, each as the command (or
// no command) takes it; the usage error of the first one it cannot take,
// else "". Without a command, the command's options wait for the command's
// own error.
std::wstring TakeOptions(const CCommand* pCommand, const std::vector<CGivenOption>& given, CCommandLine& cmd)
{
    const std::wstring strName = AfxFromCodePage(pCommand != nullptr ? pCommand->pszName : "");
    for (const CGivenOption& option : given)
    {
        const COptionUse* pUse = FindUse(pCommand, *option.pOption);
        const std::wstring strOption = AfxFromCodePage(option.pOption->pszName);
        if (pUse == nullptr && pCommand == nullptr)
            continue;
        if (pUse == nullptr)
            return strName + L" does not take " + strOption;
        if (option.bValueMissing || (option.pOption->pszValue != nullptr && !TakesValue(*pUse, option.strValue)))
            return strOption + L" takes " + AfxFromCodePage(TakesText(*pUse));
        for (auto& taken : cmd.m_options)
            if (taken.first == option.pOption)
                taken.second = option.strValue;
        if (!cmd.Has(*option.pOption))
            cmd.m_options.emplace_back(option.pOption, option.strValue);
    }
    return std::wstring();
}

// Runs the command the line names with its operands; usage and its own
// help where the line asks for them.
int RunCommand(const CCommand& command, const CCommandLine& cmd, bool bJson)
{
    if (cmd.Has(g_help))
    {
        PrintCommandHelp(command);
        return ExitSuccess;
    }
    const std::wstring strName = AfxFromCodePage(command.pszName);
    const int nArgs = static_cast<int>(cmd.m_args.size());
    if (nArgs < command.nMinArgs)
        return UsageError(bJson, command.pszName, strName + L" needs more operands");
    if (command.nMaxArgs >= 0 && nArgs > command.nMaxArgs)
        return UsageError(bJson, command.pszName, strName + L" takes fewer operands");

    CRecord out;
    int nResult = command.pfnRun(cmd, out);
    if (nResult == ExitUsage)
        return nResult;
    // A check that finds the registry otherwise has an answer, not an error.
    if (bJson && nResult != ExitSuccess && out.GetLayout() != CRecord::List && !GetFirstComplaint().empty())
        out.FileName("error", GetFirstComplaint()).JsonOnly();
    out.Print(bJson);
    return nResult;
}

int Run(const std::vector<std::wstring>& args, bool& bJson)
{
    const CArguments parsed = SplitArguments(args);
    bJson = parsed.bJson;
    const CCommand* pCommand = parsed.bCommand ? FindCommand(AfxToCodePage(parsed.strCommand)) : nullptr;
    const char* pszCommand = pCommand != nullptr ? pCommand->pszName : nullptr;
    if (!parsed.strFirstError.empty())
        return UsageError(bJson, pszCommand, parsed.strFirstError);
    CCommandLine cmd;
    const std::wstring strError = TakeOptions(pCommand, parsed.options, cmd);
    if (!strError.empty())
        return UsageError(bJson, pszCommand, strError);
    for (const std::wstring& strOperand : parsed.operands)
    {
        cmd.m_args.push_back(AfxToCodePage(strOperand));
        cmd.m_wideArgs.push_back(strOperand);
    }

    if (cmd.Has(g_version))
    {
        CRecord()
            .Text("name", "kestrum")
            .JsonOnly()
            .Text("version", KESTRUM_VERSION_TEXT)
            .ShownAs("kestrum " KESTRUM_VERSION_TEXT)
            .Print(bJson);
        return ExitSuccess;
    }
    if (!parsed.bCommand)
    {
        PrintUsage(cmd.Has(g_help) ? stdout : stderr);
        if (!cmd.Has(g_help) && bJson)
            CRecord().Text("error", "no command given").Print(true);
        return cmd.Has(g_help) ? ExitSuccess : ExitUsage;
    }
    if (pCommand == nullptr)
        return UsageError(bJson, nullptr, Quoted("unknown command ", parsed.strCommand));
    return RunCommand(*pCommand, cmd, bJson);
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
        return UsageError(cmd.Has(g_json), nullptr, Quoted("unknown command ", cmd.m_wideArgs[0]));
    PrintCommandHelp(*pTopic);
    return ExitSuccess;
}

} // namespace

const std::wstring* CCommandLine::ValueOf(const COption& option) const
{
    for (const auto& taken : m_options)
        if (taken.first == &option)
            return &taken.second;
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
