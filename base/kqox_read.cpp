// KQox: indexing lists and reading fields (binary and ASCII encodings).

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/kbytes.h"
#include "base/kfile.h"
#include "base/knumbertext.h"
#include "base/kparallel.h"
#include "base/kqox.h"
#include "base/kqox_private.h"

using namespace kqox;

namespace {

const size_t kChunk = 1 << 20;

int Base64Digit(int c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool IsSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Characters of a number's text in an ASCII array ("-1.5e+300", "inf", "nan").
bool IsArrayItemChar(int c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '+' ||
           c == '-';
}

// Byte classes of the ASCII body for the scans that pass over long runs.
enum : unsigned char
{
    kOther = 0,
    kSpaceClass = 1,      // ' ', '\t', '\r', '\n'
    kItemClass = 2,       // a character of an array item
    kStructuralClass = 4, // '"', ';', '{', '}', '*': what the brace pairing stops at
    kBareClass = 8,       // a character that may stand unquoted in a name or value
};

struct ByteClasses
{
    unsigned char mClass[256] = {};
    ByteClasses()
    {
        for (int c = 0; c < 256; ++c)
            mClass[c] =
                static_cast<unsigned char>((IsSpace(c) ? kSpaceClass : 0) | (IsArrayItemChar(c) ? kItemClass : 0) |
                                           (IsBareChar(c) ? kBareClass : 0));
        for (unsigned char c : {'"', ';', '{', '}', '*'})
            mClass[c] |= kStructuralClass;
    }
};

const ByteClasses kClasses;

// The first byte of [p, end) of the given class, or end.
const unsigned char* FindClass(const unsigned char* p, const unsigned char* end, unsigned char wanted)
{
#if defined(__SSE2__)
    // What the brace pairing stops at is rare: 16 bytes are looked at a time.
    if (wanted == kStructuralClass)
    {
        while (end - p >= 16)
        {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i hit = _mm_or_si128(
                _mm_or_si128(
                    _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')), _mm_cmpeq_epi8(v, _mm_set1_epi8(';'))),
                    _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('{')), _mm_cmpeq_epi8(v, _mm_set1_epi8('}')))),
                _mm_cmpeq_epi8(v, _mm_set1_epi8('*')));
            const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
            if (mask)
                return p + __builtin_ctz(mask);
            p += 16;
        }
    }
#endif
    while (end - p >= 8)
    {
        if (kClasses.mClass[p[0]] & wanted)
            return p;
        if (kClasses.mClass[p[1]] & wanted)
            return p + 1;
        if (kClasses.mClass[p[2]] & wanted)
            return p + 2;
        if (kClasses.mClass[p[3]] & wanted)
            return p + 3;
        if (kClasses.mClass[p[4]] & wanted)
            return p + 4;
        if (kClasses.mClass[p[5]] & wanted)
            return p + 5;
        if (kClasses.mClass[p[6]] & wanted)
            return p + 6;
        if (kClasses.mClass[p[7]] & wanted)
            return p + 7;
        p += 8;
    }
    while (p < end && !(kClasses.mClass[*p] & wanted))
        ++p;
    return p;
}

// The first byte of [p, end) not of the given class, or end.
const unsigned char* SkipClass(const unsigned char* p, const unsigned char* end, unsigned char skipped)
{
    while (p < end && (kClasses.mClass[*p] & skipped))
        ++p;
    return p;
}

// The line end ending a comment in [p, stop), or stop when the comment runs
// on past it.
inline const unsigned char* SkipComment(const unsigned char* p, const unsigned char* stop)
{
    const void* end = std::memchr(p, '\n', static_cast<size_t>(stop - p));
    return end ? static_cast<const unsigned char*>(end) : stop;
}

// Set bits of a mask, without a library call where the processor lacks a
// counting instruction.
inline unsigned long long BitCount64(unsigned long long v)
{
    v = v - ((v >> 1) & 0x5555555555555555ull);
    v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return (v * 0x0101010101010101ull) >> 56;
}

#if defined(__SSE2__)
// Which of 16 bytes are array item characters and which are blanks, a bit each.
inline void ClassifyBlock(const unsigned char* p, unsigned& item, unsigned& space)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i lower = _mm_or_si128(v, _mm_set1_epi8(0x20));
    const __m128i digit =
        _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(v, _mm_set1_epi8('9' + 1)));
    const __m128i letter =
        _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)), _mm_cmplt_epi8(lower, _mm_set1_epi8('z' + 1)));
    const __m128i mark =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('.')), _mm_cmpeq_epi8(v, _mm_set1_epi8('+'))),
                     _mm_cmpeq_epi8(v, _mm_set1_epi8('-')));
    const __m128i blank =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))),
                     _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))));
    item = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(digit, letter), mark)));
    space = static_cast<unsigned>(_mm_movemask_epi8(blank));
}
#endif

// The range of the items of an integer array with that code.
inline void IntegerItemRange(char code, long long& lowest, long long& highest)
{
    lowest = code == kArrayByte ? 0 : code == kArrayInt ? INT_MIN : LLONG_MIN;
    highest = code == kArrayByte ? 255 : code == kArrayInt ? INT_MAX : LLONG_MAX;
}

#if defined(__x86_64__) && defined(__GNUC__)
#define KQOX_WIDE_CLASSES 1
#define KQOX_WIDE_TARGET  __attribute__((target("avx512f,avx512bw")))

// The item and blank classes of 64 bytes as bit masks, with 512-bit
// registers: each byte's low and high halves look up a set of groups in a
// table of 16 each, and a byte is in a group when both halves are.
// Groups: digits, 'A'-'O'/'a'-'o', 'P'-'Z'/'p'-'z', '+' '-' '.' (items);
// ' ', and '\t' '\n' '\r' (blanks). Bytes from 0x80 are in none.
KQOX_WIDE_TARGET void ClassifyWide(const unsigned char* p, unsigned long long& item, unsigned long long& space)
{
    enum : char
    {
        kDigit = 1,
        kLetterLow = 2,
        kLetterHigh = 4,
        kMark = 8,
        kSpace = 16,
        kControl = 32,
    };
    const __m512i byLow = _mm512_maskz_broadcast_i32x4(
        0xFFFF, _mm_setr_epi8(kDigit | kLetterHigh | kSpace, kDigit | kLetterLow | kLetterHigh,
                              kDigit | kLetterLow | kLetterHigh, kDigit | kLetterLow | kLetterHigh,
                              kDigit | kLetterLow | kLetterHigh, kDigit | kLetterLow | kLetterHigh,
                              kDigit | kLetterLow | kLetterHigh, kDigit | kLetterLow | kLetterHigh,
                              kDigit | kLetterLow | kLetterHigh, kDigit | kLetterLow | kLetterHigh | kControl,
                              kLetterLow | kLetterHigh | kControl, kLetterLow | kMark, kLetterLow,
                              kLetterLow | kMark | kControl, kLetterLow | kMark, kLetterLow));
    const __m512i byHigh =
        _mm512_maskz_broadcast_i32x4(0xFFFF, _mm_setr_epi8(kControl, 0, kMark | kSpace, kDigit, kLetterLow, kLetterHigh,
                                                           kLetterLow, kLetterHigh, 0, 0, 0, 0, 0, 0, 0, 0));
    const __m512i v = _mm512_loadu_si512(p);
    const __m512i nibble = _mm512_set1_epi8(0x0F);
    const __m512i low = _mm512_and_si512(v, nibble);
    const __m512i high = _mm512_and_si512(_mm512_srli_epi16(v, 4), nibble);
    const __m512i groups = _mm512_and_si512(_mm512_shuffle_epi8(byLow, low), _mm512_shuffle_epi8(byHigh, high));
    item = _mm512_test_epi8_mask(groups, _mm512_set1_epi8(kDigit | kLetterLow | kLetterHigh | kMark));
    space = _mm512_test_epi8_mask(groups, _mm512_set1_epi8(kSpace | kControl));
}

// The 64-byte steps below with 512-bit registers, where the processor has
// them: the same classes, a compare each into a bit mask.
KQOX_WIDE_TARGET const unsigned char* CountItemBlocksWide(const unsigned char* p, const unsigned char* stop,
                                                          unsigned long long count, unsigned long long& seen,
                                                          bool& inItem)
{
    while (stop - p >= 64)
    {
        unsigned long long item = 0, blank = 0;
        ClassifyWide(p, item, blank);
        if ((item | blank) != ~0ull)
            break;
        const unsigned long long starts = item & ~((item << 1) | (inItem ? 1u : 0u));
        const unsigned long long started = static_cast<unsigned long long>(__builtin_popcountll(starts));
        if (seen + started >= count)
            break;
        seen += started;
        inItem = (item >> 63) & 1u;
        p += 64;
    }
    return p;
}

// Where converted items go straight to the caller's array, when it is of
// a type they take as they are (null: through PlainItemsWide's own arrays).
struct DirectItems
{
    int* mInts = nullptr;
    long long* mLongs = nullptr;
    double* mDoubles = nullptr;
    float* mFloats = nullptr;
};

#define KQOX_BYTE_PERMUTES 1
#define KQOX_PERMUTE_TARGET                                                                                            \
    __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vbmi,avx512vbmi2,popcnt,bmi,bmi2")))

// Each 64-bit lane's eight digits (the first in the lowest byte, each less
// '0') as a number: pairs, fours and the two halves combined.
KQOX_PERMUTE_TARGET inline __m512i EightDigitLanes(__m512i lane)
{
    const __m512i pairs = _mm512_maddubs_epi16(lane, _mm512_set1_epi16(0x010A));
    const __m512i fours = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00010064));
    return _mm512_add_epi64(_mm512_maskz_mul_epu32(0xFF, fours, _mm512_set1_epi64(10000)),
                            _mm512_maskz_srli_epi64(0xFF, fours, 32));
}

// The items of a 64-byte block at p of items and blanks (items, with the
// starts given; inItem: the first byte goes on with an item of the block
// before, taken there) converted together when they are plain numbers:
// every byte of them a digit, a leading '-' or (decimals) a '.', each up
// to eight bytes after the sign with at most one point (integers: up to
// sixteen digits), ending inside the block, no more than left of them.
// Eight at a time: each item's eight bytes ending at its last are gathered
// into a 64-bit lane (and for longer integers the eight before them into
// another), its point taken out by gathering the bytes below it one place
// lower, the bytes before its first digit cleared, and the lanes' digits
// combined in pairs, fours and eights with multiply-adds. Integers (to an
// int: the nearest end of its range past it) go to whole, decimals to
// real (room for 32 each): the digits over the power of ten of the
// decimals, rounded once, as PlainToItem makes them. Sets taken (0 when
// the block holds anything else) and past, the offset after the last item
// taken; returns the starts not taken (the item running on into the next
// block, or all of them).
KQOX_PERMUTE_TARGET unsigned long long PlainItemsWide(const unsigned char* p, unsigned long long items,
                                                      unsigned long long starts, bool inItem, bool integer,
                                                      unsigned long long left, long long* whole, double* real,
                                                      DirectItems direct, long long lowest, long long highest,
                                                      unsigned& taken, unsigned& past)
{
    taken = 0;
    const unsigned long long before = inItem ? items & ~(items + 1) : 0;
    const unsigned long long lastStart = starts ? 1ull << (63 - __builtin_clzll(starts)) : 0;
    const unsigned long long after = (items >> 63) && lastStart ? ~(lastStart - 1) : 0;
    const unsigned long long mine = starts & ~after;
    const unsigned count = static_cast<unsigned>(__builtin_popcountll(mine));
    if (count == 0 || count > left)
        return starts;
    const __m512i text = _mm512_loadu_si512(p);
    const __m512i digits = _mm512_sub_epi8(text, _mm512_set1_epi8('0'));
    const unsigned long long digit = _mm512_cmplt_epu8_mask(digits, _mm512_set1_epi8(10));
    const unsigned long long minus = _mm512_cmpeq_epi8_mask(text, _mm512_set1_epi8('-'));
    const unsigned long long point = integer ? 0 : _mm512_cmpeq_epi8_mask(text, _mm512_set1_epi8('.'));
    if ((items & ~before & ~after & ~digit & ~point & ~(minus & mine)) != 0)
        return starts;
    const unsigned long long ends = items & ~(items >> 1) & ~before & ~after & ~(1ull << 63);
    const __m512i offsets =
        _mm512_set_epi8(63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45, 44, 43, 42, 41, 40,
                        39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16,
                        15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const __m512i zero = _mm512_setzero_si512();
    // Item j's sign is bit j; its first byte after the sign is one past its
    // start when it has one.
    const unsigned long long negative = _pext_u64(minus, mine);
    const unsigned long long lanes = (1ull << count) - 1;
    const __m512i last = _mm512_maskz_compress_epi8(ends, offsets);
    const __m512i itemStarts = _mm512_maskz_compress_epi8(mine, offsets);
    const __m512i first = _mm512_mask_add_epi8(itemStarts, negative, itemStarts, _mm512_set1_epi8(1));
    // Every item: its last byte at most seven past its first after the sign
    // (integers: fifteen, the eight before the last eight in a second lane).
    const __m512i span = _mm512_sub_epi8(last, first);
    const bool sixteen = _mm512_mask_cmpgt_epu8_mask(lanes, span, _mm512_set1_epi8(7)) != 0;
    if (sixteen && (!integer || _mm512_mask_cmpgt_epu8_mask(lanes, span, _mm512_set1_epi8(15)) != 0))
        return starts;
    // Byte b of lane j: item 8g + j; within the lane, b - 7 past its last.
    const __m512i laneOf =
        _mm512_set_epi64(0x0707070707070707ll, 0x0606060606060606ll, 0x0505050505050505ll, 0x0404040404040404ll,
                         0x0303030303030303ll, 0x0202020202020202ll, 0x0101010101010101ll, 0);
    const __m512i back = _mm512_set1_epi64(0x00FFFEFDFCFBFAF9ll);
    const __m512d powers = _mm512_set_pd(1e7, 1e6, 1e5, 1e4, 1e3, 1e2, 1e1, 1e0);
    for (unsigned g = 0; g * 8 < count; ++g)
    {
        const __m512i item = _mm512_add_epi8(laneOf, _mm512_set1_epi8(static_cast<char>(8 * g)));
        const __m512i from = _mm512_add_epi8(_mm512_maskz_permutexvar_epi8(~0ull, item, last), back);
        const __m512i begin = _mm512_maskz_permutexvar_epi8(~0ull, item, first);
        // Bytes before the block (negative places) are cleared with the
        // rest before the item's first byte after the sign.
        __mmask64 keep = _mm512_cmpge_epi8_mask(from, begin);
        // The lanes of this group's items, and their top bytes.
        const unsigned used = count - 8 * g < 8 ? count - 8 * g : 8;
        const __mmask8 usedLanes = static_cast<__mmask8>((1u << used) - 1);
        const unsigned long long usedTops = 0x8080808080808080ull & (used == 8 ? ~0ull : (1ull << (8 * used)) - 1);
        __m512i at = from;
        __m512i decimals = zero;
        if (!integer)
        {
            // Each byte at or below the lane's point (0xFF) takes the byte
            // one place lower; the bytes above it are the decimals.
            const __mmask64 points = _mm512_mask_cmpeq_epi8_mask(keep, _mm512_maskz_permutexvar_epi8(~0ull, from, text),
                                                                 _mm512_set1_epi8('.'));
            __m512i below = _mm512_movm_epi8(points);
            const __m512i pointCount = _mm512_sad_epu8(_mm512_maskz_mov_epi8(points, _mm512_set1_epi8(1)), zero);
            if (_mm512_mask_cmpgt_epu64_mask(usedLanes, pointCount, _mm512_set1_epi64(1)) != 0)
                return starts;
            below = _mm512_or_si512(below, _mm512_maskz_srli_epi64(0xFF, below, 8));
            below = _mm512_or_si512(below, _mm512_maskz_srli_epi64(0xFF, below, 16));
            below = _mm512_or_si512(below, _mm512_maskz_srli_epi64(0xFF, below, 32));
            const __m512i belowCount = _mm512_sad_epu8(_mm512_and_si512(below, _mm512_set1_epi8(1)), zero);
            // With a point: 8 less the bytes at or below it; else none.
            decimals =
                _mm512_maskz_sub_epi64(_mm512_cmpneq_epi64_mask(pointCount, zero), _mm512_set1_epi64(8), belowCount);
            at = _mm512_add_epi8(from, below);
            keep = _mm512_cmpge_epi8_mask(at, begin);
            // Some digit: the lane's top byte is not the point alone.
            if ((_mm512_cmplt_epi8_mask(at, begin) & usedTops) != 0)
                return starts;
        }
        __m512i eights = EightDigitLanes(_mm512_maskz_permutexvar_epi8(keep, at, digits));
        if (sixteen)
        {
            const __m512i higher = _mm512_sub_epi8(from, _mm512_set1_epi8(8));
            const __m512i high =
                EightDigitLanes(_mm512_maskz_permutexvar_epi8(_mm512_cmpge_epi8_mask(higher, begin), higher, digits));
            eights = _mm512_add_epi64(_mm512_maskz_mullo_epi64(0xFF, high, _mm512_set1_epi64(100000000)), eights);
        }
        const __mmask8 laneNegative = static_cast<__mmask8>(negative >> (8 * g));
        if (integer)
        {
            const __m512i value = _mm512_mask_sub_epi64(eights, laneNegative, zero, eights);
            // An item beyond the range of the array's items is left to the
            // steps that refuse it.
            if ((_mm512_mask_cmplt_epi64_mask(usedLanes, value, _mm512_set1_epi64(lowest)) |
                 _mm512_mask_cmpgt_epi64_mask(usedLanes, value, _mm512_set1_epi64(highest))) != 0)
                return starts;
            // Beyond the range of an int, its nearest end.
            if (direct.mInts)
                _mm512_mask_cvtsepi64_storeu_epi32(direct.mInts + 8 * g, usedLanes, value);
            else if (direct.mLongs)
                _mm512_mask_storeu_epi64(direct.mLongs + 8 * g, usedLanes, value);
            else if (direct.mDoubles)
                _mm512_mask_storeu_pd(direct.mDoubles + 8 * g, usedLanes, _mm512_cvtepi64_pd(value));
            else
                _mm512_storeu_si512(whole + 8 * g, value);
        }
        else
        {
            __m512d value =
                _mm512_div_pd(_mm512_cvtepi64_pd(eights), _mm512_maskz_permutexvar_pd(0xFF, decimals, powers));
            value = _mm512_castsi512_pd(_mm512_mask_xor_epi64(_mm512_castpd_si512(value), laneNegative,
                                                              _mm512_castpd_si512(value),
                                                              _mm512_set1_epi64(static_cast<long long>(1ull << 63))));
            // Below 10^8: every float holds the double rounded.
            if (direct.mDoubles)
                _mm512_mask_storeu_pd(direct.mDoubles + 8 * g, usedLanes, value);
            else if (direct.mFloats)
                _mm256_mask_storeu_ps(direct.mFloats + 8 * g, usedLanes, _mm512_maskz_cvtpd_ps(0xFF, value));
            else
                _mm512_storeu_pd(real + 8 * g, value);
        }
    }
    taken = count;
    past = 64 - static_cast<unsigned>(__builtin_clzll(ends));
    return starts & after;
}

bool HasBytePermutes()
{
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vbmi") &&
               __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("avx512vl") &&
               __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
    }();
    return has;
}

bool HasWideClasses()
{
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    }();
    return has;
}

#endif

// Which of 64 bytes are array item characters and which are blanks, a bit
// each; false where neither can be told at once (no vector unit).
inline bool Classify64(const unsigned char* p, unsigned long long& item, unsigned long long& space)
{
#if defined(KQOX_WIDE_CLASSES)
    if (HasWideClasses())
    {
        ClassifyWide(p, item, space);
        return true;
    }
#endif
#if defined(__SSE2__)
    item = 0;
    space = 0;
    for (int k = 0; k < 4; ++k)
    {
        unsigned itemBits, spaceBits;
        ClassifyBlock(p + 16 * k, itemBits, spaceBits);
        item |= static_cast<unsigned long long>(itemBits) << (16 * k);
        space |= static_cast<unsigned long long>(spaceBits) << (16 * k);
    }
    return true;
#else
    (void)p;
    (void)item;
    (void)space;
    return false;
#endif
}

// Passes over whole 16-byte blocks of blanks and array items at once,
// counting the items that start in them, as long as none of them is the
// count-th item (the byte-wise scan finds where that one ends). seen and
// inItem carry the count and whether p is inside an item.
const unsigned char* CountItemBlocks(const unsigned char* p, const unsigned char* stop, unsigned long long count,
                                     unsigned long long& seen, bool& inItem)
{
#if defined(KQOX_WIDE_CLASSES)
    if (HasWideClasses())
        p = CountItemBlocksWide(p, stop, count, seen, inItem);
#endif
#if defined(__SSE2__)
    // 64 bytes a step while they hold many items, then 16.
    while (stop - p >= 64)
    {
        unsigned long long item = 0, space = 0;
        for (int k = 0; k < 4; ++k)
        {
            unsigned itemBits, spaceBits;
            ClassifyBlock(p + 16 * k, itemBits, spaceBits);
            item |= static_cast<unsigned long long>(itemBits) << (16 * k);
            space |= static_cast<unsigned long long>(spaceBits) << (16 * k);
        }
        if ((item | space) != ~0ull)
            break;
        const unsigned long long starts = item & ~((item << 1) | (inItem ? 1u : 0u));
        const unsigned long long started = BitCount64(starts);
        if (seen + started >= count)
            break;
        seen += started;
        inItem = (item >> 63) & 1u;
        p += 64;
    }
    while (stop - p >= 16)
    {
        unsigned item, space;
        ClassifyBlock(p, item, space);
        if ((item | space) != 0xFFFFu)
            break;
        const unsigned starts = item & ~((item << 1) | (inItem ? 1u : 0u)) & 0xFFFFu;
        const unsigned long long started = BitCount64(starts);
        if (seen + started >= count)
            break;
        seen += started;
        inItem = (item >> 15) & 1u;
        p += 16;
    }
#else
    (void)stop;
    (void)count;
    (void)seen;
    (void)inItem;
#endif
    return p;
}

long long ClampToLong(double d)
{
    if (std::isnan(d))
        return 0;
    if (d >= 9223372036854775807.0)
        return LLONG_MAX;
    if (d <= -9223372036854775808.0)
        return LLONG_MIN;
    return static_cast<long long>(d);
}

int ClampToInt(long long v)
{
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

// A finite value stays finite: the text "3.40282347e+38" written for FLT_MAX
// parses a little above it, and a double beyond the float range has no
// nearer float than the largest one. Infinities and NaN pass as they are.
float ToFloat(double d)
{
    if (d > FLT_MAX && !std::isinf(d))
        return FLT_MAX;
    if (d < -FLT_MAX && !std::isinf(d))
        return -FLT_MAX;
    return static_cast<float>(d);
}

// True for an optional sign followed by decimal digits only.
bool IsIntegerText(const std::string& text)
{
    size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (i >= text.size())
        return false;
    for (; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

double TextToDouble(const std::string& text)
{
    if (text.empty())
        return 0.0;
    double d = 0.0;
    if (KScanDouble(text.data(), text.data() + text.size(), d) == text.data())
        return 0.0;
    // 15 digits of a number near DBL_MAX ("1.79769313486232e+308") round past
    // it; only a written "inf" stands for infinity.
    if (std::isinf(d) && std::strpbrk(text.c_str(), "0123456789") != nullptr)
        return std::copysign(DBL_MAX, d);
    return d;
}

long long TextToLong(const std::string& text)
{
    if (IsIntegerText(text))
        return std::strtoll(text.c_str(), nullptr, 10); // saturates on overflow
    return ClampToLong(TextToDouble(text));
}

bool IsText(char type)
{
    return type == 'S' || type == 'T' || type == 'Q';
}

double ToDouble(const Value& v)
{
    switch (v.mType)
    {
    case 'C':
    case 'I':
    case 'L': return static_cast<double>(v.mInt);
    case 'F':
    case 'D': return v.mDouble;
    default: return IsText(v.mType) ? TextToDouble(v.mText) : 0.0;
    }
}

long long ToLong(const Value& v)
{
    switch (v.mType)
    {
    case 'C':
    case 'I':
    case 'L': return v.mInt;
    case 'F':
    case 'D': return ClampToLong(v.mDouble);
    default: return IsText(v.mType) ? TextToLong(v.mText) : 0;
    }
}

char ToChar(const Value& v)
{
    switch (v.mType)
    {
    case 'C':
    case 'I':
    case 'L': return static_cast<char>(v.mInt);
    case 'F':
    case 'D': return static_cast<char>(ClampToInt(ClampToLong(v.mDouble)));
    default: return IsText(v.mType) && !v.mText.empty() ? v.mText[0] : 0;
    }
}

// The text the ASCII form would hold for the value.
std::string ToText(const Value& v)
{
    char text[64];
    switch (v.mType)
    {
    case 'C': return v.mInt ? std::string(1, static_cast<char>(v.mInt)) : std::string();
    case 'I':
    case 'L': std::snprintf(text, sizeof(text), "%lld", v.mInt); return text;
    case 'F': KPrintDouble(text, sizeof(text), v.mDouble, 'g', 9); return text;
    case 'D': KPrintDouble(text, sizeof(text), v.mDouble, 'g', 15); return text;
    default: return IsText(v.mType) ? v.mText : std::string();
    }
}

// Time values: ticks, or seconds turned into ticks.
KTime DecodeTime(const Value& v, bool ticks)
{
    if (ticks)
        return KTime(ToLong(v));
    KTime time;
    time.SetSecondDouble(ToDouble(v));
    return time;
}

} // namespace

// ---------------------------------------------------------------------------
// Byte source: a window of the body layer.

bool KQoxPrivate::Fill(long long position, size_t need)
{
    if (mImage)
    {
        // The window is the whole body: nothing to fetch.
        UseImageWindow();
        return position >= 0 && position < mLimit;
    }
    // Reading on from the window (binary): its bytes from position on are
    // kept, and asked a little past its end it goes on from there, so that
    // each byte is read once and the stretches the check value follows join.
    long long start = position;
    size_t kept = 0;
    const long long windowEnd = mInPos + static_cast<long long>(mInLen);
    if (mForm != KQox::eASCII && mInLen > 0 && mWindow == mIn.data() && position >= mInPos &&
        position <= windowEnd + kWindowSlack &&
        position + static_cast<long long>(need) <= windowEnd + static_cast<long long>(mIn.size()))
    {
        if (position < windowEnd)
        {
            kept = static_cast<size_t>(windowEnd - position);
            std::memmove(mIn.data(), mIn.data() + (position - mInPos), kept);
        }
        else
        {
            start = windowEnd;
        }
    }
    mInLen = 0;
    if (!mBody || position < 0 || position >= mLimit || mIn.empty())
        return false;
    long long left = mLimit - start;
    size_t want = left < static_cast<long long>(mIn.size()) ? static_cast<size_t>(left) : mIn.size();
    unsigned int got = want > kept ? mBody->ReadAt(static_cast<long>(start + static_cast<long long>(kept)),
                                                   mIn.data() + kept, static_cast<unsigned int>(want - kept))
                                   : 0;
    mWindow = mIn.data();
    mInPos = start;
    mInLen = kept + got;
    return start + static_cast<long long>(mInLen) > position;
}

bool KQoxPrivate::ReadAt(long long position, void* data, size_t n)
{
    if (n == 0)
        return true;
    if (position < 0 || position > mLimit ||
        static_cast<unsigned long long>(n) > static_cast<unsigned long long>(mLimit - position))
        return false;
    unsigned char* out = static_cast<unsigned char*>(data);
    if (mImage)
    {
        std::memcpy(out, mImage + position, n);
        return true;
    }
    while (n > 0)
    {
        if (position >= mInPos && position < mInPos + static_cast<long long>(mInLen))
        {
            size_t offset = static_cast<size_t>(position - mInPos);
            size_t k = mInLen - offset < n ? mInLen - offset : n;
            std::memcpy(out, mWindow + offset, k);
            out += k;
            n -= k;
            position += static_cast<long long>(k);
            continue;
        }
        if (n >= mIn.size())
        {
            // Large reads bypass the window.
            while (n > 0)
            {
                unsigned int chunk = n < kMaxIoChunk ? static_cast<unsigned int>(n) : kMaxIoChunk;
                if (mBody->ReadAt(static_cast<long>(position), out, chunk) != chunk)
                    return false;
                out += chunk;
                n -= chunk;
                position += chunk;
            }
            mInLen = 0;
            return true;
        }
        if (!Fill(position))
            return false;
    }
    return true;
}

const unsigned char* KQoxPrivate::WindowAt(long long position, size_t n)
{
    if (position < mInPos || position + static_cast<long long>(n) > mInPos + static_cast<long long>(mInLen))
    {
        if (mImage || n > mIn.size() || !Fill(position, n) ||
            position + static_cast<long long>(n) > mInPos + static_cast<long long>(mInLen))
            return nullptr;
    }
    return mWindow + static_cast<size_t>(position - mInPos);
}

// Record headers and end markers are read through small windows of their
// own, so indexing a list leaves the value window where it is and fetches a
// few bytes per record however far apart the records lie. Headers are read
// forwards; the end markers of nested blocks lie together at the end of
// their blocks, innermost first, and are read backwards.
bool KQoxPrivate::ReadIndexAt(long long position, void* data, size_t n, bool backwards, bool dense)
{
    if (n == 0)
        return true;
    if (position < 0 || n > kPeekSize || position + static_cast<long long>(n) > mLimit)
        return ReadAt(position, data, n);
    long long end = position + static_cast<long long>(n);
    if (position >= mInPos && end <= mInPos + static_cast<long long>(mInLen))
    {
        std::memcpy(data, mWindow + static_cast<size_t>(position - mInPos), n);
        return true;
    }
    PeekWindow& window = backwards ? mMarkWindow : mHeadWindow;
    if (position < window.mPos || end > window.mPos + static_cast<long long>(window.mLen))
    {
        // End markers come a page's worth at a time, heads close to the one
        // before a run at a time. A head far from the one before (a section
        // of large records) is read alone: the bytes between are the value
        // window's to read, once, when the records are.
        const long long reach = backwards ? static_cast<long long>(kPeekSize)
                                : dense   ? static_cast<long long>(kDenseRun)
                                          : static_cast<long long>(std::max(n, kSparsePeek));
        long long start = backwards ? end - reach : position;
        if (start < mBodyStart)
            start = mBodyStart < position ? mBodyStart : position;
        long long stop = start + reach < mLimit ? start + reach : mLimit;
        window.mLen = 0;
        const size_t need = std::max(static_cast<size_t>(reach), static_cast<size_t>(kPeekSize));
        if (window.mBytes.size() < need)
            window.mBytes.resize(need);
        window.mLen =
            mBody->ReadAt(static_cast<long>(start), window.mBytes.data(), static_cast<unsigned int>(stop - start));
        window.mPos = start;
        if (end > window.mPos + static_cast<long long>(window.mLen))
            return false;
    }
    std::memcpy(data, &window.mBytes[static_cast<size_t>(position - window.mPos)], n);
    return true;
}

const unsigned char* KQoxPrivate::SpanAt(long long position, long long end, size_t& n)
{
    n = 0;
    if (end > mLimit)
        end = mLimit;
    if (position >= end)
        return nullptr;
    if (position < mInPos || position >= mInPos + static_cast<long long>(mInLen))
    {
        if (!Fill(position))
            return nullptr;
    }
    long long stop = mInPos + static_cast<long long>(mInLen);
    if (stop > end)
        stop = end;
    n = static_cast<size_t>(stop - position);
    return mWindow + static_cast<size_t>(position - mInPos);
}

void KQoxPrivate::UseImage(const unsigned char* image)
{
    mImage = image;
    mCheckRegister = 0xFFFFFFFFu;
    mCheckFront = 0;
    if (mImage)
    {
        UseImageWindow();
    }
    else
    {
        mWindow = nullptr;
        mInPos = 0;
        mInLen = 0;
    }
}

void KQoxPrivate::CheckUpTo(long long end)
{
    if (end > static_cast<long long>(mFileSize))
        end = static_cast<long long>(mFileSize);
    if (mCheckFront < end)
    {
        mCheckRegister = kcrc::Update(mCheckRegister, mImage + mCheckFront, static_cast<size_t>(end - mCheckFront));
        mCheckFront = end;
    }
}

bool KQoxPrivate::CheckImage()
{
    CheckUpTo(static_cast<long long>(mFileSize));
    return mFileSize >= static_cast<unsigned long long>(kCheckSize) && mCheckRegister == KCrcFile::eResidue;
}

int KQoxPrivate::CharAtSlow(long long position)
{
    if (!Fill(position))
        return -1;
    return mWindow[static_cast<size_t>(position - mInPos)];
}

// ---------------------------------------------------------------------------
// Indexing

bool KQoxPrivate::Corrupted()
{
    if (mForm == KQox::eASCII && mMode == eReading)
        mTextDamaged = true;
    if (!mReadStack.empty())
    {
        mReadStack.back()->mRemain = 0;
    }
    return Fail(KQox::eFILE_CORRUPTED);
}

int KQoxPrivate::FindSlotIndex(const ReadList& list, char kind, const char* name, size_t length,
                               unsigned long long prefix, size_t hash)
{
    const size_t mask = list.mSlotTable.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask)
    {
        const int slot = list.mSlotTable[at];
        if (slot < 0)
            return -1;
        const Slot& s = list.mSlots[static_cast<size_t>(slot)];
        if (s.mHash == hash && list.Is(s, kind, name, length, prefix))
            return slot;
    }
}

// A few slots are searched in order. A name read from a file may hold a
// NUL byte: such a slot never matches a name given as a C string, whose
// length stops at its first NUL.
static int FindSlotInOrder(const ReadList& list, char kind, const char* name, size_t length, unsigned long long prefix)
{
    for (size_t i = 0; i < list.mSlots.size(); ++i)
        if (list.Is(list.mSlots[i], kind, name, length, prefix))
            return static_cast<int>(i);
    return -1;
}

void KQoxPrivate::IndexSlots(ReadList& list)
{
    // Slots searched in order so far carry no hash yet.
    if (list.mSlotTable.empty())
        for (Slot& slot : list.mSlots)
        {
            const Record& first = list.mRecords[static_cast<size_t>(slot.mFirst)];
            slot.mHash = SlotHash(first.mKind, list.NameOf(first), first.mLength);
        }
    size_t size = 16;
    while (size < list.mSlots.size() * 2)
        size *= 2;
    list.mSlotTable.assign(size, -1);
    const size_t mask = size - 1;
    for (size_t i = 0; i < list.mSlots.size(); ++i)
    {
        size_t at = list.mSlots[i].mHash & mask;
        while (list.mSlotTable[at] >= 0)
            at = (at + 1) & mask;
        list.mSlotTable[at] = static_cast<int>(i);
    }
}

Slot* KQoxPrivate::FindSlot(ReadList& list, char kind, const char* name, size_t length, unsigned long long prefix)
{
    if (list.mLastSlot >= 0)
    {
        Slot& last = list.mSlots[static_cast<size_t>(list.mLastSlot)];
        if (list.Is(last, kind, name, length, prefix))
            return &last;
    }
    const int slot = list.mSlotTable.empty()
                         ? FindSlotInOrder(list, kind, name, length, prefix)
                         : FindSlotIndex(list, kind, name, length, prefix, SlotHash(kind, name, length));
    if (slot < 0)
        return nullptr;
    list.mLastSlot = slot;
    return &list.mSlots[static_cast<size_t>(slot)];
}

void KQoxPrivate::MakeSlots(ReadList& list)
{
    list.mSlots.clear();
    list.mSlotTable.clear();
    list.mLastSlot = -1;
    list.mSlotted = true;
    for (size_t i = 0; i < list.mRecords.size(); ++i)
        SlotRecord(list, static_cast<int>(i));
}

void KQoxPrivate::SlotRecord(ReadList& list, int index)
{
    Record& record = list.mRecords[static_cast<size_t>(index)];
    const char* name = list.NameOf(record);
    const unsigned long long prefix = record.Prefix();
    int slot = -1;
    if (list.mLastSlot >= 0 &&
        list.Is(list.mSlots[static_cast<size_t>(list.mLastSlot)], record.mKind, name, record.mLength, prefix))
        slot = list.mLastSlot;
    // A hash is worked out only once the slots are indexed by it.
    size_t hash = 0;
    if (slot < 0 && list.mSlotTable.empty())
        slot = FindSlotInOrder(list, record.mKind, name, record.mLength, prefix);
    else if (slot < 0)
    {
        hash = SlotHash(record.mKind, name, record.mLength);
        slot = FindSlotIndex(list, record.mKind, name, record.mLength, prefix, hash);
    }
    if (slot < 0)
    {
        slot = static_cast<int>(list.mSlots.size());
        list.mSlots.emplace_back();
        Slot& added = list.mSlots.back();
        added.mHash = hash;
        added.mFirst = index;
        // The table stays at most half full.
        if (list.mSlots.size() > kLinearSlots && list.mSlots.size() * 2 > list.mSlotTable.size())
            IndexSlots(list);
        else if (!list.mSlotTable.empty())
        {
            const size_t mask = list.mSlotTable.size() - 1;
            size_t at = hash & mask;
            while (list.mSlotTable[at] >= 0)
                at = (at + 1) & mask;
            list.mSlotTable[at] = slot;
        }
    }
    list.mLastSlot = slot;
    Slot& s = list.mSlots[static_cast<size_t>(slot)];
    record.mSlot = slot;
    record.mNextSame = -1;
    if (s.mLast >= 0)
        list.mRecords[static_cast<size_t>(s.mLast)].mNextSame = index;
    s.mLast = index;
    ++s.mCount;
    // The records of a name passed over are its first ones: the cursor is
    // the first one not passed (a record indexed after all of its name
    // were passed becomes it).
    if (s.mCursor < 0 && !record.mPassed)
        s.mCursor = index;
}

int KQoxPrivate::FindCursor(ReadList& list, char kind, const char* name, size_t length, unsigned long long prefix)
{
    if (!list.mSlotted)
    {
        // Every record before mPassedBelow is passed over: the name's first
        // record not passed from there on is its cursor.
        const int count = static_cast<int>(list.mRecords.size());
        const int stop = count - list.mPassedBelow <= kLinearRecords ? count : list.mPassedBelow + kLinearRecords;
        for (int i = list.mPassedBelow; i < stop; ++i)
        {
            const Record& record = list.mRecords[static_cast<size_t>(i)];
            if (!record.mPassed && list.Is(record, kind, name, length, prefix))
                return i;
        }
        if (stop == count)
            return -1;
        MakeSlots(list);
    }
    // The field after the one read last, when it is the next unread field
    // of that name; else the name's own cursor.
    if (list.mNext < static_cast<int>(list.mRecords.size()))
    {
        const Record& next = list.mRecords[static_cast<size_t>(list.mNext)];
        if (list.mSlots[static_cast<size_t>(next.mSlot)].mCursor == list.mNext &&
            list.Is(next, kind, name, length, prefix))
            return list.mNext;
    }
    const Slot* slot = FindSlot(list, kind, name, length, prefix);
    return slot ? slot->mCursor : -1;
}

int KQoxPrivate::Lookup(ReadList& list, char kind, const char* name, size_t length, unsigned long long prefix)
{
    const unsigned long long bit = NameBit(kind, name, length);
    for (;;)
    {
        if (list.mNameBits & bit)
        {
            const int record = FindCursor(list, kind, name, length, prefix);
            if (record >= 0)
                return record;
        }
        if (!list.mOpen || !IndexMore(list))
            return -1;
    }
}

namespace {

// Whether two records of a list have the same kind and name.
bool SameName(const ReadList& list, const Record& a, const Record& b)
{
    return a.Prefix() == b.Prefix() && a.mLength == b.mLength && a.mKind == b.mKind &&
           (a.mLength <= kNameHead || a.mName == b.mName ||
            std::memcmp(list.mNames.data() + a.mName, list.mNames.data() + b.mName, a.mLength) == 0);
}

} // namespace

void KQoxPrivate::PassRecordElsewhere(ReadList& list, int record)
{
    Record& r = list.mRecords[static_cast<size_t>(record)];
    const int count = static_cast<int>(list.mRecords.size());
    if (!list.mSlotted)
    {
        if (!r.mPassed && record < list.mPassedBelow + kLinearRecords)
        {
            // The name's first record not passed (no other of its name
            // between mPassedBelow and it) is passed alone.
            int before = list.mPassedBelow;
            while (before < record && (list.mRecords[static_cast<size_t>(before)].mPassed ||
                                       !SameName(list, list.mRecords[static_cast<size_t>(before)], r)))
                ++before;
            if (before == record)
            {
                r.mPassed = true;
                return;
            }
        }
        if (count <= kLinearRecords)
        {
            // The records of the name up to this one are passed, those after it not.
            for (int i = 0; i < count; ++i)
            {
                Record& other = list.mRecords[static_cast<size_t>(i)];
                if (SameName(list, other, r))
                    other.mPassed = i <= record;
            }
            list.mPassedBelow = 0;
            while (list.mPassedBelow < count && list.mRecords[static_cast<size_t>(list.mPassedBelow)].mPassed)
                ++list.mPassedBelow;
            return;
        }
        MakeSlots(list);
    }
    list.mSlots[static_cast<size_t>(r.mSlot)].mCursor = r.mNextSame;
}

int KQoxPrivate::CountOf(ReadList& list, char kind, const char* name)
{
    if (!name)
        name = "";
    size_t length;
    const unsigned long long prefix = NameKey(name, length);
    if ((list.mNameBits & NameBit(kind, name, length)) == 0)
        return 0;
    if (!list.mSlotted && list.mRecords.size() <= static_cast<size_t>(kLinearRecords))
    {
        int count = 0;
        for (const Record& record : list.mRecords)
            count += list.Is(record, kind, name, length, prefix) ? 1 : 0;
        return count;
    }
    if (!list.mSlotted)
        MakeSlots(list);
    const Slot* slot = FindSlot(list, kind, name, length, prefix);
    return slot ? slot->mCount : 0;
}

[[gnu::always_inline]] inline bool KQoxPrivate::AddName(ReadList& list, Record& record, const char* name, size_t length,
                                                        bool padded)
{
    // Record indices are ints.
    if (list.mRecords.size() > static_cast<size_t>(INT_MAX))
        return false;
    record.mLength = length;
    const unsigned long long prefix =
        !padded ? NamePrefix(name, length)
        : length >= kNameHead
            ? kbytes::GetLE64(reinterpret_cast<const unsigned char*>(name))
            : kbytes::GetLE64(reinterpret_cast<const unsigned char*>(name)) & ((1ull << (8 * length)) - 1);
    kbytes::PutLE64(record.mHead, prefix);
    list.mNameBits |= NameBit(record.mKind, name, length);
    if (length > kNameHead)
    {
        // A run of one name is kept once.
        const size_t index = list.mRecords.size() - 1;
        const Record* before = index > 0 ? &list.mRecords[index - 1] : nullptr;
        if (before && before->mLength == length && std::memcmp(list.mNames.data() + before->mName, name, length) == 0)
            record.mName = before->mName;
        else
        {
            record.mName = list.mNames.size();
            list.mNames.insert(list.mNames.end(), name, name + length);
            list.mNames.push_back(0);
        }
    }
    if (record.mKind == kSection)
        list.mSections.push_back(static_cast<int>(list.mRecords.size() - 1));
    return true;
}

std::unique_ptr<ReadList> KQoxPrivate::NewList()
{
    if (mSpareLists.empty())
        return std::unique_ptr<ReadList>(new ReadList);
    std::unique_ptr<ReadList> list = std::move(mSpareLists.back());
    mSpareLists.pop_back();
    list->Reset();
    return list;
}

void KQoxPrivate::PopList()
{
    if (mReadStack.empty())
        return;
    // A text block left before all of it was indexed is indexed to its
    // closing brace, whose place its parent needs to go on.
    ReadList& top = *mReadStack.back();
    if (top.mOpen)
        IndexAll(top);
    GiveEndToOwner(top);
    if (mSpareLists.size() < kSpareLists)
        mSpareLists.push_back(std::move(mReadStack.back()));
    mReadStack.pop_back();
    StackChanged();
}

bool KQoxPrivate::IndexList(ReadList& list, bool topLevel)
{
    return mForm == KQox::eASCII ? IndexAscii(list) : IndexBinary(list, topLevel);
}

namespace {

// Indexes the records of a binary list. at(position, n, buffer) gives the n
// bytes at position (null when they cannot be read); what it gives stays
// valid until it is next asked with the same buffer: 0 for a record's head
// (or the list's end marker), 2 for the name and sizes after it, 1 for a
// section's version.
template <typename Bytes>
bool IndexBinaryRecords(KQoxPrivate& d, ReadList& list, bool topLevel, Bytes at)
{
    // A block's end marker is at mEnd; the top-level list's is found.
    long long position = list.mStart;
    long long limit = topLevel ? d.mLimit - 1 : list.mEnd;
    for (;;)
    {
        if (position > limit)
            return false;
        if (position == limit)
        {
            const unsigned char* marker = at(position, 1, 0);
            if (!marker || marker[0] != 0)
                return false;
            break;
        }
        // A record needs more than its head before the list's end: the
        // head is read at once unless only an end marker can be there.
        const size_t headBytes = limit - position >= kSizesOffset ? kSizesOffset : 1;
        const unsigned char* head = at(position, headBytes, 0);
        if (!head)
            return false;
        if (head[0] == 0)
        {
            if (!topLevel)
                return false; // a block ends at its announced end only
            limit = position;
            break;
        }
        if (headBytes < kSizesOffset)
            return false; // no room for a record
        const char kind = static_cast<char>(head[0]);
        if (kind != kField && kind != kSection)
            return false;
        long long nameLength = kbytes::GetLE16(head + 1);
        long long headerEnd = position + kRecordFixed + nameLength;
        if (headerEnd > limit)
            return false;
        // The name and the sizes after it, in one read.
        const unsigned char* nameAndSizes =
            at(position + kSizesOffset, static_cast<size_t>(nameLength) + kSizesBytes, 2);
        if (!nameAndSizes)
            return false;
        const unsigned char* sizes = nameAndSizes + nameLength;
        unsigned long long count = kbytes::GetLE32(sizes);
        unsigned long long valueBytes = kbytes::GetLE64(sizes + 4);
        unsigned long long blockBytes = kbytes::GetLE64(sizes + 12);
        unsigned long long room = static_cast<unsigned long long>(limit - headerEnd);
        if (valueBytes > room || blockBytes > room - valueBytes)
            return false;
        // Every value takes at least two bytes (type code and payload).
        if (count * 2 > valueBytes || (count == 0) != (valueBytes == 0))
            return false;
        Record& record = list.mRecords.emplace_back();
        record.mKind = kind;
        record.mCount = static_cast<unsigned int>(count);
        record.mValuesPos = headerEnd;
        record.mValuesEnd = headerEnd + static_cast<long long>(valueBytes);
        if (blockBytes > 0)
        {
            record.mBlockPos = record.mValuesEnd;
            record.mBlockEnd = record.mValuesEnd + static_cast<long long>(blockBytes) - 1;
        }
        if (record.mKind == kSection)
        {
            if (count != 1 || valueBytes != 5 || blockBytes == 0)
                return false;
            const unsigned char* version = at(headerEnd, 5, 1);
            if (!version || version[0] != 'I')
                return false;
            record.mVersion = static_cast<int32_t>(kbytes::GetLE32(version + 1));
        }
        // The sizes follow the name: eight bytes can be read from its first.
        if (!d.AddName(list, record, reinterpret_cast<const char*>(nameAndSizes), static_cast<size_t>(nameLength),
                       true))
            return false;
        position = record.mValuesEnd + static_cast<long long>(blockBytes);
    }
    if (topLevel)
        list.mEnd = limit;
    return true;
}

// The first bytes of a block about to be indexed are asked for from memory
// at once: each record head is found from the one before, so reading them
// would otherwise wait for each in turn.
void PrefetchBlock(const unsigned char* bytes, long long n)
{
    const long long reach = n < kPrefetchBytes ? n : kPrefetchBytes;
    for (long long at = 0; at < reach; at += kCacheLine)
        __builtin_prefetch(bytes + at);
}

} // namespace

bool KQoxPrivate::IndexBinary(ReadList& list, bool topLevel)
{
    if (mImage)
    {
        // Read in place: the heads are where they lie.
        const unsigned char* image = mImage;
        if (!topLevel)
            PrefetchBlock(image + list.mStart, list.mEnd - list.mStart);
        return IndexBinaryRecords(*this, list, topLevel,
                                  [image](long long position, size_t, int) { return image + position; });
    }
    // A block that fits in the value window is indexed where it lies there:
    // its values are read from the same bytes next.
    if (!topLevel && list.mEnd >= list.mStart && list.mEnd - list.mStart < static_cast<long long>(mIn.size()))
    {
        const long long start = list.mStart;
        if (const unsigned char* bytes = WindowAt(start, static_cast<size_t>(list.mEnd - start + 1)))
        {
            PrefetchBlock(bytes, list.mEnd - start);
            return IndexBinaryRecords(*this, list, false, [bytes, start](long long position, size_t, int) {
                return bytes + (position - start);
            });
        }
    }
    // Elsewhere the record heads come through the small windows: those
    // close together (many small records) a run at a time, those far apart
    // a few bytes each. Names of up to 256 bytes are read with their sizes
    // into the stack.
    unsigned char small[3][256 + kSizesBytes];
    std::string large;
    long long lastHead = -1;
    bool dense = false;
    return IndexBinaryRecords(*this, list, topLevel,
                              [&](long long position, size_t n, int buffer) -> const unsigned char* {
                                  if (buffer == 0)
                                  {
                                      dense = lastHead >= 0 && position - lastHead <= kDenseHeads;
                                      lastHead = position;
                                  }
                                  unsigned char* out = small[buffer];
                                  if (n > sizeof(small[buffer]))
                                  {
                                      large.resize(n);
                                      out = reinterpret_cast<unsigned char*>(&large[0]);
                                  }
                                  // End markers lie together at the end of their blocks: read backwards.
                                  const bool backwards = n == 1 && !topLevel && position == list.mEnd;
                                  return ReadIndexAt(position, out, n, backwards, dense) ? out : nullptr;
                              });
}

bool KQoxPrivate::SkipAsciiSpaces(long long& position, long long end)
{
    while (position < end)
    {
        int c = CharAt(position);
        if (c != ' ' && c != '\t')
            break;
        ++position;
    }
    return position < end;
}

bool KQoxPrivate::ReadAsciiQuoted(long long& position, long long end, std::string* text)
{
    if (CharAt(position) != '"')
        return false;
    ++position;
    // A text without escapes that ends in the window is taken at once.
    size_t n = 0;
    if (const unsigned char* first = SpanAt(position, end, n))
    {
        const unsigned char* p = first;
        const unsigned char* stop = first + n;
        // The writer escapes every byte below 0x20 and 0x7F: one standing
        // bare is damage, refused below.
        while (p < stop && *p != '"' && *p != '\\' && *p >= 0x20 && *p != 0x7F)
            ++p;
        if (p < stop && *p == '"')
        {
            if (text)
                text->append(reinterpret_cast<const char*>(first), static_cast<size_t>(p - first));
            position += p - first + 1;
            return true;
        }
    }
    while (position < end)
    {
        int c = CharAt(position++);
        if (c < 0x20 || c == 0x7F)
            return false;
        if (c == '"')
            return true;
        if (c == '\\')
        {
            if (position >= end)
                return false;
            int e = CharAt(position++);
            switch (e)
            {
            case 'n': c = '\n'; break;
            case 'r': c = '\r'; break;
            case 't': c = '\t'; break;
            case '"': c = '"'; break;
            case '\\': c = '\\'; break;
            case 'x':
            {
                int v = 0;
                for (int k = 0; k < 2; ++k)
                {
                    if (position >= end)
                        return false;
                    int h = CharAt(position++);
                    if (h >= '0' && h <= '9')
                        v = v * 16 + (h - '0');
                    else if (h >= 'a' && h <= 'f')
                        v = v * 16 + (h - 'a' + 10);
                    else if (h >= 'A' && h <= 'F')
                        v = v * 16 + (h - 'A' + 10);
                    else
                        return false;
                }
                c = v;
                break;
            }
            default: return false;
            }
        }
        if (text)
            text->push_back(static_cast<char>(c));
    }
    return false;
}

// Passes over the bare characters from position, a window's run at a time,
// appending them to text when given.
void KQoxPrivate::SkipBare(long long& position, long long end, std::string* text)
{
    for (;;)
    {
        size_t n = 0;
        const unsigned char* first = SpanAt(position, end, n);
        if (!first)
            return;
        const unsigned char* p = first;
        const unsigned char* stop = first + n;
        while (p < stop && (kClasses.mClass[*p] & kBareClass))
            ++p;
        if (text)
            text->append(reinterpret_cast<const char*>(first), static_cast<size_t>(p - first));
        position += p - first;
        if (p < stop)
            return;
    }
}

bool KQoxPrivate::ReadAsciiName(long long& position, long long end, std::string& name, int closing)
{
    name.clear();
    if (position >= end)
        return false;
    if (CharAt(position) == '"')
        return ReadAsciiQuoted(position, end, &name) && position < end && CharAt(position) == closing;
    SkipBare(position, end, &name);
    return !name.empty() && position < end && CharAt(position) == closing;
}

// Reads one ASCII value token (its text only when decodeText).
bool KQoxPrivate::ReadAsciiValue(long long& position, long long end, Value& value, bool decodeText)
{
    if (position >= end)
        return false;
    int c = CharAt(position);
    value.mText.clear();
    if (c == '"')
    {
        value.mType = 'Q';
        if (!ReadAsciiQuoted(position, end, decodeText ? &value.mText : nullptr))
            return false;
    }
    else if (c == '*' && position + 1 < end && IsArrayCode(CharAt(position + 1)))
    {
        // A large array is counted once and kept: the same items, ending
        // inside this value's bounds, whenever it is met again.
        long long at = position;
        if (const ArrayExtent* known = NoteLargeArray(at, end))
        {
            value.mType = known->mCode;
            value.mRawPos = known->mItems;
            value.mRawSize = known->mCount;
            position = at;
            return true;
        }
        return ReadAsciiArrayHead(position, end, value);
    }
    else if (c == '*')
    {
        value.mType = 'R';
        ++position;
        unsigned long long size = 0;
        int digits = 0;
        while (position < end && CharAt(position) >= '0' && CharAt(position) <= '9')
        {
            if (++digits > 18)
                return false;
            size = size * 10 + static_cast<unsigned long long>(CharAt(position++) - '0');
        }
        if (digits == 0 || position >= end || CharAt(position) != ':')
            return false;
        ++position;
        unsigned long long need = (size + 2) / 3 * 4;
        if (need > static_cast<unsigned long long>(end - position))
            return false;
        value.mRawPos = position;
        value.mRawSize = size;
        // The base64 text: its lines may hold comments, as arrays may.
        unsigned long long got = 0;
        while (got < need)
        {
            if (position >= end)
                return false;
            int k = CharAt(position++);
            if (Base64Digit(k) >= 0 || k == '=')
                ++got;
            else if (k == ';')
                while (position < end && CharAt(position) != '\n')
                    ++position;
            else if (!IsSpace(k))
                return false;
        }
    }
    else if (IsBareChar(c))
    {
        value.mType = 'T';
        SkipBare(position, end, decodeText ? &value.mText : nullptr);
    }
    else
    {
        return false;
    }
    return true;
}

// An ASCII typed array: "*", its code, the item count, ":" and the items
// separated by blanks, line ends and comments (";" to the line end). The
// items are passed over here (each at least one character and a separator,
// so the count is checked against the text left first); they are converted
// when the value is read.
bool KQoxPrivate::ReadAsciiArrayHead(long long& position, long long end, Value& value, std::vector<ArrayMark>* marks)
{
    value.mType = static_cast<char>(CharAt(position + 1));
    position += 2;
    unsigned long long count = 0;
    int digits = 0;
    while (position < end && CharAt(position) >= '0' && CharAt(position) <= '9')
    {
        if (++digits > 10)
            return false;
        count = count * 10 + static_cast<unsigned long long>(CharAt(position++) - '0');
    }
    if (digits == 0 || count > 0xFFFFFFFFull || position >= end || CharAt(position) != ':')
        return false;
    ++position;
    if (count > static_cast<unsigned long long>(end - position + 1) / 2)
        return false;
    value.mRawPos = position;
    value.mRawSize = count;
    // Each item: blanks and comments, then at least one item character. An
    // item or a comment cut by the end of a window carries on in the next one.
    unsigned long long seen = 0;
    bool inItem = false;
    bool inComment = false;
    while (seen < count || inItem)
    {
        size_t n = 0;
        const unsigned char* first = SpanAt(position, end, n);
        if (!first)
            break;
        if (marks)
            marks->push_back(ArrayMark{position, seen, inItem, inComment});
        const unsigned char* p = first;
        const unsigned char* stop = first + n;
        while (p < stop)
        {
            if (inComment)
            {
                p = SkipComment(p, stop);
                if (p == stop)
                    break;
                inComment = false;
            }
            p = CountItemBlocks(p, stop, count, seen, inItem);
            if (p == stop)
                break;
            if (inItem)
            {
                p = SkipClass(p, stop, kItemClass);
                if (p == stop)
                    break;
                inItem = false;
                if (seen == count)
                    break;
            }
            p = SkipClass(p, stop, kSpaceClass);
            if (p == stop)
                break;
            if (*p == ';')
            {
                inComment = true;
                continue;
            }
            if (seen == count || !(kClasses.mClass[*p] & kItemClass))
                return false;
            ++seen;
            inItem = true;
        }
        position += p - first;
        if (p < stop)
            break; // the last item ended inside this run
    }
    return seen == count;
}

// Passes over the blanks and the ',' after a value; true when there was a ','.
bool KQoxPrivate::SkipAsciiSeparator(long long& position, long long end)
{
    SkipAsciiSpaces(position, end);
    if (position >= end || CharAt(position) != ',')
        return false;
    ++position;
    SkipAsciiSpaces(position, end);
    return true;
}

bool KQoxPrivate::SkipAsciiValue(long long& position, long long end)
{
    Value value;
    return ReadAsciiValue(position, end, value, false);
}

// At the "*" of an ASCII value. Only arrays of many items are kept: a small
// one is counted again whenever its list is indexed, which costs less.
const ArrayExtent* KQoxPrivate::NoteLargeArray(long long& position, long long end)
{
    const long long head = position;
    if (const ArrayExtent* known = FindLargeArray(head))
    {
        position = known->mEnd <= end ? known->mEnd : head + 1;
        return known->mEnd <= end ? known : nullptr;
    }
    long long at = position + 2;
    unsigned long long count = 0;
    int digits = 0;
    if (at < end && IsArrayCode(CharAt(position + 1)))
        for (; at < end && digits <= 10 && CharAt(at) >= '0' && CharAt(at) <= '9'; ++at, ++digits)
            count = count * 10 + static_cast<unsigned long long>(CharAt(at) - '0');
    Value value;
    at = head;
    ArrayExtent extent;
    if (count < kLargeArrayItems || digits > 10 ||
        !ReadAsciiArrayHead(at, end, value, count >= kSideBySideItems ? &extent.mMarks : nullptr))
    {
        position = head + 1;
        return nullptr;
    }
    extent.mHead = head;
    extent.mItems = value.mRawPos;
    extent.mEnd = at;
    extent.mCount = value.mRawSize;
    extent.mCode = value.mType;
    position = at;
    // Arrays are mostly met in file order: the insertion is at the end.
    auto place = std::lower_bound(mArrays.begin(), mArrays.end(), head,
                                  [](const ArrayExtent& a, long long h) { return a.mHead < h; });
    return &*mArrays.insert(place, std::move(extent));
}

const ArrayExtent* KQoxPrivate::FindLargeArray(long long head) const
{
    if (!mArrays.empty() && mArrays.back().mHead == head)
        return &mArrays.back();
    auto found = std::lower_bound(mArrays.begin(), mArrays.end(), head,
                                  [](const ArrayExtent& a, long long at) { return a.mHead < at; });
    return found != mArrays.end() && found->mHead == head ? &*found : nullptr;
}

// Follows quoted texts, comments and arrays as the record syntax does, so
// that only braces of blocks are paired. The blocks inside are kept, in
// the order of their opening braces, for when they are indexed.
bool KQoxPrivate::SkipAsciiBlock(long long from, long long bound, long long& close)
{
    // Blocks are mostly passed over in file order: those found are
    // appended, and moved into place when an earlier stretch was passed.
    const size_t first = mBraces.size();
    std::vector<size_t>& open = mOpenBraces;
    open.clear();
    long long position = from;
    bool closed = false;
    while (position < bound && !closed)
    {
        size_t n = 0;
        const unsigned char* span = SpanAt(position, bound, n);
        if (!span)
            break;
        const unsigned char* hit = FindClass(span, span + n, kStructuralClass);
        position += hit - span;
        if (hit == span + n)
            continue;
        const int c = *hit;
        if (c == '"')
        {
            if (!ReadAsciiQuoted(position, bound, nullptr))
                break;
            continue;
        }
        if (c == ';')
        {
            while (position < bound && CharAt(position) != '\n')
                ++position;
            continue;
        }
        if (c == '*')
        {
            // A large array is counted here, while its text is at hand, and
            // passed over: its items hold no character this pass stops at.
            NoteLargeArray(position, bound);
            continue;
        }
        if (c == '{')
        {
            // A block passed over before (when a list around it was) is
            // jumped: its inner blocks are kept already.
            const long long known = first > 0 ? KnownClose(position) : -1;
            if (known > position)
            {
                position = known + 1;
                continue;
            }
            open.push_back(mBraces.size());
            mBraces.push_back(Brace{position, -1});
        }
        else if (c == '}')
        {
            if (open.empty())
            {
                close = position;
                closed = true;
                continue;
            }
            mBraces[open.back()].mClose = position;
            open.pop_back();
        }
        ++position;
    }
    if (!closed)
    {
        mBraces.resize(first);
        return false;
    }
    if (first > 0 && first < mBraces.size() && mBraces[first - 1].mOpen > mBraces[first].mOpen)
        std::inplace_merge(mBraces.begin(), mBraces.begin() + static_cast<std::ptrdiff_t>(first), mBraces.end(),
                           [](const Brace& a, const Brace& b) { return a.mOpen < b.mOpen; });
    return true;
}

long long KQoxPrivate::KnownClose(long long open)
{
    if (mBraces.empty())
        return -1;
    // Indexing meets the blocks in file order: the entry after the one
    // found last is tried first.
    size_t at = mBraceHint;
    if (at >= mBraces.size() || mBraces[at].mOpen != open)
    {
        auto found = std::lower_bound(mBraces.begin(), mBraces.end(), open,
                                      [](const Brace& b, long long o) { return b.mOpen < o; });
        if (found == mBraces.end() || found->mOpen != open)
            return -1;
        at = static_cast<size_t>(found - mBraces.begin());
    }
    mBraceHint = at + 1;
    return mBraces[at].mClose;
}

namespace {

// Blanks and comment lines between records; false on unreadable text.
bool SkipAsciiGaps(KQoxPrivate& d, long long& position, long long end)
{
    while (position < end)
    {
        const int c = d.CharAt(position);
        if (c < 0)
            return false;
        if (IsSpace(c))
            ++position;
        else if (c == ';')
            while (position < end && d.CharAt(position) != '\n')
                ++position;
        else
            break;
    }
    return true;
}

// The rest of a record's line after its values or its block: blanks, a
// comment and the line end.
bool EndAsciiRecordLine(KQoxPrivate& d, long long& position, long long end)
{
    d.SkipAsciiSpaces(position, end);
    if (position < end && d.CharAt(position) == ';')
        while (position < end && d.CharAt(position) != '\n')
            ++position;
    if (position < end && d.CharAt(position) == '\r')
        ++position;
    if (position >= end || d.CharAt(position) != '\n')
        return false;
    ++position;
    return true;
}

} // namespace

bool KQoxPrivate::IndexAscii(ReadList& list)
{
    if (!list.mOpen)
        return true;
    // Indexing stops only after a record with a block whose end is not
    // known: it goes on from the list's start or past that block.
    long long position = list.mStart;
    // A block whose end is not known yet closes at the first "}" where a
    // record could start.
    const long long end = list.mEnd >= 0 ? list.mEnd : list.mBound;
    if (list.mPending >= 0)
    {
        // The end of the last record's block: known once the block was
        // read, found by passing over it otherwise.
        Record& pending = list.mRecords[static_cast<size_t>(list.mPending)];
        if (pending.mBlockEnd < 0)
            pending.mBlockEnd = KnownClose(list.mPendingOpen);
        if (pending.mBlockEnd < 0 && !SkipAsciiBlock(pending.mBlockPos, end, pending.mBlockEnd))
            return false;
        if (pending.mBlockEnd < pending.mBlockPos || pending.mBlockEnd >= end)
            return false;
        list.mPending = -1;
        position = pending.mBlockEnd + 1;
        if (!EndAsciiRecordLine(*this, position, end))
            return false;
    }
    std::string& name = mIndexName;
    for (;;)
    {
        if (!SkipAsciiGaps(*this, position, end))
            return false;
        if (position >= end)
        {
            if (list.mEnd < 0)
                return false; // the block's closing brace is missing
            break;
        }
        if (list.mEnd < 0 && CharAt(position) == '}')
        {
            list.mEnd = position;
            break;
        }
        Record record;
        int closing = ':';
        if (CharAt(position) == '[')
        {
            record.mKind = kSection;
            closing = ']';
            ++position;
        }
        if (!ReadAsciiName(position, end, name, closing))
            return false;
        ++position;
        if (record.mKind == kSection)
        {
            if (position >= end || CharAt(position) != ':')
                return false;
            ++position;
        }
        SkipAsciiSpaces(position, end);
        record.mValuesPos = position;
        int c = position < end ? CharAt(position) : -1;
        if (c != '\n' && c != '\r' && c != '{' && c != ';' && c >= 0)
        {
            do
            {
                if (!SkipAsciiValue(position, end))
                    return false;
                if (++record.mCount == 0)
                    return false;
            } while (SkipAsciiSeparator(position, end));
        }
        record.mValuesEnd = position;
        SkipAsciiSpaces(position, end);
        bool pending = false;
        long long opening = -1;
        if (position < end && CharAt(position) == '{')
        {
            opening = position;
            ++position;
            SkipAsciiSpaces(position, end);
            if (position < end && CharAt(position) == '\r')
                ++position;
            if (position >= end || CharAt(position) != '\n')
                return false;
            ++position;
            record.mBlockPos = position;
            // A block passed over already has its end kept.
            const long long known = KnownClose(opening);
            if (known < 0)
            {
                pending = true;
            }
            else
            {
                if (known < position || known >= end)
                    return false;
                record.mBlockEnd = known;
                position = known + 1;
            }
        }
        if (!pending && !EndAsciiRecordLine(*this, position, end))
            return false;
        if (record.mKind == kSection)
        {
            long long at = record.mValuesPos;
            Value version;
            if (record.mCount != 1 || record.mBlockPos < 0 || !ReadAsciiValue(at, record.mValuesEnd, version, true) ||
                version.mType != 'T' || !IsIntegerText(version.mText))
                return false;
            record.mVersion = ClampToInt(TextToLong(version.mText));
        }
        list.mRecords.push_back(record);
        if (!AddName(list, list.mRecords.back(), name.data(), name.size(), false))
            return false;
        const int index = static_cast<int>(list.mRecords.size() - 1);
        if (list.mSlotted)
            SlotRecord(list, index);
        if (pending)
        {
            list.mPending = index;
            list.mPendingOpen = opening;
            return true;
        }
    }
    list.mOpen = false;
    return true;
}

bool KQoxPrivate::IndexFailed(ReadList& list)
{
    // Damage is reported once; the records before it stay readable.
    list.mOpen = false;
    list.mPending = -1;
    return Corrupted();
}

bool KQoxPrivate::IndexMore(ReadList& list)
{
    if (mTextDamaged && list.mOpen)
        return IndexFailed(list);
    const size_t before = list.mRecords.size();
    while (list.mOpen && list.mRecords.size() == before)
        if (!IndexAscii(list))
            return IndexFailed(list);
    return list.mRecords.size() > before;
}

bool KQoxPrivate::IndexAll(ReadList& list)
{
    if (mTextDamaged && list.mOpen)
        return IndexFailed(list);
    while (list.mOpen)
        if (!IndexAscii(list))
            return IndexFailed(list);
    return true;
}

void KQoxPrivate::GiveEndToOwner(const ReadList& list)
{
    if (list.mOpen || list.mEnd < 0 || list.mOwner < 0 || mReadStack.size() < 2)
        return;
    ReadList& parent = *mReadStack[mReadStack.size() - 2];
    if (list.mOwner >= static_cast<int>(parent.mRecords.size()))
        return;
    Record& owner = parent.mRecords[static_cast<size_t>(list.mOwner)];
    if (owner.mBlockEnd < 0 && owner.mBlockPos == list.mStart)
        owner.mBlockEnd = list.mEnd;
}

bool KQoxPrivate::CheckAsciiSection(ReadList& list, int record)
{
    if (mTextDamaged)
        return Corrupted();
    Record& r = list.mRecords[static_cast<size_t>(record)];
    if (r.mBlockEnd < 0)
    {
        // The block ends at the brace that pairs with its opening one: an
        // unpaired brace inside runs it to the end of the list (damage) or
        // ends it early, leaving text the list then refuses.
        const long long bound = list.mEnd >= 0 ? list.mEnd : list.mBound;
        long long close = -1;
        if (!SkipAsciiBlock(r.mBlockPos, bound, close) || close < r.mBlockPos)
            return IndexFailed(list);
        r.mBlockEnd = close;
    }
    // The list's text up to its next section (or its end) holds records
    // only: what a brace too many left of the section is found there.
    while (list.mOpen && (list.mSections.empty() || list.mSections.back() <= record))
        if (!IndexMore(list))
            break;
    return !mTextDamaged || Corrupted();
}

bool KQoxPrivate::EnterBlock(int record, bool section, int sectionIndex)
{
    ReadList& parent = *Top();
    if (record < 0 || record >= static_cast<int>(parent.mRecords.size()))
        return false;
    if (section && mForm == KQox::eASCII && !CheckAsciiSection(parent, record))
        return false;
    const Record& r = parent.mRecords[record];
    if (r.mBlockPos < 0)
        return false;
    if (mImage && mForm != KQox::eASCII)
    {
        // The block's bytes run through the check value's register as it
        // is entered, when they follow on from those run already (text has
        // no check value).
        const long long end = r.mBlockEnd + 1;
        if (end > mCheckFront && end - mCheckFront <= kCheckReach)
            CheckUpTo(end);
    }
    std::unique_ptr<ReadList> list = NewList();
    list->mStart = r.mBlockPos;
    list->mEnd = r.mBlockEnd;
    list->mOwner = record;
    list->mIsSection = section;
    list->mVersion = r.mVersion;
    list->mSectionIndex = sectionIndex;
    if (mForm == KQox::eASCII)
    {
        // The block's end is found as it is indexed when not known yet.
        list->mOpen = true;
        list->mBound = r.mBlockEnd >= 0 ? r.mBlockEnd : parent.mEnd >= 0 ? parent.mEnd : parent.mBound;
    }
    if (!IndexList(*list, false))
    {
        mSpareLists.push_back(std::move(list));
        return Corrupted();
    }
    mReadStack.push_back(std::move(list));
    StackChanged();
    return true;
}

// ---------------------------------------------------------------------------
// Values

namespace {

// Bytes a binary scalar takes with its type code; 0 for other codes.
long long ScalarSize(char type)
{
    switch (type)
    {
    case 'C': return 2;
    case 'I':
    case 'F': return 5;
    case 'L':
    case 'D': return 9;
    default: return 0;
    }
}

// The payload after a scalar's type code into value (a Value or a
// KQox::ValueView, whose mType is set).
template <typename V>
void DecodeScalar(const unsigned char* head, V& value)
{
    switch (value.mType)
    {
    case 'C': value.mInt = static_cast<char>(head[1]); break;
    case 'I': value.mInt = static_cast<int32_t>(kbytes::GetLE32(head + 1)); break;
    case 'L': value.mInt = static_cast<long long>(kbytes::GetLE64(head + 1)); break;
    case 'F': value.mDouble = kbytes::GetLEFloat(head + 1); break;
    default: value.mDouble = kbytes::GetLEDouble(head + 1); break;
    }
}

} // namespace

bool KQoxPrivate::ReadBinaryValue(long long& position, long long end, Value& value, bool decodeText)
{
    if (position >= end)
        return false;
    // Type code and payload (or length) come from the value window at once.
    long long left = end - position;
    const unsigned char* head = WindowAt(position, left < 9 ? static_cast<size_t>(left) : 9);
    if (!head)
        return false;
    value.mType = static_cast<char>(head[0]);
    // A scalar is its code and a payload of fixed size.
    const long long scalar = ScalarSize(value.mType);
    if (scalar > 0)
    {
        if (left < scalar)
            return false;
        DecodeScalar(head, value);
        position += scalar;
        return true;
    }
    switch (value.mType)
    {
    case 'S':
    {
        if (left < 5)
            return false;
        unsigned long long length = kbytes::GetLE32(head + 1);
        if (length > static_cast<unsigned long long>(left - 5))
            return false;
        value.mText.clear();
        if (decodeText && length > 0)
        {
            // Usually the text lies in the value window already.
            const long long first = position + 5;
            const long long stop = first + static_cast<long long>(length);
            if (first >= mInPos && stop <= mInPos + static_cast<long long>(mInLen))
            {
                value.mText.assign(reinterpret_cast<const char*>(mWindow + static_cast<size_t>(first - mInPos)),
                                   static_cast<size_t>(length));
            }
            else
            {
                value.mText.resize(static_cast<size_t>(length));
                if (!ReadAt(first, &value.mText[0], static_cast<size_t>(length)))
                    return false;
            }
        }
        position += 5 + static_cast<long long>(length);
        return true;
    }
    case kArrayByte:
    case kArrayInt:
    case kArrayLong:
    case kArrayFloat:
    case kArrayDouble:
    {
        if (left < kArrayHead)
            return false;
        unsigned long long count = kbytes::GetLE32(head + 1);
        unsigned long long bytes = count * ArrayItemSize(value.mType);
        if (bytes > static_cast<unsigned long long>(left - kArrayHead))
            return false;
        value.mRawPos = position + kArrayHead;
        value.mRawSize = count;
        position += kArrayHead + static_cast<long long>(bytes);
        return true;
    }
    case 'R':
    {
        if (left < 9)
            return false;
        unsigned long long length = kbytes::GetLE64(head + 1);
        if (length > static_cast<unsigned long long>(left - 9))
            return false;
        value.mRawPos = position + 9;
        value.mRawSize = length;
        position += 9 + static_cast<long long>(length);
        return true;
    }
    default: return false;
    }
}

bool KQoxPrivate::NextValue(Value& value)
{
    ReadList* list = Current();
    if (!list || list->mRemain == 0)
        return false;
    bool ok;
    if (mForm == KQox::eASCII)
    {
        ok = ReadAsciiValue(list->mValuePos, list->mValueEnd, value, true);
        SkipAsciiSeparator(list->mValuePos, list->mValueEnd);
    }
    else
    {
        ok = ReadBinaryValue(list->mValuePos, list->mValueEnd, value, true);
    }
    if (!ok)
        return Corrupted();
    --list->mRemain;
    return true;
}

bool KQoxPrivate::PeekValue(Value& value)
{
    ReadList* list = Current();
    if (!list || list->mRemain == 0)
        return false;
    long long position = list->mValuePos;
    if (position == mPeekPos && list->mValueEnd == mPeekEnd)
    {
        value = mPeekValue;
        return true;
    }
    bool ok = mForm == KQox::eASCII ? ReadAsciiValue(position, list->mValueEnd, value, true)
                                    : ReadBinaryValue(position, list->mValueEnd, value, false);
    if (!ok)
        return Corrupted();
    mPeekPos = list->mValuePos;
    mPeekEnd = list->mValueEnd;
    mPeekValue = value;
    return true;
}

// Copies a raw value into buffer or file, chunk by chunk.
bool KQoxPrivate::ReadRawValue(const Value& value, void* buffer, unsigned long long size, KFile* file)
{
    unsigned char* out = static_cast<unsigned char*>(buffer);
    if (mForm != KQox::eASCII)
    {
        if (out)
            return ReadAt(value.mRawPos, out, static_cast<size_t>(size));
        std::vector<unsigned char> chunk(kChunk);
        unsigned long long done = 0;
        while (done < size)
        {
            size_t k = size - done < kChunk ? static_cast<size_t>(size - done) : kChunk;
            if (!ReadAt(value.mRawPos + static_cast<long long>(done), &chunk[0], k) ||
                file->Write(&chunk[0], static_cast<unsigned int>(k)) != k)
                return false;
            done += k;
        }
        return true;
    }
    std::vector<unsigned char> chunk;
    if (!out)
        chunk.reserve(kChunk);
    long long position = value.mRawPos;
    unsigned long long done = 0;
    int quad[4];
    int have = 0;
    while (done < size)
    {
        int c = CharAt(position++);
        if (c < 0)
            return false;
        if (IsSpace(c))
            continue;
        if (c == ';')
        {
            while ((c = CharAt(position)) >= 0 && c != '\n')
                ++position;
            continue;
        }
        int digit = c == '=' ? 0 : Base64Digit(c);
        if (digit < 0)
            return false;
        quad[have++] = digit;
        if (have < 4)
            continue;
        have = 0;
        unsigned int v = (static_cast<unsigned int>(quad[0]) << 18) | (static_cast<unsigned int>(quad[1]) << 12) |
                         (static_cast<unsigned int>(quad[2]) << 6) | static_cast<unsigned int>(quad[3]);
        unsigned char bytes[3] = {static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 8),
                                  static_cast<unsigned char>(v)};
        for (int i = 0; i < 3 && done < size; ++i, ++done)
        {
            if (out)
                out[done] = bytes[i];
            else
                chunk.push_back(bytes[i]);
        }
        if (!out && (chunk.size() >= kChunk || done == size))
        {
            if (file->Write(&chunk[0], static_cast<unsigned int>(chunk.size())) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// KQox: reading

int KQox::FieldPeekValues(ValueView* views, int capacity)
{
    KQoxPrivate& d = *mData;
    const ReadList* list = d.Current();
    if (!list || d.mForm == eASCII || capacity < 0 || list->mRemain > static_cast<unsigned int>(capacity))
        return -1;
    const int count = static_cast<int>(list->mRemain);
    if (count == 0)
        return 0;
    // The values lie together: they are fetched into the value window at once.
    const long long position = list->mValuePos;
    const long long size = list->mValueEnd - position;
    if (size <= 0)
        return -1;
    // The window's own check first, inline: WindowAt is a call.
    const unsigned char* at = position >= d.mInPos && list->mValueEnd <= d.mInPos + static_cast<long long>(d.mInLen)
                                  ? d.mWindow + static_cast<size_t>(position - d.mInPos)
                                  : d.WindowAt(position, static_cast<size_t>(size));
    if (!at)
        return -1;
    const unsigned char* const end = at + size;
    for (int i = 0; i < count; ++i)
    {
        ValueView& view = views[i];
        const long long left = end - at;
        if (left <= 0)
            return -1;
        view.mType = static_cast<char>(at[0]);
        // Doubles and texts first: the values most fields hold.
        if (view.mType == 'D' && left >= 9)
        {
            view.mDouble = kbytes::GetLEDouble(at + 1);
            at += 9;
            continue;
        }
        if (view.mType != 'S')
        {
            const long long scalar = ScalarSize(view.mType);
            if (scalar == 0 || left < scalar)
                return -1;
            DecodeScalar(at, view);
            at += scalar;
            continue;
        }
        if (left < 5)
            return -1;
        const unsigned long long length = kbytes::GetLE32(at + 1);
        if (length > static_cast<unsigned long long>(left - 5))
            return -1;
        view.mText = reinterpret_cast<const char*>(at + 5);
        view.mLength = static_cast<unsigned int>(length);
        at += 5 + length;
    }
    return count;
}

bool KQox::FieldReadBegin(const char* name)
{
    KQoxPrivate& d = *mData;
    if (d.mMode != KQoxPrivate::eReading)
        return d.Fail(eFILE_NOT_OPENED);
    ReadList& list = *d.Top();
    list.mCurrent = -1;
    list.mRemain = 0;
    if (!name)
        name = "";
    size_t length;
    const unsigned long long prefix = NameKey(name, length);
    // Fields read in the order they were written: the first record not
    // passed over is the one. Names the list lacks (optional fields) are
    // refused by their bit.
    int record = list.mPassedBelow;
    if (list.mSlotted || record >= static_cast<int>(list.mRecords.size()) ||
        !list.Is(list.mRecords[static_cast<size_t>(record)], kField, name, length, prefix))
    {
        record = d.Lookup(list, kField, name, length, prefix);
        if (record < 0)
            return false;
    }
    const Record& r = list.mRecords[static_cast<size_t>(record)];
    list.mNext = record + 1;
    list.mCurrent = record;
    list.mValuePos = r.mValuesPos;
    list.mValueEnd = r.mValuesEnd;
    list.mRemain = r.mCount;
    return true;
}

void KQox::FieldReadEnd()
{
    KQoxPrivate& d = *mData;
    ReadList* list = d.Current();
    if (!list)
        return;
    KQoxPrivate::PassRecord(*list, list->mCurrent);
    list->mCurrent = -1;
    list->mRemain = 0;
}

bool KQox::FieldReadNextOfName()
{
    KQoxPrivate& d = *mData;
    ReadList* list = d.Current();
    if (!list || list->mCurrent < 0)
        return false;
    const int record = list->mCurrent;
    KQoxPrivate::PassRecord(*list, record);
    list->mCurrent = -1;
    list->mRemain = 0;
    // Fields of a name written one after the other: the first record not
    // passed over is the next, told by its name kept in the records.
    const int next = list->mPassedBelow;
    const Record& passed = list->mRecords[static_cast<size_t>(record)];
    if (list->mSlotted || next >= static_cast<int>(list->mRecords.size()) ||
        !SameName(*list, list->mRecords[static_cast<size_t>(next)], passed))
    {
        // Found as FieldReadBegin finds it (the name copied: it lies in the
        // list, which finding may change).
        const std::string name(list->NameOf(passed), passed.mLength);
        return FieldReadBegin(name.c_str());
    }
    const Record& r = list->mRecords[static_cast<size_t>(next)];
    list->mNext = next + 1;
    list->mCurrent = next;
    list->mValuePos = r.mValuesPos;
    list->mValueEnd = r.mValuesEnd;
    list->mRemain = r.mCount;
    return true;
}

namespace {

// Where a binary record starts (its kind byte) and ends (past its block).
long long RecordStart(const Record& record)
{
    return record.mValuesPos - kRecordFixed - static_cast<long long>(record.mLength);
}

long long RecordEnd(const Record& record)
{
    return record.mBlockPos >= 0 ? record.mBlockEnd + 1 : record.mValuesEnd;
}

} // namespace

bool KQox::FieldReadSplit(KQox& part, int first, int count)
{
    if (&part == this)
        return false;
    part.ProjectClose();
    KQoxPrivate& d = *mData;
    KQoxPrivate& p = *part.mData;
    // Enciphered bodies are read in order; text is not split.
    if (d.mMode != KQoxPrivate::eReading || d.mForm == eASCII || d.mCipher || !d.Top() ||
        (!d.mImage && !(d.mCrc && d.mBottom)))
        return false;
    const ReadList& list = *d.Top();
    if (first < 0 || count <= 0 || count > static_cast<int>(list.mRecords.size()) - first)
        return false;
    const Record& front = list.mRecords[static_cast<size_t>(first)];
    const Record& back = list.mRecords[static_cast<size_t>(first + count - 1)];
    p.mError.ClearLastError();
    p.mFileName = d.mFileName;
    p.mFilePath = d.mFilePath;
    p.mMode = KQoxPrivate::eReading;
    p.mForm = d.mForm;
    p.mVersion = d.mVersion;
    p.mMemory = d.mMemory;
    p.mFileSize = d.mFileSize;
    p.mTrailerPos = d.mTrailerPos;
    // The part's body is its records: nothing past them is read, so parts
    // side by side follow stretches of the file apart.
    p.mBodyStart = RecordStart(front);
    p.mLimit = RecordEnd(back);
    if (d.mImage)
    {
        p.UseImage(d.mImage);
        // The whole image is checked by the reader split.
        p.mCheckFront = static_cast<long long>(p.mFileSize);
    }
    else
    {
        // Positioned reads of the file under a check layer of the part's
        // own, whose followed stretches the join hands over.
        p.mCrc = std::make_unique<KCrcFile>(0, d.mBottom.get(), KChainedFile::eRead, false);
        p.mCrc->FollowReads(true);
        p.mBody = p.mCrc.get();
        // A window no larger than the records (a part of a few small
        // records need not take a whole one).
        const size_t bytes = static_cast<size_t>(p.mLimit - p.mBodyStart);
        p.mIn.resize(std::max(kPartWindowLeast, std::min(kWindowSize, bytes)));
        p.UseImage(nullptr);
        // From the first record's head on: the stretch followed starts there.
        p.Fill(p.mBodyStart);
    }
    std::unique_ptr<ReadList> top = p.NewList();
    top->mStart = p.mBodyStart;
    top->mEnd = p.mLimit;
    // The list stands for the section the records are read in.
    top->mIsSection = true;
    top->mVersion = d.ReadVersion();
    top->mRecords.reserve(static_cast<size_t>(count));
    for (int i = first; i < first + count; ++i)
    {
        const Record& from = list.mRecords[static_cast<size_t>(i)];
        Record& record = top->mRecords.emplace_back(from);
        record.mSlot = -1;
        record.mNextSame = -1;
        record.mPassed = false;
        KQoxPrivate::AddName(*top, record, list.NameOf(from), from.mLength, false);
    }
    p.mReadStack.push_back(std::move(top));
    p.StackChanged();
    return true;
}

bool KQox::FieldReadJoin(KQox& part)
{
    if (&part == this)
        return false;
    KQoxPrivate& d = *mData;
    KQoxPrivate& p = *part.mData;
    if (d.mMode == KQoxPrivate::eReading && d.mCrc && p.mMode == KQoxPrivate::eReading && p.mCrc)
        d.mCrc->AdoptFollowed(*p.mCrc);
    const int error = p.mError.GetLastErrorID();
    part.ProjectClose();
    if (error < 0)
        return true;
    return error == eFILE_CORRUPTED ? d.Corrupted() : d.Fail(error);
}

int KQox::FieldReadGetCount(const char* name)
{
    KQoxPrivate& d = *mData;
    if (d.mMode != KQoxPrivate::eReading)
        return 0;
    d.IndexAll(*d.Top());
    return KQoxPrivate::CountOf(*d.Top(), kField, name);
}

int KQox::FieldReadGetRecordIndex(const char* name)
{
    KQoxPrivate& d = *mData;
    if (d.mMode != KQoxPrivate::eReading || !d.Top())
        return -1;
    return d.Lookup(*d.Top(), kField, name);
}

int KQox::FieldReadGetRecordCount()
{
    KQoxPrivate& d = *mData;
    if (d.mMode != KQoxPrivate::eReading)
        return 0;
    d.IndexAll(*d.Top());
    return static_cast<int>(d.Top()->mRecords.size());
}

const char* KQox::FieldReadGetRecordName(int index, bool* isSection)
{
    KQoxPrivate& d = *mData;
    if (d.mMode != KQoxPrivate::eReading)
        return nullptr;
    ReadList& list = *d.Top();
    if (index < 0)
        return nullptr;
    while (index >= static_cast<int>(list.mRecords.size()))
        if (!d.IndexMore(list))
            return nullptr;
    const Record& r = list.mRecords[index];
    if (isSection)
        *isSection = r.mKind == kSection;
    return list.NameOf(r);
}

bool KQox::FieldReadBlockBegin()
{
    KQoxPrivate& d = *mData;
    ReadList* list = d.Current();
    if (!list)
        return false;
    return d.EnterBlock(list->mCurrent, false, -1);
}

bool KQox::FieldReadBlockEnd()
{
    KQoxPrivate& d = *mData;
    if (d.mMode != KQoxPrivate::eReading)
        return d.Fail(eFILE_NOT_OPENED);
    if (d.mReadStack.size() < 2 || d.Top()->mIsSection)
        return d.Fail(eBLOCK_ERROR);
    d.PopList();
    return true;
}

char KQox::FieldReadGetType()
{
    Value value;
    if (!mData->PeekValue(value))
        return 'S';
    if (mData->mForm != eASCII || IsArrayCode(value.mType))
        return value.mType;
    if (value.mType != 'T')
        return value.mType == 'R' ? 'R' : 'S';
    if (IsIntegerText(value.mText))
    {
        errno = 0;
        long long v = std::strtoll(value.mText.c_str(), nullptr, 10);
        return errno == 0 && v >= INT_MIN && v <= INT_MAX ? 'I' : 'L';
    }
    const char* text = value.mText.c_str();
    double number;
    if (*KScanDouble(text, text + value.mText.size(), number) == 0)
        return 'D';
    return value.mText.size() == 1 ? 'C' : 'S';
}

int KQox::FieldReadGetRemain()
{
    ReadList* list = mData->Current();
    if (!list)
        return 0;
    return list->mRemain > static_cast<unsigned int>(INT_MAX) ? INT_MAX : static_cast<int>(list->mRemain);
}

char KQox::FieldReadCH()
{
    Value value;
    return mData->NextValue(value) ? ToChar(value) : 0;
}

int KQox::FieldReadI()
{
    if (const unsigned char* payload = mData->NextScalarInWindow('I', 5))
        return static_cast<int32_t>(kbytes::GetLE32(payload));
    Value value;
    return mData->NextValue(value) ? ClampToInt(ToLong(value)) : 0;
}

long long KQox::FieldReadL()
{
    Value value;
    return mData->NextValue(value) ? ToLong(value) : 0;
}

float KQox::FieldReadF()
{
    Value value;
    return mData->NextValue(value) ? ToFloat(ToDouble(value)) : 0.0f;
}

double KQox::FieldReadD()
{
    if (const unsigned char* payload = mData->NextScalarInWindow('D', 9))
        return kbytes::GetLEDouble(payload);
    Value value;
    return mData->NextValue(value) ? ToDouble(value) : 0.0;
}

const char* KQox::FieldReadC()
{
    KQoxPrivate& d = *mData;
    if (const char* text = d.NextTextInWindow())
        return text;
    // A text is handed out where it was decoded (no copy); its storage is
    // reused by the next text read.
    Value& value = d.mTextValue;
    if (!d.NextValue(value))
        d.mText.clear();
    else if (IsText(value.mType))
        return value.mText.c_str();
    else
        d.mText = ToText(value);
    return d.mText.c_str();
}

KTime KQox::FieldReadT()
{
    Value value;
    if (!mData->NextValue(value))
        return KTime(0);
    return DecodeTime(value, mData->TimeIsTicks(value.mType, mData->ReadVersion()));
}

unsigned long long KQox::FieldReadRSize()
{
    Value value;
    return mData->PeekValue(value) && value.mType == 'R' ? value.mRawSize : 0;
}

bool KQox::FieldReadR(void* buffer, unsigned long long capacity)
{
    KQoxPrivate& d = *mData;
    Value value;
    if (!d.PeekValue(value) || value.mType != 'R' || value.mRawSize > capacity || (!buffer && value.mRawSize > 0))
        return false;
    if (!d.ReadRawValue(value, buffer, value.mRawSize, nullptr))
        return d.Corrupted();
    Value skipped;
    return d.NextValue(skipped);
}

bool KQox::FieldReadRFile(const char* fileName)
{
    KQoxPrivate& d = *mData;
    Value value;
    if (!d.PeekValue(value) || value.mType != 'R')
        return false;
    KFile file;
    if (!fileName || !file.Open(fileName, kFILE_WRITE, false))
        return d.Fail(eFILE_NOT_CREATED);
    bool ok = d.ReadRawValue(value, nullptr, value.mRawSize, &file);
    bool written = file.GetError() == 0;
    file.Close();
    written = written && !file.LastCloseFailed();
    if (!ok || !written)
    {
        // No partial file is left behind; only a regular file is removed
        // (never a device the caller named).
        struct stat status;
        if (lstat(fileName, &status) == 0 && S_ISREG(status.st_mode))
            std::remove(fileName);
    }
    if (!ok)
        return d.Corrupted();
    if (!written)
        return d.Fail(eNO_SPACE_LEFT);
    Value skipped;
    return d.NextValue(skipped);
}

namespace {

// The bytes handed to Write go to a descriptor, every one (short writes go
// on, interrupted ones are retried); the first failure's errno is kept.
class DescriptorSink : public KFile
{
public:
    explicit DescriptorSink(int descriptor)
        : mDescriptor(descriptor)
    {}
    unsigned int Write(void* buffer, unsigned int n) override
    {
        const char* bytes = static_cast<const char*>(buffer);
        unsigned int done = 0;
        while (done < n)
        {
            const ssize_t written = write(mDescriptor, bytes + done, n - done);
            if (written > 0)
                done += static_cast<unsigned int>(written);
            else if (written < 0 && errno == EINTR)
                continue;
            else
            {
                mError = written < 0 ? errno : ENOSPC;
                break;
            }
        }
        return done;
    }
    int mError = 0;

private:
    int mDescriptor;
};

} // namespace

bool KQox::FieldReadRDescriptor(int descriptor)
{
    KQoxPrivate& d = *mData;
    Value value;
    if (!d.PeekValue(value) || value.mType != 'R')
        return false;
    DescriptorSink sink(descriptor);
    const bool ok = d.ReadRawValue(value, nullptr, value.mRawSize, &sink);
    if (sink.mError != 0)
    {
        errno = sink.mError;
        return false;
    }
    if (!ok)
        return d.Corrupted();
    Value skipped;
    return d.NextValue(skipped);
}

bool KQox::FieldReadRPeek(KFile& sink)
{
    KQoxPrivate& d = *mData;
    Value value;
    return d.PeekValue(value) && value.mType == 'R' && d.ReadRawValue(value, nullptr, value.mRawSize, &sink);
}

// ---- named reads ----

namespace {

// Reads the first value of the next field of that name and ends it, leaving
// the caller's current field as it was.
template <typename T, typename Convert>
T NamedRead(KQox& file, KQoxPrivate& d, const char* name, T defaultValue, Convert convert)
{
    if (d.mMode != KQoxPrivate::eReading || d.mReadStack.empty())
        return defaultValue;
    ReadList& list = *d.Top();
    int current = list.mCurrent;
    long long position = list.mValuePos;
    long long end = list.mValueEnd;
    unsigned int remain = list.mRemain;
    T result = defaultValue;
    if (file.FieldReadBegin(name))
    {
        Value value;
        if (d.NextValue(value))
            result = convert(value);
        file.FieldReadEnd();
    }
    list.mCurrent = current;
    list.mValuePos = position;
    list.mValueEnd = end;
    list.mRemain = remain;
    return result;
}

} // namespace

char KQox::FieldReadCH(const char* name, char defaultValue)
{
    return NamedRead(*this, *mData, name, defaultValue, [](const Value& v) { return ToChar(v); });
}

int KQox::FieldReadI(const char* name, int defaultValue)
{
    return NamedRead(*this, *mData, name, defaultValue, [](const Value& v) { return ClampToInt(ToLong(v)); });
}

long long KQox::FieldReadL(const char* name, long long defaultValue)
{
    return NamedRead(*this, *mData, name, defaultValue, [](const Value& v) { return ToLong(v); });
}

float KQox::FieldReadF(const char* name, float defaultValue)
{
    return NamedRead(*this, *mData, name, defaultValue, [](const Value& v) { return ToFloat(ToDouble(v)); });
}

double KQox::FieldReadD(const char* name, double defaultValue)
{
    return NamedRead(*this, *mData, name, defaultValue, [](const Value& v) { return ToDouble(v); });
}

const char* KQox::FieldReadC(const char* name, const char* defaultValue)
{
    KQoxPrivate& d = *mData;
    bool found = false;
    std::string text = NamedRead(*this, d, name, std::string(), [&found](const Value& v) {
        found = true;
        return ToText(v);
    });
    if (!found)
        return defaultValue ? defaultValue : "";
    d.mText = text;
    return d.mText.c_str();
}

KTime KQox::FieldReadT(const char* name, KTime defaultValue)
{
    KQoxPrivate& d = *mData;
    int version = d.ReadVersion();
    return NamedRead(*this, d, name, defaultValue,
                     [&d, version](const Value& v) { return DecodeTime(v, d.TimeIsTicks(v.mType, version)); });
}

// ---------------------------------------------------------------------------
// Typed arrays

namespace {

// One array item as a number of the array's own kind: integers for 'b', 'i'
// and 'l', doubles for 'f' and 'd'.
struct Item
{
    long long mInt = 0;
    double mDouble = 0.0;
};

bool IsIntegerArray(char code)
{
    return code == kArrayByte || code == kArrayInt || code == kArrayLong;
}

template <typename T>
T ConvertItem(char code, const Item& item)
{
    if constexpr (std::is_floating_point<T>::value)
    {
        double d = IsIntegerArray(code) ? static_cast<double>(item.mInt) : item.mDouble;
        if constexpr (std::is_same<T, float>::value)
            return ToFloat(d);
        else
            return d;
    }
    else
    {
        long long v = IsIntegerArray(code) ? item.mInt : ClampToLong(item.mDouble);
        if constexpr (std::is_same<T, long long>::value)
            return v;
        else if constexpr (std::is_same<T, int>::value)
            return ClampToInt(v);
        else
            return static_cast<T>(v);
    }
}

// The item at p of a binary array with that code.
Item DecodeBinaryItem(char code, const unsigned char* p)
{
    Item item;
    switch (code)
    {
    case kArrayByte: item.mInt = p[0]; break;
    case kArrayInt: item.mInt = static_cast<int32_t>(kbytes::GetLE32(p)); break;
    case kArrayLong: item.mInt = static_cast<long long>(kbytes::GetLE64(p)); break;
    case kArrayFloat: item.mDouble = kbytes::GetLEFloat(p); break;
    default: item.mDouble = kbytes::GetLEDouble(p); break;
    }
    return item;
}

// The text of one ASCII item: false unless the whole of it is a number of
// the array's kind, an integer within the range of its items.
bool ParseAsciiItem(char code, const char* first, const char* last, Item& item)
{
    // A sign '+' is taken as the scalar texts take it; from_chars does not.
    if (last - first >= 2 && first[0] == '+' && first[1] != '-' && first[1] != '+')
        ++first;
    if (first == last)
        return false;
    if (IsIntegerArray(code))
    {
        std::from_chars_result r = std::from_chars(first, last, item.mInt);
        long long lowest, highest;
        IntegerItemRange(code, lowest, highest);
        return r.ec == std::errc() && r.ptr == last && item.mInt >= lowest && item.mInt <= highest;
    }
    std::from_chars_result r = std::from_chars(first, last, item.mDouble);
    if (r.ptr != last)
        return false;
    // Beyond the range of a double: as the scalar reader takes it (the
    // largest finite number, or zero).
    if (r.ec != std::errc())
        item.mDouble = TextToDouble(std::string(first, last));
    return true;
}

// The leading decimal digits of [p, stop) added to m, at most limit of them
// (the scan stops there); how many there were. When wide, eight bytes at a
// time while eight can be read: which of them are digits is found from all
// at once, and the digits are combined with three multiplications; a run
// of eight carries on with the next eight.
inline size_t AddDigits(const unsigned char* p, const unsigned char* stop, size_t limit, unsigned long long& m,
                        bool wide)
{
    size_t n = 0;
    while (wide && kbytes::kLittleEndianHost && stop - (p + n) >= 8 && limit - n >= 8)
    {
        unsigned long long v;
        std::memcpy(&v, p + n, 8);
        // Each byte less '0' (an exclusive or does it for digits); a byte
        // is a digit when that is below 10, tested on all eight bytes at once
        // with their top bits kept apart.
        const unsigned long long x = v ^ 0x3030303030303030ull;
        const unsigned long long other =
            (((x & 0x7F7F7F7F7F7F7F7Full) + 0x7676767676767676ull) | x) & 0x8080808080808080ull;
        const size_t k = other ? static_cast<size_t>(__builtin_ctzll(other)) / 8 : 8;
        // The k digits to the top bytes, zeros below: the first digit
        // leads, as in an eight-digit number. No branch depends on k,
        // whose value changes from item to item.
        unsigned long long d = k ? x << (8 * (8 - k)) : 0;
        d = d * 10 + (d >> 8);
        d = (((d & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
             (((d >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
            32;
        static const unsigned long long kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
        m = m * kScale[k] + (d & 0xFFFFFFFFull);
        n += k;
        if (k < 8)
            return n;
    }
    while (p + n < stop && static_cast<unsigned>(p[n] - '0') < 10u && n < limit)
    {
        m = m * 10 + static_cast<unsigned>(p[n] - '0');
        ++n;
    }
    return n;
}

const double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                               1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};

// The digits of a plain decimal item, the point taken out, and how many of
// them followed the point.
struct PlainNumber
{
    unsigned long long mDigits = 0;
    size_t mDecimals = 0;
    bool mNegative = false;
};

// A plain decimal item ("-12", "0.25") parsed where it lies; the byte after
// it, or null for anything else (exponent, inf, nan, more than 18 digits, an
// item that may run on past stop), which takes the general path. Up to 18
// digits hold exactly in 64 bits; below 2^53 (checked here for decimals) the
// digits are an exact double, and dividing them by an exact power of ten
// rounds once, correctly.
inline const unsigned char* ParsePlainItem(const unsigned char* p, const unsigned char* stop, char code, bool integer,
                                           PlainNumber& number)
{
    const unsigned char* q = p;
    number.mNegative = q < stop && *q == '-';
    q += number.mNegative ? 1 : 0;
    unsigned long long m = 0;
    // 19 digits are looked at, so that more than 18 show.
    // The whole part of a decimal is mostly a digit or two, looked at one
    // by one; integers and fractions run longer.
    size_t count = AddDigits(q, stop, 19, m, integer);
    q += count;
    size_t decimals = 0;
    if (!integer && q < stop && *q == '.')
    {
        ++q;
        decimals = count < 19 ? AddDigits(q, stop, 19 - count, m, true) : 0;
        q += decimals;
        count += decimals;
    }
    if (count == 0 || count > 18 || q >= stop || (kClasses.mClass[*q] & kItemClass))
        return nullptr;
    if (!integer && m > (1ull << 53))
        return nullptr;
    // Integers beyond the range of the array's items go on to be refused.
    if (integer && code != kArrayLong)
    {
        long long lowest, highest;
        IntegerItemRange(code, lowest, highest);
        const unsigned long long limit = number.mNegative ? 0ull - static_cast<unsigned long long>(lowest)
                                                          : static_cast<unsigned long long>(highest);
        if (m > limit)
            return nullptr;
    }
    number.mDigits = m;
    number.mDecimals = decimals;
    return q;
}

// The value of a plain item.
inline Item PlainToItem(bool integer, const PlainNumber& plain)
{
    Item item;
    if (integer)
    {
        item.mInt = plain.mNegative ? -static_cast<long long>(plain.mDigits) : static_cast<long long>(plain.mDigits);
    }
    else
    {
        const double magnitude = static_cast<double>(plain.mDigits) / kPowersOfTen[plain.mDecimals];
        item.mDouble = plain.mNegative ? -magnitude : magnitude;
    }
    return item;
}

// The plain items of a 64-byte block of items and blanks converted
// together where the processor permutes bytes (PlainItemsWide), each the
// number ParsePlainItem and PlainToItem make of it; the starts not taken
// are returned, for ParsePlainItem.
template <typename T>
inline unsigned long long TakePlainItems(const unsigned char* p, unsigned long long items, unsigned long long starts,
                                         bool inItem, bool integer, char code, T* out, unsigned long long& i,
                                         unsigned long long count, const unsigned char*& lastEnd)
{
#if defined(KQOX_BYTE_PERMUTES)
    if (!kbytes::kLittleEndianHost || !HasBytePermutes())
        return starts;
    long long whole[32];
    double real[32];
    // Integers to int, long and double arrays, decimals to double and
    // float ones, as ConvertItem makes them of up to eight digits.
    DirectItems direct;
    if constexpr (std::is_same<T, int>::value)
        direct.mInts = integer ? out + i : nullptr;
    else if constexpr (std::is_same<T, long long>::value)
        direct.mLongs = integer ? out + i : nullptr;
    else if constexpr (std::is_same<T, double>::value)
        direct.mDoubles = out + i;
    else if constexpr (std::is_same<T, float>::value)
        direct.mFloats = integer ? nullptr : out + i;
    const bool straight = direct.mInts || direct.mLongs || direct.mDoubles || direct.mFloats;
    unsigned taken = 0, past = 0;
    long long lowest, highest;
    IntegerItemRange(code, lowest, highest);
    starts = PlainItemsWide(p, items, starts, inItem, integer, count - i, whole, real, direct, lowest, highest, taken,
                            past);
    if (straight)
    {
        i += taken;
    }
    else
    {
        for (unsigned k = 0; k < taken; ++k)
        {
            Item item;
            item.mInt = integer ? whole[k] : 0;
            item.mDouble = integer ? 0.0 : real[k];
            out[i++] = ConvertItem<T>(code, item);
        }
    }
    if (taken)
        lastEnd = p + past;
    return starts;
#else
    (void)p;
    (void)items;
    (void)inItem;
    (void)integer;
    (void)code;
    (void)out;
    (void)i;
    (void)count;
    (void)lastEnd;
    return starts;
#endif
}

// The longest text of an ASCII array item; a longer one is damage.
const size_t kLongestItem = kArrayItemText * 2;

// The items starting in [p, end) converted into out, exactly expected of
// them, each ending before stop: plain numbers where they lie, others as
// the sequential reader converts them; comments passed over. False for
// anything else (damage, an item that may run on past stop): the sequential
// reader takes the array then. When inItem, p lies inside an item, which the
// slice before converts; when inComment, inside a comment.
template <typename T>
bool ParseSliceItems(const unsigned char* p, const unsigned char* end, const unsigned char* stop, bool inItem,
                     bool inComment, char code, T* out, unsigned long long expected)
{
    const bool integer = IsIntegerArray(code);
    unsigned long long i = 0;
    auto take = [&](const unsigned char* at) {
        if (i == expected)
            return false;
        PlainNumber plain;
        if (ParsePlainItem(at, stop, code, integer, plain))
        {
            out[i++] = ConvertItem<T>(code, PlainToItem(integer, plain));
            return true;
        }
        const unsigned char* itemEnd = SkipClass(at, stop, kItemClass);
        if (itemEnd == stop || static_cast<size_t>(itemEnd - at) > kLongestItem)
            return false;
        Item item;
        if (!ParseAsciiItem(code, reinterpret_cast<const char*>(at), reinterpret_cast<const char*>(itemEnd), item))
            return false;
        out[i++] = ConvertItem<T>(code, item);
        return true;
    };
    unsigned long long items = 0, blanks = 0;
    while (p < end)
    {
        if (inComment)
        {
            p = SkipComment(p, end);
            if (p == end)
                break;
            inComment = false;
        }
        while (end - p >= 64 && Classify64(p, items, blanks) && (items | blanks) == ~0ull)
        {
            unsigned long long starts = items & ~((items << 1) | (inItem ? 1u : 0u));
            const unsigned char* lastEnd = nullptr;
            starts = TakePlainItems(p, items, starts, inItem, integer, code, out, i, expected, lastEnd);
            for (; starts != 0; starts &= starts - 1)
                if (!take(p + __builtin_ctzll(starts)))
                    return false;
            inItem = (items >> 63) & 1u;
            p += 64;
        }
        // Byte by byte up to the next comment (a block holding one, or the
        // slice's last bytes).
        for (; p < end && !inComment; ++p)
        {
            const unsigned char c = kClasses.mClass[*p];
            if (*p == ';')
            {
                inComment = true;
                inItem = false;
                break;
            }
            if (!(c & (kItemClass | kSpaceClass)))
                return false;
            const bool item = (c & kItemClass) != 0;
            if (item && !inItem && !take(p))
                return false;
            inItem = item;
        }
    }
    return i == expected;
}

// A large ASCII array whose text the brace pass marked, converted a block of
// text at a time, each block cut at the marks into slices converted side by
// side straight into out (a mark tells the index of the items after it).
// False, with out partly written, on damage or a failed read: the
// sequential reader then reads the whole array again, so errors are its own.
template <typename T>
bool ReadArrayInSlices(KQoxPrivate& d, const Value& value, T* out, long long& after)
{
    // One slice per thread that may be had (asked only for large arrays:
    // asking costs a look at the system's processors).
    if (value.mRawSize < kSideBySideItems)
        return false;
    const unsigned sliceCount = static_cast<unsigned>(KDefaultThreads(static_cast<int>(kMaxSliceThreads)));
    if (sliceCount < 2)
        return false;
    auto found = std::lower_bound(d.mArrays.begin(), d.mArrays.end(), value.mRawPos,
                                  [](const ArrayExtent& a, long long at) { return a.mItems < at; });
    if (found == d.mArrays.end() || found->mItems != value.mRawPos || found->mCount != value.mRawSize ||
        found->mCode != value.mType || found->mMarks.empty())
        return false;
    const std::vector<ArrayMark>& marks = found->mMarks;
    const long long end = found->mEnd;
    // An item that starts in a block ends in the bytes read past it, unless
    // it is longer than an item may be (damage).
    const long long kPast = static_cast<long long>(kLongestItem);
    // Text read in place from an image; otherwise copied a block at a time
    // into a buffer made once (left unset: every byte used is read first).
    std::unique_ptr<unsigned char[]> copy;
    std::vector<ArrayMark> cut(sliceCount + 1);
    size_t m = 0; // the mark the block starts at
    while (m < marks.size())
    {
        // The block: from mark m to the furthest mark (or the array's end)
        // within kSideBySideText bytes.
        const long long start = marks[m].mPos;
        auto markAt = [&](size_t j) {
            return j < marks.size() ? marks[j] : ArrayMark{end, value.mRawSize, false, false};
        };
        size_t last = m + 1;
        while (last < marks.size() && markAt(last + 1).mPos - start <= static_cast<long long>(kSideBySideText))
            ++last;
        const ArrayMark stopMark = markAt(last);
        if (stopMark.mPos - start > static_cast<long long>(kSideBySideText))
            return false;
        const long long readEnd = stopMark.mPos + kPast < end ? stopMark.mPos + kPast : end;
        const size_t size = static_cast<size_t>(readEnd - start);
        const unsigned char* text = nullptr;
        const unsigned char* stop = nullptr;
        if (d.mImage)
        {
            // The byte after the array's last item ends it: it is no item
            // character (or the text ends there).
            text = d.mImage + start;
            stop = text + size + (readEnd == end && end < d.mLimit ? 1 : 0);
        }
        else
        {
            if (!copy)
                copy.reset(new (std::nothrow) unsigned char[kSideBySideText + kPast + 1]);
            if (!copy || !d.ReadAt(start, copy.get(), size))
                return false;
            // Past the array's last item comes a blank, as in the file.
            copy[size] = ' ';
            text = copy.get();
            stop = text + size + (readEnd == end ? 1 : 0);
        }
        // Slices of about the same size, each from a mark to a mark.
        cut[0] = marks[m];
        for (unsigned k = 1; k < sliceCount; ++k)
        {
            size_t at = m + (last - m) * k / sliceCount;
            cut[k] = at > m ? marks[at] : marks[m];
        }
        cut[sliceCount] = stopMark;
        std::vector<char> parsed(sliceCount, 0);
        KRunPortions(sliceCount, static_cast<int>(sliceCount), [&](size_t k) {
            const ArrayMark& from = cut[k];
            const ArrayMark& to = cut[k + 1];
            parsed[k] = to.mSeen >= from.mSeen &&
                        ParseSliceItems(text + (from.mPos - start), text + (to.mPos - start), stop, from.mInItem,
                                        from.mInComment, value.mType, out + from.mSeen, to.mSeen - from.mSeen);
        });
        if (std::find(parsed.begin(), parsed.end(), 0) != parsed.end())
            return false;
        m = last;
    }
    after = end;
    return true;
}

template <typename T>
bool ReadArrayItems(KQoxPrivate& d, const Value& value, T* out, long long& after)
{
    const char code = value.mType;
    const size_t itemSize = ArrayItemSize(code);
    const unsigned long long count = value.mRawSize;
    if (d.mForm != KQox::eASCII)
    {
        after = value.mRawPos + static_cast<long long>(count * itemSize);
        bool sameType = (code == kArrayByte && std::is_same<T, unsigned char>::value) ||
                        (code == kArrayInt && std::is_same<T, int>::value) ||
                        (code == kArrayLong && std::is_same<T, long long>::value) ||
                        (code == kArrayFloat && std::is_same<T, float>::value) ||
                        (code == kArrayDouble && std::is_same<T, double>::value);
        if (sameType && kbytes::kLittleEndianHost)
            return d.ReadAt(value.mRawPos, out, static_cast<size_t>(count * itemSize));
        std::vector<unsigned char> chunk;
        const unsigned long long perChunk = kChunk / itemSize;
        for (unsigned long long i = 0; i < count; i += perChunk)
        {
            unsigned long long k = count - i < perChunk ? count - i : perChunk;
            chunk.resize(static_cast<size_t>(k * itemSize));
            if (!d.ReadAt(value.mRawPos + static_cast<long long>(i * itemSize), &chunk[0], chunk.size()))
                return false;
            for (unsigned long long j = 0; j < k; ++j)
                out[i + j] = ConvertItem<T>(code, DecodeBinaryItem(code, &chunk[static_cast<size_t>(j * itemSize)]));
        }
        return true;
    }
    if (ReadArrayInSlices(d, value, out, after))
        return true;
    // Items are parsed where they lie in the window; one cut by the window's
    // end is read again from its start, a comment cut there goes on in the
    // next window.
    const bool integer = IsIntegerArray(code);
    long long position = value.mRawPos;
    unsigned long long i = 0;
    bool inComment = false;
    while (i < count)
    {
        size_t n = 0;
        const unsigned char* first = d.SpanAt(position, d.mLimit, n);
        if (!first)
            return false;
        const unsigned char* stop = first + n;
        const bool last = position + static_cast<long long>(n) >= d.mLimit;
        const unsigned char* p = first;
        if (inComment)
        {
            p = SkipComment(p, stop);
            inComment = p == stop;
        }
        while (i < count && !inComment)
        {
            // Whole 64-byte blocks of items and blanks: where the items
            // start is found for the block at once, so that no item waits
            // for the one before it to be parsed. An item that is no plain
            // number, or that the window cuts, is left to the steps below.
            bool inItem = false;
            const unsigned char* lastEnd = p;
            unsigned long long items = 0, blanks = 0;
            while (i < count && stop - p >= 64 && Classify64(p, items, blanks) && (items | blanks) == ~0ull)
            {
                unsigned long long starts = items & ~((items << 1) | (inItem ? 1u : 0u));
                starts = TakePlainItems(p, items, starts, inItem, integer, code, out, i, count, lastEnd);
                for (; starts != 0 && i < count; starts &= starts - 1)
                {
                    const unsigned char* at = p + __builtin_ctzll(starts);
                    PlainNumber plain;
                    const unsigned char* end = ParsePlainItem(at, stop, code, integer, plain);
                    if (!end)
                        break;
                    out[i++] = ConvertItem<T>(code, PlainToItem(integer, plain));
                    lastEnd = end;
                }
                if (starts != 0 && i < count)
                {
                    lastEnd = p + __builtin_ctzll(starts); // the item the steps below take
                    break;
                }
                inItem = (items >> 63) & 1u;
                p += 64;
            }
            // Past the last item read (it may run on into the block after).
            if (lastEnd > p || (i == count && lastEnd > first))
                p = lastEnd;
            else if (inItem)
                p = SkipClass(p, stop, kItemClass);
            if (i == count)
                break;
            const unsigned char* start = SkipClass(p, stop, kSpaceClass);
            if (start == stop)
            {
                p = start;
                break;
            }
            if (*start == ';')
            {
                p = SkipComment(start, stop);
                inComment = p == stop;
                continue;
            }
            PlainNumber plain;
            if (const unsigned char* plainEnd = ParsePlainItem(start, stop, code, integer, plain))
            {
                out[i++] = ConvertItem<T>(code, PlainToItem(integer, plain));
                p = plainEnd;
                continue;
            }
            const unsigned char* itemEnd = SkipClass(start, stop, kItemClass);
            if (itemEnd == stop && !last && start != first)
            {
                // Cut by the window's end: the window starts again at the item.
                position += start - first;
                if (!d.Fill(position))
                    return false;
                p = nullptr;
                break;
            }
            if (itemEnd == start || static_cast<size_t>(itemEnd - start) > kLongestItem)
                return false;
            Item item;
            if (!ParseAsciiItem(code, reinterpret_cast<const char*>(start), reinterpret_cast<const char*>(itemEnd),
                                item))
                return false;
            out[i++] = ConvertItem<T>(code, item);
            p = itemEnd;
        }
        if (p)
            position += p - first;
    }
    after = position;
    return true;
}

template <typename T>
bool ReadArray(KQoxPrivate& d, T* out, unsigned long long capacity)
{
    Value value;
    if (!d.PeekValue(value) || !IsArrayCode(value.mType) || value.mRawSize > capacity || (!out && value.mRawSize > 0))
        return false;
    long long after = 0;
    if (!ReadArrayItems(d, value, out, after))
        return d.Corrupted();
    // The value is read: the field's cursor moves past it.
    ReadList* list = d.Current();
    list->mValuePos = after;
    if (d.mForm == KQox::eASCII)
        d.SkipAsciiSeparator(list->mValuePos, list->mValueEnd);
    --list->mRemain;
    return true;
}

} // namespace

long long KQox::FieldReadArrayCount()
{
    Value value;
    if (!mData->PeekValue(value) || !IsArrayCode(value.mType))
        return -1;
    return static_cast<long long>(value.mRawSize);
}

bool KQox::FieldReadArrayB(unsigned char* values, unsigned long long capacity)
{
    return ReadArray(*mData, values, capacity);
}

bool KQox::FieldReadArrayI(int* values, unsigned long long capacity)
{
    return ReadArray(*mData, values, capacity);
}

bool KQox::FieldReadArrayL(long long* values, unsigned long long capacity)
{
    return ReadArray(*mData, values, capacity);
}

bool KQox::FieldReadArrayF(float* values, unsigned long long capacity)
{
    return ReadArray(*mData, values, capacity);
}

bool KQox::FieldReadArrayD(double* values, unsigned long long capacity)
{
    return ReadArray(*mData, values, capacity);
}
