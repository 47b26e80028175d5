// OBJ reading: the whole mesh built from awkward files and from the text
// forms other editors write, pinned item by item
// (small files) or by a digest of every item (large ones), so that faster
// reading cannot change what is built; the short reading paths against the
// general ones; the reader's growable arrays.

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/karray.h"
#include "formats/obj/kqoxobjarray.h"
#include "formats/obj/kqoxobjscan.h"
#include "common/qox_test_threads.h"
#include "obj_test_util.h"

#ifdef QOX_HAVE_TINYOBJ
#include <tiny_obj_loader.h>
#endif

using namespace objtest;

namespace {

// FNV-1a over the bytes of every value the mesh holds.
struct Digest
{
    uint64_t mValue = 1469598103934665603ULL;
    void Bytes(const void* data, size_t size)
    {
        const unsigned char* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i)
            mValue = (mValue ^ p[i]) * 1099511628211ULL;
    }
    void Int(int value) { Bytes(&value, sizeof value); }
};

// Pseudo-random numbers below n from a fixed seed, the same on every run;
// shift tells which bits of the state are taken.
class Draws
{
public:
    Draws(unsigned seed, int shift)
        : mSeed(seed)
        , mShift(shift)
    {}
    unsigned operator()(unsigned n)
    {
        mSeed = mSeed * 1103515245u + 12345u;
        return (mSeed >> mShift) % n;
    }

private:
    unsigned mSeed;
    int mShift;
};

// Five positions, two texture vertices and one normal read from a small
// file, so that the reader's face references have something to refer to.
void ReadFiveVertices(KQoxSdkManager& manager, KQoxReaderObj& reader)
{
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("v.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nv 2 2 2\nvt 0 0\nvt 1 1\nvn 0 0 1\n");
    std::unique_ptr<KStreamOptions> options(reader.GetReadOptions(false));
    KQoxScene& scene = *manager.CreateKQoxScene();
    ASSERT_TRUE(reader.FileOpen(dir.File("v.obj").c_str()));
    ASSERT_TRUE(reader.Read(scene, options.get()));
}

// Every item of every mesh under the root (but the node named skipped), in
// node order, as one digest.
uint64_t SceneDigest(const ObjRead& r, const std::string& skipped = std::string())
{
    Digest d;
    KQoxNode* root = r.scene.GetRootNode();
    for (int c = 0; c < root->GetChildCount(false); ++c)
    {
        KQoxNode* node = root->GetChild(c);
        const std::string name = node->GetNameWithoutNameSpacePrefix().ToChars();
        if (name == skipped)
            continue;
        d.Bytes(name.data(), name.size());
        KQoxMesh* mesh = static_cast<KQoxMesh*>(node->GetMesh());
        if (!mesh)
            continue;
        const int points = mesh->GetControlPointsCount();
        d.Int(points);
        d.Bytes(mesh->GetControlPoints(), sizeof(KQoxVector4) * points);
        if (mesh->GetNormals())
            d.Bytes(mesh->GetNormals(), sizeof(KQoxVector4) * points);
        d.Int(mesh->GetPolygonCount());
        d.Int(mesh->GetPolygonVertexCount());
        d.Bytes(mesh->GetPolygonVertices(), sizeof(int) * mesh->GetPolygonVertexCount());
        for (int p = 0; p < mesh->GetPolygonCount(); ++p)
        {
            d.Int(mesh->GetPolygonSize(p));
            for (int v = 0; v < mesh->GetPolygonSize(p); ++v)
                d.Int(mesh->GetTextureUVIndex(p, v));
            // Per polygon only when mapped so; otherwise one index for all.
            const bool materialEach = mesh->GetMaterialMappingMode() == KQoxLayerElement::eBY_POLYGON;
            const bool textureEach = mesh->GetTextureMappingMode() == KQoxLayerElement::eBY_POLYGON;
            if (mesh->GetMaterialIndices() && (materialEach || p == 0))
                d.Int(mesh->GetMaterialIndices()[materialEach ? p : 0]);
            if (mesh->GetTextureIndices() && (textureEach || p == 0))
                d.Int(mesh->GetTextureIndices()[textureEach ? p : 0]);
        }
        d.Int(mesh->GetTextureUVCount());
        if (mesh->GetTextureUV())
            d.Bytes(mesh->GetTextureUV(), sizeof(KQoxVector2) * mesh->GetTextureUVCount());
        d.Int(mesh->GetMaterialMappingMode());
        d.Int(mesh->GetTextureUVMappingMode());
        d.Int(node->GetShadingMode());
    }
    return d.mValue;
}

// A file of every reference form, number form and line form.
std::string AwkwardText(const char* lineBreak, bool finalBreak)
{
    std::string lines[] = {"mtllib looks.mtl",
                           "v 0 0 0",
                           "v 1.5 -0 +2",
                           "v 1e1 2.5E-1 .5 0.25",
                           "v\t3\t3 0 ",
                           "v 0.1 0.2 0.30000000000000004",
                           "v 123456789012345678 -4.9e-324 7.",
                           "vt 0.5",
                           "vt 0.25 0.75 1",
                           "vt -1 2",
                           "vn 0 0 1",
                           "vn 0 1 0",
                           "vn 1 0 0",
                           "g first part",
                           "usemtl Red",
                           "f 1/1/1 2/2/2 3/3/3",
                           "f -6/-3/-3 -5/-2/-2 -4/-1/-1 -3/1/1",
                           "f 1//1 2//2 3//3 4//1",
                           "f 1/1 2/2 3/3",
                           "f 1 2 3 4 5 6",
                           "f 1/1/ 2/2/ 3/3/",
                           "f 1// 2// 3//",
                           "f 007 +2 3",
                           "f 1 2 99 3 -99",
                           "f 1/9/1 2/1/9 3/-9/-9",
                           "f 1 2",
                           "f 1 2 x 4",
                           "s 1",
                           "f 1 2 3",
                           "f 3 2 4 \\",
                           "  5",
                           "usemtl Blue",
                           "f 2/1 3/2 4/3",
                           "s off",
                           "g other",
                           "f 4 5 6",
                           "usemtl Red",
                           "f 6//2 5//2 4//2",
                           "s 2",
                           "f 1 3 5",
                           "f 1/1/1/1 2/2/2/2 3/3/3/3",
                           "g first_part",
                           "f 2 4 6"};
    std::string text;
    for (const std::string& line : lines)
        text += line + lineBreak;
    if (!finalBreak)
        text.resize(text.size() - std::strlen(lineBreak));
    return text;
}

uint64_t ReadDigest(const std::string& text, std::string* message = nullptr)
{
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("looks.mtl"), "newmtl Red\nKd 1 0 0\nnewmtl Blue\nKd 0 0 1\nmap_Kd blue.tif\n");
    auto r = ReadText(dir, text);
    EXPECT_TRUE(r->ok);
    if (message)
        *message = r->message;
    return SceneDigest(*r);
}

} // namespace

TEST(ObjReadMesh, SmallFilePinnedItemByItem)
{
    qoxtest::TempDir dir;
    auto r = ReadText(dir, "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvn 0 0 1\n"
                           "f 1/1/1 2/2/1 3/3/1\r\nf -4//-1 -2//1 -1//1\rf 1/1 3/3 4\n"
                           "f 1/1/1 3/3/1 4/1/1");
    ASSERT_TRUE(r->ok);
    KQoxMesh* mesh = r->Mesh("default");
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetPolygonCount(), 4);
    const int expected[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 0, 2, 9};
    ASSERT_EQ(mesh->GetPolygonVertexCount(), 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(mesh->GetPolygonVertices()[i], expected[i]) << i;
    ASSERT_EQ(mesh->GetControlPointsCount(), 10);
    EXPECT_EQ(KQoxVector4(mesh->GetControlPoints()[8]), KQoxVector4(0, 1, 0, 1));
    // The third face has no normals: a flat one was made for it.
    EXPECT_EQ(KQoxVector4(mesh->GetNormals()[6]), KQoxVector4(0, 0, 1, 0));
    // Corners without a UV keep index 0.
    const int uvs[] = {0, 1, 2, 0, 0, 0, 3, 4, 0, 0, 2, 5};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(mesh->GetTextureUVIndex(i / 3, i % 3), uvs[i]) << i;
    EXPECT_EQ(mesh->GetTextureUVCount(), 6);
    EXPECT_EQ(KQoxVector4(mesh->GetControlPoints()[9]), KQoxVector4(0, 1, 0, 1));
}

TEST(ObjReadMesh, AwkwardFilesBuildTheSameMesh)
{
    // Line breaks and the last line's break change nothing.
    std::string message;
    const uint64_t lf = ReadDigest(AwkwardText("\n", true), &message);
    EXPECT_EQ(lf, ReadDigest(AwkwardText("\r\n", true)));
    EXPECT_EQ(lf, ReadDigest(AwkwardText("\r\n", false)));
    EXPECT_EQ(lf, ReadDigest(AwkwardText("\r", false)));
    EXPECT_EQ(lf, ReadDigest(AwkwardText("\n", false)));
    EXPECT_EQ(lf, 0x5a70c6574e057d31ULL);
    // "f 007 +2 3" keeps two corners of six vertices, "f 1 2" has two and
    // "f 1 2 x 4" a reference that is no number: each dropped, and told.
    EXPECT_EQ(message, "Left out of the scene: 3 faces with fewer than three vertex references in range\n");
}

TEST(ObjReadMesh, LongLinesAndManyFaces)
{
    // One face of 200,000 corners (a line of about 2 MB), then 100,000
    // triangles over a strip with all the reference forms.
    std::string text;
    const int ring = 200000;
    for (int i = 0; i < ring; ++i)
        text +=
            "v " + std::to_string(i % 977) + ".25 " + std::to_string(i / 977) + " -0." + std::to_string(i % 13) + "\n";
    text += "vt 0 0\nvt 1 0\nvt 0 1\nvn 0 0 1\nvn 0 0 -1\n";
    text += "f";
    for (int i = 1; i <= ring; ++i)
        text += " " + std::to_string(i) + "/" + std::to_string(1 + i % 3) + "/" + std::to_string(1 + i % 2);
    text += "\ng strip\n";
    for (int f = 0; f < 100000; ++f)
    {
        const int a = 1 + f % (ring - 2);
        switch (f % 5)
        {
        case 0:
            text += "f " + std::to_string(a) + " " + std::to_string(a + 1) + " " + std::to_string(a + 2) + "\n";
            break;
        case 1:
            text +=
                "f " + std::to_string(a) + "//1 " + std::to_string(a + 1) + "//2 " + std::to_string(a + 2) + "//1\n";
            break;
        case 2: text += "f -1/-1 -2/-2 -3/-3\n"; break;
        case 3:
            text += "f " + std::to_string(a) + "/1/1 " + std::to_string(a + 2) + "/2/2 " + std::to_string(a + 1) +
                    "/3/1\r\n";
            break;
        default:
            text += "s " + std::to_string(f % 3) + "\nf " + std::to_string(a + 1) + " " + std::to_string(a) + " -1\n";
        }
    }
    qoxtest::TempDir dir;
    auto r = ReadText(dir, text);
    ASSERT_TRUE(r->ok);
    ASSERT_NE(r->Mesh("default"), nullptr);
    EXPECT_EQ(r->Mesh("default")->GetPolygonCount(), 1);
    EXPECT_EQ(r->Mesh("default")->GetPolygonSize(0), ring);
    ASSERT_NE(r->Mesh("strip"), nullptr);
    EXPECT_EQ(r->Mesh("strip")->GetPolygonCount(), 100000);
    EXPECT_EQ(SceneDigest(*r), 0xe41d13d632e05b87ULL);
}

TEST(ObjReadMesh, PodArrayKeepsItsItemsAcrossBlockKinds)
{
    // Grows from malloc'd blocks into mapped ones and keeps every item.
    KObjPodArray<int> items;
    for (int i = 0; i < 3000000; ++i)
        ASSERT_TRUE(items.push_back(i * 7));
    ASSERT_EQ(items.size(), 3000000u);
    for (int i = 0; i < 3000000; i += 4999)
        ASSERT_EQ(items[i], i * 7);
    ASSERT_TRUE(items.reserve_more(5));
    items.push_reserved(-1);
    EXPECT_EQ(items[3000000], -1);
    items.release();
    EXPECT_TRUE(items.empty());
    EXPECT_TRUE(items.append(nullptr, 0));
    const int some[] = {1, 2, 3};
    EXPECT_TRUE(items.append(some, 3));
    EXPECT_EQ(items[2], 3);
    // Several mapped arrays growing side by side, large items too.
    KObjPodArray<KQoxVector4> points;
    KObjPodArray<char> bytes;
    for (int i = 0; i < 400000; ++i)
    {
        ASSERT_TRUE(points.push_back(KQoxVector4(i, -i, 0.5 * i, 1.0)));
        for (int k = 0; k < 30; ++k)
            ASSERT_TRUE(bytes.push_back(static_cast<char>(i + k)));
    }
    EXPECT_EQ(points[399999][1], -399999.0);
    EXPECT_EQ(bytes[30 * 123456 + 7], static_cast<char>(123456 + 7));
    // Blocks made directly at and around the mapped size shrink back.
    void* block = ObjBlockResize(nullptr, 0, size_t(1) << 20);
    ASSERT_NE(block, nullptr);
    static_cast<char*>(block)[100] = 42;
    block = ObjBlockResize(block, size_t(1) << 20, 1000);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(static_cast<char*>(block)[100], 42);
    ObjBlockFree(block, 1000);
}

TEST(ObjReadMesh, ShortNumberPathReadsWhatTheGeneralOneReads)
{
    std::vector<std::string> texts = {"0",
                                      "-0",
                                      "1.",
                                      ".5",
                                      "-.5",
                                      "+2.25",
                                      "  7",
                                      "\t7",
                                      "- 5",
                                      "--5",
                                      "5.e3",
                                      "1.5.3",
                                      "0x10",
                                      "1p3",
                                      ".",
                                      "-",
                                      "",
                                      "1e",
                                      "2E-2",
                                      "000000000000001.5",
                                      "123456789012345",
                                      "1234567890123456",
                                      "0.000000000000001",
                                      "99999999999999.9",
                                      "9007199254740993",
                                      "1,5",
                                      "12abc"};
    unsigned long long state = 7;
    for (int i = 0; i < 20000; ++i)
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const int digits = static_cast<int>(state >> 60) + 1;
        std::string text = (state >> 59) & 1 ? "-" : "";
        for (int d = 0; d < digits; ++d)
        {
            text += static_cast<char>('0' + (state >> (4 * d % 56)) % 10);
            if (d == static_cast<int>((state >> 20) % digits))
                text += '.';
        }
        texts.push_back(text);
    }
    for (const std::string& text : texts)
    {
        const char* end = text.c_str() + text.size();
        const char* general = text.c_str();
        const char* shortPath = text.c_str();
        double a = 1.25, b = 1.25;
        const bool readA = ObjScanDouble(general, end, a);
        const bool readB = ObjScanDoubleShort(shortPath, end, b);
        ASSERT_EQ(readA, readB) << text;
        ASSERT_EQ(general, shortPath) << text;
        ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0) << text;
    }
}

// Both number paths on one text: whether it reads, where it stops and the
// value's bits must agree.
static void ExpectPathsAgree(const std::string& text)
{
    const char* end = text.c_str() + text.size();
    const char* general = text.c_str();
    const char* shortPath = text.c_str();
    double a = 1.25, b = 1.25;
    const bool readA = ObjScanDouble(general, end, a);
    const bool readB = ObjScanDoubleShort(shortPath, end, b);
    ASSERT_EQ(readA, readB) << text;
    ASSERT_EQ(general, shortPath) << text;
    ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0) << text;
    // The plain path reads a part of what the others read, the same way,
    // and stops only before a blank or a line break.
    const char* plainPath = text.c_str();
    double c = 1.25;
    if (ObjScanPlainNumber(plainPath, end, c))
    {
        ASSERT_TRUE(readA) << text;
        ASSERT_EQ(plainPath, general) << text;
        ASSERT_EQ(std::memcmp(&a, &c, sizeof a), 0) << text;
    }
    else
        ASSERT_EQ(plainPath, text.c_str()) << text;
}

TEST(ObjReadMesh, ShortNumberPathWithExponentsAndLongDigitsReadsWhatTheGeneralOneReads)
{
    // The edges of the short path: 2^53 and one past it, 19 and 20 digits,
    // powers of ten 22 and 23 either way, exponents cut short or too long,
    // and values only the general path reaches.
    const char* edges[] = {"9007199254740992",
                           "9007199254740993",
                           "900719925474099.3e1",
                           "-9007199254740992e-22",
                           "1e22",
                           "1e23",
                           "1e-22",
                           "1e-23",
                           "1234567890123456789",
                           "12345678901234567890",
                           "0.000000000000000001",
                           "0.0000000000000000001",
                           "1.234567890123456789",
                           "4.9e-324",
                           "1.7976931348623157e308",
                           "1e309",
                           "1e-400",
                           "0e999",
                           "-0e-5",
                           "1e0000",
                           "1e00001",
                           "1e+",
                           "1e-",
                           "1e",
                           "1E+5x",
                           "1e5e5",
                           ".e5",
                           "1.e5",
                           "-.5E-3",
                           "e5",
                           "-e5",
                           "3e+22",
                           "3.0e-0022",
                           "12.5e3/7"};
    for (const char* text : edges)
        ExpectPathsAgree(text);

    // Two million random texts of that shape: random digits on either side
    // of the point (so mantissas land on both sides of 2^53), random
    // exponents and what may follow a number on a line.
    const char* leads[] = {"", "", "", "-", "+", " ", "\t"};
    const char* tails[] = {"", "", " ", "e", "x", ".", "5", "/", "E+"};
    unsigned long long state = 12345;
    auto next = [&state](unsigned n) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>((state >> 33) % n);
    };
    std::string text;
    for (int i = 0; i < 2000000; ++i)
    {
        text = leads[next(7)];
        const unsigned whole = next(4) == 0 ? next(21) : next(4);
        for (unsigned d = 0; d < whole; ++d)
            text += static_cast<char>('0' + next(10));
        if (next(5) != 0)
        {
            text += '.';
            const unsigned fraction = next(3) == 0 ? next(21) : next(9);
            for (unsigned d = 0; d < fraction; ++d)
                text += static_cast<char>('0' + next(10));
        }
        if (next(3) == 0)
        {
            text += next(2) ? 'e' : 'E';
            const unsigned sign = next(3);
            if (sign)
                text += sign == 1 ? '-' : '+';
            const unsigned digits = next(6);
            for (unsigned d = 0; d < digits; ++d)
                text += static_cast<char>('0' + (d == 0 && digits > 1 ? next(3) : next(10)));
        }
        text += tails[next(9)];
        ExpectPathsAgree(text);
        if (HasFatalFailure())
            return;
    }
}

TEST(ObjReadMesh, FaceReadingAgreesWithTheTokenRules)
{
    // Random faces of random tokens: ReadFace must keep exactly the corners
    // that ParseVertexGroup and ConvertIndex give token by token.
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxReaderObj reader(*manager);
    const char* portions[] = {"1",         "2",          "3",          "-1",          "-2",          "0", "7",
                              "/",         "//",         "12",         "-",           "+3",          "x", "99",
                              "123456789", "1234567890", "2147483647", "-2147483648", "00000000001", "5/"};
    unsigned long long state = 99;
    auto next = [&state](unsigned n) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>((state >> 33) % n);
    };
    // No vertices read: every index is out of range except through the
    // counts below, so give the reader some.
    ReadFiveVertices(*manager, reader);
    if (HasFatalFailure())
        return;
    const int counts[3] = {5, 2, 1};
    for (int trial = 0; trial < 20000; ++trial)
    {
        std::vector<std::string> tokens(2 + next(4));
        std::string rest;
        for (std::string& token : tokens)
        {
            const unsigned parts = 1 + next(4);
            for (unsigned k = 0; k < parts; ++k)
                token += portions[next(sizeof portions / sizeof portions[0])];
            rest += (rest.empty() ? "" : next(3) == 0 ? "  " : " ") + token;
        }
        // What the token rules give.
        std::vector<KObjMesh::Corner> expected;
        bool dropped = false;
        for (const std::string& token : tokens)
        {
            KIndexGroup reference;
            if (!KQoxReaderObj::ParseVertexGroup(reference, token))
            {
                dropped = true;
                break;
            }
            const int vertex = KQoxReaderObj::ConvertIndex(reference.mVertex, counts[0]);
            if (vertex >= 0)
                expected.push_back({vertex, KQoxReaderObj::ConvertIndex(reference.mTextureVertex, counts[1]),
                                    KQoxReaderObj::ConvertIndex(reference.mNormal, counts[2])});
        }
        if (dropped || tokens.size() < 3 || expected.size() < 3)
            expected.clear();
        KObjMesh mesh;
        KObjMesh::FaceList& list = mesh.mFaceLists[0];
        ASSERT_TRUE(reader.ReadFace(mesh, list, rest));
        ASSERT_EQ(list.mCorners.size(), expected.size()) << rest;
        ASSERT_EQ(list.mFaces.size(), expected.empty() ? 0u : 1u) << rest;
        for (size_t i = 0; i < expected.size(); ++i)
        {
            EXPECT_EQ(list.mCorners[i].mVertex, expected[i].mVertex) << rest;
            EXPECT_EQ(list.mCorners[i].mTextureVertex, expected[i].mTextureVertex) << rest;
            EXPECT_EQ(list.mCorners[i].mNormal, expected[i].mNormal) << rest;
        }
    }
}

TEST(ObjReadMesh, BulkBuiltArraysMatchPolygonByPolygonBuilding)
{
    // Two smoothing groups (built in ascending order), materials changing
    // within and across them, and faces without UVs last: the UV index array
    // ends at the last corner that has one, as adding corners one by one
    // leaves it.
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("m.mtl"), "newmtl A\nKd 1 0 0\nnewmtl B\nKd 0 1 0\n");
    auto r = ReadText(dir, "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 1\nvn 0 0 1\n"
                           "s 2\nusemtl A\nf 1/1/1 2/2/1 3/1/1\ns 1\nusemtl B\nf 1/2/1 3/2/1 4/1/1\n"
                           "s 2\nf 2//1 3//1 4//1\nusemtl A\nf 4//1 1//1 2//1\n");
    ASSERT_TRUE(r->ok);
    KQoxMesh* mesh = r->Mesh("default");
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetPolygonCount(), 4);
    // Smoothing group 1 first: its face, then group 2's three in file order.
    const int vertices[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 8, 9, 6};
    ASSERT_EQ(mesh->GetPolygonVertexCount(), 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(mesh->GetPolygonVertices()[i], vertices[i]) << i;
    for (int p = 0; p < 4; ++p)
    {
        EXPECT_EQ(mesh->GetPolygonSize(p), 3);
        EXPECT_EQ(mesh->GetPolygonVertexIndex(p), 3 * p);
        EXPECT_EQ(mesh->GetPolygonGroup(p), -1);
    }
    ASSERT_EQ(mesh->GetMaterialMappingMode(), KQoxLayerElement::eBY_POLYGON);
    KQoxLayerElementMaterial* materials = mesh->GetLayer(0)->GetMaterials();
    ASSERT_EQ(materials->mIndexArray.GetCount(), 4);
    const char* names[] = {"B", "A", "B", "A"};
    for (int p = 0; p < 4; ++p)
        EXPECT_STREQ(mesh->GM(materials->mIndexArray[p], 0)->GetNameWithoutNameSpacePrefix().ToChars(), names[p]) << p;
    // No textured material: a texture element without mapping, as the first
    // polygon's texture number 0 makes one.
    ASSERT_NE(mesh->GetLayer(0)->GetTextures(), nullptr);
    EXPECT_EQ(mesh->GetLayer(0)->GetTextures()->mMappingMode, KQoxLayerElement::eNONE);
    KQoxLayerElementUV* uvs = mesh->GetLayer(0)->GetUVs();
    ASSERT_NE(uvs, nullptr);
    EXPECT_EQ(uvs->mIndexArray.GetCount(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(uvs->mIndexArray[i], i) << i;
    // One UV per control point that has one, in order of first appearance.
    ASSERT_EQ(mesh->GetTextureUVCount(), 6);
    const double us[] = {1, 1, 0, 0, 1, 0};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(mesh->GetTextureUV()[i], KQoxVector2(us[i], us[i])) << i;
    ASSERT_EQ(mesh->GetControlPointsCount(), 10);
    EXPECT_EQ(KQoxVector4(mesh->GetControlPoints()[9]), KQoxVector4(0, 0, 0, 1));
    EXPECT_EQ(KQoxVector4(mesh->GetNormals()[9]), KQoxVector4(0, 0, 1, 0));
    EXPECT_EQ(KQoxVector4(mesh->GetControlPoints()[8]), KQoxVector4(0, 1, 0, 1));
}

namespace {

// The file at path read with the given parallel reading; the scene's
// digest, or 0 when the read failed.
uint64_t DigestWithThreads(const std::string& path, int threads, size_t minimumBytes,
                           const std::string& skipped = std::string())
{
    ObjRead r(path + ".none"); // a fresh manager and scene, nothing read
    KQoxReaderObj reader(*r.manager);
    reader.SetParallelRuns(threads, minimumBytes);
    if (!reader.FileOpen(path.c_str()))
        return 0;
    std::unique_ptr<KStreamOptions> options(reader.GetReadOptions(false));
    // The meshes straight under the root, where the digest looks.
    static_cast<KStreamOptionsObj*>(options.get())->SetOption(1, 0);
    if (!reader.Read(r.scene, options.get()))
        return 0;
    return SceneDigest(r, skipped);
}

} // namespace

TEST(ObjReadMesh, ParallelRunsReadWhatStatementByStatementReads)
{
    // Runs of every length, cut into portions anywhere, broken by statements
    // of other kinds, continued lines, comments and blank lines, with
    // references backwards and forwards, faces without normals only inside
    // runs: portions read in parallel build the same scene.
    std::string text = "mtllib looks.mtl\n";
    for (int block = 0; block < 24; ++block)
    {
        const int n = 1 + block * 37 % 500;
        for (int i = 0; i < n; ++i)
        {
            text += "v " + std::to_string(i * 0.5) + " " + std::to_string(block) + " -" + std::to_string(i % 7) + "\n";
            if (i % 3 == 0)
                text += "vt 0." + std::to_string(i % 10) + " 1\n";
            if (i % 4 == 1)
                text += "  vn 0 0 1\r\n";
            if (i % 97 == 5)
                text += "# a comment\n\n";
        }
        if (block % 5 == 2)
            text += "v 1 2 \\\n 3\n";
        if (block % 3 == 0)
            text += "g part" + std::to_string(block % 4) + "\n";
        if (block % 7 == 1)
            text += "usemtl " + std::string(block % 2 ? "Red" : "Blue") + "\ns " + std::to_string(block % 3) + "\n";
        for (int f = 0; f < 2 * n; ++f)
        {
            const int a = -1 - f % n;
            switch (f % 6)
            {
            case 0:
                text += "f " + std::to_string(a) + "//1 " + std::to_string(a - 1) + "//1 -" + std::to_string(n + 1) +
                        "//-1\n";
                break;
            case 1: text += "f 1/1/1 2/2/2 3/3/3 4//1\n"; break;
            case 2: text += "f 1 2 99999 3\r\n"; break;
            case 3: text += "f 5/1/1 6/2/1 \\\n 7/3/1\n"; break;
            case 4: text += "f 1 2\n"; break;
            default: text += "f " + std::to_string(f % n + 1) + "//1 2//1 3//-1 x\n";
            }
        }
    }
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("looks.mtl"), "newmtl Red\nKd 1 0 0\nnewmtl Blue\nKd 0 0 1\nmap_Kd blue.tif\n");
    const std::string path = dir.File("runs.obj");
    qoxtest::WriteFile(path, text);
    const uint64_t expected = DigestWithThreads(path, 1, 0);
    ASSERT_NE(expected, 0u);
    const std::pair<int, size_t> settings[] = {{2, 1}, {3, 100}, {4, 5000}, {7, 1 << 16}};
    for (const auto& setting : settings)
        EXPECT_EQ(DigestWithThreads(path, setting.first, setting.second), expected) << setting.first;

    // A vertex with too few numbers fails the read either way.
    qoxtest::WriteFile(path, text + "v 1 2\n" + text);
    EXPECT_EQ(DigestWithThreads(path, 1, 0), 0u);
    EXPECT_EQ(DigestWithThreads(path, 4, 1000), 0u);
}

namespace {

// One small scene (a quad of two triangles in a group, a textured material
// from a library) as the plain text this reader's users write, line by
// line, the fields parted by one blank.
const char* const kSceneObj[] = {"mtllib scene.mtl",
                                 "v 0 0 0",
                                 "v 1 0 0",
                                 "v 1 1 0",
                                 "v 0 1 0",
                                 "vt 0 0",
                                 "vt 1 0",
                                 "vt 1 1",
                                 "vt 0 1",
                                 "vn 0 0 1",
                                 "g quad part",
                                 "usemtl Brick",
                                 "s 1",
                                 "f 1/1/1 2/2/1 3/3/1",
                                 "f 1/1/1 3/3/1 4/4/1"};
const char* const kSceneMtl[] = {"newmtl Brick", "Ka 0 0 0", "Kd 0.8 0.25 0.5", "Ns 40", "map_Kd brick.tif"};

// The lines, each after indent and before lineBreak, the i-th blank of
// them written as blanks(i).
template <size_t N, class Blanks>
std::string WrittenWith(const char* const (&lines)[N], const char* indent, const char* lineBreak, Blanks&& blanks)
{
    std::string text;
    int blank = 0;
    for (const char* line : lines)
    {
        text += indent;
        for (const char* c = line; *c; ++c)
            text += *c == ' ' ? std::string(blanks(blank++)) : std::string(1, *c);
        text += lineBreak;
    }
    return text;
}

const char* OneBlank(int)
{
    return " ";
}

// The scene's text in a form another editor writes, and what the reader
// tells of it.
struct TextForm
{
    std::string mName;
    std::string mObj;
    std::string mMtl;
    std::string mMessage;
    // tinyobjloader reads it as it reads the plain text (it takes a byte
    // order mark for part of the first statement).
    bool mPeerReadsIt;
    // The group's node: the words of "g" joined by "_" at the first blank,
    // a run of blanks after it kept (each tab read as a blank).
    std::string mNode = "quad_part";
};

std::vector<TextForm> SceneTextForms()
{
    const std::string bom = "\xEF\xBB\xBF";
    const std::string obj = WrittenWith(kSceneObj, "", "\n", OneBlank);
    const std::string mtl = WrittenWith(kSceneMtl, "", "\n", OneBlank);
    auto tab = [](int) { return "\t"; };
    // The first blank, the library line's, is one character: tinyobjloader
    // takes the blanks after the first as part of the library's name.
    auto mixed = [](int i) {
        static const char* const kBlanks[] = {"\t", "\t \t", "  ", " \t"};
        return kBlanks[i % 4];
    };
    // The library line after the vertices.
    std::string verticesFirst = obj.substr(obj.find('\n') + 1);
    verticesFirst.insert(verticesFirst.find("g "), "mtllib scene.mtl\n");
    std::vector<TextForm> forms = {
        {"plain", obj, mtl, "", true},
        {"byte order mark before the library line", bom + obj, mtl, "", false},
        {"byte order mark before a vertex", bom + verticesFirst, mtl, "", false},
        {"byte order mark before a comment", bom + "# saved on Windows\n" + obj, mtl, "", true},
        {"byte order mark in the library", obj, bom + mtl, "", false},
        {"tabs between every field", WrittenWith(kSceneObj, "", "\n", tab), WrittenWith(kSceneMtl, "", "\n", tab), "",
         true},
        {"tabs and blanks mixed", WrittenWith(kSceneObj, "\t", "\n", mixed),
         WrittenWith(kSceneMtl, " \t", "\t \n", mixed), "", true, "quad_  part"},
        {"blanks after the statements", WrittenWith(kSceneObj, "", " \t\n", mixed), mtl, "", true, "quad_  part"},
        {"CR LF", WrittenWith(kSceneObj, "", "\r\n", OneBlank), WrittenWith(kSceneMtl, "", "\r\n", OneBlank), "", true},
        {"CR", WrittenWith(kSceneObj, "", "\r", OneBlank), WrittenWith(kSceneMtl, "", "\r", OneBlank), "", true},
        {"all at once", bom + WrittenWith(kSceneObj, "", "\r\n", tab), bom + WrittenWith(kSceneMtl, "", "\r\n", tab),
         "", false},
    };
    // Statements of the format this reader leaves out, first in the file.
    for (const char* first : {"bsp 1 2 3 4", "bzp 1 2 3 4", "cdc 1 2 3 4", "cdp 1 2 3 4", "res 4 4"})
    {
        const std::string keyword = std::string(first).substr(0, 3);
        forms.push_back(
            {keyword + " first", first + ("\n" + obj), mtl, "Object not supported : " + keyword + "\n", true});
    }
    return forms;
}

// A corner, a material and a texture as the descriptions of faces write
// them; the texture by its file's name without folders.
std::string CornerText(double x, double y, double z, double u, double v)
{
    std::ostringstream out;
    out << " (" << x << ' ' << y << ' ' << z << " | " << u << ' ' << v << ')';
    return out.str();
}

std::string LookText(const std::string& material, double red, double green, double blue, const std::string& texture)
{
    std::ostringstream out;
    out << ' ' << material << " Kd " << red << ' ' << green << ' ' << blue << ' '
        << texture.substr(texture.rfind('/') + 1);
    return out.str();
}

// Each face of the mesh, a line each: its corners, its material and its
// texture.
std::string FacesText(KQoxMesh& mesh)
{
    std::string text;
    const bool materialEach = mesh.GetMaterialMappingMode() == KQoxLayerElement::eBY_POLYGON;
    const bool textureEach = mesh.GetTextureMappingMode() == KQoxLayerElement::eBY_POLYGON;
    for (int p = 0; p < mesh.GetPolygonCount(); ++p)
    {
        text += "face";
        for (int c = 0; c < mesh.GetPolygonSize(p); ++c)
        {
            const KQoxVector4& point = mesh.GetControlPoints()[mesh.GetPolygonVertex(p, c)];
            const int uv = mesh.GetTextureUVIndex(p, c);
            const KQoxVector2 at = mesh.GetTextureUV() && uv >= 0 ? mesh.GetTextureUV()[uv] : KQoxVector2(-1, -1);
            text += CornerText(point[0], point[1], point[2], at[0], at[1]);
        }
        KQoxMaterial* material =
            mesh.GetMaterialIndices() ? mesh.GM(mesh.GetMaterialIndices()[materialEach ? p : 0], 0) : nullptr;
        KQoxTexture* texture =
            mesh.GetTextureIndices() ? mesh.GT(mesh.GetTextureIndices()[textureEach ? p : 0], 0) : nullptr;
        if (material)
            text += LookText(material->GetNameWithoutNameSpacePrefix().ToChars(), material->GetDiffuse().mRed,
                             material->GetDiffuse().mGreen, material->GetDiffuse().mBlue,
                             texture ? texture->GetFileName() : "none");
        text += "\n";
    }
    return text;
}

// A read of the file on up to threads threads (runs of any length read in
// parallel): its result and message, the name and faces of each node, and
// the digest of the whole scene.
struct TextRead
{
    bool mOk = false;
    std::string mMessage;
    std::string mNodes;
    uint64_t mDigest = 0;
};

TextRead ReadOnThreads(const std::string& path, int threads)
{
    TextRead read;
    ObjRead r(path + ".none"); // a fresh manager and scene, nothing read
    KQoxReaderObj reader(*r.manager);
    reader.SetParallelRuns(threads, 1);
    if (!reader.FileOpen(path.c_str()))
        return read;
    std::unique_ptr<KStreamOptions> options(reader.GetReadOptions(false));
    static_cast<KStreamOptionsObj*>(options.get())->SetOption(1, 0);
    read.mOk = reader.Read(r.scene, options.get());
    KString message;
    reader.GetMessage(message);
    read.mMessage = message.ToChars();
    KQoxNode* root = r.scene.GetRootNode();
    for (int c = 0; c < root->GetChildCount(false); ++c)
    {
        KQoxNode* node = root->GetChild(c);
        read.mNodes += std::string(node->GetNameWithoutNameSpacePrefix().ToChars()) + "\n";
        if (KQoxMesh* mesh = static_cast<KQoxMesh*>(node->GetMesh()))
            read.mNodes += FacesText(*mesh);
    }
    read.mDigest = SceneDigest(r);
    return read;
}

} // namespace

TEST(ObjReadText, FormsOfOtherEditorsReadAsThePlainForm)
{
    // A byte order mark, tabs or mixed white space between fields, CR LF or
    // CR line breaks, statements this reader leaves out first: the same
    // scene as the plain text, read statement by statement or in parallel.
    qoxtest::TempDir dir;
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("brick.tif"), "image"));
    const std::string faces = "face (0 0 0 | 0 0) (1 0 0 | 1 0) (1 1 0 | 1 1) Brick Kd 0.8 0.25 0.5 brick.tif\n"
                              "face (0 0 0 | 0 0) (1 1 0 | 1 1) (0 1 0 | 0 1) Brick Kd 0.8 0.25 0.5 brick.tif\n";
    std::map<std::string, uint64_t> digests; // by node name
    for (const TextForm& form : SceneTextForms())
    {
        ASSERT_TRUE(qoxtest::WriteFile(dir.File("scene.obj"), form.mObj));
        ASSERT_TRUE(qoxtest::WriteFile(dir.File("scene.mtl"), form.mMtl));
        for (int threads : {1, 4})
        {
            SCOPED_TRACE(form.mName + ", threads " + std::to_string(threads));
            const TextRead read = ReadOnThreads(dir.File("scene.obj"), threads);
            EXPECT_TRUE(read.mOk);
            EXPECT_EQ(read.mMessage, form.mMessage);
            EXPECT_EQ(read.mNodes, form.mNode + "\n" + faces);
            // Every other value of the scene alike.
            EXPECT_EQ(digests.emplace(form.mNode, read.mDigest).first->second, read.mDigest);
        }
    }
}

TEST(ObjReadText, TinyObjLoaderReadsTheFormsAsThisReaderDoes)
{
#ifndef QOX_HAVE_TINYOBJ
    GTEST_SKIP() << "tinyobjloader is not installed: the text forms are not compared with its reading";
#else
    qoxtest::TempDir dir;
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("brick.tif"), "image"));
    for (const TextForm& form : SceneTextForms())
    {
        if (!form.mPeerReadsIt)
            continue;
        SCOPED_TRACE(form.mName);
        ASSERT_TRUE(qoxtest::WriteFile(dir.File("scene.obj"), form.mObj));
        ASSERT_TRUE(qoxtest::WriteFile(dir.File("scene.mtl"), form.mMtl));
        tinyobj::attrib_t attrib;
        std::vector<tinyobj::shape_t> shapes;
        std::vector<tinyobj::material_t> materials;
        std::string warn, err;
        ASSERT_TRUE(tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, dir.File("scene.obj").c_str(),
                                     (dir.Path() + "/").c_str(), false))
            << err;
        std::string peer;
        for (const tinyobj::shape_t& shape : shapes)
        {
            size_t corner = 0;
            for (size_t f = 0; f < shape.mesh.num_face_vertices.size(); ++f)
            {
                peer += "face";
                for (int c = 0; c < shape.mesh.num_face_vertices[f]; ++c, ++corner)
                {
                    const tinyobj::index_t& index = shape.mesh.indices[corner];
                    const float* point = &attrib.vertices[3 * static_cast<size_t>(index.vertex_index)];
                    const float* uv = &attrib.texcoords[2 * static_cast<size_t>(index.texcoord_index)];
                    peer += CornerText(point[0], point[1], point[2], uv[0], uv[1]);
                }
                const int id = shape.mesh.material_ids[f];
                if (id >= 0)
                {
                    const tinyobj::material_t& m = materials[static_cast<size_t>(id)];
                    peer += LookText(m.name, m.diffuse[0], m.diffuse[1], m.diffuse[2], m.diffuse_texname);
                }
                peer += "\n";
            }
        }
        const TextRead read = ReadOnThreads(dir.File("scene.obj"), 1);
        EXPECT_EQ(read.mNodes.substr(read.mNodes.find('\n') + 1), peer);
    }
#endif
}

TEST(ObjReadText, EveryStatementKeywordBeginsAnObjFile)
{
    // Whatever statement of the format comes first, the file is taken as
    // OBJ text; a word that is none is not.
    const char* const keywords[] = {
        "v",        "vt",  "vn",     "vp",     "cstype",     "deg",       "bmat",   "step",  "p",
        "l",        "f",   "curv",   "curv2",  "surf",       "parm",      "trim",   "hole",  "scrv",
        "sp",       "end", "con",    "g",      "s",          "mg",        "o",      "bevel", "c_interp",
        "d_interp", "lod", "usemtl", "mtllib", "shadow_obj", "trace_obj", "ctech",  "stech", "bsp",
        "bzp",      "cdc", "cdp",    "res",    "call",       "csh",       "maplib", "usemap"};
    qoxtest::TempDir dir;
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxReaderObj reader(*manager);
    for (const char* keyword : keywords)
    {
        ASSERT_TRUE(qoxtest::WriteFile(dir.File("first.obj"), std::string(keyword) + " 1\nv 0 0 0\n"));
        EXPECT_TRUE(reader.FileOpen(dir.File("first.obj").c_str())) << keyword;
        reader.FileClose();
    }
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("first.obj"), "vv 1\nv 0 0 0\n"));
    EXPECT_FALSE(reader.FileOpen(dir.File("first.obj").c_str()));
}

TEST(ObjReadMesh, OneThreadReadsWhatStatementByStatementReads)
{
    // Runs read on the calling thread, plain vertex lines where they lie:
    // every awkward form builds what the statement loop builds (small files
    // are read statement by statement with the default threads).
    const std::string odd = "v 1 2 3 4 5\nv  1 2 3\nv 1 2 3\t\nvt 1 2 3 4\nvn 1 2 3 # c\nv 1 2 3 \\\n\nv 1e-2 -0 5\n"
                            "vt 7\nvn .5 1. -2\nv 4 5 6  \n\n\nv 7 8 9\r\r\nf 1 2 3\nf -1 -2 -3\n";
    for (const char* lineBreak : {"\n", "\r\n", "\r"})
        for (bool finalBreak : {true, false})
        {
            SCOPED_TRACE(std::string(lineBreak == std::string("\n") ? "LF"
                                     : lineBreak[1]                 ? "CRLF"
                                                                    : "CR") +
                         (finalBreak ? " ended" : ""));
            const std::string text = AwkwardText(lineBreak, finalBreak) + (finalBreak ? "" : lineBreak) + odd;
            qoxtest::TempDir dir;
            qoxtest::WriteFile(dir.File("looks.mtl"), "newmtl Red\nKd 1 0 0\nnewmtl Blue\nKd 0 0 1\nmap_Kd blue.tif\n");
            const std::string path = dir.File("model.obj");
            qoxtest::WriteFile(path, AwkwardText(lineBreak, finalBreak));
            EXPECT_EQ(DigestWithThreads(path, 1, 0), 0x5a70c6574e057d31ULL);
            qoxtest::WriteFile(path, text);
            EXPECT_EQ(DigestWithThreads(path, 1, 0), ReadDigest(text));
        }
}

TEST(ObjReadMesh, CornersNumberedAsReadBuildWhatKeptCornersBuild)
{
    // A mesh numbers its corners as they are read from its first faces on; a
    // second smoothing group, a face without normals, or faces again after
    // another group's turn them back into corners. The same faces with
    // another group's face after the first one are kept as corners from
    // there on until the meshes are built: every mesh is the same either
    // way, on one thread or several.
    Draws next(7, 16);
    const char* endings[] = {"one group", "smoothing", "no normals", "other group", "no UVs"};
    for (int variant = 0; variant < 5; ++variant)
    {
        std::string vertices;
        const int n = 60;
        for (int i = 0; i < n; ++i)
            vertices += "v " + std::to_string(i) + " " + std::to_string(i % 7) + " " + std::to_string(i % 3) +
                        "\nvt 0." + std::to_string(i % 9) + " 0.5\nvn 0 " + std::to_string(i % 2) + " 1\n";
        std::string faces = "g mesh\n";
        for (int f = 0; f < 3000; ++f)
        {
            if (f == 2000 && variant == 1)
                faces += "s 3\n";
            if (f == 2000 && variant == 3)
                faces += "g second\n";
            if (f % 700 == 699 && variant == 3)
                faces += f % 1400 == 699 ? "g mesh\n" : "g second\n";
            faces += "f";
            for (int c = 0; c < 3 + f % 2; ++c)
            {
                // Few distinct corners: most repeat one seen before.
                const int v = 1 + static_cast<int>(next(n));
                const std::string t = std::to_string(1 + v % 5 + static_cast<int>(next(2)));
                const std::string normal = std::to_string(1 + static_cast<int>(next(2)));
                if (variant == 2 && f == 2500 && c == 1)
                    faces += " " + std::to_string(v) + "/" + t;
                else if (variant == 4 && f >= 2000)
                    faces += " " + std::to_string(v) + "//" + normal;
                else
                    faces += " " + std::to_string(v) + "/" + t + "/" + normal;
            }
            faces += "\n";
        }
        qoxtest::TempDir dir;
        const std::string numbered = dir.File("numbered.obj");
        const std::string kept = dir.File("kept.obj");
        qoxtest::WriteFile(numbered, vertices + faces);
        const size_t secondFace = faces.find("\nf", faces.find("\nf") + 1) + 1;
        qoxtest::WriteFile(kept, vertices + faces.substr(0, secondFace) + "g taker\nf 1/1/1 2/2/1 3/3/1\ng mesh\n" +
                                     faces.substr(secondFace));
        const uint64_t expected = DigestWithThreads(kept, 1, 0, "taker");
        ASSERT_NE(expected, 0u) << endings[variant];
        EXPECT_EQ(DigestWithThreads(numbered, 1, 0), expected) << endings[variant];
        EXPECT_EQ(DigestWithThreads(numbered, 4, 64), expected) << endings[variant];
    }
}

TEST(ObjReadMesh, EachGroupNumberedAsReadKeepsItsNumbersWhenTheNextGroupStarts)
{
    // Group a is numbered and left for good; b is left, then gets faces
    // again (its numbers turn back into corners); c gets a second smoothing
    // group. Worked out by hand: points in order of first appearance, the
    // smoothing groups of c in ascending order.
    const std::string text = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                             "vn 0 0 1\nvn 0 0 -1\n"
                             "g a\nf 1/1/1 2/2/1 3/3/1\nf 1/1/1 3/3/1 4/4/1\n"
                             "g b\nf 4/4/2 3/3/2 2/2/2\n"
                             "g c\nf 2/2/1 3/3/1 4/4/1\n"
                             "g b\nf 4/4/2 2/2/2 1/1/2\n"
                             "g c\ns 2\nf 1/1/1 2/2/1 4/4/1\n";
    const KQoxVector4 corner[] = {KQoxVector4(0, 0, 0, 1), KQoxVector4(1, 0, 0, 1), KQoxVector4(1, 1, 0, 1),
                                  KQoxVector4(0, 1, 0, 1)};
    struct Expected
    {
        const char* mName;
        int mVertices[6];
        int mPoints[4]; // file vertex (zero-based) of each control point
        double mNormalZ;
    };
    const Expected expected[] = {{"a", {0, 1, 2, 0, 2, 3}, {0, 1, 2, 3}, 1.0},
                                 {"b", {0, 1, 2, 0, 2, 3}, {3, 2, 1, 0}, -1.0},
                                 {"c", {0, 1, 2, 3, 0, 2}, {1, 2, 3, 0}, 1.0}};
    qoxtest::TempDir dir;
    auto r = ReadText(dir, text);
    ASSERT_TRUE(r->ok);
    for (const Expected& e : expected)
    {
        KQoxMesh* mesh = r->Mesh(e.mName);
        ASSERT_NE(mesh, nullptr) << e.mName;
        ASSERT_EQ(mesh->GetPolygonVertexCount(), 6) << e.mName;
        ASSERT_EQ(mesh->GetControlPointsCount(), 4) << e.mName;
        ASSERT_EQ(mesh->GetTextureUVCount(), 4) << e.mName;
        for (int i = 0; i < 6; ++i)
        {
            EXPECT_EQ(mesh->GetPolygonVertices()[i], e.mVertices[i]) << e.mName << " " << i;
            // Each point has a UV of its own, numbered as the points are.
            EXPECT_EQ(mesh->GetTextureUVIndex(i / 3, i % 3), e.mVertices[i]) << e.mName << " " << i;
        }
        for (int p = 0; p < 4; ++p)
        {
            EXPECT_EQ(KQoxVector4(mesh->GetControlPoints()[p]), corner[e.mPoints[p]]) << e.mName << " " << p;
            EXPECT_EQ(KQoxVector4(mesh->GetNormals()[p]), KQoxVector4(0, 0, e.mNormalZ, 0)) << e.mName << " " << p;
        }
    }
    // Threads read runs of faces apart: the same scene.
    const std::string path = dir.File("model.obj");
    EXPECT_EQ(DigestWithThreads(path, 4, 1), DigestWithThreads(path, 1, 0));
}

TEST(ObjReadMesh, ManyGroupsEachNumberedBuildWhatKeptCornersBuild)
{
    // Thousands of groups, each numbered from its first faces; some come
    // back later (kept as corners from then on), some get a face without
    // normals or a second smoothing group. Read again with every group's
    // first face followed by a one-face group of its own (so that each is
    // kept as corners from its second face on): the same meshes.
    Draws next(23, 16);
    std::string vertices;
    const int n = 400;
    for (int i = 0; i < n; ++i)
        vertices += "v " + std::to_string(i) + " " + std::to_string(i % 11) + " 0.5\nvt 0." +
                    std::to_string(i % 7) + " 0.25\nvn 0 0 " + std::to_string(1 + i % 2) + "\n";
    std::string numbered = vertices, kept = vertices;
    for (int g = 0; g < 3000; ++g)
    {
        // One group in ten is one seen before.
        const int group = g % 10 == 9 ? static_cast<int>(next(static_cast<unsigned>(g))) : g;
        const std::string name = "g part" + std::to_string(group) + "\n";
        numbered += name;
        kept += name;
        const int faces = 1 + static_cast<int>(next(6));
        for (int f = 0; f < faces; ++f)
        {
            std::string line = "f";
            for (int c = 0; c < 3; ++c)
            {
                const int v = 1 + static_cast<int>(next(n));
                line += " " + std::to_string(v) + "/" + std::to_string(v);
                if (!(g % 97 == 5 && f == faces - 1 && c == 1))
                    line += "/" + std::to_string(v);
            }
            if (g % 89 == 3 && f == faces - 1)
            {
                numbered += "s 4\n";
                kept += "s 4\n";
            }
            numbered += line + "\n";
            kept += line + "\n";
            if (f == 0)
                kept += "g taker" + std::to_string(g) + "\nf 1/1/1 2/2/2 3/3/3\n" + name;
        }
        numbered += "s off\n";
        kept += "s off\n";
    }
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("numbered.obj"), numbered);
    qoxtest::WriteFile(dir.File("kept.obj"), kept);
    ObjRead a(dir.File("numbered.obj")), b(dir.File("kept.obj"));
    ASSERT_TRUE(a.ok);
    ASSERT_TRUE(b.ok);
    auto meshes = [](ObjRead& r) {
        std::map<std::string, KQoxMesh*> byName;
        KQoxNode* root = r.scene.GetRootNode();
        for (int c = 0; c < root->GetChildCount(false); ++c)
            byName[root->GetChild(c)->GetNameWithoutNameSpacePrefix().ToChars()] =
                static_cast<KQoxMesh*>(root->GetChild(c)->GetMesh());
        return byName;
    };
    const std::map<std::string, KQoxMesh*> ours = meshes(a), theirs = meshes(b);
    int compared = 0;
    for (const auto& entry : ours)
    {
        const std::string& name = entry.first;
        KQoxMesh* x = entry.second;
        auto found = theirs.find(name);
        ASSERT_TRUE(found != theirs.end()) << name;
        KQoxMesh* y = found->second;
        ASSERT_NE(x, nullptr) << name;
        ASSERT_NE(y, nullptr) << name;
        ASSERT_EQ(x->GetPolygonVertexCount(), y->GetPolygonVertexCount()) << name;
        ASSERT_EQ(x->GetControlPointsCount(), y->GetControlPointsCount()) << name;
        ASSERT_EQ(x->GetTextureUVCount(), y->GetTextureUVCount()) << name;
        const int corners = x->GetPolygonVertexCount(), points = x->GetControlPointsCount();
        EXPECT_EQ(std::memcmp(x->GetPolygonVertices(), y->GetPolygonVertices(), sizeof(int) * corners), 0) << name;
        EXPECT_EQ(std::memcmp(x->GetControlPoints(), y->GetControlPoints(), sizeof(KQoxVector4) * points), 0) << name;
        EXPECT_EQ(std::memcmp(x->GetNormals(), y->GetNormals(), sizeof(KQoxVector4) * points), 0) << name;
        EXPECT_EQ(std::memcmp(x->GetTextureUV(), y->GetTextureUV(), sizeof(KQoxVector2) * x->GetTextureUVCount()), 0)
            << name;
        for (int p = 0; p < x->GetPolygonCount(); ++p)
            for (int v = 0; v < x->GetPolygonSize(p); ++v)
                ASSERT_EQ(x->GetTextureUVIndex(p, v), y->GetTextureUVIndex(p, v)) << name;
        ++compared;
    }
    EXPECT_GT(compared, 2000);
    EXPECT_EQ(DigestWithThreads(dir.File("numbered.obj"), 4, 1), DigestWithThreads(dir.File("numbered.obj"), 1, 0));
}

TEST(ObjReadMesh, NumberedGroupsGiveTheUVsOfGroupsKeptAsCorners)
{
    // Groups numbered as read: small ones, a large one, some whose first
    // and last corners have no UV, and one numbered before any texture
    // vertex was read. Read again with each group kept as corners from its
    // second face on: the same UVs at every corner.
    const int side = 200;
    std::string head = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\n";
    std::string early = "g early\nf 1//1 2//1 3//1\nf 3//1 2//1 1//1\n";
    std::string vertices;
    for (int i = 0; i < side * side; ++i)
        vertices += "v " + std::to_string(i % side) + " " + std::to_string(i / side) + " 0\nvt 0." +
                    std::to_string(i % 13) + " 0." + std::to_string(i % 7) + "\n";
    const int base = 4; // the first of those vertices, one-based
    std::vector<std::pair<std::string, std::vector<std::string>>> groups;
    auto quad = [&](int x, int y, bool uv) {
        const int a = base + y * side + x, b = a + 1, c = a + side + 1, d = a + side;
        std::string line = "f";
        for (int v : {a, b, c, d})
            line += " " + std::to_string(v) + (uv ? "/" + std::to_string(v - 3) : "/") + "/1";
        return line + "\n";
    };
    groups.push_back({"large", {}});
    for (int y = 0; y + 1 < side; ++y)
        for (int x = 0; x + 1 < side; ++x)
            groups.back().second.push_back(quad(x, y, true));
    for (int g = 0; g < 40; ++g)
    {
        groups.push_back({"small" + std::to_string(g), {}});
        for (int f = 0; f < 30 + g; ++f)
            groups.back().second.push_back(quad((g * 3 + f) % (side - 1), g, g % 2 == 0 || (f >= 5 && f < 25)));
    }
    std::string numbered = head + early + vertices, kept = head + early + vertices;
    for (const auto& group : groups)
    {
        numbered += "g " + group.first + "\n";
        kept += "g " + group.first + "\n";
        for (size_t f = 0; f < group.second.size(); ++f)
        {
            numbered += group.second[f];
            kept += group.second[f];
            if (f == 0)
                kept += "g taker" + group.first + "\nf 1//1 2//1 3//1\ng " + group.first + "\n";
        }
    }
    // "early" comes back after texture vertices: kept as corners in both.
    numbered += early;
    kept += early;
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("numbered.obj"), numbered);
    qoxtest::WriteFile(dir.File("kept.obj"), kept);
    ObjRead a(dir.File("numbered.obj")), b(dir.File("kept.obj"));
    ASSERT_TRUE(a.ok);
    ASSERT_TRUE(b.ok);
    auto uvsAt = [](ObjRead& r, const std::string& name) {
        std::vector<double> uvs;
        KQoxMesh* mesh = r.Mesh(name.c_str());
        EXPECT_NE(mesh, nullptr) << name;
        if (!mesh)
            return uvs;
        const KQoxVector2* table = mesh->GetTextureUV();
        for (int p = 0; p < mesh->GetPolygonCount(); ++p)
            for (int v = 0; v < mesh->GetPolygonSize(p); ++v)
            {
                const int index = mesh->GetTextureUVIndex(p, v);
                uvs.push_back(index);
                uvs.push_back(table && index >= 0 && index < mesh->GetTextureUVCount() ? table[index][0] : -1);
                uvs.push_back(table && index >= 0 && index < mesh->GetTextureUVCount() ? table[index][1] : -1);
            }
        return uvs;
    };
    for (const auto& group : groups)
    {
        const std::vector<double> x = uvsAt(a, group.first), y = uvsAt(b, group.first);
        EXPECT_EQ(x.size(), group.second.size() * 4 * 3) << group.first;
        EXPECT_TRUE(x == y) << group.first;
    }
    EXPECT_TRUE(uvsAt(a, "early") == uvsAt(b, "early"));
    EXPECT_EQ(DigestWithThreads(dir.File("numbered.obj"), 4, 1), DigestWithThreads(dir.File("numbered.obj"), 1, 0));
}

TEST(ObjReadMesh, ParallelRunsNumberedWhileTheNextIsParsedKeepFileOrder)
{
    // Megabytes of faces of one numbered mesh, read in many parallel runs:
    // each run's corners are numbered while the next run is parsed. A face
    // without normals, or a second smoothing group, late in the file stops
    // the numbering in the middle of that; the mesh is what one thread builds.
    Draws next(11, 16);
    const int n = 5000;
    std::string vertices;
    for (int i = 0; i < n; ++i)
        vertices += "v " + std::to_string(i) + " " + std::to_string(i % 7) + " 0.25\nvt 0." + std::to_string(i % 9) +
                    " 0.5\nvn 0 " + std::to_string(i % 2) + " 1\n";
    const char* endings[] = {"all normals", "no normals late", "second group late", "comments between runs"};
    for (int variant = 0; variant < 4; ++variant)
    {
        std::string faces = "g mesh\n";
        const int count = 120000;
        for (int f = 0; f < count; ++f)
        {
            if (variant == 2 && f == count * 7 / 10)
                faces += "s 2\n";
            if (variant == 3 && f % 25000 == 24999)
                faces += "# the numbering goes on\nusemtl none\n";
            faces += "f";
            for (int c = 0; c < 4; ++c)
            {
                const int v = 1 + static_cast<int>(next(n));
                faces += " " + std::to_string(v) + "/" + std::to_string(1 + v % 3);
                if (!(variant == 1 && f == count * 6 / 10 && c == 2))
                    faces += "/" + std::to_string(1 + static_cast<int>(next(2)));
            }
            faces += "\n";
        }
        ASSERT_GT(faces.size(), size_t(3) << 20);
        qoxtest::TempDir dir;
        const std::string path = dir.File("many_runs.obj");
        qoxtest::WriteFile(path, vertices + faces);
        const uint64_t expected = DigestWithThreads(path, 1, 0);
        ASSERT_NE(expected, 0u) << endings[variant];
        EXPECT_EQ(DigestWithThreads(path, 4, 1000), expected) << endings[variant];
        EXPECT_EQ(DigestWithThreads(path, 3, 1 << 16), expected) << endings[variant];
    }
}

TEST(ObjReadMesh, LargeNumberedMeshTakenOverAsReadBuildsWhatKeptCornersBuild)
{
    // Enough corners that their point numbers outgrow small storage (over a
    // megabyte): the mesh takes them over as its polygon vertices. Alone,
    // and as the first of several groups (the rest kept as corners), the
    // meshes match those built from kept corners, on one thread and four.
    Draws next(11, 8);
    const int n = 5000;
    std::string vertices;
    for (int i = 0; i < n; ++i)
        vertices += "v " + std::to_string(i % 101) + " " + std::to_string(i % 13) + " " + std::to_string(i) +
                    "\nvt 0." + std::to_string(i % 97) + " 0.25\nvn 0 " + std::to_string(i % 3) + " 1\n";
    std::string faces;
    for (int f = 0; f < 90000; ++f)
    {
        faces += "f";
        for (int c = 0; c < 3 + f % 3; ++c)
        {
            const int v = 1 + static_cast<int>(next(n));
            faces += " " + std::to_string(v) + "/" + std::to_string(1 + (v + static_cast<int>(next(2))) % n) + "/" +
                     std::to_string(1 + (v + static_cast<int>(next(3))) % n);
        }
        faces += "\n";
    }
    std::string others;
    for (int g = 0; g < 3; ++g)
    {
        others += "g other" + std::to_string(g) + "\n";
        for (int f = 0; f < 500; ++f)
            others += "f " + std::to_string(1 + (f + g) % n) + "/1/1 " + std::to_string(1 + (f + g + 1) % n) + "/2/2 " +
                      std::to_string(1 + (f + g + 2) % n) + "/3/3\n";
    }
    qoxtest::TempDir dir;
    for (bool several : {false, true})
    {
        const std::string numbered = dir.File("numbered.obj");
        const std::string kept = dir.File("kept.obj");
        const std::string rest = several ? others : std::string();
        qoxtest::WriteFile(numbered, vertices + "g mesh\n" + faces + rest);
        qoxtest::WriteFile(kept, vertices + "g taker\nf 1/1/1 2/2/1 3/3/1\ng mesh\n" + faces + rest);
        const uint64_t expected = DigestWithThreads(kept, 1, 0, "taker");
        ASSERT_NE(expected, 0u);
        EXPECT_EQ(DigestWithThreads(numbered, 1, 0), expected) << several;
        EXPECT_EQ(DigestWithThreads(numbered, 4, 1000), expected) << several;
    }
}

TEST(ObjReadMesh, LastMeshFilledOverTheListsPagesBuildsWhatAnEarlierMeshBuilds)
{
    // The last mesh built gathers its points, normals and UVs in waves, the
    // file's list pages no later point reads going where the next wave
    // writes. Built before another mesh instead, it reads the lists as they
    // are: the same mesh either way. Grids in file order, with faces
    // shuffled, and with corners without UVs or with points sharing a
    // vertex (several points per vertex, UV numbers skipping points).
    const int side = 220;
    for (int variant = 0; variant < 4; ++variant)
    {
        Draws next(5 + variant, 8);
        std::string text;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                text += "v " + std::to_string(x * 0.25) + " " + std::to_string(y * 0.5) + " " +
                        std::to_string((x * 7 + y * 13) % 100) + "\n";
        for (int i = 0; i < side * side; ++i)
            text += "vt 0." + std::to_string(i % 1000) + " 0." + std::to_string(i % 77) + "\n";
        for (int i = 0; i < side * side; ++i)
            text += "vn 0 0." + std::to_string(i % 10) + " 1\n";
        std::vector<std::string> faces;
        for (int y = 0; y + 1 < side; ++y)
            for (int x = 0; x + 1 < side; ++x)
            {
                const long c[4] = {1L + y * side + x, 1L + y * side + x + 1, 1L + (y + 1) * side + x + 1,
                                   1L + (y + 1) * side + x};
                std::string face = "f";
                for (long k : c)
                {
                    const std::string v = std::to_string(k);
                    if (variant == 2 && (k + x) % 5 == 0)
                        face += " " + v + "//" + v; // no UV
                    else if (variant == 3 && k % 3 == 0)
                        face += " " + v + "/" + std::to_string(1 + next(side * side)) + "/" + v; // another point
                    else
                        face += " " + v + "/" + v + "/" + v;
                }
                faces.push_back(face + "\n");
            }
        if (variant == 1)
            for (size_t i = faces.size(); i > 1; --i)
                std::swap(faces[i - 1], faces[next(static_cast<unsigned>(i))]);
        text += "g grid\n";
        for (const std::string& face : faces)
            text += face;
        qoxtest::TempDir dir;
        const std::string alone = dir.File("alone.obj");
        const std::string before = dir.File("before.obj");
        qoxtest::WriteFile(alone, text);
        qoxtest::WriteFile(before, text + "g zlast\nf 1/1/1 2/2/2 3/3/3\n");
        const uint64_t expected = DigestWithThreads(before, 1, 0, "zlast");
        ASSERT_NE(expected, 0u) << variant;
        EXPECT_EQ(DigestWithThreads(alone, 1, 0), expected) << variant;
        EXPECT_EQ(DigestWithThreads(alone, 4, 1000), expected) << variant;
    }
}

TEST(ObjReadMesh, ParallelReadingWithNoThreadsToBeHad)
{
    // Runs of vertices and faces cut for several threads, and a mesh large
    // enough to gather its points and UVs in slices, on a system that has
    // no thread to give: the reading thread does all of it alone.
    std::string text;
    const int points = 70002;
    for (int i = 0; i < points; ++i)
        text += "v " + std::to_string(i % 101) + " " + std::to_string(i / 101) + " 0.5\nvt 0." +
                std::to_string(i % 10) + " 0." + std::to_string(i % 7) + "\n";
    for (int i = 1; i + 2 <= points; i += 3)
        text += "f " + std::to_string(i) + "/" + std::to_string(i) + " " + std::to_string(i + 1) + "/" +
                std::to_string(i + 1) + " " + std::to_string(i + 2) + "/" + std::to_string(i + 2) + "\n";
    qoxtest::TempDir dir;
    const std::string path = dir.File("many.obj");
    qoxtest::WriteFile(path, text);
    const uint64_t expected = DigestWithThreads(path, 1, 0);
    ASSERT_NE(expected, 0u);
    EXPECT_EQ(DigestWithThreads(path, 4, 1000), expected);
    // In a child, whose pool has no helper made yet.
    EXPECT_EQ(qoxtest::InChild([&] {
                  qoxtest::NoNewThreads noThreads;
                  if (!noThreads.Active())
                      return std::string();
                  std::string faults;
                  if (DigestWithThreads(path, 4, 1000) != expected)
                      faults += "4 threads\n";
                  if (DigestWithThreads(path, 3, 1) != expected)
                      faults += "3 threads\n";
                  return faults;
              }),
              "");
}

TEST(ObjReadMesh, ListPagesGoBackOnlyOnceNoMeshStillToComeReadsThem)
{
    // Lists large enough to be mapped, read by groups built in another order
    // than the file's (names sort without regard to case), over ranges that
    // share pages, from both ends, by negative references, with a group
    // reading one item of pages the others left long before, and faces
    // without normals whose smoothing adds normals behind the file's. Every
    // control point, normal and UV is the item its corner names.
    const int n = 70000;
    std::string text = "mtllib none.mtl\n";
    for (int i = 0; i < n; ++i)
        text += "v " + std::to_string(i) + " " + std::to_string(static_cast<long long>(i) * i % 77) + ".5 -" +
                std::to_string(i % 1000) + "\n";
    for (int i = 0; i < n; ++i)
        text += "vt 0." + std::to_string(i) + " " + std::to_string(i) + "\n";
    for (int i = 0; i < n; ++i)
        text += "vn 0 " + std::to_string(i) + " 1\n";
    struct Face
    {
        int mCorners[3];
        bool mNormals;
    };
    std::map<std::string, std::vector<Face>> groups;
    auto add = [&](const std::string& group, int a, int b, int c, bool normals, bool relative) {
        groups[group].push_back(Face{{a, b, c}, normals});
        text += "f";
        for (int v : {a, b, c})
        {
            const std::string index = std::to_string(relative ? v - n : v + 1);
            text += " " + index + "/" + index + (normals ? "/" + index : "");
        }
        text += "\n";
    };
    text += "g Later\n";
    for (int i = 0; i + 2 < 20000; i += 3)
        add("Later", i, i + 1, i + 2, true, false);
    text += "g earlier\ns 1\n";
    for (int i = 15000; i + 2 < 30000; i += 3)
        add("earlier", i + 2, i + 1, i, i % 2 == 0, true);
    text += "g middle\n";
    for (int i = 0; i + 2 < n; i += 97 * 3)
        add("middle", i, n - 1 - i, (i * 7) % n, true, i % 2 == 1);
    // Numbered groups over compact ranges, built after another group that
    // reads the same pages ("Nspan" after "Later") or before one ("Aspan"
    // before "Zlast").
    text += "g Nspan\ns off\n";
    for (int i = 5000; i + 2 < 7000; i += 3)
        add("Nspan", i, i + 1, i + 2, true, false);
    text += "g Aspan\n";
    for (int i = 40000; i + 2 < 45000; i += 3)
        add("Aspan", i + 2, i + 1, i, true, true);
    text += "g Zlast\n";
    for (int i = n - 1; i >= 30000; i -= 3)
        add("Zlast", i, i - 1, i - 2, true, false);
    text += "g Later\n";
    add("Later", n - 1, 0, 20000, true, true);
    qoxtest::TempDir dir;
    const std::string path = dir.File("pages.obj");
    qoxtest::WriteFile(path, text);
    for (int threads : {1, 4})
    {
        SCOPED_TRACE(threads);
        ObjRead r(path + ".none");
        KQoxReaderObj reader(*r.manager);
        reader.SetParallelRuns(threads, 1000);
        ASSERT_TRUE(reader.FileOpen(path.c_str()));
        std::unique_ptr<KStreamOptions> options(reader.GetReadOptions(false));
        static_cast<KStreamOptionsObj*>(options.get())->SetOption(1, 0); // meshes under the root
        ASSERT_TRUE(reader.Read(r.scene, options.get()));
        for (const auto& group : groups)
        {
            SCOPED_TRACE(group.first);
            KQoxMesh* mesh = r.Mesh(group.first.c_str());
            ASSERT_NE(mesh, nullptr);
            ASSERT_EQ(mesh->GetPolygonCount(), static_cast<int>(group.second.size()));
            const KQoxVector4* points = mesh->GetControlPoints();
            const KQoxVector4* normals = mesh->GetNormals();
            const KQoxVector2* uvs = mesh->GetTextureUV();
            int faults = 0;
            for (int p = 0; p < mesh->GetPolygonCount() && faults < 5; ++p)
                for (int c = 0; c < 3; ++c)
                {
                    const int v = group.second[static_cast<size_t>(p)].mCorners[c];
                    const int point = mesh->GetPolygonVertex(p, c);
                    const KQoxVector2 uv = uvs[mesh->GetTextureUVIndex(p, c)];
                    faults +=
                        KQoxVector4(points[point]) !=
                        KQoxVector4(v, static_cast<double>(static_cast<long long>(v) * v % 77) + 0.5, -(v % 1000), 1.0);
                    faults += uv != KQoxVector2(std::stod("0." + std::to_string(v)), v);
                    // Smoothed normals are made up (of unit length); the
                    // file's are the file's.
                    const KQoxVector4 normal = normals[point];
                    if (group.second[static_cast<size_t>(p)].mNormals)
                        faults += normal != KQoxVector4(0, v, 1, 0);
                    else
                        faults +=
                            std::fabs(std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]) -
                                      1.0) > 1e-9;
                }
            EXPECT_EQ(faults, 0);
        }
    }
}

TEST(ObjReadMesh, LargeFileOfManyGroupsReadsEveryCornersItems)
{
    // Past the size from which a file of several groups keeps its lists on
    // large pages from their first items: groups of a grid each, their own
    // vertices, texture vertices and normals written before their faces,
    // some smoothed, materials changing every few faces. Every corner's
    // position, UV and normal is the one its references name.
    const int side = 24, groups = 260;
    std::string text = "mtllib none.mtl\n";
    auto number = [](double value) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.6f", value);
        return std::string(buffer);
    };
    auto position = [&](long v) { return KQoxVector4(v % 1000 * 0.01, v / 1000 * 0.01, v % 7 * 0.001, 1.0); };
    auto uv = [&](long v) { return KQoxVector2(v % 97 / 96.0, v % 89 / 88.0); };
    auto normal = [&](long v) { return KQoxVector4(0.0, v % 5 * 0.1, 1.0, 0.0); };
    long base = 1;
    for (int g = 0; g < groups; ++g)
    {
        text += "g part" + std::to_string(g) + (g % 3 ? "\ns 1\n" : "\ns off\n");
        for (long v = base; v < base + side * side; ++v)
        {
            const KQoxVector4 p = position(v);
            text += "v " + number(p[0]) + " " + number(p[1]) + " " + number(p[2]) + "\n";
        }
        for (long v = base; v < base + side * side; ++v)
            text += "vt " + number(uv(v)[0]) + " " + number(uv(v)[1]) + "\n";
        for (long v = base; v < base + side * side; ++v)
            text += "vn 0 " + number(normal(v)[1]) + " 1\n";
        for (int y = 0; y + 1 < side; ++y)
            for (int x = 0; x + 1 < side; ++x)
            {
                if ((x + y) % 40 == 0)
                    text += "usemtl M" + std::to_string((g + x) % 7) + "\n";
                text += "f";
                for (long v : {base + y * side + x, base + y * side + x + 1, base + (y + 1) * side + x + 1})
                    text += " " + std::to_string(v) + "/" + std::to_string(v) + "/" + std::to_string(v);
                text += "\n";
            }
        base += side * side;
    }
    ASSERT_GT(text.size(), size_t(17) << 20);
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("large.obj"), text);
    ObjRead r(dir.File("large.obj"));
    ASSERT_TRUE(r.ok);
    base = 1;
    for (int g = 0; g < groups; ++g, base += side * side)
    {
        KQoxMesh* mesh = r.Mesh(("part" + std::to_string(g)).c_str());
        ASSERT_NE(mesh, nullptr) << g;
        ASSERT_EQ(mesh->GetPolygonCount(), (side - 1) * (side - 1)) << g;
        int faults = 0;
        for (int p = 0; p < mesh->GetPolygonCount(); ++p)
        {
            const int x = p % (side - 1), y = p / (side - 1);
            const long corners[3] = {base + y * side + x, base + y * side + x + 1, base + (y + 1) * side + x + 1};
            for (int c = 0; c < 3; ++c)
            {
                const int point = mesh->GetPolygonVertex(p, c);
                const KQoxVector4 at = mesh->GetControlPoints()[point];
                const KQoxVector4 expected = position(corners[c]);
                for (int k = 0; k < 3; ++k)
                    faults += std::fabs(at[k] - expected[k]) > 1e-9;
                const KQoxVector2 t = mesh->GetTextureUV()[mesh->GetTextureUVIndex(p, c)];
                faults += std::fabs(t[0] - uv(corners[c])[0]) > 1e-6 || std::fabs(t[1] - uv(corners[c])[1]) > 1e-6;
                if (g % 3 == 0) // not smoothed: the file's normals
                    faults += std::fabs(mesh->GetNormals()[point][1] - normal(corners[c])[1]) > 1e-9;
            }
        }
        ASSERT_EQ(faults, 0) << g;
    }
}

TEST(ObjReadMesh, PodArrayGivesBackWholePagesOnly)
{
    // Mapped arrays give back the whole pages within the range and keep
    // every item around it; malloc'd ones give back nothing.
    KObjPodArray<double> mapped;
    for (int i = 0; i < 400000; ++i)
        ASSERT_TRUE(mapped.push_back(i + 0.25));
    ASSERT_TRUE(mapped.drops_pages());
    EXPECT_TRUE(mapped.drop_pages(1001, 300003));
    // Items 1001 and 300002, at the ends of the range, share their pages
    // with kept items (512 to a page): those pages stay.
    for (int i : {0, 1000, 1001, 1023, 299520, 300002, 300003, 300004, 399999})
        EXPECT_EQ(mapped[static_cast<size_t>(i)], i + 0.25) << i;
    EXPECT_TRUE(mapped.drop_pages(5, 5));
    EXPECT_EQ(mapped[5], 5.25);
    // Room made at once keeps the items, from a small block to a mapped one.
    KObjPodArray<double> grown;
    for (int i = 0; i < 3000; ++i)
        ASSERT_TRUE(grown.push_back(i * 0.5));
    ASSERT_TRUE(grown.reserve(kObjLargePageBytes / sizeof(double)));
    EXPECT_EQ(grown.capacity(), kObjLargePageBytes / sizeof(double));
    EXPECT_TRUE(grown.drops_pages());
    EXPECT_TRUE(grown.reserve(10)); // room enough already: nothing changes
    EXPECT_EQ(grown.capacity(), kObjLargePageBytes / sizeof(double));
    for (int i = 0; i < 3000; i += 7)
        ASSERT_EQ(grown[static_cast<size_t>(i)], i * 0.5) << i;
    // The room past the items goes back, the items and the page of the
    // last one stay, and items added after read back as written.
    ASSERT_GT(mapped.capacity(), mapped.size() + 1024);
    mapped.drop_spare();
    EXPECT_EQ(mapped[399999], 399999.25);
    EXPECT_EQ(mapped[399000], 399000.25);
    for (int i = 400000; i < 500000; ++i)
        ASSERT_TRUE(mapped.push_back(i + 0.5));
    EXPECT_EQ(mapped[399999], 399999.25);
    for (int i : {400000, 400511, 400512, 499999})
        EXPECT_EQ(mapped[static_cast<size_t>(i)], i + 0.5) << i;
    KObjPodArray<double> small;
    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(small.push_back(i));
    EXPECT_FALSE(small.drops_pages());
    EXPECT_FALSE(small.drop_pages(0, 1000));
    EXPECT_EQ(small[999], 999.0);
}

TEST(ObjReadMesh, HeapPodArrayGrowsInPlaceAndHandsItsStorageOver)
{
    // Heap storage keeps every item as it grows past a megabyte (room made
    // for kObjHeapMappedLeast at once), gives back no pages, and hands its
    // storage over to a scene array that frees it.
    KObjPodArray<int> numbers(EObjStorage::eHEAP);
    EXPECT_TRUE(numbers.heap());
    for (int i = 0; i < 300000; ++i)
        ASSERT_TRUE(numbers.push_back(3 * i + 1));
    EXPECT_EQ(numbers.capacity(), kObjHeapMappedLeast / sizeof(int));
    const int* before = numbers.data();
    for (int i = 300000; i < 2000000; ++i)
        ASSERT_TRUE(numbers.push_back(3 * i + 1)); // within the room made: not moved
    EXPECT_EQ(numbers.data(), before);
    EXPECT_FALSE(numbers.drops_pages());
    EXPECT_FALSE(numbers.drop_pages(0, 1000000));
    EXPECT_EQ(numbers[123456], 3 * 123456 + 1);
    // Swapping carries the kind along with the storage.
    KObjPodArray<int> mapped;
    mapped.swap(numbers);
    EXPECT_TRUE(mapped.heap());
    EXPECT_FALSE(numbers.heap());
    ASSERT_EQ(mapped.size(), 2000000u);
    const size_t capacity = mapped.capacity();
    KArrayTemplate<int> taken(1024);
    int* storage = mapped.detach();
    EXPECT_TRUE(mapped.empty());
    EXPECT_EQ(mapped.data(), nullptr);
    ASSERT_TRUE(taken.Adopt(storage, 2000000, capacity));
    EXPECT_EQ(taken.GetCount(), 2000000);
    for (int i = 0; i < 2000000; i += 99991)
        ASSERT_EQ(taken[i], 3 * i + 1);
    EXPECT_TRUE(mapped.push_back(5)); // usable again, as heap storage
    EXPECT_TRUE(mapped.heap());
}

TEST(ObjReadMesh, SpentPagesMoveIntoAnArrayAboutToBeFilled)
{
    // Whole pages of a mapped list go where an array from malloc has pages
    // of its own: what is read there is what the list held.
    KObjPodArray<int> list;
    const size_t perPage = kObjPageBytes / sizeof(int);
    for (size_t i = 0; i < 300 * perPage; ++i)
        ASSERT_TRUE(list.push_back(static_cast<int>(i)));
    ASSERT_TRUE(list.drops_pages());
    const size_t bytes = 40 * kObjPageBytes;
    char* array = static_cast<char*>(std::malloc(bytes));
    ASSERT_NE(array, nullptr);
    const uintptr_t mask = kObjPageBytes - 1;
    int* into = reinterpret_cast<int*>((reinterpret_cast<uintptr_t>(array) + mask) & ~mask);
    // Pages 8 to 19 of the list to the array's first whole pages.
    ASSERT_EQ(ObjMovePages(list.data() + 8 * perPage, into, 12), EObjMove::eMOVED);
    for (size_t i = 0; i < 12 * perPage; i += 97)
        ASSERT_EQ(into[i], static_cast<int>(8 * perPage + i)) << i;
    into[5] = -5; // the array's to write
    EXPECT_EQ(into[5], -5);
    // The list's pages around them are untouched, and its range stays
    // mapped where the pages left: nothing else can be placed in a hole
    // there that freeing the list would unmap.
    EXPECT_EQ(list[8 * perPage - 1], static_cast<int>(8 * perPage - 1));
    EXPECT_EQ(list[20 * perPage], static_cast<int>(20 * perPage));
    EXPECT_EQ(list[8 * perPage], 0);
    EXPECT_EQ(list[20 * perPage - 1], 0);
    // Not on page bounds, or nothing: nothing moves.
    EXPECT_EQ(ObjMovePages(list.data() + 1, into + 12 * perPage, 2), EObjMove::eNOT_MOVED);
    EXPECT_EQ(ObjMovePages(list.data(), into + 12 * perPage + 1, 2), EObjMove::eNOT_MOVED);
    EXPECT_EQ(ObjMovePages(list.data(), into, 0), EObjMove::eNOT_MOVED);
    EXPECT_EQ(list[0], 0);
    std::free(array);
}

TEST(ObjReadMesh, PagesMoveOnlyFarFromTheBoundOnMappings)
{
#ifdef __linux__
    // A move past the bound would lose the pages it was to replace: moves
    // are made only while the process is far from it.
    long bound = 0;
    if (FILE* limit = std::fopen("/proc/sys/vm/max_map_count", "r"))
    {
        if (std::fscanf(limit, "%ld", &bound) != 1)
            bound = 0;
        std::fclose(limit);
    }
    if (bound <= 0)
        GTEST_SKIP() << "the bound on mappings cannot be read here";
    EXPECT_TRUE(ObjRoomForMoves(1));
    EXPECT_TRUE(ObjRoomForMoves(100));
    EXPECT_FALSE(ObjRoomForMoves(static_cast<size_t>(bound)));
    EXPECT_FALSE(ObjRoomForMoves(static_cast<size_t>(bound) / 4));
#else
    EXPECT_FALSE(ObjRoomForMoves(1));
#endif
}

TEST(ObjReadMesh, PlainNumberPathTakesTheCommonFormsOnly)
{
    // What the plain path must read, and the forms it leaves to the others
    // (which ExpectPathsAgree holds to the same values).
    struct Case
    {
        const char* mText;
        bool mPlain;
    } cases[] = {{"0.123456", true},
                 {"-12.5 ", true},
                 {"7\n", true},
                 {"7\r\n", true},
                 {"1.", true},
                 {".5", true},
                 {"-0", true},
                 {"9007199254740992", true},
                 {"9007199254740993", false},
                 {"0.12345678", true},
                 {"1.1234567812 ", true},
                 {"-3.123456781234567\n", true},
                 {"0.000000001234567812", true},
                 {"0.0000000012345678123", false},
                 {"0.1234567890123456789", false},
                 {"1234567890123456789", false},
                 {"123456789.0123456789", false},
                 {"1e5", false},
                 {"+1", false},
                 {"1\t", false},
                 {"1/", false},
                 {"-", false},
                 {".", false},
                 {"", false},
                 {"nan", false},
                 {"inf", false},
                 {"4.9e-324", false}};
    for (const Case& c : cases)
    {
        const std::string text = c.mText;
        const char* p = text.c_str();
        double value = 0;
        EXPECT_EQ(ObjScanPlainNumber(p, text.c_str() + text.size(), value), c.mPlain) << text;
        ExpectPathsAgree(text);
    }
    // Lines: the plain ones give their numbers; any other is left to the
    // statement's general reading.
    struct Line
    {
        const char* mText;
        int mCount;
        int mKind;
    } lines[] = {{"v 1 2 3\n", 3, 0},     {"v 1 2 3 0.5\r\n", 4, 0}, {"vt 0.5", 1, 1},      {"vt 1 2 3   \n", 3, 1},
                 {"vn 0 0 1\r", 3, 2},    {"v 1 2 3 4 5\n", 0, 0},   {"v 1 2\n", 0, 0},     {"vn 1 2\n", 0, 0},
                 {"vt\n", 0, 0},          {"v  1 2 3", 3, 0},        {"v\t1 2 3\n", 0, 0},  {"v 1 2 3 \\\n4\n", 0, 0},
                 {"v 1 2 3 # c\n", 0, 0}, {"vp 1 2 3\n", 0, 0},      {"v 1e1 2 3\n", 0, 0}, {"v 1 2 3\t\n", 0, 0},
                 {"vx 1 2 3\n", 0, 0}};
    for (const Line& line : lines)
    {
        const std::string text = line.mText;
        const char* p = text.c_str();
        const char* const end = p + text.size();
        double values[4] = {0, 0, 0, 0};
        int kind = -1;
        const int n = ObjScanPlainVertexLine(p, end, kind, values);
        EXPECT_EQ(n, line.mCount) << text;
        if (n == 0)
        {
            EXPECT_EQ(p, text.c_str()) << text;
            continue;
        }
        EXPECT_EQ(kind, line.mKind) << text;
        EXPECT_TRUE(p == end || *p == '\n' || *p == '\r') << text;
        // The same numbers the statement's rest gives.
        const char* q = text.c_str();
        std::string_view keyword, rest;
        ASSERT_TRUE(ObjCutStatement(q, end, keyword, rest));
        double expected[4] = {0, 0, 0, 0};
        EXPECT_EQ(ObjScanDoubles(rest, expected, 4), n) << text;
        EXPECT_EQ(std::memcmp(values, expected, sizeof(double) * static_cast<size_t>(n)), 0) << text;
    }
}

TEST(ObjReadMesh, PlainVertexLinesReadAlikeOnAnyThreadsAndBlocks)
{
    // Plain vertex lines among lines of other forms (CR LF, CR, tabs,
    // exponents, NaN and infinities, denormals, signs, continuations, too
    // many numbers), in runs long enough for parallel portions cut at every
    // sort of place: the same scene on one thread and on several, for
    // every least run length.
    const char* odd[] = {"v 1e-310 -4.9e-324 2.2250738585072014e-308",
                         "v nan inf -inf",
                         "v +1 -0 .5",
                         "v\t1 2 3",
                         "v 1 2 3 4 5",
                         "vt 1e3",
                         "vn 0 0 1 \\\n 2",
                         "v 123456789012345678901234 1 2",
                         "v 0.30000000000000004 0.1 0.2"};
    const char* breaks[] = {"\n", "\r\n", "\r", "\n\n"};
    std::string text;
    unsigned state = 5;
    auto next = [&state](unsigned n) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % n;
    };
    const int oddKinds[] = {0, 0, 0, 0, 0, 1, 2, 0, 0};
    int counts[3] = {0, 0, 0};
    for (int i = 0; i < 60000; ++i)
    {
        const unsigned form = next(40);
        if (form < sizeof odd / sizeof odd[0])
        {
            text += odd[form];
            ++counts[oddKinds[form]];
        }
        else
        {
            const unsigned kind = next(3);
            ++counts[kind];
            text += kind == 0 ? "v" : kind == 1 ? "vt" : "vn";
            for (unsigned k = 0; k < (kind == 1 ? 2u : 3u); ++k)
                text += " " + std::string(next(4) == 0 ? "-" : "") + std::to_string(next(1000)) + "." +
                        std::to_string(100000 + next(900000));
        }
        text += breaks[next(4)];
        if (i % 5000 == 4999)
            text += "f 1 2 3\n";
    }
    // Faces over every vertex, UV and normal, so that the scene holds them.
    for (int v = 1; v + 2 <= counts[0]; v += 3)
    {
        text += "f";
        for (int c = v; c < v + 3; ++c)
            text += " " + std::to_string(c) + "/" + std::to_string((c - 1) % counts[1] + 1) + "/" +
                    std::to_string((c - 1) % counts[2] + 1);
        text += "\n";
    }
    qoxtest::TempDir dir;
    const std::string path = dir.File("plain.obj");
    qoxtest::WriteFile(path, text);
    const uint64_t expected = DigestWithThreads(path, 1, 0);
    ASSERT_NE(expected, 0u);
    EXPECT_EQ(ReadDigest(text), expected);
    for (size_t minimum : {size_t(1), size_t(333), size_t(4096), size_t(1) << 17})
        for (int threads : {2, 4})
            EXPECT_EQ(DigestWithThreads(path, threads, minimum), expected) << threads << " " << minimum;
}

TEST(ObjReadMesh, PlainFaceLinesReadAsTheirRestReads)
{
    // Random "f" lines read where they lie keep exactly what ReadFace keeps
    // of their rest, or are left whole (nothing added) to the general
    // reading; both the token-by-token scan (little text after the line)
    // and the masked one (enough text after it) are taken.
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxReaderObj reader(*manager);
    ReadFiveVertices(*manager, reader);
    if (HasFatalFailure())
        return;
    const char* numbers[] = {"1",        "2",         "3",          "-1",          "-5",         "5",
                             "6",        "-6",        "0",          "-0",          "00000001",   "12345678",
                             "99999999", "123456789", "1234567890", "2147483647",  "2147483648", "-2147483648",
                             "+2",       "x",         "1.5",        "000000002",   "4",          "-2"};
    const char* separators[] = {" ", " ", " ", "  ", "\t", " \t"};
    unsigned long long state = 2024;
    auto next = [&state](unsigned n) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>((state >> 33) % n);
    };
    // Mostly the first eight (read where they lie), now and then any.
    auto number = [&] { return std::string(numbers[next(40) ? next(8) : next(sizeof numbers / sizeof numbers[0])]); };
    int plain = 0, general = 0;
    for (int trial = 0; trial < 30000; ++trial)
    {
        std::string rest;
        const int corners = trial % 97 == 0 ? 30 + static_cast<int>(next(6)) : 1 + static_cast<int>(next(6));
        for (int c = 0; c < corners; ++c)
        {
            std::string token = number();
            switch (next(60))
            {
            case 0: token += "/" + number() + "/"; break;
            case 1: token += "///" + number(); break;
            case 2: token += "/" + number() + "/" + number() + "/" + number(); break;
            case 3: token += "/-"; break;
            default:
            {
                const unsigned form = next(4);
                token += form == 0 ? "" : form == 1 ? "/" + number() : form == 2 ? "//" + number()
                                                                         : "/" + number() + "/" + number();
            }
            }
            rest += (c == 0 ? "" : separators[next(20) ? 0 : next(6)]) + token;
        }
        const std::string lead = next(20) == 0 ? "f\t" : "f ";
        const std::string tail = next(4) == 0 ? "  " : "";
        const std::string lineBreak = next(3) == 0 ? "\r\n" : "\n";
        const std::string after = next(2) ? std::string(200, '#') + "\n" : "";
        const std::string text = lead + rest + tail + lineBreak + after;
        KObjMesh mesh, expectedMesh;
        KObjMesh::FaceList& list = mesh.mFaceLists[0];
        KObjMesh::FaceList& expected = expectedMesh.mFaceLists[0];
        const char* p = text.data();
        const bool read = reader.ReadPlainFaceLine(p, text.data() + text.size(), mesh, list);
        const std::string_view statement(text.data() + 2, lead.size() + rest.size() + tail.size() - 2);
        ASSERT_TRUE(reader.ReadFace(expectedMesh, expected, ObjTrim(statement)));
        if (!read)
        {
            ++general;
            ASSERT_EQ(p, text.data()) << text;
            ASSERT_TRUE(list.mCorners.empty() && list.mFaces.empty() && list.mRuns.empty()) << text;
            ASSERT_EQ(mesh.mFaceCount, 0) << text;
            continue;
        }
        ++plain;
        ASSERT_EQ(lead, "f ") << text;
        ASSERT_EQ(p, text.data() + lead.size() + rest.size() + tail.size()) << text;
        ASSERT_EQ(list.mFaces.size(), 1u) << text;
        ASSERT_EQ(expected.mFaces.size(), 1u) << text;
        EXPECT_EQ(list.mFaces[0], expected.mFaces[0]) << text;
        ASSERT_EQ(list.mCorners.size(), expected.mCorners.size()) << text;
        for (size_t i = 0; i < expected.mCorners.size(); ++i)
        {
            EXPECT_EQ(list.mCorners[i].mVertex, expected.mCorners[i].mVertex) << text;
            EXPECT_EQ(list.mCorners[i].mTextureVertex, expected.mCorners[i].mTextureVertex) << text;
            EXPECT_EQ(list.mCorners[i].mNormal, expected.mCorners[i].mNormal) << text;
        }
        EXPECT_EQ(mesh.mAllFacesHaveNormals, expectedMesh.mAllFacesHaveNormals) << text;
        EXPECT_EQ(mesh.mAllFacesHaveTextureVertices, expectedMesh.mAllFacesHaveTextureVertices) << text;
        EXPECT_EQ(mesh.mSomeCornerHasTextureVertex, expectedMesh.mSomeCornerHasTextureVertex) << text;
        EXPECT_EQ(mesh.mFaceCount, expectedMesh.mFaceCount) << text;
    }
    // Both kinds came up often.
    EXPECT_GT(plain, 5000);
    EXPECT_GT(general, 5000);
}

TEST(ObjReadMesh, PlainFaceLinesBuildWhatTheGeneralReadingBuilds)
{
    // Random face files of every reference form and line form, numbered as
    // read or kept as corners (behind a first group that takes the
    // numbering), on one thread or four: the same scene as the general
    // reading gives the same lines with a blank in front (which no line
    // read where it lies has).
    unsigned long long state = 77;
    auto next = [&state](unsigned n) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>((state >> 33) % n);
    };
    const char* odd[] = {"1234567890", "2147483648", "-0", "0", "-2147483648", "999999999", "000000001", "+1"};
    for (int variant = 0; variant < 4; ++variant)
    {
        SCOPED_TRACE(variant);
        const int n = 80;
        const std::string lineBreak = variant == 1 ? "\r\n" : "\n";
        std::string vertices;
        for (int i = 0; i < n; ++i)
            vertices += "v " + std::to_string(i) + " " + std::to_string(i % 7) + " " + std::to_string(i % 3) +
                        lineBreak + "vt 0." + std::to_string(i % 9) + " 0.5" + lineBreak + "vn 0 " +
                        std::to_string(i % 2) + " 1" + lineBreak;
        std::vector<std::string> faces;
        for (int f = 0; f < 12000; ++f)
        {
            std::string line = "f";
            const int corners = next(50) == 0 ? 2 : f % 211 == 0 ? 40 : 3 + static_cast<int>(next(3));
            // Faces without normals from the middle on in variant 2.
            const bool normals = !(variant == 2 && f >= 6000 && next(3) == 0);
            for (int c = 0; c < corners; ++c)
            {
                // Few distinct corners, some from the end, some out of range.
                const int v = 1 + static_cast<int>(next(n));
                std::string vs = next(6) == 0 ? std::to_string(v - n - 1) : std::to_string(v);
                if (next(300) == 0)
                    vs = std::to_string(n + 1 + static_cast<int>(next(5)));
                if (next(400) == 0)
                    vs = odd[next(sizeof odd / sizeof odd[0])];
                const std::string t = std::to_string(1 + v % 5 + static_cast<int>(next(2)));
                const std::string normal = next(8) == 0 ? "-1" : std::to_string(1 + static_cast<int>(next(2)));
                line += next(20) == 0 ? "   " : " ";
                // Variant 3 ends in faces without UVs: the UV indices stop
                // at the last corner with one.
                switch (variant == 3 ? (f >= 11000 ? 2 : next(4)) : normals ? 3 : next(2))
                {
                case 0: line += vs; break;
                case 1: line += vs + "/" + t; break;
                case 2: line += vs + "//" + normal; break;
                default: line += vs + "/" + t + "/" + normal;
                }
            }
            if (next(60) == 0)
                line += "  ";
            if (next(500) == 0)
                line += "\t";
            if (next(700) == 0)
                line += " \\" + lineBreak + " 1/1/1";
            faces.push_back(line);
            if (next(300) == 0)
                faces.push_back("");
        }
        std::string plain = vertices + "g mesh" + lineBreak, general = plain;
        for (size_t i = 0; i < faces.size(); ++i)
        {
            const bool last = i + 1 == faces.size();
            plain += faces[i] + (last ? "" : lineBreak);
            general += (faces[i].empty() ? "" : " ") + faces[i] + (last ? "" : lineBreak);
        }
        qoxtest::TempDir dir;
        const std::string plainPath = dir.File("plain.obj"), generalPath = dir.File("general.obj");
        const std::string keptPath = dir.File("kept.obj");
        qoxtest::WriteFile(plainPath, plain);
        qoxtest::WriteFile(generalPath, general);
        qoxtest::WriteFile(keptPath, vertices + "g taker" + lineBreak + "f 1/1/1 2/2/1 3/3/1" + lineBreak +
                                         plain.substr(vertices.size()));
        const uint64_t expected = DigestWithThreads(generalPath, 1, 0);
        ASSERT_NE(expected, 0u);
        EXPECT_EQ(DigestWithThreads(plainPath, 1, 0), expected);
        EXPECT_EQ(DigestWithThreads(plainPath, 4, 4096), expected);
        EXPECT_EQ(DigestWithThreads(keptPath, 1, 0, "taker"), expected);
        EXPECT_EQ(DigestWithThreads(keptPath, 4, 4096, "taker"), expected);
    }
}

namespace {

// Memory whose last readable byte is followed by an unreadable page: text
// put at its end ends exactly where reading must stop.
class GuardedText
{
public:
    GuardedText()
    {
        mPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        mBase = static_cast<char*>(
            mmap(nullptr, (kPages + 1) * mPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (mBase == MAP_FAILED)
            mBase = nullptr;
        else if (mprotect(mBase + kPages * mPage, mPage, PROT_NONE) != 0)
        {
            munmap(mBase, (kPages + 1) * mPage);
            mBase = nullptr;
        }
    }
    ~GuardedText()
    {
        if (mBase)
            munmap(mBase, (kPages + 1) * mPage);
    }
    bool Ready() const { return mBase != nullptr; }
    // The text's copy, its end at the unreadable page.
    const char* Put(const std::string& text)
    {
        char* at = End() - text.size();
        std::memcpy(at, text.data(), text.size());
        return at;
    }
    char* End() const { return mBase + kPages * mPage; }
    size_t Room() const { return kPages * mPage; }

private:
    static constexpr size_t kPages = 4;
    size_t mPage = 0;
    char* mBase = nullptr;
};

// Random face lines (without a line break) of every form the plain reading
// meets: references "v", "v/t", "v//n", "v/t/n" of one to ten digits,
// negative, zero or out of range, 3 to 40 corners, now and then tabs,
// comments, a continuation, junk bytes, bytes of 0x80 and above, broken
// tokens and a trailing blank. Many lines take the form of one made before
// with other digits (the same shape: the mask way reads them by the shape
// kept).
class FaceLineMaker
{
public:
    // One line in fresh of a new form, the others of one of the last pool
    // forms; clean: only the plain forms of numbers of up to eight digits.
    explicit FaceLineMaker(unsigned long long seed, unsigned pool = 300, unsigned fresh = 2, bool clean = false)
        : mState(seed)
        , mPool(pool)
        , mFresh(fresh)
        , mClean(clean)
    {}
    unsigned Next(unsigned n)
    {
        mState = mState * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>((mState >> 33) % n);
    }
    std::string Number()
    {
        const unsigned pick = Next(100);
        std::string digits;
        if (pick < 70)
            digits = std::to_string(1 + Next(pick < 35 ? 9 : pick < 60 ? 300 : 2000));
        else if (pick < 80)
            digits = "-" + std::to_string(1 + Next(pick < 77 ? 9 : 2000));
        else if (pick < 83)
            digits = Next(2) ? "0" : "-0";
        else if (pick < 86)
            digits = std::string(1 + Next(4), '0') + std::to_string(1 + Next(9));
        else
        {
            // One to ten digits of any value.
            const unsigned count = 1 + Next(mClean ? 8 : 10);
            for (unsigned i = 0; i < count; ++i)
                digits += static_cast<char>('0' + Next(10));
            if (Next(4) == 0)
                digits = "-" + digits;
        }
        return digits;
    }
    std::string Token()
    {
        switch (mClean ? 80 : Next(80))
        {
        case 0: return Number() + "/" + Number() + "/";
        case 1: return Number() + "///" + Number();
        case 2: return Number() + "/" + Number() + "/" + Number() + "/" + Number();
        case 3: return Number() + "/-";
        case 4: return "/" + Number();
        case 5: return Number() + "/";
        case 6: return "-" + Number();
        case 7: return Number() + "-" + Number();
        case 8: return "+" + Number();
        case 9: return Number() + "." + Number();
        default: break;
        }
        const unsigned form = Next(4);
        return form == 0   ? Number()
               : form == 1 ? Number() + "/" + Number()
               : form == 2 ? Number() + "//" + Number()
                           : Number() + "/" + Number() + "/" + Number();
    }
    std::string Line()
    {
        if (!mMade.empty() && Next(mFresh) != 0)
        {
            // A line made before, its digits changed.
            std::string line = mMade[Next(static_cast<unsigned>(mMade.size()))];
            for (char& c : line)
                if (c >= '0' && c <= '9' && Next(3))
                    c = static_cast<char>('0' + (Next(4) == 0 ? 0 : Next(10)));
            return line;
        }
        const unsigned size = Next(100);
        const int corners = size < 80 ? 3 + static_cast<int>(Next(3)) : size < 95 ? 6 + static_cast<int>(Next(10))
                                                                                 : 16 + static_cast<int>(Next(25));
        std::string line = !mClean && Next(40) == 0 ? "f\t" : Next(40) == 0 ? "f  " : "f ";
        for (int c = 0; c < corners; ++c)
        {
            const unsigned separator = Next(60);
            line += (c == 0 ? "" : separator == 0 && !mClean ? "\t" : separator < 3 ? "  " : " ") + Token();
        }
        const unsigned tail = mClean ? 3 + Next(3) * 10 : Next(40);
        if (tail == 0)
            line += " # comment";
        else if (tail == 1)
            line += "#";
        else if (tail == 2)
            line += " \\";
        else if (tail < 6)
            line += "  ";
        else if (tail == 6)
            line += "\t";
        if (!mClean && Next(30) == 0)
        {
            // A junk byte anywhere after the keyword.
            const char junk[] = {'a', 'x', '.', '+', ',', ';', '\x7f', '\x80', '\xb1', '\xff', '\0', '\v', '\f', '0'};
            line.insert(2 + Next(static_cast<unsigned>(line.size() - 1)), 1, junk[Next(sizeof junk)]);
        }
        if (mMade.size() < mPool)
            mMade.push_back(line);
        else
            mMade[Next(mPool)] = line;
        return line;
    }

private:
    unsigned long long mState;
    unsigned mPool;
    unsigned mFresh;
    bool mClean;
    std::vector<std::string> mMade;
};

// Reads the vertices face references point to: 1500 vertices, 1200 UVs,
// 1000 normals.
void ReadManyVertices(KQoxSdkManager& manager, KQoxReaderObj& reader)
{
    std::string text;
    for (int i = 0; i < 1500; ++i)
        text += "v " + std::to_string(i) + " 0 0\n";
    for (int i = 0; i < 1200; ++i)
        text += "vt 0." + std::to_string(i) + " 0\n";
    for (int i = 0; i < 1000; ++i)
        text += "vn 0 0 " + std::to_string(i) + "\n";
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("v.obj"), text);
    std::unique_ptr<KStreamOptions> options(reader.GetReadOptions(false));
    KQoxScene& scene = *manager.CreateKQoxScene();
    ASSERT_TRUE(reader.FileOpen(dir.File("v.obj").c_str()));
    ASSERT_TRUE(reader.Read(scene, options.get()));
}

// Every plain face line way this processor runs, the byte way first.
std::vector<ObjPlainFaceScanner> FaceWays()
{
    std::vector<ObjPlainFaceScanner> ways;
    for (int way = 0; way < eOBJ_LINE_SCAN_COUNT; ++way)
    {
        ObjPlainFaceScanner scanner = nullptr;
        if (ObjPlainFaceScannerOf(static_cast<EObjLineScan>(way), scanner))
            ways.push_back(scanner);
    }
    return ways;
}

// Sets the plain face line way for a scope.
class FaceWay
{
public:
    explicit FaceWay(ObjPlainFaceScanner way)
        : mBefore(gObjPlainFaceScanner.exchange(way))
    {}
    ~FaceWay() { gObjPlainFaceScanner.store(mBefore); }

private:
    ObjPlainFaceScanner mBefore;
};

// The way of FaceWays counted: the lines it settles.
std::atomic<ObjPlainFaceScanner> gCountedWay{nullptr};
std::atomic<long> gSettledLines{0};

int CountSettled(const char*& q, const char* end, KObjFaceShapes& shapes, int* references)
{
    const int corners = gCountedWay.load()(q, end, shapes, references);
    if (corners)
        ++gSettledLines;
    return corners;
}

void ExpectSameFaces(const KObjMesh& mesh, const KObjMesh& expectedMesh, const std::string& text)
{
    const KObjMesh::FaceList& list = mesh.mFaceLists.begin()->second;
    const KObjMesh::FaceList& expected = expectedMesh.mFaceLists.begin()->second;
    ASSERT_EQ(list.mFaces.size(), expected.mFaces.size()) << text;
    for (size_t i = 0; i < expected.mFaces.size(); ++i)
        EXPECT_EQ(list.mFaces[i], expected.mFaces[i]) << text;
    ASSERT_EQ(list.mCorners.size(), expected.mCorners.size()) << text;
    for (size_t i = 0; i < expected.mCorners.size(); ++i)
    {
        EXPECT_EQ(list.mCorners[i].mVertex, expected.mCorners[i].mVertex) << text;
        EXPECT_EQ(list.mCorners[i].mTextureVertex, expected.mCorners[i].mTextureVertex) << text;
        EXPECT_EQ(list.mCorners[i].mNormal, expected.mCorners[i].mNormal) << text;
    }
    EXPECT_EQ(list.mRuns.size(), expected.mRuns.size()) << text;
    EXPECT_EQ(mesh.mAllFacesHaveNormals, expectedMesh.mAllFacesHaveNormals) << text;
    EXPECT_EQ(mesh.mAllFacesHaveTextureVertices, expectedMesh.mAllFacesHaveTextureVertices) << text;
    EXPECT_EQ(mesh.mSomeCornerHasTextureVertex, expectedMesh.mSomeCornerHasTextureVertex) << text;
    EXPECT_EQ(mesh.mFaceCount, expectedMesh.mFaceCount) << text;
}

} // namespace

TEST(ObjReadMesh, PlainFaceLinesReadAlikeEveryWayUpToTheEndOfTheirMemory)
{
    // Random face lines, each put at the end of memory followed by an
    // unreadable page, with from none to a few hundred bytes after its line
    // break (or with no line break at all): every way takes the same lines
    // where they lie and leaves the same to the general reading, moves to
    // the same place and keeps exactly what ReadFace keeps of the line's
    // rest. Each way keeps its shapes from one line to the next.
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxReaderObj reader(*manager);
    ReadManyVertices(*manager, reader);
    if (HasFatalFailure())
        return;
    GuardedText memory;
    ASSERT_TRUE(memory.Ready());
    const std::vector<ObjPlainFaceScanner> ways = FaceWays();
    ASSERT_GE(ways.size(), 1u);
    std::vector<std::unique_ptr<KObjFaceShapes>> shapes;
    for (size_t w = 0; w < ways.size(); ++w)
        shapes.push_back(std::make_unique<KObjFaceShapes>());
    FaceLineMaker maker(4711);
    const char* breaks[] = {"\n", "\r\n", "\r", ""};
    int plain = 0, general = 0, longPlain = 0;
    for (int trial = 0; trial < 60000; ++trial)
    {
        std::string line = maker.Line();
        if (trial % 8 == 0)
        {
            // Blanks up to the edges of what the masks and the shapes take.
            const size_t sizes[] = {63, 64, 65, 66, 96, 97, 127, 128, 129, 130};
            const size_t size = sizes[maker.Next(sizeof sizes / sizeof sizes[0])];
            if (line.size() < size)
                line.append(size - line.size(), ' ');
        }
        const std::string lineBreak = breaks[maker.Next(20) == 0 ? 3 : maker.Next(3)];
        std::string after;
        if (!lineBreak.empty())
        {
            const unsigned size = maker.Next(6) == 0 ? maker.Next(8) : maker.Next(300);
            while (after.size() < size)
                after += maker.Next(2) ? "f 1/1/1 2/2/2 3/3/3\n" : "# after\r\n";
            after.resize(size);
        }
        const std::string text = line + lineBreak + after;
        ASSERT_LT(text.size(), memory.Room());
        const char* const start = memory.Put(text);
        const char* const end = memory.End();
        std::vector<std::unique_ptr<KObjMesh>> meshes;
        std::vector<const char*> stops;
        std::vector<bool> reads;
        for (size_t w = 0; w < ways.size(); ++w)
        {
            FaceWay way(ways[w]);
            meshes.push_back(std::make_unique<KObjMesh>());
            KObjMesh& mesh = *meshes.back();
            KObjMesh::FaceList& list = mesh.mFaceLists[0];
            const char* p = start;
            shapes[w]->mRest = 0; // no line left to the bytes for the shapes missed
            const bool read = reader.ReadPlainFaceLine(p, end, mesh, list, *shapes[w]);
            if (!read)
            {
                ASSERT_EQ(p, start) << text;
                ASSERT_TRUE(list.mCorners.empty() && list.mFaces.empty() && list.mRuns.empty()) << text;
                ASSERT_EQ(mesh.mFaceCount, 0) << text;
            }
            stops.push_back(p);
            reads.push_back(read);
            if (w == 0)
                continue;
            ASSERT_EQ(read, reads[0]) << w << " " << text;
            ASSERT_EQ(p, stops[0]) << w << " " << text;
            ExpectSameFaces(mesh, *meshes[0], text);
        }
        const bool firstRead = reads[0];
        const char* const firstStop = stops[0];
        const KObjMesh& first = *meshes[0];
        if (!firstRead)
        {
            ++general;
            continue;
        }
        ++plain;
        longPlain += line.size() >= 64;
        ASSERT_EQ(firstStop, start + line.size()) << text;
        KObjMesh expectedMesh;
        ASSERT_TRUE(reader.ReadFace(expectedMesh, expectedMesh.mFaceLists[0], ObjTrim(std::string_view(line).substr(2))));
        ExpectSameFaces(first, expectedMesh, text);
    }
    // Both kinds came up often, long lines too.
    EXPECT_GT(plain, 10000);
    EXPECT_GT(general, 10000);
    EXPECT_GT(longPlain, 300);
}

TEST(ObjReadMesh, PlainFaceLinesOfEveryWayBuildWhatTheGeneralReadingBuilds)
{
    // Files of random face lines (of every form, many of a shape met
    // before), numbered as read or kept as corners (behind a first group
    // that takes the numbering), on one thread or four, read by every way:
    // the same scene as the general reading gives the same lines with a
    // blank in front.
    std::string vertices;
    for (int i = 0; i < 1500; ++i)
        vertices += "v " + std::to_string(i) + " " + std::to_string(i % 7) + " 1\n";
    for (int i = 0; i < 1200; ++i)
        vertices += "vt 0." + std::to_string(i % 9) + " 0.5\n";
    for (int i = 0; i < 1000; ++i)
        vertices += "vn 0 " + std::to_string(i % 2) + " 1\n";
    for (int variant = 0; variant < 4; ++variant)
    {
        SCOPED_TRACE(variant);
        // Variant 3 of few forms: the mask way's shapes kept take nearly
        // every line (the others make it rest now and then).
        FaceLineMaker maker(99 + static_cast<unsigned>(variant), variant == 3 ? 6 : 300, variant == 3 ? 60 : 2,
                            variant == 3);
        const std::string lineBreak = variant == 1 ? "\r\n" : "\n";
        std::string plain = vertices + "g mesh" + lineBreak, general = plain;
        for (int f = 0; f < 20000; ++f)
        {
            std::string line = maker.Line();
            // Variant 2 keeps to references with normals (the numbering goes on).
            if (variant == 2 && line.find("//") == std::string::npos && maker.Next(8))
                continue;
            // A continued line goes on in the next one.
            if (line.size() >= 2 && line.compare(line.size() - 2, 2, " \\") == 0)
                line += lineBreak + " 1/1/1 2/2/2";
            plain += line + lineBreak;
            general += " " + line + lineBreak;
        }
        qoxtest::TempDir dir;
        const std::string plainPath = dir.File("plain.obj"), generalPath = dir.File("general.obj");
        const std::string keptPath = dir.File("kept.obj");
        qoxtest::WriteFile(plainPath, plain);
        qoxtest::WriteFile(generalPath, general);
        qoxtest::WriteFile(keptPath, vertices + "g taker" + lineBreak + "f 1/1/1 2/2/1 3/3/1" + lineBreak +
                                         plain.substr(vertices.size()));
        const uint64_t expected = DigestWithThreads(generalPath, 1, 0);
        ASSERT_NE(expected, 0u);
        const std::vector<ObjPlainFaceScanner> ways = FaceWays();
        for (size_t w = 0; w < ways.size(); ++w)
        {
            SCOPED_TRACE(w);
            gCountedWay.store(ways[w]);
            gSettledLines.store(0);
            FaceWay way(&CountSettled);
            EXPECT_EQ(DigestWithThreads(plainPath, 1, 0), expected);
            EXPECT_EQ(DigestWithThreads(plainPath, 4, 4096), expected);
            EXPECT_EQ(DigestWithThreads(keptPath, 1, 0, "taker"), expected);
            EXPECT_EQ(DigestWithThreads(keptPath, 4, 4096, "taker"), expected);
            // The mask way took its part of the lines.
            if (w > 0)
            {
                EXPECT_GT(gSettledLines.load(), variant == 3 ? 40000 : 1000);
            }
        }
    }
}

namespace {

// The colours of a file of numbered vertices ("v i 0 0 ..."), as read: per
// vertex number, red, green, blue and alpha (none: the file gave none).
using VertexColors = std::map<int, std::vector<double>>;

// A mesh's colours by control point, each point told by its x, its
// vertex's number; false when the mesh has no such element.
bool MeshColors(KQoxMesh& mesh, VertexColors& colors)
{
    KQoxLayer* layer = mesh.GetLayer(0, KQoxLayerElement::eVERTEX_COLOR);
    KQoxLayerElementVertexColor* element = layer ? layer->GetVertexColors() : nullptr;
    if (!element)
        return false;
    EXPECT_EQ(element->mMappingMode, KQoxLayerElement::eBY_CONTROL_POINT);
    EXPECT_EQ(element->mReferenceMode, KQoxLayerElement::eDIRECT);
    EXPECT_EQ(element->mDirectArray.GetCount(), mesh.GetControlPointsCount());
    for (int p = 0; p < mesh.GetControlPointsCount() && p < element->mDirectArray.GetCount(); ++p)
    {
        const KQoxColor& c = element->mDirectArray[p];
        const KQoxVector4& point = mesh.GetControlPoints()[p];
        EXPECT_EQ(point[3], 1.0); // a coloured vertex's w stays 1
        colors[static_cast<int>(std::lround(point[0]))] = {c.mRed, c.mGreen, c.mBlue, c.mAlpha};
    }
    return true;
}

// Every mesh's colours of the file read on threads (1: statement by
// statement as the calling thread reads); colored false when no mesh has
// colours. The reader's message in message, when given.
VertexColors ReadColors(const std::string& path, int threads, bool& colored, std::string* message = nullptr)
{
    VertexColors colors;
    colored = false;
    ObjRead r(path + ".none");
    KQoxReaderObj reader(*r.manager);
    reader.SetParallelRuns(threads, 1);
    EXPECT_TRUE(reader.FileOpen(path.c_str()));
    std::unique_ptr<KStreamOptions> options(reader.GetReadOptions(false));
    static_cast<KStreamOptionsObj*>(options.get())->SetOption(1, 0);
    EXPECT_TRUE(reader.Read(r.scene, options.get()));
    if (message)
    {
        KString text;
        reader.GetMessage(text);
        *message = text.ToChars();
    }
    KQoxNode* root = r.scene.GetRootNode();
    for (int c = 0; c < root->GetChildCount(false); ++c)
        if (KQoxMesh* mesh = static_cast<KQoxMesh*>(root->GetChild(c)->GetMesh()))
            colored = MeshColors(*mesh, colors) || colored;
    return colors;
}

// A colour of exact binary fractions for vertex i.
std::vector<double> ColorOf(int i, bool alpha)
{
    return {(i % 8) / 8.0, (i % 4) / 4.0, (i % 2) / 2.0, alpha ? (i % 16) / 16.0 : 1.0};
}

} // namespace

TEST(ObjReadMesh, VertexColorsBecomeAColorElementByControlPoint)
{
    // "v x y z r g b" (and with alpha) as scanners and mesh tools write it:
    // the point, w 1, and its colour by control point, alike on one thread
    // and several; a file whose vertices are coloured in part gives the
    // others white; four numbers keep w. Written back as read, and as
    // tinyobjloader reads them.
    const int kVertices = 600;
    const struct
    {
        const char* mWhat;
        int mColoredFrom, mColoredTo; // vertices written with a colour
        bool mAlpha;
        const char* mFirstLine; // the first "v" line the writer writes
    } cases[] = {
        {"six numbers", 0, kVertices, false, "v 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000\n"},
        {"seven numbers", 0, kVertices, true, "v 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000\n"},
        {"the later vertices", 250, kVertices, false, "v 0.000000 0.000000 0.000000 1.000000 1.000000 1.000000\n"},
        {"the earlier vertices", 0, 250, false, "v 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000\n"},
        {"the last vertex", kVertices - 1, kVertices, false,
         "v 0.000000 0.000000 0.000000 1.000000 1.000000 1.000000\n"},
        {"none, four numbers", 0, 0, false, "v 0.000000 0.000000 0.000000\n"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.mWhat);
        // Coloured lines of other forms too (tabs, blanks), faces in two
        // groups over every vertex.
        std::string text;
        VertexColors expected;
        for (int i = 0; i < kVertices; ++i)
        {
            const std::vector<double> color = ColorOf(i, c.mAlpha);
            const bool colored = i >= c.mColoredFrom && i < c.mColoredTo;
            text += (i % 5 == 0 ? "v\t" : "v ") + std::to_string(i) + " 0 0";
            if (colored)
                for (int k = 0; k < (c.mAlpha ? 4 : 3); ++k)
                    text += (i % 7 == 0 ? "  " : " ") + std::to_string(color[k]);
            else if (c.mColoredTo == 0)
                text += " 1"; // w
            text += "\n";
            expected[i] = colored ? color : std::vector<double>{1, 1, 1, 1};
        }
        for (int i = 1; i + 2 <= kVertices; i += 3)
        {
            if (i == 1 || i == 301)
                text += i == 1 ? "g first\n" : "g second\n";
            text += "f " + std::to_string(i) + " " + std::to_string(i + 1) + " " + std::to_string(i + 2) + "\n";
        }
        qoxtest::TempDir dir;
        ASSERT_TRUE(qoxtest::WriteFile(dir.File("scan.obj"), text));
        const bool anyColor = c.mColoredTo > c.mColoredFrom;
        VertexColors read;
        for (int threads : {1, 4})
        {
            SCOPED_TRACE("threads " + std::to_string(threads));
            bool colored = false;
            read = ReadColors(dir.File("scan.obj"), threads, colored);
            EXPECT_EQ(colored, anyColor);
            EXPECT_EQ(read, anyColor ? expected : VertexColors());
        }
        auto r = std::make_unique<ObjRead>(dir.File("scan.obj"));
        ASSERT_TRUE(r->ok);

        // Written back: "v x y z r g b", alpha when not all opaque.
        ASSERT_TRUE(WriteScene(*r->manager, r->scene, dir.File("out.obj")));
        const std::string written = qoxtest::ReadFile(dir.File("out.obj"));
        const size_t first = written.find("\nv ");
        ASSERT_NE(first, std::string::npos);
        EXPECT_EQ(written.substr(first + 1, written.find('\n', first + 1) - first), c.mFirstLine);
        bool colored = false;
        const VertexColors again = ReadColors(dir.File("out.obj"), 1, colored);
        EXPECT_EQ(colored, anyColor);
        EXPECT_EQ(again, anyColor ? expected : VertexColors());

#ifdef QOX_HAVE_TINYOBJ
        // tinyobjloader reads red, green and blue alike (white for a
        // vertex without a colour).
        tinyobj::attrib_t attrib;
        std::vector<tinyobj::shape_t> shapes;
        std::vector<tinyobj::material_t> materials;
        std::string warn, err;
        ASSERT_TRUE(tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, dir.File("scan.obj").c_str(),
                                     (dir.Path() + "/").c_str(), false))
            << err;
        ASSERT_EQ(attrib.colors.size(), 3u * kVertices);
        for (const auto& vertex : read)
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(attrib.colors[3 * static_cast<size_t>(vertex.first) + k],
                          static_cast<float>(vertex.second[k]))
                    << "vertex " << vertex.first;
#endif
    }
#ifndef QOX_HAVE_TINYOBJ
    GTEST_SKIP() << "tinyobjloader is not installed: the colours are not compared with its reading";
#endif
}

TEST(ObjReadMesh, VertexColoursOutsideZeroToOneAreClampedAndCounted)
{
    // Files written with colours of 0 to 255 (or beyond 0 to 1 otherwise):
    // each value is clamped, and the message says how many were, alike on
    // one thread and several.
    const int kVertices = 600;
    const struct
    {
        const char* mColor; // written after the point
        int mOnly;          // the one vertex coloured; -1: every vertex
        std::vector<double> mRead;
        const char* mMessage;
    } cases[] = {
        {"255 128 0", -1, {1, 1, 0, 1}, "Clamped to 0 to 1: 1200 vertex colour values\n"},
        {"-0.5 0.25 1 2", -1, {0, 0.25, 1, 1}, "Clamped to 0 to 1: 1200 vertex colour values\n"},
        {"0.5 1.0001 0.5", 300, {0.5, 1, 0.5, 1}, "Clamped to 0 to 1: 1 vertex colour value\n"},
        {"0 1 0.5 1", -1, {0, 1, 0.5, 1}, ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.mColor);
        std::string text;
        for (int i = 0; i < kVertices; ++i)
            text += "v " + std::to_string(i) + " 0 0" + (c.mOnly < 0 || c.mOnly == i ? std::string(" ") + c.mColor : "") +
                    "\n";
        for (int i = 1; i + 2 <= kVertices; i += 3)
            text += "f " + std::to_string(i) + " " + std::to_string(i + 1) + " " + std::to_string(i + 2) + "\n";
        qoxtest::TempDir dir;
        ASSERT_TRUE(qoxtest::WriteFile(dir.File("bytes.obj"), text));
        for (int threads : {1, 4})
        {
            SCOPED_TRACE("threads " + std::to_string(threads));
            bool colored = false;
            std::string message;
            const VertexColors read = ReadColors(dir.File("bytes.obj"), threads, colored, &message);
            EXPECT_EQ(message, c.mMessage);
            const int vertex = c.mOnly < 0 ? kVertices - 1 : c.mOnly;
            ASSERT_EQ(read.count(vertex), 1u);
            EXPECT_EQ(read.at(vertex), c.mRead);
        }
    }
}
