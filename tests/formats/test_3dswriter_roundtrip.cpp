// Scenes exported to 3DS and imported again through the exporter and the
// importer: hierarchy, geometry, materials and motion come back, within the
// differences the two directions define (specular strength, emissive, the
// far plane times 10, the roll offset of a computed camera target).

#include "w3ds_test_util.h"

#include <cmath>

#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"

using namespace w3dstest;
using qoxtest::TempDir;

namespace {

// The child of parent named name (3DS names), or null.
KQoxNode* Child(KQoxNode* parent, const char* name)
{
    for (int i = 0; parent && i < parent->GetChildCount(false); ++i)
        if (std::string(parent->GetChild(i)->GetNameWithoutNameSpacePrefix().ToChars()) == name)
            return parent->GetChild(i);
    return nullptr;
}

// The scene exported with rescaling off and imported into a new scene with
// rescaling and smoothing-group splitting off.
struct RoundTrip
{
    Scene imported;
    bool ok = false;
    std::string error;

    RoundTrip(Scene& source, const std::string& path)
    {
        KQoxRegisterGeometryFormats();
        {
            KQoxExporter exporter(*source.manager);
            exporter.Initialize(path.c_str());
            exporter.SetFileFormat(eEXPORT_3DS);
            std::unique_ptr<KStreamOptions> options(exporter.GetExportOptions());
            static_cast<KStreamOptions3ds*>(options.get())->SetOption(14, 0);
            if (!exporter.Export(source.scene, options.get()))
            {
                error = exporter.GetLastErrorString();
                return;
            }
        }
        KQoxImporter importer(*imported.manager);
        if (!importer.Initialize(path.c_str()))
        {
            error = importer.GetLastErrorString();
            return;
        }
        std::unique_ptr<KStreamOptions> options(importer.GetImportOptions());
        static_cast<KStreamOptions3ds*>(options.get())->SetOption(14, 0);
        static_cast<KStreamOptions3ds*>(options.get())->SetOption(16, 0);
        ok = importer.Import(imported.scene, options.get());
        if (!ok)
            error = importer.GetLastErrorString();
    }
};

} // namespace

TEST(Writer3dsRoundTrip, ExportedScenesImportWithinTheirDifferences)
{
    TempDir dir;
    Scene s;
    KQoxMesh* quad = s.NewMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}}, {0, 1});
    KQoxMaterial* red = s.AddMaterial(quad, "Red");
    red->SetDiffuse(KQoxColor(1, 0, 0));
    red->SetSpecular(KQoxColor(0.5, 0.5, 0.5));
    red->SetEmissive(KQoxColor(0.3, 0.3, 0.3));
    red->SetShininess(0.4);
    s.AddMaterial(quad, "Blue")->SetDiffuse(KQoxColor(0, 0, 1));
    KQoxNode* body = s.AddNode(nullptr, "Body", quad);
    body->SetDefaultT(KQoxVector4(1, 2, 3));
    body->SetDefaultR(KQoxVector4(0, 30, 0));
    KFCurve* x = body->GetCurrentTakeNode()->GetTranslationX();
    Key(x, KTime(0), 1.0f);
    Key(x, Frame(30), 4.0f);
    s.AddNode(body, "Arm", s.NewMesh({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {{0, 1, 2}}));
    KQoxNode* group = s.AddNode(nullptr, "Grp");
    KQoxLight* lamp = s.NewLight(KQoxLight::ePOINT);
    s.AddNode(group, "Lamp", lamp)->SetDefaultT(KQoxVector4(0, 5, 0));
    KQoxColor warm(1, 0.5, 0.25);
    lamp->SetDefaultColor(warm);
    lamp->SetDefaultIntensity(50);
    KQoxCamera* camera = s.manager->CreateKQoxCamera();
    camera->SetApertureMode(KQoxCamera::eHORIZONTAL);
    s.AddNode(nullptr, "Cam", camera)->SetDefaultT(KQoxVector4(0, 0, 10));
    KQoxCamera* vertical = s.manager->CreateKQoxCamera();
    vertical->SetApertureMode(KQoxCamera::eVERTICAL);
    vertical->SetApertureWidth(36);
    vertical->SetApertureHeight(24);
    vertical->SetSqueezeRatio(1);
    s.AddNode(nullptr, "CamV", vertical);

    RoundTrip trip(s, dir.File("trip.3ds"));
    ASSERT_TRUE(trip.ok) << trip.error;
    KQoxNode* root = trip.imported.scene.GetRootNode();

    // Hierarchy.
    KQoxNode* body2 = Child(root, "Body");
    ASSERT_NE(body2, nullptr);
    EXPECT_NE(Child(body2, "Arm"), nullptr);
    // A dummy comes back as a plain node named by its keyframer name.
    KQoxNode* group2 = Child(root, "$$$DUMMY.Grp");
    ASSERT_NE(group2, nullptr);
    KQoxNode* lamp2 = Child(group2, "Lamp");
    ASSERT_NE(lamp2, nullptr);
    KQoxNode* cam2 = Child(root, "Cam");
    ASSERT_NE(cam2, nullptr);
    EXPECT_NE(Child(root, "Cam.Target"), nullptr); // the computed target

    // Geometry: the control points come back in the node's own space.
    auto* mesh = static_cast<KQoxMesh*>(body2->GetMesh());
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetControlPointsCount(), 4);
    EXPECT_EQ(mesh->GetPolygonCount(), 2);
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(mesh->GetControlPoints()[i][c], quad->GetControlPoints()[i][c], 1e-4) << i << "," << c;

    // Materials: diffuse as it was; specular through the strength (0.375 /
    // 0.75 of the grey), shininess halved then doubled, emissive from the
    // diffuse times the self-illumination.
    ASSERT_EQ(mesh->GMC(0), 2);
    KQoxMaterial* red2 = mesh->GM(0, 0);
    ASSERT_NE(red2, nullptr);
    EXPECT_STREQ(red2->GetNameWithoutNameSpacePrefix().ToChars(), "Red");
    EXPECT_NEAR(red2->GetDiffuse().mRed, 1.0, 1e-3);
    EXPECT_NEAR(red2->GetSpecular().mGreen, 0.5 * 0.375 / 0.75, 0.01);
    EXPECT_NEAR(red2->GetShininess(), 0.4, 0.01);
    EXPECT_NEAR(red2->GetEmissive().mRed, 1.0 * 0.3, 0.01);
    EXPECT_NEAR(red2->GetEmissive().mGreen, 0.0, 0.01);

    // Motion: the translation keys sampled per frame come back as curves.
    KQoxTakeNode* take = body2->GetCurrentTakeNode();
    ASSERT_NE(take, nullptr);
    EXPECT_NEAR(take->GetTranslationX()->Evaluate(Frame(15)), 2.5, 1e-3);
    EXPECT_NEAR(take->GetTranslationY()->Evaluate(Frame(15)), 2.0, 1e-3);
    EXPECT_NEAR(take->GetTranslationZ()->Evaluate(Frame(15)), 3.0, 1e-3);
    EXPECT_NEAR(take->GetEulerRotationY()->Evaluate(Frame(0)), 30.0, 1e-3);

    // Light: colour and intensity.
    KQoxLight* lamp3 = lamp2->GetLight();
    ASSERT_NE(lamp3, nullptr);
    EXPECT_NEAR(lamp3->GetDefaultIntensity(), 50.0, 1e-3);
    KFCurve* green = lamp2->GetCurrentTakeNode()->GetColorG();
    EXPECT_NEAR(green->Evaluate(Frame(0)), 0.5, 1e-5);
    EXPECT_NEAR(lamp2->GetCurrentTakeNode()->GetTranslationY()->Evaluate(Frame(0)), 5.0, 1e-4);

    // Camera: far plane 1000 comes back times 10; the computed target's
    // roll offset (90 - acos(0) * 180 / 3.1416) stays in the roll.
    KQoxCamera* camera2 = cam2->GetCamera();
    ASSERT_NE(camera2, nullptr);
    EXPECT_NEAR(camera2->GetFarPlane(), 10000.0, 1e-2);
    const double offset = 90.0 - 90.0 * 3.141592653589793 / 3.1416;
    EXPECT_NEAR(cam2->GetCurrentTakeNode()->GetCameraRoll()->Evaluate(Frame(0)), offset, 1e-4);
    EXPECT_NEAR(cam2->GetCurrentTakeNode()->GetTranslationZ()->Evaluate(Frame(0)), 10.0, 1e-4);
    // Fields of view come back horizontal: a horizontal aperture's angle as
    // it was, a vertical one's converted (36 by 24: tan(v / 2) times 1.5).
    EXPECT_NEAR(camera2->GetDefaultFieldOfView(), camera->GetAngleOfView(), 1e-3);
    KQoxNode* vertical2 = Child(root, "CamV");
    ASSERT_NE(vertical2, nullptr);
    const double v = vertical->GetDefaultFieldOfView() * 3.141592653589793 / 180;
    EXPECT_NEAR(vertical2->GetCamera()->GetDefaultFieldOfView(),
                2 * std::atan(std::tan(v / 2) * 1.5) * 180 / 3.141592653589793, 1e-3);
}
