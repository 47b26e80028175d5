// Plug-ins: loading shared objects, registering commands and translators.
#include "host/zplugin.h"
#include "host/zhost.h"
#include "host/zinterp_private.h"
#include "host/zscene_private.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>

namespace zelthost {

Registry& GetRegistry()
{
    static Registry registry;
    return registry;
}

namespace {

PluginRep* PluginOf(const ZObject& object)
{
    const auto& rep = object.rep();
    return rep && rep->kind == ObjectRep::kPlugin ? rep->plugin : nullptr;
}

ZStatus NoPlugin()
{
    return ZStatus(ZStatus::kInvalidParameter, "the object is not a plug-in");
}

void Forget(PluginRep* plugin)
{
    Registry& r = GetRegistry();
    for (auto it = r.commands.begin(); it != r.commands.end();)
        it = it->second.second == plugin ? r.commands.erase(it) : std::next(it);
    for (auto it = r.translators.begin(); it != r.translators.end();)
        it = it->second.plugin == plugin ? r.translators.erase(it) : std::next(it);
}

std::string FileStem(const std::string& path)
{
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

typedef ZStatus (*EntryPoint)(ZObject);

} // namespace

bool PluginCommandExists(const std::string& name)
{
    return GetRegistry().commands.count(name) != 0;
}

ZStatus RunPluginCommand(const std::string& name, const std::vector<std::string>& args, Result& result, bool& found)
{
    Registry& r = GetRegistry();
    auto it = r.commands.find(name);
    found = it != r.commands.end();
    if (!found)
        return ZStatus(ZStatus::kNotFound, "Cannot find procedure \"" + name + "\"");
    std::unique_ptr<ZPxCommand> command(static_cast<ZPxCommand*>(it->second.first()));
    if (!command)
        return ZStatus(ZStatus::kFailure, "the command could not be created");
    // A command may run script texts that run commands: keep the outer result.
    Result saved;
    saved.swap(r.result);
    ZStatus st = command->doIt(ZArgList(args));
    result.swap(r.result);
    r.result.swap(saved);
    return st;
}

std::string FindTranslatorFor(const std::string& path, bool forWriting)
{
    Registry& r = GetRegistry();
    size_t dot = path.rfind('.');
    std::string ext = dot == std::string::npos ? std::string() : path.substr(dot + 1);
    for (auto& entry : r.translators)
    {
        std::unique_ptr<ZPxFileTranslator> t(static_cast<ZPxFileTranslator*>(entry.second.creator()));
        if (!t || (forWriting ? !t->haveWriteMethod() : !t->haveReadMethod()))
            continue;
        if (!ext.empty() && strcasecmp(t->defaultExtension().asChar(), ext.c_str()) == 0)
            return entry.first;
    }
    return std::string();
}

ZStatus RunTranslator(const std::string& name, const std::string& path, const std::string& options,
                      ZPxFileTranslator::FileAccessMode mode)
{
    Registry& r = GetRegistry();
    auto it = r.translators.find(name);
    if (it == r.translators.end())
        return ZStatus(ZStatus::kNotFound, "No file translator named \"" + name + "\"");
    std::unique_ptr<ZPxFileTranslator> t(static_cast<ZPxFileTranslator*>(it->second.creator()));
    if (!t)
        return ZStatus(ZStatus::kFailure, "the translator could not be created");
    bool writing = mode == ZPxFileTranslator::kSaveAccessMode || mode == ZPxFileTranslator::kExportAccessMode ||
                   mode == ZPxFileTranslator::kExportActiveAccessMode;
    if (writing ? !t->haveWriteMethod() : !t->haveReadMethod())
        return ZStatus(ZStatus::kFailure, "the translator \"" + name + "\" cannot " + (writing ? "write" : "read"));
    ZFileObject file(path);
    return writing ? t->writer(file, options, mode) : t->reader(file, options, mode);
}

} // namespace zelthost

using namespace zelthost;

// ---- ZPxCommand ----

void ZPxCommand::clearResult()
{
    GetRegistry().result.clear();
}

void ZPxCommand::setResult(const ZString& text)
{
    GetRegistry().result = {text.str()};
}

void ZPxCommand::setResult(int value)
{
    setResult(ZString(std::to_string(value)));
}

void ZPxCommand::setResult(double value)
{
    ZString s;
    s += value;
    setResult(s);
}

void ZPxCommand::setResult(bool value)
{
    setResult(value ? 1 : 0);
}

void ZPxCommand::appendToResult(const ZString& text)
{
    GetRegistry().result.push_back(text.str());
}

void ZPxCommand::appendToResult(int value)
{
    appendToResult(ZString(std::to_string(value)));
}

void ZPxCommand::appendToResult(double value)
{
    ZString s;
    s += value;
    appendToResult(s);
}

void ZPxCommand::displayError(const ZString& text)
{
    Host::Get().Record(TranscriptEntry::kError, text.str());
}

void ZPxCommand::displayWarning(const ZString& text)
{
    Host::Get().Record(TranscriptEntry::kWarning, text.str());
}

void ZPxCommand::displayInfo(const ZString& text)
{
    Host::Get().Record(TranscriptEntry::kInfo, text.str());
}

// ---- ZPxFileTranslator ----

ZStatus ZPxFileTranslator::reader(const ZFileObject&, const ZString&, FileAccessMode)
{
    return ZStatus(ZStatus::kNotImplemented, "the translator has no reader");
}

ZStatus ZPxFileTranslator::writer(const ZFileObject&, const ZString&, FileAccessMode)
{
    return ZStatus(ZStatus::kNotImplemented, "the translator has no writer");
}

ZPxFileTranslator::ZFileKind ZPxFileTranslator::identifyFile(const ZFileObject& file, const char*, short) const
{
    std::string path = file.fullName().str();
    std::string ext = defaultExtension().str();
    if (!ext.empty() && path.size() > ext.size() + 1 &&
        strcasecmp(path.c_str() + path.size() - ext.size(), ext.c_str()) == 0 &&
        path[path.size() - ext.size() - 1] == '.')
        return kCouldBeMyFileType;
    return kNotMyFileType;
}

// ---- ZFnPlugin ----

ZFnPlugin::ZFnPlugin(const ZObject& plugin, const char* vendor, const char* version, const char* requiredApiVersion,
                     ZStatus* status)
    : mPlugin(plugin)
{
    PluginRep* p = PluginOf(plugin);
    if (!p)
    {
        ZSetStatus(status, NoPlugin());
        return;
    }
    if (vendor)
        p->vendor = vendor;
    if (version)
        p->version = version;
    if (requiredApiVersion)
        p->apiVersion = requiredApiVersion;
    ZSetStatus(status, ZStatus());
}

#define ZFN_PLUGIN_GETTER(fn, field)                                                                                   \
    ZString ZFnPlugin::fn(ZStatus* status) const                                                                       \
    {                                                                                                                  \
        PluginRep* p = PluginOf(mPlugin);                                                                              \
        ZSetStatus(status, p ? ZStatus() : NoPlugin());                                                                \
        return p ? ZString(p->field) : ZString();                                                                      \
    }
ZFN_PLUGIN_GETTER(vendor, vendor)
ZFN_PLUGIN_GETTER(version, version)
ZFN_PLUGIN_GETTER(apiVersion, apiVersion)
ZFN_PLUGIN_GETTER(name, name)
#undef ZFN_PLUGIN_GETTER

ZString ZFnPlugin::loadPath(ZStatus* status) const
{
    PluginRep* p = PluginOf(mPlugin);
    ZSetStatus(status, p ? ZStatus() : NoPlugin());
    if (!p)
        return ZString();
    size_t slash = p->path.rfind('/');
    return ZString(slash == std::string::npos ? std::string(".") : p->path.substr(0, slash));
}

ZStatus ZFnPlugin::setName(const ZString& name)
{
    PluginRep* p = PluginOf(mPlugin);
    if (!p)
        return NoPlugin();
    p->name = name.str();
    return ZStatus();
}

ZStatus ZFnPlugin::setVersion(const ZString& version)
{
    PluginRep* p = PluginOf(mPlugin);
    if (!p)
        return NoPlugin();
    p->version = version.str();
    return ZStatus();
}

ZStatus ZFnPlugin::registerCommand(const ZString& name, CreatorFunction creator)
{
    PluginRep* p = PluginOf(mPlugin);
    if (!p)
        return NoPlugin();
    Registry& r = GetRegistry();
    if (!creator || name.length() == 0)
        return ZStatus(ZStatus::kInvalidParameter, "a command needs a name and a creator");
    if (r.commands.count(name.str()) || FindBuiltin(name.str()))
        return ZStatus(ZStatus::kInvalidParameter, "The command \"" + name.str() + "\" is already registered");
    r.commands[name.str()] = {creator, p};
    return ZStatus();
}

ZStatus ZFnPlugin::deregisterCommand(const ZString& name)
{
    PluginRep* p = PluginOf(mPlugin);
    if (!p)
        return NoPlugin();
    Registry& r = GetRegistry();
    auto it = r.commands.find(name.str());
    if (it == r.commands.end() || it->second.second != p)
        return ZStatus(ZStatus::kNotFound, "The command \"" + name.str() + "\" is not registered by this plug-in");
    r.commands.erase(it);
    return ZStatus();
}

ZStatus ZFnPlugin::registerFileTranslator(const ZString& name, const char* pixmapName, CreatorFunction creator,
                                          const char* optionsScriptName, const char* defaultOptions, bool)
{
    PluginRep* p = PluginOf(mPlugin);
    if (!p)
        return NoPlugin();
    Registry& r = GetRegistry();
    if (!creator || name.length() == 0)
        return ZStatus(ZStatus::kInvalidParameter, "a translator needs a name and a creator");
    if (r.translators.count(name.str()))
        return ZStatus(ZStatus::kInvalidParameter, "The translator \"" + name.str() + "\" is already registered");
    TranslatorEntry e;
    e.creator = creator;
    e.pixmap = pixmapName ? pixmapName : "";
    e.optionsScript = optionsScriptName ? optionsScriptName : "";
    e.defaultOptions = defaultOptions ? defaultOptions : "";
    e.plugin = p;
    r.translators[name.str()] = e;
    return ZStatus();
}

ZStatus ZFnPlugin::deregisterFileTranslator(const ZString& name)
{
    PluginRep* p = PluginOf(mPlugin);
    if (!p)
        return NoPlugin();
    Registry& r = GetRegistry();
    auto it = r.translators.find(name.str());
    if (it == r.translators.end() || it->second.plugin != p)
        return ZStatus(ZStatus::kNotFound, "The translator \"" + name.str() + "\" is not registered by this plug-in");
    r.translators.erase(it);
    return ZStatus();
}

// ---- Loading ----

namespace zelthost {

ZStatus Host::LoadPlugin(const std::string& path)
{
    Registry& r = GetRegistry();
    std::string name = FileStem(path);
    for (const auto& p : r.plugins)
        if (p->path == path || p->name == name)
            return ZStatus(ZStatus::kInvalidParameter, "The plug-in \"" + name + "\" is already loaded");
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
    {
        const char* why = dlerror();
        return ZStatus(ZStatus::kFailure, "Cannot load plug-in " + path + ": " + (why ? why : "unknown error"));
    }
    auto init = reinterpret_cast<EntryPoint>(dlsym(handle, "initializePlugin"));
    if (!init)
    {
        dlclose(handle);
        return ZStatus(ZStatus::kFailure, "The plug-in " + path + " has no initializePlugin");
    }
    auto plugin = std::make_unique<PluginRep>();
    plugin->path = path;
    plugin->name = name;
    plugin->handle = handle;
    auto rep = std::make_shared<ObjectRep>();
    rep->kind = ObjectRep::kPlugin;
    rep->plugin = plugin.get();
    PluginRep* raw = plugin.get();
    r.plugins.push_back(std::move(plugin));
    ZStatus st = init(ZObject(rep));
    if (!st)
    {
        Forget(raw);
        r.plugins.pop_back();
        dlclose(handle);
        return ZStatus(ZStatus::kFailure, "initializePlugin of " + path + " failed" +
                                              (st.errorString().empty() ? "" : ": " + st.errorString()));
    }
    return ZStatus();
}

ZStatus Host::UnloadPlugin(const std::string& name)
{
    Registry& r = GetRegistry();
    for (size_t i = 0; i < r.plugins.size(); ++i)
    {
        PluginRep* p = r.plugins[i].get();
        if (p->name != name && p->path != name)
            continue;
        ZStatus st;
        if (auto fini = reinterpret_cast<EntryPoint>(dlsym(p->handle, "uninitializePlugin")))
        {
            auto rep = std::make_shared<ObjectRep>();
            rep->kind = ObjectRep::kPlugin;
            rep->plugin = p;
            st = fini(ZObject(rep));
        }
        // Whatever the plug-in left registered goes with it.
        Forget(p);
        void* handle = p->handle;
        r.plugins.erase(r.plugins.begin() + i);
        dlclose(handle);
        return st;
    }
    return ZStatus(ZStatus::kNotFound, "No plug-in named \"" + name + "\" is loaded");
}

void Host::UnloadAllPlugins()
{
    Registry& r = GetRegistry();
    while (!r.plugins.empty())
        UnloadPlugin(r.plugins.back()->name);
}

} // namespace zelthost
