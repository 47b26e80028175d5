// Limits, the limit utilities with automatic limits, and the copies between
// pivots/limits and the node properties.

#include "node_test_util.h"
#include "scene/kqoxnodelimits.h"

using namespace nodetest;

TEST_F(NodeTest, LimitUtilitiesPerKind)
{
    KQoxNode* node = Node("N");
    KQoxNodeLimits& limits = node->GetLimits();
    KQoxLimitsUtilities tool(&limits);
    EXPECT_EQ(tool.GetAxisLength(), 1.0);

    limits.mTranslationLimits.SetLimitMinActive(true, false, false);
    tool.SetEnable(KQoxLimitsUtilities::eT, false);
    EXPECT_FALSE(limits.mTranslationLimits.GetLimitSomethingActive());
    limits.mTranslationLimits.SetLimitMaxActive(false, false, true);
    tool.SetEnable(KQoxLimitsUtilities::eT, true); // something on already: unchanged
    EXPECT_FALSE(limits.mTranslationLimits.mMinActive[0]);
    EXPECT_TRUE(tool.GetEnable(KQoxLimitsUtilities::eT));
    tool.SetEnable(KQoxLimitsUtilities::eS, true);
    EXPECT_TRUE(limits.mScalingLimits.mMaxActive[1]);

    const auto other = static_cast<KQoxLimitsUtilities::ELimitType>(5);
    EXPECT_TRUE(tool.GetAuto(other));
    EXPECT_FALSE(tool.GetEnable(other));
    ExpectVector(tool.GetMin(other), 0, 0, 0, 0);
    ExpectVector(tool.GetDefault(other), 0, 0, 0, 0);
    tool.SetMin(other, KQoxVector4(1, 1, 1, 1)); // nothing

    tool.SetAuto(KQoxLimitsUtilities::eR, false);
    EXPECT_TRUE(limits.GetRotationLimitActive());
    EXPECT_TRUE(node->GetRotationActive());
    EXPECT_TRUE(node->GetUseRotationSpaceForLimitOnly(eSOURCE_SET));
    EXPECT_FALSE(tool.GetAuto(KQoxLimitsUtilities::eR));

    tool.SetDefault(KQoxLimitsUtilities::eT, KQoxVector4(1, 2, 3, 4));
    ExpectVector(limits.mTranslationLimits.GetLimitMax(), 1, 2, 3, 4);
    tool.SetDefault(KQoxLimitsUtilities::eR, KQoxVector4(10, 20, 30, 1));
    ExpectVector(node->GetPreRotation(eSOURCE_SET), 10, 20, 30, 1);
    ExpectVector(tool.GetDefault(KQoxLimitsUtilities::eR), 10, 20, 30, 1);
    tool.SetMax(KQoxLimitsUtilities::eR, KQoxVector4(90, 0, 0, 0));
    ExpectVector(tool.GetMax(KQoxLimitsUtilities::eR), 90, 0, 0, 0);

    tool.SetRotationType(KQoxLimitsUtilities::eROTATION_SPHERIC);
    EXPECT_EQ(tool.GetRotationType(), KQoxLimitsUtilities::eROTATION_SPHERIC);
    EXPECT_EQ(tool.GetRotationClampType(), KQoxLimitsUtilities::eROTATION_CLAMP_TYPE_ELIPSOID);
    tool.SetRotationType(KQoxLimitsUtilities::eROTATION_EULER);
    EXPECT_EQ(tool.GetRotationClampType(), KQoxLimitsUtilities::eROTATION_CLAMP_TYPE_RECTANGULAR);
    tool.SetRotationAxis(KQoxVector4(0, 0, 45, 1));
    ExpectVector(node->GetPostRotation(eSOURCE_SET), 0, 0, 45, 1);

    node->SetRotationActive(false);
    EXPECT_FALSE(limits.GetRotationLimitActive());
    KQoxNodeLimits free(nullptr);
    free.SetRotationLimitActive(true); // no node to mirror into
    EXPECT_EQ(free.GetLimitedNode(), nullptr);
}

TEST_F(NodeTest, AutomaticLimitsFromTheDefaultPose)
{
    // Rotation limits off: the node aims at its child at local (0, 10, 0).
    KQoxNode* child = Node("Child");
    KQoxNode* node = Tree("Bone", {child});
    KQoxNode* parent = Tree("Parent", {node});
    parent->SetDefaultT(KQoxVector4(5, 0, 0, 0));
    child->SetDefaultT(KQoxVector4(0, 10, 0, 0));
    node->SetDefaultS(KQoxVector4(2, 2, -1, 0));
    KQoxLimitsUtilities tool(&node->GetLimits());
    tool.UpdateAutomatic(node);
    EXPECT_NEAR(tool.GetAxisLength(), 10.0, 1e-9);
    EXPECT_EQ(tool.GetRotationType(), KQoxLimitsUtilities::eROTATION_SPHERIC); // no bone length
    // The pre-rotation turns the global X axis onto the child's direction.
    KQoxXMatrix turn(KQoxVector4(0, 0, 0, 0), node->GetPreRotation(eSOURCE_SET), KQoxVector4(1, 1, 1, 0));
    KQoxVector4 x = turn.GetRow(0);
    EXPECT_NEAR(x[0], 0.0, 1e-9);
    EXPECT_NEAR(x[1], 1.0, 1e-9);
    ExpectVector(tool.GetMin(KQoxLimitsUtilities::eT), 0, 0, 0, 0);
    // Negative determinant: all three lengths negated.
    ExpectVector(tool.GetMax(KQoxLimitsUtilities::eS), -2, -2, -1, 0);

    // With a bone length the type is Euler.
    node->SetDefaultT(KQoxVector4(0, 0, 3, 0));
    node->SetCurrentTakeNode(0); // clear the take caches
    parent->SetCurrentTakeNode(0);
    tool.UpdateAutomatic(node);
    EXPECT_EQ(tool.GetRotationType(), KQoxLimitsUtilities::eROTATION_EULER);
    ExpectVector(tool.GetMin(KQoxLimitsUtilities::eT), 0, 0, 3, 0);

    // A root changes nothing; nor does a node whose kinds are all set.
    KQoxLimitsUtilities rootTool(&parent->GetLimits());
    rootTool.UpdateAutomatic(parent);
    EXPECT_EQ(rootTool.GetAxisLength(), 1.0);
    KQoxLimitsUtilities fixed(&node->GetLimits());
    for (auto kind : {KQoxLimitsUtilities::eT, KQoxLimitsUtilities::eR, KQoxLimitsUtilities::eS})
        fixed.SetAuto(kind, false);
    fixed.UpdateAutomatic(node);
    EXPECT_EQ(fixed.GetAxisLength(), 1.0);
    fixed.UpdateAutomatic(nullptr);
}

TEST_F(NodeTest, EndPointAndEndSite)
{
    KQoxNode* marker = Node("Marker");
    KQoxNode* limb = Node("Limb");
    KQoxNode* bone = Tree("Bone", {marker, limb});
    marker->SetNodeAttribute(Attribute(KQoxNodeAttribute::eMARKER, 0));
    limb->SetNodeAttribute(Attribute(KQoxNodeAttribute::eSKELETON, -1, false));
    marker->SetDefaultT(KQoxVector4(3, 0, 0, 0));
    limb->SetDefaultT(KQoxVector4(0, 2, 0, 0));
    KQoxLimitsUtilities tool(&bone->GetLimits());
    TestAttribute* own = Attribute(KQoxNodeAttribute::eSKELETON, -1, false);
    bone->SetNodeAttribute(own);
    ExpectVector(tool.GetEndPointTranslation(bone), 0, 2, 0, 1);
    own->mRootSkeleton = true; // no root-skeleton child: the longest child
    ExpectVector(tool.GetEndPointTranslation(bone), 3, 0, 0, 1);

    KQoxNode* leaf = Node("Leaf");
    ExpectVector(tool.GetEndSite(leaf), 0, 0, 0, 1);
    TestAttribute* mesh = Attribute(KQoxNodeAttribute::eMESH);
    mesh->mPoints = {KQoxVector4(0, 0, 0, 5), KQoxVector4(1, 0, 0, 7), KQoxVector4(0, -3, 0, 9),
                     KQoxVector4(0, 3, 0, 2)};
    leaf->SetNodeAttribute(mesh);
    ExpectVector(tool.GetEndSite(leaf), 0, -3, 0, 9); // the first of the longest, whole
    ExpectVector(tool.GetEndPointTranslation(leaf), 0, -3, 0, 9);
    mesh->mPoints = {KQoxVector4(0, 0, 0, 5)};
    ExpectVector(tool.GetEndSite(leaf), 0, 0, 0, 0);
}

TEST_F(NodeTest, PropertiesAndWorkingRecordsFollowEachOther)
{
    KQoxNode* node = Node("N");
    KQoxNodeProperties* p = node->GetProperties();
    // Defaults everywhere: the source set is left as it was.
    node->UpdatePivotsAndLimitsFromProperties();
    EPivotState state = ePIVOT_STATE_ACTIVE;
    node->GetPivotState(eSOURCE_SET, state);
    EXPECT_EQ(state, ePIVOT_STATE_REFERENCE);
    // Within the tolerance: still not in use.
    p->mPreRotation.Value().y = 0.0000005;
    node->UpdatePivotsAndLimitsFromProperties();
    node->GetPivotState(eSOURCE_SET, state);
    EXPECT_EQ(state, ePIVOT_STATE_REFERENCE);
    // A rotation order alone puts them in use.
    node->SetRotationPivot(eDESTINATION_SET, KQoxVector4(7, 7, 7, 7));
    p->mRotationOrder.Value() = eSPHERIC_XYZ;
    node->UpdatePivotsAndLimitsFromProperties();
    node->GetPivotState(eSOURCE_SET, state);
    EXPECT_EQ(state, ePIVOT_STATE_ACTIVE);
    ERotationOrder order = eEULER_XYZ;
    node->GetRotationOrder(eSOURCE_SET, order);
    EXPECT_EQ(order, eSPHERIC_XYZ);
    ExpectVector(node->GetPreRotation(eSOURCE_SET), 0, 0.0000005, 0, 1);
    ExpectVector(node->GetRotationPivot(eDESTINATION_SET), 0, 0, 0, 1);

    // Round trip: nothing differs, so the limits are not rewritten.
    node->GetLimits().mScalingLimits.SetLimitMax(KQoxVector4(2, 3, 4, 5));
    node->GetLimits().SetTranslationLimitActive(true);
    node->UpdatePropertiesFromPivotsAndLimits();
    EXPECT_TRUE(p->mTranslationActive.Value());
    EXPECT_EQ(p->mScalingMax.Value().z, 4.0);
    EXPECT_EQ(p->mScalingMax.Value().w, 1.0); // the property's own w stays
    node->UpdatePivotsAndLimitsFromProperties();
    ExpectVector(node->GetLimits().mScalingLimits.GetLimitMax(), 2, 3, 4, 5);
    // One per-axis flag rewrites all three kinds from the properties.
    p->mScalingMaxZ.Value() = true;
    p->mRotationActive.Value() = true;
    node->UpdatePivotsAndLimitsFromProperties();
    EXPECT_TRUE(node->GetLimits().mScalingLimits.mMaxActive[2]);
    EXPECT_TRUE(node->GetLimits().GetRotationLimitActive());
    ExpectVector(node->GetLimits().mScalingLimits.GetLimitMax(), 2, 3, 4, 1);
    // A limit vector differing by less than 1e-6 is no change.
    p->mTranslationMin.Value().x = 1e-7;
    node->UpdatePivotsAndLimitsFromProperties();
    EXPECT_EQ(node->GetLimits().mTranslationLimits.GetLimitMin()[0], 0.0);
    p->mTranslationMin.Value().x = 2e-6;
    node->UpdatePivotsAndLimitsFromProperties();
    EXPECT_EQ(node->GetLimits().mTranslationLimits.GetLimitMin()[0], 2e-6);

    // Reset puts properties and both sets back.
    node->Reset();
    EXPECT_EQ(p->mRotationOrder.Value(), eEULER_XYZ);
    EXPECT_FALSE(p->mScalingMaxZ.Value());
    EXPECT_EQ(p->mGeometricScaling.Value().x, 1.0);
    node->GetPivotState(eSOURCE_SET, state);
    EXPECT_EQ(state, ePIVOT_STATE_REFERENCE);
}

TEST_F(NodeTest, RotationStiffnessAndExtremeDefaults)
{
    KQoxNode* node = Node("N");
    node->SetRotationStiffness(KQoxVector4(0.5, 0.25, 0.125, 9));
    ExpectVector(node->GetRotationStiffness(), 0.5, 0.25, 0.125, 1.0);
    node->SetRotationOffset(eDESTINATION_SET, KQoxVector4(1, 2, 3, 1));
    ExpectVector(node->GetRotationOffset(eSOURCE_SET), 0, 0, 0, 1);
    node->SetDefaultR(KQoxVector4(1e308, -1e308, 4.9e-324, 0));
    KQoxVector4 r;
    ExpectVector(node->GetDefaultR(r), 1e308, -1e308, 4.9e-324, 0);
}

TEST_F(NodeTest, LimitUtilitiesValuesPerKind)
{
    KQoxNode* node = Node("N");
    KQoxNodeLimits& limits = node->GetLimits();
    KQoxLimitsUtilities tool(&limits);
    // The default of a kind is its minimum; setting it sets both ends.
    tool.SetMin(KQoxLimitsUtilities::eS, KQoxVector4(1, 2, 3, 0));
    tool.SetMax(KQoxLimitsUtilities::eS, KQoxVector4(4, 5, 6, 0));
    ExpectVector(tool.GetDefault(KQoxLimitsUtilities::eS), 1, 2, 3, 0);
    ExpectVector(tool.GetMin(KQoxLimitsUtilities::eS), 1, 2, 3, 0);
    ExpectVector(tool.GetMax(KQoxLimitsUtilities::eS), 4, 5, 6, 0);
    ExpectVector(limits.mScalingLimits.GetLimitMax(), 4, 5, 6, 0);
    tool.SetDefault(KQoxLimitsUtilities::eS, KQoxVector4(7, 8, 9, 0));
    ExpectVector(tool.GetMin(KQoxLimitsUtilities::eS), 7, 8, 9, 0);
    ExpectVector(tool.GetMax(KQoxLimitsUtilities::eS), 7, 8, 9, 0);
    // A kind outside the three reads zeros and takes nothing.
    const auto other = static_cast<KQoxLimitsUtilities::ELimitType>(-1);
    tool.SetMax(other, KQoxVector4(1, 1, 1, 1));
    tool.SetDefault(other, KQoxVector4(1, 1, 1, 1));
    ExpectVector(tool.GetMax(other), 0, 0, 0, 0);
    ExpectVector(tool.GetMin(other), 0, 0, 0, 0);
    ExpectVector(tool.GetDefault(other), 0, 0, 0, 0);
    ExpectVector(limits.mTranslationLimits.GetLimitMax(), 0, 0, 0, 0);
    ExpectVector(limits.mScalingLimits.GetLimitMax(), 7, 8, 9, 0);
}
