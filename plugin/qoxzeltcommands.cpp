#include "plugin/qoxzeltcommands.h"

#include <cstring>
#include <new>
#include <strings.h>

#include "character/kqoxcharacter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxstreamoptionsqox.h"
#include "host/zglobal.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/qoxzeltdialogs.h"
#include "plugin/qoxzeltuserparams.h"
#include "scene/kqoxscene.h"

using namespace qoxsdk_600;

QoxZeltImport* CommandImportBase::smImporter = nullptr;
KString CommandImportBase::smFileName;

namespace {

QoxZeltProgressMeter gProgress;

// The text after a flag; false when the flag is absent or has no value.
bool FlagText(const ZArgList& args, const char* flag, ZString& out)
{
    int at = args.flagIndex(flag);
    if (at < 0)
        return false;
    ZStatus st;
    out = args.asString(static_cast<unsigned>(at) + 1, &st);
    return static_cast<bool>(st);
}

ZStatus Usage(const char* text)
{
    ZString message = ZString("Use syntax: ") + text;
    ZPxCommand::displayError(message);
    return ZStatus(ZStatus::kInvalidParameter, message.str());
}

KQoxImporter* OpenImporter()
{
    return CommandImportBase::smImporter ? CommandImportBase::smImporter->GetImporter() : nullptr;
}

// The take named by the first argument, as an index or a name; null when none.
KQoxTakeInfo* TakeArgument(const ZArgList& args)
{
    KQoxImporter* importer = OpenImporter();
    if (!importer || args.length() < 1)
        return nullptr;
    ZString text = args.asString(0);
    if (text.isInt())
        return importer->GetTakeInfo(text.asInt());
    for (int i = 0; i < importer->GetTakeCount(); ++i)
        if (importer->GetTakeInfo(i)->Name.Compare(text.asChar()) == 0)
            return importer->GetTakeInfo(i);
    return nullptr;
}

class QOXImport : public CommandImportBase
{
public:
    static void* Create() { return new (std::nothrow) QOXImport; }
    ZStatus doIt(const ZArgList& args) override
    {
        return UnlessOutOfMemory([&] { return Import(args); });
    }

private:
    ZStatus Import(const ZArgList& args)
    {
        ZString path;
        if (!FlagText(args, "-f", path) || path.length() == 0)
            return Usage("QOXImport -f \"filename\" [-caller name]");
        QoxZeltImport* import = OpenFile(path.asChar());
        KQoxImporter* importer = import->GetImporter();
        if (!importer)
        {
            displayError("No importer");
            return ZStatus(ZStatus::kFailure, "No importer");
        }
        // The file's current take, else the first; no take: no animation.
        int take = importer->GetTakeCount() > 0 ? 0 : -1;
        for (int i = 0; i < importer->GetTakeCount(); ++i)
            if (importer->GetTakeInfo(i)->Name.Compare(importer->GetCurrentTakeName()) == 0)
                take = i;
        ZStatus st = ImportFile(take);
        if (!st)
            displayError(ZString(st.errorString()));
        setResult(static_cast<bool>(st));
        return st;
    }
};

class QOXRead : public CommandImportBase
{
public:
    static void* Create() { return new (std::nothrow) QOXRead; }
    ZStatus doIt(const ZArgList& args) override
    {
        return UnlessOutOfMemory([&] { return Read(args); });
    }

private:
    ZStatus Read(const ZArgList& args)
    {
        ZString path;
        if (!FlagText(args, "-f", path) || path.length() == 0)
            return Usage("QOXRead -f \"filename\"");
        QoxZeltImport* import = OpenFile(path.asChar());
        KQoxImporter* importer = import->GetImporter();
        // A file that did not open fails as its import would.
        const KString error = importer ? import->GetOpenError() : KString("No importer");
        if (!error.IsEmpty())
        {
            Release();
            displayError(ZString(error.ToChars()));
            return ZStatus(ZStatus::kFailure, error.ToChars());
        }
        setResult(importer->GetTakeCount());
        return ZStatus();
    }
};

class QOXGetTakeCount : public CommandImportBase
{
public:
    static void* Create() { return new (std::nothrow) QOXGetTakeCount; }
    ZStatus doIt(const ZArgList&) override
    {
        KQoxImporter* importer = OpenImporter();
        setResult(importer ? importer->GetTakeCount() : 0);
        return ZStatus();
    }
};

class QOXGetTakeIndex : public CommandImportBase
{
public:
    static void* Create() { return new (std::nothrow) QOXGetTakeIndex; }
    ZStatus doIt(const ZArgList& args) override
    {
        if (args.length() < 1)
            return Usage("QOXGetTakeIndex \"take name\"");
        int index = -1;
        if (KQoxImporter* importer = OpenImporter())
            for (int i = 0; i < importer->GetTakeCount() && index < 0; ++i)
                if (importer->GetTakeInfo(i)->Name.Compare(args.asString(0).asChar()) == 0)
                    index = i;
        setResult(index);
        return ZStatus();
    }
};

// The four queries of one take's fields.
enum ETakeField
{
    eNAME,
    eCOMMENT,
    eLOCAL_SPAN,
    eREFERENCE_SPAN
};

template <ETakeField Field>
class QOXTakeQuery : public CommandImportBase
{
public:
    static void* Create() { return new (std::nothrow) QOXTakeQuery<Field>; }
    ZStatus doIt(const ZArgList& args) override
    {
        static const char* const kUsage[] = {"QOXGetTakeName takeIndex", "QOXGetTakeComment takeIndex",
                                             "QOXGetTakeLocalTimeSpan takeIndex",
                                             "QOXGetTakeReferenceTimeSpan takeIndex"};
        if (args.length() < 1)
            return Usage(kUsage[Field]);
        KQoxTakeInfo* info = TakeArgument(args);
        if (!info)
        {
            displayError(ZString("No such take: ") + args.asString(0));
            return ZStatus(ZStatus::kInvalidParameter, "No such take: " + args.asString(0).str());
        }
        clearResult();
        switch (Field)
        {
        case eNAME: setResult(ZString(info->Name.ToChars())); break;
        case eCOMMENT: setResult(ZString(info->Comments.ToChars())); break;
        case eLOCAL_SPAN:
        case eREFERENCE_SPAN:
        {
            const KTimeSpan& span = Field == eLOCAL_SPAN ? info->LocalTimeSpan : info->ReferenceTimeSpan;
            appendToResult(span.GetStart().GetSecondDouble());
            appendToResult(span.GetStop().GetSecondDouble());
            break;
        }
        }
        return ZStatus();
    }
};

class QOXImportMode : public ZPxCommand
{
public:
    static void* Create() { return new (std::nothrow) QOXImportMode; }
    // QOXImportMode [mode]: mode is 0 to 2, a command word ("exmerge",
    // "merge", "add") or the setting's text ("kExclusiveMerge", "kMerge",
    // "kCreate"); the result is the mode's setting text.
    ZStatus doIt(const ZArgList& args) override
    {
        static const char* const kWords[] = {"exmerge", "merge", "add"};
        QoxZeltUserParams& params = QoxZeltUserParams::Instance();
        if (args.length() >= 1)
        {
            ZString text = args.asString(0);
            KString modeText = text.isInt() ? params.GetLoadModeText(text.asInt()) : KString(text.asChar());
            bool known = false;
            for (int mode = 0; mode < 3 && !known; ++mode)
            {
                if (modeText.Compare(kWords[mode]) == 0)
                    modeText = params.GetLoadModeText(mode);
                known = params.GetLoadModeText(mode).Compare(modeText.ToChars()) == 0;
            }
            if (!known)
                return Usage("QOXImportMode [0|1|2|exmerge|merge|add|kExclusiveMerge|kMerge|kCreate]");
            params.SetStringParam(KQoxUserParams::kImportLoadMode, modeText);
        }
        setResult(ZString(params.GetLoadModeText(params.GetImportType()).ToChars()));
        return ZStatus();
    }
};

class QOXSetUserParams : public ZPxCommand
{
public:
    static void* Create() { return new (std::nothrow) QOXSetUserParams; }
    ZStatus doIt(const ZArgList&) override
    {
        QoxZeltUserParams& params = QoxZeltUserParams::Instance();
        if (!params.SaveChecked())
        {
            const std::string why = params.WhyNotSaved();
            const std::string text = "The settings could not be saved" + (why.empty() ? why : ": " + why);
            displayError(text.c_str());
            return ZStatus(ZStatus::kFailure, text.c_str());
        }
        setResult(true);
        return ZStatus();
    }
};

class CmdCharacterPreLoad : public ZPxCommand
{
public:
    static void* Create() { return new (std::nothrow) CmdCharacterPreLoad; }
    ZStatus doIt(const ZArgList&) override { return ZStatus(); }
};

class CmdCharacterPostLoad : public ZPxCommand
{
public:
    static void* Create() { return new (std::nothrow) CmdCharacterPostLoad; }
    // Characters are made by the import while its scene exists; outside an
    // import there is nothing to do.
    ZStatus doIt(const ZArgList&) override { return ZStatus(); }
};

struct CommandEntry
{
    const char* mName;
    ZFnPlugin::CreatorFunction mCreate;
};

const CommandEntry kCommands[] = {
    {"QOXImport", QOXImport::Create},
    {"QOXRead", QOXRead::Create},
    {"QOXGetTakeCount", QOXGetTakeCount::Create},
    {"QOXGetTakeIndex", QOXGetTakeIndex::Create},
    {"QOXGetTakeName", QOXTakeQuery<eNAME>::Create},
    {"QOXGetTakeComment", QOXTakeQuery<eCOMMENT>::Create},
    {"QOXGetTakeLocalTimeSpan", QOXTakeQuery<eLOCAL_SPAN>::Create},
    {"QOXGetTakeReferenceTimeSpan", QOXTakeQuery<eREFERENCE_SPAN>::Create},
    {"QOXImportMode", QOXImportMode::Create},
    {"QOXSetUserParams", QOXSetUserParams::Create},
    {"QOXCharacterPreLoad", CmdCharacterPreLoad::Create},
    {"QOXCharacterPostLoad", CmdCharacterPostLoad::Create},
};
const int kCommandCount = sizeof(kCommands) / sizeof(kCommands[0]);

} // namespace

ZStatus QOXCharacterPreLoad(KQoxScene*)
{
    return ZStatus();
}

ZStatus QOXCharacterPostLoad(KQoxScene* scene)
{
    if (!scene || scene->GetCharacterCount() == 0)
        return ZStatus();
    // A host without character support has no "character" command.
    int exists = 0;
    ZGlobal::executeCommand("exists \"character\"", exists, false, false);
    if (!exists)
        return ZStatus();
    ZStatus first;
    for (int i = 0; i < scene->GetCharacterCount(); ++i)
    {
        KQoxCharacter* character = scene->GetCharacter(i);
        if (!character)
            continue;
        const std::string name = character->GetNameWithoutNameSpacePrefix().ToChars();
        ZStringArray result;
        ZStatus st =
            ZGlobal::executeCommand(ZString("character -empty -name " + QoxZeltQuote(name)), result, false, false);
        if (!st)
        {
            st.perror("Cannot create the character " + name);
            if (first)
                first = st;
        }
    }
    return first;
}

QoxZeltImport* CommandImportBase::OpenFile(const char* fileName)
{
    if (smImporter && smFileName.Compare(fileName) == 0)
        return smImporter;
    Release();
    smImporter = new QoxZeltImport;
    smFileName = fileName;
    smImporter->OpenProject(ZString(fileName));
    return smImporter;
}

ZStatus CommandImportBase::ImportFile(int take)
{
    if (!smImporter || !smImporter->GetImporter())
        return ZStatus(ZStatus::kFailure, "No file opened");
    KQoxImporter* importer = smImporter->GetImporter();
    KQoxTakeInfo* info = take >= 0 ? importer->GetTakeInfo(take) : nullptr;
    if (info)
    {
        for (int i = 0; i < importer->GetTakeCount(); ++i)
            importer->SetTakeSelected(i, i == take);
        smImporter->SetTakeName(info->Name.ToChars());
        gProgress.Activate((KString("Importing take ") + info->Name).ToChars());
    }
    else if (take < 0)
        importer->SetState(KStreamOptionsQox::eANIMATION, false);
    gProgress.Reset();
    ZStatus st = smImporter->Import();
    Release();
    return st;
}

void CommandImportBase::Release()
{
    delete smImporter;
    smImporter = nullptr;
    smFileName = "";
}

ZStatus CommandImportBase::UnlessOutOfMemory(const std::function<ZStatus()>& work)
{
    try
    {
        return work();
    }
    catch (const std::bad_alloc&)
    {
    }
    Release();
    try
    {
        displayError("Out of memory");
    }
    catch (const std::bad_alloc&)
    {
        // Not even the message could be had; the status still tells.
    }
    return ZStatus(ZStatus::kFailure, "Out of memory");
}

const char* const* QoxZeltCommandNames(int& count)
{
    static const char* names[kCommandCount];
    for (int i = 0; i < kCommandCount; ++i)
        names[i] = kCommands[i].mName;
    count = kCommandCount;
    return names;
}

ZStatus QoxZeltRegisterCommands(ZFnPlugin& plugin)
{
    for (const CommandEntry& entry : kCommands)
    {
        ZStatus st = plugin.registerCommand(entry.mName, entry.mCreate);
        if (!st)
        {
            st.perror(entry.mName);
            return st;
        }
    }
    return ZStatus();
}

ZStatus QoxZeltDeregisterCommands(ZFnPlugin& plugin)
{
    ZStatus first;
    for (const CommandEntry& entry : kCommands)
    {
        ZStatus st = plugin.deregisterCommand(entry.mName);
        if (!st && first)
            first = st;
    }
    CommandImportBase::Release();
    return first;
}

const char* const QoxZeltTranslator::kName = "Qox";
const char* const QoxZeltTranslator::kCaller = "QOXZeltTranslator";

ZStatus QoxZeltTranslator::reader(const ZFileObject& file, const ZString&, FileAccessMode)
{
    // The command reports its own lack of memory; the text run is made here.
    try
    {
        std::string command = "QOXImport -f " + QoxZeltQuote(file.fullName().str()) + " -caller \"" + kCaller + "\"";
        return ZGlobal::executeCommand(ZString(command));
    }
    catch (const std::bad_alloc&)
    {
        return ZStatus(ZStatus::kFailure, "Out of memory");
    }
}

ZPxFileTranslator::ZFileKind QoxZeltTranslator::identifyFile(const ZFileObject& file, const char*, short) const
{
    const std::string name = file.fullName().str();
    return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".qox") == 0 ? kIsMyFileType : kNotMyFileType;
}
