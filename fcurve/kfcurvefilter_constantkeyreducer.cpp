#include "fcurve/kfcurvefilters.h"

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"

#include <cstring>
#include <vector>

namespace {

const char* const kConstantKeyReducerMessages[] = {"No key", "Left unchanged"};

// A run of keys [lo, hi] (indices of the curve as it was) to delete.
struct Run
{
    int lo;
    int hi;
};

// Loads two or three key records into a scratch curve, so that the tangent
// operations see exactly the neighbours that the edited curve will have.
void LoadScratch(KFCurve& scratch, const KFCurveKey& k0, const KFCurveKey& k1, const KFCurveKey* k2)
{
    const int count = k2 ? 3 : 2;
    scratch.KeyModifyBegin(count);
    *scratch.KeyGetPtr(0) = k0;
    *scratch.KeyGetPtr(1) = k1;
    if (k2)
        *scratch.KeyGetPtr(2) = *k2;
    scratch.KeyModifyEnd(count);
}

// Deletes the runs (given from the highest down, separated by at least one
// kept key) in one pass. The result is that of deleting them one after the
// other, highest first, each deletion handing the left tangent of the key
// after the run over to the key before it: that hand-over only involves the
// key before the run, the key after it and the key after that one, so it is
// reproduced on a three-key scratch curve.
void DeleteRuns(KFCurve& curve, const std::vector<Run>& runs)
{
    if (runs.empty())
        return;
    const int count = curve.KeyGetCount();
    std::vector<char> kept(static_cast<size_t>(count), 1);
    for (const Run& run : runs)
        for (int i = run.lo; i <= run.hi; ++i)
            kept[static_cast<size_t>(i)] = 0;

    curve.KeyModifyBegin(count);
    KFCurve scratch;
    for (size_t r = 0; r < runs.size(); ++r)
    {
        const Run& run = runs[r];
        const int after = run.hi + 1;
        if (after >= count)
            continue;
        // The key that follows `after` once the higher runs are gone.
        int next = after + 1;
        if (r > 0 && runs[r - 1].lo == next)
            next = runs[r - 1].hi + 1;
        const KFCurveKey* nextKey = next < count ? curve.KeyGetPtr(next) : nullptr;

        LoadScratch(scratch, *curve.KeyGetPtr(run.hi), *curve.KeyGetPtr(after), nextKey);
        const KFCurveTangeantInfo info = scratch.KeyGetLeftDerivativeInfo(1);
        if (run.lo == 0)
            continue; // the key after the run becomes the first key: no left side
        LoadScratch(scratch, *curve.KeyGetPtr(run.lo - 1), *curve.KeyGetPtr(after), nextKey);
        scratch.KeySetLeftDerivativeInfo(1, info);
        *curve.KeyGetPtr(run.lo - 1) = *scratch.KeyGetPtr(0);
        *curve.KeyGetPtr(after) = *scratch.KeyGetPtr(1);
    }

    int written = 0;
    for (int i = 0; i < count; ++i)
    {
        if (!kept[static_cast<size_t>(i)])
            continue;
        if (written != i)
            *curve.KeyGetPtr(written) = *curve.KeyGetPtr(i);
        ++written;
    }
    curve.CallbackAddEvent(KFCURVEEVENT_KEY, -1);
    curve.KeyModifyEnd(written);
    curve.KeyShrink();
}

bool IsName(const char* name, const char* a, const char* b)
{
    return name && (std::strcmp(name, a) == 0 || std::strcmp(name, b) == 0);
}

} // namespace

bool IsKeyConstant(KFCurve& curve, int index, int first, int last, float low, float high)
{
    if ((curve.KeyGetInterpolation(index) & KFCURVE_INTERPOLATION_CUBIC) &&
        !curve.IsKeyInterpolationPureCubicAuto(index))
        return false;
    for (int i = index + 2; i >= index - 2; --i)
    {
        if (i < first || i > last)
            continue;
        const float value = curve.KeyGetValue(i);
        if (!(low <= value && value <= high))
            return false;
    }
    return true;
}

KFCurveFilterConstantKeyReducer::KFCurveFilterConstantKeyReducer()
    : KFCurveFilter("Constant Key Reducer", kConstantKeyReducerMessages, 2)
{
    Reset();
}

KFCurveFilterConstantKeyReducer::~KFCurveFilterConstantKeyReducer() {}

void KFCurveFilterConstantKeyReducer::Reset()
{
    mDerivativeTolerance = 0.009;
    mValueTolerance = 0.009;
    mTranslationThreshold = 0.009;
    mRotationThreshold = 0.009;
    mScalingThreshold = 0.004;
    mDefaultThreshold = 0.009;
    mKeepFirstAndLastKeys = false;
    mKeepOneKey = false;
    KFCurveFilter::Reset();
}

// Scans backwards for runs of constant keys. Keys are judged on the curve as
// it is while earlier (higher) runs are already gone; rather than deleting
// each run at once (which moves every key above it), the scan keeps the kept
// keys above it on a stack and the deletions are done together at the end.
bool KFCurveFilterConstantKeyReducer::Apply(KFCurve& curve)
{
    const int count = curve.KeyGetCount();
    if (count == 0)
    {
        mError.SetLastError(0, "ConstantKeyReducer, No key to be filtered.");
        return false;
    }

    const int first = GetStartKey(curve);
    const int last = GetStopKey(curve) - 1;

    // Kept keys above the untouched keys 0..top, nearest last.
    std::vector<int> above;
    above.reserve(static_cast<size_t>(count));
    for (int i = count - 1; i > last; --i)
        above.push_back(i);

    std::vector<Run> runs;
    int deleted = 0;
    int i = last;
    while (i >= first)
    {
        const int top = i;
        // Value of the key at index j of the curve as it is now; false when j
        // lies outside first..last.
        auto valueAt = [&](int j, float& value) {
            if (j < first)
                return false;
            if (j <= top)
            {
                value = curve.KeyGetValue(j);
                return true;
            }
            const size_t k = static_cast<size_t>(j - top - 1);
            if (k >= above.size())
                return false;
            const int original = above[above.size() - 1 - k];
            if (original > last)
                return false;
            value = curve.KeyGetValue(original);
            return true;
        };
        auto isConstant = [&](int index, float low, float high) {
            if ((curve.KeyGetInterpolation(index) & KFCURVE_INTERPOLATION_CUBIC) &&
                !curve.IsKeyInterpolationPureCubicAuto(index))
                return false;
            for (int j = index + 2; j >= index - 2; --j)
            {
                float value;
                if (valueAt(j, value) && !(low <= value && value <= high))
                    return false;
            }
            return true;
        };

        const float value = curve.KeyGetValue(i);
        const float low = static_cast<float>(value - mValueTolerance);
        const float high = static_cast<float>(value + mValueTolerance);
        int runCount = 0;
        int lowest = i;
        while (i >= first && isConstant(i, low, high))
        {
            lowest = i;
            --i;
            ++runCount;
        }
        const int failing = i >= first ? i : -1;
        if (i >= first)
            --i;

        if (runCount > 0)
        {
            if (runCount == count - deleted)
            {
                // The run is the whole curve.
                DeleteRuns(curve, runs);
                runs.clear();
                if (mKeepOneKey)
                    curve.Delete(first + 1, last - deleted);
                else
                {
                    const float firstValue = curve.KeyGetValue(0);
                    curve.KeyClear();
                    curve.SetValue(firstValue);
                }
                deleted += runCount;
            }
            else
            {
                runs.push_back(Run{lowest, top});
                deleted += runCount;
            }
        }
        if (failing >= 0)
            above.push_back(failing);
    }
    DeleteRuns(curve, runs);
    return true;
}

bool KFCurveFilterConstantKeyReducer::Apply(KFCurve** curves, int count)
{
    return KFCurveFilter::Apply(curves, count);
}

bool KFCurveFilterConstantKeyReducer::Apply(KFCurveNode& node, bool recursive)
{
    const double derivativeTolerance = mDerivativeTolerance;
    const double valueTolerance = mValueTolerance;

    const char* name = node.GetName();
    KFCurveNode* parent = node.GetParent();
    const char* parentName = parent ? parent->GetName() : nullptr;
    auto either = [&](const char* a, const char* b) { return IsName(name, a, b) || IsName(parentName, a, b); };

    if (either("R", "Lcl Rotation"))
    {
        if (mDerivativeTolerance == 0.009)
            mDerivativeTolerance = mRotationThreshold;
        if (mValueTolerance == 0.009)
            mValueTolerance = mRotationThreshold;
    }
    else if (either("S", "Lcl Scaling"))
    {
        if (mDerivativeTolerance == 0.004)
            mDerivativeTolerance = mScalingThreshold;
        if (mValueTolerance == 0.004)
            mValueTolerance = mScalingThreshold;
    }
    else
    {
        const double threshold = either("T", "Lcl Translation") ? mTranslationThreshold : mDefaultThreshold;
        if (mDerivativeTolerance == 0.009)
            mDerivativeTolerance = threshold;
        if (mValueTolerance == 0.009)
            mValueTolerance = threshold;
    }

    const bool result = KFCurveFilter::Apply(node, recursive);
    mDerivativeTolerance = derivativeTolerance;
    mValueTolerance = valueTolerance;
    return result;
}
