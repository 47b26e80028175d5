#include "scene/kqoxnodeattribute.h"

#include "scene/kqoxnode.h"

namespace qoxsdk_600 {

KQoxNodeAttribute::KQoxNodeAttribute(KQoxSdkManager& manager)
    : mNode(nullptr)
    , mManager(&manager)
{}

KQoxNodeAttribute::~KQoxNodeAttribute()
{
    // The subclass part is gone already, so only the base's channel removal
    // (none) could run here; the node just forgets this attribute.
    if (mNode)
        mNode->ForgetNodeAttribute(this);
}

void KQoxNodeAttribute::SetNode(KQoxNode& node)
{
    mNode = &node;
    const int count = node.GetTakeNodeCount();
    for (int i = 0; i < count; ++i)
    {
        if (KQoxTakeNode* take = node.GetBuiltTakeNode(i))
            AddChannels(take);
        else
            node.AddOwedDefaultChannels(*this);
    }
}

void KQoxNodeAttribute::UnsetNode()
{
    if (!mNode)
        return;
    const int count = mNode->GetTakeNodeCount();
    for (int i = 0; i < count; ++i)
    {
        if (KQoxTakeNode* take = mNode->GetBuiltTakeNode(i))
            RemoveChannels(take);
        else
            mNode->RemoveOwedDefaultChannels(*this);
    }
    mNode = nullptr;
}

void KQoxNodeAttribute::AddChannels(KQoxTakeNode*) {}

void KQoxNodeAttribute::RemoveChannels(KQoxTakeNode*) {}

void KQoxNodeAttribute::FillPropertyList(void*) {}

KString KQoxNodeAttribute::GetTypeName()
{
    return KString("");
}

KStringList KQoxNodeAttribute::GetTypeFlags()
{
    return KStringList();
}

} // namespace qoxsdk_600
