// Registration on hostile REG.DAT files, with both registry roots redirected
// into scratch keys, so the test sees every key the module writes.
#include "tests/module/ModuleFixture.h"
#include "tests/support/GuardedMemory.h"
#include "tests/support/LeakCheck.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

// Redirects HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE of this process into two
// scratch keys for the object's lifetime.
class SandboxedRoots
{
public:
    SandboxedRoots() : m_base("Software\\KestrumTest\\" + NewGuidText())
    {
        for (int i = 0; i < 2; ++i)
        {
            std::string path = m_base + (i == 0 ? "\\HKCU" : "\\HKLM");
            RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_scratch[i], nullptr);
        }
        RegOverridePredefKey(HKEY_CURRENT_USER, m_scratch[0]);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_scratch[1]);
    }
    ~SandboxedRoots()
    {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        for (HKEY key : m_scratch)
            RegCloseKey(key);
        RegDeleteTreeA(HKEY_CURRENT_USER, m_base.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, m_base.c_str());
    }
    SandboxedRoots(const SandboxedRoots&) = delete;
    SandboxedRoots& operator=(const SandboxedRoots&) = delete;

    // Every key below a root (relative paths) and whether it holds values.
    struct Key
    {
        std::string path;
        DWORD values;
    };
    std::vector<Key> Keys(int root) const
    {
        std::vector<Key> keys;
        Walk(m_scratch[root], "", keys);
        return keys;
    }

    void Clear()
    {
        for (HKEY key : m_scratch)
            RegDeleteTreeA(key, nullptr);
    }

private:
    static void Walk(HKEY key, const std::string& path, std::vector<Key>& out)
    {
        DWORD subKeys = 0;
        DWORD values = 0;
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                         nullptr);
        if (!path.empty())
            out.push_back({path, values});
        for (DWORD i = 0; i < subKeys; ++i)
        {
            char name[512];
            DWORD length = sizeof(name);
            if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                continue;
            HKEY child = nullptr;
            if (RegOpenKeyExA(key, name, 0, KEY_READ, &child) == ERROR_SUCCESS)
            {
                Walk(child, path.empty() ? name : path + "\\" + name, out);
                RegCloseKey(child);
            }
        }
    }

    std::string m_base;
    HKEY m_scratch[2] = {};
};

bool IsAllowedKey(const SandboxedRoots::Key& key)
{
    const std::string classes = "SOFTWARE\\Classes\\CLSID";
    if (key.path.compare(0, classes.size() + 1, classes + "\\") == 0)
        return true;
    // The ancestors of the class key may be created, but hold nothing.
    bool ancestor = key.path == "SOFTWARE" || key.path == "SOFTWARE\\Classes" || key.path == classes;
    return ancestor && key.values == 0;
}

std::string Noise(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& ch : bytes)
        ch = static_cast<char>(random() & 0xFF);
    return bytes;
}

} // namespace

TEST(RegistrationHardening, HostileRegDatWritesOnlyBelowClassKeys)
{
    struct Row
    {
        const char* name;
        std::string body;
        bool writes;   // whether the class key gets its title
    } rows[] = {
        {"empty", "", false},
        {"binary noise", Noise(4096, 1), false},
        {"noise then section", Noise(1024, 2) + "\r\n" + RegDatText("A-B", "T", "V", "P"), true},
        {"section missing", "CLSID=A\r\nTITLE=T\r\nVERSION=V\r\nPATH=P\r\n", false},
        {"title of 2047 bytes", RegDatText("A-B", std::string(2047, 't'), "V", "P"), false},
        {"title of 2048 bytes", RegDatText("A-B", std::string(2048, 't'), "V", "P"), false},
        {"title of 5000 bytes", RegDatText("A-B", std::string(5000, 't'), "V", "P"), false},
        {"clsid of 2047 bytes", RegDatText(std::string(2047, 'c'), "T", "V", "P"), false},
        {"clsid of 5000 bytes", RegDatText(std::string(5000, 'c'), "T", "V", "P"), false},
        {"path of 5000 bytes", RegDatText("A-B", "T", "V", std::string(5000, 'p')), true},
        {"control characters", RegDatText("A-B", "T\x01\x02\tX", "V\x1b", "P\x7f"), true},
        {"clsid with backslashes", RegDatText("a\\b\\c", "T", "V", "P"), true},
        {"clsid climbing up", RegDatText("..\\..\\..\\..\\Evil", "T", "V", "P"), true},
        {"clsid of braces", RegDatText("}{", "T", "V", "P"), true},
        {"clsid of one backslash", RegDatText("\\", "T", "V", "P"), true},
        {"clsid with percent signs", RegDatText("%s%s%n%d", "T", "V", "P"), true},
    };

    TempDir dir;
    LoadedModule module(dir.Path());
    ASSERT_NE(nullptr, module.Handle());
    SandboxedRoots roots;
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        WriteFileBytes(dir / "REG.DAT", row.body);
        roots.Clear();
        EXPECT_EQ(S_OK, module.Register());
        for (int root = 0; root < 2; ++root)
        {
            SCOPED_TRACE(root == 0 ? "HKCU" : "HKLM");
            bool titled = false;
            for (const auto& key : roots.Keys(root))
            {
                EXPECT_TRUE(IsAllowedKey(key)) << key.path;
                if (key.values > 0 && key.path.find("InstalledVersion") == std::string::npos)
                    titled = true;
            }
            EXPECT_EQ(row.writes, titled);
        }
    }
}

TEST(RegistrationHardening, PercentSignsInClsidAreNotFormatDirectives)
{
    TempDir dir;
    LoadedModule module(dir.Path());
    SandboxedRoots roots;
    WriteFileBytes(dir / "REG.DAT", RegDatText("%s%d", "T", "V", "P"));
    EXPECT_EQ(S_OK, module.Register());
    std::string value;
    EXPECT_TRUE(ReadRegString(HKEY_CURRENT_USER, "SOFTWARE\\Classes\\CLSID\\{%s%d}", "", &value));
    EXPECT_EQ("T", value);
}

TEST(RegistrationHardening, RepeatedRegistrationLeaksNothing)
{
    TempDir dir;
    LoadedModule module(dir.Path());
    SandboxedRoots roots;
    WriteFileBytes(dir / "REG.DAT", RegDatText(NewGuidText(), "Title", "1.0", "Program Files\\X"));
    ExpectNoLeaks([&] { EXPECT_EQ(S_OK, module.Register()); }, 2000, {0, 1024 * 1024});
}
