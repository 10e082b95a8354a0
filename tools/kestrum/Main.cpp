// kestrum.exe: a command-line companion to Kestrum.ocx for setup authors
// and support engineers, built on the same library.
//
//   kestrum COMMAND [--json] OPERANDS...
//   kestrum help [COMMAND]      (also /?, -?, -h, /h, --help, globally or after COMMAND)
//   kestrum --version
//
// Adding a command is one row in the table below and one handler.
#include "tools/kestrum/Tool.h"
#include "KestrumVersion.h"

#include "framework/Exceptions.h"
#include "framework/SystemLibrary.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

const CCommand g_commands[] = {
    {"checksum", "FILE...", "one-byte XOR checksum of each file",
     "Prints \"0x5A<TAB>FILE\" a line. An empty file gives 0x00. A file another program\n"
     "holds open for writing cannot be read this way (the checksum maps it).",
     1, -1, 0, RunChecksum},
    {"size", "FILE...", "length of each file, as a number and as text",
     "Prints \"BYTES<TAB>TEXT<TAB>FILE\" a line, TEXT as the platform formats sizes (\"4.88 KB\").", 1, -1, 0,
     RunSize},
    {"times", "FILE...", "creation, last-access and last-write time of each file",
     "Prints \"CREATION<TAB>ACCESS<TAB>WRITE<TAB>FILE\" a line, each time local,\n"
     "\"YYYY-MM-DD hh:mm:ss.mmm\".",
     1, -1, 0, RunTimes},
    {"ls", "DIR [PATTERN]", "files of a folder that match PATTERN (default *.*)",
     "Prints one name a line, in the order the file system reports them; folders\n"
     "are left out. \"/\" in DIR counts as \"\\\".",
     1, 2, 0, RunList},
    {"dirs", "DIR", "sub-folders of a folder",
     "Prints one name a line, in the order the file system reports them, without\n"
     "\".\" and \"..\".",
     1, 1, 0, RunDirs},
    {"scheme", "URL...", "scheme word of each URL (http, https, ftp, mms, rtsp, unk...)",
     "Prints \"SCHEME<TAB>URL\" a line. A URL the parser rejects has the empty word;\n"
     "a scheme the parser does not know and that is not a streaming one gives \"unk\".",
     1, -1, 0, RunScheme},
    {"version", "FILE", "file version from a file's version resource",
     "Prints \"major.minor.build.revision\" of the fixed file version. FILE may be a\n"
     "pattern that matches one file.",
     1, 1, 0, RunVersion},
    {"register", "DIR|FILE", "what Kestrum.ocx registers for a REG.DAT",
     "Reads DIR\\REG.DAT (or the REG.DAT named) exactly as DllRegisterServer does\n"
     "(CLSID, TITLE, VERSION, PATH, stopping at the first empty one) and prints\n"
     "the file, the drive, the registry view (32 or 64) and each value read, then\n"
     "one line per registry value: STATUS<TAB>ROOT<TAB>KEY<TAB>NAME<TAB>DATA, for\n"
     "HKEY_CURRENT_USER and then HKEY_LOCAL_MACHINE. STATUS is \"write\"; \"skip\" for\n"
     "data over 254 bytes, which registration leaves out; \"fail\" for a key the\n"
     "registry refuses (a name over 255 or a path over 260 characters). Nothing is\n"
     "written unless --write is given; then STATUS is \"written\", \"skipped\" or\n"
     "\"failed\", with the reason on standard error. --view writes that registry\n"
     "view; the default is the one regsvr32 of this program's bitness writes.\n"
     "--reg writes the values to SCRIPT as a registry script (regedit's format,\n"
     "which installer tools harvest); the script names no view. --wxs writes them\n"
     "to FILE as a WiX source fragment (v3 schema, UTF-8) for a Windows Installer\n"
     "package: component group KestrumRegistration, one component per root, Win64\n"
     "as the view. A CLSID that is not an 8-4-4-4-12 class identifier or holds a\n"
     "\"\\\", and a value left out, are warned about. A REG.DAT that registers\n"
     "nothing prints \"stop<TAB>KEY\" and exits 1.",
     1, 1, OptionWrite | OptionView | OptionScript | OptionFragment, RunRegister},
    {"unregister", "DIR|FILE", "undo what registration from a REG.DAT wrote",
     "Reads REG.DAT as register does, then removes each value registration\n"
     "wrote that still holds exactly REG.DAT's data, and then each of its keys\n"
     "left empty. Prints STATUS<TAB>ROOT<TAB>KEY<TAB>NAME<TAB>DATA per value, STATUS\n"
     "\"remove\", \"keep\" (it holds other data now: reported, left alone), \"absent\"\n"
     "or \"skip\"; then STATUS<TAB>ROOT<TAB>KEY per key, \"remove-key\" or \"keep-key\".\n"
     "Nothing is removed unless --write is given; then STATUS reads \"removed\",\n"
     "\"kept\", \"removed-key\", \"kept-key\" or \"failed\".",
     1, 1, OptionWrite | OptionView, RunUnregister},
    {"dx", "", "installed DirectX release: by the diagnostic provider, by the system files, combined",
     "Prints \"provider<TAB>RELEASE\" and \"files<TAB>RELEASE\" (\"none\" where a method\n"
     "finds nothing), then \"release<TAB>0xNUMBER<TAB>TEXT\": the provider's answer, or the\n"
     "files' when the provider fails, as QueryDirectXVersion reports it.",
     0, 0, 0, RunDx},
    {"help", "[COMMAND]", "the command list, or one command's help", "Also /?, -?, -h, /h and --help.", 0, 1, 0,
     nullptr},
};

// What the command line says beside the command and its operands.
struct CParsed
{
    CCommandLine cmd;
    unsigned uOptions = 0;   // CommandOption bits of the options given
    bool bHelp = false;
    bool bVersion = false;
};

// One row per option: parsing, the commands' help and the usage errors all
// follow from it. A value option takes "--view 64" or "--view=64"; its
// taker answers false for a value it refuses, and the usage error is then
// pszRefusal.
struct COption
{
    const char* pszName;
    const char* pszValue;     // "32|64" in help; null for an option without a value
    unsigned uBit;            // CommandOption bit; 0 for an option of every command
    const char* pszRefusal;
    bool (*pfnTake)(CParsed& parsed, const std::wstring& strValue);
};

const COption g_options[] = {
    {"--json", nullptr, 0, nullptr, [](CParsed&, const std::wstring&) { return true; }},
    {"--version", nullptr, 0, nullptr,
     [](CParsed& parsed, const std::wstring&) { return parsed.bVersion = true; }},
    {"--write", nullptr, OptionWrite, nullptr,
     [](CParsed& parsed, const std::wstring&) { return parsed.cmd.m_bWrite = true; }},
    {"--view", "32|64", OptionView, "--view takes 32 or 64",
     [](CParsed& parsed, const std::wstring& strValue) {
         parsed.cmd.m_nView = strValue == L"32" ? 32 : strValue == L"64" ? 64 : 0;
         return parsed.cmd.m_nView != 0;
     }},
    {"--reg", "SCRIPT", OptionScript, "--reg takes a file name",
     [](CParsed& parsed, const std::wstring& strValue) {
         parsed.cmd.m_strScript = strValue;
         return !strValue.empty();
     }},
    {"--wxs", "FILE", OptionFragment, "--wxs takes a file name",
     [](CParsed& parsed, const std::wstring& strValue) {
         parsed.cmd.m_strFragment = strValue;
         return !strValue.empty();
     }},
};

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
    for (const CCommand& command : g_commands)
        if (SameName(command.pszName, pszName))
            return &command;
    return nullptr;
}

bool IsHelpOption(const std::wstring& strArg)
{
    return strArg == L"/?" || strArg == L"-?" || strArg == L"--help" || strArg == L"-h" || strArg == L"-H" ||
           strArg == L"/h" || strArg == L"/H";
}

void PrintUsage(FILE* pOut)
{
    std::fputs("usage: kestrum COMMAND [--json] OPERANDS...\n"
               "       kestrum help [COMMAND]\n"
               "       kestrum --version\n\n"
               "Commands:\n",
               pOut);
    for (const CCommand& command : g_commands)
        std::fprintf(pOut, "  %-10s %-14s %s\n", command.pszName, command.pszOperands, command.pszSummary);
    std::fputs("\nOperands may name files and folders in any script; FILE operands may hold\n"
               "the wildcards * and ? in their last part.\n"
               "Output: one record a line, fields separated by a tab, with tab, line breaks,\n"
               "\\ and control bytes escaped (\\t \\n \\r \\\\ \\xHH). To a file or a pipe it is\n"
               "text in the active code page, characters of a file name that the code page\n"
               "lacks as \\uXXXX; to a console it is UTF-16, every character as it is.\n"
               "--json prints one JSON document instead (UTF-8, as ASCII with other\n"
               "characters as \\u escapes), failures included. Errors go to standard error,\n"
               "one line each.\n"
               "Exit codes: 0 success; 1 failure (missing file, no version resource, nothing\n"
               "to register, a write that failed); 2 usage error.\n",
               pOut);
}

void PrintCommandHelp(const CCommand& command)
{
    CString strSummary = command.pszSummary;
    strSummary.SetAt(0, static_cast<char>(std::toupper(static_cast<unsigned char>(strSummary[0]))));
    CString strOptions;
    for (const COption& option : g_options)
        if (option.uBit & command.uOptions)
            strOptions += CString(" [") + option.pszName + (option.pszValue ? " " : "") +
                          (option.pszValue ? option.pszValue : "") + "]";
    const char* pszJson = command.pfnRun != nullptr ? " [--json]" : "";
    std::printf("usage: kestrum %s%s%s%s%s\n\n%s.\n%s\n", command.pszName, pszJson, *command.pszOperands ? " " : "",
                command.pszOperands, strOptions.GetString(), strSummary.GetString(), command.pszDetails);
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

// The option an argument names: "--view", "--view=64" (a value option
// only), or null.
const COption* FindOption(const std::wstring& strArg)
{
    for (const COption& option : g_options)
    {
        const std::wstring strName = ToWide(option.pszName);
        if (strArg.compare(0, strName.size(), strName) == 0 &&
            (strArg.size() == strName.size() || (option.pszValue != nullptr && strArg[strName.size()] == L'=')))
            return &option;
    }
    return nullptr;
}

// --json is known before anything can go wrong, so that a usage error or
// an exception makes a JSON document too.
bool WantsJson(const std::vector<std::wstring>& args)
{
    for (size_t i = 1; i < args.size() && args[i] != L"--"; ++i)
        if (args[i] == L"--json")
            return true;
    return false;
}

int Run(const std::vector<std::wstring>& args, bool bJson)
{
    // Options may stand anywhere; "--" ends them, so an operand may begin
    // with "-".
    CParsed parsed;
    CCommandLine& cmd = parsed.cmd;
    cmd.m_bJson = bJson;
    bool bOptionsDone = false;
    std::wstring strWideCommand;
    CString strCommand;
    bool bCommand = false;
    for (size_t i = 1; i < args.size(); ++i)
    {
        const std::wstring& strArg = args[i];
        if (!bOptionsDone && IsHelpOption(strArg))
        {
            parsed.bHelp = true;
            continue;
        }
        if (bOptionsDone || strArg.size() < 2 || strArg[0] != L'-')
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
        if (strArg == L"--")
        {
            bOptionsDone = true;
            continue;
        }
        const char* pszCommand = bCommand ? strCommand.GetString() : nullptr;
        const COption* pOption = FindOption(strArg);
        if (pOption == nullptr)
            return UsageError(bJson, pszCommand, Quoted("unknown option ", strArg));
        std::wstring strValue;
        if (pOption->pszValue != nullptr)
        {
            size_t nName = std::strlen(pOption->pszName);
            if (strArg.size() > nName)
                strValue = strArg.substr(nName + 1);
            else if (i + 1 < args.size())
                strValue = args[++i];
        }
        if (!pOption->pfnTake(parsed, strValue))
            return UsageError(bJson, pszCommand, ToWide(pOption->pszRefusal));
        parsed.uOptions |= pOption->uBit;
    }

    if (parsed.bVersion)
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
        PrintUsage(parsed.bHelp ? stdout : stderr);
        if (!parsed.bHelp && bJson)
            CRecord().Text("error", "no command given").Print(true);
        return parsed.bHelp ? ExitSuccess : ExitUsage;
    }

    const CCommand* pCommand = FindCommand(strCommand);
    if (pCommand == nullptr)
        return UsageError(bJson, nullptr, Quoted("unknown command ", strWideCommand));
    if (parsed.bHelp)
    {
        PrintCommandHelp(*pCommand);
        return ExitSuccess;
    }
    const std::wstring strName = ToWide(pCommand->pszName);
    for (const COption& option : g_options)
        if ((parsed.uOptions & option.uBit) && !(pCommand->uOptions & option.uBit))
            return UsageError(bJson, pCommand->pszName, strName + L" does not take " + ToWide(option.pszName));
    int nArgs = static_cast<int>(cmd.m_args.size());
    if (nArgs < pCommand->nMinArgs)
        return UsageError(bJson, pCommand->pszName, strName + L" needs more operands");
    if (pCommand->nMaxArgs >= 0 && nArgs > pCommand->nMaxArgs)
        return UsageError(bJson, pCommand->pszName, strName + L" takes fewer operands");

    if (pCommand->pfnRun == nullptr)
    {
        // help [COMMAND]
        if (cmd.m_args.empty())
        {
            PrintUsage(stdout);
            return ExitSuccess;
        }
        const CCommand* pTopic = FindCommand(cmd.m_args[0]);
        if (pTopic == nullptr)
            return UsageError(bJson, nullptr, Quoted("unknown command ", cmd.m_wideArgs[0]));
        PrintCommandHelp(*pTopic);
        return ExitSuccess;
    }

    CRecord out;
    int nResult = pCommand->pfnRun(cmd, out);
    if (bJson && nResult != ExitSuccess && out.GetLayout() != CRecord::List)
        out.FileName("error", GetFirstComplaint()).JsonOnly();
    out.Print(bJson);
    return nResult;
}

} // namespace

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
        bJson = WantsJson(args);
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
