#include "fcurve/kfcurvefilters.h"

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurvenode_internal.h"

#include <algorithm>
#include <new>

KFCurveFilter::KFCurveFilter(const char* name, const char* const* messages, int messageCount)
    : mName(name)
    , mStart(0)
    , mStop(0)
    , mError(messages, messageCount)
{}

KFCurveFilter::~KFCurveFilter() {}

int KFCurveFilter::GetStartKey(KFCurve& curve) const
{
    const int count = curve.KeyGetCount();
    if (count == 0)
        return -1;
    const KTime time = std::max(mStart, curve.KeyGetTime(0));
    int hint = 0;
    const double index = curve.KeyFind(time, &hint) - 1.0;
    return static_cast<int>(std::max(0.0, index));
}

int KFCurveFilter::GetStopKey(KFCurve& curve) const
{
    const int count = curve.KeyGetCount();
    if (count == 0)
        return -1;
    const KTime time = std::min(mStop, curve.KeyGetTime(count - 1));
    int hint = count - 1;
    return static_cast<int>(curve.KeyFind(time, &hint) + 1.0);
}

bool KFCurveFilter::NeedApply(KFCurveNode& node, bool recursive)
{
    if (recursive)
    {
        for (int i = 0; i < node.GetCount(); ++i)
        {
            KFCurveNode* child = node.Get(i);
            if (child)
                NeedApply(*child, true);
        }
    }
    if (KFCurve* curve = node.FCurveGet())
        NeedApply(&curve, 1);
    return true;
}

bool KFCurveFilter::NeedApply(KFCurve** curves, int count)
{
    for (int i = 0; i < count; ++i)
    {
        if (curves[i])
            NeedApply(*curves[i]);
    }
    return true;
}

bool KFCurveFilter::NeedApply(KFCurve&)
{
    return true;
}

bool KFCurveFilter::Apply(KFCurveNode& node, bool recursive)
{
    if (recursive)
    {
        for (int i = 0; i < node.GetCount(); ++i)
        {
            KFCurveNode* child = node.Get(i);
            if (child)
                Apply(*child, true);
        }
    }
    if (KFCurve* curve = node.FCurveGet())
        Apply(*curve);
    return true;
}

bool KFCurveFilter::Apply(KFCurve** curves, int count)
{
    for (int i = 0; i < count; ++i)
    {
        if (curves[i])
            Apply(*curves[i]);
    }
    return true;
}

void KFCurveFilter::Reset()
{
    mStart = KTIME_MINUS_INFINITE;
    mStop = KTIME_INFINITE;
}

void KFCurveFilter::UpdateProgressInformation(KTime, KTime) {}

namespace kfcurvenode_detail {

BorrowedRotation::BorrowedRotation(KFCurve** curves)
    : mNode(new KFCurveNode("R", "R", nullptr, KFCL_NOLAYER, 0))
{
    static const char* const kMembers[3] = {"X", "Y", "Z"};
    mNode->SetLayerType(KFCL_EULER_XYZ);
    try
    {
        for (int i = 0; i < 3; ++i)
        {
            Destroyed<KFCurveNode> child(new KFCurveNode(kMembers[i], kMembers[i], TypeNumber(), KFCL_NOLAYER, 0));
            mNode->Add(child.get());
            if (mNode->GetCount() != i + 1)
                throw std::bad_alloc(); // the child list could not grow
            child.release()->FCurveSet(curves[i], false);
        }
    }
    catch (...)
    {
        // Out of memory half way: the curves lent so far go back before the
        // node goes, which would otherwise destroy them with its children.
        GiveBack();
        throw;
    }
}

BorrowedRotation::~BorrowedRotation()
{
    GiveBack();
}

void BorrowedRotation::GiveBack()
{
    for (int i = 0; i < mNode->GetCount(); ++i)
        mNode->Get(i)->FCurveSet(nullptr, false);
}

} // namespace kfcurvenode_detail
