// Connection lists of every length: short lists are scanned, long searched
// ones keep a count per plug. Both must give the same orders and lookups,
// through duplicates, insertions before a plug, moves, removals and
// destruction.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>
#include <unordered_set>

#include "object_test_helpers.h"

typedef std::vector<KPlug*> Plugs;

namespace {

// Last position of plug in list, or -1 (what FindSrc answers).
int LastOf(const Plugs& list, KPlug* plug)
{
    for (int i = static_cast<int>(list.size()) - 1; i >= 0; --i)
        if (list[static_cast<size_t>(i)] == plug)
            return i;
    return -1;
}

Plugs OfClass(const Plugs& list, int classId)
{
    Plugs out;
    for (KPlug* plug : list)
        if (plug->Is(classId))
            out.push_back(plug);
    return out;
}

// The destinations of a plug, in order.
Plugs Destinations(KPlug* plug)
{
    Plugs out;
    for (int i = 0; i < plug->GetDstCount(); ++i)
        out.push_back(plug->GetDst(i));
    return out;
}

TPlug* Quiet(TPlug* plug)
{
    plug->mRecord = false;
    return plug;
}

// Checks the destination's sources, its view of one class, every pool plug's
// lookups and each source's count of records against the model.
void ExpectMatches(TPlug& dst, KPlug* view, const Plugs& model, const std::vector<TPlug*>& pool)
{
    ASSERT_EQ(Sources(&dst), model);
    ASSERT_EQ(Sources(view), OfClass(model, TOtherPlug::ClassId));
    for (TPlug* plug : pool)
    {
        ASSERT_EQ(dst.FindSrc(plug), LastOf(model, plug)) << plug->mName;
        ASSERT_EQ(dst.IsConnectedSrc(plug), LastOf(model, plug) >= 0);
        ASSERT_EQ(plug->GetDstCount(), static_cast<int>(std::count(model.begin(), model.end(), plug)));
        ASSERT_EQ(plug->IsConnectedDst(&dst), plug->GetDstCount() > 0);
    }
}

} // namespace

TEST(PlugConnectionLists, RandomChangesAcrossEveryLengthMatchAModel)
{
    TPlug dst("D");
    dst.mRecord = false;
    KPlug* view = dst.SubPlugGetOrCreate(KPlug_GetFilter(TOtherPlug::ClassId));
    ASSERT_NE(view, &dst);
    std::vector<TPlug*> pool;
    for (int i = 0; i < 60; ++i)
        pool.push_back(Quiet(i % 3 ? new TPlug("p" + std::to_string(i)) : new TOtherPlug("o" + std::to_string(i))));
    Plugs model;
    std::mt19937 random(12345);
    auto pick = [&random](int count) { return static_cast<int>(random() % static_cast<unsigned>(count)); };
    for (int step = 0; step < 6000; ++step)
    {
        // Grows to well past the indexed length, then shrinks back, twice.
        const bool growing = (step / 1500) % 2 == 0;
        const int choice = pick(10);
        TPlug* plug = pool[static_cast<size_t>(pick(static_cast<int>(pool.size())))];
        if (choice < (growing ? 6 : 2))
        {
            // At the end or before the last record of the plug at an index.
            const int at = pick(static_cast<int>(model.size()) + 1);
            ASSERT_TRUE(dst.ConnectSrcAt(at, plug));
            const int before = at < static_cast<int>(model.size()) ? LastOf(model, model[static_cast<size_t>(at)]) : -1;
            model.insert(before < 0 ? model.end() : model.begin() + before, plug);
        }
        else if (choice < 8)
        {
            const bool connected = LastOf(model, plug) >= 0;
            ASSERT_EQ(dst.DisconnectSrc(plug), connected);
            if (connected)
                model.erase(model.begin() + LastOf(model, plug));
        }
        else if (choice == 8 && model.size() > 1)
        {
            const int from = pick(static_cast<int>(model.size()));
            const int to = pick(static_cast<int>(model.size()));
            const bool moved = dst.MoveSrcAt(from, to);
            ASSERT_EQ(moved, from != to);
            if (moved)
            {
                KPlug* record = model[static_cast<size_t>(from)];
                model.erase(model.begin() + from);
                model.insert(model.begin() + to, record);
            }
        }
        else if (choice == 9)
        {
            // A destroyed source leaves every list it was in.
            const std::string name = plug->mName;
            const bool other = plug->Is(TOtherPlug::ClassId);
            plug->Destroy(0);
            model.erase(std::remove(model.begin(), model.end(), plug), model.end());
            *std::find(pool.begin(), pool.end(), plug) = Quiet(other ? new TOtherPlug(name) : new TPlug(name));
        }
        if (step % 25 == 0 || model.size() < 40)
            ExpectMatches(dst, view, model, pool);
        if (::testing::Test::HasFatalFailure())
            return;
    }
    ExpectMatches(dst, view, model, pool);
    for (TPlug* plug : pool)
        plug->Destroy(0);
    EXPECT_EQ(dst.GetSrcCount(), 0);
    EXPECT_EQ(view->GetSrcCount(), 0);
}

TEST(PlugConnectionLists, DuplicatesOfALongListAreFoundAndRemovedLastFirst)
{
    TPlug dst("D"), twice("T");
    dst.mRecord = false;
    twice.mRecord = false;
    std::vector<TPlug*> others;
    Plugs model;
    for (int i = 0; i < 100; ++i)
    {
        others.push_back(Quiet(new TPlug("s")));
        ASSERT_TRUE(dst.ConnectSrc(others.back()));
        model.push_back(others.back());
        if (i == 10 || i == 90)
        {
            ASSERT_TRUE(dst.ConnectSrc(&twice));
            model.push_back(&twice);
        }
    }
    EXPECT_EQ(dst.FindSrc(&twice), 92);
    // A plug never connected, and one connected elsewhere only.
    TPlug stranger("X"), elsewhere("E");
    elsewhere.mRecord = false;
    ASSERT_TRUE(twice.ConnectSrc(&elsewhere));
    EXPECT_EQ(dst.FindSrc(&stranger), -1);
    EXPECT_EQ(dst.FindSrc(&elsewhere), -1);
    // Inserting before the plug goes before its last record.
    TPlug inserted("I");
    inserted.mRecord = false;
    ASSERT_TRUE(KPlug::UserConnectBefore(&inserted, nullptr, &dst, &twice, kConnectionNormal));
    model.insert(model.begin() + 92, &inserted);
    EXPECT_EQ(Sources(&dst), model);
    ASSERT_TRUE(dst.DisconnectSrc(&twice));
    model.erase(model.begin() + 93);
    EXPECT_EQ(dst.FindSrc(&twice), 11);
    ASSERT_TRUE(dst.DisconnectSrc(&twice));
    model.erase(model.begin() + 11);
    EXPECT_EQ(dst.FindSrc(&twice), -1);
    EXPECT_FALSE(dst.DisconnectSrc(&twice));
    EXPECT_EQ(Sources(&dst), model);
    EXPECT_EQ(twice.GetDstCount(), 0);
    for (TPlug* plug : others)
        plug->Destroy(0);
    EXPECT_EQ(Sources(&dst), Plugs({&inserted}));
}

TEST(PlugConnectionLists, HundredThousandSourcesAndDestinationsInAnyOrder)
{
    const int n = 100000;
    TPlug hub("H");
    hub.mRecord = false;
    std::vector<TPlug*> plugs;
    for (int i = 0; i < n; ++i)
    {
        plugs.push_back(Quiet(new TPlug("s")));
        ASSERT_TRUE(hub.ConnectSrc(plugs.back()));
        ASSERT_TRUE(hub.ConnectDst(plugs.back()));
    }
    ASSERT_EQ(hub.GetSrcCount(), n);
    ASSERT_EQ(hub.GetDstCount(), n);
    EXPECT_EQ(hub.FindSrc(plugs[n / 2]), n / 2);
    EXPECT_EQ(hub.FindDst(plugs[7]), 7);
    EXPECT_EQ(Destinations(plugs[3]), Plugs({&hub}));
    // Every third source leaves, from the front; then a thousand plugs are
    // destroyed in a shuffled order, and with them their records.
    for (int i = 0; i < n; i += 3)
        ASSERT_TRUE(hub.DisconnectSrc(plugs[static_cast<size_t>(i)]));
    std::vector<TPlug*> shuffled = plugs;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    std::unordered_set<KPlug*> destroyed;
    for (int i = 0; i < 1000; ++i)
    {
        destroyed.insert(shuffled[static_cast<size_t>(i)]);
        shuffled[static_cast<size_t>(i)]->Destroy(0);
    }
    Plugs sources, destinations;
    for (int i = 0; i < n; ++i)
    {
        KPlug* plug = plugs[static_cast<size_t>(i)];
        if (destroyed.count(plug))
            continue;
        destinations.push_back(plug);
        if (i % 3 != 0)
            sources.push_back(plug);
    }
    EXPECT_EQ(Sources(&hub), sources);
    EXPECT_EQ(Destinations(&hub), destinations);
    EXPECT_EQ(hub.FindDst(destinations.back()), n - 1001);
    EXPECT_EQ(hub.FindSrc(plugs[0]), -1);
    for (KPlug* plug : destinations)
        plug->Destroy(0);
    EXPECT_EQ(hub.GetSrcCount(), 0);
    EXPECT_EQ(hub.GetDstCount(), 0);
}

TEST(PlugConnectionLists, SearchesOnSeveralThreadsAtOnceAgree)
{
    // The first searches of a long list, all at once: each thread must see
    // every plug where it is, whichever thread builds the list's counts.
    for (int round = 0; round < 20; ++round)
    {
        TPlug dst("D");
        dst.mRecord = false;
        std::vector<TPlug*> plugs;
        for (int i = 0; i < 500; ++i)
        {
            plugs.push_back(Quiet(new TPlug("s")));
            ASSERT_TRUE(dst.ConnectSrc(plugs.back()));
        }
        TPlug stranger("X");
        std::atomic<int> wrong(0);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < 500; ++i)
                {
                    const int k = (i * 7 + t * 131) % 500;
                    if (dst.FindSrc(plugs[static_cast<size_t>(k)]) != k || dst.IsConnectedSrc(&stranger))
                        ++wrong;
                }
            });
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_EQ(wrong.load(), 0);
        for (TPlug* plug : plugs)
            plug->Destroy(0);
    }
}
