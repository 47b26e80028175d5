// The X, Y and Z values of a node's transform channels ("T", "R", "S").
#ifndef QOX_SCENE_KQOXNODE_CHANNELS_H
#define QOX_SCENE_KQOXNODE_CHANNELS_H

#include <algorithm>

#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurvevaluebuffer.h"

namespace qoxsdk_600 {
namespace nodechannels {

// The first three values of a transform channel into xyz, which keeps what
// the channel gives no value for. read writes the channel's values as the
// curve node writes them (one per curve, depth first). A channel read from a
// file may hold more than three (a member beyond X, Y and Z, or the W a
// quaternion layer type adds): they are read into room for all of them.
template <class Read>
void ReadXYZ(KFCurveNode* channel, double* xyz, Read read)
{
    KFCurveValueBuffer<8> values(channel->GetValueCount() + 4);
    std::copy(xyz, xyz + 3, values.Data());
    read(values.Data());
    std::copy(values.Data(), values.Data() + 3, xyz);
}

} // namespace nodechannels
} // namespace qoxsdk_600

#endif
