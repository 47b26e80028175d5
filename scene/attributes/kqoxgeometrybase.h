#ifndef QOX_SCENE_ATTRIBUTES_KQOXGEOMETRYBASE_H
#define QOX_SCENE_ATTRIBUTES_KQOXGEOMETRYBASE_H

// KQoxGeometryBase: control points and layer-0 normals over the layer
// container. It is the base of every geometry and of blend shapes. The
// normals are not a member: they are the direct array of layer 0's normals
// element.

#include "base/karray.h"
#include "base/kmath_types.h"
#include "scene/attributes/kqoxlayercontainer.h"

namespace qoxsdk_600 {

class KQoxGeometryBase : public KQoxLayerContainer
{
public:
    explicit KQoxGeometryBase(KQoxSdkManager& pManager);
    ~KQoxGeometryBase() override;

    // Empties the control points, then gives them n zero entries (none for a
    // negative n).
    void InitControlPoints(int pCount);
    // Makes sure layer 0 and its normals element exist; the normals map by
    // control point with one per control point, but by polygon vertex with
    // n entries when n >= 1 differs from the control-point count; direct
    // references; all zero.
    void InitNormals(int pCount = 0);

    int GetControlPointsCount() const override { return mControlPoints.GetCount(); }
    const KQoxVector4* GetControlPoints() const override { return mControlPoints.GetArray(); }
    KQoxVector4* GetControlPoints() { return mControlPoints.GetArray(); }
    // The layer-0 normal array, or null without layer 0 or normals element.
    KQoxVector4* GetNormals() const;
    // Stores the point at control point i and the normal at normal i, growing
    // either array to i + 1 when needed. Nothing without layer-0 normals or
    // for a negative index.
    void SetControlPointAt(const KQoxVector4& pPoint, const KQoxVector4& pNormal, int pIndex);
    // Replaces the control points by a copy of the other's.
    void Copy(const KQoxGeometryBase& pOther);

    // The control-point array itself, for the operations that grow or shrink it.
    KArrayTemplate<KQoxVector4>& GetControlPointArray() { return mControlPoints; }

protected:
    KArrayTemplate<KQoxVector4> mControlPoints; // grows 256 at a time
};

} // namespace qoxsdk_600

#endif
