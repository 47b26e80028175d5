#include "character/kcharacterenums.h"

namespace qoxsdk_600 {

namespace {

// The text of value in a table of count texts; null outside it.
template <int N>
char* TextAt(const char* const (&texts)[N], int value)
{
    return (value >= 0 && value < N) ? const_cast<char*>(texts[value]) : nullptr;
}

const char* const kPostureTexts[] = {"Biped", "Quadruped"};
const char* const kOffAutoUserTexts[] = {"Off", "Auto", "User"};
const char* const kAutoUserTexts[] = {"Auto", "User"};
const char* const kRollExtractionTexts[] = {"Relative", "Absolute"};
const char* const kFootFloorPivotTexts[] = {"Auto", "Ankle", "Toes"};
const char* const kHandFloorPivotTexts[] = {"Auto", "Wrist", "Fingers"};
const char* const kHandContactTypeTexts[] = {"Normal", "Wrist", "FingerBase", "Hoof"};
const char* const kFootContactTypeTexts[] = {"Normal", "Ankle", "ToeBase", "Hoof"};
const char* const kFingerContactModeTexts[] = {"Sticky", "Spread", "Sticky & Spread"};
const char* const kHipsTranslationTexts[] = {"World Rigid", "Body Rigid"};
const char* const kContactBehaviourTexts[] = {"Never Sync", "Sync On Key", "Always Sync"};

} // namespace

char* KCharacter_GetPostureString(kCharacterPosture value)
{
    return TextAt(kPostureTexts, value);
}

char* KCharacter_GetOffAutoUserModeString(kCharacterOffAutoUser value)
{
    return TextAt(kOffAutoUserTexts, value);
}

char* KCharacter_GetAutoUserModeString(kCharacterAutoUser value)
{
    return TextAt(kAutoUserTexts, value);
}

char* KCharacter_GetRollExtractionModeString(kCharacterRollExtractionMode value)
{
    return TextAt(kRollExtractionTexts, value);
}

char* KCharacter_GetFootFloorPivotString(kCharacterFloorPivot value)
{
    return TextAt(kFootFloorPivotTexts, value);
}

char* KCharacter_GetHandFloorPivotString(kCharacterFloorPivot value)
{
    return TextAt(kHandFloorPivotTexts, value);
}

char* KCharacter_GetHandContactTypeString(kCharacterFloorContactType value)
{
    return TextAt(kHandContactTypeTexts, value);
}

char* KCharacter_GetFootContactTypeString(kCharacterFloorContactType value)
{
    return TextAt(kFootContactTypeTexts, value);
}

char* KCharacter_GetFingerContactModeString(kCharacterFingerContactMode value)
{
    return TextAt(kFingerContactModeTexts, value);
}

char* KCharacter_GetHipsTranslationModeString(kCharacterHipsTranslationMode value)
{
    return TextAt(kHipsTranslationTexts, value);
}

char* KCharacter_GetContactBehaviourString(kCharacterContactBehaviour value)
{
    return TextAt(kContactBehaviourTexts, value);
}

} // namespace qoxsdk_600

template class KPropertyTemplate<qoxsdk_600::kCharacterPosture>;
template class KPropertyTemplate<qoxsdk_600::kCharacterOffAutoUser>;
template class KPropertyTemplate<qoxsdk_600::kCharacterAutoUser>;
template class KPropertyTemplate<qoxsdk_600::kCharacterRollExtractionMode>;
template class KPropertyTemplate<qoxsdk_600::kCharacterFloorPivot>;
template class KPropertyTemplate<qoxsdk_600::kCharacterFloorContactType>;
template class KPropertyTemplate<qoxsdk_600::kCharacterFingerContactMode>;
template class KPropertyTemplate<qoxsdk_600::kCharacterHipsTranslationMode>;
template class KPropertyTemplate<qoxsdk_600::kCharacterContactBehaviour>;
