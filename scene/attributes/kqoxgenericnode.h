#ifndef QOX_SCENE_ATTRIBUTES_KQOXGENERICNODE_H
#define QOX_SCENE_ATTRIBUTES_KQOXGENERICNODE_H

// KQoxGenericNode: a named scene object with no geometry or transform that
// carries user properties and their animation per take (stored as a
// "GenericNode" object). Its properties live in the handler
// KQoxGenericNodeProperties that it owns; the scene lists it in its entity.
// Made and destroyed only through the SDK manager; its name gets no prefix.

#include "base/kerror.h"
#include "base/kstring.h"
#include "base/kstringlist.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxtakenodecontainer.h"

namespace qoxsdk_600 {

class KQoxEntity;
class KQoxGenericNodeProperties;

class KQoxGenericNode : public KQoxTakeNodeContainer
{
public:
    KQoxGenericNode(KQoxSdkManager& pManager, const char* pName);
    // Destroys its properties; the entity is not touched (see SetEntity).
    ~KQoxGenericNode() override;

    void Destruct() override;
    ENameSpace GetNameSpace() const override { return eNO_PREFIX; }
    KQoxPropertyHandler* GetPropertyHandler() override;
    // "GenericNode", and a list holding "GenericNode".
    KString GetTypeName() override;
    KStringList GetTypeFlags() override;

    // Error 0 "Error".
    KError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString(); }

    // Leaves the current entity and joins pEntity (null only leaves); true.
    bool SetEntity(KQoxEntity* pEntity);
    KQoxEntity* GetEntity() const { return mEntity; }

    // Channels of every animatable property of the handler.
    void AddChannels(KQoxTakeNode* pTakeNode) override;
    KQoxUserProperty* CreateKQoxUserProperty(KProperty* pProperty) override;

private:
    KQoxEntity* mEntity;                    // not owned
    KQoxGenericNodeProperties* mProperties; // owned; ended through Destroy(0)
    KError mError;
};

// The generic node's property handler.
class KQoxGenericNodeProperties : public KQoxPropertyHandler
{
    KPLUG_CLASS_DECLARE(KQoxGenericNodeProperties)
public:
    explicit KQoxGenericNodeProperties(KQoxTakeNodeContainer* pOwner);
    ~KQoxGenericNodeProperties() override;

    // Keeps the owner's Default-take curves in step with the property.
    void DefaultValueChanged(KQoxUserProperty* pUserProperty) override;
    KQoxObject* GetKQoxObject() override { return mOwner; }
    KQoxGenericNode* GetKQoxGenericNode() { return static_cast<KQoxGenericNode*>(mOwner); }

private:
    KQoxTakeNodeContainer* mOwner;
};

} // namespace qoxsdk_600

#endif
