#include "formats/kqoxgeometryformats.h"

#include "fileio/kqoxioregistry.h"
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

} // namespace

void KQoxRegisterGeometryFormats()
{
    KQoxIORegistry::RegisterReader(eIMPORT_OBJ, CreateObjReader, "Dunel OBJ (*.obj)", "obj");
    KQoxIORegistry::RegisterWriter(eEXPORT_OBJ, CreateObjWriter, "Dunel OBJ (*.obj)", "obj");
}

} // namespace qoxsdk_600
