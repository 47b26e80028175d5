#include "base/kerror.h"

#include <gtest/gtest.h>

namespace {
const char* const kTable[] = {"A", "B", "C", nullptr};
}

TEST(KError, IdsAndTexts)
{
    KError e(kTable, 4);
    EXPECT_EQ(4, e.GetErrorCount());
    EXPECT_EQ(-1, e.GetLastErrorID());
    EXPECT_STREQ("", e.GetLastErrorString());
    EXPECT_STREQ("B", e.GetErrorString(1));

    e.SetLastErrorID(2);
    EXPECT_EQ(2, e.GetLastErrorID());
    EXPECT_STREQ("C", e.GetLastErrorString());

    e.SetLastError(1, "disk full");
    EXPECT_EQ(1, e.GetLastErrorID());
    EXPECT_STREQ("disk full", e.GetLastErrorString());

    e.SetLastErrorString("other");
    EXPECT_EQ(1, e.GetLastErrorID());
    EXPECT_STREQ("other", e.GetLastErrorString());

    e.ClearLastError();
    EXPECT_EQ(-1, e.GetLastErrorID());
    EXPECT_STREQ("", e.GetLastErrorString());
}

TEST(KError, NullAndOutOfRangeTexts)
{
    KError e(kTable, 4);
    e.SetLastErrorID(3);  // null table entry: no text
    EXPECT_EQ(3, e.GetLastErrorID());
    EXPECT_STREQ("", e.GetLastErrorString());
    e.SetLastError(0, nullptr);
    EXPECT_EQ(0, e.GetLastErrorID());
    EXPECT_STREQ("", e.GetLastErrorString());

    // Codes outside the table never read past it.
    e.SetLastErrorID(17);
    EXPECT_EQ(17, e.GetLastErrorID());
    EXPECT_STREQ("", e.GetLastErrorString());
    EXPECT_STREQ("", e.GetErrorString(-1));
    EXPECT_STREQ("", e.GetErrorString(4));

    KError none(nullptr, 0);
    none.SetLastErrorID(0);
    EXPECT_STREQ("", none.GetLastErrorString());

    KError copy(e);
    copy.SetLastErrorID(0);
    EXPECT_STREQ("A", copy.GetLastErrorString());
    EXPECT_EQ(17, e.GetLastErrorID());
}
