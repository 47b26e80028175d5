#include "base/kencryptedfile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/kcrcfile.h"
#include "base/twofish.h"
#include "test_util.h"

using qoxtest::NewBottom;

namespace {

char kKey[17] = "0123456789abcdef";

// A pass-through layer that counts transfers and can be told to write short.
class SpyLayer : public KChainedFile
{
public:
    SpyLayer()
        : KChainedFile(0, NewBottom(), eClosed, true)
    {}
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
    int mReads = 0, mWrites = 0, mMoves = 0, mWriteLimit = -1;
};

std::string Enc(const std::string& block16)
{
    KTwofish tf(reinterpret_cast<const unsigned char*>(kKey));
    unsigned char out[16];
    tf.EncryptBlock(reinterpret_cast<const unsigned char*>(block16.data()), out);
    return std::string(reinterpret_cast<char*>(out), 16);
}

class EncryptedFileTest : public qoxtest::FileTest
{
protected:
    void WriteAll(const std::string& data)
    {
        KEncryptedFile enc(kKey, 0, NewBottom(), KChainedFile::eClosed, true);
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
        out.resize(enc.Read(&out[0], max));
        enc.Close();
        return out;
    }
    // The layer over the existing file, opened below it for update.
    KEncryptedFile* Update(KChainedFile* below)
    {
        EXPECT_TRUE(below->Open(mName.c_str(), "r+b"));
        return new KEncryptedFile(kKey, 0, below, KChainedFile::eWrite, true);
    }
};

} // namespace

TEST_F(EncryptedFileTest, KnownBlockLayoutAndTwentyBytes)
{
    // All-zero key and data: the stored block is the published ciphertext.
    char zeroKey[16] = {0}, zeros[16] = {0};
    KEncryptedFile enc(zeroKey, 0, NewBottom(), KChainedFile::eClosed, true);
    ASSERT_TRUE(enc.Open(mName.c_str(), kFILE_READ_WRITE, false));
    ASSERT_EQ(16u, enc.Write(zeros, 16));
    ASSERT_TRUE(enc.Close());
    const std::string known("\x9F\x58\x9F\x5C\xF6\x12\x2C\x32\xB6\xBF\xEC\x2F\x2A\xE8\xC3\x5A", 16);
    EXPECT_EQ(known, Slurp());
    unsigned char a[16], b[16];
    enc.Encrypt(zeros, a);
    enc.Decrypt(a, b);
    EXPECT_EQ(known, std::string(reinterpret_cast<char*>(a), 16));
    EXPECT_EQ(0, std::memcmp(b, zeros, 16));
    // 20 bytes become two blocks, the second completed with zeros.
    const std::string data = "ABCDEFGHIJKLMNOPQRST";
    WriteAll(data);
    EXPECT_EQ(Enc(data.substr(0, 16)) + Enc(data.substr(16) + std::string(12, '\0')), Slurp());
    EXPECT_EQ(data + std::string(12, '\0'), ReadAll(100));
    // Another key deciphers to other bytes; nothing here detects it.
    const std::string wrong = ReadAll(100, "fedcba9876543210");
    EXPECT_EQ(32u, wrong.size());
    EXPECT_NE(data, wrong.substr(0, 20));
}

TEST_F(EncryptedFileTest, PartialBlockWriteIsReadModifyWrite)
{
    WriteAll("abcdefghijklmnopABCDEFGHIJKLMNOP");
    const std::string before = Slurp();
    SpyLayer* spy = new SpyLayer;
    KEncryptedFile* enc = Update(spy);
    EXPECT_EQ(0, enc->GetPosition());
    enc->SetPosition(3);
    char patch[] = "12345";
    EXPECT_EQ(5u, enc->Write(patch, 5));
    EXPECT_EQ(1, spy->mReads);  // the block was deciphered first
    EXPECT_EQ(0, spy->mWrites); // and is written only at close
    ASSERT_TRUE(enc->Close());
    EXPECT_EQ(1, spy->mWrites);
    delete enc;
    EXPECT_EQ(before.substr(16), Slurp().substr(16));
    EXPECT_EQ("abc12345ijklmnopABCDEFGHIJKLMNOP", ReadAll(32));
    // A written block survives a read of another block.
    enc = Update(NewBottom());
    char x[] = "XXXXX";
    EXPECT_EQ(5u, enc->Write(x, 5));
    enc->SetPosition(16);
    char probe[4];
    EXPECT_EQ(4u, enc->Read(probe, 4));
    EXPECT_EQ(0, std::memcmp(probe, "ABCD", 4));
    EXPECT_TRUE(enc->Close());
    delete enc;
    EXPECT_EQ("XXXXX345ijklmnopABCDEFGHIJKLMNOP", ReadAll(32));
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
        char probe[4], text[] = "hello";
        EXPECT_EQ(0u, enc.Read(probe, 4));
        EXPECT_EQ(5u, enc.Write(text, 5));
        EXPECT_TRUE(enc.Close());
    }
    EXPECT_EQ("HDR!" + Enc(std::string("hello") + std::string(11, '\0')), Slurp());

    KChainedFile bottom(0, nullptr, KChainedFile::eClosed, false);
    ASSERT_TRUE(bottom.Open(mName.c_str(), "rb"));
    bottom.SetPosition(4);
    KEncryptedFile enc(kKey, 4, &bottom, KChainedFile::eRead, false);
    char text[6] = {0};
    EXPECT_EQ(5u, enc.Read(text, 5));
    EXPECT_STREQ("hello", text);
    enc.SetPosition(2); // before the base: ignored
    EXPECT_EQ(9, enc.GetPosition());
    enc.Seek(kSEEK_END, -14);
    enc.Seek(kSEEK_CURRENT, -1);
    EXPECT_EQ(5, enc.GetPosition());
    EXPECT_EQ(1u, enc.Read(text, 1));
    EXPECT_EQ('e', text[0]);
    enc.Seek(kSEEK_END, 0);
    EXPECT_EQ(0u, enc.Read(text, 1)); // beyond the last block
    EXPECT_TRUE(enc.Close());
}

TEST_F(EncryptedFileTest, FormatAndLineReading)
{
    const std::string big(20000, 'z');
    {
        KEncryptedFile enc(kKey, 0, NewBottom(), KChainedFile::eClosed, true);
        ASSERT_TRUE(enc.Open(KString(mName.c_str()), KString("wb")));
        EXPECT_EQ(KChainedFile::eWrite, enc.GetMode());
        enc.Format("%d-%s\n", 42, "abc");
        enc.Format("%s", big.c_str());
        EXPECT_EQ(20007, enc.GetPosition()); // no terminator
        EXPECT_TRUE(enc.Close());
    }
    EXPECT_EQ(20016u, Slurp().size());
    EXPECT_EQ(std::string::npos, Slurp().find("42-abc"));
    EXPECT_EQ("42-abc\n" + big + std::string(9, '\0'), ReadAll(30000));

    WriteAll("one\ntwo\nthree");
    KEncryptedFile enc(kKey, 0, NewBottom(), KChainedFile::eClosed, true);
    ASSERT_TRUE(enc.Open(KString(mName.c_str()), KString("rb")));
    EXPECT_EQ(KChainedFile::eRead, enc.GetMode());
    char line[64];
    EXPECT_EQ(nullptr, enc.ReadString(static_cast<void*>(line), 0));
    EXPECT_STREQ("", enc.ReadString(static_cast<void*>(line), 1));
    EXPECT_STREQ("one\n", enc.ReadString(static_cast<void*>(line), 64));
    EXPECT_STREQ("two\n", enc.ReadString(line, 64)); // the plain-file reader deciphers too
    EXPECT_STREQ("th", enc.ReadString(line, 3));
    // The region ends inside this line: null, with the text read so far.
    EXPECT_EQ(nullptr, enc.ReadString(line, 64));
    EXPECT_STREQ("ree", line);
    EXPECT_TRUE(enc.Close());
}

TEST_F(EncryptedFileTest, OpenFormsAndErrorPaths)
{
    WriteAll("layered data here");
    KChainedFile* top = new KEncryptedFile(kKey, 0, NewBottom(), KChainedFile::eClosed, true);
    char text[18] = {0};
    ASSERT_TRUE(top->Open(mName.c_str(), "rb"));
    EXPECT_EQ(17u, top->Read(text, 17));
    EXPECT_STREQ("layered data here", text);
    ASSERT_TRUE(top->Open(mName.c_str(), kFILE_READ, false)); // reopening starts at the base
    EXPECT_EQ(0, top->GetPosition());
    // A failed open leaves no block to read.
    EXPECT_FALSE(top->Open(mDir.File("missing.bin").c_str(), "rb"));
    EXPECT_EQ(KChainedFile::eClosed, top->GetMode());
    EXPECT_EQ(0u, top->Read(text, 4));
    delete top;

    std::string image = Slurp();
    KEncryptedFile memory(kKey, 0, NewBottom(), KChainedFile::eClosed, true);
    EXPECT_EQ(0u, memory.Write(text, 4)); // not open
    ASSERT_TRUE(memory.Open(&image[0], static_cast<unsigned int>(image.size())));
    EXPECT_EQ(17u, memory.Read(text, 17));
    EXPECT_EQ(0, std::strncmp(text, "layered data here", 17));
    EXPECT_EQ(0u, memory.Read(nullptr, 4));
    KEncryptedFile keyless(nullptr, 0, NewBottom(), KChainedFile::eClosed, true); // refuses to open
    EXPECT_FALSE(keyless.Open(mName.c_str(), kFILE_READ, false));
    EXPECT_FALSE(keyless.IsOpened());
}

TEST_F(EncryptedFileTest, ShortWritesAndFailedCloseAreReported)
{
    SpyLayer* spy = new SpyLayer;
    KEncryptedFile enc(kKey, 0, spy, KChainedFile::eClosed, true);
    ASSERT_TRUE(enc.Open(mName.c_str(), kFILE_READ_WRITE, false));
    std::string data = std::string("abcdefghijklmnopqrstuvwxyz") + "ABCDEFGHIJKLMN";
    spy->mWriteLimit = 8;
    // Block 0 is accepted into the cache; moving on to block 1 fails to write it.
    EXPECT_EQ(16u, enc.Write(&data[0], 40));
    EXPECT_EQ(16, enc.GetPosition());
    // Once the lower layer takes whole blocks again, the cached block goes down
    // at the right place and writing carries on.
    spy->mWriteLimit = -1;
    EXPECT_EQ(24u, enc.Write(&data[16], 24));
    EXPECT_TRUE(enc.Close());
    EXPECT_EQ(data + std::string(8, '\0'), ReadAll(48));

    ASSERT_TRUE(enc.Open(mName.c_str(), kFILE_READ_WRITE, false));
    char text[] = "pending";
    EXPECT_EQ(7u, enc.Write(text, 7));
    spy->mWriteLimit = 0;
    EXPECT_FALSE(enc.Close());
    EXPECT_FALSE(enc.IsOpened());
}

TEST_F(EncryptedFileTest, TruncatedAndDamagedFiles)
{
    const std::string data = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKL";
    WriteAll(data);
    const std::string good = Slurp();
    Spit(good.substr(0, 40)); // a cut inside the last block: that block is not returned
    EXPECT_EQ(data.substr(0, 32), ReadAll(48));
    Spit(good.substr(0, 10)); // not a single whole block
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
    KEncryptedFile* enc = Update(NewBottom());
    enc->SetPosition(34);
    char patch[] = "zz";
    EXPECT_EQ(0u, enc->Write(patch, 2));
    EXPECT_TRUE(enc->Close());
    delete enc;
}

TEST_F(EncryptedFileTest, FullStackWithCrcBelowCipher)
{
    std::string data;
    for (int i = 0; i < 1000; ++i)
        data += static_cast<char>(i * 31);
    {
        KEncryptedFile enc(kKey, 0, new KCrcFile(0, NewBottom(), KChainedFile::eClosed, true), KChainedFile::eClosed,
                           true);
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
    // The 4 check bytes form an incomplete block: reading stops before them.
    EXPECT_EQ(data + std::string(8, '\0'), readBack(crcOk));
    EXPECT_TRUE(crcOk);
    Spit(good.substr(0, 1000)); // truncated: the check fails, the whole blocks read
    EXPECT_EQ(data.substr(0, 992), readBack(crcOk));
    EXPECT_FALSE(crcOk);
}

TEST_F(EncryptedFileTest, WholeBlocksAreNotFetchedBeforeOverwriting)
{
    const std::string data = "abcdefghijklmnopABCDEFGHIJKLMNOPqrstuvwxyz012345"; // three blocks
    WriteAll(data);
    SpyLayer* spy = new SpyLayer;
    KEncryptedFile* enc = Update(spy);
    // 8..37: the tail of block 0 and the head of block 2 are merged with the
    // stored bytes; block 1 is covered whole and needs no read.
    enc->SetPosition(8);
    std::string patch(30, '#');
    EXPECT_EQ(30u, enc->Write(&patch[0], 30));
    EXPECT_EQ(2, spy->mReads);
    // Two more whole blocks beyond the end: nothing to read either.
    enc->SetPosition(48);
    std::string more(32, '*');
    EXPECT_EQ(32u, enc->Write(&more[0], 32));
    EXPECT_EQ(2, spy->mReads);
    ASSERT_TRUE(enc->Close());
    delete enc;
    EXPECT_EQ(data.substr(0, 8) + patch + data.substr(38) + more, ReadAll(100));
}

// Positioned reads through the cipher: deciphered bytes, the position left
// where it was; through a CRC layer below, followed for the check.
TEST_F(EncryptedFileTest, PositionedReadsAreDeciphered)
{
    std::string data;
    for (int i = 0; i < 40000; ++i)
        data += static_cast<char>(i * 13 + i / 100);
    {
        KEncryptedFile enc(kKey, 0, new KCrcFile(0, NewBottom(), KChainedFile::eClosed, true), KChainedFile::eClosed,
                           true);
        ASSERT_TRUE(enc.Open(mName.c_str(), kFILE_READ_WRITE, false));
        ASSERT_EQ(40000u, enc.Write(&data[0], 40000));
        ASSERT_TRUE(enc.Close());
    }
    KCrcFile* crc = new KCrcFile(0, NewBottom(), KChainedFile::eClosed, true);
    KEncryptedFile enc(kKey, 0, crc, KChainedFile::eClosed, true);
    ASSERT_TRUE(enc.Open(mName.c_str(), kFILE_READ, false));
    crc->FollowReads(true);
    enc.SetPosition(32);
    for (long at : {0l, 5l, 17l, 20000l, 39990l})
    {
        char few[10];
        ASSERT_EQ(enc.ReadAt(at, few, 10), 10u);
        EXPECT_EQ(std::string(few, 10), data.substr(static_cast<size_t>(at), 10)) << at;
    }
    EXPECT_EQ(enc.GetPosition(), 32);
    char one = 0;
    ASSERT_EQ(enc.Read(&one, 1), 1u);
    EXPECT_EQ(one, data[32]);
    std::string whole(40000, '\0');
    ASSERT_EQ(enc.ReadAt(0, &whole[0], 40000), 40000u);
    EXPECT_EQ(whole, data);
    EXPECT_TRUE(crc->CheckCrc());
    enc.Close();
}
