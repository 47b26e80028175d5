#ifndef QOX_CHARACTER_KQOXCHARACTERNODEID_H
#define QOX_CHARACTER_KQOXCHARACTERNODEID_H

// Character node ids and character node groups.
//
// A character addresses each bone and auxiliary node of its skeleton by a
// fixed number from 0 to 190. 186 ids belong to exactly one of twelve groups,
// each in a fixed order; the native file stores a character's links group by
// group under the node names below, and reads a group without names by
// position, so names and group order never change. Id 67 ("Reference") has a
// name and a version but no group; ids 68, 69, 88 and 89 (the floor contacts)
// have neither and are stored under fields of their own.
//
// The lookups are static members of KQoxCharacterNodeIds. KQoxCharacter
// derives from it (it adds no data and no virtual operation), so each lookup
// is also KQoxCharacter::<lookup>. They read constant tables only: any thread
// may call them.

namespace qoxsdk_600 {

enum ECharacterNodeId : int
{
    eCharacterHips = 0,
    eCharacterLeftUpLeg = 1,
    eCharacterLeftLeg = 2,
    eCharacterLeftFoot = 3,
    eCharacterLeftToeBase = 4,
    eCharacterRightUpLeg = 5,
    eCharacterRightLeg = 6,
    eCharacterRightFoot = 7,
    eCharacterRightToeBase = 8,
    eCharacterSpine = 9,
    eCharacterSpine1 = 10,
    eCharacterLeftShoulder = 11,
    eCharacterLeftArm = 12,
    eCharacterLeftForeArm = 13,
    eCharacterLeftHand = 14,
    eCharacterRightShoulder = 15,
    eCharacterRightArm = 16,
    eCharacterRightForeArm = 17,
    eCharacterRightHand = 18,
    eCharacterNeck = 19,
    eCharacterHead = 20,
    eCharacterLeftUpLegRoll = 21,
    eCharacterLeftLegRoll = 22,
    eCharacterRightUpLegRoll = 23,
    eCharacterRightLegRoll = 24,
    eCharacterLeftArmRoll = 25,
    eCharacterLeftForeArmRoll = 26,
    eCharacterRightArmRoll = 27,
    eCharacterRightForeArmRoll = 28,
    eCharacterSpine2 = 29,
    eCharacterSpine3 = 30,
    eCharacterSpine4 = 31,
    eCharacterSpine5 = 32,
    eCharacterSpine6 = 33,
    eCharacterSpine7 = 34,
    eCharacterSpine8 = 35,
    eCharacterSpine9 = 36,
    eCharacterLeftHandThumb1 = 37,
    eCharacterLeftHandThumb2 = 38,
    eCharacterLeftHandThumb3 = 39,
    eCharacterLeftHandIndex1 = 40,
    eCharacterLeftHandIndex2 = 41,
    eCharacterLeftHandIndex3 = 42,
    eCharacterLeftHandMiddle1 = 43,
    eCharacterLeftHandMiddle2 = 44,
    eCharacterLeftHandMiddle3 = 45,
    eCharacterLeftHandRing1 = 46,
    eCharacterLeftHandRing2 = 47,
    eCharacterLeftHandRing3 = 48,
    eCharacterLeftHandPinky1 = 49,
    eCharacterLeftHandPinky2 = 50,
    eCharacterLeftHandPinky3 = 51,
    eCharacterRightHandThumb1 = 52,
    eCharacterRightHandThumb2 = 53,
    eCharacterRightHandThumb3 = 54,
    eCharacterRightHandIndex1 = 55,
    eCharacterRightHandIndex2 = 56,
    eCharacterRightHandIndex3 = 57,
    eCharacterRightHandMiddle1 = 58,
    eCharacterRightHandMiddle2 = 59,
    eCharacterRightHandMiddle3 = 60,
    eCharacterRightHandRing1 = 61,
    eCharacterRightHandRing2 = 62,
    eCharacterRightHandRing3 = 63,
    eCharacterRightHandPinky1 = 64,
    eCharacterRightHandPinky2 = 65,
    eCharacterRightHandPinky3 = 66,
    eCharacterReference = 67,  // no group; named by a special case
    eCharacterLeftFloor = 68,  // no name, no group, no version
    eCharacterRightFloor = 69, // no name, no group, no version
    eCharacterHipsTranslation = 70,
    eCharacterProps0 = 71,
    eCharacterProps1 = 72,
    eCharacterProps2 = 73,
    eCharacterProps3 = 74,
    eCharacterProps4 = 75,
    eCharacterGameModeParentLeftHipRoll = 76,
    eCharacterGameModeParentLeftKnee = 77,
    eCharacterGameModeParentLeftKneeRoll = 78,
    eCharacterGameModeParentRightHipRoll = 79,
    eCharacterGameModeParentRightKnee = 80,
    eCharacterGameModeParentRightKneeRoll = 81,
    eCharacterGameModeParentLeftShoulderRoll = 82,
    eCharacterGameModeParentLeftElbow = 83,
    eCharacterGameModeParentLeftElbowRoll = 84,
    eCharacterGameModeParentRightShoulderRoll = 85,
    eCharacterGameModeParentRightElbow = 86,
    eCharacterGameModeParentRightElbowRoll = 87,
    eCharacterLeftHandFloor = 88,  // no name, no group, no version
    eCharacterRightHandFloor = 89, // no name, no group, no version
    eCharacterLeftFingerBase = 90,
    eCharacterRightFingerBase = 91,
    eCharacterNeck1 = 92,
    eCharacterNeck2 = 93,
    eCharacterNeck3 = 94,
    eCharacterNeck4 = 95,
    eCharacterNeck5 = 96,
    eCharacterNeck6 = 97,
    eCharacterNeck7 = 98,
    eCharacterNeck8 = 99,
    eCharacterNeck9 = 100,
    eCharacterLeftInHandThumb = 101,
    eCharacterLeftHandThumb4 = 102,
    eCharacterLeftInHandIndex = 103,
    eCharacterLeftHandIndex4 = 104,
    eCharacterLeftInHandMiddle = 105,
    eCharacterLeftHandMiddle4 = 106,
    eCharacterLeftInHandRing = 107,
    eCharacterLeftHandRing4 = 108,
    eCharacterLeftInHandPinky = 109,
    eCharacterLeftHandPinky4 = 110,
    eCharacterLeftInHandExtraFinger = 111,
    eCharacterLeftHandExtraFinger1 = 112,
    eCharacterLeftHandExtraFinger2 = 113,
    eCharacterLeftHandExtraFinger3 = 114,
    eCharacterLeftHandExtraFinger4 = 115,
    eCharacterRightInHandThumb = 116,
    eCharacterRightHandThumb4 = 117,
    eCharacterRightInHandIndex = 118,
    eCharacterRightHandIndex4 = 119,
    eCharacterRightInHandMiddle = 120,
    eCharacterRightHandMiddle4 = 121,
    eCharacterRightInHandRing = 122,
    eCharacterRightHandRing4 = 123,
    eCharacterRightInHandPinky = 124,
    eCharacterRightHandPinky4 = 125,
    eCharacterRightInHandExtraFinger = 126,
    eCharacterRightHandExtraFinger1 = 127,
    eCharacterRightHandExtraFinger2 = 128,
    eCharacterRightHandExtraFinger3 = 129,
    eCharacterRightHandExtraFinger4 = 130,
    eCharacterLeftInFootThumb = 131,
    eCharacterLeftFootThumb1 = 132,
    eCharacterLeftFootThumb2 = 133,
    eCharacterLeftFootThumb3 = 134,
    eCharacterLeftFootThumb4 = 135,
    eCharacterLeftInFootIndex = 136,
    eCharacterLeftFootIndex1 = 137,
    eCharacterLeftFootIndex2 = 138,
    eCharacterLeftFootIndex3 = 139,
    eCharacterLeftFootIndex4 = 140,
    eCharacterLeftInFootMiddle = 141,
    eCharacterLeftFootMiddle1 = 142,
    eCharacterLeftFootMiddle2 = 143,
    eCharacterLeftFootMiddle3 = 144,
    eCharacterLeftFootMiddle4 = 145,
    eCharacterLeftInFootRing = 146,
    eCharacterLeftFootRing1 = 147,
    eCharacterLeftFootRing2 = 148,
    eCharacterLeftFootRing3 = 149,
    eCharacterLeftFootRing4 = 150,
    eCharacterLeftInFootPinky = 151,
    eCharacterLeftFootPinky1 = 152,
    eCharacterLeftFootPinky2 = 153,
    eCharacterLeftFootPinky3 = 154,
    eCharacterLeftFootPinky4 = 155,
    eCharacterLeftInFootExtraFinger = 156,
    eCharacterLeftFootExtraFinger1 = 157,
    eCharacterLeftFootExtraFinger2 = 158,
    eCharacterLeftFootExtraFinger3 = 159,
    eCharacterLeftFootExtraFinger4 = 160,
    eCharacterRightInFootThumb = 161,
    eCharacterRightFootThumb1 = 162,
    eCharacterRightFootThumb2 = 163,
    eCharacterRightFootThumb3 = 164,
    eCharacterRightFootThumb4 = 165,
    eCharacterRightInFootIndex = 166,
    eCharacterRightFootIndex1 = 167,
    eCharacterRightFootIndex2 = 168,
    eCharacterRightFootIndex3 = 169,
    eCharacterRightFootIndex4 = 170,
    eCharacterRightInFootMiddle = 171,
    eCharacterRightFootMiddle1 = 172,
    eCharacterRightFootMiddle2 = 173,
    eCharacterRightFootMiddle3 = 174,
    eCharacterRightFootMiddle4 = 175,
    eCharacterRightInFootRing = 176,
    eCharacterRightFootRing1 = 177,
    eCharacterRightFootRing2 = 178,
    eCharacterRightFootRing3 = 179,
    eCharacterRightFootRing4 = 180,
    eCharacterRightInFootPinky = 181,
    eCharacterRightFootPinky1 = 182,
    eCharacterRightFootPinky2 = 183,
    eCharacterRightFootPinky3 = 184,
    eCharacterRightFootPinky4 = 185,
    eCharacterRightInFootExtraFinger = 186,
    eCharacterRightFootExtraFinger1 = 187,
    eCharacterRightFootExtraFinger2 = 188,
    eCharacterRightFootExtraFinger3 = 189,
    eCharacterRightFootExtraFinger4 = 190,
    eCharacterLastNodeId = 190
};

// Number of character node ids (0 to 190).
const int kCharacterNodeIdCount = 191;

enum ECharacterGroupId : int
{
    CharacterGroupBase = 0,
    CharacterGroupAuxiliary = 1,
    CharacterGroupSpine = 2,
    CharacterGroupRoll = 3,
    CharacterGroupSpecial = 4,
    CharacterGroupLeftHand = 5,
    CharacterGroupRightHand = 6,
    CharacterGroupProps = 7,
    CharacterGroupGameModeParent = 8,
    CharacterGroupNeck = 9,
    CharacterGroupLeftFoot = 10,
    CharacterGroupRightFoot = 11,
    CharacterGroupCount = 12
};

// One entry of a group: the id, its node name (constant text) and the file
// version that introduced it (4000, or 4500 for ids 90 and above).
struct KCharacterGroupElement
{
    ECharacterNodeId mNodeId;
    const char* mName;
    int mVersion;
};

class KQoxCharacterNodeIds
{
public:
    // Element count of a group; 0 for a group outside 0 to 11.
    static int GetCharacterGroupCount(ECharacterGroupId group);
    // The entry at a position of a group. Outside the groups or beyond the
    // group's count: id -1, name null, version 0.
    static ECharacterNodeId GetCharacterGroupElementByIndex(ECharacterGroupId group, int index);
    static char* GetCharacterGroupNameByIndex(ECharacterGroupId group, int index);
    static int GetCharacterGroupVersionByIndex(ECharacterGroupId group, int index);

    // Group and position of a node name, compared as whole texts with case.
    // With limitToGroup, group is also an input: only groups 0 up to and
    // including it are searched (none when it is negative). "Reference" is in
    // no group. On a miss (or a null name) false, and group and index stay.
    static bool FindCharacterGroupIndexByName(const char* name, bool limitToGroup, ECharacterGroupId& group,
                                              int& index);
    // Group and position of an id; false (outputs unchanged) for an id in no
    // group, 67 included.
    static bool GetCharacterGroupIndexByElement(ECharacterNodeId id, ECharacterGroupId& group, int& index);
    // Node name of an id: the group entry's, or "Reference" for 67. False for
    // 68, 69, 88, 89 and ids outside the table.
    static bool GetCharacterNodeNameFromNodeId(ECharacterNodeId id, char*& name);
    // Version of an id: the group entry's, or 4000 for 67; false otherwise.
    static bool GetCharacterGroupVersionByElement(ECharacterNodeId id, int& version);
    // Id of a node name: a group entry's, or 67 for exactly "Reference".
    static bool GetCharacterNodeIdFromNodeName(const char* name, ECharacterNodeId& id);
};

} // namespace qoxsdk_600

#endif
