#ifndef QOX_BASE_KMAPPINGGUARD_H
#define QOX_BASE_KMAPPINGGUARD_H

// Readers map regular files to read them in place. Another process may
// shrink such a file while it is read (truncate it, or rewrite it where it
// stands); a mapped page past the file's new end then raises SIGBUS when
// touched, and so does a page the system fails to read from the disk. Either
// would end the process.
//
// While a guard holds a mapping, such a fault inside it maps a page of zeros
// where the lost page was: the access that faulted reads zeros and the read
// goes on to its end, and the guard is marked spoilt. The mapping's owner
// checks Spoilt() before it reports a read as done, and fails it then.
//
// A fault outside every held mapping goes where it went before the first
// guard: to the handler the process had, or to the system's default action.
// Guards on several threads at once are fine; at most kMaxHeld mappings are
// held at a time (a Hold past that guards nothing and returns false).

#include <cstddef>

class KMappingGuard
{
public:
    static const int kMaxHeld = 256;

    KMappingGuard() = default;
    ~KMappingGuard() { Release(); }
    KMappingGuard(const KMappingGuard&) = delete;
    KMappingGuard& operator=(const KMappingGuard&) = delete;

    // Guards the size bytes at data (a read-only mapping of the caller's),
    // releasing what this guard held before. False when nothing could be
    // guarded (every slot held, or no handler to be had on this system).
    bool Hold(const void* data, size_t size);
    // Stops guarding; called before the mapping goes.
    void Release();
    // Whether a page of the mapping held was lost since Hold; false when
    // nothing is held.
    bool Spoilt() const;

private:
    int mSlot = -1;
};

#endif
