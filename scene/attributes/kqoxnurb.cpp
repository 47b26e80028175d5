#include "scene/attributes/kqoxnurb.h"

#include <cstring>
#include <utility>

namespace qoxsdk_600 {

namespace {

const char* const kNurbTypeTokens[3] = {"Periodic", "Closed", "Open"};

} // namespace

KQoxNurb::KQoxNurb(KQoxSdkManager& pManager)
    : KQoxGeometry(pManager)
{
    Reset();
}

KQoxNurb::~KQoxNurb()
{
    Reset();
}

void KQoxNurb::Reset()
{
    std::vector<double>().swap(mUKnots);
    std::vector<double>().swap(mVKnots);
    std::vector<int>().swap(mUMultiplicity);
    std::vector<int>().swap(mVMultiplicity);
    mUOrder = mVOrder = 0;
    mUCount = mVCount = 0;
    mUStep = mVStep = 0;
    mUType = mVType = eOPEN;
    mSurfaceMode = eDEFAULT_SURFACE_MODE;
    mApplyFlipUV = false;
    mApplyFlipLinks = false;
}

int KQoxNurb::KnotCount(int pCount, unsigned int pOrder, ENurbType pType)
{
    const long long count =
        pType == eOPEN ? static_cast<long long>(pCount) + pOrder : static_cast<long long>(pCount) + 2LL * pOrder - 1;
    // Counts that cannot describe a vector give none.
    return count < 0 || count > 0x7fffffffLL ? 0 : static_cast<int>(count);
}

void KQoxNurb::InitControlPoints(int pUCount, ENurbType pUType, int pVCount, ENurbType pVType)
{
    const long long points = static_cast<long long>(pUCount) * pVCount;
    if (pUCount < 0 || pVCount < 0 || points > 0x7fffffffLL)
    {
        // A grid that cannot be held leaves the surface empty.
        mError.SetLastErrorID(ePARAMETER_OUT_OF_RANGE);
        pUCount = pVCount = 0;
    }
    KQoxGeometryBase::InitControlPoints(pUCount * pVCount);
    mUCount = pUCount;
    mVCount = pVCount;
    mUType = pUType;
    mVType = pVType;
    mUKnots.assign(static_cast<size_t>(GetUKnotCount()), 0.0);
    mVKnots.assign(static_cast<size_t>(GetVKnotCount()), 0.0);
    mUMultiplicity.assign(static_cast<size_t>(mUCount), 1);
    mVMultiplicity.assign(static_cast<size_t>(mVCount), 1);
}

const char* KQoxNurb::NurbTypeToken(int pType)
{
    return pType >= 0 && pType < 3 ? kNurbTypeTokens[pType] : nullptr;
}

bool KQoxNurb::NurbTypeFromToken(const char* pToken, ENurbType& pType)
{
    if (!pToken)
        return false;
    for (int i = 0; i < 3; ++i)
        if (std::strcmp(pToken, kNurbTypeTokens[i]) == 0)
        {
            pType = static_cast<ENurbType>(i);
            return true;
        }
    return false;
}

KQoxNurb& KQoxNurb::operator=(KQoxNurb& pOther)
{
    if (this == &pOther)
        return *this;
    Reset();
    mApplyFlipUV = pOther.mApplyFlipUV;
    mApplyFlipLinks = pOther.mApplyFlipLinks;
    mSurfaceMode = pOther.mSurfaceMode;
    SetOrder(pOther.mUOrder, pOther.mVOrder);
    SetStep(pOther.mUStep, pOther.mVStep);
    InitControlPoints(pOther.mUCount, pOther.mUType, pOther.mVCount, pOther.mVType);
    // The vectors are the source's own, whatever their sizes.
    mUKnots = pOther.mUKnots;
    mVKnots = pOther.mVKnots;
    mUMultiplicity = pOther.mUMultiplicity;
    mVMultiplicity = pOther.mVMultiplicity;
    KQoxGeometry::operator=(pOther);
    return *this;
}

void KQoxNurb::SwapUV()
{
    std::swap(mUOrder, mVOrder);
    std::swap(mUCount, mVCount);
    std::swap(mUStep, mVStep);
    std::swap(mUType, mVType);
    mUKnots.swap(mVKnots);
    mUMultiplicity.swap(mVMultiplicity);
}

} // namespace qoxsdk_600
