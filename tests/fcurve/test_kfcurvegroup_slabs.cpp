// Slabs for channel trees made in bulk (KFCurveGroupSlabs): what is made
// while they are open lies in blocks cut from them, ends in any order, on
// any thread, before or after the slabs close, and a slab goes back to the
// system with the last block cut from it (the sanitizer build reports any
// use of a member that ended). Key storage grows and shrinks in them as on
// the heap, and its count (GetRecordingMemory) stays exact on every thread.

#include "fcurve_test_util.h"

#include "fcurve/kfcurve_internal.h"
#include "fcurve/kfcurvegroup.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <utility>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

using namespace fctest;
using kfcurve_detail::IsGroupMember;
using kfcurve_detail::SameGroup;

namespace {

// The size and alignment of a slab.
const uintptr_t kSlab = uintptr_t(2) << 20;

const void* SlabOf(const void* member)
{
    return reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(member) & ~(kSlab - 1));
}

// Whether the page at address is mapped.
bool Mapped(const void* address)
{
    const uintptr_t page = reinterpret_cast<uintptr_t>(address) & ~(static_cast<uintptr_t>(sysconf(_SC_PAGESIZE)) - 1);
    return msync(reinterpret_cast<void*>(page), 1, MS_ASYNC) == 0 || errno != ENOMEM;
}

// A vector channel "T" (X, Y, Z with curves of values base + i, X keyed
// count times), made in a scope of its own as the reader makes them.
KFCurveNode* MakeVector(float base, int count = 2)
{
    static const char* const kAxes[3] = {"X", "Y", "Z"};
    KFCurveGroupScope scope(KFCurveGroupScope::NodeBytes() + KFCurveGroupScope::ChildrenBytes(3) +
                            3 * (KFCurveGroupScope::NodeBytes() + KFCurveGroupScope::CurveBytes()));
    KFCurveNode* vector = KFCurveNodeCreate("T", static_cast<KDataType*>(nullptr), KFCL_ADD, 0);
    for (int i = 0; i < 3; ++i)
    {
        KFCurveNode* member = KFCurveNodeCreate(kAxes[i]);
        KFCurve* curve = KFCurveCreate();
        curve->SetValue(base + static_cast<float>(i));
        if (i == 0)
        {
            curve->KeyModifyBegin();
            for (int k = 0; k < count; ++k)
                curve->KeyAppendFast(Sec(k), base + static_cast<float>(k));
            curve->KeyModifyEnd();
        }
        member->FCurveSet(curve);
        vector->Add(member);
    }
    return vector;
}

void ExpectVector(KFCurveNode* vector, float base, int count = 2)
{
    ASSERT_EQ(vector->GetCount(), 3);
    EXPECT_STREQ(vector->GetName(), "T");
    EXPECT_STREQ(vector->Get(2)->GetName(), "Z");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(vector->Get(i)->FCurveGet()->GetValue(), base + static_cast<float>(i));
    KFCurve* x = vector->Get(0)->FCurveGet();
    ASSERT_EQ(x->KeyGetCount(), count);
    for (int k = 0; k < count; ++k)
        EXPECT_EQ(x->KeyGetValue(k), base + static_cast<float>(k));
}

} // namespace

TEST(KFCurveGroupSlabs, OpenNestAndClose)
{
    EXPECT_EQ(KFCurveGroupSlabs::Open(), nullptr);
    {
        KFCurveGroupSlabs outer;
        EXPECT_EQ(KFCurveGroupSlabs::Open(), &outer);
        {
            KFCurveGroupSlabs inner;
            EXPECT_EQ(KFCurveGroupSlabs::Open(), &inner);
            // Another thread has none open.
            std::thread([] { EXPECT_EQ(KFCurveGroupSlabs::Open(), nullptr); }).join();
        }
        EXPECT_EQ(KFCurveGroupSlabs::Open(), &outer);
    }
    EXPECT_EQ(KFCurveGroupSlabs::Open(), nullptr);
    // Slabs opened and closed without a block cut leave nothing behind.
}

TEST(KFCurveGroupSlabs, MembersComeFromTheSlabOnlyWhileOpen)
{
    KFCurveNode* grouped;
    KFCurveNode* lone;
    KFCurve* curve;
    void* bulk;
    {
        KFCurveGroupSlabs slabs;
        grouped = MakeVector(1.0f);
        // Made with no scope open: a block of its own, in the same slab.
        lone = KFCurveNodeCreate("Lone");
        curve = KFCurveCreate();
        bulk = KFCurveGroupSlabs::New(40);
    }
    KFCurveNode* heap = MakeVector(2.0f);
    KFCurveNode* heapLone = KFCurveNodeCreate("HeapLone");
    void* heapBulk = KFCurveGroupSlabs::New(40);

    EXPECT_TRUE(IsGroupMember(grouped));
    EXPECT_TRUE(IsGroupMember(lone));
    EXPECT_TRUE(IsGroupMember(curve));
    EXPECT_TRUE(IsGroupMember(bulk));
    EXPECT_FALSE(SameGroup(lone, curve));
    EXPECT_EQ(SlabOf(grouped), SlabOf(lone));
    EXPECT_EQ(SlabOf(grouped), SlabOf(bulk));
    // Without slabs: the scope's block (a group member) from the heap, lone
    // members from the heap.
    EXPECT_TRUE(IsGroupMember(heap));
    EXPECT_FALSE(IsGroupMember(heapLone));
    EXPECT_FALSE(IsGroupMember(heapBulk));
    EXPECT_NE(SlabOf(grouped), SlabOf(heap));

    const void* slab = SlabOf(grouped);
    EXPECT_TRUE(Mapped(slab));
    ExpectVector(grouped, 1.0f);
    ExpectVector(heap, 2.0f);
    grouped->Destroy();
    lone->Destroy();
    curve->Destroy();
    EXPECT_TRUE(Mapped(slab)); // bulk still lives there
    std::memset(bulk, 0x5A, 40);
    KFCurveGroupSlabs::Delete(bulk, 40);
    EXPECT_FALSE(Mapped(slab));
    heap->Destroy();
    heapLone->Destroy();
    KFCurveGroupSlabs::Delete(heapBulk, 40);
}

TEST(KFCurveGroupSlabs, BlocksEndedWhileTheSlabIsCutKeepIt)
{
    // Members ending before the slabs close bring the slab's count to zero
    // on no account: it is still being cut.
    const void* slab = nullptr;
    std::vector<KFCurveNode*> kept;
    {
        KFCurveGroupSlabs slabs;
        for (int i = 0; i < 50; ++i)
        {
            KFCurveNode* vector = MakeVector(static_cast<float>(i));
            slab = SlabOf(vector);
            vector->Destroy();
        }
        EXPECT_TRUE(Mapped(slab));
        for (int i = 0; i < 50; ++i)
            kept.push_back(MakeVector(static_cast<float>(i)));
        EXPECT_EQ(SlabOf(kept.front()), slab);
        // Ended on another thread while the slab is open.
        std::thread([&kept] {
            for (size_t i = 0; i < kept.size(); i += 2)
                kept[i]->Destroy();
        }).join();
        EXPECT_TRUE(Mapped(slab));
    }
    EXPECT_TRUE(Mapped(slab));
    for (size_t i = 1; i < kept.size(); i += 2)
        ExpectVector(kept[i], static_cast<float>(i));
    for (size_t i = 1; i < kept.size(); i += 2)
        kept[i]->Destroy();
    EXPECT_FALSE(Mapped(slab));
}

TEST(KFCurveGroupSlabs, ManySlabsEndInAnyOrderOnAnyThread)
{
    // Enough trees for several slabs, ended in a shuffled order by four
    // threads, some members taken out of their trees and ended apart.
    const int count = 20000;
    std::vector<KFCurveNode*> trees(static_cast<size_t>(count));
    std::vector<const void*> slabs;
    {
        KFCurveGroupSlabs open;
        for (int i = 0; i < count; ++i)
        {
            trees[static_cast<size_t>(i)] = MakeVector(static_cast<float>(i % 1000), 1 + i % 3);
            const void* slab = SlabOf(trees[static_cast<size_t>(i)]);
            if (slabs.empty() || slabs.back() != slab)
                slabs.push_back(slab);
        }
    }
    ASSERT_GE(slabs.size(), 3u);
    // Members "Y" taken out, with the value their curve holds.
    std::vector<std::pair<KFCurveNode*, float>> members;
    for (int i = 0; i < count; i += 7)
    {
        KFCurveNode* tree = trees[static_cast<size_t>(i)];
        members.emplace_back(tree->Get(1), static_cast<float>(i % 1000) + 1.0f);
        tree->Remove(1);
    }
    for (int i = 0; i < count; i += 97)
    {
        KFCurveNode* tree = trees[static_cast<size_t>(i)];
        ASSERT_EQ(tree->GetCount(), i % 7 == 0 ? 2 : 3);
        EXPECT_EQ(tree->Get(0)->FCurveGet()->KeyGetCount(), 1 + i % 3);
        EXPECT_EQ(tree->Get(0)->FCurveGet()->GetValue(), static_cast<float>(i % 1000));
    }
    std::mt19937 random(7);
    std::shuffle(trees.begin(), trees.end(), random);
    std::shuffle(members.begin(), members.end(), random);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (size_t i = static_cast<size_t>(t); i < trees.size(); i += 4)
                trees[i]->Destroy();
        });
    for (std::thread& thread : threads)
        thread.join();
    for (const void* slab : slabs)
        EXPECT_TRUE(Mapped(slab));
    for (const auto& [member, value] : members)
    {
        EXPECT_STREQ(member->GetName(), "Y");
        EXPECT_EQ(member->FCurveGet()->GetValue(), value);
        member->Destroy();
    }
    for (const void* slab : slabs)
        EXPECT_FALSE(Mapped(slab));
}

TEST(KFCurveGroupSlabs, SlabAndHeapMembersInOneTree)
{
    // A heap root takes trees from slabs, a slab root takes heap trees;
    // members move between them; each ends with its root.
    KFCurveNode* heapRoot = KFCurveNodeCreate("Heap");
    KFCurveNode* slabRoot;
    const void* slab;
    {
        KFCurveGroupSlabs slabs;
        slabRoot = KFCurveNodeCreate("Slab");
        slab = SlabOf(slabRoot);
        for (int i = 0; i < 8; ++i)
            heapRoot->Add(MakeVector(static_cast<float>(i)));
    }
    for (int i = 0; i < 8; ++i)
        slabRoot->Add(MakeVector(static_cast<float>(100 + i)));
    // Children arrays grew on the heap past the slab's first ones.
    ASSERT_EQ(heapRoot->GetCount(), 8);
    ASSERT_EQ(slabRoot->GetCount(), 8);
    KFCurveNode* moved = heapRoot->Get(3);
    heapRoot->Remove(3);
    slabRoot->Add(moved);
    KFCurveNode* back = slabRoot->Get(0);
    slabRoot->Remove(0);
    heapRoot->Add(back);
    // A curve of a slab tree set into a heap tree.
    KFCurve* curve = heapRoot->Get(0)->Get(2)->FCurveSet(nullptr);
    slabRoot->Get(1)->Get(2)->FCurveSet(curve, true);

    ExpectVector(slabRoot->Get(7), 3.0f);
    ExpectVector(heapRoot->Get(7), 100.0f);
    EXPECT_EQ(slabRoot->Get(1)->Get(2)->FCurveGet()->GetValue(), 2.0f);
    EXPECT_TRUE(Mapped(slab));
    std::thread([slabRoot] { slabRoot->Destroy(); }).join();
    EXPECT_TRUE(Mapped(slab));
    heapRoot->Destroy();
    EXPECT_FALSE(Mapped(slab));
}

TEST(KFCurveGroupSlabs, KeyStorageGrowsAndShrinks)
{
    // A curve of keys added and taken away while the slabs are open, then
    // after, keeping every key; its storage counted exactly.
    const long long before = GetRecordingMemory();
    KFCurve* curve;
    const void* slab;
    auto check = [](KFCurve* c, int count, float offset) {
        ASSERT_EQ(c->KeyGetCount(), count);
        for (int k = 0; k < count; k += 37)
            EXPECT_EQ(c->KeyGetValue(k), static_cast<float>(k) + offset) << k;
        EXPECT_EQ(c->KeyGetValue(count - 1), static_cast<float>(count - 1) + offset);
    };
    {
        KFCurveGroupSlabs slabs;
        curve = KFCurveCreate();
        slab = SlabOf(curve);
        curve->KeyModifyBegin();
        for (int k = 0; k < 3000; ++k)
            curve->KeyAppendFast(Sec(k), static_cast<float>(k));
        curve->KeyModifyEnd();
        check(curve, 3000, 0.0f);
        EXPECT_GT(GetRecordingMemory(), before);
        // Taken down to a few, then up again.
        for (int k = 2999; k >= 10; --k)
            curve->KeyRemove(k);
        curve->KeyShrink();
        check(curve, 10, 0.0f);
        for (int k = 10; k < 1500; ++k)
            curve->KeySet(curve->KeyAdd(Sec(k)), Sec(k), static_cast<float>(k), KFCURVE_INTERPOLATION_LINEAR);
        check(curve, 1500, 0.0f);
    }
    // After the slabs closed: from the heap, the older storage ended.
    for (int k = 1500; k < 5000; ++k)
        curve->KeySet(curve->KeyAdd(Sec(k)), Sec(k), static_cast<float>(k), KFCURVE_INTERPOLATION_LINEAR);
    check(curve, 5000, 0.0f);
    for (int k = 4998; k >= 1; --k)
        curve->KeyRemove(k);
    curve->KeyShrink();
    ASSERT_EQ(curve->KeyGetCount(), 2);
    EXPECT_EQ(curve->KeyGetValue(1), 4999.0f);
    curve->KeyClear();
    EXPECT_EQ(curve->KeyGetCount(), 0);
    EXPECT_TRUE(Mapped(slab));
    // Grown again in another thread's slabs, ended on this one.
    std::thread([curve] {
        KFCurveGroupSlabs slabs;
        curve->KeyModifyBegin();
        for (int k = 0; k < 700; ++k)
            curve->KeyAppendFast(Sec(k), static_cast<float>(k) + 0.5f);
        curve->KeyModifyEnd();
    }).join();
    check(curve, 700, 0.5f);
    curve->Destroy();
    EXPECT_FALSE(Mapped(slab));
    EXPECT_EQ(GetRecordingMemory(), before);
}

TEST(KFCurveGroupSlabs, StorageIsCountedExactlyOnEveryThread)
{
    // Key storage taken and given back by eight threads at once, slabs open
    // on half of them: the count ends where it began, and in between holds
    // what was taken.
    const long long before = GetRecordingMemory();
    const int threads = 8, rounds = 20000;
    std::vector<std::vector<void*>> kept(threads);
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t)
        running.emplace_back([&, t] {
            std::unique_ptr<KFCurveGroupSlabs> slabs(t % 2 ? new KFCurveGroupSlabs : nullptr);
            for (int i = 0; i < rounds; ++i)
            {
                void* p = WatchMalloc(48);
                if (i % 4 == 0)
                    kept[static_cast<size_t>(t)].push_back(p);
                else
                    WatchFree(p, 48);
            }
        });
    for (std::thread& thread : running)
        thread.join();
    EXPECT_EQ(GetRecordingMemory() - before, static_cast<long long>(threads) * (rounds / 4) * 48);
    running.clear();
    for (int t = 0; t < threads; ++t)
        running.emplace_back([&, t] {
            for (void* p : kept[static_cast<size_t>((t + 3) % threads)])
                WatchFree(p, 48);
        });
    for (std::thread& thread : running)
        thread.join();
    EXPECT_EQ(GetRecordingMemory(), before);
}

TEST(KFCurveGroupSlabs, BlocksTooLargeForASlabComeFromTheHeap)
{
    // A scope of more room than a slab gives: its block from the heap, the
    // slab's blocks unaffected.
    KFCurveNode* small;
    KFCurveNode* large;
    {
        KFCurveGroupSlabs slabs;
        small = MakeVector(1.0f);
        KFCurveGroupScope scope(size_t(1) << 20);
        large = KFCurveNodeCreate("Large");
        for (int i = 0; i < 1000; ++i)
            large->Add(KFCurveNodeCreate(std::to_string(i).c_str()));
    }
    EXPECT_TRUE(IsGroupMember(large));
    EXPECT_NE(SlabOf(large), SlabOf(small));
    ASSERT_EQ(large->GetCount(), 1000);
    EXPECT_STREQ(large->Get(999)->GetName(), "999");
    const void* slab = SlabOf(small);
    large->Destroy();
    EXPECT_TRUE(Mapped(slab));
    ExpectVector(small, 1.0f);
    small->Destroy();
    EXPECT_FALSE(Mapped(slab));
}
