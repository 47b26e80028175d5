// Native reader: skin and cluster deformers (version 6). What they hold goes
// back into links of the geometry each skin deforms, so the scene read holds
// its skinning in one form whatever the file held.

#include <climits>
#include <cstring>

#include "fileio/kqoxnative_private.h"
#include "fileio/kqoxreaderqox_private.h"
#include "scene/attributes/kqoxgeometry.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

using namespace qoxnative;

void KQoxRead6::ReadDeformer()
{
    if (!mFile.FieldReadBegin(kDeformer))
        return;
    mFile.FieldReadC(); // its name: the links made from it have none
    KString type(mFile.FieldReadC());
    FileDeformer deformer;
    deformer.mSkin = type.CompareNoCase(kClusterType) != 0;
    if (mFile.FieldReadBlockBegin())
    {
        if (!deformer.mSkin)
        {
            // Control points are checked once the geometry is known.
            deformer.mLink = mScene.mManager.CreateKQoxLink();
            if (deformer.mLink && !ReadLinkFields(*deformer.mLink, INT_MAX))
                mCorrupted = true;
        }
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
    // Every deformer keeps its place: connections name them by position.
    mDeformers.push_back(deformer);
}

bool KQoxRead6::ReadDeformerConnection(const char* kind, int from, int to)
{
    const int deformers = static_cast<int>(mDeformers.size());
    const int nodes = static_cast<int>(mNodes.size());
    if (from < 0 || from >= deformers || to < 0)
        return false;
    FileDeformer& deformer = mDeformers[static_cast<size_t>(from)];
    if (std::strcmp(kind, kSkinOf) == 0)
    {
        // One node per skin.
        if (!deformer.mSkin || to >= nodes || deformer.mNode >= 0)
            return false;
        deformer.mNode = to;
        return true;
    }
    if (deformer.mSkin)
        return false;
    if (std::strcmp(kind, kClusterOf) == 0)
    {
        // One skin per cluster.
        if (to >= deformers || !mDeformers[static_cast<size_t>(to)].mSkin || deformer.mOwner >= 0)
            return false;
        deformer.mOwner = to;
        mDeformers[static_cast<size_t>(to)].mClusters.push_back(from);
        return true;
    }
    int& node = std::strcmp(kind, kBoneOf) == 0 ? deformer.mBone : deformer.mAssociate;
    if (to >= nodes || node >= 0)
        return false;
    node = to;
    return true;
}

void KQoxRead6::ResolveDeformers()
{
    for (FileDeformer& skin : mDeformers)
    {
        if (!Ok())
            break;
        if (!skin.mSkin || skin.mNode < 0)
            continue;
        KQoxNode* node = mNodes[static_cast<size_t>(skin.mNode)];
        KQoxGeometry* geometry = dynamic_cast<KQoxGeometry*>(node->GetNodeAttribute());
        if (!geometry)
            continue;
        const int points = geometry->GetControlPointsCount();
        for (int c : skin.mClusters)
        {
            FileDeformer& cluster = mDeformers[static_cast<size_t>(c)];
            KQoxLink* link = cluster.mLink;
            if (!link)
                continue;
            for (int i = 0; i < link->GetControlPointIndicesCount(); ++i)
                if (link->GetControlPointIndices()[i] >= points)
                    mCorrupted = true;
            if (!Ok())
                break;
            if (cluster.mBone >= 0)
                link->SetLink(mNodes[static_cast<size_t>(cluster.mBone)]);
            if (cluster.mAssociate >= 0)
                link->SetAssociateModel(mNodes[static_cast<size_t>(cluster.mAssociate)]);
            geometry->AddLink(link);
            cluster.mLink = nullptr; // the geometry's now
        }
    }
    DestroyDeformerLinks();
}

void KQoxRead6::DestroyDeformerLinks()
{
    for (FileDeformer& deformer : mDeformers)
        if (deformer.mLink)
        {
            mScene.mManager.DestroyKQoxLink(deformer.mLink);
            deformer.mLink = nullptr;
        }
}

} // namespace qoxsdk_600
