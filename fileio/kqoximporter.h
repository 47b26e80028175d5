#ifndef QOX_FILEIO_KQOXIMPORTER_H
#define QOX_FILEIO_KQOXIMPORTER_H

// KQoxImporter: reads a file of any registered format into a scene. A native
// file is opened by Initialize at once: its header, version and take list are
// read without reading the rest, so the takes can be listed and chosen before
// Import reads the scene.

#include <memory>
#include <vector>

#include "fileio/kqoxio.h"
#include "fileio/kqoxstreamoptionsqox.h"
#include "scene/kqoxtakeinfo.h"

namespace qoxsdk_600 {

class KQoxImporter : public KQoxIO
{
public:
    enum EStreamOptionsGeneration
    {
        eSTREAMOPTIONS_PARSE_FILE = 0, // options may look into the file
        eSTREAMOPTIONS_FAST = 1        // defaults only
    };

    explicit KQoxImporter(KQoxSdkManager& manager);
    ~KQoxImporter() override;

    // Closes any file, forgets the takes and errors, stores the name and
    // opens the file (FileOpen). False with the reason in the last error;
    // the takes are then empty.
    bool Initialize(const char* fileName) override;
    // Closes any open file, makes the reader of the importer's format (found
    // from the name's extension unless SetFileFormat chose one; unknown
    // extensions are tried as native files) and opens the file given to
    // Initialize through it; a native file's version and takes are read.
    // False with the reason in the last error (no name: "Uninitialized
    // filename"); the takes are then empty.
    bool FileOpen();

    // The format id to read with; -1 (the default) finds it from the name.
    void SetFileFormat(int format) { mFileFormat = format; }
    // The format in use: for native files the form found in the file.
    int GetFileFormat() const { return mFileFormat; }
    // Password for encrypted native files; give it before Initialize.
    void SetPassword(const char* password) { mOptions.SetPassword(password); }

    // The file version (major, minor, revision); majors 1 to 4 report 5.0.0.
    // False when no native file is open.
    bool GetFileVersion(int& major, int& minor, int& revision) const;

    // The takes of the file, each with a selected mark (all selected at open).
    int GetTakeCount() const { return static_cast<int>(mTakes.size()); }
    KQoxTakeInfo* GetTakeInfo(int index) const;
    bool IsTakeSelected(int index) const;
    bool SetTakeSelected(int index, bool selected);
    // The take current in the file ("" when none).
    const char* GetCurrentTakeName() const { return mCurrentTake.ToChars(); }

    // States (KStreamOptionsQox::EState): what Import reads when it builds
    // the options itself.
    bool GetState(int state) const { return mOptions.GetState(state); }
    void SetState(int state, bool on) { mOptions.SetState(state, on); }

    // A new option set of the reader's kind, owned by the caller (null when
    // no file is open, or with "Out of memory" when there is no room).
    KStreamOptions* GetImportOptions(EStreamOptionsGeneration generation = eSTREAMOPTIONS_PARSE_FILE);
    // Reads the open file into the scene; with null options they are built
    // from the states, the password and the selected takes. The reader's
    // message is kept (GetMessage). False with the reason in the last error.
    bool Import(KQoxScene& scene, KStreamOptions* options = nullptr);
    void GetMessage(KString& message) const { message = mMessage; }

    // Closes the file (the reader is destroyed).
    void FileClose();

private:
    bool OpenWithReader();
    bool ImportWithReader(KQoxScene& scene, KStreamOptions* options);
    // Closes the file and fails with the unidentified error "Out of memory".
    bool FailOutOfMemory();
    void TakeReaderError();
    // Forgets the open file's takes, version and message.
    void ForgetFile();
    int mFileFormat = -1;
    std::unique_ptr<KQoxReader> mReader;
    std::vector<std::unique_ptr<KQoxTakeInfo>> mTakes;
    std::vector<bool> mSelected;
    KString mCurrentTake;
    int mVersion = 0;
    KStreamOptionsQox mOptions;
    KString mMessage;
};

} // namespace qoxsdk_600

#endif
