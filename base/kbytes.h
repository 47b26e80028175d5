#ifndef QOX_BASE_KBYTES_H
#define QOX_BASE_KBYTES_H

// Byte codecs for the library's own layouts: little-endian integers and IEEE
// floats (the native file, the cipher), and the big-endian 32-bit store of
// the CRC trailer. Every store takes (destination, value); every load takes
// the source. Nothing here checks bounds: callers own the room.

#include <cstdint>
#include <cstring>

namespace kbytes {

// Whether the machine stores numbers little-endian, so arrays of them can be
// copied to and from the file as they are.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
const bool kLittleEndianHost = true;
#else
const bool kLittleEndianHost = false;
#endif

inline uint16_t GetLE16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t GetLE32(const unsigned char* p)
{
    if (kLittleEndianHost)
    {
        uint32_t v;
        std::memcpy(&v, p, sizeof(v));
        return v;
    }
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t GetLE64(const unsigned char* p)
{
    if (kLittleEndianHost)
    {
        uint64_t v;
        std::memcpy(&v, p, sizeof(v));
        return v;
    }
    return static_cast<uint64_t>(GetLE32(p)) | (static_cast<uint64_t>(GetLE32(p + 4)) << 32);
}

inline float GetLEFloat(const unsigned char* p)
{
    uint32_t bits = GetLE32(p);
    float f;
    std::memcpy(&f, &bits, sizeof(f));
    return f;
}

inline double GetLEDouble(const unsigned char* p)
{
    uint64_t bits = GetLE64(p);
    double d;
    std::memcpy(&d, &bits, sizeof(d));
    return d;
}

inline void PutLE16(unsigned char* p, uint16_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

inline void PutLE32(unsigned char* p, uint32_t v)
{
    if (kLittleEndianHost)
    {
        std::memcpy(p, &v, sizeof(v));
        return;
    }
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

inline void PutLE64(unsigned char* p, uint64_t v)
{
    if (kLittleEndianHost)
    {
        std::memcpy(p, &v, sizeof(v));
        return;
    }
    PutLE32(p, static_cast<uint32_t>(v));
    PutLE32(p + 4, static_cast<uint32_t>(v >> 32));
}

inline void PutLEFloat(unsigned char* p, float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof(bits));
    PutLE32(p, bits);
}

inline void PutLEDouble(unsigned char* p, double d)
{
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof(bits));
    PutLE64(p, bits);
}

inline void PutBE32(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

// One array item of any width, byte by byte (machines that are not little-endian).
template <typename T>
inline void PutLEItem(unsigned char* p, T v)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof(T));
    for (size_t i = 0; i < sizeof(T); ++i)
        p[i] = static_cast<unsigned char>(bits >> (8 * i));
}

template <typename T>
inline T GetLEItem(const unsigned char* p)
{
    uint64_t bits = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        bits |= static_cast<uint64_t>(p[i]) << (8 * i);
    T v;
    std::memcpy(&v, &bits, sizeof(T));
    return v;
}

} // namespace kbytes

#endif
