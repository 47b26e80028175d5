#ifndef QOX_BASE_TWOFISH_H
#define QOX_BASE_TWOFISH_H

#include <cstdint>

// Twofish block cipher with a 128-bit key, one 16-byte block at a time (ECB).
// The full key-dependent S-box/MDS tables are computed once per key, so each
// block costs only table look-ups.
class KTwofish
{
public:
    enum
    {
        eBlockSize = 16,
        eKeySize = 16
    };

    KTwofish();
    // Builds the key schedule from 16 key bytes (standard Twofish byte order).
    explicit KTwofish(const unsigned char* key);
    ~KTwofish();

    void SetKey(const unsigned char* key);
    bool IsKeyed() const { return mKeyed; }

    // One block; in and out may be the same buffer.
    void EncryptBlock(const unsigned char* in, unsigned char* out) const;
    void DecryptBlock(const unsigned char* in, unsigned char* out) const;

private:
    uint32_t G(uint32_t x) const;

    uint32_t mK[40];     // whitening and round subkeys
    uint32_t mS[4][256]; // key-dependent S-boxes combined with the MDS columns
    bool mKeyed;
};

#endif
