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
// Adds the children of node to out, in order (those GetChild lists), read
// the same way.
void KQoxAddChildren(KQoxNode* node, KArrayTemplate<KQoxNode*>& out);
// The child of node at index (from 0, in GetChild's order), null past the
// last; read the same way, so it allocates nothing (a node being freed
// finds its children with it when memory is short).
KQoxNode* KQoxChildAt(KQoxNode* node, int index);

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
        // The first child ends on top.
        const int first = pending.GetCount();
        KQoxAddChildren(current, pending);
        for (int low = first, high = pending.GetCount() - 1; low < high; ++low, --high)
        {
            KQoxNode* swapped = pending[low];
            pending[low] = pending[high];
            pending[high] = swapped;
        }
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
