// The character's property block: the 383 properties in order with their
// types and flags, start values from the solver defaults, setters with their
// clamps and filter-set mirrors, and the copy from the filter set.

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "character_fixture.h"

namespace chartest {
namespace {

struct Row
{
    const char* name;
    int type;
    bool readOnly;
    bool animatable;
};

template <class T>
int TypeOf()
{
    return kPropertyTypeEnum;
}
template <>
int TypeOf<bool>()
{
    return kPropertyTypeBool;
}
template <>
int TypeOf<double>()
{
    return kPropertyTypeDouble;
}
template <>
int TypeOf<KgeTVector>()
{
    return kPropertyTypeVector3D;
}

TEST_F(CharacterTest, PropertyListOrderTypesAndFlags)
{
#define ROWS(name, type, access, anim, setter, param, from, write, text)                                               \
    {#name, TypeOf<type>(), std::string(#access) == "RO", std::string(#anim) == "ANIM"},
    const std::vector<Row> rows = {QOX_CHARACTER_PROPERTIES(ROWS)};
#undef ROWS
    KQoxCharacterProperties* p = NewCharacter()->GetProperties();
    ASSERT_EQ(383, p->GetPropertyCount());
    ASSERT_EQ(191u, rows.size());
    int readOnly = 0, animatable = 0, texts = 0;
    for (int i = 0; i < 191; ++i)
    {
        KProperty* property = p->GetProperty(i);
        SCOPED_TRACE(rows[i].name);
        EXPECT_STREQ(rows[i].name, property->GetPropertyName());
        EXPECT_EQ(rows[i].type, property->GetPropertyInfo().mType);
        EXPECT_EQ(rows[i].readOnly, property->IsReadOnly());
        EXPECT_EQ(rows[i].readOnly, property->GetPropertyInfo().mSetter == nullptr);
        EXPECT_EQ(rows[i].animatable, property->IsAnimatable());
        EXPECT_EQ(rows[i].type == kPropertyTypeEnum, property->GetPropertyInfo().mToString != nullptr);
        readOnly += property->IsReadOnly();
        animatable += property->IsAnimatable();
        texts += rows[i].type == kPropertyTypeEnum;
    }
    EXPECT_EQ(75, readOnly);
    EXPECT_EQ(100, animatable);
    EXPECT_EQ(26, texts);

    int position = 191;
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
    {
        char* nodeName = nullptr;
        const bool named = KQoxCharacterNodeIds::GetCharacterNodeNameFromNodeId(NodeId(id), nodeName);
        EXPECT_EQ(named, p->GetNodeLinkProperty(id) != nullptr) << id;
        if (!named)
            continue;
        KProperty* property = p->GetProperty(position++);
        EXPECT_EQ(std::string(nodeName) + "Link", property->GetPropertyName());
        EXPECT_EQ(kPropertyTypeObject, property->GetPropertyInfo().mType);
        EXPECT_EQ(id, property->GetUserWord());
        EXPECT_EQ(p->GetNodeLinkProperty(id), property);
    }
    EXPECT_EQ(378, position);
    EXPECT_STREQ("ReferenceLink", p->GetNodeLinkProperty(67)->GetPropertyName());
    for (int id : {68, 69, 88, 89})
        EXPECT_EQ(nullptr, p->GetNodeLinkProperty(id));
    const char* lists[] = {"SourceObject", "DestinationObject", "Actor", "Character", "ControlSet"};
    for (const char* name : lists)
        EXPECT_STREQ(name, p->GetProperty(position++)->GetPropertyName());
    EXPECT_TRUE(p->mSourceObject.IsSubPlug());
    EXPECT_TRUE(p->mDestinationObject.IsSubPlug());
    EXPECT_FALSE(p->mActor.IsSubPlug());
    EXPECT_EQ(2, p->mDestinationObject.GetDirection());
    EXPECT_EQ(1, p->mControlSet.GetDirection());
    EXPECT_TRUE(p->Is(KPlug::ClassId));
    EXPECT_TRUE(p->Is(KQoxPropertyHandler::ClassId));
    EXPECT_FALSE(p->Is(KPropertyObjectList::ClassId));
    EXPECT_STREQ("KQoxCharacterProperties", p->GetClassIdName());
}

// Every mapped property starts at its parameter's default, converted as the
// table says; the others at their fixed start values.
TEST_F(CharacterTest, StartValuesFollowParameterDefaults)
{
    KQoxCharacterProperties* p = NewCharacter()->GetProperties();
    int mapped = 0;
    auto defaultValue = [](int param) { return KQoxFilterSet::GetParameterDefaultValue(param); };
    auto defaultMode = [](int param) { return KQoxFilterSet::GetParameterDefaultMode(param); };
    auto check = [&](const char* name, double actual, double expected) {
        ++mapped;
        EXPECT_EQ(expected, actual) << name;
    };
#define EXPECTED_VALUE(type, param)  static_cast<double>(static_cast<type>(defaultValue(param)))
#define EXPECTED_TRUNC(type, param)  static_cast<double>(static_cast<int>(defaultValue(param)))
#define EXPECTED_MODE(type, param)   static_cast<double>(defaultMode(param))
#define EXPECTED_MODENZ(type, param) (defaultMode(param) != 0 ? 1.0 : 0.0)
#define CHECK_NONE(name, type, param)
#define CHECK_VALUE(name, type, param)  check(#name, static_cast<double>(p->name##Get()), EXPECTED_VALUE(type, param));
#define CHECK_TRUNC(name, type, param)  check(#name, static_cast<double>(p->name##Get()), EXPECTED_TRUNC(type, param));
#define CHECK_MODE(name, type, param)   check(#name, static_cast<double>(p->name##Get()), EXPECTED_MODE(type, param));
#define CHECK_MODENZ(name, type, param) check(#name, p->name##Get() ? 1.0 : 0.0, EXPECTED_MODENZ(type, param));
#define CHECK_VEC3(name, type, param)                                                                                  \
    check(#name, p->name##Get().x, defaultValue(param));                                                               \
    EXPECT_EQ(defaultValue(param + 1), p->name##Get().y);                                                              \
    EXPECT_EQ(defaultValue(param + 2), p->name##Get().z);                                                              \
    EXPECT_EQ(1.0, p->name##Get().w);
#define CHECK_ROW(name, type, access, anim, setter, param, from, write, text) CHECK_##from(name, type, param)
    QOX_CHARACTER_PROPERTIES(CHECK_ROW)
    EXPECT_EQ(184, mapped);
    // Spot checks of the same values, worked out by hand from the defaults.
    EXPECT_EQ(10.0, p->PullIterationCountGet());
    EXPECT_EQ(80.0, p->MassCenterCompensationGet());
    EXPECT_EQ(100.0, p->ReachActorLeftAnkleRotationGet());
    EXPECT_EQ(60.0, p->LeftUpLegRollGet());
    EXPECT_FALSE(p->LeftUpLegRollModeGet());
    EXPECT_EQ(7.5, p->FootBottomToAnkleGet());
    EXPECT_TRUE(p->FingerSolvingGet());
    EXPECT_TRUE(p->SyncModeGet());
    EXPECT_EQ(kCharacterFingerContactMode(1), p->HandFingerContactModeGet());
    EXPECT_EQ(kCharacterOffAutoUser(0), p->AnkleStabilizationDampingModeGet());
    EXPECT_EQ(kCharacterOffAutoUser(1), p->ScaleCompensationModeGet());
    // Not mapped.
    EXPECT_TRUE(p->ActiveGet());
    EXPECT_FALSE(p->LockGet());
    EXPECT_EQ(100.0, p->WeightGet());
    EXPECT_EQ(0.0, p->ScaleCompensationGet());
    EXPECT_EQ(0.0, p->HipsHeightCompensationGet());
    EXPECT_EQ(0.0, p->AnkleHeightCompensationGet());
    EXPECT_EQ(0.0, p->AnkleProximityCompensationGet());
}

TEST_F(CharacterTest, SettersClampAndMirror)
{
    KQoxCharacter* c = NewCharacter();
    KQoxCharacterProperties* p = c->GetProperties();
    KQoxFilterSet* set = c->GetFilterSet();
    struct Case
    {
        void (KQoxCharacterProperties::*set)(double);
        double (KQoxCharacterProperties::*get)();
        int param;
        double in, stored;
    } const cases[] = {
        {&KQoxCharacterProperties::PullIterationCountSet, &KQoxCharacterProperties::PullIterationCountGet, 0, 45, 30},
        {&KQoxCharacterProperties::PullIterationCountSet, &KQoxCharacterProperties::PullIterationCountGet, 0, -3, 0},
        {&KQoxCharacterProperties::FootBottomToAnkleSet, &KQoxCharacterProperties::FootBottomToAnkleGet, 45, 0, 0.01},
        {&KQoxCharacterProperties::FootContactSizeSet, &KQoxCharacterProperties::FootContactSizeGet, 51, 5, 5},
        {&KQoxCharacterProperties::HandContactSizeSet, &KQoxCharacterProperties::HandContactSizeGet, 62, 5000, 1000},
        {&KQoxCharacterProperties::HandContactSizeSet, &KQoxCharacterProperties::HandContactSizeGet, 62, DBL_MAX, 1000},
        {&KQoxCharacterProperties::HandContactSizeSet, &KQoxCharacterProperties::HandContactSizeGet, 62, -DBL_MAX,
         0.01},
        {&KQoxCharacterProperties::LeftHandThumbTipSet, &KQoxCharacterProperties::LeftHandThumbTipGet, 141, 0.5, 0.5},
        {&KQoxCharacterProperties::RightFootExtraFingerTipSet, &KQoxCharacterProperties::RightFootExtraFingerTipGet,
         164, DBL_MIN / 4, 0.01},
        // Pair values reach the filter set too.
        {&KQoxCharacterProperties::ScaleCompensationSet, &KQoxCharacterProperties::ScaleCompensationGet, 3, 50, 50},
        {&KQoxCharacterProperties::LeftUpLegRollSet, &KQoxCharacterProperties::LeftUpLegRollGet, 67, -7, -7},
        {&KQoxCharacterProperties::AnkleStabilizationTimeSet, &KQoxCharacterProperties::AnkleStabilizationTimeGet, 83,
         3.25, 3.25},
    };
    for (const Case& k : cases)
    {
        (p->*k.set)(k.in);
        EXPECT_EQ(k.stored, (p->*k.get)()) << k.param;
        EXPECT_EQ(k.stored, set->GetParameterValue(k.param)) << k.param;
    }

    const double before = set->GetParameterValue(2);
    p->ForceActorSpaceSet(true);
    EXPECT_EQ(1, set->GetParameterMode(2));
    EXPECT_EQ(before, set->GetParameterValue(2));
    p->ForceActorSpaceSet(false);
    EXPECT_EQ(0, set->GetParameterMode(2));
    p->PostureSet(kCharacterPosture(1));
    EXPECT_EQ(1.0, set->GetParameterValue(1));
    // Enumerations are mirrored as signed numbers.
    p->HipsTranslationModeSet(kCharacterHipsTranslationMode(-1));
    EXPECT_EQ(-1.0, set->GetParameterValue(132));
    p->ContactBehaviourSet(kCharacterContactBehaviour(INT32_MIN));
    EXPECT_EQ(static_cast<double>(INT32_MIN), set->GetParameterValue(174));

    // A refused mode stays in the property; the filter set keeps its own.
    p->DisplacementMemoryModeSet(kCharacterAutoUser(2));
    EXPECT_EQ(kCharacterAutoUser(2), p->DisplacementMemoryModeGet());
    EXPECT_EQ(0, set->GetParameterMode(78));
    p->OrientationDampingModeSet(kCharacterOffAutoUser(2));
    EXPECT_EQ(2, set->GetParameterMode(76));

    // Through the property system: the setter runs between the notifications.
    double weight = 42.0;
    p->mPullIterationCount.SetData(&weight, 0, nullptr, nullptr);
    EXPECT_EQ(30.0, p->PullIterationCountGet());
    EXPECT_STREQ("Biped", p->PostureAsString(0));
    EXPECT_STREQ(KCharacter_GetOffAutoUserModeString(kCharacterOffAutoUser(2)), p->ScaleCompensationModeAsString(2));
}

TEST_F(CharacterTest, FilterSetToPropertiesRules)
{
    KQoxCharacter* c = NewCharacter();
    KQoxCharacterProperties* p = c->GetProperties();
    KQoxFilterSet* set = c->GetFilterSet();
    set->SetParameterValue(0, 50.0);   // stored past the setter's clamp
    set->SetParameterValue(132, 1.9);  // truncated
    set->SetParameterValue(166, -0.5); // truncated toward zero
    set->SetParameterMode(125, 1);
    set->SetParameterValue(38, 1.0);
    set->SetParameterValue(39, 2.0);
    set->SetParameterValue(40, 3.0);
    set->SetParameterValue(7, NAN);
    set->SetParameterMode(76, 2);
    std::vector<int> modes;
    std::vector<double> values;
    for (int i = 0; i < KQoxFilterSet::GetParameterCount(); ++i)
    {
        modes.push_back(set->GetParameterMode(i));
        values.push_back(set->GetParameterValue(i));
    }
    p->mHipsTOffset.Held().w = 0.0;

    for (int pass = 0; pass < 2; ++pass)
    {
        p->FilterSetToProperties();
        EXPECT_EQ(50.0, p->PullIterationCountGet());
        EXPECT_EQ(kCharacterHipsTranslationMode(1), p->HipsTranslationModeGet());
        EXPECT_EQ(kCharacterFloorContactType(0), p->HandContactTypeGet());
        EXPECT_TRUE(p->MirrorModeGet());
        EXPECT_TRUE(std::isnan(p->MassCenterCompensationGet()));
        EXPECT_EQ(kCharacterOffAutoUser(2), p->OrientationDampingModeGet());
        const KgeTVector offset = p->HipsTOffsetGet();
        EXPECT_EQ(1.0, offset.x);
        EXPECT_EQ(2.0, offset.y);
        EXPECT_EQ(3.0, offset.z);
        EXPECT_EQ(1.0, offset.w);
        EXPECT_EQ(0.0, p->mHipsTOffset.Held().w); // the held w is kept
        for (int i = 0; i < KQoxFilterSet::GetParameterCount(); ++i)
        {
            EXPECT_EQ(modes[i], set->GetParameterMode(i)) << i;
            if (!std::isnan(values[i]))
            {
                EXPECT_EQ(values[i], set->GetParameterValue(i)) << i;
            }
        }
    }
}

} // namespace
} // namespace chartest
