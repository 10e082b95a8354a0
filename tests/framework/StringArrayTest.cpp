#include "framework/StringArray.h"

#include <gtest/gtest.h>

TEST(StringArray, AddAppendsAtEndAndChecksIndexes)
{
    CStringArray list;
    EXPECT_EQ(0, list.Add("a"));
    EXPECT_EQ(1, list.Add(CString("b")));
    ASSERT_EQ(2, list.GetSize());
    EXPECT_STREQ("a", list[0]);
    EXPECT_STREQ("b", list.GetAt(1));
    EXPECT_THROW(list.GetAt(2), CInvalidArgException);
    EXPECT_THROW(list.GetAt(-1), CInvalidArgException);
    list.SetAt(0, "z");
    EXPECT_STREQ("z", list[0]);
    list.RemoveAll();
    EXPECT_TRUE(list.IsEmpty());
}
