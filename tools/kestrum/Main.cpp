// kestrum.exe: a command-line companion to Kestrum.ocx for setup authors
// and support engineers, built on the same library.
//
//   kestrum COMMAND [--json] OPERANDS...
//   kestrum help [COMMAND]      (also /?, -?, --help, globally or after COMMAND)
//
// Adding a command is one row in the table below and one handler.
#include "tools/kestrum/Tool.h"

#include "framework/Exceptions.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

const CCommand g_commands[] = {
    {"checksum", "FILE...", "one-byte XOR checksum of each file",
     "Prints \"0x5A<TAB>FILE\" a line. An empty file gives 0x00.", 1, -1, false, RunChecksum},
    {"size", "FILE...", "length of each file, as a number and as text",
     "Prints \"BYTES<TAB>TEXT<TAB>FILE\" a line, TEXT as the platform formats sizes (\"4.88 KB\").", 1, -1,
     false, RunSize},
    {"times", "FILE", "creation, last-access and last-write time of a file",
     "Prints \"creation\", \"access\" and \"write\", each with its local time\n"
     "\"YYYY-MM-DD hh:mm:ss.mmm\". FILE may hold wildcards: the first match counts.",
     1, 1, false, RunTimes},
    {"ls", "DIR [PATTERN]", "files of a folder that match PATTERN (default *.*)",
     "Prints one name a line, in the order the file system reports them; folders\n"
     "are left out. \"/\" in DIR counts as \"\\\".",
     1, 2, false, RunList},
    {"dirs", "DIR", "sub-folders of a folder",
     "Prints one name a line, \".\" and \"..\" included where the file system reports them.", 1, 1, false,
     RunDirs},
    {"scheme", "URL...", "scheme word of each URL (http, https, ftp, mms, rtsp, unk...)",
     "Prints \"SCHEME<TAB>URL\" a line. A URL the parser rejects has the empty word;\n"
     "a scheme the parser does not know and that is not a streaming one gives \"unk\".",
     1, -1, false, RunScheme},
    {"version", "FILE", "file version from a file's version resource",
     "Prints \"major.minor.build.revision\" of the fixed file version.", 1, 1, false, RunVersion},
    {"register", "DIR [--write]", "what Kestrum.ocx would register for the REG.DAT in DIR",
     "Reads DIR\\REG.DAT exactly as DllRegisterServer does (CLSID, TITLE, VERSION,\n"
     "PATH, stopping at the first empty one) and prints each value read, then one\n"
     "line per registry value: STATUS<TAB>ROOT<TAB>KEY<TAB>NAME<TAB>DATA, for\n"
     "HKEY_CURRENT_USER and then HKEY_LOCAL_MACHINE. STATUS is \"write\", or \"skip\"\n"
     "for data over 254 bytes. Nothing is written unless --write is given; then\n"
     "STATUS is \"written\", \"skipped\" or \"failed\". A REG.DAT that registers\n"
     "nothing prints \"stop<TAB>KEY\" and exits 1.",
     1, 1, true, RunRegister},
    {"dx", "", "installed DirectX release: by the diagnostic provider, by the system files, combined",
     "Prints \"provider<TAB>RELEASE\" and \"files<TAB>RELEASE\" (\"none\" where a method\n"
     "finds nothing), then \"release<TAB>0xNUMBER<TAB>TEXT\": the provider's answer, or the\n"
     "files' when the provider fails, as QueryDirectXVersion reports it.",
     0, 0, false, RunDx},
};

const CCommand* FindCommand(const char* pszName)
{
    for (const CCommand& command : g_commands)
        if (std::strcmp(command.pszName, pszName) == 0)
            return &command;
    return nullptr;
}

bool IsHelpOption(const char* pszArg)
{
    return std::strcmp(pszArg, "/?") == 0 || std::strcmp(pszArg, "-?") == 0 || std::strcmp(pszArg, "--help") == 0;
}

void PrintUsage(FILE* pOut)
{
    std::fputs("usage: kestrum COMMAND [--json] OPERANDS...\n"
               "       kestrum help [COMMAND]\n\n"
               "Commands:\n",
               pOut);
    for (const CCommand& command : g_commands)
        std::fprintf(pOut, "  %-9s %-15s %s\n", command.pszName, command.pszOperands, command.pszSummary);
    std::fputs("\nOutput: one record a line, fields separated by a tab, text in the active\n"
               "code page; --json prints one JSON document instead (ASCII, other characters\n"
               "as \\u escapes). Errors go to standard error, one line each.\n"
               "Exit codes: 0 success; 1 failure (missing file, no version resource, nothing\n"
               "to register, a write that failed); 2 usage error.\n",
               pOut);
}

void PrintCommandHelp(const CCommand& command)
{
    CString strSummary = command.pszSummary;
    strSummary.SetAt(0, static_cast<char>(std::toupper(static_cast<unsigned char>(strSummary[0]))));
    std::printf("usage: kestrum %s [--json] %s\n\n%s.\n%s\n", command.pszName, command.pszOperands,
                strSummary.GetString(), command.pszDetails);
}

int UsageError(const char* pszCommand, const char* pszFormat, const char* pszArg)
{
    std::fputs("kestrum: ", stderr);
    std::fprintf(stderr, pszFormat, pszArg);
    if (pszCommand != nullptr)
        std::fprintf(stderr, " (see kestrum help %s)\n", pszCommand);
    else
        std::fputs(" (see kestrum help)\n", stderr);
    return ExitUsage;
}

int Run(int argc, char** argv)
{
    // Options may stand anywhere; "--" ends them, so an operand may begin
    // with "-".
    CCommandLine cmd;
    bool bHelp = false;
    bool bOptionsDone = false;
    const char* pszCommand = nullptr;
    for (int i = 1; i < argc; ++i)
    {
        const char* pszArg = argv[i];
        if (!bOptionsDone && IsHelpOption(pszArg))
            bHelp = true;
        else if (!bOptionsDone && std::strcmp(pszArg, "--") == 0)
            bOptionsDone = true;
        else if (!bOptionsDone && std::strcmp(pszArg, "--json") == 0)
            cmd.m_bJson = true;
        else if (!bOptionsDone && std::strcmp(pszArg, "--write") == 0)
            cmd.m_bWrite = true;
        else if (!bOptionsDone && pszArg[0] == '-' && pszArg[1] != '\0')
            return UsageError(pszCommand, "unknown option '%s'", pszArg);
        else if (pszCommand == nullptr)
            pszCommand = pszArg;
        else
            cmd.m_args.push_back(pszArg);
    }

    if (pszCommand == nullptr)
    {
        if (bHelp)
        {
            PrintUsage(stdout);
            return ExitSuccess;
        }
        PrintUsage(stderr);
        return ExitUsage;
    }
    if (std::strcmp(pszCommand, "help") == 0)
    {
        if (cmd.m_args.empty())
        {
            PrintUsage(stdout);
            return ExitSuccess;
        }
        const CCommand* pTopic = FindCommand(cmd.m_args[0]);
        if (pTopic == nullptr)
            return UsageError(nullptr, "unknown command '%s'", cmd.m_args[0]);
        PrintCommandHelp(*pTopic);
        return ExitSuccess;
    }

    const CCommand* pCommand = FindCommand(pszCommand);
    if (pCommand == nullptr)
        return UsageError(nullptr, "unknown command '%s'", pszCommand);
    if (bHelp)
    {
        PrintCommandHelp(*pCommand);
        return ExitSuccess;
    }
    if (cmd.m_bWrite && !pCommand->bTakesWrite)
        return UsageError(pCommand->pszName, "%s does not take --write", pCommand->pszName);
    int nArgs = static_cast<int>(cmd.m_args.size());
    if (nArgs < pCommand->nMinArgs)
        return UsageError(pCommand->pszName, "%s needs more operands", pCommand->pszName);
    if (pCommand->nMaxArgs >= 0 && nArgs > pCommand->nMaxArgs)
        return UsageError(pCommand->pszName, "%s takes fewer operands", pCommand->pszName);
    return pCommand->pfnRun(cmd);
}

} // namespace

int main(int argc, char** argv)
{
    // Nothing is thrown past main: a library exception ends the command with
    // a message and the failure code.
    try
    {
        int nResult = Run(argc, argv);
        if (std::fflush(stdout) != 0)
            return ExitFailure;
        return nResult;
    }
    catch (const CException& e)
    {
        std::fprintf(stderr, "kestrum: %s\n", e.what());
    }
    catch (const std::bad_alloc&)
    {
        std::fprintf(stderr, "kestrum: out of memory\n");
    }
    return ExitFailure;
}
