// Import tests: scenes built with the SDK, written to a native file and
// imported through QOXImport into the host stand-in.
#ifndef QOX_TESTS_PLUGIN_IMPORT_TEST_UTIL_H
#define QOX_TESTS_PLUGIN_IMPORT_TEST_UTIL_H

#include "plugin_test_util.h"

#include <functional>

#include "host/zhost.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

class ImportTest : public PluginTest
{
protected:
    using Builder = std::function<void(qoxsdk_600::KQoxSdkManager&, qoxsdk_600::KQoxScene&)>;

    void SetUp() override;

    // Writes the scene the builder makes (with the takes it creates) to
    // "scene.qox" in the test's directory; the file's path.
    std::string Write(const Builder& build, const std::string& name = "scene.qox");
    // QOXImportMode mode, then QOXImport of the file; the transcript is
    // cleared before the import. The import's status.
    ZStatus Import(const std::string& path, const char* mode = "kCreate");
    ZStatus Import(const Builder& build, const char* mode = "kCreate") { return Import(Write(build), mode); }

    // kImportShowUI (dialogs on or off) for the next imports.
    void ShowUI(bool on);

    // Transcript entries of one kind, in order.
    static std::vector<std::string> Entries(zelthost::TranscriptEntry::Kind kind);
    // The script texts that start with prefix.
    static std::vector<std::string> CommandsStarting(const std::string& prefix);
    static std::string Dag() { return zelthost::Host::Get().ListDag(); }
    // getAttr of one value, as its text.
    std::string Attr(const std::string& plug);
};

// Adds a child node named name under parent; its attribute when given.
qoxsdk_600::KQoxNode* AddNode(qoxsdk_600::KQoxSdkManager& manager, qoxsdk_600::KQoxNode* parent, const char* name,
                              qoxsdk_600::KQoxNodeAttribute* attribute = nullptr);

// Creates the take with its information (what the native file stores).
void AddTake(qoxsdk_600::KQoxScene& scene, const char* name);

// A square mesh named node with one material (node + "Paint") and one
// texture layer using texture.
void TexturedMesh(qoxsdk_600::KQoxSdkManager& manager, qoxsdk_600::KQoxScene& scene, const char* node,
                  qoxsdk_600::KQoxTexture* texture);

// A clip named name embedding image, listed in the scene, and a texture of
// that name using it; the texture.
qoxsdk_600::KQoxTexture* EmbeddedTexture(qoxsdk_600::KQoxSdkManager& manager, qoxsdk_600::KQoxScene& scene,
                                         const std::string& name, const std::string& image);

#endif
