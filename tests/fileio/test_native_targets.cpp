// Nodes' look-at and up-vector targets, post-target rotations and target up
// vectors in every native form: what was written comes back, is written
// again byte for byte, and target connections that name what they cannot
// are damage.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio/kqoxstreamoptionsqox.h"
#include "fileio_test_util.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::ReadFile;
using qoxtest::TempDir;

namespace {

struct Form
{
    int mExport;
    const char* mPassword;
    bool mSameBytes; // encrypted files get a new salt each time
} const kForms[] = {{eEXPORT_QOX_BINARY, "", true},
                    {eEXPORT_QOX_ASCII, "", true},
                    {eEXPORT_QOX_ENCRYPTED, "aim", false},
                    {eEXPORT_QOX5_BINARY, "", true},
                    {eEXPORT_QOX5_ASCII, "", true}};
const Form& kAscii = kForms[1];

bool Export(KQoxSdkManager& manager, KQoxScene& scene, const std::string& name, const Form& form,
            KString* message = nullptr)
{
    KQoxExporter exporter(manager);
    EXPECT_TRUE(exporter.Initialize(name.c_str()));
    EXPECT_TRUE(exporter.SetFileFormat(form.mExport));
    exporter.SetPassword(form.mPassword);
    const bool ok = exporter.Export(scene);
    EXPECT_TRUE(ok) << exporter.GetLastErrorString();
    if (message)
        exporter.GetMessage(*message);
    return ok;
}

// The import's error text; "" when it succeeded.
std::string Import(KQoxSdkManager& manager, KQoxScene& scene, const std::string& name, const Form& form)
{
    KQoxImporter importer(manager);
    importer.SetPassword(form.mPassword);
    if (!importer.Initialize(name.c_str()))
        return importer.GetLastErrorString();
    return importer.Import(scene) ? "" : importer.GetLastErrorString();
}

KQoxNode* Add(KQoxSdkManager& manager, KQoxNode* parent, const char* name, KQoxNodeAttribute* attribute = nullptr)
{
    KQoxNode* node = manager.CreateKQoxNode(name);
    if (attribute)
        node->SetNodeAttribute(attribute);
    parent->AddChild(node);
    return node;
}

// A camera aiming at a node before it in the file, with an up target after
// it; a spot light aiming at its own child, turned by a post-target rotation,
// with an up vector and the camera as its up target.
void BuildAims(KQoxSdkManager& manager, KQoxScene& scene)
{
    KQoxNode* root = scene.GetRootNode();
    KQoxNode* interest = Add(manager, root, "Cam.Target");
    KQoxNode* camera = Add(manager, root, "Cam", manager.CreateKQoxCamera());
    KQoxNode* up = Add(manager, root, "Cam.Up");
    KQoxLight* light = manager.CreateKQoxLight();
    light->SetLightType(KQoxLight::eSPOT);
    KQoxNode* spot = Add(manager, root, "Spot", light);
    KQoxNode* spotTarget = Add(manager, spot, "Spot.Target");
    camera->SetTarget(interest);
    camera->SetTargetUp(up);
    spot->SetTarget(spotTarget);
    spot->SetTargetUp(camera);
    spot->SetPostTargetRotation(KQoxVector4(0, 90, 0, 1));
    spot->SetTargetUpVector(KQoxVector4(0, 1, 0, 0));
}

KQoxNode* Find(KQoxScene& scene, const char* name)
{
    return scene.GetRootNode()->FindChild(const_cast<char*>(name), true);
}

std::string NameOf(KQoxNode* node)
{
    return node ? node->GetName() : "-";
}

// The text with one more copy of the line holding key, right after it.
std::string DoubleLine(std::string text, const std::string& key)
{
    const size_t at = text.find(key);
    if (at == std::string::npos)
        return text;
    const size_t start = text.rfind('\n', at) + 1, end = text.find('\n', at) + 1;
    return text.insert(end, text.substr(start, end - start));
}

// The text with the rest of the first line holding key replaced.
std::string EditLine(std::string text, const std::string& key, const std::string& rest)
{
    size_t at = text.find(key);
    if (at == std::string::npos)
        return text;
    at += key.size();
    return text.replace(at, text.find('\n', at) - at, rest);
}

} // namespace

// Each target and vector comes back in every form, and what was read is
// written again to the same bytes.
TEST(NativeTargets, CameraAndSpotLightAimInEveryForm)
{
    TempDir dir;
    for (const Form& form : kForms)
    {
        SCOPED_TRACE(form.mExport);
        KQoxSdkManager manager;
        KQoxScene original(manager);
        BuildAims(manager, original);
        const std::string first = dir.File("first.qox"), second = dir.File("second.qox");
        KString message;
        ASSERT_TRUE(Export(manager, original, first, form, &message));
        EXPECT_STREQ(message.ToChars(), "");
        KQoxScene read(manager);
        ASSERT_EQ(Import(manager, read, first, form), "");
        KQoxNode* camera = Find(read, "Cam");
        KQoxNode* spot = Find(read, "Spot");
        ASSERT_NE(camera, nullptr);
        ASSERT_NE(spot, nullptr);
        EXPECT_EQ(NameOf(camera->GetTarget()), "Model::Cam.Target");
        EXPECT_EQ(NameOf(camera->GetTargetUp()), "Model::Cam.Up");
        EXPECT_EQ(spot->GetTarget(), spot->GetChild(0));
        EXPECT_EQ(spot->GetTargetUp(), camera);
        EXPECT_EQ(spot->GetPostTargetRotation()[1], 90.0);
        EXPECT_EQ(spot->GetPostTargetRotation()[3], 1.0);
        EXPECT_EQ(spot->GetTargetUpVector()[1], 1.0);
        // Nothing more: the targets aim at nothing, the camera has no vectors.
        EXPECT_EQ(Find(read, "Cam.Target")->GetTarget(), nullptr);
        EXPECT_EQ(camera->GetPostTargetRotation()[1], 0.0);
        if (!form.mSameBytes)
            continue;
        ASSERT_TRUE(Export(manager, read, second, form));
        EXPECT_TRUE(ReadFile(first) == ReadFile(second));
    }
}

// The layout as documented: one connection per node and kind after the
// hierarchy, the vectors in the node's block; none of it without targets.
TEST(NativeTargets, AsciiLayoutAndNothingWithoutTargets)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildAims(manager, scene);
    const std::string name = dir.File("aims.qox");
    ASSERT_TRUE(Export(manager, scene, name, kAscii));
    const std::string text = ReadFile(name);
    // Nodes in file order: Cam.Target 0, Cam 1, Cam.Up 2, Spot 3, Spot.Target 4.
    const size_t hierarchy = text.find("Connect: \"OO\",4,3\n");
    const size_t look = text.find("Connect: \"LookAt\",1,0\n");
    ASSERT_NE(hierarchy, std::string::npos) << text;
    ASSERT_NE(look, std::string::npos) << text;
    EXPECT_LT(hierarchy, look);
    EXPECT_NE(text.find("Connect: \"UpVector\",1,2\n"), std::string::npos);
    EXPECT_NE(text.find("Connect: \"LookAt\",3,4\n"), std::string::npos);
    EXPECT_NE(text.find("Connect: \"UpVector\",3,1\n"), std::string::npos);
    EXPECT_NE(text.find("PostTargetRotation: 0,90,0,1\n"), std::string::npos);
    EXPECT_NE(text.find("TargetUpVector: 0,1,0,0\n"), std::string::npos);
    EXPECT_EQ(text.find("PostTargetRotation", text.find("PostTargetRotation") + 1), std::string::npos);

    // Without targets or vectors, nothing of them is written.
    KQoxScene bare(manager);
    Add(manager, bare.GetRootNode(), "Cam", manager.CreateKQoxCamera());
    ASSERT_TRUE(Export(manager, bare, name, kAscii));
    const std::string none = ReadFile(name);
    for (const char* word : {"\"LookAt\"", "\"UpVector\"", "PostTargetRotation", "TargetUpVector"})
        EXPECT_EQ(none.find(word), std::string::npos) << word;
    // A negative zero is a value of its own and is kept.
    KQoxScene plain(manager);
    BuildAims(manager, plain);
    Find(plain, "Spot")->SetPostTargetRotation(KQoxVector4());
    Find(plain, "Spot")->SetTargetUpVector(KQoxVector4(0, -0.0, 0, 0));
    ASSERT_TRUE(Export(manager, plain, name, kAscii));
    KQoxScene read(manager);
    ASSERT_EQ(Import(manager, read, name, kAscii), "");
    EXPECT_TRUE(std::signbit(Find(read, "Spot")->GetTargetUpVector()[1]));
}

// A target outside the nodes read, the node itself, a negative or unknown
// node, or a second target of one kind is damage; the failed read leaves
// nothing behind.
TEST(NativeTargets, DamagedTargetConnectionsAreRefused)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildAims(manager, scene);
    const std::string name = dir.File("aims.qox");
    ASSERT_TRUE(Export(manager, scene, name, kAscii));
    const std::string whole = ReadFile(name);
    const struct
    {
        const char* mKey;
        const char* mRest;
    } edits[] = {
        {"Connect: \"LookAt\",", "1,5"},    // no such node
        {"Connect: \"LookAt\",", "1,1"},    // the node itself
        {"Connect: \"UpVector\",", "3,3"},  // the node itself
        {"Connect: \"UpVector\",", "1,-1"}, // a negative target
        {"Connect: \"LookAt\",", "-1,0"},   // a negative node
        {"Connect: \"UpVector\",", "99,0"}, // no such node
        {"Connect: \"LookAt\",", "2147483647,0"},
    };
    for (const auto& edit : edits)
    {
        SCOPED_TRACE(std::string(edit.mKey) + edit.mRest);
        const std::string damaged = EditLine(whole, edit.mKey, edit.mRest);
        ASSERT_NE(damaged, whole);
        qoxtest::WriteFile(name, damaged);
        KQoxScene read(manager);
        const std::string counts = fileiotest::ManagerCounts(manager);
        EXPECT_EQ(Import(manager, read, name, kAscii), "File is corrupted");
        EXPECT_EQ(read.GetRootNode()->GetChildCount(), 0);
        EXPECT_EQ(fileiotest::ManagerCounts(manager), counts);
    }
    // The same connection twice, or a second target of one kind.
    const std::string look = "Connect: \"LookAt\",1,0\n";
    ASSERT_NE(whole.find(look), std::string::npos);
    std::string another = whole;
    another.insert(another.find(look) + look.size(), "    Connect: \"LookAt\",1,2\n");
    for (const std::string& damaged :
         {DoubleLine(whole, look), DoubleLine(whole, "Connect: \"UpVector\",3,1"), another})
    {
        ASSERT_NE(damaged, whole);
        qoxtest::WriteFile(name, damaged);
        KQoxScene read(manager);
        EXPECT_EQ(Import(manager, read, name, kAscii), "File is corrupted");
        EXPECT_EQ(read.GetRootNode()->GetChildCount(), 0);
    }
}

// A connection kind this reader does not know is passed over, and a vector
// field holding fewer than four values leaves the vector as it was.
TEST(NativeTargets, UnknownKindsAndShortVectorsArePassedOver)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildAims(manager, scene);
    const std::string name = dir.File("aims.qox");
    ASSERT_TRUE(Export(manager, scene, name, kAscii));
    std::string text = ReadFile(name);
    text.replace(text.find("Connect: \"LookAt\",1,0"), 17, "Connect: \"Gaze\"");
    text = EditLine(text, "PostTargetRotation: ", "0,90");
    qoxtest::WriteFile(name, text);
    KQoxScene read(manager);
    ASSERT_EQ(Import(manager, read, name, kAscii), "");
    EXPECT_EQ(Find(read, "Cam")->GetTarget(), nullptr);
    EXPECT_EQ(NameOf(Find(read, "Cam")->GetTargetUp()), "Model::Cam.Up");
    EXPECT_EQ(Find(read, "Spot")->GetPostTargetRotation()[1], 0.0);
    EXPECT_EQ(Find(read, "Spot")->GetTargetUpVector()[1], 1.0);
}

// Targets no other node of the file stands for (a node outside the scene,
// the node itself) are left out and named; the rest of the file reads.
TEST(NativeTargets, TargetsOutsideTheFileAreNamed)
{
    TempDir dir;
    for (const Form& form : kForms)
    {
        SCOPED_TRACE(form.mExport);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        BuildAims(manager, scene);
        KQoxNode* loner = Add(manager, scene.GetRootNode(), "Loner");
        loner->SetTarget(loner);
        KQoxNode* elsewhere = manager.CreateKQoxNode("Elsewhere");
        loner->SetTargetUp(elsewhere);
        const std::string name = dir.File("outside.qox");
        KString message;
        ASSERT_TRUE(Export(manager, scene, name, form, &message));
        EXPECT_STREQ(message.ToChars(), "Left out of the file, not stored yet: 2 look-at and up-vector targets that "
                                        "are not other nodes of the file\n");
        KQoxScene read(manager);
        ASSERT_EQ(Import(manager, read, name, form), "");
        EXPECT_EQ(Find(read, "Loner")->GetTarget(), nullptr);
        EXPECT_EQ(Find(read, "Loner")->GetTargetUp(), nullptr);
        EXPECT_NE(Find(read, "Cam")->GetTarget(), nullptr);
        manager.DestroyKQoxNode(elsewhere);
    }
}

// A read that fails after the targets were connected (a damaged take
// thumbnail, read after the connections) destroys the nodes with their
// target connections and leaves the manager as it was.
TEST(NativeTargets, FailedReadAfterTheConnectionsLeavesNothing)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    fileiotest::BuildScene(manager, scene, "");
    fileiotest::AddEveryKind(manager, scene, true);
    const std::string name = dir.File("late.qox");
    ASSERT_TRUE(Export(manager, scene, name, kAscii));
    std::string text = ReadFile(name);
    const size_t takes = text.rfind("[Takes]"); // a pose's own come earlier
    ASSERT_NE(takes, std::string::npos);
    const size_t size = text.find("Size: ", takes);
    ASSERT_LT(size, text.find("[Animation]", takes));
    ASSERT_LT(text.find("Connect: \"LookAt\""), takes);
    text.replace(size, text.find('\n', size) - size, "Size: 128");
    qoxtest::WriteFile(name, text);
    KQoxScene read(manager);
    const std::string counts = fileiotest::ManagerCounts(manager);
    EXPECT_EQ(Import(manager, read, name, kAscii), "File is corrupted");
    EXPECT_EQ(fileiotest::ManagerCounts(manager), counts);
    EXPECT_EQ(read.GetRootNode()->GetChildCount(), 0);
    // The scene written from keeps its own targets.
    EXPECT_EQ(NameOf(Find(scene, "Eye")->GetTarget()), "Model::Empty");
}

// Read without nodes (the model option off), the file's node connections,
// targets included, name nothing read and are passed over: the rest of the
// scene reads.
TEST(NativeTargets, ReadWithoutNodes)
{
    TempDir dir;
    for (const Form& form : kForms)
    {
        SCOPED_TRACE(form.mExport);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        BuildAims(manager, scene);
        const std::string name = dir.File("nodes.qox");
        ASSERT_TRUE(Export(manager, scene, name, form));
        KQoxImporter importer(manager);
        importer.SetPassword(form.mPassword);
        ASSERT_TRUE(importer.Initialize(name.c_str()));
        KStreamOptionsQox options;
        options.SetState(KStreamOptionsQox::eMODEL, false);
        KQoxScene read(manager);
        EXPECT_TRUE(importer.Import(read, &options)) << importer.GetLastErrorString();
        EXPECT_EQ(read.GetRootNode()->GetChildCount(), 0);
    }
}
