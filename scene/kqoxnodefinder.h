#ifndef QOX_SCENE_KQOXNODEFINDER_H
#define QOX_SCENE_KQOXNODEFINDER_H

// Node finders: walk a node tree depth first (the node, then its children in
// order), ask a check of each node and collect the nodes it accepts.
//
// KQoxNodeFinderBadScale reports scaled bones, negative and non-uniform
// scaling, on the default take (static) and the current take (animated).
// KQoxNodeFinderDuplicateName collects name clashes of nodes (and of the
// shading objects their geometry uses) against what the walk met before and
// against an entity. Finders own only their result arrays.

#include <string>
#include <unordered_set>

#include "base/karray.h"
#include "base/ktime.h"

class KFCurve;
class KFCurveNode;

namespace qoxsdk_600 {

class KQoxEntity;
class KQoxNode;
class KQoxGeometry;
class KQoxObject;

class KQoxNodeFinder
{
public:
    KQoxNodeFinder();
    virtual ~KQoxNodeFinder();

    KQoxNodeFinder(const KQoxNodeFinder&) = delete;
    KQoxNodeFinder& operator=(const KQoxNodeFinder&) = delete;

    // Walks the tree under root and returns the accepted nodes so far; earlier
    // results stay until Reset.
    KArrayTemplate<KQoxNode*>& Apply(KQoxNode& root);
    // Empties the results.
    virtual void Reset() = 0;

protected:
    virtual void ApplyRecursive(KQoxNode& node);
    virtual bool CheckNode(KQoxNode& node) = 0;
    void ResetFound() { mFoundNodes.Clear(); }

    KQoxNode* mSearchRoot;
    KArrayTemplate<KQoxNode*> mFoundNodes;
};

class KQoxNodeFinderBadScale : public KQoxNodeFinder
{
public:
    // Results of CheckCurve.
    enum
    {
        eNO_PROBLEM = 0,
        eBONE_SCALE = 1,
        eNEGATIVE_SCALE = 2,
        eNON_UNIFORM_SCALE = 3
    };
    // The sampling of one take's curves stops after this many samples; the
    // period grows to cover the whole key span within them.
    static const long long kMaxSamples = 1000000;

    KQoxNodeFinderBadScale();
    ~KQoxNodeFinderBadScale() override;

    void Reset() override;

    bool GetCheckBoneScale() const { return mCheckBoneScale; }
    void SetCheckBoneScale(bool check) { mCheckBoneScale = check; }
    bool GetCheckNegativeScale() const { return mCheckNegativeScale; }
    void SetCheckNegativeScale(bool check) { mCheckNegativeScale = check; }
    bool GetCheckNonUniformScale() const { return mCheckNonUniformScale; }
    void SetCheckNonUniformScale(bool check) { mCheckNonUniformScale = check; }
    double GetEpsilon() const { return mEpsilon; }
    void SetEpsilon(double epsilon) { mEpsilon = epsilon; }
    // The period between samples of animated curves (1/24 s by default).
    KTime GetSamplingPeriod() const { return mSamplingPeriod; }
    void SetSamplingPeriod(KTime period) { mSamplingPeriod = period; }

    KArrayTemplate<KQoxNode*>& BoneScaleStaticNodeArray() { return mBoneScaleStatic; }
    KArrayTemplate<KQoxNode*>& BoneScaleAnimatedNodeArray() { return mBoneScaleAnimated; }
    KArrayTemplate<KQoxNode*>& NegativeScaleStaticNodeArray() { return mNegativeScaleStatic; }
    KArrayTemplate<KQoxNode*>& NegativeScaleAnimatedNodeArray() { return mNegativeScaleAnimated; }
    KArrayTemplate<KQoxNode*>& NonUniformScaleStaticNodeArray() { return mNonUniformScaleStatic; }
    KArrayTemplate<KQoxNode*>& NonUniformScaleAnimatedNodeArray() { return mNonUniformScaleAnimated; }

    bool CheckNode(KQoxNode& node) override;
    bool CheckKFCurveNode(KQoxNode& node, KFCurveNode& curveNode, KArrayTemplate<KQoxNode*>& bone,
                          KArrayTemplate<KQoxNode*>& negative, KArrayTemplate<KQoxNode*>& nonUniform);
    // The curves of "S" > "X", "Y", "Z" under curveNode (null when missing).
    void GetCurve(KFCurveNode& curveNode, KFCurve** curves);
    int CheckCurve(KFCurve** curves);
    int CheckValue(double* values, int count);

private:
    KTime mSamplingPeriod;
    bool mCheckBoneScale;
    KArrayTemplate<KQoxNode*> mBoneScaleStatic;
    KArrayTemplate<KQoxNode*> mBoneScaleAnimated;
    bool mCheckNegativeScale;
    KArrayTemplate<KQoxNode*> mNegativeScaleStatic;
    KArrayTemplate<KQoxNode*> mNegativeScaleAnimated;
    bool mCheckNonUniformScale;
    KArrayTemplate<KQoxNode*> mNonUniformScaleStatic;
    KArrayTemplate<KQoxNode*> mNonUniformScaleAnimated;
    double mEpsilon;
};

class KQoxNodeFinderDuplicateName : public KQoxNodeFinder
{
public:
    // Check switches.
    enum
    {
        eNODE_NAME = 0,
        eMATERIAL_NAME = 1,
        eTEXTURE_NAME = 2,
        eVIDEO_NAME = 3,
        eGENERIC_NODE_NAME = 4,
        eSTATE_COUNT = 5
    };

    // Compares against entity too when it is not null (not owned).
    explicit KQoxNodeFinderDuplicateName(KQoxEntity* entity);
    ~KQoxNodeFinderDuplicateName() override;

    void Reset() override;
    // Switches 0 to 4; other indices read false and set nothing.
    bool GetState(int index) const;
    void SetState(int index, bool on);

    KArrayTemplate<KQoxNode*>& GetNodeArray() { return mNodes; }
    KArrayTemplate<KQoxNode*>& GetDuplicateNodeArray() { return mDuplicateNodes; }
    KArrayTemplate<KQoxObject*>& GetMaterialArray() { return mMaterials; }
    KArrayTemplate<KQoxObject*>& GetDuplicateMaterialArray() { return mDuplicateMaterials; }
    KArrayTemplate<KQoxObject*>& GetTextureArray() { return mTextures; }
    KArrayTemplate<KQoxObject*>& GetDuplicateTextureArray() { return mDuplicateTextures; }
    KArrayTemplate<KQoxObject*>& GetVideoArray() { return mVideos; }
    KArrayTemplate<KQoxObject*>& GetDuplicateVideoArray() { return mDuplicateVideos; }
    KArrayTemplate<KQoxObject*>& GetGenericNodeArray() { return mGenericNodes; }
    KArrayTemplate<KQoxObject*>& GetDuplicateGenericNodeArray() { return mDuplicateGenericNodes; }

    // A name clash of a generic node against the entity, then against the
    // generic nodes met; the clashing one is recorded. Not used by the walk.
    bool CheckGenericNodeName(const char* name);

    bool CheckNode(KQoxNode& node) override;
    bool CheckNodeName(KQoxNode& node);
    // Name clashes of the materials, textures (and their videos) that the
    // direct arrays of a geometry's layers hold; index-mode elements are not
    // examined. Null for a node without geometry.
    bool CheckMaterialName(KQoxGeometry* geometry);
    bool CheckTextureName(KQoxGeometry* geometry);
    bool CheckVideoName(KQoxGeometry* geometry);

protected:
    void ApplyRecursive(KQoxNode& node) override;

private:
    // Names in the entity root's subtree (the root excluded), gathered once
    // per walk.
    const std::unordered_set<std::string>& EntityTreeNames();

    bool mStates[eSTATE_COUNT];
    KArrayTemplate<KQoxNode*> mNodes;
    KArrayTemplate<KQoxNode*> mDuplicateNodes;
    KArrayTemplate<KQoxObject*> mMaterials;
    KArrayTemplate<KQoxObject*> mDuplicateMaterials;
    KArrayTemplate<KQoxObject*> mTextures;
    KArrayTemplate<KQoxObject*> mDuplicateTextures;
    KArrayTemplate<KQoxObject*> mVideos;
    KArrayTemplate<KQoxObject*> mDuplicateVideos;
    KArrayTemplate<KQoxObject*> mGenericNodes;
    KArrayTemplate<KQoxObject*> mDuplicateGenericNodes;
    KQoxEntity* mEntity;

    // Hash views of the nodes met, kept in step with mNodes (which callers
    // may read but not change).
    std::unordered_set<const KQoxNode*> mNodesMetSet;
    std::unordered_set<std::string> mNodeNamesMet;
    std::unordered_set<std::string> mEntityTreeNames;
    bool mEntityTreeNamesValid = false;
};

} // namespace qoxsdk_600

#endif
