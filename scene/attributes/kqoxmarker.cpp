// Markers and their property block.

#include "scene/attributes/kqoxmarker.h"

#include "base/karray.h"
#include "scene/attributes/kqoxattribute_private.h"
#include "scene/kqoxpropertybinding.h"

namespace qoxsdk_600 {

KPLUG_CLASS_IMPLEMENT(KQoxMarkerProperties, KObject, "KQoxMarkerProperties")

namespace {

const char* const kLookTexts[4] = {"Cube", "Hard Cross", "Light Cross", "Sphere"};
const char* const kTypeNames[4] = {"Marker", "OpticalMarker", "IKEffector", "FKEffector"};

// One marker channel: curve-node name, data type and layer type.
struct MarkerChannel
{
    const char* mName;
    KDataType* (*mDataType)();
    int mLayerType;
};

KDataType* OcclusionType()
{
    return KDataTypeOcclusion;
}
KDataType* IKReachTranslationType()
{
    return KDataTypeIKReachTranslation;
}
KDataType* IKReachRotationType()
{
    return KDataTypeIKReachRotation;
}

const MarkerChannel kOpticalChannels[1] = {{"Occlusion", &OcclusionType, KFCL_NOLAYER}};
const MarkerChannel kIKChannels[2] = {{"IK Reach Translation", &IKReachTranslationType, KFCL_ADD},
                                      {"IK Reach Rotation", &IKReachRotationType, KFCL_ADD}};

// The channels of a marker type: a pointer to the first and their count.
const MarkerChannel* ChannelsOf(int pType, int& pCount)
{
    pCount = pType == KQoxMarker::eOPTICAL ? 1 : pType == KQoxMarker::eIK_EFFECTOR ? 2 : 0;
    return pType == KQoxMarker::eOPTICAL ? kOpticalChannels : kIKChannels;
}

} // namespace

// ---------------------------------------------------------------------------
// Property block

KQoxMarkerProperties::KQoxMarkerProperties()
{
    typedef KQoxMarkerProperties P;
    BindMemberProperty(Look, "Look", this, &P::LookGet, &P::LookSet, kPropertyTypeEnum);
    BindAsString(Look, &P::LookAsString);
    BindMemberProperty(Size, "Size", this, &P::SizeGet, &P::SizeSet, kPropertyTypeDouble);
    BindMemberProperty(Color, "Color", this, &P::ColorGet, &P::ColorSet, kPropertyTypeColorRGB);
    BindMemberProperty(ShowLabel, "ShowLabel", this, &P::ShowLabelGet, &P::ShowLabelSet, kPropertyTypeBool);
    BindMemberProperty(IKPivot, "IKPivot", this, &P::IKPivotGet, &P::IKPivotSet, kPropertyTypeVector3D);
}

KQoxMarkerProperties::~KQoxMarkerProperties() {}

char* KQoxMarkerProperties::LookAsString(int pValue)
{
    return EnumText(kLookTexts, 4, pValue);
}

// ---------------------------------------------------------------------------
// Marker

KQoxMarker::KQoxMarker(KQoxSdkManager& pManager)
    : KQoxNodeAttribute(pManager)
    , mType(eSTANDARD)
    , mProperties(new KQoxMarkerProperties)
{
    Reset();
}

KQoxMarker::~KQoxMarker()
{
    attr::DetachAndDestroyBlock(*this, mProperties);
}

void KQoxMarker::Reset()
{
    mType = eSTANDARD;
    mProperties->LookSet(eCUBE);
    mProperties->SizeSet(100.0);
    mProperties->ColorSet(KgeRGBVector(1.0, 0.0, 0.0, 1.0));
    mProperties->ShowLabelSet(false);
    mProperties->IKPivotSet(KgeTVector(0.0, 0.0, 0.0, 1.0));
}

void KQoxMarker::SetType(EType pType)
{
    if (pType == mType)
        return;
    KQoxNode* node = GetNode();
    if (!node)
    {
        mType = pType;
        return;
    }
    UnsetNode();
    mType = pType;
    SetNode(*node);
}

void KQoxMarker::SetLook(ELook pLook)
{
    mProperties->LookSet(pLook);
}

KQoxMarker::ELook KQoxMarker::GetLook()
{
    return mProperties->LookGet();
}

void KQoxMarker::SetSize(double pSize)
{
    mProperties->SizeSet(pSize);
}

double KQoxMarker::GetSize()
{
    return mProperties->SizeGet();
}

void KQoxMarker::SetShowLabel(bool pShowLabel)
{
    mProperties->ShowLabelSet(pShowLabel);
}

bool KQoxMarker::GetShowLabel()
{
    return mProperties->ShowLabelGet();
}

void KQoxMarker::SetColor(KQoxColor pColor)
{
    mProperties->ColorSet(KgeRGBVector(pColor.mRed, pColor.mGreen, pColor.mBlue, 1.0));
}

KQoxColor KQoxMarker::GetColor()
{
    KgeRGBVector color = mProperties->ColorGet();
    return KQoxColor(color.r, color.g, color.b, 1.0);
}

KQoxColor& KQoxMarker::GetDefaultColor(KQoxColor& pColor)
{
    pColor = GetColor();
    return pColor;
}

void KQoxMarker::SetIKPivot(KQoxVector4& pPivot)
{
    mProperties->IKPivotSet(KgeTVector(pPivot[0], pPivot[1], pPivot[2], 1.0));
}

KQoxVector4 KQoxMarker::GetIKPivot()
{
    KgeTVector pivot = mProperties->IKPivotGet();
    return KQoxVector4(pivot.x, pivot.y, pivot.z, 1.0);
}

KFCurve* KQoxMarker::DefaultCurve(EType pType, KFCurve* (KQoxTakeNode::*pCurve)())
{
    if (mType != pType)
        return nullptr;
    KQoxTakeNode* take = attr::DefaultTakeOf(*this);
    return take ? (take->*pCurve)() : nullptr;
}

void KQoxMarker::SetDefaultOcclusion(double pValue)
{
    attr::SetCurveValue(DefaultCurve(eOPTICAL, &KQoxTakeNode::GetOcclusion), pValue);
}

double KQoxMarker::GetDefaultOcclusion()
{
    return attr::CurveValue(DefaultCurve(eOPTICAL, &KQoxTakeNode::GetOcclusion), 0.0);
}

void KQoxMarker::SetDefaultIKReachTranslation(double pValue)
{
    attr::SetCurveValue(DefaultCurve(eIK_EFFECTOR, &KQoxTakeNode::GetIKReachTranslation), pValue);
}

double KQoxMarker::GetDefaultIKReachTranslation()
{
    return attr::CurveValue(DefaultCurve(eIK_EFFECTOR, &KQoxTakeNode::GetIKReachTranslation), 0.0);
}

void KQoxMarker::SetDefaultIKReachRotation(double pValue)
{
    attr::SetCurveValue(DefaultCurve(eIK_EFFECTOR, &KQoxTakeNode::GetIKReachRotation), pValue);
}

double KQoxMarker::GetDefaultIKReachRotation()
{
    return attr::CurveValue(DefaultCurve(eIK_EFFECTOR, &KQoxTakeNode::GetIKReachRotation), 0.0);
}

void KQoxMarker::AddChannels(KQoxTakeNode* pTakeNode)
{
    KQoxNodeAttribute::AddChannels(pTakeNode);
    KFCurveNode* root = pTakeNode ? pTakeNode->GetKFCurveNode() : nullptr;
    if (!root)
        return;
    int count = 0;
    const MarkerChannel* channels = ChannelsOf(mType, count);
    for (int i = 0; i < count; ++i)
    {
        KDataType* dataType = channels[i].mDataType();
        // A take node already holding the channel keeps it (and its keys).
        if (root->Find(dataType))
            continue;
        KFCurveNode* node = KFCurveNodeCreate(channels[i].mName, dataType, channels[i].mLayerType, 0);
        KFCurve* curve = KFCurveCreate();
        node->FCurveSet(curve);
        curve->SetValue(0.0f);
        attr::SetCurveColor(curve, 0.75f, 0.0f, 0.0f);
        KFCurveNodeAdopt(root, node);
    }
}

void KQoxMarker::RemoveChannels(KQoxTakeNode* pTakeNode)
{
    KFCurveNode* root = pTakeNode ? pTakeNode->GetKFCurveNode() : nullptr;
    if (root)
    {
        int count = 0;
        const MarkerChannel* channels = ChannelsOf(mType, count);
        for (int i = 0; i < count; ++i)
            if (KFCurveNode* node = root->Find(channels[i].mDataType()))
                root->Delete(node);
    }
    KQoxNodeAttribute::RemoveChannels(pTakeNode);
}

void KQoxMarker::FillPropertyList(void* pList)
{
    attr::AppendProperties(*mProperties, pList);
}

KString KQoxMarker::GetTypeName()
{
    return KString(mType >= eSTANDARD && mType <= eFK_EFFECTOR ? kTypeNames[mType] : kTypeNames[0]);
}

KStringList KQoxMarker::GetTypeFlags()
{
    return TypeFlags("Marker");
}

KQoxMarker& KQoxMarker::operator=(KQoxMarker& pOther)
{
    if (&pOther == this)
        return *this;
    mType = pOther.mType;
    SetLook(pOther.GetLook());
    SetSize(pOther.GetSize());
    SetColor(pOther.GetColor());
    SetShowLabel(pOther.GetShowLabel());
    return *this;
}

} // namespace qoxsdk_600
