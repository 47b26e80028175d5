#ifndef QOX_SCENE_KQOXPROPERTYBINDING_H
#define QOX_SCENE_KQOXPROPERTYBINDING_H

// Binding the typed member properties of a property block to the block's own
// getter and setter, the block's enumeration texts, and the SDK object behind
// a connected plug.

#include "object/kobject.h"
#include "object/kproperty.h"
#include "scene/kqoxobject.h"
#include "scene/kqoxpropertyhandler.h"

namespace qoxsdk_600 {

// Names the member property, binds Owner's getter and setter (virtual ones
// included), gives it its type code and appends it to the owner's property
// list. The owner keeps the value; the property reads and writes it through
// the pair.
template <class T, class Owner>
void BindMemberProperty(KPropertyTemplate<T>& pProperty, const char* pName, Owner* pOwner, T (Owner::*pGetter)(),
                        void (Owner::*pSetter)(T), kPropertyType pType)
{
    typedef T (KPlug::*PlugGetter)();
    typedef void (KPlug::*PlugSetter)(T);
    pProperty.SetPropertyInfo(pName, pOwner, KPropertyMemberCast<KPropertyAccessor>(static_cast<PlugGetter>(pGetter)),
                              KPropertyMemberCast<KPropertyAccessor>(static_cast<PlugSetter>(pSetter)));
    pProperty.SetPropertyType(pType);
    pOwner->PropertyAddToList(&pProperty);
}

// Installs Owner's enumeration-to-text function on the property.
template <class Owner>
void BindAsString(KProperty& pProperty, char* (Owner::*pFunction)(int))
{
    pProperty.GetPropertyInfo().SetAsStringFunc(static_cast<KPropertyToString>(pFunction));
}

// The text at the value's position in a table of pCount texts; null outside.
inline char* EnumText(const char* const* pTable, int pCount, int pValue)
{
    return (pValue >= 0 && pValue < pCount) ? const_cast<char*>(pTable[pValue]) : nullptr;
}

// The SDK object whose property block the plug is (GetKQoxObject), or null
// when the plug is none or no block.
inline KQoxObject* GetKQoxObjectOfPlug(KPlug* pPlug)
{
    if (!pPlug || !pPlug->Is(KQoxPropertyHandler::ClassId))
        return nullptr;
    return static_cast<KQoxPropertyHandler*>(pPlug)->GetKQoxObject();
}

} // namespace qoxsdk_600

#endif
