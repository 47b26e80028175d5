#ifndef ZELT_HOST_ZINTERP_PRIVATE_H
#define ZELT_HOST_ZINTERP_PRIVATE_H

// The interpreter's command table and the plug-in registry.

#include "host/zplugin.h"
#include "host/zscript.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zelthost {

using Result = std::vector<std::string>;
using CommandHandler = ZStatus (*)(const ScriptCommand& cmd, Result& result);

// A built-in command, or null.
CommandHandler FindBuiltin(const std::string& name);

struct PluginRep
{
    std::string path, name;
    std::string vendor = "Unknown", version = "Unknown", apiVersion = "Any";
    void* handle = nullptr;
};

struct TranslatorEntry
{
    ZFnPlugin::CreatorFunction creator = nullptr;
    std::string pixmap, optionsScript, defaultOptions;
    PluginRep* plugin = nullptr;
};

struct Registry
{
    std::map<std::string, std::pair<ZFnPlugin::CreatorFunction, PluginRep*>> commands;
    std::map<std::string, TranslatorEntry> translators;
    std::vector<std::unique_ptr<PluginRep>> plugins;
    Result result; // the result of the plug-in command running now
};

Registry& GetRegistry();

// Runs a registered plug-in command; found tells whether one exists.
ZStatus RunPluginCommand(const std::string& name, const std::vector<std::string>& args, Result& result, bool& found);
// Whether a loaded plug-in registered the command.
bool PluginCommandExists(const std::string& name);
// Runs the reader or writer of a registered translator on a file.
ZStatus RunTranslator(const std::string& name, const std::string& path, const std::string& options,
                      ZPxFileTranslator::FileAccessMode mode);
// The translator for a file: by name, or else by its extension.
std::string FindTranslatorFor(const std::string& path, bool forWriting);

// Runs every command of a parsed script; stops at the first failure, whose
// status comes back with the command's name in front of its text.
ZStatus RunCommands(const std::vector<ScriptCommand>& commands, Result& result);

void ResetUnits();

} // namespace zelthost

#endif
