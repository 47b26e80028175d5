#include "fileio/kqoxio.h"

#include <cstring>

#include "fileio/kqoxfilescene.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodefinder.h"
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
    if (!root)
        return true;
    // Node names only: the finder's other switches are off.
    KQoxNodeFinderDuplicateName finder(nullptr);
    for (int state = 0; state < KQoxNodeFinderDuplicateName::eSTATE_COUNT; ++state)
        finder.SetState(state, state == KQoxNodeFinderDuplicateName::eNODE_NAME);
    finder.Apply(*root);
    KArrayTemplate<KQoxNode*>& duplicates = finder.GetDuplicateNodeArray();
    for (int i = 0; i < duplicates.GetCount(); ++i)
    {
        message += "Duplicate node name: ";
        message += duplicates[i]->GetName();
        message += "\n";
    }
    return duplicates.GetCount() == 0;
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
