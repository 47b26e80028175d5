#ifndef QOX_SCENE_KQOXTAKENODECONTAINER_H
#define QOX_SCENE_KQOXTAKENODECONTAINER_H

// KQoxTakeNodeContainer: the base of every animatable scene object.
//
// It owns one take node per take (entry 0 is "Default" once Init ran) and the
// index of the current take. An object may owe its Default take instead
// (InitOnRequest): the take then counts and is named as usual, and is built
// the first time anything asks for it, holding the values it would hold had
// it been built at once. It creates the channels of animatable properties in
// every take, and keeps property values and the static values of the Default
// take's curves equal in both directions:
// - curve to property: a callback record on each Default-take curve copies
//   the curve's static value into its property whenever it changes;
// - property to curve: a user property's new default value is written into
//   its channel in the current and the Default take with the curve callbacks
//   held off, so nothing echoes back.
// Failures set code 0 with an explicit text in the error object the derived
// class hands in.

#include <functional>
#include <vector>

#include "base/karray.h"
#include "base/kerror.h"
#include "base/kstring.h"
#include "base/ktime.h"
#include "scene/kqoxobject.h"

class KDataType;
class KFCurve;
class KFCurveEvent;
class KFCurveNode;
class KProperty;

namespace qoxsdk_600 {

class KQoxTakeNode;
class KQoxTakeNodeContainer;
class KQoxUserProperty;

// Ties one Default-take curve to one member of a property.
struct KQoxDefaultTakeCallback
{
    KQoxDefaultTakeCallback(KProperty* pProperty, int pMember, KFCurve* pCurve, KQoxTakeNodeContainer* pContainer)
        : mProperty(pProperty)
        , mMember(pMember)
        , mCurve(pCurve)
        , mContainer(pContainer)
    {}
    KProperty* mProperty;              // not owned
    int mMember;                       // 0 for a single value, else the member index
    KFCurve* mCurve;                   // not owned
    KQoxTakeNodeContainer* mContainer; // the container that owns the record
};

class KQoxTakeNodeContainer : public KQoxObject
{
public:
    // No take node yet, current index -1. The error object may not be
    // constructed yet; it is only used later.
    KQoxTakeNodeContainer(KQoxSdkManager& pManager, const char* pName, KError* pError);
    // Drops the remaining callback records, then destroys the take nodes (last first).
    ~KQoxTakeNodeContainer() override;

    // Creates "Default" and makes it current.
    void Init();
    // Makes "Default" current and owes it: it is built on first request.
    // Until then the object keeps the values its curves would hold; the
    // derived class tells them (RememberDefaultValues) for the channels its
    // AddChannels ties to properties. They change where a built take's curves
    // would (default values set, curves refreshed from the properties); a
    // property written directly leaves them, as it leaves a built take's.
    void InitOnRequest();
    // Destroys every take node (last first), then Init (the Default take is
    // built at once, whichever Init made the first one).
    void Reset();

    // Copies the object base, replaces the take nodes with deep copies of the
    // source's and takes its current index. The copied Default take is tied
    // to this object's own properties again, matched by property name.
    KQoxTakeNodeContainer& operator=(KQoxTakeNodeContainer& pSource);

    // Takes ------------------------------------------------------------------
    // Appends a copy of the Default take under the name, or, for the first
    // take, a fresh take node filled by AddChannels. Null with "Take node
    // already exists" for a name already used (exact comparison).
    KQoxTakeNode* CreateTakeNode(const char* pName);
    // Refuse the Default take ("Cannot remove default take node") and unknown
    // takes. The current index keeps designating the same take: it moves down
    // when a take below it goes, and falls back to the previous take when the
    // current one goes.
    bool RemoveTakeNode(int pIndex);
    bool RemoveTakeNode(const char* pName);
    // On failure the current index falls back to 0 and false is returned.
    virtual bool SetCurrentTakeNode(int pIndex);
    virtual bool SetCurrentTakeNode(const char* pName);
    // Entry 0 (built when owed), or null without error.
    KQoxTakeNode* GetDefaultTakeNode();
    // Hands the Default take to pRead, which only reads it (null when there
    // is none). One owed is built for the call alone and dropped after it,
    // so the object stays as it was.
    void ReadDefaultTake(const std::function<void(KQoxTakeNode*)>& pRead);
    // Hands the Default take to pChange, which sets static values in it (a
    // reader). One owed is built for the call; when pChange changed nothing
    // in it but the values of curves tied to properties, those values are
    // kept and the take dropped, else it becomes the Default take.
    void ChangeDefaultTakeValues(const std::function<void(KQoxTakeNode*)>& pChange);
    // The channels of a plain owed Default take: "Transform" holding "T", "R"
    // and "S" (each "X", "Y", "Z"), then "Visibility"; each curve tied to
    // member i % 3 of property i / 3 (i < 9), the last to member 0 of
    // property 3. A property may be null (its curves are tied to nothing).
    static const int kPlainDefaultProperties = 4;
    static const int kPlainDefaultValues = 10;
    // The properties a plain owed Default take ties its curves to; false when
    // the take is not owed, or would have other channels.
    virtual bool GetPlainDefaultProperties(KProperty* (&pProperties)[kPlainDefaultProperties])
    {
        (void)pProperties;
        return false;
    }
    // What ChangeDefaultTakeValues does for a plain owed take (the
    // properties GetPlainDefaultProperties gave) when pChange sets the
    // static values of its ten curves in order and changes nothing else:
    // each tied property member is written the value, then the values are
    // kept. False, with nothing changed, when that call would build the take
    // (a tied property without kept values).
    bool KeepPlainDefaultValues(KProperty* const (&pProperties)[kPlainDefaultProperties],
                                const float (&pValues)[kPlainDefaultValues]);
    // Null with "Take node does not exist" out of range.
    KQoxTakeNode* GetCurrentTakeNode();
    char* GetCurrentTakeNodeName();
    KQoxTakeNode* GetTakeNode(int pIndex);
    char* GetTakeNodeName(int pIndex);
    int GetCurrentTakeNodeIndex() const { return mCurrentTakeNode; }
    // The Default take owed, not built yet.
    bool IsDefaultTakePending() const { return mTakeNodeArray.GetCount() > 0 && !mTakeNodeArray[0]; }
    // The take node when it is built; null without error for the Default
    // take owed or an index out of range. For code that changes every built
    // take alike, where the Default take owed gets the change when built.
    KQoxTakeNode* GetBuiltTakeNode(int pIndex);
    int GetTakeNodeCount() const { return mTakeNodeArray.GetCount(); }
    // True when the channel has a key in a take other than the Default take.
    bool IsChannelAnimated(const char* pNodeName, const char* pChannelName, const char* pSubChannelName);
    bool IsChannelAnimated(const char* pNodeName, const char* pChannelName, KDataType* pDataType);
    // Widens the pair with the current take's key span; false (unchanged)
    // when it has no key.
    virtual bool GetAnimationInterval(KTime& pStart, KTime& pStop);

    // Properties and channels ------------------------------------------------
    void PropertyAdded(KQoxUserProperty* pUserProperty) override;
    void PropertyRemoved(KQoxUserProperty* pUserProperty) override;
    // Refreshes the property's channel in the current and the Default take
    // from an animatable user property's default value.
    bool PropertyDefaultValueChanged(KQoxUserProperty* pUserProperty);
    // Copies every property of the handler into its Default-take channel.
    void UpdateDefaultTakeFromProperties();
    // While the Default take is owed: does for it what
    // UpdateDefaultTakeFromProperties would, keeping values; false, with
    // nothing changed, when the object cannot tell (the take is built then).
    virtual bool KeepDefaultValuesOfProperties() { return false; }
    // Appends every property of the handler to a KArrayTemplate<KProperty*>.
    void FillPropertyList(void* pList) override;
    // Appends what FillPropertyList lists after the handler's properties (a
    // class that lists more overrides both); nothing here.
    virtual void FillAddedPropertyList(void* pList) { (void)pList; }
    // Wraps every handler property not wrapped yet as a user property and
    // attaches it.
    void PublishProperties();
    // The same for the handler's properties as they stand, with the wrappers
    // themselves made only when the user-property list is first read or
    // changed (or the manager searches its list). Everything attaching them
    // does besides (animated marks, channels, Default-take values) happens
    // now, and the manager counts them from now on, so the result is the
    // one PublishProperties gives.
    void PublishPropertiesLater();
    // Makes the wrappers put off, if any.
    void PublishPendingProperties() { EnsurePublished(); }
    int GetPendingPropertyCount() const override;
    // While the wrappers are put off: the table property that the wrapper
    // FindPropertyByName would find wraps; null otherwise.
    KProperty* FindPendingProperty(const char* pName);
    // Forgets the wrappers put off without making them (the manager's list
    // they belong to was emptied).
    void DropPendingProperties();
    // Makes sure the take node holds the channel of an animatable property.
    void CreateChannelsForProperty(KProperty* pProperty, KQoxTakeNode* pTakeNode);
    // Ties a Default-take curve to one member of a property.
    void RegisterDefaultTakeCallback(KProperty* pProperty, int pMember, KFCurve* pCurve);
    // Unregisters and deletes the record and nulls the pointer; nothing for
    // null or a record this container does not hold.
    void UnregisterDefaultTakeCallback(KQoxDefaultTakeCallback*& pCallback);
    void UnregisterAllDefaultTakeCallback();
    // Builds the Default take when it is owed.
    int GetDefaultTakeCallbackCount();

    // Builds the channel tree of a fresh take node and registers the Default
    // take's callbacks of the object's own channels.
    virtual void AddChannels(KQoxTakeNode* pTakeNode) = 0;
    // Wraps one handler property as a user property (through the manager).
    virtual KQoxUserProperty* CreateKQoxUserProperty(KProperty* pProperty) = 0;

    // While the Default take is owed: the property's members as the curves
    // of its channel in this object's own tree (found by the property's
    // effective name) take them now, kept as the values they hold from now on.
    void RememberDefaultValues(KProperty* pProperty);
    // While the Default take is owed, the channels pAdd makes in a take node
    // (pSource's, an attribute's): their curves' values are kept as the ones
    // they hold from now on, until ForgetDefaultChannels(pSource). False, with
    // nothing kept, when a curve it makes is tied to no property of pOwned (a
    // KArrayTemplate<KProperty*>), or tied twice: the take must be built then.
    // pMadeNone (may be null): set when pAdd made no channel at all.
    bool RememberDefaultChannels(const std::function<void(KQoxTakeNode*)>& pAdd, void* pOwned, const void* pSource,
                                 bool* pMadeNone = nullptr);
    // Drops the values kept for pSource's channels (they left the take).
    void ForgetDefaultChannels(const void* pSource);

protected:
    KError* GetTakeError() const { return mError; }
    // Builds the Default take when it is owed; the take node 0 (null when
    // there is none, or while it is being built).
    KQoxTakeNode* EnsureDefaultTake();
    // A curve of a Default take and the property member it follows.
    struct TiedCurve
    {
        KProperty* mProperty;
        int mMember;
        KFCurve* mCurve;
    };
    // A Default take built as the owed one would be, its curves tied to the
    // properties by records appended to the list, or, with pTies, only listed
    // there (a take that is only read); not stored.
    KQoxTakeNode* BuildOwedDefaultTake(std::vector<TiedCurve>* pTies = nullptr);
    // True while the owed Default take or a take made in place of a copy of
    // it is being built: AddChannels builds the channels the object had when
    // it was made (those added later came with the take built).
    bool IsBuildingAsMade() const { return mBuildingAsMade; }
    void PublishPending() override;
    // Leaves the manager's count of put-off wrappers (destructors).
    void ForgetPendingProperties();

private:
    void SetError(const char* pText);
    int FindTakeNode(const char* pName) const;
    void DestroyTakeNodes();
    void RemoveTakeNodeAt(int pIndex);
    // Registers the callbacks of the copied Default take on this object's own
    // properties, matched by name, after an assignment.
    void RebindDefaultTakeCallbacks(KQoxTakeNodeContainer& pSource);
    // Values kept for the owed Default take.
    struct KeptValues
    {
        KProperty* mProperty;
        // The object itself for its own channels (found by name), else the
        // attribute whose channels they are.
        const void* mSource;
        float mValues[4];
        unsigned char mMembers; // bit i: mValues[i] is kept
        void Set(int pMember, float pValue)
        {
            mValues[pMember] = pValue;
            mMembers = static_cast<unsigned char>(mMembers | (1u << pMember));
        }
    };
    KeptValues* FindKept(KProperty* pProperty);
    KeptValues& Keep(KProperty* pProperty, const void* pSource);
    // Kept for a channel of this object's own, found by name.
    bool IsKeptByName(KProperty* pProperty);
    void KeepUserPropertyValues(KQoxUserProperty* pUserProperty);
    // While the Default take is owed: keeps the user property's default
    // values for it, or builds it when they cannot be kept.
    void KeepOrBuildDefaultTakeFor(KQoxUserProperty* pUserProperty);
    // Drops the callback records from pFirst on, last first.
    void UnregisterDefaultTakeCallbacksFrom(int pFirst);
    // True when a take built now from the properties holds what the owed
    // Default take would hold.
    bool KeptValuesAreCurrent();
    // Sets the kept values into the curves tied from record pFirst on.
    void ApplyKeptValues(int pFirst);
    void ApplyKeptValue(KProperty* pProperty, int pMember, KFCurve* pCurve);

    KArrayTemplate<KQoxTakeNode*> mTakeNodeArray;
    KArrayTemplate<KQoxDefaultTakeCallback*> mDefaultTakeCallbacks;
    std::vector<KeptValues> mKeptValues;
    int mCurrentTakeNode;
    bool mBuildingAsMade = false;
    // While set, the ties registered are listed there instead.
    std::vector<TiedCurve>* mTieCollector = nullptr;
    KError* mError;
    // Put-off wrappers: the first mPendingCount handler properties, taking
    // the manager's creation places from mPendingSequence on.
    int mPendingCount = 0;
    unsigned long long mPendingSequence = 0;
    // How many of them the manager counts (the non-null properties).
    int mDeferredCount = 0;
    // The manager's chain of objects with wrappers put off, kept by the
    // manager alone (KQoxSdkManager::DeferUserProperties).
    KQoxTakeNodeContainer* mDeferredPrevious = nullptr;
    KQoxTakeNodeContainer* mDeferredNext = nullptr;
    friend class KQoxSdkManager;

    friend void DefaultTakeValueChangedCallback(KFCurve* pCurve, KFCurveEvent* pEvent, void* pData);
};

// "Lcl Translation" "T", "Lcl Rotation" "R", "Lcl Scaling" "S"; any other name unchanged.
KString GetEffectivePropertyName(KString pName);
// The same for a name that is not null; the result is pName or a literal.
const char* GetEffectivePropertyName(const char* pName);
// Property to curve: writes the static values of a channel with the curve
// callbacks held off.
void UpdateDefaultValuesWithProperty(KFCurveNode* pNode, KQoxUserProperty* pProperty);
void UpdateDefaultValuesWithProperty(KFCurveNode* pNode, KProperty* pProperty);
// Curve to property: the callback of a Default-take record (pData).
void DefaultTakeValueChangedCallback(KFCurve* pCurve, KFCurveEvent* pEvent, void* pData);

} // namespace qoxsdk_600

#endif
