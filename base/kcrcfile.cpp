#include "base/kcrcfile.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "base/kbytes.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KCRC_HAVE_FOLDING 1
#endif

namespace {

const unsigned int kPolynomial = 0x04C11DB7u;
const unsigned int kChunk = 64 * 1024;

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

#endif

// Below this many bytes the tables are as quick as setting up the folding.
const size_t kFoldingMinimum = 128;

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

unsigned int Update(unsigned int crc, const unsigned char* bytes, size_t n)
{
    return n >= kFoldingMinimum ? UpdateFolding(crc, bytes, n) : UpdateTable(crc, bytes, n);
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

// x^(8 * bytes) modulo the polynomial: moves a register over that many zero bytes.
unsigned int ZeroBytesFactor(unsigned long long bytes)
{
    unsigned int result = 1;
    unsigned int power = 1u << 8; // x^8
    for (; bytes; bytes >>= 1)
    {
        if (bytes & 1u)
            result = MultiplyMod(result, power);
        power = MultiplyMod(power, power);
    }
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
    mStreaming = true;
    mRunning = 0xFFFFFFFFu;
    mStreamEnd = 0;
    mPatches.clear();
}

bool KCrcFile::Open(const char* name, kFileMode mode, bool text)
{
    ResetStream();
    return KChainedFile::Open(name, mode, text);
}

bool KCrcFile::Open(const char* name, const char* modeText)
{
    ResetStream();
    return KChainedFile::Open(name, modeText);
}

bool KCrcFile::Open(void* buffer, unsigned int size)
{
    ResetStream();
    return KChainedFile::Open(buffer, size);
}

unsigned int KCrcFile::Write(void* buffer, unsigned int n)
{
    if (mMode != eWrite || !mStreaming || n == 0)
        return KChainedFile::Write(buffer, n);
    const unsigned char* bytes = static_cast<const unsigned char*>(buffer);
    const long position = KChainedFile::GetPosition();
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
        crc ^= MultiplyMod(patch.mCrc, ZeroBytesFactor(after));
    }
    return true;
}

KCrcFile::~KCrcFile() {}

void KCrcFile::MakeCrcTable()
{
    TheTables();
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
    bool ok = false;
    unsigned int crc = ReadCrc(&ok);
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
            KChainedFile::Seek(kSEEK_END, 0);
            if (KChainedFile::Write(trailer, 4) != 4)
                ok = false;
        }
    }
    if (!KChainedFile::Close())
        ok = false;
    return ok;
}
