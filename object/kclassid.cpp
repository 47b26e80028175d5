#include "object/kclassid.h"

#include <cstdint>

#include "base/karray.h"
#include "base/kset.h"
#include "object/khdl.h"
#include "object/kplug.h"

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

KCharPtrSet* ClassTable()
{
    if (!mClassTable)
        mClassTable = new KCharPtrSet(20);
    return mClassTable;
}

} // namespace

int KPlug_RegisterClassId(KClassDefinition* definition, int id)
{
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
    int id = GlobalClassId++;
    ClassTable()->Add(name, static_cast<kReference>(id));
    return id;
}

int KPlug_RegisterClassGroupId(const char*, int id)
{
    return id != -1 ? id : GlobalGroupId++;
}

int KPlug_GetClassId(const char* name)
{
    return static_cast<int>(ClassTable()->Get(name));
}

KClassDefinition* KPlug_GetClassDefinition(int id)
{
    if (!mClassDefinitions || id + 1 < 0 || id + 1 >= mClassDefinitions->GetCount())
        return nullptr;
    return mClassDefinitions->GetAt(id + 1);
}

KPlugFilter* KPlug_GetFilter(int id)
{
    KClassDefinition* definition = KPlug_GetClassDefinition(id);
    return definition ? definition->mFilter : nullptr;
}

unsigned int KPlug_GetNoneFilterSerial()
{
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
    delete mClassTable;
    mClassTable = nullptr;
    if (mClassDefinitions)
    {
        KArrayTemplate<KClassDefinition*>* definitions = mClassDefinitions;
        mClassDefinitions = nullptr;
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
        delete mNoneDefinition;
        mNoneDefinition = nullptr;
        delete definitions;
    }
    HdlManagerCloseMultithread();
}

int KPlug_GetInitialisationCount()
{
    return PlugInitialisationCount;
}
