#include "scene/attributes/kqoxsurfaceevaluator.h"

#include <cmath>
#include <cstring>

#include "scene/attributes/kqoxweightedmapping.h"

namespace qoxsdk_600 {

namespace {

// Blending matrices: row k = control point k of the patch, columns = the
// coefficients of t^3, t^2, t and 1.
const double Bezier[16] = {-1, 3, -3, 1, 3, -6, 3, 0, -3, 3, 0, 0, 1, 0, 0, 0};
const double BezierQuadric[16] = {0, 1, -2, 1, 0, -2, 2, 0, 0, 1, 0, 0, 0, 0, 0, 0};
const double Cardinal[16] = {-0.5, 1, -0.5, 0, 1.5, -2.5, 0, 1, -1.5, 2, 0.5, 0, 0.5, -0.5, 0, 0};
const double BSpline[16] = {-1.0 / 6.0, 0.5, -0.5, 1.0 / 6.0, 0.5,       -1, 0, 2.0 / 3.0,
                            -0.5,       0.5, 0.5,  1.0 / 6.0, 1.0 / 6.0, 0,  0, 0};
const double Linear[16] = {0, 0, -1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};

struct KCurveType
{
    const double* mMatrix;
    unsigned int mOrder;
    unsigned int mAfterStep;
};

const KCurveType kCurveTypes[5] = {
    {Bezier, 4, 3}, {BezierQuadric, 3, 2}, {Cardinal, 4, 1}, {BSpline, 4, 1}, {Linear, 2, 1}};

// Output grids beyond this many points (or per-direction counts beyond this
// many samples) are refused: their arrays could not be addressed with the
// 32-bit counts the callers use.
const unsigned long long kMaxGridPoints = 1ULL << 24;
const unsigned long long kMaxDirectionPoints = 1ULL << 22;

const double kDegenerate = 1e-8;

void DeriveMatrix(const double* pMatrix, double* pDerivative)
{
    for (int k = 0; k < 4; ++k)
    {
        pDerivative[k * 3 + 0] = 3.0 * pMatrix[k * 4 + 0];
        pDerivative[k * 3 + 1] = 2.0 * pMatrix[k * 4 + 1];
        pDerivative[k * 3 + 2] = pMatrix[k * 4 + 2];
    }
}

// Basis and derivative rows of one direction at n + 1 parameters, t growing
// by 1 / n at each step.
void BuildUniformTable(const double* pMatrix, unsigned int pSegments, std::vector<double>& pB, std::vector<double>& pdB)
{
    pB.assign((static_cast<size_t>(pSegments) + 1) * 4, 0.0);
    pdB.assign(pB.size(), 0.0);
    const double dt = 1.0 / pSegments;
    double t = 0.0;
    for (unsigned int i = 0; i <= pSegments; ++i)
    {
        for (int k = 0; k < 4; ++k)
        {
            const double* m = pMatrix + k * 4;
            pB[i * 4 + static_cast<size_t>(k)] = m[0] * t * t * t + m[1] * t * t + m[2] * t + m[3];
            pdB[i * 4 + static_cast<size_t>(k)] = 3 * m[0] * t * t + 2 * m[1] * t + m[2];
        }
        t += dt;
    }
}

} // namespace

KQOXSurfaceEvaluator::KQOXSurfaceEvaluator()
    : mModeU(0)
    , mModeV(0)
    , mOrderU(4)
    , mOrderV(4)
    , mStepU(4)
    , mStepV(4)
    , mAfterStepU(1)
    , mAfterStepV(1)
    , mCountX(0)
    , mCountY(0)
    , mDestination(nullptr)
    , mDestinationNormals(nullptr)
    , mTensionU(0.0)
    , mTensionV(0.0)
    , mSourceCountU(0)
    , mSourceCountV(0)
    , mSource(nullptr)
    , mTablesDirty(true)
    , mCapsDirty(true)
    , mBottomCapU(false)
    , mTopCapU(false)
    , mBottomCapV(false)
    , mTopCapV(false)
    , mDerivativeScaleU(1.0)
    , mDerivativeScaleV(1.0)
{
    // No blending until a curve type, a matrix or a tension is given.
    std::memset(mMatrixU, 0, sizeof(mMatrixU));
    std::memset(mMatrixV, 0, sizeof(mMatrixV));
    std::memset(mDerivativeMatrixU, 0, sizeof(mDerivativeMatrixU));
    std::memset(mDerivativeMatrixV, 0, sizeof(mDerivativeMatrixV));
}

KQOXSurfaceEvaluator::~KQOXSurfaceEvaluator() = default;

void KQOXSurfaceEvaluator::Destroy(int)
{
    delete this;
}

KQOXSurfaceEvaluator* KQOXSurfaceEvaluatorCreate()
{
    return new KQOXSurfaceEvaluator;
}

void SetSurfaceCurveTypeU(KQOXSurfaceEvaluator* pEvaluator, int pType)
{
    if (!pEvaluator || pType < 0 || pType >= 5)
        return;
    const KCurveType& type = kCurveTypes[pType];
    pEvaluator->Set_U_Blending_Parameters(type.mMatrix);
    pEvaluator->SetOrderU(type.mOrder);
    pEvaluator->SetAfterStepU(type.mAfterStep);
    pEvaluator->SetEvaluationModeU(4);
}

void SetSurfaceCurveTypeV(KQOXSurfaceEvaluator* pEvaluator, int pType)
{
    if (!pEvaluator || pType < 0 || pType >= 5)
        return;
    const KCurveType& type = kCurveTypes[pType];
    pEvaluator->Set_V_Blending_Parameters(type.mMatrix);
    pEvaluator->SetOrderV(type.mOrder);
    pEvaluator->SetAfterStepV(type.mAfterStep);
    pEvaluator->SetEvaluationModeV(4);
}

KQOXSurfaceEvaluator* QOXCreateGeneralUniformSurface(KQoxPatch::EPatchType pU, KQoxPatch::EPatchType pV)
{
    KQOXSurfaceEvaluator* evaluator = KQOXSurfaceEvaluatorCreate();
    SetSurfaceCurveTypeU(evaluator, pU);
    SetSurfaceCurveTypeV(evaluator, pV);
    return evaluator;
}

// Setters ----------------------------------------------------------------------------

void KQOXSurfaceEvaluator::SetEvaluationModeU(int pMode)
{
    SetDirectionParameter(mModeU, pMode, mCountX);
}

void KQOXSurfaceEvaluator::SetEvaluationModeV(int pMode)
{
    SetDirectionParameter(mModeV, pMode, mCountY);
}

void KQOXSurfaceEvaluator::SetOrderU(unsigned int pOrder)
{
    SetDirectionParameter(mOrderU, pOrder, mCountX);
}

void KQOXSurfaceEvaluator::SetOrderV(unsigned int pOrder)
{
    SetDirectionParameter(mOrderV, pOrder, mCountY);
}

void KQOXSurfaceEvaluator::SetEvaluationStepU(unsigned int pStep)
{
    SetDirectionParameter(mStepU, pStep, mCountX);
}

void KQOXSurfaceEvaluator::SetEvaluationStepV(unsigned int pStep)
{
    SetDirectionParameter(mStepV, pStep, mCountY);
}

void KQOXSurfaceEvaluator::SetAfterStepU(unsigned int pAfterStep)
{
    SetDirectionParameter(mAfterStepU, pAfterStep, mCountX);
}

void KQOXSurfaceEvaluator::SetAfterStepV(unsigned int pAfterStep)
{
    SetDirectionParameter(mAfterStepV, pAfterStep, mCountY);
}

void KQOXSurfaceEvaluator::SetBlending(const double* pMatrix, double* pBlending, double* pDerivative)
{
    if (!pMatrix)
        return;
    std::memcpy(pBlending, pMatrix, sizeof(mMatrixU));
    DeriveMatrix(pBlending, pDerivative);
    mTablesDirty = true;
}

void KQOXSurfaceEvaluator::Set_U_Blending_Parameters(const double* pMatrix)
{
    SetBlending(pMatrix, mMatrixU, mDerivativeMatrixU);
}

void KQOXSurfaceEvaluator::Set_V_Blending_Parameters(const double* pMatrix)
{
    SetBlending(pMatrix, mMatrixV, mDerivativeMatrixV);
}

namespace {

void TensionMatrix(double t, double* pMatrix)
{
    const double s = t * 0.5;
    const double m[16] = {-s, t, -s, 0, 2 - s, s - 3, 0, 1, s - 2, 3 - t, s, 0, s, -s, 0, 0};
    std::memcpy(pMatrix, m, sizeof(m));
}

} // namespace

void KQOXSurfaceEvaluator::SetSurfaceTensionU(double pTension)
{
    mTensionU = pTension;
    double matrix[16];
    TensionMatrix(pTension, matrix);
    Set_U_Blending_Parameters(matrix);
    SetOrderU(4);
    SetAfterStepU(1);
}

void KQOXSurfaceEvaluator::SetSurfaceTensionV(double pTension)
{
    mTensionV = pTension;
    double matrix[16];
    TensionMatrix(pTension, matrix);
    Set_V_Blending_Parameters(matrix);
    SetOrderV(4);
    SetAfterStepV(1);
}

void KQOXSurfaceEvaluator::SetSourceArray(double* pArray, unsigned int pUCount, unsigned int pVCount)
{
    // The output samples depend on the counts: new counts rebuild them.
    if (pUCount != mSourceCountU || pVCount != mSourceCountV)
        mTablesDirty = true;
    mSource = pArray;
    mSourceCountU = pUCount;
    mSourceCountV = pVCount;
    mCapsDirty = true;
    mCountX = 0;
    mCountY = 0;
}

void KQOXSurfaceEvaluator::SetDestinationArray(double* pArray)
{
    mDestination = pArray;
}

void KQOXSurfaceEvaluator::SetDestinationNormalArray(double* pArray)
{
    mDestinationNormals = pArray;
}

void KQOXSurfaceEvaluator::SetAuxSourceArray(int, double*) {}

// Caps -------------------------------------------------------------------------------

bool KQOXSurfaceEvaluator::GetBottomCapU()
{
    if (mCapsDirty)
        Set_Cap_Flag();
    return mBottomCapU;
}

bool KQOXSurfaceEvaluator::GetTopCapU()
{
    if (mCapsDirty)
        Set_Cap_Flag();
    return mTopCapU;
}

bool KQOXSurfaceEvaluator::GetBottomCapV()
{
    if (mCapsDirty)
        Set_Cap_Flag();
    return mBottomCapV;
}

bool KQOXSurfaceEvaluator::GetTopCapV()
{
    if (mCapsDirty)
        Set_Cap_Flag();
    return mTopCapV;
}

void KQOXSurfaceEvaluator::Set_Cap_Flag()
{
    mCapsDirty = false;
    mBottomCapU = mTopCapU = mBottomCapV = mTopCapV = false;
    const unsigned int countU = mSourceCountU;
    const unsigned int countV = mSourceCountV;
    if (!mSource || countU == 0 || countV == 0)
        return;
    // A line of points is degenerate when it does not move along any axis.
    const auto degenerate = [&](unsigned int pFirst, unsigned int pStride, unsigned int pCount) {
        double total[3] = {0.0, 0.0, 0.0};
        for (unsigned int i = 1; i < pCount; ++i)
        {
            const double* a = mSource + static_cast<size_t>(pFirst + (i - 1) * pStride) * 4;
            const double* b = mSource + static_cast<size_t>(pFirst + i * pStride) * 4;
            for (int c = 0; c < 3; ++c)
                total[c] += std::fabs(b[c] - a[c]);
        }
        return total[0] < kDegenerate && total[1] < kDegenerate && total[2] < kDegenerate;
    };
    const auto row = [&](unsigned int r) { return r < countV && degenerate(r * countU, 1, countU); };
    const auto column = [&](unsigned int c) { return c < countU && degenerate(c, countU, countV); };
    mBottomCapV = row(0) || row(1);
    mTopCapV = (countV >= 2 && row(countV - 2)) || row(countV - 1);
    mBottomCapU = column(0) || column(1);
    mTopCapU = (countU >= 2 && column(countU - 2)) || column(countU - 1);
}

void KQOXSurfaceEvaluator::StoreNormal(double* pNormal, const double* a, const double* b) const
{
    // b x a, a being the derivative along U and b the one along V.
    pNormal[0] = a[2] * b[1] - a[1] * b[2];
    pNormal[1] = a[0] * b[2] - a[2] * b[0];
    pNormal[2] = a[1] * b[0] - a[0] * b[1];
}

void KQOXSurfaceEvaluator::Correct_Cap_Normal()
{
    const unsigned int X = mCountX;
    const unsigned int Y = mCountY;
    if (!mDestinationNormals || X < 2 || Y < 2)
        return;
    const double* dU = mDerivativeU.data();
    const double* dV = mDerivativeV.data();
    const auto at = [](const double* pArray, size_t pIndex) { return pArray + pIndex * 4; };
    double normal[3];
    if (mBottomCapU)
    {
        StoreNormal(normal, at(dU, 0), at(dV, 1));
        for (size_t j = 0; j < Y; ++j)
            std::memcpy(mDestinationNormals + (j * X) * 4, normal, sizeof(normal));
    }
    if (mTopCapU)
    {
        StoreNormal(normal, at(dU, X - 1), at(dV, X - 2));
        for (size_t j = 0; j < Y; ++j)
            std::memcpy(mDestinationNormals + (j * X + X - 1) * 4, normal, sizeof(normal));
    }
    if (mBottomCapV)
    {
        StoreNormal(normal, at(dU, X), at(dV, 0));
        for (size_t i = 0; i < X; ++i)
            std::memcpy(mDestinationNormals + i * 4, normal, sizeof(normal));
    }
    if (mTopCapV)
    {
        StoreNormal(normal, at(dU, static_cast<size_t>(Y - 2) * X), at(dV, static_cast<size_t>(Y - 1) * X));
        for (size_t i = 0; i < X; ++i)
            std::memcpy(mDestinationNormals + (static_cast<size_t>(Y - 1) * X + i) * 4, normal, sizeof(normal));
    }
}

// Counts -----------------------------------------------------------------------------

unsigned int KQOXSurfaceEvaluator::ComputeCount(bool pU)
{
    const unsigned int count = pU ? mSourceCountU : mSourceCountV;
    const unsigned int order = pU ? mOrderU : mOrderV;
    const unsigned int step = pU ? mStepU : mStepV;
    const unsigned int afterStep = pU ? mAfterStepU : mAfterStepV;
    const bool wraps = (pU ? mModeU : mModeV) == 1;
    if (!mSource || order == 0 || order > 4 || count < order || step == 0 || afterStep == 0)
        return 0;
    const unsigned long long segments = static_cast<unsigned long long>(step) * afterStep;
    const unsigned long long patches = (count - order) / afterStep + (wraps ? order : 1);
    const unsigned long long points = patches * segments + (wraps ? 0 : 1);
    if (segments >= kMaxDirectionPoints || points > kMaxDirectionPoints)
        return 0;
    return static_cast<unsigned int>(points);
}

void KQOXSurfaceEvaluator::ComputeCounts()
{
    mCountX = ComputeCount(true);
    mCountY = ComputeCount(false);
    // A grid too large to address is refused as a whole.
    if (static_cast<unsigned long long>(mCountX) * mCountY > kMaxGridPoints)
        mCountX = mCountY = 0;
}

unsigned int KQOXSurfaceEvaluator::GetCurvePointCountX()
{
    if (mCountX == 0 || mCountY == 0)
        ComputeCounts();
    return mCountX;
}

unsigned int KQOXSurfaceEvaluator::GetCurvePointCountY()
{
    if (mCountX == 0 || mCountY == 0)
        ComputeCounts();
    return mCountY;
}

bool KQOXSurfaceEvaluator::CanEvaluate()
{
    return GetCurvePointCountX() != 0 && GetCurvePointCountY() != 0;
}

// Tables -----------------------------------------------------------------------------

void KQOXSurfaceEvaluator::BuildUniformSamples(bool pU, std::vector<KSample>& pSamples) const
{
    // Every patch gives n samples, the last one of an open direction one more.
    const unsigned int count = pU ? mSourceCountU : mSourceCountV;
    const unsigned int order = pU ? mOrderU : mOrderV;
    const unsigned int afterStep = pU ? mAfterStepU : mAfterStepV;
    const unsigned int segments = (pU ? mStepU : mStepV) * afterStep;
    const bool wraps = (pU ? mModeU : mModeV) == 1;
    const unsigned int patches = (count - order) / afterStep + (wraps ? order : 1);
    pSamples.clear();
    pSamples.reserve(static_cast<size_t>(patches) * segments + 1);
    for (unsigned int p = 0; p < patches; ++p)
    {
        const unsigned int samples = segments + ((!wraps && p + 1 == patches) ? 1 : 0);
        for (unsigned int i = 0; i < samples; ++i)
            pSamples.push_back(KSample{p * afterStep, i});
    }
}

void KQOXSurfaceEvaluator::SetBiTable()
{
    const unsigned int segments = mStepU * mAfterStepU;
    BuildUniformTable(mMatrixU, segments, mBi, mdBi);
    BuildUniformSamples(true, mSamplesU);
    // Derivatives per half sample step.
    mDerivativeScaleU = 0.5 / static_cast<double>(segments);
}

void KQOXSurfaceEvaluator::SetBjTable()
{
    BuildUniformTable(mMatrixV, mStepV * mAfterStepV, mBj, mdBj);
    BuildUniformSamples(false, mSamplesV);
    mDerivativeScaleV = 0.5 / static_cast<double>(mStepV * mAfterStepV);
}

void KQOXSurfaceEvaluator::BuildProductTable(const std::vector<double>& pJ, const std::vector<double>& pI,
                                             double pScale, std::vector<double>& pTable) const
{
    pTable.clear();
    const size_t rowsJ = pJ.size() / 4, rowsI = pI.size() / 4;
    if (rowsJ == 0 || rowsI == 0 || rowsJ > kMaxProductRecords / rowsI)
        return;
    pTable.resize(rowsJ * rowsI * 16);
    double* out = pTable.data();
    for (size_t j = 0; j < rowsJ; ++j)
        for (size_t i = 0; i < rowsI; ++i, out += 16)
            for (int l = 0; l < 4; ++l)
                for (int k = 0; k < 4; ++k)
                    out[l * 4 + k] = pScale * pJ[j * 4 + static_cast<size_t>(l)] * pI[i * 4 + static_cast<size_t>(k)];
}

void KQOXSurfaceEvaluator::SetBijTable()
{
    BuildProductTable(mBj, mBi, 1.0, mBij);
}

void KQOXSurfaceEvaluator::SetBdijTable()
{
    BuildProductTable(mBj, mdBi, mDerivativeScaleU, mBdij);
}

void KQOXSurfaceEvaluator::SetBidjTable()
{
    BuildProductTable(mdBj, mBi, mDerivativeScaleV, mBidj);
}

void KQOXSurfaceEvaluator::SetOtherTable() {}

// Evaluation -------------------------------------------------------------------------

unsigned int KQOXSurfaceEvaluator::ControlPointIndex(const KSample& pV, const KSample& pU, unsigned int pL,
                                                     unsigned int pK) const
{
    // A window index past the end restarts at the first row or column.
    const unsigned int row = (pV.mStart + pL) % mSourceCountV;
    const unsigned int column = (pU.mStart + pK) % mSourceCountU;
    return row * mSourceCountU + column;
}

void KQOXSurfaceEvaluator::Products(const KSample& pV, const KSample& pU, double* pB, double* pBu, double* pBv) const
{
    const size_t rowsI = mBi.size() / 4;
    const size_t record = (static_cast<size_t>(pV.mRow) * rowsI + pU.mRow) * 16;
    if (!mBij.empty() && !mBdij.empty() && !mBidj.empty())
    {
        std::memcpy(pB, &mBij[record], 16 * sizeof(double));
        std::memcpy(pBu, &mBdij[record], 16 * sizeof(double));
        std::memcpy(pBv, &mBidj[record], 16 * sizeof(double));
        return;
    }
    const double* bi = &mBi[static_cast<size_t>(pU.mRow) * 4];
    const double* dbi = &mdBi[static_cast<size_t>(pU.mRow) * 4];
    const double* bj = &mBj[static_cast<size_t>(pV.mRow) * 4];
    const double* dbj = &mdBj[static_cast<size_t>(pV.mRow) * 4];
    for (int l = 0; l < 4; ++l)
        for (int k = 0; k < 4; ++k)
        {
            pB[l * 4 + k] = 1.0 * bj[l] * bi[k];
            pBu[l * 4 + k] = mDerivativeScaleU * bj[l] * dbi[k];
            pBv[l * 4 + k] = mDerivativeScaleV * dbj[l] * bi[k];
        }
}

bool KQOXSurfaceEvaluator::EvaluateSurface(KQoxWeightedMapping* pMapping)
{
    if (!CanEvaluate() || !mDestination)
        return false;
    if (mTablesDirty)
    {
        SetBiTable();
        SetBjTable();
        SetBijTable();
        SetBdijTable();
        SetBidjTable();
        SetOtherTable();
        mTablesDirty = false;
    }
    const size_t points = static_cast<size_t>(mCountX) * mCountY;
    mDerivativeU.assign(points * 4, 0.0);
    mDerivativeV.assign(points * 4, 0.0);
    if (mCapsDirty)
        Set_Cap_Flag();
    EvaluateSurfaceExactNormal();
    if (pMapping)
        ComputeBlendingFactor(pMapping);
    return true;
}

void KQOXSurfaceEvaluator::EvaluateSurfaceExactNormal()
{
    const unsigned int windowU = WindowU(), windowV = WindowV();
    double B[16], Bu[16], Bv[16];
    size_t output = 0;
    for (const KSample& sv : mSamplesV)
        for (const KSample& su : mSamplesU)
        {
            Products(sv, su, B, Bu, Bv);
            double p[3] = {0, 0, 0}, du[3] = {0, 0, 0}, dv[3] = {0, 0, 0};
            for (unsigned int l = 0; l < windowV; ++l)
                for (unsigned int k = 0; k < windowU; ++k)
                {
                    const double* cp = mSource + static_cast<size_t>(ControlPointIndex(sv, su, l, k)) * 4;
                    const unsigned int e = l * 4 + k;
                    for (int c = 0; c < 3; ++c)
                    {
                        p[c] += B[e] * cp[c];
                        du[c] += Bu[e] * cp[c];
                        dv[c] += Bv[e] * cp[c];
                    }
                }
            StorePoint(output++, p, du, dv);
        }
    Correct_Cap_Normal();
}

void KQOXSurfaceEvaluator::ComputeBlendingFactor(KQoxWeightedMapping* pMapping)
{
    BlendSamples(pMapping, false);
}

void KQOXSurfaceEvaluator::BlendSamples(KQoxWeightedMapping* pMapping, bool pWeighted)
{
    const unsigned int windowU = WindowU(), windowV = WindowV();
    double B[16], Bu[16], Bv[16], basis[16], weights[16], factors[16];
    int indices[16];
    int output = 0;
    for (const KSample& sv : mSamplesV)
        for (const KSample& su : mSamplesU)
        {
            Products(sv, su, B, Bu, Bv);
            int count = 0;
            for (unsigned int l = 0; l < windowV; ++l)
                for (unsigned int k = 0; k < windowU; ++k)
                {
                    const unsigned int index = ControlPointIndex(sv, su, l, k);
                    indices[count] = static_cast<int>(index);
                    weights[count] = pWeighted ? ControlPointWeight(index) : 1.0;
                    basis[count++] = B[l * 4 + k];
                }
            ComputeBlendingCV(count, basis, pWeighted ? weights : nullptr, factors);
            AddBlendingCV(pMapping, count, indices, factors, output++);
        }
}

void KQOXSurfaceEvaluator::StorePoint(int pOutput, const double* pP, const double* pDU, const double* pDV)
{
    const size_t at = static_cast<size_t>(pOutput) * 4;
    std::memcpy(mDestination + at, pP, 3 * sizeof(double));
    std::memcpy(&mDerivativeU[at], pDU, 3 * sizeof(double));
    std::memcpy(&mDerivativeV[at], pDV, 3 * sizeof(double));
    if (mDestinationNormals)
        StoreNormal(mDestinationNormals + at, pDU, pDV);
}

void KQOXSurfaceEvaluator::ComputeBlendingCV(int pCount, const double* pBasis, const double* pWeights, double* pFactors)
{
    for (int i = 0; i < pCount; ++i)
        pFactors[i] = pWeights ? pBasis[i] * pWeights[i] : pBasis[i];
}

void KQOXSurfaceEvaluator::AddBlendingCV(KQoxWeightedMapping* pMapping, int pCount, const int* pControlPoints,
                                         const double* pFactors, int pOutput)
{
    if (!pMapping)
        return;
    for (int i = 0; i < pCount; ++i)
        if (pFactors[i] != 0.0)
            pMapping->Add(pControlPoints[i], pOutput, pFactors[i]);
}

} // namespace qoxsdk_600
