#include "base/kcrcfile.h"

#include <vector>

#include "base/kbytes.h"

namespace {
const unsigned int kPolynomial = 0x04C11DB7u;
const unsigned int kChunk = 64 * 1024;
} // namespace

KCrcFile::KCrcFile(int id, KChainedFile* next, EMode mode, bool ownsNext)
    : KChainedFile(id, next, mode, ownsNext)
{
    MakeCrcTable();
}

KCrcFile::~KCrcFile() {}

void KCrcFile::MakeCrcTable()
{
    for (unsigned int i = 0; i < 256; ++i)
    {
        unsigned int r = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 0x80000000u) ? (r << 1) ^ kPolynomial : (r << 1);
        mCrcTable[0][i] = r;
    }
    for (int k = 1; k < 16; ++k)
        for (unsigned int i = 0; i < 256; ++i)
        {
            unsigned int r = mCrcTable[k - 1][i];
            mCrcTable[k][i] = (r << 8) ^ mCrcTable[0][r >> 24];
        }
}

unsigned int KCrcFile::Update(unsigned int crc, const unsigned char* bytes, unsigned int n) const
{
    // Sixteen bytes a step, one table for each byte position.
    const unsigned int(&t)[16][256] = mCrcTable;
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
    for (unsigned int i = 0; i < n; ++i)
        crc = (crc << 8) ^ t[0][(crc >> 24) ^ bytes[i]];
    return crc;
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
            crc = Update(crc, buffer.data(), got);
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
        bool readBack = false;
        unsigned int crc = ReadCrc(&readBack);
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
