// The ways of reading plain vertex lines (byte by byte, from byte class
// masks, many lines at once) against the byte way: the same lines taken,
// the same kinds and counts, the same bits of every number and the same
// places to go on from, for random lines of every sort, at every alignment
// and right at the end of their memory.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/obj/kqoxobjscan.h"

using namespace qoxsdk_600;

namespace {

struct Ways
{
    EObjLineScan mWay;
    ObjPlainLineScanner mLine;
    ObjPlainLinesScanner mLines;
};

// Every way this processor runs.
std::vector<Ways> AllWays()
{
    std::vector<Ways> ways;
    for (int way = 0; way < eOBJ_LINE_SCAN_COUNT; ++way)
    {
        Ways w{static_cast<EObjLineScan>(way), nullptr, nullptr};
        if (ObjPlainLineScannersOf(w.mWay, w.mLine, w.mLines))
            ways.push_back(w);
    }
    return ways;
}

// Text copied to memory of exactly its size (at an offset within a larger
// block so that every alignment comes up), so that a read past its end is
// caught by the address sanitizer.
struct ExactText
{
    explicit ExactText(const std::string& text, size_t shift = 0)
        : mBlock(new char[text.size() + shift])
        , mSize(text.size())
    {
        // The block ends with the text: nothing readable after it.
        mBegin = mBlock.get() + shift;
        if (!text.empty())
            std::memcpy(mBegin, text.data(), text.size());
    }
    const char* Begin() const { return mBegin; }
    const char* End() const { return mBegin + mSize; }
    std::unique_ptr<char[]> mBlock;
    char* mBegin = nullptr;
    size_t mSize;
};

// A tiny random generator with a fixed start.
struct Random
{
    uint64_t mState;
    explicit Random(uint64_t seed)
        : mState(seed)
    {}
    unsigned Next(unsigned n)
    {
        mState = mState * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>((mState >> 33) % n);
    }
};

// A number of some random form: mostly what files write, now and then
// something the plain ways leave alone.
std::string RandomNumber(Random& random)
{
    std::string text;
    const unsigned form = random.Next(20);
    if (form == 0)
    {
        const char* odd[] = {"1e5",
                             "-2.5E-3",
                             "inf",
                             "nan",
                             "-inf",
                             "+1",
                             "1.2.3",
                             "--1",
                             "-",
                             ".",
                             "-.",
                             "1-",
                             "0x10",
                             "1,5",
                             "4.9e-324",
                             "1e-310",
                             "12abc",
                             "9007199254740993",
                             "9007199254740992",
                             "4503599627370496",
                             "4503599627370495",
                             "-9007199254740991.0",
                             "0.00000000000000000001",
                             "123456789012345678901234"};
        return odd[random.Next(sizeof odd / sizeof odd[0])];
    }
    if (random.Next(3) == 0)
        text += '-';
    // Digits of every count from 1 to 24 on either side, now and then
    // none on one side.
    const unsigned total = form < 4 ? 1 + random.Next(24) : 1 + random.Next(12);
    const unsigned point = random.Next(total + 2); // past total: no point
    for (unsigned d = 0; d <= total; ++d)
    {
        if (d == point)
            text += '.';
        if (d < total)
            text += static_cast<char>('0' + random.Next(10));
    }
    return text;
}

// A line of some random form: plain "v", "vt" and "vn" lines with two to
// five numbers and one or more blanks, now and then tabs, comments, other
// keywords, blanks after the numbers or before the keyword.
std::string RandomLine(Random& random)
{
    const char* keywords[] = {"v", "v", "v", "vt", "vn", "vp", "f", "v\t", "vt\t", ""};
    const unsigned k = random.Next(10);
    std::string line = keywords[k < 5 ? k : random.Next(10)];
    if (random.Next(30) == 0)
        line = " " + line;
    const unsigned count = 1 + random.Next(5);
    for (unsigned i = 0; i < count; ++i)
    {
        line += random.Next(8) == 0 ? "  " : " ";
        line += RandomNumber(random);
    }
    const unsigned tail = random.Next(20);
    if (tail == 0)
        line += " ";
    else if (tail == 1)
        line += " # note";
    else if (tail == 2)
        line += "\t";
    else if (tail == 3)
        line += " \\";
    return line;
}

const char* RandomBreak(Random& random)
{
    const char* breaks[] = {"\n", "\n", "\n", "\r\n", "\r", "\n\n", "\r\n\r\n"};
    return breaks[random.Next(7)];
}

// One line read by the byte way and by another: the same count, kind,
// bits and place to go on from.
void ExpectLineAlike(ObjPlainLineScanner scanner, const char* at, const char* end)
{
    const char* p = at;
    const char* q = at;
    int kindP = -1, kindQ = -1;
    double valuesP[4] = {0, 0, 0, 0}, valuesQ[4] = {0, 0, 0, 0};
    const int n = ObjScanPlainVertexLineByBytes(p, end, kindP, valuesP);
    ASSERT_EQ(scanner(q, end, kindQ, valuesQ), n) << std::string(at, end);
    ASSERT_EQ(p, q) << std::string(at, end);
    if (n == 0)
        return;
    ASSERT_EQ(kindP, kindQ) << std::string(at, end);
    ASSERT_EQ(std::memcmp(valuesP, valuesQ, sizeof(double) * static_cast<size_t>(n)), 0) << std::string(at, end);
}

// What a text of lines gives, read as the reader reads it: many lines at
// once, then one alone, else on to the next line break; each line as its
// kind, count and numbers' bits, or as -1 when not plain.
std::vector<uint64_t> ReadAll(const Ways& ways, const char* begin, const char* end, const char* limit)
{
    std::vector<uint64_t> out;
    KObjPlainLines lines;
    const char* p = begin;
    for (;;)
    {
        while (p < end && (*p == '\n' || *p == '\r'))
            ++p;
        if (p >= limit)
            break;
        if (*p == 'v')
        {
            const char* const before = p;
            const int count = ways.mLines(p, end, limit, lines);
            EXPECT_EQ(count, lines.mCount);
            EXPECT_LE(count, int(KObjPlainLines::eMOST));
            EXPECT_EQ(p == before, count == 0);
            for (int i = 0; i < count; ++i)
            {
                out.push_back(static_cast<uint64_t>(lines.mKinds[i] * 8 + lines.mNumbers[i]));
                for (int k = 0; k < lines.mNumbers[i]; ++k)
                {
                    uint64_t bits;
                    std::memcpy(&bits, &lines.mValues[i][k], sizeof bits);
                    out.push_back(bits);
                }
            }
            if (count > 0)
            {
                // The lines read end before a line that would start at the
                // limit or after.
                EXPECT_TRUE(p == end || p >= limit || *p != '\n') << count;
                continue;
            }
            int kind;
            double values[4];
            if (const int n = ways.mLine(p, end, kind, values))
            {
                out.push_back(static_cast<uint64_t>(kind * 8 + n));
                for (int k = 0; k < n; ++k)
                {
                    uint64_t bits;
                    std::memcpy(&bits, &values[k], sizeof bits);
                    out.push_back(bits);
                }
                continue;
            }
        }
        out.push_back(~uint64_t(0));
        while (p < end && *p != '\n' && *p != '\r')
            ++p;
    }
    out.push_back(static_cast<uint64_t>(p - begin));
    return out;
}

} // namespace

TEST(ObjScanLine, EveryWayReadsRandomLinesAsTheByteWay)
{
    // Each line alone at the end of its memory (where the mask way hands
    // over to the byte way) and with more lines after it, at every
    // alignment.
    const std::vector<Ways> ways = AllWays();
    ASSERT_GE(ways.size(), 1u);
    Random random(20261208);
    for (int i = 0; i < 40000; ++i)
    {
        const std::string line = RandomLine(random);
        const std::string padded = line + RandomBreak(random) + std::string(100, 'v');
        for (const Ways& w : ways)
        {
            const ExactText alone(line, static_cast<size_t>(i % 64));
            ExpectLineAlike(w.mLine, alone.Begin(), alone.End());
            const ExactText followed(padded, static_cast<size_t>(i % 61));
            ExpectLineAlike(w.mLine, followed.Begin(), followed.End());
        }
    }
}

TEST(ObjScanLine, NumbersAtTheEdgesReadAsTheByteWay)
{
    // Whole numbers around 2^52 and 2^53 (the many-lines way refuses from
    // 2^52 on, the line way from 2^53 on, the byte way past 2^53), 16 and 17
    // bytes, 8 and 9 digits on either side, every count of digits after the
    // point, signs and zeros.
    const char* numbers[] = {"4503599627370495",
                             "4503599627370496",
                             "4503599627370497",
                             "9007199254740991",
                             "9007199254740992",
                             "9007199254740993",
                             "-4503599627370496",
                             "-9007199254740992",
                             "450359962737049.6",
                             "900719925474099.2",
                             "0.9007199254740992",
                             "0.4503599627370496",
                             "1234567812345678",
                             "12345678123456789",
                             "-123456781234567.8",
                             "12345678.12345678",
                             "123456789.1234567",
                             "1.",
                             ".5",
                             "-.5",
                             "-0",
                             "0",
                             "-0.0",
                             "00000000000000001",
                             "0000000000000000",
                             "0.000000000000001",
                             "1.000000000000000",
                             "99999999.99999999",
                             "3.14159265358979",
                             "2.718281828459045",
                             "-1.7976931348623157",
                             "0.1",
                             "0.2",
                             "0.3"};
    const std::vector<Ways> ways = AllWays();
    for (const char* a : numbers)
        for (const char* b : {"0", "-1.5", "12.340000"})
        {
            for (const std::string& line :
                 {std::string("v ") + a + " " + b + " " + b, std::string("vt ") + b + " " + a,
                  std::string("vn ") + a + " " + a + " " + a, std::string("v ") + b + " " + b + " " + b + " " + a})
            {
                const std::string text = line + "\n" + std::string(90, ' ');
                for (const Ways& w : ways)
                {
                    ExpectLineAlike(w.mLine, text.data(), text.data() + text.size());
                    // The same line many times over: read at once, line by
                    // line, all alike.
                    std::string many;
                    for (int i = 0; i < 70; ++i)
                        many += line + (i % 3 == 0 ? "\r\n" : "\n");
                    many += std::string(90, '\n');
                    const ExactText exact(many);
                    const Ways bytes = AllWays()[0];
                    EXPECT_EQ(ReadAll(w, exact.Begin(), exact.End(), exact.End()),
                              ReadAll(bytes, exact.Begin(), exact.End(), exact.End()))
                        << line;
                }
            }
        }
}

TEST(ObjScanLine, ManyLinesAtOnceReadAsLineByLine)
{
    // Runs of lines of one shape (as files write them) and of changing
    // shapes, with odd lines among them, CR LF, CR and blank lines; read
    // from every alignment, up to the end of the memory and up to limits
    // within it.
    const std::vector<Ways> ways = AllWays();
    Random random(77);
    for (int round = 0; round < 60; ++round)
    {
        std::string text;
        const unsigned lines = 50 + random.Next(400);
        for (unsigned i = 0; i < lines; ++i)
        {
            const unsigned form = random.Next(10);
            if (form < 6)
            {
                // Lines of one shape: fixed digits, random values.
                const unsigned kind = random.Next(3);
                text += kind == 0 ? "v" : kind == 1 ? "vt" : "vn";
                for (unsigned k = 0; k < (kind == 1 ? 2u : 3u); ++k)
                {
                    text += ' ';
                    if (round % 2 && k == 1)
                        text += '-';
                    text += std::to_string(random.Next(10)) + "." + std::to_string(100000 + random.Next(900000));
                }
            }
            else
                text += RandomLine(random);
            text += RandomBreak(random);
        }
        for (size_t shift : {size_t(0), size_t(1), size_t(7), size_t(31), size_t(63)})
        {
            const ExactText exact(text, shift + static_cast<size_t>(round));
            const std::vector<uint64_t> expected = ReadAll(ways[0], exact.Begin(), exact.End(), exact.End());
            for (const Ways& w : ways)
            {
                EXPECT_EQ(ReadAll(w, exact.Begin(), exact.End(), exact.End()), expected) << round << " " << shift;
                const char* limit = exact.Begin() + random.Next(static_cast<unsigned>(text.size()));
                EXPECT_EQ(ReadAll(w, exact.Begin(), exact.End(), limit),
                          ReadAll(ways[0], exact.Begin(), exact.End(), limit))
                    << round << " " << shift;
            }
        }
    }
}

TEST(ObjScanLine, ManyLinesStopAtTheLimitAndTheFirstLineNotPlain)
{
    for (const Ways& w : AllWays())
    {
        std::string text;
        for (int i = 0; i < 200; ++i)
            text += "v 1.500000 -2.250000 3.000000\n";
        const size_t lineSize = 30;
        text += "v 1e5 2 3\nv 1 2 3\n" + std::string(100, '\n');
        const ExactText exact(text);
        KObjPlainLines lines;
        // At most eMOST at a time.
        const char* p = exact.Begin();
        const int first = w.mLines(p, exact.End(), exact.End(), lines);
        EXPECT_GE(first, 1);
        EXPECT_LE(first, int(KObjPlainLines::eMOST));
        EXPECT_EQ(p, exact.Begin() + lineSize * static_cast<size_t>(first));
        EXPECT_EQ(lines.mKinds[0], 0);
        EXPECT_EQ(lines.mNumbers[0], 3);
        EXPECT_EQ(lines.mValues[first - 1][1], -2.25);
        // No line starting at the limit or after.
        p = exact.Begin();
        EXPECT_EQ(w.mLines(p, exact.End(), exact.Begin() + 3 * lineSize, lines), 3);
        EXPECT_EQ(p, exact.Begin() + 3 * lineSize);
        p = exact.Begin();
        EXPECT_EQ(w.mLines(p, exact.End(), exact.Begin() + 3 * lineSize + 1, lines), 4);
        p = exact.Begin();
        EXPECT_EQ(w.mLines(p, exact.End(), exact.Begin(), lines), 0);
        EXPECT_EQ(p, exact.Begin());
        // Up to the line with an exponent, which is left to the general
        // reading.
        p = exact.Begin() + 190 * lineSize;
        EXPECT_EQ(w.mLines(p, exact.End(), exact.End(), lines), 10);
        EXPECT_EQ(std::string(p, 9), "v 1e5 2 3");
        EXPECT_EQ(w.mLines(p, exact.End(), exact.End(), lines), 0);
        int kind;
        double values[4];
        EXPECT_EQ(w.mLine(p, exact.End(), kind, values), 0);
    }
}

TEST(ObjScanLine, LinesOfManyShapesInTurnReadAsTheByteWay)
{
    // Several hundred shapes of line (signs, digits before and after the
    // point of each number), taken in turn so that shapes kept are met
    // again, replaced and found stale; now and then a sign or a digit
    // changed into a byte that makes the line not plain, in a line of a
    // shape met before.
    Random random(4242);
    std::vector<std::string> shapes;
    for (int i = 0; i < 400; ++i)
    {
        std::string line = i % 3 == 0 ? "v" : i % 3 == 1 ? "vt" : "vn";
        for (int k = 0; k < (i % 3 == 1 ? 2 : 3); ++k)
        {
            line += ' ';
            if (random.Next(2))
                line += '-';
            line += std::string(1 + random.Next(4), '#') + "." + std::string(random.Next(9), '#');
        }
        shapes.push_back(line);
    }
    std::string text;
    for (int i = 0; i < 20000; ++i)
    {
        std::string line = shapes[random.Next(static_cast<unsigned>(i < 10000 ? 40 : shapes.size()))];
        for (char& c : line)
            if (c == '#')
                c = static_cast<char>('0' + random.Next(10));
        if (random.Next(30) == 0)
        {
            const char odd[] = {'+', 'e', 'x', '\t', ',', '.', '-', '\0'};
            line[3 + random.Next(static_cast<unsigned>(line.size() - 3))] = odd[random.Next(8)];
        }
        text += line + "\n";
    }
    const ExactText exact(text);
    const std::vector<Ways> ways = AllWays();
    const std::vector<uint64_t> expected = ReadAll(ways[0], exact.Begin(), exact.End(), exact.End());
    for (const Ways& w : ways)
        EXPECT_EQ(ReadAll(w, exact.Begin(), exact.End(), exact.End()), expected);
}
