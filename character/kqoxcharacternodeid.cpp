#include "character/kqoxcharacternodeid.h"

#include <cstring>

namespace qoxsdk_600 {

namespace {

// The name and version of the reference node, which has no group entry.
const char kReferenceName[] = "Reference";
const int kReferenceVersion = 4000;

// The groups, each in its fixed order.
const KCharacterGroupElement sBaseNodeId[] = {
    {eCharacterHips, "Hips", 4000},
    {eCharacterLeftUpLeg, "LeftUpLeg", 4000},
    {eCharacterLeftLeg, "LeftLeg", 4000},
    {eCharacterLeftFoot, "LeftFoot", 4000},
    {eCharacterRightUpLeg, "RightUpLeg", 4000},
    {eCharacterRightLeg, "RightLeg", 4000},
    {eCharacterRightFoot, "RightFoot", 4000},
    {eCharacterSpine, "Spine", 4000},
    {eCharacterLeftArm, "LeftArm", 4000},
    {eCharacterLeftForeArm, "LeftForeArm", 4000},
    {eCharacterLeftHand, "LeftHand", 4000},
    {eCharacterRightArm, "RightArm", 4000},
    {eCharacterRightForeArm, "RightForeArm", 4000},
    {eCharacterRightHand, "RightHand", 4000},
    {eCharacterHead, "Head", 4000},
};

const KCharacterGroupElement sAuxiliaryNodeId[] = {
    {eCharacterLeftToeBase, "LeftToeBase", 4000},
    {eCharacterRightToeBase, "RightToeBase", 4000},
    {eCharacterLeftShoulder, "LeftShoulder", 4000},
    {eCharacterRightShoulder, "RightShoulder", 4000},
    {eCharacterNeck, "Neck", 4000},
    {eCharacterLeftFingerBase, "LeftFingerBase", 4500},
    {eCharacterRightFingerBase, "RightFingerBase", 4500},
};

const KCharacterGroupElement sSpineNodeId[] = {
    {eCharacterSpine1, "Spine1", 4000}, {eCharacterSpine2, "Spine2", 4000}, {eCharacterSpine3, "Spine3", 4000},
    {eCharacterSpine4, "Spine4", 4000}, {eCharacterSpine5, "Spine5", 4000}, {eCharacterSpine6, "Spine6", 4000},
    {eCharacterSpine7, "Spine7", 4000}, {eCharacterSpine8, "Spine8", 4000}, {eCharacterSpine9, "Spine9", 4000},
};

const KCharacterGroupElement sRollNodeId[] = {
    {eCharacterLeftUpLegRoll, "LeftUpLegRoll", 4000},   {eCharacterLeftLegRoll, "LeftLegRoll", 4000},
    {eCharacterRightUpLegRoll, "RightUpLegRoll", 4000}, {eCharacterRightLegRoll, "RightLegRoll", 4000},
    {eCharacterLeftArmRoll, "LeftArmRoll", 4000},       {eCharacterLeftForeArmRoll, "LeftForeArmRoll", 4000},
    {eCharacterRightArmRoll, "RightArmRoll", 4000},     {eCharacterRightForeArmRoll, "RightForeArmRoll", 4000},
};

const KCharacterGroupElement sSpecialNodeId[] = {
    {eCharacterHipsTranslation, "HipsTranslation", 4000},
};

const KCharacterGroupElement sLeftHandNodeId[] = {
    {eCharacterLeftHandThumb1, "LeftHandThumb1", 4000},
    {eCharacterLeftHandThumb2, "LeftHandThumb2", 4000},
    {eCharacterLeftHandThumb3, "LeftHandThumb3", 4000},
    {eCharacterLeftHandIndex1, "LeftHandIndex1", 4000},
    {eCharacterLeftHandIndex2, "LeftHandIndex2", 4000},
    {eCharacterLeftHandIndex3, "LeftHandIndex3", 4000},
    {eCharacterLeftHandMiddle1, "LeftHandMiddle1", 4000},
    {eCharacterLeftHandMiddle2, "LeftHandMiddle2", 4000},
    {eCharacterLeftHandMiddle3, "LeftHandMiddle3", 4000},
    {eCharacterLeftHandRing1, "LeftHandRing1", 4000},
    {eCharacterLeftHandRing2, "LeftHandRing2", 4000},
    {eCharacterLeftHandRing3, "LeftHandRing3", 4000},
    {eCharacterLeftHandPinky1, "LeftHandPinky1", 4000},
    {eCharacterLeftHandPinky2, "LeftHandPinky2", 4000},
    {eCharacterLeftHandPinky3, "LeftHandPinky3", 4000},
    {eCharacterLeftInHandThumb, "LeftInHandThumb", 4500},
    {eCharacterLeftHandThumb4, "LeftHandThumb4", 4500},
    {eCharacterLeftInHandIndex, "LeftInHandIndex", 4500},
    {eCharacterLeftHandIndex4, "LeftHandIndex4", 4500},
    {eCharacterLeftInHandMiddle, "LeftInHandMiddle", 4500},
    {eCharacterLeftHandMiddle4, "LeftHandMiddle4", 4500},
    {eCharacterLeftInHandRing, "LeftInHandRing", 4500},
    {eCharacterLeftHandRing4, "LeftHandRing4", 4500},
    {eCharacterLeftInHandPinky, "LeftInHandPinky", 4500},
    {eCharacterLeftHandPinky4, "LeftHandPinky4", 4500},
    {eCharacterLeftInHandExtraFinger, "LeftInHandExtraFinger", 4500},
    {eCharacterLeftHandExtraFinger1, "LeftHandExtraFinger1", 4500},
    {eCharacterLeftHandExtraFinger2, "LeftHandExtraFinger2", 4500},
    {eCharacterLeftHandExtraFinger3, "LeftHandExtraFinger3", 4500},
    {eCharacterLeftHandExtraFinger4, "LeftHandExtraFinger4", 4500},
};

const KCharacterGroupElement sRightHandNodeId[] = {
    {eCharacterRightHandThumb1, "RightHandThumb1", 4000},
    {eCharacterRightHandThumb2, "RightHandThumb2", 4000},
    {eCharacterRightHandThumb3, "RightHandThumb3", 4000},
    {eCharacterRightHandIndex1, "RightHandIndex1", 4000},
    {eCharacterRightHandIndex2, "RightHandIndex2", 4000},
    {eCharacterRightHandIndex3, "RightHandIndex3", 4000},
    {eCharacterRightHandMiddle1, "RightHandMiddle1", 4000},
    {eCharacterRightHandMiddle2, "RightHandMiddle2", 4000},
    {eCharacterRightHandMiddle3, "RightHandMiddle3", 4000},
    {eCharacterRightHandRing1, "RightHandRing1", 4000},
    {eCharacterRightHandRing2, "RightHandRing2", 4000},
    {eCharacterRightHandRing3, "RightHandRing3", 4000},
    {eCharacterRightHandPinky1, "RightHandPinky1", 4000},
    {eCharacterRightHandPinky2, "RightHandPinky2", 4000},
    {eCharacterRightHandPinky3, "RightHandPinky3", 4000},
    {eCharacterRightInHandThumb, "RightInHandThumb", 4500},
    {eCharacterRightHandThumb4, "RightHandThumb4", 4500},
    {eCharacterRightInHandIndex, "RightInHandIndex", 4500},
    {eCharacterRightHandIndex4, "RightHandIndex4", 4500},
    {eCharacterRightInHandMiddle, "RightInHandMiddle", 4500},
    {eCharacterRightHandMiddle4, "RightHandMiddle4", 4500},
    {eCharacterRightInHandRing, "RightInHandRing", 4500},
    {eCharacterRightHandRing4, "RightHandRing4", 4500},
    {eCharacterRightInHandPinky, "RightInHandPinky", 4500},
    {eCharacterRightHandPinky4, "RightHandPinky4", 4500},
    {eCharacterRightInHandExtraFinger, "RightInHandExtraFinger", 4500},
    {eCharacterRightHandExtraFinger1, "RightHandExtraFinger1", 4500},
    {eCharacterRightHandExtraFinger2, "RightHandExtraFinger2", 4500},
    {eCharacterRightHandExtraFinger3, "RightHandExtraFinger3", 4500},
    {eCharacterRightHandExtraFinger4, "RightHandExtraFinger4", 4500},
};

const KCharacterGroupElement sPropsNodeId[] = {
    {eCharacterProps0, "Props0", 4000}, {eCharacterProps1, "Props1", 4000}, {eCharacterProps2, "Props2", 4000},
    {eCharacterProps3, "Props3", 4000}, {eCharacterProps4, "Props4", 4000},
};

const KCharacterGroupElement sGameModeParentNodeId[] = {
    {eCharacterGameModeParentLeftHipRoll, "GameModeParentLeftHipRoll", 4000},
    {eCharacterGameModeParentLeftKnee, "GameModeParentLeftKnee", 4000},
    {eCharacterGameModeParentLeftKneeRoll, "GameModeParentLeftKneeRoll", 4000},
    {eCharacterGameModeParentRightHipRoll, "GameModeParentRightHipRoll", 4000},
    {eCharacterGameModeParentRightKnee, "GameModeParentRightKnee", 4000},
    {eCharacterGameModeParentRightKneeRoll, "GameModeParentRightKneeRoll", 4000},
    {eCharacterGameModeParentLeftShoulderRoll, "GameModeParentLeftShoulderRoll", 4000},
    {eCharacterGameModeParentLeftElbow, "GameModeParentLeftElbow", 4000},
    {eCharacterGameModeParentLeftElbowRoll, "GameModeParentLeftElbowRoll", 4000},
    {eCharacterGameModeParentRightShoulderRoll, "GameModeParentRightShoulderRoll", 4000},
    {eCharacterGameModeParentRightElbow, "GameModeParentRightElbow", 4000},
    {eCharacterGameModeParentRightElbowRoll, "GameModeParentRightElbowRoll", 4000},
};

const KCharacterGroupElement sNeckNodeId[] = {
    {eCharacterNeck1, "Neck1", 4500}, {eCharacterNeck2, "Neck2", 4500}, {eCharacterNeck3, "Neck3", 4500},
    {eCharacterNeck4, "Neck4", 4500}, {eCharacterNeck5, "Neck5", 4500}, {eCharacterNeck6, "Neck6", 4500},
    {eCharacterNeck7, "Neck7", 4500}, {eCharacterNeck8, "Neck8", 4500}, {eCharacterNeck9, "Neck9", 4500},
};

const KCharacterGroupElement sLeftFootNodeId[] = {
    {eCharacterLeftInFootThumb, "LeftInFootThumb", 4500},
    {eCharacterLeftFootThumb1, "LeftFootThumb1", 4500},
    {eCharacterLeftFootThumb2, "LeftFootThumb2", 4500},
    {eCharacterLeftFootThumb3, "LeftFootThumb3", 4500},
    {eCharacterLeftFootThumb4, "LeftFootThumb4", 4500},
    {eCharacterLeftInFootIndex, "LeftInFootIndex", 4500},
    {eCharacterLeftFootIndex1, "LeftFootIndex1", 4500},
    {eCharacterLeftFootIndex2, "LeftFootIndex2", 4500},
    {eCharacterLeftFootIndex3, "LeftFootIndex3", 4500},
    {eCharacterLeftFootIndex4, "LeftFootIndex4", 4500},
    {eCharacterLeftInFootMiddle, "LeftInFootMiddle", 4500},
    {eCharacterLeftFootMiddle1, "LeftFootMiddle1", 4500},
    {eCharacterLeftFootMiddle2, "LeftFootMiddle2", 4500},
    {eCharacterLeftFootMiddle3, "LeftFootMiddle3", 4500},
    {eCharacterLeftFootMiddle4, "LeftFootMiddle4", 4500},
    {eCharacterLeftInFootRing, "LeftInFootRing", 4500},
    {eCharacterLeftFootRing1, "LeftFootRing1", 4500},
    {eCharacterLeftFootRing2, "LeftFootRing2", 4500},
    {eCharacterLeftFootRing3, "LeftFootRing3", 4500},
    {eCharacterLeftFootRing4, "LeftFootRing4", 4500},
    {eCharacterLeftInFootPinky, "LeftInFootPinky", 4500},
    {eCharacterLeftFootPinky1, "LeftFootPinky1", 4500},
    {eCharacterLeftFootPinky2, "LeftFootPinky2", 4500},
    {eCharacterLeftFootPinky3, "LeftFootPinky3", 4500},
    {eCharacterLeftFootPinky4, "LeftFootPinky4", 4500},
    {eCharacterLeftInFootExtraFinger, "LeftInFootExtraFinger", 4500},
    {eCharacterLeftFootExtraFinger1, "LeftFootExtraFinger1", 4500},
    {eCharacterLeftFootExtraFinger2, "LeftFootExtraFinger2", 4500},
    {eCharacterLeftFootExtraFinger3, "LeftFootExtraFinger3", 4500},
    {eCharacterLeftFootExtraFinger4, "LeftFootExtraFinger4", 4500},
};

const KCharacterGroupElement sRightFootNodeId[] = {
    {eCharacterRightInFootThumb, "RightInFootThumb", 4500},
    {eCharacterRightFootThumb1, "RightFootThumb1", 4500},
    {eCharacterRightFootThumb2, "RightFootThumb2", 4500},
    {eCharacterRightFootThumb3, "RightFootThumb3", 4500},
    {eCharacterRightFootThumb4, "RightFootThumb4", 4500},
    {eCharacterRightInFootIndex, "RightInFootIndex", 4500},
    {eCharacterRightFootIndex1, "RightFootIndex1", 4500},
    {eCharacterRightFootIndex2, "RightFootIndex2", 4500},
    {eCharacterRightFootIndex3, "RightFootIndex3", 4500},
    {eCharacterRightFootIndex4, "RightFootIndex4", 4500},
    {eCharacterRightInFootMiddle, "RightInFootMiddle", 4500},
    {eCharacterRightFootMiddle1, "RightFootMiddle1", 4500},
    {eCharacterRightFootMiddle2, "RightFootMiddle2", 4500},
    {eCharacterRightFootMiddle3, "RightFootMiddle3", 4500},
    {eCharacterRightFootMiddle4, "RightFootMiddle4", 4500},
    {eCharacterRightInFootRing, "RightInFootRing", 4500},
    {eCharacterRightFootRing1, "RightFootRing1", 4500},
    {eCharacterRightFootRing2, "RightFootRing2", 4500},
    {eCharacterRightFootRing3, "RightFootRing3", 4500},
    {eCharacterRightFootRing4, "RightFootRing4", 4500},
    {eCharacterRightInFootPinky, "RightInFootPinky", 4500},
    {eCharacterRightFootPinky1, "RightFootPinky1", 4500},
    {eCharacterRightFootPinky2, "RightFootPinky2", 4500},
    {eCharacterRightFootPinky3, "RightFootPinky3", 4500},
    {eCharacterRightFootPinky4, "RightFootPinky4", 4500},
    {eCharacterRightInFootExtraFinger, "RightInFootExtraFinger", 4500},
    {eCharacterRightFootExtraFinger1, "RightFootExtraFinger1", 4500},
    {eCharacterRightFootExtraFinger2, "RightFootExtraFinger2", 4500},
    {eCharacterRightFootExtraFinger3, "RightFootExtraFinger3", 4500},
    {eCharacterRightFootExtraFinger4, "RightFootExtraFinger4", 4500},
};

#define KQOX_GROUP_COUNT(array) static_cast<int>(sizeof(array) / sizeof(array[0]))

const int sCharacterGroupCount[CharacterGroupCount] = {
    KQOX_GROUP_COUNT(sBaseNodeId),      KQOX_GROUP_COUNT(sAuxiliaryNodeId), KQOX_GROUP_COUNT(sSpineNodeId),
    KQOX_GROUP_COUNT(sRollNodeId),      KQOX_GROUP_COUNT(sSpecialNodeId),   KQOX_GROUP_COUNT(sLeftHandNodeId),
    KQOX_GROUP_COUNT(sRightHandNodeId), KQOX_GROUP_COUNT(sPropsNodeId),     KQOX_GROUP_COUNT(sGameModeParentNodeId),
    KQOX_GROUP_COUNT(sNeckNodeId),      KQOX_GROUP_COUNT(sLeftFootNodeId),  KQOX_GROUP_COUNT(sRightFootNodeId)};

#undef KQOX_GROUP_COUNT

const KCharacterGroupElement* const sCharacterGroupElementByIndex[CharacterGroupCount] = {
    sBaseNodeId,      sAuxiliaryNodeId, sSpineNodeId,          sRollNodeId, sSpecialNodeId,  sLeftHandNodeId,
    sRightHandNodeId, sPropsNodeId,     sGameModeParentNodeId, sNeckNodeId, sLeftFootNodeId, sRightFootNodeId};

// The entry at (group, index), or null outside the groups and their counts.
const KCharacterGroupElement* ElementAt(int group, int index)
{
    if (group < 0 || group >= CharacterGroupCount || index < 0 || index >= sCharacterGroupCount[group])
        return nullptr;
    return &sCharacterGroupElementByIndex[group][index];
}

// The entry holding an id, searched group by group in order.
const KCharacterGroupElement* FindElement(ECharacterNodeId id, int* group, int* index)
{
    for (int g = 0; g < CharacterGroupCount; ++g)
        for (int i = 0; i < sCharacterGroupCount[g]; ++i)
            if (sCharacterGroupElementByIndex[g][i].mNodeId == id)
            {
                *group = g;
                *index = i;
                return &sCharacterGroupElementByIndex[g][i];
            }
    return nullptr;
}

} // namespace

int KQoxCharacterNodeIds::GetCharacterGroupCount(ECharacterGroupId group)
{
    return (group >= 0 && group < CharacterGroupCount) ? sCharacterGroupCount[group] : 0;
}

ECharacterNodeId KQoxCharacterNodeIds::GetCharacterGroupElementByIndex(ECharacterGroupId group, int index)
{
    const KCharacterGroupElement* element = ElementAt(group, index);
    return element ? element->mNodeId : static_cast<ECharacterNodeId>(-1);
}

char* KQoxCharacterNodeIds::GetCharacterGroupNameByIndex(ECharacterGroupId group, int index)
{
    const KCharacterGroupElement* element = ElementAt(group, index);
    return element ? const_cast<char*>(element->mName) : nullptr;
}

int KQoxCharacterNodeIds::GetCharacterGroupVersionByIndex(ECharacterGroupId group, int index)
{
    const KCharacterGroupElement* element = ElementAt(group, index);
    return element ? element->mVersion : 0;
}

bool KQoxCharacterNodeIds::FindCharacterGroupIndexByName(const char* name, bool limitToGroup, ECharacterGroupId& group,
                                                         int& index)
{
    if (!name)
        return false;
    int limit = CharacterGroupCount;
    if (limitToGroup)
    {
        if (group < 0)
            return false;
        limit = group + 1 < CharacterGroupCount ? group + 1 : CharacterGroupCount;
    }
    for (int g = 0; g < limit; ++g)
        for (int i = 0; i < sCharacterGroupCount[g]; ++i)
            if (strcmp(sCharacterGroupElementByIndex[g][i].mName, name) == 0)
            {
                group = static_cast<ECharacterGroupId>(g);
                index = i;
                return true;
            }
    return false;
}

bool KQoxCharacterNodeIds::GetCharacterGroupIndexByElement(ECharacterNodeId id, ECharacterGroupId& group, int& index)
{
    int g = 0, i = 0;
    if (!FindElement(id, &g, &i))
        return false;
    group = static_cast<ECharacterGroupId>(g);
    index = i;
    return true;
}

bool KQoxCharacterNodeIds::GetCharacterNodeNameFromNodeId(ECharacterNodeId id, char*& name)
{
    int g = 0, i = 0;
    if (const KCharacterGroupElement* element = FindElement(id, &g, &i))
    {
        name = const_cast<char*>(element->mName);
        return true;
    }
    if (id != eCharacterReference)
        return false;
    name = const_cast<char*>(kReferenceName);
    return true;
}

bool KQoxCharacterNodeIds::GetCharacterGroupVersionByElement(ECharacterNodeId id, int& version)
{
    int g = 0, i = 0;
    if (const KCharacterGroupElement* element = FindElement(id, &g, &i))
    {
        version = element->mVersion;
        return true;
    }
    if (id != eCharacterReference)
        return false;
    version = kReferenceVersion;
    return true;
}

bool KQoxCharacterNodeIds::GetCharacterNodeIdFromNodeName(const char* name, ECharacterNodeId& id)
{
    ECharacterGroupId group = CharacterGroupBase;
    int index = 0;
    if (FindCharacterGroupIndexByName(name, false, group, index))
    {
        id = sCharacterGroupElementByIndex[group][index].mNodeId;
        return true;
    }
    // The whole text, not a fixed-length block: "Reference" with anything
    // after it is another name.
    if (!name || strcmp(name, kReferenceName) != 0)
        return false;
    id = eCharacterReference;
    return true;
}

} // namespace qoxsdk_600
