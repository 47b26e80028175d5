// Deformation import: link classification, smooth skins, weighted clusters
// and rigid binds, as host command transcripts and resulting weights.
#include "deform_test_util.h"

#include <fstream>

using namespace qoxsdk_600;
using Strings = std::vector<std::string>;

namespace {

TEST_F(DeformTest, MeshSmoothSkinTranscript)
{
    HostGrid("box", 2, 2);
    Run("createNode joint -n hip; createNode joint -n knee -p hip");
    KQoxMesh* mesh = Mesh(4);
    QoxZeltNode* box = Node("box", mesh, nullptr, "box");
    QoxZeltNode* hip = Joint("hip");
    QoxZeltNode* knee = Joint("knee", hip, "|hip|knee");
    Link(mesh, hip, 2, {{0, 1.0}, {1, 0.25}});
    Link(mesh, knee, 2, {{3, 1.0}, {1, 0.75}});
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    for (auto& c : Commands()) std::cout << c << "\n";
    for (unsigned p = 0; p < 4; ++p) std::cout << SkinWeight("skinCluster1", p, 0) << " " << SkinWeight("skinCluster1", p, 1) << "\n";
    for (auto& c : Errors()) std::cout << "ERR " << c << "\n";
    (void)box;
}

} // namespace
