#ifndef QOX_OBJECT_KPROGRESS_H
#define QOX_OBJECT_KPROGRESS_H

// Progress and status reporting.
//
// Long operations report what they are doing through IProgress and poll it to
// learn whether the user asked to cancel. The KProgress of this library is a
// quiet one: it keeps the status texts and the cancel flags and accepts every
// other call without showing anything; a host that wants a visible display
// supplies its own IProgress.

#include "base/kstring.h"
#include "object/kcallback.h"

class IProgress : public IKObject
{
public:
    virtual int SetProgressInfo(const char* title, const char* value, int percent) = 0;
    virtual int SetProgressTitle(const char* title) = 0;
    virtual int SetProgressValue(const char* value) = 0;
    virtual int SetProgressPercent(int percent) = 0;
    virtual const char* GetProgressTitle() = 0;
    virtual const char* GetProgressValue() = 0;
    virtual int GetProgressPercent() = 0;
    virtual void SetDefaultPixmapFilename() = 0;
    virtual void SetPixmapFilename(const char* fileName) = 0;
    virtual const char* GetPixmapFilename() = 0;
    virtual void ProgressAddSteps(int steps) = 0;
    virtual void ProgressStep(int steps) = 0;
    virtual void ProgressClear() = 0;
    // Marks that someone polled, and answers whether cancelling was asked.
    virtual bool GetCancelCommand() = 0;
    // Whether anyone polled for cancellation since the last clear.
    virtual bool GetCanCancelCommand() = 0;
    virtual void SetCancelCommand() = 0;
    virtual void ProgressBegin() = 0;
    virtual void ProgressDone() = 0;
    virtual void WaitBegin(const char* text) = 0;
    virtual void WaitDone() = 0;
    virtual void SetStatus(const char* text) = 0;
    virtual void ClearStatus() = 0;
    virtual void DivideSection(int count) = 0;
    virtual void UpdateSection(const char* title, const char* value) = 0;
    virtual void CloseSection() = 0;
};

class KProgress : public IRegister, public IProgress
{
public:
    KProgress();
    // Empties the first listener list and, for the process-wide object,
    // forgets it so the next KGetGlobalProgress makes a new one.
    ~KProgress() override;

    KProgress(const KProgress&) = delete;
    KProgress& operator=(const KProgress&) = delete;

    // Ids 0 and 3: the IRegister side; 12: the IProgress side; else null.
    IKObject* IQuery(unsigned long interfaceId, int flags) override;
    void Destroy(int local = 0) override;
    int Register(int eventId, ICallback* object, ICallbackMethod method, int data) override;
    int Unregister(int eventId, ICallback* object, ICallbackMethod method) override;

    int SetProgressInfo(const char* title, const char* value, int percent) override;
    int SetProgressTitle(const char* title) override;
    int SetProgressValue(const char* value) override;
    int SetProgressPercent(int percent) override;
    const char* GetProgressTitle() override;
    const char* GetProgressValue() override;
    int GetProgressPercent() override;
    void SetDefaultPixmapFilename() override;
    void SetPixmapFilename(const char* fileName) override;
    const char* GetPixmapFilename() override;
    void ProgressAddSteps(int steps) override;
    void ProgressStep(int steps) override;
    void ProgressClear() override;
    bool GetCancelCommand() override;
    bool GetCanCancelCommand() override;
    void SetCancelCommand() override;
    void ProgressBegin() override;
    void ProgressDone() override;
    void WaitBegin(const char* text) override;
    void WaitDone() override;
    void SetStatus(const char* text) override;
    void ClearStatus() override;
    void DivideSection(int count) override;
    void UpdateSection(const char* title, const char* value) override;
    void CloseSection() override;

    int ComputePercent(int value);

private:
    KString mText;
    KString mTitle;
    KString mValue;
    int mPercent = 0;
    bool mCancelRequested = false;
    bool mCancelPolled = false;
    int mStepCount = 1;
    int mStepPosition = 0;
    int mCounter = 0;
    int mReserved = 0;
    RegisterEntryList mListeners[3];
};

// A new quiet progress object (its IProgress side).
IProgress* KProgressCreate();
// The process-wide progress object, created on first call.
IProgress* KGetGlobalProgress();

#endif
