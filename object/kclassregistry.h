#ifndef QOX_OBJECT_KCLASSREGISTRY_H
#define QOX_OBJECT_KCLASSREGISTRY_H

// The class registry: object creators in named groups of named entries, so
// code can create an object from a group name and an entry name without
// knowing its class. Creators are registered by shared libraries, which are
// loaded from a directory and started through their exported LIBRARY_INIT.
//
// Groups and entries are found without regard to case; their indexes are
// positions in sorted order, so an index changes when a name that sorts
// before it is added or removed. Registering an entry name again hangs a new
// variant behind the first; variants are addressed by their place, from 0.
//
// The same unit keeps the table of loaded libraries and the set of classes
// whose objects are persistent without being managed by the object model.

#include "base/kstring.h"
#include "object/kcallback.h"
#include "object/kobject.h"

class IError;

typedef IKObject* (*KObjectCreateFunction)(IKObject* parent, const char* name, void* data);
// The start function every loadable library exports as "LIBRARY_INIT"; 1 means failure.
typedef int (*KLibraryInitFunction)(IError* error);

// One registered creator.
struct KObjectCreateEntry
{
    KString mName;
    KString mDescription;
    KString mDllName;
    KString mIconName;
    HdlKObject mIcon;
    HdlKObject mCreatedHandle; // the object created last, as a handle
    IKObject* mLastCreated = nullptr;
    bool mMultiplicity = false;
    KObjectCreateFunction mCreator = nullptr;
    KObjectCreateEntry* mNext = nullptr; // next variant of the same name
};

// Shared libraries -----------------------------------------------------------

// The handle recorded for the path, else dlopen's (recorded); null on failure.
void* KDlOpen(const char* path);
// Calls the library's LIBRARY_INIT; 1 when it cannot be opened or lacks one.
int Object_LibraryInit(const char* path, IError* error);
// 0 when the library is (or gets) loaded, else 1.
int Object_LibraryLoad(const char* path);
void* Object_LibraryGetProcAddress(const char* path, const char* symbol);
// Forgets and closes the library: 1 when it cannot be opened, else 0.
int Object_LibraryFree(const char* path);
// Starts every library of the directory (names containing ".so"): 1 when a
// start failed, else 0 (also when the directory cannot be opened).
int Object_LibrariesInit(const char* directory, IError* error);
// File name of the index-th library of the directory, in a buffer of the
// calling thread that its next call overwrites (calls on other threads never
// touch it); null when there is none.
const char* Object_LibraryGet(const char* directory, int index, IError* error);
// dlsym in directory/name (".so" appended when the name lacks it), opened
// outside the table; null on failure.
void* Object_LibraryGetProc(const char* directory, const char* name, const char* symbol);

// Registration -----------------------------------------------------------------

int Object_Register(const char* group, const char* entry, const char* description, KObjectCreateFunction creator,
                    bool multiplicity, const char* iconName, HdlKObject icon);
// The creator is taken from variant 0 of creatorGroup/creatorEntry.
int Object_Register(const char* group, const char* entry, const char* description, const char* creatorGroup,
                    const char* creatorEntry, const char* iconName, HdlKObject icon);
int Object_Register(const char* group, const char* entry, const char* description);
// Removes one variant: 0, or 1 when the group, entry or variant does not
// exist (nothing changes then).
int Object_Unregister(const char* group, const char* entry, int variant);
void Object_UnregisterAll();

// Lookup -------------------------------------------------------------------------

int Object_GetGroupIndex(const char* group);
const char* Object_GetGroupName(int group);
int Object_GetEntryCount(int group);
int Object_GetEntryIndex(int group, const char* entry);
KObjectCreateEntry* Object_FindEntry(int group, int entry, int variant);
const char* Object_GetEntryName(int group, int entry);
const char* Object_GetEntryDescription(int group, int entry, int variant);
const char* Object_GetEntryDLLName(int group, int entry, int variant);
const char* Object_GetIconName(int group, int entry, int variant);
KObjectCreateFunction Object_GetEntryCreatorFunction(int group, int entry, int variant);
HdlKObject Object_GetIcon(int group, int entry, int variant);
bool Object_GetMultiplicity(int group, int entry, int variant);

// Creation -----------------------------------------------------------------------

IKObject* Object_Create(const char* group, const char* entry, IKObject* parent, const char* name, void* data,
                        int variant = 0);
IKObject* Object_Create(int group, int entry, IKObject* parent, const char* name, void* data, int variant = 0);

// Non-managed persistent classes ----------------------------------------------------

void RegisterNonManagedPersistentClass(int classId);
// The text is kept, not copied: it must outlive the registry.
void RegisterNonManagedPersistentClass(const char* className);
bool IsNonManagedPersistentClass(int classId);
int GetNumNonManagedPersistentClasses();
int GetNthNonManagedPersistentClass(int index);
void UnregisterAllNonManagedPersistentClasses();

#endif
