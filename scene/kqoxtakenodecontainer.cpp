#include "scene/kqoxtakenodecontainer.h"

#include <algorithm>
#include <cctype>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <strings.h>
#include <unordered_map>
#include <vector>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kproperty.h"
#include "object/kpropertydatatype.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxtakenode_private.h"
#include "scene/kqoxuserproperty.h"

namespace qoxsdk_600 {

namespace {
const char* const kIndexOutOfRange = "Index out of range";
const char* const kUnknownTakeNodeName = "Unknown take node name";
const char* const kTakeNodeDoesNotExist = "Take node does not exist";
const char* const kTakeNodeAlreadyExists = "Take node already exists";
const char* const kCannotRemoveDefaultTakeNode = "Cannot remove default take node";

// Names of the member children of a multi-member channel.
const char* const kMemberNames[4] = {"X", "Y", "Z", "toto"};
const int kMaxChannelMembers = 4;
// The largest property value the curve-to-property direction handles.
const int kMaxMemberValueSize = 32;

// Number of channel members of a property: its data type's member count, or
// by value kind 3 for vectors and colours, 4 with a fourth component, else 1.
int GetMemberCount(KProperty* pProperty)
{
    if (KDataType* dataType = pProperty->ReadPropertyInfo().mDataType)
        return dataType->GetMemberCount();
    switch (pProperty->GetPropertyType())
    {
    case kPropertyTypeVector3D:
    case kPropertyTypeColorRGB: return 3;
    case kPropertyTypeVector4D:
    case kPropertyTypeColorRGBA: return 4;
    default: return 1;
    }
}

bool IsVectorKind(kPropertyType pType)
{
    return pType == kPropertyTypeVector4D || pType == kPropertyTypeVector3D || pType == kPropertyTypeColorRGB ||
           pType == kPropertyTypeColorRGBA;
}

// A curve value is a float: out-of-range doubles become infinities rather
// than an undefined conversion.
float ToCurveValue(double pValue)
{
    if (pValue > std::numeric_limits<float>::max())
        return std::numeric_limits<float>::infinity();
    if (pValue < -std::numeric_limits<float>::max())
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(pValue);
}

// Truncation toward zero that stays defined for NaN and huge values.
int TruncateToInt(double pValue)
{
    if (std::isnan(pValue))
        return 0;
    if (pValue >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (pValue <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(pValue);
}

// Writes a curve's static value with its callbacks held off, so that nothing
// is called back for it.
void SetStaticValue(KFCurve* pCurve, double pValue)
{
    if (!pCurve)
        return;
    pCurve->CallbackEnable(false);
    pCurve->SetValue(ToCurveValue(pValue));
    pCurve->CallbackClear();
    pCurve->CallbackEnable(true);
}

// The member child pIndex of a channel, created ("X", "Y", "Z", no data type)
// with a curve when missing; an existing child without curve gets one.
KFCurveNode* GetOrCreateMember(KFCurveNode* pNode, int pIndex)
{
    KFCurveNode* child = pNode->Get(pIndex);
    if (!child)
    {
        child = KFCurveNodeCreate(kMemberNames[pIndex], static_cast<KDataType*>(nullptr), KFCL_NOLAYER, 0);
        KFCurveNodeAdopt(pNode, child);
    }
    if (!child->FCurveGet())
        child->FCurveSet(KFCurveCreate(), false);
    return child;
}

// Stores value into member pMember of the property, converted to the
// member's own kind. Kinds without numbers are left alone.
void WritePropertyMember(KProperty* pProperty, int pMember, double pValue)
{
    kPropertyType type = pProperty->GetPropertyType();
    if (KDataType* dataType = pProperty->ReadPropertyInfo().mDataType)
    {
        if (dataType->SizeOf() > kMaxMemberValueSize || dataType->GetMemberCount() <= pMember)
            return;
    }
    else if (!IsVectorKind(type) && pMember != 0)
    {
        return;
    }
    switch (type)
    {
    case kPropertyTypeInt:
    case kPropertyTypeBool:
    case kPropertyTypeEnum: pProperty->SetInteger(TruncateToInt(pValue)); break;
    case kPropertyTypeFloat:
    case kPropertyTypeDouble: pProperty->SetDouble(pValue); break;
    case kPropertyTypeVector4D:
    case kPropertyTypeVector3D:
    case kPropertyTypeColorRGB:
    case kPropertyTypeColorRGBA:
    {
        if (pMember < 0 || pMember >= kMaxChannelMembers)
            return;
        double values[kMaxChannelMembers] = {0.0, 0.0, 0.0, 0.0};
        pProperty->GetData(values, 0, nullptr, nullptr);
        values[pMember] = pValue;
        pProperty->SetData(values, 0, nullptr, nullptr);
        break;
    }
    default: break;
    }
}

// The curve values of a property's channel as UpdateDefaultValuesWithProperty
// sets them: bit i of the result tells that pValues[i] is set.
unsigned CurveValuesOf(KProperty* pProperty, float (&pValues)[kMaxChannelMembers])
{
    int count = GetMemberCount(pProperty);
    if ((count == 3 || count == 4) && IsVectorKind(pProperty->GetPropertyType()))
    {
        double values[kMaxChannelMembers] = {0.0, 0.0, 0.0, 0.0};
        pProperty->GetData(values, 0, nullptr, nullptr);
        for (int i = 0; i < count; ++i)
            pValues[i] = ToCurveValue(values[i]);
        return (1u << count) - 1u;
    }
    pValues[0] = ToCurveValue(pProperty->AsDouble());
    return 1u;
}

bool SameFloat(float pA, float pB)
{
    return std::memcmp(&pA, &pB, sizeof(float)) == 0;
}

int CountCurves(KFCurveNode* pNode)
{
    int count = pNode->FCurveGet() ? 1 : 0;
    for (int i = 0; i < pNode->GetCount(); ++i)
        if (KFCurveNode* child = pNode->Get(i))
            count += CountCurves(child);
    return count;
}

// The name a take answers to; the Default take owed is "Default".
char* TakeName(KQoxTakeNode* pTakeNode)
{
    static char sDefaultName[] = "Default";
    return pTakeNode ? pTakeNode->GetName() : sDefaultName;
}

bool IsDefaultTakeName(const char* pName)
{
    return pName && strcasecmp(pName, kDefaultTakeName) == 0;
}

// Pairs each curve of a tree with the curve at the same place in a copy of it.
void MapCopiedCurves(KFCurveNode* pSource, KFCurveNode* pCopy, std::unordered_map<KFCurve*, KFCurve*>& pMap)
{
    if (!pSource || !pCopy)
        return;
    if (pSource->FCurveGet() && pCopy->FCurveGet())
        pMap[pSource->FCurveGet()] = pCopy->FCurveGet();
    int count = pSource->GetCount() < pCopy->GetCount() ? pSource->GetCount() : pCopy->GetCount();
    for (int i = 0; i < count; ++i)
        MapCopiedCurves(pSource->Get(i), pCopy->Get(i), pMap);
}
} // namespace

const char* GetEffectivePropertyName(const char* pName)
{
    // Every renamed name starts with "Lcl ": most names are told by one byte.
    if (pName[0] != 'L')
        return pName;
    if (std::strcmp(pName, "Lcl Translation") == 0)
        return "T";
    if (std::strcmp(pName, "Lcl Rotation") == 0)
        return "R";
    if (std::strcmp(pName, "Lcl Scaling") == 0)
        return "S";
    return pName;
}

KString GetEffectivePropertyName(KString pName)
{
    const char* effective = GetEffectivePropertyName(pName.ToChars());
    return effective == pName.ToChars() ? pName : KString(effective);
}

void UpdateDefaultValuesWithProperty(KFCurveNode* pNode, KQoxUserProperty* pProperty)
{
    if (!pNode || !pProperty)
        return;
    KQoxUserProperty::EUserPropertyType type = pProperty->GetPropertyType();
    if (type == KQoxUserProperty::eVECTOR || type == KQoxUserProperty::eCOLOR)
    {
        double values[3] = {0.0, 0.0, 0.0};
        pProperty->GetDefaultValue(values[0], values[1], values[2]);
        for (int i = 0; i < 3; ++i)
            SetStaticValue(GetOrCreateMember(pNode, i)->FCurveGet(), values[i]);
        return;
    }
    double value = 0.0;
    pProperty->GetDefaultValue(value);
    if (!pNode->FCurveGet())
        pNode->FCurveSet(KFCurveCreate(), false);
    SetStaticValue(pNode->FCurveGet(), value);
}

// The channel nodes under a root in the order FindRecursive visits them
// (each child before its own subtree), with the first letters of their names
// lowered: one walk of the tree answers every single-item lookup of a pass
// over an object's properties, and most candidates fail on the first letter.
class ChannelsInSearchOrder
{
public:
    explicit ChannelsInSearchOrder(KFCurveNode* pRoot) { Collect(pRoot); }

    // The node FindRecursive gives for a name without '/', or null.
    KFCurveNode* Find(const char* pName) const
    {
        if (!pName)
            return nullptr;
        const char first = Lowered(pName[0]);
        // A one-letter name may also match by data type ("T", "R", "S").
        const bool byType = pName[0] != '\0' && pName[1] == '\0';
        for (size_t i = 0; i < mNodes.size(); ++i)
            if ((byType || mFirsts[i] == first) && mNodes[i]->MatchesPathItem(pName))
                return mNodes[i];
        return nullptr;
    }

private:
    static char Lowered(char c) { return static_cast<char>(tolower(static_cast<unsigned char>(c))); }
    void Collect(KFCurveNode* pNode)
    {
        for (int i = 0; i < pNode->GetCount(); ++i)
        {
            KFCurveNode* child = pNode->Get(i);
            if (!child)
                continue;
            mNodes.push_back(child);
            mFirsts.push_back(Lowered(child->GetName()[0]));
            Collect(child);
        }
    }
    std::vector<KFCurveNode*> mNodes;
    std::vector<char> mFirsts;
};

void UpdateDefaultValuesWithProperty(KFCurveNode* pNode, KProperty* pProperty)
{
    if (!pNode || !pProperty)
        return;
    int count = GetMemberCount(pProperty);
    // Only vector and colour kinds hold their members as doubles.
    if ((count == 3 || count == 4) && IsVectorKind(pProperty->GetPropertyType()))
    {
        double values[kMaxChannelMembers] = {0.0, 0.0, 0.0, 0.0};
        pProperty->GetData(values, 0, nullptr, nullptr);
        for (int i = 0; i < count; ++i)
        {
            KFCurveNode* child = pNode->Get(i);
            if (child && child->FCurveGet())
                SetStaticValue(child->FCurveGet(), values[i]);
        }
        return;
    }
    if (pNode->FCurveGet())
        SetStaticValue(pNode->FCurveGet(), pProperty->AsDouble());
}

void DefaultTakeValueChangedCallback(KFCurve* pCurve, KFCurveEvent* pEvent, void* pData)
{
    if (!pCurve || !pEvent || !pData)
        return;
    KQoxDefaultTakeCallback* record = static_cast<KQoxDefaultTakeCallback*>(pData);
    // A curve being destroyed has nothing to tell the property, whose owner
    // may already be gone.
    bool destroyed = (pEvent->mType & KFCURVEEVENT_DESTROY) != 0;
    if (!destroyed && (pEvent->mType & KFCURVEEVENT_CANDIDATE) && record->mProperty && record->mCurve)
        WritePropertyMember(record->mProperty, record->mMember, record->mCurve->GetValue());
    if (destroyed && record->mContainer)
    {
        KQoxDefaultTakeCallback* callback = record;
        record->mContainer->UnregisterDefaultTakeCallback(callback);
    }
}

// Construction and copy ----------------------------------------------------------

KQoxTakeNodeContainer::KQoxTakeNodeContainer(KQoxSdkManager& pManager, const char* pName, KError* pError)
    : KQoxObject(pManager, pName)
    , mTakeNodeArray(2)
    , mDefaultTakeCallbacks(16)
    , mCurrentTakeNode(-1)
    , mError(pError)
{}

KQoxTakeNodeContainer::~KQoxTakeNodeContainer()
{
    // The records go before the curves: a derived object's property block is
    // gone by now, and a curve torn down must not write into it.
    UnregisterAllDefaultTakeCallback();
    DestroyTakeNodes();
    mCurrentTakeNode = -1;
    ForgetPendingProperties();
}

void KQoxTakeNodeContainer::Init()
{
    CreateTakeNode(kDefaultTakeName);
    mCurrentTakeNode = 0;
}

void KQoxTakeNodeContainer::InitOnRequest()
{
    if (mTakeNodeArray.GetCount() == 0)
        mTakeNodeArray.Add(nullptr);
    mCurrentTakeNode = 0;
}

void KQoxTakeNodeContainer::Reset()
{
    DestroyTakeNodes();
    Init();
}

void KQoxTakeNodeContainer::DestroyTakeNodes()
{
    while (mTakeNodeArray.GetCount() > 0)
        delete mTakeNodeArray.RemoveLast();
    std::vector<KeptValues>().swap(mKeptValues);
}

KQoxTakeNode* KQoxTakeNodeContainer::EnsureDefaultTake()
{
    if (mTakeNodeArray.GetCount() == 0)
        return nullptr;
    if (mTakeNodeArray[0] || mBuildingAsMade)
        return mTakeNodeArray[0];
    KQoxTakeNode* takeNode = BuildOwedDefaultTake();
    std::vector<KeptValues>().swap(mKeptValues);
    mTakeNodeArray.SetAt(0, takeNode);
    return takeNode;
}

namespace {

// What a reader may change in a channel tree besides static values.
struct ChannelState
{
    KFCurveNode* mNode;
    std::string mTimeWarpName;
    int mLayerID;
    int mLayerType;
    KFCurveNode* mLayer;
    KFCurveNode* mTimeWarp;
    int mCount;
    KFCurve* mCurve;
    int mKeys;
    float mValue;

    bool operator==(const ChannelState& pOther) const
    {
        return mNode == pOther.mNode && mTimeWarpName == pOther.mTimeWarpName && mLayerID == pOther.mLayerID &&
               mLayerType == pOther.mLayerType && mLayer == pOther.mLayer && mTimeWarp == pOther.mTimeWarp &&
               mCount == pOther.mCount && mCurve == pOther.mCurve && mKeys == pOther.mKeys &&
               SameFloat(mValue, pOther.mValue);
    }
};

// The states of a tree, each node before its children; the values of the
// curves in pTied count as equal whatever they hold.
void CollectChannelStates(KFCurveNode* pNode, const std::vector<KFCurve*>& pTied, std::vector<ChannelState>& pOut)
{
    const char* timeWarpName = pNode->GetTimeWarpName();
    KFCurve* curve = pNode->FCurveGet();
    const bool tied = curve && std::find(pTied.begin(), pTied.end(), curve) != pTied.end();
    pOut.push_back(ChannelState{pNode, timeWarpName ? timeWarpName : "", pNode->GetLayerID(), pNode->GetLayerType(),
                                pNode->LayerGet(), pNode->TimeWarpGet(), pNode->GetCount(), curve,
                                curve ? curve->KeyGetCount() : 0, curve && !tied ? curve->GetValue() : 0.0f});
    for (int i = 0; i < pNode->GetCount(); ++i)
        if (KFCurveNode* child = pNode->Get(i))
            CollectChannelStates(child, pTied, pOut);
}

} // namespace

void KQoxTakeNodeContainer::ChangeDefaultTakeValues(const std::function<void(KQoxTakeNode*)>& pChange)
{
    if (!IsDefaultTakePending() || mBuildingAsMade)
    {
        pChange(GetDefaultTakeNode());
        return;
    }
    const int first = mDefaultTakeCallbacks.GetCount();
    std::unique_ptr<KQoxTakeNode> takeNode(BuildOwedDefaultTake());
    KFCurveNode* root = takeNode->GetKFCurveNode();
    std::vector<KFCurve*> tied;
    tied.reserve(static_cast<size_t>(mDefaultTakeCallbacks.GetCount() - first));
    for (int i = first; i < mDefaultTakeCallbacks.GetCount(); ++i)
        tied.push_back(mDefaultTakeCallbacks[i]->mCurve);
    std::vector<ChannelState> before;
    before.reserve(32);
    if (root)
        CollectChannelStates(root, tied, before);
    pChange(takeNode.get());
    std::vector<ChannelState> after;
    after.reserve(before.size());
    if (root)
        CollectChannelStates(root, tied, after);
    // Every tied curve must belong to a kept property to keep its value.
    bool keep = root && before == after && mDefaultTakeCallbacks.GetCount() - first == static_cast<int>(tied.size());
    for (int i = first; keep && i < mDefaultTakeCallbacks.GetCount(); ++i)
    {
        KQoxDefaultTakeCallback* record = mDefaultTakeCallbacks[i];
        keep = record->mCurve == tied[static_cast<size_t>(i - first)] && FindKept(record->mProperty) &&
               record->mMember >= 0 && record->mMember < kMaxChannelMembers;
    }
    if (!keep)
    {
        std::vector<KeptValues>().swap(mKeptValues);
        mTakeNodeArray.SetAt(0, takeNode.release());
        return;
    }
    for (int i = first; i < mDefaultTakeCallbacks.GetCount(); ++i)
    {
        KQoxDefaultTakeCallback* record = mDefaultTakeCallbacks[i];
        KeptValues* kept = FindKept(record->mProperty);
        kept->Set(record->mMember, record->mCurve->GetValue());
    }
    UnregisterDefaultTakeCallbacksFrom(first);
}

bool KQoxTakeNodeContainer::KeepPlainDefaultValues(KProperty* const (&pProperties)[kPlainDefaultProperties],
                                                   const float (&pValues)[kPlainDefaultValues])
{
    if (!IsDefaultTakePending() || mBuildingAsMade)
        return false;
    for (KProperty* property : pProperties)
        if (property && !FindKept(property))
            return false;
    auto tieOf = [&](int i, KProperty*& property, int& member) {
        property = pProperties[i < 9 ? i / 3 : 3];
        member = i < 9 ? i % 3 : 0;
    };
    // As the tied curves' callbacks do when their values are set, in order.
    for (int i = 0; i < kPlainDefaultValues; ++i)
    {
        KProperty* property = nullptr;
        int member = 0;
        tieOf(i, property, member);
        if (property)
            WritePropertyMember(property, member, pValues[i]);
    }
    for (int i = 0; i < kPlainDefaultValues; ++i)
    {
        KProperty* property = nullptr;
        int member = 0;
        tieOf(i, property, member);
        if (!property)
            continue;
        KeptValues* kept = FindKept(property);
        kept->Set(member, pValues[i]);
    }
    return true;
}

KQoxTakeNode* KQoxTakeNodeContainer::BuildOwedDefaultTake(std::vector<TiedCurve>* pTies)
{
    // Built as it was made, then each curve tied to a property gets the value
    // it has held since its property last set it.
    const int first = mDefaultTakeCallbacks.GetCount();
    KQoxTakeNode* takeNode = new KQoxTakeNode(kDefaultTakeName);
    mBuildingAsMade = true;
    mTieCollector = pTies;
    AddChannels(takeNode);
    mTieCollector = nullptr;
    mBuildingAsMade = false;
    if (!pTies)
        ApplyKeptValues(first);
    else if (!mKeptValues.empty())
        for (const TiedCurve& tie : *pTies)
            ApplyKeptValue(tie.mProperty, tie.mMember, tie.mCurve);
    return takeNode;
}

void KQoxTakeNodeContainer::ReadDefaultTake(const std::function<void(KQoxTakeNode*)>& pRead)
{
    if (!IsDefaultTakePending() || mBuildingAsMade)
    {
        pRead(GetDefaultTakeNode());
        return;
    }
    // Read only, its curves need no record: nothing changes them.
    std::vector<TiedCurve> ties;
    ties.reserve(16);
    std::unique_ptr<KQoxTakeNode> takeNode(BuildOwedDefaultTake(&ties));
    pRead(takeNode.get());
}

KQoxTakeNodeContainer::KeptValues* KQoxTakeNodeContainer::FindKept(KProperty* pProperty)
{
    for (KeptValues& kept : mKeptValues)
        if (kept.mProperty == pProperty)
            return &kept;
    return nullptr;
}

KQoxTakeNodeContainer::KeptValues& KQoxTakeNodeContainer::Keep(KProperty* pProperty, const void* pSource)
{
    if (KeptValues* kept = FindKept(pProperty))
    {
        kept->mSource = pSource;
        return *kept;
    }
    if (mKeptValues.empty())
        mKeptValues.reserve(4);
    mKeptValues.push_back(KeptValues{pProperty, pSource, {0.0f, 0.0f, 0.0f, 0.0f}, 0});
    return mKeptValues.back();
}

bool KQoxTakeNodeContainer::IsKeptByName(KProperty* pProperty)
{
    KeptValues* kept = pProperty ? FindKept(pProperty) : nullptr;
    return kept && kept->mSource == this;
}

void KQoxTakeNodeContainer::RememberDefaultValues(KProperty* pProperty)
{
    if (!pProperty || !IsDefaultTakePending())
        return;
    KeptValues& kept = Keep(pProperty, this);
    kept.mMembers = static_cast<unsigned char>(kept.mMembers | CurveValuesOf(pProperty, kept.mValues));
}

void KQoxTakeNodeContainer::KeepOrBuildDefaultTakeFor(KQoxUserProperty* pUserProperty)
{
    if (!IsDefaultTakePending())
        return;
    // The owed take keeps the values when the name finds the property's own
    // channel there; otherwise it is built and set as any take.
    if (IsKeptByName(pUserProperty->GetKProperty()))
        KeepUserPropertyValues(pUserProperty);
    else
        EnsureDefaultTake();
}

void KQoxTakeNodeContainer::UnregisterDefaultTakeCallbacksFrom(int pFirst)
{
    while (mDefaultTakeCallbacks.GetCount() > pFirst)
    {
        KQoxDefaultTakeCallback* record = mDefaultTakeCallbacks[mDefaultTakeCallbacks.GetCount() - 1];
        UnregisterDefaultTakeCallback(record);
    }
}

void KQoxTakeNodeContainer::KeepUserPropertyValues(KQoxUserProperty* pUserProperty)
{
    // As UpdateDefaultValuesWithProperty sets them from a user property.
    KeptValues& kept = Keep(pUserProperty->GetKProperty(), this);
    KQoxUserProperty::EUserPropertyType type = pUserProperty->GetPropertyType();
    if (type == KQoxUserProperty::eVECTOR || type == KQoxUserProperty::eCOLOR)
    {
        double values[3] = {0.0, 0.0, 0.0};
        pUserProperty->GetDefaultValue(values[0], values[1], values[2]);
        for (int i = 0; i < 3; ++i)
            kept.mValues[i] = ToCurveValue(values[i]);
        kept.mMembers = static_cast<unsigned char>(kept.mMembers | 7u);
        return;
    }
    double value = 0.0;
    pUserProperty->GetDefaultValue(value);
    kept.mValues[0] = ToCurveValue(value);
    kept.mMembers = static_cast<unsigned char>(kept.mMembers | 1u);
}

bool KQoxTakeNodeContainer::RememberDefaultChannels(const std::function<void(KQoxTakeNode*)>& pAdd, void* pOwned,
                                                    const void* pSource, bool* pMadeNone)
{
    if (!IsDefaultTakePending())
        return true;
    KArrayTemplate<KProperty*>* owned = static_cast<KArrayTemplate<KProperty*>*>(pOwned);
    // The channels are made in a Default take of their own, whose curves
    // register their records here like those of the real one.
    const int first = mDefaultTakeCallbacks.GetCount();
    KQoxTakeNode scratch(kDefaultTakeName);
    pAdd(&scratch);
    const int records = mDefaultTakeCallbacks.GetCount() - first;
    if (pMadeNone)
        *pMadeNone = !scratch.GetKFCurveNode() || scratch.GetKFCurveNode()->GetCount() == 0;
    bool known = scratch.GetKFCurveNode() && CountCurves(scratch.GetKFCurveNode()) == records;
    std::vector<KeptValues> found;
    for (int i = first; known && i < mDefaultTakeCallbacks.GetCount(); ++i)
    {
        KQoxDefaultTakeCallback* record = mDefaultTakeCallbacks[i];
        const int member = record->mMember;
        known = record->mCurve && owned && owned->Find(record->mProperty) >= 0 && member >= 0 &&
                member < kMaxChannelMembers;
        if (!known)
            break;
        KeptValues* kept = nullptr;
        for (KeptValues& candidate : found)
            if (candidate.mProperty == record->mProperty)
                kept = &candidate;
        if (!kept)
        {
            found.push_back(KeptValues{record->mProperty, pSource, {0.0f, 0.0f, 0.0f, 0.0f}, 0});
            kept = &found.back();
        }
        // A member tied twice cannot be told apart.
        known = (kept->mMembers & (1u << member)) == 0;
        kept->Set(member, record->mCurve->GetValue());
    }
    UnregisterDefaultTakeCallbacksFrom(first);
    if (!known)
        return false;
    for (const KeptValues& values : found)
    {
        KeptValues& kept = Keep(values.mProperty, pSource);
        for (int m = 0; m < kMaxChannelMembers; ++m)
            if (values.mMembers & (1u << m))
                kept.mValues[m] = values.mValues[m];
        kept.mMembers = static_cast<unsigned char>(kept.mMembers | values.mMembers);
    }
    return true;
}

void KQoxTakeNodeContainer::ForgetDefaultChannels(const void* pSource)
{
    mKeptValues.erase(std::remove_if(mKeptValues.begin(), mKeptValues.end(),
                                     [pSource](const KeptValues& kept) { return kept.mSource == pSource; }),
                      mKeptValues.end());
}

bool KQoxTakeNodeContainer::KeptValuesAreCurrent()
{
    for (KeptValues& kept : mKeptValues)
    {
        float values[kMaxChannelMembers] = {0.0f, 0.0f, 0.0f, 0.0f};
        const unsigned members = CurveValuesOf(kept.mProperty, values);
        if ((kept.mMembers & ~members) != 0)
            return false;
        for (int m = 0; m < kMaxChannelMembers; ++m)
            if ((kept.mMembers & (1u << m)) && !SameFloat(kept.mValues[m], values[m]))
                return false;
    }
    return true;
}

void KQoxTakeNodeContainer::ApplyKeptValues(int pFirst)
{
    if (mKeptValues.empty())
        return;
    for (int i = pFirst; i < mDefaultTakeCallbacks.GetCount(); ++i)
        if (KQoxDefaultTakeCallback* record = mDefaultTakeCallbacks[i])
            ApplyKeptValue(record->mProperty, record->mMember, record->mCurve);
}

void KQoxTakeNodeContainer::ApplyKeptValue(KProperty* pProperty, int pMember, KFCurve* pCurve)
{
    KeptValues* kept = FindKept(pProperty);
    if (kept && pMember >= 0 && pMember < kMaxChannelMembers && (kept->mMembers & (1u << pMember)))
        SetStaticValue(pCurve, kept->mValues[pMember]);
}

KQoxTakeNodeContainer& KQoxTakeNodeContainer::operator=(KQoxTakeNodeContainer& pSource)
{
    if (&pSource == this)
        return *this;
    KQoxObject::operator=(pSource);
    pSource.EnsureDefaultTake();
    DestroyTakeNodes();
    for (int i = 0; i < pSource.mTakeNodeArray.GetCount(); ++i)
        mTakeNodeArray.Add(new KQoxTakeNode(*pSource.mTakeNodeArray[i]));
    mCurrentTakeNode = pSource.mCurrentTakeNode;
    RebindDefaultTakeCallbacks(pSource);
    return *this;
}

void KQoxTakeNodeContainer::RebindDefaultTakeCallbacks(KQoxTakeNodeContainer& pSource)
{
    KQoxTakeNode* sourceDefault = pSource.GetDefaultTakeNode();
    KQoxTakeNode* copyDefault = GetDefaultTakeNode();
    KQoxPropertyHandler* handler = GetPropertyHandler();
    if (!sourceDefault || !copyDefault || !handler)
        return;
    std::unordered_map<KFCurve*, KFCurve*> copies;
    MapCopiedCurves(sourceDefault->GetKFCurveNode(), copyDefault->GetKFCurveNode(), copies);
    for (int i = 0; i < pSource.mDefaultTakeCallbacks.GetCount(); ++i)
    {
        KQoxDefaultTakeCallback* record = pSource.mDefaultTakeCallbacks[i];
        if (!record || !record->mProperty)
            continue;
        auto copy = copies.find(record->mCurve);
        if (copy == copies.end())
            continue;
        KProperty* own = handler->FindPropertyByName(record->mProperty->GetPropertyName());
        if (own)
            RegisterDefaultTakeCallback(own, record->mMember, copy->second);
    }
}

// Takes ----------------------------------------------------------------------------

void KQoxTakeNodeContainer::SetError(const char* pText)
{
    if (mError)
        mError->SetLastError(0, pText);
}

int KQoxTakeNodeContainer::FindTakeNode(const char* pName) const
{
    if (!pName)
        return -1;
    for (int i = 0; i < mTakeNodeArray.GetCount(); ++i)
        if (strcmp(TakeName(mTakeNodeArray[i]), pName) == 0)
            return i;
    return -1;
}

KQoxTakeNode* KQoxTakeNodeContainer::CreateTakeNode(const char* pName)
{
    if (!pName)
        pName = "";
    if (FindTakeNode(pName) >= 0)
    {
        SetError(kTakeNodeAlreadyExists);
        return nullptr;
    }
    KQoxTakeNode* takeNode = nullptr;
    if (IsDefaultTakePending() && !IsDefaultTakeName(pName) && KeptValuesAreCurrent())
    {
        // What a copy of the owed Default take would be, built directly: its
        // curves would hold the values the properties hold now.
        takeNode = new KQoxTakeNode(pName);
        mBuildingAsMade = true;
        AddChannels(takeNode);
        mBuildingAsMade = false;
    }
    else if (KQoxTakeNode* defaultTake = GetDefaultTakeNode())
    {
        takeNode = new KQoxTakeNode(*defaultTake);
        takeNode->SetName(pName);
    }
    else
    {
        takeNode = new KQoxTakeNode(pName);
        AddChannels(takeNode);
    }
    mTakeNodeArray.Add(takeNode);
    return takeNode;
}

void KQoxTakeNodeContainer::RemoveTakeNodeAt(int pIndex)
{
    delete mTakeNodeArray.RemoveAt(pIndex);
    // The current index keeps designating the same take; when that take is
    // the one removed, the previous take becomes current.
    if (pIndex <= mCurrentTakeNode)
        --mCurrentTakeNode;
}

bool KQoxTakeNodeContainer::RemoveTakeNode(int pIndex)
{
    if (pIndex == 0)
    {
        SetError(kCannotRemoveDefaultTakeNode);
        return false;
    }
    if (pIndex < 1 || pIndex >= mTakeNodeArray.GetCount())
    {
        SetError(kIndexOutOfRange);
        return false;
    }
    RemoveTakeNodeAt(pIndex);
    return true;
}

bool KQoxTakeNodeContainer::RemoveTakeNode(const char* pName)
{
    int index = FindTakeNode(pName);
    if (index < 0)
    {
        SetError(kUnknownTakeNodeName);
        return false;
    }
    if (index == 0)
    {
        SetError(kCannotRemoveDefaultTakeNode);
        return false;
    }
    RemoveTakeNodeAt(index);
    return true;
}

bool KQoxTakeNodeContainer::SetCurrentTakeNode(int pIndex)
{
    if (pIndex < 0 || pIndex >= mTakeNodeArray.GetCount())
    {
        SetError(kIndexOutOfRange);
        mCurrentTakeNode = 0;
        return false;
    }
    mCurrentTakeNode = pIndex;
    return true;
}

bool KQoxTakeNodeContainer::SetCurrentTakeNode(const char* pName)
{
    int index = FindTakeNode(pName);
    if (index < 0)
    {
        SetError(kUnknownTakeNodeName);
        mCurrentTakeNode = 0;
        return false;
    }
    mCurrentTakeNode = index;
    return true;
}

KQoxTakeNode* KQoxTakeNodeContainer::GetDefaultTakeNode()
{
    return EnsureDefaultTake();
}

KQoxTakeNode* KQoxTakeNodeContainer::GetBuiltTakeNode(int pIndex)
{
    return pIndex >= 0 && pIndex < mTakeNodeArray.GetCount() ? mTakeNodeArray[pIndex] : nullptr;
}

KQoxTakeNode* KQoxTakeNodeContainer::GetTakeNode(int pIndex)
{
    if (pIndex < 0 || pIndex >= mTakeNodeArray.GetCount())
    {
        SetError(kTakeNodeDoesNotExist);
        return nullptr;
    }
    return pIndex == 0 ? EnsureDefaultTake() : mTakeNodeArray[pIndex];
}

char* KQoxTakeNodeContainer::GetTakeNodeName(int pIndex)
{
    if (pIndex < 0 || pIndex >= mTakeNodeArray.GetCount())
    {
        SetError(kTakeNodeDoesNotExist);
        return nullptr;
    }
    return TakeName(mTakeNodeArray[pIndex]);
}

KQoxTakeNode* KQoxTakeNodeContainer::GetCurrentTakeNode()
{
    return GetTakeNode(mCurrentTakeNode);
}

char* KQoxTakeNodeContainer::GetCurrentTakeNodeName()
{
    return GetTakeNodeName(mCurrentTakeNode);
}

bool KQoxTakeNodeContainer::IsChannelAnimated(const char* pNodeName, const char* pChannelName,
                                              const char* pSubChannelName)
{
    for (int i = 1; i < mTakeNodeArray.GetCount(); ++i)
        if (mTakeNodeArray[i]->IsChannelAnimated(pNodeName, pChannelName, pSubChannelName))
            return true;
    return false;
}

bool KQoxTakeNodeContainer::IsChannelAnimated(const char* pNodeName, const char* pChannelName, KDataType* pDataType)
{
    for (int i = 1; i < mTakeNodeArray.GetCount(); ++i)
        if (mTakeNodeArray[i]->IsChannelAnimated(pNodeName, pChannelName, pDataType))
            return true;
    return false;
}

bool KQoxTakeNodeContainer::GetAnimationInterval(KTime& pStart, KTime& pStop)
{
    // The Default take owed has no key.
    KQoxTakeNode* take = GetBuiltTakeNode(mCurrentTakeNode);
    if (!take)
        return false;
    KFCurveNode* root = take->GetKFCurveNode();
    KTime start = KTIME_INFINITE;
    KTime stop = KTIME_MINUS_INFINITE;
    if (!root || !root->GetAnimationInterval(start, stop))
        return false;
    if (start < pStart)
        pStart = start;
    if (stop > pStop)
        pStop = stop;
    return true;
}

// Properties and channels -------------------------------------------------------------

void KQoxTakeNodeContainer::FillPropertyList(void* pList)
{
    KQoxPropertyHandler* handler = GetPropertyHandler();
    if (!pList || !handler)
        return;
    KArrayTemplate<KProperty*>* list = static_cast<KArrayTemplate<KProperty*>*>(pList);
    for (int i = 0; i < handler->GetPropertyCount(); ++i)
        list->Add(handler->GetProperty(i));
}

void KQoxTakeNodeContainer::PublishPropertiesLater()
{
    KQoxPropertyHandler* handler = GetPropertyHandler();
    if (!handler)
        return;
    // With wrappers attached already, the ones to make depend on them.
    if (GetPropertyCount() != 0)
    {
        PublishProperties();
        return;
    }
    const int count = handler->GetPropertyCount();
    const bool rowsMayBeAnimatable = handler->DeferredRowsMayBeAnimatable();
    int published = 0;
    for (int i = 0; i < count; ++i)
    {
        ++published;
        // A row not made yet is plain (not animatable): attaching its
        // wrapper has no effect, and it stays unmade until the wrappers are.
        KProperty* property = handler->GetPropertyIfMade(i);
        if (!property &&
            (!rowsMayBeAnimatable || !(handler->ReadPropertyInfoAt(i).GetFlags() & KPropertyInfo::eAnimatable)))
            continue;
        if (!property)
            property = handler->GetProperty(i);
        // Without the wrapper, one of the same property stands in for the
        // effects of attaching it.
        KQoxUserProperty standIn(GetSdkManager(), property);
        PropertyAdded(&standIn);
    }
    if (published == 0)
        return;
    mPendingCount = count;
    mPendingSequence = GetSdkManager().DeferUserProperties(this, published);
    mDeferredCount = published;
    mPublishPending = true;
}

void KQoxTakeNodeContainer::PublishPending()
{
    if (!mPublishPending)
        return;
    mPublishPending = false;
    GetSdkManager().EndDeferredUserProperties(this, mDeferredCount);
    KQoxPropertyHandler* handler = GetPropertyHandler();
    const int count = handler ? std::min(mPendingCount, handler->GetPropertyCount()) : 0;
    unsigned long long sequence = mPendingSequence;
    mPendingCount = 0;
    mDeferredCount = 0;
    for (int i = 0; i < count; ++i)
    {
        KProperty* property = handler->GetProperty(i);
        if (!property)
            continue;
        KQoxUserProperty* userProperty = CreateKQoxUserProperty(property);
        const unsigned long long place = sequence++;
        if (!userProperty)
            continue;
        userProperty->SetCreationSequence(place);
        // Attached without PropertyAdded: its effects took place when the
        // publication was put off.
        mUserProperties.Add(userProperty);
        userProperty->SetPropertyHandler(handler);
    }
}

int KQoxTakeNodeContainer::GetPendingPropertyCount() const
{
    KQoxPropertyHandler* handler =
        mPublishPending ? const_cast<KQoxTakeNodeContainer*>(this)->GetPropertyHandler() : nullptr;
    return handler ? std::min(mPendingCount, handler->GetPropertyCount()) : 0;
}

KProperty* KQoxTakeNodeContainer::FindPendingProperty(const char* pName)
{
    KQoxPropertyHandler* handler = mPublishPending && pName ? GetPropertyHandler() : nullptr;
    if (!handler)
        return nullptr;
    // The first of that name in the whole list is the first among the
    // pending ones when it lies among them; found without making any.
    const int index = handler->FindPropertyIndexByName(pName);
    return index >= 0 && index < GetPendingPropertyCount() ? handler->GetProperty(index) : nullptr;
}

void KQoxTakeNodeContainer::ForgetPendingProperties()
{
    if (!mPublishPending)
        return;
    mPublishPending = false;
    GetSdkManager().EndDeferredUserProperties(this, mDeferredCount);
    mPendingCount = 0;
    mDeferredCount = 0;
}

void KQoxTakeNodeContainer::DropPendingProperties()
{
    mPublishPending = false;
    mPendingCount = 0;
    mDeferredCount = 0;
}

void KQoxTakeNodeContainer::PublishProperties()
{
    KQoxPropertyHandler* handler = GetPropertyHandler();
    if (!handler)
        return;
    for (int i = 0; i < handler->GetPropertyCount(); ++i)
    {
        KProperty* property = handler->GetProperty(i);
        if (!property || GetProperty(property))
            continue;
        KQoxUserProperty* userProperty = CreateKQoxUserProperty(property);
        if (!userProperty)
            continue;
        AddProperty(userProperty);
        userProperty->SetPropertyHandler(handler);
    }
}

void KQoxTakeNodeContainer::CreateChannelsForProperty(KProperty* pProperty, KQoxTakeNode* pTakeNode)
{
    if (!pProperty || !pTakeNode || !pTakeNode->GetKFCurveNode())
        return;
    KFCurveNode* root = pTakeNode->GetKFCurveNode();
    const char* name = pProperty->GetPropertyName();
    if (FindChannelNode(root, name))
        return;
    bool isDefault = IsDefaultTakeName(pTakeNode->GetName());
    int count = GetMemberCount(pProperty);
    // A value of more members than the channel naming knows gets no channel.
    if (count > kMaxChannelMembers)
        return;

    KFCurveNode* node = nullptr;
    if (count < 2)
    {
        node = root->FindOrCreate(name, true);
        if (isDefault)
            RegisterDefaultTakeCallback(pProperty, 0, node->FCurveGet());
    }
    else
    {
        node = root->FindOrCreate(name, false);
        for (int i = 0; i < count; ++i)
        {
            KFCurveNode* member = GetOrCreateMember(node, i);
            if (isDefault)
                RegisterDefaultTakeCallback(pProperty, i, member->FCurveGet());
        }
    }
    UpdateDefaultValuesWithProperty(node, pProperty);
}

void KQoxTakeNodeContainer::PropertyAdded(KQoxUserProperty* pUserProperty)
{
    if (!pUserProperty)
        return;
    if (KQoxPropertyHandler* handler = GetPropertyHandler())
        handler->CreateKProperty(pUserProperty);
    if (!pUserProperty->GetFlag(KQoxUserProperty::eANIMATABLE))
        return;
    KProperty* property = pUserProperty->GetKProperty();
    if (property)
        property->ModifyPropertyFlag(KProperty::eAnimated, true);

    KeepOrBuildDefaultTakeFor(pUserProperty);
    // The channels live in the built takes: with none (only the owed
    // Default take) there is nothing more to do.
    bool anyBuilt = false;
    for (int i = 0; i < mTakeNodeArray.GetCount() && !anyBuilt; ++i)
        anyBuilt = mTakeNodeArray[i] != nullptr;
    if (!anyBuilt)
        return;
    KQoxUserProperty::EUserPropertyType type = pUserProperty->GetPropertyType();
    bool isVector = type == KQoxUserProperty::eVECTOR || type == KQoxUserProperty::eCOLOR;
    KString name = pUserProperty->GetName();
    KString effective = GetEffectivePropertyName(name);
    bool isTransform = effective != name;

    for (int i = 0; i < mTakeNodeArray.GetCount(); ++i)
    {
        KFCurveNode* root = mTakeNodeArray[i] ? mTakeNodeArray[i]->GetKFCurveNode() : nullptr;
        if (!root)
            continue;
        if (isTransform)
        {
            if (KFCurveNode* node = FindChannelNode(root, effective.ToChars()))
                UpdateDefaultValuesWithProperty(node, pUserProperty);
            continue;
        }
        KFCurveNode* node = FindChannelNode(root, name.ToChars());
        if (!node)
        {
            node = root->FindOrCreate(name.ToChars(), !isVector);
            if (i == 0 && property)
            {
                if (!isVector)
                {
                    RegisterDefaultTakeCallback(property, 0, node->FCurveGet());
                }
                else
                {
                    for (int member = 0; member < 3; ++member)
                        RegisterDefaultTakeCallback(property, member, GetOrCreateMember(node, member)->FCurveGet());
                }
            }
        }
        UpdateDefaultValuesWithProperty(node, pUserProperty);
    }
}

void KQoxTakeNodeContainer::PropertyRemoved(KQoxUserProperty* pUserProperty)
{
    if (!pUserProperty)
        return;
    KString name = pUserProperty->GetName();
    // Which channel of the owed take the name would find is not known.
    EnsureDefaultTake();
    for (int i = 0; i < mTakeNodeArray.GetCount(); ++i)
    {
        KFCurveNode* root = mTakeNodeArray[i]->GetKFCurveNode();
        KFCurveNode* node = FindChannelNode(root, name.ToChars());
        KFCurveNode* parent = node ? node->GetParent() : nullptr;
        if (!parent)
            continue;
        // The channel is taken out and destroyed with its curves, whose
        // destruction also drops their Default-take callback records, so no
        // record outlives the property destroyed below.
        parent->Remove(parent->Find(node));
        node->Destroy();
    }
    if (KQoxPropertyHandler* handler = GetPropertyHandler())
        handler->DestroyKProperty(pUserProperty);
}

bool KQoxTakeNodeContainer::PropertyDefaultValueChanged(KQoxUserProperty* pUserProperty)
{
    if (!pUserProperty || !pUserProperty->GetFlag(KQoxUserProperty::eANIMATABLE))
        return false;
    if (mCurrentTakeNode < 0 || mCurrentTakeNode >= mTakeNodeArray.GetCount())
        return false;
    KeepOrBuildDefaultTakeFor(pUserProperty);
    KString name = GetEffectivePropertyName(pUserProperty->GetName());
    KQoxTakeNode* currentTake = mTakeNodeArray[mCurrentTakeNode];
    KFCurveNode* current = currentTake ? currentTake->GetKFCurveNode() : nullptr;
    if (currentTake)
    {
        if (!current)
            return false;
        UpdateDefaultValuesWithProperty(FindChannelNode(current, name.ToChars()), pUserProperty);
    }
    if (KQoxTakeNode* defaultTake = mTakeNodeArray[0])
        UpdateDefaultValuesWithProperty(FindChannelNode(defaultTake->GetKFCurveNode(), name.ToChars()), pUserProperty);
    return true;
}

void KQoxTakeNodeContainer::UpdateDefaultTakeFromProperties()
{
    if (IsDefaultTakePending() && !mBuildingAsMade && KeepDefaultValuesOfProperties())
        return;
    KQoxTakeNode* defaultTake = GetDefaultTakeNode();
    KFCurveNode* root = defaultTake ? defaultTake->GetKFCurveNode() : nullptr;
    if (!root)
        return;
    const ChannelsInSearchOrder channels(root);
    auto channelOf = [&](const char* propertyName) {
        const char* name = GetEffectivePropertyName(propertyName);
        return strchr(name, '/') ? FindChannelNode(root, name) : channels.Find(name);
    };
    // The handler's properties by name first: a row of its table is made
    // only when a channel takes its value.
    if (KQoxPropertyHandler* handler = GetPropertyHandler())
    {
        for (int i = 0; i < handler->GetPropertyCount(); ++i)
            if (KFCurveNode* node = channelOf(handler->ReadPropertyInfoAt(i).mName))
                UpdateDefaultValuesWithProperty(node, handler->GetProperty(i));
    }
    KArrayTemplate<KProperty*> properties(16);
    FillAddedPropertyList(&properties);
    for (int i = 0; i < properties.GetCount(); ++i)
        if (KProperty* property = properties[i])
            UpdateDefaultValuesWithProperty(channelOf(property->GetPropertyName()), property);
}

// Default-take callbacks ------------------------------------------------------------------

int KQoxTakeNodeContainer::GetDefaultTakeCallbackCount()
{
    EnsureDefaultTake();
    return mDefaultTakeCallbacks.GetCount();
}

void KQoxTakeNodeContainer::RegisterDefaultTakeCallback(KProperty* pProperty, int pMember, KFCurve* pCurve)
{
    if (!pProperty || !pCurve)
        return;
    if (mTieCollector)
    {
        mTieCollector->push_back(TiedCurve{pProperty, pMember, pCurve});
        return;
    }
    KQoxDefaultTakeCallback* record = new KQoxDefaultTakeCallback(pProperty, pMember, pCurve, this);
    mDefaultTakeCallbacks.Add(record);
    pCurve->CallbackRegister(DefaultTakeValueChangedCallback, record);
}

void KQoxTakeNodeContainer::UnregisterDefaultTakeCallback(KQoxDefaultTakeCallback*& pCallback)
{
    if (!pCallback)
        return;
    int index = mDefaultTakeCallbacks.Find(pCallback);
    if (index < 0)
        return;
    if (pCallback->mCurve)
        pCallback->mCurve->CallbackUnregister(DefaultTakeValueChangedCallback, pCallback);
    mDefaultTakeCallbacks.RemoveAt(index);
    delete pCallback;
    pCallback = nullptr;
}

void KQoxTakeNodeContainer::UnregisterAllDefaultTakeCallback()
{
    // From the last: each record leaves the list before its curve forgets
    // it, without a search or a shift of the rest.
    while (mDefaultTakeCallbacks.GetCount() > 0)
    {
        KQoxDefaultTakeCallback* record = mDefaultTakeCallbacks.RemoveLast();
        if (!record)
            continue;
        if (record->mCurve)
            record->mCurve->CallbackUnregister(DefaultTakeValueChangedCallback, record);
        delete record;
    }
}

} // namespace qoxsdk_600
