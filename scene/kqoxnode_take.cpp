// Node channels, takes, copy and entity membership.

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <new>
#include <strings.h>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvegroup.h"
#include "fcurve/kfcurvenode.h"
#include "object/kpropertydatatype.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxcameraswitcher.h"
#include "scene/attributes/kqoxgeometry.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmarker.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxpatch.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/attributes/kqoxnull.h"
#include "scene/attributes/kqoxopticalreference.h"
#include "scene/attributes/kqoxskeleton.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnode_channels.h"
#include "scene/kqoxnode_walk.h"
#include "scene/kqoxnodeattribute.h"
#include "scene/kqoxnodefinder.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

namespace {

// One vector channel ("T", "R" or "S") with its three component curves,
// added under parent. Each node is placed before its curve is registered:
// out of memory (std::bad_alloc) no channel lacks a member and no
// registered curve is destroyed.
void AddVectorChannel(KFCurveNode* parent, const char* name, KDataType* dataType, int layerType,
                      const KgeTVector& value, KProperty* property, bool defaultTake, KQoxTakeNodeContainer& container)
{
    static const char* const kAxes[3] = {"X", "Y", "Z"};
    KFCurveNode* channel = KFCurveNodeCreate(name, dataType, layerType, 0);
    KFCurveNodeAdopt(parent, channel);
    for (int i = 0; i < 3; ++i)
    {
        KFCurveNode* component = KFCurveNodeCreate(kAxes[i], static_cast<KDataType*>(nullptr), KFCL_NOLAYER, 0);
        KFCurve* curve = KFCurveCreate();
        component->FCurveSet(curve);
        curve->SetValue(static_cast<float>(value[i]));
        float color[3] = {i == 0 ? 1.0f : 0.0f, i == 1 ? 1.0f : 0.0f, i == 2 ? 1.0f : 0.0f};
        curve->SetColor(color);
        KFCurveNodeAdopt(channel, component);
        if (defaultTake && property)
            container.RegisterDefaultTakeCallback(property, i, curve);
    }
}

KgeTVector ReadVector(KProperty* property, double start)
{
    KgeTVector value(start, start, start, 1.0);
    if (property)
        property->GetData(&value, 0, nullptr, nullptr);
    return value;
}

bool IsChannelName(const char* name)
{
    static const char* const kChannels[] = {"Lcl Translation", "Lcl Rotation", "Lcl Scaling", "Visibility"};
    for (const char* channel : kChannels)
        if (strcmp(name ? name : "", channel) == 0)
            return true;
    return false;
}

// "Transform" with "T", "R" and "S" (three members each), then
// "Visibility", under the root of a take.
void AddTransformChannels(KFCurveNode* root, KQoxNodeProperties& p, bool defaultTake, KQoxTakeNodeContainer& container)
{
    // One block holds them, their curves and children arrays, and the
    // root's array when this makes it.
    const size_t vectorBytes = KFCurveGroupScope::NodeBytes() + KFCurveGroupScope::ChildrenBytes(3) +
                               3 * (KFCurveGroupScope::NodeBytes() + KFCurveGroupScope::CurveBytes());
    KFCurveGroupScope group(2 * KFCurveGroupScope::NodeBytes() + KFCurveGroupScope::ChildrenBytes(3) + 3 * vectorBytes +
                            KFCurveGroupScope::CurveBytes() +
                            (root->GetCount() == 0 ? KFCurveGroupScope::ChildrenBytes(2) : 0));
    KFCurveNode* transform = KFCurveNodeCreate("Transform", static_cast<KDataType*>(nullptr), KFCL_NOLAYER, 0);
    KFCurveNodeAdopt(root, transform);

    AddVectorChannel(transform, "T", KDataTypeLclTranslation, KFCL_ADD, ReadVector(p.mLclTranslation, 0.0),
                     p.mLclTranslation, defaultTake, container);
    AddVectorChannel(transform, "R", KDataTypeLclRotation, KFCL_EULER_XYZ, ReadVector(p.mLclRotation, 0.0),
                     p.mLclRotation, defaultTake, container);
    AddVectorChannel(transform, "S", KDataTypeLclScaling, KFCL_MULT, ReadVector(p.mLclScaling, 1.0), p.mLclScaling,
                     defaultTake, container);

    KFCurveNode* visibility = KFCurveNodeCreate("Visibility", KDataTypeVisibility, KFCL_ADD, 0);
    KFCurve* curve = KFCurveCreate();
    visibility->FCurveSet(curve);
    curve->SetValue(static_cast<float>(p.mVisibility ? p.mVisibility->AsDouble() : 1.0));
    float red[3] = {0.75f, 0.0f, 0.0f};
    curve->SetColor(red);
    KFCurveNodeAdopt(root, visibility);
    if (defaultTake && p.mVisibility)
        container.RegisterDefaultTakeCallback(p.mVisibility, 0, curve);
}

} // namespace

void KQoxNode::InitTakes()
{
    // The Default take is owed when its channels are the four transform and
    // visibility channels alone: their values are kept until it is built.
    // Read through the descriptors, so that rows not made stay so.
    KQoxNodeProperties& p = *mProperties;
    const int count = p.GetPropertyCount();
    const bool rowsMayBeAnimatable = p.DeferredRowsMayBeAnimatable();
    for (int i = 0; i < count; ++i)
    {
        const KProperty* made = p.GetPropertyIfMade(i);
        if (!made && !rowsMayBeAnimatable)
            continue;
        const KPropertyInfo& info = p.ReadPropertyInfoAt(i);
        if ((info.GetFlags() & KPropertyInfo::eAnimatable) && !IsChannelName(info.mName))
        {
            Init();
            return;
        }
    }
    InitOnRequest();
    for (KProperty* property : {p.mLclTranslation, p.mLclRotation, p.mLclScaling, p.mVisibility})
        RememberDefaultValues(property);
}

bool KQoxNode::KeepDefaultValuesOfProperties()
{
    // The owed take holds the four channels alone (no attribute gave any):
    // "Transform" with "T", "R" and "S", each with "X", "Y" and "Z", then
    // "Visibility". A property name finds one of them when it matches a name
    // in any case; each one found must be the channel of its own property.
    if (mNodeAttribute && mNodeAttribute != mChannellessAttribute)
        return false;
    static const char* const kChannelNames[] = {"Transform", "T", "X", "Y", "Z", "R", "S", "Visibility"};
    KQoxNodeProperties& p = *mProperties;
    const struct
    {
        KProperty* mProperty;
        const char* mChannel;
    } own[] = {{p.mLclTranslation, "T"}, {p.mLclRotation, "R"}, {p.mLclScaling, "S"}, {p.mVisibility, "Visibility"}};
    // Most names match none: a first letter that begins no channel name, or
    // a second letter where the name should end, tells it before any compare.
    auto isChannelName = [](const char* propertyName, const char*& channel) {
        channel = nullptr;
        // Only names beginning with 'L' have an effective name of their own.
        const char* name = propertyName[0] == 'L' ? GetEffectivePropertyName(propertyName) : propertyName;
        const bool single = name[1] == 0;
        char first = 0;
        switch (name[0])
        {
        case 'T':
        case 't': first = 't'; break;
        case 'V':
        case 'v': first = 'v'; break;
        case 'X':
        case 'x':
        case 'Y':
        case 'y':
        case 'Z':
        case 'z':
        case 'R':
        case 'r':
        case 'S':
        case 's':
            if (!single)
                return false;
            first = static_cast<char>(std::tolower(static_cast<unsigned char>(name[0])));
            break;
        default: return false;
        }
        for (const char* known : kChannelNames)
            if ((known[1] == 0) == single && std::tolower(static_cast<unsigned char>(known[0])) == first &&
                strcasecmp(name, known) == 0)
            {
                channel = known;
                break;
            }
        return channel != nullptr;
    };
    auto isOwnChannel = [&](KProperty* property, const char* channel) {
        for (const auto& entry : own)
            if (entry.mProperty == property && std::strcmp(entry.mChannel, channel) == 0)
                return true;
        return false;
    };
    // The table's rows by their descriptors first, so that a row is made
    // only when its name is a channel's; then the attribute's properties.
    // Each one found is one of the four channels; remembering one twice
    // changes nothing, so each is kept once, in the order first found.
    KProperty* found[4] = {};
    int foundCount = 0;
    auto keep = [&](KProperty* property) {
        if (std::find(found, found + foundCount, property) == found + foundCount)
            found[foundCount++] = property;
    };
    const char* channel = nullptr;
    for (int i = 0; i < p.GetPropertyCount(); ++i)
    {
        const char* name = p.ReadPropertyInfoAt(i).mName;
        if (!name || !isChannelName(name, channel))
            continue;
        KProperty* property = p.GetProperty(i);
        if (!isOwnChannel(property, channel))
            return false;
        keep(property);
    }
    KArrayTemplate<KProperty*> properties(16);
    FillAddedPropertyList(&properties);
    for (int i = 0; i < properties.GetCount(); ++i)
    {
        KProperty* property = properties[i];
        if (!property || !property->GetPropertyName() || !isChannelName(property->GetPropertyName(), channel))
            continue;
        if (!isOwnChannel(property, channel))
            return false;
        keep(property);
    }
    for (int i = 0; i < foundCount; ++i)
        RememberDefaultValues(found[i]);
    return true;
}

bool KQoxNode::GetPlainDefaultProperties(KProperty* (&properties)[kPlainDefaultProperties])
{
    // Built as made, the owed take holds the four channels alone unless the
    // node's attribute adds some.
    if (!IsDefaultTakePending() || IsBuildingAsMade() || (mNodeAttribute && mNodeAttribute != mChannellessAttribute))
        return false;
    KQoxNodeProperties& p = *mProperties;
    properties[0] = p.mLclTranslation;
    properties[1] = p.mLclRotation;
    properties[2] = p.mLclScaling;
    properties[3] = p.mVisibility;
    return true;
}

void KQoxNode::AddOwedDefaultChannels(KQoxNodeAttribute& attribute)
{
    if (!IsDefaultTakePending())
        return;
    KArrayTemplate<KProperty*> owned(16);
    attribute.FillPropertyList(&owned);
    bool madeNone = false;
    if (RememberDefaultChannels([&attribute](KQoxTakeNode* take) { attribute.AddChannels(take); }, &owned, &attribute,
                                &madeNone))
    {
        // Its channels then are none, whatever it would make later: changes
        // made through the takes reach the owed one once it is built.
        if (madeNone)
            mChannellessAttribute = &attribute;
        return;
    }
    // Channels whose values cannot be kept apart: the take is built now,
    // with them when the attribute is the node's.
    KQoxTakeNode* take = GetDefaultTakeNode();
    if (take && mNodeAttribute != &attribute)
        attribute.AddChannels(take);
}

void KQoxNode::RemoveOwedDefaultChannels(KQoxNodeAttribute& attribute)
{
    if (!IsDefaultTakePending())
        return;
    ForgetDefaultChannels(&attribute);
    if (mChannellessAttribute == &attribute)
        mChannellessAttribute = nullptr;
    // The attribute is told of every take, the owed one as an empty take.
    // That take is not built, so it holds no channel of the attribute: when
    // memory is too short for the empty one (a node or attribute may be
    // freed then), the telling is left out and nothing is lost.
    try
    {
        KQoxTakeNode scratch("Default");
        attribute.RemoveChannels(&scratch);
    }
    catch (const std::bad_alloc&)
    {}
}

void KQoxNode::AddChannels(KQoxTakeNode* takeNode)
{
    if (!takeNode || !takeNode->GetKFCurveNode())
        return;
    KQoxNodeProperties& p = *mProperties;
    const bool defaultTake = KString(takeNode->GetName()).CompareNoCase("Default") == 0;
    AddTransformChannels(takeNode->GetKFCurveNode(), p, defaultTake, *this);

    // Built as made (the Default take owed, or a take made in place of a
    // copy of it), the channels are those the node had when it was made:
    // the four above only (it is owed only then); the channels of
    // properties added since came with the take, built for them. Read
    // through the descriptors, so that rows not made stay so.
    const int count = IsBuildingAsMade() ? 0 : p.GetPropertyCount();
    for (int i = 0; i < count; ++i)
    {
        const KPropertyInfo& info = p.ReadPropertyInfoAt(i);
        if ((info.GetFlags() & KPropertyInfo::eAnimatable) && !IsChannelName(info.mName))
            CreateChannelsForProperty(p.GetProperty(i), takeNode);
    }
    if (mNodeAttribute && !(IsBuildingAsMade() && mNodeAttribute == mChannellessAttribute))
        mNodeAttribute->AddChannels(takeNode);
}

bool KQoxNode::SetCurrentTakeNode(int index)
{
    ResetTakeCaches();
    return KQoxTakeNodeContainer::SetCurrentTakeNode(index);
}

bool KQoxNode::SetCurrentTakeNode(const char* name)
{
    ResetTakeCaches();
    return KQoxTakeNodeContainer::SetCurrentTakeNode(name);
}

bool KQoxNode::GetAnimationInterval(KTime& start, KTime& stop)
{
    KTime localStart = KTIME_INFINITE;
    KTime localStop = KTIME_MINUS_INFINITE;
    if (!GetAnimationIntervalRecursive(localStart, localStop))
        return false;
    if (localStart < start)
        start = localStart;
    if (stop < localStop)
        stop = localStop;
    return true;
}

bool KQoxNode::GetAnimationIntervalRecursive(KTime& start, KTime& stop)
{
    bool found = false;
    KQoxWalkPreOrder(this, [&](KQoxNode* node) {
        found = node->KQoxTakeNodeContainer::GetAnimationInterval(start, stop) || found;
        return true;
    });
    return found;
}

// ---------------------------------------------------------------------------
// Copy

void KQoxNode::UpdateChannelPropertiesFromDefaultTake(KQoxNode& source)
{
    KQoxTakeNode* take = GetDefaultTakeNode();
    KFCurveNode* root = take ? take->GetKFCurveNode() : nullptr;
    if (!root)
        return;
    KQoxNodeProperties& p = *mProperties;
    KQoxNodeProperties& from = *source.mProperties;
    struct
    {
        const char* mChannel;
        KProperty* mProperty;
        KProperty* mSource;
    } const channels[] = {{"T", p.mLclTranslation, from.mLclTranslation},
                          {"R", p.mLclRotation, from.mLclRotation},
                          {"S", p.mLclScaling, from.mLclScaling}};
    for (const auto& channel : channels)
    {
        KFCurveNode* node = root->FindRecursive(channel.mChannel);
        if (!node || !channel.mProperty)
            continue;
        KgeTVector value;
        channel.mProperty->GetData(&value, 0, nullptr, nullptr);
        if (channel.mSource)
        {
            KgeTVector shown;
            channel.mSource->GetData(&shown, 0, nullptr, nullptr);
            value = KgeTVector(shown.x, shown.y, shown.z, value.w);
        }
        double values[3] = {value.x, value.y, value.z};
        nodechannels::ReadXYZ(node, values, [&](double* v) { node->GetLeafValues(v); });
        value = KgeTVector(values[0], values[1], values[2], value.w);
        channel.mProperty->SetData(&value, 0, nullptr, nullptr);
    }
    // Visibility is copied as a setting, through SetVisibility.
}

void KQoxNode::CopyLimitsFrom(KQoxNode& source)
{
    if (!source.mLimits && !mLimits)
    {
        // Both off and zero: copying them only turns "RotationActive" off.
        SetRotationActiveProperty(false);
        return;
    }
    const KQoxNodeLimits& from = source.LimitsForReading();
    KQoxNodeLimits& to = Limits();
    const KQoxLimits* sources[3] = {&from.mTranslationLimits, &from.mRotationLimits, &from.mScalingLimits};
    KQoxLimits* targets[3] = {&to.mTranslationLimits, &to.mRotationLimits, &to.mScalingLimits};
    for (int kind = 0; kind < 3; ++kind)
    {
        for (int axis = 0; axis < 3; ++axis)
        {
            targets[kind]->mMinActive[axis] = sources[kind]->mMinActive[axis];
            targets[kind]->mMaxActive[axis] = sources[kind]->mMaxActive[axis];
        }
        targets[kind]->SetLimitMin(sources[kind]->GetLimitMin());
        targets[kind]->SetLimitMax(sources[kind]->GetLimitMax());
    }
    to.SetTranslationLimitActive(from.GetTranslationLimitActive());
    to.SetRotationLimitActive(from.GetRotationLimitActive());
    to.SetScalingLimitActive(from.GetScalingLimitActive());
}

namespace {

// This node's attribute when it is of class T, else a new one made by
// pCreate and set on the node (the one it replaces is destroyed); null when
// none can be made.
template <class T>
T* OwnAttributeOf(KQoxNode& pNode, T* (KQoxSdkManager::*pCreate)())
{
    KQoxNodeAttribute* current = pNode.GetNodeAttribute();
    if (T* own = dynamic_cast<T*>(current))
        return own;
    KQoxSdkManager& manager = pNode.GetSdkManager();
    T* made = (manager.*pCreate)();
    if (!made)
        return nullptr;
    pNode.SetNodeAttribute(made);
    if (current)
        manager.DestroyKQoxNodeAttribute(current);
    return made;
}

template <class T>
bool CopyAttribute(KQoxNode& pNode, KQoxNodeAttribute* pSource, T* (KQoxSdkManager::*pCreate)())
{
    T* from = dynamic_cast<T*>(pSource);
    if (!from)
        return false;
    if (T* to = OwnAttributeOf(pNode, pCreate))
        *to = *from;
    return true;
}

} // namespace

void KQoxNode::CopyNodeAttributeFrom(KQoxNode& source)
{
    KQoxNodeAttribute* from = source.mNodeAttribute;
    const int type = from ? from->GetAttributeType() : KQoxNodeAttribute::eUNIDENTIFIED;
    bool copied = false;
    switch (type)
    {
    case KQoxNodeAttribute::eNULL: copied = CopyAttribute(*this, from, &KQoxSdkManager::CreateKQoxNull); break;
    case KQoxNodeAttribute::eMARKER: copied = CopyAttribute(*this, from, &KQoxSdkManager::CreateKQoxMarker); break;
    case KQoxNodeAttribute::eSKELETON: copied = CopyAttribute(*this, from, &KQoxSdkManager::CreateKQoxSkeleton); break;
    case KQoxNodeAttribute::eCAMERA: copied = CopyAttribute(*this, from, &KQoxSdkManager::CreateKQoxCamera); break;
    case KQoxNodeAttribute::eLIGHT: copied = CopyAttribute(*this, from, &KQoxSdkManager::CreateKQoxLight); break;
    case KQoxNodeAttribute::eOPTICAL_REFERENCE:
        copied = CopyAttribute(*this, from, &KQoxSdkManager::CreateKQoxOpticalReference);
        break;
    case KQoxNodeAttribute::eCAMERA_SWITCHER:
        // A target without a switcher gets one, as the other kinds do.
        copied = CopyAttribute(*this, from, &KQoxSdkManager::CreateKQoxCameraSwitcher);
        break;
    case KQoxNodeAttribute::eMESH: copied = CopyAttribute(*this, from, &KQoxSdkManager::CreateKQoxMesh); break;
    case KQoxNodeAttribute::eNURB: copied = CopyAttribute(*this, from, &KQoxSdkManager::CreateKQoxNurb); break;
    case KQoxNodeAttribute::ePATCH: copied = CopyAttribute(*this, from, &KQoxSdkManager::CreateKQoxPatch); break;
    default: break;
    }
    if (copied || !mNodeAttribute)
        return;
    // No source attribute, or one of no known class: this node's goes.
    KQoxNodeAttribute* old = mNodeAttribute;
    SetNodeAttribute(nullptr);
    GetSdkManager().DestroyKQoxNodeAttribute(old);
}

KQoxNode& KQoxNode::operator=(KQoxNode& source)
{
    if (&source == this)
        return *this;
    SetTarget(source.GetTarget());
    mPostTargetRotation = source.mPostTargetRotation;
    mTargetUpVector = source.mTargetUpVector;

    CopyNodeAttributeFrom(source);

    SetVisibility(source.GetVisibility());
    mShadingMode = source.mShadingMode;
    mMultiLayer = source.mMultiLayer;
    mMultiTakeMode = source.mMultiTakeMode;

    for (EPivotSet set : {eSOURCE_SET, eDESTINATION_SET})
    {
        KQoxNodeProperties::KQoxPivot& to = Pivot(set);
        const KQoxNodeProperties::KQoxPivot& from = source.PivotOf(set);
        to.mRotationOffset = from.mRotationOffset;
        to.mRotationPivot = from.mRotationPivot;
        to.mRotationPivotUpdateOffset = from.mRotationPivotUpdateOffset;
        to.mPreRotation = from.mPreRotation;
        to.mPostRotation = from.mPostRotation;
        to.mScalingPivot = from.mScalingPivot;
        to.mScalingPivotUpdateOffset = from.mScalingPivotUpdateOffset;
    }

    ResetTakeCaches();
    if (mCaches)
    {
        mCaches->mLocalState.Reset();
        mCaches->mGlobalState.Reset();
    }

    CopyLimitsFrom(source);
    mCullingType = source.mCullingType;
    KQoxTakeNodeContainer::operator=(source);
    UpdateChannelPropertiesFromDefaultTake(source);
    return *this;
}

// ---------------------------------------------------------------------------
// Entity

namespace {

// The nodes the finder applied to root found: every node of the tree,
// unless the finder's storage ran out (std::bad_alloc then).
KArrayTemplate<KQoxNode*>& FoundWhole(KQoxNodeFinderDuplicateName& finder, KQoxNode& root)
{
    int walked = 0;
    KQoxWalkPreOrder(&root, [&walked](KQoxNode*) {
        ++walked;
        return true;
    });
    KArrayTemplate<KQoxNode*>& found = finder.GetNodeArray();
    if (found.GetCount() != walked)
        throw std::bad_alloc();
    return found;
}

} // namespace

// The move in two steps, so that it happens whole or not at all: first what
// can run out of memory (collecting the subtree, joining the new entity),
// taken back when it does; then the subtree leaves the old entity (and, with
// replace, the new entity's content leaves it), which allocates nothing.
bool KQoxNode::SetEntity(KQoxEntity* entity, bool replace)
{
    if (mEntity == entity)
        return true;

    KQoxNodeFinderDuplicateName finder(replace ? entity : nullptr);
    KQoxNode* self = this;
    KQoxNode* const* nodes = &self;
    int nodeCount = 1;
    KQoxObject* const* videos = nullptr;
    int videoCount = 0;
    // A lone node without geometry has no name to clash with when nothing is
    // replaced: the walk would find only the node itself.
    if (replace || KQoxHasChild(this) || dynamic_cast<KQoxGeometry*>(mNodeAttribute))
    {
        finder.Apply(*this);
        int clash = -1;
        if (finder.GetDuplicateNodeArray().GetCount() > 0)
            clash = eNODE_NAME_CLASH;
        else if (finder.GetDuplicateTextureArray().GetCount() > 0)
            clash = eTEXTURE_NAME_CLASH;
        else if (finder.GetDuplicateVideoArray().GetCount() > 0)
            clash = eVIDEO_NAME_CLASH;
        else if (finder.GetDuplicateMaterialArray().GetCount() > 0)
            clash = eMATERIAL_NAME_CLASH;
        if (clash >= 0)
        {
            mError.SetLastErrorID(clash);
            return false;
        }
        KArrayTemplate<KQoxNode*>& found = FoundWhole(finder, *this);
        nodes = &found[0];
        nodeCount = found.GetCount();
        KArrayTemplate<KQoxObject*>& clips = finder.GetVideoArray();
        videos = clips.GetCount() > 0 ? &clips[0] : nullptr;
        videoCount = clips.GetCount();
    }

    // Each geometry once (nodes may share one).
    std::vector<KQoxGeometry*> geometries;
    std::unordered_set<const KQoxGeometry*> seen;
    for (int i = 0; i < nodeCount; ++i)
        if (KQoxGeometry* geometry = dynamic_cast<KQoxGeometry*>(nodes[i]->mNodeAttribute))
            if (seen.insert(geometry).second)
                geometries.push_back(geometry);

    // With replace: the entity's own tree, whose clips leave it, and what
    // the subtree's geometry counts, which are all its materials and
    // textures then, in order of first use.
    KQoxNodeFinderDuplicateName oldTree(nullptr);
    bool oldTreeLeaves = false;
    std::unordered_set<const KQoxNode*> subtree;
    KQoxEntity::KCounted materials, textures, clips;
    if (entity && replace)
    {
        std::unordered_set<const KQoxObject*> leaving;
        if (KQoxNode* root = entity->GetRootNode())
        {
            oldTree.Apply(*root);
            FoundWhole(oldTree, *root);
            // A tree that clashes in itself cannot leave as a whole: its
            // nodes are cleared from the entity with the rest, its clips
            // stay.
            oldTreeLeaves =
                oldTree.GetDuplicateNodeArray().GetCount() == 0 && oldTree.GetDuplicateTextureArray().GetCount() == 0 &&
                oldTree.GetDuplicateVideoArray().GetCount() == 0 && oldTree.GetDuplicateMaterialArray().GetCount() == 0;
            KArrayTemplate<KQoxObject*>& treeClips = oldTree.GetVideoArray();
            for (int i = 0; oldTreeLeaves && i < treeClips.GetCount(); ++i)
                leaving.insert(treeClips[i]);
        }
        clips = entity->VideosAfterReplace(leaving, videos, videoCount);
        subtree.insert(nodes, nodes + nodeCount);
        std::vector<std::pair<KQoxObject*, bool>> counted;
        for (KQoxGeometry* geometry : geometries)
            geometry->AppendGeometryCountedObjects(counted);
        std::unordered_map<const KQoxObject*, size_t> at[2];
        for (const auto& object : counted)
        {
            if (!object.first)
                continue;
            KQoxEntity::KCounted& list = object.second ? textures : materials;
            const auto placed = at[object.second].emplace(object.first, list.size());
            if (placed.second)
                list.push_back({object.first, 1});
            else
                ++list[placed.first->second].second;
        }
    }

    // Joining the new entity, taken back whole when memory runs out.
    // Which nodes and clips joined (a node the entity listed already did
    // not); a lone node needs no list.
    char loneJoined = 0;
    std::vector<char> manyJoined, videoJoined(entity ? videoCount : 0, 0);
    char* nodeJoined = &loneJoined;
    if (entity && nodeCount > 1)
    {
        manyJoined.assign(static_cast<size_t>(nodeCount), 0);
        nodeJoined = manyJoined.data();
    }
    if (entity)
    {
        size_t geometriesJoined = 0;
        try
        {
            for (int i = 0; i < nodeCount; ++i)
                nodeJoined[i] = entity->AddNode(nodes[i]);
            for (; geometriesJoined < geometries.size(); ++geometriesJoined)
                geometries[geometriesJoined]->JoinGeometryEntity(*entity);
            // With replace the clips are listed as they will be at the end
            // (VideosAfterReplace); a record for each is made here.
            for (int i = 0; i < videoCount; ++i)
                videoJoined[i] = replace ? entity->AddVideoRecord(videos[i]) : entity->AddVideo(videos[i]);
        }
        catch (const std::bad_alloc&)
        {
            for (int i = 0; i < videoCount; ++i)
                if (videoJoined[i])
                    entity->RemoveVideo(videos[i]);
            for (size_t i = 0; i < geometriesJoined; ++i)
                geometries[i]->UndoJoinGeometryEntity(*entity);
            for (int i = 0; i < nodeCount; ++i)
                if (nodeJoined[i])
                    entity->RemoveNode(nodes[i]);
            throw;
        }
    }

    // From here on nothing allocates. The old entity is left.
    if (KQoxEntity* old = mEntity)
    {
        for (int i = 0; i < nodeCount; ++i)
            old->RemoveNode(nodes[i]);
        for (int i = 0; i < videoCount; ++i)
            old->RemoveVideo(videos[i]);
    }
    if (entity && replace)
    {
        // The entity's content leaves it: its tree's clips, then every node
        // but the subtree's, the subtree's counts becoming the lists.
        auto forget = [entity](KQoxLayerContainer& container) {
            KQoxEntity* counted = container.GetEntity();
            if (counted && counted != entity)
                container.CountOut(*counted);
            container.ForgetEntity();
        };
        if (oldTreeLeaves)
        {
            KArrayTemplate<KQoxNode*>& tree = oldTree.GetNodeArray();
            for (int i = 0; i < tree.GetCount(); ++i)
            {
                tree[i]->mEntity = nullptr;
                if (KQoxGeometry* geometry = dynamic_cast<KQoxGeometry*>(tree[i]->mNodeAttribute))
                {
                    for (int s = 0; s < geometry->GetShapeCount(); ++s)
                        forget(*geometry->GetShape(s));
                    forget(*geometry);
                }
            }
        }
        entity->ClearAllBut(subtree, materials, textures);
        entity->KeepOnlyVideos(clips);
    }
    for (int i = 0; i < nodeCount; ++i)
    {
        nodes[i]->mEntity = entity;
        // A node that joined while the old entity listed it inline takes
        // the inline place now (dropping an entry allocates nothing).
        if (entity)
            if (const int slot = entity->FindSlot(nodes[i]); slot >= 0)
                entity->SetSlot(nodes[i], slot);
    }
    for (KQoxGeometry* geometry : geometries)
        geometry->CommitGeometryEntity(entity);
    return true;
}

} // namespace qoxsdk_600
