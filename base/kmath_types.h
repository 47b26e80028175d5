// The SDK's 3-D value types: 2- and 4-component vectors, quaternion, general 4x4
// matrix and affine transform. All are plain values (no base class, nothing owned),
// laid out as arrays of doubles so that they pass directly to the math kernels.
//
// Equality: KQoxVector4 (X, Y, Z only), KQoxQuaternion, KQoxMatrix and KQoxXMatrix
// compare each compared component by |a - b| <= 1e-6; KQoxVector2 compares exactly.
// Products: A * B transforms by B first and then by A (the matrix product B.A with
// row vectors).
#ifndef QOX_BASE_KMATH_TYPES_H
#define QOX_BASE_KMATH_TYPES_H

#include "base/kmath_kernels.h"

#include <type_traits>

// Tolerance of the approximate comparisons.
const double K_MATH_EQUAL_TOLERANCE = 1e-6;

#define KQOX_INDEX_TEMPLATE template <typename I, typename = typename std::enable_if<std::is_integral<I>::value>::type>

// The members KQoxVector4 and KQoxQuaternion share: indexed access, the raw
// array, negation, and arithmetic with a scalar, which applies to all four
// components (W included).
// clang-format off
#define KQOX_FOUR_DOUBLE_MEMBERS(T)                                                                                   \
    KQOX_INDEX_TEMPLATE double& operator[](I pIndex) { return mData[pIndex]; }                                    \
    KQOX_INDEX_TEMPLATE const double& operator[](I pIndex) const { return mData[pIndex]; }                        \
    double GetAt(int pIndex) const { return mData[pIndex]; }                                                      \
    void SetAt(int pIndex, double pValue) { mData[pIndex] = pValue; }                                             \
    operator double*() { return mData; }                                                                          \
    operator const double*() const { return mData; }                                                              \
    T operator-() const { return T(-mData[0], -mData[1], -mData[2], -mData[3]); }                                 \
    T operator+(double pS) const { return T(*this) += pS; }                                                       \
    T operator-(double pS) const { return T(*this) -= pS; }                                                       \
    T operator*(double pS) const { return T(*this) *= pS; }                                                       \
    T operator/(double pS) const { return T(*this) /= pS; }                                                       \
    T& operator+=(double pS) { for (double& c : mData) c += pS; return *this; }                                   \
    T& operator-=(double pS) { for (double& c : mData) c -= pS; return *this; }                                   \
    T& operator*=(double pS) { for (double& c : mData) c *= pS; return *this; }                                   \
    T& operator/=(double pS) { for (double& c : mData) c /= pS; return *this; }
// clang-format on

// ---------------------------------------------------------------------------------
class KQoxVector2
{
public:
    KQoxVector2()
        : mData{0.0, 0.0}
    {}
    KQoxVector2(double pX, double pY)
        : mData{pX, pY}
    {}
    KQoxVector2(const KQoxVector2& pV) = default;
    KQoxVector2& operator=(const KQoxVector2& pV) = default;

    KQOX_INDEX_TEMPLATE double& operator[](I pIndex) { return mData[pIndex]; }
    KQOX_INDEX_TEMPLATE const double& operator[](I pIndex) const { return mData[pIndex]; }
    double GetAt(int pIndex) const { return mData[pIndex]; }
    void SetAt(int pIndex, double pValue) { mData[pIndex] = pValue; }
    void Set(double pX, double pY)
    {
        mData[0] = pX;
        mData[1] = pY;
    }
    operator double*() { return mData; }
    operator const double*() const { return mData; }

    KQoxVector2 operator+(double pS) const { return KQoxVector2(mData[0] + pS, mData[1] + pS); }
    KQoxVector2 operator-(double pS) const { return KQoxVector2(mData[0] - pS, mData[1] - pS); }
    KQoxVector2 operator*(double pS) const { return KQoxVector2(mData[0] * pS, mData[1] * pS); }
    KQoxVector2 operator/(double pS) const { return KQoxVector2(mData[0] / pS, mData[1] / pS); }
    KQoxVector2& operator+=(double pS)
    {
        mData[0] += pS;
        mData[1] += pS;
        return *this;
    }
    KQoxVector2& operator-=(double pS)
    {
        mData[0] -= pS;
        mData[1] -= pS;
        return *this;
    }
    KQoxVector2& operator*=(double pS)
    {
        mData[0] *= pS;
        mData[1] *= pS;
        return *this;
    }
    KQoxVector2& operator/=(double pS)
    {
        mData[0] /= pS;
        mData[1] /= pS;
        return *this;
    }

    KQoxVector2 operator-() const { return KQoxVector2(-mData[0], -mData[1]); }
    KQoxVector2 operator+(const KQoxVector2& pV) const
    {
        return KQoxVector2(mData[0] + pV.mData[0], mData[1] + pV.mData[1]);
    }
    KQoxVector2 operator-(const KQoxVector2& pV) const
    {
        return KQoxVector2(mData[0] - pV.mData[0], mData[1] - pV.mData[1]);
    }
    KQoxVector2 operator*(const KQoxVector2& pV) const
    {
        return KQoxVector2(mData[0] * pV.mData[0], mData[1] * pV.mData[1]);
    }
    KQoxVector2 operator/(const KQoxVector2& pV) const
    {
        return KQoxVector2(mData[0] / pV.mData[0], mData[1] / pV.mData[1]);
    }
    KQoxVector2& operator+=(const KQoxVector2& pV)
    {
        mData[0] += pV.mData[0];
        mData[1] += pV.mData[1];
        return *this;
    }
    KQoxVector2& operator-=(const KQoxVector2& pV)
    {
        mData[0] -= pV.mData[0];
        mData[1] -= pV.mData[1];
        return *this;
    }
    KQoxVector2& operator*=(const KQoxVector2& pV)
    {
        mData[0] *= pV.mData[0];
        mData[1] *= pV.mData[1];
        return *this;
    }
    KQoxVector2& operator/=(const KQoxVector2& pV)
    {
        mData[0] /= pV.mData[0];
        mData[1] /= pV.mData[1];
        return *this;
    }

    double DotProduct(const KQoxVector2& pV) const { return mData[0] * pV.mData[0] + mData[1] * pV.mData[1]; }

    // Exact comparison: a NaN component makes the vectors different.
    bool operator==(const KQoxVector2& pV) const { return mData[0] == pV.mData[0] && mData[1] == pV.mData[1]; }
    bool operator!=(const KQoxVector2& pV) const { return !(*this == pV); }

    double Length() const;
    double SquareLength() const { return mData[0] * mData[0] + mData[1] * mData[1]; }
    double Distance(const KQoxVector2& pV) const { return (pV - *this).Length(); }
    // Divides both components by Length(); a zero vector stays zero.
    void Normalize();

    double mData[2];
};

// ---------------------------------------------------------------------------------
class KQoxVector4
{
public:
    KQoxVector4()
        : mData{0.0, 0.0, 0.0, 0.0}
    {}
    KQoxVector4(double pX, double pY, double pZ, double pW = 0.0)
        : mData{pX, pY, pZ, pW}
    {}
    explicit KQoxVector4(const double* pValues)
        : mData{pValues[0], pValues[1], pValues[2], pValues[3]}
    {}
    KQoxVector4(const KQoxVector4& pV) = default;
    KQoxVector4& operator=(const KQoxVector4& pV) = default;
    KQoxVector4& operator=(const double* pValues)
    {
        mData[0] = pValues[0];
        mData[1] = pValues[1];
        mData[2] = pValues[2];
        mData[3] = pValues[3];
        return *this;
    }

    void Set(double pX, double pY, double pZ, double pW = 0.0) { *this = KQoxVector4(pX, pY, pZ, pW); }
    KQOX_FOUR_DOUBLE_MEMBERS(KQoxVector4)

    // Vector operations apply component by component to all four.
    KQoxVector4 operator+(const KQoxVector4& pV) const;
    KQoxVector4 operator-(const KQoxVector4& pV) const;
    KQoxVector4 operator*(const KQoxVector4& pV) const;
    KQoxVector4 operator/(const KQoxVector4& pV) const;
    KQoxVector4& operator+=(const KQoxVector4& pV);
    KQoxVector4& operator-=(const KQoxVector4& pV);
    KQoxVector4& operator*=(const KQoxVector4& pV);
    KQoxVector4& operator/=(const KQoxVector4& pV);

    // X, Y, Z only.
    double DotProduct(const KQoxVector4& pV) const
    {
        return mData[0] * pV.mData[0] + mData[1] * pV.mData[1] + mData[2] * pV.mData[2];
    }
    // Cross product of X, Y, Z with W = 1.
    KQoxVector4 CrossProduct(const KQoxVector4& pV) const;

    // X, Y and Z each within 1e-6; W ignored.
    bool operator==(const KQoxVector4& pV) const;
    bool operator!=(const KQoxVector4& pV) const { return !(*this == pV); }

    // Over X, Y, Z only.
    double Length() const;
    double SquareLength() const { return DotProduct(*this); }
    double Distance(const KQoxVector4& pV) const;
    // Scales X, Y, Z to unit length; a zero vector stays zero; W is never touched.
    void Normalize();

    // XYZ Euler angles (degrees) of the rotation turning the direction origin->a onto
    // origin->b. Writes X, Y, Z of pAngles; always true.
    static bool AxisAlignmentInEulerAngle(const KQoxVector4& pOrigin, const KQoxVector4& pA, const KQoxVector4& pB,
                                          KQoxVector4& pAngles);

    double mData[4];
};

// ---------------------------------------------------------------------------------
class KQoxQuaternion
{
public:
    KQoxQuaternion()
        : mData{0.0, 0.0, 0.0, 0.0}
    {}
    KQoxQuaternion(double pX, double pY, double pZ, double pW)
        : mData{pX, pY, pZ, pW}
    {}
    KQoxQuaternion(const KQoxQuaternion& pQ) = default;
    KQoxQuaternion& operator=(const KQoxQuaternion& pQ) = default;

    void Set(double pX, double pY, double pZ, double pW) { *this = KQoxQuaternion(pX, pY, pZ, pW); }
    KQOX_FOUR_DOUBLE_MEMBERS(KQoxQuaternion)

    // Component by component; `*` is NOT the Hamilton product (see KQoxXMatrix::MultQ
    // and KmQQ for rotation composition).
    KQoxQuaternion operator+(const KQoxQuaternion& pQ) const;
    KQoxQuaternion operator-(const KQoxQuaternion& pQ) const;
    KQoxQuaternion operator*(const KQoxQuaternion& pQ) const;
    KQoxQuaternion operator/(const KQoxQuaternion& pQ) const;
    KQoxQuaternion& operator+=(const KQoxQuaternion& pQ);
    KQoxQuaternion& operator-=(const KQoxQuaternion& pQ);
    KQoxQuaternion& operator*=(const KQoxQuaternion& pQ);
    KQoxQuaternion& operator/=(const KQoxQuaternion& pQ);

    // All four components within 1e-6.
    bool operator==(const KQoxQuaternion& pQ) const;
    bool operator!=(const KQoxQuaternion& pQ) const { return !(*this == pQ); }

    double mData[4];
};

// ---------------------------------------------------------------------------------
// General 4x4 matrix, identity by default.
class KQoxMatrix
{
public:
    KQoxMatrix() { SetIdentity(); }
    KQoxMatrix(const KQoxMatrix& pM) = default;
    // Identity, then XYZ rotation rows from R (degrees) or from Q, row i scaled by
    // S[i], translation (T.x, T.y, T.z); the fourth column is (0, 0, 0, 1).
    KQoxMatrix(const KQoxVector4& pT, const KQoxVector4& pR, const KQoxVector4& pS);
    KQoxMatrix(const KQoxVector4& pT, const KQoxQuaternion& pQ, const KQoxVector4& pS);

    double Get(int pRow, int pColumn) const { return mData[pRow][pColumn]; }
    void Set(int pRow, int pColumn, double pValue) { mData[pRow][pColumn] = pValue; }
    KQoxVector4 GetRow(int pRow) const { return KQoxVector4(mData[pRow]); }
    KQoxVector4 GetColumn(int pColumn) const;
    void SetRow(int pRow, const KQoxVector4& pV);
    void SetColumn(int pColumn, const KQoxVector4& pV);
    void SetIdentity();

    // As the constructors, but only the 3x3 part and the translation row are written.
    void SetTRS(const KQoxVector4& pT, const KQoxVector4& pR, const KQoxVector4& pS);
    void SetTQS(const KQoxVector4& pT, const KQoxQuaternion& pQ, const KQoxVector4& pS);

    KQoxMatrix& operator=(const KQoxMatrix& pM) = default;
    KQoxMatrix operator+(const KQoxMatrix& pM) const;
    KQoxMatrix operator-(const KQoxMatrix& pM) const;
    KQoxMatrix& operator+=(const KQoxMatrix& pM);
    KQoxMatrix& operator-=(const KQoxMatrix& pM);
    KQoxMatrix operator-() const;
    // Full 4x4 product: the result transforms by pM first, then by this matrix.
    KQoxMatrix operator*(const KQoxMatrix& pM) const;
    KQoxMatrix& operator*=(const KQoxMatrix& pM);
    KQoxMatrix Transpose() const;

    // All sixteen elements within 1e-6.
    bool operator==(const KQoxMatrix& pM) const;
    bool operator!=(const KQoxMatrix& pM) const { return !(*this == pM); }

    operator double*() { return &mData[0][0]; }
    operator const double*() const { return &mData[0][0]; }
    operator KRow4*() { return mData; }
    operator const KRow4*() const { return mData; }

    double mData[4][4];
};

// ---------------------------------------------------------------------------------
// Affine transform: only the 3x3 part and the translation row take part in its
// operations. Copying copies those twelve elements; the target's fourth column is
// left as it was (a copy-constructed matrix has (0, 0, 0, 1)).
//
// For a matrix M: S(M) is the row lengths of its 3x3 part, all negated when the 3x3
// determinant is negative; its rotation matrix is each row divided by S(M); A(M) is
// the XYZ angles of that rotation matrix. Replacing operations decompose and rebuild
// through these, so shear is lost and a Euler round trip takes the gimbal rule.
class KQoxXMatrix
{
public:
    KQoxXMatrix() { SetIdentity(); }
    KQoxXMatrix(const KQoxXMatrix& pM);
    // Translation, XYZ rotation in degrees and scale; fourth column (0, 0, 0, 1).
    KQoxXMatrix(const KQoxVector4& pT, const KQoxVector4& pR, const KQoxVector4& pS);

    KQoxXMatrix& operator=(const KQoxXMatrix& pM);
    KQoxXMatrix& operator=(const KgeAMatrix& pM);

    double Get(int pRow, int pColumn) const { return mMatrix.mData[pRow][pColumn]; }
    KQoxVector4 GetRow(int pRow) const { return KQoxVector4(mMatrix.mData[pRow]); }
    KQoxVector4 GetColumn(int pColumn) const;
    void SetIdentity() { mMatrix.SetIdentity(); }

    // Reading.
    KQoxVector4 GetT() const;
    KQoxVector4 GetR() const;
    KQoxQuaternion GetQ() const;
    KQoxVector4 GetS() const;

    // Replacing one of translation, rotation and scale; the fourth column is kept.
    void SetT(const KQoxVector4& pT);
    void SetR(const KQoxVector4& pR);
    void SetQ(const KQoxQuaternion& pQ);
    void SetS(const KQoxVector4& pS);
    void SetTRS(const KQoxVector4& pT, const KQoxVector4& pR, const KQoxVector4& pS);
    void SetTQS(const KQoxVector4& pT, const KQoxQuaternion& pQ, const KQoxVector4& pS);

    // Affine product: the result transforms by pM first, then by this matrix. The new
    // matrix has the fourth column (0, 0, 0, 1); *= leaves this one's as it was.
    KQoxXMatrix operator*(const KQoxXMatrix& pM) const;
    KQoxXMatrix& operator*=(const KQoxXMatrix& pM);
    // 3x3 part scaled; the new matrix has a zero translation.
    KQoxXMatrix operator*(double pS) const;
    KQoxXMatrix operator/(double pS) const;
    // 3x3 part scaled in place; translation kept.
    KQoxXMatrix& operator*=(double pS);
    KQoxXMatrix& operator/=(double pS);
    // A copy with all sixteen elements negated (fourth column (0, 0, 0, -1)).
    KQoxXMatrix operator-() const;
    // Orthogonal-rows affine inverse; not the true inverse for a sheared 3x3 part.
    KQoxXMatrix Inverse() const;
    // Full 4x4 transpose.
    KQoxXMatrix Transpose() const;

    // 3x3 part and translation within 1e-6; the fourth column is not compared.
    bool operator==(const KQoxXMatrix& pM) const;
    bool operator!=(const KQoxXMatrix& pM) const { return !(*this == pM); }

    // Transforming values; this matrix is not changed.
    KQoxVector4 MultT(const KQoxVector4& pV) const;
    KQoxVector4 MultR(const KQoxVector4& pR) const;
    KQoxQuaternion MultQ(const KQoxQuaternion& pQ) const;
    KQoxVector4 MultS(const KQoxVector4& pS) const;

    operator double*() { return &mMatrix.mData[0][0]; }
    operator const double*() const { return &mMatrix.mData[0][0]; }
    operator KgeAMatrix&() { return mMatrix; }
    operator const KgeAMatrix&() const { return mMatrix; }
    operator KRow4*() { return mMatrix.mData; }
    operator const KRow4*() const { return mMatrix.mData; }

    KgeAMatrix mMatrix;
};

static_assert(sizeof(KQoxVector4) == 4 * sizeof(double), "KQoxVector4 must be four packed doubles");
static_assert(sizeof(KQoxQuaternion) == 4 * sizeof(double), "KQoxQuaternion must be four packed doubles");
static_assert(sizeof(KQoxMatrix) == 16 * sizeof(double), "KQoxMatrix must be sixteen packed doubles");
static_assert(sizeof(KQoxXMatrix) == 16 * sizeof(double), "KQoxXMatrix must be sixteen packed doubles");

#undef KQOX_INDEX_TEMPLATE

#endif // QOX_BASE_KMATH_TYPES_H
