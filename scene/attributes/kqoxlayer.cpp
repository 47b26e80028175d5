// Layer elements' file tokens and the layer with its deep copy.

#include "scene/attributes/kqoxlayer.h"

#include <cstring>

namespace qoxsdk_600 {

namespace {

const char* const kMappingTokens[5] = {"NoMappingInformation", "ByVertice", "ByPolygonVertex", "ByPolygon", "AllSame"};
const char* const kReferenceTokens[3] = {"Direct", "Index", "IndexToDirect"};
const char* const kBlendTokens[5] = {"Translucent", "Add", "Modulate", "Modulate2", "MaxBlend"};

// Position of the token in the table, or -1.
int FindToken(const char* const* pTable, int pCount, const char* pToken)
{
    if (!pToken)
        return -1;
    for (int i = 0; i < pCount; ++i)
        if (strcmp(pTable[i], pToken) == 0)
            return i;
    return -1;
}

// Replaces the slot's element by a new one equal to the source's, or leaves
// it empty when the source has none.
template <class Element>
Element* CopyElement(const Element* pSource)
{
    if (!pSource)
        return nullptr;
    Element* copy = new Element;
    copy->mMappingMode = pSource->mMappingMode;
    copy->mReferenceMode = pSource->mReferenceMode;
    copy->mDirectArray = pSource->mDirectArray;
    copy->mIndexArray = pSource->mIndexArray;
    return copy;
}

// Stores a new element in a slot; a different element already there is freed.
template <class Element>
void ReplaceElement(Element*& pSlot, Element* pElement)
{
    if (pSlot != pElement)
        delete pSlot;
    pSlot = pElement;
}

} // namespace

const char* KQoxLayerElement::MappingModeToken(int pMode)
{
    return (pMode >= 0 && pMode <= 4) ? kMappingTokens[pMode] : kMappingTokens[0];
}

const char* KQoxLayerElement::ReferenceModeToken(int pMode)
{
    return (pMode == 1 || pMode == 2) ? kReferenceTokens[pMode] : kReferenceTokens[0];
}

bool KQoxLayerElement::MappingModeFromToken(const char* pToken, EMappingMode& pMode)
{
    const int found = FindToken(kMappingTokens, 5, pToken);
    if (found < 0)
        return false;
    pMode = static_cast<EMappingMode>(found);
    return true;
}

bool KQoxLayerElement::ReferenceModeFromToken(const char* pToken, EReferenceMode& pMode)
{
    const int found = FindToken(kReferenceTokens, 3, pToken);
    if (found < 0)
        return false;
    pMode = static_cast<EReferenceMode>(found);
    return true;
}

const char* KQoxLayerElementTexture::BlendModeToken(int pMode)
{
    return (pMode >= 0 && pMode <= 4) ? kBlendTokens[pMode] : kBlendTokens[0];
}

bool KQoxLayerElementTexture::BlendModeFromToken(const char* pToken, EBlendMode& pMode)
{
    const int found = FindToken(kBlendTokens, 5, pToken);
    if (found < 0)
        return false;
    pMode = static_cast<EBlendMode>(found);
    return true;
}

// ---- KQoxLayer ----------------------------------------------------------------

KQoxLayer::KQoxLayer()
    : mNormals(nullptr)
    , mMaterials(nullptr)
    , mTextures(nullptr)
    , mPolygonGroups(nullptr)
    , mUVs(nullptr)
    , mVertexColors(nullptr)
{}

KQoxLayer::~KQoxLayer()
{
    Clear();
}

void KQoxLayer::SetNormals(KQoxLayerElementNormal* pElement)
{
    ReplaceElement(mNormals, pElement);
}

void KQoxLayer::SetMaterials(KQoxLayerElementMaterial* pElement)
{
    ReplaceElement(mMaterials, pElement);
}

void KQoxLayer::SetTextures(KQoxLayerElementTexture* pElement)
{
    ReplaceElement(mTextures, pElement);
}

void KQoxLayer::SetPolygonGroups(KQoxLayerElementPolygonGroup* pElement)
{
    ReplaceElement(mPolygonGroups, pElement);
}

void KQoxLayer::SetUVs(KQoxLayerElementUV* pElement)
{
    ReplaceElement(mUVs, pElement);
}

void KQoxLayer::SetVertexColors(KQoxLayerElementVertexColor* pElement)
{
    ReplaceElement(mVertexColors, pElement);
}

KQoxLayerElement* KQoxLayer::GetLayerElementOfType(KQoxLayerElement::ELayerElementType pType) const
{
    switch (pType)
    {
    case KQoxLayerElement::eNORMAL: return mNormals;
    case KQoxLayerElement::eMATERIAL: return mMaterials;
    case KQoxLayerElement::eTEXTURE: return mTextures;
    case KQoxLayerElement::ePOLYGON_GROUP: return mPolygonGroups;
    case KQoxLayerElement::eUV: return mUVs;
    case KQoxLayerElement::eVERTEX_COLOR: return mVertexColors;
    default: return nullptr;
    }
}

void KQoxLayer::Clear()
{
    ReplaceElement(mNormals, static_cast<KQoxLayerElementNormal*>(nullptr));
    ReplaceElement(mMaterials, static_cast<KQoxLayerElementMaterial*>(nullptr));
    ReplaceElement(mTextures, static_cast<KQoxLayerElementTexture*>(nullptr));
    ReplaceElement(mPolygonGroups, static_cast<KQoxLayerElementPolygonGroup*>(nullptr));
    ReplaceElement(mUVs, static_cast<KQoxLayerElementUV*>(nullptr));
    ReplaceElement(mVertexColors, static_cast<KQoxLayerElementVertexColor*>(nullptr));
}

KQoxLayer& KQoxLayer::operator=(const KQoxLayer& pOther)
{
    // Clearing first would free the very elements a self-copy reads.
    if (&pOther == this)
        return *this;
    Clear();
    mNormals = CopyElement(pOther.mNormals);
    mMaterials = CopyElement(pOther.mMaterials);
    mTextures = CopyElement(pOther.mTextures);
    if (mTextures)
    {
        mTextures->mBlendMode = pOther.mTextures->mBlendMode;
        mTextures->mAlpha = pOther.mTextures->mAlpha;
    }
    mPolygonGroups = CopyElement(pOther.mPolygonGroups);
    mUVs = CopyElement(pOther.mUVs);
    mVertexColors = CopyElement(pOther.mVertexColors);
    return *this;
}

} // namespace qoxsdk_600
