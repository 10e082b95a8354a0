// kestrum.exe run as a separate process, the way scripts use it: its
// standard output, standard error and exit code.
#include "tests/support/TestSupport.h"
#include "KestrumVersion.h"
#include "util/sysinfo/DirectXDiagnostics.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

struct Result
{
    DWORD code = 0xFFFFFFFF;
    std::string out;
    std::string err;
    DWORD startError = 0;  // CreateProcess failed with this
};

// Quotes one argument for the command line, as the C runtime splits it.
std::wstring Quote(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t ch : arg)
    {
        if (ch == L'\\')
        {
            ++backslashes;
            continue;
        }
        quoted.append(ch == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += ch;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

std::wstring Wide(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                                        &wide[0], static_cast<int>(wide.size()))));
    return wide;
}

// Notes a start that Wine failed, in the run's list of retried starts
// (KESTRUM_RETRY_LOG, set by cmake/wine-run), so that a run says how many
// it had.
void LogRetriedStart(const std::wstring& commandLine, DWORD dwError)
{
    const char* pszLog = std::getenv("KESTRUM_RETRY_LOG");
    if (FILE* pLog = pszLog ? std::fopen(pszLog, "a") : nullptr)
    {
        std::fprintf(pLog, "tool_tests: kestrum.exe not started (error %lu), started again: %ls\n", dwError,
                     commandLine.c_str());
        std::fclose(pLog);
    }
}

// Starts kestrum.exe once with the command line and waits for it; its
// output goes to files in the scratch folder, so neither stream can block
// the other.
Result StartKestrum(std::wstring commandLine, const TempDir& scratch)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    auto create = [&](const char* name) {
        return CreateFileA((scratch / name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = create("out");
    si.hStdError = create("err");
    PROCESS_INFORMATION pi = {};
    Result result;
    if (si.hStdOutput != INVALID_HANDLE_VALUE && si.hStdError != INVALID_HANDLE_VALUE &&
        CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
    {
        WaitForSingleObject(pi.hProcess, 30000);
        GetExitCodeProcess(pi.hProcess, &result.code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    else
    {
        result.startError = GetLastError();
    }
    for (HANDLE h : {si.hStdError, si.hStdOutput})
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    auto read = [&](const char* name) {
        std::string text = ReadFileBytes(scratch / name);
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        return text;
    };
    result.out = read("out");
    result.err = read("err");
    return result;
}

// Runs kestrum.exe from beside this test with the arguments (in UTF-16, so
// any name can be given).
//
// Wine now and then fails a start outright: CreateProcess gives error 1359
// (the new process ended before its start-up was done) and the process has
// written nothing. That start, which ran none of kestrum.exe, is made once
// more and logged; a kestrum.exe that ran is never run again.
Result KestrumW(const std::vector<std::wstring>& args)
{
    TempDir scratch;
    std::wstring commandLine = Quote(Wide(ExeDir() + "kestrum.exe"));
    for (const std::wstring& arg : args)
        commandLine += L" " + Quote(arg);

    Result result = StartKestrum(commandLine, scratch);
    if (result.startError == ERROR_INTERNAL_ERROR && result.out.empty() && result.err.empty())
    {
        LogRetriedStart(commandLine, result.startError);
        result = StartKestrum(commandLine, scratch);
    }
    // What the process wrote, if anything, tells a failed start from a run
    // that failed; Wine's own messages about the start go to this test's
    // error output instead, which ctest shows.
    if (result.startError != 0)
        ADD_FAILURE() << "cannot start kestrum.exe, error " << result.startError << "; its error output: \""
                      << result.err << "\"";
    return result;
}

// The same, with arguments in the active code page.
Result Kestrum(const std::vector<std::string>& args)
{
    std::vector<std::wstring> wide;
    for (const std::string& arg : args)
        wide.push_back(Wide(arg));
    return KestrumW(wide);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

std::string Join(const std::vector<std::string>& args)
{
    std::string text;
    for (const std::string& arg : args)
        text += "[" + arg + "]";
    return text;
}

// A failure: the code, nothing on standard output when bQuiet, and one
// line on standard error that mentions what.
void ExpectError(const Result& r, DWORD code, const std::string& what, bool bQuiet = true)
{
    EXPECT_EQ(code, r.code);
    if (bQuiet)
    {
        EXPECT_EQ("", r.out);
    }
    EXPECT_EQ(0u, r.err.rfind("kestrum: ", 0)) << r.err;
    EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
    EXPECT_NE(std::string::npos, r.err.find(what)) << r.err;
}

// A success: exit code 0, nothing on standard error, and on standard
// output the expected text, whole or (bPart) within it.
void ExpectOutput(const std::vector<std::string>& args, const std::string& expected, bool bPart = false)
{
    SCOPED_TRACE(Join(args));
    Result r = Kestrum(args);
    EXPECT_EQ(0u, r.code);
    EXPECT_EQ("", r.err);
    if (bPart)
    {
        EXPECT_NE(std::string::npos, r.out.find(expected)) << r.out;
    }
    else
    {
        EXPECT_EQ(expected, r.out);
    }
}

// A path as text output and JSON strings hold it: every "\\" doubled.
std::string Esc(const std::string& path)
{
    std::string escaped;
    for (char ch : path)
        escaped += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
    return escaped;
}

} // namespace

TEST(KestrumTool, HelpEverywhere)
{
    for (const char* option : {"/?", "-?", "--help", "-h", "/H", "help"})
    {
        SCOPED_TRACE(option);
        Result r = Kestrum({option});
        EXPECT_EQ(0u, r.code);
        EXPECT_EQ(0u, r.out.find("usage: kestrum COMMAND"));
        for (const char* command :
             {"checksum", "size", "times", "ls", "dirs", "scheme", "version", "register", "unregister", "check", "dx",
              "help"})
            EXPECT_NE(std::string::npos, r.out.find("\n  " + std::string(command) + " ")) << command;
        EXPECT_EQ("", r.err);
    }
    const struct
    {
        std::vector<std::string> args;
        const char* usage;
    } perCommand[] = {
        {{"help", "checksum"}, "checksum [--json] FILE...\n"},
        {{"checksum", "/?"}, "checksum [--json] FILE...\n"},
        {{"CheckSum", "-h"}, "checksum [--json] FILE...\n"},
        {{"--help", "checksum", "a"}, "checksum [--json] FILE...\n"},
        {{"help", "dx"}, "dx [--json]\n"},
        {{"help", "HELP"}, "help [COMMAND]\n"},
        {{"help", "register"}, "register [--json] DIR|FILE [--write] [--view 32|64] [--reg SCRIPT] [--wxs FILE]\n"},
        {{"check", "--help"}, "check [--json] DIR|FILE [--view 32|64|both]\n"},
    };
    for (const auto& row : perCommand)
    {
        SCOPED_TRACE(Join(row.args));
        Result r = Kestrum(row.args);
        EXPECT_EQ(0u, r.code);
        EXPECT_EQ(0u, r.out.find(std::string("usage: kestrum ") + row.usage)) << r.out;
        EXPECT_EQ("", r.err);
    }

    // No command at all is a usage error; the list goes to standard error.
    Result r = Kestrum({});
    EXPECT_EQ(2u, r.code);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(0u, r.err.find("usage: kestrum COMMAND"));

    // The version is the project's, and the one in kestrum.exe's resource.
    ExpectOutput({"--version"}, "kestrum " KESTRUM_VERSION_TEXT "\n");
    ExpectOutput({"version", ExeDir() + "kestrum.exe"}, KESTRUM_VERSION_TEXT "\n");
}

TEST(KestrumTool, UsageErrors)
{
    struct Row
    {
        std::vector<std::string> args;
        const char* message;
        std::string out = "";   // with --json, the error's document
    } const rows[] = {
        {{"bogus"}, "unknown command 'bogus'"},
        {{"/x"}, "unknown command '/x'"},
        {{"help", "bogus"}, "unknown command 'bogus'"},
        {{"help", "checksum", "extra"}, "help takes fewer operands"},
        {{"size"}, "size needs more operands"},
        {{"version", "a", "b"}, "version takes fewer operands"},
        {{"ls", "a", "b", "c"}, "ls takes fewer operands"},
        {{"checksum", "--write", "a"}, "checksum does not take --write"},
        {{"size", "--view", "32", "a"}, "size does not take --view"},
        {{"unregister", "a", "--reg", "f"}, "unregister does not take --reg"},
        {{"register", "a", "--view", "48"}, "--view takes 32 or 64"},
        {{"register", "a", "--reg"}, "--reg takes a file name"},
        // A value never begins with "--": that is the next option.
        {{"register", "a", "--reg", "--json"}, "--reg takes a file name", "{\"error\":\"--reg takes a file name\"}\n"},
        {{"register", "a", "--wxs=--x"}, "--wxs takes a file name"},
        {{"check", "a", "--view", "48"}, "--view takes 32, 64 or both"},
        {{"register", "a", "--view", "both"}, "--view takes 32 or 64"},
        {{"help", "--json"}, "help does not take --json", "{\"error\":\"help does not take --json\"}\n"},
        {{"scheme", "--frob", "http://h/"}, "unknown option '--frob'"},
        {{"-x"}, "unknown option '-x'"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(Join(row.args));
        Result r = Kestrum(row.args);
        ExpectError(r, 2, row.message, false);
        EXPECT_EQ(row.out, r.out);
    }
    // With --json a usage error is a document too.
    Result r = Kestrum({"bogus", "--json"});
    ExpectError(r, 2, "unknown command", false);
    EXPECT_EQ("{\"error\":\"unknown command 'bogus'\"}\n", r.out);
}

// One rule for FILE operands, whatever the command.
TEST(KestrumTool, FileOperands)
{
    TempDir dir;
    WriteFileBytes(dir / "a.txt", "a");
    WriteFileBytes(dir / "b.txt", "b");
    // An existing file at a path of 300 characters, made through the
    // platform's long-path form.
    std::string longFolder = dir / std::string(150, 'd');
    std::string longFile = longFolder + "\\" + std::string(300 - longFolder.size() - 1, 'f');
    auto longForm = [](const std::string& path) { return L"\\\\?\\" + std::wstring(path.begin(), path.end()); };
    ASSERT_TRUE(CreateDirectoryW(longForm(longFolder).c_str(), nullptr));
    HANDLE h = CreateFileW(longForm(longFile).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);

    const struct
    {
        std::string operand;
        std::string reason;
    } rows[] = {
        {dir / "missing", "not found"},
        {dir.Path(), "is a folder"},
        {WindowsDrive() + "\\", "is a folder"},
        {dir / "*.none", "no file matches"},
        {longFile, "path too long"},
    };
    for (const char* command : {"checksum", "size", "times", "version"})
    {
        for (const auto& row : rows)
        {
            SCOPED_TRACE(std::string(command) + " " + row.operand);
            Result r = Kestrum({command, row.operand});
            ExpectError(r, 1, "");
            EXPECT_EQ("kestrum: " + Esc(row.operand) + ": " + row.reason + "\n", r.err);
            // With --json the failure is a document: the run's error, or the
            // list's entry.
            r = Kestrum({command, "--json", row.operand});
            EXPECT_EQ(std::string(command) == "version"
                          ? "{\"error\":\"" + Esc(row.operand) + ": " + row.reason + "\"}\n"
                          : "[{\"file\":\"" + Esc(row.operand) + "\",\"error\":\"" + row.reason + "\"}]\n",
                      r.out);
        }
    }
    ExpectError(Kestrum({"version", dir / "*"}), 1, "*: matches 2 files; version takes one");
    DeleteFileW(longForm(longFile).c_str());
    RemoveDirectoryW(longForm(longFolder).c_str());
}

TEST(KestrumTool, ChecksumAndSize)
{
    TempDir dir;
    WriteFileBytes(dir / "three", "\x01\x02\x04");
    WriteFileBytes(dir / "one", "Z");
    WriteFileBytes(dir / "empty", "");
    WriteFileBytes(dir / "5000", std::string(5000, 'x'));

    ExpectOutput({"checksum", dir / "three", dir / "one", dir / "empty"},
                 "0x07\t" + Esc(dir / "three") + "\n0x5A\t" + Esc(dir / "one") + "\n0x00\t" + Esc(dir / "empty") +
                     "\n");
    // A pattern stands for each file, named on its line.
    ExpectOutput({"checksum", dir / "t*"}, "0x07\t" + Esc(dir / "three") + "\n");

    // A missing file is named on standard error and in JSON; the others still count.
    Result r = Kestrum({"checksum", dir / "missing", "--json", dir / "three"});
    ExpectError(r, 1, Esc(dir / "missing") + ": not found", false);
    EXPECT_EQ("[{\"file\":\"" + Esc(dir / "missing") + "\",\"error\":\"not found\"}," +
                  "{\"checksum\":\"0x07\",\"file\":\"" + Esc(dir / "three") + "\"}]\n",
              r.out);
    ExpectOutput({"size", dir / "5000", dir / "empty"},
                 "5000\t4.88 KB\t" + Esc(dir / "5000") + "\n0\t0 bytes\t" + Esc(dir / "empty") + "\n");
    r = Kestrum({"size", "--json", dir / "5000", dir / "gone"});
    ExpectError(r, 1, Esc(dir / "gone") + ": not found", false);
    EXPECT_EQ("[{\"bytes\":5000,\"text\":\"4.88 KB\",\"file\":\"" + Esc(dir / "5000") + "\"},{\"file\":\"" +
                  Esc(dir / "gone") + "\",\"error\":\"not found\"}]\n",
              r.out);

    // A file another program writes cannot be mapped: a failure that says
    // why, not 0x00; its size still answers.
    HANDLE hWriter = CreateFileA((dir / "one").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hWriter);
    r = Kestrum({"checksum", dir / "one"});
    Result size = Kestrum({"size", dir / "one"});
    CloseHandle(hWriter);
    ExpectError(r, 1, ": in use by another program (a checksum maps the file");
    EXPECT_EQ("1\t1 bytes\t" + Esc(dir / "one") + "\n", size.out);
}

TEST(KestrumTool, Times)
{
    // The test runs in Asia/Seoul, nine hours ahead of universal time.
    TempDir dir;
    WriteFileBytes(dir / "f", "x");
    auto fileTime = [](WORD day, WORD hour) {
        SYSTEMTIME st = {2001, 2, 0, day, hour, 5, 6, 789};
        FILETIME ft;
        SystemTimeToFileTime(&st, &ft);
        return ft;
    };
    FILETIME ftAccess = fileTime(4, 1), ftWrite = fileTime(3, 20);
    HANDLE h = CreateFileA((dir / "f").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    SetFileTime(h, nullptr, &ftAccess, &ftWrite);
    CloseHandle(h);

    // A pattern gives the file's own name.
    ExpectOutput({"times", dir / "?"}, "\t2001-02-04 10:05:06.789\t2001-02-04 05:05:06.789\t" + Esc(dir / "f") + "\n",
                 true);
    ExpectOutput({"times", "--json", dir / "f"},
                 ",\"write\":\"2001-02-04 05:05:06.789\",\"file\":\"" + Esc(dir / "f") + "\"}]\n", true);
}

TEST(KestrumTool, ListsAndFolders)
{
    TempDir dir;
    WriteFileBytes(dir / "b.txt", "b");
    WriteFileBytes(dir / "a.log", "a");
    CreateDirectoryA((dir / "sub").c_str(), nullptr);

    // "/" in the folder counts as "\".
    std::string slashed = dir.Path();
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    Result r = Kestrum({"ls", slashed});
    EXPECT_EQ(0u, r.code);
    std::vector<std::string> names = Lines(r.out);
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"a.log", "b.txt"}), names);

    ExpectOutput({"ls", dir.Path(), "*.txt", "--json"}, "[\"b.txt\"]\n");
    ExpectOutput({"ls", dir.Path(), "*.none"}, "");
    // Sub-folders, without "." and "..".
    ExpectOutput({"dirs", dir.Path()}, "sub\n");

    ExpectError(Kestrum({"ls", dir / "nowhere"}), 1, Esc(dir / "nowhere") + ": not found");
    ExpectError(Kestrum({"dirs", dir / "b.txt"}), 1, ": not a folder");
    r = Kestrum({"ls", "--json", dir / "nowhere"});
    EXPECT_EQ("{\"error\":\"" + Esc(dir / "nowhere") + ": not found\"}\n", r.out);
}

// Names are listed as the file system has them: a character the active
// code page lacks is shown as \uXXXX in text (it could not be typed back)
// and exactly in JSON; a command given such a file by a pattern says so
// rather than reading a look-alike. A double-byte character whose trail
// byte is "\" stays whole.
TEST(KestrumTool, NamesOutsideTheCodePageDbcs)
{
    TempDir dir;
    std::wstring folder(dir.Path().begin(), dir.Path().end());
    HANDLE h = CreateFileW((folder + L"\u0E01.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    DbcsSample dbcs = ActiveDbcsSample();
    if (!dbcs.text.empty())
        WriteFileBytes(dir / (dbcs.text + ".txt"), "");

    Result r = Kestrum({"ls", dir.Path()});
    EXPECT_EQ(0u, r.code);
    EXPECT_NE(std::string::npos, r.out.find("\\u0e01.txt\n")) << r.out;
    if (!dbcs.text.empty())
    {
        EXPECT_NE(std::string::npos, r.out.find(dbcs.text + ".txt\n")) << TraceBytes(r.out);
    }
    EXPECT_NE(std::string::npos, Kestrum({"ls", "--json", dir.Path()}).out.find("\"\\u0e01.txt\"")) << r.out;

    r = Kestrum({"checksum", dir / "*.txt"});
    ExpectError(r, 1, Esc(dir.Path()) + "\\u0e01.txt: name outside the active code page", false);
    EXPECT_EQ(dbcs.text.empty() ? "" : "0x00\t" + Esc(dir.Path()) + dbcs.text + ".txt\n", r.out);
}

TEST(KestrumTool, Scheme)
{
    ExpectOutput({"scheme", "https://x.com/", "MMS://host/a", "mmst://host/a", "rtspu://host/a", "news:comp.lang",
                  "abc", "a\tb\\c\x01"},
                 "https\thttps://x.com/\nmms\tMMS://host/a\nmmst\tmmst://host/a\nunk\trtspu://host/a\n"
                 "nntp\tnews:comp.lang\n\tabc\n\ta\\tb\\\\c\\x01\n");
    // Quotes, backslashes and control characters are escaped in JSON, and
    // text of the code page as the character it stands for.
    ExpectOutput({"scheme", "--json", "a\"b\\c\td"}, "[{\"scheme\":\"\",\"url\":\"a\\\"b\\\\c\\td\"}]\n");
    if (GetACP() == 1252)
        ExpectOutput({"scheme", "--json", "http://h/caf\xE9"},
                     "[{\"scheme\":\"http\",\"url\":\"http://h/caf\\u00e9\"}]\n");
}

TEST(KestrumTool, Version)
{
    TempDir dir;
    std::string module = ExeDir() + "Kestrum.ocx";
    ExpectOutput({"version", module}, KESTRUM_VERSION_TEXT "\n");
    char szJson[160];
    std::snprintf(szJson, sizeof(szJson),
                  "\"version\":\"%s\",\"major\":%d,\"minor\":%d,\"build\":%d,\"revision\":%d}", KESTRUM_VERSION_TEXT,
                  KESTRUM_VERSION_MAJOR, KESTRUM_VERSION_MINOR, KESTRUM_VERSION_PATCH, KESTRUM_VERSION_TWEAK);
    ExpectOutput({"version", "--json", module}, szJson, true);

    WriteFileBytes(dir / "plain.txt", "no resources here");
    ExpectError(Kestrum({"version", dir / "plain.txt"}), 1, "plain.txt: no version resource");
}

// The tool must agree with the library it reports on: the combined line is
// what QueryDirectXVersion gives, and the provider's line decides it when
// the provider answers.
TEST(KestrumTool, DxReportsBothMethodsAndTheCombinedRelease)
{
    int nNumber = 0;
    char szText[32] = "";
    ASSERT_TRUE(QueryDirectXVersion(&nNumber, szText, sizeof(szText)));
    char szNumber[16];
    std::snprintf(szNumber, sizeof(szNumber), "0x%08X", static_cast<unsigned>(nNumber));

    Result r = Kestrum({"dx"});
    EXPECT_EQ(0u, r.code);
    std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(3u, lines.size()) << r.out;
    EXPECT_EQ(0u, lines[0].rfind("provider\t", 0));
    EXPECT_EQ(0u, lines[1].rfind("files\t", 0));
    EXPECT_EQ(std::string("release\t") + szNumber + "\t" + szText, lines[2]);
    if (lines[0] != "provider\tnone")
    {
        EXPECT_EQ(lines[0].substr(9), szText);
    }

    ExpectOutput({"dx", "--json"}, std::string("\"release\":{\"number\":") + std::to_string(nNumber) + ",\"hex\":\"" +
                                       szNumber + "\",\"text\":\"" + szText + "\"}",
                 true);
    ExpectError(Kestrum({"dx", "extra"}), 2, "");
}

// The registry view of the test's (and the tool's) own bitness.
const char* const kOwnView = sizeof(void*) == 8 ? "64" : "32";

bool HasView64()
{
    BOOL bWow64 = FALSE;
    return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &bWow64) && bWow64);
}

class KestrumRegister : public testing::Test, protected ScratchClassKey
{
protected:
    TempDir m_dir;

    void WriteRegDat(const std::string& title, const std::string& version, const std::string& path,
                     const std::string& clsid = "")
    {
        WriteFileBytes(m_dir / "REG.DAT", RegDatText(clsid.empty() ? m_clsid : clsid, title, version, path));
    }

    // The lines (un)register prints for the six values, each with its
    // status, where the title's and the current user's path may differ.
    std::string Entries(const std::string& status, const std::string& title, const std::string& path,
                        const char* titleStatus = nullptr, const char* userPathStatus = nullptr)
    {
        std::string text;
        for (const char* root : {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"})
        {
            std::string prefix = std::string("\t") + root + "\t" + Esc(m_classKey);
            text += (titleStatus ? titleStatus : status) + prefix + "\t(default)\t" + title + "\n";
            text += status + prefix + "\\\\InstalledVersion\t(default)\t2.0\n";
            text += (userPathStatus && root[5] == 'C' ? userPathStatus : status) + prefix +
                    "\\\\InstalledVersion\tPath\t" + WindowsDrive() + "\\\\" + Esc(path) + "\n";
        }
        return text;
    }

    std::string Header(const std::string& title, const std::string& path, const char* view = kOwnView,
                       const std::string& file = "")
    {
        return "file\t" + (file.empty() ? Esc(m_dir / "REG.DAT") : file) + "\ndrive\t" + WindowsDrive() + "\nview\t" + view + "\nCLSID\t" +
               m_clsid + "\nTITLE\t" + title + "\nVERSION\t2.0\nPATH\t" + Esc(path) + "\n";
    }

    bool Written(HKEY root, REGSAM samView = 0) { return RegKeyExists(root, m_classKey, samView); }

    // The command on m_dir, with --write after it when bWrite.
    Result Run(const char* command, bool bWrite)
    {
        std::vector<std::string> args = {command, m_dir.Path()};
        if (bWrite)
            args.push_back("--write");
        return Kestrum(args);
    }
};

TEST_F(KestrumRegister, WriteWritesWhatTheDryRunShowed)
{
    WriteRegDat("Demo Title", "2.0", "Apps\\Demo");
    Result r = Run("register", false);
    EXPECT_EQ(0u, r.code) << r.err;
    EXPECT_EQ(Header("Demo Title", "Apps\\Demo") + Entries("write", "Demo Title", "Apps\\Demo"), r.out);
    EXPECT_EQ("", r.err);
    ExpectNothingWritten();

    // REG.DAT may be named itself, not only its folder.
    r = Kestrum({"register", "--write", m_dir / "REG.DAT"});
    EXPECT_EQ(0u, r.code) << r.err;
    EXPECT_EQ(Header("Demo Title", "Apps\\Demo") + Entries("written", "Demo Title", "Apps\\Demo"), r.out);
    ExpectRegistered(m_classKey, "Demo Title", "2.0", WindowsDrive() + "\\Apps\\Demo");
}

// A folder named in any script: the plan of the REG.DAT there, the name
// shown as text output shows it (a character the code page lacks as
// \uXXXX; 表 in code page 932 whole, though its trail byte is "\").
TEST_F(KestrumRegister, FolderOfAnyNameDbcs)
{
    const struct
    {
        const wchar_t* name;
        const char* shown;
        UINT nCodePage;   // 0: any
    } rows[] = {
        {L"\u0E01", "\\u0e01", 0},
        {L"\u8868", "\x95\x5C", 932},
    };
    for (const auto& row : rows)
    {
        if (row.nCodePage != 0 && row.nCodePage != GetACP())
            continue;
        SCOPED_TRACE(row.shown);
        const std::wstring folder = Wide(m_dir.Path()) + row.name;
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        const std::string text = RegDatText(m_clsid, "T", "2.0", "P");
        HANDLE h = CreateFileW((folder + L"\\REG.DAT").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        DWORD dwWritten = 0;
        ASSERT_TRUE(WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &dwWritten, nullptr));
        CloseHandle(h);
        Result r = KestrumW({L"register", folder});
        EXPECT_EQ(0u, r.code) << r.err;
        EXPECT_EQ(Header("T", "P", kOwnView, Esc(m_dir.Path()) + row.shown + "\\\\REG.DAT") +
                      Entries("write", "T", "P"),
                  r.out);
        DeleteFileW((folder + L"\\REG.DAT").c_str());
        RemoveDirectoryW(folder.c_str());
    }
}

TEST_F(KestrumRegister, OverlongValueIsSkippedWithAWarning)
{
    // 255 bytes: one more than a value may hold.
    std::string title(255, 't');
    WriteRegDat(title, "2.0", "P");
    Result r = Run("register", true);
    EXPECT_EQ(0u, r.code) << r.err;
    EXPECT_EQ(Header(title, "P") + Entries("written", title, "P", "skipped"), r.out);
    EXPECT_EQ("kestrum: warning: TITLE is 255 bytes, more than 254: registration leaves it out\n", r.err);
    std::string value;
    EXPECT_FALSE(ReadRegString(HKEY_CURRENT_USER, m_classKey, "", &value));
    EXPECT_TRUE(ReadRegString(HKEY_LOCAL_MACHINE, m_classKey + "\\InstalledVersion", "Path", &value));

    r = Kestrum({"register", "--json", m_dir.Path()});
    EXPECT_NE(std::string::npos, r.out.find("\"status\":\"skip\"")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\"warnings\":[\"TITLE is 255 bytes")) << r.out;
}

// What the registry refuses, the dry run predicts: each "fail" of the dry
// run is a "failed" write, with the platform's reason, and nothing else is.
TEST_F(KestrumRegister, DryRunPredictsEveryRefusal)
{
    const struct
    {
        size_t nClsid;
        const char* statuses;   // per entry: w(rite) or f(ail)
        const char* reason;
    } rows[] = {
        {300, "ffffff", "key name longer than 255 characters"},
        {230, "wffwff", "key path longer than 260 characters"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.nClsid);
        std::string clsid(row.nClsid, 'c');
        ScopedRegTree cleanUser(HKEY_CURRENT_USER, "SOFTWARE\\Classes\\CLSID\\{" + clsid + "}");
        ScopedRegTree cleanMachine(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\CLSID\\{" + clsid + "}");
        WriteRegDat("T", "2.0", "P", clsid);
        for (bool bWrite : {false, true})
        {
            Result r = Run("register", bWrite);
            EXPECT_EQ(1u, r.code);
            std::string statuses;
            for (const std::string& line : Lines(r.out))
                if (line.find("\tHKEY_") != std::string::npos)
                    statuses += line[0];
            EXPECT_EQ(row.statuses, statuses) << r.out;
            EXPECT_NE(std::string::npos, r.err.find(std::string("(default): ") + row.reason)) << r.err;
            EXPECT_EQ(bWrite, r.err.find("; the registry answers: ") != std::string::npos) << r.err;
        }
    }
}

// REG.DAT is registered as it stands; what does not look like its author's
// intent is said on standard error and in JSON.
TEST_F(KestrumRegister, WarnsWhereRegDatLooksWrong)
{
    const struct
    {
        std::string clsid;
        const char* warning;
    } rows[] = {
        {"..\\..\\Evil", "CLSID holds a \"\\\\\", so the class key becomes a chain of nested keys"},
        {"{" + m_clsid + "}", "CLSID is not a class identifier of the form"},
        {m_clsid + " ; comment", "CLSID is not a class identifier of the form"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.clsid);
        WriteRegDat("T", "2.0", "P", row.clsid);
        Result r = Kestrum({"register", m_dir.Path()});
        EXPECT_EQ(0u, r.code);
        EXPECT_NE(std::string::npos, r.err.find(std::string("kestrum: warning: ") + row.warning)) << r.err;
        r = Kestrum({"register", "--json", m_dir.Path()});
        EXPECT_NE(std::string::npos, r.out.find("\"warnings\":[\"CLSID ")) << r.out;
    }
}

TEST_F(KestrumRegister, IncompleteRegDatRegistersNothing)
{
    WriteRegDat("T", "", "P");
    for (bool bWrite : {false, true})
    {
        SCOPED_TRACE(bWrite);
        Result r = Run("register", bWrite);
        ExpectError(r, 1, "VERSION is empty or missing", false);
        EXPECT_EQ("file\t" + Esc(m_dir / "REG.DAT") + "\ndrive\t" + WindowsDrive() + "\nview\t" + kOwnView +
                      "\nCLSID\t" + m_clsid + "\nTITLE\tT\nVERSION\t\nstop\tVERSION\n",
                  r.out);
        ExpectNothingWritten();
    }

    Result r = Kestrum({"register", "--json", m_dir.Path()});
    EXPECT_NE(std::string::npos,
              r.out.find("\"values\":{\"CLSID\":\"" + m_clsid +
                         "\",\"TITLE\":\"T\",\"VERSION\":\"\"},\"stop\":\"VERSION\","
                         "\"error\":\"VERSION is empty or missing: registration writes nothing\"}"))
        << r.out;
}

TEST_F(KestrumRegister, MissingFolderOrRegDat)
{
    ExpectError(Kestrum({"register", m_dir / "nowhere"}), 1, Esc(m_dir / "nowhere") + ": not found");
    ExpectError(Kestrum({"unregister", m_dir.Path()}), 1, "REG.DAT: not found");
}

// --view writes and removes in that registry view, the default being the
// one of the tool's own bitness (what its regsvr32 writes); a system with
// one view has no 64-bit view to write.
TEST_F(KestrumRegister, ViewsOfTheRegistry)
{
    WriteRegDat("T", "2.0", "P");
    const struct
    {
        const char* view;
        REGSAM samView;
    } rows[] = {{"", 0}, {"32", KEY_WOW64_32KEY}, {"64", KEY_WOW64_64KEY}};
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.view);
        std::vector<std::string> args = {"register", "--write", m_dir.Path()};
        if (*row.view)
            args.insert(args.end(), {"--view", row.view});
        Result r = Kestrum(args);
        if (row.samView == KEY_WOW64_64KEY && !HasView64())
        {
            ExpectError(r, 1, "--view 64: this system has no 64-bit registry view");
            continue;
        }
        EXPECT_EQ(0u, r.code) << r.err;
        EXPECT_NE(std::string::npos, r.out.find(std::string("\nview\t") + (*row.view ? row.view : kOwnView) + "\n"));
        EXPECT_TRUE(Written(HKEY_CURRENT_USER, row.samView));
        args[0] = "unregister";
        EXPECT_EQ(0u, Kestrum(args).code);
        EXPECT_FALSE(Written(HKEY_CURRENT_USER, row.samView));
    }
}

// Unregistering removes only what still holds REG.DAT's data, then only
// the keys left empty; the dry run tells the same in advance.
TEST_F(KestrumRegister, UnregisterKeepsWhatChanged)
{
    WriteRegDat("T", "2.0", "P");
    ASSERT_EQ(0u, Run("register", true).code);
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, (m_classKey + "\\InstalledVersion").c_str(), 0,
                                           KEY_SET_VALUE, &hKey));
    RegSetValueExA(hKey, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>("other"), 6);
    RegCloseKey(hKey);

    for (bool bWrite : {false, true})
    {
        SCOPED_TRACE(bWrite);
        Result r = Run("unregister", bWrite);
        EXPECT_EQ(0u, r.code) << r.err;
        const std::string remove = bWrite ? "removed" : "remove", keep = bWrite ? "kept" : "keep";
        std::string expected = Header("T", "P") + Entries(remove, "T", "P", nullptr, keep.c_str());
        for (const char* root : {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"})
        {
            std::string keyStatus = (root[5] == 'C' ? keep : remove) + "-key\t" + root + "\t" + Esc(m_classKey);
            expected += keyStatus + "\\\\InstalledVersion\n" + keyStatus + "\n";
        }
        EXPECT_EQ(expected, r.out);
        EXPECT_NE(std::string::npos, r.err.find("Path: holds \"other\", not what REG.DAT gives: kept")) << r.err;
    }
    std::string value;
    EXPECT_TRUE(ReadRegString(HKEY_CURRENT_USER, m_classKey + "\\InstalledVersion", "Path", &value));
    EXPECT_EQ("other", value);
    EXPECT_FALSE(ReadRegString(HKEY_CURRENT_USER, m_classKey, "", &value));
    EXPECT_FALSE(Written(HKEY_LOCAL_MACHINE));
}
