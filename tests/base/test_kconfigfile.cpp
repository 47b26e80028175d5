#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "base/kconfigfile.h"
#include "base/klib.h"
#include "base/kpath.h"

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    return remove(path);
}

struct TempDir
{
    TempDir()
    {
        char pattern[] = "/tmp/qox_kcfg_XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }
    std::string File(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

// Makes the temporary directory the configuration directory for one test.
struct ConfigDir : TempDir
{
    ConfigDir() { KLib_SetConfigDirectory(path.c_str()); }
    ~ConfigDir() { KLib_SetConfigDirectory(""); }
};

void WriteAll(const std::string& path, const std::string& text)
{
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

std::string ReadAll(const std::string& path)
{
    std::string text;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0) text.append(buffer, n);
    fclose(f);
    return text;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string HostName()
{
    char host[256];
    KLib_GetComputerName(host, sizeof(host));
    return host;
}

} // namespace

TEST(KConfigFileTest, SetCreatesAMissingFile)
{
    ConfigDir dir;
    KConfigFile config("settings.ini", false);
    EXPECT_TRUE(config.Set("Display", "Decimal", "3", nullptr));
    EXPECT_EQ(ReadAll(dir.File("settings.ini")), "[Display]\nDecimal = 3\n\n");
    EXPECT_FALSE(Exists(dir.File("backupfile.ini")));
    EXPECT_STREQ(config.Get("display", "DECIMAL", nullptr), "3");
}

TEST(KConfigFileTest, SetRewritesInPlace)
{
    ConfigDir dir;
    std::string path = dir.File("settings.ini");
    WriteAll(path,
             "[First]\n"
             "Alpha = 1 ; first value\n"
             "\n"
             "Beta = 2\n"
             "\n"
             "\n"
             "[Second]\n"
             "Alpha = 9\n");
    KConfigFile config("settings.ini", false);
    EXPECT_TRUE(config.Set("first", "alpha", "10", "changed"));
    EXPECT_EQ(ReadAll(path),
              "[First]\n"
              "alpha = 10 ; changed\n"
              "Beta = 2\n"
              "\n"
              "[Second]\n"
              "Alpha = 9\n");

    // A new key ends its section; a new section ends the file.
    EXPECT_TRUE(config.Set("First", "Gamma", "3", nullptr));
    EXPECT_TRUE(config.Set("Third", "Delta", "4", nullptr));
    EXPECT_EQ(ReadAll(path),
              "[First]\n"
              "alpha = 10 ; changed\n"
              "Beta = 2\n"
              "Gamma = 3\n"
              "\n"
              "[Second]\n"
              "Alpha = 9\n"
              "\n"
              "[Third]\n"
              "Delta = 4\n");
    EXPECT_STREQ(config.Get("Second", "Alpha", nullptr), "9");
    EXPECT_STREQ(config.Get("First", "alpha", nullptr), "10");
}

TEST(KConfigFileTest, NamesMatchExactlyWithoutRegardToCase)
{
    ConfigDir dir;
    std::string path = dir.File("app.ini");
    WriteAll(path, "[NumericField]\nDecimal = 4\nPrecision=7   \n");
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
    EXPECT_EQ(ReadAll(path), "[NumericField]\nDecimal = 4\nprecision = 8\n");

    // Set with a prefix of the section name makes a new section.
    EXPECT_TRUE(config.Set("Numeric", "Decimal", "1", nullptr));
    EXPECT_EQ(ReadAll(path), "[NumericField]\nDecimal = 4\nprecision = 8\n\n[Numeric]\nDecimal = 1\n");
    EXPECT_STREQ(config.Get("Numeric", "Decimal", nullptr), "1");
    EXPECT_STREQ(config.Get("NumericField", "Decimal", nullptr), "4");
}

TEST(KConfigFileTest, CommentsAndBlanks)
{
    ConfigDir dir;
    WriteAll(dir.File("c.ini"), "; header comment\n[S] ; section comment\n  Key  =  =  some value  ; note\n; Key = 5\n");
    KConfigFile config("c.ini", false);
    EXPECT_STREQ(config.Get("S", "Key", nullptr), "some value");
    EXPECT_EQ(config.Get("Missing", "Key", nullptr), nullptr);
    KConfigFile absent("absent.ini", false);
    EXPECT_EQ(absent.Get("S", "Key", nullptr), nullptr);
    EXPECT_STREQ(absent.Get("S", "Key", "d"), "d");
}

TEST(KConfigFileTest, GetOrSetLeavesExistingEntries)
{
    ConfigDir dir;
    std::string path = dir.File("g.ini");
    std::string original = "[S]\nKey = old ; kept\n\n\n[T]\nX = 1\n";
    WriteAll(path, original);
    KConfigFile config("g.ini", false);
    EXPECT_TRUE(config.GetOrSet("S", "Key", "new", nullptr));
    EXPECT_EQ(ReadAll(path), original);
    EXPECT_TRUE(config.GetOrSet("S", "Other", "new", nullptr));
    EXPECT_EQ(ReadAll(path), "[S]\nKey = old ; kept\nOther = new\n\n[T]\nX = 1\n");
}

TEST(KConfigFileTest, FailedSetLeavesTheFileUnchanged)
{
    ConfigDir dir;
    std::string path = dir.File("f.ini");
    std::string original = "[S]\nKey = 1\n";
    WriteAll(path, original);
    // The backup cannot be created: a directory holds its name.
    ASSERT_EQ(mkdir(dir.File("backupfile.ini").c_str(), 0700), 0);
    KConfigFile config("f.ini", false);
    EXPECT_FALSE(config.Set("S", "Key", "2", nullptr));
    EXPECT_EQ(ReadAll(path), original);
    EXPECT_STREQ(config.Get("S", "Key", nullptr), "1");
}

TEST(KConfigFileTest, LongLinesAndValues)
{
    ConfigDir dir;
    std::string path = dir.File("l.ini");
    std::string longValue(6000, 'v');
    WriteAll(path, "[S]\nLong = " + longValue + "\nShort = 1\n");
    KConfigFile config("l.ini", false);
    const char* value = config.Get("S", "Long", nullptr);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(strlen(value), 4095u);  // the value buffer's size, no more
    EXPECT_TRUE(config.Set("S", "Short", "2", nullptr));
    EXPECT_EQ(ReadAll(path), "[S]\nLong = " + longValue + "\nShort = 2\n");
}

TEST(KConfigFileTest, MachineSpecificNames)
{
    ConfigDir dir;
    KConfigFile config("@Application.txt", false);
    EXPECT_TRUE(config.Set("NumericField", "Decimal", "5", nullptr));
    EXPECT_EQ(ReadAll(dir.File(HostName() + ".Application.txt")), "[NumericField]\nDecimal = 5\n\n");

    TempDir other;
    KConfigFile elsewhere("plain.ini", other.path.c_str());
    EXPECT_TRUE(elsewhere.Set("A", "B", "C", nullptr));
    EXPECT_EQ(ReadAll(other.File("plain.ini")), "[A]\nB = C\n\n");
}

TEST(KConfigFileTest, ClearFile)
{
    ConfigDir dir;
    WriteAll(dir.File("x.ini"), "[S]\nK = 1\n");
    KConfigFile config("x.ini", false);
    EXPECT_TRUE(config.ClearFile());
    EXPECT_EQ(ReadAll(dir.File("x.ini")), "");
}

TEST(KConfigFileTest, InMemoryCopyIsWrittenOnceSorted)
{
    ConfigDir dir;
    std::string path = dir.File("m.ini");
    WriteAll(path, "[Zeta]\nb = 2 ; comment\na = 1\n\n[alpha]\nk = v\n");
    {
        KConfigFile config("m.ini", true);
        EXPECT_STREQ(config.Get("ZETA", "A", nullptr), "1");
        EXPECT_EQ(config.Get("Zeta", "c", nullptr), nullptr);
        EXPECT_STREQ(config.Get("Zeta", "c", "dflt"), "dflt");
        EXPECT_TRUE(config.Set("Zeta", "c", "3", "dropped"));
        EXPECT_TRUE(config.Set("Beta", "x", "y", nullptr));
        EXPECT_TRUE(config.Set("zeta", "B", "22", nullptr));
        // Nothing reaches the file before destruction.
        EXPECT_EQ(ReadAll(path), "[Zeta]\nb = 2 ; comment\na = 1\n\n[alpha]\nk = v\n");
    }
    EXPECT_EQ(ReadAll(path),
              "[alpha]\n"
              "k = v\n"
              "\n"
              "[Beta]\n"
              "x = y\n"
              "\n"
              "[Zeta]\n"
              "a = 1\n"
              "b = 22\n"
              "c = 3\n");
    EXPECT_FALSE(Exists(dir.File("backupfile.ini")));
}

TEST(KConfigFileTest, UnchangedInMemoryCopyIsNotWritten)
{
    ConfigDir dir;
    std::string path = dir.File("u.ini");
    WriteAll(path, "[S]\nK = 1 ; comment stays\n");
    {
        KConfigFile config("u.ini", true);
        EXPECT_STREQ(config.Get("S", "K", nullptr), "1");
        EXPECT_TRUE(config.ClearFile());  // empties the copy, not marked changed
        EXPECT_EQ(config.Get("S", "K", nullptr), nullptr);
    }
    EXPECT_EQ(ReadAll(path), "[S]\nK = 1 ; comment stays\n");
}

TEST(KRegistryTest, TypedReadsAndWrites)
{
    ConfigDir dir;
    KRegistry& registry = KRegistry::Instance();
    EXPECT_FALSE(registry.WriteInt(nullptr, "Count", 1));  // not connected
    EXPECT_EQ(registry.ReadInt(nullptr, "Count", 9), 9);

    WriteAll(dir.File("user.ini"), "[Params]\nBad = abc\n");
    EXPECT_TRUE(registry.Connect("user.ini", "Params"));
    EXPECT_EQ(registry.ReadInt(nullptr, "Bad", 17), 17);
    EXPECT_FLOAT_EQ(registry.ReadFloat(nullptr, "Bad", 1.5f), 1.5f);
    EXPECT_TRUE(registry.WriteInt("ignored", "Count", -42));
    EXPECT_TRUE(registry.WriteFloat(nullptr, "Scale", 2.5f));
    EXPECT_TRUE(registry.WriteString(nullptr, "Name", "scene one"));
    EXPECT_EQ(registry.ReadInt(nullptr, "Count", 0), -42);
    EXPECT_FLOAT_EQ(registry.ReadFloat(nullptr, "Scale", 0.0f), 2.5f);
    KString text;
    registry.ReadString(nullptr, "Name", "none", text);
    EXPECT_EQ(text, "scene one");
    registry.ReadString(nullptr, "Missing", "none", text);
    EXPECT_EQ(text, "none");
    EXPECT_EQ(ReadAll(dir.File("user.ini")),
              "[Params]\nBad = abc\nCount = -42\nScale = 2.500000\nName = scene one\n");
    EXPECT_TRUE(registry.Close());
    EXPECT_EQ(registry.ReadInt(nullptr, "Count", 3), 3);
}

namespace {

// Runs GetDisplayDecimalCount in a fresh process over a settings file that
// holds the given Decimal text (none when null); exits with the count.
void DecimalCountWith(const char* decimal)
{
    char pattern[] = "/tmp/qox_kcfg_dec_XXXXXX";
    std::string dir = mkdtemp(pattern);
    KLib_SetConfigDirectory(dir.c_str());
    if (decimal) {
        KConfigFile config("@Application.txt", false);
        config.Set("NumericField", "Decimal", decimal, nullptr);
    }
    int count = GetDisplayDecimalCount();
    KDirectoryRemove(dir.c_str(), true);
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
