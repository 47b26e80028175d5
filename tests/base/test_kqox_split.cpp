// Records of a list read side by side: readers split off a list read its
// records as the reader itself would (values bit for bit, nested blocks,
// raw values larger than a reading window), on threads of their own; joined
// back, their damage is the reader's and the bytes they read count for the
// integrity check, so that a changed byte anywhere is still caught.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/kqox.h"
#include "kqox_test_util.h"

namespace {

using qoxtest::TempDir;

const int kSectionVersion = 7123;

const double kOdd[] = {0.0,
                       -0.0,
                       1.5,
                       DBL_MAX,
                       -DBL_MAX,
                       DBL_MIN,
                       std::numeric_limits<double>::denorm_min(),
                       std::numeric_limits<double>::infinity(),
                       std::numeric_limits<double>::quiet_NaN()};

// Raw bytes of a model: every 40th is larger than a reading window.
std::vector<unsigned char> RawOf(int model)
{
    const size_t size = model % 40 == 7 ? 300000 + static_cast<size_t>(model) : static_cast<size_t>(model * 37 % 700);
    std::vector<unsigned char> raw(size);
    for (size_t i = 0; i < size; ++i)
        raw[i] = static_cast<unsigned char>(i * 29 + static_cast<size_t>(model));
    return raw;
}

// Section "Objects": a version field, models with values of each kind and
// nested blocks, other records between them, and a closing field.
void WriteScene(KQox& f, int models)
{
    ASSERT_TRUE(f.ProjectWriteSectionBegin("Objects", kSectionVersion));
    f.FieldWriteBegin("Version");
    f.FieldWriteI(3);
    f.FieldWriteEnd();
    for (int m = 0; m < models; ++m)
    {
        f.FieldWriteBegin("Model");
        f.FieldWriteC(("Model::Node" + std::to_string(m)).c_str());
        f.FieldWriteI(m);
        f.FieldWriteL(-1ll - m);
        f.FieldWriteD(kOdd[m % (sizeof(kOdd) / sizeof(kOdd[0]))]);
        f.FieldWriteBlockBegin();
        {
            f.FieldWriteBegin("Properties");
            f.FieldWriteBlockBegin();
            for (int p = 0; p < m % 5; ++p)
            {
                f.FieldWriteBegin("Property");
                f.FieldWriteC("Lcl Translation");
                f.FieldWriteD(p * 0.25 - m);
                f.FieldWriteEnd();
            }
            f.FieldWriteBlockEnd();
            f.FieldWriteEnd();
            const std::vector<unsigned char> raw = RawOf(m);
            f.FieldWriteBegin("Content");
            f.FieldWriteR(raw.data(), raw.size());
            f.FieldWriteEnd();
            std::vector<double> keys(static_cast<size_t>(m % 9));
            for (size_t k = 0; k < keys.size(); ++k)
                keys[k] = m * 100.0 + static_cast<double>(k);
            f.FieldWriteBegin("KeysWithAVeryLongFieldName");
            f.FieldWriteArrayD(keys.data(), static_cast<unsigned int>(keys.size()));
            f.FieldWriteEnd();
        }
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        if (m % 3 == 0)
        {
            f.FieldWriteBegin("Connect");
            f.FieldWriteI(m);
            f.FieldWriteEnd();
        }
    }
    f.FieldWriteBegin("Closing");
    f.FieldWriteC("end");
    f.FieldWriteEnd();
    ASSERT_TRUE(f.ProjectWriteSectionEnd());
}

std::string Bits(double value)
{
    unsigned long long bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return std::to_string(bits);
}

// Every value of the current field, in order, as text.
std::string Values(KQox& f)
{
    std::string out;
    while (f.FieldReadGetRemain() > 0)
    {
        const char type = f.FieldReadGetType();
        out += type;
        switch (type)
        {
        case 'I': out += std::to_string(f.FieldReadI()); break;
        case 'L': out += std::to_string(f.FieldReadL()); break;
        case 'D': out += Bits(f.FieldReadD()); break;
        case 'S': out += f.FieldReadC(); break;
        case 'R':
        {
            std::vector<unsigned char> raw(static_cast<size_t>(f.FieldReadRSize()));
            if (!f.FieldReadR(raw.data(), raw.size()))
                return out + "!raw";
            out += std::to_string(raw.size()) + ":" + std::to_string(kqoxtest::Crc32(raw.data(), raw.size()));
            break;
        }
        case 'd':
        {
            std::vector<double> items(static_cast<size_t>(f.FieldReadArrayCount()));
            if (!f.FieldReadArrayD(items.data(), items.size()))
                return out + "!array";
            for (double item : items)
                out += Bits(item) + ",";
            break;
        }
        default: return out + "!type";
        }
        out += ";";
    }
    return out;
}

// Records first .. first + count - 1 of the current list, blocks and all.
std::string Walk(KQox& f, int first, int count)
{
    std::string out;
    for (int i = first; i < first + count; ++i)
    {
        const char* recordName = f.FieldReadGetRecordName(i);
        if (!recordName)
            return out + "!name";
        const std::string name(recordName);
        if (!f.FieldReadBegin(name.c_str()))
            return out + "!begin";
        out += name + "(" + Values(f);
        if (f.FieldReadBlockBegin())
        {
            out += "{" + Walk(f, 0, f.FieldReadGetRecordCount()) + "}";
            if (!f.FieldReadBlockEnd())
                out += "!end";
        }
        f.FieldReadEnd();
        out += ")";
    }
    return out;
}

struct SplitTest : ::testing::Test
{
    TempDir mDir;
    std::string mFile;
    std::vector<unsigned char> mImage;

    void Make(int models, KQox::EForm form = KQox::eBINARY)
    {
        mFile = mDir.File(form == KQox::eASCII ? "scene.qoxa" : "scene.qox");
        KQox f;
        ASSERT_TRUE(f.ProjectCreate(mFile.c_str(), form, KQox::eVERSION_6, form == KQox::eENCRYPTED ? "pw" : nullptr));
        WriteScene(f, models);
        ASSERT_TRUE(f.ProjectClose());
        LoadImage();
    }
    void LoadImage()
    {
        std::ifstream in(mFile, std::ios::binary);
        mImage.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void SaveImage()
    {
        std::ofstream out(mFile, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(mImage.data()), static_cast<std::streamsize>(mImage.size()));
    }
    bool Open(KQox& f, bool inMemory, const char* password = nullptr)
    {
        return inMemory ? f.ProjectOpen(mImage.data(), static_cast<unsigned int>(mImage.size()), password, false)
                        : f.ProjectOpen(mFile.c_str(), password, false);
    }
    // The section read by one reader alone.
    std::string Serial(bool inMemory, bool& intact)
    {
        KQox f;
        EXPECT_TRUE(Open(f, inMemory));
        EXPECT_TRUE(f.ProjectReadSectionBegin("Objects"));
        const std::string out = Walk(f, 0, f.FieldReadGetRecordCount());
        f.ProjectReadSectionEnd();
        intact = f.ProjectCheckIntegrity();
        return out;
    }
};

// Reads the section's records in parts side by side, on threads; leaves the
// reader open with the joins' outcome in joined.
std::string ReadInParts(KQox& f, int parts, bool& joined)
{
    const int count = f.FieldReadGetRecordCount();
    std::vector<std::unique_ptr<KQox>> readers;
    std::vector<std::string> texts(static_cast<size_t>(parts));
    std::vector<std::thread> threads;
    int first = 0;
    for (int p = 0; p < parts; ++p)
    {
        const int n = count / parts + (p < count % parts ? 1 : 0);
        readers.push_back(std::make_unique<KQox>());
        EXPECT_TRUE(f.FieldReadSplit(*readers.back(), first, n));
        EXPECT_EQ(readers.back()->FieldReadGetRecordCount(), n);
        // The reader itself, not its place in readers: the list grows while
        // the threads run.
        KQox* reader = readers.back().get();
        threads.emplace_back([&texts, reader, p, n] { texts[static_cast<size_t>(p)] = Walk(*reader, 0, n); });
        first += n;
    }
    for (std::thread& thread : threads)
        thread.join();
    joined = true;
    for (auto& reader : readers)
        joined = f.FieldReadJoin(*reader) && joined;
    std::string out;
    for (const std::string& text : texts)
        out += text;
    return out;
}

TEST_F(SplitTest, PartsReadWhatOneReaderReadsOnDiskAndInMemory)
{
    Make(300);
    for (bool inMemory : {false, true})
    {
        SCOPED_TRACE(inMemory ? "in memory" : "on disk");
        bool intact = false;
        const std::string serial = Serial(inMemory, intact);
        EXPECT_TRUE(intact);
        ASSERT_EQ(serial.find('!'), std::string::npos) << serial.substr(0, 200);
        for (int parts : {1, 2, 7, 64})
        {
            SCOPED_TRACE(parts);
            KQox f;
            ASSERT_TRUE(Open(f, inMemory));
            ASSERT_TRUE(f.ProjectReadSectionBegin("Objects"));
            bool joined = false;
            EXPECT_EQ(ReadInParts(f, parts, joined), serial);
            EXPECT_TRUE(joined);
            EXPECT_TRUE(f.ProjectReadSectionEnd());
            EXPECT_TRUE(f.ProjectCheckIntegrity());
        }
    }
}

TEST_F(SplitTest, PartHoldsOnlyItsRecordsAndTheSectionVersion)
{
    Make(20);
    KQox f;
    ASSERT_TRUE(Open(f, false));
    ASSERT_TRUE(f.ProjectReadSectionBegin("Objects"));
    // Records: Version, then Model (and Connect after every third model).
    KQox part;
    ASSERT_TRUE(f.FieldReadSplit(part, 3, 2)); // Model 1, Model 2
    EXPECT_EQ(part.FieldReadGetRecordCount(), 2);
    EXPECT_EQ(part.ProjectGetCurrentSectionVersion(), kSectionVersion);
    EXPECT_FALSE(part.FieldReadBegin("Version"));
    EXPECT_FALSE(part.FieldReadBegin("Connect"));
    ASSERT_TRUE(part.FieldReadBegin("Model"));
    EXPECT_STREQ(part.FieldReadC(), "Model::Node1");
    part.FieldReadEnd();
    ASSERT_TRUE(part.FieldReadBegin("Model"));
    EXPECT_STREQ(part.FieldReadC(), "Model::Node2");
    part.FieldReadEnd();
    EXPECT_FALSE(part.FieldReadBegin("Model"));
    // The section's own list cannot be left from the part.
    EXPECT_FALSE(part.FieldReadBlockEnd());
    part.GetError().ClearLastError();
    EXPECT_TRUE(f.FieldReadJoin(part));
    EXPECT_FALSE(part.ProjectIsOpen());
    // The reader goes on where it was: nothing of its own was read.
    EXPECT_EQ(f.FieldReadI("Version", -1), 3);
    ASSERT_TRUE(f.FieldReadBegin("Model"));
    EXPECT_STREQ(f.FieldReadC(), "Model::Node0");
    f.FieldReadEnd();
    EXPECT_TRUE(f.ProjectReadSectionEnd());
    EXPECT_TRUE(f.ProjectCheckIntegrity());
}

TEST_F(SplitTest, RefusedWhereRecordsCannotBeReadApart)
{
    Make(10);
    KQox part;
    {
        KQox closed;
        EXPECT_FALSE(closed.FieldReadSplit(part, 0, 1));
    }
    KQox f;
    ASSERT_TRUE(Open(f, false));
    ASSERT_TRUE(f.ProjectReadSectionBegin("Objects"));
    const int count = f.FieldReadGetRecordCount();
    EXPECT_FALSE(f.FieldReadSplit(part, -1, 2));
    EXPECT_FALSE(f.FieldReadSplit(part, 0, 0));
    EXPECT_FALSE(f.FieldReadSplit(part, count - 1, 2));
    EXPECT_FALSE(f.FieldReadSplit(part, 0x7fffffff, 0x7fffffff));
    EXPECT_FALSE(f.FieldReadSplit(f, 0, 1));
    EXPECT_FALSE(part.ProjectIsOpen());
    EXPECT_TRUE(f.FieldReadSplit(part, count - 1, 1));
    // Splitting again closes what the part had open.
    EXPECT_TRUE(f.FieldReadSplit(part, 0, count));
    EXPECT_EQ(part.FieldReadGetRecordCount(), count);
    EXPECT_TRUE(f.FieldReadJoin(part));

    for (KQox::EForm form : {KQox::eASCII, KQox::eENCRYPTED})
    {
        Make(10, form);
        KQox g;
        ASSERT_TRUE(Open(g, false, form == KQox::eENCRYPTED ? "pw" : nullptr));
        ASSERT_TRUE(g.ProjectReadSectionBegin("Objects"));
        EXPECT_FALSE(g.FieldReadSplit(part, 0, 1)) << form;
        EXPECT_FALSE(part.ProjectIsOpen());
        // The reader is untouched: it reads the section itself.
        EXPECT_EQ(Walk(g, 0, g.FieldReadGetRecordCount()).find('!'), std::string::npos);
    }
}

TEST_F(SplitTest, DamageInAPartIsTheReadersOnJoin)
{
    Make(200);
    // A nested block's announced size made too large (the check value put
    // right): the part reading that model finds the damage.
    const size_t at = kqoxtest::FindNth(mImage, "Properties", 150);
    ASSERT_NE(at, std::string::npos);
    // After the name: count (4), value bytes (8), then block bytes.
    const size_t blockBytes = at + std::strlen("Properties") + 12;
    mImage[blockBytes + 3] = 0x40;
    kqoxtest::Reseal(mImage);
    SaveImage();
    for (bool inMemory : {false, true})
    {
        SCOPED_TRACE(inMemory ? "in memory" : "on disk");
        KQox f;
        ASSERT_TRUE(Open(f, inMemory));
        // The models' own heads are sound: the section opens.
        ASSERT_TRUE(f.ProjectReadSectionBegin("Objects"));
        bool joined = true;
        EXPECT_NE(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
        ReadInParts(f, 5, joined);
        EXPECT_FALSE(joined);
        EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
    }
}

TEST_F(SplitTest, AChangedByteOnlyPartsReadFailsTheIntegrityCheck)
{
    Make(200);
    // A byte of a large raw value of a model in the middle, the check value
    // left as it was.
    const size_t at = kqoxtest::FindNth(mImage, "Model::Node87", 0);
    ASSERT_NE(at, std::string::npos);
    mImage[at + 5000] ^= 0x10;
    SaveImage();
    for (bool inMemory : {false, true})
    {
        for (int parts : {1, 3, 8})
        {
            SCOPED_TRACE(std::string(inMemory ? "in memory " : "on disk ") + std::to_string(parts));
            KQox f;
            ASSERT_TRUE(Open(f, inMemory));
            ASSERT_TRUE(f.ProjectReadSectionBegin("Objects"));
            bool joined = false;
            ReadInParts(f, parts, joined);
            EXPECT_TRUE(joined);
            EXPECT_TRUE(f.ProjectReadSectionEnd());
            EXPECT_FALSE(f.ProjectCheckIntegrity());
        }
    }
}

TEST_F(SplitTest, ManyPartsOfAFewRecordsEachAndAPartLeftUnjoined)
{
    Make(1000);
    bool intact = false;
    const std::string serial = Serial(false, intact);
    KQox f;
    ASSERT_TRUE(Open(f, false));
    ASSERT_TRUE(f.ProjectReadSectionBegin("Objects"));
    bool joined = false;
    EXPECT_EQ(ReadInParts(f, 500, joined), serial);
    EXPECT_TRUE(joined);
    {
        // A part dropped without a join leaves the reader as it was.
        KQox part;
        ASSERT_TRUE(f.FieldReadSplit(part, 0, 10));
        EXPECT_EQ(Walk(part, 0, 1).find('!'), std::string::npos);
    }
    EXPECT_TRUE(f.ProjectReadSectionEnd());
    EXPECT_TRUE(f.ProjectCheckIntegrity());
}

TEST_F(SplitTest, PartsReadWhileTheReaderReadsOn)
{
    Make(400);
    bool intact = false;
    const std::string serial = Serial(false, intact);
    for (bool damaged : {false, true})
    {
        if (damaged)
        {
            // A byte of a model in the part's half, the check value left.
            const size_t at = kqoxtest::FindNth(mImage, "Model::Node300", 0);
            ASSERT_NE(at, std::string::npos);
            mImage[at + 40] ^= 0x01;
            SaveImage();
        }
        for (bool inMemory : {false, true})
        {
            SCOPED_TRACE(std::string(inMemory ? "in memory" : "on disk") + (damaged ? ", damaged" : ""));
            KQox f;
            ASSERT_TRUE(Open(f, inMemory));
            ASSERT_TRUE(f.ProjectReadSectionBegin("Objects"));
            const int count = f.FieldReadGetRecordCount();
            const int half = count / 2;
            KQox part;
            ASSERT_TRUE(f.FieldReadSplit(part, half, count - half));
            std::string later;
            std::thread reader([&] { later = Walk(part, 0, count - half); });
            // The reader reads its own half meanwhile, and leaves the section.
            const std::string first = Walk(f, 0, half);
            EXPECT_TRUE(f.ProjectReadSectionEnd());
            reader.join();
            EXPECT_TRUE(f.FieldReadJoin(part));
            if (!damaged)
            {
                EXPECT_EQ(first + later, serial);
            }
            EXPECT_EQ(f.ProjectCheckIntegrity(), !damaged);
        }
    }
}

} // namespace
