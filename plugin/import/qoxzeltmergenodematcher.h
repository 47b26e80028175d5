#ifndef QOX_PLUGIN_IMPORT_QOXZELTMERGENODEMATCHER_H
#define QOX_PLUGIN_IMPORT_QOXZELTMERGENODEMATCHER_H

// QoxZeltMergeNodeMatcher: ties the nodes of an imported scene to existing
// host nodes. The manager that made it owns it; the matching itself belongs
// to the import.

class QoxZeltSdkManager;

class QoxZeltMergeNodeMatcher
{
public:
    explicit QoxZeltMergeNodeMatcher(QoxZeltSdkManager& manager)
        : mManager(manager)
    {}
    virtual ~QoxZeltMergeNodeMatcher() = default;
    QoxZeltSdkManager& GetSdkManager() const { return mManager; }

private:
    QoxZeltSdkManager& mManager;
};

#endif
