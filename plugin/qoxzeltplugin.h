#ifndef QOX_PLUGIN_QOXZELTPLUGIN_H
#define QOX_PLUGIN_QOXZELTPLUGIN_H

// Start-up of the plug-in: the directory it works in, and the entry points
// the host calls.

#include <string>

#include "host/zbase.h"

// The first ";"-separated entry of the path list that is a writable directory
// holding a file named "qoxzelt..." (any case) with the extension "so"; the
// result ends with one "/". "/usr/tmp/" when there is none.
std::string QoxZeltFindPluginDirectory(const char* pathList);

// The plug-in's log file: the master directory, a separator and "qoxzeltlog.txt".
std::string QoxZeltLogPath();

extern "C" {
ZStatus initializePlugin(ZObject plugin);
ZStatus uninitializePlugin(ZObject plugin);
extern const char ZApiVersion[];
}

#endif
