// A take's channels are read into the channels the node builds for it,
// matched by name: in any order, with channels the node does not build kept
// beside its own and those the file leaves out keeping their built values.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "fileio/kqoxioregistry.h"
#include "fileio/kqoximporter.h"
#include "fileio_test_util.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using fileiotest::BlockAt;
using fileiotest::Export;
using fileiotest::ListScene;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

// One node "walker" at T (1, 2, 3) whose take "Take 001" keys translation X
// (0 s: 3, 1 s: 5, linear) and visibility.
void BuildWalker(KQoxSdkManager& manager, KQoxScene& scene)
{
    KQoxNode* node = manager.CreateKQoxNode("walker");
    scene.GetRootNode()->AddChild(node);
    node->SetDefaultT(KQoxVector4(1, 2, 3));
    KQoxTakeNode* take = node->CreateTakeNode("Take 001");
    KFCurve* curve = take->GetTranslationX();
    int k = curve->KeyAdd(KTime(0));
    curve->KeySet(k, KTime(0), 3.0f, KFCURVE_INTERPOLATION_LINEAR);
    KTime second;
    second.SetSecondDouble(1.0);
    k = curve->KeyAdd(second);
    curve->KeySet(k, second, 5.0f, KFCURVE_INTERPOLATION_LINEAR);
}

std::string WalkerFile(const std::string& dir)
{
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildWalker(manager, scene);
    const std::string name = dir + "/walker.qox";
    EXPECT_TRUE(Export(manager, scene, name, eEXPORT_QOX_ASCII));
    return ReadFile(name);
}

size_t AnimationOf(const std::string& text)
{
    return text.find("Model: \"Model::walker\",0 {");
}

// What reading a text gives: whether it was read, the scene listed, the
// file written again, and the walker's take channels.
struct Outcome
{
    bool mRead = false;
    std::string mListing;
    std::string mWritten;
    std::string mChannels;
};

std::string Describe(KFCurveNode* node, const std::string& indent)
{
    std::string out = indent + node->GetName();
    if (KFCurve* curve = node->FCurveGet())
    {
        out += " = " + std::to_string(curve->GetValue());
        for (int k = 0; k < curve->KeyGetCount(); ++k)
            out += " [" + std::to_string(curve->KeyGetTime(k).GetSecondDouble()) + " " +
                   std::to_string(curve->KeyGetValue(k)) + "]";
    }
    out += "\n";
    for (int i = 0; i < node->GetCount(); ++i)
        out += Describe(node->Get(i), indent + "  ");
    return out;
}

Outcome ReadText(const TempDir& dir, const std::string& text)
{
    Outcome out;
    const std::string name = dir.File("edited.qox");
    EXPECT_TRUE(WriteFile(name, text));
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    {
        KQoxImporter importer(manager);
        out.mRead = importer.Initialize(name.c_str()) && importer.Import(scene);
    }
    if (!out.mRead)
        return out;
    KQoxNode* walker = scene.GetRootNode()->GetChildCount() > 0 ? scene.GetRootNode()->GetChild(0) : nullptr;
    if (!walker)
        return out;
    for (int t = 0; t < walker->GetTakeNodeCount(); ++t)
        if (std::string(walker->GetTakeNodeName(t)) == "Take 001")
            out.mChannels = Describe(walker->GetTakeNode(t)->GetKFCurveNode(), "");
    out.mListing = ListScene(manager, scene);
    const std::string again = dir.File("again.qox");
    if (Export(manager, scene, again, eEXPORT_QOX_ASCII))
        out.mWritten = ReadFile(again);
    return out;
}

const char kUsual[] = "Defaults\n"
                      "  Transform\n"
                      "    T\n"
                      "      X = 1.000000 [0.000000 3.000000] [1.000000 5.000000]\n"
                      "      Y = 2.000000\n"
                      "      Z = 3.000000\n"
                      "    R\n"
                      "      X = 0.000000\n"
                      "      Y = 0.000000\n"
                      "      Z = 0.000000\n"
                      "    S\n"
                      "      X = 1.000000\n"
                      "      Y = 1.000000\n"
                      "      Z = 1.000000\n"
                      "  Visibility = 1.000000\n";

TEST(NativeTakeChannels, UsualShapeReadsIntoTheBuiltChannels)
{
    TempDir dir;
    const std::string text = WalkerFile(dir.Path());
    const Outcome out = ReadText(dir, text);
    ASSERT_TRUE(out.mRead);
    EXPECT_EQ(kUsual, out.mChannels);
    EXPECT_EQ(text, out.mWritten);
}

TEST(NativeTakeChannels, OrderOfTheFileChangesNothing)
{
    TempDir dir;
    const std::string text = WalkerFile(dir.Path());
    const Outcome usual = ReadText(dir, text);
    // "R" before "T", and "Z" before "X" in "T".
    std::string edited = text;
    const size_t model = AnimationOf(edited);
    const auto t = BlockAt(edited, model, "Channel: \"T\" {");
    const auto r = BlockAt(edited, model, "Channel: \"R\" {");
    fileiotest::SwapBlocks(edited, t, r);
    const auto t2 = BlockAt(edited, model, "Channel: \"T\" {");
    const auto x = BlockAt(edited, t2.first, "Channel: \"X\" {");
    const auto z = BlockAt(edited, t2.first, "Channel: \"Z\" {");
    fileiotest::SwapBlocks(edited, x, z);
    ASSERT_NE(text, edited);
    const Outcome out = ReadText(dir, edited);
    ASSERT_TRUE(out.mRead);
    EXPECT_EQ(kUsual, out.mChannels);
    EXPECT_EQ(usual.mListing, out.mListing);
    EXPECT_EQ(text, out.mWritten);
}

TEST(NativeTakeChannels, ChannelsLeftOutKeepTheirBuiltValues)
{
    TempDir dir;
    const std::string text = WalkerFile(dir.Path());
    std::string edited = text;
    const size_t model = AnimationOf(edited);
    const auto visibility = BlockAt(edited, model, "Channel: \"Visibility\" {");
    edited.erase(visibility.first, visibility.second - visibility.first);
    const auto s = BlockAt(edited, model, "Channel: \"S\" {");
    edited.erase(s.first, s.second - s.first);
    const Outcome out = ReadText(dir, edited);
    ASSERT_TRUE(out.mRead);
    EXPECT_EQ(kUsual, out.mChannels);
    EXPECT_EQ(text, out.mWritten);
}

TEST(NativeTakeChannels, ValuesOfTheFileReplaceTheBuiltOnes)
{
    TempDir dir;
    const std::string text = WalkerFile(dir.Path());
    std::string edited = text;
    const size_t model = AnimationOf(edited);
    const auto t = BlockAt(edited, model, "Channel: \"T\" {");
    const size_t y = edited.find("Default: 2", t.first);
    ASSERT_LT(y, t.second);
    edited.replace(y, 10, "Default: -7.5");
    const Outcome out = ReadText(dir, edited);
    ASSERT_TRUE(out.mRead);
    std::string expected = kUsual;
    expected.replace(expected.find("Y = 2.000000"), 12, "Y = -7.500000");
    EXPECT_EQ(expected, out.mChannels);
}

TEST(NativeTakeChannels, ChannelsTheNodeDoesNotBuildAreKeptBesideItsOwn)
{
    TempDir dir;
    const std::string text = WalkerFile(dir.Path());
    std::string edited = text;
    const size_t model = AnimationOf(edited);
    // Under a channel without a curve ("Transform", "T"): kept after the
    // built ones; under a curve's channel ("Visibility"): dropped.
    const auto s = BlockAt(edited, model, "Channel: \"S\" {");
    edited.insert(s.second, "\nChannel: \"Extra\" {\nDefault: 4.5\n}\n");
    const auto x = BlockAt(edited, model, "Channel: \"X\" {");
    edited.insert(x.second, "\nChannel: \"W\" {\nDefault: 6\n}\n");
    const auto visibility = BlockAt(edited, model, "Channel: \"Visibility\" {");
    edited.insert(visibility.second - 1, "Channel: \"Dropped\" {\nDefault: 8\n}\n");
    const Outcome out = ReadText(dir, edited);
    ASSERT_TRUE(out.mRead);
    std::string expected = kUsual;
    expected.insert(expected.find("    R\n"), "      W = 6.000000\n");
    expected.insert(expected.find("  Visibility"), "    Extra = 4.500000\n");
    EXPECT_EQ(expected, out.mChannels);
}

} // namespace
