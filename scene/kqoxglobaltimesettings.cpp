#include "scene/kqoxglobaltimesettings.h"

#include <memory>
#include <vector>

namespace qoxsdk_600 {

namespace {
const char* const sTimeErrorTable[1] = {"Index out of range."};
// The stored values that stand for the program-wide ones.
const KTime::ETimeMode kUseGlobalTimeMode = 0;
const KTime::ETimeProtocol kUseGlobalTimeProtocol = 2;
const KTime::ETimeMode kDefaultTimeMode = 6; // 30 frames per second
const KTime::ETimeProtocol kDefaultTimeProtocol = 1;

// The stored value unless it stands for the program-wide one; then the
// program-wide value, or the default when that stands for "program-wide" too.
template <typename T>
T StoredOrGlobal(T pStored, T pUseGlobal, T (*pGlobal)(), T pDefault)
{
    if (pStored != pUseGlobal)
        return pStored;
    const T global = pGlobal();
    return global != pUseGlobal ? global : pDefault;
}
} // namespace

struct KQoxGlobalTimeSettings::Impl
{
    KTime::ETimeMode mTimeMode = kDefaultTimeMode;
    KTime::ETimeProtocol mTimeProtocol = kDefaultTimeProtocol;
    ESnapOnFrameMode mSnapOnFrameMode = eNO_SNAP;
    std::vector<std::unique_ptr<KQoxTimeMarker>> mTimeMarkers;
    int mCurrentTimeMarker = -1;
};

KQoxGlobalTimeSettings::KQoxTimeMarker::KQoxTimeMarker()
    : mTime(0)
    , mLoop(false)
{}

KQoxGlobalTimeSettings::KQoxGlobalTimeSettings()
    : KErrorOwner(sTimeErrorTable, 1)
    , mImpl(new Impl)
{
    RestoreDefaultSettings();
}

KQoxGlobalTimeSettings::~KQoxGlobalTimeSettings()
{
    RemoveAllTimeMarkers();
}

KQoxGlobalTimeSettings& KQoxGlobalTimeSettings::operator=(const KQoxGlobalTimeSettings& pSettings)
{
    if (&pSettings == this)
        return *this;
    mImpl->mTimeMode = pSettings.mImpl->mTimeMode;
    mImpl->mTimeProtocol = pSettings.mImpl->mTimeProtocol;
    mImpl->mSnapOnFrameMode = pSettings.mImpl->mSnapOnFrameMode;
    RemoveAllTimeMarkers();
    for (const auto& marker : pSettings.mImpl->mTimeMarkers)
        mImpl->mTimeMarkers.emplace_back(new KQoxTimeMarker(*marker));
    mImpl->mCurrentTimeMarker = pSettings.mImpl->mCurrentTimeMarker;
    return *this;
}

void KQoxGlobalTimeSettings::RestoreDefaultSettings()
{
    mImpl->mTimeMode = kDefaultTimeMode;
    mImpl->mTimeProtocol = kDefaultTimeProtocol;
    mImpl->mSnapOnFrameMode = eNO_SNAP;
    RemoveAllTimeMarkers();
}

void KQoxGlobalTimeSettings::SetTimeMode(KTime::ETimeMode pTimeMode)
{
    mImpl->mTimeMode = pTimeMode;
}

KTime::ETimeMode KQoxGlobalTimeSettings::GetTimeMode() const
{
    return StoredOrGlobal(mImpl->mTimeMode, kUseGlobalTimeMode, KTime::GetGlobalTimeMode, kDefaultTimeMode);
}

void KQoxGlobalTimeSettings::SetTimeProtocol(KTime::ETimeProtocol pTimeProtocol)
{
    mImpl->mTimeProtocol = pTimeProtocol;
}

KTime::ETimeProtocol KQoxGlobalTimeSettings::GetTimeProtocol() const
{
    return StoredOrGlobal(mImpl->mTimeProtocol, kUseGlobalTimeProtocol, KTime::GetGlobalTimeProtocol,
                          kDefaultTimeProtocol);
}

void KQoxGlobalTimeSettings::SetSnapOnFrameMode(ESnapOnFrameMode pSnapOnFrameMode)
{
    mImpl->mSnapOnFrameMode = pSnapOnFrameMode;
}

KQoxGlobalTimeSettings::ESnapOnFrameMode KQoxGlobalTimeSettings::GetSnapOnFrameMode() const
{
    return mImpl->mSnapOnFrameMode;
}

void KQoxGlobalTimeSettings::SetSnapOnFrame(bool pSnapOnFrame)
{
    mImpl->mSnapOnFrameMode = pSnapOnFrame ? eSNAP_ON_FRAME : eNO_SNAP;
}

bool KQoxGlobalTimeSettings::GetSnapOnFrame() const
{
    return mImpl->mSnapOnFrameMode != eNO_SNAP;
}

int KQoxGlobalTimeSettings::GetTimeMarkerCount() const
{
    return static_cast<int>(mImpl->mTimeMarkers.size());
}

KQoxGlobalTimeSettings::KQoxTimeMarker* KQoxGlobalTimeSettings::GetTimeMarker(int pIndex)
{
    if (pIndex < 0 || pIndex >= GetTimeMarkerCount())
    {
        mError.SetLastErrorID(eIndexOutOfRange);
        return nullptr;
    }
    return mImpl->mTimeMarkers[static_cast<size_t>(pIndex)].get();
}

bool KQoxGlobalTimeSettings::SetCurrentTimeMarker(int pIndex)
{
    if (pIndex < 0 || pIndex >= GetTimeMarkerCount())
    {
        mError.SetLastErrorID(eIndexOutOfRange);
        return false;
    }
    mImpl->mCurrentTimeMarker = pIndex;
    return true;
}

int KQoxGlobalTimeSettings::GetCurrentTimeMarker() const
{
    return mImpl->mCurrentTimeMarker;
}

void KQoxGlobalTimeSettings::AddTimeMarker(KQoxTimeMarker pMarker)
{
    mImpl->mTimeMarkers.emplace_back(new KQoxTimeMarker(pMarker));
}

void KQoxGlobalTimeSettings::RemoveAllTimeMarkers()
{
    mImpl->mTimeMarkers.clear();
    mImpl->mCurrentTimeMarker = -1;
}

} // namespace qoxsdk_600
