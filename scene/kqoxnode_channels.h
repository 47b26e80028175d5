// The X, Y and Z values of a node's transform channels ("T", "R", "S").
#ifndef QOX_SCENE_KQOXNODE_CHANNELS_H
#define QOX_SCENE_KQOXNODE_CHANNELS_H

#include <algorithm>

#include "base/kmath_kernels.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurvevaluebuffer.h"

namespace qoxsdk_600 {
namespace nodechannels {

// Whether a channel's leaves hold a quaternion: the quaternion layer type
// over four members without members of their own.
inline bool HoldsQuaternion(KFCurveNode* channel)
{
    if (channel->GetLayerType() != KFCL_QUAT || channel->GetCount() != 4)
        return false;
    for (int i = 0; i < 4; ++i)
        if (!channel->Get(i) || channel->Get(i)->GetCount() != 0)
            return false;
    return true;
}

// The members of a channel that X, Y and Z stand on: the first three
// leaves, or the four of a quaternion.
inline int XYZLeafCount(KFCurveNode* channel)
{
    return HoldsQuaternion(channel) ? 4 : std::min(channel->GetLeafCount(), 3);
}

// X, Y and Z (Euler XYZ angles for a quaternion) placed on the channel's
// leaves they stand on (XYZLeafCount); the other leaves are left alone.
inline void XYZToLeaves(KFCurveNode* channel, const double* xyz, double* leaves)
{
    if (!HoldsQuaternion(channel))
    {
        std::copy(xyz, xyz + XYZLeafCount(channel), leaves);
        return;
    }
    KgeRMatrix r;
    KmXYZtoR(r, xyz[0], xyz[1], xyz[2]);
    leaves[0] = leaves[1] = leaves[2] = 0.0;
    leaves[3] = 1.0;
    KmRtoQ(leaves, r);
}

// The X, Y and Z a channel's leaves show (a quaternion's as Euler XYZ
// angles); xyz keeps what there is no leaf for.
inline void LeavesToXYZ(KFCurveNode* channel, const double* leaves, double* xyz)
{
    if (!HoldsQuaternion(channel))
    {
        std::copy(leaves, leaves + std::min(channel->GetLeafCount(), 3), xyz);
        return;
    }
    KgeRMatrix r;
    KmQtoR(r, leaves);
    KmRtoVXYZ(xyz, r);
}

// The X, Y and Z values of a transform channel, each read from its own
// member. xyz enters holding the channel's property value, which a member
// without a curve in the base layer keeps. read writes one value per leaf
// of the channel (KFCurveNode::GetLeafValues or EvaluateLeaves), from what
// each leaf holds on entry; a channel read from a file may hold more leaves
// than three (a member beyond X, Y and Z, or the W a quaternion layer type
// adds).
template <class Read>
void ReadXYZ(KFCurveNode* channel, double* xyz, Read read)
{
    const int count = channel->GetLeafCount();
    KFCurveValueBuffer<8> leaves(count + 4);
    std::fill(leaves.Data(), leaves.Data() + count + 4, 0.0);
    XYZToLeaves(channel, xyz, leaves.Data());
    read(leaves.Data());
    LeavesToXYZ(channel, leaves.Data(), xyz);
}

} // namespace nodechannels
} // namespace qoxsdk_600

#endif
