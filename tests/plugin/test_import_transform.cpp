// Transform animation of the import: the nine curves, static values and
// cached global transform, visibility, rotation order, pivots and limits.
#include "import_pass_test_util.h"

#include <cmath>

#include "plugin/qoxzeltutility.h"

namespace {

using namespace qoxsdk_600;

using TransformImportTest = ImportPassTest;

double Value(const std::string& node, const std::string& attribute)
{
    double value = 0;
    ImportPassTest::HostPlug(node, attribute).getValue(value);
    return value;
}

TEST_F(TransformImportTest, CurvesStaticValuesAndRotationOrder)
{
    QoxZeltNode* node = Node("box");
    Host(node);
    UseTake(node);
    KQoxTakeNode* take = node->GetCurrentTakeNode();
    Key(take->GetTranslationX(), 0, 2);
    Key(take->GetTranslationX(), 1, 4);
    Key(take->GetEulerRotationY(), 0, 90);
    Key(take->GetEulerRotationY(), 1, 180);
    take->GetScaleZ()->SetValue(3.0f);
    take->GetTranslationY()->SetValue(-1.0f);
    node->SetRotationOrder(eDESTINATION_SET, eEULER_ZXY);
    mImport->ImportTransformAnimation(*node);

    ZFnAnimCurve tx(HostPlug("box", "translateX"));
    ASSERT_EQ(tx.numKeys(), 2u);
    EXPECT_DOUBLE_EQ(tx.value(1), 4.0);
    ZFnAnimCurve ry(HostPlug("box", "rotateY"));
    ASSERT_EQ(ry.numKeys(), 2u);
    EXPECT_NEAR(ry.value(0), M_PI / 2, 1e-7); // degrees into radians
    EXPECT_EQ(ry.animCurveType(), ZFnAnimCurve::kAnimCurveTA);
    // Keyless channels get no curve; their static values reach the host.
    ZStatus attach;
    ZFnAnimCurve sz(HostPlug("box", "scaleZ"), &attach);
    EXPECT_EQ(attach.statusCode(), ZStatus::kNotFound);
    EXPECT_DOUBLE_EQ(Value("box", "scaleZ"), 3.0);
    EXPECT_DOUBLE_EQ(Value("box", "translateY"), -1.0);
    // Euler ZXY is host code 3, set with the reorder flag.
    ZFnTransform transform(*node->GetDagPath());
    EXPECT_EQ(transform.rotationOrder(), ZTransformationMatrix::kZXY);

    // Spheric XYZ leaves the host order (and the host rotation) alone.
    QoxZeltNode* ball = Node("ball");
    Host(ball);
    ZFnTransform ballTransform(*ball->GetDagPath());
    ballTransform.setRotationOrder(ZTransformationMatrix::kYXZ, false);
    const double angles[3] = {0.1, 0.2, 0.3};
    ballTransform.setRotation(angles, ZTransformationMatrix::kYXZ);
    ball->SetRotationOrder(eDESTINATION_SET, eSPHERIC_XYZ);
    ball->GetCurrentTakeNode()->GetEulerRotationX()->SetValue(45.0f);
    ball->GetCurrentTakeNode()->GetTranslationZ()->SetValue(8.0f);
    mImport->ImportTransformAnimation(*ball);
    EXPECT_EQ(ballTransform.rotationOrder(), ZTransformationMatrix::kYXZ);
    EXPECT_NEAR(Value("ball", "rotateX"), 0.1, 1e-12);
    EXPECT_DOUBLE_EQ(Value("ball", "translateZ"), 8.0);
    EXPECT_NEAR(ball->GetGlobalRotation()[0], 45.0, 1e-9); // cached from the XYZ angles all the same

    // A node without a host path is skipped silently.
    QoxZeltNode* lost = Node("lost");
    Key(lost->GetCurrentTakeNode()->GetTranslationX(), 0, 1);
    mImport->ImportTransformAnimation(*lost);
    EXPECT_TRUE(HostNode("lost").isNull());
}

TEST_F(TransformImportTest, RotationSlopesFollowTheInterfaceAngleUnit)
{
    QoxZeltNode* node = Node("box");
    Host(node);
    KFCurve* rx = node->GetCurrentTakeNode()->GetEulerRotationX();
    Key(rx, 0, 0, KFCURVE_INTERPOLATION_LINEAR);
    Key(rx, 1, 48, KFCURVE_INTERPOLATION_LINEAR);
    // Degrees: s = 48 deg/s / 24 / (pi/180), so y/x = s / (180/pi) = 2 degrees per frame in radians.
    ASSERT_EQ(ZAngle::uiUnit(), ZAngle::kDegrees);
    mImport->ImportTransformAnimation(*node);
    float x = 0, y = 0;
    ZFnAnimCurve curve(HostPlug("box", "rotateX"));
    ASSERT_TRUE(curve.getTangent(0, x, y, false));
    const double degrees = 48.0 / 24.0 / 0.017453292519943295;
    EXPECT_FLOAT_EQ(x, static_cast<float>(1.0 / std::sqrt(1 + degrees * degrees)));
    EXPECT_FLOAT_EQ(y / x, static_cast<float>(degrees / 57.29577951308232));
    // Radians: the slope factor is 1.
    ZAngle::setUIUnit(ZAngle::kRadians);
    mImport->ImportTransformAnimation(*node);
    ZFnAnimCurve again(HostPlug("box", "rotateX"));
    ASSERT_TRUE(again.getTangent(0, x, y, false));
    const double s = 48.0 / 24.0;
    EXPECT_FLOAT_EQ(x, static_cast<float>(1.0 / std::sqrt(1 + s * s)));
    EXPECT_FLOAT_EQ(y / x, static_cast<float>(s / 57.29577951308232));
    ZAngle::setUIUnit(ZAngle::kDegrees);
}

TEST_F(TransformImportTest, GlobalValuesAreCachedFromParentAndChild)
{
    QoxZeltNode* parent = Node("parent");
    QoxZeltNode* child = Node("child", parent);
    Host(parent);
    Host(child);
    KgeTVector t;
    t.x = 10;
    KgeSVector s;
    s.x = s.y = s.z = 2;
    parent->SetGlobalTranslation(t);
    parent->SetGlobalScaling(s);
    child->GetCurrentTakeNode()->GetTranslationX()->SetValue(1.0f);
    ZFnTransform transform(*child->GetDagPath());
    mImport->SetDefaultGeometry(*child, transform);
    EXPECT_NEAR(child->GetGlobalTranslation()[0], 12.0, 1e-12);
    EXPECT_NEAR(child->GetGlobalTranslation()[1], 0.0, 1e-12);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_NEAR(child->GetGlobalRotation()[i], 0.0, 1e-12);
        EXPECT_NEAR(child->GetGlobalScaling()[i], 2.0, 1e-12);
    }

    // A mirrored node: every row length takes the negative determinant's sign.
    QoxZeltNode* mirror = Node("mirror");
    Host(mirror);
    mirror->GetCurrentTakeNode()->GetScaleX()->SetValue(-1.0f);
    ZFnTransform mirrorTransform(*mirror->GetDagPath());
    mImport->SetDefaultGeometry(*mirror, mirrorTransform);
    for (int i = 0; i < 3; ++i)
        EXPECT_DOUBLE_EQ(mirror->GetGlobalScaling()[i], -1.0);
    // Rows (1,0,0), (0,-1,0), (0,0,-1): a half turn about X.
    EXPECT_NEAR(std::fabs(mirror->GetGlobalRotation()[0]), 180.0, 1e-9);

    // Values are read at the import's current host time.
    QoxZeltNode* moving = Node("moving");
    Host(moving);
    Key(moving->GetCurrentTakeNode()->GetTranslationY(), 1, 0, KFCURVE_INTERPOLATION_LINEAR);
    Key(moving->GetCurrentTakeNode()->GetTranslationY(), 3, 10, KFCURVE_INTERPOLATION_LINEAR);
    mImport->mCurrentHostTime = Seconds(2);
    ZFnTransform movingTransform(*moving->GetDagPath());
    mImport->SetDefaultGeometry(*moving, movingTransform);
    EXPECT_NEAR(Value("moving", "translateY"), 5.0, 1e-6);
    mImport->mCurrentHostTime = Seconds(0);
    mImport->SetDefaultGeometry(*moving, movingTransform);
    EXPECT_NEAR(Value("moving", "translateY"), 0.0, 1e-6); // before the keys: the first key's value
}

TEST_F(TransformImportTest, VisibilitySnapsKeysAndSetsTheStaticValue)
{
    QoxZeltNode* node = Node("box");
    Host(node);
    UseTake(node);
    KFCurve* visibility = node->GetCurrentTakeNode()->GetVisibility();
    ASSERT_NE(visibility, nullptr);
    Key(visibility, 0, 0.00001f);
    Key(visibility, 1, 0.5f);
    node->GetDefaultTakeNode()->GetVisibility()->SetValue(1.0f);
    ASSERT_TRUE(mImport->ImportAnimationVisibility(*node));
    // The SDK keys are snapped in place and made constant.
    EXPECT_EQ(visibility->KeyGetValue(0), 0.0f);
    EXPECT_EQ(visibility->KeyGetValue(1), 1.0f);
    EXPECT_EQ(visibility->KeyGetInterpolation(1), static_cast<unsigned>(KFCURVE_INTERPOLATION_CONSTANT));
    ZFnAnimCurve curve(HostPlug("box", "visibility"));
    ASSERT_EQ(curve.numKeys(), 2u);
    EXPECT_EQ(curve.value(0), 0.0);
    EXPECT_EQ(curve.value(1), 1.0);

    // Default take current: no curve, the static value still set; a hidden
    // node is off whatever its default curve holds.
    QoxZeltNode* still = Node("still");
    Host(still);
    still->GetDefaultTakeNode()->GetVisibility()->SetValue(1.0f);
    Key(still->GetDefaultTakeNode()->GetVisibility(), 0, 0);
    still->SetVisibility(false);
    ZStatus attach;
    ASSERT_TRUE(mImport->ImportAnimationVisibility(*still));
    ZFnAnimCurve none(HostPlug("still", "visibility"), &attach);
    EXPECT_EQ(attach.statusCode(), ZStatus::kNotFound);
    EXPECT_EQ(Value("still", "visibility"), 0.0);
    still->SetVisibility(true);
    mImport->ImportAnimationVisibility(*still);
    EXPECT_EQ(Value("still", "visibility"), 1.0);
    // No host node: the failed look-up is the result.
    QoxZeltNode* lost = Node("lost");
    EXPECT_FALSE(mImport->ImportAnimationVisibility(*lost));
}

TEST_F(TransformImportTest, PivotsOfTheSourceSet)
{
    QoxZeltNode* node = Node("pivoted");
    Host(node, "joint");
    node->SetPreRotation(eSOURCE_SET, KQoxVector4(10, 20, 30));
    node->SetPostRotation(eSOURCE_SET, KQoxVector4(0, 0, 90));
    node->SetRotationPivot(eSOURCE_SET, KQoxVector4(1, 2, 3));
    node->SetRotationOffset(eSOURCE_SET, KQoxVector4(4, 5, 6));
    node->SetScalingPivot(eSOURCE_SET, KQoxVector4(7, 8, 9));
    node->SetScalingOffset(eSOURCE_SET, KQoxVector4(-1, -2, -3));
    node->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
    ZFnTransform transform(*node->GetDagPath());
    mImport->ImportPivots(transform, *node);
    ZPoint angles;
    QoxZeltUtility::GetJointOrient(transform, angles);
    EXPECT_NEAR(angles.x, 10, 1e-9);
    EXPECT_NEAR(angles.z, 30, 1e-9);
    QoxZeltUtility::GetRotateAxis(transform, angles);
    EXPECT_NEAR(angles.x, 0, 1e-9);
    EXPECT_NEAR(angles.y, 0, 1e-9);
    EXPECT_NEAR(angles.z, -90, 1e-9);
    EXPECT_DOUBLE_EQ(transform.rotatePivot(ZSpace::kTransform).y, 2);
    EXPECT_DOUBLE_EQ(transform.rotatePivotTranslation(ZSpace::kTransform).z, 6);
    EXPECT_DOUBLE_EQ(transform.scalePivot(ZSpace::kTransform).x, 7);
    EXPECT_DOUBLE_EQ(transform.scalePivotTranslation(ZSpace::kTransform).y, -2);
    node->SetPostRotation(eSOURCE_SET, KQoxVector4(30, 0, 0));
    mImport->ImportPivots(transform, *node);
    QoxZeltUtility::GetRotateAxis(transform, angles);
    EXPECT_NEAR(angles.x, -30, 1e-9);

    // Reference state: nothing is written.
    QoxZeltNode* reference = Node("reference");
    Host(reference, "joint");
    reference->SetPreRotation(eSOURCE_SET, KQoxVector4(10, 0, 0));
    reference->SetRotationPivot(eSOURCE_SET, KQoxVector4(1, 1, 1));
    reference->SetPivotState(eSOURCE_SET, ePIVOT_STATE_REFERENCE);
    ZFnTransform referenceTransform(*reference->GetDagPath());
    mImport->ImportPivots(referenceTransform, *reference);
    angles = ZPoint(7, 7, 7);
    ASSERT_TRUE(QoxZeltUtility::GetJointOrient(referenceTransform, angles));
    EXPECT_EQ(angles.x, 0);
    EXPECT_EQ(referenceTransform.rotatePivot(ZSpace::kTransform).x, 0);
}

TEST_F(TransformImportTest, OldFilesClearPivotsAndCompareRotations)
{
    mImport->mOldVersion = true;
    QoxZeltNode* node = Node("old", nullptr);
    Host(node, "joint");
    ZFnTransform transform(*node->GetDagPath());
    QoxZeltUtility::SetJointOrient(transform, ZPoint(180, 0, 180));
    transform.setRotatePivot(ZPoint(1, 2, 3), ZSpace::kTransform, false);
    transform.setScalePivotTranslation(ZVector(1, 2, 3), ZSpace::kTransform);
    node->SetPreRotation(eSOURCE_SET, KQoxVector4(0, 180, 0));
    node->SetPostRotation(eSOURCE_SET, KQoxVector4(0, 0, 45));
    node->SetRotationPivot(eSOURCE_SET, KQoxVector4(5, 5, 5));
    node->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
    node->GetLimits().SetTranslationLimitActive(true);
    Key(node->GetCurrentTakeNode()->GetTranslationX(), 0, 1);
    Key(node->GetCurrentTakeNode()->GetTranslationX(), 1, 2);
    ClearTranscript();
    mImport->ImportTransformAnimation(*node);
    ZPoint angles;
    // (0, 180, 0) and (180, 0, 180) are one rotation: the orient stays.
    QoxZeltUtility::GetJointOrient(transform, angles);
    EXPECT_NEAR(angles.x, 180, 1e-9);
    EXPECT_NEAR(angles.z, 180, 1e-9);
    // The post-rotation goes to the rotate axis unchanged (not inverted).
    QoxZeltUtility::GetRotateAxis(transform, angles);
    EXPECT_NEAR(angles.z, 45, 1e-9);
    EXPECT_EQ(transform.rotatePivot(ZSpace::kTransform).x, 0);
    EXPECT_EQ(transform.scalePivotTranslation(ZSpace::kTransform).y, 0);
    // No pivots or limits of the file; the curves still.
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(ZFnAnimCurve(HostPlug("old", "translateX")).numKeys(), 2u);
}

// Limits: the node's scaling limits X inverted with the given enables.
std::string ScalingCommand(QoxZeltImport& import, QoxZeltNode* node, bool minOnX, bool maxOnX)
{
    KQoxLimits& scaling = node->GetLimits().mScalingLimits;
    scaling.SetLimitMin(KQoxVector4(2, 1, 1));
    scaling.SetLimitMax(KQoxVector4(1, 1, 1));
    scaling.SetLimitMinActive(minOnX, true, true);
    scaling.SetLimitMaxActive(maxOnX, true, true);
    node->GetLimits().SetScalingLimitActive(true);
    zelthost::Host::Get().ClearTranscript();
    ZFnTransform transform(*node->GetDagPath());
    import.ImportLimits(transform, *node);
    std::vector<std::string> commands = zelthost::Host::Get().Commands();
    return commands.empty() ? std::string() : commands.front();
}

TEST_F(TransformImportTest, LimitCommandsInBatch)
{
    ASSERT_TRUE(zelthost::Host::Get().Batch());
    QoxZeltNode* node = Node("limited");
    Host(node);
    ZFnTransform transform(*node->GetDagPath());
    ClearTranscript();
    mImport->ImportLimits(transform, *node);
    EXPECT_TRUE(Commands().empty()); // nothing active: not even "about -b"

    EXPECT_EQ(ScalingCommand(*mImport, node, true, false), "about -b");
    std::vector<std::string> commands = Commands();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands[1], "transformLimits -sx 2 2 -esx 1 0 |limited");
    EXPECT_EQ(commands[2], "transformLimits -sy 1 1 -esy 1 1 |limited");
    ScalingCommand(*mImport, node, false, true);
    EXPECT_EQ(Commands()[1], "transformLimits -sx 1 1 -esx 0 1 |limited");
    ScalingCommand(*mImport, node, true, true);
    EXPECT_EQ(Commands()[1], "transformLimits -sx 2 1 -esx 1 1 |limited");
    ScalingCommand(*mImport, node, false, false);
    EXPECT_EQ(Commands()[1], "transformLimits -sx 2 2 -esx 0 0 |limited");
    EXPECT_FALSE(mImport->mLimitsOnce); // batch: asked again every time

    // Rotation only: exactly its three commands, in degrees as stored.
    QoxZeltNode* turned = Node("turned");
    Host(turned);
    KQoxLimits& rotation = turned->GetLimits().mRotationLimits;
    rotation.SetLimitMin(KQoxVector4(-45, -10.5, 0));
    rotation.SetLimitMax(KQoxVector4(45, 10.5, 360));
    rotation.SetLimitMinActive(true, false, true);
    rotation.SetLimitMaxActive(true, false, false);
    turned->GetLimits().SetRotationLimitActive(true);
    ClearTranscript();
    ZFnTransform turnedTransform(*turned->GetDagPath());
    mImport->ImportLimits(turnedTransform, *turned);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"about -b", "transformLimits -rx -45 45 -erx 1 1 |turned",
                                                    "transformLimits -ry -10.5 10.5 -ery 0 0 |turned",
                                                    "transformLimits -rz 0 360 -erz 1 0 |turned"}));
}

TEST_F(TransformImportTest, AttributeEditorIsUndockedAroundTheFirstLimitedNode)
{
    zelthost::Host& host = zelthost::Host::Get();
    host.SetBatch(false);
    host.optionVars["aeInMainWindow"] = "1";
    host.attributeEditorVisible = 0;
    QoxZeltNode* first = Node("first");
    QoxZeltNode* second = Node("second");
    Host(first);
    Host(second);
    for (QoxZeltNode* node : {first, second})
    {
        node->GetLimits().mTranslationLimits.SetLimitMaxActive(true, false, false);
        node->GetLimits().SetTranslationLimitActive(true);
    }
    ClearTranscript();
    ZFnTransform firstTransform(*first->GetDagPath());
    mImport->ImportLimits(firstTransform, *first);
    EXPECT_EQ(Commands(), (std::vector<std::string>{
                              "about -b", "optionVar -q aeInMainWindow", "isAttributeEditorVisible",
                              "optionVar -iv aeInMainWindow 0;setAttributeEditorVisible 0",
                              "transformLimits -tx 0 0 -etx 0 1 |first", "transformLimits -ty 0 0 -ety 0 0 |first",
                              "transformLimits -tz 0 0 -etz 0 0 |first",
                              "openAEWindow;refreshAE;optionVar -iv aeInMainWindow 1;setAttributeEditorVisible 1",
                              "setChannelBoxVisible(1)"}));
    EXPECT_TRUE(mImport->mLimitsOnce);
    EXPECT_EQ(host.optionVars["aeInMainWindow"], "1");
    EXPECT_EQ(host.channelBoxVisible, 1);
    ClearTranscript();
    ZFnTransform secondTransform(*second->GetDagPath());
    mImport->ImportLimits(secondTransform, *second);
    EXPECT_EQ(Commands().size(), 3u); // its limits only

    // Not docked: no undock or restore, and the flag is set all the same.
    mImport->mLimitsOnce = false;
    host.optionVars["aeInMainWindow"] = "0";
    ClearTranscript();
    mImport->ImportLimits(firstTransform, *first);
    EXPECT_EQ(Commands().size(), 5u);
    EXPECT_EQ(Commands()[1], "optionVar -q aeInMainWindow");
    EXPECT_TRUE(mImport->mLimitsOnce);
}

} // namespace
