// Seeded random paths: properties that hold for every input. The *Dbcs*
// tests run again under code pages 949 and 932.
#include "util/path/PathUtil.h"
#include "framework/CodePage.h"
#include "tests/support/GuardedMemory.h"
#include "tests/support/RandomText.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace testing_support;

namespace {

void CheckPathProperties(unsigned seed, int rounds)
{
    std::mt19937 random(seed);
    const auto pieces = TrickyPieces();
    const CCodePageInfo& cp = AfxGetCodePageInfo();
    for (int i = 0; i < rounds; ++i)
    {
        const std::string text = RandomText(random, pieces, 12);
        SCOPED_TRACE(testing::Message() << "round " << i << ": \"" << text << "\"");
        GuardedText guarded(text);
        const CString path(guarded.c_str());
        const CString name = GetFileName(path);
        const CString dir = GetFileDir(path);

        if (text.find('?') == std::string::npos)
        {
            ASSERT_EQ(path, dir + name);
        }
        else
        {
            // The query part never reaches the name or the folder.
            ASSERT_EQ(path.Left(dir.GetLength()), dir);
        }

        const CString title = GetFileTitle(path);
        const CString ext = GetFileExt(path);
        ASSERT_EQ(name, name.Find('.') < 0 && ext.IsEmpty() ? title : title + "." + ext);

        const CString drive = GetDrive(path);
        ASSERT_EQ(path.Left(drive.GetLength()), drive);

        const CString parent = GetParentDir(path);
        ASSERT_LE(parent.GetLength(), path.GetLength());

        ASSERT_EQ(!text.empty(), IsSamePath(path, path));
        ASSERT_EQ(IsSamePath(path, dir), IsSamePath(dir, path));

        CString removed = path;
        MakeValidFileName(removed, '\0');
        CString replaced = path;
        MakeValidFileName(replaced, '_');
        ASSERT_EQ(path.GetLength(), replaced.GetLength());
        // No single-byte character is one of the eight; a trail byte that
        // equals one belongs to its double-byte character and stays.
        const std::string invalid("/?\\:<>\"|");
        for (const CString* pResult : {&removed, &replaced})
            for (const char* p = pResult->GetString(); *p != '\0'; p += AfxCharLength(cp, p))
                ASSERT_TRUE(AfxCharLength(cp, p) == 2 || invalid.find(*p) == std::string::npos) << TraceBytes(p);
    }
}

} // namespace

TEST(PathRandom, PropertiesHold)
{
    CheckPathProperties(20261208, 20000);
}

TEST(PathRandomDbcs, PropertiesHold)
{
    CheckPathProperties(949932, 20000);
}
