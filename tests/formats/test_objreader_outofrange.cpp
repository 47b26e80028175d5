// OBJ faces dropped for want of three vertex references in range: kept
// out of the meshes as the reading rules say, and counted over the whole
// file in one warning of the reader's message, the same on every path of
// the reader (statement by statement, and runs read in parallel).

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "common/qox_test_common.h"
#include "fileio/kqoximporter.h"
#include "formats/kqoxgeometryformats.h"
#include "formats/obj/kqoxobjparallel.h"
#include "obj_test_util.h"

using namespace qoxsdk_600;
using objtest::ObjRead;

namespace {

// The warning for count dropped faces ("" for none).
std::string Dropped(int count)
{
    return count == 0 ? std::string()
                      : "Left out of the scene: " + std::to_string(count) +
                            " faces with fewer than three vertex references in range\n";
}

const std::string kSquare = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\n";

// Polygons of each mesh read, by node name.
using Counts = std::map<std::string, int>;

struct Case
{
    const char* mName;
    std::string mText;
    int mDropped;
    Counts mKept;
};

// Many groups, several visited more than once, with every seventh face out
// of range in turn by position, from the end, and ahead of the vertices read
// so far: long enough for runs read in parallel.
Case ManyGroups()
{
    Case c{"many groups", kSquare, 0, {}};
    const char* groups[] = {"A", "B", "C"};
    for (int round = 0; round < 4; ++round)
        for (const char* group : groups)
        {
            c.mText += std::string("g ") + group + "\n";
            for (int f = 0; f < 700; ++f)
            {
                const int kind = (f + round) % 21;
                if (kind == 0)
                    c.mText += "f 1 2 5\n"; // ahead of the vertices read
                else if (kind == 7)
                    c.mText += "f -1 -2 -5\n"; // too far back
                else if (kind == 14)
                    c.mText += "f 1/1/1 99/1/1 98/1/1\n";
                else
                {
                    c.mText += "f 1/1/1 2/1/1 3/1/1\n";
                    ++c.mKept[group];
                    continue;
                }
                ++c.mDropped;
            }
        }
    return c;
}

std::vector<Case> Cases()
{
    return {
        {"none dropped", kSquare + "f 1 2 3\nf -4 -2 -1\n", 0, {{"default", 2}}},
        {"one by position", kSquare + "f 1 2 3\nf 1 2 9\n", 1, {{"default", 1}}},
        {"one from the end", kSquare + "f 1 2 3\nf -1 -2 -9\n", 1, {{"default", 1}}},
        {"one ahead of its vertex", kSquare + "f 1 2 5\nv 2 2 2\nf 1 2 5\n", 1, {{"default", 1}}},
        // Three references still in range: the face stays, without the others.
        {"three left in range", kSquare + "f 1 2 9 3 -7\n", 0, {{"default", 1}}},
        // Texture vertices and normals out of range are left absent: kept.
        {"texture vertices and normals", kSquare + "f 1/9 2/9 3/9\nf 1//9 2//-9 3//1\nf 1/-5/9 2/1/1 3/1/1\n", 0,
         {{"default", 3}}},
        // Too few references or a reference 0 is not a range fault.
        {"malformed", kSquare + "f 1 2\nf 1 0 2\nf 1 2 3\n", 0, {{"default", 1}}},
        {"among groups", kSquare + "g A\nf 1 2 3\nf 7 8 9\ng B\nf 1 2 99\ng A\nf 2 3 -10\nf 2 3 4\n", 3,
         {{"A", 2}}},
        ManyGroups(),
    };
}

// Polygons of the meshes under the root, by node name.
Counts KeptOf(const ObjRead& r)
{
    Counts counts;
    KQoxNode* root = r.scene.GetRootNode();
    for (int i = 0; i < root->GetChildCount(false); ++i)
    {
        KQoxNode* node = root->GetChild(i);
        KQoxMesh* mesh = static_cast<KQoxMesh*>(node->GetMesh());
        if (mesh && mesh->GetPolygonCount() > 0)
            counts[node->GetNameWithoutNameSpacePrefix().ToChars()] = mesh->GetPolygonCount();
    }
    return counts;
}

} // namespace

TEST(ObjFacesOutOfRange, CountedOnceInTheMessageOnEveryPath)
{
    qoxtest::TempDir dir;
    for (const Case& c : Cases())
    {
        const std::string path = dir.File("model.obj");
        qoxtest::WriteFile(path, c.mText);
        // One thread, the default, and four reading runs of a few hundred
        // bytes in parallel.
        for (int threads : {1, ObjDefaultThreads(), 4})
        {
            SCOPED_TRACE(std::string(c.mName) + " at " + std::to_string(threads) + " threads");
            ObjRead r(path + ".none"); // a manager and scene, nothing read
            KQoxReaderObj& reader = *r.reader;
            reader.SetParallelRuns(threads, 256);
            ASSERT_TRUE(reader.FileOpen(path.c_str()));
            std::unique_ptr<KStreamOptions> options(reader.GetReadOptions(false));
            static_cast<KStreamOptionsObj*>(options.get())->SetOption(1, 0); // meshes under the root
            ASSERT_TRUE(reader.Read(r.scene, options.get()));
            KString message;
            reader.GetMessage(message);
            EXPECT_EQ(std::string(message.ToChars()), Dropped(c.mDropped));
            EXPECT_EQ(KeptOf(r), c.mKept);
        }
    }
}

TEST(ObjFacesOutOfRange, TheImporterKeepsTheWarning)
{
    KQoxRegisterGeometryFormats();
    qoxtest::TempDir dir;
    const std::string path = dir.File("model.obj");
    qoxtest::WriteFile(path, "mtllib none.mtl\n" + kSquare + "f 1 2 3\nf 1 2 -7\nf 8 9 10\n");
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxImporter importer(*manager);
    ASSERT_TRUE(importer.Initialize(path.c_str()));
    std::unique_ptr<KStreamOptions> options(importer.GetImportOptions(KQoxImporter::eSTREAMOPTIONS_FAST));
    ASSERT_TRUE(importer.Import(scene, options.get()));
    KString message;
    importer.GetMessage(message);
    EXPECT_EQ(std::string(message.ToChars()), "Unable to load material library\n" + Dropped(2));
}
