// Material libraries: opened on "mtllib", searched on the first "usemtl" of
// each name (each read once, as far as the names looked up need), closed at
// the end of the read.

#include <algorithm>

#include "base/kfile.h"
#include "base/kpath.h"
#include "formats/obj/kqoxreaderobj.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxcolor.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

// The longest line a material library may hold. A file with a longer one
// is no library (a binary file without line breaks, say) and is not read,
// so what a library costs in memory stays bounded by its lines.
constexpr size_t kLibraryLineMost = 64 * 1024;

// Whether no line of the file is longer than kLibraryLineMost; the file is
// set back to its start.
bool LinesBounded(FILE* file)
{
    char block[16384];
    size_t line = 0;
    size_t got;
    while ((got = fread(block, 1, sizeof(block), file)) > 0)
        for (size_t i = 0; i < got; ++i)
        {
            line = block[i] == '\n' || block[i] == '\r' ? 0 : line + 1;
            if (line > kLibraryLineMost)
                return false;
        }
    const bool ok = !ferror(file);
    rewind(file);
    return ok;
}

// A library opened for reading: a regular file only (a FIFO or a device
// such as /dev/zero could be endless, a directory reads nothing), whose
// lines are bounded. Null otherwise. The kind is seen before opening, as
// opening a FIFO waits for a writer, and again after.
FILE* OpenLibraryFile(const char* path)
{
    FILE* file = GetFileKind(path) == kFILE_KIND_REGULAR ? fopen(path, "rb") : nullptr;
    if (file && (GetFileKind(file) != kFILE_KIND_REGULAR || !LinesBounded(file)))
    {
        fclose(file);
        file = nullptr;
    }
    return file;
}

bool IsRegularFile(const char* path)
{
    return GetFileKind(path) == kFILE_KIND_REGULAR;
}

// The library names of an "mtllib" line: its words, or the whole line as one
// name when it holds a blank and names a regular file (beside the OBJ file
// or as written), as files written with a blank in the library's name have it.
std::vector<std::string> LibraryNames(std::string_view rest, const char* objPath)
{
    std::vector<std::string> names;
    if (rest.find_first_of(" \t") != std::string_view::npos)
    {
        const std::string whole(rest);
        const KString beside = MakeFullPath(ExtractDirectoryFromFilePath(objPath).ToChars(), whole.c_str());
        if (IsRegularFile(beside.ToChars()) || IsRegularFile(whole.c_str()))
        {
            names.push_back(whole);
            return names;
        }
    }
    ObjSplit(rest, [&](std::string_view name) {
        names.emplace_back(name);
        return true;
    });
    return names;
}

// The image file a map statement names, looked for from the library's
// folder, then from the OBJ file's (they differ for a library in another
// folder): its absolute path, or the name as written when no file is found.
// Files made on Windows part their folders with backslashes
// ("TX_Scene\Stone.jpg"): a name holding one that names no file is looked
// for with '/' instead.
std::string MapFileName(const std::string& name, const KString& libraryFolder, const char* objPath)
{
    const KString objFolder = ExtractDirectoryFromFilePath(objPath);
    std::string slashed = name;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    for (const std::string& written : {name, slashed})
        for (const KString* folder : {&libraryFolder, &objFolder})
        {
            const KString found = KFindFileFrom(folder->ToChars(), written.c_str());
            if (!found.IsEmpty())
                return found.ToChars();
        }
    return name;
}

} // namespace

bool KQoxReaderObj::OpenLibrary(std::string_view rest)
{
    const std::vector<std::string> names = LibraryNames(rest, mFileName.ToChars());
    if (names.empty())
        return false;
    bool all = true;
    const KString directory = ExtractDirectoryFromFilePath(mFileName.ToChars());
    for (const std::string& name : names)
    {
        // A library lies beside its OBJ file; the name as written (relative
        // to the working directory, or absolute) is the fallback.
        KString path = MakeFullPath(directory.ToChars(), name.c_str());
        FilePtr file(OpenLibraryFile(path.ToChars()));
        if (!file)
        {
            path = name.c_str();
            file.reset(OpenLibraryFile(path.ToChars()));
        }
        if (!file)
        {
            all = false;
            continue;
        }
        Library library;
        library.mFolder = ExtractDirectoryFromFilePath(KFullPath(path.ToChars()).ToChars());
        library.mReader = std::make_unique<KObjStatementReader>(file.get(), false);
        library.mFile = std::move(file);
        mLibraries.push_back(std::move(library));
    }
    return all;
}

namespace {

// "Ka", "Kd", "Ks": all three numbers or nothing.
bool ScanColor(std::string_view rest, KQoxColor& color)
{
    double rgb[3];
    if (ObjScanDoubles(rest, rgb, 3) < 3)
        return false;
    color = KQoxColor(rgb[0], rgb[1], rgb[2], 1.0);
    return true;
}

} // namespace

bool KQoxReaderObj::Library::Find(const std::string& name)
{
    KObjStatementReader& in = *mReader;
    const auto noted = mStarts.find(name);
    if (noted != mStarts.end())
        return in.Seek(noted->second);
    if (mAllNoted || !in.Seek(mNoted))
        return false;
    // On from where the last search stopped, noting each name the first
    // time it is defined, up to this one.
    std::string_view keyword, rest;
    while (in.Next(keyword, rest))
    {
        if (keyword != "newmtl")
            continue;
        const char* p = rest.data();
        std::string_view word;
        if (!ObjScanWord(p, p + rest.size(), word))
            continue;
        mNoted = in.Position();
        if (mStarts.try_emplace(std::string(word), mNoted).second && word == name)
            return true;
    }
    // A read that failed is tried again from there by the next search.
    mAllNoted = !in.ReadFailed();
    return false;
}

bool KQoxReaderObj::ReadMaterial(const std::string& name, KQoxMaterial*& material, KQoxTexture*& texture)
{
    material = mManager.CreateKQoxMaterial(name.c_str());
    texture = nullptr;
    if (!material)
        return false;
    for (Library& library : mLibraries)
    {
        if (!library.Find(name))
            continue;
        KObjStatementReader& in = *library.mReader;
        std::string_view keyword, rest;
        bool more = in.Next(keyword, rest);
        int illumination = 2;
        for (; more && keyword != "newmtl"; more = in.Next(keyword, rest))
        {
            KQoxColor color;
            double value = 0.0;
            const char* p = rest.data();
            const char* end = p + rest.size();
            if (keyword == "Ka" && ScanColor(rest, color))
                material->SetAmbient(color);
            else if (keyword == "Kd" && ScanColor(rest, color))
                material->SetDiffuse(color);
            else if (keyword == "Ks" && ScanColor(rest, color))
                material->SetSpecular(color);
            else if (keyword == "illum")
                ObjScanInt(p, end, illumination);
            else if (keyword == "Ns" && ObjScanDouble(p, end, value))
                material->SetShininess(value / 100.0);
            else if ((keyword == "Tr" || keyword == "d") && ObjScanDouble(p, end, value))
                material->SetOpacity(value);
            else if (keyword == "map_Kd")
            {
                texture = mManager.CreateKQoxTexture(name.c_str());
                if (texture)
                {
                    // The name as written stays the relative name; the
                    // file is the one found from the library's folder.
                    const std::string written(rest);
                    texture->SetFileName(MapFileName(written, library.mFolder, mFileName.ToChars()).c_str());
                    texture->SetRelativeFileName(written.c_str());
                }
            }
        }
        if (illumination == 0 || illumination == 1)
            material->SetShininess(0.0);
        return true;
    }
    return false;
}

bool KQoxReaderObj::CloseMtlLibrary()
{
    mLibraries.clear();
    return true;
}

} // namespace qoxsdk_600
