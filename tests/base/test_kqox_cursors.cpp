// Which record a lookup finds, against a model of each name's place: lists
// read in the order they were written (the quick way in) mixed with lookups
// out of that order, fields left open, named reads, counts and record names
// (the lookups that leave it), in lists of a few records and of many (where
// the list indexes its names), read in place, from disk and as ASCII. Also
// sections opened by place, 100,000 records in one block, damaged sizes,
// huge names, empty blocks and deep nesting.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "base/kqox.h"
#include "kqox_test_util.h"

namespace {

using kqoxtest::Crc32;
using kqoxtest::FindNth;
using kqoxtest::Reseal;

// A field to write: its name, its value and, when hasBlock, a nested list.
struct Field
{
    std::string name;
    int value = 0;
    bool hasBlock = false;
    std::vector<Field> block;
};

void WriteFields(KQox& f, const std::vector<Field>& fields)
{
    for (const Field& field : fields)
    {
        f.FieldWriteBegin(field.name.c_str());
        f.FieldWriteI(field.value);
        if (field.hasBlock)
        {
            f.FieldWriteBlockBegin();
            WriteFields(f, field.block);
            f.FieldWriteBlockEnd();
        }
        f.FieldWriteEnd();
    }
}

// Section "S" holding the fields.
std::vector<unsigned char> WriteImage(KQox::EForm form, const std::vector<Field>& fields, size_t capacity = 1u << 20)
{
    std::vector<unsigned char> bytes(capacity);
    KQox f;
    EXPECT_TRUE(f.ProjectCreate(bytes.data(), static_cast<unsigned int>(bytes.size()), form, KQox::eVERSION_6, "pw"));
    f.ProjectWriteSectionBegin("S", 6000);
    WriteFields(f, fields);
    f.ProjectWriteSectionEnd();
    EXPECT_TRUE(f.ProjectClose());
    bytes.resize(static_cast<size_t>(f.ProjectGetFileSize()));
    return bytes;
}

// Opens the image in place, or written to disk first.
bool Open(KQox& f, const std::vector<unsigned char>& bytes, bool fromDisk, const qoxtest::TempDir& dir)
{
    if (!fromDisk)
        return f.ProjectOpen(bytes.data(), static_cast<unsigned int>(bytes.size()), "pw");
    const std::string path = dir.File("cursors.qox");
    return qoxtest::WriteFile(path, std::string(bytes.begin(), bytes.end())) && f.ProjectOpen(path.c_str(), "pw");
}

class Random
{
public:
    explicit Random(unsigned seed)
        : mState(seed)
    {}
    unsigned operator()(unsigned n)
    {
        mState = mState * 1103515245u + 12345u;
        return (mState >> 16) % n;
    }

private:
    unsigned mState;
};

// Names of up to eight bytes and longer ones, some alike in their first
// eight bytes or in all but their last.
const std::vector<std::string>& NamePool()
{
    static const std::vector<std::string> names = {"A",
                                                   "Channel",
                                                   "Property",
                                                   "PropertyX",
                                                   "PropertyY",
                                                   "LayerType",
                                                   "K",
                                                   "KeyCount",
                                                   "UserProperties",
                                                   std::string(300, 'N') + "1",
                                                   std::string(300, 'N') + "2"};
    return names;
}

// Fields with names from the pool, in runs; every fourth run opens a
// block of its own (depth levels deep at most). Values count up from next.
std::vector<Field> MakeFields(Random& random, int count, int depth, int& next)
{
    std::vector<Field> fields;
    const auto& pool = NamePool();
    while (static_cast<int>(fields.size()) < count)
    {
        const std::string& name = pool[random(static_cast<unsigned>(pool.size()))];
        const int run = 1 + static_cast<int>(random(3));
        for (int i = 0; i < run && static_cast<int>(fields.size()) < count; ++i)
        {
            Field field;
            field.name = name;
            field.value = next++;
            if (depth > 0 && random(4) == 0)
            {
                field.hasBlock = true;
                field.block = MakeFields(random, static_cast<int>(random(12)), depth - 1, next);
            }
            fields.push_back(field);
        }
    }
    return fields;
}

// Random lookups in the current list (holding fields) against the model:
// a name's next record is the one after the last of that name ended.
void CheckList(KQox& f, const std::vector<Field>& fields, Random& random, int steps)
{
    std::vector<std::string> names = NamePool();
    names.push_back("Absent");
    names.push_back("Propert");   // a present name cut short
    names.push_back("PropertyZ"); // alike in the first eight bytes
    names.push_back("");
    const int count = static_cast<int>(fields.size());
    auto after = [&fields, count](const std::string& name, int from) {
        for (int i = from; i < count; ++i)
            if (fields[static_cast<size_t>(i)].name == name)
                return i;
        return -1;
    };
    std::map<std::string, int> cursor;
    for (const std::string& name : names)
        cursor[name] = after(name, 0);
    int open = -1; // record found and not ended
    for (int step = 0; step < steps; ++step)
    {
        SCOPED_TRACE(step);
        const size_t pick = random(static_cast<unsigned>(names.size()));
        const std::string& name = names[pick];
        unsigned op = random(16);
        if (open >= 0 && random(3) == 0)
            op = 3; // named reads come in runs while a field is open
        if (op == 0)
        {
            int n = 0;
            for (const Field& field : fields)
                n += field.name == name;
            EXPECT_EQ(f.FieldReadGetCount(name.c_str()), n);
        }
        else if (op == 1)
        {
            EXPECT_EQ(f.FieldReadGetRecordCount(), count);
            const int index = static_cast<int>(random(static_cast<unsigned>(count + 2))) - 1;
            bool section = true;
            const char* recordName = f.FieldReadGetRecordName(index, &section);
            if (index < 0 || index >= count)
                EXPECT_EQ(recordName, nullptr);
            else
            {
                ASSERT_NE(recordName, nullptr);
                EXPECT_EQ(recordName, fields[static_cast<size_t>(index)].name);
                EXPECT_FALSE(section);
            }
        }
        else if (op == 2 && open >= 0)
        {
            f.FieldReadEnd();
            const std::string& openName = fields[static_cast<size_t>(open)].name;
            cursor[openName] = after(openName, open + 1);
            open = -1;
        }
        else if (op == 3 && open >= 0)
        {
            // A named read inside the open field, which stays open; often
            // of the open field's own name, whose place ending the field
            // then sets back to the record after it.
            const std::string& name = random(2) == 0 ? fields[static_cast<size_t>(open)].name : names[pick];
            const int expected = cursor[name] >= 0 ? fields[static_cast<size_t>(cursor[name])].value : -1;
            EXPECT_EQ(f.FieldReadI(name.c_str(), -1), expected);
            if (cursor[name] >= 0)
                cursor[name] = after(name, cursor[name] + 1);
        }
        else if (op == 4 && open >= 0)
        {
            const Field& field = fields[static_cast<size_t>(open)];
            ASSERT_EQ(f.FieldReadBlockBegin(), field.hasBlock);
            if (field.hasBlock)
            {
                CheckList(f, field.block, random, steps / 3);
                EXPECT_TRUE(f.FieldReadBlockEnd());
            }
        }
        else if (op < 10)
        {
            // The way most readers go: the first record that is its name's
            // next one, asked for by name and mostly ended.
            int first = 0;
            while (first < count && cursor[fields[static_cast<size_t>(first)].name] != first)
                ++first;
            if (first == count)
                continue;
            const std::string& firstName = fields[static_cast<size_t>(first)].name;
            ASSERT_TRUE(f.FieldReadBegin(firstName.c_str()));
            EXPECT_EQ(f.FieldReadI(), fields[static_cast<size_t>(first)].value);
            open = first;
            if (op < 9)
            {
                f.FieldReadEnd();
                cursor[firstName] = after(firstName, first + 1);
                open = -1;
            }
        }
        else
        {
            const bool found = f.FieldReadBegin(name.c_str());
            ASSERT_EQ(found, cursor[name] >= 0);
            open = cursor[name];
            if (!found)
                continue;
            EXPECT_EQ(f.FieldReadI(), fields[static_cast<size_t>(open)].value);
            if (op < 14)
            {
                f.FieldReadEnd();
                cursor[name] = after(name, open + 1);
                open = -1;
            }
        }
    }
}

struct Source
{
    KQox::EForm form;
    bool fromDisk;
};

const Source kSources[] = {
    {KQox::eBINARY, false}, {KQox::eBINARY, true}, {KQox::eASCII, false}, {KQox::eENCRYPTED, true}};



} // namespace

TEST(KQoxCursors, LookupsInAnyOrderFollowTheModel)
{
    qoxtest::TempDir dir;
    for (const Source& source : kSources)
        for (int records : {0, 1, 2, 5, 8, 16, 17, 30, 200})
            for (unsigned seed = 1; seed <= 6; ++seed)
            {
                SCOPED_TRACE(std::to_string(source.form) + (source.fromDisk ? " disk " : " memory ") +
                             std::to_string(records) + " " + std::to_string(seed));
                Random random(seed * 7919u + static_cast<unsigned>(records));
                int next = 0;
                const std::vector<Field> fields = MakeFields(random, records, 2, next);
                const auto bytes = WriteImage(source.form, fields);
                KQox f;
                ASSERT_TRUE(Open(f, bytes, source.fromDisk, dir));
                ASSERT_TRUE(f.ProjectReadSectionBegin("S"));
                CheckList(f, fields, random, 300);
                EXPECT_TRUE(f.ProjectReadSectionEnd());
                EXPECT_NE(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
            }
}

// The same walks of a list give the same answers whether the list was
// first asked for counts (which, in a long list, makes it index its names)
// or not: the fields in file order by name, then every name once more.
TEST(KQoxCursors, SameAnswersWithAndWithoutACountFirst)
{
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
        for (int records : {3, 16, 17, 100})
        {
            SCOPED_TRACE(std::to_string(form) + " " + std::to_string(records));
            Random random(static_cast<unsigned>(records) * 31u);
            int next = 0;
            std::vector<Field> fields(1);
            fields[0].name = "Block";
            fields[0].hasBlock = true;
            fields[0].block = MakeFields(random, records, 0, next);
            const auto bytes = WriteImage(form, fields);
            std::vector<std::vector<int>> answers;
            for (bool countFirst : {false, true})
            {
                KQox f;
                ASSERT_TRUE(f.ProjectOpen(bytes.data(), static_cast<unsigned int>(bytes.size())));
                ASSERT_TRUE(f.ProjectOpenSection(0));
                ASSERT_TRUE(f.FieldReadBegin("Block"));
                ASSERT_TRUE(f.FieldReadBlockBegin());
                std::vector<int> seen;
                if (countFirst)
                    seen.push_back(f.FieldReadGetCount("Channel"));
                else
                    seen.push_back(static_cast<int>(std::count_if(fields[0].block.begin(), fields[0].block.end(),
                                                                  [](const Field& x) { return x.name == "Channel"; })));
                for (const Field& field : fields[0].block)
                {
                    ASSERT_TRUE(f.FieldReadBegin(field.name.c_str()));
                    seen.push_back(f.FieldReadI());
                    f.FieldReadEnd();
                }
                for (const std::string& name : NamePool())
                    seen.push_back(f.FieldReadBegin(name.c_str()) ? 1 : 0);
                EXPECT_TRUE(f.FieldReadBlockEnd());
                answers.push_back(seen);
                for (size_t i = 0; i < fields[0].block.size(); ++i)
                    EXPECT_EQ(seen[i + 1], fields[0].block[i].value);
            }
            EXPECT_EQ(answers[0], answers[1]);
        }
}

// A field left open while named reads of its name pass it and the next
// one: ending it makes the record after it its name's next again.
TEST(KQoxCursors, EndingAFieldAfterNamedReadsOfItsName)
{
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
        for (int records : {4, 12, 40})
        {
            SCOPED_TRACE(std::to_string(form) + " " + std::to_string(records));
            std::vector<Field> fields;
            for (int i = 0; i < records; ++i)
            {
                Field field;
                field.name = i % 2 == 0 ? "X" : "LongerThanEight";
                field.value = i;
                fields.push_back(field);
            }
            const auto bytes = WriteImage(form, fields);
            KQox f;
            ASSERT_TRUE(f.ProjectOpen(bytes.data(), static_cast<unsigned int>(bytes.size())));
            ASSERT_TRUE(f.ProjectOpenSection(0));
            for (const char* name : {"X", "LongerThanEight"})
            {
                const int first = name[1] == 0 ? 0 : 1;
                ASSERT_TRUE(f.FieldReadBegin(name));
                EXPECT_EQ(f.FieldReadI(), first);
                EXPECT_EQ(f.FieldReadI(name, -1), first); // the open field itself, now ended
                EXPECT_EQ(f.FieldReadI(name, -1), first + 2);
                EXPECT_EQ(f.FieldReadI(name, -1), first + 4 < records ? first + 4 : -1);
                f.FieldReadEnd();
                ASSERT_TRUE(f.FieldReadBegin(name));
                EXPECT_EQ(f.FieldReadI(), first + 2);
                f.FieldReadEnd();
            }
        }
}

// Record names stay as they were handed out while their list is read,
// whatever lookups come after.
TEST(KQoxCursors, RecordNamesStayWhileTheListIsRead)
{
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
        for (int records : {6, 40})
        {
            Random random(static_cast<unsigned>(records));
            int next = 0;
            const std::vector<Field> fields = MakeFields(random, records, 0, next);
            const auto bytes = WriteImage(form, fields);
            KQox f;
            ASSERT_TRUE(f.ProjectOpen(bytes.data(), static_cast<unsigned int>(bytes.size())));
            ASSERT_TRUE(f.ProjectOpenSection(0));
            std::vector<const char*> handed;
            for (int i = 0; i < records; ++i)
                handed.push_back(f.FieldReadGetRecordName(i));
            // Backwards by name, each one left open: every lookup leaves the file's order.
            for (int i = records - 1; i >= 0; --i)
                ASSERT_TRUE(f.FieldReadBegin(fields[static_cast<size_t>(i)].name.c_str()));
            EXPECT_EQ(f.FieldReadGetCount("Absent"), 0);
            for (int i = 0; i < records; ++i)
            {
                EXPECT_EQ(handed[static_cast<size_t>(i)], f.FieldReadGetRecordName(i));
                EXPECT_EQ(std::string(handed[static_cast<size_t>(i)]), fields[static_cast<size_t>(i)].name);
            }
        }
}

// Sections of one name, opened by place (which moves their name's place
// past the one opened, backwards too) and by name, against the model.
TEST(KQoxCursors, SectionsOpenedByPlaceAndByName)
{
    const char* names[] = {"S", "T", "S", "S", "U", "T", "S"};
    const int count = static_cast<int>(sizeof(names) / sizeof(names[0]));
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
        for (unsigned seed = 1; seed <= 10; ++seed)
        {
            SCOPED_TRACE(std::to_string(form) + " " + std::to_string(seed));
            std::vector<unsigned char> bytes(1u << 16);
            KQox w;
            ASSERT_TRUE(w.ProjectCreate(bytes.data(), static_cast<unsigned int>(bytes.size()), form));
            for (int i = 0; i < count; ++i)
            {
                w.ProjectWriteSectionBegin(names[i], 6000 + i);
                w.FieldWriteBegin("Index");
                w.FieldWriteI(i);
                w.FieldWriteEnd();
                w.ProjectWriteSectionEnd();
            }
            ASSERT_TRUE(w.ProjectClose());
            bytes.resize(static_cast<size_t>(w.ProjectGetFileSize()));

            KQox f;
            ASSERT_TRUE(f.ProjectOpen(bytes.data(), static_cast<unsigned int>(bytes.size())));
            auto after = [&](const std::string& name, int from) {
                for (int i = from; i < count; ++i)
                    if (name == names[i])
                        return i;
                return -1;
            };
            std::map<std::string, int> cursor;
            for (const char* name : {"S", "T", "U", "V"})
                cursor[name] = after(name, 0);
            Random random(seed);
            for (int step = 0; step < 60; ++step)
            {
                SCOPED_TRACE(step);
                int entered;
                if (random(2) == 0)
                {
                    entered = static_cast<int>(random(static_cast<unsigned>(count)));
                    ASSERT_TRUE(f.ProjectOpenSection(entered));
                }
                else
                {
                    const char* name = "STUV" + random(4);
                    const std::string key(name, 1);
                    entered = cursor[key];
                    ASSERT_EQ(f.ProjectReadSectionBegin(key.c_str()), entered >= 0);
                    if (entered < 0)
                        continue;
                }
                EXPECT_EQ(f.ProjectGetCurrentSection(), entered);
                EXPECT_EQ(f.ProjectGetCurrentSectionVersion(), 6000 + entered);
                EXPECT_EQ(f.FieldReadI("Index", -1), entered);
                EXPECT_TRUE(f.ProjectReadSectionEnd());
                cursor[names[entered]] = after(names[entered], entered + 1);
            }
        }
}

// 100,000 records in one block: read in order, then out of order with a
// field left open and counts, in place and from disk.
TEST(KQoxCursors, HundredThousandRecordsInOneBlock)
{
    const int count = 100000;
    std::vector<Field> fields(1);
    fields[0].name = "Block";
    fields[0].hasBlock = true;
    for (int i = 0; i < count; ++i)
    {
        Field field;
        field.name = i % 10 == 9 ? "Other" : "Channel";
        field.value = i;
        fields[0].block.push_back(field);
    }
    qoxtest::TempDir dir;
    for (const Source& source : kSources)
    {
        SCOPED_TRACE(std::to_string(source.form) + (source.fromDisk ? " disk" : " memory"));
        const auto bytes = WriteImage(source.form, fields, 16u << 20);
        KQox f;
        ASSERT_TRUE(Open(f, bytes, source.fromDisk, dir));
        ASSERT_TRUE(f.ProjectReadSectionBegin("S"));
        ASSERT_TRUE(f.FieldReadBegin("Block"));
        ASSERT_TRUE(f.FieldReadBlockBegin());
        for (int i = 0; i < count; ++i)
        {
            ASSERT_TRUE(f.FieldReadBegin(i % 10 == 9 ? "Other" : "Channel")) << i;
            ASSERT_EQ(f.FieldReadI(), i);
            f.FieldReadEnd();
        }
        EXPECT_FALSE(f.FieldReadBegin("Channel"));
        EXPECT_FALSE(f.FieldReadBegin("Other"));
        EXPECT_TRUE(f.FieldReadBlockEnd());
        // Entered again: the first "Channel" left open, the "Other" fields
        // read past it, then the "Channel" fields from the open one on.
        ASSERT_TRUE(f.FieldReadBlockBegin());
        ASSERT_TRUE(f.FieldReadBegin("Channel"));
        EXPECT_EQ(f.FieldReadI(), 0);
        for (int i = 9; i < count; i += 10)
        {
            ASSERT_TRUE(f.FieldReadBegin("Other")) << i;
            ASSERT_EQ(f.FieldReadI(), i);
            f.FieldReadEnd();
        }
        EXPECT_EQ(f.FieldReadGetCount("Channel"), count - count / 10);
        EXPECT_EQ(f.FieldReadGetCount("Other"), count / 10);
        EXPECT_STREQ(f.FieldReadGetRecordName(count - 1), "Other");
        for (int i = 0; i < count; ++i)
        {
            if (i % 10 == 9)
                continue;
            ASSERT_TRUE(f.FieldReadBegin("Channel")) << i;
            ASSERT_EQ(f.FieldReadI(), i);
            f.FieldReadEnd();
        }
        EXPECT_FALSE(f.FieldReadBegin("Channel"));
        EXPECT_TRUE(f.FieldReadBlockEnd());
        f.FieldReadEnd();
        EXPECT_TRUE(f.ProjectReadSectionEnd());
    }
}

// Damaged sizes and names of any record of a small or a large block: the
// block cannot be entered (eFILE_CORRUPTED), in place and from disk alike,
// and the list it is in reads as before up to it.
TEST(KQoxCursors, DamagedRecordsOfSmallAndLargeBlocks)
{
    qoxtest::TempDir dir;
    for (int records : {1, 4, 16, 17, 60})
    {
        std::vector<Field> fields;
        for (int b = 0; b < 2; ++b)
        {
            Field block;
            block.name = "Block";
            block.value = b;
            block.hasBlock = true;
            for (int i = 0; i < records; ++i)
            {
                Field field;
                field.name = "Rec" + std::to_string(b) + "_" + std::to_string(i) + "_";
                field.value = i;
                block.block.push_back(field);
            }
            fields.push_back(block);
        }
        const auto bytes = WriteImage(KQox::eBINARY, fields);
        for (int damaged : {0, records / 2, records - 1})
            for (int what = 0; what < 5; ++what)
                for (bool fromDisk : {false, true})
                {
                    SCOPED_TRACE(std::to_string(records) + " " + std::to_string(damaged) + " " + std::to_string(what) +
                                 (fromDisk ? " disk" : " memory"));
                    std::vector<unsigned char> image = bytes;
                    const std::string name = "Rec1_" + std::to_string(damaged) + "_";
                    const size_t at = FindNth(image, name, 0);
                    ASSERT_NE(at, std::string::npos);
                    ASSERT_EQ(image[at - 3], 'F');
                    const size_t sizes = at + name.size();
                    switch (what)
                    {
                    case 0: image[at - 3] = 'Q'; break;                  // kind
                    case 1: image[at - 2] = image[at - 1] = 0xFF; break; // name length 65535
                    case 2: image[sizes + 3] = 0x7F; break;              // count
                    case 3: image[sizes + 4 + 6] = 0x01; break;          // value bytes
                    default: image[sizes + 12 + 5] = 0x01; break;        // block bytes
                    }
                    Reseal(image);
                    KQox f;
                    ASSERT_TRUE(Open(f, image, fromDisk, dir));
                    ASSERT_TRUE(f.ProjectReadSectionBegin("S"));
                    ASSERT_TRUE(f.FieldReadBegin("Block"));
                    ASSERT_TRUE(f.FieldReadBlockBegin());
                    EXPECT_EQ(f.FieldReadGetRecordCount(), records);
                    EXPECT_EQ(f.FieldReadI(("Rec0_" + std::to_string(records - 1) + "_").c_str(), -1), records - 1);
                    EXPECT_TRUE(f.FieldReadBlockEnd());
                    f.FieldReadEnd();
                    ASSERT_TRUE(f.FieldReadBegin("Block"));
                    EXPECT_EQ(f.FieldReadI(), 1);
                    EXPECT_FALSE(f.FieldReadBlockBegin());
                    EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
                }
    }
}

// Names as long as a name can be (65,535 bytes, longer than the windows
// record heads are read through), alike but for their last byte, in a
// block that fits in the value window and in one larger than it.
TEST(KQoxCursors, HugeNamesInSmallAndLargeBlocks)
{
    const std::string first(65535, 'h');
    std::string second = first;
    second.back() = 'i';
    qoxtest::TempDir dir;
    for (int copies : {1, 2})
    {
        // first, second, first, second ... then "Fill" fields.
        std::vector<Field> fields(1);
        fields[0].name = "Block";
        fields[0].hasBlock = true;
        for (int i = 0; i < 2 * copies; ++i)
        {
            Field field;
            field.name = i % 2 == 0 ? first : second;
            field.value = i;
            fields[0].block.push_back(field);
        }
        for (int i = 0; i < 1000 * copies; ++i)
        {
            Field field;
            field.name = "Fill";
            field.value = i;
            fields[0].block.push_back(field);
        }
        for (const Source& source : kSources)
        {
            SCOPED_TRACE(std::to_string(copies) + " " + std::to_string(source.form) +
                         (source.fromDisk ? " disk" : " memory"));
            const auto bytes = WriteImage(source.form, fields, 32u << 20);
            KQox f;
            ASSERT_TRUE(Open(f, bytes, source.fromDisk, dir));
            ASSERT_TRUE(f.ProjectReadSectionBegin("S"));
            ASSERT_TRUE(f.FieldReadBegin("Block"));
            ASSERT_TRUE(f.FieldReadBlockBegin());
            EXPECT_EQ(f.FieldReadGetCount(second.c_str()), copies);
            EXPECT_EQ(f.FieldReadGetCount(first.substr(1).c_str()), 0);
            EXPECT_EQ(std::string(f.FieldReadGetRecordName(1)), second);
            EXPECT_EQ(f.FieldReadI(second.c_str(), -1), 1);
            EXPECT_EQ(f.FieldReadI(first.c_str(), -1), 0);
            EXPECT_EQ(f.FieldReadI("Fill", -1), 0);
            for (int i = 1; i < copies; ++i)
            {
                EXPECT_EQ(f.FieldReadI(first.c_str(), -1), 2 * i);
                EXPECT_EQ(f.FieldReadI(second.c_str(), -1), 2 * i + 1);
            }
            EXPECT_EQ(f.FieldReadI(first.c_str(), -1), -1);
            EXPECT_EQ(f.FieldReadI(second.c_str(), -1), -1);
            EXPECT_EQ(std::string(f.FieldReadGetRecordName(0)), first);
            EXPECT_STREQ(f.FieldReadGetRecordName(2 * copies), "Fill");
            EXPECT_TRUE(f.FieldReadBlockEnd());
        }
    }
}

// Blocks nested 300 deep, each list read out of order (its block first),
// ending in an empty block.
TEST(KQoxCursors, DeepNestingDownToAnEmptyBlock)
{
    const int depth = 300;
    std::vector<Field> fields;
    std::vector<Field>* list = &fields;
    for (int level = 0; level < depth; ++level)
    {
        Field before;
        before.name = "Level";
        before.value = level;
        Field deeper;
        deeper.name = "Deeper";
        deeper.value = level;
        deeper.hasBlock = true;
        Field after;
        after.name = "After";
        after.value = -level;
        list->push_back(before);
        list->push_back(deeper);
        list->push_back(after);
        list = &(*list)[1].block;
    }
    qoxtest::TempDir dir;
    for (const Source& source : kSources)
    {
        SCOPED_TRACE(std::to_string(source.form) + (source.fromDisk ? " disk" : " memory"));
        const auto bytes = WriteImage(source.form, fields);
        KQox f;
        ASSERT_TRUE(Open(f, bytes, source.fromDisk, dir));
        ASSERT_TRUE(f.ProjectReadSectionBegin("S"));
        for (int level = 0; level < depth; ++level)
        {
            ASSERT_TRUE(f.FieldReadBegin("Deeper")) << level;
            ASSERT_EQ(f.FieldReadI("Level", -1), level);
            EXPECT_EQ(f.FieldReadI(), level); // the open field's own value
            ASSERT_TRUE(f.FieldReadBlockBegin()) << level;
        }
        // The empty block.
        EXPECT_EQ(f.FieldReadGetRecordCount(), 0);
        EXPECT_EQ(f.FieldReadGetRecordName(0), nullptr);
        EXPECT_EQ(f.FieldReadGetCount("Level"), 0);
        EXPECT_FALSE(f.FieldReadBegin("Level"));
        EXPECT_FALSE(f.FieldReadBegin(""));
        EXPECT_EQ(f.FieldReadI("After", 7), 7);
        for (int level = depth - 1; level >= 0; --level)
        {
            ASSERT_TRUE(f.FieldReadBlockEnd()) << level;
            f.FieldReadEnd();
            EXPECT_EQ(f.FieldReadI("After", 1), -level);
            EXPECT_FALSE(f.FieldReadBegin("Deeper"));
            EXPECT_FALSE(f.FieldReadBegin("Level")); // ended by the named read
        }
        EXPECT_TRUE(f.ProjectReadSectionEnd());
    }
}

namespace {

// The calls the file readers built on the field layer use.
class ReaderCalls : public KQox
{
public:
    using KQox::FieldPeekValues;
    using KQox::FieldReadNextOfName;
};

} // namespace

// Moving to the next field of a name needs a field to be current: without
// one (none begun, or the last one ended) it refuses and nothing moves.
TEST(KQoxCursors, NextOfNameWithoutACurrentFieldRefuses)
{
    std::vector<unsigned char> bytes(4096);
    {
        KQox w;
        ASSERT_TRUE(w.ProjectCreate(bytes.data(), static_cast<unsigned int>(bytes.size()), KQox::eBINARY));
        w.ProjectWriteSectionBegin("S", 6000);
        for (int i = 0; i < 3; ++i)
        {
            w.FieldWriteBegin("Row");
            w.FieldWriteI(i);
            w.FieldWriteEnd();
        }
        w.ProjectWriteSectionEnd();
        ASSERT_TRUE(w.ProjectClose());
        bytes.resize(static_cast<size_t>(w.ProjectGetFileSize()));
    }
    ReaderCalls f;
    EXPECT_FALSE(f.FieldReadNextOfName()); // no file open
    ASSERT_TRUE(f.ProjectOpen(bytes.data(), static_cast<unsigned int>(bytes.size())));
    ASSERT_TRUE(f.ProjectReadSectionBegin("S"));
    EXPECT_FALSE(f.FieldReadNextOfName());
    KQox::ValueView views[2];
    EXPECT_EQ(f.FieldPeekValues(views, 2), -1);
    ASSERT_TRUE(f.FieldReadBegin("Row"));
    EXPECT_EQ(f.FieldPeekValues(views, 2), 1);
    EXPECT_EQ(views[0].mType, 'I');
    EXPECT_EQ(views[0].mInt, 0);
    ASSERT_TRUE(f.FieldReadNextOfName());
    EXPECT_EQ(f.FieldReadI(), 1);
    f.FieldReadEnd();
    EXPECT_FALSE(f.FieldReadNextOfName());
    // The field after the ended one is still found by name.
    ASSERT_TRUE(f.FieldReadBegin("Row"));
    EXPECT_EQ(f.FieldReadI(), 2);
    EXPECT_FALSE(f.FieldReadNextOfName()); // no further "Row"
    EXPECT_FALSE(f.FieldReadBegin("Row"));
    f.ProjectReadSectionEnd();
    f.ProjectClose();
}

// Values seen at once give what reading them one by one gives; a text
// whose length runs past its field is refused, and the reads report it.
TEST(KQoxCursors, PeekedValuesMatchTheReadsAndRefuseDamage)
{
    std::vector<unsigned char> bytes(4096);
    {
        KQox w;
        ASSERT_TRUE(w.ProjectCreate(bytes.data(), static_cast<unsigned int>(bytes.size()), KQox::eBINARY));
        w.ProjectWriteSectionBegin("S", 6000);
        w.FieldWriteBegin("All");
        w.FieldWriteCH(-5);
        w.FieldWriteI(-123456);
        w.FieldWriteL(-(1ll << 40));
        w.FieldWriteF(2.5f);
        w.FieldWriteD(-1e300);
        w.FieldWriteC("text!");
        w.FieldWriteEnd();
        w.ProjectWriteSectionEnd();
        ASSERT_TRUE(w.ProjectClose());
        bytes.resize(static_cast<size_t>(w.ProjectGetFileSize()));
    }
    {
        ReaderCalls f;
        ASSERT_TRUE(f.ProjectOpen(bytes.data(), static_cast<unsigned int>(bytes.size())));
        ASSERT_TRUE(f.ProjectReadSectionBegin("S"));
        ASSERT_TRUE(f.FieldReadBegin("All"));
        KQox::ValueView views[6];
        EXPECT_EQ(f.FieldPeekValues(views, 5), -1); // more values than room
        ASSERT_EQ(f.FieldPeekValues(views, 6), 6);
        EXPECT_EQ(views[0].mType, 'C');
        EXPECT_EQ(views[0].mInt, f.FieldReadCH());
        EXPECT_EQ(views[1].mType, 'I');
        EXPECT_EQ(views[1].mInt, f.FieldReadI());
        EXPECT_EQ(views[2].mType, 'L');
        EXPECT_EQ(views[2].mInt, f.FieldReadL());
        EXPECT_EQ(views[3].mType, 'F');
        EXPECT_EQ(views[3].mDouble, f.FieldReadF());
        EXPECT_EQ(views[4].mType, 'D');
        EXPECT_EQ(views[4].mDouble, f.FieldReadD());
        EXPECT_EQ(views[5].mType, 'S');
        EXPECT_EQ(std::string(views[5].mText, views[5].mLength), f.FieldReadC());
        f.FieldReadEnd();
        f.ProjectClose();
    }
    // The text's length made to run past the field.
    const unsigned char text[] = {'S', 5, 0, 0, 0, 't', 'e', 'x', 't', '!'};
    auto at = std::search(bytes.begin(), bytes.end(), std::begin(text), std::end(text));
    ASSERT_NE(at, bytes.end());
    at[1] = 6;
    ReaderCalls f;
    ASSERT_TRUE(f.ProjectOpen(bytes.data(), static_cast<unsigned int>(bytes.size()), nullptr, false));
    ASSERT_TRUE(f.ProjectReadSectionBegin("S"));
    ASSERT_TRUE(f.FieldReadBegin("All"));
    KQox::ValueView views[6];
    EXPECT_EQ(f.FieldPeekValues(views, 6), -1);
    for (int i = 0; i < 5; ++i)
        f.FieldReadD();
    EXPECT_STREQ(f.FieldReadC(), "");
    EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
}
