#include "object/kproperty.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

KPLUG_CLASS_IMPLEMENT(KProperty, KPlug, "KProperty")

// ---------------------------------------------------------------------------
// Descriptor

KPropertyInfo::KPropertyInfo()
{
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

KProperty::KProperty()
{
}

KProperty::~KProperty()
{
}

void KProperty::SetPropertyInfo(const char* name, KObject* owner, KPropertyAccessor getter, KPropertyAccessor setter)
{
    if (owner)
        owner->ConnectOwnedPlug(this);
    if (mInfo.mFlags & KPropertyInfo::eNameOwned)
    {
        free(const_cast<char*>(mInfo.mName));
        mInfo.mFlags &= ~KPropertyInfo::eNameOwned;
    }
    mInfo.mName = name ? name : "";
    mInfo.mGetter = getter;
    mInfo.mSetter = setter;
}

void KProperty::SetPropertyInfo(const char* name, kPropertyType type)
{
    if (mInfo.mFlags & KPropertyInfo::eNameOwned)
    {
        free(const_cast<char*>(mInfo.mName));
        mInfo.mFlags &= ~KPropertyInfo::eNameOwned;
    }
    mInfo.mName = name ? name : "";
    mInfo.mType = type;
}

bool KProperty::SetPropertyName(const char* name, bool validate)
{
    KString text(name ? name : "");
    if (validate)
        ValidatePropertyName(text);
    KString current(mInfo.mName);
    if (!PlugStateNotify(nullptr, kPlugNameChanging, this, const_cast<char*>(text.ToChars()),
                         const_cast<char*>(current.ToChars()), 0))
        return false;
    mInfo.SetAllocatedName(text);
    PlugStateNotify(nullptr, kPlugNameChanged, this, const_cast<char*>(text.ToChars()),
                    const_cast<char*>(mInfo.mName), 0);
    return true;
}

void KProperty::ValidatePropertyName(KString& name)
{
    // Blanks (spaces only) are dropped at both ends; nothing left gives "1".
    const char* text = name.ToChars();
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
        next = atoll(base.ToChars() + (length - digits)) + 1;
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
    return !isnan(a) && !isnan(b) && a == b;
}

} // namespace

bool KProperty::SetPropertyMinMax(double min, double max)
{
    if (!SameBound(min, mInfo.mMin) || !SameBound(max, mInfo.mMax))
    {
        mInfo.mMin = min;
        mInfo.mMax = max;
        PlugStateNotify(nullptr, kPlugInfoChanged, this, nullptr, nullptr, 0);
    }
    return true;
}

bool KProperty::SetPropertyMin(double min)
{
    return SetPropertyMinMax(min, mInfo.mMax);
}

bool KProperty::SetPropertyMax(double max)
{
    return SetPropertyMinMax(mInfo.mMin, max);
}

KObject* KProperty::GetOwnerObject()
{
    KPlug* owner = GetOwnerPlug();
    if (!owner)
        return nullptr;
    return static_cast<KObject*>(owner->IQuery(0x98ABD146ul, 0));
}

KProperty* KProperty::GetRefProperty()
{
    if (!IsReferenceProperty())
        return this;
    // The property view of the sources: the connected properties.
    for (int i = 0; i < GetSrcCount(); ++i)
    {
        KPlug* plug = GetSrc(i);
        if (plug && plug->Is(KProperty::ClassId))
            return static_cast<KProperty*>(plug);
    }
    return nullptr;
}

int KProperty::GetReferencePropertyCount()
{
    if (IsSubPlug())
        return 0;
    int count = 0;
    for (int i = 0; i < GetDstCount(); ++i)
    {
        KPlug* plug = GetDst(i);
        if (plug && plug->Is(KProperty::ClassId))
            ++count;
    }
    return count;
}

KProperty* KProperty::GetReferenceProperty(int index)
{
    if (index < 0)
        return nullptr;
    for (int i = 0; i < GetDstCount(); ++i)
    {
        KPlug* plug = GetDst(i);
        if (plug && plug->Is(KProperty::ClassId) && index-- == 0)
            return static_cast<KProperty*>(plug);
    }
    return nullptr;
}

int KProperty::AsInteger()
{
    switch (mInfo.mType)
    {
    case kPropertyTypeInt:
    case kPropertyTypeEnum:
    {
        int value = 0;
        GetData(&value, 0, nullptr, nullptr);
        return value;
    }
    case kPropertyTypeBool:
    case kPropertyTypeAction:
    {
        bool value = false;
        GetData(&value, 0, nullptr, nullptr);
        return value ? 1 : 0;
    }
    default:
        return 0;
    }
}

bool KProperty::SetInteger(int value)
{
    switch (mInfo.mType)
    {
    case kPropertyTypeInt:
    case kPropertyTypeEnum:
        SetData(&value, 0, nullptr, nullptr);
        return true;
    case kPropertyTypeBool:
    case kPropertyTypeAction:
    {
        bool b = value != 0;
        SetData(&b, 0, nullptr, nullptr);
        return true;
    }
    default:
        return false;
    }
}

double KProperty::AsDouble()
{
    switch (mInfo.mType)
    {
    case kPropertyTypeInt:
    case kPropertyTypeEnum:
    case kPropertyTypeBool:
    case kPropertyTypeAction:
        return AsInteger();
    case kPropertyTypeFloat:
    {
        float value = 0.0f;
        GetData(&value, 0, nullptr, nullptr);
        return value;
    }
    case kPropertyTypeDouble:
    {
        double value = 0.0;
        GetData(&value, 0, nullptr, nullptr);
        return value;
    }
    default:
        return 0.0;
    }
}

bool KProperty::SetDouble(double value)
{
    switch (mInfo.mType)
    {
    case kPropertyTypeInt:
    case kPropertyTypeEnum:
    case kPropertyTypeBool:
    case kPropertyTypeAction:
        return SetInteger(static_cast<int>(value));
    case kPropertyTypeFloat:
    {
        float f = static_cast<float>(value);
        SetData(&f, 0, nullptr, nullptr);
        return true;
    }
    case kPropertyTypeDouble:
        SetData(&value, 0, nullptr, nullptr);
        return true;
    default:
        return false;
    }
}

void KProperty::GetData(void*, int, KEvaluateInfo*, KWorldState*)
{
}

void KProperty::SetData(void*, int, KEvaluateInfo*, KWorldState*)
{
}

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
