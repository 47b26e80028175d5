// Skin links.

#include "scene/attributes/kqoxlink.h"

#include <algorithm>

#include "scene/attributes/kqoxdeformer.h"
#include "scene/kqoxnode.h"

namespace qoxsdk_600 {

namespace {

const KQoxVector4 kZero(0.0, 0.0, 0.0, 1.0);
const KQoxVector4 kOne(1.0, 1.0, 1.0, 1.0);

// Decomposes an affine matrix: rotation, then translation, then scaling.
void Decompose(const KQoxXMatrix& pMatrix, KQoxVector4& pT, KQoxVector4& pR, KQoxVector4& pS)
{
    pR = pMatrix.GetR();
    pT = pMatrix.GetT();
    pS = pMatrix.GetS();
}

// The affine matrix holding the general matrix's values.
KQoxXMatrix ToAffine(const KQoxMatrix& pMatrix)
{
    KgeAMatrix values;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            values.mData[r][c] = pMatrix.mData[r][c];
    KQoxXMatrix affine;
    affine = values;
    return affine;
}

KQoxXMatrix& Compose(KQoxXMatrix& pMatrix, const KQoxVector4& pT, const KQoxVector4& pR, const KQoxVector4& pS)
{
    pMatrix.SetTRS(pT, pR, pS);
    return pMatrix;
}

} // namespace

KQoxLink::KQoxLink()
    : mControlPointIndices(256)
    , mControlPointWeights(256)
{
    Reset();
}

KQoxLink::~KQoxLink() {}

void KQoxLink::Reset()
{
    mLink = nullptr;
    mLinkName = "";
    mLinkMode = eADDITIVE;
    mAssociateModel = nullptr;
    mAssociateModelName = "";
    mUserDataID = "";
    mUserData = "";
    mTransformT = mTransformR = kZero;
    mTransformS = kOne;
    mTransformLinkT = mTransformLinkR = kZero;
    mTransformLinkS = kOne;
    mTransformAssociateModelT = mTransformAssociateModelR = kZero;
    mTransformAssociateModelS = kOne;
    mTransformParentSet = false;
    mTransformParentT = mTransformParentR = kZero;
    mTransformParentS = kOne;
    mControlPointIndices.Clear();
    mControlPointWeights.Clear();
}

void KQoxLink::SetLink(KQoxNode* pNode)
{
    if (!pNode)
        return;
    mLink = pNode;
    mLinkName = pNode->GetName();
}

void KQoxLink::SetAssociateModel(KQoxNode* pNode)
{
    mAssociateModel = pNode;
    mAssociateModelName = pNode ? pNode->GetName() : "";
}

KString KQoxLink::GetAssociateModelName()
{
    if (mAssociateModel)
        mAssociateModelName = mAssociateModel->GetName();
    return mAssociateModelName;
}

void KQoxLink::SetUserData(KString pUserDataID, KString pUserData)
{
    mUserDataID = pUserDataID;
    mUserData = pUserData;
}

KString KQoxLink::GetUserData(KString pUserDataID) const
{
    return mUserDataID.CompareNoCase(pUserDataID.ToChars()) == 0 ? mUserData : KString("");
}

const char* KQoxLink::LinkModeToken(int pMode)
{
    switch (pMode)
    {
    case eADDITIVE: return "Additive";
    case eTOTAL1: return "Total1";
    default: return nullptr;
    }
}

void KQoxLink::SetTransformParentT(const KQoxVector4& pT)
{
    mTransformParentT = pT;
    mTransformParentSet = true;
}

void KQoxLink::SetTransformParentR(const KQoxVector4& pR)
{
    mTransformParentR = pR;
    mTransformParentSet = true;
}

void KQoxLink::SetTransformParentS(const KQoxVector4& pS)
{
    mTransformParentS = pS;
    mTransformParentSet = true;
}

void KQoxLink::SetTransformMatrix(const KQoxXMatrix& pMatrix)
{
    Decompose(pMatrix, mTransformT, mTransformR, mTransformS);
}

void KQoxLink::SetTransformLinkMatrix(const KQoxXMatrix& pMatrix)
{
    Decompose(pMatrix, mTransformLinkT, mTransformLinkR, mTransformLinkS);
}

void KQoxLink::SetTransformAssociateModelMatrix(const KQoxXMatrix& pMatrix)
{
    Decompose(pMatrix, mTransformAssociateModelT, mTransformAssociateModelR, mTransformAssociateModelS);
}

void KQoxLink::SetTransformParentMatrix(const KQoxXMatrix& pMatrix)
{
    mTransformParentSet = true;
    Decompose(pMatrix, mTransformParentT, mTransformParentR, mTransformParentS);
}

KQoxXMatrix& KQoxLink::GetTransformMatrix(KQoxXMatrix& pMatrix) const
{
    return Compose(pMatrix, mTransformT, mTransformR, mTransformS);
}

KQoxXMatrix& KQoxLink::GetTransformLinkMatrix(KQoxXMatrix& pMatrix) const
{
    return Compose(pMatrix, mTransformLinkT, mTransformLinkR, mTransformLinkS);
}

KQoxXMatrix& KQoxLink::GetTransformAssociateModelMatrix(KQoxXMatrix& pMatrix) const
{
    return Compose(pMatrix, mTransformAssociateModelT, mTransformAssociateModelR, mTransformAssociateModelS);
}

KQoxXMatrix& KQoxLink::GetTransformParentMatrix(KQoxXMatrix& pMatrix) const
{
    return Compose(pMatrix, mTransformParentT, mTransformParentR, mTransformParentS);
}

void KQoxLink::AddControlPointIndex(int pIndex, double pWeight)
{
    if (pIndex < 0)
        return;
    mControlPointIndices.Add(pIndex);
    mControlPointWeights.Add(pWeight);
    // Both arrays stay the same length, also when one could not grow.
    if (mControlPointIndices.GetCount() != mControlPointWeights.GetCount())
    {
        const int count = std::min(mControlPointIndices.GetCount(), mControlPointWeights.GetCount());
        mControlPointIndices.SetCount(count);
        mControlPointWeights.SetCount(count);
    }
}

void KQoxLink::RemoveControlPointIndicesFrom(int pFirst)
{
    int kept = 0;
    for (int i = 0; i < mControlPointIndices.GetCount(); ++i)
        if (mControlPointIndices[i] < pFirst)
        {
            mControlPointIndices[kept] = mControlPointIndices[i];
            mControlPointWeights[kept] = mControlPointWeights[i];
            ++kept;
        }
    mControlPointIndices.SetCount(kept);
    mControlPointWeights.SetCount(kept);
}

KQoxLink& KQoxLink::operator=(const KQoxLink& pOther)
{
    if (&pOther == this)
        return *this;
    Reset();
    SetLink(pOther.mLink);
    SetAssociateModel(pOther.mAssociateModel);
    // A copy without associate model keeps the name the source kept.
    if (!pOther.mAssociateModel)
        mAssociateModelName = pOther.mAssociateModelName;
    SetUserData(pOther.mUserDataID, pOther.mUserData);
    SetLinkMode(pOther.mLinkMode);
    mTransformT = pOther.mTransformT;
    mTransformR = pOther.mTransformR;
    mTransformS = pOther.mTransformS;
    mTransformLinkT = pOther.mTransformLinkT;
    mTransformLinkR = pOther.mTransformLinkR;
    mTransformLinkS = pOther.mTransformLinkS;
    mTransformAssociateModelT = pOther.mTransformAssociateModelT;
    mTransformAssociateModelR = pOther.mTransformAssociateModelR;
    mTransformAssociateModelS = pOther.mTransformAssociateModelS;
    mTransformParentT = pOther.mTransformParentT;
    mTransformParentR = pOther.mTransformParentR;
    mTransformParentS = pOther.mTransformParentS;
    mTransformParentSet = pOther.mTransformParentSet;
    mControlPointIndices = pOther.mControlPointIndices;
    mControlPointWeights = pOther.mControlPointWeights;
    return *this;
}

KQoxLink& KQoxLink::operator=(const KQoxDeformer& pDeformer)
{
    Reset();
    if (pDeformer.GetDeformerType() != KQoxDeformer::eCLUSTER)
        return *this;
    SetLinkMode(pDeformer.GetLinkMode());
    SetUserData(pDeformer.GetUserDataID(), pDeformer.GetUserData());
    mControlPointIndices = pDeformer.GetControlPointIndices();
    mControlPointWeights = pDeformer.GetControlPointWeights();
    SetTransformMatrix(ToAffine(pDeformer.GetTransform()));
    SetTransformLinkMatrix(ToAffine(pDeformer.GetTransformLink()));
    SetTransformAssociateModelMatrix(ToAffine(pDeformer.GetTransformAssociateModel()));
    SetTransformParentMatrix(ToAffine(pDeformer.GetTransformParent()));
    mTransformParentSet = pDeformer.IsTransformParentSet();
    return *this;
}

} // namespace qoxsdk_600
