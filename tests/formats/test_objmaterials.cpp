// OBJ material libraries as other tools write and read them: the opacity of
// "d" and "Tr", maps the reader leaves out, and a library that cannot be
// opened for want of a descriptor.

#include <gtest/gtest.h>

#include <sstream>

#include "common/qox_test_files.h"
#include "obj_test_util.h"

#ifdef QOX_HAVE_TINYOBJ
#include <tiny_obj_loader.h>
#endif

using namespace objtest;

namespace {

// Three points and one face per material named, in turn.
std::string FacesUsing(const std::string& library, const std::vector<std::string>& materials)
{
    std::string text = "mtllib " + library + "\nv 0 0 0\nv 1 0 0\nv 0 1 0\n";
    for (const std::string& name : materials)
        text += "usemtl " + name + "\nf 1 2 3\n";
    return text;
}

// The opacity of each material of the mesh "default", face by face.
std::vector<double> FaceOpacities(const ObjRead& r)
{
    std::vector<double> opacities;
    KQoxMesh* mesh = r.Mesh("default");
    for (int f = 0; mesh && f < mesh->GetPolygonCount(); ++f)
        opacities.push_back(mesh->GM(mesh->GetMaterialIndices()[f], 0)->GetOpacity());
    return opacities;
}

// The opacity a library's statements give to three.js's MTL loader ("d n":
// n when n < 1; "Tr n": 1 - n when n > 0, so "Tr 1" is invisible) and to
// this system's earlier readers ("d" and "Tr" alike, the later holding),
// per material in order.
std::vector<std::pair<double, double>> OtherOpacities(const std::string& library)
{
    std::vector<std::pair<double, double>> opacities;
    std::istringstream lines(library);
    for (std::string line; std::getline(lines, line);)
    {
        std::istringstream words(line);
        std::string keyword;
        double n = 0.0;
        words >> keyword;
        if (keyword == "newmtl")
            opacities.emplace_back(1.0, 1.0);
        else if ((keyword == "d" || keyword == "Tr") && words >> n && !opacities.empty())
        {
            double& three = opacities.back().first;
            three = keyword == "d" ? (n < 1.0 ? n : three) : (n > 0.0 ? 1.0 - n : three);
            opacities.back().second = n;
        }
    }
    return opacities;
}

#ifdef QOX_HAVE_TINYOBJ
// tinyobjloader's dissolve of each material of the file, in order.
std::vector<double> PeerDissolves(const std::string& folder, const std::string& obj)
{
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
    EXPECT_TRUE(tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, (folder + "/" + obj).c_str(),
                                 (folder + "/").c_str(), false))
        << err;
    std::vector<double> dissolves;
    for (const tinyobj::material_t& m : materials)
        dissolves.push_back(m.dissolve);
    return dissolves;
}
#endif

} // namespace

TEST(ObjMaterials, DGivesTheOpacityWhereTrIsThereToo)
{
    // Exporters that write both give "Tr" as the transparency; this
    // system's own libraries gave "Tr" alone as the opacity, or both alike.
    // Written back, each material reads with its opacity in this reader,
    // tinyobjloader, three.js's loader and this system's earlier readers.
    struct Case
    {
        const char* mStatements;
        double mOpacity;
        bool mPeerAgrees; // tinyobjloader takes "Tr" alone as 1 - opacity
    };
    const Case cases[] = {{"d 1.0000\nTr 0.0000\n", 1.0, true},  {"Tr 0.0000\nd 1.0000\n", 1.0, true},
                          {"d 0.4\nTr 0.9\nd 0.6\n", 0.6, true}, {"Tr 0.3\n", 0.3, false},
                          {"Tr 1.000000\n", 1.0, false},         {"Tr 0.250000\nd 0.250000\n", 0.25, true},
                          {"d 0\n", 0.0, true}};
    std::string library;
    std::vector<std::string> names;
    for (size_t i = 0; i < std::size(cases); ++i)
    {
        names.push_back("M" + std::to_string(i));
        library += "newmtl " + names.back() + "\n" + cases[i].mStatements;
    }
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("lib.mtl"), library);
    auto r = ReadText(dir, FacesUsing("lib.mtl", names));
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->message, "");
    ASSERT_TRUE(WriteScene(*r->manager, r->scene, dir.File("out.obj")));
    ObjRead back(dir.File("out.obj"));
    const std::vector<double> read = FaceOpacities(*r), reread = FaceOpacities(back);
    const auto others = OtherOpacities(qoxtest::ReadFile(dir.File("out.mtl")));
    ASSERT_EQ(read.size(), std::size(cases));
    ASSERT_EQ(reread.size(), std::size(cases));
    ASSERT_EQ(others.size(), std::size(cases));
#ifdef QOX_HAVE_TINYOBJ
    const std::vector<double> peer = PeerDissolves(dir.Path(), "model.obj");
    const std::vector<double> peerWritten = PeerDissolves(dir.Path(), "out.obj");
    ASSERT_EQ(peer.size(), std::size(cases));
    ASSERT_EQ(peerWritten.size(), std::size(cases));
#endif
    for (size_t i = 0; i < std::size(cases); ++i)
    {
        SCOPED_TRACE(cases[i].mStatements);
        const double opacity = cases[i].mOpacity;
        EXPECT_FLOAT_EQ(read[i], opacity); // kept in single precision
        EXPECT_FLOAT_EQ(reread[i], opacity);
        EXPECT_FLOAT_EQ(others[i].first, opacity) << "three.js";
        EXPECT_FLOAT_EQ(others[i].second, opacity) << "earlier readers";
#ifdef QOX_HAVE_TINYOBJ
        EXPECT_FLOAT_EQ(peerWritten[i], opacity);
        if (cases[i].mPeerAgrees)
        {
            EXPECT_FLOAT_EQ(peer[i], opacity);
        }
#endif
    }
#ifndef QOX_HAVE_TINYOBJ
    GTEST_SKIP() << "tinyobjloader is not installed: the opacities are not compared with its reading";
#endif
}

TEST(ObjMaterials, MapsNotReadAreNamedWithTheirCount)
{
    // The maps exporters write beside "map_Kd": each kind named once, as
    // written, with the number of statements left out; the read succeeds
    // and the diffuse map is read. A material not used is not read.
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("wood.png"), "pixels");
    qoxtest::WriteFile(dir.File("lib.mtl"), "newmtl Wood\nmap_Kd wood.png\nmap_Bump -bm 0.5 wood_n.png\n"
                                            "map_Ks wood_s.png\nmap_d wood_a.png\n"
                                            "newmtl Metal\nbump metal_n.png\nmap_Ns metal_r.png\n"
                                            "disp metal_h.png\nrefl -type sphere env.png\n"
                                            "map_Bump metal_b.png\ndecal sticker.png\nmap_Ka ao.png\n"
                                            "map_aat on\nmap_Bump\n"
                                            "newmtl Unused\nnorm never.png\n");
    auto r = ReadText(dir, FacesUsing("lib.mtl", {"Wood", "Metal"}));
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->message, "Left out of the scene: 2 texture maps map_Bump\n"
                          "Left out of the scene: 1 texture map map_Ks\n"
                          "Left out of the scene: 1 texture map map_d\n"
                          "Left out of the scene: 1 texture map bump\n"
                          "Left out of the scene: 1 texture map map_Ns\n"
                          "Left out of the scene: 1 texture map disp\n"
                          "Left out of the scene: 1 texture map refl\n"
                          "Left out of the scene: 1 texture map decal\n"
                          "Left out of the scene: 1 texture map map_Ka\n"
                          "Left out of the scene: 1 texture map map_aat\n");
    KQoxMesh* mesh = r->Mesh("default");
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GTC(0), 2);
    EXPECT_EQ(std::string(mesh->GT(1, 0)->GetFileName()), dir.File("wood.png"));
}

TEST(ObjMaterials, LibraryWithoutADescriptorFailsTheRead)
{
    // With one descriptor to spare the OBJ file opens and its library
    // cannot, whether it is named as on disk or in other letters (then its
    // folder is searched): the read fails, never reads the materials grey.
    // With two the library is read.
    struct Case
    {
        int mFree;
        const char* mLibrary;
        const char* mOutcome;
    };
    const Case cases[] = {{1, "paint.mtl", "failed: File not opened: too many files are open"},
                          {1, "PAINT.MTL", "failed: File not opened: too many files are open"},
                          {2, "paint.mtl", "read red"},
                          {2, "PAINT.MTL", "read red"}};
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("paint.mtl"), "newmtl Red\nKd 1 0 0\n");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.mLibrary) + ", " + std::to_string(c.mFree) + " to spare");
        qoxtest::WriteFile(dir.File("model.obj"), FacesUsing(c.mLibrary, {"Red"}));
        // Read first with every descriptor: the undefined-behaviour
        // sanitizer checks a type through a pipe the first time it meets it.
        auto outcome = [&] {
            ObjRead r(dir.File("model.obj"));
            KQoxMesh* mesh = r.Mesh("default");
            if (!r.ok || !mesh)
                return std::string("failed: ") + r.reader->GetLastErrorString();
            const KQoxColor kd = mesh->GM(0, 0)->GetDiffuse();
            return (kd.mRed == 1.0 && kd.mGreen == 0.0 && kd.mBlue == 0.0 ? "read red" : "read grey") + r.message;
        };
        ASSERT_EQ(outcome(), "read red");
        EXPECT_EQ(qoxtest::RunWithFreeDescriptors(c.mFree, outcome), c.mOutcome);
    }
}
