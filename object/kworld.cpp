#include "object/kworld.h"

#include "object/kobject.h"
#include "object/kproperty.h"

namespace {

const unsigned short kNoWorldIndex = 65535;

KWorld*& CurrentWorld()
{
    static KWorld* gCurrentWorld = nullptr;
    return gCurrentWorld;
}

int& WorldStateId()
{
    static int gWorldStateId = 0;
    return gWorldStateId;
}

int LinkRegister(KWorld* world, KObject* object)
{
    return world->RegisterObject(object);
}

void LinkUnregister(KWorld* world, KObject* object)
{
    world->UnregisterObject(object);
}

void LinkUnregisterProperty(KWorld* world, KProperty* property)
{
    world->UnregisterProperty(property);
}

} // namespace

// ---------------------------------------------------------------------------
// World states

KWorldState::KWorldState(KWorld* world, kType kind, KWorldState* parent, bool withCompanion)
    : mWorld(world)
    , mType(kind)
    , mParent(parent)
    , mChildren(16)
    , mSerial(++WorldStateId())
{
    if (parent)
    {
        ++parent->mRefCount;
        parent->Add(this);
        mGeneration = parent->mGeneration;
    }
    if (world)
        world->RegisterState(this);
    // A companion never gets a companion of its own.
    if (kind == 1 && withCompanion)
        mCompanion = new KWorldState(world, kind, this, false);
}

KWorldState* KWorldState::Create(KWorld* world, kType kind, KWorldState* parent)
{
    return new KWorldState(world, kind, parent, true);
}

KWorldState* KWorldState::Clone()
{
    KWorldState* clone = new KWorldState(mWorld, 0, this, true);
    ++mCloneCount;
    return clone;
}

void KWorldState::Release()
{
    --mRefCount;
    if (mRefCount == 1 && mCompanion)
    {
        // The reference left is the companion's: releasing the companion may
        // release this state too.
        KWorldState* companion = mCompanion;
        mCompanion = nullptr;
        companion->Release();
        return;
    }
    if (mRefCount > 0)
        return;
    if (mWorld)
        mWorld->UnregisterState(this);
    KWorldState* parent = mParent;
    if (parent)
        parent->Remove(this);
    delete this;
    if (parent)
        parent->Release();
}

void KWorldState::Add(KWorldState* child)
{
    mChildren.Add(child);
}

void KWorldState::Remove(KWorldState* child)
{
    int index = mChildren.Find(child);
    if (index >= 0)
        mChildren.RemoveAt(index);
}

// ---------------------------------------------------------------------------
// World

KWorld::KWorld()
{
    static const bool linked = [] {
        KObject_SetWorldLink(KObjectWorldLink{&LinkRegister, &LinkUnregister, &LinkUnregisterProperty});
        return true;
    }();
    (void)linked;

    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&mLock, &attributes);
    pthread_mutexattr_destroy(&attributes);

    mRoot[0] = KWorldState::Create(this, 0, nullptr);
    mRoot[1] = KWorldState::Create(this, 0, nullptr);
}

KWorld::~KWorld()
{
    if (CurrentWorld() == this)
        CurrentWorld() = nullptr;

    // What is still registered forgets this world.
    for (KProperty* property : mProperties.Items())
        if (property && property->ReadPropertyInfo().mWorldIndex != kNoWorldIndex)
            property->GetPropertyInfo().mWorldIndex = kNoWorldIndex;
    for (KObject* object : mObjects.Items())
        if (object)
            object->SetWorldIndex(nullptr, -1);

    mRoot[0]->Release();
    mRoot[1]->Release();
    for (KWorldState* state : mStates.Items())
        if (state)
        {
            state->mWorld = nullptr;
            state->mStateIndex = -1;
        }
    pthread_mutex_destroy(&mLock);
}

KWorld* KWorld::Create()
{
    return new KWorld();
}

void KWorld::Destroy()
{
    delete this;
}

KWorld* KWorld::GetCurrent()
{
    return CurrentWorld();
}

void KWorld::SetCurrent(KWorld* world)
{
    CurrentWorld() = world;
}

void KWorld::LockWorld()
{
    pthread_mutex_lock(&mLock);
}

void KWorld::UnlockWorld()
{
    pthread_mutex_unlock(&mLock);
}

int KWorld::RegisterObject(KObject* object)
{
    if (!object)
        return -1;
    int current = object->GetWorldIndex();
    if (object->GetWorld() == this && current >= 0 && mObjects.Get(current) == object)
        return current;
    if (object->GetWorld() && object->GetWorld() != this)
        object->GetWorld()->UnregisterObject(object);
    int index = mObjects.Take(object, 0x7FFFFFFF);
    if (index < 0)
        return -1;
    object->SetWorldIndex(this, index);
    RegisterObjectProperties(object);
    return index;
}

void KWorld::UnregisterObject(KObject* object)
{
    if (!object || object->GetWorld() != this)
        return;
    UnregisterObjectProperties(object);
    int index = object->GetWorldIndex();
    object->SetWorldIndex(nullptr, -1);
    mObjects.Release(index, object);
}

namespace {

// Calls act(property) for each property of the object that asks for a world index.
template <class Act>
void EachWorldProperty(KObject* object, Act act)
{
    // Read through the list's descriptors: a row not made yet asks for none.
    for (int i = 0; object && i < object->GetPropertyCount(); ++i)
        if (object->ReadPropertyInfoAt(i).GetFlags() & KPropertyInfo::eWorldRegistration)
            act(object->GetProperty(i));
}

} // namespace

void KWorld::RegisterObjectProperties(KObject* object)
{
    EachWorldProperty(object, [this](KProperty* property) { RegisterProperty(property); });
}

void KWorld::UnregisterObjectProperties(KObject* object)
{
    EachWorldProperty(object, [this](KProperty* property) { UnregisterProperty(property); });
}

KPropertyInfo* KWorld::RegisterProperty(KProperty* property)
{
    if (!property)
        return nullptr;
    KPropertyInfo& info = property->GetPropertyInfo();
    int current = info.mWorldIndex;
    if (current != kNoWorldIndex && mProperties.Get(current) == property)
        return &info;
    // The info keeps the index in 16 bits, 65535 meaning none: no more than
    // 65535 properties get an index.
    int index = mProperties.Take(property, kNoWorldIndex);
    if (index < 0)
        return &info;
    info.mWorldIndex = static_cast<unsigned short>(index);
    return &info;
}

void KWorld::UnregisterProperty(KProperty* property)
{
    if (!property)
        return;
    // A property that never had an index keeps its descriptor untouched
    // (it may be a shared one).
    int index = property->ReadPropertyInfo().mWorldIndex;
    if (index == kNoWorldIndex)
        return;
    property->GetPropertyInfo().mWorldIndex = kNoWorldIndex;
    mProperties.Release(index, property);
}

void KWorld::RegisterState(KWorldState* state)
{
    if (!state)
        return;
    int index = mStates.Take(state, 0x7FFFFFFF);
    if (index < 0)
        return;
    state->mStateIndex = index;
}

void KWorld::UnregisterState(KWorldState* state)
{
    if (!state)
        return;
    int index = state->mStateIndex;
    state->mStateIndex = -1;
    mStates.Release(index, state);
}

KObject* KWorld::GetObject(int index) const
{
    return mObjects.Get(index);
}

KProperty* KWorld::GetProperty(int index) const
{
    return mProperties.Get(index);
}

KWorldState* KWorld::GetState(int index) const
{
    return mStates.Get(index);
}
