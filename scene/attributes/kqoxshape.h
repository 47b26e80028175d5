#ifndef QOX_SCENE_ATTRIBUTES_KQOXSHAPE_H
#define QOX_SCENE_ATTRIBUTES_KQOXSHAPE_H

// KQoxShape: a blend-shape target. Its control points are the target
// positions (one per control point of its geometry) and layer 0's normals the
// target normals. A shape is never set on a node: it is attached to a
// geometry (KQoxGeometry::AddShape), which names it and gives it its entity.

#include "scene/attributes/kqoxgeometrybase.h"

namespace qoxsdk_600 {

class KQoxShape : public KQoxGeometryBase
{
public:
    explicit KQoxShape(KQoxSdkManager& pManager);
    ~KQoxShape() override;

    // 0: a shape is none of the node-attribute types.
    EAttributeType GetAttributeType() const override { return eUNIDENTIFIED; }

    // Deep copies of the other's layers and control points.
    KQoxShape& operator=(KQoxShape& pOther);
};

} // namespace qoxsdk_600

#endif
