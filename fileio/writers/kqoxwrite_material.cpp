// Version-6 writer: materials.

#include "fileio/kqoxnative_private.h"
#include "fileio/writers/kqoxwriterqox6_private.h"
#include "scene/attributes/kqoxmaterial.h"

namespace qoxsdk_600 {

using namespace qoxnative;

void KQoxWrite6::WriteMaterial(KQoxMaterial& material)
{
    mFile.FieldWriteBegin(kMaterial);
    mFile.FieldWriteC(material.GetName());
    mFile.FieldWriteC("");
    mFile.FieldWriteBlockBegin();
    ObjectHeader(material, material.GetPropertyHandler(), kMaterialVersion);
    Text(kShadingModel, material.GetShadingModel());
    Int(kMultiLayer, material.GetMultiLayer() ? 1 : 0);
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

} // namespace qoxsdk_600
