#ifndef QOX_OBJECT_KPROPERTYDATATYPE_H
#define QOX_OBJECT_KPROPERTYDATATYPE_H

// Data types of properties: what a property's value means beyond its storage
// kind (a plain number, a colour, a local rotation, a field of view ...).
//
// A data type knows the size of one value, how many scalar members it has and
// what they are called, how to clear a value and how to convert it to and
// from text. Five types are roots (Number, Time, Vector, Vector4, Matrix); the
// other built-in types are named specialisations of a root that share its
// storage and text form. Every data type registers itself by name in one
// process-wide registry, so that readers can find a type from a stored name.
//
// The 46 built-in types live for the whole process. Their addresses are fixed
// before any code runs (each class's DataType, and the global of the same
// name), and the types themselves are built, in their fixed order, the first
// time the registry is used or at start-up, whichever comes first.

class KCharPtrSet;

typedef int kPropertyType;

class KDataType
{
public:
    // Stores the name pointer (the text must outlive the type); size 0, no
    // members, the type is its own root. Registers the type by name.
    explicit KDataType(const char* name);
    // Takes this very type out of the registry; the last one out disposes of it.
    virtual ~KDataType();

    KDataType(const KDataType&) = delete;
    KDataType& operator=(const KDataType&) = delete;

    // Clears a value; writes a value from text; writes the text of a value
    // into text (size bytes, terminating zero included). A bare data type has
    // no value and refuses all three.
    virtual bool Init(void* value);
    virtual bool Set(const char* text, void* value);
    virtual bool Get(char* text, int size, void* value);
    // Name of a scalar member, "?" past the named ones; null for a type whose
    // members have no names.
    virtual const char* GetMemberName(int index);

    int SizeOf() const { return mSize; }
    int GetMemberCount() const { return mMemberCount; }
    const char* GetName() const { return mName; }
    KDataType* GetBaseDataType() const { return mBaseDataType; }

    // The type of one member: Time for the Time type, Number for every other.
    KDataType* GetMemberDataType();
    // True for the Bool, Action, Integer, Enum, Camera Index and Visibility types.
    bool IsOrdinal();
    // Members compared with a tolerance (a difference equal to it is equal);
    // a type without number members compares its bytes.
    bool IsEqual(void* a, void* b, double tolerance);

    // The registry: name to type, case-insensitive, duplicates allowed. Null
    // until the first type is built and after the last one is gone. The
    // functions below use it under a lock of their own, from any thread.
    static KCharPtrSet* smDataTypeSet;

protected:
    const char* mName;
    int mSize = 0;
    int mMemberCount = 0;
    KDataType* mBaseDataType;
};

// Registers a type under its name (even when the name is taken); returns the
// type already registered under that name, or null when the name was new.
KDataType* KDataTypeAdd(KDataType* type);
// "Trigger" (exactly) gives the Action type; any other name is looked up
// without regard to case. Null when absent.
KDataType* KDataTypeGet(const char* name);
// The type at a position of the registry in case-insensitive name order;
// null out of range.
KDataType* KDataTypeGet(int index);
int KDataTypeGetCount();
// Changes whenever what KDataTypeGet answers for a name may change: a caller
// may keep its answers as long as this stays the same.
unsigned long long KDataTypeGetRegistryVersion();
// Empties the registry. No type is destroyed: every type stays usable and
// simply can no longer be found by name.
void KDataTypeRemoveAll();

// The property value kind of a data type: "Action" 16, "Bool" 2, "Integer" 1,
// "Color" 14, "ColorAndAlpha" 15, "Enum" 6 (those very types); otherwise by
// the root type: "Time" 7, "Number" 4, "Vector" 13, "Vector4" 12; 0 for
// anything else or null.
kPropertyType DataTypeToPropertyType(KDataType* type);

// ---------------------------------------------------------------------------
// Root types

// One double, shown with the display decimal count.
class KDataTypeNumber : public KDataType
{
public:
    static KDataType* DataType;
    explicit KDataTypeNumber(const char* name = "Number");
    bool Init(void* value) override;
    bool Set(const char* text, void* value) override;
    bool Get(char* text, int size, void* value) override;
    const char* GetMemberName(int index) override;
};

// One KTime, shown as a time text of the global mode and protocol.
class KDataTypeTime : public KDataType
{
public:
    static KDataType* DataType;
    explicit KDataTypeTime(const char* name = "Time");
    bool Init(void* value) override;
    bool Set(const char* text, void* value) override;
    bool Get(char* text, int size, void* value) override;
    const char* GetMemberName(int index) override;
};

// Three doubles, "{x,y,z}".
class KDataTypeVector : public KDataType
{
public:
    static KDataType* DataType;
    explicit KDataTypeVector(const char* name = "Vector");
    bool Init(void* value) override;
    bool Set(const char* text, void* value) override;
    bool Get(char* text, int size, void* value) override;
    const char* GetMemberName(int index) override;
};

// Four doubles, "{x,y,z,w}".
class KDataTypeVector4 : public KDataType
{
public:
    static KDataType* DataType;
    explicit KDataTypeVector4(const char* name = "Vector4");
    bool Init(void* value) override;
    bool Set(const char* text, void* value) override;
    bool Get(char* text, int size, void* value) override;
    const char* GetMemberName(int index) override;
};

// Sixteen doubles in braces.
class KDataTypeMatrix : public KDataType
{
public:
    static KDataType* DataType;
    explicit KDataTypeMatrix(const char* name = "Matrix");
    bool Init(void* value) override;
    bool Set(const char* text, void* value) override;
    bool Get(char* text, int size, void* value) override;
    const char* GetMemberName(int index) override;
};

// ---------------------------------------------------------------------------
// Named specialisations: storage and text of their root, their own name and,
// for some, their own member names.

#define KDATATYPE_DECLARE_LEAF(Class, Root)                                                                            \
    class Class : public Root                                                                                          \
    {                                                                                                                  \
    public:                                                                                                            \
        static KDataType* DataType;                                                                                    \
        Class();                                                                                                       \
    };

#define KDATATYPE_DECLARE_NAMED_LEAF(Class, Root)                                                                      \
    class Class : public Root                                                                                          \
    {                                                                                                                  \
    public:                                                                                                            \
        static KDataType* DataType;                                                                                    \
        Class();                                                                                                       \
        const char* GetMemberName(int index) override;                                                                 \
    };

KDATATYPE_DECLARE_LEAF(KDataTypeReal, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeInteger, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeAction, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeIntensity, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeConeAngle, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeFog, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeShape, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeFieldOfView, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeFieldOfViewX, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeFieldOfViewY, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeOpticalCenterX, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeOpticalCenterY, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeRoll, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeCameraIndex, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeTimeWarp, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeVisibility, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeBool, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeEnum, KDataTypeNumber)
KDATATYPE_DECLARE_NAMED_LEAF(KDataTypeColor, KDataTypeVector)
KDATATYPE_DECLARE_NAMED_LEAF(KDataTypeColorAndAlpha, KDataTypeVector4)
KDATATYPE_DECLARE_NAMED_LEAF(KDataTypeTranslationUV, KDataTypeVector)
KDATATYPE_DECLARE_NAMED_LEAF(KDataTypeScalingUV, KDataTypeVector)
KDATATYPE_DECLARE_NAMED_LEAF(KDataTypeColorHSB, KDataTypeVector)
KDATATYPE_DECLARE_LEAF(KDataTypeTranslation, KDataTypeVector)
KDATATYPE_DECLARE_LEAF(KDataTypeScaling, KDataTypeVector)
KDATATYPE_DECLARE_LEAF(KDataTypeRotation, KDataTypeVector)
KDATATYPE_DECLARE_LEAF(KDataTypeLclTranslation, KDataTypeVector)
KDATATYPE_DECLARE_LEAF(KDataTypeLclScaling, KDataTypeVector)
KDATATYPE_DECLARE_LEAF(KDataTypeLclRotation, KDataTypeVector)
KDATATYPE_DECLARE_LEAF(KDataTypeMatrixTranslation, KDataTypeMatrix)
KDATATYPE_DECLARE_LEAF(KDataTypeMatrixScaling, KDataTypeMatrix)
KDATATYPE_DECLARE_LEAF(KDataTypeMatrixRotation, KDataTypeMatrix)
KDATATYPE_DECLARE_LEAF(KDataTypeMatrixTransformation, KDataTypeMatrix)
KDATATYPE_DECLARE_LEAF(KDataTypeOrientation, KDataTypeVector)
KDATATYPE_DECLARE_LEAF(KDataTypeLookAt, KDataTypeVector)
KDATATYPE_DECLARE_LEAF(KDataTypeQuaternion, KDataTypeVector4)
KDATATYPE_DECLARE_LEAF(KDataTypeLclQuaternion, KDataTypeVector4)
KDATATYPE_DECLARE_LEAF(KDataTypeOcclusion, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeWeight, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeIKReachTranslation, KDataTypeNumber)
KDATATYPE_DECLARE_LEAF(KDataTypeIKReachRotation, KDataTypeNumber)

#undef KDATATYPE_DECLARE_LEAF
#undef KDATATYPE_DECLARE_NAMED_LEAF

// ---------------------------------------------------------------------------
// The built-in types as globals of the same names as their classes, each
// equal to its class's DataType: `KDataTypeColor` in an expression is the
// Color type; `KDataTypeColor::DataType` (and derivation) still name the class.

extern KDataType* KDataTypeNumber;
extern KDataType* KDataTypeTime;
extern KDataType* KDataTypeVector;
extern KDataType* KDataTypeVector4;
extern KDataType* KDataTypeMatrix;
extern KDataType* KDataTypeReal;
extern KDataType* KDataTypeInteger;
extern KDataType* KDataTypeAction;
extern KDataType* KDataTypeIntensity;
extern KDataType* KDataTypeConeAngle;
extern KDataType* KDataTypeFog;
extern KDataType* KDataTypeShape;
extern KDataType* KDataTypeFieldOfView;
extern KDataType* KDataTypeFieldOfViewX;
extern KDataType* KDataTypeFieldOfViewY;
extern KDataType* KDataTypeOpticalCenterX;
extern KDataType* KDataTypeOpticalCenterY;
extern KDataType* KDataTypeRoll;
extern KDataType* KDataTypeCameraIndex;
extern KDataType* KDataTypeTimeWarp;
extern KDataType* KDataTypeVisibility;
extern KDataType* KDataTypeBool;
extern KDataType* KDataTypeEnum;
extern KDataType* KDataTypeColor;
extern KDataType* KDataTypeColorAndAlpha;
extern KDataType* KDataTypeTranslationUV;
extern KDataType* KDataTypeScalingUV;
extern KDataType* KDataTypeColorHSB;
extern KDataType* KDataTypeTranslation;
extern KDataType* KDataTypeScaling;
extern KDataType* KDataTypeRotation;
extern KDataType* KDataTypeLclTranslation;
extern KDataType* KDataTypeLclScaling;
extern KDataType* KDataTypeLclRotation;
extern KDataType* KDataTypeMatrixTranslation;
extern KDataType* KDataTypeMatrixScaling;
extern KDataType* KDataTypeMatrixRotation;
extern KDataType* KDataTypeMatrixTransformation;
extern KDataType* KDataTypeOrientation;
extern KDataType* KDataTypeLookAt;
extern KDataType* KDataTypeQuaternion;
extern KDataType* KDataTypeLclQuaternion;
extern KDataType* KDataTypeOcclusion;
extern KDataType* KDataTypeWeight;
extern KDataType* KDataTypeIKReachTranslation;
extern KDataType* KDataTypeIKReachRotation;

#endif
