#ifndef QOX_SCENE_ATTRIBUTES_KQOXPATCH_H
#define QOX_SCENE_ATTRIBUTES_KQOXPATCH_H

// KQoxPatch: the uniform patch surface (attribute type 6). The geometry's
// control points form a U count x V count grid, U running fastest; each
// direction is blended by one of the uniform patch types, may wrap around and
// may be capped at either end. Created and destroyed only through the SDK
// manager.

#include "scene/attributes/kqoxgeometry.h"

namespace qoxsdk_600 {

class KQoxPatch : public KQoxGeometry
{
public:
    // File tokens "Bezier", "BezierQuadric", "Cardinal", "BSpline", "Linear".
    typedef enum : int
    {
        eBEZIER = 0,
        eBEZIER_QUADRIC = 1,
        eCARDINAL = 2,
        eBSPLINE = 3,
        eLINEAR = 4
    } EPatchType;

    // Display mode of the surface: stored and copied only.
    typedef int ESurfaceMode;
    static const ESurfaceMode eDEFAULT_SURFACE_MODE = 4;

    explicit KQoxPatch(KQoxSdkManager& pManager);
    ~KQoxPatch() override;

    EAttributeType GetAttributeType() const override { return ePATCH; }
    KString GetTypeName() override { return KString("Patch"); }
    KStringList GetTypeFlags() override { return KStringList(); }

    // Linear x Linear, counts and steps 0, open, uncapped, surface mode 4.
    void Reset();
    // Stores counts and types, then gives the geometry U count x V count
    // control points (none when either count is negative).
    void InitControlPoints(int pUCount, EPatchType pUType, int pVCount, EPatchType pVType);
    void SetStep(int pU, int pV)
    {
        mUStep = pU;
        mVStep = pV;
    }
    void SetClosed(bool pU, bool pV)
    {
        mUClosed = pU;
        mVClosed = pV;
    }
    void SetUCapped(bool pBottom, bool pTop)
    {
        mUCappedBottom = pBottom;
        mUCappedTop = pTop;
    }
    void SetVCapped(bool pBottom, bool pTop)
    {
        mVCappedBottom = pBottom;
        mVCappedTop = pTop;
    }
    void SetSurfaceMode(ESurfaceMode pMode) { mSurfaceMode = pMode; }

    EPatchType GetPatchUType() const { return mUType; }
    EPatchType GetPatchVType() const { return mVType; }
    int GetUCount() const { return mUCount; }
    int GetVCount() const { return mVCount; }
    int GetUStep() const { return mUStep; }
    int GetVStep() const { return mVStep; }
    bool GetUClosed() const { return mUClosed; }
    bool GetVClosed() const { return mVClosed; }
    bool GetUCappedBottom() const { return mUCappedBottom; }
    bool GetUCappedTop() const { return mUCappedTop; }
    bool GetVCappedBottom() const { return mVCappedBottom; }
    bool GetVCappedTop() const { return mVCappedTop; }
    ESurfaceMode GetSurfaceMode() const { return mSurfaceMode; }

    // The file token of a type (null outside 0..4), and the type of a token
    // (false, type untouched, for an unknown one).
    static const char* PatchTypeToken(int pType);
    static bool PatchTypeFromToken(const char* pToken, EPatchType& pType);

    // Reset, the surface description, then the geometry (layers, control
    // points, links, shapes, pivot).
    KQoxPatch& operator=(KQoxPatch& pOther);

private:
    EPatchType mUType, mVType;
    int mUCount, mVCount;
    int mUStep, mVStep;
    bool mUClosed, mVClosed;
    bool mUCappedBottom, mUCappedTop;
    bool mVCappedBottom, mVCappedTop;
    ESurfaceMode mSurfaceMode;
};

} // namespace qoxsdk_600

#endif
