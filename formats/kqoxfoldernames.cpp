#include "formats/kqoxfoldernames.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <sys/inotify.h>
#include <unistd.h>

namespace qoxsdk_600 {

namespace {

// The changes a watch reports: names made, linked or moved in, removed or
// moved out, and the folder itself going away.
const uint32_t kWatched = IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF |
                          IN_ONLYDIR;

// The bytes of changes read at a time.
const size_t kChangeBlock = 16 * 1024;

struct FolderCloser
{
    void operator()(DIR* dir) const { closedir(dir); }
};

bool OutOfDescriptors(int error)
{
    return error == EMFILE || error == ENFILE;
}

bool IsDots(const char* name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

} // namespace

std::string FoldedName(std::string name)
{
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return name;
}

bool KFolderNames::Open(const std::string& folder)
{
    Close();
    mFolder = folder;
    // The watch comes first: a name made while the folder is listed is then
    // in the listing, among the changes, or both.
    mWatch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (mWatch >= 0 && inotify_add_watch(mWatch, folder.c_str(), kWatched) < 0)
        Unwatch();
    return List();
}

bool KFolderNames::Update()
{
    if (mWatch >= 0 && mListed)
        return ReadChanges();
    if (!List())
        return false;
    return mWatch < 0 || ReadChanges();
}

int KFolderNames::Alike(const std::string& name) const
{
    const auto folded = mFolded.find(FoldedName(name));
    const int count = folded == mFolded.end() ? 0 : folded->second;
    return count - (mNames.count(name) ? 1 : 0);
}

bool KFolderNames::Unwatch() noexcept
{
    if (mWatch < 0)
        return false;
    const int error = errno;
    close(mWatch);
    mWatch = -1;
    errno = error;
    return true;
}

void KFolderNames::Close() noexcept
{
    Unwatch();
    mFolder.clear();
    mNames.clear();
    mFolded.clear();
    mListed = false;
}

// Lists the folder whole. The changes still queued are applied after it,
// in order: the last change to a name tells what stands there now, and a
// name without one is as listed.
bool KFolderNames::List()
{
    mListed = false;
    mNames.clear();
    mFolded.clear();
    std::unique_ptr<DIR, FolderCloser> dir(opendir(mFolder.c_str()));
    if (!dir && OutOfDescriptors(errno) && Unwatch())
        dir.reset(opendir(mFolder.c_str()));
    if (!dir)
        return false;
    errno = 0;
    while (const dirent* entry = readdir(dir.get()))
    {
        Add(entry->d_name);
        errno = 0;
    }
    if (errno != 0)
        return false;
    mListed = true;
    return true;
}

// Applies the changes the watch saw since the last read. The watch is given
// up, and the folder listed, when it lost changes or the folder went away.
bool KFolderNames::ReadChanges()
{
    alignas(inotify_event) char block[kChangeBlock];
    mListed = false; // until every change read is applied
    for (;;)
    {
        const ssize_t got = read(mWatch, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == EAGAIN)
            break;
        if (got <= 0)
        {
            Unwatch();
            return List();
        }
        for (ssize_t at = 0; at < got;)
        {
            const inotify_event* change = reinterpret_cast<const inotify_event*>(block + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + change->len);
            if (change->mask & IN_Q_OVERFLOW)
            {
                if (!List())
                    return false;
                mListed = false;
            }
            else if (change->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT))
            {
                Unwatch();
                return List();
            }
            else if (change->len > 0 && (change->mask & (IN_CREATE | IN_MOVED_TO)))
                Add(change->name);
            else if (change->len > 0 && (change->mask & (IN_DELETE | IN_MOVED_FROM)))
                Remove(change->name);
        }
    }
    mListed = true;
    return true;
}

void KFolderNames::Add(const char* name)
{
    if (!IsDots(name) && mNames.insert(name).second)
        ++mFolded[FoldedName(name)];
}

void KFolderNames::Remove(const char* name)
{
    if (!mNames.erase(name))
        return;
    const auto folded = mFolded.find(FoldedName(name));
    if (folded != mFolded.end() && --folded->second == 0)
        mFolded.erase(folded);
}

} // namespace qoxsdk_600
