#include "object/kpropertydatatype.h"

#include <mutex>
#include <new>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/kconfigfile.h"
#include "base/knumbertext.h"
#include "base/kset.h"
#include "base/ktime.h"

KCharPtrSet* KDataType::smDataTypeSet = nullptr;

// ---------------------------------------------------------------------------
// Storage of the built-in types
//
// Each built-in type sits in static storage whose address is a constant, so
// the DataType pointers are valid before any code runs. The storage starts
// empty (constant-initialised, never touched by dynamic initialisation); the
// types are built in it, in their fixed order, by BuildBuiltins.

namespace {

template <class T>
union KBuiltinSlot
{
    char mNone;
    T mType;
    constexpr KBuiltinSlot()
        : mNone(0)
    {}
    ~KBuiltinSlot() {}
};

} // namespace

// The 46 built-in types in construction order.
#define KDATATYPE_BUILTINS(X)                                                                                          \
    X(KDataTypeNumber)                                                                                                 \
    X(KDataTypeTime)                                                                                                   \
    X(KDataTypeVector)                                                                                                 \
    X(KDataTypeVector4)                                                                                                \
    X(KDataTypeMatrix)                                                                                                 \
    X(KDataTypeReal)                                                                                                   \
    X(KDataTypeInteger)                                                                                                \
    X(KDataTypeAction)                                                                                                 \
    X(KDataTypeIntensity)                                                                                              \
    X(KDataTypeConeAngle)                                                                                              \
    X(KDataTypeFog)                                                                                                    \
    X(KDataTypeShape)                                                                                                  \
    X(KDataTypeFieldOfView)                                                                                            \
    X(KDataTypeFieldOfViewX)                                                                                           \
    X(KDataTypeFieldOfViewY)                                                                                           \
    X(KDataTypeOpticalCenterX)                                                                                         \
    X(KDataTypeOpticalCenterY)                                                                                         \
    X(KDataTypeRoll)                                                                                                   \
    X(KDataTypeCameraIndex)                                                                                            \
    X(KDataTypeTimeWarp)                                                                                               \
    X(KDataTypeVisibility)                                                                                             \
    X(KDataTypeBool)                                                                                                   \
    X(KDataTypeEnum)                                                                                                   \
    X(KDataTypeColor)                                                                                                  \
    X(KDataTypeColorAndAlpha)                                                                                          \
    X(KDataTypeTranslationUV)                                                                                          \
    X(KDataTypeScalingUV)                                                                                              \
    X(KDataTypeColorHSB)                                                                                               \
    X(KDataTypeTranslation)                                                                                            \
    X(KDataTypeScaling)                                                                                                \
    X(KDataTypeRotation)                                                                                               \
    X(KDataTypeLclTranslation)                                                                                         \
    X(KDataTypeLclScaling)                                                                                             \
    X(KDataTypeLclRotation)                                                                                            \
    X(KDataTypeMatrixTranslation)                                                                                      \
    X(KDataTypeMatrixScaling)                                                                                          \
    X(KDataTypeMatrixRotation)                                                                                         \
    X(KDataTypeMatrixTransformation)                                                                                   \
    X(KDataTypeOrientation)                                                                                            \
    X(KDataTypeLookAt)                                                                                                 \
    X(KDataTypeQuaternion)                                                                                             \
    X(KDataTypeLclQuaternion)                                                                                          \
    X(KDataTypeOcclusion)                                                                                              \
    X(KDataTypeWeight)                                                                                                 \
    X(KDataTypeIKReachTranslation)                                                                                     \
    X(KDataTypeIKReachRotation)

// "class C" names the class even where the global of the same name is visible.
#define KDATATYPE_SLOT(C) KBuiltinSlot<class C> gSlot##C;
namespace {
KDATATYPE_BUILTINS(KDATATYPE_SLOT)
} // namespace
#undef KDATATYPE_SLOT

#define KDATATYPE_POINTERS(C)                                                                                          \
    KDataType* C::DataType = &gSlot##C.mType;                                                                          \
    KDataType* C = &gSlot##C.mType;
KDATATYPE_BUILTINS(KDATATYPE_POINTERS)
#undef KDATATYPE_POINTERS

namespace {

enum KBuiltinState
{
    eBuiltinsNone,
    eBuiltinsBuilding,
    eBuiltinsBuilt,
    eBuiltinsGone // taken down at exit; never built again
};

KBuiltinState gBuiltinState = eBuiltinsNone;

void DestroyBuiltins();

// Takes the built-in types down, in reverse order, at process exit.
struct KBuiltinTeardown
{
    ~KBuiltinTeardown() { DestroyBuiltins(); }
};

void BuildBuiltins()
{
    if (gBuiltinState != eBuiltinsNone)
        return;
    gBuiltinState = eBuiltinsBuilding;
#define KDATATYPE_BUILD(C) new (&gSlot##C.mType) class C();
    KDATATYPE_BUILTINS(KDATATYPE_BUILD)
#undef KDATATYPE_BUILD
    gBuiltinState = eBuiltinsBuilt;
    static KBuiltinTeardown sTeardown;
    (void)sTeardown;
}

template <class T>
void DestroySlot(KBuiltinSlot<T>& slot)
{
    slot.mType.~T();
}

void DestroyBuiltins()
{
    if (gBuiltinState != eBuiltinsBuilt)
        return;
    gBuiltinState = eBuiltinsGone;
    // Reverse construction order.
    DestroySlot(gSlotKDataTypeIKReachRotation);
    DestroySlot(gSlotKDataTypeIKReachTranslation);
    DestroySlot(gSlotKDataTypeWeight);
    DestroySlot(gSlotKDataTypeOcclusion);
    DestroySlot(gSlotKDataTypeLclQuaternion);
    DestroySlot(gSlotKDataTypeQuaternion);
    DestroySlot(gSlotKDataTypeLookAt);
    DestroySlot(gSlotKDataTypeOrientation);
    DestroySlot(gSlotKDataTypeMatrixTransformation);
    DestroySlot(gSlotKDataTypeMatrixRotation);
    DestroySlot(gSlotKDataTypeMatrixScaling);
    DestroySlot(gSlotKDataTypeMatrixTranslation);
    DestroySlot(gSlotKDataTypeLclRotation);
    DestroySlot(gSlotKDataTypeLclScaling);
    DestroySlot(gSlotKDataTypeLclTranslation);
    DestroySlot(gSlotKDataTypeRotation);
    DestroySlot(gSlotKDataTypeScaling);
    DestroySlot(gSlotKDataTypeTranslation);
    DestroySlot(gSlotKDataTypeColorHSB);
    DestroySlot(gSlotKDataTypeScalingUV);
    DestroySlot(gSlotKDataTypeTranslationUV);
    DestroySlot(gSlotKDataTypeColorAndAlpha);
    DestroySlot(gSlotKDataTypeColor);
    DestroySlot(gSlotKDataTypeEnum);
    DestroySlot(gSlotKDataTypeBool);
    DestroySlot(gSlotKDataTypeVisibility);
    DestroySlot(gSlotKDataTypeTimeWarp);
    DestroySlot(gSlotKDataTypeCameraIndex);
    DestroySlot(gSlotKDataTypeRoll);
    DestroySlot(gSlotKDataTypeOpticalCenterY);
    DestroySlot(gSlotKDataTypeOpticalCenterX);
    DestroySlot(gSlotKDataTypeFieldOfViewY);
    DestroySlot(gSlotKDataTypeFieldOfViewX);
    DestroySlot(gSlotKDataTypeFieldOfView);
    DestroySlot(gSlotKDataTypeShape);
    DestroySlot(gSlotKDataTypeFog);
    DestroySlot(gSlotKDataTypeConeAngle);
    DestroySlot(gSlotKDataTypeIntensity);
    DestroySlot(gSlotKDataTypeAction);
    DestroySlot(gSlotKDataTypeInteger);
    DestroySlot(gSlotKDataTypeReal);
    DestroySlot(gSlotKDataTypeMatrix);
    DestroySlot(gSlotKDataTypeVector4);
    DestroySlot(gSlotKDataTypeVector);
    DestroySlot(gSlotKDataTypeTime);
    DestroySlot(gSlotKDataTypeNumber);
}

// The built-in types exist before main at the latest; any earlier use of
// the registry builds them first.
const bool gBuiltinsAtStartUp = (BuildBuiltins(), true);

// Types are made, dropped and looked up on any thread, and even a lookup
// changes the set (it sorts what was added since the last one): every use of
// the registry holds this lock.
std::mutex gRegistryLock;

// The lock, taken once the built-in types exist: building them registers
// each, which takes the lock in turn.
std::unique_lock<std::mutex> LockRegistry()
{
    BuildBuiltins();
    return std::unique_lock<std::mutex>(gRegistryLock);
}

// The registry, made on demand; the caller holds the lock.
KCharPtrSet* Registry(bool create)
{
    if (!KDataType::smDataTypeSet && create)
        KDataType::smDataTypeSet = new KCharPtrSet(20);
    return KDataType::smDataTypeSet;
}

// The type registered under a name ("Trigger" is the Action type); the
// caller holds the lock.
KDataType* Find(const char* name)
{
    if (strcmp(name, "Trigger") == 0)
        return KDataTypeAction::DataType;
    KCharPtrSet* set = Registry(false);
    return set ? reinterpret_cast<KDataType*>(set->Get(name)) : nullptr;
}

} // namespace

#undef KDATATYPE_BUILTINS

// ---------------------------------------------------------------------------
// Base type and registry

KDataType::KDataType(const char* name)
    : mName(name ? name : "")
    , mBaseDataType(this)
{
    KDataTypeAdd(this);
}

KDataType::~KDataType()
{
    std::lock_guard<std::mutex> lock(gRegistryLock);
    KCharPtrSet* set = smDataTypeSet;
    if (!set)
        return;
    // Several types may share a name: take out the entries of this very type
    // (it may have been registered more than once), never another type's.
    for (int i = set->GetCount() - 1; i >= 0; --i)
        if (set->GetFromIndex(i) == reinterpret_cast<kReference>(this))
            set->RemoveFromIndex(i);
    if (set->GetCount() == 0)
    {
        delete set;
        smDataTypeSet = nullptr;
    }
}

bool KDataType::Init(void*)
{
    return false;
}

bool KDataType::Set(const char*, void*)
{
    return false;
}

bool KDataType::Get(char*, int, void*)
{
    return false;
}

const char* KDataType::GetMemberName(int)
{
    return nullptr;
}

KDataType* KDataType::GetMemberDataType()
{
    return this == KDataTypeTime::DataType ? KDataTypeTime::DataType : KDataTypeNumber::DataType;
}

bool KDataType::IsOrdinal()
{
    return this == KDataTypeBool::DataType || this == KDataTypeAction::DataType || this == KDataTypeInteger::DataType ||
           this == KDataTypeEnum::DataType || this == KDataTypeCameraIndex::DataType ||
           this == KDataTypeVisibility::DataType;
}

bool KDataType::IsEqual(void* a, void* b, double tolerance)
{
    if (!a || !b)
        return a == b;
    if (GetMemberDataType() == KDataTypeNumber::DataType && mMemberCount != 0)
    {
        const double* x = static_cast<const double*>(a);
        const double* y = static_cast<const double*>(b);
        for (int i = 0; i < mMemberCount; ++i)
        {
            double difference = y[i] - x[i];
            if (difference < 0)
                difference = -difference;
            if (difference > tolerance)
                return false;
        }
        return true;
    }
    return mSize <= 0 || memcmp(a, b, static_cast<size_t>(mSize)) == 0;
}

KDataType* KDataTypeAdd(KDataType* type)
{
    if (!type)
        return nullptr;
    auto lock = LockRegistry();
    KDataType* found = Find(type->GetName());
    Registry(true)->Add(type->GetName(), reinterpret_cast<kReference>(type));
    return found;
}

KDataType* KDataTypeGet(const char* name)
{
    if (!name)
        return nullptr;
    auto lock = LockRegistry();
    return Find(name);
}

unsigned long long KDataTypeGetRegistryVersion()
{
    // No registry, no type found: version 0, which no set has. A set's
    // version moves with its entries; the comparison it searches with counts.
    auto lock = LockRegistry();
    const KCharPtrSet* set = Registry(false);
    return set ? set->GetVersion() * 2 + (set->mCaseSensitive ? 1 : 0) : 0;
}

KDataType* KDataTypeGet(int index)
{
    auto lock = LockRegistry();
    KCharPtrSet* set = Registry(false);
    if (!set || index < 0 || index >= set->GetCount())
        return nullptr;
    return reinterpret_cast<KDataType*>(set->GetFromIndex(index));
}

int KDataTypeGetCount()
{
    auto lock = LockRegistry();
    KCharPtrSet* set = Registry(false);
    return set ? set->GetCount() : 0;
}

void KDataTypeRemoveAll()
{
    // The built-in types are static objects and user types belong to their
    // creators: only the registry goes. A type destroyed later finds nothing
    // to remove; a type built later starts a new registry.
    auto lock = LockRegistry();
    delete KDataType::smDataTypeSet;
    KDataType::smDataTypeSet = nullptr;
}

kPropertyType DataTypeToPropertyType(KDataType* type)
{
    if (!type)
        return 0;
    if (type == KDataTypeAction::DataType)
        return 16;
    if (type == KDataTypeBool::DataType)
        return 2;
    if (type == KDataTypeInteger::DataType)
        return 1;
    if (type == KDataTypeColor::DataType)
        return 14;
    if (type == KDataTypeColorAndAlpha::DataType)
        return 15;
    if (type == KDataTypeEnum::DataType)
        return 6;
    KDataType* root = type->GetBaseDataType();
    if (root == KDataTypeTime::DataType)
        return 7;
    if (root == KDataTypeNumber::DataType)
        return 4;
    if (root == KDataTypeVector::DataType)
        return 13;
    if (root == KDataTypeVector4::DataType)
        return 12;
    return 0;
}

// ---------------------------------------------------------------------------
// Text forms of the roots

namespace {

// The display decimal count of a root's text, kept to what a double shows so
// that no format or buffer can grow with the setting.
int DisplayDecimals()
{
    int decimals = GetDisplayDecimalCount();
    if (decimals < 0)
        decimals = 0;
    if (decimals > 15)
        decimals = 15;
    return decimals;
}

// Largest text of one double in fixed notation with at most 15 decimals:
// sign, 309 integer digits, point, 15 decimals.
const int kMaxNumberText = 1 + 309 + 1 + 15;
// Room for the widest root (the matrix): sixteen numbers, fifteen commas, braces, zero.
const int kWorkSize = 16 * kMaxNumberText + 15 + 2 + 1 + 16;

// Copies at most size - 1 characters and always ends the text at size - 1;
// the rest of the buffer up to there is zero-padded. Nothing is written for
// a null text or a size below 1.
bool CopyOut(char* text, int size, const char* work)
{
    if (!text || size < 1)
        return false;
    size_t n = strlen(work);
    size_t room = static_cast<size_t>(size - 1);
    if (n > room)
        n = room;
    memcpy(text, work, n);
    memset(text + n, 0, room - n + 1);
    return true;
}

// "{m0,m1,...}" with the given number of decimals.
bool FormatBraces(char* text, int size, const double* members, int count, int decimals)
{
    if (!members)
        return false;
    char work[kWorkSize];
    int used = 0;
    work[used++] = '{';
    for (int i = 0; i < count; ++i)
    {
        if (i > 0)
            work[used++] = ',';
        used += KPrintDouble(work + used, static_cast<size_t>(kWorkSize - used), members[i], 'f', decimals);
        if (used > kWorkSize - 3)
            used = kWorkSize - 3;
    }
    work[used++] = '}';
    work[used] = 0;
    return CopyOut(text, size, work);
}

// Reads "{m0,m1,...}": blanks before a number are accepted, before a
// delimiter they are not. Members read before a failure keep their values.
bool ParseBraces(const char* text, double* members, int count)
{
    if (!text || !members || text[0] != '{')
        return false;
    const char* position = text;
    const char* const last = text + strlen(text);
    for (int i = 0; i < count; ++i)
    {
        double value = 0.0;
        const char* end = KScanDouble(position + 1, last, value);
        if (end == position + 1)
            return false;
        members[i] = value;
        position = end;
        if (i < count - 1 && *position != ',')
            return false;
    }
    return *position == '}';
}

bool ClearDoubles(void* value, int count)
{
    if (!value)
        return false;
    double* members = static_cast<double*>(value);
    for (int i = 0; i < count; ++i)
        members[i] = 0.0;
    return true;
}

const char* NameAt(const char* const* names, int count, int index)
{
    return (index >= 0 && index < count) ? names[index] : "?";
}

} // namespace

// Number ---------------------------------------------------------------------

KDataTypeNumber::KDataTypeNumber(const char* name)
    : KDataType(name)
{
    mSize = 8;
    mMemberCount = 1;
}

bool KDataTypeNumber::Init(void* value)
{
    return ClearDoubles(value, 1);
}

bool KDataTypeNumber::Set(const char* text, void* value)
{
    if (!text || !value)
        return false;
    *static_cast<double*>(value) = KTextToDouble(text);
    return true;
}

bool KDataTypeNumber::Get(char* text, int size, void* value)
{
    static const int sDecimals = DisplayDecimals();
    if (!value)
        return false;
    char work[kWorkSize];
    KPrintDouble(work, sizeof(work), *static_cast<const double*>(value), 'f', sDecimals);
    return CopyOut(text, size, work);
}

const char* KDataTypeNumber::GetMemberName(int)
{
    return nullptr;
}

// Time -----------------------------------------------------------------------

KDataTypeTime::KDataTypeTime(const char* name)
    : KDataType(name)
{
    mSize = 8;
    mMemberCount = 0;
}

bool KDataTypeTime::Init(void* value)
{
    if (!value)
        return false;
    *static_cast<KTime*>(value) = KTime(0);
    return true;
}

bool KDataTypeTime::Set(const char* text, void* value)
{
    if (!text || !value)
        return false;
    static_cast<KTime*>(value)->SetTimeString(text, 0, 2);
    return true;
}

bool KDataTypeTime::Get(char* text, int size, void* value)
{
    if (!value)
        return false;
    char work[KTIME_STRING_SIZE];
    static_cast<const KTime*>(value)->GetTimeString(work, sizeof(work), 5, 0, 2);
    return CopyOut(text, size, work);
}

const char* KDataTypeTime::GetMemberName(int)
{
    return "?";
}

// Vector, Vector4 and Matrix: count doubles, read and written in braces.

#define KDATATYPE_BRACED_ROOT(C, Count)                                                                                \
    C::C(const char* name)                                                                                             \
        : KDataType(name)                                                                                              \
    {                                                                                                                  \
        mSize = 8 * (Count);                                                                                           \
        mMemberCount = (Count);                                                                                        \
    }                                                                                                                  \
    bool C::Init(void* value)                                                                                          \
    {                                                                                                                  \
        return ClearDoubles(value, (Count));                                                                           \
    }                                                                                                                  \
    bool C::Set(const char* text, void* value)                                                                         \
    {                                                                                                                  \
        return ParseBraces(text, static_cast<double*>(value), (Count));                                                \
    }                                                                                                                  \
    bool C::Get(char* text, int size, void* value)                                                                     \
    {                                                                                                                  \
        static const int sDecimals = DisplayDecimals();                                                                \
        return FormatBraces(text, size, static_cast<const double*>(value), (Count), sDecimals);                        \
    }

KDATATYPE_BRACED_ROOT(KDataTypeVector, 3)
KDATATYPE_BRACED_ROOT(KDataTypeVector4, 4)
KDATATYPE_BRACED_ROOT(KDataTypeMatrix, 16)

#undef KDATATYPE_BRACED_ROOT

const char* KDataTypeVector::GetMemberName(int index)
{
    static const char* const kNames[] = {"x", "y", "z"};
    return NameAt(kNames, 3, index);
}

const char* KDataTypeVector4::GetMemberName(int index)
{
    static const char* const kNames[] = {"x", "y", "z", "w"};
    return NameAt(kNames, 4, index);
}

const char* KDataTypeMatrix::GetMemberName(int)
{
    return nullptr;
}

// ---------------------------------------------------------------------------
// Named specialisations

#define KDATATYPE_LEAF(C, Root, Name)                                                                                  \
    C::C()                                                                                                             \
        : Root(Name)                                                                                                   \
    {                                                                                                                  \
        mBaseDataType = Root::DataType;                                                                                \
    }

KDATATYPE_LEAF(KDataTypeReal, KDataTypeNumber, "Real")
KDATATYPE_LEAF(KDataTypeInteger, KDataTypeNumber, "Integer")
KDATATYPE_LEAF(KDataTypeAction, KDataTypeNumber, "Action")
KDATATYPE_LEAF(KDataTypeIntensity, KDataTypeNumber, "Intensity")
KDATATYPE_LEAF(KDataTypeConeAngle, KDataTypeNumber, "Cone angle")
KDATATYPE_LEAF(KDataTypeFog, KDataTypeNumber, "Fog")
KDATATYPE_LEAF(KDataTypeShape, KDataTypeNumber, "Shape")
KDATATYPE_LEAF(KDataTypeFieldOfView, KDataTypeNumber, "FieldOfView")
KDATATYPE_LEAF(KDataTypeFieldOfViewX, KDataTypeNumber, "FieldOfViewX")
KDATATYPE_LEAF(KDataTypeFieldOfViewY, KDataTypeNumber, "FieldOfViewY")
KDATATYPE_LEAF(KDataTypeOpticalCenterX, KDataTypeNumber, "OpticalCenterX")
KDATATYPE_LEAF(KDataTypeOpticalCenterY, KDataTypeNumber, "OpticalCenterY")
KDATATYPE_LEAF(KDataTypeRoll, KDataTypeNumber, "Roll")
KDATATYPE_LEAF(KDataTypeCameraIndex, KDataTypeNumber, "Camera Index")
KDATATYPE_LEAF(KDataTypeTimeWarp, KDataTypeNumber, "TimeWarp")
KDATATYPE_LEAF(KDataTypeVisibility, KDataTypeNumber, "Visibility")
KDATATYPE_LEAF(KDataTypeBool, KDataTypeNumber, "Bool")
KDATATYPE_LEAF(KDataTypeEnum, KDataTypeNumber, "Enum")
KDATATYPE_LEAF(KDataTypeColor, KDataTypeVector, "Color")
KDATATYPE_LEAF(KDataTypeColorAndAlpha, KDataTypeVector4, "ColorAndAlpha")
KDATATYPE_LEAF(KDataTypeTranslationUV, KDataTypeVector, "Translation UV")
KDATATYPE_LEAF(KDataTypeScalingUV, KDataTypeVector, "Scaling UV")
KDATATYPE_LEAF(KDataTypeColorHSB, KDataTypeVector, "HSB")
KDATATYPE_LEAF(KDataTypeTranslation, KDataTypeVector, "Translation")
KDATATYPE_LEAF(KDataTypeScaling, KDataTypeVector, "Scaling")
KDATATYPE_LEAF(KDataTypeRotation, KDataTypeVector, "Rotation")
KDATATYPE_LEAF(KDataTypeLclTranslation, KDataTypeVector, "Lcl Translation")
KDATATYPE_LEAF(KDataTypeLclScaling, KDataTypeVector, "Lcl Scaling")
KDATATYPE_LEAF(KDataTypeLclRotation, KDataTypeVector, "Lcl Rotation")
KDATATYPE_LEAF(KDataTypeMatrixTranslation, KDataTypeMatrix, "Matrix Translation")
KDATATYPE_LEAF(KDataTypeMatrixScaling, KDataTypeMatrix, "Matrix Scaling")
KDATATYPE_LEAF(KDataTypeMatrixRotation, KDataTypeMatrix, "Matrix Rotation")
KDATATYPE_LEAF(KDataTypeMatrixTransformation, KDataTypeMatrix, "Matrix Transformation")
KDATATYPE_LEAF(KDataTypeOrientation, KDataTypeVector, "Orientation")
KDATATYPE_LEAF(KDataTypeLookAt, KDataTypeVector, "Look at")
KDATATYPE_LEAF(KDataTypeQuaternion, KDataTypeVector4, "Quaternion")
KDATATYPE_LEAF(KDataTypeLclQuaternion, KDataTypeVector4, "Lcl Quaternion")
KDATATYPE_LEAF(KDataTypeOcclusion, KDataTypeNumber, "Occlusion")
KDATATYPE_LEAF(KDataTypeWeight, KDataTypeNumber, "Weight")
KDATATYPE_LEAF(KDataTypeIKReachTranslation, KDataTypeNumber, "IK Reach Translation")
KDATATYPE_LEAF(KDataTypeIKReachRotation, KDataTypeNumber, "IK Reach Rotation")

#undef KDATATYPE_LEAF

const char* KDataTypeColor::GetMemberName(int index)
{
    static const char* const kNames[] = {"r", "g", "b"};
    return NameAt(kNames, 3, index);
}

const char* KDataTypeColorAndAlpha::GetMemberName(int index)
{
    static const char* const kNames[] = {"r", "g", "b", "a"};
    return NameAt(kNames, 4, index);
}

const char* KDataTypeTranslationUV::GetMemberName(int index)
{
    static const char* const kNames[] = {"U", "V"};
    return NameAt(kNames, 2, index);
}

const char* KDataTypeScalingUV::GetMemberName(int index)
{
    static const char* const kNames[] = {"U", "V"};
    return NameAt(kNames, 2, index);
}

const char* KDataTypeColorHSB::GetMemberName(int index)
{
    static const char* const kNames[] = {"H", "S", "B"};
    return NameAt(kNames, 3, index);
}
