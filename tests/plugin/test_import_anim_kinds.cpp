// Animation of cameras, lights and surface blend shapes through the curve
// conversion: tangent mapping, resampling and target building.
#include "import_pass_test_util.h"

#include <cmath>
#include <locale>

#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxshape.h"

namespace {

using namespace qoxsdk_600;

using AnimKindsTest = ImportPassTest;

struct Types
{
    int in, out;
    bool operator==(const Types& o) const { return in == o.in && out == o.out; }
};
std::ostream& operator<<(std::ostream& out, const Types& t)
{
    return out << "(" << t.in << ", " << t.out << ")";
}

std::vector<Types> TypesOf(const ZPlug& plug)
{
    ZFnAnimCurve curve(plug);
    std::vector<Types> types;
    for (unsigned i = 0; i < curve.numKeys(); ++i)
        types.push_back({curve.inTangentType(i), curve.outTangentType(i)});
    return types;
}

TEST_F(AnimKindsTest, LightChannelsAreMappedOrResampled)
{
    Params().SetResamplingRate(10.0, true);
    KQoxLight* light = mImport->mManager.CreateKQoxLight();
    light->SetLightType(KQoxLight::eSPOT);
    QoxZeltNode* node = Node("Lamp");
    node->SetNodeAttribute(light);
    UseTake(node);
    KQoxTakeNode* take = node->GetCurrentTakeNode();
    // Intensity with a TCB key: sampled every 0.1 s from 0 to 0.5 s.
    Key(take->GetLightIntensity(), 0, 0);
    take->GetLightIntensity()->KeySetTCB(take->GetLightIntensity()->KeyAdd(Seconds(0.25)), Seconds(0.25), 50);
    Key(take->GetLightIntensity(), 0.5, 100);
    // Red: a user key, then a constant and a linear one.
    Key(take->GetColorR(), 0, 0.5f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER);
    Key(take->GetColorR(), 1, 0.2f, KFCURVE_INTERPOLATION_CONSTANT);
    Key(take->GetColorR(), 2, 1.0f, KFCURVE_INTERPOLATION_LINEAR);
    mImport->CreateLightGeometry(*node);
    ASSERT_NE(node->GetDagPath(), nullptr);
    ASSERT_TRUE(mImport->ImportAnimationLight(*node));

    ZFnAnimCurve intensity(HostPlug("LampShape", "intensity"));
    ASSERT_EQ(intensity.numKeys(), 6u);
    for (unsigned i = 0; i < 6; ++i)
    {
        EXPECT_NEAR(intensity.time(i).as(ZTime::kSeconds), 0.1 * i, 1e-9);
        EXPECT_EQ(intensity.inTangentType(i), 0);
        EXPECT_EQ(intensity.outTangentType(i), 0);
    }
    EXPECT_NEAR(intensity.value(5), 1.0, 1e-6);
    // User first key: out 1 and in taken from it; constant: in 4 (the
    // previous key is cubic, its auto is not 100), out 5; the last linear
    // key after a constant one: left auto 0, in 4, out from in.
    EXPECT_EQ(TypesOf(HostPlug("LampShape", "colorR")), (std::vector<Types>{{1, 1}, {4, 5}, {4, 4}}));
}

TEST_F(AnimKindsTest, CameraFocalLengthCurveKeepsLinearTangents)
{
    KQoxCamera* camera = mImport->mManager.CreateKQoxCamera();
    camera->SetApertureMode(KQoxCamera::eHORIZONTAL);
    camera->SetApertureWidth(1.41732);
    camera->SetApertureHeight(0.94488);
    QoxZeltNode* node = Node("Lens");
    node->SetNodeAttribute(camera);
    KFCurve* fov = node->GetCurrentTakeNode()->GetCameraFieldOfView(); // the one of modes 1 and 2
    ASSERT_NE(fov, nullptr);
    Key(fov, 0, 40, KFCURVE_INTERPOLATION_LINEAR);
    Key(fov, 1, 60, KFCURVE_INTERPOLATION_LINEAR);
    mImport->CreateCameraGeometry(*node);
    ASSERT_TRUE(mImport->ImportAnimationCamera(*node));
    ZDagPath path = *node->GetDagPath();
    path.extendToShape();
    ZPlug focal = ZFnDependencyNode(path.node()).findPlug("focalLength");
    ASSERT_FALSE(focal.isNull()) << zelthost::Host::Get().ListDag();
    // First linear key: in from its out (2); last linear key after a linear
    // one: left auto 100, in 2, and the out type from the in type.
    EXPECT_EQ(TypesOf(focal), (std::vector<Types>{{2, 2}, {2, 2}}));
    ZFnAnimCurve curve(focal);
    EXPECT_NEAR(curve.value(0), 0.5 * 1.41732 * 25.4 / std::tan(20.0 * M_PI / 180.0), 1e-3);
    EXPECT_TRUE(curve.tangentsLocked(0));
    EXPECT_TRUE(curve.tangentsLocked(1));
}

TEST_F(AnimKindsTest, SurfaceBlendShapesBuildSurfaceTargets)
{
    SetMode(2);
    KQoxNurb* nurb = mImport->mManager.CreateKQoxNurb();
    nurb->SetOrder(2, 2);
    nurb->InitControlPoints(2, KQoxNurb::eOPEN, 2, KQoxNurb::eOPEN);
    for (int i = 0; i < 4; ++i)
        nurb->GetControlPoints()[i] = KQoxVector4(i % 2, i / 2, 0, 1);
    KQoxShape* bump = mImport->mManager.CreateKQoxShape();
    bump->InitControlPoints(4);
    for (int i = 0; i < 4; ++i)
        bump->GetControlPoints()[i] = KQoxVector4(i % 2, i / 2, 2, 1);
    nurb->AddShape(bump, "Sheet.Bump");
    KQoxShape* thin = mImport->mManager.CreateKQoxShape();
    thin->InitControlPoints(2);
    nurb->AddShape(thin, "Sheet.Short");
    QoxZeltNode* node = Node("Sheet");
    node->SetNodeAttribute(nurb);
    mImport->CreateNurbGeometry(node);
    ASSERT_NE(node->GetDagPath(), nullptr);
    OpenLog();
    mImport->ImportShapeAnimation(*node);

    ZObject deformer = HostNode("Sheet_BlendShaper");
    ASSERT_FALSE(deformer.isNull());
    ZObjectArray targets;
    ZFnBlendShapeDeformer(deformer).getTargets(ZFnDagNode(*node->GetDagPath()).child(0), 0, targets);
    ASSERT_EQ(targets.length(), 1u);
    ZFnNurbsSurface surface(targets[0]);
    EXPECT_EQ(surface.name().str(), "Bump");
    ZPointArray points;
    surface.getCVs(points);
    ASSERT_EQ(points.length(), 4u);
    EXPECT_EQ(points[0].z, 2.0);
    // A shape of another point count would be read past its points: skipped.
    EXPECT_TRUE(HostNode("Short").isNull());
    EXPECT_NE(CloseLog().find("Blend shape target Sheet.Short skipped"), std::string::npos);
}

// A decimal comma, as some locales have it.
struct CommaPoint : std::numpunct<char>
{
    char do_decimal_point() const override { return ','; }
};

TEST_F(AnimKindsTest, KnotsAreRoundedTheSameInEveryLocale)
{
    KQoxNurb* nurb = mImport->mManager.CreateKQoxNurb();
    nurb->SetOrder(2, 2);
    nurb->InitControlPoints(3, KQoxNurb::eOPEN, 2, KQoxNurb::eOPEN);
    double* u = nurb->GetUKnotVector();
    u[0] = 0;
    u[1] = 0.1234564;
    u[2] = 1e300; // 301 digits before the point: no buffer to overrun
    u[3] = 1e300;
    u[4] = 1e300;
    const std::locale before = std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
    ZPointArray points;
    ZDoubleArray uKnots, vKnots;
    int uDegree = 0, vDegree = 0, uForm = 0, vForm = 0;
    ZStatus status;
    mImport->GetNURBData(nurb, nurb->GetControlPoints(), points, uKnots, vKnots, uDegree, vDegree, uForm, vForm,
                         &status, nullptr, nullptr);
    std::locale::global(before);
    // Host V holds the SDK U knots without their ends.
    ASSERT_EQ(vKnots.length(), 3u);
    EXPECT_EQ(vKnots[0], 0.123456);
    EXPECT_EQ(vKnots[1], 1e300);
}

TEST_F(AnimKindsTest, ColoursByPolygonVertexFollowTheRunningPosition)
{
    // A direct colour element by polygon vertex: the triangle on points 2, 1,
    // 0 takes colours 0, 1, 2 in corner order, not the colours of its points.
    KQoxMesh* mesh = mImport->mManager.CreateKQoxMesh();
    mesh->InitControlPoints(3);
    for (int i = 0; i < 3; ++i)
        mesh->GetControlPoints()[i] = KQoxVector4(i, i * i, 0, 1);
    mesh->BeginPolygon();
    for (int i : {2, 1, 0})
        mesh->AddPolygon(i);
    mesh->EndPolygon();
    mesh->CreateLayer();
    KQoxLayerElementVertexColor* colors = new KQoxLayerElementVertexColor;
    colors->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
    colors->mReferenceMode = KQoxLayerElement::eDIRECT;
    colors->mDirectArray.Add(KQoxColor(1, 0, 0, 1));
    colors->mDirectArray.Add(KQoxColor(0, 1, 0, 1));
    colors->mDirectArray.Add(KQoxColor(0, 0, 1, 1));
    mesh->GetLayer(0)->SetVertexColors(colors);
    QoxZeltNode* node = Node("Tri");
    node->SetNodeAttribute(mesh);
    mImport->CreateMeshGeometry(node);
    ZDagPath path = *node->GetDagPath();
    path.extendToShape();
    ZFnMesh host(path);
    ZColor color;
    ASSERT_TRUE(host.getFaceVertexColor(0, 2, color)); // the first corner: point 2
    EXPECT_EQ(color.r, 1.0f);
    ASSERT_TRUE(host.getFaceVertexColor(0, 0, color)); // the last corner: point 0
    EXPECT_EQ(color.b, 1.0f);
}

} // namespace
