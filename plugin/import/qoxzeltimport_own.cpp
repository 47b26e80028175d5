// Temporary: members being built.
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "base/qoxlogfile.h"
#include "plugin/qoxzeltdialogs.h"
#include "plugin/qoxzeltuserparams.h"
#include "scene/kqoxnode.h"

using namespace qoxsdk_600;

void QoxZeltImport::AddPelbrinNodeArray(KQoxNode*) {}
void QoxZeltImport::FillPelbrinNodeArray(KQoxNode*) {}
ZStatus QoxZeltImport::ImportGeometry()
{
    return ZStatus();
}
ZStatus QoxZeltImport::ImportAnimation(QoxZeltNode&)
{
    return ZStatus();
}
void QoxZeltImport::DisplayBlendShapeImportWarningDialog() {}
ZStatus QoxZeltImport::ImportGeometry(QoxZeltNode*)
{
    return ZStatus();
}
void QoxZeltImport::CreateSkeletonGeometry(QoxZeltNode&, int) {}
ZObject QoxZeltImport::CreateNullGeometry(QoxZeltNode*)
{
    return ZObject();
}
void QoxZeltImport::CreateJointGeometry(QoxZeltNode*) {}
void QoxZeltImport::CreateMeshGeometry(QoxZeltNode*) {}
bool QoxZeltImport::SetVertexColors(KQoxMesh*, ZFnMesh&)
{
    return true;
}
void QoxZeltImport::CreateNurbGeometry(QoxZeltNode*) {}
void QoxZeltImport::GetNURBData(KQoxNurb*, KQoxVector4*, ZPointArray&, ZDoubleArray&, ZDoubleArray&, int&, int&, int&,
                                int&, ZStatus*, bool*, bool*)
{}
void QoxZeltImport::CreateCameraGeometry(QoxZeltNode&) {}
ZStatus QoxZeltImport::ImportAnimationCamera(QoxZeltNode&)
{
    return ZStatus();
}
void QoxZeltImport::CreateLightGeometry(QoxZeltNode&) {}
ZStatus QoxZeltImport::ImportAnimationLight(QoxZeltNode&)
{
    return ZStatus();
}
void ReOrder(KArrayTemplate<TempPoseData*>&, QoxZeltNode*) {}
void ReplaceNullsUsedAsLinks(QoxZeltNode*, QoxZeltSdkManager*) {}
void CountNbQoxLinks(QoxZeltNode*, int&) {}
QoxZeltNode* qoxzeltimport::ParentOf(KQoxNode* node)
{
    return reinterpret_cast<QoxZeltNode*>(node->GetParent());
}
bool qoxzeltimport::ShowUI()
{
    return QoxZeltUserParams::Instance().GetBoolParam(QoxZeltUserParams::kImportShowUI);
}
void qoxzeltimport::ImportDialog(const char* title, const KString& message)
{
    if (!ShowUI())
        return;
    QoxZeltConfirmDialog dialog;
    dialog.Title(title);
    dialog.Message(message);
    dialog.Button(0, "Ok");
    dialog.Pop();
}
void qoxzeltimport::LogLine(QoxLogFile* log, const char* text)
{
    if (log && text)
        *log += text;
}
