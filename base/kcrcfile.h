#ifndef QOX_BASE_KCRCFILE_H
#define QOX_BASE_KCRCFILE_H

// KCrcFile: a file layer that appends a CRC-32 check value (the CRC-32/BZIP2
// parameter set: polynomial 0x04C11DB7, most significant bit first, register
// initialised to 0xFFFFFFFF, final value complemented) to everything written
// through it, and checks it when the file is read back.
//
// On Close in write mode the complemented CRC of the data is appended as 4
// bytes, most significant byte first. The file must be open for reading and
// writing (kFILE_READ_WRITE): patched bytes are read before they are
// overwritten, and the data is read back when the writes were not followed.
// Over data plus those 4 bytes the register ends at the residue 0xC704DD7B.

#include <cstddef>
#include <map>
#include <vector>

#include "base/kchainedfile.h"

// The CRC register arithmetic itself, shared by every layer. Update runs the
// register (not complemented) over n bytes; it folds 256 bytes a step with
// 512-bit carry-less multiplication, or 64 bytes a step with the 128-bit
// one, where the processor has it, else it takes sixteen bytes a step
// through tables. All give the same values; the paths are callable on their
// own so that they can be checked against each other.
namespace kcrc {
unsigned int Update(unsigned int crc, const unsigned char* bytes, size_t n);
unsigned int UpdateTable(unsigned int crc, const unsigned char* bytes, size_t n);
// True when this processor runs the folding path.
bool HasFolding();
// The folding path; the table path where the processor lacks it.
unsigned int UpdateFolding(unsigned int crc, const unsigned char* bytes, size_t n);
// True when this processor folds four blocks per instruction (512-bit
// carry-less multiplication).
bool HasWideFolding();
// The wide folding path; the folding path where the processor lacks it.
unsigned int UpdateWideFolding(unsigned int crc, const unsigned char* bytes, size_t n);
} // namespace kcrc

class KCrcFile : public KChainedFile
{
public:
    enum : unsigned int
    {
        eResidue = 0xC704DD7Bu
    };

    KCrcFile(int id, KChainedFile* next, EMode mode, bool ownsNext);
    ~KCrcFile() override;

    bool Open(const char* name, kFileMode mode, bool text) override;
    bool Open(const char* name, const char* modeText) override;
    bool Open(void* buffer, unsigned int size) override;
    // Writes pass to the layer below; in write mode the register follows
    // them, so that Close need not read the file back: bytes appended run
    // through it, bytes written over earlier ones (a patched header) are
    // read first and their change is folded in at Close. A write past the
    // end, a truncation or formatted text make Close read the file back.
    // A file that tells no position (a FIFO, a pipe, a socket) is taken to
    // be appended to: the check bytes follow the bytes as they passed, and
    // nothing is read back.
    unsigned int Write(void* buffer, unsigned int n) override;
    // On a stream in write mode: the number of bytes written; a move to any
    // other place makes Close fail. Elsewhere as the chained layer.
    long GetPosition() override;
    void SetPosition(long offset) override;
    void Seek(kSeekPos from, long offset) override;
    int Truncate(unsigned int length) override;
    void Format(const char* format, ...) override
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    // In write mode, appends the check bytes at the end of the file, then
    // closes as the chained layer. False when the data cannot be read back
    // (no check bytes are written then) or the check bytes are not written.
    bool Close() override;

    // The CRC register (not complemented) after running over every byte of
    // the file, read back from its start; the position is restored. Never
    // reads past the end. ok (when given) turns false when the bytes cannot
    // all be read back, and in read mode when the file is too short to hold
    // the 4 check bytes.
    unsigned int ReadCrc(bool* ok = nullptr);
    // In read mode: true when the register over data and check bytes is the
    // residue. False in any other mode and for a damaged or truncated file.
    // Stretches already read through this layer while following reads are
    // not read again: their registers, kept as they passed, stand for them.
    bool CheckCrc();
    // In read mode, reads of many bytes run through the register as they
    // pass (in portions small enough to stay in the processor's cache), so that
    // CheckCrc after reading the file need only read what was passed over.
    // Off at open; turning it off forgets what was followed.
    void FollowReads(bool follow);
    // In read mode, takes the stretches another layer over the same file
    // followed as if they were followed here, so that CheckCrc need not
    // read them again. One that overlaps a stretch followed here is left
    // out: its bytes are read again by CheckCrc.
    void AdoptFollowed(const KCrcFile& other);
    unsigned int Read(void* buffer, unsigned int n) override;
    // Followed like Read; the position is left where it was.
    unsigned int ReadAt(long position, void* buffer, unsigned int n) override;
    // The tables are shared and built once; kept for callers that build them early.
    void MakeCrcTable();

private:
    // A change written over bytes already run through the register: where,
    // how many bytes, and the register of the change alone (from zero).
    struct Patch
    {
        long mOffset;
        unsigned int mLength;
        unsigned int mCrc;
    };
    // A stretch of the file read while following reads: where it ends and
    // the register over it alone (from zero).
    struct Followed
    {
        long long mEnd;
        unsigned int mCrc;
    };
    void ResetStream();
    // Notes after an open whether the file tells its position; ok passed on.
    bool OpenDone(bool ok);
    // Runs the register over the bytes of [from, to) read from the layer
    // below; false when they cannot all be read.
    bool RunRange(unsigned int& crc, long long from, long long to);
    // Reads n bytes at position in portions, each run through the register
    // as it passes: positioned (ReadAt) or from where the layer below is.
    unsigned int ReadFollowing(long position, unsigned char* out, unsigned int n, bool positioned);
    // Records the bytes at position not yet followed.
    void Follow(long long position, const unsigned char* bytes, size_t n);
    void AddFollowed(long long start, long long end, unsigned int crc);
    // The register over the file as written, when the writes allow it.
    bool StreamCrc(unsigned int& crc);

    bool mStreaming = true;      // the register follows every write so far
    unsigned int mRunning = 0;   // register over the first mStreamEnd bytes as appended
    long mStreamEnd = 0;         // bytes run through it
    std::vector<Patch> mPatches; // later changes to them
    bool mUnplaced = false;      // the layer below tells no position (a FIFO): writes append

    bool mFollowing = false;
    std::map<long long, Followed> mFollowed; // by start; apart and not touching
};

#endif
