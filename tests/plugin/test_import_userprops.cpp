// User properties of the import: attribute names with clash numbering,
// types and soft limits, values and curves by type, import modes.
#include "import_pass_test_util.h"

#include <cmath>
#include <limits>

#include "fcurve/kfcurvenode.h"
#include "scene/attributes/kqoxnull.h"
#include "scene/kqoxuserproperty.h"

namespace {

using namespace qoxsdk_600;

const double kInf = std::numeric_limits<double>::infinity();

class UserPropertyTest : public ImportPassTest
{
protected:
    void SetUp() override
    {
        ImportPassTest::SetUp();
        mNode = Node("box");
        mNode->SetNodeAttribute(mImport->mManager.CreateKQoxNull());
        UseTake(mNode);
        mPath = Host(mNode);
        mTransform.setObject(mPath);
    }
    KQoxUserProperty* Property(const char* name, const char* type, const char* label, bool user = true)
    {
        KQoxUserProperty* property = mImport->mManager.CreateKQoxUserProperty(name, type, label);
        property->ModifyFlag(KQoxUserProperty::eANIMATABLE, true);
        property->ModifyFlag(KQoxUserProperty::eUSER, user);
        mNode->AddProperty(property);
        return property;
    }
    // The property's curve (or component curve) in the current take.
    KFCurve* Curve(const char* name, const char* component = nullptr)
    {
        KFCurveNode* node = mNode->GetCurrentTakeNode()->GetKFCurveNode()->FindRecursive(name);
        if (node && component)
            node = node->FindRecursive(component);
        return node ? node->FCurveGet() : nullptr;
    }
    std::string HostName(const char* label)
    {
        KString* name = mNode->GetUserPropertyHostName(label);
        return name ? name->ToChars() : "(none)";
    }
    double Value(const char* attribute)
    {
        double value = NAN;
        HostPlug("box", attribute).getValue(value);
        return value;
    }

    QoxZeltNode* mNode = nullptr;
    ZDagPath mPath;
    ZFnTransform mTransform;
};

TEST_F(UserPropertyTest, AttributesNamedAfterLabelsWithTypesAndSoftLimits)
{
    KQoxUserProperty* speed = Property("Speed", "Real", "Max Speed");
    speed->SetLimits(-kInf, 10.0);
    Property("Count", "Integer", "")->SetLimits(-kInf, kInf);
    Property("On", "Bool", "On")->SetLimits(0, 1);
    Property("Tint", "Color", "Tint")->SetLimits(0, 1);
    Property("Dir", "Vector", "Dir");
    Property("Hidden", "Real", "Hidden", false);
    mImport->AddUserProperties(mTransform, mNode);

    // Blanks become underscores in the attribute; the map keeps the label.
    EXPECT_EQ(HostName("Max Speed"), "Max_Speed");
    EXPECT_EQ(HostName("Count"), "Count");   // an empty label: the name
    EXPECT_EQ(HostName("Hidden"), "(none)"); // not a user property
    ZFnNumericAttribute maxSpeed(mTransform.attribute("Max_Speed"));
    EXPECT_EQ(maxSpeed.unitType(), ZFnNumericData::kDouble);
    EXPECT_EQ(maxSpeed.shortName().str(), "Max_Speed");
    EXPECT_TRUE(maxSpeed.hasSoftMax());
    EXPECT_FALSE(maxSpeed.hasSoftMin());
    double limit = 0;
    maxSpeed.getSoftMax(limit);
    EXPECT_EQ(limit, 10.0);
    EXPECT_TRUE(maxSpeed.isKeyable());
    EXPECT_FALSE(maxSpeed.isHidden());
    ZFnNumericAttribute count(mTransform.attribute("Count"));
    EXPECT_EQ(count.unitType(), ZFnNumericData::kInt);
    EXPECT_FALSE(count.hasSoftMin());
    EXPECT_FALSE(count.hasSoftMax());
    ZFnNumericAttribute on(mTransform.attribute("On"));
    EXPECT_EQ(on.unitType(), ZFnNumericData::kBoolean);
    EXPECT_FALSE(on.hasSoftMax());
    EXPECT_FALSE(ZFnNumericAttribute(mTransform.attribute("Tint")).hasSoftMax());
    EXPECT_TRUE(HostPlug("box", "Tint").isCompound());
    EXPECT_EQ(ZFnNumericAttribute(mTransform.attribute("Dir")).unitType(), ZFnNumericData::k3Double);

    // A node without attribute gets nothing.
    QoxZeltNode* bare = Node("bare");
    Host(bare);
    KQoxUserProperty* lonely = mImport->mManager.CreateKQoxUserProperty("Lonely", "Real", "");
    lonely->ModifyFlag(KQoxUserProperty::eUSER, true);
    bare->AddProperty(lonely);
    ZFnTransform bareTransform(*bare->GetDagPath());
    mImport->AddUserProperties(bareTransform, bare);
    EXPECT_FALSE(bareTransform.hasAttribute("Lonely"));
    EXPECT_FALSE(mImport->ImportUserProperties(*bare));
}

TEST_F(UserPropertyTest, NameClashesAreNumberedUpToNine)
{
    ZFnNumericAttribute maker;
    mTransform.addAttribute(maker.create("Max_Speed", "Max_Speed", ZFnNumericData::kDouble));
    KQoxUserProperty* speed = Property("Speed", "Real", "Max Speed");
    mImport->AddUserProperty(speed, mTransform, mNode);
    EXPECT_EQ(HostName("Max Speed"), "Max_Speed1");

    // With the label and its nine numbered forms taken, nothing is made.
    for (int n = 0; n <= 9; ++n)
    {
        std::string name = "Taken" + (n ? std::to_string(n) : std::string());
        mTransform.addAttribute(maker.create(name.c_str(), name.c_str(), ZFnNumericData::kDouble));
    }
    const unsigned before = mTransform.attributeCount();
    KQoxUserProperty* taken = Property("T", "Real", "Taken");
    mImport->AddUserProperty(taken, mTransform, mNode);
    EXPECT_EQ(HostName("Taken"), "(none)");
    EXPECT_EQ(mTransform.attributeCount(), before);
    // The animation pass tries again in merge and add modes, and skips it in exclusive merge.
    SetMode(0);
    EXPECT_TRUE(mImport->ImportUserProperties(*mNode));
    EXPECT_EQ(mTransform.attributeCount(), before);
}

TEST_F(UserPropertyTest, ScalarValuesComeFromCurvesOrDefaults)
{
    Property("Flag", "Bool", "");
    Property("Off", "Bool", "");
    Property("Amount", "Real", "");
    Property("Fallback", "Real", "")->SetDefaultValue(0.75);
    Property("Steps", "Integer", "");
    Property("Down", "Integer", "");
    Property("Odd", "Unidentified", "");
    mImport->AddUserProperties(mTransform, mNode);

    Key(Curve("Flag"), 0, 0.5f);
    Curve("Flag")->SetValue(0.5f);
    Key(Curve("Off"), 0, -1.0f);
    Curve("Off")->SetValue(-1.0f);
    Curve("Amount")->SetValue(0.25f);  // keyless, but not zero: it counts
    Curve("Fallback")->SetValue(0.0f); // keyless zero: the default value
    Key(Curve("Steps"), 0, 2.9f);
    Key(Curve("Steps"), 1, 3.9f);
    Curve("Steps")->SetValue(2.9f);
    Key(Curve("Down"), 0, -2.9f);
    Curve("Down")->SetValue(-2.9f);
    ASSERT_TRUE(mImport->ImportUserProperties(*mNode));

    EXPECT_EQ(Value("Flag"), 1.0);
    EXPECT_EQ(Value("Off"), 0.0);
    EXPECT_FLOAT_EQ(static_cast<float>(Value("Amount")), 0.25f);
    EXPECT_DOUBLE_EQ(Value("Fallback"), 0.75);
    EXPECT_EQ(Value("Steps"), 2.0);
    EXPECT_EQ(Value("Down"), -2.0);
    EXPECT_EQ(ZFnAnimCurve(HostPlug("box", "Steps")).numKeys(), 2u);
    ZStatus attach;
    ZFnAnimCurve none(HostPlug("box", "Amount"), &attach);
    EXPECT_FALSE(attach); // keyless: a value, no curve
    EXPECT_EQ(Value("Odd"), 0.0);
}

TEST_F(UserPropertyTest, ScalarWithoutChannelKeepsItsCreationDefault)
{
    // A property that is not animatable has no channel in the take: no
    // value and no curve, even with a default value of its own.
    KQoxUserProperty* still = mImport->mManager.CreateKQoxUserProperty("Still", "Real", "");
    still->ModifyFlag(KQoxUserProperty::eUSER, true);
    mNode->AddProperty(still);
    still->SetDefaultValue(5.0);
    mImport->AddUserProperties(mTransform, mNode);
    ASSERT_EQ(Curve("Still"), nullptr);
    mImport->ImportUserProperties(*mNode);
    EXPECT_EQ(Value("Still"), 0.0);
}

TEST_F(UserPropertyTest, VectorsAndColoursByComponent)
{
    KQoxUserProperty* dir = Property("Dir", "Vector", "");
    KQoxUserProperty* tint = Property("Tint", "Color", "");
    tint->SetDefaultValue(0.1, 0.2, 0.3);
    mImport->AddUserProperties(mTransform, mNode);
    Key(Curve("Dir", "X"), 0, 4.0f);
    Key(Curve("Dir", "X"), 1, 5.0f);
    Curve("Dir", "X")->SetValue(4.0f);
    Curve("Dir", "Y")->SetValue(9.0f);
    (void)dir;
    ASSERT_TRUE(mImport->ImportUserProperties(*mNode));
    EXPECT_EQ(ZFnAnimCurve(HostPlug("box", "DirX")).numKeys(), 2u);
    EXPECT_EQ(Value("DirX"), 4.0);
    EXPECT_EQ(Value("DirY"), 9.0);
    // No curve counts for the colour: its default value.
    EXPECT_NEAR(Value("TintR"), 0.1, 1e-6);
    EXPECT_NEAR(Value("TintB"), 0.3, 1e-6);
}

TEST_F(UserPropertyTest, ModesDecideAboutUnmappedProperties)
{
    Property("Late", "Real", "Late one");
    Curve("Late")->SetValue(3.0f);
    SetMode(0);
    mImport->ImportUserProperties(*mNode);
    EXPECT_FALSE(mTransform.hasAttribute("Late_one"));
    SetMode(1);
    mImport->ImportUserProperties(*mNode);
    EXPECT_EQ(HostName("Late one"), "Late_one");
    EXPECT_EQ(Value("Late_one"), 3.0);
    // A mapped name that no longer resolves is skipped.
    mNode->SetUserPropertyHostName("Late one", "gone");
    Curve("Late")->SetValue(4.0f);
    mImport->ImportUserProperties(*mNode);
    EXPECT_EQ(Value("Late_one"), 3.0);
}

} // namespace
