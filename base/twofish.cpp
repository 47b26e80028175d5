#include "base/twofish.h"

#include "base/kbytes.h"

#include <cstring>

namespace {

// Fixed 8-bit permutations q0 and q1, built from their 4-bit tables.
struct QTables
{
    uint8_t q[2][256];
};

constexpr uint8_t kQt[2][4][16] = {
    {
        // q0
        {0x8, 0x1, 0x7, 0xD, 0x6, 0xF, 0x3, 0x2, 0x0, 0xB, 0x5, 0x9, 0xE, 0xC, 0xA, 0x4},
        {0xE, 0xC, 0xB, 0x8, 0x1, 0x2, 0x3, 0x5, 0xF, 0x4, 0xA, 0x6, 0x7, 0x0, 0x9, 0xD},
        {0xB, 0xA, 0x5, 0xE, 0x6, 0xD, 0x9, 0x0, 0xC, 0x8, 0xF, 0x3, 0x2, 0x4, 0x7, 0x1},
        {0xD, 0x7, 0xF, 0x4, 0x1, 0x2, 0x6, 0xE, 0x9, 0xB, 0x3, 0x0, 0x8, 0x5, 0xC, 0xA},
    },
    {
        // q1
        {0x2, 0x8, 0xB, 0xD, 0xF, 0x7, 0x6, 0xE, 0x3, 0x1, 0x9, 0x4, 0x0, 0xA, 0xC, 0x5},
        {0x1, 0xE, 0x2, 0xB, 0x4, 0xC, 0x3, 0x7, 0x6, 0xD, 0xA, 0x5, 0xF, 0x9, 0x0, 0x8},
        {0x4, 0xC, 0x7, 0x5, 0x1, 0x6, 0x9, 0xA, 0x0, 0xE, 0xD, 0x8, 0x2, 0xB, 0x3, 0xF},
        {0xB, 0x9, 0x5, 0x1, 0xC, 0x3, 0xD, 0xE, 0x6, 0x4, 0x7, 0xF, 0x2, 0x0, 0x8, 0xA},
    },
};

constexpr uint8_t Ror4(uint8_t v)
{
    return static_cast<uint8_t>(((v >> 1) | (v << 3)) & 0xF);
}

constexpr uint8_t QPermute(int which, uint8_t x)
{
    uint8_t a0 = x >> 4, b0 = x & 0xF;
    uint8_t a1 = a0 ^ b0;
    uint8_t b1 = static_cast<uint8_t>((a0 ^ Ror4(b0) ^ (a0 << 3)) & 0xF);
    uint8_t a2 = kQt[which][0][a1], b2 = kQt[which][1][b1];
    uint8_t a3 = a2 ^ b2;
    uint8_t b3 = static_cast<uint8_t>((a2 ^ Ror4(b2) ^ (a2 << 3)) & 0xF);
    uint8_t a4 = kQt[which][2][a3], b4 = kQt[which][3][b3];
    return static_cast<uint8_t>((b4 << 4) | a4);
}

constexpr QTables MakeQ()
{
    QTables t{};
    for (int i = 0; i < 256; ++i)
    {
        t.q[0][i] = QPermute(0, static_cast<uint8_t>(i));
        t.q[1][i] = QPermute(1, static_cast<uint8_t>(i));
    }
    return t;
}

constexpr QTables kQ = MakeQ();

// Multiplication in GF(2^8) modulo the given primitive polynomial.
constexpr uint8_t GfMul(uint8_t a, uint8_t b, unsigned poly)
{
    unsigned r = 0, x = a;
    for (int i = 0; i < 8; ++i)
    {
        if (b & (1u << i))
            r ^= x;
        x <<= 1;
        if (x & 0x100)
            x ^= poly;
    }
    return static_cast<uint8_t>(r);
}

constexpr unsigned kMdsPoly = 0x169; // x^8 + x^6 + x^5 + x^3 + 1
constexpr unsigned kRsPoly = 0x14D;  // x^8 + x^6 + x^3 + x^2 + 1

constexpr uint8_t kMds[4][4] = {
    {0x01, 0xEF, 0x5B, 0x5B},
    {0x5B, 0xEF, 0xEF, 0x01},
    {0xEF, 0x5B, 0x01, 0xEF},
    {0xEF, 0x01, 0xEF, 0x5B},
};

constexpr uint8_t kRs[4][8] = {
    {0x01, 0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E},
    {0xA4, 0x56, 0x82, 0xF3, 0x1E, 0xC6, 0x68, 0xE5},
    {0x02, 0xA1, 0xFC, 0xC1, 0x47, 0xAE, 0x3D, 0x19},
    {0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E, 0x03},
};

// Column j of the MDS matrix times byte y, as a little-endian word.
constexpr uint32_t MdsColumn(int j, uint8_t y)
{
    uint32_t z = 0;
    for (int i = 0; i < 4; ++i)
        z |= static_cast<uint32_t>(GfMul(kMds[i][j], y, kMdsPoly)) << (8 * i);
    return z;
}

struct MdsTables
{
    uint32_t m[4][256];
};

constexpr MdsTables MakeMds()
{
    MdsTables t{};
    for (int j = 0; j < 4; ++j)
        for (int y = 0; y < 256; ++y)
            t.m[j][y] = MdsColumn(j, static_cast<uint8_t>(y));
    return t;
}

constexpr MdsTables kMdsTab = MakeMds();

inline uint32_t Rol(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}
inline uint32_t Ror(uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}
inline uint8_t Byte(uint32_t x, int i)
{
    return static_cast<uint8_t>(x >> (8 * i));
}

// The q-box chain of the h function for a two-word key list (128-bit key),
// returning byte j of the result before the MDS multiplication.
inline uint8_t HByte(int j, uint8_t x, uint32_t l0, uint32_t l1)
{
    const uint8_t(&q)[2][256] = kQ.q;
    switch (j)
    {
    case 0: return q[1][q[0][q[0][x] ^ Byte(l1, 0)] ^ Byte(l0, 0)];
    case 1: return q[0][q[0][q[1][x] ^ Byte(l1, 1)] ^ Byte(l0, 1)];
    case 2: return q[1][q[1][q[0][x] ^ Byte(l1, 2)] ^ Byte(l0, 2)];
    default: return q[0][q[1][q[1][x] ^ Byte(l1, 3)] ^ Byte(l0, 3)];
    }
}

uint32_t H(uint32_t x, uint32_t l0, uint32_t l1)
{
    uint32_t z = 0;
    for (int j = 0; j < 4; ++j)
        z ^= kMdsTab.m[j][HByte(j, Byte(x, j), l0, l1)];
    return z;
}

// Reed-Solomon encoding of eight key bytes into one S-box key word.
uint32_t RsEncode(const unsigned char* m)
{
    uint32_t s = 0;
    for (int i = 0; i < 4; ++i)
    {
        uint8_t v = 0;
        for (int j = 0; j < 8; ++j)
            v ^= GfMul(kRs[i][j], m[j], kRsPoly);
        s |= static_cast<uint32_t>(v) << (8 * i);
    }
    return s;
}

} // namespace

KTwofish::KTwofish()
    : mKeyed(false)
{
    std::memset(mK, 0, sizeof(mK));
    std::memset(mS, 0, sizeof(mS));
}

KTwofish::KTwofish(const unsigned char* key)
    : KTwofish()
{
    SetKey(key);
}

KTwofish::~KTwofish()
{
    // Do not leave key material behind in freed memory.
    volatile uint32_t* k = mK;
    for (int i = 0; i < 40; ++i)
        k[i] = 0;
    volatile uint32_t* s = &mS[0][0];
    for (int i = 0; i < 4 * 256; ++i)
        s[i] = 0;
}

void KTwofish::SetKey(const unsigned char* key)
{
    uint32_t m[4];
    for (int i = 0; i < 4; ++i)
        m[i] = kbytes::GetLE32(key + 4 * i);
    const uint32_t me0 = m[0], me1 = m[2];
    const uint32_t mo0 = m[1], mo1 = m[3];

    const uint32_t rho = 0x01010101u;
    for (int i = 0; i < 20; ++i)
    {
        uint32_t a = H(2u * i * rho, me0, me1);
        uint32_t b = Rol(H((2u * i + 1u) * rho, mo0, mo1), 8);
        mK[2 * i] = a + b;
        mK[2 * i + 1] = Rol(a + 2u * b, 9);
    }

    // S-box key words; the h function of g takes them in reverse order.
    const uint32_t s0 = RsEncode(key);
    const uint32_t s1 = RsEncode(key + 8);
    for (int j = 0; j < 4; ++j)
        for (int x = 0; x < 256; ++x)
            mS[j][x] = kMdsTab.m[j][HByte(j, static_cast<uint8_t>(x), s1, s0)];
    mKeyed = true;
}

inline uint32_t KTwofish::G(uint32_t x) const
{
    return mS[0][Byte(x, 0)] ^ mS[1][Byte(x, 1)] ^ mS[2][Byte(x, 2)] ^ mS[3][Byte(x, 3)];
}

void KTwofish::EncryptBlock(const unsigned char* in, unsigned char* out) const
{
    uint32_t r0 = kbytes::GetLE32(in) ^ mK[0];
    uint32_t r1 = kbytes::GetLE32(in + 4) ^ mK[1];
    uint32_t r2 = kbytes::GetLE32(in + 8) ^ mK[2];
    uint32_t r3 = kbytes::GetLE32(in + 12) ^ mK[3];

    for (int r = 0; r < 16; r += 2)
    {
        uint32_t t0 = G(r0);
        uint32_t t1 = G(Rol(r1, 8));
        r2 = Ror(r2 ^ (t0 + t1 + mK[2 * r + 8]), 1);
        r3 = Rol(r3, 1) ^ (t0 + 2 * t1 + mK[2 * r + 9]);

        t0 = G(r2);
        t1 = G(Rol(r3, 8));
        r0 = Ror(r0 ^ (t0 + t1 + mK[2 * r + 10]), 1);
        r1 = Rol(r1, 1) ^ (t0 + 2 * t1 + mK[2 * r + 11]);
    }

    // Undo the last swap while whitening.
    kbytes::PutLE32(out, r2 ^ mK[4]);
    kbytes::PutLE32(out + 4, r3 ^ mK[5]);
    kbytes::PutLE32(out + 8, r0 ^ mK[6]);
    kbytes::PutLE32(out + 12, r1 ^ mK[7]);
}

void KTwofish::DecryptBlock(const unsigned char* in, unsigned char* out) const
{
    uint32_t r2 = kbytes::GetLE32(in) ^ mK[4];
    uint32_t r3 = kbytes::GetLE32(in + 4) ^ mK[5];
    uint32_t r0 = kbytes::GetLE32(in + 8) ^ mK[6];
    uint32_t r1 = kbytes::GetLE32(in + 12) ^ mK[7];

    for (int r = 14; r >= 0; r -= 2)
    {
        uint32_t t0 = G(r2);
        uint32_t t1 = G(Rol(r3, 8));
        r0 = Rol(r0, 1) ^ (t0 + t1 + mK[2 * r + 10]);
        r1 = Ror(r1 ^ (t0 + 2 * t1 + mK[2 * r + 11]), 1);

        t0 = G(r0);
        t1 = G(Rol(r1, 8));
        r2 = Rol(r2, 1) ^ (t0 + t1 + mK[2 * r + 8]);
        r3 = Ror(r3 ^ (t0 + 2 * t1 + mK[2 * r + 9]), 1);
    }

    kbytes::PutLE32(out, r0 ^ mK[0]);
    kbytes::PutLE32(out + 4, r1 ^ mK[1]);
    kbytes::PutLE32(out + 8, r2 ^ mK[2]);
    kbytes::PutLE32(out + 12, r3 ^ mK[3]);
}
