#include "scene/kqoxusernotification.h"

#include "base/kfilecause.h"
#include "base/kpath.h"
#include "base/qoxlogfile.h"
#include "scene/kqoxnode.h"

namespace qoxsdk_600 {

namespace {
const unsigned int kLogPathSize = 1024;
const char* const kDetailIndent = "\n    ";
} // namespace

KQoxUserNotification::AccumulatorEntry::~AccumulatorEntry()
{
    for (int i = 0; i < mDetails.GetCount(); ++i)
        delete mDetails[i];
    mDetails.Clear();
}

KQoxUserNotification::KQoxUserNotification(const KString& logFileName, const KString& logTitle)
    : mLogFileName(logFileName)
    , mLogTitle(logTitle)
    , mTerminated(false)
{}

KQoxUserNotification::~KQoxUserNotification()
{
    ReleaseEntries();
    mLog.reset();
}

void KQoxUserNotification::ReleaseEntries()
{
    for (int i = 0; i < mEntries.GetCount(); ++i)
        delete mEntries[i];
    mEntries.Clear();
}

void KQoxUserNotification::GetLogFilePath(KString& path)
{
    char buffer[kLogPathSize] = {0};
    GetTempPath(kLogPathSize, buffer);
    path = buffer;
}

void KQoxUserNotification::InitAccumulator()
{
    KString directory;
    GetLogFilePath(directory);
    KLib_SetMasterDirectory(directory.ToChars());
    mLog.reset(new QoxLogFile(mLogFileName.ToChars(), mLogTitle.ToChars(), true, true));
    ReleaseEntries();
    Init();
    PostInit();
}

void KQoxUserNotification::ClearAccumulator()
{
    PreTerminate();
    Terminate();
    ReleaseEntries();
    mLog.reset();
    mTerminated = PostTerminate();
}

int KQoxUserNotification::AddEntry(const KString& identifier, const KString& description)
{
    auto* entry = new AccumulatorEntry;
    entry->mIdentifier = identifier;
    entry->mDescription = description;
    return mEntries.Add(entry);
}

void KQoxUserNotification::AddDetail(int index, KString text, bool flag)
{
    AccumulatorEntry* entry = GetEntry(index);
    if (!entry)
        return;
    if (!text.IsEmpty())
        entry->mDetails.Add(new KString(text));
    SendToOutput(flag, index, true);
}

void KQoxUserNotification::AddDetail(int index, KQoxNode* node, bool flag)
{
    AccumulatorEntry* entry = GetEntry(index);
    if (!entry || !node)
        return;
    entry->mDetails.Add(new KString(node->GetName()));
    SendToOutput(flag, index, true);
}

bool KQoxUserNotification::Output(int index, bool skipLog)
{
    return SendToOutput(true, index, skipLog);
}

KQoxUserNotification::AccumulatorEntry* KQoxUserNotification::GetEntry(int index) const
{
    if (index < 0 || index >= mEntries.GetCount())
        return nullptr;
    return mEntries[index];
}

bool KQoxUserNotification::SendToOutput(bool hookFlag, int index, bool skipLog)
{
    AccumulatorEntry* single = GetEntry(index);
    const bool result = single ? OutputEntry(single, hookFlag) : OutputAllEntries(mEntries, hookFlag);
    if (skipLog || !mLog)
        return result;
    if (single)
        LogEntry(single);
    else
        for (int i = 0; i < mEntries.GetCount(); ++i)
            LogEntry(mEntries[i]);
    return result;
}

void KQoxUserNotification::LogEntry(AccumulatorEntry* entry)
{
    for (int d = 0; d < entry->mDetails.GetCount(); ++d)
    {
        KString line("[");
        line += entry->mIdentifier;
        line += "] ";
        line += KEscapeControls(entry->mDescription.ToChars()).c_str();
        line += kDetailIndent;
        line += KEscapeControls(entry->mDetails[d]->ToChars()).c_str();
        *mLog += line.ToChars();
    }
}

} // namespace qoxsdk_600
