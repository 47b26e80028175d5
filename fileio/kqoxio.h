#ifndef QOX_FILEIO_KQOXIO_H
#define QOX_FILEIO_KQOXIO_H

// The file-format front: KQoxIO (the importer's and exporter's common part),
// and the bases every file reader and writer derives from. Readers and
// writers are made per file through the format registry (kqoxioregistry.h).

#include <cstdio>
#include <new>
#include <utility>
#include <vector>

#include "base/kerror.h"
#include "base/kstring.h"

class KStreamOptions;

class KStagedFiles;

namespace qoxsdk_600 {

class KQoxNode;
class KQoxScene;
class KQoxSdkManager;

// Base of the importer and the exporter: the file name and the last error.
class KQoxIO : public KErrorOwner
{
public:
    enum EError
    {
        eFILE_CORRUPTED = 0,
        eFILE_VERSION_NOT_SUPPORTED_YET = 1,
        eFILE_VERSION_NOT_SUPPORTED_ANYMORE = 2,
        eFILE_NOT_OPENED = 3,
        eFILE_NOT_CREATED = 4,
        eOUT_OF_DISK_SPACE = 5,
        eUNINITIALIZED_FILENAME = 6,
        eUNIDENTIFIED_ERROR = 7,
        eINDEX_OUT_OF_RANGE = 8,
        eWRONG_PASSWORD = 9,
        eSTREAM_OPTIONS_NOT_SET = 10,
        eINVALID_FILE_FORMAT = 11,
        eERROR_COUNT = 12
    };

    explicit KQoxIO(KQoxSdkManager& manager);
    virtual ~KQoxIO();
    KQoxIO(const KQoxIO&) = delete;
    KQoxIO& operator=(const KQoxIO&) = delete;

    // Resets the object and keeps the file name (the importer also opens the file).
    virtual bool Initialize(const char* fileName);
    // The name given to Initialize ("" before).
    const char* GetFileName() const { return mFileName.ToChars(); }

    KQoxSdkManager& GetSdkManager() const { return mManager; }

protected:
    KQoxSdkManager& mManager;
    KString mFileName;
};

// What every file reader and writer shares: the manager, the last error
// (with the texts of the kind's own table) and the message gathered while
// reading or writing.
class KQoxFileHandler : public KErrorOwner
{
public:
    virtual ~KQoxFileHandler();
    KQoxFileHandler(const KQoxFileHandler&) = delete;
    KQoxFileHandler& operator=(const KQoxFileHandler&) = delete;

    virtual bool FileClose() = 0;
    virtual bool IsFileOpen() = 0;

    void GetMessage(KString& message) const { message = mMessage; }
    void ClearMessage() { mMessage = ""; }
    // Hands the message over to message, leaving this one empty: unlike a
    // copy it allocates nothing, so it cannot lose the message.
    void TakeMessage(KString& message) { message = std::move(mMessage); }

protected:
    KQoxFileHandler(KQoxSdkManager& manager, const char* const* errorTexts, int errorCount);

    // Runs step (returning bool) and returns its result. Should memory run
    // out in it (std::bad_alloc, on this thread or from a helper), undo runs
    // and the step fails instead: false, with the kind's unidentified error
    // (the last of its table) and the text kOutOfMemoryText.
    template <class F, class G>
    bool UnlessOutOfMemory(F&& step, G&& undo)
    {
        try
        {
            return step();
        }
        catch (const std::bad_alloc&)
        {
            undo();
            mError.SetLastError(mError.GetErrorCount() - 1, kOutOfMemoryText);
            return false;
        }
    }
    template <class F>
    bool UnlessOutOfMemory(F&& step)
    {
        return UnlessOutOfMemory(step, [] {});
    }
    static constexpr const char* kOutOfMemoryText = "Out of memory";

    KQoxSdkManager& mManager;
    KString mMessage;
};

// Base of every file reader.
class KQoxReader : public KQoxFileHandler
{
public:
    enum EError
    {
        eFILE_CORRUPTED = 0,
        eFILE_VERSION_NOT_SUPPORTED_YET = 1,
        eFILE_VERSION_NOT_SUPPORTED_ANYMORE = 2,
        eFILE_NOT_OPENED = 3,
        eFILE_NOT_CREATED = 4,
        eWRONG_PASSWORD = 5,
        eSTREAM_OPTIONS_NOT_SET = 6,
        eUNIDENTIFIED_ERROR = 7,
        eERROR_COUNT = 8
    };

    explicit KQoxReader(KQoxSdkManager& manager);

    virtual bool FileOpen(const char* fileName) = 0;
    // A new option set of the reader's kind with its defaults; the caller owns it.
    virtual KStreamOptions* GetReadOptions(bool parseFileAsNeeded) = 0;
    virtual bool Read(KQoxScene& scene, KStreamOptions* options) = 0;
    // Appends to message the names of nodes under root that another node
    // shares; true when there is none.
    virtual bool CheckDuplicateNodeNames(KQoxNode* root, KString& message);

    // The bytes a reader's head test (below) is shown: a file's first block.
    static constexpr size_t kHEAD_BYTES = 4096;

protected:
    // A reader's test of what its files begin with: true when head, the
    // file's first kHEAD_BYTES bytes (all of a shorter file, none of an
    // empty one), may begin a file of its format.
    typedef bool (*HeadTest)(const unsigned char* head, size_t length);

    // For readers of a plain file: closes the open one (through FileClose),
    // then opens fileName for reading into file and keeps its name in
    // openedName. False with eFILE_NOT_OPENED when it cannot be opened or
    // is a directory, its text naming the cause ("File not opened: no such
    // file", see base/kfilecause.h). With test, a file whose first bytes it
    // refuses is not kept open: eFILE_CORRUPTED, with the cause
    // kCAUSE_EMPTY_FILE for an empty one and notFormat for any other ("not
    // an OBJ file"). A stream (anything but a regular file: a FIFO, a
    // socket, a device) is read whole here, to StreamMostBytes() bytes, into
    // mStreamBytes, which file then reads from memory (it can be read
    // again); one whose first bytes test refuses is read no further, one
    // that holds more is eFILE_NOT_OPENED with the text
    // kSTREAM_TOO_LONG_TEXT, one there is no memory for "Out of memory".
    bool OpenReadFile(const char* fileName, FILE*& file, KString& openedName, HeadTest test = nullptr,
                      const char* notFormat = "");
    // Closes file (if open) and forgets it, openedName and a stream's
    // bytes; false when the close fails.
    bool CloseReadFile(FILE*& file, KString& openedName);
    // The error of a stream read that failed (ReadStreamWhole's result): as
    // OpenReadFile reports it. False, for returning at once.
    bool FailStreamRead(int result);
    // The error of a file whose first bytes (length of them) a head test
    // refused: eFILE_CORRUPTED, the file empty or notFormat. False.
    bool FailHead(size_t length, const char* notFormat);

    // The bytes of the stream OpenReadFile read; empty for a regular file.
    std::vector<unsigned char> mStreamBytes;
};

// Base of every file writer.
class KQoxWriter : public KQoxFileHandler
{
public:
    enum EError
    {
        eFILE_CORRUPTED = 0,
        eFILE_NOT_OPENED = 1,
        eFILE_NOT_CREATED = 2,
        eOUT_OF_DISK_SPACE = 3,
        eSTREAM_OPTIONS_NOT_SET = 4,
        eUNIDENTIFIED_ERROR = 5,
        eERROR_COUNT = 6
    };

    explicit KQoxWriter(KQoxSdkManager& manager);

    virtual bool FileCreate(const char* fileName) = 0;
    // A new option set of the writer's kind with its defaults; the caller owns it.
    virtual KStreamOptions* GetWriteOptions() = 0;
    virtual bool Write(KQoxScene& scene, KStreamOptions* options) = 0;
    // The node the file's hierarchy starts from: the scene's root.
    virtual KQoxNode* FindRootNode(KQoxScene& scene);
    // Appends to message the names under node (node included) that hold a
    // blank; true when there is none.
    virtual bool CheckSpaceInNodeNameRecursive(KQoxNode* node, KString& message);

protected:
    // Ends an export written under temporary names: when written, puts
    // every staged file onto its target (see StagedFailed when that fails);
    // otherwise drops them all, the targets as they were (false with
    // eOUT_OF_DISK_SPACE).
    bool FinishStaged(KStagedFiles& staged, bool written);
    // Records the failure of staged's last Stage, Create or Commit; false.
    // Room that ran short at a commit is eOUT_OF_DISK_SPACE; otherwise
    // eFILE_NOT_CREATED, its text naming the cause when staged knows one
    // ("File not created: the folder is not writable").
    bool StagedFailed(const KStagedFiles& staged, bool committing = false);
};

} // namespace qoxsdk_600

#endif
