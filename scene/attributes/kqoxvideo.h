#ifndef QOX_SCENE_ATTRIBUTES_KQOXVIDEO_H
#define QOX_SCENE_ATTRIBUTES_KQOXVIDEO_H

// KQoxVideo: the media clip behind one or more textures (and a light's
// projected image): its file names, frame range, rate, play speed, offset,
// interlacing and access mode.
//
// Clips are made and destroyed only by the SDK manager, which prefixes their
// names with "Video::". The state lives in the companion property block
// KQoxVideoProperties. A clip and the textures whose property blocks it is
// connected to keep their file names equal in both directions.

#include <memory>

#include "base/kerror.h"
#include "base/kstring.h"
#include "base/kstringlist.h"
#include "base/ktime.h"
#include "object/kproperty.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxtakenodecontainer.h"

namespace qoxsdk_600 {

class KQoxEntity;
class KQoxVideoProperties;

class KQoxVideo : public KQoxTakeNodeContainer
{
public:
    typedef enum : int
    {
        eDISK,
        eMEMORY,
        eDISK_ASYNC
    } EInterlaceMode;

    typedef enum : int
    {
        eNONE,
        eFIELDS,
        eHALF_EVEN,
        eHALF_ODD,
        eFULL_EVEN,
        eFULL_ODD,
        eFULL_EVEN_ODD,
        eFULL_ODD_EVEN
    } EAccessMode;

    // Builds the property block (every value zero), the Default take and the
    // defaults of Init.
    KQoxVideo(KQoxSdkManager& pManager, const char* pName);
    ~KQoxVideo() override;

    // Mip-map off, original format on, no original file name; the property
    // values are left as they are.
    void Init();
    void Reset();

    ENameSpace GetNameSpace() const override { return eVIDEO; }
    KQoxPropertyHandler* GetPropertyHandler() override;
    KString GetTypeName() override { return KString("Clip"); }
    KStringList GetTypeFlags() override;
    // Channels for the animatable properties of the block (only animatable
    // user properties have any).
    void AddChannels(KQoxTakeNode* pTakeNode) override;
    KQoxUserProperty* CreateKQoxUserProperty(KProperty* pProperty) override;

    // False for a null or empty name; true without change when the name is
    // already the clip's. Otherwise the name is stored and passed to every
    // texture connected to the clip's block. Memory running out throws
    // std::bad_alloc (no name is kept or passed on without its text).
    bool SetFileName(const char* pName);
    // Null when no file name was ever set.
    const char* GetFileName();
    bool SetRelativeFileName(const char* pName);
    const char* GetRelativeFileName();

    // A clip refers to no other object: it only records the entity it is
    // counted in (null: none). Always true.
    bool SetEntity(KQoxEntity* pEntity)
    {
        mEntity = pEntity;
        return true;
    }
    KQoxEntity* GetEntity() const { return mEntity; }

    double GetFrameRate();
    int GetLastFrame();
    int GetWidth();
    int GetHeight();
    void SetStartFrame(int pFrame);
    int GetStartFrame();
    void SetStopFrame(int pFrame);
    int GetStopFrame();
    void SetPlaySpeed(double pSpeed);
    double GetPlaySpeed();
    void SetOffset(KTime pOffset);
    KTime GetOffset();
    void SetFreeRunning(bool pFreeRunning);
    bool GetFreeRunning();
    void SetLoop(bool pLoop);
    bool GetLoop();
    void SetInterlaceMode(EInterlaceMode pMode);
    EInterlaceMode GetInterlaceMode();
    void SetAccessMode(EAccessMode pMode);
    EAccessMode GetAccessMode();

    void ImageTextureSetMipMap(bool pMipMap);
    bool ImageTextureGetMipMap();
    void SetOriginalFormat(bool pOriginalFormat);
    bool GetOriginalFormat();
    void SetOriginalFilename(const char* pName);
    const char* GetOriginalFilename();

    static int GetClassID();
    // The class's error table, in an error object of the calling thread's
    // own: threads never share it. Each video clip records its failures in an
    // error object of its own, which the two calls below read.
    static KError& GetError();
    int GetLastErrorID() const { return mVideoError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mVideoError.GetLastErrorString(); }

private:
    // This object's errors (its take nodes' failures), apart from every
    // other object's so that objects of managers on other threads never
    // share one.
    KError mVideoError;

    KQoxVideoProperties* mProperties; // owned; destroyed through Destroy(0)
    KQoxEntity* mEntity = nullptr;    // not owned
};

// The clip's property block. Properties, in list order: "FrameRate",
// "LastFrame", "Width", "Height", "Path", "StartFrame", "StopFrame",
// "PlaySpeed", "Offset", "InterlaceMode", "FreeRunning", "Loop",
// "AccessMode"; none is animatable.
class KQoxVideoProperties : public KQoxPropertyHandler
{
    KPLUG_CLASS_DECLARE(KQoxVideoProperties)
public:
    explicit KQoxVideoProperties(KQoxVideo* pOwner);
    ~KQoxVideoProperties() override;

    void DefaultValueChanged(KQoxUserProperty* pUserProperty) override;
    KQoxObject* GetKQoxObject() override { return mOwner; }
    KQoxVideo* GetKQoxVideo() { return mOwner; }

    // When a plug is connected to this block (action 5): a texture at the
    // other end takes the clip's file names and the clip's name as its media
    // name; then, when the other end leads to a node whose scene entity holds
    // no clip of this name yet, the entity takes the clip. A name copied
    // that lost its text for want of memory throws std::bad_alloc, the
    // connection made.
    bool PlugNotify(KPlugCallstack* pCallstack, kPlugAction pAction, KPlug* pPlug, int pIndex, KPlug* pOther,
                    kConnectionType pType, KPlug* pExtra) override;

    virtual void FrameRateSet(double pValue) { mFrameRate = pValue; }
    virtual double FrameRateGet() { return mFrameRate; }
    virtual void LastFrameSet(int pValue) { mLastFrame = pValue; }
    virtual int LastFrameGet() { return mLastFrame; }
    virtual void WidthSet(int pValue) { mWidth = pValue; }
    virtual int WidthGet() { return mWidth; }
    virtual void HeightSet(int pValue) { mHeight = pValue; }
    virtual int HeightGet() { return mHeight; }
    // Copies the text into the path buffer, which is reallocated only when
    // the text does not fit; returns the buffer. Null clears the path.
    virtual char* PathSet(char* pValue);
    // The path text; null when none was set.
    virtual char* PathGet() { return mPath.get(); }
    virtual void StartFrameSet(int pValue) { mStartFrame = pValue; }
    virtual int StartFrameGet() { return mStartFrame; }
    virtual void StopFrameSet(int pValue) { mStopFrame = pValue; }
    virtual int StopFrameGet() { return mStopFrame; }
    virtual void PlaySpeedSet(double pValue) { mPlaySpeed = pValue; }
    virtual double PlaySpeedGet() { return mPlaySpeed; }
    virtual void OffsetSet(KTime pValue) { mOffset = pValue; }
    virtual KTime OffsetGet() { return mOffset; }
    virtual void InterlaceModeSet(KQoxVideo::EInterlaceMode pValue) { mInterlaceMode = pValue; }
    virtual KQoxVideo::EInterlaceMode InterlaceModeGet() { return mInterlaceMode; }
    virtual void FreeRunningSet(bool pValue) { mFreeRunning = pValue; }
    virtual bool FreeRunningGet() { return mFreeRunning; }
    virtual void LoopSet(bool pValue) { mLoop = pValue; }
    virtual bool LoopGet() { return mLoop; }
    virtual void AccessModeSet(KQoxVideo::EAccessMode pValue) { mAccessMode = pValue; }
    virtual KQoxVideo::EAccessMode AccessModeGet() { return mAccessMode; }

    // 0 "Disk", 1 "Memory", 2 "Disk Async"; null otherwise.
    char* InterlaceModeAsString(int pValue);
    // 0 "None", 1 "Fields", 2 "Half Frame Even", 3 "Half Frame Odd",
    // 4 "Full Frame Even", 5 "Full Frame Odd", 6 "Full Frame Even/Odd",
    // 7 "Full Frame Odd/Even"; null otherwise.
    char* AccessModeAsString(int pValue);

    KPropertyTemplate<double> FrameRate;
    KPropertyTemplate<int> LastFrame;
    KPropertyTemplate<int> Width;
    KPropertyTemplate<int> Height;
    KPropertyTemplate<char*> Path;
    KPropertyTemplate<int> StartFrame;
    KPropertyTemplate<int> StopFrame;
    KPropertyTemplate<double> PlaySpeed;
    KPropertyTemplate<KTime> Offset;
    KPropertyTemplate<KQoxVideo::EInterlaceMode> InterlaceMode;
    KPropertyTemplate<bool> FreeRunning;
    KPropertyTemplate<bool> Loop;
    KPropertyTemplate<KQoxVideo::EAccessMode> AccessMode;

    bool mMipMap = false;
    bool mOriginalFormat = true;
    KString mOriginalFileName;
    KString mRelativeFileName;

private:
    // The setter bound to "Path" (a property setter returns nothing).
    void PathPropertySet(char* pValue) { PathSet(pValue); }

    double mFrameRate = 0.0;
    int mLastFrame = 0;
    int mWidth = 0;
    int mHeight = 0;
    std::unique_ptr<char[]> mPath;
    size_t mPathCapacity = 0;
    int mStartFrame = 0;
    int mStopFrame = 0;
    double mPlaySpeed = 0.0;
    KTime mOffset;
    KQoxVideo::EInterlaceMode mInterlaceMode = KQoxVideo::eDISK;
    bool mFreeRunning = false;
    bool mLoop = false;
    KQoxVideo::EAccessMode mAccessMode = KQoxVideo::eNONE;
    KQoxVideo* mOwner;
};

} // namespace qoxsdk_600

#endif
