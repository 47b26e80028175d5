#include "base/kmemoryfile.h"

#include <cstdarg>
#include <cstring>
#include <string>

#include "base/kformattext.h"

KMemoryFile::KMemoryFile()
    : mBuffer(nullptr)
    , mSize(0)
    , mPosition(0)
{}

KMemoryFile::~KMemoryFile()
{
    Close();
}

bool KMemoryFile::Open(const char*, kFileMode, bool)
{
    return false;
}

bool KMemoryFile::Open(const char*, const char*)
{
    return false;
}

bool KMemoryFile::Open(KString, kFileMode, bool)
{
    return false;
}

bool KMemoryFile::Open(KString, KString)
{
    return false;
}

bool KMemoryFile::Open(void* buffer, unsigned int size)
{
    if (!buffer)
        return false;
    mBuffer = static_cast<unsigned char*>(buffer);
    mSize = size;
    mPosition = 0;
    return true;
}

void KMemoryFile::Close()
{
    mBuffer = nullptr;
    mSize = 0;
    mPosition = 0;
}

unsigned int KMemoryFile::Read(void* destination, unsigned int n)
{
    return Read(destination, n, false);
}

unsigned int KMemoryFile::Read(void* destination, unsigned int n, bool exact)
{
    if (!destination || !mBuffer)
        return 0;
    unsigned int left = mSize - mPosition;
    if (n > left)
    {
        if (exact)
            return 0;
        n = left;
    }
    std::memcpy(destination, mBuffer + mPosition, n);
    mPosition += n;
    return n;
}

char* KMemoryFile::ReadString(char* buffer, int size)
{
    if (!buffer || !mBuffer || size < 1)
        return nullptr;
    unsigned int room = static_cast<unsigned int>(size - 1);
    unsigned int n = 0;
    while (n < room && mPosition < mSize)
    {
        char c = static_cast<char>(mBuffer[mPosition++]);
        buffer[n++] = c;
        if (c == '\n')
            break;
    }
    buffer[n] = 0;
    return buffer;
}

template <typename T>
T KMemoryFile::ReadValue(T* value, bool swap)
{
    T v;
    if (!value || Read(&v, sizeof(T), true) != sizeof(T))
        return 0;
    if (swap)
        v = kSwab(v);
    *value = v;
    return v;
}

int KMemoryFile::ReadInt32(int* value, bool swap)
{
    return ReadValue(value, swap);
}

unsigned int KMemoryFile::ReadUInt32(unsigned int* value, bool swap)
{
    return ReadValue(value, swap);
}

short KMemoryFile::ReadInt16(short* value, bool swap)
{
    return ReadValue(value, swap);
}

unsigned short KMemoryFile::ReadUInt16(unsigned short* value, bool swap)
{
    return ReadValue(value, swap);
}

char KMemoryFile::ReadChar(char* value)
{
    return ReadValue(value, false);
}

unsigned char KMemoryFile::ReadUChar(unsigned char* value)
{
    return ReadValue(value, false);
}

unsigned int KMemoryFile::Write(void* source, unsigned int n)
{
    if (!source || !mBuffer)
        return 0;
    unsigned int left = mSize - mPosition;
    if (n > left)
        n = left;
    std::memcpy(mBuffer + mPosition, source, n);
    mPosition += n;
    return n;
}

void KMemoryFile::Seek(kSeekPos from, long offset)
{
    if (!mBuffer)
        return;
    long long target;
    switch (from)
    {
    case kSEEK_BEGIN: target = offset; break;
    case kSEEK_CURRENT: target = static_cast<long long>(mPosition) + offset; break;
    case kSEEK_END:
        // Backwards from the end whatever the sign, so that both Seek(end, 4)
        // and the stdio-style Seek(end, -4) land 4 bytes before the end.
        target = static_cast<long long>(mSize) - (offset < 0 ? -static_cast<long long>(offset) : offset);
        break;
    default: target = 0; break;
    }
    if (target < 0)
        target = 0;
    if (target > static_cast<long long>(mSize))
        target = mSize;
    mPosition = static_cast<unsigned int>(target);
}

long KMemoryFile::GetPosition()
{
    return mBuffer ? static_cast<long>(mPosition) : 0;
}

void KMemoryFile::SetPosition(long offset)
{
    if (mBuffer && offset >= 0 && offset <= static_cast<long>(mSize))
        mPosition = static_cast<unsigned int>(offset);
}

bool KMemoryFile::IsOpened()
{
    return mBuffer != nullptr;
}

int KMemoryFile::GetError()
{
    return 0;
}

void KMemoryFile::ClearError() {}

bool KMemoryFile::EndOfFile()
{
    return !mBuffer || mPosition >= mSize;
}

void KMemoryFile::Format(const char* format, ...)
{
    if (!mBuffer)
        return;
    va_list args;
    va_start(args, format);
    KFormatWrite(*this, format, args);
    va_end(args);
}
