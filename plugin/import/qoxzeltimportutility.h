#ifndef QOX_PLUGIN_IMPORT_QOXZELTIMPORTUTILITY_H
#define QOX_PLUGIN_IMPORT_QOXZELTIMPORTUTILITY_H

// Small helpers of the import: the field-of-view to focal-length modifier of
// the camera curves, and the unsigned sort and search of integer index
// arrays. (The rotation kernels live in base/kmath_kernels.h.)

#include <cstdint>

#include "base/karray.h"
#include "plugin/export/qoxmodifier.h"

namespace qoxsdk_600 {
class KQoxCamera;
}

// Turns a field of view (degrees) into a focal length (millimetres) for the
// camera's film: the vertical aperture in mode 2, else the horizontal one
// times the squeeze ratio. A field of view of 0 gives 0. The integer forms
// truncate toward zero; results beyond an integer type's range (a field of
// view near 0 or NaN from odd apertures) are clamped to it, NaN to 0.
class QoxFOVToFocalLengthModifier : public QoxModifier
{
public:
    QoxFOVToFocalLengthModifier() = default;
    // Film size from the camera's aperture (inches, times 25.4), its squeeze
    // ratio and aperture mode.
    explicit QoxFOVToFocalLengthModifier(qoxsdk_600::KQoxCamera& camera);

    int Modify(int value) override;
    long Modify(long value) override;
    unsigned int Modify(unsigned int value) override;
    float Modify(float value) override;
    double Modify(double value) override;

    double mFilmWidth = 0.0;  // millimetres
    double mFilmHeight = 0.0; // millimetres
    double mSqueezeRatio = 1.0;
    int32_t mApertureMode = 0; // 0 horizontal & vertical, 1 horizontal, 2 vertical

private:
    double FocalLength(double fov) const;
};

// Sorts the items in ascending unsigned order (negative values last).
void QSortArrayTemplate(KArrayTemplate<int>& array);
// Whether an item equals the value; the array must be in the order above.
bool BSearchArrayTemplate(KArrayTemplate<int>& array, int value);

#endif
