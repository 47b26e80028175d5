#include "formats/obj/kqoxobjscan.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "base/kmemorypool.h"
#include "base/knumbertext.h"
#include "base/ktextfile.h"
#include "formats/kqoxplaindecimal.h"
#include "formats/obj/kqoxobjarray.h"

#ifdef __linux__
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qoxsdk_600 {

namespace {

const size_t kBlockSize = 1 << 20;
// Blocks from this size on are mapped from the system.
const size_t kMappedBlock = size_t(1) << 20;

} // namespace

void* ObjBlockResize(void* block, size_t oldBytes, size_t newBytes)
{
#ifdef __linux__
    if (newBytes >= kMappedBlock)
    {
        // Large pages asked for over the whole mapping, so that it stays one
        // portion that mremap can move, and before anything is written: a
        // page range written in small pages stays in small pages.
        auto adviseLargePages = [newBytes](void* at) {
#ifdef MADV_HUGEPAGE
            madvise(at, newBytes, MADV_HUGEPAGE);
#else
            (void)at;
#endif
        };
        void* mapped = MAP_FAILED;
        if (block && oldBytes >= kMappedBlock)
        {
            mapped = mremap(block, oldBytes, newBytes, MREMAP_MAYMOVE);
            if (mapped != MAP_FAILED)
                adviseLargePages(mapped);
        }
        else
        {
            mapped = mmap(nullptr, newBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (mapped != MAP_FAILED)
            {
                adviseLargePages(mapped);
                if (block)
                {
                    std::memcpy(mapped, block, oldBytes < newBytes ? oldBytes : newBytes);
                    std::free(block);
                }
            }
        }
        return mapped == MAP_FAILED ? nullptr : mapped;
    }
    if (block && oldBytes >= kMappedBlock)
    {
        // Shrinking below the mapped size: back to malloc.
        void* small = std::malloc(newBytes ? newBytes : 1);
        if (!small)
            return nullptr;
        std::memcpy(small, block, newBytes);
        munmap(block, oldBytes);
        return small;
    }
#else
    (void)oldBytes;
#endif
    return std::realloc(block, newBytes ? newBytes : 1);
}

void* ObjHeapResize(void* block, size_t oldBytes, size_t newBytes)
{
    void* grown = std::realloc(block, newBytes ? newBytes : 1);
    // The bytes grown are about to be written: large pages where the system
    // offers them, as for the mapped blocks.
    if (grown && newBytes > oldBytes)
        kAdviseLargePages(static_cast<char*>(grown) + oldBytes, newBytes - oldBytes);
    return grown;
}

void ObjBlockFree(void* block, size_t bytes)
{
    if (!block)
        return;
#ifdef __linux__
    if (bytes >= kMappedBlock)
    {
        munmap(block, bytes);
        return;
    }
#else
    (void)bytes;
#endif
    std::free(block);
}

bool ObjBlockDropPages(void* block, size_t blockBytes, size_t from, size_t to)
{
#if defined(__linux__) && defined(MADV_DONTNEED)
    if (!block || blockBytes < kMappedBlock)
        return false;
    // Mapped blocks start on a page: whole pages from the first one starting
    // at or after from to the last one ending at or before to (in the
    // system's page size, which may exceed kObjPageBytes).
    static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t first = (from + page - 1) / page * page;
    const size_t end = to / page * page;
    if (end > first)
        madvise(static_cast<char*>(block) + first, end - first, MADV_DONTNEED);
    return true;
#else
    (void)block;
    (void)blockBytes;
    (void)from;
    (void)to;
    return false;
#endif
}

#if defined(__linux__) && defined(MREMAP_FIXED)
#ifdef MREMAP_DONTUNMAP
const int kMremapDontUnmap = MREMAP_DONTUNMAP;
#else
const int kMremapDontUnmap = 4; // the system's value, where headers lack it
#endif
#endif

EObjMove ObjMovePages(void* from, void* into, size_t pages)
{
#if defined(__linux__) && defined(MREMAP_FIXED)
    static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t bytes = pages * kObjPageBytes;
    if (page != kObjPageBytes || pages == 0 || reinterpret_cast<uintptr_t>(from) % page != 0 ||
        reinterpret_cast<uintptr_t>(into) % page != 0)
        return EObjMove::eNOT_MOVED;
    // The list's range stays mapped (empty pages where the moved ones were):
    // a hole there could be taken by another mapping (a new thread's
    // stack, a block of malloc's) that freeing the list would then unmap.
    // Systems that cannot leave it mapped refuse before touching anything.
    if (mremap(from, bytes, bytes, MREMAP_MAYMOVE | MREMAP_FIXED | kMremapDontUnmap, into) == into)
        return EObjMove::eMOVED;
    // A refusal may come after the pages at into were unmapped: fresh ones
    // there again, as unwritten as they were.
    void* fresh = mmap(into, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    return fresh == into ? EObjMove::eNOT_MOVED : EObjMove::eLOST;
#else
    (void)from;
    (void)into;
    (void)pages;
    return EObjMove::eNOT_MOVED;
#endif
}

bool ObjRoomForMoves(size_t moves)
{
#if defined(__linux__) && defined(MREMAP_FIXED)
    // Each move may split the mappings at both ends into three; the rest of
    // the process (other readers on other threads) is left a wide margin.
    const size_t kMappingsPerMove = 4;
    const size_t kMargin = 4096;
    long bound = 0;
    if (FILE* limit = std::fopen("/proc/sys/vm/max_map_count", "r"))
    {
        if (std::fscanf(limit, "%ld", &bound) != 1)
            bound = 0;
        std::fclose(limit);
    }
    const int maps = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (bound <= 0 || maps < 0)
    {
        if (maps >= 0)
            close(maps);
        return false;
    }
    size_t lines = 0;
    char buffer[1 << 16];
    for (;;)
    {
        const ssize_t n = read(maps, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        lines += static_cast<size_t>(std::count(buffer, buffer + n, '\n'));
    }
    close(maps);
    return lines + moves * kMappingsPerMove + kMargin <= static_cast<size_t>(bound);
#else
    (void)moves;
    return false;
#endif
}

std::string_view ObjTrimRight(std::string_view text)
{
    size_t n = text.size();
    while (n > 0 && ObjIsSpace(text[n - 1]))
        --n;
    return text.substr(0, n);
}

std::string_view ObjTrim(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && ObjIsSpace(text[i]))
        ++i;
    return ObjTrimRight(text.substr(i));
}

KObjStatementReader::KObjStatementReader(FILE* file, bool joinContinuations, size_t blockSize)
    : mFile(file)
    , mJoin(joinContinuations)
    , mBlockSize(blockSize < kBlockSize ? kBlockSize : blockSize)
{
    mKeyword[0] = 0;
}

KObjStatementReader::~KObjStatementReader()
{
    WaitAhead();
    UnmapFile();
}

void KObjStatementReader::SetFile(FILE* file)
{
    mLinesEnd = 0;
    mUnreadable = false;
    WaitAhead();
    UnmapFile();
    mMapTried = false;
    mFile = file;
    mPos = mEnd = mConsumed = mScan = 0;
    mEof = mReadFailed = mOutOfMemory = false;
}

void KObjStatementReader::Rewind()
{
    mLinesEnd = 0;
    mUnreadable = false;
    WaitAhead();
    if (mFile)
        rewind(mFile);
    SetFile(mFile);
}

namespace {

// Grows a buffer to size bytes, the new ones unset since they are read into
// at once; false when memory runs out.
bool GrowTo(KObjPodArray<char>& buffer, size_t size)
{
    return buffer.extend(size - buffer.size());
}

} // namespace

bool KObjStatementReader::MapFile()
{
#ifdef __linux__
    struct stat status;
    const int descriptor = fileno(mFile);
    if (mEnd != 0 || mConsumed != 0 || descriptor < 0 || fstat(descriptor, &status) != 0 ||
        !S_ISREG(status.st_mode) || status.st_size <= 0 || ftell(mFile) != 0)
        return false;
    const size_t bytes = static_cast<size_t>(status.st_size);
    void* mapped = mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE, descriptor, 0);
    if (mapped == MAP_FAILED)
        return false;
    madvise(mapped, bytes, MADV_SEQUENTIAL);
    mGuard.Hold(mapped, bytes);
    mMapped = static_cast<const char*>(mapped);
    mMappedBytes = bytes;
    mPos = mScan = mDropped = 0;
    mEnd = bytes;
    mEof = true; // every byte is at hand
    return true;
#else
    return false;
#endif
}

void KObjStatementReader::UnmapFile()
{
    mLinesEnd = 0;
    mGuard.Release();
#ifdef __linux__
    if (mMapped)
        munmap(const_cast<char*>(mMapped), mMappedBytes);
#endif
    mMapped = nullptr;
}

void KObjStatementReader::DropConsumedPages()
{
#ifdef __linux__
    // Whole pages only; the mapping starts on one.
    static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t end = mPos / page * page;
    if (end > mDropped)
        madvise(const_cast<char*>(mMapped) + mDropped, end - mDropped, MADV_DONTNEED);
    mDropped = end;
#endif
}

void KObjStatementReader::DropReadPages(size_t keep)
{
#ifdef __linux__
    static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    // Not past the mapping's last page: another mapping may follow it.
    const size_t end = std::min((mPos + page) / page * page, (mMappedBytes + page - 1) / page * page);
    const size_t kept = keep / page * page;
    char* const base = const_cast<char*>(mMapped);
    if (kept > mDropped)
        madvise(base + mDropped, std::min(kept, end) - mDropped, MADV_DONTNEED);
    const size_t after = std::max(mDropped, kept + page);
    if (end > after)
        madvise(base + after, end - after, MADV_DONTNEED);
#else
    (void)keep;
#endif
}

bool KObjStatementReader::Seek(size_t position)
{
    mLinesEnd = 0;
    mUnreadable = false;
    WaitAhead();
    if (mMapped)
    {
        // In place: the pages read since the last move are given back, as
        // the reading goes elsewhere.
        const bool within = position <= mMappedBytes;
        DropReadPages(within ? position : mMappedBytes);
        mPos = mScan = within ? position : mMappedBytes;
#ifdef __linux__
        static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        mDropped = mPos / page * page;
#endif
        return within;
    }
    if (!mFile)
        return false;
    clearerr(mFile);
    const bool placed = fseeko(mFile, static_cast<off_t>(position), SEEK_SET) == 0;
    // The buffer starts empty at position; a file not mapped yet is mapped
    // only when that is its start.
    mPos = mEnd = mScan = 0;
    mConsumed = position;
    mEof = mReadFailed = !placed;
    return placed;
}

bool KObjStatementReader::Fill()
{
    if (!mMapTried && mFile && !mEof)
    {
        // A regular file is read in place, without copying its bytes.
        mMapTried = true;
        if (MapFile())
            return true;
    }
    if (mEof || !mFile)
        return false;
    if (mAheadPending)
        return TakeAhead();
    if (mPos > 0)
    {
        std::memmove(mBuffer.data(), mBuffer.data() + mPos, mEnd - mPos);
        mEnd -= mPos;
        mScan -= mPos;
        mConsumed += mPos;
        mPos = 0;
    }
    if (mBuffer.size() - mEnd < mBlockSize / 2 && !GrowTo(mBuffer, mBuffer.empty() ? mBlockSize : mBuffer.size() * 2))
    {
        mEof = mReadFailed = mOutOfMemory = true;
        return false;
    }
    const size_t got = fread(mBuffer.data() + mEnd, 1, mBuffer.size() - mEnd, mFile);
    if (got == 0)
    {
        mEof = true;
        mReadFailed = ferror(mFile) != 0;
        return false;
    }
    mEnd += got;
    StartAhead();
    return true;
}

void KObjStatementReader::StartAhead()
{
    if (!mReadAhead)
        return;
    const size_t room = mBlockSize / 2;
    if (mAhead.size() < room + mBlockSize && !GrowTo(mAhead, room + mBlockSize))
        return; // no memory for it: the next Fill reads here
    // Only the job touches the file and mAhead until it is waited for.
    auto readAhead = [this, room] {
        mAheadGot = fread(mAhead.data() + room, 1, mBlockSize, mFile);
        mAheadFailed = ferror(mFile) != 0;
    };
    mAheadPending = true;
    if (!mAheadJob.Start(readAhead))
        readAhead(); // no helper to be had: read here, the same bytes
}

void KObjStatementReader::WaitAhead()
{
    mAheadJob.Wait();
    mAheadPending = false;
}

bool KObjStatementReader::TakeAhead()
{
    WaitAhead();
    const size_t got = mAheadGot;
    if (got == 0)
    {
        mEof = true;
        mReadFailed = mAheadFailed;
        return false;
    }
    const size_t room = mBlockSize / 2;
    const size_t unread = mEnd - mPos;
    if (unread <= room)
    {
        // The unread bytes go just before the new block, and the buffers
        // change places.
        const size_t start = room - unread;
        std::memcpy(mAhead.data() + start, mBuffer.data() + mPos, unread);
        mScan = mScan - mPos + start;
        mConsumed = mConsumed + mPos - start;
        mPos = start;
        mEnd = room + got;
        mBuffer.swap(mAhead);
    }
    else
    {
        // A long line: the block is copied behind it.
        std::memmove(mBuffer.data(), mBuffer.data() + mPos, unread);
        mEnd = unread;
        mScan -= mPos;
        mConsumed += mPos;
        mPos = 0;
        if (mBuffer.size() < mEnd + got && !GrowTo(mBuffer, mEnd + got))
        {
            mEof = mReadFailed = mOutOfMemory = true;
            return false;
        }
        std::memcpy(mBuffer.data() + mEnd, mAhead.data() + room, got);
        mEnd += got;
    }
    StartAhead();
    return true;
}

size_t KObjStatementReader::LineEnd()
{
    // Nearly always the break is in the data at hand.
    const char* base = Data();
    const char* found = ObjFindBreak(base + mPos, base + mEnd);
    if (found < base + mEnd && (*found == '\n' || found + 1 < base + mEnd))
        return static_cast<size_t>(found - base);
    mScan = mPos;
    for (;;)
    {
        const char* base = Data();
        const char* found = ObjFindBreak(base + mScan, base + mEnd);
        const size_t i = static_cast<size_t>(found - base);
        if (i < mEnd)
        {
            // A CR at the end of the data may be followed by its LF: keep
            // the pair together.
            if (*found == '\n' || i + 1 < mEnd || mEof)
                return i;
            mScan = i;
        }
        else
            mScan = mEnd;
        if (!Fill() && mScan >= mEnd)
            return mEnd;
    }
}

inline void KObjStatementReader::SkipBreak()
{
    const char* base = Data();
    if (mPos < mEnd && base[mPos] == '\r')
        ++mPos;
    if (mPos < mEnd && base[mPos] == '\n')
        ++mPos;
}

bool KObjStatementReader::Unread()
{
    if (!mUnreadable)
        return false;
    mUnreadable = false;
    mPos = mStatementStart;
    return true;
}

void KObjStatementReader::SkipByteOrderMark()
{
    const size_t length = 3; // the longest mark
    while (mEnd - mPos < length && Fill())
    {}
    mPos += KByteOrderMarkLength(Data() + mPos, mEnd - mPos);
}

bool KObjStatementReader::Next(std::string_view& keyword, std::string_view& rest)
{
    mKeyword[0] = 0;
    mUnreadable = false;
    DropConsumed();
    if (Position() == 0)
        SkipByteOrderMark();
    for (;;)
    {
        const char* base = Data();
        while (mPos < mEnd && ObjIsSpace(base[mPos]))
            ++mPos;
        if (mPos < mEnd)
            break;
        if (!Fill())
            return false;
    }
    const size_t end = LineEnd();
    // The keyword is seen in the buffer; it is copied only when joining
    // lines may move the buffer.
    ObjSplitStatement(Data() + mPos, Data() + end, keyword, rest);
    mStatementStart = mPos;
    mPos = end;
    SkipBreak();
    if (!mJoin || rest.empty() || rest.back() != '\\')
    {
        mUnreadable = true;
        return true;
    }

    std::memcpy(mKeyword, keyword.data(), keyword.size());
    mKeyword[keyword.size()] = 0;
    keyword = std::string_view(mKeyword, keyword.size());
    mJoined.assign(rest.data(), rest.size());
    while (!mJoined.empty() && mJoined.back() == '\\')
    {
        mJoined.back() = ' ';
        if (mPos >= mEnd && !Fill())
        {
            mJoined.resize(ObjTrimRight(mJoined).size());
            break;
        }
        const size_t next = LineEnd();
        mJoined.append(Data() + mPos, next - mPos);
        mPos = next;
        SkipBreak();
        mJoined.resize(ObjTrimRight(mJoined).size());
    }
    rest = mJoined;
    return true;
}

std::string_view KObjStatementReader::BufferedLines(size_t wanted)
{
    mUnreadable = false;
    if (mEnd - mPos < wanted)
        Fill();
    DropConsumed();
    const char* base = Data();
    size_t end = mEnd;
    if (mMapped)
    {
        // The end found before serves while it lies far enough ahead:
        // looking a block ahead at every call (runs of a few lines
        // call often) would touch memory far from the reading each time.
        if (mLinesEnd > mPos && (mLinesEnd - mPos >= wanted || mLinesEnd == mEnd))
            return std::string_view(base + mPos, mLinesEnd - mPos);
        // In place, as many lines as a block would hold: the callers size
        // their work by what they get.
        end = mPos + std::min(mEnd - mPos, std::max(wanted, mBlockSize));
    }
    while (end > mPos && base[end - 1] != '\n' && base[end - 1] != '\r')
        --end;
    if (mMapped)
        mLinesEnd = end;
    return std::string_view(base + mPos, end - mPos);
}

bool ObjScanDouble(const char*& p, const char* end, double& value)
{
    const char* s = p;
    while (s < end && ObjIsSpace(*s))
        ++s;
    const char* digits = s;
    bool negative = false;
    if (digits < end && (*digits == '+' || *digits == '-'))
    {
        negative = *digits == '-';
        ++digits;
    }
    if (digits < end && *digits == '-')
        return false;
    double parsed = 0.0;
    if (KQoxScanPlainDecimal(digits, end, parsed))
    {
        value = negative ? -parsed : parsed;
        p = digits;
        return true;
    }
    auto result = std::from_chars(digits, end, parsed);
    if (result.ptr == digits)
        return false;
    if (result.ec == std::errc::result_out_of_range)
    {
        // Too large or too small for a double: what strtod gives (±HUGE_VAL
        // or zero).
        KScanDouble(digits, result.ptr, parsed);
    }
    value = negative ? -parsed : parsed;
    p = result.ptr;
    return true;
}

bool ObjScanWord(const char*& p, const char* end, std::string_view& word)
{
    const char* s = p;
    while (s < end && ObjIsSpace(*s))
        ++s;
    const char* start = s;
    while (s < end && !ObjIsSpace(*s))
        ++s;
    if (s == start)
        return false;
    word = std::string_view(start, s - start);
    p = s;
    return true;
}

} // namespace qoxsdk_600
