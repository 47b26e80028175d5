// Whether a curve needs a weighted host curve.
#include "fcurve/kfcurve.h"
#include "plugin/import/qoxzeltdeformations.h"

bool HasWeightedTangent(KFCurve& curve)
{
    for (int i = 0; i < curve.KeyGetCount(); ++i)
        if (curve.KeyIsLeftTangeantWeighted(i) || curve.KeyIsRightTangeantWeighted(i))
            return true;
    return false;
}
