#include "util/path/PathUtil.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using testing_support::ActiveDbcsSample;

TEST(PathDecomposition, Table)
{
    struct Row
    {
        const char* path;
        const char* name;
        const char* title;
        const char* ext;
        const char* dir;
        const char* parent;
        const char* drive;
    } rows[] = {
        {"C:\\dir\\file.txt", "file.txt", "file", "txt", "C:\\dir\\", "C:\\dir\\", "C:\\"},
        {"C:/dir/file.tar.gz", "file.tar.gz", "file.tar", "gz", "C:/dir/", "C:\\dir\\", "C:/"},
        {"file", "file", "file", "", "", "", ""},
        {"file.", "file.", "file", "", "", "", ""},
        {".profile", ".profile", "", "profile", "", "", ""},
        {"C:\\a.b\\c", "c", "c", "", "C:\\a.b\\", "C:\\a.b\\", "C:\\"},
        {"C:\\dir\\sub\\", "", "", "", "C:\\dir\\sub\\", "C:\\dir\\", "C:\\"},
        {"C:/dir/", "", "", "", "C:/dir/", "C:\\", "C:/"},
        {"C:\\", "", "", "", "C:\\", "C:\\", "C:\\"},
        {"C:", "C:", "C:", "", "", "", "C:"},
        {"\\dir\\", "", "", "", "\\dir\\", "\\dir\\", ""},
        {"dir/", "", "", "", "dir/", "dir/", ""},
        {"?x/y.z", "?x/y.z", "?x/y", "z", "", "", ""},
        {"", "", "", "", "", "", ""},
        // The query part is cut by every operation that takes a file name.
        {"http://host/dir/page.asp?id=3", "page.asp", "page", "asp", "http://host/dir/", "http:\\\\host\\dir\\", "http:/"},
        {"C:\\dir\\page.asp?a/b\\c", "page.asp", "page", "asp", "C:\\dir\\", "C:\\dir\\", "C:\\"},
        {"C:\\dir\\?q", "", "", "", "C:\\dir\\", "C:\\", "C:\\"},
        {"C:\\x\\y\\\\", "", "", "", "C:\\x\\y\\\\", "C:\\x\\y\\", "C:\\"},
        {":abc", ":abc", ":abc", "", "", "", ":a"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.path);
        EXPECT_STREQ(row.name, GetFileName(row.path));
        EXPECT_STREQ(row.title, GetFileTitle(row.path));
        EXPECT_STREQ(row.ext, GetFileExt(row.path));
        EXPECT_STREQ(row.dir, GetFileDir(row.path));
        EXPECT_STREQ(row.parent, GetParentDir(row.path));
        EXPECT_STREQ(row.drive, GetDrive(row.path));
    }
}

TEST(PathDecomposition, DirPlusNameGivesPathBack)
{
    const char* paths[] = {"C:\\a\\b.c", "a/b/c", "x", "\\\\srv\\share\\f.txt", "C:\\dir\\", "/", "?a\\b"};
    for (const char* path : paths)
    {
        SCOPED_TRACE(path);
        EXPECT_STREQ(path, GetFileDir(path) + GetFileName(path));
    }
}

TEST(IsSamePath, Rules)
{
    struct Row
    {
        const char* first;
        const char* second;
        bool same;
    } rows[] = {
        {"C:\\Dir\\", "c:/dir", true},
        {"C:\\dir\\\\", "C:\\dir", false},
        {"\\", "/", true},
        {"", "", false},
        {"", "x", false},
        {"x", "", false},
        {"C:\\a\\.\\b", "C:\\a\\b", false},
        {"FILE.TXT", "file.txt", true},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(testing::Message() << row.first << " vs " << row.second);
        EXPECT_EQ(row.same, IsSamePath(row.first, row.second));
    }
}

TEST(MakeValidFileName, RemovesOrReplacesTheEightCharacters)
{
    CString text("a/b?c\\d:e<f>g\"h|i*j\x01k");
    MakeValidFileName(text, '\0');
    EXPECT_STREQ("abcdefghi*j\x01k", text);

    CString replaced("a/b?c\\d:e<f>g\"h|i*j");
    int length = replaced.GetLength();
    MakeValidFileName(replaced, '_');
    EXPECT_STREQ("a_b_c_d_e_f_g_h_i*j", replaced);
    EXPECT_EQ(length, replaced.GetLength());

    CString self("a:b");
    MakeValidFileName(self, '?');
    EXPECT_STREQ("a?b", self) << "the replacement is not itself tested";

    CString empty;
    MakeValidFileName(empty, '\0');
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(ReplaceChar, EveryByteAndCopyOnly)
{
    CString original("a/b/c");
    EXPECT_STREQ("a\\b\\c", ReplaceChar(original, '/', '\\'));
    EXPECT_STREQ("a/b/c", original);
    EXPECT_STREQ("a/b/c", ReplaceChar(original, '/', '/'));
    EXPECT_STREQ("", ReplaceChar("", 'a', 'b'));
}

TEST(PathDbcs, TrailByteIsNeitherSeparatorNorDot)
{
    auto sample = ActiveDbcsSample();
    SKIP_UNLESS_DBCS(sample);
    const CString dbcs(sample.text.c_str());
    const CString path = CString("C:\\dir\\") + dbcs + ".txt";
    EXPECT_EQ(dbcs + ".txt", GetFileName(path));
    EXPECT_EQ(dbcs, GetFileTitle(path));
    EXPECT_STREQ("txt", GetFileExt(path));
    EXPECT_STREQ("C:\\dir\\", GetFileDir(path));

    const CString folder = CString("C:\\") + dbcs + "\\";
    EXPECT_EQ(folder, GetParentDir(folder + "f"));
    EXPECT_STREQ("C:\\", GetParentDir(folder));
}

TEST(PathDbcs, DriveTakesTheCharacterAfterTheColonWhole)
{
    auto sample = ActiveDbcsSample();
    SKIP_UNLESS_DBCS(sample);
    const CString dbcs(sample.text.c_str());
    EXPECT_EQ(CString("C:") + dbcs, GetDrive(CString("C:") + dbcs + "\\x"));
    EXPECT_EQ(CString(":") + dbcs, GetDrive(CString(":") + dbcs));
    EXPECT_EQ(dbcs + ":\\", GetDrive(dbcs + ":\\"));
    // A lead byte with nothing after it is all there is to take.
    EXPECT_EQ(CString("C:") + sample.text[0], GetDrive(CString("C:") + sample.text[0]));
}

TEST(PathDbcs, IsSamePathLowersWholeCharactersOnly)
{
    auto sample = ActiveDbcsSample();
    SKIP_UNLESS_DBCS(sample);
    CString upper = CString("C:\\") + sample.text.c_str();
    CString lower = CString("c:\\") + sample.text.c_str();
    EXPECT_TRUE(IsSamePath(upper, lower));
    if (sample.trail >= 'A' && sample.trail <= 'Z')
    {
        // A lead byte followed by the lower-case letter is another character.
        CString other = CString("c:\\") + sample.text.substr(0, 1).c_str() + static_cast<char>(sample.trail + 32);
        EXPECT_FALSE(IsSamePath(upper, other));
    }
}

// Trail bytes equal to "\\" or "|" (code page 932) and a lone lead byte at
// the end: MakeValidFileName with "_" and with 0, and IsSamePath against a
// path it matches and one it does not. Rows of other code pages are skipped.
TEST(PathDbcs, ValidNamesAndFinalSeparatorsKeepWholeCharacters)
{
    const struct
    {
        UINT codePage;
        const char *text, *underscore, *removed, *samePath, *otherPath;
    } rows[] = {
        {932, "C:\\dbcs_\x95\x5C", "C__dbcs_\x95\x5C", "Cdbcs_\x95\x5C", "c:/dbcs_\x95\x5C/", "C:\\dbcs_\x95"},
        {932, "a|\x83\x7C.txt", "a_\x83\x7C.txt", "a\x83\x7C.txt", "A|\x83\x7C.TXT", "a|\x83"},
        {932, "C:\\\x95", "C__\x95", "C\x95", "C:\\\x95", "C:\\\x95\x5C"},
        {949, "C:\\\xB0\xA1\\", "C__\xB0\xA1_", "C\xB0\xA1", "c:\\\xB0\xA1", "C:\\\xB0"},
        {949, "\xB0\x41:\xC7\x7C", "\xB0\x41_\xC7\x7C", "\xB0\x41\xC7\x7C", "\xB0\x41:\xC7\x7C\\", "\xB0\x61:\xC7\x7C"},
    };
    for (const auto& row : rows)
    {
        if (row.codePage != GetACP())
            continue;
        SCOPED_TRACE(testing_support::TraceBytes(row.text));
        CString underscore(row.text), removed(row.text);
        MakeValidFileName(underscore, '_');
        MakeValidFileName(removed, '\0');
        EXPECT_STREQ(row.underscore, underscore);
        EXPECT_STREQ(row.removed, removed);
        EXPECT_TRUE(IsSamePath(row.samePath, row.text));
        EXPECT_FALSE(IsSamePath(row.otherPath, row.text));
    }
}

TEST(PathDbcs, SlashAsTrailByteIsKeptInTheName)
{
    auto sample = ActiveDbcsSample();
    SKIP_UNLESS_DBCS(sample);
    // A lead byte followed by "/" makes one (ill-formed) character: neither a
    // separator nor turned into "\".
    const CString tail = CString(sample.text.substr(0, 1).c_str()) + "/x";
    const CString path = CString("C:\\dir\\") + tail;
    EXPECT_EQ(tail, GetFileName(path));
    EXPECT_STREQ("C:\\dir\\", GetFileDir(path));
}
