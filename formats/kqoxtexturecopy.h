#ifndef QOX_FORMATS_KQOXTEXTURECOPY_H
#define QOX_FORMATS_KQOXTEXTURECOPY_H

// Copying a texture image beside a written geometry file (OBJ, 3DS).

#include "base/kstagedfiles.h"
#include "base/kstring.h"

namespace qoxsdk_600 {

enum ETextureCopy
{
    eTEXTURE_COPIED = 0,      // copied, or a file of that name already there
    eTEXTURE_MISSING = 1,     // the image cannot be read
    eTEXTURE_NOT_CREATED = 2, // the copy cannot be created
    eTEXTURE_NOT_WRITTEN = 3, // the copy could not be written completely
    eTEXTURE_NO_DESCRIPTOR = 4 // no file descriptor was left to copy it
};

// The cause of eTEXTURE_NO_DESCRIPTOR, for "File not created: <cause>".
extern const char* const kTEXTURE_NO_DESCRIPTOR_CAUSE;

// Copies the image at texturePath into the directory of writtenFilePath,
// under the image's own file name (extension kept), as a file of files: it
// reaches its name when files is committed (with the written file), and an
// abandoned set leaves nothing of it. When a file of that name is already
// there, or already in files, nothing is copied. A failure appends one line
// to message:
//   Unable to locate texture file "<texturePath>".        (eTEXTURE_MISSING)
//   Error writing texture file "<destination>".            (NOT_CREATED, NOT_WRITTEN)
// An image or copy that cannot be opened for want of a descriptor (EMFILE,
// ENFILE) is eTEXTURE_NO_DESCRIPTOR and adds no line: the image is there,
// the save is to fail naming kTEXTURE_NO_DESCRIPTOR_CAUSE. Memory running
// out (the copy's buffer, the copy's path) throws std::bad_alloc.
ETextureCopy CopyTextureFile(const char* texturePath, const char* writtenFilePath, KStagedFiles& files,
                             KString& message);

// The same as a set of its own, committed at once: true when copied or
// already there.
bool CopyTextureFile(const char* texturePath, const char* writtenFilePath, KString& message);

} // namespace qoxsdk_600

#endif
