// 3DS materials into scene materials, their texture maps into textures.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <new>

#include "base/kpath.h"
#include "formats/3ds/kqoxreader3ds.h"
#include "scene/kqoxwholename.h"
#include "formats/3ds/kqoxreader3ds_private.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxcolor.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

using namespace reader3ds;

namespace {

// Specular colours of 3DS materials are taken at this strength.
const double kSpecularStrengthBase = 0.75;
const double kPi = 3.14159265358979323846;

// Places the texture as the 3DS map says: translation, rotation (degrees),
// scale and wrap mode.
void PlaceTexture(KQoxTexture& texture, const bitmap3ds& map)
{
    const double su = map.uscale, sv = map.vscale;
    const double ou = map.uoffset, ov = map.voffset;
    const double r = map.rotation;
    if (r == 0.0)
    {
        // -su * (ou + 0.5 * (1 - 1/su)) and its v twin, written without the
        // division so that a zero scale places the map at the centre.
        texture.SetTranslation(0.5 - su * (ou + 0.5), 0.5 - sv * (0.5 - ov));
    }
    else
    {
        const double x = -su * (0.5 + ou);
        const double y = -sv * (0.5 - ov);
        const double c = -r * kPi / 180.0;
        texture.SetTranslation(x * std::cos(c) - y * std::sin(c) + 0.5, x * std::sin(c) + y * std::cos(c) + 0.5);
        texture.SetRotation(0.0, 0.0, -r);
    }
    texture.SetScale(su, sv);
    const KQoxTexture::EWrapMode wrap = map.tiling == Tile3ds ? KQoxTexture::eREPEAT : KQoxTexture::eCLAMP;
    texture.SetWrapMode(wrap, wrap);
}

} // namespace

KString KQoxReader3DS::MapFile(const std::string& name) const
{
    // Tools of DOS and Windows part folders with backslashes ("tx\\img.ppm"):
    // a name that names no file so is looked for with '/' instead, either
    // form with its letters as written before any without regard to case,
    // and both so before any by its base name (a path of the author's machine).
    std::string slashed = name;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    for (KFindFile upTo : {KFindFile::eAsWritten, KFindFile::eAnyCase, KFindFile::eBaseName})
        for (const std::string& written : {name, slashed})
        {
            KString found = KFindFileFrom(mFolder.c_str(), written.c_str(), upTo);
            if (!found.IsEmpty())
                return found;
        }
    return KString("");
}

bool KQoxReader3DS::ImportMaterials()
{
    mMaterialTextures.clear();
    mMaterialsByName.clear();
    mMaterialTexturePairs.assign(mMaterials.size(), KTexturePair());
    for (size_t i = 0; i < mMaterials.size(); ++i)
    {
        const material3ds& record = *mMaterials[i];
        const std::string name = FieldText(record.name, sizeof record.name);
        KQoxMaterial* material = mManager.CreateKQoxMaterial(name.c_str());
        if (!material)
            return false;
        mMaterialsByName.emplace(name, material);

        // Textures: none without texture mapping or a first map; a second
        // map counts only beside a first one.
        KTexturePair& pair = mMaterialTexturePairs[i];
        const std::string first = FieldText(record.texture.name, sizeof record.texture.name);
        const std::string second = FieldText(record.texture2.name, sizeof record.texture2.name);
        auto makeTexture = [&](const std::string& file, const std::string& clashName) -> KQoxTexture* {
            const std::string textureName = mManager.FindKQoxTexture(file.c_str(), 0) ? clashName : file;
            KQoxTexture* texture = mManager.CreateKQoxTexture(textureName.c_str());
            if (!texture)
            {
                mMessage += "Unable to load texture file: ";
                mMessage += file.c_str();
                mMessage += " .\n";
                return nullptr;
            }
            // A texture's name, file or relative name lost for want of
            // memory would name another image, or none: the read fails.
            KQoxExpectMadeName(texture, "Texture::", textureName.c_str());
            // The map names its image as found beside the file read; the
            // name as written stays the relative name.
            const KString found = MapFile(file);
            const char* named = KQoxWholeText(found).IsEmpty() ? file.c_str() : found.ToChars();
            texture->SetFileName(named);
            KQoxExpectText(texture->GetFileName(), named);
            texture->SetRelativeFileName(file.c_str());
            KQoxExpectText(texture->GetRelativeFileName(), file.c_str());
            return texture;
        };
        if (mTextureMapping && !first.empty())
        {
            const std::string index = std::to_string(i);
            pair.mFirst = makeTexture(first, first + "-" + index);
            if (!second.empty())
                pair.mSecond = makeTexture(second, second + "-" + index + ".2");
        }
        mMaterialTextures.emplace(LowerCaseName(name), i);

        const double strength = record.shinstrength / kSpecularStrengthBase;
        material->SetAmbient(KQoxColor(record.ambient.r, record.ambient.g, record.ambient.b, 1.0));
        material->SetDiffuse(KQoxColor(record.diffuse.r, record.diffuse.g, record.diffuse.b, 1.0));
        material->SetSpecular(
            KQoxColor(record.specular.r * strength, record.specular.g * strength, record.specular.b * strength, 1.0));
        material->SetShininess(std::fmin(2.0 * record.shininess, 1.0));
        const double selfIllumination = record.selfillumpct;
        material->SetEmissive(KQoxColor(record.diffuse.r * selfIllumination, record.diffuse.g * selfIllumination,
                                        record.diffuse.b * selfIllumination, 1.0));
        material->SetOpacity(1.0 - record.transparency);

        if (pair.mFirst)
        {
            pair.mFirst->SetDefaultAlpha(record.texture.percent);
            pair.mFirst->SetMaterialUse(record.texture.percent >= 1.0f ? KQoxTexture::eDEFAULT_MATERIAL
                                                                       : KQoxTexture::eMODEL_MATERIAL);
            pair.mFirst->SetBlendMode(KQoxTexture::eTRANSLUCENT);
            PlaceTexture(*pair.mFirst, record.texture);
        }
        if (pair.mSecond)
        {
            pair.mSecond->SetDefaultAlpha(record.texture2.percent);
            pair.mSecond->SetBlendMode(KQoxTexture::eTRANSLUCENT);
            PlaceTexture(*pair.mSecond, record.texture2);
        }
    }
    return true;
}

const KQoxReader3DS::KTexturePair* KQoxReader3DS::FindTexturePair(const char* materialName) const
{
    if (!materialName)
        return nullptr;
    auto found = mMaterialTextures.find(LowerCaseName(materialName));
    if (found == mMaterialTextures.end() || found->second >= mMaterialTexturePairs.size())
        return nullptr;
    return &mMaterialTexturePairs[found->second];
}

} // namespace qoxsdk_600
