// Field layer of the native file: messages, misuse, damaged and hostile input.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/kqox.h"
#include "kqox_test_util.h"

namespace {

using kqoxtest::Crc32;
using kqoxtest::Reseal;
using qoxtest::TempDir;

const KQox::EForm kForms[] = {KQox::eBINARY, KQox::eASCII, KQox::eENCRYPTED};

// Reads every value of every record of the current list, depth first.
void WalkList(KQox& f, int depth)
{
    int count = f.FieldReadGetRecordCount();
    for (int i = 0; i < count; ++i)
    {
        bool section = false;
        std::string name = f.FieldReadGetRecordName(i, &section);
        if (section)
        {
            if (f.ProjectReadSectionBegin(name.c_str()))
            {
                WalkList(f, depth + 1);
                f.ProjectReadSectionEnd();
            }
            continue;
        }
        if (!f.FieldReadBegin(name.c_str()))
            continue;
        while (f.FieldReadGetRemain() > 0)
        {
            char type = f.FieldReadGetType();
            if (type == 'R')
            {
                std::vector<unsigned char> raw(static_cast<size_t>(f.FieldReadRSize()) + 1);
                if (!f.FieldReadR(raw.data(), raw.size()))
                    f.FieldReadD();
            }
            else if (type == 'S')
            {
                f.FieldReadC();
            }
            else
            {
                f.FieldReadT();
            }
        }
        if (depth < 64 && f.FieldReadBlockBegin())
        {
            WalkList(f, depth + 1);
            f.FieldReadBlockEnd();
        }
        f.FieldReadEnd();
    }
}

// True when the whole image opens and reads without any error.
bool ReadsCleanly(const std::vector<unsigned char>& image, bool checkIntegrity, const char* password = nullptr)
{
    KQox f;
    if (!f.ProjectOpen(image.data(), static_cast<unsigned int>(image.size()), password, checkIntegrity))
        return false;
    f.GetError().ClearLastError();
    WalkList(f, 0);
    return f.GetLastErrorID() == -1;
}

std::vector<unsigned char> SmallFile(KQox::EForm form, const char* password = nullptr)
{
    std::vector<unsigned char> image(2048);
    KQox f;
    f.ProjectCreate(image.data(), 2048, form, 6000, password);
    f.FieldWriteBegin("Name");
    f.FieldWriteC("small");
    f.FieldWriteEnd();
    f.ProjectWriteSectionBegin("Objects", 6000);
    f.FieldWriteBegin("Model");
    f.FieldWriteC("Cube");
    f.FieldWriteI(4);
    f.FieldWriteBlockBegin();
    f.FieldWriteBegin("Position");
    f.FieldWriteD(1.5);
    f.FieldWriteL(-3);
    f.FieldWriteCH('z');
    f.FieldWriteR("abc", 3);
    f.FieldWriteEnd();
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
    f.ProjectClose();
    image.resize(static_cast<size_t>(f.ProjectGetFileSize()));
    return image;
}


void StoreLE(std::vector<unsigned char>& image, size_t at, unsigned long long v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        image[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

size_t Find(const std::vector<unsigned char>& image, const char* text)
{
    std::string s(image.begin(), image.end());
    return s.find(text);
}

TEST(KQoxErrors, WritingMessages)
{
    std::vector<unsigned char> image(1024);
    KQox f;
    EXPECT_FALSE(f.FieldWriteBegin("A"));
    EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_NOT_OPENED);
    EXPECT_STREQ(f.GetLastErrorString(), "File not opened");

    ASSERT_TRUE(f.ProjectCreate(image.data(), 1024));
    EXPECT_FALSE(f.FieldWriteI(1));
    EXPECT_EQ(f.GetLastErrorID(), 10);
    EXPECT_STREQ(f.GetLastErrorString(), "Write field error : Field not opened");
    EXPECT_FALSE(f.FieldWriteBlockBegin());
    EXPECT_EQ(f.GetLastErrorID(), 10);
    EXPECT_FALSE(f.FieldWriteEnd());
    EXPECT_EQ(f.GetLastErrorID(), 10);

    ASSERT_TRUE(f.FieldWriteBegin("A"));
    EXPECT_FALSE(f.FieldWriteBegin("B"));
    EXPECT_STREQ(f.GetLastErrorString(), "Begin Field error last field not closed");
    EXPECT_FALSE(f.ProjectWriteSectionBegin("S", 6000));
    EXPECT_EQ(f.GetLastErrorID(), KQox::eBEGIN_FIELD_ERROR);
    ASSERT_TRUE(f.FieldWriteBlockBegin());
    ASSERT_TRUE(f.FieldWriteBlockEnd());
    EXPECT_FALSE(f.FieldWriteD(1.0)); // a field takes no values after its block
    EXPECT_EQ(f.GetLastErrorID(), 10);
    EXPECT_FALSE(f.FieldWriteBlockEnd());
    EXPECT_STREQ(f.GetLastErrorString(), "Block error : no block opened");
    ASSERT_TRUE(f.FieldWriteEnd());

    // Open items are closed by ProjectClose; the file reads back.
    ASSERT_TRUE(f.ProjectWriteSectionBegin("S", 6000));
    ASSERT_TRUE(f.FieldWriteBegin("Open"));
    ASSERT_TRUE(f.FieldWriteI(5));
    ASSERT_TRUE(f.FieldWriteBlockBegin());
    ASSERT_TRUE(f.FieldWriteBegin("Inner"));
    ASSERT_TRUE(f.ProjectClose());
    KQox r;
    ASSERT_TRUE(r.ProjectOpen(image.data(), static_cast<unsigned int>(f.ProjectGetFileSize())));
    ASSERT_TRUE(r.ProjectOpenSection(0));
    EXPECT_EQ(r.FieldReadI("Open", 0), 5);
}

TEST(KQoxErrors, NoSpaceLeftOnDevice)
{
    for (KQox::EForm form : kForms)
    {
        std::vector<unsigned char> image(200);
        KQox f;
        ASSERT_TRUE(f.ProjectCreate(image.data(), 200, form));
        f.FieldWriteBegin("Data");
        for (int i = 0; i < 100; ++i)
            f.FieldWriteD(i);
        f.FieldWriteEnd();
        EXPECT_FALSE(f.ProjectClose()) << form;
        EXPECT_EQ(f.GetLastErrorID(), 11);
        EXPECT_STREQ(f.GetLastErrorString(), "No space left on device");
    }
}

TEST(KQoxErrors, OpeningMessages)
{
    TempDir dir;
    KQox f;
    EXPECT_FALSE(f.ProjectOpen(dir.File("missing.qox").c_str()));
    EXPECT_STREQ(f.GetLastErrorString(), "File not opened: no such file");
    EXPECT_FALSE(f.ProjectCreate(dir.File("no/such/dir.qox").c_str()));
    EXPECT_STREQ(f.GetLastErrorString(), "File not created");
    EXPECT_FALSE(f.ProjectCreate(dir.File("v.qox").c_str(), KQox::eBINARY, 7000));
    EXPECT_STREQ(f.GetLastErrorString(), "File version is not supported yet");

    // Headers naming a version outside the supported range.
    std::vector<unsigned char> image = SmallFile(KQox::eBINARY);
    StoreLE(image, 24, 7000, 4);
    Reseal(image);
    EXPECT_FALSE(f.ProjectOpen(image.data(), static_cast<unsigned int>(image.size())));
    EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_VERSION_NOT_SUPPORTED_YET);
    StoreLE(image, 24, 999, 4);
    Reseal(image);
    EXPECT_FALSE(f.ProjectOpen(image.data(), static_cast<unsigned int>(image.size())));
    EXPECT_STREQ(f.GetLastErrorString(), "File version is not supported anymore");
    // Every version from 1000 to 6999 is read.
    for (unsigned int version : {1000u, 2000u, 4000u, 5000u, 5800u, 6000u, 6999u})
    {
        StoreLE(image, 24, version, 4);
        Reseal(image);
        EXPECT_TRUE(f.ProjectOpen(image.data(), static_cast<unsigned int>(image.size()))) << version;
        EXPECT_EQ(f.ProjectGetFileVersion(), static_cast<int>(version));
    }

    std::string ascii = "; Tolvane QOX ASCII 900\n; EOF\n";
    EXPECT_FALSE(f.ProjectOpen(ascii.data(), static_cast<unsigned int>(ascii.size())));
    EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_VERSION_NOT_SUPPORTED_ANYMORE);
    // Another kind of file is told apart from the start of a native one.
    std::string other = "PK\x03\x04 not a scene";
    EXPECT_FALSE(f.ProjectOpen(other.data(), static_cast<unsigned int>(other.size())));
    EXPECT_STREQ(f.GetLastErrorString(), "File is corrupted: not a native scene file");
    std::string cut = "; Tolvane QOX";
    EXPECT_FALSE(f.ProjectOpen(cut.data(), static_cast<unsigned int>(cut.size())));
    EXPECT_STREQ(f.GetLastErrorString(), "File is corrupted");
}

TEST(KQoxErrors, WrongPassword)
{
    std::vector<unsigned char> image = SmallFile(KQox::eENCRYPTED, "right");
    KQox f;
    EXPECT_FALSE(f.ProjectOpen(image.data(), static_cast<unsigned int>(image.size()), "wrong"));
    EXPECT_EQ(f.GetLastErrorID(), KQox::eWRONG_PASSWORD);
    EXPECT_STREQ(f.GetLastErrorString(), "Wrong password");
    EXPECT_FALSE(f.ProjectOpen(image.data(), static_cast<unsigned int>(image.size())));
    EXPECT_STREQ(f.GetLastErrorString(), "Wrong password");
    EXPECT_TRUE(ReadsCleanly(image, true, "right"));
    // Without a password the empty one is used, on both sides.
    EXPECT_TRUE(ReadsCleanly(SmallFile(KQox::eENCRYPTED), true));
    // The body is enciphered: no name shows in the bytes.
    EXPECT_EQ(Find(image, "Objects"), std::string::npos);
    EXPECT_NE(Find(SmallFile(KQox::eBINARY), "Objects"), std::string::npos);
}

// Without the check value, a damaged key check is told from a wrong password
// by the rest of the file: with the right key the top-level list deciphers
// whole.
TEST(KQoxErrors, DamagedKeyCheckIsCorruption)
{
    std::vector<unsigned char> image = SmallFile(KQox::eENCRYPTED, "right");
    std::vector<unsigned char> damaged = image;
    damaged[48] ^= 0x01; // first byte of the enciphered key check
    KQox f;
    EXPECT_FALSE(f.ProjectOpen(damaged.data(), static_cast<unsigned int>(damaged.size()), "right", false));
    EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
    EXPECT_STREQ(f.GetLastErrorString(), "File is corrupted");
    EXPECT_FALSE(f.ProjectOpen(damaged.data(), static_cast<unsigned int>(damaged.size()), "right", true));
    EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
    // A wrong password stays a wrong password, damaged or not.
    EXPECT_FALSE(f.ProjectOpen(damaged.data(), static_cast<unsigned int>(damaged.size()), "wrong", false));
    EXPECT_EQ(f.GetLastErrorID(), KQox::eWRONG_PASSWORD);
    EXPECT_FALSE(f.ProjectOpen(image.data(), static_cast<unsigned int>(image.size()), "wrong", false));
    EXPECT_EQ(f.GetLastErrorID(), KQox::eWRONG_PASSWORD);
    EXPECT_TRUE(f.ProjectOpen(image.data(), static_cast<unsigned int>(image.size()), "right", false));
}

// An extraction that fails part way removes the file it was writing.
TEST(KQoxErrors, FailedExtractionLeavesNoFile)
{
    TempDir dir;
    std::string name = dir.File("media.qox");
    std::vector<unsigned char> raw(3 * 1024 * 1024);
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<unsigned char>(i * 31 + (i >> 9));
    {
        KQox f;
        ASSERT_TRUE(f.ProjectCreate(name.c_str()));
        f.ProjectWriteSectionBegin("Media", 6000);
        f.FieldWriteBegin("Content");
        f.FieldWriteR(raw.data(), raw.size());
        f.FieldWriteEnd();
        f.ProjectWriteSectionEnd();
        ASSERT_TRUE(f.ProjectClose());
    }
    std::string extracted = dir.File("extracted.bin");
    KQox r;
    ASSERT_TRUE(r.ProjectOpen(name.c_str(), nullptr, false));
    ASSERT_TRUE(r.ProjectOpenSection(0));
    ASSERT_TRUE(r.FieldReadBegin("Content"));
    ASSERT_EQ(r.FieldReadRSize(), raw.size());
    // The file loses its second half while it is being read.
    ASSERT_EQ(truncate(name.c_str(), static_cast<off_t>(raw.size() / 2)), 0);
    EXPECT_FALSE(r.FieldReadRFile(extracted.c_str()));
    EXPECT_EQ(r.GetLastErrorID(), KQox::eFILE_CORRUPTED);
    EXPECT_FALSE(std::filesystem::exists(extracted));
}

// Cutting a small valid file at any byte gives an error, never a crash,
// with or without the check value.
TEST(KQoxDamage, TruncationAtEveryOffset)
{
    for (KQox::EForm form : kForms)
    {
        std::vector<unsigned char> image = SmallFile(form);
        ASSERT_TRUE(ReadsCleanly(image, true));
        ASSERT_TRUE(ReadsCleanly(image, false));
        for (size_t length = 0; length < image.size(); ++length)
        {
            std::vector<unsigned char> cut(image.begin(), image.begin() + static_cast<long>(length));
            if (cut.empty())
                cut.reserve(1);
            EXPECT_FALSE(ReadsCleanly(cut, true)) << form << " " << length;
            EXPECT_FALSE(ReadsCleanly(cut, false)) << form << " " << length;
            KQox f;
            if (!f.ProjectOpen(cut.data(), static_cast<unsigned int>(cut.size())))
            {
                EXPECT_GE(f.GetLastErrorID(), 0);
            }
        }
    }
}

// Any changed byte of a binary or encrypted file is caught by the check value.
TEST(KQoxDamage, EveryChangedByteIsCorruption)
{
    for (KQox::EForm form : {KQox::eBINARY, KQox::eENCRYPTED})
    {
        std::vector<unsigned char> image = SmallFile(form);
        for (size_t at = 0; at < image.size(); ++at)
        {
            std::vector<unsigned char> damaged = image;
            damaged[at] ^= 0x20;
            KQox f;
            EXPECT_FALSE(f.ProjectOpen(damaged.data(), static_cast<unsigned int>(damaged.size())));
            EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED) << form << " " << at;
            // Without the check, structure damage still never crashes, and
            // the check asked for later finds it.
            ReadsCleanly(damaged, false);
            KQox quick;
            if (quick.ProjectOpen(damaged.data(), static_cast<unsigned int>(damaged.size()), nullptr, false))
            {
                EXPECT_FALSE(quick.ProjectCheckIntegrity()) << form << " " << at;
                EXPECT_EQ(quick.GetLastErrorID(), KQox::eFILE_CORRUPTED);
            }
        }
    }
}

// Counts, lengths and sizes from a file are checked before use; a file whose
// check value is valid but whose numbers lie is refused.
TEST(KQoxDamage, HostileCountsAndLengths)
{
    std::vector<unsigned char> image = SmallFile(KQox::eBINARY);
    size_t model = Find(image, "Model");
    size_t position = Find(image, "Position");
    ASSERT_NE(model, std::string::npos);
    ASSERT_NE(position, std::string::npos);
    size_t sizes = model + 5; // count, value bytes, block bytes
    struct Edit
    {
        size_t at;
        unsigned long long value;
        int bytes;
    };
    const Edit edits[] = {
        {sizes, 0xFFFFFFFFull, 4},                                     // count beyond the value bytes
        {sizes + 4, 0x7FFFFFFFFFFFFFFFull, 8},                         // value bytes beyond the file
        {sizes + 12, 0xFFFFFFFFFFFFFFFFull, 8},                        // block bytes beyond the file
        {sizes + 12, 0, 8},                                            // block lost: the rest misparses
        {model - 2, 0xFFFF, 2},                                        // name length beyond the file
        {position + 8 + 20 + 9 + 9 + 2 + 1, 0x7FFFFFFFFFFFFFFFull, 8}, // raw size
    };
    for (const Edit& edit : edits)
    {
        std::vector<unsigned char> hostile = image;
        StoreLE(hostile, edit.at, edit.value, edit.bytes);
        Reseal(hostile);
        EXPECT_FALSE(ReadsCleanly(hostile, true)) << edit.at;
    }
    // A string length past its record.
    size_t cube = Find(image, "Cube");
    std::vector<unsigned char> hostile = image;
    StoreLE(hostile, cube - 4, 0xFFFFFFF0u, 4);
    Reseal(hostile);
    KQox f;
    ASSERT_TRUE(f.ProjectOpen(hostile.data(), static_cast<unsigned int>(hostile.size())));
    ASSERT_TRUE(f.ProjectOpenSection(0));
    ASSERT_TRUE(f.FieldReadBegin("Model"));
    EXPECT_STREQ(f.FieldReadC(), "");
    EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
    EXPECT_EQ(f.FieldReadGetRemain(), 0);
}

// A field announcing 2^31 values or more: the remaining count is clamped,
// never negative. The values lie in a hole of a sparse file.
TEST(KQoxDamage, RemainOfAHugeFieldIsClamped)
{
    TempDir dir;
    std::string name = dir.File("huge.qox");
    const unsigned long long valueBytes = 1ull << 32;
    std::vector<unsigned char> head(32 + 24, 0);
    std::memcpy(head.data(), "Tolvane QOX Binary  ", 20);
    head[21] = 0x1A;
    head[22] = 'B';
    head[23] = 1;
    StoreLE(head, 24, 6000, 4);
    head[32] = 'F';
    StoreLE(head, 33, 1, 2);
    head[35] = 'V';
    StoreLE(head, 36, 0x80000000ull, 4);           // 2^31 values
    StoreLE(head, 40, valueBytes, 8);              // 'C' values, two bytes each
    StoreLE(head, 48, 0, 8);                       // no block
    const unsigned char tail[5] = {0, 0, 0, 0, 0}; // end marker, unchecked check value
    int fd = open(name.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    bool written = pwrite(fd, head.data(), head.size(), 0) == static_cast<ssize_t>(head.size()) &&
                   pwrite(fd, tail, sizeof(tail), static_cast<off_t>(head.size() + valueBytes)) ==
                       static_cast<ssize_t>(sizeof(tail));
    close(fd);
    if (!written)
        GTEST_SKIP() << "no room for a sparse file of 4 GiB";
    KQox f;
    ASSERT_TRUE(f.ProjectOpen(name.c_str(), nullptr, false)) << f.GetLastErrorString();
    ASSERT_TRUE(f.FieldReadBegin("V"));
    EXPECT_EQ(f.FieldReadGetRemain(), 2147483647);
}

TEST(KQoxDamage, HostileAsciiText)
{
    const char* texts[] = {
        "; Tolvane QOX ASCII 6000\nA: *999999999999999:AAAA\n; EOF\n",
        "; Tolvane QOX ASCII 6000\nA: *4:AA\n; EOF\n",
        "; Tolvane QOX ASCII 6000\nA: \"open\n; EOF\n",
        "; Tolvane QOX ASCII 6000\nA: 1 {\n  B: 2\n; EOF\n",
        "; Tolvane QOX ASCII 6000\nA: 1,,2\n; EOF\n",
        "; Tolvane QOX ASCII 6000\nA 1\n; EOF\n",
        "; Tolvane QOX ASCII 6000\n[S]: x {\n}\n; EOF\n",
        "; Tolvane QOX ASCII 6000\n[S]: 5\n; EOF\n",
        "; Tolvane QOX ASCII 6000\nA: \"\\q\"\n; EOF\n",
        "; Tolvane QOX ASCII 6000\nA: 1 } \n; EOF\n",
        "; Tolvane QOX ASCII 6000\nA: 1\n; EO",
    };
    for (const char* text : texts)
    {
        std::vector<unsigned char> image(text, text + std::strlen(text));
        EXPECT_FALSE(ReadsCleanly(image, true)) << text;
    }
    // Comments, blank lines and Windows line ends are accepted.
    std::string fine =
        "; Tolvane QOX ASCII 6000\r\n\r\n; note {\r\nA: 1, 2 ; trailing\r\n  [S]: 6000 {\r\n  }\r\n; EOF\r\n";
    KQox f;
    ASSERT_TRUE(f.ProjectOpen(fine.data(), static_cast<unsigned int>(fine.size()))) << f.GetLastErrorString();
    ASSERT_TRUE(f.FieldReadBegin("A"));
    EXPECT_EQ(f.FieldReadGetRemain(), 2);
    EXPECT_EQ(f.FieldReadI() + f.FieldReadI(), 3);
    EXPECT_EQ(f.ProjectGetSectionCount(), 1);
}

} // namespace
