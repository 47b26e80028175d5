#ifndef QOX_PLUGIN_IMPORT_QOXZELTIMPORT_H
#define QOX_PLUGIN_IMPORT_QOXZELTIMPORT_H

// QoxZeltImport: one native file opened for import into the host. It owns
// its SDK manager and, through OpenProject, the importer that the take
// queries read.

#include <memory>

#include "base/kstring.h"
#include "host/zbase.h"
#include "plugin/qoxzeltsdkmanager.h"
#include "scene/kqoxpluginbase.h"

namespace qoxsdk_600 {
class KQoxImporter;
class KQoxScene;
} // namespace qoxsdk_600

class QoxZeltNode;

class QoxZeltImport : public qoxsdk_600::KQoxPluginImportBase
{
public:
    QoxZeltImport();
    ~QoxZeltImport() override;

    // Opens the file: a new importer initialised with the name (its header,
    // version and takes are read now). Always success; a file that cannot be
    // opened shows as no takes and as the importer's error.
    ZStatus OpenProject(const ZString& fileName);
    // Drops the importer and any scene; always success.
    ZStatus CloseProject();
    void SetTakeName(const char* name) { mTakeName = name ? name : ""; }
    const KString& GetTakeName() const { return mTakeName; }
    // Reads the selected take into a scene and creates the host objects.
    ZStatus Import();

    // The text after the first "-f" argument; empty when there is none.
    static KString parseArgs(const ZArgList& args, ZStatus* status = nullptr);

    qoxsdk_600::KQoxImporter* GetImporter() { return mImporter.get(); }
    QoxZeltSdkManager& GetSdkManager() { return mManager; }

    void ComputeWorldTransform(KgeAMatrix& world) override;

private:
    QoxZeltSdkManager mManager;
    std::unique_ptr<qoxsdk_600::KQoxImporter> mImporter;
    QoxZeltNode* mRootNode;
    qoxsdk_600::KQoxScene* mScene;
    KString mTakeName;
};

#endif
