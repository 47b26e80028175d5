#ifndef QOX_SCENE_KQOXGLOBALTIMESETTINGS_H
#define QOX_SCENE_KQOXGLOBALTIMESETTINGS_H

// KQoxGlobalTimeSettings: a scene's time-wide settings (time mode, protocol,
// snap-on-frame mode) and its named time markers with a current marker.
// Time mode 0 and protocol 2 stand for the program-wide values.

#include <memory>

#include "base/kerror.h"
#include "base/kstring.h"
#include "base/ktime.h"

namespace qoxsdk_600 {

class KQoxGlobalTimeSettings : public KErrorOwner
{
public:
    typedef int ESnapOnFrameMode;
    enum
    {
        eNO_SNAP = 0,
        eSNAP_ON_FRAME = 1,
        ePLAY_ON_FRAME = 2,
        eSNAP_PLAY_ON_FRAME = 3
    };
    enum
    {
        eIndexOutOfRange = 0
    };

    struct KQoxTimeMarker
    {
        KQoxTimeMarker();
        KQoxTimeMarker(const KQoxTimeMarker& pMarker) = default;
        KQoxTimeMarker& operator=(const KQoxTimeMarker& pMarker) = default;
        KString mName;
        KTime mTime;
        bool mLoop;
    };

    KQoxGlobalTimeSettings();
    ~KQoxGlobalTimeSettings();
    KQoxGlobalTimeSettings(const KQoxGlobalTimeSettings&) = delete;
    // Copies mode, protocol and snap mode, then copies of the markers, and
    // takes the source's current marker last.
    KQoxGlobalTimeSettings& operator=(const KQoxGlobalTimeSettings& pSettings);

    // Mode 6, protocol 1, no snapping, no markers, current marker -1.
    void RestoreDefaultSettings();

    void SetTimeMode(KTime::ETimeMode pTimeMode);
    // The stored mode; for 0 the program-wide mode; 6 when that is 0 too.
    KTime::ETimeMode GetTimeMode() const;
    void SetTimeProtocol(KTime::ETimeProtocol pTimeProtocol);
    // The stored protocol; for 2 the program-wide one; 1 when that is 2 too.
    KTime::ETimeProtocol GetTimeProtocol() const;
    void SetSnapOnFrameMode(ESnapOnFrameMode pSnapOnFrameMode);
    ESnapOnFrameMode GetSnapOnFrameMode() const;
    // True stores mode 1, false mode 0.
    void SetSnapOnFrame(bool pSnapOnFrame);
    bool GetSnapOnFrame() const;

    int GetTimeMarkerCount() const;
    // Null with "Index out of range." outside the list.
    KQoxTimeMarker* GetTimeMarker(int pIndex);
    // False with "Index out of range." outside the list (index unchanged).
    bool SetCurrentTimeMarker(int pIndex);
    int GetCurrentTimeMarker() const;
    // Appends a copy; the current marker stays.
    void AddTimeMarker(KQoxTimeMarker pMarker);
    // Frees every marker; the current marker becomes -1.
    void RemoveAllTimeMarkers();

private:
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

} // namespace qoxsdk_600

#endif
