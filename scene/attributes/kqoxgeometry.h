#ifndef QOX_SCENE_ATTRIBUTES_KQOXGEOMETRY_H
#define QOX_SCENE_ATTRIBUTES_KQOXGEOMETRY_H

// KQoxGeometry: the abstract base of the mesh, the NURBS surface and the
// patch. It adds skin links, blend shapes with an animated weight channel per
// shape in every take of the node, a geometric pivot that ApplyPivot bakes
// into the points and normals, deep copy, and the shape renaming that the
// version-5 file layout needs.
//
// Links and shapes are made and destroyed by the SDK manager; the geometry
// lists them. Destroying a geometry destroys its links and shapes through the
// manager.

#include "base/karray.h"
#include "base/kerror.h"
#include "base/kmath_types.h"
#include "base/kstring.h"
#include "scene/attributes/kqoxgeometrybase.h"

class KFCurve;
class KFCurveNode;

namespace qoxsdk_600 {

class KQoxLink;
class KQoxShape;
class KQoxTakeNode;

class KQoxGeometry : public KQoxGeometryBase
{
public:
    enum EError : int
    {
        ePARAMETER_OUT_OF_RANGE = 0, // "Parameter out of range."
        eNULL_PARAMETER = 1,         // "Parameter is NULL."
        eMATERIAL_NOT_FOUND = 2,     // "Material not found."
        eMATERIAL_ALREADY_ADDED = 3, // "Material already added."
        eTEXTURE_NOT_FOUND = 4,      // "Texture not found."
        eTEXTURE_ALREADY_ADDED = 5,  // "Texture already added."
        eSHAPE_ALREADY_ADDED = 6,    // "Shape already added."
        eSHAPE_INVALID_NAME = 7,     // "Shape name is invalid."
        eSHAPE_NAME_CLASH = 8,       // "Shape name is already used."
        eSHAPE_NO_CURVE_FOUND = 9,   // "No shape curve found."
        eERROR_COUNT = 10
    };

    explicit KQoxGeometry(KQoxSdkManager& pManager);
    // Destroys the links and the shapes through the manager.
    ~KQoxGeometry() override;

    // Records the node, adds the shape channels to its takes, gives the
    // shapes and the geometry the node's entity.
    void SetNode(KQoxNode& pNode) override;
    // Unsets the entity of the geometry and its shapes, removes the channels.
    void UnsetNode() override;
    // One shape channel per shape under the take node's root.
    void AddChannels(KQoxTakeNode* pTakeNode) override;
    void RemoveChannels(KQoxTakeNode* pTakeNode) override;
    // The geometry and its shapes move to the entity (null: out of any); the
    // node calls it when it joins or leaves a scene. Memory running out
    // (std::bad_alloc) leaves them where they were.
    void SetGeometryEntity(KQoxEntity* pEntity);
    // SetGeometryEntity in steps, for a node's subtree that moves whole or
    // not at all: JoinGeometryEntity counts the shapes and the geometry not
    // in the entity yet in it, all or none (std::bad_alloc);
    // UndoJoinGeometryEntity takes that back; CommitGeometryEntity then takes
    // each one's counts back from the entity it was in and records the new
    // one. The last two allocate nothing.
    void JoinGeometryEntity(KQoxEntity& pEntity);
    void UndoJoinGeometryEntity(KQoxEntity& pEntity);
    void CommitGeometryEntity(KQoxEntity* pEntity);
    // Appends what the shapes, then the geometry, count in an entity (see
    // KQoxLayerContainer::AppendCountedObjects).
    void AppendGeometryCountedObjects(std::vector<std::pair<KQoxObject*, bool>>& pObjects) const;

    // Links -----------------------------------------------------------------------
    int GetLinkCount() const { return mLinkArray.GetCount(); }
    // Null with error 0 out of range.
    KQoxLink* GetLink(int pIndex);
    // Appends; no duplicate check. A null link is refused (error 1, false).
    bool AddLink(KQoxLink* pLink);
    // Takes the link out of the list (it stays alive); null with error 0.
    KQoxLink* RemoveLink(int pIndex);
    // Empties the list without destroying the links.
    void ClearLink();

    // Shapes ----------------------------------------------------------------------
    int GetShapeCount() const { return mShapeArray.GetCount(); }
    // Null with error 0 out of range.
    KQoxShape* GetShape(int pIndex);
    const char* GetShapeName(int pIndex);
    // Adds the shape under the name trimmed of white space; its index, or -1
    // with error 1 (null), 6 (already added), 7 (empty name) or 8 (name used).
    int AddShape(KQoxShape* pShape, const char* pName);
    // Removes the shape channels and empties the shape list (the shapes stay
    // alive in the manager).
    void ClearShape();

    // Shape channels ----------------------------------------------------------------
    KFCurveNode* GetShapeCurveNode(KQoxTakeNode* pTakeNode, int pIndex);
    // Error 9 and null when the shape has no channel curve in the take.
    KFCurve* GetShapeChannel(KQoxTakeNode* pTakeNode, int pIndex);
    // The shape's weight in the Default take (single precision).
    void SetDefaultShape(int pIndex, double pWeight);
    // 0.0 without a node or channel.
    double GetDefaultShape(int pIndex);
    bool AddShapeChannel(KQoxTakeNode* pTakeNode, int pIndex);
    bool RemoveShapeChannel(KQoxTakeNode* pTakeNode, int pIndex);
    // After reading: channels stored under "<name> (Shape)" or "Shape NN
    // (Shape)" go back under the plain shape name (not for meshes).
    void CleanShapeChannels(KQoxTakeNode* pTakeNode);
    void CleanShapeChannel(KQoxTakeNode* pTakeNode, int pIndex);
    // "Shape %02d (Shape)" with i + 1; empty for a negative index.
    static KString CreateShapeChannelName(int pIndex);
    // The name without trailing white space, ending in " (Shape)".
    static KString CreateShapeChannelName(KString pName);
    // The node property of the shape's weight ("Shape" data type, animated,
    // value 0), created when the node has none of that name.
    void CreateShapeChannelProperties(KString& pName);

    // Version-5 shape names -------------------------------------------------------------
    void ConvertShapeNamesToV5Format(KQoxTakeNode* pTakeNode);
    void ConvertShapeNamesToV5Format(KQoxTakeNode* pTakeNode, int pIndex);
    void RevertShapeNamesToV6Format(KQoxTakeNode* pTakeNode);
    void RevertShapeNamesToV6Format(KQoxTakeNode* pTakeNode, int pIndex);
    void ClearTemporaryShapeNames();

    // Pivot ---------------------------------------------------------------------------
    void PivotInit() { mPivot.SetIdentity(); }
    // The pivot operations are the node attribute's, which the node's
    // pivot conversion calls.
    KQoxXMatrix& GetPivot(KQoxXMatrix& pMatrix) override;
    KQoxXMatrix& GetPivot(KQoxXMatrix& pMatrix) const;
    void SetPivot(KQoxXMatrix& pMatrix) override { mPivot = pMatrix; }
    void SetPivot(const KQoxXMatrix& pMatrix) { mPivot = pMatrix; }
    void CopyPivot(const KQoxGeometry* pOther);
    // Transforms every control point by the pivot, and the layer-0 normals by
    // its rotation (scale removed, reflection handled); the pivot stays.
    void ApplyPivot() override;

    // Copy ----------------------------------------------------------------------------
    // Layers, control points, links, shapes and pivot.
    KQoxGeometry& operator=(KQoxGeometry& pOther);
    void CopyLinks(KQoxGeometry* pOther);
    void CopyShapes(KQoxGeometry* pOther);

    KError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString(); }

protected:
    // Destroys every link through the manager and empties the list.
    void DestroyLinks();
    // Destroys every shape through the manager and empties the lists.
    void DestroyShapes();

    KArrayTemplate<KQoxLink*> mLinkArray;     // grows 16 at a time
    KArrayTemplate<KQoxShape*> mShapeArray;   // grows 16 at a time
    KArrayTemplate<KString*> mShapeNameArray; // owned, one per shape
    // Version-5 naming records: name before conversion, version-5 shape name
    // and version-5 channel name, one entry per shape.
    KArrayTemplate<KString*> mShapeOldNames;
    KArrayTemplate<KString*> mShapeV5Names;
    KArrayTemplate<KString*> mShapeV5ChannelNames;
    KQoxXMatrix mPivot;
    KError mError;
};

} // namespace qoxsdk_600

#endif
