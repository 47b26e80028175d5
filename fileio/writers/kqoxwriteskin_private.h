#ifndef QOX_FILEIO_WRITERS_KQOXWRITESKIN_PRIVATE_H
#define QOX_FILEIO_WRITERS_KQOXWRITESKIN_PRIVATE_H

// The two forms of a scene's skinning, as the native writers need them for
// the length of one write. Each guard changes the caller's scene only while
// it lives and puts it back as it was on the way out. Not part of the
// library's interface.

#include <vector>

namespace qoxsdk_600 {

class KQoxDeformer;
class KQoxGeometry;
class KQoxLink;
class KQoxNode;
class KQoxScene;
class KQoxSdkManager;

// The geometries of the nodes under root (root included) in child order,
// parents first, or with childrenFirst every node after its children.
std::vector<KQoxGeometry*> GeometriesUnder(KQoxNode* root, bool childrenFirst = false);

// Skin and cluster deformers of the scene become links of their geometries
// (KQoxScene::BuildKQoxLinkFromKQoxDeformer). A geometry that has links of
// its own keeps only those. On the way out the links made here go again.
class KQoxSkinAsLinks
{
public:
    KQoxSkinAsLinks(KQoxScene& scene, KQoxSdkManager& manager, const std::vector<KQoxGeometry*>& geometries);
    ~KQoxSkinAsLinks();
    KQoxSkinAsLinks(const KQoxSkinAsLinks&) = delete;
    KQoxSkinAsLinks& operator=(const KQoxSkinAsLinks&) = delete;

private:
    void DropLinksFrom(KQoxGeometry& geometry, int keep);
    KQoxSdkManager& mManager;
    std::vector<KQoxGeometry*> mGeometries;
    std::vector<int> mLinkCounts;
};

// One skin deformer made for the write: the node whose geometry it deforms,
// and its clusters, each with the link it was made from (whose transforms
// are written as they are: the cluster's matrices would round them).
struct KQoxWrittenSkin
{
    struct Cluster
    {
        KQoxDeformer* mCluster;
        KQoxLink* mLink;
    };
    KQoxDeformer* mSkin;
    KQoxNode* mNode;
    std::vector<Cluster> mClusters;
};

// The links of the scene's geometries become skin and cluster deformers
// (KQoxScene::BuildKQoxDeformerFromKQoxLink). On the way out (out of memory
// while they are made too) the deformers made here, whether the entity
// lists them yet or not, are taken out of the scene and destroyed, clusters
// first, without allocating; the scene's own deformers stay.
class KQoxSkinAsDeformers
{
public:
    KQoxSkinAsDeformers(KQoxScene& scene, KQoxSdkManager& manager);
    ~KQoxSkinAsDeformers();
    KQoxSkinAsDeformers(const KQoxSkinAsDeformers&) = delete;
    KQoxSkinAsDeformers& operator=(const KQoxSkinAsDeformers&) = delete;

    const std::vector<KQoxWrittenSkin>& GetSkins() const { return mSkins; }
    // Links that name no bone node: no cluster stands for them.
    int GetLinksWithoutNode() const { return mLinksWithoutNode; }

private:
    void PairSkins();
    // Takes out of the entity and destroys its deformers from index first
    // on, clusters first; allocates nothing.
    void DestroyFrom(int first);

    KQoxScene& mScene;
    KQoxSdkManager& mManager;
    int mFirst = 0; // the entity's first deformer made here
    std::vector<KQoxDeformer*> mMade;
    std::vector<KQoxWrittenSkin> mSkins;
    int mLinksWithoutNode = 0;
};

} // namespace qoxsdk_600

#endif
