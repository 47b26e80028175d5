// The example scene converted as examples/convert converts it (importer, then
// exporter with its default options): the skinned body and the floor stand in
// the OBJ and DXF files where the scene builds them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::ReadFile;
using qoxtest::TempDir;

namespace {

// The corners of the box around some points, in the scene's axes.
struct Bounds
{
    double low[3] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                     std::numeric_limits<double>::max()};
    double high[3] = {std::numeric_limits<double>::lowest(), std::numeric_limits<double>::lowest(),
                      std::numeric_limits<double>::lowest()};
    int points = 0;

    void Add(double x, double y, double z)
    {
        const double p[3] = {x, y, z};
        for (int a = 0; a < 3; ++a)
        {
            low[a] = std::min(low[a], p[a]);
            high[a] = std::max(high[a], p[a]);
        }
        ++points;
    }
};

// The example file copied into dir (its reading extracts the texture beside
// it) and converted to name in the format; the converted file's text, and in
// said (when given) what the read and the save said.
std::string Convert(const TempDir& dir, const std::string& name, int format, std::string* said = nullptr)
{
    bool ok = false;
    const std::string input = dir.File("example.qox"), output = dir.File(name);
    EXPECT_TRUE(qoxtest::WriteFile(input, ReadFile(QOX_EXAMPLES "/scene/example.qox", &ok)));
    EXPECT_TRUE(ok);
    KQoxRegisterGeometryFormats();
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxImporter& importer = *manager->CreateKQoxImporter();
    EXPECT_TRUE(importer.Initialize(input.c_str())) << importer.GetLastErrorString();
    EXPECT_TRUE(importer.Import(scene)) << importer.GetLastErrorString();
    KQoxExporter& exporter = *manager->CreateKQoxExporter();
    EXPECT_TRUE(exporter.Initialize(output.c_str()));
    EXPECT_TRUE(exporter.SetFileFormat(format));
    std::unique_ptr<KStreamOptions> options(exporter.GetExportOptions());
    EXPECT_TRUE(exporter.Export(scene, options.get())) << exporter.GetLastErrorString();
    KString read, saved;
    importer.GetMessage(read);
    exporter.GetMessage(saved);
    if (said)
        *said = std::string(read.ToChars()) + saved.ToChars();
    return ReadFile(output);
}

// Each group's "v" lines, by the group's name.
std::map<std::string, Bounds> ObjBounds(const std::string& text)
{
    std::map<std::string, Bounds> out;
    std::string group;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
    {
        std::istringstream words(line);
        std::string tag;
        words >> tag;
        if (tag == "g")
            words >> group;
        double x = 0, y = 0, z = 0;
        if (tag == "v" && words >> x >> y >> z)
            out[group].Add(x, y, z);
    }
    return out;
}

// Each layer's polyface points (VERTEX records with flags 192), by the
// layer's name, turned back from the file's axes (X, -Z, Y) to the scene's.
std::map<std::string, Bounds> DxfBounds(const std::string& text)
{
    std::map<std::string, Bounds> out;
    std::istringstream lines(text);
    std::string code, value, entity, layer;
    double at[3] = {0, 0, 0};
    int flags = 0;
    auto finish = [&]() {
        if (entity == "VERTEX" && flags == 192)
            out[layer].Add(at[0], at[2], -at[1]);
    };
    while (std::getline(lines, code) && std::getline(lines, value))
    {
        const int group = std::atoi(code.c_str());
        if (group == 0)
        {
            finish();
            entity = value;
            layer.clear();
            flags = 0;
        }
        else if (group == 8)
            layer = value;
        else if (group == 10 || group == 20 || group == 30)
            at[group / 10 - 1] = std::atof(value.c_str());
        else if (group == 70)
            flags = std::atoi(value.c_str());
    }
    finish();
    return out;
}

} // namespace

// The body is a cube of side 2 from y 0 to 2, bound to the spine (at y 1)
// and the head (at y 2) as it stands, so evaluating its skin moves nothing;
// the floor is a square of side 10 at y 0.
TEST(ExampleExport, BodyAndFloorStandWhereTheSceneBuildsThem)
{
    struct Want
    {
        const char* node;
        int points;
        double low[3], high[3];
    };
    const Want wanted[] = {{"Body", 8, {-1, 0, -1}, {1, 2, 1}}, {"Floor", 4, {-5, 0, -5}, {5, 0, 5}}};
    const struct
    {
        const char* name;
        int format;
        std::map<std::string, Bounds> (*bounds)(const std::string&);
    } forms[] = {{"example.obj", eEXPORT_OBJ, ObjBounds}, {"example.dxf", eEXPORT_DXF, DxfBounds}};
    for (const auto& form : forms)
    {
        TempDir dir;
        const std::string text = Convert(dir, form.name, form.format);
        ASSERT_FALSE(text.empty()) << form.name;
        const std::map<std::string, Bounds> found = form.bounds(text);
        for (const Want& want : wanted)
        {
            SCOPED_TRACE(std::string(form.name) + " " + want.node);
            const auto it = found.find(want.node);
            ASSERT_NE(it, found.end());
            EXPECT_EQ(it->second.points, want.points);
            for (int a = 0; a < 3; ++a)
            {
                EXPECT_NEAR(it->second.low[a], want.low[a], 1e-9) << "axis " << a;
                EXPECT_NEAR(it->second.high[a], want.high[a], 1e-9) << "axis " << a;
            }
        }
    }
}

// The example carries its image: each conversion finds it, says nothing is
// missing, and a copying form copies it.
TEST(ExampleExport, ConversionsFindTheExamplesImage)
{
    const struct
    {
        const char* mName;
        int mFormat;
        bool mCopies;
    } forms[] = {{"example.obj", eEXPORT_OBJ, true},
                 {"example.3ds", eEXPORT_3DS, true},
                 {"example.dxf", eEXPORT_DXF, false},
                 {"converted.qox", eEXPORT_QOX_BINARY, false}};
    for (const auto& form : forms)
    {
        SCOPED_TRACE(form.mName);
        TempDir dir;
        std::string said = "(none)";
        EXPECT_FALSE(Convert(dir, form.mName, form.mFormat, &said).empty());
        EXPECT_EQ(said, "");
        const std::string image = ReadFile(dir.File("example.qox.media/checker.tif"));
        EXPECT_EQ(image.substr(0, 4), std::string("II*\0", 4));
        if (form.mCopies)
        {
            EXPECT_EQ(ReadFile(dir.File("checker.tif")), image);
        }
    }
}
