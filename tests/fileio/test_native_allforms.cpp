// What a scene holds comes back from every native form (binary, ASCII and
// encrypted version 6; binary and ASCII version 5): pivot states, takes with
// or without descriptions, every object kind, and what the file does not
// store is named in the exporter's message.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakeinfo.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using fileiotest::ListScene;
using qoxtest::ReadFile;
using qoxtest::TempDir;

namespace {

struct Form
{
    int mExport;
    const char* mPassword;
    int mDigits;     // ASCII keeps 15 significant digits of a double
    bool mSameBytes; // rewriting gives the same bytes (encrypted: a new salt)
} const kAllForms[] = {{eEXPORT_QOX_BINARY, "", 17, true},
                       {eEXPORT_QOX_ASCII, "", 15, true},
                       {eEXPORT_QOX_ENCRYPTED, "secret", 17, false},
                       {eEXPORT_QOX5_BINARY, "", 17, true},
                       {eEXPORT_QOX5_ASCII, "", 15, true}};

bool Export(KQoxSdkManager& manager, KQoxScene& scene, const std::string& name, const Form& form,
            KString* message = nullptr)
{
    KQoxExporter exporter(manager);
    EXPECT_TRUE(exporter.Initialize(name.c_str()));
    EXPECT_TRUE(exporter.SetFileFormat(form.mExport));
    exporter.SetPassword(form.mPassword);
    bool ok = exporter.Export(scene);
    EXPECT_TRUE(ok) << exporter.GetLastErrorString();
    if (message)
        exporter.GetMessage(*message);
    return ok;
}

bool Import(KQoxSdkManager& manager, KQoxScene& scene, const std::string& name, const Form& form)
{
    KQoxImporter importer(manager);
    importer.SetPassword(form.mPassword);
    bool ok = importer.Initialize(name.c_str()) && importer.Import(scene);
    EXPECT_TRUE(ok) << importer.GetLastErrorString();
    return ok;
}

// The two listings agree; else the first lines that differ.
void ExpectSameListing(const std::string& read, const std::string& original)
{
    if (read == original)
        return;
    std::istringstream a(read), b(original);
    std::string lineA, lineB, differences;
    int shown = 0;
    for (int line = 1; shown < 6 && (a || b); ++line)
    {
        std::getline(a, lineA);
        std::getline(b, lineB);
        if (lineA != lineB)
        {
            differences += "line " + std::to_string(line) + "\n  read:     " + lineA + "\n  original: " + lineB + "\n";
            ++shown;
        }
        lineA.clear();
        lineB.clear();
    }
    ADD_FAILURE() << differences;
}

// Writes the scene, reads it into a new scene, compares the listings, and
// (unencrypted) writes what was read again: the same bytes.
void RoundTrip(KQoxSdkManager& manager, KQoxScene& original, const Form& form, const TempDir& dir, KQoxScene& read)
{
    std::string first = dir.File("first.qox"), second = dir.File("second.qox");
    ASSERT_TRUE(Export(manager, original, first, form));
    ASSERT_TRUE(Import(manager, read, first, form));
    ExpectSameListing(ListScene(manager, read, form.mDigits), ListScene(manager, original, form.mDigits));
    if (!form.mSameBytes)
        return;
    ASSERT_TRUE(Export(manager, read, second, form));
    EXPECT_EQ(ReadFile(first), ReadFile(second));
}

EPivotState SourceState(KQoxNode* node)
{
    EPivotState state;
    node->GetPivotState(eSOURCE_SET, state);
    return state;
}

void KeyTranslationX(KQoxTakeNode* take, float value)
{
    KFCurve* curve = take->GetTranslationX();
    curve->KeyModifyBegin();
    curve->KeySet(curve->KeyAdd(KTime(0)), KTime(0), 0.0f, KFCURVE_INTERPOLATION_LINEAR, 0u);
    curve->KeySet(curve->KeyAdd(KTime(46186158000LL)), KTime(46186158000LL), value, KFCURVE_INTERPOLATION_LINEAR, 0u);
    curve->KeyModifyEnd();
}

} // namespace

// A source pivot set that is active with every pivot neutral reads back
// active (the properties alone would say reference); a set with pivots kept
// for reference stays so. Takes made on nodes without any description, or
// by the scene alone, come back with their keys.
TEST(NativeAllForms, PivotStatesAndUndescribedTakes)
{
    TempDir dir;
    for (const Form& form : kAllForms)
    {
        SCOPED_TRACE(form.mExport);
        KQoxSdkManager manager;
        KQoxScene original(manager);
        KQoxNode* neutral = manager.CreateKQoxNode("NeutralActive");
        KQoxNode* kept = manager.CreateKQoxNode("KeptForReference");
        KQoxNode* plain = manager.CreateKQoxNode("Plain");
        for (KQoxNode* node : {neutral, kept, plain})
            original.GetRootNode()->AddChild(node);
        neutral->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
        kept->SetRotationPivot(eSOURCE_SET, KQoxVector4(1, 2, 3));
        kept->SetPivotState(eSOURCE_SET, ePIVOT_STATE_REFERENCE);
        KeyTranslationX(neutral->CreateTakeNode("Walk"), 5);
        KeyTranslationX(kept->CreateTakeNode("Walk"), -2);
        ASSERT_TRUE(original.CreateTake("Jump"));
        ASSERT_EQ(original.GetTakeInfoCount(), 0);

        KQoxScene read(manager);
        RoundTrip(manager, original, form, dir, read);
        ASSERT_EQ(read.GetRootNode()->GetChildCount(), 3);
        EXPECT_EQ(SourceState(read.GetRootNode()->GetChild(0)), ePIVOT_STATE_ACTIVE);
        EXPECT_EQ(SourceState(read.GetRootNode()->GetChild(1)), ePIVOT_STATE_REFERENCE);
        EXPECT_EQ(SourceState(read.GetRootNode()->GetChild(2)), ePIVOT_STATE_REFERENCE);
        KQoxNode* node = read.GetRootNode()->GetChild(0);
        ASSERT_EQ(node->GetTakeNodeCount(), 3);
        EXPECT_STREQ(node->GetTakeNodeName(1), "Walk");
        EXPECT_STREQ(node->GetTakeNodeName(2), "Jump");
        EXPECT_EQ(node->GetTakeNode(1)->GetTranslationX()->KeyGetCount(), 2);
        EXPECT_EQ(node->GetTakeNode(1)->GetTranslationX()->KeyGetValue(1), 5.0f);
        EXPECT_NE(read.GetTakeInfo(KString("Walk")), nullptr);
        EXPECT_NE(read.GetTakeInfo(KString("Jump")), nullptr);
    }
}
