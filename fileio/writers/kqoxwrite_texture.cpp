// Version-6 writer: textures.

#include "fileio/kqoxnative_private.h"
#include "fileio/writers/kqoxwriterqox6_private.h"
#include "scene/attributes/kqoxtexture.h"

namespace qoxsdk_600 {

using namespace qoxnative;

void KQoxWrite6::WriteTexture(KQoxTexture& texture)
{
    mFile.FieldWriteBegin(kTexture);
    mFile.FieldWriteC(texture.GetName());
    mFile.FieldWriteC(texture.GetTextureType());
    mFile.FieldWriteBlockBegin();
    ObjectHeader(texture, texture.GetPropertyHandler(), kTextureVersion);
    Text(kFileName, texture.GetFileName());
    Text(kRelativeFileName, texture.GetRelativeFileName());
    Text(kMedia, texture.GetMediaName());
    Int(kAlphaSource, texture.GetAlphaSource());
    mFile.FieldWriteBegin(kCropping);
    mFile.FieldWriteI(texture.GetCroppingLeft());
    mFile.FieldWriteI(texture.GetCroppingTop());
    mFile.FieldWriteI(texture.GetCroppingRight());
    mFile.FieldWriteI(texture.GetCroppingBottom());
    mFile.FieldWriteEnd();
    Int(kMappingType, texture.GetMappingType());
    Int(kPlanarMappingNormal, texture.GetPlanarMappingNormal());
    Doubles(kUVTranslation, texture.GetUVTranslation(), 2);
    Doubles(kUVScaling, texture.GetUVScaling(), 2);
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

} // namespace qoxsdk_600
