// OBJ reading: statements, references, materials, meshes and surfaces, and
// hostile files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>

#include <sys/stat.h>
#include <unistd.h>

#include "base/kfile.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"
#include "formats/obj/kqoxobjscan.h"
#include "obj_test_util.h"
#include "scene/attributes/kqoxnurb.h"

#ifdef QOX_HAVE_TINYOBJ
#include <tiny_obj_loader.h>
#endif

using namespace objtest;

namespace {

std::vector<std::pair<std::string, std::string>> Statements(const std::string& text, bool join = true)
{
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("s.txt"), text);
    FILE* file = fopen(dir.File("s.txt").c_str(), "rb");
    KObjStatementReader in(file, join);
    std::vector<std::pair<std::string, std::string>> out;
    std::string_view keyword, rest;
    while (in.Next(keyword, rest))
        out.emplace_back(std::string(keyword), std::string(rest));
    fclose(file);
    return out;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

// check(reader, mapped) on a statement reader of text, read in place from a
// file and in blocks from a memory stream.
template <class Check>
void ForEachReading(std::string& text, Check&& check)
{
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("s.obj"), text);
    for (bool mapped : {true, false})
    {
        SCOPED_TRACE(mapped);
        FILE* file = mapped ? fopen(dir.File("s.obj").c_str(), "rb") : fmemopen(&text[0], text.size(), "rb");
        ASSERT_NE(file, nullptr);
        {
            KObjStatementReader in(file, true);
            check(in, mapped);
            EXPECT_FALSE(in.ReadFailed());
        }
        fclose(file);
    }
}

} // namespace

TEST(ObjStatements, LineFormsOfOtherTools)
{
    const std::string longRest(300000, 'x');
    struct Case
    {
        std::string text;
        Pairs expected;
    } cases[] = {
        {"v 1 2 3\n\n\n   vn 0 0 1  \n", {{"v", "1 2 3"}, {"vn", "0 0 1"}}},
        {"v 1 2 3\r\nf 1 2 3\r\n", {{"v", "1 2 3"}, {"f", "1 2 3"}}},
        {"v 1 2 3\rf 1 2 3\r", {{"v", "1 2 3"}, {"f", "1 2 3"}}},
        {"f 1 2 3", {{"f", "1 2 3"}}}, // no final line break
        {"g\n", {{"g", ""}}},          // keyword alone
        {"f 1 \\\n 2 \\\r\n3\n", {{"f", "1   2  3"}}},
        {"abcdefghijklmnopqrstuvwxyz 5\n", {{"abcdefghijklmnopqrst", "uvwxyz 5"}}},
        {"v " + longRest + "\nvt 1", {{"v", longRest}, {"vt", "1"}}},
        {"\t# comment\nv\t1\t2 3\t\n", {{"#", "comment"}, {"v", "1\t2 3"}}},
        {"", {}},
        {"f 1 2 3 \\", {{"f", "1 2 3"}}}, // continuation at the end of the file
    };
    for (const Case& c : cases)
        EXPECT_EQ(Statements(c.text), c.expected) << c.text.substr(0, 60);
    // Material libraries do not join lines.
    EXPECT_EQ(Statements("Kd 1 \\\nKa 2", false), (Pairs{{"Kd", "1 \\"}, {"Ka", "2"}}));
}

TEST(ObjStatements, ReadingAheadCutsTheSameStatements)
{
    // Several blocks of lines of every form: each break kind, a CR LF pair
    // and continuations at every offset, blank runs, and lines longer than
    // a block. Read statement by statement, and with runs of lines taken
    // from the buffer, with and without reading ahead: the same statements
    // at the same positions.
    std::mt19937 random(39);
    std::string text;
    const char* const breaks[] = {"\n", "\r\n", "\r", "\n\n\n", " \\\n", "\\\r\n"};
    size_t nextLong = size_t(3) << 19;
    while (text.size() < (size_t(7) << 20))
    {
        if (text.size() > nextLong)
        {
            text += "g " + std::string(600000 + random() % 1200000, 'a' + static_cast<char>(random() % 26));
            nextLong = text.size() + (size_t(3) << 19);
        }
        else
            text += (random() % 3 ? "v " : "f ") + std::to_string(random()) + " " + std::to_string(random() % 1000);
        text += breaks[random() % 6];
    }
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("s.obj"), text);
    // Each statement with the position after it; every 50th time a line
    // is taken from the buffered lines instead (whole, as it stands).
    // A pipe is read in blocks; the file itself in place from a mapping.
    auto read = [&](bool ahead, bool takeLines, bool piped = false) {
        FILE* file =
            piped ? popen(("cat '" + dir.File("s.obj") + "'").c_str(), "r") : fopen(dir.File("s.obj").c_str(), "rb");
        std::vector<std::string> out;
        {
            KObjStatementReader in(file, true, 0);
            in.SetReadAhead(ahead);
            std::string_view keyword, rest;
            for (int i = 1;; ++i)
            {
                if (i == 2)
                {
                    EXPECT_EQ(in.IsMapped(), !piped);
                }
                if (takeLines && i % 50 == 0)
                {
                    const std::string_view lines = in.BufferedLines(size_t(3) << 19);
                    const size_t end = lines.find_first_of("\r\n");
                    if (end != std::string_view::npos)
                    {
                        in.Consume(end + 1);
                        out.push_back("lines " + std::string(lines.substr(0, end + 1)));
                        continue;
                    }
                }
                if (!in.Next(keyword, rest))
                    break;
                out.push_back(std::string(keyword) + "|" + std::string(rest) + "|" + std::to_string(in.Position()));
            }
            EXPECT_FALSE(in.ReadFailed());
        }
        if (piped)
            pclose(file);
        else
            fclose(file);
        return out;
    };
    for (bool takeLines : {false, true})
    {
        const std::vector<std::string> plain = read(false, takeLines);
        ASSERT_GT(plain.size(), size_t(50000));
        EXPECT_TRUE(read(true, takeLines) == plain) << takeLines;
        EXPECT_TRUE(read(false, takeLines, true) == plain) << takeLines;
        EXPECT_TRUE(read(true, takeLines, true) == plain) << takeLines;
    }
}

TEST(ObjStatements, FileReadInPlaceGivesBackWhatItRead)
{
    // A file read in place from a mapping: the pages read are given back as
    // the reading goes on, so that the file's size never adds up in the
    // process's resident size.
    std::string text;
    for (int i = 0; text.size() < (size_t(96) << 20); ++i)
        text += "v " + std::to_string(i) + ".125 0.5 -" + std::to_string(i % 1000) + ".75\n";
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("big.obj"), text);
    auto residentFileMB = [] {
        double kilobytes = -1;
        if (FILE* status = std::fopen("/proc/self/status", "r"))
        {
            char line[256];
            while (std::fgets(line, sizeof line, status))
                if (std::strncmp(line, "RssFile:", 8) == 0)
                    kilobytes = std::atof(line + 8);
            std::fclose(status);
        }
        return kilobytes / 1024;
    };
    const double before = residentFileMB();
    if (before < 0)
        GTEST_SKIP() << "no resident sizes to be read here";
    FILE* file = fopen(dir.File("big.obj").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    double most = before;
    size_t statements = 0, bytes = 0;
    {
        KObjStatementReader in(file, true, 0);
        std::string_view keyword, rest;
        for (; in.Next(keyword, rest); ++statements)
        {
            bytes += keyword.size() + rest.size();
            if (statements % 20000 == 0)
                most = std::max(most, residentFileMB());
            if (statements % 3000 == 0)
            {
                // Runs of lines taken whole as well.
                const std::string_view lines = in.BufferedLines(size_t(1) << 18);
                const size_t end = lines.rfind('\n');
                if (end != std::string_view::npos)
                    in.Consume(end + 1);
            }
        }
        EXPECT_TRUE(in.IsMapped());
        EXPECT_FALSE(in.ReadFailed());
    }
    fclose(file);
    EXPECT_GT(statements, size_t(100000));
    EXPECT_LT(most - before, 32.0) << "resident file pages grew with the file";
}

TEST(ObjStatements, FileCutShortWhileReadInPlaceFailsTheRead)
{
    // Another program cuts the file short (or writes it anew where it
    // stands) while it is read in place: the statements after the cut are
    // lost, the reading ends, and it reports that it failed.
    std::string text;
    for (int i = 0; text.size() < (size_t(2) << 20); ++i)
        text += "v " + std::to_string(i) + " 1 2\n";
    qoxtest::TempDir dir;
    const std::string path = dir.File("cut.obj");
    for (size_t keep : {size_t(0), size_t(5000), text.size() / 3})
    {
        ASSERT_TRUE(qoxtest::WriteFile(path, text));
        FILE* file = fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        size_t statements = 0;
        bool failed = false;
        {
            KObjStatementReader in(file, true);
            std::string_view keyword, rest;
            ASSERT_TRUE(in.Next(keyword, rest));
            ASSERT_TRUE(in.IsMapped());
            ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(keep)), 0);
            while (in.Next(keyword, rest))
                ++statements;
            failed = in.ReadFailed();
        }
        fclose(file);
        EXPECT_TRUE(failed) << keep;
        EXPECT_LT(statements * 10, text.size() / 3 + 4096) << keep;
    }
}

TEST(ObjStatements, SeekGoesOnAsReadingOnDid)
{
    // Lines of each break kind and blank runs over a few megabytes: from
    // any position a statement left, in scrambled order, the statements
    // read on are those read on the first time. A file read in place and
    // one read in blocks (not mappable: a memory stream).
    std::mt19937 random(71);
    std::string text;
    const char* const breaks[] = {"\n", "\r\n", "\r", "\n\r\n \t\n"};
    while (text.size() < (size_t(3) << 20))
        text += "Kd " + std::to_string(random()) + " " + std::string(random() % 40, 'x') + breaks[random() % 4];
    text += "newmtl last"; // no final break
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("s.mtl"), text);
    for (bool mapped : {true, false})
    {
        FILE* file = mapped ? fopen(dir.File("s.mtl").c_str(), "rb") : fmemopen(&text[0], text.size(), "rb");
        ASSERT_NE(file, nullptr);
        {
            KObjStatementReader in(file, false);
            std::vector<std::string> statements;
            std::vector<size_t> positions{0};
            std::string_view keyword, rest;
            while (in.Next(keyword, rest))
            {
                statements.push_back(std::string(keyword) + "|" + std::string(rest));
                positions.push_back(in.Position());
            }
            EXPECT_EQ(in.IsMapped(), mapped);
            ASSERT_GT(statements.size(), size_t(50000));
            EXPECT_EQ(statements.back(), "newmtl|last");
            EXPECT_EQ(positions.back(), text.size());
            for (int trial = 0; trial < 400; ++trial)
            {
                const size_t i = trial == 0 ? statements.size() : random() % statements.size();
                ASSERT_TRUE(in.Seek(positions[i])) << i;
                for (size_t j = i; j < i + 5; ++j)
                {
                    const bool more = in.Next(keyword, rest);
                    ASSERT_EQ(more, j < statements.size()) << i;
                    if (!more)
                        break;
                    EXPECT_EQ(std::string(keyword) + "|" + std::string(rest), statements[j]) << i;
                    EXPECT_EQ(in.Position(), positions[j + 1]);
                }
            }
            EXPECT_FALSE(in.ReadFailed());
            // Past the end of a mapping: refused, nothing more read.
            if (mapped)
            {
                EXPECT_FALSE(in.Seek(text.size() + 1));
                EXPECT_FALSE(in.Next(keyword, rest));
            }
        }
        fclose(file);
    }
}

TEST(ObjStatements, UnreadGivesTheLastStatementAgain)
{
    // Every second statement given back right after it was read, over
    // blocks of the file read in turn and breaks of each kind: read again
    // (by Next, or whole in the lines at hand) as the first time. Joined
    // statements, and calls not right after Next, give nothing back.
    std::mt19937 random(5);
    std::string text;
    const char* const breaks[] = {"\n", "\r\n", "\r", "\n \t\n"};
    while (text.size() < (size_t(3) << 20))
        text += "  f " + std::to_string(random()) + std::string(random() % 40, 'x') + breaks[random() % 4];
    text += "f 1 2 \\\n3 4\nf last"; // a joined statement, then no final break
    const Pairs expected = Statements(text);
    ForEachReading(text, [&](KObjStatementReader& in, bool) {
        Pairs got;
        std::string_view keyword, rest;
        size_t unread = 0;
        for (bool again = false; in.Next(keyword, rest);)
        {
            if (!again && got.size() % 2 == 0)
            {
                const bool joined = std::string(rest) == "1 2  3 4";
                EXPECT_EQ(in.Unread(), !joined) << got.size();
                EXPECT_FALSE(in.Unread());
                if (!joined)
                {
                    again = true;
                    ++unread;
                    // Half of them taken back whole from the lines at
                    // hand, as a run's reading does.
                    if (got.size() % 4 == 0)
                    {
                        const std::string_view lines = in.BufferedLines(1);
                        if (!lines.empty() && lines.find_first_of("\r\n") != std::string_view::npos)
                        {
                            const size_t end = lines.find_first_of("\r\n");
                            const std::string line(lines.substr(0, end));
                            EXPECT_EQ(line, "f " + expected[got.size()].second);
                            EXPECT_FALSE(in.Unread());
                            got.push_back(expected[got.size()]);
                            in.Consume(end);
                            again = false;
                        }
                    }
                    continue;
                }
            }
            again = false;
            got.emplace_back(std::string(keyword), std::string(rest));
        }
        EXPECT_GT(unread, size_t(10000));
        EXPECT_TRUE(got == expected);
    });
}

TEST(ObjStatements, LinesAtHandAndStatementsInTurnReadTheFileOnce)
{
    // Lines taken a few at a time from what BufferedLines gives (asking for
    // little or much) in turn with statements taken by Next, and now and
    // then a move back, in place and in blocks: every statement in order,
    // and what is given always whole lines.
    std::mt19937 random(9);
    std::string text;
    const char* const breaks[] = {"\n", "\r\n", "\r"};
    while (text.size() < (size_t(5) << 20))
        text += "vt " + std::to_string(random()) + std::string(random() % 60, 'y') + breaks[random() % 3];
    const Pairs expected = Statements(text);
    ForEachReading(text, [&](KObjStatementReader& in, bool mapped) {
        Pairs got;
        std::vector<size_t> positions{0}; // after each statement taken
        std::string_view keyword, rest;
        for (int step = 0;; ++step)
        {
            // Now and then back to where an earlier statement ended.
            if (step % 97 == 96)
            {
                const size_t back = positions.size() - 1 - std::min<size_t>(random() % 300, positions.size() - 1);
                ASSERT_TRUE(in.Seek(positions[back]));
                got.resize(back);
                positions.resize(back + 1);
                continue;
            }
            if (random() % 2)
            {
                if (!in.Next(keyword, rest))
                    break;
                got.emplace_back(std::string(keyword), std::string(rest));
                positions.push_back(in.Position());
                continue;
            }
            const std::string_view lines = in.BufferedLines(random() % 2 ? 64 : size_t(256) << 10);
            ASSERT_TRUE(lines.empty() || lines.back() == '\n' || lines.back() == '\r');
            size_t at = 0;
            for (int n = static_cast<int>(random() % 50); n > 0 && at < lines.size(); --n)
            {
                while (at < lines.size() && (lines[at] == '\n' || lines[at] == '\r'))
                    ++at;
                const size_t end = lines.find_first_of("\r\n", at);
                if (end == std::string_view::npos)
                    break;
                const std::string_view line = lines.substr(at, end - at);
                const size_t blank = line.find(' ');
                got.emplace_back(std::string(line.substr(0, blank)), std::string(line.substr(blank + 1)));
                at = end;
                positions.push_back(in.Position() + at);
            }
            in.Consume(at);
        }
        EXPECT_EQ(in.IsMapped(), mapped);
        EXPECT_TRUE(got == expected);
    });
}

TEST(ObjReferences, IndexRulesAndTokens)
{
    struct
    {
        int index, count, expected;
    } indices[] = {{1, 3, 0},  {3, 3, 2},   {4, 3, -1},       {0, 3, -1},       {-1, 3, 2},
                   {-3, 3, 0}, {-4, 3, -1}, {INT_MIN, 3, -1}, {INT_MAX, 3, -1}, {-1, 0, -1}};
    for (auto& c : indices)
        EXPECT_EQ(KQoxReaderObj::ConvertIndex(c.index, c.count), c.expected) << c.index << " of " << c.count;

    struct
    {
        const char* token;
        bool ok;
        int v, t, n;
    } tokens[] = {{"7", true, 7, 0, 0},
                  {"7/3", true, 7, 3, 0},
                  {"7/3/2", true, 7, 3, 2},
                  {"7//2", true, 7, 0, 2},
                  {"-1/-2/-3", true, -1, -2, -3},
                  {"0", false, 0, 0, 0},
                  {"abc", false, 0, 0, 0},
                  {"5/x/9", true, 5, 0, 9},
                  // Past the int range: a reference no list holds, never a
                  // malformed token nor a number wrapped around.
                  {"99999999999", true, INT_MIN, 0, 0},
                  {"-4294967295", true, INT_MIN, 0, 0},
                  {"7/4294967297/1", true, 7, INT_MIN, 1},
                  {"7//18446744073709551617", true, 7, 0, INT_MIN},
                  {"00000000000000000000001/2", true, 1, 2, 0}};
    for (auto& c : tokens)
    {
        KIndexGroup g;
        EXPECT_EQ(KQoxReaderObj::ParseVertexGroup(g, c.token), c.ok) << c.token;
        EXPECT_EQ(g, KIndexGroup(c.v, c.t, c.n)) << c.token;
    }
}

TEST(ObjReferences, SortedTableNumbersInOrderOfFirstAppearance)
{
    KIndexGroup* table = nullptr;
    int capacity = 0, count = 0;
    EXPECT_EQ(FindGroup(table, count, KIndexGroup(1, 0, 0)), nullptr);
    EXPECT_EQ(AddGroupToArray(table, capacity, count, KIndexGroup(1, 0, 0)), 0);
    EXPECT_EQ(AddGroupToArray(table, capacity, count, KIndexGroup(0, 0, 0)), 1);
    ASSERT_NE(FindGroup(table, count, KIndexGroup(1, 0, 0)), nullptr);
    EXPECT_EQ(FindGroup(table, count, KIndexGroup(1, 0, 0))->mNumber, 0);
    // Many references: every one keeps the number of its first appearance,
    // and the table stays sorted.
    std::mt19937 random(7);
    std::map<std::tuple<int, int, int>, int> expected;
    expected[{1, 0, 0}] = 0;
    expected[{0, 0, 0}] = 1;
    for (int i = 0; i < 100000; ++i)
    {
        KIndexGroup g(random() % 500, random() % 3 - 1, random() % 3 - 1);
        auto key = std::make_tuple(g.mVertex, g.mTextureVertex, g.mNormal);
        if (KIndexGroup* found = FindGroup(table, count, g))
            EXPECT_EQ(found->mNumber, expected.at(key));
        else
            expected[key] = AddGroupToArray(table, capacity, count, g);
    }
    EXPECT_EQ(count, static_cast<int>(expected.size()));
    for (int i = 1; i < count; ++i)
        ASSERT_LT(CompareKIndexGroup(&table[i - 1], &table[i]), 0);
    free(table);
}

TEST(ObjRead, EmptyFileGivesTheReferenceNodeOnly)
{
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("Empty Scene.obj"), "");
    ObjRead r(dir.File("Empty Scene.obj"), true);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.scene.GetRootNode()->GetChildCount(false), 1);
    EXPECT_STREQ(r.scene.GetRootNode()->GetChild(0)->GetNameWithoutNameSpacePrefix().ToChars(), "Empty Scene_root");
    EXPECT_EQ(r.scene.GetRootNode()->GetChild(0)->GetChildCount(false), 0);
}

TEST(ObjRead, GroupsNamesAndSmoothing)
{
    qoxtest::TempDir dir;
    auto r = ReadText(dir, "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n"
                           "f 1 2 3\n"          // group "default"
                           "g a b c\nf 1 2 3\n" // group "a_b c"
                           "g A B c\nf 2 4 3\n" // the same group, other case
                           "g\nf 2 4 3\n"       // back to "default"
                           "s 3\ns banana\ns off\nmg 1\no thing\nbogus 1\nbmat u 1\n");
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->message, "Object not supported : bogus\n");
    ASSERT_NE(r->Mesh("default"), nullptr);
    ASSERT_NE(r->Mesh("a_b c"), nullptr);
    EXPECT_EQ(r->Mesh("default")->GetPolygonCount(), 2);
    EXPECT_EQ(r->Mesh("a_b c")->GetPolygonCount(), 2);
    EXPECT_EQ(r->scene.GetRootNode()->GetChildCount(false), 2);
}

TEST(ObjRead, FaceRules)
{
    struct Case
    {
        const char* faces;
        int polygons;
        int firstSize;
    } cases[] = {
        {"f 1 2\n", 0, 0},      // two references
        {"f 1 2 3\n", 1, 3},    // three
        {"f 1\t2\t3\n", 1, 3},  // tabs part references as blanks do
        {"f -4 -3 -2\n", 1, 3}, // from the end
        {"f 1 2 99 3\n", 1, 3}, // out of range: left out
        {"f 1 2 99\n", 0, 0},   // then fewer than three: dropped
        {"f 1 0 3\n", 0, 0},    // zero fails the face
        {"f 1 2 x\n", 0, 0},    // not a number
        {"f 1 2 3 4 1/1/1 2//9\n", 1, 6},
        {"f 2147483648 1 2 3\n", 1, 3}, // past the int range: out of range, left out
    };
    for (const Case& c : cases)
    {
        qoxtest::TempDir dir;
        auto r = ReadText(dir, std::string("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n") + c.faces);
        ASSERT_TRUE(r->ok) << c.faces;
        KQoxMesh* mesh = r->Mesh("default");
        EXPECT_EQ(mesh ? mesh->GetPolygonCount() : 0, c.polygons) << c.faces;
        if (mesh && c.polygons)
        {
            EXPECT_EQ(mesh->GetPolygonSize(0), c.firstSize) << c.faces;
        }
    }
}

TEST(ObjRead, ReferencesMergeIntoControlPoints)
{
    const std::string positions = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 0 0\nv 2 1 0\n"
                                  "vn 0 0 1\nvn 0 1 0\n";
    struct Case
    {
        const char* faces;
        int points;
    } cases[] = {
        {"f 1//1 2//1 3//1 4//1\n", 4},
        {"f 1//1 2//1 3//1 4//1\nf 2//1 5//1 6//1 3//1\n", 6}, // shared edge, same normal
        {"f 1//1 2//1 3//1 4//1\nf 2//2 5//2 6//2 3//2\n", 8}, // other normal: split
        {"f 1 2 3 4\nf 2 5 6 3\n", 8},                         // flat: split per face
        {"s 1\nf 1 2 3 4\nf 2 5 6 3\n", 6},                    // smoothed: shared
        {"s 1\nf 1 2 3 4\ns 2\nf 2 5 6 3\n", 8},               // no smoothing across groups
    };
    for (const Case& c : cases)
    {
        qoxtest::TempDir dir;
        auto r = ReadText(dir, positions + c.faces);
        ASSERT_TRUE(r->ok);
        ASSERT_NE(r->Mesh("default"), nullptr);
        EXPECT_EQ(r->Mesh("default")->GetControlPointsCount(), c.points) << c.faces;
    }
}

TEST(ObjRead, FlatAndSmoothedNormals)
{
    // Two triangles folded along the edge 2-3 by 90 degrees.
    const std::string geometry = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\n";
    {
        qoxtest::TempDir dir;
        auto r = ReadText(dir, geometry + "f 1 2 3\nf 1 3 4\n");
        KQoxMesh* mesh = r->Mesh("default");
        ASSERT_NE(mesh, nullptr);
        ASSERT_EQ(mesh->GetControlPointsCount(), 6);
        const KQoxVector4* n = mesh->GetNormals();
        EXPECT_EQ(KQoxVector4(n[0]), KQoxVector4(0, 0, 1, 0));
        EXPECT_EQ(KQoxVector4(n[3]), KQoxVector4(1, 0, 0, 0));
    }
    {
        qoxtest::TempDir dir;
        auto r = ReadText(dir, geometry + "s 1\nf 1 2 3\nf 1 3 4\n");
        KQoxMesh* mesh = r->Mesh("default");
        ASSERT_NE(mesh, nullptr);
        ASSERT_EQ(mesh->GetControlPointsCount(), 4);
        const KQoxVector4* n = mesh->GetNormals();
        const double h = 1.0 / std::sqrt(2.0);
        EXPECT_EQ(KQoxVector4(n[0]), KQoxVector4(h, 0, h, 0)); // vertex 1 on both faces
        EXPECT_EQ(KQoxVector4(n[1]), KQoxVector4(0, 0, 1, 0)); // vertex 2 on the first only
    }
}

TEST(ObjRead, VertexStatements)
{
    struct Case
    {
        const char* text;
        bool ok;
    } cases[] = {{"v 1 2\n", false},
                 {"vn 1 2\n", false},
                 {"vt\n", false},
                 {"vp\n", false},
                 {"v 1 2 3\nv 1 2 3 0.5\nvt 0.5\nvp 0.25\nvn +1 -2 3e2\n", true}};
    for (const Case& c : cases)
    {
        qoxtest::TempDir dir;
        auto r = ReadText(dir, c.text);
        EXPECT_EQ(r->ok, c.ok) << c.text;
    }
    qoxtest::TempDir dir;
    auto r = ReadText(dir, cases[4].text);
    const auto& v = r->reader->GetVertices();
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0][3], 1.0);
    EXPECT_EQ(v[1][3], 0.5);
    EXPECT_EQ(r->reader->GetTextureVertices()[0][0], 0.5);
    EXPECT_EQ(r->reader->GetTextureVertices()[0][1], 0.0);
    EXPECT_EQ(r->reader->GetParameterVertices()[0][2], 1.0);
    EXPECT_EQ(r->reader->GetNormals()[0][2], 300.0);
}

TEST(ObjRead, ExtremeNumbersKeepTheirValues)
{
    qoxtest::TempDir dir;
    auto r = ReadText(dir, "v 1.7976931348623157e308 -1.7976931348623157e308 4.9406564584124654e-324\n"
                           "v 1e999 -1e999 1e-999\nv nan inf -inf\n");
    ASSERT_TRUE(r->ok);
    const auto& v = r->reader->GetVertices();
    EXPECT_EQ(v[0][0], DBL_MAX);
    EXPECT_EQ(v[0][1], -DBL_MAX);
    EXPECT_EQ(v[0][2], 4.9406564584124654e-324);
    EXPECT_EQ(v[1][0], HUGE_VAL);
    EXPECT_EQ(v[1][1], -HUGE_VAL);
    EXPECT_EQ(v[1][2], 0.0);
    EXPECT_TRUE(std::isnan(v[2][0]));
    EXPECT_EQ(v[2][2], -HUGE_VAL);
}

TEST(ObjRead, MaterialLibraries)
{
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("lib.mtl"), "newmtl Shiny\nKa 0.1 0.2 0.3\nKd 0.4 0.5 0.6\nKs 1 1\nNs 50\nTr 0.3\n"
                                            "newmtl shiny\nNs 250\nd 0.25\n"
                                            "newmtl Matte\nNs 80\nillum 1\n"
                                            "newmtl Textured\nmap_Kd   -s 1 1 1 brick.tif  \n");
    auto r = ReadText(dir, "mtllib none.mtl lib.mtl\n"
                           "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n"
                           "f 1 2 3\n" // before any usemtl
                           "usemtl Shiny\nf 1 2 3\n"
                           "usemtl Matte\nf 1 2 3\n"
                           "usemtl Ghost\nf 1 2 3\nusemtl GHOST\nf 1 2 3\n"
                           "usemtl Textured\nf 1/1 2/2 3/3\n");
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->message, "Unable to load material library\nUnable to read material \"Ghost\" in .mtl file\n");
    KQoxMesh* mesh = r->Mesh("default");
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetPolygonCount(), 6);
    const int shiny = mesh->GMI("Shiny", 0);
    ASSERT_GE(shiny, 0);
    KQoxMaterial* m = mesh->GM(shiny, 0);
    EXPECT_FLOAT_EQ(m->GetAmbient().mBlue, 0.3);
    EXPECT_FLOAT_EQ(m->GetDiffuse().mRed, 0.4);
    EXPECT_DOUBLE_EQ(m->GetShininess(), 0.5);
    EXPECT_FLOAT_EQ(m->GetOpacity(), 0.3);
    EXPECT_DOUBLE_EQ(mesh->GM(mesh->GMI("Matte", 0), 0)->GetShininess(), 0.0);
    EXPECT_EQ(mesh->GetMaterialIndices()[0], mesh->GMI("default", 0)); // the face before any usemtl
    EXPECT_EQ(mesh->GetMaterialIndices()[3], mesh->GetMaterialIndices()[4]);
    // The textured face: a texture, "_empty_" first for the others, its UVs.
    ASSERT_EQ(mesh->GTC(0), 2);
    EXPECT_STREQ(mesh->GT(0, 0)->GetNameWithoutNameSpacePrefix().ToChars(), "_empty_");
    EXPECT_STREQ(mesh->GT(1, 0)->GetFileName(), "brick.tif"); // the options read off, no such file: as written
    EXPECT_EQ(mesh->GetTextureIndices()[5], 1);
    EXPECT_EQ(mesh->GetTextureUVCount(), 3);
    EXPECT_EQ(r->Node("default")->GetShadingMode(), KQoxNode::eLIGHT_TEXTURE_SHADING);
}

TEST(ObjRead, MapNamesPartedWithBackslashesFindTheirFiles)
{
    // Libraries made on Windows part folders with backslashes. A name that
    // names no file as written is taken with '/' when that names one, from
    // the OBJ file's folder whatever the working folder. The file found is
    // named by its absolute path; the name as written is the relative name.
    qoxtest::TempDir dir;
    ASSERT_EQ(mkdir(dir.File("TX_Scene").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(dir.File("TX_Scene/Wood").c_str(), 0700), 0);
    for (const char* image : {"TX_Scene/Stone.jpg", "TX_Scene/Wood/Oak.jpg", "odd\\name.jpg"})
        ASSERT_TRUE(qoxtest::WriteFile(dir.File(image), "image"));
    const std::string absolute = dir.Path() + "\\TX_Scene\\Stone.jpg";
    struct Case
    {
        std::string mWritten;
        std::string mRead;
    };
    const std::vector<Case> cases = {
        {"TX_Scene\\Stone.jpg", dir.File("TX_Scene/Stone.jpg")},
        {"TX_Scene\\Wood\\Oak.jpg", dir.File("TX_Scene/Wood/Oak.jpg")},
        {"TX_Scene\\Wood/Oak.jpg", dir.File("TX_Scene/Wood/Oak.jpg")},
        {absolute, dir.File("TX_Scene/Stone.jpg")},
        {"TX_Scene/Stone.jpg", dir.File("TX_Scene/Stone.jpg")},
        {"odd\\name.jpg", dir.File("odd\\name.jpg")},       // a file of that very name
        {"TX_Scene\\Missing.jpg", "TX_Scene\\Missing.jpg"}, // no file either way: as written
    };
    std::string library, obj = "mtllib scene.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\n";
    for (size_t i = 0; i < cases.size(); ++i)
    {
        library += "newmtl m" + std::to_string(i) + "\nmap_Kd " + cases[i].mWritten + "\n";
        obj += "usemtl m" + std::to_string(i) + "\nf 1/1 2/1 3/1\n";
    }
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("scene.mtl"), library));
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("scene.obj"), obj));
    for (bool inFolder : {true, false})
    {
        SCOPED_TRACE(inFolder ? "read in the OBJ file's folder" : "read from elsewhere");
        ObjRead r = ReadFrom(inFolder ? dir.Path() : "/", dir.File("scene.obj"));
        ASSERT_TRUE(r.ok);
        KQoxMesh* mesh = r.Mesh("default");
        ASSERT_NE(mesh, nullptr);
        std::map<std::string, KQoxTexture*> textures; // by texture name
        for (int t = 0; t < mesh->GTC(0); ++t)
            textures[mesh->GT(t, 0)->GetNameWithoutNameSpacePrefix().ToChars()] = mesh->GT(t, 0);
        for (size_t i = 0; i < cases.size(); ++i)
        {
            KQoxTexture* texture = textures["m" + std::to_string(i)];
            ASSERT_NE(texture, nullptr) << cases[i].mWritten;
            EXPECT_EQ(std::string(texture->GetFileName()), cases[i].mRead) << cases[i].mWritten;
            EXPECT_EQ(std::string(texture->GetRelativeFileName()), cases[i].mWritten);
            if (i + 1 < cases.size())
            {
                EXPECT_TRUE(FileExist(texture->GetFileName())) << cases[i].mRead; // as an export looks for it
            }
        }
    }
}

namespace {

// A map statement's rest as exporters write it, the files beside the
// library, and what the texture read keeps: the name (as written, its
// relative name), the file found for it ("": none, the name as written),
// scale u and v, offset u and v, and the options the message names.
struct MapCase
{
    const char* mRest;
    std::vector<const char*> mFiles;
    const char* mRelative;
    const char* mFound;
    double mPlace[4];
    std::vector<const char*> mLeftOut;
    bool mPeerReadsIt = false; // tinyobjloader reads the name and numbers alike
};

const MapCase kMapCases[] = {
    {"-s 2 2 1 wood.ppm", {"wood.ppm"}, "wood.ppm", "wood.ppm", {2, 2, 0, 0}, {}, true},
    {"-o 0.5 0.25 wood.ppm", {"wood.ppm"}, "wood.ppm", "wood.ppm", {1, 1, 0.5, 0.25}, {}, false},
    {"-s 3 wood.ppm", {"wood.ppm"}, "wood.ppm", "wood.ppm", {3, 1, 0, 0}, {}, false},
    {"-bm 0.5 -s 1 2 3 -o 0.1 0.2 0.3 b m.png", {"b m.png"}, "b m.png", "b m.png", {1, 2, 0.1, 0.2}, {"-bm"}, true},
    {"-blendu on -blendv off -boost 2 -clamp on -imfchan l -mm 0 1 -t 0.1 0.1 0.1 -texres 512 -type sphere a.ppm",
     {"a.ppm"},
     "a.ppm",
     "a.ppm",
     {1, 1, 0, 0},
     {"-blendu", "-blendv", "-boost", "-clamp", "-imfchan", "-mm", "-t", "-texres", "-type"},
     true},
    {"-cc on -bm 0.25 -s 2 2 2 missing.ppm", {}, "missing.ppm", "", {2, 2, 0, 0}, {"-bm", "-cc"}, false},
    // The whole rest names a file: nothing read off it.
    {"-s 2 2 1 a b.ppm", {"-s 2 2 1 a b.ppm", "a b.ppm"}, "-s 2 2 1 a b.ppm", "-s 2 2 1 a b.ppm", {1, 1, 0, 0}, {}},
    // No option of the format, an option without its number, no name after
    // the options: the whole rest is the name.
    {"-x 1 wood.ppm", {"wood.ppm"}, "-x 1 wood.ppm", "", {1, 1, 0, 0}, {}, false},
    {"-bm wood.ppm", {"wood.ppm"}, "-bm wood.ppm", "", {1, 1, 0, 0}, {}, false},
    {"-s 2 2", {}, "-s 2 2", "", {1, 1, 0, 0}, {}, false},
    // The name after the options found as every map name is.
    {"-s 4 4 1 TX\\GL-14_CH.TGA", {"tx/gl-14_ch.tga"}, "TX\\GL-14_CH.TGA", "tx/gl-14_ch.tga", {4, 4, 0, 0}, {}},
    // A path of the author's machine, the image beside: its options read
    // off all the same (the base name of the whole rest is no name).
    {"-s 2 2 1 C:\\Users\\me\\wood.ppm", {"wood.ppm"}, "C:\\Users\\me\\wood.ppm", "wood.ppm", {2, 2, 0, 0}, {}, true},
    {"C:\\My Textures\\b m.png", {"b m.png"}, "C:\\My Textures\\b m.png", "b m.png", {1, 1, 0, 0}, {}, true},
};

// A library of one material per case ("m0", "m1", ...), and an OBJ file
// using those of cases [first, end).
void WriteMapCases(const qoxtest::TempDir& dir, size_t first, size_t end)
{
    std::string library, obj = "mtllib scene.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\n";
    for (size_t i = first; i < end; ++i)
    {
        library += "newmtl m" + std::to_string(i) + "\nKd 1 1 1\nmap_Kd " + kMapCases[i].mRest + "\n";
        obj += "usemtl m" + std::to_string(i) + "\nf 1/1 2/1 3/1\n";
        for (const char* file : kMapCases[i].mFiles)
        {
            const std::string path = dir.File(file);
            mkdir(path.substr(0, path.rfind('/')).c_str(), 0700); // its folder, when it has its own
            ASSERT_TRUE(qoxtest::WriteFile(path, file));
        }
    }
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("scene.mtl"), library));
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("scene.obj"), obj));
}

} // namespace

TEST(ObjRead, MapOptionsAreReadOffBeforeTheName)
{
    // Exporters write options before a map's image ("-s" for a scaled
    // texture, "-bm" for bump maps). Read from another working folder, the
    // texture names the image after them, keeps "-s" and "-o" as its scale
    // and translation, and the message names each other option; a rest that
    // names a file as a whole stays the name. tinyobjloader reads the name
    // and numbers so.
    for (size_t i = 0; i < std::size(kMapCases); ++i)
    {
        const MapCase& c = kMapCases[i];
        SCOPED_TRACE(c.mRest);
        qoxtest::TempDir dir;
        WriteMapCases(dir, i, i + 1);
        ObjRead r = ReadFrom("/", dir.File("scene.obj"));
        ASSERT_TRUE(r.ok);
        std::string message;
        for (const char* option : c.mLeftOut)
            message += std::string("Left out of the scene: 1 texture map option ") + option + "\n";
        EXPECT_EQ(r.message, message);
        KQoxMesh* mesh = r.Mesh("default");
        ASSERT_NE(mesh, nullptr);
        ASSERT_EQ(mesh->GTC(0), 1);
        KQoxTexture* texture = mesh->GT(0, 0);
        EXPECT_EQ(std::string(texture->GetFileName()), *c.mFound ? dir.File(c.mFound) : std::string(c.mRelative));
        EXPECT_EQ(std::string(texture->GetRelativeFileName()), c.mRelative);
        const double place[4] = {texture->GetScaleU(), texture->GetScaleV(), texture->GetTranslationU(),
                                 texture->GetTranslationV()};
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(place[k], c.mPlace[k], 1e-6) << k;
        // Written back, the map keeps its scale and offset and names its
        // image's copy.
        const std::string out = dir.File("out");
        ASSERT_EQ(mkdir(out.c_str(), 0700), 0);
        {
            KQoxRegisterGeometryFormats();
            KQoxExporter exporter(*r.manager);
            ASSERT_TRUE(exporter.Initialize((out + "/scene.obj").c_str()) && exporter.SetFileFormat(eEXPORT_OBJ));
            std::unique_ptr<KStreamOptions> options(exporter.GetExportOptions());
            ASSERT_TRUE(exporter.Export(r.scene, options.get())) << exporter.GetLastErrorString();
        }
        ObjRead back(out + "/scene.obj");
        ASSERT_TRUE(back.ok);
        KQoxMesh* written = back.Mesh("default");
        ASSERT_NE(written, nullptr);
        ASSERT_EQ(written->GTC(0), 1);
        KQoxTexture* copy = written->GT(0, 0);
        const double placed[4] = {copy->GetScaleU(), copy->GetScaleV(), copy->GetTranslationU(),
                                  copy->GetTranslationV()};
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(placed[k], place[k]) << k;
        if (*c.mFound)
        {
            EXPECT_EQ(qoxtest::ReadFile(copy->GetFileName()), c.mFound) << copy->GetFileName();
        }
#ifdef QOX_HAVE_TINYOBJ
        tinyobj::attrib_t attrib;
        std::vector<tinyobj::shape_t> shapes;
        std::vector<tinyobj::material_t> peer;
        std::string warn, err;
        ASSERT_TRUE(tinyobj::LoadObj(&attrib, &shapes, &peer, &warn, &err, dir.File("scene.obj").c_str(),
                                     (dir.Path() + "/").c_str(), false))
            << err;
        ASSERT_EQ(peer.size(), 1u);
        const tinyobj::texture_option_t& options = peer[0].diffuse_texopt;
        const float peerPlace[4] = {options.scale[0], options.scale[1], options.origin_offset[0],
                                    options.origin_offset[1]};
        for (int k = 0; c.mPeerReadsIt && k < 4; ++k)
            EXPECT_EQ(peerPlace[k], static_cast<float>(place[k])) << k;
        EXPECT_TRUE(!c.mPeerReadsIt || peer[0].diffuse_texname == c.mRelative) << peer[0].diffuse_texname;
#endif
    }
    // The whole library in one read: one line per option with its count.
    qoxtest::TempDir dir;
    WriteMapCases(dir, 0, std::size(kMapCases));
    ObjRead r(dir.File("scene.obj"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.message, "Left out of the scene: 1 texture map option -blendu\n"
                         "Left out of the scene: 1 texture map option -blendv\n"
                         "Left out of the scene: 2 texture map options -bm\n"
                         "Left out of the scene: 1 texture map option -boost\n"
                         "Left out of the scene: 1 texture map option -cc\n"
                         "Left out of the scene: 1 texture map option -clamp\n"
                         "Left out of the scene: 1 texture map option -imfchan\n"
                         "Left out of the scene: 1 texture map option -mm\n"
                         "Left out of the scene: 1 texture map option -t\n"
                         "Left out of the scene: 1 texture map option -texres\n"
                         "Left out of the scene: 1 texture map option -type\n");
#ifndef QOX_HAVE_TINYOBJ
    GTEST_SKIP() << "tinyobjloader is not installed: the map options are not compared with its reading";
#endif
}

namespace {

// What a material holds: the values the reader's material gives back, to
// be compared with those of a material given the statements by hand.
struct MaterialValues
{
    double ambient[3], diffuse[3], specular[3];
    double shininess, opacity;
    std::string texture; // empty: none
};

MaterialValues ValuesOf(KQoxMaterial* m)
{
    MaterialValues v;
    const KQoxColor colors[3] = {m->GetAmbient(), m->GetDiffuse(), m->GetSpecular()};
    double* into[3] = {v.ambient, v.diffuse, v.specular};
    for (int c = 0; c < 3; ++c)
    {
        into[c][0] = colors[c].mRed;
        into[c][1] = colors[c].mGreen;
        into[c][2] = colors[c].mBlue;
    }
    v.shininess = m->GetShininess();
    v.opacity = m->GetOpacity();
    return v;
}

void ExpectMaterial(KQoxMaterial* m, KQoxTexture* texture, const MaterialValues& v, const std::string& name)
{
    ASSERT_NE(m, nullptr) << name;
    EXPECT_STREQ(m->GetNameWithoutNameSpacePrefix().ToChars(), name.c_str());
    const KQoxColor colors[3] = {m->GetAmbient(), m->GetDiffuse(), m->GetSpecular()};
    const double* expected[3] = {v.ambient, v.diffuse, v.specular};
    for (int c = 0; c < 3; ++c)
    {
        EXPECT_EQ(colors[c].mRed, expected[c][0]) << name << " color " << c;
        EXPECT_EQ(colors[c].mGreen, expected[c][1]) << name << " color " << c;
        EXPECT_EQ(colors[c].mBlue, expected[c][2]) << name << " color " << c;
    }
    EXPECT_EQ(m->GetShininess(), v.shininess) << name;
    EXPECT_EQ(m->GetOpacity(), v.opacity) << name;
    ASSERT_NE(texture, nullptr) << name;
    if (v.texture.empty())
        EXPECT_STREQ(texture->GetNameWithoutNameSpacePrefix().ToChars(), "_empty_") << name;
    else
        EXPECT_EQ(std::string(texture->GetFileName()), v.texture) << name;
}

} // namespace

TEST(ObjRead, ManyMaterialsTakeTheirFirstDefinition)
{
    // Two libraries of thousands of definitions, some names defined again
    // further on in the same library (ignored) and some in both (the first
    // library wins); the second with CR LF line ends and no final break.
    // Every name used in scrambled order, some twice, with names found in
    // neither: each face has the values its material's first definition
    // gives, the names not found the defaults and one message each.
    std::mt19937 random(2024);
    qoxtest::TempDir dir;
    std::unique_ptr<KQoxSdkManager> probes(KQoxSdkManager::CreateKQoxSdkManager());
    const MaterialValues defaults = ValuesOf(probes->CreateKQoxMaterial("none"));
    std::map<std::string, MaterialValues> expected;
    auto number = [&](int most) {
        return std::to_string(random() % (most + 1)) + "." + std::to_string(random() % 1000);
    };
    auto fraction = [&] { return "0." + std::to_string(random() % 10000); };
    // A definition of name with random statements, each also given by hand
    // to a material of its own; its values noted when it is the name's
    // first.
    auto define = [&](const std::string& name, const char* lineEnd) {
        std::string text = "newmtl " + name + (random() % 4 ? "" : " \t ") + lineEnd; // blanks after: no part
        KQoxMaterial* m = probes->CreateKQoxMaterial(name.c_str());
        std::string texture;
        int illumination = 2;
        bool dissolve = false; // once "d" gave the opacity, "Tr" gives none
        const int statements = static_cast<int>(random() % 9);
        for (int s = 0; s < statements; ++s)
        {
            const int kind = static_cast<int>(random() % 9);
            if (kind < 3)
            {
                static const char* const keys[3] = {"Ka", "Kd", "Ks"};
                const std::string rgb[3] = {fraction(), fraction(), fraction()};
                text += std::string(keys[kind]) + " " + rgb[0] + " " + rgb[1] + " " + rgb[2];
                const KQoxColor color(std::strtod(rgb[0].c_str(), nullptr), std::strtod(rgb[1].c_str(), nullptr),
                                      std::strtod(rgb[2].c_str(), nullptr));
                kind == 0 ? m->SetAmbient(color) : kind == 1 ? m->SetDiffuse(color) : m->SetSpecular(color);
            }
            else if (kind == 3)
            {
                const std::string ns = number(150);
                text += "Ns " + ns;
                m->SetShininess(std::strtod(ns.c_str(), nullptr) / 100.0);
            }
            else if (kind == 4 || kind == 5)
            {
                const std::string d = fraction();
                text += (kind == 4 ? "d " : "Tr ") + d;
                if (kind == 4 || !dissolve)
                    m->SetOpacity(std::strtod(d.c_str(), nullptr));
                dissolve = dissolve || kind == 4;
            }
            else if (kind == 6)
            {
                illumination = static_cast<int>(random() % 4);
                text += "illum " + std::to_string(illumination);
            }
            else if (kind == 7)
            {
                texture = "tex " + std::to_string(random() % 100000) + ".png";
                text += "map_Kd " + texture;
            }
            else
                text += "Ks 1 1"; // too few numbers: nothing
            text += lineEnd;
        }
        if (illumination == 0 || illumination == 1)
            m->SetShininess(0.0);
        MaterialValues v = ValuesOf(m);
        v.texture = texture;
        expected.emplace(name, v); // a later definition changes nothing
        return text;
    };
    std::vector<std::string> names;
    std::string first;
    for (int i = 0; i < 3000; ++i)
    {
        names.push_back("m" + std::to_string(i));
        first += define(names.back(), "\n");
        if (i > 0 && random() % 5 == 0)
            first += define(names[random() % names.size()], "\n");
    }
    std::string second;
    for (int i = 0; i < 400; ++i)
    {
        const bool shared = i % 2 == 0;
        const std::string name = shared ? names[random() % 3000] : "n" + std::to_string(i);
        second += define(name, "\r\n");
        if (!shared)
            names.push_back(name);
    }
    second += define("n-last", "\r\n");
    names.push_back("n-last");
    second.resize(second.size() - 2); // no final line break
    qoxtest::WriteFile(dir.File("first.mtl"), first);
    qoxtest::WriteFile(dir.File("second.mtl"), second);

    // A name differing in case only (found only when used before the
    // name as defined), and names defined nowhere.
    std::vector<std::string> used = names;
    for (int i = 0; i < 300; ++i)
        used.push_back(names[random() % names.size()]);
    for (const char* ghost : {"M7", "trailing", "ghost", "m3000"})
        used.push_back(ghost);
    std::shuffle(used.begin(), used.end(), random);
    std::string obj = "mtllib first.mtl second.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n";
    // Names used are told apart regardless of case: the spelling used
    // first is looked up, and names spelt otherwise after take its
    // material.
    std::string message;
    std::map<std::string, std::string> firstSpelling;
    std::vector<std::string> faceMaterials;
    for (const std::string& name : used)
    {
        obj += "usemtl " + name + "\nf 1/1 2/2 3/3\n";
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        const auto spelt = firstSpelling.emplace(lower, name);
        if (spelt.second && !expected.count(name))
            message += "Unable to read material \"" + name + "\" in .mtl file\n";
        faceMaterials.push_back(spelt.first->second);
    }
    auto r = ReadText(dir, obj);
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->message, message);
    KQoxMesh* mesh = r->Mesh("default");
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetPolygonCount(), static_cast<int>(used.size()));
    for (size_t f = 0; f < used.size(); ++f)
    {
        const auto found = expected.find(faceMaterials[f]);
        ExpectMaterial(mesh->GM(mesh->GetMaterialIndices()[f], 0), mesh->GT(mesh->GetTextureIndices()[f], 0),
                       found == expected.end() ? defaults : found->second, faceMaterials[f]);
        if (HasFailure())
            break;
    }
}

TEST(ObjRead, MaterialLibraryEnds)
{
    // An empty library; a definition that is its library's last, without
    // a final line break, and one with no statement at all; CR LF and CR
    // line ends kept out of the values.
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("empty.mtl"), "");
    qoxtest::WriteFile(dir.File("crlf.mtl"), "newmtl Brick\r\nKd 0.5 0.25 0.125\r\nmap_Kd  wall brick.png \r\n"
                                             "\r\nnewmtl Glass\rd 0.75\rTr 0.5\rNs 300\r"
                                             "newmtl Last\r\nKa 0.125 0.5 1\r\nNs 42.5");
    qoxtest::WriteFile(dir.File("bare.mtl"), "newmtl Brick\nKd 1 1 1\nnewmtl Bare");
    auto r = ReadText(dir, "mtllib empty.mtl crlf.mtl bare.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
                           "usemtl Last\nf 1 2 3\nusemtl Bare\nf 1 2 3\nusemtl Glass\nf 1 2 3\n"
                           "usemtl Brick\nf 1 2 3\nusemtl Nowhere\nf 1 2 3\n");
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->message, "Unable to read material \"Nowhere\" in .mtl file\n");
    KQoxMesh* mesh = r->Mesh("default");
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetPolygonCount(), 5);
    std::unique_ptr<KQoxSdkManager> probes(KQoxSdkManager::CreateKQoxSdkManager());
    const MaterialValues defaults = ValuesOf(probes->CreateKQoxMaterial("none"));
    KQoxMaterial* m = probes->CreateKQoxMaterial("Last");
    m->SetAmbient(KQoxColor(0.125, 0.5, 1));
    m->SetShininess(0.425);
    const MaterialValues last = ValuesOf(m);
    m = probes->CreateKQoxMaterial("Glass");
    m->SetOpacity(0.75); // "d" before "Tr"
    m->SetShininess(1.0); // "Ns 300"
    const MaterialValues glass = ValuesOf(m);
    m = probes->CreateKQoxMaterial("Brick");
    m->SetDiffuse(KQoxColor(0.5, 0.25, 0.125));
    MaterialValues brick = ValuesOf(m);
    brick.texture = "wall brick.png";
    const MaterialValues* values[5] = {&last, &defaults, &glass, &brick, &defaults};
    const char* names[5] = {"Last", "Bare", "Glass", "Brick", "Nowhere"};
    for (int f = 0; f < 5; ++f)
        ExpectMaterial(mesh->GM(mesh->GetMaterialIndices()[f], 0), mesh->GT(mesh->GetTextureIndices()[f], 0),
                       *values[f], names[f]);

    // Only the empty library: every name missing.
    auto none = ReadText(dir, "mtllib empty.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl Brick\nf 1 2 3\n", "none.obj");
    ASSERT_TRUE(none->ok);
    EXPECT_EQ(none->message, "Unable to read material \"Brick\" in .mtl file\n");
}

TEST(ObjRead, TextureVerticesKeptWithoutATexturedMaterial)
{
    // UVs referenced before any material, under a material without a map,
    // and with a relative number: all are kept, each corner its own.
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("plain.mtl"), "newmtl Plain\nKd 1 0 0\n");
    auto r = ReadText(dir, "mtllib plain.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0.25 0.5\nvt 1 0\nvt 0 0.75\n"
                           "f 1/1 2/2 3/3\nusemtl Plain\nf 1/-1 2/-2 3/-3\nf 1 2 3\n");
    ASSERT_TRUE(r->ok) << r->message;
    KQoxMesh* mesh = r->Mesh("default");
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetPolygonCount(), 3);
    ASSERT_EQ(mesh->GetTextureUVCount(), 6);
    const double expected[2][3][2] = {{{0.25, 0.5}, {1, 0}, {0, 0.75}}, {{0, 0.75}, {1, 0}, {0.25, 0.5}}};
    for (int p = 0; p < 2; ++p)
        for (int c = 0; c < 3; ++c)
        {
            const int index = mesh->GetTextureUVIndex(p, c);
            ASSERT_GE(index, 0);
            EXPECT_EQ(mesh->GetTextureUV()[index][0], expected[p][c][0]) << p << c;
            EXPECT_EQ(mesh->GetTextureUV()[index][1], expected[p][c][1]) << p << c;
        }
    EXPECT_EQ(mesh->GetTextureUVIndex(2, 0), -1); // a corner without "vt" has none
    EXPECT_NE(r->Node("default")->GetShadingMode(), KQoxNode::eLIGHT_TEXTURE_SHADING);
}

TEST(ObjRead, LibraryBesideTheFileComesBeforeTheWorkingDirectory)
{
    // The same library name in the working directory and beside the file:
    // the one beside the file is read. A name found only relative to the
    // working directory is still read.
    qoxtest::TempDir work, models;
    qoxtest::WriteFile(work.File("lib.mtl"), "newmtl Paint\nKd 0.9 0.9 0.9\n");
    qoxtest::WriteFile(work.File("only.mtl"), "newmtl Other\nKd 0 0 1\n");
    qoxtest::WriteFile(models.File("lib.mtl"), "newmtl Paint\nKd 0.1 0.2 0.3\n");
    qoxtest::WriteFile(models.File("m.obj"),
                       "mtllib lib.mtl only.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl Paint\nf 1 2 3\n"
                       "usemtl Other\nf 3 2 1\n");
    ObjRead r = ReadFrom(work.Path(), models.File("m.obj"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.message, "");
    KQoxMesh* mesh = r.Mesh("default");
    ASSERT_NE(mesh, nullptr);
    KQoxMaterial* paint = mesh->GM(mesh->GMI("Paint", 0), 0);
    ASSERT_NE(paint, nullptr);
    EXPECT_FLOAT_EQ(paint->GetDiffuse().mRed, 0.1);
    EXPECT_FLOAT_EQ(paint->GetDiffuse().mBlue, 0.3);
    KQoxMaterial* other = mesh->GM(mesh->GMI("Other", 0), 0);
    ASSERT_NE(other, nullptr);
    EXPECT_DOUBLE_EQ(other->GetDiffuse().mBlue, 1.0);
}

TEST(ObjRead, RationalBSplineSurfaceSwapsDirections)
{
    // 4 x 3 control points: degree 1 in u with 5 parameters (nU 4... ) and
    // degree 1 in v with 4 parameters (nV 3... wait: 6 u, 5 v parameters).
    std::string text;
    for (int i = 0; i < 12; ++i)
        text += "v " + std::to_string(i) + " 0 0\n";
    text += "cstype rat bspline\ndeg 1 1\n"
            "surf 0 1 0 1 1 2 3 4 5 6 7 8 9 10 11 12\n"
            "parm u 0 0 1 2 3 3\nparm v 0 0 1 2 2\nparm w 5\nend\n";
    // Fields parted by blanks or by tabs alike.
    for (const char blank : {' ', '\t'})
    {
        SCOPED_TRACE(blank == ' ' ? "blanks" : "tabs");
        std::string written = text;
        std::replace(written.begin(), written.end(), ' ', blank);
        qoxtest::TempDir dir;
        auto r = ReadText(dir, written);
        ASSERT_TRUE(r->ok);
        KQoxNode* node = r->Node("default");
        ASSERT_NE(node, nullptr);
        KQoxNurb* nurb = static_cast<KQoxNurb*>(node->GetNurb());
        ASSERT_NE(nurb, nullptr);
        EXPECT_EQ(nurb->GetUCount(), 3); // the OBJ v direction
        EXPECT_EQ(nurb->GetVCount(), 4);
        // OBJ point 5 (row 1, column 1) lands at 1 + 1 * 3 = 4.
        EXPECT_EQ(nurb->GetControlPoints()[4][0], 5.0);
        EXPECT_EQ(KQoxReaderObj::SwapArrayIndex(5, 3, 4), 4);
        EXPECT_EQ(nurb->GetUKnotVector()[4], 2.0);
    }
}

TEST(ObjRead, SurfacesThatMakeNoNode)
{
    const std::string points = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n";
    struct Case
    {
        std::string block;
        bool ok;
    } cases[] = {
        {"surf 0 1 0 1 1 2 3 4\nend\n", false}, // before any cstype
        {"cstype bspline\ndeg 1 1\nsurf 0 1 0 1 1 2 3 4\nparm u 0 0 1 1\nparm v 0 0 1 1\nend\n", true},
        {"cstype rat bspline\ndeg 5 1\nsurf 0 1 0 1 1 2 3 4\nparm u 0 1\nparm v 0 0 1 1\nend\n", true},
        {"cstype rat bspline\ndeg -3 -3\nsurf 0 1 0 1 1 2 3 4\nparm u 0 1\nparm v 0 1\nend\n", true},
        {"cstype rat bspline\ndeg 0 0\nsurf 0 1 0 1 1 2\nparm u 0 1 2 3\nparm v 0 1 2 3\nend\n", true},
        {"cstype rat bspline\ndeg 1 1\nsurf 0 1 0 1 1 2 3 4\nparm u 0 0 1 1\n", true}, // no end
        {"curv 0 1 1 2\nsurf\nend\nf 1 2 3\n", true},
    };
    for (const Case& c : cases)
    {
        qoxtest::TempDir dir;
        auto r = ReadText(dir, points + c.block);
        EXPECT_EQ(r->ok, c.ok) << c.block;
        if (r->ok)
        {
            EXPECT_EQ(r->Node("default") ? r->Node("default")->GetNurb() : nullptr, nullptr) << c.block;
        }
    }
}

TEST(ObjRead, ReferenceNodeAndRenaming)
{
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("m.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\ng x\nf 1 2 3\n");
    ObjRead r(dir.File("m.obj"), true);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.scene.GetRootNode()->GetChildCount(false), 1);
    KQoxNode* reference = r.scene.GetRootNode()->GetChild(0);
    EXPECT_STREQ(reference->GetNameWithoutNameSpacePrefix().ToChars(), "m_root");
    ASSERT_EQ(reference->GetChildCount(false), 2);
    EXPECT_STREQ(reference->GetChild(0)->GetNameWithoutNameSpacePrefix().ToChars(), "default");
    EXPECT_STREQ(reference->GetChild(1)->GetNameWithoutNameSpacePrefix().ToChars(), "x");
}

TEST(ObjRead, OptionsAndFilesRefused)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxReaderObj reader(*manager);
    EXPECT_FALSE(reader.FileOpen("/no/such/file.obj"));
    EXPECT_STREQ(reader.GetLastErrorString(), "File not opened: no such file");
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("a.obj"), "v 1 2 3\n");
    ASSERT_TRUE(reader.FileOpen(dir.File("a.obj").c_str()));
    KQoxScene& scene = *manager->CreateKQoxScene();
    KStreamOptions3ds other;
    EXPECT_FALSE(reader.Read(scene, &other));
    EXPECT_STREQ(reader.GetLastErrorString(), "Stream options not set");
    EXPECT_FALSE(reader.Read(scene, nullptr));
}

TEST(ObjRead, ManyGroupsAndFaces)
{
    // 100,000 triangles in 1,000 groups over shared vertices.
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += "v " + std::to_string(i) + " 0 0\nv 0 " + std::to_string(i) + " 0\n";
    for (int g = 0; g < 1000; ++g)
    {
        text += "g part" + std::to_string(g) + "\ns 1\n";
        for (int f = 0; f < 100; ++f)
            text += "f " + std::to_string(f + 1) + " " + std::to_string(f + 2) + " " + std::to_string(f + 3) + "\n";
    }
    qoxtest::TempDir dir;
    auto r = ReadText(dir, text);
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->scene.GetRootNode()->GetChildCount(false), 1000);
    EXPECT_EQ(r->Mesh("part999")->GetPolygonCount(), 100);
    EXPECT_EQ(r->Mesh("part999")->GetControlPointsCount(), 102);
}

TEST(ObjNumbers, ScannedAsStrtodReadsThem)
{
    std::mt19937_64 random(11);
    std::vector<std::string> texts = {"0",
                                      "-0",
                                      "1.",
                                      ".5",
                                      "+2.25",
                                      "123456789012345",
                                      "1234567890123456",
                                      "0.000000000000001",
                                      "9007199254740993",
                                      "1.5e3",
                                      "2E-2",
                                      "1e",
                                      "0.1",
                                      "3.14159265358979323846",
                                      "-1.797693134862315e308",
                                      "4.9e-324"};
    for (int i = 0; i < 100000; ++i)
    {
        char text[64];
        snprintf(text, sizeof text, "%.*f", static_cast<int>(random() % 12),
                 static_cast<double>(static_cast<long long>(random() % 2000000000000LL) - 1000000000000LL) /
                     std::pow(10.0, static_cast<double>(random() % 10)));
        texts.push_back(text);
    }
    for (const std::string& text : texts)
    {
        const char* p = text.c_str();
        double value = 0;
        ASSERT_TRUE(ObjScanDouble(p, text.c_str() + text.size(), value)) << text;
        char* stop = nullptr;
        const double expected = std::strtod(text.c_str(), &stop);
        ASSERT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << text;
        ASSERT_EQ(p, stop) << text;
    }
}

TEST(ObjRead, MaterialsAndTexturesNamedAlikeShareAMeshIndex)
{
    // Faces before any "usemtl" take a material named "default", as a
    // library's material may be named too: one mesh index for both names
    // alike. The same for textures, where faces without one share a blank
    // texture named "_empty_" with a library texture of that name.
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("lib.mtl"), "newmtl default\nKd 1 0 0\nnewmtl tex\nmap_Kd a.png\n"
                                            "newmtl _empty_\nmap_Kd b.png\nnewmtl plain\nKd 0 1 0\n");
    auto r = ReadText(dir, "mtllib lib.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nusemtl default\nf 1 2 3\n"
                           "usemtl tex\nf 1 2 3\nusemtl _empty_\nf 1 2 3\nusemtl plain\nf 1 2 3\n"
                           "usemtl tex\nf 1 2 3\nusemtl default\nf 1 2 3\n");
    ASSERT_TRUE(r->ok);
    KQoxMesh* mesh = r->Mesh("default");
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetPolygonCount(), 7);
    std::string materials, textures;
    for (int p = 0; p < 7; ++p)
    {
        materials += std::to_string(mesh->GetMaterialIndices()[p]);
        textures += std::to_string(mesh->GetTextureIndices()[p]);
    }
    // default, default, tex, _empty_, plain, tex, default.
    EXPECT_EQ(materials, "0012310");
    // Blank, blank, a.png, b.png (named as the blank one), blank, a.png, blank.
    EXPECT_EQ(textures, "0010010");
    EXPECT_EQ(mesh->GMC(0), 4);
    EXPECT_EQ(mesh->GTC(0), 2);
}

TEST(ObjRead, OneReaderReadsEachFileAsANewReaderWould)
{
    // A read that fails after some vertices, then reads of other files by
    // the same reader: nothing of a read before shows in the next, not its
    // vertices, nor its materials (the manager may have destroyed them).
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("bad.obj"), "v 9 9 9\nv 8 8 8\nv 7\n");
    qoxtest::WriteFile(dir.File("plain.obj"), "v 5 5 5\nv 6 5 5\nv 5 6 5\nf 1 2 3\n");
    qoxtest::WriteFile(dir.File("lib.mtl"), "newmtl red\nKd 1 0 0\n");
    qoxtest::WriteFile(dir.File("red.obj"), "mtllib lib.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl red\nf 1 2 3\n");
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxReaderObj reader(*manager);
    auto read = [&](const char* name, bool expected) -> KQoxMesh* {
        KQoxScene& scene = *manager->CreateKQoxScene();
        EXPECT_TRUE(reader.FileOpen(dir.File(name).c_str())) << name;
        std::unique_ptr<KStreamOptions> options(reader.GetReadOptions(false));
        static_cast<KStreamOptionsObj*>(options.get())->SetOption(1, 0);
        EXPECT_EQ(reader.Read(scene, options.get()), expected) << name;
        reader.FileClose();
        KQoxNode* root = scene.GetRootNode();
        return root->GetChildCount(false) == 1 ? static_cast<KQoxMesh*>(root->GetChild(0)->GetMesh()) : nullptr;
    };
    EXPECT_EQ(read("bad.obj", false), nullptr);
    for (int round = 0; round < 2; ++round)
    {
        SCOPED_TRACE(round);
        KQoxMesh* plain = read("plain.obj", true);
        ASSERT_NE(plain, nullptr);
        ASSERT_EQ(plain->GetControlPointsCount(), 3);
        EXPECT_EQ(KQoxVector4(plain->GetControlPoints()[0]), KQoxVector4(5, 5, 5, 1));
        EXPECT_EQ(plain->GMC(0), 0);
        KQoxMesh* red = read("red.obj", true);
        ASSERT_NE(red, nullptr);
        ASSERT_EQ(red->GMC(0), 1);
        ASSERT_NE(red->GM(0, 0), nullptr);
        EXPECT_STREQ(red->GM(0, 0)->GetNameWithoutNameSpacePrefix().ToChars(), "red");
        // Scenes, materials and all go; the reader stays.
        manager->Clear();
    }
}
