#ifndef QOX_FCURVE_KFCURVEUTILS_H
#define QOX_FCURVE_KFCURVEUTILS_H

// Static operations on curves: comparison, the interpolation and tangent
// kinds a curve uses, conversion to one kind, fixed-period resampling, the
// merge of a resampled stretch back into a curve, and the offsets of a time
// outside a curve's keys. Beside them, the two refinements applied to a
// plotted curve against the curve it was plotted from: tangent breaking and
// fidelity increase.
//
// Every sampling loop here is bounded: a period that is not positive or a
// span that would need more than KFCURVE_MAX_SAMPLE_COUNT samples is refused,
// and tick arithmetic never wraps.

#include "base/karray.h"
#include "base/kerror.h"
#include "base/ktime.h"
#include "fcurve/kfcurve.h"

class KFCurveNode;

// Most keys a single sampling pass may produce (one pass of a resample, a
// plot or a conversion between two keys).
const long long KFCURVE_MAX_SAMPLE_COUNT = 1LL << 25;

// One third: the default tangent weight of the keys that sampling writes.
const float KFCURVE_SAMPLE_WEIGHT = 0.33333334f;

namespace kfcurveutils_detail {

// Number of samples start, start + period, ... up to the last one not after
// stop (at least 1 when start <= stop); -1 when period <= 0, stop < start or
// the count exceeds KFCURVE_MAX_SAMPLE_COUNT. Computed without overflow.
long long SampleCount(KTime start, KTime stop, KTime period);

// time + delta, saturated at the ends of the signed 64-bit tick range.
KTime SaturatedAdd(KTime time, long long delta);

} // namespace kfcurveutils_detail

class KFCurveUtils
{
public:
    enum
    {
        eNoKey = 0,
        eMultipleInterpolationOrTangeantTypes = 1,
        eMultipleKeyCount = 2,
        eUnsynchedKeys = 3,
        eLeftUnchanged = 4
    };

    // True when both curves have the same default value and the same keys
    // (times exact, values within the double epsilon, kinds and tangents).
    static bool CompareCurve(KFCurve* a, KFCurve* b);

    // The OR of the keys' interpolation codes (tangent modes); true also when
    // they differ (error 1 then recorded), false without keys (error 0).
    static bool GetGlobalInterpolation(unsigned int& out, KFCurve& curve);
    static bool GetGlobalTangeant(unsigned int& out, KFCurve& curve);

    // Seven counters: constant, linear, cubic auto, auto-break, user,
    // user-break, TCB.
    static bool GetInterpolationAndTangeantCount(KFCurve& curve, int* counts);

    // Every key of the tree gets the interpolation, then the tangent mode.
    static void ConvertCurveInterpolationRecursive(unsigned int interpolation, unsigned int tangentMode,
                                                   KFCurveNode& node);

    // destination = source converted to one interpolation and tangent mode,
    // with keys inserted at the period where the shape cannot be kept.
    static KFCurve& ConvertCurve(KFCurve& source, KFCurve& destination, unsigned int interpolation,
                                 unsigned int tangentMode, KTime period);

    // Keys of one kind at start, start + period, ... (and at stop with keyOnStop).
    static bool Resample(KFCurve& source, KFCurve& destination, KTime& start, KTime& stop, KTime& period,
                         unsigned int interpolation, unsigned int tangentMode, bool keyOnStop);
    // The same, each key taking the kind of the source key it falls after.
    static bool Resample(KFCurve& source, KFCurve& destination, KTime& start, KTime& stop, KTime& period,
                         bool keyOnStop);
    // Resamples a range of a curve in place.
    static bool Resample(KFCurve& curve, KTime start, KTime stop, KTime period, bool keysOnFrame);

    // destination = source's keys before the resampled stretch, the stretch's
    // keys, then source's keys after it.
    static void Merge(KFCurve& source, KFCurve& resampled, KFCurve& destination);

    // How far the first key lies after time (0 when it does not, or without
    // keys); how far the last key lies before time (negative; 0 likewise).
    static KTime FindTimeOffsetBefore(KFCurve& curve, KTime& time);
    static KTime FindTimeOffsetAfter(KFCurve& curve, KTime& time);

    // The error object of the calling thread: the utilities called on one
    // thread record their failures there, apart from every other thread's.
    static KError& GetError();
    static int GetLastErrorID();
    static const char* GetLastErrorString();
};

// Tangent breaking: where the slopes of plotted key index differ from the
// reference's slopes over delta by more than threshold, the key gets broken
// user tangents that follow the reference.
void KFCURVE_BreakTangentAt(int index, KFCurve* plotted, KFCurve* reference, KTime delta, double threshold);
void KFCURVE_BreakTangents(KFCurveNode* plotted, KFCurveNode* reference, KTime delta, double threshold);

// Fidelity increase: keys are inserted where the plotted curve strays from
// the reference by more than tolerance, tested at subdivisions of each span.
void KFCURVE_IncreaseFidelityAddKey(KTime time, double value, KFCurve* plotted, KFCurve* reference, bool breakTangents,
                                    KTime delta, double threshold);
void KFCURVE_IncreaseFidelityRecursive(KTime start, KTime stop, KFCurve* plotted, KFCurve* reference, double tolerance,
                                       int subdivisions, bool breakTangents, KTime delta, double threshold,
                                       bool propagate, KArrayTemplate<KFCurve*>* plottedSiblings,
                                       KArrayTemplate<KFCurve*>* referenceSiblings);
void KFCURVE_IncreaseFidelity(KFCurveNode* plotted, KFCurveNode* reference, double tolerance, int subdivisions,
                              bool breakTangents, KTime delta, double threshold, bool propagate,
                              KArrayTemplate<KFCurve*>* plottedSiblings, KArrayTemplate<KFCurve*>* referenceSiblings);

#endif
