#ifndef QOX_PLUGIN_IMPORT_QOXZELTMERGENODEMATCHER_H
#define QOX_PLUGIN_IMPORT_QOXZELTMERGENODEMATCHER_H

// QoxZeltMergeNodeMatcher: ties the nodes of an imported scene to existing
// host nodes. The manager that made it owns it; the matching itself belongs
// to the import.

#include "host/zbase.h"

namespace qoxsdk_600 {
class KQoxNode;
class KQoxPluginBase;
} // namespace qoxsdk_600
class QoxZeltSdkManager;

class QoxZeltMergeNodeMatcher
{
public:
    explicit QoxZeltMergeNodeMatcher(QoxZeltSdkManager& manager)
        : mManager(manager)
    {}
    virtual ~QoxZeltMergeNodeMatcher() = default;
    QoxZeltSdkManager& GetSdkManager() const { return mManager; }
    // The plug-in object of the import that runs the matching.
    void SetPluginBase(qoxsdk_600::KQoxPluginBase* plugin) { mPlugin = plugin; }
    qoxsdk_600::KQoxPluginBase* GetPluginBase() const { return mPlugin; }

    // Ties the SDK nodes below root to the host DAG nodes of the same name
    // (filter 0: every node type); always success.
    ZStatus Apply(qoxsdk_600::KQoxNode* root, ZFn::Type filter);

private:
    QoxZeltSdkManager& mManager;
    qoxsdk_600::KQoxPluginBase* mPlugin = nullptr;
};

#endif
