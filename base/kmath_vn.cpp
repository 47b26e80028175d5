#include "base/kmath_vn.h"

#include <cmath>

double* KVNAdd(double* out, const double* a, const double* b, int n)
{
    for (int i = 0; i < n; ++i)
        out[i] = a[i] + b[i];
    return out;
}

double* KVNScale(double* out, const double* in, double factor, int n)
{
    for (int i = 0; i < n; ++i)
        out[i] = in[i] * factor;
    return out;
}

namespace {
// Moves `angle` by whole turns so that it lies within half a turn of `reference`
// (a difference of exactly half a turn is left alone).
double NearestTurn(double angle, double reference)
{
    double whole = 0.0;
    const double fraction = std::modf((reference - angle) / 360.0, &whole);
    if (fraction > 0.5)
        whole += 1.0;
    else if (fraction < -0.5)
        whole -= 1.0;
    return angle + 360.0 * whole;
}
} // namespace

bool KVNGetContinuousRotation(double* result, const double* rotation, const double* reference, const int* axes)
{
    const double r[3] = {reference[axes[0]], reference[axes[1]], reference[axes[2]]};
    double a[3] = {rotation[axes[0]], rotation[axes[1]], rotation[axes[2]]};
    double b[3] = {a[0] + 180.0, 180.0 - a[1], a[2] + 180.0};

    double distA = 0.0;
    double distB = 0.0;
    for (int i = 0; i < 3; ++i)
    {
        a[i] = NearestTurn(a[i], r[i]);
        b[i] = NearestTurn(b[i], r[i]);
        distA += (r[i] - a[i]) * (r[i] - a[i]);
        distB += (r[i] - b[i]) * (r[i] - b[i]);
    }

    // The direct solution wins only when strictly nearer.
    const bool alternative = !(distB > distA);
    const double* win = alternative ? b : a;
    double out[3] = {win[0], win[1], win[2]};

    // Gimbal lock: only the sum (or difference) of the first and third angles is
    // fixed, so split the remaining distance to the reference between them.
    const double middle = std::fmod(std::fmod(out[1], 360.0) + 360.0, 360.0);
    const double d0 = r[0] - out[0];
    const double d2 = r[2] - out[2];
    if (std::fabs(middle - 90.0) <= 0.000001)
    {
        const double shift = (d0 + d2) * 0.5;
        out[0] += shift;
        out[2] += shift;
    }
    else if (std::fabs(middle - 270.0) <= 0.000001)
    {
        const double shift = (d0 - d2) * 0.5;
        out[0] += shift;
        out[2] -= shift;
    }

    result[axes[0]] = out[0];
    result[axes[1]] = out[1];
    result[axes[2]] = out[2];
    return alternative;
}
