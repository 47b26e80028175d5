// Which record a lookup by name finds when fields are read in the order they
// were written, out of it, again before they are ended, by named reads
// nested in an open field, after counts and absent names, in nested blocks
// and in sections of the same name; binary and ASCII alike.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/kqox.h"

namespace {

// Section "S" (6000): A=1, B=2, A=3, C=4 { X=5, X=6 }, A=7; section "T"
// (6001): A=10; section "S" (6002): A=20.
std::vector<unsigned char> WriteImage(KQox::EForm form)
{
    std::vector<unsigned char> bytes(1u << 16);
    KQox f;
    EXPECT_TRUE(f.ProjectCreate(bytes.data(), static_cast<unsigned int>(bytes.size()), form));
    auto field = [&f](const char* name, int value) {
        f.FieldWriteBegin(name);
        f.FieldWriteI(value);
        f.FieldWriteEnd();
    };
    f.ProjectWriteSectionBegin("S", 6000);
    field("A", 1);
    field("B", 2);
    field("A", 3);
    f.FieldWriteBegin("C");
    f.FieldWriteI(4);
    f.FieldWriteBlockBegin();
    field("X", 5);
    field("X", 6);
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
    field("A", 7);
    f.ProjectWriteSectionEnd();
    f.ProjectWriteSectionBegin("T", 6001);
    field("A", 10);
    f.ProjectWriteSectionEnd();
    f.ProjectWriteSectionBegin("S", 6002);
    field("A", 20);
    f.ProjectWriteSectionEnd();
    EXPECT_TRUE(f.ProjectClose());
    bytes.resize(static_cast<size_t>(f.ProjectGetFileSize()));
    return bytes;
}

// The first value of the field a lookup finds (ended when `end`); -1 when none.
int Find(KQox& f, const char* name, bool end = true)
{
    if (!f.FieldReadBegin(name))
        return -1;
    const int value = f.FieldReadI();
    if (end)
        f.FieldReadEnd();
    return value;
}

class KQoxOrder : public ::testing::TestWithParam<KQox::EForm>
{
protected:
    void SetUp() override
    {
        mBytes = WriteImage(GetParam());
        ASSERT_TRUE(mFile.ProjectOpen(mBytes.data(), static_cast<unsigned int>(mBytes.size())));
        ASSERT_TRUE(mFile.ProjectReadSectionBegin("S"));
    }
    std::vector<unsigned char> mBytes;
    KQox mFile;
};

} // namespace

TEST_P(KQoxOrder, WriterOrderFindsEachRecordInTurn)
{
    EXPECT_EQ(Find(mFile, "A"), 1);
    EXPECT_EQ(Find(mFile, "B"), 2);
    EXPECT_EQ(Find(mFile, "A"), 3);
    EXPECT_EQ(Find(mFile, "C"), 4);
    EXPECT_EQ(Find(mFile, "A"), 7);
    EXPECT_EQ(Find(mFile, "A"), -1);
    EXPECT_EQ(Find(mFile, "B"), -1);
    EXPECT_EQ(mFile.FieldReadGetCount("A"), 3);
}

TEST_P(KQoxOrder, EachNameKeepsItsOwnPlace)
{
    // A later name first: the names before it are still found from their start.
    EXPECT_EQ(Find(mFile, "C"), 4);
    EXPECT_EQ(Find(mFile, "A"), 1);
    EXPECT_EQ(Find(mFile, "B"), 2);
    EXPECT_EQ(Find(mFile, "A"), 3);
    EXPECT_EQ(Find(mFile, "A"), 7);
    EXPECT_EQ(Find(mFile, "C"), -1);
}

TEST_P(KQoxOrder, AFieldNotEndedIsFoundAgain)
{
    EXPECT_EQ(Find(mFile, "A", false), 1);
    EXPECT_EQ(Find(mFile, "A", false), 1);
    // Another lookup drops the open field without ending it.
    EXPECT_EQ(Find(mFile, "B"), 2);
    EXPECT_EQ(Find(mFile, "A"), 1);
    EXPECT_EQ(Find(mFile, "A"), 3);
}

TEST_P(KQoxOrder, NamedReadInsideAnOpenField)
{
    ASSERT_TRUE(mFile.FieldReadBegin("A"));
    // The named read finds and ends the open field itself.
    EXPECT_EQ(mFile.FieldReadI("A", -1), 1);
    EXPECT_EQ(mFile.FieldReadI("B", -1), 2);
    // The open field reads on as it was, and ending it again changes nothing.
    EXPECT_EQ(mFile.FieldReadI(), 1);
    mFile.FieldReadEnd();
    EXPECT_EQ(Find(mFile, "A"), 3);
    EXPECT_EQ(Find(mFile, "B"), -1);
}

TEST_P(KQoxOrder, CountsAbsentNamesAndRecordNamesMidWay)
{
    EXPECT_EQ(Find(mFile, "A"), 1);
    EXPECT_EQ(Find(mFile, "Absent"), -1);
    EXPECT_EQ(Find(mFile, ""), -1);
    EXPECT_EQ(Find(mFile, nullptr), -1);
    EXPECT_EQ(Find(mFile, "B"), 2);
    EXPECT_EQ(mFile.FieldReadGetCount("A"), 3);
    EXPECT_EQ(mFile.FieldReadGetCount("X"), 0);
    EXPECT_EQ(Find(mFile, "A"), 3);
    ASSERT_EQ(mFile.FieldReadGetRecordCount(), 5);
    const char* names[] = {"A", "B", "A", "C", "A"};
    for (int i = 0; i < 5; ++i)
    {
        bool section = true;
        EXPECT_STREQ(mFile.FieldReadGetRecordName(i, &section), names[i]);
        EXPECT_FALSE(section);
    }
    EXPECT_EQ(mFile.FieldReadGetRecordName(5), nullptr);
    EXPECT_EQ(Find(mFile, "A"), 7);
}

TEST_P(KQoxOrder, NestedBlocksStartAfreshEachTime)
{
    for (int pass = 0; pass < 2; ++pass)
    {
        ASSERT_TRUE(mFile.FieldReadBegin("C"));
        ASSERT_TRUE(mFile.FieldReadBlockBegin());
        if (pass == 1)
        {
            EXPECT_EQ(mFile.FieldReadGetCount("X"), 2);
        }
        EXPECT_EQ(Find(mFile, "X"), 5);
        EXPECT_EQ(Find(mFile, "A"), -1);
        EXPECT_EQ(Find(mFile, "X"), 6);
        EXPECT_EQ(Find(mFile, "X"), -1);
        EXPECT_TRUE(mFile.FieldReadBlockEnd());
        // Not ended: the same field holds the block again.
    }
    mFile.FieldReadEnd();
    EXPECT_EQ(Find(mFile, "C"), -1);
    EXPECT_EQ(Find(mFile, "A"), 1);
}

TEST_P(KQoxOrder, SectionsOfOneNameComeInTurn)
{
    EXPECT_EQ(Find(mFile, "A"), 1);
    EXPECT_TRUE(mFile.ProjectReadSectionEnd());
    ASSERT_TRUE(mFile.ProjectReadSectionBegin("S"));
    EXPECT_EQ(mFile.ProjectGetCurrentSectionVersion(), 6002);
    EXPECT_EQ(Find(mFile, "A"), 20);
    EXPECT_TRUE(mFile.ProjectReadSectionEnd());
    EXPECT_FALSE(mFile.ProjectReadSectionBegin("S"));
    // A section opened by its place, then ended, moves its name on as well.
    ASSERT_TRUE(mFile.ProjectOpenSection(1));
    EXPECT_EQ(Find(mFile, "A"), 10);
    EXPECT_TRUE(mFile.ProjectReadSectionEnd());
    EXPECT_FALSE(mFile.ProjectReadSectionBegin("T"));
    ASSERT_EQ(mFile.ProjectGetSectionCount(), 3);
    EXPECT_STREQ(mFile.ProjectGetSectionName(2), "S");
    EXPECT_EQ(mFile.ProjectFindSection("S", 0), 2);
}

TEST_P(KQoxOrder, ASectionOpenedByPlaceMovesItsNamePastIt)
{
    EXPECT_TRUE(mFile.ProjectReadSectionEnd());
    // Back to the first "S": the second one, opened by its place and ended,
    // leaves no "S" after it.
    ASSERT_TRUE(mFile.ProjectOpenSection(0));
    EXPECT_TRUE(mFile.ProjectReadSectionEnd());
    ASSERT_TRUE(mFile.ProjectOpenSection(2));
    EXPECT_EQ(Find(mFile, "A"), 20);
    EXPECT_TRUE(mFile.ProjectReadSectionEnd());
    EXPECT_FALSE(mFile.ProjectReadSectionBegin("S"));
    ASSERT_TRUE(mFile.ProjectReadSectionBegin("T"));
    EXPECT_EQ(Find(mFile, "A"), 10);

    // The same straight after opening: the first "S" is passed over too.
    KQox f;
    ASSERT_TRUE(f.ProjectOpen(mBytes.data(), static_cast<unsigned int>(mBytes.size())));
    ASSERT_TRUE(f.ProjectOpenSection(2));
    EXPECT_TRUE(f.ProjectReadSectionEnd());
    EXPECT_FALSE(f.ProjectReadSectionBegin("S"));
}

INSTANTIATE_TEST_SUITE_P(Forms, KQoxOrder, ::testing::Values(KQox::eBINARY, KQox::eASCII));

// Random lookups against a model: each name's next record is the one after
// the last of that name ended, whatever was read in between.
TEST(KQoxOrderModel, RandomLookupsFollowEachNamesOwnPlace)
{
    const char* names[] = {"P", "Q", "R", "S", "Absent"};
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
        for (int records : {3, 17, 60})
            for (unsigned seed = 1; seed <= 20; ++seed)
            {
                SCOPED_TRACE(std::to_string(form) + " " + std::to_string(records) + " " + std::to_string(seed));
                unsigned state = seed;
                auto next = [&state](unsigned n) {
                    state = state * 1103515245u + 12345u;
                    return (state >> 16) % n;
                };
                std::vector<int> kinds;
                std::vector<unsigned char> bytes(1u << 16);
                KQox w;
                ASSERT_TRUE(w.ProjectCreate(bytes.data(), static_cast<unsigned int>(bytes.size()), form));
                w.ProjectWriteSectionBegin("S", 6000);
                for (int i = 0; i < records; ++i)
                {
                    kinds.push_back(static_cast<int>(next(4)));
                    w.FieldWriteBegin(names[kinds.back()]);
                    w.FieldWriteI(i);
                    w.FieldWriteEnd();
                }
                w.ProjectWriteSectionEnd();
                ASSERT_TRUE(w.ProjectClose());
                bytes.resize(static_cast<size_t>(w.ProjectGetFileSize()));

                KQox f;
                ASSERT_TRUE(f.ProjectOpen(bytes.data(), static_cast<unsigned int>(bytes.size())));
                ASSERT_TRUE(f.ProjectReadSectionBegin("S"));
                auto after = [&kinds](int kind, int from) {
                    for (int i = from; i < static_cast<int>(kinds.size()); ++i)
                        if (kinds[static_cast<size_t>(i)] == kind)
                            return i;
                    return -1;
                };
                int cursor[5];
                for (int k = 0; k < 5; ++k)
                    cursor[k] = after(k, 0);
                int open = -1; // record found and not yet ended
                for (int step = 0; step < 200; ++step)
                {
                    const int kind = static_cast<int>(next(5));
                    const unsigned op = next(10);
                    if (op == 0)
                    {
                        int count = 0;
                        for (int k : kinds)
                            count += k == kind;
                        EXPECT_EQ(f.FieldReadGetCount(names[kind]), count);
                        continue;
                    }
                    if (op == 1 && open >= 0)
                    {
                        f.FieldReadEnd();
                        cursor[kinds[static_cast<size_t>(open)]] = after(kinds[static_cast<size_t>(open)], open + 1);
                        open = -1;
                        continue;
                    }
                    if (op == 2 && open >= 0)
                    {
                        // A named read inside the open field, which stays open.
                        EXPECT_EQ(f.FieldReadI(names[kind], -1), cursor[kind]) << step;
                        if (cursor[kind] >= 0)
                            cursor[kind] = after(kind, cursor[kind] + 1);
                        continue;
                    }
                    const bool found = f.FieldReadBegin(names[kind]);
                    ASSERT_EQ(found, cursor[kind] >= 0) << step;
                    open = cursor[kind];
                    if (!found)
                        continue;
                    ASSERT_EQ(f.FieldReadI(), cursor[kind]) << step;
                    if (op < 7)
                    {
                        f.FieldReadEnd();
                        cursor[kind] = after(kind, cursor[kind] + 1);
                        open = -1;
                    }
                }
            }
}
