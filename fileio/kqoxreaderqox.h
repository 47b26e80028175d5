#ifndef QOX_FILEIO_KQOXREADERQOX_H
#define QOX_FILEIO_KQOXREADERQOX_H

// KQoxReaderQox: reads native files of every form into a scene. Opening
// reads the header, the version and the take list only; Read verifies the
// whole file and then reads the scene. A damaged or hostile file gives
// "File is corrupted" (or the matching message), and whatever the failed
// read had created is destroyed again.

#include <functional>
#include <memory>
#include <vector>

#include "fileio/iqoxobject.h"
#include "fileio/kqoxfilescene.h"
#include "fileio/kqoxio.h"
#include "fileio/kqoxstreamoptionsqox.h"
#include "scene/kqoxtakeinfo.h"

namespace qoxsdk_600 {

class KQoxReaderQox : public KQoxReader
{
public:
    explicit KQoxReaderQox(KQoxSdkManager& manager);
    ~KQoxReaderQox() override;

    // Password for encrypted files; give it before FileOpen.
    void SetPassword(const char* password) { mPassword = password ? password : ""; }

    bool FileOpen(const char* fileName) override;
    // The same over a file image in memory (kept by the caller while reading).
    bool FileOpen(const void* buffer, unsigned int size);
    bool FileClose() override;
    bool IsFileOpen() override;
    // A KStreamOptionsQox with its defaults.
    KStreamOptions* GetReadOptions(bool parseFileAsNeeded) override;
    // Reads the scene. Options of another kind than KStreamOptionsQox fail
    // with eSTREAM_OPTIONS_NOT_SET; null options mean the defaults.
    bool Read(KQoxScene& scene, KStreamOptions* options) override;

    // The file version of the open file (0 when none) and its form.
    int GetFileVersion() const { return mFile.ProjectGetFileVersion(); }
    KQox::EForm GetFileForm() const { return mFile.ProjectGetForm(); }
    // The takes listed in the file, read at open time, and the current one.
    int GetTakeCount() const { return static_cast<int>(mTakes.size()); }
    const KQoxTakeInfo* GetTakeInfo(int index) const;
    const char* GetCurrentTakeName() const { return mCurrentTake.ToChars(); }

    // Reads a take file (".tak") written for this scene: its take's
    // animation goes into the objects of the scene; the take is added to the
    // scene's take list when missing.
    bool ReadTakeFile(const char* fileName, KQoxScene& scene);

private:
    bool ReadFileScene(KQoxFileScene& scene, const KStreamOptionsQox& options);
    bool AfterOpen();
    // Closes what is open, then runs open; should memory run out in it, the
    // file is closed again and the open fails with "Out of memory".
    bool OpenUnlessOutOfMemory(const std::function<bool()>& open);
    // The takes listed are the open file's: none while a file that failed
    // to open is the last one given.
    void ForgetTakes();
    bool FailFromFile();
    IQoxObject mFile;
    KString mPassword;
    std::vector<std::unique_ptr<KQoxTakeInfo>> mTakes;
    KString mCurrentTake;
};

} // namespace qoxsdk_600

#endif
