#include "base/kchainedfile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

class ChainedFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qox_chained_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        mDir = pattern;
    }
    void TearDown() override
    {
        std::string command = "rm -rf '" + mDir + "'";
        ASSERT_EQ(0, std::system(command.c_str()));
    }
    std::string Path(const char* name) const { return mDir + "/" + name; }

    std::string Slurp(const std::string& path) const
    {
        std::string data;
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f)
            return data;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0)
            data.append(buffer, n);
        std::fclose(f);
        return data;
    }

    std::string mDir;
};

// A layer that counts its destruction, to see who deletes whom.
class CountingLayer : public KChainedFile
{
public:
    explicit CountingLayer(int* destroyed)
        : KChainedFile(0, nullptr, eClosed, false), mDestroyed(destroyed) {}
    ~CountingLayer() override { ++*mDestroyed; }
private:
    int* mDestroyed;
};

} // namespace

TEST_F(ChainedFileTest, OpenSetsTheMode)
{
    const std::string name = Path("modes.bin");
    KChainedFile file(0, nullptr, KChainedFile::eClosed, false);
    EXPECT_EQ(KChainedFile::eClosed, file.GetMode());

    ASSERT_TRUE(file.Open(name.c_str(), "wb"));
    EXPECT_EQ(KChainedFile::eWrite, file.GetMode());
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(KChainedFile::eClosed, file.GetMode());

    ASSERT_TRUE(file.Open(name.c_str(), "rb"));
    EXPECT_EQ(KChainedFile::eRead, file.GetMode());
    ASSERT_TRUE(file.Open(name.c_str(), "r+b"));
    EXPECT_EQ(KChainedFile::eRead, file.GetMode());
    ASSERT_TRUE(file.Open(name.c_str(), kFILE_READ, false));
    EXPECT_EQ(KChainedFile::eRead, file.GetMode());
    ASSERT_TRUE(file.Open(name.c_str(), kFILE_READ_WRITE, false));
    EXPECT_EQ(KChainedFile::eWrite, file.GetMode());
    ASSERT_TRUE(file.Open(name.c_str(), kFILE_WRITE, true));
    EXPECT_EQ(KChainedFile::eWrite, file.GetMode());
    ASSERT_TRUE(file.Open(name.c_str(), kFILE_APPEND, false));
    EXPECT_EQ(KChainedFile::eWrite, file.GetMode());
    EXPECT_TRUE(file.Close());

    // Failed opens leave the layer closed.
    EXPECT_FALSE(file.Open(Path("missing/none.bin").c_str(), kFILE_READ, false));
    EXPECT_EQ(KChainedFile::eClosed, file.GetMode());
    EXPECT_FALSE(file.Open(Path("missing.bin").c_str(), "rb"));
    EXPECT_EQ(KChainedFile::eClosed, file.GetMode());
    EXPECT_FALSE(file.IsOpened());
    EXPECT_FALSE(file.Open(static_cast<void*>(nullptr), 4u));
    EXPECT_EQ(KChainedFile::eClosed, file.GetMode());
}

TEST_F(ChainedFileTest, UnopenedBottomLayerAnswersLikeAClosedFile)
{
    KChainedFile file(7, nullptr, KChainedFile::eWrite, false);
    EXPECT_EQ(7, file.GetId());
    EXPECT_EQ(nullptr, file.GetNext());
    char buffer[8] = "abc";
    EXPECT_EQ(0u, file.Read(buffer, 3));
    EXPECT_EQ(0u, file.Write(buffer, 3));
    EXPECT_EQ(nullptr, file.ReadString(buffer, 8));
    EXPECT_EQ(0, file.GetPosition());
    EXPECT_FALSE(file.IsOpened());
    EXPECT_EQ(0, file.GetError());
    EXPECT_FALSE(file.EndOfFile());
    EXPECT_EQ(-1, file.Truncate(0));
    file.Seek(kSEEK_END, 0);
    file.SetPosition(3);
    file.ClearError();
    file.Format("%s", "text");
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(KChainedFile::eClosed, file.GetMode());
}

TEST_F(ChainedFileTest, UpperLayerPassesEverythingDown)
{
    const std::string name = Path("pass.bin");
    KChainedFile* bottom = new KChainedFile(0, nullptr, KChainedFile::eClosed, false);
    KChainedFile top(1, bottom, KChainedFile::eClosed, true);

    ASSERT_TRUE(top.Open(name.c_str(), kFILE_READ_WRITE, false));
    EXPECT_EQ(KChainedFile::eWrite, top.GetMode());
    EXPECT_EQ(KChainedFile::eWrite, bottom->GetMode());
    EXPECT_TRUE(top.IsOpened());
    char data[] = "line one\nline two\n";
    EXPECT_EQ(18u, top.Write(data, 18));
    EXPECT_EQ(18, top.GetPosition());
    top.Format("%d-%s", 12, "x");
    EXPECT_EQ(22, top.GetPosition());

    top.SetPosition(5);
    char buffer[32] = {0};
    EXPECT_EQ(3u, top.Read(buffer, 3));
    EXPECT_STREQ("one", buffer);
    top.Seek(kSEEK_CURRENT, 1);
    EXPECT_STREQ("line two\n", top.ReadString(buffer, sizeof(buffer)));
    top.Seek(kSEEK_END, -4);
    EXPECT_EQ(4u, top.Read(buffer, 10));
    EXPECT_EQ(0, std::memcmp(buffer, "12-x", 4));
    EXPECT_TRUE(top.EndOfFile());
    top.ClearError();
    EXPECT_FALSE(top.EndOfFile());
    EXPECT_EQ(0, top.GetError());
    EXPECT_EQ(0, top.Truncate(9));
    EXPECT_TRUE(top.Close());
    EXPECT_EQ(KChainedFile::eClosed, bottom->GetMode());
    EXPECT_EQ("line one\n", Slurp(name));
}

TEST_F(ChainedFileTest, BottomLayerOverAMemoryBuffer)
{
    char bytes[] = "alpha\nbeta";
    KChainedFile bottom(0, nullptr, KChainedFile::eClosed, false);
    KChainedFile top(0, &bottom, KChainedFile::eClosed, false);
    ASSERT_TRUE(top.Open(bytes, 10u));
    EXPECT_EQ(KChainedFile::eRead, top.GetMode());
    char line[16];
    EXPECT_STREQ("alpha\n", top.ReadString(line, sizeof(line)));
    top.Seek(kSEEK_END, 0);
    EXPECT_EQ(10, top.GetPosition());
    EXPECT_TRUE(top.EndOfFile());
    EXPECT_EQ(-1, top.Truncate(2));   // a memory file cannot be truncated
    EXPECT_TRUE(top.Close());
    EXPECT_FALSE(top.IsOpened());
}

TEST_F(ChainedFileTest, OwnershipOfTheLowerLayer)
{
    int destroyed = 0;
    {
        CountingLayer* lower = new CountingLayer(&destroyed);
        KChainedFile owner(0, lower, KChainedFile::eClosed, true);
        EXPECT_TRUE(owner.GetOwnsNext());
    }
    EXPECT_EQ(1, destroyed);

    // A layer that does not own the one below leaves it usable.
    const std::string name = Path("own.bin");
    KChainedFile bottom(0, nullptr, KChainedFile::eClosed, false);
    ASSERT_TRUE(bottom.Open(name.c_str(), kFILE_READ_WRITE, false));
    {
        KChainedFile upper(0, &bottom, KChainedFile::eWrite, false);
        char text[] = "abc";
        EXPECT_EQ(3u, upper.Write(text, 3));
    }
    char more[] = "def";
    EXPECT_EQ(3u, bottom.Write(more, 3));
    EXPECT_TRUE(bottom.Close());
    EXPECT_EQ("abcdef", Slurp(name));
}

TEST_F(ChainedFileTest, FormatHasNoLengthLimit)
{
    const std::string name = Path("format.txt");
    std::string big(20000, 'q');
    KChainedFile* bottom = new KChainedFile(0, nullptr, KChainedFile::eClosed, false);
    KChainedFile top(0, bottom, KChainedFile::eClosed, true);
    ASSERT_TRUE(top.Open(name.c_str(), "wb"));
    top.Format("<%s>", big.c_str());
    top.Format("%s", "");
    EXPECT_TRUE(top.Close());
    EXPECT_EQ("<" + big + ">", Slurp(name));
}

TEST_F(ChainedFileTest, CloseReportsAStreamError)
{
    const std::string name = Path("err.bin");
    KChainedFile file(0, nullptr, KChainedFile::eClosed, false);
    ASSERT_TRUE(file.Open(name.c_str(), "wb"));
    char buffer[4];
    EXPECT_EQ(0u, file.Read(buffer, 4));   // a write-only stream cannot be read
    EXPECT_NE(0, file.GetError());
    EXPECT_FALSE(file.Close());
}

TEST_F(ChainedFileTest, ReopenReplacesTheTailFile)
{
    const std::string first = Path("first.bin");
    const std::string second = Path("second.bin");
    KChainedFile file(0, nullptr, KChainedFile::eClosed, false);
    ASSERT_TRUE(file.Open(first.c_str(), "wb"));
    char a[] = "A";
    EXPECT_EQ(1u, file.Write(a, 1));
    ASSERT_TRUE(file.Open(second.c_str(), "wb"));   // the first file is closed by the swap
    char b[] = "B";
    EXPECT_EQ(1u, file.Write(b, 1));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ("A", Slurp(first));
    EXPECT_EQ("B", Slurp(second));
}
