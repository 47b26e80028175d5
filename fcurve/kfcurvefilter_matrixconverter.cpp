#include "fcurve/kfcurvefilters.h"

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvefilter_resample.h"
#include "fcurve/kfcurvefilter_unroll.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurvenode_internal.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const char* const kMatrixConverterMessages[] = {
    "No key", "Left unchanged", "Invalid Apply method.  Use KFCurveFilterMatrixConverter::Apply(KFCurveNode&, bool)",
    "Missing at least a transform KFCurve.  pCurveNode must possess T(x, y, z), R(x, y, z), S(x, y, z) KFCurves"};

const double kIdentityTolerance = 0.000001;
const char* const kAxisNames[3] = {"X", "Y", "Z"};

void CopyTwelve(KRow4* out, const KRow4* in)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            out[r][c] = in[r][c];
}

// M := X then M (X acts before everything already in M).
void Compose(KgeAMatrix& m, const KRow4* x)
{
    KmAA(m, m, x);
}

double Determinant3(const KRow4* m)
{
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// Row lengths of the 3x3 part, all negated when its determinant is negative.
void SignedScale(double* scale, const KRow4* m)
{
    for (int i = 0; i < 3; ++i)
    {
        const double squared = m[i][0] * m[i][0] + m[i][1] * m[i][1] + m[i][2] * m[i][2];
        scale[i] = squared == 0.0 ? 0.0 : std::sqrt(squared);
    }
    if (Determinant3(m) < 0.0)
        for (int i = 0; i < 3; ++i)
            scale[i] = -scale[i];
}

void Cross(double* out, const double* a, const double* b)
{
    const double x = a[1] * b[2] - a[2] * b[1];
    const double y = a[2] * b[0] - a[0] * b[2];
    const double z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

// Divides row i of the 3x3 part by scale[i]. A row of zero scale carries no
// direction: it is rebuilt from the other two (right-handed), or the whole
// part becomes the identity when fewer than two rows remain.
void DivideRows(KRow4* m, const double* scale)
{
    int zero = 0;
    int missing = -1;
    for (int i = 0; i < 3; ++i)
    {
        if (scale[i] == 0.0)
        {
            ++zero;
            missing = i;
        }
    }
    if (zero > 1)
    {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                m[r][c] = r == c ? 1.0 : 0.0;
        return;
    }
    // Row i times 1 / scale[i]: the product with the inverse of the diagonal
    // scale matrix.
    for (int i = 0; i < 3; ++i)
    {
        if (i == missing)
            continue;
        const double inverse = 1.0 / scale[i];
        for (int c = 0; c < 3; ++c)
            m[i][c] = inverse * m[i][c];
    }
    if (missing >= 0)
    {
        Cross(m[missing], m[(missing + 1) % 3], m[(missing + 2) % 3]);
        const double length =
            std::sqrt(m[missing][0] * m[missing][0] + m[missing][1] * m[missing][1] + m[missing][2] * m[missing][2]);
        if (length > 0.0)
            for (int c = 0; c < 3; ++c)
                m[missing][c] /= length;
    }
}

// Splits the 3x3 part of m into a signed scale and a rotation (rows divided
// by the scale, then once more by their own signed scale).
void SplitScaleRotation(double* scale, KRow4* rotation, const KRow4* m)
{
    SignedScale(scale, m);
    CopyTwelve(rotation, m);
    DivideRows(rotation, scale);
    double again[3];
    SignedScale(again, rotation);
    DivideRows(rotation, again);
}

// 3x3 part of a x b as matrices (row vectors: a acts first).
void Multiply3(KRow4* out, const KRow4* a, const KRow4* b)
{
    double r[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            out[i][j] = r[i][j];
}

// General inverse of the 3x3 part (adjugate over determinant); a singular
// part leaves out as the identity.
void Inverse3(KRow4* out, const KRow4* m)
{
    const double det = Determinant3(m);
    double r[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    if (det != 0.0)
    {
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
            {
                const int i1 = (j + 1) % 3, i2 = (j + 2) % 3, j1 = (i + 1) % 3, j2 = (i + 2) % 3;
                r[i][j] = (m[i1][j1] * m[i2][j2] - m[i1][j2] * m[i2][j1]) / det;
            }
    }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            out[i][j] = r[i][j];
}

// Number of samples start, start + period, ... that lie before
// stop - tolerance; -1 when there are more than max.
long long StepCount(KTime start, KTime stop, KTime tolerance, KTime period, long long max)
{
    long long limit;
    if (__builtin_sub_overflow(stop.Get(), tolerance.Get(), &limit))
        return 0; // stop - tolerance lies below every time
    long long span;
    if (__builtin_sub_overflow(limit, start.Get(), &span))
        return span < 0 ? -1 : 0; // wrapped: the true span is huge, or negative
    if (span <= 0)
        return 0;
    const long long steps = span / period.Get() + (span % period.Get() != 0 ? 1 : 0);
    return steps > max ? -1 : steps;
}

// time + period x steps, held within the tick range.
KTime Advance(KTime time, KTime period, long long steps)
{
    long long offset;
    long long value;
    if (__builtin_mul_overflow(period.Get(), steps, &offset) || __builtin_add_overflow(time.Get(), offset, &value))
        return KTIME_INFINITE;
    return KTime(value);
}

} // namespace

const KgeAMatrix KFCurveFilterMatrixConverter::smId;

// ---------------------------------------------------------------------------
// Cell
// ---------------------------------------------------------------------------
KFCurveFilterMatrixConverter::Cell::Cell()
{
    Reset();
}

void KFCurveFilterMatrixConverter::Cell::Reset()
{
    for (int i = 0; i < eMatrixCount; ++i)
        mIsIdentity[i] = true;
    mIsAllIdentity = true;
}

void KFCurveFilterMatrixConverter::Cell::InverseMatrices()
{
    if (mIsAllIdentity)
        return;
    for (int i = 0; i < eMatrixCount; ++i)
        if (!mIsIdentity[i])
            KmAi(mMatrices[i], mMatrices[i]);
}

// ---------------------------------------------------------------------------
// Converter
// ---------------------------------------------------------------------------
KFCurveFilterMatrixConverter::KFCurveFilterMatrixConverter()
    : KFCurveFilter("FCurve Matrix Converter", kMatrixConverterMessages, 4)
    , mSourceRotationOrder(0)
    , mDestRotationOrder(0)
    , mResamplingPeriod(0)
{
    Reset();
}

KFCurveFilterMatrixConverter::~KFCurveFilterMatrixConverter() {}

void KFCurveFilterMatrixConverter::Reset()
{
    mResamplingOnFrameRateMultiple = true;
    mApplyUnroll = true;
    mApplyConstantKeyReducer = true;
    mGenerateLastKeyExactlyAtEndTime = true;
    mResampleTranslation = true;
    mSourceCell.Reset();
    mDestCell.Reset();
    KFCurveFilter::Reset();
}

void KFCurveFilterMatrixConverter::SetCellMatrix(Cell& cell, EMatrixID id, const KgeAMatrix& matrix)
{
    if (id < 0 || id >= eMatrixCount)
        return;
    CopyTwelve(cell.mMatrices[id], matrix);
    bool identity = true;
    for (int r = 0; r < 4 && identity; ++r)
        for (int c = 0; c < 3; ++c)
            if (std::fabs(matrix.mData[r][c] - smId.mData[r][c]) > kIdentityTolerance)
            {
                identity = false;
                break;
            }
    cell.mIsIdentity[id] = identity;
    cell.mIsAllIdentity = cell.mIsAllIdentity && identity;
}

void KFCurveFilterMatrixConverter::SetSourceMatrix(EMatrixID id, KgeAMatrix& matrix)
{
    SetCellMatrix(mSourceCell, id, matrix);
}

void KFCurveFilterMatrixConverter::SetDestMatrix(EMatrixID id, KgeAMatrix& matrix)
{
    SetCellMatrix(mDestCell, id, matrix);
}

void KFCurveFilterMatrixConverter::GetSourceMatrix(EMatrixID id, KgeAMatrix& matrix) const
{
    if (id >= 0 && id < eMatrixCount)
        CopyTwelve(matrix, mSourceCell.mMatrices[id]);
}

void KFCurveFilterMatrixConverter::GetDestMatrix(EMatrixID id, KgeAMatrix& matrix) const
{
    if (id >= 0 && id < eMatrixCount)
        CopyTwelve(matrix, mDestCell.mMatrices[id]);
}

bool KFCurveFilterMatrixConverter::MatricesEquivalence(const KgeAMatrix* first, const KgeAMatrix* second) const
{
    for (int i = 0; i < eMatrixCount; ++i)
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 3; ++c)
                if (std::fabs(first[i].mData[r][c] - second[i].mData[r][c]) > kIdentityTolerance)
                    return false;
    return true;
}

bool KFCurveFilterMatrixConverter::Apply(KFCurve**, int)
{
    mError.SetLastError(2, "MatrixConverter, invalid apply method.");
    return false;
}

bool KFCurveFilterMatrixConverter::Apply(KFCurve&)
{
    mError.SetLastError(2, "MatrixConverter, invalid apply method.");
    return false;
}

bool KFCurveFilterMatrixConverter::Apply(KFCurveNode& node, bool)
{
    bool result;
    if (MatricesEquivalence(mSourceCell.mMatrices, mDestCell.mMatrices))
    {
        mError.SetLastError(1, "MatrixConverter, No key were changed by filter.");
        result = false;
    }
    else
    {
        mDestCell.InverseMatrices();
        result = DoConvert(node);
        mDestCell.InverseMatrices();
    }

    if (mApplyUnroll)
    {
        if (KFCurveNode* rotation = node.FindRecursive("R"))
        {
            KFCurveFilterUnroll unroll;
            unroll.Apply(*rotation, true);
            KFCurveFilterResample resample;
            resample.SetIntelligentMode(true);
            resample.SetPeriodTime(mResamplingPeriod);
            resample.SetKeysOnFrame(mResamplingOnFrameRateMultiple);
            resample.Apply(*rotation, true);
        }
    }
    if (mApplyConstantKeyReducer)
    {
        KFCurveFilterConstantKeyReducer reducer;
        reducer.Apply(node, true);
    }
    return result;
}

void KFCurveFilterMatrixConverter::ComputeTotalMatrix(KgeAMatrix& total, Cell& cell, KgeAMatrix& translation,
                                                      KgeAMatrix& rotation, KgeAMatrix& scaling)
{
    auto set = [&](int id) { return !cell.mIsIdentity[id]; };
    auto matrix = [&](int id) -> const KRow4* { return cell.mMatrices[id]; };

    total.SetIdentity();
    if (set(ePreGlobal))
        CopyTwelve(total, matrix(ePreGlobal));
    if (set(ePreTranslate))
        Compose(total, matrix(ePreTranslate));
    Compose(total, translation);
    if (set(ePostTranslate))
        Compose(total, matrix(ePostTranslate));

    if (set(eScaleOffset))
    {
        KgeAMatrix t;
        if (set(ePreRotate))
            CopyTwelve(t, matrix(ePreRotate));
        else if (set(eInactivePre))
            CopyTwelve(t, matrix(eInactivePre));
        Compose(t, rotation);
        if (set(ePostRotate))
            Compose(t, matrix(ePostRotate));
        else if (set(eInactivePost))
            Compose(t, matrix(eInactivePost));
        Compose(t, matrix(eScaleOffset));
        KgeAMatrix p;
        for (int c = 0; c < 3; ++c)
            p.mData[3][c] = t.mData[3][c];
        Compose(total, p);
        mResampleTranslation = true;
    }

    // A transform between its pre and post matrices, bracketed by its pivot
    // and the pivot's inverse.
    auto pivoted = [&](EMatrixID pivot, EMatrixID pre, KgeAMatrix& transform, EMatrixID post) {
        if (set(pivot))
            Compose(total, matrix(pivot));
        if (set(pre))
            Compose(total, matrix(pre));
        Compose(total, transform);
        if (set(post))
            Compose(total, matrix(post));
        if (set(pivot))
        {
            KgeAMatrix inverse;
            KmAi(inverse, matrix(pivot));
            Compose(total, inverse);
            mResampleTranslation = true;
        }
    };
    pivoted(eRotationPivot, ePreRotate, rotation, ePostRotate);
    pivoted(eScalingPivot, ePreScale, scaling, ePostScale);

    if (set(ePostGlobal))
        Compose(total, matrix(ePostGlobal));
}

void KFCurveFilterMatrixConverter::ExtractTransforms(KgeSVector& scaling, KgeRVector& rotation, KgeTVector& translation,
                                                     KgeAMatrix& total, Cell& cell)
{
    if (cell.mIsAllIdentity)
    {
        double scale[3];
        KgeAMatrix n;
        SplitScaleRotation(scale, n, total);
        double angles[3];
        KmRtoVXYZ(angles, n);
        for (int i = 0; i < 3; ++i)
        {
            scaling[i] = scale[i];
            rotation[i] = angles[i];
            translation[i] = total.mData[3][i];
        }
        return;
    }

    // A cell of fixed matrices. The cell holds the inverses of its set
    // matrices (the converter inverts the destination cell around a
    // conversion); the chain is solved with the matrices themselves:
    //   total = M7 M12^-1 M6 S M5 M12 M11^-1 M4 R M3 M11 P M2 T M1 M0.
    // The linear parts: total3 = Left S Mid R Right with Left = M7 M12^-1 M6,
    // Mid = M5 M12 M11^-1 M4 and Right = M3 M11 M2 M1 M0 (P and T carry no
    // linear part). With Mid split into a signed scale ms and a rotation Q,
    // Left^-1 total3 Right^-1 = (S ms) Q R, exact when Mid's rows are
    // orthogonal. The translation then follows from the chain evaluated with
    // no translation.
    Cell restored = cell;
    restored.InverseMatrices();
    auto linear = [&](int id, bool inverse, KgeAMatrix& out) {
        out.SetIdentity();
        if (restored.mIsIdentity[id])
            return;
        if (inverse)
            CopyTwelve(out, cell.mMatrices[id]);
        else
            CopyTwelve(out, restored.mMatrices[id]);
    };
    KgeAMatrix a, b;
    KgeAMatrix left, mid, right;
    linear(ePostGlobal, false, left);
    linear(eScalingPivot, true, a);
    Multiply3(left, left, a);
    linear(ePostScale, false, a);
    Multiply3(left, left, a);

    linear(ePreScale, false, mid);
    linear(eScalingPivot, false, a);
    Multiply3(mid, mid, a);
    linear(eRotationPivot, true, a);
    Multiply3(mid, mid, a);
    linear(ePostRotate, false, a);
    Multiply3(mid, mid, a);

    linear(ePreRotate, false, right);
    const int rightIds[4] = {eRotationPivot, ePostTranslate, ePreTranslate, ePreGlobal};
    for (int id : rightIds)
    {
        linear(id, false, a);
        Multiply3(right, right, a);
    }

    // k = Left^-1 total3 Right^-1 (3x3 parts).
    KgeAMatrix leftInverse, rightInverse, k;
    Inverse3(leftInverse, left);
    Inverse3(rightInverse, right);
    Multiply3(k, leftInverse, total);
    Multiply3(k, k, rightInverse);

    double midScale[3];
    KgeAMatrix midRotation;
    SplitScaleRotation(midScale, midRotation, mid);
    double kScale[3];
    KgeAMatrix kRotation;
    SplitScaleRotation(kScale, kRotation, k);

    double scale[3];
    for (int i = 0; i < 3; ++i)
        scale[i] = midScale[i] != 0.0 ? kScale[i] / midScale[i] : kScale[i];
    // R = Q^-1 (Q R).
    KgeAMatrix midRotationInverse, r;
    KmRi(midRotationInverse, midRotation);
    Multiply3(r, midRotationInverse, kRotation);
    double angles[3];
    KmRtoVXYZ(angles, r);

    // Translation: total.t = (chain without translation).t + t Right' with
    // Right' = M1 M0 (the matrices acting after the translation).
    KgeAMatrix rotationMatrix, scalingMatrix, noTranslation, chain;
    KmXYZtoR(rotationMatrix, angles[0], angles[1], angles[2]);
    for (int i = 0; i < 3; ++i)
        scalingMatrix.mData[i][i] = scale[i];
    const bool resampleTranslation = mResampleTranslation;
    ComputeTotalMatrix(chain, restored, noTranslation, rotationMatrix, scalingMatrix);
    mResampleTranslation = resampleTranslation;
    KgeAMatrix after;
    linear(ePreTranslate, false, after);
    linear(ePreGlobal, false, b);
    Multiply3(after, after, b);
    KgeAMatrix afterInverse;
    Inverse3(afterInverse, after);
    double delta[3];
    for (int c = 0; c < 3; ++c)
        delta[c] = total.mData[3][c] - chain.mData[3][c];
    for (int i = 0; i < 3; ++i)
    {
        scaling[i] = scale[i];
        rotation[i] = angles[i];
        translation[i] = delta[0] * afterInverse.mData[0][i] + delta[1] * afterInverse.mData[1][i] +
                         delta[2] * afterInverse.mData[2][i];
    }
}

void KFCurveFilterMatrixConverter::Convert(const double* t, const double* r, const double* s, double* outT,
                                           double* outR, double* outS)
{
    KgeAMatrix translation, rotation, scaling, total;
    for (int i = 0; i < 3; ++i)
    {
        translation.mData[3][i] = t[i];
        scaling.mData[i][i] = s[i];
    }
    mSourceRotationOrder.V2M(rotation, r);
    ComputeTotalMatrix(total, mSourceCell, translation, rotation, scaling);

    KgeSVector newScaling;
    KgeRVector newRotation;
    KgeTVector newTranslation;
    ExtractTransforms(newScaling, newRotation, newTranslation, total, mDestCell);
    if (mDestRotationOrder.mOrder != 0)
    {
        KgeRMatrix m;
        KmXYZtoR(m, newRotation.x, newRotation.y, newRotation.z);
        mDestRotationOrder.M2V(newRotation, m);
    }
    for (int i = 0; i < 3; ++i)
    {
        outT[i] = newTranslation[i];
        outR[i] = newRotation[i];
        outS[i] = newScaling[i];
    }
}

void KFCurveFilterMatrixConverter::FindTimeInterval(KTime& start, KTime& stop, KFCurve** translation,
                                                    KFCurve** rotation, KFCurve** scaling)
{
    KFCurve** groups[3] = {translation, rotation, scaling};
    stop = KTIME_MINUS_INFINITE;
    for (int axis = 0; axis < 3; ++axis)
        for (KFCurve** group : groups)
        {
            KFCurve* curve = group[axis];
            const int count = curve->KeyGetCount();
            if (count > 0 && curve->KeyGetTime(count - 1) > stop)
                stop = curve->KeyGetTime(count - 1);
        }
    stop = std::min(stop, mStop);
    start = stop;
    for (int axis = 0; axis < 3; ++axis)
        for (KFCurve** group : groups)
        {
            KFCurve* curve = group[axis];
            if (curve->KeyGetCount() > 0 && curve->KeyGetTime(0) < start)
                start = curve->KeyGetTime(0);
        }
    start = std::max(start, mStart);
    if (mResamplingOnFrameRateMultiple && mResamplingPeriod > KTime(0))
        start = (start / mResamplingPeriod) * mResamplingPeriod;
}

namespace {

// Removes every layer above a node's base layer.
void RemoveUpperLayers(KFCurveNode* node)
{
    while (KFCurveNode* layer = node->LayerGet())
    {
        node->RemoveLayer(layer->GetLayerID(), true);
        if (node->LayerGet() == layer)
            break; // a layer the chain cannot remove
    }
}

} // namespace

void KFCurveFilterMatrixConverter::FillInterpAndTangeant(KTime& time, KFCurve** curves, unsigned int* interpolations,
                                                         unsigned int* tangentModes)
{
    for (int i = 0; i < 3; ++i)
    {
        interpolations[i] = KFCURVE_INTERPOLATION_CUBIC;
        tangentModes[i] = KFCURVE_TANGEANT_AUTO;
        const int key = static_cast<int>(curves[i]->KeyFind(time));
        if (key < 0)
            continue;
        interpolations[i] = curves[i]->KeyGetInterpolation(key);
        const unsigned int mode = curves[i]->KeyGetTangeantMode(key);
        tangentModes[i] =
            (mode == KFCURVE_TANGEANT_AUTO || mode == KFCURVE_TANGEANT_AUTO_BREAK || mode == KFCURVE_TANGEANT_TCB ||
             mode == KFCURVE_TANGEANT_USER || mode == KFCURVE_TANGEANT_BREAK)
                ? mode
                : static_cast<unsigned int>(KFCURVE_TANGEANT_AUTO);
    }
}

bool KFCurveFilterMatrixConverter::DoConvert(KFCurveNode& node)
{
    KFCurve* oldCurves[3][3]; // translation, rotation, scaling; X, Y, Z
    if (!node.GetTransformCurves(oldCurves[0], oldCurves[1], oldCurves[2]))
    {
        mError.SetLastError(3, "MatrixConverter, Missing curve.");
        return false;
    }
    KFCurveNode* groupNodes[3] = {node.FindRecursive("T"), node.FindRecursive("R"), node.FindRecursive("S")};
    KFCurveNode* members[3][3];
    bool anyKey = false;
    for (int g = 0; g < 3; ++g)
    {
        for (int axis = 0; axis < 3; ++axis)
        {
            members[g][axis] = groupNodes[g] ? groupNodes[g]->FindRecursive(kAxisNames[axis]) : nullptr;
            if (!members[g][axis])
            {
                mError.SetLastError(3, "MatrixConverter, Missing curve.");
                return false;
            }
            anyKey = anyKey || oldCurves[g][axis]->KeyGetCount() > 0;
        }
    }

    // A period that is not positive would never end the sampling.
    if (anyKey && mResamplingPeriod <= KTime(0))
    {
        mError.SetLastError(1, "MatrixConverter, Invalid resampling period. No key were changed by filter.");
        return false;
    }

    KTime start, stop, tolerance;
    long long steps = 0;
    if (anyKey)
    {
        const double toleranceSeconds = 0.025 * mResamplingPeriod.GetSecondDouble();
        tolerance.SetSecondDouble(toleranceSeconds);
        FindTimeInterval(start, stop, oldCurves[0], oldCurves[1], oldCurves[2]);
        // The batch holds every key the schedule writes: the steps before
        // stop - tolerance and the last key.
        steps = StepCount(start, stop, tolerance, mResamplingPeriod, eMaxSampleCount - 1);
        if (steps < 0)
        {
            mError.SetLastError(1, "MatrixConverter, Too many keys to resample. No key were changed by filter.");
            return false;
        }
    }

    kfcurvenode_detail::Destroyed<KFCurve> newCurves[3][3];
    for (int g = 0; g < 3; ++g)
        for (int axis = 0; axis < 3; ++axis)
        {
            newCurves[g][axis].reset(KFCurveCreate());
            newCurves[g][axis]->CopyFrom(*oldCurves[g][axis], false);
        }

    // Static values.
    double values[3][3];
    double converted[3][3];
    for (int g = 0; g < 3; ++g)
        for (int axis = 0; axis < 3; ++axis)
            values[g][axis] = oldCurves[g][axis]->GetValue();
    Convert(values[0], values[1], values[2], converted[0], converted[1], converted[2]);
    for (int g = 0; g < 3; ++g)
        for (int axis = 0; axis < 3; ++axis)
            newCurves[g][axis]->SetValue(static_cast<float>(converted[g][axis]));

    if (anyKey)
    {
        const int total = static_cast<int>(steps) + 1;
        for (int g = 0; g < 3; ++g)
            for (int axis = 0; axis < 3; ++axis)
                newCurves[g][axis]->KeyModifyBegin(total);

        // Values of a group node, one per leaf with its layers combined in:
        // the leaf of each member, -1 for a member with members of its own
        // (read from its own curve alone).
        std::vector<double> buffers[3];
        int leaves[3][3];
        int hints[3] = {-1, -1, -1};
        for (int g = 0; g < 3; ++g)
        {
            const int count = groupNodes[g]->GetLeafCount();
            buffers[g].assign(static_cast<size_t>(count) + 4, 0.0);
            for (int axis = 0; axis < 3; ++axis)
            {
                leaves[g][axis] = -1;
                for (int leaf = 0; leaf < count; ++leaf)
                    if (groupNodes[g]->GetLeaf(leaf) == members[g][axis])
                        leaves[g][axis] = leaf;
            }
        }
        const float weight = KFCURVE_DEFAULT_WEIGHT;
        unsigned int interpolations[3][3];
        unsigned int modes[3][3];

        int index = 0;
        auto sample = [&](KTime time) {
            for (int g = 2; g >= 0; --g) // scaling, rotation, translation
            {
                groupNodes[g]->GetLeafValues(buffers[g].data());
                groupNodes[g]->EvaluateLeaves(buffers[g].data(), time, &hints[g]);
                for (int axis = 0; axis < 3; ++axis)
                    values[g][axis] = leaves[g][axis] >= 0 ? buffers[g][static_cast<size_t>(leaves[g][axis])]
                                                           : oldCurves[g][axis]->Evaluate(time);
                FillInterpAndTangeant(time, oldCurves[g], interpolations[g], modes[g]);
            }
            Convert(values[0], values[1], values[2], converted[0], converted[1], converted[2]);
            for (int g = 0; g < 3; ++g)
                for (int axis = 0; axis < 3; ++axis)
                {
                    KFCurve* curve = newCurves[g][axis].get();
                    curve->KeySet(index, time, static_cast<float>(converted[g][axis]), KFCURVE_INTERPOLATION_CUBIC,
                                  KFCURVE_TANGEANT_AUTO, 0.0f, 0.0f, KFCURVE_WEIGHTED_NONE, weight, weight, 0.0f, 0.0f);
                    curve->KeySetInterpolation(index, interpolations[g][axis]);
                    curve->KeySetTangeantMode(index, modes[g][axis]);
                }
            ++index;
        };

        for (long long step = 0; step < steps; ++step)
            sample(Advance(start, mResamplingPeriod, step));
        // The last key: at stop, or at the first step at or after stop - tolerance.
        sample(mGenerateLastKeyExactlyAtEndTime ? stop : Advance(start, mResamplingPeriod, steps));

        for (int g = 0; g < 3; ++g)
            for (int axis = 0; axis < 3; ++axis)
                newCurves[g][axis]->KeyModifyEnd(index);
    }

    for (int g = 0; g < 3; ++g)
    {
        if (g == 0 && !mResampleTranslation)
            continue;
        for (int axis = 0; axis < 3; ++axis)
            members[g][axis]->FCurveReplace(newCurves[g][axis].release());
        // The resampled curves hold the layers combined: layers left above
        // them would count twice.
        if (anyKey)
            RemoveUpperLayers(groupNodes[g]);
    }
    return true;
}
