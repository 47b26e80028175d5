#include "scene/kqoxnodeproperties.h"

#include <atomic>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>

#include "scene/kqoxnode.h"

namespace qoxsdk_600 {

KPLUG_CLASS_IMPLEMENT(KQoxNodeProperties, KQoxPropertyHandler, "KQoxNodeProperties")

namespace {

const char* const kRotationOrderTexts[] = {"Euler XYZ", "Euler XZY", "Euler YZX",  "Euler YXZ",
                                           "Euler ZXY", "Euler ZYX", "Spheric XYZ"};
// Type 1 has no text of its own; it shares the text of type 0.
const char* const kInheritTypeTexts[] = {"RrSs", "RrSs", "Rrs"};

} // namespace

void KQoxNodeProperties::KQoxPivot::Reset()
{
    const KQoxVector4 point(0.0, 0.0, 0.0, 1.0);
    mRotationOffset = point;
    mRotationPivot = point;
    mRotationPivotUpdateOffset = point;
    mPreRotation = point;
    mPostRotation = point;
    mScalingOffset = point;
    mScalingPivot = point;
    mScalingPivotUpdateOffset = point;
    mGeometricTranslation = point;
    mGeometricRotation = point;
    mGeometricScaling = KQoxVector4(1.0, 1.0, 1.0, 1.0);
    mRotationOrder = eEULER_XYZ;
    mRotationSpaceForLimitOnly = false;
    mGlobalMatrixValid = false;
    mPivotState = ePIVOT_STATE_REFERENCE;
}

KQoxNodeProperties::KQoxPivot& KQoxNodeProperties::KQoxPivotPair::operator[](int set)
{
    if (!mSets)
        mSets.reset(new KQoxPivot[2]);
    return mSets[set];
}

const KQoxNodeProperties::KQoxPivot& KQoxNodeProperties::KQoxPivotPair::operator[](int set) const
{
    static const KQoxPivot reset;
    return mSets ? mSets[set] : reset;
}

void KQoxNodeProperties::KQoxPivotPair::Reset(int set)
{
    if (mSets)
        mSets[set].Reset();
}

namespace {

const int kRowCount = eKQoxNodeRowCount;

// Own flags of each row, the two object lists last.
const kPropertyFlag kRowFlags[eKQoxNodeRowAll] = {
#define KQOX_NODE_PROPERTY_FLAGS(Name, Type, Flags) Flags,
    KQOX_NODE_PROPERTY_ROWS(KQOX_NODE_PROPERTY_FLAGS)
#undef KQOX_NODE_PROPERTY_FLAGS
        1,
    1};

// Where each row's value lies in the block of values.
static_assert(std::is_standard_layout<KQoxNodeRowValues>::value, "rows find their table through offsetof");
const size_t kRowOffsets[eKQoxNodeRowAll] = {
#define KQOX_NODE_PROPERTY_OFFSET(Name, Type, Flags) offsetof(KQoxNodeRowValues, m##Name),
    KQOX_NODE_PROPERTY_ROWS(KQOX_NODE_PROPERTY_OFFSET)
#undef KQOX_NODE_PROPERTY_OFFSET
        offsetof(KQoxNodeRowValues, mLookAtProperty),
    offsetof(KQoxNodeRowValues, mUpVectorProperty)};

// The rows as they join the property list: the object lists come between
// GeometricScaling and the rows after it.
const int kRowsInListOrder[] = {
#define KQOX_NODE_PROPERTY_ROW(Name, Type, Flags) eKQoxNodeRow##Name,
    KQOX_NODE_PROPERTY_ROWS_BEFORE_LISTS(KQOX_NODE_PROPERTY_ROW) eKQoxNodeRowLookAtProperty,
    eKQoxNodeRowUpVectorProperty,
    KQOX_NODE_PROPERTY_ROWS_AFTER_LISTS(KQOX_NODE_PROPERTY_ROW)
#undef KQOX_NODE_PROPERTY_ROW
};
static_assert(sizeof(kRowsInListOrder) / sizeof(kRowsInListOrder[0]) == eKQoxNodeRowAll, "every row joins the list");

const char* const kChannelNames[4] = {"Lcl Translation", "Lcl Rotation", "Lcl Scaling", "Visibility"};

// The descriptors every node's table shares: one per value row and object
// list, as the rows are set up, and one per channel, copied from the first
// channel property made.
struct SharedDescriptors
{
    // By row: the value rows, then the two object lists.
    KPropertyInfo mRows[eKQoxNodeRowAll];
    std::atomic<const KPropertyInfo*> mChannels[4] = {};
};

template <class T>
void DescribeRow(KPropertyInfo& info, const char* name, void (KQoxNodeProperties::*set)(T),
                 T (KQoxNodeProperties::*get)())
{
    info.mType = KPropertyGetType(static_cast<T*>(nullptr));
    info.mName = name;
    info.mGetter = KPropertyMemberCast<KPropertyAccessor>(
        static_cast<T (KPlug::*)()>(static_cast<T (KQoxNodeProperties::*)()>(get)));
    info.mSetter = KPropertyMemberCast<KPropertyAccessor>(
        static_cast<void (KPlug::*)(T)>(static_cast<void (KQoxNodeProperties::*)(T)>(set)));
}

void DescribeObjectList(KPropertyInfo& info, const char* name, bool (KQoxNodeProperties::*set)(int, KObject*),
                        KObject* (KQoxNodeProperties::*get)(int))
{
    info.ModifyFlag(KPropertyInfo::eList | KPropertyInfo::eObjectList, true);
    info.mType = kPropertyTypeObject;
    info.mName = name;
    info.mGetter = KPropertyMemberCast<KPropertyAccessor>(static_cast<KObject* (KPlug::*)(int)>(get));
    info.mSetter = KPropertyMemberCast<KPropertyAccessor>(static_cast<bool (KPlug::*)(int, KObject*)>(set));
}

SharedDescriptors* MakeSharedDescriptors()
{
    SharedDescriptors* shared = new SharedDescriptors;
#define KQOX_NODE_PROPERTY_DESCRIBE(Name, Type, Flags)                                                                 \
    DescribeRow<Type>(shared->mRows[eKQoxNodeRow##Name], #Name, &KQoxNodeProperties::Name##Set,                        \
                      &KQoxNodeProperties::Name##Get);
    KQOX_NODE_PROPERTY_ROWS(KQOX_NODE_PROPERTY_DESCRIBE)
#undef KQOX_NODE_PROPERTY_DESCRIBE
    // The two enumerations show their values through texts.
    shared->mRows[eKQoxNodeRowRotationOrder].SetAsStringFunc(static_cast<KPropertyToString>(
        static_cast<char* (KQoxNodeProperties::*)(int)>(&KQoxNodeProperties::RotationOrderText)));
    shared->mRows[eKQoxNodeRowInheritType].SetAsStringFunc(static_cast<KPropertyToString>(
        static_cast<char* (KQoxNodeProperties::*)(int)>(&KQoxNodeProperties::InheritTypeText)));
    DescribeObjectList(shared->mRows[eKQoxNodeRowLookAtProperty], "LookAtProperty",
                       &KQoxNodeProperties::LookAtPropertySet, &KQoxNodeProperties::LookAtPropertyGet);
    DescribeObjectList(shared->mRows[eKQoxNodeRowUpVectorProperty], "UpVectorProperty",
                       &KQoxNodeProperties::UpVectorPropertySet, &KQoxNodeProperties::UpVectorPropertyGet);
    for (int row = 0; row < eKQoxNodeRowAll; ++row)
        assert(!(shared->mRows[row].GetFlags() & KPropertyInfo::eAnimatable) &&
               "DeferredRowsMayBeAnimatable says no row is");
    return shared;
}

// Made on first use and kept for the life of the process: the properties of
// every node point into it.
SharedDescriptors& Shared()
{
    static SharedDescriptors* const shared = MakeSharedDescriptors();
    return *shared;
}

bool SameText(const char* a, const char* b)
{
    return a == b || (a && b && strcmp(a, b) == 0);
}

// Whether two descriptors answer every query alike (the world index apart,
// which only a registered property has).
bool SameDescriptor(const KPropertyInfo& a, const KPropertyInfo& b)
{
    return a.mFlags == b.mFlags && a.mType == b.mType && SameText(a.mName, b.mName) && SameText(a.mLabel, b.mLabel) &&
           a.mDataType == b.mDataType && a.mGetter == b.mGetter && a.mSetter == b.mSetter &&
           std::memcmp(&a.mMin, &b.mMin, sizeof(double)) == 0 && std::memcmp(&a.mMax, &b.mMax, sizeof(double)) == 0 &&
           a.mToString == b.mToString && a.mEnumList == b.mEnumList && a.mWorldIndex == b.mWorldIndex;
}

} // namespace

namespace {

// The property of a row: it holds no value of its own that counts, as its
// getter and setter are the table's accessors.
template <class T>
KProperty* MakeRowProperty(KQoxNodeProperties& table, int row)
{
    KPropertyTemplate<T>* property = new KPropertyTemplate<T>();
    property->SetSharedPropertyInfo(&Shared().mRows[row]);
    table.ConnectOwnedPlug(property);
    if (kRowFlags[row])
        property->ModifyPropertyFlag(kRowFlags[row], true);
    return property;
}

// A row's value read and written as its property would, through the
// table's accessors.
template <class T>
void GetRowData(KQoxNodeProperties& table, int row, void* out)
{
    typedef T (KPlug::*Getter)();
    Getter getter = KPropertyMemberCast<Getter>(Shared().mRows[row].mGetter);
    KPropertyCopyValue(*static_cast<T*>(out), (table.*getter)());
}

template <class T>
void SetRowData(KQoxNodeProperties& table, int row, void* in)
{
    typedef void (KPlug::*Setter)(T);
    Setter setter = KPropertyMemberCast<Setter>(Shared().mRows[row].mSetter);
    (table.*setter)(*static_cast<T*>(in));
}

struct RowData
{
    void (*mGet)(KQoxNodeProperties&, int, void*);
    void (*mSet)(KQoxNodeProperties&, int, void*);
};
const RowData kRowData[kRowCount] = {
#define KQOX_NODE_PROPERTY_DATA(Name, Type, Flags) {&GetRowData<Type>, &SetRowData<Type>},
    KQOX_NODE_PROPERTY_ROWS(KQOX_NODE_PROPERTY_DATA)
#undef KQOX_NODE_PROPERTY_DATA
};

typedef KProperty* (*RowMaker)(KQoxNodeProperties&, int);
const RowMaker kRowMakers[kRowCount] = {
#define KQOX_NODE_PROPERTY_MAKER(Name, Type, Flags) &MakeRowProperty<Type>,
    KQOX_NODE_PROPERTY_ROWS(KQOX_NODE_PROPERTY_MAKER)
#undef KQOX_NODE_PROPERTY_MAKER
};

} // namespace

KProperty* KQoxNodeProperties::MakeDeferredProperty(int row)
{
    if (!mMadeRows)
        mMadeRows.reset(new std::unique_ptr<KProperty>[eKQoxNodeRowAll]);
    std::unique_ptr<KProperty>& made = mMadeRows[row];
    if (!made)
        made.reset(row < kRowCount ? kRowMakers[row](*this, row) : MakeObjectList(Shared().mRows[row]));
    return made.get();
}

const KPropertyInfo& KQoxNodeProperties::DeferredPropertyInfo(int row) const
{
    return Shared().mRows[row];
}

const KPropertyInfo* KQoxNodeProperties::DeferredPropertyInfos() const
{
    return Shared().mRows;
}

kPropertyFlag KQoxNodeProperties::DeferredPropertyFlags(int row) const
{
    return kRowFlags[row];
}

void KQoxNodeProperties::DeferredPropertyGetData(int row, void* out)
{
    if (row < kRowCount)
        kRowData[row].mGet(*this, row, out);
    else
        KQoxPropertyHandler::DeferredPropertyGetData(row, out);
}

void KQoxNodeProperties::DeferredPropertySetData(int row, void* in)
{
    if (row < kRowCount)
        kRowData[row].mSet(*this, row, in);
    else
        KQoxPropertyHandler::DeferredPropertySetData(row, in);
}

void* KQoxNodeProperties::DeferredPropertyValue(int row)
{
    // A row is its value alone (KQoxNodeRowValue), at the row's offset.
    static_assert(sizeof(KQoxNodeRow<KgeTVector, 0>) == sizeof(KgeTVector), "a row holds its value alone");
    if (row >= kRowCount)
        return nullptr;
    return reinterpret_cast<char*>(static_cast<KQoxNodeRowValues*>(this)) + kRowOffsets[row];
}

KProperty* KQoxNodeProperties::RowProperty(int row)
{
    if (mMadeRows && mMadeRows[row])
        return mMadeRows[row].get();
    // Made through the list, which keeps it from then on.
    int index = FindDeferredRow(row);
    return index >= 0 ? GetProperty(index) : MakeDeferredProperty(row);
}

KQoxNodeProperties& KQoxNodeProperties::OfRow(const void* rowValue, int row)
{
    const char* at = static_cast<const char*>(rowValue) - kRowOffsets[row];
    return static_cast<KQoxNodeProperties&>(*reinterpret_cast<KQoxNodeRowValues*>(const_cast<char*>(at)));
}

// A list of nodes' tables, taken as sources.
KPropertyObjectList* KQoxNodeProperties::MakeObjectList(const KPropertyInfo& info)
{
    KPropertyObjectList* list = new KPropertyObjectList();
    list->SetSharedPropertyInfo(&info);
    ConnectOwnedPlug(list);
    list->SetFilter(KPlug_GetFilter(ClassId), 0);
    list->SetContentSpec(1, ClassId);
    list->SetDirection(KPlug::eAcceptSrc);
    list->ModifyPropertyFlag(kRowFlags[eKQoxNodeRowLookAtProperty], true);
    return list;
}

// The allocation of a table made with new: this record, then the table.
// It holds the places of the four channels (three vectors, then a number);
// the table and each channel made in a place hold the allocation, and the
// last of them to go frees it.
struct KQoxNodeProperties::Store
{
    template <class T>
    class Channel;

    // A place, and the allocation it belongs to, written when a channel is
    // made there (read back when that channel is deleted).
    template <class T>
    struct Place
    {
        Store* mStore;
        alignas(KPropertyTemplate<T>) unsigned char mBytes[sizeof(KPropertyTemplate<T>)];
    };

    // A channel property in its place: deleting it gives the place back.
    template <class T>
    class Channel final : public KPropertyTemplate<T>
    {
    public:
        static void* operator new(std::size_t, void* place) { return place; }
        // Only a constructor that threw calls it: the place was never held.
        static void operator delete(void*, void*) {}
        static void operator delete(void* property)
        {
            reinterpret_cast<Place<T>*>(static_cast<char*>(property) - offsetof(Place<T>, mBytes))
                ->mStore->Release();
        }
    };
    static_assert(sizeof(Channel<KgeTVector>) == sizeof(KPropertyTemplate<KgeTVector>) &&
                      sizeof(Channel<double>) == sizeof(KPropertyTemplate<double>),
                  "a channel fits the place of its kind");

    // Where the table lies after this record.
    static constexpr std::size_t TableOffset()
    {
        return (sizeof(Store) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);
    }

    static Store& OfTable(void* table) { return *reinterpret_cast<Store*>(static_cast<char*>(table) - TableOffset()); }
    void* Table() { return reinterpret_cast<char*>(this) + TableOffset(); }

    // A channel in its place, or null when the channel is not of the kind
    // its place holds (the table then makes it apart).
    KProperty* MakeChannel(int channel, kPropertyType type)
    {
        if (channel < 3 && type == kPropertyTypeVector3D)
            return Make(mVectors[channel]);
        if (channel == 3 && type == kPropertyTypeDouble)
            return Make(mNumber);
        return nullptr;
    }

    void Release()
    {
        if (mHolders.fetch_sub(1, std::memory_order_acq_rel) == 1)
        {
            this->~Store();
            ::operator delete(this);
        }
    }

    std::atomic<int> mHolders{1};
    Place<KgeTVector> mVectors[3];
    Place<double> mNumber;

    // The record operator new made last on this thread, for the table's
    // constructor to take (a table made otherwise finds none of its own).
    static thread_local Store* sMade;

private:
    template <class T>
    KProperty* Make(Place<T>& place)
    {
        KProperty* property = new (place.mBytes) Channel<T>();
        place.mStore = this;
        mHolders.fetch_add(1, std::memory_order_relaxed);
        return property;
    }
};

thread_local KQoxNodeProperties::Store* KQoxNodeProperties::Store::sMade = nullptr;

void* KQoxNodeProperties::operator new(std::size_t size)
{
    static_assert(alignof(KQoxNodeProperties) <= alignof(std::max_align_t), "the table lies at a fundamental alignment");
    Store* store = ::new (::operator new(Store::TableOffset() + size)) Store;
    Store::sMade = store;
    return store->Table();
}

void KQoxNodeProperties::operator delete(void* table)
{
    if (table)
        Store::OfTable(table).Release();
}

// The channel a new table makes comes out of the general making with a
// descriptor that depends on its name, data type and value kind alone: the
// rows before it never take a channel's name. Once a shared descriptor of the
// same three exists, the property is made with it directly.
KProperty* KQoxNodeProperties::AddSharedChannel(int channel, const KPropertyInfo& shared, Store* store)
{
    KProperty* property = store ? store->MakeChannel(channel, shared.mType) : nullptr;
    if (!property)
        property = NewPropertyOfType(shared.mType);
    if (!property)
        return nullptr;
    property->SetSharedPropertyInfo(&shared);
    ConnectOwnedPlug(property);
    PropertyAddToList(property);
    property->ModifyPropertyFlag(KProperty::eAnimated, true);
    return property;
}

namespace {

// The data types of the four channel names, looked up again only when the
// registry changed.
KDataType* ChannelDataType(int channel)
{
    struct Found
    {
        unsigned long long mVersion = ~0ull;
        KDataType* mTypes[4] = {};
    };
    thread_local Found found;
    const unsigned long long version = KDataTypeGetRegistryVersion();
    if (found.mVersion != version)
    {
        for (int i = 0; i < 4; ++i)
            found.mTypes[i] = KDataTypeGet(kChannelNames[i]);
        found.mVersion = version;
    }
    return found.mTypes[channel];
}

} // namespace

KProperty* KQoxNodeProperties::AddChannel(int channel, Store* store)
{
    const char* name = kChannelNames[channel];
    KDataType* dataType = ChannelDataType(channel);
    if (!dataType)
        return nullptr;
    const KPropertyInfo* made = Shared().mChannels[channel].load(std::memory_order_acquire);
    if (made && made->mDataType == dataType && made->mType == DataTypeToPropertyType(dataType) &&
        strcmp(made->mName, name) == 0)
        return AddSharedChannel(channel, *made, store);
    KProperty* property =
        CreatePropertyFromType(name, DataTypeToPropertyType(dataType), dataType, false, false, nullptr);
    if (!property)
        return nullptr;
    property->GetPropertyInfo().ModifyFlag(KPropertyInfo::eAnimatable, true);
    property->ModifyPropertyFlag(KProperty::eAnimated, true);

    // The first node's channel becomes the shared descriptor; later nodes
    // share it whenever theirs came out the same (it may not, when a data
    // type was replaced or the name was taken).
    std::atomic<const KPropertyInfo*>& slot = Shared().mChannels[channel];
    const KPropertyInfo* shared = slot.load(std::memory_order_acquire);
    if (!shared)
    {
        KPropertyInfo* made = KPropertyInfo::Clone(property->ReadPropertyInfo());
        if (slot.compare_exchange_strong(shared, made, std::memory_order_acq_rel))
            shared = made;
        else
            delete made;
    }
    if (SameDescriptor(*shared, property->ReadPropertyInfo()))
        property->SetSharedPropertyInfo(shared);
    return property;
}

KQoxNodeProperties::KQoxNodeProperties(KQoxTakeNodeContainer* node)
    : mNode(static_cast<KQoxNode*>(node))
{
    // The channels go in the table's allocation when it has one.
    Store* store = nullptr;
    if (Store::sMade && Store::sMade->Table() == this)
    {
        store = Store::sMade;
        Store::sMade = nullptr;
    }
    PropertyAddDeferred(kRowsInListOrder, eKQoxNodeRowAll);

    mShow.Value() = true;
    mNegativePercentShapeSupport.Value() = true;

    mLclTranslation = AddChannel(0, store);
    mLclRotation = AddChannel(1, store);
    mLclScaling = AddChannel(2, store);
    if (mLclScaling)
    {
        KgeTVector one(1.0, 1.0, 1.0, 1.0);
        mLclScaling->SetData(&one, 0, nullptr, nullptr);
    }
    mVisibility = AddChannel(3, store);
    if (mVisibility)
        mVisibility->SetDouble(1.0);
}

KQoxNodeProperties::~KQoxNodeProperties()
{
    // A table deleted without Destruct leaves its world while the properties
    // of its rows still exist: the world reads them on the way out.
    WorldDetach();
}

IKObject* KQoxNodeProperties::IQuery(unsigned long interfaceId, int flags)
{
    return KObject::IQuery(interfaceId, flags);
}

int KQoxNodeProperties::GetClassGroupId()
{
    return KObject::ClassGroupId;
}

const char* KQoxNodeProperties::GetClassGroupName()
{
    return KObject::ClassGroupName;
}

void KQoxNodeProperties::DefaultValueChanged(KQoxUserProperty* property)
{
    if (mNode)
        mNode->PropertyDefaultValueChanged(property);
}

KQoxObject* KQoxNodeProperties::GetKQoxObject()
{
    return mNode;
}

char* KQoxNodeProperties::RotationOrderAsString(ERotationOrder order)
{
    int i = static_cast<int>(order);
    return (i >= 0 && i <= 6) ? const_cast<char*>(kRotationOrderTexts[i]) : nullptr;
}

char* KQoxNodeProperties::InheritTypeAsString(ETransformInheritType type)
{
    int i = static_cast<int>(type);
    return (i >= 0 && i <= 2) ? const_cast<char*>(kInheritTypeTexts[i]) : nullptr;
}

char* KQoxNodeProperties::RotationOrderText(int value)
{
    return RotationOrderAsString(static_cast<ERotationOrder>(value));
}

char* KQoxNodeProperties::InheritTypeText(int value)
{
    return InheritTypeAsString(static_cast<ETransformInheritType>(value));
}

#define KQOX_NODE_PROPERTY_ACCESSORS(Name, Type, Flags)                                                                \
    void KQoxNodeProperties::Name##Set(Type value)                                                                     \
    {                                                                                                                  \
        KPropertyCopyValue(m##Name.Value(), value);                                                                    \
    }                                                                                                                  \
    Type KQoxNodeProperties::Name##Get()                                                                               \
    {                                                                                                                  \
        return m##Name.Get();                                                                                          \
    }
KQOX_NODE_PROPERTY_ROWS(KQOX_NODE_PROPERTY_ACCESSORS)
#undef KQOX_NODE_PROPERTY_ACCESSORS

bool KQoxNodeProperties::PlugNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, int index, KPlug* other,
                                    kConnectionType type, KPlug* extra)
{
    if (plug == this && mNode)
    {
        KQoxNodeProperties* otherTable =
            (other && other->Is(ClassId)) ? static_cast<KQoxNodeProperties*>(other) : nullptr;
        KQoxNode* otherNode = otherTable ? otherTable->mNode : nullptr;
        KQoxEntity* entity = mNode->GetEntity();
        KQoxEntity* otherEntity = otherNode ? otherNode->GetEntity() : nullptr;
        switch (action)
        {
        case kPlugRequestSrc:
            // A node already in this node's entity, or this node itself or one
            // of its ancestors, cannot become its child.
            if ((entity && entity == otherEntity) || (otherNode && otherNode->IsSelfOrAncestorOf(mNode)))
            {
                mNode->GetError().SetLastErrorID(KQoxNode::eCYCLIC_GRAPH);
                return false;
            }
            break;
        case kPlugSrcConnected:
            if (otherNode)
                otherNode->SetEntity(entity, false);
            break;
        case kPlugSrcDisconnected:
            if (otherNode)
                otherNode->SetEntity(nullptr, false);
            break;
        default: break;
        }
    }
    return KObject::PlugNotify(callstack, action, plug, index, other, type, extra);
}

bool operator!=(const KgeTVector& a, const KQoxVector4& b)
{
    const double left[4] = {a.x, a.y, a.z, a.w};
    for (int i = 0; i < 4; ++i)
        if (std::isnan(left[i]) || std::isnan(b[i]) || left[i] != b[i])
            return true;
    return false;
}

} // namespace qoxsdk_600
