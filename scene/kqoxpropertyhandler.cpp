#include "scene/kqoxpropertyhandler.h"

#include "object/kpropertydatatype.h"
#include "scene/kqoxuserproperty.h"

namespace qoxsdk_600 {

KPLUG_CLASS_IMPLEMENT(KQoxPropertyHandler, KObject, "KQoxPropertyHandler")

KQoxPropertyHandler::KQoxPropertyHandler() {}

KQoxPropertyHandler::~KQoxPropertyHandler() {}

KProperty* KQoxPropertyHandler::CreatePropertyFromType(const char* pName, kPropertyType pType, KDataType* pDataType,
                                                       bool pAnimatable, bool pUser, KProperty* pReference)
{
    KProperty* property = KObject::CreatePropertyFromType(pName, pType, pDataType, false, pUser, pReference);
    if (property && pAnimatable)
        property->GetPropertyInfo().ModifyFlag(KPropertyInfo::eAnimatable, true);
    return property;
}

bool KQoxPropertyHandler::CreateKProperty(KQoxUserProperty* pUserProperty)
{
    if (!pUserProperty || pUserProperty->GetKProperty())
        return false;
    KDataType* dataType = KDataTypeGet(KQoxUserProperty::GetPropertyTypeName(pUserProperty->GetPropertyType()));
    if (!dataType)
        return false;
    kPropertyType type = DataTypeToPropertyType(dataType);
    KString name = pUserProperty->GetName();
    KProperty* property = CreatePropertyFromType(name.ToChars(), type, dataType, false, false, nullptr);
    if (!property)
        return false;

    if (pUserProperty->GetFlag(KQoxUserProperty::eANIMATABLE))
    {
        property->GetPropertyInfo().ModifyFlag(KPropertyInfo::eAnimatable, true);
        property->ModifyPropertyFlag(KProperty::eAnimated, true);
    }
    if (pUserProperty->GetFlag(KQoxUserProperty::eUSER))
        property->GetPropertyInfo().ModifyFlag(KPropertyInfo::eUser, true);
    if (pUserProperty->GetFlag(KQoxUserProperty::eTEMPORARY))
        property->GetPropertyInfo().ModifyFlag(KPropertyInfo::eTemporary, true);

    KString label = pUserProperty->GetLabel(true);
    if (!label.IsEmpty())
        property->SetPropertyLabel(label.ToChars());

    pUserProperty->SetKProperty(property);
    pUserProperty->SetPropertyHandler(this);
    return true;
}

bool KQoxPropertyHandler::DestroyKProperty(KQoxUserProperty* pUserProperty)
{
    if (!pUserProperty || !pUserProperty->GetKProperty())
        return false;
    PropertyDestroy(pUserProperty->GetKProperty());
    pUserProperty->SetKProperty(nullptr);
    return true;
}

} // namespace qoxsdk_600
