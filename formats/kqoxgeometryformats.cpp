#include "formats/kqoxgeometryformats.h"

#include "fileio/kqoxioregistry.h"
#include "formats/3ds/kqoxreader3ds.h"
#include "formats/3ds/kqoxwriter3ds.h"
#include "formats/dxf/kqoxreaderdxf.h"
#include "formats/dxf/kqoxwriterdxf.h"
#include "formats/obj/kqoxreaderobj.h"
#include "formats/obj/kqoxwriterobj.h"

namespace qoxsdk_600 {

namespace {

KQoxReader* CreateObjReader(KQoxSdkManager& manager)
{
    return new KQoxReaderObj(manager);
}

KQoxWriter* CreateObjWriter(KQoxSdkManager& manager)
{
    return new KQoxWriterObj(manager);
}

KQoxReader* CreateDxfReader(KQoxSdkManager& manager)
{
    return new KQoxReaderDxf(manager);
}

KQoxWriter* CreateDxfWriter(KQoxSdkManager& manager)
{
    return new KQoxWriterDxf(manager);
}

KQoxReader* Create3dsReader(KQoxSdkManager& manager)
{
    return new KQoxReader3DS(manager);
}

KQoxWriter* Create3dsWriter(KQoxSdkManager& manager)
{
    return new KQoxWriter3DS(manager);
}

} // namespace

void KQoxRegisterGeometryFormats()
{
    KQoxIORegistry::RegisterReader(eIMPORT_OBJ, CreateObjReader, "Dunel OBJ (*.obj)", "obj");
    KQoxIORegistry::RegisterReader(eIMPORT_DXF, CreateDxfReader, "AutoCAD DXF (*.dxf)", "dxf");
    KQoxIORegistry::RegisterReader(eIMPORT_3DS, Create3dsReader, "3D Studio 3DS (*.3ds)", "3ds");
    KQoxIORegistry::RegisterWriter(eEXPORT_DXF, CreateDxfWriter, "AutoCAD DXF (*.dxf)", "dxf");
    KQoxIORegistry::RegisterWriter(eEXPORT_3DS, Create3dsWriter, "3D Studio 3DS (*.3ds)", "3ds");
    KQoxIORegistry::RegisterWriter(eEXPORT_OBJ, CreateObjWriter, "Dunel OBJ (*.obj)", "obj");
}

} // namespace qoxsdk_600
