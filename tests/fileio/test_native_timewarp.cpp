// Time warps on reading a native file: each channel that plays through a
// warp gets the warp baked into its keys at the plot period over the warp's
// span, and keeps no warp. Values worked out by hand: X rises linearly from
// 0 to 10 over the first second and holds after; the warp maps t to 2t up
// to one second (and holds 2 s after), so the read channel at t shows
// min(20 t, 10).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/ktime.h"
#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurveglobal.h"
#include "fcurve/fcurve_test_util.h"
#include "fcurve/kfcurvelayer.h"
#include "fcurve/kfcurvenode.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using fctest::NoWarpLeft;
using fileiotest::Export;
using fileiotest::Import;
using fileiotest::ListScene;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

const long long kSecond = 46186158000LL;
const long long kFrame30 = 1539538600LL; // the default plot period

// Keys of a curve joined by straight lines.
void Linear(KFCurve* curve, std::initializer_list<std::pair<long long, float>> keys)
{
    curve->KeyModifyBegin();
    for (const auto& k : keys)
    {
        const int index = curve->KeyAdd(KTime(k.first));
        curve->KeySet(index, KTime(k.first), k.second, KFCURVE_INTERPOLATION_LINEAR);
    }
    curve->KeyModifyEnd();
}

// A warp node whose one curve maps 0 -> 0 s and last -> value seconds.
KFCurveNode* Warp(long long last, float value)
{
    KFCurveNode* warp = KFCurveNodeCreate("Warp");
    KFCurve* timing = KFCurveCreate();
    Linear(timing, {{0, 0.0f}, {last, value}});
    warp->FCurveSet(timing);
    return warp;
}

// Restores the global curve settings a test changes.
struct GlobalSettings
{
    KTime mPeriod = KFCURVE_GetPlotPeriod();
    bool mReducer = KFCURVE_GetUseConstantKeyReducer();
    ~GlobalSettings()
    {
        KFCURVE_SetPlotPeriod(mPeriod);
        KFCURVE_SetUseConstantKeyReducer(mReducer);
    }
};

// A node "Ball" whose take "Warped" keys X from 0 to 10 over one second and
// plays through a warp t -> 2t; with an upper layer adding 100 to X.
KQoxNode* BuildBall(KQoxSdkManager& manager, KQoxScene& scene, bool layered, long long warpEnd = kSecond)
{
    KQoxNode* ball = manager.CreateKQoxNode("Ball");
    scene.GetRootNode()->AddChild(ball);
    KQoxTakeNode* take = ball->CreateTakeNode("Warped");
    Linear(take->GetTranslationX(), {{0, 0.0f}, {kSecond, 10.0f}});
    KFCurveNode* t = take->GetKFCurveNode()->FindRecursive("T");
    t->TimeWarpSet(Warp(warpEnd, 2.0f * static_cast<float>(warpEnd / kSecond)));
    if (layered)
    {
        KFCurveNode* layer = t->LayerCreate(1);
        EXPECT_NE(layer, nullptr);
        if (layer)
            layer->Get(0)->FCurveGet()->SetValue(100.0f);
    }
    return ball;
}

// The read take's translation node of the first node.
KFCurveNode* ReadT(KQoxScene& read)
{
    KQoxNode* ball = read.GetRootNode()->GetChild(0);
    for (int t = 0; t < ball->GetTakeNodeCount(); ++t)
        if (std::string(ball->GetTakeNodeName(t)) == "Warped")
            return ball->GetTakeNode(t)->GetKFCurveNode()->FindRecursive("T");
    return nullptr;
}

// Imports name into read; the translation node of its first node, checked to
// keep no time warp (null when the import fails or there is none).
KFCurveNode* ImportMerged(KQoxSdkManager& manager, KQoxScene& read, const std::string& name)
{
    if (!Import(manager, read, name))
        return nullptr;
    KFCurveNode* t = ReadT(read);
    EXPECT_TRUE(t && NoWarpLeft(t));
    return t;
}

double Warped(double seconds)
{
    return std::min(20.0 * seconds, 10.0);
}

} // namespace

TEST(NativeTimeWarp, BakedAtThePlotPeriodInEveryForm)
{
    TempDir dir;
    GlobalSettings settings;
    KFCURVE_SetUseConstantKeyReducer(false);
    for (int format : {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII, eEXPORT_QOX5_BINARY})
    {
        SCOPED_TRACE(format);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        BuildBall(manager, scene, false);
        const std::string name = dir.File("warp.qox");
        ASSERT_TRUE(Export(manager, scene, name, format));
        KQoxScene read(manager);
        KFCurveNode* t = ImportMerged(manager, read, name);
        ASSERT_NE(t, nullptr);
        // The warp's span 0..1 s at 1/30 s: 0, 1/30, ..., 31/30 s (the first
        // sample past the stop ends the plot).
        KFCurve* x = t->Get(0)->FCurveGet();
        ASSERT_EQ(x->KeyGetCount(), 32);
        for (int k = 0; k < 32; ++k)
        {
            EXPECT_EQ(x->KeyGetTime(k).Get(), k * kFrame30);
            EXPECT_NEAR(x->KeyGetValue(k), Warped(k / 30.0), 1e-5) << k;
            EXPECT_NEAR(x->Evaluate(KTime(k * kFrame30)), Warped(k / 30.0), 1e-5) << k;
        }
        // Y and Z were plotted too: flat at their value.
        EXPECT_EQ(t->Get(1)->FCurveGet()->KeyGetCount(), 32);
        EXPECT_EQ(t->Get(1)->FCurveGet()->KeyGetValue(20), 0.0f);
        // The caller's scene keeps its warp.
        KQoxTakeNode* own = scene.GetRootNode()->GetChild(0)->GetTakeNode(1);
        EXPECT_NE(own->GetKFCurveNode()->FindRecursive("T")->TimeWarpGet(), nullptr);
        // The read's time-warp set is gone with the read.
        EXPECT_EQ(KFCurve_FindTWFromNickNumber(1), nullptr);
    }
}

TEST(NativeTimeWarp, PlotPeriodAndConstantKeyReducer)
{
    TempDir dir;
    GlobalSettings settings;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildBall(manager, scene, false);
    const std::string name = dir.File("warp.qox");
    ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_BINARY));

    // A tenth of a second: 0, 0.1, ..., 1.1 s; X at k/10 s is min(2k, 10).
    KFCURVE_SetUseConstantKeyReducer(false);
    KFCURVE_SetPlotPeriod(KTime(kSecond / 10));
    KQoxScene tenths(manager);
    ASSERT_TRUE(Import(manager, tenths, name));
    KFCurve* x = ReadT(tenths)->Get(0)->FCurveGet();
    ASSERT_EQ(x->KeyGetCount(), 12);
    for (int k = 0; k < 12; ++k)
    {
        EXPECT_EQ(x->KeyGetTime(k).Get(), k * (kSecond / 10));
        EXPECT_NEAR(x->KeyGetValue(k), std::min(2.0 * k, 10.0), 1e-5) << k;
    }

    // With the reducer on, the held stretch after 0.5 s loses its inner
    // keys; the samples still show the warped values.
    KFCURVE_SetPlotPeriod(KTime(kFrame30));
    KFCURVE_SetUseConstantKeyReducer(true);
    KQoxScene reduced(manager);
    ASSERT_TRUE(Import(manager, reduced, name));
    KFCurve* r = ReadT(reduced)->Get(0)->FCurveGet();
    EXPECT_LT(r->KeyGetCount(), 32);
    EXPECT_GE(r->KeyGetCount(), 16); // the rising stretch keeps every key
    for (int k = 0; k < 32; ++k)
        EXPECT_NEAR(r->Evaluate(KTime(k * kFrame30)), Warped(k / 30.0), 1e-4) << k;
    // Y held at 0 throughout: one key at most.
    EXPECT_LE(ReadT(reduced)->Get(1)->FCurveGet()->KeyGetCount(), 1);
    EXPECT_EQ(ReadT(reduced)->Get(1)->FCurveGet()->Evaluate(KTime(kSecond / 2)), 0.0f);
}

// A layered channel: the layers combined through the warp land in the base
// layer, and the layer above goes (it would otherwise count twice).
TEST(NativeTimeWarp, LayeredChannelMergedIntoItsBase)
{
    TempDir dir;
    GlobalSettings settings;
    KFCURVE_SetUseConstantKeyReducer(false);
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildBall(manager, scene, true);
    KFCurveNode* own = scene.GetRootNode()->GetChild(0)->GetTakeNode(1)->GetKFCurveNode()->FindRecursive("T");
    ASSERT_NE(own->LayerGet(), nullptr);
    const std::string name = dir.File("layered.qox");
    ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_BINARY));
    KQoxScene read(manager);
    KFCurveNode* t = ImportMerged(manager, read, name);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->LayerGet(), nullptr);
    KFCurve* x = t->Get(0)->FCurveGet();
    ASSERT_EQ(x->KeyGetCount(), 32);
    double before[8], after[8];
    for (int k = 0; k < 32; ++k)
    {
        EXPECT_NEAR(x->KeyGetValue(k), Warped(k / 30.0) + 100.0, 1e-4) << k;
        // The read channel shows what the written one showed through its warp and layer.
        own->GeneralEvaluate(before, KTime(k * kFrame30));
        t->GeneralEvaluate(after, KTime(k * kFrame30));
        EXPECT_NEAR(after[0], before[0], 1e-4) << k;
    }
}

// A warp on the node that holds T, R and S, that node given the Euler
// rotation layer type (nine values, not three angles): the read merges the
// warp without writing past three angles, into the curves of the members'
// leaves: X shows min(20 t, 10) at the plot period.
TEST(NativeTimeWarp, RotationLayerTypeOnANodeOfNineValues)
{
    TempDir dir;
    GlobalSettings settings;
    KFCURVE_SetUseConstantKeyReducer(false);
    for (int format : {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII, eEXPORT_QOX5_BINARY})
    {
        SCOPED_TRACE(format);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        KQoxNode* ball = BuildBall(manager, scene, false);
        KFCurveNode* t = ball->GetTakeNode(1)->GetKFCurveNode()->FindRecursive("T");
        KFCurveNode* trs = t->GetParent();
        ASSERT_NE(trs, nullptr);
        ASSERT_EQ(trs->GetCount(), 3);
        trs->TimeWarpSet(t->TimeWarpGet());
        t->TimeWarpSet(nullptr);
        trs->SetLayerType(KFCL_EULER_XYZ, nullptr);
        ASSERT_EQ(trs->GetValueCount(), 9);
        const std::string name = dir.File("trs.qox");
        ASSERT_TRUE(Export(manager, scene, name, format));
        if (format == eEXPORT_QOX_ASCII)
        {
            ASSERT_NE(ReadFile(name).find("LayerType: 2"), std::string::npos);
        }
        KQoxScene read(manager);
        KFCurveNode* readT = ImportMerged(manager, read, name);
        ASSERT_NE(readT, nullptr);
        ASSERT_TRUE(NoWarpLeft(readT->GetParent()));
        KFCurve* x = readT->Get(0)->FCurveGet();
        ASSERT_EQ(x->KeyGetCount(), 32);
        for (int k = 0; k < 32; ++k)
        {
            EXPECT_EQ(x->KeyGetTime(k).Get(), k * kFrame30);
            EXPECT_NEAR(x->KeyGetValue(k), Warped(k / 30.0), 1e-5) << k;
        }
    }
}

// An upper layer with far more members than its base (forty channels beside
// X, Y and Z, as a file may hold): the warp is baked over the base's members
// alone, X showing min(20 t, 10) plus the layer's 100.
TEST(NativeTimeWarp, LayerOfMoreMembersThanItsBase)
{
    TempDir dir;
    GlobalSettings settings;
    KFCURVE_SetUseConstantKeyReducer(false);
    for (int format : {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII})
    {
        SCOPED_TRACE(format);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        KQoxNode* ball = BuildBall(manager, scene, true);
        KFCurveNode* layer = ball->GetTakeNode(1)->GetKFCurveNode()->FindRecursive("T")->LayerGet();
        ASSERT_NE(layer, nullptr);
        for (int k = 0; k < 40; ++k)
        {
            KFCurveNode* extra = KFCurveNodeCreate(("Q" + std::to_string(k)).c_str());
            extra->FCurveSet(KFCurveCreate());
            extra->FCurveGet()->SetValue(1.0f);
            layer->Add(extra);
        }
        const std::string name = dir.File("wide.qox");
        ASSERT_TRUE(Export(manager, scene, name, format));
        KQoxScene read(manager);
        KFCurveNode* t = ImportMerged(manager, read, name);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->LayerGet(), nullptr);
        KFCurve* x = t->Get(0)->FCurveGet();
        ASSERT_EQ(x->KeyGetCount(), 32);
        for (int k = 0; k < 32; ++k)
            EXPECT_NEAR(x->KeyGetValue(k), Warped(k / 30.0) + 100.0, 1e-4) << k;
    }
}

// TimeWarpID naming no warp, or a warp too long to bake within the read's
// budget: read without harm, the keys as written.
TEST(NativeTimeWarp, UnknownNumbersAndOverlongWarps)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildBall(manager, scene, false);
    const std::string name = dir.File("unknown.qox");
    ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_ASCII));
    const std::string text = ReadFile(name);
    ASSERT_NE(text.find("TimeWarpID: 1"), std::string::npos);
    for (const char* number : {"7", "0", "-2147483648", "2147483647"})
    {
        SCOPED_TRACE(number);
        std::string changed = text;
        changed.replace(changed.find("TimeWarpID: 1"), 13, std::string("TimeWarpID: ") + number);
        ASSERT_TRUE(WriteFile(name, changed));
        KQoxScene read(manager);
        KFCurveNode* t = ImportMerged(manager, read, name);
        ASSERT_NE(t, nullptr);
        KFCurve* x = t->Get(0)->FCurveGet();
        ASSERT_EQ(x->KeyGetCount(), 2);
        EXPECT_EQ(x->KeyGetValue(1), 10.0f);
    }

    // A warp over a million seconds (30 million samples) stays attached:
    // the channel still plays through it.
    KQoxSdkManager other;
    KQoxScene longScene(other);
    BuildBall(other, longScene, false, 1000000 * kSecond);
    const std::string longName = dir.File("long.qox");
    ASSERT_TRUE(Export(other, longScene, longName, eEXPORT_QOX_BINARY));
    KQoxScene read(other);
    ASSERT_TRUE(Import(other, read, longName));
    KFCurveNode* t = ReadT(read);
    ASSERT_NE(t, nullptr);
    ASSERT_NE(t->TimeWarpGet(), nullptr);
    EXPECT_EQ(t->Get(0)->FCurveGet()->KeyGetCount(), 2);
    double values[8];
    t->GeneralEvaluate(values, KTime(kSecond / 4));
    EXPECT_NEAR(values[0], 5.0, 1e-4);
}

// Two managers, each used by a thread of its own, write and read scenes with
// warps at the same time: every file and every scene read is the one the same
// write or read gives alone (a read or write never sees the other's warps).
TEST(NativeTimeWarp, ManagersOnTwoThreadsKeepTheirWarps)
{
    TempDir dir;
    const int kFormats[2] = {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII};
    // What one write and one read give alone, per format.
    std::string files[2], listings[2];
    for (int f = 0; f < 2; ++f)
    {
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        BuildBall(manager, scene, f == 1);
        const std::string name = dir.File("alone" + std::to_string(f) + ".qox");
        ASSERT_TRUE(Export(manager, scene, name, kFormats[f]));
        files[f] = ReadFile(name);
        KQoxScene read(manager);
        ASSERT_NE(ImportMerged(manager, read, name), nullptr);
        listings[f] = ListScene(manager, read);
        ASSERT_GT(ReadT(read)->Get(0)->FCurveGet()->KeyGetCount(), 2); // baked
    }
    std::atomic<int> differentWrites{0}, differentReads{0};
    auto run = [&](int f) {
        const std::string name = dir.File("thread" + std::to_string(f) + ".qox");
        for (int round = 0; round < 150; ++round)
        {
            KQoxSdkManager manager;
            KQoxScene scene(manager);
            BuildBall(manager, scene, f == 1);
            if (!Export(manager, scene, name, kFormats[f]) || ReadFile(name) != files[f])
                ++differentWrites;
            KQoxScene read(manager);
            if (!Import(manager, read, name) || ListScene(manager, read) != listings[f])
                ++differentReads;
        }
    };
    std::thread other(run, 1);
    run(0);
    other.join();
    EXPECT_EQ(differentWrites.load(), 0);
    EXPECT_EQ(differentReads.load(), 0);
}

namespace {

// A channel's three members on reading a warped take: one keyed from `from`
// at 0 s to `to` at 1 s, one static (a curve without keys), one without a
// curve. Every curve's default value is `value`.
struct Members
{
    const char* name;
    double value;
    int animated, stat, none; // member indices
    double from, to;
    float objectValue; // the object's own value of the member
};

const Members kChannels[] = {
    {"T", 5, 0, 2, 1, 0, 10, 0},
    {"R", 30, 1, 0, 2, 0, 60, 0},
    {"S", 2, 2, 1, 0, 1, 3, 1},
};

void SetUpMembers(KFCurveNode* channel, const Members& m)
{
    ASSERT_EQ(channel->GetCount(), 3);
    channel->Get(m.none)->FCurveSet(nullptr, true);
    for (int i : {m.stat, m.animated})
    {
        KFCurve* curve = channel->Get(i)->FCurveGet();
        ASSERT_NE(curve, nullptr);
        curve->KeyClear();
        curve->SetValue(static_cast<float>(m.value));
    }
    Linear(channel->Get(m.animated)->FCurveGet(),
           {{0, static_cast<float>(m.from)}, {kSecond, static_cast<float>(m.to)}});
}

} // namespace

// A warp on a take read back is baked without changing what a member without
// keys shows: T, R and S each with a keyed member, a static one holding a
// value that is not neutral (translation 5, rotation 30, scaling 2) and one
// without a curve; the warp (t -> 2t over the first second) on each channel,
// or on the node holding all three. Read back, the member without a curve
// shows the object's value, the static one shows its value, the keyed one from + (to - from)
// min(2 t, 1) at t seconds, and both keep their default value.
TEST(NativeTimeWarp, MembersWithoutKeysKeepTheirValues)
{
    TempDir dir;
    GlobalSettings settings;
    KFCURVE_SetUseConstantKeyReducer(false);
    for (bool nested : {false, true})
        for (int format : {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII, eEXPORT_QOX5_BINARY})
        {
            SCOPED_TRACE(nested ? "warp on the node of T, R and S" : "warp on each channel");
            SCOPED_TRACE(format);
            KQoxSdkManager manager;
            KQoxScene scene(manager);
            KQoxNode* ball = BuildBall(manager, scene, false);
            KFCurveNode* root = ball->GetTakeNode(1)->GetKFCurveNode();
            KFCurveNode* t = root->FindRecursive("T");
            KFCurveNode* trs = t->GetParent();
            ASSERT_NE(trs, nullptr);
            // The warp is counted by its holders: it is handed on before T
            // lets go of it.
            KFCurveNode* warp = t->TimeWarpGet();
            if (nested)
                trs->TimeWarpSet(warp);
            for (const Members& m : kChannels)
            {
                KFCurveNode* channel = root->FindRecursive(m.name);
                ASSERT_NE(channel, nullptr);
                SetUpMembers(channel, m);
                channel->TimeWarpSet(nested ? nullptr : warp);
            }
            const std::string name = dir.File("members.qox");
            ASSERT_TRUE(Export(manager, scene, name, format));
            KQoxScene read(manager);
            KFCurveNode* readT = ImportMerged(manager, read, name);
            ASSERT_NE(readT, nullptr);
            ASSERT_TRUE(NoWarpLeft(readT->GetParent()));
            for (const Members& m : kChannels)
            {
                SCOPED_TRACE(m.name);
                KFCurveNode* channel = readT->GetParent()->FindRecursive(m.name);
                ASSERT_NE(channel, nullptr);
                ASSERT_EQ(channel->GetCount(), 3);
                // The reader gives a member the file holds no curve for a
                // static one of the object's value (T and R 0, S 1); the
                // merge keeps it showing that value.
                if (KFCurve* none = channel->Get(m.none)->FCurveGet())
                {
                    for (int k = 0; k <= 40; ++k)
                        EXPECT_EQ(none->Evaluate(KTime(k * kFrame30)), m.objectValue) << k;
                }
                KFCurve* stat = channel->Get(m.stat)->FCurveGet();
                KFCurve* animated = channel->Get(m.animated)->FCurveGet();
                ASSERT_NE(stat, nullptr);
                ASSERT_NE(animated, nullptr);
                EXPECT_EQ(stat->GetValue(), static_cast<float>(m.value));
                EXPECT_EQ(animated->GetValue(), static_cast<float>(m.value));
                for (int k = 0; k <= 40; ++k)
                {
                    const double seconds = k / 30.0;
                    EXPECT_NEAR(stat->Evaluate(KTime(k * kFrame30)), m.value, 1e-4) << k;
                    EXPECT_NEAR(animated->Evaluate(KTime(k * kFrame30)),
                                m.from + (m.to - m.from) * std::min(2 * seconds, 1.0), 1e-3)
                        << k;
                }
            }
        }
}
