#include "formats/kqoxtexturecopy.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <new>
#include <unistd.h>

#include "base/kpath.h"

namespace qoxsdk_600 {

const char* const kTEXTURE_NO_DESCRIPTOR_CAUSE = "too many files are open";

namespace {

// True when errno says the process, or the system, has no descriptor left.
bool OutOfDescriptors(int error)
{
    return error == EMFILE || error == ENFILE;
}

const size_t kCopyBlock = 64 * 1024;

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
    message += path;
    message += "\".\n";
}

// The text itself, or std::bad_alloc when it lost its text for want of
// memory.
const KString& Whole(const KString& text)
{
    if (!text.IsOK())
        throw std::bad_alloc();
    return text;
}

// Copies source to destination; false on any read, write or close failure.
bool CopyStream(FILE* source, FilePtr& destination)
{
    std::unique_ptr<char[]> buffer(new char[kCopyBlock]);
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

} // namespace

ETextureCopy CopyTextureFile(const char* texturePath, const char* writtenFilePath, KStagedFiles& files,
                             KString& message)
{
    if (!texturePath || !writtenFilePath)
    {
        return eTEXTURE_MISSING;
    }
    // Each part whole, or out of memory: a part that lost its text would put
    // the copy elsewhere (the working folder) or nowhere.
    const KString folder = ExtractDirectoryFromFilePath(writtenFilePath);
    const KString name = ExtractFileName(texturePath, true);
    const KString destination = MakeFullPath(Whole(folder).ToChars(), Whole(name).ToChars());
    Whole(destination);
    // Looked for without opening it: with no descriptor left, opening would
    // take a file that is there for one that is not.
    if (files.Holds(destination.ToChars()) || faccessat(AT_FDCWD, destination.ToChars(), R_OK, AT_EACCESS) == 0)
    {
        return eTEXTURE_COPIED;
    }
    FilePtr source(fopen(texturePath, "rb"));
    if (!source)
    {
        if (OutOfDescriptors(errno))
            return eTEXTURE_NO_DESCRIPTOR;
        AppendFileMessage(message, "Unable to locate texture file", texturePath);
        return eTEXTURE_MISSING;
    }
    FilePtr target(files.Create(destination.ToChars()));
    if (!target)
    {
        if (OutOfDescriptors(files.Error()))
            return eTEXTURE_NO_DESCRIPTOR;
        AppendFileMessage(message, "Error writing texture file", destination.ToChars());
        return eTEXTURE_NOT_CREATED;
    }
    if (!CopyStream(source.get(), target))
    {
        AppendFileMessage(message, "Error writing texture file", destination.ToChars());
        return eTEXTURE_NOT_WRITTEN;
    }
    return eTEXTURE_COPIED;
}

bool CopyTextureFile(const char* texturePath, const char* writtenFilePath, KString& message)
{
    KStagedFiles files;
    if (CopyTextureFile(texturePath, writtenFilePath, files, message) != eTEXTURE_COPIED)
    {
        return false;
    }
    if (!files.Commit())
    {
        const KString destination = MakeFullPath(ExtractDirectoryFromFilePath(writtenFilePath).ToChars(),
                                                 ExtractFileName(texturePath, true).ToChars());
        AppendFileMessage(message, "Error writing texture file", destination.ToChars());
        return false;
    }
    return true;
}

} // namespace qoxsdk_600
