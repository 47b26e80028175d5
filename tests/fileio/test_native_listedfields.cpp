// Channels and curves are read asking only for the fields their lists hold,
// found by one pass over each list. Read the long way too (every field asked
// for), every file gives the same scene, channel for channel, the same file
// written again and the same errors: usual takes, odd ones and damaged ones.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurve_internal.h"
#include "fcurve/kfcurvenode.h"
#include "fileio/kqoxioregistry.h"
#include "fileio/kqoximporter.h"
#include "fileio_test_util.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using fileiotest::BlockAt;
using fileiotest::Export;
using fileiotest::ListKeys;
using fileiotest::ListScene;
using fileiotest::Number;
using fileiotest::ReplaceIn;
using fileiotest::SwapBlocks;
using fileiotest::TextEdit;
using kfcurve_detail::ListFields;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

// Nodes with a take of their own: one curve keyed, several keyed (NaN and
// the largest values among them, extrapolations set), a camera (its
// attribute adds channels), and a node whose take plays through a time warp.
void BuildNodes(KQoxSdkManager& manager, KQoxScene& scene)
{
    KQoxNode* root = scene.GetRootNode();
    for (int i = 0; i < 4; ++i)
    {
        KQoxNode* node = manager.CreateKQoxNode(("n" + std::to_string(i)).c_str());
        root->AddChild(node);
        node->SetDefaultT(KQoxVector4(i + 0.5, -1.0 * i, 2));
        KQoxTakeNode* take = node->CreateTakeNode("Take 001");
        std::vector<KFCurve*> curves = {take->GetTranslationX()};
        if (i == 1)
            curves = {take->GetTranslationY(), take->GetEulerRotationZ(), take->GetScaleX()};
        for (size_t c = 0; c < curves.size(); ++c)
        {
            KFCurve* curve = curves[c];
            curve->KeyModifyBegin();
            for (int k = 0; k < 3 + static_cast<int>(c); ++k)
            {
                const int index = curve->KeyAdd(KTime(static_cast<long long>(k + 1) * 1539538600LL));
                float value = static_cast<float>(k * (i + 1));
                if (i == 1 && k == 1)
                    value = c == 0 ? std::numeric_limits<float>::quiet_NaN() : (c == 1 ? FLT_MAX : -FLT_MAX);
                curve->KeySet(index, KTime(static_cast<long long>(k + 1) * 1539538600LL), value,
                              k % 2 ? KFCURVE_INTERPOLATION_LINEAR : KFCURVE_INTERPOLATION_CUBIC,
                              KFCURVE_TANGEANT_USER, 0.25f * k, -0.5f * k);
            }
            curve->KeyModifyEnd();
        }
        if (i == 1)
        {
            take->GetTranslationY()->SetPreExtrapolation(KFCURVE_EXTRAPOLATION_REPETITION);
            take->GetTranslationY()->SetPostExtrapolationCount(3);
        }
        if (i == 2)
        {
            KFCurveNode* warp = KFCurveNodeCreate("Warp");
            KFCurve* timing = KFCurveCreate();
            timing->KeyModifyBegin();
            timing->KeyAppendFast(KTime(0), 0.0f);
            timing->KeyAppendFast(KTime(46186158000LL), 2.0f);
            timing->KeyModifyEnd();
            warp->FCurveSet(timing);
            take->GetKFCurveNode()->Get(0)->TimeWarpSet(warp);
        }
    }
    KQoxNode* camera = manager.CreateKQoxNode("camera");
    camera->SetNodeAttribute(manager.CreateKQoxCamera());
    root->AddChild(camera);
    KQoxTakeNode* take = camera->CreateTakeNode("Take 001");
    KFCurve* curve = take->GetTranslationZ();
    const int k = curve->KeyAdd(KTime(1539538600LL));
    curve->KeySet(k, KTime(1539538600LL), 4.0f, KFCURVE_INTERPOLATION_CONSTANT);
}

// Everything reading may set in a channel tree, layers and warps included.
void ListChannel(std::ostream& out, KFCurveNode* node, int depth)
{
    out << std::string(static_cast<size_t>(depth) * 2, ' ') << node->GetName() << " (" << node->GetTimeWarpName()
        << ") type " << node->GetTypeName() << " layer " << node->GetLayerID() << "/" << node->GetLayerType()
        << " children " << node->GetCount();
    if (KFCurve* curve = node->FCurveGet())
    {
        const float* color = curve->GetColor();
        out << " value " << Number(curve->GetValue()) << " color " << Number(color[0]) << "," << Number(color[1])
            << "," << Number(color[2]) << " update " << curve->GetUpdateId() << " extrap "
            << curve->GetPreExtrapolation() << "," << curve->GetPreExtrapolationCount() << ","
            << curve->GetPostExtrapolation() << "," << curve->GetPostExtrapolationCount() << " keys";
        ListKeys(out, *curve);
    }
    out << "\n";
    if (KFCurveNode* warp = node->TimeWarpGet())
        ListChannel(out, warp, depth + 2);
    if (KFCurveNode* layer = node->LayerGet())
        ListChannel(out, layer, depth + 2);
    for (int i = 0; i < node->GetCount(); ++i)
        ListChannel(out, node->Get(i), depth + 1);
}

// What reading a file gives, and the take channels of the root's children.
struct Outcome : fileiotest::ReadOutcome
{
    std::string mChannels;
};

Outcome Read(const std::string& name, const std::string& again, bool listed, int format)
{
    ListFields::sSkipAbsent = listed;
    Outcome out;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    fileiotest::ImportReporting(manager, scene, name, out);
    ListFields::sSkipAbsent = true;
    if (!out.mRead)
        return out;
    std::ostringstream channels;
    KQoxNode* root = scene.GetRootNode();
    for (int i = 0; i < root->GetChildCount(); ++i)
    {
        KQoxNode* node = root->GetChild(i);
        for (int t = 0; t < node->GetTakeNodeCount(); ++t)
        {
            channels << node->GetName() << " take " << node->GetTakeNodeName(t) << "\n";
            if (KFCurveNode* channel = node->GetTakeNode(t)->GetKFCurveNode())
                ListChannel(channels, channel, 1);
        }
    }
    out.mChannels = channels.str();
    out.mListing = ListScene(manager, scene);
    if (Export(manager, scene, again, format))
        out.mWritten = ReadFile(again);
    return out;
}

void ExpectSame(const Outcome& listed, const Outcome& asked)
{
    fileiotest::ExpectSameOutcome(asked, listed);
    EXPECT_EQ(asked.mChannels, listed.mChannels);
}

// The animation block of the named node.
fileiotest::Block AnimationOf(const std::string& text, const std::string& node)
{
    return BlockAt(text, text.find("[Animation]"), "Model: \"Model::" + node + "\"");
}

bool Reordered(std::string& text)
{
    const auto block = AnimationOf(text, "n0");
    const auto t = BlockAt(text, block.first, "Channel: \"T\" {");
    const auto s = BlockAt(text, block.first, "Channel: \"S\" {");
    SwapBlocks(text, t, s);
    const auto again = AnimationOf(text, "n3");
    const auto x = BlockAt(text, again.first, "Channel: \"X\" {");
    const auto z = BlockAt(text, x.first, "Channel: \"Z\" {");
    SwapBlocks(text, x, z);
    return s.first > t.first && z.first > x.first;
}

bool ExtraAndMissing(std::string& text)
{
    const auto block = AnimationOf(text, "n0");
    const auto r = BlockAt(text, block.first, "Channel: \"R\" {");
    text.erase(r.first, r.second - r.first);
    return ReplaceIn(text, AnimationOf(text, "n0"), "Channel: \"Visibility\" {",
                     "Channel: \"Extra\" {\nChannel: \"E\" {\nDefault: 4\nColor: 1,1,1\n}\nLayerType: 1\n}\n"
                     "Channel: \"Visibility\" {") &&
           ReplaceIn(text, AnimationOf(text, "n3"), "Channel: \"Y\" {", "Channel: \"W\" {\nDefault: 9\n}\nChannel: \"Y\" {") &&
           ReplaceIn(text, AnimationOf(text, "n3"), "Channel: \"Visibility\" {",
                     "Channel: \"Visibility\" {\nDefault: 0\n}\nChannel: \"Visibility\" {");
}

bool OddFields(std::string& text)
{
    const auto n0 = AnimationOf(text, "n0");
    return ReplaceIn(text, n0, "Channel: \"Y\" {\n", "Channel: \"Y\" {\nUserName: \"Why\"\nTimeWarpID: 7\n") &&
           ReplaceIn(text, AnimationOf(text, "n0"), "Channel: \"Z\" {\n",
                     "Channel: \"Z\" {\nPre-Extrapolation: {\nType: \"R\"\nRepetition: 2\n}\n") &&
           ReplaceIn(text, AnimationOf(text, "n3"), "Channel: \"S\" {\n",
                     "Channel: \"S\" {\nLayerID: 0\nKeyVer: 4005\nKeyCount: 0\nColor: 0.5,0.5,0.5\n") &&
           ReplaceIn(text, AnimationOf(text, "n3"), "Channel: \"Transform\" {\n",
                     "Channel: \"Transform\" {\nDefault: 3\nColor: 1,1,0\n");
}

bool Layers(std::string& text)
{
    const auto n0 = AnimationOf(text, "n0");
    const auto t = BlockAt(text, n0.first, "Channel: \"T\" {");
    const std::string layer = "LayerChannel: \"T\" {\nChannel: \"X\" {\nDefault: 5\nKeyVer: 4004\nKeyCount: 1\n"
                              "Key: 0,4,L\n}\nLayerID: 1\nLayerType: 1\n}\n";
    text.insert(t.second - 1, layer);
    return ReplaceIn(text, AnimationOf(text, "n3"), "LayerType: 2", "LayerType: 4\nLayerID: 2");
}

bool OldKeysAndOddValues(std::string& text)
{
    const auto n0 = AnimationOf(text, "n0");
    const auto y = BlockAt(text, n0.first, "Channel: \"Y\" {");
    return ReplaceIn(text, y, "Default: -0",
                     "Default: nan\nKeyVer: 4004\nKeyCount: 3\nKey: 0,1e+300,L,46186158000,-inf,C,n,"
                     "92372316000,nan,U,s,0,0,n\nPost-Extrapolation: {\nType: \"M\"\nRepetition: 1\n}") &&
           ReplaceIn(text, AnimationOf(text, "n3"), "Default: 1", "Default: -1e+300");
}

bool SectionsAndValueless(std::string& text)
{
    return ReplaceIn(text, AnimationOf(text, "n0"), "Channel: \"Transform\" {", "Channel: \"Transform\", 2 {") &&
           ReplaceIn(text, AnimationOf(text, "n3"), "Default: 0\n", "Default: \n") &&
           ReplaceIn(text, AnimationOf(text, "n3"), "Color: 0,1,0", "Color: \"text\"\nDefault: 8");
}

bool Unbalanced(std::string& text)
{
    return ReplaceIn(text, AnimationOf(text, "n3"), "LayerType: 3\n", "LayerType: 3\n{\n");
}

const TextEdit kVariants[] = {
    {"unchanged", fileiotest::Unchanged},
    {"reordered", Reordered},
    {"extra and missing channels", ExtraAndMissing},
    {"odd fields", OddFields},
    {"layers", Layers},
    {"old keys and odd values", OldKeysAndOddValues},
    {"sections and valueless fields", SectionsAndValueless},
    {"unbalanced", Unbalanced},
};

} // namespace

TEST(NativeListedFields, EveryShapeReadsAsTheLongWay)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildNodes(manager, scene);
    const std::string name = dir.File("takes.qox");
    ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_ASCII));
    const std::string text = ReadFile(name);
    ASSERT_NE(std::string::npos, text.find("TimeWarpID"));
    const std::string edited = dir.File("edited.qox"), again = dir.File("again.qox");
    fileiotest::ForEachEdit(text, kVariants, std::size(kVariants), edited, [&](size_t variant) {
        const Outcome listed = Read(edited, again, true, eEXPORT_QOX_ASCII);
        const Outcome asked = Read(edited, again, false, eEXPORT_QOX_ASCII);
        ExpectSame(listed, asked);
        if (variant == 0)
        {
            ASSERT_TRUE(listed.mRead);
        }
    });
}

TEST(NativeListedFields, EveryFormReadsAsTheLongWay)
{
    // The scene of the file tests, every kind of key and object in it, in
    // every native form.
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    fileiotest::BuildScene(manager, scene, "");
    fileiotest::AddEveryKind(manager, scene, true);
    BuildNodes(manager, scene);
    const std::string name = dir.File("every.qox"), again = dir.File("again.qox");
    for (int format : {eEXPORT_QOX_ASCII, eEXPORT_QOX_BINARY})
    {
        SCOPED_TRACE(format);
        ASSERT_TRUE(Export(manager, scene, name, format));
        const Outcome listed = Read(name, again, true, format);
        ASSERT_TRUE(listed.mRead);
        ExpectSame(listed, Read(name, again, false, format));
    }
}

TEST(NativeListedFields, DamagedTakesFailAsTheLongWay)
{
    // Every byte of a node's binary animation block changed, and the file
    // cut there: the same outcome, error texts included, both ways.
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildNodes(manager, scene);
    const std::string name = dir.File("takes.qox"), damaged = dir.File("damaged.qox"), again = dir.File("again.qox");
    ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_BINARY));
    const std::string bytes = ReadFile(name);
    const size_t begin = bytes.find("Model::n0", bytes.find("Animation"));
    const size_t end = bytes.find("Model::n1", begin);
    ASSERT_NE(std::string::npos, end);
    int failed = 0;
    fileiotest::ForEachDamage(
        bytes, begin, end, damaged,
        [](size_t at, int kind) {
            // Every byte flipped; added to and cut at fewer, to keep the
            // case short.
            return !((kind == 1 && at % 3 != 0) || (kind == 2 && at % 8 != 0));
        },
        [&] {
            const Outcome listed = Read(damaged, again, true, eEXPORT_QOX_BINARY);
            const Outcome asked = Read(damaged, again, false, eEXPORT_QOX_BINARY);
            ExpectSame(listed, asked);
            failed += listed.mRead ? 0 : 1;
        });
    EXPECT_GT(failed, 0);
}
