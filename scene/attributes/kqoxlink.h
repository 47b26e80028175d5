#ifndef QOX_SCENE_ATTRIBUTES_KQOXLINK_H
#define QOX_SCENE_ATTRIBUTES_KQOXLINK_H

// KQoxLink: a skin link. It binds control points of one geometry (indices
// with weights) to a node (the bone), says how its weights combine with the
// other links of the geometry, and keeps the reference transforms in force
// when the binding was made (link, linked node, associate model and parent,
// each as translation, rotation in degrees and scaling).
//
// Links are made and destroyed by the SDK manager; a geometry lists them. A
// link never owns the nodes it names. The version-6 form of a link is the
// cluster deformer (KQoxDeformer).

#include "base/karray.h"
#include "base/kmath_types.h"
#include "base/kstring.h"

namespace qoxsdk_600 {

class KQoxDeformer;
class KQoxNode;

class KQoxLink
{
public:
    // How this link's weights combine with the others'. The file text of 1 is
    // "Additive", of 2 "Total1"; 0 has no text.
    typedef enum : int
    {
        eNORMALIZE = 0,
        eADDITIVE = 1,
        eTOTAL1 = 2
    } ELinkMode;

    KQoxLink();
    virtual ~KQoxLink();
    KQoxLink(const KQoxLink&) = delete;

    // No node, mode 1, empty names and user data, every T and R (0, 0, 0, 1),
    // every S (1, 1, 1, 1), parent not set, no control points.
    void Reset();

    // A null node is ignored; else the node and a copy of its current name.
    void SetLink(KQoxNode* pNode);
    KQoxNode* GetLink() const { return mLink; }
    // The name taken when the node was set.
    KString GetLinkName() const { return mLinkName; }
    void SetAssociateModel(KQoxNode* pNode);
    KQoxNode* GetAssociateModel() const { return mAssociateModel; }
    // Refreshed from the associate model's current name when there is one.
    KString GetAssociateModelName();

    void SetUserData(KString pUserDataID, KString pUserData);
    KString GetUserDataID() const { return mUserDataID; }
    KString GetUserData() const { return mUserData; }
    // The value when the id matches the stored one without regard to case;
    // else empty.
    KString GetUserData(KString pUserDataID) const;

    void SetLinkMode(ELinkMode pMode) { mLinkMode = pMode; }
    ELinkMode GetLinkMode() const { return mLinkMode; }
    // "Additive", "Total1", or null for any other mode (no text stored).
    static const char* LinkModeToken(int pMode);

    void SetTransformT(const KQoxVector4& pT) { mTransformT = pT; }
    void SetTransformR(const KQoxVector4& pR) { mTransformR = pR; }
    void SetTransformS(const KQoxVector4& pS) { mTransformS = pS; }
    void SetTransformLinkT(const KQoxVector4& pT) { mTransformLinkT = pT; }
    void SetTransformLinkR(const KQoxVector4& pR) { mTransformLinkR = pR; }
    void SetTransformLinkS(const KQoxVector4& pS) { mTransformLinkS = pS; }
    void SetTransformAssociateModelT(const KQoxVector4& pT) { mTransformAssociateModelT = pT; }
    void SetTransformAssociateModelR(const KQoxVector4& pR) { mTransformAssociateModelR = pR; }
    void SetTransformAssociateModelS(const KQoxVector4& pS) { mTransformAssociateModelS = pS; }
    // These three also mark the parent transform as set.
    void SetTransformParentT(const KQoxVector4& pT);
    void SetTransformParentR(const KQoxVector4& pR);
    void SetTransformParentS(const KQoxVector4& pS);
    bool IsTransformParentSet() const { return mTransformParentSet; }

    KQoxVector4& GetTransformT(KQoxVector4& pT) const { return pT = mTransformT; }
    KQoxVector4& GetTransformR(KQoxVector4& pR) const { return pR = mTransformR; }
    KQoxVector4& GetTransformS(KQoxVector4& pS) const { return pS = mTransformS; }
    KQoxVector4& GetTransformLinkT(KQoxVector4& pT) const { return pT = mTransformLinkT; }
    KQoxVector4& GetTransformLinkR(KQoxVector4& pR) const { return pR = mTransformLinkR; }
    KQoxVector4& GetTransformLinkS(KQoxVector4& pS) const { return pS = mTransformLinkS; }
    KQoxVector4& GetTransformAssociateModelT(KQoxVector4& pT) const { return pT = mTransformAssociateModelT; }
    KQoxVector4& GetTransformAssociateModelR(KQoxVector4& pR) const { return pR = mTransformAssociateModelR; }
    KQoxVector4& GetTransformAssociateModelS(KQoxVector4& pS) const { return pS = mTransformAssociateModelS; }
    KQoxVector4& GetTransformParentT(KQoxVector4& pT) const { return pT = mTransformParentT; }
    KQoxVector4& GetTransformParentR(KQoxVector4& pR) const { return pR = mTransformParentR; }
    KQoxVector4& GetTransformParentS(KQoxVector4& pS) const { return pS = mTransformParentS; }

    // Decompose the matrix into rotation, translation and scaling.
    void SetTransformMatrix(const KQoxXMatrix& pMatrix);
    void SetTransformLinkMatrix(const KQoxXMatrix& pMatrix);
    void SetTransformAssociateModelMatrix(const KQoxXMatrix& pMatrix);
    // Also marks the parent transform as set.
    void SetTransformParentMatrix(const KQoxXMatrix& pMatrix);
    // Rebuild the matrix from the stored T, R and S.
    KQoxXMatrix& GetTransformMatrix(KQoxXMatrix& pMatrix) const;
    KQoxXMatrix& GetTransformLinkMatrix(KQoxXMatrix& pMatrix) const;
    KQoxXMatrix& GetTransformAssociateModelMatrix(KQoxXMatrix& pMatrix) const;
    KQoxXMatrix& GetTransformParentMatrix(KQoxXMatrix& pMatrix) const;

    int GetControlPointIndicesCount() const { return mControlPointIndices.GetCount(); }
    // A negative index is ignored; else index and weight are appended.
    void AddControlPointIndex(int pIndex, double pWeight);
    // Entries may be changed in place, not the length.
    int* GetControlPointIndices() const { return mControlPointIndices.GetArray(); }
    double* GetControlPointWeights() const { return mControlPointWeights.GetArray(); }
    // Drops the pairs whose index is pFirst or more; the others keep their order.
    void RemoveControlPointIndicesFrom(int pFirst);

    // Copies everything (the parent flag as it is).
    KQoxLink& operator=(const KQoxLink& pOther);
    // Fills the link from a cluster deformer: mode, user data, indices,
    // weights and the four transforms; nodes stay unset. A skin deformer
    // leaves the link reset.
    KQoxLink& operator=(const KQoxDeformer& pDeformer);

private:
    KQoxNode* mLink;
    KString mLinkName;
    ELinkMode mLinkMode;
    KQoxNode* mAssociateModel;
    KString mAssociateModelName;
    KString mUserDataID;
    KString mUserData;
    KQoxVector4 mTransformT, mTransformR, mTransformS;
    KQoxVector4 mTransformLinkT, mTransformLinkR, mTransformLinkS;
    KQoxVector4 mTransformAssociateModelT, mTransformAssociateModelR, mTransformAssociateModelS;
    bool mTransformParentSet;
    KQoxVector4 mTransformParentT, mTransformParentR, mTransformParentS;
    KArrayTemplate<int> mControlPointIndices;    // grows 256 at a time
    KArrayTemplate<double> mControlPointWeights; // grows 256 at a time
};

} // namespace qoxsdk_600

#endif
