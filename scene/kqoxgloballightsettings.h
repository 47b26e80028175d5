#ifndef QOX_SCENE_KQOXGLOBALLIGHTSETTINGS_H
#define QOX_SCENE_KQOXGLOBALLIGHTSETTINGS_H

// KQoxGlobalLightSettings: a scene's light-wide settings (ambient colour, fog,
// shadows and shadow planes). A plain value holder: the fog range and the
// shadow intensity are clamped when set, nothing else reacts to a change.

#include <memory>

#include "base/kerror.h"
#include "base/kmath_types.h"
#include "scene/kqoxcolor.h"

namespace qoxsdk_600 {

class KQoxGlobalLightSettings : public KErrorOwner
{
public:
    typedef int EFogMode;
    enum
    {
        eLINEAR = 0,
        eEXPONENTIAL = 1,
        eSQUAREROOT_EXPONENTIAL = 2
    };
    enum
    {
        eIndexOutOfRange = 0
    };

    // Enabled, origin (0, 0, 0), normal (0, 1, 0).
    struct KQoxShadowPlane
    {
        KQoxShadowPlane();
        KQoxShadowPlane(const KQoxShadowPlane& pPlane) = default;
        KQoxShadowPlane& operator=(const KQoxShadowPlane& pPlane) = default;
        bool mEnable;
        KQoxVector4 mOrigin;
        KQoxVector4 mNormal;
    };

    KQoxGlobalLightSettings();
    ~KQoxGlobalLightSettings();
    KQoxGlobalLightSettings(const KQoxGlobalLightSettings&) = delete;
    // Copies every setting and replaces the planes with copies of the source's.
    KQoxGlobalLightSettings& operator=(const KQoxGlobalLightSettings& pSettings);

    // Ambient 0.4 grey (alpha 0), fog off, white (alpha 0), mode 0, start 0.3,
    // end 1000, density 0.002, shadows off, intensity 0, no planes.
    void RestoreDefaultSettings();

    void SetAmbientColor(KQoxColor pColor);
    KQoxColor GetAmbientColor() const;
    void SetFogEnable(bool pEnable);
    bool GetFogEnable() const;
    void SetFogColor(KQoxColor pColor);
    KQoxColor GetFogColor() const;
    void SetFogMode(EFogMode pMode);
    EFogMode GetFogMode() const;
    void SetFogDensity(double pDensity);
    double GetFogDensity() const;
    // Above the fog end gives the fog end; below 0 gives 0.
    void SetFogStart(double pStart);
    double GetFogStart() const;
    // Below the fog start gives the fog start.
    void SetFogEnd(double pEnd);
    double GetFogEnd() const;
    void SetShadowEnable(bool pEnable);
    bool GetShadowEnable() const;
    // Clamped to [0, 300].
    void SetShadowIntensity(double pIntensity);
    double GetShadowIntensity() const;

    int GetShadowPlaneCount() const;
    // Null with "Index out of range." outside the list.
    KQoxShadowPlane* GetShadowPlane(int pIndex);
    void AddShadowPlane(KQoxShadowPlane pPlane);
    void RemoveAllShadowPlanes();

private:
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

} // namespace qoxsdk_600

#endif
