// Conversion between auto values and Bezier slopes of cubic tangents.

#include "fcurve/kfcurve_autotangent.h"

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurve_internal.h"

#include <cmath>

namespace {

double Sweep(double x, double s)
{
    return x * x * s;
}

double DMid(double a, double p, double q)
{
    return 0.5 * ((100.0 + a) / 100.0 * p + (100.0 - a) / 100.0 * q);
}

double DLeft(double a, double p, double q)
{
    return DMid(a, p, q) + Sweep((a - 500.0) / 500.0, p > q ? 1000.0 : -1000.0);
}

double DRight(double a, double p, double q)
{
    return DMid(a, p, q) + Sweep((a + 500.0) / -500.0, p > q ? -1000.0 : 1000.0);
}

double DLeft2(double a, double p, double q)
{
    return DMid(a, p, q) + Sweep((a - 500.0) / 500.0, p >= q ? 1000.0 : -1000.0);
}

double DRight2(double a, double p, double q)
{
    return DMid(a, p, q) + Sweep((a + 500.0) / -500.0, p >= q ? -1000.0 : 1000.0);
}

void Snap(double& x)
{
    if (std::fabs(x) < 1e-05)
        x = 0.0;
}

// Root of k a^2 + m a + c = 0: the larger one for the upper band, the
// smaller for the lower. A slope inside an outer band always has a root; a
// discriminant pushed below 0 by rounding is taken as 0.
double SolveBand(double k, double m, double c, bool upper)
{
    double disc = m * m - 4.0 * k * c;
    if (disc < 0.0)
        disc = 0.0;
    const double root = std::sqrt(disc);
    const double r1 = (-m - root) / (2.0 * k);
    const double r2 = (-m + root) / (2.0 * k);
    const double lo = r1 < r2 ? r1 : r2;
    const double hi = r1 < r2 ? r2 : r1;
    return upper ? hi : lo;
}

// One secant, with the value difference and the span in seconds each held
// in single precision. A zero span gives 0.
double Secant(const KFCurveKey* from, const KFCurveKey* to)
{
    const float dv = to->GetValue() - from->GetValue();
    const float dt = static_cast<float>(KTimeDifferenceSeconds(from->GetTime(), to->GetTime()));
    if (dt == 0.0f)
        return 0.0;
    return static_cast<double>(dv / dt);
}

// The inverse of the Bezier conversion of one side: the side's own secant is
// `own` (L for the left side, R for the right one), the other secant `other`.
// Beyond the conversions at +-500 the sweep's quadratic is solved.
void AutoFromBezier(double& autoValue, double& bezier, double L, double R, bool left)
{
    const double own = left ? L : R;
    const double other = left ? R : L;
    const bool rising = left ? L > R : L <= R;
    double upperEdge = DMid(500.0, own, other); // own-side conversion at 500
    double lowerEdge = DMid(500.0, other, own); // own-side conversion at -500
    Snap(upperEdge);
    Snap(lowerEdge);
    Snap(bezier);
    const double B = bezier;

    if (rising ? B > upperEdge : B < upperEdge)
    {
        const double s = rising ? 1000.0 : -1000.0;
        autoValue = SolveBand(s / 250000.0, (own - other) / 200.0 - s / 250.0, (L + R) / 2.0 + s - B, true);
    }
    else if (rising ? B < lowerEdge : B > lowerEdge)
    {
        const double s = rising ? -1000.0 : 1000.0;
        autoValue = SolveBand(s / 250000.0, (own - other) / 200.0 + s / 250.0, (L + R) / 2.0 + s - B, false);
    }
    else if (L == R)
    {
        autoValue = 0.0;
    }
    else
    {
        autoValue = (200.0 * B - 100.0 * L - 100.0 * R) / (own - other);
    }
}

// The secants on both sides of a key; false on a curve without keys.
bool KeySecants(KFCurve* curve, int index, double& L, double& R)
{
    if (curve == nullptr || curve->KeyGetCount() == 0)
        return false;
    KFCURVE_ComputeToLeftAndToRight(L, R, curve, index);
    return true;
}

// One side's conversion (output, input, secant to the left, secant to the
// right) run on the key's secants; the output is 0 when the curve has no keys.
using OneSideConversion = void (*)(double&, double&, double&, double&);
void OneSideForKey(OneSideConversion convert, double& out, double& in, KFCurve* curve, int index)
{
    double L, R;
    if (KeySecants(curve, index, L, R))
        convert(out, in, L, R);
    else
        out = 0.0;
}

} // namespace

void KFCURVE_ComputeToLeftAndToRight(double& toLeft, double& toRight, KFCurve* curve, int index)
{
    toLeft = 0.0;
    toRight = 0.0;
    if (curve == nullptr)
        return;
    const int last = curve->KeyGetCount() - 1;
    if (index < 0 || index > last || last < 1)
        return;
    if (index < last)
        toRight = Secant(curve->KeyGetPtr(index), curve->KeyGetPtr(index + 1));
    if (index > 0)
        toLeft = Secant(curve->KeyGetPtr(index - 1), curve->KeyGetPtr(index));
    if (index == 0)
        toLeft = toRight;
    if (index == last)
        toRight = toLeft;
}

void KFCURVE_ComputeLeftBezierFromAuto(double& bezier, double& autoValue, double& toLeft, double& toRight)
{
    const double a = autoValue;
    if (a == 100.0)
        bezier = toLeft;
    else if (a == -100.0)
        bezier = toRight;
    else if (a > 500.0)
        bezier = DLeft(a, toLeft, toRight);
    else if (a < -500.0)
        bezier = DRight(a, toLeft, toRight);
    else
        bezier = DMid(a, toLeft, toRight);
}

void KFCURVE_ComputeRightBezierFromAuto(double& bezier, double& autoValue, double& toLeft, double& toRight)
{
    const double a = autoValue;
    if (a > 500.0)
        bezier = toLeft == toRight ? DLeft2(a, toRight, toLeft) : DLeft(a, toRight, toLeft);
    else if (a < -500.0)
        bezier = toLeft == toRight ? DRight2(a, toRight, toLeft) : DRight(a, toRight, toLeft);
    else
        bezier = DMid(a, toRight, toLeft);
}

void KFCURVE_ComputeBezierFromAuto(double& leftBezier, double& rightBezier, double& leftAuto, double& rightAuto,
                                   double& toLeft, double& toRight)
{
    KFCURVE_ComputeLeftBezierFromAuto(leftBezier, leftAuto, toLeft, toRight);
    KFCURVE_ComputeRightBezierFromAuto(rightBezier, rightAuto, toLeft, toRight);
}

void KFCURVE_ComputeLeftAutoFromBezier(double& autoValue, double& bezier, double& toLeft, double& toRight)
{
    AutoFromBezier(autoValue, bezier, toLeft, toRight, true);
}

void KFCURVE_ComputeRightAutoFromBezier(double& autoValue, double& bezier, double& toLeft, double& toRight)
{
    AutoFromBezier(autoValue, bezier, toLeft, toRight, false);
}

void KFCURVE_ComputeAutoFromBezier(double& leftAuto, double& rightAuto, double& leftBezier, double& rightBezier,
                                   double& toLeft, double& toRight)
{
    KFCURVE_ComputeLeftAutoFromBezier(leftAuto, leftBezier, toLeft, toRight);
    KFCURVE_ComputeRightAutoFromBezier(rightAuto, rightBezier, toLeft, toRight);
}

void KFCURVE_ComputeBezierFromAutoForKey(double& leftBezier, double& rightBezier, double& leftAuto, double& rightAuto,
                                         KFCurve* curve, int index)
{
    double L, R;
    if (KeySecants(curve, index, L, R))
        KFCURVE_ComputeBezierFromAuto(leftBezier, rightBezier, leftAuto, rightAuto, L, R);
    else
        leftBezier = rightBezier = 0.0;
}

void KFCURVE_ComputeAutoFromBezierForKey(double& leftAuto, double& rightAuto, double& leftBezier, double& rightBezier,
                                         KFCurve* curve, int index)
{
    double L, R;
    if (KeySecants(curve, index, L, R))
        KFCURVE_ComputeAutoFromBezier(leftAuto, rightAuto, leftBezier, rightBezier, L, R);
    else
        leftBezier = rightBezier = 0.0;
}

void KFCURVE_ComputeLeftBezierFromAutoForKey(double& bezier, double& autoValue, KFCurve* curve, int index)
{
    OneSideForKey(KFCURVE_ComputeLeftBezierFromAuto, bezier, autoValue, curve, index);
}

void KFCURVE_ComputeRightBezierFromAutoForKey(double& bezier, double& autoValue, KFCurve* curve, int index)
{
    OneSideForKey(KFCURVE_ComputeRightBezierFromAuto, bezier, autoValue, curve, index);
}

void KFCURVE_ComputeLeftAutoFromBezierForKey(double& autoValue, double& bezier, KFCurve* curve, int index)
{
    OneSideForKey(KFCURVE_ComputeLeftAutoFromBezier, autoValue, bezier, curve, index);
}

void KFCURVE_ComputeRightAutoFromBezierForKey(double& autoValue, double& bezier, KFCurve* curve, int index)
{
    OneSideForKey(KFCURVE_ComputeRightAutoFromBezier, autoValue, bezier, curve, index);
}
