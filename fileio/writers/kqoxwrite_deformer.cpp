// Version-6 writer: skinning as skin and cluster deformers, and the
// connections that tie them to their nodes.

#include "fileio/kqoxnative_private.h"
#include "fileio/writers/kqoxwriteskin_private.h"
#include "fileio/writers/kqoxwriterqox6_private.h"
#include "scene/attributes/kqoxdeformer.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxnode.h"

namespace qoxsdk_600 {

using namespace qoxnative;

void KQoxWrite6::WriteDeformers()
{
    mSkinIndex.clear();
    if (!mSkins)
        return;
    int position = 0;
    for (const KQoxWrittenSkin& skin : *mSkins)
    {
        // A skin whose node the file does not hold is left out with its clusters.
        if (mNodeIndex.find(skin.mNode) == mNodeIndex.end())
        {
            mSkinIndex.push_back(-1);
            continue;
        }
        mSkinIndex.push_back(position);
        position += 1 + static_cast<int>(skin.mClusters.size());
        mFile.FieldWriteBegin(kDeformer);
        mFile.FieldWriteC(skin.mSkin->GetName());
        mFile.FieldWriteC(kSkinType);
        mFile.FieldWriteBlockBegin();
        Int(kVersion, kDeformerVersion);
        Int(kMultiLayer, skin.mSkin->GetMultiLayer() ? 1 : 0);
        Double(kLinkDeformAccuracy, skin.mSkin->GetLinkDeformAccuracy());
        mFile.FieldWriteBlockEnd();
        mFile.FieldWriteEnd();
        for (const KQoxWrittenSkin::Cluster& cluster : skin.mClusters)
        {
            mFile.FieldWriteBegin(kDeformer);
            mFile.FieldWriteC(cluster.mCluster->GetName());
            mFile.FieldWriteC(kClusterType);
            mFile.FieldWriteBlockBegin();
            Int(kVersion, kDeformerVersion);
            Int(kMultiLayer, cluster.mCluster->GetMultiLayer() ? 1 : 0);
            WriteClusterLink(*skin.mNode, *cluster.mLink);
            mFile.FieldWriteBlockEnd();
            mFile.FieldWriteEnd();
        }
    }
}

void KQoxWrite6::WriteClusterLink(KQoxNode& node, KQoxLink& link)
{
    // The surface of a NURBS whose links are to be flipped is written
    // flipped (writers/kqoxwrite_node.cpp): its links' control points follow.
    KQoxNurb* nurb = dynamic_cast<KQoxNurb*>(node.GetNodeAttribute());
    if (!nurb || !nurb->GetApplyFlipLinks() || nurb->GetUCount() == 0)
    {
        WriteLinkFields(link);
        return;
    }
    KQoxLink* flipped = mScene.mManager.CreateKQoxLink();
    if (!flipped)
    {
        WriteLinkFields(link);
        return;
    }
    *flipped = link;
    const int u = nurb->GetUCount(), v = nurb->GetVCount();
    for (int i = 0; i < flipped->GetControlPointIndicesCount(); ++i)
    {
        int& index = flipped->GetControlPointIndices()[i];
        index = (index % u) * v + index / u;
    }
    WriteLinkFields(*flipped);
    mScene.mManager.DestroyKQoxLink(flipped);
}

void KQoxWrite6::WriteDeformerConnections()
{
    if (!mSkins || mSkinIndex.size() != mSkins->size())
        return;
    auto connect = [this](const char* kind, int from, int to) {
        mFile.FieldWriteBegin(kConnect);
        mFile.FieldWriteC(kind);
        mFile.FieldWriteI(from);
        mFile.FieldWriteI(to);
        mFile.FieldWriteEnd();
    };
    for (size_t s = 0; s < mSkins->size(); ++s)
    {
        const KQoxWrittenSkin& skin = (*mSkins)[s];
        const int skinPosition = mSkinIndex[s];
        if (skinPosition < 0)
            continue;
        connect(kSkinOf, skinPosition, mNodeIndex[skin.mNode]);
        for (size_t c = 0; c < skin.mClusters.size(); ++c)
        {
            const int clusterPosition = skinPosition + 1 + static_cast<int>(c);
            KQoxLink* link = skin.mClusters[c].mLink;
            connect(kClusterOf, clusterPosition, skinPosition);
            // Nodes the file does not hold are not connected.
            auto bone = mNodeIndex.find(link->GetLink());
            if (bone != mNodeIndex.end())
                connect(kBoneOf, clusterPosition, bone->second);
            auto associate = mNodeIndex.find(link->GetAssociateModel());
            if (associate != mNodeIndex.end())
                connect(kAssociateOf, clusterPosition, associate->second);
        }
    }
}

} // namespace qoxsdk_600
