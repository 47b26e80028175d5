#ifndef QOX_SCENE_KQOXNODE_WALK_H
#define QOX_SCENE_KQOXNODE_WALK_H

// Depth-first walks of node trees without recursion, so that hierarchies of
// any depth never exhaust the stack. Visiting order is the recursive one: a
// node, then each child's subtree in child order.

#include "base/karray.h"
#include "scene/kqoxnode.h"

namespace qoxsdk_600 {

// Whether node has a child, read from its node table's sources: what its
// children view would hold, without making the view (a node that only
// joins a tree then makes none, which each later connection of the node
// would have to keep in step).
bool KQoxHasChild(KQoxNode* node);

// Calls visit(node) on node and its subtree in pre-order. When visit returns
// false the walk stops and false is returned.
template <class Visit>
bool KQoxWalkPreOrder(KQoxNode* node, Visit visit)
{
    if (!node)
        return true;
    KArrayTemplate<KQoxNode*> pending;
    pending.Add(node);
    while (pending.GetCount() > 0)
    {
        KQoxNode* current = pending.RemoveLast();
        if (!visit(current))
            return false;
        for (int i = current->GetChildCount(false) - 1; i >= 0; --i)
            if (KQoxNode* child = current->GetChild(i))
                pending.Add(child);
    }
    return true;
}

// The subtree of node (node first) in pre-order.
inline void KQoxCollectPreOrder(KQoxNode* node, KArrayTemplate<KQoxNode*>& out)
{
    KQoxWalkPreOrder(node, [&out](KQoxNode* n) {
        out.Add(n);
        return true;
    });
}

} // namespace qoxsdk_600

#endif
