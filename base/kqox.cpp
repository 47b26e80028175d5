// KQox: files, layers, header, key derivation and sections.

#include "base/kqox.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <random>
#include <stdexcept>

#include "base/kbytes.h"
#include "base/kfile.h"
#include "base/kfilecause.h"
#include "base/kpath.h"
#include "base/kqox_private.h"
#include "base/twofish.h"

#ifdef __unix__
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace kqox;

namespace {

const char* const kErrorTable[KQox::eERROR_COUNT] = {
    "File is corrupted",
    "File version is not supported yet",
    "File version is not supported anymore",
    "File not opened",
    "File not created",
    "Wrong password",
    "Begin Field error last field not closed",
    "Block error : no block opened",
    "Section error : no section opened",
    "Unidentified error",
    "Write field error : Field not opened",
    "No space left on device",
};

// kSaltSize bytes of salt; never the same twice in a process, files being
// created on several threads at once among them.
void MakeSalt(unsigned char* salt)
{
    static std::atomic<unsigned long long> counter{0};
    unsigned long long seed =
        static_cast<unsigned long long>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    seed ^= ++counter * 0x9E3779B97F4A7C15ull;
    try
    {
        std::random_device device;
        seed ^= (static_cast<unsigned long long>(device()) << 32) ^ device();
    }
    catch (const std::runtime_error&)
    {
        // No random device here: the clock and the counter are enough for a salt.
    }
    std::mt19937_64 generator(seed);
    for (int i = 0; i < kSaltSize; i += 8)
    {
        unsigned long long v = generator();
        for (int k = 0; k < 8; ++k)
            salt[i + k] = static_cast<unsigned char>(v >> (8 * k));
    }
}

} // namespace

// ---------------------------------------------------------------------------
// KQoxPrivate: files and layers

KQoxPrivate::KQoxPrivate()
    : mError(kErrorTable, KQox::eERROR_COUNT)
    , mFileName("")
    , mFilePath("")
{
    std::memset(mKey, 0, sizeof(mKey));
}

KQoxPrivate::~KQoxPrivate()
{
    DeleteLayers();
}

void KQoxPrivate::DeleteLayers()
{
    mBodyWriter.Stop(); // nothing in flight to the layers
    // Top layer first; none owns the one below.
    mCipher.reset();
    mCrc.reset();
    mBottom.reset();
    mBody = nullptr;
    std::memset(mKey, 0, sizeof(mKey));
}

void KQoxPrivate::ResetFile()
{
    mPeekPos = -1;
    mPeekEnd = -1;
    DeleteLayers();
    mMode = eClosed;
    mVersion = 0;
    mForm = KQox::eBINARY;
    mMemory = false;
    mOut.reset();
    mSpare.reset();
    mOutLen = 0;
    mOutBase = 0;
    mWriteFailed = false;
    mMemBuffer = nullptr;
    mMemCapacity = 0;
    mWriteStack.clear();
    UseImage(nullptr);
    mMapped.Unmap();
    mIn.clear();
    mIn.shrink_to_fit();
    mStreamBytes.clear();
    mStreamBytes.shrink_to_fit();
    mHeadWindow = PeekWindow();
    mMarkWindow = PeekWindow();
    mLimit = 0;
    mBodyStart = 0;
    mTrailerPos = 0;
    mReadStack.clear();
    StackChanged();
    mSpareLists.clear();
    mBraces.clear();
    mBraces.shrink_to_fit();
    mBraceHint = 0;
    mOpenBraces.clear();
    mTextDamaged = false;
    mArrays.clear();
    mArrays.shrink_to_fit();
    mText.clear();
}

void KQoxPrivate::SetFileName(const char* fileName)
{
    mFileName = fileName ? fileName : "";
    const KString full = fileName && *fileName ? KFullPath(fileName) : KString("");
    mFilePath = ExtractDirectoryFromFilePath(full);
    // A name or folder that lost its text would stand for another file (the
    // media beside it are found through both).
    if (!mFileName.IsOK() || !full.IsOK() || !mFilePath.IsOK())
        throw std::bad_alloc();
}

bool KQoxPrivate::Fail(int code)
{
    mError.SetLastErrorID(code);
    return false;
}

bool KQoxPrivate::FailCause(int code, const char* cause)
{
    mError.SetLastErrorCause(code, cause);
    return false;
}

bool KQoxPrivate::CheckVersion(long long version)
{
    if (version < KQox::eOLDEST_VERSION)
        return Fail(KQox::eFILE_VERSION_NOT_SUPPORTED_ANYMORE);
    if (version > KQox::eNEWEST_VERSION)
        return Fail(KQox::eFILE_VERSION_NOT_SUPPORTED_YET);
    return true;
}

void KQoxPrivate::DeriveKey(const char* password, const unsigned char* salt, unsigned char* key)
{
    // Miyaguchi-Preneel compression over Twofish: h = E_h(m) ^ h ^ m, first
    // over salt + password (padded, with its length), then kKeyRounds more
    // times over the salt with a round counter.
    if (!password)
        password = "";
    size_t length = std::strlen(password);
    std::vector<unsigned char> message(salt, salt + kSaltSize);
    message.insert(message.end(), password, password + length);
    message.push_back(0x80);
    while (message.size() % kCipherBlock != 0)
        message.push_back(0);
    unsigned char lengthBlock[kCipherBlock] = {};
    for (int i = 0; i < 8; ++i)
        lengthBlock[i] = static_cast<unsigned char>(static_cast<unsigned long long>(length) >> (8 * i));
    message.insert(message.end(), lengthBlock, lengthBlock + kCipherBlock);

    unsigned char h[kKeySize];
    std::memcpy(h, "Tolvane QOX key", kKeySize); // 15 characters and the terminator
    KTwofish cipher;
    auto compress = [&](const unsigned char* m) {
        unsigned char c[kCipherBlock];
        cipher.SetKey(h);
        cipher.EncryptBlock(m, c);
        for (int i = 0; i < kCipherBlock; ++i)
            h[i] = static_cast<unsigned char>(h[i] ^ c[i] ^ m[i]);
    };
    for (size_t i = 0; i < message.size(); i += kCipherBlock)
        compress(&message[i]);
    for (int round = 0; round < kKeyRounds; ++round)
    {
        unsigned char m[kCipherBlock];
        std::memcpy(m, salt, kCipherBlock);
        for (int i = 0; i < 4; ++i)
            m[i] = static_cast<unsigned char>(m[i] ^ (round >> (8 * i)));
        compress(m);
    }
    std::memcpy(key, h, kKeySize);
    std::memset(&message[0], 0, message.size());
}

bool KQoxPrivate::CreateCommon(KQox::EForm form, int version, const char* password)
{
    // The buffers first: should memory run out (std::bad_alloc), the file
    // is not left writing without them.
    mOut.reset(new unsigned char[kFlushSize]);
    mWriteStack.assign(1, WriteList());
    mMode = eWriting;
    mForm = form;
    mVersion = version;
    mOutLen = 0;
    mOutBase = 0;
    mWriteFailed = false;
    mWriteStack[0].mVersion = version;
    KChainedFile* top = mCrc ? mCrc.get() : mBottom.get();
    mBody = top;

    if (form == KQox::eASCII)
    {
        PutFormat("%s%d\n", kAsciiMagic, version);
        return true;
    }

    unsigned char header[kHeaderSize] = {};
    std::memcpy(header, kMagic, kMagicLength);
    std::memcpy(header + kStopOffset, kStopBytes, sizeof(kStopBytes));
    header[kFormOffset] = form == KQox::eENCRYPTED ? kFormEncrypted : kFormBinary;
    header[kRevisionOffset] = kHeaderRevision;
    kbytes::PutLE32(header + kVersionOffset, static_cast<uint32_t>(version));
    Put(header, kHeaderSize);
    if (form == KQox::eENCRYPTED)
    {
        unsigned char salt[kSaltSize];
        MakeSalt(salt);
        Put(salt, kSaltSize);
        if (!SyncOut())
            return false;
        DeriveKey(password, salt, mKey);
        // The layer starts where the plain header ends.
        mCipher = std::make_unique<KEncryptedFile>(reinterpret_cast<char*>(mKey), kEncryptedBase, top,
                                                   KChainedFile::eWrite, false);
        mBody = mCipher.get();
        Put(kKeyCheck, kKeyCheckSize);
    }
    return true;
}

bool KQoxPrivate::CloseWrite()
{
    EndAllWrites();
    if (mForm == KQox::eASCII)
    {
        PutText(kAsciiTrailer);
        PutByte('\n');
    }
    else
    {
        PutByte(0); // end of the top-level list
    }
    bool ok = SyncOut();
    mBodyWriter.Stop();
    long long end = Tell();
    long long dataEnd = end;
    if (mCipher)
    {
        long long region = end - kEncryptedBase;
        dataEnd = kEncryptedBase + (region + kCipherBlock - 1) / kCipherBlock * kCipherBlock;
        if (!mCipher->Close())
            ok = false;
    }
    else if (mCrc)
    {
        if (!mCrc->Close())
            ok = false;
    }
    else if (mBottom)
    {
        if (!mBottom->Close())
            ok = false;
    }
    mFileSize = static_cast<unsigned long long>(dataEnd);
    if (mMemory && mForm != KQox::eASCII && ok)
    {
        // The check value of a memory image, through the CRC layer over the bytes used.
        if (static_cast<unsigned long long>(dataEnd) + kCheckSize > mMemCapacity)
        {
            ok = false;
        }
        else
        {
            KChainedFile image(0, nullptr, KChainedFile::eClosed, false);
            bool readBack = image.Open(mMemBuffer, static_cast<unsigned int>(dataEnd));
            KCrcFile crcLayer(0, &image, KChainedFile::eRead, false);
            unsigned int crc = ~crcLayer.ReadCrc(&readBack);
            if (!readBack)
            {
                ok = false;
            }
            else
            {
                kbytes::PutBE32(mMemBuffer + dataEnd, crc);
            }
            image.Close();
        }
    }
    if (mForm != KQox::eASCII)
        mFileSize += kCheckSize;
    unsigned long long size = mFileSize;
    ResetFile();
    mFileSize = size;
    if (!ok)
        return Fail(KQox::eNO_SPACE_LEFT);
    return true;
}

namespace kqox {

const unsigned char* MappedFile::Map(const char* fileName, unsigned long long size)
{
    Unmap();
#ifdef __unix__
    const int fd = open(fileName, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        static_cast<unsigned long long>(st.st_size) == size)
    {
        // Mapped whole at once: the pages come straight from the system's
        // cache, with no copy into a buffer of ours.
        void* data = mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (data != MAP_FAILED)
        {
            mData = data;
            mSize = static_cast<size_t>(size);
            mGuard.Hold(mData, mSize);
        }
    }
    close(fd);
#else
    (void)fileName;
    (void)size;
#endif
    return static_cast<const unsigned char*>(mData);
}

void MappedFile::Unmap()
{
    mGuard.Release();
#ifdef __unix__
    if (mData)
        munmap(mData, mSize);
#endif
    mData = nullptr;
    mSize = 0;
}

} // namespace kqox

namespace {

// Nothing read yet, or as much of the magic as was read, matches.
bool StartsLike(const unsigned char* head, size_t length, const char* magic, size_t magicLength)
{
    return std::memcmp(head, magic, std::min(length, magicLength)) == 0;
}

// The first bytes of a file may begin a native file of either form.
bool MayBeNative(const unsigned char* head, size_t length)
{
    return StartsLike(head, length, kMagic, static_cast<size_t>(kMagicLength)) ||
           StartsLike(head, length, kAsciiMagic, sizeof(kAsciiMagic) - 1);
}

} // namespace

bool KQoxPrivate::sTextInPlace = true;

bool KQoxPrivate::OpenCommon(const char* password, bool checkIntegrity, const void* image, const char* mapName)
{
    mPeekPos = -1;
    mMode = eReading;
    mBody = mCrc.get();
    mCrc->Seek(kSEEK_END, 0);
    long size = mCrc->GetPosition();
    mCrc->Seek(kSEEK_BEGIN, 0);
    if (size <= 0)
    {
        ResetFile();
        return size == 0 ? FailCause(KQox::eFILE_CORRUPTED, kCAUSE_EMPTY_FILE) : Fail(KQox::eFILE_CORRUPTED);
    }
    mFileSize = static_cast<unsigned long long>(size);
    mLimit = size;
    // ASCII text keeps this window: the closing braces of a list's blocks
    // are read apart from its values. Binary bodies take a larger one.
    mIn.resize(kTextWindowSize);
    mInLen = 0;
    // A binary image in the caller's memory is read where it lies.
    if (image)
        UseImage(static_cast<const unsigned char*>(image));

    unsigned char header[kHeaderSize] = {};
    size_t headerBytes = size < kHeaderSize ? static_cast<size_t>(size) : static_cast<size_t>(kHeaderSize);
    bool ok;
    if (!ReadAt(0, header, headerBytes))
    {
        ok = Fail(KQox::eFILE_CORRUPTED);
    }
    else if (headerBytes >= static_cast<size_t>(kMagicLength) && std::memcmp(header, kMagic, kMagicLength) == 0)
    {
        ok = OpenBinary(header, password, checkIntegrity);
    }
    else if (headerBytes >= sizeof(kAsciiMagic) - 1 && std::memcmp(header, kAsciiMagic, sizeof(kAsciiMagic) - 1) == 0)
    {
        // Text is read in place from the caller's image or the file's
        // mapping, else through the window.
        UseImage(!sTextInPlace ? nullptr
                 : image       ? static_cast<const unsigned char*>(image)
                 : mapName     ? mMapped.Map(mapName, mFileSize)
                               : nullptr);
        ok = OpenAscii();
    }
    else
    {
        // Bytes that begin no native file are another kind of file; the
        // start of one cut short is damage.
        ok = MayBeNative(header, headerBytes) ? Fail(KQox::eFILE_CORRUPTED)
                                              : FailCause(KQox::eFILE_CORRUPTED, kCAUSE_NOT_NATIVE);
    }
    if (!ok)
    {
        unsigned long long fileSize = mFileSize;
        ResetFile();
        mFileSize = fileSize;
    }
    return ok;
}

bool KQoxPrivate::OpenStream(const char* fileName, const char* password, bool checkIntegrity)
{
    std::unique_ptr<FILE, int (*)(FILE*)> stream(std::fopen(fileName, "rb"), &std::fclose);
    if (!stream)
        return FailCause(KQox::eFILE_NOT_OPENED, KFileErrorCause(errno));
    // Not a directory after all (replaced since it was looked at).
    if (GetFileKind(stream.get()) == kFILE_KIND_DIRECTORY)
        return FailCause(KQox::eFILE_NOT_OPENED, KFileErrorCause(EISDIR));
    const bool read = ReadStream(stream.get());
    stream.reset();
    if (!read)
    {
        ResetFile();
        return false;
    }
    if (mStreamBytes.empty())
        return FailCause(KQox::eFILE_CORRUPTED, kCAUSE_EMPTY_FILE);
    mBottom = std::make_unique<KChainedFile>(0, nullptr, KChainedFile::eClosed, false);
    if (!mBottom->Open(mStreamBytes.data(), static_cast<unsigned int>(mStreamBytes.size())))
    {
        ResetFile();
        return Fail(KQox::eFILE_NOT_OPENED);
    }
    mMemory = true;
    mCrc = std::make_unique<KCrcFile>(0, mBottom.get(), KChainedFile::eRead, false);
    return OpenCommon(password, checkIntegrity, mStreamBytes.data());
}

bool KQoxPrivate::ReadStream(FILE* stream)
{
    switch (ReadStreamWhole(stream, mStreamBytes, StreamMostBytes(), static_cast<size_t>(kHeaderSize), &MayBeNative))
    {
    case kSTREAM_READ_WHOLE: return true;
    case kSTREAM_READ_REFUSED: return FailCause(KQox::eFILE_CORRUPTED, kCAUSE_NOT_NATIVE);
    case kSTREAM_READ_TOO_LONG:
        mError.SetLastError(KQox::eFILE_NOT_OPENED, kSTREAM_TOO_LONG_TEXT);
        return false;
    // Memory that ran out fails the read as it does anywhere else in it.
    case kSTREAM_READ_NO_MEMORY: throw std::bad_alloc();
    case kSTREAM_READ_FAILED: break;
    }
    return Fail(KQox::eFILE_NOT_OPENED);
}

bool KQoxPrivate::OpenBinary(const unsigned char* header, const char* password, bool checkIntegrity)
{
    if (mFileSize < static_cast<unsigned long long>(kHeaderSize + 1 + kCheckSize))
        return Fail(KQox::eFILE_CORRUPTED);
    // An enciphered body is read through the layers.
    if (header[kFormOffset] != kFormBinary)
        UseImage(nullptr);
    // The check value first: a damaged header reads as damage, not as a version.
    if (checkIntegrity && !(mImage ? CheckImage() : mCrc->CheckCrc()))
        return Fail(KQox::eFILE_CORRUPTED);
    // Bytes read from here on run through the register as they pass, so
    // that a check after reading need not read them again.
    mCrc->FollowReads(true);
    if (std::memcmp(header + kStopOffset, kStopBytes, sizeof(kStopBytes)) != 0 || header[kRevisionOffset] == 0)
        return Fail(KQox::eFILE_CORRUPTED);
    unsigned char formByte = header[kFormOffset];
    if (formByte != kFormBinary && formByte != kFormEncrypted)
        return Fail(KQox::eFILE_CORRUPTED);
    if (header[kRevisionOffset] > kHeaderRevision)
        return Fail(KQox::eFILE_VERSION_NOT_SUPPORTED_YET);
    long long version = static_cast<int32_t>(kbytes::GetLE32(header + kVersionOffset));
    if (!CheckVersion(version))
        return false;
    mVersion = static_cast<int>(version);
    mLimit = static_cast<long long>(mFileSize) - kCheckSize;
    if (mImage)
    {
        UseImageWindow();
    }
    else
    {
        mIn.resize(kWindowSize);
        mInLen = 0;
    }

    if (formByte == kFormEncrypted)
    {
        mForm = KQox::eENCRYPTED;
        long long region = mLimit - kEncryptedBase;
        if (region < 2 * kCipherBlock || region % kCipherBlock != 0)
            return Fail(KQox::eFILE_CORRUPTED);
        unsigned char salt[kSaltSize];
        if (!ReadAt(kSaltOffset, salt, kSaltSize))
            return Fail(KQox::eFILE_CORRUPTED);
        DeriveKey(password, salt, mKey);
        mCipher = std::make_unique<KEncryptedFile>(reinterpret_cast<char*>(mKey), kEncryptedBase, mCrc.get(),
                                                   KChainedFile::eRead, false);
        mBody = mCipher.get();
        // The windows held plain bytes.
        mInLen = 0;
        mHeadWindow.mLen = 0;
        mMarkWindow.mLen = 0;
        unsigned char check[kKeyCheckSize];
        if (!ReadAt(kEncryptedBase, check, kKeyCheckSize))
            return Fail(KQox::eFILE_CORRUPTED);
        mBodyStart = kEncryptedBase + kKeyCheckSize;
        if (std::memcmp(check, kKeyCheck, kKeyCheckSize) != 0)
        {
            // A verified check value leaves only a wrong key. Without it, a
            // damaged key check is told apart by the rest of the region.
            if (!checkIntegrity && KeyCheckDamaged())
                return Fail(KQox::eFILE_CORRUPTED);
            return Fail(KQox::eWRONG_PASSWORD);
        }
    }
    else
    {
        mForm = KQox::eBINARY;
        mBodyStart = kHeaderSize;
    }

    std::unique_ptr<ReadList> root = NewList();
    root->mStart = mBodyStart;
    root->mEnd = mLimit;
    root->mVersion = mVersion;
    if (!IndexList(*root, true) || !TopLevelEndOk(mForm, mLimit, *root))
        return Fail(KQox::eFILE_CORRUPTED);
    mReadStack.push_back(std::move(root));
    StackChanged();
    return true;
}

// After the end marker of the top-level list: the check value alone, or
// (enciphered) the block padding.
bool KQoxPrivate::TopLevelEndOk(KQox::EForm form, long long limit, const ReadList& root)
{
    long long after = limit - (root.mEnd + 1);
    return after >= 0 && (form != KQox::eBINARY || after == 0) && (form != KQox::eENCRYPTED || after < kCipherBlock);
}

// The key check of an encrypted file did not match. With the right key the
// region still deciphers into a whole, non-empty top-level list; with a
// wrong key that is as unlikely as guessing the key. An empty list cannot
// tell the two apart (its one byte matches by chance once in 256 keys).
bool KQoxPrivate::KeyCheckDamaged()
{
    ReadList probe;
    probe.mStart = mBodyStart;
    probe.mEnd = mLimit;
    return IndexList(probe, true) && TopLevelEndOk(mForm, mLimit, probe) && !probe.mRecords.empty();
}

bool KQoxPrivate::OpenAscii()
{
    mForm = KQox::eASCII;
    // First line: the magic, the version, the line end.
    long long position = sizeof(kAsciiMagic) - 1;
    long long version = 0;
    int digits = 0;
    while (digits < 9 && CharAt(position) >= '0' && CharAt(position) <= '9')
    {
        version = version * 10 + (CharAt(position) - '0');
        ++position;
        ++digits;
    }
    if (digits == 0)
        return Fail(KQox::eFILE_CORRUPTED);
    if (CharAt(position) == '\r')
        ++position;
    if (CharAt(position) != '\n')
        return Fail(KQox::eFILE_CORRUPTED);
    ++position;
    if (!CheckVersion(version))
        return false;
    mVersion = static_cast<int>(version);
    mBodyStart = position;

    // Last line: the trailer, after a line end.
    long long size = static_cast<long long>(mFileSize);
    long long trailerLength = sizeof(kAsciiTrailer) - 1;
    long long trailer = -1;
    for (int crlf = 0; crlf < 2 && trailer < 0; ++crlf)
    {
        long long start = size - trailerLength - 1 - crlf;
        if (start < mBodyStart)
            continue;
        bool match = true;
        for (long long i = 0; i < trailerLength && match; ++i)
            match = CharAt(start + i) == kAsciiTrailer[i];
        if (crlf && CharAt(size - 2) != '\r')
            match = false;
        if (match && CharAt(size - 1) == '\n' && (start == mBodyStart || CharAt(start - 1) == '\n'))
            trailer = start;
    }
    if (trailer < 0)
        return Fail(KQox::eFILE_CORRUPTED);
    mTrailerPos = trailer;

    // Lists are indexed as far as they are read: the text of a block is
    // indexed when it is entered or, when a record after it is asked for
    // first, passed over once.
    std::unique_ptr<ReadList> root = NewList();
    root->mStart = mBodyStart;
    root->mEnd = trailer;
    root->mVersion = mVersion;
    root->mOpen = true;
    root->mBound = trailer;
    if (!IndexList(*root, true))
        return Fail(KQox::eFILE_CORRUPTED);
    mReadStack.push_back(std::move(root));
    StackChanged();
    return true;
}

// ---------------------------------------------------------------------------
// KQox: whole file

KQox::KQox()
    : mData(std::make_unique<KQoxPrivate>())
{}

KQox::~KQox()
{
    ProjectClose();
}

bool KQoxPrivate::Create(const char* fileName, void* buffer, unsigned int capacity, KQox::EForm form, int version,
                         const char* password, bool exclusive)
{
    mError.ClearLastError();
    mFileSize = 0;
    if (form != KQox::eBINARY && form != KQox::eASCII && form != KQox::eENCRYPTED)
        return Fail(KQox::eFILE_NOT_CREATED);
    if (!CheckVersion(version))
        return false;
    bool memory = fileName == nullptr;
    if (memory ? (!buffer || capacity == 0) : !*fileName)
        return Fail(KQox::eFILE_NOT_CREATED);
    SetFileName(memory ? "" : fileName);
    mBottom = std::make_unique<KChainedFile>(0, nullptr, KChainedFile::eClosed, false);
    bool ok;
    if (memory)
    {
        std::memset(buffer, 0, capacity);
        ok = mBottom->Open(buffer, capacity);
        mMemory = true;
        mMemBuffer = static_cast<unsigned char*>(buffer);
        mMemCapacity = capacity;
    }
    else if (form == KQox::eASCII)
    {
        ok = exclusive ? mBottom->Open(fileName, "wbx") : mBottom->Open(fileName, kFILE_WRITE, false);
    }
    else
    {
        // Read-write: the CRC layer reads the file back to append its check value.
        mCrc = std::make_unique<KCrcFile>(0, mBottom.get(), KChainedFile::eClosed, false);
        ok = exclusive ? mCrc->Open(fileName, "w+bx") : mCrc->Open(fileName, kFILE_READ_WRITE, false);
    }
    if (!ok)
    {
        ResetFile();
        return Fail(KQox::eFILE_NOT_CREATED);
    }
    if (!CreateCommon(form, version, password))
    {
        // Only the caller's buffer runs out of room before the first flush.
        ResetFile();
        if (exclusive)
            std::remove(fileName); // made here, so not left behind
        return Fail(memory ? KQox::eNO_SPACE_LEFT : KQox::eFILE_NOT_CREATED);
    }
    return true;
}

bool KQox::ProjectCreate(const char* fileName, EForm form, int version, const char* password)
{
    ProjectClose();
    return mData->Create(fileName ? fileName : "", nullptr, 0, form, version, password);
}

bool KQox::ProjectCreateNew(const char* fileName, EForm form, int version, const char* password)
{
    ProjectClose();
    return mData->Create(fileName ? fileName : "", nullptr, 0, form, version, password, true);
}

bool KQox::ProjectCreate(void* buffer, unsigned int capacity, EForm form, int version, const char* password)
{
    ProjectClose();
    return mData->Create(nullptr, buffer, capacity, form, version, password);
}

bool KQox::ProjectOpen(const char* fileName, const char* password, bool checkIntegrity)
{
    ProjectClose();
    mData->mError.ClearLastError();
    mData->mFileSize = 0;
    if (!fileName || !*fileName)
        return mData->Fail(eFILE_NOT_OPENED);
    const kFileKind kind = GetFileKind(fileName);
    // A directory opens on this system, but holds no file.
    if (kind == kFILE_KIND_DIRECTORY)
        return mData->FailCause(eFILE_NOT_OPENED, KFileErrorCause(EISDIR));
    mData->SetFileName(fileName);
    if (kind == kFILE_KIND_OTHER)
        return mData->OpenStream(fileName, password, checkIntegrity);
    mData->mBottom = std::make_unique<KChainedFile>(0, nullptr, KChainedFile::eClosed, false);
    mData->mCrc = std::make_unique<KCrcFile>(0, mData->mBottom.get(), KChainedFile::eClosed, false);
    if (!mData->mCrc->Open(fileName, kFILE_READ, false))
    {
        const char* cause = KFileErrorCause(errno);
        mData->ResetFile();
        return mData->FailCause(eFILE_NOT_OPENED, cause);
    }
    return mData->OpenCommon(password, checkIntegrity, nullptr, fileName);
}

bool KQox::ProjectOpen(const void* buffer, unsigned int size, const char* password, bool checkIntegrity)
{
    ProjectClose();
    mData->mError.ClearLastError();
    mData->mFileSize = 0;
    mData->SetFileName("");
    if (!buffer)
        return mData->Fail(eFILE_NOT_OPENED);
    if (size == 0)
        return mData->Fail(eFILE_CORRUPTED);
    mData->mBottom = std::make_unique<KChainedFile>(0, nullptr, KChainedFile::eClosed, false);
    // The memory file only reads the image.
    if (!mData->mBottom->Open(const_cast<void*>(buffer), size))
    {
        mData->ResetFile();
        return mData->Fail(eFILE_NOT_OPENED);
    }
    mData->mMemory = true;
    mData->mCrc = std::make_unique<KCrcFile>(0, mData->mBottom.get(), KChainedFile::eRead, false);
    return mData->OpenCommon(password, checkIntegrity, buffer);
}

bool KQox::ProjectCheckIntegrity()
{
    if (mData->mMode != KQoxPrivate::eReading)
        return mData->Fail(eFILE_NOT_OPENED);
    if (mData->mMapped.Spoilt())
        return mData->Fail(eFILE_CORRUPTED);
    // Text has no check value: every block of it is paired instead, the
    // stretches not read yet passed over once.
    if (mData->mForm == eASCII)
    {
        if (!mData->mReadStack.empty() && !mData->IndexAll(*mData->mReadStack.front()))
            return false;
        return !mData->mTextDamaged || mData->Fail(eFILE_CORRUPTED);
    }
    if (!(mData->mImage ? mData->CheckImage() : mData->mCrc->CheckCrc()))
        return mData->Fail(eFILE_CORRUPTED);
    return true;
}

bool KQox::ProjectClose()
{
    if (mData->mMode == KQoxPrivate::eWriting)
        return mData->CloseWrite();
    if (mData->mMode == KQoxPrivate::eReading)
    {
        unsigned long long size = mData->mFileSize;
        mData->ResetFile();
        mData->mFileSize = size;
    }
    return true;
}

bool KQox::ProjectIsOpen() const
{
    return mData->mMode != KQoxPrivate::eClosed;
}
bool KQox::ProjectIsWriting() const
{
    return mData->mMode == KQoxPrivate::eWriting;
}
unsigned long long KQox::ProjectGetFileSize() const
{
    return mData->mFileSize;
}
int KQox::ProjectGetFileVersion() const
{
    return mData->mVersion;
}
KQox::EForm KQox::ProjectGetForm() const
{
    return mData->mForm;
}
bool KQox::IsBinary() const
{
    return mData->mForm != eASCII;
}
bool KQox::IsEncrypted() const
{
    return mData->mForm == eENCRYPTED;
}
const char* KQox::GetFileName() const
{
    return mData->mFileName;
}
const char* KQox::GetFilePath() const
{
    return mData->mFilePath;
}

const char* KQox::GetFullFilePath(const char* relative)
{
    // One text per path, kept while the object lives (set nodes never move).
    KString full = MakeFullPath(mData->mFilePath, relative ? relative : "");
    return mData->mFullFilePaths.insert(std::string(static_cast<const char*>(full))).first->c_str();
}

KError& KQox::GetError()
{
    return mData->mError;
}
int KQox::GetLastErrorID() const
{
    return mData->mError.GetLastErrorID();
}
const char* KQox::GetLastErrorString() const
{
    return mData->mError.GetLastErrorString();
}

// ---------------------------------------------------------------------------
// Sections
//
// The section calls work on one list of the file: the list the innermost
// section being read (or written) was entered from; or, when the list being
// read is a field's block that holds sections of its own (a nested scene)
// and none of them is entered, that block. At the top level this is the
// top-level list.

namespace {

const ReadList& ListOf(const std::unique_ptr<ReadList>& entry)
{
    return *entry;
}
const WriteList& ListOf(const WriteList& entry)
{
    return entry;
}

template <typename Stack>
size_t SectionListOf(const Stack& stack, int& current)
{
    current = -1;
    if (stack.empty())
        return 0;
    size_t top = stack.size() - 1;
    if (!ListOf(stack[top]).mIsSection && !ListOf(stack[top]).mSections.empty())
        return top;
    for (size_t i = top; i > 0; --i)
    {
        if (ListOf(stack[i]).mIsSection)
        {
            current = ListOf(stack[i]).mSectionIndex;
            return i - 1;
        }
    }
    return 0;
}

// Version of the innermost section on the stack; fileVersion outside any.
template <typename Stack>
int SectionVersionOf(const Stack& stack, int fileVersion)
{
    for (size_t i = stack.size(); i-- > 0;)
        if (ListOf(stack[i]).mIsSection)
            return ListOf(stack[i]).mVersion;
    return fileVersion;
}

} // namespace

size_t KQoxPrivate::ReadSectionList(int& current)
{
    // A list outside any section holds sections of its own once it has one:
    // enough of it is indexed to tell.
    if (!mReadStack.empty())
    {
        ReadList& top = *mReadStack.back();
        while (!top.mIsSection && top.mSections.empty() && top.mOpen && IndexMore(top))
        {}
    }
    return SectionListOf(mReadStack, current);
}

size_t KQoxPrivate::WriteSectionList(int& current) const
{
    return SectionListOf(mWriteStack, current);
}

int KQoxPrivate::ReadVersion() const
{
    return SectionVersionOf(mReadStack, mVersion);
}

int KQoxPrivate::WriteVersion() const
{
    return SectionVersionOf(mWriteStack, mVersion);
}

int KQoxPrivate::SectionCount()
{
    int current;
    if (mMode == eWriting)
        return static_cast<int>(mWriteStack[WriteSectionList(current)].mSections.size());
    if (mMode != eReading)
        return 0;
    ReadList& list = *mReadStack[ReadSectionList(current)];
    IndexAll(list);
    return static_cast<int>(list.mSections.size());
}

bool KQoxPrivate::HasSection(int section)
{
    if (section < 0)
        return false;
    int current;
    if (mMode == eWriting)
        return section < static_cast<int>(mWriteStack[WriteSectionList(current)].mSections.size());
    if (mMode != eReading)
        return false;
    ReadList& list = *mReadStack[ReadSectionList(current)];
    while (section >= static_cast<int>(list.mSections.size()))
        if (!list.mOpen || !IndexMore(list))
            return false;
    return true;
}

bool KQoxPrivate::SectionAt(int section, const char*& name, int& version)
{
    if (!HasSection(section))
        return false;
    int current;
    if (mMode == eWriting)
    {
        const auto& entry = mWriteStack[WriteSectionList(current)].mSections[static_cast<size_t>(section)];
        name = entry.first.c_str();
        version = entry.second;
        return true;
    }
    const ReadList& list = *mReadStack[ReadSectionList(current)];
    const Record& record = list.mRecords[static_cast<size_t>(list.mSections[static_cast<size_t>(section)])];
    name = list.NameOf(record);
    version = record.mVersion;
    return true;
}

int KQox::ProjectGetSectionCount() const
{
    return mData->SectionCount();
}

const char* KQox::ProjectGetSectionName(int section) const
{
    const char* name = "";
    int version;
    mData->SectionAt(section, name, version);
    return name;
}

int KQox::ProjectGetSectionVersion(int section) const
{
    const char* name;
    int version = -1;
    mData->SectionAt(section, name, version);
    return version;
}

int KQox::ProjectFindSection(const char* name, int after) const
{
    if (!name)
        name = "";
    // The sections after the one found are not indexed for it.
    for (int i = after < 0 ? 0 : after + 1; mData->HasSection(i); ++i)
        if (std::strcmp(ProjectGetSectionName(i), name) == 0)
            return i;
    return -1;
}

bool KQox::ProjectOpenSection(int section)
{
    if (mData->mMode != KQoxPrivate::eReading)
        return mData->Fail(eFILE_NOT_OPENED);
    // Damage met while looking for it is reported as such.
    if (!mData->HasSection(section))
        return mData->mError.GetLastErrorID() == eFILE_CORRUPTED ? false : mData->Fail(eSECTION_ERROR);
    int current;
    size_t index = mData->ReadSectionList(current);
    ReadList& list = *mData->mReadStack[index];
    list.mCurrent = -1;
    int record = list.mSections[section];
    while (mData->mReadStack.size() > index + 1)
        mData->PopList();
    return mData->EnterBlock(record, true, section);
}

bool KQox::ProjectReadSectionBegin(const char* name)
{
    if (mData->mMode != KQoxPrivate::eReading)
        return mData->Fail(eFILE_NOT_OPENED);
    ReadList& list = *mData->Top();
    const int record = mData->Lookup(list, kSection, name);
    if (record < 0)
        return false;
    // The sections are listed in file order.
    auto at = std::lower_bound(list.mSections.begin(), list.mSections.end(), record);
    int index = at != list.mSections.end() && *at == record ? static_cast<int>(at - list.mSections.begin()) : -1;
    return mData->EnterBlock(record, true, index);
}

bool KQox::ProjectReadSectionEnd()
{
    if (mData->mMode != KQoxPrivate::eReading)
        return mData->Fail(eFILE_NOT_OPENED);
    if (mData->mReadStack.size() < 2 || !mData->Top()->mIsSection)
        return mData->Fail(eSECTION_ERROR);
    int owner = mData->Top()->mOwner;
    mData->PopList();
    KQoxPrivate::PassRecord(*mData->Top(), owner);
    return true;
}

int KQox::ProjectGetCurrentSection() const
{
    int current = -1;
    if (mData->mMode == KQoxPrivate::eReading)
        mData->ReadSectionList(current);
    else if (mData->mMode == KQoxPrivate::eWriting)
        mData->WriteSectionList(current);
    return current;
}

int KQox::ProjectGetCurrentSectionVersion() const
{
    if (mData->mMode == KQoxPrivate::eReading)
        return mData->ReadVersion();
    if (mData->mMode == KQoxPrivate::eWriting)
        return mData->WriteVersion();
    return 0;
}
