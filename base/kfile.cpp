#include "base/kfile.h"

#include "base/kfile_private.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <new>
#include <stdexcept>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

struct KFile::KFilePrivate
{
    FILE* mStream = nullptr;
    bool mOpened = false;
    bool mCloseFailed = false;
    bool mReadOnly = false; // opened with "r" and no "+": no buffered writes to see
};

KFile::KFile()
    : mData(std::make_unique<KFilePrivate>())
{}

KFile::~KFile()
{
    // Calls this class's Close: a derived layer has already closed itself.
    KFile::Close();
}

bool KFile::Open(const char* name, kFileMode mode, bool text)
{
    const char* base;
    switch (mode)
    {
    case kFILE_READ: base = "r"; break;
    case kFILE_WRITE: base = "w"; break;
    case kFILE_READ_WRITE: base = "w+"; break;
    case kFILE_APPEND: base = "a"; break;
    default: return false;
    }
    char modeText[4];
    snprintf(modeText, sizeof(modeText), "%s%s", base, text ? "t" : "b");
    return Open(name, modeText);
}

bool KFile::Open(const char* name, const char* modeText)
{
    if (mData->mOpened)
        Close();
    mData->mCloseFailed = false;
    mFullFileName = name ? name : "";
    FILE* stream = nullptr;
    mData->mOpened = name && modeText && WideCharFileOpen(&stream, name, modeText);
    mData->mStream = mData->mOpened ? stream : nullptr;
    mData->mReadOnly = mData->mOpened && std::strchr(modeText, 'r') && !std::strchr(modeText, '+');
    return mData->mOpened;
}

void KFile::Close()
{
    if (mData->mOpened)
    {
        mData->mOpened = false;
        // Buffered bytes reach the disk only here: a full disk shows up as a
        // failed close.
        mData->mCloseFailed = fclose(mData->mStream) != 0;
        mData->mStream = nullptr;
    }
}

bool KFile::LastCloseFailed() const
{
    return mData->mCloseFailed;
}

unsigned int KFile::Read(void* buffer, unsigned int n)
{
    if (!mData->mOpened || !buffer)
        return 0;
    return static_cast<unsigned int>(fread(buffer, 1, n, mData->mStream));
}

unsigned int KFile::ReadAt(long position, void* buffer, unsigned int n)
{
    if (!buffer || position < 0 || !IsOpened())
        return 0;
    if (mData->mOpened && mData->mReadOnly)
    {
        const int descriptor = fileno(mData->mStream);
        unsigned char* out = static_cast<unsigned char*>(buffer);
        unsigned int done = 0;
        while (done < n)
        {
            const ssize_t got = pread(descriptor, out + done, n - done, static_cast<off_t>(position) + done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += static_cast<unsigned int>(got);
        }
        return done;
    }
    // Written to, or another kind of file: through the stream.
    const long saved = GetPosition();
    SetPosition(position);
    const unsigned int got = Read(buffer, n);
    SetPosition(saved);
    return got;
}

char* KFile::ReadString(char* buffer, int n)
{
    if (!mData->mOpened || !buffer || n < 1)
        return nullptr;
    return fgets(buffer, n, mData->mStream);
}

namespace {
// Reads sizeof(T) bytes over *value (bytes not read stay as they were) and
// reverses them when asked.
template <typename T>
T ReadValue(FILE* stream, T* value, bool swap)
{
    T v = *value;
    // A short read is not reported here; EndOfFile and GetError tell.
    size_t got = fread(&v, 1, sizeof(T), stream);
    (void)got;
    if (swap)
        v = kSwab(v);
    *value = v;
    return v;
}
} // namespace

int KFile::ReadInt32(int* value, bool swap)
{
    if (!mData->mOpened || !value)
        return 0;
    return ReadValue(mData->mStream, value, swap);
}

unsigned int KFile::ReadUInt32(unsigned int* value, bool swap)
{
    if (!mData->mOpened || !value)
        return 0;
    return ReadValue(mData->mStream, value, swap);
}

short KFile::ReadInt16(short* value, bool swap)
{
    if (!mData->mOpened || !value)
        return 0;
    return ReadValue(mData->mStream, value, swap);
}

unsigned short KFile::ReadUInt16(unsigned short* value, bool swap)
{
    if (!mData->mOpened || !value)
        return 0;
    return ReadValue(mData->mStream, value, swap);
}

char KFile::ReadChar(char* value)
{
    if (!mData->mOpened || !value)
        return 0;
    return ReadValue(mData->mStream, value, false);
}

unsigned char KFile::ReadUChar(unsigned char* value)
{
    if (!mData->mOpened || !value)
        return 0;
    return ReadValue(mData->mStream, value, false);
}

unsigned int KFile::Write(void* buffer, unsigned int n)
{
    if (!mData->mOpened || !buffer)
        return 0;
    return static_cast<unsigned int>(fwrite(buffer, 1, n, mData->mStream));
}

void KFile::Seek(kSeekPos from, long offset)
{
    if (!mData->mOpened)
        return;
    int whence = SEEK_SET;
    if (from == kSEEK_CURRENT)
        whence = SEEK_CUR;
    else if (from == kSEEK_END)
        whence = SEEK_END;
    fseek(mData->mStream, offset, whence);
}

long KFile::GetPosition()
{
    if (!mData->mOpened)
        return 0;
    return ftell(mData->mStream);
}

void KFile::SetPosition(long offset)
{
    if (!mData->mOpened)
        return;
    fseek(mData->mStream, offset, SEEK_SET);
}

bool KFile::IsOpened()
{
    return mData->mOpened;
}

const char* KFile::GetFullFileName()
{
    return mFullFileName;
}

int KFile::GetError()
{
    if (!mData->mOpened)
        return 0;
    return ferror(mData->mStream);
}

void KFile::ClearError()
{
    if (mData->mOpened)
        clearerr(mData->mStream);
}

bool KFile::EndOfFile()
{
    if (!mData->mOpened)
        return false;
    return feof(mData->mStream) != 0;
}

void KFile::Format(const char* format, ...)
{
    if (!mData->mOpened || !format)
        return;
    // Written straight to the stream: no work area limits the text.
    va_list args;
    va_start(args, format);
    vfprintf(mData->mStream, format, args);
    va_end(args);
}

int KFile::Truncate(unsigned int length)
{
    if (!mData->mOpened)
        return -1;
    fflush(mData->mStream);
    return ftruncate(fileno(mData->mStream), static_cast<off_t>(length));
}

int KFile::Remove(KString name)
{
    return remove(name);
}

int KFile::Rename(KString from, KString to)
{
    return rename(from, to);
}

bool WideCharFileOpen(FILE** stream, const char* name, const char* modeText)
{
    FILE* f = (name && modeText) ? fopen(name, modeText) : nullptr;
    if (stream)
        *stream = f;
    return f != nullptr;
}

bool FileExist(const char* name)
{
    if (!name || !*name)
        return false;
    KFile file;
    bool exists = file.Open(name, "rb");
    file.Close();
    return exists;
}

namespace {

// OpenRegularFile's descriptor, blocking again; -1 with errno on failure.
int OpenRegularDescriptor(const char* name)
{
    if (!name || !*name)
    {
        errno = ENOENT;
        return -1;
    }
    // Looked at first so that a device is not even opened; the descriptor's
    // own kind decides after.
    struct stat status;
    if (stat(name, &status) != 0)
        return -1;
    if (!S_ISREG(status.st_mode))
    {
        errno = EINVAL;
        return -1;
    }
    const int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
    {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags != -1)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

} // namespace

FILE* OpenRegularFile(const char* name)
{
    const int fd = OpenRegularDescriptor(name);
    if (fd < 0)
        return nullptr;
    FILE* stream = fdopen(fd, "rb");
    if (!stream)
    {
        const int error = errno;
        close(fd);
        errno = error;
    }
    return stream;
}

bool RegularFileExist(const char* name)
{
    // Opened and closed: no stream (nor memory) is needed to tell.
    const int fd = OpenRegularDescriptor(name);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

KDescriptor::~KDescriptor()
{
    if (mFd >= 0)
        close(mFd);
}

bool SameFileBytes(int first, int second)
{
    struct stat a, b;
    if (fstat(first, &a) != 0 || fstat(second, &b) != 0 || a.st_size != b.st_size)
        return false;
    char bytesA[8192], bytesB[8192];
    for (off_t at = 0; at < a.st_size;)
    {
        const ssize_t n = pread(first, bytesA, sizeof bytesA, at);
        if (n <= 0 || pread(second, bytesB, static_cast<size_t>(n), at) != n || std::memcmp(bytesA, bytesB, n) != 0)
            return false;
        at += n;
    }
    return true;
}

namespace {

kFileKind KindOf(const struct stat& status)
{
    if (S_ISREG(status.st_mode))
        return kFILE_KIND_REGULAR;
    return S_ISDIR(status.st_mode) ? kFILE_KIND_DIRECTORY : kFILE_KIND_OTHER;
}

} // namespace

kFileKind GetFileKind(FILE* stream)
{
    struct stat status;
    if (!stream || fstat(fileno(stream), &status) != 0)
        return kFILE_KIND_UNKNOWN;
    return KindOf(status);
}

kFileKind GetFileKind(const char* name)
{
    struct stat status;
    if (!name || stat(name, &status) != 0)
        return kFILE_KIND_UNKNOWN;
    return KindOf(status);
}

const char* const kSTREAM_TOO_LONG_TEXT = "File not opened: a stream longer than 4 GiB is not read";

namespace {

// 0: kSTREAM_MOST_BYTES.
std::atomic<size_t> gStreamMostForTests{0};

} // namespace

size_t StreamMostBytes()
{
    const size_t most = gStreamMostForTests.load(std::memory_order_relaxed);
    return most ? most : kSTREAM_MOST_BYTES;
}

void SetStreamMostBytesForTests(size_t most)
{
    gStreamMostForTests.store(most, std::memory_order_relaxed);
}

kStreamRead ReadStreamWhole(FILE* stream, std::vector<unsigned char>& bytes, size_t most, size_t headBytes,
                            bool (*accept)(const unsigned char* head, size_t length))
{
    constexpr size_t kChunk = size_t(1) << 16;
    auto fail = [&bytes](kStreamRead why) {
        bytes.clear();
        bytes.shrink_to_fit();
        return why;
    };
    bytes.clear();
    if (!stream)
        return fail(kSTREAM_READ_FAILED);
    bool headShown = accept == nullptr;
    try
    {
        for (;;)
        {
            const size_t used = bytes.size();
            if (used == most)
            {
                // Full: one byte more tells a stream that goes on.
                unsigned char probe;
                if (std::fread(&probe, 1, 1, stream) == 1)
                    return fail(kSTREAM_READ_TOO_LONG);
                break;
            }
            const size_t room = std::min(kChunk, most - used);
            bytes.resize(used + room);
            const size_t got = std::fread(bytes.data() + used, 1, room, stream);
            bytes.resize(used + got);
            if (!headShown && (bytes.size() >= headBytes || got == 0))
            {
                headShown = true;
                if (!accept(bytes.data(), bytes.size()))
                    return kSTREAM_READ_REFUSED;
            }
            if (got == 0)
                break;
        }
    }
    catch (const std::bad_alloc&)
    {
        return fail(kSTREAM_READ_NO_MEMORY);
    }
    catch (const std::length_error&)
    {
        return fail(kSTREAM_READ_NO_MEMORY);
    }
    if (std::ferror(stream))
        return fail(kSTREAM_READ_FAILED);
    return kSTREAM_READ_WHOLE;
}

char* KFgets(char* buffer, int size, FILE* stream)
{
    if (!buffer || size < 1)
        return nullptr;
    if (size == 1)
    {
        buffer[0] = 0;
        return buffer;
    }
    int room = size - 1;
    int n = 0;
    while (n < room)
    {
        int c = stream ? getc(stream) : EOF;
        if (c == EOF)
            break;
        buffer[n++] = static_cast<char>(c);
        if (c == '\n')
            break;
        if (c == '\r')
        {
            int next = getc(stream);
            if (next == '\n' && n < room)
            {
                buffer[n++] = '\n';
            }
            else if (next != EOF)
            {
                ungetc(next, stream);
            }
            break;
        }
    }
    buffer[n] = 0;
    return n == 0 ? nullptr : buffer;
}

bool KPathUtilities::ConvertFromHFSToPOSIX(const char*, KString&)
{
    return false;
}
bool KPathUtilities::ConvertFromHFSToWindows(const char*, KString&)
{
    return false;
}
bool KPathUtilities::ConvertFromPOSIXToHFS(const char*, KString&)
{
    return false;
}
bool KPathUtilities::ConvertFromPOSIXToWindows(const char*, KString&)
{
    return false;
}
bool KPathUtilities::ConvertFromWindowsToHFS(const char*, KString&)
{
    return false;
}
bool KPathUtilities::ConvertFromWindowsToPOSIX(const char*, KString&)
{
    return false;
}
