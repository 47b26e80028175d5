// Node matrices: the static global matrix per pivot set, the take matrices of
// the default and current take, the explicit states, and the two rules that
// compose a local matrix with its parent's global matrix.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#include "base/kmath_kernels.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvelayer.h"
#include "fcurve/kfcurvenode.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnode_channels.h"
#include "scene/kqoxnode_math.h"
#include "scene/kqoxnode_walk.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

using namespace nodemath;

namespace {

// The take local matrix: XYZ rotation, rows scaled, translation row.
void TakeLocalMatrix(KQoxXMatrix& out, const double* t, const double* r, const double* s)
{
    KRow4* m = out;
    KmXYZtoR(m, r[0], r[1], r[2]);
    KmRS(m, m, s);
    m[3][0] = t[0];
    m[3][1] = t[1];
    m[3][2] = t[2];
}

// The "T", "R" and "S" curve nodes of a take node (null when missing).
void TransformNodes(KQoxTakeNode* take, KFCurveNode** nodes)
{
    KFCurveNode* root = take ? take->GetKFCurveNode() : nullptr;
    static const char* const kNames[3] = {"T", "R", "S"};
    for (int i = 0; i < 3; ++i)
        nodes[i] = root ? root->FindRecursive(kNames[i]) : nullptr;
}

// The values of the translation, rotation and scaling properties: what a
// member without a curve in the base layer of its channel shows.
void ChannelDefaults(KQoxNodeProperties* p, double values[3][3])
{
    KProperty* properties[3] = {p ? p->mLclTranslation : nullptr, p ? p->mLclRotation : nullptr,
                                p ? p->mLclScaling : nullptr};
    const double neutral[3] = {0.0, 0.0, 1.0};
    for (int g = 0; g < 3; ++g)
    {
        KgeTVector value(neutral[g], neutral[g], neutral[g], 1.0);
        if (properties[g])
            properties[g]->GetData(&value, 0, nullptr, nullptr);
        for (int i = 0; i < 3; ++i)
            values[g][i] = value[i];
    }
}

// The base layer values, one per leaf, that give the channel the wanted X,
// Y and Z at time with its upper layers combined in (the wanted values
// themselves when it has none). Leaves beyond X, Y and Z keep what they show.
std::vector<double> BaseLeavesFor(KFCurveNode* channel, const double* wanted, KTime time)
{
    const size_t room = static_cast<size_t>(channel->GetLeafCount()) + 4;
    std::vector<double> total(room, 0.0), base(room, 0.0);
    channel->EvaluateLeaves(total.data(), time, nullptr, true);
    nodechannels::XYZToLeaves(channel, wanted, total.data());
    KArrayTemplate<KFCurveNode*> below, above;
    for (KFCurveNode* layer = channel->LayerGet(); layer; layer = layer->LayerGet())
        above.Add(layer);
    if (above.GetCount() == 0)
        return total;
    KFCurve_CandidateSolveInLayers(channel, base.data(), total.data(), time, below, above, 0, nullptr, nullptr);
    return base;
}

} // namespace

// ---------------------------------------------------------------------------
// Global matrices of the default transform

namespace {

// Forced calls are numbered by a process-wide epoch. A forced call stores a
// new epoch in its tree's root and checks only its own ancestors; every
// other cache of the tree counts as unchecked until read, when it is checked
// against its inputs. A node checked in the latest epoch anywhere needs no
// look at its root. Serials number the computations, so a node's record
// tells which of its parent's matrices it was built on. Atomic so that
// scenes on different threads never race on them.
std::atomic<unsigned long long> gGlobalMatrixEpoch{1};
std::atomic<unsigned long long> gGlobalMatrixSerial{0};

} // namespace

bool KQoxNode::IsGlobalMatrixCurrent(EPivotSet set, unsigned long long treeEpoch)
{
    const unsigned long long checked = GlobalMatrixRecord(set).mEpoch;
    return PivotOf(set).mGlobalMatrixValid && (checked == gGlobalMatrixEpoch.load() || checked >= treeEpoch);
}

KQoxXMatrix& KQoxNode::GetGlobalMatrix(EPivotSet set, bool force)
{
    KQoxNodeProperties::KQoxPivot& pivot = Pivot(set);
    if (!force && pivot.mGlobalMatrixValid && GlobalMatrixRecord(set).mEpoch == gGlobalMatrixEpoch.load())
        return pivot.mGlobalMatrix;
    KQoxNode* root = this;
    while (KQoxNode* parent = root->GetParent())
        root = parent;
    KQoxGlobalMatrixRecord& rootRecord = root->GlobalMatrixRecord(set);
    if (force)
        rootRecord.mTreeEpoch = ++gGlobalMatrixEpoch;
    RefreshGlobalMatrix(set, rootRecord.mTreeEpoch);
    return pivot.mGlobalMatrix;
}

void KQoxNode::RefreshGlobalMatrix(EPivotSet set, unsigned long long treeEpoch)
{
    KArrayTemplate<KQoxNode*> chain;
    for (KQoxNode* node = this; node && !node->IsGlobalMatrixCurrent(set, treeEpoch); node = node->GetParent())
        chain.Add(node);
    for (int i = chain.GetCount() - 1; i >= 0; --i)
    {
        KQoxNode* node = chain[i];
        KQoxGlobalMatrixInputs inputs;
        node->GatherGlobalMatrixInputs(set, inputs);
        KQoxGlobalMatrixRecord& record = node->GlobalMatrixRecord(set);
        if (!node->PivotOf(set).mGlobalMatrixValid || std::memcmp(&inputs, &record.mInputs, sizeof inputs) != 0)
            node->ComputeGlobalMatrixOne(set, inputs);
        record.mEpoch = gGlobalMatrixEpoch.load();
    }
    // The ancestors found current are stamped with the latest epoch, so
    // that reading them again needs no look at the root.
    const unsigned long long epoch = gGlobalMatrixEpoch.load();
    for (KQoxNode* node = chain.GetCount() ? chain[chain.GetCount() - 1]->GetParent() : this; node;
         node = node->GetParent())
    {
        KQoxGlobalMatrixRecord& record = node->GlobalMatrixRecord(set);
        if (record.mEpoch == epoch || !node->IsGlobalMatrixCurrent(set, treeEpoch))
            break;
        record.mEpoch = epoch;
    }
}

void KQoxNode::ComputeGlobalMatrix(EPivotSet set)
{
    // Top-down without recursion, so a deep chain cannot exhaust the stack.
    KArrayTemplate<KQoxNode*> pending;
    pending.Add(this);
    while (pending.GetCount() > 0)
    {
        KQoxNode* node = pending.RemoveLast();
        const int count = node->GetChildCount(false);
        KQoxGlobalMatrixInputs inputs;
        node->GatherGlobalMatrixInputs(set, inputs);
        node->ComputeGlobalMatrixOne(set, inputs);
        for (int i = count - 1; i >= 0; --i)
            if (KQoxNode* child = node->GetChild(i))
                pending.Add(child);
    }
}

void KQoxNode::GatherGlobalMatrixInputs(EPivotSet set, KQoxGlobalMatrixInputs& inputs)
{
    // Cleared whole, padding included, because records compare bytewise.
    std::memset(&inputs, 0, sizeof inputs);
    inputs.mParent = GetParent();
    if (inputs.mParent)
    {
        inputs.mParent->GetGlobalMatrix(set, false);
        inputs.mParentSerial = inputs.mParent->GlobalMatrixRecord(set).mSerial;
    }
    KQoxVector4 t, r, s;
    GetDefaultT(t);
    GetDefaultR(r);
    GetDefaultS(s);
    const KQoxNodeProperties::KQoxPivot& pivot = PivotOf(set);
    const KQoxVector4* vectors[7] = {
        &t, &r, &s, &pivot.mRotationPivot, &pivot.mRotationOffset, &pivot.mPreRotation, &pivot.mPostRotation};
    for (int v = 0; v < 7; ++v)
        for (int i = 0; i < 3; ++i)
            inputs.mValues[3 * v + i] = (*vectors[v])[i];
    inputs.mPivotState = pivot.mPivotState;
}

void KQoxNode::ComputeGlobalMatrixOne(EPivotSet set, const KQoxGlobalMatrixInputs& inputs)
{
    KQoxNodeProperties::KQoxPivot& pivot = Pivot(set);
    const bool active = inputs.mPivotState == ePIVOT_STATE_ACTIVE;
    const double* t0 = inputs.mValues;
    const double* r = inputs.mValues + 3;
    const double* s = inputs.mValues + 6;
    const double* rotationPivot = inputs.mValues + 9;
    const double* rotationOffset = inputs.mValues + 12;
    const double* pre = inputs.mValues + 15;
    const double* post = inputs.mValues + 18;

    // The parent's matrix was brought up to date when the inputs were read.
    KgeAMatrix parentGlobal;
    KQoxNode* parent = inputs.mParent;
    if (parent)
        CopyAffine(parentGlobal.mData, parent->PivotOf(set).mGlobalMatrix);

    double t[3] = {t0[0], t0[1], t0[2]};
    if (active)
        for (int i = 0; i < 3; ++i)
            t[i] += rotationPivot[i];
    if (parent && parent->PivotOf(set).mPivotState == ePIVOT_STATE_ACTIVE)
    {
        // The parent's pivot, taken back through its post-rotation.
        const KQoxNodeProperties::KQoxPivot& up = parent->PivotOf(set);
        KgeRMatrix upPost;
        KmXYZtoR(upPost.mData, up.mPostRotation[0], up.mPostRotation[1], up.mPostRotation[2]);
        for (int j = 0; j < 3; ++j)
            t[j] -= up.mRotationPivot[0] * upPost.mData[j][0] + up.mRotationPivot[1] * upPost.mData[j][1] +
                    up.mRotationPivot[2] * upPost.mData[j][2];
    }
    if (active)
        for (int i = 0; i < 3; ++i)
            t[i] += rotationOffset[i];

    // M = S . Post . R . Pre with translation t: each factor is applied to a
    // point before the ones already in M, and t stays the translation.
    KgeAMatrix local;
    local.mData[3][0] = t[0];
    local.mData[3][1] = t[1];
    local.mData[3][2] = t[2];
    KgeAMatrix step;
    if (active)
    {
        KmXYZtoR(step.mData, pre[0], pre[1], pre[2]);
        KmAA(local.mData, local.mData, step.mData);
    }
    step.SetIdentity();
    KmXYZtoR(step.mData, r[0], r[1], r[2]);
    KmAA(local.mData, local.mData, step.mData);
    if (active)
    {
        step.SetIdentity();
        KmXYZtoR(step.mData, post[0], post[1], post[2]);
        KmAA(local.mData, local.mData, step.mData);
    }
    step.SetIdentity();
    for (int i = 0; i < 3; ++i)
        step.mData[i][i] = s[i];
    KmAA(local.mData, local.mData, step.mData);

    KgeAMatrix global;
    KmAA(global.mData, parentGlobal.mData, local.mData);
    pivot.mGlobalMatrix.SetIdentity();
    CopyAffine(static_cast<KRow4*>(pivot.mGlobalMatrix), global.mData);
    pivot.mGlobalMatrixValid = true;

    KQoxGlobalMatrixRecord& record = GlobalMatrixRecord(set);
    record.mInputs = inputs;
    record.mSerial = ++gGlobalMatrixSerial;
    record.mEpoch = gGlobalMatrixEpoch.load();
}

KQoxVector4 KQoxNode::GetGlobalT(EPivotSet set, bool force)
{
    const KQoxXMatrix& m = GetGlobalMatrix(set, force);
    return KQoxVector4(m.Get(3, 0), m.Get(3, 1), m.Get(3, 2), 0.0);
}

KQoxVector4 KQoxNode::GetGlobalR(EPivotSet set, bool force)
{
    const KQoxXMatrix& m = GetGlobalMatrix(set, force);
    KQoxVector4 angles;
    RotationAngles(m, angles.mData);
    angles[3] = 0.0;
    return angles;
}

KQoxVector4 KQoxNode::GetGlobalS(EPivotSet set, bool force)
{
    const KQoxXMatrix& m = GetGlobalMatrix(set, force);
    KQoxVector4 lengths;
    SignedAxisLengths(m, lengths.mData);
    lengths[3] = 0.0;
    return lengths;
}

// ---------------------------------------------------------------------------
// Take matrices

KQoxXMatrix& KQoxNode::GetLocalFromDefaultTake()
{
    KQoxTRSCache& cache = Caches().mDefaultTakeCache;
    if (cache.mLocalValid)
        return cache.mLocal;
    KFCurveNode* nodes[3];
    TransformNodes(GetDefaultTakeNode(), nodes);
    double values[3][3];
    ChannelDefaults(mProperties, values);
    for (int i = 0; i < 3; ++i)
        if (nodes[i])
            nodechannels::ReadXYZ(nodes[i], values[i], [&](double* v) { nodes[i]->GetLeafValues(v); });
    TakeLocalMatrix(cache.mLocal, values[0], values[1], values[2]);
    cache.mLocalValid = true;
    return cache.mLocal;
}

KQoxXMatrix& KQoxNode::GetGlobalFromDefaultTake()
{
    // The ancestors without a valid matrix are brought up to date from the
    // top down, without recursion.
    KArrayTemplate<KQoxNode*> chain;
    for (KQoxNode* node = this; node && !node->Caches().mDefaultTakeCache.mGlobalValid; node = node->GetParent())
        chain.Add(node);
    for (int i = chain.GetCount() - 1; i >= 0; --i)
    {
        KQoxNode* node = chain[i];
        KQoxTRSCache& cache = node->Caches().mDefaultTakeCache;
        KQoxXMatrix& local = node->GetLocalFromDefaultTake();
        if (KQoxNode* parent = node->GetParent())
            ComputeGlobalMatrixQoxStyle(cache.mGlobal, parent->Caches().mDefaultTakeCache.mGlobal, local);
        else
            cache.mGlobal = local;
        cache.mGlobalValid = true;
    }
    return Caches().mDefaultTakeCache.mGlobal;
}

KQoxXMatrix& KQoxNode::GetLocalFromCurrentTake(KTime time)
{
    KQoxTRSCache& cache = Caches().mCurrentTakeCache;
    if (cache.mLocalValid && cache.mLocalTime == time)
        return cache.mLocal;
    KFCurveNode* nodes[3];
    TransformNodes(GetCurrentTakeNode(), nodes);
    double values[3][3];
    ChannelDefaults(mProperties, values);
    for (int i = 0; i < 3; ++i)
        if (nodes[i])
            nodechannels::ReadXYZ(nodes[i], values[i],
                                  [&](double* v) { nodes[i]->EvaluateLeaves(v, time, &cache.mKeyHint[i], true); });
    TakeLocalMatrix(cache.mLocal, values[0], values[1], values[2]);
    cache.mLocalTime = time;
    cache.mLocalValid = true;
    return cache.mLocal;
}

KQoxXMatrix& KQoxNode::GetGlobalFromCurrentTake(KTime time)
{
    KArrayTemplate<KQoxNode*> chain;
    for (KQoxNode* node = this; node; node = node->GetParent())
    {
        const KQoxTRSCache& cache = node->Caches().mCurrentTakeCache;
        if (cache.mGlobalValid && cache.mGlobalTime == time)
            break;
        chain.Add(node);
    }
    for (int i = chain.GetCount() - 1; i >= 0; --i)
    {
        KQoxNode* node = chain[i];
        KQoxTRSCache& cache = node->Caches().mCurrentTakeCache;
        KQoxXMatrix& local = node->GetLocalFromCurrentTake(time);
        if (KQoxNode* parent = node->GetParent())
            ComputeGlobalMatrixQoxStyle(cache.mGlobal, parent->Caches().mCurrentTakeCache.mGlobal, local);
        else
            cache.mGlobal = local;
        cache.mGlobalTime = time;
        cache.mGlobalValid = true;
    }
    return Caches().mCurrentTakeCache.mGlobal;
}

// ---------------------------------------------------------------------------
// States

namespace {

// Runs op on node and, when recursive, on its whole subtree in pre-order.
template <class Op>
void ForSubtree(KQoxNode* node, bool recursive, Op op)
{
    if (!recursive)
    {
        op(node);
        return;
    }
    KQoxWalkPreOrder(node, [&op](KQoxNode* n) {
        op(n);
        return true;
    });
}

// Pre-order over the subtree, skipping the subtree of every node for which
// skip(node) is true.
template <class Skip, class Op>
void ForSubtreeUnless(KQoxNode* node, Skip skip, Op op)
{
    KArrayTemplate<KQoxNode*> pending;
    pending.Add(node);
    while (pending.GetCount() > 0)
    {
        KQoxNode* current = pending.RemoveLast();
        if (skip(current))
            continue;
        op(current);
        for (int i = current->GetChildCount(false) - 1; i >= 0; --i)
            if (KQoxNode* child = current->GetChild(i))
                pending.Add(child);
    }
}

} // namespace

void KQoxNode::SetLocalStateFromDefaultTake(bool recursive)
{
    ForSubtree(this, recursive, [](KQoxNode* n) { n->Caches().mLocalState.mMatrix = n->GetLocalFromDefaultTake(); });
}

void KQoxNode::SetDefaultTakeFromLocalState(bool recursive)
{
    ForSubtree(this, recursive, [](KQoxNode* n) {
        const KQoxXMatrix& m = n->Caches().mLocalState.mMatrix;
        n->SetDefaultT(m.GetT());
        n->SetDefaultR(m.GetR());
        n->SetDefaultS(m.GetS());
    });
}

void KQoxNode::SetLocalStateFromCurrentTake(KTime time, bool recursive)
{
    ForSubtree(this, recursive, [time](KQoxNode* n) {
        if (n->GetCurrentTakeNode() == n->GetDefaultTakeNode())
            n->Caches().mLocalState.mMatrix = n->GetLocalFromDefaultTake();
        else
            n->Caches().mLocalState.mMatrix = n->GetLocalFromCurrentTake(time);
    });
}

void KQoxNode::SetCurrentTakeFromLocalState(KTime time, bool recursive)
{
    ForSubtree(this, recursive, [time](KQoxNode* n) {
        KQoxTakeNode* take = n->GetCurrentTakeNode();
        if (!take)
            return;
        const bool defaultTake = take == n->GetDefaultTakeNode();
        const KQoxXMatrix& m = n->Caches().mLocalState.mMatrix;
        const KQoxVector4 vectors[3] = {m.GetT(), m.GetR(), m.GetS()};
        KFCurveNode* nodes[3];
        TransformNodes(take, nodes);
        for (int g = 0; g < 3; ++g)
        {
            if (!nodes[g])
                continue;
            const double wanted[3] = {vectors[g][0], vectors[g][1], vectors[g][2]};
            std::vector<double> base(static_cast<size_t>(nodes[g]->GetLeafCount()) + 4, 0.0);
            if (defaultTake)
                nodechannels::XYZToLeaves(nodes[g], wanted, base.data());
            else
                base = BaseLeavesFor(nodes[g], wanted, time);
            // Each value goes to the curve of its own member.
            const int count = nodechannels::XYZLeafCount(nodes[g]);
            for (int leaf = 0; leaf < count; ++leaf)
            {
                KFCurveNode* holder = nodes[g]->GetLeaf(leaf);
                KFCurve* curve = holder ? holder->FCurveGet() : nullptr;
                if (!curve)
                    continue;
                const float value = static_cast<float>(base[static_cast<size_t>(leaf)]);
                if (defaultTake)
                    curve->SetValue(value);
                else
                    curve->KeySetValue(curve->KeyInsert(time, nullptr), value);
            }
        }
    });
}

void KQoxNode::ComputeGlobalState(unsigned int updateId, bool recursive)
{
    if (Caches().mGlobalState.mId == updateId)
        return;
    // This node's ancestors first, top down, each once per id.
    KArrayTemplate<KQoxNode*> chain;
    for (KQoxNode* node = this; node && node->Caches().mGlobalState.mId != updateId; node = node->GetParent())
        chain.Add(node);
    auto compute = [updateId](KQoxNode* node) {
        node->Caches().mGlobalState.mId = updateId;
        if (KQoxNode* parent = node->GetParent())
            node->ComputeGlobalMatrixQoxStyle(node->Caches().mGlobalState.mMatrix,
                                              parent->Caches().mGlobalState.mMatrix,
                                              node->Caches().mLocalState.mMatrix);
        else
            node->Caches().mGlobalState.mMatrix = node->Caches().mLocalState.mMatrix;
    };
    for (int i = chain.GetCount() - 1; i >= 0; --i)
        compute(chain[i]);
    if (!recursive)
        return;
    for (int i = 0; i < GetChildCount(false); ++i)
        if (KQoxNode* child = GetChild(i))
            ForSubtreeUnless(
                child, [updateId](KQoxNode* n) { return n->Caches().mGlobalState.mId == updateId; }, compute);
}

void KQoxNode::ComputeLocalState(unsigned int updateId, bool recursive)
{
    auto compute = [updateId](KQoxNode* node) {
        node->Caches().mLocalState.mId = updateId;
        if (KQoxNode* parent = node->GetParent())
            node->ComputeLocalMatrixQoxStyle(node->Caches().mLocalState.mMatrix, parent->Caches().mGlobalState.mMatrix,
                                             node->Caches().mGlobalState.mMatrix);
        else
            node->Caches().mLocalState.mMatrix = node->Caches().mGlobalState.mMatrix;
    };
    auto done = [updateId](KQoxNode* n) { return n->Caches().mLocalState.mId == updateId; };
    if (!recursive)
    {
        if (!done(this))
            compute(this);
        return;
    }
    ForSubtreeUnless(this, done, compute);
}

void KQoxNode::SetGlobalStateId(unsigned int id, bool recursive)
{
    ForSubtree(this, recursive, [id](KQoxNode* n) { n->Caches().mGlobalState.mId = id; });
}

void KQoxNode::SetLocalStateId(unsigned int id, bool recursive)
{
    ForSubtree(this, recursive, [id](KQoxNode* n) { n->Caches().mLocalState.mId = id; });
}

// ---------------------------------------------------------------------------
// Composition rules

namespace {

// The point (x, y, z, 1) taken through the affine matrix m.
void AffinePoint(const KRow4& point, const KRow4* m, double* out)
{
    for (int j = 0; j < 3; ++j)
        out[j] = point[0] * m[0][j] + point[1] * m[1][j] + point[2] * m[2][j] + m[3][j];
}

// Rows 0-2 of out: the rotation's rows, each value scaled by scale(value,
// row); row 3: the translation t. The fourth column is left as it was.
template <typename Scale>
void StoreRows(KRow4* out, const KgeRMatrix& r, const double* t, Scale scale)
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            out[i][j] = scale(r.mData[i][j], i);
    for (int j = 0; j < 3; ++j)
        out[3][j] = t[j];
}

} // namespace

void KQoxNode::ComputeGlobalMatrixQoxStyle(KQoxXMatrix& global, KQoxXMatrix& parentGlobal, KQoxXMatrix& local)
{
    KmAA(global, parentGlobal, local);
}

void KQoxNode::ComputeLocalMatrixQoxStyle(KQoxXMatrix& local, KQoxXMatrix& parentGlobal, KQoxXMatrix& global)
{
    KmAiA(local, parentGlobal, global);
}

void KQoxNode::ComputeGlobalMatrixTolvaneStyle(KQoxXMatrix& global, KQoxXMatrix& parentGlobal, KQoxXMatrix& local)
{
    const KRow4* p = parentGlobal;
    const KRow4* l = local;
    double t[3];
    AffinePoint(l[3], p, t);
    KgeRMatrix rl, rp, r;
    PureRotation(l, rl.mData);
    PureRotation(p, rp.mData);
    KmRR(r.mData, rp.mData, rl.mData);
    double ll[3], lp[3];
    SignedAxisLengths(l, ll);
    SignedAxisLengths(p, lp);
    StoreRows(global, r, t, [&](double v, int i) { return v * ll[i] * lp[i]; });
}

void KQoxNode::ComputeLocalMatrixTolvaneStyle(KQoxXMatrix& local, KQoxXMatrix& parentGlobal, KQoxXMatrix& global)
{
    const KRow4* p = parentGlobal;
    const KRow4* g = global;
    KgeAMatrix inverse;
    KmAi(inverse.mData, p);
    double t[3];
    AffinePoint(g[3], inverse.mData, t);
    KgeRMatrix rp, rg, r;
    PureRotation(p, rp.mData);
    PureRotation(g, rg.mData);
    KmRiR(r.mData, rp.mData, rg.mData);
    double lg[3], lp[3];
    SignedAxisLengths(g, lg);
    SignedAxisLengths(p, lp);
    StoreRows(local, r, t, [&](double v, int i) { return v * (lg[i] / lp[i]); });
}

} // namespace qoxsdk_600
