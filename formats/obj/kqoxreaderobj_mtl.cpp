// Material libraries: opened on "mtllib", searched on the first "usemtl" of
// each name (each read once, as far as the names looked up need), closed at
// the end of the read.

#include <algorithm>
#include <cerrno>
#include <iterator>

#include <fcntl.h>
#include <unistd.h>

#include "base/kfile.h"
#include "base/kfilecause.h"
#include "base/kpath.h"
#include "scene/kqoxwholename.h"
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

// Whether errno's value tells of no descriptor left, in the process
// (EMFILE) or in the system (ENFILE).
bool NoDescriptor(int error)
{
    return error == EMFILE || error == ENFILE;
}

// The errno of opening one more file now (0 when it opens): a search of
// folders that found nothing was blind when it is NoDescriptor.
int OpenNowError()
{
    const int probe = open("/", O_PATH | O_CLOEXEC);
    const int error = probe < 0 ? errno : 0;
    if (probe >= 0)
        close(probe);
    return error;
}

bool IsRegularFile(const char* path)
{
    return GetFileKind(path) == kFILE_KIND_REGULAR;
}

// A text a path helper made: such helpers give an invalid text when memory
// runs out, which would read as a path that names another file or none.
KString Made(KString text)
{
    if (!text.IsOK())
        ObjOutOfMemory();
    return text;
}

// The file a library's name stands for: beside the OBJ file (in folder),
// the letters' case as written first; else the name as written (from the
// working folder, or absolute). "" when neither names a regular file.
KString LibraryFile(const KString& folder, const std::string& name)
{
    KString found = KFindFileAsWritten(folder.ToChars(), name.c_str());
    if (found.IsEmpty())
        found = KFindFileFrom(folder.ToChars(), name.c_str());
    if (found.IsEmpty() && IsRegularFile(name.c_str()))
        found = Made(KString(name.c_str()));
    return found;
}

// The library names of an "mtllib" line: its words, or the whole line as one
// name when it holds a blank and names a regular file (beside the OBJ file
// or as written), as files written with a blank in the library's name have it.
std::vector<std::string> LibraryNames(std::string_view rest, const KString& objFolder)
{
    std::vector<std::string> names;
    if (rest.find_first_of(" \t") != std::string_view::npos)
    {
        const std::string whole(rest);
        if (!LibraryFile(objFolder, whole).IsEmpty())
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
// folder): its absolute path in found. Files made on Windows part their
// folders with backslashes ("TX_Scene\Stone.jpg"): a name holding one that
// names no file is looked for with '/' instead. Every place is tried with
// the name's letters as written before any without regard to their case,
// and every form so before any by its trailing parts (a path of the
// author's machine, "C:\Users\me\proj\textures\stone.png" for the
// "textures/stone.png" beside the file), each part tried in both folders
// before a shorter one, up to the stage upTo. False when no file is found.
bool FindMapFile(const std::string& name, const KString& libraryFolder, const char* objPath, std::string& found,
                 KFindFile upTo = KFindFile::eBaseName)
{
    const KString objFolder = Made(ExtractDirectoryFromFilePath(objPath));
    const KString* const folders[] = {&libraryFolder, &objFolder};
    auto findIn = [&](const std::string& written, KFindFile stage) {
        for (const KString* folder : folders)
        {
            const KString file = KFindFileFrom(folder->ToChars(), written.c_str(), stage);
            if (!file.IsEmpty())
            {
                found = file.ToChars();
                return true;
            }
        }
        return false;
    };
    std::string slashed = name;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    for (KFindFile stage : {KFindFile::eAsWritten, KFindFile::eAnyCase})
        if (stage <= upTo && (findIn(name, stage) || findIn(slashed, stage)))
            return true;
    if (upTo < KFindFile::eBaseName)
        return false;
    // Both forms have the same parts.
    for (const std::string& tail : KTrailingParts(name.c_str()))
        if (findIn(tail, KFindFile::eAnyCase))
            return true;
    return false;
}

// Whether a library's keyword is a map statement: the format's "map_..."
// and "bump", "disp", "decal", "refl", and "norm" that tools add.
bool IsMapKeyword(std::string_view keyword)
{
    return keyword.substr(0, 4) == "map_" || keyword == "bump" || keyword == "disp" || keyword == "decal" ||
           keyword == "refl" || keyword == "norm";
}

// The options of the MTL format a map statement may write before its image's
// name, with the count of their arguments and whether those are numbers.
struct MapOption
{
    const char* mName;
    int mLeast;
    int mMost;
    bool mNumbers;
};
constexpr MapOption kMapOptions[] = {{"-blendu", 1, 1, false},  {"-blendv", 1, 1, false}, {"-bm", 1, 1, true},
                                     {"-boost", 1, 1, true},    {"-cc", 1, 1, false},     {"-clamp", 1, 1, false},
                                     {"-imfchan", 1, 1, false}, {"-mm", 2, 2, true},      {"-o", 1, 3, true},
                                     {"-s", 1, 3, true},        {"-t", 1, 3, true},       {"-texres", 1, 1, true},
                                     {"-type", 1, 1, false}};
constexpr int kOffsetOption = 8;
constexpr int kScaleOption = 9;

// What the options of one map statement give.
struct MapOptions
{
    bool mWritten[std::size(kMapOptions)] = {};
    double mOffset[2] = {0.0, 0.0};
    double mScale[2] = {1.0, 1.0};
};

// A whole word of text as a number.
bool WordNumber(std::string_view word, double& value)
{
    const char* p = word.data();
    return ObjScanDouble(p, p + word.size(), value) && p == word.data() + word.size();
}

// The options at the start of a map statement's rest, each with its
// arguments, read into options; name is what follows them. False when the
// rest does not start with an option, an option lacks an argument, or no
// name follows.
bool ReadMapOptions(std::string_view rest, MapOptions& options, std::string_view& name)
{
    const char* p = rest.data();
    const char* const end = p + rest.size();
    bool any = false;
    for (;;)
    {
        while (p < end && ObjIsSpace(*p))
            ++p;
        const char* const word = p;
        std::string_view option;
        if (p == end || *p != '-' || !ObjScanWord(p, end, option))
            break;
        const auto known = std::find_if(std::begin(kMapOptions), std::end(kMapOptions),
                                        [&](const MapOption& o) { return option == o.mName; });
        if (known == std::end(kMapOptions))
        {
            p = word; // a name that starts with '-'
            break;
        }
        // Numbers not written keep their defaults: a scale of 1, an offset of 0.
        const bool scale = known == kMapOptions + kScaleOption;
        double values[3] = {scale ? 1.0 : 0.0, scale ? 1.0 : 0.0, scale ? 1.0 : 0.0};
        for (int a = 0; a < known->mMost; ++a)
        {
            const char* const before = p;
            std::string_view argument;
            double number = 0.0;
            if (ObjScanWord(p, end, argument) && (!known->mNumbers || WordNumber(argument, number)))
            {
                values[a] = number;
                continue;
            }
            if (a < known->mLeast)
                return false;
            p = before; // the name, after fewer numbers
            break;
        }
        if (scale || known == kMapOptions + kOffsetOption)
            std::copy(values, values + 2, scale ? options.mScale : options.mOffset);
        options.mWritten[known - kMapOptions] = true;
        any = true;
    }
    name = ObjTrim(std::string_view(p, static_cast<size_t>(end - p)));
    return any && !name.empty();
}

} // namespace

KQoxReaderObj::LibrariesOpened KQoxReaderObj::OpenLibrary(std::string_view rest)
{
    const KString directory = Made(ExtractDirectoryFromFilePath(mFileName.ToChars()));
    const std::vector<std::string> names = LibraryNames(rest, directory);
    if (names.empty())
        return eLIBRARY_MISSING;
    LibrariesOpened opened = eLIBRARIES_OPENED;
    for (const std::string& name : names)
    {
        // A library lies beside its OBJ file; the name as written (relative
        // to the working directory, or absolute) is the fallback.
        const KString path = LibraryFile(directory, name);
        errno = 0;
        FilePtr file(path.IsEmpty() ? nullptr : OpenLibraryFile(path.ToChars()));
        const int error = errno;
        if (!file)
        {
            // A library that could not be opened for want of memory, or of
            // a descriptor, is no library missing from the file. One not
            // found may have been missed so: looking for a name whose
            // letters differ in case reads folders, which takes one.
            if (!path.IsEmpty() && error == ENOMEM)
                ObjOutOfMemory();
            const int cause = path.IsEmpty() ? OpenNowError() : error;
            if (NoDescriptor(cause))
            {
                mError.SetLastErrorCause(eFILE_NOT_OPENED, KFileErrorCause(cause));
                return eLIBRARY_NO_DESCRIPTOR;
            }
            opened = eLIBRARY_MISSING;
            continue;
        }
        Library library;
        library.mFolder = Made(ExtractDirectoryFromFilePath(Made(KFullPath(path.ToChars())).ToChars()));
        library.mReader = std::make_unique<KObjStatementReader>(file.get(), false);
        library.mFile = std::move(file);
        mLibraries.push_back(std::move(library));
    }
    return opened;
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
        // The name is the whole rest of the line, blanks within included.
        if (keyword != "newmtl" || rest.empty())
            continue;
        mNoted = in.Position();
        if (mStarts.try_emplace(std::string(rest), mNoted).second && rest == name)
            return true;
    }
    // A read that failed is tried again from there by the next search.
    if (in.OutOfMemory())
        ObjOutOfMemory();
    mAllNoted = !in.ReadFailed();
    return false;
}

bool KQoxReaderObj::ReadMaterial(const std::string& name, KQoxMaterial*& material, KQoxTexture*& texture)
{
    material = mManager.CreateKQoxMaterial(name.c_str());
    texture = nullptr;
    KQoxExpectMadeName(material, "Material::", name.c_str());
    for (Library& library : mLibraries)
    {
        if (!library.Find(name))
            continue;
        KObjStatementReader& in = *library.mReader;
        std::string_view keyword, rest;
        bool more = in.Next(keyword, rest);
        int illumination = 2;
        // Tools that write both give "Tr" as the transparency and "d" as
        // the opacity; "Tr" alone is the opacity, as this system wrote it.
        bool dissolveRead = false;
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
            else if (keyword == "d" && ObjScanDouble(p, end, value))
            {
                material->SetOpacity(value);
                dissolveRead = true;
            }
            else if (keyword == "Tr" && !dissolveRead && ObjScanDouble(p, end, value))
                material->SetOpacity(value);
            else if (keyword == "map_Kd" && !rest.empty()) // a map without a name names no image
            {
                texture = mManager.CreateKQoxTexture(name.c_str());
                KQoxExpectMadeName(texture, "Texture::", name.c_str());
                SetMapFile(*texture, rest, library.mFolder);
            }
            else if (IsMapKeyword(keyword) && !rest.empty())
                NoteMapLeftOut(keyword); // named in the message with its count
        }
        if (in.OutOfMemory())
            ObjOutOfMemory(); // the material's statements were not read whole
        if (illumination == 0 || illumination == 1)
            material->SetShininess(0.0);
        return true;
    }
    return false;
}

void KQoxReaderObj::SetMapFile(KQoxTexture& texture, std::string_view rest, const KString& libraryFolder)
{
    // The whole rest when it names a file (names may hold blanks), else
    // the name after the options written before it. The name as written
    // stays the relative name; the file is the one found for it. The whole
    // rest is looked for by its base name only once it holds no options:
    // with them, the text after its last separator is no name of its own.
    static_assert(std::size(kMapOptions) == eMAP_OPTION_KINDS, "a count per option");
    std::string written(rest);
    std::string file;
    MapOptions options;
    std::string_view name;
    const bool optioned = !FindMapFile(written, libraryFolder, mFileName.ToChars(), file, KFindFile::eAnyCase) &&
                          ReadMapOptions(rest, options, name);
    if (optioned)
    {
        written.assign(name.data(), name.size());
        if (!FindMapFile(written, libraryFolder, mFileName.ToChars(), file))
            file = written;
        texture.SetScale(options.mScale[0], options.mScale[1]);
        texture.SetTranslation(options.mOffset[0], options.mOffset[1]);
        for (size_t k = 0; k < std::size(kMapOptions); ++k)
            if (options.mWritten[k] && k != kScaleOption && k != kOffsetOption)
                ++mMapOptionsLeftOut[k];
    }
    else if (file.empty() && !FindMapFile(written, libraryFolder, mFileName.ToChars(), file))
        file = written;
    // Names given up for want of memory would leave the texture without its file.
    if (!texture.SetFileName(file.c_str()) || !texture.SetRelativeFileName(written.c_str()) ||
        file != texture.GetFileName() || written != texture.GetRelativeFileName())
        ObjOutOfMemory();
}

void KQoxReaderObj::ReportMapOptionsLeftOut()
{
    for (size_t k = 0; k < std::size(kMapOptions); ++k)
    {
        const size_t count = mMapOptionsLeftOut[k];
        if (count == 0)
            continue;
        mMessage += "Left out of the scene: ";
        mMessage += std::to_string(count).c_str();
        mMessage += count == 1 ? " texture map option " : " texture map options ";
        mMessage += kMapOptions[k].mName;
        mMessage += "\n";
    }
}

void KQoxReaderObj::NoteMapLeftOut(std::string_view keyword)
{
    const auto noted = std::find_if(mMapsLeftOut.begin(), mMapsLeftOut.end(),
                                    [&](const std::pair<std::string, size_t>& kind) { return kind.first == keyword; });
    if (noted != mMapsLeftOut.end())
        ++noted->second;
    else
        mMapsLeftOut.emplace_back(std::string(keyword), 1);
}

void KQoxReaderObj::ReportMapsLeftOut()
{
    for (const auto& kind : mMapsLeftOut)
    {
        mMessage += "Left out of the scene: ";
        mMessage += std::to_string(kind.second).c_str();
        mMessage += kind.second == 1 ? " texture map " : " texture maps ";
        mMessage += kind.first.c_str();
        mMessage += "\n";
    }
}

bool KQoxReaderObj::CloseMtlLibrary()
{
    mLibraries.clear();
    return true;
}

} // namespace qoxsdk_600
