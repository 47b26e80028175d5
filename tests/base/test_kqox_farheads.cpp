// Sections of large records: their heads lie kilobytes apart and are read
// one by one when the section is opened, the bytes between left to the value
// window. Read from disk they answer as read in place from memory: the same
// values, damage to any head found when the section is opened, damage
// between heads found by the check value (and only there), a file cut in the
// middle of a section refused.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "base/kbytes.h"
#include "base/kqox.h"
#include "kqox_test_util.h"

namespace {

using kqoxtest::Crc32;
using kqoxtest::Reseal;
using qoxtest::TempDir;

const int kModels = 300;

// Raw bytes of a model: 1,100 to 9,100 bytes, so that its record's head lies
// far from the one before and the heads fall across the reading windows at
// many places.
std::vector<unsigned char> RawOf(int model)
{
    std::vector<unsigned char> raw(1100 + static_cast<size_t>((model * 7919) % 8000));
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<unsigned char>(i * 31 + static_cast<size_t>(model) * 7);
    return raw;
}

// Section "Objects": large records with a small block each; section
// "Connections": small records close together; then a top-level field.
std::vector<unsigned char> WriteFarFile(const std::string& path)
{
    KQox f;
    EXPECT_TRUE(f.ProjectCreate(path.c_str()));
    f.FieldWriteBegin("Creator");
    f.FieldWriteC("far heads");
    f.FieldWriteEnd();
    f.ProjectWriteSectionBegin("Objects", 6000);
    for (int m = 0; m < kModels; ++m)
    {
        f.FieldWriteBegin("Model");
        f.FieldWriteC(("M" + std::to_string(m)).c_str());
        f.FieldWriteI(m);
        const std::vector<unsigned char> raw = RawOf(m);
        f.FieldWriteR(raw.data(), raw.size());
        f.FieldWriteBlockBegin();
        f.FieldWriteBegin("Version");
        f.FieldWriteI(232);
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
    }
    f.ProjectWriteSectionEnd();
    f.ProjectWriteSectionBegin("Connections", 6000);
    for (int m = 0; m < kModels; ++m)
    {
        f.FieldWriteBegin("Connect");
        f.FieldWriteC("OO");
        f.FieldWriteI(m);
        f.FieldWriteEnd();
    }
    f.ProjectWriteSectionEnd();
    f.FieldWriteBegin("Trailer");
    f.FieldWriteI(-7);
    f.FieldWriteEnd();
    EXPECT_TRUE(f.ProjectClose());
    const std::string bytes = qoxtest::ReadFile(path);
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

void Save(const std::string& path, const std::vector<unsigned char>& bytes)
{
    ASSERT_TRUE(qoxtest::WriteFile(path, std::string(bytes.begin(), bytes.end())));
}


// Where the records of the top-level list's section of that name start,
// found from the layout (record: kind, name length (2), name, count (4),
// value bytes (8), block bytes (8), values, block).
std::vector<size_t> HeadsOf(const std::vector<unsigned char>& bytes, const char* section)
{
    std::vector<size_t> heads;
    size_t position = 32;
    while (position + 23 < bytes.size() && bytes[position] != 0)
    {
        const size_t nameLength = kbytes::GetLE16(&bytes[position + 1]);
        const size_t values = position + 23 + nameLength;
        const size_t valueBytes = static_cast<size_t>(kbytes::GetLE64(&bytes[position + 3 + nameLength + 4]));
        const size_t blockBytes = static_cast<size_t>(kbytes::GetLE64(&bytes[position + 3 + nameLength + 12]));
        const std::string name(reinterpret_cast<const char*>(&bytes[position + 3]), nameLength);
        if (bytes[position] == 'S' && name == section)
        {
            size_t at = values + valueBytes;
            while (bytes[at] != 0)
            {
                heads.push_back(at);
                const size_t length = kbytes::GetLE16(&bytes[at + 1]);
                at += 23 + length + static_cast<size_t>(kbytes::GetLE64(&bytes[at + 3 + length + 4])) +
                      static_cast<size_t>(kbytes::GetLE64(&bytes[at + 3 + length + 12]));
            }
        }
        position = values + valueBytes + blockBytes;
    }
    return heads;
}

// Every answer of a reader going through the current list, one line per call
// that can fail, raw values by their check value.
void DumpList(KQox& f, std::ostringstream& out, int depth)
{
    const int records = f.FieldReadGetRecordCount();
    for (int r = 0; r < records; ++r)
    {
        bool isSection = false;
        const char* name = f.FieldReadGetRecordName(r, &isSection);
        if (!name || isSection)
            continue;
        const std::string field = name;
        if (!f.FieldReadBegin(field.c_str()))
        {
            out << "begin " << field << " failed " << f.GetLastErrorID() << "\n";
            continue;
        }
        out << std::string(static_cast<size_t>(depth), ' ') << field << ":";
        while (f.FieldReadGetRemain() > 0)
        {
            const char type = f.FieldReadGetType();
            switch (type)
            {
            case 'C':
            case 'S': out << " S" << f.FieldReadC(); break;
            case 'I': out << " I" << f.FieldReadI(); break;
            case 'R':
            {
                std::vector<unsigned char> raw(static_cast<size_t>(f.FieldReadRSize()));
                const bool ok = f.FieldReadR(raw.data(), raw.size());
                out << " R" << raw.size() << "/" << ok << "/" << Crc32(raw.data(), raw.size());
                break;
            }
            default: out << " ?" << type << "/" << f.FieldReadL(); break;
            }
        }
        out << "\n";
        if (f.FieldReadBlockBegin())
        {
            DumpList(f, out, depth + 1);
            out << "block end " << f.FieldReadBlockEnd() << "\n";
        }
        f.FieldReadEnd();
    }
}

// Opening (with or without the check at opening), every section and field,
// then the check value: what each call answered.
template <typename Open>
std::string Script(Open open, bool checkAtOpen, int skipEvery = 0)
{
    std::ostringstream out;
    KQox f;
    if (!open(f, checkAtOpen))
    {
        out << "open failed " << f.GetLastErrorID();
        return out.str();
    }
    const int sections = f.ProjectGetSectionCount();
    for (int s = 0; s < sections; ++s)
    {
        if (!f.ProjectOpenSection(s))
        {
            out << "section " << s << " failed " << f.GetLastErrorID() << "\n";
            continue;
        }
        out << "section " << f.ProjectGetSectionName(s) << " " << f.FieldReadGetRecordCount() << "\n";
        if (skipEvery > 0)
        {
            // Only some records read: the bytes of the others are passed over.
            for (int r = 0; f.FieldReadBegin(f.FieldReadGetRecordName(0)); ++r)
            {
                if (r % skipEvery == 0)
                    out << f.FieldReadC() << " " << f.FieldReadI() << "\n";
                f.FieldReadEnd();
            }
        }
        else
        {
            DumpList(f, out, 0);
        }
        out << "section end " << f.ProjectReadSectionEnd() << "\n";
    }
    out << "Trailer " << f.FieldReadI("Trailer", 0) << "\n";
    const bool intact = f.ProjectCheckIntegrity();
    out << "integrity " << intact << " " << f.GetLastErrorID() << "\n";
    return out.str();
}

std::string FromDisk(const std::string& path, bool checkAtOpen, int skipEvery = 0)
{
    return Script([&](KQox& f, bool check) { return f.ProjectOpen(path.c_str(), nullptr, check); }, checkAtOpen,
                  skipEvery);
}

std::string FromMemory(const std::vector<unsigned char>& bytes, bool checkAtOpen, int skipEvery = 0)
{
    return Script(
        [&](KQox& f, bool check) {
            return f.ProjectOpen(bytes.data(), static_cast<unsigned int>(bytes.size()), nullptr, check);
        },
        checkAtOpen, skipEvery);
}

// Every value comes back, from disk as from memory, whether the records are
// all read, or only some (the check value then reads the bytes passed over).
TEST(KQoxFarHeads, ValuesAcrossWindowEdges)
{
    TempDir dir;
    const std::string path = dir.File("far.qox");
    const std::vector<unsigned char> bytes = WriteFarFile(path);
    ASSERT_GT(bytes.size(), 1u << 20);
    const std::vector<size_t> heads = HeadsOf(bytes, "Objects");
    ASSERT_EQ(heads.size(), static_cast<size_t>(kModels));
    for (size_t i = 1; i < heads.size(); ++i)
        ASSERT_GT(heads[i] - heads[i - 1], 1024u);
    for (bool check : {false, true})
    {
        const std::string disk = FromDisk(path, check);
        EXPECT_EQ(disk, FromMemory(bytes, check));
        const std::vector<unsigned char> raw = RawOf(kModels - 1);
        EXPECT_NE(disk.find("Model: SM" + std::to_string(kModels - 1) + " I" + std::to_string(kModels - 1) + " R" +
                            std::to_string(raw.size()) + "/1/" + std::to_string(Crc32(raw.data(), raw.size()))),
                  std::string::npos);
        EXPECT_NE(disk.find("integrity 1 -1"), std::string::npos) << disk.substr(disk.size() - 200);
        for (int skip : {2, 7})
        {
            const std::string some = FromDisk(path, check, skip);
            EXPECT_EQ(some, FromMemory(bytes, check, skip));
            EXPECT_NE(some.find("integrity 1 -1"), std::string::npos);
        }
    }
    // The same file read twice in one go: the second pass and its check agree.
    KQox f;
    ASSERT_TRUE(f.ProjectOpen(path.c_str(), nullptr, false));
    for (int pass = 0; pass < 2; ++pass)
    {
        ASSERT_TRUE(f.ProjectOpenSection(0));
        for (int m = 0; m < kModels; ++m)
        {
            ASSERT_TRUE(f.FieldReadBegin("Model"));
            EXPECT_STREQ(f.FieldReadC(), ("M" + std::to_string(m)).c_str());
            EXPECT_EQ(f.FieldReadI(), m);
            const std::vector<unsigned char> expected = RawOf(m);
            std::vector<unsigned char> raw(expected.size());
            ASSERT_TRUE(f.FieldReadR(raw.data(), raw.size()));
            EXPECT_TRUE(raw == expected) << m;
            f.FieldReadEnd();
        }
        ASSERT_TRUE(f.ProjectReadSectionEnd());
        EXPECT_TRUE(f.ProjectCheckIntegrity());
    }
}

// A damaged head anywhere among the far-apart records (check value made
// right again) is found when the section is opened, not later.
TEST(KQoxFarHeads, DamagedHeadFoundAtSectionOpen)
{
    TempDir dir;
    const std::string path = dir.File("far.qox");
    const std::vector<unsigned char> bytes = WriteFarFile(path);
    const std::vector<size_t> heads = HeadsOf(bytes, "Objects");
    ASSERT_EQ(heads.size(), static_cast<size_t>(kModels));
    const std::string damaged = dir.File("damaged.qox");
    for (size_t k = 1; k < heads.size(); k += 13)
    {
        for (int how = 0; how < 3; ++how)
        {
            std::vector<unsigned char> changed = bytes;
            const size_t head = heads[k];
            if (how == 0)
                changed[head] = 'X'; // no record kind
            else if (how == 1)
                changed[head + 3 + 5 + 4 + 7] = 0x40; // value bytes past the section's end
            else
                kbytes::PutLE32(&changed[head + 3 + 5], 0); // no values, yet value bytes
            Reseal(changed);
            Save(damaged, changed);
            for (bool check : {false, true})
            {
                KQox f;
                ASSERT_TRUE(f.ProjectOpen(damaged.c_str(), nullptr, check)) << k;
                EXPECT_EQ(f.FieldReadI("Trailer", 0), -7);
                EXPECT_FALSE(f.ProjectOpenSection(0)) << k << " " << how;
                EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
                EXPECT_TRUE(f.ProjectOpenSection(1));
                const std::string disk = FromDisk(damaged, check);
                EXPECT_EQ(disk, FromMemory(changed, check));
                EXPECT_EQ(disk.rfind("section 0 failed " + std::to_string(KQox::eFILE_CORRUPTED), 0), 0u) << disk;
            }
        }
    }
}

// A changed byte between two heads (inside a raw value) is no damage to the
// index: the section opens and reads; the check value finds it, whether the
// record was read or passed over, and opening with the check refuses it.
TEST(KQoxFarHeads, ChangeBetweenHeadsFoundByTheCheck)
{
    TempDir dir;
    const std::string path = dir.File("far.qox");
    const std::vector<unsigned char> bytes = WriteFarFile(path);
    const std::vector<size_t> heads = HeadsOf(bytes, "Objects");
    ASSERT_EQ(heads.size(), static_cast<size_t>(kModels));
    const std::string damaged = dir.File("damaged.qox");
    for (size_t k : {size_t(0), size_t(1), size_t(150), size_t(kModels - 2)})
    {
        std::vector<unsigned char> changed = bytes;
        const size_t middle = (heads[k] + heads[k + 1]) / 2;
        changed[middle] ^= 0x04;
        Save(damaged, changed);
        for (int skip : {0, 2, 1000})
        {
            const std::string disk = FromDisk(damaged, false, skip);
            EXPECT_EQ(disk, FromMemory(changed, false, skip));
            EXPECT_NE(disk.find("integrity 0 " + std::to_string(KQox::eFILE_CORRUPTED)), std::string::npos)
                << k << " " << skip;
        }
        KQox f;
        EXPECT_FALSE(f.ProjectOpen(damaged.c_str()));
        EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
        // The section alone opened, nothing read: the check reads what was not.
        KQox g;
        ASSERT_TRUE(g.ProjectOpen(damaged.c_str(), nullptr, false));
        ASSERT_TRUE(g.ProjectOpenSection(0));
        EXPECT_FALSE(g.ProjectCheckIntegrity());
    }
    KQox f;
    ASSERT_TRUE(f.ProjectOpen(path.c_str(), nullptr, false));
    ASSERT_TRUE(f.ProjectOpenSection(0));
    EXPECT_TRUE(f.ProjectCheckIntegrity());
}

// A file cut in the middle of the section of far-apart records: refused
// when opened, with or without the check, from disk as from memory.
TEST(KQoxFarHeads, CutInTheMiddleOfTheSection)
{
    TempDir dir;
    const std::string path = dir.File("far.qox");
    const std::vector<unsigned char> bytes = WriteFarFile(path);
    const std::vector<size_t> heads = HeadsOf(bytes, "Objects");
    ASSERT_EQ(heads.size(), static_cast<size_t>(kModels));
    const std::string cutPath = dir.File("cut.qox");
    for (size_t k = 0; k < heads.size(); k += 37)
    {
        for (size_t length : {heads[k], heads[k] + 10, heads[k] + 500})
        {
            const std::vector<unsigned char> cut(bytes.begin(), bytes.begin() + static_cast<long>(length));
            Save(cutPath, cut);
            for (bool check : {false, true})
            {
                const std::string disk = FromDisk(cutPath, check);
                EXPECT_EQ(disk, FromMemory(cut, check));
                EXPECT_EQ(disk, "open failed " + std::to_string(KQox::eFILE_CORRUPTED));
            }
        }
    }
}

} // namespace
