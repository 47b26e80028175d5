// The SDK manager's operations on nodes and node attributes.

#include "scene/kqoxnode.h"
#include "scene/kqoxnodeattribute.h"
#include "scene/kqoxnode_walk.h"
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
            // The children in order, each found afresh without allocating:
            // each destruction disconnects one, so the next comes first; a
            // child this manager does not hold stays and is passed over.
            ++mNestedDestroy;
            int kept = 0;
            while (KQoxNode* child = KQoxChildAt(pNode, kept))
            {
                if (!DestroyKQoxNode(child, true))
                    result = false;
                if (KQoxChildAt(pNode, kept) == child)
                    ++kept;
            }
            --mNestedDestroy;
        }
        else if (!DestroyDeepSubtrees(pNode))
            result = false;
        DestroyAttributeOf(pNode, result);
    }
    DisposeObject<KQoxNode, true>(pNode);
    return result;
}

void KQoxSdkManager::DestroyAttributeOf(KQoxNode* pNode, bool& pResult)
{
    if (KQoxNodeAttribute* attribute = pNode->GetNodeAttribute())
    {
        pNode->SetNodeAttribute(nullptr);
        if (!DestroyKQoxNodeAttribute(attribute))
            pResult = false;
    }
}

bool KQoxSdkManager::DestroyDeepSubtrees(KQoxNode* pNode)
{
    // The children's subtrees go children first, in child order, as nested
    // calls would take them. A child this manager does not hold fails and
    // keeps its subtree. Walked through the parent links, with no stack to
    // grow: a node's first child still listed is entered (and unlisted); a
    // node without one is destroyed, which disconnects it, and its parent
    // is taken up again.
    bool result = true;
    KQoxNode* node = pNode;
    for (;;)
    {
        KQoxNode* next = nullptr;
        for (int i = 0; !next; ++i)
        {
            KQoxNode* child = KQoxChildAt(node, i);
            if (!child)
                break;
            if (RemoveListed(mNodes, child))
                next = child;
            else
                result = false;
        }
        if (next)
        {
            node = next;
            continue;
        }
        if (node == pNode)
            break; // the caller finishes the node itself
        KQoxNode* parent = node->GetParent();
        DestroyAttributeOf(node, result);
        DisposeObject<KQoxNode, true>(node);
        node = parent;
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
