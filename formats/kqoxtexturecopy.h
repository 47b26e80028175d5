#ifndef QOX_FORMATS_KQOXTEXTURECOPY_H
#define QOX_FORMATS_KQOXTEXTURECOPY_H

// Copying a texture image beside a written geometry file (OBJ, 3DS).

#include "base/kstring.h"

namespace qoxsdk_600 {

// Copies the image at texturePath into the directory of writtenFilePath,
// under the image's own file name (extension kept). When a file of that name
// is already there nothing is copied and the result is true. Otherwise a
// failure appends one line to message and returns false:
//   Unable to locate texture file "<texturePath>".        (source not readable)
//   Error writing texture file "<destination>".            (create, read, write or close failed)
// A destination that was created but not completely written is removed.
bool CopyTextureFile(const char* texturePath, const char* writtenFilePath, KString& message);

} // namespace qoxsdk_600

#endif
