// Path and file operations on paths that end at an inaccessible page,
// repeated calls of the ones that take platform resources, and the same
// inputs from four threads at once. The *Dbcs* tests run again under code
// pages 949 and 932.
#include "util/path/FileSystem.h"
#include "util/path/MappedFile.h"
#include "util/path/PathUtil.h"
#include "tests/support/GuardedMemory.h"
#include "tests/support/LeakCheck.h"
#include "tests/support/RandomText.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using namespace testing_support;

namespace {

// Offsets where a character of the active code page starts, and the end.
std::vector<bool> Boundaries(const std::string& text)
{
    std::vector<bool> boundary(text.size() + 1, false);
    for (size_t i = 0; i < text.size();)
    {
        boundary[i] = true;
        i += IsDBCSLeadByteEx(GetACP(), static_cast<BYTE>(text[i])) && i + 1 < text.size() ? 2 : 1;
    }
    boundary[text.size()] = true;
    return boundary;
}

// Every result of the path operations, in one text.
std::string PathDigest(const CString& path)
{
    std::string out;
    for (const CString& piece : {GetFileName(path), GetFileTitle(path), GetFileExt(path), GetFileDir(path),
                                 GetParentDir(path), GetDrive(path), ReplaceChar(path, '\\', '/')})
    {
        out += piece.GetString();
        out += '|';
    }
    out += IsSamePath(path, GetFileDir(path)) ? '1' : '0';
    CString valid = path;
    MakeValidFileName(valid, '\0');
    out += valid.GetString();
    valid = path;
    MakeValidFileName(valid, '_');
    out += valid.GetString();
    return out;
}

} // namespace

// ---------------------------------------------------------------------------
// Inputs at the guard page

TEST(PathGuardDbcs, EveryOperationOnGuardedPaths)
{
    std::mt19937 random(2024);
    const auto pieces = TrickyPieces();
    for (int i = 0; i < 5000; ++i)
    {
        const std::string text = RandomText(random, pieces, 10);
        SCOPED_TRACE(testing::Message() << "round " << i << ": " << TraceBytes(text));
        const GuardedString guarded(text);
        ASSERT_EQ(PathDigest(CString(text.c_str())), PathDigest(guarded));
        CString second = guarded.Get();
        ASSERT_EQ(!text.empty(), IsSamePath(guarded, second));
    }
}

TEST(PathRandomDbcs, PartsAreWholeCharactersOfThePath)
{
    std::mt19937 random(4949);
    const auto pieces = TrickyPieces();
    for (int i = 0; i < 20000; ++i)
    {
        const std::string text = RandomText(random, pieces, 10);
        SCOPED_TRACE(testing::Message() << "round " << i << ": " << TraceBytes(text));
        const CString path(text.c_str());
        const std::vector<bool> boundary = Boundaries(text);
        // Each part is the path's own bytes from one character boundary to
        // another: never half of a double-byte character.
        const std::string drive = GetDrive(path).GetString();
        ASSERT_EQ(drive, text.substr(0, drive.size()));
        ASSERT_TRUE(boundary[drive.size()]) << "GetDrive ends inside a character: " << TraceBytes(drive);
        const std::string dir = GetFileDir(path).GetString();
        ASSERT_EQ(dir, text.substr(0, dir.size()));
        ASSERT_TRUE(boundary[dir.size()]) << "GetFileDir ends inside a character: " << TraceBytes(dir);

        // The name ends where the query starts: at the first "?" that is a
        // character of its own, unless it starts the path.
        size_t cut = text.size();
        for (size_t k = 1; k < text.size(); ++k)
        {
            if (boundary[k] && text[k] == '?')
            {
                cut = k;
                break;
            }
        }
        if (!text.empty() && text[0] == '?')
            cut = text.size();
        const std::string name = GetFileName(path).GetString();
        ASSERT_LE(name.size(), cut);
        const size_t start = cut - name.size();
        ASSERT_EQ(name, text.substr(start, name.size()));
        ASSERT_TRUE(boundary[start]) << "GetFileName starts inside a character: " << TraceBytes(name);
        const std::string title = GetFileTitle(path).GetString();
        ASSERT_EQ(title, name.substr(0, title.size()));
        ASSERT_TRUE(boundary[start + title.size()]) << "GetFileTitle ends inside a character: " << TraceBytes(title);
    }
}

TEST(FileGuardDbcs, FileOperationsOnGuardedPaths)
{
    TempDir dir;
    WriteFileBytes(dir / "a.txt", "\x01\x02\x04");
    CreateDirectoryA((dir / "sub").c_str(), nullptr);
    const std::string base = dir.Path();
    const std::vector<std::string> paths = {
        base, base.substr(0, base.size() - 1), base + "a.txt", base + "sub/", base + "*", base + "a.txt?",
        base + "\xB0", base + "sub\\\x95", base + "missing\\", base + std::string(300, 'x'), "", "\\", "C:", "C:\\",
    };
    for (const std::string& path : paths)
    {
        SCOPED_TRACE(TraceBytes(path));
        const GuardedString guarded(path);
        const CString plain(path.c_str());
        CStringArray expected;
        CStringArray got;
        GetFileList(plain, expected, "*");
        GetFileList(guarded, got, GuardedString("*"));
        ASSERT_EQ(expected.GetSize(), got.GetSize());
        GetSubFolderList(plain, expected);
        GetSubFolderList(guarded, got);
        ASSERT_EQ(expected.GetSize(), got.GetSize());
        EXPECT_EQ(GetFileLength(plain), GetFileLength(guarded));
        EXPECT_EQ(GetFileLengthText(plain), GetFileLengthText(guarded));
        SYSTEMTIME times[6] = {};
        EXPECT_EQ(GetFileTimes(plain, times[0], times[1], times[2]), GetFileTimes(guarded, times[3], times[4], times[5]));
        EXPECT_EQ(IsDirectory(plain), IsDirectory(guarded));
        EXPECT_EQ(GetFileChecksum(plain), GetFileChecksum(guarded));
        CMappedFile file;
        EXPECT_EQ(GetFileChecksum(plain) != 0, file.Open(guarded) != nullptr);
        EXPECT_EQ(plain, file.GetPath());
    }
    // Creation runs last, on paths inside the scratch folder only.
    for (const std::string& path : {base + "new\\a\\", base + "new\\b", base + "new\\\xB0", base + "new/c\\"})
    {
        SCOPED_TRACE(TraceBytes(path));
        // A lone lead byte makes no file name in a double-byte code page,
        // so there only the guard is tested.
        const BOOL bCreated = CreateDirectoryTree(GuardedString(path));
        if (path.back() != '\xB0' || GetACP() == 1252)
        {
            EXPECT_TRUE(bCreated);
        }
    }
}

// ---------------------------------------------------------------------------
// Repeated calls

class FileLeaks : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WriteFileBytes(dir / "data.bin", std::string(70000, '\x5A') + "\x01");
        WriteFileBytes(dir / "empty.bin", "");
        CreateDirectoryA((dir / "sub").c_str(), nullptr);
        WriteFileBytes(dir / "sub\\x.txt", "x");
    }

    TempDir dir;
};

TEST_F(FileLeaks, MappedFileOpenedFailedAndClosed)
{
    const CString data((dir / "data.bin").c_str());
    const CString empty((dir / "empty.bin").c_str());
    const CString missing((dir / "missing.bin").c_str());
    ExpectNoLeaks(
        [&] {
            CMappedFile file;
            EXPECT_NE(nullptr, file.Open(data));
            EXPECT_EQ(nullptr, file.Open(data));   // already mapped
            file.Close();
            EXPECT_EQ(nullptr, file.Open(empty));
            EXPECT_EQ(nullptr, file.Open(missing));
            EXPECT_NE(nullptr, file.Open(data));   // closed by the destructor
        },
        500);
}

TEST_F(FileLeaks, Checksum)
{
    const CString data((dir / "data.bin").c_str());
    const CString empty((dir / "empty.bin").c_str());
    const CString missing((dir / "missing.bin").c_str());
    ExpectNoLeaks(
        [&] {
            EXPECT_EQ(1, GetFileChecksum(data));
            EXPECT_EQ(0, GetFileChecksum(empty));
            EXPECT_EQ(0, GetFileChecksum(missing));
        },
        700);
}

TEST_F(FileLeaks, ListsSizesTimesAndFolders)
{
    const CString folder(dir.Path().c_str());
    const CString missing((dir / "missing").c_str());
    const CString data((dir / "data.bin").c_str());
    ExpectNoLeaks(
        [&] {
            CStringArray names;
            GetFileList(folder, names, "*.bin");
            GetFileList(missing, names, "*.*");
            GetSubFolderList(folder, names);
            GetSubFolderList(missing, names);
            EXPECT_EQ(2 + 3, names.GetSize());   // two files; ".", ".." and sub
            EXPECT_EQ(70001u, GetFileLength(data));
            EXPECT_EQ(0u, GetFileLength(missing));
            EXPECT_FALSE(GetFileLengthText(data).IsEmpty());
            SYSTEMTIME a, b, c;
            EXPECT_TRUE(GetFileTimes(data, a, b, c));
            EXPECT_FALSE(GetFileTimes(missing, a, b, c));
            EXPECT_TRUE(IsDirectory(folder));
            EXPECT_FALSE(IsDirectory(missing));
        },
        300);
}

TEST_F(FileLeaks, CreateDirectoryTree)
{
    const std::string top = dir / "t";
    const CString tree((top + "\\a\\b\\").c_str());
    ExpectNoLeaks(
        [&] {
            EXPECT_TRUE(CreateDirectoryTree(tree));
            EXPECT_TRUE(CreateDirectoryTree(tree));   // exists already
            RemoveDirectoryA((top + "\\a\\b").c_str());
            RemoveDirectoryA((top + "\\a").c_str());
            RemoveDirectoryA(top.c_str());
        },
        700);
}

// ---------------------------------------------------------------------------
// Four threads at once

TEST(FileThreadsDbcs, FourThreadsAgreeWithOne)
{
    TempDir dir;
    std::vector<CString> files;
    for (int i = 0; i < 8; ++i)
    {
        std::string bytes(1000 + i * 977, '\0');
        for (size_t k = 0; k < bytes.size(); ++k)
            bytes[k] = static_cast<char>(k * 31 + i);
        files.push_back((dir / ("f" + std::to_string(i))).c_str());
        WriteFileBytes(files.back().GetString(), bytes);
    }
    std::mt19937 random(8);
    const auto pieces = TrickyPieces();
    std::vector<CString> paths;
    for (int i = 0; i < 300; ++i)
        paths.push_back(RandomText(random, pieces, 10).c_str());

    auto run = [&] {
        std::vector<std::string> out;
        for (size_t i = 0; i < paths.size(); ++i)
        {
            const CString& file = files[i % files.size()];
            out.push_back(PathDigest(paths[i]) + std::to_string(GetFileChecksum(file)) + "|" +
                          std::to_string(GetFileLength(file)));
        }
        return out;
    };
    const std::vector<std::string> expected = run();
    std::vector<std::vector<std::string>> results(4);
    std::vector<std::thread> threads;
    for (auto& result : results)
        threads.emplace_back([&run, &result] { result = run(); });
    for (std::thread& thread : threads)
        thread.join();
    for (size_t t = 0; t < results.size(); ++t)
        for (size_t i = 0; i < paths.size(); ++i)
            ASSERT_EQ(expected[i], results[t][i]) << "thread " << t << ", path " << TraceBytes(paths[i].GetString());
}
