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

#include <cctype>
#include <cstdarg>
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
    {"register", "DIR|FILE [--write] [--view 32|64] [--reg SCRIPT]", "what Kestrum.ocx registers for a REG.DAT",
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
     "which installer tools harvest); the script names no view. A CLSID that is\n"
     "not an 8-4-4-4-12 class identifier or holds a \"\\\", and a value left out,\n"
     "are warned about. A REG.DAT that registers nothing prints \"stop<TAB>KEY\" and\n"
     "exits 1.",
     1, 1, OptionWrite | OptionView | OptionScript, RunRegister},
    {"unregister", "DIR|FILE [--write] [--view 32|64]", "undo what registration from a REG.DAT wrote",
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

const char* const kOptionNames[] = {"--write", "--view", "--reg"};

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

bool IsHelpOption(const char* pszArg)
{
    return std::strcmp(pszArg, "/?") == 0 || std::strcmp(pszArg, "-?") == 0 || SameName(pszArg, "-h") ||
           SameName(pszArg, "/h") || std::strcmp(pszArg, "--help") == 0;
}

void PrintUsage(FILE* pOut)
{
    std::fputs("usage: kestrum COMMAND [--json] OPERANDS...\n"
               "       kestrum help [COMMAND]\n"
               "       kestrum --version\n\n"
               "Commands:\n",
               pOut);
    for (const CCommand& command : g_commands)
    {
        const char* pszOperands = command.pszOperands;
        const char* pszOptions = std::strstr(pszOperands, " [--");
        int nOperands = pszOptions != nullptr ? static_cast<int>(pszOptions - pszOperands)
                                              : static_cast<int>(std::strlen(pszOperands));
        std::fprintf(pOut, "  %-10s %-14.*s %s\n", command.pszName, nOperands, pszOperands, command.pszSummary);
    }
    std::fputs("\nFILE operands may hold the wildcards * and ? in their last part.\n"
               "Output: one record a line, fields separated by a tab, text in the active\n"
               "code page with tab, line breaks, \\ and control bytes escaped (\\t \\n \\r \\\\\n"
               "\\xHH) and characters of a file name that the code page lacks as \\uXXXX;\n"
               "--json prints one JSON document instead (ASCII, other characters as \\u\n"
               "escapes), failures included. Errors go to standard error, one line each.\n"
               "Exit codes: 0 success; 1 failure (missing file, no version resource, nothing\n"
               "to register, a write that failed); 2 usage error.\n",
               pOut);
}

void PrintCommandHelp(const CCommand& command)
{
    CString strSummary = command.pszSummary;
    strSummary.SetAt(0, static_cast<char>(std::toupper(static_cast<unsigned char>(strSummary[0]))));
    const char* pszJson = command.pfnRun != nullptr ? " [--json]" : "";
    std::printf("usage: kestrum %s%s%s%s\n\n%s.\n%s\n", command.pszName, pszJson, *command.pszOperands ? " " : "",
                command.pszOperands, strSummary.GetString(), command.pszDetails);
}

// Reports a usage error; with --json also as the run's document.
int UsageError(bool bJson, const char* pszCommand, const char* pszFormat, ...) KESTRUM_PRINTF(3, 4);
int UsageError(bool bJson, const char* pszCommand, const char* pszFormat, ...)
{
    CString strMessage;
    va_list args;
    va_start(args, pszFormat);
    strMessage.FormatV(pszFormat, args);
    va_end(args);
    std::fprintf(stderr, "kestrum: %s (see kestrum help%s%s)\n", EscapeText(strMessage).GetString(),
                 pszCommand != nullptr ? " " : "", pszCommand != nullptr ? pszCommand : "");
    if (bJson)
        CRecord().Text("error", strMessage).Print(true);
    return ExitUsage;
}

// An option's value: "--view 64" or "--view=64".
const char* OptionValue(int argc, char** argv, int& i, const char* pszOption)
{
    size_t nLength = std::strlen(pszOption);
    if (argv[i][nLength] == '=')
        return argv[i] + nLength + 1;
    return i + 1 < argc ? argv[++i] : nullptr;
}

bool IsOption(const char* pszArg, const char* pszOption)
{
    size_t nLength = std::strlen(pszOption);
    return std::strncmp(pszArg, pszOption, nLength) == 0 && (pszArg[nLength] == '\0' || pszArg[nLength] == '=');
}

// --json is known before anything can go wrong, so that a usage error or
// an exception makes a JSON document too.
bool WantsJson(int argc, char** argv)
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
        if (std::strcmp(argv[i], "--json") == 0)
            return true;
    return false;
}

int Run(int argc, char** argv, bool bJson)
{

    // Options may stand anywhere; "--" ends them, so an operand may begin
    // with "-".
    CCommandLine cmd;
    cmd.m_bJson = bJson;
    unsigned uOptions = 0;
    bool bHelp = false;
    bool bVersion = false;
    bool bOptionsDone = false;
    const char* pszCommand = nullptr;
    for (int i = 1; i < argc; ++i)
    {
        const char* pszArg = argv[i];
        if (bOptionsDone || pszArg[0] != '-' || pszArg[1] == '\0')
        {
            if (!bOptionsDone && IsHelpOption(pszArg))
                bHelp = true;
            else if (pszCommand == nullptr)
                pszCommand = pszArg;
            else
                cmd.m_args.push_back(pszArg);
        }
        else if (IsHelpOption(pszArg))
            bHelp = true;
        else if (std::strcmp(pszArg, "--") == 0)
            bOptionsDone = true;
        else if (std::strcmp(pszArg, "--json") == 0)
            ;
        else if (std::strcmp(pszArg, "--version") == 0)
            bVersion = true;
        else if (std::strcmp(pszArg, "--write") == 0)
        {
            cmd.m_bWrite = true;
            uOptions |= OptionWrite;
        }
        else if (IsOption(pszArg, "--view"))
        {
            const char* pszValue = OptionValue(argc, argv, i, "--view");
            if (pszValue == nullptr || (std::strcmp(pszValue, "32") != 0 && std::strcmp(pszValue, "64") != 0))
                return UsageError(bJson, pszCommand, "--view takes 32 or 64");
            cmd.m_nView = pszValue[0] == '3' ? 32 : 64;
            uOptions |= OptionView;
        }
        else if (IsOption(pszArg, "--reg"))
        {
            const char* pszValue = OptionValue(argc, argv, i, "--reg");
            if (pszValue == nullptr || *pszValue == '\0')
                return UsageError(bJson, pszCommand, "--reg takes a file name");
            cmd.m_strScript = pszValue;
            uOptions |= OptionScript;
        }
        else
            return UsageError(bJson, pszCommand, "unknown option '%s'", pszArg);
    }

    if (bVersion)
    {
        CRecord()
            .Text("name", "kestrum")
            .JsonOnly()
            .Text("version", KESTRUM_VERSION_TEXT)
            .ShownAs("kestrum " KESTRUM_VERSION_TEXT)
            .Print(bJson);
        return ExitSuccess;
    }
    if (pszCommand == nullptr)
    {
        PrintUsage(bHelp ? stdout : stderr);
        if (!bHelp && bJson)
            CRecord().Text("error", "no command given").Print(true);
        return bHelp ? ExitSuccess : ExitUsage;
    }

    const CCommand* pCommand = FindCommand(pszCommand);
    if (pCommand == nullptr)
        return UsageError(bJson, nullptr, "unknown command '%s'", pszCommand);
    if (bHelp)
    {
        PrintCommandHelp(*pCommand);
        return ExitSuccess;
    }
    for (unsigned u = 0; u < 3; ++u)
        if ((uOptions & (1u << u)) && !(pCommand->uOptions & (1u << u)))
            return UsageError(bJson, pCommand->pszName, "%s does not take %s", pCommand->pszName, kOptionNames[u]);
    int nArgs = static_cast<int>(cmd.m_args.size());
    if (nArgs < pCommand->nMinArgs)
        return UsageError(bJson, pCommand->pszName, "%s needs more operands", pCommand->pszName);
    if (pCommand->nMaxArgs >= 0 && nArgs > pCommand->nMaxArgs)
        return UsageError(bJson, pCommand->pszName, "%s takes fewer operands", pCommand->pszName);

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
            return UsageError(bJson, nullptr, "unknown command '%s'", cmd.m_args[0].GetString());
        PrintCommandHelp(*pTopic);
        return ExitSuccess;
    }

    CRecord out;
    int nResult = pCommand->pfnRun(cmd, out);
    if (bJson && nResult != ExitSuccess && out.GetLayout() != CRecord::List)
        out.Text("error", GetFirstComplaint()).JsonOnly();
    out.Print(bJson);
    return nResult;
}

} // namespace

int main(int argc, char** argv)
{
    // Nothing is thrown past main: an exception ends the command with a
    // message and the failure code.
    bool bJson = WantsJson(argc, argv);
    try
    {
        int nResult = Run(argc, argv, bJson);
        if (std::fflush(stdout) != 0)
            return ExitFailure;
        return nResult;
    }
    catch (...)
    {
        const char* pszWhat = nullptr;
        StatusOfException(&pszWhat);
        std::fprintf(stderr, "kestrum: %s\n", pszWhat);
        if (bJson)
            CRecord().Text("error", pszWhat).Print(true);
    }
    return ExitFailure;
}
