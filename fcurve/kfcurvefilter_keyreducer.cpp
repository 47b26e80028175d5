#include "fcurve/kfcurvefilters.h"

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurveutils.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const char* const kKeyReducerMessages[] = {"No key", "Left unchanged"};

// A subdivision step: the source keys first..last, the key added at worst, and
// how far the step has got.
struct SubdivisionFrame
{
    int first;
    int last;
    int worst;
    int stage;      // 0 fit the span, 1 left half done, 2 right half done
    KFCurveKey end; // result key at last, set aside while the left half is built
};

} // namespace

KFCurveFilterKeyReducer::KFCurveFilterKeyReducer()
    : KFCurveFilter("Bezier Fit/Key Reducer", kKeyReducerMessages, 2)
    , mDepth(0)
    , mResultHint(0)
{
    Reset();
}

KFCurveFilterKeyReducer::~KFCurveFilterKeyReducer() {}

void KFCurveFilterKeyReducer::Reset()
{
    mPrecision = 1.0;
    mKeySync = false;
    KFCurveFilter::Reset();
}

bool KFCurveFilterKeyReducer::Apply(KFCurve& curve)
{
    const int count = curve.KeyGetCount();
    if (count < 2)
    {
        mError.SetLastError(1, "KeyReducer, No key were changed by filter.");
        return false;
    }
    const KTime start = std::max(mStart, curve.KeyGetTime(0));
    const KTime stop = std::min(mStop, curve.KeyGetTime(count - 1));
    if (stop <= start)
    {
        mError.SetLastError(1, "KeyReducer, Invalid Time Span. No key were changed by filter.");
        return false;
    }

    KFCurve working;
    working.CopyFrom(curve, false);
    KeyReducer(curve, working, start, stop);

    KFCurve copy;
    copy.CopyFrom(curve, true);
    KFCurveUtils::Merge(copy, working, curve);
    return true;
}

namespace {

// Reduces through `reduce` (with key sync off meanwhile), then synchronises
// the keys over the same range through `sync` when asked and there is more
// than one curve.
template <typename Reduce, typename Sync>
bool ReduceThenSync(bool& keySync, bool several, KTime start, KTime stop, Reduce reduce, Sync sync)
{
    const bool wanted = keySync;
    keySync = false;
    const bool result = reduce();
    if (wanted && several)
    {
        KFCurveFilterKeySync filter;
        filter.SetStartTime(start);
        filter.SetStopTime(stop);
        sync(filter);
    }
    keySync = wanted;
    return result;
}

} // namespace

bool KFCurveFilterKeyReducer::Apply(KFCurve** curves, int count)
{
    return ReduceThenSync(
        mKeySync, count > 1, mStart, mStop, [&] { return KFCurveFilter::Apply(curves, count); },
        [&](KFCurveFilterKeySync& sync) { sync.Apply(curves, count); });
}

bool KFCurveFilterKeyReducer::Apply(KFCurveNode& node, bool recursive)
{
    return ReduceThenSync(
        mKeySync, node.GetCount() > 1, mStart, mStop, [&] { return KFCurveFilter::Apply(node, recursive); },
        [&](KFCurveFilterKeySync& sync) { sync.Apply(node, recursive); });
}

bool KFCurveFilterKeyReducer::KeyReducer(KFCurve& source, KFCurve& result, KTime start, KTime stop)
{
    mDepth = 0;
    const int count = source.KeyGetCount();
    if (count < 2)
        return false;
    int hint = 0;
    int first = static_cast<int>(std::floor(source.KeyFind(start, &hint)));
    hint = count - 1;
    int last = static_cast<int>(std::ceil(source.KeyFind(stop, &hint)));
    first = std::max(first, 0);
    last = std::min(last, count - 1);
    if (last <= first)
        return false;

    KFCurveKey key{};
    key.Set(source.KeyGetTime(first), source.KeyGetValue(first), KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER,
            source.KeyGetRightDerivative(first), source.KeyGetLeftDerivative(last), KFCURVE_WEIGHTED_NONE,
            KFCURVE_DEFAULT_WEIGHT, KFCURVE_DEFAULT_WEIGHT, 0.0f, 0.0f);
    result.KeyAdd(key.GetTime(), key);
    key.Set(source.KeyGetTime(last), source.KeyGetValue(last), KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, 0.0f,
            0.0f, KFCURVE_WEIGHTED_NONE, KFCURVE_DEFAULT_WEIGHT, KFCURVE_DEFAULT_WEIGHT, 0.0f, 0.0f);
    int lastHint = result.KeyGetCount() - 1;
    result.KeyAdd(key.GetTime(), key, &lastHint);

    Subdivise(source, result, first, last);
    return true;
}

double KFCurveFilterKeyReducer::FindMaxError(KFCurve& source, KFCurve& result, int first, int last, int& worst)
{
    double largest = 0.0;
    worst = first;
    for (int i = first; i < last; ++i)
    {
        const double difference =
            static_cast<double>(result.Evaluate(source.KeyGetTime(i), &mResultHint)) - source.KeyGetValue(i);
        const double error = difference * difference;
        if (i == first || error > largest)
        {
            largest = error;
            worst = i;
        }
    }
    return largest;
}

// The recursion of the fit runs on an explicit stack, so a dense curve cannot
// exhaust the call stack. When the span's ends are the result's last two keys
// (the case of KeyReducer), the result is built by appending only: the key at
// the end of a span is set aside while the span's left half is built and put
// back after it. A span's fit only reads the two keys that bound it, so the
// errors are those of the fully inserted curve; inserting in the middle
// instead would move every later key for each key added.
bool KFCurveFilterKeyReducer::Subdivise(KFCurve& source, KFCurve& result, int first, int last)
{
    const int resultCount = result.KeyGetCount();
    if (first < 0 || last >= source.KeyGetCount() || first >= last || resultCount < 2)
        return false;
    const bool appendOnly = result.KeyGetTime(resultCount - 1) == source.KeyGetTime(last) &&
                            result.KeyGetTime(resultCount - 2) == source.KeyGetTime(first);
    const double limit = mPrecision * mPrecision;

    std::vector<SubdivisionFrame> stack;
    stack.push_back(SubdivisionFrame{first, last, -1, 0, KFCurveKey()});
    bool rootSplit = false;
    while (!stack.empty())
    {
        SubdivisionFrame& frame = stack.back();
        if (frame.stage == 0)
        {
            // Index of the span's first key in the result.
            int firstIndex;
            if (appendOnly)
                firstIndex = result.KeyGetCount() - 2;
            else
            {
                int findHint = mResultHint;
                firstIndex = static_cast<int>(result.KeyFind(source.KeyGetTime(frame.first), &findHint));
            }
            mResultHint = std::max(firstIndex, 0);

            int worst = frame.first;
            const double error = FindMaxError(source, result, frame.first, frame.last, worst);
            if (!(error > limit) || worst <= frame.first || firstIndex < 0)
            {
                stack.pop_back();
                continue;
            }

            ++mDepth;
            if (stack.size() == 1)
                rootSplit = true;
            frame.worst = worst;
            const float left = source.KeyGetLeftDerivative(worst);
            const float right = source.KeyGetRightDerivative(worst);
            KFCurveKey key{};
            key.Set(source.KeyGetTime(worst), source.KeyGetValue(worst), KFCURVE_INTERPOLATION_CUBIC,
                    left == right ? KFCURVE_TANGEANT_USER : KFCURVE_TANGEANT_BREAK, right,
                    result.KeyGetDataDouble(firstIndex, KFCURVEKEY_NEXT_LEFT_SLOPE), KFCURVE_WEIGHTED_NONE,
                    KFCURVE_DEFAULT_WEIGHT, KFCURVE_DEFAULT_WEIGHT, 0.0f, 0.0f);
            result.KeySetDataDouble(firstIndex, KFCURVEKEY_NEXT_LEFT_SLOPE, left);
            if (appendOnly)
            {
                KFCurveKey* end = result.KeyGetPtr(firstIndex + 1);
                frame.end = *end;
                *end = key;
            }
            else
            {
                int addHint = firstIndex;
                result.KeyAdd(key.GetTime(), key, &addHint);
            }
            frame.stage = 1;
            if (worst - frame.first > 1)
            {
                const int childFirst = frame.first;
                stack.push_back(SubdivisionFrame{childFirst, worst, -1, 0, KFCurveKey()});
            }
            continue;
        }
        if (frame.stage == 1)
        {
            if (frame.worst - frame.first > 1 && mDepth <= 9)
                UpdateProgressInformation(KTime(frame.first), KTime(frame.worst));
            if (appendOnly)
            {
                int addHint = result.KeyGetCount() - 1;
                result.KeyAdd(frame.end.GetTime(), frame.end, &addHint);
            }
            frame.stage = 2;
            if (frame.last - frame.worst > 1)
            {
                const int childFirst = frame.worst;
                const int childLast = frame.last;
                stack.push_back(SubdivisionFrame{childFirst, childLast, -1, 0, KFCurveKey()});
            }
            continue;
        }
        if (frame.last - frame.worst > 1 && mDepth <= 9)
            UpdateProgressInformation(KTime(frame.worst), KTime(frame.last));
        --mDepth;
        stack.pop_back();
    }
    return rootSplit;
}
