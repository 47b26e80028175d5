// Option sets of the geometry formats, the 3DS renaming, and the format
// registration.

#include <gtest/gtest.h>

#include <memory>

#include "fileio/kqoxio.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

TEST(GeometryOptions, NumbersNamesAndDefaults)
{
    KStreamOptionsObj obj;
    std::unique_ptr<KStreamOptions3ds> tds(KStreamOptions3dsCreate());
    struct
    {
        KStreamOptionsBase* set;
        int option;
        const char* name;
        int value;
    } cases[] = {
        {&obj, 1, "Create Reference Node", 1},
        {&obj, 2, "Force Triangulation", 0},
        {&obj, 3, "Evaluate Link/Shape deformations", 1},
        {&obj, 4, "", 0},
        {tds.get(), 1, "Create Reference Node", 0},
        {tds.get(), 7, "Materials", 1},
        {tds.get(), 8, "Texture Mapping", 1},
        {tds.get(), 13, "Ambient Light", 1},
        {tds.get(), 14, "Rescale", 1},
        {tds.get(), 15, "Reduce Keys", 0},
        {tds.get(), 17, "UV per polygon", 1},
        {tds.get(), 0, "", 0},
        {tds.get(), 18, "", 0},
        {tds.get(), -1, "", 0},
    };
    for (auto& c : cases)
    {
        EXPECT_EQ(c.set->GetOption(c.option), c.value) << c.option;
        EXPECT_STREQ(c.set->GetOptionName(c.option), c.name) << c.option;
    }
    EXPECT_EQ(tds->GetOptionGroup(8), 7);
    EXPECT_FALSE(obj.SetOption(18, 1));
    obj.SetOption(2, 1);
    obj.SetTakeName("Take 001");
    EXPECT_STREQ(obj.GetTakeName(), "Take 001");
    obj.Reset();
    EXPECT_EQ(obj.GetOption(2), 0);
    EXPECT_STREQ(obj.GetTakeName(), "");
    // Class tests: each set is itself, its bases, and not the other format.
    EXPECT_TRUE(obj.Is(KStreamOptionsObj::ClassId));
    EXPECT_TRUE(obj.Is(KStreamOptionsBase::ClassId));
    EXPECT_TRUE(obj.Is(KStreamOptions::ClassId));
    EXPECT_FALSE(obj.Is(KStreamOptions3ds::ClassId));
    EXPECT_FALSE(tds->Is(KStreamOptionsObj::ClassId));
}

TEST(GeometryOptions, RenamingToThreeDsLengths)
{
    KRenamingStrategy3DS strategy;
    struct
    {
        const char* in;
        int length;
        const char* out;
        bool renamed;
    } cases[] = {
        {"Model::Box", 10, "Box", false},
        {"Box", 10, "Box1", true},
        {"Model::Box", 10, "Box2", true},
        {"VeryLongNodeName", 10, "VeryLon", false},
        {"VeryLongNodeNameToo", 10, "VeryLon1", true},
        {"A::B::C", 10, "B::C", false},
        {"Material::Brick Wall Long", 15, "Brick Wall L", false},
        {"", 10, "", false},
    };
    for (auto& c : cases)
    {
        KName name(c.in);
        EXPECT_EQ(strategy.Rename(name, c.length), c.renamed) << c.in;
        EXPECT_STREQ(name.GetCurrentName(), c.out) << c.in;
    }
}

TEST(GeometryOptions, ObjIsRegisteredWithTheImporterAndExporter)
{
    KQoxRegisterGeometryFormats();
    KQoxRegisterGeometryFormats();
    EXPECT_STREQ(KQoxIORegistry::GetReaderDescription(eIMPORT_OBJ), "Dunel OBJ (*.obj)");
    EXPECT_EQ(KQoxIORegistry::FindReaderByExtension("/a/b/Scene.OBJ"), static_cast<int>(eIMPORT_OBJ));
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    std::unique_ptr<KQoxReader> reader(KQoxIORegistry::CreateReader(eIMPORT_OBJ, *manager));
    std::unique_ptr<KQoxWriter> writer(KQoxIORegistry::CreateWriter(eEXPORT_OBJ, *manager));
    EXPECT_NE(reader, nullptr);
    EXPECT_NE(writer, nullptr);
}
