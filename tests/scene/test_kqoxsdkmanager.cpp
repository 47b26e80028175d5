// The SDK manager: name prefixes, lists, lookup by name and index, destroying
// objects it does or does not hold, Clear, and the base library's user count.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/kmemorypool.h"
#include "object/kbaselib.h"
#include "object/kpropertydatatype.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsceneinfo.h"
#include "scene/kqoxthumbnail.h"
#include "scene/kqoxuserproperty.h"
#include "scene_test_helpers.h"

using namespace qoxsdk_600;
using scenetest::TestAnimated;
using scenetest::TestManager;

TEST(KQoxSdkManagerTest, PrefixNameRules)
{
    struct Case
    {
        const char* prefix;
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {"Model::", "Box", "Model::Box"},
        {"Model::", "Model::Box", "Model::Box"},    // same prefix comes back unchanged
        {"Model::", "Material::Box", "Model::Box"}, // another class's prefix is replaced
        {"Model::", "A::B::C", "Model::B::C"},      // only the first part goes
        {"Model::", "", "Model::Name"},             // empty becomes "Name"
        {"Model::", nullptr, "Model::Name"},        // null counts as empty
        {"Model::", "Texture::", "Model::Name"},    // nothing left after the prefix
        {"", "Material::Red", "Red"},               // an empty prefix only strips
        {nullptr, "Plain", "Plain"},
        {"Texture::", "Scan:01", "Texture::Scan:01"}, // a single ':' is no separator
        {"Deformer::", "::Skin", "Deformer::Skin"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(c.expected, KQoxSdkManager::PrefixName(c.prefix, c.name).ToChars())
            << (c.prefix ? c.prefix : "(null)") << " + " << (c.name ? c.name : "(null)");
}

TEST(KQoxSdkManagerTest, DeformerPrefixFollowsTheTypeName)
{
    EXPECT_STREQ("SubDeformer::", GetDeformerPrefixFromTypeName("Cluster"));
    EXPECT_STREQ("SubDeformer::", GetDeformerPrefixFromTypeName("cLuStEr"));
    EXPECT_STREQ("Deformer::", GetDeformerPrefixFromTypeName("Skin"));
    EXPECT_STREQ("Deformer::", GetDeformerPrefixFromTypeName("Clusters"));
    EXPECT_STREQ("Deformer::", GetDeformerPrefixFromTypeName(nullptr));
}

TEST(KQoxSdkManagerTest, FindByNameCountsSameNamedObjectsInListOrder)
{
    TestManager manager;
    TestAnimated* first = manager.CreateTestObject("Box");
    TestAnimated* other = manager.CreateTestObject("Material::Cone");
    TestAnimated* second = manager.CreateTestObject("Box");
    EXPECT_STREQ("Model::Cone", other->GetName());

    EXPECT_EQ(first, manager.FindTestObject("Box", 0));
    EXPECT_EQ(second, manager.FindTestObject("Model::Box", 1));
    EXPECT_EQ(other, manager.FindTestObject("Texture::Cone", 0));
    EXPECT_EQ(nullptr, manager.FindTestObject("box", 0)); // case matters
    EXPECT_EQ(nullptr, manager.FindTestObject("Box", 2));
    EXPECT_EQ(0, manager.GetLastErrorID());
    EXPECT_STREQ("Object not found", manager.GetLastErrorString());

    // Renaming is seen at once, and removal closes the gap.
    first->SetName("Sphere");
    EXPECT_EQ(second, manager.FindTestObject("Box", 0));
    EXPECT_EQ(first, manager.FindTestObject("Sphere", 0));
    first->GetNameRecord().SetCurrentName("Model::Box");
    EXPECT_EQ(first, manager.FindTestObject("Box", 0));
    ASSERT_TRUE(manager.DestroyTestObject(first));
    EXPECT_EQ(second, manager.FindTestObject("Box", 0));
    EXPECT_EQ(other, manager.GetTestObject(0));
    EXPECT_EQ(second, manager.GetTestObject(1));
    EXPECT_EQ(nullptr, manager.GetTestObject(2));
    EXPECT_EQ(nullptr, manager.GetTestObject(-1));
}

TEST(KQoxSdkManagerTest, RenamingStrategyRenamesNewObjects)
{
    TestManager manager;
    manager.SetNodeRenamingStrategy(new KNumberRenamingStrategy);
    TestAnimated* a = manager.CreateTestObject("Box");
    TestAnimated* b = manager.CreateTestObject("Box");
    EXPECT_STREQ("Model::Box", a->GetName());
    EXPECT_STREQ("Model::Box1", b->GetName());
    EXPECT_STREQ("Model::Box", b->GetInitialName());
    EXPECT_EQ(b, manager.FindTestObject("Box1", 0));
    manager.Clear(); // the strategy forgets what it saw
    (void)manager.CreateTestObject("Box");
    TestAnimated* again = manager.CreateTestObject("Box");
    EXPECT_STREQ("Model::Box1", again->GetName());
}

TEST(KQoxSdkManagerTest, DestroyingTwiceOrForeignObjectsChangesNothing)
{
    TestManager manager;
    TestManager other;
    KQoxUserProperty* property = manager.CreateKQoxUserProperty("Weight", "Real", "Weight");
    KQoxThumbnail* thumbnail = manager.CreateKQoxThumbnail();
    KQoxSceneInfo* info = manager.CreateKQoxSceneInfo();
    TestAnimated* object = manager.CreateTestObject("Box");
    KQoxUserProperty* foreign = other.CreateKQoxUserProperty("Foreign", "Bool", "");

    EXPECT_FALSE(manager.DestroyKQoxUserProperty(foreign));
    EXPECT_STREQ("Object not found", manager.GetLastErrorString());
    EXPECT_EQ(1, manager.GetKQoxUserPropertyCount());
    EXPECT_EQ(1, other.GetKQoxUserPropertyCount());

    EXPECT_TRUE(manager.DestroyKQoxUserProperty(property));
    EXPECT_TRUE(manager.DestroyKQoxThumbnail(thumbnail));
    EXPECT_TRUE(manager.DestroyKQoxSceneInfo(info));
    TestAnimated::sDestructCalls = 0;
    EXPECT_TRUE(manager.DestroyTestObject(object));
    EXPECT_EQ(1, TestAnimated::sDestructCalls);

    // Each second attempt fails alike and changes nothing.
    const bool second[] = {manager.DestroyKQoxUserProperty(property), manager.DestroyKQoxThumbnail(thumbnail),
                           manager.DestroyKQoxSceneInfo(info), manager.DestroyTestObject(object),
                           manager.DestroyKQoxThumbnail(nullptr)};
    for (bool destroyed : second)
        EXPECT_FALSE(destroyed);
    EXPECT_STREQ("Object not found", manager.GetLastErrorString());
    EXPECT_EQ(0, manager.GetKQoxUserPropertyCount() + manager.GetTestObjectCount());
}

TEST(KQoxSdkManagerTest, UserPropertyCreationNeedsNameAndLabel)
{
    KQoxSdkManager manager;
    EXPECT_EQ(nullptr, manager.CreateKQoxUserProperty(nullptr, "Real", "Label"));
    EXPECT_EQ(nullptr, manager.CreateKQoxUserProperty("Name", "Real", nullptr));
    EXPECT_EQ(nullptr, manager.CreateKQoxUserProperty(static_cast<KProperty*>(nullptr)));
    EXPECT_EQ(0, manager.GetKQoxUserPropertyCount());
    EXPECT_EQ(-1, manager.GetLastErrorID()); // a failed allocation sets no error

    KQoxUserProperty* a = manager.CreateKQoxUserProperty("Speed", "Real", "");
    KQoxUserProperty* b = manager.CreateKQoxUserProperty("Speed", "Integer", "");
    EXPECT_EQ(a, manager.FindKQoxUserProperty("Speed"));
    EXPECT_NE(b, manager.FindKQoxUserProperty("Speed"));
    EXPECT_EQ(nullptr, manager.FindKQoxUserProperty("speed"));
    EXPECT_EQ(nullptr, manager.FindKQoxUserProperty(nullptr));
    EXPECT_EQ(-1, manager.GetLastErrorID()); // absence sets no error here
}

TEST(KQoxSdkManagerTest, ClearEmptiesEveryListAndCreationGoesOn)
{
    TestManager manager;
    for (int i = 0; i < 3; ++i)
    {
        manager.CreateKQoxUserProperty("P", "Real", "P");
        manager.CreateKQoxThumbnail();
        manager.CreateKQoxSceneInfo();
    }
    manager.Clear();
    const int counts[] = {
        manager.GetKQoxSceneCount(),          manager.GetKQoxNodeCount(),      manager.GetKQoxNodeAttributeCount(),
        manager.GetKQoxLinkCount(),           manager.GetKQoxMaterialCount(),  manager.GetKQoxShapeCount(),
        manager.GetKQoxTextureCount(),        manager.GetKQoxVideoCount(),     manager.GetKQoxPoseCount(),
        manager.GetKQoxUserPropertyCount(),   manager.GetKQoxThumbnailCount(), manager.GetKQoxSceneInfoCount(),
        manager.GetKQoxGenericNodeCount(),    manager.GetKQoxDeformerCount(),  manager.GetKQoxGeometryConverterCount(),
        manager.GetKQoxImageConverterCount(), manager.GetKQoxExporterCount(),  manager.GetKQoxImporterCount()};
    for (int count : counts)
        EXPECT_EQ(0, count);
    EXPECT_EQ(nullptr, manager.GetKQoxNode(0));
    EXPECT_NE(nullptr, manager.CreateKQoxSceneInfo());
    EXPECT_EQ(1, manager.GetKQoxSceneInfoCount());
}

TEST(KQoxSdkManagerTest, LibraryStaysStartedWhileTheProgramIsLoaded)
{
    // The loaded program is one user.
    EXPECT_EQ(1, KQoxSdkManager::GetManagerRefCount());
    const int libraryStarts = KBaseLib_GetRefCount();
    EXPECT_GE(libraryStarts, 1);
    {
        std::unique_ptr<KQoxSdkManager> a(KQoxSdkManager::CreateKQoxSdkManager());
        EXPECT_EQ(2, KQoxSdkManager::GetManagerRefCount());
        std::unique_ptr<KQoxSdkManager> b(new TestManager);
        EXPECT_EQ(3, KQoxSdkManager::GetManagerRefCount());
        a.reset();
        EXPECT_EQ(2, KQoxSdkManager::GetManagerRefCount());
        EXPECT_EQ(libraryStarts, KBaseLib_GetRefCount()); // managers never start it again
    }
    EXPECT_EQ(1, KQoxSdkManager::GetManagerRefCount());
    EXPECT_EQ(libraryStarts, KBaseLib_GetRefCount());
    // Managers made and dropped in turn never shut the library down.
    for (int i = 0; i < 3; ++i)
        delete KQoxSdkManager::CreateKQoxSdkManager();
    EXPECT_EQ(libraryStarts, KBaseLib_GetRefCount());
}

TEST(KQoxSdkManagerTest, ManagersMadeAndDroppedOnThreads)
{
    // Three threads make and drop managers (with nodes, whose recursive
    // destruction counts its nesting) at once; at the end only the program
    // uses the library, which was never shut down or started again. A fourth
    // registers and drops a data type meanwhile: each time the node threads
    // look their channel types up afresh, as the first nodes of a program do,
    // and those lookups sort the registry anew.
    const int libraryStarts = KBaseLib_GetRefCount();
    std::atomic<int> churning{3};
    auto churn = [&churning] {
        for (int i = 0; i < 20000; ++i)
        {
            std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
            if (i % 8 != 0)
                continue;
            KQoxNode* parent = manager->CreateKQoxNode("Parent");
            KQoxNode* child = parent;
            for (int depth = 0; depth < 4; ++depth)
            {
                KQoxNode* next = manager->CreateKQoxNode("Child");
                child->AddChild(next);
                child = next;
            }
            manager->DestroyKQoxNode(parent, true);
        }
        --churning;
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back(churn);
    threads.emplace_back([&churning] {
        while (churning > 0)
        {
            KDataType registered("A Registered Type");
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
    });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(1, KQoxSdkManager::GetManagerRefCount());
    EXPECT_EQ(libraryStarts, KBaseLib_GetRefCount());
    EXPECT_NE(nullptr, KMemoryReusePool::GetDefault());
    EXPECT_EQ(KDataTypeLclTranslation::DataType, KDataTypeGet("Lcl Translation"));
    EXPECT_EQ(nullptr, KDataTypeGet("A Registered Type"));
}

TEST(KQoxSdkManagerTest, ObjectsOutliveNoManagerAndListsScale)
{
    // 100,000 objects: created, found by name, destroyed in an interleaved
    // order, and whatever is left goes with the manager.
    const int count = 100000;
    auto manager = std::make_unique<TestManager>();
    std::vector<TestAnimated*> objects;
    objects.reserve(count);
    for (int i = 0; i < count; ++i)
        objects.push_back(manager->CreateTestObject(("N" + std::to_string(i)).c_str(), false));
    EXPECT_EQ(count, manager->GetTestObjectCount());
    EXPECT_EQ(objects[count - 1], manager->FindTestObject(("N" + std::to_string(count - 1)).c_str(), 0));
    for (int i = 0; i < count; i += 2)
        ASSERT_TRUE(manager->DestroyTestObject(objects[i]));
    EXPECT_EQ(count / 2, manager->GetTestObjectCount());
    EXPECT_EQ(objects[1], manager->GetTestObject(0));
    EXPECT_EQ(objects[count - 1], manager->GetTestObject(count / 2 - 1));
    EXPECT_EQ(nullptr, manager->FindTestObject("N0", 0));
    EXPECT_EQ(objects[99], manager->FindTestObject("N99", 0));
    manager.reset();
}

// The byte count of every size code in both data formats.
TEST(KQoxThumbnailMembersTest, SizeInBytesPerSizeCodeAndFormat)
{
    const struct
    {
        int mFormat, mSize;
        unsigned long mBytes;
    } rows[] = {{0, 64, 12288},  {1, 64, 16384}, {0, 128, 49152}, {1, 128, 65536}, {7, 128, 65536},
                {-1, 64, 16384}, {0, 0, 0},      {1, 32, 0},      {0, 256, 0},     {1, -64, 0}};
    for (const auto& row : rows)
    {
        KQoxThumbnailMembers members;
        EXPECT_EQ(0, members.mFormat);
        EXPECT_EQ(0, members.mSize);
        EXPECT_EQ(nullptr, members.mImage.get());
        members.mFormat = row.mFormat;
        members.mSize = row.mSize;
        EXPECT_EQ(row.mBytes, members.GetSizeInByte()) << row.mFormat << " " << row.mSize;
        // The thumbnail allocates exactly that many bytes for the same codes.
        KQoxThumbnail thumbnail;
        thumbnail.SetDataFormat(row.mFormat);
        thumbnail.SetSize(row.mSize);
        EXPECT_EQ(row.mBytes, thumbnail.GetSizeInBytes());
        EXPECT_EQ(row.mBytes == 0, thumbnail.GetThumbnailImage() == nullptr);
    }
}
