#ifndef QOX_PLUGIN_EXPORT_QOXZELTIMAGECONVERTERS_H
#define QOX_PLUGIN_EXPORT_QOXZELTIMAGECONVERTERS_H

// Converters between the host's picture formats and the TIFF pixels the
// native file stores. Mode 0 (writing) fills the buffer from the picture when
// conversion to TIFF is on; mode 1 (reading) turns the stored TIFF back into
// the source picture's format. 0 when the work was done, 1 otherwise.

#include "base/kstring.h"
#include "scene/attributes/kqoximageconverter.h"

namespace qoxsdk_600 {
class KQoxSdkManager;
}

// The lower-case extensions a stored TIFF can be turned back into ("tga" is
// converted on writing but not restored).
const int kSupportedFormatCount = 15;
extern const char* const supportedFormats[kSupportedFormatCount];

// Gives the manager one more converter holding the host formats' functions.
void QoxZeltRegisterImageConverters(qoxsdk_600::KQoxSdkManager* manager);

int Convert(int mode, KString& fileName, qoxsdk_600::ImageConverterBuffer& buffer);
int ConvertTif(int mode, KString& fileName, qoxsdk_600::ImageConverterBuffer& buffer);
// Reads the picture into the buffer (4 bytes a pixel, bottom row first) and
// replaces the name with a new temporary "texfile...tif" name; 1 on failure.
int FillBuffer(qoxsdk_600::ImageConverterBuffer& buffer, KString& fileName);

#endif
