// Plain vertex lines read from bit masks of their bytes: vector compares
// classify the first 64 bytes of a line at once, the numbers' places
// (blanks, signs, points, the line break) come out of the masks with a few
// bit operations, and the digits of each number are combined on both sides
// of the point at once. Lines are read many at a time, and most lines have
// the shape of one met before (the same classes of bytes up to the line
// break): the places of their numbers and how to combine their digits are
// kept per shape, and the numbers of such a line are converted together.
// Whatever the masks cannot settle goes to ObjScanPlainVertexLineByBytes,
// which decides as before: results are those of the byte way, to the bit.
// Plain face lines are read the same way (see ScanFaceAvx2).

#include "formats/obj/kqoxobjscan.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QOX_OBJ_LINE_MASKS 1
#endif

namespace qoxsdk_600 {

namespace {

int ScanByBytes(const char*& p, const char* end, const char* limit, KObjPlainLines& lines)
{
    lines.mCount = 0;
    while (lines.mCount < KObjPlainLines::eMOST && p < limit && *p == 'v')
    {
        const int i = lines.mCount;
        const int n = ObjScanPlainVertexLineByBytes(p, end, lines.mKinds[i], lines.mValues[i]);
        if (n == 0)
            break;
        lines.mNumbers[i] = n;
        ++lines.mCount;
        while (p < end && (*p == '\n' || *p == '\r'))
            ++p;
    }
    return lines.mCount;
}

void Pick();

int PickLine(const char*& p, const char* end, int& kind, double* values)
{
    Pick();
    return ObjScanPlainVertexLine(p, end, kind, values);
}

int PickLines(const char*& p, const char* end, const char* limit, KObjPlainLines& lines)
{
    Pick();
    return ObjScanPlainVertexLines(p, end, limit, lines);
}

void PickFaceScanner();

int PickFace(const char*& q, const char* end, KObjFaceShapes& shapes, int* references)
{
    PickFaceScanner();
    return ObjScanPlainFaceLine(q, end, shapes, references);
}

int SettleNoFace(const char*&, const char*, KObjFaceShapes&, int*)
{
    return 0;
}

} // namespace

std::atomic<ObjPlainLineScanner> gObjPlainLineScanner{&PickLine};
std::atomic<ObjPlainLinesScanner> gObjPlainLinesScanner{&PickLines};
std::atomic<ObjPlainFaceScanner> gObjPlainFaceScanner{&PickFace};

#ifdef QOX_OBJ_LINE_MASKS

namespace {

#define QOX_OBJ_AVX2   __attribute__((target("avx2,bmi,popcnt")))
#define QOX_OBJ_INLINE inline QOX_OBJ_AVX2 __attribute__((always_inline))

// Bytes from the line's start that must be readable for the mask way: the
// 64 classified and the 16 loaded at a number starting in the last of them.
constexpr ptrdiff_t kLineReach = 80;

// The classes of 64 bytes, bit i for byte i.
struct LineMasks
{
    uint64_t mBreaks; // CR or LF
    uint64_t mBlanks; // ' '
    uint64_t mPoints; // '.' (the mark Classify is given)
    uint64_t mMinus;  // '-'
    uint64_t mDigits; // '0' to '9'
};

// The classes of the 64 bytes at; mPoints marks the bytes equal to mark
// ('.' in vertex lines, '/' in face lines).
QOX_OBJ_INLINE LineMasks Classify(const char* at, char mark = '.')
{
    LineMasks m{0, 0, 0, 0, 0};
    for (int i = 0; i < 2; ++i)
    {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32 * i));
        const __m256i d = _mm256_sub_epi8(x, _mm256_set1_epi8('0'));
        const int shift = 32 * i;
        auto bits = [shift](__m256i v)
                        QOX_OBJ_AVX2 { return uint64_t(static_cast<unsigned>(_mm256_movemask_epi8(v))) << shift; };
        m.mBreaks |= bits(_mm256_or_si256(_mm256_cmpeq_epi8(x, _mm256_set1_epi8('\n')),
                                          _mm256_cmpeq_epi8(x, _mm256_set1_epi8('\r'))));
        m.mBlanks |= bits(_mm256_cmpeq_epi8(x, _mm256_set1_epi8(' ')));
        m.mPoints |= bits(_mm256_cmpeq_epi8(x, _mm256_set1_epi8(mark)));
        m.mMinus |= bits(_mm256_cmpeq_epi8(x, _mm256_set1_epi8('-')));
        m.mDigits |= bits(_mm256_cmpeq_epi8(_mm256_min_epu8(d, _mm256_set1_epi8(9)), d));
    }
    return m;
}

// Byte indices for _mm_shuffle_epi8, loaded from entry length: the length
// bytes at a number moved to the top of a register, zeros below them.
alignas(32) const signed char kAlignTop[32] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                               0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15};
// Loaded from entry fraction: -1 in the first 16 - fraction bytes, 0 after.
alignas(32) const signed char kFirstBytes[32] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0};

// Powers of ten to divide by, entry fraction for positive numbers and
// 17 + fraction for negative ones: the quotient by the negated power is
// the negated quotient, to the bit (rounding is symmetric), zero too.
// Entries 16 and 33 for numbers without a point.
const double kDivisors[34] = {1e0,  1e1,  1e2,  1e3,   1e4,   1e5,   1e6,   1e7,   1e8,   1e9,  1e10, 1e11,
                              1e12, 1e13, 1e14, 1e15,  1e0,   -1e0,  -1e1,  -1e2,  -1e3,  -1e4, -1e5, -1e6,
                              -1e7, -1e8, -1e9, -1e10, -1e11, -1e12, -1e13, -1e14, -1e15, -1e0};

// A number found in a line: its bytes after the sign (at most 16, a point
// among them followed by fraction digits, or no point when fraction is
// 16), the divisor's entry and where its value goes.
struct Number
{
    const char* mAt;
    unsigned mLength;
    unsigned mFraction;
    unsigned mDivisor;
    double* mValue;
};

// The number's value into its place; not zero when it is refused (its
// digits as a whole number over 2^53 - 1). The digits go to the top of a
// register as values 0 to 9, those before the point one byte further over
// it, then pairs, fours and eights are combined by multiply-adds.
QOX_OBJ_INLINE uint64_t Convert(const Number& number)
{
    const __m128i bytes =
        _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(number.mAt)), _mm_set1_epi8('0'));
    // Byte j takes byte j + length - 16 (zero where that is negative),
    // those up to the point's place (15 - fraction) the one before.
    const __m128i from =
        _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kAlignTop + number.mLength)),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(kFirstBytes + number.mFraction)));
    const __m128i digits = _mm_shuffle_epi8(bytes, from);
    const __m128i pairs = _mm_maddubs_epi16(digits, _mm_set1_epi16(0x010a));
    const __m128i fours = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00010064));
    const __m128i eights = _mm_madd_epi16(_mm_packus_epi32(fours, fours), _mm_set1_epi32(0x00012710));
    const uint64_t both = static_cast<uint64_t>(_mm_cvtsi128_si64(eights));
    const uint64_t mantissa = (both & 0xffffffff) * 100000000 + (both >> 32);
    // As the byte way: the digits as a whole number (exact as a double),
    // divided by the power of ten of the digits after the point.
    *number.mValue = static_cast<double>(mantissa) / kDivisors[number.mDivisor];
    return mantissa >> 53;
}

// The numbers of the line at p from its masks: its kind, their count (0
// where the masks cannot settle the line: the byte way then decides) and
// the places of its numbers, whose values go to values. stop gets the
// offset of its line break.
QOX_OBJ_INLINE int FindNumbers(const char* p, const LineMasks& m, int& kind, unsigned& stop, Number* numbers,
                               double* values)
{
    // The keyword and its blank: "v ", "vt " or "vn ".
    unsigned first;
    if (p[0] != 'v')
        return 0;
    if (p[1] == ' ')
    {
        kind = 0;
        first = 2;
    }
    else if ((p[1] == 't' || p[1] == 'n') && p[2] == ' ')
    {
        kind = p[1] == 't' ? 1 : 2;
        first = 3;
    }
    else
        return 0;
    // The bytes up to the line break (none among the keyword's).
    if (m.mBreaks == 0)
        return 0; // longer than the masks reach
    stop = static_cast<unsigned>(__builtin_ctzll(m.mBreaks));
    const uint64_t line = ((uint64_t(1) << stop) - 1) & (~uint64_t(0) << first);
    // The numbers: runs of bytes other than blanks, their first and last
    // bytes marked.
    const uint64_t items = line & ~m.mBlanks;
    const uint64_t starts = items & ~(items << 1);
    uint64_t lasts = items & ~(items >> 1);
    // Refused here: bytes other than blanks, digits, points and minus
    // signs; a minus other than first; a number without a digit among its
    // first three bytes (with a minus and a point only the third can be
    // the first digit); numbers of 17 bytes or more.
    uint64_t bad = (line & ~(m.mBlanks | m.mDigits | m.mPoints | m.mMinus)) | (m.mMinus & items & ~starts);
    bad |= starts & ~(m.mDigits | (m.mDigits >> 1) | ((m.mDigits >> 2) & (items >> 1)));
    uint64_t runs = items & (items >> 1);
    runs &= runs >> 2;
    runs &= runs >> 4;
    runs &= runs >> 8;
    bad |= runs & (items >> 16);
    const int n = __builtin_popcountll(starts);
    if (bad || n < (kind == 1 ? 1 : 3) || n > (kind == 0 ? 4 : 3))
        return 0;
    uint64_t s = starts, points = m.mPoints & line;
    for (int i = 0; i < n; ++i)
    {
        const unsigned a = static_cast<unsigned>(__builtin_ctzll(s));
        const unsigned b = static_cast<unsigned>(__builtin_ctzll(lasts)) + 1; // past the last byte
        s &= s - 1;
        lasts &= lasts - 1;
        // The number's points, taken from the rest: one at most.
        const uint64_t own = points & ((uint64_t(1) << b) - 1);
        points ^= own;
        bad |= own & (own - 1);
        const unsigned negative = static_cast<unsigned>(m.mMinus >> a) & 1;
        const unsigned whole = a + negative;
        // Digits after the point: b - 1 - its place; without one 16.
        const unsigned fraction = own ? b - 1 - static_cast<unsigned>(__builtin_ctzll(own)) : 16;
        numbers[i] = Number{p + whole, b - whole, fraction, 17 * negative + fraction, values + i};
    }
    return bad ? 0 : n;
}

QOX_OBJ_AVX2 int ScanLineAvx2(const char*& p, const char* end, int& kind, double* values)
{
    if (end - p >= kLineReach)
    {
        Number numbers[4];
        unsigned stop;
        int k;
        const int n = FindNumbers(p, Classify(p), k, stop, numbers, values);
        uint64_t bad = n == 0;
        for (int i = 0; i < n; ++i)
            bad |= Convert(numbers[i]);
        if (!bad)
        {
            kind = k;
            p += stop;
            return n;
        }
    }
    return ObjScanPlainVertexLineByBytes(p, end, kind, values);
}

// What lines of one shape share: the classes of their bytes up to the line
// break (and their first two bytes) are the same, so their numbers stand
// at the same places with the same signs, points and lengths; only their
// digits differ. Numbers 0 and 1 go to the two halves of one 256-bit
// register, 2 and 3 to another; places past the count read no digits.
// Files hold few shapes: those met are kept, found again by a hash of the
// masks.
using Shape = KObjLineShape;

QOX_OBJ_INLINE unsigned ShapeSlot(const LineMasks& m, uint16_t key)
{
    const uint64_t upto = (uint64_t(2) << __builtin_ctzll(m.mBreaks | (uint64_t(1) << 63))) - 1;
    const uint64_t mix = ((m.mBlanks ^ (m.mMinus * 3) ^ (m.mPoints * 5)) & upto) ^ key;
    return static_cast<unsigned>((mix * 0x9e3779b97f4a7c15ULL) >> 57) % KObjPlainLines::eSHAPES;
}

QOX_OBJ_INLINE bool SameShape(const LineMasks& m, uint16_t key, const Shape& shape)
{
    return shape.mUpto != 0 && key == shape.mKey &&
           (((m.mBreaks ^ shape.mBreaks) | (m.mBlanks ^ shape.mBlanks) | (m.mPoints ^ shape.mPoints) |
             (m.mMinus ^ shape.mMinus) | (m.mDigits ^ shape.mDigits)) &
            shape.mUpto) == 0;
}

// The shape of the line at p; false where the masks cannot settle the
// line.
QOX_OBJ_INLINE bool TakeShape(const char* p, const LineMasks& m, uint16_t key, Shape& shape)
{
    Number numbers[4];
    double unused[4];
    int kind;
    unsigned stop;
    const int n = FindNumbers(p, m, kind, stop, numbers, unused);
    if (n == 0)
        return false;
    shape.mUpto = (uint64_t(2) << stop) - 1;
    shape.mBreaks = m.mBreaks & shape.mUpto;
    shape.mBlanks = m.mBlanks & shape.mUpto;
    shape.mPoints = m.mPoints & shape.mUpto;
    shape.mMinus = m.mMinus & shape.mUpto;
    shape.mDigits = m.mDigits & shape.mUpto;
    shape.mKey = key;
    shape.mKind = kind;
    shape.mCount = n;
    shape.mStop = stop;
    // Each register and the divisors stored whole, so that the loads of
    // them take the stored values straight on.
    __m128i from[4];
    double divisors[4];
    for (int i = 0; i < 4; ++i)
    {
        from[i] = _mm_set1_epi8(-1);
        shape.mAt[i] = 0;
        divisors[i] = 1;
        if (i < n)
        {
            from[i] =
                _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kAlignTop + numbers[i].mLength)),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(kFirstBytes + numbers[i].mFraction)));
            shape.mAt[i] = static_cast<unsigned>(numbers[i].mAt - p);
            divisors[i] = kDivisors[numbers[i].mDivisor];
        }
    }
    _mm256_store_si256(reinterpret_cast<__m256i*>(shape.mFrom[0]), _mm256_set_m128i(from[1], from[0]));
    _mm256_store_si256(reinterpret_cast<__m256i*>(shape.mFrom[1]), _mm256_set_m128i(from[3], from[2]));
    _mm256_store_pd(shape.mDivisors, _mm256_setr_pd(divisors[0], divisors[1], divisors[2], divisors[3]));
    return true;
}

// The numbers of the line at p, of that shape, into values (four of them,
// places past the count zero); not zero when one is refused (its digits
// as a whole number 2^52 or more: the others decide on it). As Convert,
// for four numbers at once; the whole numbers below 2^52 become doubles by
// standing in for the low bits of 2^52.
QOX_OBJ_INLINE bool ConvertShaped(const char* p, const Shape& shape, double* values)
{
    const __m256i zero = _mm256_set1_epi8('0');
    const __m256i low = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + shape.mAt[0]))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + shape.mAt[1])), 1);
    const __m256i high = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + shape.mAt[2]))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + shape.mAt[3])), 1);
    auto wholes = [&](__m256i text, const signed char* from) QOX_OBJ_AVX2 {
        const __m256i digits =
            _mm256_shuffle_epi8(_mm256_sub_epi8(text, zero), _mm256_load_si256(reinterpret_cast<const __m256i*>(from)));
        const __m256i pairs = _mm256_maddubs_epi16(digits, _mm256_set1_epi16(0x010a));
        const __m256i fours = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00010064));
        const __m256i eights = _mm256_madd_epi16(_mm256_packus_epi32(fours, fours), _mm256_set1_epi32(0x00012710));
        // The first eight digits times 10^8 plus the last eight, in the
        // low 64 bits of each half.
        return _mm256_add_epi64(_mm256_mul_epu32(eights, _mm256_set1_epi64x(100000000)), _mm256_srli_epi64(eights, 32));
    };
    // Numbers 0, 2, 1, 3, then in order.
    const __m256i mantissas = _mm256_permute4x64_epi64(
        _mm256_unpacklo_epi64(wholes(low, shape.mFrom[0]), wholes(high, shape.mFrom[1])), 0xd8);
    const __m256i two52 = _mm256_set1_epi64x(0x4330000000000000); // 2^52 as a double
    const __m256d whole =
        _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(mantissas, two52)), _mm256_castsi256_pd(two52));
    _mm256_storeu_pd(values, _mm256_div_pd(whole, _mm256_load_pd(shape.mDivisors)));
    return !_mm256_testz_si256(mantissas, _mm256_set1_epi64x(~((int64_t(1) << 52) - 1)));
}

QOX_OBJ_AVX2 int ScanLinesAvx2(const char*& p, const char* end, const char* limit, KObjPlainLines& lines)
{
    int count = 0;
    const char* q = p;
    // The shape of the line before, tried first: most lines have it, and
    // its places are known before the line's masks are.
    const Shape* last = nullptr;
    while (count < KObjPlainLines::eMOST && q < limit && end - q >= kLineReach)
    {
        const LineMasks masks = Classify(q);
        uint16_t key;
        std::memcpy(&key, q, sizeof key);
        if (!last || !SameShape(masks, key, *last))
        {
            Shape& kept = lines.mShapes[ShapeSlot(masks, key)];
            if (!SameShape(masks, key, kept) && !TakeShape(q, masks, key, kept))
                break;
            last = &kept;
        }
        const Shape& shape = *last;
        if (ConvertShaped(q, shape, lines.mValues[count]))
            break; // to the caller, which reads it on its own
        lines.mKinds[count] = shape.mKind;
        lines.mNumbers[count] = shape.mCount;
        ++count;
        // On past the line breaks, those within the masks at once.
        const uint64_t breaks = ~masks.mBreaks >> shape.mStop;
        q += breaks ? shape.mStop + static_cast<unsigned>(__builtin_ctzll(breaks)) : 64;
        while (q < end && (*q == '\n' || *q == '\r'))
            ++q;
    }
    lines.mCount = count;
    p = q;
    return count;
}

// Plain face lines: after the "f", blanks and tokens "v", "v/t", "v//n" or
// "v/t/n" up to the line break. The 64 bytes after the "f" are classified
// as for vertex lines (slashes instead of points), the next 64 too for a
// longer line; lines of a shape met before (the same classes of bytes up
// to the break) have their references at the same places with the same
// lengths and signs: such a line is known by its bytes, each compared
// with the shape's after the digits are made one (FaceClasses), 32 at a
// time. Each reference's digits are converted from the 8-byte word at its
// first digit, moved up so that its last digit is the top byte (the bytes
// after it go out, zeros come in below): a whole number of eight digits at
// most, combined by pairs, fours and eights, eight references at a time.
// What the masks cannot settle goes to the caller's byte by byte reading,
// which decides as before.

// Bytes after the "f" that must be readable: the 64 classified and the 8
// read at a reference's first digit among them; for a line longer than
// that, 128 and 8.
constexpr ptrdiff_t kFaceReach = 72;
constexpr ptrdiff_t kLongFaceReach = 136;

__extension__ typedef unsigned __int128 FaceBits; // bit i for byte i

// The place of the lowest bit set (bits not zero).
inline unsigned Lowest(FaceBits bits)
{
    const uint64_t low = static_cast<uint64_t>(bits);
    return low ? static_cast<unsigned>(__builtin_ctzll(low))
               : 64 + static_cast<unsigned>(__builtin_ctzll(static_cast<uint64_t>(bits >> 64)));
}

// The bits below place (at most 128).
inline FaceBits Below(unsigned place)
{
    return place < 128 ? (FaceBits(1) << place) - 1 : ~FaceBits(0);
}

struct FaceMasks
{
    FaceBits mBreaks;  // CR or LF
    FaceBits mBlanks;  // ' '
    FaceBits mSlashes; // '/'
    FaceBits mMinus;   // '-'
    FaceBits mDigits;  // '0' to '9'
};

// The classes of the 64 bytes at, shifted up by shift bits.
QOX_OBJ_INLINE void ClassifyFace(const char* at, unsigned shift, FaceMasks& m)
{
    const LineMasks bytes = Classify(at, '/');
    m.mBreaks |= FaceBits(bytes.mBreaks) << shift;
    m.mBlanks |= FaceBits(bytes.mBlanks) << shift;
    m.mSlashes |= FaceBits(bytes.mPoints) << shift;
    m.mMinus |= FaceBits(bytes.mMinus) << shift;
    m.mDigits |= FaceBits(bytes.mDigits) << shift;
}

QOX_OBJ_INLINE unsigned FaceShapeSlot(const FaceMasks& m)
{
    const FaceBits upto = Below(Lowest(m.mBreaks) + 1);
    const FaceBits mix = (m.mBlanks ^ (m.mSlashes * 3) ^ (m.mMinus * 5)) & upto;
    const uint64_t fold = static_cast<uint64_t>(mix) ^ (static_cast<uint64_t>(mix >> 64) * 0xff51afd7ed558ccdULL);
    return static_cast<unsigned>((fold * 0x9e3779b97f4a7c15ULL) >> 58) % (KObjFaceShapes::eSHAPES / 2) * 2;
}

// The bytes at made fit for comparing with a shape's: digits become 9,
// every other byte less '0' stays itself (above 9).
QOX_OBJ_INLINE __m256i FaceClasses(const char* at)
{
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    return _mm256_max_epu8(_mm256_sub_epi8(x, _mm256_set1_epi8('0')), _mm256_set1_epi8(9));
}

// Whether the line at q has that shape (none for an empty one): the same
// bytes up to its line break, but for digits (shape.mBlocks of 32 bytes
// readable from q).
QOX_OBJ_INLINE bool SameFaceShape(const char* q, const KObjFaceShape& shape)
{
    uint32_t differ = 0;
    for (int k = 0; k < shape.mBlocks; ++k)
    {
        const __m256i same = _mm256_cmpeq_epi8(
            FaceClasses(q + 32 * k), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(shape.mBytes + 32 * k)));
        differ |= ~static_cast<uint32_t>(_mm256_movemask_epi8(same)) & shape.mUpto[k];
    }
    return shape.mBlocks != 0 && differ == 0;
}

// The bytes to read at q for the line's shape: its 32s compared, and the
// 8-byte words at its references.
inline ptrdiff_t FaceReach(const KObjFaceShape& shape)
{
    return shape.mStop < 64 ? kFaceReach : kLongFaceReach;
}

// The shape of a line with these masks (a line break among them); false
// where the masks cannot settle it (the shape is then left empty).
QOX_OBJ_INLINE bool TakeFaceShape(const char* q, const FaceMasks& m, KObjFaceShape& shape)
{
    shape.mBlocks = 0;
    const unsigned stop = Lowest(m.mBreaks);
    const FaceBits line = Below(stop);
    if (line & ~(m.mBlanks | m.mSlashes | m.mMinus | m.mDigits))
        return false;
    const FaceBits items = line & ~m.mBlanks;
    FaceBits starts = items & ~(items << 1);
    FaceBits lasts = items & ~(items >> 1);
    const int corners = __builtin_popcountll(static_cast<uint64_t>(starts)) +
                        __builtin_popcountll(static_cast<uint64_t>(starts >> 64));
    if (corners == 0 || corners > KObjFaceShape::eMOST_CORNERS)
        return false;
    const size_t used = 8 * static_cast<size_t>((3 * corners + 7) / 8);
    std::memset(shape.mAt, 0, used);
    std::memset(shape.mShift, 64, used);
    std::memset(shape.mSign, 0, used);
    // Reference i of an eight goes to this place of the two registers:
    // their halves pair up as 0 1 | 4 5 and 2 3 | 6 7 when combined.
    static const unsigned char kPlace[8] = {0, 1, 4, 5, 2, 3, 6, 7};
    // The number in [u, w) as reference j; false for an empty one or one of
    // more than eight digits.
    auto number = [&](unsigned u, unsigned w, int j) {
        const unsigned sign = static_cast<unsigned>(m.mMinus >> u) & 1;
        const int count = static_cast<int>(w) - static_cast<int>(u + sign);
        if (count < 1 || count > 8)
            return false;
        const int at = (j & ~7) + kPlace[j & 7];
        shape.mAt[at] = static_cast<unsigned char>(u + sign);
        shape.mShift[at] = static_cast<unsigned char>(8 * (8 - count));
        shape.mSign[j] = static_cast<signed char>(-static_cast<int>(sign));
        return true;
    };
    for (int c = 0; c < corners; ++c)
    {
        const unsigned a = Lowest(starts);
        const unsigned b = Lowest(lasts) + 1; // past the last byte
        starts &= starts - 1;
        lasts &= lasts - 1;
        const FaceBits token = Below(b) & ~Below(a);
        FaceBits S = m.mSlashes & token;
        // Minus signs start numbers only; two slashes at most.
        if ((m.mMinus & token) & ~((S << 1) | (FaceBits(1) << a)))
            return false;
        const unsigned x = S ? Lowest(S) : b;
        S &= S - 1;
        const unsigned y = S ? Lowest(S) : b;
        if (S & (S - 1))
            return false;
        if (!number(a, x, 3 * c))
            return false;
        if (x < b && !(y == x + 1 ? number(y + 1, b, 3 * c + 2)
                                  : number(x + 1, y, 3 * c + 1) && (y == b || number(y + 1, b, 3 * c + 2))))
            return false;
    }
    // The shape's bytes: those of this line, 32 at a time up to the 32 of
    // the line break.
    shape.mStop = stop;
    shape.mBlocks = static_cast<int>(stop / 32 + 1);
    for (int k = 0; k < 4; ++k)
    {
        const unsigned from = 32 * static_cast<unsigned>(k);
        shape.mUpto[k] = k < shape.mBlocks ? static_cast<uint32_t>((Below(stop + 1) >> from) & 0xffffffffu) : 0;
        if (k < shape.mBlocks)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(shape.mBytes + from), FaceClasses(q + from));
    }
    shape.mCorners = corners;
    shape.mEights = (3 * corners + 7) / 8;
    return true;
}

QOX_OBJ_AVX2 int ScanFaceAvx2(const char*& q, const char* end, KObjFaceShapes& shapes, int* references)
{
    const ptrdiff_t left = end - q;
    if (left < kFaceReach)
        return 0;
    if (shapes.mRest > 0)
    {
        --shapes.mRest;
        return 0;
    }
    // Lines of shapes kept, and those whose shapes are to be taken (which
    // cost more than the bytes way), counted: too many of these, and the
    // mask way rests.
    auto count = [&shapes](bool missed) {
        shapes.mMissed += missed;
        if (++shapes.mTried == KObjFaceShapes::eTRIAL)
        {
            if (shapes.mMissed > KObjFaceShapes::eMOST_MISSES)
                shapes.mRest = KObjFaceShapes::eREST;
            shapes.mTried = shapes.mMissed = 0;
        }
    };
    // The shape of the line before, tried first: most lines have it. Else
    // the line's masks, and the shape kept by their hash.
    int index = shapes.mLast;
    if (index < 0 || left < FaceReach(shapes.mShapes[index]) || !SameFaceShape(q, shapes.mShapes[index]))
    {
        FaceMasks masks{0, 0, 0, 0, 0};
        ClassifyFace(q, 0, masks);
        if (masks.mBreaks == 0 && left >= kLongFaceReach)
            ClassifyFace(q + 64, 64, masks);
        if (masks.mBreaks == 0)
            return 0; // longer than the masks reach
        // The pair of the hash: the shape in one of them, or a new one in
        // place of the one used less lately.
        index = static_cast<int>(FaceShapeSlot(masks));
        auto holds = [&](const KObjFaceShape& kept) QOX_OBJ_AVX2 {
            return left >= FaceReach(kept) && SameFaceShape(q, kept);
        };
        if (holds(shapes.mShapes[index]))
            count(false);
        else if (holds(shapes.mShapes[index + 1]))
        {
            ++index;
            count(false);
        }
        else
        {
            count(true);
            if (shapes.mShapes[index + 1].mUsed < shapes.mShapes[index].mUsed)
                ++index;
            if (!TakeFaceShape(q, masks, shapes.mShapes[index]))
                return 0;
        }
        shapes.mLast = index;
        shapes.mShapes[index].mUsed = ++shapes.mUses;
    }
    else
        count(false);
    const KObjFaceShape& shape = shapes.mShapes[index];
    const __m256i ascii = _mm256_set1_epi8('0');
    auto word = [q](unsigned at) {
        long long w;
        std::memcpy(&w, q + at, sizeof w);
        return w;
    };
    // Each word's digits as two whole numbers of four.
    auto fours = [&](__m256i words, __m128i shifts) QOX_OBJ_AVX2 {
        const __m256i digits = _mm256_sllv_epi64(_mm256_xor_si256(words, ascii), _mm256_cvtepu8_epi64(shifts));
        return _mm256_madd_epi16(_mm256_maddubs_epi16(digits, _mm256_set1_epi16(0x010a)),
                                 _mm256_set1_epi32(0x00010064));
    };
    for (int e = 0; e < shape.mEights; ++e)
    {
        const unsigned char* at = shape.mAt + 8 * e;
        const __m256i low = _mm256_set_epi64x(word(at[3]), word(at[2]), word(at[1]), word(at[0]));
        const __m256i high = _mm256_set_epi64x(word(at[7]), word(at[6]), word(at[5]), word(at[4]));
        const __m128i shifts = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(shape.mShift + 8 * e));
        const __m256i values =
            _mm256_madd_epi16(_mm256_packus_epi32(fours(low, shifts), fours(high, _mm_srli_si128(shifts, 4))),
                              _mm256_set1_epi32(0x00012710));
        const __m256i sign =
            _mm256_cvtepi8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(shape.mSign + 8 * e)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(references + 8 * e),
                            _mm256_sub_epi32(_mm256_xor_si256(values, sign), sign));
    }
    q += shape.mStop;
    return shape.mCorners;
}

bool HasAvx2()
{
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("popcnt");
    }();
    return has;
}

} // namespace

#endif

bool ObjPlainLineScannersOf(EObjLineScan way, ObjPlainLineScanner& line, ObjPlainLinesScanner& lines)
{
    switch (way)
    {
    case eOBJ_LINE_BY_BYTES:
        line = &ObjScanPlainVertexLineByBytes;
        lines = &ScanByBytes;
        return true;
#ifdef QOX_OBJ_LINE_MASKS
    case eOBJ_LINE_AVX2:
        if (!HasAvx2())
            return false;
        line = &ScanLineAvx2;
        lines = &ScanLinesAvx2;
        return true;
#endif
    default: return false;
    }
}

bool ObjPlainFaceScannerOf(EObjLineScan way, ObjPlainFaceScanner& scanner)
{
    switch (way)
    {
    case eOBJ_LINE_BY_BYTES: scanner = &SettleNoFace; return true;
#ifdef QOX_OBJ_LINE_MASKS
    case eOBJ_LINE_AVX2:
        if (!HasAvx2())
            return false;
        scanner = &ScanFaceAvx2;
        return true;
#endif
    default: return false;
    }
}

namespace {

void Pick()
{
    ObjPlainLineScanner line = nullptr;
    ObjPlainLinesScanner lines = nullptr;
    for (int way = eOBJ_LINE_SCAN_COUNT - 1; !ObjPlainLineScannersOf(static_cast<EObjLineScan>(way), line, lines);)
        --way;
    gObjPlainLinesScanner.store(lines, std::memory_order_relaxed);
    gObjPlainLineScanner.store(line, std::memory_order_relaxed);
}

void PickFaceScanner()
{
    ObjPlainFaceScanner face = nullptr;
    for (int way = eOBJ_LINE_SCAN_COUNT - 1; !ObjPlainFaceScannerOf(static_cast<EObjLineScan>(way), face);)
        --way;
    gObjPlainFaceScanner.store(face, std::memory_order_relaxed);
}

} // namespace

} // namespace qoxsdk_600
