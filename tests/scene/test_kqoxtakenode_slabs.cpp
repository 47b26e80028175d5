// Take nodes made in bulk (KFCurveGroupSlabs open, as a file read side by
// side makes them): they and their channel trees come from slabs, end on
// any thread in any order, copy to and from heap ones, and the slabs go
// back to the system with the last of them.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "fcurve/kfcurve_internal.h"
#include "fcurve/kfcurvegroup.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"
#include "scene_test_helpers.h"

using namespace qoxsdk_600;
using kfcurve_detail::IsGroupMember;
using scenetest::AddKey;
using scenetest::BuildTransform;

namespace {

const void* SlabOf(const void* member)
{
    return reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(member) & ~((uintptr_t(2) << 20) - 1));
}

// Whether the page at address is mapped.
bool Mapped(const void* address)
{
    const uintptr_t page = reinterpret_cast<uintptr_t>(address) & ~(static_cast<uintptr_t>(sysconf(_SC_PAGESIZE)) - 1);
    return msync(reinterpret_cast<void*>(page), 1, MS_ASYNC) == 0 || errno != ENOMEM;
}

} // namespace

TEST(KQoxTakeNodeSlabs, AHundredThousandMadeInBulkAndDestroyed)
{
    const int count = 100000;
    std::vector<KQoxTakeNode*> takes(static_cast<size_t>(count));
    std::vector<const void*> slabs;
    {
        KFCurveGroupSlabs open;
        for (int i = 0; i < count; ++i)
        {
            KQoxTakeNode* take = new KQoxTakeNode(("Take" + std::to_string(i)).c_str());
            // Every tenth with a channel and a key.
            if (i % 10 == 0)
            {
                KFCurveNode* channel = KFCurveNodeCreate("X");
                channel->FCurveSet(KFCurveCreate());
                AddKey(channel->FCurveGet(), i, static_cast<float>(i));
                take->GetKFCurveNode()->Add(channel);
            }
            takes[static_cast<size_t>(i)] = take;
            if (slabs.empty() || slabs.back() != SlabOf(take))
                slabs.push_back(SlabOf(take));
        }
    }
    ASSERT_GE(slabs.size(), 2u);
    for (int i = 0; i < count; i += 997)
    {
        KQoxTakeNode* take = takes[static_cast<size_t>(i)];
        EXPECT_TRUE(IsGroupMember(take));
        EXPECT_EQ(("Take" + std::to_string(i)), take->GetName());
        EXPECT_STREQ("Defaults", take->GetKFCurveNode()->GetName());
        if (i % 10 == 0)
        {
            ASSERT_EQ(1, take->GetKFCurveNode()->GetCount());
            EXPECT_EQ(static_cast<float>(i), take->GetKFCurveNode()->Get(0)->FCurveGet()->KeyGetValue(0));
        }
    }
    // Odd ones ended on another thread, last first; even ones here.
    std::thread other([&takes] {
        for (long i = static_cast<long>(takes.size()) - 1; i >= 1; i -= 2)
            delete takes[static_cast<size_t>(i)];
    });
    for (size_t i = 0; i < takes.size(); i += 2)
        delete takes[i];
    other.join();
    for (const void* slab : slabs)
        EXPECT_FALSE(Mapped(slab));
}

TEST(KQoxTakeNodeSlabs, CopiesBetweenSlabsAndHeap)
{
    KQoxTakeNode heap("Heap");
    BuildTransform(heap.GetKFCurveNode());
    AddKey(heap.GetTranslationX(), 0, 1.5f);
    AddKey(heap.GetTranslationX(), 100, 2.5f);
    KQoxTakeNode* copy;
    KQoxTakeNode* slabOne;
    {
        KFCurveGroupSlabs open;
        copy = new KQoxTakeNode(heap);
        slabOne = new KQoxTakeNode("Slab");
        BuildTransform(slabOne->GetKFCurveNode());
        AddKey(slabOne->GetEulerRotationZ(), 5, -7.0f);
    }
    EXPECT_TRUE(IsGroupMember(copy));
    const void* slab = SlabOf(copy);
    // A heap copy of a slab take node.
    KQoxTakeNode* back = new KQoxTakeNode(*slabOne);
    EXPECT_FALSE(IsGroupMember(back));
    delete slabOne;
    ASSERT_NE(nullptr, copy->GetTranslationX());
    EXPECT_EQ(2, copy->GetTranslationX()->KeyGetCount());
    EXPECT_EQ(2.5f, copy->GetTranslationX()->KeyGetValue(1));
    ASSERT_NE(nullptr, back->GetEulerRotationZ());
    EXPECT_EQ(-7.0f, back->GetEulerRotationZ()->KeyGetValue(0));
    // Keys added after the slabs closed.
    AddKey(copy->GetTranslationX(), 200, 3.5f);
    EXPECT_EQ(3, copy->GetTranslationX()->KeyGetCount());
    EXPECT_TRUE(Mapped(slab));
    std::thread([copy] { delete copy; }).join();
    EXPECT_FALSE(Mapped(slab));
    delete back;
}

TEST(KQoxTakeNodeSlabs, TakeNodesOfNodesMadeOnOtherThreads)
{
    // As a read side by side does: take nodes of a manager's nodes made on
    // threads with slabs open, the nodes ended with the manager.
    std::vector<const void*> slabs;
    {
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        std::vector<KQoxNode*> nodes;
        for (int i = 0; i < 400; ++i)
        {
            nodes.push_back(manager.CreateKQoxNode(("N" + std::to_string(i)).c_str()));
            scene.GetRootNode()->AddChild(nodes.back());
        }
        std::vector<std::thread> threads;
        std::vector<const void*> made(4);
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&nodes, &made, t] {
                KFCurveGroupSlabs open;
                for (size_t i = static_cast<size_t>(t); i < nodes.size(); i += 4)
                {
                    KQoxTakeNode* take = nodes[i]->CreateTakeNode("Walk");
                    AddKey(take->GetTranslationX(), 0, static_cast<float>(i));
                    made[static_cast<size_t>(t)] = SlabOf(take);
                }
            });
        for (std::thread& thread : threads)
            thread.join();
        slabs = made;
        for (size_t i = 0; i < nodes.size(); ++i)
        {
            // The Default take, then "Walk".
            ASSERT_EQ(2, nodes[i]->GetTakeNodeCount());
            const int t = 1;
            EXPECT_STREQ("Walk", nodes[i]->GetTakeNodeName(t));
            EXPECT_TRUE(IsGroupMember(nodes[i]->GetTakeNode(t)));
            EXPECT_EQ(static_cast<float>(i), nodes[i]->GetTakeNode(t)->GetTranslationX()->KeyGetValue(0));
        }
        for (const void* slab : slabs)
            EXPECT_TRUE(Mapped(slab));
    }
    for (const void* slab : slabs)
        EXPECT_FALSE(Mapped(slab));
}
