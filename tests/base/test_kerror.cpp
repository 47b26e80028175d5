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

namespace {
// An owner whose assignment copies its value but, as every owner, not its
// error record.
class Counter : public KErrorOwner
{
public:
    Counter()
        : KErrorOwner(kTexts, 2)
    {}
    Counter& operator=(const Counter& other)
    {
        KErrorOwner::operator=(other);
        mValue = other.mValue;
        return *this;
    }
    bool Set(int value) { return value < 0 ? Fail(1) : (mValue = value, true); }
    int mValue = 0;

private:
    static constexpr const char* kTexts[2] = {"Zero", "Negative value"};
};
} // namespace

TEST(KErrorOwner, FailSetsTheTextAndAssignmentKeepsEachOwnersRecord)
{
    Counter a;
    Counter b;
    EXPECT_FALSE(a.Set(-4));
    EXPECT_EQ(1, a.GetLastErrorID());
    EXPECT_STREQ("Negative value", a.GetLastErrorString());
    EXPECT_TRUE(a.Set(7));
    b = a;
    EXPECT_EQ(7, b.mValue);
    EXPECT_EQ(-1, b.GetLastErrorID());
    EXPECT_STREQ("Negative value", a.GetLastErrorString());
    a.GetError().ClearLastError();
    EXPECT_STREQ("", a.GetLastErrorString());
}
