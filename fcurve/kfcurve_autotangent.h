#ifndef QOX_FCURVE_KFCURVE_AUTOTANGENT_H
#define QOX_FCURVE_KFCURVE_AUTOTANGENT_H

// Conversion between the auto value of a cubic key's tangent and its Bezier
// slope (value units per second).
//
// L ("to left") is the secant from the previous key to the key, R ("to
// right") the secant from the key to the next one. Auto 0 gives the mean of
// the two secants, 100 the secant on the tangent's own side, -100 the other
// one; beyond +-500 the slope bends further along a quadratic sweep. The
// "left" functions give the slope arriving at a key, the "right" ones the
// slope leaving it.

class KFCurve;

// The secants of key index (computed in single precision). The first key
// takes L = R, the last R = L; a curve of one key (or an index outside the
// curve) has both 0.
void KFCURVE_ComputeToLeftAndToRight(double& toLeft, double& toRight, KFCurve* curve, int index);

void KFCURVE_ComputeLeftBezierFromAuto(double& bezier, double& autoValue, double& toLeft, double& toRight);
void KFCURVE_ComputeRightBezierFromAuto(double& bezier, double& autoValue, double& toLeft, double& toRight);
void KFCURVE_ComputeBezierFromAuto(double& leftBezier, double& rightBezier, double& leftAuto, double& rightAuto,
                                   double& toLeft, double& toRight);

// Inverses of the forward conversions. A Bezier slope of magnitude below
// 1e-5 is first snapped to 0 in the caller's variable.
void KFCURVE_ComputeLeftAutoFromBezier(double& autoValue, double& bezier, double& toLeft, double& toRight);
void KFCURVE_ComputeRightAutoFromBezier(double& autoValue, double& bezier, double& toLeft, double& toRight);
void KFCURVE_ComputeAutoFromBezier(double& leftAuto, double& rightAuto, double& leftBezier, double& rightBezier,
                                   double& toLeft, double& toRight);

// The same with the secants of a key of a curve. A curve without keys gives
// Bezier outputs of 0 (ComputeAutoFromBezierForKey zeroes its Bezier
// arguments and leaves its auto outputs).
void KFCURVE_ComputeBezierFromAutoForKey(double& leftBezier, double& rightBezier, double& leftAuto, double& rightAuto,
                                         KFCurve* curve, int index);
void KFCURVE_ComputeAutoFromBezierForKey(double& leftAuto, double& rightAuto, double& leftBezier, double& rightBezier,
                                         KFCurve* curve, int index);
void KFCURVE_ComputeLeftBezierFromAutoForKey(double& bezier, double& autoValue, KFCurve* curve, int index);
void KFCURVE_ComputeRightBezierFromAutoForKey(double& bezier, double& autoValue, KFCurve* curve, int index);
void KFCURVE_ComputeLeftAutoFromBezierForKey(double& autoValue, double& bezier, KFCurve* curve, int index);
void KFCURVE_ComputeRightAutoFromBezierForKey(double& autoValue, double& bezier, KFCurve* curve, int index);

#endif
