#include "util/path/FileSystem.h"
#include "util/path/MappedFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using testing_support::ActiveDbcsSample;
using testing_support::ScopedCurrentDirectory;
using testing_support::TempDir;
using testing_support::WriteFileBytes;
using testing_support::WriteSparseFile;

namespace {

std::vector<std::string> Sorted(const CStringArray& arr, int nFirst = 0)
{
    std::vector<std::string> names;
    for (int i = nFirst; i < arr.GetSize(); ++i)
        names.push_back(arr[i].GetString());
    std::sort(names.begin(), names.end());
    return names;
}

void MakeFolder(const std::string& path)
{
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
}

std::string WithoutFinalSeparator(std::string path)
{
    path.pop_back();
    return path;
}

std::string Slashes(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

bool IsFolderOnDisk(const std::string& path)
{
    DWORD dw = GetFileAttributesA(path.c_str());
    return dw != INVALID_FILE_ATTRIBUTES && (dw & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Wine stores file names in the host's own character set; a host without
// the locale behind the active code page cannot store a double-byte name.
bool HostStoresName(const std::string& dir, const std::string& name)
{
    std::string probe = dir + name;
    if (!CreateDirectoryA(probe.c_str(), nullptr))
        return false;
    RemoveDirectoryA(probe.c_str());
    return true;
}

#define SKIP_UNLESS_HOST_STORES(dir, name)                                                     \
    do                                                                                         \
    {                                                                                          \
        if (!HostStoresName(dir, name))                                                        \
            GTEST_SKIP() << "this host cannot store double-byte file names in code page "      \
                         << GetACP() << " (its locale is not installed)";                      \
    } while (0)

// A folder with files of several kinds and two sub-folders, one of whose
// names matches a file pattern.
class Listing : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WriteFileBytes(dir / "a.txt", "a");
        WriteFileBytes(dir / "B.TXT", "");
        WriteFileBytes(dir / "c.dat", "c");
        WriteFileBytes(dir / "hidden.txt", "h");
        SetFileAttributesA((dir / "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        WriteFileBytes(dir / "readonly.txt", "r");
        SetFileAttributesA((dir / "readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        MakeFolder(dir / "sub");
        MakeFolder(dir / "folder.txt");
    }

    TempDir dir;
};

} // namespace

// ---------------------------------------------------------------------------
// GetFileList and GetSubFolderList

TEST_F(Listing, FilesMatchingPatternNoFolders)
{
    struct Row
    {
        const char* pattern;
        std::vector<std::string> names;
    } rows[] = {
        {"*.*", {"B.TXT", "a.txt", "c.dat", "hidden.txt", "readonly.txt"}},
        {"*.txt", {"B.TXT", "a.txt", "hidden.txt", "readonly.txt"}},
        {"c.dat", {"c.dat"}},
        {"*.none", {}},
        {"sub", {}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.pattern);
        CStringArray arr;
        GetFileList(dir.Path().c_str(), arr, row.pattern);
        EXPECT_EQ(row.names, Sorted(arr));
    }
}

TEST_F(Listing, FolderInAnySeparatorForm)
{
    const std::string path = dir.Path();   // ends in "\"
    const std::string forms[] = {path, WithoutFinalSeparator(path), Slashes(path), Slashes(WithoutFinalSeparator(path))};
    const std::vector<std::string> files = {"B.TXT", "a.txt", "c.dat", "hidden.txt", "readonly.txt"};
    const std::vector<std::string> folders = {".", "..", "folder.txt", "sub"};
    for (const std::string& form : forms)
    {
        SCOPED_TRACE(form);
        CStringArray arrFiles;
        GetFileList(form.c_str(), arrFiles, "*.*");
        EXPECT_EQ(files, Sorted(arrFiles));
        CStringArray arrFolders;
        GetSubFolderList(form.c_str(), arrFolders);
        EXPECT_EQ(folders, Sorted(arrFolders));
    }
}

TEST_F(Listing, AppendsAfterExistingNames)
{
    CStringArray arr;
    arr.Add("keep 1");
    arr.Add("c.dat");
    GetFileList(dir.Path().c_str(), arr, "*.dat");
    GetSubFolderList(dir.Path().c_str(), arr);
    ASSERT_EQ(2 + 1 + 4, arr.GetSize());
    EXPECT_STREQ("keep 1", arr[0]);
    EXPECT_STREQ("c.dat", arr[1]);
    EXPECT_STREQ("c.dat", arr[2]);
    EXPECT_EQ((std::vector<std::string>{".", "..", "folder.txt", "sub"}), Sorted(arr, 3));
}

TEST_F(Listing, NothingFoundLeavesListAsItWas)
{
    // The current folder holds files, so searching "*.*" or "\*.*" there
    // would show.
    ScopedCurrentDirectory cwd(dir.Path());
    struct Row
    {
        std::string folder;
        const char* pattern;
    } rows[] = {
        {"", "*.*"},
        {"", ""},
        {dir / "missing", "*.*"},
        {dir / "sub", "*.*"},   // exists but is empty of files
        {dir.Path(), "*.none"},
        {dir / "a.txt", "*.*"}, // a file, not a folder
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.folder + " | " + row.pattern);
        CStringArray arr;
        arr.Add("only");
        GetFileList(row.folder.c_str(), arr, row.pattern);
        ASSERT_EQ(1, arr.GetSize());
        EXPECT_STREQ("only", arr[0]);
    }
    for (const char* folder : {"", "missing-folder"})
    {
        SCOPED_TRACE(folder);
        CStringArray arr;
        GetSubFolderList(folder, arr);
        EXPECT_EQ(0, arr.GetSize());
    }
}

TEST(SubFolderList, EmptyFolderGivesTheDotEntries)
{
    TempDir dir;
    CStringArray arr;
    GetSubFolderList(dir.Path().c_str(), arr);
    EXPECT_EQ((std::vector<std::string>{".", ".."}), Sorted(arr));
}

TEST(FileListDbcs, FolderEndingInTrailByteGetsItsSeparator)
{
    auto sample = ActiveDbcsSample();
    SKIP_UNLESS_DBCS(sample);
    TempDir dir;
    SKIP_UNLESS_HOST_STORES(dir.Path(), "x" + sample.text);
    // In code page 932 the folder's name ends in the byte "\" of a
    // double-byte character, which is not a separator.
    std::string folder = dir / ("x" + sample.text);
    MakeFolder(folder);
    WriteFileBytes(folder + "\\f.txt", "f");
    MakeFolder(folder + "\\inner");
    CStringArray arr;
    GetFileList(folder.c_str(), arr, "*.txt");
    EXPECT_EQ((std::vector<std::string>{"f.txt"}), Sorted(arr));
    CStringArray arrFolders;
    GetSubFolderList(folder.c_str(), arrFolders);
    EXPECT_EQ((std::vector<std::string>{".", "..", "inner"}), Sorted(arrFolders));
}

// ---------------------------------------------------------------------------
// GetFileLength, GetFileLengthText, FormatByteSize

TEST(FileLength, SmallFilesFoldersAndMissing)
{
    TempDir dir;
    WriteFileBytes(dir / "empty", "");
    WriteFileBytes(dir / "one", "x");
    WriteFileBytes(dir / "big", std::string(70001, 'b'));
    std::string padded = dir.Path();
    while (padded.size() < MAX_PATH)
        padded += ".\\";
    struct Row
    {
        std::string path;
        ULONGLONG length;
    } rows[] = {
        {dir / "empty", 0},
        {dir / "one", 1},
        {dir / "big", 70001},
        {Slashes(dir / "big"), 70001},
        {dir / "missing", 0},
        {dir.Path(), 0},
        {WithoutFinalSeparator(dir.Path()), 0},
        {"", 0},
        {padded + "big", 0},   // names the file, but 260 characters or more
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(row.length, GetFileLength(row.path.c_str()));
    }
}

TEST(FileLength, LargeSparseFileKeepsAll64Bits)
{
    TempDir dir;
    WriteSparseFile(dir / "huge", 5000000000ULL);
    EXPECT_EQ(5000000000ULL, GetFileLength((dir / "huge").c_str()));
    EXPECT_STREQ("4.65 GB", GetFileLengthText((dir / "huge").c_str()));
}

TEST(FileLength, FileHeldOpenForWritingByAnother)
{
    TempDir dir;
    std::string path = dir / "busy";
    WriteFileBytes(path, "12345");

    // The writer lets others read: the length open succeeds, the mapping
    // (which lets others only read) does not.
    HANDLE hWriter = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hWriter);
    EXPECT_EQ(5u, GetFileLength(path.c_str()));
    CMappedFile mapped;
    EXPECT_EQ(nullptr, mapped.Open(path.c_str()));
    EXPECT_EQ(0, GetFileChecksum(path.c_str()));
    CloseHandle(hWriter);

    // A writer that lets nobody in hides the file altogether.
    hWriter = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hWriter);
    EXPECT_EQ(0u, GetFileLength(path.c_str()));
    CloseHandle(hWriter);

    EXPECT_EQ(5u, GetFileLength(path.c_str()));
}

TEST(FormatByteSize, PlatformTextAndFallback)
{
    struct Row
    {
        ULONGLONG count;
        const char* text;
    } rows[] = {
        {0, "0 bytes"},
        {532, "532 bytes"},
        {1340, "1.30 KB"},
        {23506, "22.9 KB"},
        {2400016, "2.28 MB"},
        {2400000000ULL, "2.23 GB"},
        // The formatter counts signed; these fall back to the plain count.
        {0x8000000000000000ULL, "9223372036854775808 bytes"},
        {0xFFFFFFFFFFFFFFFFULL, "18446744073709551615 bytes"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.text);
        EXPECT_STREQ(row.text, FormatByteSize(row.count));
    }
    EXPECT_STREQ("0 bytes", GetFileLengthText("Z:\\no such folder\\no such file"));
}

// ---------------------------------------------------------------------------
// GetFileTimes

namespace {

FILETIME MakeUtc(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME st = {};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = second;
    FILETIME ft = {};
    SystemTimeToFileTime(&st, &ft);
    return ft;
}

SYSTEMTIME ExpectedLocal(const FILETIME& ftUtc)
{
    SYSTEMTIME stUtc = {}, st = {};
    EXPECT_TRUE(FileTimeToSystemTime(&ftUtc, &stUtc));
    EXPECT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &stUtc, &st));
    return st;
}

void ExpectSameTime(const SYSTEMTIME& expected, const SYSTEMTIME& actual)
{
    EXPECT_EQ(0, std::memcmp(&expected, &actual, sizeof(SYSTEMTIME)))
        << "hour " << expected.wHour << " vs " << actual.wHour;
}

void SetTimes(const std::string& path, const FILETIME& ftAccess, const FILETIME& ftWrite)
{
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_TRUE(SetFileTime(h, nullptr, &ftAccess, &ftWrite));
    CloseHandle(h);
}

} // namespace

TEST(FileTimes, ThreeStampsInLocalTime)
{
    TempDir dir;
    std::string path = dir / "stamped.txt";
    WriteFileBytes(path, "t");
    const FILETIME ftAccess = MakeUtc(2011, 3, 4, 5, 6, 7);
    const FILETIME ftWrite = MakeUtc(2020, 6, 15, 20, 30, 40);
    SetTimes(path, ftAccess, ftWrite);

    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(path.c_str(), &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    FindClose(h);

    SYSTEMTIME stCreation, stAccess, stWrite;
    std::memset(&stCreation, 0xAB, sizeof(stCreation));
    std::memset(&stAccess, 0xAB, sizeof(stAccess));
    std::memset(&stWrite, 0xAB, sizeof(stWrite));
    ASSERT_EQ(TRUE, GetFileTimes(path.c_str(), stCreation, stAccess, stWrite));
    ExpectSameTime(ExpectedLocal(fd.ftCreationTime), stCreation);
    ExpectSameTime(ExpectedLocal(ftAccess), stAccess);
    ExpectSameTime(ExpectedLocal(ftWrite), stWrite);

    // The tests run in America/New_York (TZ in the test set-up): each time
    // keeps the offset of its own date, UTC-5 in March and UTC-4 in June,
    // whatever the date today.
    TIME_ZONE_INFORMATION tzi;
    if (GetTimeZoneInformation(&tzi) == TIME_ZONE_ID_INVALID || tzi.Bias != 300 || tzi.DaylightBias != -60)
        GTEST_SKIP() << "needs the zone America/New_York";
    EXPECT_EQ(0, stAccess.wHour) << "2011-03-04 05:06 UTC is 00:06 EST";
    EXPECT_EQ(16, stWrite.wHour) << "2020-06-15 20:30 UTC is 16:30 EDT";
}

TEST(FileTimes, FolderAndWildcardTakeTheFirstEntryFound)
{
    TempDir dir;
    WriteFileBytes(dir / "one.log", "1");
    WriteFileBytes(dir / "two.log", "2");
    WriteFileBytes(dir / "other.txt", "3");
    SetTimes(dir / "one.log", MakeUtc(2001, 1, 1, 1, 1, 1), MakeUtc(2002, 2, 2, 2, 2, 2));
    SetTimes(dir / "two.log", MakeUtc(2003, 3, 3, 3, 3, 3), MakeUtc(2004, 4, 4, 4, 4, 4));
    MakeFolder(dir / "folder");
    SetTimes(dir / "folder", MakeUtc(2005, 5, 5, 5, 5, 5), MakeUtc(2006, 6, 6, 6, 6, 6));

    for (std::string path : {dir / "*.log", dir / "folder", dir / "t*"})
    {
        SCOPED_TRACE(path);
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA(path.c_str(), &fd);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        FindClose(h);
        SYSTEMTIME stCreation, stAccess, stWrite;
        ASSERT_EQ(TRUE, GetFileTimes(path.c_str(), stCreation, stAccess, stWrite));
        ExpectSameTime(ExpectedLocal(fd.ftCreationTime), stCreation);
        ExpectSameTime(ExpectedLocal(fd.ftLastAccessTime), stAccess);
        ExpectSameTime(ExpectedLocal(fd.ftLastWriteTime), stWrite);
    }
}

TEST(FileTimes, NotFoundLeavesDestinationsUntouched)
{
    TempDir dir;
    MakeFolder(dir / "folder");
    for (std::string path : {dir / "missing.txt", dir / "*.none", dir.Path(), std::string()})
    {
        SCOPED_TRACE(path);
        SYSTEMTIME st[3];
        std::memset(st, 0xCD, sizeof(st));
        SYSTEMTIME poison[3];
        std::memcpy(poison, st, sizeof(st));
        EXPECT_EQ(FALSE, GetFileTimes(path.c_str(), st[0], st[1], st[2]));
        EXPECT_EQ(0, std::memcmp(poison, st, sizeof(st)));
    }
}

// ---------------------------------------------------------------------------
// IsDirectory

TEST(IsDirectory, FoldersFilesAndMissing)
{
    TempDir dir;
    WriteFileBytes(dir / "file.txt", "f");
    MakeFolder(dir / "folder");
    struct Row
    {
        std::string path;
        BOOL result;
    } rows[] = {
        {dir / "folder", TRUE},
        {dir / "folder\\", TRUE},
        {Slashes(dir / "folder"), TRUE},
        {dir.Path(), TRUE},
        {"C:\\", TRUE},
        {dir / "file.txt", FALSE},
        {dir / "missing", FALSE},
        {dir / "missing\\deeper", FALSE},
        {"", FALSE},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(row.result, IsDirectory(row.path.c_str()));
    }
}

// ---------------------------------------------------------------------------
// CreateDirectoryTree

TEST(CreateDirectoryTree, CreatesEveryMissingLevel)
{
    TempDir dir;
    struct Row
    {
        std::string path;         // given
        std::string created;      // the deepest folder that must exist after
    } rows[] = {
        {dir / "a\\b\\c", dir / "a\\b\\c"},
        {dir / "a\\b\\d", dir / "a\\b\\d"},           // upper levels exist already
        {dir / "t\\u\\", dir / "t\\u"},               // final "\" dropped
        {dir / "v\\w\\\\", dir / "v\\w"},             // only one dropped; still exists
        {dir / "a\\b\\c", dir / "a\\b\\c"},           // exists: nothing to do
        {"C:\\", "C:\\"},                             // a drive root stays a root
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(TRUE, CreateDirectoryTree(row.path.c_str()));
        EXPECT_TRUE(IsFolderOnDisk(row.created));
    }
}

TEST(CreateDirectoryTree, ExistingFile)
{
    TempDir dir;
    WriteFileBytes(dir / "file.txt", "keep");
    // A file of that name counts as existing and is left alone.
    EXPECT_EQ(TRUE, CreateDirectoryTree((dir / "file.txt").c_str()));
    EXPECT_EQ("keep", testing_support::ReadFileBytes(dir / "file.txt"));
    EXPECT_FALSE(IsFolderOnDisk(dir / "file.txt"));
    // A file in the way of a level stops the tree.
    EXPECT_EQ(FALSE, CreateDirectoryTree((dir / "file.txt\\sub").c_str()));
}

TEST(CreateDirectoryTree, RelativePathsFromTheCurrentFolder)
{
    TempDir dir;
    ScopedCurrentDirectory cwd(dir.Path());
    EXPECT_EQ(TRUE, CreateDirectoryTree("logs\\2024"));
    EXPECT_TRUE(IsFolderOnDisk(dir / "logs\\2024"));
    // Two characters ending in "\": the "\" stays, and the folder is found.
    EXPECT_EQ(TRUE, CreateDirectoryTree("q\\"));
    EXPECT_TRUE(IsFolderOnDisk(dir / "q"));
    EXPECT_EQ(TRUE, CreateDirectoryTree("q\\"));
    // "/" is no separator here: "x/y" is one level, which the platform
    // reads as x\y and cannot make while x is missing.
    EXPECT_EQ(FALSE, CreateDirectoryTree("x/y"));
    EXPECT_FALSE(IsFolderOnDisk(dir / "x"));
}

TEST(CreateDirectoryTree, PathOf260OrMoreIsNeverFound)
{
    TempDir dir;
    std::string path = dir / "deep\\" + std::string(300, 'x');
    EXPECT_EQ(FALSE, CreateDirectoryTree(path.c_str()));
    // The short levels are made all the same.
    EXPECT_TRUE(IsFolderOnDisk(dir / "deep"));

    // A long name for a folder that exists is not found either.
    std::string padded = WithoutFinalSeparator(dir.Path());
    while (padded.size() < MAX_PATH)
        padded += "\\.";
    padded += "\\deep";
    EXPECT_EQ(FALSE, CreateDirectoryTree(padded.c_str()));
}

TEST(CreateDirectoryTreeDbcs, FinalTrailByteIsNoSeparator)
{
    auto sample = ActiveDbcsSample();
    SKIP_UNLESS_DBCS(sample);
    TempDir dir;
    SKIP_UNLESS_HOST_STORES(dir.Path(), "x" + sample.text);
    std::string path = dir / ("n\\x" + sample.text);
    EXPECT_EQ(TRUE, CreateDirectoryTree(path.c_str()));
    EXPECT_TRUE(IsFolderOnDisk(path));
    EXPECT_EQ(TRUE, IsDirectory(path.c_str()));
    CStringArray arr;
    GetSubFolderList((dir / "n").c_str(), arr);
    EXPECT_EQ((std::vector<std::string>{".", "..", "x" + sample.text}), Sorted(arr));
}
