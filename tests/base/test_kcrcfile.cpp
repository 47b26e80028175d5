#include "base/kcrcfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <string>
#include <vector>

#include "test_util.h"

using qoxtest::NewBottom;

namespace {

// Bit-by-bit CRC-32/BZIP2, independent of the layer's table.
unsigned int ReferenceCrc(const std::string& data)
{
    unsigned int r = 0xFFFFFFFFu;
    for (unsigned char c : data)
    {
        r ^= static_cast<unsigned int>(c) << 24;
        for (int i = 0; i < 8; ++i)
            r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : (r << 1);
    }
    return ~r;
}

std::string BigEndian(unsigned int v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>(v >> (24 - 8 * i));
    return s;
}

class CrcFileTest : public qoxtest::FileTest
{
protected:
    // Writes data through a CRC layer over a disk bottom layer.
    bool WriteThroughCrc(const std::string& data)
    {
        KCrcFile crc(0, NewBottom(), KChainedFile::eClosed, true);
        if (!crc.Open(mName.c_str(), kFILE_READ_WRITE, false))
            return false;
        std::string copy = data;
        if (!copy.empty() && crc.Write(&copy[0], static_cast<unsigned int>(copy.size())) != copy.size())
            return false;
        return crc.Close();
    }
    bool Check()
    {
        KCrcFile crc(0, NewBottom(), KChainedFile::eClosed, true);
        const bool ok = crc.Open(mName.c_str(), kFILE_READ, false) && crc.CheckCrc();
        crc.Close();
        return ok;
    }
};

} // namespace

TEST_F(CrcFileTest, CheckValueOf123456789)
{
    EXPECT_EQ(0xFC891918u, ReferenceCrc("123456789"));
    {
        KCrcFile crc(0, NewBottom(), KChainedFile::eClosed, true);
        ASSERT_TRUE(crc.Open(mName.c_str(), kFILE_READ_WRITE, false));
        char digits[] = "123456789";
        ASSERT_EQ(9u, crc.Write(digits, 9));
        EXPECT_FALSE(crc.CheckCrc()); // not in read mode
        bool ok = false;
        EXPECT_EQ(~0xFC891918u, crc.ReadCrc(&ok));
        EXPECT_TRUE(ok);
        EXPECT_EQ(9, crc.GetPosition()); // restored
        EXPECT_TRUE(crc.Close());
    }
    EXPECT_EQ(std::string("123456789\xFC\x89\x19\x18", 13), Slurp());

    KCrcFile crc(0, NewBottom(), KChainedFile::eClosed, true);
    ASSERT_TRUE(crc.Open(mName.c_str(), "rb"));
    crc.SetPosition(5);
    bool ok = false;
    EXPECT_EQ(0xC704DD7Bu, crc.ReadCrc(&ok)); // the residue over data and trailer
    EXPECT_TRUE(ok);
    EXPECT_EQ(5, crc.GetPosition());
    EXPECT_TRUE(crc.CheckCrc());
    EXPECT_TRUE(crc.Close());
    const std::string good = Slurp(); // closing a read layer appends nothing
    EXPECT_EQ(13u, good.size());
    for (size_t i = 0; i < good.size(); ++i)
    { // any changed byte is detected
        std::string bad = good;
        bad[i] = static_cast<char>(bad[i] ^ 0x01);
        Spit(bad);
        EXPECT_FALSE(Check()) << "byte " << i;
    }
}

TEST_F(CrcFileTest, TruncatedExtendedAndShortFiles)
{
    std::string data(200000, '\0'); // across the read chunks
    unsigned int seed = 12345;
    for (char& c : data)
        c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    ASSERT_TRUE(WriteThroughCrc(data));
    const std::string good = Slurp();
    EXPECT_EQ(data + BigEndian(ReferenceCrc(data)), good);
    EXPECT_TRUE(Check());
    for (const std::string& bad : {good.substr(0, good.size() - 2), data, good + "x"})
    {
        Spit(bad);
        EXPECT_FALSE(Check()) << bad.size();
    }
    // Files shorter than the trailer: no check value, no error.
    for (int size = 0; size < 4; ++size)
    {
        Spit(std::string(static_cast<size_t>(size), '\0'));
        KCrcFile crc(0, NewBottom(), KChainedFile::eClosed, true);
        ASSERT_TRUE(crc.Open(mName.c_str(), kFILE_READ, false));
        bool ok = true;
        crc.ReadCrc(&ok);
        EXPECT_FALSE(ok || crc.CheckCrc()) << size;
        EXPECT_EQ(0, crc.GetError());
    }
    // Empty and short data get their trailer.
    ASSERT_TRUE(WriteThroughCrc(""));
    EXPECT_EQ(std::string(4, '\0'), Slurp()); // complement of 0xFFFFFFFF
    EXPECT_TRUE(Check());
    ASSERT_TRUE(WriteThroughCrc("ab"));
    EXPECT_EQ("ab" + BigEndian(ReferenceCrc("ab")), Slurp());
}

TEST_F(CrcFileTest, TrailerGoesAfterTheDataWhereverThePositionIs)
{
    KCrcFile crc(0, NewBottom(), KChainedFile::eClosed, true);
    ASSERT_TRUE(crc.Open(mName.c_str(), kFILE_READ_WRITE, false));
    char data[] = "abcdefgh", patch[] = "XY";
    ASSERT_EQ(8u, crc.Write(data, 8));
    crc.SetPosition(2);
    ASSERT_EQ(2u, crc.Write(patch, 2));
    EXPECT_TRUE(crc.Close());
    EXPECT_EQ("abXYefgh" + BigEndian(ReferenceCrc("abXYefgh")), Slurp());
}

TEST_F(CrcFileTest, WriteOnlyFileAndMemoryImage)
{
    {
        KCrcFile crc(0, NewBottom(), KChainedFile::eClosed, true);
        ASSERT_TRUE(crc.Open(mName.c_str(), "wb"));
        char data[] = "data";
        ASSERT_EQ(4u, crc.Write(data, 4));
        EXPECT_FALSE(crc.Close()); // cannot read back: no trailer, failure reported
    }
    EXPECT_EQ("data", Slurp());

    std::string image = "payload" + BigEndian(ReferenceCrc("payload"));
    KCrcFile crc(0, NewBottom(), KChainedFile::eClosed, true);
    ASSERT_TRUE(crc.Open(&image[0], static_cast<unsigned int>(image.size())));
    EXPECT_TRUE(crc.CheckCrc());
    image[3] = 'X';
    EXPECT_FALSE(crc.CheckCrc());
    EXPECT_TRUE(crc.Close());     // read mode: nothing appended
    EXPECT_FALSE(crc.CheckCrc()); // closed
}

TEST(CrcFileCloseTest, TrailerThatDoesNotFitIsAFailedClose)
{
    // A bottom layer that opens the caller's fixed buffer whatever the name:
    // the data fits, the 4 check bytes after it do not.
    struct FixedBuffer : KChainedFile
    {
        FixedBuffer(char* buffer, unsigned int size)
            : KChainedFile(0, nullptr, eClosed, false)
            , mBuffer(buffer)
            , mSize(size)
        {}
        bool Open(const char*, kFileMode, bool) override { return KChainedFile::Open(mBuffer, mSize); }
        char* mBuffer;
        unsigned int mSize;
    };
    char buffer[6] = {0};
    KCrcFile crc(0, new FixedBuffer(buffer, sizeof buffer), KChainedFile::eClosed, true);
    ASSERT_TRUE(crc.Open("in-memory", kFILE_READ_WRITE, false));
    ASSERT_EQ(KChainedFile::eWrite, crc.GetMode());
    char data[] = "abcdef";
    ASSERT_EQ(6u, crc.Write(data, 6));
    bool ok = false;
    crc.ReadCrc(&ok);
    ASSERT_TRUE(ok); // the data reads back: only the trailer write can fail
    EXPECT_FALSE(crc.Close());
    EXPECT_EQ(KChainedFile::eClosed, crc.GetMode());
    EXPECT_EQ("abcdef", std::string(buffer, 6)); // nothing written over the data
}

// ---- the register arithmetic: table path and folding path ----

namespace {

unsigned int BitwiseRegister(unsigned int r, const unsigned char* p, size_t n)
{
    for (size_t k = 0; k < n; ++k)
    {
        r ^= static_cast<unsigned int>(p[k]) << 24;
        for (int i = 0; i < 8; ++i)
            r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : (r << 1);
    }
    return r;
}

std::vector<unsigned char> RandomBytes(size_t n, unsigned int seed)
{
    std::vector<unsigned char> bytes(n);
    unsigned long long s = seed * 0x9E3779B97F4A7C15ull + 1;
    for (auto& b : bytes)
    {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        b = static_cast<unsigned char>(s >> 56);
    }
    return bytes;
}

} // namespace

TEST(CrcRegister, CheckValueOfTheNineDigitsOnBothPaths)
{
    // CRC-32/BZIP2 of "123456789" is 0xFC891918, the trailer FC 89 19 18.
    const std::string digits = "123456789";
    const unsigned char* p = reinterpret_cast<const unsigned char*>(digits.data());
    EXPECT_EQ(~kcrc::UpdateTable(0xFFFFFFFFu, p, digits.size()), 0xFC891918u);
    EXPECT_EQ(~kcrc::UpdateFolding(0xFFFFFFFFu, p, digits.size()), 0xFC891918u);
    EXPECT_EQ(~kcrc::Update(0xFFFFFFFFu, p, digits.size()), 0xFC891918u);
    // The same nine digits repeated past the folding threshold.
    std::string many;
    for (int i = 0; i < 100; ++i)
        many += digits;
    const unsigned char* q = reinterpret_cast<const unsigned char*>(many.data());
    unsigned int expected = BitwiseRegister(0xFFFFFFFFu, q, many.size());
    EXPECT_EQ(kcrc::UpdateTable(0xFFFFFFFFu, q, many.size()), expected);
    EXPECT_EQ(kcrc::UpdateFolding(0xFFFFFFFFu, q, many.size()), expected);
}

TEST(CrcRegister, PathsAgreeOnRandomLengthsAndAlignments)
{
    if (!kcrc::HasFolding())
        GTEST_LOG_(INFO) << "no carry-less multiplication here: both paths are the tables";
    std::vector<unsigned char> data = RandomBytes(70000, 7);
    const size_t lengths[] = {0, 1, 15, 16, 17, 63, 64, 65, 127, 128, 129, 191, 255, 256, 1000, 4097, 65536, 69000};
    unsigned int seed = 1;
    for (size_t length : lengths)
        for (size_t offset = 0; offset < 17; offset += 3)
        {
            const unsigned char* p = data.data() + offset;
            unsigned int start = seed * 0x2545F491u;
            ++seed;
            unsigned int expected =
                length <= 4097 ? BitwiseRegister(start, p, length) : kcrc::UpdateTable(start, p, length);
            EXPECT_EQ(kcrc::UpdateTable(start, p, length), expected) << length << " at " << offset;
            EXPECT_EQ(kcrc::UpdateFolding(start, p, length), expected) << length << " at " << offset;
            EXPECT_EQ(kcrc::Update(start, p, length), expected) << length << " at " << offset;
        }
    // Split anywhere, the register carries on the same.
    for (size_t cut : {size_t(0), size_t(1), size_t(77), size_t(4096), size_t(33333)})
    {
        unsigned int whole = kcrc::UpdateTable(0xFFFFFFFFu, data.data(), data.size());
        unsigned int parts = kcrc::UpdateFolding(kcrc::UpdateFolding(0xFFFFFFFFu, data.data(), cut), data.data() + cut,
                                                 data.size() - cut);
        EXPECT_EQ(parts, whole) << cut;
    }
}

TEST(CrcRegister, AllOnesAndZerosMatchTheBitwiseRegister)
{
    for (unsigned char fill : {0x00, 0xFF, 0x80, 0x01})
    {
        std::vector<unsigned char> data(1024 + 5, fill);
        unsigned int expected = BitwiseRegister(0xFFFFFFFFu, data.data(), data.size());
        EXPECT_EQ(kcrc::UpdateFolding(0xFFFFFFFFu, data.data(), data.size()), expected) << int(fill);
        EXPECT_EQ(kcrc::UpdateFolding(0, data.data(), data.size()), BitwiseRegister(0, data.data(), data.size()));
    }
}

// The register follows the writes: appended bytes, bytes written over
// earlier ones (as a writer patches headers), straddling writes, then gaps,
// truncation and formatted text, which make Close read the file back. The
// trailer is always the check value of the bytes as they end up.
TEST_F(CrcFileTest, CheckValueFollowsPatchesGapsAndTruncation)
{
    std::vector<unsigned char> random = RandomBytes(300000, 3);
    std::string data(random.begin(), random.end());
    enum Twist
    {
        ePatches,
        eGap,
        eTruncate,
        eFormat
    };
    for (Twist twist : {ePatches, eGap, eTruncate, eFormat})
    {
        SCOPED_TRACE(static_cast<int>(twist));
        std::string expected = data;
        {
            KCrcFile crc(0, NewBottom(), KChainedFile::eClosed, true);
            ASSERT_TRUE(crc.Open(mName.c_str(), kFILE_READ_WRITE, false));
            std::string copy = data;
            // Appended in portions of varied sizes.
            for (size_t at = 0; at < copy.size();)
            {
                unsigned int n = static_cast<unsigned int>(std::min<size_t>(copy.size() - at, 1 + (at * 7919) % 70000));
                ASSERT_EQ(crc.Write(&copy[at], n), n);
                at += n;
            }
            // Headers patched: at the start, in the middle, at the very end.
            const long offsets[] = {0, 5, 123457, 299990};
            for (long offset : offsets)
            {
                char patch[] = "PATCH!";
                crc.SetPosition(offset);
                ASSERT_EQ(crc.Write(patch, 6), 6u);
                expected.replace(static_cast<size_t>(offset), 6, patch, 6);
            }
            // Over the end and beyond it.
            char tail[] = "0123456789";
            crc.SetPosition(static_cast<long>(expected.size()) - 4);
            ASSERT_EQ(crc.Write(tail, 10), 10u);
            expected.replace(expected.size() - 4, 4, tail, 10);
            crc.Seek(kSEEK_END, 0);
            if (twist == eGap)
            {
                // Past the end: the bytes between read as zeros.
                crc.SetPosition(static_cast<long>(expected.size()) + 3);
                ASSERT_EQ(crc.Write(tail, 2), 2u);
                expected += std::string(3, '\0') + "01";
            }
            if (twist == eTruncate)
            {
                ASSERT_EQ(crc.Truncate(1000), 0);
                expected.resize(1000);
            }
            if (twist == eFormat)
            {
                crc.SetPosition(10);
                crc.Format("%d-%s", 42, "x");
                expected.replace(10, 4, "42-x");
            }
            ASSERT_TRUE(crc.Close());
        }
        EXPECT_EQ(Slurp(), expected + BigEndian(ReferenceCrc(expected)));
        EXPECT_TRUE(Check());
    }
}

// The wide folding (where the processor has it), the 128-bit folding and the
// tables give one register for every short length, any start register and
// alignment, and for large buffers.
TEST(CrcRegister, WideFoldingAgreesOnEveryLength)
{
    if (!kcrc::HasWideFolding())
        GTEST_LOG_(INFO) << "no 512-bit carry-less multiplication here: the wide path is the narrower one";
    std::vector<unsigned char> data = RandomBytes((1 << 20) + 4096, 11);
    unsigned int seed = 5;
    for (size_t length = 0; length <= 300; ++length)
        for (size_t offset : {size_t(0), size_t(1), size_t(7), size_t(32), size_t(63)})
        {
            const unsigned char* p = data.data() + offset;
            const unsigned int start = (seed++) * 0x9E3779B9u;
            const unsigned int expected = BitwiseRegister(start, p, length);
            EXPECT_EQ(kcrc::UpdateTable(start, p, length), expected) << length << " at " << offset;
            EXPECT_EQ(kcrc::UpdateFolding(start, p, length), expected) << length << " at " << offset;
            EXPECT_EQ(kcrc::UpdateWideFolding(start, p, length), expected) << length << " at " << offset;
            EXPECT_EQ(kcrc::Update(start, p, length), expected) << length << " at " << offset;
        }
    for (size_t length : {size_t(1023), size_t(1024), size_t(4096 + 77), size_t(65536 + 255), size_t(1 << 20),
                          size_t((1 << 20) + 4095)})
        for (size_t offset : {size_t(0), size_t(1)})
        {
            const unsigned char* p = data.data() + offset;
            const unsigned int start = (seed++) * 0x9E3779B9u;
            const unsigned int expected = kcrc::UpdateTable(start, p, length);
            EXPECT_EQ(kcrc::UpdateFolding(start, p, length), expected) << length << " at " << offset;
            EXPECT_EQ(kcrc::UpdateWideFolding(start, p, length), expected) << length << " at " << offset;
            EXPECT_EQ(kcrc::Update(start, p, length), expected) << length << " at " << offset;
        }
    std::vector<unsigned char> ones(5000, 0xFF);
    EXPECT_EQ(kcrc::UpdateWideFolding(0xFFFFFFFFu, ones.data(), ones.size()),
              BitwiseRegister(0xFFFFFFFFu, ones.data(), ones.size()));
}

namespace {

// One read through the layer: n bytes at position; the bytes read back.
std::string ReadThrough(KCrcFile& crc, long position, unsigned int n)
{
    std::string bytes(n, '\0');
    crc.SetPosition(position);
    bytes.resize(n == 0 ? 0 : crc.Read(&bytes[0], n));
    return bytes;
}

} // namespace

// Reads followed while reading: in any order, overlapping, cut by the end,
// small and large, with stretches never read; the check then agrees with a
// check that reads the whole file, and the bytes read are the file's.
TEST_F(CrcFileTest, FollowedReadsGiveTheSameVerdict)
{
    std::vector<unsigned char> random = RandomBytes(1100000, 21);
    const std::string data(random.begin(), random.end());
    ASSERT_TRUE(WriteThroughCrc(data));
    const std::string whole = Slurp();
    ASSERT_EQ(whole.size(), data.size() + 4);

    struct Stretch
    {
        long mPosition;
        unsigned int mLength;
    };
    const std::vector<std::vector<Stretch>> patterns = {
        {{0, 1100004}},                                                  // everything in one read
        {{0, 300000}, {200000, 400000}, {800000, 300004}},               // overlaps and a gap
        {{900000, 200004}, {100000, 20000}, {0, 100000}, {500, 600000}}, // backwards, inside others
        {{17, 16384}, {16401, 16383}, {40000, 100}, {1099000, 9000}},    // small reads and one cut by the end
        {{262144, 262144}, {0, 262144}, {524288, 262144}},               // joined on both sides
        {},                                                              // nothing followed
    };
    // The file as it is, then damaged inside a followed stretch, inside a
    // stretch never read, in the check bytes, and cut short.
    const long damage[] = {-1, 250000, 700000, 1100002, -2};
    for (long at : damage)
    {
        std::string bytes = whole;
        if (at >= 0)
            bytes[static_cast<size_t>(at)] = static_cast<char>(bytes[static_cast<size_t>(at)] ^ 0x10);
        if (at == -2)
            bytes.resize(bytes.size() - 3);
        Spit(bytes);
        const bool intact = at == -1;
        for (size_t i = 0; i < patterns.size(); ++i)
        {
            SCOPED_TRACE(std::to_string(at) + " pattern " + std::to_string(i));
            KCrcFile crc(0, NewBottom(), KChainedFile::eClosed, true);
            ASSERT_TRUE(crc.Open(mName.c_str(), kFILE_READ, false));
            crc.FollowReads(true);
            for (const Stretch& s : patterns[i])
            {
                const std::string got = ReadThrough(crc, s.mPosition, s.mLength);
                EXPECT_EQ(got, bytes.substr(static_cast<size_t>(s.mPosition), s.mLength));
            }
            crc.SetPosition(12345);
            EXPECT_EQ(crc.CheckCrc(), intact);
            EXPECT_EQ(crc.GetPosition(), 12345);
            // Asked again, and with following turned off, the same.
            EXPECT_EQ(crc.CheckCrc(), intact);
            crc.FollowReads(false);
            EXPECT_EQ(crc.CheckCrc(), intact);
            crc.Close();
        }
    }
}

// Following is for reading only: a layer writing ignores it.
TEST_F(CrcFileTest, FollowingIsForReadingOnly)
{
    KCrcFile crc(0, NewBottom(), KChainedFile::eClosed, true);
    ASSERT_TRUE(crc.Open(mName.c_str(), kFILE_READ_WRITE, false));
    crc.FollowReads(true);
    std::string data(100000, 'q');
    ASSERT_EQ(crc.Write(&data[0], 100000u), 100000u);
    crc.SetPosition(0);
    EXPECT_EQ(ReadThrough(crc, 0, 50000), data.substr(0, 50000));
    EXPECT_TRUE(crc.Close());
    EXPECT_TRUE(Check());
}

// Positioned reads are followed as reads from the position are: the check
// after them reads only the stretches passed over and gives the same verdict,
// with the bytes between small reads (heads a few kilobytes apart) never
// followed; the position is left where it was.
TEST_F(CrcFileTest, PositionedReadsAreFollowed)
{
    std::vector<unsigned char> random = RandomBytes(600000, 5);
    const std::string data(random.begin(), random.end());
    ASSERT_TRUE(WriteThroughCrc(data));
    const std::string whole = Slurp();
    const long damage[] = {-1, 1000, 4100, 300000, 599999};
    for (long at : damage)
    {
        std::string bytes = whole;
        if (at >= 0)
            bytes[static_cast<size_t>(at)] = static_cast<char>(bytes[static_cast<size_t>(at)] ^ 0x01);
        Spit(bytes);
        for (int pattern = 0; pattern < 3; ++pattern)
        {
            SCOPED_TRACE(std::to_string(at) + " pattern " + std::to_string(pattern));
            KCrcFile crc(0, NewBottom(), KChainedFile::eClosed, true);
            ASSERT_TRUE(crc.Open(mName.c_str(), kFILE_READ, false));
            crc.FollowReads(true);
            crc.SetPosition(77);
            // Small reads 4 KB apart, then large ones joined end to end (or not).
            for (long head = 0; head < 600000; head += 4096)
            {
                char few[28];
                const unsigned int n = crc.ReadAt(head, few, sizeof(few));
                EXPECT_EQ(std::string(few, n), bytes.substr(static_cast<size_t>(head), sizeof(few)));
            }
            const unsigned int window = 256 * 1024;
            std::string big(window, '\0');
            for (long start = pattern == 2 ? 1000 : 0; start < 600004; start += pattern == 1 ? window + 5000 : window)
            {
                const unsigned int n = crc.ReadAt(start, &big[0], window);
                EXPECT_EQ(big.substr(0, n), bytes.substr(static_cast<size_t>(start), window));
            }
            EXPECT_EQ(crc.GetPosition(), 77);
            EXPECT_EQ(crc.CheckCrc(), at == -1);
            EXPECT_EQ(crc.GetPosition(), 77);
            crc.Close();
        }
    }
}

namespace {

// A bottom layer counting the bytes read through it.
class CountingBottom : public KChainedFile
{
public:
    CountingBottom()
        : KChainedFile(0, nullptr, eClosed, false)
    {}
    unsigned int Read(void* buffer, unsigned int n) override
    {
        const unsigned int got = KChainedFile::Read(buffer, n);
        mBytes += got;
        return got;
    }
    unsigned int ReadAt(long position, void* buffer, unsigned int n) override
    {
        const unsigned int got = KChainedFile::ReadAt(position, buffer, n);
        mBytes += got;
        return got;
    }
    unsigned long long mBytes = 0;
};

} // namespace

// Windows read end to end after small reads between them: the check reads
// nothing more; with stretches passed over, it reads exactly those.
TEST_F(CrcFileTest, CheckReadsOnlyWhatWasPassedOver)
{
    std::vector<unsigned char> random = RandomBytes(500000, 9);
    ASSERT_TRUE(WriteThroughCrc(std::string(random.begin(), random.end())));
    const unsigned long long size = 500004;
    for (unsigned int gap : {0u, 3000u})
    {
        CountingBottom* bottom = new CountingBottom;
        KCrcFile crc(0, bottom, KChainedFile::eClosed, true);
        ASSERT_TRUE(crc.Open(mName.c_str(), kFILE_READ, false));
        crc.FollowReads(true);
        char few[30];
        for (long head = 0; head < 500000; head += 5000)
            ASSERT_EQ(crc.ReadAt(head, few, sizeof(few)), sizeof(few));
        const unsigned int window = 100000;
        std::string big(window, '\0');
        unsigned long long passed = 0;
        for (unsigned long long start = 0; start < size; start += window + gap)
        {
            crc.ReadAt(static_cast<long>(start), &big[0], window);
            passed += start + window + gap <= size ? gap : 0;
        }
        const unsigned long long before = bottom->mBytes;
        EXPECT_TRUE(crc.CheckCrc());
        EXPECT_EQ(bottom->mBytes - before, passed) << gap;
        crc.Close();
    }
}

// A FIFO tells no position and cannot be read back: the check bytes follow
// the data as it passed, and a move back (which a stream cannot make) fails
// the close instead of sending misplaced bytes.
TEST_F(CrcFileTest, AFifoGetsItsCheckBytesAsTheDataPasses)
{
    struct Case
    {
        const char* mName;
        std::vector<std::string> mWrites;
        long mMoveTo; // -1: no move; else SetPosition before the last write
        bool mWhole;
    };
    const std::string big(300000, 'q'); // more than a pipe holds
    const Case cases[] = {
        {"nothing", {}, -1, true},
        {"nine digits", {"123456789"}, -1, true},
        {"several writes", {"1234", "", "56789", big}, -1, true},
        {"a move to where it is", {"1234", "56789"}, 4, true},
        {"a move back", {"1234", "56789"}, 0, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.mName);
        const std::string fifo = mDir.File(std::string("pipe ") + c.mName);
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        // The reader opens once the layer has (a FIFO opens for reading only
        // beside a writer), and the layer writes once the reader is there.
        std::string received;
        std::atomic<bool> opened{false};
        std::thread reader([&] {
            const int fd = open(fifo.c_str(), O_RDONLY);
            opened = true;
            char buffer[4096];
            for (ssize_t n; fd >= 0 && (n = read(fd, buffer, sizeof(buffer))) > 0;)
                received.append(buffer, static_cast<size_t>(n));
            if (fd >= 0)
                close(fd);
        });
        KCrcFile crc(0, NewBottom(), KChainedFile::eClosed, true);
        const bool open = crc.Open(fifo.c_str(), kFILE_READ_WRITE, false);
        while (open && !opened)
            std::this_thread::yield();
        if (!open)
            reader.detach(); // the test ends here: nothing will ever open it
        ASSERT_TRUE(open);
        std::string data;
        for (size_t i = 0; i < c.mWrites.size(); ++i)
        {
            if (c.mMoveTo >= 0 && i + 1 == c.mWrites.size())
                crc.SetPosition(c.mMoveTo);
            std::string copy = c.mWrites[i];
            const unsigned int written = copy.empty() ? 0 : crc.Write(&copy[0], static_cast<unsigned int>(copy.size()));
            EXPECT_EQ(written, copy.size());
            data += copy;
            EXPECT_EQ(crc.GetPosition(), static_cast<long>(data.size()));
        }
        EXPECT_EQ(crc.Close(), c.mWhole);
        reader.join();
        EXPECT_TRUE(received == (c.mWhole ? data + BigEndian(ReferenceCrc(data)) : data)) << received.size();
    }
}
