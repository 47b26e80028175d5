// The material side of the OBJ writer: the ".mtl" library beside the file,
// one uniquely named entry per (material, texture) pair, texture copies.

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "base/kpath.h"
#include "formats/kqoxtexturecopy.h"
#include "formats/obj/kqoxwriterobj.h"
#include "formats/obj/kqoxwriterobj_private.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxcolor.h"

namespace qoxsdk_600 {

bool KQoxWriterObj::CheckMaterials(KQoxNodeAttribute* attribute)
{
    KQoxLayerContainer* container = dynamic_cast<KQoxLayerContainer*>(attribute);
    if (container && (container->GMC(0) >= 1 || container->GTC(0) >= 1))
        mMaterialsPresent = true;
    return true;
}

namespace {

// The library's file name: the OBJ file's name without its extension, each
// blank replaced by '_' (other readers split the "mtllib" line at blanks),
// and each line break, then ".mtl".
KString LibraryFileName(const char* objPath)
{
    KString name = ExtractFileName(objPath, false);
    for (char* c = name.Buffer(); *c; ++c)
        if (*c == ' ' || *c == '\t' || *c == '\r' || *c == '\n')
            *c = '_';
    return name + KString(".mtl");
}

// A material's name as readers take it back whole from the end of a
// "usemtl" or "newmtl" line: blanks within are written as they are, those at
// either end, which readers leave out, become '_' (so that the name stays
// distinct from the one without them).
std::string WithoutEndBlanks(std::string name)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
    for (auto c = name.begin(); c != name.end() && blank(*c); ++c)
        *c = '_';
    for (auto c = name.rbegin(); c != name.rend() && blank(*c); ++c)
        *c = '_';
    return name;
}

} // namespace

bool KQoxWriterObj::InitMtlLib()
{
    // The library lies beside the file; the directory is kept as given.
    // Each part whole, or out of memory: a part that lost its text would
    // put the library elsewhere (the working folder) or nowhere.
    const KString folder = ExtractDirectoryFromFilePath(mFileName.ToChars());
    const KString name = LibraryFileName(mFileName.ToChars());
    KString path = MakeFullPath(KQoxWholeText(folder).ToChars(), KQoxWholeText(name).ToChars());
    if (path == mFileName)
        path += ".mtl";
    mMaterialLibraryName = ExtractFileName(KQoxWholeText(path).ToChars(), true);
    KQoxWholeText(mMaterialLibraryName);
    mMtlFile = mStaged.Create(path.ToChars());
    if (!mMtlFile)
        return false;
    mMtl = std::make_unique<Output>(mMtlFile);
    mMtl->Text("# \n# Kelvarian material file\n# Created with Tolvane QOX\n# \n");
    return true;
}

int KQoxWriterObj::FindObjMaterial(KQoxMaterial* material, KQoxTexture* texture)
{
    for (size_t i = 0; i < mMaterialTable.size(); ++i)
        if (mMaterialTable[i]->mMaterial == material && mMaterialTable[i]->mTexture == texture)
            return static_cast<int>(i);
    return -1;
}

bool KQoxWriterObj::DestroyObjMaterials()
{
    mMaterialTable.clear();
    if (mMtlFile)
    {
        const bool written = mMtl->Flush();
        mMtl.reset();
        if (fclose(mMtlFile) != 0 || !written)
            mWriteFailed = true;
        mMtlFile = nullptr;
        mMaterialLibraryName = "";
    }
    return true;
}

void KQoxWriterObj::UseMaterial(KQoxMaterial* material, KQoxTexture* texture, const KString& nameText)
{
    const int found = FindObjMaterial(material, texture);
    KObjMaterial* entry = nullptr;
    if (found >= 0)
        entry = mMaterialTable[static_cast<size_t>(found)].get();
    else
    {
        // A line break would end the "usemtl" and "newmtl" lines early.
        const bool broken = HasLineBreak(nameText.ToChars());
        const std::string given = WithoutEndBlanks(WithoutLineBreaks(nameText.ToChars()));
        KName name(given.c_str());
        mMaterialNames.Rename(name);
        auto made = std::make_unique<KObjMaterial>(name.GetCurrentName(), material, texture);
        // Numbering only appends to the name: one that does not start with
        // it lost its text for want of memory, and would be written empty.
        if (std::strncmp(KQoxWholeText(made->mName).ToChars(), given.c_str(), given.size()) != 0)
            throw std::bad_alloc();
        if (broken)
            NoteLineBreak("material", made->mName.ToChars());
        mMaterialTable.push_back(std::move(made));
        entry = mMaterialTable.back().get();
        WriteMaterial(entry->mName.ToChars(), material, texture);
    }
    mObj->Text("usemtl ").Text(entry->mName.ToChars()).Char('\n');
}

void KQoxWriterObj::WriteMapPlacement(KQoxTexture& texture)
{
    // The options a reader takes back as the texture's scale and offset;
    // a texture placed as it is writes none, so such maps read as before.
    // Values that are no numbers in the file's text (NaN, infinities) are
    // left out, so that the line still names its image.
    const double scaleU = texture.GetScaleU(), scaleV = texture.GetScaleV();
    const double offsetU = texture.GetTranslationU(), offsetV = texture.GetTranslationV();
    if ((scaleU != 1.0 || scaleV != 1.0) && std::isfinite(scaleU) && std::isfinite(scaleV))
        mMtl->Text("-s ").Double(scaleU).Char(' ').Double(scaleV).Text(" 1 ");
    if ((offsetU != 0.0 || offsetV != 0.0) && std::isfinite(offsetU) && std::isfinite(offsetV))
        mMtl->Text("-o ").Double(offsetU).Char(' ').Double(offsetV).Text(" 0 ");
}

bool KQoxWriterObj::WriteMaterial(const char* name, KQoxMaterial* material, KQoxTexture* texture)
{
    if (!mMtlFile || !material)
        return false;
    mMtl->Text("\nnewmtl ").Text(name).Char('\n');
    if (texture && texture->GetTextureUse() == 0)
    {
        // The map names the copy made; an image not copied by its own name.
        KString map;
        const KString own = ExtractFileName(texture->GetFileName(), true);
        KQoxWholeText(own);
        if (!CopyTextureFile(texture->GetFileName(), name, map))
            map = WithoutLineBreaks(own.ToChars()).c_str();
        if (HasLineBreak(own.ToChars()))
            NoteLineBreak("texture", map.ToChars());
        mMtl->Text("map_Kd ");
        WriteMapPlacement(*texture);
        mMtl->Text(map).Char('\n');
    }
    auto color = [&](const char* key, const KQoxColor& c) {
        mMtl->Text(key).Char(' ').Double(c.mRed).Char(' ').Double(c.mGreen).Char(' ').Double(c.mBlue).Char('\n');
    };
    color("Ka", material->GetAmbient());
    color("Kd", material->GetDiffuse());
    color("Ks", material->GetSpecular());
    mMtl->Text("illum 2\n");
    mMtl->Text("Ns ").Double(material->GetShininess() * 100.0).Char('\n');
    // "d" alone: every reader takes it as the opacity, this system's
    // earlier ones too, where "Tr" is the opacity here and the transparency
    // elsewhere ("Tr 1" would make an opaque material invisible there).
    mMtl->Text("d ").Double(material->GetOpacity()).Char('\n');
    return true;
}

void KQoxWriterObj::NoteLineBreak(const char* kind, const char* written)
{
    mMessage += "Line break in ";
    mMessage += kind;
    mMessage += " name replaced by \"_\": \"";
    mMessage += written;
    mMessage += "\"\n";
}

bool KQoxWriterObj::CopyTextureFile(const char* path, const char* material, KString& copyName)
{
    bool renamed = false;
    switch (mTextureCopies.CopyTextureFile(path, mFileName.ToChars(), mStaged, mMessage, copyName, eCOPY_NAMES_ANY,
                                           &renamed))
    {
    case eTEXTURE_NOT_CREATED: mCreateFailed = true; return false;
    case eTEXTURE_NO_DESCRIPTOR:
        mCreateFailed = true;
        mCreateCause = kTEXTURE_NO_DESCRIPTOR_CAUSE;
        return false;
    case eTEXTURE_NOT_WRITTEN: mWriteFailed = true; return false;
    case eTEXTURE_MISSING: return false;
    default: break;
    }
    if (renamed)
        NameCopy(mMessage, KQoxWholeText(ExtractFileName(path, true)).ToChars(), path, copyName.ToChars(), material,
                 false);
    return true;
}

} // namespace qoxsdk_600
