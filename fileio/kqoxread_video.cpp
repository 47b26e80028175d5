// Native reader: video clips, with embedded media extracted beside the file.

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "fileio/kqoxnative_private.h"
#include "fileio/kqoxreaderqox_private.h"
#include "scene/attributes/kqoximageconverter.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

using namespace qoxnative;

namespace {

std::string BaseName(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where the media of a file's clips go: "<file>.media/<media base name>";
// "" when the file is read from memory or the name is unusable.
std::string MediaTarget(const char* sceneFile, const char* mediaName)
{
    std::string base = BaseName(mediaName);
    if (!sceneFile || !*sceneFile || base.empty() || base == "." || base == "..")
        return std::string();
    std::string directory = std::string(sceneFile) + ".media";
    mkdir(directory.c_str(), 0777);
    return directory + "/" + base;
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
            std::string target = MediaTarget(mFile.GetFileName(), video->GetFileName() ? video->GetFileName() : "");
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
                    video->SetFileName(target.c_str());
            }
            mFile.FieldReadEnd();
        }
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
    video->UpdateDefaultTakeFromProperties();
}

} // namespace qoxsdk_600
