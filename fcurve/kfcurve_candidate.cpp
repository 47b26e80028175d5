// Keying the candidate without changing the curve elsewhere, extrema of a
// cubic segment and the timing analysis of a curve's keys.

#include "fcurve/kfcurve.h"

#include "fcurve/kfcurve_internal.h"

#include <cmath>

using namespace kfcurve_detail;

namespace {

// The key that CandidateKey creates: for an auto tangent with tangentBreak
// an auto-break key following its secants, for TCB a key with tension 0,
// continuity -1 (broken) or 0, bias 0.
KFCurveKey BuildCandidateKey(KTime time, float value, unsigned int interpolation, unsigned int mode, bool tangentBreak)
{
    KFCurveKey key;
    key.Init();
    key.Set(time, value, KFCURVE_INTERPOLATION_CONSTANT, 0, 0.0f, 0.0f, KFCURVE_WEIGHTED_NONE, KFCURVE_DEFAULT_WEIGHT,
            KFCURVE_DEFAULT_WEIGHT, 0.0f, 0.0f);
    const bool cubic = interpolation == KFCURVE_INTERPOLATION_CUBIC;
    if (cubic && mode == KFCURVE_TANGEANT_TCB)
    {
        key.SetTCB(time, value, 0.0f, tangentBreak ? -1.0f : 0.0f, 0.0f);
        return key;
    }
    unsigned int keyMode = mode;
    float right = 0.0f;
    if (cubic && mode == KFCURVE_TANGEANT_AUTO && tangentBreak)
    {
        keyMode = KFCURVE_TANGEANT_AUTO_BREAK;
        right = KFCURVE_AUTO_LINEAR;
    }
    key.Set(time, value, interpolation, keyMode, right, 0.0f, KFCURVE_WEIGHTED_NONE, KFCURVE_DEFAULT_WEIGHT,
            KFCURVE_DEFAULT_WEIGHT, 0.0f, 0.0f);
    return key;
}

} // namespace

int KFCurve::CandidateKey(int* last, int interpolation, int tangentMode, bool tangentBreak, bool setAllFields,
                          KTime time, double tolerance)
{
    if (time != KTIME_INFINITE)
        mCandidateTime = time;
    if (!IsCandidate())
        return 1;
    const KTime candidateTime = mCandidateTime;
    const float candidateValue = mCandidateValue;
    const unsigned int interp = static_cast<unsigned int>(interpolation) & KFCURVE_INTERPOLATION_ALL;
    const unsigned int mode = static_cast<unsigned int>(tangentMode) & KFCURVE_TANGEANT_ALL;

    if (mKeyCount == 0)
    {
        KFCurveKey key = BuildCandidateKey(candidateTime, candidateValue, interp, mode, tangentBreak);
        KeyAdd(candidateTime, key, last);
        return 0;
    }

    // A key closer than the tolerance (in key-index units, at most half a
    // span) counts as lying at the time.
    if (!(tolerance > 0.0))
        tolerance = 0.0;
    if (tolerance > 0.5)
        tolerance = 0.5;
    const double f = KeyFind(candidateTime, last);
    int a = static_cast<int>(std::floor(f + tolerance));
    int b = static_cast<int>(std::ceil(f - tolerance));
    if (a > b)
    {
        const int k = a <= mKeyCount - 1 ? a : b;
        a = b = k;
    }

    // Tangents that must survive: both sides of the keys next to the keyed
    // one, so that the segments beyond them keep their shape.
    const bool onKey = a == b;
    const int before = onKey ? a - 1 : a;
    const int after = onKey ? a + 1 : b;
    KFCurveTangeantInfo beforeLeft, beforeRight, afterLeft, afterRight, ownLeft, ownRight;
    const bool hasBefore = before >= 0;
    const bool hasAfter = after < mKeyCount;
    if (hasBefore)
    {
        beforeLeft = KeyGetLeftDerivativeInfo(before);
        beforeRight = KeyGetRightDerivativeInfo(before);
    }
    if (hasAfter)
    {
        afterLeft = KeyGetLeftDerivativeInfo(after);
        afterRight = KeyGetRightDerivativeInfo(after);
    }

    // A key added outside the key range keeps the curve's value there: the
    // segment between it and the old end key is flat.
    if (!onKey && !hasBefore)
    {
        ownRight.mDerivative = 0.0f;
        afterLeft.mDerivative = 0.0f;
    }
    if (!onKey && !hasAfter)
    {
        ownLeft.mDerivative = 0.0f;
        beforeRight.mDerivative = 0.0f;
    }

    int index;
    if (!onKey)
    {
        // The new key takes the curve's slopes at the time.
        ownLeft.mDerivative = EvaluateLeftDerivative(candidateTime, last);
        ownRight.mDerivative = EvaluateRightDerivative(candidateTime, last);
        KFCurveKey key = BuildCandidateKey(candidateTime, candidateValue, interp, mode, tangentBreak);
        index = KeyAdd(candidateTime, key, last);
        if (index < 0)
            return 0;
    }
    else
    {
        index = a;
        ownLeft = KeyGetLeftDerivativeInfo(index);
        ownRight = KeyGetRightDerivativeInfo(index);
        KFCurveKey& key = *Key(index);
        if (!setAllFields)
        {
            key.SetValue(candidateValue);
            key.SetTime(candidateTime);
        }
        else if (interp == KFCURVE_INTERPOLATION_CUBIC && mode == KFCURVE_TANGEANT_TCB)
        {
            key.SetTCB(candidateTime, candidateValue, 0.0f, tangentBreak ? -1.0f : 0.0f, 0.0f);
        }
        else
        {
            const KFCurveKey built = BuildCandidateKey(candidateTime, candidateValue, interp, mode, tangentBreak);
            key.Set(candidateTime, candidateValue, interp, built.GetTangeantMode(),
                    built.GetDataDouble(KFCURVEKEY_RIGHT_SLOPE), 0.0f, KFCURVE_WEIGHTED_NONE, KFCURVE_DEFAULT_WEIGHT,
                    KFCURVE_DEFAULT_WEIGHT, 0.0f, 0.0f);
        }
        CandidateClear();
        CallbackAddEvent(KFCURVEEVENT_KEY, index);
    }

    if (tangentBreak)
    {
        ownLeft.mDerivative = 0.0f;
        ownLeft.mAuto = KFCURVE_AUTO_LINEAR;
        ownRight.mDerivative = 0.0f;
        ownRight.mAuto = KFCURVE_AUTO_LINEAR;
        KFCurveKey& key = *Key(index);
        if (IsCubic(key))
        {
            const unsigned int keyMode = key.GetTangeantMode();
            if (keyMode == KFCURVE_TANGEANT_AUTO)
                key.SetTangeantMode(KFCURVE_TANGEANT_AUTO_BREAK);
            else if (keyMode == KFCURVE_TANGEANT_TCB)
                key.SetTCB(key.GetTime(), key.GetValue(), 0.0f, -1.0f, 0.0f);
        }
        KeySetLeftDerivativeInfo(index, ownLeft);
        KeySetRightDerivativeInfo(index, ownRight);
    }
    else
    {
        ApplyLeftSlope(index, ownLeft);
        ApplyRightSlope(index, ownRight);
    }
    if (hasBefore)
    {
        ApplyLeftSlope(index - 1, beforeLeft);
        ApplyRightSlope(index - 1, beforeRight);
    }
    if (hasAfter)
    {
        ApplyLeftSlope(index + 1, afterLeft);
        ApplyRightSlope(index + 1, afterRight);
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Extrema of a segment

namespace {

struct Peaks
{
    int count;
    KTime time[2];
};

} // namespace

static Peaks FindSegmentPeaks(KFCurve& curve, int index)
{
    Peaks peaks = {0, {KTime(0), KTime(0)}};
    if (index < 0 || index >= curve.KeyGetCount() - 1)
        return peaks;
    const KTime ta = curve.KeyGetTime(index);
    const KTime tb = curve.KeyGetTime(index + 1);
    const double dt = KTimeDifferenceSeconds(ta, tb);
    const float p0 = curve.KeyGetValue(index);
    const float p3 = curve.KeyGetValue(index + 1);
    const float p1 = static_cast<float>(p0 + curve.KeyGetRightDerivative(index) * dt / 3.0);
    const float p2 = static_cast<float>(p3 - curve.KeyGetLeftDerivative(index + 1) * dt / 3.0);

    const float qa = 9.0f * p1 + 3.0f * p3 - 9.0f * p2 - 3.0f * p0;
    const float qb = 6.0f * p0 + 6.0f * p2 - 12.0f * p1;
    const float qc = 3.0f * p1 - 3.0f * p0;
    const float disc = qb * qb - 4.0f * qa * qc;
    if (disc < 0.0f || qa == 0.0f)
        return peaks;
    float roots[2];
    int rootCount;
    if (disc == 0.0f)
    {
        roots[0] = -qb / (2.0f * qa);
        rootCount = 1;
    }
    else
    {
        const float r = std::sqrt(disc);
        roots[0] = (-qb - r) / (2.0f * qa);
        roots[1] = (-qb + r) / (2.0f * qa);
        if (roots[1] < roots[0])
        {
            const float swap = roots[0];
            roots[0] = roots[1];
            roots[1] = swap;
        }
        rootCount = 2;
    }
    for (int i = 0; i < rootCount; ++i)
    {
        const KTime t = ta + TimeFromSeconds(roots[i] * dt);
        if (t > ta && t < tb)
            peaks.time[peaks.count++] = t;
    }
    return peaks;
}

int KFCurve::FindPeaks(int index, KTime& time1, KTime& time2)
{
    const Peaks peaks = FindSegmentPeaks(*this, index);
    if (peaks.count > 0)
        time1 = peaks.time[0];
    if (peaks.count > 1)
        time2 = peaks.time[1];
    return peaks.count;
}

int KFCurve::FindPeaks(int index, float& value1, float& value2)
{
    const Peaks peaks = FindSegmentPeaks(*this, index);
    if (peaks.count > 0)
        value1 = Evaluate(peaks.time[0]);
    if (peaks.count > 1)
        value2 = Evaluate(peaks.time[1]);
    return peaks.count;
}

int KFCurve::FindPeaks(int index, KTime& time1, float& value1, KTime& time2, float& value2)
{
    const Peaks peaks = FindSegmentPeaks(*this, index);
    if (peaks.count > 0)
    {
        time1 = peaks.time[0];
        value1 = Evaluate(peaks.time[0]);
    }
    if (peaks.count > 1)
    {
        time2 = peaks.time[1];
        value2 = Evaluate(peaks.time[1]);
    }
    return peaks.count;
}

// ---------------------------------------------------------------------------
// Key timing

KTime KFCurve::KeyGetAverageRate(bool* regular, KTime* regularInterval, KTime* largest)
{
    KTime average(0);
    if (regular != nullptr)
        *regular = false;
    if (largest != nullptr)
        *largest = KTime(0);
    KTime tolerance;
    tolerance.SetSecondDouble(0.0001);
    KTime sum(0);
    for (int i = 1; i < mKeyCount; ++i)
    {
        const KTime interval = Key(i)->GetTime() - Key(i - 1)->GetTime();
        sum += interval;
        average = sum / KTime(i);
        if (regular != nullptr)
        {
            *regular = average - tolerance < interval && interval < average + tolerance;
            if (*regular && regularInterval != nullptr)
                *regularInterval = interval;
        }
        if (largest != nullptr && interval > *largest)
            *largest = interval;
    }
    return average;
}

int KFCurve::GuessWasData(KTime* firstTime, KTime* period)
{
    int result = mKeyCount >= 2 ? 2 : 1;
    if (mKeyCount == 0)
        return result;
    if (firstTime != nullptr)
        *firstTime = Key(0)->GetTime();
    KTime first(0);
    for (int i = 1; i < mKeyCount; ++i)
    {
        const KFCurveKey& previous = *Key(i - 1);
        const KFCurveKey& key = *Key(i);
        if (key.GetInterpolation() != previous.GetInterpolation())
            return 0;
        if (IsCubic(key) && !IsAutoMode(key.GetTangeantMode()))
            return 0;
        const KTime interval = key.GetTime() - previous.GetTime();
        if (i == 1)
        {
            first = interval;
            if (period != nullptr)
                *period = interval;
        }
        else if (interval < first - KTime(1) || interval > first + KTime(1))
        {
            result = 1;
        }
    }
    return result;
}
