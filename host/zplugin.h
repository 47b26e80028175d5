#ifndef ZELT_HOST_ZPLUGIN_H
#define ZELT_HOST_ZPLUGIN_H

// The plug-in interface: a plug-in is a shared object exporting
//   extern "C" ZStatus initializePlugin(ZObject plugin);
//   extern "C" ZStatus uninitializePlugin(ZObject plugin);
// that registers commands and file translators through ZFnPlugin.

#include "host/zbase.h"

class ZPxCommand
{
public:
    virtual ~ZPxCommand() = default;
    virtual ZStatus doIt(const ZArgList& args) = 0;
    virtual bool isUndoable() const { return false; }

    // The command's result, read by the script that ran it.
    static void clearResult();
    static void setResult(const ZString& text);
    static void setResult(int value);
    static void setResult(double value);
    static void setResult(bool value);
    static void appendToResult(const ZString& text);
    static void appendToResult(int value);
    static void appendToResult(double value);
    static void displayError(const ZString& text);
    static void displayWarning(const ZString& text);
    static void displayInfo(const ZString& text);
};

class ZFileObject
{
public:
    ZFileObject() = default;
    explicit ZFileObject(const ZString& path)
        : mPath(path)
    {}
    ZString fullName() const { return mPath; }
    ZString resolvedFullName() const { return mPath; }
    ZStatus setRawFullName(const ZString& path)
    {
        mPath = path;
        return ZStatus();
    }

private:
    ZString mPath;
};

class ZPxFileTranslator
{
public:
    enum FileAccessMode
    {
        kUnknownAccessMode = 0,
        kOpenAccessMode = 1,
        kSaveAccessMode = 2,
        kImportAccessMode = 3,
        kExportAccessMode = 4,
        kExportActiveAccessMode = 5
    };
    enum ZFileKind
    {
        kIsMyFileType = 0,
        kCouldBeMyFileType = 1,
        kNotMyFileType = 2
    };
    virtual ~ZPxFileTranslator() = default;
    virtual ZStatus reader(const ZFileObject& file, const ZString& options, FileAccessMode mode);
    virtual ZStatus writer(const ZFileObject& file, const ZString& options, FileAccessMode mode);
    virtual bool haveReadMethod() const { return false; }
    virtual bool haveWriteMethod() const { return false; }
    virtual ZString defaultExtension() const { return ZString(); }
    virtual ZFileKind identifyFile(const ZFileObject& file, const char* buffer, short size) const;
};

class ZFnPlugin
{
public:
    typedef void* (*CreatorFunction)();
    ZFnPlugin() = default;
    ZFnPlugin(const ZObject& plugin, const char* vendor = "Unknown", const char* version = "Unknown",
              const char* requiredApiVersion = "Any", ZStatus* status = nullptr);
    ZString vendor(ZStatus* status = nullptr) const;
    ZString version(ZStatus* status = nullptr) const;
    ZString apiVersion(ZStatus* status = nullptr) const;
    ZString name(ZStatus* status = nullptr) const;
    ZString loadPath(ZStatus* status = nullptr) const;
    ZStatus setName(const ZString& name);
    ZStatus setVersion(const ZString& version);
    // The creator returns a new ZPxCommand; a name already in use fails.
    ZStatus registerCommand(const ZString& name, CreatorFunction creator);
    ZStatus deregisterCommand(const ZString& name);
    // The creator returns a new ZPxFileTranslator.
    ZStatus registerFileTranslator(const ZString& name, const char* pixmapName, CreatorFunction creator,
                                   const char* optionsScriptName = nullptr, const char* defaultOptions = nullptr,
                                   bool requiresFullMel = false);
    ZStatus deregisterFileTranslator(const ZString& name);

private:
    ZObject mPlugin;
};

#endif
