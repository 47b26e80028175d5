#include "base/kchainedfile.h"

#include <cstdarg>
#include <cstring>
#include <string>

#include "base/kformattext.h"
#include "base/kmemoryfile.h"

KChainedFile::KChainedFile(int id, KChainedFile* next, EMode mode, bool ownsNext)
    : mId(id)
    , mNext(next)
    , mMode(mode)
    , mOwnsNext(ownsNext)
{}

KChainedFile::~KChainedFile()
{
    if (mOwnsNext)
        delete mNext;
    mNext = nullptr;
}

bool KChainedFile::Open(const char* name, kFileMode mode, bool text)
{
    bool ok;
    if (mNext)
    {
        ok = mNext->Open(name, mode, text);
    }
    else
    {
        mTailFile = std::make_unique<KFile>();
        ok = mTailFile->Open(name, mode, text);
    }
    mMode = !ok ? eClosed : (mode == kFILE_READ ? eRead : eWrite);
    return ok;
}

bool KChainedFile::Open(const char* name, const char* modeText)
{
    bool ok;
    if (mNext)
    {
        ok = mNext->Open(name, modeText);
    }
    else
    {
        mTailFile = std::make_unique<KFile>();
        ok = mTailFile->Open(name, modeText);
    }
    mMode = !ok ? eClosed : ((modeText && std::strchr(modeText, 'r')) ? eRead : eWrite);
    return ok;
}

bool KChainedFile::Open(void* buffer, unsigned int size)
{
    bool ok;
    if (mNext)
    {
        ok = mNext->Open(buffer, size);
    }
    else
    {
        auto memory = std::make_unique<KMemoryFile>();
        ok = memory->Open(buffer, size);
        mTailFile = std::move(memory);
    }
    mMode = ok ? eRead : eClosed;
    return ok;
}

bool KChainedFile::Close()
{
    bool ok = true;
    if (mNext)
    {
        ok = mNext->Close();
    }
    else if (mTailFile)
    {
        // A write error seen by the stream is a failed close.
        ok = mTailFile->GetError() == 0;
        mTailFile->Close();
        ok = ok && !mTailFile->LastCloseFailed();
    }
    mMode = eClosed;
    return ok;
}

unsigned int KChainedFile::Read(void* buffer, unsigned int n)
{
    if (mNext)
        return mNext->Read(buffer, n);
    return mTailFile ? mTailFile->Read(buffer, n) : 0;
}

unsigned int KChainedFile::ReadAt(long position, void* buffer, unsigned int n)
{
    if (mNext)
        return mNext->ReadAt(position, buffer, n);
    return mTailFile ? mTailFile->ReadAt(position, buffer, n) : 0;
}

char* KChainedFile::ReadString(char* buffer, int size)
{
    if (mNext)
        return mNext->ReadString(buffer, size);
    return mTailFile ? mTailFile->ReadString(buffer, size) : nullptr;
}

unsigned int KChainedFile::Write(void* buffer, unsigned int n)
{
    if (mNext)
        return mNext->Write(buffer, n);
    return mTailFile ? mTailFile->Write(buffer, n) : 0;
}

void KChainedFile::Seek(kSeekPos from, long offset)
{
    if (mNext)
        mNext->Seek(from, offset);
    else if (mTailFile)
        mTailFile->Seek(from, offset);
}

long KChainedFile::GetPosition()
{
    if (mNext)
        return mNext->GetPosition();
    return mTailFile ? mTailFile->GetPosition() : 0;
}

void KChainedFile::SetPosition(long offset)
{
    if (mNext)
        mNext->SetPosition(offset);
    else if (mTailFile)
        mTailFile->SetPosition(offset);
}

bool KChainedFile::IsOpened()
{
    if (mNext)
        return mNext->IsOpened();
    return mTailFile ? mTailFile->IsOpened() : false;
}

int KChainedFile::GetError()
{
    if (mNext)
        return mNext->GetError();
    return mTailFile ? mTailFile->GetError() : 0;
}

void KChainedFile::ClearError()
{
    if (mNext)
        mNext->ClearError();
    else if (mTailFile)
        mTailFile->ClearError();
}

bool KChainedFile::EndOfFile()
{
    if (mNext)
        return mNext->EndOfFile();
    return mTailFile ? mTailFile->EndOfFile() : false;
}

void KChainedFile::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    if (mNext)
        KFormatWrite(*mNext, format, args);
    else if (mTailFile)
        KFormatWrite(*mTailFile, format, args);
    va_end(args);
}

int KChainedFile::Truncate(unsigned int length)
{
    if (mNext)
        return mNext->Truncate(length);
    return mTailFile ? mTailFile->Truncate(length) : -1;
}
