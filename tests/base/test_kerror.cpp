#include "base/kerror.h"

#include <gtest/gtest.h>

TEST(KError, IdsTextsAndCodesOutsideTheTable)
{
    const char* const table[] = {"A", "B", "C", nullptr};
    KError e(table, 4);
    EXPECT_EQ(-1, e.GetLastErrorID());
    EXPECT_STREQ("", e.GetLastErrorString());
    e.SetLastErrorID(2);
    EXPECT_STREQ("C", e.GetLastErrorString());
    e.SetLastError(1, "disk full");
    e.SetLastErrorString("other"); // the code stays
    EXPECT_EQ(1, e.GetLastErrorID());
    EXPECT_STREQ("other", e.GetLastErrorString());
    e.SetLastErrorID(3); // a null table entry: no text
    EXPECT_STREQ("", e.GetLastErrorString());
    e.SetLastError(0, nullptr);
    EXPECT_STREQ("", e.GetLastErrorString());
    // Codes outside the table never read past it.
    e.SetLastErrorID(17);
    EXPECT_EQ(17, e.GetLastErrorID());
    EXPECT_STREQ("", e.GetLastErrorString());
    EXPECT_STREQ("", e.GetErrorString(-1));
    EXPECT_STREQ("", e.GetErrorString(4));
    KError copy(e);
    copy.SetLastErrorID(0);
    EXPECT_STREQ("A", copy.GetLastErrorString());
    e.ClearLastError();
    EXPECT_EQ(-1, e.GetLastErrorID());
    KError none(nullptr, 0);
    none.SetLastErrorID(0);
    EXPECT_STREQ("", none.GetLastErrorString());
}
