#ifndef ZELT_HOST_ZGEOMETRY_H
#define ZELT_HOST_ZGEOMETRY_H

// Geometry function sets: polygon meshes, their polygon iterator, NURBS
// surfaces and blend-shape deformers.

#include "host/zfn.h"

class ZFnMesh : public ZFnDagNode
{
public:
    ZFnMesh() = default;
    ZFnMesh(const ZObject& object, ZStatus* status = nullptr);
    ZFnMesh(const ZDagPath& path, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kMesh; }
    ZStatus setObject(const ZObject& object) override;
    using ZFnDagNode::setObject;

    // A mesh shape under parent (a transform; kNullObj makes one). The
    // counts list needs one entry per polygon (at most numPolygons; fewer
    // entries make fewer polygons), connects one index per polygon vertex,
    // every index below numVertices. Polygons of fewer than three vertices
    // are dropped. The default UV set "map1" is made.
    ZObject create(int numVertices, int numPolygons, const ZFloatPointArray& vertices, const ZIntArray& counts,
                   const ZIntArray& connects, const ZObject& parent = ZObject::kNullObj, ZStatus* status = nullptr);
    ZObject create(int numVertices, int numPolygons, const ZPointArray& vertices, const ZIntArray& counts,
                   const ZIntArray& connects, const ZObject& parent = ZObject::kNullObj, ZStatus* status = nullptr);
    // A copy of a mesh (object or its transform) under parent.
    ZObject copy(const ZObject& source, const ZObject& parent = ZObject::kNullObj, ZStatus* status = nullptr);

    int numVertices(ZStatus* status = nullptr) const;
    int numPolygons(ZStatus* status = nullptr) const;
    int numFaceVertices(ZStatus* status = nullptr) const;
    int polygonVertexCount(int polygon, ZStatus* status = nullptr) const;
    ZStatus getPolygonVertices(int polygon, ZIntArray& vertices) const;
    ZStatus getPoints(ZPointArray& points, ZSpace::Space space = ZSpace::kObject) const;
    // Exactly numVertices points.
    ZStatus setPoints(const ZPointArray& points, ZSpace::Space space = ZSpace::kObject);
    ZStatus setPoints(const ZFloatPointArray& points, ZSpace::Space space = ZSpace::kObject);
    ZStatus setVertexNormals(const ZVectorArray& normals, const ZIntArray& vertices,
                             ZSpace::Space space = ZSpace::kObject);
    ZStatus setFaceVertexNormals(const ZVectorArray& normals, const ZIntArray& faces, const ZIntArray& vertices,
                                 ZSpace::Space space = ZSpace::kObject);
    ZStatus setVertexColors(const ZColorArray& colors, const ZIntArray& vertices);
    ZStatus setFaceVertexColors(const ZColorArray& colors, const ZIntArray& faces, const ZIntArray& vertices);
    ZStatus getVertexColor(int vertex, ZColor& color) const;
    ZStatus getFaceVertexNormal(int face, int vertex, ZVector& normal) const;
    ZStatus getVertexNormal(int vertex, ZVector& normal) const;
    ZStatus getFaceVertexColor(int face, int vertex, ZColor& color) const;

    int numUVSets(ZStatus* status = nullptr) const;
    ZStatus getUVSetNames(ZStringArray& names) const;
    ZStatus createUVSet(ZString& name);
    ZStatus renameUVSet(const ZString& oldName, const ZString& newName);
    // u and v of equal length.
    ZStatus setUVs(const ZFloatArray& u, const ZFloatArray& v, const ZString* uvSet = nullptr);
    ZStatus getUVs(ZFloatArray& u, ZFloatArray& v, const ZString* uvSet = nullptr) const;
    // counts: one per polygon, equal to the polygon's size; ids: one per
    // polygon vertex, each below the set's UV count.
    ZStatus assignUVs(const ZIntArray& counts, const ZIntArray& ids, const ZString* uvSet = nullptr);
    ZStatus getAssignedUVs(ZIntArray& counts, ZIntArray& ids, const ZString* uvSet = nullptr) const;
    ZStatus updateSurface();
};

// Walks the polygons of a mesh in order.
class ZItMeshPolygon
{
public:
    ZItMeshPolygon(const ZObject& mesh, ZStatus* status = nullptr);
    ZItMeshPolygon(const ZDagPath& mesh, const ZObject& component = ZObject::kNullObj, ZStatus* status = nullptr);
    bool isDone(ZStatus* status = nullptr) const;
    ZStatus next();
    ZStatus reset();
    unsigned index(ZStatus* status = nullptr) const;
    unsigned count(ZStatus* status = nullptr) const;
    unsigned polygonVertexCount(ZStatus* status = nullptr) const;
    // The mesh vertex at a position of the current polygon.
    int vertexIndex(int position, ZStatus* status = nullptr) const;
    ZStatus getVertices(ZIntArray& vertices) const;
    // The current polygon as a face component.
    ZObject polygon(ZStatus* status = nullptr) const;

private:
    uint64_t mNode = 0;
    unsigned mIndex = 0;
    bool mValid = false;
};

class ZFnNurbsSurface : public ZFnDagNode
{
public:
    enum Form
    {
        kInvalid = 0,
        kOpen = 1,
        kClosed = 2,
        kPeriodic = 3,
        kLast = 4
    };
    ZFnNurbsSurface() = default;
    ZFnNurbsSurface(const ZObject& object, ZStatus* status = nullptr);
    ZFnNurbsSurface(const ZDagPath& path, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kNurbsSurface; }
    ZStatus setObject(const ZObject& object) override;
    using ZFnDagNode::setObject;
    // Control vertices U-major (U outer, V inner): their count must be
    // (knotsU - degreeU + 1) x (knotsV - degreeV + 1); knots non-decreasing.
    ZObject create(const ZPointArray& controlVertices, const ZDoubleArray& uKnots, const ZDoubleArray& vKnots,
                   unsigned degreeInU, unsigned degreeInV, Form formU, Form formV, bool createRational,
                   const ZObject& parent = ZObject::kNullObj, ZStatus* status = nullptr);
    int numCVsInU(ZStatus* status = nullptr) const;
    int numCVsInV(ZStatus* status = nullptr) const;
    int degreeU(ZStatus* status = nullptr) const;
    int degreeV(ZStatus* status = nullptr) const;
    Form formInU(ZStatus* status = nullptr) const;
    Form formInV(ZStatus* status = nullptr) const;
    ZStatus getCVs(ZPointArray& points) const;
    ZStatus getKnotsInU(ZDoubleArray& knots) const;
    ZStatus getKnotsInV(ZDoubleArray& knots) const;
};

class ZFnBlendShapeDeformer : public ZFnDependencyNode
{
public:
    enum OriginSpace
    {
        kLocalOrigin = 0,
        kWorldOrigin = 1
    };
    ZFnBlendShapeDeformer() = default;
    ZFnBlendShapeDeformer(const ZObject& object, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kBlendShape; }
    ZStatus setObject(const ZObject& object) override;
    // A deformer on the geometry below a transform (or on a shape).
    ZObject create(const ZObject& baseObject, OriginSpace space = kLocalOrigin, ZStatus* status = nullptr);
    ZStatus addBaseObject(const ZObject& base);
    ZStatus addTarget(const ZObject& base, int weightIndex, const ZObject& target, double fullWeight);
    unsigned numWeights(ZStatus* status = nullptr) const;
    ZStatus getBaseObjects(ZObjectArray& bases) const;
    ZStatus getTargets(const ZObject& base, int weightIndex, ZObjectArray& targets) const;
};

#endif
