// Transform channels keyed linearly from 0 to 1 s, with a member whose curve
// is removed in the base layer or in an upper layer: the scene built by hand
// for the tests that read T, R and S one value per member.

#ifndef QOX_TESTS_FILEIO_CHANNEL_LAYERS_TEST_UTIL_H
#define QOX_TESTS_FILEIO_CHANNEL_LAYERS_TEST_UTIL_H

#include <array>

#include "fcurve/fcurve_test_util.h"
#include "fcurve/kfcurvenode.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxtakenode.h"

namespace channeltest {

using qoxsdk_600::KQoxNode;
using qoxsdk_600::KQoxTakeNode;

const char* const kChannels[3] = {"T", "R", "S"};

// Per member, its value at 0 s and at 1 s.
using Keys = std::array<std::array<double, 2>, 3>;

// One channel of a node: keys of the base layer and, when layered, of layer
// 1 (each member from its first value at 0 s to its second at 1 s), the
// property's value, and the member whose curve is removed (in the base
// layer, or in layer 1 when layered).
struct ChannelCase
{
    const char* mName;
    int mChannel; // 0 T, 1 R, 2 S
    int mMissing; // 0 X, 1 Y, 2 Z
    bool mLayered;
    Keys mBase;
    Keys mLayer;
    double mProperty[3];
    double mAtHalf[3]; // the channel's X, Y, Z at 0.5 s, worked out by hand
};

inline KFCurveNode* Channel(KQoxTakeNode* take, int channel)
{
    return take->GetKFCurveNode()->FindRecursive(kChannels[channel]);
}

// Keys each member of a channel node from values[i][0] at 0 s to
// values[i][1] at 1 s (linear).
inline void KeyMembers(KFCurveNode* channel, const Keys& values)
{
    for (int i = 0; i < 3; ++i)
        if (KFCurve* curve = channel->Get(i)->FCurveGet())
            fctest::AddKeys(*curve, {static_cast<float>(values[i][0]), static_cast<float>(values[i][1])});
}

// Gives the node's property of the case's channel the case's value.
inline void SetProperty(KQoxNode& node, const ChannelCase& c)
{
    const KQoxVector4 property(c.mProperty[0], c.mProperty[1], c.mProperty[2], 0.0);
    if (c.mChannel == 0)
        node.SetDefaultT(property);
    else if (c.mChannel == 1)
        node.SetDefaultR(property);
    else
        node.SetDefaultS(property);
}

// Gives node the case's property value and a take "Walk" keyed as the case
// says; the take node.
inline KQoxTakeNode* BuildCase(KQoxNode& node, const ChannelCase& c)
{
    SetProperty(node, c);
    KQoxTakeNode* take = node.CreateTakeNode("Walk");
    KFCurveNode* channel = Channel(take, c.mChannel);
    KeyMembers(channel, c.mBase);
    KFCurveNode* holder = channel;
    if (c.mLayered)
    {
        holder = channel->LayerCreate(1);
        if (!holder)
            return nullptr;
        KeyMembers(holder, c.mLayer);
    }
    holder->Get(c.mMissing)->FCurveSet(nullptr, true);
    node.SetCurrentTakeNode("Walk");
    return take;
}

// The X, Y, Z a local matrix gives for a channel.
inline KQoxVector4 ChannelOf(const KQoxXMatrix& m, int channel)
{
    return channel == 0 ? m.GetT() : (channel == 1 ? m.GetR() : m.GetS());
}

} // namespace channeltest

#endif
