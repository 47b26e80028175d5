// The SDK manager's operations on nodes and node attributes.

#include "scene/kqoxnode.h"
#include "scene/kqoxnodeattribute.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

KQoxNode* KQoxSdkManager::CreateKQoxNode(const char* pName)
{
    KString name = PrefixName("Model::", pName);
    return AddCreated<KQoxNode, true>(mNodes, AllocateKQoxNode(name.Buffer()), mNodeRenamingStrategy);
}

KQoxNode* KQoxSdkManager::AllocateKQoxNode(const char* pName)
{
    return new KQoxNode(*this, pName);
}

KQoxNodeAttribute* KQoxSdkManager::AddCreatedNodeAttribute(KQoxNodeAttribute* pAttribute)
{
    return AddCreated(mNodeAttributes, pAttribute);
}

namespace {

// Nesting of recursive node destructions. Up to this depth children go
// through the virtual DestroyKQoxNode, so a subclass sees each of them;
// deeper subtrees are taken with an explicit stack instead, so that no
// hierarchy can exhaust the call stack. Each manager counts its own nesting.
const int kMaxNestedDestroy = 256;

} // namespace

bool KQoxSdkManager::DestroyKQoxNode(KQoxNode* pNode, bool pRecursive)
{
    if (!RemoveListed(mNodes, pNode))
        return false;
    bool result = true;
    if (pRecursive)
    {
        if (mNestedDestroy < kMaxNestedDestroy)
        {
            // The children are taken first: each destruction disconnects one.
            KArrayTemplate<KQoxNode*> children;
            for (int i = 0; i < pNode->GetChildCount(false); ++i)
                children.Add(pNode->GetChild(i));
            ++mNestedDestroy;
            for (int i = 0; i < children.GetCount(); ++i)
                if (!DestroyKQoxNode(children[i], true))
                    result = false;
            --mNestedDestroy;
        }
        else if (!DestroyDeepSubtrees(pNode))
            result = false;
        if (KQoxNodeAttribute* attribute = pNode->GetNodeAttribute())
        {
            pNode->SetNodeAttribute(nullptr);
            if (!DestroyKQoxNodeAttribute(attribute))
                result = false;
        }
    }
    DisposeObject<KQoxNode, true>(pNode);
    return result;
}

bool KQoxSdkManager::DestroyDeepSubtrees(KQoxNode* pNode)
{
    // The children's subtrees go children first, in child order, as nested
    // calls would take them. A child this manager does not hold fails and
    // keeps its subtree.
    struct Frame
    {
        KQoxNode* mNode;
        int mNext;
        KArrayTemplate<KQoxNode*>* mChildren;
    };
    bool result = true;
    KArrayTemplate<Frame> stack;
    auto push = [&stack](KQoxNode* node) {
        auto* children = new KArrayTemplate<KQoxNode*>;
        for (int i = 0; i < node->GetChildCount(false); ++i)
            children->Add(node->GetChild(i));
        stack.Add(Frame{node, 0, children});
    };
    push(pNode);
    while (stack.GetCount() > 0)
    {
        Frame& top = stack[stack.GetCount() - 1];
        if (top.mNext < top.mChildren->GetCount())
        {
            KQoxNode* child = (*top.mChildren)[top.mNext++];
            if (RemoveListed(mNodes, child))
                push(child);
            else
                result = false;
            continue;
        }
        KQoxNode* node = top.mNode;
        delete top.mChildren;
        stack.RemoveLast();
        if (node == pNode)
            break; // the caller finishes the node itself
        if (KQoxNodeAttribute* attribute = node->GetNodeAttribute())
        {
            node->SetNodeAttribute(nullptr);
            if (!DestroyKQoxNodeAttribute(attribute))
                result = false;
        }
        DisposeObject<KQoxNode, true>(node);
    }
    return result;
}

bool KQoxSdkManager::DestroyKQoxNodeAttribute(KQoxNodeAttribute* pAttribute)
{
    if (!RemoveListed(mNodeAttributes, pAttribute))
        return false;
    if (KQoxNode* node = pAttribute->GetNode())
        node->SetNodeAttribute(nullptr);
    DisposeObject<KQoxNodeAttribute, false>(pAttribute);
    return true;
}

KQoxNode* KQoxSdkManager::FindKQoxNode(const char* pName, int pIndex)
{
    return FindNamed(mNodes, "Model::", pName, pIndex);
}

} // namespace qoxsdk_600
