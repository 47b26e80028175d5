// Character enumerations: every text, null outside, and how an enumeration
// property keeps, converts and names its value.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "character/kcharacterenums.h"

using namespace qoxsdk_600;

namespace {

// The texts a text function gives for -1 .. 4; null where there is none.
struct TextRow
{
    const char* function;
    char* (*text)(int);
    const char* expected[6]; // values -1, 0, 1, 2, 3, 4
};

// A text function called with a plain int.
#define KQOX_TEXT(E, F) [](int value) { return F(static_cast<E>(value)); }

const TextRow kTextRows[] = {
    {"Posture", KQOX_TEXT(kCharacterPosture, KCharacter_GetPostureString), {nullptr, "Biped", "Quadruped"}},
    {"OffAutoUser",
     KQOX_TEXT(kCharacterOffAutoUser, KCharacter_GetOffAutoUserModeString),
     {nullptr, "Off", "Auto", "User"}},
    {"AutoUser", KQOX_TEXT(kCharacterAutoUser, KCharacter_GetAutoUserModeString), {nullptr, "Auto", "User"}},
    {"RollExtraction",
     KQOX_TEXT(kCharacterRollExtractionMode, KCharacter_GetRollExtractionModeString),
     {nullptr, "Relative", "Absolute"}},
    {"FootFloorPivot",
     KQOX_TEXT(kCharacterFloorPivot, KCharacter_GetFootFloorPivotString),
     {nullptr, "Auto", "Ankle", "Toes"}},
    {"HandFloorPivot",
     KQOX_TEXT(kCharacterFloorPivot, KCharacter_GetHandFloorPivotString),
     {nullptr, "Auto", "Wrist", "Fingers"}},
    {"HandContactType",
     KQOX_TEXT(kCharacterFloorContactType, KCharacter_GetHandContactTypeString),
     {nullptr, "Normal", "Wrist", "FingerBase", "Hoof"}},
    {"FootContactType",
     KQOX_TEXT(kCharacterFloorContactType, KCharacter_GetFootContactTypeString),
     {nullptr, "Normal", "Ankle", "ToeBase", "Hoof"}},
    {"FingerContactMode",
     KQOX_TEXT(kCharacterFingerContactMode, KCharacter_GetFingerContactModeString),
     {nullptr, "Sticky", "Spread", "Sticky & Spread"}},
    {"HipsTranslation",
     KQOX_TEXT(kCharacterHipsTranslationMode, KCharacter_GetHipsTranslationModeString),
     {nullptr, "World Rigid", "Body Rigid"}},
    {"ContactBehaviour",
     KQOX_TEXT(kCharacterContactBehaviour, KCharacter_GetContactBehaviourString),
     {nullptr, "Never Sync", "Sync On Key", "Always Sync"}},
};

// An object that exposes a posture through accessors, as character
// properties do.
class PostureOwner : public KObject
{
public:
    kCharacterPosture PostureGet()
    {
        ++mGets;
        return mPosture;
    }
    void PostureSet(kCharacterPosture posture) { mPosture = posture; }
    char* PostureText(int value) { return KCharacter_GetPostureString(static_cast<kCharacterPosture>(value)); }

    // A property bound to the accessors and the text function.
    void Bind(KPropertyTemplate<kCharacterPosture>& property, bool accessors)
    {
        property.SetPropertyInfo("Posture", this,
                                 accessors ? KPropertyMemberCast<KPropertyAccessor>(
                                                 static_cast<kCharacterPosture (KPlug::*)()>(&PostureOwner::PostureGet))
                                           : nullptr,
                                 accessors
                                     ? KPropertyMemberCast<KPropertyAccessor>(
                                           static_cast<void (KPlug::*)(kCharacterPosture)>(&PostureOwner::PostureSet))
                                     : nullptr);
        property.SetPropertyType(kPropertyTypeEnum);
        property.GetPropertyInfo().SetAsStringFunc(static_cast<KPropertyToString>(&PostureOwner::PostureText));
    }

    kCharacterPosture mPosture = eCharacterBiped;
    int mGets = 0;
};

} // namespace

TEST(CharacterEnums, TextsAndNullOutsideEachEnumeration)
{
    for (const TextRow& row : kTextRows)
    {
        for (int value = -1; value <= 4; ++value)
        {
            const char* expected = row.expected[value + 1];
            const char* text = row.text(value);
            if (expected)
                EXPECT_STREQ(text, expected) << row.function << " " << value;
            else
                EXPECT_EQ(text, nullptr) << row.function << " " << value;
        }
        EXPECT_EQ(row.text(std::numeric_limits<int>::max()), nullptr) << row.function;
        EXPECT_EQ(row.text(std::numeric_limits<int>::min()), nullptr) << row.function;
        // The same constant text every time.
        EXPECT_EQ(row.text(0), row.text(0));
    }
}

TEST(CharacterEnums, PropertyKeepsAnyValueAndReadsFourBytes)
{
    PostureOwner owner;
    KPropertyTemplate<kCharacterPosture> property;
    owner.Bind(property, false);
    EXPECT_EQ(property.GetPropertyType(), kPropertyTypeEnum);
    EXPECT_STREQ(property.GetPropertyTypeName(), "enum");

    const struct
    {
        double in;
        int stored;
        const char* text;
    } cases[] = {
        {1.9, 1, "Quadruped"},
        {-0.5, 0, "Biped"},
        {7.0, 7, ""}, // no text: an empty string, never one built from null
        {-3.99, -3, ""},
        {std::nan(""), 0, "Biped"},
        {std::numeric_limits<double>::infinity(), std::numeric_limits<int>::max(), ""},
        {-std::numeric_limits<double>::max(), std::numeric_limits<int>::min(), ""},
        {1e300, std::numeric_limits<int>::max(), ""},
        {std::numeric_limits<double>::denorm_min(), 0, "Biped"},
        {2147483647.9, std::numeric_limits<int>::max(), ""},
    };
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
    int value = 0;
    memcpy(&value, out, 4);
    EXPECT_EQ(value, 1);
    for (int i = 4; i < 8; ++i)
        EXPECT_EQ(out[i], 0xAB);
}

TEST(CharacterEnums, SetterCallbackLeavesTheCachedValueUntilTheNextRead)
{
    PostureOwner owner;
    KPropertyTemplate<kCharacterPosture> property;
    owner.Bind(property, true);
    EXPECT_TRUE(property.SetInteger(1));
    EXPECT_EQ(owner.mPosture, eCharacterQuadruped);
    // The cached value is only refreshed from the getter by a read.
    kCharacterPosture cached = eCharacterBiped;
    owner.mPosture = eCharacterBiped;
    property.GetData(&cached, 0, nullptr, nullptr);
    EXPECT_EQ(cached, eCharacterBiped);
    EXPECT_EQ(owner.mGets, 1);
    EXPECT_EQ(property.AsInteger(), 0);
}
