// Temporary: members being built.
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "scene/kqoxnode.h"

using namespace qoxsdk_600;

void QoxZeltImport::CreateNurbGeometry(QoxZeltNode*) {}
void QoxZeltImport::GetNURBData(KQoxNurb*, KQoxVector4*, ZPointArray&, ZDoubleArray&, ZDoubleArray&, int&, int&, int&,
                                int&, ZStatus*, bool*, bool*)
{}
