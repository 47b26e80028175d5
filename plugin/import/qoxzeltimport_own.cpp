// Temporary: members being built.
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "scene/kqoxnode.h"

using namespace qoxsdk_600;

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
bool IsCameraGroup(QoxZeltNode*)
{
    return false;
}
