// Helpers shared by the tests: scratch folders and files inside the Wine
// prefix, registry reads, and fresh class identifiers.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// Whether the tests run under Wine rather than Windows.
bool RunsUnderWine();

// Folder of the running test executable, ending in "\".
std::string ExeDir();

// A fresh, empty folder under the temporary folder, removed with all its
// contents when the object goes away.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, ending in "\".
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

void WriteFileBytes(const std::string& path, const std::string& bytes);
// Creates a file of the given size that is all holes except the listed
// bytes, each written at its offset; reading a hole gives zeros.
void WriteSparseFile(const std::string& path, unsigned long long size,
                     const std::vector<std::pair<unsigned long long, unsigned char>>& bytes = {});

// Makes a folder the current one, and restores the earlier one when the
// object goes away.
class ScopedCurrentDirectory
{
public:
    explicit ScopedCurrentDirectory(const std::string& path);
    ~ScopedCurrentDirectory();
    ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
    ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

private:
    std::string m_previous;
};
std::string ReadFileBytes(const std::string& path);
void RemoveTree(const std::string& path);

// A class identifier's text without braces, new on every call.
std::string NewGuidText();

// The text quoted for a failure message, every byte outside printable ASCII
// (and the backslash) as \xNN, so a failing input can be pasted back.
std::string TraceBytes(const std::string& text);

// Reads a REG_SZ value; returns false when the key or value is missing.
bool ReadRegString(HKEY root, const std::string& subKey, const char* name, std::string* value);
bool RegKeyExists(HKEY root, const std::string& subKey, REGSAM samView = 0);

// Deletes a key and everything below it when the object goes away.
class ScopedRegTree
{
public:
    ScopedRegTree(HKEY root, std::string subKey) : m_root(root), m_subKey(std::move(subKey)) {}
    ~ScopedRegTree();
    ScopedRegTree(const ScopedRegTree&) = delete;
    ScopedRegTree& operator=(const ScopedRegTree&) = delete;

private:
    HKEY m_root;
    std::string m_subKey;
};

// A REG.DAT body: section [REG], then the four keys in their order, one
// "KEY=value" line each.
std::string RegDatText(const std::string& clsid, const std::string& title, const std::string& version,
                       const std::string& path);

// This machine's Windows drive, the Windows folder's text before its first
// "\", worked out without the module.
std::string WindowsDrive();

// The three values registration writes below classKey, under both roots.
void ExpectRegistered(const std::string& classKey, const std::string& title, const std::string& version,
                      const std::string& path);

// A class key of a fresh CLSID, removed from both roots when the test ends:
// what registration writes for a REG.DAT holding m_clsid.
struct ScratchClassKey
{
    const std::string m_clsid = NewGuidText();
    const std::string m_classKey = "SOFTWARE\\Classes\\CLSID\\{" + m_clsid + "}";
    ScopedRegTree m_cleanUser{HKEY_CURRENT_USER, m_classKey};
    ScopedRegTree m_cleanMachine{HKEY_LOCAL_MACHINE, m_classKey};

    void ExpectNothingWritten() const
    {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            EXPECT_FALSE(RegKeyExists(root, m_classKey)) << (root == HKEY_CURRENT_USER ? "HKCU" : "HKLM");
    }
};

// A double-byte character of the active code page whose trail byte is a
// plain ASCII character: in code page 949 "\xB0\x41" (trail "A"), in 932
// "\x95\x5C" (trail "\"). Empty when the active code page is neither, in
// which case a test of double-byte rules skips.
struct DbcsSample
{
    std::string text;   // the two bytes
    char trail = 0;     // the trail byte
};
DbcsSample ActiveDbcsSample();

} // namespace testing_support

#define SKIP_UNLESS_DBCS(sample)                                                         \
    do                                                                                   \
    {                                                                                    \
        if ((sample).text.empty())                                                       \
            GTEST_SKIP() << "needs code page 949 or 932, active is " << GetACP();       \
    } while (0)
