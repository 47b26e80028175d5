// Free functions of the geometry kernel.
#include "base/kgeometry.h"

#include <cmath>

namespace {

struct Vec3
{
    double x, y, z;
};

inline Vec3 V3(const KgeTVector& v)
{
    return Vec3{v.x, v.y, v.z};
}
inline Vec3 Row(const KRow4* m, int r)
{
    return Vec3{m[r][0], m[r][1], m[r][2]};
}
inline Vec3 Sub(const Vec3& a, const Vec3& b)
{
    return Vec3{a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 Add(const Vec3& a, const Vec3& b)
{
    return Vec3{a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 Scale(const Vec3& a, double s)
{
    return Vec3{a.x * s, a.y * s, a.z * s};
}
inline double Dot(const Vec3& a, const Vec3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 Cross(const Vec3& a, const Vec3& b)
{
    return Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(const Vec3& a)
{
    return std::sqrt(Dot(a, a));
}

// Unit vector of a; a zero vector stays zero.
inline Vec3 Normalized(const Vec3& a)
{
    const double l = Length(a);
    return l > 0.0 ? Scale(a, 1.0 / l) : a;
}

inline void SetRow(KRow4* m, int r, const Vec3& v)
{
    m[r][0] = v.x;
    m[r][1] = v.y;
    m[r][2] = v.z;
}

inline void SetVector(KgeTVector& out, const Vec3& v)
{
    out.x = v.x;
    out.y = v.y;
    out.z = v.z;
    out.w = 1.0;
}

inline void Identity3x3(KRow4* m)
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            m[r][c] = (r == c) ? 1.0 : 0.0;
}

inline void Copy3x3(KRow4* out, const KRow4* in)
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[r][c] = in[r][c];
}

// Determinant of the 3x3 part: row 2 . (row 0 x row 1).
inline double Determinant3x3(const KRow4* m)
{
    return Dot(Row(m, 2), Cross(Row(m, 0), Row(m, 1)));
}

// Row lengths of the 3x3 part.
inline void RowLengths(const KRow4* m, double out[3])
{
    for (int r = 0; r < 3; ++r)
        out[r] = Length(Row(m, r));
}

// 3x3 rows of `in` divided by `lengths`; a zero length gives a zero row.
inline void DivideRows(KRow4* out, const KRow4* in, const double lengths[3])
{
    for (int r = 0; r < 3; ++r)
    {
        const double f = lengths[r] != 0.0 ? 1.0 / lengths[r] : 0.0;
        out[r][0] = in[r][0] * f;
        out[r][1] = in[r][1] * f;
        out[r][2] = in[r][2] * f;
    }
}

} // namespace

// ---------------------------------------------------------------------------------
// Frames and Euler angles
// ---------------------------------------------------------------------------------

void KVNSetXYZRotation(KRow4* pM, const double* pAngles)
{
    KmXYZtoR(pM, pAngles[0], pAngles[1], pAngles[2]);
    pM[0][3] = pM[1][3] = pM[2][3] = 0.0;
    pM[3][0] = pM[3][1] = pM[3][2] = 0.0;
    pM[3][3] = 1.0;
}

void KVNGetXYZRotation(double* pAngles, const KRow4* pM)
{
    KmRtoVXYZ(pAngles, pM);
}

void KVNRot44MultRot44(KRow4* pOut, const KRow4* pA, const KRow4* pB)
{
    KmRR(pOut, pA, pB);
    pOut[0][3] = pOut[1][3] = pOut[2][3] = 0.0;
    pOut[3][0] = pOut[3][1] = pOut[3][2] = 0.0;
    pOut[3][3] = 1.0;
}

void KVNNormalize(double* pOut, const double* pIn, int pCount)
{
    double lSum = 0.0;
    for (int i = 0; i < pCount; ++i)
        lSum += pIn[i] * pIn[i];
    if (lSum == 0.0)
        return;
    const double lLength = std::sqrt(lSum);
    for (int i = 0; i < pCount; ++i)
        pOut[i] = pIn[i] / lLength;
}

void KLookAtRoll2Transformation(KgeAMatrix& pA, const KgeTVector& pEye, const KgeTVector& pTarget, double pRoll,
                                const KgeTVector& pUp)
{
    const Vec3 lD = Normalized(Sub(V3(pTarget), V3(pEye)));
    const Vec3 lS = Normalized(Cross(lD, V3(pUp)));
    const Vec3 lU = Cross(lS, lD);
    double lFrame[4][4];
    SetRow(lFrame, 0, lD);
    SetRow(lFrame, 1, lU);
    SetRow(lFrame, 2, lS);

    double lRoll[4][4];
    const double lRollAngles[3] = {pRoll, 0.0, 0.0};
    KVNSetXYZRotation(lRoll, lRollAngles);

    pA.SetIdentity();
    KVNRot44MultRot44(pA, lFrame, lRoll);
    pA.mData[3][0] = pEye.x;
    pA.mData[3][1] = pEye.y;
    pA.mData[3][2] = pEye.z;
}

void KTransformation2LookAtRoll(KgeTVector& pTarget, double& pRoll, KgeTVector& pEye, const KgeAMatrix& pA)
{
    const Vec3 lEye = Row(pA, 3);
    SetVector(pEye, lEye);
    SetVector(pTarget, Add(lEye, Row(pA, 0)));
    double lAngles[3];
    KmRtoVXYZ(lAngles, pA);
    pRoll = lAngles[0];
}

double ComputeAxisRM(KgeRMatrix& pR, const KgeTVector& pAxis, const KgeTVector& pUp)
{
    const Vec3 lAxis = V3(pAxis);
    const double lLength = Length(lAxis);
    if (lLength <= 0.0)
    {
        pR.SetIdentity();
        return lLength;
    }
    const Vec3 lRow0 = Scale(lAxis, 1.0 / lLength);
    const Vec3 lSide = Cross(V3(pUp), lRow0);
    const double lSideLength = Length(lSide);
    if (lSideLength <= 0.0)
    {
        pR.SetIdentity();
        return lLength;
    }
    const Vec3 lRow1 = Scale(lSide, 1.0 / lSideLength);
    SetRow(pR, 0, lRow0);
    SetRow(pR, 1, lRow1);
    SetRow(pR, 2, Cross(lRow0, lRow1));
    return lLength;
}

void Orthogonalize(KgeRMatrix& pR)
{
    const Vec3 lRow0 = Normalized(Row(pR, 0));
    const Vec3 lRow2 = Normalized(Cross(lRow0, Row(pR, 1)));
    SetRow(pR, 0, lRow0);
    SetRow(pR, 2, lRow2);
    SetRow(pR, 1, Cross(lRow2, lRow0));
}

void ThreePointsTransform(KgeAMatrix& pA, double& pArea, double& pRatio, const KgeTVector& pP0, const KgeTVector& pP1,
                          const KgeTVector& pP2)
{
    const Vec3 p0 = V3(pP0), p1 = V3(pP1), p2 = V3(pP2);
    SetRow(pA, 3, Scale(Add(Add(p0, p1), p2), 1.0 / 3.0));
    const Vec3 e1 = Sub(p1, p0);
    const Vec3 e2 = Sub(p2, p0);
    const Vec3 n = Cross(e1, e2);
    const double lN = Length(n);
    pArea = lN;
    if (lN <= 0.0)
    {
        pRatio = 0.0;
        Identity3x3(pA);
        return;
    }
    pRatio = lN / Length(e1) / Length(e2);
    const Vec3 lRow0 = Scale(n, 1.0 / lN);
    const Vec3 lRow2 = Normalized(Cross(lRow0, Add(e1, e2)));
    SetRow(pA, 0, lRow0);
    SetRow(pA, 2, lRow2);
    SetRow(pA, 1, Cross(lRow2, lRow0));
}

bool IsLeftHand(const KgeAMatrix& pA)
{
    return Determinant3x3(pA) < 0.0;
}

// ---------------------------------------------------------------------------------
// Splitting and joining
// ---------------------------------------------------------------------------------

void KgeSetTRMS(KgeTVector& pT, KgeRMatrix& pR, KgeSVector& pS, const KgeAMatrix& pA)
{
    double lLengths[3];
    RowLengths(pA, lLengths);
    DivideRows(pR, pA, lLengths);
    pS.x = lLengths[0];
    pS.y = lLengths[1];
    pS.z = lLengths[2];
    SetVector(pT, Row(pA, 3));
}

void KgeSetRightHandTRMS(KgeTVector& pT, KgeRMatrix& pR, KgeSVector& pS, const KgeAMatrix& pA)
{
    double lLengths[3];
    RowLengths(pA, lLengths);
    if (IsLeftHand(pA))
    {
        lLengths[0] *= -1.0;
        lLengths[1] *= -1.0;
        lLengths[2] *= -1.0;
    }
    DivideRows(pR, pA, lLengths);
    pS.x = lLengths[0];
    pS.y = lLengths[1];
    pS.z = lLengths[2];
    SetVector(pT, Row(pA, 3));
}

void KgeSetTRMS(KgeAMatrix& pA, const KgeTVector& pT, const KgeRMatrix& pR, const KgeSVector& pS)
{
    KmRS(pA, pR, pS);
    SetRow(pA, 3, V3(pT));
}

void KgeSetRM(KgeRMatrix& pR, const KgeAMatrix& pA)
{
    double lLengths[3];
    RowLengths(pA, lLengths);
    DivideRows(pR, pA, lLengths);
}

void KgeSetRM(KgeAMatrix& pA, const KgeRMatrix& pR)
{
    double lLengths[3];
    RowLengths(pA, lLengths);
    KmRS(pA, pR, lLengths);
}

void KgeRotateScaleAprox(KgeSVector& pSOut, const KgeRMatrix& pR, const KgeSVector& pS)
{
    // R as a clean affine matrix (no translation), and diag(S).
    KgeAMatrix lR;
    Copy3x3(lR, pR);
    KgeAMatrix lM;
    lM.mData[0][0] = pS.x;
    lM.mData[1][1] = pS.y;
    lM.mData[2][2] = pS.z;
    KmAA(lM, lM, lR);  // R . diag(S)
    KmAiA(lM, lR, lM); // then R^-1
    double lLengths[3];
    RowLengths(lM, lLengths);
    const double lSign = Determinant3x3(lM) < 0.0 ? -1.0 : 1.0;
    pSOut.x = lLengths[0] * lSign;
    pSOut.y = lLengths[1] * lSign;
    pSOut.z = lLengths[2] * lSign;
}

// ---------------------------------------------------------------------------------
// Quaternions
// ---------------------------------------------------------------------------------

void KgeSetQuaternion(KgeQuaternion& pQ, const KgeTVector& pV)
{
    pQ.x = 0.0;
    pQ.y = -pV.z;
    pQ.z = pV.y;
    pQ.w = 1.0 + pV.x;
}

void GetQuaternionFromPositionToPosition(KgeQuaternion& pQ, const KgeTVector& pA, const KgeTVector& pB)
{
    const Vec3 a = V3(pA), b = V3(pB);
    const Vec3 c = Cross(a, b);
    pQ.x = c.x;
    pQ.y = c.y;
    pQ.z = c.z;
    pQ.w = Length(a) * Length(b) + Dot(a, b);
}

void GetQuaternionFromPositionToPosition(KgeQuaternion& pQ, const KgeVertex& pA, const KgeVertex& pB)
{
    const float cx = pA.y * pB.z - pA.z * pB.y;
    const float cy = pA.z * pB.x - pA.x * pB.z;
    const float cz = pA.x * pB.y - pA.y * pB.x;
    const float la = std::sqrt(pA.x * pA.x + pA.y * pA.y + pA.z * pA.z);
    const float lb = std::sqrt(pB.x * pB.x + pB.y * pB.y + pB.z * pB.z);
    const float w = la * lb + (pA.x * pB.x + pA.y * pB.y + pA.z * pB.z);
    pQ.x = cx;
    pQ.y = cy;
    pQ.z = cz;
    pQ.w = w;
}

void GetQuaternionFromPositionToPosition(KgeQuaternion& pQ, const KgeTVector& pOrigin, const KgeTVector& pA,
                                         const KgeTVector& pB)
{
    const Vec3 o = V3(pOrigin);
    const Vec3 a = Sub(V3(pA), o);
    const Vec3 b = Sub(V3(pB), o);
    GetQuaternionFromPositionToPosition(pQ, KgeTVector(a.x, a.y, a.z), KgeTVector(b.x, b.y, b.z));
}

void GetQuaternionFromPositionToPositionFromUnitVector(KgeQuaternion& pQ, const KgeVertex& pA, const KgeVertex& pB)
{
    const float cx = pA.y * pB.z - pA.z * pB.y;
    const float cy = pA.z * pB.x - pA.x * pB.z;
    const float cz = pA.x * pB.y - pA.y * pB.x;
    const float w = (pA.x * pB.x + pA.y * pB.y + pA.z * pB.z) + 1.0f;
    pQ.x = cx;
    pQ.y = cy;
    pQ.z = cz;
    pQ.w = w;
}

void QuaternionFromAngularDisplacement(KgeQuaternion& pQ, const KgeTVector& pAxis, double pAngle)
{
    const double s = std::sin(pAngle * 0.5);
    pQ.x = pAxis.x * s;
    pQ.y = pAxis.y * s;
    pQ.z = pAxis.z * s;
    pQ.w = std::cos(pAngle * 0.5);
}

void ProjectQuaternionOnAxis(KgeQuaternion& pOut, const KgeTVector& pAxis, const KgeQuaternion& pQ)
{
    const double d = pAxis.x * pQ.x + pAxis.y * pQ.y + pAxis.z * pQ.z;
    // Rounding may push d slightly past 1; the twist is then a half turn, not a NaN.
    const double lW2 = 1.0 - d * d;
    const double w = lW2 > 0.0 ? std::sqrt(lW2) : 0.0;
    pOut.x = pAxis.x * d;
    pOut.y = pAxis.y * d;
    pOut.z = pAxis.z * d;
    pOut.w = w;
}

void ConstraintQuaternion(KgeQuaternion& pQ, double pMaxAngle)
{
    const double c = std::cos(pMaxAngle * K_DEG_TO_RAD * 0.5);
    const double lNorm2 = pQ.x * pQ.x + pQ.y * pQ.y + pQ.z * pQ.z + pQ.w * pQ.w;
    if (!(lNorm2 > 0.0))
        return;
    const double lW2 = pQ.w * pQ.w;
    if (lW2 / lNorm2 < c * c)
    {
        const double f = std::sqrt((1.0 - c * c) / (lNorm2 - lW2));
        pQ.x *= f;
        pQ.y *= f;
        pQ.z *= f;
        pQ.w = (pQ.w <= 0.0) ? -c : c;
    }
}

void GetRToH(KgeRMatrix& pR, const KgeTVector& pP1, const KgeTVector& pP2, double pH)
{
    const Vec3 p1 = V3(pP1);
    const Vec3 d = Sub(V3(pP2), p1);
    const double lD2 = Dot(d, d);
    if (!(lD2 > 0.0))
    {
        Identity3x3(pR);
        return;
    }
    Vec3 lHeading = Vec3{d.x, 0.0, d.z};
    const double lHeadingLength = Length(lHeading);
    lHeading = lHeadingLength > 0.0 ? Scale(lHeading, 1.0 / lHeadingLength) : Vec3{1.0, 0.0, 0.0};
    const double lDy = p1.y - pH;
    Vec3 lGoal = Vec3{p1.x, pH, p1.z};
    if (lD2 > lDy * lDy)
        lGoal = Add(lGoal, Scale(lHeading, std::sqrt(lD2 - lDy * lDy)));
    const Vec3 lTo = Sub(lGoal, p1);
    KgeQuaternion q;
    GetQuaternionFromPositionToPosition(q, KgeTVector(d.x, d.y, d.z), KgeTVector(lTo.x, lTo.y, lTo.z));
    KmQtoR(pR, q);
}

// ---------------------------------------------------------------------------------
// Other
// ---------------------------------------------------------------------------------

void KFitBoxInBox(double pW, double pH, double pX, double pY, double pBoxW, double pBoxH, bool pCenter, bool pFit,
                  bool pKeepRatio, bool pCover, bool /*pSpare*/, double* pOutX, double* pOutY, double* pOutW,
                  double* pOutH)
{
    double lW = pW, lH = pH;
    if (pFit)
    {
        if (!pKeepRatio)
        {
            lW = pBoxW;
            lH = pBoxH;
        }
        else
        {
            const double lRatio = pW / pH;
            const double lBoxRatio = pBoxW / pBoxH;
            bool lUseHeight;
            if (!pCover)
                lUseHeight = lRatio < lBoxRatio || lRatio == lBoxRatio;
            else
                lUseHeight = lBoxRatio < lRatio || lRatio == lBoxRatio;
            const double lScale = lUseHeight ? pBoxH / pH : pBoxW / pW;
            lW = pW * lScale;
            lH = pH * lScale;
        }
    }
    double lX = pX, lY = pY;
    if (pCenter)
    {
        lX = pX + (pBoxW - lW) * 0.5;
        lY = pY + (pBoxH - lH) * 0.5;
    }
    if (pOutX)
        *pOutX = lX;
    if (pOutY)
        *pOutY = lY;
    if (pOutW)
        *pOutW = lW;
    if (pOutH)
        *pOutH = lH;
}

void KTriangulation(int* pIndices, int pCount)
{
    if (pCount < 3)
        return;
    const int lTriangles = pCount - 2;
    int lWritten = 0;
    int* lOut = pIndices;
    const auto lEmit = [&](int pA, int pB, int pC) {
        lOut[0] = pA;
        lOut[1] = pB;
        lOut[2] = pC;
        lOut += 3;
        ++lWritten;
    };
    lEmit(0, 1, 2);
    int a = 2, b = 3, c = 0, h = pCount - 1;
    while (lWritten < lTriangles && b <= h)
    {
        lEmit(a, b, c);
        if (lWritten < lTriangles)
            lEmit(c, b, h);
        a = b;
        b = b + 1;
        c = h;
        h = h - 1;
    }
}

double TriangleBaseAngle(double pA, double pB, double pC)
{
    if (pA > pB + pC)
        pA = pB + pC;
    const double lDenominator = 2.0 * pB * pC;
    // A side of zero length leaves no angle to measure.
    if (lDenominator == 0.0)
        return 0.0;
    double lCos = (pB * pB + pC * pC - pA * pA) / lDenominator;
    if (lCos > 1.0)
        lCos = 1.0;
    else if (lCos < -1.0)
        lCos = -1.0;
    return std::acos(lCos);
}

void KgeLinearInterpolation(KgeTVector& pOut, const KgeTVector& pA, const KgeTVector& pB, double pT)
{
    if (pT <= 0.0)
    {
        pOut.x = pA.x;
        pOut.y = pA.y;
        pOut.z = pA.z;
    }
    else if (pT >= 1.0)
    {
        pOut.x = pB.x;
        pOut.y = pB.y;
        pOut.z = pB.z;
    }
    else
    {
        const double u = 1.0 - pT;
        pOut.x = pA.x * u + pB.x * pT;
        pOut.y = pA.y * u + pB.y * pT;
        pOut.z = pA.z * u + pB.z * pT;
    }
}

void KgeLinearInterpolation(KgeRMatrix& pOut, const KgeRMatrix& pR1, const KgeRMatrix& pR2, double pT)
{
    if (pT <= 0.0)
    {
        Copy3x3(pOut, pR1);
        return;
    }
    if (pT >= 1.0)
    {
        Copy3x3(pOut, pR2);
        return;
    }
    double a[4], b[4];
    KmRtoQ(a, pR1);
    KmRtoQ(b, pR2);
    for (int i = 0; i < 4; ++i)
    {
        a[i] *= 1.0 - pT;
        b[i] *= pT;
    }
    if (a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3] < 0.0)
        for (double& c : a)
            c = -c;
    const double lSum[4] = {a[0] + b[0], a[1] + b[1], a[2] + b[2], a[3] + b[3]};
    KmQtoR(pOut, lSum);
}

void IKSolve(KgeTVector* pChain, int pCount, double pReach, const KgeTVector& pTarget, int pIterations)
{
    // A zero reach gives no step weighting to work with; the chain is left as it is.
    if (pIterations <= 0 || pCount < 2 || pReach == 0.0)
        return;
    const Vec3 lTarget = V3(pTarget);
    for (int lIter = 0; lIter < pIterations; ++lIter)
    {
        for (int j = pCount - 2; j >= 0; --j)
        {
            const Vec3 lJoint = V3(pChain[j]);
            const Vec3 a = Sub(V3(pChain[pCount - 1]), lJoint);
            const Vec3 b = Sub(lTarget, lJoint);
            KgeQuaternion q;
            GetQuaternionFromPositionToPosition(q, KgeTVector(a.x, a.y, a.z), KgeTVector(b.x, b.y, b.z));
            const double lRatio = Length(a) / pReach;
            const double lWeight = lRatio * lRatio;
            q.x *= lWeight;
            q.y *= lWeight;
            q.z *= lWeight;
            double R[4][4];
            KmQtoR(R, q);
            for (int k = j + 1; k < pCount; ++k)
            {
                const Vec3 p = Sub(V3(pChain[k]), lJoint);
                pChain[k].x = lJoint.x + p.x * R[0][0] + p.y * R[1][0] + p.z * R[2][0];
                pChain[k].y = lJoint.y + p.x * R[0][1] + p.y * R[1][1] + p.z * R[2][1];
                pChain[k].z = lJoint.z + p.x * R[0][2] + p.y * R[1][2] + p.z * R[2][2];
            }
        }
    }
}
