#include <climits>
#include <cmath>
#include <cstring>

#include "scene/attributes/kqoxsurfaceevaluator.h"
#include "scene/attributes/kqoxweightedmapping.h"

namespace qoxsdk_600 {

namespace {

const double kEmptySpan = 1e-8;
const unsigned int kNoSpan = UINT_MAX;
const unsigned long long kMaxDirectionPoints = 1ULL << 22;

// Order-1 basis: the half-open knot interval, or, given a span, exactly that
// span (closed on the right too, so that the end parameter of an open
// direction keeps the last span's polynomial instead of dropping to 0).
double Step(double t, unsigned int i, const double* knots, unsigned int pSpan)
{
    if (pSpan != kNoSpan)
        return i == pSpan ? 1.0 : 0.0;
    return (knots[i] <= t && t < knots[i + 1]) ? 1.0 : 0.0;
}

double Basis(double t, unsigned int i, unsigned int k, const double* knots, unsigned int pSpan)
{
    if (k <= 1)
        return Step(t, i, knots, pSpan);
    double value = 0.0;
    const double d1 = knots[i + k - 1] - knots[i];
    if (d1 > kEmptySpan)
        value += (t - knots[i]) / d1 * Basis(t, i, k - 1, knots, pSpan);
    const double d2 = knots[i + k] - knots[i + 1];
    if (d2 > kEmptySpan)
        value += (knots[i + k] - t) / d2 * Basis(t, i + 1, k - 1, knots, pSpan);
    return value;
}

double BasisDerivative(double t, unsigned int i, unsigned int k, const double* knots, unsigned int pSpan)
{
    if (k <= 1)
        return 0.0;
    double value = 0.0;
    const double d1 = knots[i + k - 1] - knots[i];
    if (d1 > kEmptySpan)
        value += (Basis(t, i, k - 1, knots, pSpan) + (t - knots[i]) * BasisDerivative(t, i, k - 1, knots, pSpan)) / d1;
    const double d2 = knots[i + k] - knots[i + 1];
    if (d2 > kEmptySpan)
        value += (-Basis(t, i + 1, k - 1, knots, pSpan) +
                  (knots[i + k] - t) * BasisDerivative(t, i + 1, k - 1, knots, pSpan)) /
                 d2;
    return value;
}

} // namespace

double Compute_Bik(double t, unsigned int i, unsigned int k, double* knots)
{
    return knots ? Basis(t, i, k, knots, kNoSpan) : 0.0;
}

double Compute_dBik(double t, unsigned int i, unsigned int k, double* knots)
{
    return knots ? BasisDerivative(t, i, k, knots, kNoSpan) : 0.0;
}

unsigned int Find_Number_Of_Span(double* knots, unsigned int n, unsigned int order)
{
    if (!knots || order == 0)
        return 0;
    unsigned int spans = 0;
    for (long long j = static_cast<long long>(order) - 1; j <= static_cast<long long>(n) - order - 1; ++j)
        if (knots[j + 1] - knots[j] > kEmptySpan)
            ++spans;
    return spans;
}

KQOXNURBSurfaceEvaluator::KQOXNURBSurfaceEvaluator()
    : mWeights(nullptr)
    , mScratch(nullptr)
    , mAux3(nullptr)
    , mAux4(nullptr)
    , mKnotsU(nullptr)
    , mKnotsV(nullptr)
    , mSpanCountU(0)
    , mSpanCountV(0)
    , mGridPointCount(0)
    , mWeightTableFresh(false)
{}

KQOXNURBSurfaceEvaluator::~KQOXNURBSurfaceEvaluator() = default;

KQOXNURBSurfaceEvaluator* KQOXNURBSurfaceEvaluatorCreate(unsigned int pUOrder, unsigned int pVOrder)
{
    KQOXNURBSurfaceEvaluator* evaluator = new KQOXNURBSurfaceEvaluator;
    evaluator->SetOrderU(pUOrder);
    evaluator->SetOrderV(pVOrder);
    return evaluator;
}

void KQOXNURBSurfaceEvaluator::SetAuxSourceArray(int pIndex, double* pArray)
{
    switch (pIndex)
    {
    case 0: mWeights = pArray; break;
    case 1:
        mKnotsU = pArray;
        mTablesDirty = true;
        break;
    case 2:
        mKnotsV = pArray;
        mTablesDirty = true;
        break;
    case 3: mAux3 = pArray; break;
    case 4: mAux4 = pArray; break;
    case 5: mScratch = pArray; break;
    default: break;
    }
    mCountX = 0;
    mCountY = 0;
}

void KQOXNURBSurfaceEvaluator::FindSpans(bool pU, std::vector<unsigned int>& pSpans) const
{
    // Cursor s names the span [knots[s + order - 1], knots[s + order]] and the
    // basis functions s .. s + order - 1; empty spans are skipped.
    pSpans.clear();
    const double* knots = pU ? mKnotsU : mKnotsV;
    const unsigned int count = pU ? mSourceCountU : mSourceCountV;
    const unsigned int order = pU ? mOrderU : mOrderV;
    const bool wraps = (pU ? mModeU : mModeV) == 1;
    if (!knots || order == 0 || order > 4 || count < order)
        return;
    const unsigned int last = wraps ? count - 1 : count - order;
    for (unsigned int s = 0; s <= last; ++s)
        if (knots[s + order] - knots[s + order - 1] > kEmptySpan)
            pSpans.push_back(s);
}

unsigned int KQOXNURBSurfaceEvaluator::ComputeCount(bool pU)
{
    const unsigned int step = pU ? mStepU : mStepV;
    const bool wraps = (pU ? mModeU : mModeV) == 1;
    if (!mSource || step == 0)
        return 0;
    std::vector<unsigned int> spans;
    FindSpans(pU, spans);
    (pU ? mSpanCountU : mSpanCountV) = static_cast<unsigned int>(spans.size());
    if (spans.empty())
        return 0;
    const unsigned long long points = static_cast<unsigned long long>(spans.size()) * step + (wraps ? 0 : 1);
    if (points > kMaxDirectionPoints)
        return 0;
    return static_cast<unsigned int>(points);
}

unsigned int KQOXNURBSurfaceEvaluator::GetCurvePointCountX()
{
    return KQOXSurfaceEvaluator::GetCurvePointCountX();
}

unsigned int KQOXNURBSurfaceEvaluator::GetCurvePointCountY()
{
    return KQOXSurfaceEvaluator::GetCurvePointCountY();
}

unsigned int KQOXNURBSurfaceEvaluator::GetSpanCountU()
{
    std::vector<unsigned int> spans;
    FindSpans(true, spans);
    return mSpanCountU = static_cast<unsigned int>(spans.size());
}

unsigned int KQOXNURBSurfaceEvaluator::GetSpanCountV()
{
    std::vector<unsigned int> spans;
    FindSpans(false, spans);
    return mSpanCountV = static_cast<unsigned int>(spans.size());
}

void KQOXNURBSurfaceEvaluator::BuildDirection(bool pU)
{
    const double* knots = pU ? mKnotsU : mKnotsV;
    const unsigned int order = pU ? mOrderU : mOrderV;
    const unsigned int step = pU ? mStepU : mStepV;
    const bool wraps = (pU ? mModeU : mModeV) == 1;
    std::vector<double>& B = pU ? mBi : mBj;
    std::vector<double>& dB = pU ? mdBi : mdBj;
    std::vector<KSample>& samples = pU ? mSamplesU : mSamplesV;

    std::vector<unsigned int> spans;
    FindSpans(pU, spans);
    (pU ? mSpanCountU : mSpanCountV) = static_cast<unsigned int>(spans.size());
    // The window moves 3 scratch doubles per control point it advances.
    std::vector<int>& advance = pU ? mSpanAdvanceU : mSpanAdvanceV;
    advance.assign(spans.size(), 0);
    for (size_t q = 0; q < spans.size(); ++q)
        advance[q] = 3 * static_cast<int>(spans[q] - (q == 0 ? 0 : spans[q - 1]));
    const size_t total = spans.size() * step + (wraps ? 0 : 1);
    B.assign(total * 4, 0.0);
    dB.assign(total * 4, 0.0);
    samples.clear();
    samples.reserve(total);
    for (size_t q = 0; q < spans.size(); ++q)
    {
        const unsigned int s = spans[q];
        const unsigned int span = s + order - 1;
        const double t0 = knots[span];
        const double dt = knots[span + 1] - t0;
        const unsigned int count = step + ((!wraps && q + 1 == spans.size()) ? 1 : 0);
        double t = t0;
        for (unsigned int m = 0; m < count; ++m)
        {
            const size_t row = samples.size();
            // Exactly `order` basis functions, evaluated on this span.
            for (unsigned int k = 0; k < order; ++k)
            {
                B[row * 4 + k] = Basis(t, s + k, order, knots, span);
                dB[row * 4 + k] = BasisDerivative(t, s + k, order, knots, span);
            }
            samples.push_back(KSample{s, static_cast<unsigned int>(row)});
            t += dt / step;
        }
    }
}

void KQOXNURBSurfaceEvaluator::SetBiTable()
{
    BuildDirection(true);
}

void KQOXNURBSurfaceEvaluator::SetBjTable()
{
    BuildDirection(false);
}

void KQOXNURBSurfaceEvaluator::SetBijTable()
{
    BuildProductTable(mBj, mBi, 1.0, mBij);
}

void KQOXNURBSurfaceEvaluator::SetBdijTable()
{
    BuildProductTable(mBj, mdBi, 1.0, mBdij);
}

void KQOXNURBSurfaceEvaluator::SetBidjTable()
{
    BuildProductTable(mdBj, mBi, 1.0, mBidj);
}

void KQOXNURBSurfaceEvaluator::SetOtherTable()
{
    const size_t points = mSamplesU.size() * mSamplesV.size();
    // Every point gets its sums below; the fill marks any that would not.
    mWeightTable.assign(points * 3, -100000000.0);
    const unsigned int windowU = mOrderU, windowV = mOrderV;
    double B[16], Bu[16], Bv[16];
    double* out = mWeightTable.data();
    for (const KSample& sv : mSamplesV)
        for (const KSample& su : mSamplesU)
        {
            Products(sv, su, B, Bu, Bv);
            double W = 0.0, Wu = 0.0, Wv = 0.0;
            for (unsigned int l = 0; l < windowV; ++l)
                for (unsigned int k = 0; k < windowU; ++k)
                {
                    const double w = WeightOf(ControlPointIndex(sv, su, l, k));
                    const unsigned int e = l * 4 + k;
                    W += B[e] * w;
                    Wu += Bu[e] * w;
                    Wv += Bv[e] * w;
                }
            out[0] = W;
            out[1] = Wu;
            out[2] = Wv;
            out += 3;
        }
    mWeightTableFresh = true;
}

double KQOXNURBSurfaceEvaluator::WeightOf(unsigned int pControlPoint) const
{
    return mWeights ? mWeights[pControlPoint] : 1.0;
}

void KQOXNURBSurfaceEvaluator::EvaluateSurfaceExactNormal()
{
    const size_t controlPoints = static_cast<size_t>(mSourceCountU) * mSourceCountV;
    double* scratch = mScratch;
    if (!scratch)
    {
        mOwnScratch.assign(controlPoints * 3, 0.0);
        scratch = mOwnScratch.data();
    }
    for (size_t i = 0; i < controlPoints; ++i)
    {
        const double w = WeightOf(static_cast<unsigned int>(i));
        for (int c = 0; c < 3; ++c)
            scratch[i * 3 + c] = w * mSource[i * 4 + c];
    }
    mGridPointCount = mCountX * mCountY;
    // Weights may have changed since the tables were built.
    if (!mWeightTableFresh)
        SetOtherTable();
    mWeightTableFresh = false;

    const unsigned int windowU = mOrderU, windowV = mOrderV;
    double B[16], Bu[16], Bv[16];
    size_t output = 0;
    for (const KSample& sv : mSamplesV)
        for (const KSample& su : mSamplesU)
        {
            Products(sv, su, B, Bu, Bv);
            double s[3] = {0, 0, 0}, su3[3] = {0, 0, 0}, sv3[3] = {0, 0, 0};
            const double* weightSums = &mWeightTable[output * 3];
            const double W = weightSums[0], Wu = weightSums[1], Wv = weightSums[2];
            for (unsigned int l = 0; l < windowV; ++l)
                for (unsigned int k = 0; k < windowU; ++k)
                {
                    const unsigned int index = ControlPointIndex(sv, su, l, k);
                    const double* cp = scratch + static_cast<size_t>(index) * 3;
                    const unsigned int e = l * 4 + k;
                    for (int c = 0; c < 3; ++c)
                    {
                        s[c] += B[e] * cp[c];
                        su3[c] += Bu[e] * cp[c];
                        sv3[c] += Bv[e] * cp[c];
                    }
                }
            double p[3] = {0, 0, 0}, du[3] = {0, 0, 0}, dv[3] = {0, 0, 0};
            // Weights that cancel out leave no point to project: it stays at
            // the origin rather than becoming infinite.
            if (W != 0.0)
                for (int c = 0; c < 3; ++c)
                {
                    p[c] = s[c] / W;
                    du[c] = (su3[c] - p[c] * Wu) / W;
                    dv[c] = (sv3[c] - p[c] * Wv) / W;
                }
            StorePoint(output++, p, du, dv);
        }
    Correct_Cap_Normal();
}

void KQOXNURBSurfaceEvaluator::ComputeBlendingFactor(KQoxWeightedMapping* pMapping)
{
    // The caller's scratch now holds each control point's weight three times.
    if (mScratch)
    {
        const size_t controlPoints = static_cast<size_t>(mSourceCountU) * mSourceCountV;
        for (size_t i = 0; i < controlPoints; ++i)
            mScratch[i * 3] = mScratch[i * 3 + 1] = mScratch[i * 3 + 2] = WeightOf(static_cast<unsigned int>(i));
    }
    BlendSamples(pMapping, true);
}

} // namespace qoxsdk_600
