#include "scene/kqoxuserproperty.h"

#include <cstring>
#include <limits>

#include "object/kproperty.h"
#include "scene/kqoxpropertyhandler.h"

namespace qoxsdk_600 {

namespace {
const char* const kTypeNames[6] = {"Unidentified", "Bool", "Real", "Color", "Integer", "Vector"};

// User flag bit to property-info bit: 1 animatable, 2 user, 4 temporary.
int MapFlags(int pFlags)
{
    int bits = 0;
    if (pFlags & KQoxUserProperty::eANIMATABLE)
        bits |= KPropertyInfo::eAnimatable;
    if (pFlags & KQoxUserProperty::eUSER)
        bits |= KPropertyInfo::eUser;
    if (pFlags & KQoxUserProperty::eTEMPORARY)
        bits |= KPropertyInfo::eTemporary;
    return bits;
}

bool IsColorType(kPropertyType pType)
{
    return pType == kPropertyTypeColorRGB || pType == kPropertyTypeColorRGBA;
}
} // namespace

// The values a user property holds before a real property exists.
struct KQoxUserProperty::Entry
{
    KString mName;
    EUserPropertyType mType = eUNIDENTIFIED;
    KString mLabel;
    double mMin = -std::numeric_limits<double>::infinity();
    double mMax = std::numeric_limits<double>::infinity();
    EFlags mFlags = 0;
};

KQoxUserProperty::EUserPropertyType GetPropertyTypeFromName(const char* pName)
{
    if (!pName)
        return KQoxUserProperty::eUNIDENTIFIED;
    for (int type = KQoxUserProperty::eBOOL; type <= KQoxUserProperty::eVECTOR; ++type)
        if (strcmp(pName, kTypeNames[type]) == 0)
            return type;
    return KQoxUserProperty::eUNIDENTIFIED;
}

KQoxUserProperty::KQoxUserProperty(KQoxSdkManager& pManager, const char* pName, const char* pTypeName,
                                   const char* pLabel)
    : KQoxUserProperty(pManager, pName, GetPropertyTypeFromName(pTypeName), pLabel, 0)
{}

KQoxUserProperty::KQoxUserProperty(KQoxSdkManager& pManager, const char* pName, EUserPropertyType pType,
                                   const char* pLabel, EFlags pFlags)
    : mProperty(nullptr)
    , mHandler(nullptr)
    , mEntry(new Entry)
    , mManager(&pManager)
{
    mEntry->mName = pName ? pName : "";
    mEntry->mType = pType;
    mEntry->mLabel = pLabel ? pLabel : "";
    mEntry->mFlags = pFlags;
}

KQoxUserProperty::KQoxUserProperty(KQoxSdkManager& pManager, KProperty* pProperty)
    : mProperty(pProperty)
    , mHandler(nullptr)
    , mManager(&pManager)
{}

KQoxUserProperty::~KQoxUserProperty() {}

KQoxUserProperty& KQoxUserProperty::operator=(const KQoxUserProperty&)
{
    return *this;
}

KString KQoxUserProperty::GetName() const
{
    if (mProperty)
        return KString(mProperty->GetPropertyName());
    if (mEntry)
        return mEntry->mName;
    return KString("");
}

KString KQoxUserProperty::GetLabel(bool pReturnNameIfEmpty) const
{
    KString label;
    if (mProperty)
        label = mProperty->GetPropertyLabel() ? mProperty->GetPropertyLabel() : "";
    else if (mEntry)
        label = mEntry->mLabel;
    if (pReturnNameIfEmpty && label.IsEmpty())
        return GetName();
    return label;
}

void KQoxUserProperty::SetLabel(KString pLabel)
{
    if (mProperty)
        mProperty->SetPropertyLabel(pLabel.ToChars());
    else if (mEntry)
        mEntry->mLabel = pLabel;
}

KQoxUserProperty::EUserPropertyType KQoxUserProperty::GetPropertyType() const
{
    if (mProperty)
    {
        switch (mProperty->GetPropertyType())
        {
        case kPropertyTypeInt: return eINTEGER;
        case kPropertyTypeBool: return eBOOL;
        case kPropertyTypeFloat:
        case kPropertyTypeDouble: return eREAL;
        case kPropertyTypeVector3D: return eVECTOR;
        case kPropertyTypeColorRGB:
        case kPropertyTypeColorRGBA: return eCOLOR;
        default: return eUNIDENTIFIED;
        }
    }
    return mEntry ? mEntry->mType : eUNIDENTIFIED;
}

const char* KQoxUserProperty::GetPropertyTypeName(EUserPropertyType pType)
{
    if (pType < eUNIDENTIFIED || pType > eVECTOR)
        return nullptr;
    return kTypeNames[pType];
}

void KQoxUserProperty::SetMinLimit(double pMin)
{
    if (mEntry)
        mEntry->mMin = pMin;
    if (mProperty)
        mProperty->SetPropertyMin(pMin);
}

void KQoxUserProperty::SetMaxLimit(double pMax)
{
    if (mEntry)
        mEntry->mMax = pMax;
    if (mProperty)
        mProperty->SetPropertyMax(pMax);
}

void KQoxUserProperty::SetLimits(double pMin, double pMax)
{
    if (mEntry)
    {
        mEntry->mMin = pMin;
        mEntry->mMax = pMax;
    }
    if (mProperty)
        mProperty->SetPropertyMinMax(pMin, pMax);
}

double KQoxUserProperty::GetMinLimit() const
{
    if (mProperty)
        return mProperty->GetPropertyMin();
    return mEntry ? mEntry->mMin : -std::numeric_limits<double>::infinity();
}

double KQoxUserProperty::GetMaxLimit() const
{
    if (mProperty)
        return mProperty->GetPropertyMax();
    return mEntry ? mEntry->mMax : std::numeric_limits<double>::infinity();
}

void KQoxUserProperty::ModifyFlag(EFlags pFlag, bool pValue)
{
    if (mEntry)
        mEntry->mFlags = pValue ? (mEntry->mFlags | pFlag) : (mEntry->mFlags & ~pFlag);
    if (mProperty)
    {
        // Only a real change touches the descriptor: a table property's is
        // shared until then.
        const KPropertyInfo::kFlags bits = MapFlags(pFlag);
        const KPropertyInfo::kFlags now = mProperty->ReadPropertyInfo().GetFlags();
        if ((pValue ? (now | bits) : (now & ~bits)) != now)
            mProperty->GetPropertyInfo().ModifyFlag(bits, pValue);
    }
}

bool KQoxUserProperty::GetFlag(EFlags pFlag) const
{
    if (mProperty)
    {
        if (pFlag != eANIMATABLE && pFlag != eUSER && pFlag != eTEMPORARY)
            return false;
        return mProperty->GetFlag(MapFlags(pFlag));
    }
    if (mEntry)
        return (mEntry->mFlags & pFlag) != 0;
    return false;
}

bool KQoxUserProperty::operator==(KProperty* pProperty) const
{
    return pProperty && mProperty && pProperty == mProperty;
}

void KQoxUserProperty::NotifyHandler()
{
    if (mHandler)
        mHandler->DefaultValueChanged(this);
}

// Default values -------------------------------------------------------------

void KQoxUserProperty::SetDefaultValue(bool pValue)
{
    SetDefaultValue(pValue ? 1 : 0);
}

void KQoxUserProperty::SetDefaultValue(int pValue)
{
    if (!mProperty)
        return;
    mProperty->SetInteger(pValue);
    NotifyHandler();
}

void KQoxUserProperty::SetDefaultValue(double pValue)
{
    if (!mProperty)
        return;
    mProperty->SetDouble(pValue);
    NotifyHandler();
}

void KQoxUserProperty::SetDefaultValue(const KQoxColor& pValue)
{
    if (!mProperty || !IsColorType(mProperty->GetPropertyType()))
        return;
    // Four doubles whatever the kind: a colour property's value is at most that.
    double values[4] = {pValue.mRed, pValue.mGreen, pValue.mBlue, 1.0};
    if (mProperty->GetPropertyType() == kPropertyTypeColorRGB)
    {
        double current[4] = {0.0, 0.0, 0.0, 1.0};
        mProperty->GetData(current, 0, nullptr, nullptr);
        values[3] = current[3];
    }
    mProperty->SetData(values, 0, nullptr, nullptr);
    NotifyHandler();
}

void KQoxUserProperty::SetDefaultValue(double pX, double pY, double pZ)
{
    if (!mProperty)
        return;
    kPropertyType type = mProperty->GetPropertyType();
    if (IsColorType(type))
    {
        SetDefaultValue(KQoxColor(pX, pY, pZ, 1.0));
        return;
    }
    if (type != kPropertyTypeVector3D)
        return;
    double values[4] = {0.0, 0.0, 0.0, 1.0};
    mProperty->GetData(values, 0, nullptr, nullptr);
    values[0] = pX;
    values[1] = pY;
    values[2] = pZ;
    mProperty->SetData(values, 0, nullptr, nullptr);
    NotifyHandler();
}

void KQoxUserProperty::GetDefaultValue(bool& pValue) const
{
    if (mProperty)
        pValue = mProperty->AsInteger() != 0;
}

void KQoxUserProperty::GetDefaultValue(int& pValue) const
{
    if (mProperty)
        pValue = mProperty->AsInteger();
}

void KQoxUserProperty::GetDefaultValue(double& pValue) const
{
    if (mProperty)
        pValue = mProperty->AsDouble();
}

void KQoxUserProperty::GetDefaultValue(KQoxColor& pValue) const
{
    if (!mProperty || !IsColorType(mProperty->GetPropertyType()))
        return;
    double values[4] = {0.0, 0.0, 0.0, 0.0};
    mProperty->GetData(values, 0, nullptr, nullptr);
    pValue.Set(values[0], values[1], values[2], pValue.mAlpha);
}

void KQoxUserProperty::GetDefaultValue(double& pX, double& pY, double& pZ) const
{
    if (!mProperty)
        return;
    kPropertyType type = mProperty->GetPropertyType();
    if (!IsColorType(type) && type != kPropertyTypeVector3D)
        return;
    double values[4] = {0.0, 0.0, 0.0, 0.0};
    mProperty->GetData(values, 0, nullptr, nullptr);
    pX = values[0];
    pY = values[1];
    pZ = values[2];
}

} // namespace qoxsdk_600
