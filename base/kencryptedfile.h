#ifndef QOX_BASE_KENCRYPTEDFILE_H
#define QOX_BASE_KENCRYPTEDFILE_H

// KEncryptedFile: a file layer that enciphers what is written and deciphers
// what is read, in 16-byte blocks, with Twofish-128 in ECB mode (each block
// on its own). The enciphered region begins at a base offset of the lower
// file (the layer's id) and always consists of whole blocks; the layer adds
// no header or trailer and does not record the plain length.
//
// Positions are lower-file positions (base included). One block is cached;
// it reaches the lower layer when another block is needed or at Close. A
// partial block is completed from the bytes already stored, or with zeros
// beyond the end. Consecutive blocks are transferred without repositioning
// the lower layer.

#include "base/kchainedfile.h"
#include "base/kstring.h"
#include "base/twofish.h"

class KEncryptedFile : public KChainedFile
{
public:
    // key: 16 bytes, the Twofish key in the standard byte order. base: the
    // lower-file position of block 0. When a mode is given and the layer
    // below is already open, the layer starts at its current position.
    KEncryptedFile(char* key, int base, KChainedFile* next, EMode mode, bool ownsNext);
    ~KEncryptedFile() override;

    // Every open restarts the layer at the base and finds the blocks that
    // already exist; an open failure leaves no block.
    bool Open(const char* name, kFileMode mode, bool text) override;
    bool Open(const char* name, const char* modeText) override;
    bool Open(void* buffer, unsigned int size) override;
    virtual bool Open(KString name, kFileMode mode, bool text);
    // kFILE_READ when the mode text contains "r", else kFILE_READ_WRITE;
    // text mode when it contains "t".
    virtual bool Open(KString name, KString modeText);
    // In write mode, writes the cached block; then closes as the chained
    // layer. False when the block or the layer below could not be written.
    bool Close() override;

    // Deciphered bytes; a short count at the end of the enciphered region
    // or at a damaged (incomplete) block.
    unsigned int Read(void* buffer, unsigned int n) override;
    // Deciphered like Read; the position is restored after.
    unsigned int ReadAt(long position, void* buffer, unsigned int n) override;
    // Number of bytes accepted; short when a block could not be written to
    // the layer below (or the layer is not open).
    unsigned int Write(void* buffer, unsigned int n) override;
    // Deciphered line reader: up to size - 1 bytes or a '\n' (kept). Null
    // when a read fails before that (the text read so far stays terminated).
    virtual char* ReadString(void* buffer, int size);
    char* ReadString(char* buffer, int size) override;

    void Seek(kSeekPos from, long offset) override;
    // 0 when not open, -1 when the layer below reports -1.
    long GetPosition() override;
    // Ignored when not open or below the base.
    void SetPosition(long offset) override;
    // Enciphered like any write; no terminator byte.
    void Format(const char* format, ...) override
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    // One 16-byte block through the cipher.
    void Encrypt(const void* in, void* out) const;
    void Decrypt(const void* in, void* out) const;

private:
    enum
    {
        eBlock = 16
    };
    enum ETransfer
    {
        eNoTransfer = 0,
        eTransferRead = 1,
        eTransferWrite = 2
    };

    long BlockIndex(long position) const
    {
        return (position - mId) / eBlock;
    }
    long BlockBoundary(long index) const
    {
        return mId + eBlock * index;
    }
    void ResetState();
    // Restarts the layer at the base; false (layer closed) without a key.
    bool StartOpen();
    bool OpenDone(bool ok);
    void FindLastBlockIndex();
    bool ReadBlock(long index, unsigned int offset, unsigned int count, unsigned char* destination);
    bool WriteBlock(long index, unsigned int offset, unsigned int count, const unsigned char* source);
    bool FetchBlock(long index);
    bool FlushBlock(long index);
    // Reads or writes n bytes block by block from the current position; the
    // number of bytes done.
    unsigned int Transfer(unsigned char* data, unsigned int n, bool write);

    int mLastTransfer;
    long mPosition;
    long mCachedBlock;
    long mLastTransferredBlock;
    long mLastBlock;
    unsigned char mPlainBlock[eBlock];
    unsigned char mCipherBlock[eBlock];
    KTwofish mCipher;
};

#endif
