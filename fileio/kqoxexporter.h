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

    // Stores the name; false with eUNINITIALIZED_FILENAME for an empty one,
    // or with "Out of memory" when there is no memory to keep it.
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
    // caller; null (eINVALID_FILE_FORMAT) when no writer exists for the format,
    // or with "Out of memory" when it cannot be made.
    KStreamOptions* GetExportOptions();
    // Creates the file with the format's writer, writes the scene and closes
    // it. Without options the native formats use the states and password;
    // the others fail with eSTREAM_OPTIONS_NOT_SET. A format without a writer
    // fails with eINVALID_FILE_FORMAT. The writer's message is kept. Out of
    // memory anywhere in it fails with eUNIDENTIFIED_ERROR and the text
    // "Out of memory", the old files as they were.
    bool Export(KQoxScene& scene, KStreamOptions* options = nullptr);
    void GetMessage(KString& message) const { message = mMessage; }

private:
    bool ExportScene(KQoxScene& scene, KStreamOptions* options);
    void TakeWriterError(KQoxWriter& writer);
    // Records eUNIDENTIFIED_ERROR with "Out of memory"; false.
    bool OutOfMemory();
    static constexpr const char* kOutOfMemoryText = "Out of memory";
    int mFileFormat = 0;
    KStreamOptionsQox mOptions;
    KString mMessage;
};

} // namespace qoxsdk_600

#endif
