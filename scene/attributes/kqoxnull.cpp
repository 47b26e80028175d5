// Nulls, skeletons and their property blocks.

#include "scene/attributes/kqoxnull.h"

#include "base/karray.h"
#include "scene/attributes/kqoxattribute_private.h"
#include "scene/attributes/kqoxskeleton.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxpropertybinding.h"

namespace qoxsdk_600 {

KPLUG_CLASS_IMPLEMENT(KQoxNullProperties, KObject, "KQoxNullProperties")
KPLUG_CLASS_IMPLEMENT(KQoxSkeletonProperties, KObject, "KQoxSkeletonProperties")

namespace {

bool IsLimbOrLimbNode(int pType)
{
    return pType == KQoxSkeleton::eLIMB || pType == KQoxSkeleton::eLIMB_NODE;
}

bool IsRootType(int pType)
{
    return pType == KQoxSkeleton::eROOT || pType == KQoxSkeleton::eEFFECTOR;
}

} // namespace

// ---------------------------------------------------------------------------
// Null

KQoxNullProperties::KQoxNullProperties()
{
    typedef KQoxNullProperties P;
    BindMemberProperty(Size, "Size", this, &P::SizeGet, &P::SizeSet, kPropertyTypeDouble);
}

KQoxNullProperties::~KQoxNullProperties() {}

KQoxNull::KQoxNull(KQoxSdkManager& pManager)
    : KQoxNodeAttribute(pManager)
    , mSizeIsSet(false)
    , mProperties(new KQoxNullProperties)
{
    Reset();
}

KQoxNull::~KQoxNull()
{
    attr::DetachAndDestroyBlock(*this, mProperties);
}

void KQoxNull::Reset()
{
    mProperties->SizeSet(GetSizeDefaultValue());
    mSizeIsSet = false;
}

void KQoxNull::SetSize(double pSize)
{
    mProperties->SizeSet(pSize);
    mSizeIsSet = true;
}

double KQoxNull::GetSize()
{
    return mProperties->SizeGet();
}

void KQoxNull::FillPropertyList(void* pList)
{
    attr::AppendProperties(*mProperties, pList);
}

KString KQoxNull::GetTypeName()
{
    return KString("Null");
}

KStringList KQoxNull::GetTypeFlags()
{
    return TypeFlags("Null");
}

KQoxNull& KQoxNull::operator=(KQoxNull& pOther)
{
    if (&pOther == this)
        return *this;
    Reset();
    SetSize(pOther.GetSize());
    mSizeIsSet = pOther.GetSizeIsSet();
    return *this;
}

// ---------------------------------------------------------------------------
// Skeleton

KQoxSkeletonProperties::KQoxSkeletonProperties()
{
    typedef KQoxSkeletonProperties P;
    BindMemberProperty(Size, "Size", this, &P::SizeGet, &P::SizeSet, kPropertyTypeDouble);
    BindMemberProperty(LimbLength, "LimbLength", this, &P::LimbLengthGet, &P::LimbLengthSet, kPropertyTypeDouble);
    BindMemberProperty(Color, "Color", this, &P::ColorGet, &P::ColorSet, kPropertyTypeColorRGB);
    LimbLength.ModifyPropertyFlag(1, true);
}

KQoxSkeletonProperties::~KQoxSkeletonProperties() {}

KQoxSkeleton::KQoxSkeleton(KQoxSdkManager& pManager)
    : KQoxNodeAttribute(pManager)
    , mProperties(new KQoxSkeletonProperties)
    , mSkeletonType(eROOT)
    , mLimbLengthIsSet(false)
    , mLimbNodeSizeIsSet(false)
    , mLimbNodeColorIsSet(false)
    , mSkeletonTypeIsSet(false)
{
    Reset();
}

KQoxSkeleton::~KQoxSkeleton()
{
    attr::DetachAndDestroyBlock(*this, mProperties);
}

void KQoxSkeleton::Reset()
{
    mSkeletonType = GetSkeletonTypeDefaultValue();
    StoreColor(GetLimbNodeColorDefaultValue());
    mProperties->Color.ModifyPropertyFlag(kNotStoredFlag, !IsLimbOrLimbNode(mSkeletonType));
    mProperties->SizeSet(GetLimbNodeSizeDefaultValue());
    mProperties->LimbLengthSet(GetLimbLengthDefaultValue());
    mLimbLengthIsSet = false;
    mLimbNodeSizeIsSet = false;
    mLimbNodeColorIsSet = false;
    mSkeletonTypeIsSet = false;
}

void KQoxSkeleton::SetSkeletonType(ESkeletonType pType)
{
    mSkeletonTypeIsSet = true;
    mSkeletonType = pType;
    mProperties->Color.ModifyPropertyFlag(kNotStoredFlag, !IsLimbOrLimbNode(pType));
}

bool KQoxSkeleton::SetLimbLength(double pLength)
{
    if (mSkeletonType != eLIMB)
        return false;
    mProperties->LimbLengthSet(pLength);
    mLimbLengthIsSet = true;
    return true;
}

double KQoxSkeleton::GetLimbLength()
{
    return mProperties->LimbLengthGet();
}

bool KQoxSkeleton::SetLimbNodeSize(double pSize)
{
    mProperties->SizeSet(pSize);
    mLimbNodeSizeIsSet = true;
    return true;
}

double KQoxSkeleton::GetLimbNodeSize()
{
    return mProperties->SizeGet();
}

void KQoxSkeleton::StoreColor(const KQoxColor& pColor)
{
    mProperties->ColorSet(KgeRGBVector(pColor.mRed, pColor.mGreen, pColor.mBlue, 1.0));
}

bool KQoxSkeleton::SetLimbNodeColor(const KQoxColor& pColor)
{
    if (!IsLimbOrLimbNode(mSkeletonType))
        return false;
    StoreColor(pColor);
    mLimbNodeColorIsSet = true;
    return true;
}

KQoxColor KQoxSkeleton::GetLimbNodeColor()
{
    KgeRGBVector color = mProperties->ColorGet();
    return KQoxColor(color.r, color.g, color.b, 1.0);
}

void KQoxSkeleton::FillPropertyList(void* pList)
{
    attr::AppendProperties(*mProperties, pList);
}

KString KQoxSkeleton::GetTypeName()
{
    switch (mSkeletonType)
    {
    case eROOT:
    case eEFFECTOR: return KString("Root");
    case eLIMB: return KString("Limb");
    case eLIMB_NODE: return KString("LimbNode");
    }
    return KString("");
}

KStringList KQoxSkeleton::GetTypeFlags()
{
    KStringList flags;
    if (IsRootType(mSkeletonType))
    {
        flags.Add("Null");
        flags.Add("Skeleton");
        flags.Add("Root");
    }
    else if (IsLimbOrLimbNode(mSkeletonType))
        flags.Add("Skeleton");
    return flags;
}

KQoxSkeleton& KQoxSkeleton::operator=(KQoxSkeleton& pOther)
{
    if (&pOther == this)
        return *this;
    Reset();
    SetSkeletonType(pOther.GetSkeletonType());
    SetLimbNodeSize(pOther.GetLimbNodeSize());
    if (pOther.GetSkeletonType() == eLIMB)
        SetLimbLength(pOther.GetLimbLength());
    if (IsLimbOrLimbNode(pOther.GetSkeletonType()))
        SetLimbNodeColor(pOther.GetLimbNodeColor());
    mLimbLengthIsSet = pOther.mLimbLengthIsSet;
    mLimbNodeSizeIsSet = pOther.mLimbNodeSizeIsSet;
    mLimbNodeColorIsSet = pOther.mLimbNodeColorIsSet;
    mSkeletonTypeIsSet = pOther.mSkeletonTypeIsSet;
    return *this;
}

KQoxNodeAttribute* KQoxSkeleton::CreatePivotNodeAttribute(const char* pName)
{
    (void)pName;
    KQoxSkeleton* limb = GetSdkManager().CreateKQoxSkeleton();
    if (!limb)
        return nullptr;
    limb->SetSkeletonType(eLIMB_NODE);
    limb->SetLimbNodeSize(GetLimbNodeSize());
    return limb;
}

} // namespace qoxsdk_600
