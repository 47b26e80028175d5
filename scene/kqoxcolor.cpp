#include "scene/kqoxcolor.h"

namespace qoxsdk_600 {

namespace {
// Below 0 gives 0, above 1 gives 1; a value that is neither (a NaN) passes.
double ClampUnit(double pValue)
{
    if (pValue < 0.0)
        return 0.0;
    if (pValue > 1.0)
        return 1.0;
    return pValue;
}
} // namespace

KQoxColor::KQoxColor()
    : mRed(1.0)
    , mGreen(1.0)
    , mBlue(1.0)
    , mAlpha(1.0)
{}

KQoxColor::KQoxColor(double pRed, double pGreen, double pBlue, double pAlpha)
{
    Set(pRed, pGreen, pBlue, pAlpha);
}

KQoxColor::KQoxColor(const KQoxColor& pColor)
{
    Set(pColor.mRed, pColor.mGreen, pColor.mBlue, pColor.mAlpha);
}

void KQoxColor::Set(double pRed, double pGreen, double pBlue, double pAlpha)
{
    mRed = ClampUnit(pRed);
    mGreen = ClampUnit(pGreen);
    mBlue = ClampUnit(pBlue);
    mAlpha = ClampUnit(pAlpha);
}

bool KQoxColor::IsValid() const
{
    const double components[4] = {mRed, mGreen, mBlue, mAlpha};
    for (double c : components)
        if (!(c >= 0.0 && c <= 1.0))
            return false;
    return true;
}

KQoxColor& KQoxColor::operator=(const KQoxColor& pColor)
{
    Set(pColor.mRed, pColor.mGreen, pColor.mBlue, pColor.mAlpha);
    return *this;
}

bool KQoxColor::operator==(const KQoxColor& pColor) const
{
    return mRed == pColor.mRed && mGreen == pColor.mGreen && mBlue == pColor.mBlue && mAlpha == pColor.mAlpha;
}

bool KQoxColor::operator!=(const KQoxColor& pColor) const
{
    return !(*this == pColor);
}

} // namespace qoxsdk_600
