#include "fileio/kqoxio.h"

#include "base/kstagedfiles.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "base/kfile.h"
#include "base/kfilecause.h"
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

bool KQoxReader::OpenReadFile(const char* fileName, FILE*& file, KString& openedName, HeadTest test,
                              const char* notFormat)
{
    if (file)
        FileClose();
    file = fileName ? std::fopen(fileName, "rb") : nullptr;
    if (!file)
    {
        mError.SetLastErrorCause(eFILE_NOT_OPENED, fileName ? KFileErrorCause(errno) : "");
        return false;
    }
    const kFileKind kind = GetFileKind(file);
    // A directory opens but reads nothing (and its "size" is no size).
    if (kind == kFILE_KIND_DIRECTORY)
    {
        std::fclose(file);
        file = nullptr;
        mError.SetLastErrorCause(eFILE_NOT_OPENED, KFileErrorCause(EISDIR));
        return false;
    }
    if (kind == kFILE_KIND_OTHER)
    {
        // A stream has no size and may never end: read whole, to the
        // bound, and then read from memory. Bytes that begin no file of
        // the format end the read at once.
        const kStreamRead read = ReadStreamWhole(file, mStreamBytes, StreamMostBytes(), kHEAD_BYTES, test);
        std::fclose(file);
        file = nullptr;
        if (read == kSTREAM_READ_REFUSED)
        {
            const size_t length = mStreamBytes.size();
            mStreamBytes = std::vector<unsigned char>();
            return FailHead(length, notFormat);
        }
        if (read != kSTREAM_READ_WHOLE)
            return FailStreamRead(read);
        static char nothing;
        file = mStreamBytes.empty() ? fmemopen(&nothing, 0, "rb")
                                    : fmemopen(mStreamBytes.data(), mStreamBytes.size(), "rb");
        if (!file)
        {
            mStreamBytes = std::vector<unsigned char>();
            mError.SetLastErrorID(eFILE_NOT_OPENED);
            return false;
        }
    }
    else if (test)
    {
        // The first block, read where it lies: the stream's place is left.
        unsigned char head[kHEAD_BYTES];
        size_t length = 0;
        while (length < sizeof(head))
        {
            const ssize_t got = pread(fileno(file), head + length, sizeof(head) - length, static_cast<off_t>(length));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
            {
                const char* cause = KFileErrorCause(errno);
                std::fclose(file);
                file = nullptr;
                mError.SetLastErrorCause(eFILE_NOT_OPENED, cause);
                return false;
            }
            if (got == 0)
                break;
            length += static_cast<size_t>(got);
        }
        if (!test(head, length))
        {
            std::fclose(file);
            file = nullptr;
            return FailHead(length, notFormat);
        }
    }
    openedName = fileName;
    if (!openedName.IsOK())
    {
        // Without its name the file's folder is unknown: names found in it
        // would be looked for elsewhere.
        std::fclose(file);
        file = nullptr;
        mStreamBytes = std::vector<unsigned char>();
        mError.SetLastError(mError.GetErrorCount() - 1, kOutOfMemoryText);
        return false;
    }
    return true;
}

bool KQoxReader::FailHead(size_t length, const char* notFormat)
{
    mError.SetLastErrorCause(eFILE_CORRUPTED, length == 0 ? kCAUSE_EMPTY_FILE : notFormat);
    return false;
}

bool KQoxReader::FailStreamRead(int result)
{
    mStreamBytes = std::vector<unsigned char>();
    if (result == kSTREAM_READ_TOO_LONG)
        mError.SetLastError(eFILE_NOT_OPENED, kSTREAM_TOO_LONG_TEXT);
    else if (result == kSTREAM_READ_NO_MEMORY)
        mError.SetLastError(eUNIDENTIFIED_ERROR, kOutOfMemoryText);
    else
        mError.SetLastErrorID(eFILE_NOT_OPENED);
    return false;
}

bool KQoxReader::CloseReadFile(FILE*& file, KString& openedName)
{
    bool ok = true;
    if (file)
        ok = std::fclose(file) == 0;
    file = nullptr;
    openedName = "";
    mStreamBytes = std::vector<unsigned char>();
    return ok;
}

namespace {

// Names met, held where they lie (in their nodes): an open-addressing table
// of a power of two of entries, at most half full, so that a name costs no
// allocation.
class MetNames
{
public:
    // False when the name was met already.
    bool Insert(const char* name)
    {
        if ((mCount + 1) * 2 > mEntries.size())
            Grow();
        const size_t hash = std::hash<std::string_view>()(name);
        const size_t mask = mEntries.size() - 1;
        size_t at = hash & mask;
        for (; mEntries[at].mName; at = (at + 1) & mask)
            if (mEntries[at].mHash == hash && std::strcmp(mEntries[at].mName, name) == 0)
                return false;
        mEntries[at] = {name, hash};
        ++mCount;
        return true;
    }

private:
    struct Entry
    {
        const char* mName; // null: empty
        size_t mHash;
    };

    void Grow()
    {
        std::vector<Entry> old(mEntries.empty() ? 64 : mEntries.size() * 2, Entry{nullptr, 0});
        old.swap(mEntries);
        const size_t mask = mEntries.size() - 1;
        for (const Entry& entry : old)
        {
            if (!entry.mName)
                continue;
            size_t at = entry.mHash & mask;
            while (mEntries[at].mName)
                at = (at + 1) & mask;
            mEntries[at] = entry;
        }
    }

    std::vector<Entry> mEntries;
    size_t mCount = 0;
};

} // namespace

bool KQoxReader::CheckDuplicateNodeNames(KQoxNode* root, KString& message)
{
    // The answer of a node-name-only KQoxNodeFinderDuplicateName without an
    // entity: in pre-order, each node whose name a node before it had. The
    // names stay in their nodes for the walk, so none is copied.
    bool clean = true;
    MetNames met;
    KQoxWalkPreOrder(root, [&](KQoxNode* node) {
        const char* name = static_cast<const KQoxNode*>(node)->GetName();
        if (!met.Insert(name))
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

bool KQoxWriter::FinishStaged(KStagedFiles& staged, bool written)
{
    if (!written)
    {
        mError.SetLastErrorID(eOUT_OF_DISK_SPACE);
        staged.Abandon();
        return false;
    }
    return staged.Commit() || StagedFailed(staged, true);
}

bool KQoxWriter::StagedFailed(const KStagedFiles& staged, bool committing)
{
    const int error = staged.Error();
    if (committing && (error == ENOSPC || error == EDQUOT || error == EFBIG))
        mError.SetLastErrorID(eOUT_OF_DISK_SPACE);
    else if (*staged.Cause())
        mError.SetLastError(eFILE_NOT_CREATED,
                            (KString(mError.GetErrorString(eFILE_NOT_CREATED)) + ": " + staged.Cause()).ToChars());
    else
        mError.SetLastErrorID(eFILE_NOT_CREATED);
    return false;
}

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
