#include "object/kclassid.h"

#include <cstdint>

#include "base/karray.h"
#include "base/kset.h"
#include "object/khdl.h"
#include "object/kplug.h"
#include "object/kregistrylock.h"

int GlobalClassIdNone = -1;

namespace {

// The registry. Plain pointers and numbers: constant-initialised, so
// registrations may run from any unit's static initialisation.
KCharPtrSet* mClassTable = nullptr;
KArrayTemplate<KClassDefinition*>* mClassDefinitions = nullptr;
KClassDefinition* mNoneDefinition = nullptr;
int GlobalClassId = 3;
int GlobalGroupId = 3;
int PlugInitialisationCount = 0;
unsigned int NoneFilterSerial = 0;

// Classes are registered at start-up and by plug-ins loaded later, and
// looked up by managers on any thread; even a lookup changes the name table
// (it sorts what was added since the last one). Every use of the registry
// holds this lock; registering takes it again when it builds a filter.
std::mutex gClassLock;
thread_local int tClassLockDepth = 0;

KRegistryLock LockClasses()
{
    return KRegistryLock(gClassLock, tClassLockDepth);
}

// The name table, made on demand; the caller holds the lock.
KCharPtrSet* ClassTable()
{
    if (!mClassTable)
        mClassTable = new KCharPtrSet(20);
    return mClassTable;
}

} // namespace

int KPlug_RegisterClassId(KClassDefinition* definition, int id)
{
    auto lock = LockClasses();
    if (id == -1)
        id = GlobalClassId++;
    if (!definition || id < 0)
        return id;
    ClassTable()->Add(definition->mName, static_cast<kReference>(id));
    if (!mClassDefinitions)
    {
        mClassDefinitions = new KArrayTemplate<KClassDefinition*>(16);
        mNoneDefinition = new KClassDefinition{&GlobalClassIdNone, nullptr, "None", nullptr};
        mClassDefinitions->Add(mNoneDefinition);
        // The "None" filter is a plug built while the "None" entry has no filter yet.
        mNoneDefinition->mFilter = new KClassIdFilter(-1);
        ++NoneFilterSerial;
    }
    while (mClassDefinitions->GetCount() < id + 2)
        mClassDefinitions->Add(nullptr);
    mClassDefinitions->SetAt(id + 1, definition);
    if (definition->mClassId)
        *definition->mClassId = id;
    definition->mFilter = new KClassIdFilter(id);
    return id;
}

int KPlug_RegisterSDKClassId(const char* name)
{
    auto lock = LockClasses();
    int id = GlobalClassId++;
    ClassTable()->Add(name, static_cast<kReference>(id));
    return id;
}

int KPlug_RegisterClassGroupId(const char*, int id)
{
    auto lock = LockClasses();
    return id != -1 ? id : GlobalGroupId++;
}

int KPlug_GetClassId(const char* name)
{
    auto lock = LockClasses();
    return static_cast<int>(ClassTable()->Get(name));
}

KClassDefinition* KPlug_GetClassDefinition(int id)
{
    auto lock = LockClasses();
    if (!mClassDefinitions || id + 1 < 0 || id + 1 >= mClassDefinitions->GetCount())
        return nullptr;
    return mClassDefinitions->GetAt(id + 1);
}

KPlugFilter* KPlug_GetFilter(int id)
{
    auto lock = LockClasses();
    KClassDefinition* definition = KPlug_GetClassDefinition(id);
    return definition ? definition->mFilter : nullptr;
}

unsigned int KPlug_GetNoneFilterSerial()
{
    auto lock = LockClasses();
    return NoneFilterSerial;
}

void KPlug_Init()
{
    if (PlugInitialisationCount++ == 0)
        HdlManagerInitMultithread();
}

void KPlug_Terminate()
{
    if (PlugInitialisationCount <= 0)
        return;
    if (--PlugInitialisationCount != 0)
        return;
    // The registry is taken out under the lock; its filters are destroyed
    // after, as destroying a plug looks the registry up.
    KArrayTemplate<KClassDefinition*>* definitions = nullptr;
    KClassDefinition* noneDefinition = nullptr;
    {
        auto lock = LockClasses();
        delete mClassTable;
        mClassTable = nullptr;
        definitions = mClassDefinitions;
        mClassDefinitions = nullptr;
        noneDefinition = mNoneDefinition;
        mNoneDefinition = nullptr;
    }
    if (definitions)
    {
        for (int i = definitions->GetCount() - 1; i >= 0; --i)
        {
            KClassDefinition* definition = definitions->GetAt(i);
            if (definition && definition->mFilter)
            {
                KPlugFilter* filter = definition->mFilter;
                definition->mFilter = nullptr;
                filter->Destroy(0);
            }
        }
        delete noneDefinition;
        delete definitions;
    }
    HdlManagerCloseMultithread();
}

int KPlug_GetInitialisationCount()
{
    return PlugInitialisationCount;
}
