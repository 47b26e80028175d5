#include "object/kclassregistry.h"

#include <dirent.h>
#include <dlfcn.h>
#include <cstdio>
#include <cstring>

#include "base/kset.h"
#include "object/kclassid.h"
#include "object/kprogress.h"
#include "object/kregistrylock.h"

namespace {

// Libraries are loaded, and plug-ins register and objects are made, from any
// thread; even a lookup changes a KCharPtrSet or KSet (it sorts what was added
// since the last one). The loaded libraries and the registry of creators and
// non-managed classes each have a lock, held by every use. The thread holding
// one may take it again: a creator or a library's start-up registers in turn.
std::mutex gLibraryLock;
thread_local int tLibraryLockDepth = 0;
std::mutex gRegistryLock;
thread_local int tRegistryLockDepth = 0;

KRegistryLock LockLibraries()
{
    return KRegistryLock(gLibraryLock, tLibraryLockDepth);
}

KRegistryLock LockRegistry()
{
    return KRegistryLock(gRegistryLock, tRegistryLockDepth);
}

// Loaded libraries: path -> dlopen handle.
KCharPtrSet*& LibraryTable()
{
    static KCharPtrSet* table = nullptr;
    return table;
}

// The name of the library being started; nothing sets it, so it stays empty.
KString& CurrentLibraryName()
{
    static KString name;
    return name;
}

struct KObjectCreateGroup
{
    KObjectCreateGroup(const char* name)
        : mName(name)
        , mEntries(20)
    {}
    KString mName;
    KCharPtrSet mEntries; // entry name -> first KObjectCreateEntry of the chain
};

// Group name -> KObjectCreateGroup.
KCharPtrSet*& ObjectCreateSet()
{
    static KCharPtrSet* set = nullptr;
    return set;
}

KSet*& NonManagedIds()
{
    static KSet* set = nullptr;
    return set;
}

KSet*& NonManagedPendingNames()
{
    static KSet* set = nullptr;
    return set;
}

bool Contains(const KSet* set, kReference key)
{
    int index = -1;
    set->Get(key, &index);
    return index >= 0;
}

const char* Text(const char* s)
{
    return s ? s : "";
}

KObjectCreateGroup* FindGroup(const char* name)
{
    KCharPtrSet* groups = ObjectCreateSet();
    return groups ? reinterpret_cast<KObjectCreateGroup*>(groups->Get(Text(name))) : nullptr;
}

KObjectCreateGroup* FindOrCreateGroup(const char* name)
{
    KObjectCreateGroup* group = FindGroup(name);
    if (!group)
    {
        group = new KObjectCreateGroup(name);
        ObjectCreateSet()->Add(name, reinterpret_cast<kReference>(group));
    }
    return group;
}

void DestroyChain(KObjectCreateEntry* entry)
{
    while (entry)
    {
        KObjectCreateEntry* next = entry->mNext;
        delete entry;
        entry = next;
    }
}

void DestroyGroup(KObjectCreateGroup* group)
{
    for (int i = 0; i < group->mEntries.GetCount(); ++i)
        DestroyChain(reinterpret_cast<KObjectCreateEntry*>(group->mEntries.GetFromIndex(i)));
    delete group;
}

int Register(const char* groupName, const char* entryName, const char* description, KObjectCreateFunction creator,
             bool multiplicity, const char* iconName, HdlKObject icon)
{
    if (!ObjectCreateSet())
        ObjectCreateSet() = new KCharPtrSet(21);

    // Every group on the path exists before the group itself: "A/B/C" makes
    // sure of "A" and "A/B". A trailing '/' makes no group of its own.
    KString work(Text(groupName));
    unsigned int length = work.GetLen();
    for (unsigned int i = 0; i + 1 < length; ++i)
        if (work[i] == '/')
            FindOrCreateGroup(work.Left(i));
    KObjectCreateGroup* group = FindOrCreateGroup(work);

    KObjectCreateEntry* entry = new KObjectCreateEntry();
    entry->mName = Text(entryName);
    entry->mDescription = Text(description);
    entry->mDllName = CurrentLibraryName();
    entry->mCreator = creator;
    entry->mIconName = Text(iconName);
    entry->mIcon = icon;
    entry->mMultiplicity = multiplicity;

    KObjectCreateEntry* first = reinterpret_cast<KObjectCreateEntry*>(group->mEntries.Get(entry->mName));
    if (!first)
    {
        group->mEntries.Add(entry->mName, reinterpret_cast<kReference>(entry));
        return 0;
    }
    while (first->mNext)
        first = first->mNext;
    first->mNext = entry;
    return 0;
}

// Turns the pending class names that are registered by now into ids; a name
// not registered yet stays pending.
void ResolvePendingNames()
{
    KSet*& pending = NonManagedPendingNames();
    if (!pending)
        return;
    KSet* unresolved = nullptr;
    for (int i = 0; i < pending->GetCount(); ++i)
    {
        kReference key = 0;
        pending->GetFromIndex(i, &key);
        int id = KPlug_GetClassId(reinterpret_cast<const char*>(key));
        if (id != 0)
            RegisterNonManagedPersistentClass(id);
        else
        {
            if (!unresolved)
                unresolved = new KSet(20);
            unresolved->Add(key, key);
        }
    }
    delete pending;
    pending = unresolved;
}

} // namespace

// ---------------------------------------------------------------------------
// Shared libraries

void* KDlOpen(const char* path)
{
    if (!path)
        return nullptr;
    auto lock = LockLibraries();
    KCharPtrSet*& table = LibraryTable();
    if (!table)
        table = new KCharPtrSet(20);
    if (void* handle = reinterpret_cast<void*>(table->Get(path)))
        return handle;
    void* handle = dlopen(path, RTLD_LAZY);
    if (handle)
        table->Add(path, reinterpret_cast<kReference>(handle));
    return handle;
}

int Object_LibraryInit(const char* path, IError* error)
{
    void* handle = KDlOpen(path);
    if (!handle)
        return 1;
    KLibraryInitFunction init = reinterpret_cast<KLibraryInitFunction>(dlsym(handle, "LIBRARY_INIT"));
    if (!init)
        return 1;
    return init(error);
}

int Object_LibraryLoad(const char* path)
{
    return KDlOpen(path) ? 0 : 1;
}

void* Object_LibraryGetProcAddress(const char* path, const char* symbol)
{
    void* handle = KDlOpen(path);
    if (!handle || !symbol)
        return nullptr;
    return dlsym(handle, symbol);
}

int Object_LibraryFree(const char* path)
{
    void* handle = nullptr;
    {
        // Found and taken out at once, so that two threads freeing it close
        // it once.
        auto lock = LockLibraries();
        handle = KDlOpen(path);
        if (!handle)
            return 1;
        LibraryTable()->Remove(path);
    }
    dlclose(handle);
    return 0;
}

int Object_LibrariesInit(const char* directory, IError* error)
{
    DIR* dir = directory ? opendir(directory) : nullptr;
    if (!dir)
        return 0;
    int result = 0;
    while (struct dirent* item = readdir(dir))
    {
        if (!strstr(item->d_name, ".so"))
            continue;
        KString path(directory);
        path += "/";
        path += item->d_name;
        KString text("Initialization... (");
        text += item->d_name;
        text += ")";
        KGetGlobalProgress()->SetProgressInfo(text, "Please wait!", 0);
        if (Object_LibraryInit(path, error) == 1)
            result = 1;
    }
    closedir(dir);
    return result;
}

const char* Object_LibraryGet(const char* directory, int index, IError*)
{
    static thread_local KString buffer;
    DIR* dir = directory ? opendir(directory) : nullptr;
    if (!dir)
        return nullptr;
    const char* found = nullptr;
    int count = 0;
    while (struct dirent* item = readdir(dir))
    {
        if (!strstr(item->d_name, ".so"))
            continue;
        if (count++ == index)
        {
            buffer = item->d_name;
            found = buffer;
            break;
        }
    }
    closedir(dir);
    return found;
}

void* Object_LibraryGetProc(const char* directory, const char* name, const char* symbol)
{
    if (!directory || !name || !symbol)
        return nullptr;
    KString path(directory);
    path += "/";
    path += name;
    if (!strstr(name, ".so"))
        path += ".so";
    void* handle = dlopen(path, RTLD_LAZY);
    return handle ? dlsym(handle, symbol) : nullptr;
}

// ---------------------------------------------------------------------------
// Registration

int Object_Register(const char* group, const char* entry, const char* description, KObjectCreateFunction creator,
                    bool multiplicity, const char* iconName, HdlKObject icon)
{
    auto lock = LockRegistry();
    return Register(group, entry, description, creator, multiplicity, iconName, icon);
}

int Object_Register(const char* group, const char* entry, const char* description, const char* creatorGroup,
                    const char* creatorEntry, const char* iconName, HdlKObject icon)
{
    auto lock = LockRegistry();
    KObjectCreateFunction creator = nullptr;
    int g = Object_GetGroupIndex(creatorGroup);
    if (g >= 0)
        creator = Object_GetEntryCreatorFunction(g, Object_GetEntryIndex(g, creatorEntry), 0);
    return Register(group, entry, description, creator, false, iconName, icon);
}

int Object_Register(const char*, const char*, const char*)
{
    return 0;
}

int Object_Unregister(const char* groupName, const char* entryName, int variant)
{
    auto lock = LockRegistry();
    KObjectCreateGroup* group = FindGroup(groupName);
    if (!group)
        return 1;
    int entryIndex = -1;
    KObjectCreateEntry* first =
        reinterpret_cast<KObjectCreateEntry*>(group->mEntries.Get(Text(entryName), &entryIndex));
    if (!first || variant < 0)
        return 1;

    if (variant == 0)
    {
        KObjectCreateEntry* next = first->mNext;
        group->mEntries.RemoveFromIndex(entryIndex);
        if (next)
            group->mEntries.Add(next->mName, reinterpret_cast<kReference>(next));
        delete first;
        if (group->mEntries.GetCount() == 0)
        {
            ObjectCreateSet()->Remove(group->mName);
            delete group;
        }
        return 0;
    }

    // The entry just before the variant, then the variant itself.
    KObjectCreateEntry* before = first;
    for (int i = 1; i < variant && before; ++i)
        before = before->mNext;
    if (!before || !before->mNext)
        return 1;
    KObjectCreateEntry* gone = before->mNext;
    before->mNext = gone->mNext;
    delete gone;
    return 0;
}

void Object_UnregisterAll()
{
    auto lock = LockRegistry();
    UnregisterAllNonManagedPersistentClasses();
    KCharPtrSet*& groups = ObjectCreateSet();
    if (!groups)
        return;
    for (int i = 0; i < groups->GetCount(); ++i)
        DestroyGroup(reinterpret_cast<KObjectCreateGroup*>(groups->GetFromIndex(i)));
    delete groups;
    groups = nullptr;
}

// ---------------------------------------------------------------------------
// Lookup

namespace {

KObjectCreateGroup* GroupAt(int group)
{
    KCharPtrSet* groups = ObjectCreateSet();
    if (!groups || group < 0 || group >= groups->GetCount())
        return nullptr;
    return reinterpret_cast<KObjectCreateGroup*>(groups->GetFromIndex(group));
}

} // namespace

int Object_GetGroupIndex(const char* group)
{
    auto lock = LockRegistry();
    KCharPtrSet* groups = ObjectCreateSet();
    if (!groups)
        return -1;
    int index = -1;
    if (!groups->Get(Text(group), &index))
        return -1;
    return index;
}

const char* Object_GetGroupName(int group)
{
    auto lock = LockRegistry();
    KObjectCreateGroup* g = GroupAt(group);
    return g ? g->mName.ToChars() : nullptr;
}

int Object_GetEntryCount(int group)
{
    auto lock = LockRegistry();
    KObjectCreateGroup* g = GroupAt(group);
    return g ? g->mEntries.GetCount() : 0;
}

int Object_GetEntryIndex(int group, const char* entry)
{
    auto lock = LockRegistry();
    KObjectCreateGroup* g = GroupAt(group);
    if (!g)
        return -1;
    int index = -1;
    if (!g->mEntries.Get(Text(entry), &index))
        return -1;
    return index;
}

KObjectCreateEntry* Object_FindEntry(int group, int entry, int variant)
{
    auto lock = LockRegistry();
    KObjectCreateGroup* g = GroupAt(group);
    if (!g || entry < 0 || entry >= g->mEntries.GetCount() || variant < 0)
        return nullptr;
    KObjectCreateEntry* e = reinterpret_cast<KObjectCreateEntry*>(g->mEntries.GetFromIndex(entry));
    for (int i = 0; i < variant && e; ++i)
        e = e->mNext;
    return e;
}

const char* Object_GetEntryName(int group, int entry)
{
    auto lock = LockRegistry();
    KObjectCreateEntry* e = Object_FindEntry(group, entry, 0);
    return e ? e->mName.ToChars() : nullptr;
}

const char* Object_GetEntryDescription(int group, int entry, int variant)
{
    auto lock = LockRegistry();
    KObjectCreateEntry* e = Object_FindEntry(group, entry, variant);
    return e ? e->mDescription.ToChars() : nullptr;
}

const char* Object_GetEntryDLLName(int group, int entry, int variant)
{
    auto lock = LockRegistry();
    KObjectCreateEntry* e = Object_FindEntry(group, entry, variant);
    return e ? e->mDllName.ToChars() : nullptr;
}

const char* Object_GetIconName(int group, int entry, int variant)
{
    auto lock = LockRegistry();
    KObjectCreateEntry* e = Object_FindEntry(group, entry, variant);
    return e ? e->mIconName.ToChars() : nullptr;
}

KObjectCreateFunction Object_GetEntryCreatorFunction(int group, int entry, int variant)
{
    auto lock = LockRegistry();
    KObjectCreateEntry* e = Object_FindEntry(group, entry, variant);
    return e ? e->mCreator : nullptr;
}

HdlKObject Object_GetIcon(int group, int entry, int variant)
{
    auto lock = LockRegistry();
    KObjectCreateEntry* e = Object_FindEntry(group, entry, variant);
    return e ? e->mIcon : HdlKObject();
}

bool Object_GetMultiplicity(int group, int entry, int variant)
{
    auto lock = LockRegistry();
    KObjectCreateEntry* e = Object_FindEntry(group, entry, variant);
    return e ? e->mMultiplicity : false;
}

// ---------------------------------------------------------------------------
// Creation

IKObject* Object_Create(const char* group, const char* entry, IKObject* parent, const char* name, void* data,
                        int variant)
{
    auto lock = LockRegistry();
    int g = Object_GetGroupIndex(group);
    if (g < 0)
        return nullptr;
    int e = Object_GetEntryIndex(g, entry);
    if (e < 0)
        return nullptr;
    return Object_Create(g, e, parent, name, data, variant);
}

IKObject* Object_Create(int group, int entry, IKObject* parent, const char* name, void* data, int variant)
{
    auto lock = LockRegistry();
    KObjectCreateEntry* e = Object_FindEntry(group, entry, variant);
    if (!e)
        return nullptr;
    // An entry registered by copy from a creator that was not registered has
    // none: it creates nothing.
    // The creator runs under the lock: the entry records what it made, and
    // it may register or create in turn.
    IKObject* created = e->mCreator ? e->mCreator(parent, name, data) : nullptr;
    e->mLastCreated = created;
    e->mCreatedHandle = HdlKObject();
    if (created)
        if (IKObject* object = created->IQuery(0x98ABD146ul, 0))
            e->mCreatedHandle = HdlKObject(static_cast<KObject*>(object));
    return created;
}

// ---------------------------------------------------------------------------
// Non-managed persistent classes

void RegisterNonManagedPersistentClass(int classId)
{
    auto lock = LockRegistry();
    KSet*& ids = NonManagedIds();
    if (!ids)
        ids = new KSet(20);
    // A set: an id registered twice is counted once.
    kReference key = static_cast<kReference>(static_cast<unsigned int>(classId));
    if (!Contains(ids, key))
        ids->Add(key, key);
}

void RegisterNonManagedPersistentClass(const char* className)
{
    auto lock = LockRegistry();
    if (!className)
        return;
    KSet*& pending = NonManagedPendingNames();
    if (!pending)
        pending = new KSet(20);
    kReference key = reinterpret_cast<kReference>(className);
    if (!Contains(pending, key))
        pending->Add(key, key);
}

bool IsNonManagedPersistentClass(int classId)
{
    auto lock = LockRegistry();
    ResolvePendingNames();
    KSet* ids = NonManagedIds();
    return ids && Contains(ids, static_cast<kReference>(static_cast<unsigned int>(classId)));
}

int GetNumNonManagedPersistentClasses()
{
    auto lock = LockRegistry();
    ResolvePendingNames();
    KSet* ids = NonManagedIds();
    return ids ? ids->GetCount() : 0;
}

int GetNthNonManagedPersistentClass(int index)
{
    auto lock = LockRegistry();
    KSet* ids = NonManagedIds();
    if (!ids || index < 0 || index >= ids->GetCount())
        return 0;
    kReference key = 0;
    ids->GetFromIndex(index, &key);
    return static_cast<int>(static_cast<unsigned int>(key));
}

void UnregisterAllNonManagedPersistentClasses()
{
    auto lock = LockRegistry();
    delete NonManagedIds();
    NonManagedIds() = nullptr;
    delete NonManagedPendingNames();
    NonManagedPendingNames() = nullptr;
}
