// Geometry kernel value types and the matrix, quaternion and Euler kernels.
//
// Conventions shared by every type and kernel of the math module:
//  - components are 64-bit doubles;
//  - a 4x4 matrix is sixteen doubles row by row, element (r, c) at r*4 + c;
//  - points are row vectors (p' = p x M); rows 0 to 2 are the images of the X, Y and
//    Z axes, row 3 holds the translation; an affine matrix has the fourth column
//    (0, 0, 0, 1);
//  - Euler angles are in degrees; the default order XYZ is R = Rx x Ry x Rz, X acting
//    first;
//  - quaternions are (x, y, z, w) with w the scalar part.
//
// The kernels keep no state, allocate nothing and report nothing. Each writes exactly
// the elements its comment names, so callers may keep their own values elsewhere in
// the matrix. Every kernel takes its output first and returns it.
#ifndef QOX_BASE_KMATH_KERNELS_H
#define QOX_BASE_KMATH_KERNELS_H

#include <cstddef>
#include <type_traits>

// One row of a 4x4 matrix; a matrix decays to a pointer to rows.
typedef double KRow4[4];

// Degrees to radians and back, and the "half angle doubled" factor.
const double K_DEG_TO_RAD = 0.017453292519943295;
const double K_RAD_TO_DEG = 57.29577951308232;
const double K_HALF_DEG_TO_RAD = 0.008726646259971648;
const double K_2RAD_TO_DEG = 114.59155902616465;

// ---------------------------------------------------------------------------------
// Plain geometry types. They have no behaviour of their own beyond component access;
// the free functions and kernels read and write them.
// ---------------------------------------------------------------------------------

// The shared body of the four-double vectors: components A, B, C and D in that
// order, laid out like a double[4] (checked below) so that the object is
// addressed as that array; all 0 after construction except D, which is D0. The
// value constructor's fourth argument defaults to D0 where DEFAULT_D says "= D0"
// and is required where it is empty.
#define KGE_VECTOR4_BODY(Type, A, B, C, D, D0, DEFAULT_D)                                                              \
    double A, B, C, D;                                                                                                 \
    Type()                                                                                                             \
        : A(0.0)                                                                                                       \
        , B(0.0)                                                                                                       \
        , C(0.0)                                                                                                       \
        , D(D0)                                                                                                        \
    {}                                                                                                                 \
    Type(double p0, double p1, double p2, double p3 DEFAULT_D)                                                         \
        : A(p0)                                                                                                        \
        , B(p1)                                                                                                        \
        , C(p2)                                                                                                        \
        , D(p3)                                                                                                        \
    {}                                                                                                                 \
    template <typename I, typename = typename std::enable_if<std::is_integral<I>::value>::type>                        \
    double& operator[](I i)                                                                                            \
    {                                                                                                                  \
        return reinterpret_cast<double*>(this)[i];                                                                     \
    }                                                                                                                  \
    template <typename I, typename = typename std::enable_if<std::is_integral<I>::value>::type>                        \
    const double& operator[](I i) const                                                                                \
    {                                                                                                                  \
        return reinterpret_cast<const double*>(this)[i];                                                               \
    }                                                                                                                  \
    operator double*()                                                                                                 \
    {                                                                                                                  \
        return reinterpret_cast<double*>(this);                                                                        \
    }                                                                                                                  \
    operator const double*() const                                                                                     \
    {                                                                                                                  \
        return reinterpret_cast<const double*>(this);                                                                  \
    }

// Translation or direction. The fourth component is 1 after construction.
struct KgeTVector
{
    KGE_VECTOR4_BODY(KgeTVector, x, y, z, w, 1.0, = 1.0)
};

// Euler angles in degrees about X, Y and Z; the fourth component is carried, not used.
struct KgeRVector
{
    KGE_VECTOR4_BODY(KgeRVector, x, y, z, w, 0.0, = 0.0)
};

// Scale factors along X, Y and Z; the fourth component is carried, not used.
struct KgeSVector
{
    KGE_VECTOR4_BODY(KgeSVector, x, y, z, w, 0.0, = 0.0)
};

// Quaternion (x, y, z, w), w the scalar part.
struct KgeQuaternion
{
    KGE_VECTOR4_BODY(KgeQuaternion, x, y, z, w, 0.0, )
};

// Colour: red, green, blue, and a fourth double that is 1 after construction.
struct KgeRGBVector
{
    KGE_VECTOR4_BODY(KgeRGBVector, r, g, b, w, 1.0, = 1.0)
};

// Colour with alpha; all four components are 0 after construction.
struct KgeRGBAVector
{
    KGE_VECTOR4_BODY(KgeRGBAVector, r, g, b, a, 0.0, )
};

#undef KGE_VECTOR4_BODY

// A mesh vertex in single precision.
struct KgeVertex
{
    float x, y, z;
    KgeVertex()
        : x(0.0f)
        , y(0.0f)
        , z(0.0f)
    {}
    KgeVertex(float pX, float pY, float pZ)
        : x(pX)
        , y(pY)
        , z(pZ)
    {}
};

// Shared storage and access for the 4x4 matrix types: sixteen doubles row by row,
// identity after construction. m[r][c] works through the conversion to KRow4*, and a
// matrix passes directly to the kernels.
#define KGE_MATRIX_BODY(Type)                                                                                          \
    double mData[4][4];                                                                                                \
    Type()                                                                                                             \
    {                                                                                                                  \
        SetIdentity();                                                                                                 \
    }                                                                                                                  \
    void SetIdentity()                                                                                                 \
    {                                                                                                                  \
        for (int r = 0; r < 4; ++r)                                                                                    \
            for (int c = 0; c < 4; ++c)                                                                                \
                mData[r][c] = (r == c) ? 1.0 : 0.0;                                                                    \
    }                                                                                                                  \
    operator KRow4*()                                                                                                  \
    {                                                                                                                  \
        return mData;                                                                                                  \
    }                                                                                                                  \
    operator const KRow4*() const                                                                                      \
    {                                                                                                                  \
        return mData;                                                                                                  \
    }

// Affine 4x4 transform.
struct KgeAMatrix
{
    KGE_MATRIX_BODY(KgeAMatrix)
};

// Rotation matrix, laid out like KgeAMatrix; only its 3x3 part is meaningful.
struct KgeRMatrix
{
    KGE_MATRIX_BODY(KgeRMatrix)
};

#undef KGE_MATRIX_BODY

static_assert(sizeof(KgeTVector) == 4 * sizeof(double), "KgeTVector must be four packed doubles");
static_assert(sizeof(KgeRVector) == 4 * sizeof(double), "KgeRVector must be four packed doubles");
static_assert(sizeof(KgeSVector) == 4 * sizeof(double), "KgeSVector must be four packed doubles");
static_assert(sizeof(KgeQuaternion) == 4 * sizeof(double), "KgeQuaternion must be four packed doubles");
static_assert(sizeof(KgeRGBVector) == 4 * sizeof(double), "KgeRGBVector must be four packed doubles");
static_assert(sizeof(KgeRGBAVector) == 4 * sizeof(double), "KgeRGBAVector must be four packed doubles");
static_assert(sizeof(KgeAMatrix) == 16 * sizeof(double), "KgeAMatrix must be sixteen packed doubles");
static_assert(sizeof(KgeRMatrix) == 16 * sizeof(double), "KgeRMatrix must be sixteen packed doubles");
static_assert(std::is_standard_layout<KgeTVector>::value && std::is_standard_layout<KgeRVector>::value &&
                  std::is_standard_layout<KgeSVector>::value && std::is_standard_layout<KgeQuaternion>::value &&
                  std::is_standard_layout<KgeRGBVector>::value && std::is_standard_layout<KgeRGBAVector>::value &&
                  std::is_standard_layout<KgeAMatrix>::value && std::is_standard_layout<KgeRMatrix>::value,
              "geometry types must be standard layout");
static_assert(offsetof(KgeTVector, w) == 3 * sizeof(double) && offsetof(KgeRGBVector, w) == 3 * sizeof(double),
              "vector components must be packed in order");

// ---------------------------------------------------------------------------------
// Euler order codes 0 to 11: code = 4*i + 2*parity + repetition. Row `code` holds the
// axes (i, j, k), 0 X, 1 Y, 2 Z. Bit 1 marks the odd permutations, bit 0 the orders
// whose third rotation is about i again.
// ---------------------------------------------------------------------------------
extern const int KmEulerAxis[12][3];

// ---------------------------------------------------------------------------------
// Affine and rotation kernels. "3x3" is rows and columns 0 to 2; "translation" is
// row 3, columns 0 to 2. Column 3 is never read or written unless stated.
// ---------------------------------------------------------------------------------

// 3x3 = XYZ Euler rotation of (x, y, z) degrees; nothing else written.
KRow4* KmXYZtoR(KRow4* m, double x, double y, double z);

// Affine inverse for a 3x3 part with mutually orthogonal rows: column i of the 3x3
// result = row i of `in` divided by its squared length; translation = -(t x inv3x3).
// A zero row gives a zero column. Works in place.
KRow4* KmAi(KRow4* out, const KRow4* in);

// 3x3 = transpose of in's 3x3 (inverse of a pure rotation). Works in place.
KRow4* KmRi(KRow4* out, const KRow4* in);

// Affine product out = b.a: a row vector is carried by b, then by a. 3x3 = b3.a3,
// translation = t_b.a3 + t_a. `out` may be `a` or `b`.
KRow4* KmAA(KRow4* out, const KRow4* a, const KRow4* b);

// out = b followed by the orthogonal-rows inverse of a, in one pass (same result as
// KmAA(out, KmAi(a), b)). `out` may be `a` or `b`.
KRow4* KmAiA(KRow4* out, const KRow4* a, const KRow4* b);

// 3x3 = b3 . a3 (rotate by b, then by a). `out` may be `a` or `b`.
KRow4* KmRR(KRow4* out, const KRow4* a, const KRow4* b);

// 3x3 = b3 . a3 transposed (rotate by b, then by the inverse of rotation a).
// `out` may be `a` or `b`.
KRow4* KmRiR(KRow4* out, const KRow4* a, const KRow4* b);

// 3x3 = in's 3x3 with row i multiplied by s[i]. Works in place.
KRow4* KmRS(KRow4* out, const KRow4* in, const double* s);

// Full 4x4 product out = b.a over all sixteen elements; `out` may be `a` or `b`.
KRow4* KmMM(KRow4* out, const KRow4* a, const KRow4* b);

// Full 4x4 transpose; works in place.
KRow4* KmMt(KRow4* out, const KRow4* in);

// ---------------------------------------------------------------------------------
// Euler kernels.
// ---------------------------------------------------------------------------------

// 3x3 = rotation of angles a1, a2, a3 (degrees, in order of application) for order
// code 0 to 11: E_i(a1).E_j(a2).E_t(a3), t = k for even codes and i for odd ones.
KRow4* KmIJKtoR(KRow4* out, double a1, double a2, double a3, int code);

// Inverse of KmIJKtoR: the three angles (degrees, in order of application) of in's
// 3x3 rotation for order code 0 to 11. Repeated orders return the middle angle in
// [0, 180] before the parity sign.
double* KmRtoVord(double* angles, const KRow4* in, int code);

// XYZ angles (degrees) of in's 3x3 rotation, with the gimbal rule on m[0][2] at
// +/-0.999999 (Y = -/+90, Z = 0).
double* KmRtoVXYZ(double* angles, const KRow4* in);

// ---------------------------------------------------------------------------------
// Quaternion kernels.
// ---------------------------------------------------------------------------------

// Hamilton product out = a (x) b; `out` may be `a` or `b`.
double* KmQQ(double* out, const double* a, const double* b);

// Unit quaternion of in's 3x3 rotation, with the w >= 0 branch first and fallbacks for
// half turns (a half turn about Z when nothing else applies).
double* KmRtoQ(double* q, const KRow4* in);

// 3x3 = rotation of quaternion q; an unnormalised q gives the rotation of its
// normalised form, a zero q gives the identity.
KRow4* KmQtoR(KRow4* out, const double* q);

// ---------------------------------------------------------------------------------
// Rotation order: codes 0 to 11 as in KmEulerAxis, 12 for the spherical XYZ order
// (a swing of the X axis and a twist about it). Angle vectors are indexed by axis:
// component 0 is about X, 1 about Y, 2 about Z, whatever the order.
// ---------------------------------------------------------------------------------
class KSSRotationOrder
{
public:
    enum
    {
        eSphericXYZ = 12
    };

    KSSRotationOrder(int order = 0)
        : mOrder(order)
    {}

    // Angles of m's 3x3 rotation in this order; only components 0 to 2 are written.
    void M2V(KgeRVector& angles, const KgeRMatrix& m) const;
    void M2V(double* angles, const KRow4* m) const;

    // 3x3 rotation of the angles in this order; nothing else is written.
    void V2M(KgeRMatrix& m, const KgeRVector& angles) const;
    void V2M(KRow4* m, const double* angles) const;

    // The order code; callers read and write it directly.
    int mOrder;
};

#endif // QOX_BASE_KMATH_KERNELS_H
