#include "object/kprogress.h"

namespace {

IProgress*& GlobalProgress()
{
    static IProgress* gGlobalProgress = nullptr;
    return gGlobalProgress;
}

} // namespace

KProgress::KProgress()
{
    ProgressClear();
}

KProgress::~KProgress()
{
    mListeners[0].RemoveAll();
    if (GlobalProgress() == static_cast<IProgress*>(this))
        GlobalProgress() = nullptr;
}

IKObject* KProgress::IQuery(unsigned long interfaceId, int)
{
    switch (interfaceId)
    {
    case kIKObjectId:
    case kIRegisterId: return static_cast<IRegister*>(this);
    case kIProgressId: return static_cast<IProgress*>(this);
    default: return nullptr;
    }
}

void KProgress::Destroy(int)
{
    delete this;
}

int KProgress::Register(int, ICallback*, ICallbackMethod, int)
{
    return 0;
}

int KProgress::Unregister(int, ICallback*, ICallbackMethod)
{
    return 0;
}

int KProgress::SetProgressInfo(const char*, const char*, int)
{
    return 0;
}

int KProgress::SetProgressTitle(const char*)
{
    return 0;
}

int KProgress::SetProgressValue(const char*)
{
    return 0;
}

int KProgress::SetProgressPercent(int)
{
    return 0;
}

int KProgress::ComputePercent(int)
{
    return 0;
}

const char* KProgress::GetProgressTitle()
{
    return mTitle;
}

const char* KProgress::GetProgressValue()
{
    return mValue;
}

int KProgress::GetProgressPercent()
{
    return mPercent;
}

void KProgress::SetDefaultPixmapFilename() {}

void KProgress::SetPixmapFilename(const char*) {}

const char* KProgress::GetPixmapFilename()
{
    return "";
}

void KProgress::ProgressAddSteps(int) {}

void KProgress::ProgressStep(int) {}

void KProgress::ProgressClear()
{
    mPercent = 0;
    mCancelRequested = false;
    mCancelPolled = false;
    mStepCount = 1;
    mStepPosition = 0;
    mCounter = 0;
}

bool KProgress::GetCancelCommand()
{
    mCancelPolled = true;
    return mCancelRequested;
}

bool KProgress::GetCanCancelCommand()
{
    return mCancelPolled;
}

void KProgress::SetCancelCommand()
{
    mCancelRequested = true;
}

void KProgress::ProgressBegin() {}

void KProgress::ProgressDone() {}

void KProgress::WaitBegin(const char* text)
{
    mTitle = text ? text : "";
    mValue = "";
}

void KProgress::WaitDone() {}

void KProgress::SetStatus(const char* text)
{
    mTitle = text ? text : "";
    mValue = "";
}

void KProgress::ClearStatus()
{
    mTitle = "";
    mValue = "";
}

void KProgress::DivideSection(int) {}

void KProgress::UpdateSection(const char*, const char*) {}

void KProgress::CloseSection() {}

IProgress* KProgressCreate()
{
    return new KProgress();
}

IProgress* KGetGlobalProgress()
{
    IProgress*& global = GlobalProgress();
    if (!global)
        global = KProgressCreate();
    return global;
}
