#include "util/sysinfo/FileVersion.h"

#include "tests/support/LeakCheck.h"
#include "tests/support/TestSupport.h"
#include "tests/util/sysinfo/VersionImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using testing_support::ImageWithoutResources;
using testing_support::ImageWithVersionResource;
using testing_support::TempDir;
using testing_support::V;
using testing_support::VersionBlock;
using testing_support::VersionImage;
using testing_support::WriteFileBytes;

// What an out value holds until a call changes it.
const ULONGLONG kPoison = 0xA5A5A5A5A5A5A5A5ull;

TEST(ModuleVersion, PacksFieldsMostSignificantFirst)
{
    const ULONGLONG v = MakeModuleVersion(4, 2, 0, 95);
    EXPECT_EQ(0x00040002u, static_cast<DWORD>(v >> 32));
    EXPECT_EQ(95u, static_cast<DWORD>(v));
    EXPECT_EQ(0x0005000108D20190ull, MakeModuleVersion(5, 1, 2258, 400));
    // Each argument keeps only its low 16 bits.
    EXPECT_EQ(0x2345FFFF0001FFFFull, MakeModuleVersion(0x12345, 0xFFFF, 0x10001, 0xFFFFFFFF));
}

TEST(ModuleVersion, ComparesAsUnsigned64Bit)
{
    struct Row
    {
        ULONGLONG first, second;
        int expected;
    } rows[] = {
        {V(1, 0, 0, 0), V(0, 65535, 65535, 65535), 1},
        {V(0, 65535, 65535, 65535), V(1, 0, 0, 0), -1},
        {V(4, 8, 40000, 0), V(4, 8, 1, 0), 1},
        {V(40000, 0, 0, 0), V(1, 0, 0, 0), 1},
        {V(1, 0, 0, 0), V(40000, 0, 0, 0), -1},
        {V(4, 2, 0, 95), V(4, 2, 0, 95), 0},
        {V(4, 2, 0, 94), V(4, 2, 0, 95), -1},
        {V(4, 2, 0, 0x8000), V(4, 2, 0, 1), 1},
        {0, 0, 0},
        {~0ull, 0, 1},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(testing::Message() << std::hex << row.first << " vs " << row.second);
        EXPECT_EQ(row.expected, CompareModuleVersions(row.first, row.second));
    }
}

TEST(QueryFileVersion, ReadsARealSystemFile)
{
    char folder[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryA(folder, MAX_PATH));
    ULONGLONG got = kPoison;
    ASSERT_EQ(S_OK, QueryFileVersion((std::string(folder) + "\\kernel32.dll").c_str(), &got));
    EXPECT_NE(kPoison, got);
    EXPECT_NE(0u, got >> 48) << "kernel32.dll has a major version";
}

TEST(QueryFileVersion, FailuresLeaveTheOutValueAlone)
{
    TempDir dir;
    WriteFileBytes(dir / "plain.dll", ImageWithoutResources());
    WriteFileBytes(dir / "text.txt", "no executable here");
    ULONGLONG got = kPoison;
    EXPECT_EQ(E_INVALIDARG, QueryFileVersion(nullptr, &got));
    EXPECT_EQ(E_INVALIDARG, QueryFileVersion((dir / "plain.dll").c_str(), nullptr));
    EXPECT_EQ(E_INVALIDARG, QueryFileVersion(nullptr, nullptr));
    EXPECT_EQ(E_FAIL, QueryFileVersion((dir / "plain.dll").c_str(), &got));
    EXPECT_EQ(E_FAIL, QueryFileVersion((dir / "text.txt").c_str(), &got));
    EXPECT_EQ(E_FAIL, QueryFileVersion((dir / "missing.dll").c_str(), &got));
    EXPECT_EQ(E_FAIL, QueryFileVersion("", &got));
    EXPECT_EQ(kPoison, got);
}

// The file version of the fixed record, in the modern layout and in the
// 16-bit one of old executables (an 8-bit key right after the two length
// words); blocks that are not sound give E_FAIL (kPoison: the out value
// left alone) and are never read past their end.
TEST(QueryFileVersion, VersionBlocks)
{
    const std::string good = VersionBlock(V(4, 6, 0, 436));
    const size_t recordOffset = good.size() - sizeof(VS_FIXEDFILEINFO);
    auto withWord = [](std::string block, size_t offset, WORD value) {
        std::memcpy(&block[offset], &value, sizeof(value));
        return block;
    };
    std::string unterminated = good.substr(0, recordOffset);
    for (size_t i = 6; i < unterminated.size(); ++i)
        unterminated[i] = 'A';
    const std::string modern = VersionBlock(V(4, 3, 0, 1096));
    std::string old = std::string(4, '\0') + std::string("VS_VERSIONINFO\0", 16) +   // value at 20
                      modern.substr(modern.size() - sizeof(VS_FIXEDFILEINFO));
    old = withWord(withWord(old, 0, static_cast<WORD>(old.size())), 2, sizeof(VS_FIXEDFILEINFO));

    const struct
    {
        const char* what;
        std::string block;
        ULONGLONG expected;
    } rows[] = {
        {"4.6.0.436", good, V(4, 6, 0, 436)},
        {"all fields 65535", VersionBlock(V(65535, 65535, 65535, 65535)), V(65535, 65535, 65535, 65535)},
        {"0.0.0.0", VersionBlock(0), 0},
        {"major above 32767", VersionBlock(V(40000, 1, 2, 3)), V(40000, 1, 2, 3)},
        {"16-bit layout", old, V(4, 3, 0, 1096)},
        {"16-bit key without terminator", old.substr(0, 4) + std::string(16, 'K'), kPoison},
        {"record shorter than VS_FIXEDFILEINFO", withWord(good, 2, 20), kPoison},
        {"record of length 0", withWord(good, 2, 0), kPoison},
        {"block shorter than its record", withWord(good, 0, static_cast<WORD>(recordOffset + 8)), kPoison},
        {"block length 0", withWord(good, 0, 0), kPoison},
        {"block longer than the resource", withWord(good, 0, 0xFFFF), kPoison},
        {"text value at the root", withWord(good, 4, 1), kPoison},
        {"key without terminator", unterminated + good.substr(recordOffset), kPoison},
        {"header and key only", withWord(good.substr(0, recordOffset), 0, static_cast<WORD>(recordOffset)), kPoison},
        {"header and key only, claiming a record", good.substr(0, recordOffset), kPoison},
        {"eight bytes", good.substr(0, 8), kPoison},
        {"two bytes", good.substr(0, 2), kPoison},
        {"empty resource", std::string(), kPoison},
    };
    TempDir dir;
    int index = 0;
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        const std::string path = dir / ("v" + std::to_string(index++) + ".dll");
        WriteFileBytes(path, ImageWithVersionResource(row.block));
        ULONGLONG got = kPoison;
        EXPECT_EQ(row.expected == kPoison ? E_FAIL : S_OK, QueryFileVersion(path.c_str(), &got));
        EXPECT_EQ(row.expected, got);
    }
}

// A file cut short anywhere is never read past its end: a cut before the
// record's end gives a failure, or a version whose every byte is the file's
// own or a zero where the file ended; a cut after it the whole record.
TEST(QueryFileVersion, TruncatedFilesNeverOverrun)
{
    const ULONGLONG version = V(5, 1, 2258, 400);
    const std::string image = VersionImage(version);
    const std::string block = VersionBlock(version);
    const size_t blockEnd = image.find(block) + block.size();
    ASSERT_NE(std::string::npos, image.find(block));
    TempDir dir;
    for (size_t size : {size_t(0), size_t(1), size_t(2), size_t(63), size_t(64), size_t(100), size_t(0x150),
                        size_t(0x200), size_t(0x210), size_t(0x230), blockEnd - 60, blockEnd - 20, blockEnd - 1,
                        blockEnd})
    {
        SCOPED_TRACE(testing::Message() << "cut at " << size << " of " << image.size());
        const std::string path = dir / ("cut" + std::to_string(size) + ".dll");
        WriteFileBytes(path, image.substr(0, size));
        ULONGLONG got = kPoison;
        const HRESULT hr = QueryFileVersion(path.c_str(), &got);
        if (hr != S_OK)
        {
            EXPECT_EQ(E_FAIL, hr);
            EXPECT_EQ(kPoison, got);
        }
        else if (size >= blockEnd)
        {
            EXPECT_EQ(version, got);
        }
        else
        {
            for (int shift = 0; shift < 64; shift += 8)
            {
                const unsigned byte = static_cast<unsigned>(got >> shift & 0xFF);
                EXPECT_TRUE(byte == 0 || byte == (version >> shift & 0xFF)) << std::hex << got;
            }
        }
    }
}

TEST(QueryFileVersion, RepeatedCallsLeakNothing)
{
    TempDir dir;
    const std::string good = dir / "good.dll";
    const std::string bad = dir / "bad.dll";
    WriteFileBytes(good, VersionImage(V(1, 2, 3, 4)));
    WriteFileBytes(bad, ImageWithVersionResource(VersionBlock(V(1, 2, 3, 4)).substr(0, 20)));
    testing_support::ExpectNoLeaks(
        [&] {
            ULONGLONG v = 0;
            EXPECT_EQ(S_OK, QueryFileVersion(good.c_str(), &v));
            EXPECT_EQ(E_FAIL, QueryFileVersion(bad.c_str(), &v));
        },
        750, {2});
}
