#ifndef QOX_SCENE_KQOXPROPERTYHANDLER_H
#define QOX_SCENE_KQOXPROPERTYHANDLER_H

// KQoxPropertyHandler: base of the property blocks that scene objects carry.
// It turns a user property's stand-alone entry into a real property of the
// block (data type from the type name, flags, label) and destroys it again.
// Each block supplies DefaultValueChanged (forwarded to its object's take-node
// container) and GetKQoxObject (the object that owns the block).

#include "object/kobject.h"
#include "object/kproperty.h"

namespace qoxsdk_600 {

class KQoxObject;
class KQoxUserProperty;

class KQoxPropertyHandler : public KObject
{
    KPLUG_CLASS_DECLARE(KQoxPropertyHandler)
public:
    KQoxPropertyHandler();
    ~KQoxPropertyHandler() override;

    // Is, the class group id and name come from KObject: the class is
    // registered with KObject's definition as its parent.

    // Always creates the property as not animatable; sets the animatable info
    // bit afterwards when asked.
    KProperty* CreatePropertyFromType(const char* pName, kPropertyType pType, KDataType* pDataType, bool pAnimatable,
                                      bool pUser, KProperty* pReference) override;

    // False for null, for a user property that already wraps one, for a type
    // name without data type and when no property can be made. Otherwise the
    // user property wraps the new property and records this handler.
    bool CreateKProperty(KQoxUserProperty* pUserProperty);
    // False for null or a user property wrapping nothing; else destroys the
    // wrapped property and clears the user property's pointer to it.
    bool DestroyKProperty(KQoxUserProperty* pUserProperty);

    // Whether a row of the handler's deferred table may be animatable while
    // it is not made: a handler whose rows never are lets its users pass over
    // them without reading their descriptors.
    virtual bool DeferredRowsMayBeAnimatable() const { return true; }

    virtual void DefaultValueChanged(KQoxUserProperty* pUserProperty) = 0;
    virtual KQoxObject* GetKQoxObject() = 0;
};

} // namespace qoxsdk_600

#endif
