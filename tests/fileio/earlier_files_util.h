// The layered scene kept in tests/fileio/data/earlier/ as earlier versions
// of the SDK wrote it, and the text that lists what a read of it gives: each
// curve node of each take, layers and members included, with its layer id,
// layer type and every key, then each node's local and global transform
// from each take. The files and the listing beside them (layers.txt) were
// made by those versions with make_files.cpp beside them; a read by this
// one must give the same text.

#ifndef QOX_TESTS_FILEIO_EARLIER_FILES_UTIL_H
#define QOX_TESTS_FILEIO_EARLIER_FILES_UTIL_H

#include <cstdio>
#include <string>
#include <vector>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

namespace earlierfiles {

using namespace qoxsdk_600;

const long long kSecond = 46186158000LL;

// The files of the scene, one per form the native file takes.
struct EarlierForm
{
    const char* mFile;
    int mExport; // the exporter's file format
    const char* mPassword;
};
const EarlierForm kEarlierForms[] = {
    {"layers-v6-binary.qox", 0, ""}, {"layers-v6-ascii.qox", 1, ""}, {"layers-v6-encrypted.qox", 2, "pw"},
    {"layers-v5-binary.qox", 3, ""}, {"layers-v5-ascii.qox", 4, ""},
};

inline std::string Number(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

inline KQoxTakeNode* TakeOf(KQoxNode& node, const char* take)
{
    for (int t = 0; t < node.GetTakeNodeCount(); ++t)
        if (std::string(node.GetTakeNodeName(t)) == take)
            return node.GetTakeNode(t);
    return nullptr;
}

// Three keys on curve from base: linear, cubic with slopes, constant.
inline void KeyCurve(KFCurve* curve, float base)
{
    if (!curve)
        return;
    curve->KeyModifyBegin();
    curve->KeySet(curve->KeyAdd(KTime(0)), KTime(0), base, KFCURVE_INTERPOLATION_LINEAR);
    curve->KeySet(curve->KeyAdd(KTime(kSecond)), KTime(kSecond), base + 1, KFCURVE_INTERPOLATION_CUBIC,
                  KFCURVE_TANGEANT_USER, 0.5f, -0.25f);
    curve->KeySet(curve->KeyAdd(KTime(2 * kSecond)), KTime(2 * kSecond), base + 2, KFCURVE_INTERPOLATION_CONSTANT);
    curve->KeyModifyEnd();
}

// Keys every member of a channel node, each from its own base.
inline void KeyMembers(KFCurveNode* channel, float& base)
{
    for (int i = 0; channel && i < channel->GetCount(); ++i, base += 10)
        KeyCurve(channel->Get(i)->FCurveGet(), base);
}

// Chains of upper layers made through the public interface, each layer on
// the one before: the ids each chain's layers are made with, in order.
struct Chain
{
    const char* mNode;
    const char* mTake;
    const char* mChannel;
    std::vector<int> mIds;
};
inline const std::vector<Chain>& Chains()
{
    static const std::vector<Chain> chains = {
        {"Ball", "Walk", "T", {0}},    // an upper layer of id 0 alone
        {"Ball", "Walk", "R", {1, 2}}, // ids other than 0
        {"Ball", "Run", "T", {0, 3}},  // 0 under another id
        {"Arm", "Walk", "R", {2, 0}},  // 0 over another id
        {"Arm", "Run", "S", {0, 0}},   // two layers of id 0
        {"Hand", "Walk", "T", {5}},    // one id, not 1
    };
    return chains;
}

// Root - Ball - Arm - Hand, each keyed on T, R and S in "Walk" and "Run",
// with the chains above over some channels.
inline bool BuildEarlierScene(KQoxSdkManager& manager, KQoxScene& scene)
{
    const char* const names[] = {"Ball", "Arm", "Hand"};
    KQoxNode* parent = scene.GetRootNode();
    float base = 1;
    for (const char* name : names)
    {
        KQoxNode* node = manager.CreateKQoxNode(name);
        parent->AddChild(node);
        parent = node;
        for (const char* take : {"Walk", "Run"})
        {
            KQoxTakeNode* takeNode = node->CreateTakeNode(take);
            if (!takeNode)
                return false;
            for (const char* channel : {"T", "R", "S"})
                KeyMembers(takeNode->GetKFCurveNode()->FindRecursive(channel), base);
        }
    }
    for (const Chain& chain : Chains())
    {
        KQoxNode* node = scene.GetRootNode()->FindChild(chain.mNode);
        KQoxTakeNode* take = node ? TakeOf(*node, chain.mTake) : nullptr;
        KFCurveNode* holder = take ? take->GetKFCurveNode()->FindRecursive(chain.mChannel) : nullptr;
        for (int id : chain.mIds)
        {
            holder = holder ? holder->LayerCreate(id) : nullptr;
            if (!holder)
                return false;
            KeyMembers(holder, base);
        }
    }
    return scene.SetCurrentTake("Walk") || true;
}

// One curve node, its members and its layers: path, layer id and type,
// every key (time, value, interpolation, slopes of cubic keys).
inline void ListNode(std::string& out, KFCurveNode* node, const std::string& path)
{
    const std::string here = path + "/" + node->GetName();
    out += here + " id " + std::to_string(node->GetLayerID()) + " type " + std::to_string(node->GetLayerType());
    if (KFCurve* curve = node->FCurveGet())
        for (int k = 0; k < curve->KeyGetCount(); ++k)
        {
            out += " [" + std::to_string(curve->KeyGetTime(k).Get()) + " " + Number(curve->KeyGetValue(k)) + " " +
                   std::to_string(curve->KeyGetInterpolation(k));
            if (curve->KeyGetInterpolation(k) == KFCURVE_INTERPOLATION_CUBIC)
                out += " " + Number(curve->KeyGetLeftDerivative(k)) + " " + Number(curve->KeyGetRightDerivative(k));
            out += "]";
        }
    out += "\n";
    for (int i = 0; i < node->GetCount(); ++i)
        ListNode(out, node->Get(i), here);
    if (KFCurveNode* layer = node->LayerGet())
        ListNode(out, layer, here + " layer");
}

inline void ListMatrix(std::string& out, const char* what, const KQoxXMatrix& m)
{
    const KQoxVector4 t = m.GetT(), r = m.GetR(), s = m.GetS();
    out += what;
    for (const KQoxVector4* v : {&t, &r, &s})
        for (int i = 0; i < 3; ++i)
            out += " " + Number((*v)[i]);
    out += "\n";
}

// What a read of the scene gives, node by node.
inline std::string ListScene(KQoxScene& scene)
{
    std::string out;
    std::vector<KQoxNode*> pending(1, scene.GetRootNode());
    while (!pending.empty())
    {
        KQoxNode* node = pending.back();
        pending.pop_back();
        out += std::string("node ") + node->GetName() + "\n";
        for (int t = 0; t < node->GetTakeNodeCount(); ++t)
        {
            const std::string take = node->GetTakeNodeName(t);
            if (KFCurveNode* root = node->GetTakeNode(t)->GetKFCurveNode())
                ListNode(out, root, take);
            if (!node->SetCurrentTakeNode(take.c_str()))
                continue;
            for (long long at : {0LL, kSecond / 2, kSecond, 3 * kSecond / 2, 2 * kSecond})
            {
                const std::string time = " " + take + " at " + std::to_string(at);
                ListMatrix(out, ("local" + time).c_str(), node->GetLocalFromCurrentTake(KTime(at)));
                ListMatrix(out, ("global" + time).c_str(), node->GetGlobalFromCurrentTake(KTime(at)));
            }
        }
        for (int i = node->GetChildCount() - 1; i >= 0; --i)
            pending.push_back(node->GetChild(i));
    }
    return out;
}

} // namespace earlierfiles

#endif
