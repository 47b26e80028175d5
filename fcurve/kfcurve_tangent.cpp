// Tangents of a curve's keys: derivatives per interpolation and tangent
// mode, auto values, weights, velocities, Bezier handles and the tangent
// descriptions kept across edits.
//
// The right side of key i lives on key i (slot 0, slot 2 weight, slot 4
// velocity); its left side lives on key i-1 (slot 1, slot 3, slot 5).

#include "fcurve/kfcurve.h"

#include "fcurve/kfcurve_autotangent.h"
#include "fcurve/kfcurve_internal.h"
#include "fcurve/kfcurve_tcb4051.h"

using namespace kfcurve_detail;

namespace {

float Slot(const KFCurveKey& key, EKFCurveDataIndex slot)
{
    return key.GetDataDouble(slot);
}

// The flag and the data slot of a side's weight or velocity.
unsigned int SideFlag(bool left, bool weight)
{
    if (weight)
        return left ? KFCURVE_WEIGHTED_NEXT_LEFT : KFCURVE_WEIGHTED_RIGHT;
    return left ? KFCURVE_VELOCITY_NEXT_LEFT : KFCURVE_VELOCITY_RIGHT;
}

EKFCurveDataIndex SideSlot(bool left, bool weight)
{
    if (weight)
        return left ? KFCURVEKEY_NEXT_LEFT_WEIGHT : KFCURVEKEY_RIGHT_WEIGHT;
    return left ? KFCURVEKEY_NEXT_LEFT_VELOCITY : KFCURVEKEY_RIGHT_VELOCITY;
}

// Sets or clears one weight or velocity flag (each mode setter keeps to its
// own field, so only the matching one changes).
void SetSideFlag(KFCurveKey& key, unsigned int flag, bool on)
{
    key.SetTangeantWeightMode(on ? flag : 0, flag);
    key.SetTangeantVelocityMode(on ? flag : 0, flag);
}

// Slope of the straight line between two keys, per second.
double Slope(const KFCurveKey& from, const KFCurveKey& to)
{
    const double span = KTimeDifferenceSeconds(from.GetTime(), to.GetTime());
    if (span == 0.0)
        return 0.0;
    return (static_cast<double>(to.GetValue()) - from.GetValue()) / span;
}

} // namespace

// Left derivative of a TCB key at index, with tension, continuity and bias
// taken from params.
double KFCurve::TcbLeft(int index, const KFCurveKey& params)
{
    const double t = params.GetDataFloat(KFCURVEKEY_TCB_TENSION);
    const double c = params.GetDataFloat(KFCURVEKEY_TCB_CONTINUITY);
    const double b = params.GetDataFloat(KFCURVEKEY_TCB_BIAS);
    const double in = Slope(*Key(index - 1), *Key(index));
    if (index == mKeyCount - 1)
        return (1.0 - t) * (1.0 - c) * (1.0 + b) * in;
    const double out = Slope(*Key(index), *Key(index + 1));
    return (1.0 - t) / 2.0 * ((1.0 - c) * (1.0 + b) * in + (1.0 + c) * (1.0 - b) * out);
}

float KFCurve::KeyGetLeftDerivative(int index)
{
    if (index < 1)
        return (index == 0 && mKeyCount > 1) ? KeyGetRightDerivative(0) : 0.0f;
    if (index >= mKeyCount)
        return 0.0f;
    const KFCurveKey& p = *Key(index - 1);
    const KFCurveKey& k = *Key(index);
    const unsigned int pInterpolation = p.GetInterpolation();
    if (pInterpolation == KFCURVE_INTERPOLATION_LINEAR)
        return static_cast<float>(Slope(p, k));
    if (pInterpolation != KFCURVE_INTERPOLATION_CUBIC)
        return 0.0f;

    const unsigned int pMode = p.GetTangeantMode();
    const bool last = index == mKeyCount - 1;
    double autoValue = Slot(p, KFCURVEKEY_NEXT_LEFT_SLOPE);
    double result = 0.0;
    switch (k.GetInterpolation())
    {
    case KFCURVE_INTERPOLATION_CUBIC:
    {
        const unsigned int kMode = k.GetTangeantMode();
        if (IsAutoMode(kMode))
        {
            KFCURVE_ComputeLeftBezierFromAutoForKey(result, autoValue, this, index);
        }
        else if (kMode == KFCURVE_TANGEANT_TCB)
        {
            // The last key has no right side: there the left formula holds
            // whatever the evaluation mode.
            if (gsTCB4051EvalMode && !last)
                return KeyGetRightDerivative(index);
            result = TcbLeft(index, k);
        }
        else if (kMode == KFCURVE_TANGEANT_USER)
        {
            if (IsTcbMode(pMode))
                result = last ? 0.0 : Slot(k, KFCURVEKEY_RIGHT_SLOPE);
            else
                result = Slot(p, KFCURVEKEY_NEXT_LEFT_SLOPE);
        }
        else if (kMode == KFCURVE_TANGEANT_BREAK)
        {
            if (IsTcbMode(pMode))
                result = TcbLeft(index, p);
            else
                result = Slot(p, KFCURVEKEY_NEXT_LEFT_SLOPE);
        }
        break;
    }
    case KFCURVE_INTERPOLATION_CONSTANT:
    case KFCURVE_INTERPOLATION_LINEAR:
        if (IsUserMode(pMode))
        {
            result = Slot(p, KFCURVEKEY_NEXT_LEFT_SLOPE);
        }
        else if (IsAutoMode(pMode))
        {
            KFCURVE_ComputeLeftBezierFromAutoForKey(result, autoValue, this, index);
        }
        else if (IsTcbMode(pMode) && k.GetInterpolation() == KFCURVE_INTERPOLATION_LINEAR)
        {
            if (last)
                return 0.0f;
            return KeyGetRightDerivative(index);
        }
        break;
    default: break;
    }
    return static_cast<float>(result);
}

float KFCurve::KeyGetRightDerivative(int index)
{
    if (index < 0 || index >= mKeyCount)
        return 0.0f;
    if (index == mKeyCount - 1)
        return mKeyCount < 2 ? 0.0f : KeyGetLeftDerivative(index);
    const KFCurveKey& k = *Key(index);
    switch (k.GetInterpolation())
    {
    case KFCURVE_INTERPOLATION_LINEAR: return static_cast<float>(Slope(k, *Key(index + 1)));
    case KFCURVE_INTERPOLATION_CUBIC:
    {
        const unsigned int mode = k.GetTangeantMode();
        if (IsAutoMode(mode))
        {
            double autoValue = Slot(k, KFCURVEKEY_RIGHT_SLOPE);
            double result = 0.0;
            KFCURVE_ComputeRightBezierFromAutoForKey(result, autoValue, this, index);
            return static_cast<float>(result);
        }
        if (IsTcbMode(mode))
        {
            const double t = k.GetDataFloat(KFCURVEKEY_TCB_TENSION);
            const double c = k.GetDataFloat(KFCURVEKEY_TCB_CONTINUITY);
            const double b = k.GetDataFloat(KFCURVEKEY_TCB_BIAS);
            const double out = Slope(k, *Key(index + 1));
            if (index == 0)
                return static_cast<float>((1.0 - t) * (1.0 - c) * (1.0 - b) * out);
            const double in = Slope(*Key(index - 1), k);
            return static_cast<float>((1.0 - t) / 2.0 * ((1.0 + c) * (1.0 + b) * in + (1.0 - c) * (1.0 - b) * out));
        }
        if (IsUserMode(mode))
            return Slot(k, KFCURVEKEY_RIGHT_SLOPE);
        return 0.0f;
    }
    default: return 0.0f;
    }
}

void KFCurve::KeySetLeftDerivative(int index, float derivative)
{
    if (index <= 0 || index > mKeyCount)
        return;
    CandidateClear();
    KFCurveKey& p = *Key(index - 1);
    KFCurveKey* k = index < mKeyCount ? Key(index) : nullptr;
    switch (p.GetInterpolation())
    {
    case KFCURVE_INTERPOLATION_CONSTANT:
    case KFCURVE_INTERPOLATION_LINEAR: p.SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, derivative); break;
    case KFCURVE_INTERPOLATION_CUBIC:
    {
        const unsigned int pMode = p.GetTangeantMode();
        bool autoForm;
        if (IsAutoMode(pMode))
            autoForm = k != nullptr && !(IsCubic(*k) && (k->GetTangeantMode() & KFCURVE_TANGEANT_USER));
        else if (IsUserMode(pMode))
            autoForm = k != nullptr && IsCubic(*k) && !(k->GetTangeantMode() & KFCURVE_TANGEANT_USER);
        else
            break;
        if (autoForm)
        {
            double bezier = derivative;
            double autoValue = 0.0;
            KFCURVE_ComputeLeftAutoFromBezierForKey(autoValue, bezier, this, index);
            p.SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, static_cast<float>(autoValue));
        }
        else
        {
            p.SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, derivative);
        }
        break;
    }
    default: break;
    }
    // A plain user tangent stays continuous.
    if (k != nullptr && IsCubic(*k) && k->GetTangeantMode() == KFCURVE_TANGEANT_USER)
        KeySetRightDerivative(index, derivative);
    CallbackAddEvent(KFCURVEEVENT_KEY, index);
}

void KFCurve::KeySetRightDerivative(int index, float derivative)
{
    if (index < 0 || index >= mKeyCount - 1)
        return;
    CandidateClear();
    KFCurveKey& k = *Key(index);
    if (IsCubic(k))
    {
        const unsigned int mode = k.GetTangeantMode();
        if (IsAutoMode(mode))
        {
            double bezier = derivative;
            double autoValue = 0.0;
            KFCURVE_ComputeRightAutoFromBezierForKey(autoValue, bezier, this, index);
            k.SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, static_cast<float>(autoValue));
        }
        else if (IsUserMode(mode))
        {
            k.SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, derivative);
        }
    }
    CallbackAddEvent(KFCURVEEVENT_KEY, index);
}

void KFCurve::KeyIncLeftDerivative(int index, float delta)
{
    if (index <= 0 || index > mKeyCount)
        return;
    CandidateClear();
    KFCurveKey& p = *Key(index - 1);
    if (IsCubic(p) && IsUserMode(p.GetTangeantMode()))
        p.SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, p.GetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE) + delta);
    CallbackAddEvent(KFCURVEEVENT_KEY, index);
}

void KFCurve::KeyIncRightDerivative(int index, float delta)
{
    if (index < 0 || index >= mKeyCount - 1)
        return;
    CandidateClear();
    KFCurveKey& k = *Key(index);
    if (IsCubic(k) && IsUserMode(k.GetTangeantMode()))
        k.SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, k.GetDataDouble(KFCURVEKEY_RIGHT_SLOPE) + delta);
    CallbackAddEvent(KFCURVEEVENT_KEY, index);
}

void KFCurve::KeyMultDerivative(int index, float factor)
{
    if (!IsKey(index))
        return;
    const unsigned int mode = Key(index)->GetTangeantMode();
    if (!(mode & (KFCURVE_TANGEANT_USER | KFCURVE_GENERIC_BREAK)))
        return;
    const float right = KeyGetRightDerivative(index);
    const float left = KeyGetLeftDerivative(index);
    KeySetRightDerivative(index, right * factor);
    KeySetLeftDerivative(index, left * factor);
}

// ---------------------------------------------------------------------------
// Auto values

float KFCurve::KeyGetLeftAuto(int index)
{
    if (index < 0 || index >= mKeyCount)
        return 0.0f;
    const KFCurveKey& k = *Key(index);
    if (index == 0)
        return (IsCubic(k) && IsAutoMode(k.GetTangeantMode())) ? Slot(k, KFCURVEKEY_RIGHT_SLOPE) : 0.0f;
    const KFCurveKey& p = *Key(index - 1);
    if (p.GetInterpolation() == KFCURVE_INTERPOLATION_CONSTANT)
        return 0.0f;
    if (p.GetInterpolation() == KFCURVE_INTERPOLATION_LINEAR)
        return KFCURVE_AUTO_LINEAR;
    if (IsCubic(k) && IsAutoMode(k.GetTangeantMode()))
        return Slot(p, KFCURVEKEY_NEXT_LEFT_SLOPE);
    double bezier = KeyGetLeftDerivative(index);
    double autoValue = 0.0;
    KFCURVE_ComputeLeftAutoFromBezierForKey(autoValue, bezier, this, index);
    return static_cast<float>(autoValue);
}

float KFCurve::KeyGetRightAuto(int index)
{
    if (index < 0 || index >= mKeyCount)
        return 0.0f;
    const KFCurveKey& k = *Key(index);
    if (IsCubic(k) && IsAutoMode(k.GetTangeantMode()))
        return Slot(k, KFCURVEKEY_RIGHT_SLOPE);
    if (index < mKeyCount - 1)
    {
        double bezier = KeyGetRightDerivative(index);
        double autoValue = 0.0;
        KFCURVE_ComputeRightAutoFromBezierForKey(autoValue, bezier, this, index);
        return static_cast<float>(autoValue);
    }
    return 0.0f;
}

void KFCurve::KeySetLeftAuto(int index, float autoValue)
{
    if (index < 1 || index > mKeyCount)
        return;
    CandidateClear();
    KFCurveKey& p = *Key(index - 1);
    KFCurveKey* k = index < mKeyCount ? Key(index) : nullptr;
    const bool kCubicAuto = k != nullptr && IsCubic(*k) && (k->GetTangeantMode() & KFCURVE_TANGEANT_AUTO);
    switch (p.GetInterpolation())
    {
    case KFCURVE_INTERPOLATION_CONSTANT:
    case KFCURVE_INTERPOLATION_LINEAR: p.SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, autoValue); break;
    case KFCURVE_INTERPOLATION_CUBIC:
    {
        const unsigned int pMode = p.GetTangeantMode();
        bool bezierForm;
        if (IsAutoMode(pMode))
            bezierForm = k != nullptr && !kCubicAuto && IsCubic(*k);
        else if (IsUserMode(pMode))
            bezierForm = k != nullptr && !kCubicAuto;
        else
            break;
        if (bezierForm)
        {
            double a = autoValue;
            double bezier = 0.0;
            KFCURVE_ComputeLeftBezierFromAutoForKey(bezier, a, this, index);
            p.SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, static_cast<float>(bezier));
        }
        else
        {
            p.SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, autoValue);
        }
        break;
    }
    default: break;
    }
    if (k != nullptr && IsCubic(*k) && k->GetTangeantMode() == KFCURVE_TANGEANT_USER)
        KeySetRightAuto(index, autoValue);
    CallbackAddEvent(KFCURVEEVENT_KEY, index);
}

void KFCurve::KeySetRightAuto(int index, float autoValue)
{
    if (index < 0 || index >= mKeyCount)
        return;
    CandidateClear();
    KFCurveKey& k = *Key(index);
    if (IsCubic(k))
    {
        const unsigned int mode = k.GetTangeantMode();
        if (index < mKeyCount - 1)
        {
            if (IsUserMode(mode))
            {
                double a = autoValue;
                double bezier = 0.0;
                KFCURVE_ComputeRightBezierFromAutoForKey(bezier, a, this, index);
                k.SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, static_cast<float>(bezier));
            }
            else if (IsAutoMode(mode))
            {
                k.SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, autoValue);
            }
        }
        else if (IsAutoMode(mode))
        {
            k.SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, autoValue);
        }
    }
    CallbackAddEvent(KFCURVEEVENT_KEY, index);
}

// ---------------------------------------------------------------------------
// Weights and velocities

// The key holding a side's data: key index - 1 for the left side of key
// index, key index for its right side; none for a side the key lacks.
KFCurveKey* KFCurve::SideKey(int index, bool left) const
{
    if (left)
        return index >= 1 && index < mKeyCount ? Key(index - 1) : nullptr;
    return index >= 0 && index < mKeyCount - 1 ? Key(index) : nullptr;
}

// A right side counts as weighted (or with velocity) only on a cubic key
// whose tangent mode is one of 0xD00; a left side by its flag alone.
bool KFCurve::SideIsSet(int index, bool left, bool weight) const
{
    const KFCurveKey* k = SideKey(index, left);
    if (k == nullptr)
        return false;
    if (!left && !(IsCubic(*k) && (k->GetTangeantMode() & 0xD00) != 0))
        return false;
    return (k->GetFlags() & SideFlag(left, weight)) != 0;
}

float KFCurve::SideGet(int index, bool left, bool weight) const
{
    if (!SideIsSet(index, left, weight))
        return weight ? KFCURVE_DEFAULT_WEIGHT : 0.0f;
    return Slot(*SideKey(index, left), SideSlot(left, weight));
}

void KFCurve::SideSetMode(int index, bool left, bool weight, bool on)
{
    KFCurveKey* k = SideKey(index, left);
    if (k == nullptr || !IsCubic(*k))
        return;
    CandidateClear();
    SetSideFlag(*k, SideFlag(left, weight), on);
    CallbackAddEvent(KFCURVEEVENT_KEY, index);
}

// Only cubic keys store a weight or velocity; the event is sent either way.
void KFCurve::SideSet(int index, bool left, bool weight, float value)
{
    KFCurveKey* k = SideKey(index, left);
    if (k == nullptr)
        return;
    CandidateClear();
    if (IsCubic(*k))
    {
        SetSideFlag(*k, SideFlag(left, weight), true);
        k->SetDataDouble(SideSlot(left, weight), value);
    }
    CallbackAddEvent(KFCURVEEVENT_KEY, index);
}

void KFCurve::SideSetWeightAndVelocity(int index, bool left, const KFCurveTangeantInfo& info)
{
    SideSet(index, left, true, info.mWeight);
    SideSetMode(index, left, true, info.mWeighted);
    SideSet(index, left, false, info.mVelocity);
    SideSetMode(index, left, false, info.mHasVelocity);
}

bool KFCurve::KeyIsLeftTangeantWeighted(int index) const
{
    return SideIsSet(index, true, true);
}

bool KFCurve::KeyIsRightTangeantWeighted(int index) const
{
    return SideIsSet(index, false, true);
}

void KFCurve::KeySetLeftTangeantWeightedMode(int index, bool weighted)
{
    SideSetMode(index, true, true, weighted);
}

void KFCurve::KeySetRightTangeantWeightedMode(int index, bool weighted)
{
    SideSetMode(index, false, true, weighted);
}

float KFCurve::KeyGetLeftTangeantWeight(int index) const
{
    return SideGet(index, true, true);
}

float KFCurve::KeyGetRightTangeantWeight(int index) const
{
    return SideGet(index, false, true);
}

void KFCurve::KeySetLeftTangeantWeight(int index, float weight)
{
    SideSet(index, true, true, weight);
}

void KFCurve::KeySetRightTangeantWeight(int index, float weight)
{
    SideSet(index, false, true, weight);
}

bool KFCurve::KeyIsLeftTangeantVelocity(int index) const
{
    return SideIsSet(index, true, false);
}

bool KFCurve::KeyIsRightTangeantVelocity(int index) const
{
    return SideIsSet(index, false, false);
}

void KFCurve::KeySetLeftTangeantVelocityMode(int index, bool velocity)
{
    SideSetMode(index, true, false, velocity);
}

void KFCurve::KeySetRightTangeantVelocityMode(int index, bool velocity)
{
    SideSetMode(index, false, false, velocity);
}

float KFCurve::KeyGetLeftTangeantVelocity(int index) const
{
    return SideGet(index, true, false);
}

float KFCurve::KeyGetRightTangeantVelocity(int index) const
{
    return SideGet(index, false, false);
}

void KFCurve::KeySetLeftTangeantVelocity(int index, float velocity)
{
    SideSet(index, true, false, velocity);
}

void KFCurve::KeySetRightTangeantVelocity(int index, float velocity)
{
    SideSet(index, false, false, velocity);
}

// ---------------------------------------------------------------------------
// Tangent descriptions

KFCurveTangeantInfo KFCurve::KeyGetLeftDerivativeInfo(int index)
{
    KFCurveTangeantInfo info;
    info.mDerivative = KeyGetLeftDerivative(index);
    info.mWeight = KeyGetLeftTangeantWeight(index);
    info.mWeighted = KeyIsLeftTangeantWeighted(index);
    info.mVelocity = KeyGetLeftTangeantVelocity(index);
    info.mHasVelocity = KeyIsLeftTangeantVelocity(index);
    info.mAuto = KeyGetLeftAuto(index);
    return info;
}

KFCurveTangeantInfo KFCurve::KeyGetRightDerivativeInfo(int index)
{
    KFCurveTangeantInfo info;
    info.mDerivative = KeyGetRightDerivative(index);
    info.mWeight = KeyGetRightTangeantWeight(index);
    info.mWeighted = KeyIsRightTangeantWeighted(index);
    info.mVelocity = KeyGetRightTangeantVelocity(index);
    info.mHasVelocity = KeyIsRightTangeantVelocity(index);
    info.mAuto = KeyGetRightAuto(index);
    return info;
}

void KFCurve::KeySetLeftDerivativeInfo(int index, KFCurveTangeantInfo info)
{
    if (index < 1 || index >= mKeyCount)
        return;
    SideSetWeightAndVelocity(index, true, info);
    const KFCurveKey& k = *Key(index);
    const KFCurveKey& p = *Key(index - 1);
    const bool autoSide = IsCubic(k) ? (k.GetTangeantMode() & KFCURVE_TANGEANT_AUTO) != 0
                                     : (IsCubic(p) && (p.GetTangeantMode() & KFCURVE_TANGEANT_AUTO) != 0);
    if (autoSide)
        KeySetLeftAuto(index, info.mAuto);
    else
        KeySetLeftDerivative(index, info.mDerivative);
}

void KFCurve::KeySetRightDerivativeInfo(int index, KFCurveTangeantInfo info)
{
    if (index < 0 || index >= mKeyCount)
        return;
    KFCurveKey& k = *Key(index);
    const bool autoKey = IsCubic(k) && (k.GetTangeantMode() & KFCURVE_TANGEANT_AUTO) != 0;
    if (index == mKeyCount - 1)
    {
        if (autoKey)
            k.SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, info.mAuto);
        return;
    }
    SideSetWeightAndVelocity(index, false, info);
    if (autoKey)
        KeySetRightAuto(index, info.mAuto);
    else
        KeySetRightDerivative(index, info.mDerivative);
}

// Applies a description by its slope: weights and velocities as given, and
// the derivative stored in whatever form the key's side needs, so that the
// tangent keeps its slope even where its secants changed.
void KFCurve::ApplyLeftSlope(int index, const KFCurveTangeantInfo& info)
{
    if (index < 1 || index >= mKeyCount)
        return;
    SideSetWeightAndVelocity(index, true, info);
    KeySetLeftDerivative(index, info.mDerivative);
}

void KFCurve::ApplyRightSlope(int index, const KFCurveTangeantInfo& info)
{
    if (index < 0 || index >= mKeyCount - 1)
        return;
    SideSetWeightAndVelocity(index, false, info);
    KeySetRightDerivative(index, info.mDerivative);
}

// ---------------------------------------------------------------------------
// Bezier handles

float KFCurve::KeyGetRightBezierTangeant(int index)
{
    if (mKeyCount == 0 || index < 0)
        return 0.0f;
    if (mKeyCount == 1)
        return Key(0)->GetValue();
    if (index >= mKeyCount - 1)
        return Key(mKeyCount - 1)->GetValue();
    const KFCurveKey& k = *Key(index);
    switch (k.GetInterpolation())
    {
    case KFCURVE_INTERPOLATION_CONSTANT: return k.GetValue();
    case KFCURVE_INTERPOLATION_LINEAR:
    case KFCURVE_INTERPOLATION_CUBIC:
    {
        const double span = KTimeDifferenceSeconds(k.GetTime(), Key(index + 1)->GetTime());
        return static_cast<float>(k.GetValue() + KeyGetRightDerivative(index) * span / 3.0);
    }
    default: return 0.0f;
    }
}

float KFCurve::KeyGetLeftBezierTangeant(int index)
{
    if (mKeyCount == 0 || index < 0 || index >= mKeyCount)
        return 0.0f;
    if (mKeyCount == 1 || index == 0)
        return Key(0)->GetValue();
    const KFCurveKey& k = *Key(index);
    switch (Key(index - 1)->GetInterpolation())
    {
    case KFCURVE_INTERPOLATION_CONSTANT: return k.GetValue();
    case KFCURVE_INTERPOLATION_LINEAR:
    case KFCURVE_INTERPOLATION_CUBIC:
    {
        const double span = KTimeDifferenceSeconds(Key(index - 1)->GetTime(), k.GetTime());
        return static_cast<float>(k.GetValue() - KeyGetLeftDerivative(index) * span / 3.0);
    }
    default: return 0.0f;
    }
}

void KFCurve::KeySetRightBezierTangeant(int index, float handle)
{
    if (index < 0 || index >= mKeyCount - 1)
        return;
    const double span = KTimeDifferenceSeconds(Key(index)->GetTime(), Key(index + 1)->GetTime());
    if (span == 0.0)
        return;
    KeySetRightDerivative(index, static_cast<float>(3.0 * (handle - Key(index)->GetValue()) / span));
}

void KFCurve::KeySetLeftBezierTangeant(int index, float handle)
{
    if (index < 1 || index >= mKeyCount)
        return;
    const double span = KTimeDifferenceSeconds(Key(index - 1)->GetTime(), Key(index)->GetTime());
    if (span == 0.0)
        return;
    KeySetLeftDerivative(index, static_cast<float>(3.0 * (Key(index)->GetValue() - handle) / span));
}

// ---------------------------------------------------------------------------
// Inserting another curve

void KFCurve::Insert(KFCurve* source, KTime time, float derivative, bool weighted, float weight)
{
    KFCurveTangeantInfo info;
    info.mDerivative = derivative;
    info.mWeighted = weighted;
    info.mWeight = weight;
    Insert(source, time, info);
}

void KFCurve::Insert(KFCurve* source, KTime time, KFCurveTangeantInfo info)
{
    if (source == nullptr || source->mKeyCount == 0)
        return;
    if (source == this)
    {
        // Work from a copy so that the keys read are not the keys written.
        KFCurve copy;
        copy.CopyFrom(*this, true);
        Insert(&copy, time, info);
        return;
    }
    const int n = source->mKeyCount;
    const KTime offset = time - source->Key(0)->GetTime();

    if (mKeyCount > 0 && time > Key(mKeyCount - 1)->GetTime())
    {
        const int old = mKeyCount;
        KeyModifyBegin(old + n);
        if (AllocatedKeys() < old + n)
        {
            KeyModifyEnd();
            return;
        }
        for (int j = 0; j < n; ++j)
        {
            KFCurveKey* key = Key(old + j);
            *key = *source->Key(j);
            key->SetTime(key->GetTime() + offset);
        }
        mKeyCount = old + n;
        KeySetLeftDerivativeInfo(old, info);
        KeyModifyEnd(old + n);
        CandidateClear();
        CallbackAddEvent(KFCURVEEVENT_KEY, -1);
        return;
    }

    KeyModifyBegin(mKeyCount + n);
    for (int j = 0; j < n; ++j)
    {
        KFCurveKey key = *source->Key(j);
        const int index = KeyAdd(key.GetTime() + offset, key);
        if (index < 0)
            continue;
        if (index > 0)
        {
            // The new key now holds the incoming tangent of the key after it.
            const KFCurveKey& previous = *Key(index - 1);
            KFCurveKey& added = *Key(index);
            added.SetDataFloat(KFCURVEKEY_NEXT_LEFT_SLOPE, previous.GetDataFloat(KFCURVEKEY_NEXT_LEFT_SLOPE));
            added.SetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT, previous.GetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT));
            added.SetTangeantWeightMode(previous.GetTangeantWeightMode(), KFCURVE_WEIGHTED_NEXT_LEFT);
        }
        if (j > 0)
        {
            const KFCurveKey& sourcePrevious = *source->Key(j - 1);
            KeySetLeftTangeantWeight(index, sourcePrevious.GetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT));
            KeySetLeftTangeantWeightedMode(index,
                                           (sourcePrevious.GetTangeantWeightMode() & KFCURVE_WEIGHTED_NEXT_LEFT) != 0);
            KeySetLeftDerivativeInfo(index, source->KeyGetLeftDerivativeInfo(j));
        }
        else
        {
            KeySetLeftDerivativeInfo(index, info);
        }
    }
    KeyModifyEnd();
    CandidateClear();
    CallbackAddEvent(KFCURVEEVENT_KEY, -1);
}
