#include "scene/attributes/kqoxpatch.h"

#include <cstring>

namespace qoxsdk_600 {

namespace {

const char* const kPatchTypeTokens[5] = {"Bezier", "BezierQuadric", "Cardinal", "BSpline", "Linear"};

} // namespace

KQoxPatch::KQoxPatch(KQoxSdkManager& pManager)
    : KQoxGeometry(pManager)
{
    Reset();
}

KQoxPatch::~KQoxPatch()
{
    Reset();
}

void KQoxPatch::Reset()
{
    mUType = mVType = eLINEAR;
    mUCount = mVCount = 0;
    mUStep = mVStep = 0;
    mUClosed = mVClosed = false;
    mUCappedBottom = mUCappedTop = false;
    mVCappedBottom = mVCappedTop = false;
    mSurfaceMode = eDEFAULT_SURFACE_MODE;
}

void KQoxPatch::InitControlPoints(int pUCount, EPatchType pUType, int pVCount, EPatchType pVType)
{
    const long long points = static_cast<long long>(pUCount) * pVCount;
    if (pUCount < 0 || pVCount < 0 || points > 0x7fffffffLL)
    {
        // A grid that cannot be held leaves the surface empty.
        mError.SetLastErrorID(ePARAMETER_OUT_OF_RANGE);
        pUCount = pVCount = 0;
    }
    mUCount = pUCount;
    mVCount = pVCount;
    mUType = pUType;
    mVType = pVType;
    KQoxGeometryBase::InitControlPoints(mUCount * mVCount);
}

const char* KQoxPatch::PatchTypeToken(int pType)
{
    return pType >= 0 && pType < 5 ? kPatchTypeTokens[pType] : nullptr;
}

bool KQoxPatch::PatchTypeFromToken(const char* pToken, EPatchType& pType)
{
    if (!pToken)
        return false;
    for (int i = 0; i < 5; ++i)
        if (std::strcmp(pToken, kPatchTypeTokens[i]) == 0)
        {
            pType = static_cast<EPatchType>(i);
            return true;
        }
    return false;
}

KQoxPatch& KQoxPatch::operator=(KQoxPatch& pOther)
{
    if (this == &pOther)
        return *this;
    Reset();
    mSurfaceMode = pOther.mSurfaceMode;
    SetStep(pOther.mUStep, pOther.mVStep);
    SetClosed(pOther.mUClosed, pOther.mVClosed);
    SetUCapped(pOther.mUCappedBottom, pOther.mUCappedTop);
    SetVCapped(pOther.mVCappedBottom, pOther.mVCappedTop);
    InitControlPoints(pOther.mUCount, pOther.mUType, pOther.mVCount, pOther.mVType);
    KQoxGeometry::operator=(pOther);
    return *this;
}

} // namespace qoxsdk_600
