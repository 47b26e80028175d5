#ifndef QOX_FORMATS_KQOXFOLDERNAMES_H
#define QOX_FORMATS_KQOXFOLDERNAMES_H

// The names in one folder, kept by their ASCII letters made small: names
// alike but for case stand for one file on the disks that ignore case.

#include <string>
#include <unordered_map>
#include <unordered_set>

namespace qoxsdk_600 {

// A folder is listed once, and watched (inotify) from just before that
// listing: each Update reads only the names made or removed since, so a
// save that names many files in a folder of many pays for the listing
// once, and still sees a name another program puts there meanwhile. With
// no watch (no descriptor or watch to spare, a folder that went away, a
// watch that lost events), Update lists the folder again. Memory running
// out throws std::bad_alloc; the names are then listed again by the next
// Update.
class KFolderNames
{
public:
    KFolderNames() = default;
    ~KFolderNames() { Close(); }
    KFolderNames(const KFolderNames&) = delete;
    KFolderNames& operator=(const KFolderNames&) = delete;

    // Watches folder, then lists it. False with errno when it cannot be
    // listed (the watch given up first when that was for want of a
    // descriptor).
    bool Open(const std::string& folder);
    // Brings the names up to date; false with errno when the folder had to
    // be listed again and could not be.
    bool Update();
    // The folder Open was given; "" before.
    const std::string& Folder() const { return mFolder; }
    // The names alike to name but for case, name itself left out.
    int Alike(const std::string& name) const;
    // Gives up the watch (Update lists the folder from then on), for a
    // caller out of descriptors; true when there was one.
    bool Unwatch() noexcept;
    // Forgets the folder and closes the watch.
    void Close() noexcept;

private:
    bool List();
    bool ReadChanges();
    void Add(const char* name);
    void Remove(const char* name);

    std::string mFolder;
    int mWatch = -1;         // the inotify descriptor; -1 without a watch
    bool mListed = false;    // the names are those of a whole listing and the changes since
    bool mUnwatched = false; // no watch is made again for this folder
    std::unordered_set<std::string> mNames;          // as written
    std::unordered_map<std::string, int> mFolded;    // how many of them fold to each
};

// name with its ASCII letters made small, the same in every locale.
std::string FoldedName(std::string name);

} // namespace qoxsdk_600

#endif
