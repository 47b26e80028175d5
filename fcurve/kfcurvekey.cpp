// The key record: flag word fields and the data-area slots.

#include "fcurve/kfcurve.h"

#include <cstring>

static_assert(sizeof(KFCurveKey) == 32, "a key is a 32-byte record");

namespace {

short ReadShort(const float* data, int slot)
{
    short s;
    std::memcpy(&s, reinterpret_cast<const char*>(data) + 8 + 2 * (slot - 2), sizeof s);
    return s;
}

void WriteShort(float* data, int slot, short s)
{
    std::memcpy(reinterpret_cast<char*>(data) + 8 + 2 * (slot - 2), &s, sizeof s);
}

// value x 9999 truncated toward zero. A value read back from a slot (the
// fixed-point value / 9999, rounded to float) can fall a hair short of its
// grid point; the small push away from zero stores it to the same point
// again instead of one step lower, so weights do not creep on every edit.
double FixedPoint(float value)
{
    double fixed = value * 9999.0;
    if (fixed != fixed)
        return 0.0;
    fixed += fixed < 0.0 ? -0.005 : 0.005;
    if (fixed > 32767.0)
        fixed = 32767.0;
    if (fixed < -32768.0)
        fixed = -32768.0;
    return fixed;
}

} // namespace

void KFCurveKey::Set(KTime time, float value, unsigned int interpolation, unsigned int tangentMode, float data0,
                     float data1, unsigned int weightMode, float weight2, float weight3, float velocity4,
                     float velocity5)
{
    SetTime(time);
    SetValue(value);
    SetInterpolation(interpolation);
    SetTangeantMode(tangentMode);
    SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, data0);
    SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, data1);
    SetTangeantWeightMode(weightMode, KFCURVE_WEIGHTED_ALL);
    SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, weight2);
    SetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT, weight3);
    SetDataDouble(KFCURVEKEY_RIGHT_VELOCITY, velocity4);
    SetDataDouble(KFCURVEKEY_NEXT_LEFT_VELOCITY, velocity5);
    SetTangeantVisibility(KFCURVE_TANGEANT_SHOW_NONE);
}

void KFCurveKey::SetTCB(KTime time, float value, float tension, float continuity, float bias)
{
    SetTime(time);
    SetValue(value);
    SetInterpolation(KFCURVE_INTERPOLATION_CUBIC);
    SetTangeantMode(KFCURVE_TANGEANT_TCB);
    SetDataFloat(KFCURVEKEY_TCB_TENSION, tension);
    SetDataFloat(KFCURVEKEY_TCB_CONTINUITY, continuity);
    SetDataFloat(KFCURVEKEY_TCB_BIAS, bias);
    SetTangeantVisibility(KFCURVE_TANGEANT_SHOW_NONE);
}

void KFCurveKey::SetInterpolation(unsigned int interpolation)
{
    if ((interpolation & KFCURVE_INTERPOLATION_ALL) == KFCURVE_INTERPOLATION_CUBIC &&
        GetInterpolation() != KFCURVE_INTERPOLATION_CUBIC)
    {
        SetTangeantWeightMode(KFCURVE_WEIGHTED_NONE, KFCURVE_WEIGHTED_ALL);
        SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, KFCURVE_DEFAULT_WEIGHT);
        SetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT, KFCURVE_DEFAULT_WEIGHT);
        SetTangeantVelocityMode(KFCURVE_VELOCITY_NONE, KFCURVE_VELOCITY_ALL);
        SetDataDouble(KFCURVEKEY_RIGHT_VELOCITY, 0.0f);
        SetDataDouble(KFCURVEKEY_NEXT_LEFT_VELOCITY, 0.0f);
    }
    SetBits(KFCURVE_INTERPOLATION_ALL, interpolation);
}

float KFCurveKey::GetDataDouble(EKFCurveDataIndex slot) const
{
    const int s = static_cast<int>(slot);
    if (s == 0 || s == 1)
        return mData[s];
    if (s >= 2 && s <= 5)
        return static_cast<float>(ReadShort(mData, s) / 9999.0);
    return 0.0f;
}

void KFCurveKey::SetDataDouble(EKFCurveDataIndex slot, float value)
{
    const int s = static_cast<int>(slot);
    if (s == 0 || s == 1)
    {
        mData[s] = value;
        return;
    }
    if (s == 2 || s == 3)
    {
        if (value > KFCURVE_MAX_WEIGHT)
            value = KFCURVE_MAX_WEIGHT;
        if (!(value >= KFCURVE_MIN_WEIGHT)) // also catches NaN
            value = KFCURVE_MIN_WEIGHT;
        WriteShort(mData, s, static_cast<short>(FixedPoint(value)));
        return;
    }
    if (s == 4 || s == 5)
    {
        // A velocity beyond the 16-bit range is held at the range's end
        // instead of wrapping.
        WriteShort(mData, s, static_cast<short>(FixedPoint(value)));
    }
}

float KFCurveKey::GetDataFloat(EKFCurveDataIndex slot) const
{
    const int s = static_cast<int>(slot);
    return (s >= 0 && s <= 3) ? mData[s] : 0.0f;
}

void KFCurveKey::SetDataFloat(EKFCurveDataIndex slot, float value)
{
    const int s = static_cast<int>(slot);
    if (s >= 0 && s <= 3)
        mData[s] = value;
}

void KFCurveKey::MultTangeant(float factor)
{
    const unsigned int mode = GetTangeantMode();
    if (GetInterpolation() == KFCURVE_INTERPOLATION_CUBIC &&
        (mode == KFCURVE_TANGEANT_USER || mode == KFCURVE_TANGEANT_BREAK))
    {
        SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, GetDataDouble(KFCURVEKEY_RIGHT_SLOPE) * factor);
        SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, GetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE) * factor);
    }
}
