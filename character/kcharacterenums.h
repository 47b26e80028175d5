#ifndef QOX_CHARACTER_KCHARACTERENUMS_H
#define QOX_CHARACTER_KCHARACTERENUMS_H

// The character solver's small enumerations and their display texts.
//
// Each is a signed 32-bit value numbered from 0 without gaps. The floor pivot
// and the floor contact type serve feet and hands alike: the number means the
// same for both, the text depends on the limb. The text functions return the
// program's own constant text, or null for a value that has none (negative
// values and values past the last one). The filter set numbers the modes of
// its off/auto/user and auto/user parameters as kCharacterOffAutoUser and
// kCharacterAutoUser.
//
// Objects expose these values through KPropertyTemplate<E> (property kind 6,
// "enum"), which behaves exactly as KPropertyTemplate<int>: it keeps any
// 32-bit value, and its text comes from the owner's to-text function alone.

#include "object/kproperty.h"

namespace qoxsdk_600 {

enum kCharacterPosture : int
{
    eCharacterBiped = 0,
    eCharacterQuadruped = 1
};

enum kCharacterOffAutoUser : int
{
    eCharacterOffAutoUserOff = 0,
    eCharacterOffAutoUserAuto = 1,
    eCharacterOffAutoUserUser = 2
};

enum kCharacterAutoUser : int
{
    eCharacterAutoUserAuto = 0,
    eCharacterAutoUserUser = 1
};

enum kCharacterRollExtractionMode : int
{
    eCharacterRelativeRollExtraction = 0,
    eCharacterAbsoluteRollExtraction = 1
};

// Feet: auto, ankle, toes. Hands: auto, wrist, fingers.
enum kCharacterFloorPivot : int
{
    eCharacterFloorPivotAuto = 0,
    eCharacterFloorPivotAnkleOrWrist = 1,
    eCharacterFloorPivotToesOrFingers = 2
};

// Feet: normal, ankle, toe base, hoof. Hands: normal, wrist, finger base, hoof.
enum kCharacterFloorContactType : int
{
    eCharacterFloorContactNormal = 0,
    eCharacterFloorContactAnkleOrWrist = 1,
    eCharacterFloorContactToeBaseOrFingerBase = 2,
    eCharacterFloorContactHoof = 3
};

enum kCharacterFingerContactMode : int
{
    eCharacterFingerContactSticky = 0,
    eCharacterFingerContactSpread = 1,
    eCharacterFingerContactStickyAndSpread = 2
};

enum kCharacterHipsTranslationMode : int
{
    eCharacterHipsTranslationWorldRigid = 0,
    eCharacterHipsTranslationBodyRigid = 1
};

enum kCharacterContactBehaviour : int
{
    eCharacterContactNeverSync = 0,
    eCharacterContactSyncOnKey = 1,
    eCharacterContactAlwaysSync = 2
};

char* KCharacter_GetPostureString(kCharacterPosture value);
char* KCharacter_GetOffAutoUserModeString(kCharacterOffAutoUser value);
char* KCharacter_GetAutoUserModeString(kCharacterAutoUser value);
char* KCharacter_GetRollExtractionModeString(kCharacterRollExtractionMode value);
char* KCharacter_GetFootFloorPivotString(kCharacterFloorPivot value);
char* KCharacter_GetHandFloorPivotString(kCharacterFloorPivot value);
char* KCharacter_GetHandContactTypeString(kCharacterFloorContactType value);
char* KCharacter_GetFootContactTypeString(kCharacterFloorContactType value);
char* KCharacter_GetFingerContactModeString(kCharacterFingerContactMode value);
char* KCharacter_GetHipsTranslationModeString(kCharacterHipsTranslationMode value);
char* KCharacter_GetContactBehaviourString(kCharacterContactBehaviour value);

// A solver value (a double) as the int of an enumeration or mode: truncated
// toward zero, NaN as 0, values beyond the int range clamped to it.
inline int KCharacter_ValueToInt(double value)
{
    return KPropertyTruncateToInt(value);
}

} // namespace qoxsdk_600

// The enumeration properties, instantiated once in the character library.
extern template class KPropertyTemplate<qoxsdk_600::kCharacterPosture>;
extern template class KPropertyTemplate<qoxsdk_600::kCharacterOffAutoUser>;
extern template class KPropertyTemplate<qoxsdk_600::kCharacterAutoUser>;
extern template class KPropertyTemplate<qoxsdk_600::kCharacterRollExtractionMode>;
extern template class KPropertyTemplate<qoxsdk_600::kCharacterFloorPivot>;
extern template class KPropertyTemplate<qoxsdk_600::kCharacterFloorContactType>;
extern template class KPropertyTemplate<qoxsdk_600::kCharacterFingerContactMode>;
extern template class KPropertyTemplate<qoxsdk_600::kCharacterHipsTranslationMode>;
extern template class KPropertyTemplate<qoxsdk_600::kCharacterContactBehaviour>;

#endif
