#include "util/text/NumberText.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

TEST(HexToInt, Table)
{
    struct Row
    {
        const char* text;
        int expected;
    } rows[] = {
        {"ff", 255}, {"FF", 255}, {"aBcDeF", 0xABCDEF},
        {"0x1F", 31},               // "0" and "X" take places worth 0
        {"#FF", 255}, {"1G", 16}, {"-1", 1}, {"", 0},
        {"7FFFFFFF", INT_MAX}, {"80000000", INT_MIN}, {"FFFFFFFF", -1},
        {"123456789", 0x23456789},  // only the last eight places survive
        {"FFFFFFFF0", -16},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.expected, HexToInt(row.text));
    }
}

TEST(HexToInt, DbcsTrailLetterIsNotADigit)
{
    // A double-byte character whose trail byte is "a": upper-casing leaves
    // the character alone, so both bytes are worth 0, where a lone "a" is 10.
    std::string text;
    if (GetACP() == 949)
        text = "\xB0\x61";
    else if (GetACP() == 932)
        text = "\x95\x61";
    else
        GTEST_SKIP() << "needs code page 949 or 932, active is " << GetACP();
    EXPECT_EQ(0x100, HexToInt(("1" + text).c_str()));
    EXPECT_EQ(0x1A, HexToInt("1a"));
}

TEST(DigitsToLong, Table)
{
    struct Row
    {
        std::string text;
        LONG expected;
    } rows[] = {
        {"-12", 12}, {"1,234,567", 1234567}, {"12abc34", 1234}, {"build 1.2.3", 123},
        {"000", 0}, {"", 0}, {"no digits", 0},
        {"2147483647", LONG_MAX}, {"2147483648", LONG_MAX}, {"99999999999", LONG_MAX},
        {"-2,147,483,646", 2147483646},
        // A long run of zeros is no large number.
        {std::string(40, '0') + "42", 42},
        {"1" + std::string(300, '0'), LONG_MAX},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.expected, DigitsToLong(row.text.c_str()));
    }
}

TEST(DigitsToInt64, Table)
{
    struct Row
    {
        std::string text;
        LONGLONG expected;
    } rows[] = {
        {"-5", 5}, {"abc-12", 12}, {"--7", 7}, {"12.5", 12},
        {"0x1A", 0},   // the first run of digits is "0"
        {"a0b5", 0}, {"ab05", 5}, {"1 2", 1}, {"", 0}, {"x", 0},
        {"9223372036854775807", LLONG_MAX}, {"9223372036854775808", LLONG_MAX},
        {std::string(20, '9'), LLONG_MAX},
        // 2^64 + 9: wrapping arithmetic would give 9.
        {"18446744073709551625", LLONG_MAX},
        {std::string(50, '0') + "123x456", 123},
        {"v" + std::string(500, '7'), LLONG_MAX},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.expected, DigitsToInt64(row.text.c_str()));
    }
}

TEST(TextToColor, Table)
{
    struct Row
    {
        const char* text;
        COLORREF expected;
    } rows[] = {
        {"#FF0000", 0x0000FF}, {"FF0000", 0x0000FF}, {"#0000FF", 0xFF0000}, {"#00FF00", 0x00FF00},
        {"#abcdef", 0xEFCDAB},
        {"#FFF", 0x000FFF},        // red FF, green F, blue empty
        {"", 0}, {"#", 0}, {"#zz0000", 0},
        {"-1", 0x0000FF},          // red -1, cut to 8 bits
        {"#+F-F", 0x00F10F},       // green -15 cut to 0xF1
        {"#0x1234", 0x341200},     // red "0x" has no digits
        {"# 1 2 3", 0x030201},     // " 1", " 2", " 3": white space before digits
        {"#12345678", 0x563412},
        {"##123456", 0x452300},    // one "#" is dropped; the red piece "#1" is 0
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.expected, TextToColor(row.text));
    }
}

TEST(ColorToText, TableAndRoundTrip)
{
    struct Row
    {
        COLORREF color;
        const char* expected;
    } rows[] = {
        {0x0000FF, "#FF0000"}, {0x563412, "#123456"}, {0xFF563412, "#123456"},
        {0, "#000000"}, {0xFF000000, "#000000"}, {0xABCDEF, "#EFCDAB"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.expected);
        EXPECT_STREQ(row.expected, ColorToText(row.color));
        EXPECT_EQ(row.color & 0xFFFFFF, TextToColor(ColorToText(row.color)));
    }
}

TEST(ParseVersionText, Table)
{
    struct Row
    {
        std::string text;
        int parts[4];
    } rows[] = {
        {"1.2.3.4", {1, 2, 3, 4}}, {"1,2,3,4", {1, 2, 3, 4}}, {"1, 0, 0, 1", {1, 0, 0, 1}},
        {"1.2.3.4.5", {1, 2, 3, 4}}, {"1..3.4", {1, 0, 3, 4}}, {"10.0.19041.1", {10, 0, 19041, 1}},
        {"1.2.3.4beta", {1, 2, 3, 4}}, {"1.2.3.x4", {1, 2, 3, 0}},
        // Fewer than four parts: the parts present count, the rest are 0.
        {"1.2.3", {1, 2, 3, 0}}, {"1.2", {1, 2, 0, 0}}, {"1.2.", {1, 2, 0, 0}}, {"1.2.3.", {1, 2, 3, 0}},
        {"7", {7, 0, 0, 0}}, {"", {0, 0, 0, 0}}, {".5", {0, 5, 0, 0}}, {"abc", {0, 0, 0, 0}},
        {" +5,\t6", {5, 6, 0, 0}}, {"-1.-2.-3.-4", {-1, -2, -3, -4}},
        {"99999999999.-99999999999.1.2", {INT_MAX, INT_MIN, 1, 2}},
        {"2147483647.2147483648.-2147483648.-2147483649", {INT_MAX, INT_MAX, INT_MIN, INT_MIN}},
        {"1.2.3." + std::string(100, '9'), {1, 2, 3, INT_MAX}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.text);
        int a = 77, b = 77, c = 77, d = 77;
        ParseVersionText(row.text.c_str(), a, b, c, d);
        EXPECT_EQ(row.parts[0], a);
        EXPECT_EQ(row.parts[1], b);
        EXPECT_EQ(row.parts[2], c);
        EXPECT_EQ(row.parts[3], d);
    }
}

TEST(FormatThousands, Table)
{
    struct Row
    {
        LONGLONG value;
        const char* separator;
        int group;
        const char* expected;
    } rows[] = {
        {1234567, ",", 3, "1,234,567"}, {123, ",", 3, "123"}, {1234, ",", 3, "1,234"}, {0, ",", 3, "0"},
        {123456, ",", 3, "123,456"},
        {1234567, "", 3, "1234567"},
        {1234567, "'", 1, "1'2'3'4'5'6'7"},
        {12345678, " ", 4, "1234 5678"}, {123456789, " ", 4, "1 2345 6789"},
        {123456, "<>", 2, "12<>34<>56"},
        // The sign stays outside the groups.
        {-123, ",", 3, "-123"}, {-1234, ",", 3, "-1,234"}, {-123456, ",", 3, "-123,456"},
        {-1, ",", 1, "-1"}, {-12, ",", 1, "-1,2"},
        // Group sizes below 1 give the plain number.
        {1234567, ",", 0, "1234567"}, {-1234567, ",", -1, "-1234567"}, {1234, ",", INT_MIN, "1234"},
        {1234567, ",", INT_MAX, "1234567"},
        {LLONG_MAX, ",", 3, "9,223,372,036,854,775,807"},
        {LLONG_MIN, ",", 3, "-9,223,372,036,854,775,808"},
        {LLONG_MIN, ".", 4, "-922.3372.0368.5477.5808"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(testing::Message() << row.value << " '" << row.separator << "' " << row.group);
        EXPECT_STREQ(row.expected, FormatThousands(row.value, row.separator, row.group));
    }
}
