#ifndef QOX_FILEIO_WRITERS_KQOXWRITERQOX_H
#define QOX_FILEIO_WRITERS_KQOXWRITERQOX_H

// KQoxWriterQox: writes a scene as a version-5 native file (5800), binary or
// ASCII, for tools that exchange version-5 files. The layout is the version-6
// one with every section marked 5800, curves stored with their automatic
// tangents as evaluated slopes, and the shape channels of every geometry
// under their version-5 names ("<shape> (Shape)") while the file is written.
// The scene is left as it was found.

#include "fileio/writers/kqoxwriterqox6.h"

namespace qoxsdk_600 {

class KQoxWriterQox : public KQoxWriterQox6
{
public:
    // form: KQox::eBINARY or KQox::eASCII (the version-5 formats have no
    // encrypted form; an encrypted request writes binary).
    KQoxWriterQox(KQoxSdkManager& manager, KQox::EForm form = KQox::eBINARY);
    ~KQoxWriterQox() override;

    // Writes the whole scene in the version-5 layout; the shape names of
    // every geometry are converted for the write and reverted after it,
    // whether the write succeeded or not.
    bool Write(KQoxScene& scene, KStreamOptions* options) override;
    // A take file in the version-5 layout: shape channels under their
    // version-5 names, as in Write.
    bool WriteTakeFile(const char* fileName, KQoxScene& scene, const char* takeName) override;
};

} // namespace qoxsdk_600

#endif
