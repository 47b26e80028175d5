#ifndef QOX_SCENE_KQOXUSERNOTIFICATION_H
#define QOX_SCENE_KQOXUSERNOTIFICATION_H

// KQoxUserNotification: gathers notifications for the user during a portion of
// work and writes them to a log file.
//
// Entries (an identifier, a description and any number of detail texts) are
// collected between InitAccumulator and ClearAccumulator. A subclass decides
// how they reach the user through pure hooks; the base decides when the hooks
// run and what the log receives:
// - adding a detail shows its entry at once and never logs;
// - Output(index, false) shows the entry (or all entries) and logs them;
// - Output(index, true) only shows them.
// Each logged line is "[identifier] description", a line feed, four spaces
// and one detail text. The log file is written when the period ends (or the
// object goes) if it holds a line.

#include <memory>

#include "base/karray.h"
#include "base/kstring.h"

class QoxLogFile;

namespace qoxsdk_600 {

class KQoxNode;

class KQoxUserNotification
{
public:
    struct AccumulatorEntry
    {
        KString mIdentifier;
        KString mDescription;
        KArrayTemplate<KString*> mDetails; // owned, in the order added
        ~AccumulatorEntry();
    };

    KQoxUserNotification(const KString& logFileName, const KString& logTitle);
    // Releases what is still held; a log still open is written if it holds a line.
    virtual ~KQoxUserNotification();
    KQoxUserNotification(const KQoxUserNotification&) = delete;
    KQoxUserNotification& operator=(const KQoxUserNotification&) = delete;

    // Starts a period: the log directory (GetLogFilePath) becomes the
    // library's master directory, a new log is opened there (appending,
    // written when released), entries are emptied, then Init and PostInit run.
    void InitAccumulator();
    // Ends it: PreTerminate and Terminate run, entries go, the log is written
    // (when it holds a line) and released, and the termination flag takes
    // PostTerminate's answer.
    void ClearAccumulator();

    // A new entry without details; its index.
    int AddEntry(const KString& identifier, const KString& description);
    // Appends the text (unless empty) to the entry's details and shows the
    // entry without logging. Nothing for an index out of range.
    void AddDetail(int index, KString text, bool flag = false);
    // The same with the node's full name; nothing for a null node.
    void AddDetail(int index, KQoxNode* node, bool flag = false);
    // Shows (and, unless skipLog, logs) the entry, or all entries for an
    // index out of range; the output hook's answer.
    bool Output(int index = -1, bool skipLog = false);

    int GetNbEntries() const { return mEntries.GetCount(); }
    // Null out of range.
    AccumulatorEntry* GetEntry(int index) const;
    bool GetTerminated() const { return mTerminated; }
    const KString& GetLogFileName() const { return mLogFileName; }
    const KString& GetLogTitle() const { return mLogTitle; }

protected:
    // The log's directory: the temporary directory with a trailing '/'.
    virtual void GetLogFilePath(KString& path);
    virtual void Init() = 0;
    virtual void Terminate() = 0;
    virtual void PostInit() = 0;
    // Calls OutputEntry for an index in range, else OutputAllEntries, with
    // hookFlag; then, unless skipLog, logs the range's details (when a log
    // is open; without one nothing is logged).
    virtual bool SendToOutput(bool hookFlag, int index, bool skipLog);
    virtual bool OutputEntry(AccumulatorEntry* entry, bool flag) = 0;
    virtual bool OutputAllEntries(KArrayTemplate<AccumulatorEntry*>& entries, bool flag) = 0;
    virtual void PreTerminate() = 0;
    virtual bool PostTerminate() { return true; }

    KArrayTemplate<AccumulatorEntry*>& GetEntries() { return mEntries; }

private:
    void ReleaseEntries();
    void LogEntry(AccumulatorEntry* entry);

    KString mLogFileName;
    KString mLogTitle;
    std::unique_ptr<QoxLogFile> mLog;
    bool mTerminated;
    KArrayTemplate<AccumulatorEntry*> mEntries; // owned
};

} // namespace qoxsdk_600

#endif
