#include "fcurve/kfcurvefilters.h"

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurvenode_internal.h"

#include <algorithm>
#include <cmath>

namespace {

const char* const kGimbleKillerMessages[] = {"No key", "Left unchanged", "Not 3 curve", "Not rotation node"};

const char* const kAxisNames[3] = {"X", "Y", "Z"};

// Largest squared angle change (degrees squared) of one step, and the
// shortest step that is still split (1/1200 s).
const double kMaxStepDistance = 75.0;
const double kMinSplitSeconds = 0.00083333333;

double Distance(const double* a, const double* b)
{
    double sum = 0.0;
    for (int i = 0; i < 3; ++i)
        sum += (a[i] - b[i]) * (a[i] - b[i]);
    return sum;
}

// The angles of one rotation order made continuous with a reference.
struct Continuity
{
    KSSRotationOrder order;
    const int* axes; // null for the spherical order: no continuity step

    void Continuous(double* out, const double* angles, const double* reference) const
    {
        if (axes)
            KVNGetContinuousRotation(out, angles, reference, axes);
        else
            std::copy(angles, angles + 3, out);
    }
};

// Appends a cubic auto key (the kind of the keys added inside a step).
void AppendAutoKey(KFCurve& curve, KTime time, double value)
{
    KFCurveKey key{};
    key.Set(time, static_cast<float>(value), KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, 0.0f, 0.0f,
            KFCURVE_WEIGHTED_NONE, KFCURVE_DEFAULT_WEIGHT, KFCURVE_DEFAULT_WEIGHT, 0.0f, 0.0f);
    int hint = curve.KeyGetCount() - 1;
    curve.KeyAdd(time, key, &hint);
}

// Appends a copy of the source's key at time with a new value; a source
// without a key exactly there (curves left unsynchronised) gives a cubic
// auto key.
void AppendInputKey(KFCurve& curve, KFCurve& source, KTime time, double value, int& sourceHint)
{
    const double position = source.KeyFind(time, &sourceHint);
    const int index = static_cast<int>(position);
    if (position < 0.0 || position != static_cast<double>(index))
    {
        AppendAutoKey(curve, time, value);
        return;
    }
    int hint = curve.KeyGetCount() - 1;
    const int added = curve.KeyAdd(time, &source, index, &hint);
    curve.KeySetValue(added, static_cast<float>(value));
}

} // namespace

KFCurveFilterGimbleKiller::KFCurveFilterGimbleKiller()
    : KFCurveFilter("Gimble Killer", kGimbleKillerMessages, 4)
{
    Reset();
}

KFCurveFilterGimbleKiller::~KFCurveFilterGimbleKiller() {}

void KFCurveFilterGimbleKiller::Reset()
{
    mApplyKeySync = true;
    KFCurveFilter::Reset();
}

bool KFCurveFilterGimbleKiller::Apply(KFCurve&)
{
    mError.SetLastErrorID(2);
    return false;
}

bool KFCurveFilterGimbleKiller::Apply(KFCurve** curves, int count)
{
    if (count != 3)
    {
        mError.SetLastError(2, "Need 3 KFCurve to apply a gimble killer filter.");
        return false;
    }
    kfcurvenode_detail::BorrowedRotation rotation(curves);
    return Apply(rotation.Node(), true);
}

bool KFCurveFilterGimbleKiller::Apply(KFCurveNode& node, bool)
{
    if (node.GetCount() != 3)
    {
        mError.SetLastError(2, "Gimble Killer. ioCurveNode does not have 3 childs.");
        return false;
    }
    if (node.GetLayerType() != KFCL_EULER_XYZ)
    {
        mError.SetLastError(3, "Gimble Killer. Not a Rotation node!");
        return false;
    }
    KFCurve* curves[3];
    for (int i = 0; i < 3; ++i)
    {
        KFCurveNode* child = node.FindRecursive(kAxisNames[i]);
        curves[i] = child ? child->FCurveGet() : nullptr;
        if (!curves[i])
        {
            mError.SetLastError(2, "Gimble Killer. ioCurveNode does not have 3 childs.");
            return false;
        }
    }
    KFCurve& x = *curves[0];
    if (x.KeyGetCount() == 0)
    {
        mError.SetLastErrorID(0);
        return false;
    }

    if (mApplyKeySync)
    {
        KFCurveFilterKeySync sync;
        if (sync.NeedApply(curves, 3))
        {
            sync.SetStartTime(mStart);
            sync.SetStopTime(mStop);
            sync.Apply(curves, 3);
        }
    }

    int orderCode = node.GetRotationOrder();
    if (orderCode < 0 || orderCode > KSSRotationOrder::eSphericXYZ)
        orderCode = 0;
    Continuity continuity{KSSRotationOrder(orderCode),
                          orderCode == KSSRotationOrder::eSphericXYZ ? nullptr : KmEulerAxis[orderCode]};

    kfcurvenode_detail::Destroyed<KFCurve> results[3];
    for (int i = 0; i < 3; ++i)
    {
        results[i].reset(KFCurveCreate());
        results[i]->CopyFrom(*curves[i], false);
    }

    const int startKey = GetStartKey(x);
    const int stopKey = GetStopKey(x);
    int sourceHints[3] = {startKey, startKey, startKey};
    int evaluateHints[3] = {startKey, startKey, startKey};

    KTime t0 = x.KeyGetTime(startKey);
    double reference[3];
    for (int i = 0; i < 3; ++i)
    {
        reference[i] = curves[i]->Evaluate(t0, &evaluateHints[i]);
        AppendInputKey(*results[i], *curves[i], t0, reference[i], sourceHints[i]);
    }

    for (int k = startKey + 1; k < stopKey; ++k)
    {
        const KTime t1 = x.KeyGetTime(k);
        double input[3];
        for (int i = 0; i < 3; ++i)
            input[i] = curves[i]->Evaluate(t1, &evaluateHints[i]);

        // The input rotation, and its angles as the rotation order gives them back.
        KgeRMatrix target;
        continuity.order.V2M(target, input);
        double converted[3];
        continuity.order.M2V(converted, target);

        double angles[3];
        continuity.Continuous(angles, converted, reference);
        int added = 0;
        for (;;)
        {
            const double fullSeconds = KTimeDifferenceSeconds(t0, t1);
            if (!(Distance(angles, reference) > kMaxStepDistance && fullSeconds >= kMinSplitSeconds) ||
                added >= eMaxKeysPerStep)
                break;

            // A point inside the step: the rotation part way from the reference
            // to the target, halved until the step is small enough.
            KgeRMatrix referenceMatrix;
            continuity.order.V2M(referenceMatrix, reference);
            KgeRMatrix relative;
            KmRiR(relative, referenceMatrix, target);
            double q[4];
            KmRtoQ(q, relative);

            double fraction = 0.5;
            double point[3];
            for (;;)
            {
                const double blend[4] = {fraction * q[0], fraction * q[1], fraction * q[2],
                                         (1.0 - fraction) + fraction * q[3]};
                KgeRMatrix partial;
                KmQtoR(partial, blend);
                KgeRMatrix pointMatrix = referenceMatrix;
                KmRR(pointMatrix, referenceMatrix, partial);
                double pointAngles[3];
                continuity.order.M2V(pointAngles, pointMatrix);
                continuity.Continuous(point, pointAngles, reference);
                if (Distance(point, reference) > kMaxStepDistance && fraction * fullSeconds >= kMinSplitSeconds)
                    fraction *= 0.5;
                else
                    break;
            }

            const double span = static_cast<double>(t1.Get()) - static_cast<double>(t0.Get());
            const KTime time(t0.Get() + static_cast<long long>(fraction * span));
            for (int i = 0; i < 3; ++i)
            {
                AppendAutoKey(*results[i], time, point[i]);
                reference[i] = point[i];
            }
            t0 = time;
            ++added;
            continuity.Continuous(angles, converted, reference);
        }

        for (int i = 0; i < 3; ++i)
        {
            AppendInputKey(*results[i], *curves[i], t1, angles[i], sourceHints[i]);
            reference[i] = angles[i];
        }
        t0 = t1;
    }

    kfcurvenode_detail::Destroyed<KFCurveNode> clone(node.CloneTemplate(false, false, false, -1));
    for (int i = 0; i < 3; ++i)
        if (KFCurveNode* child = clone->FindRecursive(kAxisNames[i]))
            child->FCurveSet(results[i].release(), true);
    node.Replace(clone.get(), mStart, mStop, false, true);
    return true;
}
