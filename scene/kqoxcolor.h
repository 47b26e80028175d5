#ifndef QOX_SCENE_KQOXCOLOR_H
#define QOX_SCENE_KQOXCOLOR_H

// KQoxColor: red, green, blue and alpha as doubles in [0, 1]. Every write
// clamps each component: below 0 gives 0, above 1 gives 1, anything else (a
// NaN included) is stored as given. Compared exactly.

namespace qoxsdk_600 {

class KQoxColor
{
public:
    // Opaque white.
    KQoxColor();
    KQoxColor(double pRed, double pGreen, double pBlue, double pAlpha = 1.0);
    KQoxColor(const KQoxColor& pColor);
    ~KQoxColor() {}

    // Replaces the four components, each clamped.
    void Set(double pRed, double pGreen, double pBlue, double pAlpha = 1.0);
    // True when every component lies in [0, 1]; false for a NaN component.
    bool IsValid() const;

    // Copies through Set, so the components are clamped again.
    KQoxColor& operator=(const KQoxColor& pColor);
    // Exact comparison of all four components (a NaN equals nothing).
    bool operator==(const KQoxColor& pColor) const;
    bool operator!=(const KQoxColor& pColor) const;

    double mRed;
    double mGreen;
    double mBlue;
    double mAlpha;
};

} // namespace qoxsdk_600

#endif
