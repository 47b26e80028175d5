#include "plugin_test_util.h"

#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakeinfo.h"

using namespace qoxsdk_600;

namespace {

KTime Seconds(double seconds)
{
    KTime time;
    time.SetSecondDouble(seconds);
    return time;
}

} // namespace

bool WriteTakeFile(const std::string& path, bool ascii)
{
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    scene.GetRootNode()->AddChild(manager.CreateKQoxNode("cube"));
    const struct
    {
        const char* mName;
        const char* mComment;
        double mLocal[2];
        double mReference[2];
    } takes[] = {{"Walk", "slow", {1.0, 3.0}, {0.0, 4.0}}, {"Run", "", {0.5, 2.0}, {0.5, 2.0}}};
    for (const auto& take : takes)
    {
        if (!scene.CreateTake(take.mName))
            return false;
        KQoxTakeInfo info;
        info.Name = take.mName;
        info.Comments = take.mComment;
        info.LocalTimeSpan.Set(Seconds(take.mLocal[0]), Seconds(take.mLocal[1]));
        info.ReferenceTimeSpan.Set(Seconds(take.mReference[0]), Seconds(take.mReference[1]));
        if (!scene.SetTakeInfo(info))
            return false;
    }
    scene.SetCurrentTake("Run");
    KQoxExporter exporter(manager);
    exporter.Initialize(path.c_str());
    exporter.SetFileFormat(ascii ? eEXPORT_QOX_ASCII : eEXPORT_QOX_BINARY);
    return exporter.Export(scene);
}
