#include "object/kfileobjectevent.h"

namespace {

struct ManagerState
{
    KQoxObjectManager* mManager = nullptr;
    bool mCreated = false;
};

ManagerState& State()
{
    static ManagerState state;
    return state;
}

} // namespace

IKObject* KQoxObjectManager::IQuery(unsigned long interfaceId, int)
{
    switch (interfaceId)
    {
    case kIKObjectId:
    case kICallbackId: return static_cast<ICallback*>(this);
    case kIRegisterId: return static_cast<IRegister*>(this);
    default: return nullptr;
    }
}

void KQoxObjectManager::Destroy(int)
{
    delete this;
}

int KQoxObjectManager::Register(int eventClassId, ICallback* object, ICallbackMethod method, int)
{
    if (eventClassId != kQoxObjectEventClassId)
        return 1;
    mListeners.Add(object, method, kCallbackAllEvents);
    return 0;
}

int KQoxObjectManager::Unregister(int eventClassId, ICallback* object, ICallbackMethod method)
{
    if (eventClassId != kQoxObjectEventClassId)
        return 1;
    mListeners.Remove(object, method);
    return 0;
}

void KQoxObjectManager::GenerateEvent(IQoxObject* object, int code)
{
    KQoxObjectEvent event(code, object);
    mListeners.Call(static_cast<IRegister*>(this), &event);
}

KQoxObjectManager* KQoxObject_GetManager()
{
    ManagerState& state = State();
    if (!state.mManager && !state.mCreated)
    {
        state.mManager = new KQoxObjectManager();
        state.mCreated = true;
    }
    return state.mManager;
}

void DestroyKQoxObjectManager()
{
    ManagerState& state = State();
    KQoxObjectManager* manager = state.mManager;
    state.mManager = nullptr;
    if (manager)
        manager->Destroy(0);
}

int KQoxObject_Register(ICallback* object, ICallbackMethod method)
{
    KQoxObjectManager* manager = KQoxObject_GetManager();
    if (!manager)
        return 0;
    return static_cast<IRegister*>(manager)->Register(kQoxObjectEventClassId, object, method, kCallbackAllEvents);
}

int KQoxObject_Unregister(ICallback* object, ICallbackMethod method)
{
    KQoxObjectManager* manager = KQoxObject_GetManager();
    if (!manager)
        return 0;
    return static_cast<IRegister*>(manager)->Unregister(kQoxObjectEventClassId, object, method);
}

void KQoxObject_GenerateEvent(IQoxObject* object, int code)
{
    if (KQoxObjectManager* manager = State().mManager)
        manager->GenerateEvent(object, code);
}
