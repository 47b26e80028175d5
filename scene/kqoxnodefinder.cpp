#include "scene/kqoxnodefinder.h"

#include <vector>

#include "object/kplug.h"
#include "scene/attributes/kqoxgeometry.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxpropertybinding.h"

#include <cstdint>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnode_walk.h"
#include "scene/kqoxnodeattribute.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

KQoxNodeFinder::KQoxNodeFinder()
    : mSearchRoot(nullptr)
{}

KQoxNodeFinder::~KQoxNodeFinder() {}

KArrayTemplate<KQoxNode*>& KQoxNodeFinder::Apply(KQoxNode& root)
{
    mSearchRoot = &root;
    ApplyRecursive(root);
    return mFoundNodes;
}

void KQoxNodeFinder::ApplyRecursive(KQoxNode& node)
{
    KQoxWalkPreOrder(&node, [this](KQoxNode* current) {
        if (CheckNode(*current))
            mFoundNodes.Add(current);
        return true;
    });
}

// ---------------------------------------------------------------------------
// Bad scale

KQoxNodeFinderBadScale::KQoxNodeFinderBadScale()
    : mCheckBoneScale(true)
    , mCheckNegativeScale(true)
    , mCheckNonUniformScale(true)
    , mEpsilon(2.220446049250313e-16)
{
    mSamplingPeriod.SetSecondDouble(0.041666666666666664);
}

KQoxNodeFinderBadScale::~KQoxNodeFinderBadScale() {}

void KQoxNodeFinderBadScale::Reset()
{
    mBoneScaleStatic.Clear();
    mBoneScaleAnimated.Clear();
    mNegativeScaleStatic.Clear();
    mNegativeScaleAnimated.Clear();
    mNonUniformScaleStatic.Clear();
    mNonUniformScaleAnimated.Clear();
    ResetFound();
}

bool KQoxNodeFinderBadScale::CheckNode(KQoxNode& node)
{
    const bool boneSwitch = mCheckBoneScale;
    if (mCheckBoneScale)
        mCheckBoneScale =
            node.GetNodeAttribute() && node.GetNodeAttribute()->GetAttributeType() == KQoxNodeAttribute::eSKELETON;
    bool found = false;
    KQoxTakeNode* defaultTake = node.GetDefaultTakeNode();
    if (defaultTake && defaultTake->GetKFCurveNode())
        found = CheckKFCurveNode(node, *defaultTake->GetKFCurveNode(), mBoneScaleStatic, mNegativeScaleStatic,
                                 mNonUniformScaleStatic);
    KQoxTakeNode* currentTake = node.GetCurrentTakeNode();
    if (currentTake && currentTake != defaultTake && currentTake->GetKFCurveNode())
        found = CheckKFCurveNode(node, *currentTake->GetKFCurveNode(), mBoneScaleAnimated, mNegativeScaleAnimated,
                                 mNonUniformScaleAnimated) ||
                found;
    mCheckBoneScale = boneSwitch;
    return found;
}

bool KQoxNodeFinderBadScale::CheckKFCurveNode(KQoxNode& node, KFCurveNode& curveNode, KArrayTemplate<KQoxNode*>& bone,
                                              KArrayTemplate<KQoxNode*>& negative,
                                              KArrayTemplate<KQoxNode*>& nonUniform)
{
    KFCurve* curves[3];
    GetCurve(curveNode, curves);
    switch (CheckCurve(curves))
    {
    case eBONE_SCALE:
        if (node.GetChildCount(false) == 0)
            return false;
        bone.Add(&node);
        return true;
    case eNEGATIVE_SCALE: negative.Add(&node); return true;
    case eNON_UNIFORM_SCALE:
        if (node.GetChildCount(false) == 0)
            return false;
        nonUniform.Add(&node);
        return true;
    default: return false;
    }
}

void KQoxNodeFinderBadScale::GetCurve(KFCurveNode& curveNode, KFCurve** curves)
{
    curves[0] = curves[1] = curves[2] = nullptr;
    KFCurveNode* scaling = curveNode.FindRecursive("S");
    if (!scaling)
        return;
    static const char* const kAxes[3] = {"X", "Y", "Z"};
    for (int i = 0; i < 3; ++i)
    {
        const int index = scaling->Find(kAxes[i]);
        KFCurveNode* component = index >= 0 ? scaling->Get(index) : nullptr;
        curves[i] = component ? component->FCurveGet() : nullptr;
    }
}

int KQoxNodeFinderBadScale::CheckCurve(KFCurve** curves)
{
    double values[3];
    int count = 0;
    for (int i = 0; i < 3; ++i)
        if (curves[i])
            values[count++] = curves[i]->GetValue();
    if (int code = CheckValue(values, count))
        return code;

    KTime start = KTIME_INFINITE;
    KTime stop = KTIME_MINUS_INFINITE;
    for (int i = 0; i < 3; ++i)
    {
        KFCurve* curve = curves[i];
        if (!curve || curve->KeyGetCount() == 0)
            continue;
        if (curve->KeyGetTime(0) < start)
            start = curve->KeyGetTime(0);
        if (stop < curve->KeyGetTime(curve->KeyGetCount() - 1))
            stop = curve->KeyGetTime(curve->KeyGetCount() - 1);
    }
    if (stop < start)
        return eNO_PROBLEM;

    // The span is taken as an unsigned difference, exact for any two tick
    // counts; a span too long for the sampling limit widens the period, so
    // the walk stays bounded and never steps past the last key.
    const uint64_t span = static_cast<uint64_t>(stop.Get()) - static_cast<uint64_t>(start.Get());
    uint64_t period = mSamplingPeriod.Get() > 0 ? static_cast<uint64_t>(mSamplingPeriod.Get()) : 1;
    if (span / period >= static_cast<uint64_t>(kMaxSamples))
        period = span / static_cast<uint64_t>(kMaxSamples - 1) + 1;

    bool boneSeen = false;
    bool nonUniformSeen = false;
    uint64_t offset = 0;
    for (;;)
    {
        const KTime t(static_cast<long long>(static_cast<uint64_t>(start.Get()) + offset));
        count = 0;
        for (int i = 0; i < 3; ++i)
            if (curves[i])
                values[count++] = curves[i]->Evaluate(t, nullptr);
        switch (CheckValue(values, count))
        {
        case eBONE_SCALE: boneSeen = true; break;
        case eNEGATIVE_SCALE: return eNEGATIVE_SCALE;
        case eNON_UNIFORM_SCALE: nonUniformSeen = true; break;
        default: break;
        }
        if (span - offset < period)
            break;
        offset += period;
    }
    return nonUniformSeen ? eNON_UNIFORM_SCALE : boneSeen ? eBONE_SCALE : eNO_PROBLEM;
}

int KQoxNodeFinderBadScale::CheckValue(double* values, int count)
{
    if (count <= 0)
        return eNO_PROBLEM;
    const double first = values[0];
    for (int i = 0; i < count; ++i)
    {
        const double v = values[i];
        if (mCheckBoneScale && (v < 1.0 - mEpsilon || v > 1.0 + mEpsilon))
            return eBONE_SCALE;
        if (mCheckNegativeScale && v < 0.0)
            return eNEGATIVE_SCALE;
        if (mCheckNonUniformScale && (v < first - mEpsilon || v > first + mEpsilon))
            return eNON_UNIFORM_SCALE;
    }
    return eNO_PROBLEM;
}

// ---------------------------------------------------------------------------
// Duplicate names

KQoxNodeFinderDuplicateName::KQoxNodeFinderDuplicateName(KQoxEntity* entity)
    : mStates{true, false, false, false, true}
    , mEntity(entity)
{}

KQoxNodeFinderDuplicateName::~KQoxNodeFinderDuplicateName() {}

void KQoxNodeFinderDuplicateName::Reset()
{
    mNodes.Clear();
    mDuplicateNodes.Clear();
    mMaterials.Clear();
    mDuplicateMaterials.Clear();
    mTextures.Clear();
    mDuplicateTextures.Clear();
    mVideos.Clear();
    mDuplicateVideos.Clear();
    mGenericNodes.Clear();
    mDuplicateGenericNodes.Clear();
    mNodesMetSet.clear();
    mNodeNamesMet.clear();
    ResetFound();
}

bool KQoxNodeFinderDuplicateName::GetState(int index) const
{
    return index >= 0 && index < eSTATE_COUNT ? mStates[index] : false;
}

void KQoxNodeFinderDuplicateName::SetState(int index, bool on)
{
    if (index >= 0 && index < eSTATE_COUNT)
        mStates[index] = on;
}

void KQoxNodeFinderDuplicateName::ApplyRecursive(KQoxNode& node)
{
    // The entity's tree does not change during one walk: its names are
    // gathered once, at the first use of each walk.
    mEntityTreeNamesValid = false;
    KQoxNodeFinder::ApplyRecursive(node);
}

const std::unordered_set<std::string>& KQoxNodeFinderDuplicateName::EntityTreeNames()
{
    if (!mEntityTreeNamesValid)
    {
        mEntityTreeNames.clear();
        KQoxNode* root = mEntity ? mEntity->GetRootNode() : nullptr;
        KQoxWalkPreOrder(root, [this, root](KQoxNode* node) {
            if (node != root)
                mEntityTreeNames.insert(node->GetName());
            return true;
        });
        mEntityTreeNamesValid = true;
    }
    return mEntityTreeNames;
}

bool KQoxNodeFinderDuplicateName::CheckNode(KQoxNode& node)
{
    bool clash = CheckNodeName(node);
    if (KQoxGeometry* geometry = dynamic_cast<KQoxGeometry*>(node.GetNodeAttribute()))
    {
        clash = CheckMaterialName(geometry) || clash;
        clash = CheckTextureName(geometry) || clash;
        clash = CheckVideoName(geometry) || clash;
    }
    return clash;
}

namespace {

// One kind of object checked by name: the switch, the entity's list and the
// finder's arrays of met and duplicate objects.
struct KNamedKind
{
    bool mSwitch;
    int (KQoxEntity::*mCount)() const;
    KQoxObject* (KQoxEntity::*mGet)(int);
    KArrayTemplate<KQoxObject*>& mMet;
    KArrayTemplate<KQoxObject*>& mDuplicates;
};

// Checks the objects in order. The clash flag, once set, stays set for the
// later objects of the same call, which then skip the comparison with the
// objects met.
bool CheckNamedObjects(const std::vector<KQoxObject*>& objects, KQoxEntity* entity, KNamedKind kind)
{
    bool clash = false;
    for (KQoxObject* object : objects)
    {
        if (!kind.mSwitch)
        {
            kind.mMet.Add(object);
            continue;
        }
        const KString name(object->GetName());
        if (entity)
        {
            const int count = (entity->*kind.mCount)();
            for (int i = 0; i < count; ++i)
            {
                KQoxObject* other = (entity->*kind.mGet)(i);
                if (other && name.Compare(other->GetName()) == 0)
                {
                    kind.mDuplicates.Add(object);
                    clash = true;
                    break;
                }
            }
        }
        if (!clash)
            for (int i = 0; i < kind.mMet.GetCount(); ++i)
                if (name.Compare(kind.mMet[i]->GetName()) == 0)
                {
                    kind.mDuplicates.Add(object);
                    clash = true;
                    break;
                }
        if (kind.mMet.Find(object) < 0)
            kind.mMet.Add(object);
    }
    return clash;
}

// The non-null direct entries of the geometry's materials or textures
// elements that are not in index mode, layer by layer.
template <class Element>
std::vector<KQoxObject*> DirectObjects(KQoxGeometry* geometry, Element* (KQoxLayer::*element)() const)
{
    std::vector<KQoxObject*> objects;
    for (int i = 0; i < geometry->GetLayerCount(); ++i)
    {
        Element* found = (geometry->GetLayer(i)->*element)();
        if (!found || found->mReferenceMode == KQoxLayerElement::eINDEX)
            continue;
        for (int k = 0; k < found->mDirectArray.GetCount(); ++k)
            if (found->mDirectArray[k])
                objects.push_back(found->mDirectArray[k]);
    }
    return objects;
}

} // namespace

bool KQoxNodeFinderDuplicateName::CheckMaterialName(KQoxGeometry* geometry)
{
    if (!geometry)
        return false;
    return CheckNamedObjects(DirectObjects(geometry, &KQoxLayer::GetMaterials), mEntity,
                             {mStates[eMATERIAL_NAME], &KQoxEntity::GetMaterialCount,
                              static_cast<KQoxObject* (KQoxEntity::*)(int)>(&KQoxEntity::GetMaterial), mMaterials,
                              mDuplicateMaterials});
}

bool KQoxNodeFinderDuplicateName::CheckTextureName(KQoxGeometry* geometry)
{
    if (!geometry)
        return false;
    return CheckNamedObjects(DirectObjects(geometry, &KQoxLayer::GetTextures), mEntity,
                             {mStates[eTEXTURE_NAME], &KQoxEntity::GetTextureCount,
                              static_cast<KQoxObject* (KQoxEntity::*)(int)>(&KQoxEntity::GetTexture), mTextures,
                              mDuplicateTextures});
}

bool KQoxNodeFinderDuplicateName::CheckVideoName(KQoxGeometry* geometry)
{
    if (!geometry)
        return false;
    // A texture's video is the object behind the first source of its block.
    std::vector<KQoxObject*> videos;
    for (KQoxObject* texture : DirectObjects(geometry, &KQoxLayer::GetTextures))
    {
        KPlug* block = texture->GetPropertyHandler();
        if (!block || block->GetSrcCount() < 1)
            continue;
        if (KQoxObject* video = GetKQoxObjectOfPlug(block->GetSrc(0)))
            videos.push_back(video);
    }
    return CheckNamedObjects(videos, mEntity,
                             {mStates[eVIDEO_NAME], &KQoxEntity::GetVideoCount,
                              static_cast<KQoxObject* (KQoxEntity::*)(int)>(&KQoxEntity::GetVideo), mVideos,
                              mDuplicateVideos});
}

bool KQoxNodeFinderDuplicateName::CheckNodeName(KQoxNode& node)
{
    if (!mStates[eNODE_NAME])
    {
        mNodes.Add(&node);
        mNodesMetSet.insert(&node);
        mNodeNamesMet.insert(node.GetName());
        return false;
    }
    std::string name = node.GetName();
    bool clash = mEntity && mEntity->GetRootNode() && EntityTreeNames().count(name);
    // A node met for the first time adds its name: the name was met before
    // exactly when it is there already (one hash lookup for both).
    if (mNodesMetSet.insert(&node).second)
    {
        mNodes.Add(&node);
        clash = !mNodeNamesMet.insert(std::move(name)).second || clash;
    }
    else if (!clash)
        clash = mNodeNamesMet.count(name) > 0;
    if (clash)
        mDuplicateNodes.Add(&node);
    return clash;
}

bool KQoxNodeFinderDuplicateName::CheckGenericNodeName(const char* name)
{
    if (!name || !mStates[eGENERIC_NODE_NAME])
        return false;
    const KString text(name);
    if (mEntity)
    {
        const int count = mEntity->GetGenericNodeCount();
        for (int i = 0; i < count; ++i)
        {
            KQoxObject* generic = mEntity->GetGenericNode(i);
            if (generic && text.Compare(generic->GetName()) == 0)
            {
                mDuplicateGenericNodes.Add(generic);
                return true;
            }
        }
    }
    for (int i = 0; i < mGenericNodes.GetCount(); ++i)
    {
        KQoxObject* generic = mGenericNodes[i];
        if (generic && text.Compare(generic->GetName()) == 0)
        {
            mDuplicateGenericNodes.Add(generic);
            return true;
        }
    }
    return false;
}

} // namespace qoxsdk_600
