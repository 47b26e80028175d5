#ifndef QOX_SCENE_KQOXREPLACEPIVOT_H
#define QOX_SCENE_KQOXREPLACEPIVOT_H

// Pre- and post-rotations carried by extra nodes, for files and hosts that
// know no pivots.
//
// Export gives a node with a pre-rotation a parent named after it with
// "__Pre_" (its pre-rotation as a plain rotation, its translation and the
// translation curves of every take), and a node with a post-rotation a sole
// child named with "__Post_" (its post-rotation) above its former children.
// Import folds nodes so named back into pre- and post-rotations. Both read
// and write the source pivot set; the set argument is only passed on.

#include "scene/kqoxnode.h"

namespace qoxsdk_600 {

class KQoxSdkManager;

// Rewrites the hierarchy under pNode (pNode included); the manager makes the
// extra nodes. True when pNode itself had a pre- or post-rotation and was
// rewritten; false for a null node.
bool ReplacePivotExport(KQoxNode* pNode, KQoxNode::EPivotSet pPivotSet, KQoxSdkManager& pManager);

// Folds the extra nodes found under pNode back into the nodes they stand
// for; every child that had none gets both pivot sets active. The folded
// nodes are destroyed through the manager once they are out of the
// hierarchy and hold nothing. Nothing happens for a null node.
void ReplacePivotImport(KQoxNode* pNode, KQoxNode::EPivotSet pPivotSet, KQoxSdkManager& pManager);

} // namespace qoxsdk_600

#endif
