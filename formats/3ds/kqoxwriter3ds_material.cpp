// The 3DS writer's materials: one record per combination of material and
// textures that a mesh uses, with its texture maps; texture images are
// copied beside the written file, under names that fit the map's field.

#include "formats/3ds/kqoxwriter3ds.h"
#include "formats/3ds/kqoxwriter3ds_private.h"
#include "scene/kqoxwholename.h"

#include <cstring>

#include "base/kfilecause.h"
#include "base/kpath.h"
#include "formats/kqoxtexturecopy.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxtexture.h"

namespace qoxsdk_600 {

using namespace w3ds;

namespace {

// The longest relative texture path kept whole, and the longest file name
// kept.
const size_t kWholePathLength = 11;
const size_t kFileNameLength = kSHORT_COPY_NAME_LENGTH;

// A texture the format can carry: UV-mapped standard colour texture.
bool IsExportable(KQoxTexture* texture)
{
    return texture && texture->GetMappingType() == KQoxTexture::eUV &&
           texture->GetTextureUse() == KQoxTexture::eSTANDARD;
}

// Offsets, scales, rotation and tiling of a texture map from the texture's
// placement.
void PlaceMap(bitmap3ds& map, KQoxTexture* texture)
{
    const double tu = texture->GetTranslationU(), tv = texture->GetTranslationV();
    double su = texture->GetScaleU(), sv = texture->GetScaleV();
    const double w = texture->GetRotationW();
    map.uscale = static_cast<float>(su);
    map.vscale = static_cast<float>(sv);
    // A zero scale has no inverse: the offsets are then taken unscaled.
    if (su == 0.0)
        su = 1.0;
    if (sv == 0.0)
        sv = 1.0;
    if (w == 0.0)
    {
        map.uoffset = static_cast<float>(-tu / su - (1.0 - 1.0 / su) / 2.0);
        map.voffset = static_cast<float>(tv / sv + (1.0 - 1.0 / sv) / 2.0);
    }
    else
    {
        const double x = -(tu - 0.5) / su, y = -(tv - 0.5) / sv;
        const double theta = -w * kDegToRad;
        const double xr = x * std::cos(theta) - y * std::sin(theta);
        const double yr = x * std::sin(theta) + y * std::cos(theta);
        map.uoffset = static_cast<float>(xr - 0.5);
        map.voffset = static_cast<float>(-(yr - 0.5));
        map.rotation = static_cast<float>(-w);
    }
    map.tiling = texture->GetWrapModeU() == KQoxTexture::eREPEAT ? Tile3ds : Decal3ds;
}

} // namespace

K3dsPtr<material3ds> KQoxWriter3DS::ConvMaterialPBto3DS(KQoxMesh* mesh, int material, int texture, int texture2)
{
    if (!mesh)
        return nullptr;
    const int textureCount = mesh->GTC(0);
    auto textureAt = [&](int index) { return index >= 0 && index < textureCount ? mesh->GT(index, 0) : nullptr; };
    KQoxMaterial* mat = material >= 0 && material < mesh->GMC(0) ? mesh->GM(material, 0) : nullptr;
    return ConvMaterialPBto3DS(mat, textureAt(texture), textureAt(texture2), material, texture, texture2);
}

K3dsPtr<material3ds> KQoxWriter3DS::ConvMaterialPBto3DS(KQoxMaterial* material, KQoxTexture* texture,
                                                        KQoxTexture* texture2, int materialIndex, int textureIndex,
                                                        int texture2Index)
{
    // Only UV-mapped standard textures are written; a first texture that is
    // not gives its place to the second.
    if (!IsExportable(texture2))
        texture2 = nullptr;
    if (texture && !IsExportable(texture))
        texture = texture2;
    // The copy each map names: "" when the image was not copied; renamed
    // when this map gave the image its copy under another name.
    KString copies[2];
    bool renamed[2] = {false, false};
    for (int k = 0; k < 2; ++k)
    {
        KQoxTexture*& map = k == 0 ? texture : texture2;
        if (!map)
            continue;
        const char* file = map->GetFileName();
        if (!file || !*file)
            map = nullptr;
        else
            CopyTextureFile(file, copies[k], renamed[k]);
    }

    material3ds* raw = nullptr;
    InitMaterial3ds(&raw);
    K3dsPtr<material3ds> record(raw);
    if (!record)
        return record;
    if (material)
    {
        const KQoxColor ambient = material->GetAmbient(), diffuse = material->GetDiffuse(),
                        specular = material->GetSpecular(), emissive = material->GetEmissive();
        record->ambient = {static_cast<float>(ambient.mRed), static_cast<float>(ambient.mGreen),
                           static_cast<float>(ambient.mBlue)};
        record->diffuse = {static_cast<float>(diffuse.mRed), static_cast<float>(diffuse.mGreen),
                           static_cast<float>(diffuse.mBlue)};
        record->specular = {static_cast<float>(specular.mRed), static_cast<float>(specular.mGreen),
                            static_cast<float>(specular.mBlue)};
        record->shinstrength = static_cast<float>(0.75 * (specular.mRed + specular.mGreen + specular.mBlue) / 3.0);
        record->shininess = static_cast<float>(0.5 * material->GetShininess());
        record->selfillumpct = static_cast<float>((emissive.mRed + emissive.mGreen + emissive.mBlue) / 3.0);
        record->transparency = static_cast<float>(1.0 - material->GetOpacity());
        record->twosided = 1;
    }

    // Name: the material's 3DS name, or for a textured combination a name
    // made of the mesh count and the indices, unique within 15 characters.
    std::string name;
    if (!texture && material)
    {
        name = Get3dsName(material, kMaterialNameLength);
    }
    else
    {
        std::string generated = std::to_string(mExportedMeshCount) + ".Mat" + std::to_string(materialIndex);
        if (texture)
        {
            generated += "T" + std::to_string(textureIndex);
            if (texture2)
                generated += "T" + std::to_string(texture2Index);
        }
        name = MakeUniqueName(generated, kMaterialNameLength);
    }
    CopyName(record->name, sizeof record->name, name);
    if (!texture)
        return record;

    struct
    {
        bitmap3ds* map;
        KQoxTexture* texture;
        int index;
        const KString& copy;
        bool renamed;
    } const maps[2] = {{&record->texture, texture, textureIndex, copies[0], renamed[0]},
                       {&record->texture2, texture2, texture2Index, copies[1], renamed[1]}};
    for (const auto& entry : maps)
    {
        if (!entry.texture)
            continue;
        bitmap3ds& map = *entry.map;
        const char* file = entry.texture->GetFileName();
        const std::string base = KQoxWholeText(ExtractFileName(file, true)).ToChars();
        if (!entry.copy.IsEmpty())
        {
            // The copy beside the file, named to fit the field; a name not
            // the image's is said once, by the first material to map it.
            CopyName(map.name, sizeof map.name, entry.copy.ToChars());
            if (entry.renamed)
                NameCopy(mMessage, base, file, entry.copy.ToChars(), record->name, base.size() > kFileNameLength);
        }
        // An absolute path names a folder of this machine, not the copy
        // beside the written file: only its file name is kept.
        else if (std::strlen(file) <= kWholePathLength && GetIsRelativePath(file))
        {
            CopyName(map.name, sizeof map.name, file);
        }
        else if (base.size() <= kFileNameLength)
        {
            CopyName(map.name, sizeof map.name, base);
        }
        else
        {
            const std::string index = std::to_string(entry.index);
            CopyName(map.name, sizeof map.name, "Tex" + index);
            mMessage += ("Texture name file: \"" + KEscapeControls(base) +
                         "\" is too long.\nChange manually texture name: \"Tex" + index + "\" in material \"" +
                         KEscapeControls(record->name) + "\" by \"" + KEscapeControls(file) + "\" for proper work\n\n")
                            .c_str();
        }
        if (entry.map == &record->texture)
        {
            map.percent = 1.0f;
        }
        else
        {
            double alpha = entry.texture->GetDefaultAlpha();
            if (entry.texture->GetBlendMode() == KQoxTexture::eADDITIVE)
                alpha *= 0.5;
            map.percent = static_cast<float>(alpha);
        }
        PlaceMap(map, entry.texture);
    }
    return record;
}

bool KQoxWriter3DS::CopyTextureFile(const char* path, KString& copyName, bool& renamed)
{
    // Without a file there is no directory to copy into.
    if (mFileName.empty())
        return false;
    switch (mTextureCopies.CopyTextureFile(path, mFileName.c_str(), mStaged, mMessage, copyName, eCOPY_NAMES_SHORT,
                                           &renamed))
    {
    case eTEXTURE_NOT_CREATED: mCopyError = eFILE_NOT_CREATED; mCopyCause = nullptr; return false;
    case eTEXTURE_NO_DESCRIPTOR:
        mCopyError = eFILE_NOT_CREATED;
        mCopyCause = kTEXTURE_NO_DESCRIPTOR_CAUSE;
        return false;
    case eTEXTURE_NOT_WRITTEN: mCopyError = eOUT_OF_DISK_SPACE; mCopyCause = nullptr; return false;
    case eTEXTURE_MISSING: return false;
    default: return true;
    }
}

} // namespace qoxsdk_600
