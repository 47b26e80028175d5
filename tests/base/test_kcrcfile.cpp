#include "base/kcrcfile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// Bit-by-bit CRC-32/BZIP2, independent of the layer's table.
unsigned int ReferenceCrc(const std::string& data)
{
    unsigned int r = 0xFFFFFFFFu;
    for (unsigned char c : data) {
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

class CrcFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qox_crc_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        mDir = pattern;
        mName = mDir + "/data.bin";
    }
    void TearDown() override
    {
        std::string command = "rm -rf '" + mDir + "'";
        ASSERT_EQ(0, std::system(command.c_str()));
    }

    std::string Slurp() const
    {
        std::string data;
        FILE* f = std::fopen(mName.c_str(), "rb");
        if (!f)
            return data;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0)
            data.append(buffer, n);
        std::fclose(f);
        return data;
    }
    void Spit(const std::string& data) const
    {
        FILE* f = std::fopen(mName.c_str(), "wb");
        ASSERT_NE(nullptr, f);
        ASSERT_EQ(data.size(), std::fwrite(data.data(), 1, data.size(), f));
        std::fclose(f);
    }

    // Writes data through a CRC layer over a disk bottom layer.
    bool WriteThroughCrc(const std::string& data)
    {
        KCrcFile crc(0, new KChainedFile(0, nullptr, KChainedFile::eClosed, false), KChainedFile::eClosed, true);
        if (!crc.Open(mName.c_str(), kFILE_READ_WRITE, false))
            return false;
        std::string copy = data;
        if (!copy.empty() && crc.Write(&copy[0], static_cast<unsigned int>(copy.size())) != copy.size())
            return false;
        return crc.Close();
    }

    bool Check()
    {
        KCrcFile crc(0, new KChainedFile(0, nullptr, KChainedFile::eClosed, false), KChainedFile::eClosed, true);
        if (!crc.Open(mName.c_str(), kFILE_READ, false))
            return false;
        bool ok = crc.CheckCrc();
        crc.Close();
        return ok;
    }

    std::string mDir;
    std::string mName;
};

} // namespace

TEST_F(CrcFileTest, CheckValueOf123456789)
{
    EXPECT_EQ(0xFC891918u, ReferenceCrc("123456789"));

    {
        KCrcFile crc(0, new KChainedFile(0, nullptr, KChainedFile::eClosed, false), KChainedFile::eClosed, true);
        ASSERT_TRUE(crc.Open(mName.c_str(), kFILE_READ_WRITE, false));
        char digits[] = "123456789";
        ASSERT_EQ(9u, crc.Write(digits, 9));
        EXPECT_FALSE(crc.CheckCrc());            // not in read mode
        bool ok = false;
        EXPECT_EQ(~0xFC891918u, crc.ReadCrc(&ok));
        EXPECT_TRUE(ok);
        EXPECT_EQ(9, crc.GetPosition());         // restored
        EXPECT_TRUE(crc.Close());
    }
    const std::string file = Slurp();
    ASSERT_EQ(13u, file.size());
    EXPECT_EQ(std::string("123456789\xFC\x89\x19\x18", 13), file);

    KCrcFile crc(0, new KChainedFile(0, nullptr, KChainedFile::eClosed, false), KChainedFile::eClosed, true);
    ASSERT_TRUE(crc.Open(mName.c_str(), "rb"));
    crc.SetPosition(5);
    bool ok = false;
    EXPECT_EQ(0xC704DD7Bu, crc.ReadCrc(&ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(5, crc.GetPosition());
    EXPECT_TRUE(crc.CheckCrc());
    EXPECT_TRUE(crc.Close());
    EXPECT_EQ(13u, Slurp().size());              // closing a read layer appends nothing
}

TEST_F(CrcFileTest, AnyChangedByteIsDetected)
{
    ASSERT_TRUE(WriteThroughCrc("123456789"));
    const std::string good = Slurp();
    for (size_t i = 0; i < good.size(); ++i) {
        std::string bad = good;
        bad[i] = static_cast<char>(bad[i] ^ 0x01);
        Spit(bad);
        EXPECT_FALSE(Check()) << "byte " << i;
    }
    Spit(good);
    EXPECT_TRUE(Check());
}

TEST_F(CrcFileTest, TruncatedOrExtendedFilesFail)
{
    std::string data;
    for (int i = 0; i < 1000; ++i)
        data += static_cast<char>(i * 7);
    ASSERT_TRUE(WriteThroughCrc(data));
    const std::string good = Slurp();
    ASSERT_EQ(1004u, good.size());
    EXPECT_EQ(BigEndian(ReferenceCrc(data)), good.substr(1000));

    Spit(good.substr(0, 1002));
    EXPECT_FALSE(Check());
    Spit(good.substr(0, 1000));
    EXPECT_FALSE(Check());
    Spit(good + "x");
    EXPECT_FALSE(Check());
}

TEST_F(CrcFileTest, FilesShorterThanTheTrailer)
{
    for (int size = 0; size < 4; ++size) {
        Spit(std::string(static_cast<size_t>(size), '\0'));
        KCrcFile crc(0, new KChainedFile(0, nullptr, KChainedFile::eClosed, false), KChainedFile::eClosed, true);
        ASSERT_TRUE(crc.Open(mName.c_str(), kFILE_READ, false));
        bool ok = true;
        crc.ReadCrc(&ok);
        EXPECT_FALSE(ok) << size;
        EXPECT_FALSE(crc.CheckCrc()) << size;
        EXPECT_EQ(0, crc.GetError());
        EXPECT_TRUE(crc.Close());
    }
}

TEST_F(CrcFileTest, ShortAndEmptyDataGetTheirTrailer)
{
    ASSERT_TRUE(WriteThroughCrc(""));
    EXPECT_EQ(std::string(4, '\0'), Slurp());    // complement of 0xFFFFFFFF
    EXPECT_TRUE(Check());

    ASSERT_TRUE(WriteThroughCrc("ab"));
    EXPECT_EQ("ab" + BigEndian(ReferenceCrc("ab")), Slurp());
    EXPECT_TRUE(Check());
}

TEST_F(CrcFileTest, LargeFileAcrossReadChunks)
{
    std::string data(200000, '\0');
    unsigned int seed = 12345;
    for (char& c : data) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    ASSERT_TRUE(WriteThroughCrc(data));
    const std::string file = Slurp();
    ASSERT_EQ(data.size() + 4, file.size());
    EXPECT_EQ(BigEndian(ReferenceCrc(data)), file.substr(data.size()));
    EXPECT_TRUE(Check());
}

TEST_F(CrcFileTest, TrailerGoesAfterTheDataWhereverThePositionIs)
{
    KCrcFile crc(0, new KChainedFile(0, nullptr, KChainedFile::eClosed, false), KChainedFile::eClosed, true);
    ASSERT_TRUE(crc.Open(mName.c_str(), kFILE_READ_WRITE, false));
    char data[] = "abcdefgh";
    ASSERT_EQ(8u, crc.Write(data, 8));
    crc.SetPosition(2);
    char patch[] = "XY";
    ASSERT_EQ(2u, crc.Write(patch, 2));
    EXPECT_TRUE(crc.Close());
    EXPECT_EQ("abXYefgh" + BigEndian(ReferenceCrc("abXYefgh")), Slurp());
    EXPECT_TRUE(Check());
}

TEST_F(CrcFileTest, WriteOnlyFileCannotBeCheckSummed)
{
    KCrcFile crc(0, new KChainedFile(0, nullptr, KChainedFile::eClosed, false), KChainedFile::eClosed, true);
    ASSERT_TRUE(crc.Open(mName.c_str(), "wb"));
    EXPECT_EQ(KChainedFile::eWrite, crc.GetMode());
    char data[] = "data";
    ASSERT_EQ(4u, crc.Write(data, 4));
    EXPECT_FALSE(crc.Close());                   // cannot read back: no trailer, failure reported
    EXPECT_EQ(KChainedFile::eClosed, crc.GetMode());
    EXPECT_EQ("data", Slurp());
}

TEST_F(CrcFileTest, CheckOverAMemoryImage)
{
    std::string image = "payload" + BigEndian(ReferenceCrc("payload"));
    KCrcFile crc(0, new KChainedFile(0, nullptr, KChainedFile::eClosed, false), KChainedFile::eClosed, true);
    ASSERT_TRUE(crc.Open(&image[0], static_cast<unsigned int>(image.size())));
    EXPECT_EQ(KChainedFile::eRead, crc.GetMode());
    EXPECT_TRUE(crc.CheckCrc());
    image[3] = 'X';
    EXPECT_FALSE(crc.CheckCrc());
    EXPECT_TRUE(crc.Close());                    // read mode: nothing appended
    EXPECT_FALSE(crc.CheckCrc());                // closed
}
