// OBJ faces dropped for want of three vertex references in range: kept
// out of the meshes as the reading rules say, and counted over the whole
// file in one warning of the reader's message, the same on every path of
// the reader (statement by statement, and runs read in parallel).

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

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
// so far, and faces of two references: long enough for runs read in parallel.
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
                else if (kind == 17)
                    c.mText += "f 1/1/1 2/1/1\n"; // two references
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
        // Every face left out is counted: too few references, none at all,
        // a reference 0 or one that is no number.
        {"too few references", kSquare + "f 1 2\nf 1 0 2\nf 1 2 3\nf 3\nf\nf 1 x 2 3\n", 5, {{"default", 1}}},
        {"two references among groups", kSquare + "g A\nf 1 2\nf 1 2 3\ng B\nf -1 -2\nf 4 4\ng A\nf 2 3 9\n", 4,
         {{"A", 1}}},
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

// What one read of path on threads threads (runs of a few hundred bytes)
// gives: the reader's message, the polygons kept, and the scene written out.
struct Outcome
{
    std::string mMessage;
    Counts mKept;
    std::string mWritten;
};

Outcome ReadOn(const std::string& path, int threads)
{
    Outcome outcome;
    ObjRead r(path + ".none"); // a manager and scene, nothing read
    KQoxReaderObj& reader = *r.reader;
    reader.SetParallelRuns(threads, 256);
    EXPECT_TRUE(reader.FileOpen(path.c_str()));
    std::unique_ptr<KStreamOptions> options(reader.GetReadOptions(false));
    static_cast<KStreamOptionsObj*>(options.get())->SetOption(1, 0); // meshes under the root
    EXPECT_TRUE(reader.Read(r.scene, options.get()));
    KString message;
    reader.GetMessage(message);
    outcome.mMessage = message.ToChars();
    outcome.mKept = KeptOf(r);
    outcome.mWritten = objtest::WriteInBlocks(r, 1, 1 << 16);
    return outcome;
}

// One thread, the default, and four reading runs in parallel.
std::vector<int> ThreadCounts()
{
    return {1, ObjDefaultThreads(), 4};
}

// The text with every '@' replaced by reference.
std::string WithReference(const std::string& text, const std::string& reference)
{
    std::string out;
    for (char c : text)
        out += c == '@' ? reference : std::string(1, c);
    return out;
}

// Faces with one reference written '@' in each place a reference takes,
// many times over so that runs are read in parallel: per round one face
// left with two vertex references in range (dropped), and five kept, one
// with the vertex reference left out and four with a texture vertex or
// normal reference left absent.
std::string FacesReferringTo()
{
    std::string text = kSquare + "vt 1 1\nvn 0 1 0\ng A\n";
    for (int round = 0; round < 60; ++round)
        text += "f 1 2 @\n"
                "f @ 1 2 3\n"
                "f 1/@ 2/1 3/2\n"
                "f 1//@ 2//1 3//2\n"
                "f 1/1/@ 2/2/1 3/1/2\n"
                "f 1/1/1 2/2/2 3/1/1\n";
    return text;
}

} // namespace

TEST(ObjFacesOutOfRange, CountedOnceInTheMessageOnEveryPath)
{
    qoxtest::TempDir dir;
    for (const Case& c : Cases())
    {
        const std::string path = dir.File("model.obj");
        qoxtest::WriteFile(path, c.mText);
        for (int threads : ThreadCounts())
        {
            SCOPED_TRACE(std::string(c.mName) + " at " + std::to_string(threads) + " threads");
            const Outcome outcome = ReadOn(path, threads);
            EXPECT_EQ(outcome.mMessage, Dropped(c.mDropped));
            EXPECT_EQ(outcome.mKept, c.mKept);
        }
    }
}

TEST(ObjFacesOutOfRange, ReferencesPastTheIntRangeAreOutOfRangeLikeAnyOther)
{
    // Each reference, however many digits it takes, reads as a reference
    // just out of range of the same sign does: counted among the dropped
    // faces when it leaves fewer than three vertex references, left out or
    // absent otherwise, never wrapped around into an item (several of these
    // wrap to 1 or 2 in 32 or 64 bits), and the same on every path.
    struct Reference
    {
        const char* mText;
        const char* mLike; // a reference out of range that an int holds
    };
    const Reference references[] = {
        {"2000000000", "99"},
        {"2147483648", "99"},
        {"4294967297", "99"},
        {"4294967298", "99"},
        {"4294967299", "99"},
        {"+4294967297", "99"},
        {"99999999999", "99"},
        {"18446744073709551617", "99"},
        {"99999999999999999999", "99"},
        {"-2147483649", "-99"},
        {"-4294967295", "-99"},
        {"-4294967299", "-99"},
        {"-18446744073709551615", "-99"},
        {"-99999999999999999999", "-99"},
    };
    qoxtest::TempDir dir;
    const std::string faces = FacesReferringTo();
    const Counts kept{{"A", 5 * 60}};
    // The faces with references of few digits, in range of no list.
    std::map<std::string, Outcome> like;
    for (const char* reference : {"99", "-99"})
    {
        qoxtest::WriteFile(dir.File("like.obj"), WithReference(faces, reference));
        like[reference] = ReadOn(dir.File("like.obj"), 1);
        EXPECT_EQ(like[reference].mMessage, Dropped(60)) << reference;
        EXPECT_EQ(like[reference].mKept, kept) << reference;
    }
    for (const Reference& reference : references)
    {
        const std::string path = dir.File("model.obj");
        qoxtest::WriteFile(path, WithReference(faces, reference.mText));
        for (int threads : ThreadCounts())
        {
            SCOPED_TRACE(std::string(reference.mText) + " at " + std::to_string(threads) + " threads");
            const Outcome outcome = ReadOn(path, threads);
            EXPECT_EQ(outcome.mMessage, Dropped(60));
            EXPECT_EQ(outcome.mKept, kept);
            EXPECT_TRUE(outcome.mWritten == like[reference.mLike].mWritten)
                << "the scene read differs from the one with " << reference.mLike;
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
