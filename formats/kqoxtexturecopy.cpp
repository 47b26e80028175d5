#include "formats/kqoxtexturecopy.h"
#include "formats/kqoxtexturecopy_private.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <fcntl.h>
#include <new>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "base/kfile.h"
#include "base/kfilecause.h"
#include "base/kpath.h"
#include "scene/kqoxwholename.h"

namespace qoxsdk_600 {

const char* const kTEXTURE_NO_DESCRIPTOR_CAUSE = "too many files are open";

namespace {

std::function<void(const std::string&)> gOnLinkedForTests;

} // namespace

void SetTextureCopyOnLinkedForTests(std::function<void(const std::string&)> onLinked)
{
    gOnLinkedForTests = std::move(onLinked);
}

namespace {

// True when errno says the process, or the system, has no descriptor left.
bool OutOfDescriptors(int error)
{
    return error == EMFILE || error == ENFILE;
}

const size_t kCopyBlock = 64 * 1024;
// The most names tried for one copy.
const int kMostNumbers = 100000;

struct FileCloser
{
    void operator()(FILE* file) const
    {
        if (file)
        {
            fclose(file);
        }
    }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

void AppendFileMessage(KString& message, const char* text, const char* path)
{
    message += text;
    message += " \"";
    message += KEscapeControls(path).c_str();
    message += "\".\n";
}

// Copies source, from its start, to destination; false on any read, write
// or close failure.
bool CopyStream(FILE* source, FilePtr& destination)
{
    std::unique_ptr<char[]> buffer(new char[kCopyBlock]);
    rewind(source);
    size_t read = 0;
    while ((read = fread(buffer.get(), 1, kCopyBlock, source)) > 0)
    {
        if (fwrite(buffer.get(), 1, read, destination.get()) != read)
        {
            return false;
        }
    }
    const bool ok = !ferror(source) && feof(source);
    return fclose(destination.release()) == 0 && ok;
}

enum EPlace
{
    ePLACE_FREE,         // nothing there
    ePLACE_SAME,         // a regular file of the user's own with the image's bytes
    ePLACE_TAKEN,        // anything else: other bytes, a folder, a link, another user's file ...
    ePLACE_NO_DESCRIPTOR // it could not be looked into for want of a descriptor
};

// What stands at target in the folder, against the image open as source.
// Only a regular file of the user's own with no other link can stand for
// the image: a symbolic link, another user's file, or a file another name
// also reaches, may come to hold other bytes after the save; and a copy
// whose save is not committed yet keeps a second link until then, since
// that save may still remove it.
EPlace LookAt(const std::string& target, FILE* source)
{
    struct stat status;
    if (lstat(target.c_str(), &status) != 0)
        return errno == ENOENT ? ePLACE_FREE : ePLACE_TAKEN;
    if (!S_ISREG(status.st_mode) || status.st_uid != geteuid() || status.st_nlink != 1)
        return ePLACE_TAKEN;
    const int fd = open(target.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return OutOfDescriptors(errno) ? ePLACE_NO_DESCRIPTOR : ePLACE_TAKEN;
    FilePtr there(fdopen(fd, "rb"));
    if (!there)
    {
        close(fd);
        return ePLACE_TAKEN;
    }
    // The file looked at, not one put at its name meanwhile.
    struct stat opened;
    if (fstat(fd, &opened) != 0 || opened.st_dev != status.st_dev || opened.st_ino != status.st_ino)
        return ePLACE_TAKEN;
    return SameFileBytes(fileno(there.get()), fileno(source)) ? ePLACE_SAME : ePLACE_TAKEN;
}

// The first letters of a name, at most length bytes, never cutting a
// character of several bytes.
std::string Cut(const std::string& text, size_t length)
{
    if (text.size() <= length)
        return text;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        --length;
    return text.substr(0, length);
}

// "<first letters>-<number>.<extension cut to 3>", at most 8 characters
// before the dot.
std::string ShortName(const std::string& name, int number)
{
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0)
        dot = name.size();
    std::string letters;
    for (size_t i = 0; i < dot; ++i)
        if (name[i] != '.')
            letters += name[i];
    const std::string extension = dot < name.size() ? Cut(name.substr(dot + 1), 3) : std::string();
    const std::string suffix = "-" + std::to_string(number);
    letters = Cut(letters, 8 - suffix.size());
    return letters + suffix + (extension.empty() ? "" : "." + extension);
}

// The name tried for the copy at number (0: the image's own).
std::string Candidate(const std::string& name, int number, ETextureCopyNames names)
{
    const std::string numbered = number == 0 ? name : KNumberedFileName(name, number);
    if (names == eCOPY_NAMES_SHORT && numbered.size() > kSHORT_COPY_NAME_LENGTH)
        return number == 0 ? std::string() : ShortName(name, number);
    return numbered;
}

// Out of memory listing a folder is out of memory as any other.
void ThrowWhenOutOfMemory(int error)
{
    if (error == ENOMEM)
        throw std::bad_alloc();
}

} // namespace

void NameCopy(KString& message, const std::string& name, const char* path, const char* copy, const char* material,
              bool tooLong)
{
    if (tooLong)
        message += ("Texture name file: \"" + KEscapeControls(name) + "\" is too long.\n").c_str();
    message += ("Texture name \"" + KEscapeControls(copy) + "\" in material \"" + KEscapeControls(material) +
                "\" names its copy of \"" + KEscapeControls(path) + "\"\n\n")
                   .c_str();
}

std::string WithoutLineBreaks(const std::string& name)
{
    std::string text = name;
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = '_';
    return text;
}

bool HasLineBreak(const char* name)
{
    return name && std::strpbrk(name, "\r\n") != nullptr;
}

ETextureCopy KTextureCopies::CopyTextureFile(const char* texturePath, const char* writtenFilePath, KStagedFiles& files,
                                             KString& message, KString& copyName, ETextureCopyNames names,
                                             bool* renamed)
{
    ETextureCopy result = CopyOnce(texturePath, writtenFilePath, files, message, copyName, names, renamed);
    // Out of descriptors, the folder's watch gives its own back: the copy
    // is tried once more, the folder listed for each copy from then on.
    if (result == eTEXTURE_NO_DESCRIPTOR && mNames.Unwatch())
        result = CopyOnce(texturePath, writtenFilePath, files, message, copyName, names, renamed);
    return result;
}

// One try of CopyTextureFile. A copy out of descriptors adds no message
// and places nothing: it can be tried again (the next CreateNew drops a
// temporary it left).
ETextureCopy KTextureCopies::CopyOnce(const char* texturePath, const char* writtenFilePath, KStagedFiles& files,
                                      KString& message, KString& copyName, ETextureCopyNames names, bool* renamed)
{
    if (renamed)
        *renamed = false;
    if (!texturePath || !writtenFilePath)
        return eTEXTURE_MISSING;
    // Only a regular file is an image: a folder, device or FIFO is not
    // found, and nothing waits for it or reads from it.
    FilePtr source(OpenRegularFile(texturePath));
    struct stat image;
    if (!source || fstat(fileno(source.get()), &image) != 0)
    {
        if (!source && OutOfDescriptors(errno))
            return eTEXTURE_NO_DESCRIPTOR;
        AppendFileMessage(message, "Unable to locate texture file", texturePath);
        return eTEXTURE_MISSING;
    }
    // One image is copied once, whatever path leads to it.
    const auto known = mByImage.find({image.st_dev, image.st_ino});
    if (known != mByImage.end())
    {
        copyName = ExtractFileName(mCopies[known->second].mTarget.c_str(), true);
        KQoxWholeText(copyName);
        return eTEXTURE_COPIED;
    }
    const std::string folder = KQoxWholeText(ExtractDirectoryFromFilePath(writtenFilePath)).ToChars();
    const std::string name = WithoutLineBreaks(KQoxWholeText(ExtractFileName(texturePath, true)).ToChars());
    // The folder's names: listed at the save's first copy into it, brought
    // up to date at each one after. A folder that cannot be read is taken
    // by the names as written.
    bool listed = mNames.Folder() == folder ? mNames.Update() : mNames.Open(folder);
    if (!listed && OutOfDescriptors(errno) && files.Park())
        listed = mNames.Update();
    if (!listed)
    {
        ThrowWhenOutOfMemory(errno);
        if (OutOfDescriptors(errno))
            return eTEXTURE_NO_DESCRIPTOR;
    }
    bool written = false; // the image's bytes are in the save's new file
    int lookedAgain = -1; // the number whose name was taken meanwhile and looked at again
    for (int number = 0; number < kMostNumbers; ++number)
    {
        const std::string candidate = Candidate(name, number, names);
        if (candidate.empty())
            continue;
        const std::string destination = KQoxWholeText(MakeFullPath(folder.c_str(), candidate.c_str())).ToChars();
        if (files.Holds(destination.c_str()))
        {
            // Made by this save: usable when it is a copy of the same bytes.
            const auto made = mByTarget.find(destination);
            const Copy* staged = made != mByTarget.end() ? &mCopies[made->second] : nullptr;
            FilePtr other(staged ? OpenRegularFile(staged->mSource.c_str()) : nullptr);
            if (!other && staged && OutOfDescriptors(errno))
                return eTEXTURE_NO_DESCRIPTOR;
            if (!other || !SameFileBytes(fileno(other.get()), fileno(source.get())))
                continue;
        }
        else
        {
            const EPlace place = LookAt(destination, source.get());
            if (place == ePLACE_NO_DESCRIPTOR)
                return eTEXTURE_NO_DESCRIPTOR;
            if (place == ePLACE_TAKEN)
                continue;
            // A name alike but for case is the same file on other disks.
            if (mNames.Alike(candidate) > 0)
                continue;
            if (place == ePLACE_FREE)
            {
                if (!written)
                {
                    FilePtr target(files.CreateNew(destination.c_str(), image.st_mode & 0666));
                    if (!target)
                    {
                        if (OutOfDescriptors(files.Error()))
                            return eTEXTURE_NO_DESCRIPTOR;
                        AppendFileMessage(message, "Error writing texture file", destination.c_str());
                        return eTEXTURE_NOT_CREATED;
                    }
                    if (!CopyStream(source.get(), target))
                    {
                        AppendFileMessage(message, "Error writing texture file", destination.c_str());
                        return eTEXTURE_NOT_WRITTEN;
                    }
                    written = true;
                }
                // Placed only where the name is free as it is put, and kept
                // only while no name alike but for case came meanwhile. Of
                // two saves that put such names at once, one at least sees
                // the other's (the later one to link sees the earlier), so
                // never both are kept. Taking its name back harms no one:
                // until the commit the copy has a second link, and no save
                // takes such a file as its image's bytes.
                int listError = 0;
                auto alone = [&] {
                    if (gOnLinkedForTests)
                    {
                        const std::function<void(const std::string&)> onLinked = std::move(gOnLinkedForTests);
                        gOnLinkedForTests = nullptr;
                        onLinked(destination);
                    }
                    bool current = mNames.Update();
                    if (!current && OutOfDescriptors(errno) && files.Park())
                        current = mNames.Update();
                    listError = current ? 0 : errno;
                    ThrowWhenOutOfMemory(listError);
                    return !OutOfDescriptors(listError) && mNames.Alike(candidate) == 0;
                };
                if (!files.PlaceNew(destination.c_str(), alone))
                {
                    if (OutOfDescriptors(listError) || OutOfDescriptors(files.Error()))
                        return eTEXTURE_NO_DESCRIPTOR;
                    if (files.Error() != EEXIST || *files.Cause())
                    {
                        AppendFileMessage(message, "Error writing texture file", destination.c_str());
                        return eTEXTURE_NOT_CREATED;
                    }
                    // The temporary stays for the next name, unless the
                    // copy had to stay at this one (PlaceNew).
                    written = files.HasNew();
                    // Taken meanwhile: by the same bytes, perhaps.
                    if (lookedAgain != number)
                        lookedAgain = number--;
                    continue;
                }
            }
        }
        files.DropNew(); // a file there holds the bytes already
        mCopies.push_back({texturePath, destination});
        mByImage.emplace(std::make_pair(image.st_dev, image.st_ino), mCopies.size() - 1);
        mByTarget.emplace(destination, mCopies.size() - 1);
        if (renamed)
            *renamed = candidate != name;
        copyName = candidate.c_str();
        KQoxWholeText(copyName);
        return eTEXTURE_COPIED;
    }
    files.DropNew();
    AppendFileMessage(message, "Error writing texture file", MakeFullPath(folder.c_str(), name.c_str()).ToChars());
    return eTEXTURE_NOT_CREATED;
}

bool CopyTextureFile(const char* texturePath, const char* writtenFilePath, KString& message, KString* copyName)
{
    KStagedFiles files;
    KTextureCopies copies;
    KString name;
    if (copies.CopyTextureFile(texturePath, writtenFilePath, files, message, name) != eTEXTURE_COPIED)
    {
        return false;
    }
    if (!files.Commit())
    {
        const KString destination =
            MakeFullPath(ExtractDirectoryFromFilePath(writtenFilePath).ToChars(), name.ToChars());
        AppendFileMessage(message, "Error writing texture file", destination.ToChars());
        return false;
    }
    if (copyName)
        *copyName = name;
    return true;
}

} // namespace qoxsdk_600
