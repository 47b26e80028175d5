// Blocks of every size against the reading window (small ones are indexed
// where they lie in it, large ones a record head at a time), damage inside
// either kind, and names and texts holding NUL bytes.

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "base/kqox.h"
#include "kqox_test_util.h"

namespace {

using kqoxtest::Crc32;
using kqoxtest::FindNth;
using kqoxtest::Reseal;

// Payload bytes of the blocks written: below, at and past the 64 KiB the
// reader keeps of a file at a time.
const int kBlockBytes[] = {0, 100, 5000, 40000, 65000, 65536, 66000, 200000};

std::string Filler(int block, int bytes)
{
    std::string text(static_cast<size_t>(bytes), 'a');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('a' + (i + static_cast<size_t>(block)) % 26);
    return text;
}

// One "Block" field per size, each holding a text of that size, a nested
// block and a field after it, then a "Tail" field after all of them.
std::vector<unsigned char> WriteBlocks(KQox::EForm form)
{
    std::vector<unsigned char> bytes(4u << 20);
    KQox f;
    EXPECT_TRUE(f.ProjectCreate(bytes.data(), static_cast<unsigned int>(bytes.size()), form, KQox::eVERSION_6, "pw"));
    f.ProjectWriteSectionBegin("S", 6000);
    int block = 0;
    for (int size : kBlockBytes)
    {
        f.FieldWriteBegin("Block");
        f.FieldWriteI(block);
        f.FieldWriteBlockBegin();
        f.FieldWriteBegin("Text");
        f.FieldWriteC(Filler(block, size).c_str());
        f.FieldWriteEnd();
        f.FieldWriteBegin("Inner");
        f.FieldWriteBlockBegin();
        f.FieldWriteBegin("Value");
        f.FieldWriteD(block + 0.5);
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        f.FieldWriteBegin("After");
        f.FieldWriteI(-block);
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        ++block;
    }
    f.FieldWriteBegin("Tail");
    f.FieldWriteI(77);
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
    EXPECT_TRUE(f.ProjectClose());
    bytes.resize(static_cast<size_t>(f.ProjectGetFileSize()));
    return bytes;
}



} // namespace

TEST(KQoxBlocks, EverySizeReadsBackInAnyForm)
{
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII, KQox::eENCRYPTED})
    {
        SCOPED_TRACE(form);
        const auto bytes = WriteBlocks(form);
        KQox f;
        ASSERT_TRUE(f.ProjectOpen(bytes.data(), static_cast<unsigned int>(bytes.size()), "pw"));
        ASSERT_TRUE(f.ProjectOpenSection(0));
        int block = 0;
        for (int size : kBlockBytes)
        {
            SCOPED_TRACE(size);
            ASSERT_TRUE(f.FieldReadBegin("Block"));
            EXPECT_EQ(f.FieldReadI(), block);
            ASSERT_TRUE(f.FieldReadBlockBegin());
            // Out of their order: the field after the nested block first.
            EXPECT_EQ(f.FieldReadI("After", 1), -block);
            EXPECT_FALSE(f.FieldReadBegin("Missing"));
            ASSERT_TRUE(f.FieldReadBegin("Inner"));
            ASSERT_TRUE(f.FieldReadBlockBegin());
            EXPECT_EQ(f.FieldReadD("Value", 0), block + 0.5);
            f.FieldReadBlockEnd();
            f.FieldReadEnd();
            EXPECT_EQ(f.FieldReadC("Text", "none"), Filler(block, size));
            f.FieldReadBlockEnd();
            f.FieldReadEnd();
            ++block;
        }
        EXPECT_EQ(f.FieldReadI("Tail", 0), 77);
        EXPECT_EQ(f.GetLastErrorID(), -1);
    }
}

// A damaged record head inside a block is corruption whether the block fits
// in the reading window or not; the blocks before it still read.
TEST(KQoxBlocks, DamagedHeadInSmallAndLargeBlocks)
{
    const auto bytes = WriteBlocks(KQox::eBINARY);
    const int count = static_cast<int>(sizeof(kBlockBytes) / sizeof(kBlockBytes[0]));
    for (int damaged = 0; damaged < count; ++damaged)
    {
        SCOPED_TRACE(kBlockBytes[damaged]);
        // The kind byte of the damaged block's "After" field: its 'F' sits
        // just before its name length (2 bytes) and name.
        std::vector<unsigned char> image = bytes;
        const size_t after = FindNth(image, "After", damaged);
        ASSERT_NE(after, std::string::npos);
        ASSERT_EQ(image[after - 3], 'F');
        image[after - 3] = 'X';
        Reseal(image);
        KQox f;
        ASSERT_TRUE(f.ProjectOpen(image.data(), static_cast<unsigned int>(image.size())));
        ASSERT_TRUE(f.ProjectOpenSection(0));
        for (int block = 0; block < count; ++block)
        {
            ASSERT_TRUE(f.FieldReadBegin("Block"));
            EXPECT_EQ(f.FieldReadI(), block);
            if (block == damaged)
            {
                EXPECT_FALSE(f.FieldReadBlockBegin());
                EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
                EXPECT_STREQ(f.GetLastErrorString(), "File is corrupted");
                break;
            }
            ASSERT_TRUE(f.FieldReadBlockBegin());
            EXPECT_EQ(f.FieldReadI("After", 1), -block);
            f.FieldReadBlockEnd();
            f.FieldReadEnd();
        }
    }
}

// A block whose end marker is not where its size says is corruption, in a
// block of either kind.
TEST(KQoxBlocks, MissingEndMarker)
{
    const auto bytes = WriteBlocks(KQox::eBINARY);
    for (int damaged : {1, 6})
    {
        SCOPED_TRACE(kBlockBytes[damaged]);
        std::vector<unsigned char> image = bytes;
        // The block's own end marker follows its "After" field (4 + 2 + 5
        // name and sizes, 20 size bytes, one I value).
        const size_t after = FindNth(image, "After", damaged);
        const size_t marker = after + 5 + 20 + 5;
        ASSERT_EQ(image[marker], 0);
        image[marker] = 'F';
        Reseal(image);
        KQox f;
        ASSERT_TRUE(f.ProjectOpen(image.data(), static_cast<unsigned int>(image.size())));
        ASSERT_TRUE(f.ProjectOpenSection(0));
        for (int block = 0; block < damaged; ++block)
        {
            ASSERT_TRUE(f.FieldReadBegin("Block"));
            f.FieldReadEnd();
        }
        ASSERT_TRUE(f.FieldReadBegin("Block"));
        EXPECT_FALSE(f.FieldReadBlockBegin());
        EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
    }
}

// A name read from a file may hold a NUL byte: it is found by no C string,
// and its record reports the name up to that byte. A text holding one
// reads up to that byte.
TEST(KQoxBlocks, NamesAndTextsHoldingNul)
{
    std::vector<unsigned char> image(4096);
    KQox w;
    ASSERT_TRUE(w.ProjectCreate(image.data(), static_cast<unsigned int>(image.size())));
    w.ProjectWriteSectionBegin("S", 6000);
    w.FieldWriteBegin("Outer");
    w.FieldWriteBlockBegin();
    const char* const fields[][2] = {{"AbXd", "one"}, {"Ab", "teYt"}, {"Other", "two"}};
    for (const auto& field : fields)
    {
        w.FieldWriteBegin(field[0]);
        w.FieldWriteC(field[1]);
        w.FieldWriteEnd();
    }
    w.FieldWriteBlockEnd();
    w.FieldWriteEnd();
    w.ProjectWriteSectionEnd();
    ASSERT_TRUE(w.ProjectClose());
    image.resize(static_cast<size_t>(w.ProjectGetFileSize()));
    image[FindNth(image, "AbXd", 0) + 2] = 0;
    image[FindNth(image, "teYt", 0) + 2] = 0;
    Reseal(image);

    KQox f;
    ASSERT_TRUE(f.ProjectOpen(image.data(), static_cast<unsigned int>(image.size())));
    ASSERT_TRUE(f.ProjectOpenSection(0));
    ASSERT_TRUE(f.FieldReadBegin("Outer"));
    ASSERT_TRUE(f.FieldReadBlockBegin());
    EXPECT_EQ(f.FieldReadGetRecordCount(), 3);
    EXPECT_STREQ(f.FieldReadGetRecordName(0), "Ab");
    EXPECT_STREQ(f.FieldReadGetRecordName(1), "Ab");
    EXPECT_EQ(f.FieldReadGetCount("Ab"), 1);
    EXPECT_EQ(f.FieldReadGetCount("AbXd"), 0);
    // "Ab" finds the field of that name, not the one whose name starts so.
    ASSERT_TRUE(f.FieldReadBegin("Ab"));
    EXPECT_STREQ(f.FieldReadC(), "te");
    f.FieldReadEnd();
    EXPECT_FALSE(f.FieldReadBegin("Ab"));
    EXPECT_STREQ(f.FieldReadC("Other", ""), "two");
    f.FieldReadBlockEnd();
    f.FieldReadEnd();
    EXPECT_EQ(f.GetLastErrorID(), -1);
}

// Many names asked for that a list lacks, among many it has: each present
// name is still found, each absent one is not.
TEST(KQoxBlocks, AbsentNamesAmongPresentOnes)
{
    std::vector<unsigned char> image(1u << 20);
    KQox w;
    ASSERT_TRUE(w.ProjectCreate(image.data(), static_cast<unsigned int>(image.size())));
    w.ProjectWriteSectionBegin("S", 6000);
    for (int i = 0; i < 40; i += 2)
    {
        w.FieldWriteBegin(("F" + std::to_string(i)).c_str());
        w.FieldWriteI(i);
        w.FieldWriteEnd();
    }
    w.ProjectWriteSectionEnd();
    ASSERT_TRUE(w.ProjectClose());
    image.resize(static_cast<size_t>(w.ProjectGetFileSize()));
    KQox f;
    ASSERT_TRUE(f.ProjectOpen(image.data(), static_cast<unsigned int>(image.size())));
    ASSERT_TRUE(f.ProjectOpenSection(0));
    for (int i = 0; i < 40; ++i)
    {
        const std::string name = "F" + std::to_string(i);
        EXPECT_EQ(f.FieldReadI(name.c_str(), -1), i % 2 == 0 ? i : -1) << name;
        EXPECT_EQ(f.FieldReadGetCount((name + "x").c_str()), 0);
        EXPECT_EQ(f.FieldReadGetCount(""), 0);
    }
}

// Scalars of every kind in one long field, crossing the reading window many
// times, read as doubles and as integers; each reads as its own kind would
// convert, extremes included.
TEST(KQoxBlocks, ScalarsAcrossTheWindow)
{
    const int count = 30000;
    auto doubleOf = [](int i) {
        switch (i % 5)
        {
        case 0: return i * 0.25;
        case 1: return -1e300;
        case 2: return std::numeric_limits<double>::denorm_min();
        case 3: return std::numeric_limits<double>::infinity();
        default: return -0.0;
        }
    };
    for (KQox::EForm form : {KQox::eBINARY, KQox::eENCRYPTED, KQox::eASCII})
    {
        SCOPED_TRACE(form);
        std::vector<unsigned char> image(8u << 20);
        KQox w;
        ASSERT_TRUE(
            w.ProjectCreate(image.data(), static_cast<unsigned int>(image.size()), form, KQox::eVERSION_6, "k"));
        w.ProjectWriteSectionBegin("S", 6000);
        w.FieldWriteBegin("Mixed");
        for (int i = 0; i < count; ++i)
        {
            w.FieldWriteD(doubleOf(i));
            w.FieldWriteI(i % 3 == 0 ? INT_MIN + i : i);
            w.FieldWriteL(1000000000000LL + i);
        }
        w.FieldWriteEnd();
        w.ProjectWriteSectionEnd();
        ASSERT_TRUE(w.ProjectClose());
        image.resize(static_cast<size_t>(w.ProjectGetFileSize()));

        KQox f;
        ASSERT_TRUE(f.ProjectOpen(image.data(), static_cast<unsigned int>(image.size()), "k"));
        ASSERT_TRUE(f.ProjectOpenSection(0));
        ASSERT_TRUE(f.FieldReadBegin("Mixed"));
        for (int i = 0; i < count; ++i)
        {
            const double d = f.FieldReadD();
            const double expected = doubleOf(i);
            if (form == KQox::eASCII && i % 5 == 2)
                EXPECT_GE(d, 0.0); // the text of a denormal may round to zero
            else
                ASSERT_EQ(std::memcmp(&d, &expected, sizeof d), 0) << i;
            const int integer = i % 3 == 0 ? INT_MIN + i : i;
            if (i % 2 == 0)
                ASSERT_EQ(f.FieldReadI(), integer) << i;
            else
                ASSERT_EQ(f.FieldReadD(), static_cast<double>(integer)) << i;
            ASSERT_EQ(f.FieldReadI(), INT_MAX) << i; // a long beyond int range is clamped
        }
        EXPECT_EQ(f.FieldReadGetRemain(), 0);
        EXPECT_EQ(f.FieldReadD(), 0.0);
        EXPECT_EQ(f.FieldReadI(), 0);
        f.FieldReadEnd();
        EXPECT_EQ(f.GetLastErrorID(), -1);
    }
}
