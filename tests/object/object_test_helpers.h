#ifndef QOX_TESTS_OBJECT_TEST_HELPERS_H
#define QOX_TESTS_OBJECT_TEST_HELPERS_H

// Plugs and objects that record every notification they receive, in one
// shared log, so tests can compare whole notification sequences; and the
// small helpers the object tests share.

#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "object/kobject.h"
#include "object/kplug.h"

typedef std::vector<std::string> Log;

// One notification as "receiver:action plug index other type extra", plugs by name.
Log& NotifyLog();
void ClearLog();
// The lines of the log that start with prefix.
Log LogLines(const std::string& prefix);
std::string PlugName(KPlug* plug);
// The sources of a plug, in order.
std::vector<KPlug*> Sources(KPlug* plug);
// The text of a string ("(invalid)" for none).
std::string Str(const KString& text);
// A double property of the object (a user property if user is set).
KProperty* AddDouble(KObject& owner, const char* name, bool user = false);

// A named plug that records its connection notifications, answers the veto
// requests (actions 0 and 1) with mAccept, and makes recording sub-plugs.
class TPlug : public KPlug
{
    KPLUG_CLASS_DECLARE(TPlug)
public:
    explicit TPlug(const std::string& name = "")
        : mName(name)
    {}
    bool PlugNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, int index, KPlug* other,
                    kConnectionType type, KPlug* extra) override;
    bool PlugStateNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, void* a, void* b,
                         int value) override;
    KPlug* SubPlugInstanciate(KPlugFilter* filter) override;

    std::string mName;
    bool mAccept = true;
    bool mRecord = true;
    bool mRecordState = false;
    // Called for every recorded connection notification, after recording.
    void (*mHook)(TPlug* self, kPlugAction action, KPlug* plug, KPlug* other) = nullptr;
    // Plug of the first callstack record of the last notification.
    KPlug* mLastCallstackPlug = nullptr;
    // Callstack of the last state notification.
    KPlugCallstack* mLastStateCallstack = nullptr;
};

// A second plug class, for filters.
class TOtherPlug : public TPlug
{
    KPLUG_CLASS_DECLARE(TOtherPlug)
public:
    explicit TOtherPlug(const std::string& name = "")
        : TPlug(name)
    {}
};

// An object that records its object-level notifications.
class TObject : public KObject
{
    KPLUG_CLASS_DECLARE(TObject)
public:
    explicit TObject(const std::string& name = "")
        : mTag(name)
    {
        SetObjectName(name.c_str());
    }
    bool ChildrenListNotify(kObjectListEvent event, const HdlKObject& child, int index) override;
    bool ParentListNotify(kObjectListEvent event, const HdlKObject& parent, int index) override;
    bool ObjectTreeNotify(KPlug* plug, kObjectListEvent event, const HdlKObject& handle, int index) override;
    bool EntityNotify(kEntityEventType event, const HdlKObject& handle, const char* text, int index) override;
    void PropertyNotify(kObjectListEvent event, KProperty* property, bool dynamic, const char* text) override;
    bool PlugStateNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, void* a, void* b,
                         int value) override;
    int GetPrefixClassId() override { return mPrefixClassId; }
    using KObject::EntityNotify;

    std::string mTag;
    bool mRecord = true;
    int mPrefixClassId = -1;
};

// A callback object living on the stack: it is its own interface and is
// never destroyed through Destroy.
class TCallback : public ICallback
{
public:
    IKObject* IQuery(unsigned long, int) override { return this; }
    void Destroy(int) override {}
};

// Writes a small file in dir and answers its path.
std::string WriteIn(const qoxtest::TempDir& dir, const std::string& name, const char* text = "data");

#endif
