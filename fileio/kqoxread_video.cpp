// Native reader: video clips, with embedded media extracted beside the file.

#include <cstdio>
#include <string>
#include <unordered_map>
#include <sys/stat.h>
#include <unistd.h>

#include "base/kpath.h"
#include "fileio/kqoxnative_private.h"
#include "fileio/kqoxreaderqox_private.h"
#include "scene/attributes/kqoximageconverter.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

using namespace qoxnative;

namespace {

const char kMediaFolderSuffix[] = ".media";

std::string BaseName(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "name.ext" as "name-n.ext" (n from 1), for media files whose base names
// clash.
std::string Numbered(const std::string& base, int n)
{
    size_t dot = base.find_last_of('.');
    if (dot == std::string::npos || dot == 0)
        dot = base.size();
    return base.substr(0, dot) + "-" + std::to_string(n) + base.substr(dot);
}

// The name taken against the folder of the file read when relative; true
// when that is a file, whose full path is then in found.
bool FindFile(const char* folder, const char* name, KString& found)
{
    KString file = KFindFileFrom(folder, name);
    if (file.IsEmpty())
        return false;
    found = file;
    return true;
}

// Recreates the media file target from a TIFF image through the manager's
// image converters.
bool ConvertFromTif(KQoxSdkManager& manager, const std::string& tif, const std::string& target)
{
    ImageConverterBuffer buffer;
    if (!ReadFromTif(KString(tif.c_str()), buffer, false) || !buffer.mPixels)
        return false;
    for (int i = 0; i < manager.GetKQoxImageConverterCount(); ++i)
    {
        KString name(target.c_str());
        if (manager.GetKQoxImageConverter(i)->Convert(1, name, buffer))
            return true;
    }
    return false;
}

// The relative name of an extracted media file: from the folder of the file
// read, "<file>.media/<base name>".
KString RelativeMediaName(const char* sceneFile, const char* extracted)
{
    KString name = ExtractFileName(sceneFile, true);
    name += kMediaFolderSuffix;
    name += "/";
    name += BaseName(extracted).c_str();
    return name;
}

// Where the media of a clip go: "<file>.media/<media base name>" in the
// folder of the file read, numbered when another media file of the read
// took that name; "" when the file is read from memory or the name is
// unusable.
std::string MediaTarget(KQox& file, KQoxRead6::MediaFiles& made, const char* mediaName)
{
    const std::string media(mediaName);
    const auto known = made.mByMedia.find(media);
    if (known != made.mByMedia.end())
        return known->second;
    const std::string base = BaseName(media);
    const char* sceneFile = file.GetFileName();
    if (!sceneFile || !*sceneFile || base.empty() || base == "." || base == "..")
        return std::string();
    const std::string directory =
        std::string(MakeFullPath(file.GetFilePath(), ExtractFileName(sceneFile, true))) + kMediaFolderSuffix;
    mkdir(directory.c_str(), 0777);
    std::string target = directory + "/" + base;
    for (int n = 1; made.mMade.count(target); ++n)
        target = directory + "/" + Numbered(base, n);
    made.mMade.insert(target);
    made.mByMedia.emplace(media, target);
    return target;
}

} // namespace

void KQoxRead6::ReadVideo()
{
    if (!mFile.FieldReadBegin(kVideo))
        return;
    KString name(mFile.FieldReadC());
    KQoxVideo* video = mScene.mManager.CreateKQoxVideo(name.ToChars());
    if (!video)
    {
        mFile.FieldReadEnd();
        return;
    }
    mVideos.push_back(video);
    mScene.mVideos.push_back(video);
    if (mFile.FieldReadBlockBegin())
    {
        ObjectHeader(*video, video->GetPropertyHandler());
        video->SetFileName(mFile.FieldReadC(kFileName, ""));
        video->SetRelativeFileName(mFile.FieldReadC(kRelativeFileName, ""));
        video->SetOffset(mFile.FieldReadT(kOffset, KTime(0)));
        KString form(mFile.FieldReadC(kContentForm, ""));
        if (!form.IsEmpty() && mOptions.GetState(KStreamOptionsQox::eMEDIA) && mFile.FieldReadBegin(kContent))
        {
            std::string target = MediaTarget(mFile, *mMediaFiles, video->GetFileName() ? video->GetFileName() : "");
            if (!target.empty())
            {
                bool extracted;
                if (form == kContentTif)
                {
                    std::string tif = target + ".tif";
                    extracted = mFile.FieldReadRFile(tif.c_str()) && ConvertFromTif(mScene.mManager, tif, target);
                    std::remove(tif.c_str());
                }
                else
                {
                    extracted = mFile.FieldReadRFile(target.c_str());
                }
                if (extracted)
                {
                    video->SetFileName(target.c_str());
                    mExtractedClips.push_back(video);
                }
            }
            mFile.FieldReadEnd();
        }
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
    video->UpdateDefaultTakeFromProperties();
}

void KQoxRead6::PointTexturesAtMedia()
{
    if (mExtractedClips.empty())
        return;
    const char* folder = mFile.GetFilePath();
    const char* sceneFile = mFile.GetFileName();
    // Textures name their clip with or without its prefix; the first clip
    // of a name counts.
    std::unordered_map<std::string, KQoxVideo*> clips;
    for (KQoxVideo* clip : mExtractedClips)
    {
        clips.emplace(clip->GetName(), clip);
        clips.emplace(clip->GetNameWithoutNameSpacePrefix().ToChars(), clip);
        // A relative name that no longer leads to a file leads to the media.
        KString found;
        if (!FindFile(folder, clip->GetRelativeFileName(), found))
            clip->SetRelativeFileName(RelativeMediaName(sceneFile, clip->GetFileName()).ToChars());
    }
    for (KQoxTexture* texture : mTextures)
    {
        const char* media = texture->GetMediaName();
        const auto named = *media ? clips.find(media) : clips.end();
        if (named == clips.end())
            continue;
        KQoxVideo* clip = named->second;
        // The texture's own file where it is found: by its name (taken
        // against the file's folder when relative), else by its relative
        // name; otherwise the media extracted.
        KString found;
        if (FindFile(folder, texture->GetFileName(), found))
            continue;
        if (FindFile(folder, texture->GetRelativeFileName(), found))
        {
            texture->SetFileName(found.ToChars());
            continue;
        }
        texture->SetFileName(clip->GetFileName());
        texture->SetRelativeFileName(RelativeMediaName(sceneFile, clip->GetFileName()).ToChars());
    }
}

} // namespace qoxsdk_600
