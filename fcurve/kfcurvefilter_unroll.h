#ifndef QOX_FCURVE_KFCURVEFILTER_UNROLL_H
#define QOX_FCURVE_KFCURVEFILTER_UNROLL_H

// Unroll filter: makes the three Euler curves of a rotation node continuous.
// Each key's angle triple becomes the equivalent triple (same orientation in
// the node's rotation order) nearest to the previous key's, so that an angle
// running past 180 goes on to 181 instead of jumping to -179. The three
// curves come out key-synchronised. With the path test, a key whose triple
// path is a poor match for its real rotation does not become the reference
// for the next key.

#include "base/kmath_kernels.h"
#include "fcurve/kfcurvefilters.h"

class KFCurveFilterUnroll : public KFCurveFilter
{
public:
    enum
    {
        eNoKey = 0,
        eLeftUnchanged = 1,
        eNeedRotationCurveNode = 2,
        eUnexpected = 3
    };

    // Takes the global unroll quality and path-test settings.
    KFCurveFilterUnroll();
    ~KFCurveFilterUnroll() override;

    // An Euler rotation node (layer type 2) whose "X", "Y" and "Z" members
    // have curves; the recursive flag is not used.
    bool Apply(KFCurveNode& node, bool recursive) override;
    // Exactly three curves (X, Y, Z), through a temporary rotation node.
    bool Apply(KFCurve** curves, int count) override;
    // Refused: a single curve is no rotation (error 2).
    bool Apply(KFCurve& curve) override;
    // Copies the global settings again, then the range minus infinity to infinity.
    void Reset() override;

    void SetQualityTolerance(double tolerance);
    double GetQualityTolerance();
    void SetTestForPath(bool test);
    bool GetTestForPath();

    // The unrolling of a three-child Euler node over the filter's range.
    bool DoUnroll(KFCurveNode* node);
    // How well the straight path between two Euler XYZ triples (degrees)
    // follows the real rotation between them: the square of the rotation
    // angle over the squared triple distance (100 for equal triples).
    double InterpolationQualityFactor(KgeRVector& first, KgeRVector& second);

private:
    double mQualityTolerance;
    bool mTestForPath;
};

#endif
