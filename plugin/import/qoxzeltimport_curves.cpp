// Curve conversion of the import: SDK curves become host animation curves,
// key by key with their tangents, or resampled when the tangents cannot be
// carried over (TCB keys).

#include <cfloat>
#include <cmath>

#include "base/qoxlogfile.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurveutils.h"
#include "host/zglobal.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/qoxzeltdialogs.h"
#include "plugin/qoxzeltuserparams.h"
#include "plugin/qoxzeltutility.h"

namespace {

// Host tangent type codes used by the conversion.
const ZFnAnimCurve::TangentType kGlobal = ZFnAnimCurve::kTangentGlobal;   // 0, sampled keys
const ZFnAnimCurve::TangentType kFixed = ZFnAnimCurve::kTangentFixed;     // 1
const ZFnAnimCurve::TangentType kLinear = ZFnAnimCurve::kTangentLinear;   // 2
const ZFnAnimCurve::TangentType kSmooth = ZFnAnimCurve::kTangentSmooth;   // 4
const ZFnAnimCurve::TangentType kStep = ZFnAnimCurve::kTangentStep;       // 5
const ZFnAnimCurve::TangentType kClamped = ZFnAnimCurve::kTangentClamped; // 8

// Index of the TCB counter of KFCurveUtils::GetInterpolationAndTangeantCount.
const int kTcbCounter = 6;
// A side whose auto value is this follows the secant (linear).
const double kAutoLinear = 100.0;
// Weighted tangent length used when the side's span is empty.
const double kEmptySpanLength = 0.33;
// Most samples one resampled curve may take (a few days at 60 per second).
const double kMaxSamples = 1e7;
// Attach code on which a new host curve is made for the plug.
const int kNoCurve = ZStatus::kNotFound;

bool IsAutoLinear(float value)
{
    return std::fabs(static_cast<double>(value) - kAutoLinear) <= DBL_EPSILON;
}

double Seconds(const KTime& time)
{
    return time.GetSecondDouble();
}

ZStatus Failure()
{
    return ZStatus(ZStatus::kFailure);
}

// The resampling period of the import rate in ticks over [first, last]; 0
// when the rate gives no usable period (zero, negative, not finite, shorter
// than a tick) or so short a one that the span would take more than
// kMaxSamples samples.
KTime ResamplingPeriod(const KTime& first, const KTime& last)
{
    double rate = QoxZeltUserParams::Instance().GetResamplingRate(true);
    KTime period(0);
    if (std::isfinite(rate) && rate > 0.0 && std::isfinite(1.0 / rate))
        period.SetSecondDouble(1.0 / rate);
    if (period.Get() <= 0)
        return KTime(0);
    const double samples =
        (static_cast<double>(last.Get()) - static_cast<double>(first.Get())) / static_cast<double>(period.Get());
    return samples < kMaxSamples ? period : KTime(0);
}

} // namespace

bool IsDriven(ZPlug& plug)
{
    if (!QoxZeltUserParams::Instance().GetBoolParam(QoxZeltUserParams::kProtectDrivenKeys))
        return false;
    ZString command("setDrivenKeyframe -q -cd ");
    command += plug.name();
    ZStringArray result;
    ZGlobal::executeCommand(command, result, false, false);
    if (result.length() == 0)
        return false;
    return result[0] != "No drivers.";
}

bool HasWeightedTangent(KFCurve& curve)
{
    for (int i = 0; i < curve.KeyGetCount(); ++i)
        if (curve.KeyIsLeftTangeantWeighted(i) || curve.KeyIsRightTangeantWeighted(i))
            return true;
    return false;
}

ZStatus QoxZeltImport::SetZeltCurve(ZFnTransform& transform, const char* attribute, KFCurve& curve,
                                    ZFnAnimCurve::AnimCurveType type, double valueDivisor, double slopeFactor,
                                    ZStatus* status)
{
    ZPlug plug = transform.findPlug(attribute, status);
    if (!*status)
        return Failure();
    *status = SetZeltCurve(plug, curve, type, valueDivisor, slopeFactor);
    return *status;
}

ZStatus QoxZeltImport::SetZeltCurve(ZPlug& plug, KFCurve& curve, ZFnAnimCurve::AnimCurveType type, double valueDivisor,
                                    double slopeFactor)
{
    ZString plugName = plug.name();
    ZStatus status;
    ZFnAnimCurve hostCurve(plug, &status);
    int attach = status.statusCode();
    const bool keyless = curve.KeyGetCount() == 0;
    if (keyless)
        attach = kNoCurve;
    if (IsDriven(plug))
        return status;

    bool attached = false;
    if (attach == ZStatus::kSuccess)
        attached = true;
    else if (attach == kNoCurve)
    {
        if (!keyless)
        {
            hostCurve.create(plug, type, nullptr, &status);
            attached = !status.error();
        }
    }
    else
        return Failure();

    if (!attached)
    {
        // The host refused a curve: a locked plug is unlocked when the user
        // (or the batch setting) says so.
        bool locked = plug.isLocked(&status);
        if (!locked)
            return keyless ? status : Failure();
        KString message(plugName.asChar());
        message = message + ": this attribute is locked. Cannot transfer " + (keyless ? "data." : "animation data.");
        qoxzeltimport::LogLine(mLog.get(), message.ToChars());
        const bool showUI = qoxzeltimport::ShowUI();
        if (!showUI)
            mLockedAttributeAnswer =
                QoxZeltUserParams::Instance().GetBoolParam(QoxZeltUserParams::kSetLockedAttrib) ? 2 : 0;
        int answer = mLockedAttributeAnswer;
        if (mLockedAttributeAnswer == 1 && showUI)
        {
            KString text(plugName.asChar());
            text =
                text + ": this attribute is locked. Cannot transfer " +
                (keyless ? "data.\n\n" : "animation data.\n\n") +
                "NOTE: Clicking 'Unlock All' or 'Keep All Locked' will silence this dialog\n" +
                "      until the end of the import (the affected attributes will still be printed in the log file).\n";
            QoxZelt3ButtonDialog dialog;
            dialog.Title("QOX import Warning");
            dialog.Message(text);
            dialog.Button(0, " Unlock All ");
            dialog.Button(1, " Unlock ");
            dialog.Button(2, " Keep All Locked ");
            answer = dialog.Pop();
            // A dialog the host could not show keeps this plug locked and asks again next time.
            if (answer >= 0)
                mLockedAttributeAnswer = answer;
            else
                answer = 2;
        }
        if (answer >= 2)
            return status;
        ZStatus unlock = plug.setLocked(false);
        if (!unlock)
            return unlock;
        if (!keyless)
        {
            hostCurve.create(plug, type, nullptr, &status);
            attached = !status.error();
        }
        if (!attached)
        {
            ZStatus parentStatus;
            ZPlug parent = plug.parent(&parentStatus);
            if (!parentStatus || parent.isNull())
                return Failure();
            ZStatus parentUnlock = parent.setLocked(false);
            if (!parentUnlock || keyless)
                return parentUnlock;
            hostCurve.create(plug, type, nullptr, &status);
            if (!status)
                return Failure();
        }
    }

    if (keyless)
        return status;
    // A key the host refused is a failed transfer, whatever the attach said.
    ZStatus transfer = SetZeltCurve(hostCurve, curve, valueDivisor, slopeFactor, &status);
    return transfer ? status : transfer;
}

ZStatus QoxZeltImport::SetZeltCurve(ZFnAnimCurve& hostCurve, KFCurve& curve, double valueDivisor, double slopeFactor,
                                    ZStatus* attachStatus)
{
    if (curve.KeyGetCount() == 0)
    {
        if (attachStatus && attachStatus->error())
            return ZStatus();
        unsigned count = hostCurve.numKeys();
        for (unsigned i = 1; i < count; ++i)
            hostCurve.remove(0);
        if (hostCurve.numKeys() == 0)
            return ZStatus();
        hostCurve.setTime(0, ZTime(0.0, ZTime::kSeconds));
        hostCurve.setValue(0, curve.GetValue());
        return ZStatus();
    }

    for (int i = static_cast<int>(hostCurve.numKeys()) - 1; i >= 0; --i)
        hostCurve.remove(static_cast<unsigned>(i));

    int counts[7] = {0, 0, 0, 0, 0, 0, 0};
    KFCurveUtils::GetInterpolationAndTangeantCount(curve, counts);
    const KTime first = curve.KeyGetTime(0);
    const KTime last = curve.KeyGetTime(curve.KeyGetCount() - 1);
    const KTime period = ResamplingPeriod(first, last);
    if (counts[kTcbCounter] > 0 && period.Get() > 0)
    {
        // TCB tangents have no host form: sample the whole curve.
        for (KTime t = (first / period) * period; t < last + period; t += period)
        {
            ZStatus st;
            hostCurve.addKey(ZTime(Seconds(t), ZTime::kSeconds), curve.Evaluate(t) / valueDivisor, kGlobal, kGlobal,
                             nullptr, &st);
            if (!st)
                return Failure();
        }
        return ZStatus();
    }

    const bool weighted = HasWeightedTangent(curve);
    hostCurve.setIsWeighted(weighted);
    const double timeUnit = 1.0 / QoxZeltUtility::TimeUnitRatio();
    const float oneSecond = static_cast<float>(ZTime(1.0, ZTime::kSeconds).as(ZTime::uiUnit()));

    // One side's explicit tangent: slope d at the key, span of that side in seconds.
    auto tangent = [&](double d, double span, float weight, float& x, float& y) {
        if (!weighted)
        {
            double s = d * timeUnit / slopeFactor;
            double xd = 1.0 / std::sqrt(1.0 + s * s);
            x = static_cast<float>(xd);
            y = static_cast<float>(s * xd / valueDivisor);
            return;
        }
        double length = 3.0 * weight * span;
        if (length == 0.0)
            length = kEmptySpanLength;
        x = static_cast<float>(length) * oneSecond;
        y = static_cast<float>(d / slopeFactor * length / valueDivisor);
    };

    ZFnAnimCurve::TangentType inType = kGlobal, outType = kGlobal;
    for (int i = 0; i < curve.KeyGetCount(); ++i)
    {
        const int count = curve.KeyGetCount();
        KFCurveKey* key = curve.KeyGetPtr(i);
        const KTime time = key->GetTime();
        bool mayLock = true, explicitTangents = false;
        inType = outType;
        const bool leftLinear = IsAutoLinear(curve.KeyGetLeftAuto(i));
        const bool rightLinear = IsAutoLinear(curve.KeyGetRightAuto(i));
        switch (key->GetInterpolation())
        {
        case KFCURVE_INTERPOLATION_CONSTANT:
            inType = leftLinear ? kLinear : kSmooth;
            outType = kStep;
            break;
        case KFCURVE_INTERPOLATION_LINEAR:
            inType = leftLinear ? kLinear : kSmooth;
            outType = kLinear;
            explicitTangents = !leftLinear;
            break;
        case KFCURVE_INTERPOLATION_CUBIC:
            switch (key->GetTangeantMode())
            {
            case KFCURVE_TANGEANT_AUTO:
            case KFCURVE_TANGEANT_AUTO_BREAK: inType = outType = kSmooth; break;
            case KFCURVE_TANGEANT_USER:
                outType = kFixed;
                explicitTangents = true;
                break;
            case KFCURVE_GENERIC_BREAK:
            case KFCURVE_TANGEANT_BREAK:
                outType = kSmooth;
                explicitTangents = true;
                mayLock = false;
                break;
            default: break;
            }
            if (leftLinear)
                inType = kLinear;
            if (rightLinear)
                outType = kLinear;
            break;
        default: break;
        }
        const bool firstKey = i == 0, lastKey = i == count - 1;
        if (firstKey)
            inType = outType;
        else if (lastKey)
        {
            if (outType == kSmooth)
                inType = outType = kClamped;
            else
                outType = inType;
        }

        ZStatus st;
        unsigned index = hostCurve.addKey(ZTime(Seconds(time), ZTime::kSeconds), key->GetValue() / valueDivisor, inType,
                                          outType, nullptr, &st);
        if (!st)
            return Failure();
        const bool locked = (mayLock && inType == outType) || firstKey || lastKey;
        hostCurve.setTangentsLocked(index, false);
        if (explicitTangents)
        {
            if (weighted)
                hostCurve.setWeightsLocked(index, false);
            float x = 0, y = 0;
            double span = firstKey ? 0.0 : Seconds(time) - Seconds(curve.KeyGetTime(i - 1));
            tangent(curve.EvaluateLeftDerivative(time), span, curve.KeyGetLeftTangeantWeight(i), x, y);
            hostCurve.setTangent(index, x, y, true);
            span = lastKey ? 0.0 : Seconds(curve.KeyGetTime(i + 1)) - Seconds(time);
            tangent(curve.EvaluateRightDerivative(time), span, curve.KeyGetRightTangeantWeight(i), x, y);
            hostCurve.setTangent(index, x, y, false);
        }
        hostCurve.setTangentsLocked(index, locked);
    }
    return ZStatus();
}

int QoxZeltImport::GetInfinityType(int extrapolation) const
{
    switch (extrapolation)
    {
    case KFCURVE_EXTRAPOLATION_REPETITION: return ZFnAnimCurve::kCycle;
    case KFCURVE_EXTRAPOLATION_MIRROR_REPETITION: return ZFnAnimCurve::kCycleRelative;
    case KFCURVE_EXTRAPOLATION_KEEP_SLOPE: return ZFnAnimCurve::kLinear;
    default: return ZFnAnimCurve::kConstant;
    }
}

ZStatus QoxZeltImport::SetRotationZeltCurve(ZFnTransform& transform, KFCurve** curves,
                                            ZEulerRotation::RotationOrder order)
{
    static const char* const kAxes[3] = {"rotateX", "rotateY", "rotateZ"};
    ZPlug plugs[3];
    ZFnAnimCurve hostCurves[3];
    ZStatus statuses[3];
    for (int axis = 0; axis < 3; ++axis)
    {
        plugs[axis] = transform.findPlug(kAxes[axis], &statuses[axis]);
        hostCurves[axis] = ZFnAnimCurve(plugs[axis], &statuses[axis]);
    }

    bool any = false;
    KTime first(0), last(0);
    for (int axis = 0; axis < 3; ++axis)
    {
        int count = curves[axis]->KeyGetCount();
        if (count == 0)
            continue;
        KTime start = curves[axis]->KeyGetTime(0), stop = curves[axis]->KeyGetTime(count - 1);
        if (!any || start < first)
            first = start;
        if (!any || stop > last)
            last = stop;
        any = true;
    }
    // No rotation keys at all, or a rate without a usable period: the
    // existing host curves stay as they are.
    const KTime period = ResamplingPeriod(first, last);
    if (!any || period.Get() <= 0)
        return ZStatus();

    for (int axis = 0; axis < 3; ++axis)
    {
        if (statuses[axis].statusCode() == ZStatus::kSuccess)
        {
            unsigned count = hostCurves[axis].numKeys();
            for (unsigned i = 0; i < count; ++i)
                hostCurves[axis].remove(0);
        }
        else if (statuses[axis].statusCode() == kNoCurve)
            hostCurves[axis].create(plugs[axis], ZFnAnimCurve::kAnimCurveTA, nullptr, &statuses[axis]);
    }

    for (KTime t = first; t < last + period; t += period)
    {
        ZEulerRotation rotation(curves[0]->Evaluate(t) * 0.017453292519943295,
                                curves[1]->Evaluate(t) * 0.017453292519943295,
                                curves[2]->Evaluate(t) * 0.017453292519943295, ZEulerRotation::kXYZ);
        ZEulerRotation reordered = rotation.reorder(order);
        const double values[3] = {reordered.x, reordered.y, reordered.z};
        for (int axis = 0; axis < 3; ++axis)
            hostCurves[axis].addKey(ZTime(Seconds(t), ZTime::kSeconds), values[axis], kGlobal, kGlobal);
    }
    return ZStatus();
}
