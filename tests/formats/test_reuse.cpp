// Readers and writers used for several files in a row: after a file that
// went well, one that failed and a manager cleared, each file comes out (as
// bytes, or as a scene) exactly as from a new reader or writer.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "fileio/kqoxreaderqox.h"
#include "fileio/writers/kqoxwriterqox6.h"
#include "fileio_test_util.h"
#include "formats/3ds/kqoxreader3ds.h"
#include "formats/3ds/kqoxwriter3ds.h"
#include "formats/dxf/kqoxreaderdxf.h"
#include "formats/dxf/kqoxwriterdxf.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "formats/obj/kqoxwriterobj.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "dxf_test_util.h"

using namespace qoxsdk_600;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

// Scene 0: a mesh with two materials by polygon and a plain mesh; scene 1:
// one plain mesh elsewhere; scene 2: every kind of object (cameras, lights,
// takes, a character...). Names and numbers differ between them.
void BuildScene(KQoxSdkManager& manager, KQoxScene& scene, int which)
{
    if (which == 2)
    {
        fileiotest::BuildScene(manager, scene, "");
        fileiotest::AddEveryKind(manager, scene, true);
        return;
    }
    auto add = [&](const char* name, double offset, int polygons) {
        KQoxNode* node = manager.CreateKQoxNode(name);
        KQoxMesh* mesh = manager.CreateKQoxMesh();
        mesh->InitControlPoints(polygons + 2);
        for (int i = 0; i < polygons + 2; ++i)
            mesh->GetControlPoints()[i] = KQoxVector4(offset + i, (i % 2) * 2.5, -0.5 * i, 1);
        node->SetNodeAttribute(mesh);
        node->SetDefaultT(KQoxVector4(offset, 1, 2));
        scene.GetRootNode()->AddChild(node);
        return mesh;
    };
    if (which == 0)
    {
        KQoxMesh* mesh = add("Wall", 0, 3);
        KQoxMaterial* red = manager.CreateKQoxMaterial("Red");
        red->SetDiffuse(KQoxColor(1, 0, 0));
        KQoxMaterial* blue = manager.CreateKQoxMaterial("Blue");
        blue->SetDiffuse(KQoxColor(0, 0, 1));
        mesh->AM(red, 0);
        mesh->AM(blue, 0);
        mesh->InitMaterialIndices(KQoxLayerElement::eBY_POLYGON);
        for (int p = 0; p < 3; ++p)
        {
            mesh->BeginPolygon(p % 2);
            for (int v = 0; v < 3; ++v)
                mesh->AddPolygon(p + v);
            mesh->EndPolygon();
        }
        KQoxMesh* plain = add("Plain", 10, 1);
        plain->BeginPolygon();
        for (int v = 0; v < 3; ++v)
            plain->AddPolygon(v);
        plain->EndPolygon();
    }
    else
    {
        KQoxMesh* mesh = add("Floor", -4, 2);
        for (int p = 0; p < 2; ++p)
        {
            mesh->BeginPolygon();
            for (int v = 0; v < 3; ++v)
                mesh->AddPolygon(p + v);
            mesh->EndPolygon();
        }
    }
}

using MakeWriter = std::function<std::unique_ptr<KQoxWriter>(KQoxSdkManager&)>;
using MakeReader = std::function<std::unique_ptr<KQoxReader>(KQoxSdkManager&)>;

// Writes scene with writer into dir/name (its options the writer's
// defaults); the bytes of every file named in names, joined, or "failed".
std::string WriteWith(KQoxWriter& writer, KQoxScene& scene, const std::string& dir, const std::string& name,
                      const std::vector<std::string>& names)
{
    mkdir(dir.c_str(), 0755);
    std::unique_ptr<KStreamOptions> options(writer.GetWriteOptions());
    if (!writer.FileCreate((dir + "/" + name).c_str()))
        return "failed";
    const bool written = writer.Write(scene, options.get());
    if (!writer.FileClose() || !written)
        return "failed";
    std::string all;
    for (const std::string& file : names)
        all += "[" + file + "]\n" + ReadFile(dir + "/" + file);
    return all;
}

// Rounds of: scenes 2, 0, 1 and 0, each followed by a file that cannot be
// made and one that cannot be written, then the manager cleared; each file written by the one writer equals a new
// writer's.
void ExpectWriterReuse(const MakeWriter& make, const std::string& name, const std::vector<std::string>& names)
{
    TempDir dir;
    WriteFile(dir.File("blocker"), "a file, not a directory");
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    std::unique_ptr<KQoxWriter> reused = make(*manager);
    FILE* probe = std::fopen("/dev/full", "wb");
    const bool full = probe != nullptr;
    if (probe)
        std::fclose(probe);
    int file = 0;
    for (int round = 0; round < 3; ++round)
    {
        for (int which : {2, 0, 1, 0})
        {
            SCOPED_TRACE("round " + std::to_string(round) + " scene " + std::to_string(which));
            KQoxScene& scene = *manager->CreateKQoxScene();
            BuildScene(*manager, scene, which);
            std::unique_ptr<KQoxWriter> fresh = make(*manager);
            const std::string expected = WriteWith(*fresh, scene, dir.File("fresh" + std::to_string(file)), name, names);
            ASSERT_NE(expected, "failed");
            EXPECT_EQ(WriteWith(*reused, scene, dir.File("reused" + std::to_string(file)), name, names), expected);
            ++file;
            EXPECT_EQ(WriteWith(*reused, scene, dir.File("blocker"), name, names), "failed");
            if (full)
            {
                // Written where every byte fails (a scene without materials,
                // so that no library goes beside it).
                KQoxScene& plain = *manager->CreateKQoxScene();
                BuildScene(*manager, plain, 1);
                EXPECT_EQ(WriteWith(*reused, plain, "/dev", "full", {}), "failed");
            }
        }
        manager->Clear();
    }
}

// Every node under the scene's root as text; with unnumbered, the numbers
// the reader's renaming appends to names (node and material names stay
// unique across the reads of one reader) are left out.
std::string Listing(KQoxSdkManager& manager, KQoxScene& scene, bool unnumbered)
{
    const std::string text = fileiotest::ListScene(manager, scene);
    return unnumbered ? std::regex_replace(text, std::regex("([A-Za-z_])[0-9]+"), "$1") : text;
}

// Reads dir/file into a new scene; the listing, or "failed".
std::string ReadWith(KQoxReader& reader, KQoxSdkManager& manager, const std::string& path, KStreamOptions* options,
                     bool unnumbered)
{
    KQoxScene& scene = *manager.CreateKQoxScene();
    if (!reader.FileOpen(path.c_str()))
        return "not opened";
    const bool read = reader.Read(scene, options);
    reader.FileClose();
    return read ? Listing(manager, scene, unnumbered) : "failed";
}

// Rounds over the files, the manager cleared after each: the one reader
// reads each as a new reader does (a file that fails included). The new
// readers read into a manager of their own that goes through the same reads,
// so that names the manager's objects decide come out alike.
void ExpectReaderReuse(const MakeReader& make, const std::vector<std::string>& files,
                       const std::function<void(KStreamOptions&)>& setOptions, bool unnumbered)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    std::unique_ptr<KQoxSdkManager> other(KQoxSdkManager::CreateKQoxSdkManager());
    std::unique_ptr<KQoxReader> reused = make(*manager);
    for (int round = 0; round < 3; ++round)
    {
        for (const std::string& file : files)
        {
            SCOPED_TRACE("round " + std::to_string(round) + " " + file);
            std::unique_ptr<KQoxReader> fresh = make(*other);
            std::unique_ptr<KStreamOptions> options(fresh->GetReadOptions(false));
            setOptions(*options);
            const std::string expected = ReadWith(*fresh, *other, file, options.get(), unnumbered);
            EXPECT_EQ(ReadWith(*reused, *manager, file, options.get(), unnumbered), expected);
        }
        manager->Clear();
        other->Clear();
    }
}

// The files of scenes 2, 0 and 1 written by a new writer of the kind, and
// the first halves of the first two.
std::vector<std::string> WrittenFiles(const MakeWriter& make, const TempDir& dir, const std::string& extension)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    std::vector<std::string> files;
    for (int which : {2, 0, 1})
    {
        KQoxScene& scene = *manager->CreateKQoxScene();
        BuildScene(*manager, scene, which);
        const std::string name = "scene" + std::to_string(which) + extension;
        EXPECT_NE(WriteWith(*make(*manager), scene, dir.Path(), name, {}), "failed");
        files.push_back(dir.File(name));
    }
    for (int i = 0; i < 2; ++i)
    {
        const std::string whole = ReadFile(files[i]);
        WriteFile(dir.File("half" + std::to_string(i) + extension), whole.substr(0, whole.size() / 2));
    }
    // Each whole file after one cut, and before.
    return {files[0], dir.File("half0" + extension), files[1], dir.File("half1" + extension), files[2], files[1]};
}

using dxftest::Dxf;

} // namespace

TEST(Reuse, ObjWriterWritesEachFileAsANewWriterWould)
{
    // The one writer numbered the vertices of a file on from those of the
    // files before, named its materials "Red1", "default1" and so on, and
    // kept a library for a scene without materials once one had one.
    ExpectWriterReuse([](KQoxSdkManager& m) { return std::make_unique<KQoxWriterObj>(m); }, "x.obj",
                      {"x.obj", "x.mtl"});
}

TEST(Reuse, DxfWriterWritesEachFileAsANewWriterWould)
{
    ExpectWriterReuse([](KQoxSdkManager& m) { return std::make_unique<KQoxWriterDxf>(m); }, "x.dxf", {"x.dxf"});
}

TEST(Reuse, ThreeDsWriterWritesEachFileAsANewWriterWould)
{
    ExpectWriterReuse([](KQoxSdkManager& m) { return std::make_unique<KQoxWriter3DS>(m); }, "x.3ds", {"x.3ds"});
}

TEST(Reuse, NativeWritersWriteEachFileAsANewWriterWould)
{
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
    {
        SCOPED_TRACE(form);
        ExpectWriterReuse([form](KQoxSdkManager& m) { return std::make_unique<KQoxWriterQox6>(m, form); }, "x.qox",
                          {"x.qox"});
    }
}

TEST(Reuse, ThreeDsReaderReadsEachFileAsANewReaderWould)
{
    TempDir dir;
    const MakeWriter writer = [](KQoxSdkManager& m) { return std::make_unique<KQoxWriter3DS>(m); };
    ExpectReaderReuse([](KQoxSdkManager& m) { return std::make_unique<KQoxReader3DS>(m); },
                      WrittenFiles(writer, dir, ".3ds"), [](KStreamOptions&) {}, false);
}

TEST(Reuse, ThreeDsWritesLeaveOtherOpenFilesOpen)
{
    // A 3DS write, done or failed, closed every file the toolkit had open
    // on the thread: a reader's file opened before it, or another writer's,
    // was then used after it was freed.
    TempDir dir;
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    BuildScene(*manager, scene, 2);
    KQoxWriter3DS first(*manager);
    ASSERT_NE(WriteWith(first, scene, dir.Path(), "a.3ds", {}), "failed");
    FILE* probe = std::fopen("/dev/full", "wb");
    if (probe)
        std::fclose(probe);
    KQoxReader3DS reader(*manager);
    ASSERT_TRUE(reader.FileOpen(dir.File("a.3ds").c_str()));
    ASSERT_TRUE(first.FileCreate(dir.File("b.3ds").c_str()));
    KQoxWriter3DS other(*manager);
    EXPECT_NE(WriteWith(other, scene, dir.Path(), "c.3ds", {}), "failed");
    if (probe)
    {
        EXPECT_EQ(WriteWith(other, scene, "/dev", "full", {}), "failed");
    }

    std::unique_ptr<KStreamOptions> options(first.GetWriteOptions());
    EXPECT_TRUE(first.Write(scene, options.get()));
    EXPECT_TRUE(first.FileClose());
    EXPECT_EQ(ReadFile(dir.File("b.3ds")), ReadFile(dir.File("a.3ds")));
    KQoxScene& read = *manager->CreateKQoxScene();
    std::unique_ptr<KStreamOptions> readOptions(reader.GetReadOptions(false));
    ASSERT_TRUE(reader.Read(read, readOptions.get()));
    // As read with no write between, by a manager holding the same.
    std::unique_ptr<KQoxSdkManager> alike(KQoxSdkManager::CreateKQoxSdkManager());
    BuildScene(*alike, *alike->CreateKQoxScene(), 2);
    KQoxReader3DS fresh(*alike);
    EXPECT_EQ(ReadWith(fresh, *alike, dir.File("a.3ds"), readOptions.get(), false), Listing(*manager, read, false));
}

TEST(Reuse, NativeReaderReadsEachFileAsANewReaderWould)
{
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
    {
        SCOPED_TRACE(form);
        TempDir dir;
        const MakeWriter writer = [form](KQoxSdkManager& m) { return std::make_unique<KQoxWriterQox6>(m, form); };
        const std::vector<std::string> files = WrittenFiles(writer, dir, ".qox");
        ExpectReaderReuse([](KQoxSdkManager& m) { return std::make_unique<KQoxReaderQox>(m); }, files,
                          [](KStreamOptions&) {}, false);
        // The takes are the open file's (scene 2 has two): a file that does
        // not open has none.
        WriteFile(dir.File("junk.qox"), std::string(300, '\x7f'));
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxReaderQox reused(*manager);
        ASSERT_TRUE(reused.FileOpen(files[0].c_str()));
        EXPECT_GT(reused.GetTakeCount(), 0);
        EXPECT_FALSE(reused.FileOpen(dir.File("junk.qox").c_str()));
        KQoxReaderQox fresh(*manager);
        EXPECT_FALSE(fresh.FileOpen(dir.File("junk.qox").c_str()));
        EXPECT_EQ(reused.GetTakeCount(), fresh.GetTakeCount());
        EXPECT_STREQ(reused.GetCurrentTakeName(), fresh.GetCurrentTakeName());
        EXPECT_EQ(reused.GetError().GetLastErrorID(), fresh.GetError().GetLastErrorID());
    }
}

TEST(Reuse, DxfReaderReadsEachFileAsANewReaderWould)
{
    // The one reader took a layer's colour from the table of a file before
    // (the first of a name won), looked for blocks where the blocks of a file
    // before began, and gave meshes the colour materials of a read before,
    // which the manager may have destroyed since.
    TempDir dir;
    const std::string face = "0 3DFACE|8 Walls|10 0|20 0|30 0|11 1|21 0|31 0|12 1|22 1|32 0|13 0|23 1|33 0|";
    const std::string padding = "999 " + std::string(400, 'x') + "|";
    // Red walls, a door block before the entities, far into the file.
    const std::string first =
        Dxf("0 SECTION|2 TABLES|0 TABLE|2 LAYER|0 LAYER|2 Walls|62 1|0 ENDTAB|0 ENDSEC|" + padding + padding +
            "0 SECTION|2 BLOCKS|0 BLOCK|2 Door|10 0|20 0|30 0|" + face + "0 ENDBLK|0 ENDSEC|0 SECTION|2 ENTITIES|" +
            face + "0 INSERT|2 Door|10 5|0 ENDSEC|0 EOF");
    // Blue walls, a door block of its own after the entities.
    const std::string second =
        Dxf("0 SECTION|2 TABLES|0 TABLE|2 LAYER|0 LAYER|2 Walls|62 5|0 ENDTAB|0 ENDSEC|0 SECTION|2 ENTITIES|" + face +
            "0 INSERT|2 Door|10 7|0 LINE|8 Walls|62 3|10 0|11 2|0 ENDSEC|0 SECTION|2 BLOCKS|0 BLOCK|2 Door|10 1|20 "
            "1|30 0|" +
            face + "0 LINE|8 Walls|10 0|11 1|0 ENDBLK|0 ENDSEC|0 EOF");
    // Layers of its own, no table: the default colour.
    const std::string third = Dxf("0 SECTION|2 ENTITIES|" + face + "0 ENDSEC|0 EOF");
    WriteFile(dir.File("first.dxf"), first);
    WriteFile(dir.File("second.dxf"), second);
    WriteFile(dir.File("third.dxf"), third);
    // Cut inside the block: the read fails.
    WriteFile(dir.File("cut.dxf"), first.substr(0, first.find("ENDBLK")));
    const std::vector<std::string> files = {dir.File("first.dxf"), dir.File("second.dxf"), dir.File("cut.dxf"),
                                            dir.File("third.dxf"), dir.File("second.dxf")};
    // Option 6: 0 by layer, 1 by block, 2 by entity.
    for (int derivation : {0, 1, 2})
    {
        SCOPED_TRACE(derivation);
        ExpectReaderReuse([](KQoxSdkManager& m) { return std::make_unique<KQoxReaderDxf>(m); }, files,
                          [derivation](KStreamOptions& options) {
                              static_cast<KStreamOptionsDxf&>(options).SetOption(KStreamOptionsDxf::eOBJECT_DERIVATION, derivation);
                          },
                          true);
    }
}
