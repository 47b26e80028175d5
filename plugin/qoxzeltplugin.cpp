// The entry points the host calls when it loads and unloads the plug-in.
#include "plugin/qoxzeltplugin.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <new>
#include <string>

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
// Told when something stands at the settings file's name that is not read as
// settings, followed by its path and the cause; it is left as it is.
const char kFileNotReadWarning[] = "The settings are kept in memory only and their file is neither read nor replaced: ";
// Told when the settings could not be saved at unloading, followed by the
// file and the cause.
const char kNotSavedWarning[] = "The settings could not be saved, their file is left as it was: ";

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

// "Out of memory" told to the host (when even that can be had) and given
// back as the status.
ZStatus OutOfMemory()
{
    try
    {
        ZGlobal::displayError("Out of memory");
    }
    catch (const std::bad_alloc&)
    {
        // Not even the message could be had; the status still tells.
    }
    return ZStatus(ZStatus::kFailure, "Out of memory");
}

ZStatus Start(ZObject object)
{
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

    const QoxZeltUserParams& params = QoxZeltUserParams::Instance();
    if (!params.WhyNotRead().empty())
        ZGlobal::displayWarning(ZString(std::string(kFileNotReadWarning) + params.WhyNotRead()));
    for (const std::string& note : params.LoadNotes())
        ZGlobal::displayWarning(ZString(note));

    ZStatus st = plugin.registerFileTranslator(QoxZeltTranslator::kName, "none", QoxZeltTranslator::Create);
    if (!st)
    {
        st.perror("registerFileTranslator");
        return st;
    }
    return QoxZeltRegisterCommands(plugin);
}

} // namespace

extern "C" ZStatus initializePlugin(ZObject object)
{
    StayLoaded();
    // A start that memory cuts short fails the load: the host goes on
    // without the plug-in, and its settings go unsaved, the file as it was.
    ZStatus st;
    bool memory = true;
    try
    {
        st = Start(object);
    }
    catch (const std::bad_alloc&)
    {
        memory = false;
    }
    if (memory && st)
        return st;
    QoxZeltUserParams::ReleaseInstance(false);
    return memory ? st : OutOfMemory();
}

extern "C" ZStatus uninitializePlugin(ZObject object)
{
    ZStatus st;
    bool memory = true;
    try
    {
        ZFnPlugin plugin(object);
        st = plugin.deregisterFileTranslator(QoxZeltTranslator::kName);
        if (!st)
            st.perror("deregisterFileTranslator");
        ZStatus commands = QoxZeltDeregisterCommands(plugin);
        if (st)
            st = commands;
    }
    catch (const std::bad_alloc&)
    {
        memory = false;
    }
    // The settings go in any case, saved when memory allows; a save that
    // fails otherwise is told.
    std::string whyNotSaved;
    if (!QoxZeltUserParams::ReleaseInstance(true, &whyNotSaved))
        memory = false;
    if (memory && !whyNotSaved.empty())
    {
        try
        {
            ZGlobal::displayWarning(ZString(kNotSavedWarning + whyNotSaved));
        }
        catch (const std::bad_alloc&)
        {
            memory = false;
        }
    }
    return memory ? st : OutOfMemory();
}
