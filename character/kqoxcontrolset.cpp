#include "character/kqoxcontrolset.h"

#include <cstring>

#include "scene/kqoxnode.h"

namespace qoxsdk_600 {

namespace {

const char* const kEffectorNodeNames[kEffectorNodeIdCount] = {
    "HipsEffector",
    "LeftAnkleEffector",
    "RightAnkleEffector",
    "LeftWristEffector",
    "RightWristEffector",
    "LeftKneeEffector",
    "RightKneeEffector",
    "LeftElbowEffector",
    "RightElbowEffector",
    "ChestOriginEffector",
    "ChestEndEffector",
    "LeftFootEffector",
    "RightFootEffector",
    "LeftShoulderEffector",
    "RightShoulderEffector",
    "HeadEffector",
    "LeftHipEffector",
    "RightHipEffector",
    "LeftHandEffector",
    "RightHandEffector",
    "LeftHandThumbEffector",
    "LeftHandIndexEffector",
    "LeftHandMiddleEffector",
    "LeftHandRingEffector",
    "LeftHandPinkyEffector",
    "LeftHandExtraFingerEffector",
    "RightHandThumbEffector",
    "RightHandIndexEffector",
    "RightHandMiddleEffector",
    "RightHandRingEffector",
    "RightHandPinkyEffector",
    "RightHandExtraFingerEffector",
    "LeftFootThumbEffector",
    "LeftFootIndexEffector",
    "LeftFootMiddleEffector",
    "LeftFootRingEffector",
    "LeftFootPinkyEffector",
    "LeftFootExtraFingerEffector",
    "RightFootThumbEffector",
    "RightFootIndexEffector",
    "RightFootMiddleEffector",
    "RightFootRingEffector",
    "RightFootPinkyEffector",
    "RightFootExtraFingerEffector",
};

// Unsigned tests, so negative ids are out of range as well.
bool IsNodeId(int id)
{
    return static_cast<unsigned>(id) < static_cast<unsigned>(kCharacterNodeIdCount);
}

bool IsEffectorId(int id)
{
    return static_cast<unsigned>(id) < static_cast<unsigned>(kEffectorNodeIdCount);
}

bool IsAuxSet(int set)
{
    return set >= eFirstEffectorSet && set <= eLastEffectorSet;
}

} // namespace

// ---------------------------------------------------------------------------
// Links and effectors

KQoxControlSetLink::KQoxControlSetLink()
    : mNode(nullptr)
{}

KQoxControlSetLink::KQoxControlSetLink(const KQoxControlSetLink& link)
    : mNode(link.mNode)
    , mTemplateName(link.mTemplateName)
{}

KQoxControlSetLink& KQoxControlSetLink::operator=(const KQoxControlSetLink& link)
{
    mNode = link.mNode;
    mTemplateName = link.mTemplateName;
    return *this;
}

void KQoxControlSetLink::Reset()
{
    mNode = nullptr;
    mTemplateName.Empty();
}

KQoxEffector::KQoxEffector()
{
    Reset();
}

KQoxEffector::KQoxEffector(const KQoxEffector& effector)
{
    *this = effector;
}

void KQoxEffector::Reset()
{
    mNode = nullptr;
    mShow = true;
    mTActive = false;
    mRActive = false;
    mCandidateTActive = false;
    mCandidateRActive = false;
}

KQoxEffector& KQoxEffector::operator=(const KQoxEffector& effector)
{
    mNode = effector.mNode;
    mShow = effector.mShow;
    mTActive = effector.mTActive;
    mRActive = effector.mRActive;
    mCandidateTActive = effector.mCandidateTActive;
    mCandidateRActive = effector.mCandidateRActive;
    return *this;
}

// ---------------------------------------------------------------------------
// Control set

KQoxControlSet::KQoxControlSet()
    : mCharacter(nullptr)
    , mType(eDefaultType)
    , mUseAxis(false)
    , mLockTransform(false)
    , mLock3DPick(false)
{
    for (auto& row : mEffectorsAux)
        for (KQoxNode*& node : row)
            node = nullptr;
    ApplyEffectorDefaults();
}

KQoxControlSet::~KQoxControlSet()
{
    Reset();
}

void KQoxControlSet::AddRecord(KQoxNode* node, int type, int index, int subIndex)
{
    if (node)
        node->AddCharacterLink(mCharacter, type, index, subIndex);
}

void KQoxControlSet::RemoveRecord(KQoxNode* node, int type, int index, int subIndex)
{
    if (node)
        node->RemoveCharacterLink(mCharacter, type, index, subIndex);
}

void KQoxControlSet::ApplyEffectorDefaults()
{
    // Hips: translation and rotation active.
    mEffectors[eHipsEffector].mTActive = true;
    mEffectors[eHipsEffector].mRActive = true;
    // Ankles: everything active, candidates included.
    for (int id : {eLeftAnkleEffector, eRightAnkleEffector})
    {
        mEffectors[id].mTActive = true;
        mEffectors[id].mRActive = true;
        mEffectors[id].mCandidateTActive = true;
        mEffectors[id].mCandidateRActive = true;
    }
    // Wrists: translation only, candidate included.
    for (int id : {eLeftWristEffector, eRightWristEffector})
    {
        mEffectors[id].mTActive = true;
        mEffectors[id].mCandidateTActive = true;
    }
}

void KQoxControlSet::Reset()
{
    mType = eDefaultType;
    mLockTransform = false;
    mLock3DPick = false;
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
    {
        RemoveRecord(mControlSetLinks[id].mNode, eCharacterLinkTypeControlSet, id, 0);
        mControlSetLinks[id].Reset();
    }
    for (int id = 0; id < kEffectorNodeIdCount; ++id)
    {
        RemoveRecord(mEffectors[id].mNode, eCharacterLinkTypeEffector, id, 0);
        mEffectors[id].Reset();
        for (int column = 0; column < kEffectorAuxSetCount; ++column)
        {
            RemoveRecord(mEffectorsAux[id][column], eCharacterLinkTypeEffectorAux, id, column);
            mEffectorsAux[id][column] = nullptr;
        }
    }
    ApplyEffectorDefaults();
}

bool KQoxControlSet::SetControlSetLink(ECharacterNodeId id, const KQoxControlSetLink& link)
{
    if (!IsNodeId(id))
        return false;
    KQoxControlSetLink& slot = mControlSetLinks[id];
    RemoveRecord(slot.mNode, eCharacterLinkTypeControlSet, id, 0);
    if (link.IsEmpty())
    {
        slot.Reset();
        return true;
    }
    slot = link;
    AddRecord(slot.mNode, eCharacterLinkTypeControlSet, id, 0);
    return true;
}

bool KQoxControlSet::GetControlSetLink(ECharacterNodeId id, KQoxControlSetLink* link) const
{
    if (!IsNodeId(id) || mControlSetLinks[id].IsEmpty())
        return false;
    if (link)
        *link = mControlSetLinks[id];
    return true;
}

bool KQoxControlSet::SetEffector(EEffectorNodeId id, KQoxEffector effector)
{
    if (!IsEffectorId(id))
        return false;
    KQoxEffector& slot = mEffectors[id];
    RemoveRecord(slot.mNode, eCharacterLinkTypeEffector, id, 0);
    if (effector.mNode)
    {
        slot = effector;
        AddRecord(slot.mNode, eCharacterLinkTypeEffector, id, 0);
    }
    else
        slot.Reset();
    return true;
}

bool KQoxControlSet::GetEffector(EEffectorNodeId id, KQoxEffector* effector) const
{
    if (!IsEffectorId(id) || !mEffectors[id].mNode)
        return false;
    if (effector)
        *effector = mEffectors[id];
    return true;
}

bool KQoxControlSet::GetEffectorSlot(EEffectorNodeId id, KQoxEffector* effector) const
{
    if (!IsEffectorId(id))
        return false;
    if (effector)
        *effector = mEffectors[id];
    return true;
}

bool KQoxControlSet::SetEffectorAux(EEffectorNodeId id, KQoxNode* node, EEffectorSetId set)
{
    if (!IsEffectorId(id) || !IsAuxSet(set))
        return false;
    const int column = set - 1;
    KQoxNode*& slot = mEffectorsAux[id][column];
    RemoveRecord(slot, eCharacterLinkTypeEffectorAux, id, column);
    slot = node;
    AddRecord(slot, eCharacterLinkTypeEffectorAux, id, column);
    return true;
}

bool KQoxControlSet::GetEffectorAux(EEffectorNodeId id, KQoxNode** node, EEffectorSetId set) const
{
    if (!IsEffectorId(id) || !IsAuxSet(set) || !mEffectorsAux[id][set - 1])
        return false;
    if (node)
        *node = mEffectorsAux[id][set - 1];
    return true;
}

char* KQoxControlSet::GetEffectorNodeName(EEffectorNodeId id)
{
    return IsEffectorId(id) ? const_cast<char*>(kEffectorNodeNames[id]) : nullptr;
}

EEffectorNodeId KQoxControlSet::GetEffectorNodeId(const char* name)
{
    if (name)
        for (int id = 0; id < kEffectorNodeIdCount; ++id)
            if (strcmp(kEffectorNodeNames[id], name) == 0)
                return static_cast<EEffectorNodeId>(id);
    return static_cast<EEffectorNodeId>(-1);
}

bool KQoxControlSet::ClearNodeReference(int type, int index, int subIndex, KQoxNode* node)
{
    KQoxNode** slot = nullptr;
    switch (type)
    {
    case eCharacterLinkTypeControlSet:
        if (IsNodeId(index))
            slot = &mControlSetLinks[index].mNode;
        break;
    case eCharacterLinkTypeEffector:
        if (IsEffectorId(index))
            slot = &mEffectors[index].mNode;
        break;
    case eCharacterLinkTypeEffectorAux:
        if (IsEffectorId(index) && subIndex >= 0 && subIndex < kEffectorAuxSetCount)
            slot = &mEffectorsAux[index][subIndex];
        break;
    default: break;
    }
    if (!slot || !*slot || *slot != node)
        return false;
    *slot = nullptr;
    return true;
}

} // namespace qoxsdk_600

template class KPropertyTemplate<qoxsdk_600::KQoxControlSet::EType>;
