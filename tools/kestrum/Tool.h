// kestrum.exe: what the commands share.
//
// Every command reads its operands from a CCommandLine, writes its results
// to standard output (one record a line, fields separated by one tab, or
// JSON with --json) and its complaints to standard error, one line each,
// and answers with an exit code:
//
//   0  success
//   1  failure: a missing or unreadable file, no version resource, a
//      REG.DAT that registers nothing, a registry write that failed
//   2  usage: an unknown command or option, too few or too many operands
#pragma once

#include "framework/String.h"

#include <string>
#include <vector>

enum ExitCode
{
    ExitSuccess = 0,
    ExitFailure = 1,
    ExitUsage = 2,
};

// One command's operands, with the options taken out.
struct CCommandLine
{
    std::vector<CString> m_args;   // operands, in order
    bool m_bJson = false;          // --json
    bool m_bWrite = false;         // --write (register only)
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
    bool bTakesWrite;           // accepts --write
    int (*pfnRun)(const CCommandLine& cmd);
};

// "kestrum: " and the formatted message on standard error; returns
// ExitFailure, so a command can end with return Fail(...).
int Fail(const char* pszFormat, ...);

// Why strPath cannot be opened for reading with the given sharing, in a
// few words ("not found", "is a folder", "in use by another program"), or
// "" when it can.
CString CheckReadable(const CString& strPath, unsigned long dwShareMode);

// Text output: writes the fields of one record, tab-separated, and a line
// end. Text goes out in the active code page, byte for byte.
void PrintRecord(const std::vector<CString>& fields);

// JSON output, built up in memory and written as one line. Text in the
// active code page is converted to Unicode and every character outside
// printable ASCII is written as a \uXXXX escape (UTF-16 units, so
// characters beyond the BMP as surrogate pairs): the output is plain ASCII
// whatever the console's code page. Bytes that are not valid in the code
// page become the platform's substitute for them.
class CJsonWriter
{
public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // A member name inside an object; the next value is its value.
    void Key(const char* pszName);
    void String(const CString& str);
    void Number(unsigned long long qwValue);
    void Bool(bool bValue);
    void Null();
    // Writes the document and a line end to standard output.
    void Print() const;

private:
    void BeforeValue();

    std::string m_strText;
    std::vector<bool> m_bFirst;   // per open container: nothing written yet
    bool m_bAfterKey = false;
};

// The JSON string literal for str, quotes included (see CJsonWriter).
std::string JsonQuote(const CString& str);

// Commands, one handler each; grouped by source file.
int RunChecksum(const CCommandLine& cmd);
int RunSize(const CCommandLine& cmd);
int RunTimes(const CCommandLine& cmd);
int RunList(const CCommandLine& cmd);
int RunDirs(const CCommandLine& cmd);
int RunVersion(const CCommandLine& cmd);
int RunScheme(const CCommandLine& cmd);
int RunRegister(const CCommandLine& cmd);
int RunDx(const CCommandLine& cmd);
