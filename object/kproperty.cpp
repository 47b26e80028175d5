#include "object/kproperty.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "base/knumbertext.h"

KPLUG_CLASS_IMPLEMENT(KProperty, KPlug, "KProperty")

const char* const kPropertyTypeNames[19] = {"unknown",   "int",        "bool",      "float",        "double",
                                            "charptr",   "enum",       "KTime",     "KString",      "object",
                                            "event",     "stringlist", "Vector4D",  "Vector3D",     "ColorRGB",
                                            "ColorRGBA", "Action",     "Reference", "VectorElement"};

// ---------------------------------------------------------------------------
// Descriptor

KPropertyInfo::KPropertyInfo() {}

KPropertyInfo* KPropertyInfo::Clone(const KPropertyInfo& other)
{
    KPropertyInfo* info = new KPropertyInfo();
    info->mFlags = other.mFlags & ~eNameOwned;
    info->mType = other.mType;
    info->mName = other.mName;
    if (other.mFlags & eNameOwned)
    {
        // Without memory for the copy the name stays the other's, not owned:
        // only shared descriptors, which live as long as the process, are
        // ever cloned.
        if (char* name = strdup(other.mName))
        {
            info->mName = name;
            info->mFlags |= eNameOwned;
        }
    }
    info->mLabel = other.mLabel ? strdup(other.mLabel) : nullptr;
    info->mDataType = other.mDataType;
    info->mGetter = other.mGetter;
    info->mSetter = other.mSetter;
    info->mMin = other.mMin;
    info->mMax = other.mMax;
    info->mToString = other.mToString;
    info->mEnumList = other.mEnumList;
    info->mWorldIndex = other.mWorldIndex;
    return info;
}

KPropertyInfo::~KPropertyInfo()
{
    if (mFlags & eNameOwned)
        free(const_cast<char*>(mName));
    free(mLabel);
}

bool PropertyNameCharIsValid(char c)
{
    return c != '"';
}

void KPropertyInfo::SetAllocatedName(const char* name)
{
    if (!name)
        name = "";
    size_t length = strlen(name);
    char* copy = static_cast<char*>(malloc(length + 1));
    if (!copy)
        return;
    size_t n = 0;
    for (size_t i = 0; i < length; ++i)
        if (PropertyNameCharIsValid(name[i]))
            copy[n++] = name[i];
    copy[n] = 0;
    if (mFlags & eNameOwned)
        free(const_cast<char*>(mName));
    mName = copy;
    mFlags |= eNameOwned;
}

void KPropertyInfo::SetAllocatedLabel(const char* label)
{
    free(mLabel);
    mLabel = (label && *label) ? strdup(label) : nullptr;
}

void KPropertyInfo::SetAsStringFunc(KPropertyToString function)
{
    mToString = function;
    ModifyFlag(eHasToString, function != nullptr);
}

// ---------------------------------------------------------------------------
// Property

namespace {

// The descriptor of a property nothing was set on yet.
const KPropertyInfo& BlankPropertyInfo()
{
    static const KPropertyInfo blank;
    return blank;
}

} // namespace

KProperty::KProperty()
    : mInfo(&BlankPropertyInfo())
{}

KProperty::~KProperty()
{
    FreeInfo();
}

void KProperty::OwnInfo()
{
    mInfo = KPropertyInfo::Clone(*mInfo);
    mInfoOwned = true;
}

void KProperty::FreeInfo()
{
    if (!mInfoOwned)
        return;
    KPropertyInfo* info = const_cast<KPropertyInfo*>(mInfo);
    // A user property owns its enumeration; other properties' lists belong
    // to whoever made them.
    if (info->mFlags & KPropertyInfo::eUser)
        delete info->mEnumList;
    delete info;
    mInfo = &BlankPropertyInfo();
    mInfoOwned = false;
}

void KProperty::SetSharedPropertyInfo(const KPropertyInfo* info)
{
    assert(info && !info->mEnumList);
    FreeInfo();
    mInfo = info;
}

KDataType* KProperty::GetPropertyDataType() const
{
    if (mInfo->mDataType)
        return mInfo->mDataType;
    switch (mInfo->mType)
    {
    case kPropertyTypeDouble: return KDataTypeNumber::DataType;
    case kPropertyTypeTime: return KDataTypeTime::DataType;
    case kPropertyTypeVector4D: return KDataTypeVector4::DataType;
    case kPropertyTypeVector3D: return KDataTypeVector::DataType;
    case kPropertyTypeColorRGB: return KDataTypeColor::DataType;
    case kPropertyTypeColorRGBA: return KDataTypeColorAndAlpha::DataType;
    default: return nullptr;
    }
}

const char* KProperty::GetPropertyTypeName() const
{
    return GetPropertyTypeName(mInfo->mType);
}

const char* KProperty::GetPropertyTypeName(int type)
{
    if (type < 0 || type >= 19)
        return kPropertyTypeNames[0];
    return kPropertyTypeNames[type];
}

kPropertyType KProperty::GetPropertyTypeFromTypeName(const char* name)
{
    if (!name)
        return kPropertyTypeUnknown;
    for (int i = 0; i < 19; ++i)
        if (strcmp(kPropertyTypeNames[i], name) == 0)
            return i;
    return kPropertyTypeUnknown;
}

KStringList* KProperty::GetEnumStringList(bool create)
{
    // The to-string function and the enumeration list share one use: a
    // property with the function has no list, and none is made for it.
    if (GetFlag(KPropertyInfo::eHasToString))
        return nullptr;
    if (!mInfo->mEnumList && create)
        EditInfo().mEnumList = new KStringList();
    return mInfo->mEnumList;
}

void KProperty::NotifyEnumStringListChanged()
{
    PlugStateNotify(nullptr, kPlugInfoChanged, this, nullptr, nullptr, 0);
}

char* KProperty::GetValueAsString(int index)
{
    if (!IsUserProperty() && GetFlag(KPropertyInfo::eHasToString))
    {
        KPlug* owner = GetOwnerPlug();
        if (!owner || !mInfo->mToString)
            return nullptr;
        return (owner->*mInfo->mToString)(index);
    }
    KStringList* list = GetEnumStringList(false);
    if (!list || index < 0 || index >= list->GetCount())
        return nullptr;
    return list->GetStringAt(index);
}

void KProperty::SetPropertyInfo(const char* name, KObject* owner, KPropertyAccessor getter, KPropertyAccessor setter)
{
    if (owner)
        owner->ConnectOwnedPlug(this);
    KPropertyInfo& info = EditInfo();
    if (info.mFlags & KPropertyInfo::eNameOwned)
    {
        free(const_cast<char*>(info.mName));
        info.mFlags &= ~KPropertyInfo::eNameOwned;
    }
    info.mName = name ? name : "";
    info.mGetter = getter;
    info.mSetter = setter;
}

void KProperty::SetPropertyInfo(const char* name, kPropertyType type)
{
    KPropertyInfo& info = EditInfo();
    if (info.mFlags & KPropertyInfo::eNameOwned)
    {
        free(const_cast<char*>(info.mName));
        info.mFlags &= ~KPropertyInfo::eNameOwned;
    }
    info.mName = name ? name : "";
    info.mType = type;
}

void KProperty::SetPropertyLabel(const char* label)
{
    const char* current = mInfo->mLabel;
    const bool none = !label || !*label;
    // The same label leaves the descriptor as it is (it may be shared).
    if ((none && !current) || (!none && current && strcmp(current, label) == 0))
        return;
    EditInfo().SetAllocatedLabel(label);
}

bool KProperty::SetPropertyName(const char* name, bool validate)
{
    KString text(name ? name : "");
    if (validate)
        ValidatePropertyName(text);
    KString current(mInfo->mName);
    if (!PlugStateNotify(nullptr, kPlugNameChanging, this, const_cast<char*>(text.ToChars()),
                         const_cast<char*>(current.ToChars()), 0))
        return false;
    EditInfo().SetAllocatedName(text);
    PlugStateNotify(nullptr, kPlugNameChanged, this, const_cast<char*>(text.ToChars()), const_cast<char*>(mInfo->mName),
                    0);
    return true;
}

void KProperty::ValidatePropertyName(KString& name)
{
    // Blanks (spaces only) are dropped at both ends; nothing left gives "1".
    const char* text = name.ToChars() ? name.ToChars() : "";
    size_t begin = 0;
    size_t end = strlen(text);
    while (begin < end && text[begin] == ' ')
        ++begin;
    while (end > begin && text[end - 1] == ' ')
        --end;
    KString base = end > begin ? KString(text + begin, static_cast<unsigned int>(end - begin)) : KString("1");
    name = base;

    // Trailing digits are replaced by the next number; without digits the
    // number follows one appended blank.
    unsigned int length = base.GetLen();
    unsigned int digits = 0;
    while (digits < length && base[length - 1 - digits] >= '0' && base[length - 1 - digits] <= '9')
        ++digits;
    KString stem;
    long long next;
    if (digits > 0)
    {
        stem = base.Left(length - digits);
        // A run of digits too long for a number counts from a large one
        // rather than overflowing.
        const long long kLargest = 999999999999999999LL;
        long long value = 0;
        for (unsigned int i = length - digits; i < length; ++i)
        {
            if (value > (kLargest - 9) / 10)
            {
                value = kLargest;
                break;
            }
            value = value * 10 + (base[i] - '0');
        }
        next = value + 1;
    }
    else
    {
        stem = base + " ";
        next = 1;
    }

    KObject* owner = GetOwnerObject();
    if (!owner)
        return;
    for (;;)
    {
        bool clash = false;
        for (int i = 0; i < owner->GetPropertyCount(); ++i)
        {
            KProperty* other = owner->GetProperty(i);
            if (other != this && name == other->GetPropertyName())
            {
                clash = true;
                break;
            }
        }
        if (!clash)
            return;
        char number[32];
        snprintf(number, sizeof(number), "%lld", next++);
        name = stem + number;
    }
}

namespace {

bool SameBound(double a, double b)
{
    // A NaN always counts as a change.
    return !std::isnan(a) && !std::isnan(b) && a == b;
}

} // namespace

bool KProperty::SetPropertyMinMax(double min, double max)
{
    if (!SameBound(min, mInfo->mMin) || !SameBound(max, mInfo->mMax))
    {
        KPropertyInfo& info = EditInfo();
        info.mMin = min;
        info.mMax = max;
        PlugStateNotify(nullptr, kPlugInfoChanged, this, nullptr, nullptr, 0);
    }
    return true;
}

bool KProperty::SetPropertyMin(double min)
{
    return SetPropertyMinMax(min, mInfo->mMax);
}

bool KProperty::SetPropertyMax(double max)
{
    return SetPropertyMinMax(mInfo->mMin, max);
}

KObject* KProperty::GetOwnerObject()
{
    KPlug* owner = GetOwnerPlug();
    if (!owner)
        return nullptr;
    return static_cast<KObject*>(owner->IQuery(0x98ABD146ul, 0));
}

KPlug* KProperty::GetPropertyView()
{
    if (KProperty::ClassId == -1 || KProperty::ClassId == KPlug::ClassId)
        return this;
    return SubPlugGetOrCreate(KPlug_GetFilter(KProperty::ClassId));
}

KProperty* KProperty::GetRefProperty()
{
    if (!IsReferenceProperty())
        return this;
    KPlug* view = GetPropertyView();
    if (!view || view->GetSrcCount() == 0)
        return nullptr;
    return static_cast<KProperty*>(view->GetSrc(0));
}

int KProperty::GetReferencePropertyCount()
{
    if (IsSubPlug())
        return 0;
    KPlug* view = GetPropertyView();
    return view ? view->GetDstCount() : 0;
}

KProperty* KProperty::GetReferenceProperty(int index)
{
    KPlug* view = GetPropertyView();
    if (!view || index < 0 || index >= view->GetDstCount())
        return nullptr;
    return static_cast<KProperty*>(view->GetDst(index));
}

namespace {

// The property's value read as a T.
template <class T>
T ReadValue(KProperty* property)
{
    T value = T();
    property->GetData(&value, 0, nullptr, nullptr);
    return value;
}

// Stores value as the property's value; always succeeds.
template <class T>
bool WriteValue(KProperty* property, T value)
{
    property->SetData(&value, 0, nullptr, nullptr);
    return true;
}

} // namespace

int KProperty::AsInteger()
{
    switch (mInfo->mType)
    {
    case kPropertyTypeInt:
    case kPropertyTypeEnum: return ReadValue<int>(this);
    case kPropertyTypeBool:
    case kPropertyTypeAction: return ReadValue<bool>(this) ? 1 : 0;
    default: return 0;
    }
}

bool KProperty::SetInteger(int value)
{
    switch (mInfo->mType)
    {
    case kPropertyTypeInt:
    case kPropertyTypeEnum: return WriteValue<int>(this, value);
    case kPropertyTypeBool:
    case kPropertyTypeAction: return WriteValue<bool>(this, value != 0);
    default: return false;
    }
}

double KProperty::AsDouble()
{
    switch (mInfo->mType)
    {
    case kPropertyTypeInt:
    case kPropertyTypeEnum:
    case kPropertyTypeBool:
    case kPropertyTypeAction: return AsInteger();
    case kPropertyTypeFloat: return ReadValue<float>(this);
    case kPropertyTypeDouble: return ReadValue<double>(this);
    default: return 0.0;
    }
}

int KPropertyTruncateToInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

bool KProperty::SetDouble(double value)
{
    switch (mInfo->mType)
    {
    case kPropertyTypeInt:
    case kPropertyTypeEnum:
    case kPropertyTypeBool:
    case kPropertyTypeAction: return SetInteger(KPropertyTruncateToInt(value));
    case kPropertyTypeFloat: return WriteValue<float>(this, static_cast<float>(value));
    case kPropertyTypeDouble: return WriteValue<double>(this, value);
    default: return false;
    }
}

namespace {

// "{%f,%f,%f}" or the same with four members, a point in every locale.
KString FormatDoubles(const double* values, int count)
{
    std::string text = "{";
    for (int i = 0; i < count; ++i)
        text += (i > 0 ? "," : "") + KDoubleText(values[i], 'f', 6);
    text += '}';
    return KString(text.c_str());
}

} // namespace

KString KProperty::AsString()
{
    switch (mInfo->mType)
    {
    case kPropertyTypeInt: return KString(AsInteger());
    case kPropertyTypeBool:
    case kPropertyTypeAction: return KString(AsInteger() != 0 ? "True" : "False");
    case kPropertyTypeFloat:
    case kPropertyTypeDouble: return KString(AsDouble());
    case kPropertyTypeCharPtr:
    {
        char* text = nullptr;
        GetData(&text, 0, nullptr, nullptr);
        return KString(text ? text : "");
    }
    case kPropertyTypeEnum:
    {
        const char* text = GetValueAsString(AsInteger());
        return KString(text ? text : "");
    }
    case kPropertyTypeTime:
    {
        KTime time;
        GetData(&time, 0, nullptr, nullptr);
        char text[KTIME_STRING_SIZE];
        time.GetTimeString(text, sizeof(text), 5, 0, 2);
        return KString(text);
    }
    case kPropertyTypeString:
    {
        KString text;
        GetData(&text, 0, nullptr, nullptr);
        return text;
    }
    case kPropertyTypeObject:
    {
        KObject* object = nullptr;
        GetData(&object, 0, nullptr, nullptr);
        if (object)
            return KString(object->GetObjectFullName());
        return KString(IsPropertyObjectList() ? "ObjectList!" : "Object!");
    }
    case kPropertyTypeVector3D:
    {
        KgeTVector value;
        GetData(&value, 0, nullptr, nullptr);
        double members[3] = {value.x, value.y, value.z};
        return FormatDoubles(members, 3);
    }
    case kPropertyTypeVector4D:
    {
        // Four doubles preset to (0, 0, 0, 1), read with GetData.
        double members[4] = {0.0, 0.0, 0.0, 1.0};
        GetData(members, 0, nullptr, nullptr);
        return FormatDoubles(members, 4);
    }
    case kPropertyTypeColorRGB:
    {
        // A colour reads only its three components: the fourth stays 1.
        KgeRGBVector value(0.0, 0.0, 0.0, 1.0);
        GetData(&value, 0, nullptr, nullptr);
        double members[4] = {value.r, value.g, value.b, value.w};
        return FormatDoubles(members, 4);
    }
    case kPropertyTypeColorRGBA:
    {
        KgeRGBAVector value;
        GetData(&value, 0, nullptr, nullptr);
        double members[4] = {value.r, value.g, value.b, value.a};
        return FormatDoubles(members, 4);
    }
    default: return KString("?");
    }
}

bool KProperty::SetString(const char* text)
{
    switch (mInfo->mType)
    {
    case kPropertyTypeCharPtr:
    {
        char* pointer = const_cast<char*>(text);
        SetData(&pointer, 0, nullptr, nullptr);
        return true;
    }
    case kPropertyTypeString:
    {
        KString value(text ? text : "");
        SetData(&value, 0, nullptr, nullptr);
        return true;
    }
    default: return false;
    }
}

void KProperty::GetData(void*, int, KEvaluateInfo*, KWorldState*) {}

void KProperty::SetData(void*, int, KEvaluateInfo*, KWorldState*) {}

bool KProperty::CopyPropertyValueFrom(KProperty* source)
{
    if (!source || source == this || source->GetPropertyType() != GetPropertyType())
        return false;
    if (GetPropertyType() == kPropertyTypeString)
    {
        KString value;
        source->GetData(&value, 0, nullptr, nullptr);
        SetData(&value, 0, nullptr, nullptr);
        return false;
    }
    // Every other value kind is plain data that fits the buffer.
    alignas(16) unsigned char buffer[1024] = {};
    source->GetData(buffer, 0, nullptr, nullptr);
    SetData(buffer, 0, nullptr, nullptr);
    return false;
}

bool KProperty::CopyAnimationFrom(KProperty* source)
{
    return CopyPropertyValueFrom(source);
}
