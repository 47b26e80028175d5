// Field layer of the native file: round trips, layouts and reading rules.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/kqox.h"
#include "common/qox_test_threads.h"
#include "kqox_test_util.h"

namespace {

using kqoxtest::Crc32;
using qoxtest::TempDir;

const KQox::EForm kForms[] = {KQox::eBINARY, KQox::eASCII, KQox::eENCRYPTED};

std::vector<unsigned char> RawBytes()
{
    std::vector<unsigned char> bytes(300);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 7 + 3);
    return bytes;
}

// Every value type, nested and empty blocks, empty strings and fields, a
// section of each time encoding.
void WriteSample(KQox& f)
{
    f.FieldWriteBegin("Creator");
    f.FieldWriteC("Tolvane \"SDK\"\n\ttab \\ end");
    f.FieldWriteEnd();

    f.ProjectWriteSectionBegin("Definitions", 6000);
    f.FieldWriteBegin("Count");
    f.FieldWriteI(3);
    f.FieldWriteEnd();
    f.FieldWriteBegin("Empty");
    f.FieldWriteEnd();
    f.FieldWriteBegin("EmptyString");
    f.FieldWriteC("");
    f.FieldWriteEnd();
    f.FieldWriteBegin("Values");
    f.FieldWriteCH('x');
    f.FieldWriteCH(',');
    f.FieldWriteCH(0);
    f.FieldWriteI(-7);
    f.FieldWriteI(2147483647);
    f.FieldWriteL(-(1LL << 40) - 5);
    f.FieldWriteF(1.25f);
    f.FieldWriteD(0.1);
    f.FieldWriteD(-2.5e-300);
    f.FieldWriteC("comma, brace { quote \" end");
    f.FieldWriteT(KTime(1924423250));
    std::vector<unsigned char> raw = RawBytes();
    f.FieldWriteR(raw.data(), raw.size());
    f.FieldWriteR(raw.data(), 0);
    f.FieldWriteEnd();
    f.FieldWriteBegin("Lcl Translation");
    f.FieldWriteC("Outer");
    f.FieldWriteBlockBegin();
    f.FieldWriteBegin("Inner");
    f.FieldWriteI(1);
    f.FieldWriteBlockBegin();
    f.FieldWriteBegin("Deep");
    f.FieldWriteD(2.5);
    f.FieldWriteEnd();
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
    f.FieldWriteBegin("EmptyBlock");
    f.FieldWriteBlockBegin();
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();

    f.ProjectWriteSectionBegin("Takes", 2000);
    f.FieldWriteBegin("Time");
    f.FieldWriteT(KTime(69279237000LL)); // 1.5 s
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
}

void CheckSample(KQox& f)
{
    EXPECT_STREQ(f.FieldReadC("Creator", "?"), "Tolvane \"SDK\"\n\ttab \\ end");
    ASSERT_EQ(f.ProjectGetSectionCount(), 2);
    EXPECT_STREQ(f.ProjectGetSectionName(0), "Definitions");
    EXPECT_EQ(f.ProjectGetSectionVersion(0), 6000);
    EXPECT_STREQ(f.ProjectGetSectionName(1), "Takes");
    EXPECT_EQ(f.ProjectGetSectionVersion(1), 2000);
    EXPECT_EQ(f.ProjectGetSectionVersion(2), -1);

    ASSERT_TRUE(f.ProjectOpenSection(0));
    EXPECT_EQ(f.ProjectGetCurrentSection(), 0);
    EXPECT_EQ(f.ProjectGetCurrentSectionVersion(), 6000);
    EXPECT_EQ(f.FieldReadI("Count", 0), 3);
    ASSERT_TRUE(f.FieldReadBegin("Empty"));
    EXPECT_EQ(f.FieldReadGetRemain(), 0);
    EXPECT_EQ(f.FieldReadI(), 0);
    EXPECT_FALSE(f.FieldReadBlockBegin());
    f.FieldReadEnd();
    EXPECT_STREQ(f.FieldReadC("EmptyString", "default"), "");

    ASSERT_TRUE(f.FieldReadBegin("Values"));
    EXPECT_EQ(f.FieldReadGetRemain(), 13);
    EXPECT_EQ(f.FieldReadCH(), 'x');
    EXPECT_EQ(f.FieldReadCH(), ',');
    EXPECT_EQ(f.FieldReadCH(), 0);
    EXPECT_EQ(f.FieldReadI(), -7);
    EXPECT_EQ(f.FieldReadI(), 2147483647);
    EXPECT_EQ(f.FieldReadL(), -(1LL << 40) - 5);
    EXPECT_EQ(f.FieldReadF(), 1.25f);
    EXPECT_EQ(f.FieldReadD(), 0.1);
    double tiny = f.FieldReadD();
    EXPECT_NEAR(tiny / -2.5e-300, 1.0, 1e-14);
    EXPECT_STREQ(f.FieldReadC(), "comma, brace { quote \" end");
    EXPECT_EQ(f.FieldReadT().Get(), 1924423250);
    std::vector<unsigned char> raw = RawBytes();
    EXPECT_EQ(f.FieldReadGetType(), 'R');
    ASSERT_EQ(f.FieldReadRSize(), raw.size());
    std::vector<unsigned char> back(raw.size());
    EXPECT_FALSE(f.FieldReadR(back.data(), 10)); // too small: not consumed
    ASSERT_TRUE(f.FieldReadR(back.data(), back.size()));
    EXPECT_EQ(back, raw);
    EXPECT_EQ(f.FieldReadRSize(), 0u);
    EXPECT_TRUE(f.FieldReadR(nullptr, 0));
    EXPECT_EQ(f.FieldReadGetRemain(), 0);
    EXPECT_EQ(f.FieldReadD(), 0.0);
    f.FieldReadEnd();

    ASSERT_TRUE(f.FieldReadBegin("Lcl Translation"));
    EXPECT_STREQ(f.FieldReadC(), "Outer");
    ASSERT_TRUE(f.FieldReadBlockBegin());
    ASSERT_TRUE(f.FieldReadBegin("Inner"));
    EXPECT_EQ(f.FieldReadI(), 1);
    ASSERT_TRUE(f.FieldReadBlockBegin());
    EXPECT_EQ(f.FieldReadD("Deep", 0.0), 2.5);
    EXPECT_TRUE(f.FieldReadBlockEnd());
    f.FieldReadEnd();
    ASSERT_TRUE(f.FieldReadBegin("EmptyBlock"));
    ASSERT_TRUE(f.FieldReadBlockBegin());
    EXPECT_EQ(f.FieldReadGetRecordCount(), 0);
    EXPECT_FALSE(f.FieldReadBegin("Anything"));
    EXPECT_TRUE(f.FieldReadBlockEnd());
    f.FieldReadEnd();
    EXPECT_TRUE(f.FieldReadBlockEnd());
    f.FieldReadEnd();
    EXPECT_TRUE(f.ProjectReadSectionEnd());

    ASSERT_TRUE(f.ProjectOpenSection(1));
    EXPECT_EQ(f.ProjectGetCurrentSectionVersion(), 2000);
    EXPECT_EQ(f.FieldReadT("Time", KTime(0)).Get(), 69279237000LL);
    EXPECT_TRUE(f.ProjectReadSectionEnd());
    EXPECT_EQ(f.GetLastErrorID(), -1);
}

TEST(KQoxRoundTrip, EveryFormOnDisk)
{
    TempDir dir;
    for (KQox::EForm form : kForms)
    {
        std::string name = dir.File("sample.qox");
        KQox writer;
        ASSERT_TRUE(writer.ProjectCreate(name.c_str(), form, KQox::eVERSION_6, "secret"));
        WriteSample(writer);
        ASSERT_TRUE(writer.ProjectClose()) << writer.GetLastErrorString();
        EXPECT_EQ(writer.ProjectGetFileSize(), std::filesystem::file_size(name));

        KQox reader;
        ASSERT_TRUE(reader.ProjectOpen(name.c_str(), "secret")) << form << reader.GetLastErrorString();
        EXPECT_EQ(reader.ProjectGetForm(), form);
        EXPECT_EQ(reader.IsBinary(), form != KQox::eASCII);
        EXPECT_EQ(reader.IsEncrypted(), form == KQox::eENCRYPTED);
        EXPECT_EQ(reader.ProjectGetFileVersion(), 6000);
        SCOPED_TRACE(form);
        CheckSample(reader);
    }
}

TEST(KQoxRoundTrip, EveryFormInMemoryAndVersion5)
{
    for (KQox::EForm form : kForms)
    {
        std::vector<unsigned char> image(8192, 0xEE);
        KQox writer;
        ASSERT_TRUE(
            writer.ProjectCreate(image.data(), static_cast<unsigned int>(image.size()), form, KQox::eVERSION_5));
        WriteSample(writer);
        ASSERT_TRUE(writer.ProjectClose()) << writer.GetLastErrorString();
        unsigned int size = static_cast<unsigned int>(writer.ProjectGetFileSize());
        ASSERT_GT(size, 0u);
        ASSERT_LT(size, image.size());

        KQox reader;
        ASSERT_TRUE(reader.ProjectOpen(image.data(), size)) << reader.GetLastErrorString();
        EXPECT_EQ(reader.ProjectGetFileVersion(), 5800);
        SCOPED_TRACE(form);
        CheckSample(reader);
    }
}

// Fifteen digits for doubles, nine for floats; a finite number never comes
// back infinite ("3.40282347e+38" parses above FLT_MAX, "1.79769313486232e+308"
// above DBL_MAX), while a written infinity or NaN stays what it was.
TEST(KQoxRoundTrip, AsciiKeepsFifteenDigitsAndFloatsExactly)
{
    const double belowMax = std::nextafter(DBL_MAX, 0.0);
    const double doubles[][2] = {
        // written, read back
        {1.0 / 3.0, 0.333333333333333},
        {-1e308, -1e308},
        {DBL_MAX, DBL_MAX},
        {belowMax, DBL_MAX},
        {std::nextafter(belowMax, 0.0), DBL_MAX},
        {std::nextafter(std::nextafter(belowMax, 0.0), 0.0), DBL_MAX},
        {-DBL_MAX, -DBL_MAX},
        {DBL_MIN, 2.2250738585072e-308},
        {HUGE_VAL, HUGE_VAL},
        {-HUGE_VAL, -HUGE_VAL},
    };
    const float floats[][2] = {
        {1.0f / 3.0f, 1.0f / 3.0f}, {FLT_MAX, FLT_MAX}, {-FLT_MAX, -FLT_MAX}, {FLT_TRUE_MIN, FLT_TRUE_MIN}};
    std::vector<unsigned char> image(4096);
    KQox writer;
    ASSERT_TRUE(writer.ProjectCreate(image.data(), 4096, KQox::eASCII));
    writer.FieldWriteBegin("D");
    for (const auto& d : doubles)
        writer.FieldWriteD(d[0]);
    writer.FieldWriteD(std::nan(""));
    writer.FieldWriteEnd();
    writer.FieldWriteBegin("F");
    for (const auto& f : floats)
        writer.FieldWriteF(f[0]);
    writer.FieldWriteD(DBL_MAX); // read as a float: the largest one
    writer.FieldWriteEnd();
    ASSERT_TRUE(writer.ProjectClose());

    KQox reader;
    ASSERT_TRUE(reader.ProjectOpen(image.data(), static_cast<unsigned int>(writer.ProjectGetFileSize())));
    ASSERT_TRUE(reader.FieldReadBegin("D"));
    for (const auto& d : doubles)
        EXPECT_EQ(reader.FieldReadD(), d[1]) << d[0];
    EXPECT_TRUE(std::isnan(reader.FieldReadD()));
    ASSERT_TRUE(reader.FieldReadBegin("F"));
    for (const auto& f : floats)
        EXPECT_EQ(reader.FieldReadF(), f[1]) << f[0];
    EXPECT_EQ(reader.FieldReadF(), FLT_MAX);
}

// The binary layout, byte by byte.
TEST(KQoxLayout, BinaryBytesOfASmallFile)
{
    std::vector<unsigned char> image(256);
    KQox f;
    ASSERT_TRUE(f.ProjectCreate(image.data(), 256, KQox::eBINARY, 6000));
    f.ProjectWriteSectionBegin("S", 6000);
    f.FieldWriteBegin("A");
    f.FieldWriteI(1);
    f.FieldWriteCH('x');
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
    ASSERT_TRUE(f.ProjectClose());

    std::vector<unsigned char> expected;
    auto add = [&](std::initializer_list<int> bytes) {
        for (int b : bytes)
            expected.push_back(static_cast<unsigned char>(b));
    };
    auto addText = [&](const char* text) { expected.insert(expected.end(), text, text + std::strlen(text)); };
    // Header: magic, 0x00 0x1A, form 'B', revision 1, version 6000 (0x1770), reserved.
    addText("Tolvane QOX Binary  ");
    add({0x00, 0x1A, 'B', 1, 0x70, 0x17, 0, 0, 0, 0, 0, 0});
    // Section record: kind 'S', name length 1, "S", 1 value of 5 bytes, a 32-byte block.
    add({'S', 1, 0, 'S'});
    add({1, 0, 0, 0});
    add({5, 0, 0, 0, 0, 0, 0, 0});
    add({32, 0, 0, 0, 0, 0, 0, 0});
    add({'I', 0x70, 0x17, 0, 0});
    // Field record in the block: "A", 2 values in 7 bytes, no block (23 + 1 + 7 = 31 bytes).
    add({'F', 1, 0, 'A'});
    add({2, 0, 0, 0});
    add({7, 0, 0, 0, 0, 0, 0, 0});
    add({0, 0, 0, 0, 0, 0, 0, 0});
    add({'I', 1, 0, 0, 0, 'C', 'x'});
    add({0}); // end of the section's list
    add({0}); // end of the top-level list
    unsigned int crc = Crc32(expected.data(), expected.size());
    add({static_cast<int>(crc >> 24), static_cast<int>((crc >> 16) & 0xFF), static_cast<int>((crc >> 8) & 0xFF),
         static_cast<int>(crc & 0xFF)});

    ASSERT_EQ(f.ProjectGetFileSize(), expected.size());
    EXPECT_EQ(std::vector<unsigned char>(image.begin(), image.begin() + static_cast<long>(expected.size())), expected);
}

TEST(KQoxLayout, AsciiTextOfASmallFile)
{
    std::vector<unsigned char> image(512);
    KQox f;
    ASSERT_TRUE(f.ProjectCreate(image.data(), 512, KQox::eASCII, 6000));
    f.FieldWriteBegin("Creator");
    f.FieldWriteC("a \"b\"");
    f.FieldWriteEnd();
    f.ProjectWriteSectionBegin("S", 1500);
    f.FieldWriteBegin("A");
    f.FieldWriteI(1);
    f.FieldWriteCH('x');
    f.FieldWriteCH(' ');
    f.FieldWriteD(0.5);
    f.FieldWriteT(KTime(qoxtest::kTicksPerSecond * 2));
    f.FieldWriteBlockBegin();
    f.FieldWriteBegin("Two words");
    f.FieldWriteR("hi", 2);
    f.FieldWriteEnd();
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
    ASSERT_TRUE(f.ProjectClose());
    std::string text(reinterpret_cast<char*>(image.data()), static_cast<size_t>(f.ProjectGetFileSize()));
    EXPECT_EQ(text, "; Tolvane QOX ASCII 6000\n"
                    "Creator: \"a \\\"b\\\"\"\n"
                    "[S]: 1500 {\n"
                    "    A: 1,x,\" \",0.5,2 {\n"
                    "        \"Two words\": *2:aGk=\n"
                    "    }\n"
                    "}\n"
                    "; EOF\n");
}

TEST(KQoxLayout, TimesFollowTheSectionVersion)
{
    std::vector<unsigned char> image(512);
    KQox f;
    ASSERT_TRUE(f.ProjectCreate(image.data(), 512));
    f.ProjectWriteSectionBegin("Old", 2000);
    EXPECT_EQ(f.ProjectGetCurrentSectionVersion(), 2000);
    EXPECT_EQ(f.ProjectGetCurrentSection(), 0);
    f.FieldWriteBegin("T");
    f.FieldWriteT(KTime(23093079000LL)); // 0.5 s as 'D'
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
    f.ProjectWriteSectionBegin("New", 2001);
    EXPECT_EQ(f.ProjectGetCurrentSection(), 1);
    f.FieldWriteBegin("T");
    f.FieldWriteT(KTime(23093079000LL)); // ticks as 'L'
    f.FieldWriteD(0.25);                 // seconds read back as time
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
    ASSERT_TRUE(f.ProjectClose());

    KQox r;
    ASSERT_TRUE(r.ProjectOpen(image.data(), static_cast<unsigned int>(f.ProjectGetFileSize())));
    ASSERT_TRUE(r.ProjectOpenSection(r.ProjectFindSection("Old")));
    ASSERT_TRUE(r.FieldReadBegin("T"));
    EXPECT_EQ(r.FieldReadGetType(), 'D');
    EXPECT_EQ(r.FieldReadD(), 0.5);
    r.FieldReadEnd();
    ASSERT_TRUE(r.ProjectOpenSection(r.ProjectFindSection("New")));
    ASSERT_TRUE(r.FieldReadBegin("T"));
    EXPECT_EQ(r.FieldReadGetType(), 'L');
    EXPECT_EQ(r.FieldReadT().Get(), 23093079000LL);
    EXPECT_EQ(r.FieldReadT().Get(), 11546539500LL);
}

TEST(KQoxLayout, TypeCodesAndRemainInBinary)
{
    std::vector<unsigned char> image(512);
    KQox f;
    ASSERT_TRUE(f.ProjectCreate(image.data(), 512));
    f.FieldWriteBegin("V");
    f.FieldWriteCH('c');
    f.FieldWriteI(1);
    f.FieldWriteL(2);
    f.FieldWriteF(3);
    f.FieldWriteD(4);
    f.FieldWriteC("5");
    f.FieldWriteR("6", 1);
    f.FieldWriteEnd();
    ASSERT_TRUE(f.ProjectClose());
    KQox r;
    ASSERT_TRUE(r.ProjectOpen(image.data(), static_cast<unsigned int>(f.ProjectGetFileSize())));
    EXPECT_EQ(r.FieldReadGetType(), 'S'); // no field current
    EXPECT_EQ(r.FieldReadGetRemain(), 0);
    EXPECT_EQ(r.FieldReadCH(), 0);
    EXPECT_EQ(r.FieldReadD(), 0.0);
    ASSERT_TRUE(r.FieldReadBegin("V"));
    const char codes[] = "CILFDSR";
    for (int i = 0; i < 7; ++i)
    {
        EXPECT_EQ(r.FieldReadGetRemain(), 7 - i);
        EXPECT_EQ(r.FieldReadGetType(), codes[i]);
        r.FieldReadL();
    }
    EXPECT_EQ(r.FieldReadGetType(), 'S');
    EXPECT_EQ(r.FieldReadGetRemain(), 0);
}

// Values read as another type convert; ASCII guesses type codes from text.
TEST(KQoxReading, ConversionsAndAsciiTypeGuesses)
{
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
    {
        std::vector<unsigned char> image(1024);
        KQox f;
        ASSERT_TRUE(f.ProjectCreate(image.data(), 1024, form));
        f.FieldWriteBegin("V");
        f.FieldWriteI(42);
        f.FieldWriteD(2.75);
        f.FieldWriteC("12.5");
        f.FieldWriteD(1e300);
        f.FieldWriteL(5000000000LL);
        f.FieldWriteCH('q');
        f.FieldWriteEnd();
        ASSERT_TRUE(f.ProjectClose());
        KQox r;
        ASSERT_TRUE(r.ProjectOpen(image.data(), static_cast<unsigned int>(f.ProjectGetFileSize())));
        ASSERT_TRUE(r.FieldReadBegin("V"));
        EXPECT_EQ(r.FieldReadGetType(), 'I');
        EXPECT_EQ(r.FieldReadD(), 42.0);
        EXPECT_EQ(r.FieldReadGetType(), 'D');
        EXPECT_EQ(r.FieldReadI(), 2);
        EXPECT_EQ(r.FieldReadGetType(), 'S');
        EXPECT_EQ(r.FieldReadD(), 12.5);
        EXPECT_EQ(r.FieldReadI(), 2147483647); // clamped
        EXPECT_EQ(r.FieldReadGetType(), 'L');
        EXPECT_STREQ(r.FieldReadC(), "5000000000");
        EXPECT_EQ(r.FieldReadGetType(), 'C');
        EXPECT_STREQ(r.FieldReadC(), "q");
    }
}

// A field written before the one just read is found by name; named reads
// keep the current field; FieldReadEnd moves to the next field of a name.
TEST(KQoxReading, OutOfOrderNamedReads)
{
    for (KQox::EForm form : kForms)
    {
        std::vector<unsigned char> image(2048);
        KQox f;
        ASSERT_TRUE(f.ProjectCreate(image.data(), 2048, form));
        const char* names[] = {"A", "B", "C", "A", "Channel", "Channel", "Channel"};
        for (int i = 0; i < 7; ++i)
        {
            f.FieldWriteBegin(names[i]);
            f.FieldWriteI(i);
            f.FieldWriteI(i * 10);
            f.FieldWriteEnd();
        }
        ASSERT_TRUE(f.ProjectClose());
        KQox r;
        ASSERT_TRUE(r.ProjectOpen(image.data(), static_cast<unsigned int>(f.ProjectGetFileSize())));
        EXPECT_EQ(r.FieldReadGetCount("A"), 2);
        EXPECT_EQ(r.FieldReadGetCount("Z"), 0);
        EXPECT_EQ(r.FieldReadI("C", -1), 2);
        EXPECT_EQ(r.FieldReadI("A", -1), 0);
        ASSERT_TRUE(r.FieldReadBegin("B"));
        EXPECT_EQ(r.FieldReadI(), 1);
        // A named read in the middle leaves B current at its second value.
        EXPECT_EQ(r.FieldReadI("A", -1), 3);
        EXPECT_EQ(r.FieldReadI(), 10);
        r.FieldReadEnd();
        EXPECT_EQ(r.FieldReadI("A", -1), -1);
        EXPECT_EQ(r.FieldReadI("B", -1), -1);
        // Without FieldReadEnd, FieldReadBegin finds the same field again.
        ASSERT_TRUE(r.FieldReadBegin("Channel"));
        ASSERT_TRUE(r.FieldReadBegin("Channel"));
        EXPECT_EQ(r.FieldReadI(), 4);
        r.FieldReadEnd();
        int seen = 0;
        while (r.FieldReadBegin("Channel"))
        {
            EXPECT_EQ(r.FieldReadI(), 5 + seen++);
            r.FieldReadEnd();
        }
        EXPECT_EQ(seen, 2);
        ASSERT_EQ(r.FieldReadGetRecordCount(), 7);
        EXPECT_STREQ(r.FieldReadGetRecordName(3), "A");
        EXPECT_EQ(r.FieldReadGetRecordName(7), nullptr);
    }
}

// Unknown fields and blocks are passed over without decoding: damage inside
// them does not disturb the fields a reader asks for.
TEST(KQoxReading, SkipsUnknownFieldsWithoutParsingThem)
{
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
    {
        std::vector<unsigned char> image(4096);
        KQox f;
        ASSERT_TRUE(f.ProjectCreate(image.data(), 4096, form));
        f.FieldWriteBegin("Unknown");
        f.FieldWriteC("UUUU");
        f.FieldWriteBlockBegin();
        f.FieldWriteBegin("Zzzz");
        f.FieldWriteD(1);
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        f.FieldWriteBegin("Known");
        f.FieldWriteI(7);
        f.FieldWriteEnd();
        ASSERT_TRUE(f.ProjectClose());
        size_t size = static_cast<size_t>(f.ProjectGetFileSize());
        // Damage the unknown field's value and its nested record.
        std::string text(reinterpret_cast<char*>(image.data()), size);
        size_t value = text.find("UUUU");
        size_t inner = text.find("Zzzz");
        ASSERT_NE(value, std::string::npos);
        ASSERT_NE(inner, std::string::npos);
        if (form == KQox::eBINARY)
        {
            image[value - 5] = '?'; // the value's type code
            image[inner - 3] = '?'; // the nested record's kind
        }
        else
        {
            image[inner + 4] = '#'; // "Zzzz:" loses its colon
        }
        KQox r;
        ASSERT_TRUE(r.ProjectOpen(image.data(), static_cast<unsigned int>(size), nullptr, false)) << form;
        EXPECT_EQ(r.FieldReadI("Known", 0), 7);
        ASSERT_TRUE(r.FieldReadBegin("Unknown"));
        EXPECT_FALSE(r.FieldReadBlockBegin());
        EXPECT_EQ(r.GetLastErrorID(), KQox::eFILE_CORRUPTED);
        EXPECT_STREQ(r.GetLastErrorString(), "File is corrupted");
    }
}

// A nested scene keeps its own sections inside a field's block.
TEST(KQoxSections, NestedSectionsAndTheirVersions)
{
    for (KQox::EForm form : kForms)
    {
        std::vector<unsigned char> image(4096);
        KQox f;
        ASSERT_TRUE(f.ProjectCreate(image.data(), 4096, form));
        f.ProjectWriteSectionBegin("Objects", 6000);
        f.FieldWriteBegin("Pose");
        f.FieldWriteBlockBegin();
        f.ProjectWriteSectionBegin("Objects", 1999);
        EXPECT_EQ(f.ProjectGetCurrentSection(), 0);
        EXPECT_EQ(f.ProjectGetCurrentSectionVersion(), 1999);
        f.FieldWriteBegin("When");
        f.FieldWriteT(KTime(qoxtest::kTicksPerSecond));
        f.FieldWriteEnd();
        EXPECT_FALSE(f.FieldWriteBlockEnd()); // a section is not a block
        EXPECT_EQ(f.GetLastErrorID(), KQox::eBLOCK_ERROR);
        f.ProjectWriteSectionEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        f.ProjectWriteSectionEnd();
        EXPECT_FALSE(f.ProjectWriteSectionEnd());
        EXPECT_EQ(f.GetLastErrorID(), KQox::eSECTION_ERROR);
        ASSERT_TRUE(f.ProjectClose());

        KQox r;
        ASSERT_TRUE(r.ProjectOpen(image.data(), static_cast<unsigned int>(f.ProjectGetFileSize())));
        EXPECT_EQ(r.ProjectGetSectionCount(), 1);
        EXPECT_FALSE(r.ProjectReadSectionEnd());
        ASSERT_TRUE(r.ProjectReadSectionBegin("Objects"));
        EXPECT_EQ(r.ProjectGetCurrentSection(), 0);
        ASSERT_TRUE(r.FieldReadBegin("Pose"));
        ASSERT_TRUE(r.FieldReadBlockBegin());
        EXPECT_FALSE(r.FieldReadBegin("Objects")); // sections are not fields
        ASSERT_TRUE(r.ProjectReadSectionBegin("Objects"));
        EXPECT_EQ(r.ProjectGetCurrentSectionVersion(), 1999);
        ASSERT_TRUE(r.FieldReadBegin("When"));
        if (form != KQox::eASCII)
        {
            EXPECT_EQ(r.FieldReadGetType(), 'D');
        }
        EXPECT_EQ(r.FieldReadT().Get(), qoxtest::kTicksPerSecond);
        r.FieldReadEnd();
        EXPECT_FALSE(r.FieldReadBlockEnd());
        EXPECT_TRUE(r.ProjectReadSectionEnd());
        EXPECT_FALSE(r.ProjectReadSectionBegin("Objects"));
        EXPECT_TRUE(r.FieldReadBlockEnd());
        r.FieldReadEnd();
        EXPECT_TRUE(r.ProjectReadSectionEnd());
        EXPECT_FALSE(r.ProjectReadSectionBegin("Objects"));
        EXPECT_TRUE(r.ProjectOpenSection(0)); // by index, any time
    }
}

// A nested scene (a field's block holding sections) lists and opens its own
// sections; the section calls always answer for the list the section being
// read comes from, so the version of the current section is the right one.
void WriteNestedScene(KQox& f)
{
    f.ProjectWriteSectionBegin("Definitions", 6100);
    f.ProjectWriteSectionEnd();
    f.ProjectWriteSectionBegin("Objects", 6000);
    f.FieldWriteBegin("Pose");
    f.FieldWriteC("Stand");
    f.FieldWriteBlockBegin();
    f.FieldWriteBegin("Kind");
    f.FieldWriteI(1);
    f.FieldWriteEnd();
    f.ProjectWriteSectionBegin("PoseDefinitions", 3000);
    f.FieldWriteBegin("Count");
    f.FieldWriteI(2);
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
    f.ProjectWriteSectionBegin("PoseObjects", 4000);
    f.FieldWriteBegin("Channel");
    f.FieldWriteBlockBegin();
    f.FieldWriteBegin("Default");
    f.FieldWriteD(0.5);
    f.FieldWriteEnd();
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
    // A section holding a section directly.
    f.ProjectWriteSectionBegin("Takes", 5000);
    f.ProjectWriteSectionBegin("Take1", 2000);
    f.ProjectWriteSectionEnd();
    f.ProjectWriteSectionEnd();
}

TEST(KQoxSections, NestedSceneListsItsOwnSections)
{
    for (KQox::EForm form : kForms)
    {
        SCOPED_TRACE(form);
        std::vector<unsigned char> image(4096);
        KQox f;
        ASSERT_TRUE(f.ProjectCreate(image.data(), 4096, form));
        WriteNestedScene(f);
        ASSERT_TRUE(f.ProjectClose());

        KQox r;
        ASSERT_TRUE(r.ProjectOpen(image.data(), static_cast<unsigned int>(f.ProjectGetFileSize())));
        ASSERT_EQ(r.ProjectGetSectionCount(), 3);
        EXPECT_EQ(r.ProjectGetCurrentSection(), -1);
        ASSERT_TRUE(r.ProjectOpenSection(r.ProjectFindSection("Objects")));
        EXPECT_EQ(r.ProjectGetCurrentSection(), 1);
        EXPECT_EQ(r.ProjectGetSectionVersion(r.ProjectGetCurrentSection()), 6000);

        // In the pose's block: its own two sections.
        ASSERT_TRUE(r.FieldReadBegin("Pose"));
        ASSERT_TRUE(r.FieldReadBlockBegin());
        ASSERT_EQ(r.ProjectGetSectionCount(), 2);
        EXPECT_STREQ(r.ProjectGetSectionName(0), "PoseDefinitions");
        EXPECT_STREQ(r.ProjectGetSectionName(1), "PoseObjects");
        EXPECT_STREQ(r.ProjectGetSectionName(2), "");
        EXPECT_EQ(r.ProjectGetSectionVersion(0), 3000);
        EXPECT_EQ(r.ProjectGetSectionVersion(1), 4000);
        EXPECT_EQ(r.ProjectFindSection("PoseObjects"), 1);
        EXPECT_EQ(r.ProjectFindSection("Objects"), -1);
        EXPECT_EQ(r.ProjectGetCurrentSection(), -1);
        EXPECT_EQ(r.FieldReadI("Kind", 0), 1);

        ASSERT_TRUE(r.ProjectOpenSection(1));
        EXPECT_EQ(r.ProjectGetCurrentSection(), 1);
        EXPECT_EQ(r.ProjectGetSectionVersion(r.ProjectGetCurrentSection()), 4000);
        EXPECT_EQ(r.ProjectGetCurrentSectionVersion(), 4000);
        ASSERT_TRUE(r.FieldReadBegin("Channel"));
        ASSERT_TRUE(r.FieldReadBlockBegin());
        // A curve reader deep in the section still finds the section's version.
        EXPECT_EQ(r.ProjectGetSectionVersion(r.ProjectGetCurrentSection()), 4000);
        EXPECT_EQ(r.ProjectGetSectionCount(), 2);
        EXPECT_EQ(r.FieldReadD("Default", 0.0), 0.5);
        // Opening by index goes back to the pose's list, not to the top.
        ASSERT_TRUE(r.ProjectOpenSection(0));
        EXPECT_EQ(r.ProjectGetCurrentSection(), 0);
        EXPECT_EQ(r.ProjectGetSectionVersion(r.ProjectGetCurrentSection()), 3000);
        EXPECT_EQ(r.FieldReadI("Count", 0), 2);
        EXPECT_TRUE(r.ProjectReadSectionEnd());
        EXPECT_EQ(r.ProjectGetCurrentSection(), -1);
        ASSERT_TRUE(r.ProjectReadSectionBegin("PoseObjects"));
        EXPECT_EQ(r.ProjectGetCurrentSection(), 1);
        EXPECT_EQ(r.ProjectGetSectionVersion(r.ProjectGetCurrentSection()), 4000);
        EXPECT_TRUE(r.ProjectReadSectionEnd());
        EXPECT_FALSE(r.ProjectOpenSection(2));
        EXPECT_EQ(r.GetLastErrorID(), KQox::eSECTION_ERROR);
        EXPECT_TRUE(r.FieldReadBlockEnd());
        r.FieldReadEnd();

        // Back in the top-level section: the top-level list again.
        EXPECT_EQ(r.ProjectGetSectionCount(), 3);
        EXPECT_EQ(r.ProjectGetCurrentSection(), 1);
        EXPECT_EQ(r.ProjectGetSectionVersion(r.ProjectGetCurrentSection()), 6000);

        // A section inside a section: the top level stays the list until the
        // inner one is entered.
        ASSERT_TRUE(r.ProjectOpenSection(2));
        EXPECT_EQ(r.ProjectGetSectionCount(), 3);
        EXPECT_EQ(r.ProjectGetCurrentSection(), 2);
        EXPECT_EQ(r.ProjectGetSectionVersion(2), 5000);
        ASSERT_TRUE(r.ProjectReadSectionBegin("Take1"));
        EXPECT_EQ(r.ProjectGetSectionCount(), 1);
        EXPECT_EQ(r.ProjectGetCurrentSection(), 0);
        EXPECT_STREQ(r.ProjectGetSectionName(0), "Take1");
        EXPECT_EQ(r.ProjectGetSectionVersion(r.ProjectGetCurrentSection()), 2000);
        EXPECT_TRUE(r.ProjectReadSectionEnd());
        EXPECT_EQ(r.ProjectGetCurrentSection(), 2);
        EXPECT_TRUE(r.ProjectReadSectionEnd());
        EXPECT_EQ(r.ProjectGetCurrentSection(), -1);
        EXPECT_EQ(r.ProjectGetSectionCount(), 3);
    }
}

// While writing, the sections written so far answer with their names and
// versions, for the list being written as when reading.
TEST(KQoxSections, NamesAndVersionsWhileWriting)
{
    std::vector<unsigned char> image(4096);
    KQox f;
    ASSERT_TRUE(f.ProjectCreate(image.data(), 4096, KQox::eBINARY));
    EXPECT_EQ(f.ProjectGetSectionCount(), 0);
    EXPECT_STREQ(f.ProjectGetSectionName(0), "");
    EXPECT_EQ(f.ProjectGetSectionVersion(0), -1);
    ASSERT_TRUE(f.ProjectWriteSectionBegin("Definitions", 6100));
    EXPECT_EQ(f.ProjectGetSectionCount(), 1);
    EXPECT_STREQ(f.ProjectGetSectionName(0), "Definitions");
    EXPECT_EQ(f.ProjectGetSectionVersion(f.ProjectGetCurrentSection()), 6100);
    f.ProjectWriteSectionEnd();
    ASSERT_TRUE(f.ProjectWriteSectionBegin("Objects", 6000));
    EXPECT_EQ(f.ProjectGetCurrentSection(), 1);
    EXPECT_STREQ(f.ProjectGetSectionName(1), "Objects");
    EXPECT_EQ(f.ProjectGetSectionVersion(1), 6000);
    EXPECT_EQ(f.ProjectFindSection("Objects"), 1);
    f.FieldWriteBegin("Pose");
    f.FieldWriteBlockBegin();
    // No section in the pose's block yet: still the top-level list.
    EXPECT_EQ(f.ProjectGetSectionCount(), 2);
    ASSERT_TRUE(f.ProjectWriteSectionBegin("PoseObjects", 4000));
    EXPECT_EQ(f.ProjectGetSectionCount(), 1);
    EXPECT_EQ(f.ProjectGetCurrentSection(), 0);
    EXPECT_STREQ(f.ProjectGetSectionName(0), "PoseObjects");
    EXPECT_EQ(f.ProjectGetSectionVersion(f.ProjectGetCurrentSection()), 4000);
    f.ProjectWriteSectionEnd();
    EXPECT_EQ(f.ProjectGetCurrentSection(), -1);
    EXPECT_EQ(f.ProjectGetSectionCount(), 1);
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
    EXPECT_EQ(f.ProjectGetSectionCount(), 2);
    EXPECT_EQ(f.ProjectGetCurrentSection(), 1);
    EXPECT_EQ(f.ProjectGetSectionVersion(f.ProjectGetCurrentSection()), 6000);
    f.ProjectWriteSectionEnd();
    EXPECT_EQ(f.ProjectGetCurrentSection(), -1);
    EXPECT_STREQ(f.ProjectGetSectionName(0), "Definitions");
    EXPECT_EQ(f.ProjectGetSectionVersion(2), -1);
    ASSERT_TRUE(f.ProjectClose());
    EXPECT_EQ(f.ProjectGetSectionCount(), 0);
    EXPECT_STREQ(f.ProjectGetSectionName(0), "");
}

// Bytes this process has read from files so far; -1 when the system does not say.
long long BytesReadByProcess()
{
    FILE* io = std::fopen("/proc/self/io", "r");
    if (!io)
        return -1;
    long long bytes = -1;
    char line[128];
    while (std::fgets(line, sizeof(line), io))
        if (std::sscanf(line, "rchar: %lld", &bytes) == 1)
            break;
    std::fclose(io);
    return bytes;
}

// Entering nested blocks never reads their bytes again: the bytes read for a
// deeply nested file stay a small multiple of its size, whatever the depth
// (ASCII text is paired once; binary end markers are read apart from values).
TEST(KQoxReading, NestedBlocksAreReadOnce)
{
    const struct
    {
        KQox::EForm form;
        int depth;
        int keys;   // "Key" fields a level
        int values; // values a key
    } cases[] = {
        {KQox::eASCII, 48, 8, 1000},
        {KQox::eBINARY, 48, 8, 1000},
        {KQox::eBINARY, 200000, 1, 1},
        {KQox::eENCRYPTED, 20000, 1, 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "form " << c.form << ", depth " << c.depth);
        TempDir dir;
        std::string name = dir.File("deep.qox");
        {
            KQox f;
            ASSERT_TRUE(f.ProjectCreate(name.c_str(), c.form));
            f.ProjectWriteSectionBegin("Objects", 6000);
            for (int level = 0; level < c.depth; ++level)
            {
                f.FieldWriteBegin("Channel");
                f.FieldWriteI(level);
                f.FieldWriteBlockBegin();
                for (int k = 0; k < c.keys; ++k)
                {
                    f.FieldWriteBegin("Key");
                    for (int i = 0; i < c.values; ++i)
                        f.FieldWriteD(i * 0.25 + level);
                    f.FieldWriteEnd();
                }
            }
            for (int level = 0; level < c.depth; ++level)
            {
                f.FieldWriteBlockEnd();
                f.FieldWriteEnd();
            }
            f.ProjectWriteSectionEnd();
            ASSERT_TRUE(f.ProjectClose());
        }
        long long size = static_cast<long long>(std::filesystem::file_size(name));
        long long before = BytesReadByProcess();
        if (before < 0)
            GTEST_SKIP() << "the system does not count the bytes read";
        KQox r;
        ASSERT_TRUE(r.ProjectOpen(name.c_str()));
        ASSERT_TRUE(r.ProjectOpenSection(0));
        int reached = 0;
        while (r.FieldReadBegin("Channel"))
        {
            if (r.FieldReadI() != reached || !r.FieldReadBlockBegin() || r.FieldReadGetCount("Key") != c.keys ||
                r.FieldReadD("Key", -1.0) != reached)
                break;
            ++reached;
        }
        EXPECT_EQ(reached, c.depth);
        EXPECT_EQ(r.GetLastErrorID(), -1);
        long long read = BytesReadByProcess() - before;
        // Reading each level again at every level would read about
        // size * depth / 2 bytes; refilling a 64 KB window per level, 64 KB a level.
        EXPECT_LT(read, 4 * size + (1 << 20)) << "file of " << size << " bytes";
    }
}

// Names and directory of the file; every full path handed out stays valid
// while the object lives, and the same path gives the same text.
TEST(KQoxFile, NamesAndFullPaths)
{
    KQox empty;
    EXPECT_STREQ(empty.GetFileName(), "");
    EXPECT_STREQ(empty.GetFilePath(), "");
    EXPECT_FALSE(empty.ProjectIsOpen());
    EXPECT_EQ(empty.ProjectGetFileVersion(), 0);
    EXPECT_STREQ(empty.GetFullFilePath("maps/wood.tif"), "maps/wood.tif");

    TempDir dir;
    std::string name = dir.File("scene.qox");
    KQox f;
    ASSERT_TRUE(f.ProjectCreate(name.c_str()));
    EXPECT_TRUE(f.ProjectIsWriting());
    ASSERT_TRUE(f.ProjectClose());
    ASSERT_TRUE(f.ProjectOpen(name.c_str()));
    EXPECT_STREQ(f.GetFileName(), name.c_str());
    EXPECT_EQ(std::string(f.GetFilePath()), dir.Path());
    EXPECT_STREQ(f.GetFullFilePath("/abs/x.tif"), "/abs/x.tif");
    const char* first = f.GetFullFilePath("a.tak");
    const char* second = f.GetFullFilePath("maps/../b.tak");
    EXPECT_EQ(std::string(first), dir.Path() + "/a.tak");
    EXPECT_EQ(std::string(second), dir.Path() + "/b.tak");
    EXPECT_EQ(f.GetFullFilePath("a.tak"), first);
    ASSERT_TRUE(f.ProjectClose());
    for (int i = 0; i < 100; ++i)
        f.GetFullFilePath(("x" + std::to_string(i) + ".tak").c_str());
    EXPECT_EQ(std::string(first), dir.Path() + "/a.tak");
    EXPECT_EQ(std::string(second), dir.Path() + "/b.tak");
}

// Embedded media: a file streamed in as one raw value and back out; large
// values and fields go through the buffer's flush and are patched in place.
TEST(KQoxFile, LargeValuesAndEmbeddedFiles)
{
    TempDir dir;
    std::string media = dir.File("media.bin");
    std::vector<unsigned char> bytes(3 * 1024 * 1024 + 17);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>((i * 2654435761u) >> 13);
    ASSERT_TRUE(qoxtest::WriteFile(media, std::string(bytes.begin(), bytes.end())));
    for (KQox::EForm form : kForms)
    {
        std::string name = dir.File("big.qox");
        KQox f;
        ASSERT_TRUE(f.ProjectCreate(name.c_str(), form, 6000, "pw"));
        f.ProjectWriteSectionBegin("Media", 6000);
        f.FieldWriteBegin("Video");
        f.FieldWriteC("clip");
        f.FieldWriteBlockBegin();
        f.FieldWriteBegin("Content");
        ASSERT_TRUE(f.FieldWriteRFile(media.c_str()));
        f.FieldWriteI(99);
        f.FieldWriteEnd();
        f.FieldWriteBegin("Doubles");
        for (int i = 0; i < 200000; ++i)
            f.FieldWriteD(i * 0.5);
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        f.ProjectWriteSectionEnd();
        ASSERT_TRUE(f.ProjectClose()) << f.GetLastErrorString();

        KQox r;
        ASSERT_TRUE(r.ProjectOpen(name.c_str(), "pw")) << form << r.GetLastErrorString();
        ASSERT_TRUE(r.ProjectOpenSection(0));
        ASSERT_TRUE(r.FieldReadBegin("Video"));
        ASSERT_TRUE(r.FieldReadBlockBegin());
        ASSERT_TRUE(r.FieldReadBegin("Content"));
        ASSERT_EQ(r.FieldReadGetRemain(), 2);
        ASSERT_EQ(r.FieldReadRSize(), bytes.size());
        std::string extracted = dir.File("extracted.bin");
        ASSERT_TRUE(r.FieldReadRFile(extracted.c_str()));
        EXPECT_EQ(r.FieldReadI(), 99);
        r.FieldReadEnd();
        EXPECT_EQ(qoxtest::ReadFile(extracted), std::string(bytes.begin(), bytes.end()));
        ASSERT_TRUE(r.FieldReadBegin("Doubles"));
        ASSERT_EQ(r.FieldReadGetRemain(), 200000);
        bool same = true;
        for (int i = 0; i < 200000; ++i)
            same = same && r.FieldReadD() == i * 0.5;
        EXPECT_TRUE(same);
        EXPECT_EQ(r.GetLastErrorID(), -1);
    }
}

// Values past the buffer go to the file in portions, the CRC layer following
// each, and full buffers are written while the next fills: the file on disk
// is byte for byte the image written in memory, its check value is the CRC
// of its bytes, and it reads back.
TEST(KQoxFile, LargeArraysGoOutInPortionsUnchanged)
{
    std::vector<double> values(1000003);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<double>(i) * 0.25 - 1e5;
    auto write = [&](KQox& f) {
        f.FieldWriteBegin("Head");
        f.FieldWriteI(1);
        f.FieldWriteEnd();
        f.FieldWriteBegin("Values");
        f.FieldWriteArrayD(values.data(), static_cast<unsigned int>(values.size()));
        f.FieldWriteArrayD(values.data(), 3);
        f.FieldWriteEnd();
        // Many small values: several buffers, fields patched across them.
        for (int i = 0; i < 300000; ++i)
        {
            f.FieldWriteBegin("Small");
            f.FieldWriteI(i);
            f.FieldWriteEnd();
        }
        return f.ProjectClose();
    };
    TempDir dir;
    std::string name = dir.File("large.qox");
    KQox disk;
    ASSERT_TRUE(disk.ProjectCreate(name.c_str()));
    ASSERT_TRUE(write(disk));
    std::string bytes = qoxtest::ReadFile(name);
    ASSERT_GT(bytes.size(), values.size() * sizeof(double));

    std::vector<unsigned char> image(bytes.size() + 64);
    KQox memory;
    ASSERT_TRUE(memory.ProjectCreate(image.data(), static_cast<unsigned int>(image.size())));
    ASSERT_TRUE(write(memory));
    ASSERT_EQ(memory.ProjectGetFileSize(), bytes.size());
    EXPECT_TRUE(std::memcmp(image.data(), bytes.data(), bytes.size()) == 0);

    const size_t body = bytes.size() - 4;
    const unsigned int crc = Crc32(reinterpret_cast<const unsigned char*>(bytes.data()), body);
    const unsigned char* tail = reinterpret_cast<const unsigned char*>(bytes.data()) + body;
    EXPECT_EQ(crc, (unsigned(tail[0]) << 24) | (unsigned(tail[1]) << 16) | (unsigned(tail[2]) << 8) | tail[3]);

    KQox r;
    ASSERT_TRUE(r.ProjectOpen(name.c_str())) << r.GetLastErrorString();
    ASSERT_TRUE(r.FieldReadBegin("Values"));
    std::vector<double> back(values.size());
    ASSERT_TRUE(r.FieldReadArrayD(back.data(), static_cast<unsigned int>(back.size())));
    EXPECT_TRUE(back == values);
    r.FieldReadEnd();
    EXPECT_EQ(r.FieldReadGetCount("Small"), 300000);
    ASSERT_TRUE(r.ProjectClose());

    // The ASCII form alike, and a file dropped half-written (its writer
    // destroyed with buffers in flight) neither hangs nor crashes.
    std::string text = dir.File("large.txt");
    std::vector<unsigned char> textImage(64u << 20);
    KQox asciiDisk, asciiMemory;
    ASSERT_TRUE(asciiDisk.ProjectCreate(text.c_str(), KQox::eASCII));
    ASSERT_TRUE(write(asciiDisk));
    ASSERT_TRUE(asciiMemory.ProjectCreate(textImage.data(), static_cast<unsigned int>(textImage.size()), KQox::eASCII));
    ASSERT_TRUE(write(asciiMemory));
    EXPECT_EQ(qoxtest::ReadFile(text),
              std::string(reinterpret_cast<const char*>(textImage.data()), asciiMemory.ProjectGetFileSize()));
    for (KQox::EForm form : kForms)
    {
        KQox dropped;
        ASSERT_TRUE(dropped.ProjectCreate(dir.File("dropped.qox").c_str(), form, 6000, "pw"));
        dropped.FieldWriteBegin("Values");
        dropped.FieldWriteArrayD(values.data(), static_cast<unsigned int>(values.size()));
        for (int i = 0; i < 200000; ++i)
            dropped.FieldWriteD(i);
    }
}

namespace {

// A file of several output buffers: one large array (straight to the file)
// and many small fields (through the buffers written on their own thread).
bool WriteBuffers(KQox& f, const std::vector<double>& values)
{
    f.FieldWriteBegin("Values");
    f.FieldWriteArrayD(values.data(), static_cast<unsigned int>(values.size()));
    f.FieldWriteEnd();
    for (int i = 0; i < 120000; ++i)
    {
        f.FieldWriteBegin("Small");
        f.FieldWriteI(i);
        f.FieldWriteD(i * 0.125);
        f.FieldWriteEnd();
    }
    return f.ProjectClose();
}

// The file at name holds what WriteBuffers wrote.
void ExpectBuffers(const std::string& name, const std::vector<double>& values)
{
    KQox r;
    ASSERT_TRUE(r.ProjectOpen(name.c_str(), "pw")) << r.GetLastErrorString();
    ASSERT_TRUE(r.FieldReadBegin("Values"));
    std::vector<double> back(values.size());
    ASSERT_TRUE(r.FieldReadArrayD(back.data(), static_cast<unsigned int>(back.size())));
    EXPECT_TRUE(back == values);
    r.FieldReadEnd();
    EXPECT_EQ(r.FieldReadGetCount("Small"), 120000);
    EXPECT_TRUE(r.ProjectClose());
}

} // namespace

// The buffers written on their own thread give the same file written by
// two files at once on two threads, after a full disk with the same
// object, and with no thread to be had (the buffers then go out on the
// writing thread); a disk that fills is still reported then.
TEST(KQoxFile, BuffersGoOutTheSameOnAnyThread)
{
    std::vector<double> values(400003);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<double>(i) * -0.75 + 3.0;
    TempDir dir;
    const bool haveFull = access("/dev/full", W_OK) == 0;
    for (KQox::EForm form : kForms)
    {
        const std::string first = dir.File("first.qox");
        {
            KQox f;
            ASSERT_TRUE(f.ProjectCreate(first.c_str(), form, 6000, "pw"));
            ASSERT_TRUE(WriteBuffers(f, values)) << form;
        }
        ExpectBuffers(first, values);
        // The enciphered form has a fresh salt each time: its bytes differ.
        const std::string expected = form == KQox::eENCRYPTED ? std::string() : qoxtest::ReadFile(first);

        std::string names[2] = {dir.File("a.qox"), dir.File("b.qox")};
        bool closed[2] = {false, false};
        std::vector<std::thread> writers;
        for (int t = 0; t < 2; ++t)
            writers.emplace_back([&, t] {
                KQox f;
                closed[t] = f.ProjectCreate(names[t].c_str(), form, 6000, "pw") && WriteBuffers(f, values);
            });
        for (std::thread& writer : writers)
            writer.join();
        for (int t = 0; t < 2; ++t)
        {
            EXPECT_TRUE(closed[t]) << form << " " << t;
            ExpectBuffers(names[t], values);
            if (form != KQox::eENCRYPTED)
            {
                EXPECT_TRUE(qoxtest::ReadFile(names[t]) == expected) << form << " " << t;
            }
        }

        KQox again;
        if (haveFull)
        {
            ASSERT_TRUE(again.ProjectCreate("/dev/full", form, 6000, "pw"));
            EXPECT_FALSE(WriteBuffers(again, values)) << form;
            EXPECT_STREQ(again.GetLastErrorString(), "No space left on device") << form;
        }
        const std::string after = dir.File("after.qox");
        ASSERT_TRUE(again.ProjectCreate(after.c_str(), form, 6000, "pw"));
        EXPECT_TRUE(WriteBuffers(again, values)) << form << " " << again.GetLastErrorString();
        ExpectBuffers(after, values);
        if (form != KQox::eENCRYPTED)
        {
            EXPECT_TRUE(qoxtest::ReadFile(after) == expected) << form;
        }

        // In a child, whose pool has no helper made yet.
        const std::string alone = dir.File("alone.qox");
        EXPECT_EQ(qoxtest::InChild([&] {
                      qoxtest::NoNewThreads noThreads;
                      if (!noThreads.Active())
                          return std::string();
                      std::string faults;
                      KQox f;
                      if (!f.ProjectCreate(alone.c_str(), form, 6000, "pw") || !WriteBuffers(f, values))
                          faults += std::string("not written: ") + f.GetLastErrorString() + "\n";
                      if (haveFull && (!f.ProjectCreate("/dev/full", form, 6000, "pw") || WriteBuffers(f, values) ||
                                       std::string(f.GetLastErrorString()) != "No space left on device"))
                          faults += std::string("full disk: ") + f.GetLastErrorString() + "\n";
                      return faults;
                  }),
                  "")
            << form;
        if (!qoxtest::ReadFile(alone).empty())
        {
            ExpectBuffers(alone, values);
            if (form != KQox::eENCRYPTED)
            {
                EXPECT_TRUE(qoxtest::ReadFile(alone) == expected) << form;
            }
        }
    }
}

// Enciphered files created on several threads at once each get a salt of
// their own (the 16 bytes after the plain header).
TEST(KQoxFile, SaltsOfFilesCreatedAtOnceDiffer)
{
    const int kThreads = 4;
    const int kFiles = 50;
    std::vector<std::string> salts(kThreads * kFiles);
    std::vector<std::thread> creators;
    for (int t = 0; t < kThreads; ++t)
        creators.emplace_back([&salts, t] {
            for (int i = 0; i < kFiles; ++i)
            {
                std::vector<unsigned char> image(4096);
                KQox f;
                if (!f.ProjectCreate(image.data(), static_cast<unsigned int>(image.size()), KQox::eENCRYPTED, 6000,
                                     "pw") ||
                    !f.ProjectClose())
                    continue;
                salts[static_cast<size_t>(t * kFiles + i)].assign(reinterpret_cast<const char*>(&image[32]), 16);
            }
        });
    for (std::thread& creator : creators)
        creator.join();
    std::sort(salts.begin(), salts.end());
    EXPECT_EQ(salts.front().size(), 16u);
    EXPECT_TRUE(std::adjacent_find(salts.begin(), salts.end()) == salts.end());
}

// The exclusive create: a name that is taken is refused and its file left
// alone; a new name gives a file in every form.
TEST(KQoxFile, CreateNewRefusesATakenName)
{
    struct NewFile : KQox
    {
        using KQox::ProjectCreateNew;
    };
    TempDir dir;
    std::string taken = dir.File("taken.qox");
    ASSERT_TRUE(qoxtest::WriteFile(taken, "keep these bytes"));
    for (KQox::EForm form : kForms)
    {
        NewFile f;
        EXPECT_FALSE(f.ProjectCreateNew(taken.c_str(), form, 6000, "pw"));
        EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_NOT_CREATED);
        EXPECT_FALSE(f.ProjectIsOpen());
        EXPECT_EQ(qoxtest::ReadFile(taken), "keep these bytes");

        std::string name = dir.File("new" + std::to_string(form) + ".qox");
        ASSERT_TRUE(f.ProjectCreateNew(name.c_str(), form, 6000, "pw")) << form;
        f.FieldWriteBegin("Count");
        f.FieldWriteI(42);
        f.FieldWriteEnd();
        ASSERT_TRUE(f.ProjectClose());
        KQox r;
        ASSERT_TRUE(r.ProjectOpen(name.c_str(), "pw")) << form << r.GetLastErrorString();
        ASSERT_TRUE(r.FieldReadBegin("Count"));
        EXPECT_EQ(r.FieldReadI(), 42);
    }
}

} // namespace

// Every form reports a disk that fills up: while writing once the buffered
// bytes go out, and at the close even when the last bytes only leave the
// stream's buffer then.
TEST(KQoxErrors, FullDiskIsReportedInEveryForm)
{
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full on this machine";
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII, KQox::eENCRYPTED})
    {
        for (int values : {1, 400000})
        {
            KQox f;
            ASSERT_TRUE(f.ProjectCreate("/dev/full", form, KQox::eVERSION_6, "pw"));
            f.ProjectWriteSectionBegin("S", 6000);
            f.FieldWriteBegin("A");
            int written = 0;
            while (written < values && f.FieldWriteD(written))
                ++written;
            EXPECT_EQ(written<values, values> 1) << form; // a later value is refused
            f.FieldWriteEnd();
            f.ProjectWriteSectionEnd();
            EXPECT_FALSE(f.ProjectClose()) << form;
            EXPECT_STREQ(f.GetLastErrorString(), "No space left on device") << form;
        }
    }
}

// The check value is that of the file being read: replacing the file on
// disk after it was opened changes nothing; damage to the file opened is
// found whether it is checked at open or later.
TEST(KQoxIntegrity, CheckIsOfTheFileOpenedEvenWhenItIsReplaced)
{
    TempDir dir;
    const std::string name = dir.File("scene.qox");
    std::vector<double> values(300000);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<double>(i) * 0.25;
    {
        KQox w;
        ASSERT_TRUE(w.ProjectCreate(name.c_str(), KQox::eBINARY, 6000));
        w.FieldWriteBegin("V");
        w.FieldWriteArrayD(values.data(), static_cast<unsigned int>(values.size()));
        w.FieldWriteEnd();
        ASSERT_TRUE(w.ProjectClose());
    }
    std::string bytes = qoxtest::ReadFile(name);
    std::string damaged = bytes;
    damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x10);

    KQox r;
    ASSERT_TRUE(r.ProjectOpen(name.c_str(), nullptr, false));
    // Another file under the same name, damaged: the open file is still whole.
    const std::string other = dir.File("other.qox");
    ASSERT_TRUE(qoxtest::WriteFile(other, damaged));
    ASSERT_EQ(std::rename(other.c_str(), name.c_str()), 0);
    EXPECT_TRUE(r.ProjectCheckIntegrity());
    ASSERT_TRUE(r.FieldReadBegin("V"));
    std::vector<double> got(values.size());
    ASSERT_TRUE(r.FieldReadArrayD(got.data(), got.size()));
    EXPECT_EQ(got, values);
    r.ProjectClose();

    // The damaged file itself fails, checked at open or afterwards.
    KQox s;
    EXPECT_FALSE(s.ProjectOpen(name.c_str()));
    EXPECT_EQ(s.GetLastErrorID(), KQox::eFILE_CORRUPTED);
    KQox t;
    ASSERT_TRUE(t.ProjectOpen(name.c_str(), nullptr, false));
    EXPECT_FALSE(t.ProjectCheckIntegrity());
    // And the whole one passes both ways.
    ASSERT_TRUE(qoxtest::WriteFile(name, bytes));
    KQox u;
    EXPECT_TRUE(u.ProjectOpen(name.c_str()));
    EXPECT_TRUE(u.ProjectCheckIntegrity());
}
