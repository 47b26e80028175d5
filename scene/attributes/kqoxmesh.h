#ifndef QOX_SCENE_ATTRIBUTES_KQOXMESH_H
#define QOX_SCENE_ATTRIBUTES_KQOXMESH_H

// KQoxMesh: the polygon mesh (attribute type 4).
//
// Polygons of any size are stored as runs of control-point indices in one
// polygon-vertex array, in creation order and without gaps. Meshes are built
// with BeginPolygon / AddPolygon (/ EndPolygon). All per-mesh layer data is
// layer 0's. The mesh also computes control-point normals and converts
// between per-corner normals on shared points and per-point normals on split
// points, carrying links and shapes along.

#include "base/karray.h"
#include "base/kmath_types.h"
#include "scene/attributes/kqoxgeometry.h"

namespace qoxsdk_600 {

class KQoxMesh : public KQoxGeometry
{
public:
    // One polygon: the position of its first vertex in the polygon-vertex
    // array, its number of vertices and its polygon group.
    struct KQoxPolygon
    {
        int mIndex;
        int mSize;
        int mGroup;
    };

    // Which data drives a split or a merge; only the control points are handled.
    typedef enum : int
    {
        eBY_CONTROL_POINT = 0
    } ESplitObject;

    // One use of a control point by a polygon vertex.
    struct KDuplicateVertex
    {
        int lVertexPolyIndex; // polygon-vertex position
        int lNewIndex;        // control point this use is to have
        KQoxVector4 lNormal;
    };

    explicit KQoxMesh(KQoxSdkManager& pManager);
    ~KQoxMesh() override;

    EAttributeType GetAttributeType() const override { return eMESH; }
    KString GetTypeName() override { return KString("Mesh"); }
    KStringList GetTypeFlags() override { return KStringList(); }

    // Building ------------------------------------------------------------------
    // Empties the polygons, the polygon vertices and the control points and
    // deletes every layer; links, shapes and the pivot stay.
    void Reset();
    // Starts a polygon; -1 means none for material and texture. Layer 0 is
    // created when missing. A material or texture index is stored when the
    // element maps by polygon with index references.
    void BeginPolygon(int pMaterial = -1, int pTexture = -1, int pGroup = -1);
    // Appends a control point to the last polygon; a UV index other than -1
    // is stored when the UV element maps by polygon vertex with
    // index-to-direct references. Refused (nothing changes) before the first
    // BeginPolygon or for a negative control-point index.
    void AddPolygon(int pIndex, int pTextureUVIndex = -1);
    // The same as AddPolygon for each of count control points in turn, with
    // the UV index beside it (all -1 when pTextureUVIndices is null).
    void AddPolygonVertices(const int* pIndices, const int* pTextureUVIndices, int pCount);
    void EndPolygon() {}
    // Makes room for this many more polygons and polygon vertices, and for
    // as many entries in layer 0's index arrays that grow with them, so a
    // mesh of known size is built without regrowing. Changes nothing else;
    // false when the memory could not be had (building still works).
    bool ReservePolygons(int pPolygons, int pPolygonVertices);

    // Bulk building, for readers that hold whole arrays. On a mesh without
    // polygons: sets the polygon-vertex array to pCount entries, unset for
    // the caller to fill at once (then SetPolygons), and returns it; null
    // (nothing changed) when the mesh has polygons or memory is short.
    int* SetPolygonVertexCount(int pCount);
    // The same with the polygon vertices already made: on a mesh without
    // polygons, the polygon-vertex array takes over pStorage (from malloc,
    // holding pCount entries, with room for pCapacity) without copying it,
    // as KArrayTemplate::Adopt does. False, nothing changed and the storage
    // still the caller's, when the mesh has polygons or Adopt refuses.
    bool TakePolygonVertices(int* pStorage, int pCount, size_t pCapacity);
    // On a mesh without polygons: makes pCount polygons of the sizes given,
    // in order over the polygon-vertex array, with the groups given (all -1
    // when pGroups is null); the same mesh as BeginPolygon(-1, -1, group)
    // and AddPolygon for every vertex would build. False, nothing changed,
    // when the mesh has polygons, a size is negative, the sizes do not add
    // up to the polygon-vertex count, a polygon vertex is negative, or memory
    // is short.
    bool SetPolygons(const int* pSizes, const int* pGroups, int pCount);

    // Reading ----------------------------------------------------------------------
    int GetPolygonCount() const { return mPolygons.GetCount(); }
    int* GetPolygonVertices() const { return mPolygonVertices.GetArray(); }
    int GetPolygonVertexCount() const { return mPolygonVertices.GetCount(); }
    // The size and the group of every polygon in order, GetPolygonCount()
    // of each, into the caller's arrays (either may be null): the whole
    // arrays SetPolygons takes, for writers that store them.
    void GetPolygonSizesAndGroups(int* pSizes, int* pGroups) const;
    // -1 for a polygon out of range.
    int GetPolygonSize(int pPolygon) const;
    int GetPolygonGroup(int pPolygon) const;
    // Position of the polygon's first vertex in the polygon-vertex array; -1
    // out of range.
    int GetPolygonVertexIndex(int pPolygon) const;
    // -1 when the polygon or the vertex is out of range.
    int GetPolygonVertex(int pPolygon, int pVertex) const;
    // Copies the normal at the polygon vertex when it exists; else leaves
    // the argument unchanged.
    void GetPolygonVertexNormal(int pPolygon, int pVertex, KQoxVector4& pNormal) const;

    // UVs (layer 0) ---------------------------------------------------------------
    void InitTextureUV(int pCount);
    void AddTextureUV(const KQoxVector2& pUV);
    KQoxVector2* GetTextureUV() const;
    int GetTextureUVCount() const;
    void InitTextureUVIndices(KQoxLayerElement::EMappingMode pMappingMode);
    int GetTextureUVMappingMode() const;
    int GetTextureUVIndex(int pPolygon, int pVertex) const;
    void SetTextureUVIndex(int pPolygon, int pVertex, int pUVIndex);

    // Materials and textures (layer 0) ---------------------------------------------
    void InitMaterialIndices(KQoxLayerElement::EMappingMode pMappingMode);
    int* GetMaterialIndices() const;
    int GetMaterialMappingMode() const;
    void InitTextureIndices(KQoxLayerElement::EMappingMode pMappingMode);
    int* GetTextureIndices() const;
    int GetTextureMappingMode() const;

    // Normals (layer 0) --------------------------------------------------------------
    // 1 or 2; 1 also without normals.
    int GetNormalsMappingMode() const;
    // Only 1 and 2 are taken, and only when normals exist.
    void SetNormalsMappingMode(KQoxLayerElement::EMappingMode pMappingMode);

    // Normals, splitting and merging ---------------------------------------------------
    // Replaces the normals by area-weighted control-point normals (clockwise
    // corners when pCW is true).
    void ComputeVertexNormals(bool pCW = false);
    // True as soon as one stored normal agrees with the counter-clockwise one.
    bool CheckIfVertexNormalsCCW();
    // One new use list per control point (the caller deletes them).
    void BuildSplitList(KArrayTemplate<KArrayTemplate<KDuplicateVertex>*>& pList, ESplitObject pObject);
    void SplitPointsForHardEdge(KArrayTemplate<KArrayTemplate<KDuplicateVertex>*>& pList);
    // Entry i: the point that point i merges into (itself when it stays).
    // True when two control points coincide.
    bool BuildMergeList(KArrayTemplate<int>& pList, ESplitObject pObject, bool pAll = false);
    void MergePointsForPolygonVerteNormals(KArrayTemplate<int>& pList);

    // Copy --------------------------------------------------------------------------
    KQoxMesh& operator=(KQoxMesh& pOther);

protected:
    // The converter rebuilds the polygon lists of the meshes it makes.
    friend class KQoxGeometryConverter;

    KArrayTemplate<KQoxPolygon> mPolygons; // grows 256 at a time
    KArrayTemplate<int> mPolygonVertices;  // grows 1024 at a time
};

} // namespace qoxsdk_600

#endif
