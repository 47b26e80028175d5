// Kernels on short vectors of doubles (n components) and the Euler continuity
// kernel that keeps consecutive rotations free of whole-turn jumps and flips.
#ifndef QOX_BASE_KMATH_VN_H
#define QOX_BASE_KMATH_VN_H

// out[i] = a[i] + b[i] for i in 0..n-1; `out` may be `a` or `b`. Returns out.
double* KVNAdd(double* out, const double* a, const double* b, int n);

// out[i] = in[i] * factor for i in 0..n-1; `out` may be `in`. Returns out.
double* KVNScale(double* out, const double* in, double factor, int n);

// Writes to `result` the Euler triple (degrees) equivalent to `rotation` that lies
// nearest to `reference`. `axes` gives the positions, in the three-element arrays, of
// the first, second and third rotation axis (a row of KmEulerAxis). Each angle is
// moved by whole turns towards the reference, and the alternative solution
// (a0 + 180, 180 - a1, a2 + 180) is taken when it is not farther away. At gimbal lock
// (middle angle 90 or 270) the first and third angles share the remaining distance.
// Returns true when the alternative solution was chosen. `result` may alias either
// input.
bool KVNGetContinuousRotation(double* result, const double* rotation, const double* reference, const int* axes);

#endif // QOX_BASE_KMATH_VN_H
