#ifndef QOX_OBJECT_KPROPERTYDATATYPE_H
#define QOX_OBJECT_KPROPERTYDATATYPE_H

// Data types of properties: what a property's value means beyond its storage
// kind (a number, a colour, a local rotation ...).
//
// This is the base class only: a data type knows its name, the size of one
// value, its number of scalar members and the root type it specialises. The
// built-in types and the process-wide registry by name are not part of it yet.

typedef int kPropertyType;

class KDataType
{
public:
    // Stores the name pointer (the text must outlive the type); size 0,
    // no members, the type is its own root.
    explicit KDataType(const char* name);
    virtual ~KDataType();

    KDataType(const KDataType&) = delete;
    KDataType& operator=(const KDataType&) = delete;

    // A bare data type has no value: these refuse (false, or null).
    virtual bool Init(void* value);
    virtual bool Set(const char* text, void* value);
    virtual bool Get(char* text, int size, void* value);
    virtual const char* GetMemberName(int index);

    int SizeOf() const { return mSize; }
    int GetMemberCount() const { return mMemberCount; }
    const char* GetName() const { return mName; }
    KDataType* GetBaseDataType() const { return mBaseDataType; }

protected:
    const char* mName;
    int mSize = 0;
    int mMemberCount = 0;
    KDataType* mBaseDataType;
};

// The property value kind of a data type: "Action" 16, "Bool" 2, "Integer" 1,
// "Color" 14, "ColorAndAlpha" 15, "Enum" 6; otherwise by the root type:
// "Time" 7, "Number" 4, "Vector" 13, "Vector4" 12; 0 for anything else or null.
kPropertyType DataTypeToPropertyType(KDataType* type);

#endif
