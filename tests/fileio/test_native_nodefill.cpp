// The blocks of plain nodes read on other threads while the objects section
// of a binary file is read on: files of many objects read with sSideBySide
// on give the same scene, manager lists, files written again and errors as
// with it off (everything on the calling thread).

#include <gtest/gtest.h>

#include <cctype>
#include <cfloat>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/kcrcfile.h"
#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fileio/iqoxobject.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio/kqoxreaderqox.h"
#include "fileio/kqoxreaderqox_private.h"
#include "fileio/kqoxstreamoptionsqox.h"
#include "fileio_test_util.h"
#include "object/kproperty.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxgenericnode.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmarker.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnull.h"
#include "scene/attributes/kqoxskeleton.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "character/kqoxcharacter.h"
#include "character/kqoxcontrolsetplug.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodelimits.h"
#include "scene/kqoxpose.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakeinfo.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxthumbnail.h"
#include "scene/kqoxuserproperty.h"

using namespace qoxsdk_600;
using fileiotest::Export;
using fileiotest::ListScene;
using fileiotest::Number;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

using fileiotest::kHead;
using fileiotest::LE;
using fileiotest::ObjectBoundaries;
using fileiotest::RecordEnd;
using fileiotest::Reseal;

namespace {

// The scenes here are sized around this threshold: sections of 512 records
// or more are read on several threads (the whole test program reads so).
const int kSideBySideRecords = (KQoxRead6::sSideBySideRecords = 512);

// Sets sSideBySide for a scope.
class SideBySide
{
public:
    explicit SideBySide(bool on) { KQoxRead6::sSideBySide = on; }
    ~SideBySide() { KQoxRead6::sSideBySide = true; }
};

const char* const kUserTypes[] = {"Bool", "Real", "Color", "Integer", "Vector"};

// A small mesh on node: a triangle, material (by polygon) and texture
// layers.
void AddMesh(KQoxSdkManager& manager, KQoxNode& node, KQoxMaterial* material, KQoxTexture* texture, int seed)
{
    KQoxMesh* mesh = manager.CreateKQoxMesh();
    node.SetNodeAttribute(mesh);
    mesh->InitControlPoints(3);
    for (int i = 0; i < 3; ++i)
        mesh->GetControlPoints()[i] = KQoxVector4(i + seed, seed * 0.5, -i, 1);
    mesh->BeginPolygon(-1, -1, 0);
    for (int v = 0; v < 3; ++v)
        mesh->AddPolygon(v);
    mesh->EndPolygon();
    KQoxLayer* layer = mesh->GetLayer(0);
    KQoxLayerElementMaterial* materials = new KQoxLayerElementMaterial;
    materials->mMappingMode = KQoxLayerElement::eALL_SAME;
    materials->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
    materials->mDirectArray.Add(material);
    materials->mIndexArray.Add(0);
    layer->SetMaterials(materials);
    if (texture)
    {
        KQoxLayerElementTexture* textures = new KQoxLayerElementTexture;
        textures->mMappingMode = KQoxLayerElement::eALL_SAME;
        textures->mDirectArray.Add(texture);
        textures->mIndexArray.Add(0);
        layer->SetTextures(textures);
    }
}

// Keys on the node's translation X in take.
void Animate(KQoxNode& node, const char* take, int seed)
{
    KQoxTakeNode* takeNode = node.CreateTakeNode(take);
    KFCurve* curve = takeNode->GetTranslationX();
    curve->KeyModifyBegin();
    for (int k = 0; k < 3; ++k)
    {
        const KTime time(static_cast<long long>(k) * 1539538600LL);
        const int index = curve->KeyAdd(time);
        curve->KeySet(index, time, static_cast<float>(seed + k * 0.5), KFCURVE_INTERPOLATION_LINEAR, 0u);
    }
    curve->KeyModifyEnd();
}

// BuildScene and AddEveryKind (every object kind: poses, a character, a
// character pose, meshes, a generic node), then count nodes more: plain
// nodes of odd values between nodes of every other shape (new user
// properties, attributes of each kind, meshes with materials and textures,
// pivots, limits, pivot states, post-target rotations, up vectors,
// shading, culling, multi-take, takes, targets), in a wide branch, a deep
// chain and under the nodes BuildScene made. exact: without what reads
// back otherwise than the scene written lists it (see ReadsAsTheSceneWritten).
void BuildBig(KQoxSdkManager& manager, KQoxScene& scene, int count, bool exact = false)
{
    fileiotest::BuildScene(manager, scene, "");
    fileiotest::AddEveryKind(manager, scene, true);
    if (!exact)
    {
        // User properties of objects read after the nodes, once the nodes'
        // blocks are in.
        scene.GetControlSetPlug(0)->AddProperty(manager.CreateKQoxUserProperty("PlugWeight", "Real", "w"));
        scene.GetCharacter(0)->AddProperty(manager.CreateKQoxUserProperty("HeroWeight", "Real", "w"));
    }
    KQoxNode* root = scene.GetRootNode();
    KQoxNode* wide = manager.CreateKQoxNode("Wide");
    root->AddChild(wide);
    KQoxNode* deep = manager.CreateKQoxNode("Deep");
    root->AddChild(deep);
    KQoxNode* hips = root->FindChild("Hips", true);
    std::vector<KQoxNode*> made;
    std::vector<KQoxMaterial*> materials;
    for (int i = 0; i < count; ++i)
    {
        KQoxNode* node = manager.CreateKQoxNode(("n" + std::to_string(i)).c_str());
        // Parents: the wide branch, the deep chain, BuildScene's nodes, or
        // a node made before (a tree of all depths).
        KQoxNode* parent = wide;
        switch (i % 5)
        {
        case 0: parent = wide; break;
        case 1: parent = deep; break;
        case 2: parent = i % 3 ? hips : root; break;
        default: parent = made.empty() ? wide : made[static_cast<size_t>(i * 7919) % made.size()]; break;
        }
        parent->AddChild(node);
        if (i % 5 == 1)
            deep = node;
        made.push_back(node);
        // Odd values on every node: they go through the property rows.
        const double odd[] = {i + 0.125, -DBL_MAX, 1e-310, -0.0, DBL_MIN, 1e300, 3.0e38, -i * 1e-7};
        node->SetDefaultT(KQoxVector4(odd[i % 8], odd[(i + 3) % 8], i * 0.1));
        node->SetDefaultR(KQoxVector4(i % 360, -odd[(i + 1) % 8], 45.5));
        node->SetDefaultS(KQoxVector4(1 + i % 4, 0.5, odd[(i + 5) % 8]));
        node->SetVisibility(i % 3 != 0);
        node->SetDefaultVisibility(i % 3 != 0 ? 1.0 : 0.0);
        switch (i % 17)
        {
        case 1:
        {
            // A new user property: the node's block is read here.
            KQoxUserProperty* user = manager.CreateKQoxUserProperty(
                ("Custom" + std::to_string(i % 7)).c_str(), kUserTypes[i % 5], ("Label " + std::to_string(i)).c_str());
            user->ModifyFlag(KQoxUserProperty::eANIMATABLE, i % 2 == 0);
            user->SetLimits(-i, i);
            node->AddProperty(user);
            break;
        }
        case 2:
        {
            KQoxLight* light = manager.CreateKQoxLight();
            light->SetLightType(static_cast<KQoxLight::ELightType>(i % 3));
            light->SetDefaultIntensity(i * 0.5);
            light->SetFileName(("gobo" + std::to_string(i) + ".tif").c_str());
            node->SetNodeAttribute(light);
            break;
        }
        case 3:
        {
            KQoxCamera* camera = manager.CreateKQoxCamera();
            camera->SetDefaultFieldOfView(10 + i % 80);
            node->SetNodeAttribute(camera);
            break;
        }
        case 4:
        {
            KQoxSkeleton* skeleton = manager.CreateKQoxSkeleton();
            skeleton->SetSkeletonType(i % 2 ? KQoxSkeleton::eLIMB : KQoxSkeleton::eROOT);
            node->SetNodeAttribute(skeleton);
            break;
        }
        case 5:
        {
            KQoxMarker* marker = manager.CreateKQoxMarker();
            marker->SetSize(i);
            node->SetNodeAttribute(marker);
            break;
        }
        case 6: node->SetNodeAttribute(manager.CreateKQoxNull()); break;
        case 7:
        {
            // Pivots of each kind, active or for reference.
            node->SetRotationPivot(eSOURCE_SET, KQoxVector4(i, 2, 3));
            node->SetPreRotation(eSOURCE_SET, KQoxVector4(0, 90, i % 30));
            node->SetScalingOffset(eSOURCE_SET, KQoxVector4(0, -0.5, 0));
            node->SetGeometricTranslation(eSOURCE_SET, KQoxVector4(1e-300, 0, 7));
            node->SetRotationOrder(eSOURCE_SET, static_cast<ERotationOrder>(i % 6));
            node->SetPivotState(eSOURCE_SET, i % 2 ? ePIVOT_STATE_ACTIVE : ePIVOT_STATE_REFERENCE);
            break;
        }
        case 8:
        {
            // Limits of every kind.
            KQoxNodeLimits& limits = node->GetLimits();
            limits.SetTranslationLimitActive(i % 2 == 0);
            limits.SetRotationLimitActive(true);
            limits.SetScalingLimitActive(i % 3 == 0);
            limits.mRotationLimits.SetLimitMinActive(true, i % 2 == 0, false);
            limits.mRotationLimits.SetLimitMin(KQoxVector4(-90, -i, 0));
            limits.mTranslationLimits.SetLimitMaxActive(false, true, true);
            limits.mTranslationLimits.SetLimitMax(KQoxVector4(0, i, DBL_MAX));
            break;
        }
        case 9:
            // Neutral pivots kept in either state.
            node->SetPivotState(eSOURCE_SET, i % 2 ? ePIVOT_STATE_REFERENCE : ePIVOT_STATE_ACTIVE);
            break;
        case 10:
            node->SetPostTargetRotation(KQoxVector4(0, i, -0.0, 1e-300));
            node->SetTargetUpVector(KQoxVector4(0, 0, 1, i));
            node->SetShadingMode(static_cast<KQoxNode::EShadingMode>(i % 6));
            node->SetCullingType(i % 3);
            node->SetMultiTakeMode(i % 2 ? KQoxNode::eMULTI_TAKE : KQoxNode::eNO_MULTI_TAKE);
            node->SetMultiLayer(i % 4 == 0);
            break;
        case 11:
            Animate(*node, "Walk", i);
            if (i % 2)
                Animate(*node, "Run", -i);
            break;
        case 12:
            if (made.size() > 2)
            {
                node->SetTarget(made[static_cast<size_t>(i) % (made.size() - 1)]);
                node->SetTargetUp(made[0]);
            }
            break;
        case 13:
            // A user property of the name of one of the node's own
            // properties: the file lists it, the reader makes nothing.
            if (!exact)
                node->AddProperty(manager.CreateKQoxUserProperty("Visibility", "Real", "Clash"));
            break;
        case 14:
            if (i % 3 == 0)
            {
                KQoxMaterial* material = manager.CreateKQoxMaterial(("Mat" + std::to_string(i)).c_str());
                material->SetDefaultDiffuseColor(KQoxColor(i % 2, 0.25, 0.5, 1));
                // User properties made on the reading thread while other
                // threads fill nodes' blocks.
                if (!exact)
                    material->AddProperty(manager.CreateKQoxUserProperty("Gloss", "Real", "Gloss"));
                materials.push_back(material);
                KQoxTexture* texture = nullptr;
                if (i % 2 && !exact)
                {
                    texture = manager.CreateKQoxTexture(("Tex" + std::to_string(i)).c_str());
                    texture->SetFileName(("/t/" + std::to_string(i) + ".png").c_str());
                    texture->SetUVScaling(KQoxVector2(i, 0.5));
                    texture->AddProperty(manager.CreateKQoxUserProperty("Tint", "Color", "Tint"));
                }
                AddMesh(manager, *node, material, texture, i);
            }
            break;
        default: break;
        }
    }
    // Takes for the nodes animated.
    for (const char* name : {"Walk", "Run"})
        if (!scene.GetTakeInfo(KString(name)))
        {
            KQoxTakeInfo info;
            info.Name = name;
            scene.SetTakeInfo(info);
        }
}

// count nodes "n<i>" in a tree, plain but for a new user property on every
// ninth and a light on every fiftieth; odd values, pivot states, limits.
void BuildPlain(KQoxSdkManager& manager, KQoxScene& scene, int count)
{
    KQoxNode* parent = scene.GetRootNode();
    for (int i = 0; i < count; ++i)
    {
        KQoxNode* node = manager.CreateKQoxNode(("n" + std::to_string(i)).c_str());
        parent->AddChild(node);
        if (i % 40 == 0)
            parent = node;
        node->SetDefaultT(KQoxVector4(i + 0.5, -DBL_MAX, 1e-310));
        node->SetDefaultR(KQoxVector4(0, i % 360, -0.0));
        node->SetDefaultS(KQoxVector4(1, 3.0e38, 0.25));
        if (i % 9 == 4)
        {
            KQoxUserProperty* user = manager.CreateKQoxUserProperty("Weight", kUserTypes[i % 5], "Weight");
            user->SetLimits(-1, i);
            node->AddProperty(user);
        }
        if (i % 50 == 7)
        {
            KQoxLight* light = manager.CreateKQoxLight();
            light->SetFileName("gobo.tif");
            node->SetNodeAttribute(light);
        }
        if (i % 11 == 3)
        {
            node->SetRotationPivot(eSOURCE_SET, KQoxVector4(i, 0, 1));
            node->SetPivotState(eSOURCE_SET, i % 2 ? ePIVOT_STATE_REFERENCE : ePIVOT_STATE_ACTIVE);
            node->GetLimits().SetRotationLimitActive(true);
            node->GetLimits().mRotationLimits.SetLimitMaxActive(true, false, true);
        }
    }
}

std::string Vector(const KQoxVector4& v)
{
    return Number(v[0]) + "," + Number(v[1]) + "," + Number(v[2]) + "," + Number(v[3]);
}

// Everything of each node the manager lists, in its order, as read (before
// ListScene moves the pivots and limits into the properties): parent,
// children, properties with their kinds, flags, limits and values, the
// pivot sets, limits, target fields, modes, the Default take's state and
// values, user properties, attribute and takes; then the manager's other
// lists in order.
std::string Dump(KQoxSdkManager& manager)
{
    std::ostringstream out;
    for (int n = 0; n < manager.GetKQoxNodeCount(); ++n)
    {
        KQoxNode* node = manager.GetKQoxNode(n);
        out << "node " << node->GetName() << " parent " << (node->GetParent() ? node->GetParent()->GetName() : "-")
            << " children " << node->GetChildCount() << " target "
            << (node->GetTarget() ? node->GetTarget()->GetName() : "-") << " up "
            << (node->GetTargetUp() ? node->GetTargetUp()->GetName() : "-") << "\n";
        out << " pending " << node->IsDefaultTakePending() << " takes " << node->GetTakeNodeCount() << " shading "
            << node->GetShadingMode() << " culling " << node->GetCullingType() << " multitake "
            << node->GetMultiTakeMode() << " multilayer " << node->GetMultiLayer() << "\n";
        out << " posttarget " << Vector(node->GetPostTargetRotation()) << " upvector "
            << Vector(node->GetTargetUpVector()) << "\n";
        if (KObject* handler = node->GetPropertyHandler())
            for (int i = 0; i < handler->GetPropertyCount(); ++i)
            {
                const KPropertyInfo& info = handler->ReadPropertyInfoAt(i);
                out << " prop " << (info.mName ? info.mName : "?") << " " << info.mType << " flags " << info.mFlags
                    << "/" << handler->GetPropertyFlagAt(i) << " limits " << Number(info.mMin) << " "
                    << Number(info.mMax) << " =";
                KProperty* property = handler->GetProperty(i);
                switch (info.mType)
                {
                case kPropertyTypeVector3D:
                case kPropertyTypeVector4D:
                case kPropertyTypeColorRGB:
                case kPropertyTypeColorRGBA:
                {
                    double v[4] = {0, 0, 0, 0};
                    property->GetData(v, 0, nullptr, nullptr);
                    for (double d : v)
                        out << " " << Number(d);
                    break;
                }
                case kPropertyTypeInt:
                case kPropertyTypeEnum: out << " " << property->AsInteger(); break;
                case kPropertyTypeFloat:
                case kPropertyTypeDouble: out << " " << Number(property->AsDouble()); break;
                case kPropertyTypeBool:
                {
                    bool b = false;
                    property->GetData(&b, 0, nullptr, nullptr);
                    out << " " << b;
                    break;
                }
                default: break;
                }
                out << " own " << property->GetPropertyFlag() << "\n";
            }
        EPivotState state;
        node->GetPivotState(eSOURCE_SET, state);
        ERotationOrder order;
        node->GetRotationOrder(eSOURCE_SET, order);
        out << " pivots " << state << " " << order << " " << node->GetUseRotationSpaceForLimitOnly(eSOURCE_SET) << " "
            << Vector(node->GetRotationOffset(eSOURCE_SET)) << " " << Vector(node->GetRotationPivot(eSOURCE_SET)) << " "
            << Vector(node->GetPreRotation(eSOURCE_SET)) << " " << Vector(node->GetPostRotation(eSOURCE_SET)) << " "
            << Vector(node->GetScalingOffset(eSOURCE_SET)) << " " << Vector(node->GetScalingPivot(eSOURCE_SET)) << " "
            << Vector(node->GetGeometricTranslation(eSOURCE_SET)) << " "
            << Vector(node->GetGeometricRotation(eSOURCE_SET)) << " " << Vector(node->GetGeometricScaling(eSOURCE_SET))
            << "\n";
        KQoxNodeLimits& limits = node->GetLimits();
        out << " limits " << limits.GetTranslationLimitActive() << limits.GetRotationLimitActive()
            << limits.GetScalingLimitActive();
        for (KQoxLimits* each : {&limits.mTranslationLimits, &limits.mRotationLimits, &limits.mScalingLimits})
        {
            bool a[6];
            each->GetLimitMinActive(a[0], a[1], a[2]);
            each->GetLimitMaxActive(a[3], a[4], a[5]);
            out << " ";
            for (bool b : a)
                out << b;
            out << " " << Vector(each->GetLimitMin()) << " " << Vector(each->GetLimitMax());
        }
        out << "\n";
        KQoxVector4 t, r, s;
        out << " default " << Vector(node->GetDefaultT(t)) << " " << Vector(node->GetDefaultR(r)) << " "
            << Vector(node->GetDefaultS(s)) << " " << Number(node->GetDefaultVisibility()) << "\n";
        for (int u = 0; u < node->GetPropertyCount(); ++u)
        {
            KQoxUserProperty* user = node->GetProperty(u);
            out << " user " << user->GetName().ToChars() << " " << user->GetPropertyType() << " "
                << user->GetLabel(false).ToChars() << " " << Number(user->GetMinLimit()) << " "
                << Number(user->GetMaxLimit()) << " " << user->GetFlag(KQoxUserProperty::eANIMATABLE)
                << user->GetFlag(KQoxUserProperty::eUSER) << user->GetFlag(KQoxUserProperty::eTEMPORARY) << "\n";
        }
        if (KQoxNodeAttribute* attribute = node->GetNodeAttribute())
            out << " attribute " << attribute->GetAttributeType() << "\n";
        for (int k = 0; k < node->GetTakeNodeCount(); ++k)
        {
            KQoxTakeNode* take = node->GetTakeNode(k);
            out << " take " << take->GetName();
            if (KFCurve* curve = take->GetTranslationX())
            {
                out << " tx " << Number(curve->GetValue());
                fileiotest::ListKeys(out, *curve);
            }
            out << "\n";
        }
    }
    out << fileiotest::ManagerCounts(manager) << "\n";
    for (int i = 0; i < manager.GetKQoxMaterialCount(); ++i)
        out << "material " << manager.GetKQoxMaterial(i)->GetName() << "\n";
    for (int i = 0; i < manager.GetKQoxTextureCount(); ++i)
        out << "texture " << manager.GetKQoxTexture(i)->GetName() << " "
            << manager.GetKQoxTexture(i)->GetPropertyCount() << "\n";
    for (int i = 0; i < manager.GetKQoxVideoCount(); ++i)
        out << "video " << manager.GetKQoxVideo(i)->GetName() << "\n";
    for (int i = 0; i < manager.GetKQoxPoseCount(); ++i)
        out << "pose " << manager.GetKQoxPose(i)->GetName() << " " << manager.GetKQoxPose(i)->GetCount() << "\n";
    for (int i = 0; i < manager.GetKQoxGenericNodeCount(); ++i)
        out << "generic " << manager.GetKQoxGenericNode(i)->GetName() << " "
            << manager.GetKQoxGenericNode(i)->GetPropertyCount() << "\n";
    return out.str();
}

// What reading a file gives: the outcome of fileiotest (listing, file
// written again, error) and the dump of the manager.
struct Outcome : fileiotest::ReadOutcome
{
    std::string mDump;
    std::string mCountsAfter; // the manager once the scene is gone
};

void Finish(KQoxSdkManager& manager, KQoxScene& scene, Outcome& out, const std::string& again, int format)
{
    if (!out.mRead)
    {
        out.mDump = Dump(manager);
        return;
    }
    out.mDump = Dump(manager);
    out.mListing = ListScene(manager, scene);
    if (again.empty())
        return;
    KQoxExporter exporter(manager);
    if (exporter.Initialize(again.c_str()) && exporter.SetFileFormat(format) && exporter.Export(scene))
        out.mWritten = ReadFile(again);
}

// Imports name into a new manager, sSideBySide as given.
Outcome ReadWay(const std::string& name, bool sideBySide, const std::string& again = "",
                int format = eEXPORT_QOX_BINARY, const char* password = "")
{
    Outcome out;
    {
        KQoxSdkManager manager;
        {
            SideBySide way(sideBySide);
            KQoxScene scene(manager);
            KQoxImporter importer(manager);
            importer.SetPassword(password);
            out.mRead = importer.Initialize(name.c_str()) && importer.Import(scene);
            out.mErrorID = importer.GetLastErrorID();
            out.mError = importer.GetLastErrorString();
            Finish(manager, scene, out, again, format);
        }
        out.mCountsAfter = fileiotest::ManagerCounts(manager);
    }
    return out;
}

// Expects two long texts equal; on a difference, the first line that
// differs is shown (not the texts: megabytes, too long to compare line by
// line).
void ExpectSameText(const std::string& expected, const std::string& actual, const char* what)
{
    if (expected == actual)
        return;
    std::istringstream a(expected), b(actual);
    std::string la, lb;
    int line = 0;
    while (true)
    {
        const bool moreA = static_cast<bool>(std::getline(a, la));
        const bool moreB = static_cast<bool>(std::getline(b, lb));
        if (!moreA || !moreB || la != lb)
        {
            ADD_FAILURE() << what << " differ at line " << line << ":\n"
                          << (moreA ? la : "(end)") << "\n"
                          << (moreB ? lb : "(end)");
            return;
        }
        ++line;
    }
}

void ExpectSame(const Outcome& expected, const Outcome& actual)
{
    EXPECT_EQ(expected.mRead, actual.mRead);
    EXPECT_EQ(expected.mErrorID, actual.mErrorID);
    EXPECT_EQ(expected.mError, actual.mError);
    ExpectSameText(expected.mListing, actual.mListing, "listings");
    ExpectSameText(expected.mDump, actual.mDump, "dumps");
    EXPECT_TRUE(expected.mWritten == actual.mWritten) << "files written again differ";
    EXPECT_EQ(expected.mCountsAfter, actual.mCountsAfter);
}

// The kind of the record at.
std::string RecordKind(const std::string& bytes, size_t at)
{
    return bytes.substr(at + 3, static_cast<size_t>(LE(bytes, at + 1, 2)));
}

// One big binary file for the damage tests, written once.
class NodeFillFile : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        sDir = new TempDir;
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        BuildBig(manager, scene, 900);
        sName = new std::string(sDir->File("big.qox"));
        ASSERT_TRUE(Export(manager, scene, *sName, eEXPORT_QOX_BINARY));
        sBytes = new std::string(ReadFile(*sName));
        KQoxSdkManager plainManager;
        KQoxScene plain(plainManager);
        BuildPlain(plainManager, plain, 560);
        sPlainName = new std::string(sDir->File("plain.qox"));
        ASSERT_TRUE(Export(plainManager, plain, *sPlainName, eEXPORT_QOX_BINARY));
        sPlainBytes = new std::string(ReadFile(*sPlainName));
    }
    static void TearDownTestSuite()
    {
        delete sPlainBytes;
        delete sPlainName;
        delete sBytes;
        delete sName;
        delete sDir;
    }

    // Both ways of reading bytes; expects the same outcomes, and returns
    // the side-by-side one.
    Outcome BothWays(const std::string& bytes)
    {
        const std::string name = sDir->File("edited.qox");
        EXPECT_TRUE(WriteFile(name, bytes));
        const Outcome slow = ReadWay(name, false);
        const Outcome fast = ReadWay(name, true);
        ExpectSame(slow, fast);
        return fast;
    }

    static TempDir* sDir;
    static std::string* sName;
    static std::string* sBytes;
    // A lighter file (quicker to read many times): mostly plain nodes.
    static std::string* sPlainName;
    static std::string* sPlainBytes;
};

TempDir* NodeFillFile::sDir = nullptr;
std::string* NodeFillFile::sName = nullptr;
std::string* NodeFillFile::sBytes = nullptr;
std::string* NodeFillFile::sPlainName = nullptr;
std::string* NodeFillFile::sPlainBytes = nullptr;

// Whether the record text holds the name "Model::<node>" whole (a name
// value is followed by the next value's code, never by a digit).
bool NamesNode(const std::string& record, const std::string& node)
{
    const std::string needle = "Model::" + node;
    for (size_t at = record.find(needle); at != std::string::npos; at = record.find(needle, at + 1))
        if (at + needle.size() >= record.size() ||
            !std::isdigit(static_cast<unsigned char>(record[at + needle.size()])))
            return true;
    return false;
}

// The bytes [begin, end) of the record of the node named node.
std::pair<size_t, size_t> RecordOf(const std::string& bytes, const std::string& node)
{
    const std::vector<size_t> records = ObjectBoundaries(bytes);
    for (size_t r = 0; r + 1 < records.size(); ++r)
        if (RecordKind(bytes, records[r]) == "Model" &&
            NamesNode(bytes.substr(records[r], records[r + 1] - records[r]), node))
            return {records[r], records[r + 1]};
    return {std::string::npos, std::string::npos};
}

} // namespace

TEST_F(NodeFillFile, ReadsAsOnTheCallingThread)
{
    const std::vector<size_t> records = ObjectBoundaries(*sBytes);
    ASSERT_GT(records.size(), 900u);
    const std::string again = sDir->File("again.qox");
    const Outcome slow = ReadWay(*sName, false, again);
    const Outcome fast = ReadWay(*sName, true, again);
    ASSERT_TRUE(slow.mRead) << slow.mError;
    ExpectSame(slow, fast);
    EXPECT_NE(std::string::npos, fast.mDump.find("node Model::n899 "));
}

TEST(NodeFill, ReadsAsTheSceneWritten)
{
    // The listing of the scene written (its time warps baked as the reader
    // does) is the one of the scene read, side by side. (Built to read back
    // exactly: no user property of a node's own property's name, which the
    // scene written lists apart, and no textures on the extra meshes, which
    // the scene read lists in another order.)
    TempDir dir;
    const std::string name = dir.File("big.qox");
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildBig(manager, scene, 900, true);
    ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_BINARY));
    fileiotest::MergeTimeWarps(manager, scene);
    const std::string written = ListScene(manager, scene);
    SideBySide way(true);
    KQoxSdkManager readManager;
    KQoxScene read(readManager);
    ASSERT_TRUE(fileiotest::Import(readManager, read, name));
    const std::string got = ListScene(readManager, read);
    ExpectSameText(written, got, "listings");
}

TEST_F(NodeFillFile, KindsLeftOutReadAsOnTheCallingThread)
{
    // Stream options leaving kinds out: the nodes (none added to the fill),
    // materials, textures, characters, settings, animation. The same
    // outcome both ways.
    const int kinds[] = {KStreamOptionsQox::eMODEL,           KStreamOptionsQox::eMATERIAL,
                         KStreamOptionsQox::eTEXTURE,         KStreamOptionsQox::eCHARACTER,
                         KStreamOptionsQox::eGLOBAL_SETTINGS, KStreamOptionsQox::eANIMATION};
    for (int kind : kinds)
    {
        SCOPED_TRACE(kind);
        std::string dumps[2];
        for (bool sideBySide : {false, true})
        {
            SideBySide way(sideBySide);
            KQoxSdkManager manager;
            KQoxScene scene(manager);
            KQoxImporter importer(manager);
            ASSERT_TRUE(importer.Initialize(sName->c_str()));
            KStreamOptionsQox options;
            options.SetState(kind, false);
            // Without materials or textures, the meshes' layers name objects
            // not read: refused either way.
            const bool read = importer.Import(scene, &options);
            EXPECT_EQ(kind != KStreamOptionsQox::eMATERIAL && kind != KStreamOptionsQox::eTEXTURE, read)
                << importer.GetLastErrorString();
            dumps[sideBySide] = std::string(importer.GetLastErrorString()) + "\n" + Dump(manager) +
                                (read ? ListScene(manager, scene) : "");
        }
        ExpectSameText(dumps[0], dumps[1], "dumps");
    }
}

TEST_F(NodeFillFile, OtherRecordsBetweenTheNodes)
{
    // The records that are no nodes (generic nodes, deformers, poses,
    // characters, plugs, character poses, settings) moved between the
    // nodes, in their order: those that may touch nodes wait for the nodes'
    // blocks, the others are read meanwhile.
    const std::vector<size_t> records = ObjectBoundaries(*sBytes);
    std::vector<std::string> nodes, others, last, head;
    for (size_t r = 0; r + 1 < records.size(); ++r)
    {
        const std::string record = sBytes->substr(records[r], records[r + 1] - records[r]);
        const std::string kind = RecordKind(*sBytes, records[r]);
        if (kind == "Model")
            nodes.push_back(record);
        else if (nodes.empty())
            head.push_back(record); // materials, textures, videos: the nodes' geometry refers to them
        else if (kind == "Character" || kind == "ControlSetPlug")
            last.push_back(record); // they name nodes by position: after them
        else
            others.push_back(record);
    }
    ASSERT_GT(nodes.size(), 900u);
    ASSERT_GT(others.size(), 5u);
    ASSERT_EQ(2u, last.size());
    for (int spread : {0, 1, 2})
    {
        SCOPED_TRACE(spread);
        // spread 0: every record after node 700; 1: one every 97 nodes, the
        // character and plug after the last node; 2: all at the start of the
        // nodes, the character and plug after the last node.
        std::vector<std::string> moved = others;
        if (spread == 0)
            moved.insert(moved.end(), last.begin(), last.end());
        std::string section;
        for (const std::string& record : head)
            section += record;
        size_t other = 0;
        for (size_t n = 0; n < nodes.size(); ++n)
        {
            if ((spread == 0 && n == 700) || (spread == 1 && n % 97 == 50) || (spread == 2 && n == 0))
                for (size_t k = 0; k < (spread == 1 ? 1 : moved.size()) && other < moved.size(); ++k)
                    section += moved[other++];
            section += nodes[n];
        }
        for (; other < moved.size(); ++other)
            section += moved[other];
        if (spread != 0)
            for (const std::string& record : last)
                section += record;
        std::string bytes = *sBytes;
        ASSERT_EQ(records.back() - records.front(), section.size());
        bytes.replace(records.front(), section.size(), section);
        Reseal(bytes);
        const Outcome fast = BothWays(bytes);
        EXPECT_TRUE(fast.mRead) << fast.mError;
    }
}

TEST_F(NodeFillFile, MaterialsAndTexturesBetweenTheNodes)
{
    // The materials and textures of the meshes BuildBig made ("Mat<i>",
    // "Tex<i>"), in their order, moved right before the first node whose
    // mesh refers to one of them: the reading thread reads them while other
    // threads fill blocks of the nodes before.
    const std::vector<size_t> records = ObjectBoundaries(*sBytes);
    std::vector<std::string> all, kinds;
    for (size_t r = 0; r + 1 < records.size(); ++r)
    {
        all.push_back(sBytes->substr(records[r], records[r + 1] - records[r]));
        kinds.push_back(RecordKind(*sBytes, records[r]));
    }
    std::vector<bool> moved(all.size(), false);
    std::vector<std::string> targets;
    std::string shading;
    for (size_t r = 0; r < all.size(); ++r)
        for (const char* prefix : {"Material::Mat", "Texture::Tex"})
        {
            const size_t at = all[r].find(prefix);
            if ((kinds[r] != "Material" && kinds[r] != "Texture") || at == std::string::npos)
                continue;
            size_t end = at + std::strlen(prefix);
            while (end < all[r].size() && std::isdigit(static_cast<unsigned char>(all[r][end])))
                ++end;
            targets.push_back("n" + all[r].substr(at + std::strlen(prefix), end - at - std::strlen(prefix)));
            shading += all[r];
            moved[r] = true;
        }
    ASSERT_GT(targets.size(), 20u);
    size_t first = all.size();
    for (size_t m = 0; m < all.size() && first == all.size(); ++m)
        for (const std::string& target : targets)
            if (kinds[m] == "Model" && NamesNode(all[m], target))
            {
                first = m;
                break;
            }
    ASSERT_LT(first, all.size());
    std::string section;
    size_t nodesBefore = 0;
    for (size_t r = 0; r < all.size(); ++r)
    {
        if (r == first)
            section += shading;
        if (!moved[r])
            section += all[r];
        if (r < first && kinds[r] == "Model")
            ++nodesBefore;
    }
    EXPECT_GT(nodesBefore, 100u);
    std::string bytes = *sBytes;
    ASSERT_EQ(records.back() - records.front(), section.size());
    bytes.replace(records.front(), section.size(), section);
    Reseal(bytes);
    const Outcome fast = BothWays(bytes);
    EXPECT_TRUE(fast.mRead) << fast.mError;
}

TEST_F(NodeFillFile, DamagedPlainNodeFailsAsOnTheCallingThread)
{
    // A byte of a plain node's Property rows changed, resealed or not, in
    // nodes of the first, a middle and the last batch; the file cut there.
    // What a failed read leaves: what no read leaves.
    const std::string counts = ReadWay(sDir->File("none.qox"), false).mCountsAfter;
    int failed = 0, read = 0;
    for (const char* node : {"n5", "n300", "n555"})
    {
        SCOPED_TRACE(node);
        const std::pair<size_t, size_t> record = RecordOf(*sPlainBytes, node);
        ASSERT_NE(std::string::npos, record.first);
        const size_t rows = sPlainBytes->find("Properties", record.first);
        ASSERT_LT(rows, record.second);
        const size_t span = record.second - rows;
        for (size_t step = 0; step < 3; ++step)
        {
            const size_t at = rows + span * (2 * step + 1) / 7;
            for (int kind = 0; kind < 3; ++kind)
            {
                std::string bytes = *sPlainBytes;
                if (kind == 2)
                    bytes.resize(at);
                else
                {
                    bytes[at] = static_cast<char>(bytes[at] ^ (step % 2 ? 0x01 : 0xFF));
                    if (kind == 1)
                        Reseal(bytes);
                }
                const Outcome fast = BothWays(bytes);
                if (fast.mRead)
                    ++read;
                else
                {
                    ++failed;
                    EXPECT_EQ(fast.mError, "File is corrupted") << at << " " << kind;
                    EXPECT_EQ(fast.mCountsAfter, counts);
                }
            }
        }
    }
    EXPECT_GT(failed, 15);
    EXPECT_GT(read, 0);
}

TEST_F(NodeFillFile, CutAcrossTheObjectsFailsCleanly)
{
    // Cut at records boundaries over the whole section (batches partly
    // handed on when the cut is found) and at random offsets.
    const std::vector<size_t> records = ObjectBoundaries(*sBytes);
    KQoxSdkManager manager;
    const std::string name = sDir->File("cut.qox");
    for (size_t r = 1; r < records.size(); r += records.size() / 9)
        for (size_t extra : {size_t(0), size_t(37)})
        {
            const size_t at = records[r] + extra;
            SCOPED_TRACE(at);
            const std::string bytes = sBytes->substr(0, at);
            BothWays(bytes);
            // One manager for every failed read, its scene gone right after.
            ASSERT_TRUE(WriteFile(name, bytes));
            {
                auto scene = std::make_unique<KQoxScene>(manager);
                const std::string before = fileiotest::ManagerCounts(manager);
                KQoxImporter importer(manager);
                ASSERT_FALSE(importer.Initialize(name.c_str()) && importer.Import(*scene));
                EXPECT_EQ(0, scene->GetRootNode()->GetChildCount());
                EXPECT_EQ(before, fileiotest::ManagerCounts(manager));
            }
        }
}

TEST_F(NodeFillFile, OneManagerReadsTwiceThenFails)
{
    // Two reads into one manager (the second into a new scene, the nodes
    // named as the first's), then a damaged read into a third scene and
    // into the first: the manager keeps the first two, nothing of the
    // failed ones.
    const std::string damagedName = sDir->File("damaged.qox");
    std::string damaged = *sBytes;
    const std::pair<size_t, size_t> record = RecordOf(*sBytes, "n801");
    ASSERT_NE(std::string::npos, record.first);
    const size_t rows = damaged.find("Properties", record.first);
    damaged[rows + 40] = static_cast<char>(damaged[rows + 40] ^ 0x5A);
    ASSERT_TRUE(WriteFile(damagedName, damaged));
    std::string dumps[2];
    for (bool sideBySide : {false, true})
    {
        SideBySide way(sideBySide);
        KQoxSdkManager manager;
        KQoxScene first(manager), second(manager);
        ASSERT_TRUE(fileiotest::Import(manager, first, *sName));
        ASSERT_TRUE(fileiotest::Import(manager, second, *sName));
        {
            KQoxScene third(manager);
            const std::string kept = fileiotest::ManagerCounts(manager);
            KQoxImporter importer(manager);
            EXPECT_FALSE(importer.Initialize(damagedName.c_str()) && importer.Import(third));
            EXPECT_EQ(0, third.GetRootNode()->GetChildCount());
            EXPECT_EQ(kept, fileiotest::ManagerCounts(manager));
        }
        ExpectSameText(ListScene(manager, first), ListScene(manager, second), "listings");
        // The damaged file into the first scene: it stays as it was.
        const std::string before = ListScene(manager, first) + fileiotest::ManagerCounts(manager);
        {
            KQoxImporter importer(manager);
            EXPECT_FALSE(importer.Initialize(damagedName.c_str()) && importer.Import(first));
        }
        const std::string after = ListScene(manager, first);
        ExpectSameText(before, after + fileiotest::ManagerCounts(manager), "failed read");
        dumps[sideBySide] = Dump(manager) + after;
    }
    ExpectSameText(dumps[0], dumps[1], "dumps");
}

TEST(NodeFill, MemoryBufferReadsAsTheFile)
{
    TempDir dir;
    const std::string name = dir.File("big.qox");
    {
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        BuildBig(manager, scene, 700);
        ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_BINARY));
    }
    const std::string bytes = ReadFile(name);
    // Read from memory both ways, then from the file.
    std::string dumps[3];
    for (int way = 0; way < 3; ++way)
    {
        SideBySide sideBySide(way > 0);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        KQoxReaderQox reader(manager);
        if (way < 2)
            ASSERT_TRUE(reader.FileOpen(bytes.data(), static_cast<unsigned int>(bytes.size())));
        else
            ASSERT_TRUE(reader.FileOpen(name.c_str()));
        ASSERT_TRUE(reader.Read(scene, nullptr)) << reader.GetLastErrorString();
        dumps[way] = Dump(manager) + ListScene(manager, scene);
    }
    ExpectSameText(dumps[0], dumps[1], "memory, both ways");
    ExpectSameText(dumps[2], dumps[1], "memory and file");
    // Cut, from memory as well: nothing of it stays.
    for (bool sideBySide : {false, true})
    {
        SideBySide way(sideBySide);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        const std::string before = fileiotest::ManagerCounts(manager);
        KQoxReaderQox reader(manager);
        const unsigned int cut = static_cast<unsigned int>(bytes.size() * 2 / 3);
        if (reader.FileOpen(bytes.data(), cut))
        {
            EXPECT_FALSE(reader.Read(scene, nullptr));
        }
        EXPECT_EQ(0, scene.GetRootNode()->GetChildCount());
        EXPECT_EQ(before, fileiotest::ManagerCounts(manager));
    }
}

TEST(NodeFill, AsciiAndEncryptedFilesReadTheSame)
{
    // Forms whose readers are not split: read on the calling thread either
    // way, and as the binary file.
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildBig(manager, scene, 600);
    const std::string binary = dir.File("big.qox"), ascii = dir.File("ascii.qox"),
                      encrypted = dir.File("encrypted.qox");
    ASSERT_TRUE(Export(manager, scene, binary, eEXPORT_QOX_BINARY));
    ASSERT_TRUE(Export(manager, scene, ascii, eEXPORT_QOX_ASCII));
    {
        KQoxExporter exporter(manager);
        ASSERT_TRUE(exporter.Initialize(encrypted.c_str()));
        ASSERT_TRUE(exporter.SetFileFormat(eEXPORT_QOX_ENCRYPTED));
        exporter.SetPassword("secret");
        ASSERT_TRUE(exporter.Export(scene));
    }
    const Outcome asciiSlow = ReadWay(ascii, false);
    const Outcome asciiFast = ReadWay(ascii, true);
    ASSERT_TRUE(asciiFast.mRead) << asciiFast.mError;
    ExpectSame(asciiSlow, asciiFast);
    const Outcome encryptedSlow = ReadWay(encrypted, false, "", eEXPORT_QOX_BINARY, "secret");
    const Outcome encryptedFast = ReadWay(encrypted, true, "", eEXPORT_QOX_BINARY, "secret");
    ASSERT_TRUE(encryptedFast.mRead) << encryptedFast.mError;
    ExpectSame(encryptedSlow, encryptedFast);
    const Outcome binaryFast = ReadWay(binary, true);
    ExpectSameText(binaryFast.mDump, encryptedFast.mDump, "dumps");
    ExpectSameText(binaryFast.mListing, encryptedFast.mListing, "listings");
    // Wrong password and a cut ASCII file: the same errors.
    ExpectSame(ReadWay(encrypted, false, "", eEXPORT_QOX_BINARY, "wrong"),
               ReadWay(encrypted, true, "", eEXPORT_QOX_BINARY, "wrong"));
    const std::string text = ReadFile(ascii);
    ASSERT_TRUE(WriteFile(ascii, text.substr(0, text.size() / 2)));
    const Outcome cutSlow = ReadWay(ascii, false);
    EXPECT_FALSE(cutSlow.mRead);
    ExpectSame(cutSlow, ReadWay(ascii, true));
}

TEST(NodeFill, SizesAroundTheBatch)
{
    // Sections just below and above the size read side by side, and node
    // counts around the batch's size: the last batch short, or exactly full.
    TempDir dir;
    for (int count : {500, 512, 513, 1030})
    {
        SCOPED_TRACE(count);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        KQoxNode* parent = scene.GetRootNode();
        for (int i = 0; i < count; ++i)
        {
            KQoxNode* node = manager.CreateKQoxNode(("p" + std::to_string(i)).c_str());
            node->SetDefaultT(KQoxVector4(i, -i * 0.5, 1e-310));
            node->SetDefaultR(KQoxVector4(0, i % 360, 0));
            if (i % 100 == 99)
                node->SetPivotState(eSOURCE_SET, ePIVOT_STATE_REFERENCE);
            parent->AddChild(node);
            if (i % 50 == 0)
                parent = node;
        }
        const std::string name = dir.File("plain.qox"), again = dir.File("again.qox");
        ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_BINARY));
        const Outcome slow = ReadWay(name, false, again);
        const Outcome fast = ReadWay(name, true, again);
        ASSERT_TRUE(fast.mRead) << fast.mError;
        ExpectSame(slow, fast);
        EXPECT_TRUE(fast.mWritten == ReadFile(name));
    }
}

TEST(NodeFill, NewUserPropertiesOfEveryNodeAreKept)
{
    // Nodes whose blocks are read here because they list user properties
    // they lack: the check that tells them from plain nodes reads the list,
    // and the block's reading must still find it. Every node keeps its own,
    // with its type, label and flags.
    TempDir dir;
    const std::string name = dir.File("users.qox");
    {
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        for (int i = 0; i < 600; ++i)
        {
            KQoxNode* node = manager.CreateKQoxNode(("u" + std::to_string(i)).c_str());
            scene.GetRootNode()->AddChild(node);
            if (i % 3 == 0)
                continue; // plain
            KQoxUserProperty* user =
                manager.CreateKQoxUserProperty(("Own" + std::to_string(i % 4)).c_str(), kUserTypes[i % 5], "label");
            user->SetLimits(-i, i);
            user->ModifyFlag(KQoxUserProperty::eANIMATABLE, i % 2 == 0);
            node->AddProperty(user);
        }
        ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_BINARY));
    }
    for (bool sideBySide : {false, true})
    {
        SCOPED_TRACE(sideBySide);
        SideBySide way(sideBySide);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        ASSERT_TRUE(fileiotest::Import(manager, scene, name));
        ASSERT_EQ(600, scene.GetRootNode()->GetChildCount());
        for (int i = 0; i < 600; ++i)
        {
            KQoxNode* node = scene.GetRootNode()->GetChild(i);
            KQoxUserProperty* user = node->FindPropertyByName(("Own" + std::to_string(i % 4)).c_str());
            if (i % 3 == 0)
            {
                EXPECT_EQ(nullptr, user) << i;
                continue;
            }
            ASSERT_NE(nullptr, user) << i;
            EXPECT_STREQ("label", user->GetLabel(false).ToChars()) << i;
            EXPECT_EQ(KQoxUserProperty::GetPropertyTypeName(user->GetPropertyType()), std::string(kUserTypes[i % 5]))
                << i;
            EXPECT_EQ(i % 2 == 0, user->GetFlag(KQoxUserProperty::eANIMATABLE)) << i;
        }
    }
}

namespace {

void Row(IQoxObject& f, const char* name, const char* type, std::initializer_list<double> values)
{
    f.FieldWriteBegin("Property");
    f.FieldWriteC(name);
    f.FieldWriteC(type);
    f.FieldWriteC("A");
    for (double v : values)
        f.FieldWriteD(v);
    f.FieldWriteEnd();
}

void Int(IQoxObject& f, const char* name, int value)
{
    f.FieldWriteBegin(name);
    f.FieldWriteI(value);
    f.FieldWriteEnd();
}

void Doubles(IQoxObject& f, const char* name, int count, double first)
{
    f.FieldWriteBegin(name);
    for (int k = 0; k < count; ++k)
        f.FieldWriteD(first + k);
    f.FieldWriteEnd();
}

void Users(IQoxObject& f, std::initializer_list<const char*> names)
{
    f.FieldWriteBegin("UserProperties");
    f.FieldWriteBlockBegin();
    for (const char* name : names)
    {
        f.FieldWriteBegin("UserProperty");
        f.FieldWriteC(name);
        f.FieldWriteC("Real");
        f.FieldWriteC("label");
        f.FieldWriteI(1);
        f.FieldWriteD(-1);
        f.FieldWriteD(1);
        f.FieldWriteEnd();
    }
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
}

// A node's record of one of fourteen odd shapes (i % 14): missing,
// doubled, reordered and unknown fields, rows of unknown names, kinds and
// value counts, user properties known or new, values out of range.
void OddModel(IQoxObject& f, KQoxNode& source, int i)
{
    f.FieldWriteBegin("Model");
    f.FieldWriteC(("Model::h" + std::to_string(i)).c_str());
    f.FieldWriteC("");
    if (i % 14 == 13)
    {
        f.FieldWriteEnd(); // no block at all
        return;
    }
    f.FieldWriteBlockBegin();
    const double nan = std::nan("");
    switch (i % 14)
    {
    case 0:
        Int(f, "Version", 232);
        f.FieldWritePropertiesList(*source.GetPropertyHandler());
        Int(f, "MultiLayer", i % 2);
        Int(f, "MultiTake", 1);
        f.FieldWriteBegin("Shading");
        f.FieldWriteCH("WFYTU"[i % 5]);
        f.FieldWriteEnd();
        f.FieldWriteBegin("Culling");
        f.FieldWriteC("CullingOnCW");
        f.FieldWriteEnd();
        Int(f, "PivotEnabled", i % 3 == 0 ? 1 : 0);
        Doubles(f, "PostTargetRotation", 4, i);
        Doubles(f, "TargetUpVector", 4, -i);
        break;
    case 1:
        Int(f, "PivotEnabled", 1); // and no properties
        break;
    case 2:
        // Fields in another order, a letter and a token no mode has.
        f.FieldWriteBegin("Culling");
        f.FieldWriteC("Bogus");
        f.FieldWriteEnd();
        Int(f, "PivotEnabled", 0);
        f.FieldWriteBegin("Shading");
        f.FieldWriteCH('?');
        f.FieldWriteEnd();
        f.FieldWritePropertiesList(*source.GetPropertyHandler());
        Int(f, "Version", 232);
        break;
    case 3:
        // The properties twice: the first list is read.
        f.FieldWriteBegin("Properties");
        f.FieldWriteBlockBegin();
        Row(f, "Lcl Translation", "Vector3D", {1, 2, 3});
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        f.FieldWriteBegin("Properties");
        f.FieldWriteBlockBegin();
        Row(f, "Lcl Translation", "Vector3D", {7, 8, 9});
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        break;
    case 4:
        // User properties the node has (and an empty name): it stays plain.
        Users(f, {"Visibility", "Lcl Translation", ""});
        f.FieldWritePropertiesList(*source.GetPropertyHandler());
        break;
    case 5:
        // Two lists of known names.
        Users(f, {"Visibility"});
        Users(f, {"Lcl Scaling"});
        Row(f, "Lcl Scaling", "Vector3D", {2, 2, 2}); // a row outside the list
        break;
    case 6:
        // A new user property among known ones, its value in the list.
        Users(f, {"Visibility", ("New" + std::to_string(i % 4)).c_str()});
        f.FieldWriteBegin("Properties");
        f.FieldWriteBlockBegin();
        Row(f, ("New" + std::to_string(i % 4)).c_str(), "double", {i * 0.5});
        Row(f, "Visibility", "double", {0});
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        break;
    case 7:
        // Short and long vectors, an out-of-range state, NaN.
        Doubles(f, "PostTargetRotation", 2, 1);
        Doubles(f, "TargetUpVector", 6, nan);
        Int(f, "PivotEnabled", 7);
        Int(f, "MultiTake", -3);
        break;
    case 8:
        // Fields and blocks no reader knows, rows inside them.
        Int(f, "Extra", 5);
        f.FieldWriteBegin("Nested");
        f.FieldWriteBlockBegin();
        Row(f, "Lcl Translation", "Vector3D", {4, 5, 6});
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        f.FieldWritePropertiesList(*source.GetPropertyHandler());
        break;
    case 9:
        // Rows of unknown names, wrong kinds, fewer and more values, NaN
        // and infinities, in another order than the node's.
        f.FieldWriteBegin("Properties");
        f.FieldWriteBlockBegin();
        Row(f, "Visibility", "double", {nan});
        Row(f, "Unknown", "double", {1});
        Row(f, "Lcl Rotation", "double", {5});
        Row(f, "Lcl Scaling", "Vector3D", {3});
        Row(f, "Lcl Translation", "Vector3D", {1, 2, 3, 4, 5});
        Row(f, "RotationPivot", "Vector3D", {HUGE_VAL, -HUGE_VAL, DBL_MAX});
        Row(f, "RotationActive", "bool", {1});
        Row(f, "RotationMin", "Vector3D", {-10, -20, -30});
        Row(f, "RotationMinX", "bool", {1});
        Row(f, "RotationOrder", "enum", {4});
        Row(f, "Show", "bool", {});
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        break;
    case 10: break; // an empty block
    case 11:
        // A string where numbers go.
        f.FieldWriteBegin("Properties");
        f.FieldWriteBlockBegin();
        f.FieldWriteBegin("Property");
        f.FieldWriteC("Lcl Translation");
        f.FieldWriteC("Vector3D");
        f.FieldWriteC("A");
        f.FieldWriteC("text");
        f.FieldWriteD(2);
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        Int(f, "PivotEnabled", -1);
        break;
    case 12:
        // Pivots set in the rows, the state saying otherwise.
        f.FieldWriteBegin("Properties");
        f.FieldWriteBlockBegin();
        Row(f, "RotationPivot", "Vector3D", {1, 2, 3});
        Row(f, "PreRotation", "Vector3D", {0, 90, 0});
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        Int(f, "PivotEnabled", i % 4 == 0 ? 0 : 1);
        break;
    default: break;
    }
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
}

} // namespace

TEST(NodeFill, OddRecordsReadAsOnTheCallingThread)
{
    TempDir dir;
    const std::string name = dir.File("odd.qox");
    {
        KQoxSdkManager manager;
        KQoxNode* source = manager.CreateKQoxNode("source");
        source->SetDefaultT(KQoxVector4(1.5, -DBL_MAX, 1e-310));
        source->SetRotationPivot(eSOURCE_SET, KQoxVector4(0, 1, 0));
        source->UpdatePropertiesFromPivotsAndLimits();
        IQoxObject f;
        ASSERT_TRUE(f.ProjectCreate(name.c_str(), KQox::eBINARY, 6000));
        f.ProjectWriteSectionBegin("Objects", 6000);
        for (int i = 0; i < 700; ++i)
            OddModel(f, *source, i);
        f.ProjectWriteSectionEnd();
        ASSERT_TRUE(f.ProjectClose());
    }
    const std::string again = dir.File("again.qox");
    const Outcome slow = ReadWay(name, false, again);
    const Outcome fast = ReadWay(name, true, again);
    ASSERT_TRUE(slow.mRead) << slow.mError;
    ExpectSame(slow, fast);
    EXPECT_NE(std::string::npos, fast.mDump.find("node Model::h699 "));
    // Cut and damaged (resealed) copies: the same outcomes.
    const std::string bytes = ReadFile(name);
    for (int k = 1; k < 6; ++k)
    {
        const size_t at = bytes.size() * static_cast<size_t>(k) / 6;
        std::string damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x10);
        Reseal(damaged);
        for (const std::string& edited : {bytes.substr(0, at), damaged})
        {
            ASSERT_TRUE(WriteFile(name, edited));
            ExpectSame(ReadWay(name, false), ReadWay(name, true));
        }
    }
}

TEST(NodeFill, FailedCheckValueLeavesNoThumbnailNorUserProperty)
{
    // A byte changed where the reading finds nothing wrong: the check value
    // refuses the file once everything was read, the take descriptions with
    // their thumbnails and a material with its user property among it. The
    // manager keeps none of it.
    TempDir dir;
    const std::string name = dir.File("scene.qox");
    {
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        BuildPlain(manager, scene, 30);
        Animate(*scene.GetRootNode()->GetChild(0), "Walk", 1);
        KQoxMaterial* material = manager.CreateKQoxMaterial("Shiny");
        material->AddProperty(manager.CreateKQoxUserProperty("Gloss", "Real", "Gloss"));
        AddMesh(manager, *scene.GetRootNode()->GetChild(0)->GetChild(1), material, nullptr, 1);
        KQoxTakeInfo info;
        info.Name = "Walk";
        KQoxThumbnail* thumbnail = manager.CreateKQoxThumbnail();
        thumbnail->SetDataFormat(KQoxThumbnail::eRGB_24);
        thumbnail->SetSize(KQoxThumbnail::e64x64);
        info.SetTakeThumbnail(thumbnail);
        scene.SetTakeInfo(info);
        ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_BINARY));
    }
    std::string bytes = ReadFile(name);
    const std::pair<size_t, size_t> record = RecordOf(bytes, "n20");
    ASSERT_NE(std::string::npos, record.first);
    const size_t value = bytes.find("Lcl Translation", record.first);
    ASSERT_LT(value, record.second);
    // A digit of the first double of the row: read as another value.
    bytes[value + 40] = static_cast<char>(bytes[value + 40] ^ 0x01);
    ASSERT_TRUE(WriteFile(name, bytes));
    for (bool sideBySide : {false, true})
    {
        SideBySide way(sideBySide);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        const std::string before = fileiotest::ManagerCounts(manager);
        KQoxImporter importer(manager);
        ASSERT_TRUE(importer.Initialize(name.c_str()));
        EXPECT_FALSE(importer.Import(scene));
        EXPECT_STREQ("File is corrupted", importer.GetLastErrorString());
        EXPECT_EQ(0, scene.GetTakeInfoCount());
        EXPECT_EQ(before, fileiotest::ManagerCounts(manager));
    }
}
