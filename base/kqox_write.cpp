// KQox: writing fields, blocks and sections (binary and ASCII encodings).

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>
#include <sys/stat.h>

#include "base/kbytes.h"
#include "base/kfile.h"
#include "base/knumbertext.h"
#include "base/kqox.h"
#include "base/kqox_private.h"
#include "base/kparallel.h"

using namespace kqox;

namespace {

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

} // namespace

// ---------------------------------------------------------------------------
// Body writer

namespace kqox {

namespace {

// n bytes to the layer; false when not all went.
bool WriteAll(KChainedFile* body, const unsigned char* data, size_t n)
{
    bool ok = true;
    for (size_t done = 0; done < n && ok;)
    {
        unsigned int chunk = n - done < kMaxIoChunk ? static_cast<unsigned int>(n - done) : kMaxIoChunk;
        ok = body->Write(const_cast<unsigned char*>(data + done), chunk) == chunk;
        done += chunk;
    }
    return ok;
}

} // namespace

bool BodyWriter::Start(KChainedFile* body, const unsigned char* data, size_t n)
{
    if (!Wait())
        return false;
    std::lock_guard<std::mutex> lock(mMutex);
    if (!mRunning)
    {
        mStopped = false;
        mRunning = mHelper.Start([this] { Run(); });
        if (!mRunning)
        {
            // No helper to be had: written here, the failure told by the next Wait.
            mFailed = !WriteAll(body, data, n);
            return true;
        }
    }
    mBody = body;
    mData = data;
    mSize = n;
    mChanged.notify_all();
    return true;
}

bool BodyWriter::Wait()
{
    std::unique_lock<std::mutex> lock(mMutex);
    mChanged.wait(lock, [this] { return mSize == 0; });
    const bool ok = !mFailed;
    mFailed = false;
    return ok;
}

void BodyWriter::Stop()
{
    {
        std::unique_lock<std::mutex> lock(mMutex);
        mChanged.wait(lock, [this] { return mSize == 0; });
        mStopped = true;
        mFailed = false; // not reported to the next file
        mChanged.notify_all();
    }
    mHelper.Wait();
    std::lock_guard<std::mutex> lock(mMutex);
    mRunning = false;
}

void BodyWriter::Run()
{
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;)
    {
        mChanged.wait(lock, [this] { return mSize != 0 || mStopped; });
        if (mSize == 0)
            return;
        KChainedFile* body = mBody;
        const unsigned char* data = mData;
        const size_t size = mSize;
        lock.unlock();
        const bool ok = WriteAll(body, data, size);
        lock.lock();
        mFailed = !ok;
        mSize = 0;
        mChanged.notify_all();
    }
}

} // namespace kqox

// ---------------------------------------------------------------------------
// Byte sink

void KQoxPrivate::PutSlow(const void* data, size_t n)
{
    if (n == 0)
        return;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    if (n >= kLargeWrite || n > kFlushSize)
    {
        // Large values go to the file directly.
        if (!SyncOut())
        {
            mOutBase += static_cast<long long>(n);
            return;
        }
        size_t done = 0;
        while (done < n && !mWriteFailed)
        {
            unsigned int chunk = n - done < kDirectChunk ? static_cast<unsigned int>(n - done) : kDirectChunk;
            if (mBody->Write(const_cast<unsigned char*>(p + done), chunk) != chunk)
            {
                mWriteFailed = true;
                Fail(KQox::eNO_SPACE_LEFT);
            }
            done += chunk;
        }
        mOutBase += static_cast<long long>(n);
        return;
    }
    // The buffer is full: hand it on, then start it again.
    FlushOut();
    std::memcpy(&mOut[0], p, n);
    mOutLen = n;
}

void KQoxPrivate::PutText(const char* text)
{
    Put(text, std::strlen(text));
}

void KQoxPrivate::PutFormat(const char* format, ...)
{
    char local[128];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(local, sizeof(local), format, args);
    va_end(args);
    if (n >= 0 && static_cast<size_t>(n) < sizeof(local))
    {
        Put(local, static_cast<size_t>(n));
    }
    else if (n > 0)
    {
        std::vector<char> text(static_cast<size_t>(n) + 1);
        std::vsnprintf(&text[0], text.size(), format, copy);
        Put(&text[0], static_cast<size_t>(n));
    }
    va_end(copy);
}

bool KQoxPrivate::HandOut(bool sync)
{
    if (mOutLen == 0)
        return !mWriteFailed;
    const size_t size = mOutLen;
    mOutBase += static_cast<long long>(size);
    mOutLen = 0;
    if (mWriteFailed || !mBody)
    {
        if (!mWriteFailed)
            Fail(KQox::eNO_SPACE_LEFT);
        mWriteFailed = true;
        return false;
    }
    if (!sync && !mMemory)
    {
        // Written on the body writer's thread while the other buffer fills.
        if (!mSpare)
            mSpare.reset(new unsigned char[kFlushSize]);
        if (!mBodyWriter.Start(mBody, mOut.get(), size))
        {
            mWriteFailed = true;
            Fail(KQox::eNO_SPACE_LEFT);
            return false;
        }
        std::swap(mOut, mSpare);
        return true;
    }
    for (size_t done = 0; done < size && !mWriteFailed;)
    {
        unsigned int chunk = size - done < kMaxIoChunk ? static_cast<unsigned int>(size - done) : kMaxIoChunk;
        if (mBody->Write(&mOut[done], chunk) != chunk)
        {
            mWriteFailed = true;
            Fail(KQox::eNO_SPACE_LEFT);
        }
        done += chunk;
    }
    return !mWriteFailed;
}

bool KQoxPrivate::FlushOut()
{
    return HandOut(false);
}

bool KQoxPrivate::WaitOut()
{
    if (!mBodyWriter.Wait() && !mWriteFailed)
    {
        mWriteFailed = true;
        Fail(KQox::eNO_SPACE_LEFT);
    }
    return !mWriteFailed;
}

bool KQoxPrivate::SyncOut()
{
    // After the buffer in flight, this one from here: small files start no thread.
    if (!WaitOut())
    {
        HandOut(true); // dropped
        return false;
    }
    return HandOut(true);
}

bool KQoxPrivate::Patch(long long position, const void* data, size_t n)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    // The part still in the buffer.
    while (n > 0 && position + static_cast<long long>(n) > mOutBase)
    {
        long long at = position + static_cast<long long>(n) - 1;
        if (at < mOutBase)
            break;
        mOut[static_cast<size_t>(at - mOutBase)] = p[n - 1];
        --n;
    }
    if (n == 0)
        return true;
    // The part already in the file: write it in place and come back.
    if (!WaitOut())
        return false;
    mBody->SetPosition(static_cast<long>(position));
    unsigned int written = mBody->Write(const_cast<unsigned char*>(p), static_cast<unsigned int>(n));
    mBody->SetPosition(static_cast<long>(mOutBase));
    if (written != n)
    {
        mWriteFailed = true;
        return Fail(KQox::eNO_SPACE_LEFT);
    }
    return true;
}

void KQoxPrivate::PutIndent(size_t depth)
{
    static const char spaces[] = "                                                                ";
    size_t n = depth * kIndent;
    while (n > 0)
    {
        size_t k = n < sizeof(spaces) - 1 ? n : sizeof(spaces) - 1;
        Put(spaces, k);
        n -= k;
    }
}

void KQoxPrivate::PutAsciiString(const char* text, size_t n)
{
    PutByte('"');
    for (size_t i = 0; i < n; ++i)
    {
        unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c)
        {
        case '"': PutText("\\\""); break;
        case '\\': PutText("\\\\"); break;
        case '\n': PutText("\\n"); break;
        case '\r': PutText("\\r"); break;
        case '\t': PutText("\\t"); break;
        default:
            if (c < 0x20 || c == 0x7F)
                PutFormat("\\x%02X", c);
            else
                PutByte(c);
        }
    }
    PutByte('"');
}

void KQoxPrivate::PutAsciiName(const char* name)
{
    size_t n = std::strlen(name);
    bool bare = n > 0;
    for (size_t i = 0; i < n && bare; ++i)
        bare = IsBareChar(static_cast<unsigned char>(name[i]));
    if (bare)
        Put(name, n);
    else
        PutAsciiString(name, n);
}

void KQoxPrivate::PutAsciiChar(char c)
{
    if (IsBareChar(static_cast<unsigned char>(c)))
        PutByte(static_cast<unsigned char>(c));
    else
        PutAsciiString(&c, c ? 1 : 0);
}

// ASCII raw value: "*size:" and the base64 text, on the same line when it
// fits in one, else on lines of its own one level deeper.
void KQoxPrivate::PutRawBegin(unsigned long long size)
{
    PutFormat("*%llu:", size);
}

void KQoxPrivate::PutRawChunk(const unsigned char* data, size_t n, unsigned long long& done, unsigned long long size)
{
    // n is a whole number of lines except for the last chunk.
    bool multiLine = size > static_cast<unsigned long long>(kRawLineBytes);
    size_t depth = mWriteStack.size();
    for (size_t line = 0; line < n; line += kRawLineBytes)
    {
        size_t k = n - line < static_cast<size_t>(kRawLineBytes) ? n - line : static_cast<size_t>(kRawLineBytes);
        if (multiLine)
        {
            PutByte('\n');
            PutIndent(depth);
        }
        char text[80];
        size_t t = 0;
        for (size_t i = 0; i < k; i += 3)
        {
            const unsigned char* p = data + line + i;
            unsigned int v = static_cast<unsigned int>(p[0]) << 16;
            if (i + 1 < k)
                v |= static_cast<unsigned int>(p[1]) << 8;
            if (i + 2 < k)
                v |= p[2];
            text[t++] = kBase64[(v >> 18) & 63];
            text[t++] = kBase64[(v >> 12) & 63];
            text[t++] = i + 1 < k ? kBase64[(v >> 6) & 63] : '=';
            text[t++] = i + 2 < k ? kBase64[v & 63] : '=';
        }
        Put(text, t);
        done += k;
    }
}

// ---------------------------------------------------------------------------
// Write state

bool KQoxPrivate::CanWrite()
{
    if (mMode != eWriting)
        return Fail(KQox::eFILE_NOT_OPENED);
    if (mWriteFailed)
        return Fail(KQox::eNO_SPACE_LEFT);
    return true;
}

bool KQoxPrivate::ValueBegin()
{
    if (!CanWrite())
        return false;
    WriteList& top = mWriteStack.back();
    if (top.mState != WriteList::eOpen)
        return Fail(KQox::eWRITE_FIELD_NOT_OPENED);
    if (mForm == KQox::eASCII)
        PutByte(top.mCount == 0 ? ' ' : ',');
    return true;
}

void KQoxPrivate::ValueEnd()
{
    ++mWriteStack.back().mCount;
}

bool KQoxPrivate::BeginRecord(char kind, const char* name)
{
    if (!CanWrite())
        return false;
    WriteList& top = mWriteStack.back();
    if (top.mState != WriteList::eNone)
        return Fail(KQox::eBEGIN_FIELD_ERROR);
    if (!name)
        name = "";
    size_t length = std::strlen(name);
    if (length > 0xFFFF)
        return Fail(KQox::eUNIDENTIFIED_ERROR);
    top.mFieldHeader = Tell();
    top.mCount = 0;
    top.mState = WriteList::eOpen;
    if (mForm == KQox::eASCII)
    {
        PutIndent(mWriteStack.size() - 1);
        if (kind == kSection)
            PutByte('[');
        PutAsciiName(name);
        if (kind == kSection)
            PutByte(']');
        PutByte(':');
    }
    else
    {
        unsigned char head[3] = {static_cast<unsigned char>(kind), static_cast<unsigned char>(length & 0xFF),
                                 static_cast<unsigned char>(length >> 8)};
        Put(head, kSizesOffset);
        Put(name, length);
        unsigned char sizes[kSizesBytes] = {};
        Put(sizes, sizeof(sizes));
    }
    top.mFieldValues = Tell();
    return !mWriteFailed;
}

// Count and value bytes of the open field, into its header.
static void PatchValues(KQoxPrivate& d, const WriteList& list)
{
    unsigned char sizes[12];
    kbytes::PutLE32(sizes, list.mCount);
    kbytes::PutLE64(sizes + 4, static_cast<uint64_t>(d.Tell() - list.mFieldValues));
    d.Patch(list.mFieldValues - kSizesBytes, sizes, sizeof(sizes));
}

bool KQoxPrivate::EndField()
{
    WriteList& top = mWriteStack.back();
    if (top.mState == WriteList::eOpen && mForm != KQox::eASCII)
        PatchValues(*this, top);
    if (mForm == KQox::eASCII)
        PutByte('\n');
    top.mState = WriteList::eNone;
    return !mWriteFailed;
}

bool KQoxPrivate::EndBlock(bool section)
{
    if (mWriteStack.back().mState != WriteList::eNone)
        EndField();
    const WriteList& list = mWriteStack.back();
    if (mForm == KQox::eASCII)
    {
        PutIndent(mWriteStack.size() - 2);
        PutByte('}');
    }
    else
    {
        PutByte(0);
        unsigned char size[8];
        kbytes::PutLE64(size, static_cast<uint64_t>(Tell() - list.mBlockStart));
        Patch(list.mOwnerHeader, size, sizeof(size));
    }
    mWriteStack.pop_back();
    if (section)
    {
        if (mForm == KQox::eASCII)
            PutByte('\n');
        mWriteStack.back().mState = WriteList::eNone;
    }
    return !mWriteFailed;
}

bool KQoxPrivate::EndAllWrites()
{
    while (!mWriteStack.empty())
    {
        if (mWriteStack.back().mState != WriteList::eNone)
            EndField();
        if (mWriteStack.size() < 2)
            break;
        EndBlock(mWriteStack.back().mIsSection);
    }
    return !mWriteFailed;
}

// ---------------------------------------------------------------------------
// KQox: writing

bool KQox::ProjectWriteSectionBegin(const char* name, int version)
{
    KQoxPrivate& d = *mData;
    if (!d.BeginRecord(kSection, name))
        return false;
    WriteList& top = d.mWriteStack.back();
    if (d.mForm == eASCII)
    {
        d.PutFormat(" %d {\n", version);
    }
    else
    {
        unsigned char value[5] = {'I'};
        kbytes::PutLE32(value + 1, static_cast<uint32_t>(version));
        d.Put(value, sizeof(value));
        top.mCount = 1;
        PatchValues(d, top);
    }
    top.mState = WriteList::eBlockDone;
    WriteList list;
    list.mBlockStart = d.Tell();
    list.mOwnerHeader = d.mForm == eASCII ? -1 : top.mFieldValues - 8;
    list.mIsSection = true;
    list.mVersion = version;
    list.mSectionIndex = static_cast<int>(top.mSections.size());
    top.mSections.emplace_back(name ? name : "", version);
    d.mWriteStack.push_back(std::move(list));
    return !d.mWriteFailed;
}

bool KQox::ProjectWriteSectionEnd()
{
    KQoxPrivate& d = *mData;
    if (!d.CanWrite())
        return false;
    if (d.mWriteStack.size() < 2 || !d.mWriteStack.back().mIsSection)
        return d.Fail(eSECTION_ERROR);
    return d.EndBlock(true);
}

bool KQox::FieldWriteBegin(const char* name)
{
    return mData->BeginRecord(kField, name);
}

bool KQox::FieldWriteEnd()
{
    KQoxPrivate& d = *mData;
    if (!d.CanWrite())
        return false;
    if (d.mWriteStack.back().mState == WriteList::eNone)
        return d.Fail(eWRITE_FIELD_NOT_OPENED);
    if (!d.EndField())
        return d.Fail(eNO_SPACE_LEFT);
    return true;
}

bool KQox::FieldWriteBlockBegin()
{
    KQoxPrivate& d = *mData;
    if (!d.CanWrite())
        return false;
    WriteList& top = d.mWriteStack.back();
    if (top.mState != WriteList::eOpen)
        return d.Fail(eWRITE_FIELD_NOT_OPENED);
    if (d.mForm == eASCII)
        d.PutText(" {\n");
    else
        PatchValues(d, top);
    top.mState = WriteList::eBlockDone;
    WriteList list;
    list.mBlockStart = d.Tell();
    list.mOwnerHeader = d.mForm == eASCII ? -1 : top.mFieldValues - 8;
    d.mWriteStack.push_back(std::move(list));
    return !d.mWriteFailed;
}

bool KQox::FieldWriteBlockEnd()
{
    KQoxPrivate& d = *mData;
    if (!d.CanWrite())
        return false;
    if (d.mWriteStack.size() < 2 || d.mWriteStack.back().mIsSection)
        return d.Fail(eBLOCK_ERROR);
    return d.EndBlock(false);
}

namespace {

// One value of fixed size: its text in ASCII files, else its type code and
// little-endian bytes (store puts them after the code).
template <size_t Bytes, typename Ascii, typename Store>
bool WriteScalar(KQoxPrivate& d, char code, Ascii ascii, Store store)
{
    if (!d.ValueBegin())
        return false;
    if (d.mForm == KQox::eASCII)
    {
        ascii();
    }
    else
    {
        unsigned char v[1 + Bytes] = {static_cast<unsigned char>(code)};
        store(v + 1);
        d.Put(v, sizeof(v));
    }
    d.ValueEnd();
    return !d.mWriteFailed;
}

// The "%.<digits>g" text of the value, with a point in every locale.
void PutGeneral(KQoxPrivate& d, double value, int digits)
{
    char text[40];
    d.Put(text, static_cast<size_t>(KPrintDouble(text, sizeof text, value, 'g', digits)));
}

} // namespace

bool KQox::FieldWriteCH(char value)
{
    KQoxPrivate& d = *mData;
    return WriteScalar<1>(
        d, 'C', [&] { d.PutAsciiChar(value); }, [&](unsigned char* p) { *p = static_cast<unsigned char>(value); });
}

bool KQox::FieldWriteI(int value)
{
    KQoxPrivate& d = *mData;
    return WriteScalar<4>(
        d, 'I', [&] { d.PutFormat("%d", value); },
        [&](unsigned char* p) { kbytes::PutLE32(p, static_cast<uint32_t>(value)); });
}

bool KQox::FieldWriteL(long long value)
{
    KQoxPrivate& d = *mData;
    return WriteScalar<8>(
        d, 'L', [&] { d.PutFormat("%lld", value); },
        [&](unsigned char* p) { kbytes::PutLE64(p, static_cast<uint64_t>(value)); });
}

bool KQox::FieldWriteF(float value)
{
    KQoxPrivate& d = *mData;
    return WriteScalar<4>(
        d, 'F', [&] { PutGeneral(d, static_cast<double>(value), 9); },
        [&](unsigned char* p) { kbytes::PutLEFloat(p, value); });
}

bool KQox::FieldWriteD(double value)
{
    KQoxPrivate& d = *mData;
    return WriteScalar<8>(
        d, 'D', [&] { PutGeneral(d, value, 15); }, [&](unsigned char* p) { kbytes::PutLEDouble(p, value); });
}

bool KQox::FieldWriteC(const char* value)
{
    KQoxPrivate& d = *mData;
    if (!value)
        value = "";
    size_t length = std::strlen(value);
    if (length > 0xFFFFFFFFu)
        return d.Fail(eUNIDENTIFIED_ERROR);
    if (!d.ValueBegin())
        return false;
    if (d.mForm == eASCII)
    {
        d.PutAsciiString(value, length);
    }
    else
    {
        unsigned char v[5] = {'S'};
        kbytes::PutLE32(v + 1, static_cast<uint32_t>(length));
        d.Put(v, sizeof(v));
        d.Put(value, length);
    }
    d.ValueEnd();
    return !d.mWriteFailed;
}

bool KQox::FieldWriteR(const void* data, unsigned long long size)
{
    KQoxPrivate& d = *mData;
    if (!data && size > 0)
        return d.Fail(eUNIDENTIFIED_ERROR);
    if (!d.ValueBegin())
        return false;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    if (d.mForm == eASCII)
    {
        d.PutRawBegin(size);
        unsigned long long done = 0;
        const size_t chunk = static_cast<size_t>(kRawLineBytes) * 1024;
        while (done < size)
        {
            size_t n = size - done < chunk ? static_cast<size_t>(size - done) : chunk;
            d.PutRawChunk(bytes + done, n, done, size);
        }
    }
    else
    {
        unsigned char v[9] = {'R'};
        kbytes::PutLE64(v + 1, size);
        d.Put(v, sizeof(v));
        unsigned long long done = 0;
        while (done < size)
        {
            size_t n = size - done < kMaxIoChunk ? static_cast<size_t>(size - done) : kMaxIoChunk;
            d.Put(bytes + done, n);
            done += n;
        }
    }
    d.ValueEnd();
    return !d.mWriteFailed;
}

bool KQox::FieldWriteRFile(const char* fileName)
{
    KQoxPrivate& d = *mData;
    if (!d.CanWrite())
        return false;
    if (d.mWriteStack.back().mState != WriteList::eOpen)
        return d.Fail(eWRITE_FIELD_NOT_OPENED);
    // Only a regular file is read: a folder, device or FIFO has no size to
    // announce, and may never end or never answer.
    std::unique_ptr<FILE, int (*)(FILE*)> source(OpenRegularFile(fileName), &std::fclose);
    struct stat status;
    if (!source || fstat(fileno(source.get()), &status) != 0 || status.st_size < 0)
        return d.Fail(eFILE_NOT_OPENED);
    const unsigned long long size = static_cast<unsigned long long>(status.st_size);
    if (!d.ValueBegin())
        return false;
    bool complete = true;
    std::vector<unsigned char> buffer(static_cast<size_t>(kRawLineBytes) * 4096);
    if (d.mForm == eASCII)
        d.PutRawBegin(size);
    else
    {
        unsigned char v[9] = {'R'};
        kbytes::PutLE64(v + 1, size);
        d.Put(v, sizeof(v));
    }
    unsigned long long done = 0;
    while (done < size && !d.mWriteFailed)
    {
        size_t want = size - done < buffer.size() ? static_cast<size_t>(size - done) : buffer.size();
        size_t got = complete ? std::fread(&buffer[0], 1, want, source.get()) : 0;
        if (got < want)
        {
            // The file shrank while it was read: the value keeps its announced
            // size (zeros) so the record stays whole, and the call fails.
            std::memset(&buffer[got], 0, want - got);
            complete = false;
        }
        if (d.mForm == eASCII)
        {
            d.PutRawChunk(&buffer[0], want, done, size);
        }
        else
        {
            d.Put(&buffer[0], want);
            done += want;
        }
    }
    source.reset();
    d.ValueEnd();
    if (d.mWriteFailed)
        return false;
    if (!complete)
        return d.Fail(eFILE_NOT_OPENED);
    return true;
}

bool KQox::FieldWriteT(KTime time)
{
    if (mData->mMode == KQoxPrivate::eWriting && mData->WriteVersion() <= eSECONDS_TIME_VERSION)
        return FieldWriteD(time.GetSecondDouble());
    return FieldWriteL(time.Get());
}

// ---------------------------------------------------------------------------
// Typed arrays: one value holding many numbers of one type, written in one
// portion (binary: code, 32-bit count, little-endian items; ASCII: "*" code
// count ":" and the items as the scalar texts, separated by spaces).

namespace {

// The texts "0000" to "9999", four characters to a word, the first in its
// low byte (read as bytes on little-endian hosts).
struct FourDigitTexts
{
    uint32_t mText[10000];
    constexpr FourDigitTexts()
        : mText()
    {
        for (uint32_t i = 0; i < 10000; ++i)
            mText[i] = (i / 1000 + '0') | (i / 100 % 10 + '0') << 8 | (i / 10 % 10 + '0') << 16 | (i % 10 + '0') << 24;
    }
};
constexpr FourDigitTexts kFourDigits;
const uint64_t kZeroTexts = 0x3030303030303030ull; // "00000000"

// The eight-digit text of n (below 10^8, with leading zeros) in one word,
// the first character in its low byte.
inline uint64_t EightDigitText(uint32_t n)
{
    const uint32_t high = n / 10000;
    return kFourDigits.mText[high] | static_cast<uint64_t>(kFourDigits.mText[n - high * 10000]) << 32;
}

// The decimal text of n at out (little-endian hosts), with room for 16
// bytes there; its length.
inline size_t PutUnsigned32(char* out, uint32_t n)
{
    if (n >= 100000000)
    {
        // Ten or nine digits: the first one or two alone, then eight.
        const uint32_t top = n / 100000000;
        const uint64_t head = kFourDigits.mText[top]; // "00" and its two digits
        const size_t skip = top < 10 ? 1 : 0;
        std::memcpy(out, reinterpret_cast<const char*>(&head) + 2 + skip, 2);
        const uint64_t text = EightDigitText(n - top * 100000000);
        std::memcpy(out + 2 - skip, &text, 8);
        return 10 - skip;
    }
    // Leading zeros are the low bytes that hold '0' (at most seven: 0
    // keeps its one digit).
    const uint64_t text = EightDigitText(n);
    const int zeros = __builtin_ctzll((text - kZeroTexts) | (1ull << 56)) >> 3;
    const uint64_t shown = text >> (8 * zeros);
    std::memcpy(out, &shown, 8);
    return static_cast<size_t>(8 - zeros);
}

// The text of a double with 15 significant digits, as "%.15g" gives it.
size_t FormatGeneral15Exact(char* out, double value)
{
    return static_cast<size_t>(std::to_chars(out, out + kArrayItemText, value, std::chars_format::general, 15).ptr -
                               out);
}

// The "%.15g" text of a value whose 15 significant digits (or fewer) are
// given: the digits without trailing zeros and the decimal exponent.
size_t EmitGeneral15(char* out, bool negative, const char* digits, int count, int exponent)
{
    size_t n = 0;
    if (negative)
        out[n++] = '-';
    if (exponent < -4 || exponent >= 15)
    {
        out[n++] = digits[0];
        if (count > 1)
        {
            out[n++] = '.';
            std::memcpy(out + n, digits + 1, static_cast<size_t>(count - 1));
            n += static_cast<size_t>(count - 1);
        }
        out[n++] = 'e';
        out[n++] = exponent < 0 ? '-' : '+';
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude >= 100)
            out[n++] = static_cast<char>('0' + magnitude / 100);
        out[n++] = static_cast<char>('0' + magnitude / 10 % 10);
        out[n++] = static_cast<char>('0' + magnitude % 10);
        return n;
    }
    if (exponent < 0)
    {
        out[n++] = '0';
        out[n++] = '.';
        for (int i = -1; i > exponent; --i)
            out[n++] = '0';
        std::memcpy(out + n, digits, static_cast<size_t>(count));
        return n + static_cast<size_t>(count);
    }
    // exponent + 1 digits before the point (zeros past the given digits).
    for (int i = 0; i <= exponent; ++i)
        out[n++] = i < count ? digits[i] : '0';
    if (count > exponent + 1)
    {
        out[n++] = '.';
        std::memcpy(out + n, digits + exponent + 1, static_cast<size_t>(count - exponent - 1));
        n += static_cast<size_t>(count - exponent - 1);
    }
    return n;
}

// A decimal of at most 15 significant digits that reads back as the value
// is the value rounded to 15 digits (it lies within half a unit in the last
// place, well inside half a step of 15 digits). Mesh data is mostly such
// short decimals. Scaled by 10^k so that its first digit lands at the 15th
// place, the value of such a decimal is an integer m below 10^15; the one
// candidate m is confirmed by a correctly rounded division (m and 10^k are
// exact doubles, k from 0 to 22). A wrong guess of the place only means the
// general path.
bool ShortDecimal(double magnitude, long long& mantissa, int& decimals)
{
    static const double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                     1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (magnitude >= 1e15 || magnitude < 1e-8)
        return false;
    // Decimal exponent E of the value, from its binary one (log10(2) ~ 78913 / 2^18).
    unsigned long long bits;
    std::memcpy(&bits, &magnitude, sizeof bits);
    const int binary = static_cast<int>((bits >> 52) & 0x7FF) - 1023;
    int e = (binary * 78913) >> 18; // E or E - 1
    static const double kFractions[] = {1e-1, 1e-2, 1e-3, 1e-4, 1e-5, 1e-6, 1e-7, 1e-8, 1e-9};
    const int next = e + 1;
    if (next <= 15 && next >= -9 && magnitude >= (next >= 0 ? kPowers[next] : kFractions[-next - 1]))
        ++e;
    const int k = 14 - e;
    if (k < 0 || k > 22)
        return false;
    const double scaled = magnitude * kPowers[k];
    if (scaled >= 1e15)
        return false;
    // Rounded to the nearest integer without a library call: below 2^52,
    // adding and taking off 2^52 leaves no fraction bits.
    const double m = (scaled + 4503599627370496.0) - 4503599627370496.0;
    if (m < 1.0 || m / kPowers[k] != magnitude)
        return false;
    mantissa = static_cast<long long>(m);
    decimals = k;
    return true;
}

// The same text as FormatGeneral15Exact, quicker. Short decimals are found
// directly (above). Otherwise the shortest text S that reads back as the
// value is taken: for a normal double it lies within half a unit in the
// last place, so with 15 digits or fewer S is the value rounded to 15
// digits; with 16 or 17, no rounding midpoint of 15 digits lies between S
// and the value (it would be a shorter or nearer text that reads back), so
// rounding S gives the value's 15 digits - unless S is such a midpoint
// itself (16 digits ending in 5). That case, denormals, infinities and NaN
// take the exact path.
__attribute__((noinline)) size_t FormatGeneral15Slow(char* out, double value)
{
    if (value == 0.0)
    {
        size_t n = 0;
        if (std::signbit(value))
            out[n++] = '-';
        out[n++] = '0';
        return n;
    }
    const double magnitude = std::fabs(value);
    if (!std::isfinite(value) || magnitude < DBL_MIN)
        return FormatGeneral15Exact(out, value);
    char digits[24];
    int count = 0;
    int exponent = 0;
    long long mantissa = 0;
    int decimals = 0;
    if (ShortDecimal(magnitude, mantissa, decimals))
    {
        // Trailing zeros off the mantissa first (at most 14: 8 + 4 + 2),
        // so that only the digits that show are made.
        int zeros = 0;
        for (int step : {8, 4, 2, 1})
        {
            static const long long kSteps[] = {0, 10, 100, 0, 10000, 0, 0, 0, 100000000};
            if (mantissa % kSteps[step] == 0)
            {
                mantissa /= kSteps[step];
                zeros += step;
            }
        }
        count = static_cast<int>(std::to_chars(digits, digits + sizeof digits, mantissa).ptr - digits);
        exponent = count + zeros - 1 - decimals;
        return EmitGeneral15(out, value < 0, digits, count, exponent);
    }
    char text[40];
    const char* end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific).ptr;
    const char* p = text + (value < 0 ? 1 : 0);
    for (; p < end && *p != 'e'; ++p)
        if (*p != '.')
            digits[count++] = *p;
    std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
    if (count > 15)
    {
        if (count == 16 && digits[15] == '5')
            return FormatGeneral15Exact(out, value);
        // Above a midpoint when the 16th digit is 5 or more (a 5 is followed
        // by a 17th digit, which is not 0).
        const bool up = digits[15] >= '5';
        count = 15;
        if (up)
        {
            int i = 14;
            while (i >= 0 && digits[i] == '9')
                digits[i--] = '0';
            if (i >= 0)
            {
                ++digits[i];
            }
            else
            {
                digits[0] = '1';
                count = 1;
                ++exponent;
            }
        }
        while (count > 1 && digits[count - 1] == '0')
            --count;
    }
    return EmitGeneral15(out, value < 0, digits, count, exponent);
}

// "." and the six fraction digits whose text is in the low bytes, without
// their trailing zeros; nothing for a fraction of 0. 9 bytes of room.
inline size_t PutFraction(char* out, uint64_t text)
{
    // The two bytes above the digits are zero, as are the trailing zero
    // digits once '0' is taken off.
    const uint64_t digits = text - (kZeroTexts >> 16);
    const uint64_t dotted = text << 8 | '.';
    std::memcpy(out, &dotted, 8);
    return digits != 0 ? 9 - static_cast<size_t>(__builtin_clzll(digits) >> 3) : 0;
}

// The text of a double as "%.15g" gives it. Mesh data is mostly zeros and
// decimals of a few places: a value that is the double nearest to m / 10^6,
// m an integer below 10^15, has that decimal as its text (the argument of
// ShortDecimal, with the place fixed), and the text is made straight from
// m. Other values take the general path.
inline size_t FormatGeneral15(char* out, double value)
{
    out[0] = '-';
    size_t n = std::signbit(value) ? 1 : 0; // "-0" too
    if (value == 0.0)
    {
        out[n] = '0';
        return n + 1;
    }
    const double magnitude = std::fabs(value);
    if (!kbytes::kLittleEndianHost || !(magnitude >= 1e-4 && magnitude < 1e9))
        return FormatGeneral15Slow(out, value);
    // Rounded to an integer by adding 2^52, which leaves it in the low bits.
    const double shifted = magnitude * 1e6 + 4503599627370496.0;
    if ((shifted - 4503599627370496.0) / 1e6 != magnitude)
        return FormatGeneral15Slow(out, value);
    uint64_t scaled;
    std::memcpy(&scaled, &shifted, sizeof scaled);
    scaled &= (1ull << 52) - 1;
    if (scaled < 100000000)
    {
        // Below 100: the whole part's two digits and the fraction's six in one word.
        const uint64_t text = EightDigitText(static_cast<uint32_t>(scaled));
        const size_t single = (text & 0xFF) == '0' ? 1 : 0;
        const uint16_t whole = static_cast<uint16_t>(text >> (8 * single));
        std::memcpy(out + n, &whole, 2);
        n += 2 - single;
        return n + PutFraction(out + n, text >> 16);
    }
    const uint32_t whole = static_cast<uint32_t>(scaled / 1000000);
    const uint32_t fraction = static_cast<uint32_t>(scaled - whole * 1000000ull);
    n += PutUnsigned32(out + n, whole);
    return n + PutFraction(out + n, EightDigitText(fraction) >> 16);
}

// Integer texts: 32-bit magnitudes through PutUnsigned32, the rest (and
// every value on a big-endian host) through the standard library.
template <typename T>
size_t FormatInteger(char* out, T value)
{
    if constexpr (sizeof(T) <= 4)
    {
        if (kbytes::kLittleEndianHost)
        {
            out[0] = '-';
            const size_t sign = value < 0 ? 1 : 0;
            const uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
            return sign + PutUnsigned32(out + sign, magnitude);
        }
    }
    return static_cast<size_t>(std::to_chars(out, out + kArrayItemText, value).ptr - out);
}

template <typename T>
size_t FormatItem(char* out, T value)
{
    if constexpr (std::is_same<T, double>::value)
        return FormatGeneral15(out, value);
    else if constexpr (std::is_same<T, float>::value)
        return static_cast<size_t>(
            std::to_chars(out, out + kArrayItemText, static_cast<double>(value), std::chars_format::general, 9).ptr -
            out);
    else
        return FormatInteger(out, value);
}

// The lines of values[0, count), each "\n", the indent and the items with
// a space between; count a whole number of lines but for the array's last.
// Returns the bytes made in out, which has room for every line.
template <typename T>
size_t FormatLines(char* out, const T* values, size_t count, size_t indent)
{
    size_t t = 0;
    for (size_t i = 0; i < count; i += kArrayLineItems)
    {
        const size_t k = count - i < static_cast<size_t>(kArrayLineItems) ? count - i : kArrayLineItems;
        out[t++] = '\n';
        std::memset(out + t, ' ', indent);
        t += indent;
        for (size_t j = 0; j < k; ++j)
        {
            t += FormatItem(out + t, values[i + j]);
            out[t++] = ' ';
        }
        --t;
    }
    return t;
}

// Items a portion of a large ASCII array has, made on one thread: a whole
// number of lines, its text large enough to go to the file directly.
const size_t kArrayPortionItems = 16384 * kArrayLineItems;

// The lines of a large multi-line array made a few portions at a time on
// several threads and put in order (the same text as one line after
// another); a round's portions are put while the next round's are made.
template <typename T>
void PutLinesParallel(KQoxPrivate& d, const T* values, size_t count, size_t indent)
{
    const size_t lineRoom = 1 + indent + kArrayLineItems * (kArrayItemText + 1);
    const size_t portionRoom = kArrayPortionItems / kArrayLineItems * lineRoom;
    const size_t portions = (count + kArrayPortionItems - 1) / kArrayPortionItems;
    const size_t threads = static_cast<size_t>(KDefaultThreads(8));
    const size_t round = std::min(portions, threads);
    // Two sets of texts: one being put, the other being made.
    auto& texts = d.mPortionTexts;
    if (texts.size() < 2 * round)
        texts.resize(2 * round);
    std::vector<size_t> sizes(2 * round);
    auto make = [&](size_t portion, size_t slot) {
        if (texts[slot].second < portionRoom)
        {
            texts[slot].first.reset(new (std::nothrow) char[portionRoom]);
            texts[slot].second = texts[slot].first ? portionRoom : 0;
        }
        const size_t at = portion * kArrayPortionItems;
        const size_t n = std::min(kArrayPortionItems, count - at);
        sizes[slot] = texts[slot].first ? FormatLines(texts[slot].first.get(), values + at, n, indent) : 0;
    };
    auto put = [&](size_t portion, size_t slot) {
        if (texts[slot].first)
        {
            d.Put(texts[slot].first.get(), sizes[slot]);
            return;
        }
        // No memory for the portion: made here, a line at a time.
        const size_t at = portion * kArrayPortionItems;
        const size_t n = std::min(kArrayPortionItems, count - at);
        char line[1 + kArrayLineItems * (kArrayItemText + 1)];
        for (size_t l = 0; l < n && !d.mWriteFailed; l += kArrayLineItems)
        {
            const size_t k = std::min(static_cast<size_t>(kArrayLineItems), n - l);
            d.PutByte('\n');
            d.PutIndent(indent / kIndent);
            const size_t t = FormatLines(line, values + at + l, k, 0);
            d.Put(line + 1, t - 1);
        }
    };
    const size_t rounds = (portions + round - 1) / round;
    for (size_t r = 0; r <= rounds && !d.mWriteFailed; ++r)
    {
        // Job 0 puts the last round's portions (on one thread, in order); the
        // others make this round's.
        const size_t last = r > 0 ? (r - 1) * round : 0;
        const size_t lastCount = r > 0 ? std::min(round, portions - last) : 0;
        const size_t first = r * round;
        const size_t now = r < rounds ? std::min(round, portions - first) : 0;
        KRunPortions(now + 1, static_cast<int>(threads + (lastCount > 0 ? 1 : 0)), [&](size_t job) {
            if (job > 0)
                make(first + job - 1, (r % 2) * round + job - 1);
            else
                for (size_t i = 0; i < lastCount && !d.mWriteFailed; ++i)
                    put(last + i, ((r - 1) % 2) * round + i);
        });
    }
}

template <typename T>
bool WriteArray(KQoxPrivate& d, char code, const T* values, unsigned int count)
{
    if (!values && count > 0)
        return d.Fail(KQox::eUNIDENTIFIED_ERROR);
    if (!d.ValueBegin())
        return false;
    if (d.mForm == KQox::eASCII)
    {
        char head[32];
        int n = std::snprintf(head, sizeof(head), "*%c%u:", code, count);
        d.Put(head, static_cast<size_t>(n));
        bool multiLine = count > static_cast<unsigned int>(kArrayLineItems);
        size_t depth = d.mWriteStack.size();
        // Lines are made in the output buffer itself, room for a whole line
        // being made first.
        const size_t indent = multiLine ? depth * kIndent : 0;
        const size_t lineRoom = 1 + indent + kArrayLineItems * (kArrayItemText + 1);
        char line[kArrayLineItems * (kArrayItemText + 1)];
        if (multiLine && count >= 2 * kArrayPortionItems && lineRoom <= kFlushSize)
        {
            PutLinesParallel(d, values, count, indent);
            count = 0; // every line is out
        }
        for (unsigned int i = 0; i < count; i += kArrayLineItems)
        {
            unsigned int k = count - i < static_cast<unsigned int>(kArrayLineItems) ? count - i : kArrayLineItems;
            if (lineRoom <= kFlushSize)
            {
                if (d.mOutLen + lineRoom > kFlushSize)
                    d.FlushOut();
                char* o = reinterpret_cast<char*>(&d.mOut[d.mOutLen]);
                size_t t = 0;
                if (multiLine)
                {
                    o[t++] = '\n';
                    std::memset(o + t, ' ', indent);
                    t += indent;
                }
                // Each item and a space; the last space is taken back.
                for (unsigned int j = 0; j < k; ++j)
                {
                    t += FormatItem(o + t, values[i + j]);
                    o[t++] = ' ';
                }
                d.mOutLen += t - 1;
                continue;
            }
            if (multiLine)
            {
                d.PutByte('\n');
                d.PutIndent(depth);
            }
            size_t t = 0;
            for (unsigned int j = 0; j < k; ++j)
            {
                if (j > 0)
                    line[t++] = ' ';
                t += FormatItem(line + t, values[i + j]);
            }
            d.Put(line, t);
        }
    }
    else
    {
        unsigned char head[5] = {static_cast<unsigned char>(code)};
        kbytes::PutLE32(head + 1, count);
        d.Put(head, sizeof(head));
        if (count == 0)
        {
            // nothing follows the count (values may be null)
        }
        else if (kbytes::kLittleEndianHost)
        {
            d.Put(values, static_cast<size_t>(count) * sizeof(T));
        }
        else
        {
            unsigned char item[sizeof(T)];
            for (unsigned int i = 0; i < count; ++i)
            {
                kbytes::PutLEItem(item, values[i]);
                d.Put(item, sizeof(T));
            }
        }
    }
    d.ValueEnd();
    return !d.mWriteFailed;
}

} // namespace

bool KQox::FieldWriteArrayB(const unsigned char* values, unsigned int count)
{
    return WriteArray(*mData, kArrayByte, values, count);
}

bool KQox::FieldWriteArrayI(const int* values, unsigned int count)
{
    return WriteArray(*mData, kArrayInt, values, count);
}

bool KQox::FieldWriteArrayL(const long long* values, unsigned int count)
{
    return WriteArray(*mData, kArrayLong, values, count);
}

bool KQox::FieldWriteArrayF(const float* values, unsigned int count)
{
    return WriteArray(*mData, kArrayFloat, values, count);
}

bool KQox::FieldWriteArrayD(const double* values, unsigned int count)
{
    return WriteArray(*mData, kArrayDouble, values, count);
}
