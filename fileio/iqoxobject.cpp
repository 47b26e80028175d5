#include "fileio/iqoxobject.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "base/kmath_kernels.h"
#include "object/kobject.h"
#include "object/kproperty.h"

namespace qoxsdk_600 {

namespace {

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

} // namespace

IQoxObject::IQoxObject() {}

IQoxObject::~IQoxObject()
{
    if (ProjectIsWriting())
        ProjectAbandon();
}

bool IQoxObject::ProjectCreateSafe(const char* fileName, EForm form, int version, const char* password)
{
    if (!fileName || !*fileName)
    {
        GetError().SetLastErrorID(eFILE_NOT_CREATED);
        return false;
    }
    // A unique name in the target's directory, so the rename stays on one
    // file system. mkstemp finds it; the file is then made again by the
    // exclusive create, which gives it the permissions a plain create would
    // and spares ext4's write-out at close of a file truncated on opening.
    KString pattern(fileName);
    pattern += ".tmpXXXXXX";
    int fd = mkstemp(pattern.Buffer());
    if (fd < 0)
    {
        GetError().SetLastErrorID(eFILE_NOT_CREATED);
        return false;
    }
    close(fd);
    std::remove(pattern.ToChars());
    if (!ProjectCreateNew(pattern.ToChars(), form, version, password))
        return false;
    mTarget = fileName;
    mTemporary = pattern;
    return true;
}

bool IQoxObject::ProjectCloseSafe()
{
    bool ok = ProjectClose();
    if (mTemporary.IsEmpty())
        return ok;
    if (ok && std::rename(mTemporary.ToChars(), mTarget.ToChars()) != 0)
    {
        GetError().SetLastErrorID(eFILE_NOT_CREATED);
        ok = false;
    }
    if (!ok)
        std::remove(mTemporary.ToChars());
    mTemporary = "";
    mTarget = "";
    return ok;
}

void IQoxObject::ProjectAbandon()
{
    int code = GetLastErrorID();
    KString text(GetLastErrorString());
    ProjectClose();
    if (!mTemporary.IsEmpty())
        std::remove(mTemporary.ToChars());
    mTemporary = "";
    mTarget = "";
    if (code >= 0)
        GetError().SetLastError(code, text.ToChars());
}

bool IQoxObject::FieldWritePropertiesList(KObject& object)
{
    bool ok = FieldWriteBegin("Properties") && FieldWriteBlockBegin();
    for (int i = 0; ok && i < object.GetPropertyCount(); ++i)
    {
        KProperty* property = object.GetProperty(i);
        if (property && !property->GetPropertyFlag(eNOT_IN_FILE))
            FieldWriteProperty(*property);
    }
    ok = ok && FieldWriteBlockEnd() && FieldWriteEnd();
    return ok && GetLastErrorID() != eNO_SPACE_LEFT;
}

bool IQoxObject::FieldWriteProperty(KProperty& property)
{
    int type = property.GetPropertyType();
    if (!IsStoredKind(type))
        return false;
    KString flags;
    if (property.IsAnimatable())
        flags += "A";
    if (property.IsUserProperty())
        flags += "U";
    FieldWriteBegin("Property");
    FieldWriteC(property.GetPropertyName());
    FieldWriteC(property.GetPropertyTypeName());
    FieldWriteC(flags.ToChars());
    int width = VectorWidth(type);
    if (width > 0)
    {
        double v[4] = {0, 0, 0, 0};
        property.GetData(v, 0, nullptr, nullptr);
        for (int k = 0; k < width; ++k)
            FieldWriteD(v[k]);
    }
    else
    {
        switch (type)
        {
        case kPropertyTypeInt:
        case kPropertyTypeEnum: FieldWriteI(property.AsInteger()); break;
        case kPropertyTypeBool:
        {
            bool b = false;
            property.GetData(&b, 0, nullptr, nullptr);
            FieldWriteI(b ? 1 : 0);
            break;
        }
        case kPropertyTypeFloat:
        case kPropertyTypeDouble: FieldWriteD(property.AsDouble()); break;
        case kPropertyTypeTime:
        {
            KTime t;
            property.GetData(&t, 0, nullptr, nullptr);
            FieldWriteT(t);
            break;
        }
        default: FieldWriteC(property.AsString().ToChars()); break;
        }
    }
    return FieldWriteEnd();
}

void IQoxObject::FieldReadPropertyValue(KProperty& property)
{
    int type = property.GetPropertyType();
    int width = VectorWidth(type);
    if (width > 0)
    {
        double v[4] = {0, 0, 0, 0};
        property.GetData(v, 0, nullptr, nullptr);
        for (int k = 0; k < width && FieldReadGetRemain() > 0; ++k)
            v[k] = FieldReadD();
        property.SetData(v, 0, nullptr, nullptr);
        return;
    }
    if (FieldReadGetRemain() <= 0)
        return;
    switch (type)
    {
    case kPropertyTypeInt:
    case kPropertyTypeEnum: property.SetInteger(FieldReadI()); break;
    case kPropertyTypeBool:
    {
        bool b = FieldReadI() != 0;
        property.SetData(&b, 0, nullptr, nullptr);
        break;
    }
    case kPropertyTypeFloat:
    case kPropertyTypeDouble: property.SetDouble(FieldReadD()); break;
    case kPropertyTypeTime:
    {
        KTime t = FieldReadT();
        property.SetData(&t, 0, nullptr, nullptr);
        break;
    }
    default: property.SetString(FieldReadC()); break;
    }
}

namespace {

// The object's property of that name. The writer stores an object's
// properties in its own order, so the property after the one found last is
// tried first; names are unique in an object, so the answer is the one a
// search by name gives.
KProperty* FindInOrder(KObject& object, const char* name, int& next)
{
    const int count = object.GetPropertyCount();
    for (int i = next; i < count && i < next + 4; ++i)
    {
        KProperty* property = object.GetProperty(i);
        const char* own = property ? property->GetPropertyName() : nullptr;
        if (own && own[0] == name[0] && std::strcmp(own, name) == 0)
        {
            next = i + 1;
            return property;
        }
    }
    return object.FindPropertyByName(name);
}

} // namespace

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
        while (FieldReadBegin("Property"))
        {
            KProperty* property = FindInOrder(object, FieldReadC(), next);
            const char* typeName = FieldReadC();
            // The flags that follow are passed over: the object's own property keeps its own.
            if (property && !property->GetPropertyFlag(eNOT_IN_FILE) && IsStoredKind(property->GetPropertyType()) &&
                std::strcmp(typeName, property->GetPropertyTypeName()) == 0)
            {
                FieldReadC();
                FieldReadPropertyValue(*property);
            }
            FieldReadEnd();
        }
        FieldReadBlockEnd();
    }
    FieldReadEnd();
    return GetLastErrorID() != eFILE_CORRUPTED;
}

} // namespace qoxsdk_600
