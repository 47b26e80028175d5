#ifndef QOX_BASE_KCONFIGFILE_H
#define QOX_BASE_KCONFIGFILE_H

// Settings files: small sectioned text files in the configuration directory.
//
//   [Section]
//   Key = Value ; optional comment
//
// KConfigFile reads and writes one such file. Values are looked up straight
// from the file, and each change rewrites the whole file; on request the
// whole file is loaded into memory, changed there and written back once
// (at Write, or when the object is destroyed). Section and key names are
// compared without regard to case.
//
// A file is written whole into a fresh temporary of its own beside it
// ("<name>.tmpXXXXXX", never through a link), flushed and renamed over the
// name: whoever reads the name, while any number of processes write it,
// finds one whole file, with the mode and group the file it replaces had
// (0600 for a new one; where that group cannot be kept, the file's group
// gets no rights). A file its owner keeps from writing is not written.
// A write that fails leaves the file as it was and no temporary.
//
// Settings are the user's: a file is read only when it is a regular file
// (not reached through a symbolic link) of this user's own that no other
// user may write, or root's in a folder only root may write. A file of the
// user's own that the user's private group may write (umask 002 where each
// user has a group of their own: the user's primary group, of the user's
// name, with no other member) is the user's alone and is read. Anything else
// standing at the name (a link, a FIFO, a folder, another user's file, one
// that others may write or that cannot be opened) reads as missing and is
// never replaced: Set, ClearFile and the in-memory write fail and leave it
// as it is (the in-memory write too when it could be read by then, or when
// reading it failed: the copy holds nothing of it).
//
// The in-memory copy holds entries only: a line of the file that is no
// entry ("key = value" in a section: "Mode: kMerge", or an entry before any
// section) is not kept in it, and its write would drop that line. Such a
// file is kept aside whole when it is loaded, in a file made fresh beside it
// (never through a link, never over another file): "<name>.bak", else the
// first free "<name>-<n>.bak" (one already there holding the same bytes
// serves again); when it cannot be kept aside, the copy is not written over
// it.
//
// Memory running out throws std::bad_alloc to the caller, the file as it was.
//
// KRegistry is the process-wide settings store over one KConfigFile and one
// section, with typed read and write calls.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>
#include "base/kset.h"
#include "base/kstring.h"

class KConfigFile
{
public:
    // The file lives in the configuration directory (KLib_GetConfigDirectory).
    // A name beginning with "@" is made specific to this machine: its file is
    // "<host>.<name without @>". With inMemory, the file is loaded at once and
    // written back at destruction when changed.
    KConfigFile(const char* name, bool inMemory);
    // The same in the given directory; never in memory.
    KConfigFile(const char* name, const char* directory);
    ~KConfigFile();

    KConfigFile(const KConfigFile&) = delete;
    KConfigFile& operator=(const KConfigFile&) = delete;

    // The value of key in section, or the default (copied) when the entry is
    // missing; null when missing and no default is given. The text belongs to
    // this object and changes with the next call.
    char* Get(const char* section, const char* key, const char* defaultValue);
    // Writes "key = value" (and " ; comment") into the section; true on
    // success, false when the file could not be rewritten (it is then
    // unchanged).
    bool Set(const char* section, const char* key, const char* value, const char* comment);
    // True without writing when the entry exists; otherwise Set.
    bool GetOrSet(const char* section, const char* key, const char* value, const char* comment);
    // Empties the file (or the in-memory copy, without marking it changed).
    bool ClearFile();
    // With the in-memory copy: writes it to the file now when it changed;
    // true when written or unchanged, false when the file could not be
    // replaced (it is then as it was). Without one: true.
    bool Write();
    // With the in-memory copy: why the file was not loaded although
    // something stands at its name, as its path and the cause
    // ("/home/me/.config/qoxzelt/registry.txt can be written by other
    // users"); empty when it was loaded or there is none.
    const std::string& WhyNotRead() const { return mNotRead; }

    // With the in-memory copy: the lines of the loaded file that are no
    // entry (see above), numbered from 1, as written.
    struct StrayLine
    {
        int mNumber;
        std::string mText;
    };
    const std::vector<StrayLine>& StrayLines() const { return mStray; }
    // Where the loaded file was kept aside because it holds such lines;
    // empty when it holds none, or when it could not be: WhyNotKeptAside
    // then names the file and the cause, and the copy is not written.
    const std::string& KeptAside() const { return mKeptAside; }
    const std::string& WhyNotKeptAside() const { return mNotKeptAside; }
    // Why the last in-memory write failed: the file and the cause (the file
    // not read at load, not kept aside, refused now, or the system's error).
    const std::string& WhyNotWritten() const { return mNotWritten; }

    // The file's path.
    const char* GetPath() const { return mFilePath; }

    // Operations on an in-memory copy: a set of sections (name -> set of
    // entries), each a set of entries (key -> heap-allocated value text).
    // A load that memory or a read error cuts short leaves the set empty
    // (std::bad_alloc then reaches the caller).
    void VirtualFileLoad(KCharPtrSet* sections);
    bool VirtualFileDump(KCharPtrSet* sections);
    char* VirtualFileGet(KCharPtrSet* sections, const char* section, const char* key, const char* defaultValue);
    bool VirtualFileSet(KCharPtrSet* sections, const char* section, const char* key, const char* value);
    void VirtualFileClear(KCharPtrSet* sections);

private:
    void BuildPaths(const char* name, const char* directory);
    void KeepAside(FILE* file);
    char* CopyValue(const char* text);

    static const int kValueSize = 4096;

    KString mFilePath;
    char mValue[kValueSize];
    std::unique_ptr<KCharPtrSet> mVirtualFile; // in-memory form only
    bool mDirty;
    int mUncaught; // exceptions under way when the object was made
    std::string mNotRead;
    std::vector<StrayLine> mStray;
    std::string mKeptAside;
    std::string mNotKeptAside;
    std::string mNotWritten;
};

class KRegistry
{
public:
    static KRegistry& Instance();

    // Stores the names and opens a new configuration file over the file.
    bool Connect(const char* file, const char* section);
    // Releases the configuration file; true.
    bool Close();

    // The entry of the connected section, or the default when it is missing
    // or does not scan. The first argument is not used.
    int ReadInt(const char* unused, const char* key, int defaultValue);
    float ReadFloat(const char* unused, const char* key, float defaultValue);
    void ReadString(const char* unused, const char* key, const char* defaultValue, KString& out);

    // Write the entry in the connected section; false when it could not be
    // written (or no file is connected).
    bool WriteInt(const char* unused, const char* key, int value);
    bool WriteFloat(const char* unused, const char* key, float value);
    bool WriteString(const char* unused, const char* key, const char* value);

private:
    KRegistry();
    ~KRegistry();
    KRegistry(const KRegistry&) = delete;
    KRegistry& operator=(const KRegistry&) = delete;

    KString mFileName;
    KString mSectionName;
    std::unique_ptr<KConfigFile> mConfigFile;
};

// The number of decimals of numbers shown as text: "@Application.txt",
// section "NumericField", key "Decimal" (default 2), read once per process
// and kept within 0 to 15. Safe from any thread: the first call reads it.
int GetDisplayDecimalCount();

#endif
