// The Defaults block of a node whose Default take is owed: the usual block
// (its transform and visibility channels with static values) is read
// without building the take, anything else the long way. Both ways give the
// same scene, the same files written again and the same errors.

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fileio/kqoxioregistry.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxreaderqox_private.h"
#include "fileio_test_util.h"
#include "object/kproperty.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodeproperties.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using fileiotest::Block;
using fileiotest::BlockAt;
using fileiotest::Export;
using fileiotest::ListScene;
using fileiotest::ReplaceIn;
using fileiotest::SwapBlocks;
using fileiotest::TextEdit;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

// Plain nodes with transforms and visibility of their own, one animated,
// and a camera node (its Default take is built: the attribute adds channels).
void BuildNodes(KQoxSdkManager& manager, KQoxScene& scene)
{
    KQoxNode* root = scene.GetRootNode();
    for (int i = 0; i < 4; ++i)
    {
        KQoxNode* node = manager.CreateKQoxNode(("plain" + std::to_string(i)).c_str());
        root->AddChild(node);
        node->SetDefaultT(KQoxVector4(i + 0.25, -2.5 * i, 1e30));
        node->SetDefaultR(KQoxVector4(10.0 * i, 0, -45));
        node->SetDefaultS(KQoxVector4(1, 2 + i, 0.5));
        node->SetVisibility(i % 2 == 0);
        if (i == 1)
        {
            KQoxTakeNode* take = node->CreateTakeNode("Take 001");
            KFCurve* curve = take->GetTranslationX();
            const int k = curve->KeyAdd(KTime(0));
            curve->KeySet(k, KTime(0), 3.0f, KFCURVE_INTERPOLATION_LINEAR);
        }
    }
    KQoxNode* camera = manager.CreateKQoxNode("camera");
    camera->SetNodeAttribute(manager.CreateKQoxCamera());
    root->AddChild(camera);
}

// What reading a file gives, and which children of the root have their
// Default take owed.
struct Outcome : fileiotest::ReadOutcome
{
    std::vector<bool> mPending;
};

Outcome ReadBothWays(const std::string& name, const std::string& again, bool plain, int format)
{
    KQoxRead6::sPlainDefaults = plain;
    Outcome out;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    fileiotest::ImportReporting(manager, scene, name, out);
    KQoxRead6::sPlainDefaults = true;
    if (!out.mRead)
        return out;
    KQoxNode* root = scene.GetRootNode();
    for (int i = 0; i < root->GetChildCount(); ++i)
        out.mPending.push_back(root->GetChild(i)->IsDefaultTakePending());
    if (Export(manager, scene, again, format))
        out.mWritten = ReadFile(again);
    out.mListing = ListScene(manager, scene);
    return out;
}

void ExpectSame(const Outcome& fast, const Outcome& slow)
{
    fileiotest::ExpectSameOutcome(slow, fast);
    EXPECT_EQ(slow.mPending, fast.mPending);
}

// The Defaults block of the named node in an ASCII file.
Block DefaultsOf(const std::string& text, const std::string& node)
{
    return BlockAt(text, text.find("Model::" + node + "\""), "Defaults:");
}

// The channel block that begins with head in block.
Block ChannelIn(const std::string& text, Block block, const std::string& head)
{
    return BlockAt(text, block.first, head, block.second);
}

const char kTranslation[] = "Channel: \"T\" {";
const char kRotation[] = "Channel: \"R\" {";

bool SwapTranslationAndRotation(std::string& text)
{
    const auto block = DefaultsOf(text, "plain2");
    const auto t = ChannelIn(text, block, kTranslation);
    const auto r = ChannelIn(text, block, kRotation);
    SwapBlocks(text, t, r);
    return r.first > t.first;
}

bool OtherValues(std::string& text)
{
    const auto block = DefaultsOf(text, "plain2");
    return ReplaceIn(text, block, "Default: 2.25", "Default: 7.5") &&
           ReplaceIn(text, block, "Default: -45", "Default: 1e+300");
}

bool OtherValuesNoProperty(std::string& text)
{
    if (!OtherValues(text))
        return false;
    const size_t model = text.find("Model::plain2\"");
    const size_t property = text.find("Property: \"Lcl Translation\",\"Vector3D\"", model);
    const size_t end = text.find('\n', property);
    text.erase(property, end + 1 - property);
    const size_t rotation = text.find("Property: \"Lcl Rotation\",\"Vector3D\"", model);
    text.erase(rotation, text.find('\n', rotation) + 1 - rotation);
    return true;
}

bool KeysInDefaults(std::string& text)
{
    return ReplaceIn(text, DefaultsOf(text, "plain1"), "Default: 1.25",
                     "Default: 1.25\nKeyVer: 4004\nKeyCount: 2\nKey: 0,4,L,46186158000,5,L\nColor: 1,0,0");
}

bool ExtraChannels(std::string& text)
{
    return ReplaceIn(text, DefaultsOf(text, "plain2"), "Channel: \"Visibility\" {",
                     "Channel: \"Extra\" {\nDefault: 4\n}\nChannel: \"Visibility\" {") &&
           ReplaceIn(text, DefaultsOf(text, "plain3"), "LayerType: 1", "Channel: \"W\" {\nDefault: 4\n}\nLayerType: 1");
}

bool UserNames(std::string& text)
{
    return ReplaceIn(text, DefaultsOf(text, "plain2"), "Default: 2.25", "UserName: \"X\"\nDefault: 2.25") &&
           ReplaceIn(text, DefaultsOf(text, "plain3"), "Default: 3.25", "UserName: \"Warp\"\nDefault: 3.25");
}

bool LayerFields(std::string& text)
{
    return ReplaceIn(text, DefaultsOf(text, "plain2"), "Default: 2.25", "Default: 2.25\nLayerType: 1") &&
           ReplaceIn(text, DefaultsOf(text, "plain3"), "Default: 3.25", "Default: 3.25\nLayerID: 2") &&
           ReplaceIn(text, DefaultsOf(text, "plain0"), "LayerType: 2", "LayerType: 1");
}

bool VisibilityWithoutLayerType(std::string& text)
{
    const auto block = DefaultsOf(text, "plain2");
    const auto visibility = ChannelIn(text, block, "Channel: \"Visibility\" {");
    return ReplaceIn(text, visibility, "LayerType: 1", "");
}

bool MissingAndDoubledChannels(std::string& text)
{
    const auto block = DefaultsOf(text, "plain2");
    const auto rotation = ChannelIn(text, block, kRotation);
    const auto z = ChannelIn(text, rotation, "Channel: \"Z\" {");
    text.erase(z.first, z.second - z.first);
    const auto again = DefaultsOf(text, "plain3");
    return ReplaceIn(text, again, "Channel: \"Visibility\" {",
                     "Channel: \"Visibility\" {\nDefault: 0\n}\nChannel: \"Visibility\" {");
}

bool EmptyAndValuelessBlocks(std::string& text)
{
    const auto block = DefaultsOf(text, "plain2");
    text.replace(block.first, block.second - block.first, "Defaults: {\n}");
    return ReplaceIn(text, DefaultsOf(text, "plain3"), "Default: 3.25", "Default: ") &&
           ReplaceIn(text, DefaultsOf(text, "plain0"), "Default: 0.25", "Default: \"text\"");
}

bool SectionsAndOddNames(std::string& text)
{
    return ReplaceIn(text, DefaultsOf(text, "plain2"), "Channel: \"T\" {", "Channel: \"t\" {") &&
           ReplaceIn(text, DefaultsOf(text, "plain3"), "Channel: \"Transform\" {", "Channel: \"Transform\", 2 {") &&
           ReplaceIn(text, DefaultsOf(text, "plain0"), "Channel: \"S\" {", "Channel: \"S (Scaling)\" {");
}

bool Unbalanced(std::string& text)
{
    return ReplaceIn(text, DefaultsOf(text, "plain2"), "Default: 2.25\n", "Default: 2.25\n{\n");
}

const TextEdit kVariants[] = {
    {"unchanged", fileiotest::Unchanged},
    {"swapped", SwapTranslationAndRotation},
    {"other values", OtherValues},
    {"other values, no property", OtherValuesNoProperty},
    {"keys", KeysInDefaults},
    {"extra channels", ExtraChannels},
    {"user names", UserNames},
    {"layer fields", LayerFields},
    {"visibility without layer type", VisibilityWithoutLayerType},
    {"missing and doubled", MissingAndDoubledChannels},
    {"empty and valueless", EmptyAndValuelessBlocks},
    {"odd names", SectionsAndOddNames},
    {"unbalanced", Unbalanced},
};

} // namespace

TEST(NativePlainDefaults, EveryShapeReadsAsTheLongWay)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildNodes(manager, scene);
    const std::string name = dir.File("plain.qox");
    ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_ASCII));
    const std::string text = ReadFile(name);
    const std::string edited = dir.File("edited.qox"), again = dir.File("again.qox");
    fileiotest::ForEachEdit(text, kVariants, std::size(kVariants), edited, [&](size_t variant) {
        const Outcome fast = ReadBothWays(edited, again, true, eEXPORT_QOX_ASCII);
        const Outcome slow = ReadBothWays(edited, again, false, eEXPORT_QOX_ASCII);
        ExpectSame(fast, slow);
        if (variant == 0)
        {
            ASSERT_TRUE(fast.mRead);
            EXPECT_EQ((std::vector<bool>{true, true, true, true, false}), fast.mPending);
        }
    });
}

TEST(NativePlainDefaults, OrderOfChannelsChangesNothing)
{
    // The long way matches channels by name: a block in another order reads
    // as the usual one.
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildNodes(manager, scene);
    const std::string name = dir.File("plain.qox"), again = dir.File("again.qox");
    ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_ASCII));
    std::string text = ReadFile(name);
    const Outcome usual = ReadBothWays(name, again, true, eEXPORT_QOX_ASCII);
    ASSERT_TRUE(SwapTranslationAndRotation(text));
    ASSERT_TRUE(WriteFile(name, text));
    const Outcome swapped = ReadBothWays(name, again, true, eEXPORT_QOX_ASCII);
    ExpectSame(usual, swapped);
}

TEST(NativePlainDefaults, ValuesOfTheBlockReachTheTakeAndTheProperties)
{
    // Without the properties in the file, the block's values are what the
    // node's properties and its Default take hold.
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildNodes(manager, scene);
    const std::string name = dir.File("plain.qox");
    ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_ASCII));
    std::string text = ReadFile(name);
    ASSERT_TRUE(OtherValuesNoProperty(text));
    ASSERT_TRUE(WriteFile(name, text));
    KQoxSdkManager readManager;
    KQoxScene read(readManager);
    ASSERT_TRUE(fileiotest::Import(readManager, read, name));
    KQoxNode* node = read.GetRootNode()->FindChild("plain2");
    ASSERT_NE(nullptr, node);
    EXPECT_TRUE(node->IsDefaultTakePending());
    KgeTVector t(0, 0, 0, 1), r(0, 0, 0, 1);
    node->GetProperties()->mLclTranslation->GetData(&t, 0, nullptr, nullptr);
    node->GetProperties()->mLclRotation->GetData(&r, 0, nullptr, nullptr);
    EXPECT_EQ(7.5, t[0]);
    EXPECT_EQ(-5.0, t[1]);
    EXPECT_EQ(static_cast<double>(1e30f), t[2]);
    EXPECT_EQ(20.0, r[0]);
    // The file's 1e300 is kept finite in the curve.
    EXPECT_EQ(static_cast<double>(FLT_MAX), r[2]);
    KQoxTakeNode* take = node->GetDefaultTakeNode();
    ASSERT_NE(nullptr, take);
    EXPECT_EQ(7.5f, take->GetTranslationX()->GetValue());
    EXPECT_EQ(FLT_MAX, take->GetEulerRotationZ()->GetValue());
}

TEST(NativePlainDefaults, DamagedBlocksFailAsTheLongWay)
{
    // Every byte of a node's binary Defaults block changed, and the file cut
    // there: the same outcome, error texts included, both ways.
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildNodes(manager, scene);
    const std::string name = dir.File("plain.qox"), damaged = dir.File("damaged.qox"), again = dir.File("again.qox");
    ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_BINARY));
    const std::string bytes = ReadFile(name);
    const size_t model = bytes.find("Model::plain2");
    const size_t begin = bytes.find("Defaults", model);
    const size_t end = bytes.find("Properties", begin);
    ASSERT_NE(std::string::npos, end);
    int failed = 0;
    fileiotest::ForEachDamage(
        bytes, begin - 13, end, damaged, [](size_t, int) { return true; },
        [&] {
            const Outcome fast = ReadBothWays(damaged, again, true, eEXPORT_QOX_BINARY);
            const Outcome slow = ReadBothWays(damaged, again, false, eEXPORT_QOX_BINARY);
            ExpectSame(fast, slow);
            failed += fast.mRead ? 0 : 1;
        });
    EXPECT_GT(failed, 0);
}
