#include "base/kcrcfile.h"

#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <vector>

#include "base/kbytes.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KCRC_HAVE_FOLDING 1
#endif

namespace {

const unsigned int kPolynomial = 0x04C11DB7u;
const unsigned int kChunk = 64 * 1024;
// Reads followed: from this size on, in portions of at most kFollowPortion.
const unsigned int kFollowMinimum = 16 * 1024;
const unsigned int kFollowPortion = 256 * 1024;

// Tables[0] is the byte table; Tables[k] advances a byte followed by k zero
// bytes, so that sixteen bytes are taken per step.
struct Tables
{
    unsigned int mT[16][256];
    Tables()
    {
        for (unsigned int i = 0; i < 256; ++i)
        {
            unsigned int r = i << 24;
            for (int bit = 0; bit < 8; ++bit)
                r = (r & 0x80000000u) ? (r << 1) ^ kPolynomial : (r << 1);
            mT[0][i] = r;
        }
        for (int k = 1; k < 16; ++k)
            for (unsigned int i = 0; i < 256; ++i)
            {
                unsigned int r = mT[k - 1][i];
                mT[k][i] = (r << 8) ^ mT[0][r >> 24];
            }
    }
};

const Tables& TheTables()
{
    static const Tables tables;
    return tables;
}

#ifdef KCRC_HAVE_FOLDING

// x^n modulo the polynomial: the factor that moves a coefficient n places on.
constexpr unsigned long long PowerMod(int n)
{
    unsigned int r = 1;
    for (int i = 0; i < n; ++i)
        r = (r & 0x80000000u) ? (r << 1) ^ kPolynomial : (r << 1);
    return r;
}

// The register works most significant bit first, so 16 bytes are loaded
// reversed: the first byte's top bit becomes the highest coefficient of a
// 128-bit polynomial. Moving such a block d bits on and adding the next block
// b keeps its value modulo the polynomial: hi * (x^(d+64) mod P) +
// lo * (x^d mod P) + b, each product below 96 bits.
__attribute__((target("pclmul,ssse3"))) inline __m128i Load(const unsigned char* p)
{
    const __m128i reverse = _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), reverse);
}

__attribute__((target("pclmul,ssse3"))) inline __m128i Fold(__m128i a, __m128i k, __m128i b)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x11), _mm_clmulepi64_si128(a, k, 0x00)), b);
}

__attribute__((target("pclmul,ssse3"))) unsigned int UpdateFolded(unsigned int crc, const unsigned char* p, size_t n)
{
    // Four blocks in flight, 64 bytes apart, then folded into one.
    const __m128i by512 =
        _mm_set_epi64x(static_cast<long long>(PowerMod(512 + 64)), static_cast<long long>(PowerMod(512)));
    const __m128i by128 =
        _mm_set_epi64x(static_cast<long long>(PowerMod(128 + 64)), static_cast<long long>(PowerMod(128)));
    __m128i x0 = _mm_xor_si128(Load(p), _mm_set_epi32(static_cast<int>(crc), 0, 0, 0));
    __m128i x1 = Load(p + 16);
    __m128i x2 = Load(p + 32);
    __m128i x3 = Load(p + 48);
    p += 64;
    n -= 64;
    while (n >= 64)
    {
        x0 = Fold(x0, by512, Load(p));
        x1 = Fold(x1, by512, Load(p + 16));
        x2 = Fold(x2, by512, Load(p + 32));
        x3 = Fold(x3, by512, Load(p + 48));
        p += 64;
        n -= 64;
    }
    __m128i x = Fold(Fold(Fold(x0, by128, x1), by128, x2), by128, x3);
    while (n >= 16)
    {
        x = Fold(x, by128, Load(p));
        p += 16;
        n -= 16;
    }
    // The register over the folded block (from zero) and the bytes left.
    const __m128i reverse = _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    unsigned char block[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block), _mm_shuffle_epi8(x, reverse));
    return kcrc::UpdateTable(kcrc::UpdateTable(0, block, sizeof block), p, n);
}

bool DetectFolding()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
}

// The same folding four blocks to a 512-bit register: sixteen blocks in
// flight, 256 bytes apart, then folded into one block as above.
#define KCRC_WIDE_TARGET __attribute__((target("avx512f,avx512bw,avx512vl,vpclmulqdq,pclmul,ssse3")))

KCRC_WIDE_TARGET inline __m512i LoadWide(const unsigned char* p, __m512i reverse)
{
    return _mm512_shuffle_epi8(_mm512_loadu_si512(p), reverse);
}

KCRC_WIDE_TARGET inline __m512i FoldWide(__m512i a, __m512i k, __m512i b)
{
    // 0x96: the three operands exclusive-or'ed.
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(a, k, 0x11), _mm512_clmulepi64_epi128(a, k, 0x00), b,
                                     0x96);
}

KCRC_WIDE_TARGET unsigned int UpdateFoldedWide(unsigned int crc, const unsigned char* p, size_t n)
{
    // Each 128-bit lane holds bytes 15 to 0 and the same pair of factors.
    const long long kReverseLow = 0x08090A0B0C0D0E0Fll, kReverseHigh = 0x0001020304050607ll;
    const __m512i reverse = _mm512_set_epi64(kReverseHigh, kReverseLow, kReverseHigh, kReverseLow, kReverseHigh,
                                             kReverseLow, kReverseHigh, kReverseLow);
    const long long far1 = static_cast<long long>(PowerMod(2048 + 64)), far0 = static_cast<long long>(PowerMod(2048));
    const __m512i by2048 = _mm512_set_epi64(far1, far0, far1, far0, far1, far0, far1, far0);
    const long long near1 = static_cast<long long>(PowerMod(512 + 64)), near0 = static_cast<long long>(PowerMod(512));
    const __m512i by512 = _mm512_set_epi64(near1, near0, near1, near0, near1, near0, near1, near0);
    const __m128i by128 =
        _mm_set_epi64x(static_cast<long long>(PowerMod(128 + 64)), static_cast<long long>(PowerMod(128)));
    __m512i x0 =
        _mm512_xor_si512(LoadWide(p, reverse), _mm512_zextsi128_si512(_mm_set_epi32(static_cast<int>(crc), 0, 0, 0)));
    __m512i x1 = LoadWide(p + 64, reverse);
    __m512i x2 = LoadWide(p + 128, reverse);
    __m512i x3 = LoadWide(p + 192, reverse);
    p += 256;
    n -= 256;
    while (n >= 256)
    {
        x0 = FoldWide(x0, by2048, LoadWide(p, reverse));
        x1 = FoldWide(x1, by2048, LoadWide(p + 64, reverse));
        x2 = FoldWide(x2, by2048, LoadWide(p + 128, reverse));
        x3 = FoldWide(x3, by2048, LoadWide(p + 192, reverse));
        p += 256;
        n -= 256;
    }
    __m512i x = FoldWide(FoldWide(FoldWide(x0, by512, x1), by512, x2), by512, x3);
    while (n >= 64)
    {
        x = FoldWide(x, by512, LoadWide(p, reverse));
        p += 64;
        n -= 64;
    }
    // The four blocks of the register, first to last, into one.
    alignas(64) __m128i lanes[4];
    _mm512_store_si512(lanes, x);
    __m128i y = Fold(Fold(Fold(lanes[0], by128, lanes[1]), by128, lanes[2]), by128, lanes[3]);
    while (n >= 16)
    {
        y = Fold(y, by128, Load(p));
        p += 16;
        n -= 16;
    }
    unsigned char block[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block),
                     _mm_shuffle_epi8(y, _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0)));
    return kcrc::UpdateTable(kcrc::UpdateTable(0, block, sizeof block), p, n);
}

bool DetectWideFolding()
{
    __builtin_cpu_init();
    return DetectFolding() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("vpclmulqdq");
}

#endif

// Below this many bytes the tables are as quick as setting up the folding.
const size_t kFoldingMinimum = 128;
// The wide registers pay off from a few of their steps on.
const size_t kWideFoldingMinimum = 1024;

} // namespace

namespace kcrc {

unsigned int UpdateTable(unsigned int crc, const unsigned char* bytes, size_t n)
{
    // Sixteen bytes a step, one table for each byte position.
    const unsigned int(&t)[16][256] = TheTables().mT;
    while (n >= 16)
    {
        crc ^= (static_cast<unsigned int>(bytes[0]) << 24) | (static_cast<unsigned int>(bytes[1]) << 16) |
               (static_cast<unsigned int>(bytes[2]) << 8) | bytes[3];
        crc = t[15][crc >> 24] ^ t[14][(crc >> 16) & 0xFF] ^ t[13][(crc >> 8) & 0xFF] ^ t[12][crc & 0xFF] ^
              t[11][bytes[4]] ^ t[10][bytes[5]] ^ t[9][bytes[6]] ^ t[8][bytes[7]] ^ t[7][bytes[8]] ^ t[6][bytes[9]] ^
              t[5][bytes[10]] ^ t[4][bytes[11]] ^ t[3][bytes[12]] ^ t[2][bytes[13]] ^ t[1][bytes[14]] ^ t[0][bytes[15]];
        bytes += 16;
        n -= 16;
    }
    for (size_t i = 0; i < n; ++i)
        crc = (crc << 8) ^ t[0][(crc >> 24) ^ bytes[i]];
    return crc;
}

bool HasFolding()
{
#ifdef KCRC_HAVE_FOLDING
    static const bool has = DetectFolding();
    return has;
#else
    return false;
#endif
}

unsigned int UpdateFolding(unsigned int crc, const unsigned char* bytes, size_t n)
{
#ifdef KCRC_HAVE_FOLDING
    if (n >= 64 && HasFolding())
        return UpdateFolded(crc, bytes, n);
#endif
    return UpdateTable(crc, bytes, n);
}

bool HasWideFolding()
{
#ifdef KCRC_HAVE_FOLDING
    static const bool has = DetectWideFolding();
    return has;
#else
    return false;
#endif
}

unsigned int UpdateWideFolding(unsigned int crc, const unsigned char* bytes, size_t n)
{
#ifdef KCRC_HAVE_FOLDING
    if (n >= 256 && HasWideFolding())
        return UpdateFoldedWide(crc, bytes, n);
#endif
    return UpdateFolding(crc, bytes, n);
}

unsigned int Update(unsigned int crc, const unsigned char* bytes, size_t n)
{
    if (n < kFoldingMinimum)
        return UpdateTable(crc, bytes, n);
    return n >= kWideFoldingMinimum ? UpdateWideFolding(crc, bytes, n) : UpdateFolding(crc, bytes, n);
}

} // namespace kcrc

namespace {

// a * b modulo the polynomial, registers read most significant bit first.
unsigned int MultiplyMod(unsigned int a, unsigned int b)
{
    unsigned int r = 0;
    for (int i = 31; i >= 0; --i)
    {
        r = (r & 0x80000000u) ? (r << 1) ^ kPolynomial : (r << 1);
        if ((b >> i) & 1u)
            r ^= a;
    }
    return r;
}

// x^(8 * 2^k) modulo the polynomial for every k, worked out once.
struct ZeroBytePowers
{
    unsigned int mPower[64];
    ZeroBytePowers()
    {
        unsigned int power = 1u << 8; // x^8
        for (unsigned int& entry : mPower)
        {
            entry = power;
            power = MultiplyMod(power, power);
        }
    }
};

// x^(8 * bytes) modulo the polynomial: moves a register over that many zero
// bytes. One multiplication per set bit of the count.
unsigned int ZeroBytesFactorOf(unsigned long long bytes)
{
    static const ZeroBytePowers powers;
    unsigned int result = 1;
    for (int k = 0; bytes; bytes >>= 1, ++k)
        if (bytes & 1u)
            result = MultiplyMod(result, powers.mPower[k]);
    return result;
}

} // namespace

KCrcFile::KCrcFile(int id, KChainedFile* next, EMode mode, bool ownsNext)
    : KChainedFile(id, next, mode, ownsNext)
{
    MakeCrcTable();
    ResetStream();
}

void KCrcFile::ResetStream()
{
    mFollowing = false;
    mFollowed.clear();
    mStreaming = true;
    mRunning = 0xFFFFFFFFu;
    mStreamEnd = 0;
    mPatches.clear();
    mUnplaced = false;
}

bool KCrcFile::Open(const char* name, kFileMode mode, bool text)
{
    ResetStream();
    return OpenDone(KChainedFile::Open(name, mode, text));
}

bool KCrcFile::Open(const char* name, const char* modeText)
{
    ResetStream();
    return OpenDone(KChainedFile::Open(name, modeText));
}

bool KCrcFile::Open(void* buffer, unsigned int size)
{
    ResetStream();
    return KChainedFile::Open(buffer, size);
}

unsigned int KCrcFile::Write(void* buffer, unsigned int n)
{
    if (mMode != eWrite || !mStreaming || n == 0)
    {
        const unsigned int written = KChainedFile::Write(buffer, n);
        if (mUnplaced)
            mStreamEnd += static_cast<long>(written); // still the position
        return written;
    }
    const unsigned char* bytes = static_cast<const unsigned char*>(buffer);
    const long position = GetPosition();
    if (position < 0 || position > mStreamEnd)
    {
        mStreaming = false; // a gap: Close reads the file back
        return KChainedFile::Write(buffer, n);
    }
    // Over bytes already counted: the change is kept for Close.
    unsigned int over =
        static_cast<long>(n) < mStreamEnd - position ? n : static_cast<unsigned int>(mStreamEnd - position);
    if (over > 0)
    {
        std::vector<unsigned char> change(over);
        if (KChainedFile::Read(change.data(), over) != over)
        {
            mStreaming = false;
        }
        else
        {
            for (unsigned int i = 0; i < over; ++i)
                change[i] ^= bytes[i];
            mPatches.push_back({position, over, kcrc::UpdateTable(0, change.data(), over)});
        }
        KChainedFile::SetPosition(position);
    }
    unsigned int written = KChainedFile::Write(buffer, n);
    if (written != n)
    {
        mStreaming = false;
        return written;
    }
    if (mStreaming && n > over)
    {
        mRunning = kcrc::Update(mRunning, bytes + over, n - over);
        mStreamEnd += static_cast<long>(n - over);
    }
    return written;
}

bool KCrcFile::OpenDone(bool ok)
{
    // A FIFO, pipe or socket tells no position: every write appends to it.
    mUnplaced = ok && mMode == eWrite && KChainedFile::GetPosition() < 0;
    return ok;
}

long KCrcFile::GetPosition()
{
    return mUnplaced ? mStreamEnd : KChainedFile::GetPosition();
}

void KCrcFile::SetPosition(long offset)
{
    if (!mUnplaced)
        KChainedFile::SetPosition(offset);
    else if (offset != mStreamEnd)
        mStreaming = false; // a stream cannot go back: Close fails
}

void KCrcFile::Seek(kSeekPos from, long offset)
{
    if (!mUnplaced)
        KChainedFile::Seek(from, offset);
    else if (from == kSEEK_BEGIN)
        SetPosition(offset);
    else if (offset != 0)
        mStreaming = false;
}

int KCrcFile::Truncate(unsigned int length)
{
    mStreaming = false;
    return KChainedFile::Truncate(length);
}

void KCrcFile::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n > 0)
    {
        std::vector<char> text(static_cast<size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, copy);
        Write(text.data(), static_cast<unsigned int>(n));
    }
    va_end(copy);
}

bool KCrcFile::StreamCrc(unsigned int& crc)
{
    if (!mStreaming)
        return false;
    if (mUnplaced)
    {
        // Nothing written to a stream can be read back or written over: the
        // register followed every byte.
        crc = mRunning;
        return true;
    }
    long saved = KChainedFile::GetPosition();
    KChainedFile::Seek(kSEEK_END, 0);
    long size = KChainedFile::GetPosition();
    KChainedFile::SetPosition(saved);
    // The file must still read back (a write-only file gets no trailer).
    unsigned char probe = 0;
    KChainedFile::SetPosition(0);
    const bool readable = size == 0 || KChainedFile::Read(&probe, 1) == 1;
    KChainedFile::SetPosition(saved);
    if (size != mStreamEnd || !readable)
        return false;
    crc = mRunning;
    for (const Patch& patch : mPatches)
    {
        const unsigned long long after =
            static_cast<unsigned long long>(size - patch.mOffset) - static_cast<unsigned long long>(patch.mLength);
        crc ^= MultiplyMod(patch.mCrc, ZeroBytesFactorOf(after));
    }
    return true;
}

KCrcFile::~KCrcFile() {}

void KCrcFile::MakeCrcTable()
{
    TheTables();
}

void KCrcFile::FollowReads(bool follow)
{
    mFollowing = follow && mMode == eRead;
    if (!mFollowing)
        mFollowed.clear();
}

void KCrcFile::AdoptFollowed(const KCrcFile& other)
{
    if (!mFollowing)
        return;
    for (const auto& [start, stretch] : other.mFollowed)
    {
        // The registers of stretches that share bytes cannot be joined.
        auto next = mFollowed.lower_bound(start);
        if (next != mFollowed.end() && next->first < stretch.mEnd)
            continue;
        if (next != mFollowed.begin() && std::prev(next)->second.mEnd > start)
            continue;
        AddFollowed(start, stretch.mEnd, stretch.mCrc);
    }
}

unsigned int KCrcFile::Read(void* buffer, unsigned int n)
{
    if (!mFollowing || n < kFollowMinimum || !buffer)
        return KChainedFile::Read(buffer, n);
    const long position = KChainedFile::GetPosition();
    if (position < 0)
        return KChainedFile::Read(buffer, n);
    return ReadFollowing(position, static_cast<unsigned char*>(buffer), n, false);
}

unsigned int KCrcFile::ReadAt(long position, void* buffer, unsigned int n)
{
    if (!mFollowing || n < kFollowMinimum || !buffer || position < 0)
        return KChainedFile::ReadAt(position, buffer, n);
    return ReadFollowing(position, static_cast<unsigned char*>(buffer), n, true);
}

unsigned int KCrcFile::ReadFollowing(long position, unsigned char* out, unsigned int n, bool positioned)
{
    unsigned int done = 0;
    while (done < n)
    {
        const unsigned int want = n - done < kFollowPortion ? n - done : kFollowPortion;
        const unsigned int got = positioned ? KChainedFile::ReadAt(position + static_cast<long>(done), out + done, want)
                                            : KChainedFile::Read(out + done, want);
        Follow(static_cast<long long>(position) + done, out + done, got);
        done += got;
        if (got != want)
            break;
    }
    return done;
}

void KCrcFile::Follow(long long position, const unsigned char* bytes, size_t n)
{
    const long long end = position + static_cast<long long>(n);
    long long at = position;
    while (at < end)
    {
        // Bytes inside a followed stretch were counted already.
        auto next = mFollowed.upper_bound(at);
        if (next != mFollowed.begin())
        {
            auto previous = std::prev(next);
            if (previous->second.mEnd > at)
            {
                at = previous->second.mEnd;
                continue;
            }
        }
        const long long stop = next == mFollowed.end() || next->first > end ? end : next->first;
        AddFollowed(at, stop, kcrc::Update(0, bytes + (at - position), static_cast<size_t>(stop - at)));
        at = stop;
    }
}

void KCrcFile::AddFollowed(long long start, long long end, unsigned int crc)
{
    // Touching stretches join: the earlier one's register moves past the later one's bytes.
    auto next = mFollowed.lower_bound(start);
    if (next != mFollowed.begin())
    {
        auto previous = std::prev(next);
        if (previous->second.mEnd == start)
        {
            crc ^= MultiplyMod(previous->second.mCrc, ZeroBytesFactorOf(static_cast<unsigned long long>(end - start)));
            start = previous->first;
            mFollowed.erase(previous);
        }
    }
    if (next != mFollowed.end() && next->first == end)
    {
        crc = MultiplyMod(crc, ZeroBytesFactorOf(static_cast<unsigned long long>(next->second.mEnd - end))) ^
              next->second.mCrc;
        end = next->second.mEnd;
        mFollowed.erase(next);
    }
    mFollowed[start] = Followed{end, crc};
}

bool KCrcFile::RunRange(unsigned int& crc, long long from, long long to)
{
    if (from >= to)
        return true;
    std::vector<unsigned char> buffer(
        static_cast<size_t>(to - from < static_cast<long long>(kChunk) ? to - from : kChunk));
    while (from < to)
    {
        const unsigned int want = to - from < static_cast<long long>(buffer.size())
                                      ? static_cast<unsigned int>(to - from)
                                      : static_cast<unsigned int>(buffer.size());
        // Positioned: a short stretch between followed ones costs only its bytes.
        const unsigned int got = KChainedFile::ReadAt(static_cast<long>(from), buffer.data(), want);
        if (got != want)
            return false;
        crc = kcrc::Update(crc, buffer.data(), got);
        from += got;
    }
    return true;
}

unsigned int KCrcFile::ReadCrc(bool* ok)
{
    long saved = KChainedFile::GetPosition();
    KChainedFile::Seek(kSEEK_END, 0);
    long size = KChainedFile::GetPosition();
    KChainedFile::Seek(kSEEK_BEGIN, 0);

    unsigned int crc = 0xFFFFFFFFu;
    bool good = size >= 0;
    // A file read back for checking must at least hold its check bytes.
    if (mMode == eRead && size < 4)
        good = false;

    if (good && size > 0)
    {
        std::vector<unsigned char> buffer(static_cast<size_t>(size < static_cast<long>(kChunk) ? size : kChunk));
        long left = size;
        while (left > 0)
        {
            unsigned int want = left < static_cast<long>(buffer.size()) ? static_cast<unsigned int>(left)
                                                                        : static_cast<unsigned int>(buffer.size());
            unsigned int got = KChainedFile::Read(buffer.data(), want);
            crc = kcrc::Update(crc, buffer.data(), got);
            if (got != want)
            {
                good = false;
                break;
            }
            left -= got;
        }
    }

    KChainedFile::SetPosition(saved);
    if (ok)
        *ok = good;
    return crc;
}

bool KCrcFile::CheckCrc()
{
    if (mMode != eRead)
        return false;
    if (mFollowed.empty())
    {
        bool ok = false;
        unsigned int crc = ReadCrc(&ok);
        return ok && crc == eResidue;
    }
    const long saved = KChainedFile::GetPosition();
    KChainedFile::Seek(kSEEK_END, 0);
    const long long size = KChainedFile::GetPosition();
    // The stretches passed over are read; the followed ones join by their registers.
    unsigned int crc = 0xFFFFFFFFu;
    bool ok = size >= 4;
    long long at = 0;
    for (auto it = mFollowed.begin(); ok && it != mFollowed.end(); ++it)
    {
        ok = it->second.mEnd <= size && RunRange(crc, at, it->first);
        crc = MultiplyMod(crc, ZeroBytesFactorOf(static_cast<unsigned long long>(it->second.mEnd - it->first))) ^
              it->second.mCrc;
        at = it->second.mEnd;
    }
    ok = ok && RunRange(crc, at, size);
    KChainedFile::SetPosition(saved);
    return ok && crc == eResidue;
}

bool KCrcFile::Close()
{
    bool ok = true;
    if (mMode == eWrite)
    {
        // The register that followed the writes, else the file read back.
        unsigned int crc = 0;
        bool readBack = StreamCrc(crc);
        if (!readBack)
            crc = ReadCrc(&readBack);
        if (!readBack)
        {
            ok = false;
        }
        else
        {
            crc = ~crc;
            unsigned char trailer[4];
            kbytes::PutBE32(trailer, crc);
            // The check bytes follow the data, wherever the position was left.
            if (!mUnplaced)
                KChainedFile::Seek(kSEEK_END, 0);
            if (KChainedFile::Write(trailer, 4) != 4)
                ok = false;
        }
    }
    if (!KChainedFile::Close())
        ok = false;
    return ok;
}
