#ifndef QOX_SCENE_ATTRIBUTES_KQOXLAYER_H
#define QOX_SCENE_ATTRIBUTES_KQOXLAYER_H

// Layers of a geometry and their elements.
//
// A layer holds up to six elements, one per type: normals, materials,
// textures, polygon groups, UVs and vertex colours. An element says what one
// of its items is attached to (mapping mode), how an item's value is found
// (reference mode), and keeps a direct array of values and an index array.
// Elements are plain structures: their users read and write the fields
// directly. A layer owns its elements; elements never own the materials and
// textures they point to.

#include "base/karray.h"
#include "base/kmath_types.h"
#include "scene/kqoxcolor.h"

namespace qoxsdk_600 {

class KQoxMaterial;
class KQoxTexture;

class KQoxLayerElement
{
public:
    // The slot an element occupies in a layer.
    typedef enum : int
    {
        eUNDEFINED = 0,
        eNORMAL = 1,
        eMATERIAL = 2,
        eTEXTURE = 3,
        ePOLYGON_GROUP = 4,
        eUV = 5,
        eVERTEX_COLOR = 6
    } ELayerElementType;

    // What one item is attached to; the file token of each is given by
    // MappingModeToken.
    typedef enum : int
    {
        eNONE = 0,              // "NoMappingInformation"
        eBY_CONTROL_POINT = 1,  // "ByVertice"
        eBY_POLYGON_VERTEX = 2, // "ByPolygonVertex"
        eBY_POLYGON = 3,        // "ByPolygon"
        eALL_SAME = 4           // "AllSame"
    } EMappingMode;

    // How an item's value is found.
    typedef enum : int
    {
        eDIRECT = 0,         // "Direct": the n-th item is the n-th direct entry
        eINDEX = 1,          // "Index": the n-th index is the value (for materials
                             // and textures: a position among those connected to
                             // the geometry's node)
        eINDEX_TO_DIRECT = 2 // "IndexToDirect": the n-th index is a direct position
    } EReferenceMode;

    KQoxLayerElement()
        : mIndexArray(16)
    {}

    // Token of a mapping mode; values outside 0..4 give "NoMappingInformation".
    static const char* MappingModeToken(int pMode);
    // Token of a reference mode; values other than 1 and 2 give "Direct".
    static const char* ReferenceModeToken(int pMode);
    // The mode named by a token (exact text); false, mode untouched, for an
    // unknown token.
    static bool MappingModeFromToken(const char* pToken, EMappingMode& pMode);
    static bool ReferenceModeFromToken(const char* pToken, EReferenceMode& pMode);

    EMappingMode mMappingMode = eNONE;
    EReferenceMode mReferenceMode = eDIRECT;
    KArrayTemplate<int> mIndexArray; // grows 16 items at a time
};

// An element with a direct array of T.
template <class T>
class KQoxLayerElementTemplate : public KQoxLayerElement
{
public:
    KQoxLayerElementTemplate()
        : mDirectArray(16)
    {}
    KArrayTemplate<T> mDirectArray; // grows 16 items at a time
};

// The textures element: a blend mode and an alpha besides the arrays, and
// index-to-direct references from its creation on.
class KQoxLayerElementTexture : public KQoxLayerElementTemplate<KQoxTexture*>
{
public:
    // How a texture layer combines with the layers below it.
    typedef enum : int
    {
        eTRANSLUCENT = 0, // "Translucent"
        eADD = 1,         // "Add"
        eMODULATE = 2,    // "Modulate"
        eMODULATE2 = 3,   // "Modulate2"
        eMAXBLEND = 4     // "MaxBlend"
    } EBlendMode;

    KQoxLayerElementTexture() { mReferenceMode = eINDEX_TO_DIRECT; }

    // Token of a blend mode; values outside 0..4 give "Translucent".
    static const char* BlendModeToken(int pMode);
    // False, mode untouched, for an unknown token.
    static bool BlendModeFromToken(const char* pToken, EBlendMode& pMode);

    EBlendMode mBlendMode = eTRANSLUCENT;
    double mAlpha = 1.0;
};

typedef KQoxLayerElementTemplate<KQoxVector4> KQoxLayerElementNormal;
typedef KQoxLayerElementTemplate<KQoxMaterial*> KQoxLayerElementMaterial;
typedef KQoxLayerElementTemplate<int> KQoxLayerElementPolygonGroup;
typedef KQoxLayerElementTemplate<KQoxVector2> KQoxLayerElementUV;
typedef KQoxLayerElementTemplate<KQoxColor> KQoxLayerElementVertexColor;

class KQoxLayer
{
public:
    // All six slots empty.
    KQoxLayer();
    // Deletes the elements present.
    virtual ~KQoxLayer();
    KQoxLayer(const KQoxLayer&) = delete;

    // The element of a slot, or null.
    KQoxLayerElementNormal* GetNormals() const { return mNormals; }
    KQoxLayerElementMaterial* GetMaterials() const { return mMaterials; }
    KQoxLayerElementTexture* GetTextures() const { return mTextures; }
    KQoxLayerElementPolygonGroup* GetPolygonGroups() const { return mPolygonGroups; }
    KQoxLayerElementUV* GetUVs() const { return mUVs; }
    KQoxLayerElementVertexColor* GetVertexColors() const { return mVertexColors; }

    // The layer takes ownership. An element already in the slot (other than
    // the one given) is deleted first, so nothing leaks.
    void SetNormals(KQoxLayerElementNormal* pElement);
    void SetMaterials(KQoxLayerElementMaterial* pElement);
    void SetTextures(KQoxLayerElementTexture* pElement);
    void SetPolygonGroups(KQoxLayerElementPolygonGroup* pElement);
    void SetUVs(KQoxLayerElementUV* pElement);
    void SetVertexColors(KQoxLayerElementVertexColor* pElement);

    // The element of slot 1..6; null for any other type.
    KQoxLayerElement* GetLayerElementOfType(KQoxLayerElement::ELayerElementType pType) const;

    // Deletes every element present; all six slots empty.
    void Clear();

    // Deep copy: this layer's elements are replaced by new elements equal to
    // the source's (modes, arrays with their growth steps, blend mode and
    // alpha). Assigning a layer to itself changes nothing.
    KQoxLayer& operator=(const KQoxLayer& pOther);

private:
    KQoxLayerElementNormal* mNormals;
    KQoxLayerElementMaterial* mMaterials;
    KQoxLayerElementTexture* mTextures;
    KQoxLayerElementPolygonGroup* mPolygonGroups;
    KQoxLayerElementUV* mUVs;
    KQoxLayerElementVertexColor* mVertexColors;
};

} // namespace qoxsdk_600

#endif
