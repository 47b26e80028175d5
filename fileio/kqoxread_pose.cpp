// Native reader: bind and rest poses, and generic nodes.

#include <cstring>

#include "fileio/kqoxnative_private.h"
#include "fileio/kqoxreaderqox_private.h"
#include "scene/attributes/kqoxgenericnode.h"
#include "scene/kqoxpose.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

using namespace qoxnative;

void KQoxRead6::ReadPose()
{
    if (!mFile.FieldReadBegin(kPose))
        return;
    KString name(KQoxObject::RemovePrefix(mFile.FieldReadC()));
    bool bind = std::strcmp(mFile.FieldReadC(), "RestPose") != 0;
    KQoxPose* pose = mScene.mManager.CreateKQoxPose(name.ToChars(), bind);
    if (!pose)
    {
        mFile.FieldReadEnd();
        return;
    }
    mPoses.push_back(pose);
    mScene.mPoses.push_back(pose);
    if (mFile.FieldReadBlockBegin())
    {
        ObjectHeader(*pose, pose->GetPropertyHandler());
        while (Ok() && mFile.FieldReadBegin(kPoseNode))
        {
            KString node(mFile.FieldReadC());
            KQoxMatrix matrix;
            // Exactly one matrix of 16 values.
            if (mFile.FieldReadArrayCount() != 16 || !mFile.FieldReadArrayD(static_cast<double*>(matrix), 16))
                mCorrupted = true;
            else
                pose->Add(node.ToChars(), matrix, mFile.FieldReadI() != 0);
            mFile.FieldReadEnd();
        }
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
}

void KQoxRead6::ReadCharacterPose()
{
    if (!mFile.FieldReadBegin(kCharacterPose))
        return;
    KQoxFilePose pose;
    pose.mName = KQoxObject::RemovePrefix(mFile.FieldReadC());
    if (mDepth + 1 >= kMaxNestedScenes)
        mCorrupted = true;
    else if (mFile.FieldReadBlockBegin())
    {
        // The pose's scene, read from the sections of this block into a
        // content of its own under a holder root; the pose is made and
        // takes it once the whole read has succeeded.
        pose.mContent.reset(new KQoxFileScene(mScene.mManager));
        pose.mContent->mRoot = mScene.mManager.CreateKQoxNode("PoseRoot");
        mNested.emplace_back(new KQoxRead6(mFile, *pose.mContent, mOptions));
        KQoxRead6& nested = *mNested.back();
        nested.mDepth = mDepth + 1;
        nested.mMediaFiles = mMediaFiles;
        if (!pose.mContent->mRoot || !nested.ReadScene())
            mCorrupted = true;
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
    // Kept even when damaged: the nested read refers to it until Destroy.
    if (pose.mContent)
        mScene.mCharacterPoses.push_back(std::move(pose));
}

void KQoxRead6::ReadGenericNode()
{
    if (!mFile.FieldReadBegin(kGenericNode))
        return;
    KString name(mFile.FieldReadC());
    KQoxGenericNode* node = mScene.mManager.CreateKQoxGenericNode(name.ToChars());
    if (!node)
    {
        mFile.FieldReadEnd();
        return;
    }
    mGenericNodes.push_back(node);
    mScene.mGenericNodes.push_back(node);
    if (mFile.FieldReadBlockBegin())
    {
        ObjectHeader(*node, node->GetPropertyHandler());
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
    node->UpdateDefaultTakeFromProperties();
}

} // namespace qoxsdk_600
