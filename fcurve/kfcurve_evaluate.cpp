// Evaluation of a curve: interpolation inside the keys, pre- and
// post-extrapolation outside them, slopes at a time, the weighted-tangent
// time solve, the candidate cache and the All index view of the
// extrapolated repetitions.

#include "fcurve/kfcurve.h"

#include "fcurve/kfcurve_internal.h"
#include "fcurve/kfcurve_tcb4051.h"

#include <climits>
#include <cmath>
#include <cstring>

using namespace kfcurve_detail;

namespace {

typedef __int128 Wide;

const Wide kTimeMax = LLONG_MAX;
const Wide kTimeMin = LLONG_MIN;

KTime ClampTime(Wide t)
{
    if (t > kTimeMax)
        return KTime(LLONG_MAX);
    if (t < kTimeMin)
        return KTime(LLONG_MIN);
    return KTime(static_cast<long long>(t));
}

// Cubic Bezier of four control values by repeated linear interpolation.
float Bezier(float p0, float p1, float p2, float p3, float u)
{
    const float a = p0 + (p1 - p0) * u;
    const float b = p1 + (p2 - p1) * u;
    const float c = p2 + (p3 - p2) * u;
    const float d = a + (b - a) * u;
    const float e = b + (c - b) * u;
    return d + (e - d) * u;
}

// Bitwise equality of two keys, without a library call.
bool SameKey(const KFCurveKey* a, const KFCurveKey* b)
{
    unsigned long long x[4], y[4];
    std::memcpy(x, static_cast<const void*>(a), sizeof x);
    std::memcpy(y, static_cast<const void*>(b), sizeof y);
    return ((x[0] ^ y[0]) | (x[1] ^ y[1]) | (x[2] ^ y[2]) | (x[3] ^ y[3])) == 0;
}

// Quadratic Bezier (the derivative's control differences).
float Bezier2(float q0, float q1, float q2, float u)
{
    const float a = q0 + (q1 - q0) * u;
    const float b = q1 + (q2 - q1) * u;
    return a + (b - a) * u;
}

} // namespace

float CubicWarp(float s, float u, float weightA, float weightB)
{
    // X(1 - s), X the Bezier 0, weightA, 1 - weightB, 1, walked backwards.
    return Bezier(1.0f, 1.0f - weightB, weightA, 0.0f, s) - u;
}

float rtsec(kFCurveWarpFunction function, float x1, float x2, float u, float weightA, float weightB)
{
    float g1 = function(x1, u, weightA, weightB);
    float g2 = function(x2, u, weightA, weightB);
    float current, previous, gCurrent, gPrevious;
    if (std::fabs(g1) < std::fabs(g2))
    {
        current = x1;
        gCurrent = g1;
        previous = x2;
        gPrevious = g2;
    }
    else
    {
        current = x2;
        gCurrent = g2;
        previous = x1;
        gPrevious = g1;
    }
    for (int step = 0; step < 15; ++step)
    {
        const float denominator = gCurrent - gPrevious;
        if (denominator == 0.0f)
            break;
        const float dx = (previous - current) * gCurrent / denominator;
        previous = current;
        gPrevious = gCurrent;
        current += dx;
        gCurrent = function(current, u, weightA, weightB);
        if (std::fabs(dx) < 1e-6f || gCurrent == 0.0f)
            break;
    }
    return current;
}

// ---------------------------------------------------------------------------
// Evaluation

// Slopes and Bezier controls of the cubic segment from key a to key a + 1.
// They depend on keys a - 1 to a + 2, on whether a is the first key and
// a + 1 the last, and on the TCB evaluation mode; while all of these are as
// they were, so are the slopes.
const KFCurve::SegmentCache& KFCurve::Segment(int a)
{
    const int low = a > 0 ? a - 1 : 0;
    const int high = a + 2 < mKeyCount ? a + 2 : mKeyCount - 1;
    const int size = high - low + 1;
    SegmentCache& cache = SegmentRecord();
    if (cache.a == a && cache.count == mKeyCount && cache.tcb4051 == gsTCB4051EvalMode)
    {
        bool same = true;
        for (int i = 0; i < size && same; ++i)
            same = SameKey(Key(low + i), &cache.window[i]);
        if (same)
            return cache;
    }
    const KFCurveKey& ka = *Key(a);
    const KFCurveKey& kb = *Key(a + 1);
    const float right = KeyGetRightDerivative(a);
    const float left = KeyGetLeftDerivative(a + 1);
    const float dt = static_cast<float>(SpanSeconds(ka.GetTime(), kb.GetTime()));
    cache.a = a;
    cache.count = mKeyCount;
    cache.tcb4051 = gsTCB4051EvalMode;
    cache.right = right;
    cache.left = left;
    cache.span = dt;
    cache.control1 = static_cast<float>(ka.GetValue() + right * dt / 3.0);
    cache.control2 = static_cast<float>(kb.GetValue() - left * dt / 3.0);
    for (int i = 0; i < size; ++i)
        cache.window[i] = *Key(low + i);
    return cache;
}

float KFCurve::EvaluateIndex(double index)
{
    if (mKeyCount == 0)
        return mValue;
    if (mKeyCount == 1)
        return Key(0)->GetValue();
    // Positions outside the keys hold the end keys.
    if (!(index > 0.0))
        return Key(0)->GetValue();
    if (index >= mKeyCount - 1)
        return Key(mKeyCount - 1)->GetValue();

    // index is positive here: truncation is the floor.
    const int a = static_cast<int>(index);
    const double lower = a;
    if (lower == index)
        return Key(a)->GetValue();
    const int b = a + 1;
    const KFCurveKey& ka = *Key(a);
    const KFCurveKey& kb = *Key(b);
    const double fraction = index - lower;

    switch (ka.GetInterpolation())
    {
    case KFCURVE_INTERPOLATION_CONSTANT:
        return ka.GetConstantMode() == KFCURVE_CONSTANT_NEXT ? kb.GetValue() : ka.GetValue();
    case KFCURVE_INTERPOLATION_LINEAR:
        return static_cast<float>(ka.GetValue() + fraction * (kb.GetValue() - ka.GetValue()));
    case KFCURVE_INTERPOLATION_CUBIC:
    {
        // Control values P0 = v(a), P1 = v(a) + right x dt / 3,
        // P2 = v(b) - left x dt / 3, P3 = v(b); with weights the thirds
        // become the weights and the parameter is solved from the time.
        const float u = static_cast<float>(fraction);
        const SegmentCache& segment = Segment(a);
        const float va = ka.GetValue();
        const float vb = kb.GetValue();
        if ((ka.GetFlags() & KFCURVE_WEIGHTED_ALL) == 0)
            return Bezier(va, segment.control1, segment.control2, vb, u);
        const float dt = segment.span;
        const float wa = KeyGetRightTangeantWeight(a);
        const float wb = KeyGetLeftTangeantWeight(b);
        const float s = rtsec(CubicWarp, 0.0f, 1.0f, u, wa, wb);
        const float p1 = va + segment.right * dt * wa;
        const float p2 = vb - segment.left * dt * wb;
        return Bezier(vb, p2, p1, va, s);
    }
    default: return 0.0f;
    }
}

float KFCurve::Evaluate(KTime time, int* last)
{
    if (mKeyCount >= 2)
    {
        const KTime t0 = Key(0)->GetTime();
        const KTime tn = Key(mKeyCount - 1)->GetTime();
        const Wide span = KTimeDifference(t0, tn);
        if (mPreExtrapolation == KFCURVE_EXTRAPOLATION_KEEP_SLOPE && time < t0)
        {
            const float v = Key(0)->GetValue();
            const float d = KeyGetRightDerivative(0);
            const Wide reach = span * mPreExtrapolationCount;
            if (mPreExtrapolationCount == KFCURVE_UNLIMITED_REPETITION || time.Get() >= t0.Get() - reach)
                return static_cast<float>(v + d * KTimeDifferenceSeconds(t0, time));
            return static_cast<float>(v + d * KTimeTicksToSeconds(static_cast<long double>(-reach)));
        }
        if (mPostExtrapolation == KFCURVE_EXTRAPOLATION_KEEP_SLOPE && time > tn)
        {
            const float v = Key(mKeyCount - 1)->GetValue();
            const float d = KeyGetLeftDerivative(mKeyCount - 1);
            const Wide reach = span * mPostExtrapolationCount;
            if (mPostExtrapolationCount == KFCURVE_UNLIMITED_REPETITION || time.Get() <= tn.Get() + reach)
                return static_cast<float>(v + d * KTimeDifferenceSeconds(tn, time));
            return static_cast<float>(v + d * KTimeTicksToSeconds(static_cast<long double>(reach)));
        }
    }
    return EvaluateIndex(KeyFindAll(time, last));
}

double KFCurve::KeyFindAll(KTime time, int* last)
{
    if (mKeyCount == 0)
        return -1.0;
    int* hint = last != nullptr ? last : &mLastSearchIndex;
    const long long t0 = Key(0)->GetTime().Get();
    const long long tn = Key(mKeyCount - 1)->GetTime().Get();
    const long long t = time.Get();
    if (t >= t0 && t <= tn)
        return KeyFind(time, hint);
    const Wide span = static_cast<Wide>(tn) - t0;

    if (t < t0)
    {
        switch (mPreExtrapolation)
        {
        case KFCURVE_EXTRAPOLATION_CONST: *hint = 0; return 0.0;
        case KFCURVE_EXTRAPOLATION_REPETITION:
        case KFCURVE_EXTRAPOLATION_MIRROR_REPETITION:
        {
            if (span <= 0)
            {
                *hint = 0;
                return 0.0;
            }
            Wide lower = t0 - span * mPreExtrapolationCount;
            if (lower < kTimeMin || mPreExtrapolationCount == KFCURVE_UNLIMITED_REPETITION)
                lower = t0 + span * ((kTimeMin - t0) / span + 1);
            if (t <= lower)
            {
                *hint = 0;
                return 0.0;
            }
            const Wide diff = static_cast<Wide>(t) - t0; // negative
            const Wide m = diff / span;                  // zero or negative
            const Wide d = diff - m * span;              // in (-span, 0]
            Wide mapped;
            if (mPreExtrapolation == KFCURVE_EXTRAPOLATION_MIRROR_REPETITION && m % 2 == 0)
                mapped = t0 - d;
            else
                mapped = tn + d;
            return KeyFind(KTime(static_cast<long long>(mapped)), hint);
        }
        default: return KeyFind(time, hint);
        }
    }

    switch (mPostExtrapolation)
    {
    case KFCURVE_EXTRAPOLATION_CONST: *hint = mKeyCount - 1; return mKeyCount - 1;
    case KFCURVE_EXTRAPOLATION_REPETITION:
    case KFCURVE_EXTRAPOLATION_MIRROR_REPETITION:
    {
        if (span <= 0)
        {
            *hint = mKeyCount - 1;
            return mKeyCount - 1;
        }
        Wide upper = tn + span * mPostExtrapolationCount;
        if (upper > kTimeMax || mPostExtrapolationCount == KFCURVE_UNLIMITED_REPETITION)
            upper = tn + span * ((kTimeMax - tn) / span - 1);
        if (t >= upper)
        {
            *hint = mKeyCount - 1;
            return mKeyCount - 1.0;
        }
        const Wide diff = static_cast<Wide>(t) - tn; // positive
        const Wide m = diff / span;
        const Wide d = diff - m * span; // in [0, span)
        Wide mapped;
        if (mPostExtrapolation == KFCURVE_EXTRAPOLATION_MIRROR_REPETITION && m % 2 == 0)
            mapped = tn - d;
        else
            mapped = t0 + d;
        return KeyFind(KTime(static_cast<long long>(mapped)), hint);
    }
    default: return KeyFind(time, hint);
    }
}

namespace {

// Slope of a linear segment, per second.
float LinearSlope(const KFCurveKey& ka, const KFCurveKey& kb)
{
    const float dt = static_cast<float>(KTimeDifferenceSeconds(ka.GetTime(), kb.GetTime()));
    return dt == 0.0f ? 0.0f : (kb.GetValue() - ka.GetValue()) / dt;
}

} // namespace

// Slope inside the segment after key a at parameter u: 0 for constant
// segments, the line's for linear ones, for cubic ones the derivative of the
// unweighted Bezier (weights are not taken into account).
float KFCurve::SegmentSlope(int a, float u)
{
    const KFCurveKey& ka = *Key(a);
    const KFCurveKey& kb = *Key(a + 1);
    switch (ka.GetInterpolation())
    {
    case KFCURVE_INTERPOLATION_LINEAR: return LinearSlope(ka, kb);
    case KFCURVE_INTERPOLATION_CUBIC:
    {
        const SegmentCache& segment = Segment(a);
        if (segment.span == 0.0f)
            return 0.0f;
        const float va = ka.GetValue();
        const float vb = kb.GetValue();
        const float p1 = segment.control1;
        const float p2 = segment.control2;
        return 3.0f * Bezier2(p1 - va, p2 - p1, vb - p2, u) / segment.span;
    }
    default: return 0.0f;
    }
}

// Slope at a time: on a key its left or right derivative, inside a segment
// the segment's slope, outside the keys 0.
float KFCurve::EvaluateDerivative(KTime time, int* last, bool left)
{
    if (mKeyCount < 2)
        return 0.0f;
    const double f = KeyFind(time, last);
    const double lower = std::floor(f);
    const double upper = std::ceil(f);
    if (lower < 0.0 || upper > mKeyCount - 1)
        return 0.0f;
    const int a = static_cast<int>(lower);
    if (lower == upper)
        return left ? KeyGetLeftDerivative(a) : KeyGetRightDerivative(a);
    return SegmentSlope(a, static_cast<float>(f - lower));
}

float KFCurve::EvaluateLeftDerivative(KTime time, int* last)
{
    return EvaluateDerivative(time, last, true);
}

float KFCurve::EvaluateRightDerivative(KTime time, int* last)
{
    return EvaluateDerivative(time, last, false);
}

float KFCurve::CandidateEvaluate(KTime time, int* last)
{
    if (IsCandidate() && time == mCandidateTime)
        return mCandidateValue;
    const float value = Evaluate(time, last);
    mCandidateTime = time;
    mCandidateValue = value;
    return value;
}

// ---------------------------------------------------------------------------
// The All index: pre-repetitions, real keys, post-repetitions.

int KFCurve::KeyGetCountAll() const
{
    if (mKeyCount == 0)
        return 0;
    const Wide p = mKeyCount - 1;
    const Wide all = (static_cast<Wide>(mPostExtrapolationCount) + mPreExtrapolationCount) * p + mKeyCount;
    return all > INT_MAX ? INT_MAX : static_cast<int>(all);
}

namespace {

// Position of a virtual key: its zone, the real key it maps to, and for the
// repetition zones the repetition number j (0 next to the keys), the
// position w inside it and whether it runs backwards.
struct AllPosition
{
    int zone;
    int key;
    Wide repetition;
    int within;
    bool reflected;
};

AllPosition LocateAll(int indexAll, int count, unsigned int preType, unsigned int preCount, unsigned int postType,
                      unsigned int postCount)
{
    AllPosition pos = {0, 0, 0, 0, false};
    const Wide n = count;
    const Wide p = n - 1;
    const Wide i = indexAll;
    const Wide preKeys = p * preCount;
    if (i < 0)
    {
        pos.zone = 0;
        pos.key = 0;
    }
    else if (i < preKeys)
    {
        pos.zone = 1;
        pos.repetition = preCount - 1 - i / p;
        pos.within = static_cast<int>(i % p);
        if (preType == KFCURVE_EXTRAPOLATION_REPETITION)
        {
            pos.key = pos.within;
        }
        else if (preType == KFCURVE_EXTRAPOLATION_MIRROR_REPETITION)
        {
            pos.reflected = pos.repetition % 2 == 0;
            pos.key = pos.reflected ? static_cast<int>(n - 1 - pos.within) : pos.within;
        }
        else
        {
            pos.key = 0;
        }
    }
    else if (i < preKeys + n)
    {
        pos.zone = 2;
        pos.key = static_cast<int>(i - preKeys);
    }
    else if (i < (static_cast<Wide>(postCount) + preCount) * p + n)
    {
        pos.zone = 3;
        const Wide r = i - preKeys - n;
        pos.repetition = r / p;
        pos.within = static_cast<int>(r % p);
        if (postType == KFCURVE_EXTRAPOLATION_REPETITION)
        {
            pos.key = static_cast<int>((pos.within + 1) % p);
        }
        else if (postType == KFCURVE_EXTRAPOLATION_MIRROR_REPETITION)
        {
            pos.reflected = pos.repetition % 2 == 0;
            pos.key = pos.reflected ? static_cast<int>(p - 1 - pos.within) : pos.within + 1;
        }
        else
        {
            pos.key = static_cast<int>(p);
        }
    }
    else
    {
        pos.zone = 4;
        pos.key = static_cast<int>(p);
    }
    return pos;
}

} // namespace

int KFCurve::MapIndexAll(int indexAll, int& zone) const
{
    if (mKeyCount == 0)
    {
        zone = 0;
        return -1;
    }
    const AllPosition pos = LocateAll(indexAll, mKeyCount, mPreExtrapolation, mPreExtrapolationCount,
                                      mPostExtrapolation, mPostExtrapolationCount);
    zone = pos.zone;
    return pos.key;
}

KFCurveKey* KFCurve::KeyGetRawAll(int indexAll)
{
    int zone = 0;
    const int index = MapIndexAll(indexAll, zone);
    return index >= 0 ? Key(index) : nullptr;
}

KTime KFCurve::KeyGetTimeAll(int indexAll) const
{
    if (mKeyCount == 0)
        return KTime(0);
    const AllPosition pos = LocateAll(indexAll, mKeyCount, mPreExtrapolation, mPreExtrapolationCount,
                                      mPostExtrapolation, mPostExtrapolationCount);
    const Wide t0 = Key(0)->GetTime().Get();
    const Wide tn = Key(mKeyCount - 1)->GetTime().Get();
    const Wide span = tn - t0;
    switch (pos.zone)
    {
    case 0: return ClampTime(t0 - span * mPreExtrapolationCount);
    case 1:
    {
        const Wide start = t0 - (pos.repetition + 1) * span;
        if (pos.reflected)
            return ClampTime(start + (tn - Key(pos.key)->GetTime().Get()));
        return ClampTime(start + (Key(pos.within)->GetTime().Get() - t0));
    }
    case 2: return Key(pos.key)->GetTime();
    case 3:
    {
        const Wide start = tn + pos.repetition * span;
        if (pos.reflected)
            return ClampTime(start + (tn - Key(pos.key)->GetTime().Get()));
        return ClampTime(start + (Key(pos.within + 1)->GetTime().Get() - t0));
    }
    default: return ClampTime(tn + span * mPostExtrapolationCount);
    }
}
