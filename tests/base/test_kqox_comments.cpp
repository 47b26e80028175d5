// Comments in ASCII files inside multi-line typed arrays: on lines of their
// own, after items, after the last item and after the array's head, in short
// arrays, in large ones (counted once, passed over while braces are paired)
// and in arrays converted in slices side by side; in place and through the
// reader's window. They read as the same arrays without them, and damage
// around them is still refused.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/kqox.h"
#include "base/kqox_private.h"
#include "common/qox_test_common.h"

using qoxtest::JoinLines;
using qoxtest::SplitLines;

namespace {

// ASCII text read through the window instead of in place, while it lives.
struct TextThroughWindow
{
    explicit TextThroughWindow(bool on) { KQoxPrivate::sTextInPlace = !on; }
    ~TextThroughWindow() { KQoxPrivate::sTextInPlace = true; }
};

// The items of an array of that code: plain numbers and, for the decimal
// kinds, numbers the general path converts (exponents, inf, nan).
std::vector<double> Items(char code, size_t count)
{
    std::vector<double> items(count);
    for (size_t i = 0; i < count; ++i)
    {
        const double k = static_cast<double>(i);
        switch (code)
        {
        case 'b': items[i] = static_cast<double>(i % 256); break;
        case 'i': items[i] = (i % 3 == 0 ? -1.0 : 1.0) * static_cast<double>(i % 100000) * 7919.0; break;
        case 'l': items[i] = (i % 2 ? -1.0 : 1.0) * k * 1e9; break;
        default:
            items[i] = i % 97 == 5 ? 1.5e300 : i % 89 == 7 ? -INFINITY : i % 83 == 3 ? NAN : (i % 2 ? -0.25 : 0.5) * k;
        }
    }
    return items;
}

// A file holding the array twice: as "A" in the top-level list, and as "B"
// in a block in the section "Data"; "Tail" follows the section.
std::string ArrayFile(char code, const std::vector<double>& items)
{
    std::vector<unsigned char> bytes(items.size() * 128 + 4096);
    KQox f;
    EXPECT_TRUE(f.ProjectCreate(bytes.data(), static_cast<unsigned int>(bytes.size()), KQox::eASCII));
    const unsigned int n = static_cast<unsigned int>(items.size());
    std::vector<unsigned char> b(items.begin(), items.end());
    std::vector<int> i(items.begin(), items.end());
    std::vector<long long> l(items.begin(), items.end());
    std::vector<float> fl(items.begin(), items.end());
    // The array twice in the field: read as doubles, then as its own kind.
    auto put = [&](const char* name) {
        f.FieldWriteBegin(name);
        for (int twice = 0; twice < 2; ++twice)
            switch (code)
            {
            case 'b': f.FieldWriteArrayB(b.data(), n); break;
            case 'i': f.FieldWriteArrayI(i.data(), n); break;
            case 'l': f.FieldWriteArrayL(l.data(), n); break;
            case 'f': f.FieldWriteArrayF(fl.data(), n); break;
            default: f.FieldWriteArrayD(items.data(), n); break;
            }
        f.FieldWriteEnd();
    };
    put("A");
    f.ProjectWriteSectionBegin("Data", 6000);
    f.FieldWriteBegin("Holder");
    f.FieldWriteI(1);
    f.FieldWriteBlockBegin();
    put("B");
    f.FieldWriteBegin("After");
    f.FieldWriteC("x ; y {");
    f.FieldWriteEnd();
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
    f.FieldWriteBegin("Tail");
    f.FieldWriteI(3);
    f.FieldWriteEnd();
    EXPECT_TRUE(f.ProjectClose());
    return std::string(reinterpret_cast<const char*>(bytes.data()), static_cast<size_t>(f.ProjectGetFileSize()));
}

// A line of array items only (indentation, numbers and blanks).
bool IsItemLine(const std::string& line)
{
    return line.find_first_not_of(" \n") != std::string::npos && line.find_first_of(":{}\"[];*") == std::string::npos;
}

// A line ending with an array's head: the items follow on lines of their own.
bool IsHeadLine(const std::string& line)
{
    return line.find('*') != std::string::npos && line.size() >= 2 && line[line.size() - 2] == ':';
}

std::string Indent(const std::string& line)
{
    return line.substr(0, line.find_first_not_of(' '));
}

// Where comments go: each edit changes the lines of every array. Those
// that put comments between many items run on arrays of every size; the
// others on the small arrays, and on the large ones in place.
struct Placement
{
    const char* mName;
    bool mEverySize;
    std::function<void(std::vector<std::string>&)> mEdit;
};

// Applies edit(line index, lines out) to every line of array items: the
// index counts item lines from the head, last tells the array's last line.
void ForEachItemLine(std::vector<std::string>& lines,
                     const std::function<void(size_t index, bool last, std::vector<std::string>& out)>& edit)
{
    std::vector<std::string> out;
    size_t index = 0;
    for (size_t i = 0; i < lines.size(); ++i)
    {
        if (!IsItemLine(lines[i]))
        {
            out.push_back(lines[i]);
            index = 0;
            continue;
        }
        out.push_back(lines[i]);
        const bool last = i + 1 == lines.size() || !IsItemLine(lines[i + 1]);
        edit(index++, last, out);
    }
    lines = out;
}

// A comment after the text of the last line (before its line end).
void AppendToLine(std::vector<std::string>& out, const std::string& comment)
{
    std::string& line = out.back();
    line.insert(line.size() - 1, comment);
}

const Placement kPlacements[] = {
    {"after the head", false,
     [](std::vector<std::string>& lines) {
         for (std::string& line : lines)
             if (IsHeadLine(line))
                 line.insert(line.size() - 1, " ; the items: 1 2 3 { } \" *i2:");
     }},
    {"on a line of its own after the first item line", false,
     [](std::vector<std::string>& lines) {
         ForEachItemLine(lines, [](size_t index, bool last, std::vector<std::string>& out) {
             if (index == 0 && !last)
                 out.push_back(Indent(out.back()) + "; items 17 to 32 { follow \" here\n");
         });
     }},
    {"on lines of their own between all item lines, blank lines too", true,
     [](std::vector<std::string>& lines) {
         ForEachItemLine(lines, [](size_t, bool last, std::vector<std::string>& out) {
             if (!last)
                 out.push_back(Indent(out.back()) + ";\n\n  ;; -1 2 3\n");
         });
     }},
    {"after every item line", true,
     [](std::vector<std::string>& lines) {
         ForEachItemLine(lines, [](size_t, bool, std::vector<std::string>& out) { AppendToLine(out, " ; 4 5 6 }"); });
     }},
    {"after the last item", false,
     [](std::vector<std::string>& lines) {
         ForEachItemLine(lines, [](size_t, bool last, std::vector<std::string>& out) {
             if (last)
                 AppendToLine(out, " ; the end }");
         });
     }},
    {"right after an item, no blank between", true,
     [](std::vector<std::string>& lines) {
         ForEachItemLine(lines, [](size_t index, bool, std::vector<std::string>& out) {
             if (index % 3 == 1)
                 AppendToLine(out, ";7 8");
         });
     }},
    {"ending with a carriage return and line feed", false,
     [](std::vector<std::string>& lines) {
         ForEachItemLine(lines, [](size_t index, bool, std::vector<std::string>& out) {
             if (index % 2 == 0)
             {
                 AppendToLine(out, " ; 9 10\r");
                 out.push_back(Indent(out.back()) + "; 11\r\n");
             }
         });
     }},
    {"longer than the reader's window", true,
     [](std::vector<std::string>& lines) {
         ForEachItemLine(lines, [](size_t index, bool, std::vector<std::string>& out) {
             if (index == 1)
                 out.push_back(Indent(out.back()) + "; " + std::string(70000, '7') + " 1 2 {\n");
         });
     }},
};

// The arrays of the file read back in the orders a reader may take, as
// doubles and as the array's own kind converted to double: the top-level
// array found at once, and after the section was entered (its braces paired
// first); the block's array after a later field was asked for first (the
// section passed over) or once the section is entered. Empty on failure,
// which must be "File is corrupted".
// The next array of the current field read as T, its items as doubles.
template <typename T>
bool ReadAs(KQox& f, bool (KQox::*read)(T*, unsigned long long), std::vector<double>& out)
{
    std::vector<T> items(out.size());
    if (!(f.*read)(items.data(), items.size()))
        return false;
    out.assign(items.begin(), items.end());
    return true;
}

std::vector<std::vector<double>> ReadArrays(const std::string& text, char code, bool tailFirst)
{
    std::vector<std::vector<double>> arrays;
    KQox f;
    auto fail = [&]() {
        EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
        arrays.clear();
        return arrays;
    };
    auto read = [&](const char* name, char code) {
        if (!f.FieldReadBegin(name))
            return false;
        bool ok = true;
        for (int twice = 0; twice < 2 && ok; ++twice)
        {
            const long long count = f.FieldReadArrayCount();
            if (count < 0)
                return false;
            std::vector<double> d(static_cast<size_t>(count));
            if (twice == 0 || code == 'd')
                ok = f.FieldReadArrayD(d.data(), d.size());
            else if (code == 'f')
                ok = ReadAs<float>(f, &KQox::FieldReadArrayF, d);
            else if (code == 'l')
                ok = ReadAs<long long>(f, &KQox::FieldReadArrayL, d);
            else if (code == 'i')
                ok = ReadAs<int>(f, &KQox::FieldReadArrayI, d);
            else
                ok = ReadAs<unsigned char>(f, &KQox::FieldReadArrayB, d);
            arrays.push_back(d);
        }
        f.FieldReadEnd();
        return ok;
    };
    if (!f.ProjectOpen(text.data(), static_cast<unsigned int>(text.size()), nullptr, false))
        return fail();
    if (tailFirst && f.FieldReadI("Tail", -1) != 3)
        return fail();
    if (!read("A", code))
        return fail();
    if (!f.ProjectReadSectionBegin("Data") || !f.FieldReadBegin("Holder") || !f.FieldReadBlockBegin() ||
        !read("B", code))
        return fail();
    if (std::string(f.FieldReadC("After", "-")) != "x ; y {")
        return fail();
    f.FieldReadBlockEnd();
    f.FieldReadEnd();
    f.ProjectReadSectionEnd();
    if (!tailFirst && f.FieldReadI("Tail", -1) != 3)
        return fail();
    if (!f.ProjectCheckIntegrity())
        return fail();
    return arrays;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

} // namespace

// Every placement of comments, in arrays of every kind and of every size the
// reader treats apart, read in place and through the window, in either
// order: the same arrays as the file without comments.
TEST(KQoxAsciiComments, CommentsInsideArraysReadAsWithout)
{
    for (size_t count : {size_t(20), size_t(1500), size_t(300000)})
        for (char code : {'b', 'i', 'l', 'f', 'd'})
        {
            // Slices are cut alike whatever the kind: two kinds are enough.
            if (count > 1500 && code != 'i' && code != 'd')
                continue;
            const std::vector<double> items = Items(code, count);
            const std::string plain = ArrayFile(code, items);
            const std::vector<std::string> lines = SplitLines(plain);
            for (bool windowed : {false, true})
            {
                const TextThroughWindow through(windowed);
                const std::vector<std::vector<double>> expected = ReadArrays(plain, code, false);
                ASSERT_EQ(expected.size(), 4u);
                ASSERT_EQ(expected[0].size(), count);
                for (const Placement& placement : kPlacements)
                {
                    if (count > 20 && (windowed || count > 1500) && !placement.mEverySize)
                        continue;
                    SCOPED_TRACE(std::string(1, code) + std::to_string(count) + " " + placement.mName +
                                 (windowed ? ", windowed" : ", in place"));
                    std::vector<std::string> edited = lines;
                    placement.mEdit(edited);
                    const std::string text = JoinLines(edited);
                    ASSERT_NE(text, plain);
                    for (bool tailFirst : {false, true})
                    {
                        const std::vector<std::vector<double>> got = ReadArrays(text, code, tailFirst);
                        ASSERT_EQ(got.size(), 4u) << tailFirst;
                        for (size_t k = 0; k < got.size(); ++k)
                            EXPECT_TRUE(SameBits(got[k], expected[k])) << tailFirst << " " << k;
                    }
                }
            }
        }
}

namespace {

// Damage next to comments or hidden by them: each edit changes every array
// (or the quoted text after them) of the file.
struct Damage
{
    const char* mName;
    std::function<void(std::vector<std::string>&)> mEdit;
};

// The first line of items of every array changed by edit.
void EditFirstItemLines(std::vector<std::string>& lines, const std::function<void(std::vector<std::string>&)>& edit)
{
    ForEachItemLine(lines, [&](size_t index, bool, std::vector<std::string>& out) {
        if (index == 0)
            edit(out);
    });
}

// The text of a line without its indentation and line end.
std::string Body(const std::string& line)
{
    const size_t first = line.find_first_not_of(' ');
    return line.substr(first, line.size() - 1 - first);
}

const Damage kDamages[] = {
    {"a line of items made a comment: too few items",
     [](std::vector<std::string>& lines) {
         EditFirstItemLines(lines, [](std::vector<std::string>& out) {
             out.back() = Indent(out.back()) + "; " + Body(out.back()) + "\n";
         });
     }},
    {"a comment after the first item hides the rest of its line",
     [](std::vector<std::string>& lines) {
         EditFirstItemLines(lines, [](std::vector<std::string>& out) {
             std::string& line = out.back();
             line.insert(line.find(' ', line.find_first_not_of(' ')), " ;");
         });
     }},
    {"a ';' inside an item: the rest of the line is a comment",
     [](std::vector<std::string>& lines) {
         EditFirstItemLines(lines, [](std::vector<std::string>& out) {
             std::string& line = out.back();
             line[line.find(' ', line.find_first_not_of(' '))] = ';';
         });
     }},
    {"an item that is no number after a comment line",
     [](std::vector<std::string>& lines) {
         EditFirstItemLines(lines, [](std::vector<std::string>& out) {
             const std::string line = out.back();
             const size_t first = line.find_first_not_of(' ');
             out.back() = Indent(line) + "; the next item is no number\n";
             out.push_back(Indent(line) + "q" + line.substr(line.find(' ', first)));
         });
     }},
    {"a closing brace on a line of its own among the items",
     [](std::vector<std::string>& lines) {
         EditFirstItemLines(lines, [](std::vector<std::string>& out) {
             out.push_back(Indent(out.back()) + "; a brace follows\n");
             out.push_back(Indent(out.back()) + "}\n");
         });
     }},
    {"an opening brace among the items after a comment",
     [](std::vector<std::string>& lines) {
         EditFirstItemLines(lines, [](std::vector<std::string>& out) { AppendToLine(out, " ; {\n {"); });
     }},
    {"a quoted text holding ';' among the items",
     [](std::vector<std::string>& lines) {
         EditFirstItemLines(lines, [](std::vector<std::string>& out) { AppendToLine(out, " \"; 1 2\""); });
     }},
    {"a closing brace after a quoted text holding ';'",
     [](std::vector<std::string>& lines) {
         for (std::string& line : lines)
             if (line.find("After: ") != std::string::npos)
                 line.insert(line.size() - 1, " }");
     }},
};

} // namespace

// Damage stays damage beside comments: too few items once lines or parts of
// them are comments, items that are no numbers, braces and quoted texts
// among the items, and a ';' inside a quoted text that is no comment. Each
// read fails with "File is corrupted", in place and through the window.
TEST(KQoxAsciiComments, DamageBesideCommentsIsRefused)
{
    for (size_t count : {size_t(20), size_t(1500), size_t(300000)})
        for (char code : {'i', 'd'})
        {
            if (count > 1500 && code != 'd')
                continue;
            const std::vector<std::string> lines = SplitLines(ArrayFile(code, Items(code, count)));
            for (bool windowed : {false, true})
            {
                const TextThroughWindow through(windowed);
                for (const Damage& damage : kDamages)
                {
                    SCOPED_TRACE(std::string(1, code) + std::to_string(count) + " " + damage.mName +
                                 (windowed ? ", windowed" : ", in place"));
                    std::vector<std::string> edited = lines;
                    damage.mEdit(edited);
                    const std::string text = JoinLines(edited);
                    ASSERT_NE(text, JoinLines(lines));
                    for (bool tailFirst : {false, true})
                        EXPECT_TRUE(ReadArrays(text, code, tailFirst).empty()) << tailFirst;
                }
            }
        }
}

// Raw bytes written on lines of their own take comments as arrays do: after
// the head, on lines of their own and after a line; a comment hiding a line
// of them leaves too few (damage).
TEST(KQoxAsciiComments, CommentsInsideRawBytes)
{
    std::vector<unsigned char> raw(300);
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<unsigned char>(i * 37 + 11);
    std::vector<unsigned char> bytes(4096);
    KQox w;
    ASSERT_TRUE(w.ProjectCreate(bytes.data(), static_cast<unsigned int>(bytes.size()), KQox::eASCII));
    w.FieldWriteBegin("Raw");
    w.FieldWriteR(raw.data(), raw.size());
    w.FieldWriteI(4);
    w.FieldWriteEnd();
    w.FieldWriteBegin("Tail");
    w.FieldWriteI(3);
    w.FieldWriteEnd();
    ASSERT_TRUE(w.ProjectClose());
    const std::string plain(reinterpret_cast<const char*>(bytes.data()), static_cast<size_t>(w.ProjectGetFileSize()));
    const std::vector<std::string> lines = SplitLines(plain);
    ASSERT_GT(lines.size(), 6u);
    ASSERT_NE(lines[1].find("Raw: *300:"), std::string::npos);
    // Lines 2 to 5 hold the base64 text, the last one followed by ",4".
    const struct
    {
        const char* mName;
        bool mValid;
        std::function<void(std::vector<std::string>&)> mEdit;
    } edits[] = {
        {"after the head", true, [](std::vector<std::string>& l) { l[1].insert(l[1].size() - 1, " ; bytes { \" *"); }},
        {"on a line of its own", true, [](std::vector<std::string>& l) { l.insert(l.begin() + 3, "    ; AAAA }\n"); }},
        {"after a line", true, [](std::vector<std::string>& l) { l[2].insert(l[2].size() - 1, ";AAAA"); }},
        {"hiding a line", false, [](std::vector<std::string>& l) { l[3] = "    ;" + l[3].substr(4); }},
    };
    for (bool windowed : {false, true})
        for (const auto& edit : edits)
        {
            const TextThroughWindow through(windowed);
            SCOPED_TRACE(std::string(edit.mName) + (windowed ? ", windowed" : ", in place"));
            std::vector<std::string> edited = lines;
            edit.mEdit(edited);
            const std::string text = JoinLines(edited);
            for (bool tailFirst : {false, true})
            {
                KQox f;
                bool read = f.ProjectOpen(text.data(), static_cast<unsigned int>(text.size()), nullptr, false);
                if (read && tailFirst)
                    read = f.FieldReadI("Tail", -1) == 3;
                std::vector<unsigned char> got(raw.size());
                read = read && f.FieldReadBegin("Raw") && f.FieldReadRSize() == raw.size() &&
                       f.FieldReadR(got.data(), got.size()) && f.FieldReadI() == 4;
                f.FieldReadEnd();
                read = read && f.FieldReadI("Tail", -1) == (tailFirst ? -1 : 3) && f.ProjectCheckIntegrity();
                EXPECT_EQ(read, edit.mValid) << tailFirst;
                if (edit.mValid)
                    EXPECT_EQ(got, raw);
                else
                    EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
            }
        }
}
