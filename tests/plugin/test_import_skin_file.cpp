// A skinned character written to a native file and imported through
// QOXImport: the host skin cluster's weights, a weighted cluster, and merge
// mode onto a scene that already holds the skeleton.
#include "import_test_util.h"

#include <cstdlib>

#include "common/qox_test_run.h"
#include "host/zfn.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnull.h"
#include "scene/attributes/kqoxskeleton.h"

using namespace qoxsdk_600;
using Strings = std::vector<std::string>;

namespace {

// hips > knee (joints), a null "handle", and a 3 x 2 grid mesh "body" skinned
// to both joints and weighted by a cluster on the handle.
void BuildCharacter(KQoxSdkManager& m, KQoxScene& s)
{
    KQoxNode* root = s.GetRootNode();
    KQoxSkeleton* hipsBone = m.CreateKQoxSkeleton();
    hipsBone->SetSkeletonType(KQoxSkeleton::eROOT);
    KQoxNode* hips = AddNode(m, root, "hips", hipsBone);
    KQoxSkeleton* kneeBone = m.CreateKQoxSkeleton();
    kneeBone->SetSkeletonType(KQoxSkeleton::eLIMB_NODE);
    KQoxNode* knee = AddNode(m, hips, "knee", kneeBone);
    knee->SetDefaultT(KQoxVector4(0, 1, 0));
    KQoxNode* handle = AddNode(m, root, "handle", m.CreateKQoxNull());

    KQoxMesh* mesh = m.CreateKQoxMesh();
    mesh->InitControlPoints(6);
    for (int i = 0; i < 6; ++i)
        mesh->GetControlPoints()[i] = KQoxVector4(i % 3, i / 3, 0, 1);
    const int quads[2][4] = {{0, 1, 4, 3}, {1, 2, 5, 4}};
    for (const auto& quad : quads)
    {
        mesh->BeginPolygon();
        for (int v : quad)
            mesh->AddPolygon(v);
        mesh->EndPolygon();
    }
    auto link = [&](KQoxNode* bone, int mode, std::vector<std::pair<int, double>> points) {
        KQoxLink* l = m.CreateKQoxLink();
        l->SetLink(bone);
        l->SetLinkMode(static_cast<KQoxLink::ELinkMode>(mode));
        for (const auto& p : points)
            l->AddControlPointIndex(p.first, p.second);
        mesh->AddLink(l);
        return l;
    };
    link(hips, KQoxLink::eTOTAL1, {{0, 1.0}, {1, 0.25}, {3, 0.5}});
    KQoxLink* kneeLink = link(knee, KQoxLink::eTOTAL1, {{4, 1.0}, {1, 0.75}, {3, 0.5}, {5, 1.0}});
    kneeLink->SetTransformLinkT(KQoxVector4(0, 1, 0));
    link(handle, KQoxLink::eADDITIVE, {{2, 0.5}, {5, 0.5}});
    AddNode(m, root, "body", mesh);
}

class SkinFileTest : public ImportTest
{
protected:
    static ZObject Object(const std::string& name)
    {
        ZSelectionList list;
        ZObject object;
        if (list.add(ZString(name)))
            list.getDependNode(0, object);
        return object;
    }
    // Each point's weights by influence logical index.
    static std::vector<std::vector<double>> Weights(const char* skin, unsigned points)
    {
        ZFnSkinCluster fn(Object(skin));
        std::vector<std::vector<double>> out;
        for (unsigned p = 0; p < points; ++p)
        {
            ZDoubleArray w;
            fn.getWeights(p, w);
            out.push_back(w.items());
        }
        return out;
    }
    void ExpectCharacterWeights()
    {
        ZFnSkinCluster skin(Object("skinCluster1"));
        ZDagPathArray influences;
        ASSERT_EQ(skin.influenceObjects(influences), 2u);
        EXPECT_STREQ(influences[0].fullPathName().asChar(), "|hips");
        EXPECT_STREQ(influences[1].fullPathName().asChar(), "|hips|knee");
        const std::vector<std::vector<double>> expected = {{1, 0}, {0.25, 0.75}, {0, 0}, {0.5, 0.5}, {0, 1}, {0, 1}};
        const auto weights = Weights("skinCluster1", 6);
        for (size_t p = 0; p < expected.size(); ++p)
            for (size_t j = 0; j < 2; ++j)
                EXPECT_NEAR(weights[p][j], expected[p][j], 1e-6) << "point " << p << " bone " << j;
        EXPECT_EQ(Attr("skinCluster1.normalizeWeights"), "0");
        // The weighted cluster on the handle.
        EXPECT_EQ(Run("percent -q handle1 body.vtx[2] body.vtx[5]"), (Strings{"0.5", "0.5"}));
    }
};

TEST_F(SkinFileTest, SkinnedCharacterImportsWithItsWeights)
{
    ASSERT_TRUE(Import(Write(BuildCharacter), "kCreate"));
    ExpectCharacterWeights();
    EXPECT_EQ(CommandsStarting("newSkinCluster"), Strings{"newSkinCluster \"-toSelectedBones -mi 5 -dr 4\""});
    EXPECT_EQ(CommandsStarting("cluster "), Strings{"cluster -n handle -bf -bs 1.0  -wn handle  handle"});
    EXPECT_EQ(CommandsStarting("select -tgl \""), Strings{"select -tgl \"hips\" \"knee\" "});
}

TEST_F(SkinFileTest, MergeOntoASceneHoldingTheSkeleton)
{
    // The host has the skeleton and the handle already; the body is new.
    Run("createNode joint -n hips; createNode joint -n knee -p hips; setAttr knee.ty 1");
    Run("createNode transform -n handle; createNode transform -n stranger");
    ASSERT_TRUE(Import(Write(BuildCharacter), "kMerge"));
    // No second skeleton: the existing joints became the influences.
    EXPECT_EQ(Run("ls -type joint"), (Strings{"hips", "knee"}));
    ExpectCharacterWeights();
    EXPECT_NE(Dag().find("stranger"), std::string::npos);
    // A second import in merge mode finds the body there and leaves its skin alone.
    ASSERT_TRUE(Import(Write(BuildCharacter, "again.qox"), "kMerge"));
    EXPECT_TRUE(CommandsStarting("newSkinCluster").empty());
    EXPECT_TRUE(CommandsStarting("cluster ").empty());
    ExpectCharacterWeights();
}

TEST_F(SkinFileTest, ZeltImportsTheCharacterFromAScript)
{
    const std::string file = Write(BuildCharacter);
    ASSERT_TRUE(
        qoxtest::WriteFile(mDir.File("skin.zelt"), "QOXImportMode kCreate\nQOXImport -f \"" + file + "\"\ndump\n"));
    qoxtest::Command command;
    command.mArguments = {ZELT_PATH, "-p", mDir.File("qoxzelt.so"), mDir.File("skin.zelt")};
    command.mOutput = mDir.File("out.txt");
    command.mErrors = mDir.File("err.txt");
    const int code = qoxtest::Run(command).mExit;
    EXPECT_EQ(code, 0) << qoxtest::ReadFile(mDir.File("err.txt"));
    const std::string out = qoxtest::ReadFile(mDir.File("out.txt"));
    const size_t skin = out.find("  influences: hips knee\n");
    ASSERT_NE(skin, std::string::npos) << out;
    // Influence 0 is hips, 1 the knee; zero weights are not listed.
    const char* points[] = {"    point 0: 0=1\n",         "    point 1: 0=0.25 1=0.75\n", "    point 2:\n",
                            "    point 3: 0=0.5 1=0.5\n", "    point 4: 1=1\n",           "    point 5: 1=1\n"};
    size_t at = skin;
    for (const char* point : points)
    {
        const size_t next = out.find(point, at);
        EXPECT_NE(next, std::string::npos) << point << out.substr(skin, 400);
        if (next != std::string::npos)
            at = next;
    }
}

} // namespace
