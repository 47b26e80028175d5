// Uniform and NURBS surface evaluators: grid counts, reproduced points, wraps,
// caps, refused surfaces, rational invariance and the control-point mapping.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
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
    // Row 0 collapses to the pole (1, 0, 5); the last column collapses too.
    std::vector<double> source = Grid(4, 4, Bumpy);
    for (int u = 0; u < 4; ++u)
    {
        source[size_t(u) * 4 + 0] = 1.0;
        source[size_t(u) * 4 + 1] = 0.0;
        source[size_t(u) * 4 + 2] = 5.0;
    }
    e->SetSourceArray(source.data(), 4, 4);
    EXPECT_TRUE(e->GetBottomCapV());
    EXPECT_FALSE(e->GetTopCapV());
    EXPECT_FALSE(e->GetBottomCapU());
    EXPECT_FALSE(e->GetTopCapU());
    Output out = Evaluate(e.get(), source, 4, 4);
    for (unsigned int i = 1; i < out.x; ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(out.normals[c], out.normals[i * 4 + c]);
    const double* dU = e->GetDerivativeU();
    const double* dV = e->GetDerivativeV();
    ASSERT_TRUE(dU && dV);
    // Row 0's normal is dV[0] x dU[X].
    const double* a = dU + out.x * 4;
    const double* b = dV;
    const double n[3] = {a[2] * b[1] - a[1] * b[2], a[0] * b[2] - a[2] * b[0], a[1] * b[0] - a[0] * b[1]};
    ExpectPoint(&out.normals[0], n, 0.0);
}

TEST(KQoxSurfaceEvaluatorTest, UnusableSurfacesAreRefused)
{
    struct Case
    {
        int type;
        unsigned int u, v, step, mode;
    };
    const Case cases[] = {
        {KQoxPatch::eBEZIER, 3, 4, 1, 0},  // fewer points than the order
        {KQoxPatch::eBEZIER, 0, 4, 1, 1},  // no points, wrapping
        {KQoxPatch::eLINEAR, 1, 2, 1, 0},  // one column of a linear patch
        {KQoxPatch::eBSPLINE, 4, 4, 0, 0}, // step 0
    };
    for (const Case& c : cases)
    {
        EvaluatorPtr e(QOXCreateGeneralUniformSurface(KQoxPatch::EPatchType(c.type), KQoxPatch::EPatchType(c.type)));
        e->SetEvaluationModeU(int(c.mode));
        e->SetEvaluationStepU(c.step);
        std::vector<double> source = Grid(c.u, c.v, Plane);
        std::vector<double> destination(64, -7.0);
        e->SetSourceArray(source.data(), c.u, c.v);
        EXPECT_EQ(0u, e->GetCurvePointCountX()) << c.type << " " << c.u;
        e->SetDestinationArray(destination.data());
        EXPECT_FALSE(e->EvaluateSurface(nullptr));
        EXPECT_EQ(std::vector<double>(64, -7.0), destination);
    }
    // No source at all, and no destination.
    EvaluatorPtr e(QOXCreateGeneralUniformSurface(KQoxPatch::eLINEAR, KQoxPatch::eLINEAR));
    EXPECT_EQ(0u, e->GetCurvePointCountX());
    EXPECT_FALSE(e->EvaluateSurface(nullptr));
}

TEST(KQoxSurfaceEvaluatorTest, CurveTypesAndTension)
{
    // A type of 5 or more leaves the direction as it was.
    EvaluatorPtr e(QOXCreateGeneralUniformSurface(KQoxPatch::eBEZIER_QUADRIC, KQoxPatch::eLINEAR));
    SetSurfaceCurveTypeU(e.get(), 5);
    SetSurfaceCurveTypeV(e.get(), -1);
    EXPECT_EQ(3u, e->GetOrderU());
    EXPECT_EQ(2u, e->GetAfterStepU());
    EXPECT_EQ(2u, e->GetOrderV());
    EXPECT_EQ(4, e->GetEvaluationModeU());

    // Tension 1 blends as the Cardinal type does.
    EvaluatorPtr cardinal(QOXCreateGeneralUniformSurface(KQoxPatch::eCARDINAL, KQoxPatch::eCARDINAL));
    EvaluatorPtr tension(KQOXSurfaceEvaluatorCreate());
    tension->SetSurfaceTensionU(1.0);
    tension->SetSurfaceTensionV(1.0);
    EXPECT_EQ(1.0, tension->GetSurfaceTensionU());
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
    // Unequal weights pull the surface away from the non-rational one.
    NurbsSetup flat{one.knotsU, uniform, {}};
    EvaluatorPtr c = MakeNurbs(4, 4, 5, 0, 0, flat);
    Output pc = Evaluate(c.get(), source, 5, 5);
    EXPECT_GT(std::fabs(pc.points[60 * 4 + 2] - pa.points[60 * 4 + 2]), 1e-6);
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
    ASSERT_EQ(15u, out.x);
    ASSERT_EQ(4u, out.y);
    // Span 0 starts at (c0 + 4 c1 + c2) / 6; the last span blends 4, 0, 1, 2.
    EXPECT_NEAR(1.0, out.points[0], 1e-12);
    EXPECT_NEAR((4 + 4 * 0 + 1) / 6.0, out.points[12 * 4], 1e-12);
    EXPECT_EQ(3, mapping.GetRelationCount(KQoxWeightedMapping::eDESTINATION, 12));
}

TEST(KQoxNurbsEvaluatorTest, BasisFunctionsAndSpans)
{
    std::vector<double> knots = {0, 0, 0, 0, 1, 2, 2, 3, 3, 3, 3};
    // Partition of unity and derivatives summing to 0 inside the range.
    for (double t : {0.0, 0.3, 1.0, 1.7, 2.0, 2.9})
    {
        double sum = 0.0, dsum = 0.0;
        for (unsigned int i = 0; i + 4 < knots.size(); ++i)
        {
            sum += Compute_Bik(t, i, 4, knots.data());
            dsum += Compute_dBik(t, i, 4, knots.data());
        }
        EXPECT_NEAR(1.0, sum, 1e-12) << t;
        EXPECT_NEAR(0.0, dsum, 1e-12) << t;
    }
    // Half-open order-1 basis: 0 at the end knot.
    EXPECT_EQ(0.0, Compute_Bik(3.0, 6, 1, knots.data()));
    EXPECT_EQ(1.0, Compute_Bik(2.0, 6, 1, knots.data()));
    EXPECT_EQ(0.0, Compute_Bik(0.5, 0, 4, nullptr));
    // Spans [0,1], [1,2], [2,3]: the repeated 2 makes an empty span.
    EXPECT_EQ(3u, Find_Number_Of_Span(knots.data(), 11, 4));
    EXPECT_EQ(0u, Find_Number_Of_Span(knots.data(), 3, 4));
    EXPECT_EQ(0u, Find_Number_Of_Span(nullptr, 11, 4));
}

TEST(KQoxNurbsEvaluatorTest, UnusableSurfacesAreRefused)
{
    std::vector<double> knots = {0, 0, 0, 0, 0, 1, 1, 1, 1, 1};
    std::vector<double> flat = {1, 1, 1, 1, 1, 1, 1, 1};
    struct Case
    {
        unsigned int order;
        unsigned int count;
        double* knots;
    };
    const Case cases[] = {
        {5, 5, knots.data()}, // order above 4
        {4, 3, knots.data()}, // fewer points than the order
        {4, 4, flat.data()},  // no non-empty span
        {4, 4, nullptr},      // no knots
        {0, 4, knots.data()},
    };
    for (const Case& c : cases)
    {
        EvaluatorPtr e(KQOXNURBSurfaceEvaluatorCreate(c.order, c.order));
        e->SetAuxSourceArray(1, c.knots);
        e->SetAuxSourceArray(2, c.knots);
        std::vector<double> source = Grid(c.count, c.count, Plane);
        std::vector<double> destination(16, -7.0);
        e->SetSourceArray(source.data(), c.count, c.count);
        e->SetDestinationArray(destination.data());
        EXPECT_EQ(0u, e->GetCurvePointCountX()) << c.order << " " << c.count;
        EXPECT_FALSE(e->EvaluateSurface(nullptr));
        EXPECT_EQ(-7.0, destination[0]);
    }
}
