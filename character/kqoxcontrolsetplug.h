#ifndef QOX_CHARACTER_KQOXCONTROLSETPLUG_H
#define QOX_CHARACTER_KQOXCONTROLSETPLUG_H

// The control-set plug: the scene object that carries a control set through
// the property system (and the native file's object model).
//
// Its property block holds, in this order: "UseAxis" (bool, true at first),
// "ControlSetType" (enum, 0, no text for any value), one object list per
// named character node id (187, named with the node name, count 1) and one per
// effector (44, named with the effector name, count 15). Each list keeps its
// id in its plug's user word and connects the property blocks of the nodes
// that fill the slot as its sources. KQoxControlSet::ToPlug and FromPlug
// convert between the two forms; nothing keeps them in step otherwise.

#include "base/karray.h"
#include "base/kerror.h"
#include "character/kqoxcontrolset.h"
#include "object/kpropertylist.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxtakenodecontainer.h"

namespace qoxsdk_600 {

class KQoxControlSetPlug;

class KQoxControlSetPlugProperties : public KQoxPropertyHandler
{
    KPLUG_CLASS_DECLARE(KQoxControlSetPlugProperties)
public:
    static const char* const ClassName;

    // A value property whose accessors read and write the held value directly.
    template <class T>
    class Value : public KPropertyTemplate<T>
    {
    public:
        T& Held() { return this->mValue; }
    };

    // Builds the whole property list for owner (not owned).
    explicit KQoxControlSetPlugProperties(KQoxTakeNodeContainer* owner);
    ~KQoxControlSetPlugProperties() override;

    // Forwarded to the owner's take-node container.
    void DefaultValueChanged(KQoxUserProperty* property) override;
    KQoxObject* GetKQoxObject() override;
    KQoxControlSetPlug* GetKQoxControlSetPlug();

    // The accessors of the two value properties: the held value, no
    // notification.
    virtual void ControlSetTypeSet(KQoxControlSet::EType type);
    virtual KQoxControlSet::EType ControlSetTypeGet();
    virtual void UseAxisSet(bool useAxis);
    virtual bool UseAxisGet();

    // No control-set type has a text: null for every value.
    static char* ControlSetTypeAsString(KQoxControlSet::EType type);
    // The to-text function the "ControlSetType" property calls.
    char* ControlSetTypeText(int value);

    // The lists in creation order (link lists by node id, then effectors).
    int GetLinkListCount() const { return mLinkLists.GetCount(); }
    KPropertyObjectList* GetLinkList(int index) const;
    int GetEffectorListCount() const { return mEffectorLists.GetCount(); }
    KPropertyObjectList* GetEffectorList(int index) const;

    Value<bool> mUseAxis;
    Value<KQoxControlSet::EType> mControlSetType;

private:
    KQoxTakeNodeContainer* mOwner;
    KArrayTemplate<KPropertyObjectList*> mLinkLists;     // owned by the property list
    KArrayTemplate<KPropertyObjectList*> mEffectorLists; // owned by the property list
};

class KQoxControlSetPlug : public KQoxTakeNodeContainer
{
public:
    // name is used as given (the scene adds "ControlSetPlug::"). Creates the
    // property block, then the "Default" take.
    KQoxControlSetPlug(KQoxSdkManager& manager, const char* name);
    ~KQoxControlSetPlug() override;

    // The property block's Destruct.
    void Destruct() override;
    ENameSpace GetNameSpace() const override { return eCONTROL_SET_PLUG; }
    KQoxPropertyHandler* GetPropertyHandler() override;
    KQoxControlSetPlugProperties* GetProperties() const { return mProperties; }
    // "ControlSetPlug", and a flag list with that single entry.
    KString GetTypeName() override;
    KStringList GetTypeFlags() override;
    // Channels for the animatable properties of the block.
    void AddChannels(KQoxTakeNode* takeNode) override;
    KQoxUserProperty* CreateKQoxUserProperty(KProperty* property) override;

    // The plug's own error record; its only message is "Error".
    KError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString(); }

private:
    KQoxControlSetPlugProperties* mProperties; // owned
    KError mError;
};

} // namespace qoxsdk_600

#endif
