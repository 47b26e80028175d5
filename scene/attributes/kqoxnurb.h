#ifndef QOX_SCENE_ATTRIBUTES_KQOXNURB_H
#define QOX_SCENE_ATTRIBUTES_KQOXNURB_H

// KQoxNurb: the rational B-spline surface (attribute type 5). The geometry's
// control points form a U count x V count grid, U running fastest; the fourth
// component of each is its weight. Each direction has an order, a form
// (periodic, closed or open), a knot vector and one multiplicity per control
// point. Created and destroyed only through the SDK manager.
//
// The surface is ready for tessellation when the orders are set, then
// InitControlPoints is called, the knot vectors hold non-decreasing values
// and every weight is positive.

#include <vector>

#include "scene/attributes/kqoxgeometry.h"

namespace qoxsdk_600 {

class KQoxNurb : public KQoxGeometry
{
public:
    // File tokens "Periodic", "Closed", "Open".
    typedef enum : int
    {
        ePERIODIC = 0,
        eCLOSED = 1,
        eOPEN = 2
    } ENurbType;

    // Display mode of the surface: stored and copied only.
    typedef int ESurfaceMode;
    static const ESurfaceMode eDEFAULT_SURFACE_MODE = 4;

    explicit KQoxNurb(KQoxSdkManager& pManager);
    ~KQoxNurb() override;

    EAttributeType GetAttributeType() const override { return eNURB; }
    KString GetTypeName() override { return KString("Nurb"); }
    KStringList GetTypeFlags() override { return KStringList(); }

    // Frees the knot and multiplicity vectors, zeroes orders, counts and
    // steps, both forms Open, surface mode 4, both flip flags false.
    void Reset();
    void SetOrder(unsigned int pU, unsigned int pV)
    {
        mUOrder = pU;
        mVOrder = pV;
    }
    // Gives the geometry U count x V count control points (none when either
    // count is negative), stores counts and forms, sizes both knot vectors to
    // the knot counts (values 0) and both multiplicity vectors to the counts
    // (values 1). Set the orders first: the knot counts use them.
    void InitControlPoints(int pUCount, ENurbType pUType, int pVCount, ENurbType pVType);
    void SetStep(int pU, int pV)
    {
        mUStep = pU;
        mVStep = pV;
    }
    void SetSurfaceMode(ESurfaceMode pMode) { mSurfaceMode = pMode; }
    void SetApplyFlipUV(bool pFlag) { mApplyFlipUV = pFlag; }
    bool GetApplyFlipUV() const { return mApplyFlipUV; }
    void SetApplyFlipLinks(bool pFlag) { mApplyFlipLinks = pFlag; }
    bool GetApplyFlipLinks() const { return mApplyFlipLinks; }

    unsigned int GetUOrder() const { return mUOrder; }
    unsigned int GetVOrder() const { return mVOrder; }
    int GetUCount() const { return mUCount; }
    int GetVCount() const { return mVCount; }
    int GetUStep() const { return mUStep; }
    int GetVStep() const { return mVStep; }
    ENurbType GetNurbUType() const { return mUType; }
    ENurbType GetNurbVType() const { return mVType; }
    ESurfaceMode GetSurfaceMode() const { return mSurfaceMode; }

    // The vectors themselves, filled in place by callers; null when empty.
    double* GetUKnotVector() { return mUKnots.empty() ? nullptr : mUKnots.data(); }
    double* GetVKnotVector() { return mVKnots.empty() ? nullptr : mVKnots.data(); }
    int* GetUMultiplicityVector() { return mUMultiplicity.empty() ? nullptr : mUMultiplicity.data(); }
    int* GetVMultiplicityVector() { return mVMultiplicity.empty() ? nullptr : mVMultiplicity.data(); }
    // Values the knot vectors hold (the knot counts as of InitControlPoints).
    int GetUKnotVectorSize() const { return static_cast<int>(mUKnots.size()); }
    int GetVKnotVectorSize() const { return static_cast<int>(mVKnots.size()); }
    // count + order for an Open direction, count + 2 * order - 1 otherwise.
    int GetUKnotCount() const { return KnotCount(mUCount, mUOrder, mUType); }
    int GetVKnotCount() const { return KnotCount(mVCount, mVOrder, mVType); }
    static int KnotCount(int pCount, unsigned int pOrder, ENurbType pType);

    // The file token of a form (null outside 0..2), and the form of a token
    // (false, form untouched, for an unknown one).
    static const char* NurbTypeToken(int pType);
    static bool NurbTypeFromToken(const char* pToken, ENurbType& pType);

    // Reset, flags, surface mode, orders, steps, counts and forms, knot and
    // multiplicity values, then the geometry (layers, control points, links,
    // shapes, pivot).
    KQoxNurb& operator=(KQoxNurb& pOther);

    // Exchanges the U and V descriptions (orders, counts, steps, forms, knot
    // and multiplicity vectors); the control points stay where they are.
    void SwapUV();

private:
    unsigned int mUOrder, mVOrder;
    int mUCount, mVCount;
    int mUStep, mVStep;
    ENurbType mUType, mVType;
    std::vector<double> mUKnots, mVKnots;
    std::vector<int> mUMultiplicity, mVMultiplicity;
    ESurfaceMode mSurfaceMode;
    bool mApplyFlipUV;
    bool mApplyFlipLinks;
};

} // namespace qoxsdk_600

#endif
