#ifndef QOX_PLUGIN_QOXZELTPLUGIN_H
#define QOX_PLUGIN_QOXZELTPLUGIN_H

// Start-up of the plug-in: the directory it works in, and the entry points
// the host calls.

#include <string>
#include <vector>

#include "host/zbase.h"

// The first ";"-separated entry of the path list that is a writable directory
// holding a file named "qoxzelt..." (any case) with the extension "so"; the
// result ends with one "/". When there is none, the first of the fallbacks
// that is a writable directory, else the last fallback ("/usr/tmp/" when
// there are none), again ending with one "/".
std::string QoxZeltFindPluginDirectory(const char* pathList, const std::vector<std::string>& fallbacks);
// The same with the fallbacks of QoxZeltFallbackDirectories($TMPDIR).
std::string QoxZeltFindPluginDirectory(const char* pathList);

// The folders the plug-in works in when the path list names none: "/usr/tmp/",
// the temporary directory given (skipped when null or empty), "/tmp/".
std::vector<std::string> QoxZeltFallbackDirectories(const char* temporaryDirectory);

// The plug-in's log file: the master directory, a separator and "qoxzeltlog.txt".
std::string QoxZeltLogPath();

extern "C" {
ZStatus initializePlugin(ZObject plugin);
ZStatus uninitializePlugin(ZObject plugin);
extern const char ZApiVersion[];
}

#endif
