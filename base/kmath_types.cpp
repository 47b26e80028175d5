// The SDK's 3-D value types.
#include "base/kmath_types.h"

#include "base/kgeometry.h"

#include <cmath>
#include <functional>

namespace {

// Component-wise operations shared by the four-component classes: a new value
// of type T from a op b, and a op= b in place.
template <typename T, typename Op>
T Combine(const double* pA, const double* pB, Op pOp)
{
    return T(pOp(pA[0], pB[0]), pOp(pA[1], pB[1]), pOp(pA[2], pB[2]), pOp(pA[3], pB[3]));
}

template <typename Op>
void Update(double* pA, const double* pB, Op pOp)
{
    for (int i = 0; i < 4; ++i)
        pA[i] = pOp(pA[i], pB[i]);
}

inline bool NearlyEqual(double pA, double pB)
{
    // Written so that a NaN makes the values different.
    return std::fabs(pA - pB) <= K_MATH_EQUAL_TOLERANCE;
}

// Signed scale of a 3x3 part: the row lengths, all negated when the determinant
// (row 2 . (row 0 x row 1)) is negative.
void SignedScale(const KRow4* pM, double pScale[3])
{
    for (int i = 0; i < 3; ++i)
        pScale[i] = std::sqrt(pM[i][0] * pM[i][0] + pM[i][1] * pM[i][1] + pM[i][2] * pM[i][2]);
    const double lDet = pM[2][0] * (pM[0][1] * pM[1][2] - pM[0][2] * pM[1][1]) +
                        pM[2][1] * (pM[0][2] * pM[1][0] - pM[0][0] * pM[1][2]) +
                        pM[2][2] * (pM[0][0] * pM[1][1] - pM[0][1] * pM[1][0]);
    if (lDet < 0.0)
    {
        pScale[0] = -pScale[0];
        pScale[1] = -pScale[1];
        pScale[2] = -pScale[2];
    }
}

// Rotation matrix of pM: each 3x3 row divided by the matching signed scale. A zero
// scale leaves a zero row rather than dividing by zero.
void RotationPart(const KRow4* pM, const double pScale[3], KRow4* pR)
{
    for (int i = 0; i < 3; ++i)
    {
        const double lInv = (pScale[i] != 0.0) ? 1.0 / pScale[i] : 0.0;
        pR[i][0] = pM[i][0] * lInv;
        pR[i][1] = pM[i][1] * lInv;
        pR[i][2] = pM[i][2] * lInv;
    }
}

// S(M) and A(M) of an affine matrix.
void Decompose(const KRow4* pM, double pScale[3], double pAngles[3])
{
    SignedScale(pM, pScale);
    double lR[4][4];
    RotationPart(pM, pScale, lR);
    KmRtoVXYZ(pAngles, lR);
}

} // namespace

// ---------------------------------------------------------------------------------
// KQoxVector2
// ---------------------------------------------------------------------------------

double KQoxVector2::Length() const
{
    const double lSum = SquareLength();
    return lSum == 0.0 ? 0.0 : std::sqrt(lSum);
}

void KQoxVector2::Normalize()
{
    const double lLength = Length();
    if (lLength != 0.0)
    {
        mData[0] /= lLength;
        mData[1] /= lLength;
    }
}

// ---------------------------------------------------------------------------------
// KQoxVector4
// ---------------------------------------------------------------------------------

KQoxVector4 KQoxVector4::operator+(const KQoxVector4& pV) const
{
    return Combine<KQoxVector4>(mData, pV.mData, std::plus<double>());
}

KQoxVector4 KQoxVector4::operator-(const KQoxVector4& pV) const
{
    return Combine<KQoxVector4>(mData, pV.mData, std::minus<double>());
}

KQoxVector4 KQoxVector4::operator*(const KQoxVector4& pV) const
{
    return Combine<KQoxVector4>(mData, pV.mData, std::multiplies<double>());
}

KQoxVector4 KQoxVector4::operator/(const KQoxVector4& pV) const
{
    return Combine<KQoxVector4>(mData, pV.mData, std::divides<double>());
}

KQoxVector4& KQoxVector4::operator+=(const KQoxVector4& pV)
{
    Update(mData, pV.mData, std::plus<double>());
    return *this;
}

KQoxVector4& KQoxVector4::operator-=(const KQoxVector4& pV)
{
    Update(mData, pV.mData, std::minus<double>());
    return *this;
}

KQoxVector4& KQoxVector4::operator*=(const KQoxVector4& pV)
{
    Update(mData, pV.mData, std::multiplies<double>());
    return *this;
}

KQoxVector4& KQoxVector4::operator/=(const KQoxVector4& pV)
{
    Update(mData, pV.mData, std::divides<double>());
    return *this;
}

KQoxVector4 KQoxVector4::CrossProduct(const KQoxVector4& pV) const
{
    return KQoxVector4(mData[1] * pV.mData[2] - mData[2] * pV.mData[1], mData[2] * pV.mData[0] - mData[0] * pV.mData[2],
                       mData[0] * pV.mData[1] - mData[1] * pV.mData[0], 1.0);
}

bool KQoxVector4::operator==(const KQoxVector4& pV) const
{
    return NearlyEqual(mData[0], pV.mData[0]) && NearlyEqual(mData[1], pV.mData[1]) &&
           NearlyEqual(mData[2], pV.mData[2]);
}

double KQoxVector4::Length() const
{
    const double lSum = SquareLength();
    return lSum == 0.0 ? 0.0 : std::sqrt(lSum);
}

double KQoxVector4::Distance(const KQoxVector4& pV) const
{
    const double dx = pV.mData[0] - mData[0];
    const double dy = pV.mData[1] - mData[1];
    const double dz = pV.mData[2] - mData[2];
    const double lSum = dx * dx + dy * dy + dz * dz;
    return lSum == 0.0 ? 0.0 : std::sqrt(lSum);
}

void KQoxVector4::Normalize()
{
    const double lLength = Length();
    if (lLength == 0.0)
    {
        mData[0] = mData[1] = mData[2] = 0.0;
        return;
    }
    const double lInv = 1.0 / lLength;
    mData[0] *= lInv;
    mData[1] *= lInv;
    mData[2] *= lInv;
}

bool KQoxVector4::AxisAlignmentInEulerAngle(const KQoxVector4& pOrigin, const KQoxVector4& pA, const KQoxVector4& pB,
                                            KQoxVector4& pAngles)
{
    KQoxVector4 lD1(pA.mData[0] - pOrigin.mData[0], pA.mData[1] - pOrigin.mData[1], pA.mData[2] - pOrigin.mData[2],
                    0.0);
    KQoxVector4 lD2(pB.mData[0] - pOrigin.mData[0], pB.mData[1] - pOrigin.mData[1], pB.mData[2] - pOrigin.mData[2],
                    0.0);
    lD1.Normalize();
    lD2.Normalize();

    const auto lAgree = [](const KQoxVector4& pU, double pSign, const KQoxVector4& pV) {
        for (int i = 0; i < 3; ++i)
            if (!(std::fabs(pU.mData[i] - pSign * pV.mData[i]) <= 0.001))
                return false;
        return true;
    };

    double lAngles[3];
    if (lAgree(lD1, 1.0, lD2))
    {
        lAngles[0] = lAngles[1] = lAngles[2] = 0.0;
    }
    else if (lAgree(lD1, -1.0, lD2))
    {
        lAngles[0] = 180.0;
        lAngles[1] = lAngles[2] = 0.0;
    }
    else
    {
        KgeQuaternion lQ(0.0, 0.0, 0.0, 1.0);
        const KgeTVector lA(lD1.mData[0], lD1.mData[1], lD1.mData[2]);
        const KgeTVector lB(lD2.mData[0], lD2.mData[1], lD2.mData[2]);
        GetQuaternionFromPositionToPosition(lQ, lA, lB);
        double lR[4][4];
        KmQtoR(lR, lQ);
        KmRtoVXYZ(lAngles, lR);
    }
    pAngles.mData[0] = lAngles[0];
    pAngles.mData[1] = lAngles[1];
    pAngles.mData[2] = lAngles[2];
    return true;
}

// ---------------------------------------------------------------------------------
// KQoxQuaternion
// ---------------------------------------------------------------------------------

KQoxQuaternion KQoxQuaternion::operator+(const KQoxQuaternion& pQ) const
{
    return Combine<KQoxQuaternion>(mData, pQ.mData, std::plus<double>());
}

KQoxQuaternion KQoxQuaternion::operator-(const KQoxQuaternion& pQ) const
{
    return Combine<KQoxQuaternion>(mData, pQ.mData, std::minus<double>());
}

KQoxQuaternion KQoxQuaternion::operator*(const KQoxQuaternion& pQ) const
{
    return Combine<KQoxQuaternion>(mData, pQ.mData, std::multiplies<double>());
}

KQoxQuaternion KQoxQuaternion::operator/(const KQoxQuaternion& pQ) const
{
    return Combine<KQoxQuaternion>(mData, pQ.mData, std::divides<double>());
}

KQoxQuaternion& KQoxQuaternion::operator+=(const KQoxQuaternion& pQ)
{
    Update(mData, pQ.mData, std::plus<double>());
    return *this;
}

KQoxQuaternion& KQoxQuaternion::operator-=(const KQoxQuaternion& pQ)
{
    Update(mData, pQ.mData, std::minus<double>());
    return *this;
}

KQoxQuaternion& KQoxQuaternion::operator*=(const KQoxQuaternion& pQ)
{
    Update(mData, pQ.mData, std::multiplies<double>());
    return *this;
}

KQoxQuaternion& KQoxQuaternion::operator/=(const KQoxQuaternion& pQ)
{
    Update(mData, pQ.mData, std::divides<double>());
    return *this;
}

bool KQoxQuaternion::operator==(const KQoxQuaternion& pQ) const
{
    for (int i = 0; i < 4; ++i)
        if (!NearlyEqual(mData[i], pQ.mData[i]))
            return false;
    return true;
}

// ---------------------------------------------------------------------------------
// KQoxMatrix
// ---------------------------------------------------------------------------------

KQoxMatrix::KQoxMatrix(const KQoxVector4& pT, const KQoxVector4& pR, const KQoxVector4& pS)
{
    SetIdentity();
    SetTRS(pT, pR, pS);
}

KQoxMatrix::KQoxMatrix(const KQoxVector4& pT, const KQoxQuaternion& pQ, const KQoxVector4& pS)
{
    SetIdentity();
    SetTQS(pT, pQ, pS);
}

KQoxVector4 KQoxMatrix::GetColumn(int pColumn) const
{
    return KQoxVector4(mData[0][pColumn], mData[1][pColumn], mData[2][pColumn], mData[3][pColumn]);
}

void KQoxMatrix::SetRow(int pRow, const KQoxVector4& pV)
{
    for (int c = 0; c < 4; ++c)
        mData[pRow][c] = pV.mData[c];
}

void KQoxMatrix::SetColumn(int pColumn, const KQoxVector4& pV)
{
    for (int r = 0; r < 4; ++r)
        mData[r][pColumn] = pV.mData[r];
}

void KQoxMatrix::SetIdentity()
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            mData[r][c] = (r == c) ? 1.0 : 0.0;
}

void KQoxMatrix::SetTRS(const KQoxVector4& pT, const KQoxVector4& pR, const KQoxVector4& pS)
{
    KmXYZtoR(mData, pR.mData[0], pR.mData[1], pR.mData[2]);
    KmRS(mData, mData, pS.mData);
    mData[3][0] = pT.mData[0];
    mData[3][1] = pT.mData[1];
    mData[3][2] = pT.mData[2];
}

void KQoxMatrix::SetTQS(const KQoxVector4& pT, const KQoxQuaternion& pQ, const KQoxVector4& pS)
{
    KmQtoR(mData, pQ.mData);
    KmRS(mData, mData, pS.mData);
    mData[3][0] = pT.mData[0];
    mData[3][1] = pT.mData[1];
    mData[3][2] = pT.mData[2];
}

KQoxMatrix KQoxMatrix::operator+(const KQoxMatrix& pM) const
{
    KQoxMatrix lResult(*this);
    lResult += pM;
    return lResult;
}

KQoxMatrix KQoxMatrix::operator-(const KQoxMatrix& pM) const
{
    KQoxMatrix lResult(*this);
    lResult -= pM;
    return lResult;
}

KQoxMatrix& KQoxMatrix::operator+=(const KQoxMatrix& pM)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            mData[r][c] += pM.mData[r][c];
    return *this;
}

KQoxMatrix& KQoxMatrix::operator-=(const KQoxMatrix& pM)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            mData[r][c] -= pM.mData[r][c];
    return *this;
}

KQoxMatrix KQoxMatrix::operator-() const
{
    KQoxMatrix lResult;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            lResult.mData[r][c] = -mData[r][c];
    return lResult;
}

KQoxMatrix KQoxMatrix::operator*(const KQoxMatrix& pM) const
{
    KQoxMatrix lResult;
    KmMM(lResult.mData, mData, pM.mData);
    return lResult;
}

KQoxMatrix& KQoxMatrix::operator*=(const KQoxMatrix& pM)
{
    KmMM(mData, mData, pM.mData);
    return *this;
}

KQoxMatrix KQoxMatrix::Transpose() const
{
    KQoxMatrix lResult;
    KmMt(lResult.mData, mData);
    return lResult;
}

bool KQoxMatrix::operator==(const KQoxMatrix& pM) const
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!NearlyEqual(mData[r][c], pM.mData[r][c]))
                return false;
    return true;
}

// ---------------------------------------------------------------------------------
// KQoxXMatrix
// ---------------------------------------------------------------------------------

namespace {

// Copies the 3x3 part and the translation row.
inline void CopyAffine(KRow4* pDst, const KRow4* pSrc)
{
    for (int r = 0; r < 4; ++r)
    {
        pDst[r][0] = pSrc[r][0];
        pDst[r][1] = pSrc[r][1];
        pDst[r][2] = pSrc[r][2];
    }
}

} // namespace

KQoxXMatrix::KQoxXMatrix(const KQoxXMatrix& pM)
{
    SetIdentity();
    CopyAffine(mMatrix, pM.mMatrix);
}

KQoxXMatrix::KQoxXMatrix(const KQoxVector4& pT, const KQoxVector4& pR, const KQoxVector4& pS)
{
    SetIdentity();
    SetTRS(pT, pR, pS);
}

KQoxXMatrix& KQoxXMatrix::operator=(const KQoxXMatrix& pM)
{
    CopyAffine(mMatrix, pM.mMatrix);
    return *this;
}

KQoxXMatrix& KQoxXMatrix::operator=(const KgeAMatrix& pM)
{
    CopyAffine(mMatrix, pM);
    return *this;
}

KQoxVector4 KQoxXMatrix::GetColumn(int pColumn) const
{
    const KRow4* m = mMatrix;
    return KQoxVector4(m[0][pColumn], m[1][pColumn], m[2][pColumn], m[3][pColumn]);
}

KQoxVector4 KQoxXMatrix::GetT() const
{
    const KRow4* m = mMatrix;
    return KQoxVector4(m[3][0], m[3][1], m[3][2], 0.0);
}

KQoxVector4 KQoxXMatrix::GetR() const
{
    double lScale[3], lAngles[3];
    Decompose(mMatrix, lScale, lAngles);
    return KQoxVector4(lAngles[0], lAngles[1], lAngles[2], 0.0);
}

KQoxQuaternion KQoxXMatrix::GetQ() const
{
    double lScale[3], lAngles[3];
    Decompose(mMatrix, lScale, lAngles);
    double lR[4][4];
    KmXYZtoR(lR, lAngles[0], lAngles[1], lAngles[2]);
    KQoxQuaternion lQ;
    KmRtoQ(lQ.mData, lR);
    return lQ;
}

KQoxVector4 KQoxXMatrix::GetS() const
{
    double lScale[3];
    SignedScale(mMatrix, lScale);
    return KQoxVector4(lScale[0], lScale[1], lScale[2], 0.0);
}

void KQoxXMatrix::SetT(const KQoxVector4& pT)
{
    double lScale[3], lAngles[3];
    Decompose(mMatrix, lScale, lAngles);
    KRow4* m = mMatrix;
    KmXYZtoR(m, lAngles[0], lAngles[1], lAngles[2]);
    KmRS(m, m, lScale);
    m[3][0] = pT.mData[0];
    m[3][1] = pT.mData[1];
    m[3][2] = pT.mData[2];
}

void KQoxXMatrix::SetR(const KQoxVector4& pR)
{
    double lScale[3];
    SignedScale(mMatrix, lScale);
    KRow4* m = mMatrix;
    KmXYZtoR(m, pR.mData[0], pR.mData[1], pR.mData[2]);
    KmRS(m, m, lScale);
}

void KQoxXMatrix::SetQ(const KQoxQuaternion& pQ)
{
    double lScale[3];
    SignedScale(mMatrix, lScale);
    KRow4* m = mMatrix;
    KmQtoR(m, pQ.mData);
    KmRS(m, m, lScale);
}

void KQoxXMatrix::SetS(const KQoxVector4& pS)
{
    double lScale[3], lAngles[3];
    Decompose(mMatrix, lScale, lAngles);
    KRow4* m = mMatrix;
    KmXYZtoR(m, lAngles[0], lAngles[1], lAngles[2]);
    KmRS(m, m, pS.mData);
}

void KQoxXMatrix::SetTRS(const KQoxVector4& pT, const KQoxVector4& pR, const KQoxVector4& pS)
{
    KRow4* m = mMatrix;
    KmXYZtoR(m, pR.mData[0], pR.mData[1], pR.mData[2]);
    KmRS(m, m, pS.mData);
    m[3][0] = pT.mData[0];
    m[3][1] = pT.mData[1];
    m[3][2] = pT.mData[2];
}

void KQoxXMatrix::SetTQS(const KQoxVector4& pT, const KQoxQuaternion& pQ, const KQoxVector4& pS)
{
    KRow4* m = mMatrix;
    KmQtoR(m, pQ.mData);
    KmRS(m, m, pS.mData);
    m[3][0] = pT.mData[0];
    m[3][1] = pT.mData[1];
    m[3][2] = pT.mData[2];
}

KQoxXMatrix KQoxXMatrix::operator*(const KQoxXMatrix& pM) const
{
    KQoxXMatrix lResult;
    KmAA(lResult.mMatrix, mMatrix, pM.mMatrix);
    return lResult;
}

KQoxXMatrix& KQoxXMatrix::operator*=(const KQoxXMatrix& pM)
{
    KmAA(mMatrix, mMatrix, pM.mMatrix);
    return *this;
}

KQoxXMatrix KQoxXMatrix::operator*(double pS) const
{
    KQoxXMatrix lResult;
    const double lS[3] = {pS, pS, pS};
    KmRS(lResult.mMatrix, mMatrix, lS);
    return lResult;
}

KQoxXMatrix KQoxXMatrix::operator/(double pS) const
{
    return *this * (1.0 / pS);
}

KQoxXMatrix& KQoxXMatrix::operator*=(double pS)
{
    const double lS[3] = {pS, pS, pS};
    KmRS(mMatrix, mMatrix, lS);
    return *this;
}

KQoxXMatrix& KQoxXMatrix::operator/=(double pS)
{
    return *this *= (1.0 / pS);
}

KQoxXMatrix KQoxXMatrix::operator-() const
{
    KQoxXMatrix lResult(*this);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            lResult.mMatrix.mData[r][c] = -lResult.mMatrix.mData[r][c];
    return lResult;
}

KQoxXMatrix KQoxXMatrix::Inverse() const
{
    KQoxXMatrix lResult;
    KmAi(lResult.mMatrix, mMatrix);
    return lResult;
}

KQoxXMatrix KQoxXMatrix::Transpose() const
{
    KQoxXMatrix lResult;
    KmMt(lResult.mMatrix, mMatrix);
    return lResult;
}

bool KQoxXMatrix::operator==(const KQoxXMatrix& pM) const
{
    const KRow4* a = mMatrix;
    const KRow4* b = pM.mMatrix;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            if (!NearlyEqual(a[r][c], b[r][c]))
                return false;
    return true;
}

KQoxVector4 KQoxXMatrix::MultT(const KQoxVector4& pV) const
{
    const KRow4* m = mMatrix;
    const double x = pV.mData[0], y = pV.mData[1], z = pV.mData[2];
    return KQoxVector4(x * m[0][0] + y * m[1][0] + z * m[2][0] + m[3][0],
                       x * m[0][1] + y * m[1][1] + z * m[2][1] + m[3][1],
                       x * m[0][2] + y * m[1][2] + z * m[2][2] + m[3][2], 0.0);
}

KQoxVector4 KQoxXMatrix::MultR(const KQoxVector4& pR) const
{
    // The rotation R acts first, then this matrix's 3x3 part.
    double lRot[4][4];
    KmXYZtoR(lRot, pR.mData[0], pR.mData[1], pR.mData[2]);
    KmRR(lRot, mMatrix, lRot);
    double lScale[3], lAngles[3];
    Decompose(lRot, lScale, lAngles);
    return KQoxVector4(lAngles[0], lAngles[1], lAngles[2], 0.0);
}

KQoxQuaternion KQoxXMatrix::MultQ(const KQoxQuaternion& pQ) const
{
    // The quaternion of the 3x3 part taken as it is, scale included.
    double lQm[4];
    KmRtoQ(lQm, mMatrix);
    KQoxQuaternion lResult;
    KmQQ(lResult.mData, lQm, pQ.mData);
    return lResult;
}

KQoxVector4 KQoxXMatrix::MultS(const KQoxVector4& pS) const
{
    double lM[4][4];
    KmRS(lM, mMatrix, pS.mData);
    double lScale[3];
    SignedScale(lM, lScale);
    return KQoxVector4(lScale[0], lScale[1], lScale[2], 0.0);
}
