// Plug-in bases (root wrappers and import preprocessing) and the renaming
// strategy that adds and removes name-clash suffixes.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "scene/kqoxnode.h"
#include "scene/kqoxpluginbase.h"
#include "scene/kqoxpluginrenamingstrategy.h"
#include "scene/kqoxscene.h"
#include "scene_test_helpers.h"

namespace {

using namespace qoxsdk_600;
using scenetest::TestManager;

// An importer whose host world matrix is set by the test.
class TestImporter : public KQoxPluginImportBase
{
public:
    void ComputeWorldTransform(KgeAMatrix& world) override
    {
        mHandedIdentity = IsIdentity(world);
        world = mWorld;
    }
    void CustomApplyWorldTransform(KQoxNode* node, KgeAMatrix& world, bool worldIsIdentity) override
    {
        mAppliedTo = node;
        mAppliedIdentity = worldIsIdentity;
        KQoxPluginImportBase::CustomApplyWorldTransform(node, world, worldIsIdentity);
    }

    KgeAMatrix mWorld;
    bool mHandedIdentity = false;
    KQoxNode* mAppliedTo = nullptr;
    bool mAppliedIdentity = false;
};

class PluginBaseTest : public ::testing::Test
{
protected:
    PluginBaseTest()
        : mScene(mManager.CreateKQoxScene())
    {}

    KQoxNode* Child(const char* name, KQoxNode* parent)
    {
        KQoxNode* node = mManager.CreateKQoxNode(name);
        EXPECT_TRUE(parent->AddChild(node));
        return node;
    }

    TestManager mManager;
    KQoxScene* mScene;
    TestImporter mImporter;
};

TEST_F(PluginBaseTest, IdentityWrapperIsExcludedAndItsChildrenNeedNoWrapper)
{
    KQoxNode* root = mScene->GetRootNode();
    KQoxNode* wrapper = Child("Qox_Root", root);
    KQoxNode* a = Child("A", wrapper);
    KQoxNode* b = Child("B", wrapper);
    KQoxNode* plain = Child("qox_root", root);
    KQoxNode* named = Child("My_Qox_Root2", root);
    mImporter.Preprocess(nullptr);
    EXPECT_EQ(mImporter.mAppliedTo, nullptr);
    mImporter.Preprocess(root);
    EXPECT_TRUE(mImporter.mHandedIdentity);
    EXPECT_TRUE(mImporter.IsExcludedQoxRoot(wrapper));
    EXPECT_FALSE(mImporter.NeedQoxRoot(wrapper));
    EXPECT_FALSE(mImporter.NeedQoxRoot(a));
    EXPECT_FALSE(mImporter.NeedQoxRoot(b));
    EXPECT_TRUE(mImporter.NeedQoxRoot(plain));
    EXPECT_FALSE(mImporter.IsQoxRootNode(plain));
    EXPECT_FALSE(mImporter.IsQoxRootNode(nullptr));
    // Any name holding the root name is a wrapper.
    EXPECT_TRUE(mImporter.IsExcludedQoxRoot(named));
    ASSERT_EQ(mImporter.GetUnwrappedNodes().GetCount(), 2);
    EXPECT_EQ(mImporter.GetExcludedQoxRoots().GetCount(), 2);
    EXPECT_EQ(mImporter.GetUnwrappedNodes()[0], a);
    EXPECT_EQ(mImporter.mAppliedTo, root);
}

TEST_F(PluginBaseTest, WrapperThatMovesStaysAndWorldReachesTheRoot)
{
    struct Case
    {
        double wrapperX;
        double worldX;
        bool excluded;
    };
    // The combined matrix decides; a difference of 0.0001 still passes.
    const Case cases[] = {
        {0.001, 0.0, false}, {0.0001, 0.0, true}, {5.0, -5.0, true}, {5.0, 5.0, false}, {0.0, std::nan(""), false}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.wrapperX);
        TestManager manager;
        KQoxScene* scene = manager.CreateKQoxScene();
        KQoxNode* root = scene->GetRootNode();
        KQoxNode* wrapper = manager.CreateKQoxNode("Qox_Root");
        root->AddChild(wrapper);
        wrapper->SetDefaultT(KQoxVector4(c.wrapperX, 0, 0));
        TestImporter importer;
        importer.mWorld.mData[3][0] = c.worldX;
        importer.Preprocess(root);
        EXPECT_EQ(importer.IsExcludedQoxRoot(wrapper), c.excluded);
        // Either way the wrapper itself needs no further wrapper.
        EXPECT_FALSE(importer.NeedQoxRoot(wrapper));
        EXPECT_EQ(importer.GetUnwrappedNodes().GetCount(), c.excluded ? 0 : 1);
        EXPECT_EQ(importer.mAppliedTo, root);
        EXPECT_EQ(importer.mAppliedIdentity, c.worldX == 0.0);
        KQoxVector4 t;
        if (!std::isnan(c.worldX))
        {
            EXPECT_DOUBLE_EQ(root->GetDefaultT(t)[0], c.worldX);
        }
    }
}

// Renaming ----------------------------------------------------------------------------

struct Renamed
{
    std::string initial;
    std::string current;
    bool result;
};

Renamed Rename(KQoxPluginRenamingStrategy& strategy, const char* text)
{
    KName name(text);
    const bool result = strategy.Rename(name);
    return {name.GetInitialName(), name.GetCurrentName(), result};
}

TEST(RenamingStrategy, TowardsTheFileRepeatsGetSuffixes)
{
    KQoxPluginRenamingStrategy strategy(KQoxPluginRenamingStrategy::eTO_QOX, false);
    const std::vector<std::pair<const char*, Renamed>> steps = {
        {"Arm", {"Arm", "Arm", false}},
        {"Arm", {"Arm", "Arm_ncl1_1", true}},
        {"Arm", {"Arm", "Arm_ncl1_2", true}},
        {"Bone", {"Bone", "Bone", false}},
        {"bONE", {"bONE", "Bone_ncl2_ul1lu14", true}},
        // The first record in order that clashes decides: Arm clashes by case first.
        {"ARM", {"ARM", "Arm_ncl2_lu6", true}},
        {"Arm_ncl1_1", {"Arm_ncl1_1", "Arm_ncl1_1_ncl1_1", true}},
    };
    for (const auto& step : steps)
    {
        SCOPED_TRACE(step.first);
        const Renamed got = Rename(strategy, step.first);
        EXPECT_EQ(got.current, step.second.current);
        EXPECT_EQ(got.initial, step.second.initial);
        EXPECT_EQ(got.result, step.second.result);
    }
}

TEST(RenamingStrategy, ClashTypesSelectTheKindsSolvedAndForgetNames)
{
    KQoxPluginRenamingStrategy strategy(KQoxPluginRenamingStrategy::eTO_QOX, false);
    strategy.SetClashSoverType(KQoxPluginRenamingStrategy::eEXACT_CLASHES);
    Rename(strategy, "Arm");
    EXPECT_EQ(Rename(strategy, "arm").current, "arm");
    EXPECT_EQ(Rename(strategy, "Arm").current, "Arm_ncl1_1");
    strategy.SetClashSoverType(KQoxPluginRenamingStrategy::eCASE_CLASHES);
    EXPECT_EQ(Rename(strategy, "Arm").current, "Arm");
    EXPECT_EQ(Rename(strategy, "Arm").current, "Arm");
    EXPECT_EQ(Rename(strategy, "aRm").current, "Arm_ncl2_ul1lu2");
    // The same type again keeps what was seen.
    strategy.SetClashSoverType(KQoxPluginRenamingStrategy::eCASE_CLASHES);
    EXPECT_EQ(Rename(strategy, "ARM").current, "Arm_ncl2_lu6");
}

TEST(RenamingStrategy, FromTheFileSuffixesGo)
{
    struct Case
    {
        const char* name;
        bool parenthesis;
        Renamed expected;
    };
    const Case cases[] = {
        {"Arm_ncl1_2", false, {"Arm_ncl1_2", "Arm", true}},
        {"Bone_ncl2_ul1lu14", false, {"Bone_ncl2_ul1lu14", "bONE", true}},
        {"Arm(3)", false, {"Arm(3)", "Arm", true}},
        {"Arm(3)", true, {"Arm_3_", "Arm", true}},
        {"Arm(x)", false, {"Arm(x)", "Arm_x_", false}},
        {"Arm(x)", true, {"Arm(x)", "Arm_x_", false}},
        {"Arm()", false, {"Arm()", "Arm", true}},
        {"(3)", false, {"(3)", "_3_", false}},
        {"Arm(x", false, {"Arm(x", "Arm", true}},
        {"left.arm", false, {"left.arm", "left_arm", false}},
        {"_ncl1_3", false, {"_ncl1_3", "_ncl1_3", false}},
        {"Plain", false, {"Plain", "Plain", false}},
        // Masks that name letters beyond the base name, or every bit, only
        // touch the letters there are.
        {"ab_ncl2_ul-1lu-1", false, {"ab_ncl2_ul-1lu-1", "AB", true}},
        {"ab_ncl2_lu-2147483648", false, {"ab_ncl2_lu-2147483648", "ab", true}},
        {"ab_ncl2_lu99999999999999999999", false, {"ab_ncl2_lu99999999999999999999", "AB", true}},
        {"ab_ncl2_", false, {"ab_ncl2_", "ab", true}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        KQoxPluginRenamingStrategy strategy(KQoxPluginRenamingStrategy::eFROM_QOX, c.parenthesis);
        const Renamed got = Rename(strategy, c.name);
        EXPECT_EQ(got.current, c.expected.current);
        EXPECT_EQ(got.initial, c.expected.initial);
        EXPECT_EQ(got.result, c.expected.result);
    }
}

TEST(RenamingStrategy, RoundTripsRestoreNames)
{
    // Case differences at positions 0, 31 and 32 fold onto bits 0 and 31.
    std::string longBase(40, 'a');
    std::string longVariant = longBase;
    longVariant[31] = 'A';
    longVariant[5] = 'A';
    const std::vector<std::string> names = {"Hip", "Hip", "hip", "HIP", "Hip", "hIp", longBase, longVariant, longBase};
    KQoxPluginRenamingStrategy to(KQoxPluginRenamingStrategy::eTO_QOX, false);
    KQoxPluginRenamingStrategy from(KQoxPluginRenamingStrategy::eFROM_QOX, false);
    std::vector<std::string> written;
    for (const std::string& name : names)
    {
        const Renamed towards = Rename(to, name.c_str());
        written.push_back(towards.current);
        const Renamed back = Rename(from, towards.current.c_str());
        EXPECT_EQ(back.current, name) << towards.current;
        EXPECT_EQ(back.initial, towards.current);
    }
    // Every written name is distinct.
    for (size_t i = 0; i < written.size(); ++i)
        for (size_t j = i + 1; j < written.size(); ++j)
            EXPECT_NE(written[i], written[j]);
    EXPECT_EQ(written[7], longBase + "_ncl2_lu-2147483616");
}

TEST(RenamingStrategy, NoPrefixNameAndReplacement)
{
    EXPECT_STREQ(KQoxPluginRenamingStrategy::NoPrefixName("Model::Arm").ToChars(), "Arm");
    EXPECT_STREQ(KQoxPluginRenamingStrategy::NoPrefixName("Arm").ToChars(), "Arm");
    EXPECT_STREQ(KQoxPluginRenamingStrategy::NoPrefixName("a::b::c").ToChars(), "b::c");
    const std::string longName = "Model::" + std::string(1000, 'x');
    const KString stripped = KQoxPluginRenamingStrategy::NoPrefixName(KString(longName.c_str()));
    EXPECT_EQ(stripped.GetLen(), 1000u);

    KQoxPluginRenamingStrategy strategy(KQoxPluginRenamingStrategy::eFROM_QOX, false);
    KString text("a-b c\xe9:9");
    EXPECT_STREQ(strategy.ReplaceNonAlphaNum(text, "#x").ToChars(), "a#b#c##9");
    KString kept("a-b");
    EXPECT_STREQ(strategy.ReplaceNonAlphaNum(kept, "").ToChars(), "a-b");
}

TEST(RenamingStrategy, ManyRepeatsOfOneName)
{
    KQoxPluginRenamingStrategy strategy(KQoxPluginRenamingStrategy::eTO_QOX, false);
    const int count = 100000;
    std::string last;
    for (int i = 0; i < count; ++i)
        last = Rename(strategy, i % 2 ? "Joint" : ("Joint" + std::to_string(i)).c_str()).current;
    EXPECT_EQ(last, "Joint_ncl1_" + std::to_string(count / 2 - 1));
}

} // namespace
