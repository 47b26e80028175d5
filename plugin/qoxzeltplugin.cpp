// The entry points the host calls when it loads and unloads the plug-in.
#include "plugin/qoxzeltplugin.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

#include "base/knumbertext.h"
#include "base/kpath.h"
#include "host/zglobal.h"
#include "plugin/qoxzeltcommands.h"
#include "plugin/qoxzeltuserparams.h"

extern "C" const char ZApiVersion[] = "6.0";

namespace {

// Told when no folder of the user's own can be had, followed by what stood in
// the way.
const char kNoFolderWarning[] = "The settings are kept in memory only and no log is written: ";

// The plug-in stays mapped once loaded: the SDK keeps its handle blocks for
// handles that may outlive their plugs, and unmapping would lose them. A
// later load of the same file starts the plug-in again in the same copy.
void StayLoaded()
{
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&initializePlugin), &info) && info.dli_fname)
        if (void* self = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE))
            dlclose(self);
}

} // namespace

extern "C" ZStatus initializePlugin(ZObject object)
{
    StayLoaded();
    char apiVersion[16];
    KPrintDouble(apiVersion, sizeof(apiVersion), ZGlobal::apiVersion().asDouble(), 'f', 1);
    ZFnPlugin plugin(object, "Dunel", "6.0.2", apiVersion);

    std::string why;
    const std::string directory = QoxZeltFindPluginDirectory(getenv("ZELT_PLUG_IN_PATH"), &why);
    if (directory.empty())
        ZGlobal::displayWarning(ZString(std::string(kNoFolderWarning) + why));
    // An empty directory: the settings stay in memory and no log is written.
    KLib_SetMasterDirectory(directory.c_str());
    KLib_SetConfigDirectory(directory.c_str());

    QoxZeltUserParams::Instance();

    ZStatus st = plugin.registerFileTranslator(QoxZeltTranslator::kName, "none", QoxZeltTranslator::Create);
    if (!st)
    {
        st.perror("registerFileTranslator");
        return st;
    }
    return QoxZeltRegisterCommands(plugin);
}

extern "C" ZStatus uninitializePlugin(ZObject object)
{
    ZFnPlugin plugin(object);
    ZStatus st = plugin.deregisterFileTranslator(QoxZeltTranslator::kName);
    if (!st)
        st.perror("deregisterFileTranslator");
    ZStatus commands = QoxZeltDeregisterCommands(plugin);
    QoxZeltUserParams::ReleaseInstance();
    return st ? commands : st;
}
