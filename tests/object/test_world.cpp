// The world: object, property and state indexes, states, the lock.

#include <gtest/gtest.h>

#include <thread>

#include "object/kobject.h"
#include "object/kproperty.h"
#include "object/kworld.h"

namespace {

typedef std::vector<int> Ints;

class WorldTest : public ::testing::Test
{
protected:
    void SetUp() override { mWorld = KWorld::Create(); }
    void TearDown() override
    {
        if (mWorld)
            mWorld->Destroy();
    }
    KWorld* mWorld = nullptr;
};

KProperty* AddProperty(KObject& object, const char* name, bool registered)
{
    KProperty* property = object.CreatePropertyFromType(name, kPropertyTypeDouble, nullptr, false, false, nullptr);
    if (property)
        property->GetPropertyInfo().ModifyFlag(KPropertyInfo::eWorldRegistration, registered);
    return property;
}

int WorldIndex(KProperty* property)
{
    return property->GetPropertyInfo().mWorldIndex;
}

} // namespace

TEST_F(WorldTest, NewIndexesTakeTheLowestFreeOne)
{
    KObject a, b, c, d, e;
    for (KObject* o : {&a, &b, &c})
        o->Construct(mWorld);
    EXPECT_EQ(Ints({a.GetWorldIndex(), b.GetWorldIndex(), c.GetWorldIndex()}), Ints({0, 1, 2}));
    EXPECT_EQ(a.GetWorld(), mWorld);
    EXPECT_EQ(mWorld->GetObject(2), &c);
    // 1 is freed while 2 is still taken: the next object gets 1 all the same.
    b.Destruct();
    EXPECT_EQ(b.GetWorld(), nullptr);
    EXPECT_EQ(b.GetWorldIndex(), -1);
    EXPECT_EQ(mWorld->GetObject(1), nullptr);
    EXPECT_EQ(mWorld->RegisterObject(&d), 1);
    EXPECT_EQ(mWorld->RegisterObject(&d), 1);
    mWorld->UnregisterObject(&c);
    mWorld->UnregisterObject(&a);
    EXPECT_EQ(Ints({mWorld->RegisterObject(&e), mWorld->RegisterObject(&a)}), Ints({0, 2}));
    for (KObject* o : {&a, &d, &e})
        mWorld->UnregisterObject(o);
    // An object deleted without Destruct leaves its world.
    {
        KObject scoped;
        scoped.Construct(mWorld);
        EXPECT_EQ(mWorld->GetObject(0), &scoped);
    }
    EXPECT_EQ(mWorld->GetObject(0), nullptr);
}

// A registered property destroyed with (or before) its object leaves the
// world; the world, destroyed later, must not write through it, and its index
// is free for the next one.
TEST_F(WorldTest, DestroyedPropertiesLeaveTheWorld)
{
    KObject* object = new KObject();
    KProperty* first = AddProperty(*object, "First", true);
    KProperty* second = AddProperty(*object, "Second", true);
    ASSERT_TRUE(first && second);
    object->Construct(mWorld);
    EXPECT_EQ(Ints({WorldIndex(first), WorldIndex(second)}), Ints({0, 1}));
    EXPECT_TRUE(object->PropertyDestroy(first) == false);
    EXPECT_EQ(mWorld->GetProperty(0), nullptr);
    KObject other;
    KProperty* third = AddProperty(other, "Third", true);
    other.Construct(mWorld);
    EXPECT_EQ(WorldIndex(third), 0);
    object->Destroy();
    EXPECT_EQ(mWorld->GetProperty(1), nullptr);
    mWorld->Destroy();
    mWorld = nullptr;
    EXPECT_EQ(WorldIndex(third), 65535);
}

TEST_F(WorldTest, OnlyPropertiesThatAskAreRegistered)
{
    KObject object;
    KProperty* asked = AddProperty(object, "Asked", true);
    KProperty* plain = AddProperty(object, "Plain", false);
    KProperty* also = AddProperty(object, "Also", true);
    ASSERT_TRUE(asked && plain && also);
    EXPECT_EQ(WorldIndex(asked), 65535);
    mWorld->RegisterObject(&object);
    EXPECT_EQ(Ints({WorldIndex(asked), WorldIndex(plain), WorldIndex(also)}), Ints({0, 65535, 1}));
    EXPECT_EQ(mWorld->GetProperty(1), also);
    mWorld->UnregisterObject(&object);
    EXPECT_EQ(Ints({WorldIndex(asked), WorldIndex(also)}), Ints({65535, 65535}));
    EXPECT_EQ(mWorld->GetProperty(1), nullptr);
    EXPECT_EQ(mWorld->RegisterProperty(plain), &plain->GetPropertyInfo());
    EXPECT_EQ(WorldIndex(plain), 0);
    mWorld->UnregisterProperty(plain);
    EXPECT_EQ(WorldIndex(plain), 65535);
}

TEST_F(WorldTest, StatesCloneAndRelease)
{
    KWorldState* root = mWorld->GetRootState(0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Ints({root->GetStateIndex(), mWorld->GetRootState(1)->GetStateIndex(), root->GetGeneration()}),
              Ints({0, 1, 1}));
    EXPECT_EQ(mWorld->GetRootState(1)->GetSerial(), root->GetSerial() + 1);
    // Children, clones and references of the root: counted by hand.
    auto counts = [root] { return Ints({root->GetChildCount(), root->GetCloneCount(), root->GetRefCount()}); };
    KWorldState* first = root->Clone();
    KWorldState* second = root->Clone();
    EXPECT_EQ(counts(), Ints({2, 3, 3}));
    EXPECT_EQ(first->GetParent(), root);
    EXPECT_EQ(second->GetStateIndex(), 3);
    EXPECT_EQ(second->GetSerial(), first->GetSerial() + 1);
    EXPECT_FALSE(first->Swap());
    first->Release();
    EXPECT_EQ(Ints({root->GetChildCount(), root->GetRefCount()}), Ints({1, 2}));
    EXPECT_EQ(mWorld->GetState(2), nullptr);
    second->Release();
    EXPECT_EQ(Ints({root->GetChildCount(), root->GetRefCount()}), Ints({0, 1}));
    // A kind-1 state has a companion, which has none of its own.
    KWorldState* swapping = KWorldState::Create(mWorld, 1, root);
    EXPECT_TRUE(swapping->Swap());
    KWorldState* companion = swapping->GetCompanion();
    EXPECT_FALSE(companion->Swap());
    EXPECT_EQ(companion->GetParent(), swapping);
    EXPECT_EQ(swapping->GetRefCount(), 2);
    EXPECT_EQ(root->GetChildCount(), 1);
    int companionIndex = companion->GetStateIndex();
    swapping->Release();
    EXPECT_EQ(mWorld->GetState(companionIndex), nullptr);
    EXPECT_EQ(Ints({root->GetChildCount(), root->GetRefCount()}), Ints({0, 1}));
}

TEST_F(WorldTest, CurrentWorldLockAndDestruction)
{
    EXPECT_EQ(KWorld::GetCurrent(), nullptr);
    KWorld::SetCurrent(mWorld);
    EXPECT_EQ(KWorld::GetCurrent(), mWorld);
    // Recursive: the holder may lock again, and must unlock as often.
    mWorld->LockWorld();
    mWorld->LockWorld();
    mWorld->UnlockWorld();
    bool taken = false;
    std::thread other([&] {
        mWorld->LockWorld();
        taken = true;
        mWorld->UnlockWorld();
    });
    mWorld->UnlockWorld();
    other.join();
    EXPECT_TRUE(taken);
    // Destroying the current world leaves no current world behind.
    mWorld->Destroy();
    mWorld = nullptr;
    EXPECT_EQ(KWorld::GetCurrent(), nullptr);

    // Destroying a world detaches what is still in it.
    mWorld = KWorld::Create();
    KObject object;
    KProperty* property = AddProperty(object, "P", true);
    object.Construct(mWorld);
    KWorldState* kept = mWorld->GetRootState(0)->Clone();
    mWorld->Destroy();
    mWorld = nullptr;
    EXPECT_EQ(object.GetWorld(), nullptr);
    EXPECT_EQ(object.GetWorldIndex(), -1);
    EXPECT_EQ(WorldIndex(property), 65535);
    EXPECT_EQ(kept->GetWorld(), nullptr);
    // The object's own clean-up no longer reaches the world.
    object.Destruct();
    kept->Release();
}
