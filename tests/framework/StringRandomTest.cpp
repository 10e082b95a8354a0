// Seeded random texts: the string class's searches and case mapping agree
// with a plain character-by-character reference. The *Dbcs* test runs again under
// code pages 949 and 932.
#include "framework/CodePage.h"
#include "framework/String.h"
#include "tests/support/RandomText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

// Start offsets of the characters of text in the active code page.
std::vector<size_t> CharacterStarts(const std::string& text)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size();)
    {
        starts.push_back(i);
        bool lead = IsDBCSLeadByteEx(GetACP(), static_cast<BYTE>(text[i])) && i + 1 < text.size();
        i += lead ? 2 : 1;
    }
    return starts;
}

// The first match of whole characters at or after from.
int ReferenceFind(const std::string& text, const std::string& sub, size_t from)
{
    const std::vector<size_t> starts = CharacterStarts(text);
    auto isBoundary = [&](size_t at) {
        return at == text.size() || std::find(starts.begin(), starts.end(), at) != starts.end();
    };
    for (size_t start : starts)
        if (start >= from && text.compare(start, sub.size(), sub) == 0 && isBoundary(start + sub.size()))
            return static_cast<int>(start);
    return -1;
}

void CheckAgainstReference(unsigned seed, int rounds)
{
    std::mt19937 random(seed);
    const auto pieces = TrickyPieces();
    for (int i = 0; i < rounds; ++i)
    {
        const std::string text = RandomText(random, pieces, 10);
        const std::string sub = RandomText(random, pieces, 2);
        SCOPED_TRACE(testing::Message() << "round " << i);
        const CString s(text.c_str());
        if (!sub.empty())
        {
            ASSERT_EQ(ReferenceFind(text, sub, 0), s.Find(sub.c_str()));
            if (sub.size() == 1)
            {
                int last = -1;
                for (int at = ReferenceFind(text, sub, 0); at >= 0; at = ReferenceFind(text, sub, at + 1))
                    last = at;
                ASSERT_EQ(last, s.ReverseFind(sub[0]));
            }
        }
        // Case mapping never changes a length or a double-byte character.
        CString lower = s;
        lower.MakeLower();
        ASSERT_EQ(s.GetLength(), lower.GetLength());
        for (size_t start : CharacterStarts(text))
        {
            if (start + 1 < text.size() && IsDBCSLeadByteEx(GetACP(), static_cast<BYTE>(text[start])))
            {
                ASSERT_EQ(text.substr(start, 2), std::string(lower.Mid(static_cast<int>(start), 2)));
            }
        }
    }
}

} // namespace

TEST(StringRandom, AgreesWithReference)
{
    CheckAgainstReference(7, 20000);
}

TEST(StringRandomDbcs, AgreesWithReference)
{
    CheckAgainstReference(949, 20000);
}
