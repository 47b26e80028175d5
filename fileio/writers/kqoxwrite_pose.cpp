// Version-6 writer: bind and rest poses, and generic nodes.

#include "character/kqoxcharacterpose.h"
#include "fileio/kqoxnative_private.h"
#include "fileio/writers/kqoxwriterqox6_private.h"
#include "scene/attributes/kqoxgenericnode.h"
#include "scene/kqoxpose.h"

namespace qoxsdk_600 {

using namespace qoxnative;

void KQoxWrite6::WritePose(KQoxPose& pose)
{
    mFile.FieldWriteBegin(kPose);
    mFile.FieldWriteC(pose.GetName());
    mFile.FieldWriteC(pose.IsBindPose() ? "BindPose" : "RestPose");
    mFile.FieldWriteBlockBegin();
    ObjectHeader(pose, pose.GetPropertyHandler(), kPoseVersion);
    for (int i = 0; i < pose.GetCount(); ++i)
    {
        mFile.FieldWriteBegin(kPoseNode);
        mFile.FieldWriteC(pose.GetNodeName(i).ToChars());
        mFile.FieldWriteArrayD(static_cast<const double*>(pose.GetMatrix(i)), 16);
        mFile.FieldWriteI(pose.IsLocalMatrix(i) ? 1 : 0);
        mFile.FieldWriteEnd();
    }
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

void KQoxWrite6::WriteCharacterPose(KQoxCharacterPose& pose)
{
    if (!pose.GetScene() || !mWriteNested)
        return;
    mFile.FieldWriteBegin(kCharacterPose);
    mFile.FieldWriteC(pose.GetName());
    mFile.FieldWriteBlockBegin();
    Int(kVersion, kCharacterPoseVersion);
    mWriteNested(*pose.GetScene());
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

void KQoxWrite6::WriteGenericNode(KQoxGenericNode& node)
{
    mFile.FieldWriteBegin(kGenericNode);
    mFile.FieldWriteC(node.GetName());
    mFile.FieldWriteC(node.GetTypeName().ToChars());
    mFile.FieldWriteBlockBegin();
    ObjectHeader(node, node.GetPropertyHandler(), kGenericNodeVersion);
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

} // namespace qoxsdk_600
