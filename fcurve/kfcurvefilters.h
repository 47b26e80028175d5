#ifndef QOX_FCURVE_KFCURVEFILTERS_H
#define QOX_FCURVE_KFCURVEFILTERS_H

// Curve filters: operations that rewrite the keys of one curve, of a set of
// curves taken together, or of a curve node and optionally its subtree, inside
// a time range. KFCurveFilter is the base of every filter; this header also
// declares the constant key reducer, the gimbal-flip remover, the Bezier-fit
// key reducer, the key synchroniser and the matrix converter.
//
// Filters report failures through their KError: the code indexes the
// filter's message table, the text is the filter's own longer message.

#include "base/karray.h"
#include "base/kerror.h"
#include "base/kmath.h"
#include "base/ktime.h"

class KFCurve;
class KFCurveNode;

// ---------------------------------------------------------------------------
// Filter base.
// ---------------------------------------------------------------------------
class KFCurveFilter
{
public:
    // name and messages are constant texts of the derived class (not copied).
    KFCurveFilter(const char* name, const char* const* messages, int messageCount);
    virtual ~KFCurveFilter();

    KFCurveFilter(const KFCurveFilter&) = delete;
    KFCurveFilter& operator=(const KFCurveFilter&) = delete;

    const char* GetName() const { return mName; }
    KTime& GetStartTime() { return mStart; }
    void SetStartTime(const KTime& time) { mStart = time; }
    KTime& GetStopTime() { return mStop; }
    void SetStopTime(const KTime& time) { mStop = time; }

    // First key to filter: one key before the range (-1 without keys).
    int GetStartKey(KFCurve& curve) const;
    // One past the last key to filter (-1 without keys).
    int GetStopKey(KFCurve& curve) const;

    // Node form: children first (with recursive), then the node's own curve.
    virtual bool NeedApply(KFCurveNode& node, bool recursive);
    // Curve-array form: the single-curve form on each curve; true.
    virtual bool NeedApply(KFCurve** curves, int count);
    virtual bool NeedApply(KFCurve& curve);

    // Node form: children first (with recursive), then the node's own curve;
    // true.
    virtual bool Apply(KFCurveNode& node, bool recursive);
    // Curve-array form: the single-curve form on each curve in order; true.
    virtual bool Apply(KFCurve** curves, int count);
    virtual bool Apply(KFCurve& curve) = 0;

    // Range minus infinity to infinity.
    virtual void Reset();
    // Progress hook; nothing in the base.
    virtual void UpdateProgressInformation(KTime start, KTime stop);

    KError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString(); }

protected:
    const char* mName;
    KTime mStart;
    KTime mStop;
    KError mError;
};

// ---------------------------------------------------------------------------
// Constant key reducer: deletes runs of keys whose values stay within a
// tolerance of each other.
// ---------------------------------------------------------------------------
class KFCurveFilterConstantKeyReducer : public KFCurveFilter
{
public:
    KFCurveFilterConstantKeyReducer();
    ~KFCurveFilterConstantKeyReducer() override;

    using KFCurveFilter::Apply;
    // Picks the tolerance by channel kind (translation, rotation, scaling,
    // other), runs the base traversal, restores the tolerances.
    bool Apply(KFCurveNode& node, bool recursive) override;
    bool Apply(KFCurve** curves, int count) override;
    bool Apply(KFCurve& curve) override;
    void Reset() override;

    double GetDerivativeTolerance() const { return mDerivativeTolerance; }
    void SetDerivativeTolerance(double tolerance) { mDerivativeTolerance = tolerance; }
    double GetValueTolerance() const { return mValueTolerance; }
    void SetValueTolerance(double tolerance) { mValueTolerance = tolerance; }
    bool GetKeepFirstAndLastKeys() const { return mKeepFirstAndLastKeys; }
    void SetKeepFirstAndLastKeys(bool keep) { mKeepFirstAndLastKeys = keep; }
    bool GetKeepOneKey() const { return mKeepOneKey; }
    void SetKeepOneKey(bool keep) { mKeepOneKey = keep; }
    double GetTranslationThreshold() const { return mTranslationThreshold; }
    void SetTranslationThreshold(double threshold) { mTranslationThreshold = threshold; }
    double GetRotationThreshold() const { return mRotationThreshold; }
    void SetRotationThreshold(double threshold) { mRotationThreshold = threshold; }
    double GetScalingThreshold() const { return mScalingThreshold; }
    void SetScalingThreshold(double threshold) { mScalingThreshold = threshold; }
    double GetDefaultThreshold() const { return mDefaultThreshold; }
    void SetDefaultThreshold(double threshold) { mDefaultThreshold = threshold; }

private:
    double mDerivativeTolerance;
    double mValueTolerance;
    double mTranslationThreshold;
    double mRotationThreshold;
    double mScalingThreshold;
    double mDefaultThreshold;
    bool mKeepFirstAndLastKeys;
    bool mKeepOneKey;
};

// True when key index may be dropped: not a cubic key other than a pure
// cubic auto one, and every key from index - 2 to index + 2 that lies within
// first..last has a value in [low, high].
bool IsKeyConstant(KFCurve& curve, int index, int first, int last, float low, float high);

// ---------------------------------------------------------------------------
// Gimbal-flip remover: makes the three Euler curves of a rotation take the
// nearest equivalent angles from key to key and adds keys where a step turns
// too far to interpolate faithfully.
// ---------------------------------------------------------------------------
class KFCurveFilterGimbleKiller : public KFCurveFilter
{
public:
    KFCurveFilterGimbleKiller();
    ~KFCurveFilterGimbleKiller() override;

    using KFCurveFilter::Apply;
    // The node must be an Euler XYZ rotation node with three children.
    bool Apply(KFCurveNode& node, bool recursive) override;
    // Exactly three curves (X, Y, Z), handled through a temporary node.
    bool Apply(KFCurve** curves, int count) override;
    // Refused (error 2).
    bool Apply(KFCurve& curve) override;
    void Reset() override;

    bool GetApplyKeySyncFilter() const { return mApplyKeySync; }
    void SetApplyKeySyncFilter(bool apply) { mApplyKeySync = apply; }

    // Most keys added between two input keys; past it the input key is taken
    // as it is.
    enum
    {
        eMaxKeysPerStep = 1024
    };

private:
    bool mApplyKeySync;
};

// ---------------------------------------------------------------------------
// Key reducer: refits a densely keyed curve with as few cubic keys as keep
// every input key within the precision.
// ---------------------------------------------------------------------------
class KFCurveFilterKeyReducer : public KFCurveFilter
{
public:
    KFCurveFilterKeyReducer();
    ~KFCurveFilterKeyReducer() override;

    using KFCurveFilter::Apply;
    bool Apply(KFCurveNode& node, bool recursive) override;
    bool Apply(KFCurve** curves, int count) override;
    bool Apply(KFCurve& curve) override;
    void Reset() override;

    double GetPrecision() const { return mPrecision; }
    void SetPrecision(double precision) { mPrecision = precision; }
    bool GetKeySync() const { return mKeySync; }
    void SetKeySync(bool keySync) { mKeySync = keySync; }

    // Fills result (empty, with source's settings) with the fitted keys of
    // source between start and stop.
    bool KeyReducer(KFCurve& source, KFCurve& result, KTime start, KTime stop);
    // Adds keys between source keys first and last until the fit holds; the
    // result's keys at first and last are its last two keys. False when no
    // key was needed.
    bool Subdivise(KFCurve& source, KFCurve& result, int first, int last);
    // Largest squared error of the result at source keys first..last-1; the
    // worst key's index goes to worst (lowest index on ties).
    double FindMaxError(KFCurve& source, KFCurve& result, int first, int last, int& worst);

private:
    double mPrecision;
    bool mKeySync;
    int mDepth;
    int mResultHint;
};

// ---------------------------------------------------------------------------
// Key synchroniser: gives several curves keys at the same times without
// changing their shapes.
// ---------------------------------------------------------------------------
class KFCurveFilterKeySync : public KFCurveFilter
{
public:
    KFCurveFilterKeySync();
    ~KFCurveFilterKeySync() override;

    // Most child curves a node form handles.
    enum
    {
        eMaxCurveCount = 20
    };

    bool NeedApply(KFCurveNode& node, bool recursive) override;
    bool NeedApply(KFCurve** curves, int count) override;
    bool NeedApply(KFCurve& curve) override;
    bool Apply(KFCurveNode& node, bool recursive) override;
    bool Apply(KFCurve** curves, int count) override;
    bool Apply(KFCurve& curve) override;

private:
    // The curves of the node's children, in child order; false (error 4) for
    // more than eMaxCurveCount children.
    bool ChildCurves(KFCurveNode& node, KFCurve** curves, int& count);
};

// ---------------------------------------------------------------------------
// Matrix converter: re-expresses a transform node's animation from one cell
// of fixed matrices around the animated transform (the source cell) to
// another (the destination cell), by sampling.
// ---------------------------------------------------------------------------
class KFCurveFilterMatrixConverter : public KFCurveFilter
{
public:
    // Places of the fixed matrices around the translation, rotation and
    // scaling (see ComputeTotalMatrix).
    enum EMatrixID
    {
        ePreGlobal = 0,
        ePreTranslate = 1,
        ePostTranslate = 2,
        ePreRotate = 3,
        ePostRotate = 4,
        ePreScale = 5,
        ePostScale = 6,
        ePostGlobal = 7,
        eScaleOffset = 8,
        eInactivePre = 9,
        eInactivePost = 10,
        eRotationPivot = 11,
        eScalingPivot = 12,
        eMatrixCount = 13
    };

    // The 13 fixed matrices of one side, with an is-identity flag per matrix
    // and one for the whole cell.
    class Cell
    {
    public:
        Cell();
        // Every flag back to identity; the matrices keep their values.
        void Reset();
        // Inverts every non-identity matrix (nothing when all are identity).
        void InverseMatrices();

        KgeAMatrix mMatrices[eMatrixCount];
        bool mIsIdentity[eMatrixCount];
        bool mIsAllIdentity;
    };

    // Samples written by one conversion are limited to this many keys.
    enum
    {
        eMaxSampleCount = 1 << 22
    };

    KFCurveFilterMatrixConverter();
    ~KFCurveFilterMatrixConverter() override;

    using KFCurveFilter::Apply;
    bool Apply(KFCurveNode& node, bool recursive) override;
    // Refused (error 2).
    bool Apply(KFCurve** curves, int count) override;
    bool Apply(KFCurve& curve) override;
    void Reset() override;

    void SetSourceMatrix(EMatrixID id, KgeAMatrix& matrix);
    void SetDestMatrix(EMatrixID id, KgeAMatrix& matrix);
    void GetSourceMatrix(EMatrixID id, KgeAMatrix& matrix) const;
    void GetDestMatrix(EMatrixID id, KgeAMatrix& matrix) const;
    // True when the two 13-matrix arrays agree element by element within 1e-6.
    bool MatricesEquivalence(const KgeAMatrix* first, const KgeAMatrix* second) const;

    KTime GetResamplingPeriod() const { return mResamplingPeriod; }
    void SetResamplingPeriod(const KTime& period) { mResamplingPeriod = period; }
    bool GetGenerateLastKeyExactlyAtEndTime() const { return mGenerateLastKeyExactlyAtEndTime; }
    void SetGenerateLastKeyExactlyAtEndTime(bool flag) { mGenerateLastKeyExactlyAtEndTime = flag; }
    bool GetResamplingOnFrameRateMultiple() const { return mResamplingOnFrameRateMultiple; }
    void SetResamplingOnFrameRateMultiple(bool flag) { mResamplingOnFrameRateMultiple = flag; }
    bool GetApplyUnroll() const { return mApplyUnroll; }
    void SetApplyUnroll(bool flag) { mApplyUnroll = flag; }
    bool GetApplyConstantKeyReducer() const { return mApplyConstantKeyReducer; }
    void SetApplyConstantKeyReducer(bool flag) { mApplyConstantKeyReducer = flag; }
    bool GetResampleTranslation() const { return mResampleTranslation; }
    void SetResampleTranslation(bool flag) { mResampleTranslation = flag; }

    // The conversion steps.
    bool DoConvert(KFCurveNode& node);
    void FindTimeInterval(KTime& start, KTime& stop, KFCurve** translation, KFCurve** rotation, KFCurve** scaling);
    void FillInterpAndTangeant(KTime& time, KFCurve** curves, unsigned int* interpolations, unsigned int* tangentModes);

    // total = M7 . M12^-1 . M6 . S . M5 . M12 . M11^-1 . M4 . R . M3 . M11 . P
    //         . M2 . T . M1 . M0 (row vectors, leftmost acts first), leaving
    // out every matrix of the cell flagged as identity. Turns resample
    // translation on when ids 8, 11 or 12 take part.
    void ComputeTotalMatrix(KgeAMatrix& total, Cell& cell, KgeAMatrix& translation, KgeAMatrix& rotation,
                            KgeAMatrix& scaling);
    // Splits total into scaling, XYZ Euler rotation (degrees) and translation
    // for the cell; the fourth component of each output is left as it was.
    void ExtractTransforms(KgeSVector& scaling, KgeRVector& rotation, KgeTVector& translation, KgeAMatrix& total,
                           Cell& cell);

    // Identity reference of the identity test.
    static const KgeAMatrix smId;

    // Written directly by callers.
    KSSRotationOrder mSourceRotationOrder;
    KSSRotationOrder mDestRotationOrder;

private:
    void SetCellMatrix(Cell& cell, EMatrixID id, const KgeAMatrix& matrix);
    void Convert(const double* t, const double* r, const double* s, double* outT, double* outR, double* outS);

    Cell mSourceCell;
    Cell mDestCell;
    KTime mResamplingPeriod;
    bool mResamplingOnFrameRateMultiple;
    bool mApplyUnroll;
    bool mApplyConstantKeyReducer;
    bool mGenerateLastKeyExactlyAtEndTime;
    bool mResampleTranslation;
};

#endif
