#include "base/kencryptedfile.h"

#include "base/kcrcfile.h"
#include "base/twofish.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

char kKey[17] = "0123456789abcdef";

// A pass-through layer that counts transfers and can be told to write short.
class SpyLayer : public KChainedFile
{
public:
    explicit SpyLayer(KChainedFile* next)
        : KChainedFile(0, next, eClosed, true) {}
    unsigned int Read(void* buffer, unsigned int n) override
    {
        ++mReads;
        return KChainedFile::Read(buffer, n);
    }
    unsigned int Write(void* buffer, unsigned int n) override
    {
        ++mWrites;
        if (mWriteLimit >= 0 && n > static_cast<unsigned int>(mWriteLimit))
            n = static_cast<unsigned int>(mWriteLimit);
        return n ? KChainedFile::Write(buffer, n) : 0;
    }
    void SetPosition(long offset) override
    {
        ++mMoves;
        KChainedFile::SetPosition(offset);
    }
    int mReads = 0;
    int mWrites = 0;
    int mMoves = 0;
    int mWriteLimit = -1;
};

KChainedFile* NewBottom()
{
    return new KChainedFile(0, nullptr, KChainedFile::eClosed, false);
}

std::string Enc(const char* key, const std::string& block16)
{
    KTwofish tf(reinterpret_cast<const unsigned char*>(key));
    unsigned char out[16];
    tf.EncryptBlock(reinterpret_cast<const unsigned char*>(block16.data()), out);
    return std::string(reinterpret_cast<char*>(out), 16);
}

class EncryptedFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qox_enc_XXXXXX";
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
    void WriteAll(const std::string& data, int base = 0)
    {
        KEncryptedFile enc(kKey, base, NewBottom(), KChainedFile::eClosed, true);
        ASSERT_TRUE(enc.Open(mName.c_str(), kFILE_READ_WRITE, false));
        std::string copy = data;
        ASSERT_EQ(copy.size(), enc.Write(&copy[0], static_cast<unsigned int>(copy.size())));
        ASSERT_TRUE(enc.Close());
    }
    std::string ReadAll(unsigned int max, const char* key = kKey)
    {
        KEncryptedFile enc(const_cast<char*>(key), 0, NewBottom(), KChainedFile::eClosed, true);
        if (!enc.Open(mName.c_str(), kFILE_READ, false))
            return "<open failed>";
        std::string out(max, '\0');
        unsigned int n = enc.Read(&out[0], max);
        out.resize(n);
        enc.Close();
        return out;
    }

    std::string mDir;
    std::string mName;
};

} // namespace

TEST_F(EncryptedFileTest, KnownBlockLayout)
{
    // All-zero key and data: the stored block is the published ciphertext.
    char zeroKey[16] = {0};
    KEncryptedFile enc(zeroKey, 0, NewBottom(), KChainedFile::eClosed, true);
    ASSERT_TRUE(enc.Open(mName.c_str(), kFILE_READ_WRITE, false));
    char zeros[16] = {0};
    ASSERT_EQ(16u, enc.Write(zeros, 16));
    ASSERT_TRUE(enc.Close());
    const unsigned char expected[16] = {0x9F, 0x58, 0x9F, 0x5C, 0xF6, 0x12, 0x2C, 0x32,
                                        0xB6, 0xBF, 0xEC, 0x2F, 0x2A, 0xE8, 0xC3, 0x5A};
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(expected), 16), Slurp());

    unsigned char a[16], b[16];
    enc.Encrypt(zeros, a);
    EXPECT_EQ(0, std::memcmp(a, expected, 16));
    enc.Decrypt(a, b);
    EXPECT_EQ(0, std::memcmp(b, zeros, 16));
}

TEST_F(EncryptedFileTest, TwentyBytesBecomeTwoBlocks)
{
    const std::string data = "ABCDEFGHIJKLMNOPQRST";
    WriteAll(data);
    const std::string file = Slurp();
    ASSERT_EQ(32u, file.size());
    EXPECT_EQ(Enc(kKey, data.substr(0, 16)), file.substr(0, 16));
    EXPECT_EQ(Enc(kKey, data.substr(16) + std::string(12, '\0')), file.substr(16));
    EXPECT_EQ(data + std::string(12, '\0'), ReadAll(100));
    // Another key deciphers to other bytes; nothing here detects it.
    const std::string wrong = ReadAll(100, "fedcba9876543210");
    EXPECT_EQ(32u, wrong.size());
    EXPECT_NE(data, wrong.substr(0, 20));
}

TEST_F(EncryptedFileTest, WholeBlocksAreNotFetched)
{
    SpyLayer* spy = new SpyLayer(NewBottom());
    KEncryptedFile enc(kKey, 0, spy, KChainedFile::eClosed, true);
    ASSERT_TRUE(enc.Open(mName.c_str(), kFILE_READ_WRITE, false));
    const int movesAfterOpen = spy->mMoves;
    char block[17] = "0123456789ABCDEF";
    EXPECT_EQ(16u, enc.Write(block, 16));
    EXPECT_EQ(16u, enc.Write(block, 16));
    EXPECT_EQ(32, enc.GetPosition());
    ASSERT_TRUE(enc.Close());
    EXPECT_EQ(0, spy->mReads);
    EXPECT_EQ(2, spy->mWrites);
    EXPECT_EQ(movesAfterOpen + 1, spy->mMoves);   // consecutive blocks: one positioning
    EXPECT_EQ(32u, Slurp().size());
}

TEST_F(EncryptedFileTest, PartialBlockWriteIsReadModifyWrite)
{
    WriteAll("abcdefghijklmnopABCDEFGHIJKLMNOP");
    const std::string before = Slurp();

    // Modify an existing file: the layer below is opened for update first.
    SpyLayer* spy = new SpyLayer(NewBottom());
    ASSERT_TRUE(spy->Open(mName.c_str(), "r+b"));
    KEncryptedFile enc(kKey, 0, spy, KChainedFile::eWrite, true);
    EXPECT_EQ(0, enc.GetPosition());
    enc.SetPosition(3);
    char patch[] = "12345";
    EXPECT_EQ(5u, enc.Write(patch, 5));
    EXPECT_EQ(1, spy->mReads);                    // the block was deciphered first
    EXPECT_EQ(0, spy->mWrites);                   // and is written only at close
    ASSERT_TRUE(enc.Close());
    EXPECT_EQ(1, spy->mWrites);

    const std::string after = Slurp();
    ASSERT_EQ(32u, after.size());
    EXPECT_EQ(before.substr(16), after.substr(16));
    EXPECT_EQ("abc12345ijklmnopABCDEFGHIJKLMNOP", ReadAll(32));
}

TEST_F(EncryptedFileTest, PlainHeaderThenEncipheredRegion)
{
    {
        KChainedFile bottom(0, nullptr, KChainedFile::eClosed, false);
        ASSERT_TRUE(bottom.Open(mName.c_str(), kFILE_READ_WRITE, false));
        char header[] = "HDR!";
        ASSERT_EQ(4u, bottom.Write(header, 4));
        // A layer over a file that ends at the base has no block yet.
        KEncryptedFile enc(kKey, 4, &bottom, KChainedFile::eWrite, false);
        EXPECT_EQ(4, enc.GetPosition());
        char probe[4];
        EXPECT_EQ(0u, enc.Read(probe, 4));
        char text[] = "hello";
        EXPECT_EQ(5u, enc.Write(text, 5));
        EXPECT_TRUE(enc.Close());
    }
    const std::string file = Slurp();
    ASSERT_EQ(20u, file.size());
    EXPECT_EQ("HDR!", file.substr(0, 4));
    EXPECT_EQ(Enc(kKey, std::string("hello") + std::string(11, '\0')), file.substr(4));

    KChainedFile bottom(0, nullptr, KChainedFile::eClosed, false);
    ASSERT_TRUE(bottom.Open(mName.c_str(), "rb"));
    char header[5] = {0};
    ASSERT_EQ(4u, bottom.Read(header, 4));
    KEncryptedFile enc(kKey, 4, &bottom, KChainedFile::eRead, false);
    char text[6] = {0};
    EXPECT_EQ(5u, enc.Read(text, 5));
    EXPECT_STREQ("hello", text);
    enc.SetPosition(2);                           // before the base: ignored
    EXPECT_EQ(9, enc.GetPosition());
    enc.Seek(kSEEK_BEGIN, 4);
    EXPECT_EQ(4, enc.GetPosition());
    enc.Seek(kSEEK_CURRENT, 1);
    EXPECT_EQ(1u, enc.Read(text, 1));
    EXPECT_EQ('e', text[0]);
    enc.Seek(kSEEK_END, -16);
    EXPECT_EQ(4, enc.GetPosition());
    enc.Seek(kSEEK_END, 0);
    EXPECT_EQ(20, enc.GetPosition());
    EXPECT_EQ(0u, enc.Read(text, 1));             // beyond the last block
    enc.Seek(kSEEK_END, 32);
    EXPECT_EQ(0u, enc.Read(text, 1));
    EXPECT_TRUE(enc.Close());
}

TEST_F(EncryptedFileTest, FormatIsEncipheredWithoutTerminator)
{
    std::string big(20000, 'z');
    {
        KEncryptedFile enc(kKey, 0, NewBottom(), KChainedFile::eClosed, true);
        ASSERT_TRUE(enc.Open(KString(mName.c_str()), KString("wb")));
        EXPECT_EQ(KChainedFile::eWrite, enc.GetMode());
        enc.Format("%d-%s", 42, "abc");
        EXPECT_EQ(6, enc.GetPosition());
        enc.Format("%s", big.c_str());
        EXPECT_EQ(20006, enc.GetPosition());
        EXPECT_TRUE(enc.Close());
    }
    const std::string file = Slurp();
    ASSERT_EQ(20016u, file.size());
    EXPECT_EQ(std::string::npos, file.find("42-abc"));
    EXPECT_EQ("42-abc" + big + std::string(10, '\0'), ReadAll(30000));
}

TEST_F(EncryptedFileTest, LineReading)
{
    WriteAll("one\ntwo\nthree");
    KEncryptedFile enc(kKey, 0, NewBottom(), KChainedFile::eClosed, true);
    ASSERT_TRUE(enc.Open(KString(mName.c_str()), KString("rb")));
    EXPECT_EQ(KChainedFile::eRead, enc.GetMode());
    char line[64];
    EXPECT_EQ(nullptr, enc.ReadString(static_cast<void*>(line), 0));
    EXPECT_STREQ("", enc.ReadString(static_cast<void*>(line), 1));
    EXPECT_STREQ("one\n", enc.ReadString(static_cast<void*>(line), 64));
    // The plain-file line reader deciphers too.
    EXPECT_STREQ("two\n", enc.ReadString(line, 64));
    EXPECT_STREQ("th", enc.ReadString(line, 3));
    // The region ends inside this line: null, with the text read so far.
    EXPECT_EQ(nullptr, enc.ReadString(line, 64));
    EXPECT_STREQ("ree", line);
    EXPECT_TRUE(enc.Close());
}

TEST_F(EncryptedFileTest, OpenThroughTheLayerInterface)
{
    WriteAll("layered data here");
    KEncryptedFile* enc = new KEncryptedFile(kKey, 0, NewBottom(), KChainedFile::eClosed, true);
    KChainedFile* top = enc;
    ASSERT_TRUE(top->Open(mName.c_str(), "rb"));
    char text[18] = {0};
    EXPECT_EQ(17u, top->Read(text, 17));
    EXPECT_STREQ("layered data here", text);
    EXPECT_TRUE(top->Close());
    // Reopening starts again at the base.
    ASSERT_TRUE(top->Open(mName.c_str(), kFILE_READ, false));
    EXPECT_EQ(0, top->GetPosition());
    EXPECT_EQ(7u, top->Read(text, 7));
    EXPECT_EQ(0, std::strncmp(text, "layered", 7));
    EXPECT_TRUE(top->Close());
    delete top;

    std::string image = Slurp();
    KEncryptedFile memory(kKey, 0, NewBottom(), KChainedFile::eClosed, true);
    ASSERT_TRUE(memory.Open(&image[0], static_cast<unsigned int>(image.size())));
    EXPECT_EQ(17u, memory.Read(text, 17));
    EXPECT_EQ(0, std::strncmp(text, "layered data here", 17));
}

TEST_F(EncryptedFileTest, ErrorPaths)
{
    char buffer[16] = {0};
    KEncryptedFile unopened(kKey, 0, NewBottom(), KChainedFile::eClosed, true);
    EXPECT_EQ(0u, unopened.Write(buffer, 4));
    EXPECT_EQ(0u, unopened.Read(buffer, 4));
    EXPECT_EQ(0, unopened.GetPosition());
    unopened.SetPosition(5);
    EXPECT_EQ(0, unopened.GetPosition());
    EXPECT_TRUE(unopened.Close());

    // A failed open leaves no block to read.
    WriteAll("0123456789abcdef");
    KEncryptedFile failed(kKey, 0, NewBottom(), KChainedFile::eClosed, true);
    ASSERT_TRUE(failed.Open(mName.c_str(), "rb"));
    EXPECT_FALSE(failed.Open((mDir + "/missing.bin").c_str(), "rb"));
    EXPECT_EQ(KChainedFile::eClosed, failed.GetMode());
    EXPECT_EQ(0u, failed.Read(buffer, 4));

    // No key: the layer refuses to open.
    KEncryptedFile keyless(nullptr, 0, NewBottom(), KChainedFile::eClosed, true);
    EXPECT_FALSE(keyless.Open(mName.c_str(), kFILE_READ, false));
    EXPECT_FALSE(keyless.IsOpened());

    KEncryptedFile enc(kKey, 0, NewBottom(), KChainedFile::eClosed, true);
    ASSERT_TRUE(enc.Open(mName.c_str(), kFILE_READ, false));
    EXPECT_EQ(0u, enc.Read(nullptr, 4));
    EXPECT_EQ(0u, enc.Read(buffer, 0));
    EXPECT_EQ(0u, enc.Write(nullptr, 4));
    EXPECT_EQ(0u, enc.Write(buffer, 0));
    EXPECT_TRUE(enc.Close());
}

TEST_F(EncryptedFileTest, ShortBlockWriteIsReported)
{
    SpyLayer* spy = new SpyLayer(NewBottom());
    KEncryptedFile enc(kKey, 0, spy, KChainedFile::eClosed, true);
    ASSERT_TRUE(enc.Open(mName.c_str(), kFILE_READ_WRITE, false));
    std::string data;
    for (int i = 0; i < 40; ++i)
        data += static_cast<char>('A' + i % 26);

    spy->mWriteLimit = 8;
    // Block 0 is accepted into the cache; moving on to block 1 fails to write it.
    EXPECT_EQ(16u, enc.Write(&data[0], 40));
    EXPECT_EQ(16, enc.GetPosition());

    // Once the lower layer takes whole blocks again, the cached block goes down
    // at the right place and writing carries on.
    spy->mWriteLimit = -1;
    EXPECT_EQ(24u, enc.Write(&data[16], 24));
    EXPECT_TRUE(enc.Close());
    EXPECT_EQ(48u, Slurp().size());
    EXPECT_EQ(data + std::string(8, '\0'), ReadAll(48));
}

TEST_F(EncryptedFileTest, FailedFlushAtCloseIsReported)
{
    SpyLayer* spy = new SpyLayer(NewBottom());
    KEncryptedFile enc(kKey, 0, spy, KChainedFile::eClosed, true);
    ASSERT_TRUE(enc.Open(mName.c_str(), kFILE_READ_WRITE, false));
    char text[] = "pending";
    EXPECT_EQ(7u, enc.Write(text, 7));
    spy->mWriteLimit = 0;
    EXPECT_FALSE(enc.Close());
    EXPECT_EQ(KChainedFile::eClosed, enc.GetMode());
    EXPECT_FALSE(enc.IsOpened());
}

TEST_F(EncryptedFileTest, WrittenBlockSurvivesAReadOfAnotherBlock)
{
    WriteAll(std::string(32, 'a'));
    KChainedFile* bottom = NewBottom();
    ASSERT_TRUE(bottom->Open(mName.c_str(), "r+b"));
    KEncryptedFile enc(kKey, 0, bottom, KChainedFile::eWrite, true);
    char patch[] = "XXXXX";
    EXPECT_EQ(5u, enc.Write(patch, 5));
    enc.SetPosition(16);
    char probe[4];
    EXPECT_EQ(4u, enc.Read(probe, 4));
    EXPECT_EQ(0, std::memcmp(probe, "aaaa", 4));
    EXPECT_TRUE(enc.Close());
    EXPECT_EQ("XXXXX" + std::string(27, 'a'), ReadAll(32));
}

TEST_F(EncryptedFileTest, TruncatedAndDamagedFiles)
{
    std::string data;
    for (int i = 0; i < 48; ++i)
        data += static_cast<char>('a' + i % 26);
    WriteAll(data);
    const std::string good = Slurp();
    ASSERT_EQ(48u, good.size());

    // A cut inside the last block: the incomplete block is not returned.
    Spit(good.substr(0, 40));
    EXPECT_EQ(data.substr(0, 32), ReadAll(48));
    // Not a single whole block.
    Spit(good.substr(0, 10));
    EXPECT_EQ("", ReadAll(48));

    // A changed byte spoils its own block only (each block stands alone).
    std::string bad = good;
    bad[20] = static_cast<char>(bad[20] ^ 0x40);
    Spit(bad);
    const std::string back = ReadAll(48);
    ASSERT_EQ(48u, back.size());
    EXPECT_EQ(data.substr(0, 16), back.substr(0, 16));
    EXPECT_NE(data.substr(16, 16), back.substr(16, 16));
    EXPECT_EQ(data.substr(32), back.substr(32));

    // Extending a damaged last block is refused rather than guessed.
    Spit(good.substr(0, 40));
    KChainedFile* bottom = NewBottom();
    ASSERT_TRUE(bottom->Open(mName.c_str(), "r+b"));
    KEncryptedFile enc(kKey, 0, bottom, KChainedFile::eWrite, true);
    enc.SetPosition(34);
    char patch[] = "zz";
    EXPECT_EQ(0u, enc.Write(patch, 2));
    EXPECT_TRUE(enc.Close());
}

TEST_F(EncryptedFileTest, FullStackWithCrcBelowCipher)
{
    std::string data;
    for (int i = 0; i < 1000; ++i)
        data += static_cast<char>(i * 31);
    {
        KCrcFile* crc = new KCrcFile(0, NewBottom(), KChainedFile::eClosed, true);
        KEncryptedFile enc(kKey, 0, crc, KChainedFile::eClosed, true);
        ASSERT_TRUE(enc.Open(mName.c_str(), kFILE_READ_WRITE, false));
        ASSERT_EQ(1000u, enc.Write(&data[0], 1000));
        ASSERT_TRUE(enc.Close());
    }
    const std::string good = Slurp();
    ASSERT_EQ(1008u + 4u, good.size());

    auto readBack = [&](bool& crcOk) {
        KCrcFile* crc = new KCrcFile(0, NewBottom(), KChainedFile::eClosed, true);
        KEncryptedFile enc(kKey, 0, crc, KChainedFile::eClosed, true);
        std::string out;
        if (!enc.Open(mName.c_str(), kFILE_READ, false))
            return out;
        crcOk = crc->CheckCrc();
        out.assign(2000, '\0');
        out.resize(enc.Read(&out[0], 2000));
        enc.Close();
        return out;
    };

    bool crcOk = false;
    std::string back = readBack(crcOk);
    EXPECT_TRUE(crcOk);
    // The 4 check bytes form an incomplete block: reading stops before them.
    ASSERT_EQ(1008u, back.size());
    EXPECT_EQ(data, back.substr(0, 1000));

    std::string bad = good;
    bad[500] = static_cast<char>(bad[500] + 1);
    Spit(bad);
    readBack(crcOk);
    EXPECT_FALSE(crcOk);

    Spit(good.substr(0, 1000));
    back = readBack(crcOk);
    EXPECT_FALSE(crcOk);
    EXPECT_EQ(992u, back.size());
    EXPECT_EQ(data.substr(0, 992), back);
}
