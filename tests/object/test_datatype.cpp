// Property data types: the 46 built-in types, the registry by name and the
// text forms of the roots.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "base/kconfigfile.h"
#include "base/ktime.h"
#include "object/kpropertydatatype.h"

namespace {

struct BuiltinRow
{
    const char* mName;
    KDataType* mType;
    KDataType* mRoot;
    int mSize;
    int mMembers;
    std::vector<const char*> mMemberNames; // empty: null names ("none"); {"?"}: Time
    bool mOrdinal;
    int mPropertyType; // DataTypeToPropertyType
};

const std::vector<const char*> kNone;
const std::vector<const char*> kTimeNames = {"?"};
const std::vector<const char*> kXYZ = {"x", "y", "z"};
const std::vector<const char*> kXYZW = {"x", "y", "z", "w"};

// The table of built-in types, in construction order.
std::vector<BuiltinRow> Builtins()
{
    KDataType* N = KDataTypeNumber::DataType;
    KDataType* V = KDataTypeVector::DataType;
    KDataType* V4 = KDataTypeVector4::DataType;
    KDataType* M = KDataTypeMatrix::DataType;
    return {
        {"Number", KDataTypeNumber::DataType, N, 8, 1, kNone, false, 4},
        {"Time", KDataTypeTime::DataType, KDataTypeTime::DataType, 8, 0, kTimeNames, false, 7},
        {"Vector", KDataTypeVector::DataType, V, 24, 3, kXYZ, false, 13},
        {"Vector4", KDataTypeVector4::DataType, V4, 32, 4, kXYZW, false, 12},
        {"Matrix", KDataTypeMatrix::DataType, M, 128, 16, kNone, false, 0},
        {"Real", KDataTypeReal::DataType, N, 8, 1, kNone, false, 4},
        {"Integer", KDataTypeInteger::DataType, N, 8, 1, kNone, true, 1},
        {"Action", KDataTypeAction::DataType, N, 8, 1, kNone, true, 16},
        {"Intensity", KDataTypeIntensity::DataType, N, 8, 1, kNone, false, 4},
        {"Cone angle", KDataTypeConeAngle::DataType, N, 8, 1, kNone, false, 4},
        {"Fog", KDataTypeFog::DataType, N, 8, 1, kNone, false, 4},
        {"Shape", KDataTypeShape::DataType, N, 8, 1, kNone, false, 4},
        {"FieldOfView", KDataTypeFieldOfView::DataType, N, 8, 1, kNone, false, 4},
        {"FieldOfViewX", KDataTypeFieldOfViewX::DataType, N, 8, 1, kNone, false, 4},
        {"FieldOfViewY", KDataTypeFieldOfViewY::DataType, N, 8, 1, kNone, false, 4},
        {"OpticalCenterX", KDataTypeOpticalCenterX::DataType, N, 8, 1, kNone, false, 4},
        {"OpticalCenterY", KDataTypeOpticalCenterY::DataType, N, 8, 1, kNone, false, 4},
        {"Roll", KDataTypeRoll::DataType, N, 8, 1, kNone, false, 4},
        {"Camera Index", KDataTypeCameraIndex::DataType, N, 8, 1, kNone, true, 4},
        {"TimeWarp", KDataTypeTimeWarp::DataType, N, 8, 1, kNone, false, 4},
        {"Visibility", KDataTypeVisibility::DataType, N, 8, 1, kNone, true, 4},
        {"Bool", KDataTypeBool::DataType, N, 8, 1, kNone, true, 2},
        {"Enum", KDataTypeEnum::DataType, N, 8, 1, kNone, true, 6},
        {"Color", KDataTypeColor::DataType, V, 24, 3, {"r", "g", "b"}, false, 14},
        {"ColorAndAlpha", KDataTypeColorAndAlpha::DataType, V4, 32, 4, {"r", "g", "b", "a"}, false, 15},
        {"Translation UV", KDataTypeTranslationUV::DataType, V, 24, 3, {"U", "V", "?"}, false, 13},
        {"Scaling UV", KDataTypeScalingUV::DataType, V, 24, 3, {"U", "V", "?"}, false, 13},
        {"HSB", KDataTypeColorHSB::DataType, V, 24, 3, {"H", "S", "B"}, false, 13},
        {"Translation", KDataTypeTranslation::DataType, V, 24, 3, kXYZ, false, 13},
        {"Scaling", KDataTypeScaling::DataType, V, 24, 3, kXYZ, false, 13},
        {"Rotation", KDataTypeRotation::DataType, V, 24, 3, kXYZ, false, 13},
        {"Lcl Translation", KDataTypeLclTranslation::DataType, V, 24, 3, kXYZ, false, 13},
        {"Lcl Scaling", KDataTypeLclScaling::DataType, V, 24, 3, kXYZ, false, 13},
        {"Lcl Rotation", KDataTypeLclRotation::DataType, V, 24, 3, kXYZ, false, 13},
        {"Matrix Translation", KDataTypeMatrixTranslation::DataType, M, 128, 16, kNone, false, 0},
        {"Matrix Scaling", KDataTypeMatrixScaling::DataType, M, 128, 16, kNone, false, 0},
        {"Matrix Rotation", KDataTypeMatrixRotation::DataType, M, 128, 16, kNone, false, 0},
        {"Matrix Transformation", KDataTypeMatrixTransformation::DataType, M, 128, 16, kNone, false, 0},
        {"Orientation", KDataTypeOrientation::DataType, V, 24, 3, kXYZ, false, 13},
        {"Look at", KDataTypeLookAt::DataType, V, 24, 3, kXYZ, false, 13},
        {"Quaternion", KDataTypeQuaternion::DataType, V4, 32, 4, kXYZW, false, 12},
        {"Lcl Quaternion", KDataTypeLclQuaternion::DataType, V4, 32, 4, kXYZW, false, 12},
        {"Occlusion", KDataTypeOcclusion::DataType, N, 8, 1, kNone, false, 4},
        {"Weight", KDataTypeWeight::DataType, N, 8, 1, kNone, false, 4},
        {"IK Reach Translation", KDataTypeIKReachTranslation::DataType, N, 8, 1, kNone, false, 4},
        {"IK Reach Rotation", KDataTypeIKReachRotation::DataType, N, 8, 1, kNone, false, 4},
    };
}

// The text a root writes for its members with the display decimal count.
std::string Expected(const std::vector<double>& members, bool braces)
{
    int decimals = GetDisplayDecimalCount();
    std::string text = braces ? "{" : "";
    char number[400];
    for (size_t i = 0; i < members.size(); ++i)
    {
        snprintf(number, sizeof(number), "%.*f", decimals, members[i]);
        text += (i > 0 ? "," : "") + std::string(number);
    }
    return braces ? text + "}" : text;
}

} // namespace

TEST(DataType, TheFortySixBuiltInTypes)
{
    std::vector<BuiltinRow> rows = Builtins();
    ASSERT_EQ(rows.size(), 46u);
    EXPECT_EQ(KDataTypeGetCount(), 46);
    for (const BuiltinRow& row : rows)
    {
        SCOPED_TRACE(row.mName);
        ASSERT_NE(row.mType, nullptr);
        EXPECT_STREQ(row.mType->GetName(), row.mName);
        EXPECT_EQ(row.mType->SizeOf(), row.mSize);
        EXPECT_EQ(row.mType->GetMemberCount(), row.mMembers);
        EXPECT_EQ(row.mType->GetBaseDataType(), row.mRoot);
        EXPECT_EQ(row.mType->IsOrdinal(), row.mOrdinal);
        EXPECT_EQ(DataTypeToPropertyType(row.mType), row.mPropertyType);
        EXPECT_EQ(KDataTypeGet(row.mName), row.mType);
        EXPECT_EQ(row.mType->GetMemberDataType(),
                  row.mType == KDataTypeTime::DataType ? KDataTypeTime::DataType : KDataTypeNumber::DataType);
        if (row.mMemberNames.empty())
        {
            for (int i : {-1, 0, 1, 15, 16})
                EXPECT_EQ(row.mType->GetMemberName(i), nullptr) << i;
        }
        else if (&row.mMemberNames == &kTimeNames || row.mType == KDataTypeTime::DataType)
        {
            for (int i : {-1, 0, 1, 7})
                EXPECT_STREQ(row.mType->GetMemberName(i), "?") << i;
        }
        else
        {
            int n = static_cast<int>(row.mMemberNames.size());
            for (int i = 0; i < n; ++i)
                EXPECT_STREQ(row.mType->GetMemberName(i), row.mMemberNames[i]) << i;
            EXPECT_STREQ(row.mType->GetMemberName(n), "?");
            EXPECT_STREQ(row.mType->GetMemberName(-1), "?");
        }
    }
}

TEST(DataType, GlobalsAreTheClassInstances)
{
    EXPECT_EQ(KDataTypeLclTranslation, KDataTypeLclTranslation::DataType);
    EXPECT_EQ(KDataTypeLclRotation, KDataTypeLclRotation::DataType);
    EXPECT_EQ(KDataTypeLclScaling, KDataTypeLclScaling::DataType);
    EXPECT_EQ(KDataTypeVisibility, KDataTypeVisibility::DataType);
    EXPECT_EQ(KDataTypeTimeWarp, KDataTypeTimeWarp::DataType);
    EXPECT_EQ(KDataTypeNumber, KDataTypeNumber::DataType);
    EXPECT_EQ(KDataTypeMatrixRotation, KDataTypeMatrixRotation::DataType);
    EXPECT_EQ(KDataTypeScalingUV, KDataTypeScalingUV::DataType);
    EXPECT_EQ(KDataTypeOcclusion, KDataTypeOcclusion::DataType);
    EXPECT_EQ(KDataTypeIKReachRotation, KDataTypeIKReachRotation::DataType);
    EXPECT_EQ(KDataTypeColor, KDataTypeColor::DataType);
    EXPECT_STREQ(KDataTypeScalingUV->GetName(), "Scaling UV");
}

TEST(DataType, RegistryLookups)
{
    EXPECT_EQ(KDataTypeGet("Trigger"), KDataTypeAction::DataType);
    EXPECT_EQ(KDataTypeGet("trigger"), nullptr);
    EXPECT_EQ(KDataTypeGet("TRIGGER"), nullptr);
    EXPECT_EQ(KDataTypeGet("lcl rotation"), KDataTypeLclRotation::DataType);
    EXPECT_EQ(KDataTypeGet("CONE ANGLE"), KDataTypeConeAngle::DataType);
    EXPECT_EQ(KDataTypeGet("No such type"), nullptr);
    EXPECT_EQ(KDataTypeGet(static_cast<const char*>(nullptr)), nullptr);

    // By position: case-insensitive name order.
    std::vector<std::string> names;
    for (const BuiltinRow& row : Builtins())
        names.push_back(row.mName);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
    ASSERT_EQ(KDataTypeGetCount(), 46);
    for (int i = 0; i < 46; ++i)
        EXPECT_STREQ(KDataTypeGet(i)->GetName(), names[static_cast<size_t>(i)].c_str()) << i;
    EXPECT_STREQ(KDataTypeGet(0)->GetName(), "Action");
    EXPECT_EQ(KDataTypeGet(KDataTypeGetCount()), nullptr);
    EXPECT_EQ(KDataTypeGet(-1), nullptr);
}

TEST(DataType, DuplicateNamesAndDestruction)
{
    {
        class KDataTypeVector second("Color"); // "class": the global of that name is the built-in type
        EXPECT_EQ(KDataTypeGetCount(), 47);
        KDataType* found = KDataTypeGet("Color");
        EXPECT_TRUE(found == &second || found == KDataTypeColor::DataType);
        // A bare type of another root: its own root, no values.
        EXPECT_EQ(second.GetBaseDataType(), &second);
        EXPECT_EQ(DataTypeToPropertyType(&second), 0);
    }
    // The destroyed type took out its own entry, not the built-in one.
    EXPECT_EQ(KDataTypeGetCount(), 46);
    EXPECT_EQ(KDataTypeGet("Color"), KDataTypeColor::DataType);

    // A type registered twice leaves no entry behind when destroyed.
    {
        KDataType twice("Twice Registered");
        EXPECT_EQ(KDataTypeAdd(&twice), &twice);
        EXPECT_EQ(KDataTypeGetCount(), 48);
    }
    EXPECT_EQ(KDataTypeGetCount(), 46);
    EXPECT_EQ(KDataTypeGet("Twice Registered"), nullptr);
}

TEST(DataType, RemoveAllEmptiesTheRegistryOnly)
{
    KDataTypeRemoveAll();
    EXPECT_EQ(KDataTypeGetCount(), 0);
    EXPECT_EQ(KDataType::smDataTypeSet, nullptr);
    EXPECT_EQ(KDataTypeGet("Number"), nullptr);
    EXPECT_EQ(KDataTypeGet("Trigger"), KDataTypeAction::DataType); // the shortcut needs no registry
    // The types themselves stay usable.
    EXPECT_STREQ(KDataTypeNumber::DataType->GetName(), "Number");

    {
        // The first type built makes a new registry; adding a second "Color"
        // answers the one registered first.
        KDataType first("Color");
        EXPECT_EQ(KDataTypeGetCount(), 1);
        EXPECT_EQ(KDataTypeAdd(KDataTypeColor::DataType), &first);
        EXPECT_EQ(KDataTypeGetCount(), 2);
    }
    EXPECT_EQ(KDataTypeGetCount(), 1);
    EXPECT_EQ(KDataTypeGet("color"), KDataTypeColor::DataType);

    // Put the others back for the rest of the process.
    for (const BuiltinRow& row : Builtins())
    {
        if (row.mType == KDataTypeColor::DataType)
            continue;
        EXPECT_EQ(KDataTypeAdd(row.mType), nullptr) << row.mName;
    }
    EXPECT_EQ(KDataTypeGetCount(), 46);

    // The last type out disposes of the registry.
    KDataTypeRemoveAll();
    {
        KDataType only("Only");
        EXPECT_NE(KDataType::smDataTypeSet, nullptr);
    }
    EXPECT_EQ(KDataType::smDataTypeSet, nullptr);
    for (const BuiltinRow& row : Builtins())
        KDataTypeAdd(row.mType);
    EXPECT_EQ(KDataTypeGetCount(), 46);
}

TEST(DataType, BareTypeRefusesValues)
{
    KDataType bare("Custom");
    double value = 5.0;
    char text[8] = "abc";
    EXPECT_FALSE(bare.Init(&value));
    EXPECT_FALSE(bare.Set("1", &value));
    EXPECT_FALSE(bare.Get(text, sizeof(text), &value));
    EXPECT_EQ(value, 5.0);
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(bare.GetMemberName(0), nullptr);
    EXPECT_EQ(bare.SizeOf(), 0);
    EXPECT_EQ(bare.GetMemberCount(), 0);
    EXPECT_EQ(bare.GetBaseDataType(), &bare);
    EXPECT_FALSE(bare.IsOrdinal());
    EXPECT_EQ(DataTypeToPropertyType(&bare), 0);
    EXPECT_EQ(DataTypeToPropertyType(nullptr), 0);
    // Types are told apart by identity, never by name: a second "Bool" is
    // neither ordinal nor a bool kind (it is a root of its own).
    class KDataTypeNumber impostor("Bool");
    EXPECT_FALSE(impostor.IsOrdinal());
    EXPECT_EQ(impostor.GetBaseDataType(), &impostor);
    EXPECT_EQ(DataTypeToPropertyType(&impostor), 0);
}

TEST(DataType, InitClearsEveryMember)
{
    double values[16];
    std::fill(values, values + 16, 7.0);
    EXPECT_TRUE(KDataTypeMatrixRotation::DataType->Init(values));
    for (double v : values)
        EXPECT_EQ(v, 0.0);
    std::fill(values, values + 16, 7.0);
    EXPECT_TRUE(KDataTypeColor::DataType->Init(values));
    EXPECT_EQ(values[2], 0.0);
    EXPECT_EQ(values[3], 7.0); // three members only
    KTime time(12345);
    EXPECT_TRUE(KDataTypeTime::DataType->Init(&time));
    EXPECT_EQ(time.Get(), 0);
    EXPECT_FALSE(KDataTypeNumber::DataType->Init(nullptr));
}

TEST(DataType, BraceParsing)
{
    KDataType* vector = KDataTypeVector::DataType;
    double v[4] = {9, 9, 9, 9};
    EXPECT_TRUE(vector->Set("{1,2,3}", v));
    EXPECT_EQ(v[0], 1.0);
    EXPECT_EQ(v[1], 2.0);
    EXPECT_EQ(v[2], 3.0);
    EXPECT_EQ(v[3], 9.0);
    EXPECT_TRUE(vector->Set("{1, 2, 3}", v)); // blanks before numbers
    EXPECT_TRUE(vector->Set("{-1.5e2,0.25,+4}", v));
    EXPECT_EQ(v[0], -150.0);
    EXPECT_EQ(v[2], 4.0);
    EXPECT_FALSE(vector->Set("{1 ,2,3}", v)); // blank before a delimiter

    double w[3] = {9, 9, 9};
    EXPECT_FALSE(vector->Set("{1,2}", w)); // the members read so far keep their values
    EXPECT_EQ(w[0], 1.0);
    EXPECT_EQ(w[1], 2.0);
    EXPECT_EQ(w[2], 9.0);
    EXPECT_FALSE(vector->Set("{1,2,3,4}", w)); // "," after the third number
    EXPECT_FALSE(vector->Set("1,2,3}", w));
    EXPECT_FALSE(vector->Set(" {1,2,3}", w));
    EXPECT_FALSE(vector->Set("{1,2,3", w));
    EXPECT_FALSE(vector->Set("{,2,3}", w));
    EXPECT_FALSE(vector->Set("{1;2;3}", w));
    EXPECT_FALSE(vector->Set("", w));
    EXPECT_FALSE(vector->Set(nullptr, w));

    // Leaves parse as their root.
    double q[4];
    EXPECT_TRUE(KDataTypeLclQuaternion::DataType->Set("{0,0,0.5,1}", q));
    EXPECT_EQ(q[2], 0.5);
    EXPECT_FALSE(KDataTypeVector4::DataType->Set("{0,0,0}", q));

    double m[16];
    std::string text = "{";
    for (int i = 0; i < 16; ++i)
        text += std::to_string(i) + (i < 15 ? "," : "}");
    EXPECT_TRUE(KDataTypeMatrix::DataType->Set(text.c_str(), m));
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m[i], i);

    // Number and Time never refuse a text.
    double number = 3.0;
    EXPECT_TRUE(KDataTypeReal::DataType->Set("2.5", &number));
    EXPECT_EQ(number, 2.5);
    EXPECT_TRUE(KDataTypeNumber::DataType->Set("not a number", &number));
    EXPECT_EQ(number, 0.0);
}

TEST(DataType, BraceFormatting)
{
    double v[3] = {1.0, 2.0, 3.0};
    char text[64];
    ASSERT_TRUE(KDataTypeVector::DataType->Get(text, sizeof(text), v));
    EXPECT_EQ(std::string(text), Expected({1, 2, 3}, true));
    if (GetDisplayDecimalCount() == 2)
    {
        EXPECT_STREQ(text, "{1.00,2.00,3.00}");
    }

    double number = -0.125;
    ASSERT_TRUE(KDataTypeIntensity::DataType->Get(text, sizeof(text), &number));
    EXPECT_EQ(std::string(text), Expected({-0.125}, false));

    double c[4] = {0.5, 0.25, 1, 0};
    ASSERT_TRUE(KDataTypeColorAndAlpha::DataType->Get(text, sizeof(text), c));
    EXPECT_EQ(std::string(text), Expected({0.5, 0.25, 1, 0}, true));

    // Round trip through the text form.
    double back[3] = {0, 0, 0};
    double src[3] = {1.25, -2.5, 1000.0};
    ASSERT_TRUE(KDataTypeLclTranslation::DataType->Get(text, sizeof(text), src));
    ASSERT_TRUE(KDataTypeLclTranslation::DataType->Set(text, back));
    if (GetDisplayDecimalCount() >= 2)
    {
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(back[i], src[i]);
    }
}

TEST(DataType, FormattingHonoursTheCallersSize)
{
    double v[3] = {1.0, 2.0, 3.0};
    char text[16];
    std::string full = Expected({1, 2, 3}, true);

    memset(text, 'x', sizeof(text));
    EXPECT_TRUE(KDataTypeVector::DataType->Get(text, 1, v));
    EXPECT_EQ(text[0], 0);
    EXPECT_EQ(text[1], 'x');

    memset(text, 'x', sizeof(text));
    EXPECT_TRUE(KDataTypeVector::DataType->Get(text, 5, v));
    EXPECT_EQ(std::string(text), full.substr(0, 4));
    EXPECT_EQ(text[5], 'x');

    // A short text is zero-padded up to size - 1.
    double number = 1.0;
    memset(text, 'x', sizeof(text));
    EXPECT_TRUE(KDataTypeNumber::DataType->Get(text, 12, &number));
    for (size_t i = strlen(text); i < 12; ++i)
        EXPECT_EQ(text[i], 0) << i;
    EXPECT_EQ(text[12], 'x');

    memset(text, 'x', sizeof(text));
    EXPECT_FALSE(KDataTypeVector::DataType->Get(text, 0, v));
    EXPECT_FALSE(KDataTypeVector::DataType->Get(text, -3, v));
    EXPECT_FALSE(KDataTypeVector::DataType->Get(nullptr, 10, v));
    EXPECT_EQ(text[0], 'x');
}

TEST(DataType, WidestValuesFitTheWorkBuffer)
{
    double m[16];
    std::fill(m, m + 16, -1.7976931348623157e308);
    std::vector<double> members(m, m + 16);
    std::string expected = Expected(members, true);
    std::vector<char> text(expected.size() + 10, 'x');
    ASSERT_TRUE(KDataTypeMatrixTransformation::DataType->Get(text.data(), static_cast<int>(text.size()), m));
    EXPECT_EQ(std::string(text.data()), expected);
    // Truncated into a small buffer without overrun.
    char small[8];
    small[7] = 'x';
    ASSERT_TRUE(KDataTypeMatrix::DataType->Get(small, 7, m));
    EXPECT_EQ(std::string(small), expected.substr(0, 6));
    EXPECT_EQ(small[7], 'x');
}

TEST(DataType, TimeTextHonoursTheCallersSize)
{
    KTime time(KTIME_ONE_SECOND_TICKS * 3723); // 1:02:03
    char expected[KTIME_STRING_SIZE];
    time.GetTimeString(expected, sizeof(expected), 5, 0, 2);
    ASSERT_GT(strlen(expected), 4u);

    char text[KTIME_STRING_SIZE];
    ASSERT_TRUE(KDataTypeTime::DataType->Get(text, sizeof(text), &time));
    EXPECT_STREQ(text, expected);

    char small[8];
    memset(small, 'x', sizeof(small));
    ASSERT_TRUE(KDataTypeTime::DataType->Get(small, 4, &time));
    EXPECT_EQ(std::string(small), std::string(expected).substr(0, 3));
    EXPECT_EQ(small[4], 'x');

    // Back from the text.
    KTime back(0);
    EXPECT_TRUE(KDataTypeTime::DataType->Set(text, &back));
    char again[KTIME_STRING_SIZE];
    back.GetTimeString(again, sizeof(again), 5, 0, 2);
    EXPECT_STREQ(again, expected);
}

TEST(DataType, IsEqualByMembersOrBytes)
{
    double a[3] = {1.0, 2.0, 3.0};
    double b[3] = {1.0, 2.5, 3.0};
    EXPECT_TRUE(KDataTypeVector::DataType->IsEqual(a, b, 0.5)); // a difference equal to the tolerance
    EXPECT_FALSE(KDataTypeVector::DataType->IsEqual(a, b, 0.4999));
    EXPECT_TRUE(KDataTypeVector::DataType->IsEqual(a, a, 0.0));
    double c[4] = {0, 0, 0, 0};
    double d[4] = {0, 0, 0, 1e-3};
    EXPECT_FALSE(KDataTypeVector4::DataType->IsEqual(c, d, 1e-4)); // the fourth member counts
    EXPECT_TRUE(KDataTypeVector::DataType->IsEqual(c, d, 0.0));    // a vector reads three

    KTime t1(1000), t2(1001), t3(1000);
    EXPECT_FALSE(KDataTypeTime::DataType->IsEqual(&t1, &t2, 1e9)); // bytes, not a tolerance
    EXPECT_TRUE(KDataTypeTime::DataType->IsEqual(&t1, &t3, 0.0));

    KDataType bare("Bare");
    EXPECT_TRUE(bare.IsEqual(&t1, &t2, 0.0)); // size 0
}
