// The OBJ and DXF writers keep every coordinate as it is (zeros of either
// sign, denormals, the largest doubles, infinities, NaN), each beside any
// other, written through the exporter and read back by our readers.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <sstream>

#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

const double kInf = HUGE_VAL;
const double kValues[] = {0.0, -0.0, 1e-310, FLT_MAX, -DBL_MAX, DBL_MAX, kInf, -kInf, std::nan(""), 1.0 / 3.0};
const int kCount = 10;

// Vertex i holds value i in X, i + 3 in Y and i + 7 in Z (cyclically): every
// value once in every position. UV i is its X and Y.
KQoxVector4 Vertex(int i)
{
    return KQoxVector4(kValues[i], kValues[(i + 3) % kCount], kValues[(i + 7) % kCount]);
}

// Normals far from unit length or not finite, and their "vn" lines: the unit
// direction where there is one, else the normal as it is.
const std::pair<KQoxVector4, const char*> kNormals[kCount] = {
    {{0, 0, 1}, "0.000000 0.000000 1.000000"},
    {{DBL_MAX, 0, 0}, "1.000000 0.000000 0.000000"},
    {{1e-310, 0, -1e-310}, "0.707107 0.000000 -0.707107"},
    {{kInf, 1, 0}, "inf 1.000000 0.000000"},
    {{-kInf, NAN, 0}, "-inf nan 0.000000"},
    {{3e200, 4e200, 0}, "0.600000 0.800000 0.000000"},
    {{0, -0.0, -2}, "0.000000 -0.000000 -1.000000"},
    {{-3e-320, 4e-320, 0}, "-0.600000 0.800000 0.000000"},
    {{FLT_MAX, FLT_MAX, FLT_MAX}, "0.577350 0.577350 0.577350"},
    {{0, 0, 0}, "0.000000 0.000000 0.000000"}};

std::string Fixed(double value)
{
    char text[400];
    std::snprintf(text, sizeof text, "%f", value);
    return text;
}

// b is a as the text keeps it: NaN as NaN, any other value as what its text
// (six decimals, or exact) reads back as, to the bit.
bool Kept(double a, double b, bool sixDecimals)
{
    const double expected = sixDecimals ? std::strtod(Fixed(a).c_str(), nullptr) : a;
    return std::isnan(a) ? std::isnan(b) : std::memcmp(&expected, &b, sizeof b) == 0;
}

// Exports a mesh node "Values" of the ten vertices (with the normals and UVs
// when asked), and reads the file back through the importer.
struct RoundTrip
{
    qoxtest::TempDir dir;
    std::string text;
    std::unique_ptr<KQoxSdkManager> in{KQoxSdkManager::CreateKQoxSdkManager()};
    KQoxMesh* read = nullptr;

    RoundTrip(int format, const char* name, bool layers)
    {
        KQoxRegisterGeometryFormats();
        const std::string path = dir.File(name);
        std::unique_ptr<KQoxSdkManager> out(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene& scene = *out->CreateKQoxScene();
        KQoxMesh* mesh = out->CreateKQoxMesh();
        mesh->InitControlPoints(kCount);
        if (layers)
        {
            mesh->InitNormals(0);
            mesh->InitTextureUV(0);
            mesh->InitTextureUVIndices(KQoxLayerElement::eBY_CONTROL_POINT);
        }
        for (int i = 0; i < kCount; ++i)
        {
            mesh->GetControlPoints()[i] = Vertex(i);
            if (layers)
            {
                mesh->GetNormals()[i] = kNormals[i].first;
                mesh->AddTextureUV(KQoxVector2(Vertex(i)[0], Vertex(i)[1]));
            }
        }
        for (int i = 0; i < kCount; i += 3)
        {
            mesh->BeginPolygon();
            for (int k = 0; k < 3; ++k)
                mesh->AddPolygon((i + k) % kCount);
            mesh->EndPolygon();
        }
        KQoxNode* node = out->CreateKQoxNode("Values");
        node->SetNodeAttribute(mesh);
        scene.GetRootNode()->AddChild(node);
        KQoxExporter exporter(*out);
        std::unique_ptr<KStreamOptions> options;
        EXPECT_TRUE(exporter.Initialize(path.c_str()) && exporter.SetFileFormat(format) &&
                    (options.reset(exporter.GetExportOptions()), exporter.Export(scene, options.get())));
        text = qoxtest::ReadFile(path);
        Read(path);
    }
    void Read(const std::string& path)
    {
        std::unique_ptr<KStreamOptions> options;
        KQoxScene& back = *in->CreateKQoxScene();
        KQoxImporter importer(*in);
        ASSERT_TRUE(importer.Initialize(path.c_str()));
        options.reset(importer.GetImportOptions());
        static_cast<KStreamOptionsBase*>(options.get())->SetOption(1, 0); // no reference node
        ASSERT_TRUE(importer.Import(back, options.get()));
        ASSERT_EQ(back.GetRootNode()->GetChildCount(false), 1);
        read = static_cast<KQoxMesh*>(back.GetRootNode()->GetChild(0)->GetMesh());
        ASSERT_NE(read, nullptr);
        ASSERT_EQ(read->GetControlPointsCount(), kCount);
    }
    // Each line's text after the line prefix, for the lines that start with it.
    std::vector<std::string> After(const std::string& prefix) const
    {
        std::vector<std::string> found;
        std::istringstream lines(text);
        for (std::string line, last; std::getline(lines, line); last = line)
            if (prefix.back() == '\n' ? last + "\n" == prefix : line.compare(0, prefix.size(), prefix) == 0)
                found.push_back(prefix.back() == '\n' ? line : line.substr(prefix.size()));
        return found;
    }
};

} // namespace

TEST(WritersKeepEveryValue, ObjVerticesNormalsAndUVs)
{
    RoundTrip r(eEXPORT_OBJ, "values.obj", true);
    ASSERT_NE(r.read, nullptr);
    const auto v = r.After("v "), vt = r.After("vt "), vn = r.After("vn ");
    ASSERT_EQ(v.size() + vt.size() + vn.size(), 3u * kCount);
    ASSERT_EQ(r.read->GetTextureUVCount(), kCount);
    for (int i = 0; i < kCount; ++i)
    {
        const KQoxVector4 p = Vertex(i);
        EXPECT_EQ(v[i], Fixed(p[0]) + " " + Fixed(p[1]) + " " + Fixed(p[2]));
        EXPECT_EQ(vt[i], Fixed(p[0]) + " " + Fixed(p[1]));
        EXPECT_EQ(vn[i], kNormals[i].second);
        for (int k = 0; k < 3; ++k)
            EXPECT_TRUE(Kept(p[k], r.read->GetControlPoints()[i][k], true)) << i << " " << k << ": " << v[i];
        for (int k = 0; k < 2; ++k)
            EXPECT_TRUE(Kept(p[k], r.read->GetTextureUV()[i][k], true)) << i << " " << k << ": " << vt[i];
    }
}

TEST(WritersKeepEveryValue, DxfVertices)
{
    RoundTrip r(eEXPORT_DXF, "values.dxf", false);
    ASSERT_NE(r.read, nullptr);
    // After the header's three points and the polyline's come the vertices,
    // as X, -Z, Y: each the very double, non-finite ones as "inf", "-inf",
    // "nan" or "-nan".
    const auto x = r.After(" 10\n"), y = r.After(" 20\n"), z = r.After(" 30\n");
    ASSERT_GE(x.size(), 4u + kCount);
    for (int i = 0; i < kCount; ++i)
    {
        const KQoxVector4 p = Vertex(i);
        const double expected[3] = {p[0], -p[2], p[1]};
        const std::string written[3] = {x[4 + i], y[4 + i], z[4 + i]};
        for (int k = 0; k < 3; ++k)
        {
            const std::string& t = written[k];
            if (std::isnan(expected[k]))
                EXPECT_TRUE(t == "nan" || t == "-nan") << t;
            else if (std::isinf(expected[k]))
                EXPECT_EQ(t, expected[k] > 0 ? "inf" : "-inf");
            else
                EXPECT_TRUE(Kept(expected[k], std::strtod(t.c_str(), nullptr), false)) << i << " " << k << ": " << t;
            EXPECT_TRUE(Kept(p[k], r.read->GetControlPoints()[i][k], false)) << i << " " << k << ": " << t;
        }
    }
}
