#ifndef QOX_SCENE_KQOXPATH_H
#define QOX_SCENE_KQOXPATH_H

// Where a node stands in its hierarchy: the chain of child indices from its
// top ancestor down to the node. Paths compare by their indices alone, so
// paths in different trees can be matched, and replay from the top ancestor.

#include "base/karray.h"

namespace qoxsdk_600 {

class KQoxNode;

class KQoxPath
{
public:
    KQoxPath();
    explicit KQoxPath(KQoxNode* node);
    KQoxPath(KQoxPath& other);
    ~KQoxPath();

    void Set(KQoxNode* node);
    void Set(KQoxPath& other);
    KQoxPath& operator=(KQoxPath& other);

    KQoxNode* GetNode() const { return mNode; }
    KQoxNode* GetRootNode() const { return mRootNode; }
    int GetParentCount() const { return mLevels.GetCount(); }
    // The node reached from the top ancestor through the first `level`
    // indices: the top ancestor for 0 or less, the node itself for
    // GetParentCount(). Levels beyond the count stop at the last one; a tree
    // changed since the path was set may give null.
    KQoxNode* GetParentNode(int level);
    KQoxNode* operator[](int level) { return GetParentNode(level); }
    // The full name of GetParentNode(level), or null.
    char* GetParentNodeName(int level);

    // Same number of levels and the same index at each.
    bool operator==(KQoxPath& other);

private:
    KQoxNode* mNode;
    KQoxNode* mRootNode;
    KArrayTemplate<int> mLevels;
};

} // namespace qoxsdk_600

#endif
