// Native writers: the scene's skinning as links (version 5) or as skin and
// cluster deformers (version 6) for the length of one write.

#include "fileio/writers/kqoxwriteskin_private.h"

#include <algorithm>
#include <unordered_set>

#include "scene/attributes/kqoxdeformer.h"
#include "scene/attributes/kqoxgeometry.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

bool Lists(KQoxEntity& entity, KQoxDeformer* deformer)
{
    for (int i = 0; i < entity.GetDeformerCount(); ++i)
        if (entity.GetDeformer(i) == deformer)
            return true;
    return false;
}

} // namespace

std::vector<KQoxGeometry*> GeometriesUnder(KQoxNode* root, bool childrenFirst)
{
    // Children first, in child order, is the parents-first walk over
    // mirrored child lists, reversed.
    std::vector<KQoxNode*> order;
    std::vector<KQoxNode*> pending;
    if (root)
        pending.push_back(root);
    while (!pending.empty())
    {
        KQoxNode* node = pending.back();
        pending.pop_back();
        order.push_back(node);
        const int count = node->GetChildCount();
        for (int i = 0; i < count; ++i)
            pending.push_back(node->GetChild(childrenFirst ? i : count - 1 - i));
    }
    if (childrenFirst)
        std::reverse(order.begin(), order.end());
    std::vector<KQoxGeometry*> geometries;
    for (KQoxNode* node : order)
        if (KQoxGeometry* geometry = dynamic_cast<KQoxGeometry*>(node->GetNodeAttribute()))
            geometries.push_back(geometry);
    return geometries;
}

KQoxSkinAsLinks::KQoxSkinAsLinks(KQoxScene& scene, KQoxSdkManager& manager,
                                 const std::vector<KQoxGeometry*>& geometries)
    : mManager(manager)
    , mGeometries(geometries)
{
    for (KQoxGeometry* geometry : mGeometries)
        mLinkCounts.push_back(geometry->GetLinkCount());
    if (scene.GetDeformerCount() > 0)
        scene.BuildKQoxLinkFromKQoxDeformer();
    // Links a geometry had already stand for its skin: the copies go now.
    for (size_t g = 0; g < mGeometries.size(); ++g)
        if (mLinkCounts[g] > 0)
            DropLinksFrom(*mGeometries[g], mLinkCounts[g]);
}

KQoxSkinAsLinks::~KQoxSkinAsLinks()
{
    for (size_t g = 0; g < mGeometries.size(); ++g)
        DropLinksFrom(*mGeometries[g], mLinkCounts[g]);
}

void KQoxSkinAsLinks::DropLinksFrom(KQoxGeometry& geometry, int keep)
{
    while (geometry.GetLinkCount() > keep)
        if (KQoxLink* link = geometry.RemoveLink(geometry.GetLinkCount() - 1))
            mManager.DestroyKQoxLink(link);
}

KQoxSkinAsDeformers::KQoxSkinAsDeformers(KQoxScene& scene, KQoxSdkManager& manager)
    : mScene(scene)
    , mManager(manager)
{
    KQoxEntity* entity = scene.GetEntity();
    const int before = mFirst = entity->GetDeformerCount();
    // The manager's deformers: one made here may be left out of the entity
    // when memory runs out as it is listed.
    std::unordered_set<KQoxDeformer*> had;
    for (int i = 0; i < manager.GetKQoxDeformerCount(); ++i)
        had.insert(manager.GetKQoxDeformer(i));
    try
    {
        scene.BuildKQoxDeformerFromKQoxLink();
        for (int i = before; i < entity->GetDeformerCount(); ++i)
            if (KQoxDeformer* deformer = dynamic_cast<KQoxDeformer*>(entity->GetDeformer(i)))
                mMade.push_back(deformer);
        PairSkins();
    }
    catch (...)
    {
        // Out of memory half way: the scene keeps none of the deformers
        // made for the write, whether listed yet or not.
        mMade.clear();
        DestroyFrom(before);
        for (int i = manager.GetKQoxDeformerCount() - 1; i >= 0; --i)
        {
            KQoxDeformer* deformer = manager.GetKQoxDeformer(i);
            if (!deformer || had.count(deformer) || Lists(*entity, deformer))
                continue;
            deformer->ForgetEntity();
            manager.DestroyKQoxDeformer(deformer);
        }
        throw;
    }
}

void KQoxSkinAsDeformers::PairSkins()
{
    KQoxEntity* entity = mScene.GetEntity();
    // The conversion makes, for each node of the entity whose geometry has
    // links, a skin and then one cluster per link that names a bone node, in
    // link order: pair each with what it was made from.
    size_t next = 0;
    auto take = [&](int type) -> KQoxDeformer* {
        if (next >= mMade.size() || mMade[next]->GetDeformerType() != type)
            return nullptr;
        return mMade[next++];
    };
    const int nodes = entity->GetNodeCount();
    for (int i = 0; i < nodes; ++i)
    {
        KQoxNode* node = entity->GetNode(i);
        KQoxGeometry* geometry = node ? dynamic_cast<KQoxGeometry*>(node->GetGeometry()) : nullptr;
        if (!geometry || geometry->GetLinkCount() == 0 || !node->GetPropertyHandler())
            continue;
        KQoxWrittenSkin skin{take(KQoxDeformer::eSKIN), node, {}};
        if (!skin.mSkin)
            break;
        for (int l = 0; l < geometry->GetLinkCount(); ++l)
        {
            KQoxLink* link = geometry->GetLink(l);
            if (!link || !link->GetLink())
            {
                ++mLinksWithoutNode;
                continue;
            }
            if (KQoxDeformer* cluster = take(KQoxDeformer::eCLUSTER))
                skin.mClusters.push_back({cluster, link});
        }
        mSkins.push_back(skin);
    }
}

KQoxSkinAsDeformers::~KQoxSkinAsDeformers()
{
    mMade.clear();
    DestroyFrom(mFirst);
}

void KQoxSkinAsDeformers::DestroyFrom(int first)
{
    // Clusters first, then the skins, each found in place: freeing allocates
    // nothing, however short memory is.
    KQoxEntity* entity = mScene.GetEntity();
    for (const bool clusters : {true, false})
        for (int i = first; i < entity->GetDeformerCount();)
        {
            KQoxDeformer* deformer = dynamic_cast<KQoxDeformer*>(entity->GetDeformer(i));
            if (!deformer || (deformer->GetDeformerType() == KQoxDeformer::eCLUSTER) != clusters)
            {
                ++i;
                continue;
            }
            bool removed = false;
            while (!(removed = entity->RemoveDeformer(deformer)) &&
                   entity->GetLastErrorID() == KQoxEntity::eDEFORMER_IN_USE)
            {}
            if (!removed)
            {
                ++i; // still listed: never destroyed under the entity
                continue;
            }
            deformer->ForgetEntity();
            mManager.DestroyKQoxDeformer(deformer);
        }
}

} // namespace qoxsdk_600
