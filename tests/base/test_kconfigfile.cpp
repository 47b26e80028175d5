#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "base/kconfigfile.h"
#include "base/klib.h"
#include "base/kpath.h"
#include "common/qox_test_files.h"
#include "test_util.h"

using qoxtest::Exists;
using qoxtest::ReadFile;
using qoxtest::WriteFile;

namespace {

// A temporary directory that is the configuration directory for one test.
struct ConfigDir : qoxtest::TempDir
{
    ConfigDir() { KLib_SetConfigDirectory(Path().c_str()); }
    ~ConfigDir() { KLib_SetConfigDirectory(""); }
};

} // namespace

TEST(KConfigFileTest, SetCreatesAMissingFile)
{
    ConfigDir dir;
    KConfigFile config("settings.ini", false);
    EXPECT_TRUE(config.Set("Display", "Decimal", "3", nullptr));
    EXPECT_EQ(ReadFile(dir.File("settings.ini")), "[Display]\nDecimal = 3\n\n");
    EXPECT_FALSE(Exists(dir.File("backupfile.ini")));
    EXPECT_STREQ(config.Get("display", "DECIMAL", nullptr), "3");
    // "@" names are per machine; a directory may be given instead.
    KConfigFile machine("@Application.txt", false);
    EXPECT_TRUE(machine.Set("NumericField", "Decimal", "5", nullptr));
    char host[256];
    KLib_GetComputerName(host, sizeof(host));
    EXPECT_EQ(ReadFile(dir.File(std::string(host) + ".Application.txt")), "[NumericField]\nDecimal = 5\n\n");
    qoxtest::TempDir other;
    KConfigFile elsewhere("plain.ini", other.Path().c_str());
    EXPECT_TRUE(elsewhere.Set("A", "B", "C", nullptr));
    EXPECT_EQ(ReadFile(other.File("plain.ini")), "[A]\nB = C\n\n");
}

TEST(KConfigFileTest, SetRewritesInPlace)
{
    ConfigDir dir;
    const std::string path = dir.File("settings.ini");
    ASSERT_TRUE(WriteFile(path, "[First]\nAlpha = 1 ; first value\n\nBeta = 2\n\n\n[Second]\nAlpha = 9\n"));
    KConfigFile config("settings.ini", false);
    EXPECT_TRUE(config.Set("first", "alpha", "10", "changed"));
    EXPECT_EQ(ReadFile(path), "[First]\nalpha = 10 ; changed\nBeta = 2\n\n[Second]\nAlpha = 9\n");
    // A new key ends its section; a new section ends the file.
    EXPECT_TRUE(config.Set("First", "Gamma", "3", nullptr));
    EXPECT_TRUE(config.Set("Third", "Delta", "4", nullptr));
    EXPECT_EQ(ReadFile(path), "[First]\nalpha = 10 ; changed\nBeta = 2\nGamma = 3\n\n"
                              "[Second]\nAlpha = 9\n\n[Third]\nDelta = 4\n");
    EXPECT_STREQ(config.Get("Second", "Alpha", nullptr), "9");
    EXPECT_STREQ(config.Get("First", "alpha", nullptr), "10");
    // GetOrSet leaves existing entries alone, byte for byte.
    const std::string before = ReadFile(path);
    EXPECT_TRUE(config.GetOrSet("Second", "ALPHA", "new", nullptr));
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_TRUE(config.GetOrSet("Second", "Other", "new", nullptr));
    EXPECT_EQ(ReadFile(path), "[First]\nalpha = 10 ; changed\nBeta = 2\nGamma = 3\n\n"
                              "[Second]\nAlpha = 9\nOther = new\n\n[Third]\nDelta = 4\n");
}

TEST(KConfigFileTest, NamesMatchExactlyWithoutRegardToCase)
{
    ConfigDir dir;
    const std::string path = dir.File("app.ini");
    ASSERT_TRUE(WriteFile(path, "[NumericField]\nDecimal = 4\nPrecision=7   \n"));
    KConfigFile config("app.ini", false);
    EXPECT_STREQ(config.Get("NUMERICFIELD", "decimal", nullptr), "4");
    EXPECT_STREQ(config.Get("NumericField", "Precision", nullptr), "7");
    // A prefix of a section or key name is another name.
    EXPECT_EQ(config.Get("Numeric", "Decimal", nullptr), nullptr);
    EXPECT_STREQ(config.Get("Numeric", "Decimal", "dflt"), "dflt");
    EXPECT_EQ(config.Get("NumericField", "Dec", nullptr), nullptr);
    EXPECT_EQ(config.Get("NumericField", "DecimalPlaces", nullptr), nullptr);
    // "Key=value" without blanks is the same key for Set as for Get.
    EXPECT_TRUE(config.Set("NumericField", "precision", "8", nullptr));
    EXPECT_EQ(ReadFile(path), "[NumericField]\nDecimal = 4\nprecision = 8\n");
    // Set with a prefix of the section name makes a new section.
    EXPECT_TRUE(config.Set("Numeric", "Decimal", "1", nullptr));
    EXPECT_EQ(ReadFile(path), "[NumericField]\nDecimal = 4\nprecision = 8\n\n[Numeric]\nDecimal = 1\n");
    EXPECT_STREQ(config.Get("NumericField", "Decimal", nullptr), "4");
}

TEST(KConfigFileTest, CommentsBlanksAndLongValues)
{
    ConfigDir dir;
    ASSERT_TRUE(WriteFile(dir.File("c.ini"),
                          "; header comment\n[S] ; section comment\n  Key  =  =  some value  ; note\n; Key = 5\n"));
    KConfigFile config("c.ini", false);
    EXPECT_STREQ(config.Get("S", "Key", nullptr), "some value");
    EXPECT_EQ(KConfigFile("absent.ini", false).Get("S", "Key", nullptr), nullptr);

    const std::string path = dir.File("l.ini"), longValue(6000, 'v');
    ASSERT_TRUE(WriteFile(path, "[S]\nLong = " + longValue + "\nShort = 1\n"));
    KConfigFile big("l.ini", false);
    const char* value = big.Get("S", "Long", nullptr);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(strlen(value), 4095u); // the value buffer's size, no more
    EXPECT_TRUE(big.Set("S", "Short", "2", nullptr));
    EXPECT_EQ(ReadFile(path), "[S]\nLong = " + longValue + "\nShort = 2\n");
    EXPECT_TRUE(big.ClearFile());
    EXPECT_EQ(ReadFile(path), "");
}

// A write that cannot be made (the disk full) leaves the file as it was and
// no temporary beside it, whether it is a change made on the file or the
// in-memory copy written once; the copy is written once it can be.
TEST(KConfigFileTest, FailedWritesLeaveTheFileUnchanged)
{
    for (bool inMemory : {false, true})
    {
        ConfigDir dir;
        const std::string path = dir.File("f.ini"), text = "[S]\nKey = 1\nOther = long enough a value\n";
        ASSERT_TRUE(WriteFile(path, text));
        KConfigFile config("f.ini", inMemory);
        bool set = false, written = false;
        {
            qoxtest::FileSizeLimit full(8);
            ASSERT_TRUE(full.Active());
            set = config.Set("S", "Key", "2", nullptr);
            written = config.Write();
        }
        EXPECT_EQ(set, inMemory);      // the copy takes the change
        EXPECT_EQ(written, !inMemory); // without a copy there is nothing to write
        EXPECT_EQ(ReadFile(path), text);
        EXPECT_EQ(qoxtest::ListDirectory(dir.Path()), std::vector<std::string>{"f.ini"});
        EXPECT_TRUE(config.Write());
        EXPECT_EQ(ReadFile(path), inMemory ? "[S]\nKey = 2\nOther = long enough a value\n" : text);
    }
}

// What another user can have written is read neither from the file nor into
// the in-memory copy, and it is never replaced: a change fails and leaves it
// as it is (a link as a link, its target unchanged). A file of the user's
// own that only the user's private group may write is the user's alone.
TEST(KConfigFileTest, OnlySettingsNoOtherUserCanHaveWrittenAreRead)
{
    const uid_t self = geteuid(), nobody = 65534;
    const gid_t nogroup = 65534;
    const int kLink = -1;
    const struct
    {
        int mMode;    // of the settings file, or kLink
        bool mOthers; // another user's
        int mGroup;   // its group when not the user's primary one (-1)
        bool mRead;
    } rows[] = {{0644, false, -1, true},      {0666, false, -1, false}, {0622, false, -1, false},
                {0644, true, -1, false},      {kLink, false, -1, false},
                // Root's group is root's alone; another group is shared.
                {0664, false, -1, true},      {0620, false, int(nogroup), false}};
    for (const auto& row : rows)
    {
        SCOPED_TRACE(std::to_string(row.mMode) + (row.mOthers ? " another user's" : "") + " group " +
                     std::to_string(row.mGroup));
        if ((row.mOthers || row.mGroup >= 0 || (row.mMode > 0 && (row.mMode & 022) == 020)) && self != 0)
            continue; // giving a file away takes root, and whose group is private the user database tells
        ConfigDir dir;
        const std::string path = dir.File("s.ini"), target = dir.File("t.ini"), text = "[S]\nKey = old\nMore = 1\n";
        ASSERT_TRUE(WriteFile(target, text) && symlink(target.c_str(), dir.File("s.ini.tmp").c_str()) == 0);
        auto place = [&] {
            unlink(path.c_str());
            return row.mMode == kLink ? symlink(target.c_str(), path.c_str()) == 0
                                      : WriteFile(path, text) && chmod(path.c_str(), row.mMode) == 0 &&
                                            chown(path.c_str(), row.mOthers ? nobody : self, row.mGroup) == 0;
        };
        for (bool inMemory : {false, true})
        {
            ASSERT_TRUE(place());
            KConfigFile file("s.ini", inMemory);
            const char* value = file.Get("S", "Key", nullptr);
            EXPECT_EQ(value ? value : "(none)", std::string(row.mRead ? "old" : "(none)"));
            EXPECT_EQ(file.Set("S", "Key", "new", nullptr), row.mRead || inMemory);
            EXPECT_EQ(file.Write(), row.mRead || !inMemory);
            EXPECT_EQ(ReadFile(path), row.mRead ? "[S]\nKey = new\nMore = 1\n" : text);
            EXPECT_EQ(file.ClearFile(), row.mRead || inMemory);
            EXPECT_EQ(ReadFile(path), row.mRead && !inMemory ? "" : row.mRead ? "[S]\nKey = new\nMore = 1\n" : text);
        }
        ASSERT_TRUE(place());
        EXPECT_EQ(KConfigFile("s.ini", false).Set("S", "Key", "new", nullptr), row.mRead);
        struct stat info;
        ASSERT_EQ(lstat(path.c_str(), &info), 0);
        if (row.mRead)
            EXPECT_TRUE(S_ISREG(info.st_mode) && (info.st_mode & 07777) == mode_t(row.mMode) && info.st_uid == self);
        else if (row.mMode == kLink)
            EXPECT_TRUE(S_ISLNK(info.st_mode));
        else
            EXPECT_TRUE((info.st_mode & 07777) == mode_t(row.mMode) && info.st_uid == (row.mOthers ? nobody : self));
        EXPECT_EQ(ReadFile(path), row.mRead ? "[S]\nKey = new\nMore = 1\n" : text);
        EXPECT_EQ(ReadFile(target), text);
        EXPECT_EQ(qoxtest::ListDirectory(dir.Path()), (std::vector<std::string>{"s.ini", "s.ini.tmp", "t.ini"}));
    }
    // A FIFO is neither read nor waited on (its writer is let go at the end),
    // nor replaced.
    ConfigDir dir;
    qoxtest::FifoFeeder feeder(dir.File("s.ini"), "[S]\nKey = old\n");
    EXPECT_EQ(KConfigFile("s.ini", false).Get("S", "Key", nullptr), nullptr);
    EXPECT_FALSE(KConfigFile("s.ini", false).Set("S", "Key", "new", nullptr));
    struct stat info;
    EXPECT_TRUE(lstat(dir.File("s.ini").c_str(), &info) == 0 && S_ISFIFO(info.st_mode));
}

// An in-memory copy of a file that was not read is never written over what
// stands at the name, even once that could be read: the copy holds nothing
// of it.
TEST(KConfigFileTest, ACopyOfAFileNotReadIsNotWrittenOnceItCouldBe)
{
    ConfigDir dir;
    const std::string path = dir.File("s.ini"), text = "[S]\nKey = old\n[Other]\nKept = 1\n";
    ASSERT_TRUE(WriteFile(path, text) && chmod(path.c_str(), 0666) == 0);
    {
        KConfigFile file("s.ini", true);
        EXPECT_EQ(file.WhyNotRead(), path + " can be written by other users");
        ASSERT_EQ(chmod(path.c_str(), 0600), 0);
        EXPECT_TRUE(file.Set("S", "Key", "new", nullptr));
        EXPECT_FALSE(file.Write());
    }
    EXPECT_EQ(ReadFile(path), text);
    EXPECT_EQ(qoxtest::ListDirectory(dir.Path()), std::vector<std::string>{"s.ini"});
    // A copy made once it is read writes it.
    {
        KConfigFile file("s.ini", true);
        EXPECT_TRUE(file.Set("S", "Key", "new", nullptr));
    }
    EXPECT_EQ(ReadFile(path), "[Other]\nKept = 1\n\n[S]\nKey = new\n");
}

// Root's settings are read by other users in a folder only root may write.
TEST(KConfigFileTest, AnAdministratorsSettingsAreReadInAFolderOnlyRootWrites)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "root's files read by another user: the test runs as root";
    qoxtest::TempDir dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    const struct
    {
        mode_t mFolderMode;
        uid_t mFolderOwner;
        const char* mExpected;
    } rows[] = {{0755, 0, "admin"}, {01777, 0, "(none)"}, {0775, 0, "(none)"}, {0755, 65534, "(none)"}};
    for (const auto& row : rows)
    {
        const std::string folder = dir.File(std::to_string(row.mFolderMode) + "_" + std::to_string(row.mFolderOwner));
        ASSERT_TRUE(mkdir(folder.c_str(), 0700) == 0 && WriteFile(folder + "/s.ini", "[S]\nKey = admin\n"));
        ASSERT_EQ(chmod(folder.c_str(), row.mFolderMode) | chown(folder.c_str(), row.mFolderOwner, 0), 0);
        EXPECT_EQ(qoxtest::UnprivilegedChildText([&] {
                      KConfigFile file("s.ini", folder.c_str());
                      const char* value = file.Get("S", "Key", nullptr);
                      return std::string(value ? value : "(none)");
                  }),
                  row.mExpected)
            << folder;
    }
}

// A file of the user's own whose group the user is not in (root gave it):
// the saved file cannot keep that group, and its group gets none of the old
// group's rights rather than pass them to the user's own group.
TEST(KConfigFileTest, AGroupThatCannotBeKeptGetsNoRights)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "a file in a group its owner is not in is made by root: the test runs as root";
    qoxtest::TempDir dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    const std::string folder = dir.File("settings");
    ASSERT_TRUE(mkdir(folder.c_str(), 0700) == 0 && WriteFile(folder + "/s.ini", "[S]\nKey = old\n"));
    ASSERT_EQ(chmod((folder + "/s.ini").c_str(), 0644), 0);
    ASSERT_EQ(chown(folder.c_str(), 65534, 65534) | chown((folder + "/s.ini").c_str(), 65534, 12345), 0);
    EXPECT_EQ(qoxtest::UnprivilegedChildText([&] {
                  bool set = false;
                  {
                      KConfigFile file("s.ini", folder.c_str());
                      set = file.Set("S", "Key", "new", nullptr);
                  }
                  struct stat status;
                  if (stat((folder + "/s.ini").c_str(), &status) != 0)
                      return std::string("(no file)");
                  char text[64];
                  std::snprintf(text, sizeof text, "%d %o %u", set ? 1 : 0, unsigned(status.st_mode & 07777),
                                unsigned(status.st_gid));
                  return std::string(text);
              }),
              "1 604 65534");
    EXPECT_EQ(ReadFile(folder + "/s.ini"), "[S]\nKey = new\n");
}

TEST(KConfigFileTest, InMemoryCopyIsWrittenOnceSorted)
{
    ConfigDir dir;
    const std::string path = dir.File("m.ini"), original = "[Zeta]\nb = 2 ; comment\na = 1\n\n[alpha]\nk = v\n";
    ASSERT_TRUE(WriteFile(path, original));
    {
        KConfigFile config("m.ini", true);
        EXPECT_STREQ(config.Get("ZETA", "A", nullptr), "1");
        EXPECT_TRUE(config.Set("Zeta", "c", "3", "dropped"));
        EXPECT_TRUE(config.Set("Beta", "x", "y", nullptr));
        EXPECT_TRUE(config.Set("zeta", "B", "22", nullptr));
        EXPECT_EQ(ReadFile(path), original); // nothing reaches the file before destruction
    }
    EXPECT_EQ(ReadFile(path), "[alpha]\nk = v\n\n[Beta]\nx = y\n\n[Zeta]\na = 1\nb = 22\nc = 3\n");
    EXPECT_FALSE(Exists(dir.File("backupfile.ini")));
    // An unchanged copy is not written: ClearFile empties the copy only.
    {
        KConfigFile config("m.ini", true);
        EXPECT_TRUE(config.ClearFile());
        EXPECT_EQ(config.Get("Beta", "x", nullptr), nullptr);
    }
    EXPECT_EQ(ReadFile(path), "[alpha]\nk = v\n\n[Beta]\nx = y\n\n[Zeta]\na = 1\nb = 22\nc = 3\n");
}

TEST(KRegistryTest, TypedReadsAndWrites)
{
    ConfigDir dir;
    KRegistry& registry = KRegistry::Instance();
    EXPECT_FALSE(registry.WriteInt(nullptr, "Count", 1)); // not connected
    EXPECT_EQ(registry.ReadInt(nullptr, "Count", 9), 9);
    ASSERT_TRUE(WriteFile(dir.File("user.ini"), "[Params]\nBad = abc\n"));
    EXPECT_TRUE(registry.Connect("user.ini", "Params"));
    EXPECT_EQ(registry.ReadInt(nullptr, "Bad", 17), 17); // not a number: the default
    EXPECT_FLOAT_EQ(registry.ReadFloat(nullptr, "Bad", 1.5f), 1.5f);
    EXPECT_TRUE(registry.WriteInt("ignored", "Count", -42));
    EXPECT_TRUE(registry.WriteFloat(nullptr, "Scale", 2.5f));
    EXPECT_TRUE(registry.WriteString(nullptr, "Name", "scene one"));
    EXPECT_EQ(registry.ReadInt(nullptr, "Count", 0), -42);
    EXPECT_FLOAT_EQ(registry.ReadFloat(nullptr, "Scale", 0.0f), 2.5f);
    KString text;
    registry.ReadString(nullptr, "Missing", "none", text);
    EXPECT_EQ(text, "none");
    EXPECT_EQ(ReadFile(dir.File("user.ini")), "[Params]\nBad = abc\nCount = -42\nScale = 2.500000\nName = scene one\n");
    EXPECT_TRUE(registry.Close());
    EXPECT_EQ(registry.ReadInt(nullptr, "Count", 3), 3);
}

namespace {

// GetDisplayDecimalCount in a fresh process over a settings file holding the
// given Decimal text (none when null); exits with the count.
void DecimalCountWith(const char* decimal)
{
    int count = -1;
    {
        qoxtest::TempDir dir;
        if (!dir.Path().empty())
        {
            KLib_SetConfigDirectory(dir.Path().c_str());
            if (decimal)
                KConfigFile("@Application.txt", false).Set("NumericField", "Decimal", decimal, nullptr);
            count = GetDisplayDecimalCount();
        }
    }
    _exit(count);
}

} // namespace

TEST(KConfigFileDeathTest, DisplayDecimalCount)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(DecimalCountWith(nullptr), ::testing::ExitedWithCode(2), "");
    EXPECT_EXIT(DecimalCountWith("4"), ::testing::ExitedWithCode(4), "");
    EXPECT_EXIT(DecimalCountWith("99"), ::testing::ExitedWithCode(15), "");
    EXPECT_EXIT(DecimalCountWith("-3"), ::testing::ExitedWithCode(0), "");
}

// A save replaces the file as its user had it: the mode (and group) it was
// given stays, whatever the umask; a file its user keeps from writing (mode
// without the owner's write bit) is not written, by either way of writing.
TEST(KConfigFileTest, ASavedFileKeepsItsModeAndAReadOnlyOneIsNotWritten)
{
    const mode_t masks[] = {022, 077};
    const struct
    {
        mode_t mMode;
        bool mWritten;
    } rows[] = {{0600, true}, {0640, true}, {0644, true}, {0400, false}, {0440, false}};
    for (mode_t mask : masks)
        for (const auto& row : rows)
            for (bool inMemory : {false, true})
            {
                SCOPED_TRACE(std::to_string(row.mMode) + (inMemory ? " in memory" : " direct") + " umask " +
                             std::to_string(mask));
                if (!row.mWritten && geteuid() == 0)
                    continue; // root writes every file
                ConfigDir dir;
                const std::string path = dir.File("s.ini");
                const std::string text = "[A]\nB = 1\n";
                ASSERT_TRUE(WriteFile(path, text) && chmod(path.c_str(), row.mMode) == 0);
                const mode_t previous = umask(mask);
                bool set = false, written = true;
                {
                    KConfigFile file("s.ini", inMemory);
                    set = file.Set("A", "B", "2", nullptr);
                    if (inMemory)
                        written = file.Write();
                }
                umask(previous);
                EXPECT_EQ(set && written, row.mWritten);
                EXPECT_EQ(ReadFile(path), row.mWritten ? "[A]\nB = 2\n" : text);
                struct stat status;
                ASSERT_EQ(stat(path.c_str(), &status), 0);
                EXPECT_EQ(status.st_mode & 0777, row.mMode);
                EXPECT_EQ(status.st_gid, getegid());
            }
}

// A file with lines the in-memory copy does not hold (an entry before any
// section, a line that is no "key = value") is kept aside whole when it is
// loaded, at a name nobody else's file holds, before the copy is written
// over it; one that cannot be kept aside is not written over.
TEST(KConfigFileTest, LinesThatAreNoEntriesAreKeptAsideBeforeTheCopyIsWritten)
{
    const std::string text = "early = 0\n[S]\nKey = 1\nMode: kMerge ; by hand\n\n; a comment\n";
    enum Before
    {
        eNOTHING,
        eSAME,  // f.ini.bak holds these bytes already
        eOTHER, // f.ini.bak holds others
        eLINK,  // f.ini.bak is a link to another file
        eFULL   // no room for a copy
    };
    const struct
    {
        Before mBefore;
        const char* mKept; // "": not kept aside
        std::vector<std::string> mFiles;
    } rows[] = {
        {eNOTHING, "f.ini.bak", {"f.ini", "f.ini.bak"}},
        {eSAME, "f.ini.bak", {"f.ini", "f.ini.bak"}},
        {eOTHER, "f.ini-1.bak", {"f.ini", "f.ini-1.bak", "f.ini.bak"}},
        {eLINK, "f.ini-1.bak", {"f.ini", "f.ini-1.bak", "f.ini.bak", "other"}},
        {eFULL, "", {"f.ini"}},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.mBefore);
        ConfigDir dir;
        const std::string path = dir.File("f.ini"), bak = dir.File("f.ini.bak"), other = "someone else's";
        ASSERT_TRUE(WriteFile(path, text));
        ASSERT_TRUE(row.mBefore != eSAME || WriteFile(bak, text));
        ASSERT_TRUE(row.mBefore != eOTHER || WriteFile(bak, other));
        ASSERT_TRUE(row.mBefore != eLINK || (WriteFile(dir.File("other"), other) && symlink("other", bak.c_str()) == 0));
        std::unique_ptr<qoxtest::FileSizeLimit> full(row.mBefore == eFULL ? new qoxtest::FileSizeLimit(8) : nullptr);
        KConfigFile config("f.ini", true);
        full.reset();
        std::vector<std::string> stray;
        for (const KConfigFile::StrayLine& line : config.StrayLines())
            stray.push_back(std::to_string(line.mNumber) + ": " + line.mText);
        EXPECT_EQ(stray, (std::vector<std::string>{"1: early = 0", "4: Mode: kMerge ; by hand"}));
        const std::string kept = *row.mKept ? dir.File(row.mKept) : "";
        EXPECT_EQ(config.KeptAside(), kept);
        EXPECT_EQ(config.WhyNotKeptAside(), *row.mKept ? "" : bak + ": File too large");
        EXPECT_TRUE(config.Set("S", "Key", "2", nullptr));
        EXPECT_EQ(config.Write(), !kept.empty());
        EXPECT_EQ(config.WhyNotWritten(), config.WhyNotKeptAside());
        EXPECT_EQ(ReadFile(path), kept.empty() ? text : "[S]\nKey = 2\n");
        EXPECT_TRUE(kept.empty() || ReadFile(kept) == text);
        EXPECT_EQ(qoxtest::ListDirectory(dir.Path()), row.mFiles);
        if (row.mBefore == eOTHER || row.mBefore == eLINK)
        {
            EXPECT_EQ(ReadFile(dir.File(row.mBefore == eLINK ? "other" : "f.ini.bak")), other);
        }
    }
}
