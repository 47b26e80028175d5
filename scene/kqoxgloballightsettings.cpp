#include "scene/kqoxgloballightsettings.h"

#include <vector>

namespace qoxsdk_600 {

namespace {
const char* const sLightErrorTable[1] = {"Index out of range."};
}

// Every setting with its default; assignment and reset copy it whole.
struct LightSettingValues
{
    KQoxColor mAmbientColor{0.4, 0.4, 0.4, 0.0};
    bool mFogEnable = false;
    KQoxColor mFogColor{1.0, 1.0, 1.0, 0.0};
    KQoxGlobalLightSettings::EFogMode mFogMode = KQoxGlobalLightSettings::eLINEAR;
    double mFogStart = 0.3;
    double mFogEnd = 1000.0;
    double mFogDensity = 0.002;
    bool mShadowEnable = false;
    double mShadowIntensity = 0.0;
    std::vector<KQoxGlobalLightSettings::KQoxShadowPlane> mShadowPlanes;
};

struct KQoxGlobalLightSettings::Impl : LightSettingValues
{};

KQoxGlobalLightSettings::KQoxShadowPlane::KQoxShadowPlane()
    : mEnable(true)
    , mOrigin(0.0, 0.0, 0.0)
    , mNormal(0.0, 1.0, 0.0)
{}

KQoxGlobalLightSettings::KQoxGlobalLightSettings()
    : KErrorOwner(sLightErrorTable, 1)
    , mImpl(new Impl)
{
    RestoreDefaultSettings();
}

KQoxGlobalLightSettings::~KQoxGlobalLightSettings() = default;

KQoxGlobalLightSettings& KQoxGlobalLightSettings::operator=(const KQoxGlobalLightSettings& pSettings)
{
    if (&pSettings == this)
        return *this;
    static_cast<LightSettingValues&>(*mImpl) = *pSettings.mImpl;
    return *this;
}

void KQoxGlobalLightSettings::RestoreDefaultSettings()
{
    static_cast<LightSettingValues&>(*mImpl) = LightSettingValues();
}

void KQoxGlobalLightSettings::SetAmbientColor(KQoxColor pColor)
{
    mImpl->mAmbientColor = pColor;
}

KQoxColor KQoxGlobalLightSettings::GetAmbientColor() const
{
    return mImpl->mAmbientColor;
}

void KQoxGlobalLightSettings::SetFogEnable(bool pEnable)
{
    mImpl->mFogEnable = pEnable;
}

bool KQoxGlobalLightSettings::GetFogEnable() const
{
    return mImpl->mFogEnable;
}

void KQoxGlobalLightSettings::SetFogColor(KQoxColor pColor)
{
    mImpl->mFogColor = pColor;
}

KQoxColor KQoxGlobalLightSettings::GetFogColor() const
{
    return mImpl->mFogColor;
}

void KQoxGlobalLightSettings::SetFogMode(EFogMode pMode)
{
    mImpl->mFogMode = pMode;
}

KQoxGlobalLightSettings::EFogMode KQoxGlobalLightSettings::GetFogMode() const
{
    return mImpl->mFogMode;
}

void KQoxGlobalLightSettings::SetFogDensity(double pDensity)
{
    mImpl->mFogDensity = pDensity;
}

double KQoxGlobalLightSettings::GetFogDensity() const
{
    return mImpl->mFogDensity;
}

void KQoxGlobalLightSettings::SetFogStart(double pStart)
{
    if (pStart > mImpl->mFogEnd)
        mImpl->mFogStart = mImpl->mFogEnd;
    else if (pStart < 0.0)
        mImpl->mFogStart = 0.0;
    else
        mImpl->mFogStart = pStart;
}

double KQoxGlobalLightSettings::GetFogStart() const
{
    return mImpl->mFogStart;
}

void KQoxGlobalLightSettings::SetFogEnd(double pEnd)
{
    mImpl->mFogEnd = pEnd < mImpl->mFogStart ? mImpl->mFogStart : pEnd;
}

double KQoxGlobalLightSettings::GetFogEnd() const
{
    return mImpl->mFogEnd;
}

void KQoxGlobalLightSettings::SetShadowEnable(bool pEnable)
{
    mImpl->mShadowEnable = pEnable;
}

bool KQoxGlobalLightSettings::GetShadowEnable() const
{
    return mImpl->mShadowEnable;
}

void KQoxGlobalLightSettings::SetShadowIntensity(double pIntensity)
{
    if (pIntensity < 0.0)
        mImpl->mShadowIntensity = 0.0;
    else if (pIntensity > 300.0)
        mImpl->mShadowIntensity = 300.0;
    else
        mImpl->mShadowIntensity = pIntensity;
}

double KQoxGlobalLightSettings::GetShadowIntensity() const
{
    return mImpl->mShadowIntensity;
}

int KQoxGlobalLightSettings::GetShadowPlaneCount() const
{
    return static_cast<int>(mImpl->mShadowPlanes.size());
}

KQoxGlobalLightSettings::KQoxShadowPlane* KQoxGlobalLightSettings::GetShadowPlane(int pIndex)
{
    if (pIndex < 0 || pIndex >= GetShadowPlaneCount())
    {
        mError.SetLastErrorID(eIndexOutOfRange);
        return nullptr;
    }
    return &mImpl->mShadowPlanes[static_cast<size_t>(pIndex)];
}

void KQoxGlobalLightSettings::AddShadowPlane(KQoxShadowPlane pPlane)
{
    mImpl->mShadowPlanes.push_back(pPlane);
}

void KQoxGlobalLightSettings::RemoveAllShadowPlanes()
{
    mImpl->mShadowPlanes.clear();
}

} // namespace qoxsdk_600
