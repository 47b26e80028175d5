// The node property table: the 54 properties in order with their initial
// values, flags and texts, and the accessors.

#include <cmath>
#include <limits>

#include "node_test_util.h"
#include "object/kproperty.h"

using namespace nodetest;

namespace {

enum Kind
{
    kBool,
    kVector,
    kDouble,
    kEnum,
    kList
};

struct Row
{
    const char* mName;
    Kind mKind;
    double mValue; // bool, double and enum value; x, y and z of a vector
    int mOwnFlags;
};

// Initial values as a new node reports them: the constructor's Reset sets
// "GeometricScaling" to (1, 1, 1), like the pivot sets.
const Row kRows[] = {{"QuaternionInterpolate", kBool, 0, 0},
                     {"RotationOffset", kVector, 0, 0},
                     {"RotationPivot", kVector, 0, 0},
                     {"RotationPivotUpdateOffset", kVector, 0, 16},
                     {"ScalingOffset", kVector, 0, 0},
                     {"ScalingPivot", kVector, 0, 0},
                     {"ScalingPivotUpdateOffset", kVector, 0, 16},
                     {"TranslationActive", kBool, 0, 0},
                     {"TranslationMin", kVector, 0, 0},
                     {"TranslationMax", kVector, 0, 0},
                     {"TranslationMinX", kBool, 0, 0},
                     {"TranslationMinY", kBool, 0, 0},
                     {"TranslationMinZ", kBool, 0, 0},
                     {"TranslationMaxX", kBool, 0, 0},
                     {"TranslationMaxY", kBool, 0, 0},
                     {"TranslationMaxZ", kBool, 0, 0},
                     {"RotationOrder", kEnum, 0, 0},
                     {"RotationSpaceForLimitOnly", kBool, 0, 0},
                     {"RotationStiffnessX", kDouble, 0, 0},
                     {"RotationStiffnessY", kDouble, 0, 0},
                     {"RotationStiffnessZ", kDouble, 0, 0},
                     {"AxisLen", kDouble, 0, 0},
                     {"PreRotation", kVector, 0, 0},
                     {"PostRotation", kVector, 0, 0},
                     {"RotationActive", kBool, 0, 0},
                     {"RotationMin", kVector, 0, 0},
                     {"RotationMax", kVector, 0, 0},
                     {"RotationMinX", kBool, 0, 0},
                     {"RotationMinY", kBool, 0, 0},
                     {"RotationMinZ", kBool, 0, 0},
                     {"RotationMaxX", kBool, 0, 0},
                     {"RotationMaxY", kBool, 0, 0},
                     {"RotationMaxZ", kBool, 0, 0},
                     {"InheritType", kEnum, 0, 0},
                     {"ScalingActive", kBool, 0, 0},
                     {"ScalingMin", kVector, 0, 0},
                     {"ScalingMax", kVector, 0, 0},
                     {"ScalingMinX", kBool, 0, 0},
                     {"ScalingMinY", kBool, 0, 0},
                     {"ScalingMinZ", kBool, 0, 0},
                     {"ScalingMaxX", kBool, 0, 0},
                     {"ScalingMaxY", kBool, 0, 0},
                     {"ScalingMaxZ", kBool, 0, 0},
                     {"GeometricTranslation", kVector, 0, 0},
                     {"GeometricRotation", kVector, 0, 0},
                     {"GeometricScaling", kVector, 1, 0},
                     {"LookAtProperty", kList, 0, 1},
                     {"UpVectorProperty", kList, 0, 1},
                     {"Show", kBool, 1, 0},
                     {"NegativePercentShapeSupport", kBool, 1, 0},
                     {"Lcl Translation", kVector, 0, 8},
                     {"Lcl Rotation", kVector, 0, 8},
                     {"Lcl Scaling", kVector, 1, 8},
                     {"Visibility", kDouble, 1, 8}};

} // namespace

TEST_F(NodeTest, PropertyTableHoldsTheFiftyFourPropertiesInOrderWithTheirInitialValues)
{
    KQoxNode* node = Node("A");
    KQoxNodeProperties* table = node->GetProperties();
    ASSERT_EQ(table->GetPropertyCount(), 54);
    for (int i = 0; i < 54; ++i)
    {
        const Row& row = kRows[i];
        KProperty* p = table->GetProperty(i);
        SCOPED_TRACE(row.mName);
        EXPECT_STREQ(p->GetPropertyName(), row.mName);
        EXPECT_EQ(p->GetPropertyFlag(), row.mOwnFlags);
        EXPECT_EQ(p->IsAnimatable(), i >= 50);
        switch (row.mKind)
        {
        case kBool:
        {
            bool value = !row.mValue;
            p->GetData(&value, 0, nullptr, nullptr);
            EXPECT_EQ(p->GetPropertyType(), 2);
            EXPECT_EQ(value, row.mValue != 0);
            break;
        }
        case kDouble: EXPECT_EQ(p->AsDouble(), row.mValue); break;
        case kEnum:
            EXPECT_EQ(p->GetPropertyType(), 6);
            EXPECT_EQ(p->AsInteger(), 0);
            EXPECT_TRUE(p->GetFlag(KPropertyInfo::eHasToString));
            break;
        case kVector:
        {
            KgeTVector v(-1, -1, -1, -1);
            p->GetData(&v, 0, nullptr, nullptr);
            EXPECT_EQ(p->GetPropertyType(), 13);
            EXPECT_EQ(v.x, row.mValue);
            EXPECT_EQ(v.y, row.mValue);
            EXPECT_EQ(v.z, row.mValue);
            break;
        }
        case kList:
            EXPECT_EQ(p->GetPropertyType(), 9);
            EXPECT_TRUE(p->IsPropertyObjectList());
            EXPECT_EQ(static_cast<KPropertyObjectList*>(p)->GetCount(), 0);
            break;
        }
    }
    // Both pivot sets: reference state, Euler XYZ, geometric scaling 1.
    for (EPivotSet set : {eSOURCE_SET, eDESTINATION_SET})
    {
        EPivotState state = ePIVOT_STATE_ACTIVE;
        node->GetPivotState(set, state);
        EXPECT_EQ(state, ePIVOT_STATE_REFERENCE);
        ERotationOrder order = eSPHERIC_XYZ;
        node->GetRotationOrder(set, order);
        EXPECT_EQ(order, eEULER_XYZ);
        ExpectVector(node->GetGeometricScaling(set), 1, 1, 1, 1);
        ExpectVector(node->GetRotationPivot(set), 0, 0, 0, 1);
    }
}

TEST_F(NodeTest, PropertyAccessorsKeepWAndEnumerationTexts)
{
    KQoxNodeProperties* table = Node("A")->GetProperties();
    table->RotationOffsetSet(KgeTVector(1, 2, 3, 9));
    KgeTVector v = table->RotationOffsetGet();
    EXPECT_EQ(v.x, 1);
    EXPECT_EQ(v.z, 3);
    EXPECT_EQ(v.w, 1.0);
    // Through the property: the set accessor is used, w stays.
    KgeTVector in(4, 5, 6, 7);
    table->mScalingPivot.SetData(&in, 0, nullptr, nullptr);
    EXPECT_EQ(table->mScalingPivot.Value().x, 4);
    EXPECT_EQ(table->mScalingPivot.Value().w, 1.0);

    struct
    {
        int mValue;
        const char* mOrder;
        const char* mInherit;
    } const texts[] = {{-1, nullptr, nullptr},      {0, "Euler XYZ", "RrSs"},  {1, "Euler XZY", "RrSs"},
                       {2, "Euler YZX", "Rrs"},     {3, "Euler YXZ", nullptr}, {5, "Euler ZYX", nullptr},
                       {6, "Spheric XYZ", nullptr}, {7, nullptr, nullptr}};
    for (const auto& t : texts)
    {
        const char* order = KQoxNodeProperties::RotationOrderAsString(static_cast<ERotationOrder>(t.mValue));
        const char* inherit = KQoxNodeProperties::InheritTypeAsString(static_cast<ETransformInheritType>(t.mValue));
        EXPECT_EQ(order ? std::string(order) : "null", t.mOrder ? std::string(t.mOrder) : "null") << t.mValue;
        EXPECT_EQ(inherit ? std::string(inherit) : "null", t.mInherit ? std::string(t.mInherit) : "null") << t.mValue;
    }
    EXPECT_STREQ(table->mRotationOrder.GetValueAsString(6), "Spheric XYZ");

    // A file may hold any number for an enumeration: values past the named
    // ones are kept as they are and read back whole (the enumerations hold
    // every int, so this is defined behaviour).
    int five = 5, large = 0x7FFFFFFF;
    table->mInheritType.SetData(&five, 0, nullptr, nullptr);
    EXPECT_EQ(static_cast<int>(table->mInheritType.Value()), 5);
    table->mRotationOrder.SetData(&large, 0, nullptr, nullptr);
    EXPECT_EQ(static_cast<int>(table->mRotationOrder.Value()), 0x7FFFFFFF);
}

TEST(NodePropertyCompare, VectorInequalityComparesAllFourAndTreatsNaNAsDifferent)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(KgeTVector(1, 2, 3, 1) != KQoxVector4(1, 2, 3, 0));
    EXPECT_FALSE(KgeTVector(1, 2, 3, 1) != KQoxVector4(1, 2, 3, 1));
    EXPECT_TRUE(KgeTVector(nan, 2, 3, 1) != KQoxVector4(nan, 2, 3, 1));
    EXPECT_TRUE(KgeTVector(1, 2, 3, 1) != KQoxVector4(1, 2, 3, nan));
}
