#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "base/kname.h"

namespace {

// Passes text through the strategy; the resulting current name.
std::string Pass(KRenamingStrategy& strategy, const char* text)
{
    KName name(text);
    const bool renamed = strategy.Rename(name);
    EXPECT_EQ(renamed, name.IsRenamed()) << text;
    EXPECT_STREQ(name.GetInitialName(), text);
    return name.GetCurrentName();
}

} // namespace

TEST(KNumberRenamingStrategyTest, NumbersRepeatedNames)
{
    KNumberRenamingStrategy strategy;
    EXPECT_EQ(Pass(strategy, "A"), "A");
    EXPECT_EQ(Pass(strategy, "A"), "A1");
    EXPECT_EQ(Pass(strategy, "A"), "A2");
    EXPECT_EQ(Pass(strategy, "a"), "a"); // case matters
    EXPECT_EQ(Pass(strategy, ""), "");
    EXPECT_EQ(Pass(strategy, ""), "1");

    KName name("Box"); // a new initial name resets the current one
    name.SetCurrentName("Box1");
    name.SetInitialName("Sphere");
    EXPECT_FALSE(name.IsRenamed());
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
    EXPECT_EQ(Pass(other, "Box2"), "Box21");

    KNumberRenamingStrategy mixed;
    std::set<std::string> given;
    for (const char* n : {"N", "N1", "N", "N11", "N1", "N", "N2", "N", "N1", "N12", "N11"})
        EXPECT_TRUE(given.insert(Pass(mixed, n)).second) << n;
}

TEST(KNumberRenamingStrategyTest, ClearAndClone)
{
    KNumberRenamingStrategy strategy;
    Pass(strategy, "A");
    std::unique_ptr<KRenamingStrategy> clone(strategy.Clone());
    ASSERT_NE(dynamic_cast<KNumberRenamingStrategy*>(clone.get()), nullptr);
    EXPECT_EQ(Pass(*clone, "A"), "A"); // a fresh strategy, not a copy of the names
    EXPECT_EQ(Pass(strategy, "A"), "A1");
    strategy.Clear();
    EXPECT_EQ(Pass(strategy, "A"), "A");
    EXPECT_EQ(Pass(strategy, "A1"), "A1");
    EXPECT_EQ(Pass(strategy, "A"), "A2");
}
