// NURBS and patch surfaces: knot counts, copies, tokens, the patch to NURBS
// conversion, zero-weight repair and the flip.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "scene/attributes/kqoxgeometryconverter.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxpatch.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

class SurfaceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mManager.reset(KQoxSdkManager::CreateKQoxSdkManager());
        mConverter = mManager->CreateKQoxGeometryConverter();
    }

    static std::vector<double> Knots(double* pKnots, int pCount)
    {
        return pKnots ? std::vector<double>(pKnots, pKnots + pCount) : std::vector<double>();
    }

    KQoxPatch* Patch(int pU, KQoxPatch::EPatchType pUType, int pV, KQoxPatch::EPatchType pVType, bool pClosedU,
                     bool pClosedV)
    {
        KQoxPatch* patch = mManager->CreateKQoxPatch();
        patch->InitControlPoints(pU, pUType, pV, pVType);
        patch->SetClosed(pClosedU, pClosedV);
        patch->SetStep(3, 5);
        for (int i = 0; i < pU * pV; ++i)
            patch->GetControlPoints()[i] = KQoxVector4(i, 2.0 * i, 0.0, 0.0);
        return patch;
    }

    std::unique_ptr<KQoxSdkManager> mManager;
    KQoxGeometryConverter* mConverter = nullptr;
};

} // namespace

TEST_F(SurfaceTest, NurbKnotCountsAndInitialisation)
{
    KQoxNurb* nurb = mManager->CreateKQoxNurb();
    EXPECT_EQ(KQoxNodeAttribute::eNURB, nurb->GetAttributeType());
    EXPECT_STREQ("Nurb", nurb->GetTypeName().ToChars());
    EXPECT_EQ(0, nurb->GetUKnotCount());
    EXPECT_EQ(nullptr, nurb->GetUKnotVector());
    EXPECT_EQ(4, nurb->GetSurfaceMode());
    nurb->SetOrder(4, 4);
    EXPECT_EQ(4, nurb->GetUKnotCount()); // count 0, Open: the order
    struct Case
    {
        KQoxNurb::ENurbType type;
        int knots;
    };
    for (const Case& c : {Case{KQoxNurb::ePERIODIC, 12}, Case{KQoxNurb::eCLOSED, 12}, Case{KQoxNurb::eOPEN, 9}})
    {
        nurb->InitControlPoints(5, c.type, 3, KQoxNurb::eOPEN);
        EXPECT_EQ(c.knots, nurb->GetUKnotCount());
        EXPECT_EQ(c.knots, nurb->GetUKnotVectorSize());
        EXPECT_EQ(7, nurb->GetVKnotCount());
        EXPECT_EQ(15, nurb->GetControlPointsCount());
        nurb->GetUKnotVector()[0] = 42.0;
        nurb->GetUMultiplicityVector()[1] = 3;
    }
    // Initialising again discards the knots and resets every multiplicity.
    nurb->InitControlPoints(5, KQoxNurb::eOPEN, 3, KQoxNurb::eOPEN);
    EXPECT_EQ(0.0, nurb->GetUKnotVector()[0]);
    EXPECT_EQ(std::vector<int>(5, 1),
              std::vector<int>(nurb->GetUMultiplicityVector(), nurb->GetUMultiplicityVector() + 5));
    // Counts that cannot be held leave an empty surface.
    nurb->InitControlPoints(-1, KQoxNurb::eOPEN, 3, KQoxNurb::eOPEN);
    EXPECT_EQ(0, nurb->GetControlPointsCount());
    EXPECT_EQ(KQoxGeometry::ePARAMETER_OUT_OF_RANGE, nurb->GetLastErrorID());
    nurb->InitControlPoints(1 << 20, KQoxNurb::eOPEN, 1 << 20, KQoxNurb::eOPEN);
    EXPECT_EQ(0, nurb->GetUCount());
    EXPECT_EQ(0, KQoxNurb::KnotCount(0x7fffffff, 4, KQoxNurb::ePERIODIC));

    const char* tokens[] = {"Periodic", "Closed", "Open"};
    for (int i = 0; i < 3; ++i)
    {
        KQoxNurb::ENurbType type = KQoxNurb::eOPEN;
        EXPECT_STREQ(tokens[i], KQoxNurb::NurbTypeToken(i));
        EXPECT_TRUE(KQoxNurb::NurbTypeFromToken(tokens[i], type));
        EXPECT_EQ(i, type);
    }
    KQoxNurb::ENurbType untouched = KQoxNurb::eCLOSED;
    EXPECT_FALSE(KQoxNurb::NurbTypeFromToken("open", untouched));
    EXPECT_EQ(KQoxNurb::eCLOSED, untouched);
    EXPECT_EQ(nullptr, KQoxNurb::NurbTypeToken(3));
}

TEST_F(SurfaceTest, CopiesCarryEveryFieldAndVector)
{
    KQoxNurb* source = mManager->CreateKQoxNurb();
    source->SetOrder(3, 2);
    source->InitControlPoints(4, KQoxNurb::ePERIODIC, 2, KQoxNurb::eOPEN);
    source->SetStep(7, 8);
    source->SetSurfaceMode(2);
    source->SetApplyFlipUV(true);
    for (int k = 0; k < source->GetUKnotCount(); ++k)
        source->GetUKnotVector()[k] = 0.5 * k;
    source->GetVMultiplicityVector()[1] = 2;
    source->GetControlPoints()[5] = KQoxVector4(1, 2, 3, 0.25);

    KQoxNurb* copy = mManager->CreateKQoxNurb();
    copy->SetOrder(4, 4);
    copy->InitControlPoints(9, KQoxNurb::eOPEN, 9, KQoxNurb::eOPEN);
    *copy = *source;
    EXPECT_EQ(3u, copy->GetUOrder());
    EXPECT_EQ(2u, copy->GetVOrder());
    EXPECT_EQ(7, copy->GetUStep());
    EXPECT_EQ(2, copy->GetSurfaceMode());
    EXPECT_TRUE(copy->GetApplyFlipUV());
    EXPECT_FALSE(copy->GetApplyFlipLinks());
    EXPECT_EQ(KQoxNurb::ePERIODIC, copy->GetNurbUType());
    EXPECT_EQ(Knots(source->GetUKnotVector(), 9), Knots(copy->GetUKnotVector(), copy->GetUKnotVectorSize()));
    EXPECT_EQ(2, copy->GetVMultiplicityVector()[1]);
    EXPECT_EQ(8, copy->GetControlPointsCount());
    EXPECT_EQ(0.25, copy->GetControlPoints()[5][3]);

    KQoxPatch* patch = mManager->CreateKQoxPatch();
    EXPECT_EQ(KQoxPatch::eLINEAR, patch->GetPatchUType());
    EXPECT_EQ(KQoxPatch::eLINEAR, patch->GetPatchVType());
    EXPECT_FALSE(patch->GetUClosed() || patch->GetVClosed() || patch->GetUCappedBottom() || patch->GetVCappedTop());
    EXPECT_EQ(4, patch->GetSurfaceMode());
    EXPECT_STREQ("Patch", patch->GetTypeName().ToChars());
    patch->InitControlPoints(3, KQoxPatch::eBSPLINE, 2, KQoxPatch::eCARDINAL);
    patch->SetUCapped(true, false);
    patch->SetVCapped(false, true);
    patch->SetClosed(true, false);
    KQoxPatch* patchCopy = mManager->CreateKQoxPatch();
    *patchCopy = *patch;
    EXPECT_EQ(6, patchCopy->GetControlPointsCount());
    EXPECT_EQ(KQoxPatch::eCARDINAL, patchCopy->GetPatchVType());
    EXPECT_TRUE(patchCopy->GetUCappedBottom() && patchCopy->GetVCappedTop() && patchCopy->GetUClosed());
    const char* tokens[] = {"Bezier", "BezierQuadric", "Cardinal", "BSpline", "Linear"};
    for (int i = 0; i < 5; ++i)
    {
        KQoxPatch::EPatchType type = KQoxPatch::eLINEAR;
        EXPECT_STREQ(tokens[i], KQoxPatch::PatchTypeToken(i));
        EXPECT_TRUE(KQoxPatch::PatchTypeFromToken(tokens[i], type));
        EXPECT_EQ(i, type);
    }
}

TEST_F(SurfaceTest, PatchesBecomeNurbsWithTheirKnotVectors)
{
    struct Case
    {
        int u;
        KQoxPatch::EPatchType type;
        bool closed;
        unsigned int order;
        KQoxNurb::ENurbType form;
        std::vector<double> knots;
    };
    const Case cases[] = {
        {4, KQoxPatch::eBEZIER, false, 4, KQoxNurb::eOPEN, {0, 0, 0, 0, 1, 1, 1, 1}},
        {7, KQoxPatch::eBEZIER, true, 4, KQoxNurb::eOPEN, {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2}},
        // Not 3s + 1 points: the pattern stops at the knot count.
        {5, KQoxPatch::eBEZIER, false, 4, KQoxNurb::eOPEN, {0, 0, 0, 0, 1, 2, 2, 2, 2}},
        {5, KQoxPatch::eLINEAR, true, 2, KQoxNurb::eCLOSED, {0, 0, 1, 2, 3, 4, 5, 5}},
        {5, KQoxPatch::eLINEAR, false, 2, KQoxNurb::eOPEN, {0, 0, 1, 2, 3, 4, 4}},
        {2, KQoxPatch::eLINEAR, false, 2, KQoxNurb::eOPEN, {0, 0, 1, 1}},
        {5, KQoxPatch::eBSPLINE, true, 4, KQoxNurb::ePERIODIC, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {5, KQoxPatch::eBSPLINE, false, 4, KQoxNurb::eOPEN, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const Case& c : cases)
    {
        KQoxPatch* patch = Patch(c.u, c.type, 4, KQoxPatch::eBEZIER, c.closed, false);
        KQoxNurb* nurb = mConverter->ConvertPatchToNurb(patch);
        ASSERT_NE(nullptr, nurb) << c.type;
        EXPECT_EQ(c.order, nurb->GetUOrder());
        EXPECT_EQ(4u, nurb->GetVOrder());
        EXPECT_EQ(c.form, nurb->GetNurbUType());
        EXPECT_EQ(c.knots, Knots(nurb->GetUKnotVector(), nurb->GetUKnotCount())) << c.type << " " << c.u;
        EXPECT_EQ(c.knots.size(), size_t(nurb->GetUKnotVectorSize()));
        EXPECT_EQ((std::vector<double>{0, 0, 0, 0, 1, 1, 1, 1}), Knots(nurb->GetVKnotVector(), 8));
        EXPECT_EQ(3, nurb->GetUStep());
        EXPECT_EQ(5, nurb->GetVStep());
        ASSERT_EQ(c.u * 4, nurb->GetControlPointsCount());
        for (int i = 0; i < c.u * 4; ++i)
        {
            EXPECT_EQ(double(i), nurb->GetControlPoints()[i][0]);
            EXPECT_EQ(1.0, nurb->GetControlPoints()[i][3]);
        }
    }
    // BezierQuadric and Cardinal directions do not convert; nothing is made.
    const int attributes = mManager->GetKQoxNodeAttributeCount();
    for (KQoxPatch::EPatchType type : {KQoxPatch::eBEZIER_QUADRIC, KQoxPatch::eCARDINAL})
    {
        KQoxPatch* patch = Patch(4, KQoxPatch::eBSPLINE, 4, type, false, false);
        EXPECT_EQ(nullptr, mConverter->CreateNurbFromPatch(patch));
        EXPECT_EQ(attributes + 1, mManager->GetKQoxNodeAttributeCount());
        mManager->DestroyKQoxNodeAttribute(patch);
    }
    EXPECT_EQ(nullptr, mConverter->CreateNurbFromPatch(nullptr));
}

TEST_F(SurfaceTest, ShapesOfTheConversionGetUsableWeights)
{
    KQoxPatch* patch = Patch(4, KQoxPatch::eBEZIER, 4, KQoxPatch::eBEZIER, false, false);
    KQoxShape* shape = mManager->CreateKQoxShape();
    shape->InitControlPoints(16);
    shape->InitNormals(0);
    const double weights[] = {0.0, -2.0, 0.5, std::numeric_limits<double>::quiet_NaN(), -0.0, 3.0};
    for (int i = 0; i < 6; ++i)
    {
        shape->GetControlPoints()[i][3] = weights[i];
        shape->GetNormals()[i][3] = weights[i];
    }
    patch->AddShape(shape, "Pinch");
    KQoxNurb* nurb = mConverter->ConvertPatchToNurb(patch);
    ASSERT_EQ(1, nurb->GetShapeCount());
    const double expected[] = {1.0, 1.0, 0.5, 1.0, 1.0, 3.0};
    for (int i = 0; i < 6; ++i)
    {
        EXPECT_EQ(expected[i], nurb->GetShape(0)->GetControlPoints()[i][3]) << i;
        EXPECT_EQ(expected[i], nurb->GetShape(0)->GetNormals()[i][3]) << i;
    }
    // The patch's own shape is untouched.
    EXPECT_EQ(0.0, shape->GetControlPoints()[0][3]);
}

TEST_F(SurfaceTest, PatchReplacedInPlace)
{
    KQoxNode* node = mManager->CreateKQoxNode("sheet");
    KQoxPatch* patch = Patch(4, KQoxPatch::eLINEAR, 4, KQoxPatch::eLINEAR, false, false);
    node->SetNodeAttribute(patch);
    ASSERT_TRUE(mConverter->ConvertPatchToNurbInPlace(node));
    ASSERT_NE(nullptr, node->GetNurb());
    EXPECT_EQ(nullptr, node->GetPatch());
    EXPECT_EQ(2u, static_cast<KQoxNurb*>(node->GetNurb())->GetUOrder());
    EXPECT_FALSE(mConverter->ConvertPatchToNurbInPlace(node)); // no patch any more

    KQoxNode* other = mManager->CreateKQoxNode("cardinal");
    KQoxPatch* cardinal = Patch(4, KQoxPatch::eCARDINAL, 4, KQoxPatch::eLINEAR, false, false);
    other->SetNodeAttribute(cardinal);
    EXPECT_FALSE(mConverter->ConvertPatchToNurbInPlace(other));
    EXPECT_EQ(cardinal, other->GetPatch());
}

TEST_F(SurfaceTest, FlipExchangesDirectionsAndRemapsLinks)
{
    KQoxNurb* nurb = mManager->CreateKQoxNurb();
    nurb->SetOrder(3, 2);
    nurb->InitControlPoints(3, KQoxNurb::eOPEN, 2, KQoxNurb::eCLOSED);
    nurb->SetStep(4, 6);
    for (int i = 0; i < 6; ++i)
        nurb->GetControlPoints()[i] = KQoxVector4(i, 0, 0, 1);
    for (int k = 0; k < nurb->GetUKnotCount(); ++k)
        nurb->GetUKnotVector()[k] = k;
    KQoxLink* link = mManager->CreateKQoxLink();
    link->AddControlPointIndex(4, 0.5); // column 1, row 1
    link->AddControlPointIndex(2, 0.25);
    nurb->AddLink(link);

    KQoxNurb* swapped = mConverter->FlipNurb(nurb, true, false);
    EXPECT_EQ(2, swapped->GetUCount());
    EXPECT_EQ(3, swapped->GetVCount());
    EXPECT_EQ(2u, swapped->GetUOrder());
    EXPECT_EQ(6, swapped->GetUStep());
    EXPECT_EQ(KQoxNurb::eCLOSED, swapped->GetNurbUType());
    EXPECT_EQ(Knots(nurb->GetUKnotVector(), 6), Knots(swapped->GetVKnotVector(), swapped->GetVKnotVectorSize()));
    const double order[] = {0, 3, 1, 4, 2, 5};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(order[i], swapped->GetControlPoints()[i][0]);
    EXPECT_EQ(4, swapped->GetLink(0)->GetControlPointIndices()[0]); // links untouched

    KQoxNurb* relinked = mConverter->FlipNurb(nurb, false, true);
    EXPECT_EQ(3, relinked->GetUCount());
    EXPECT_EQ(1.0, relinked->GetControlPoints()[1][0]);
    EXPECT_EQ(3, relinked->GetLink(0)->GetControlPointIndices()[0]);
    EXPECT_EQ(4, relinked->GetLink(0)->GetControlPointIndices()[1]);
    EXPECT_EQ(0.25, relinked->GetLink(0)->GetControlPointWeights()[1]);
    EXPECT_EQ(4, link->GetControlPointIndices()[0]); // the source keeps its link

    KQoxNurb* copy = mConverter->FlipNurb(nurb, false, false);
    EXPECT_NE(nurb, copy);
    EXPECT_NE(link, copy->GetLink(0));
    EXPECT_EQ(Knots(nurb->GetUKnotVector(), 6), Knots(copy->GetUKnotVector(), 6));
    EXPECT_EQ(nullptr, mConverter->FlipNurb(nullptr, true, true));

    // A surface of U count 0 keeps its link indices.
    KQoxNurb* empty = mManager->CreateKQoxNurb();
    KQoxLink* loose = mManager->CreateKQoxLink();
    loose->AddControlPointIndex(7, 1.0);
    empty->AddLink(loose);
    KQoxNurb* flipped = mConverter->FlipNurb(empty, true, true);
    EXPECT_EQ(7, flipped->GetLink(0)->GetControlPointIndices()[0]);
}
