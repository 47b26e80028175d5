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
// - Replaced: a temporary lies in the directory of the file it replaces
//   ("<name>.tmpXXXXXX"), so the move is a rename on one file system; it is
//   made by an exclusive create, which gives it the permissions a plain
//   create gives. At commit it takes the old file's owner, group and mode
//   (set-id bits included) and is flushed to disk, then renamed over the old
//   file, and the directory is flushed. A new file keeps plain permissions.
// - Rewritten in place (IsRewrittenInPlace): an existing file the process
//   may write but that a rename would change is rewritten over its old
//   bytes instead: a file with other hard links, a file whose owner or group
//   the process cannot give a new file, or a file in a directory where no
//   temporary can be made. Its new contents are written to a temporary
//   beside it or, when none can be made there, in a private directory under
//   $TMPDIR (else /tmp). At commit the file must be able to hold them (the
//   process's file size limit; the room reserved on its file system where
//   the file system can reserve it) before its first byte changes; the
//   bytes are then copied over the old ones, the file cut to the new size
//   and flushed. Its inode, links, mode, owner and group stay as they were.
//   An I/O error after the checks (in the middle of the copy) leaves the
//   file partly rewritten: it cannot be put back.
// - A target that exists and is neither a regular file nor a directory (a
//   device, a FIFO) is written directly (IsInPlace): nothing can replace it
//   whole, and moving a file over it would destroy it.
// - Commit first readies every file (owner, mode, flush, room), then puts
//   them onto their targets in the reverse order of staging: the file staged
//   first (the main file, which names the others) is put last, so it never
//   names a file that is not there yet.
//
// Failures return false, null or "" with errno telling why, and Cause()
// telling it in words where the user can act on it; nothing throws.

#include <cstdio>
#include <sys/types.h>
#include <vector>

#include "base/kstring.h"

class KStagedFiles
{
public:
    // The most symbolic links followed from a target to the file it names.
    static const int kMaxLinks = 40;

    KStagedFiles();
    // Abandons whatever is not committed.
    ~KStagedFiles();

    KStagedFiles(const KStagedFiles&) = delete;
    KStagedFiles& operator=(const KStagedFiles&) = delete;

    // Adds target to the set and returns the name its new contents are to be
    // created under: a free name, to be created exclusively (O_EXCL, stdio
    // "wbx"), or the target itself when it is written directly (IsInPlace).
    // "" when the target cannot be saved: a null or empty name (EINVAL), a
    // directory (EISDIR), a file the user may not write (EACCES, EROFS), a
    // target already in the set (EEXIST), a loop of links (ELOOP), or no
    // temporary can be made for it (mkstemp's errno: EACCES, ENOENT, EMFILE,
    // ENOSPC ...).
    KString Stage(const char* target);
    // Stage, then the new file opened for writing ("wbx", or "wb" directly);
    // null when either fails (the target is then out of the set again).
    FILE* Create(const char* target);
    // True when target is in the set.
    bool Holds(const char* target) const;
    // True when target is in the set and written directly under its own name
    // (a device, a FIFO).
    bool IsInPlace(const char* target) const;
    // True when target is in the set and its new contents are to be copied
    // over its old bytes at commit (see above).
    bool IsRewrittenInPlace(const char* target) const;
    bool IsEmpty() const { return mEntries.empty(); }

    // Puts every file onto its target (see above) and empties the set. Every
    // file must be closed first. False when a file cannot be readied (the
    // targets all keep their contents), or when a rename or copy fails: the
    // commit stops there, the targets not yet reached keep their contents
    // and every temporary left is removed. Room that runs short fails with
    // ENOSPC, EDQUOT or EFBIG.
    bool Commit();
    // Removes every temporary (a file written directly stays) and empties
    // the set; the targets keep their contents.
    void Abandon();

    // Why the last Stage, Create or Commit that failed did, in words for a
    // message ("the folder is not writable", "the file is read-only", "the
    // target is a directory", "the folder does not exist", ...); "" when it
    // has no cause the user can act on (no descriptor left, say).
    const char* Cause() const { return mCause; }
    // The errno of that failure; 0 before any.
    int Error() const { return mError; }

private:
    enum EKind
    {
        eREPLACED,  // a temporary renamed over the file
        eREWRITTEN, // a temporary copied over the file's old bytes
        eDIRECT     // written under the target's own name
    };
    struct Entry
    {
        KString mTarget;     // as given to Stage
        KString mTemporary;  // the name written; equal to mReplaced when direct
        KString mReplaced;   // the file the commit puts the contents on (a link's end)
        KString mPrivateDir; // the directory made for mTemporary, if any
        EKind mKind = eREPLACED;
        bool mExisted = false; // the old file's owner, group and mode follow
        uid_t mOwner = 0;
        gid_t mGroup = 0;
        mode_t mMode = 0;
        int mTargetFd = -1; // a file to rewrite, opened by Ready
    };
    const Entry* Find(const char* target) const;
    bool Fail(int error, const char* cause);
    bool Ready(Entry& entry);
    bool Put(Entry& entry);
    static void Remove(const Entry& entry);

    std::vector<Entry> mEntries; // in staging order
    const char* mCause = "";
    int mError = 0;
};

#endif
