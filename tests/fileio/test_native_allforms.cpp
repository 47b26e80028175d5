// What a scene holds comes back from every native form (binary, ASCII and
// encrypted version 6; binary and ASCII version 5): pivot states, takes with
// or without descriptions, every object kind, and what the file does not
// store is named in the exporter's message.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "character/kqoxcharacter.h"
#include "character/kqoxcharacterpose.h"
#include "character/kqoxcontrolsetplug.h"
#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "scene/attributes/kqoxcameraswitcher.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxpatch.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakeinfo.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxuserproperty.h"

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
            // Where they part, with a little before.
            size_t at = 0;
            while (at < lineA.size() && at < lineB.size() && lineA[at] == lineB[at])
                ++at;
            size_t from = at > 60 ? at - 60 : 0;
            differences += "line " + std::to_string(line) + " column " + std::to_string(at) +
                           "\n  read:     " + lineA.substr(from, 160) + "\n  original: " + lineB.substr(from, 160) +
                           "\n";
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
    // The reader bakes the time warps into the channels that use them.
    fileiotest::MergeTimeWarps(manager, original);
    ExpectSameListing(ListScene(manager, read, form.mDigits), ListScene(manager, original, form.mDigits));
    if (!form.mSameBytes)
        return;
    ASSERT_TRUE(Export(manager, original, first, form));
    ASSERT_TRUE(Export(manager, read, second, form));
    const std::string bytes = ReadFile(first), again = ReadFile(second);
    EXPECT_TRUE(bytes == again) << "rewritten: " << bytes.size() << " and " << again.size() << " bytes";
}

// Replaces the rest of the line after the last (or first) occurrence of key.
std::string EditLine(std::string text, const std::string& key, const std::string& rest, bool last)
{
    size_t at = last ? text.rfind(key) : text.find(key);
    if (at == std::string::npos)
        return text;
    at += key.size();
    return text.replace(at, text.find('\n', at) - at, rest);
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

namespace {

// A 3 x 2 NURBS surface (periodic in U, open in V) with weights, knots and
// multiplicities, a link and a shape, and a 4 x 4 patch with every flag.
void BuildSurfaces(KQoxSdkManager& manager, KQoxScene& scene)
{
    KQoxNode* sheet = manager.CreateKQoxNode("Sheet");
    KQoxNode* quilt = manager.CreateKQoxNode("Quilt");
    KQoxNode* bone = manager.CreateKQoxNode("Bone");
    for (KQoxNode* node : {sheet, quilt, bone})
        scene.GetRootNode()->AddChild(node);
    KQoxNurb* nurb = manager.CreateKQoxNurb();
    sheet->SetNodeAttribute(nurb);
    nurb->SetOrder(3, 2);
    nurb->InitControlPoints(3, KQoxNurb::ePERIODIC, 2, KQoxNurb::eOPEN);
    for (int i = 0; i < 6; ++i)
        nurb->GetControlPoints()[i] = KQoxVector4(i, i * 0.1, -1e-300 * i, 0.25 + i);
    for (int i = 0; i < nurb->GetUKnotCount(); ++i)
        nurb->GetUKnotVector()[i] = i / 3.0;
    for (int i = 0; i < nurb->GetVKnotCount(); ++i)
        nurb->GetVKnotVector()[i] = i < 2 ? 0.0 : 1.0;
    nurb->GetUMultiplicityVector()[1] = 2;
    nurb->GetVMultiplicityVector()[0] = 3;
    nurb->SetStep(4, 5);
    nurb->SetSurfaceMode(2);
    KQoxLink* link = manager.CreateKQoxLink();
    link->SetLink(bone);
    link->AddControlPointIndex(4, 0.5);
    nurb->AddLink(link);
    KQoxShape* shape = manager.CreateKQoxShape();
    shape->InitControlPoints(6);
    shape->GetControlPoints()[5] = KQoxVector4(1, 2, 3, 1);
    // Version 5 names the shapes of geometry other than meshes by number.
    nurb->AddShape(shape, "Shape 01");

    KQoxPatch* patch = manager.CreateKQoxPatch();
    quilt->SetNodeAttribute(patch);
    patch->InitControlPoints(4, KQoxPatch::eBEZIER, 4, KQoxPatch::eBSPLINE);
    for (int i = 0; i < 16; ++i)
        patch->GetControlPoints()[i] = KQoxVector4(i % 4, i / 4, 0.5 * i, 1);
    patch->SetStep(3, 7);
    patch->SetClosed(true, false);
    patch->SetUCapped(true, false);
    patch->SetVCapped(false, true);
    patch->SetSurfaceMode(1);
}

} // namespace

// NURBS and patch surfaces with their descriptions, links and shapes, in
// every form; a NURBS surface whose flip flags are set is written flipped
// and the caller's surface stays as it was.
TEST(NativeAllForms, SurfacesInEveryForm)
{
    TempDir dir;
    for (const Form& form : kAllForms)
    {
        SCOPED_TRACE(form.mExport);
        KQoxSdkManager manager;
        KQoxScene original(manager);
        BuildSurfaces(manager, original);
        KQoxScene read(manager);
        RoundTrip(manager, original, form, dir, read);
        KQoxNurb* nurb = dynamic_cast<KQoxNurb*>(read.GetRootNode()->GetChild(0)->GetNodeAttribute());
        ASSERT_NE(nurb, nullptr);
        EXPECT_EQ(nurb->GetUKnotVectorSize(), 3 + 2 * 3 - 1);
        EXPECT_EQ(nurb->GetLink(0)->GetLink(), read.GetRootNode()->GetChild(2));
        ASSERT_NE(dynamic_cast<KQoxPatch*>(read.GetRootNode()->GetChild(1)->GetNodeAttribute()), nullptr);

        // Flipped on the way out: U and V exchanged, link indices remapped.
        KQoxNurb* source = dynamic_cast<KQoxNurb*>(original.GetRootNode()->GetChild(0)->GetNodeAttribute());
        source->SetApplyFlipUV(true);
        source->SetApplyFlipLinks(true);
        const std::string before = ListScene(manager, original);
        std::string name = dir.File("flipped.qox");
        ASSERT_TRUE(Export(manager, original, name, form));
        EXPECT_EQ(ListScene(manager, original), before);
        KQoxScene flipped(manager);
        ASSERT_TRUE(Import(manager, flipped, name, form));
        KQoxNurb* turned = dynamic_cast<KQoxNurb*>(flipped.GetRootNode()->GetChild(0)->GetNodeAttribute());
        ASSERT_NE(turned, nullptr);
        EXPECT_EQ(turned->GetUCount(), 2);
        EXPECT_EQ(turned->GetVCount(), 3);
        EXPECT_EQ(turned->GetUOrder(), 2u);
        EXPECT_EQ(turned->GetNurbVType(), KQoxNurb::ePERIODIC);
        EXPECT_FALSE(turned->GetApplyFlipUV());
        EXPECT_FALSE(turned->GetApplyFlipLinks());
        EXPECT_EQ(turned->GetControlPoints()[1][0], 3.0); // the old point 3
        ASSERT_EQ(turned->GetLinkCount(), 1);
        EXPECT_EQ(turned->GetLink(0)->GetControlPointIndices()[0], 3);
    }
}

// Surface descriptions that do not fit their arrays, unknown tokens, a
// weight that is not positive and sizes far beyond the file are damage.
TEST(NativeAllForms, DamagedSurfacesAreRefused)
{
    TempDir dir;
    const Form& ascii = kAllForms[1];
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildSurfaces(manager, scene);
    std::string name = dir.File("surfaces.qox");
    ASSERT_TRUE(Export(manager, scene, name, ascii));
    const std::string whole = ReadFile(name);
    const struct
    {
        const char* mKey;
        const char* mRest;
        bool mLast;
    } edits[] = {
        {"NurbOrder: ", "2000000000,2", false},        // knot count far beyond the knot vector
        {"NurbOrder: ", "0,2", false},                 // no order
        {"Form: ", "\"Sideways\",\"Open\"", false},    // unknown form
        {"MultiplicityU: ", "*i2:1 1", false},         // one multiplicity short
        {"KnotVectorV: ", "*d3:0 0 1", false},         // one knot short
        {"Dimensions: ", "3,3", false},                // grid larger than its points
        {"Dimensions: ", "65536,65536", true},         // patch grid far beyond the file
        {"PatchType: ", "\"Bezier\",\"Nope\"", false}, // unknown patch type
        {"Dimensions: ", "-4,-4", true},               // negative counts
    };
    for (const auto& edit : edits)
    {
        SCOPED_TRACE(std::string(edit.mKey) + edit.mRest);
        std::string damaged = EditLine(whole, edit.mKey, edit.mRest, edit.mLast);
        ASSERT_NE(damaged, whole);
        qoxtest::WriteFile(name, damaged);
        KQoxImporter importer(manager);
        ASSERT_TRUE(importer.Initialize(name.c_str())) << importer.GetLastErrorString();
        KQoxScene read(manager);
        EXPECT_FALSE(importer.Import(read));
        EXPECT_STREQ(importer.GetLastErrorString(), "File is corrupted");
        EXPECT_EQ(read.GetRootNode()->GetChildCount(), 0);
    }
    // A weight of zero is refused as well.
    dynamic_cast<KQoxNurb*>(scene.GetRootNode()->GetChild(0)->GetNodeAttribute())->GetControlPoints()[2][3] = 0.0;
    ASSERT_TRUE(Export(manager, scene, name, ascii));
    KQoxImporter importer(manager);
    ASSERT_TRUE(importer.Initialize(name.c_str()));
    KQoxScene read(manager);
    EXPECT_FALSE(importer.Import(read));
    EXPECT_STREQ(importer.GetLastErrorString(), "File is corrupted");
}

// What the file does not store is named in the exporter's message, one line
// per kind with its count; a scene holding only stored kinds gets none.
TEST(NativeAllForms, LeftOutKindsAreNamed)
{
    TempDir dir;
    for (const Form& form : kAllForms)
    {
        SCOPED_TRACE(form.mExport);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        BuildSurfaces(manager, scene);
        KString message;
        ASSERT_TRUE(Export(manager, scene, dir.File("stored.qox"), form, &message));
        EXPECT_STREQ(message.ToChars(), "");

        // A skin with one cluster, two character links, a plug and a pose.
        KQoxNode* bone = scene.GetRootNode()->GetChild(2);
        scene.BuildKQoxDeformerFromKQoxLink();
        KQoxCharacter* character = scene.GetCharacter(scene.CreateCharacter("Hero"));
        KQoxCharacterLink link;
        link.mNode = bone;
        ASSERT_TRUE(character->SetCharacterLink(eCharacterHips, link));
        link.mNode = scene.GetRootNode()->GetChild(0);
        ASSERT_TRUE(character->SetCharacterLink(eCharacterReference, link));
        ASSERT_GE(scene.CreateControlSetPlug("Rig"), 0);
        ASSERT_GE(scene.CreateCharacterPose("Stance"), 0);
        // Clusters need a bone node: a link without one is left out of
        // version 6 (version 5 keeps links as they are).
        KQoxLink* loose = manager.CreateKQoxLink();
        loose->AddControlPointIndex(1, 1.0);
        dynamic_cast<KQoxGeometry*>(scene.GetRootNode()->GetChild(1)->GetNodeAttribute())->AddLink(loose);
        ASSERT_TRUE(Export(manager, scene, dir.File("leftout.qox"), form, &message));
        std::string expected;
        if (form.mExport != eEXPORT_QOX5_BINARY && form.mExport != eEXPORT_QOX5_ASCII)
            expected += "Left out of the file, not stored yet: 1 skin links without a linked node\n";
        EXPECT_EQ(std::string(message.ToChars()), expected);
    }
}

// The whole scene: hierarchy, transforms, pivots and limits, every node
// attribute, a mesh with several layers, shapes and skin links, NURBS and
// patch surfaces, materials, textures (one both in a mesh layer and in the
// scene), an embedded clip, poses, a character's solver settings, user
// properties of a character and of a control-set plug, a hidden node, keys
// of every kind in two takes. Every value
// comes back in every form, and what was read is written again byte for byte
// (the encrypted form excepted: each file has its own salt; the clip is
// left out there, since reading extracts it under a new name).
TEST(NativeAllForms, EveryKindInEveryForm)
{
    TempDir dir;
    const std::string media = dir.File("skin.raw");
    qoxtest::WriteFile(media, std::string("\x01\x02\x00\xff media bytes", 16));
    for (const Form& form : kAllForms)
    {
        SCOPED_TRACE(form.mExport);
        const bool version5 = form.mExport == eEXPORT_QOX5_BINARY || form.mExport == eEXPORT_QOX5_ASCII;
        for (bool embedded : {true, false})
        {
            KQoxSdkManager manager;
            KQoxScene original(manager);
            fileiotest::BuildScene(manager, original, embedded ? media : "");
            fileiotest::AddEveryKind(manager, original, !version5);
            BuildSurfaces(manager, original);
            KQoxScene read(manager);
            if (embedded)
            {
                std::string name = dir.File("embedded.qox");
                ASSERT_TRUE(Export(manager, original, name, form));
                ASSERT_TRUE(Import(manager, read, name, form));
                fileiotest::MergeTimeWarps(manager, original);
                fileiotest::NameExtractedSkin(original, name);
                ExpectSameListing(ListScene(manager, read, form.mDigits), ListScene(manager, original, form.mDigits));
                ASSERT_EQ(read.GetEntity()->GetVideoCount(), 1);
                KQoxVideo* clip = dynamic_cast<KQoxVideo*>(read.GetEntity()->GetVideo(0));
                EXPECT_EQ(ReadFile(clip->GetFileName()), ReadFile(media));
                continue;
            }
            RoundTrip(manager, original, form, dir, read);
            ASSERT_EQ(read.GetCharacterCount(), 1);
            ASSERT_EQ(read.GetControlSetPlugCount(), 1);
            // User properties of the character and the plug with their values,
            // the hidden node's Default take, the textures in the order written.
            KQoxUserProperty* reach = read.GetCharacter(0)->FindPropertyByName("Reach");
            ASSERT_NE(reach, nullptr);
            double x = 0, y = 0, z = 0;
            reach->GetDefaultValue(x, y, z);
            EXPECT_EQ(x, 1.5);
            EXPECT_EQ(z, 0.125);
            EXPECT_TRUE(reach->GetFlag(KQoxUserProperty::eANIMATABLE));
            KQoxUserProperty* stiffness = read.GetControlSetPlug(0)->FindPropertyByName("Stiffness");
            ASSERT_NE(stiffness, nullptr);
            double value = 0;
            stiffness->GetDefaultValue(value);
            EXPECT_EQ(value, 0.625);
            EXPECT_STREQ(stiffness->GetLabel(false).ToChars(), "Rig stiffness");
            KQoxNode* lamp = read.GetRootNode()->FindChild("Lamp", true);
            EXPECT_EQ(lamp->GetDefaultTakeNode()->GetVisibility()->GetValue(), 0.0f);
            ASSERT_GE(read.GetEntity()->GetTextureCount(), 2);
            EXPECT_STREQ(read.GetEntity()->GetTexture(0)->GetName(), "Texture::Skin");
            EXPECT_STREQ(read.GetEntity()->GetTexture(1)->GetName(), "Texture::Decal");
            // The pose's scene: its own nodes, its one character linked to them.
            ASSERT_EQ(read.GetCharacterPoseCount(), 1);
            KQoxCharacterPose* pose = read.GetCharacterPose(0);
            ASSERT_EQ(pose->GetRootNode()->GetChildCount(), 1);
            ASSERT_EQ(pose->GetScene()->GetCharacterCount(), 1);
            KQoxCharacterLink link;
            ASSERT_TRUE(pose->GetCharacter()->GetCharacterLink(eCharacterSpine, &link));
            EXPECT_EQ(link.mNode, pose->GetRootNode()->GetChild(0)->GetChild(0));
        }
    }
}

// Version 6 keeps skinning as skin and cluster deformers. Written from
// links, the clusters carry the links' transforms as they are; written from
// deformers, the scene's own deformers are read back as links. Either way
// the caller's scene is as it was after the write.
TEST(NativeAllForms, SkinsAndClusters)
{
    TempDir dir;
    for (const Form& form : kAllForms)
    {
        SCOPED_TRACE(form.mExport);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        fileiotest::BuildScene(manager, scene, "");
        // Read back with its time warps baked into the channels.
        fileiotest::MergeTimeWarps(manager, scene);
        const std::string withLinks = ListScene(manager, scene, 15);
        const std::string counts = fileiotest::ManagerCounts(manager);
        std::string name = dir.File("skin.qox");
        ASSERT_TRUE(Export(manager, scene, name, form));
        EXPECT_EQ(ListScene(manager, scene, 15), withLinks);
        EXPECT_EQ(fileiotest::ManagerCounts(manager), counts);
        EXPECT_EQ(scene.GetDeformerCount(), 0);
        if (form.mExport == eEXPORT_QOX_ASCII)
        {
            const std::string text = ReadFile(name);
            EXPECT_NE(text.find("Deformer: \"Deformer::Skin Spine\",\"Skin\" {"), std::string::npos);
            EXPECT_NE(text.find("Deformer: \"SubDeformer::Cluster Hips\",\"Cluster\" {"), std::string::npos);
            EXPECT_NE(text.find("Link_DeformAcuracy: 50"), std::string::npos);
            EXPECT_EQ(text.find("    Link: "), std::string::npos); // no links in the geometry
        }

        // The scene's skinning held as deformers only.
        scene.BuildKQoxDeformerFromKQoxLink();
        KQoxMesh* mesh = dynamic_cast<KQoxMesh*>(scene.GetRootNode()->GetChild(0)->GetChild(0)->GetNodeAttribute());
        while (mesh->GetLinkCount() > 0)
            manager.DestroyKQoxLink(mesh->RemoveLink(0));
        const std::string withDeformers = ListScene(manager, scene, 15);
        const std::string deformerCounts = fileiotest::ManagerCounts(manager);
        ASSERT_TRUE(Export(manager, scene, name, form));
        EXPECT_EQ(ListScene(manager, scene, 15), withDeformers);
        EXPECT_EQ(fileiotest::ManagerCounts(manager), deformerCounts);
        ASSERT_EQ(scene.GetDeformerCount(), 2);
        EXPECT_EQ(mesh->GetLinkCount(), 0);
        KQoxScene read(manager);
        ASSERT_TRUE(Import(manager, read, name, form));
        // Matrices keep 15 digits of the transforms.
        EXPECT_EQ(ListScene(manager, read, 15), withLinks);
        EXPECT_EQ(read.GetDeformerCount(), 0);
    }
}

// Deformer records and connections that do not fit are damage.
TEST(NativeAllForms, DamagedDeformersAreRefused)
{
    TempDir dir;
    const Form& ascii = kAllForms[1];
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    fileiotest::BuildScene(manager, scene, "");
    std::string name = dir.File("deformers.qox");
    ASSERT_TRUE(Export(manager, scene, name, ascii));
    const std::string whole = ReadFile(name);
    // Deformer 0 is the skin, 1 its cluster; node 0 is Hips, 1 Spine.
    const struct
    {
        const char* mKey;
        const char* mRest;
    } edits[] = {
        {"Connect: \"Skin\",", "0,999"},     // a node that does not exist
        {"Connect: \"Skin\",", "1,1"},       // a cluster connected as a skin
        {"Connect: \"Cluster\",", "1,1"},    // a cluster as its own skin
        {"Connect: \"Cluster\",", "5,0"},    // a deformer that does not exist
        {"Connect: \"Bone\",", "0,0"},       // a skin given a bone
        {"Connect: \"Associate\",", "1,-1"}, // a negative node
        {"Indexes: ", "*i1:5"},              // a control point beyond the geometry
        {"Weights: ", "*d3:1 1 1"},          // more weights than indices
    };
    for (const auto& edit : edits)
    {
        SCOPED_TRACE(std::string(edit.mKey) + edit.mRest);
        std::string damaged = EditLine(whole, edit.mKey, edit.mRest, false);
        ASSERT_NE(damaged, whole);
        qoxtest::WriteFile(name, damaged);
        KQoxImporter importer(manager);
        ASSERT_TRUE(importer.Initialize(name.c_str())) << importer.GetLastErrorString();
        KQoxScene read(manager);
        const std::string counts = fileiotest::ManagerCounts(manager);
        EXPECT_FALSE(importer.Import(read));
        EXPECT_STREQ(importer.GetLastErrorString(), "File is corrupted");
        EXPECT_EQ(fileiotest::ManagerCounts(manager), counts);
    }
    // A second connection of a skin or of a cluster's skin is damage too.
    for (const char* doubled : {"Connect: \"Skin\",0,1", "Connect: \"Cluster\",1,0", "Connect: \"Bone\",1,0"})
    {
        SCOPED_TRACE(doubled);
        std::string damaged = whole;
        size_t at = damaged.find(doubled);
        ASSERT_NE(at, std::string::npos);
        damaged.insert(at, std::string(doubled) + "\n    ");
        qoxtest::WriteFile(name, damaged);
        KQoxImporter importer(manager);
        ASSERT_TRUE(importer.Initialize(name.c_str()));
        KQoxScene read(manager);
        EXPECT_FALSE(importer.Import(read));
        EXPECT_STREQ(importer.GetLastErrorString(), "File is corrupted");
    }
}

// Character links that name no slot of their group, a group that does not
// exist, a node outside those read, a slot given twice or too few values
// are damage; a link without a name takes the next place of its group.
TEST(NativeAllForms, CharacterLinksByGroup)
{
    TempDir dir;
    const Form& ascii = kAllForms[1];
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    fileiotest::BuildScene(manager, scene, "");
    fileiotest::AddEveryKind(manager, scene, true);
    std::string name = dir.File("links.qox");
    ASSERT_TRUE(Export(manager, scene, name, ascii));
    const std::string whole = ReadFile(name);
    const std::string zeros = ",\"\",0,0,0,0,0,0,0,0,0,0,0,0";
    const struct
    {
        const char* mKey;
        std::string mRest;
    } edits[] = {
        {"LinkGroup: ", "12 {"},                             // no such group
        {"CharacterLink: ", "\"LeftHandIndex2\",0" + zeros}, // a name of another group
        {"CharacterLink: ", "\"Nobody\",0" + zeros},         // no such name
        {"CharacterLink: ", "\"Hips\",999" + zeros},         // a node that does not exist
        {"CharacterLink: ", "\"Hips\",0"},                   // values missing
        {"REFERENCE: ", "\"\",-2" + zeros},                  // a negative node
    };
    for (const auto& edit : edits)
    {
        SCOPED_TRACE(std::string(edit.mKey) + edit.mRest);
        std::string damaged = EditLine(whole, edit.mKey, edit.mRest, false);
        ASSERT_NE(damaged, whole);
        qoxtest::WriteFile(name, damaged);
        KQoxImporter importer(manager);
        ASSERT_TRUE(importer.Initialize(name.c_str()));
        KQoxScene read(manager);
        EXPECT_FALSE(importer.Import(read));
        EXPECT_STREQ(importer.GetLastErrorString(), "File is corrupted");
        EXPECT_EQ(read.GetCharacterCount(), 0);
    }
    // The Hips link unnamed is the first place of the base group; the same
    // slot given twice is damage.
    std::string unnamed = whole;
    const std::string hips = "CharacterLink: \"Hips\",";
    size_t at = unnamed.find(hips);
    ASSERT_NE(at, std::string::npos);
    unnamed.replace(at, hips.size(), "CharacterLink: \"\",");
    qoxtest::WriteFile(name, unnamed);
    KQoxScene read(manager);
    ASSERT_TRUE(Import(manager, read, name, ascii));
    fileiotest::MergeTimeWarps(manager, scene); // as the reader does
    EXPECT_EQ(ListScene(manager, read, 15), ListScene(manager, scene, 15));
    const size_t line = unnamed.find("CharacterLink: \"\",");
    const size_t end = unnamed.find('\n', line);
    unnamed.insert(end + 1, unnamed.substr(unnamed.rfind('\n', line) + 1, end - unnamed.rfind('\n', line)));
    unnamed.replace(unnamed.find("CharacterLink: \"\","), 18, "CharacterLink: \"Hips\",");
    qoxtest::WriteFile(name, unnamed);
    KQoxImporter importer(manager);
    ASSERT_TRUE(importer.Initialize(name.c_str()));
    KQoxScene twice(manager);
    EXPECT_FALSE(importer.Import(twice));
}

// Control sets and control-set plugs that do not fit are damage: a list
// the plug does not have or given twice, more nodes than a list holds, a
// node outside those read, ids and auxiliary sets out of range.
TEST(NativeAllForms, DamagedControlSetsAreRefused)
{
    TempDir dir;
    const Form& ascii = kAllForms[1];
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    fileiotest::BuildScene(manager, scene, "");
    fileiotest::AddEveryKind(manager, scene, true);
    std::string name = dir.File("controls.qox");
    ASSERT_TRUE(Export(manager, scene, name, ascii));
    const std::string whole = ReadFile(name);
    const struct
    {
        const char* mKey;
        const char* mRest;
    } edits[] = {
        {"PlugList: ", "\"Nope\",0"},       // no such list
        {"PlugList: ", "\"Hips\",0,1"},     // a link list holds one node
        {"PlugList: ", "\"Hips\",999"},     // a node that does not exist
        {"PlugList: ", "\"Hips\",-1"},      // no node
        {"ControlSetLink: ", "191,0,\"\""}, // an id out of range
        {"ControlSetLink: ", "0,999,\"\""}, // a node that does not exist
        {"Effector: ", "44,0 {"},           // an effector out of range
        {"EffectorAux: ", "3,15,0"},        // an auxiliary set out of range
        {"EffectorAux: ", "3,1,-7"},        // a negative node
    };
    for (const auto& edit : edits)
    {
        SCOPED_TRACE(std::string(edit.mKey) + edit.mRest);
        std::string damaged = EditLine(whole, edit.mKey, edit.mRest, false);
        ASSERT_NE(damaged, whole);
        qoxtest::WriteFile(name, damaged);
        KQoxImporter importer(manager);
        ASSERT_TRUE(importer.Initialize(name.c_str()));
        KQoxScene read(manager);
        const std::string counts = fileiotest::ManagerCounts(manager);
        EXPECT_FALSE(importer.Import(read));
        EXPECT_STREQ(importer.GetLastErrorString(), "File is corrupted");
        EXPECT_EQ(read.GetControlSetPlugCount(), 0);
        EXPECT_EQ(fileiotest::ManagerCounts(manager), counts);
    }
    // The same list twice.
    std::string twice = whole;
    size_t at = twice.find("PlugList: ");
    ASSERT_NE(at, std::string::npos);
    size_t end = twice.find('\n', at);
    size_t start = twice.rfind('\n', at) + 1;
    twice.insert(end + 1, twice.substr(start, end - start + 1));
    qoxtest::WriteFile(name, twice);
    KQoxImporter importer(manager);
    ASSERT_TRUE(importer.Initialize(name.c_str()));
    KQoxScene read(manager);
    EXPECT_FALSE(importer.Import(read));
}

// Poses nest scenes, which may hold poses: every level comes back up to the
// depth readers take; deeper ones are left out and named in the message.
TEST(NativeAllForms, NestedPosesUpToTheirDepth)
{
    TempDir dir;
    for (const Form& form : {kAllForms[0], kAllForms[4]})
    {
        SCOPED_TRACE(form.mExport);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        KQoxScene* level = &scene;
        for (int depth = 0; depth < 10; ++depth)
        {
            KQoxCharacterPose* pose = level->GetCharacterPose(level->CreateCharacterPose("Level"));
            KQoxNode* node = manager.CreateKQoxNode(("Node" + std::to_string(depth)).c_str());
            pose->GetRootNode()->AddChild(node);
            level = pose->GetScene();
        }
        std::string name = dir.File("nested.qox");
        KString message;
        ASSERT_TRUE(Export(manager, scene, name, form, &message));
        EXPECT_STREQ(message.ToChars(), "Left out of the file, not stored yet: 1 character poses nested too deep\n");
        KQoxScene read(manager);
        ASSERT_TRUE(Import(manager, read, name, form));
        int depth = 0;
        for (KQoxScene* at = &read; at->GetCharacterPoseCount() == 1; at = at->GetCharacterPose(0)->GetScene())
        {
            ASSERT_EQ(at->GetCharacterPose(0)->GetRootNode()->GetChildCount(), 1);
            EXPECT_STREQ(at->GetCharacterPose(0)->GetRootNode()->GetChild(0)->GetName(),
                         ("Model::Node" + std::to_string(depth)).c_str());
            ++depth;
        }
        EXPECT_EQ(depth, 7);
    }
}

// The camera switcher's names join those of the scene read into, and every
// "Camera Index" read is renumbered to its camera's place there.
TEST(NativeAllForms, CameraIndexRenumberedOnReading)
{
    TempDir dir;
    for (const Form& form : kAllForms)
    {
        SCOPED_TRACE(form.mExport);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        fileiotest::BuildScene(manager, scene, "");
        fileiotest::AddEveryKind(manager, scene, true); // indices 1 ("Producer Top"), then 0 ("Model::Eye")
        std::string name = dir.File("switch.qox");
        ASSERT_TRUE(Export(manager, scene, name, form));
        KQoxScene read(manager);
        KQoxCameraSwitcher* switcher = dynamic_cast<KQoxCameraSwitcher*>(read.GetCameraSwitcher()->GetNodeAttribute());
        switcher->AddCameraName("Producer Top");
        ASSERT_TRUE(Import(manager, read, name, form));
        ASSERT_EQ(switcher->GetCameraNameCount(), 2);
        EXPECT_STREQ(switcher->GetCameraName(0), "Producer Top");
        EXPECT_STREQ(switcher->GetCameraName(1), "Model::Eye");
        KQoxNode* node = read.GetCameraSwitcher();
        KQoxTakeNode* walk = nullptr;
        for (int t = 0; t < node->GetTakeNodeCount(); ++t)
            if (std::string(node->GetTakeNodeName(t)) == "Walk")
                walk = node->GetTakeNode(t);
        ASSERT_NE(walk, nullptr);
        KFCurve* index = walk->GetCameraIndex();
        ASSERT_EQ(index->KeyGetCount(), 2);
        EXPECT_EQ(index->KeyGetValue(0), 0.0f);
        EXPECT_EQ(index->KeyGetValue(1), 1.0f);
    }
}

// With the nodes left out of the read, characters and control-set plugs
// still come back: their links keep what the file says of them but name no
// node (they used to be refused as damage).
TEST(NativeAllForms, CharactersReadWithoutNodes)
{
    TempDir dir;
    for (const Form& form : kAllForms)
    {
        SCOPED_TRACE(form.mExport);
        const bool version5 = form.mExport == eEXPORT_QOX5_BINARY || form.mExport == eEXPORT_QOX5_ASCII;
        KQoxSdkManager manager;
        KQoxScene original(manager);
        fileiotest::BuildScene(manager, original, "");
        fileiotest::AddEveryKind(manager, original, !version5);
        const std::string name = dir.File("nodeless.qox");
        ASSERT_TRUE(Export(manager, original, name, form));

        KQoxImporter importer(manager);
        importer.SetPassword(form.mPassword);
        ASSERT_TRUE(importer.Initialize(name.c_str()));
        KStreamOptionsQox options;
        options.SetState(KStreamOptionsQox::eMODEL, false);
        KQoxScene read(manager);
        ASSERT_TRUE(importer.Import(read, &options)) << importer.GetLastErrorString();
        EXPECT_EQ(read.GetRootNode()->GetChildCount(), 0);
        ASSERT_EQ(read.GetCharacterCount(), 1);
        KQoxCharacterLink link;
        ASSERT_TRUE(read.GetCharacter(0)->GetCharacterLink(eCharacterLeftHandIndex2, &link));
        EXPECT_EQ(link.mNode, nullptr);
        EXPECT_STREQ(link.mTemplateName.ToChars(), "Finger \"one\"");
        EXPECT_EQ(link.mOffsetS[0], 2.0);
        EXPECT_EQ(read.GetControlSetPlugCount(), 1);
    }
}
