#include "plugin/import/qoxzeltimportutility.h"

#include <cmath>
#include <cstdlib>

#include "plugin/qoxzeltutility.h"
#include "scene/attributes/kqoxcamera.h"

using namespace qoxsdk_600;

namespace {

const double kDegreesToRadians = 0.017453292519943295;
const double kInchesToMillimetres = 25.4;

// Truncation toward zero into [lo, hi]; NaN gives 0.
double Truncated(double value, double lo, double hi)
{
    if (std::isnan(value))
        return 0.0;
    if (value <= lo)
        return lo;
    if (value >= hi)
        return hi;
    return std::trunc(value);
}

} // namespace

QoxFOVToFocalLengthModifier::QoxFOVToFocalLengthModifier(KQoxCamera& camera)
    : mFilmWidth(camera.GetApertureWidth() * kInchesToMillimetres)
    , mFilmHeight(camera.GetApertureHeight() * kInchesToMillimetres)
    , mSqueezeRatio(camera.GetSqueezeRatio())
    , mApertureMode(static_cast<int32_t>(camera.GetApertureMode()))
{}

double QoxFOVToFocalLengthModifier::FocalLength(double fov) const
{
    if (fov == 0.0)
        return 0.0;
    const double aperture = mApertureMode == 2 ? mFilmHeight : mFilmWidth * mSqueezeRatio;
    return aperture / std::tan(fov * kDegreesToRadians * 0.5) * 0.5;
}

int QoxFOVToFocalLengthModifier::Modify(int value)
{
    return static_cast<int>(Truncated(FocalLength(value), -2147483648.0, 2147483647.0));
}

long QoxFOVToFocalLengthModifier::Modify(long value)
{
    const double fov = static_cast<double>(static_cast<int32_t>(value));
    return static_cast<long>(static_cast<int32_t>(Truncated(FocalLength(fov), -2147483648.0, 2147483647.0)));
}

unsigned int QoxFOVToFocalLengthModifier::Modify(unsigned int value)
{
    // The low 32 bits of the 64-bit truncation.
    const double wide = Truncated(FocalLength(value), -9223372036854775808.0, 9223372036854774784.0);
    return static_cast<unsigned int>(static_cast<uint64_t>(static_cast<int64_t>(wide)) & 0xffffffffu);
}

float QoxFOVToFocalLengthModifier::Modify(float value)
{
    return static_cast<float>(FocalLength(value));
}

double QoxFOVToFocalLengthModifier::Modify(double value)
{
    return FocalLength(value);
}

void QSortArrayTemplate(KArrayTemplate<int>& array)
{
    if (array.GetCount() > 0)
        std::qsort(array.GetArray(), static_cast<size_t>(array.GetCount()), sizeof(int), ArrayTemplateCompareFctU32);
}

bool BSearchArrayTemplate(KArrayTemplate<int>& array, int value)
{
    if (array.GetCount() == 0)
        return false;
    return std::bsearch(&value, array.GetArray(), static_cast<size_t>(array.GetCount()), sizeof(int),
                        ArrayTemplateCompareFctU32) != nullptr;
}
