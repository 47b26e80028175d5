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
// that property's descriptor changes. Each row holds only its value and own
// flags.

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

class KQoxNodeProperties : public KQoxPropertyHandler
{
    KPLUG_CLASS_DECLARE(KQoxNodeProperties)
public:
    // A value property of the table. The table's accessors read and write the
    // held value directly; SetData/GetData go through them.
    template <class T>
    class Row : public KPropertyTemplate<T>
    {
    public:
        T& Value() { return this->mValue; }
        const T& Value() const { return this->mValue; }
    };

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

    IKObject* IQuery(unsigned long interfaceId, int flags) override;
    int GetClassGroupId() override;
    const char* GetClassGroupName() override;
    // Keeps the entities of attached nodes in step with the hierarchy and
    // refuses a child that would make a cycle (node error 6).
    bool PlugNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, int index, KPlug* other,
                    kConnectionType type, KPlug* extra) override;

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

    // The property members, public for the node's direct writes.
#define KQOX_NODE_PROPERTY_MEMBER(Name, Type, Flags) Row<Type> m##Name;
    KQOX_NODE_PROPERTY_ROWS_BEFORE_LISTS(KQOX_NODE_PROPERTY_MEMBER)
    KPropertyObjectList mLookAtProperty;
    KPropertyObjectList mUpVectorProperty;
    KQOX_NODE_PROPERTY_ROWS_AFTER_LISTS(KQOX_NODE_PROPERTY_MEMBER)
#undef KQOX_NODE_PROPERTY_MEMBER

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

private:
    // The rows and lists take the descriptors that every node shares.
    template <class T>
    void AddRow(Row<T>& row, int index, int flags);
    void AddObjectList(KPropertyObjectList& list, const KPropertyInfo& info);
    // Channel 0 to 3: translation, rotation, scaling, visibility.
    KProperty* AddChannel(int channel);

    KQoxNode* mNode;
};

// True when any of x, y, z, w differs or is not a number on either side.
bool operator!=(const KgeTVector& a, const KQoxVector4& b);

} // namespace qoxsdk_600

#endif
