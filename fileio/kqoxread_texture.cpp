// Native reader: textures.

#include <string>

#include "fileio/kqoxnative_private.h"
#include "fileio/kqoxreaderqox_private.h"
#include "scene/kqoxwholename.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

using namespace qoxnative;

void KQoxRead6::ReadTexture()
{
    if (!mFile.FieldReadBegin(kTexture))
        return;
    const std::string name(mFile.FieldReadC());
    KQoxTexture* texture = mScene.mManager.CreateKQoxTexture(name.c_str());
    if (!texture)
    {
        mFile.FieldReadEnd();
        return;
    }
    mTextures.push_back(texture);
    mScene.mTextures.push_back(texture);
    // A clip is found by the name its textures give as their media.
    KQoxExpectMadeName(texture, "Texture::", name.c_str());
    if (mFile.FieldReadBlockBegin())
    {
        ObjectHeader(*texture, texture->GetPropertyHandler());
        ReadFileNames(mFile, *texture);
        const char* media = mFile.FieldReadC(kMedia, "");
        texture->SetMediaName(media);
        KQoxExpectText(texture->GetMediaName(), media);
        texture->SetAlphaSource(
            static_cast<KQoxTexture::EAlphaSource>(mFile.FieldReadI(kAlphaSource, texture->GetAlphaSource())));
        if (mFile.FieldReadBegin(kCropping))
        {
            int left = mFile.FieldReadI();
            int top = mFile.FieldReadI();
            int right = mFile.FieldReadI();
            int bottom = mFile.FieldReadI();
            texture->SetCropping(left, top, right, bottom);
            mFile.FieldReadEnd();
        }
        texture->SetMappingType(
            static_cast<KQoxTexture::EMappingType>(mFile.FieldReadI(kMappingType, texture->GetMappingType())));
        texture->SetPlanarMappingNormal(static_cast<KQoxTexture::EPlanarMappingNormal>(
            mFile.FieldReadI(kPlanarMappingNormal, texture->GetPlanarMappingNormal())));
        KQoxVector2 vector;
        if (mFile.FieldReadBegin(kUVTranslation))
        {
            vector[0] = mFile.FieldReadD();
            vector[1] = mFile.FieldReadD();
            texture->SetUVTranslation(vector);
            mFile.FieldReadEnd();
        }
        if (mFile.FieldReadBegin(kUVScaling))
        {
            vector[0] = mFile.FieldReadD();
            vector[1] = mFile.FieldReadD();
            texture->SetUVScaling(vector);
            mFile.FieldReadEnd();
        }
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
    texture->UpdateDefaultTakeFromProperties();
}

} // namespace qoxsdk_600
