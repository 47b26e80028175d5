// The math module: geometry value types, matrix/quaternion/Euler kernels, the
// rotation-order conversions, the SDK's vector and matrix classes and the geometry
// functions. Every transform conversion in the system goes through these.
#ifndef QOX_BASE_KMATH_H
#define QOX_BASE_KMATH_H

#include "base/kmath_kernels.h"
#include "base/kmath_types.h"
#include "base/kgeometry.h"
#include "base/kmath_vn.h"

#endif // QOX_BASE_KMATH_H
