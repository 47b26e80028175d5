#ifndef QOX_OBJECT_KPROPERTY_H
#define QOX_OBJECT_KPROPERTY_H

// Properties: named, typed values that belong to an object.
//
// Every property is a plug owned by its object; changes of its value, name
// and range are announced through the plug notifications, which reach the
// owner. The descriptor (KPropertyInfo) holds the name, label, value kind,
// data type, range, the owner's getter and setter and the flags; the typed
// value lives in KPropertyTemplate<T>. Properties of a class's fixed table may
// share one descriptor per row; a property copies it when its own changes. List, object-list and event
// properties are declared in kpropertylist.h.

#include <type_traits>

#include "base/kmath_kernels.h"
#include "base/kstring.h"
#include "base/kstringlist.h"
#include "base/ktime.h"
#include "object/kobject.h"
#include "object/kpropertydatatype.h"

// Value kinds (kPropertyType).
enum
{
    kPropertyTypeUnknown = 0,
    kPropertyTypeInt = 1,
    kPropertyTypeBool = 2,
    kPropertyTypeFloat = 3,
    kPropertyTypeDouble = 4,
    kPropertyTypeCharPtr = 5,
    kPropertyTypeEnum = 6,
    kPropertyTypeTime = 7,
    kPropertyTypeString = 8,
    kPropertyTypeObject = 9,
    kPropertyTypeEvent = 10,
    kPropertyTypeStringList = 11,
    kPropertyTypeVector4D = 12,
    kPropertyTypeVector3D = 13,
    kPropertyTypeColorRGB = 14,
    kPropertyTypeColorRGBA = 15,
    kPropertyTypeAction = 16,
    kPropertyTypeReference = 17,
    kPropertyTypeVectorElement = 18
};

typedef int kPropertyFlag;

// Names of the value kinds, indexed by kind (19 entries).
extern const char* const kPropertyTypeNames[19];

// Getter and setter of a property: member functions of the owner, kept
// type-erased and converted back to their real type before the call.
typedef void (KPlug::*KPropertyAccessor)();
typedef char* (KPlug::*KPropertyToString)(int);

// Converts between pointer-to-member-function types. Only a round trip (to the
// type-erased form and back to the original type) is meaningful; the standard
// guarantees it gives back the original pointer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcast-function-type"
template <class To, class From>
inline To KPropertyMemberCast(From method)
{
    return reinterpret_cast<To>(method);
}
#pragma GCC diagnostic pop

class KPropertyInfo
{
public:
    typedef int kFlags;
    enum
    {
        eDynamic = 1,
        eAnimatable = 2,
        eList = 4,
        eObjectList = 8,
        eWorldRegistration = 16,
        eNameOwned = 32,
        eUser = 64,
        eTemporary = 128,
        eNoAutomaticRename = 256,
        eHasToString = 512
    };

    KPropertyInfo();
    ~KPropertyInfo();

    KPropertyInfo(const KPropertyInfo&) = delete;
    KPropertyInfo& operator=(const KPropertyInfo&) = delete;

    // A copy of other that owns its texts: the name (when other owns its
    // own) and the label are copied; the enumeration list, which belongs to
    // whoever made it, is shared.
    static KPropertyInfo* Clone(const KPropertyInfo& other);

    void ModifyFlag(kFlags bits, bool set) { mFlags = set ? (mFlags | bits) : (mFlags & ~bits); }
    kFlags GetFlags() const { return mFlags; }
    // An owned copy of the name without its double quotes.
    void SetAllocatedName(const char* name);
    // An owned copy of the label; null for a null or empty label.
    void SetAllocatedLabel(const char* label);
    // Stores the to-string function; flag 512 follows whether it is set.
    void SetAsStringFunc(KPropertyToString function);

    // Index in the world's property table; 65535 when not registered. Only
    // the world sets it.
    unsigned short GetWorldIndex() const { return mWorldIndex; }
    void SetWorldIndex(unsigned short index) { mWorldIndex = index; }

    // The small fields side by side, so that no padding falls between them.
    kFlags mFlags = 0;
    kPropertyType mType = kPropertyTypeUnknown;
    const char* mName = "";
    char* mLabel = nullptr;
    KDataType* mDataType = nullptr;
    KPropertyAccessor mGetter = nullptr;
    KPropertyAccessor mSetter = nullptr;
    double mMin = 0.0;
    double mMax = 100.0;
    // A property has either a to-string function (flag 512) or an
    // enumeration list, never both in use.
    KPropertyToString mToString = nullptr;
    KStringList* mEnumList = nullptr;
    unsigned short mWorldIndex = 65535;
};

// False only for the double quote.
bool PropertyNameCharIsValid(char c);

class KProperty : public KPlug
{
    KPLUG_CLASS_DECLARE(KProperty)
public:
    // Own flags (kPropertyFlag).
    enum
    {
        eDisabled = 4,
        eAnimated = 8,
        eReadOnly = 32
    };

    KProperty();
    ~KProperty() override;

    // The descriptor, to change. A property whose descriptor is shared gets
    // its own copy first, so that the change reaches no other property.
    KPropertyInfo& GetPropertyInfo() { return EditInfo(); }
    const KPropertyInfo& GetPropertyInfo() const { return *mInfo; }
    // The descriptor, to read only; never copies.
    const KPropertyInfo& ReadPropertyInfo() const { return *mInfo; }
    // Makes the property use info, a descriptor that outlives it (a row of a
    // class's fixed table, shared by every object of the class) until the
    // property's descriptor is first changed. A descriptor of its own is
    // freed. info holds no enumeration list.
    void SetSharedPropertyInfo(const KPropertyInfo* info);
    // Whether the descriptor is a shared one (not yet copied).
    bool HasSharedPropertyInfo() const { return !mInfoOwned; }
    bool GetFlag(KPropertyInfo::kFlags bits) const { return (mInfo->mFlags & bits) != 0; }
    bool IsDynamic() const { return GetFlag(KPropertyInfo::eDynamic); }
    bool IsAnimatable() const { return GetFlag(KPropertyInfo::eAnimatable); }
    bool IsPropertyList() const { return GetFlag(KPropertyInfo::eList); }
    bool IsPropertyObjectList() const { return GetFlag(KPropertyInfo::eObjectList); }
    bool IsUserProperty() const { return GetFlag(KPropertyInfo::eUser); }
    bool IsTemporary() const { return GetFlag(KPropertyInfo::eTemporary); }
    bool IsNoAutomaticRename() const { return GetFlag(KPropertyInfo::eNoAutomaticRename); }

    void SetPropertyFlag(kPropertyFlag flags) { mOwnFlags = flags; }
    void ModifyPropertyFlag(kPropertyFlag bits, bool set)
    {
        mOwnFlags = set ? (mOwnFlags | bits) : (mOwnFlags & ~bits);
    }
    kPropertyFlag GetPropertyFlag() const { return mOwnFlags; }
    bool GetPropertyFlag(kPropertyFlag bits) const { return (mOwnFlags & bits) != 0; }
    bool IsAnimated() const { return GetPropertyFlag(eAnimated); }
    bool IsReadOnly() const { return GetPropertyFlag(eReadOnly); }
    void SetReadOnly(bool readOnly) { ModifyPropertyFlag(eReadOnly, readOnly); }
    bool GetEnable() const { return !GetPropertyFlag(eDisabled); }
    void SetEnable(bool enable) { ModifyPropertyFlag(eDisabled, !enable); }

    // The owner takes the property as an owned plug; the name pointer is kept
    // as given (not copied).
    void SetPropertyInfo(const char* name, KObject* owner, KPropertyAccessor getter, KPropertyAccessor setter);
    void SetPropertyInfo(const char* name, kPropertyType type);
    void SetPropertyType(kPropertyType type)
    {
        if (mInfo->mType != type)
            EditInfo().mType = type;
    }
    kPropertyType GetPropertyType() const { return mInfo->mType; }
    void SetPropertyDataType(KDataType* dataType)
    {
        if (mInfo->mDataType != dataType)
            EditInfo().mDataType = dataType;
    }
    // The stored data type; without one, the type's own: 4 Number, 7 Time,
    // 12 Vector4, 13 Vector, 14 Color, 15 ColorAndAlpha, else null.
    KDataType* GetPropertyDataType() const;
    const char* GetPropertyName() const { return mInfo->mName; }
    const char* GetPropertyLabel() const { return mInfo->mLabel; }
    // Stores a copy of the label (none for a null or empty one).
    void SetPropertyLabel(const char* label);

    // Renames with notifications 27 (which may refuse) and 28.
    virtual bool SetPropertyName(const char* name, bool validate);
    // Makes the name usable and unique among the owner's properties.
    void ValidatePropertyName(KString& name);

    // The name of the property's value kind; "unknown" outside the table.
    const char* GetPropertyTypeName() const;
    // The name of a value kind ("unknown" for a kind out of range).
    static const char* GetPropertyTypeName(int type);
    // The first kind whose name is exactly the text (case matters); 0 when none.
    static kPropertyType GetPropertyTypeFromTypeName(const char* name);

    bool SetPropertyMinMax(double min, double max);
    bool SetPropertyMin(double min);
    bool SetPropertyMax(double max);
    double GetPropertyMin() const { return mInfo->mMin; }
    double GetPropertyMax() const { return mInfo->mMax; }

    // The enumeration list, made empty first when there is none and create is
    // true. Null for a property that has a to-string function (flag 512).
    KStringList* GetEnumStringList(bool create);
    // Tells the owner that the enumeration changed (state notification 31).
    void NotifyEnumStringListChanged();
    // Text of an enumeration value: the owner's to-string function for a
    // non-user property that has one, else item index of the enumeration
    // list. Null without list or for an index outside it.
    char* GetValueAsString(int index);

    // The owner's object interface, or null without owner.
    KObject* GetOwnerObject();

    bool IsReferenceProperty() const { return mInfo->mType == kPropertyTypeReference; }
    // For a reference property the property it refers to (the first source
    // property), or null; any other property is itself.
    KProperty* GetRefProperty();
    // The properties connected as destinations (0 for a sub-plug).
    int GetReferencePropertyCount();
    KProperty* GetReferenceProperty(int index);

    virtual int AsInteger();
    virtual bool SetInteger(int value);
    virtual double AsDouble();
    virtual bool SetDouble(double value);
    // The value as text, by kind ("?" for kinds without a text form).
    KString AsString();
    // Stores a text in a charptr (the pointer) or KString property; false for
    // any other kind.
    bool SetString(const char* text);
    // Read and write the value in the property's own representation. A bare
    // property has none.
    virtual void GetData(void* out, int index, KEvaluateInfo* info, KWorldState* state);
    virtual void SetData(void* in, int index, KEvaluateInfo* info, KWorldState* state);
    // Copies the value of a property of the same type; false in every case.
    virtual bool CopyPropertyValueFrom(KProperty* source);
    virtual bool CopyAnimationFrom(KProperty* source);

protected:
    // The view of the connections that shows only properties: a sub-plug of
    // this property (or the property itself when properties are not a class
    // of their own).
    KPlug* GetPropertyView();
    // The descriptor of this property alone, copied from the shared one on
    // first use.
    KPropertyInfo& EditInfo()
    {
        if (!mInfoOwned)
            OwnInfo();
        return *const_cast<KPropertyInfo*>(mInfo);
    }

    // Shared (a class table's row, or the blank descriptor of a new property)
    // or owned, as mInfoOwned says.
    const KPropertyInfo* mInfo;
    kPropertyFlag mOwnFlags = 0;
    bool mInfoOwned = false;

private:
    void OwnInfo();
    void FreeInfo();
};

// Truncation toward zero that stays defined for every double: NaN gives 0,
// values beyond the int range give INT_MAX or INT_MIN.
int KPropertyTruncateToInt(double value);

// Type codes of the value types.
inline kPropertyType KPropertyGetType(double*)
{
    return kPropertyTypeDouble;
}
inline kPropertyType KPropertyGetType(float*)
{
    return kPropertyTypeFloat;
}
inline kPropertyType KPropertyGetType(bool*)
{
    return kPropertyTypeBool;
}
inline kPropertyType KPropertyGetType(int*)
{
    return kPropertyTypeInt;
}
inline kPropertyType KPropertyGetType(char**)
{
    return kPropertyTypeCharPtr;
}
inline kPropertyType KPropertyGetType(KTime*)
{
    return kPropertyTypeTime;
}
inline kPropertyType KPropertyGetType(KString*)
{
    return kPropertyTypeString;
}
inline kPropertyType KPropertyGetType(KObject**)
{
    return kPropertyTypeObject;
}
inline kPropertyType KPropertyGetType(KgeTVector*)
{
    return kPropertyTypeVector3D;
}
inline kPropertyType KPropertyGetType(KgeRGBVector*)
{
    return kPropertyTypeColorRGB;
}
inline kPropertyType KPropertyGetType(KgeRGBAVector*)
{
    return kPropertyTypeColorRGBA;
}
inline kPropertyType KPropertyGetType(KProperty**)
{
    return kPropertyTypeReference;
}
// Enumerations of other units: 4-byte values read and written like int.
template <class E, typename std::enable_if<std::is_enum<E>::value, int>::type = 0>
inline kPropertyType KPropertyGetType(E*)
{
    static_assert(sizeof(E) == sizeof(int), "an enumeration property holds a 4-byte value");
    return kPropertyTypeEnum;
}

// Value copies: the three-component vectors carry x, y and z only.
template <class T>
inline void KPropertyCopyValue(T& to, const T& from)
{
    to = from;
}
inline void KPropertyCopyValue(KgeTVector& to, const KgeTVector& from)
{
    to.x = from.x;
    to.y = from.y;
    to.z = from.z;
}
inline void KPropertyCopyValue(KgeRGBVector& to, const KgeRGBVector& from)
{
    to.r = from.r;
    to.g = from.g;
    to.b = from.b;
}

template <class T>
class KPropertyTemplate : public KProperty
{
public:
    typedef T (KPlug::*Getter)();
    typedef void (KPlug::*Setter)(T);

    KPropertyTemplate()
        : mValue()
    {}
    // A full property on owner (not null): named (with the owner's name
    // notifications), typed, user or not, dynamic, with a data type, an
    // optional referenced source, and added to the owner's list.
    KPropertyTemplate(KObject* owner, const char* name, KDataType* dataType, bool user, KProperty* reference,
                      kPropertyFlag flags)
        : mValue()
    {
        mOwnFlags = flags;
        SetPropertyInfo(name, owner, nullptr, nullptr);
        SetPropertyName(name, false);
        KPropertyInfo& info = EditInfo();
        info.mType = KPropertyGetType(static_cast<T*>(nullptr));
        info.ModifyFlag(KPropertyInfo::eUser, user);
        info.ModifyFlag(KPropertyInfo::eDynamic, true);
        info.mDataType = dataType;
        if (reference)
            ConnectSrc(reference, kConnectionNormal);
        owner->PropertyAddToList(this);
    }

    // Sets the type to T's code.
    void Init(KPropertyInfo* = nullptr) { SetPropertyType(KPropertyGetType(static_cast<T*>(nullptr))); }

    void GetData(void* out, int, KEvaluateInfo*, KWorldState*) override
    {
        KPlug* owner = GetOwnerPlug();
        if (mInfo->mGetter && owner)
        {
            Getter getter = KPropertyMemberCast<Getter>(mInfo->mGetter);
            KPropertyCopyValue(mValue, (owner->*getter)());
        }
        if (out)
            KPropertyCopyValue(*static_cast<T*>(out), mValue);
    }

    void SetData(void* in, int, KEvaluateInfo*, KWorldState*) override
    {
        PlugDataNotify(nullptr, kPlugDataChanging, this, in, &mValue, 0);
        KPlug* owner = GetOwnerPlug();
        if (mInfo->mSetter && owner)
        {
            Setter setter = KPropertyMemberCast<Setter>(mInfo->mSetter);
            (owner->*setter)(*static_cast<T*>(in));
        }
        else
            KPropertyCopyValue(mValue, *static_cast<T*>(in));
        PlugDataNotify(nullptr, kPlugDataChanged, this, in, nullptr, 0);
    }

    T Get()
    {
        GetData(&mValue, 0, nullptr, nullptr);
        return mValue;
    }
    T Get(int index) { return Get(index, nullptr, nullptr); }
    T Get(KEvaluateInfo* info, KWorldState* state) { return Get(0, info, state); }
    T Get(int index, KEvaluateInfo* info, KWorldState* state)
    {
        GetData(&mValue, index, info, state);
        return mValue;
    }
    void Set(const T& value) { Set(value, 0, nullptr, nullptr); }
    void Set(const T& value, int index) { Set(value, index, nullptr, nullptr); }
    void Set(const T& value, KEvaluateInfo* info, KWorldState* state) { Set(value, 0, info, state); }
    void Set(const T& value, int index, KEvaluateInfo* info, KWorldState* state)
    {
        T copy = value;
        SetData(&copy, index, info, state);
    }

    operator T() { return Get(); }
    KPropertyTemplate& operator=(const T& value)
    {
        Set(value);
        return *this;
    }
    KPropertyTemplate& operator=(KPropertyTemplate& other)
    {
        T value = T();
        other.GetData(&value, 0, nullptr, nullptr);
        SetData(&value, 0, nullptr, nullptr);
        KPropertyCopyValue(mValue, value);
        return *this;
    }

protected:
    T mValue;
};

#endif
