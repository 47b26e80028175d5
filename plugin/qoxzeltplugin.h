#ifndef QOX_PLUGIN_QOXZELTPLUGIN_H
#define QOX_PLUGIN_QOXZELTPLUGIN_H

// Start-up of the plug-in: the directory it works in, and the entry points
// the host calls.

#include <string>

#include "host/zbase.h"

// The folder of the user's own where the plug-in keeps its settings
// ("registry.txt") and its log when the path list names none:
// "<configHome>/qoxzelt/" when configHome is an absolute path, else
// "<home>/.config/qoxzelt/", home being the given one when it is absolute,
// else the one the user database gives this user; "" when there is none.
std::string QoxZeltUserFolderPath(const char* configHome, const char* home);

// KMakeUserFolder (base/kuserfolder.h): the folder at path made, or found,
// the user's own and checked; false with *why saying what stood in the way.
bool QoxZeltMakeUserFolder(const std::string& path, std::string* why);

// The first ";"-separated entry of the path list that is a writable directory
// holding a file named "qoxzelt..." (any case) with the extension "so"; the
// result ends with one "/". When there is none, the user folder when
// QoxZeltMakeUserFolder accepts it (ending with one "/"), else "" with the
// reason in *why: no folder at all rather than one other users share.
std::string QoxZeltFindPluginDirectory(const char* pathList, const std::string& userFolder, std::string* why = nullptr);
// The same with QoxZeltUserFolderPath($XDG_CONFIG_HOME, $HOME).
std::string QoxZeltFindPluginDirectory(const char* pathList, std::string* why = nullptr);

// The plug-in's log file: the master directory, a separator and
// "qoxzeltlog.txt"; "" when there is no master directory (no log is written).
std::string QoxZeltLogPath();

extern "C" {
ZStatus initializePlugin(ZObject plugin);
ZStatus uninitializePlugin(ZObject plugin);
extern const char ZApiVersion[];
}

#endif
