// The world: object, property and state indexes, states, the lock.

#include <gtest/gtest.h>

#include <thread>

#include "object/kobject.h"
#include "object/kproperty.h"
#include "object/kworld.h"

namespace {

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

} // namespace

TEST_F(WorldTest, FreedIndexesWaitUntilEveryHigherOneIsFree)
{
    KObject a, b, c, d, e;
    a.Construct(mWorld);
    b.Construct(mWorld);
    c.Construct(mWorld);
    EXPECT_EQ(a.GetWorldIndex(), 0);
    EXPECT_EQ(b.GetWorldIndex(), 1);
    EXPECT_EQ(c.GetWorldIndex(), 2);
    EXPECT_EQ(a.GetWorld(), mWorld);
    EXPECT_EQ(mWorld->GetObject(2), &c);

    b.Destruct();
    EXPECT_EQ(b.GetWorld(), nullptr);
    EXPECT_EQ(b.GetWorldIndex(), -1);
    EXPECT_EQ(mWorld->GetObject(1), nullptr);
    EXPECT_EQ(mWorld->RegisterObject(&d), 3);

    mWorld->UnregisterObject(&c);
    mWorld->UnregisterObject(&d);
    EXPECT_EQ(mWorld->RegisterObject(&e), 1);
    // Registering again keeps the index.
    EXPECT_EQ(mWorld->RegisterObject(&e), 1);
    mWorld->UnregisterObject(&a);
    mWorld->UnregisterObject(&e);
    EXPECT_EQ(mWorld->RegisterObject(&a), 0);
    mWorld->UnregisterObject(&a);
}

TEST_F(WorldTest, OnlyPropertiesThatAskAreRegistered)
{
    KObject object;
    KProperty* asked = AddProperty(object, "Asked", true);
    KProperty* plain = AddProperty(object, "Plain", false);
    KProperty* also = AddProperty(object, "Also", true);
    ASSERT_TRUE(asked && plain && also);
    EXPECT_EQ(asked->GetPropertyInfo().mWorldIndex, 65535);

    mWorld->RegisterObject(&object);
    EXPECT_EQ(asked->GetPropertyInfo().mWorldIndex, 0);
    EXPECT_EQ(plain->GetPropertyInfo().mWorldIndex, 65535);
    EXPECT_EQ(also->GetPropertyInfo().mWorldIndex, 1);
    EXPECT_EQ(mWorld->GetProperty(1), also);

    mWorld->UnregisterObject(&object);
    EXPECT_EQ(asked->GetPropertyInfo().mWorldIndex, 65535);
    EXPECT_EQ(also->GetPropertyInfo().mWorldIndex, 65535);
    EXPECT_EQ(mWorld->GetProperty(1), nullptr);

    EXPECT_EQ(mWorld->RegisterProperty(plain), &plain->GetPropertyInfo());
    EXPECT_EQ(plain->GetPropertyInfo().mWorldIndex, 0);
    mWorld->UnregisterProperty(plain);
    EXPECT_EQ(plain->GetPropertyInfo().mWorldIndex, 65535);
}

TEST_F(WorldTest, StatesCloneAndRelease)
{
    KWorldState* root = mWorld->GetRootState(0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetStateIndex(), 0);
    EXPECT_EQ(mWorld->GetRootState(1)->GetStateIndex(), 1);
    EXPECT_EQ(root->GetGeneration(), 1);
    EXPECT_EQ(root->GetRefCount(), 1);
    EXPECT_EQ(mWorld->GetRootState(1)->GetSerial(), root->GetSerial() + 1);

    KWorldState* first = root->Clone();
    KWorldState* second = root->Clone();
    EXPECT_EQ(root->GetChildCount(), 2);
    EXPECT_EQ(root->GetCloneCount(), 3);
    EXPECT_EQ(root->GetRefCount(), 3);
    EXPECT_EQ(first->GetParent(), root);
    EXPECT_EQ(first->GetType(), 0);
    EXPECT_EQ(first->GetStateIndex(), 2);
    EXPECT_EQ(second->GetStateIndex(), 3);
    EXPECT_EQ(second->GetSerial(), first->GetSerial() + 1);
    EXPECT_FALSE(first->Swap());

    first->Release();
    EXPECT_EQ(root->GetChildCount(), 1);
    EXPECT_EQ(root->GetRefCount(), 2);
    EXPECT_EQ(mWorld->GetState(2), nullptr);
    second->Release();
    EXPECT_EQ(root->GetChildCount(), 0);
    EXPECT_EQ(root->GetRefCount(), 1);

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
    EXPECT_EQ(root->GetChildCount(), 0);
    EXPECT_EQ(root->GetRefCount(), 1);
}

TEST_F(WorldTest, CurrentWorldAndLock)
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
}

TEST_F(WorldTest, DestroyingAWorldDetachesWhatIsStillInIt)
{
    KObject object;
    KProperty* property = AddProperty(object, "P", true);
    object.Construct(mWorld);
    KWorldState* kept = mWorld->GetRootState(0)->Clone();
    EXPECT_EQ(object.GetWorld(), mWorld);
    mWorld->Destroy();
    mWorld = nullptr;
    EXPECT_EQ(object.GetWorld(), nullptr);
    EXPECT_EQ(object.GetWorldIndex(), -1);
    EXPECT_EQ(property->GetPropertyInfo().mWorldIndex, 65535);
    EXPECT_EQ(kept->GetWorld(), nullptr);
    // The object's own clean-up no longer reaches the world.
    object.Destruct();
    kept->Release();
}

TEST_F(WorldTest, ObjectDeletedWithoutDestructLeavesItsWorld)
{
    {
        KObject scoped;
        scoped.Construct(mWorld);
        EXPECT_EQ(mWorld->GetObject(0), &scoped);
    }
    EXPECT_EQ(mWorld->GetObject(0), nullptr);
}
