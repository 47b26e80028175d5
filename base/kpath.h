#ifndef QOX_BASE_KPATH_H
#define QOX_BASE_KPATH_H

// Paths and directories: taking file paths apart and putting them together,
// normalising them, making one path relative to another; creating, testing,
// renaming and deleting directories; the KDir directory reader; and the
// three process-wide library directories.
//
// Both "/" and "\" are accepted as separators on input; paths built here use
// "/". A drive prefix ("C:") or a network prefix ("//server/share") is
// recognised so that paths written on other platforms can be handled.
// Paths of any length are handled.

#include <dirent.h>
#include <string>
#include <vector>
#include <sys/types.h>

#include "base/kstring.h"

// Directory reader.
class KDir
{
public:
    KDir();
    ~KDir();

    KDir(const KDir&) = delete;
    KDir& operator=(const KDir&) = delete;

    // Opens the directory (the text after the first ":" when there is one)
    // and reads its first entry; true when a first entry exists.
    bool Open(const char* path);
    // Reads the next entry; false at the end.
    bool Next();
    void Close();
    // The current entry's name ("" when there is none).
    const char* Name();
    // 1 when the current entry is a directory, else 0.
    int GetType();
    // The current name's text after its last "."; "" without a ".".
    KString GetExt();
    // mkdir with permissions 0770, then Open.
    bool Create(const char* path);
    // Removes every entry that is not a directory (files and links), then the
    // directory itself; true when the directory is gone.
    bool Delete(const char* path);
    // True when the directory has no entry but "." and "..", or cannot be opened.
    bool IsEmpty(const char* path);

private:
    KString mPath;
    DIR* mHandle;
    struct dirent* mEntry;
    bool mHasEntry;
};

// True for "" or when the directory can be opened.
bool KDirectoryExist(const char* path);
// rename; true when the rename FAILED.
bool KDirectoryRename(const char* from, const char* to);
// Removes the directory, its files and links, and (when recursive) its
// subdirectories. Symbolic links are removed themselves, never followed.
// True when the directory could NOT be removed.
bool KDirectoryRemove(const char* path, bool recursive);
// Creates, level by level, the directory part of filePath (before its last
// "/") when it does not exist. True when that directory exists afterwards
// (a name without "/" has nothing to create).
bool KEnsureDirectoryExistance(const char* filePath);
// The current directory, "" when unknown; no separator appended.
KString KGetCurrentDirectory();
// "host:" (or "?:") followed by the current directory.
KString KGetCurrentDirectoryWithHostName();
// The temporary directory with a trailing "/" ($TMPDIR, else "/tmp/") when
// it fits in size bytes; the length written, 0 when nothing was written.
unsigned int GetTempPath(unsigned int size, char* buffer);
// The same with "/" when $TMPDIR is not set.
unsigned int GetDevPath(unsigned int size, char* buffer);
// A file name that does not exist yet, in the directory (the temporary
// directory when null or not a directory), starting with the prefix.
KString GetTempName(const char* directory, const char* prefix);
// Copies source to destination; true when every byte was written.
bool KCopyFile(const char* destination, const char* source);

// Path texts; each returns a new string.
KString ExtractFileName(const char* path, bool withExtension);
KString ExtractFileExtension(const char* path);
KString ChangeFileExtension(const char* path, const char* extension);
KString ExtractDirectory(const char* path);
KString ExtractDirectoryFromFilePath(const char* path);
KString ExtractParentDirectory(const char* path, int level);
KString ExtractDrive(const char* path);
KString ExtractFilePathNoDrive(const char* path);
// Cuts the string at every separator (in its own buffer) and stores in
// parts[k] the text after the k-th separator, at most capacity pointers.
// Returns the number of separators minus one.
int SplitDirs(KString& path, char** parts, int capacity = 0x7fffffff);
KString MakeFullPath(const char* base, const char* relative);
KString KFullPath(const char* path);
KString KCleanPath(const char* path);
KString GetRelativePath(const char* from, const char* to);
KString GetRelativeFilePath(const char* from, const char* to);
bool GetIsRelativePath(const char* path);
// The regular file a name found in a file stands for, looked for from
// directory, the folder of the file that holds the name ("" or relative: taken
// from the current directory). An absolute name is looked for, and given
// back, as it is; a relative one gives its absolute path, clean where that
// names the same file. "" when the name names no regular file.
// A name that names no regular file as written may still name one whose
// letters differ in case (tools of systems that ignore case write
// "GL-14_CH.TGA" for the "gl-14_ch.tga" beside the file): each component
// ("/" parts them) that names nothing of its kind as written (a folder, and
// a regular file for the last) is the one entry of its folder, of that kind,
// whose name differs from it only in the case of ASCII letters; with none,
// or more than one alike, the name names no file. "." and ".." are taken as
// written. The path found is given, made of the names on disk.
// A name that names no file so either (often a path of the author's
// machine, "C:\Users\me\proj\textures\wood.png" or
// "/home/me/proj/textures/wood.png", for an image that came beside the file,
// perhaps in a folder of its own) is looked for by its trailing parts (see
// KTrailingParts), longest first, in directory, each as written and then
// without regard to case: "proj/textures/wood.png", "textures/wood.png",
// then the base name "wood.png". upTo stops the search earlier, for a name
// looked for in several places or forms: each is tried so before any by
// its trailing parts.
// Memory running out throws std::bad_alloc.
enum class KFindFile
{
    eAsWritten, // the name as written only
    eAnyCase,   // then without regard to the case of its letters
    eBaseName   // then its base name in directory
};
KString KFindFileFrom(const char* directory, const char* name, KFindFile upTo = KFindFile::eBaseName);
// The trailing parts of a name with folders ("/" or "\" part them, a run
// of them as one), longest first, each with its parts joined by "/": every
// part but the first for a relative name or one with a drive ("C:"), every
// part for one that starts with a separator, down to the base name. A part
// that climbs (a "..") is in no tail given, so that none leads out of the
// folder it is looked for in, and "." is no part; no tail starts with a
// separator. Tails of at most kTrailingPartsMost parts are given (no image
// ships that deep). None for a name without folders or one that ends in a
// separator (a folder).
constexpr size_t kTrailingPartsMost = 32;
std::vector<std::string> KTrailingParts(const char* name);
// The same as written only (upTo eAsWritten).
KString KFindFileAsWritten(const char* directory, const char* name);
// Whether two names are alike but for the case of ASCII letters (the same
// in every locale): one file on the disks that ignore case.
bool SameButForCase(const char* a, const char* b);
// A file name numbered for a copy whose own name is taken: "name.ext" as
// "name-<number>.ext", the number before the last "."; a name without
// extension, or whose only "." leads, gets the number at its end
// (".hidden-2").
std::string KNumberedFileName(const std::string& name, int number);
// The home folder the user database gives user (not $HOME, so that every
// process of the user finds the same), absolute; false with errno ENOENT
// when it gives none.
bool KUserHomeFolder(uid_t user, std::string& home);
bool IsPathHidden(const char* path);
bool FileIsReadOnly(const char* path);
bool TestFileExtension(const char* path, const char* extension);
bool TestSSFileExtension(const char* path);
// Moves path from oldBase to newBase into result (resultSize bytes).
// Nothing is written when the result would not fit.
bool KTranslateSubPath(char* result, const char* path, const char* oldBase, const char* newBase,
                       unsigned int resultSize = 1024);
// Splits "name(12)" into "name" and 12; other texts give the text and 0.
void GetNameAndIndex(KString& fullName, KString& name, int& index);

// File size and date queries are not provided on this platform.
unsigned int GetFileSize(const char* path);
long GetFileLastDate(const char* path);
KString GetFileSizeString(const char* path, bool raw);
KString GetFileLastDateString(const char* path);

// The library directories: master, home and configuration. Set and read from
// any thread; the text a getter returns stays valid until the process ends,
// whatever is set later.
const char* KLib_GetMasterDirectory();
const char* KLib_GetHomeDirectory();
const char* KLib_GetConfigDirectory();
void KLib_SetMasterDirectory(const char* path);
void KLib_SetHomeDirectory(const char* path);
void KLib_SetConfigDirectory(const char* path);

#endif
