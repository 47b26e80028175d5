#ifndef QOX_SCENE_ATTRIBUTES_KQOXGEOMETRYCONVERTER_H
#define QOX_SCENE_ATTRIBUTES_KQOXGEOMETRYCONVERTER_H

// KQoxGeometryConverter: turns geometry into other geometry. It triangulates
// polygon meshes, tessellates patches and NURBS surfaces into triangle meshes
// (carrying shapes, skin links and UVs over), converts patches into NURBS
// surfaces, flips NURBS surfaces, and replaces a node's geometry by a
// conversion while keeping the shape animation of every take after the
// Default take.
//
// Every new geometry, shape and link is made through the SDK manager that
// created the converter, and replaced geometry is destroyed through it. The
// converter keeps no state between calls and reports no errors: sources that
// cannot be converted give null, false or an empty result.

#include "base/karray.h"
#include "base/kmath_types.h"

namespace qoxsdk_600 {

class KQOXSurfaceEvaluator;
class KQoxGeometry;
class KQoxGeometryBase;
class KQoxLayerContainer;
class KQoxLink;
class KQoxMesh;
class KQoxNode;
class KQoxNurb;
class KQoxPatch;
class KQoxSdkManager;
class KQoxWeightedMapping;

class KQoxGeometryConverter
{
public:
    explicit KQoxGeometryConverter(KQoxSdkManager& pManager);
    ~KQoxGeometryConverter();
    KQoxGeometryConverter(const KQoxGeometryConverter&) = delete;
    KQoxGeometryConverter& operator=(const KQoxGeometryConverter&) = delete;

    // Triangulation ---------------------------------------------------------------
    // A new mesh, copy of the source whose polygons are all triangles (a
    // polygon of n >= 3 vertices gives the n - 2 triangles of KTriangulation,
    // keeping its material and texture index when those map by polygon, and
    // the UV index of each corner when UVs map by polygon vertex). Polygons
    // of fewer than 3 vertices are left out. Null for null.
    KQoxMesh* TriangulateMesh(KQoxMesh* pMesh);
    // A new triangle mesh tessellating the surface, with its layers, pivot,
    // shapes, links and UVs. An unusable surface gives a mesh without points.
    KQoxMesh* TriangulatePatch(KQoxPatch* pPatch);
    KQoxMesh* TriangulateNurb(KQoxNurb* pNurb);
    // Replaces the node's mesh, patch or NURBS by its triangulation; false,
    // nothing changed, when the node has none of the three.
    bool TriangulateInPlace(KQoxNode* pNode);
    // A new, empty mesh with copies of the geometry's layers and pivot.
    KQoxMesh* CreateMeshFromParametricSurface(KQoxGeometry* pGeometry);
    // Adds two triangles and four UVs per cell of the evaluator's X x Y grid
    // of mesh control points (U fastest), with wrap cells for the closed
    // directions.
    void TriangulateContinuousSurface(KQoxMesh* pMesh, KQOXSurfaceEvaluator* pEvaluator, unsigned int pX,
                                      unsigned int pY, bool pFlip);
    // Every control point's weight (fourth component) becomes 1.0.
    void InitializeWeightInControlPoints(KQoxGeometryBase* pGeometry);
    // Every normal of the first layer with normals gets 1.0 as its fourth
    // component.
    void InitializeWeightInNormals(KQoxLayerContainer* pContainer);

    // Patch to NURBS and NURBS flip -------------------------------------------------
    // Null when a direction is BezierQuadric or Cardinal (nothing created).
    KQoxNurb* CreateNurbFromPatch(KQoxPatch* pPatch);
    // CreateNurbFromPatch, then CheckForZeroWeightInShape on the result.
    KQoxNurb* ConvertPatchToNurb(KQoxPatch* pPatch);
    // Replaces the node's patch by its NURBS conversion; false, nothing
    // changed, without a patch or when it does not convert.
    bool ConvertPatchToNurbInPlace(KQoxNode* pNode);
    // Shape control points and shape normals whose weight is not above 0.0
    // get 1.0.
    void CheckForZeroWeightInShape(KQoxGeometry* pGeometry);
    // A new copy of the surface; with pSwapUV the U and V descriptions are
    // exchanged and the control grid transposed; with pSwapClusters the
    // links' control point indices are remapped to the transposed grid (not
    // for a surface of U count 0). Null for null.
    KQoxNurb* FlipNurb(KQoxNurb* pNurb, bool pSwapUV, bool pSwapClusters);

    // Transfer of links, shapes and normals ------------------------------------------
    // Adds to the destination one shape per source shape, evaluated on the
    // destination's grid under the same name.
    void ConvertShapes(KQoxGeometry* pSource, KQoxGeometry* pDestination, KQOXSurfaceEvaluator* pEvaluator, int pUCount,
                       int pVCount);
    // Replaces the destination's links (destroyed) by links carried over
    // from the source's through the mapping (old points -> new points).
    void ConvertLinks(KQoxGeometry* pSource, KQoxGeometry* pDestination, KQoxWeightedMapping* pMapping);
    // Appends one new link per source link; the mapping's destination set
    // sizes the new links' index range.
    void ConvertLinks(KArrayTemplate<KQoxLink*>& pSourceLinks, int pSourceCount, KArrayTemplate<KQoxLink*>& pNewLinks,
                      int pDestinationCount, KQoxWeightedMapping* pMapping);
    // Adds (link i, control point, weight) for every entry of every link;
    // entries outside the mapping's destination set are skipped.
    void BuildLinkToSourceMapping(KArrayTemplate<KQoxLink*>& pLinks, KQoxWeightedMapping* pLinkMapping);
    // Fills the new link with the absolute products of link weights and
    // mapping weights, per new control point in ascending order.
    void ConvertLink(int pLinkIndex, KQoxWeightedMapping* pLinkMapping, KQoxWeightedMapping* pMapping,
                     KQoxLink* pNewLink);
    // Gives every polygon vertex a control point of its own, so that normals
    // by polygon vertex become normals by control point; shapes and links
    // follow. False, nothing changed, when the mesh's or a shape's normals
    // do not match its polygon vertices.
    bool EmulateNormalsByPolygonVertex(KQoxMesh* pMesh);
    // Entry i of the points becomes a copy of the old entry named by index i
    // (a zero point for an index outside the old points).
    void DuplicateControlPoints(KArrayTemplate<KQoxVector4>& pPoints, KArrayTemplate<int>& pIndices);

    KQoxSdkManager& GetSdkManager() const { return *mManager; }

private:
    // Tessellates a surface whose evaluator is set up, into a new mesh.
    KQoxMesh* TessellateSurface(KQoxGeometry* pSurface, KQOXSurfaceEvaluator* pEvaluator, int pUCount, int pVCount);
    // Sets the new geometry on the node with the old one's shape curves of
    // every take after the Default take, then destroys the old geometry.
    bool ReplaceNodeGeometry(KQoxNode* pNode, KQoxGeometry* pOld, KQoxGeometry* pNew);

    KQoxSdkManager* mManager;
};

} // namespace qoxsdk_600

#endif
