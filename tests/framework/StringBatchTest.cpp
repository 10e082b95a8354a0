#include "framework/StringBatch.h"

#include "tests/support/LeakCheck.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

// Batch-made pieces share heap blocks; each must still behave as a string of
// its own and keep its block alive after the batch and its siblings are gone.
TEST(StringBatch, PiecesAreIndependentStringsThatOutliveTheBatch)
{
    std::vector<CString> kept;
    {
        CStringBatch batch;
        std::vector<CString> pieces;
        char text[300];
        for (int i = 0; i < 3000; ++i)   // several blocks
        {
            int n = std::snprintf(text, sizeof(text), "piece%d", i);
            pieces.push_back(batch.Make(text, n));
        }
        EXPECT_STREQ("", batch.Make("x", 0));
        EXPECT_STREQ("", batch.Make(nullptr, 3));
        std::string big(300, 'b');   // longer than a shared block takes
        kept.push_back(batch.Make(big.data(), 300));
        kept.push_back(pieces[0]);
        kept.push_back(pieces[1500]);
        kept.push_back(pieces[2999]);
    }
    ASSERT_EQ(4u, kept.size());
    EXPECT_EQ(CString(std::string(300, 'b').c_str()), kept[0]);
    EXPECT_STREQ("piece0", kept[1]);
    EXPECT_STREQ("piece1500", kept[2]);

    CString copy = kept[2];
    kept[2].SetAt(0, 'P');   // copy-on-write leaves the shared piece alone
    EXPECT_STREQ("Piece1500", kept[2]);
    EXPECT_STREQ("piece1500", copy);
    kept[3] += std::string(100, 'z').c_str();   // grows out of its block
    EXPECT_EQ(109, kept[3].GetLength());
    EXPECT_STREQ("piece2999", kept[3].Left(9));
}

TEST(StringBatch, BlocksAreFreedWhenTheLastPieceGoes)
{
    // 200 rounds of 80 KiB would show as megabytes if blocks leaked.
    testing_support::ExpectNoLeaks(
        [] {
            std::vector<CString> pieces;
            CStringBatch batch;
            for (int i = 0; i < 2000; ++i)
                pieces.push_back(batch.Make("0123456789abcdef", 16));
        },
        200, {0, 2u << 20});
}
