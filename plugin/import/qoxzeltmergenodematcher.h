#ifndef QOX_PLUGIN_IMPORT_QOXZELTMERGENODEMATCHER_H
#define QOX_PLUGIN_IMPORT_QOXZELTMERGENODEMATCHER_H

// QoxZeltMergeNodeMatcher: pairs the nodes of an imported SDK scene with the
// host DAG nodes that already stand for them (same name and namespace, and
// the same ancestry where a name is shared), once per import, before any
// host node is made. A pairing lives on the SDK node only: its host DAG path,
// its merge-matched flag, the shape object of a camera or light, and the
// map from user-property labels to existing host attributes. The manager that
// made the matcher owns it; the matcher owns nothing.

#include "host/zbase.h"
#include "host/zdag.h"

namespace qoxsdk_600 {
class KQoxNode;
class KQoxPath;
class KQoxPluginBase;
class KQoxUserProperty;
} // namespace qoxsdk_600

class QoxZeltNode;
class QoxZeltSdkManager;

class QoxZeltMergeNodeMatcher
{
public:
    explicit QoxZeltMergeNodeMatcher(QoxZeltSdkManager& manager)
        : mManager(manager)
    {}
    QoxZeltSdkManager& GetSdkManager() const { return mManager; }
    // The plug-in object of the import that runs the matching.
    void SetPluginBase(qoxsdk_600::KQoxPluginBase* plugin) { mPluginBase = plugin; }
    qoxsdk_600::KQoxPluginBase* GetPluginBase() const { return mPluginBase; }

    // Pairs the SDK nodes under root with the host DAG paths of the type
    // filter (0: every node), in the host's depth-first order. Always success.
    ZStatus Apply(qoxsdk_600::KQoxNode* root, ZFn::Type filter);
    // Whether some instance path of the host node at the end of path has the
    // ancestry of node.
    bool FindPathEquivalent(qoxsdk_600::KQoxNode* node, ZDagPath& path);
    // The node's ancestors, from its parent up, against the host path's
    // (namespaces removed on the host side); a top "Model::RootNode" stands
    // for the world and is skipped.
    bool ComparePath(qoxsdk_600::KQoxPath& sdkPath, ZDagPath path);
    // Maps the node's user properties onto existing host attributes of a
    // matching numeric type, under the label or the label followed by 1 to 10.
    void ResolveUserPropertyNames(qoxsdk_600::KQoxNode* node);
    bool UserPropertyTypesMatch(qoxsdk_600::KQoxUserProperty* property, ZObject& attribute);

    // Set by the caller before Apply: the import object, asked which nodes
    // are root wrappers. Not owned.
    qoxsdk_600::KQoxPluginBase* mPluginBase = nullptr;

private:
    QoxZeltSdkManager& mManager;
};

// True when node is the plug-in's root wrapper and none of its children is
// named like a direct child of the host node at the end of path: such a
// pairing is refused.
bool IsHalvekPatch(ZDagPath& path, QoxZeltNode* node, qoxsdk_600::KQoxPluginBase* plugin);

#endif
