// ASCII files with a closing brace too many or too few, and array items
// that are no numbers: every such file is refused as damaged, and a refused
// read leaves the manager as it found it. Comments inside arrays are no
// damage.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::JoinLines;
using qoxtest::ReadFile;
using qoxtest::SplitLines;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

// The scene of every kind (skins, clusters, character poses holding scenes
// of their own) written in format.
std::string EveryKindFile(const std::string& name, int format)
{
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    fileiotest::BuildScene(manager, scene, "");
    fileiotest::AddEveryKind(manager, scene, format == eEXPORT_QOX_ASCII);
    EXPECT_TRUE(fileiotest::Export(manager, scene, name, format));
    return ReadFile(name);
}

bool IsCloseLine(const std::string& line)
{
    const size_t brace = line.find_first_not_of(' ');
    return brace != std::string::npos && line.compare(brace, std::string::npos, "}\n") == 0;
}

// The section a line lies in (its "[Name]" line above it at the top level).
std::string SectionOf(const std::vector<std::string>& lines, size_t index)
{
    for (size_t i = index + 1; i-- > 0;)
        if (lines[i].compare(0, 1, "[") == 0)
            return lines[i].substr(0, lines[i].find(']') + 1);
    return "(header)";
}

struct Outcome
{
    bool mRead = false;
    std::string mError;
    std::string mListing;
    std::string mCounts; // the manager's objects once the scene is gone
};

Outcome ImportInto(const std::string& name)
{
    Outcome out;
    KQoxSdkManager manager;
    {
        KQoxScene scene(manager);
        const std::string before = fileiotest::ManagerCounts(manager);
        KQoxImporter importer(manager);
        out.mRead = importer.Initialize(name.c_str()) && importer.Import(scene);
        out.mError = importer.GetLastErrorString();
        if (out.mRead)
            out.mListing = fileiotest::ListScene(manager, scene, 15);
        else
        {
            EXPECT_EQ(scene.GetRootNode()->GetChildCount(), 0);
            EXPECT_EQ(scene.GetTakeInfoCount(), 0);
            EXPECT_EQ(fileiotest::ManagerCounts(manager), before) << name;
        }
    }
    return out;
}

} // namespace

// Each closing brace line removed, and a closing brace line put after many
// lines of every section, in version 6 and version 5: the read fails with
// "File is corrupted" and makes nothing.
TEST(NativeAsciiBraces, EveryUnpairedBraceIsDamage)
{
    TempDir dir;
    for (int format : {eEXPORT_QOX_ASCII, eEXPORT_QOX5_ASCII})
    {
        SCOPED_TRACE(format);
        const std::string whole = EveryKindFile(dir.File("whole.qox"), format);
        const Outcome original = ImportInto(dir.File("whole.qox"));
        ASSERT_TRUE(original.mRead) << original.mError;
        const std::vector<std::string> lines = SplitLines(whole);
        ASSERT_GT(lines.size(), 300u);
        const std::string name = dir.File("damaged.qox");
        int tried = 0;
        // The line index, and whether the brace line is removed there
        // (else one is put after it).
        std::vector<std::pair<size_t, bool>> edits;
        // Every closing brace line removed in version 6, every third in
        // version 5; a brace put after every section's head, and after lines
        // of each kind in turn (array items and raw bytes, where no record
        // starts, more thinly).
        const bool six = format == eEXPORT_QOX_ASCII;
        for (size_t i = 0; i + 1 < lines.size(); ++i)
        {
            const bool close = IsCloseLine(lines[i]);
            if (close && (six || i % 3 == 0))
                edits.push_back({i, true});
            const bool record = lines[i + 1].find_first_of(":}") != std::string::npos;
            const size_t step = close ? 3 : record ? 9 : 60;
            if (i % step == (six ? 0u : 1u) || lines[i].compare(0, 1, "[") == 0)
                edits.push_back({i, false});
        }
        for (const auto& edit : edits)
        {
            std::vector<std::string> changed = lines;
            if (edit.second)
                changed.erase(changed.begin() + static_cast<std::ptrdiff_t>(edit.first));
            else
                changed.insert(changed.begin() + static_cast<std::ptrdiff_t>(edit.first) + 1,
                               lines[edit.first + 1].substr(0, lines[edit.first + 1].find_first_not_of(' ')) + "}\n");
            ASSERT_TRUE(WriteFile(name, JoinLines(changed)));
            const Outcome got = ImportInto(name);
            ++tried;
            EXPECT_FALSE(got.mRead) << (edit.second ? "removed " : "put after ") << "line " << edit.first + 1 << " in "
                                    << SectionOf(lines, edit.first) << ": " << lines[edit.first];
            if (!got.mRead)
            {
                EXPECT_EQ(got.mError, "File is corrupted") << edit.first + 1;
            }
        }
        EXPECT_GT(tried, 300);
    }
}

namespace {

// A line that continues a value written on lines of its own (array items,
// raw bytes): no record starts or ends on it.
bool IsValueLine(const std::string& line)
{
    return line.find_first_not_of(" \r\n") != std::string::npos && line.find_first_of(":{}\"[];") == std::string::npos;
}

// A line ending with the head of such a value ("*d20:", "*300:").
bool EndsWithValueHead(const std::string& line)
{
    return line.size() >= 3 && line.compare(line.size() - 2, 2, ":\n") == 0 && line.find('*') != std::string::npos;
}

std::string IndentOf(const std::string& line)
{
    return line.substr(0, line.find_first_not_of(' '));
}

} // namespace

// Comments inside the values written on lines of their own, in version 6
// and version 5: after the head, on lines of their own between the lines of
// items, after every line of items and so after the last item, read as the
// file without them. A line of items turned into a comment leaves its
// array short: each such file fails with "File is corrupted" and makes
// nothing.
TEST(NativeAsciiBraces, CommentsInsideArraysReadAsWithout)
{
    TempDir dir;
    for (int format : {eEXPORT_QOX_ASCII, eEXPORT_QOX5_ASCII})
    {
        SCOPED_TRACE(format);
        const std::vector<std::string> lines = SplitLines(EveryKindFile(dir.File("whole.qox"), format));
        const Outcome original = ImportInto(dir.File("whole.qox"));
        ASSERT_TRUE(original.mRead) << original.mError;
        std::vector<std::string> commented;
        std::vector<size_t> firstLines; // the first line of items of each value
        for (size_t i = 0; i < lines.size(); ++i)
        {
            std::string line = lines[i];
            const bool value = IsValueLine(line);
            if (value && i > 0 && EndsWithValueHead(lines[i - 1]))
                firstLines.push_back(i);
            if (EndsWithValueHead(line))
                line.insert(line.size() - 1, " ; items follow { \" *");
            else if (value)
                line.insert(line.size() - 1, i % 2 ? " ; 1 2 }" : ";3");
            commented.push_back(line);
            if (value && i + 1 < lines.size() && IsValueLine(lines[i + 1]))
                commented.push_back(IndentOf(line) + "; more items { follow\n");
        }
        ASSERT_GE(firstLines.size(), format == eEXPORT_QOX_ASCII ? 8u : 6u);
        const std::string name = dir.File("commented.qox");
        ASSERT_TRUE(WriteFile(name, JoinLines(commented)));
        const Outcome read = ImportInto(name);
        ASSERT_TRUE(read.mRead) << read.mError;
        EXPECT_EQ(read.mListing, original.mListing);
        for (size_t first : firstLines)
        {
            std::vector<std::string> changed = lines;
            changed[first] = IndentOf(changed[first]) + "; " + changed[first].substr(IndentOf(changed[first]).size());
            ASSERT_TRUE(WriteFile(name, JoinLines(changed)));
            const Outcome got = ImportInto(name);
            EXPECT_FALSE(got.mRead) << "line " << first + 1 << ": " << lines[first - 1];
            if (!got.mRead)
            {
                EXPECT_EQ(got.mError, "File is corrupted") << first + 1;
            }
        }
    }
}
