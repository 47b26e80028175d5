#ifndef QOX_BASE_KFILE_H
#define QOX_BASE_KFILE_H

// KFile: the system's file object, a thin polymorphic layer over the
// buffered stream functions. Every operation checks that the file is open
// and returns a neutral value otherwise. Beside it: byte-order reversal
// (kSwab), a line reader that accepts all three line-end conventions
// (KFgets), FileExist and the platform hooks for file names.

#include <cstddef>
#include <cstdio>
#include <memory>
#include <vector>

#include "base/kstring.h"

// Open modes: "r", "w", "w+" and "a".
enum kFileMode
{
    kFILE_READ = 0,
    kFILE_WRITE = 1,
    kFILE_READ_WRITE = 2,
    kFILE_APPEND = 3
};

// Seek origins.
enum kSeekPos
{
    kSEEK_BEGIN = 0,
    kSEEK_CURRENT = 1,
    kSEEK_END = 2
};

class KFile
{
public:
    KFile();
    virtual ~KFile();

    KFile(const KFile&) = delete;
    KFile& operator=(const KFile&) = delete;

    // Opens with "r", "w", "w+" or "a" followed by "t" (text) or "b".
    virtual bool Open(const char* name, kFileMode mode, bool text);
    // Opens with an explicit stdio mode text; the name is stored in every case.
    virtual bool Open(const char* name, const char* modeText);
    virtual void Close();
    // True when the last Close could not write the stream's buffered bytes.
    bool LastCloseFailed() const;

    // Number of bytes read; 0 when closed.
    virtual unsigned int Read(void* buffer, unsigned int n);
    // Number of bytes read at position, the position Read goes on from left
    // where it was; 0 when closed. A file opened for reading only reads
    // them from the system directly: the stream's buffer is neither filled
    // nor moved, so a few bytes cost only themselves.
    virtual unsigned int ReadAt(long position, void* buffer, unsigned int n);
    // fgets; null at the end or when closed.
    virtual char* ReadString(char* buffer, int n);
    // Read 4 or 2 bytes into *value, byte order reversed when swap is true,
    // and return the value; 0 (value untouched) when closed.
    virtual int ReadInt32(int* value, bool swap);
    virtual unsigned int ReadUInt32(unsigned int* value, bool swap);
    virtual short ReadInt16(short* value, bool swap);
    virtual unsigned short ReadUInt16(unsigned short* value, bool swap);
    virtual char ReadChar(char* value);
    virtual unsigned char ReadUChar(unsigned char* value);
    // Number of bytes written; 0 when closed.
    virtual unsigned int Write(void* buffer, unsigned int n);
    virtual void Seek(kSeekPos from, long offset);
    virtual long GetPosition();
    virtual void SetPosition(long offset);
    virtual bool IsOpened();
    virtual const char* GetFullFileName();
    virtual int GetError();
    virtual void ClearError();
    virtual bool EndOfFile();
    // printf-style text written to the file; any length.
    virtual void Format(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // ftruncate to length; -1 when closed.
    virtual int Truncate(unsigned int length);

    // remove / rename; 0 on success.
    static int Remove(KString name);
    static int Rename(KString from, KString to);

private:
    struct KFilePrivate;
    std::unique_ptr<KFilePrivate> mData;
    KString mFullFileName;
};

// The value with its bytes in reverse order.
template <typename T>
T kSwab(T value)
{
    T result;
    const unsigned char* from = reinterpret_cast<const unsigned char*>(&value);
    unsigned char* to = reinterpret_cast<unsigned char*>(&result);
    for (unsigned int i = 0; i < sizeof(T); ++i)
        to[i] = from[sizeof(T) - 1 - i];
    return result;
}

// fopen; the single place where a platform with wide-character file names
// would convert the name. Stores the stream (null on failure).
bool WideCharFileOpen(FILE** stream, const char* name, const char* modeText);

// True when the file can be opened for reading ("rb"); false for null or "".
bool FileExist(const char* name);

// Opens name for reading ("rb") when it is a regular file (a symbolic link
// leading to one is followed). A folder, device, FIFO or socket is refused
// without a byte read from it: nothing waits for a FIFO's writer, no
// terminal is taken, and the file opened decides, whatever the name comes
// to name meanwhile. Null on failure, with errno (EINVAL: not a regular
// file; EMFILE, ENFILE: no descriptor left).
FILE* OpenRegularFile(const char* name);
// True when OpenRegularFile opens the file.
bool RegularFileExist(const char* name);
// An open descriptor, closed when it goes out of scope (-1: none). Release
// hands it over (to a stream, say) and leaves nothing to close.
class KDescriptor
{
public:
    explicit KDescriptor(int fd)
        : mFd(fd)
    {}
    ~KDescriptor();
    KDescriptor(const KDescriptor&) = delete;
    KDescriptor& operator=(const KDescriptor&) = delete;
    int Get() const { return mFd; }
    int Release()
    {
        const int fd = mFd;
        mFd = -1;
        return fd;
    }

private:
    int mFd;
};

// Whether two open files hold the same bytes, read from their starts
// without moving either's position; false when either cannot be read.
bool SameFileBytes(int first, int second);

// What an open stream reads from: a regular file, a directory (which opens
// but cannot be read), or anything else (a FIFO, a socket, a device), whose
// size says nothing and which may never end. kFILE_KIND_UNKNOWN when the
// system cannot tell.
enum kFileKind
{
    kFILE_KIND_UNKNOWN = 0,
    kFILE_KIND_REGULAR = 1,
    kFILE_KIND_DIRECTORY = 2,
    kFILE_KIND_OTHER = 3
};
kFileKind GetFileKind(FILE* stream);
// The same for a name, without opening it; unknown when it cannot be seen.
kFileKind GetFileKind(const char* name);

// Anything but a regular file (a FIFO, a socket, a character device, a
// pipe) is read whole into memory before it is parsed, to this many bytes
// at most: a file image's size is 32-bit (4 GiB - 1).
constexpr size_t kSTREAM_MOST_BYTES = 0xFFFFFFFFu;
// The error text of every reader given a stream that holds more.
extern const char* const kSTREAM_TOO_LONG_TEXT;

enum kStreamRead
{
    kSTREAM_READ_WHOLE = 0,     // read to its end
    kSTREAM_READ_TOO_LONG = 1,  // it holds more than the bound
    kSTREAM_READ_REFUSED = 2,   // its first bytes were refused
    kSTREAM_READ_FAILED = 3,    // the system could not read it
    kSTREAM_READ_NO_MEMORY = 4  // no room for its bytes
};
// Reads stream from where it stands to its end into bytes (what they held
// replaced), most bytes at most: a byte more is kSTREAM_READ_TOO_LONG, and
// bytes are left empty then, as on every failure but a refusal. With
// accept, the bytes read by the time there are headBytes of them (or the
// stream ended) are shown to it, once; when it refuses them the read stops
// there (kSTREAM_READ_REFUSED, bytes holding them), so that an endless
// device that is no such file is not read on.
kStreamRead ReadStreamWhole(FILE* stream, std::vector<unsigned char>& bytes, size_t most, size_t headBytes = 0,
                            bool (*accept)(const unsigned char* head, size_t length) = nullptr);
// The bound the readers give ReadStreamWhole: kSTREAM_MOST_BYTES (tests
// lower it through kfile_private.h).
size_t StreamMostBytes();

// Reads one line of at most size - 1 characters, ending after "\n", after
// "\r\n" or after a lone "\r" (line ends are kept). Null, with an empty text
// in the buffer, when the stream ended before any character.
char* KFgets(char* buffer, int size, FILE* stream);

// Conversions between the path notations of other platforms: nothing to do
// on this platform; each returns false.
class KPathUtilities
{
public:
    static bool ConvertFromHFSToPOSIX(const char* path, KString& result);
    static bool ConvertFromHFSToWindows(const char* path, KString& result);
    static bool ConvertFromPOSIXToHFS(const char* path, KString& result);
    static bool ConvertFromPOSIXToWindows(const char* path, KString& result);
    static bool ConvertFromWindowsToHFS(const char* path, KString& result);
    static bool ConvertFromWindowsToPOSIX(const char* path, KString& result);
};

#endif
