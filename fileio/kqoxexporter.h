#ifndef QOX_FILEIO_KQOXEXPORTER_H
#define QOX_FILEIO_KQOXEXPORTER_H

// KQoxExporter: writes a scene to a file of any registered format, native
// binary version 6 by default.

#include "fileio/kqoxio.h"
#include "fileio/kqoxstreamoptionsqox.h"

namespace qoxsdk_600 {

class KQoxExporter : public KQoxIO
{
public:
    explicit KQoxExporter(KQoxSdkManager& manager);
    ~KQoxExporter() override;

    // Stores the name; false with eUNINITIALIZED_FILENAME for an empty one.
    bool Initialize(const char* fileName) override;

    // An exporter format id (EExportFileFormat); false, nothing changed, for
    // an id out of range.
    bool SetFileFormat(int format);
    int GetFileFormat() const { return mFileFormat; }
    // Password of the encrypted native form.
    void SetPassword(const char* password) { mOptions.SetPassword(password); }

    bool GetState(int state) const { return mOptions.GetState(state); }
    void SetState(int state, bool on) { mOptions.SetState(state, on); }

    // A new option set of the writer's kind with its defaults, owned by the
    // caller; null (eINVALID_FILE_FORMAT) when no writer exists for the format.
    KStreamOptions* GetExportOptions();
    // Creates the file with the format's writer, writes the scene and closes
    // it. Without options the native formats use the states and password;
    // the others fail with eSTREAM_OPTIONS_NOT_SET. A format without a writer
    // fails with eINVALID_FILE_FORMAT. The writer's message is kept.
    bool Export(KQoxScene& scene, KStreamOptions* options = nullptr);
    void GetMessage(KString& message) const { message = mMessage; }

private:
    void TakeWriterError(KQoxWriter& writer);
    int mFileFormat = 0;
    KStreamOptionsQox mOptions;
    KString mMessage;
};

} // namespace qoxsdk_600

#endif
