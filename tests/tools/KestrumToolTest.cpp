// kestrum.exe run as a separate process, the way scripts use it: its
// standard output, standard error and exit code.
#include "tests/support/TestSupport.h"
#include "util/sysinfo/DirectXDiagnostics.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

struct Result
{
    DWORD code = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

// Quotes one argument for the command line, as the C runtime splits it.
std::string Quote(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos)
        return arg;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char ch : arg)
    {
        if (ch == '\\')
        {
            ++backslashes;
            continue;
        }
        quoted.append(ch == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += ch;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

std::string WithoutCarriageReturns(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// Runs kestrum.exe from beside this test with the arguments; its output
// goes to files, so neither stream can block the other.
Result Kestrum(const std::vector<std::string>& args)
{
    TempDir scratch;
    std::string commandLine = Quote(ExeDir() + "kestrum.exe");
    for (const std::string& arg : args)
        commandLine += " " + Quote(arg);

    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE hOut = CreateFileA((scratch / "out").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE hErr = CreateFileA((scratch / "err").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    Result result;
    if (hOut == INVALID_HANDLE_VALUE || hErr == INVALID_HANDLE_VALUE)
    {
        ADD_FAILURE() << "cannot create the output files";
    }
    else
    {
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = hOut;
        si.hStdError = hErr;
        PROCESS_INFORMATION pi = {};
        std::vector<char> buffer(commandLine.begin(), commandLine.end());
        buffer.push_back('\0');
        if (CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        {
            WaitForSingleObject(pi.hProcess, 30000);
            GetExitCodeProcess(pi.hProcess, &result.code);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
        else
        {
            ADD_FAILURE() << "cannot start " << commandLine << ", error " << GetLastError();
        }
    }
    if (hErr != INVALID_HANDLE_VALUE)
        CloseHandle(hErr);
    if (hOut != INVALID_HANDLE_VALUE)
        CloseHandle(hOut);
    result.out = WithoutCarriageReturns(ReadFileBytes(scratch / "out"));
    result.err = WithoutCarriageReturns(ReadFileBytes(scratch / "err"));
    return result;
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

// A path as a JSON string holds it: every "\\" doubled.
std::string Json(const std::string& path)
{
    std::string escaped;
    for (char ch : path)
        escaped += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
    return escaped;
}

std::string WindowsDrive()
{
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, MAX_PATH);
    std::string s(dir);
    return s.substr(0, s.find('\\'));
}

} // namespace

TEST(KestrumTool, HelpEverywhere)
{
    for (const char* option : {"/?", "-?", "--help", "help"})
    {
        SCOPED_TRACE(option);
        Result r = Kestrum({option});
        EXPECT_EQ(0u, r.code);
        EXPECT_EQ(0u, r.out.find("usage: kestrum COMMAND"));
        for (const char* command : {"checksum", "size", "times", "ls", "dirs", "scheme", "version", "register"})
            EXPECT_NE(std::string::npos, r.out.find("\n  " + std::string(command) + " ")) << command;
        EXPECT_EQ("", r.err);
    }
    const std::vector<std::string> perCommand[] = {
        {"help", "checksum"}, {"checksum", "/?"}, {"checksum", "-?"}, {"--help", "checksum", "a"},
    };
    for (const auto& args : perCommand)
    {
        SCOPED_TRACE(Join(args));
        Result r = Kestrum(args);
        EXPECT_EQ(0u, r.code);
        EXPECT_EQ(0u, r.out.find("usage: kestrum checksum [--json] FILE...\n"));
        EXPECT_EQ("", r.err);
    }

    // No command at all is a usage error; the list goes to standard error.
    Result r = Kestrum({});
    EXPECT_EQ(2u, r.code);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(0u, r.err.find("usage: kestrum COMMAND"));
}

TEST(KestrumTool, UsageErrors)
{
    struct Row
    {
        std::vector<std::string> args;
        const char* message;
    } const rows[] = {
        {{"bogus"}, "unknown command 'bogus'"},
        {{"help", "bogus"}, "unknown command 'bogus'"},
        {{"size"}, "size needs more operands"},
        {{"times", "a", "b"}, "times takes fewer operands"},
        {{"ls", "a", "b", "c"}, "ls takes fewer operands"},
        {{"checksum", "--write", "a"}, "checksum does not take --write"},
        {{"scheme", "--frob", "http://h/"}, "unknown option '--frob'"},
        {{"-x"}, "unknown option '-x'"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(Join(row.args));
        ExpectError(Kestrum(row.args), 2, row.message);
    }
}

TEST(KestrumTool, Checksum)
{
    TempDir dir;
    WriteFileBytes(dir / "three", "\x01\x02\x04");
    WriteFileBytes(dir / "one", "Z");
    WriteFileBytes(dir / "empty", "");

    Result r = Kestrum({"checksum", dir / "three", dir / "one", dir / "empty"});
    EXPECT_EQ(0u, r.code);
    EXPECT_EQ("0x07\t" + dir / "three" + "\n0x5A\t" + dir / "one" + "\n0x00\t" + dir / "empty" + "\n", r.out);
    EXPECT_EQ("", r.err);

    // A missing file is named on standard error; the others still count.
    r = Kestrum({"checksum", dir / "missing", "--json", dir / "three"});
    ExpectError(r, 1, dir / "missing" + ": not found", false);
    EXPECT_EQ("[{\"file\":\"" + Json(dir / "three") + "\",\"checksum\":7}]\n", r.out);

    // A file another program writes cannot be mapped: a failure, not 0x00.
    HANDLE hWriter = CreateFileA((dir / "one").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hWriter);
    r = Kestrum({"checksum", dir / "one"});
    CloseHandle(hWriter);
    ExpectError(r, 1, ": in use by another program");
    ExpectError(Kestrum({"checksum", dir.Path()}), 1, "is a folder");
}

TEST(KestrumTool, Size)
{
    TempDir dir;
    WriteFileBytes(dir / "5000", std::string(5000, 'x'));
    WriteFileBytes(dir / "empty", "");

    Result r = Kestrum({"size", dir / "5000", dir / "empty"});
    EXPECT_EQ(0u, r.code);
    EXPECT_EQ("5000\t4.88 KB\t" + dir / "5000" + "\n0\t0 bytes\t" + dir / "empty" + "\n", r.out);

    r = Kestrum({"size", "--json", dir / "5000", dir / "gone"});
    ExpectError(r, 1, dir / "gone" + ": not found", false);
    EXPECT_EQ("[{\"file\":\"" + Json(dir / "5000") + "\",\"bytes\":5000,\"text\":\"4.88 KB\"}]\n", r.out);
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

    Result r = Kestrum({"times", dir / "f"});
    EXPECT_EQ(0u, r.code);
    EXPECT_EQ(0u, r.out.find("creation\t")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\naccess\t2001-02-04 10:05:06.789\nwrite\t2001-02-04 05:05:06.789\n"))
        << r.out;

    r = Kestrum({"times", "--json", dir / "f"});
    EXPECT_EQ(0u, r.code);
    EXPECT_NE(std::string::npos, r.out.find(",\"write\":\"2001-02-04 05:05:06.789\"}\n")) << r.out;

    ExpectError(Kestrum({"times", dir / "none"}), 1, dir / "none" + ": not found");
}

TEST(KestrumTool, ListsAndFolders)
{
    TempDir dir;
    WriteFileBytes(dir / "b.txt", "b");
    WriteFileBytes(dir / "a.log", "a");
    CreateDirectoryA((dir / "sub").c_str(), nullptr);

    auto sortedLines = [](const std::string& text) {
        std::vector<std::string> lines;
        for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        std::sort(lines.begin(), lines.end());
        return lines;
    };

    // "/" in the folder counts as "\".
    std::string slashed = dir.Path();
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    Result r = Kestrum({"ls", slashed});
    EXPECT_EQ(0u, r.code);
    EXPECT_EQ((std::vector<std::string>{"a.log", "b.txt"}), sortedLines(r.out));

    r = Kestrum({"ls", dir.Path(), "*.txt", "--json"});
    EXPECT_EQ(0u, r.code);
    EXPECT_EQ("[\"b.txt\"]\n", r.out);

    r = Kestrum({"ls", dir.Path(), "*.none"});
    EXPECT_EQ(0u, r.code);
    EXPECT_EQ("", r.out);

    // Sub-folders: "sub", with "." and ".." where the search reports them.
    r = Kestrum({"dirs", dir.Path()});
    EXPECT_EQ(0u, r.code);
    std::vector<std::string> folders = sortedLines(r.out);
    folders.erase(std::remove_if(folders.begin(), folders.end(),
                                 [](const std::string& s) { return s == "." || s == ".."; }),
                  folders.end());
    EXPECT_EQ(std::vector<std::string>{"sub"}, folders);

    ExpectError(Kestrum({"ls", dir / "nowhere"}), 1, dir / "nowhere" + ": not a folder");
    ExpectError(Kestrum({"dirs", dir / "b.txt"}), 1, ": not a folder");
}

TEST(KestrumTool, Scheme)
{
    Result r = Kestrum({"scheme", "https://x.com/", "MMS://host/a", "mmst://host/a", "rtspu://host/a", "news:comp.lang",
                    "abc"});
    EXPECT_EQ(0u, r.code);
    EXPECT_EQ("https\thttps://x.com/\nmms\tMMS://host/a\nmmst\tmmst://host/a\nunk\trtspu://host/a\n"
              "nntp\tnews:comp.lang\n\tabc\n",
              r.out);

    // Quotes, backslashes and control characters are escaped in JSON.
    r = Kestrum({"scheme", "--json", "a\"b\\c\td"});
    EXPECT_EQ(0u, r.code);
    EXPECT_EQ("[{\"url\":\"a\\\"b\\\\c\\td\",\"scheme\":\"\"}]\n", r.out);
}

TEST(KestrumTool, JsonEscapesTextOfTheCodePage)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "needs code page 1252, active is " << GetACP();
    Result r = Kestrum({"scheme", "--json", "http://h/caf\xE9"});
    EXPECT_EQ(0u, r.code);
    EXPECT_EQ("[{\"url\":\"http://h/caf\\u00e9\",\"scheme\":\"http\"}]\n", r.out);
}

TEST(KestrumTool, Version)
{
    TempDir dir;
    std::string module = ExeDir() + "Kestrum.ocx";
    Result r = Kestrum({"version", module});
    EXPECT_EQ(0u, r.code);
    EXPECT_EQ("1.0.0.1\n", r.out);

    r = Kestrum({"version", "--json", module});
    EXPECT_EQ(0u, r.code);
    EXPECT_NE(std::string::npos, r.out.find("\"version\":\"1.0.0.1\",\"major\":1,\"minor\":0,\"build\":0,\"revision\":1}"))
        << r.out;

    WriteFileBytes(dir / "plain.txt", "no resources here");
    ExpectError(Kestrum({"version", dir / "plain.txt"}), 1, "plain.txt: no version resource");
    ExpectError(Kestrum({"version", dir / "missing.dll"}), 1, "missing.dll: not found");
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
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(r.out.substr(at, end - at));
    ASSERT_EQ(3u, lines.size()) << r.out;
    EXPECT_EQ(0u, lines[0].rfind("provider\t", 0));
    EXPECT_EQ(0u, lines[1].rfind("files\t", 0));
    EXPECT_EQ(std::string("release\t") + szNumber + "\t" + szText, lines[2]);
    if (lines[0] != "provider\tnone")
    {
        EXPECT_EQ(lines[0].substr(9), szText);
    }

    r = Kestrum({"dx", "--json"});
    EXPECT_EQ(0u, r.code);
    EXPECT_NE(std::string::npos, r.out.find(std::string("\"release\":{\"number\":") + std::to_string(nNumber) +
                                            ",\"hex\":\"" + szNumber + "\",\"text\":\"" + szText + "\"}"))
        << r.out;
    ExpectError(Kestrum({"dx", "extra"}), 2, "");
}

class KestrumRegister : public testing::Test, protected ScratchClassKey
{
protected:
    TempDir m_dir;

    void WriteRegDat(const std::string& title, const std::string& version, const std::string& path)
    {
        WriteFileBytes(m_dir / "REG.DAT", "[REG]\r\nCLSID=" + m_clsid + "\r\nTITLE=" + title +
                                              "\r\nVERSION=" + version + "\r\nPATH=" + path + "\r\n");
    }

    // The lines register prints for the six values, each with its status.
    std::string Entries(const char* status, const std::string& title, const std::string& path,
                        const char* titleStatus = nullptr)
    {
        std::string text;
        for (const char* root : {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"})
        {
            std::string prefix = std::string("\t") + root + "\t" + m_classKey;
            text += (titleStatus ? titleStatus : status) + prefix + "\t(default)\t" + title + "\n";
            text += status + prefix + "\\InstalledVersion\t(default)\t2.0\n";
            text += status + prefix + "\\InstalledVersion\tPath\t" + WindowsDrive() + "\\" + path + "\n";
        }
        return text;
    }

    std::string Header(const std::string& title, const std::string& path)
    {
        return "file\t" + m_dir / "REG.DAT" + "\ndrive\t" + WindowsDrive() + "\nCLSID\t" + m_clsid + "\nTITLE\t" +
               title + "\nVERSION\t2.0\nPATH\t" + path + "\n";
    }

    bool Written(HKEY root)
    {
        return RegKeyExists(root, m_classKey);
    }
};

TEST_F(KestrumRegister, DryRunWritesNothing)
{
    WriteRegDat("Demo Title", "2.0", "Apps\\Demo");
    Result r = Kestrum({"register", m_dir.Path()});
    EXPECT_EQ(0u, r.code) << r.err;
    EXPECT_EQ(Header("Demo Title", "Apps\\Demo") + Entries("write", "Demo Title", "Apps\\Demo"), r.out);
    EXPECT_FALSE(Written(HKEY_CURRENT_USER));
    EXPECT_FALSE(Written(HKEY_LOCAL_MACHINE));
}

TEST_F(KestrumRegister, WriteWritesWhatTheDryRunShowed)
{
    WriteRegDat("Demo Title", "2.0", "Apps\\Demo");
    Result r = Kestrum({"register", "--write", m_dir.Path()});
    EXPECT_EQ(0u, r.code) << r.err;
    EXPECT_EQ(Header("Demo Title", "Apps\\Demo") + Entries("written", "Demo Title", "Apps\\Demo"), r.out);
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
    {
        std::string value;
        EXPECT_TRUE(ReadRegString(root, m_classKey, "", &value));
        EXPECT_EQ("Demo Title", value);
        EXPECT_TRUE(ReadRegString(root, m_classKey + "\\InstalledVersion", "", &value));
        EXPECT_EQ("2.0", value);
        EXPECT_TRUE(ReadRegString(root, m_classKey + "\\InstalledVersion", "Path", &value));
        EXPECT_EQ(WindowsDrive() + "\\Apps\\Demo", value);
    }
}

TEST_F(KestrumRegister, OverlongValueIsSkipped)
{
    // 255 bytes: one more than a value may hold.
    std::string title(255, 't');
    WriteRegDat(title, "2.0", "P");
    Result r = Kestrum({"register", m_dir.Path(), "--write"});
    EXPECT_EQ(0u, r.code) << r.err;
    EXPECT_EQ(Header(title, "P") + Entries("written", title, "P", "skipped"), r.out);
    std::string value;
    EXPECT_FALSE(ReadRegString(HKEY_CURRENT_USER, m_classKey, "", &value));
    EXPECT_TRUE(ReadRegString(HKEY_LOCAL_MACHINE, m_classKey + "\\InstalledVersion", "Path", &value));

    r = Kestrum({"register", "--json", m_dir.Path()});
    EXPECT_NE(std::string::npos, r.out.find("\"data\":\"" + title + "\",\"status\":\"skip\"}")) << r.out;
}

TEST_F(KestrumRegister, IncompleteRegDatRegistersNothing)
{
    WriteRegDat("T", "", "P");
    for (const char* write : {"", "--write"})
    {
        SCOPED_TRACE(write);
        std::vector<std::string> args = {"register", m_dir.Path()};
        if (*write)
            args.push_back(write);
        Result r = Kestrum(args);
        ExpectError(r, 1, "VERSION is empty or missing", false);
        EXPECT_EQ("file\t" + m_dir / "REG.DAT" + "\ndrive\t" + WindowsDrive() + "\nCLSID\t" + m_clsid +
                      "\nTITLE\tT\nVERSION\t\nstop\tVERSION\n",
                  r.out);
        EXPECT_FALSE(Written(HKEY_CURRENT_USER));
        EXPECT_FALSE(Written(HKEY_LOCAL_MACHINE));
    }

    Result r = Kestrum({"register", "--json", m_dir.Path()});
    EXPECT_NE(std::string::npos,
              r.out.find("\"values\":{\"CLSID\":\"" + m_clsid +
                         "\",\"TITLE\":\"T\",\"VERSION\":\"\"},\"stop\":\"VERSION\",\"entries\":[]}"))
        << r.out;
}

TEST_F(KestrumRegister, MissingFolderOrRegDat)
{
    ExpectError(Kestrum({"register", m_dir / "nowhere"}), 1, "nowhere: not a folder");
    ExpectError(Kestrum({"register", m_dir.Path()}), 1, "REG.DAT: not found");
}
