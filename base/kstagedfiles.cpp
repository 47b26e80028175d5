#include "base/kstagedfiles.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The longest file name part a temporary starts with: its suffix then fits
// within the usual 255-byte name limit however long the target's name is.
const size_t kTemporaryStemMax = 200;

// The file a save to target replaces: the end of a symbolic link, the
// target itself otherwise (a dangling link is replaced itself).
KString ReplacedFile(const char* target)
{
    struct stat status;
    if (lstat(target, &status) != 0 || !S_ISLNK(status.st_mode))
        return KString(target);
    char resolved[PATH_MAX];
    return realpath(target, resolved) ? KString(resolved) : KString(target);
}

// A name free in the directory of file, reserved by mkstemp and released
// again, so that the caller's exclusive create makes the file with plain
// permissions; "" when none can be made.
KString FreeNameBeside(const KString& file)
{
    std::string pattern(file.ToChars());
    const size_t slash = pattern.rfind('/');
    const size_t stem = slash == std::string::npos ? 0 : slash + 1;
    if (pattern.size() - stem > kTemporaryStemMax)
        pattern.resize(stem + kTemporaryStemMax);
    pattern += ".tmpXXXXXX";
    const int fd = mkstemp(&pattern[0]);
    if (fd < 0)
        return KString();
    close(fd);
    unlink(pattern.c_str());
    return KString(pattern.c_str());
}

} // namespace

KStagedFiles::KStagedFiles() {}

KStagedFiles::~KStagedFiles()
{
    Abandon();
}

const KStagedFiles::Entry* KStagedFiles::Find(const char* target) const
{
    for (const Entry& entry : mEntries)
        if (target && entry.mTarget == target)
            return &entry;
    return nullptr;
}

KString KStagedFiles::Stage(const char* target)
{
    if (!target || !*target)
    {
        errno = EINVAL;
        return KString();
    }
    if (Find(target))
    {
        errno = EEXIST;
        return KString();
    }
    Entry entry;
    entry.mTarget = target;
    entry.mReplaced = ReplacedFile(target);
    struct stat status;
    if (stat(entry.mReplaced.ToChars(), &status) == 0)
    {
        if (S_ISDIR(status.st_mode))
        {
            errno = EISDIR;
            return KString();
        }
        if (!S_ISREG(status.st_mode))
        {
            entry.mTemporary = entry.mReplaced;
            mEntries.push_back(entry);
            return entry.mTemporary;
        }
        // A file its owner keeps from writing stays as it is.
        if (access(entry.mReplaced.ToChars(), W_OK) != 0)
            return KString();
    }
    entry.mTemporary = FreeNameBeside(entry.mReplaced);
    if (entry.mTemporary.IsEmpty())
        return KString();
    mEntries.push_back(entry);
    return entry.mTemporary;
}

FILE* KStagedFiles::Create(const char* target)
{
    const KString name = Stage(target);
    if (name.IsEmpty())
        return nullptr;
    FILE* file = fopen(name.ToChars(), IsInPlace(target) ? "wb" : "wbx");
    if (!file)
    {
        const int cause = errno;
        mEntries.pop_back();
        errno = cause;
    }
    return file;
}

bool KStagedFiles::Holds(const char* target) const
{
    return Find(target) != nullptr;
}

bool KStagedFiles::IsInPlace(const char* target) const
{
    const Entry* entry = Find(target);
    return entry && entry->mTemporary == entry->mReplaced;
}

bool KStagedFiles::Commit()
{
    while (!mEntries.empty())
    {
        const Entry& entry = mEntries.back();
        if (entry.mTemporary != entry.mReplaced && rename(entry.mTemporary.ToChars(), entry.mReplaced.ToChars()) != 0)
        {
            const int cause = errno;
            Abandon();
            errno = cause;
            return false;
        }
        mEntries.pop_back();
    }
    return true;
}

void KStagedFiles::Abandon()
{
    for (const Entry& entry : mEntries)
        if (entry.mTemporary != entry.mReplaced)
            unlink(entry.mTemporary.ToChars());
    mEntries.clear();
}
