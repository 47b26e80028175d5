// Property data types: the 46 built-in types, the registry by name and the
// text forms of the roots.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <thread>
#include <vector>

#include "base/kconfigfile.h"
#include "base/ktime.h"
#include "object/kpropertydatatype.h"
#include "common/qox_test_threads.h"

namespace {

struct BuiltinRow
{
    const char* mName;
    KDataType* mType;
    KDataType* mGlobal; // the process-wide pointer of the same name
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

// One built-in type of each root and the leaves whose member names, order or
// value kind differ from their root's.
#define T(C) C::DataType, C
std::vector<BuiltinRow> Builtins()
{
    KDataType* N = KDataTypeNumber::DataType;
    KDataType* V = KDataTypeVector::DataType;
    KDataType* V4 = KDataTypeVector4::DataType;
    KDataType* M = KDataTypeMatrix::DataType;
    return {
        {"Number", T(KDataTypeNumber), N, 8, 1, kNone, false, 4},
        {"Time", T(KDataTypeTime), KDataTypeTime::DataType, 8, 0, kTimeNames, false, 7},
        {"Vector", T(KDataTypeVector), V, 24, 3, kXYZ, false, 13},
        {"Vector4", T(KDataTypeVector4), V4, 32, 4, kXYZW, false, 12},
        {"Matrix", T(KDataTypeMatrix), M, 128, 16, kNone, false, 0},
        {"Integer", T(KDataTypeInteger), N, 8, 1, kNone, true, 1},
        {"Action", T(KDataTypeAction), N, 8, 1, kNone, true, 16},
        {"Camera Index", T(KDataTypeCameraIndex), N, 8, 1, kNone, true, 4},
        {"Visibility", T(KDataTypeVisibility), N, 8, 1, kNone, true, 4},
        {"Bool", T(KDataTypeBool), N, 8, 1, kNone, true, 2},
        {"Enum", T(KDataTypeEnum), N, 8, 1, kNone, true, 6},
        {"Color", T(KDataTypeColor), V, 24, 3, {"r", "g", "b"}, false, 14},
        {"ColorAndAlpha", T(KDataTypeColorAndAlpha), V4, 32, 4, {"r", "g", "b", "a"}, false, 15},
        {"Translation UV", T(KDataTypeTranslationUV), V, 24, 3, {"U", "V", "?"}, false, 13},
        {"HSB", T(KDataTypeColorHSB), V, 24, 3, {"H", "S", "B"}, false, 13},
        {"Lcl Rotation", T(KDataTypeLclRotation), V, 24, 3, kXYZ, false, 13},
        {"Matrix Transformation", T(KDataTypeMatrixTransformation), M, 128, 16, kNone, false, 0},
        {"Lcl Quaternion", T(KDataTypeLclQuaternion), V4, 32, 4, kXYZW, false, 12},
        {"IK Reach Rotation", T(KDataTypeIKReachRotation), N, 8, 1, kNone, false, 4},
    };
}
#undef T

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

TEST(DataType, BuiltInTypes)
{
    EXPECT_EQ(KDataTypeGetCount(), 46);
    for (const BuiltinRow& row : Builtins())
    {
        SCOPED_TRACE(row.mName);
        ASSERT_NE(row.mType, nullptr);
        EXPECT_EQ(row.mGlobal, row.mType);
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

TEST(DataType, RegistryLookups)
{
    EXPECT_EQ(KDataTypeGet("Trigger"), KDataTypeAction::DataType); // exact-case shortcut
    EXPECT_EQ(KDataTypeGet("trigger"), nullptr);
    EXPECT_EQ(KDataTypeGet("CONE ANGLE"), KDataTypeConeAngle::DataType);
    EXPECT_EQ(KDataTypeGet(static_cast<const char*>(nullptr)), nullptr);
    // By position: case-insensitive name order, worked out by hand.
    const std::pair<int, const char*> order[] = {
        {0, "Action"},  {3, "Color"}, {4, "ColorAndAlpha"}, {5, "Cone angle"}, {12, "IK Reach Rotation"},
        {21, "Matrix"}, {38, "Time"}, {39, "TimeWarp"},     {45, "Weight"}};
    for (const auto& entry : order)
        EXPECT_STREQ(KDataTypeGet(entry.first)->GetName(), entry.second) << entry.first;
    EXPECT_EQ(KDataTypeGet(46), nullptr);
    EXPECT_EQ(KDataTypeGet(-1), nullptr);
}

TEST(DataType, RegistryEntriesComeAndGoWithTheirTypes)
{
    std::vector<KDataType*> builtins;
    for (int i = 0; i < KDataTypeGetCount(); ++i)
        builtins.push_back(KDataTypeGet(i));
    {
        // "class": the global of that name is the built-in type.
        class KDataTypeVector second("Color");
        EXPECT_EQ(KDataTypeGetCount(), 47);
        EXPECT_EQ(second.GetBaseDataType(), &second); // a type of its own, no values
        EXPECT_EQ(DataTypeToPropertyType(&second), 0);
        KDataType twice("Twice Registered");
        EXPECT_EQ(KDataTypeAdd(&twice), &twice);
        EXPECT_EQ(KDataTypeGetCount(), 49);
    }
    // Each destroyed type took out its own entries, not the built-in one.
    EXPECT_EQ(KDataTypeGetCount(), 46);
    EXPECT_EQ(KDataTypeGet("Color"), KDataTypeColor::DataType);
    EXPECT_EQ(KDataTypeGet("Twice Registered"), nullptr);
    // Emptying the registry keeps the types; the first type built makes a new
    // registry, and adding a second "Color" answers the one registered first.
    KDataTypeRemoveAll();
    EXPECT_EQ(KDataType::smDataTypeSet, nullptr);
    EXPECT_EQ(KDataTypeGet("Number"), nullptr);
    EXPECT_EQ(KDataTypeGet("Trigger"), KDataTypeAction::DataType); // the shortcut needs no registry
    EXPECT_STREQ(KDataTypeNumber::DataType->GetName(), "Number");
    {
        KDataType first("Color");
        EXPECT_EQ(KDataTypeGetCount(), 1);
        EXPECT_EQ(KDataTypeAdd(KDataTypeColor::DataType), &first);
        EXPECT_EQ(KDataTypeGetCount(), 2);
    }
    EXPECT_EQ(KDataTypeGetCount(), 1);
    EXPECT_EQ(KDataTypeGet("color"), KDataTypeColor::DataType);
    // The last type out disposes of the registry.
    KDataTypeRemoveAll();
    {
        KDataType only("Only");
        EXPECT_NE(KDataType::smDataTypeSet, nullptr);
    }
    EXPECT_EQ(KDataType::smDataTypeSet, nullptr);
    // Put the built-in types back for the rest of the process.
    for (KDataType* type : builtins)
        EXPECT_EQ(KDataTypeAdd(type), nullptr) << type->GetName();
    EXPECT_EQ(KDataTypeGetCount(), 46);
}

TEST(DataType, RegistryVersionMovesWhenAnswersMay)
{
    const unsigned long long start = KDataTypeGetRegistryVersion();
    EXPECT_NE(0u, start);
    EXPECT_NE(nullptr, KDataTypeGet("Lcl Rotation"));
    EXPECT_EQ(nullptr, KDataTypeGet("Versioned"));
    EXPECT_EQ(start, KDataTypeGetRegistryVersion());
    unsigned long long during = 0;
    {
        KDataType added("Versioned");
        during = KDataTypeGetRegistryVersion();
        EXPECT_NE(start, during);
        EXPECT_EQ(&added, KDataTypeGet("Versioned"));
        EXPECT_EQ(during, KDataTypeGetRegistryVersion());
    }
    EXPECT_NE(during, KDataTypeGetRegistryVersion());
    EXPECT_NE(start, KDataTypeGetRegistryVersion());
    EXPECT_EQ(nullptr, KDataTypeGet("Versioned"));

    // Without a registry: version 0, and a new registry has a version of its
    // own.
    std::vector<KDataType*> builtins;
    for (int i = 0; i < KDataTypeGetCount(); ++i)
        builtins.push_back(KDataTypeGet(i));
    KDataTypeRemoveAll();
    EXPECT_EQ(0u, KDataTypeGetRegistryVersion());
    std::vector<unsigned long long> versions;
    for (KDataType* type : builtins)
    {
        KDataTypeAdd(type);
        versions.push_back(KDataTypeGetRegistryVersion());
    }
    std::sort(versions.begin(), versions.end());
    EXPECT_EQ(versions.end(), std::unique(versions.begin(), versions.end()));
    EXPECT_EQ(versions.end(), std::find(versions.begin(), versions.end(), start));
    EXPECT_EQ(KDataTypeLclRotation::DataType, KDataTypeGet("Lcl Rotation"));
}

TEST(DataType, RegistryUsedFromThreadsAtOnce)
{
    // Threads let go together look types up and make and drop their own.
    // A lookup sorts what was added since the last one, so each round first
    // leaves an entry out of order, as start-up leaves the last built-in
    // type, and every thread's first lookup finds it so.
    const int threadCount = 4;
    const int rounds = 150;
    std::vector<std::string> names;
    for (int t = 0; t < threadCount; ++t)
        names.push_back("Threaded Type " + std::to_string(t));
    std::atomic<int> failures{0};
    for (int round = 0; round < rounds && failures == 0; ++round)
    {
        KDataType unsorted("A Round's Type"); // before "Weight", the last entry
        qoxtest::RunAtOnce(threadCount, [&](int t) {
            bool right = KDataTypeGet("Lcl Rotation") == KDataTypeLclRotation::DataType &&
                         KDataTypeGet("a round's type") == &unsorted;
            for (int i = 0; i < 20; ++i)
            {
                KDataType own(names[t].c_str());
                right =
                    right && KDataTypeGet(names[t].c_str()) == &own && KDataTypeGet("Weight") == KDataTypeWeight;
            }
            if (!right)
                ++failures;
        });
        // Every type once, in name order.
        ASSERT_EQ(47, KDataTypeGetCount()) << "round " << round;
        for (int i = 1; i < 47; ++i)
            ASSERT_LT(strcasecmp(KDataTypeGet(i - 1)->GetName(), KDataTypeGet(i)->GetName()), 0) << i;
    }
    EXPECT_EQ(0, failures);
    EXPECT_EQ(46, KDataTypeGetCount());
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
    EXPECT_EQ(bare.SizeOf() + bare.GetMemberCount(), 0);
    EXPECT_EQ(bare.GetBaseDataType(), &bare);
    EXPECT_EQ(DataTypeToPropertyType(&bare), 0);
    EXPECT_EQ(DataTypeToPropertyType(nullptr), 0);
    double t1 = 1, t2 = 2;
    EXPECT_TRUE(bare.IsEqual(&t1, &t2, 0.0)); // size 0
    // Types are told apart by identity, never by name: a second "Bool" is
    // neither ordinal nor a bool kind (it is a root of its own).
    class KDataTypeNumber impostor("Bool");
    EXPECT_FALSE(impostor.IsOrdinal());
    EXPECT_EQ(impostor.GetBaseDataType(), &impostor);
    EXPECT_EQ(DataTypeToPropertyType(&impostor), 0);
}

TEST(DataType, InitClearsEveryMemberAndIsEqual)
{
    std::vector<double> values(17, 7.0);
    EXPECT_TRUE(KDataTypeMatrixRotation::DataType->Init(values.data()));
    EXPECT_EQ(std::count(values.begin(), values.end(), 0.0), 16);
    EXPECT_EQ(values[16], 7.0);
    std::fill(values.begin(), values.end(), 7.0);
    EXPECT_TRUE(KDataTypeColor::DataType->Init(values.data()));
    EXPECT_EQ(values[2], 0.0);
    EXPECT_EQ(values[3], 7.0); // three members only
    KTime time(12345);
    EXPECT_TRUE(KDataTypeTime::DataType->Init(&time));
    EXPECT_EQ(time.Get(), 0);
    EXPECT_FALSE(KDataTypeNumber::DataType->Init(nullptr));
    // Equality by members within a tolerance, or by bytes.
    double a[3] = {1.0, 2.0, 3.0};
    double b[3] = {1.0, 2.5, 3.0};
    EXPECT_TRUE(KDataTypeVector::DataType->IsEqual(a, b, 0.5)); // a difference equal to the tolerance
    EXPECT_FALSE(KDataTypeVector::DataType->IsEqual(a, b, 0.4999));
    double c[4] = {0, 0, 0, 0};
    double d[4] = {0, 0, 0, 1e-3};
    EXPECT_FALSE(KDataTypeVector4::DataType->IsEqual(c, d, 1e-4)); // the fourth member counts
    EXPECT_TRUE(KDataTypeVector::DataType->IsEqual(c, d, 0.0));    // a vector reads three
    KTime t1(1000), t2(1001), t3(1000);
    EXPECT_FALSE(KDataTypeTime::DataType->IsEqual(&t1, &t2, 1e9)); // bytes, not a tolerance
    EXPECT_TRUE(KDataTypeTime::DataType->IsEqual(&t1, &t3, 0.0));
}

TEST(DataType, BraceParsing)
{
    KDataType* vector = KDataTypeVector::DataType;
    double v[4] = {9, 9, 9, 9};
    EXPECT_TRUE(vector->Set("{1,2,3}", v));
    EXPECT_EQ(std::vector<double>(v, v + 4), std::vector<double>({1, 2, 3, 9}));
    EXPECT_TRUE(vector->Set("{1, 2, 3}", v)); // blanks before numbers
    EXPECT_TRUE(vector->Set("{-1.5e2,0.25,+4}", v));
    EXPECT_EQ(std::vector<double>(v, v + 3), std::vector<double>({-150, 0.25, 4}));
    // Refused texts; the members read before the failure keep their values.
    const char* bad[] = {"{1 ,2,3}", // a blank before a delimiter
                         "{1,2}",    "{1,2,3,4}", "1,2,3}", " {1,2,3}", "{1,2,3", "{,2,3}", "{1;2;3}", "", nullptr};
    for (const char* text : bad)
        EXPECT_FALSE(vector->Set(text, v)) << (text ? text : "null");
    double w[3] = {9, 9, 9};
    EXPECT_FALSE(vector->Set("{1,2}", w));
    EXPECT_EQ(std::vector<double>(w, w + 3), std::vector<double>({1, 2, 9}));
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
    EXPECT_EQ(m[15], 15.0);
    // Number never refuses a text.
    double number = 3.0;
    EXPECT_TRUE(KDataTypeReal::DataType->Set("2.5", &number));
    EXPECT_EQ(number, 2.5);
    EXPECT_TRUE(KDataTypeNumber::DataType->Set("not a number", &number));
    EXPECT_EQ(number, 0.0);
}

TEST(DataType, BraceFormattingRoundTrips)
{
    char text[64];
    double number = -0.125;
    ASSERT_TRUE(KDataTypeIntensity::DataType->Get(text, sizeof(text), &number));
    EXPECT_EQ(std::string(text), Expected({-0.125}, false));
    double back[3] = {0, 0, 0};
    double src[3] = {1.25, -2.5, 1000.0};
    ASSERT_TRUE(KDataTypeLclTranslation::DataType->Get(text, sizeof(text), src));
    EXPECT_EQ(std::string(text), Expected({1.25, -2.5, 1000.0}, true));
    ASSERT_TRUE(KDataTypeLclTranslation::DataType->Set(text, back));
    if (GetDisplayDecimalCount() >= 2)
    {
        EXPECT_EQ(std::vector<double>(back, back + 3), std::vector<double>(src, src + 3));
    }
}

TEST(DataType, FormattingHonoursTheCallersSize)
{
    double v[3] = {1.0, 2.0, 3.0};
    char text[16];
    memset(text, 'x', sizeof(text));
    EXPECT_TRUE(KDataTypeVector::DataType->Get(text, 1, v));
    EXPECT_EQ(text[0], 0);
    EXPECT_EQ(text[1], 'x');
    memset(text, 'x', sizeof(text));
    EXPECT_TRUE(KDataTypeVector::DataType->Get(text, 5, v));
    EXPECT_EQ(std::string(text), Expected({1, 2, 3}, true).substr(0, 4));
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
    // The widest values fit the work buffer, and truncate without overrun.
    double m[16];
    std::fill(m, m + 16, -1.7976931348623157e308);
    std::string expected = Expected(std::vector<double>(m, m + 16), true);
    std::vector<char> wide(expected.size() + 10, 'x');
    ASSERT_TRUE(KDataTypeMatrixTransformation::DataType->Get(wide.data(), static_cast<int>(wide.size()), m));
    EXPECT_EQ(std::string(wide.data()), expected);
    memset(text, 'x', sizeof(text));
    ASSERT_TRUE(KDataTypeMatrix::DataType->Get(text, 7, m));
    EXPECT_EQ(std::string(text), expected.substr(0, 6));
    EXPECT_EQ(text[7], 'x');
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
