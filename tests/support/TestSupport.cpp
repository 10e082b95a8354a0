#include "tests/support/TestSupport.h"

#include <objbase.h>

#include <cstdio>

#include <stdexcept>
#include <vector>

namespace testing_support {

bool RunsUnderWine()
{
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

std::string ExeDir()
{
    char path[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string s(path, n);
    return s.substr(0, s.find_last_of("\\/") + 1);
}

TempDir::TempDir()
{
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static LONG s_counter = 0;
    for (int attempt = 0; attempt < 1000; ++attempt)
    {
        std::string candidate = std::string(base) + "kestrum-" + std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(InterlockedIncrement(&s_counter));
        if (CreateDirectoryA(candidate.c_str(), nullptr))
        {
            m_path = candidate + "\\";
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    RemoveTree(m_path);
}

void RemoveTree(const std::string& path)
{
    std::string folder = path;
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
        folder.pop_back();
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE)
    {
        do
        {
            std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = folder + "\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
            {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(folder.c_str());
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot create " + path);
    DWORD written = 0;
    BOOL ok = bytes.empty() || WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    if (!ok || written != bytes.size())
        throw std::runtime_error("cannot write " + path);
}

void WriteSparseFile(const std::string& path, unsigned long long size,
                     const std::vector<std::pair<unsigned long long, unsigned char>>& bytes)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot create " + path);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    bool ok = SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    for (const auto& item : bytes)
    {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(item.first);
        DWORD written = 0;
        ok = ok && SetFilePointerEx(h, at, nullptr, FILE_BEGIN) &&
             WriteFile(h, &item.second, 1, &written, nullptr) && written == 1;
    }
    CloseHandle(h);
    if (!ok)
        throw std::runtime_error("cannot write " + path);
}

ScopedCurrentDirectory::ScopedCurrentDirectory(const std::string& path)
{
    char previous[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(MAX_PATH, previous);
    m_previous.assign(previous, n < MAX_PATH ? n : 0);
    if (!SetCurrentDirectoryA(path.c_str()))
        throw std::runtime_error("cannot enter " + path);
}

ScopedCurrentDirectory::~ScopedCurrentDirectory()
{
    if (!m_previous.empty())
        SetCurrentDirectoryA(m_previous.c_str());
}

std::string ReadFileBytes(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open " + path);
    std::string out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

std::string NewGuidText()
{
    GUID guid;
    CoCreateGuid(&guid);
    char text[64];
    wsprintfA(text, "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", guid.Data1, guid.Data2, guid.Data3,
              guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
              guid.Data4[6], guid.Data4[7]);
    return text;
}

bool ReadRegString(HKEY root, const std::string& subKey, const char* name, std::string* value)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    std::vector<char> data(size + 1, '\0');
    if (status == ERROR_SUCCESS)
        status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return false;
    if (value != nullptr)
        *value = std::string(data.data());
    return true;
}

bool RegKeyExists(HKEY root, const std::string& subKey, REGSAM samView)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ | samView, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

ScopedRegTree::~ScopedRegTree()
{
    RegDeleteTreeA(m_root, m_subKey.c_str());
    RegDeleteKeyA(m_root, m_subKey.c_str());
}

std::string RegDatText(const std::string& clsid, const std::string& title, const std::string& version,
                       const std::string& path)
{
    return "[REG]\r\nCLSID=" + clsid + "\r\nTITLE=" + title + "\r\nVERSION=" + version + "\r\nPATH=" + path + "\r\n";
}

void ExpectRegistered(const std::string& classKey, const std::string& title, const std::string& version,
                      const std::string& path)
{
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
    {
        SCOPED_TRACE(root == HKEY_CURRENT_USER ? "HKCU" : "HKLM");
        std::string value;
        EXPECT_TRUE(ReadRegString(root, classKey, "", &value));
        EXPECT_EQ(title, value);
        EXPECT_TRUE(ReadRegString(root, classKey + "\\InstalledVersion", "", &value));
        EXPECT_EQ(version, value);
        EXPECT_TRUE(ReadRegString(root, classKey + "\\InstalledVersion", "Path", &value));
        EXPECT_EQ(path, value);
    }
}

std::string WindowsDrive()
{
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, MAX_PATH);
    std::string s(dir);
    return s.substr(0, s.find('\\'));
}

std::string TraceBytes(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char ch : text)
    {
        char hex[8];
        std::snprintf(hex, sizeof(hex), ch >= 0x20 && ch < 0x7F && ch != '\\' ? "%c" : "\\x%02X", ch);
        out += hex;
    }
    return out + "\"";
}

DbcsSample ActiveDbcsSample()
{
    switch (GetACP())
    {
    case 949:
        return {"\xB0\x41", 'A'};
    case 932:
        return {"\x95\x5C", '\\'};
    default:
        return {};
    }
}

} // namespace testing_support
