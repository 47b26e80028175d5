// Native reader: video clips, with embedded media extracted (see
// kqoxread_media.cpp for where).

#include <string>
#include <unordered_map>
#include <utility>

#include "base/kpath.h"
#include "fileio/kqoxnative_private.h"
#include "fileio/kqoxreaderqox_private.h"
#include "scene/kqoxwholename.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

using namespace qoxnative;

namespace {

// The name taken against the folder of the file read when relative; true
// when that is a file, whose full path is then in found (moved there: a
// copy could lose its text). Not by its base name: the media extracted are
// the very image, where a file of that name beside may be another.
bool FindFile(const char* folder, const char* name, KString& found)
{
    KString file = KFindFileFrom(folder, name, KFindFile::eAnyCase);
    if (file.IsEmpty())
        return false;
    found = std::move(file);
    return true;
}

} // namespace

void KQoxRead6::ReadVideo()
{
    if (!mFile.FieldReadBegin(kVideo))
        return;
    const std::string name(mFile.FieldReadC());
    KQoxVideo* video = mScene.mManager.CreateKQoxVideo(name.c_str());
    if (!video)
    {
        mFile.FieldReadEnd();
        return;
    }
    mVideos.push_back(video);
    mScene.mVideos.push_back(video);
    // Textures find the clip by its name.
    KQoxExpectMadeName(video, "Video::", name.c_str());
    if (mFile.FieldReadBlockBegin())
    {
        ObjectHeader(*video, video->GetPropertyHandler());
        ReadFileNames(mFile, *video);
        video->SetOffset(mFile.FieldReadT(kOffset, KTime(0)));
        const std::string form(mFile.FieldReadC(kContentForm, ""));
        if (!form.empty() && mOptions.GetState(KStreamOptionsQox::eMEDIA) && mFile.FieldReadBegin(kContent))
        {
            const MediaFiles::Extracted* extracted = nullptr;
            if (mMediaFiles->Extract(mFile, mScene.mManager, video->GetFileName(), form == kContentTif, extracted))
            {
                mExtractedClips.push_back({video, extracted->mRelative});
                video->SetFileName(extracted->mPath.c_str());
                KQoxExpectText(video->GetFileName(), extracted->mPath.c_str());
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
    // Textures name their clip with or without its prefix; the first clip
    // of a name counts.
    std::unordered_map<std::string, const ExtractedClip*> clips;
    for (const ExtractedClip& extracted : mExtractedClips)
    {
        KQoxVideo* clip = extracted.mClip;
        clips.emplace(clip->GetName(), &extracted);
        clips.emplace(KQoxWholeText(clip->GetNameWithoutNameSpacePrefix()).ToChars(), &extracted);
        // A relative name that no longer leads to a file leads to the media.
        KString found;
        if (!FindFile(folder, clip->GetRelativeFileName(), found))
        {
            clip->SetRelativeFileName(extracted.mRelative.c_str());
            KQoxExpectText(clip->GetRelativeFileName(), extracted.mRelative.c_str());
        }
    }
    for (KQoxTexture* texture : mTextures)
    {
        const char* media = texture->GetMediaName();
        const auto named = *media ? clips.find(media) : clips.end();
        if (named == clips.end())
            continue;
        const ExtractedClip& clip = *named->second;
        // The texture's own file where it is found: by its name (taken
        // against the file's folder when relative), else by its relative
        // name; otherwise the media extracted.
        KString found;
        if (FindFile(folder, texture->GetFileName(), found))
            continue;
        if (FindFile(folder, texture->GetRelativeFileName(), found))
        {
            texture->SetFileName(found.ToChars());
            KQoxExpectText(texture->GetFileName(), found.ToChars());
            continue;
        }
        texture->SetFileName(clip.mClip->GetFileName());
        KQoxExpectText(texture->GetFileName(), clip.mClip->GetFileName());
        texture->SetRelativeFileName(clip.mRelative.c_str());
        KQoxExpectText(texture->GetRelativeFileName(), clip.mRelative.c_str());
    }
}

} // namespace qoxsdk_600
