// ASCII lists are indexed as far as they are read: a block's end is found
// when it is read or passed over. Damage past what a reader asked for is
// found when the reading gets there; lookups in any order, blocks left
// early, section lookups from inside a section and deep nesting read as the
// binary form reads.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/kqox.h"

namespace {

void Field(KQox& f, const char* name, int value)
{
    f.FieldWriteBegin(name);
    f.FieldWriteI(value);
    f.FieldWriteEnd();
}

// A field with a block of fields X = first, first + 1, ... (count of them),
// one of them (the middle one) with a block of its own.
void BlockField(KQox& f, const char* name, int first, int count)
{
    f.FieldWriteBegin(name);
    f.FieldWriteI(first);
    f.FieldWriteBlockBegin();
    for (int i = 0; i < count; ++i)
    {
        f.FieldWriteBegin("X");
        f.FieldWriteI(first + i);
        if (i == count / 2)
        {
            f.FieldWriteBlockBegin();
            Field(f, "Deep", first * 100 + i);
            f.FieldWriteBlockEnd();
        }
        f.FieldWriteEnd();
    }
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
}

// Sections "Takes" (Current=1), "Objects" (A=2, B {X..}, C=3, D {X..}, E=4)
// and "Animation" (N {X..}, M=5).
std::vector<unsigned char> WriteScene(KQox::EForm form, unsigned int& size)
{
    std::vector<unsigned char> bytes(1u << 16);
    KQox f;
    EXPECT_TRUE(f.ProjectCreate(bytes.data(), static_cast<unsigned int>(bytes.size()), form));
    f.ProjectWriteSectionBegin("Takes", 6000);
    Field(f, "Current", 1);
    f.ProjectWriteSectionEnd();
    f.ProjectWriteSectionBegin("Objects", 6000);
    Field(f, "A", 2);
    BlockField(f, "B", 10, 5);
    Field(f, "C", 3);
    BlockField(f, "D", 20, 3);
    Field(f, "E", 4);
    f.ProjectWriteSectionEnd();
    f.ProjectWriteSectionBegin("Animation", 6000);
    BlockField(f, "N", 30, 4);
    Field(f, "M", 5);
    f.ProjectWriteSectionEnd();
    EXPECT_TRUE(f.ProjectClose());
    size = static_cast<unsigned int>(f.ProjectGetFileSize());
    return bytes;
}

// What a block's X fields hold, in order, with the deep one's value.
std::string ReadBlock(KQox& r)
{
    std::string seen;
    while (r.FieldReadBegin("X"))
    {
        seen += std::to_string(r.FieldReadI()) + " ";
        if (r.FieldReadBlockBegin())
        {
            seen += "(" + std::to_string(r.FieldReadI("Deep", -1)) + ") ";
            r.FieldReadBlockEnd();
        }
        r.FieldReadEnd();
    }
    return seen;
}

// One reading that asks out of order, leaves blocks early, counts midway and
// looks sections up from inside a section; its log.
std::string ReadOutOfOrder(KQox& r)
{
    std::string log;
    auto note = [&log](const std::string& what) { log += what + "; "; };
    const int takes = r.ProjectFindSection("Takes");
    note("takes " + std::to_string(takes));
    if (!r.ProjectOpenSection(takes))
        return log + "no takes";
    note("current " + std::to_string(r.FieldReadI("Current", -1)));
    r.ProjectReadSectionEnd();
    if (!r.ProjectReadSectionBegin("Objects"))
        return log + "no objects";
    // The last field first: the blocks before it are passed over.
    note("E " + std::to_string(r.FieldReadI("E", -1)));
    note("A " + std::to_string(r.FieldReadI("A", -1)));
    // A block passed over, then read.
    if (r.FieldReadBegin("D") && r.FieldReadBlockBegin())
    {
        note("D " + ReadBlock(r));
        r.FieldReadBlockEnd();
        r.FieldReadEnd();
    }
    // A block left after its first field, then read whole.
    if (r.FieldReadBegin("B") && r.FieldReadBlockBegin())
    {
        note("B first " + std::to_string(r.FieldReadI("X", -1)));
        r.FieldReadBlockEnd();
    }
    if (r.FieldReadBlockBegin())
    {
        note("B " + ReadBlock(r));
        r.FieldReadBlockEnd();
    }
    r.FieldReadEnd();
    note("C " + std::to_string(r.FieldReadI("C", -1)));
    note("records " + std::to_string(r.FieldReadGetRecordCount()));
    // The sections of the file, asked from inside one of them.
    note("animation " + std::to_string(r.ProjectFindSection("Animation")));
    note("sections " + std::to_string(r.ProjectGetSectionCount()));
    note("Z " + std::to_string(r.FieldReadI("Z", -1)));
    r.ProjectReadSectionEnd();
    if (!r.ProjectReadSectionBegin("Animation"))
        return log + "no animation";
    // A block entered and left at once; the field after it.
    if (r.FieldReadBegin("N") && r.FieldReadBlockBegin())
        r.FieldReadBlockEnd();
    note("M " + std::to_string(r.FieldReadI("M", -1)));
    const char* name = r.FieldReadGetRecordName(1);
    note(std::string("record 1 ") + (name ? name : "none"));
    note(std::string("record 2 ") + (r.FieldReadGetRecordName(2) ? "some" : "none"));
    r.ProjectReadSectionEnd();
    note("error " + std::to_string(r.GetLastErrorID()));
    return log;
}

TEST(KQoxTextIndex, ReadingInAnyOrderFindsWhatTheBinaryFormFinds)
{
    unsigned int binarySize = 0, textSize = 0;
    std::vector<unsigned char> binary = WriteScene(KQox::eBINARY, binarySize);
    std::vector<unsigned char> text = WriteScene(KQox::eASCII, textSize);
    KQox b, t;
    ASSERT_TRUE(b.ProjectOpen(binary.data(), binarySize));
    ASSERT_TRUE(t.ProjectOpen(text.data(), textSize));
    const std::string expected = ReadOutOfOrder(b);
    EXPECT_EQ(ReadOutOfOrder(t), expected);
    EXPECT_EQ(expected, "takes 0; current 1; E 4; A 2; D 20 21 (2001) 22 ; B first 10; B 10 11 12 (1002) 13 14 ; "
                        "C 3; records 5; animation 2; sections 3; Z -1; M 5; record 1 M; record 2 none; error -1; ");
}

// Damage inside the last section: opening reads the take list, which lies
// before it, and succeeds; the damage is reported once the reading gets there.
TEST(KQoxTextIndex, DamagePastTheTakeListIsFoundWhenTheReadingGetsThere)
{
    unsigned int size = 0;
    std::vector<unsigned char> bytes = WriteScene(KQox::eASCII, size);
    std::string text(reinterpret_cast<const char*>(bytes.data()), size);
    // The closing brace of the animation's deep block goes.
    const size_t deep = text.find("Deep: 3002");
    ASSERT_NE(deep, std::string::npos);
    const size_t brace = text.find('}', deep);
    ASSERT_NE(brace, std::string::npos);
    bytes[brace] = ' ';

    KQox r;
    ASSERT_TRUE(r.ProjectOpen(bytes.data(), size));
    ASSERT_TRUE(r.ProjectReadSectionBegin("Takes"));
    EXPECT_EQ(r.FieldReadI("Current", -1), 1);
    EXPECT_TRUE(r.ProjectReadSectionEnd());
    ASSERT_TRUE(r.ProjectReadSectionBegin("Objects"));
    EXPECT_EQ(r.FieldReadI("E", -1), 4);
    EXPECT_TRUE(r.ProjectReadSectionEnd());
    EXPECT_EQ(r.GetLastErrorID(), -1);
    // The whole file asked for: the unpaired brace is damage.
    r.ProjectGetSectionCount();
    EXPECT_EQ(r.GetLastErrorID(), KQox::eFILE_CORRUPTED);
    EXPECT_STREQ(r.GetLastErrorString(), "File is corrupted");

    // The integrity check reaches it too, without the section being read.
    KQox c;
    ASSERT_TRUE(c.ProjectOpen(bytes.data(), size));
    ASSERT_TRUE(c.ProjectReadSectionBegin("Takes"));
    EXPECT_EQ(c.FieldReadI("Current", -1), 1);
    EXPECT_TRUE(c.ProjectReadSectionEnd());
    EXPECT_FALSE(c.ProjectCheckIntegrity());
    EXPECT_EQ(c.GetLastErrorID(), KQox::eFILE_CORRUPTED);

    // Read in order instead, the damage shows when the section is entered:
    // its braces are paired before any of it is read.
    KQox s;
    ASSERT_TRUE(s.ProjectOpen(bytes.data(), size));
    EXPECT_FALSE(s.ProjectReadSectionBegin("Animation"));
    EXPECT_EQ(s.GetLastErrorID(), KQox::eFILE_CORRUPTED);
    EXPECT_FALSE(s.ProjectCheckIntegrity());
}

// Blocks nested far deeper than any scene: read level by level without
// counts, passed over whole to reach the field after them, and left from
// the innermost one at once.
TEST(KQoxTextIndex, DeepNestingIsReadPassedOverAndLeft)
{
    // Each level is indented further: the text grows with the square of the depth.
    const int depth = 1500;
    std::vector<unsigned char> bytes(16u << 20);
    unsigned int size = 0;
    {
        KQox f;
        ASSERT_TRUE(f.ProjectCreate(bytes.data(), static_cast<unsigned int>(bytes.size()), KQox::eASCII));
        f.ProjectWriteSectionBegin("Objects", 6000);
        for (int level = 0; level < depth; ++level)
        {
            f.FieldWriteBegin("Level");
            f.FieldWriteI(level);
            f.FieldWriteBlockBegin();
        }
        Field(f, "Bottom", 7);
        for (int level = 0; level < depth; ++level)
        {
            f.FieldWriteBlockEnd();
            f.FieldWriteEnd();
        }
        Field(f, "After", 9);
        f.ProjectWriteSectionEnd();
        ASSERT_TRUE(f.ProjectClose());
        size = static_cast<unsigned int>(f.ProjectGetFileSize());
    }
    {
        KQox r;
        ASSERT_TRUE(r.ProjectOpen(bytes.data(), size));
        ASSERT_TRUE(r.ProjectReadSectionBegin("Objects"));
        int reached = 0;
        while (r.FieldReadBegin("Level") && r.FieldReadI() == reached && r.FieldReadBlockBegin())
            ++reached;
        EXPECT_EQ(reached, depth);
        EXPECT_EQ(r.FieldReadI("Bottom", -1), 7);
        for (int level = 0; level < depth; ++level)
            ASSERT_TRUE(r.FieldReadBlockEnd()) << level;
        EXPECT_EQ(r.FieldReadI("After", -1), 9);
        EXPECT_EQ(r.GetLastErrorID(), -1);
    }
    {
        KQox r;
        ASSERT_TRUE(r.ProjectOpen(bytes.data(), size));
        ASSERT_TRUE(r.ProjectReadSectionBegin("Objects"));
        EXPECT_EQ(r.FieldReadI("After", -1), 9);
        // The levels passed over are read afterwards from their kept ends.
        int reached = 0;
        while (r.FieldReadBegin("Level") && r.FieldReadI() == reached && r.FieldReadBlockBegin())
            ++reached;
        EXPECT_EQ(reached, depth);
        EXPECT_EQ(r.FieldReadI("Bottom", -1), 7);
        EXPECT_EQ(r.GetLastErrorID(), -1);
    }
}

} // namespace
