#ifndef QOX_SCENE_KQOXUSERPROPERTY_H
#define QOX_SCENE_KQOXUSERPROPERTY_H

// KQoxUserProperty: the SDK's handle on one property of a scene object.
//
// It either wraps a property of the object model (every value operation goes
// to that property) or is a stand-alone entry holding name, type, label,
// limits and flags until the owning object's property handler creates the
// property from it; from then on it wraps that property and keeps the entry.
// Made and destroyed by the SDK manager.

#include <memory>

#include "base/kstring.h"
#include "scene/kqoxcolor.h"

class KProperty;

namespace qoxsdk_600 {

class KQoxSdkManager;
class KQoxPropertyHandler;

class KQoxUserProperty
{
public:
    typedef int EUserPropertyType;
    enum
    {
        eUNIDENTIFIED = 0,
        eBOOL = 1,
        eREAL = 2,
        eCOLOR = 3,
        eINTEGER = 4,
        eVECTOR = 5
    };
    typedef int EFlags;
    enum
    {
        eANIMATABLE = 1, // channels in every take, callbacks in the Default take
        eUSER = 2,
        eTEMPORARY = 4
    };

    // A stand-alone entry: the type from its name, limits -inf and +inf, no flags.
    KQoxUserProperty(KQoxSdkManager& pManager, const char* pName, const char* pTypeName, const char* pLabel);
    KQoxUserProperty(KQoxSdkManager& pManager, const char* pName, EUserPropertyType pType, const char* pLabel,
                     EFlags pFlags);
    // A wrapper of the property; no entry, no handler.
    KQoxUserProperty(KQoxSdkManager& pManager, KProperty* pProperty);
    // Releases the entry; the wrapped property stays (its handler owns it).
    ~KQoxUserProperty();
    KQoxUserProperty(const KQoxUserProperty&) = delete;
    // Changes nothing and returns the target.
    KQoxUserProperty& operator=(const KQoxUserProperty& pOther);

    // The wrapped property's name, else the entry's, else empty.
    KString GetName() const;
    // The wrapped property's label, else the entry's; with the flag, the name
    // when that label is empty.
    KString GetLabel(bool pReturnNameIfEmpty = true) const;
    void SetLabel(KString pLabel);

    // A wrapper answers from its property type code; an entry its stored type.
    EUserPropertyType GetPropertyType() const;
    // "Unidentified", "Bool", "Real", "Color", "Integer", "Vector"; null outside.
    static const char* GetPropertyTypeName(EUserPropertyType pType);

    // Limits go to the entry and to the wrapped property, whichever exist.
    void SetMinLimit(double pMin);
    void SetMaxLimit(double pMax);
    void SetLimits(double pMin, double pMax);
    double GetMinLimit() const;
    double GetMaxLimit() const;

    // Entry: sets or clears the bits. Wrapper: the mapped property-info bits
    // (1 animatable, 2 user, 4 temporary).
    void ModifyFlag(EFlags pFlag, bool pValue);
    // Wrapper: pFlag must be exactly 1, 2 or 4. Entry: any bit of pFlag set.
    bool GetFlag(EFlags pFlag) const;

    // True when both are non-null and the same property.
    bool operator==(KProperty* pProperty) const;
    bool operator!=(KProperty* pProperty) const { return !(*this == pProperty); }

    // The handler told of default-value changes; null until set.
    void SetPropertyHandler(KQoxPropertyHandler* pHandler) { mHandler = pHandler; }
    KQoxPropertyHandler* GetPropertyHandler() const { return mHandler; }
    // The wrapped property, null for an entry not yet created.
    KProperty* GetKProperty() const { return mProperty; }
    void SetKProperty(KProperty* pProperty) { mProperty = pProperty; }
    KQoxSdkManager* GetSdkManager() const { return mManager; }

    // Default value: only a wrapped property holds one. Setters that changed
    // it tell the handler (DefaultValueChanged); getters leave their output
    // unchanged when they cannot answer.
    void SetDefaultValue(bool pValue);
    void SetDefaultValue(int pValue);
    void SetDefaultValue(double pValue);
    // ColorRGB: red, green, blue. ColorRGBA: the same and alpha 1.0.
    void SetDefaultValue(const KQoxColor& pValue);
    // Colour properties: as a colour of alpha 1 (clamped); Vector3D: (x, y, z).
    void SetDefaultValue(double pX, double pY, double pZ);
    void GetDefaultValue(bool& pValue) const;
    void GetDefaultValue(int& pValue) const;
    void GetDefaultValue(double& pValue) const;
    // Colour properties: red, green, blue; the alpha is left as it was.
    void GetDefaultValue(KQoxColor& pValue) const;
    void GetDefaultValue(double& pX, double& pY, double& pZ) const;

    // Creation order in the manager's list (set by the manager): earlier
    // properties have lower numbers, also those whose making was put off.
    unsigned long long GetCreationSequence() const { return mCreationSequence; }
    void SetCreationSequence(unsigned long long pSequence) { mCreationSequence = pSequence; }

private:
    struct Entry;
    void NotifyHandler();

    unsigned long long mCreationSequence = 0;

    KProperty* mProperty;
    KQoxPropertyHandler* mHandler;
    std::unique_ptr<Entry> mEntry;
    KQoxSdkManager* mManager;
};

// "Bool" 1, "Real" 2, "Color" 3, "Integer" 4, "Vector" 5, exact comparison;
// null or any other text 0.
KQoxUserProperty::EUserPropertyType GetPropertyTypeFromName(const char* pName);

} // namespace qoxsdk_600

#endif
