#ifndef QOX_FILEIO_WRITERS_KQOXWRITERQOX6_H
#define QOX_FILEIO_WRITERS_KQOXWRITERQOX6_H

// KQoxWriterQox6: writes a scene as a version-6 native file (binary, ASCII
// or encrypted): definitions, objects, connections, takes and the animation
// of every take, laid out as docs/qox-file-format.md describes. The file is
// written under a temporary name and takes its own name only when complete.

#include <memory>
#include <vector>

#include "base/kqox.h"
#include "fileio/iqoxobject.h"
#include "fileio/kqoxfilescene.h"
#include "fileio/kqoxio.h"
#include "fileio/kqoxstreamoptionsqox.h"

namespace qoxsdk_600 {

struct KQoxWrittenSkin;

class KQoxWriterQox6 : public KQoxWriter
{
public:
    KQoxWriterQox6(KQoxSdkManager& manager, KQox::EForm form = KQox::eBINARY);
    ~KQoxWriterQox6() override;

    // Password of the encrypted form; give it before FileCreate.
    void SetPassword(const char* password) { mPassword = password ? password : ""; }

    // Creates the file (eFILE_NOT_CREATED when it cannot be).
    bool FileCreate(const char* fileName) override;
    // Completes the file and gives it its name; eOUT_OF_DISK_SPACE or
    // eFILE_NOT_CREATED when that fails (no file is left under the name).
    bool FileClose() override;
    bool IsFileOpen() override;
    // A KStreamOptionsQox with its defaults.
    KStreamOptions* GetWriteOptions() override;
    // Writes the whole scene. Options of another kind than KStreamOptionsQox
    // fail with eSTREAM_OPTIONS_NOT_SET; null options mean the defaults.
    bool Write(KQoxScene& scene, KStreamOptions* options) override;

    // Writes one take's animation alone as a take file (".tak").
    virtual bool WriteTakeFile(const char* fileName, KQoxScene& scene, const char* takeName);

protected:
    // FileCreate's, FileClose's, Write's and WriteTakeFile's work.
    bool CreateFile(const char* fileName);
    bool CloseFile();
    bool WriteScene(KQoxScene& scene, KStreamOptions* options);
    bool WriteTake(const char* fileName, KQoxScene& scene, const char* takeName);
    // Drops the file being written, if any.
    void AbandonFile();
    // The file version written: version 6 here, version 5 by KQoxWriterQox.
    int mFileVersion = KQox::eVERSION_6;

private:
    bool WriteFileScene(KQoxFileScene& scene, const KStreamOptionsQox& options);
    KQox::EForm mForm;
    // The skins made for the write under way (version 6).
    const std::vector<KQoxWrittenSkin>* mSkins = nullptr;
    int mNestedDepth = 0;    // scenes nested around the one being written
    int mPosesTooDeep = 0;   // poses left out for their depth
    int mTargetsLeftOut = 0; // targets no other node of the file stands for
    bool mDescriptorsRanOut = false; // an image to embed could not be opened for want of a descriptor
    KString mPassword;
    std::unique_ptr<IQoxObject> mFile;
};

} // namespace qoxsdk_600

#endif
