#ifndef QOX_PLUGIN_QOXZELTCOMMANDS_H
#define QOX_PLUGIN_QOXZELTCOMMANDS_H

// The host commands of the plug-in and its file translator "Qox".

#include <functional>
#include <new>

#include "base/kstring.h"
#include "host/zplugin.h"

class QoxZeltImport;
namespace qoxsdk_600 {
class KQoxScene;
}

// Before an import reads its file: nothing to prepare; success.
ZStatus QOXCharacterPreLoad(qoxsdk_600::KQoxScene* scene);
// After an import (also one whose read failed): host characters for the
// scene's characters, when the host has its character procedure.
ZStatus QOXCharacterPostLoad(qoxsdk_600::KQoxScene* scene);

// What the import and read commands share: the import object on the last
// file opened, kept between commands until a different file is named or an
// import runs.
class CommandImportBase : public ZPxCommand
{
public:
    static QoxZeltImport* smImporter;
    static KString smFileName;

    // The import object on the file: the kept one when the name is the same,
    // else a new one (the old one is deleted).
    static QoxZeltImport* OpenFile(const char* fileName);
    // Imports the take (take < 0: no animation), then deletes the import
    // object. The import's status.
    static ZStatus ImportFile(int take);
    // Deletes the kept import object.
    static void Release();

protected:
    // Runs the command's work. Should memory run out in it, the kept import
    // object goes and the command fails with "Out of memory", instead of the
    // exception ending the host.
    static ZStatus UnlessOutOfMemory(const std::function<ZStatus()>& work);
};

// Registers (deregisters) every command with the plug-in; the first failing
// step's status.
ZStatus QoxZeltRegisterCommands(ZFnPlugin& plugin);
ZStatus QoxZeltDeregisterCommands(ZFnPlugin& plugin);
// The names registered, in order.
const char* const* QoxZeltCommandNames(int& count);

class QoxZeltTranslator : public ZPxFileTranslator
{
public:
    static const char* const kName;   // "Qox"
    static const char* const kCaller; // "QOXZeltTranslator"
    static void* Create() { return new (std::nothrow) QoxZeltTranslator; }

    // Issues QOXImport -f <path> -caller "QOXZeltTranslator".
    ZStatus reader(const ZFileObject& file, const ZString& options, FileAccessMode mode) override;
    bool haveReadMethod() const override { return true; }
    bool haveWriteMethod() const override { return false; }
    ZString defaultExtension() const override { return "qox"; }
    ZFileKind identifyFile(const ZFileObject& file, const char* buffer, short size) const override;
};

#endif
