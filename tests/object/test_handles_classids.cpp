// Weak handles, the handle table, class ids and plug filters.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/kmemorypool.h"
#include "object/kbaselib.h"
#include "object/kobjectlist.h"
#include "object/kproperty.h"
#include "object_test_helpers.h"
#include "common/qox_test_threads.h"

TEST(PlugHandles, HandleReadsNullAfterDestroyEvenWhenEntryIsReused)
{
    KObject* a = new KObject();
    HdlKObject ha(a);
    KHdlEntry* entry = ha.GetEntry();
    a->Destroy(0);
    EXPECT_EQ(ha.Get(), nullptr);
    EXPECT_EQ(entry->mSerial, GlobalPlugDeadId);
    // Entries are handed out last-freed-first, with a new, higher serial.
    KObject* b = new KObject();
    HdlKObject hb(b);
    EXPECT_EQ(hb.GetEntry(), entry);
    EXPECT_GT(hb.GetSerial(), ha.GetSerial());
    EXPECT_EQ(ha.Get(), nullptr);
    EXPECT_EQ(hb.Get(), b);
    EXPECT_NE(ha, hb);
    EXPECT_EQ(hb, HdlKObject(b));
    // Equality and search need entry and serial both.
    HdlKObject sameEntryOtherSerial(HdlKPlug(hb.GetSerial() + 1, hb.GetEntry()));
    KArrayTemplate<HdlKObject> handles(16);
    handles.Add(hb);
    EXPECT_EQ(handles.Find(hb), 0);
    EXPECT_EQ(handles.Find(sameEntryOtherSerial), -1);
    b->Destroy(0);
    // A null plug gives the empty handle.
    EXPECT_TRUE(HdlKPlug(static_cast<KPlug*>(nullptr)).IsEmpty());
    EXPECT_EQ(HdlKObject(static_cast<KObject*>(nullptr)), HdlNull);

    // A new block comes when every entry is taken; freed entries are reused first.
    KHdlManager* table = GetGlobal_ObjectHdlManager();
    int blocks = table->GetBlockCount();
    std::vector<KPlug*> plugs;
    // Tests run before in the same process may have left any number of
    // entries free: every one of them is taken before a new block comes.
    const size_t limit = static_cast<size_t>(blocks + 1) * KHdlManager::kBlockEntries;
    while (table->GetBlockCount() == blocks && plugs.size() < limit)
        plugs.push_back(new KPlug());
    EXPECT_EQ(table->GetBlockCount(), blocks + 1);
    for (KPlug* p : plugs)
        p->Destroy(0);
    for (KPlug*& p : plugs)
        p = new KPlug();
    EXPECT_EQ(table->GetBlockCount(), blocks + 1);
    for (KPlug* p : plugs)
        p->Destroy(0);
}

// The handle table disappears only when every plug is gone and the plug
// library has ended; that tears down process-wide state, so it runs in a child.
TEST(PlugHandlesDeathTest, HandlesStayReadableAfterTheTableIsDestroyed)
{
    EXPECT_EXIT(
        {
            KPlug* plug = new KPlug();
            HdlKPlug hdl(plug);
            HdlKPlug filterHdl(KPlug_GetFilter(KObject::ClassId));
            bool ok = filterHdl.Get() != nullptr && HdlManagerExists();
            plug->Destroy(0);
            KPlug_Init();
            KPlug_Terminate(); // destroys the filters: no plug is left
            ok = ok && KPlug_GetLivingCount() == 0 && !HdlManagerExists();
            ok = ok && hdl.Get() == nullptr && filterHdl.Get() == nullptr;
            ok = ok && KPlug_GetFilter(KObject::ClassId) == nullptr;
            // A new plug builds a new table from the kept blocks.
            KPlug* again = new KPlug();
            ok = ok && HdlManagerExists() && hdl.Get() == nullptr && HdlKPlug(again).Get() == again;
            again->Destroy(0);
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(ClassIds, IdsAndParentChain)
{
    EXPECT_EQ(KObject::ClassId, 1);
    EXPECT_EQ(KPlug::ClassId, 2);
    EXPECT_EQ(KPlug_GetClassId("KObject"), 1);
    EXPECT_EQ(KPlug_GetClassId("KPlug"), 2);
    EXPECT_EQ(KPlug_GetClassId("kobject"), 1); // names compare without regard to case
    EXPECT_EQ(KPlug_GetClassId("NeverRegisteredClass"), 0);
    EXPECT_EQ(KPlug_GetClassId("KDataPlug"), KDataPlug::ClassId);
    EXPECT_EQ(KPlug_GetClassDefinition(1), &KObject::ClassDefinition);
    EXPECT_EQ(KPlug_GetClassDefinition(2), &KPlug::ClassDefinition);
    EXPECT_EQ(KPlug_GetClassDefinition(-1)->mName, std::string("None"));
    EXPECT_EQ(KPlug_GetClassDefinition(100000), nullptr);
    EXPECT_EQ(KPlug_GetFilter(100000), nullptr);
    // Automatic ids start at 3 and are distinct.
    std::vector<int> ids = {
        KPlugList::ClassId,          KDataPlug::ClassId,   KPlugFilter::ClassId, KClassIdFilter::ClassId,
        KGenericObjectList::ClassId, KObjectList::ClassId, KProperty::ClassId,   TPlug::ClassId,
        TOtherPlug::ClassId,         TObject::ClassId};
    std::set<int> distinct(ids.begin(), ids.end());
    EXPECT_EQ(distinct.size(), ids.size());
    EXPECT_EQ(*std::min_element(ids.begin(), ids.end()), 3);
    // The plug unit registers its classes in a fixed order.
    EXPECT_TRUE(KPlugList::ClassId < KDataPlug::ClassId && KDataPlug::ClassId < KPlugFilter::ClassId &&
                KPlugFilter::ClassId < KClassIdFilter::ClassId && KGenericObjectList::ClassId < KObjectList::ClassId);

    static int newId = 0;
    static KClassDefinition def = {&newId, &KPlug::ClassDefinition, "ClassIdsTestClass", nullptr};
    int id = KPlug_RegisterClassId(&def, -1);
    EXPECT_GT(id, *std::max_element(ids.begin(), ids.end()));
    EXPECT_EQ(newId, id);
    EXPECT_EQ(KPlug_GetClassId("ClassIdsTestClass"), id);
    ASSERT_NE(def.mFilter, nullptr);
    EXPECT_EQ(KPlug_GetFilter(id), def.mFilter);
    EXPECT_EQ(KPlug_RegisterSDKClassId("ClassIdsSdkName"), id + 1);
    EXPECT_EQ(KPlug_GetClassId("ClassIdsSdkName"), id + 1);
    EXPECT_EQ(KPlug_RegisterClassGroupId("Model", 7), 7);
    int g = KPlug_RegisterClassGroupId("Model", -1);
    EXPECT_EQ(KPlug_RegisterClassGroupId("Other", -1), g + 1);

    // Is follows the parent chain.
    TOtherPlug other;
    KDataPlug data;
    KObjectList list;
    EXPECT_TRUE(other.Is(TOtherPlug::ClassId) && other.Is(TPlug::ClassId) && other.Is(KPlug::ClassId));
    EXPECT_FALSE(other.Is(KObject::ClassId));
    EXPECT_TRUE(data.Is(KDataPlug::ClassId) && data.Is(KPlug::ClassId));
    EXPECT_TRUE(list.Is(KGenericObjectList::ClassId) && list.Is(KObject::ClassId) && list.Is(KPlug::ClassId));
    EXPECT_FALSE(list.Is(KDataPlug::ClassId));
    EXPECT_STREQ(other.GetClassIdName(), "TOtherPlug");
    EXPECT_EQ(data.GetClassGroupId(), 2);
    EXPECT_EQ(list.GetClassGroupId(), 1);
}

TEST(ClassIds, RegisteredAndLookedUpFromThreadsAtOnce)
{
    // Threads let go together look classes up and register their own, as
    // plug-ins do at run time. A lookup sorts what was added since the last
    // one, so each round first registers a name out of order (before the
    // "K" names), and every thread's first lookup finds it so.
    const int threadCount = 4;
    const int rounds = 100;
    std::deque<int> classIds;
    std::deque<KClassDefinition> definitions;
    std::deque<std::string> names; // registration keeps the pointer
    std::atomic<int> failures{0};
    std::vector<std::pair<std::string, int>> registered;
    for (int round = 0; round < rounds && failures == 0; ++round)
    {
        std::string unsorted = "A Threaded Round " + std::to_string(round);
        int unsortedId = KPlug_RegisterSDKClassId(unsorted.c_str());
        std::vector<std::vector<std::pair<std::string, int>>> own(threadCount);
        for (int t = 0; t < threadCount; ++t)
        {
            classIds.push_back(0);
            names.push_back("Threaded Class " + std::to_string(round) + "." + std::to_string(t));
            definitions.push_back({&classIds.back(), &KPlug::ClassDefinition, names.back().c_str(), nullptr});
        }
        qoxtest::RunAtOnce(threadCount, [&](int t) {
            bool right = KPlug_GetClassId(unsorted.c_str()) == unsortedId && KPlug_GetClassId("KObject") == 1;
            KClassDefinition& definition = definitions[definitions.size() - threadCount + t];
            int id = KPlug_RegisterClassId(&definition, -1);
            own[t].emplace_back(definition.mName, id);
            for (int i = 0; i < 3; ++i)
            {
                std::string name = "Threaded Name " + std::to_string(round) + "." + std::to_string(t * 3 + i);
                own[t].emplace_back(name, KPlug_RegisterSDKClassId(name.c_str()));
            }
            for (const auto& entry : own[t])
                right = right && KPlug_GetClassId(entry.first.c_str()) == entry.second;
            right = right && KPlug_GetFilter(id) == definition.mFilter && definition.mFilter &&
                    KPlug_GetClassDefinition(id) == &definition && KPlug_GetClassId("KPlug") == 2;
            if (!right)
                ++failures;
        });
        registered.emplace_back(unsorted, unsortedId);
        for (const auto& list : own)
            registered.insert(registered.end(), list.begin(), list.end());
    }
    EXPECT_EQ(0, failures);
    // Every name once, under an id of its own.
    std::set<int> ids;
    for (const auto& entry : registered)
    {
        EXPECT_EQ(entry.second, KPlug_GetClassId(entry.first.c_str())) << entry.first;
        ids.insert(entry.second);
    }
    EXPECT_EQ(registered.size(), ids.size());
}

TEST(ClassIds, FiltersAcceptTheirClassAndSubclasses)
{
    KPlugFilter* none = KPlug_GetFilter(-1);
    KPlugFilter* objects = KPlug_GetFilter(KObject::ClassId);
    ASSERT_NE(none, nullptr);
    ASSERT_NE(objects, nullptr);
    TObject object;
    KObjectList list;
    KPropertyTemplate<double> property;
    EXPECT_TRUE(none->Is(static_cast<KPlug*>(nullptr)) && none->Is(&property));
    EXPECT_TRUE(objects->Is(&object) && objects->Is(&list));
    EXPECT_FALSE(objects->Is(static_cast<KPlug*>(nullptr)) || objects->Is(&property));
    KClassIdFilter same(KObject::ClassId);
    EXPECT_TRUE(objects->IsEqual(&same));
    EXPECT_FALSE(objects->IsEqual(none));
    EXPECT_FALSE(objects->IsEqual(nullptr));
    KPlugFilter bare;
    EXPECT_FALSE(bare.Is(&object));
    EXPECT_FALSE(bare.IsEqual(&bare));
    EXPECT_EQ(KPlug().GetFilter(), none); // a plug takes the "None" filter at construction
}

TEST(BaseLibDeathTest, InitAndTerminateAreCounted)
{
    EXPECT_EXIT(
        {
            bool ok = KBaseLib_Init() && KBaseLib_Init();
            ok = ok && KBaseLib_GetRefCount() == 2 && KPlug_GetInitialisationCount() == 1;
            ok = ok && KMemoryReusePool::GetDefault() != nullptr;
            KBaseLib_Terminate();
            // Still up.
            ok = ok && KBaseLib_GetRefCount() == 1 && KMemoryReusePool::GetDefault() != nullptr;
            ok = ok && KPlug_GetFilter(KObject::ClassId) != nullptr && KPlug_GetInitialisationCount() == 1;
            KBaseLib_Terminate();
            // Pools first, then the plug system.
            ok = ok && KBaseLib_GetRefCount() == 0 && KMemoryReusePool::GetDefault() == nullptr;
            ok = ok && KPlug_GetInitialisationCount() == 0 && KPlug_GetFilter(KObject::ClassId) == nullptr;
            ok = ok && KPlug_GetClassId("KObject") == 0;
            // An unmatched call changes nothing.
            KBaseLib_Terminate();
            ok = ok && KBaseLib_GetRefCount() == 0;
            if (!ok)
                fprintf(stderr, "counting failed\n");
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
