// ASCII damage the record layer must refuse: braces too many or too few
// anywhere, array items that are no numbers of their kind, control bytes
// standing bare in quoted texts.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/kerror.h"
#include "base/kqox.h"
#include "common/qox_test_common.h"

using qoxtest::JoinLines;
using qoxtest::SplitLines;

namespace {

// A scene-like file: sections, nested blocks, a nested scene's sections in
// a field's block, braces inside quoted texts and a multi-line array.
std::string WriteFile()
{
    std::vector<unsigned char> bytes(1 << 16);
    KQox f;
    EXPECT_TRUE(f.ProjectCreate(bytes.data(), static_cast<unsigned int>(bytes.size()), KQox::eASCII));
    auto field = [&f](const char* name, int value) {
        f.FieldWriteBegin(name);
        f.FieldWriteI(value);
    };
    field("Creator", 1);
    f.FieldWriteEnd();
    f.ProjectWriteSectionBegin("Definitions", 6000);
    field("ObjectType", 2);
    f.FieldWriteBlockBegin();
    field("Count", 3);
    f.FieldWriteEnd();
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
    f.ProjectWriteSectionBegin("Objects", 6000);
    for (int k = 0; k < 3; ++k)
    {
        field("Model", k);
        f.FieldWriteC("} { }");
        f.FieldWriteBlockBegin();
        field("Version", 232);
        f.FieldWriteEnd();
        double points[20];
        for (int i = 0; i < 20; ++i)
            points[i] = i * 0.5;
        f.FieldWriteBegin("Vertices");
        f.FieldWriteArrayD(points, 20);
        f.FieldWriteEnd();
        field("Properties", k);
        f.FieldWriteBlockBegin();
        field("Property", 7);
        f.FieldWriteC("{");
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
    }
    field("Pose", 9);
    f.FieldWriteBlockBegin();
    f.ProjectWriteSectionBegin("Objects", 6000);
    field("Model", 10);
    f.FieldWriteBlockBegin();
    field("Inner", 11);
    f.FieldWriteEnd();
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
    f.ProjectWriteSectionBegin("Takes", 6000);
    field("Take", 12);
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
    for (const char* name : {"Connections", "Takes", "Animation"})
    {
        f.ProjectWriteSectionBegin(name, 6000);
        field("Channel", 13);
        f.FieldWriteBlockBegin();
        field("Channel", 14);
        f.FieldWriteBlockBegin();
        field("Default", 15);
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        f.ProjectWriteSectionEnd();
    }
    EXPECT_TRUE(f.ProjectClose());
    return std::string(reinterpret_cast<const char*>(bytes.data()), static_cast<size_t>(f.ProjectGetFileSize()));
}

// Every record of the current list, its values as texts, its block and the
// sections in it entered, into out; false at the first failure.
bool Walk(KQox& f, std::string& out, int depth)
{
    for (int i = 0;; ++i)
    {
        bool section = false;
        const char* found = f.FieldReadGetRecordName(i, &section);
        if (!found)
            return f.GetLastErrorID() != KQox::eFILE_CORRUPTED;
        const std::string name = found;
        out += std::string(static_cast<size_t>(depth), ' ') + name;
        if (section)
        {
            if (!f.ProjectReadSectionBegin(name.c_str()))
                return false;
            out += " [\n";
            if (!Walk(f, out, depth + 1) || !f.ProjectReadSectionEnd())
                return false;
            continue;
        }
        if (!f.FieldReadBegin(name.c_str()))
            return false;
        while (f.FieldReadGetRemain() > 0)
        {
            if (f.FieldReadGetType() == 'd')
            {
                double items[20];
                if (!f.FieldReadArrayD(items, 20))
                    return false;
                out += " *" + std::to_string(items[19]);
            }
            else
                out += std::string(" ") + f.FieldReadC();
        }
        out += "\n";
        if (f.FieldReadBlockBegin() && (!Walk(f, out, depth + 1) || !f.FieldReadBlockEnd()))
            return false;
        f.FieldReadEnd();
        if (f.GetLastErrorID() == KQox::eFILE_CORRUPTED)
            return false;
    }
}

// The file read as the scene reader reads it: opened without the check,
// the take list read, the error cleared, then each section found by name
// (a missing one taken as empty) and read whole, then the integrity
// checked. The listing, or "damaged" when any step failed with "File is
// corrupted".
std::string ReadWhole(const std::string& text)
{
    KQox f;
    std::string out;
    bool read = f.ProjectOpen(text.data(), static_cast<unsigned int>(text.size()), nullptr, false);
    if (read)
    {
        const int takes = f.ProjectFindSection("Takes");
        read = f.GetLastErrorID() != KQox::eFILE_CORRUPTED && (takes < 0 || f.ProjectOpenSection(takes));
        if (takes >= 0 && read)
            f.ProjectReadSectionEnd();
        if (read)
            f.GetError().ClearLastError();
    }
    for (const char* name : {"Definitions", "Objects", "Connections", "Takes", "Animation"})
    {
        const int section = read ? f.ProjectFindSection(name) : -1;
        if (section < 0)
            continue;
        out += std::string(name) + " [\n";
        read = f.ProjectOpenSection(section) && Walk(f, out, 1) && f.ProjectReadSectionEnd();
    }
    if (read && f.ProjectCheckIntegrity())
        return out;
    EXPECT_STREQ(f.GetLastErrorString(), "File is corrupted");
    return "damaged";
}

// A file of one field "A" holding the array text.
std::string ArrayFile(const std::string& array)
{
    return "; Tolvane QOX ASCII 6000\nA: " + array + "\n; EOF\n";
}

// The array of the file read as doubles; false when refused.
bool ReadArray(const std::string& text, std::vector<double>& out)
{
    KQox f;
    if (!f.ProjectOpen(text.data(), static_cast<unsigned int>(text.size())) || !f.FieldReadBegin("A"))
        return false;
    out.assign(static_cast<size_t>(f.FieldReadArrayCount()), 0.0);
    const bool read = f.FieldReadArrayD(out.data(), out.size());
    if (!read)
    {
        EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
    }
    return read;
}

} // namespace

// Each closing brace line removed, and a closing brace line put after each
// line, in every section and nested block: reading the file in order and
// checking it fails with "File is corrupted". Braces inside quoted texts
// are text: a file whose only change lies there reads as before.
TEST(KQoxAsciiDamage, EveryUnpairedBraceFailsTheRead)
{
    const std::string text = WriteFile();
    const std::string original = ReadWhole(text);
    ASSERT_NE(original, "damaged");
    ASSERT_NE(original.find("Inner"), std::string::npos);
    const std::vector<std::string> lines = SplitLines(text);
    int edits = 0;
    for (size_t i = 1; i + 1 < lines.size(); ++i)
    {
        std::vector<std::string> changed = lines;
        if (lines[i].find_first_not_of(' ') == lines[i].find('}') && lines[i].find('}') + 2 == lines[i].size())
        {
            changed.erase(changed.begin() + static_cast<std::ptrdiff_t>(i));
            EXPECT_EQ(ReadWhole(JoinLines(changed)), "damaged") << "removed line " << i + 1 << ": " << lines[i];
            ++edits;
            changed = lines;
        }
        changed.insert(changed.begin() + static_cast<std::ptrdiff_t>(i) + 1, "}\n");
        EXPECT_EQ(ReadWhole(JoinLines(changed)), "damaged") << "put after line " << i + 1 << ": " << lines[i];
        ++edits;
    }
    EXPECT_GT(edits, 80);
    // Braces in a quoted text added or taken away are no damage.
    std::string quoted = text;
    const size_t at = quoted.find("\"} { }\"");
    ASSERT_NE(at, std::string::npos);
    quoted.replace(at, 7, "\"}}}\"");
    const std::string expected = [&] {
        std::string listing = original;
        listing.replace(listing.find("} { }"), 5, "}}}");
        return listing;
    }();
    EXPECT_EQ(ReadWhole(quoted), expected);
}

// Items that are no numbers of their array's kind fail the read, alone, in
// a short array and among many plain items (converted a block at a time);
// the forms the writer writes, and numbers at the ends of each range, read
// exactly.
TEST(KQoxAsciiDamage, ArrayItemsThatAreNoNumbersAreDamage)
{
    const struct
    {
        const char* mCodes; // the array kinds the item is damage in
        const char* mItem;
    } garbled[] = {
        {"bilfd", "q"},        {"bilfd", "1.5.5"},     {"bilfd", "-1x"},     {"bilfd", "1e"},
        {"bilfd", "+"},        {"bilfd", "--1"},       {"bilfd", "0x10"},    {"bilfd", "1-2"},
        {"bilfd", "-"},        {"bilfd", "."},         {"bilfd", "+-1"},     {"bilfd", "1e+"},
        {"bil", "1.5"},        {"bil", "1e3"},         {"bil", "inf"},       {"bil", "nan"},
        {"b", "256"},          {"b", "-1"},            {"bi", "2147483648"}, {"bi", "-2147483649"},
        {"bi", "99999999999"}, {"bil", "9223372036854775808"},                {"bil", "-9223372036854775809"},
        {"bil", "123456789012345678901234"},
    };
    for (const auto& row : garbled)
        for (const char* code = row.mCodes; *code; ++code)
        {
            SCOPED_TRACE(std::string(1, *code) + " " + row.mItem);
            std::vector<double> got;
            const std::string c(1, *code);
            EXPECT_FALSE(ReadArray(ArrayFile("*" + c + "1:" + row.mItem), got));
            EXPECT_FALSE(ReadArray(ArrayFile("*" + c + "3:1 " + std::string(row.mItem) + " 2"), got));
            // Among 400 plain items, at the start, inside and last.
            for (size_t place : {size_t(0), size_t(201), size_t(399)})
            {
                std::string items;
                for (size_t k = 0; k < 400; ++k)
                    items += (k ? " " : "") + (k == place ? std::string(row.mItem) : std::to_string(k % 200));
                EXPECT_FALSE(ReadArray(ArrayFile("*" + c + "400:" + items), got)) << place;
            }
        }
    // An empty item: two blanks make no item, so the count is one too many.
    std::vector<double> got;
    EXPECT_FALSE(ReadArray(ArrayFile("*d3:1  2"), got));

    const struct
    {
        const char* mCode;
        const char* mItem;
        double mValue;
    } valid[] = {
        {"d", "-0", -0.0},
        {"d", "1e-310", 1e-310},
        {"d", "inf", INFINITY},
        {"d", "-inf", -INFINITY},
        {"d", "1e+300", 1e300},
        {"d", "1.79769313486232e+308", 1.7976931348623157e308},
        {"d", "1e400", 1.7976931348623157e308},
        {"d", "+1.5", 1.5},
        {"d", ".5", 0.5},
        {"d", "7.", 7.0},
        {"f", "3.40282347e+38", 3.40282347e+38},
        {"f", "1e-40", 1e-40},
        {"f", "-0", -0.0},
        {"i", "-0", 0.0},
        {"i", "2147483647", 2147483647.0},
        {"i", "-2147483648", -2147483648.0},
        {"i", "+3", 3.0},
        {"b", "255", 255.0},
        {"b", "0", 0.0},
        {"l", "9223372036854775807", 9223372036854775807.0},
        {"l", "-9223372036854775808", -9223372036854775808.0},
    };
    for (const auto& row : valid)
    {
        SCOPED_TRACE(std::string(row.mCode) + " " + row.mItem);
        for (size_t place : {size_t(0), size_t(201)})
        {
            std::string items;
            for (size_t k = 0; k < 400; ++k)
                items += (k ? " " : "") + (k == place ? std::string(row.mItem) : std::to_string(k % 200));
            ASSERT_TRUE(ReadArray(ArrayFile(std::string("*") + row.mCode + "400:" + items), got));
            EXPECT_EQ(std::memcmp(&got[place], &row.mValue, sizeof(double)), 0) << got[place];
            EXPECT_EQ(got[place + 1], static_cast<double>((place + 1) % 200));
        }
    }
    ASSERT_TRUE(ReadArray(ArrayFile("*d1:nan"), got));
    EXPECT_TRUE(std::isnan(got[0]));
}

// Bytes below 0x20 and 0x7F stand escaped in quoted texts: bare, in a name
// or a value, read or passed over, they are damage; escaped they read.
TEST(KQoxAsciiDamage, ControlBytesStandingBareInQuotedTextsAreDamage)
{
    for (char bad : {'\0', '\x01', '\t', '\x1f', '\x7f'})
    {
        SCOPED_TRACE(static_cast<int>(bad));
        const std::string value = std::string("a") + bad + "b";
        const std::string cases[] = {
            "A: \"" + value + "\"\n",
            "\"" + value + "\": 1\n",
            "B: 1 {\n    A: \"" + value + "\"\n}\nC: 2\n",
        };
        for (const std::string& body : cases)
        {
            const std::string text = "; Tolvane QOX ASCII 6000\n" + body + "; EOF\n";
            KQox f;
            bool read = f.ProjectOpen(text.data(), static_cast<unsigned int>(text.size()), nullptr, false);
            if (read && body[0] == 'A')
                read = std::string(f.FieldReadC("A", "-")) == value && f.GetLastErrorID() != KQox::eFILE_CORRUPTED;
            if (read && body[0] == 'B')
                read = f.FieldReadI("C", -1) == 2;
            read = read && f.ProjectCheckIntegrity();
            EXPECT_FALSE(read) << body;
            EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED) << body;
        }
    }
    const std::string text = "; Tolvane QOX ASCII 6000\nA: \"a\\tb\\x7Fc\\x01\"\nB: \"\\x00\"\n; EOF\n";
    KQox f;
    ASSERT_TRUE(f.ProjectOpen(text.data(), static_cast<unsigned int>(text.size())));
    EXPECT_STREQ(f.FieldReadC("A", "-"), "a\tb\x7F" "c\x01");
    EXPECT_STREQ(f.FieldReadC("B", "-"), "");
    EXPECT_TRUE(f.ProjectCheckIntegrity());
}
