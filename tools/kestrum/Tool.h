// kestrum.exe: what the commands share.
//
// Every command reads its operands from a CCommandLine, builds its output
// as one CRecord (printed by the one writer in Record.h, as text or with
// --json as JSON), writes its complaints to standard error, one line each,
// and answers with an exit code:
//
//   0  success
//   1  failure: a missing or unreadable file, no version resource, a
//      REG.DAT that registers nothing, a registry write that failed, a
//      registry that does not hold what registration writes (check)
//   2  usage: an unknown command or option, an option the command does not
//      take or a value it refuses, too few or too many operands
//
// With --json every run prints one JSON document, failures included: a
// file that cannot be read is an entry with an "error" member, and a run
// that has nothing else to show prints {"error":"..."}.
#pragma once

#include "tools/kestrum/Record.h"

#include "framework/String.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

enum ExitCode
{
    ExitSuccess = 0,
    ExitFailure = 1,
    ExitUsage = 2,
};

// One option, declared once: usage, help and usage errors are made from
// it, and a command asks the command line for it (CCommandLine::ValueOf).
// A new option is one such declaration, named in the rows of the commands
// that take it. An option with a value takes "--view 64" or "--view=64",
// never a value that begins with "--" (that is the next option, so the
// value is missing).
struct COption
{
    const char* pszName;        // "--view"
    // Null for a switch. Else the value's word in usage, "SCRIPT", for a
    // value that may be anything but empty; or, with pszTakes null, the
    // values it may be: "32|64".
    const char* pszValue;
    const char* pszTakes;       // what the value may be, for the usage error: "a file name"
    const char* pszHelp;        // one line for the command's help
    const char* pszAliases;     // other spellings, space-separated ("/? -h"); null for none
};

// An option as a command takes it, with the values the command offers
// besides the option's own ("both" for --view), "|" between them.
struct COptionUse
{
    COptionUse(const COption* pOption, const char* pszMore = nullptr) : pOption(pOption), pszMore(pszMore) {}

    const COption* pOption;
    const char* pszMore;
};

// The options that handlers ask for, besides the formats' own.
extern const COption g_write;   // --write
extern const COption g_view;    // --view 32|64

// One command's operands and options.
struct CCommandLine
{
    std::vector<CString> m_args;            // operands, in order, in the code page
    std::vector<std::wstring> m_wideArgs;   // the same as given, in UTF-16
    // The options given, each with its value ("" for a switch); given
    // twice, the last value counts.
    std::vector<std::pair<const COption*, std::wstring>> m_options;

    // The value the option was given; null when it was not.
    const std::wstring* ValueOf(const COption& option) const;
    bool Has(const COption& option) const { return ValueOf(option) != nullptr; }
};

// One row of the command table.
struct CCommand
{
    const char* pszName;
    const char* pszOperands;    // "FILE...", "DIR [PATTERN]"
    const char* pszSummary;     // one line for the command list
    const char* pszDetails;     // further lines for the command's own help
    int nMinArgs;
    int nMaxArgs;               // -1: no limit
    std::vector<COptionUse> options;        // the options it takes, in usage order
    int (*pfnRun)(const CCommandLine& cmd, CRecord& out);
};

// "kestrum: " and the formatted message on standard error, escaped as text
// output is, so it is always one line. Returns ExitFailure, so a command can
// end with return Fail(...). The first message of a run is kept for the JSON
// document of a run that failed.
int Fail(const char* pszFormat, ...) KESTRUM_PRINTF(1, 2);
// The same for a file name (exact, in UTF-16) and what is wrong with it:
// "NAME: REASON".
int FailName(const std::wstring& strName, const CString& strReason);
// "kestrum: warning: " and the message; the exit code is not changed.
void Warn(const char* pszFormat, ...) KESTRUM_PRINTF(1, 2);
// The first message Fail or FailName gave in this run, unescaped and exact;
// "" when none.
const std::wstring& GetFirstComplaint();
// "kestrum: " and a line already in its text form, on standard error.
void WriteError(const CString& strLine);

// The platform's reason for a failed file or registry call, in a few words
// ("not found", "in use by another program", "access denied", "path too
// long"), else its own message text and the error number.
CString DescribeError(DWORD dwError);

// One file that a FILE operand stands for, or why it stands for none.
struct CFileMatch
{
    CString m_strPath;          // the file, as the library takes it
    std::wstring m_strWidePath; // the same in UTF-16
    CString m_strReason;        // empty, or why there is no file to use
};

// The files a FILE operand names. Without wildcards that is the operand
// itself, as given; with "*" or "?" in its last part it is every file (not
// folder) that matches, in the order the file system reports them, each as
// the operand's folder part and the name found. A missing path ("not
// found", or "no file matches" for a pattern), a folder ("is a folder"), a
// path of 260 bytes or more ("path too long") and a found name that the
// active code page cannot spell ("name outside the active code page")
// come back as a match with a reason, and so does an operand the code page
// cannot spell, since the library takes names in the code page.
std::vector<CFileMatch> ExpandFileOperand(const std::wstring& strOperand);

// Reports a match that has a reason: on standard error, and as a JSON-only
// entry {"file":...,"error":...} of the list. Returns ExitFailure.
int ReportMatch(const CFileMatch& match, CRecord& list);

// Progress of a long run over files, on standard error while it is a
// console; nothing when it is redirected. Shown only once the run has
// lasted a second, at most a few times a second, and cleared at the end and
// before each complaint.
class CProgress
{
public:
    CProgress(const char* pszCommand, size_t nFiles);
    ~CProgress();
    CProgress(const CProgress&) = delete;
    CProgress& operator=(const CProgress&) = delete;

    // Work on file nIndex (from 0), of which qwDone of qwTotal bytes are read.
    void Show(size_t nIndex, unsigned long long qwDone, unsigned long long qwTotal);

private:
    const char* m_pszCommand;
    size_t m_nFiles;
    DWORD m_dwStart;
    DWORD m_dwLast;
    bool m_bConsole;
};

// Commands, one handler each; grouped by source file.
int RunChecksum(const CCommandLine& cmd, CRecord& out);
int RunSize(const CCommandLine& cmd, CRecord& out);
int RunTimes(const CCommandLine& cmd, CRecord& out);
int RunList(const CCommandLine& cmd, CRecord& out);
int RunDirs(const CCommandLine& cmd, CRecord& out);
int RunVersion(const CCommandLine& cmd, CRecord& out);
int RunScheme(const CCommandLine& cmd, CRecord& out);
int RunRegister(const CCommandLine& cmd, CRecord& out);
int RunUnregister(const CCommandLine& cmd, CRecord& out);
int RunCheck(const CCommandLine& cmd, CRecord& out);
int RunDx(const CCommandLine& cmd, CRecord& out);

// The options of the registration formats (RegistrationFormats.h), which
// register takes.
std::vector<COptionUse> GetFormatOptions();
