// The OBJ and DXF writers keep every coordinate as it is: zeros of either
// sign, denormals, the largest doubles, infinities and NaN, each in any
// position of a vertex beside any other, written through the exporter and
// read back by our readers.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::ReadFile;
using qoxtest::TempDir;

namespace {

const double kInf = std::numeric_limits<double>::infinity();
const double kValues[] = {0.0,     -0.0, 1e-310, static_cast<double>(FLT_MAX), -DBL_MAX, DBL_MAX, kInf, -kInf,
                          std::nan(""), 1.0 / 3.0};
const int kCount = static_cast<int>(sizeof kValues / sizeof kValues[0]);

// Vertex i holds value i in X, i + 3 in Y and i + 7 in Z (cyclically): every
// value once in every position, each time beside other ones.
KQoxVector4 Vertex(int i)
{
    return KQoxVector4(kValues[i], kValues[(i + 3) % kCount], kValues[(i + 7) % kCount]);
}

// Whether b is a as well as the text's precision allows: the same non-finite
// kind and sign of an infinity (NaN of any sign), or for finite a, exactly
// what the text of a reads back as, sign of zero included.
bool Kept(double a, double b, bool sixDecimals)
{
    if (std::isnan(a))
        return std::isnan(b);
    double expected = a;
    if (sixDecimals)
    {
        char text[400];
        std::snprintf(text, sizeof text, "%f", a);
        expected = std::strtod(text, nullptr);
    }
    return std::memcmp(&expected, &b, sizeof b) == 0;
}

std::string Show(double value)
{
    char text[400];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// Normals far from unit length or not finite, and what the "vn" lines hold
// of them: the unit direction where there is one, else the normal as it is.
struct NormalCase
{
    KQoxVector4 normal;
    const char* line;
};
const NormalCase kNormals[kCount] = {
    {KQoxVector4(0, 0, 1), "vn 0.000000 0.000000 1.000000"},
    {KQoxVector4(DBL_MAX, 0, 0), "vn 1.000000 0.000000 0.000000"},
    {KQoxVector4(1e-310, 0, -1e-310), "vn 0.707107 0.000000 -0.707107"},
    {KQoxVector4(kInf, 1, 0), "vn inf 1.000000 0.000000"},
    {KQoxVector4(-kInf, std::nan(""), 0), "vn -inf nan 0.000000"},
    {KQoxVector4(3e200, 4e200, 0), "vn 0.600000 0.800000 0.000000"},
    {KQoxVector4(0, -0.0, -2), "vn 0.000000 -0.000000 -1.000000"},
    {KQoxVector4(-3e-320, 4e-320, 0), "vn -0.600000 0.800000 0.000000"},
    {KQoxVector4(FLT_MAX, FLT_MAX, FLT_MAX), "vn 0.577350 0.577350 0.577350"},
    {KQoxVector4(0, 0, 0), "vn 0.000000 0.000000 0.000000"},
};

// A scene of one node "Values" whose mesh has the ten vertices, triangles
// over them, the normals above and UVs by control point.
struct ValueScene
{
    std::unique_ptr<KQoxSdkManager> manager{KQoxSdkManager::CreateKQoxSdkManager()};
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxMesh* mesh = manager->CreateKQoxMesh();

    explicit ValueScene(bool layers)
    {
        mesh->InitControlPoints(kCount);
        for (int i = 0; i < kCount; ++i)
            mesh->GetControlPoints()[i] = Vertex(i);
        if (layers)
        {
            mesh->InitNormals(0);
            for (int i = 0; i < kCount; ++i)
                mesh->GetNormals()[i] = kNormals[i].normal;
            mesh->InitTextureUV(0);
            mesh->InitTextureUVIndices(KQoxLayerElement::eBY_CONTROL_POINT);
            for (int i = 0; i < kCount; ++i)
                mesh->AddTextureUV(KQoxVector2(kValues[i], kValues[(i + 3) % kCount]));
        }
        for (int i = 0; i < kCount; i += 3)
        {
            mesh->BeginPolygon();
            for (int k = 0; k < 3; ++k)
                mesh->AddPolygon((i + k) % kCount);
            mesh->EndPolygon();
        }
        KQoxNode* node = manager->CreateKQoxNode("Values");
        node->SetNodeAttribute(mesh);
        scene.GetRootNode()->AddChild(node);
    }

    bool Export(const std::string& path, int format)
    {
        KQoxRegisterGeometryFormats();
        KQoxExporter exporter(*manager);
        if (!exporter.Initialize(path.c_str()) || !exporter.SetFileFormat(format))
            return false;
        std::unique_ptr<KStreamOptions> options(exporter.GetExportOptions());
        return options && exporter.Export(scene, options.get());
    }
};

// The file read back into a fresh scene through the importer.
struct Imported
{
    std::unique_ptr<KQoxSdkManager> manager{KQoxSdkManager::CreateKQoxSdkManager()};
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxMesh* mesh = nullptr;

    explicit Imported(const std::string& path)
    {
        KQoxImporter importer(*manager);
        if (!importer.Initialize(path.c_str()))
            return;
        std::unique_ptr<KStreamOptions> options(importer.GetImportOptions());
        if (!options)
            return;
        static_cast<KStreamOptionsBase*>(options.get())->SetOption(1, 0); // no reference node
        if (!importer.Import(scene, options.get()))
            return;
        KQoxNode* root = scene.GetRootNode();
        for (int i = 0; i < root->GetChildCount(false); ++i)
            if (std::string(root->GetChild(i)->GetNameWithoutNameSpacePrefix().ToChars()) == "Values")
                mesh = static_cast<KQoxMesh*>(root->GetChild(i)->GetMesh());
    }
};

// The lines of text that follow each line equal to key.
std::vector<std::string> LinesAfter(const std::string& text, const std::string& key)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    bool take = false;
    while (std::getline(in, line))
    {
        if (take)
            lines.push_back(line);
        take = line == key;
    }
    return lines;
}

} // namespace

TEST(WritersKeepEveryValue, ObjVerticesNormalsAndUVs)
{
    TempDir dir;
    const std::string path = dir.File("values.obj");
    ValueScene s(true);
    ASSERT_TRUE(s.Export(path, eEXPORT_OBJ));

    // Each "v" line holds the three coordinates as "%f" writes them.
    const std::string text = ReadFile(path);
    std::vector<std::string> vLines, vtLines, vnLines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
    {
        if (line.compare(0, 2, "v ") == 0)
            vLines.push_back(line);
        else if (line.compare(0, 3, "vt ") == 0)
            vtLines.push_back(line);
        else if (line.compare(0, 3, "vn ") == 0)
            vnLines.push_back(line);
    }
    ASSERT_EQ(vLines.size(), static_cast<size_t>(kCount));
    ASSERT_EQ(vtLines.size(), static_cast<size_t>(kCount));
    ASSERT_EQ(vnLines.size(), static_cast<size_t>(kCount));
    auto fixed = [](double value) {
        char buffer[400];
        std::snprintf(buffer, sizeof buffer, "%f", value);
        return std::string(buffer);
    };
    for (int i = 0; i < kCount; ++i)
    {
        const KQoxVector4 p = Vertex(i);
        EXPECT_EQ(vLines[static_cast<size_t>(i)], "v " + fixed(p[0]) + " " + fixed(p[1]) + " " + fixed(p[2]));
        EXPECT_EQ(vtLines[static_cast<size_t>(i)], "vt " + fixed(p[0]) + " " + fixed(p[1]));
        EXPECT_EQ(vnLines[static_cast<size_t>(i)], kNormals[i].line);
    }
    EXPECT_NE(text.find(" inf "), std::string::npos);
    EXPECT_NE(text.find(" -inf"), std::string::npos);
    EXPECT_NE(text.find(" nan"), std::string::npos);

    Imported r(path);
    ASSERT_NE(r.mesh, nullptr);
    ASSERT_EQ(r.mesh->GetControlPointsCount(), kCount);
    ASSERT_EQ(r.mesh->GetTextureUVCount(), kCount);
    for (int i = 0; i < kCount; ++i)
    {
        const KQoxVector4 p = Vertex(i);
        for (int k = 0; k < 3; ++k)
            EXPECT_TRUE(Kept(p[k], r.mesh->GetControlPoints()[i][k], true))
                << "vertex " << i << " coordinate " << k << ": " << Show(p[k]) << " read back as "
                << Show(r.mesh->GetControlPoints()[i][k]);
        for (int k = 0; k < 2; ++k)
            EXPECT_TRUE(Kept(p[k], r.mesh->GetTextureUV()[i][k], true))
                << "UV " << i << " component " << k << ": " << Show(p[k]) << " read back as "
                << Show(r.mesh->GetTextureUV()[i][k]);
    }
}

TEST(WritersKeepEveryValue, DxfVertices)
{
    TempDir dir;
    const std::string path = dir.File("values.dxf");
    ValueScene s(false);
    ASSERT_TRUE(s.Export(path, eEXPORT_DXF));

    // The VERTEX records of the points come first, each with X, -Z and Y;
    // every one reads back as the very double (non-finite ones as "inf",
    // "-inf", "nan" or "-nan").
    const std::string text = ReadFile(path);
    const std::vector<std::string> xs = LinesAfter(text, " 10"), ys = LinesAfter(text, " 20"),
                                   zs = LinesAfter(text, " 30");
    // Header (3), the polyline (1), then the points.
    ASSERT_GE(xs.size(), static_cast<size_t>(4 + kCount));
    for (int i = 0; i < kCount; ++i)
    {
        const KQoxVector4 p = Vertex(i);
        const std::string written[3] = {xs[static_cast<size_t>(4 + i)], ys[static_cast<size_t>(4 + i)],
                                        zs[static_cast<size_t>(4 + i)]};
        const double expected[3] = {p[0], -p[2], p[1]};
        for (int k = 0; k < 3; ++k)
        {
            const std::string& t = written[k];
            if (std::isnan(expected[k]))
                EXPECT_TRUE(t == "nan" || t == "-nan") << t;
            else if (std::isinf(expected[k]))
                EXPECT_EQ(t, expected[k] > 0 ? "inf" : "-inf");
            else
                EXPECT_TRUE(Kept(expected[k], std::strtod(t.c_str(), nullptr), false))
                    << "vertex " << i << " code " << (k + 1) * 10 << ": " << t;
        }
    }

    Imported r(path);
    ASSERT_NE(r.mesh, nullptr);
    ASSERT_EQ(r.mesh->GetControlPointsCount(), kCount);
    for (int i = 0; i < kCount; ++i)
    {
        const KQoxVector4 p = Vertex(i);
        for (int k = 0; k < 3; ++k)
            EXPECT_TRUE(Kept(p[k], r.mesh->GetControlPoints()[i][k], false))
                << "vertex " << i << " coordinate " << k << ": " << Show(p[k]) << " read back as "
                << Show(r.mesh->GetControlPoints()[i][k]);
    }
}
