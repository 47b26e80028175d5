// Version-6 writer: video clips, with their media embedded on request.

#include "fileio/kqoxnative_private.h"
#include "fileio/writers/kqoxwriterqox6_private.h"
#include "base/kfile.h"
#include "base/kfilecause.h"
#include "scene/attributes/kqoximageconverter.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxsdkmanager.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <unistd.h>

namespace qoxsdk_600 {

using namespace qoxnative;

namespace {

// A temporary file, removed when this goes however the write ends.
struct Temporary
{
    KString mName; // short: kept in place, never lost for want of memory
    Temporary() = default;
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary()
    {
        if (!mName.IsEmpty())
            std::remove(mName.ToChars());
    }
};

// A TIFF image of the media through the manager's image converters, in a
// temporary file; false when no converter takes the file.
bool ConvertToTif(KQoxSdkManager& manager, const char* mediaName, Temporary& tif)
{
    for (int i = 0; i < manager.GetKQoxImageConverterCount(); ++i)
    {
        KString name(mediaName);
        // A name lost for want of memory would name no file to convert.
        if (!name.IsOK())
            throw std::bad_alloc();
        ImageConverterBuffer buffer;
        if (!manager.GetKQoxImageConverter(i)->Convert(0, name, buffer) || !buffer.mPixels)
            continue;
        char pattern[] = "/tmp/qox_media_XXXXXX";
        int fd = mkstemp(pattern);
        if (fd < 0)
            return false;
        close(fd);
        tif.mName = pattern;
        return WriteToTif(tif.mName, true, buffer);
    }
    return false;
}

} // namespace

void KQoxWrite6::WriteVideo(KQoxVideo& video)
{
    mFile.FieldWriteBegin(kVideo);
    mFile.FieldWriteC(video.GetName());
    mFile.FieldWriteC("Clip");
    mFile.FieldWriteBlockBegin();
    ObjectHeader(video, video.GetPropertyHandler(), kVideoVersion);
    // A clip without media answers null.
    const char* media = video.GetFileName() ? video.GetFileName() : "";
    Text(kFileName, media);
    Text(kRelativeFileName, video.GetRelativeFileName() ? video.GetRelativeFileName() : "");
    mFile.FieldWriteBegin(kOffset);
    mFile.FieldWriteT(video.GetOffset());
    mFile.FieldWriteEnd();
    // Only a regular file is embedded, and only such a file is handed to
    // the converters: a folder, device or FIFO would never end or answer.
    const bool embed = mOptions.GetState(KStreamOptionsQox::eMEDIA) && *media;
    if (embed && RegularFileExist(media))
    {
        // Converted to TIFF when a converter takes the media, else as it
        // is; one that could not convert it for want of a descriptor would
        // leave the media in another form than the same save gives else.
        Temporary tif;
        errno = 0;
        bool converted = ConvertToTif(mScene.mManager, media, tif);
        if (!converted && KOutOfDescriptors(errno))
            mDescriptorsRanOut = true;
        Text(kContentForm, converted ? kContentTif : kContentRaw);
        mFile.FieldWriteBegin(kContent);
        errno = 0;
        if (!mFile.FieldWriteRFile(converted ? tif.mName.ToChars() : media) && KOutOfDescriptors(errno))
            mDescriptorsRanOut = true;
        mFile.FieldWriteEnd();
    }
    else if (embed && KOutOfDescriptors(errno))
        mDescriptorsRanOut = true;
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

} // namespace qoxsdk_600
