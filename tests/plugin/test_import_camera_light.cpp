// Cameras (1, 2 and 3 nodes, camera groups, reserved names, focal length and
// twist) and lights (kinds, names, static values and missing channels).
#include "import_test_util.h"

#include <cmath>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "host/zglobal.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/qoxzeltnode.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxnull.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using Strings = std::vector<std::string>;
using Kind = zelthost::TranscriptEntry::Kind;

namespace {

const std::string kCameraText =
    "camera -centerOfInterest 5 -focalLength 35 -lensSqueezeRatio 1 -cameraScale 1 -horizontalFilmAperture 1.41732 "
    "-horizontalFilmOffset 0 -verticalFilmAperture 0.94488 -verticalFilmOffset 0 -filmFit Horizontal -overscan 1 "
    "-motionBlur 0 -shutterAngle 144 -nearClipPlane 0.01 -farClipPlane 1000 -orthographic 0 -orthographicWidth 30; "
    "objectMoveCommand; cameraMakeNode ";

KQoxCamera* Camera(KQoxSdkManager& manager, double focalLength = 50.0)
{
    KQoxCamera* camera = manager.CreateKQoxCamera();
    camera->SetApertureMode(KQoxCamera::eHORIZONTAL);
    camera->SetApertureWidth(1.41732);
    camera->SetApertureHeight(0.94488);
    camera->SetSqueezeRatio(1.0);
    camera->SetFocalLength(focalLength);
    camera->SetNearPlane(2.5);
    camera->SetFarPlane(5000);
    return camera;
}

KQoxLight* Light(KQoxSdkManager& manager, KQoxLight::ELightType type)
{
    KQoxLight* light = manager.CreateKQoxLight();
    light->SetLightType(type);
    light->SetDefaultConeAngle(45);
    light->SetDefaultIntensity(100);
    KQoxColor color(1, 0.5, 0.25);
    light->SetDefaultColor(color);
    return light;
}

double Number(const std::vector<std::string>& result)
{
    return result.empty() ? NAN : std::stod(result[0]);
}

// A plug's value in the host's internal units (getAttr shows angles in degrees).
double Internal(const char* node, const char* attribute)
{
    return qoxtest::HostPlugValue(node, attribute);
}

// An import object holding a scene, as Import has it.
struct SceneFixture
{
    SceneFixture()
    {
        import.mScene = import.mManager.CreateKQoxScene();
        import.mRootNode = static_cast<QoxZeltNode*>(import.mScene->GetRootNode());
    }
    QoxZeltNode* Add(KQoxNode* parent, const char* name, KQoxNodeAttribute* attribute = nullptr)
    {
        return static_cast<QoxZeltNode*>(AddNode(import.mManager, parent, name, attribute));
    }
    // The driver's name set, geometry and animation passes over the scene
    // as built, without a file.
    void Passes()
    {
        zelthost::Host::Get().ClearTranscript();
        import.FillPelbrinNodeArray(import.mRootNode);
        import.ImportGeometry();
        for (int i = 0; i < import.mRootNode->GetChildCount(false); ++i)
            import.ImportAnimation(*static_cast<QoxZeltNode*>(import.mRootNode->GetChild(i)));
    }
    QoxZeltImport import;
};

} // namespace

TEST_F(ImportTest, CameraWithoutTargetTakesItsSettingsAndFocalLength)
{
    ASSERT_TRUE(Import([](KQoxSdkManager& m, KQoxScene& s) {
        KQoxNode* rig = AddNode(m, s.GetRootNode(), "rig");
        AddNode(m, rig, "shot", Camera(m));
        AddNode(m, s.GetRootNode(), "persp", Camera(m)); // a host camera's name: not imported
    }));
    EXPECT_EQ(CommandsStarting("camera "), Strings{kCameraText + "1 \"\""});
    // The camera went under the rig's host node.
    EXPECT_EQ(CommandsStarting("parent "), Strings{"parent shot rig"});
    // Only the camera transform takes the node's name.
    EXPECT_NE(Dag().find("rig (transform)\n  locatorShape1 (locator)\n  shot (transform)\n    camera1Shape (camera)"),
              std::string::npos)
        << Dag();
    EXPECT_EQ(Dag().find("persp1"), std::string::npos) << Dag();
    EXPECT_DOUBLE_EQ(Number(Run("getAttr camera1Shape.nearClipPlane")), 2.5);
    EXPECT_DOUBLE_EQ(Number(Run("getAttr camera1Shape.farClipPlane")), 5000);
    EXPECT_DOUBLE_EQ(Number(Run("getAttr camera1Shape.horizontalFilmAperture")), 1.41732);
    EXPECT_DOUBLE_EQ(Number(Run("getAttr camera1Shape.filmFit")), 1);
    // The unkeyed field of view comes back as the focal length it was made from.
    EXPECT_NEAR(Number(Run("getAttr camera1Shape.focalLength")), 50.0, 1e-3);
}

TEST_F(ImportTest, CameraWithTargetAndUpBindsAimAndUpObjects)
{
    SceneFixture f;
    KQoxSdkManager& m = f.import.mManager;
    QoxZeltNode* root = f.import.mRootNode;
    KQoxCamera* camera = Camera(m);
    camera->SetDefaultRoll(10);
    QoxZeltNode* cam = f.Add(root, "cam", camera);
    QoxZeltNode* target = f.Add(root, "cam_target");
    QoxZeltNode* up = f.Add(root, "cam_upnode");
    cam->SetTarget(target);
    cam->SetTargetUp(up);
    QoxZeltNode* two = f.Add(root, "two", Camera(m));
    two->SetTarget(f.Add(root, "two_target"));
    f.Passes();
    EXPECT_EQ(CommandsStarting("camera "), (Strings{kCameraText + "3 \"\"", kCameraText + "2 \"\""}));
    EXPECT_TRUE(CommandsStarting("parent ").empty());
    const std::string dag = Dag();
    // The host names its group and shapes after its own camera name.
    EXPECT_NE(dag.find("camera1_group (transform)\n  cam (transform)\n    camera1Shape (camera)\n"
                       "  cam_target (transform)\n    camera1_aimShape (locator)\n"
                       "  cam_upnode (transform)\n    camera1_upShape (locator)\n"),
              std::string::npos)
        << dag;
    EXPECT_NE(dag.find("camera1_group1 (transform)\n  two (transform)\n    camera1Shape1 (camera)\n"
                       "  two_target (transform)\n    camera1_aimShape1 (locator)\n"),
              std::string::npos)
        << dag;
    // The targets got no null of their own, and are bound to the aim and up objects.
    EXPECT_EQ(dag.find("locatorShape"), std::string::npos) << dag;
    ASSERT_NE(target->GetDagPath(), nullptr);
    EXPECT_EQ(target->GetDagPath()->fullPathName(), "|camera1_group|cam_target");
    EXPECT_EQ(up->GetDagPath()->fullPathName(), "|camera1_group|cam_upnode");
    // A roll of 10 degrees: the twist is -10 degrees, held in radians.
    EXPECT_DOUBLE_EQ(Internal("camera1_group", "twist"), -0.17453292519943295);
}

// Through a file: the native file keeps the targets, so a camera read from
// one gets its aim and up objects, bound to the target nodes, and the roll
// becomes the twist; a camera aiming only gets an aim object.
TEST_F(ImportTest, CameraWithTargetsFromAFileGetsItsAim)
{
    ASSERT_TRUE(Import([](KQoxSdkManager& m, KQoxScene& s) {
        KQoxCamera* camera = Camera(m);
        camera->SetDefaultRoll(10);
        KQoxNode* cam = AddNode(m, s.GetRootNode(), "cam", camera);
        cam->SetTarget(AddNode(m, s.GetRootNode(), "cam_target"));
        cam->SetTargetUp(AddNode(m, s.GetRootNode(), "cam_upnode"));
        KQoxNode* two = AddNode(m, s.GetRootNode(), "two", Camera(m));
        two->SetTarget(AddNode(m, s.GetRootNode(), "two_target"));
    }));
    EXPECT_EQ(CommandsStarting("camera "), (Strings{kCameraText + "3 \"\"", kCameraText + "2 \"\""}));
    const std::string dag = Dag();
    EXPECT_NE(dag.find("camera1_group (transform)\n  cam (transform)\n    camera1Shape (camera)\n"
                       "  cam_target (transform)\n    camera1_aimShape (locator)\n"
                       "  cam_upnode (transform)\n    camera1_upShape (locator)\n"),
              std::string::npos)
        << dag;
    EXPECT_NE(dag.find("camera1_group1 (transform)\n  two (transform)\n    camera1Shape1 (camera)\n"
                       "  two_target (transform)\n    camera1_aimShape1 (locator)\n"),
              std::string::npos)
        << dag;
    // The targets got no null of their own.
    EXPECT_EQ(dag.find("locatorShape"), std::string::npos) << dag;
    EXPECT_DOUBLE_EQ(Internal("camera1_group", "twist"), -0.17453292519943295);
}

TEST_F(ImportTest, CameraGroupIsPassedOverAndItsCameraParented)
{
    SceneFixture f;
    KQoxSdkManager& m = f.import.mManager;
    QoxZeltNode* rig = f.Add(f.import.mRootNode, "rig");
    QoxZeltNode* group = f.Add(rig, "cam_group", m.CreateKQoxNull());
    QoxZeltNode* cam = f.Add(group, "cam", Camera(m));
    cam->SetTarget(f.Add(group, "cam_aim"));
    // A group directly under the root: no parenting.
    QoxZeltNode* top = f.Add(f.import.mRootNode, "top2_group", m.CreateKQoxNull());
    QoxZeltNode* cam2 = f.Add(top, "top2", Camera(m));
    cam2->SetTarget(f.Add(top, "top2_aim"));
    f.Passes();
    EXPECT_EQ(CommandsStarting("parent "), Strings{"parent camera1_group rig"});
    const std::string dag = Dag();
    EXPECT_NE(
        dag.find("rig (transform)\n  locatorShape1 (locator)\n  camera1_group (transform)\n    cam (transform)\n"),
        std::string::npos)
        << dag;
    EXPECT_NE(dag.find("camera1_group1 (transform)\n  top2 (transform)"), std::string::npos) << dag;
    EXPECT_EQ(dag.find("locatorShape2"), std::string::npos) << dag;
    EXPECT_EQ(group->GetDagPath(), nullptr); // the group itself gets no host object
}

TEST_F(ImportTest, CameraGroupNeedsTwoMatchesAndAnAim)
{
    SceneFixture f;
    KQoxSdkManager& m = f.import.mManager;
    QoxZeltNode* root = f.import.mRootNode;
    EXPECT_FALSE(IsCameraGroup(nullptr));
    QoxZeltNode* lone = f.Add(root, "x_group");
    f.Add(lone, "x_aim");
    EXPECT_FALSE(IsCameraGroup(lone)); // count 1
    QoxZeltNode* pair = f.Add(root, "Model::x_group");
    f.Add(pair, "y_aim");
    f.Add(pair, "y_up");
    EXPECT_TRUE(IsCameraGroup(pair)); // count 2 with an aim
    QoxZeltNode* noAim = f.Add(root, "c_group");
    f.Add(noAim, "c", Camera(m));
    f.Add(noAim, "c_up");
    EXPECT_FALSE(IsCameraGroup(noAim));
    QoxZeltNode* named = f.Add(root, "groupx");
    f.Add(named, "g_aim");
    f.Add(named, "g_up");
    EXPECT_FALSE(IsCameraGroup(named));
}

TEST_F(ImportTest, FieldOfViewBecomesFocalLength)
{
    const struct
    {
        int mMode;
        double mSqueeze;
        double mFov;
        double mFocal;
    } rows[] = {
        {KQoxCamera::eHORIZONTAL, 1.0, 40.0, 0.5 * 35.999928 / std::tan(20.0 * M_PI / 180.0)},    // about 49.454
        {KQoxCamera::eVERTICAL, 3.0, 40.0, 0.5 * 0.94488 * 25.4 / std::tan(20.0 * M_PI / 180.0)}, // about 32.970
        {3, 2.0, 40.0, 2.0 * 0.5 * 35.999928 / std::tan(20.0 * M_PI / 180.0)},                    // width formula
        {KQoxCamera::eHORIZONTAL, 1.0, 0.0, 0.0},
    };
    for (const auto& row : rows)
    {
        zelthost::Host::Get().NewScene();
        SceneFixture f;
        KQoxCamera* camera = Camera(f.import.mManager);
        camera->SetApertureMode(static_cast<KQoxCamera::ECameraApertureMode>(row.mMode));
        camera->SetSqueezeRatio(row.mSqueeze);
        QoxZeltNode* node = f.Add(f.import.mRootNode, "lens", camera);
        KFCurve* fov = row.mMode == 0 ? node->GetCurrentTakeNode()->GetCameraFieldOfViewX()
                                      : node->GetCurrentTakeNode()->GetCameraFieldOfView();
        ASSERT_NE(fov, nullptr);
        KTime one;
        one.SetSecondDouble(1.0);
        fov->KeyAppendFast(one, static_cast<float>(row.mFov));
        f.import.CreateCameraGeometry(*node);
        ASSERT_TRUE(f.import.ImportAnimationCamera(*node));
        EXPECT_NEAR(fov->KeyGetPtr(0)->GetValue(), row.mFocal, 1e-3) << row.mMode;
        EXPECT_NEAR(Number(Run("getAttr camera1Shape.filmFit")), row.mMode <= 2 ? row.mMode : 1, 0) << row.mMode;
    }
}

TEST_F(ImportTest, CameraAnimationNeedsACameraPath)
{
    SceneFixture f;
    QoxZeltNode* node = f.Add(f.import.mRootNode, "fake", Camera(f.import.mManager));
    Run("createNode transform -n plain");
    ZSelectionList list;
    list.add("plain");
    ZDagPath path;
    ASSERT_TRUE(list.getDagPath(0, path));
    node->SetDagPath(&path);
    EXPECT_FALSE(f.import.ImportAnimationCamera(*node));
}

namespace {

// A camera with its own lens: aperture (inches), focal length, squeeze,
// clipping planes and focus distance.
KQoxCamera* Lens(KQoxSdkManager& manager, KQoxCamera::ECameraApertureMode mode, double width, double height,
                 double focalLength, double squeeze, double focus)
{
    KQoxCamera* camera = Camera(manager, focalLength);
    camera->SetApertureMode(mode);
    camera->SetApertureWidth(width);
    camera->SetApertureHeight(height);
    camera->SetSqueezeRatio(squeeze);
    camera->SetFocalLength(focalLength);
    camera->SetSpecificDistance(focus);
    return camera;
}

KQoxNode* Placed(KQoxSdkManager& manager, KQoxNode* parent, const char* name, KQoxNodeAttribute* attribute,
                 const KQoxVector4& t, const KQoxVector4& r = KQoxVector4(0, 0, 0))
{
    KQoxNode* node = AddNode(manager, parent, name, attribute);
    node->SetDefaultT(t);
    node->SetDefaultR(r);
    return node;
}

// A row vector turned by the Z-up root: +90 degrees about X, Y going to Z.
std::vector<double> UpAxisTurn(const double* v)
{
    return {v[0], -v[2], v[1]};
}

} // namespace

// Cameras (the example's Shot, cameras with their own lens, under a turned
// node, aimed at a target) and lights keep their world placement and lens
// under either up axis: a Z-up host has the Y-up placement turned by the
// root's +90 degrees about X, and the same lens. The Y-up placements are
// worked out by hand: the rig stands at (1, 2, 3) turned 90 degrees about Y,
// which takes a local (x, y, z) to (1 + z, 2 + y, 3 - x).
TEST_F(ImportTest, CamerasAndLightsKeepPlaceAndLensUnderEitherUpAxis)
{
    const std::string built = Write([](KQoxSdkManager& m, KQoxScene& s) {
        KQoxNode* root = s.GetRootNode();
        Placed(m, root, "Wide", Lens(m, KQoxCamera::eVERTICAL, 1.5, 1.0, 50.0, 1.0, 42.0), KQoxVector4(2, -1, 5),
               KQoxVector4(0, 90, 0));
        KQoxNode* rig = Placed(m, root, "rig", nullptr, KQoxVector4(1, 2, 3), KQoxVector4(0, 90, 0));
        Placed(m, rig, "Child", Lens(m, KQoxCamera::eHORIZONTAL_AND_VERTICAL, 0.98, 0.735, 28.0, 2.0, 75.0),
               KQoxVector4(0, 0, 2));
        KQoxNode* aimed =
            Placed(m, rig, "Aimed", Lens(m, KQoxCamera::eHORIZONTAL, 1.0, 0.5, 40.0, 1.0, 10.0), KQoxVector4(0, 1, 0));
        aimed->SetTarget(Placed(m, rig, "Aimed_target", nullptr, KQoxVector4(5, 0, 0)));
        KQoxLight* light = Light(m, KQoxLight::eSPOT);
        light->SetDefaultIntensity(50);
        light->SetDefaultConeAngle(30);
        Placed(m, rig, "Bulb", light, KQoxVector4(0, 0, 1));
    });
    const std::string example = ZELT_EXAMPLES "/scene/example.qox";
    using Values = std::vector<std::pair<const char*, double>>;
    const struct
    {
        const std::string* mFile;
        const char* mNode;
        double mT[3];  // world translation, Y up
        double mZ[3];  // world Z axis, Y up
        Values mShape; // values of the node's first child
    } rows[] = {
        {&example,
         "Shot",
         {0, 3, 12},
         {0, 0, 1},
         {{"horizontalFilmAperture", 0.816},
          {"verticalFilmAperture", 0.612},
          {"focalLength", 35},
          {"focusDistance", 200},
          {"nearClipPlane", 0.5},
          {"farClipPlane", 500},
          {"filmFit", 1}}},
        {&example, "Lamp", {4, 6, 4}, {0, 0, 1}, {{"intensity", 0.8}, {"coneAngle", 40 * M_PI / 180}}},
        {&built,
         "Wide",
         {2, -1, 5},
         {1, 0, 0},
         {{"horizontalFilmAperture", 1.5},
          {"verticalFilmAperture", 1.0},
          {"focalLength", 50},
          {"focusDistance", 42},
          {"nearClipPlane", 2.5},
          {"farClipPlane", 5000},
          {"filmFit", 2}}},
        {&built,
         "Child",
         {3, 2, 3},
         {1, 0, 0},
         {{"horizontalFilmAperture", 0.98},
          {"verticalFilmAperture", 0.735},
          {"focalLength", 28},
          {"lensSqueezeRatio", 2},
          {"focusDistance", 75},
          {"filmFit", 0}}},
        {&built,
         "Aimed",
         {1, 3, 3},
         {1, 0, 0},
         {{"horizontalFilmAperture", 1.0},
          {"verticalFilmAperture", 0.5},
          {"focalLength", 40},
          {"focusDistance", 10},
          {"filmFit", 1}}},
        {&built, "Aimed_target", {1, 2, -2}, {1, 0, 0}, {}},
        {&built, "Bulb", {2, 2, 3}, {1, 0, 0}, {{"intensity", 0.5}, {"coneAngle", 30 * M_PI / 180}}},
    };
    for (const char* axis : {"y", "z"})
        for (const std::string* file : {&example, &built})
        {
            zelthost::Host::Get().SetUpAxis(axis);
            ASSERT_TRUE(Import(*file)) << axis << " " << *file;
            const bool zUp = axis[0] == 'z';
            for (const auto& row : rows)
            {
                if (row.mFile != file)
                    continue;
                const std::string where = std::string(axis) + " up, " + row.mNode;
                const ZDagPath path = qoxtest::HostPath(row.mNode);
                ASSERT_TRUE(path.isValid()) << where << "\n" << Dag();
                EXPECT_EQ(path.fullPathName().str().rfind("|Qox_Root|", 0) == 0, zUp) << where;
                const ZMatrix world = qoxtest::HostWorldMatrix(row.mNode);
                const std::vector<double> t = zUp ? UpAxisTurn(row.mT) : std::vector<double>(row.mT, row.mT + 3);
                const std::vector<double> z = zUp ? UpAxisTurn(row.mZ) : std::vector<double>(row.mZ, row.mZ + 3);
                for (unsigned c = 0; c < 3; ++c)
                {
                    EXPECT_NEAR(world(3, c), t[c], 1e-9) << where << ", translation " << c;
                    EXPECT_NEAR(world(2, c), z[c], 1e-9) << where << ", Z axis " << c;
                }
                const ZObject shape = ZFnDagNode(path.node()).child(0);
                for (const auto& value : row.mShape)
                    EXPECT_NEAR(ZFnDependencyNode(shape).findPlug(value.first).asDouble(), value.second, 1e-4)
                        << where << "." << value.first;
            }
        }
}

TEST_F(ImportTest, LightsOfEachKindWithTheirStaticValues)
{
    ASSERT_TRUE(Import([](KQoxSdkManager& m, KQoxScene& s) {
        AddNode(m, s.GetRootNode(), "Lamp", Light(m, KQoxLight::eSPOT));
        KQoxNode* rig = AddNode(m, s.GetRootNode(), "rig");
        AddNode(m, rig, "Bulb", Light(m, KQoxLight::ePOINT));
        AddNode(m, s.GetRootNode(), "Sun", Light(m, KQoxLight::eDIRECTIONAL));
    }));
    const std::string dag = Dag();
    EXPECT_NE(dag.find("Lamp (transform)\n  LampShape (spotLight)\n"), std::string::npos) << dag;
    EXPECT_NE(dag.find("rig (transform)\n  locatorShape1 (locator)\n  Bulb (transform)\n    BulbShape (pointLight)\n"),
              std::string::npos)
        << dag;
    EXPECT_NE(dag.find("Sun (transform)\n  SunShape (directionalLight)\n"), std::string::npos) << dag;
    EXPECT_TRUE(CommandsStarting("parent ").empty());
    EXPECT_DOUBLE_EQ(Internal("LampShape", "coneAngle"), 0.7853981633974483);
    EXPECT_DOUBLE_EQ(Number(Run("getAttr LampShape.intensity")), 1.0);
    EXPECT_DOUBLE_EQ(Number(Run("getAttr BulbShape.colorG")), 0.5);
    EXPECT_DOUBLE_EQ(Number(Run("getAttr SunShape.colorB")), 0.25);
    ZStatus st;
    Run("getAttr BulbShape.coneAngle", &st);
    EXPECT_FALSE(st);
}

TEST_F(ImportTest, LightChannelMissingFromTheDefaultTakeIsSkipped)
{
    SceneFixture f;
    QoxZeltNode* node = f.Add(f.import.mRootNode, "Lamp", Light(f.import.mManager, KQoxLight::eSPOT));
    f.import.CreateLightGeometry(*node);
    ASSERT_NE(node->GetDagPath(), nullptr);
    Run("setAttr LampShape.colorR 0.75");
    Run("setAttr LampShape.intensity 3");
    KFCurveNode* channels = node->GetDefaultTakeNode()->GetKFCurveNode();
    for (const char* name : {"Color", "Intensity"})
    {
        KFCurveNode* channel = channels->FindRecursive(const_cast<char*>(name));
        ASSERT_NE(channel, nullptr) << name;
        channels->Delete(channel);
    }
    ASSERT_TRUE(f.import.ImportAnimationLight(*node));
    EXPECT_DOUBLE_EQ(Number(Run("getAttr LampShape.colorR")), 0.75);
    EXPECT_DOUBLE_EQ(Number(Run("getAttr LampShape.intensity")), 3.0);
    EXPECT_DOUBLE_EQ(Internal("LampShape", "coneAngle"), 0.7853981633974483);
}

TEST_F(ImportTest, FailedLightLeavesTheNodeUncreated)
{
    SceneFixture f;
    Run("polyCube -n box");
    ZSelectionList list;
    list.add("boxShape");
    ZDagPath shapePath;
    ASSERT_TRUE(list.getDagPath(0, shapePath));
    QoxZeltNode* holder = f.Add(f.import.mRootNode, "holder");
    holder->SetDagPath(&shapePath);
    QoxZeltNode* lamp = f.Add(holder, "Lamp", Light(f.import.mManager, KQoxLight::ePOINT));
    zelthost::Host::Get().ClearTranscript();
    f.import.ImportGeometry(lamp);
    EXPECT_EQ(lamp->GetDagPath(), nullptr);
    const Strings errors = Entries(Kind::kError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Cannot create Light: ", 0), 0u) << errors[0];
}

TEST_F(ImportTest, TwistIsTheNegatedRollInEveryAngleUnit)
{
    // A roll of 10 degrees and a slope of 5 degrees per second, as the curve
    // conversion treats them (values / divisor, slopes / (divisor x factor)).
    for (int unit : {ZAngle::kRadians, ZAngle::kDegrees})
    {
        const qoxzeltimport::TwistFactors f = qoxzeltimport::TwistFactorsFor(unit);
        const double toUnit = unit == ZAngle::kRadians ? M_PI / 180.0 : 1.0;
        EXPECT_DOUBLE_EQ(10.0 / f.mValueDivisor, -10.0 * toUnit) << unit;
        EXPECT_DOUBLE_EQ(10.0 * f.mStaticFactor, -10.0 * toUnit) << unit;
        EXPECT_LT(5.0 / (f.mValueDivisor * f.mSlopeFactor), 0.0) << unit;
    }
}
