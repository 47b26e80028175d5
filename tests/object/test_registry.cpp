// Class registry: groups, entries and variants, creation, non-managed
// persistent classes, and libraries started through their LIBRARY_INIT.

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <set>
#include <string>
#include <strings.h>
#include <thread>
#include <vector>

#include "object/kclassid.h"
#include "object/kclassregistry.h"
#include "object/kobject.h"
#include "object/kprogress.h"
#include "object_test_helpers.h"
#include "common/qox_test_threads.h"

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
    // Indexes are positions in sorted order.
    EXPECT_EQ(Object_GetGroupIndex("Geo"), 0);
    EXPECT_EQ(Object_GetGroupIndex("Geo/Mesh"), 1);
    EXPECT_EQ(Object_GetEntryCount(0), 0);
    EXPECT_EQ(Object_GetEntryCount(1), 1);

    Reg("Tools/Shapes/Solid", "Box");
    EXPECT_GE(Object_GetGroupIndex("Tools"), 0);
    EXPECT_GE(Object_GetGroupIndex("Tools/Shapes"), 0);
    EXPECT_EQ(Object_GetEntryCount(Object_GetGroupIndex("Tools/Shapes/Solid")), 1);
    // A trailing '/' makes no group of its own.
    Reg("Misc/", "Thing");
    EXPECT_EQ(Object_GetGroupIndex("Misc"), -1);
    EXPECT_GE(Object_GetGroupIndex("Misc/"), 0);

    EXPECT_STREQ(Object_GetGroupName(0), "Geo");
    EXPECT_STREQ(Object_GetGroupName(1), "Geo/Mesh");
    EXPECT_EQ(Object_GetGroupName(99), nullptr);
    EXPECT_EQ(Object_GetGroupName(-1), nullptr);
    EXPECT_EQ(Object_GetEntryCount(99), 0);
    // Removing a group's last entry removes the group; the later indexes shift.
    int tools = Object_GetGroupIndex("Tools");
    EXPECT_EQ(Object_Unregister("Misc/", "Thing", 0), 0);
    EXPECT_EQ(Object_GetGroupIndex("Misc/"), -1);
    EXPECT_EQ(Object_GetGroupIndex("Tools"), tools - 1);
}

TEST_F(Registry, SecondRegistrationIsAVariantNamesIgnoreCase)
{
    Object_Register("Geo", "Mesh", "one", &CreateObject, true, "a.png", HdlKObject());
    Object_Register("GEO", "mesh", "two", &CreateNothing, false, "b.png", HdlKObject());
    int g = Object_GetGroupIndex("geo");
    ASSERT_GE(g, 0);
    EXPECT_EQ(Object_GetEntryCount(g), 1);
    int e = Object_GetEntryIndex(g, "MESH");
    ASSERT_GE(e, 0);
    EXPECT_STREQ(Object_GetEntryName(g, e), "Mesh");
    EXPECT_EQ(Object_GetEntryIndex(g, "Nurbs"), -1);
    KObjectCreateEntry* first = Object_FindEntry(g, e, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->mNext, Object_FindEntry(g, e, 1));
    EXPECT_TRUE(first->mNext && !Object_FindEntry(g, e, 2) && !Object_FindEntry(g, e, -1));
    EXPECT_STREQ(Object_GetEntryDescription(g, e, 1), "two");
    EXPECT_STREQ(Object_GetIconName(g, e, 0), "a.png");
    EXPECT_TRUE(Object_GetMultiplicity(g, e, 0));
    EXPECT_FALSE(Object_GetMultiplicity(g, e, 1) || Object_GetMultiplicity(g, e, 5));
    EXPECT_EQ(Object_GetEntryCreatorFunction(g, e, 1), &CreateNothing);
    EXPECT_EQ(Object_GetEntryCreatorFunction(g, e, 2), nullptr);
}

TEST_F(Registry, UnregisterVariants)
{
    Reg("Geo", "Mesh", "one");
    Reg("Geo", "Mesh", "two");
    Reg("Geo", "Mesh", "three");
    Reg("Geo", "Cube", "alone");
    int g = Object_GetGroupIndex("Geo");
    int e = Object_GetEntryIndex(g, "Mesh");
    // A missing group, entry or variant changes nothing and says so; a single
    // entry is not removed for a variant it does not have.
    const struct
    {
        const char* mGroup;
        const char* mEntry;
        int mVariant;
    } missing[] = {{"Nope", "Mesh", 0}, {"Geo", "Nope", 0},  {"Geo", "Mesh", 3},
                   {"Geo", "Mesh", 7},  {"Geo", "Mesh", -1}, {"Geo", "Cube", 1}};
    for (const auto& m : missing)
        EXPECT_EQ(Object_Unregister(m.mGroup, m.mEntry, m.mVariant), 1) << m.mGroup << m.mEntry << m.mVariant;
    EXPECT_EQ(Object_GetEntryCount(g), 2);
    for (int v = 0; v < 3; ++v)
        EXPECT_STREQ(Object_GetEntryDescription(g, e, v), v == 0 ? "one" : v == 1 ? "two" : "three");
    EXPECT_STREQ(Object_GetEntryDescription(g, Object_GetEntryIndex(g, "Cube"), 0), "alone");
    // A middle variant is unlinked.
    EXPECT_EQ(Object_Unregister("Geo", "Mesh", 1), 0);
    EXPECT_STREQ(Object_GetEntryDescription(g, e, 1), "three");
    // Variant 0 of a two-entry chain: the second becomes variant 0.
    EXPECT_EQ(Object_Unregister("geo", "MESH", 0), 0);
    EXPECT_STREQ(Object_GetEntryDescription(g, e, 0), "three");
    EXPECT_EQ(Object_FindEntry(g, e, 1), nullptr);
    EXPECT_EQ(Object_GetEntryCount(g), 2);
}

TEST_F(Registry, CreateByNamesAndIndexes)
{
    Reg("Geo", "Mesh");
    int data = 5;
    KObject parent;
    IKObject* created = Object_Create("GEO", "mesh", &parent, "Torus", &data, 0);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(gCreated, 1);
    EXPECT_TRUE(gLastParent == &parent && gLastName == "Torus" && gLastData == &data);
    int g = Object_GetGroupIndex("Geo");
    KObjectCreateEntry* entry = Object_FindEntry(g, 0, 0);
    EXPECT_EQ(entry->mLastCreated, created);
    KObject* object = static_cast<KObject*>(created->IQuery(0x98ABD146ul, 0));
    EXPECT_EQ(entry->mCreatedHandle.Get(), object);
    // Unknown names create nothing and change nothing.
    EXPECT_EQ(Object_Create("Geo", "Nurbs", nullptr, "x", nullptr, 0), nullptr);
    EXPECT_EQ(Object_Create("Nope", "Mesh", nullptr, "x", nullptr, 0), nullptr);
    EXPECT_EQ(Object_Create(g, 0, nullptr, "x", nullptr, 1), nullptr);
    EXPECT_EQ(gCreated, 1);
    EXPECT_EQ(entry->mLastCreated, created);
    object->Destroy(0);
    EXPECT_EQ(entry->mCreatedHandle.Get(), nullptr);
    // A creator that returns null clears the variant's last object.
    Reg("Geo", "Mesh", "", &CreateNothing);
    KObjectCreateEntry* second = Object_FindEntry(g, 0, 1);
    second->mLastCreated = &parent;
    second->mCreatedHandle = HdlKObject(&parent);
    EXPECT_EQ(Object_Create(g, 0, nullptr, "b", nullptr, 1), nullptr);
    EXPECT_EQ(second->mLastCreated, nullptr);
    EXPECT_TRUE(second->mCreatedHandle.IsEmpty());
    // Something that is not an object gives no handle.
    Reg("Geo", "Plain", "", &CreatePlain);
    int plain = Object_GetEntryIndex(g, "Plain");
    IKObject* thing = Object_Create(g, plain, nullptr, "c", nullptr, 0);
    ASSERT_NE(thing, nullptr);
    EXPECT_EQ(Object_FindEntry(g, plain, 0)->mLastCreated, thing);
    EXPECT_TRUE(Object_FindEntry(g, plain, 0)->mCreatedHandle.IsEmpty());
    thing->Destroy(0);
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

TEST_F(Registry, UsedFromThreadsAtOnce)
{
    // Threads let go together look groups up, register and drop entries of
    // their own and create. A lookup sorts what was added since the last
    // one, so each round first registers a group out of order, and every
    // thread's first lookup finds it so.
    const int threadCount = 4;
    const int rounds = 150;
    Reg("Zone", "Fixed");
    std::atomic<int> failures{0};
    for (int round = 0; round < rounds && failures == 0; ++round)
    {
        Reg("A Round", "Unsorted"); // before "Zone", the last group
        qoxtest::RunAtOnce(threadCount, [&](int t) {
            bool right = Object_GetGroupIndex("a round") == 0 && Object_GetGroupIndex("Zone") >= 0;
            std::string group = "Thread " + std::to_string(t);
            for (int i = 0; i < 10; ++i)
            {
                Object_Register(group.c_str(), "Own", "", &CreatePlain, false, "", HdlKObject());
                IKObject* made = Object_Create(group.c_str(), "Own", nullptr, "", nullptr, 0);
                right = right && made && Object_Unregister(group.c_str(), "Own", 0) == 0;
                if (made)
                    made->Destroy(0);
                RegisterNonManagedPersistentClass(1000 + t);
                right = right && IsNonManagedPersistentClass(1000 + t);
            }
            if (!right)
                ++failures;
        });
        // Each group once, in name order: the round's and "Zone".
        ASSERT_STREQ("A Round", Object_GetGroupName(0)) << "round " << round;
        ASSERT_STREQ("Zone", Object_GetGroupName(1)) << "round " << round;
        ASSERT_EQ(nullptr, Object_GetGroupName(2)) << "round " << round;
        ASSERT_EQ(threadCount, GetNumNonManagedPersistentClasses()) << "round " << round;
        for (int i = 1; i < threadCount; ++i)
            ASSERT_LT(GetNthNonManagedPersistentClass(i - 1), GetNthNonManagedPersistentClass(i));
        Object_Unregister("A Round", "Unsorted", 0);
        UnregisterAllNonManagedPersistentClasses();
    }
    EXPECT_EQ(0, failures);
    EXPECT_EQ(-1, Object_GetGroupIndex("A Round"));
    EXPECT_EQ(0, Object_GetGroupIndex("Zone"));
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
    std::vector<int> nth;
    for (int i = 0; i < 4; ++i)
        nth.push_back(GetNthNonManagedPersistentClass(i));
    EXPECT_EQ(nth, std::vector<int>({1, 12, 40, 0})); // sorted, once each
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

const char* PluginPath()
{
    return QOX_TEST_PLUGIN_PATH;
}

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
    auto setResult =
        reinterpret_cast<void (*)(int)>(Object_LibraryGetProcAddress(PluginPath(), "TestPlugin_SetInitResult"));
    auto count = reinterpret_cast<int (*)()>(Object_LibraryGetProcAddress(PluginPath(), "TestPlugin_GetInitCount"));
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

    // Missing libraries leave no trace.
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
    qoxtest::TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    std::string plugin = dir.File("widgets.so");
    ASSERT_TRUE(qoxtest::WriteFile(plugin, qoxtest::ReadFile(PluginPath())));
    WriteIn(dir, "notes.txt", "not a library");
    // ".so" anywhere in the name counts, so this file is tried and fails.
    std::string broken = WriteIn(dir, "broken.sox", "not a library either");

    std::set<std::string> names;
    for (int i = 0; i < 2; ++i)
        if (const char* name = Object_LibraryGet(dir.Path().c_str(), i, nullptr))
            names.insert(name);
    EXPECT_EQ(names, (std::set<std::string>{"widgets.so", "broken.sox"}));
    EXPECT_EQ(Object_LibraryGet(dir.Path().c_str(), 2, nullptr), nullptr);

    IProgress* progress = KGetGlobalProgress();
    progress->SetStatus("before");
    EXPECT_EQ(Object_LibrariesInit(dir.Path().c_str(), nullptr), 1);
    // The quiet progress object does not keep the loader's texts.
    EXPECT_STREQ(progress->GetProgressTitle(), "before");
    int g = Object_GetGroupIndex("Plugin/Shapes");
    ASSERT_GE(g, 0);
    EXPECT_GE(Object_GetEntryIndex(g, "Widget"), 0);
    // Only good libraries: success.
    unlink(broken.c_str());
    Object_UnregisterAll();
    EXPECT_EQ(Object_LibrariesInit(dir.Path().c_str(), nullptr), 0);
    EXPECT_GE(Object_GetGroupIndex("Plugin/Shapes"), 0);
    // Direct look-ups outside the table, with or without the ".so".
    EXPECT_NE(Object_LibraryGetProc(dir.Path().c_str(), "widgets", "LIBRARY_INIT"), nullptr);
    EXPECT_NE(Object_LibraryGetProc(dir.Path().c_str(), "widgets.so", "TestPlugin_GetInitCount"), nullptr);
    EXPECT_EQ(Object_LibraryGetProc(dir.Path().c_str(), "widgets", "NoSuchSymbol"), nullptr);

    Object_UnregisterAll();
    EXPECT_EQ(Object_LibraryFree(plugin.c_str()), 0);
}
