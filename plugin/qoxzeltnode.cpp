#include "plugin/qoxzeltnode.h"

using namespace qoxsdk_600;

QoxZeltNode::QoxZeltNode(KQoxSdkManager& manager, const char* name, ZDagPath* path)
    : KQoxNode(manager, name)
    , mMatchedByMerge(false)
    , mAddNameSpace(false)
    , mUSeam(false)
    , mVSeam(false)
    , mHasDagPath(false)
    , mHasShapeObject(false)
    , mGlobalT{0.0, 0.0, 0.0}
    , mGlobalR{0.0, 0.0, 0.0}
    , mGlobalS{1.0, 1.0, 1.0}
    , mUserPropertyNames(20)
{
    SetDagPath(path);
}

QoxZeltNode::~QoxZeltNode()
{
    for (int i = 0; i < mUserPropertyNames.GetCount(); ++i)
        delete reinterpret_cast<KString*>(mUserPropertyNames.GetFromIndex(i));
    mUserPropertyNames.Clear();
}

void QoxZeltNode::SetDagPath(ZDagPath* path)
{
    mHasDagPath = path != nullptr;
    mDagPath = path ? *path : ZDagPath();
}

void QoxZeltNode::SetShapeObject(ZObject* object)
{
    mHasShapeObject = object != nullptr;
    mShapeObject = object ? *object : ZObject();
}

void QoxZeltNode::SetUserPropertyHostName(const char* label, const char* hostName)
{
    if (KString* existing = GetUserPropertyHostName(label))
    {
        *existing = hostName;
        return;
    }
    mUserPropertyNames.Add(label, reinterpret_cast<kReference>(new KString(hostName)));
}

KString* QoxZeltNode::GetUserPropertyHostName(const char* label)
{
    return reinterpret_cast<KString*>(mUserPropertyNames.Get(label));
}
