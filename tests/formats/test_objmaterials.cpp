// OBJ material libraries as other tools write and read them: the opacity of
// "d" and "Tr", maps the reader leaves out, a library that cannot be opened
// for want of a descriptor, and material names with blanks.

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <fstream>

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

// What one face shows of its material.
struct FaceMaterial
{
    std::string mName;
    double mRed, mGreen, mBlue, mOpacity;
    bool operator==(const FaceMaterial& o) const
    {
        // Colours and opacity are kept in single precision.
        auto same = [](double a, double b) { return static_cast<float>(a) == static_cast<float>(b); };
        return mName == o.mName && same(mRed, o.mRed) && same(mGreen, o.mGreen) && same(mBlue, o.mBlue) &&
               same(mOpacity, o.mOpacity);
    }
};

std::ostream& operator<<(std::ostream& out, const FaceMaterial& m)
{
    return out << '"' << m.mName << "\" " << m.mRed << ' ' << m.mGreen << ' ' << m.mBlue << " d " << m.mOpacity;
}

// The material of each face of the mesh "default", in order.
std::vector<FaceMaterial> FaceMaterials(const ObjRead& r)
{
    std::vector<FaceMaterial> faces;
    KQoxMesh* mesh = r.Mesh("default");
    for (int f = 0; mesh && f < mesh->GetPolygonCount(); ++f)
    {
        KQoxMaterial* m = mesh->GM(mesh->GetMaterialIndices()[f], 0);
        const KQoxColor kd = m->GetDiffuse();
        faces.push_back({m->GetNameWithoutNameSpacePrefix().ToChars(), kd.mRed, kd.mGreen, kd.mBlue, m->GetOpacity()});
    }
    return faces;
}

#ifdef QOX_HAVE_TINYOBJ
// The material of each face as tinyobjloader's reading through callbacks
// gives it (its LoadObj cuts a "usemtl" name at the first blank; this
// reading, like its libraries', takes the rest of the line): name, diffuse
// colour and dissolve; a name found in no library as an empty name.
std::vector<FaceMaterial> PeerFaceMaterials(const std::string& folder, const std::string& obj)
{
    struct Reading
    {
        std::vector<tinyobj::material_t> mMaterials;
        int mCurrent = -1;
        std::vector<FaceMaterial> mFaces;
    } reading;
    tinyobj::callback_t callback;
    callback.mtllib_cb = [](void* data, const tinyobj::material_t* materials, int count) {
        static_cast<Reading*>(data)->mMaterials.assign(materials, materials + count);
    };
    callback.usemtl_cb = [](void* data, const char*, int id) { static_cast<Reading*>(data)->mCurrent = id; };
    callback.index_cb = [](void* data, tinyobj::index_t*, int) {
        Reading& r = *static_cast<Reading*>(data);
        if (r.mCurrent < 0 || static_cast<size_t>(r.mCurrent) >= r.mMaterials.size())
            r.mFaces.push_back({"", 0, 0, 0, 0});
        else
        {
            const tinyobj::material_t& m = r.mMaterials[static_cast<size_t>(r.mCurrent)];
            r.mFaces.push_back({m.name, m.diffuse[0], m.diffuse[1], m.diffuse[2], m.dissolve});
        }
    };
    std::ifstream in(folder + "/" + obj, std::ios::binary);
    tinyobj::MaterialFileReader libraries(folder + "/");
    std::string warn, err;
    EXPECT_TRUE(tinyobj::LoadObjWithCallback(in, callback, &reading, &libraries, &warn, &err)) << err;
    return reading.mFaces;
}
#endif

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

TEST(ObjMaterials, NamesAreReadWholeAndWrittenSoThatTheyReadBackWhole)
{
    // A material's name is the rest of its "newmtl" or "usemtl" line, blanks
    // and tabs within it included, without the blanks (and CR) around it.
    // Written to OBJ and read again, every face keeps its material. The
    // files written read alike in tinyobjloader, and so do the libraries
    // and OBJ files written with a single blank after the keyword and none
    // after the name (its reading keeps the others' blanks in the name).
    struct Case
    {
        const char* mWhat;
        std::string mLibrary;
        std::vector<std::string> mUses; // each face's "usemtl" line, without its LF
        std::vector<FaceMaterial> mFaces;
        std::string mMessage;
        bool mPeerAgrees;
    };
    const FaceMaterial paint{"Car Paint", 1, 0, 0, 1}, glass{"Car Glass", 0, 0, 1, 0.3};
    const Case cases[] = {
        {"names sharing their first word", "newmtl Car Paint\nKd 1 0 0\nnewmtl Car Glass\nKd 0 0 1\nd 0.3\n",
         {"usemtl Car Paint", "usemtl Car Glass", "usemtl Car Paint"}, {paint, glass, paint}, "", true},
        {"tabs within and after the keyword", "newmtl\tCar\tPaint\nKd 0 1 0\nnewmtl Car Paint\nKd 1 0 0\n",
         {"usemtl Car Paint", "usemtl\tCar\tPaint"}, {paint, {"Car\tPaint", 0, 1, 0, 1}}, "", true},
        {"blanks and CR after the name",
         "newmtl Car Paint \t\r\nKd 1 0 0\r\nnewmtl Car Glass\r\nKd 0 0 1\r\nd 0.3\r\n",
         {"usemtl Car Glass  \r", "usemtl Car Paint\t\r"}, {glass, paint}, "", false},
        {"blanks before the name", "newmtl  \t Car Glass\nKd 0 0 1\nd 0.3\n", {"usemtl \t  Car Glass"},
         {glass}, "", false},
        {"a name no library defines, whose first word one does", "newmtl Car\nKd 0 1 0\n",
         {"usemtl Car Paint", "usemtl Car"}, {{"Car Paint", 0.8, 0.8, 0.8, 1}, {"Car", 0, 1, 0, 1}},
         "Unable to read material \"Car Paint\" in .mtl file\n", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.mWhat);
        qoxtest::TempDir dir;
        std::string obj = "mtllib lib.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\n";
        for (const std::string& use : c.mUses)
            obj += use + "\nf 1 2 3\n";
        ASSERT_TRUE(qoxtest::WriteFile(dir.File("lib.mtl"), c.mLibrary));
        auto r = ReadText(dir, obj);
        ASSERT_TRUE(r->ok);
        EXPECT_EQ(r->message, c.mMessage);
        EXPECT_EQ(FaceMaterials(*r), c.mFaces);
        std::set<std::string> names;
        for (const FaceMaterial& face : c.mFaces)
            names.insert(face.mName);
        EXPECT_EQ(r->manager->GetKQoxMaterialCount(), static_cast<int>(names.size()));

        // Written whole: each name on its lines as it is, read back so.
        ASSERT_TRUE(WriteScene(*r->manager, r->scene, dir.File("out.obj")));
        const std::string written = qoxtest::ReadFile(dir.File("out.obj"));
        const std::string library = qoxtest::ReadFile(dir.File("out.mtl"));
        for (const std::string& name : names)
        {
            EXPECT_NE(written.find("\nusemtl " + name + "\n"), std::string::npos) << written;
            EXPECT_NE(library.find("\nnewmtl " + name + "\n"), std::string::npos) << library;
        }
        ObjRead back(dir.File("out.obj"));
        ASSERT_TRUE(back.ok);
        EXPECT_EQ(back.message, "");
        EXPECT_EQ(FaceMaterials(back), c.mFaces);
#ifdef QOX_HAVE_TINYOBJ
        EXPECT_EQ(PeerFaceMaterials(dir.Path(), "out.obj"), c.mFaces) << "tinyobjloader, the file written";
        if (c.mPeerAgrees)
        {
            EXPECT_EQ(PeerFaceMaterials(dir.Path(), "model.obj"), c.mFaces) << "tinyobjloader";
        }
#endif
    }
    // A scene's name with blanks at its ends, which no reader keeps: they
    // are written as '_', so that the name stays one of its own.
    qoxtest::TempDir dir;
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("lib.mtl"), "newmtl Car\nKd 1 0 0\n"));
    auto r = ReadText(dir, "mtllib lib.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl Car\nf 1 2 3\n");
    ASSERT_TRUE(r->ok);
    r->Mesh("default")->GM(0, 0)->SetName(" Car Paint\t");
    ASSERT_TRUE(WriteScene(*r->manager, r->scene, dir.File("out.obj")));
    EXPECT_NE(qoxtest::ReadFile(dir.File("out.mtl")).find("\nnewmtl _Car Paint_\n"), std::string::npos);
    ObjRead back(dir.File("out.obj"));
    const std::vector<FaceMaterial> expected{{"_Car Paint_", 1, 0, 0, 1}};
    EXPECT_EQ(FaceMaterials(back), expected);
#ifndef QOX_HAVE_TINYOBJ
    GTEST_SKIP() << "tinyobjloader is not installed: the names are not compared with its reading";
#endif
}
