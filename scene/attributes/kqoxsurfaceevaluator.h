#ifndef QOX_SCENE_ATTRIBUTES_KQOXSURFACEEVALUATOR_H
#define QOX_SCENE_ATTRIBUTES_KQOXSURFACEEVALUATOR_H

// Surface evaluators: tessellate a grid of control points (4 doubles each:
// x, y, z, w; U varying fastest) into a regular grid of surface points with
// normals (4 doubles each, U fastest), and on request record in a weighted
// mapping how much each control point contributes to each output point.
//
// KQOXSurfaceEvaluator handles the uniform patch types: each direction is
// blended by a 4x4 matrix over a patch of `order` control points that
// advances by an after-step. KQOXNURBSurfaceEvaluator handles rational
// B-spline surfaces over knot vectors (orders 1 to 4).
//
// Evaluators are made by the free creation functions and released with
// Destroy. They never own the source, destination, normal, weight, knot or
// scratch arrays handed to them.
//
// A surface the evaluator cannot tessellate (a source with fewer points than
// the order in a direction, a step or after-step of 0, no source, an order
// above 4, no non-empty knot span, or an output grid too large to address)
// reports point counts of 0, and EvaluateSurface refuses it: it returns false
// and writes nothing.

#include <vector>

#include "scene/attributes/kqoxpatch.h"

namespace qoxsdk_600 {

class KQoxWeightedMapping;

class KQOXSurfaceEvaluator
{
public:
    KQOXSurfaceEvaluator();
    // Frees the evaluator's own tables and buffers only.
    virtual ~KQOXSurfaceEvaluator();
    KQOXSurfaceEvaluator(const KQOXSurfaceEvaluator&) = delete;
    KQOXSurfaceEvaluator& operator=(const KQOXSurfaceEvaluator&) = delete;

    // Deletes the evaluator (the argument is ignored).
    void Destroy(int pLocal = 0);

    // Builds the tables when needed, writes the points, derivatives and
    // normals, then, with a mapping, adds (control point, output point,
    // factor) for every non-zero contribution. False (nothing written) for a
    // surface that cannot be tessellated or without a destination array.
    virtual bool EvaluateSurface(KQoxWeightedMapping* pMapping);

    // 1: the direction wraps around; any other value: open.
    virtual void SetEvaluationModeU(int pMode);
    virtual void SetEvaluationModeV(int pMode);
    // Output segments per control-point advance.
    virtual void SetEvaluationStepU(unsigned int pStep);
    virtual void SetEvaluationStepV(unsigned int pStep);
    // Degenerate edges of the source (a collapsed first/last two rows or columns).
    virtual bool GetBottomCapU();
    virtual bool GetTopCapU();
    virtual bool GetBottomCapV();
    virtual bool GetTopCapV();
    // Output points, 4 doubles each; the fourth value is left as it was.
    virtual void SetDestinationArray(double* pArray);
    // Output point counts in U and V; 0 for a surface that cannot be tessellated.
    virtual unsigned int GetCurvePointCountX();
    virtual unsigned int GetCurvePointCountY();
    // Output normals, 4 doubles each, not normalised.
    virtual void SetDestinationNormalArray(double* pArray);
    // Cardinal blending with the tension (1 gives Catmull-Rom); order 4,
    // after-step 1.
    virtual void SetSurfaceTensionU(double pTension);
    virtual void SetSurfaceTensionV(double pTension);
    virtual void SetSourceArray(double* pArray, unsigned int pUCount, unsigned int pVCount);
    // Nothing here; see the NURBS evaluator.
    virtual void SetAuxSourceArray(int pIndex, double* pArray);

    // Table builders, in the order EvaluateSurface runs them: the basis and
    // derivative rows of each direction (Bi, dBi over U; Bj, dBj over V),
    // then their tensor products, 16 values per pair of rows (index l * 4 +
    // k): Bij = Bj[l] * Bi[k], Bdij = (0.5 / n_U) * Bj[l] * dBi[k], Bidj =
    // (0.5 / n_V) * dBj[l] * Bi[k], n being a direction's samples per patch.
    // Product tables beyond kMaxProductRecords pairs are not stored; their
    // values are then formed per point, the same numbers either way.
    virtual void SetBiTable();
    virtual void SetBjTable();
    virtual void SetBijTable();
    virtual void SetBdijTable();
    virtual void SetBidjTable();
    virtual void SetOtherTable();
    // Points, derivatives and normals, then the cap normal correction.
    virtual void EvaluateSurfaceExactNormal();
    // Fills the mapping with the basis factor of every contributing control point.
    virtual void ComputeBlendingFactor(KQoxWeightedMapping* pMapping);
    // The factors of one output point's window: basis values times the
    // weights when weights are given.
    virtual void ComputeBlendingCV(int pCount, const double* pBasis, const double* pWeights, double* pFactors);
    // Adds every non-zero factor of the window to the mapping.
    virtual void AddBlendingCV(KQoxWeightedMapping* pMapping, int pCount, const int* pControlPoints,
                               const double* pFactors, int pOutput);

    // Direction set-up --------------------------------------------------------------
    void SetOrderU(unsigned int pOrder);
    void SetOrderV(unsigned int pOrder);
    void SetAfterStepU(unsigned int pAfterStep);
    void SetAfterStepV(unsigned int pAfterStep);
    // 16 values: row k = control point k of the patch, columns = coefficients
    // of t^3, t^2, t, 1.
    void Set_U_Blending_Parameters(const double* pMatrix);
    void Set_V_Blending_Parameters(const double* pMatrix);
    // Finds the degenerate edges of the source.
    void Set_Cap_Flag();

    int GetEvaluationModeU() const { return mModeU; }
    int GetEvaluationModeV() const { return mModeV; }
    unsigned int GetOrderU() const { return mOrderU; }
    unsigned int GetOrderV() const { return mOrderV; }
    unsigned int GetEvaluationStepU() const { return mStepU; }
    unsigned int GetEvaluationStepV() const { return mStepV; }
    unsigned int GetAfterStepU() const { return mAfterStepU; }
    unsigned int GetAfterStepV() const { return mAfterStepV; }
    double GetSurfaceTensionU() const { return mTensionU; }
    double GetSurfaceTensionV() const { return mTensionV; }
    // Surface derivatives along U and V of the last evaluation, 4 doubles per
    // output point; null before the first evaluation.
    const double* GetDerivativeU() const { return mDerivativeU.empty() ? nullptr : mDerivativeU.data(); }
    const double* GetDerivativeV() const { return mDerivativeV.empty() ? nullptr : mDerivativeV.data(); }
    // The stored product tables of the last evaluation (16 values per pair
    // of rows, V row outer), null when none are stored.
    const double* GetBijTable() const { return mBij.empty() ? nullptr : mBij.data(); }
    const double* GetBdijTable() const { return mBdij.empty() ? nullptr : mBdij.data(); }
    const double* GetBidjTable() const { return mBidj.empty() ? nullptr : mBidj.data(); }

    // Pairs of rows up to which the product tables are stored (16 values
    // each, three tables: 48 MB at most).
    static const size_t kMaxProductRecords = size_t(1) << 17;

protected:
    // One output sample of one direction: the first control row or column of
    // its window and its row in that direction's basis table.
    struct KSample
    {
        unsigned int mStart;
        unsigned int mRow;
    };

    // Keeps one parameter of a direction; the tables and that direction's
    // point count are then made again.
    template <typename T>
    void SetDirectionParameter(T& pParameter, T pValue, unsigned int& pPointCount)
    {
        pParameter = pValue;
        mTablesDirty = true;
        pPointCount = 0;
    }
    // Keeps a direction's blending matrix (ignored when null) and its derivative.
    void SetBlending(const double* pMatrix, double* pBlending, double* pDerivative);
    // Output count of a direction, 0 when it cannot be tessellated.
    virtual unsigned int ComputeCount(bool pU);
    // Both counts, or 0 and 0 for a grid too large to address.
    void ComputeCounts();
    // The output samples of a uniform direction.
    void BuildUniformSamples(bool pU, std::vector<KSample>& pSamples) const;
    // Whether the surface can be tessellated as set up.
    bool CanEvaluate();
    // Index of window entry (l, k) of the sample pair in the source.
    unsigned int ControlPointIndex(const KSample& pV, const KSample& pU, unsigned int pL, unsigned int pK) const;
    // Window sizes used per direction.
    virtual unsigned int WindowU() const { return 4; }
    virtual unsigned int WindowV() const { return 4; }
    // One product table over every pair of rows of the V table (outer) and
    // the U table: pScale * pJ[l] * pI[k]. Left empty beyond
    // kMaxProductRecords pairs.
    void BuildProductTable(const std::vector<double>& pJ, const std::vector<double>& pI, double pScale,
                           std::vector<double>& pTable) const;
    // Basis products of one output point: B, dB/du and dB/dv per window entry
    // (index l * 4 + k), from the product tables or, when they are not
    // stored, formed the same way from the per-direction tables.
    void Products(const KSample& pV, const KSample& pU, double* pB, double* pBu, double* pBv) const;
    // Replaces the normals of the capped edges.
    void Correct_Cap_Normal();
    void StoreNormal(double* pNormal, const double* pDU, const double* pDV) const;
    // Stores output point pOutput: its position, its two derivatives and,
    // when normals are wanted, its normal.
    void StorePoint(int pOutput, const double* pP, const double* pDU, const double* pDV);
    // Adds every output point's blending of its window of control points to
    // pMapping; with pWeighted each control point's weight takes part.
    void BlendSamples(KQoxWeightedMapping* pMapping, bool pWeighted);
    // The weight of a control point in a weighted blend; 1 here.
    virtual double ControlPointWeight(unsigned int pControlPoint) const
    {
        (void)pControlPoint;
        return 1.0;
    }

    int mModeU, mModeV;
    unsigned int mOrderU, mOrderV;
    unsigned int mStepU, mStepV;
    unsigned int mAfterStepU, mAfterStepV;
    unsigned int mCountX, mCountY;
    double* mDestination;
    double* mDestinationNormals;
    double mTensionU, mTensionV;
    unsigned int mSourceCountU, mSourceCountV;
    double* mSource;
    std::vector<double> mDerivativeU, mDerivativeV;
    bool mTablesDirty;
    bool mCapsDirty;
    bool mBottomCapU, mTopCapU, mBottomCapV, mTopCapV;
    double mMatrixU[16], mMatrixV[16];
    double mDerivativeMatrixU[12], mDerivativeMatrixV[12];
    // Per-direction basis and derivative tables, 4 values per row.
    std::vector<double> mBi, mBj, mdBi, mdBj;
    // Factors of the derivative products (0.5 / n for the uniform types, 1
    // for NURBS).
    double mDerivativeScaleU, mDerivativeScaleV;
    // Output samples of each direction, in output order.
    std::vector<KSample> mSamplesU, mSamplesV;
    // Tensor-product tables, 16 values per pair of rows (empty when not stored).
    std::vector<double> mBij, mBdij, mBidj;
};

// A uniform evaluator with the default set-up (order 4, step 4, after-step
// 1, open, no blending matrix).
KQOXSurfaceEvaluator* KQOXSurfaceEvaluatorCreate();
// A uniform evaluator blending U and V with the patch types' matrices.
KQOXSurfaceEvaluator* QOXCreateGeneralUniformSurface(KQoxPatch::EPatchType pU, KQoxPatch::EPatchType pV);
// For a type below 5: the type's matrix, order and after-step, and the
// direction opened. Any other type changes nothing.
void SetSurfaceCurveTypeU(KQOXSurfaceEvaluator* pEvaluator, int pType);
void SetSurfaceCurveTypeV(KQOXSurfaceEvaluator* pEvaluator, int pType);

class KQOXNURBSurfaceEvaluator : public KQOXSurfaceEvaluator
{
public:
    KQOXNURBSurfaceEvaluator();
    ~KQOXNURBSurfaceEvaluator() override;

    // 0 control-point weights (one per control point; none means 1.0 each),
    // 1 U knot vector, 2 V knot vector, 3 and 4 stored only, 5 a scratch of
    // 3 doubles per control point (the evaluator uses its own without one).
    void SetAuxSourceArray(int pIndex, double* pArray) override;
    unsigned int GetCurvePointCountX() override;
    unsigned int GetCurvePointCountY() override;

    // One row per output sample of the direction: the `order` basis values
    // of the sample's span (the rest 0) and their derivatives.
    void SetBiTable() override;
    void SetBjTable() override;
    // One record per output point, in output order: Bij = Bj[l] * Bi[k],
    // Bdij = Bj[l] * dBi[k], Bidj = dBj[l] * Bi[k] (no step scaling).
    void SetBijTable() override;
    void SetBdijTable() override;
    void SetBidjTable() override;
    // Per output point the weight sums W, W_u and W_v of its window
    // (Bij, Bdij and Bidj times the control points' weights). Built again at
    // every evaluation, so that weights changed in place are seen.
    void SetOtherTable() override;
    void EvaluateSurfaceExactNormal() override;
    void ComputeBlendingFactor(KQoxWeightedMapping* pMapping) override;

    // Non-empty knot spans of each direction over the evaluated range.
    unsigned int GetSpanCountU();
    unsigned int GetSpanCountV();
    // The weight sums of the last evaluation, 3 per output point (W, W_u,
    // W_v); null before the first.
    const double* GetWeightTable() const { return mWeightTable.empty() ? nullptr : mWeightTable.data(); }
    // Per non-empty span of a direction, how far the control-point window
    // moves to reach it, in doubles of the weighted scratch (3 per control
    // point); one entry per span, null before the tables are built.
    const int* GetSpanAdvanceU() const { return mSpanAdvanceU.empty() ? nullptr : mSpanAdvanceU.data(); }
    const int* GetSpanAdvanceV() const { return mSpanAdvanceV.empty() ? nullptr : mSpanAdvanceV.data(); }

protected:
    unsigned int ComputeCount(bool pU) override;
    unsigned int WindowU() const override { return mOrderU; }
    unsigned int WindowV() const override { return mOrderV; }
    // Cursor positions (first basis index) of the non-empty spans of a direction.
    void FindSpans(bool pU, std::vector<unsigned int>& pSpans) const;
    void BuildDirection(bool pU);
    double WeightOf(unsigned int pControlPoint) const;
    double ControlPointWeight(unsigned int pControlPoint) const override { return WeightOf(pControlPoint); }

    double* mWeights;
    double* mScratch;
    double* mAux3;
    double* mAux4;
    double* mKnotsU;
    double* mKnotsV;
    unsigned int mSpanCountU, mSpanCountV;
    unsigned int mGridPointCount;
    std::vector<double> mOwnScratch;
    std::vector<double> mWeightTable;
    std::vector<int> mSpanAdvanceU, mSpanAdvanceV;
    // Set by SetOtherTable, cleared by the evaluation that used the table.
    bool mWeightTableFresh;
};

KQOXNURBSurfaceEvaluator* KQOXNURBSurfaceEvaluatorCreate(unsigned int pUOrder, unsigned int pVOrder);

// Basis function N(i, k) over the knots at t, and its first derivative
// (Cox-de Boor, with spans shorter than 1e-8 treated as empty).
double Compute_Bik(double t, unsigned int i, unsigned int k, double* knots);
double Compute_dBik(double t, unsigned int i, unsigned int k, double* knots);
// The number of j from order - 1 to n - order - 1 with knots[j + 1] -
// knots[j] > 1e-8 (0 when that range is empty).
unsigned int Find_Number_Of_Span(double* knots, unsigned int n, unsigned int order);

} // namespace qoxsdk_600

#endif
