#ifndef QOX_SCENE_KQOXOBJECT_H
#define QOX_SCENE_KQOXOBJECT_H

// KQoxPlug and KQoxObject: the roots of the SDK's scene objects.
//
// KQoxPlug carries the two tear-down hooks. KQoxObject adds a name record
// (the initial name an object was created or read with, and its current
// name), a namespace that decides the class prefix of the current name, the
// list of attached user properties (not owned: the SDK manager owns them) and
// the manager that made the object.

#include <functional>

#include "base/karray.h"
#include "base/kname.h"
#include "base/kstring.h"
#include "base/kstringlist.h"

class KProperty;

namespace qoxsdk_600 {

class KQoxSdkManager;
class KQoxUserProperty;
class KQoxPropertyHandler;

class KQoxPlug
{
public:
    KQoxPlug() {}
    virtual ~KQoxPlug() {}
    KQoxPlug(const KQoxPlug&) = delete;
    KQoxPlug& operator=(const KQoxPlug&) = delete;

    // Hooks; both do nothing here. Destruct runs before the owner deletes the
    // object, while the object is still whole.
    virtual void Construct() {}
    virtual void Destruct() {}
};

class KQoxObject : public KQoxPlug
{
public:
    // The namespace of an object picks its default name prefix.
    typedef int ENameSpace;
    enum
    {
        eNODE = 1,             // "Model::"
        eTEXTURE = 2,          // "Texture::"
        eMATERIAL = 3,         // "Material::"
        eVIDEO_OLD = 4,        // "Video::"
        eVIDEO = 5,            // "Video::"
        eCONSTRAINT = 6,       // "Constraint::"
        eMARKER_SET = 7,       // "MarkerSet::"
        eCHARACTER = 8,        // "Constraint::"
        eCHARACTER_POSE = 9,   // "Pose::"
        eNO_PREFIX = 10,       // no prefix (deformers, generic nodes)
        ePOSE = 11,            // "Pose::"
        eCONTROL_SET_PLUG = 12 // "ControlSetPlug::"
    };

    // The text becomes both the initial and the current name, unchanged.
    KQoxObject(KQoxSdkManager& pManager, const char* pName);
    ~KQoxObject() override;

    virtual ENameSpace GetNameSpace() const = 0;
    // The object's property block; none here.
    virtual KQoxPropertyHandler* GetPropertyHandler() { return nullptr; }
    // Appends the object's properties to a KArrayTemplate<KProperty*>; none here.
    virtual void FillPropertyList(void* pList) { (void)pList; }
    virtual KString GetTypeName() { return KString(""); }
    virtual KStringList GetTypeFlags() { return KStringList(); }
    // Called after a user property was attached or detached.
    virtual void PropertyAdded(KQoxUserProperty* pProperty) { (void)pProperty; }
    virtual void PropertyRemoved(KQoxUserProperty* pProperty) { (void)pProperty; }

    // Names ------------------------------------------------------------------
    // The current name becomes KQoxSdkManager::PrefixName of the object's own
    // prefix and the text; the initial name is kept.
    void SetName(const char* pName);
    // The current name, prefix included.
    char* GetName();
    const char* GetName() const;
    // Sets both names to the text unchanged, no prefixing.
    void SetInitialName(const char* pName);
    char* GetInitialName();
    // The current name without the object's prefix (or, failing that, without
    // everything up to the first "::").
    KString GetNameWithoutNameSpacePrefix() const;
    // The prefix of the object's own namespace.
    KString GetNameSpacePrefix() const;
    // The prefix the namespace table gives; empty outside 1 to 12.
    static KString GetDefaultNameSpacePrefix(ENameSpace pNameSpace);
    // The text after the last ':' of the name, or the whole name.
    static KString RemovePrefix(const char* pName);
    // The name record for renaming strategies, which edit it in place. The
    // manager's name lookups are told that names may change.
    KName& GetNameRecord();
    const KName& GetNameRecord() const { return mName; }

    // Copies the other object's name record when both share a namespace;
    // otherwise nothing changes. Properties and manager are never copied.
    KQoxObject& operator=(KQoxObject& pObject);

    // User properties --------------------------------------------------------
    int GetPropertyCount() const
    {
        EnsurePublished();
        return mUserProperties.GetCount();
    }
    // The number of attached properties for which GetFlag(pFlag) is true.
    int GetPropertyCount(int pFlag) const;
    // Ignores null and a property already attached; else appends it and
    // calls PropertyAdded.
    void AddProperty(KQoxUserProperty* pProperty);
    // Ignores null and a property not attached; else detaches it (it is not
    // deleted) and calls PropertyRemoved.
    void RemoveProperty(KQoxUserProperty* pProperty);
    // Null out of range.
    KQoxUserProperty* GetProperty(int pIndex) const;
    // The first attached property wrapping the given property, or null.
    KQoxUserProperty* GetProperty(KProperty* pProperty) const;
    // The first attached property whose name equals the text exactly, or null.
    KQoxUserProperty* FindPropertyByName(const char* pName) const;
    // Calls pVisit on every attached property in the order GetProperty gives
    // them, without making the wrappers put off: each of those is visited
    // through a temporary wrapper of its property, to be read only. Writers
    // use it so that a scene written is not made larger by the writing.
    void VisitProperties(const std::function<void(KQoxUserProperty&)>& pVisit);

    KQoxSdkManager& GetSdkManager() const { return mManager; }

protected:
    // An object may put off making the wrappers of its own properties (see
    // KQoxTakeNodeContainer::PublishPropertiesLater): every read or change of
    // the user-property list makes them first, so nothing can tell.
    void EnsurePublished() const
    {
        if (mPublishPending)
            const_cast<KQoxObject*>(this)->PublishPending();
    }
    // Makes the put-off wrappers and clears mPublishPending.
    virtual void PublishPending() { mPublishPending = false; }
    // The properties whose wrappers are put off, in the order PublishPending
    // will attach them (after the wrappers already attached).
    virtual int GetPendingPropertyCount() { return 0; }
    virtual KProperty* GetPendingProperty(int) { return nullptr; }
    bool mPublishPending = false;

    // Changed only through the name operations above, so that the manager's
    // lookups by name learn of every change.
    KName mName;
    KArrayTemplate<KQoxUserProperty*> mUserProperties;
    KQoxSdkManager& mManager;
};

} // namespace qoxsdk_600

#endif
