#include "object_test_helpers.h"

#include "object/kproperty.h"

KPLUG_CLASS_IMPLEMENT(TPlug, KPlug, "TPlug")
KPLUG_CLASS_IMPLEMENT(TOtherPlug, TPlug, "TOtherPlug")
KPLUG_CLASS_IMPLEMENT(TObject, KObject, "TObject")

Log& NotifyLog()
{
    static Log log;
    return log;
}

void ClearLog()
{
    NotifyLog().clear();
}

Log LogLines(const std::string& prefix)
{
    Log out;
    for (const std::string& line : NotifyLog())
        if (line.compare(0, prefix.size(), prefix) == 0)
            out.push_back(line);
    return out;
}

std::vector<KPlug*> Sources(KPlug* plug)
{
    std::vector<KPlug*> out;
    for (int i = 0; i < plug->GetSrcCount(); ++i)
        out.push_back(plug->GetSrc(i));
    return out;
}

std::string Str(const KString& text)
{
    return std::string(text.ToChars() ? text.ToChars() : "(invalid)");
}

KProperty* AddDouble(KObject& owner, const char* name, bool user)
{
    return owner.CreatePropertyFromType(name, kPropertyTypeDouble, nullptr, false, user, nullptr);
}

std::string WriteIn(const qoxtest::TempDir& dir, const std::string& name, const char* text)
{
    std::string path = dir.File(name);
    EXPECT_TRUE(qoxtest::WriteFile(path, text)) << path;
    return path;
}

std::string PlugName(KPlug* plug)
{
    if (!plug)
        return "null";
    if (TPlug* t = dynamic_cast<TPlug*>(plug))
        return t->mName;
    if (TObject* o = dynamic_cast<TObject*>(plug))
        return o->mTag;
    if (KProperty* p = dynamic_cast<KProperty*>(plug))
        return std::string("prop:") + p->GetPropertyName();
    return "?";
}

bool TPlug::PlugNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, int index, KPlug* other,
                       kConnectionType type, KPlug* extra)
{
    mLastCallstackPlug = callstack ? callstack->mPlug : nullptr;
    if (mRecord)
    {
        char line[256];
        snprintf(line, sizeof(line), "%s:%d %s %d %s %d %s", mName.c_str(), action, PlugName(plug).c_str(), index,
                 PlugName(other).c_str(), type, PlugName(extra).c_str());
        NotifyLog().push_back(line);
    }
    if (mHook)
        mHook(this, action, plug, other);
    if ((action == kPlugRequestSrc || action == kPlugRequestDst) && !mAccept)
        return false;
    return KPlug::PlugNotify(callstack, action, plug, index, other, type, extra);
}

bool TPlug::PlugStateNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, void* a, void* b, int value)
{
    mLastStateCallstack = callstack;
    if (mRecordState)
        NotifyLog().push_back(mName + ":state" + std::to_string(action) + " " + PlugName(plug));
    return KPlug::PlugStateNotify(callstack, action, plug, a, b, value);
}

KPlug* TPlug::SubPlugInstanciate(KPlugFilter*)
{
    TPlug* sub = new TPlug(mName + ".sub");
    sub->Construct(nullptr);
    return sub;
}

bool TObject::ChildrenListNotify(kObjectListEvent event, const HdlKObject& child, int index)
{
    if (mRecord)
        NotifyLog().push_back(mTag + ":children " + std::to_string(event) + " " + PlugName(child.Get()) + " " +
                              std::to_string(index));
    return KObject::ChildrenListNotify(event, child, index);
}

bool TObject::ParentListNotify(kObjectListEvent event, const HdlKObject& parent, int index)
{
    if (mRecord)
        NotifyLog().push_back(mTag + ":parents " + std::to_string(event) + " " + PlugName(parent.Get()) + " " +
                              std::to_string(index));
    return KObject::ParentListNotify(event, parent, index);
}

bool TObject::ObjectTreeNotify(KPlug* plug, kObjectListEvent event, const HdlKObject& handle, int index)
{
    if (mRecord)
        NotifyLog().push_back(mTag + ":tree " + PlugName(plug) + " " + std::to_string(event) + " " +
                              PlugName(handle.Get()) + " " + std::to_string(index));
    return KObject::ObjectTreeNotify(plug, event, handle, index);
}

bool TObject::EntityNotify(kEntityEventType event, const HdlKObject& handle, const char* text, int index)
{
    if (mRecord)
        NotifyLog().push_back(mTag + ":entity " + std::to_string(event) + " " + PlugName(handle.Get()) + " " +
                              (text ? text : "null") + " " + std::to_string(index));
    return KObject::EntityNotify(event, handle, text, index);
}

void TObject::PropertyNotify(kObjectListEvent event, KProperty* property, bool dynamic, const char*)
{
    if (mRecord)
        NotifyLog().push_back(mTag + ":property " + std::to_string(event) + " " + PlugName(property) + " " +
                              (dynamic ? "dynamic" : "static"));
}

bool TObject::PlugStateNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, void* a, void* b, int value)
{
    if (mRecord)
        NotifyLog().push_back(mTag + ":state " + std::to_string(action) + " " + PlugName(plug));
    return KObject::PlugStateNotify(callstack, action, plug, a, b, value);
}
