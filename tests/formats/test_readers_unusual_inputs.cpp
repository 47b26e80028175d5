// The OBJ, DXF and 3DS paths given what is not a plain scene file: a
// directory under a scene file's name, material libraries that are devices,
// FIFOs, directories or binary files without line breaks, and DXF nesting
// 100,000 levels deep, read and written. Every reader, the native one too,
// given what it cannot read: missing, unreadable and folder names, empty
// files, images and each other format's files, each refused with its cause.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <fcntl.h>
#include <memory>
#include <sys/wait.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "base/kfile.h"
#include "base/kfile_private.h"
#include "common/qox_test_common.h"
#include "common/qox_test_files.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/3ds/kqoxreader3ds.h"
#include "formats/3ds/kqoxwriter3ds.h"
#include "formats/dxf/kqoxreaderdxf.h"
#include "formats/dxf/kqoxwriterdxf.h"
#include "formats/kqoxgeometryformats.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "formats/obj/kqoxreaderobj.h"
#include "obj_test_util.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "dxf_test_util.h"

using namespace qoxsdk_600;
using qoxtest::CutWhenMapped;
using qoxtest::FifoFeeder;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::UnprivilegedChildText;
using qoxtest::WriteFile;

namespace {

constexpr int kDepth = 100000;

using dxftest::Dxf;

// Blocks B0 to B(depth) where each inserts the next (1 unit along x) and the
// last holds a line; the entities, before the blocks, insert B0.
std::string NestedBlocks(int depth)
{
    std::string items = "0 SECTION|2 ENTITIES|0 INSERT|2 B0|0 ENDSEC|0 SECTION|2 BLOCKS";
    for (int i = 0; i < depth; ++i)
        items += "|0 BLOCK|2 B" + std::to_string(i) + "|0 INSERT|2 B" + std::to_string(i + 1) + "|10 1|0 ENDBLK";
    items += "|0 BLOCK|2 B" + std::to_string(depth) + "|0 LINE|11 1|0 ENDBLK|0 ENDSEC|0 EOF";
    return Dxf(items);
}

bool ReadDxf(KQoxSdkManager& manager, KQoxScene& scene, const std::string& path, int derivation)
{
    KQoxReaderDxf reader(manager);
    if (!reader.FileOpen(path.c_str()))
        return false;
    KStreamOptionsDxf options;
    options.SetOption(KStreamOptionsDxf::eCREATE_REFERENCE_NODE, 0);
    options.SetOption(KStreamOptionsDxf::eOBJECT_DERIVATION, derivation);
    return reader.Read(scene, &options);
}

// Follows first children from node while their names are prefix0, prefix1,
// ...; gives how many were passed and the last node.
int ChainDepth(KQoxNode* node, const std::string& prefix, KQoxNode*& last)
{
    int depth = 0;
    last = node;
    while (last && last->GetChildCount(false) == 1 &&
           std::string(last->GetChild(0)->GetNameWithoutNameSpacePrefix().ToChars()) == prefix + std::to_string(depth))
    {
        last = last->GetChild(0);
        ++depth;
    }
    return depth;
}

// While alive, streams are read to at most the given bytes.
class StreamBound
{
public:
    explicit StreamBound(size_t most) { SetStreamMostBytesForTests(most); }
    ~StreamBound() { SetStreamMostBytesForTests(0); }
    StreamBound(const StreamBound&) = delete;
    StreamBound& operator=(const StreamBound&) = delete;
};

struct StreamFormat
{
    const char* mExtension;
    int mExport;
};
const StreamFormat kStreamFormats[] = {
    {"qox", eEXPORT_QOX_BINARY}, {"obj", eEXPORT_OBJ}, {"dxf", eEXPORT_DXF}, {"3ds", eEXPORT_3DS}};

// A file of one triangle in the format, as the exporter writes it.
std::string TriangleFile(const TempDir& dir, const StreamFormat& format)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxNode* node = manager->CreateKQoxNode("Tri");
    KQoxMesh* mesh = manager->CreateKQoxMesh();
    node->SetNodeAttribute(mesh);
    mesh->InitControlPoints(3);
    for (int i = 0; i < 3; ++i)
        mesh->GetControlPoints()[i] = KQoxVector4(i == 1, i == 2, 0, 1);
    mesh->BeginPolygon();
    for (int c = 0; c < 3; ++c)
        mesh->AddPolygon(c);
    mesh->EndPolygon();
    scene.GetRootNode()->AddChild(node);
    const std::string path = dir.File(std::string("tri.") + format.mExtension);
    KQoxExporter exporter(*manager);
    EXPECT_TRUE(exporter.Initialize(path.c_str()) && exporter.SetFileFormat(format.mExport));
    std::unique_ptr<KStreamOptions> options(format.mExport >= eEXPORT_DXF ? exporter.GetExportOptions() : nullptr);
    EXPECT_TRUE(exporter.Export(scene, options.get())) << format.mExtension << ": " << exporter.GetLastErrorString();
    return ReadFile(path);
}

// Opens and reads path through the importer; the error text on failure
// (with its id in id), "" on success, and the count of nodes read.
std::string Import(const std::string& path, int& id, int& nodes)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxImporter importer(*manager);
    std::unique_ptr<KStreamOptions> options;
    bool ok = importer.Initialize(path.c_str());
    if (ok && importer.GetFileFormat() >= eIMPORT_DXF)
    {
        options.reset(importer.GetImportOptions(KQoxImporter::eSTREAMOPTIONS_FAST));
        ok = options != nullptr;
    }
    ok = ok && importer.Import(scene, options.get());
    id = importer.GetLastErrorID();
    std::function<int(KQoxNode*)> count = [&](KQoxNode* node) {
        int n = 1;
        for (int i = 0; i < node->GetChildCount(false); ++i)
            n += count(node->GetChild(i));
        return n;
    };
    nodes = count(scene.GetRootNode()) - 1;
    return ok ? std::string() : std::string(importer.GetLastErrorString());
}

} // namespace

TEST(UnusualInputs, DirectoriesNamedAsSceneFilesAreNotOpened)
{
    KQoxRegisterGeometryFormats();
    TempDir dir;
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    for (const char* name : {"x.dxf", "x.obj", "x.3ds"})
    {
        const std::string path = dir.File(name);
        ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
        KQoxImporter importer(*manager);
        EXPECT_FALSE(importer.Initialize(path.c_str())) << name;
        EXPECT_EQ(importer.GetLastErrorID(), KQoxIO::eFILE_NOT_OPENED) << name;
        EXPECT_STREQ(importer.GetLastErrorString(), "File not opened: it is a directory") << name;
    }
    // The readers themselves, as a caller of the reader alone meets them.
    KQoxReaderDxf dxf(*manager);
    EXPECT_FALSE(dxf.FileOpen(dir.File("x.dxf").c_str()));
    EXPECT_EQ(dxf.GetError().GetLastErrorID(), KQoxReader::eFILE_NOT_OPENED);
    EXPECT_FALSE(dxf.IsFileOpen());
    KQoxReaderObj obj(*manager);
    EXPECT_FALSE(obj.FileOpen(dir.File("x.obj").c_str()));
    EXPECT_EQ(obj.GetError().GetLastErrorID(), KQoxReader::eFILE_NOT_OPENED);
}

TEST(UnusualInputs, DxfFromAFifoStillReads)
{
    // A stream has no size to read by: it is read to its end all the same.
    TempDir dir;
    const std::string path = dir.File("pipe.dxf");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const std::string text = Dxf("0 SECTION|2 ENTITIES|0 LINE|8 Wire|10 0|11 1|0 ENDSEC|0 EOF");
    std::thread writer([&] { WriteFile(path, text); });
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    EXPECT_TRUE(ReadDxf(*manager, scene, path, KStreamOptionsDxf::eBY_LAYER));
    writer.join();
    ASSERT_EQ(scene.GetRootNode()->GetChildCount(false), 1);
    EXPECT_STREQ(scene.GetRootNode()->GetChild(0)->GetNameWithoutNameSpacePrefix().ToChars(), "Wire");
}

TEST(UnusualInputs, MaterialLibrariesAreReadOnlyFromRegularFilesWithBoundedLines)
{
    TempDir dir;
    ASSERT_EQ(mkdir(dir.File("folder.mtl").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(dir.File("pipe.mtl").c_str(), 0600), 0);
    // 200,000 bytes without a line break, then a material.
    WriteFile(dir.File("blob.mtl"), std::string(200000, 'x') + "\nnewmtl Paint\nKd 1 0 0\n");
    // The longest line taken, then the material.
    WriteFile(dir.File("long.mtl"), "# " + std::string(65534, 'y') + "\nnewmtl Paint\nKd 0 1 0\n");
    const char* body = "v 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl Paint\nf 1 2 3\n";
    // A device, a directory, a FIFO (nobody writes: opening it would wait)
    // and a binary file: each is skipped as a missing library is.
    for (const std::string& library :
         {std::string("/dev/zero"), dir.File("folder.mtl"), std::string("pipe.mtl"), std::string("blob.mtl")})
    {
        auto r = objtest::ReadText(dir, "mtllib " + library + "\n" + body);
        ASSERT_TRUE(r->ok) << library;
        EXPECT_EQ(r->message, "Unable to load material library\nUnable to read material \"Paint\" in .mtl file\n")
            << library;
    }
    auto r = objtest::ReadText(dir, std::string("mtllib long.mtl\n") + body);
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->message, "");
    KQoxMesh* mesh = r->Mesh("default");
    ASSERT_NE(mesh, nullptr);
    ASSERT_GE(mesh->GMI("Paint", 0), 0);
    EXPECT_EQ(mesh->GM(mesh->GMI("Paint", 0), 0)->GetDiffuse().mGreen, 1.0);
}

TEST(UnusualInputs, DxfBlocksNested100000DeepReadInEveryDerivation)
{
    TempDir dir;
    const std::string path = dir.File("deep.dxf");
    const std::string text = NestedBlocks(kDepth - 1);
    WriteFile(path, text);
    // Cut inside the deepest block: that block is dropped, the 99,999 above
    // it stay.
    const std::string cut = dir.File("cut.dxf");
    WriteFile(cut, text.substr(0, text.find("LINE") + 8));
    for (int derivation : {KStreamOptionsDxf::eBY_LAYER, KStreamOptionsDxf::eBY_ENTITY, KStreamOptionsDxf::eBY_BLOCK})
    {
        for (bool whole : {true, false})
        {
            std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
            KQoxScene& scene = *manager->CreateKQoxScene();
            ASSERT_TRUE(ReadDxf(*manager, scene, whole ? path : cut, derivation)) << derivation;
            // Inserts of the ENTITIES read as one block hang under the root
            // too; the block's own node, empty, is not kept.
            KQoxNode* last = nullptr;
            EXPECT_EQ(ChainDepth(scene.GetRootNode(), "B", last), whole ? kDepth : kDepth - 1) << derivation;
            ASSERT_NE(last, nullptr);
            KQoxVector4 t;
            last->GetDefaultT(t);
            EXPECT_EQ(t[0], 1.0);
            if (!whole)
            {
                EXPECT_EQ(last->GetChildCount(false), 0);
                continue;
            }
            ASSERT_NE(last->GetMesh(), nullptr);
            EXPECT_EQ(static_cast<KQoxMesh*>(last->GetMesh())->GetPolygonCount(), 1);
        }
    }
}

TEST(UnusualInputs, DxfWriterWritesA100000DeepNodeChain)
{
    TempDir dir;
    const std::string path = dir.File("chain.dxf");
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene& scene = *manager->CreateKQoxScene();
        KQoxNode* parent = scene.GetRootNode();
        for (int i = 0; i < kDepth; ++i)
        {
            KQoxNode* node = manager->CreateKQoxNode(("N" + std::to_string(i)).c_str());
            parent->AddChild(node);
            parent = node;
        }
        // A triangle at the bottom, one unit along x from its parent.
        KQoxMesh* mesh = manager->CreateKQoxMesh();
        mesh->InitControlPoints(3);
        mesh->GetControlPoints()[0] = KQoxVector4(0, 0, 0);
        mesh->GetControlPoints()[1] = KQoxVector4(1, 0, 0);
        mesh->GetControlPoints()[2] = KQoxVector4(0, 1, 0);
        mesh->BeginPolygon(-1, -1, -1);
        for (int corner : {0, 1, 2})
            mesh->AddPolygon(corner, -1);
        mesh->EndPolygon();
        parent->SetNodeAttribute(mesh);
        parent->SetDefaultT(KQoxVector4(1, 0, 0));

        KQoxWriterDxf writer(*manager);
        ASSERT_TRUE(writer.FileCreate(path.c_str()));
        KStreamOptionsDxf options;
        EXPECT_TRUE(writer.Write(scene, &options));
        EXPECT_TRUE(writer.FileClose());
    }
    const std::string text = ReadFile(path);
    // Every node counts in the LAYER table; the mesh's layer is written.
    EXPECT_NE(text.find(" 70\n   100000\n"), std::string::npos);
    EXPECT_NE(text.find("LAYER\n  2\nN99999\n"), std::string::npos);
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    ASSERT_TRUE(ReadDxf(*manager, scene, path, KStreamOptionsDxf::eBY_LAYER));
    ASSERT_EQ(scene.GetRootNode()->GetChildCount(false), 1);
    KQoxNode* read = scene.GetRootNode()->GetChild(0);
    EXPECT_STREQ(read->GetNameWithoutNameSpacePrefix().ToChars(), "N99999");
    KQoxMesh* mesh = static_cast<KQoxMesh*>(read->GetMesh());
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetControlPointsCount(), 3);
    // Written in world space: the node's translation is in the points.
    EXPECT_EQ(mesh->GetControlPoints()[1][0], 2.0);
}

namespace {

// Reads path (written with bytes first) through read, a reader of a fresh
// manager's scene, while another thread cuts the file to 4 KB as soon as it
// shows among the process's mappings. A read that ended before the cut read
// the file whole: it is tried again, ten times at most. Every read the cut
// failed must fail as damaged with nothing in the scene; there must be one.
template <class Reader>
void ExpectCutShortReadFails(const std::string& path, const std::string& bytes)
{
    int cutShort = 0;
    for (int attempt = 0; attempt < 10 && cutShort == 0; ++attempt)
    {
        ASSERT_TRUE(WriteFile(path, bytes));
        CutWhenMapped cutter(path, 4096);
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene& scene = *manager->CreateKQoxScene();
        Reader reader(*manager);
        const bool opened = reader.FileOpen(path.c_str());
        std::unique_ptr<KStreamOptions> options(reader.GetReadOptions(false));
        const bool read = opened && reader.Read(scene, options.get());
        cutter.Stop();
        ASSERT_TRUE(opened);
        if (read)
            continue;
        ++cutShort;
        EXPECT_EQ(reader.GetError().GetLastErrorID(), KQoxReader::eFILE_CORRUPTED);
        EXPECT_STREQ(reader.GetError().GetLastErrorString(), "File is corrupted");
        EXPECT_EQ(scene.GetRootNode()->GetChildCount(), 0);
    }
    EXPECT_EQ(cutShort, 1);
}

} // namespace

// The OBJ file is cut short by another program while it is read in place:
// the read fails as damaged and nothing of it joins the scene.
TEST(UnusualInputs, ObjCutShortWhileReadFailsAsCorrupted)
{
    TempDir dir;
    const std::string obj = dir.File("cut.obj");
    std::string text;
    for (int i = 0; text.size() < (size_t(24) << 20); ++i)
        text += "v " + std::to_string(i) + " 0 1\nf -1 -1 -1\n";
    ExpectCutShortReadFails<KQoxReaderObj>(obj, text);
}

// The same for a 3DS file: the toolkit reads the records from the file in
// place, and bytes lost to the cut fail the read as damaged.
TEST(UnusualInputs, ThreeDsCutShortWhileReadFailsAsCorrupted)
{
    TempDir dir;
    const std::string path = dir.File("cut.3ds");
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene& scene = *manager->CreateKQoxScene();
        for (int k = 0; k < 24; ++k)
        {
            KQoxNode* node = manager->CreateKQoxNode(("Part" + std::to_string(k)).c_str());
            KQoxMesh* mesh = manager->CreateKQoxMesh();
            node->SetNodeAttribute(mesh);
            mesh->InitControlPoints(30000);
            for (int i = 0; i < 30000; ++i)
                mesh->GetControlPoints()[i] = KQoxVector4(i * 0.5, k, -i, 1);
            for (int p = 0; p < 10000; ++p)
            {
                mesh->BeginPolygon();
                for (int c = 0; c < 3; ++c)
                    mesh->AddPolygon(3 * p + c);
                mesh->EndPolygon();
            }
            scene.GetRootNode()->AddChild(node);
        }
        KQoxWriter3DS writer(*manager);
        ASSERT_TRUE(writer.FileCreate(path.c_str()));
        std::unique_ptr<KStreamOptions> options(writer.GetWriteOptions());
        ASSERT_TRUE(writer.Write(scene, options.get()));
        ASSERT_TRUE(writer.FileClose());
    }
    const std::string bytes = ReadFile(path);
    ASSERT_GT(bytes.size(), size_t(8) << 20);
    ExpectCutShortReadFails<KQoxReader3DS>(path, bytes);
}

TEST(UnusualInputs, StreamsPastTheBoundAreNotOpenedByAnyReader)
{
    // Each reader given its file through a FIFO: read as the file when the
    // file is just within the bound, refused with the one text a byte past it.
    KQoxRegisterGeometryFormats();
    TempDir dir;
    for (const StreamFormat& format : kStreamFormats)
    {
        SCOPED_TRACE(format.mExtension);
        const std::string bytes = TriangleFile(dir, format);
        ASSERT_GT(bytes.size(), size_t(10));
        int id = -1, fileNodes = 0, nodes = 0;
        ASSERT_EQ(Import(dir.File(std::string("tri.") + format.mExtension), id, fileNodes), "");
        ASSERT_GT(fileNodes, 0);
        for (size_t most : {bytes.size(), bytes.size() - 1})
        {
            const std::string pipe = dir.File("pipe" + std::to_string(most) + "." + format.mExtension);
            StreamBound bound(most);
            FifoFeeder feeder(pipe, bytes);
            const std::string error = Import(pipe, id, nodes);
            if (most == bytes.size())
            {
                EXPECT_EQ(error, "");
                EXPECT_EQ(nodes, fileNodes);
            }
            else
            {
                EXPECT_EQ(error, "File not opened: a stream longer than 4 GiB is not read");
                EXPECT_EQ(id, KQoxIO::eFILE_NOT_OPENED);
                EXPECT_EQ(nodes, 0);
            }
        }
    }
}

TEST(UnusualInputs, EndlessDevicesEndEveryReader)
{
    // /dev/zero and /dev/urandom under a scene file's name: given up at
    // their first bytes, which tell they are no such file (the bound is
    // lowered all the same, so that a reader that read on would fail fast).
    KQoxRegisterGeometryFormats();
    TempDir dir;
    StreamBound bound(size_t(1) << 20);
    struct Case
    {
        const char* mDevice;
        const char* mExtension;
        const char* mError;
    };
    const Case cases[] = {{"/dev/zero", "qox", "File is corrupted: not a native scene file"},
                          {"/dev/zero", "obj", "File is corrupted: not an OBJ file"},
                          {"/dev/zero", "dxf", "File is corrupted: not a DXF file"},
                          {"/dev/zero", "3ds", "File is corrupted: not a 3DS file"},
                          {"/dev/urandom", "qox", "File is corrupted: not a native scene file"},
                          {"/dev/urandom", "obj", "File is corrupted: not an OBJ file"},
                          {"/dev/urandom", "dxf", "File is corrupted: not a DXF file"},
                          {"/dev/urandom", "3ds", "File is corrupted: not a 3DS file"}};
    int n = 0;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.mDevice) + " as " + c.mExtension);
        const std::string path = dir.File("device" + std::to_string(n++) + "." + c.mExtension);
        ASSERT_EQ(symlink(c.mDevice, path.c_str()), 0);
        int id = -1, nodes = 0;
        const std::string error = Import(path, id, nodes);
        // Random bytes may begin with a 3DS main chunk's id, once in 65,536.
        if (std::string(c.mDevice) != "/dev/urandom" || std::string(c.mExtension) != "3ds")
            EXPECT_EQ(error, c.mError);
        else
            EXPECT_NE(error, "");
        EXPECT_EQ(nodes, 0);
    }
}

namespace {

// The first bytes of a PNG image: its signature and header chunk.
const std::string kPngBytes("\x89PNG\r\n\x1a\n"
                            "\0\0\0\x0dIHDR\0\0\0\x10\0\0\0\x10\x08\x06\0\0\0"
                            "\x1f\xf3\xff\x61",
                            33);

struct ReaderCase
{
    const char* mExtension;
    const char* mNotFormat; // the text of another kind of file
    const char* mEmpty;     // the text of an empty file; null: it reads as an empty scene
};
const ReaderCase kReaders[] = {
    {"qox", "File is corrupted: not a native scene file", "File is corrupted: the file is empty"},
    {"obj", "File is corrupted: not an OBJ file", nullptr},
    {"dxf", "File is corrupted: not a DXF file", "File is corrupted: the file is empty"},
    {"3ds", "File is corrupted: not a 3DS file", "File is corrupted: the file is empty"}};

// Imports path through the importer into a scene holding one node, "Kept".
// The error text ("" on success), followed by what went wrong besides: an
// id that is not the text's, a scene that changed.
std::string ImportOver(const std::string& path)
{
    KQoxRegisterGeometryFormats();
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    scene.GetRootNode()->AddChild(manager->CreateKQoxNode("Kept"));
    KQoxImporter importer(*manager);
    std::unique_ptr<KStreamOptions> options;
    bool ok = importer.Initialize(path.c_str());
    if (ok && importer.GetFileFormat() >= eIMPORT_DXF)
    {
        options.reset(importer.GetImportOptions(KQoxImporter::eSTREAMOPTIONS_FAST));
        ok = options != nullptr;
    }
    ok = ok && importer.Import(scene, options.get());
    if (ok)
        return "";
    std::string text = importer.GetLastErrorString();
    const int id = text.rfind("File not opened", 0) == 0 ? KQoxIO::eFILE_NOT_OPENED : KQoxIO::eFILE_CORRUPTED;
    if (importer.GetLastErrorID() != id)
        text += " [id " + std::to_string(importer.GetLastErrorID()) + "]";
    KQoxNode* root = scene.GetRootNode();
    if (root->GetChildCount(true) != 1 ||
        std::string(root->GetChild(0)->GetNameWithoutNameSpacePrefix().ToChars()) != "Kept")
        text += " [scene changed]";
    return text;
}

// Valid files of every format, a triangle each, by name.
std::vector<std::pair<std::string, std::string>> EveryFormatsFiles()
{
    KQoxRegisterGeometryFormats();
    std::vector<std::pair<std::string, std::string>> files;
    for (const StreamFormat& format :
         {StreamFormat{"qox", eEXPORT_QOX_BINARY}, StreamFormat{"qox", eEXPORT_QOX_ASCII},
          StreamFormat{"obj", eEXPORT_OBJ}, StreamFormat{"dxf", eEXPORT_DXF}, StreamFormat{"3ds", eEXPORT_3DS}})
    {
        TempDir made;
        const std::string name = format.mExport == eEXPORT_QOX_ASCII ? "qox-ascii" : format.mExtension;
        files.emplace_back(name, TriangleFile(made, format));
    }
    return files;
}

} // namespace

TEST(UnusualInputs, EveryReaderNamesWhyAFileIsNotRead)
{
    // Each row: a file under the reader's extension, and the importer's text;
    // the scene read into keeps what it held.
    TempDir dir;
    const auto files = EveryFormatsFiles();
    for (const ReaderCase& reader : kReaders)
    {
        SCOPED_TRACE(reader.mExtension);
        const std::string extension = std::string(".") + reader.mExtension;
        const std::string folder = dir.File(std::string("folder") + extension);
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        struct Row
        {
            std::string mName;
            std::string mContent; // "-": no file of the name is made
            std::string mText;
        };
        std::vector<Row> rows = {{"missing" + extension, "-", "File not opened: no such file"},
                                 {"missing/under" + extension, "-", "File not opened: no such file"},
                                 {"folder" + extension, "-", "File not opened: it is a directory"},
                                 {std::string(300, 'n') + extension, "-", "File not opened: the name is too long"},
                                 {"empty" + extension, "", reader.mEmpty ? reader.mEmpty : ""},
                                 {"image" + extension, kPngBytes, reader.mNotFormat},
                                 {"zeros" + extension, std::string(100, '\0'), reader.mNotFormat},
                                 {"words" + extension, "Some words, not a scene.\n", reader.mNotFormat}};
        for (const auto& [format, bytes] : files)
            if (format.rfind(reader.mExtension, 0) != 0)
                rows.push_back({format + "-as" + extension, bytes, reader.mNotFormat});
        for (const Row& row : rows)
        {
            const std::string path = dir.File(row.mName);
            if (row.mContent != "-")
            {
                ASSERT_TRUE(WriteFile(path, row.mContent));
            }
            EXPECT_EQ(ImportOver(path), row.mText) << row.mName.substr(0, 40);
            if (row.mContent == "-" || row.mContent.empty())
                continue;
            // The same bytes through a FIFO: refused at their first bytes.
            const std::string pipe = dir.File("pipe-" + row.mName);
            FifoFeeder feeder(pipe, row.mContent);
            EXPECT_EQ(ImportOver(pipe), row.mText) << "through a FIFO: " << row.mName;
        }
    }
}

TEST(UnusualInputs, EveryReaderNamesAFileItMayNotRead)
{
    // Another user's file of the reader's own format, readable by its owner
    // alone, read by a user who is not root.
    TempDir dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    const auto files = EveryFormatsFiles();
    for (const ReaderCase& reader : kReaders)
    {
        const std::string path = dir.File(std::string("locked.") + reader.mExtension);
        for (const auto& [format, bytes] : files)
        {
            if (format == reader.mExtension)
            {
                ASSERT_TRUE(WriteFile(path, bytes));
            }
        }
        ASSERT_EQ(chmod(path.c_str(), 0), 0);
        EXPECT_EQ(UnprivilegedChildText([&] { return ImportOver(path); }), "File not opened: permission denied")
            << reader.mExtension;
    }
}

TEST(UnusualInputs, UnusualBeginningsOfValidFilesStillRead)
{
    // What may stand before a file's first statement or pair: comments past
    // the first block, a byte order mark, blank lines, any OBJ keyword.
    KQoxRegisterGeometryFormats();
    TempDir dir;
    const std::string triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    const std::string line = Dxf("0 SECTION|2 ENTITIES|0 LINE|8 Wire|10 0|11 1|0 ENDSEC|0 EOF");
    const struct
    {
        const char* mName;
        std::string mText;
    } rows[] = {
        {"comments.obj", "# " + std::string(5000, 'c') + "\n#\n\n" + triangle},
        {"bom.obj", "\xEF\xBB\xBF\n" + triangle},
        {"library.obj", "mtllib missing.mtl\n" + triangle},
        {"lines.obj", "l 1 2\n" + triangle},
        {"curves.obj", "cstype bspline\n" + triangle},
        {"commentsonly.obj", "# nothing but a comment"},
        {"blank.dxf", "\n  \r\n" + line},
        {"comment.dxf", "999\nwritten by hand\n" + line},
    };
    for (const auto& row : rows)
    {
        ASSERT_TRUE(WriteFile(dir.File(row.mName), row.mText));
        EXPECT_EQ(ImportOver(dir.File(row.mName)), "") << row.mName;
    }
}

TEST(UnusualInputs, BytesOfAStatementAreEscapedInTheMessage)
{
    // A keyword of control and non-ASCII bytes, met past the first block.
    TempDir dir;
    auto r = objtest::ReadText(dir, "v 0 0 0\n\x01\xff\x80x 1\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->message, "Object not supported : \\x01\\xFF\\x80x\n");
}
