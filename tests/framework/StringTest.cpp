#include "framework/String.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using testing_support::ActiveDbcsSample;

TEST(StringCut, NeverFails)
{
    const CString s("abcdef");
    struct Row
    {
        int first, count;
        const char* expected;
    } rows[] = {
        {0, 3, "abc"}, {-3, 2, "ab"}, {4, 99, "ef"}, {6, 1, ""}, {99, 1, ""}, {2, -1, ""}, {0, INT_MAX, "abcdef"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(testing::Message() << "Mid(" << row.first << ", " << row.count << ")");
        EXPECT_STREQ(row.expected, s.Mid(row.first, row.count));
    }
    EXPECT_STREQ("abcdef", s.Left(99));
    EXPECT_STREQ("", s.Left(-1));
    EXPECT_STREQ("def", s.Mid(3));
    EXPECT_STREQ("abcdef", s.Mid(-7));
}

TEST(StringAccess, IndexAtLengthIsTerminatorOthersRaise)
{
    const CString s("ab");
    EXPECT_EQ('a', s.GetAt(0));
    EXPECT_EQ('\0', s.GetAt(2));
    EXPECT_THROW(s.GetAt(3), CInvalidArgException);
    EXPECT_THROW(s.GetAt(-1), CInvalidArgException);
    EXPECT_EQ('\0', CString().GetAt(0));
    EXPECT_THROW(CString().GetAt(1), CInvalidArgException);
    CString t("ab");
    EXPECT_THROW(t.SetAt(2, 'x'), CInvalidArgException);
}

TEST(StringCopy, WritesDoNotReachSharedCopies)
{
    CString a("hello");
    CString b = a;
    EXPECT_EQ(a.GetString(), b.GetString()) << "copies share one buffer";
    b.SetAt(0, 'j');
    b += " world";
    EXPECT_STREQ("hello", a);
    EXPECT_STREQ("jello world", b);
    CString c = a;
    c.MakeUpper();
    EXPECT_STREQ("hello", a);
    EXPECT_STREQ("HELLO", c);
}

TEST(StringAppend, GrowsAndAppendsItself)
{
    CString s;
    for (int i = 0; i < 1000; ++i)
        s += 'x';
    EXPECT_EQ(1000, s.GetLength());
    CString t("ab");
    t += t;
    t += t.GetString() + 1;
    EXPECT_STREQ("ababbab", t);
    EXPECT_STREQ("xay", 'x' + CString("a") + 'y');
}

TEST(StringFind, CharactersAndSubstrings)
{
    const CString s("a.b.c");
    EXPECT_EQ(1, s.Find('.'));
    EXPECT_EQ(3, s.Find('.', 2));
    EXPECT_EQ(-1, s.Find('.', 4));
    EXPECT_EQ(-1, s.Find('.', 99));
    EXPECT_EQ(1, s.Find('.', -5));
    EXPECT_EQ(3, s.ReverseFind('.'));
    EXPECT_EQ(-1, s.ReverseFind('x'));
    EXPECT_EQ(2, s.Find("b.c"));
    EXPECT_EQ(-1, s.Find("b.c", 3));
    EXPECT_EQ(-1, s.Find("c.d"));
    EXPECT_EQ(-1, CString("ab").Find("abc"));
    EXPECT_EQ(2, s.Find("", 2));
}

TEST(StringEdit, TruncateAndEquality)
{
    CString s("abc");
    s.Truncate(99);
    EXPECT_STREQ("abc", s);
    s.Truncate(1);
    EXPECT_STREQ("a", s);
    // Equality with a plain text is byte equality, as between two strings.
    const CString zeros("a\0b", 3);
    EXPECT_FALSE(zeros == "a");
    EXPECT_FALSE("a" == zeros);
    EXPECT_TRUE(zeros != "a");
    EXPECT_FALSE(zeros == CString("a"));
    EXPECT_TRUE(CString() == nullptr);
}

TEST(StringCase, AsciiAndCodePageLetters)
{
    CString s("Hello, World 42");
    EXPECT_STREQ("hello, world 42", CString(s).MakeLower());
    EXPECT_STREQ("HELLO, WORLD 42", CString(s).MakeUpper());
    if (GetACP() == 1252)
    {
        EXPECT_STREQ("\xE9", CString("\xC9").MakeLower());
    }
}

TEST(StringFormat, PrintfRules)
{
    CString s;
    s.Format("%I64d|%s|%.02d|%02X", static_cast<long long>(-5000000000LL), "x", 7, 255);
    EXPECT_STREQ("-5000000000|x|07|FF", s);
    s.AppendFormat("%d", 1);
    EXPECT_STREQ("-5000000000|x|07|FF1", s);
    s.Format("%s", "");
    EXPECT_TRUE(s.IsEmpty());
}

TEST(StringBuffer, ReleaseTakesLengthFromTerminatorOrArgument)
{
    CString s;
    char* p = s.GetBuffer(10);
    strcpy(p, "abc");
    s.ReleaseBuffer();
    EXPECT_EQ(3, s.GetLength());
    p = s.GetBuffer(10);
    p[1] = '\0';
    s.ReleaseBuffer(3);
    EXPECT_EQ(3, s.GetLength());
    EXPECT_EQ('\0', s.GetAt(1));
    CString t("xyz");
    CString u = t;
    u.GetBuffer(1)[0] = 'q';
    u.ReleaseBuffer(1);
    EXPECT_STREQ("q", u);
    EXPECT_STREQ("xyz", t);
}

TEST(StringDbcs, TrailByteNeverMatchesAlone)
{
    auto sample = ActiveDbcsSample();
    SKIP_UNLESS_DBCS(sample);
    const char trail = sample.trail;
    const CString text = CString("x") + sample.text.c_str() + "y";
    EXPECT_EQ(-1, text.Find(trail));
    EXPECT_EQ(-1, text.ReverseFind(trail));
    EXPECT_EQ(-1, text.Find(CString(trail).GetString()));
    EXPECT_EQ(1, text.Find(sample.text.c_str()));

    CString withTrail = text + trail;
    EXPECT_EQ(4, withTrail.Find(trail));
    EXPECT_EQ(4, withTrail.ReverseFind(trail));

    // Case mapping leaves a trail byte that looks like a letter alone.
    CString lower = text;
    lower.MakeLower();
    EXPECT_EQ(sample.text, std::string(lower.Mid(1, 2)));
    CString upper = text;
    upper.MakeUpper();
    EXPECT_EQ(sample.text, std::string(upper.Mid(1, 2)));
    EXPECT_EQ('Y', upper.GetAt(3));
}

TEST(StringDbcs, LeadByteAtEndDoesNotSwallowTerminator)
{
    auto sample = ActiveDbcsSample();
    SKIP_UNLESS_DBCS(sample);
    CString text = CString("a") + sample.text.substr(0, 1).c_str();
    EXPECT_EQ(2, text.GetLength());
    EXPECT_EQ(-1, text.Find('z'));
    EXPECT_EQ(0, text.ReverseFind('a'));
}

TEST(StringDbcs, SubstringMatchesTakeWholeCharacters)
{
    auto sample = ActiveDbcsSample();
    SKIP_UNLESS_DBCS(sample);
    const std::string lead = sample.text.substr(0, 1);
    const CString text = CString("a") + sample.text.c_str();
    // "a" and a lead byte would match the first byte and a half.
    EXPECT_EQ(-1, text.Find(("a" + lead).c_str()));
    EXPECT_EQ(-1, text.Find(lead.c_str()));
    EXPECT_EQ(0, text.Find(("a" + sample.text).c_str()));
}
