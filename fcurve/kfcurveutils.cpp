#include "fcurve/kfcurveutils.h"

#include "fcurve/kfcurvenode.h"

#include <cmath>
#include <vector>

namespace {

// Values are compared after widening from float, within the double epsilon.
const double kCompareTolerance = 2.220446049250313e-16;

const char* const kUtilsMessages[] = {"No key", "Multiple interpolation or tangeants types", "Multiple key count",
                                      "Unsynched keys", "Left unchanged"};

bool Differ(double a, double b)
{
    return std::fabs(a - b) > kCompareTolerance;
}

bool IsUserTangent(unsigned int mode)
{
    return mode == KFCURVE_TANGEANT_USER || mode == KFCURVE_TANGEANT_BREAK;
}

bool IsCubicUserKey(KFCurve& curve, int index)
{
    return curve.KeyGetInterpolation(index) == KFCURVE_INTERPOLATION_CUBIC &&
           IsUserTangent(curve.KeyGetTangeantMode(index));
}

// Number of keys of the curve strictly before time (binary search on the
// key times, exact in ticks).
int CountKeysBefore(KFCurve& curve, KTime time)
{
    int lo = 0, hi = curve.KeyGetCount();
    while (lo < hi)
    {
        const int mid = lo + (hi - lo) / 2;
        if (curve.KeyGetTime(mid) < time)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// Number of keys of the curve at or before time.
int CountKeysAtOrBefore(KFCurve& curve, KTime time)
{
    int lo = 0, hi = curve.KeyGetCount();
    while (lo < hi)
    {
        const int mid = lo + (hi - lo) / 2;
        if (curve.KeyGetTime(mid) <= time)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// Copies key sourceIndex of source, whole, into slot index of destination
// (a key of the curve or of its open batch).
void CopyKey(KFCurve& destination, int index, KFCurve& source, int sourceIndex)
{
    KFCurveKey* to = destination.KeyGetPtr(index);
    KFCurveKey* from = source.KeyGetPtr(sourceIndex);
    if (to && from)
        *to = *from;
}

// start + k * period, for a sample known to lie between start and a stop
// that is representable.
KTime SampleTime(KTime start, long long k, KTime period)
{
    const unsigned long long t = static_cast<unsigned long long>(start.Get()) +
                                 static_cast<unsigned long long>(k) * static_cast<unsigned long long>(period.Get());
    return KTime(static_cast<long long>(t));
}

// Shared by the two global-kind queries: the OR of one key property.
bool GetGlobalKind(unsigned int& out, KFCurve& curve, bool interpolation)
{
    KError& error = KFCurveUtils::GetError();
    out = 0;
    const int count = curve.KeyGetCount();
    if (count == 0)
    {
        error.SetLastError(KFCurveUtils::eNoKey, "KFCurveFilter, No key to be filtered.");
        return false;
    }
    auto property = [&](int i) { return interpolation ? curve.KeyGetInterpolation(i) : curve.KeyGetTangeantMode(i); };
    out = property(0);
    bool reported = false;
    for (int i = 1; i < count; ++i)
    {
        const unsigned int own = property(i);
        out |= own;
        if (!reported && out != own)
        {
            error.SetLastError(KFCurveUtils::eMultipleInterpolationOrTangeantTypes,
                               interpolation ? "KFCurveFilter, No single interpolation type."
                                             : "KFCurveFilter, No single tangeant mode.");
            reported = true;
        }
    }
    return true;
}

// The frame shared by the two resamplers into a destination curve: n keys
// at start + k * period and, with keyOnStop, one more at stop when the span
// is not a whole number of periods. fill(index, time, hint) writes one key.
template <typename Fill>
bool ResampleFrame(KFCurve& destination, KTime start, KTime stop, KTime period, bool keyOnStop, Fill fill)
{
    if (stop <= start || period <= KTime(0))
        return false;
    const long long n = kfcurveutils_detail::SampleCount(start, stop, period);
    if (n < 0)
        return false;
    const unsigned long long span = static_cast<unsigned long long>(KTimeDifference(start, stop));
    const bool extra = keyOnStop && span % static_cast<unsigned long long>(period.Get()) > 0;
    const int total = static_cast<int>(n) + (extra ? 1 : 0);

    destination.KeyClear();
    destination.KeyModifyBegin(total);
    int hint = -1;
    for (long long k = 0; k < n; ++k)
        fill(static_cast<int>(k), SampleTime(start, k, period), &hint);
    if (extra)
        fill(static_cast<int>(n), stop, &hint);
    destination.KeyModifyEnd(total);
    return true;
}

} // namespace

namespace kfcurveutils_detail {

long long SampleCount(KTime start, KTime stop, KTime period)
{
    if (period <= KTime(0) || stop < start)
        return -1;
    const unsigned long long span = static_cast<unsigned long long>(KTimeDifference(start, stop));
    const unsigned long long n = span / static_cast<unsigned long long>(period.Get()) + 1;
    if (n > static_cast<unsigned long long>(KFCURVE_MAX_SAMPLE_COUNT))
        return -1;
    return static_cast<long long>(n);
}

KTime SaturatedAdd(KTime time, long long delta)
{
    long long r;
    if (__builtin_add_overflow(time.Get(), delta, &r))
        r = delta > 0 ? 0x7FFFFFFFFFFFFFFFLL : static_cast<long long>(0x8000000000000000ULL);
    return KTime(r);
}

} // namespace kfcurveutils_detail

KError& KFCurveUtils::GetError()
{
    static thread_local KError smError(kUtilsMessages, 5);
    return smError;
}

int KFCurveUtils::GetLastErrorID()
{
    return GetError().GetLastErrorID();
}

const char* KFCurveUtils::GetLastErrorString()
{
    return GetError().GetLastErrorString();
}

bool KFCurveUtils::CompareCurve(KFCurve* a, KFCurve* b)
{
    if (!a || !b)
        return a == b;
    if (Differ(a->GetValue(), b->GetValue()))
        return false;
    const int count = a->KeyGetCount();
    if (count != b->KeyGetCount())
        return false;
    for (int i = 0; i < count; ++i)
    {
        if (a->KeyGetTime(i) != b->KeyGetTime(i))
            return false;
        if (Differ(a->KeyGetValue(i), b->KeyGetValue(i)))
            return false;
        const unsigned int interpolation = a->KeyGetInterpolation(i);
        if (interpolation != b->KeyGetInterpolation(i))
            return false;
        if (interpolation != KFCURVE_INTERPOLATION_CUBIC)
            continue;
        const unsigned int mode = a->KeyGetTangeantMode(i);
        if (mode != b->KeyGetTangeantMode(i))
            return false;
        if (mode == KFCURVE_TANGEANT_TCB)
        {
            // Tension, continuity and bias are three raw floats.
            const EKFCurveDataIndex slots[3] = {KFCURVEKEY_TCB_TENSION, KFCURVEKEY_TCB_CONTINUITY, KFCURVEKEY_TCB_BIAS};
            for (EKFCurveDataIndex slot : slots)
                if (Differ(a->KeyGetDataFloat(i, slot), b->KeyGetDataFloat(i, slot)))
                    return false;
        }
        else if (IsUserTangent(mode))
        {
            if (Differ(a->KeyGetDataDouble(i, KFCURVEKEY_RIGHT_SLOPE),
                       b->KeyGetDataDouble(i, KFCURVEKEY_RIGHT_SLOPE)) ||
                Differ(a->KeyGetDataDouble(i, KFCURVEKEY_NEXT_LEFT_SLOPE),
                       b->KeyGetDataDouble(i, KFCURVEKEY_NEXT_LEFT_SLOPE)))
                return false;
        }
    }
    return true;
}

bool KFCurveUtils::GetGlobalInterpolation(unsigned int& out, KFCurve& curve)
{
    return GetGlobalKind(out, curve, true);
}

bool KFCurveUtils::GetGlobalTangeant(unsigned int& out, KFCurve& curve)
{
    return GetGlobalKind(out, curve, false);
}

bool KFCurveUtils::GetInterpolationAndTangeantCount(KFCurve& curve, int* counts)
{
    for (int i = 0; i < 7; ++i)
        counts[i] = 0;
    const int count = curve.KeyGetCount();
    for (int i = 0; i < count; ++i)
    {
        switch (curve.KeyGetInterpolation(i))
        {
        case KFCURVE_INTERPOLATION_CONSTANT: counts[0]++; break;
        case KFCURVE_INTERPOLATION_LINEAR: counts[1]++; break;
        case KFCURVE_INTERPOLATION_CUBIC:
            switch (curve.KeyGetTangeantMode(i))
            {
            case KFCURVE_TANGEANT_AUTO: counts[2]++; break;
            case KFCURVE_TANGEANT_AUTO_BREAK: counts[3]++; break;
            case KFCURVE_TANGEANT_USER: counts[4]++; break;
            case KFCURVE_TANGEANT_BREAK: counts[5]++; break;
            case KFCURVE_TANGEANT_TCB: counts[6]++; break;
            default: break;
            }
            break;
        default: break;
        }
    }
    return true;
}

void KFCurveUtils::ConvertCurveInterpolationRecursive(unsigned int interpolation, unsigned int tangentMode,
                                                      KFCurveNode& node)
{
    for (int i = 0; i < node.GetCount(); ++i)
        if (KFCurveNode* child = node.Get(i))
            ConvertCurveInterpolationRecursive(interpolation, tangentMode, *child);
    if (KFCurve* curve = node.FCurveGet())
    {
        const int count = curve->KeyGetCount();
        for (int k = 0; k < count; ++k)
        {
            curve->KeySetInterpolation(k, interpolation);
            curve->KeySetTangeantMode(k, tangentMode);
        }
    }
}

KFCurve& KFCurveUtils::ConvertCurve(KFCurve& source, KFCurve& destination, unsigned int interpolation,
                                    unsigned int tangentMode, KTime period)
{
    if (&source == &destination)
    {
        KFCurve original;
        original.CopyFrom(source, true);
        return ConvertCurve(original, destination, interpolation, tangentMode, period);
    }

    // Every key comes out in time order: the source key's own time, then the
    // samples strictly before the next source key. The destination is filled
    // in one batch (a pass that counts, a pass that writes) instead of key by
    // key insertions, with the same keys as a copy of the source edited by
    // KeyAdd.
    const int count = source.KeyGetCount();
    long long budget = KFCURVE_MAX_SAMPLE_COUNT;
    std::vector<long long> samples(static_cast<size_t>(count), 0); // keys made from key i when sampled

    // Keys of the target kind at t, t + period, ... before next. A period that
    // is not positive, or a span that would need more samples than a pass may
    // make, gives the key at t only.
    auto sampleCount = [&](KTime t, KTime next) -> long long {
        if (!(period > KTime(0)) || !(next > t))
            return 1;
        long long n = kfcurveutils_detail::SampleCount(t, next, period);
        if (n < 0 || n > budget)
            return 1;
        if (SampleTime(t, n - 1, period) >= next)
            --n; // the sample that falls on the next key is that key's
        budget -= n;
        return n;
    };
    auto kind = [&](int i) -> int {
        // 0 copy the key, 1 keep its shape with slopes, 2 sample.
        const unsigned int ownInterpolation = source.KeyGetInterpolation(i);
        const unsigned int ownMode = source.KeyGetTangeantMode(i);
        if (ownInterpolation != interpolation)
            return 2;
        if (interpolation != KFCURVE_INTERPOLATION_CUBIC || ownMode == tangentMode)
            return 0;
        const bool keepsShape = (tangentMode == KFCURVE_TANGEANT_USER &&
                                 (ownMode == KFCURVE_TANGEANT_AUTO || ownMode == KFCURVE_TANGEANT_AUTO_BREAK)) ||
                                (tangentMode == KFCURVE_TANGEANT_BREAK &&
                                 (ownMode == KFCURVE_TANGEANT_AUTO || ownMode == KFCURVE_TANGEANT_AUTO_BREAK ||
                                  ownMode == KFCURVE_TANGEANT_USER));
        return keepsShape ? 1 : 2;
    };

    long long total = 0;
    for (int i = 0; i < count; ++i)
    {
        const KTime t = source.KeyGetTime(i);
        const KTime next = i + 1 < count ? source.KeyGetTime(i + 1) : t;
        samples[i] = kind(i) == 2 ? sampleCount(t, next) : 1;
        total += samples[i];
    }

    destination.CopyFrom(source, false);
    if (total == 0)
        return destination;
    destination.KeyModifyBegin(static_cast<int>(total));
    int index = 0;
    int hint = -1;
    for (int i = 0; i < count; ++i)
    {
        const KTime t = source.KeyGetTime(i);
        const int how = kind(i);
        if (how == 0)
        {
            CopyKey(destination, index++, source, i);
            continue;
        }
        if (how == 1)
        {
            float right = 0.0f, nextLeft = 0.0f;
            if (i + 1 < count)
            {
                right = source.KeyGetRightDerivative(i);
                nextLeft = source.KeyGetLeftDerivative(i + 1);
            }
            destination.KeySet(index++, t, source.KeyGetValue(i), interpolation, tangentMode, right, nextLeft,
                               KFCURVE_WEIGHTED_NONE, KFCURVE_SAMPLE_WEIGHT, KFCURVE_SAMPLE_WEIGHT, 0.0f, 0.0f);
            continue;
        }
        for (long long k = 0; k < samples[i]; ++k)
        {
            const KTime time = SampleTime(t, k, period);
            destination.KeySet(index++, time, source.Evaluate(time, &hint), interpolation, tangentMode, 0.0f, 0.0f,
                               KFCURVE_WEIGHTED_NONE, KFCURVE_SAMPLE_WEIGHT, KFCURVE_SAMPLE_WEIGHT, 0.0f, 0.0f);
        }
    }
    destination.KeyModifyEnd(static_cast<int>(total));
    return destination;
}

bool KFCurveUtils::Resample(KFCurve& source, KFCurve& destination, KTime& start, KTime& stop, KTime& period,
                            unsigned int interpolation, unsigned int tangentMode, bool keyOnStop)
{
    return ResampleFrame(destination, start, stop, period, keyOnStop, [&](int index, KTime t, int* hint) {
        destination.KeySet(index, t, source.Evaluate(t, hint), interpolation, tangentMode, 0.0f, 0.0f,
                           KFCURVE_WEIGHTED_NONE, KFCURVE_SAMPLE_WEIGHT, KFCURVE_SAMPLE_WEIGHT, 0.0f, 0.0f);
    });
}

bool KFCurveUtils::Resample(KFCurve& source, KFCurve& destination, KTime& start, KTime& stop, KTime& period,
                            bool keyOnStop)
{
    return ResampleFrame(destination, start, stop, period, keyOnStop, [&](int index, KTime t, int* hint) {
        const double f = source.KeyFind(t, hint);
        const int i = static_cast<int>(f);
        const float value = source.Evaluate(t, hint);
        unsigned int interpolation = KFCURVE_INTERPOLATION_CUBIC;
        unsigned int mode = KFCURVE_TANGEANT_AUTO;
        float right = 0.0f, left = 0.0f;
        if (f >= 0.0 && f <= source.KeyGetCount() - 1)
        {
            interpolation = source.KeyGetInterpolation(i);
            mode = source.KeyGetTangeantMode(i);
            if (interpolation == KFCURVE_INTERPOLATION_CUBIC)
            {
                if (IsUserTangent(mode))
                {
                    right = source.EvaluateRightDerivative(t, hint);
                    left = source.EvaluateLeftDerivative(t, hint);
                }
                else if (mode == KFCURVE_TANGEANT_TCB)
                {
                    mode = KFCURVE_TANGEANT_AUTO;
                }
            }
        }
        destination.KeySet(index, t, value, interpolation, mode, right, left, KFCURVE_WEIGHTED_NONE,
                           KFCURVE_SAMPLE_WEIGHT, KFCURVE_SAMPLE_WEIGHT, 0.0f, 0.0f);
    });
}

bool KFCurveUtils::Resample(KFCurve& curve, KTime start, KTime stop, KTime period, bool keysOnFrame)
{
    if (start >= stop || period <= KTime(0))
        return false;

    const int count = curve.KeyGetCount();
    if (start <= KTIME_MINUS_INFINITE)
        start = count > 0 ? curve.KeyGetTime(0) : KTime(0);
    if (stop >= KTIME_INFINITE)
        stop = count > 0 ? curve.KeyGetTime(count - 1) : start;
    const KTime rangeStart = start;

    KTime sampleStart = start;
    if (keysOnFrame && start.Get() % period.Get() != 0)
    {
        const long long multiple = (start.Get() / period.Get()) * period.Get();
        if (multiple > 0)
        {
            long long moved;
            if (__builtin_add_overflow(multiple, period.Get(), &moved))
                return false;
            sampleStart = KTime(moved);
        }
    }
    if (sampleStart >= stop)
        return false;

    const long long n = kfcurveutils_detail::SampleCount(sampleStart, stop, period);
    if (n < 0)
        return false;

    KFCurve samples;
    int hint = -1;
    for (long long k = 0; k < n; ++k)
    {
        const KTime t = SampleTime(sampleStart, k, period);
        samples.KeyAppendFast(t, curve.Evaluate(t, &hint));
    }
    curve.Replace(&samples, rangeStart, stop, true, true);
    return true;
}

void KFCurveUtils::Merge(KFCurve& source, KFCurve& resampled, KFCurve& destination)
{
    // The destination is rebuilt from scratch: work from copies of the
    // inputs it stands for.
    if (&destination == &source || &destination == &resampled)
    {
        KFCurve sourceCopy, resampledCopy;
        sourceCopy.CopyFrom(source, true);
        resampledCopy.CopyFrom(resampled, true);
        Merge(sourceCopy, resampledCopy, destination);
        return;
    }

    const int nA = source.KeyGetCount();
    const int nB = resampled.KeyGetCount();
    if (nA == 0)
    {
        if (nB != 0)
            destination.CopyFrom(resampled, true);
        return;
    }
    if (nB == 0)
    {
        destination.CopyFrom(source, true);
        return;
    }

    const KTime b0 = resampled.KeyGetTime(0);
    const KTime b1 = resampled.KeyGetTime(nB - 1);
    if (b0 <= source.KeyGetTime(0) && b1 >= source.KeyGetTime(nA - 1))
    {
        destination.CopyFrom(resampled, true);
        return;
    }

    // s: the first source key not before the stretch; e: the last source key
    // not after it. Found on the tick times, so a stretch that starts before
    // the first key (or ends after the last) counts exactly.
    const int s = CountKeysBefore(source, b0);
    const int e = CountKeysAtOrBefore(source, b1) - 1;
    const int total = s + nB + (nA - 1 - e);

    destination.KeyClear();
    destination.KeyModifyBegin(total);
    // The batch's key slots are filled directly, whole records.
    int index = 0;
    for (int i = 0; i < s; ++i)
        CopyKey(destination, index++, source, i);
    for (int j = 0; j < nB; ++j)
        CopyKey(destination, index++, resampled, j);
    for (int i = e + 1; i < nA; ++i)
        CopyKey(destination, index++, source, i);

    // The user tangent of the key before the stretch now leads into it.
    if (s - 1 >= 0 && s < nA && IsCubicUserKey(source, s - 1))
        destination.KeySetDataDouble(s - 1, KFCURVEKEY_NEXT_LEFT_SLOPE, source.EvaluateRightDerivative(b0));

    // The last resampled key leads into the key after the stretch.
    if (e >= 0 && e < nA - 1 && IsCubicUserKey(source, e))
    {
        const int last = s + nB - 1;
        destination.KeySetInterpolation(last, KFCURVE_INTERPOLATION_CUBIC);
        destination.KeySetTangeantMode(last, KFCURVE_TANGEANT_BREAK);
        destination.KeySetDataDouble(last, KFCURVEKEY_RIGHT_SLOPE, source.EvaluateLeftDerivative(b1));
        destination.KeySetDataDouble(last, KFCURVEKEY_NEXT_LEFT_SLOPE,
                                     source.KeyGetDataDouble(e, KFCURVEKEY_NEXT_LEFT_SLOPE));
    }
    destination.KeyModifyEnd(total);
}

KTime KFCurveUtils::FindTimeOffsetBefore(KFCurve& curve, KTime& time)
{
    if (curve.KeyGetCount() == 0)
        return KTime(0);
    const KTime first = curve.KeyGetTime(0);
    return first > time ? first - time : KTime(0);
}

KTime KFCurveUtils::FindTimeOffsetAfter(KFCurve& curve, KTime& time)
{
    const int count = curve.KeyGetCount();
    if (count == 0)
        return KTime(0);
    const KTime last = curve.KeyGetTime(count - 1);
    return last < time ? last - time : KTime(0);
}

// ---------------------------------------------------------------------------
// Tangent breaking and fidelity increase on curves.
// ---------------------------------------------------------------------------

void KFCURVE_BreakTangentAt(int index, KFCurve* plotted, KFCurve* reference, KTime delta, double threshold)
{
    if (!plotted || !reference || delta <= KTime(0))
        return;
    const int count = plotted->KeyGetCount();
    if (index < 0 || index >= count)
        return;

    const KTime t = plotted->KeyGetTime(index);
    const double v = plotted->KeyGetValue(index);
    const double seconds = delta.GetSecondDouble();
    double left = 0.0, right = 0.0;
    bool breakIt = false;

    if (index > 0)
    {
        left = (v - reference->Evaluate(kfcurveutils_detail::SaturatedAdd(t, -delta.Get()), nullptr)) / seconds;
        if (std::fabs(left - plotted->KeyGetLeftDerivative(index)) > threshold)
            breakIt = true;
    }
    if (index < count - 1)
    {
        right = (reference->Evaluate(kfcurveutils_detail::SaturatedAdd(t, delta.Get()), nullptr) - v) / seconds;
        if (std::fabs(right - plotted->KeyGetRightDerivative(index)) > threshold)
            breakIt = true;
    }
    if (!breakIt)
        return;
    plotted->KeySetTangeantMode(index, KFCURVE_TANGEANT_BREAK);
    plotted->KeySetLeftDerivative(index, static_cast<float>(left));
    plotted->KeySetRightDerivative(index, static_cast<float>(right));
}

void KFCURVE_IncreaseFidelityAddKey(KTime time, double value, KFCurve* plotted, KFCurve* reference, bool breakTangents,
                                    KTime delta, double threshold)
{
    if (!plotted)
        return;
    plotted->KeyInsert(time);
    // The key now at that time (KeyInsert's answer is not the new key's
    // index when the time lies after the last key).
    const int index = CountKeysAtOrBefore(*plotted, time) - 1;
    if (index < 0 || plotted->KeyGetTime(index) != time)
        return;
    plotted->KeySetValue(index, static_cast<float>(value));
    if (breakTangents)
        KFCURVE_BreakTangentAt(index, plotted, reference, delta, threshold);
}

void KFCURVE_IncreaseFidelityRecursive(KTime start, KTime stop, KFCurve* plotted, KFCurve* reference, double tolerance,
                                       int subdivisions, bool breakTangents, KTime delta, double threshold,
                                       bool propagate, KArrayTemplate<KFCurve*>* plottedSiblings,
                                       KArrayTemplate<KFCurve*>* referenceSiblings)
{
    if (!(start < stop) || !plotted || !reference || subdivisions <= 1)
        return;
    // Only spans longer than 1/120 s are subdivided.
    const unsigned long long span = static_cast<unsigned long long>(KTimeDifference(start, stop));
    const unsigned long long step = span / static_cast<unsigned long long>(subdivisions);
    if (step <= 384884650ULL)
        return;
    const KTime stepTime(static_cast<long long>(step));

    int plottedHint = -1, referenceHint = -1;
    for (int i = 0; i <= subdivisions - 2; ++i)
    {
        const KTime ti = SampleTime(start, i, stepTime);
        const KTime t = SampleTime(start, i + 1LL, stepTime);
        const double wanted = reference->Evaluate(t, &referenceHint);
        if (std::fabs(plotted->Evaluate(t, &plottedHint) - wanted) <= tolerance)
            continue;

        KFCURVE_IncreaseFidelityAddKey(t, wanted, plotted, reference, breakTangents, delta, threshold);
        if (propagate && plottedSiblings && referenceSiblings)
        {
            const int n = plottedSiblings->GetCount() < referenceSiblings->GetCount() ? plottedSiblings->GetCount()
                                                                                      : referenceSiblings->GetCount();
            for (int j = 0; j < n; ++j)
            {
                KFCurve* a = (*plottedSiblings)[j];
                KFCurve* b = (*referenceSiblings)[j];
                if (a && b)
                    KFCURVE_IncreaseFidelityAddKey(t, b->Evaluate(t), a, b, breakTangents, delta, threshold);
            }
        }
        // The inserted key changes the curve: the hints start over.
        plottedHint = -1;
        KFCURVE_IncreaseFidelityRecursive(ti, t, plotted, reference, tolerance, subdivisions, breakTangents, delta,
                                          threshold, propagate, plottedSiblings, referenceSiblings);
        if (i == subdivisions - 2)
            KFCURVE_IncreaseFidelityRecursive(t, SampleTime(t, 1, stepTime), plotted, reference, tolerance,
                                              subdivisions, breakTangents, delta, threshold, propagate, plottedSiblings,
                                              referenceSiblings);
    }
}

void KFCURVE_BreakTangents(KFCurveNode* plotted, KFCurveNode* reference, KTime delta, double threshold)
{
    if (!plotted || !reference || delta <= KTime(0) || plotted->GetCount() != reference->GetCount())
        return;
    if (KFCurve* curve = plotted->FCurveGet())
    {
        KFCurve* referenceCurve = reference->FCurveGet();
        if (!referenceCurve)
            return;
        for (int i = 0; i < curve->KeyGetCount(); ++i)
            KFCURVE_BreakTangentAt(i, curve, referenceCurve, delta, threshold);
        return;
    }
    for (int c = 0; c < plotted->GetCount(); ++c)
        KFCURVE_BreakTangents(plotted->Get(c), reference->Get(c), delta, threshold);
}

void KFCURVE_IncreaseFidelity(KFCurveNode* plotted, KFCurveNode* reference, double tolerance, int subdivisions,
                              bool breakTangents, KTime delta, double threshold, bool propagate,
                              KArrayTemplate<KFCurve*>* plottedSiblings, KArrayTemplate<KFCurve*>* referenceSiblings)
{
    if (!plotted || !reference || plotted->GetCount() != reference->GetCount())
        return;
    if (KFCurve* curve = plotted->FCurveGet())
    {
        KFCurve* referenceCurve = reference->FCurveGet();
        if (!referenceCurve)
            return;
        // The key count is read again at every step: the spans made by
        // inserted keys are refined too.
        for (int i = 0; i + 1 < curve->KeyGetCount(); ++i)
            KFCURVE_IncreaseFidelityRecursive(curve->KeyGetTime(i), curve->KeyGetTime(i + 1), curve, referenceCurve,
                                              tolerance, subdivisions, breakTangents, delta, threshold, propagate,
                                              plottedSiblings, referenceSiblings);
        return;
    }
    const int count = plotted->GetCount();
    for (int c = 0; c < count; ++c)
    {
        KFCurveNode* child = plotted->Get(c);
        KArrayTemplate<KFCurve*> siblings(16), referenceSiblingCurves(16);
        if (propagate)
        {
            for (int j = 0; j < count; ++j)
            {
                KFCurveNode* other = plotted->Get(j);
                if (!other || other == child)
                    continue;
                KFCurve* a = other->FCurveGet();
                KFCurve* b = reference->Get(j) ? reference->Get(j)->FCurveGet() : nullptr;
                if (a && b)
                {
                    siblings.Add(a);
                    referenceSiblingCurves.Add(b);
                }
            }
        }
        KFCURVE_IncreaseFidelity(child, reference->Get(c), tolerance, subdivisions, breakTangents, delta, threshold,
                                 propagate, &siblings, &referenceSiblingCurves);
    }
}
