#include "character/kqoxcharacterpose.h"

#include <vector>

#include "character/kqoxcharacter.h"
#include "character/kqoxcharacterproperties.h"
#include "character/kqoxcontrolset.h"
#include "character/kqoxfilterset.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

const char* const kPoseCharacterName = "PoseCharacter";
const EEffectorSetId kCopiedAuxSet = eFirstEffectorSet;

// True when node is root or lies below it.
bool IsInSubtree(KQoxNode* node, KQoxNode* root)
{
    for (KQoxNode* walk = node; walk; walk = walk->GetParent())
        if (walk == root)
            return true;
    return false;
}

// The namesake of node below root, by current name, or null.
KQoxNode* LookUp(KQoxNode* root, KQoxNode* node)
{
    return node ? root->FindChild(node->GetName(), true, false) : nullptr;
}

} // namespace

KQoxCharacterPose::KQoxCharacterPose(KQoxSdkManager& manager, const char* name)
    : KQoxObject(manager, name)
    , mScene(manager.CreateKQoxScene())
{
    Reset();
}

KQoxCharacterPose::~KQoxCharacterPose()
{
    if (mScene)
        GetSdkManager().DestroyKQoxScene(mScene, true);
    mScene = nullptr;
}

void KQoxCharacterPose::Reset()
{
    if (!mScene)
        return;
    mScene->Clear();
    mScene->CreateCharacter(kPoseCharacterName);
}

KQoxNode* KQoxCharacterPose::GetRootNode() const
{
    return mScene ? mScene->GetRootNode() : nullptr;
}

KQoxCharacter* KQoxCharacterPose::GetCharacter() const
{
    return mScene ? mScene->GetCharacter(0) : nullptr;
}

KQoxCharacterPose& KQoxCharacterPose::operator=(KQoxCharacterPose& pose)
{
    if (&pose == this)
        return *this;
    KQoxObject::operator=(pose);
    CopyNode(pose.GetRootNode(), GetRootNode());
    CopyCharacter(pose.GetCharacter(), GetCharacter(), GetRootNode());
    return *this;
}

void KQoxCharacterPose::CopyNode(KQoxNode* source, KQoxNode* destination)
{
    if (!source || !destination || IsInSubtree(destination, source))
        return;
    // Depth-first with an explicit stack, so deep hierarchies do not exhaust
    // the call stack; a node is attached before its children are copied.
    struct Step
    {
        KQoxNode* source;
        KQoxNode* destination;
        int next;
    };
    std::vector<Step> stack{{source, destination, 0}};
    while (!stack.empty())
    {
        Step& step = stack.back();
        if (step.next >= step.source->GetChildCount(false))
        {
            stack.pop_back();
            continue;
        }
        KQoxNode* child = step.source->GetChild(step.next++);
        KQoxNode* copy = child ? GetSdkManager().CreateKQoxNode(child->GetName()) : nullptr;
        if (!copy)
            continue;
        *copy = *child;
        step.destination->AddChild(copy);
        stack.push_back(Step{child, copy, 0});
    }
}

void KQoxCharacterPose::CopyCharacter(KQoxCharacter* source, KQoxCharacter* destination, KQoxNode* root)
{
    if (!source || !destination || !root || source == destination)
        return;
    destination->SetInput(source->GetInputType(), source->GetInputObject());

    for (int id = 0; id < kCharacterNodeIdCount; ++id)
    {
        const ECharacterNodeId nodeId = static_cast<ECharacterNodeId>(id);
        KQoxCharacterLink link;
        if (!source->GetCharacterLink(nodeId, &link) || !link.mNode)
            continue;
        if (KQoxNode* found = LookUp(root, link.mNode))
        {
            KQoxCharacterLink copy;
            copy.mNode = found;
            copy.mOffsetT = link.mOffsetT;
            copy.mOffsetR = link.mOffsetR;
            copy.mOffsetS = link.mOffsetS;
            destination->SetCharacterLink(nodeId, copy, true);
        }
    }

    KQoxFilterSet& from = *source->GetFilterSet();
    KQoxFilterSet& to = *destination->GetFilterSet();
    for (int i = 0; i < KQoxFilterSet::GetParameterCount(); ++i)
    {
        const int j = KQoxFilterSet::GetParameterIndex(KQoxFilterSet::GetParameterName(i));
        if (j < 0)
            continue;
        to.SetParameterMode(j, from.GetParameterMode(i));
        to.SetParameterValue(j, from.GetParameterValue(i, 0), 0);
    }
    // The properties follow the filter set they describe.
    destination->GetProperties()->FilterSetToProperties();

    KQoxControlSet& fromSet = *source->GetControlSet();
    KQoxControlSet& toSet = *destination->GetControlSet();
    toSet.SetType(fromSet.GetType());
    toSet.SetLockTransform(fromSet.GetLockTransform());
    toSet.SetLock3DPick(fromSet.GetLock3DPick());
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
    {
        const ECharacterNodeId nodeId = static_cast<ECharacterNodeId>(id);
        KQoxControlSetLink link;
        if (!fromSet.GetControlSetLink(nodeId, &link))
            continue;
        if (link.mNode)
            link.mNode = LookUp(root, link.mNode);
        toSet.SetControlSetLink(nodeId, link);
    }
    for (int id = 0; id < kEffectorNodeIdCount; ++id)
    {
        const EEffectorNodeId effectorId = static_cast<EEffectorNodeId>(id);
        KQoxEffector effector;
        if (!fromSet.GetEffector(effectorId, &effector))
            continue;
        if (KQoxNode* found = LookUp(root, effector.mNode))
        {
            effector.mNode = found;
            toSet.SetEffector(effectorId, effector);
        }
    }
    for (int id = 0; id < kEffectorNodeIdCount; ++id)
    {
        const EEffectorNodeId effectorId = static_cast<EEffectorNodeId>(id);
        KQoxNode* node = nullptr;
        if (!fromSet.GetEffectorAux(effectorId, &node, kCopiedAuxSet))
            continue;
        if (KQoxNode* found = LookUp(root, node))
            toSet.SetEffectorAux(effectorId, found, kCopiedAuxSet);
    }
}

} // namespace qoxsdk_600
