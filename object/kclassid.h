#ifndef QOX_OBJECT_KCLASSID_H
#define QOX_OBJECT_KCLASSID_H

// Class ids and class definitions of the object model.
//
// Every class has a static class definition { id variable, parent definition,
// name, filter } and a small integer id handed out at registration: KObject 1,
// KPlug 2, every other class from 3 in registration order. Each registered id
// owns a plug filter that accepts the plugs of that class and its subclasses.
// The registry is created on first use, so registrations may run during
// static initialisation in any order.

class KPlugFilter;

struct KClassDefinition
{
    int* mClassId;             // the class's id variable
    KClassDefinition* mParent; // null for the root
    const char* mName;
    KPlugFilter* mFilter; // filled by registration
};

// Id of the "None" class; its filter accepts everything.
extern int GlobalClassIdNone;

// Registers a definition under id (-1: the next automatic id); returns the id.
int KPlug_RegisterClassId(KClassDefinition* definition, int id);
// Takes the next automatic id for a name without a definition.
int KPlug_RegisterSDKClassId(const char* name);
// id, or the next group id when id is -1. The name is not stored.
int KPlug_RegisterClassGroupId(const char* name, int id);
// The id recorded for a name, or 0.
int KPlug_GetClassId(const char* name);
// The definition of an id; null outside the table.
KClassDefinition* KPlug_GetClassDefinition(int id);
// The filter of an id; null when no definitions exist or the entry is empty.
KPlugFilter* KPlug_GetFilter(int id);
// How many class-less filters (id -1) have been made so far, the living one
// included: 1 for the first, and one more after each end and new start of
// the plug library.
unsigned int KPlug_GetNoneFilterSerial();
// Nested start and end of the plug library.
void KPlug_Init();
void KPlug_Terminate();
int KPlug_GetInitialisationCount();

// Class identity of a class: declare in the class body, implement once in a
// source file. The id is automatic unless the class is one of the two fixed ones.
#define KPLUG_CLASS_DECLARE(Class)                                                                                     \
public:                                                                                                                \
    static int ClassId;                                                                                                \
    static KClassDefinition ClassDefinition;                                                                           \
    int GetClassId() const override                                                                                    \
    {                                                                                                                  \
        return ClassId;                                                                                                \
    }                                                                                                                  \
    const char* GetClassIdName() const override                                                                        \
    {                                                                                                                  \
        return ClassDefinition.mName;                                                                                  \
    }                                                                                                                  \
    KClassDefinition* GetClassDefinition() const override                                                              \
    {                                                                                                                  \
        return &ClassDefinition;                                                                                       \
    }

#define KPLUG_CLASS_IMPLEMENT(Class, Parent, Name)                                                                     \
    KClassDefinition Class::ClassDefinition = {&Class::ClassId, &Parent::ClassDefinition, Name, nullptr};              \
    int Class::ClassId = KPlug_RegisterClassId(&Class::ClassDefinition, -1);

#endif
