// Uniform and NURBS surface evaluators: grid counts, reproduced points, wraps,
// caps, refused surfaces, rational invariance and the control-point mapping.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "scene/attributes/kqoxsurfaceevaluator.h"
#include "scene/attributes/kqoxweightedmapping.h"

using namespace qoxsdk_600;

namespace {

struct EvaluatorDeleter
{
    void operator()(KQOXSurfaceEvaluator* p) const { p->Destroy(0); }
};
typedef std::unique_ptr<KQOXSurfaceEvaluator, EvaluatorDeleter> EvaluatorPtr;

// A grid of control points (x, y, z, w), U fastest.
std::vector<double> Grid(unsigned int pU, unsigned int pV, double (*pZ)(unsigned int, unsigned int))
{
    std::vector<double> points;
    for (unsigned int v = 0; v < pV; ++v)
        for (unsigned int u = 0; u < pU; ++u)
            points.insert(points.end(), {double(u), double(v), pZ(u, v), 1.0});
    return points;
}

double Plane(unsigned int u, unsigned int v)
{
    return u + 2.0 * v;
}

double Bumpy(unsigned int u, unsigned int v)
{
    return std::sin(u * 1.3) * std::cos(v * 0.7) + 0.1 * u * v;
}

struct Output
{
    unsigned int x = 0, y = 0;
    std::vector<double> points, normals;
};

Output Evaluate(KQOXSurfaceEvaluator* pEvaluator, std::vector<double>& pSource, unsigned int pU, unsigned int pV,
                KQoxWeightedMapping* pMapping = nullptr)
{
    Output out;
    pEvaluator->SetSourceArray(pSource.data(), pU, pV);
    out.x = pEvaluator->GetCurvePointCountX();
    out.y = pEvaluator->GetCurvePointCountY();
    out.points.assign(size_t(out.x) * out.y * 4, -7.0);
    out.normals.assign(out.points.size(), -7.0);
    pEvaluator->SetDestinationArray(out.points.empty() ? nullptr : out.points.data());
    pEvaluator->SetDestinationNormalArray(out.normals.empty() ? nullptr : out.normals.data());
    if (pMapping)
        pMapping->Reset(int(pU * pV), int(out.x * out.y));
    pEvaluator->EvaluateSurface(pMapping);
    return out;
}

void ExpectPoint(const double* pActual, const double* pExpected, double pTolerance = 1e-12)
{
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(pExpected[c], pActual[c], pTolerance) << "component " << c;
}

} // namespace

TEST(KQoxSurfaceEvaluatorTest, BezierPatchReproducesCornersAndLinearGrid)
{
    EvaluatorPtr e(QOXCreateGeneralUniformSurface(KQoxPatch::eBEZIER, KQoxPatch::eBEZIER));
    e->SetEvaluationStepU(1);
    e->SetEvaluationStepV(1);
    // Evenly spaced control points on a plane lie on the patch at thirds.
    std::vector<double> source = Grid(4, 4, Plane);
    Output out = Evaluate(e.get(), source, 4, 4);
    ASSERT_EQ(4u, out.x);
    ASSERT_EQ(4u, out.y);
    for (size_t i = 0; i < 16; ++i)
    {
        ExpectPoint(&out.points[i * 4], &source[i * 4]);
        EXPECT_EQ(-7.0, out.points[i * 4 + 3]); // the fourth value is left alone
    }
    // dU = 0.5/3 * (3, 0, 3), dV = 0.5/3 * (0, 3, 6): normal = dV x dU.
    const double n[3] = {0.25, 0.5, -0.25};
    ExpectPoint(&out.normals[5 * 4], n);

    // A 7 x 4 Bezier grid is two patches in U: 2 * 3 * step + 1 points.
    e->SetEvaluationStepU(2);
    std::vector<double> wide = Grid(7, 4, Bumpy);
    Output two = Evaluate(e.get(), wide, 7, 4);
    EXPECT_EQ(13u, two.x);
    ExpectPoint(&two.points[12 * 4], &wide[6 * 4]);
    ExpectPoint(&two.points[(3 * 13 + 12) * 4], &wide[(3 * 7 + 6) * 4]);
}

TEST(KQoxSurfaceEvaluatorTest, LinearPatchGivesControlPointsWithUnitMapping)
{
    EvaluatorPtr e(QOXCreateGeneralUniformSurface(KQoxPatch::eLINEAR, KQoxPatch::eLINEAR));
    e->SetEvaluationStepU(1);
    e->SetEvaluationStepV(1);
    std::vector<double> source = Grid(2, 2, Bumpy);
    KQoxWeightedMapping mapping(0, 0);
    Output out = Evaluate(e.get(), source, 2, 2, &mapping);
    ASSERT_EQ(2u, out.x);
    ASSERT_EQ(2u, out.y);
    for (int i = 0; i < 4; ++i)
    {
        ExpectPoint(&out.points[size_t(i) * 4], &source[size_t(i) * 4]);
        ASSERT_EQ(1, mapping.GetRelationCount(KQoxWeightedMapping::eDESTINATION, i));
        EXPECT_EQ(i, mapping.GetRelation(KQoxWeightedMapping::eDESTINATION, i, 0).mIndex);
        EXPECT_EQ(1.0, mapping.GetRelation(KQoxWeightedMapping::eDESTINATION, i, 0).mWeight);
    }
}

TEST(KQoxSurfaceEvaluatorTest, ClosedBSplineWrapsItsNeighbourhood)
{
    EvaluatorPtr e(QOXCreateGeneralUniformSurface(KQoxPatch::eBSPLINE, KQoxPatch::eLINEAR));
    e->SetEvaluationModeU(1);
    e->SetEvaluationStepU(2);
    e->SetEvaluationStepV(1);
    std::vector<double> source = Grid(6, 2, Plane);
    KQoxWeightedMapping mapping(0, 0);
    Output out = Evaluate(e.get(), source, 6, 2, &mapping);
    ASSERT_EQ(12u, out.x); // N x step, no closing sample
    ASSERT_EQ(2u, out.y);
    // At t = 0 a B-spline point is (c[p] + 4 c[p+1] + c[p+2]) / 6.
    EXPECT_NEAR((0 + 4 * 1 + 2) / 6.0, out.points[0], 1e-12);
    // The last patch blends control columns 5, 0 and 1.
    EXPECT_NEAR((5 + 4 * 0 + 1) / 6.0, out.points[10 * 4], 1e-12);
    const KQoxWeightedMapping::ESet dst = KQoxWeightedMapping::eDESTINATION;
    ASSERT_EQ(3, mapping.GetRelationCount(dst, 10));
    EXPECT_EQ(5, mapping.GetRelation(dst, 10, 0).mIndex);
    EXPECT_EQ(0, mapping.GetRelation(dst, 10, 1).mIndex);
    EXPECT_NEAR(2.0 / 3.0, mapping.GetRelation(dst, 10, 1).mWeight, 1e-15);
    EXPECT_NEAR(1.0, mapping.GetRelationSum(dst, 10, false), 1e-12);
}

TEST(KQoxSurfaceEvaluatorTest, CollapsedRowsSetCapsAndShareOneNormal)
{
    EvaluatorPtr e(QOXCreateGeneralUniformSurface(KQoxPatch::eBEZIER, KQoxPatch::eBEZIER));
    // Row 0 collapses to the pole (1, 0, 5).
    std::vector<double> source = Grid(4, 4, Bumpy);
    for (size_t u = 0; u < 4; ++u)
        std::copy_n(std::vector<double>{1.0, 0.0, 5.0}.begin(), 3, source.begin() + long(u * 4));
    e->SetSourceArray(source.data(), 4, 4);
    EXPECT_EQ((std::vector<bool>{true, false, false, false}),
              (std::vector<bool>{e->GetBottomCapV(), e->GetTopCapV(), e->GetBottomCapU(), e->GetTopCapU()}));
    Output out = Evaluate(e.get(), source, 4, 4);
    // Every normal of row 0 is dV[0] x dU[X].
    const double* a = e->GetDerivativeU() + out.x * 4;
    const double* b = e->GetDerivativeV();
    const double n[3] = {a[2] * b[1] - a[1] * b[2], a[0] * b[2] - a[2] * b[0], a[1] * b[0] - a[0] * b[1]};
    for (unsigned int i = 0; i < out.x; ++i)
        ExpectPoint(&out.normals[i * 4], n, 0.0);
}

TEST(KQoxSurfaceEvaluatorTest, CurveTypesAndTension)
{
    // A type of 5 or more leaves the direction as it was; tension 1 blends as
    // the Cardinal type does.
    EvaluatorPtr cardinal(QOXCreateGeneralUniformSurface(KQoxPatch::eCARDINAL, KQoxPatch::eCARDINAL));
    SetSurfaceCurveTypeU(cardinal.get(), 5);
    EvaluatorPtr tension(KQOXSurfaceEvaluatorCreate());
    tension->SetSurfaceTensionU(1.0);
    tension->SetSurfaceTensionV(1.0);
    std::vector<double> source = Grid(5, 6, Bumpy);
    Output a = Evaluate(cardinal.get(), source, 5, 6);
    Output b = Evaluate(tension.get(), source, 5, 6);
    ASSERT_EQ(9u, a.x); // 2 patches x 4 + 1
    EXPECT_EQ(a.points, b.points);
    EXPECT_EQ(a.normals, b.normals);
}

// NURBS ------------------------------------------------------------------------------

namespace {

struct NurbsSetup
{
    std::vector<double> knotsU, knotsV, weights;
};

EvaluatorPtr MakeNurbs(unsigned int pOrderU, unsigned int pOrderV, unsigned int pStep, int pModeU, int pModeV,
                       NurbsSetup& pSetup)
{
    EvaluatorPtr e(KQOXNURBSurfaceEvaluatorCreate(pOrderU, pOrderV));
    e->SetEvaluationModeU(pModeU);
    e->SetEvaluationModeV(pModeV);
    e->SetEvaluationStepU(pStep);
    e->SetEvaluationStepV(pStep);
    e->SetAuxSourceArray(1, pSetup.knotsU.data());
    e->SetAuxSourceArray(2, pSetup.knotsV.data());
    e->SetAuxSourceArray(0, pSetup.weights.empty() ? nullptr : pSetup.weights.data());
    return e;
}

} // namespace

TEST(KQoxNurbsEvaluatorTest, BezierKnotsMatchTheUniformBezierPatch)
{
    NurbsSetup setup{{0, 0, 0, 0, 1, 1, 1, 1}, {0, 0, 0, 0, 1, 1, 1, 1}, std::vector<double>(16, 1.0)};
    EvaluatorPtr nurbs = MakeNurbs(4, 4, 4, 0, 0, setup);
    EvaluatorPtr bezier(QOXCreateGeneralUniformSurface(KQoxPatch::eBEZIER, KQoxPatch::eBEZIER));
    // 4 NURBS steps per span; the Bezier patch advances 3 points per patch.
    bezier->SetEvaluationStepU(1);
    bezier->SetEvaluationStepV(1);
    std::vector<double> source = Grid(4, 4, Bumpy);
    KQoxWeightedMapping mapping(0, 0);
    Output n = Evaluate(nurbs.get(), source, 4, 4, &mapping);
    ASSERT_EQ(5u, n.x);
    ASSERT_EQ(5u, n.y);
    ExpectPoint(&n.points[0], &source[0]);
    ExpectPoint(&n.points[24 * 4], &source[15 * 4]); // the end parameter: the last point, finite

    NurbsSetup thirds{{0, 0, 0, 0, 1, 1, 1, 1}, {0, 0, 0, 0, 1, 1, 1, 1}, std::vector<double>(16, 1.0)};
    EvaluatorPtr nurbs3 = MakeNurbs(4, 4, 3, 0, 0, thirds);
    Output a = Evaluate(nurbs3.get(), source, 4, 4);
    Output b = Evaluate(bezier.get(), source, 4, 4);
    ASSERT_EQ(a.x, b.x);
    for (size_t i = 0; i < 16; ++i)
        ExpectPoint(&a.points[i * 4], &b.points[i * 4], 1e-12);

    // Every output point's factors add up to 1 with unit weights.
    for (int d = 0; d < 25; ++d)
        EXPECT_NEAR(1.0, mapping.GetRelationSum(KQoxWeightedMapping::eDESTINATION, d, false), 1e-12);
}

TEST(KQoxNurbsEvaluatorTest, ScalingEveryWeightMovesNoPoint)
{
    std::vector<double> uniform = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    std::vector<double> weights(25);
    for (size_t i = 0; i < weights.size(); ++i)
        weights[i] = 0.5 + 0.1 * double(i % 7);
    NurbsSetup one{{0, 0, 0, 0, 1, 2, 2, 2, 2}, uniform, weights};
    for (double& w : weights)
        w *= 37.5;
    NurbsSetup scaled{one.knotsU, uniform, weights};
    std::vector<double> source = Grid(5, 5, Bumpy);
    EvaluatorPtr a = MakeNurbs(4, 4, 5, 0, 0, one);
    EvaluatorPtr b = MakeNurbs(4, 4, 5, 0, 0, scaled);
    Output pa = Evaluate(a.get(), source, 5, 5);
    Output pb = Evaluate(b.get(), source, 5, 5);
    ASSERT_EQ(11u, pa.x); // two spans in U
    ASSERT_EQ(11u, pa.y); // uniform open knots: spans [3, 4], [4, 5]
    for (size_t i = 0; i < pa.points.size(); ++i)
        EXPECT_NEAR(pa.points[i], pb.points[i], 1e-12);
}

TEST(KQoxNurbsEvaluatorTest, LowOrdersStayInsideTheirKnotsAndEndOnTheLastPoint)
{
    // Knot vectors sized exactly: a read past the end is caught by the
    // address sanitizer.
    struct Case
    {
        unsigned int order;
        unsigned int count;
        std::vector<double> knots;
        // Expected x of the output samples at step 2 (control point x = index).
        std::vector<double> x;
    };
    const Case cases[] = {
        {2, 3, {0, 0, 1, 2, 2}, {0, 0.5, 1, 1.5, 2}},
        {3, 3, {0, 0, 0, 1, 1, 1}, {0, 1.0, 2}},
        {3, 4, {0, 0, 0, 1, 2, 2, 2}, {0, 0.875, 1.5, 2.125, 3}},
    };
    for (const Case& c : cases)
    {
        std::vector<double> knots = c.knots;
        std::vector<double> linear = {0, 0, 1, 1};
        NurbsSetup setup{knots, linear, std::vector<double>(size_t(c.count) * 2, 1.0)};
        EvaluatorPtr e = MakeNurbs(c.order, 2, 2, 0, 0, setup);
        e->SetEvaluationStepV(1);
        std::vector<double> source = Grid(c.count, 2, Plane);
        // Wrapped control points would show as a jump back in x.
        Output out = Evaluate(e.get(), source, c.count, 2);
        ASSERT_EQ(c.x.size(), out.x) << "order " << c.order;
        ASSERT_EQ(2u, out.y);
        for (size_t i = 0; i < c.x.size(); ++i)
        {
            EXPECT_NEAR(c.x[i], out.points[i * 4], 1e-12) << "order " << c.order << " sample " << i;
            EXPECT_TRUE(std::isfinite(out.normals[i * 4 + 2]));
        }
    }
}

TEST(KQoxNurbsEvaluatorTest, PeriodicDirectionGivesOneSpanPerPoint)
{
    std::vector<double> knots(12);
    for (size_t i = 0; i < knots.size(); ++i)
        knots[i] = double(i);
    NurbsSetup setup{knots, {0, 0, 1, 1}, {}};
    EvaluatorPtr e = MakeNurbs(4, 2, 3, 1, 0, setup);
    std::vector<double> source = Grid(5, 2, Plane);
    KQoxWeightedMapping mapping(0, 0);
    Output out = Evaluate(e.get(), source, 5, 2, &mapping);
    EXPECT_EQ(5u, static_cast<KQOXNURBSurfaceEvaluator*>(e.get())->GetSpanCountU());
    std::vector<double> repeated = {0, 0, 0, 0, 1, 2, 2, 3, 3, 3, 3}; // [2, 2] is empty
    EXPECT_EQ(3u, Find_Number_Of_Span(repeated.data(), 11, 4));
    EXPECT_EQ(0.0, Compute_Bik(3.0, 6, 1, repeated.data())); // half-open at the end
    ASSERT_EQ(15u, out.x);
    ASSERT_EQ(4u, out.y);
    // Span 0 starts at (c0 + 4 c1 + c2) / 6; the last span blends 4, 0, 1, 2.
    EXPECT_NEAR(1.0, out.points[0], 1e-12);
    EXPECT_NEAR((4 + 4 * 0 + 1) / 6.0, out.points[12 * 4], 1e-12);
    EXPECT_EQ(3, mapping.GetRelationCount(KQoxWeightedMapping::eDESTINATION, 12));
}

TEST(KQoxNurbsEvaluatorTest, UnusableSurfacesAreRefused)
{
    std::vector<double> knots = {0, 0, 0, 0, 0, 1, 1, 1, 1, 1};
    std::vector<double> flat(10, 1.0);
    const double nan = std::nan("");
    std::vector<double> broken = {0, 0, 0, 0, nan, nan, 1, 1, 1, 1};
    struct Case
    {
        int type; // a patch type, or 10 + order for a NURBS evaluator
        unsigned int count, step;
        double* knots;
    };
    const Case cases[] = {
        {KQoxPatch::eBEZIER, 3, 1, nullptr},        // fewer points than the order
        {KQoxPatch::eLINEAR, 1, 1, nullptr},        // one column of a linear patch
        {KQoxPatch::eBSPLINE, 4, 0, nullptr},       // step 0
        {KQoxPatch::eLINEAR, 0, 1, nullptr},        // no points
        {KQoxPatch::eBEZIER, 4, 1u << 30, nullptr}, // a grid too large to address
        {14, 5, 1u << 12, knots.data()},            // likewise, 4097 x 4097 points
        {15, 5, 1, knots.data()},                   // order above 4
        {14, 3, 1, knots.data()},                   // fewer points than the order
        {14, 4, 1, flat.data()},                    // no non-empty span
        {14, 4, 1, nullptr},                        // no knots
        {14, 5, 1, broken.data()},                  // NaN knots leave no span
        {10, 4, 1, knots.data()},                   // order 0
    };
    for (const Case& c : cases)
    {
        EvaluatorPtr e(
            c.type < 10 ? QOXCreateGeneralUniformSurface(KQoxPatch::EPatchType(c.type), KQoxPatch::EPatchType(c.type))
                        : KQOXNURBSurfaceEvaluatorCreate(unsigned(c.type - 10), unsigned(c.type - 10)));
        e->SetEvaluationStepU(c.step);
        e->SetEvaluationStepV(c.step);
        e->SetAuxSourceArray(1, c.knots);
        e->SetAuxSourceArray(2, c.knots);
        std::vector<double> source = Grid(c.count, c.count, Plane);
        std::vector<double> destination(64, -7.0);
        e->SetSourceArray(source.data(), c.count, c.count);
        e->SetDestinationArray(destination.data());
        EXPECT_EQ(0u, e->GetCurvePointCountX()) << c.type << " " << c.count;
        EXPECT_FALSE(e->EvaluateSurface(nullptr));
        EXPECT_EQ(std::vector<double>(64, -7.0), destination);
    }
}

// Tables and rational sums worked by hand ---------------------------------------------

// A bilinear rational surface, 2 x 2 control points P00 (0,0,0) w 1, P10
// (2,0,0) w 3, P01 (0,2,0) w 1, P11 (2,2,2) w 1, knots 0,0,1,1 both ways,
// step 2: a 3 x 3 grid at u, v in {0, 0.5, 1}.
TEST(KQoxNurbsEvaluatorTest, UnevenWeightsGiveHandWorkedPointsDerivativesAndNormals)
{
    NurbsSetup setup{{0, 0, 1, 1}, {0, 0, 1, 1}, {1, 3, 1, 1}};
    std::vector<double> source = {0, 0, 0, 1, 2, 0, 0, 3, 0, 2, 0, 1, 2, 2, 2, 1};
    EvaluatorPtr e = MakeNurbs(2, 2, 2, 0, 0, setup);
    std::vector<double> scratch(12, -1.0);
    e->SetAuxSourceArray(5, scratch.data());
    KQoxWeightedMapping mapping(4, 9);
    Output out = Evaluate(e.get(), source, 2, 2, &mapping);
    ASSERT_EQ(3u, out.x);
    ASSERT_EQ(3u, out.y);
    auto* nurbs = static_cast<KQOXNURBSurfaceEvaluator*>(e.get());

    // Corners are the corner points.
    const double p00[3] = {0, 0, 0}, p11[3] = {2, 2, 2};
    ExpectPoint(&out.points[0], p00);
    ExpectPoint(&out.points[8 * 4], p11);
    // (0.5, 0): W = 0.5 + 1.5 = 2, P = 0.5 * 3 * (2,0,0) / 2, pulled towards the heavy point.
    const double edge[3] = {1.5, 0, 0};
    ExpectPoint(&out.points[1 * 4], edge);

    // The centre (output 4): every product 0.25, W = 1.5, W_u = 1, W_v = -1.
    const double* sums = nurbs->GetWeightTable();
    ASSERT_NE(nullptr, sums);
    EXPECT_DOUBLE_EQ(1.5, sums[4 * 3 + 0]);
    EXPECT_DOUBLE_EQ(1.0, sums[4 * 3 + 1]);
    EXPECT_DOUBLE_EQ(-1.0, sums[4 * 3 + 2]);
    EXPECT_DOUBLE_EQ(1.0, sums[0]); // W at the first corner is its weight
    // P = 0.25 * (8, 4, 2) / 1.5.
    const double centre[3] = {4.0 / 3, 2.0 / 3, 1.0 / 3};
    ExpectPoint(&out.points[4 * 4], centre);
    // dU = ((4,0,1) - P * 1) / 1.5 and dV = ((-2,2,1) + P) / 1.5.
    const double dU[3] = {16.0 / 9, -4.0 / 9, 4.0 / 9}, dV[3] = {-4.0 / 9, 16.0 / 9, 8.0 / 9};
    ExpectPoint(e->GetDerivativeU() + 4 * 4, dU);
    ExpectPoint(e->GetDerivativeV() + 4 * 4, dV);
    // N = dV x dU, not normalised.
    const double normal[3] = {96.0 / 81, 144.0 / 81, -240.0 / 81};
    ExpectPoint(&out.normals[4 * 4], normal);
    EXPECT_EQ(-7.0, out.points[4 * 4 + 3]); // the fourth value is left alone

    // Stored product tables, one record per output point: at the centre
    // Bij = 0.25 everywhere, Bdij = Nv[l] * dNu[k] = -0.5, 0.5 and Bidj =
    // dNv[l] * Nu[k] = -0.5 (row 0), 0.5 (row 1).
    ASSERT_NE(nullptr, e->GetBijTable());
    const double* bij = e->GetBijTable() + 4 * 16;
    const double* bdij = e->GetBdijTable() + 4 * 16;
    const double* bidj = e->GetBidjTable() + 4 * 16;
    for (int l = 0; l < 2; ++l)
        for (int k = 0; k < 2; ++k)
        {
            EXPECT_DOUBLE_EQ(0.25, bij[l * 4 + k]);
            EXPECT_DOUBLE_EQ(k == 0 ? -0.5 : 0.5, bdij[l * 4 + k]);
            EXPECT_DOUBLE_EQ(l == 0 ? -0.5 : 0.5, bidj[l * 4 + k]);
        }

    // The mapping keeps the weighted, undivided factors 0.25 * w; the scratch
    // ends holding each weight three times.
    const auto factor = [&](int pControlPoint) {
        int r = mapping.GetRelationIndex(KQoxWeightedMapping::eDESTINATION, 4, pControlPoint);
        return r < 0 ? -1.0 : mapping.GetRelation(KQoxWeightedMapping::eDESTINATION, 4, r).mWeight;
    };
    EXPECT_DOUBLE_EQ(0.25, factor(0));
    EXPECT_DOUBLE_EQ(0.75, factor(1));
    EXPECT_DOUBLE_EQ(0.25, factor(3));
    const std::vector<double> weightsTimesThree = {1, 1, 1, 3, 3, 3, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(weightsTimesThree, scratch);
}

TEST(KQoxNurbsEvaluatorTest, WeightsChangedInPlaceAreSeenByTheNextEvaluation)
{
    NurbsSetup setup{{0, 0, 1, 1}, {0, 0, 1, 1}, {1, 1, 1, 1}};
    std::vector<double> source = {0, 0, 0, 1, 2, 0, 0, 1, 0, 2, 0, 1, 2, 2, 2, 1};
    EvaluatorPtr e = MakeNurbs(2, 2, 2, 0, 0, setup);
    Output even = Evaluate(e.get(), source, 2, 2);
    const double flat[3] = {1.0, 0, 0};
    ExpectPoint(&even.points[1 * 4], flat);
    setup.weights[1] = 3.0; // same array, new value
    Output uneven = Evaluate(e.get(), source, 2, 2);
    const double pulled[3] = {1.5, 0, 0};
    ExpectPoint(&uneven.points[1 * 4], pulled);
}

TEST(KQoxNurbsEvaluatorTest, SpanAdvanceSkipsEmptySpans)
{
    // Order 2, 4 points, knots 0,0,1,1,2,2: spans at cursors 0 and 2 (cursor
    // 1 is empty), so the window moves 0 then 2 points (6 scratch doubles).
    NurbsSetup setup{{0, 0, 1, 1, 2, 2}, {0, 0, 1, 1}, {}};
    std::vector<double> source = Grid(4, 2, Plane);
    EvaluatorPtr e = MakeNurbs(2, 2, 1, 0, 0, setup);
    Output out = Evaluate(e.get(), source, 4, 2);
    auto* nurbs = static_cast<KQOXNURBSurfaceEvaluator*>(e.get());
    ASSERT_EQ(2u, nurbs->GetSpanCountU());
    ASSERT_NE(nullptr, nurbs->GetSpanAdvanceU());
    EXPECT_EQ(0, nurbs->GetSpanAdvanceU()[0]);
    EXPECT_EQ(6, nurbs->GetSpanAdvanceU()[1]);
    EXPECT_EQ(0, nurbs->GetSpanAdvanceV()[0]);
    // Step 1: u samples at the start of each span and the end: points 0, 2, 3.
    ASSERT_EQ(3u, out.x);
    const double first[3] = {0, 0, 0}, middle[3] = {2, 0, 2}, last[3] = {3, 0, 3};
    ExpectPoint(&out.points[0], first);
    ExpectPoint(&out.points[4], middle);
    ExpectPoint(&out.points[8], last);
}

TEST(KQoxSurfaceEvaluatorTest, ProductTablesHoldScaledTensorProducts)
{
    // Linear x Linear, step 1: Bi rows (1, 0), (0, 1); dBi (-1, 1) on both.
    EvaluatorPtr e(QOXCreateGeneralUniformSurface(KQoxPatch::eLINEAR, KQoxPatch::eLINEAR));
    e->SetEvaluationStepU(1);
    e->SetEvaluationStepV(1);
    std::vector<double> source = Grid(2, 2, Plane);
    Evaluate(e.get(), source, 2, 2);
    ASSERT_NE(nullptr, e->GetBijTable());
    // Record (j = 1, i = 0): Bij = Bj[1][l] * Bi[0][k] is 1 at l = 1, k = 0 only.
    const double* bij = e->GetBijTable() + (1 * 2 + 0) * 16;
    for (int entry = 0; entry < 16; ++entry)
        EXPECT_EQ(entry == 4 ? 1.0 : 0.0, bij[entry]) << entry;
    // Record (0, 0): Bdij = (0.5 / 1) * Bj[0][l] * dBi[0][k]: -0.5, 0.5 on row 0.
    const double* bdij = e->GetBdijTable();
    EXPECT_EQ(-0.5, bdij[0]);
    EXPECT_EQ(0.5, bdij[1]);
    EXPECT_EQ(0.0, bdij[4]);
    // Bidj = 0.5 * dBj[0][l] * Bi[0][k]: -0.5 at (0, 0), 0.5 at (1, 0).
    const double* bidj = e->GetBidjTable();
    EXPECT_EQ(-0.5, bidj[0]);
    EXPECT_EQ(0.5, bidj[4]);
    EXPECT_EQ(0.0, bidj[1]);
}

TEST(KQoxSurfaceEvaluatorTest, OversizedProductTablesAreFormedPerPointWithTheSameSurface)
{
    // A Bezier patch of a plane with step 400: 1201 x 1201 pairs of rows, too
    // many to store, still lands on the plane z = x + 2y.
    EvaluatorPtr e(QOXCreateGeneralUniformSurface(KQoxPatch::eBEZIER, KQoxPatch::eBEZIER));
    e->SetEvaluationStepU(400);
    e->SetEvaluationStepV(1);
    std::vector<double> source = Grid(4, 4, Plane);
    e->SetEvaluationStepV(400);
    Output out = Evaluate(e.get(), source, 4, 4);
    ASSERT_EQ(1201u, out.x);
    EXPECT_EQ(nullptr, e->GetBijTable());
    for (size_t i : {size_t(0), size_t(1), size_t(600) * 1201 + 17, out.points.size() / 4 - 1})
    {
        const double* p = &out.points[i * 4];
        EXPECT_NEAR(p[0] + 2 * p[1], p[2], 1e-9) << i;
    }
    const double last[3] = {3, 3, 9};
    ExpectPoint(&out.points[out.points.size() - 4], last, 1e-9);
}

TEST(KQoxSurfaceEvaluatorTest, EveryDirectionSetterCountsThePointsAgain)
{
    // Bezier over 7 x 4 control points, one segment per step: 2 x 1 patches.
    EvaluatorPtr e(QOXCreateGeneralUniformSurface(KQoxPatch::eBEZIER, KQoxPatch::eBEZIER));
    e->SetEvaluationStepU(1);
    e->SetEvaluationStepV(1);
    std::vector<double> source = Grid(7, 4, Bumpy);
    e->SetSourceArray(source.data(), 7, 4);
    auto counts = [&e]() { return std::make_pair(e->GetCurvePointCountX(), e->GetCurvePointCountY()); };
    using Counts = std::pair<unsigned int, unsigned int>;
    EXPECT_EQ(counts(), Counts(7u, 4u));
    // Points = patches * step * after-step (+1 when open); patches =
    // (count - order) / after-step + 1, or + order when wrapping.
    e->SetEvaluationStepU(2);
    EXPECT_EQ(counts(), Counts(13u, 4u));
    e->SetEvaluationStepV(2);
    EXPECT_EQ(counts(), Counts(13u, 7u));
    e->SetEvaluationModeU(1);
    EXPECT_EQ(counts(), Counts(30u, 7u));
    e->SetEvaluationModeV(1);
    EXPECT_EQ(counts(), Counts(30u, 24u));
    e->SetAfterStepU(1);
    EXPECT_EQ(counts(), Counts(14u, 24u));
    e->SetAfterStepV(1);
    EXPECT_EQ(counts(), Counts(14u, 8u));
    e->SetEvaluationModeU(0);
    EXPECT_EQ(counts(), Counts(9u, 8u));
    e->SetEvaluationModeV(0);
    EXPECT_EQ(counts(), Counts(9u, 3u));
    e->SetOrderU(2);
    EXPECT_EQ(counts(), Counts(13u, 3u));
    e->SetOrderV(2);
    EXPECT_EQ(counts(), Counts(13u, 7u));
    // Tension sets order 4 and after-step 1 again.
    e->SetSurfaceTensionU(0.5);
    EXPECT_EQ(counts(), Counts(9u, 7u));
    e->SetSurfaceTensionV(0.5);
    EXPECT_EQ(counts(), Counts(9u, 3u));
    EXPECT_EQ(e->GetSurfaceTensionU(), 0.5);
    EXPECT_EQ(e->GetOrderV(), 4u);
    EXPECT_EQ(e->GetAfterStepV(), 1u);
}
