// Free functions of the geometry kernel: frames and Euler angles, splitting and
// joining translation/rotation/scale, quaternion construction and limiting, box
// fitting, polygon triangulation, interpolation and a cyclic IK solver.
//
// Conventions are those of the math module (row vectors, translation in row 3, XYZ
// angles in degrees, quaternions (x, y, z, w)). Each function is pure: no state, no
// allocation, no failure report. Vectors these functions build get w = 1.
#ifndef QOX_BASE_KGEOMETRY_H
#define QOX_BASE_KGEOMETRY_H

#include "base/kmath_kernels.h"

// ---------------------------------------------------------------------------------
// Frames and Euler angles
// ---------------------------------------------------------------------------------

// Whole 4x4: XYZ rotation of the angles in the 3x3 part, zero fourth column and
// translation, m[3][3] = 1.
void KVNSetXYZRotation(KRow4* pM, const double* pAngles);

// XYZ angles of m's 3x3 rotation (the KmRtoVXYZ rule).
void KVNGetXYZRotation(double* pAngles, const KRow4* pM);

// 3x3 = b.a (rotate by b, then by a); fourth column and translation zero, [3][3] = 1.
void KVNRot44MultRot44(KRow4* pOut, const KRow4* pA, const KRow4* pB);

// out[i] = in[i] / |in| over n values; nothing written when the sum of squares is 0.
void KVNNormalize(double* pOut, const double* pIn, int pCount);

// Camera-style frame whose local X axis looks from eye at target, rolled by `roll`
// degrees about it; the translation is eye.
void KLookAtRoll2Transformation(KgeAMatrix& pA, const KgeTVector& pEye, const KgeTVector& pTarget, double pRoll,
                                const KgeTVector& pUp);

// Reverse reading: eye = translation, target = eye + row 0, roll = X angle of A.
void KTransformation2LookAtRoll(KgeTVector& pTarget, double& pRoll, KgeTVector& pEye, const KgeAMatrix& pA);

// Frame with row 0 along axis and row 1 perpendicular to up; returns |axis|. A zero
// axis or an up parallel to it makes R the full identity.
double ComputeAxisRM(KgeRMatrix& pR, const KgeTVector& pAxis, const KgeTVector& pUp);

// Re-orthonormalises the 3x3 part, keeping row 0's direction and row 1 in the plane
// of rows 0 and 1.
void Orthogonalize(KgeRMatrix& pR);

// Frame of a triangle: centroid translation, row 0 the unit normal. pArea receives
// twice the triangle's area, pRatio the sine of the angle at p0 (0 when degenerate,
// with an identity 3x3). The fourth column is not written.
void ThreePointsTransform(KgeAMatrix& pA, double& pArea, double& pRatio, const KgeTVector& pP0, const KgeTVector& pP1,
                          const KgeTVector& pP2);

// True when the 3x3 determinant is below 0.
bool IsLeftHand(const KgeAMatrix& pA);

// ---------------------------------------------------------------------------------
// Splitting and joining
// ---------------------------------------------------------------------------------

// S = row lengths (never negative), R = rows / S, T = translation.
void KgeSetTRMS(KgeTVector& pT, KgeRMatrix& pR, KgeSVector& pS, const KgeAMatrix& pA);
// As above, but for a left-handed A the lengths are negated so R is a proper rotation.
void KgeSetRightHandTRMS(KgeTVector& pT, KgeRMatrix& pR, KgeSVector& pS, const KgeAMatrix& pA);
// A's 3x3 rows = R rows times S, translation = T; A's fourth column is not written.
void KgeSetTRMS(KgeAMatrix& pA, const KgeTVector& pT, const KgeRMatrix& pR, const KgeSVector& pS);
// R's 3x3 rows = A's rows divided by their lengths.
void KgeSetRM(KgeRMatrix& pR, const KgeAMatrix& pA);
// Replaces A's rotation by R's, keeping A's row lengths; translation untouched.
void KgeSetRM(KgeAMatrix& pA, const KgeRMatrix& pR);
// The scale S given in R's frame as an axis-aligned scale: the signed row lengths of
// R.diag(S).R^-1.
void KgeRotateScaleAprox(KgeSVector& pSOut, const KgeRMatrix& pR, const KgeSVector& pS);

// ---------------------------------------------------------------------------------
// Quaternions (unnormalised unless stated)
// ---------------------------------------------------------------------------------

// The rotation turning the X axis onto the unit vector v: (0, -v.z, v.y, 1 + v.x).
void KgeSetQuaternion(KgeQuaternion& pQ, const KgeTVector& pV);

// Shortest-arc rotation turning the direction of a onto that of b:
// (a x b, |a||b| + a.b).
void GetQuaternionFromPositionToPosition(KgeQuaternion& pQ, const KgeTVector& pA, const KgeTVector& pB);
// The same on single-precision vertices (computed in single precision).
void GetQuaternionFromPositionToPosition(KgeQuaternion& pQ, const KgeVertex& pA, const KgeVertex& pB);
// The same for the directions origin->a and origin->b.
void GetQuaternionFromPositionToPosition(KgeQuaternion& pQ, const KgeTVector& pOrigin, const KgeTVector& pA,
                                         const KgeTVector& pB);
// For unit vectors: (a x b, a.b + 1).
void GetQuaternionFromPositionToPositionFromUnitVector(KgeQuaternion& pQ, const KgeVertex& pA, const KgeVertex& pB);

// (axis sin(angle/2), cos(angle/2)), angle in radians, axis taken as given.
void QuaternionFromAngularDisplacement(KgeQuaternion& pQ, const KgeTVector& pAxis, double pAngle);

// The twist of a unit quaternion about a unit axis.
void ProjectQuaternionOnAxis(KgeQuaternion& pOut, const KgeTVector& pAxis, const KgeQuaternion& pQ);

// Limits the rotation of q to at most pMaxAngle degrees.
void ConstraintQuaternion(KgeQuaternion& pQ, double pMaxAngle);

// Rotation about p1 swinging p1->p2, keeping its length and heading, until its end is
// at height Y = h.
void GetRToH(KgeRMatrix& pR, const KgeTVector& pP1, const KgeTVector& pP2, double pH);

// ---------------------------------------------------------------------------------
// Other
// ---------------------------------------------------------------------------------

// Places a w x h box into a W x H box at (x, y); see the flags. `pSpare` has no
// effect. Outputs given as null are skipped.
void KFitBoxInBox(double pW, double pH, double pX, double pY, double pBoxW, double pBoxH, bool pCenter, bool pFit,
                  bool pKeepRatio, bool pCover, bool pSpare, double* pOutX, double* pOutY, double* pOutW,
                  double* pOutH);

// Writes the (n - 2) * 3 corner indices of a convex n-gon's triangulation,
// zig-zagging between the low and the high end: (0,1,2), (2,3,0), (0,3,n-1),
// (3,4,n-1), (n-1,4,n-2), ... Nothing is written for n < 3.
void KTriangulation(int* pIndices, int pCount);

// Angle (radians) between sides b and c of a triangle with third side a.
double TriangleBaseAngle(double pA, double pB, double pC);

// Linear blend of X, Y, Z; t clamped to [0, 1].
void KgeLinearInterpolation(KgeTVector& pOut, const KgeTVector& pA, const KgeTVector& pB, double pT);
// Rotation blend through quaternions along the shorter way; t clamped to [0, 1].
void KgeLinearInterpolation(KgeRMatrix& pOut, const KgeRMatrix& pR1, const KgeRMatrix& pR2, double pT);

// Cyclic coordinate descent on `count` joint positions (the last is the end
// effector), moved in place towards the target.
void IKSolve(KgeTVector* pChain, int pCount, double pReach, const KgeTVector& pTarget, int pIterations);

#endif // QOX_BASE_KGEOMETRY_H
