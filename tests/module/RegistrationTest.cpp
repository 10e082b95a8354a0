#include "module/Registration.h"
#include "tests/module/ModuleFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace testing_support;

namespace {

struct Roots
{
    HKEY root;
    const char* name;
} const kRoots[] = {{HKEY_CURRENT_USER, "HKCU"}, {HKEY_LOCAL_MACHINE, "HKLM"}};

class RegistrationTest : public testing::Test, protected ScratchClassKey
{
protected:
    TempDir m_dir;

    void WriteRegDat(const std::string& body, const std::string& folder = std::string())
    {
        WriteFileBytes((folder.empty() ? m_dir.Path() : folder) + "REG.DAT", body);
    }

    std::wstring RegDatFile() const
    {
        const std::string path = m_dir / "REG.DAT";
        wchar_t wide[MAX_PATH] = {};
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
        return wide;
    }

    std::string RegDat(const std::string& title, const std::string& version, const std::string& path) const
    {
        return RegDatText(m_clsid, title, version, path);
    }
};

} // namespace

TEST(WindowsDrive, TextBeforeFirstSeparator)
{
    struct Row
    {
        const char* dir;
        const char* drive;
    } rows[] = {
        {"C:\\WINDOWS", "C:"}, {"D:/Win", "D:"}, {"\\\\srv\\win", ""}, {"WINDOWS", ""}, {"", ""}, {"C:", ""},
        {"E:\\", "E:"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.dir);
        EXPECT_STREQ(row.drive, GetWindowsDrive(row.dir));
    }
}

// The values go in as they stand: braces around CLSID double, a leading "\"
// in PATH doubles; a renamed module reads the REG.DAT beside itself.
TEST_F(RegistrationTest, WritesTheSixValuesUnderBothRoots)
{
    const std::string braced = "{" + m_clsid + "}";
    const std::string doubled = "SOFTWARE\\Classes\\CLSID\\{" + braced + "}";
    ScopedRegTree cleanUser(HKEY_CURRENT_USER, doubled);
    ScopedRegTree cleanMachine(HKEY_LOCAL_MACHINE, doubled);
    const struct
    {
        const char* title;
        std::string clsid, path, module, key, written;
    } rows[] = {
        {"Kestrum Viewer", m_clsid, "Program Files\\Viewer", "Kestrum.ocx", m_classKey, "\\Program Files\\Viewer"},
        {"braced", braced, "P", "Kestrum.ocx", doubled, "\\P"},
        {"leading separator", m_clsid, "\\Leading", "Kestrum.ocx", m_classKey, "\\\\Leading"},
        {"renamed", m_clsid, "R", "Renamed.ocx", m_classKey, "\\R"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.title);
        WriteRegDat(RegDatText(row.clsid, row.title, "1.2.3.4", row.path));
        LoadedModule module(m_dir.Path(), row.module);
        EXPECT_EQ(S_OK, module.Register());
        ExpectRegistered(row.key, row.title, "1.2.3.4", WindowsDrive() + row.written);
    }
}

TEST_F(RegistrationTest, StopsAtFirstEmptyValue)
{
    const std::string c = "CLSID=" + m_clsid + "\r\n";
    const char* kTitle = "TITLE=T\r\n";
    const char* kVersion = "VERSION=V\r\n";
    const char* kPath = "PATH=P\r\n";
    struct Row
    {
        const char* name;
        std::string body;
    } rows[] = {
        {"empty file", ""},
        {"no section", c + kTitle + kVersion + kPath},
        {"other section", "[OTHER]\r\n" + c + kTitle + kVersion + kPath},
        {"CLSID and TITLE only", "[REG]\r\n" + c + kTitle},
        {"VERSION empty", "[REG]\r\n" + c + kTitle + "VERSION=\r\n" + kPath},
        {"TITLE missing", "[REG]\r\n" + c + kVersion + kPath},
        {"PATH empty", "[REG]\r\n" + c + kTitle + kVersion + "PATH=\r\n"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        WriteRegDat(row.body);
        LoadedModule module(m_dir.Path());
        EXPECT_EQ(S_OK, module.Register());
        ExpectNothingWritten();
    }
}

TEST_F(RegistrationTest, PlanNamesTheStopKeyAndReadsNoFurther)
{
    const std::string c = "CLSID=" + m_clsid + "\r\n";
    struct Row
    {
        std::string body;
        const char* stop;
    } rows[] = {
        {"", "CLSID"},
        {"[REG]\r\n" + c + "VERSION=V\r\nPATH=P\r\n", "TITLE"},
        {"[REG]\r\n" + c + "TITLE=T\r\nVERSION=\r\nPATH=P\r\n", "VERSION"},
        {"[REG]\r\n" + c + "TITLE=T\r\nVERSION=V\r\n", "PATH"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.stop);
        WriteRegDat(row.body);
        CRegistrationPlan plan = PlanRegistration(RegDatFile().c_str(), "C:\\WINDOWS");
        EXPECT_FALSE(plan.IsComplete());
        EXPECT_STREQ(row.stop, plan.m_strStopKey);
        EXPECT_STREQ("", plan.m_strPath);   // never read, or read empty
        EXPECT_EQ(0, plan.m_nEntries);
        EXPECT_EQ(0, WriteRegistration(plan));
    }
    ExpectNothingWritten();
}

TEST_F(RegistrationTest, PlanListsTheSixValuesInWritingOrder)
{
    WriteRegDat(RegDat("T", std::string(255, 'v'), "Apps"));
    CRegistrationPlan plan = PlanRegistration(RegDatFile().c_str(), "D:/Win");
    ASSERT_TRUE(plan.IsComplete());
    EXPECT_STREQ("D:\\Apps", plan.m_strInstallPath);
    const std::string versionKey = m_classKey + "\\InstalledVersion";
    struct
    {
        HKEY root;
        RegistrationValue value;
        std::string key;
        const char* name;
        std::string data;
        bool tooLong;
    } const expected[] = {
        {HKEY_CURRENT_USER, RegValueTitle, m_classKey, "", "T", false},
        {HKEY_CURRENT_USER, RegValueVersion, versionKey, "", std::string(255, 'v'), true},
        {HKEY_CURRENT_USER, RegValueInstallPath, versionKey, "Path", "D:\\Apps", false},
        {HKEY_LOCAL_MACHINE, RegValueTitle, m_classKey, "", "T", false},
        {HKEY_LOCAL_MACHINE, RegValueVersion, versionKey, "", std::string(255, 'v'), true},
        {HKEY_LOCAL_MACHINE, RegValueInstallPath, versionKey, "Path", "D:\\Apps", false},
    };
    ASSERT_EQ(6, plan.m_nEntries);
    for (size_t i = 0; i < 6; ++i)
    {
        SCOPED_TRACE(i);
        const CRegistrationEntry& entry = plan.m_entries[i];
        EXPECT_EQ(expected[i].root, entry.m_pRoot->m_hRoot);
        EXPECT_EQ(expected[i].value, entry.m_value);
        EXPECT_EQ(expected[i].key, entry.m_strKey.GetString());
        EXPECT_STREQ(expected[i].name, entry.m_strName);
        EXPECT_EQ(expected[i].data, entry.m_strData.GetString());
        EXPECT_EQ(expected[i].tooLong, entry.IsTooLong());
    }

    // The over-long version is the one value left out.
    LONG status[kRegistrationEntries];
    EXPECT_EQ(4, WriteRegistration(plan, &status));
    const LONG lTooLong = ERROR_INVALID_DATA;
    EXPECT_EQ((std::vector<LONG>{ERROR_SUCCESS, lTooLong, ERROR_SUCCESS, ERROR_SUCCESS, lTooLong, ERROR_SUCCESS}),
              std::vector<LONG>(status, status + kRegistrationEntries));
}

// REG.DAT is found by a path as long as the profile reader reads, and past
// that by none: the reader itself reads nothing there.
TEST_F(RegistrationTest, RegDatPathUpToTheProfileReadersLimit)
{
    const struct
    {
        unsigned length;    // of the REG.DAT path
        bool located;
    } rows[] = {{kMaxRegDatPath, true}, {kMaxRegDatPath + 1, false}};
    const std::string text = RegDat("T", "V", "P");
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.length);
        const std::wstring base = RegDatFile().substr(0, RegDatFile().size() - 7);
        const std::wstring folder = base + std::wstring(row.length - base.size() - 8, L'd');
        const std::wstring file = folder + L"\\REG.DAT";
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr));
        HANDLE h = CreateFileW((L"\\\\?\\" + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        DWORD dwWritten = 0;
        EXPECT_TRUE(WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &dwWritten, nullptr));
        CloseHandle(h);

        wchar_t szRegDat[kRegDatPathSize];
        const DWORD dwError = LocateRegDat(folder.c_str(), szRegDat);
        wchar_t szValue[8] = L"";
        EXPECT_EQ(row.located, GetPrivateProfileStringW(L"REG", L"TITLE", L"", szValue, 8, file.c_str()) > 0);
        EXPECT_EQ(static_cast<DWORD>(row.located ? ERROR_SUCCESS : ERROR_FILENAME_EXCED_RANGE), dwError);
        EXPECT_EQ(row.located ? file : std::wstring(), szRegDat);
        EXPECT_EQ(row.located, PlanRegistration(file.c_str(), "C:\\WINDOWS").IsComplete());
        DeleteFileW((L"\\\\?\\" + file).c_str());
        RemoveDirectoryW((L"\\\\?\\" + folder).c_str());
    }
}

TEST_F(RegistrationTest, MissingRegDatWritesNothing)
{
    LoadedModule module(m_dir.Path());
    EXPECT_EQ(S_OK, module.Register());
    ExpectNothingWritten();
}

TEST_F(RegistrationTest, ValuesOver254BytesAreSkippedOthersStillWritten)
{
    const std::string title254(254, 't');
    const std::string version255(255, 'v');
    // The install path is the drive, "\" and PATH: make it exactly 254 bytes.
    const std::string path = std::string(254 - WindowsDrive().size() - 1, 'p');
    WriteRegDat(RegDat(title254, version255, path));
    LoadedModule module(m_dir.Path());
    EXPECT_EQ(S_OK, module.Register());
    for (const Roots& r : kRoots)
    {
        SCOPED_TRACE(r.name);
        std::string value;
        EXPECT_TRUE(ReadRegString(r.root, m_classKey, "", &value));
        EXPECT_EQ(title254, value);
        EXPECT_FALSE(ReadRegString(r.root, m_classKey + "\\InstalledVersion", "", nullptr));
        EXPECT_TRUE(ReadRegString(r.root, m_classKey + "\\InstalledVersion", "Path", &value));
        EXPECT_EQ(WindowsDrive() + "\\" + path, value);
    }

    // One byte more in PATH pushes the install path to 255 bytes.
    WriteRegDat(RegDat("T2", "V2", path + "p"));
    RegDeleteKeyValueA(HKEY_CURRENT_USER, (m_classKey + "\\InstalledVersion").c_str(), "Path");
    EXPECT_EQ(S_OK, module.Register());
    EXPECT_FALSE(ReadRegString(HKEY_CURRENT_USER, m_classKey + "\\InstalledVersion", "Path", nullptr));
}

TEST_F(RegistrationTest, SecondRunOverwritesAndLeavesOtherValuesAlone)
{
    WriteRegDat(RegDat("First", "1", "P"));
    LoadedModule module(m_dir.Path());
    ASSERT_EQ(S_OK, module.Register());
    for (const Roots& r : kRoots)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(r.root, m_classKey.c_str(), 0, KEY_SET_VALUE, &key));
        RegSetValueExA(key, "Mine", 0, REG_SZ, reinterpret_cast<const BYTE*>("kept"), 5);
        RegCloseKey(key);
    }
    WriteRegDat(RegDat("Second", "2", "Q"));
    EXPECT_EQ(S_OK, module.Register());
    ExpectRegistered(m_classKey, "Second", "2", WindowsDrive() + "\\Q");
    for (const Roots& r : kRoots)
    {
        std::string value;
        EXPECT_TRUE(ReadRegString(r.root, m_classKey, "Mine", &value)) << r.name;
        EXPECT_EQ("kept", value);
    }
}

TEST_F(RegistrationTest, LongValuesAreCutAt2047Bytes)
{
    for (size_t size : {2046, 2047, 2048, 3000})
    {
        SCOPED_TRACE(size);
        const std::string title(size, 't');
        WriteRegDat(RegDat(title, "V", std::string(size, 'p')));
        CRegistrationPlan plan = PlanRegistration(RegDatFile().c_str(), "C:\\WINDOWS");
        ASSERT_TRUE(plan.IsComplete());
        EXPECT_EQ(title.substr(0, 2047), plan.m_strTitle.GetString());
        EXPECT_EQ("C:\\" + std::string(size < 2047 ? size : 2047, 'p'), plan.m_strInstallPath.GetString());
    }
    // The title is read cut, still too long to store; the rest is written.
    LoadedModule module(m_dir.Path());
    EXPECT_EQ(S_OK, module.Register());
    EXPECT_FALSE(ReadRegString(HKEY_CURRENT_USER, m_classKey, "", nullptr));
    EXPECT_TRUE(ReadRegString(HKEY_CURRENT_USER, m_classKey + "\\InstalledVersion", "", nullptr));
}

TEST_F(RegistrationTest, UnregisterLeavesRegistryUnchanged)
{
    WriteRegDat(RegDat("T", "V", "P"));
    LoadedModule module(m_dir.Path());
    ASSERT_EQ(S_OK, module.Register());
    auto unregister = module.ExportAs<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer");
    ASSERT_NE(nullptr, unregister);
    EXPECT_EQ(S_OK, unregister());
    ExpectRegistered(m_classKey, "T", "V", WindowsDrive() + "\\P");
}
