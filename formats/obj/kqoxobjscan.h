#ifndef QOX_FORMATS_OBJ_KQOXOBJSCAN_H
#define QOX_FORMATS_OBJ_KQOXOBJSCAN_H

// Statement reading and number scanning for OBJ and material library text.
// Statements are cut out of a block buffer in place: no allocation per line
// and no limit on a line's length.

#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/kmappingguard.h"
#include "base/kthreadpool_private.h"
#include "formats/obj/kqoxobjarray.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace qoxsdk_600 {

constexpr long long kIntMax = INT_MAX;
constexpr long long kIntMin = INT_MIN;

// White space as isspace tells in the C locale.
// (tab, line feed, vertical tab, form feed and carriage return are the
// codes 9 to 13).
inline bool ObjIsSpace(char c)
{
    return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t';
}

// Both ends (or only the right end) without white space.
std::string_view ObjTrim(std::string_view text);
std::string_view ObjTrimRight(std::string_view text);

// Reads statements: a keyword of at most 20 characters after any white
// space (blank lines included), then the rest of its physical line, trimmed
// at both ends. Lines end at LF, CR LF or a lone CR. With joining, a rest
// ending in a backslash continues on the next physical line (the backslash
// becomes a blank). The last line needs no line break. A UTF-8 byte order
// mark at the start of the file is no part of its text (editors on Windows
// write one).
class KObjStatementReader
{
public:
    enum
    {
        eKEYWORD_SIZE = 20
    };

    // Data is read in blocks of blockSize bytes (at least).
    explicit KObjStatementReader(FILE* file = nullptr, bool joinContinuations = true, size_t blockSize = 1 << 20);
    // Waits for a block being read ahead.
    ~KObjStatementReader();
    KObjStatementReader(const KObjStatementReader&) = delete;
    KObjStatementReader& operator=(const KObjStatementReader&) = delete;
    // With reading ahead, the next block is read on a thread of its own
    // while the one before is worked on; nothing else may use the file
    // meanwhile. Off by default.
    void SetReadAhead(bool readAhead) { mReadAhead = readAhead; }
    void SetFile(FILE* file);
    // Back to the start of the file.
    void Rewind();
    // The next statement; false at the end of the file or on a read error.
    // Both views stay valid until the next call.
    bool Next(std::string_view& keyword, std::string_view& rest);
    // Right after Next: the statement it gave is read again from its start
    // (by the next Next or BufferedLines). False, nothing changed, for a
    // statement joined from continued lines, or when called at any other
    // time.
    bool Unread();
    // Whether the file could not be read (as opposed to ended), or lost
    // pages while read in place (see KMappingGuard).
    bool ReadFailed() const { return mReadFailed || mGuard.Spoilt(); }
    // Whether reading stopped because memory for its buffer ran out.
    bool OutOfMemory() const { return mOutOfMemory; }
    // Bytes consumed so far.
    size_t Position() const { return mConsumed + mPos; }
    // Goes on reading at position, a value Position() gave for this file
    // after a Next or Consume: what is read from there is what was read on
    // from that point before. Views given before are invalid. A mapped file
    // gives back the pages read since the last move. False when the file
    // cannot be set there: nothing more is read then.
    bool Seek(size_t position);
    // The whole lines read ahead and not yet consumed, each ending in its
    // CR or LF, more read first when fewer than wanted bytes are at hand;
    // valid until the next call. Consume(n) then takes n bytes of them
    // (whole lines) as read.
    std::string_view BufferedLines(size_t wanted);
    void Consume(size_t bytes)
    {
        mUnreadable = false;
        mPos += bytes;
    }
    // Whether the file is read in place from a mapping of it (a regular
    // file read from its start) instead of copied into blocks.
    bool IsMapped() const { return mMapped != nullptr; }

private:
    // Moves the unread bytes to the front and reads more; false when
    // nothing more could be read.
    bool Fill();
    // Index of the end of the physical line starting at mPos (the first CR
    // or LF, or the end of the data at the end of the file).
    size_t LineEnd();
    // Skips the line break at mPos, if any.
    void SkipBreak();
    // At the start of the file: skips its byte order mark, if any.
    void SkipByteOrderMark();
    // Starts reading the next block into mAhead, behind mAheadRoom bytes
    // kept for the unread end of mBuffer; the block is taken by the next
    // Fill.
    void StartAhead();
    void WaitAhead();
    // Fill's part once a block was read ahead.
    bool TakeAhead();
    // Maps the whole file when it is a regular file read from its start;
    // false, nothing changed, otherwise.
    bool MapFile();
    void UnmapFile();
    // The bytes at hand: the mapping or the buffer.
    const char* Data() const { return mMapped ? mMapped : mBuffer.data(); }
    // Gives back the mapped pages already consumed, once there are enough
    // of them, so that the pages of the file read in place do not add up
    // in the process's resident size.
    void DropConsumed()
    {
        if (mMapped && mPos - mDropped >= kMappedDropSpan)
            DropConsumedPages();
    }
    void DropConsumedPages();
    // Gives back the mapped pages from the last one given back through the
    // one holding mPos, but for the one holding keep, about to be read.
    void DropReadPages(size_t keep);
    static constexpr size_t kMappedDropSpan = size_t(1) << 20;

    FILE* mFile;
    bool mJoin;
    size_t mBlockSize;
    KObjPodArray<char> mBuffer; // bytes past mEnd are unset
    size_t mPos = 0;
    size_t mEnd = 0;
    size_t mConsumed = 0;
    size_t mScan = 0; // where the search for the line end goes on
    bool mEof = false;
    bool mReadFailed = false;
    bool mOutOfMemory = false;
    char mKeyword[eKEYWORD_SIZE + 1];
    // Where the statement the last Next gave starts in the data, while
    // mUnreadable (no call since, and the statement not joined).
    size_t mStatementStart = 0;
    bool mUnreadable = false;
    // In place: the end of the whole lines BufferedLines gave last (0: none).
    size_t mLinesEnd = 0;
    std::string mJoined;
    bool mReadAhead = false;
    KObjPodArray<char> mAhead;
    KPoolJobs mAheadJob;        // a pool helper reading the next block
    bool mAheadPending = false; // a block read ahead (or being read), not taken yet
    size_t mAheadGot = 0;       // set by the reading job: the bytes it read
    bool mAheadFailed = false;
    bool mMapTried = false;          // the mapping was tried for this file
    const char* mMapped = nullptr;   // the file mapped whole, or null
    size_t mMappedBytes = 0;
    KMappingGuard mGuard; // holds the mapping while it is read
    size_t mDropped = 0;             // mapped bytes before this given back
};

// The first CR or LF in [from, end), or end.
inline const char* ObjFindBreak(const char* from, const char* end)
{
#ifdef __SSE2__
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    for (; end - from >= 16; from += 16)
    {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, lf), _mm_cmpeq_epi8(bytes, cr)));
        if (mask)
            return from + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    while (from < end && *from != '\n' && *from != '\r')
        ++from;
    return from;
}

// Splits the line [start, stop) into its keyword (at most eKEYWORD_SIZE
// characters up to the first blank) and the rest without surrounding blanks.
inline void ObjSplitStatement(const char* start, const char* stop, std::string_view& keyword, std::string_view& rest)
{
    const char* k = start;
    const char* const keywordLimit =
        stop - start > KObjStatementReader::eKEYWORD_SIZE ? start + KObjStatementReader::eKEYWORD_SIZE : stop;
    while (k < keywordLimit && !ObjIsSpace(*k))
        ++k;
    keyword = std::string_view(start, static_cast<size_t>(k - start));
    while (k < stop && ObjIsSpace(*k))
        ++k;
    while (stop > k && ObjIsSpace(stop[-1]))
        --stop;
    rest = std::string_view(k, static_cast<size_t>(stop - k));
}

// The statement at p in text of whole lines, as KObjStatementReader::Next
// cuts it (without joining lines): false, p at end, when only white space
// is left; otherwise p moves past the statement's line.
inline bool ObjCutStatement(const char*& p, const char* end, std::string_view& keyword, std::string_view& rest)
{
    while (p < end && ObjIsSpace(*p))
        ++p;
    if (p == end)
        return false;
    const char* start = p;
    p = ObjFindBreak(p, end);
    ObjSplitStatement(start, p, keyword, rest);
    return true;
}

// Scanners in the manner of "%lf", "%d" and "%s": each skips white space
// first and advances p past what it read; false, p unchanged, when nothing
// could be read. Integers outside the 32-bit range do not read.
bool ObjScanDouble(const char*& p, const char* end, double& value);
bool ObjScanWord(const char*& p, const char* end, std::string_view& word);
// Called for every index of every face: inline.
inline bool ObjScanInt(const char*& p, const char* end, int& value)
{
    const char* s = p;
    while (s < end && ObjIsSpace(*s))
        ++s;
    bool negative = false;
    if (s < end && (*s == '+' || *s == '-'))
    {
        negative = *s == '-';
        ++s;
    }
    const char* digits = s;
    long long magnitude = 0;
    while (s < end && *s >= '0' && *s <= '9')
    {
        magnitude = magnitude * 10 + (*s - '0');
        if (magnitude > static_cast<long long>(kIntMax) + 1)
            return false;
        ++s;
    }
    if (s == digits)
        return false;
    const long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue > kIntMax || signedValue < kIntMin)
        return false;
    value = static_cast<int>(signedValue);
    p = s;
    return true;
}

// Eight bytes as one word, each less '0' (by exclusive or): digit bytes
// become 0..9. The bytes that are not a digit's: their top bits set in what
// this gives (the low seven bits plus 0x76 reach 0x80 without carrying
// into the next byte).
inline uint64_t ObjNonDigitBytes(uint64_t t)
{
    return (((t & 0x7f7f7f7f7f7f7f7fULL) + 0x7676767676767676ULL) | t) & 0x8080808080808080ULL;
}

// The value of the digits of such a word moved to its top bytes (zeros
// below them change nothing): pairs, fours and the eight combined.
inline uint64_t ObjDigitsWordValue(uint64_t t)
{
    uint64_t v = (t * 2561) >> 8;
    v = ((v & 0x00ff00ff00ff00ffULL) * 6553601) >> 16;
    return ((v & 0x0000ffff0000ffffULL) * 42949672960001ULL) >> 32;
}

// The run of decimal digits at s, at most 8 of them: their count, and
// their value in value. Eight bytes are looked at in one go, the digits
// found and converted by arithmetic on the whole word.
inline int ObjScanDigits8(const char* s, const char* end, uint64_t& value)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (end - s < 8)
    {
        // Near the end: one digit at a time.
        uint64_t v = 0;
        int count = 0;
        while (s + count < end && static_cast<unsigned>(s[count] - '0') < 10)
        {
            v = v * 10 + static_cast<unsigned>(s[count] - '0');
            ++count;
        }
        value = v;
        return count;
    }
    uint64_t word;
    std::memcpy(&word, s, 8);
    const uint64_t t = word ^ 0x3030303030303030ULL;
    const uint64_t other = ObjNonDigitBytes(t);
    const int count = other ? __builtin_ctzll(other) >> 3 : 8;
    if (count == 0)
    {
        value = 0;
        return 0;
    }
    value = ObjDigitsWordValue(t << (8 * (8 - count)));
    return count;
#else
    uint64_t v = 0;
    int count = 0;
    while (count < 8 && s + count < end && static_cast<unsigned>(s[count] - '0') < 10)
    {
        v = v * 10 + static_cast<unsigned>(s[count] - '0');
        ++count;
    }
    value = v;
    return count;
#endif
}

// The powers of ten a double holds exactly, and those up to eight digits
// as integers: the plain number scanners' one division and digit steps.
inline constexpr double kObjExactTens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                           1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr uint64_t kObjTens[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// ObjScanDouble for the numbers nearly every file holds: after blanks, an
// optional minus, at most 19 digits with an optional point and an optional
// short exponent. When the digits as a whole number fit in 53 bits and the
// power of ten left over is at most 22, both are exact doubles and the one
// multiplication or division gives the correctly rounded result, as in the
// general path. Anything else goes to ObjScanDouble whole.
inline bool ObjScanDoubleShort(const char*& p, const char* end, double& value)
{
    const int kMaxDigits = 19; // any 19 digits fit in 64 bits
    auto isDigit = [](char c) { return static_cast<unsigned>(c - '0') < 10; };
    const char* s = p;
    while (s < end && ObjIsSpace(*s))
        ++s;
    if (s == end)
        return false; // nothing but blanks: nothing to read
    const bool negative = *s == '-';
    if (negative)
        ++s;
    // The whole part is short in most files: digit by digit.
    uint64_t mantissa = 0;
    int count = 0;
    for (; s < end && isDigit(*s); ++s, ++count)
    {
        if (count == kMaxDigits)
            return ObjScanDouble(p, end, value);
        mantissa = mantissa * 10 + static_cast<unsigned>(*s - '0');
    }
    int fraction = 0;
    if (s < end && *s == '.')
    {
        ++s;
        for (;;)
        {
            uint64_t chunk;
            const int n = ObjScanDigits8(s, end, chunk);
            if (count + fraction + n > kMaxDigits)
                return ObjScanDouble(p, end, value);
            mantissa = mantissa * kObjTens[n] + chunk;
            s += n;
            fraction += n;
            if (n < 8)
                break;
        }
        count += fraction;
    }
    if (count == 0)
        return ObjScanDouble(p, end, value);
    int exponent = 0;
    if (s < end && (*s == 'e' || *s == 'E'))
    {
        const char* e = s + 1;
        const bool below = e < end && *e == '-';
        if (e < end && (*e == '-' || *e == '+'))
            ++e;
        const char* const first = e;
        for (; e < end && isDigit(*e) && e - first < 4; ++e)
            exponent = exponent * 10 + (*e - '0');
        if (e == first || (e < end && isDigit(*e)))
            return ObjScanDouble(p, end, value);
        exponent = below ? -exponent : exponent;
        s = e;
    }
    const int power = exponent - fraction;
    if (mantissa > (uint64_t(1) << 53) || power < -22 || power > 22 ||
        (s < end && (*s == 'e' || *s == 'E' || *s == 'x' || *s == 'X' || *s == 'p' || *s == 'P')))
        return ObjScanDouble(p, end, value);
    const double whole = static_cast<double>(mantissa);
    const double magnitude = power < 0 ? whole / kObjExactTens[-power] : whole * kObjExactTens[power];
    value = negative ? -magnitude : magnitude;
    p = s;
    return true;
}

// A number of the form nearly every file writes, where it is read exactly
// as ObjScanDoubleShort reads it: an optional minus, digits, optionally a
// point and more digits (19 digits in all at most, 22 after the point),
// whose digits make at most 2^53; then a blank, a line break or the end.
// Digit by digit: files write numbers of a steady length, which the
// processor's guesses follow. False, p unchanged, for anything else.
inline bool ObjScanPlainNumber(const char*& p, const char* end, double& value)
{
    const char* s = p;
    const bool negative = s < end && *s == '-';
    s += negative ? 1 : 0;
    // More than 19 digits wrap around: they are refused below.
    uint64_t mantissa = 0;
    const char* const whole = s;
    while (s < end && static_cast<unsigned>(*s - '0') < 10)
        mantissa = mantissa * 10 + static_cast<unsigned>(*s++ - '0');
    long digits = s - whole;
    long fraction = 0;
    if (s < end && *s == '.')
    {
        // The digits after the point eight at a time: one step instead of a
        // chain of multiplications per digit.
        const char* const first = ++s;
        for (;;)
        {
            uint64_t chunk;
            const int n = ObjScanDigits8(s, end, chunk);
            mantissa = mantissa * kObjTens[n] + chunk;
            s += n;
            if (n < 8 || s - first > 22)
                break;
        }
        fraction = s - first;
        digits += fraction;
    }
    if (digits == 0 || digits > 19 || fraction > 22 || mantissa > (uint64_t(1) << 53) ||
        (s < end && *s != ' ' && *s != '\n' && *s != '\r'))
        return false;
    const double magnitude = static_cast<double>(mantissa) / kObjExactTens[fraction];
    value = negative ? -magnitude : magnitude;
    p = s;
    return true;
}

// A "v", "vt" or "vn" line at p (at its "v") of the plain form: the
// keyword, one blank, at least as many plain numbers (ObjScanPlainNumber)
// as the statement needs and at most as many as it reads, apart by blanks,
// and nothing but blanks after them. Its kind (0 "v", 1 "vt", 2 "vn") and
// numbers; p moves to its line break. Any other line gives 0 and leaves p:
// the statement's general reading decides on it.
// This one goes byte by byte; ObjScanPlainVertexLine below reads the same.
inline int ObjScanPlainVertexLineByBytes(const char*& p, const char* end, int& kind, double* values)
{
    const char* q = p + 1;
    if (q < end && *q == ' ')
    {
        kind = 0;
        ++q;
    }
    else if (end - q >= 2 && (*q == 't' || *q == 'n') && q[1] == ' ')
    {
        kind = *q == 't' ? 1 : 2;
        q += 2;
    }
    else
        return 0;
    const int most = kind == 0 ? 4 : 3;
    int n = 0;
    for (;;)
    {
        while (q < end && *q == ' ')
            ++q;
        if (q == end || *q == '\n' || *q == '\r')
            break;
        if (n == most || !ObjScanPlainNumber(q, end, values[n]))
            return 0;
        ++n;
    }
    if (n < (kind == 1 ? 1 : 3))
        return 0;
    p = q;
    return n;
}

// The ways of reading a plain vertex line (each reads what
// ObjScanPlainVertexLineByBytes reads, to the bit):
//   eOBJ_LINE_BY_BYTES  byte by byte;
//   eOBJ_LINE_AVX2      the line's first 64 bytes classified at once into
//                       bit masks (blanks, digits, points, ...) with 256-bit
//                       registers, the numbers found from the masks and the
//                       digits of each combined at once.
// The mask way takes lines of at most 63 bytes and numbers of at most 16
// bytes, with at least 80 bytes before end, and hands anything else to the
// byte way.
enum EObjLineScan
{
    eOBJ_LINE_BY_BYTES,
    eOBJ_LINE_AVX2,
    eOBJ_LINE_SCAN_COUNT
};

// A shape of lines the mask way has met (see kqoxobjscanline.cpp): where
// the numbers of lines of that shape stand, and how their digits combine.
struct KObjLineShape
{
    uint64_t mUpto = 0; // the bytes up to the line break (none held: 0)
    uint64_t mBreaks = 0, mBlanks = 0, mPoints = 0, mMinus = 0, mDigits = 0; // each within mUpto
    uint16_t mKey = 0;                                                       // the first two bytes
    int mKind = 0;
    int mCount = 0;
    unsigned mStop = 0;
    unsigned mAt[4] = {0, 0, 0, 0};            // each number's digits (after a sign)
    alignas(32) signed char mFrom[2][32] = {}; // byte indices for shuffling the digits
    alignas(32) double mDivisors[4] = {};
};

// Plain vertex lines in a row, read at once; kept from one call to the
// next, it keeps the shapes of the lines met too.
struct KObjPlainLines
{
    enum
    {
        eMOST = 64,
        eSHAPES = 128
    };
    int mCount = 0;           // lines read
    int mKinds[eMOST];        // as ObjScanPlainVertexLine gives them
    int mNumbers[eMOST];      // the count of numbers of each
    double mValues[eMOST][4]; // and the numbers
    KObjLineShape mShapes[eSHAPES];
};

using ObjPlainLineScanner = int (*)(const char*& p, const char* end, int& kind, double* values);
using ObjPlainLinesScanner = int (*)(const char*& p, const char* end, const char* limit, KObjPlainLines& lines);
// The scanners of that way, or false where this processor (or build) has
// none.
bool ObjPlainLineScannersOf(EObjLineScan way, ObjPlainLineScanner& line, ObjPlainLinesScanner& lines);
// The scanners ObjScanPlainVertexLine(s) use: those of the widest way this
// processor runs, set on the first call.
extern std::atomic<ObjPlainLineScanner> gObjPlainLineScanner;
extern std::atomic<ObjPlainLinesScanner> gObjPlainLinesScanner;

// See ObjScanPlainVertexLineByBytes; values has room for four numbers.
inline int ObjScanPlainVertexLine(const char*& p, const char* end, int& kind, double* values)
{
    return gObjPlainLineScanner.load(std::memory_order_relaxed)(p, end, kind, values);
}

// The plain vertex lines at p on, one after the other, each with the line
// breaks after it (blank lines too), as ObjScanPlainVertexLine reads them:
// at most eMOST of them, and none starting at limit (at most end) or
// after. p moves to the start of the first line not read. Lines are read
// up to the first one that is not plain, or that the way used leaves to
// ObjScanPlainVertexLine: the caller reads that one. The count read.
inline int ObjScanPlainVertexLines(const char*& p, const char* end, const char* limit, KObjPlainLines& lines)
{
    return gObjPlainLinesScanner.load(std::memory_order_relaxed)(p, end, limit, lines);
}

// A shape of plain "f" lines the mask way has met (see
// kqoxobjscanline.cpp): the bytes up to the line break with every digit
// made the same, and where each reference's digits stand, how many, and
// its sign. References go eight at a time, through two registers of four
// 8-byte words each.
struct KObjFaceShape
{
    enum
    {
        eMOST_CORNERS = 32,
        eREFERENCES = 3 * eMOST_CORNERS,
        eMOST_BYTES = 128
    };
    unsigned char mBytes[eMOST_BYTES] = {}; // see FaceClasses
    uint32_t mUpto[4] = {0, 0, 0, 0}; // of each 32 of them those up to the line break
    unsigned mStop = 0;                // the line break's offset
    int mBlocks = 0;                   // the 32s compared (none held: 0)
    int mCorners = 0;
    int mEights = 0;
    unsigned mUsed = 0; // KObjFaceShapes::mUses when last used
    unsigned char mAt[eREFERENCES] = {};    // the digits' offsets, in the registers' order
    unsigned char mShift[eREFERENCES] = {}; // bits the word at them moves up (64: absent)
    signed char mSign[eREFERENCES] = {};    // -1 for a negative one, in references' order
};

// The face line shapes met, kept from one line to the next by one reader
// of face lines (one per thread).
struct KObjFaceShapes
{
    enum
    {
        eSHAPES = 64, // in pairs: a line's shape is kept in one of the pair its hash picks
        // Of eTRIAL lines of at most 127 bytes tried, more than
        // eMOST_MISSES of a shape not kept: the next eREST lines are left
        // to the caller (lines of ever new shapes cost the mask way more
        // than it saves).
        eTRIAL = 64,
        eMOST_MISSES = 8,
        eREST = 4096
    };
    int mLast = -1;    // the shape of the line before, tried first
    unsigned mUses = 0; // lines read by the shapes kept
    int mTried = 0; // lines tried since the last count
    int mMissed = 0;
    int mRest = 0; // lines still to be left to the caller
    KObjFaceShape mShapes[eSHAPES];
};

// The references of the plain "f" line whose blank after the "f" is at q:
// vertex, texture vertex and normal per corner as written (absent: 0) into
// references, their corner count returned, and q moved to the line break.
// Zero, q unchanged, where the way cannot settle the line: lines of other
// bytes than blanks, digits, '/' and '-' before the break, of tokens other
// than "v", "v/t", "v//n" and "v/t/n", of numbers of nine digits or more,
// of more than eMOST_CORNERS corners or 127 bytes, or with fewer than 72
// bytes from q before end (136 for a line of 64 bytes or more), and lines
// while shapes.mRest counts down; the caller's byte by byte reading takes
// those.
using ObjPlainFaceScanner = int (*)(const char*& q, const char* end, KObjFaceShapes& shapes, int* references);
// That of the way; the byte way settles no line (its scanner returns 0).
// False where this processor (or build) has none.
bool ObjPlainFaceScannerOf(EObjLineScan way, ObjPlainFaceScanner& scanner);
// The scanner ObjScanPlainFaceLine uses: that of the widest way this
// processor runs, set on the first call.
extern std::atomic<ObjPlainFaceScanner> gObjPlainFaceScanner;

inline int ObjScanPlainFaceLine(const char*& q, const char* end, KObjFaceShapes& shapes, int* references)
{
    return gObjPlainFaceScanner.load(std::memory_order_relaxed)(q, end, shapes, references);
}

// Up to count doubles in a row; the number read.
inline int ObjScanDoubles(std::string_view text, double* values, int count)
{
    const char* p = text.data();
    const char* end = p + text.size();
    int read = 0;
    while (read < count && ObjScanDoubleShort(p, end, values[read]))
        ++read;
    return read;
}

// Splits at runs of white space (blanks and tabs alike), as every
// statement's fields are parted; empty fields vanish.
template <class F>
void ObjSplit(std::string_view text, F&& onField)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n)
    {
        while (i < n && ObjIsSpace(text[i]))
            ++i;
        const size_t start = i;
        while (i < n && !ObjIsSpace(text[i]))
            ++i;
        if (i > start && !onField(text.substr(start, i - start)))
            return;
    }
}

} // namespace qoxsdk_600

#endif
