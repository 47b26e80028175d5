#ifndef QOX_PLUGIN_QOXZELTSDKMANAGER_H
#define QOX_PLUGIN_QOXZELTSDKMANAGER_H

// QoxZeltSdkManager: the SDK manager of the plug-in. Its nodes are
// QoxZeltNode objects; it owns one merge node matcher, made on first request.

#include <memory>

#include "scene/kqoxsdkmanager.h"

class QoxZeltNode;
class QoxZeltMergeNodeMatcher;
class ZDagPath;

class QoxZeltSdkManager : public qoxsdk_600::KQoxSdkManager
{
public:
    enum EMode
    {
        eEXPORT = 0,
        eIMPORT = 1
    };

    explicit QoxZeltSdkManager(int mode);
    // Destroys the matcher, then every object the manager holds.
    ~QoxZeltSdkManager() override;

    int GetMode() const { return mMode; }

    // A new listed node with the name ("Model::" prefixed) and path (null allowed).
    QoxZeltNode* CreateQoxZeltNode(const char* name, ZDagPath* path);
    // The manager's matcher, made on the first call.
    QoxZeltMergeNodeMatcher* CreateQoxZeltMergeNodeMatcher();
    // Destroys the manager's own matcher, whatever the argument; true when there was one.
    bool DestroyQoxZeltMergeNodeMatcher(QoxZeltMergeNodeMatcher* matcher);

    // For every listed node: records the namespace of its initial name (the
    // text between "Model::" and the next ":") in the node and takes that
    // "ns:" off the node's names; then makes the names host names (import)
    // or file names (export) and unique, and renames the node entries of the
    // poses to match.
    void ResolveNameClashing();

protected:
    qoxsdk_600::KQoxNode* AllocateKQoxNode(const char* name) override;

private:
    int mMode;
    std::unique_ptr<QoxZeltMergeNodeMatcher> mMatcher;
};

#endif
