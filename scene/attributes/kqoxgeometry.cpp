// Geometry: links, shapes with their channels, version-5 shape names, pivot
// and copies.

#include "scene/attributes/kqoxgeometry.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "base/kmath_kernels.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kpropertydatatype.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

namespace {

const char* const kGeometryErrors[KQoxGeometry::eERROR_COUNT] = {
    "Parameter out of range.",     "Parameter is NULL.",     "Material not found.",  "Material already added.",
    "Texture not found.",          "Texture already added.", "Shape already added.", "Shape name is invalid.",
    "Shape name is already used.", "No shape curve found."};

// Display colours of the shape channels, by shape index modulo 20.
float kShapeColors[20][3] = {{1.0f, 0.0f, 0.0f},   {0.0f, 1.0f, 0.0f},   {0.0f, 0.0f, 1.0f},    {1.0f, 1.0f, 0.0f},
                             {0.0f, 1.0f, 1.0f},   {1.0f, 0.0f, 1.0f},   {0.47f, 0.0f, 0.0f},   {0.3f, 0.61f, 0.0f},
                             {0.51f, 0.75f, 1.0f}, {1.0f, 0.49f, 0.0f},  {0.57f, 0.0f, 1.0f},   {1.0f, 0.78f, 1.0f},
                             {0.0f, 0.35f, 0.0f},  {1.0f, 0.98f, 0.61f}, {0.65f, 0.49f, 0.31f}, {0.8f, 0.8f, 0.8f},
                             {0.78f, 1.0f, 0.61f}, {1.0f, 0.86f, 0.73f}, {0.37f, 0.0f, 0.37f},  {0.65f, 0.65f, 0.0f}};

const char kShapeSuffix[] = " (Shape)";
const double kDegreesToRadians = 0.017453292519943295;

bool IsBlank(char c)
{
    return isspace(static_cast<unsigned char>(c)) != 0;
}

// The text without white space at either end (or only at its end).
KString Trimmed(const char* pText, bool pBothEnds)
{
    if (!pText)
        return KString("");
    const char* start = pText;
    if (pBothEnds)
        while (*start && IsBlank(*start))
            ++start;
    size_t length = strlen(start);
    while (length > 0 && IsBlank(start[length - 1]))
        --length;
    return KString(start, static_cast<unsigned int>(length));
}

KFCurveNode* RootOf(KQoxTakeNode* pTakeNode)
{
    return pTakeNode ? pTakeNode->GetKFCurveNode() : nullptr;
}

// Replaces the root's direct child named pFrom by a copy named pTo, added at
// the end of the children.
void RenameChannel(KFCurveNode* pRoot, const char* pFrom, const char* pTo)
{
    const int index = pRoot->Find(pFrom);
    if (index < 0)
        return;
    KFCurveNode* renamed = KFCurveNodeCreate(pTo, static_cast<KDataType*>(nullptr), 0, 0);
    renamed->CopyFrom(pRoot->Get(index), false);
    KFCurveNodeAdopt(pRoot, renamed); // out of memory, the old one stays
    pRoot->Delete(index);
}

void DeleteStrings(KArrayTemplate<KString*>& pStrings)
{
    while (pStrings.GetCount() > 0)
        delete pStrings.RemoveLast();
}

} // namespace

KQoxGeometry::KQoxGeometry(KQoxSdkManager& pManager)
    : KQoxGeometryBase(pManager)
    , mLinkArray(16)
    , mShapeArray(16)
    , mShapeNameArray(16)
    , mError(kGeometryErrors, eERROR_COUNT)
{}

KQoxGeometry::~KQoxGeometry()
{
    // The node-attribute base cannot reach this class's channels any more
    // once this destructor has run: leave the node and the entity here.
    if (KQoxNode* node = mNode)
    {
        KQoxGeometry::UnsetNode();
        node->ForgetNodeAttribute(this);
    }
    else
    {
        UnsetEntity();
        for (int i = 0; i < mShapeArray.GetCount(); ++i)
            mShapeArray[i]->UnsetEntity();
    }
    DestroyLinks();
    DestroyShapes();
    ClearTemporaryShapeNames();
}

void KQoxGeometry::DestroyLinks()
{
    for (int i = 0; i < mLinkArray.GetCount(); ++i)
        mManager->DestroyKQoxLink(mLinkArray[i]);
    mLinkArray.Clear();
}

void KQoxGeometry::DestroyShapes()
{
    for (int i = 0; i < mShapeArray.GetCount(); ++i)
    {
        mShapeArray[i]->UnsetEntity();
        mManager->DestroyKQoxShape(mShapeArray[i]);
    }
    mShapeArray.Clear();
    DeleteStrings(mShapeNameArray);
}

// ---- Node and channels ------------------------------------------------------------

void KQoxGeometry::SetNode(KQoxNode& pNode)
{
    KQoxNodeAttribute::SetNode(pNode);
    for (int i = 0; i < mShapeArray.GetCount(); ++i)
    {
        mShapeArray[i]->SetEntity(pNode.GetEntity());
        CreateShapeChannelProperties(*mShapeNameArray[i]);
    }
    SetEntity(pNode.GetEntity());
}

void KQoxGeometry::UnsetNode()
{
    UnsetEntity();
    for (int i = 0; i < mShapeArray.GetCount(); ++i)
        mShapeArray[i]->UnsetEntity();
    KQoxNodeAttribute::UnsetNode();
}

void KQoxGeometry::SetGeometryEntity(KQoxEntity* pEntity)
{
    if (pEntity)
        JoinGeometryEntity(*pEntity);
    CommitGeometryEntity(pEntity);
}

void KQoxGeometry::JoinGeometryEntity(KQoxEntity& pEntity)
{
    // The shapes, then the geometry; each one already there is left as it is.
    const int count = mShapeArray.GetCount();
    int joined = 0;
    try
    {
        for (; joined < count; ++joined)
            if (mShapeArray[joined]->GetEntity() != &pEntity)
                mShapeArray[joined]->CountIn(pEntity);
        if (GetEntity() != &pEntity)
            CountIn(pEntity);
    }
    catch (const std::bad_alloc&)
    {
        for (int i = 0; i < joined; ++i)
            if (mShapeArray[i]->GetEntity() != &pEntity)
                mShapeArray[i]->CountOut(pEntity);
        throw;
    }
}

void KQoxGeometry::UndoJoinGeometryEntity(KQoxEntity& pEntity)
{
    for (int i = 0; i < mShapeArray.GetCount(); ++i)
        if (mShapeArray[i]->GetEntity() != &pEntity)
            mShapeArray[i]->CountOut(pEntity);
    if (GetEntity() != &pEntity)
        CountOut(pEntity);
}

void KQoxGeometry::CommitGeometryEntity(KQoxEntity* pEntity)
{
    auto commit = [pEntity](KQoxLayerContainer& container) {
        if (container.GetEntity() == pEntity)
            return;
        if (KQoxEntity* old = container.GetEntity())
            container.CountOut(*old);
        container.SwitchEntity(pEntity);
    };
    for (int i = 0; i < mShapeArray.GetCount(); ++i)
        commit(*mShapeArray[i]);
    commit(*this);
}

void KQoxGeometry::AppendGeometryCountedObjects(std::vector<std::pair<KQoxObject*, bool>>& pObjects) const
{
    for (int i = 0; i < mShapeArray.GetCount(); ++i)
        mShapeArray[i]->AppendCountedObjects(pObjects);
    AppendCountedObjects(pObjects);
}

void KQoxGeometry::AddChannels(KQoxTakeNode* pTakeNode)
{
    for (int i = 0; i < mShapeArray.GetCount(); ++i)
        AddShapeChannel(pTakeNode, i);
}

void KQoxGeometry::RemoveChannels(KQoxTakeNode* pTakeNode)
{
    for (int i = 0; i < mShapeArray.GetCount(); ++i)
        RemoveShapeChannel(pTakeNode, i);
}

// ---- Links -------------------------------------------------------------------------

KQoxLink* KQoxGeometry::GetLink(int pIndex)
{
    if (!mLinkArray.ValidateIndex(pIndex))
    {
        mError.SetLastErrorID(ePARAMETER_OUT_OF_RANGE);
        return nullptr;
    }
    return mLinkArray[pIndex];
}

bool KQoxGeometry::AddLink(KQoxLink* pLink)
{
    if (!pLink)
    {
        mError.SetLastErrorID(eNULL_PARAMETER);
        return false;
    }
    mLinkArray.Add(pLink);
    return true;
}

KQoxLink* KQoxGeometry::RemoveLink(int pIndex)
{
    if (!mLinkArray.ValidateIndex(pIndex))
    {
        mError.SetLastErrorID(ePARAMETER_OUT_OF_RANGE);
        return nullptr;
    }
    return mLinkArray.RemoveAt(pIndex);
}

void KQoxGeometry::ClearLink()
{
    mLinkArray.Clear();
}

// ---- Shapes -------------------------------------------------------------------------

KQoxShape* KQoxGeometry::GetShape(int pIndex)
{
    if (!mShapeArray.ValidateIndex(pIndex))
    {
        mError.SetLastErrorID(ePARAMETER_OUT_OF_RANGE);
        return nullptr;
    }
    return mShapeArray[pIndex];
}

const char* KQoxGeometry::GetShapeName(int pIndex)
{
    if (!mShapeNameArray.ValidateIndex(pIndex))
    {
        mError.SetLastErrorID(ePARAMETER_OUT_OF_RANGE);
        return nullptr;
    }
    return mShapeNameArray[pIndex]->ToChars();
}

int KQoxGeometry::AddShape(KQoxShape* pShape, const char* pName)
{
    if (!pShape)
    {
        mError.SetLastErrorID(eNULL_PARAMETER);
        return -1;
    }
    if (mShapeArray.Find(pShape) >= 0)
    {
        mError.SetLastErrorID(eSHAPE_ALREADY_ADDED);
        return -1;
    }
    KString name = Trimmed(pName, true);
    if (name.GetLen() == 0)
    {
        mError.SetLastErrorID(eSHAPE_INVALID_NAME);
        return -1;
    }
    for (int i = 0; i < mShapeNameArray.GetCount(); ++i)
        if (*mShapeNameArray[i] == name)
        {
            mError.SetLastErrorID(eSHAPE_NAME_CLASH);
            return -1;
        }
    const int index = mShapeArray.Add(pShape);
    mShapeNameArray.Add(new KString(name));
    if (mNode)
    {
        CreateShapeChannelProperties(name);
        for (int t = 0; t < mNode->GetTakeNodeCount(); ++t)
            AddShapeChannel(mNode->GetTakeNode(t), index);
    }
    pShape->SetEntity(mEntity);
    return index;
}

void KQoxGeometry::ClearShape()
{
    if (KQoxNode* node = mNode)
    {
        KQoxNodeAttribute::UnsetNode();
        mNode = node;
    }
    for (int i = 0; i < mShapeArray.GetCount(); ++i)
        mShapeArray[i]->UnsetEntity();
    mShapeArray.Clear();
    DeleteStrings(mShapeNameArray);
}

// ---- Shape channels ---------------------------------------------------------------------

KFCurveNode* KQoxGeometry::GetShapeCurveNode(KQoxTakeNode* pTakeNode, int pIndex)
{
    if (pIndex < 0)
    {
        mError.SetLastErrorID(ePARAMETER_OUT_OF_RANGE);
        return nullptr;
    }
    if (!pTakeNode)
    {
        mError.SetLastErrorID(eNULL_PARAMETER);
        return nullptr;
    }
    const char* name = GetShapeName(pIndex);
    if (!name || !*name || !RootOf(pTakeNode))
        return nullptr;
    return RootOf(pTakeNode)->FindRecursive(name);
}

KFCurve* KQoxGeometry::GetShapeChannel(KQoxTakeNode* pTakeNode, int pIndex)
{
    KFCurveNode* node = GetShapeCurveNode(pTakeNode, pIndex);
    KFCurve* curve = node ? node->FCurveGet() : nullptr;
    if (!curve)
        mError.SetLastErrorID(eSHAPE_NO_CURVE_FOUND);
    return curve;
}

void KQoxGeometry::SetDefaultShape(int pIndex, double pWeight)
{
    if (!mNode)
        return;
    if (KFCurve* curve = GetShapeChannel(mNode->GetDefaultTakeNode(), pIndex))
        curve->SetValue(static_cast<float>(pWeight));
}

double KQoxGeometry::GetDefaultShape(int pIndex)
{
    if (!mNode)
        return 0.0;
    KFCurve* curve = GetShapeChannel(mNode->GetDefaultTakeNode(), pIndex);
    return curve ? curve->GetValue() : 0.0;
}

bool KQoxGeometry::AddShapeChannel(KQoxTakeNode* pTakeNode, int pIndex)
{
    if (!mShapeNameArray.ValidateIndex(pIndex) || mShapeNameArray[pIndex]->GetLen() == 0 || !RootOf(pTakeNode))
        return false;
    KFCurveNode* channel = RootOf(pTakeNode)->FindOrCreate(mShapeNameArray[pIndex]->ToChars(), true);
    if (!channel)
        return false;
    if (KFCurve* curve = channel->FCurveGet())
        curve->SetColor(kShapeColors[pIndex % 20]);
    return true;
}

bool KQoxGeometry::RemoveShapeChannel(KQoxTakeNode* pTakeNode, int pIndex)
{
    if (!mShapeNameArray.ValidateIndex(pIndex) || !RootOf(pTakeNode))
        return false;
    KFCurveNode* root = RootOf(pTakeNode);
    const int index = root->Find(mShapeNameArray[pIndex]->ToChars());
    if (index < 0)
        return false;
    root->Delete(index);
    return true;
}

void KQoxGeometry::CleanShapeChannels(KQoxTakeNode* pTakeNode)
{
    if (!mNode)
        return;
    for (int i = 0; i < mShapeArray.GetCount(); ++i)
        CleanShapeChannel(pTakeNode, i);
}

void KQoxGeometry::CleanShapeChannel(KQoxTakeNode* pTakeNode, int pIndex)
{
    KFCurveNode* root = RootOf(pTakeNode);
    if (GetAttributeType() == eMESH || !root || !mShapeNameArray.ValidateIndex(pIndex))
        return;
    const KString& name = *mShapeNameArray[pIndex];
    int suffixed = root->Find(CreateShapeChannelName(name).ToChars());
    if (suffixed < 0)
        suffixed = root->Find(CreateShapeChannelName(pIndex).ToChars());
    if (suffixed < 0)
        return;
    const int plain = root->Find(name.ToChars());
    if (plain < 0 || plain == suffixed)
        return;
    KFCurveNode* source = root->Get(suffixed);
    root->Get(plain)->CopyFrom(source, true);
    root->Delete(source);
}

KString KQoxGeometry::CreateShapeChannelName(int pIndex)
{
    if (pIndex < 0)
        return KString("");
    char text[64];
    snprintf(text, sizeof(text), "Shape %02d (Shape)", pIndex + 1);
    return KString(text);
}

KString KQoxGeometry::CreateShapeChannelName(KString pName)
{
    KString name = Trimmed(pName.ToChars(), false);
    const unsigned int suffixLength = static_cast<unsigned int>(strlen(kShapeSuffix));
    if (name.GetLen() < suffixLength || name.Right(suffixLength) != kShapeSuffix)
        name += kShapeSuffix;
    return name;
}

void KQoxGeometry::CreateShapeChannelProperties(KString& pName)
{
    KQoxPropertyHandler* handler = mNode ? mNode->GetPropertyHandler() : nullptr;
    if (!handler || handler->FindPropertyByName(pName.ToChars()))
        return;
    KDataType* dataType = KDataTypeGet("Shape");
    KProperty* property = handler->CreatePropertyFromType(pName.ToChars(), DataTypeToPropertyType(dataType), dataType,
                                                          false, false, nullptr);
    if (!property)
        return;
    property->GetPropertyInfo().ModifyFlag(KPropertyInfo::eAnimatable, true);
    property->ModifyPropertyFlag(KProperty::eAnimated, true);
    property->SetDouble(0.0);
}

// ---- Version-5 shape names ----------------------------------------------------------------

void KQoxGeometry::ConvertShapeNamesToV5Format(KQoxTakeNode* pTakeNode)
{
    if (!mNode)
        return;
    for (int i = 0; i < mShapeArray.GetCount(); ++i)
        ConvertShapeNamesToV5Format(pTakeNode, i);
}

void KQoxGeometry::ConvertShapeNamesToV5Format(KQoxTakeNode* pTakeNode, int pIndex)
{
    KFCurveNode* root = RootOf(pTakeNode);
    if (!root || !mShapeNameArray.ValidateIndex(pIndex))
        return;
    const bool recorded = mShapeOldNames.ValidateIndex(pIndex) && mShapeV5Names.ValidateIndex(pIndex) &&
                          mShapeV5ChannelNames.ValidateIndex(pIndex);
    const KString oldName = recorded ? *mShapeOldNames[pIndex] : *mShapeNameArray[pIndex];
    KString newName;
    KString channelName;
    if (GetAttributeType() == eMESH)
    {
        newName = oldName;
        channelName = CreateShapeChannelName(oldName);
    }
    else
    {
        char text[64];
        snprintf(text, sizeof(text), "Shape %02d", pIndex + 1);
        newName = text;
        channelName = CreateShapeChannelName(pIndex);
    }
    if (recorded)
    {
        *mShapeOldNames[pIndex] = oldName;
        *mShapeV5Names[pIndex] = newName;
        *mShapeV5ChannelNames[pIndex] = channelName;
    }
    else
    {
        mShapeOldNames.Add(new KString(oldName));
        mShapeV5Names.Add(new KString(newName));
        mShapeV5ChannelNames.Add(new KString(channelName));
    }
    *mShapeNameArray[pIndex] = newName;
    RenameChannel(root, oldName.ToChars(), channelName.ToChars());
}

void KQoxGeometry::RevertShapeNamesToV6Format(KQoxTakeNode* pTakeNode)
{
    if (!mNode)
        return;
    for (int i = 0; i < mShapeArray.GetCount(); ++i)
        RevertShapeNamesToV6Format(pTakeNode, i);
}

void KQoxGeometry::RevertShapeNamesToV6Format(KQoxTakeNode* pTakeNode, int pIndex)
{
    KFCurveNode* root = RootOf(pTakeNode);
    if (!root || !mShapeNameArray.ValidateIndex(pIndex) || !mShapeOldNames.ValidateIndex(pIndex) ||
        !mShapeV5Names.ValidateIndex(pIndex) || !mShapeV5ChannelNames.ValidateIndex(pIndex))
        return;
    *mShapeNameArray[pIndex] = *mShapeOldNames[pIndex];
    RenameChannel(root, mShapeV5ChannelNames[pIndex]->ToChars(), mShapeOldNames[pIndex]->ToChars());
}

void KQoxGeometry::ClearTemporaryShapeNames()
{
    DeleteStrings(mShapeOldNames);
    DeleteStrings(mShapeV5Names);
    DeleteStrings(mShapeV5ChannelNames);
}

// ---- Pivot ------------------------------------------------------------------------------

KQoxXMatrix& KQoxGeometry::GetPivot(KQoxXMatrix& pMatrix)
{
    pMatrix = mPivot;
    return pMatrix;
}

KQoxXMatrix& KQoxGeometry::GetPivot(KQoxXMatrix& pMatrix) const
{
    pMatrix = mPivot;
    return pMatrix;
}

void KQoxGeometry::CopyPivot(const KQoxGeometry* pOther)
{
    if (pOther)
        mPivot = pOther->mPivot;
}

void KQoxGeometry::ApplyPivot()
{
    const KgeAMatrix& m = mPivot;
    const double(*M)[4] = m.mData;
    for (int i = 0; i < mControlPoints.GetCount(); ++i)
    {
        KQoxVector4& p = mControlPoints[i];
        const double x = p[0], y = p[1], z = p[2];
        p[0] = x * M[0][0] + y * M[1][0] + z * M[2][0] + M[3][0];
        p[1] = x * M[0][1] + y * M[1][1] + z * M[2][1] + M[3][1];
        p[2] = x * M[0][2] + y * M[1][2] + z * M[2][2] + M[3][2];
    }

    // The rotation of the normals: the 3x3 block with each row divided by its
    // length, negated lengths for a reflection.
    KgeAMatrix rotation;
    double length[3];
    for (int r = 0; r < 3; ++r)
        length[r] = sqrt(M[r][0] * M[r][0] + M[r][1] * M[r][1] + M[r][2] * M[r][2]);
    const double determinant = M[0][0] * (M[1][1] * M[2][2] - M[1][2] * M[2][1]) -
                               M[0][1] * (M[1][0] * M[2][2] - M[1][2] * M[2][0]) +
                               M[0][2] * (M[1][0] * M[2][1] - M[1][1] * M[2][0]);
    const double sign = determinant < 0.0 ? -1.0 : 1.0;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            // A row of length zero leaves that row of the rotation zero.
            rotation.mData[r][c] = length[r] > 0.0 ? M[r][c] / (sign * length[r]) : 0.0;

    double angles[3];
    KmRtoVXYZ(angles, rotation);
    const double x = angles[0] * kDegreesToRadians, y = angles[1] * kDegreesToRadians,
                 z = angles[2] * kDegreesToRadians;
    const double cX = cos(x), sX = sin(x), cY = cos(y), sY = sin(y), cZ = cos(z), sZ = sin(z);
    const double R[3][3] = {{cY * cZ, cY * sZ, -sY},
                            {sX * sY * cZ - cX * sZ, sX * sY * sZ + cX * cZ, sX * cY},
                            {cX * sY * cZ + sX * sZ, cX * sY * sZ - sX * cZ, cX * cY}};

    KQoxLayer* layer = GetLayer(0);
    KQoxLayerElementNormal* normals = layer ? layer->GetNormals() : nullptr;
    if (!normals)
        return;
    for (int i = 0; i < normals->mDirectArray.GetCount(); ++i)
    {
        KQoxVector4& n = normals->mDirectArray[i];
        const double nx = n[0], ny = n[1], nz = n[2];
        n[0] = nx * R[0][0] + ny * R[1][0] + nz * R[2][0];
        n[1] = nx * R[0][1] + ny * R[1][1] + nz * R[2][1];
        n[2] = nx * R[0][2] + ny * R[1][2] + nz * R[2][2];
    }
}

// ---- Copies ------------------------------------------------------------------------------

void KQoxGeometry::CopyLinks(KQoxGeometry* pOther)
{
    if (!pOther || pOther == this)
        return;
    DestroyLinks();
    for (int i = 0; i < pOther->mLinkArray.GetCount(); ++i)
    {
        KQoxLink* link = mManager->CreateKQoxLink();
        if (!link)
            continue;
        *link = *pOther->mLinkArray[i];
        mLinkArray.Add(link);
    }
}

void KQoxGeometry::CopyShapes(KQoxGeometry* pOther)
{
    if (!pOther || pOther == this)
        return;
    for (int i = 0; i < mShapeArray.GetCount(); ++i)
        mShapeArray[i]->UnsetEntity();
    KArrayTemplate<KQoxShape*> old(mShapeArray);
    ClearShape();
    for (int i = 0; i < old.GetCount(); ++i)
        mManager->DestroyKQoxShape(old[i]);
    for (int i = 0; i < pOther->mShapeArray.GetCount(); ++i)
    {
        KQoxShape* shape = mManager->CreateKQoxShape();
        if (!shape)
            continue;
        *shape = *pOther->mShapeArray[i];
        AddShape(shape, pOther->mShapeNameArray[i]->ToChars());
    }
}

KQoxGeometry& KQoxGeometry::operator=(KQoxGeometry& pOther)
{
    if (&pOther == this)
        return *this;
    // The entity counts what the layers hold: leave it while they change.
    KQoxEntity* entity = mEntity;
    UnsetEntity();
    KQoxLayerContainer::Copy(pOther, *mManager);
    KQoxGeometryBase::Copy(pOther);
    SetEntity(entity);
    CopyLinks(&pOther);
    CopyShapes(&pOther);
    CopyPivot(&pOther);
    return *this;
}

} // namespace qoxsdk_600
