#include "fileio/kqoxio.h"

#include <cstring>
#include <string_view>
#include <unordered_set>

#include "fileio/kqoxfilescene.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnode_walk.h"
#include "scene/kqoxscene.h"

namespace qoxsdk_600 {

namespace {

const char* const kIOErrors[KQoxIO::eERROR_COUNT] = {"File is corrupted",
                                                     "File version is not supported yet",
                                                     "File version is not supported anymore",
                                                     "File not opened",
                                                     "File not created",
                                                     "Out of disk space",
                                                     "Uninitialized filename",
                                                     "Unidentified error",
                                                     "Index out of range",
                                                     "Wrong password",
                                                     "Stream options not set",
                                                     "Invalid file format"};

const char* const kReaderErrors[KQoxReader::eERROR_COUNT] = {"File is corrupted",
                                                             "File version is not supported yet",
                                                             "File version is not supported anymore",
                                                             "File not opened",
                                                             "File not created",
                                                             "Wrong password",
                                                             "Stream options not set",
                                                             "Unidentified error"};

const char* const kWriterErrors[KQoxWriter::eERROR_COUNT] = {"File is corrupted",      "File not opened",
                                                             "File not created",       "Out of disk space",
                                                             "Stream options not set", "Unidentified error"};

} // namespace

KQoxIO::KQoxIO(KQoxSdkManager& manager)
    : KErrorOwner(kIOErrors, eERROR_COUNT)
    , mManager(manager)
{}

KQoxIO::~KQoxIO() {}

bool KQoxIO::Initialize(const char* fileName)
{
    mError.ClearLastError();
    mFileName = fileName ? fileName : "";
    if (mFileName.IsEmpty())
    {
        mError.SetLastErrorID(eUNINITIALIZED_FILENAME);
        return false;
    }
    return true;
}

KQoxFileHandler::KQoxFileHandler(KQoxSdkManager& manager, const char* const* errorTexts, int errorCount)
    : KErrorOwner(errorTexts, errorCount)
    , mManager(manager)
{}

KQoxFileHandler::~KQoxFileHandler() {}

KQoxReader::KQoxReader(KQoxSdkManager& manager)
    : KQoxFileHandler(manager, kReaderErrors, eERROR_COUNT)
{}

bool KQoxReader::OpenReadFile(const char* fileName, FILE*& file, KString& openedName)
{
    if (file)
        FileClose();
    file = fileName ? std::fopen(fileName, "rb") : nullptr;
    if (!file)
    {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    openedName = fileName;
    return true;
}

bool KQoxReader::CloseReadFile(FILE*& file, KString& openedName)
{
    bool ok = true;
    if (file)
        ok = std::fclose(file) == 0;
    file = nullptr;
    openedName = "";
    return ok;
}

bool KQoxReader::CheckDuplicateNodeNames(KQoxNode* root, KString& message)
{
    // The answer of a node-name-only KQoxNodeFinderDuplicateName without an
    // entity: in pre-order, each node whose name a node before it had. The
    // names stay in their nodes for the walk, so the set holds views of them
    // (no copy per node).
    bool clean = true;
    std::unordered_set<std::string_view> met;
    KQoxWalkPreOrder(root, [&](KQoxNode* node) {
        const char* name = static_cast<const KQoxNode*>(node)->GetName();
        if (!met.insert(std::string_view(name)).second)
        {
            message += "Duplicate node name: ";
            message += name;
            message += "\n";
            clean = false;
        }
        return true;
    });
    return clean;
}

KQoxWriter::KQoxWriter(KQoxSdkManager& manager)
    : KQoxFileHandler(manager, kWriterErrors, eERROR_COUNT)
{}

KQoxNode* KQoxWriter::FindRootNode(KQoxScene& scene)
{
    return scene.GetRootNode();
}

bool KQoxWriter::CheckSpaceInNodeNameRecursive(KQoxNode* node, KString& message)
{
    if (!node)
        return true;
    // Iterative walk: trees of any depth.
    bool clean = true;
    std::vector<KQoxNode*> pending(1, node);
    while (!pending.empty())
    {
        KQoxNode* current = pending.back();
        pending.pop_back();
        if (std::strchr(current->GetName(), ' '))
        {
            message += current->GetName();
            message += "\n";
            clean = false;
        }
        for (int i = current->GetChildCount() - 1; i >= 0; --i)
            pending.push_back(current->GetChild(i));
    }
    return clean;
}

} // namespace qoxsdk_600
