// The plug-in's import when memory runs out: the command fails with "Out of
// memory" and the host goes on. Each import runs in a new process of this
// binary under an address-space limit (see common/qox_test_limits.h).
#include "plugin_test_util.h"

#include "common/qox_test_limits.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

// 30 meshes of 80 x 80 points, written as a native file.
bool WriteMeshes(const std::string& path)
{
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    const int side = 80;
    for (int k = 0; k < 30; ++k)
    {
        KQoxNode* node = manager.CreateKQoxNode(("Mesh" + std::to_string(k)).c_str());
        KQoxMesh* mesh = manager.CreateKQoxMesh();
        node->SetNodeAttribute(mesh);
        mesh->InitControlPoints(side * side);
        for (int i = 0; i < side * side; ++i)
            mesh->GetControlPoints()[i] = KQoxVector4(i % side, i / side, k, 1);
        for (int y = 0; y + 1 < side; ++y)
            for (int x = 0; x + 1 < side; ++x)
            {
                mesh->BeginPolygon();
                for (int c : {y * side + x, y * side + x + 1, (y + 1) * side + x + 1, (y + 1) * side + x})
                    mesh->AddPolygon(c);
                mesh->EndPolygon();
            }
        scene.GetRootNode()->AddChild(node);
    }
    KQoxExporter exporter(manager);
    return exporter.Initialize(path.c_str()) && exporter.SetFileFormat(eEXPORT_QOX_BINARY) && exporter.Export(scene);
}

// QOXImport of the file in a host with the plug-in loaded, bounded once the
// plug-in is in.
bool ImportUnderLimit(const char* path, std::string& error)
{
    zelthost::Host::Get().Reset();
    if (!zelthost::Host::Get().LoadPlugin(QOXZELT_PATH))
    {
        error = "the plug-in did not load";
        return false;
    }
    // The host stand-in records each command and error after the plug-in
    // returns: a little room is its own, so that at the smallest step only
    // the plug-in runs out.
    qoxtest::LimitedRoom() += 256;
    qoxtest::Bound();
    ZStatus status;
    qoxtest::RunScript(std::string("QOXImport -f \"") + path + "\"", &status);
    error = status ? "" : status.errorString();
    return static_cast<bool>(status);
}

const bool kLimitedWork = qoxtest::AddLimitedWork({{"zimport", qoxtest::LimitedWork(ImportUnderLimit)}});

} // namespace

TEST(PluginOutOfMemory, ImportFailsAndTheHostGoesOn)
{
    QOX_SKIP_UNDER_SANITIZERS();
    qoxtest::TempDir dir;
    const std::string path = dir.File("meshes.qox");
    ASSERT_TRUE(WriteMeshes(path));
    // The imports' settings and logs stay in the test's folder.
    setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
    const qoxtest::LimitedOutcomes outcomes = qoxtest::RunUnderLimits("zimport", path, rlim_t(2) << 20, 20);
    SCOPED_TRACE(outcomes.Describe());
    // From too little to enough: some imports fail for memory, some succeed;
    // a failed one says why.
    EXPECT_GT(outcomes.mDone, 0);
    EXPECT_GT(outcomes.mFailed.count("failed: QOXImport: Out of memory"), 0u);
    for (const auto& failed : outcomes.mFailed)
        EXPECT_TRUE(failed.first == "failed: QOXImport: Out of memory" ||
                    failed.first == "failed: QOXImport: File is corrupted")
            << failed.first;
}
