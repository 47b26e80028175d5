#ifndef QOX_OBJECT_KFILEOBJECTEVENT_H
#define QOX_OBJECT_KFILEOBJECTEVENT_H

// The file-object event manager: a process-wide singleton that holds the
// listeners of the native file objects' events (such as the need for a
// password while reading) and passes each event to them, oldest listener
// first. The manager is created on the first request and at most once in the
// life of the process: once destroyed, it is gone for good.

#include "base/karray.h"
#include "object/kcallback.h"

class IQoxObject;

// Event class id of file-object events.
const int kQoxObjectEventClassId = 877888514;

// The record passed to the listeners.
class KQoxObjectEvent : public KEventBase
{
public:
    KQoxObjectEvent(int code, IQoxObject* object)
        : KEventBase(kQoxObjectEventClassId)
        , mCode(code)
        , mObject(object)
        , mPointers(16)
    {
        mText[0] = '\0';
    }

    int mCode;
    IQoxObject* mObject;
    char mText[256];
    int mField1 = 1;
    int mField2 = 0;
    KArrayTemplate<void*> mPointers;
};

class KQoxObjectManager : public ICallback, public IRegister
{
public:
    KQoxObjectManager() {}
    ~KQoxObjectManager() override {}

    KQoxObjectManager(const KQoxObjectManager&) = delete;
    KQoxObjectManager& operator=(const KQoxObjectManager&) = delete;

    // Ids 0 and 2: the ICallback side; 3: the IRegister side; else null.
    IKObject* IQuery(unsigned long interfaceId, int flags) override;
    void Destroy(int local = 0) override;
    // Only for the file-object event class (0); another class id gives 1.
    // Every listener is kept with the mask 0x7FFFFFFF.
    int Register(int eventClassId, ICallback* object, ICallbackMethod method, int mask) override;
    int Unregister(int eventClassId, ICallback* object, ICallbackMethod method) override;
    // Builds the event record and calls the listeners, oldest first, until
    // one sets the consumed flag.
    void GenerateEvent(IQoxObject* object, int code);

private:
    RegisterEntryList mListeners;
};

// The manager, created on first use; null once destroyed.
KQoxObjectManager* KQoxObject_GetManager();
void DestroyKQoxObjectManager();
int KQoxObject_Register(ICallback* object, ICallbackMethod method);
int KQoxObject_Unregister(ICallback* object, ICallbackMethod method);
// Passes an event on when a manager exists; creates none.
void KQoxObject_GenerateEvent(IQoxObject* object, int code);

#endif
