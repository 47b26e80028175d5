// Animation, user properties, limits and shading through a native file and
// QOXImport: what the SDK writes arrives on the host's nodes.
#include "import_test_util.h"

#include <cmath>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "host/zanim.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnull.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxuserproperty.h"

using namespace qoxsdk_600;

namespace {

KTime At(double seconds)
{
    KTime t;
    t.SetSecondDouble(seconds);
    return t;
}

void KeyCurve(KFCurve* curve, std::initializer_list<std::pair<double, float>> keys, unsigned interpolation)
{
    for (const auto& key : keys)
    {
        int index = curve->KeyAdd(At(key.first));
        curve->KeySet(index, At(key.first), key.second, interpolation, KFCURVE_TANGEANT_AUTO);
    }
}

double Internal(const char* node, const char* attribute)
{
    return qoxtest::HostPlugValue(node, attribute);
}

ZFnAnimCurve CurveOf(const char* node, const char* attribute)
{
    ZSelectionList list;
    list.add(node);
    ZObject object;
    list.getDependNode(0, object);
    return ZFnAnimCurve(ZFnDependencyNode(object).findPlug(attribute));
}

} // namespace

TEST_F(ImportTest, TakeAnimationUserPropertiesAndLimitsReachTheHost)
{
    ASSERT_TRUE(Import([](KQoxSdkManager& m, KQoxScene& s) {
        KQoxNode* box = AddNode(m, s.GetRootNode(), "box", m.CreateKQoxNull());
        KQoxUserProperty* speed = m.CreateKQoxUserProperty("Speed", "Real", "Max Speed");
        speed->ModifyFlag(KQoxUserProperty::eANIMATABLE, true);
        speed->ModifyFlag(KQoxUserProperty::eUSER, true);
        box->AddProperty(speed);
        box->GetLimits().mRotationLimits.SetLimitMin(KQoxVector4(-30, 0, 0));
        box->GetLimits().mRotationLimits.SetLimitMax(KQoxVector4(30, 0, 0));
        box->GetLimits().mRotationLimits.SetLimitMinActive(true, false, false);
        box->GetLimits().mRotationLimits.SetLimitMaxActive(true, false, false);
        box->GetLimits().SetRotationLimitActive(true);
        AddTake(s, "Take 001");
        KQoxTakeNode* take = box->GetCurrentTakeNode();
        KeyCurve(take->GetTranslationX(), {{0.0, 1.0f}, {1.0, 3.0f}}, KFCURVE_INTERPOLATION_LINEAR);
        KeyCurve(take->GetEulerRotationZ(), {{0.0, 0.0f}, {1.0, 90.0f}}, KFCURVE_INTERPOLATION_CUBIC);
        KeyCurve(take->GetVisibility(), {{0.0, 0.0f}, {0.5, 0.75f}}, KFCURVE_INTERPOLATION_LINEAR);
        KFCurve* speedCurve = take->GetKFCurveNode()->FindRecursive("Speed")->FCurveGet();
        KeyCurve(speedCurve, {{0.0, 2.0f}, {1.0, 4.0f}}, KFCURVE_INTERPOLATION_LINEAR);
        speedCurve->SetValue(2.0f);
    }));
    ZFnAnimCurve tx = CurveOf("box", "translateX");
    ASSERT_EQ(tx.numKeys(), 2u);
    EXPECT_DOUBLE_EQ(tx.value(1), 3.0);
    ZFnAnimCurve rz = CurveOf("box", "rotateZ");
    ASSERT_EQ(rz.numKeys(), 2u);
    EXPECT_NEAR(rz.value(1), M_PI / 2, 1e-6);
    ZFnAnimCurve visibility = CurveOf("box", "visibility");
    ASSERT_EQ(visibility.numKeys(), 2u);
    EXPECT_EQ(visibility.value(1), 1.0);
    EXPECT_EQ(visibility.outTangentType(0), 5); // stepped
    ZFnAnimCurve speed = CurveOf("box", "Max_Speed");
    ASSERT_EQ(speed.numKeys(), 2u);
    EXPECT_DOUBLE_EQ(speed.value(1), 4.0);
    EXPECT_DOUBLE_EQ(Internal("box", "Max_Speed"), 2.0);
    EXPECT_EQ(CommandsStarting("transformLimits"), (std::vector<std::string>{"transformLimits -rx -30 30 -erx 1 1 |box",
                                                                             "transformLimits -ry 0 0 -ery 0 0 |box",
                                                                             "transformLimits -rz 0 0 -erz 0 0 |box"}));
}

TEST_F(ImportTest, MaterialsThroughTheFileMakeShadersAndGroups)
{
    ASSERT_TRUE(Import([](KQoxSdkManager& m, KQoxScene& s) {
        KQoxMesh* mesh = m.CreateKQoxMesh();
        mesh->InitControlPoints(4);
        for (int i = 0; i < 4; ++i)
            mesh->GetControlPoints()[i] = KQoxVector4(i % 2, i / 2, 0, 1);
        for (auto polygon : {std::vector<int>{0, 1, 2}, std::vector<int>{1, 3, 2}})
        {
            mesh->BeginPolygon();
            for (int i : polygon)
                mesh->AddPolygon(i);
            mesh->EndPolygon();
        }
        AddNode(m, s.GetRootNode(), "plate", mesh);
        KQoxMaterial* gold = m.CreateKQoxMaterial("gold");
        gold->SetDiffuse(KQoxColor(1, 0.8, 0));
        KQoxMaterial* lead = m.CreateKQoxMaterial("lead");
        mesh->AM(gold, 0);
        mesh->AM(lead, 0);
        KQoxLayerElementMaterial* element = mesh->GetLayer(0)->GetMaterials();
        element->mMappingMode = KQoxLayerElement::eBY_POLYGON;
        element->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
        element->mIndexArray.Add(1);
        element->mIndexArray.Add(0);
        AddTake(s, "Take 001");
    }));
    EXPECT_NEAR(Internal("gold", "colorG"), 0.8, 1e-6);
    EXPECT_EQ(CommandsStarting("sets -e").size(), 2u);
    const std::vector<std::string> connects = CommandsStarting("connectAttr");
    ASSERT_EQ(connects.size(), 2u);
    EXPECT_EQ(connects[0], "connectAttr -f \"gold.outColor\"  \"plateSG.surfaceShader\"  ");
    EXPECT_EQ(connects[1], "connectAttr -f \"lead.outColor\"  \"plateSG1.surfaceShader\"  ");
}
