// Reading a binary file in place (the caller's image) and through the file
// layers (a file on disk, read a window at a time) gives the same records and
// values: in the order written and out of it, with records cut by the
// windows, huge blocks, deep nesting, damage and truncation; encrypted and
// ASCII files alike. The field tried first by a lookup (the one after the
// field read last) finds what the lookup by name finds.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "base/kqox.h"
#include "kqox_test_util.h"

namespace {

using kqoxtest::Crc32;
using qoxtest::TempDir;

// Doubles that must come back bit for bit.
const double kOddValues[] = {0.0,
                             -0.0,
                             1.5,
                             -3.25,
                             DBL_MAX,
                             -DBL_MAX,
                             DBL_MIN,
                             std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
const int kOddCount = static_cast<int>(sizeof(kOddValues) / sizeof(kOddValues[0]));

// The bytes of raw value k of a model: sizes spread so that records fall
// across the reading windows at many places.
std::vector<unsigned char> RawBytes(int model)
{
    const size_t size = static_cast<size_t>((model * 7919) % 90000);
    std::vector<unsigned char> raw(size);
    for (size_t i = 0; i < size; ++i)
        raw[i] = static_cast<unsigned char>(i * 131 + static_cast<size_t>(model));
    return raw;
}

std::string ModelName(int model)
{
    return "Model::M" + std::to_string(model);
}

// Section "Objects": models, each with fields of all kinds and a block
// (properties, a raw value of varying size, an array, nested channels);
// section "Connections": one field per model; then a top-level field.
void WriteScene(KQox& f, int models, int depth)
{
    f.FieldWriteBegin("Creator");
    f.FieldWriteC("in place");
    f.FieldWriteEnd();
    f.ProjectWriteSectionBegin("Objects", 6000);
    for (int m = 0; m < models; ++m)
    {
        f.FieldWriteBegin("Model");
        f.FieldWriteC(ModelName(m).c_str());
        f.FieldWriteI(m);
        f.FieldWriteBlockBegin();
        f.FieldWriteBegin("Version");
        f.FieldWriteI(232);
        f.FieldWriteEnd();
        f.FieldWriteBegin("Properties");
        f.FieldWriteBlockBegin();
        for (int p = 0; p < 12; ++p)
        {
            f.FieldWriteBegin("Property");
            f.FieldWriteC(("P" + std::to_string(p)).c_str());
            f.FieldWriteD(kOddValues[(p + m) % kOddCount]);
            f.FieldWriteL(-1ll - p * 1000000007ll);
            f.FieldWriteEnd();
        }
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        const std::vector<unsigned char> raw = RawBytes(m);
        f.FieldWriteBegin("Raw");
        f.FieldWriteR(raw.data(), raw.size());
        f.FieldWriteEnd();
        std::vector<double> items(static_cast<size_t>(m % 50));
        for (size_t i = 0; i < items.size(); ++i)
            items[i] = kOddValues[i % kOddCount] * 0.5;
        f.FieldWriteBegin("Array");
        f.FieldWriteArrayD(items.data(), static_cast<unsigned int>(items.size()));
        f.FieldWriteEnd();
        for (int level = 0; level < depth; ++level)
        {
            f.FieldWriteBegin("Channel");
            f.FieldWriteI(level);
            f.FieldWriteBlockBegin();
            f.FieldWriteBegin("Default");
            f.FieldWriteD(level * 0.5 + m);
            f.FieldWriteEnd();
        }
        for (int level = 0; level < depth; ++level)
        {
            f.FieldWriteBlockEnd();
            f.FieldWriteEnd();
        }
        f.FieldWriteBegin("Shading");
        f.FieldWriteCH('Y');
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
    }
    f.ProjectWriteSectionEnd();
    f.ProjectWriteSectionBegin("Connections", 6000);
    for (int m = 0; m < models; ++m)
    {
        f.FieldWriteBegin("Connect");
        f.FieldWriteC("OO");
        f.FieldWriteI(m);
        f.FieldWriteI(m - 1);
        f.FieldWriteEnd();
    }
    f.ProjectWriteSectionEnd();
    f.FieldWriteBegin("Trailer");
    f.FieldWriteI(-7);
    f.FieldWriteEnd();
}

std::string WriteSceneFile(const TempDir& dir, const char* name, KQox::EForm form, int models, int depth,
                           const char* password = nullptr)
{
    const std::string path = dir.File(name);
    KQox f;
    EXPECT_TRUE(f.ProjectCreate(path.c_str(), form, KQox::eVERSION_6, password));
    WriteScene(f, models, depth);
    EXPECT_TRUE(f.ProjectClose());
    return path;
}

std::vector<unsigned char> FileBytes(const std::string& path)
{
    std::vector<unsigned char> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    unsigned char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);
    return bytes;
}

// Opens the file at path from disk, or its bytes image from memory.
bool OpenFrom(KQox& f, bool memory, const std::string& path, const std::vector<unsigned char>& image)
{
    return memory ? f.ProjectOpen(image.data(), static_cast<unsigned int>(image.size())) : f.ProjectOpen(path.c_str());
}

// The bits of a double, so that NaN and -0 compare exactly.
unsigned long long Bits(double d)
{
    unsigned long long bits;
    std::memcpy(&bits, &d, sizeof(bits));
    return bits;
}

// Every record and value of the current list, depth first, as text.
void Dump(KQox& f, std::string& out, int depth)
{
    const int count = f.FieldReadGetRecordCount();
    for (int i = 0; i < count; ++i)
    {
        bool section = false;
        const std::string name = f.FieldReadGetRecordName(i, &section);
        out += name + (section ? "[" : "(");
        if (section)
        {
            if (f.ProjectReadSectionBegin(name.c_str()))
            {
                out += std::to_string(f.ProjectGetCurrentSectionVersion()) + ":";
                Dump(f, out, depth + 1);
                f.ProjectReadSectionEnd();
            }
            out += "]";
            continue;
        }
        if (!f.FieldReadBegin(name.c_str()))
        {
            out += "missing)";
            continue;
        }
        while (f.FieldReadGetRemain() > 0)
        {
            const char type = f.FieldReadGetType();
            const long long items = f.FieldReadArrayCount();
            if (type == 'R')
            {
                std::vector<unsigned char> raw(static_cast<size_t>(f.FieldReadRSize()));
                EXPECT_TRUE(f.FieldReadR(raw.data(), raw.size()));
                out += "R" + std::to_string(raw.size()) + ":" + std::to_string(Crc32(raw.data(), raw.size()));
            }
            else if (items >= 0)
            {
                std::vector<double> values(static_cast<size_t>(items));
                EXPECT_TRUE(f.FieldReadArrayD(values.data(), values.size()));
                out += "A";
                for (double v : values)
                    out += std::to_string(Bits(v)) + ";";
            }
            else if (type == 'S')
            {
                out += std::string("S") + f.FieldReadC();
            }
            else if (type == 'D' || type == 'F')
            {
                out += "D" + std::to_string(Bits(f.FieldReadD()));
            }
            else
            {
                out += std::string(1, type) + std::to_string(f.FieldReadL());
            }
            out += ",";
        }
        if (f.FieldReadBlockBegin())
        {
            out += "{";
            Dump(f, out, depth + 1);
            out += "}";
            EXPECT_TRUE(f.FieldReadBlockEnd());
        }
        f.FieldReadEnd();
        out += ")";
    }
}

std::string DumpFile(KQox& f)
{
    std::string out;
    f.GetError().ClearLastError();
    Dump(f, out, 0);
    EXPECT_EQ(f.GetLastErrorID(), -1) << f.GetLastErrorString();
    EXPECT_TRUE(f.ProjectCheckIntegrity());
    return out;
}

// Reads one model's block out of the written order, asking absent names in
// between, and checks each value against what was written.
// exact: doubles come back bit for bit (not so the ASCII texts of the
// smallest and largest ones).
void CheckModelOutOfOrder(KQox& f, int m, int depth, bool exact)
{
    ASSERT_TRUE(f.FieldReadBegin("Model"));
    EXPECT_STREQ(f.FieldReadC(), ModelName(m).c_str());
    EXPECT_EQ(f.FieldReadI(), m);
    ASSERT_TRUE(f.FieldReadBlockBegin());
    EXPECT_EQ(f.FieldReadCH("Shading", 0), 'Y');
    EXPECT_EQ(f.FieldReadI("KeyVer", -5), -5);
    // The array before the raw value, the raw value before the properties.
    ASSERT_TRUE(f.FieldReadBegin("Array"));
    const long long items = f.FieldReadArrayCount();
    ASSERT_EQ(items, m % 50);
    std::vector<double> values(static_cast<size_t>(items));
    ASSERT_TRUE(f.FieldReadArrayD(values.data(), values.size()));
    for (size_t i = 0; i < values.size() && exact; ++i)
        EXPECT_EQ(Bits(values[i]), Bits(kOddValues[i % kOddCount] * 0.5));
    f.FieldReadEnd();
    ASSERT_TRUE(f.FieldReadBegin("Raw"));
    const std::vector<unsigned char> raw = RawBytes(m);
    ASSERT_EQ(f.FieldReadRSize(), raw.size());
    std::vector<unsigned char> back(raw.size() + 1);
    ASSERT_TRUE(f.FieldReadR(back.data(), back.size()));
    back.resize(raw.size());
    EXPECT_TRUE(back == raw) << "model " << m;
    f.FieldReadEnd();
    EXPECT_FALSE(f.FieldReadBegin("Raw"));
    ASSERT_TRUE(f.FieldReadBegin("Properties"));
    ASSERT_TRUE(f.FieldReadBlockBegin());
    EXPECT_EQ(f.FieldReadGetCount("Property"), 12);
    // Every other property first, then the rest: each name keeps its place.
    for (int p = 0; p < 12; ++p)
    {
        EXPECT_FALSE(f.FieldReadBegin("Propert"));
        ASSERT_TRUE(f.FieldReadBegin("Property"));
        EXPECT_STREQ(f.FieldReadC(), ("P" + std::to_string(p)).c_str());
        const double value = f.FieldReadD();
        if (exact)
        {
            EXPECT_EQ(Bits(value), Bits(kOddValues[(p + m) % kOddCount]));
        }
        EXPECT_EQ(f.FieldReadL(), -1ll - p * 1000000007ll);
        EXPECT_EQ(f.FieldReadGetRemain(), 0);
        f.FieldReadEnd();
    }
    EXPECT_FALSE(f.FieldReadBegin("Property"));
    EXPECT_TRUE(f.FieldReadBlockEnd());
    f.FieldReadEnd();
    for (int level = 0; level < depth; ++level)
    {
        ASSERT_TRUE(f.FieldReadBegin("Channel"));
        EXPECT_EQ(f.FieldReadI(), level);
        ASSERT_TRUE(f.FieldReadBlockBegin());
        EXPECT_EQ(f.FieldReadD("Default", -1.0), level * 0.5 + m);
    }
    for (int level = 0; level < depth; ++level)
    {
        EXPECT_TRUE(f.FieldReadBlockEnd());
        f.FieldReadEnd();
    }
    EXPECT_EQ(f.FieldReadI("Version", 0), 232);
    EXPECT_TRUE(f.FieldReadBlockEnd());
    f.FieldReadEnd();
}

void CheckOutOfOrder(KQox& f, int models, int depth, bool exact)
{
    f.GetError().ClearLastError();
    // The top-level field after the sections, then the sections backwards.
    EXPECT_EQ(f.FieldReadI("Trailer", 0), -7);
    ASSERT_TRUE(f.ProjectOpenSection(1));
    for (int m = 0; m < models; ++m)
    {
        ASSERT_TRUE(f.FieldReadBegin("Connect"));
        EXPECT_STREQ(f.FieldReadC(), "OO");
        EXPECT_EQ(f.FieldReadI(), m);
        EXPECT_EQ(f.FieldReadI(), m - 1);
        f.FieldReadEnd();
    }
    ASSERT_TRUE(f.ProjectReadSectionEnd());
    ASSERT_TRUE(f.ProjectOpenSection(0));
    EXPECT_EQ(f.FieldReadGetCount("Model"), models);
    for (int m = 0; m < models; ++m)
        CheckModelOutOfOrder(f, m, depth, exact);
    EXPECT_FALSE(f.FieldReadBegin("Model"));
    ASSERT_TRUE(f.ProjectReadSectionEnd());
    EXPECT_STREQ(f.FieldReadC("Creator", ""), "in place");
    EXPECT_EQ(f.GetLastErrorID(), -1) << f.GetLastErrorString();
    EXPECT_TRUE(f.ProjectCheckIntegrity());
}

struct Sample
{
    KQox::EForm mForm;
    const char* mPassword;
};

class KQoxInPlace : public ::testing::TestWithParam<Sample>
{};

// Records cut by the windows (raw values of up to 90,000 bytes), a section
// of several megabytes: the same dump from disk and from memory, with and
// without the check at opening, and the exact values out of order.
TEST_P(KQoxInPlace, DiskAndMemoryReadTheSame)
{
    const Sample sample = GetParam();
    TempDir dir;
    const int models = 120;
    const std::string path = WriteSceneFile(dir, "scene.qox", sample.mForm, models, 3, sample.mPassword);
    const std::vector<unsigned char> image = FileBytes(path);
    ASSERT_GT(image.size(), 4u << 20);
    std::string first;
    for (bool check : {true, false})
    {
        KQox disk;
        ASSERT_TRUE(disk.ProjectOpen(path.c_str(), sample.mPassword, check));
        const std::string fromDisk = DumpFile(disk);
        KQox memory;
        ASSERT_TRUE(memory.ProjectOpen(image.data(), static_cast<unsigned int>(image.size()), sample.mPassword, check));
        const std::string fromMemory = DumpFile(memory);
        EXPECT_TRUE(fromDisk == fromMemory);
        if (first.empty())
            first = fromDisk;
        EXPECT_TRUE(first == fromDisk);
    }
    EXPECT_NE(first.find("Model(SModel::M119,I119,"), std::string::npos);
    {
        KQox disk;
        ASSERT_TRUE(disk.ProjectOpen(path.c_str(), sample.mPassword, false));
        CheckOutOfOrder(disk, models, 3, sample.mForm != KQox::eASCII);
    }
    {
        KQox memory;
        ASSERT_TRUE(memory.ProjectOpen(image.data(), static_cast<unsigned int>(image.size()), sample.mPassword));
        CheckOutOfOrder(memory, models, 3, sample.mForm != KQox::eASCII);
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, KQoxInPlace,
                         ::testing::Values(Sample{KQox::eBINARY, nullptr}, Sample{KQox::eENCRYPTED, "secret"},
                                           Sample{KQox::eASCII, nullptr}));

// Binary and encrypted files hold the same records and values: their dumps
// agree (ASCII guesses its types from the text, so it is left out).
TEST(KQoxInPlaceForms, BinaryAndEncryptedAgree)
{
    TempDir dir;
    const std::string plain = WriteSceneFile(dir, "plain.qox", KQox::eBINARY, 30, 2);
    const std::string secret = WriteSceneFile(dir, "secret.qox", KQox::eENCRYPTED, 30, 2, "pw");
    KQox a;
    KQox b;
    ASSERT_TRUE(a.ProjectOpen(plain.c_str()));
    ASSERT_TRUE(b.ProjectOpen(secret.c_str(), "pw"));
    EXPECT_TRUE(DumpFile(a) == DumpFile(b));
}

// One block of 200,000 records (larger than any reading window), read in
// order, then again by name out of order, from disk and from memory; a block
// nested 3,000 deep.
TEST(KQoxInPlaceBlocks, HugeAndDeepBlocks)
{
    TempDir dir;
    const std::string path = dir.File("huge.qox");
    const int records = 200000;
    const int depth = 3000;
    {
        KQox f;
        ASSERT_TRUE(f.ProjectCreate(path.c_str()));
        f.FieldWriteBegin("Big");
        f.FieldWriteBlockBegin();
        for (int i = 0; i < records; ++i)
        {
            f.FieldWriteBegin(i % 3 == 0 ? "Key" : "KeyAttr");
            f.FieldWriteI(i);
            f.FieldWriteD(i * 0.25);
            f.FieldWriteEnd();
        }
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        for (int level = 0; level < depth; ++level)
        {
            f.FieldWriteBegin("Level");
            f.FieldWriteI(level);
            f.FieldWriteBlockBegin();
        }
        for (int level = 0; level < depth; ++level)
        {
            f.FieldWriteBlockEnd();
            f.FieldWriteEnd();
        }
        ASSERT_TRUE(f.ProjectClose());
    }
    const std::vector<unsigned char> image = FileBytes(path);
    for (int memory = 0; memory < 2; ++memory)
    {
        SCOPED_TRACE(memory ? "memory" : "disk");
        KQox f;
        ASSERT_TRUE(OpenFrom(f, memory != 0, path, image));
        ASSERT_TRUE(f.FieldReadBegin("Big"));
        ASSERT_TRUE(f.FieldReadBlockBegin());
        ASSERT_EQ(f.FieldReadGetRecordCount(), records);
        // In order: the field after the one read last each time.
        for (int i = 0; i < records; ++i)
        {
            ASSERT_TRUE(f.FieldReadBegin(i % 3 == 0 ? "Key" : "KeyAttr"));
            ASSERT_EQ(f.FieldReadI(), i);
            ASSERT_EQ(f.FieldReadD(), i * 0.25);
            f.FieldReadEnd();
        }
        EXPECT_FALSE(f.FieldReadBegin("Key"));
        EXPECT_TRUE(f.FieldReadBlockEnd());
        // Again (the block starts afresh), the attributes first, then the keys.
        ASSERT_TRUE(f.FieldReadBlockBegin());
        for (int i = 0; i < records; ++i)
            if (i % 3 != 0)
            {
                ASSERT_TRUE(f.FieldReadBegin("KeyAttr"));
                ASSERT_EQ(f.FieldReadI(), i);
                f.FieldReadEnd();
            }
        for (int i = 0; i < records; i += 3)
        {
            ASSERT_TRUE(f.FieldReadBegin("Key"));
            ASSERT_EQ(f.FieldReadI(), i);
            f.FieldReadEnd();
        }
        EXPECT_TRUE(f.FieldReadBlockEnd());
        f.FieldReadEnd();
        int reached = 0;
        while (f.FieldReadBegin("Level") && f.FieldReadI() == reached && f.FieldReadBlockBegin())
            ++reached;
        EXPECT_EQ(reached, depth);
        EXPECT_EQ(f.GetLastErrorID(), -1);
        EXPECT_TRUE(f.ProjectCheckIntegrity());
    }
}

// Texts longer than a reading window or cut by one, and names of
// thousands of bytes among many short records, from disk and from memory.
TEST(KQoxInPlaceTexts, LongTextsAndNames)
{
    TempDir dir;
    const std::string path = dir.File("texts.qox");
    auto text = [](int i) {
        return std::string(static_cast<size_t>((i * 7717) % 300001), static_cast<char>('a' + i % 26));
    };
    auto name = [](int i) { return i % 100 == 7 ? std::string(5000, static_cast<char>('A' + i % 26)) : "K"; };
    const int records = 3000;
    {
        KQox f;
        ASSERT_TRUE(f.ProjectCreate(path.c_str()));
        f.FieldWriteBegin("List");
        f.FieldWriteBlockBegin();
        for (int i = 0; i < records; ++i)
        {
            f.FieldWriteBegin(name(i).c_str());
            f.FieldWriteI(i);
            if (i % 97 == 0)
                f.FieldWriteC(text(i).c_str());
            f.FieldWriteC("");
            f.FieldWriteEnd();
        }
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        ASSERT_TRUE(f.ProjectClose());
    }
    const std::vector<unsigned char> image = FileBytes(path);
    for (int memory = 0; memory < 2; ++memory)
    {
        SCOPED_TRACE(memory ? "memory" : "disk");
        KQox f;
        ASSERT_TRUE(OpenFrom(f, memory != 0, path, image));
        ASSERT_TRUE(f.FieldReadBegin("List"));
        ASSERT_TRUE(f.FieldReadBlockBegin());
        ASSERT_EQ(f.FieldReadGetRecordCount(), records);
        EXPECT_EQ(f.FieldReadGetCount("K"), records - records / 100);
        for (int i = 0; i < records; ++i)
        {
            ASSERT_STREQ(f.FieldReadGetRecordName(i), name(i).c_str());
            ASSERT_TRUE(f.FieldReadBegin(name(i).c_str()));
            ASSERT_EQ(f.FieldReadI(), i);
            if (i % 97 == 0)
            {
                ASSERT_TRUE(f.FieldReadC() == text(i)) << i;
            }
            ASSERT_STREQ(f.FieldReadC(), "");
            ASSERT_STREQ(f.FieldReadC(), "");
            f.FieldReadEnd();
        }
        EXPECT_EQ(f.GetLastErrorID(), -1);
        EXPECT_TRUE(f.ProjectCheckIntegrity());
    }
}

// A record whose name holds a NUL byte never matches a name asked for, on
// the first try (the field after the one read last) or by name.
TEST(KQoxInPlaceNames, NameWithANulByteNeverMatches)
{
    std::vector<unsigned char> image(4096);
    {
        KQox f;
        ASSERT_TRUE(f.ProjectCreate(image.data(), static_cast<unsigned int>(image.size())));
        for (const char* name : {"First", "AxB", "A", "Last"})
        {
            f.FieldWriteBegin(name);
            f.FieldWriteI(static_cast<int>(std::strlen(name)));
            f.FieldWriteEnd();
        }
        ASSERT_TRUE(f.ProjectClose());
        image.resize(static_cast<size_t>(f.ProjectGetFileSize()));
    }
    const std::string text(image.begin(), image.end());
    const size_t at = text.find("AxB");
    ASSERT_NE(at, std::string::npos);
    image[at + 1] = 0;
    const unsigned int check = Crc32(image.data(), image.size() - 4);
    for (int i = 0; i < 4; ++i)
        image[image.size() - 4 + static_cast<size_t>(i)] = static_cast<unsigned char>(check >> (24 - 8 * i));
    KQox f;
    ASSERT_TRUE(f.ProjectOpen(image.data(), static_cast<unsigned int>(image.size())));
    ASSERT_TRUE(f.FieldReadBegin("First"));
    f.FieldReadEnd();
    // Next in the file is "A\0B": "A" is the record after it.
    ASSERT_TRUE(f.FieldReadBegin("A"));
    EXPECT_EQ(f.FieldReadI(), 1);
    f.FieldReadEnd();
    EXPECT_FALSE(f.FieldReadBegin("A"));
    EXPECT_FALSE(f.FieldReadBegin("AxB"));
    ASSERT_TRUE(f.FieldReadBegin("Last"));
    EXPECT_EQ(f.FieldReadI(), 4);
    f.FieldReadEnd();
    EXPECT_EQ(f.FieldReadGetRecordCount(), 4);
}

// A file cut short or with a changed byte, read from memory and from disk:
// an error, never a crash; the check value finds a change in bytes never
// read, and a file cut while it is read reads as damage.
TEST(KQoxInPlaceDamage, CutAndChangedFiles)
{
    TempDir dir;
    const std::string path = WriteSceneFile(dir, "small.qox", KQox::eBINARY, 6, 2);
    const std::vector<unsigned char> image = FileBytes(path);
    ASSERT_GT(image.size(), 1000u);
    // Cut at many places: reading in place never passes the image's end.
    for (size_t length = 0; length < image.size(); length += 97)
    {
        std::vector<unsigned char> cut(image.begin(), image.begin() + static_cast<long>(length));
        cut.shrink_to_fit();
        KQox f;
        if (cut.empty() || !f.ProjectOpen(cut.data(), static_cast<unsigned int>(cut.size()), nullptr, false))
            continue;
        std::string out;
        Dump(f, out, 0);
        EXPECT_FALSE(f.ProjectCheckIntegrity()) << "cut at " << length;
    }
    // A changed byte inside the raw value of the last model, which a
    // reader of the first model never reaches.
    std::vector<unsigned char> changed = image;
    const std::string text(image.begin(), image.end());
    const size_t raw = text.rfind("Raw");
    ASSERT_NE(raw, std::string::npos);
    changed[raw + 40] ^= 0x10;
    {
        KQox f;
        ASSERT_TRUE(f.ProjectOpen(changed.data(), static_cast<unsigned int>(changed.size()), nullptr, false));
        ASSERT_TRUE(f.ProjectOpenSection(0));
        ASSERT_TRUE(f.FieldReadBegin("Model"));
        ASSERT_TRUE(f.FieldReadBlockBegin());
        EXPECT_EQ(f.FieldReadI("Version", 0), 232);
        EXPECT_FALSE(f.ProjectCheckIntegrity());
        EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
    }
    {
        KQox f;
        EXPECT_FALSE(f.ProjectOpen(changed.data(), static_cast<unsigned int>(changed.size())));
        EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
    }
    // Read whole, then checked twice: the same answer.
    {
        KQox f;
        ASSERT_TRUE(f.ProjectOpen(image.data(), static_cast<unsigned int>(image.size()), nullptr, false));
        std::string out;
        Dump(f, out, 0);
        EXPECT_TRUE(f.ProjectCheckIntegrity());
        EXPECT_TRUE(f.ProjectCheckIntegrity());
    }
    // A block size that reaches past its list: damage, from memory as from disk.
    std::vector<unsigned char> hostile = image;
    const size_t model = text.find("Model");
    ASSERT_NE(model, std::string::npos);
    // The block bytes of the first "Model" record: after its name, the
    // count (4) and the value bytes (8).
    const size_t blockBytes = model + 5 + 12;
    for (int i = 0; i < 8; ++i)
        hostile[blockBytes + static_cast<size_t>(i)] = 0x7F;
    const unsigned int check = Crc32(hostile.data(), hostile.size() - 4);
    for (int i = 0; i < 4; ++i)
        hostile[hostile.size() - 4 + static_cast<size_t>(i)] = static_cast<unsigned char>(check >> (24 - 8 * i));
    {
        KQox f;
        ASSERT_TRUE(f.ProjectOpen(hostile.data(), static_cast<unsigned int>(hostile.size())));
        EXPECT_FALSE(f.ProjectOpenSection(0));
        EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
    }
    const std::string hostilePath = dir.File("hostile.qox");
    {
        FILE* file = std::fopen(hostilePath.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(hostile.data(), 1, hostile.size(), file), hostile.size());
        std::fclose(file);
        KQox f;
        ASSERT_TRUE(f.ProjectOpen(hostilePath.c_str()));
        EXPECT_FALSE(f.ProjectOpenSection(0));
        EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
    }
}

} // namespace
