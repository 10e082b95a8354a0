#include "module/RegistryKey.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace testing_support;

namespace {

class RegistryKeyTest : public testing::Test
{
protected:
    const std::string m_base = "Software\\KestrumTest\\" + NewGuidText();
    ScopedRegTree m_cleanup{HKEY_CURRENT_USER, m_base};
};

DWORD ValueSize(HKEY root, const std::string& subKey, const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD size = 0;
    DWORD type = 0;
    LONG status = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? size : 0;
}

// Counts the RegFlushKey calls of this executable, which the key writer is
// linked into, by pointing its import of RegFlushKey at a counter for the
// life of the object.
class FlushCounter
{
public:
    FlushCounter()
    {
        s_real = reinterpret_cast<Flush>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegFlushKey")));
        auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const DWORD rva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
        for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + rva); dll->Name != 0 && !m_pSlot; ++dll)
            for (auto* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk); thunk->u1.Function; ++thunk)
                if (thunk->u1.Function == reinterpret_cast<ULONG_PTR>(s_real))
                    m_pSlot = &thunk->u1.Function;
        Point(&Counted);
    }
    ~FlushCounter() { Point(s_real); }
    FlushCounter(const FlushCounter&) = delete;
    FlushCounter& operator=(const FlushCounter&) = delete;

    bool Hooked() const { return m_pSlot != nullptr; }
    int Count() const { return s_count; }

private:
    using Flush = LONG(WINAPI*)(HKEY);
    static LONG WINAPI Counted(HKEY hKey)
    {
        ++s_count;
        return s_real(hKey);
    }
    void Point(Flush target)
    {
        DWORD old = 0;
        if (m_pSlot != nullptr && VirtualProtect(m_pSlot, sizeof(*m_pSlot), PAGE_READWRITE, &old))
        {
            *m_pSlot = reinterpret_cast<ULONG_PTR>(target);
            VirtualProtect(m_pSlot, sizeof(*m_pSlot), old, &old);
        }
    }

    static inline Flush s_real = nullptr;
    static inline int s_count = 0;
    ULONG_PTR* m_pSlot = nullptr;
};

} // namespace

TEST_F(RegistryKeyTest, ConstructionAndReset)
{
    CRegistryKey key;
    EXPECT_EQ(0, key.m_lLastError);
    EXPECT_EQ(HKEY_CURRENT_USER, key.m_hRoot);
    EXPECT_TRUE(key.m_bSkipFlush);
    EXPECT_TRUE(key.m_strSubKey.IsEmpty());

    key.SelectRoot(HKEY_USERS);
    key.m_bSkipFlush = FALSE;
    key.m_lLastError = 5;
    ASSERT_TRUE(key.OpenSubKey(CString(m_base.c_str()), TRUE));
    key.Reset();
    EXPECT_EQ(HKEY_CURRENT_USER, key.m_hRoot);
    EXPECT_TRUE(key.m_bSkipFlush);
    EXPECT_TRUE(key.m_strSubKey.IsEmpty());
    EXPECT_EQ(5, key.m_lLastError) << "Reset keeps the last error";
}

TEST_F(RegistryKeyTest, SelectRootAcceptsExactlyTheFourRoots)
{
    CRegistryKey key;
    HKEY accepted[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
    for (HKEY root : accepted)
    {
        EXPECT_TRUE(key.SelectRoot(root));
        EXPECT_EQ(root, key.m_hRoot);
    }
    HKEY refused[] = {HKEY_CURRENT_CONFIG, HKEY_PERFORMANCE_DATA, nullptr, reinterpret_cast<HKEY>(0x80000007)};
    for (HKEY root : refused)
    {
        EXPECT_FALSE(key.SelectRoot(root));
        EXPECT_EQ(HKEY_USERS, key.m_hRoot) << "a refused root keeps the previous one";
    }
}

TEST_F(RegistryKeyTest, CreateMakesWholePathAndRemembersIt)
{
    CRegistryKey key;
    std::string path = m_base + "\\a\\b\\c";
    key.m_lLastError = 77;
    ASSERT_TRUE(key.OpenSubKey(CString(path.c_str()), TRUE));
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, path));
    EXPECT_STREQ(path.c_str(), key.m_strSubKey);
    EXPECT_EQ(77, key.m_lLastError) << "create does not record a status";

    ASSERT_TRUE(key.SetStringValue("", "default"));
    ASSERT_TRUE(key.SetStringValue("Name", "value"));
    std::string value;
    ASSERT_TRUE(ReadRegString(HKEY_CURRENT_USER, path, nullptr, &value));
    EXPECT_EQ("default", value);
    ASSERT_TRUE(ReadRegString(HKEY_CURRENT_USER, path, "Name", &value));
    EXPECT_EQ("value", value);
}

TEST_F(RegistryKeyTest, OpenWithoutCreate)
{
    CRegistryKey key;
    ASSERT_TRUE(key.OpenSubKey(CString(m_base.c_str()), TRUE));

    std::string missing = m_base + "\\missing";
    EXPECT_FALSE(key.OpenSubKey(CString(missing.c_str()), FALSE));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.m_lLastError);
    EXPECT_STREQ(m_base.c_str(), key.m_strSubKey) << "a failed open keeps the remembered path";
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, missing)) << "open without create creates nothing";

    key.m_lLastError = 99;
    EXPECT_TRUE(key.OpenSubKey(CString(m_base.c_str()), FALSE));
    EXPECT_EQ(ERROR_SUCCESS, key.m_lLastError);
}

TEST_F(RegistryKeyTest, EmptyPathTargetsTheRootWithoutRegistryCall)
{
    CRegistryKey key;
    ASSERT_TRUE(key.OpenSubKey(CString(m_base.c_str()), TRUE));
    key.m_lLastError = 1234;
    EXPECT_TRUE(key.OpenSubKey("", FALSE));
    EXPECT_TRUE(key.m_strSubKey.IsEmpty());
    EXPECT_EQ(1234, key.m_lLastError);

    // The root of a scratch key stands in for a predefined root here.
    HKEY scratch = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, m_base.c_str(), 0, KEY_ALL_ACCESS, &scratch));
    key.m_hRoot = scratch;
    EXPECT_TRUE(key.SetStringValue("AtRoot", "x"));
    RegCloseKey(scratch);
    std::string value;
    ASSERT_TRUE(ReadRegString(HKEY_CURRENT_USER, m_base, "AtRoot", &value));
    EXPECT_EQ("x", value);
}

TEST_F(RegistryKeyTest, ValueLengthLimit)
{
    CRegistryKey key;
    ASSERT_TRUE(key.OpenSubKey(CString(m_base.c_str()), TRUE));
    struct Row
    {
        int length;
        BOOL stored;
    } rows[] = {{0, TRUE}, {1, TRUE}, {253, TRUE}, {254, TRUE}, {255, FALSE}, {256, FALSE}, {5000, FALSE}};
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.length);
        std::string name = "len" + std::to_string(row.length);
        CString text('v', row.length);
        EXPECT_EQ(row.stored, key.SetStringValue(name.c_str(), text));
        // The terminator is stored with the text.
        EXPECT_EQ(row.stored ? static_cast<DWORD>(row.length + 1) : 0u, ValueSize(HKEY_CURRENT_USER, m_base, name.c_str()));
    }
}

TEST_F(RegistryKeyTest, WriteToMissingKeyFails)
{
    CRegistryKey key;
    key.m_strSubKey = (m_base + "\\never-created").c_str();
    EXPECT_FALSE(key.SetStringValue("x", "y"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, m_base + "\\never-created"));
}

TEST_F(RegistryKeyTest, FlushingDoesNotChangeResults)
{
    FlushCounter flushes;
    ASSERT_TRUE(flushes.Hooked());
    for (BOOL skip : {TRUE, FALSE})
    {
        SCOPED_TRACE(skip ? "skipped" : "flushed");
        const int before = flushes.Count();
        CRegistryKey key;
        key.m_bSkipFlush = skip;
        const std::string path = m_base + (skip ? "\\skipped" : "\\flushed");
        ASSERT_TRUE(key.OpenSubKey(CString(path.c_str()), TRUE));
        ASSERT_TRUE(key.SetStringValue("v", "1"));
        ASSERT_TRUE(key.OpenSubKey(CString(path.c_str()), FALSE));
        EXPECT_EQ(skip ? 0 : 3, flushes.Count() - before) << "one flush per key opened";
        std::string value;
        ASSERT_TRUE(ReadRegString(HKEY_CURRENT_USER, path, "v", &value));
        EXPECT_EQ("1", value);
    }
}
