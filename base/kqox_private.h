#ifndef QOX_BASE_KQOX_PRIVATE_H
#define QOX_BASE_KQOX_PRIVATE_H

// Inner state of KQox, shared by kqox.cpp (files, layers, header, sections),
// kqox_write.cpp (writing) and kqox_read.cpp (indexing and reading).
// Not part of the library's interface.

#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/kbytes.h"
#include "base/kchainedfile.h"
#include "base/kcrcfile.h"
#include "base/kencryptedfile.h"
#include "base/kerror.h"
#include "base/kmappingguard.h"
#include "base/kqox.h"
#include "base/kstring.h"
#include "base/kthreadpool_private.h"

namespace kqox {

// ---- Binary layout (docs/qox-file-format.md) ----
const char kMagic[] = "Tolvane QOX Binary  ";
const int kMagicLength = 20;
const int kHeaderSize = 32; // magic, 0x00 0x1A, form, revision, version, reserved
const int kStopOffset = 20; // 0x00 0x1A: stops text tools at the magic
const unsigned char kStopBytes[2] = {0x00, 0x1A};
const int kFormOffset = 22;
const int kRevisionOffset = 23;
const int kVersionOffset = 24;
const unsigned char kFormBinary = 'B';
const unsigned char kFormEncrypted = 'E';
const unsigned char kHeaderRevision = 1;
const int kSaltOffset = 32; // encrypted form: 16 bytes of salt
const int kSaltSize = 16;
const int kEncryptedBase = 48;               // first enciphered byte
const char kKeyCheck[] = "QOX-KEY-CHECK-V1"; // first enciphered block
const int kKeyCheckSize = 16;
const int kKeySize = 16;
const int kKeyRounds = 256;
const int kCipherBlock = 16; // cipher block: the enciphered region is whole blocks of this size
const int kCheckSize = 4;    // CRC-32 after the last byte
const int kRecordFixed = 23; // kind, name length, count, value bytes, block bytes
const char kField = 'F';
const char kSection = 'S';
const int kSizesOffset = 3;                // in a record, after kind and name length: name, then the sizes
const int kSizesBytes = 20;                // count (4), value bytes (8), block bytes (8)
const unsigned int kMaxIoChunk = 1u << 30; // largest single read or write handed to a layer
const size_t kWindowSize = 256 << 10;      // bytes read at a time for values (binary)
const size_t kTextWindowSize = 64 * 1024;  // the same for ASCII text
const size_t kPartWindowLeast = 64 * 1024; // the least a reader split off a list reads at a time
// Heads this close to the one before are read a run of kDenseRun bytes at a
// time: a run then holds eight heads or more, and copying it costs less than
// a read of each alone, though the value window reads its bytes again (the
// sections of a scene's nodes and takes hold records of a few kilobytes).
// Heads further apart are read alone (kSparsePeek bytes), the bytes between
// left to the value window, so that a section of large records passes from
// the system once.
const long long kDenseHeads = 8192;
const size_t kDenseRun = 64 * 1024;
const size_t kPeekSize = 4 * 1024; // bytes read at a time for end markers (and the most a head read asks)
// A value window asked for a little past the one before starts where that
// one ended: the bytes between (the next record's head) are read with it, so
// that the stretches the check value follows join and its check need not
// read them again.
const long long kWindowSlack = 4 * 1024;
// A binary image read in place: a block entered within this many bytes of
// the check value's front runs through the register first (its bytes are
// then at hand for reading); the rest is run when the value is verified.
const long long kCheckReach = 4ll << 20;
// Bytes read for a record head far from the one before: its fixed bytes with
// a name of up to 36 bytes and, for a section, the version after them.
const size_t kSparsePeek = 64;
const long long kPrefetchBytes = 1024; // bytes of a block asked for from memory before it is indexed
const long long kCacheLine = 64;       // bytes the processor fetches from memory at a time
const size_t kFlushSize = 1 << 20;     // bytes gathered before they go to the body layer
const size_t kLargeWrite = 1 << 20;    // values this large go to the body layer directly
// Large values go down in portions this size: the CRC layer's pass leaves each
// in the cache for the copy into the file.
const unsigned int kDirectChunk = 256 * 1024;

// Writes full output buffers to the body layer on a helper thread from the
// SDK's pool, one buffer at a time, so that the next buffer is filled
// meanwhile. The helper is asked for with the first buffer and let go by
// Stop; while the pool gives none, buffers are written by the caller in
// Start. The body layer is used by no one else while a buffer is in flight:
// Wait first.
class BodyWriter
{
public:
    BodyWriter() = default;
    BodyWriter(const BodyWriter&) = delete;
    BodyWriter& operator=(const BodyWriter&) = delete;
    ~BodyWriter() { Stop(); }

    // Waits for the buffer in flight, then hands n bytes at data (kept by
    // the caller until the next Wait) to body; false when the buffer before
    // did not go out whole (nothing is handed on then).
    bool Start(KChainedFile* body, const unsigned char* data, size_t n);
    // Waits for the buffer in flight; false when it did not go out whole.
    bool Wait();
    // Waits, then lets the helper go.
    void Stop();

private:
    void Run();

    KPoolJobs mHelper;
    bool mRunning = false; // the helper runs Run (guarded by mMutex)
    std::mutex mMutex;
    std::condition_variable mChanged;
    KChainedFile* mBody = nullptr;
    const unsigned char* mData = nullptr;
    size_t mSize = 0;      // bytes in flight; 0: none
    bool mFailed = false;  // the last buffer did not go out whole
    bool mStopped = false; // the helper is to end
};

// ---- Typed arrays: value codes (binary) and letters after "*" (ASCII) ----
const char kArrayByte = 'b';
const char kArrayInt = 'i';
const char kArrayLong = 'l';
const char kArrayFloat = 'f';
const char kArrayDouble = 'd';
const int kArrayHead = 5;                         // binary: code and 32-bit item count
const int kArrayLineItems = 16;                   // ASCII: items a line when they take more than one
const unsigned long long kLargeArrayItems = 1024; // ASCII arrays counted once and kept
const int kArrayItemText = 32;                    // ASCII: room for the text of one item
// ASCII arrays of this many items are converted in slices side by side, the
// text read this many bytes at a time, on at most kMaxSliceThreads threads.
const unsigned long long kSideBySideItems = 256 * 1024;
const size_t kSideBySideText = 8 << 20;
const unsigned kMaxSliceThreads = 4;

inline bool IsArrayCode(int c)
{
    return c == kArrayByte || c == kArrayInt || c == kArrayLong || c == kArrayFloat || c == kArrayDouble;
}

inline size_t ArrayItemSize(char code)
{
    switch (code)
    {
    case kArrayByte: return 1;
    case kArrayInt:
    case kArrayFloat: return 4;
    default: return 8;
    }
}

// ---- ASCII layout ----
const char kAsciiMagic[] = "; Tolvane QOX ASCII ";
const char kAsciiTrailer[] = "; EOF";
const int kIndent = 4;
const int kRawLineBytes = 57; // 76 base64 characters a line

// Characters that may stand unquoted in an ASCII name or value.
inline bool IsBareChar(int c)
{
    if (c < 0x21 || c > 0x7E)
        return false;
    for (const char* p = ":,\"{}[];\\*"; *p; ++p)
        if (c == *p)
            return false;
    return true;
}

// A small read-ahead buffer of the body layer.
struct PeekWindow
{
    std::vector<unsigned char> mBytes;
    long long mPos = 0;
    size_t mLen = 0;
};

// Bytes of a name kept in its record: names this long or shorter are
// compared and handed out from there, with no copy elsewhere.
const size_t kNameHead = 8;

// One record of a list being read.
struct Record
{
    // Provided, so that a record made in place is not zero-filled whole
    // before its members are set (indexing makes one per field read).
    Record() {}

    long long mValuesPos = 0;   // first value (binary: its type code; ASCII: first token)
    long long mValuesEnd = 0;   // just past the last value
    long long mBlockPos = -1;   // first byte of the nested list; -1: no block
    long long mBlockEnd = -1;   // binary: the end marker; ASCII: the closing brace (-1 until found)
    size_t mLength = 0;         // of the name
    size_t mName = 0;           // names longer than kNameHead: the name in the list's name bytes
    unsigned int mCount = 0;    // values
    int mSlot = -1;             // name slot in the list, once the list has slots
    int mNextSame = -1;         // next record with the same kind and name, once the list has slots
    int mVersion = 0;           // sections only
    char mKind = kField;
    // Lists without slots: the record's name was passed over (ended, or a
    // later one of the name made next). Those of one name are always its first ones.
    bool mPassed = false;
    // The name's first kNameHead bytes, zeros after: a C string for a short name.
    unsigned char mHead[kNameHead + 1] = {};

    // NamePrefix of the name.
    unsigned long long Prefix() const { return kbytes::GetLE64(mHead); }
};

// All records of one kind and name in a list, as a chain, with the read
// cursor. The first record holds the name.
struct Slot
{
    size_t mHash = 0; // of kind and name (SlotHash), once the list indexes its slots by hash
    int mFirst = -1;
    int mLast = -1;
    int mCursor = -1; // next record to be found; -1 once all are read
    int mCount = 0;
};

// An ASCII block passed over: its opening and closing braces.
struct Brace
{
    long long mOpen = 0;
    long long mClose = -1;
};

// A place in the text of a large ASCII array: how many items start before
// it, and whether it lies inside an item (whose rest is skipped there) or
// inside a comment (which runs on to its line end).
struct ArrayMark
{
    long long mPos = 0;
    unsigned long long mSeen = 0;
    bool mInItem = false;
    bool mInComment = false;
};

// A file's bytes mapped read-only into memory, unmapped at destruction or
// on the next Map or Unmap.
class MappedFile
{
public:
    MappedFile() = default;
    ~MappedFile() { Unmap(); }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Maps the regular file of that name when it holds exactly size bytes;
    // null (nothing mapped) otherwise or where mapping is not to be had.
    const unsigned char* Map(const char* fileName, unsigned long long size);
    void Unmap();
    // Whether the file lost pages while mapped (it shrank under the reader,
    // or could not be read): those read as zeros (see KMappingGuard).
    bool Spoilt() const { return mGuard.Spoilt(); }

private:
    void* mData = nullptr;
    size_t mSize = 0;
    KMappingGuard mGuard;
};

// A large ASCII array counted once (when its list is indexed, or when a
// block holding it is passed over): where its "*" is, where its items start
// and end, and how many there are, so that it is not counted again.
struct ArrayExtent
{
    long long mHead = 0;
    long long mItems = 0;
    long long mEnd = 0;
    unsigned long long mCount = 0;
    char mCode = 0;
    // Arrays of kSideBySideItems or more: places in their text, in order,
    // where they are converted in slices side by side.
    std::vector<ArrayMark> mMarks;
};

// A list being read: the top-level list, a block or a section.
//
// Entering a list records its fields and nothing more: most lists hold a few
// fields read in the order they were written. Each name's read cursor is
// then the first of its records not passed over (Record::mPassed), found by
// a search from mPassedBelow. A list gets slots (one chain and cursor per
// name, found by hash past kLinearSlots names) once a lookup would search
// more than kLinearRecords records; the cursors are taken over from the
// passed records then.
struct ReadList
{
    long long mStart = 0;
    long long mEnd = 0; // ASCII: -1 until the block's closing brace is found
    // ASCII lists are indexed as far as they are asked for: records are
    // added up to the first whose block's end is not known yet (mPending),
    // and indexing goes on past that block once its end is found, by reading
    // the block or by passing over it. mBound: no text of the list lies past it.
    bool mOpen = false;
    long long mBound = 0;
    int mPending = -1;
    long long mPendingOpen = -1; // its opening brace
    std::vector<Record> mRecords;
    std::vector<int> mSections; // records that are sections, in file order
    std::vector<Slot> mSlots;
    bool mSlotted = false; // the slots are made; the cursors are theirs
    // Names longer than kNameHead one after the other, each with a
    // terminator (a run of one name is kept once); their storage kept for
    // the next list (no allocation per name).
    std::vector<char> mNames;
    // Slots by hash once a list has more than kLinearSlots of them (open
    // addressing, a power of two of entries, -1 empty); below that the slots
    // are searched in order, which costs less than hashing into a table.
    std::vector<int> mSlotTable;
    int mLastSlot = -1; // slot found or added last: names come in runs
    // Lists without slots: every record before this one is passed over.
    int mPassedBelow = 0;
    // The record after the field last made current: callers mostly ask for
    // the fields in the order they were written, so it is tried first.
    int mNext = 0;
    // One bit per name (NameBit): a name whose bit is clear has no record,
    // so asking for the optional fields a list lacks costs no search.
    unsigned long long mNameBits = 0;
    // Current field and its value cursor.
    int mCurrent = -1;
    long long mValuePos = 0;
    long long mValueEnd = 0;
    unsigned int mRemain = 0;
    // Where this list comes from.
    int mOwner = -1; // record of the parent list owning this block
    bool mIsSection = false;
    int mVersion = 0;
    int mSectionIndex = -1; // section: its index among the parent list's sections

    // The name of a record, with its terminator (valid while the list lives).
    const char* NameOf(const Record& record) const
    {
        return record.mLength <= kNameHead ? reinterpret_cast<const char*>(record.mHead) : mNames.data() + record.mName;
    }
    // Whether a record has that kind and name; prefix is NamePrefix(name, length).
    bool Is(const Record& record, char kind, const char* name, size_t length, unsigned long long prefix) const
    {
        return record.Prefix() == prefix && record.mLength == length && record.mKind == kind &&
               (length <= kNameHead ||
                std::memcmp(mNames.data() + record.mName + kNameHead, name + kNameHead, length - kNameHead) == 0);
    }
    bool Is(const Slot& slot, char kind, const char* name, size_t length, unsigned long long prefix) const
    {
        return Is(mRecords[static_cast<size_t>(slot.mFirst)], kind, name, length, prefix);
    }

    // Back to an empty list, keeping the storage for the next list entered.
    void Reset()
    {
        mStart = mEnd = 0;
        mOpen = false;
        mBound = 0;
        mPending = -1;
        mPendingOpen = -1;
        mRecords.clear();
        mSections.clear();
        mSlots.clear();
        mSlotted = false;
        mNames.clear();
        mSlotTable.clear();
        mLastSlot = -1;
        mPassedBelow = 0;
        mNext = 0;
        mNameBits = 0;
        mCurrent = -1;
        mValuePos = mValueEnd = 0;
        mRemain = 0;
        mOwner = -1;
        mIsSection = false;
        mVersion = 0;
        mSectionIndex = -1;
    }
};

// Slots a list searches in order before it indexes them by hash.
const size_t kLinearSlots = 8;
// Records a list without slots searches for a name; a search that would
// go further makes the slots.
const int kLinearRecords = 16;
// Lists kept for reuse once left (reading enters and leaves one per block).
const size_t kSpareLists = 64;

// FNV-1a of the record kind and the name.
inline size_t SlotHash(char kind, const char* name, size_t length)
{
    unsigned long long h = 14695981039346656037ull ^ static_cast<unsigned char>(kind);
    h *= 1099511628211ull;
    for (size_t i = 0; i < length; ++i)
    {
        h ^= static_cast<unsigned char>(name[i]);
        h *= 1099511628211ull;
    }
    return static_cast<size_t>(h ^ (h >> 29));
}

// The first eight bytes of a name (fewer: zeros after), read without
// passing its end: two names of up to eight bytes and the same length are
// the same when their prefixes are.
inline unsigned long long NamePrefix(const char* name, size_t length)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(name);
    if (length >= 8)
        return kbytes::GetLE64(p);
    if (length >= 4)
        return kbytes::GetLE32(p) |
               (static_cast<unsigned long long>(kbytes::GetLE32(p + length - 4)) << (8 * (length - 4)));
    if (length == 0)
        return 0;
    return p[0] | (static_cast<unsigned long long>(p[length / 2]) << (8 * (length / 2))) |
           (static_cast<unsigned long long>(p[length - 1]) << (8 * (length - 1)));
}

// The length and NamePrefix of a name given as a C string.
inline unsigned long long NameKey(const char* name, size_t& length)
{
    length = std::strlen(name);
    return NamePrefix(name, length);
}

// The bit of ReadList::mNameBits standing for a kind and name.
inline unsigned long long NameBit(char kind, const char* name, size_t length)
{
    const unsigned first = length > 0 ? static_cast<unsigned char>(name[0]) : 0;
    const unsigned last = length > 0 ? static_cast<unsigned char>(name[length - 1]) : 0;
    return 1ull << ((length * 13 + first * 7 + last + static_cast<unsigned char>(kind)) & 63);
}

// A list being written.
struct WriteList
{
    enum
    {
        eNone = 0,
        eOpen = 1,
        eBlockDone = 2
    };
    int mState = eNone;
    long long mFieldHeader = 0; // header of the open field
    long long mFieldValues = 0; // its first value byte
    unsigned int mCount = 0;
    long long mOwnerHeader = -1; // block-size bytes of the record owning this list
    long long mBlockStart = 0;
    bool mIsSection = false;
    int mVersion = 0;
    int mSectionIndex = -1;                             // section: its index among the parent list's sections
    std::vector<std::pair<std::string, int>> mSections; // sections written in this list: name, version
};

// A value decoded for conversion.
struct Value
{
    char mType = 0; // 'C', 'I', 'L', 'F', 'D', 'S', 'R', arrays 'b' 'i' 'l' 'f' 'd'; ASCII: 'T' text, 'Q' quoted
    // Raw values and arrays: mRawPos is the first byte or item text, mRawSize
    // the byte count (raw) or item count (array).
    long long mInt = 0;
    double mDouble = 0.0;
    std::string mText;
    long long mRawPos = 0; // raw: first byte (binary) or first base64 character (ASCII)
    unsigned long long mRawSize = 0;
};

} // namespace kqox

struct KQoxPrivate
{
    enum EMode
    {
        eClosed = 0,
        eReading = 1,
        eWriting = 2
    };

    KQoxPrivate();
    ~KQoxPrivate();

    // ---- files and layers (kqox.cpp) ----
    void ResetFile();
    void DeleteLayers();
    // The name given and the folder of its full path; std::bad_alloc when
    // either lost its text for want of memory.
    void SetFileName(const char* fileName);
    bool Fail(int code);
    // Fail, the text naming cause after the code's own ("File not opened:
    // no such file"; see base/kfilecause.h).
    bool FailCause(int code, const char* cause);
    // Opens a file on disk (fileName) or in the caller's buffer (fileName
    // null). exclusive: the file on disk must not exist yet.
    bool Create(const char* fileName, void* buffer, unsigned int capacity, KQox::EForm form, int version,
                const char* password, bool exclusive = false);
    bool CreateCommon(KQox::EForm form, int version, const char* password);
    // image: the caller's file image when opened on one (read in place).
    // ASCII text is read in place, from the caller's image or the file's
    // mapping (off: through the window, as when no mapping is to be had).
    static bool sTextInPlace;
    // An ASCII file of the name mapName is read in place from its mapping.
    bool OpenCommon(const char* password, bool checkIntegrity, const void* image = nullptr,
                    const char* mapName = nullptr);
    // A FIFO, socket or device: its bytes are read once into mStreamBytes
    // (a stream cannot be read at random), which is then read as an image.
    bool OpenStream(const char* fileName, const char* password, bool checkIntegrity);
    // Reads the whole stream into mStreamBytes (ReadStreamWhole):
    // eFILE_CORRUPTED as soon as its first bytes are no file's (a device of
    // endless bytes stops there), eFILE_NOT_OPENED when it cannot be read,
    // and with kSTREAM_TOO_LONG_TEXT when it holds more than the bound.
    bool ReadStream(FILE* stream);
    bool OpenBinary(const unsigned char* header, const char* password, bool checkIntegrity);
    bool OpenAscii();
    bool CheckVersion(long long version);
    bool CloseWrite();
    static void DeriveKey(const char* password, const unsigned char* salt, unsigned char* key);

    // ---- byte sink (kqox_write.cpp) ----
    long long Tell() const { return mOutBase + static_cast<long long>(mOutLen); }
    void Put(const void* data, size_t n)
    {
        if (n < kqox::kLargeWrite && mOutLen + n <= kqox::kFlushSize)
        {
            std::memcpy(&mOut[mOutLen], data, n);
            mOutLen += n;
            return;
        }
        PutSlow(data, n);
    }
    void PutSlow(const void* data, size_t n);
    void PutByte(unsigned char c) { Put(&c, 1); }
    void PutText(const char* text);
    void PutFormat(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // Hands the buffer on (to the body writer for a file on disk) and
    // starts it again; false once a write failed.
    bool FlushOut();
    // Waits for the buffer the body writer has: the body layer may be used
    // directly then. False once a write failed.
    bool WaitOut();
    // WaitOut, then the buffer written at once: every byte so far is
    // through the body layer.
    bool SyncOut();
    // The buffer handed to the body writer (files on disk, unless sync) or
    // written at once; empty again after. False once a write failed.
    bool HandOut(bool sync);
    bool Patch(long long position, const void* data, size_t n);
    void PutIndent(size_t depth);
    void PutAsciiString(const char* text, size_t n);
    void PutAsciiName(const char* name);
    void PutAsciiChar(char c);
    void PutRawBegin(unsigned long long size);
    void PutRawChunk(const unsigned char* data, size_t n, unsigned long long& done, unsigned long long size);

    // ---- writing (kqox_write.cpp) ----
    bool CanWrite();
    bool ValueBegin();
    void ValueEnd();
    bool BeginRecord(char kind, const char* name);
    bool EndField();
    bool EndBlock(bool section);
    bool EndAllWrites();
    int WriteVersion() const;

    // ---- byte source (kqox_read.cpp) ----
    // A binary file image in the caller's memory is read in place: the
    // window is the whole body. Null: read through the layers.
    void UseImage(const unsigned char* image);
    void UseImageWindow()
    {
        mWindow = mImage;
        mInPos = 0;
        mInLen = static_cast<size_t>(mLimit);
    }
    // Runs the check value's register over the image up to end (the bytes
    // before are run already).
    void CheckUpTo(long long end);
    // Verifies the check value of a file read in place.
    bool CheckImage();
    // Refills the value window to hold position (and need bytes from it
    // when they fit); false when nothing can be read there.
    bool Fill(long long position, size_t need = 1);
    bool ReadAt(long long position, void* data, size_t n);
    int CharAt(long long position)
    {
        if (position >= mInPos && position < mInPos + static_cast<long long>(mInLen))
            return mWindow[static_cast<size_t>(position - mInPos)];
        return CharAtSlow(position);
    }
    int CharAtSlow(long long position);
    // The bytes from position up to end (at most a window's worth) as one
    // run, through the value window (refilled when position lies outside
    // it); n is their number. Null when nothing can be read there.
    const unsigned char* SpanAt(long long position, long long end, size_t& n);
    // n bytes at position in the value window (refilled when needed); null
    // when they cannot be read.
    const unsigned char* WindowAt(long long position, size_t n);
    // dense: the heads of the list lie close together; they are read a
    // run of kDenseRun bytes at a time.
    bool ReadIndexAt(long long position, void* data, size_t n, bool backwards, bool dense = false);
    // Whether a time value holds ticks: binary files tell by its type ('L'),
    // ASCII files by the version of the section it is in.
    bool TimeIsTicks(char type, int sectionVersion) const
    {
        return mForm == KQox::eASCII ? sectionVersion > KQox::eSECONDS_TIME_VERSION : type == 'L';
    }

    // ---- indexing and reading (kqox_read.cpp) ----
    bool IndexList(kqox::ReadList& list, bool topLevel);
    bool IndexBinary(kqox::ReadList& list, bool topLevel);
    // Indexes the next records of an open ASCII list (see ReadList::mOpen).
    bool IndexAscii(kqox::ReadList& list);
    // Ends the indexing of a list at damage, reported.
    bool IndexFailed(kqox::ReadList& list);
    // ASCII: indexes more of an open list; false when it has no more records
    // (corrupted text is reported).
    bool IndexMore(kqox::ReadList& list);
    // ASCII: indexes the rest of a list; false (reported) on corrupted text.
    bool IndexAll(kqox::ReadList& list);
    // The end of a list whose records are all indexed, given to the record
    // of its parent that owns it.
    void GiveEndToOwner(const kqox::ReadList& list);
    // Passes over the rest of an ASCII block from within it (from), to its
    // closing brace (close); the blocks and large arrays inside are kept.
    bool SkipAsciiBlock(long long from, long long bound, long long& close);
    // The closing brace of the block opened at open when it was passed over; -1 otherwise.
    long long KnownClose(long long open);
    // At the "*" of an ASCII value: a large array's items are counted and its
    // extent kept, or the kept one found (position moves past its items);
    // null and position moved past the "*" for anything else.
    const kqox::ArrayExtent* NoteLargeArray(long long& position, long long end);
    // The large array whose "*" is at head, if it was counted already.
    const kqox::ArrayExtent* FindLargeArray(long long head) const;
    static bool TopLevelEndOk(KQox::EForm form, long long limit, const kqox::ReadList& root);
    bool KeyCheckDamaged();
    // The slot of a kind and name in a list with slots; null when none.
    static kqox::Slot* FindSlot(kqox::ReadList& list, char kind, const char* name, size_t length,
                                unsigned long long prefix);
    static int FindSlotIndex(const kqox::ReadList& list, char kind, const char* name, size_t length,
                             unsigned long long prefix, size_t hash);
    static void IndexSlots(kqox::ReadList& list);
    // Makes the slots of a list, their cursors taken from the records passed over.
    static void MakeSlots(kqox::ReadList& list);
    // Adds a list's record (its last but any) to the slots.
    static void SlotRecord(kqox::ReadList& list, int index);
    // The record a lookup of a kind and name finds (the name's cursor); -1
    // when none. prefix is NamePrefix(name, length). Names the list lacks
    // are mostly refused by their bit, before a call.
    static int FindCursor(kqox::ReadList& list, char kind, const char* name, size_t length, unsigned long long prefix);
    // FindCursor over the records of a list indexed so far, indexing more
    // of an open ASCII list until the name is found or none is left.
    int Lookup(kqox::ReadList& list, char kind, const char* name, size_t length, unsigned long long prefix);
    int Lookup(kqox::ReadList& list, char kind, const char* name)
    {
        if (!name)
            name = "";
        size_t length;
        const unsigned long long prefix = kqox::NameKey(name, length);
        return Lookup(list, kind, name, length, prefix);
    }
    // Moves the cursor of a record's name to the record of that name after it.
    static void PassRecord(kqox::ReadList& list, int record)
    {
        if (list.mSlotted || record != list.mPassedBelow)
            return PassRecordElsewhere(list, record);
        // The first record not passed over (fields read in the order they
        // were written): those of its name before it are passed.
        const int count = static_cast<int>(list.mRecords.size());
        list.mRecords[static_cast<size_t>(record)].mPassed = true;
        while (++list.mPassedBelow < count && list.mRecords[static_cast<size_t>(list.mPassedBelow)].mPassed)
        {}
    }
    static void PassRecordElsewhere(kqox::ReadList& list, int record);
    // Records of a kind and name in a list.
    static int CountOf(kqox::ReadList& list, char kind, const char* name);
    // Gives the list's last record its name (padded: eight bytes can be
    // read from name however short it is); false when the list is full.
    // Inline in kqox_read.cpp, the only user: indexing calls it per record.
    static bool AddName(kqox::ReadList& list, kqox::Record& record, const char* name, size_t length, bool padded);
    // A list to index: a spare one when there is one. PopList leaves the
    // innermost list and keeps it as a spare.
    std::unique_ptr<kqox::ReadList> NewList();
    void PopList();
    bool EnterBlock(int record, bool section, int sectionIndex);
    // ASCII: before a section of list is read, its block's braces are paired
    // and the list is indexed up to its next section (or its end), so that
    // a brace too many or too few inside the section is found before any of
    // it is read. False (reported) on damage.
    bool CheckAsciiSection(kqox::ReadList& list, int record);
    // The innermost list (null when none), kept at hand: every read asks for it.
    kqox::ReadList* Top()
    {
        return mTop;
    }
    // Called whenever the read stack changes.
    void StackChanged()
    {
        mTop = mReadStack.empty() ? nullptr : mReadStack.back().get();
    }
    // The innermost list when it has a field current; null otherwise.
    kqox::ReadList* Current()
    {
        kqox::ReadList* list = mTop;
        return mMode == eReading && list && list->mCurrent >= 0 ? list : nullptr;
    }
    bool Corrupted();
    bool NextValue(kqox::Value& value);
    // The next value of the current field when it is a binary scalar of that
    // type code and size (code included) lying whole in the value window:
    // its payload, the value taken. Null (nothing taken) otherwise, for
    // NextValue to decode, convert or refuse it.
    const unsigned char* NextScalarInWindow(char type, long long size)
    {
        kqox::ReadList* list = Current();
        if (!list || list->mRemain == 0 || mForm == KQox::eASCII)
            return nullptr;
        const long long position = list->mValuePos;
        if (position < mInPos || position + size > mInPos + static_cast<long long>(mInLen) ||
            position + size > list->mValueEnd)
            return nullptr;
        const unsigned char* head = mWindow + static_cast<size_t>(position - mInPos);
        if (static_cast<char>(head[0]) != type)
            return nullptr;
        list->mValuePos = position + size;
        --list->mRemain;
        return head + 1;
    }
    // The next value of the current field when it is a binary text lying
    // whole in the value window: copied out with its terminator (valid
    // until the next text is read), the value taken. Null (nothing taken)
    // otherwise, for NextValue to decode or convert it.
    const char* NextTextInWindow()
    {
        kqox::ReadList* list = Current();
        if (!list || list->mRemain == 0 || mForm == KQox::eASCII)
            return nullptr;
        const long long position = list->mValuePos;
        const long long windowEnd = mInPos + static_cast<long long>(mInLen);
        if (position < mInPos || position + 5 > windowEnd || position + 5 > list->mValueEnd)
            return nullptr;
        const unsigned char* head = mWindow + static_cast<size_t>(position - mInPos);
        if (head[0] != 'S')
            return nullptr;
        const long long length = static_cast<long long>(kbytes::GetLE32(head + 1));
        const long long end = position + 5 + length;
        if (end > windowEnd || end > list->mValueEnd)
            return nullptr;
        const size_t n = static_cast<size_t>(length);
        if (mTextBytes.size() <= n)
            mTextBytes.resize(n + 1 > 64 ? n + 1 : 64);
        std::memcpy(mTextBytes.data(), head + 5, n);
        mTextBytes[n] = 0;
        list->mValuePos = end;
        --list->mRemain;
        return mTextBytes.data();
    }
    bool PeekValue(kqox::Value& value);
    bool ReadBinaryValue(long long& position, long long end, kqox::Value& value, bool decodeText);
    bool ReadAsciiValue(long long& position, long long end, kqox::Value& value, bool decodeText);
    bool SkipAsciiValue(long long& position, long long end);
    bool SkipAsciiSeparator(long long& position, long long end);
    bool SkipAsciiSpaces(long long& position, long long end);
    void SkipBare(long long& position, long long end, std::string* text);
    bool ReadAsciiName(long long& position, long long end, std::string& name, int closing);
    bool ReadAsciiQuoted(long long& position, long long end, std::string* text);
    bool ReadRawValue(const kqox::Value& value, void* buffer, unsigned long long size, KFile* file);
    bool ReadAsciiArrayHead(long long& position, long long end, kqox::Value& value,
                            std::vector<kqox::ArrayMark>* marks = nullptr);
    int ReadVersion() const;
    // The list the section calls work on (index in the read stack) and the
    // index in it of the section being read from it (-1 when none).
    size_t ReadSectionList(int& current);
    size_t WriteSectionList(int& current) const;
    // The sections of the current section list, written or read alike:
    // their number, and the name and version of one (false out of range).
    int SectionCount();
    // Whether the section list has that section (indexing it as far as needed).
    bool HasSection(int section);
    bool SectionAt(int section, const char*& name, int& version);

    // ---- state ----
    KError mError;
    KString mFileName;
    KString mFilePath;
    std::unordered_set<std::string> mFullFilePaths; // every text GetFullFilePath handed out
    int mMode = eClosed;
    KQox::EForm mForm = KQox::eBINARY;
    int mVersion = 0;
    bool mMemory = false;
    unsigned long long mFileSize = 0;
    // The bytes of a stream opened by name (OpenStream), read as an image.
    std::vector<unsigned char> mStreamBytes;

    // Layers, bottom to top; none owns the one below, so they are released top first.
    std::unique_ptr<KChainedFile> mBottom;
    std::unique_ptr<KCrcFile> mCrc;
    std::unique_ptr<KEncryptedFile> mCipher;
    KChainedFile* mBody = nullptr; // layer the body goes through (one of the above)
    unsigned char mKey[kqox::kKeySize];

    // Writing.
    std::unique_ptr<unsigned char[]> mOut;   // kFlushSize bytes not yet handed to the body layer
    std::unique_ptr<unsigned char[]> mSpare; // the buffer the body writer may be writing
    kqox::BodyWriter mBodyWriter;
    // Texts of the portions of large ASCII arrays, made on several threads;
    // kept for the next array, with the bytes each has room for.
    std::vector<std::pair<std::unique_ptr<char[]>, size_t>> mPortionTexts;
    size_t mOutLen = 0;
    long long mOutBase = 0;
    bool mWriteFailed = false;
    unsigned char* mMemBuffer = nullptr;
    unsigned int mMemCapacity = 0;
    std::vector<kqox::WriteList> mWriteStack;

    // Reading.
    std::vector<unsigned char> mIn; // the window's storage when read through the layers
    const unsigned char* mWindow = nullptr;
    // Read in place: the caller's image of the file, or the mapped text of
    // an ASCII file (null otherwise).
    const unsigned char* mImage = nullptr;
    kqox::MappedFile mMapped;
    // The check value's register over the image's bytes before mCheckFront.
    unsigned int mCheckRegister = 0xFFFFFFFFu;
    long long mCheckFront = 0;
    long long mInPos = 0;
    size_t mInLen = 0;
    long long mLimit = 0;
    long long mBodyStart = 0;
    long long mTrailerPos = 0;
    kqox::PeekWindow mHeadWindow; // record headers
    kqox::PeekWindow mMarkWindow; // end markers of blocks
    std::vector<std::unique_ptr<kqox::ReadList>> mReadStack;
    kqox::ReadList* mTop = nullptr; // mReadStack's last list
    std::vector<std::unique_ptr<kqox::ReadList>> mSpareLists;
    // ASCII blocks passed over before they were read, by the place of their
    // opening brace, so that indexing them later finds their ends at once.
    std::vector<kqox::Brace> mBraces;
    size_t mBraceHint = 0;                  // the entry after the one found last
    std::vector<size_t> mOpenBraces;        // entries of the blocks a pass is in
    // ASCII: damage was met in the text. Lists indexed since stay refused
    // and the integrity check fails, whatever errors were cleared meanwhile.
    bool mTextDamaged = false;
    std::string mIndexName;                 // storage of the name a record is indexed under
    std::vector<kqox::ArrayExtent> mArrays; // large ASCII arrays, by position
    std::string mText;                      // last text read
    std::vector<char> mTextBytes;           // last text read whole from the window
    kqox::Value mTextValue;                 // the value a text is decoded into (its storage reused)
    // The last value peeked at: its position and list end, and the value.
    // Asking again for the same position (type, count, then the read of a
    // large array) decodes it once. Dropped with the file.
    long long mPeekPos = -1;
    long long mPeekEnd = -1;
    kqox::Value mPeekValue;
};

#endif
