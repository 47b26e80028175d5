#include "base/kencryptedfile.h"

#include <cstdarg>
#include <cstring>
#include <string>

#include "base/kformattext.h"

KEncryptedFile::KEncryptedFile(char* key, int base, KChainedFile* next, EMode mode, bool ownsNext)
    : KChainedFile(base, next, mode, ownsNext)
{
    ResetState();
    mLastBlock = -1;
    std::memset(mPlainBlock, 0, sizeof(mPlainBlock));
    std::memset(mCipherBlock, 0, sizeof(mCipherBlock));
    if (mode != eClosed && mNext && mNext->IsOpened())
    {
        mPosition = mNext->GetPosition();
        FindLastBlockIndex();
    }
    // Without a key the layer refuses to open, read or write.
    if (key)
        mCipher.SetKey(reinterpret_cast<const unsigned char*>(key));
}

KEncryptedFile::~KEncryptedFile()
{
    std::memset(mPlainBlock, 0, sizeof(mPlainBlock));
}

void KEncryptedFile::ResetState()
{
    mLastTransfer = eNoTransfer;
    mPosition = mId;
    mCachedBlock = -1;
    mLastTransferredBlock = -1;
}

bool KEncryptedFile::StartOpen()
{
    ResetState();
    if (mCipher.IsKeyed())
        return true;
    mLastBlock = -1;
    mMode = eClosed;
    return false;
}

bool KEncryptedFile::OpenDone(bool ok)
{
    if (ok)
    {
        FindLastBlockIndex();
        KChainedFile::SetPosition(mId);
    }
    else
    {
        mLastBlock = -1;
    }
    return ok;
}

bool KEncryptedFile::Open(const char* name, kFileMode mode, bool text)
{
    return StartOpen() && OpenDone(KChainedFile::Open(name, mode, text));
}

bool KEncryptedFile::Open(const char* name, const char* modeText)
{
    return StartOpen() && OpenDone(KChainedFile::Open(name, modeText));
}

bool KEncryptedFile::Open(void* buffer, unsigned int size)
{
    return StartOpen() && OpenDone(KChainedFile::Open(buffer, size));
}

bool KEncryptedFile::Open(KString name, kFileMode mode, bool text)
{
    return KEncryptedFile::Open(static_cast<const char*>(name), mode, text);
}

bool KEncryptedFile::Open(KString name, KString modeText)
{
    const char* m = modeText;
    kFileMode mode = std::strstr(m, "r") ? kFILE_READ : kFILE_READ_WRITE;
    bool text = std::strstr(m, "t") != nullptr;
    return KEncryptedFile::Open(static_cast<const char*>(name), mode, text);
}

bool KEncryptedFile::Close()
{
    bool ok = true;
    if (mMode == eWrite && mCachedBlock >= 0)
        ok = FlushBlock(mCachedBlock);
    mCachedBlock = -1;
    mLastTransfer = eNoTransfer;
    mLastTransferredBlock = -1;
    if (!KChainedFile::Close())
        ok = false;
    return ok;
}

void KEncryptedFile::FindLastBlockIndex()
{
    long saved = KChainedFile::GetPosition();
    KChainedFile::Seek(kSEEK_END, 0);
    long size = KChainedFile::GetPosition();
    mLastBlock = size > mId ? BlockIndex(size - 1) : -1;
    KChainedFile::SetPosition(saved);
}

unsigned int KEncryptedFile::Transfer(unsigned char* data, unsigned int n, bool write)
{
    unsigned int done = 0;
    while (done < n)
    {
        long index = BlockIndex(mPosition);
        unsigned int offset = static_cast<unsigned int>(mPosition - BlockBoundary(index));
        unsigned int count = eBlock - offset;
        if (count > n - done)
            count = n - done;
        if (!(write ? WriteBlock(index, offset, count, data + done) : ReadBlock(index, offset, count, data + done)))
            break;
        done += count;
        mPosition += count;
    }
    return done;
}

unsigned int KEncryptedFile::Read(void* buffer, unsigned int n)
{
    if (!buffer || n == 0 || mPosition < mId)
        return 0;
    return Transfer(static_cast<unsigned char*>(buffer), n, false);
}

unsigned int KEncryptedFile::ReadAt(long position, void* buffer, unsigned int n)
{
    const long saved = GetPosition();
    SetPosition(position);
    const unsigned int got = Read(buffer, n);
    SetPosition(saved);
    return got;
}

unsigned int KEncryptedFile::Write(void* buffer, unsigned int n)
{
    if (!buffer || n == 0 || mPosition < mId || !IsOpened())
        return 0;
    return Transfer(static_cast<unsigned char*>(buffer), n, true);
}

char* KEncryptedFile::ReadString(void* buffer, int size)
{
    if (!buffer || size < 1)
        return nullptr;
    char* text = static_cast<char*>(buffer);
    int n = 0;
    while (n < size - 1)
    {
        char c;
        if (Read(&c, 1) != 1)
        {
            text[n] = 0;
            return nullptr;
        }
        text[n++] = c;
        if (c == '\n')
            break;
    }
    text[n] = 0;
    return text;
}

char* KEncryptedFile::ReadString(char* buffer, int size)
{
    // Lines are read from the deciphered bytes, never from the raw lower file.
    return ReadString(static_cast<void*>(buffer), size);
}

void KEncryptedFile::Seek(kSeekPos from, long offset)
{
    switch (from)
    {
    case kSEEK_CURRENT: SetPosition(mPosition + offset); break;
    case kSEEK_END:
        KChainedFile::Seek(kSEEK_END, 0);
        SetPosition(KChainedFile::GetPosition() + offset);
        break;
    default: SetPosition(offset); break;
    }
}

long KEncryptedFile::GetPosition()
{
    if (!IsOpened())
        return 0;
    if (KChainedFile::GetPosition() == -1)
        return -1;
    return mPosition;
}

void KEncryptedFile::SetPosition(long offset)
{
    if (!IsOpened() || offset < mId)
        return;
    KChainedFile::ClearError();
    KChainedFile::SetPosition(offset);
    mLastTransferredBlock = -1;
    if (KChainedFile::GetError() == 0)
        mPosition = offset;
}

void KEncryptedFile::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    KFormatWrite(*this, format, args);
    va_end(args);
}

void KEncryptedFile::Encrypt(const void* in, void* out) const
{
    mCipher.EncryptBlock(static_cast<const unsigned char*>(in), static_cast<unsigned char*>(out));
}

void KEncryptedFile::Decrypt(const void* in, void* out) const
{
    mCipher.DecryptBlock(static_cast<const unsigned char*>(in), static_cast<unsigned char*>(out));
}

bool KEncryptedFile::ReadBlock(long index, unsigned int offset, unsigned int count, unsigned char* destination)
{
    if (index > mLastBlock || !mCipher.IsKeyed())
        return false;
    if (index != mCachedBlock)
    {
        // A layer writing keeps what it wrote: the cached block goes down first.
        if (mMode == eWrite && mCachedBlock >= 0 && !FlushBlock(mCachedBlock))
            return false;
        if (!FetchBlock(index))
        {
            mCachedBlock = -1;
            return false;
        }
        mCachedBlock = index;
    }
    std::memcpy(destination, mPlainBlock + offset, count);
    return true;
}

bool KEncryptedFile::WriteBlock(long index, unsigned int offset, unsigned int count, const unsigned char* source)
{
    if (!mCipher.IsKeyed())
        return false;
    if (index != mCachedBlock)
    {
        if (mCachedBlock >= 0 && !FlushBlock(mCachedBlock))
            return false;
        if (offset > 0 || count < eBlock)
        {
            // Read-modify-write; a stored block that cannot be read whole is
            // not overwritten with guessed bytes.
            if (!FetchBlock(index))
            {
                mCachedBlock = -1;
                return false;
            }
        }
        mCachedBlock = index;
    }
    std::memcpy(mPlainBlock + offset, source, count);
    return true;
}

bool KEncryptedFile::FetchBlock(long index)
{
    if (index > mLastBlock)
    {
        // A block beyond the end reads as zeros.
        std::memset(mPlainBlock, 0, sizeof(mPlainBlock));
        return true;
    }
    if (!(mLastTransfer == eTransferRead && mLastTransferredBlock == index - 1))
        KChainedFile::SetPosition(BlockBoundary(index));
    unsigned int got = KChainedFile::Read(mCipherBlock, eBlock);
    mLastTransfer = eTransferRead;
    if (got != eBlock)
    {
        // Incomplete block (damaged or truncated file); the lower position is
        // no longer known.
        mLastTransferredBlock = -1;
        return false;
    }
    mLastTransferredBlock = index;
    Decrypt(mCipherBlock, mPlainBlock);
    return true;
}

bool KEncryptedFile::FlushBlock(long index)
{
    Encrypt(mPlainBlock, mCipherBlock);
    if (!(mLastTransfer == eTransferWrite && mLastTransferredBlock == index - 1))
        KChainedFile::SetPosition(BlockBoundary(index));
    unsigned int written = KChainedFile::Write(mCipherBlock, eBlock);
    if (written != eBlock)
    {
        // The block stays cached; the next attempt repositions the lower layer.
        mLastTransferredBlock = -1;
        return false;
    }
    mLastTransferredBlock = index;
    mLastTransfer = eTransferWrite;
    if (index > mLastBlock)
        mLastBlock = index;
    return true;
}
