// Character enumerations: every text, null outside, and how an enumeration
// property keeps, converts and names its value.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "character/kcharacterenums.h"

using namespace qoxsdk_600;

namespace {

// A text function called with a plain int.
#define KQOX_TEXT(E, F) [](int value) { return F(static_cast<E>(value)); }

// The texts of values 0 .. 3, then null.
const struct
{
    char* (*text)(int);
    const char* expected[4];
} kTextRows[] = {
    {KQOX_TEXT(kCharacterPosture, KCharacter_GetPostureString), {"Biped", "Quadruped"}},
    {KQOX_TEXT(kCharacterOffAutoUser, KCharacter_GetOffAutoUserModeString), {"Off", "Auto", "User"}},
    {KQOX_TEXT(kCharacterAutoUser, KCharacter_GetAutoUserModeString), {"Auto", "User"}},
    {KQOX_TEXT(kCharacterRollExtractionMode, KCharacter_GetRollExtractionModeString), {"Relative", "Absolute"}},
    {KQOX_TEXT(kCharacterFloorPivot, KCharacter_GetFootFloorPivotString), {"Auto", "Ankle", "Toes"}},
    {KQOX_TEXT(kCharacterFloorPivot, KCharacter_GetHandFloorPivotString), {"Auto", "Wrist", "Fingers"}},
    {KQOX_TEXT(kCharacterFloorContactType, KCharacter_GetHandContactTypeString),
     {"Normal", "Wrist", "FingerBase", "Hoof"}},
    {KQOX_TEXT(kCharacterFloorContactType, KCharacter_GetFootContactTypeString),
     {"Normal", "Ankle", "ToeBase", "Hoof"}},
    {KQOX_TEXT(kCharacterFingerContactMode, KCharacter_GetFingerContactModeString),
     {"Sticky", "Spread", "Sticky & Spread"}},
    {KQOX_TEXT(kCharacterHipsTranslationMode, KCharacter_GetHipsTranslationModeString), {"World Rigid", "Body Rigid"}},
    {KQOX_TEXT(kCharacterContactBehaviour, KCharacter_GetContactBehaviourString),
     {"Never Sync", "Sync On Key", "Always Sync"}},
};

// An object that exposes a posture through accessors, as character
// properties do.
class PostureOwner : public KObject
{
public:
    kCharacterPosture PostureGet() { return mPosture; }
    void PostureSet(kCharacterPosture posture) { mPosture = posture; }
    char* PostureText(int value) { return KCharacter_GetPostureString(static_cast<kCharacterPosture>(value)); }

    void Bind(KPropertyTemplate<kCharacterPosture>& property, bool accessors)
    {
        typedef kCharacterPosture (KPlug::*Get)();
        typedef void (KPlug::*Set)(kCharacterPosture);
        property.SetPropertyInfo(
            "Posture", this,
            accessors ? KPropertyMemberCast<KPropertyAccessor>(static_cast<Get>(&PostureOwner::PostureGet)) : nullptr,
            accessors ? KPropertyMemberCast<KPropertyAccessor>(static_cast<Set>(&PostureOwner::PostureSet)) : nullptr);
        property.SetPropertyType(kPropertyTypeEnum);
        property.GetPropertyInfo().SetAsStringFunc(static_cast<KPropertyToString>(&PostureOwner::PostureText));
    }

    kCharacterPosture mPosture = eCharacterBiped;
};

} // namespace

TEST(CharacterEnums, TextsAndNullOutsideEachEnumeration)
{
    for (const auto& row : kTextRows)
    {
        int count = 0;
        for (; count < 4 && row.expected[count]; ++count)
            EXPECT_STREQ(row.text(count), row.expected[count]);
        for (int value : {-1, count, count + 1, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()})
            EXPECT_EQ(row.text(value), nullptr) << row.expected[0] << " " << value;
    }
}

TEST(CharacterEnums, PropertyKeepsAnyValueAndConvertsDoublesSafely)
{
    PostureOwner owner;
    KPropertyTemplate<kCharacterPosture> property;
    owner.Bind(property, false);
    EXPECT_STREQ(property.GetPropertyTypeName(), "enum");
    const int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
    const struct
    {
        double in;
        int stored;
        const char* text; // empty where the value has no text, never built from null
    } cases[] = {{1.9, 1, "Quadruped"},
                 {-0.5, 0, "Biped"},
                 {7.0, 7, ""},
                 {-3.99, -3, ""},
                 {std::nan(""), 0, "Biped"},
                 {std::numeric_limits<double>::infinity(), kMax, ""},
                 {-std::numeric_limits<double>::max(), kMin, ""},
                 {std::numeric_limits<double>::denorm_min(), 0, "Biped"},
                 {2147483647.9, kMax, ""}};
    for (const auto& c : cases)
    {
        EXPECT_TRUE(property.SetDouble(c.in)) << c.in;
        EXPECT_EQ(property.AsInteger(), c.stored) << c.in;
        EXPECT_EQ(property.AsDouble(), static_cast<double>(c.stored)) << c.in;
        EXPECT_STREQ(property.AsString().Buffer(), c.text) << c.in;
    }
    // GetData writes exactly the 4-byte value, whatever type is asked for.
    property.Set(eCharacterQuadruped);
    unsigned char out[8];
    memset(out, 0xAB, sizeof(out));
    property.GetData(out, kPropertyTypeDouble, nullptr, nullptr);
    const unsigned char expected[8] = {1, 0, 0, 0, 0xAB, 0xAB, 0xAB, 0xAB};
    EXPECT_EQ(memcmp(out, expected, 8), 0);
}

TEST(CharacterEnums, SetterCallbackLeavesTheCachedValueUntilTheNextRead)
{
    PostureOwner owner;
    KPropertyTemplate<kCharacterPosture> property;
    owner.Bind(property, true);
    EXPECT_TRUE(property.SetInteger(1));
    EXPECT_EQ(owner.mPosture, eCharacterQuadruped);
    owner.mPosture = eCharacterBiped;
    EXPECT_EQ(property.AsInteger(), 0); // refreshed from the getter
}
