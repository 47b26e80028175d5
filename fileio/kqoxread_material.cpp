// Native reader: materials.

#include "fileio/kqoxnative_private.h"
#include "fileio/kqoxreaderqox_private.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

using namespace qoxnative;

void KQoxRead6::ReadMaterial()
{
    if (!mFile.FieldReadBegin(kMaterial))
        return;
    KString name(mFile.FieldReadC());
    KQoxMaterial* material = mScene.mManager.CreateKQoxMaterial(name.ToChars());
    if (!material)
    {
        mFile.FieldReadEnd();
        return;
    }
    mMaterials.push_back(material);
    mScene.mMaterials.push_back(material);
    if (mFile.FieldReadBlockBegin())
    {
        ObjectHeader(*material, material->GetPropertyHandler());
        material->SetShadingModel(mFile.FieldReadC(kShadingModel, material->GetShadingModel()));
        material->SetMultiLayer(mFile.FieldReadI(kMultiLayer, 0) != 0);
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
    material->UpdateDefaultTakeFromProperties();
}

} // namespace qoxsdk_600
