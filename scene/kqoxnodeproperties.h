#ifndef QOX_SCENE_KQOXNODEPROPERTIES_H
#define QOX_SCENE_KQOXNODEPROPERTIES_H

// The property table of a scene node, and the node's plug.
//
// Every node owns one KQoxNodeProperties. It holds the node's transform
// settings as properties (the rows of kqoxnodeproperties_table.h, then the
// look-at and up-vector object lists, then the four animatable channels "Lcl
// Translation", "Lcl Rotation", "Lcl Scaling" and "Visibility"), the node's two
// pivot sets, and a pointer back to its node. The hierarchy is a set of
// connections between these objects: a child's table is a source of its
// parent's. PlugNotify keeps each node's entity in step with them.
//
// What every node's table has alike is held once for all nodes: the rows,
// lists and channels share their descriptors (name, kind, accessors, flags,
// range, texts), and a node's property gets a descriptor of its own only when
// that property's descriptor changes. The table holds the rows' values only:
// a row's property is made the first time anybody asks for it (by index, by
// name, through a connection or a wrapper), and from then on reads and writes
// the same value through the table's accessors.

#include <cstddef>
#include <memory>

#include "base/kmath_types.h"
#include "object/kproperty.h"
#include "object/kpropertylist.h"
#include "scene/kqoxnodeproperties_table.h"
#include "scene/kqoxpropertyhandler.h"

namespace qoxsdk_600 {

class KQoxNode;
class KQoxTakeNodeContainer;
class KQoxUserProperty;

// Which of the node's two pivot sets.
enum EPivotSet : int
{
    eSOURCE_SET = 0,
    eDESTINATION_SET = 1
};

// 0: the set's offsets, pivots and pre/post rotations take part in the node's
// transform; 1: they are kept but ignored.
enum EPivotState : int
{
    ePIVOT_STATE_ACTIVE = 0,
    ePIVOT_STATE_REFERENCE = 1
};

enum ERotationOrder : int
{
    eEULER_XYZ = 0,
    eEULER_XZY = 1,
    eEULER_YZX = 2,
    eEULER_YXZ = 3,
    eEULER_ZXY = 4,
    eEULER_ZYX = 5,
    eSPHERIC_XYZ = 6
};

enum ETransformInheritType : int
{
    eINHERIT_RrSs = 0,
    eINHERIT_RSrs = 1,
    eINHERIT_Rrs = 2
};

class KQoxNodeProperties;

// The value of one row of the table. The node's own code reads and writes it
// here directly; the row's property, once made, reads and writes it through
// the table's accessors, so the two never disagree.
template <class T>
class KQoxNodeRowValue
{
public:
    T& Value() { return mValue; }
    const T& Value() const { return mValue; }

protected:
    T mValue = T();
};

// Row Index of the table: its value, and the row's property to whoever asks.
// Asking for the property makes it (once). Set goes through the property only
// when someone listens to the table's data notifications (they name it);
// otherwise Set and Get touch the value alone, with the property's result.
template <class T, int Index>
class KQoxNodeRow : public KQoxNodeRowValue<T>
{
public:
    KPropertyTemplate<T>& Property();
    void Set(const T& value);
    T Get();
    int AsInteger() { return Property().AsInteger(); }
    double AsDouble() { return Property().AsDouble(); }
    char* GetValueAsString(int index) { return Property().GetValueAsString(index); }
    KPlug* GetOwnerPlug() { return Property().GetOwnerPlug(); }
    KPropertyInfo& GetPropertyInfo() { return Property().GetPropertyInfo(); }
    bool IsUserProperty() { return Property().IsUserProperty(); }
    void GetData(void* out, int index, KEvaluateInfo* info, KWorldState* state)
    {
        Property().GetData(out, index, info, state);
    }
    void SetData(void* in, int index, KEvaluateInfo* info, KWorldState* state)
    {
        Property().SetData(in, index, info, state);
    }

private:
    KQoxNodeProperties& Table();
};

// One of the table's two object lists ("LookAtProperty", "UpVectorProperty"),
// made like a row's property when first asked for; until then it is empty.
template <int Index>
class KQoxNodeListRow
{
public:
    KPropertyObjectList& List();
    // The list, or null while it was never asked for.
    KPropertyObjectList* IfMade();
    int GetCount()
    {
        KPropertyObjectList* list = IfMade();
        return list ? list->GetCount() : 0;
    }
    KObject* GetAt(int index)
    {
        KPropertyObjectList* list = IfMade();
        return list ? list->GetAt(index) : nullptr;
    }
    bool SetAt(int index, KObject* object) { return List().SetAt(index, object); }
    bool IsConnectedSrc(KPlug* plug)
    {
        KPropertyObjectList* list = IfMade();
        return list && list->IsConnectedSrc(plug);
    }
    bool ConnectSrc(KPlug* plug) { return List().ConnectSrc(plug); }
};

// Positions of the value rows in the table's class-wide row list, then of
// the two object lists.
enum EKQoxNodeRow
{
#define KQOX_NODE_PROPERTY_INDEX(Name, Type, Flags) eKQoxNodeRow##Name,
    KQOX_NODE_PROPERTY_ROWS(KQOX_NODE_PROPERTY_INDEX)
#undef KQOX_NODE_PROPERTY_INDEX
    eKQoxNodeRowCount,
    eKQoxNodeRowLookAtProperty = eKQoxNodeRowCount,
    eKQoxNodeRowUpVectorProperty,
    eKQoxNodeRowAll
};

// The values of every row, one member per row (m<Name>), in one plain block
// that the table derives from: a row finds its table from its own place in
// the block.
struct KQoxNodeRowValues
{
#define KQOX_NODE_PROPERTY_MEMBER(Name, Type, Flags) KQoxNodeRow<Type, eKQoxNodeRow##Name> m##Name;
    KQOX_NODE_PROPERTY_ROWS(KQOX_NODE_PROPERTY_MEMBER)
#undef KQOX_NODE_PROPERTY_MEMBER
    KQoxNodeListRow<eKQoxNodeRowLookAtProperty> mLookAtProperty;
    KQoxNodeListRow<eKQoxNodeRowUpVectorProperty> mUpVectorProperty;
};

class KQoxNodeProperties : public KQoxPropertyHandler, public KQoxNodeRowValues
{
    KPLUG_CLASS_DECLARE(KQoxNodeProperties)
public:
    // Any row's value, whatever its position.
    template <class T>
    using Row = KQoxNodeRowValue<T>;

    // One pivot set of the node.
    struct KQoxPivot
    {
        KQoxPivot() { Reset(); }
        // Every vector (0, 0, 0, 1) except geometric scaling (1, 1, 1, 1),
        // Euler XYZ, limit-only space off, cached matrix invalid, reference
        // state. The cached matrix itself is kept.
        void Reset();

        KQoxVector4 mRotationOffset;
        KQoxVector4 mRotationPivot;
        KQoxVector4 mRotationPivotUpdateOffset;
        KQoxVector4 mPreRotation;
        KQoxVector4 mPostRotation;
        KQoxVector4 mScalingOffset;
        KQoxVector4 mScalingPivot;
        KQoxVector4 mScalingPivotUpdateOffset;
        KQoxVector4 mGeometricTranslation;
        KQoxVector4 mGeometricRotation;
        KQoxVector4 mGeometricScaling;
        ERotationOrder mRotationOrder;
        bool mRotationSpaceForLimitOnly;
        // The node's global matrix for this set, kept by the node's matrix code.
        KQoxXMatrix mGlobalMatrix;
        bool mGlobalMatrixValid;
        EPivotState mPivotState;
    };

    // Builds the whole table for node (the owning node, not owned).
    explicit KQoxNodeProperties(KQoxTakeNodeContainer* node);
    ~KQoxNodeProperties() override;

    // A table made with new lies in one allocation with room for its four
    // channel properties. Each of them is still a property of its own,
    // deleted on its own (one taken out of the list may outlive the table):
    // the allocation is freed when the table and every channel made in it
    // are gone.
    static void* operator new(std::size_t size);
    static void operator delete(void* table);

    IKObject* IQuery(unsigned long interfaceId, int flags) override;
    int GetClassGroupId() override;
    const char* GetClassGroupName() override;
    // Keeps the entities of attached nodes in step with the hierarchy and
    // refuses a child that would make a cycle (node error 6).
    bool PlugNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, int index, KPlug* other,
                    kConnectionType type, KPlug* extra) override;

    // The rows are plain values and object lists.
    bool DeferredRowsMayBeAnimatable() const override { return false; }
    // Forwards to the node's take-node container.
    void DefaultValueChanged(KQoxUserProperty* property) override;
    KQoxObject* GetKQoxObject() override;
    KQoxNode* GetKQoxNode() const { return mNode; }

    // Texts of the two enumerations; null outside their tables.
    static char* RotationOrderAsString(ERotationOrder order);
    static char* InheritTypeAsString(ETransformInheritType type);
    // The to-string functions as the property rows install them.
    char* RotationOrderText(int value);
    char* InheritTypeText(int value);

    // Accessors: vector setters store x, y and z only; vector getters return
    // the stored x, y, z with w = 1.
#define KQOX_NODE_PROPERTY_ACCESSORS(Name, Type, Flags)                                                                \
    void Name##Set(Type value);                                                                                        \
    Type Name##Get();
    KQOX_NODE_PROPERTY_ROWS(KQOX_NODE_PROPERTY_ACCESSORS)
#undef KQOX_NODE_PROPERTY_ACCESSORS

    bool LookAtPropertySet(int index, KObject* object)
    {
        return mLookAtProperty.SetAt(index, object);
    }
    KObject* LookAtPropertyGet(int index)
    {
        return mLookAtProperty.GetAt(index);
    }
    bool UpVectorPropertySet(int index, KObject* object)
    {
        return mUpVectorProperty.SetAt(index, object);
    }
    KObject* UpVectorPropertyGet(int index)
    {
        return mUpVectorProperty.GetAt(index);
    }

    // The property of a row (EKQoxNodeRow), made on first request.
    KProperty* RowProperty(int row);
    // The same, or null for a row not made yet.
    KProperty* RowPropertyIfMade(int row) const
    {
        return mMadeRows ? mMadeRows[row].get() : nullptr;
    }
    // The table that holds a row's value.
    static KQoxNodeProperties& OfRow(const void* rowValue, int row);

    // The channel properties (owned by the property list); null only if the
    // data type registry lacks them.
    KProperty* mLclTranslation = nullptr;
    KProperty* mLclRotation = nullptr;
    KProperty* mLclScaling = nullptr;
    KProperty* mVisibility = nullptr;

    // The source and destination pivot sets, made on the first write: most
    // nodes keep both in their reset state, and the pair takes about 1 KB.
    // Reading a pair never made gives the reset set.
    class KQoxPivotPair
    {
    public:
        KQoxPivot& operator[](int set);
        const KQoxPivot& operator[](int set) const;
        // Back to the reset state, making nothing.
        void Reset(int set);

    private:
        std::unique_ptr<KQoxPivot[]> mSets;
    };
    KQoxPivotPair mPivots;

protected:
    // The value rows join the list unmade; their descriptors are the ones
    // every node shares.
    KProperty* MakeDeferredProperty(int row) override;
    const KPropertyInfo& DeferredPropertyInfo(int row) const override;
    const KPropertyInfo* DeferredPropertyInfos() const override;
    kPropertyFlag DeferredPropertyFlags(int row) const override;
    void DeferredPropertyGetData(int row, void* out) override;
    void DeferredPropertySetData(int row, void* in) override;
    // A value row's value in the block: its setter only copies it there.
    void* DeferredPropertyValue(int row) override;

private:
    KPropertyObjectList* MakeObjectList(const KPropertyInfo& info);
    // The allocation a table made with new lies in (see operator new).
    struct Store;
    // Channel 0 to 3: translation, rotation, scaling, visibility; in its
    // place in store when there is one.
    KProperty* AddChannel(int channel, Store* store);
    KProperty* AddSharedChannel(int channel, const KPropertyInfo& shared, Store* store);

    KQoxNode* mNode;
    // The rows' properties made so far, by row; made with the first one.
    std::unique_ptr<std::unique_ptr<KProperty>[]> mMadeRows;
};

template <class T, int Index>
KQoxNodeProperties& KQoxNodeRow<T, Index>::Table()
{
    return KQoxNodeProperties::OfRow(this, Index);
}

template <class T, int Index>
KPropertyTemplate<T>& KQoxNodeRow<T, Index>::Property()
{
    return static_cast<KPropertyTemplate<T>&>(*Table().RowProperty(Index));
}

template <int Index>
KPropertyObjectList& KQoxNodeListRow<Index>::List()
{
    return static_cast<KPropertyObjectList&>(*KQoxNodeProperties::OfRow(this, Index).RowProperty(Index));
}

template <int Index>
KPropertyObjectList* KQoxNodeListRow<Index>::IfMade()
{
    return static_cast<KPropertyObjectList*>(KQoxNodeProperties::OfRow(this, Index).RowPropertyIfMade(Index));
}

template <class T, int Index>
void KQoxNodeRow<T, Index>::Set(const T& value)
{
    KQoxNodeProperties& table = Table();
    if (table.HasDataListeners())
        Property().Set(value);
    else
        KPropertyCopyValue(this->mValue, value);
}

template <class T, int Index>
T KQoxNodeRow<T, Index>::Get()
{
    T value = this->mValue;
    if constexpr (std::is_same<T, KgeTVector>::value)
        value.w = 1.0;
    return value;
}

// True when any of x, y, z, w differs or is not a number on either side.
bool operator!=(const KgeTVector& a, const KQoxVector4& b);

} // namespace qoxsdk_600

#endif
