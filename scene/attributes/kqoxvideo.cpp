#include "scene/attributes/kqoxvideo.h"

#include <cstring>
#include <new>
#include <vector>

#include "scene/attributes/kqoxattribute_private.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxpropertybinding.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

KPLUG_CLASS_IMPLEMENT(KQoxVideoProperties, KQoxPropertyHandler, "KQoxVideoProperties")

namespace {

const char* const sVideoErrorTable[1] = {"Error"};
const char* const kInterlaceModeTexts[3] = {"Disk", "Memory", "Disk Async"};
const char* const kAccessModeTexts[8] = {"None",
                                         "Fields",
                                         "Half Frame Even",
                                         "Half Frame Odd",
                                         "Full Frame Even",
                                         "Full Frame Odd",
                                         "Full Frame Even/Odd",
                                         "Full Frame Odd/Even"};

// Calls pVisit with every texture whose property block is connected to the
// block, in either direction; the plugs are taken as they stand first, since
// the visits may change connections (std::bad_alloc when there is no room
// for them: no texture is passed over).
template <class F>
void ForEachConnectedTexture(KPlug& pBlock, F pVisit)
{
    std::vector<KQoxTexture*> textures;
    for (int i = 0; i < pBlock.GetDstCount(); ++i)
    {
        KQoxObject* object = GetKQoxObjectOfPlug(pBlock.GetDst(i));
        if (object && object->GetNameSpace() == KQoxObject::eTEXTURE)
            textures.push_back(static_cast<KQoxTexture*>(object));
    }
    for (int i = 0; i < pBlock.GetSrcCount(); ++i)
    {
        KQoxObject* object = GetKQoxObjectOfPlug(pBlock.GetSrc(i));
        if (object && object->GetNameSpace() == KQoxObject::eTEXTURE)
            textures.push_back(static_cast<KQoxTexture*>(object));
    }
    for (KQoxTexture* texture : textures)
        pVisit(texture);
}

bool SameText(const char* pA, const char* pB)
{
    return pA && pB && strcmp(pA, pB) == 0;
}

// A name copied from the clip reads back as given: one that lost its text
// for want of memory throws std::bad_alloc rather than leave a texture or
// light naming another file, or none. An empty name is not copied.
bool Copied(const char* pCopy, const char* pName)
{
    return !pName || !*pName || SameText(pCopy, pName);
}

} // namespace

// ---- KQoxVideo ----------------------------------------------------------------

KError& KQoxVideo::GetError()
{
    static thread_local KError sError(sVideoErrorTable, 1);
    return sError;
}

int KQoxVideo::GetClassID()
{
    return KQoxVideoProperties::ClassId;
}

KQoxVideo::KQoxVideo(KQoxSdkManager& pManager, const char* pName)
    : KQoxTakeNodeContainer(pManager, pName, &mVideoError)
    , mVideoError(sVideoErrorTable, 1)
    , mProperties(nullptr)
{
    mProperties = new KQoxVideoProperties(this);
    KQoxTakeNodeContainer::Init();
    Init();
}

KQoxVideo::~KQoxVideo()
{
    mProperties->Destroy(0);
    mProperties = nullptr;
}

void KQoxVideo::Init()
{
    mProperties->mMipMap = false;
    mProperties->mOriginalFormat = true;
    mProperties->mOriginalFileName = "";
}

void KQoxVideo::Reset()
{
    KQoxTakeNodeContainer::Reset();
    Init();
}

KQoxPropertyHandler* KQoxVideo::GetPropertyHandler()
{
    return mProperties;
}

KStringList KQoxVideo::GetTypeFlags()
{
    KStringList flags;
    flags.InsertAt(flags.GetCount(), "Clip", 0);
    return flags;
}

void KQoxVideo::AddChannels(KQoxTakeNode* pTakeNode)
{
    attr::AddAnimatableChannels(*this, *mProperties, pTakeNode);
}

KQoxUserProperty* KQoxVideo::CreateKQoxUserProperty(KProperty* pProperty)
{
    return mManager.CreateKQoxUserProperty(pProperty);
}

bool KQoxVideo::SetFileName(const char* pName)
{
    if (!pName || !*pName)
        return false;
    if (SameText(mProperties->PathGet(), pName))
        return true;
    mProperties->Path.Set(const_cast<char*>(pName));
    const char* path = mProperties->PathGet();
    ForEachConnectedTexture(*mProperties, [path](KQoxTexture* pTexture) {
        pTexture->SetFileName(path);
        if (!Copied(pTexture->GetFileName(), path))
            throw std::bad_alloc();
    });
    return true;
}

const char* KQoxVideo::GetFileName()
{
    return mProperties->PathGet();
}

bool KQoxVideo::SetRelativeFileName(const char* pName)
{
    if (!pName || !*pName)
        return false;
    if (SameText(mProperties->mRelativeFileName, pName))
        return true;
    // The name kept and the one passed on, whole or not at all: a text that
    // lost its own throws std::bad_alloc, the clip's name as it was.
    KString kept(pName);
    const KString name(pName);
    if (!kept.IsOK() || !name.IsOK())
        throw std::bad_alloc();
    mProperties->mRelativeFileName = std::move(kept);
    ForEachConnectedTexture(*mProperties, [&name](KQoxTexture* pTexture) {
        pTexture->SetRelativeFileName(name);
        if (!Copied(pTexture->GetRelativeFileName(), name))
            throw std::bad_alloc();
    });
    return true;
}

const char* KQoxVideo::GetRelativeFileName()
{
    return mProperties->mRelativeFileName;
}

double KQoxVideo::GetFrameRate()
{
    return mProperties->FrameRate.Get();
}

int KQoxVideo::GetLastFrame()
{
    return mProperties->LastFrame.Get();
}

int KQoxVideo::GetWidth()
{
    return mProperties->Width.Get();
}

int KQoxVideo::GetHeight()
{
    return mProperties->Height.Get();
}

void KQoxVideo::SetStartFrame(int pFrame)
{
    mProperties->StartFrame.Set(pFrame);
}

int KQoxVideo::GetStartFrame()
{
    return mProperties->StartFrame.Get();
}

void KQoxVideo::SetStopFrame(int pFrame)
{
    mProperties->StopFrame.Set(pFrame);
}

int KQoxVideo::GetStopFrame()
{
    return mProperties->StopFrame.Get();
}

void KQoxVideo::SetPlaySpeed(double pSpeed)
{
    mProperties->PlaySpeed.Set(pSpeed);
}

double KQoxVideo::GetPlaySpeed()
{
    return mProperties->PlaySpeed.Get();
}

void KQoxVideo::SetOffset(KTime pOffset)
{
    mProperties->Offset.Set(pOffset);
}

KTime KQoxVideo::GetOffset()
{
    return mProperties->Offset.Get();
}

void KQoxVideo::SetFreeRunning(bool pFreeRunning)
{
    mProperties->FreeRunning.Set(pFreeRunning);
}

bool KQoxVideo::GetFreeRunning()
{
    return mProperties->FreeRunning.Get();
}

void KQoxVideo::SetLoop(bool pLoop)
{
    mProperties->Loop.Set(pLoop);
}

bool KQoxVideo::GetLoop()
{
    return mProperties->Loop.Get();
}

void KQoxVideo::SetInterlaceMode(EInterlaceMode pMode)
{
    mProperties->InterlaceMode.Set(pMode);
}

KQoxVideo::EInterlaceMode KQoxVideo::GetInterlaceMode()
{
    return mProperties->InterlaceModeGet();
}

void KQoxVideo::SetAccessMode(EAccessMode pMode)
{
    mProperties->AccessMode.Set(pMode);
}

KQoxVideo::EAccessMode KQoxVideo::GetAccessMode()
{
    return mProperties->AccessModeGet();
}

void KQoxVideo::ImageTextureSetMipMap(bool pMipMap)
{
    mProperties->mMipMap = pMipMap;
}

bool KQoxVideo::ImageTextureGetMipMap()
{
    return mProperties->mMipMap;
}

void KQoxVideo::SetOriginalFormat(bool pOriginalFormat)
{
    mProperties->mOriginalFormat = pOriginalFormat;
}

bool KQoxVideo::GetOriginalFormat()
{
    return mProperties->mOriginalFormat;
}

void KQoxVideo::SetOriginalFilename(const char* pName)
{
    mProperties->mOriginalFileName = pName ? pName : "";
}

const char* KQoxVideo::GetOriginalFilename()
{
    return mProperties->mOriginalFileName;
}

// ---- KQoxVideoProperties ------------------------------------------------------

KQoxVideoProperties::KQoxVideoProperties(KQoxVideo* pOwner)
    : mOwner(pOwner)
{
    typedef KQoxVideoProperties P;
    BindMemberProperty(FrameRate, "FrameRate", this, &P::FrameRateGet, &P::FrameRateSet, kPropertyTypeDouble);
    BindMemberProperty(LastFrame, "LastFrame", this, &P::LastFrameGet, &P::LastFrameSet, kPropertyTypeInt);
    BindMemberProperty(Width, "Width", this, &P::WidthGet, &P::WidthSet, kPropertyTypeInt);
    BindMemberProperty(Height, "Height", this, &P::HeightGet, &P::HeightSet, kPropertyTypeInt);
    BindMemberProperty(Path, "Path", this, &P::PathGet, &P::PathPropertySet, kPropertyTypeCharPtr);
    BindMemberProperty(StartFrame, "StartFrame", this, &P::StartFrameGet, &P::StartFrameSet, kPropertyTypeInt);
    BindMemberProperty(StopFrame, "StopFrame", this, &P::StopFrameGet, &P::StopFrameSet, kPropertyTypeInt);
    BindMemberProperty(PlaySpeed, "PlaySpeed", this, &P::PlaySpeedGet, &P::PlaySpeedSet, kPropertyTypeDouble);
    BindMemberProperty(Offset, "Offset", this, &P::OffsetGet, &P::OffsetSet, kPropertyTypeTime);
    BindMemberProperty(InterlaceMode, "InterlaceMode", this, &P::InterlaceModeGet, &P::InterlaceModeSet,
                       kPropertyTypeEnum);
    BindAsString(InterlaceMode, &P::InterlaceModeAsString);
    BindMemberProperty(FreeRunning, "FreeRunning", this, &P::FreeRunningGet, &P::FreeRunningSet, kPropertyTypeBool);
    BindMemberProperty(Loop, "Loop", this, &P::LoopGet, &P::LoopSet, kPropertyTypeBool);
    BindMemberProperty(AccessMode, "AccessMode", this, &P::AccessModeGet, &P::AccessModeSet, kPropertyTypeEnum);
    BindAsString(AccessMode, &P::AccessModeAsString);
}

KQoxVideoProperties::~KQoxVideoProperties() {}

char* KQoxVideoProperties::PathSet(char* pValue)
{
    if (!pValue)
    {
        mPath.reset();
        mPathCapacity = 0;
        return nullptr;
    }
    size_t size = strlen(pValue) + 1;
    if (size > mPathCapacity)
    {
        mPath.reset(new char[size]);
        mPathCapacity = size;
    }
    memmove(mPath.get(), pValue, size);
    return mPath.get();
}

void KQoxVideoProperties::DefaultValueChanged(KQoxUserProperty* pUserProperty)
{
    mOwner->PropertyDefaultValueChanged(pUserProperty);
}

bool KQoxVideoProperties::PlugNotify(KPlugCallstack* pCallstack, kPlugAction pAction, KPlug* pPlug, int pIndex,
                                     KPlug* pOther, kConnectionType pType, KPlug* pExtra)
{
    // Names copied that lost their text fail the connection, once it is
    // told to the lists that hold the clip.
    bool copied = true;
    if (pPlug == this && pAction == kPlugDstConnected && pOther)
    {
        KQoxObject* object = GetKQoxObjectOfPlug(pOther);
        if (object && object->GetNameSpace() == KQoxObject::eTEXTURE)
        {
            KQoxTexture* texture = static_cast<KQoxTexture*>(object);
            texture->SetFileName(mOwner->GetFileName());
            copied = Copied(texture->GetFileName(), mOwner->GetFileName());
            texture->SetRelativeFileName(mOwner->GetRelativeFileName());
            copied = copied && Copied(texture->GetRelativeFileName(), mOwner->GetRelativeFileName());
            texture->SetMediaName(mOwner->GetName());
            copied = copied && Copied(texture->GetMediaName(), mOwner->GetName());
        }

        // A node's light projects the clip.
        if (object && object->GetNameSpace() == KQoxObject::eNODE)
        {
            if (KQoxLight* light = static_cast<KQoxNode*>(object)->GetLight())
            {
                light->SetFileName(mOwner->GetFileName());
                copied = Copied(light->GetFileName(), mOwner->GetFileName());
            }
        }

        // The node that uses the clip: the other end itself, or the first
        // object among the plugs that use the other end. Its scene entity
        // takes the clip once.
        KQoxObject* user = (object && object->GetNameSpace() == KQoxObject::eNODE) ? object : nullptr;
        for (int i = 0; !user && i < pOther->GetDstCount(); ++i)
        {
            if (KQoxObject* candidate = GetKQoxObjectOfPlug(pOther->GetDst(i)))
            {
                if (candidate->GetNameSpace() != KQoxObject::eNODE)
                    break;
                user = candidate;
            }
        }
        KQoxEntity* entity = user ? static_cast<KQoxNode*>(user)->GetEntity() : nullptr;
        if (entity && !entity->GetVideo(mOwner->GetName()))
            entity->AddVideo(mOwner);
    }
    const bool told = KObject::PlugNotify(pCallstack, pAction, pPlug, pIndex, pOther, pType, pExtra);
    if (!copied)
        throw std::bad_alloc();
    return told;
}

char* KQoxVideoProperties::InterlaceModeAsString(int pValue)
{
    return EnumText(kInterlaceModeTexts, 3, pValue);
}

char* KQoxVideoProperties::AccessModeAsString(int pValue)
{
    return EnumText(kAccessModeTexts, 8, pValue);
}

} // namespace qoxsdk_600
