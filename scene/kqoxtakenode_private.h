#ifndef QOX_SCENE_KQOXTAKENODE_PRIVATE_H
#define QOX_SCENE_KQOXTAKENODE_PRIVATE_H

// Helpers shared by the take node and the take-node container.

class KFCurveNode;

namespace qoxsdk_600 {

// Name of the root curve node of every take node.
extern const char* const kTakeNodeRootName;
// Name of the take that mirrors the property values.
extern const char* const kDefaultTakeName;

// Depth-first search below pNode (pNode itself excluded) for a curve node of
// that name, compared without regard to case. Channel names may hold '/',
// which the curve node's path search would read as a separator, so such a
// name is matched whole.
KFCurveNode* FindChannelNode(KFCurveNode* pNode, const char* pName);

} // namespace qoxsdk_600

#endif
