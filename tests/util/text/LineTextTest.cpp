#include "util/text/LineText.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using testing_support::ActiveDbcsSample;

namespace {

std::vector<std::string> Items(const CStringArray& list)
{
    std::vector<std::string> items;
    for (int i = 0; i < list.GetSize(); ++i)
        items.emplace_back(list[i].GetString(), static_cast<size_t>(list[i].GetLength()));
    return items;
}

} // namespace

TEST(ReadLine, LengthRules)
{
    struct Row
    {
        const char* text;
        const char* line;
        int length;
    } rows[] = {
        {"abc\r\ndef", "abc", 3},
        {"abc\ndef", "", -1},
        {"abc\rdef", "", -1},
        {"abc", "", -1},
        {"", "", -1},
        {"\r\nx", "", 0},
        {"a\r\r\nb", "a\r", 2},
        {"a\n\r\nb", "a\n", 2},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.text);
        int nLength = 12345;
        CString line = ReadLine(row.text, nLength);
        EXPECT_STREQ(row.line, line);
        EXPECT_EQ(row.length, nLength);
        EXPECT_EQ(row.length < 0 ? 0 : row.length, line.GetLength());
    }
}

TEST(ReadLine, NullTextHasNoLine)
{
    int nLength = 12345;
    EXPECT_STREQ("", ReadLine(nullptr, nLength));
    EXPECT_EQ(-1, nLength);
}

TEST(SplitString, Pieces)
{
    struct Row
    {
        const char* text;
        const char* delimiter;
        std::vector<std::string> pieces;
    } rows[] = {
        {"a,b,c", ",", {"a", "b", "c"}},
        {"a,,b", ",", {"a", "", "b"}},
        {"a,b,", ",", {"a", "b", ""}},
        {",a", ",", {"", "a"}},
        {",", ",", {"", ""}},
        {"abc", ",", {"abc"}},
        {"", ",", {}},
        {"a::b::", "::", {"a", "b", ""}},
        {"a:b::c", "::", {"a:b", "c"}},
        {"a:::b", "::", {"a", ":b"}},
        {"ab", "ab", {"", ""}},
        {"xaby", "abc", {"xaby"}},
        // An empty delimiter keeps the text whole.
        {"abc", "", {"abc"}},
        {"", "", {}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(std::string(row.text) + " by " + row.delimiter);
        CStringArray list;
        SplitString(row.text, row.delimiter, list);
        EXPECT_EQ(row.pieces, Items(list));
    }
}

TEST(SplitString, AppendsAfterExistingEntries)
{
    CStringArray list;
    list.Add("keep");
    list.Add("");
    SplitString("x;y", ";", list);
    SplitString("", ";", list);
    SplitString("z", "", list);
    EXPECT_EQ((std::vector<std::string>{"keep", "", "x", "y", "z"}), Items(list));
}

// Named for the double-byte reruns too: the search then walks characters.
TEST(SplitString, LargeTextInLinearTimeAlsoDbcs)
{
    // 16 MiB: a million pieces of 15 bytes, each followed by the delimiter.
    const int kPieces = 1 << 20;
    const std::string piece = "abcdefghijklmn|";
    std::string text;
    text.reserve(static_cast<size_t>(kPieces) * 16);
    for (int i = 0; i < kPieces; ++i)
        text += piece + ",";
    ASSERT_EQ(16u << 20, text.size());
    CString strText(text.c_str(), static_cast<int>(text.size()));

    CStringArray list;
    auto start = std::chrono::steady_clock::now();
    SplitString(strText, ",", list);
    auto elapsed = std::chrono::steady_clock::now() - start;

    ASSERT_EQ(kPieces + 1, list.GetSize());
    EXPECT_STREQ(piece.c_str(), list[0]);
    EXPECT_STREQ(piece.c_str(), list[kPieces - 1]);
    EXPECT_STREQ("", list[kPieces]);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 5000);
}

TEST(SplitStringDbcs, TrailByteIsNoDelimiter)
{
    auto sample = ActiveDbcsSample();
    SKIP_UNLESS_DBCS(sample);
    // In 949 "\xB0\x41" ends in "A", in 932 "\x95\x5C" in "\": neither is a
    // delimiter inside the character.
    const CString strDelimiter(sample.trail);
    const std::string text = "x" + sample.text + "y" + sample.trail + "z";
    CStringArray list;
    SplitString(text.c_str(), strDelimiter, list);
    EXPECT_EQ((std::vector<std::string>{"x" + sample.text + "y", "z"}), Items(list));
}
