// Class registry: groups, entries and variants, creation, non-managed
// persistent classes, and libraries started through their LIBRARY_INIT.

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <set>
#include <vector>
#include <string>

#include "object/kclassid.h"
#include "object/kclassregistry.h"
#include "object/kobject.h"
#include "object/kprogress.h"

namespace {

int gCreated = 0;
IKObject* gLastParent = nullptr;
std::string gLastName;
void* gLastData = nullptr;

IKObject* CreateObject(IKObject* parent, const char* name, void* data)
{
    ++gCreated;
    gLastParent = parent;
    gLastName = name ? name : "(null)";
    gLastData = data;
    KObject* object = new KObject();
    object->SetObjectName(name);
    return object;
}

IKObject* CreateNothing(IKObject*, const char*, void*)
{
    return nullptr;
}

// An IKObject that is not an object of the object model.
class PlainThing : public IKObject
{
public:
    IKObject* IQuery(unsigned long, int) override { return nullptr; }
    void Destroy(int) override { delete this; }
};

IKObject* CreatePlain(IKObject*, const char*, void*)
{
    return new PlainThing();
}

int Reg(const char* group, const char* entry, const char* description = "",
        KObjectCreateFunction creator = &CreateObject)
{
    return Object_Register(group, entry, description, creator, false, "", HdlKObject());
}

class Registry : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Object_UnregisterAll();
        gCreated = 0;
    }
    void TearDown() override { Object_UnregisterAll(); }
};

} // namespace

TEST_F(Registry, GroupPathsCreateTheirParentGroups)
{
    EXPECT_EQ(Object_GetGroupIndex("Geo"), -1);
    EXPECT_EQ(Reg("Geo/Mesh", "Cube"), 0);
    int geo = Object_GetGroupIndex("Geo");
    int mesh = Object_GetGroupIndex("Geo/Mesh");
    ASSERT_GE(geo, 0);
    ASSERT_GE(mesh, 0);
    EXPECT_EQ(Object_GetEntryCount(geo), 0);
    EXPECT_EQ(Object_GetEntryCount(mesh), 1);
    EXPECT_STREQ(Object_GetGroupName(geo), "Geo");

    Reg("Tools/Shapes/Solid", "Box");
    EXPECT_GE(Object_GetGroupIndex("Tools"), 0);
    EXPECT_GE(Object_GetGroupIndex("Tools/Shapes"), 0);
    EXPECT_EQ(Object_GetEntryCount(Object_GetGroupIndex("Tools/Shapes/Solid")), 1);

    // A trailing '/' makes no group of its own.
    Reg("Misc/", "Thing");
    EXPECT_EQ(Object_GetGroupIndex("Misc"), -1);
    EXPECT_GE(Object_GetGroupIndex("Misc/"), 0);

    // Indexes are positions in sorted order.
    EXPECT_STREQ(Object_GetGroupName(0), "Geo");
    EXPECT_STREQ(Object_GetGroupName(1), "Geo/Mesh");
    EXPECT_EQ(Object_GetGroupName(99), nullptr);
    EXPECT_EQ(Object_GetGroupName(-1), nullptr);
    EXPECT_EQ(Object_GetEntryCount(99), 0);
}

TEST_F(Registry, NamesMatchWithoutRegardToCase)
{
    Reg("Geo", "Mesh", "first");
    Reg("GEO", "mesh", "second");
    int g = Object_GetGroupIndex("geo");
    ASSERT_GE(g, 0);
    EXPECT_EQ(Object_GetGroupIndex("GeO"), g);
    EXPECT_EQ(Object_GetEntryCount(g), 1);
    int e = Object_GetEntryIndex(g, "MESH");
    ASSERT_GE(e, 0);
    EXPECT_STREQ(Object_GetEntryName(g, e), "Mesh");
    EXPECT_STREQ(Object_GetEntryDescription(g, e, 1), "second");
    EXPECT_EQ(Object_GetEntryIndex(g, "Nurbs"), -1);
    EXPECT_EQ(Object_GetEntryIndex(7, "Mesh"), -1);
}

TEST_F(Registry, SecondRegistrationIsAVariant)
{
    Object_Register("Geo", "Mesh", "one", &CreateObject, true, "a.png", HdlKObject());
    Object_Register("Geo", "Mesh", "two", &CreateNothing, false, "b.png", HdlKObject());
    int g = Object_GetGroupIndex("Geo");
    int e = Object_GetEntryIndex(g, "Mesh");
    EXPECT_EQ(Object_GetEntryCount(g), 1);
    KObjectCreateEntry* first = Object_FindEntry(g, e, 0);
    KObjectCreateEntry* second = Object_FindEntry(g, e, 1);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->mNext, second);
    EXPECT_EQ(Object_FindEntry(g, e, 2), nullptr);
    EXPECT_EQ(Object_FindEntry(g, e, -1), nullptr);
    EXPECT_EQ(Object_FindEntry(g, e + 1, 0), nullptr);
    EXPECT_STREQ(Object_GetEntryDescription(g, e, 1), "two");
    EXPECT_STREQ(Object_GetIconName(g, e, 0), "a.png");
    EXPECT_TRUE(Object_GetMultiplicity(g, e, 0));
    EXPECT_FALSE(Object_GetMultiplicity(g, e, 1));
    EXPECT_FALSE(Object_GetMultiplicity(g, e, 5));
    EXPECT_EQ(Object_GetEntryCreatorFunction(g, e, 1), &CreateNothing);
    EXPECT_EQ(Object_GetEntryCreatorFunction(g, e, 2), nullptr);
    EXPECT_STREQ(Object_GetEntryDLLName(g, e, 0), "");
    EXPECT_EQ(Object_GetEntryDLLName(g, e, 3), nullptr);
    EXPECT_TRUE(Object_GetIcon(g, e, 0).IsEmpty());
}

TEST_F(Registry, UnregisterVariants)
{
    Reg("Geo", "Mesh", "one");
    Reg("Geo", "Mesh", "two");
    Reg("Geo", "Mesh", "three");
    int g = Object_GetGroupIndex("Geo");
    int e = Object_GetEntryIndex(g, "Mesh");

    // A middle variant is unlinked.
    EXPECT_EQ(Object_Unregister("Geo", "Mesh", 1), 0);
    EXPECT_STREQ(Object_GetEntryDescription(g, e, 1), "three");
    // Variant 0 of a two-entry chain: the second becomes variant 0.
    EXPECT_EQ(Object_Unregister("geo", "MESH", 0), 0);
    EXPECT_STREQ(Object_GetEntryDescription(g, e, 0), "three");
    EXPECT_EQ(Object_FindEntry(g, e, 1), nullptr);
    EXPECT_EQ(Object_GetEntryCount(g), 1);
}

TEST_F(Registry, UnregisterOfAMissingVariantChangesNothingAndSaysSo)
{
    Reg("Geo", "Mesh", "one");
    Reg("Geo", "Mesh", "two");
    Reg("Geo", "Cube", "alone");
    EXPECT_EQ(Object_Unregister("Nope", "Mesh", 0), 1);
    EXPECT_EQ(Object_Unregister("Geo", "Nope", 0), 1);
    EXPECT_EQ(Object_Unregister("Geo", "Mesh", 2), 1);
    EXPECT_EQ(Object_Unregister("Geo", "Mesh", 7), 1);
    EXPECT_EQ(Object_Unregister("Geo", "Mesh", -1), 1);
    // A single entry is not removed for a variant it does not have.
    EXPECT_EQ(Object_Unregister("Geo", "Cube", 1), 1);
    int g = Object_GetGroupIndex("Geo");
    EXPECT_EQ(Object_GetEntryCount(g), 2);
    int mesh = Object_GetEntryIndex(g, "Mesh");
    EXPECT_STREQ(Object_GetEntryDescription(g, mesh, 0), "one");
    EXPECT_STREQ(Object_GetEntryDescription(g, mesh, 1), "two");
    EXPECT_STREQ(Object_GetEntryDescription(g, Object_GetEntryIndex(g, "Cube"), 0), "alone");
}

TEST_F(Registry, RemovingTheLastEntryRemovesTheGroupAndShiftsIndexes)
{
    Reg("Alpha", "A");
    Reg("Beta", "B");
    Reg("Gamma", "C");
    EXPECT_EQ(Object_GetGroupIndex("Beta"), 1);
    EXPECT_EQ(Object_GetGroupIndex("Gamma"), 2);
    EXPECT_EQ(Object_Unregister("Alpha", "A", 0), 0);
    EXPECT_EQ(Object_GetGroupIndex("Alpha"), -1);
    EXPECT_EQ(Object_GetGroupIndex("Beta"), 0);
    EXPECT_EQ(Object_GetGroupIndex("Gamma"), 1);
}

TEST_F(Registry, CreateByNamesAndIndexes)
{
    Reg("Geo", "Mesh");
    int data = 5;
    KObject parentObject;
    IKObject* parent = &parentObject;
    IKObject* created = Object_Create("GEO", "mesh", parent, "Torus", &data, 0);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(gCreated, 1);
    EXPECT_EQ(gLastParent, parent);
    EXPECT_EQ(gLastName, "Torus");
    EXPECT_EQ(gLastData, &data);
    int g = Object_GetGroupIndex("Geo");
    KObjectCreateEntry* entry = Object_FindEntry(g, 0, 0);
    EXPECT_EQ(entry->mLastCreated, created);
    KObject* object = static_cast<KObject*>(created->IQuery(0x98ABD146ul, 0));
    EXPECT_EQ(entry->mCreatedHandle.Get(), object);
    EXPECT_STREQ(object->GetObjectName(), "Torus");

    // Unknown names create nothing and change nothing.
    EXPECT_EQ(Object_Create("Geo", "Nurbs", nullptr, "x", nullptr, 0), nullptr);
    EXPECT_EQ(Object_Create("Nope", "Mesh", nullptr, "x", nullptr, 0), nullptr);
    EXPECT_EQ(Object_Create(g, 0, nullptr, "x", nullptr, 1), nullptr);
    EXPECT_EQ(gCreated, 1);
    EXPECT_EQ(entry->mLastCreated, created);

    object->Destroy(0);
    EXPECT_EQ(entry->mCreatedHandle.Get(), nullptr);
}

TEST_F(Registry, CreatorResultsOtherThanObjects)
{
    Reg("Geo", "Mesh");
    Reg("Geo", "Mesh", "", &CreateNothing);
    Reg("Geo", "Plain", "", &CreatePlain);
    int g = Object_GetGroupIndex("Geo");
    int mesh = Object_GetEntryIndex(g, "Mesh");
    IKObject* first = Object_Create(g, mesh, nullptr, "a", nullptr, 0);
    ASSERT_NE(first, nullptr);

    // The second variant's creator returns null: the last object is cleared.
    KObjectCreateEntry* entry = Object_FindEntry(g, mesh, 1);
    entry->mLastCreated = first;
    entry->mCreatedHandle = HdlKObject(static_cast<KObject*>(first->IQuery(0x98ABD146ul, 0)));
    EXPECT_EQ(Object_Create(g, mesh, nullptr, "b", nullptr, 1), nullptr);
    EXPECT_EQ(entry->mLastCreated, nullptr);
    EXPECT_TRUE(entry->mCreatedHandle.IsEmpty());

    // Something that is not an object gives no handle.
    int plain = Object_GetEntryIndex(g, "Plain");
    IKObject* thing = Object_Create(g, plain, nullptr, "c", nullptr, 0);
    ASSERT_NE(thing, nullptr);
    EXPECT_EQ(Object_FindEntry(g, plain, 0)->mLastCreated, thing);
    EXPECT_TRUE(Object_FindEntry(g, plain, 0)->mCreatedHandle.IsEmpty());
    thing->Destroy(0);
    first->Destroy(0);
}

TEST_F(Registry, RegisterByCopyingAnotherCreator)
{
    Object_Register("Geo", "Mesh", "", &CreateObject, true, "", HdlKObject());
    EXPECT_EQ(Object_Register("Shapes", "Copy", "copied", "geo", "MESH", "icon", HdlKObject()), 0);
    int g = Object_GetGroupIndex("Shapes");
    EXPECT_EQ(Object_GetEntryCreatorFunction(g, 0, 0), &CreateObject);
    EXPECT_FALSE(Object_GetMultiplicity(g, 0, 0));

    // Copying from nothing gives an entry without creator, which creates nothing.
    Object_Register("Shapes", "Orphan", "", "Nope", "Nope", "", HdlKObject());
    int orphan = Object_GetEntryIndex(g, "Orphan");
    EXPECT_EQ(Object_GetEntryCreatorFunction(g, orphan, 0), nullptr);
    EXPECT_EQ(Object_Create(g, orphan, nullptr, "x", nullptr, 0), nullptr);

    // The three-text form registers nothing.
    EXPECT_EQ(Object_Register("Empty", "Entry", "text"), 0);
    EXPECT_EQ(Object_GetGroupIndex("Empty"), -1);
}

TEST_F(Registry, NonManagedPersistentClasses)
{
    EXPECT_EQ(GetNumNonManagedPersistentClasses(), 0);
    EXPECT_EQ(GetNthNonManagedPersistentClass(0), 0);
    RegisterNonManagedPersistentClass(40);
    RegisterNonManagedPersistentClass(12);
    RegisterNonManagedPersistentClass(40);
    RegisterNonManagedPersistentClass("KObject");
    EXPECT_EQ(GetNumNonManagedPersistentClasses(), 3);
    EXPECT_EQ(GetNthNonManagedPersistentClass(0), 1);
    EXPECT_EQ(GetNthNonManagedPersistentClass(1), 12);
    EXPECT_EQ(GetNthNonManagedPersistentClass(2), 40);
    EXPECT_EQ(GetNthNonManagedPersistentClass(3), 0);
    EXPECT_TRUE(IsNonManagedPersistentClass(KObject::ClassId));
    EXPECT_FALSE(IsNonManagedPersistentClass(13));

    // A class name that is not registered yet waits until it is.
    static const char lateName[] = "RegistryTestLateClass";
    RegisterNonManagedPersistentClass(lateName);
    EXPECT_EQ(GetNumNonManagedPersistentClasses(), 3);
    int late = KPlug_RegisterSDKClassId(lateName);
    EXPECT_TRUE(IsNonManagedPersistentClass(late));
    EXPECT_EQ(GetNumNonManagedPersistentClasses(), 4);

    Object_UnregisterAll();
    EXPECT_EQ(GetNumNonManagedPersistentClasses(), 0);
    EXPECT_FALSE(IsNonManagedPersistentClass(12));
}

// ---------------------------------------------------------------------------
// Libraries

namespace {

typedef void (*SetResultFunction)(int);
typedef int (*GetCountFunction)();

const char* PluginPath()
{
    return QOX_TEST_PLUGIN_PATH;
}

bool CopyFile(const std::string& from, const std::string& to)
{
    FILE* in = fopen(from.c_str(), "rb");
    if (!in)
        return false;
    FILE* out = fopen(to.c_str(), "wb");
    if (!out)
    {
        fclose(in);
        return false;
    }
    char buffer[65536];
    size_t n;
    bool ok = true;
    while ((n = fread(buffer, 1, sizeof(buffer), in)) > 0)
        ok = ok && fwrite(buffer, 1, n, out) == n;
    fclose(in);
    return fclose(out) == 0 && ok;
}

void WriteText(const std::string& path, const char* text)
{
    FILE* f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs(text, f);
    fclose(f);
}

class TempDir
{
public:
    TempDir()
    {
        char pattern[] = "/tmp/qox_registry_XXXXXX";
        char* made = mkdtemp(pattern);
        mPath = made ? made : "";
    }
    ~TempDir()
    {
        for (const std::string& name : mFiles)
            unlink((mPath + "/" + name).c_str());
        rmdir(mPath.c_str());
    }
    std::string Add(const std::string& name)
    {
        mFiles.push_back(name);
        return mPath + "/" + name;
    }
    std::string mPath;
    std::vector<std::string> mFiles;
};

} // namespace

TEST_F(Registry, LibraryInitRegistersTheLibrarysCreators)
{
    void* handle = KDlOpen(PluginPath());
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(KDlOpen(PluginPath()), handle);
    EXPECT_EQ(Object_LibraryLoad(PluginPath()), 0);

    EXPECT_EQ(Object_LibraryInit(PluginPath(), nullptr), 0);
    int g = Object_GetGroupIndex("plugin/shapes");
    ASSERT_GE(g, 0);
    EXPECT_GE(Object_GetGroupIndex("Plugin"), 0);
    int e = Object_GetEntryIndex(g, "widget");
    ASSERT_GE(e, 0);
    EXPECT_STREQ(Object_GetEntryDescription(g, e, 0), "A widget from a loaded library");
    EXPECT_STREQ(Object_GetIconName(g, e, 0), "widget.png");
    EXPECT_TRUE(Object_GetMultiplicity(g, e, 0));

    IKObject* created = Object_Create("Plugin/Shapes", "Widget", nullptr, "Gear", nullptr, 0);
    ASSERT_NE(created, nullptr);
    KObject* object = static_cast<KObject*>(created->IQuery(0x98ABD146ul, 0));
    ASSERT_NE(object, nullptr);
    EXPECT_STREQ(object->GetObjectName(), "Gear");
    EXPECT_EQ(Object_FindEntry(g, e, 0)->mCreatedHandle.Get(), object);
    object->Destroy(0);

    // The library's own functions are found through the table.
    SetResultFunction setResult =
        reinterpret_cast<SetResultFunction>(Object_LibraryGetProcAddress(PluginPath(), "TestPlugin_SetInitResult"));
    GetCountFunction count =
        reinterpret_cast<GetCountFunction>(Object_LibraryGetProcAddress(PluginPath(), "TestPlugin_GetInitCount"));
    ASSERT_NE(setResult, nullptr);
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(Object_LibraryGetProcAddress(PluginPath(), "NoSuchSymbol"), nullptr);
    int before = count();
    setResult(1);
    EXPECT_EQ(Object_LibraryInit(PluginPath(), nullptr), 1);
    setResult(0);
    EXPECT_EQ(count(), before + 1);
    // Each start registered the creator once more: a second variant.
    EXPECT_NE(Object_FindEntry(g, e, 1), nullptr);
    EXPECT_EQ(Object_GetEntryCount(g), 1);
}

TEST_F(Registry, MissingLibrariesLeaveNoTrace)
{
    const char* missing = "/nonexistent/dir/libnothing.so";
    EXPECT_EQ(KDlOpen(missing), nullptr);
    EXPECT_EQ(Object_LibraryLoad(missing), 1);
    EXPECT_EQ(Object_LibraryInit(missing, nullptr), 1);
    EXPECT_EQ(Object_LibraryGetProcAddress(missing, "LIBRARY_INIT"), nullptr);
    EXPECT_EQ(Object_LibraryFree(missing), 1);
    EXPECT_EQ(Object_LibrariesInit("/nonexistent/dir", nullptr), 0);
    EXPECT_EQ(Object_LibraryGet("/nonexistent/dir", 0, nullptr), nullptr);
    EXPECT_EQ(Object_LibraryGetProc("/nonexistent/dir", "libnothing", "LIBRARY_INIT"), nullptr);
}

TEST_F(Registry, LibrariesOfADirectory)
{
    TempDir dir;
    ASSERT_FALSE(dir.mPath.empty());
    std::string plugin = dir.Add("widgets.so");
    ASSERT_TRUE(CopyFile(PluginPath(), plugin));
    WriteText(dir.Add("notes.txt"), "not a library");
    // ".so" anywhere in the name counts, so this file is tried and fails.
    std::string broken = dir.Add("broken.sox");
    WriteText(broken, "not a library either");

    std::set<std::string> names;
    for (int i = 0; i < 5; ++i)
        if (const char* name = Object_LibraryGet(dir.mPath.c_str(), i, nullptr))
            names.insert(name);
    EXPECT_EQ(names, (std::set<std::string>{"widgets.so", "broken.sox"}));
    EXPECT_EQ(Object_LibraryGet(dir.mPath.c_str(), 2, nullptr), nullptr);

    IProgress* progress = KGetGlobalProgress();
    progress->SetStatus("before");
    EXPECT_EQ(Object_LibrariesInit(dir.mPath.c_str(), nullptr), 1);
    // The quiet progress object does not keep the loader's texts.
    EXPECT_STREQ(progress->GetProgressTitle(), "before");
    int g = Object_GetGroupIndex("Plugin/Shapes");
    ASSERT_GE(g, 0);
    EXPECT_GE(Object_GetEntryIndex(g, "Widget"), 0);

    // Only good libraries: success.
    unlink(broken.c_str());
    Object_UnregisterAll();
    EXPECT_EQ(Object_LibrariesInit(dir.mPath.c_str(), nullptr), 0);
    EXPECT_GE(Object_GetGroupIndex("Plugin/Shapes"), 0);

    // Direct look-ups outside the table, with or without the ".so".
    EXPECT_NE(Object_LibraryGetProc(dir.mPath.c_str(), "widgets", "LIBRARY_INIT"), nullptr);
    EXPECT_NE(Object_LibraryGetProc(dir.mPath.c_str(), "widgets.so", "TestPlugin_GetInitCount"), nullptr);
    EXPECT_EQ(Object_LibraryGetProc(dir.mPath.c_str(), "widgets", "NoSuchSymbol"), nullptr);

    Object_UnregisterAll();
    EXPECT_EQ(Object_LibraryFree(plugin.c_str()), 0);
}
