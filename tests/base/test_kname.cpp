#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "base/kname.h"

namespace {

// Passes text through the strategy; the resulting current name.
std::string Pass(KRenamingStrategy& strategy, const char* text, bool* changed = nullptr)
{
    KName name(text);
    bool result = strategy.Rename(name);
    if (changed) {
        *changed = result;
    }
    EXPECT_STREQ(name.GetInitialName(), text);
    return name.GetCurrentName();
}

} // namespace

TEST(KNameTest, InitialAndCurrentNames)
{
    KName name("Box");
    EXPECT_STREQ(name.GetInitialName(), "Box");
    EXPECT_STREQ(name.GetCurrentName(), "Box");
    EXPECT_FALSE(name.IsRenamed());
    name.SetCurrentName("Box1");
    EXPECT_STREQ(name.GetInitialName(), "Box");
    EXPECT_STREQ(name.GetCurrentName(), "Box1");
    EXPECT_TRUE(name.IsRenamed());

    KName copy(name);
    EXPECT_STREQ(copy.GetInitialName(), "Box");
    EXPECT_STREQ(copy.GetCurrentName(), "Box1");
    KName other("x");
    other = name;
    EXPECT_STREQ(other.GetCurrentName(), "Box1");

    name.SetInitialName("Sphere");
    EXPECT_STREQ(name.GetInitialName(), "Sphere");
    EXPECT_STREQ(name.GetCurrentName(), "Sphere");

    KName empty;
    EXPECT_STREQ(empty.GetCurrentName(), "");
}

TEST(KNumberRenamingStrategyTest, NumbersRepeatedNames)
{
    KNumberRenamingStrategy strategy;
    bool changed = true;
    EXPECT_EQ(Pass(strategy, "A", &changed), "A");
    EXPECT_FALSE(changed);
    EXPECT_EQ(Pass(strategy, "A", &changed), "A1");
    EXPECT_TRUE(changed);
    EXPECT_EQ(Pass(strategy, "A", &changed), "A2");
    EXPECT_TRUE(changed);
    // Case matters.
    EXPECT_EQ(Pass(strategy, "a", &changed), "a");
    EXPECT_FALSE(changed);
    EXPECT_EQ(Pass(strategy, "", &changed), "");
    EXPECT_EQ(Pass(strategy, "", &changed), "1");
}

TEST(KNumberRenamingStrategyTest, NeverGivesOutANameTwice)
{
    KNumberRenamingStrategy strategy;
    EXPECT_EQ(Pass(strategy, "Box"), "Box");
    EXPECT_EQ(Pass(strategy, "Box"), "Box1");
    EXPECT_EQ(Pass(strategy, "Box1"), "Box11");

    // A real name taken before the number reaches it is skipped.
    KNumberRenamingStrategy other;
    EXPECT_EQ(Pass(other, "Box1"), "Box1");
    EXPECT_EQ(Pass(other, "Box"), "Box");
    EXPECT_EQ(Pass(other, "Box"), "Box2");
    EXPECT_EQ(Pass(other, "Box"), "Box3");
    EXPECT_EQ(Pass(other, "Box2"), "Box21");

    // A mixed stream of names stays unique.
    KNumberRenamingStrategy mixed;
    std::set<std::string> given;
    const char* names[] = {"N", "N1", "N", "N11", "N1", "N", "N2", "N", "N1", "N12", "N11"};
    for (const char* n : names) {
        EXPECT_TRUE(given.insert(Pass(mixed, n)).second) << n;
    }
}

TEST(KNumberRenamingStrategyTest, ClearAndClone)
{
    KNumberRenamingStrategy strategy;
    Pass(strategy, "A");
    EXPECT_EQ(Pass(strategy, "A"), "A1");

    std::unique_ptr<KRenamingStrategy> clone(strategy.Clone());
    ASSERT_NE(dynamic_cast<KNumberRenamingStrategy*>(clone.get()), nullptr);
    EXPECT_EQ(Pass(*clone, "A"), "A");
    EXPECT_EQ(Pass(*clone, "A"), "A1");

    strategy.Clear();
    bool changed = true;
    EXPECT_EQ(Pass(strategy, "A", &changed), "A");
    EXPECT_FALSE(changed);
    EXPECT_EQ(Pass(strategy, "A1"), "A1");
    EXPECT_EQ(Pass(strategy, "A"), "A2");
}
