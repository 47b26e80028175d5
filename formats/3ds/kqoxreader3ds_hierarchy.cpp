// The keyframer's node records into scene nodes with their attributes and
// their parent/child tree.

#include "formats/3ds/kqoxreader3ds.h"
#include "formats/3ds/kqoxreader3ds_private.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmarker.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

using namespace reader3ds;

namespace {

// The position of the first record of each name (exact comparison).
template <class R>
std::unordered_map<std::string, size_t> FirstByName(const std::vector<R*>& records)
{
    std::unordered_map<std::string, size_t> first;
    first.reserve(records.size());
    for (size_t i = 0; i < records.size(); ++i)
        first.emplace(FieldText(records[i]->name, sizeof records[i]->name), i);
    return first;
}

// The record of that name when matching is on; -1 when none.
long FindRecord(const std::unordered_map<std::string, size_t>& first, const std::string& name)
{
    auto found = first.find(name);
    return found == first.end() ? -1 : static_cast<long>(found->second);
}

} // namespace

KQoxNode* KQoxReader3DS::MakeNode(const std::string& name)
{
    KQoxNode* node = mManager.CreateKQoxNode(name.c_str());
    if (node)
        mNodesByName.emplace(node->GetName(), node);
    return node;
}

bool KQoxReader3DS::Create3DSNodeToKModelLookup()
{
    mNodesByName.clear();
    mOmnilightMotionLights.assign(mOmnilightMotions.size(), -1);
    mSpotlightMotionLights.assign(mSpotlightMotions.size(), -1);

    // Meshes and dummies. The first node of a mesh takes the converted
    // mesh; further nodes of it take copies, made before any pivot moves
    // the points, so that each node takes its own pivot off its own mesh.
    const auto meshByName = mGeometries ? FirstByName(mMeshes) : std::unordered_map<std::string, size_t>();
    std::vector<char> meshTaken(mMeshes.size(), 0);
    std::vector<KQoxMesh*> nodeMeshes(mObjectMotions.size(), nullptr);
    for (size_t r = 0; r < mObjectMotions.size(); ++r)
    {
        const objectmotion3ds& record = *mObjectMotions[r];
        const std::string name = FieldText(record.name, sizeof record.name);
        const std::string instance = FieldText(record.instance, sizeof record.instance);
        KQoxNode* node = MakeNode(instance.empty() ? name : name + "." + instance);
        mObjectMotionNodes[r] = node;
        const long m = FindRecord(meshByName, name);
        if (!node || m < 0 || !mMeshAttributes[m])
            continue;
        KQoxMesh* mesh = mMeshAttributes[m];
        if (meshTaken[m])
        {
            KQoxMesh* copy = mManager.CreateKQoxMesh();
            if (!copy)
                continue;
            *copy = *mesh;
            mesh = copy;
        }
        meshTaken[m] = 1;
        node->SetNodeAttribute(mesh);
        nodeMeshes[r] = mesh;
    }
    const double pivotScale = mReferenceNodeFlag ? 1.0 : mScaleFactor;
    for (size_t r = 0; r < mObjectMotions.size(); ++r)
    {
        KQoxMesh* mesh = nodeMeshes[r];
        if (!mesh)
            continue;
        const point3ds& p = mObjectMotions[r]->pivot;
        const KQoxVector4 pivot = PointToScene(p.x * pivotScale, p.y * pivotScale, p.z * pivotScale);
        KQoxVector4* points = mesh->GetControlPoints();
        for (int i = 0; i < mesh->GetControlPointsCount(); ++i)
            points[i] = points[i] - pivot;
        if (mesh->GTC(0) > 0)
            mObjectMotionNodes[r]->SetShadingMode(KQoxNode::eTEXTURE_SHADING);
    }

    // Omni lights.
    const auto omniByName = mLights ? FirstByName(mOmnilights) : std::unordered_map<std::string, size_t>();
    for (size_t r = 0; r < mOmnilightMotions.size(); ++r)
    {
        const std::string name = FieldText(mOmnilightMotions[r]->name, sizeof mOmnilightMotions[r]->name);
        KQoxNode* node = MakeNode(name);
        mOmnilightMotionNodes[r] = node;
        const long l = FindRecord(omniByName, name);
        mOmnilightMotionLights[r] = l;
        if (node && l >= 0 && mOmnilightAttributes[l])
            node->SetNodeAttribute(mOmnilightAttributes[l]);
    }

    // Spotlights and cameras: the node and its target node.
    const auto spotByName = mLights ? FirstByName(mSpotlights) : std::unordered_map<std::string, size_t>();
    for (size_t r = 0; r < mSpotlightMotions.size(); ++r)
    {
        const std::string name = FieldText(mSpotlightMotions[r]->name, sizeof mSpotlightMotions[r]->name);
        KQoxNode* node = MakeNode(name);
        KQoxNode* target = MakeNode(name + kTargetSuffix);
        mSpotlightMotionNodes[r] = node;
        mSpotlightMotionTargetNodes[r] = target;
        const long l = FindRecord(spotByName, name);
        mSpotlightMotionLights[r] = l;
        if (l < 0 || !mSpotlightAttributes[l])
            continue;
        if (node)
            node->SetNodeAttribute(mSpotlightAttributes[l]);
        if (target && mSpotlightTargets[l])
            target->SetNodeAttribute(mSpotlightTargets[l]);
    }
    const auto cameraByName = mCameras ? FirstByName(mCameras3ds) : std::unordered_map<std::string, size_t>();
    for (size_t r = 0; r < mCameraMotions.size(); ++r)
    {
        const std::string name = FieldText(mCameraMotions[r]->name, sizeof mCameraMotions[r]->name);
        KQoxNode* node = MakeNode(name);
        KQoxNode* target = MakeNode(name + kTargetSuffix);
        mCameraMotionNodes[r] = node;
        mCameraMotionTargetNodes[r] = target;
        const long c = FindRecord(cameraByName, name);
        if (c < 0 || !mCameraAttributes[c])
            continue;
        if (node)
            node->SetNodeAttribute(mCameraAttributes[c]);
        if (target && mCameraTargets[c])
            target->SetNodeAttribute(mCameraTargets[c]);
    }
    return true;
}

bool KQoxReader3DS::UniteWithParent(KQoxNode* node, const char* parentName)
{
    if (!node || !parentName)
        return false;
    // The nodes of this read only: earlier scenes of the manager and its
    // producer cameras are no parents of the file's nodes.
    auto found = mNodesByName.find(KQoxSdkManager::PrefixName("Model::", parentName).Buffer());
    if (found == mNodesByName.end())
        return false;
    return found->second->AddChild(node);
}

KQoxNode* KQoxReader3DS::BaseNode(KQoxScene& scene)
{
    return mReferenceNode ? mReferenceNode : scene.GetRootNode();
}

bool KQoxReader3DS::ImportMeshHierarchy(KQoxScene& scene)
{
    for (size_t r = 0; r < mObjectMotions.size() && r < mObjectMotionNodes.size(); ++r)
    {
        KQoxNode* node = mObjectMotionNodes[r];
        const std::string parent = FieldText(mObjectMotions[r]->parent, sizeof mObjectMotions[r]->parent);
        if (node && (parent.empty() || !UniteWithParent(node, parent.c_str())))
            BaseNode(scene)->AddChild(node);
    }
    return true;
}

bool KQoxReader3DS::ImportOmnilightHierarchy(KQoxScene& scene)
{
    for (size_t r = 0; r < mOmnilightMotions.size() && r < mOmnilightMotionNodes.size(); ++r)
    {
        KQoxNode* node = mOmnilightMotionNodes[r];
        const std::string parent = FieldText(mOmnilightMotions[r]->parent, sizeof mOmnilightMotions[r]->parent);
        if (node && (parent.empty() || !UniteWithParent(node, parent.c_str())))
            BaseNode(scene)->AddChild(node);
    }
    return true;
}

void KQoxReader3DS::PlaceAimedNode(KQoxScene& scene, KQoxNode* node, KQoxNode* target, const std::string& parent,
                                   const std::string& targetParent)
{
    KQoxNode* base = BaseNode(scene);
    bool underParent = false;
    if (node)
    {
        underParent = !parent.empty() && UniteWithParent(node, parent.c_str());
        if (!underParent)
            base->AddChild(node);
    }
    if (target)
    {
        // The target follows its own parent, else its light's or camera's.
        const std::string& name = !targetParent.empty() ? targetParent : (underParent ? parent : std::string());
        if (name.empty() || !UniteWithParent(target, name.c_str()))
            base->AddChild(target);
    }
    if (node && target)
        node->SetTarget(target);
}

bool KQoxReader3DS::ImportSpotlightHierarchy(KQoxScene& scene)
{
    for (size_t r = 0; r < mSpotlightMotions.size() && r < mSpotlightMotionNodes.size(); ++r)
    {
        const spotmotion3ds& record = *mSpotlightMotions[r];
        KQoxNode* node = mSpotlightMotionNodes[r];
        PlaceAimedNode(scene, node, mSpotlightMotionTargetNodes[r], FieldText(record.parent, sizeof record.parent),
                       FieldText(record.tparent, sizeof record.tparent));
        if (node)
            node->SetPostTargetRotation(KQoxVector4(0.0, 90.0, 0.0, 1.0));
    }
    return true;
}

bool KQoxReader3DS::ImportCameraHierarchy(KQoxScene& scene)
{
    for (size_t r = 0; r < mCameraMotions.size() && r < mCameraMotionNodes.size(); ++r)
    {
        const cameramotion3ds& record = *mCameraMotions[r];
        PlaceAimedNode(scene, mCameraMotionNodes[r], mCameraMotionTargetNodes[r],
                       FieldText(record.parent, sizeof record.parent),
                       FieldText(record.tparent, sizeof record.tparent));
    }
    return true;
}

} // namespace qoxsdk_600
