// Version-6 writer: the take list and the animation of each take.

#include "fcurve/kfcurvenode.h"
#include "fileio/kqoxnative_private.h"
#include "fileio/writers/kqoxwriterqox6_private.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

using namespace qoxnative;

void KQoxWrite6::WriteTakes()
{
    mFile.ProjectWriteSectionBegin(kTakes, kTakesVersion);
    Text(kCurrent, mScene.mCurrentTakeName.ToChars());
    for (const std::unique_ptr<KQoxTakeInfo>& info : mScene.mTakeInfos)
    {
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

void KQoxWrite6::WriteAnimation(const char* takeName)
{
    mFile.ProjectWriteSectionBegin(kAnimation, kAnimationVersion);
    Text(kTake, takeName);
    // Objects by kind and by their position among the objects of that kind.
    struct Kind
    {
        const char* mField;
        std::vector<KQoxTakeNodeContainer*> mObjects;
    } kinds[3] = {{kModel, {mNodes.begin(), mNodes.end()}},
                  {kTexture, {mScene.mTextures.begin(), mScene.mTextures.end()}},
                  {kVideo, {mScene.mVideos.begin(), mScene.mVideos.end()}}};
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
                root->Get(c)->QoxStore(&mFile, false, true, true, kChannel, true);
            mFile.FieldWriteBlockEnd();
            mFile.FieldWriteEnd();
        }
    }
    mFile.ProjectWriteSectionEnd();
}

} // namespace qoxsdk_600
