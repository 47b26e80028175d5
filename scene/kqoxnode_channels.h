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

// The X, Y and Z values of a transform channel, each read from its own
// member (the first three leaves; a quaternion's shown as Euler XYZ angles).
// xyz enters holding the channel's property value, which a member without a
// curve in the base layer keeps. read writes one value per leaf of the
// channel (KFCurveNode::GetLeafValues or EvaluateLeaves), from what each
// leaf holds on entry; a channel read from a file may hold more leaves than
// three (a member beyond X, Y and Z, or the W a quaternion layer type adds).
template <class Read>
void ReadXYZ(KFCurveNode* channel, double* xyz, Read read)
{
    const int count = channel->GetLeafCount();
    KFCurveValueBuffer<8> leaves(count + 4);
    const bool quaternion = HoldsQuaternion(channel);
    if (quaternion)
    {
        KgeRMatrix r;
        KmXYZtoR(r, xyz[0], xyz[1], xyz[2]);
        double* q = leaves.Data();
        q[0] = q[1] = q[2] = 0.0;
        q[3] = 1.0;
        KmRtoQ(q, r);
    }
    else
    {
        std::fill(leaves.Data(), leaves.Data() + count + 4, 0.0);
        std::copy(xyz, xyz + std::min(count, 3), leaves.Data());
    }
    read(leaves.Data());
    if (quaternion)
    {
        KgeRMatrix r;
        KmQtoR(r, leaves.Data());
        KmRtoVXYZ(xyz, r);
        return;
    }
    std::copy(leaves.Data(), leaves.Data() + std::min(count, 3), xyz);
}

} // namespace nodechannels
} // namespace qoxsdk_600

#endif
