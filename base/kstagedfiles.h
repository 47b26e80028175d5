#ifndef QOX_BASE_KSTAGEDFILES_H
#define QOX_BASE_KSTAGEDFILES_H

// KStagedFiles: the files of one save (a scene file with its material
// library and copied images, say), each written under a temporary name
// beside its target and moved onto the targets together once every one is
// complete. Until then every target keeps its old contents; a set that is
// abandoned, or destroyed without a commit, removes its temporaries, so a
// failed save leaves the old files byte-identical and nothing of its own.
//
// - A temporary lies in its target's directory ("<target>.tmpXXXXXX"), so
//   the move is a rename on one file system; it is made by an exclusive
//   create, which gives it the permissions a plain create gives.
// - A target that is a symbolic link is replaced where the link leads.
// - A target that exists and is neither a regular file nor a directory (a
//   device, a FIFO) is written in place: nothing can replace it whole, and
//   moving a file over it would destroy it. Commit leaves it as written.
// - Commit moves the temporaries in the reverse order of staging: the file
//   staged first (the main file, which names the others) moves last, so it
//   never names a file that is not there yet.
//
// Failures return false, null or "" with errno telling why; nothing throws.

#include <cstdio>
#include <vector>

#include "base/kstring.h"

class KStagedFiles
{
public:
    KStagedFiles();
    // Abandons whatever is not committed.
    ~KStagedFiles();

    KStagedFiles(const KStagedFiles&) = delete;
    KStagedFiles& operator=(const KStagedFiles&) = delete;

    // Adds target to the set and returns the name its new contents are to be
    // created under: a name free in the target's directory, to be created
    // exclusively (O_EXCL, stdio "wbx"), or the target itself when it is
    // written in place (IsInPlace). "" when the target cannot be replaced:
    // a null or empty name (EINVAL), a directory (EISDIR), a file the user
    // may not write (EACCES), a target already in the set (EEXIST), or no
    // temporary can be made in its directory (mkstemp's errno: EACCES,
    // ENOENT, EMFILE, ENOSPC ...).
    KString Stage(const char* target);
    // Stage, then the new file opened for writing ("wbx", or "wb" in place);
    // null when either fails (the target is then out of the set again).
    FILE* Create(const char* target);
    // True when target is in the set.
    bool Holds(const char* target) const;
    // True when target is in the set and written in place.
    bool IsInPlace(const char* target) const;
    bool IsEmpty() const { return mEntries.empty(); }

    // Moves every temporary onto its target (see above) and empties the
    // set. Every file must be closed first. False when a rename fails: the
    // commit stops there, the targets not yet reached keep their contents
    // and every temporary left is removed.
    bool Commit();
    // Removes every temporary (a file written in place stays) and empties
    // the set; the targets keep their contents.
    void Abandon();

private:
    struct Entry
    {
        KString mTarget;    // as given to Stage
        KString mTemporary; // the name written; equal to mReplaced in place
        KString mReplaced;  // the file the commit replaces (a link's end)
    };
    const Entry* Find(const char* target) const;

    std::vector<Entry> mEntries; // in staging order
};

#endif
