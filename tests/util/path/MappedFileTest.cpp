#include "util/path/MappedFile.h"
#include "util/path/FileSystem.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using testing_support::TempDir;
using testing_support::WriteFileBytes;
using testing_support::WriteSparseFile;

namespace {

// Byte i of a test pattern: i mod 251 (a prime, so the pattern does not
// repeat on any power-of-two stride), scrambled a little.
std::string Pattern(size_t nSize)
{
    std::string bytes(nSize, '\0');
    for (size_t i = 0; i < nSize; ++i)
        bytes[i] = static_cast<char>((i % 251) * 7 + 3);
    return bytes;
}

BYTE PlainXor(const std::string& bytes)
{
    BYTE b = 0;
    for (char c : bytes)
        b = static_cast<BYTE>(b ^ static_cast<BYTE>(c));
    return b;
}

// True when nobody holds the file: it opens for writing with no sharing.
bool OpensExclusively(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// GetFileChecksum

TEST(FileChecksum, BytePatterns)
{
    TempDir dir;
    struct Row
    {
        const char* name;
        std::string bytes;
        BYTE checksum;
    } rows[] = {
        {"one byte", "\x5A", 0x5A},
        {"zero byte", std::string(1, '\0'), 0x00},
        {"01 02 04", "\x01\x02\x04", 0x07},
        {"FF FF", "\xFF\xFF", 0x00},
        {"FF FF FF", "\xFF\xFF\xFF", 0xFF},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        WriteFileBytes(dir / "f.bin", row.bytes);
        EXPECT_EQ(row.checksum, GetFileChecksum((dir / "f.bin").c_str()));
    }
}

TEST(FileChecksum, UnreadableFilesGiveZero)
{
    TempDir dir;
    WriteFileBytes(dir / "empty", "");
    std::string paths[] = {dir / "empty", dir / "missing", dir.Path(), "", dir / "missing\\deeper"};
    for (const std::string& path : paths)
    {
        SCOPED_TRACE(path);
        EXPECT_EQ(0, GetFileChecksum(path.c_str()));
    }
    // Nothing stays open behind a failed attempt.
    EXPECT_TRUE(OpensExclusively(dir / "empty"));
}

TEST(FileChecksum, EverySizeAroundTheVectorWidth)
{
    TempDir dir;
    std::string path = dir / "f.bin";
    for (size_t nSize = 0; nSize <= 64; ++nSize)
    {
        SCOPED_TRACE(nSize);
        std::string bytes = Pattern(nSize);
        // A single byte flipped anywhere must show in the result.
        if (nSize > 0)
            bytes[nSize - 1] = static_cast<char>(bytes[nSize - 1] ^ 0x5A);
        WriteFileBytes(path, bytes);
        EXPECT_EQ(PlainXor(bytes), GetFileChecksum(path.c_str()));
    }
}

TEST(FileChecksum, MegabytesAndAcrossTheSlidingWindow)
{
    TempDir dir;
    std::string path = dir / "f.bin";
    // A few MiB with an odd tail, and a file that crosses one or more window
    // boundaries (windows are a power of two, at most 64 MiB) with a tail.
    for (size_t nSize : {size_t(3) * 1024 * 1024 + 13, size_t(65) * 1024 * 1024 + 4099})
    {
        SCOPED_TRACE(nSize);
        std::string bytes = Pattern(nSize);
        bytes[nSize / 2] ^= 0x11;
        bytes[nSize - 1] ^= 0x22;
        WriteFileBytes(path, bytes);
        EXPECT_EQ(PlainXor(bytes), GetFileChecksum(path.c_str()));
    }
}

TEST(FileChecksum, SparseFileBeyondFourGiB)
{
    TempDir dir;
    std::string path = dir / "huge.bin";
    const ULONGLONG kFour = 1ULL << 32;
    const ULONGLONG kSize = kFour + 12345;   // the last window is partial
    // One bit each, so a byte missed or read twice shows in the result.
    WriteSparseFile(path, kSize,
                    {{0, 0x01},
                     {(1ULL << 25) - 1, 0x02},   // either side of 32 MiB
                     {1ULL << 25, 0x04},
                     {(1ULL << 31), 0x08},       // 2 GiB
                     {kFour - 1, 0x10},          // either side of 4 GiB
                     {kFour, 0x20},
                     {kFour + 6000, 0x40},       // inside the last, partial window
                     {kSize - 1, 0x80}});
    EXPECT_EQ(kSize, GetFileLength(path.c_str()));
    EXPECT_EQ(0xFF, GetFileChecksum(path.c_str()));

    // The whole-file view does not fit a 32-bit address space and fits a
    // 64-bit one; either way the size read keeps only its low 32 bits.
    CMappedFile file;
    const BYTE* pView = file.Open(path.c_str());
    if (sizeof(void*) == 4)
        EXPECT_EQ(nullptr, pView);
    else
    {
        ASSERT_NE(nullptr, pView);
        EXPECT_EQ(0x20, pView[kFour]);
    }
    EXPECT_EQ(12345u, file.GetSize());
    file.Close();
    EXPECT_TRUE(OpensExclusively(path));
}

TEST(FileChecksum, FragmentedAddressSpaceShrinksTheWindow)
{
    if (sizeof(void*) > 4)
        GTEST_SKIP() << "a 64-bit address space cannot be filled with reservations";
    TempDir dir;
    std::string path = dir / "f.bin";
    std::string bytes = Pattern(40 * 1024 * 1024 + 77);
    bytes[12345] ^= 0x33;
    WriteFileBytes(path, bytes);
    const BYTE expected = PlainXor(bytes);
    bytes.clear();
    bytes.shrink_to_fit();

    // Reserve every free stretch of 32 MiB, then give back 8 MiB of one: no
    // whole 40 MiB view and no 32 MiB window fits any more, a small one does.
    const SIZE_T kBlock = 32 * 1024 * 1024;
    std::vector<void*> reserved;
    for (;;)
    {
        void* p = VirtualAlloc(nullptr, kBlock, MEM_RESERVE, PAGE_NOACCESS);
        if (p == nullptr)
            break;
        reserved.push_back(p);
    }
    ASSERT_FALSE(reserved.empty());
    void* pHole = reserved.back();
    VirtualFree(pHole, 0, MEM_RELEASE);
    reserved.back() = VirtualAlloc(pHole, kBlock - 8 * 1024 * 1024, MEM_RESERVE, PAGE_NOACCESS);

    BYTE checksum = GetFileChecksum(path.c_str());
    CMappedFile file;
    const BYTE* pView = file.Open(path.c_str());
    file.Close();

    for (void* p : reserved)
        if (p != nullptr)
            VirtualFree(p, 0, MEM_RELEASE);
    EXPECT_EQ(expected, checksum);
    EXPECT_EQ(nullptr, pView);
}

TEST(XorBytes, EveryAlignmentAndLength)
{
    std::string bytes = Pattern(300);
    const BYTE* pBase = reinterpret_cast<const BYTE*>(bytes.data());
    for (size_t nStart = 0; nStart < 32; ++nStart)
    {
        for (size_t nCount = 0; nStart + nCount <= 300; nCount += (nCount < 140 ? 1 : 7))
        {
            BYTE expected = 0;
            for (size_t i = 0; i < nCount; ++i)
                expected ^= pBase[nStart + i];
            ASSERT_EQ(expected, XorBytes(pBase + nStart, nCount)) << "start " << nStart << " count " << nCount;
        }
    }
}

// ---------------------------------------------------------------------------
// CMappedFile

TEST(MappedFile, OpenMapsTheWholeFileAndHoldsItAgainstWriters)
{
    TempDir dir;
    std::string path = dir / "data.bin";
    std::string bytes = Pattern(70000);
    WriteFileBytes(path, bytes);

    CMappedFile file;
    const BYTE* p = file.Open(path.c_str());
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(70000u, file.GetSize());
    EXPECT_STREQ(path.c_str(), file.GetPath());
    EXPECT_EQ(0, std::memcmp(bytes.data(), p, bytes.size()));
    EXPECT_FALSE(OpensExclusively(path));
    EXPECT_EQ(70000u, GetFileLength(path.c_str()));   // readers still welcome

    file.Close();
    EXPECT_EQ(0u, file.GetSize());
    EXPECT_STREQ("", file.GetPath());
    EXPECT_TRUE(OpensExclusively(path));
    file.Close();   // again: nothing left to release
    EXPECT_TRUE(OpensExclusively(path));

    {
        CMappedFile held;
        ASSERT_NE(nullptr, held.Open(path.c_str()));
    }
    EXPECT_TRUE(OpensExclusively(path));   // destruction released it
}

TEST(MappedFile, SecondOpenChangesNothing)
{
    TempDir dir;
    WriteFileBytes(dir / "first", "first file");
    WriteFileBytes(dir / "second", "second");

    CMappedFile file;
    const BYTE* p = file.Open((dir / "first").c_str());
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(nullptr, file.Open((dir / "second").c_str()));
    EXPECT_EQ(nullptr, file.Open((dir / "first").c_str()));
    EXPECT_EQ(10u, file.GetSize());
    EXPECT_STREQ((dir / "first").c_str(), file.GetPath());
    EXPECT_EQ(0, std::memcmp("first file", p, 10));
    EXPECT_TRUE(OpensExclusively(dir / "second"));
}

TEST(MappedFile, OpenCloseOpenMapsAgain)
{
    TempDir dir;
    WriteFileBytes(dir / "a", "abc");
    WriteFileBytes(dir / "b", "wxyz");

    CMappedFile file;
    ASSERT_NE(nullptr, file.Open((dir / "a").c_str()));
    file.Close();
    const BYTE* p = file.Open((dir / "b").c_str());
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(4u, file.GetSize());
    EXPECT_EQ(0, std::memcmp("wxyz", p, 4));
    file.Close();
    p = file.Open((dir / "a").c_str());
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(3u, file.GetSize());
    EXPECT_EQ(0, std::memcmp("abc", p, 3));
}

TEST(MappedFile, FailedOpenKeepsPathAndNoHandle)
{
    TempDir dir;
    WriteFileBytes(dir / "empty", "");
    WriteFileBytes(dir / "data", "data");

    CMappedFile file;
    EXPECT_EQ(0u, file.GetSize());
    EXPECT_STREQ("", file.GetPath());
    file.Close();   // never opened: only empties the path and the size
    EXPECT_EQ(0u, file.GetSize());
    EXPECT_STREQ("", file.GetPath());

    // An empty file opens but cannot be mapped.
    EXPECT_EQ(nullptr, file.Open((dir / "empty").c_str()));
    EXPECT_STREQ((dir / "empty").c_str(), file.GetPath());
    EXPECT_EQ(0u, file.GetSize());
    EXPECT_TRUE(OpensExclusively(dir / "empty"));

    EXPECT_EQ(nullptr, file.Open((dir / "missing").c_str()));
    EXPECT_STREQ((dir / "missing").c_str(), file.GetPath());
    EXPECT_EQ(nullptr, file.Open(dir.Path().c_str()));

    // A failed object is closed and opens the next file normally.
    ASSERT_NE(nullptr, file.Open((dir / "data").c_str()));
    EXPECT_EQ(4u, file.GetSize());
}
