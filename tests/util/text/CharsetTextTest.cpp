#include "util/text/CharsetText.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <clocale>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

const char kPoison = '\x5A';

// U+D55C U+AD6D U+C5B4 ("Korean language") in each encoding.
const wchar_t kKoreanWide[] = L"\xD55C\xAD6D\xC5B4";
const std::string kKoreanUtf8 = "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4";
const std::string kKorean949 = "\xC7\xD1\xB1\xB9\xBE\xEE";

using Conversion = std::function<void(char* pDest, int nSize)>;

// Runs a conversion into a destination of nSize bytes that sits in a
// poisoned buffer; checks that nothing past nSize was written and returns
// the nSize bytes.
std::string ConvertInto(const Conversion& convert, int nSize)
{
    std::vector<char> buffer(static_cast<size_t>(nSize) + 4, kPoison);
    convert(buffer.data(), nSize);
    for (size_t i = static_cast<size_t>(nSize); i < buffer.size(); ++i)
        EXPECT_EQ(kPoison, buffer[i]) << "byte " << i << " lies past the destination";
    return std::string(buffer.data(), static_cast<size_t>(nSize));
}

// The text followed by zeros up to nSize bytes.
std::string Padded(const std::string& text, int nSize)
{
    return text + std::string(static_cast<size_t>(nSize) - text.size(), '\0');
}

struct SizeRow
{
    int size;
    std::string text;   // what the destination holds before its zeros
};

void CheckEverySize(const Conversion& convert, const std::vector<SizeRow>& rows)
{
    for (const SizeRow& row : rows)
    {
        SCOPED_TRACE("destination size " + std::to_string(row.size));
        std::string got = ConvertInto(convert, row.size);
        if (row.size == 0)
            continue;   // nothing inside to look at; the poison check is the test
        EXPECT_EQ(Padded(row.text, row.size), got);
    }
}

std::wstring Wide949(const std::string& text)
{
    std::wstring wide(text.size() + 1, L'\0');
    int n = MultiByteToWideChar(949, 0, text.data(), static_cast<int>(text.size()), &wide[0], static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return wide;
}

} // namespace

// ---------------------------------------------------------------------------
// Utf8ToMultiByte

TEST(Utf8ToMultiByte, EveryDestinationSizeKeepsWholeCharacters)
{
    // a, U+D55C, b: "a\xC7\xD1" "b" in code page 949, five bytes with the zero.
    const std::string source = "a\xED\x95\x9C" "b";
    Conversion convert = [&](char* pDest, int nSize) {
        Utf8ToMultiByte(source.data(), static_cast<int>(source.size()), pDest, nSize, 949);
    };
    CheckEverySize(convert, {
        {0, ""},
        {1, ""},
        {2, "a"},
        {3, "a"},
        {4, "a\xC7\xD1"},
        {5, "a\xC7\xD1" "b"},
        {6, "a\xC7\xD1" "b"},
    });
}

TEST(Utf8ToMultiByte, SurrogatePairIsNeverCut)
{
    // x, U+1F600 back to UTF-8: a lone high surrogate would fit in 4 bytes
    // as U+FFFD, but the pair is one character.
    const std::string source = "x\xF0\x9F\x98\x80";
    Conversion convert = [&](char* pDest, int nSize) {
        Utf8ToMultiByte(source.data(), static_cast<int>(source.size()), pDest, nSize, CP_UTF8);
    };
    CheckEverySize(convert, {
        {1, ""},
        {2, "x"},
        {4, "x"},
        {5, "x"},
        {6, source},
        {7, source},
    });
}

TEST(Utf8ToMultiByte, CountsAndRoundTrips)
{
    struct Row
    {
        std::string source;
        int count;
        UINT codePage;
        std::string text;
    } rows[] = {
        {"\xC3\xA9", 2, 1252, "\xE9"},
        {"caf\xC3\xA9", 5, 1252, "caf\xE9"},
        {"\xC3\xA9\xC3\xA9", 2, 1252, "\xE9"},            // only count bytes
        {"abcdef", 3, 1252, "abc"},
        {"abc", 0, 1252, ""},
        {"abc", -1, 1252, ""},
        {std::string("ab\0cd", 5), 5, 1252, "ab"},        // ends at the first zero
        {kKoreanUtf8, 9, 949, kKorean949},
        {kKoreanUtf8, 6, 949, kKorean949.substr(0, 4)},
        {"A" + kKoreanUtf8, 4, 949, "A\xC7\xD1"},
        {"abc", 3, 12345, ""},                            // no such code page
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE("source \"" + row.source + "\" count " + std::to_string(row.count));
        Conversion convert = [&](char* pDest, int nSize) {
            Utf8ToMultiByte(row.source.data(), row.count, pDest, nSize, row.codePage);
        };
        EXPECT_EQ(Padded(row.text, 16), ConvertInto(convert, 16));
    }
}

TEST(Utf8ToMultiByte, NullSourceOrDestination)
{
    EXPECT_EQ(Padded("", 4), ConvertInto([](char* pDest, int nSize) { Utf8ToMultiByte(nullptr, 3, pDest, nSize, 1252); }, 4));
    Utf8ToMultiByte("abc", 3, nullptr, 4, 1252);   // must not crash
}

// Long texts go through the conversion in steps; characters that straddle
// a step's end must come out whole, and a cut still falls between characters.
TEST(Utf8ToMultiByte, LongTextKeepsCharactersAcrossSteps)
{
    // "ab" U+D55C: 5 bytes of UTF-8, 4 of code page 949.
    std::string source;
    std::string expected;
    for (int i = 0; i < 10000; ++i)
    {
        source += "ab\xED\x95\x9C";
        expected += "ab\xC7\xD1";
    }
    const int nCount = static_cast<int>(source.size());
    std::vector<char> dest(expected.size() + 1, kPoison);
    Utf8ToMultiByte(source.data(), nCount, dest.data(), static_cast<int>(dest.size()), 949);
    EXPECT_TRUE(expected == std::string(dest.data(), expected.size()));
    EXPECT_EQ('\0', dest.back());

    // Room for 7500 pieces, "ab" and one byte: U+D55C no longer fits.
    std::vector<char> cut(30004, kPoison);
    Utf8ToMultiByte(source.data(), nCount, cut.data(), static_cast<int>(cut.size()), 949);
    EXPECT_TRUE(Padded(expected.substr(0, 30002), 30004) == std::string(cut.data(), cut.size()));

}

TEST(Utf8ToMultiByte, ShiftedCodePageStaysWhole)
{
    // UTF-7 writes U+00E9 as "+AOk-"; half of that is no character.
    Conversion convert = [](char* pDest, int nSize) { Utf8ToMultiByte("a\xC3\xA9", 3, pDest, nSize, 65000); };
    CheckEverySize(convert, {
        {2, "a"},
        {6, "a"},
        {7, "a+AOk-"},
    });
}

// ---------------------------------------------------------------------------
// MultiByteToUtf8

TEST(MultiByteToUtf8, EveryDestinationSizeKeepsWholeCharacters)
{
    // a, U+D55C, b from code page 949: "a\xED\x95\x9C" "b" in UTF-8.
    const std::string source = "a\xC7\xD1" "b";
    Conversion convert = [&](char* pDest, int nSize) {
        MultiByteToUtf8(source.data(), static_cast<int>(source.size()), pDest, nSize, 949);
    };
    CheckEverySize(convert, {
        {0, ""},
        {1, ""},
        {2, "a"},
        {3, "a"},
        {4, "a"},
        {5, "a\xED\x95\x9C"},
        {6, "a\xED\x95\x9C" "b"},
        {7, "a\xED\x95\x9C" "b"},
    });
}

TEST(MultiByteToUtf8, CountsAndRoundTrips)
{
    struct Row
    {
        std::string source;
        int count;
        UINT codePage;
        std::string text;
    } rows[] = {
        {"\xE9", 1, 1252, "\xC3\xA9"},
        {"caf\xE9", 4, 1252, "caf\xC3\xA9"},
        {"\xE9\xE9", 1, 1252, "\xC3\xA9"},
        {"abc", 0, 1252, ""},
        {"abc", -5, 1252, ""},
        {std::string("ab\0cd", 5), 5, 1252, std::string("ab\0cd", 5)},   // the zero is copied
        {kKorean949, 6, 949, kKoreanUtf8},
        {kKorean949, 4, 949, kKoreanUtf8.substr(0, 6)},
        {"abc", 3, 12345, ""},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE("source \"" + row.source + "\" count " + std::to_string(row.count));
        Conversion convert = [&](char* pDest, int nSize) {
            MultiByteToUtf8(row.source.data(), row.count, pDest, nSize, row.codePage);
        };
        EXPECT_EQ(Padded(row.text, 16), ConvertInto(convert, 16));
    }
}

TEST(MultiByteToUtf8, LongTextKeepsCharactersAcrossSteps)
{
    // "x" and four U+D55C: 9 bytes of code page 949, so the steps end inside
    // runs of double-byte characters at every offset.
    std::string source;
    std::string expected;
    for (int i = 0; i < 7000; ++i)
    {
        source += "x\xC7\xD1\xC7\xD1\xC7\xD1\xC7\xD1";
        expected += "x\xED\x95\x9C\xED\x95\x9C\xED\x95\x9C\xED\x95\x9C";
    }
    const int nCount = static_cast<int>(source.size());
    std::vector<char> dest(expected.size() + 1, kPoison);
    MultiByteToUtf8(source.data(), nCount, dest.data(), static_cast<int>(dest.size()), 949);
    EXPECT_TRUE(expected + '\0' == std::string(dest.data(), dest.size()));

    // Room for 3000 pieces (39000 bytes), "x" and two bytes.
    std::vector<char> cut(39004, kPoison);
    MultiByteToUtf8(source.data(), nCount, cut.data(), static_cast<int>(cut.size()), 949);
    EXPECT_TRUE(Padded(expected.substr(0, 39001), 39004) == std::string(cut.data(), cut.size()));
}

// ---------------------------------------------------------------------------
// WideToCP949

TEST(WideToCP949, RoundTrips)
{
    struct Row
    {
        const wchar_t* wide;
        const char* text;
    } rows[] = {
        {L"", ""},
        {L"abc", "abc"},
        {L"A\xD55C" L"b", "A\xC7\xD1" "b"},
        {kKoreanWide, kKorean949.c_str()},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.text);
        char* p = WideToCP949(row.wide);
        ASSERT_NE(nullptr, p);
        EXPECT_EQ(2 * wcslen(row.wide) + 2, _msize(p));
        EXPECT_STREQ(row.text, p);
        EXPECT_EQ(std::wstring(row.wide), Wide949(p));   // and back unchanged
        std::free(p);
    }
    EXPECT_EQ(nullptr, WideToCP949(nullptr));
}

// ---------------------------------------------------------------------------
// MultiByteToWideAlloc

TEST(MultiByteToWideAlloc, CLocale)
{
    struct Row
    {
        const char* text;
        const wchar_t* wide;
    } rows[] = {
        {"", L""},
        {"a b\tc", L"a b\tc"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.text);
        WCHAR* p = MultiByteToWideAlloc(row.text);
        ASSERT_NE(nullptr, p);
        EXPECT_EQ(2 * (strlen(row.text) + 1), _msize(p));
        EXPECT_STREQ(row.wide, p);
        std::free(p);
    }
    EXPECT_EQ(nullptr, MultiByteToWideAlloc(nullptr));
}

TEST(MultiByteToWideAlloc, FollowsTheCLocale)
{
    std::string previous = std::setlocale(LC_CTYPE, nullptr);
    if (std::setlocale(LC_CTYPE, ".949") == nullptr)
        GTEST_SKIP() << "the C library has no locale for code page 949";
    WCHAR* pKorean = MultiByteToWideAlloc((kKorean949 + "!").c_str());
    // A lead byte without its trail byte is no character.
    WCHAR* pBroken = MultiByteToWideAlloc("ab\xC7");
    std::setlocale(LC_CTYPE, previous.c_str());

    ASSERT_NE(nullptr, pKorean);
    EXPECT_EQ(16u, _msize(pKorean));   // 7 bytes + 1
    EXPECT_STREQ(L"\xD55C\xAD6D\xC5B4!", pKorean);
    ASSERT_NE(nullptr, pBroken);
    EXPECT_STREQ(L"", pBroken);
    std::free(pKorean);
    std::free(pBroken);
}

// ---------------------------------------------------------------------------
// WideToString

TEST(WideToString, EmptyInputs)
{
    EXPECT_STREQ("", WideToString(nullptr));
    EXPECT_STREQ("", WideToString(L""));
    EXPECT_STREQ("abc", WideToString(L"abc"));
}

TEST(WideToStringDbcs, ActiveCodePage)
{
    struct Sample
    {
        const wchar_t* wide;
        const char* text;
    } sample;
    switch (GetACP())
    {
    case 1252:
        sample = {L"caf\xE9", "caf\xE9"};
        break;
    case 949:
        sample = {kKoreanWide, kKorean949.c_str()};
        break;
    case 932:
        sample = {L"\x65E5\x672C" L"a", "\x93\xFA\x96\x7B" "a"};   // U+65E5 U+672C, then a
        break;
    default:
        GTEST_SKIP() << "no sample for code page " << GetACP();
    }
    CString text = WideToString(sample.wide);
    EXPECT_STREQ(sample.text, text);
    EXPECT_EQ(static_cast<int>(strlen(sample.text)), text.GetLength());
}

// ---------------------------------------------------------------------------
// Utf8ToBstr and its holder

TEST(Utf8ToBstr, Content)
{
    struct Row
    {
        std::string source;
        int count;
        const wchar_t* wide;
    } rows[] = {
        {"abc", 3, L"abc"},
        {"abcdef", 2, L"ab"},
        {"a\xED\x95\x9C\xF0\x9F\x98\x80", 8, L"a\xD55C\xD83D\xDE00"},
        {kKoreanUtf8, 9, kKoreanWide},
        {std::string("ab\0cd", 5), 5, L"ab"},
        {"abc", 0, L""},
        {"abc", -1, L""},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE("source \"" + row.source + "\" count " + std::to_string(row.count));
        CBstr bstr = Utf8ToBstr(row.source.data(), row.count);
        ASSERT_FALSE(bstr.IsNull());
        EXPECT_EQ(wcslen(row.wide), bstr.GetLength());
        EXPECT_STREQ(row.wide, bstr.Get());
    }
    CBstr empty = Utf8ToBstr(nullptr, 4);
    ASSERT_FALSE(empty.IsNull());
    EXPECT_EQ(0u, empty.GetLength());
}

TEST(CBstr, CopiesAreIndependent)
{
    CBstr original = Utf8ToBstr("abc", 3);
    CBstr copy(original);
    ASSERT_FALSE(copy.IsNull());
    EXPECT_NE(original.Get(), copy.Get());
    original.Get()[0] = L'X';
    EXPECT_STREQ(L"abc", copy.Get());

    CBstr assigned = Utf8ToBstr("zz", 2);
    assigned = copy;
    copy = CBstr();
    EXPECT_STREQ(L"abc", assigned.Get());

    assigned = assigned;   // self-assignment keeps the string
    EXPECT_STREQ(L"abc", assigned.Get());

    CBstr none;
    CBstr noneCopy(none);
    EXPECT_TRUE(noneCopy.IsNull());
}

TEST(CBstr, CopyKeepsOddByteLengthAndEmbeddedZeros)
{
    CBstr original(SysAllocStringByteLen("a\0b", 3));
    ASSERT_FALSE(original.IsNull());
    CBstr copy(original);
    ASSERT_EQ(3u, SysStringByteLen(copy.Get()));
    EXPECT_EQ(0, memcmp("a\0b", copy.Get(), 3));
}

TEST(CBstr, MoveHandsTheStringOver)
{
    CBstr source = Utf8ToBstr("abc", 3);
    BSTR raw = source.Get();
    CBstr target(static_cast<CBstr&&>(source));
    EXPECT_TRUE(source.IsNull());
    EXPECT_EQ(raw, target.Get());

    CBstr other;
    other = static_cast<CBstr&&>(target);
    EXPECT_TRUE(target.IsNull());
    EXPECT_EQ(raw, other.Get());

    BSTR detached = other.Detach();
    EXPECT_TRUE(other.IsNull());
    EXPECT_EQ(raw, detached);
    SysFreeString(detached);
}
