#include "fcurve/kfcurvefilters.h"

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurvenode_internal.h"

#include <vector>

namespace {

const char* const kKeySyncMessages[] = {"No key", "Left unchanged", "Multiple key count", "Unsynched keys",
                                        "Too many curves"};

} // namespace

KFCurveFilterKeySync::KFCurveFilterKeySync()
    : KFCurveFilter("FCurve Key Synchronizer", kKeySyncMessages, 5)
{
    mStart = KTIME_MINUS_INFINITE;
    mStop = KTIME_INFINITE;
}

KFCurveFilterKeySync::~KFCurveFilterKeySync() {}

bool KFCurveFilterKeySync::ChildCurves(KFCurveNode& node, KFCurve** curves, int& count)
{
    count = 0;
    const int children = node.GetCount();
    if (children > eMaxCurveCount)
    {
        mError.SetLastError(4, "KeySyncFilter, Curve count is too mush. No support above 20 curves..");
        return false;
    }
    for (int i = 0; i < children; ++i)
    {
        KFCurveNode* child = node.Get(i);
        KFCurve* curve = child ? child->FCurveGet() : nullptr;
        if (curve)
            curves[count++] = curve;
    }
    return true;
}

bool KFCurveFilterKeySync::NeedApply(KFCurve** curves, int count)
{
    if (count < 1 || !curves[0])
        return false;
    const int keyCount = curves[0]->KeyGetCount();
    if (keyCount == 0)
        return false;
    for (int c = 1; c < count; ++c)
    {
        if (curves[c]->KeyGetCount() != keyCount)
        {
            mError.SetLastError(2, "KeySyncFilter, Key count is different in the Curves to be filtered.");
            return true;
        }
    }
    for (int k = 0; k < keyCount; ++k)
    {
        const KTime time = curves[0]->KeyGetTime(k);
        for (int c = 1; c < count; ++c)
        {
            if (curves[c]->KeyGetTime(k) != time)
            {
                mError.SetLastError(3, "KeySyncFilter, keys are not synchronized.");
                return true;
            }
        }
    }
    return false;
}

bool KFCurveFilterKeySync::NeedApply(KFCurveNode& node, bool)
{
    KFCurve* curves[eMaxCurveCount];
    int count = 0;
    if (!ChildCurves(node, curves, count))
        return false;
    return NeedApply(curves, count);
}

bool KFCurveFilterKeySync::NeedApply(KFCurve&)
{
    mError.SetLastError(1, "KeySyncFilter, No key were changed by filter.");
    return false;
}

bool KFCurveFilterKeySync::Apply(KFCurve&)
{
    mError.SetLastError(1, "KeySyncFilter, No key were changed by filter.");
    return false;
}

bool KFCurveFilterKeySync::Apply(KFCurveNode& node, bool)
{
    KFCurve* curves[eMaxCurveCount];
    int count = 0;
    if (!ChildCurves(node, curves, count))
        return false;
    return Apply(curves, count);
}

// Sweeps the key times of all curves in increasing order; each curve keeps a
// cursor on its first key not before the current time, so the sweep walks
// every key once.
bool KFCurveFilterKeySync::Apply(KFCurve** curves, int count)
{
    if (count < 2)
    {
        mError.SetLastError(1, "KeySyncFilter, No key were changed by filter.");
        return false;
    }

    std::vector<kfcurvenode_detail::Destroyed<KFCurve>> copies(static_cast<size_t>(count));
    for (int c = 0; c < count; ++c)
    {
        curves[c]->KeyModifyBegin();
        copies[static_cast<size_t>(c)].reset(curves[c]->Copy(KTIME_MINUS_INFINITE, KTIME_INFINITE));
    }

    std::vector<int> cursor(static_cast<size_t>(count), 0);
    std::vector<int> evaluateHint(static_cast<size_t>(count), -1);
    KTime current = mStart;
    for (;;)
    {
        bool found = false;
        KTime next;
        for (int c = 0; c < count; ++c)
        {
            int& k = cursor[static_cast<size_t>(c)];
            const int keys = curves[c]->KeyGetCount();
            while (k < keys && curves[c]->KeyGetTime(k) < current)
                ++k;
            if (k < keys && (!found || curves[c]->KeyGetTime(k) < next))
            {
                next = curves[c]->KeyGetTime(k);
                found = true;
            }
        }
        if (!found || next > mStop)
            break;

        for (int c = 0; c < count; ++c)
        {
            KFCurve* curve = curves[c];
            const int k = cursor[static_cast<size_t>(c)];
            if (k < curve->KeyGetCount() && curve->KeyGetTime(k) == next)
                continue;
            // The new key lands where the cursor stands: every key before it is
            // earlier than the current time, the key at it later than next.
            int hint = k;
            curve->KeyInsert(next, &hint);
            int index = k;
            if (index >= curve->KeyGetCount() || curve->KeyGetTime(index) != next)
            {
                int findHint = k;
                const double position = curve->KeyFind(next, &findHint);
                index = static_cast<int>(position);
                if (position < 0.0 || position != static_cast<double>(index))
                    continue;
            }
            const float value = copies[static_cast<size_t>(c)]->Evaluate(next, &evaluateHint[static_cast<size_t>(c)]);
            curve->KeySetValue(index, value);
        }

        if (next == KTIME_INFINITE)
            break;
        current = next + KTime(1);
    }

    for (int c = 0; c < count; ++c)
        curves[c]->KeyModifyEnd();
    return true;
}
