#include "fileio/iqoxobject.h"
#include "fileio/iqoxobject_private.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "base/kmath_kernels.h"
#include "object/kobject.h"
#include "object/kproperty.h"

namespace qoxsdk_600 {

bool iqoxobject::gRowsAtOnce = true;

namespace {

// Values of a row: name, kind and flags, then up to four members.
const int kRowValues = 7;

// Kinds whose value is four doubles in memory, and how many of them files keep.
int VectorWidth(int type)
{
    switch (type)
    {
    case kPropertyTypeVector3D:
    case kPropertyTypeColorRGB: return 3;
    case kPropertyTypeVector4D:
    case kPropertyTypeColorRGBA: return 4;
    default: return 0;
    }
}

bool IsStoredKind(int type)
{
    switch (type)
    {
    case kPropertyTypeInt:
    case kPropertyTypeBool:
    case kPropertyTypeFloat:
    case kPropertyTypeDouble:
    case kPropertyTypeCharPtr:
    case kPropertyTypeEnum:
    case kPropertyTypeTime:
    case kPropertyTypeString:
    case kPropertyTypeStringList: return true;
    default: return VectorWidth(type) > 0;
    }
}

// Stored kinds whose value is a plain number or vector (no text).
bool IsPlainKind(int type)
{
    return IsStoredKind(type) && type != kPropertyTypeCharPtr && type != kPropertyTypeString &&
           type != kPropertyTypeStringList;
}

// A property read and written by its place in its object's list, so that a
// row of a class table not made yet stays so; the kinds without a plain
// value (texts, lists) take the property itself.
class ListedProperty
{
public:
    ListedProperty(KObject& object, int index)
        : mObject(&object)
        , mIndex(index)
        , mProperty(object.GetPropertyIfMade(index))
    {}
    explicit ListedProperty(KProperty& property)
        : mProperty(&property)
    {}

    const KPropertyInfo& Info() const
    {
        return mProperty ? mProperty->ReadPropertyInfo() : mObject->ReadPropertyInfoAt(mIndex);
    }
    int Type() const { return Info().mType; }
    bool OwnFlag(kPropertyFlag bits) const
    {
        return ((mProperty ? mProperty->GetPropertyFlag() : mObject->GetPropertyFlagAt(mIndex)) & bits) != 0;
    }
    template <class T>
    T Get()
    {
        T value = T();
        GetData(&value);
        return value;
    }
    void GetData(void* out)
    {
        if (mProperty)
            mProperty->GetData(out, 0, nullptr, nullptr);
        else
            mObject->GetPropertyData(mIndex, out);
    }
    template <class T>
    void Set(T value)
    {
        SetData(&value);
    }
    void SetData(void* in)
    {
        if (mProperty)
            mProperty->SetData(in, 0, nullptr, nullptr);
        else
            mObject->SetPropertyData(mIndex, in);
    }
    KProperty& Property()
    {
        if (!mProperty)
            mProperty = mObject->GetProperty(mIndex);
        return *mProperty;
    }

private:
    KObject* mObject = nullptr;
    int mIndex = -1;
    KProperty* mProperty;
};

} // namespace

IQoxObject::IQoxObject() {}

IQoxObject::~IQoxObject()
{
    if (ProjectIsWriting())
        ProjectAbandon();
}

bool IQoxObject::ProjectCreateSafe(const char* fileName, EForm form, int version, const char* password)
{
    mStaged.Abandon();
    const KString name = mStaged.Stage(fileName);
    if (name.IsEmpty())
        return StagedFailed(false);
    // The staged name reaches the file the set made (or the target written
    // directly); it exists already.
    const bool made = ProjectCreate(name.ToChars(), form, version, password);
    if (!made)
        mStaged.Abandon();
    return made;
}

bool IQoxObject::ProjectCloseSafe()
{
    bool ok = ProjectClose();
    if (mStaged.IsEmpty())
        return ok;
    if (!ok)
        mStaged.Abandon();
    else if (!mStaged.Commit())
        ok = StagedFailed(true);
    return ok;
}

bool IQoxObject::StagedFailed(bool committing)
{
    const int error = mStaged.Error();
    if (committing && (error == ENOSPC || error == EDQUOT || error == EFBIG))
        GetError().SetLastErrorID(eNO_SPACE_LEFT);
    else if (*mStaged.Cause())
        GetError().SetLastError(
            eFILE_NOT_CREATED,
            (KString(GetError().GetErrorString(eFILE_NOT_CREATED)) + ": " + mStaged.Cause()).ToChars());
    else
        GetError().SetLastErrorID(eFILE_NOT_CREATED);
    return false;
}

void IQoxObject::ProjectAbandon()
{
    int code = GetLastErrorID();
    KString text(GetLastErrorString());
    ProjectClose();
    mStaged.Abandon();
    if (code >= 0)
        GetError().SetLastError(code, text.ToChars());
}

bool IQoxObject::FieldWritePropertiesList(KObject& object)
{
    bool ok = FieldWriteBegin("Properties") && FieldWriteBlockBegin();
    for (int i = 0; ok && i < object.GetPropertyCount(); ++i)
    {
        ListedProperty property(object, i);
        if (!property.OwnFlag(eNOT_IN_FILE))
            WriteProperty(property);
    }
    ok = ok && FieldWriteBlockEnd() && FieldWriteEnd();
    return ok && GetLastErrorID() != eNO_SPACE_LEFT;
}

bool IQoxObject::FieldWriteProperty(KProperty& property)
{
    ListedProperty listed(property);
    return WriteProperty(listed);
}

template <class Property>
bool IQoxObject::WriteProperty(Property& property)
{
    const KPropertyInfo& info = property.Info();
    int type = info.mType;
    if (!IsStoredKind(type))
        return false;
    KString flags;
    if (info.GetFlags() & KPropertyInfo::eAnimatable)
        flags += "A";
    if (info.GetFlags() & KPropertyInfo::eUser)
        flags += "U";
    FieldWriteBegin("Property");
    FieldWriteC(info.mName);
    FieldWriteC(KProperty::GetPropertyTypeName(type));
    FieldWriteC(flags.ToChars());
    int width = VectorWidth(type);
    if (width > 0)
    {
        double v[4] = {0, 0, 0, 0};
        property.GetData(v);
        for (int k = 0; k < width; ++k)
            FieldWriteD(v[k]);
    }
    else
    {
        switch (type)
        {
        case kPropertyTypeInt:
        case kPropertyTypeEnum: FieldWriteI(property.template Get<int>()); break;
        case kPropertyTypeBool: FieldWriteI(property.template Get<bool>() ? 1 : 0); break;
        case kPropertyTypeFloat: FieldWriteD(property.template Get<float>()); break;
        case kPropertyTypeDouble: FieldWriteD(property.template Get<double>()); break;
        case kPropertyTypeTime: FieldWriteT(property.template Get<KTime>()); break;
        default:
        {
            // A text lost for want of memory (a long path's) would be
            // written empty: the write fails instead.
            const KString text = property.Property().AsString();
            if (!text.IsOK())
                throw std::bad_alloc();
            FieldWriteC(text.ToChars());
            break;
        }
        }
    }
    return FieldWriteEnd();
}

void IQoxObject::FieldReadPropertyValue(KProperty& property)
{
    ListedProperty listed(property);
    ReadPropertyValue(listed);
}

template <class Property>
void IQoxObject::ReadPropertyValue(Property& property)
{
    int type = property.Type();
    int width = VectorWidth(type);
    if (width > 0)
    {
        double v[4] = {0, 0, 0, 0};
        property.GetData(v);
        for (int k = 0; k < width && FieldReadGetRemain() > 0; ++k)
            v[k] = FieldReadD();
        property.SetData(v);
        return;
    }
    if (FieldReadGetRemain() <= 0)
        return;
    switch (type)
    {
    case kPropertyTypeInt:
    case kPropertyTypeEnum: property.Set(FieldReadI()); break;
    case kPropertyTypeBool: property.Set(FieldReadI() != 0); break;
    case kPropertyTypeFloat: property.Set(static_cast<float>(FieldReadD())); break;
    case kPropertyTypeDouble: property.Set(FieldReadD()); break;
    case kPropertyTypeTime: property.Set(FieldReadT()); break;
    default: property.Property().SetString(FieldReadC()); break;
    }
}

namespace {

// Index of the object's property of that name, or -1, with its descriptor.
// The writer stores an object's properties in its own order, so the
// property after the one found last is tried first; names are unique in an
// object, so the answer is the one a search by name gives.
int FindInOrder(KObject& object, const char* name, int& next, const KPropertyInfo*& info)
{
    const int count = object.GetPropertyCount();
    for (int i = next; i < count && i < next + 4; ++i)
    {
        const KPropertyInfo& own = object.ReadPropertyInfoAt(i);
        if (own.mName && own.mName[0] == name[0] && std::strcmp(own.mName, name) == 0)
        {
            next = i + 1;
            info = &own;
            return i;
        }
    }
    const int index = object.FindPropertyIndexByName(name);
    if (index >= 0)
        info = &object.ReadPropertyInfoAt(index);
    return index;
}

bool IsTypeName(const char* text, int type)
{
    const char* own = KProperty::GetPropertyTypeName(type);
    return text[0] == own[0] && std::strcmp(text, own) == 0;
}

} // namespace

void IQoxObject::ReadValueInPlace(int type, void* value)
{
    // As ReadPropertyValue stores it through SetPropertyData: a vector keeps
    // the members the field lacks.
    const int width = VectorWidth(type);
    double* members = static_cast<double*>(value);
    for (int k = 0; k < width && FieldReadGetRemain() > 0; ++k)
        members[k] = FieldReadD();
    if (width > 0 || FieldReadGetRemain() <= 0)
        return;
    switch (type)
    {
    case kPropertyTypeInt:
    case kPropertyTypeEnum:
    {
        const int read = FieldReadI();
        std::memcpy(value, &read, sizeof(read));
        break;
    }
    case kPropertyTypeBool: *static_cast<bool*>(value) = FieldReadI() != 0; break;
    case kPropertyTypeFloat: *static_cast<float*>(value) = static_cast<float>(FieldReadD()); break;
    case kPropertyTypeDouble: *static_cast<double*>(value) = FieldReadD(); break;
    case kPropertyTypeTime: *static_cast<KTime*>(value) = FieldReadT(); break;
    default: break;
    }
}

namespace {

// Whether n bytes at a and at b are the same; both hold n bytes. Short
// runs, as names are, are compared a word at a time in line.
inline bool SameBytes(const char* a, const char* b, size_t n)
{
    if (n < 8)
    {
        if (n < 4)
        {
            for (size_t i = 0; i < n; ++i)
                if (a[i] != b[i])
                    return false;
            return true;
        }
        // The first and the last four bytes, overlapping.
        unsigned int x0, y0, x1, y1;
        std::memcpy(&x0, a, 4);
        std::memcpy(&y0, b, 4);
        std::memcpy(&x1, a + n - 4, 4);
        std::memcpy(&y1, b + n - 4, 4);
        return x0 == y0 && x1 == y1;
    }
    unsigned long long x, y;
    for (size_t i = 0; i + 8 <= n; i += 8)
    {
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y)
            return false;
    }
    // The last word, overlapping the one before when n is no multiple of 8.
    std::memcpy(&x, a + n - 8, 8);
    std::memcpy(&y, b + n - 8, 8);
    return x == y;
}

// Whether a text value, taken as a C string (as far as a NUL byte it may
// hold), is own, of ownLength bytes.
inline bool TextIs(const KQox::ValueView& text, const char* own, size_t ownLength)
{
    // A shorter own name matches a text that ends there at a NUL byte.
    return (ownLength == text.mLength || (ownLength < text.mLength && text.mText[ownLength] == 0)) &&
           SameBytes(own, text.mText, ownLength);
}

inline bool TextIs(const KQox::ValueView& text, const char* own)
{
    if (text.mLength > 0 && own[0] != text.mText[0])
        return false;
    return TextIs(text, own, std::strlen(own));
}

// The names of the kinds (KProperty::GetPropertyTypeName) and their lengths,
// found once: every row's kind is compared with one.
const int kTypeNameCount = static_cast<int>(sizeof(kPropertyTypeNames) / sizeof(kPropertyTypeNames[0]));
struct TypeNameLengths
{
    size_t mOf[kTypeNameCount];
    TypeNameLengths()
    {
        for (int k = 0; k < kTypeNameCount; ++k)
            mOf[k] = std::strlen(kPropertyTypeNames[k]);
    }
};
const TypeNameLengths kTypeNameLengths;

// Whether a text value, taken as a C string, is the name of a kind.
bool TextIsTypeName(const KQox::ValueView& text, int type)
{
    if (type < 0 || type >= kTypeNameCount)
        return TextIs(text, KProperty::GetPropertyTypeName(type));
    return TextIs(text, kPropertyTypeNames[type], kTypeNameLengths.mOf[type]);
}

// Whether the values of a row of a plain kind have the type codes the
// writer gives them (doubles for vectors, floats and doubles, integers for
// integers, enums and flags, ticks for times), as far as they are read:
// others are converted the value-by-value way.
bool HasWrittenCodes(int type, const KQox::ValueView* values, int count)
{
    const int width = VectorWidth(type);
    if (width > 0)
    {
        for (int k = 0; k < width && k < count; ++k)
            if (values[k].mType != 'D')
                return false;
        return true;
    }
    if (count <= 0)
        return true;
    switch (type)
    {
    case kPropertyTypeInt:
    case kPropertyTypeEnum:
    case kPropertyTypeBool: return values[0].mType == 'I';
    case kPropertyTypeFloat:
    case kPropertyTypeDouble: return values[0].mType == 'D';
    case kPropertyTypeTime: return values[0].mType == 'L';
    default: return false;
    }
}

// The values of a row of a plain kind (HasWrittenCodes) into the value as
// ReadValueInPlace stores them: a vector keeps the members the row lacks.
inline void StoreInPlace(int type, const KQox::ValueView* values, int count, void* value)
{
    const int width = VectorWidth(type);
    double* members = static_cast<double*>(value);
    for (int k = 0; k < width && k < count; ++k)
        members[k] = values[k].mDouble;
    if (width > 0 || count <= 0)
        return;
    switch (type)
    {
    case kPropertyTypeInt:
    case kPropertyTypeEnum:
    {
        const int read = static_cast<int>(values[0].mInt);
        std::memcpy(value, &read, sizeof(read));
        break;
    }
    case kPropertyTypeBool: *static_cast<bool*>(value) = values[0].mInt != 0; break;
    case kPropertyTypeFloat: *static_cast<float*>(value) = static_cast<float>(values[0].mDouble); break;
    case kPropertyTypeDouble: *static_cast<double*>(value) = values[0].mDouble; break;
    case kPropertyTypeTime: *static_cast<KTime*>(value) = KTime(values[0].mInt); break;
    default: break;
    }
}

} // namespace

bool IQoxObject::ReadRowAtOnce(KObject& object, int& next)
{
    ValueView values[kRowValues];
    const int count = FieldPeekValues(values, kRowValues);
    if (count < 3 || values[0].mType != 'S' || values[1].mType != 'S' || values[2].mType != 'S')
        return false;
    // The property after the one found last; any other is found by name on
    // the value-by-value way.
    int index = -1;
    const KPropertyInfo* info = nullptr;
    const int properties = object.GetPropertyCount();
    for (int i = next; i < properties && i < next + 4; ++i)
    {
        info = &object.ReadPropertyInfoAt(i);
        if (info->mName && TextIs(values[0], info->mName))
        {
            index = i;
            break;
        }
    }
    if (index < 0)
        return false;
    const int type = info->mType;
    if (!IsStoredKind(type) || !TextIsTypeName(values[1], type) || (object.GetPropertyFlagAt(index) & eNOT_IN_FILE))
    {
        // Passed over: the property keeps its value.
        next = index + 1;
        return true;
    }
    if (!IsPlainKind(type) || !HasWrittenCodes(type, values + 3, count - 3))
        return false;
    next = index + 1;
    // A row not made takes its value where the object keeps it.
    if (void* value = object.DeferredValueAt(index))
    {
        StoreInPlace(type, values + 3, count - 3, value);
        return true;
    }
    ListedProperty property(object, index);
    const int width = VectorWidth(type);
    if (width > 0)
    {
        double v[4] = {0, 0, 0, 0};
        property.GetData(v);
        StoreInPlace(type, values + 3, count - 3, v);
        property.SetData(v);
    }
    else if (count > 3)
    {
        const ValueView& v = values[3];
        switch (type)
        {
        case kPropertyTypeInt:
        case kPropertyTypeEnum: property.Set(static_cast<int>(v.mInt)); break;
        case kPropertyTypeBool: property.Set(v.mInt != 0); break;
        case kPropertyTypeFloat: property.Set(static_cast<float>(v.mDouble)); break;
        case kPropertyTypeDouble: property.Set(v.mDouble); break;
        default: property.Set(KTime(v.mInt)); break;
        }
    }
    return true;
}

bool IQoxObject::FieldReadPropertiesList(KObject& object)
{
    if (!FieldReadBegin("Properties"))
        return false;
    if (FieldReadBlockBegin())
    {
        // The texts are compared where the file layer decoded them, as C
        // strings (as far as a NUL byte they may hold); each is used up
        // before the next is read.
        int next = 0;
        const bool atOnce = iqoxobject::gRowsAtOnce && IsBinary();
        // Each row is ended as the next is found.
        for (bool row = FieldReadBegin("Property"); row;
             row = atOnce ? FieldReadNextOfName() : (FieldReadEnd(), FieldReadBegin("Property")))
        {
            if (atOnce && ReadRowAtOnce(object, next))
                continue;
            const KPropertyInfo* info = nullptr;
            const int index = FindInOrder(object, FieldReadC(), next, info);
            const char* typeName = FieldReadC();
            // The flags that follow are passed over: the object's own property keeps its own.
            if (index >= 0)
            {
                const int type = info->mType;
                if (IsStoredKind(type) && IsTypeName(typeName, type) &&
                    !(object.GetPropertyFlagAt(index) & eNOT_IN_FILE))
                {
                    FieldReadC();
                    // A row not made takes its value where the object keeps it.
                    if (void* value = IsPlainKind(type) ? object.DeferredValueAt(index) : nullptr)
                        ReadValueInPlace(type, value);
                    else
                    {
                        ListedProperty property(object, index);
                        ReadPropertyValue(property);
                    }
                }
            }
        }
        FieldReadBlockEnd();
    }
    FieldReadEnd();
    return GetLastErrorID() != eFILE_CORRUPTED;
}

} // namespace qoxsdk_600
