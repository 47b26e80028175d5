#ifndef QOX_FORMATS_KQOXTEXTURECOPY_H
#define QOX_FORMATS_KQOXTEXTURECOPY_H

// Copying texture images beside a written geometry file (OBJ, 3DS).

#include <map>
#include <string>
#include <sys/types.h>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/kstagedfiles.h"
#include "base/kstring.h"
#include "formats/kqoxfoldernames.h"

namespace qoxsdk_600 {

enum ETextureCopy
{
    eTEXTURE_COPIED = 0,      // copied, or a file with the image's bytes already there
    eTEXTURE_MISSING = 1,     // the image cannot be read
    eTEXTURE_NOT_CREATED = 2, // the copy cannot be created
    eTEXTURE_NOT_WRITTEN = 3, // the copy could not be written completely
    eTEXTURE_NO_DESCRIPTOR = 4 // no file descriptor was left to copy it
};

// The cause of eTEXTURE_NO_DESCRIPTOR, for "File not created: <cause>".
extern const char* const kTEXTURE_NO_DESCRIPTOR_CAUSE;

// How the copies are named.
enum ETextureCopyNames
{
    eCOPY_NAMES_ANY = 0,  // the image's own file name, numbered when it is taken
    eCOPY_NAMES_SHORT = 1 // the same while it has at most kSHORT_COPY_NAME_LENGTH
                          // characters, else an 8.3 name made from it
};
const size_t kSHORT_COPY_NAME_LENGTH = 12;

// The texture images one save copies into the folder of its written file.
// Only a regular file is read as an image: a folder, device or FIFO is not
// found, and nothing is read from it. A copy never stands for another
// image: its name is the image's file name (a line break in it made '_')
// when that is free in the folder and in the save, or is a regular file of
// the user's own (no link) holding the image's bytes already (then nothing
// is copied); otherwise the first free one of KNumberedFileName's
// "name-1.ext", "name-2.ext" ... A name alike but for the case of ASCII
// letters to another there is taken (one file on the disks that ignore
// case): the folder is listed at the save's first copy and watched from
// then on (KFolderNames), so each copy costs the same however many files
// the folder holds. A copy is written whole, flushed, and only then given
// its name, where the name is still free at that moment: it never replaces
// a file, so saves into one folder at once never take each other's names.
// A copy whose save is not committed yet has a second link
// (KStagedFiles::PlaceNew), and a file with more than one link never
// stands for an image: so no save takes a copy another save may still
// remove (its name found alike to another's but for case, or the save
// failed). It gets
// the image's read and write permission bits, less the umask. With
// eCOPY_NAMES_SHORT a name longer than kSHORT_COPY_NAME_LENGTH gives way to
// "<first letters>-<n>.<extension cut to 3>", 8.3 in all (letters as
// written, dots left out). One image (one file, whatever its path) is
// copied once per save.
class KTextureCopies
{
public:
    // Forgets the copies made: for a new save.
    void Clear()
    {
        mCopies.clear();
        mByImage.clear();
        mByTarget.clear();
        mNames.Close();
    }
    // Stops watching the folder of the copies, its names forgotten: for a
    // save done copying, before its commit, which then has the descriptor.
    void Done() noexcept { mNames.Close(); }

    // Copies the image at texturePath into the folder of writtenFilePath as
    // a file of files, placed at its name at once (KStagedFiles::PlaceNew):
    // a commit keeps it, an abandoned set leaves nothing of it. The copy's
    // file name (without folder) goes to copyName when the result is
    // eTEXTURE_COPIED; renamed, when given, tells whether this call gave the
    // image its copy, under another name than the image's (the save's
    // message names it then, once per image). A failure appends one line to
    // message:
    //   Unable to locate texture file "<texturePath>".        (eTEXTURE_MISSING)
    //   Error writing texture file "<destination>".            (NOT_CREATED, NOT_WRITTEN)
    // An image, copy or file in the way that cannot be opened for want of a
    // descriptor (EMFILE, ENFILE) is eTEXTURE_NO_DESCRIPTOR and adds no
    // line: the image is there, the save is to fail naming
    // kTEXTURE_NO_DESCRIPTOR_CAUSE. Memory running out (the copy's buffer,
    // its path or name) throws std::bad_alloc.
    ETextureCopy CopyTextureFile(const char* texturePath, const char* writtenFilePath, KStagedFiles& files,
                                 KString& message, KString& copyName, ETextureCopyNames names = eCOPY_NAMES_ANY,
                                 bool* renamed = nullptr);

private:
    ETextureCopy CopyOnce(const char* texturePath, const char* writtenFilePath, KStagedFiles& files, KString& message,
                          KString& copyName, ETextureCopyNames names, bool* renamed);

    struct Copy
    {
        std::string mSource; // the image's path
        std::string mTarget; // the copy's path
    };
    std::vector<Copy> mCopies;
    std::map<std::pair<dev_t, ino_t>, size_t> mByImage; // the copy of each image
    std::unordered_map<std::string, size_t> mByTarget;  // the first copy made at each name
    KFolderNames mNames;                                 // the names in the copies' folder
};

// A copy as a save of its own, committed at once: true when copied or a
// file with the image's bytes is there already; the copy's file name in
// copyName when given.
bool CopyTextureFile(const char* texturePath, const char* writtenFilePath, KString& message,
                     KString* copyName = nullptr);

// Names in message a copy made under another name than its image's name
// (the image at path):
//   Texture name file: "<name>" is too long.       (tooLong)
//   Texture name "<copy>" in material "<material>" names its copy of "<path>"
// and an empty line.
void NameCopy(KString& message, const std::string& name, const char* path, const char* copy, const char* material,
              bool tooLong);

// The name with each line break (CR, LF) made '_': a name written into a
// line of text then never starts another line.
std::string WithoutLineBreaks(const std::string& name);
bool HasLineBreak(const char* name);

} // namespace qoxsdk_600

#endif
