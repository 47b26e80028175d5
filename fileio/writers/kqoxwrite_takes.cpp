// Version-6 writer: the take list and the animation of each take.

#include "base/kset.h"
#include "fcurve/kfcurvelayer.h"
#include "fcurve/kfcurvenode.h"
#include <algorithm>
#include <cstring>
#include <vector>

#include "fileio/kqoxnative_private.h"
#include "fileio/writers/kqoxwriterqox6_private.h"
#include "scene/attributes/kqoxgenericnode.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

using namespace qoxnative;

void KQoxWrite6::WriteTakes()
{
    mFile.ProjectWriteSectionBegin(kTakes, SectionVersion(kTakesVersion));
    Text(kCurrent, mScene.mCurrentTakeName.ToChars());
    // Every take whose animation is written, described or not: readers read
    // only the takes listed here. A take without a description gets an
    // empty one.
    for (const KString& name : TakeNames())
    {
        KQoxTakeInfo empty;
        empty.Name = name;
        const KQoxTakeInfo* info = mScene.FindTakeInfo(name.ToChars());
        if (!info)
            info = &empty;
        mFile.FieldWriteBegin(kTake);
        mFile.FieldWriteC(info->Name.ToChars());
        mFile.FieldWriteBlockBegin();
        Text(kComments, info->Comments.ToChars());
        mFile.FieldWriteBegin(kLocalTime);
        mFile.FieldWriteT(info->LocalTimeSpan.GetStart());
        mFile.FieldWriteT(info->LocalTimeSpan.GetStop());
        mFile.FieldWriteEnd();
        mFile.FieldWriteBegin(kReferenceTime);
        mFile.FieldWriteT(info->ReferenceTimeSpan.GetStart());
        mFile.FieldWriteT(info->ReferenceTimeSpan.GetStop());
        mFile.FieldWriteEnd();
        Thumbnail(info->GetTakeThumbnail());
        mFile.FieldWriteBlockEnd();
        mFile.FieldWriteEnd();
    }
    mFile.ProjectWriteSectionEnd();
}

namespace {

// The time-warp set of this thread: installed while one take is written, and
// removed after.
struct TimeWarpSetGuard
{
    explicit TimeWarpSetGuard(KSet* set) { KFCurve_SetTWSet(set); }
    ~TimeWarpSetGuard() { KFCurve_SetTWSet(nullptr); }
};

// Every time warp that a channel of the trees uses, in order of first use.
void CollectTimeWarps(KFCurveNode* root, std::vector<KFCurveNode*>& out)
{
    std::vector<KFCurveNode*> pending(1, root);
    while (!pending.empty())
    {
        KFCurveNode* node = pending.back();
        pending.pop_back();
        KFCurveNode* warp = node->TimeWarpGet();
        if (warp && std::find(out.begin(), out.end(), warp) == out.end())
            out.push_back(warp);
        for (int i = node->GetCount() - 1; i >= 0; --i)
            pending.push_back(node->Get(i));
    }
}

} // namespace

void KQoxWrite6::WriteAnimation(const char* takeName)
{
    mFile.ProjectWriteSectionBegin(kAnimation, SectionVersion(kAnimationVersion));
    Text(kTake, takeName);
    // The take's time warps, numbered from 1; channels refer to them by number.
    std::vector<KFCurveNode*> warps;
    for (KQoxTakeNodeContainer* object : Containers())
        for (int t = 0; t < object->GetTakeNodeCount(); ++t)
            if (std::strcmp(object->GetTakeNodeName(t), takeName) == 0 && object->GetTakeNode(t)->GetKFCurveNode())
                CollectTimeWarps(object->GetTakeNode(t)->GetKFCurveNode(), warps);
    KSet numbers(16);
    for (size_t i = 0; i < warps.size(); ++i)
        numbers.Add(static_cast<kReference>(i + 1), reinterpret_cast<kReference>(warps[i]));
    TimeWarpSetGuard guard(warps.empty() ? nullptr : &numbers);
    for (size_t i = 0; i < warps.size(); ++i)
    {
        mFile.FieldWriteBegin(kTimeWarp);
        mFile.FieldWriteI(static_cast<int>(i + 1));
        mFile.FieldWriteBlockBegin();
        warps[i]->QoxStore(&mFile, false, false, false, kChannel, true, mVersion5, !mVersion5);
        mFile.FieldWriteBlockEnd();
        mFile.FieldWriteEnd();
    }
    // Objects by kind and by their position among the objects of that kind.
    struct Kind
    {
        const char* mField;
        std::vector<KQoxTakeNodeContainer*> mObjects;
    } kinds[6] = {{kModel, {mNodes.begin(), mNodes.end()}},
                  {kTexture, {mScene.mTextures.begin(), mScene.mTextures.end()}},
                  {kVideo, {mScene.mVideos.begin(), mScene.mVideos.end()}},
                  {kMaterial, {mScene.mMaterials.begin(), mScene.mMaterials.end()}},
                  {kGenericNode, {mScene.mGenericNodes.begin(), mScene.mGenericNodes.end()}},
                  {kCameraSwitcher, {}}};
    if (mScene.mCameraSwitcher && mOptions.GetState(KStreamOptionsQox::eGLOBAL_SETTINGS))
        kinds[5].mObjects.push_back(mScene.mCameraSwitcher);
    for (const Kind& kind : kinds)
    {
        for (size_t i = 0; i < kind.mObjects.size(); ++i)
        {
            KQoxTakeNodeContainer* object = kind.mObjects[i];
            KQoxTakeNode* take = nullptr;
            for (int t = 0; t < object->GetTakeNodeCount() && !take; ++t)
                if (std::strcmp(object->GetTakeNodeName(t), takeName) == 0)
                    take = object->GetTakeNode(t);
            KFCurveNode* root = take ? take->GetKFCurveNode() : nullptr;
            if (!root || root->GetCount() == 0)
                continue;
            mFile.FieldWriteBegin(kind.mField);
            mFile.FieldWriteC(object->GetName());
            mFile.FieldWriteI(static_cast<int>(i));
            mFile.FieldWriteBlockBegin();
            for (int c = 0; c < root->GetCount(); ++c)
                root->Get(c)->QoxStore(&mFile, false, true, true, kChannel, true, mVersion5, !mVersion5);
            mFile.FieldWriteBlockEnd();
            mFile.FieldWriteEnd();
        }
    }
    mFile.ProjectWriteSectionEnd();
}

} // namespace qoxsdk_600
