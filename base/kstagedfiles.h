#ifndef QOX_BASE_KSTAGEDFILES_H
#define QOX_BASE_KSTAGEDFILES_H

// KStagedFiles: the files of one save (a scene file with its material
// library and copied images, say), each written under a temporary name and
// put onto its target once every one is complete. Until then every target
// keeps its old contents; a set that is abandoned, or destroyed without a
// commit, removes its temporaries, so a failed save leaves the old files
// byte-identical and nothing of its own.
//
// - A target that is a symbolic link (or a chain of them, each relative to
//   its own directory) is saved where the chain ends; the links stay. The
//   end of a dangling link is created where it points, in a directory that
//   must exist. More than kMaxLinks links in a row is a loop (ELOOP).
// - Every new file is created by the set itself, exclusively, and the last
//   few staged are kept open: the name handed out reaches that file through
//   the process's own descriptor (/proc/self/fd, where it is mounted), so
//   another user who can write the folder cannot redirect the writes, and
//   the commit reads and moves only what was written there. The files staged
//   before, and all of them when descriptors run out, are closed (parked);
//   the commit opens them again and checks each is still the file made, as
//   it checks a renamed file after the rename. With no descriptor to spare
//   for the caller, a new file is handed out by its path (Stage) or through
//   the descriptor that made it (Create), and parked.
// - Replaced: a temporary lies in the directory of the file it replaces
//   ("<name>.tmpXXXXXX"), so the move is a rename on one file system; it has
//   the permissions a plain create gives. At commit it takes the old file's
//   owner, group, extended attributes and ACLs (where the process may set
//   them) and mode (set-id bits included), is flushed to disk, then renamed
//   over the old file, and the directory is flushed. The attributes are read
//   through a descriptor of the old file (through its path, checked to be
//   the same file before and after, where it may not be read or no
//   descriptor is left), never through /proc; when they cannot be listed the
//   commit fails, naming why, and the old file stays.
// - Rewritten in place (IsRewrittenInPlace): an existing file the process
//   may write but that a rename would change is rewritten over its old
//   bytes instead: a file with other hard links, a file whose owner or group
//   the process cannot give a new file, or a file in a directory where no
//   temporary can be made. Its new contents are written to a temporary
//   beside it or, when none can be made there, in a directory of the
//   process's own ("qox.XXXXXX", mode 0700, checked through its descriptor)
//   under $TMPDIR, else /tmp. At commit the complete copy is flushed, named
//   "<name>.newXXXXXX" and its directory flushed; the file must be able to
//   hold it (the process's file size limit; the room reserved on its file
//   system where the file system can reserve it) before its first byte
//   changes; the bytes are then copied over the old ones from the copy's
//   descriptor (opened again, and checked, when it was parked), the file
//   cut to the new size and flushed, and only then the copy removed. The
//   file is opened again for the copy and must be the one readied, else the
//   commit fails before its first byte changes. A process killed during the copy leaves the file partly
//   rewritten and that whole copy under its name. The inode, links, owner
//   and group stay; set-id bits the system clears on the write are put back
//   where the process may change the mode (its owner, or root).
// - A target that exists and is neither a regular file nor a directory (a
//   device, a FIFO) is written directly (IsInPlace): nothing can replace it
//   whole, and moving a file over it would destroy it.
// - New to its folder (CreateNew, PlaceNew): a file that takes its name
//   during the save rather than at the commit (an image's copy, whose name
//   the files written after it give). It is written to a temporary beside
//   its name, flushed, then linked to the name only where nothing bears it
//   yet, so it never replaces a file, however many saves name their files
//   at once. The temporary's name stays as a second link until the commit,
//   which leaves the file at its name and removes that link; so a file new
//   to its folder with one link is one no save will remove, and others may
//   take it as their own (KTextureCopies). An abandoned set, or a commit that
//   fails before it puts any file, removes such a file only while its second
//   link still holds it (nobody could have taken it), the name first. On a
//   file system without hard links it is renamed to its name instead, and
//   stays there once it is.
// - Commit first takes the turn on every file it changes (KSaveLock: by the
//   file, whatever name or folder it comes through, never by its folder), so
//   the commits of saves of one file, in this process or another of this
//   user's, take turns and never mix their files, while saves of different
//   files never wait for each other. It then readies every file (owner,
//   attributes, mode, flush, room) and puts them onto their targets in the
//   reverse order of staging: the file staged first (the main file, which
//   names the others) is put last, so it never names a file that is not
//   there yet. Each step opens what it needs and closes it again: besides
//   the turn's lock file, a replaced file needs one descriptor at a time, a
//   rewrite two, so a set of any number of files commits within a few
//   descriptors.
//
// Failures return false, null or "" with errno telling why, and Cause()
// telling it in words where the user can act on it; nothing throws but
// std::bad_alloc, and that only before anything is put onto a target: a
// Stage, Create or Commit that runs out of memory leaves no file of its own
// behind (a Commit abandons the whole set), the targets as they were.
// Whatever frees a set (Abandon, the destructor) allocates nothing: every
// path it needs is kept from staging on.

#include <cstdio>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "base/kstring.h"

class KSaveLock;

class KStagedFiles
{
public:
    // The most symbolic links followed from a target to the file it names.
    static const int kMaxLinks = 40;

    KStagedFiles();
    // Abandons whatever is not committed.
    ~KStagedFiles() noexcept;

    KStagedFiles(const KStagedFiles&) = delete;
    KStagedFiles& operator=(const KStagedFiles&) = delete;

    // Adds target to the set, creates the empty file its new contents go to,
    // and returns the name to open it for writing under ("wb", "w+b"; it
    // exists already, so never exclusively), or the target itself when it is
    // written directly (IsInPlace). "" when the target cannot be saved: a
    // null or empty name (EINVAL), a directory (EISDIR), a file the user may
    // not write (EACCES, EROFS), a target already in the set (EEXIST), a loop
    // of links (ELOOP), or no temporary can be made for it (EACCES, ENOENT,
    // EMFILE, ENOSPC ...).
    KString Stage(const char* target);
    // Stage, then the new file opened for writing ("wb"); null when either
    // fails (the target is then out of the set again).
    FILE* Create(const char* target);
    // Adds a file new to target's folder (see above) and returns its
    // temporary open for writing ("wb"), created with mode less the umask;
    // null when it cannot be made, as Create. A temporary made before and
    // not placed is removed first.
    FILE* CreateNew(const char* target, mode_t mode);
    // Flushes the file CreateNew made, written and closed, and links it to
    // target, in the same folder, only where nothing bears that name. With
    // keep, once linked, the name is kept only when keep() says so (another
    // name that stands for the same file on some disks, say). False with
    // EEXIST when the name is taken or not kept (the temporary then stays
    // for another name, except a file renamed to a name not kept: that
    // stays where it is, and HasNew() is false), or with the error and
    // cause of another failure. True when placed: the file is then in the
    // set under target, its temporary's name a second link until the commit.
    bool PlaceNew(const char* target, const std::function<bool()>& keep = nullptr);
    // True while a temporary CreateNew made waits to be placed.
    bool HasNew() const { return mHasNew; }
    // Removes the temporary CreateNew made and that was not placed.
    void DropNew() noexcept;
    // True when target is in the set.
    bool Holds(const char* target) const;
    // True when target is in the set and written directly under its own name
    // (a device, a FIFO).
    bool IsInPlace(const char* target) const;
    // True when target is in the set and its new contents are to be copied
    // over its old bytes at commit (see above).
    bool IsRewrittenInPlace(const char* target) const;
    bool IsEmpty() const { return mEntries.empty(); }
    // Closes the new files the set holds open, for a caller out of
    // descriptors; each is opened again, and checked, where a step needs
    // it. True when any was closed.
    bool Park();

    // Puts every file onto its target (see above) and empties the set. Every
    // file must be closed first. Waits while another save of one of its
    // files commits, at most KSaveLock::kWaitMilliseconds: then fails with
    // EAGAIN and the cause "another program is saving it", every target
    // keeping its contents and no temporary left. False also when a file
    // cannot be readied (the targets all keep their contents), or when a
    // rename or copy fails: the commit stops there, the targets not yet
    // reached keep their contents and every temporary left is removed. Room
    // that runs short fails with ENOSPC, EDQUOT or EFBIG. Everything that
    // allocates (the turns, each file's readying, the copy buffer of a
    // rewrite) is done before the first file is put: out of memory there, the
    // set is abandoned and std::bad_alloc thrown, every target as it was.
    bool Commit();
    // Removes every temporary (a file written directly stays) and empties
    // the set; the targets keep their contents. It opens and allocates
    // nothing, so it succeeds when no descriptor or memory is left.
    void Abandon() noexcept;

    // Why the last Stage, Create or Commit that failed did, in words for a
    // message ("the folder is not writable", "the file is read-only", "the
    // target is a directory", "the folder does not exist", "too many files
    // are open", "the name is too long", "the file's extended attributes
    // could not be read", ...);
    // "" when it has no cause the user can act on.
    const char* Cause() const { return mCause; }
    // The errno of that failure; 0 before any.
    int Error() const { return mError; }

private:
    enum EKind
    {
        eREPLACED,  // a temporary renamed over the file
        eREWRITTEN, // a temporary copied over the file's old bytes
        eDIRECT,    // written under the target's own name
        eNEW,       // a temporary new to its folder, not yet placed
        ePLACED     // new to its folder, at its name already
    };
    // Its names are all made before the file or folder they name exists, and
    // moved in after: removing what an entry made needs no allocation.
    struct Entry
    {
        std::string mTarget;     // as given to Stage
        std::string mTemporary;  // the name handed out; equal to mReplaced when direct
        std::string mReplaced;   // the file the commit puts the contents on (a link's end)
        std::string mFolder;     // mReplaced's folder
        std::string mName;       // and its name in it
        std::string mStagedName; // the new file's name in its directory
        std::string mStagedPath; // its path; "" when nothing of it is this save's to remove
        std::string mPrivateDir; // the directory made for it, if any
        std::string mHeldPath;   // a placed file's temporary, its second link until the commit
        EKind mKind = eREPLACED;
        bool mExisted = false; // the old file's owner, group and mode follow
        uid_t mOwner = 0;
        gid_t mGroup = 0;
        mode_t mMode = 0;
        mode_t mCreatedMode = 0; // a new file's mode from a plain create
        dev_t mDevice = 0;       // the new file's identity, checked before
        ino_t mInode = 0;        // any step through its name
        dev_t mFolderDevice = 0; // the private directory's identity, checked
        ino_t mFolderInode = 0;  // each time it is opened again
        dev_t mOldDevice = 0;    // the file a rewrite copies over, as Ready
        ino_t mOldInode = 0;     // found it; 0 before
        int mFile = -1;          // the new file, from its exclusive create; -1 when parked
    };
    const Entry* Find(const char* target) const;
    bool Fail(int error, const char* cause);
    bool Add(const char* target);
    bool Push(Entry& entry);
    FILE* OpenLast();
    bool LinkNew(Entry& entry, const std::string& target, bool& linked);
    void UnlinkNew(Entry& entry, const std::string& target, bool linked) noexcept;
    void KeepPlaced() noexcept;
    bool MakeFile(Entry& entry);
    bool StageBeside(Entry& entry);
    bool StagePrivate(Entry& entry);
    static std::string StagingPrefix(const Entry& entry);
    int OpenStagingFolder(Entry& entry);
    bool Reopen(Entry& entry);
    bool Ready(Entry& entry);
    bool ReadyRewrite(Entry& entry);
    bool OpenRewritten(Entry& entry, int& target);
    bool Prepare(KSaveLock& lock, std::vector<char>& block);
    bool Put(Entry& entry, std::vector<char>& block);
    bool Rewrite(Entry& entry, std::vector<char>& block);
    static void Remove(Entry& entry) noexcept;

    std::vector<Entry> mEntries; // in staging order
    size_t mNew = 0;             // the entry CreateNew made, while it is not placed
    bool mHasNew = false;
    const char* mCause = "";
    int mError = 0;
};

#endif
