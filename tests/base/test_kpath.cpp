#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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
        char pattern[] = "/tmp/qox_kpath_XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }
    std::string File(const std::string& name) const { return path + "/" + name; }
    std::string path;
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
    char buffer[65536];
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

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Sets or clears TMPDIR for one test and puts the old value back.
struct TmpDirEnv
{
    TmpDirEnv()
    {
        const char* old = getenv("TMPDIR");
        had = old != nullptr;
        if (had) saved = old;
    }
    ~TmpDirEnv()
    {
        if (had) setenv("TMPDIR", saved.c_str(), 1);
        else unsetenv("TMPDIR");
    }
    bool had;
    std::string saved;
};

std::string S(const KString& s)
{
    return std::string(static_cast<const char*>(s));
}

} // namespace

TEST(KPathCleanTest, WorkedExamples)
{
    EXPECT_EQ(S(KCleanPath("/a/./b//c/../d/")), "/a/b/d");
    EXPECT_EQ(S(KCleanPath("a\\b\\..\\..\\..\\c")), "../c");
    EXPECT_EQ(S(KCleanPath("C:\\dir\\f.txt")), "C:/dir/f.txt");
    EXPECT_EQ(S(KCleanPath("/")), "/");
    EXPECT_EQ(S(KCleanPath("a/../b")), "b");
    EXPECT_EQ(S(KCleanPath("../../x/")), "../../x");
    EXPECT_EQ(S(KCleanPath("/a/b/..")), "/a");
    EXPECT_EQ(S(KCleanPath("\\lead")), "lead");  // a leading "\" is not absolute
}

TEST(KPathCleanTest, ClimbingAboveTheRootAndNothingLeft)
{
    KString aboveRoot = KCleanPath("/..");
    EXPECT_TRUE(aboveRoot.IsOK());
    EXPECT_EQ(S(aboveRoot), "");

    KString nothing = KCleanPath(".");
    EXPECT_FALSE(nothing.IsOK());
    EXPECT_EQ(S(nothing), "");
    EXPECT_FALSE(KCleanPath("a/..").IsOK());
}

TEST(KPathCleanTest, LongPathsWithManySeparators)
{
    // Far beyond 1,024 characters and 132 separators.
    std::string path;
    std::string expected;
    for (int i = 0; i < 3000; ++i) {
        path += "/d" + std::to_string(i) + "//./";
        expected += "/d" + std::to_string(i);
    }
    path += "x/..";
    EXPECT_EQ(S(KCleanPath(path.c_str())), expected);
}

TEST(KPathTextTest, FileNamesAndExtensions)
{
    EXPECT_EQ(S(ExtractFileName("C:\\dir/sub\\file.tar.gz", false)), "file.tar");
    EXPECT_EQ(S(ExtractFileName("C:\\dir/sub\\file.tar.gz", true)), "file.tar.gz");
    EXPECT_EQ(S(ExtractFileName("plain", false)), "plain");
    EXPECT_EQ(S(ExtractFileName("dir/", true)), "");
    EXPECT_EQ(S(ExtractFileExtension("dir.old/readme")), "");
    EXPECT_EQ(S(ExtractFileExtension("a/b.TIF")), "TIF");
    EXPECT_EQ(S(ChangeFileExtension("a/scene.qox", ".bak")), "a/scene.bak");
    EXPECT_EQ(S(ChangeFileExtension("dir.old/readme", ".txt")), "dir.old/readme.txt");
    EXPECT_TRUE(TestFileExtension("x/y.QoX", "qox"));
    EXPECT_TRUE(TestSSFileExtension("y.qox"));
    EXPECT_FALSE(TestSSFileExtension("y.qox.bak"));
    EXPECT_TRUE(IsPathHidden("dir/.hidden"));
    EXPECT_TRUE(IsPathHidden("dir/"));
    EXPECT_FALSE(IsPathHidden("dir/shown.txt"));
}

TEST(KPathTextTest, Directories)
{
    EXPECT_EQ(S(ExtractDirectory("name")), "name");
    EXPECT_EQ(S(ExtractDirectoryFromFilePath("name")), "");
    EXPECT_EQ(S(ExtractDirectory("a/b\\c")), "a");  // "/" is looked for first
    EXPECT_EQ(S(ExtractDirectory("a\\b\\c")), "a\\b");
    EXPECT_EQ(S(ExtractDirectoryFromFilePath("/p/a/x.scn")), "/p/a");

    EXPECT_EQ(S(ExtractParentDirectory("/p/a/x.scn", -1)), "/p/a");
    EXPECT_EQ(S(ExtractParentDirectory("/p/a/x.scn", 0)), "p");
    EXPECT_EQ(S(ExtractParentDirectory("/p/a/x.scn", 1)), "a");
    EXPECT_FALSE(ExtractParentDirectory("/p/a/x.scn", 5).IsOK());
    EXPECT_EQ(S(ExtractParentDirectory("\\\\server\\share\\dir\\f", 0)), "dir");
    EXPECT_FALSE(ExtractParentDirectory("\\\\server\\share", 0).IsOK());
}

TEST(KPathTextTest, Drives)
{
    EXPECT_EQ(S(ExtractDrive("c:/x")), "C:");
    EXPECT_EQ(S(ExtractDrive("//server/share/dir")), "//SERVER/SHARE");
    EXPECT_EQ(S(ExtractDrive("\\\\srv\\shr")), "\\\\SRV\\SHR");
    EXPECT_EQ(S(ExtractDrive("//server")), "");
    EXPECT_EQ(S(ExtractDrive("/usr/lib")), "");
    EXPECT_EQ(S(ExtractFilePathNoDrive("c:/dir/f.txt")), "/dir/");
    EXPECT_EQ(S(ExtractFilePathNoDrive("//srv/shr/dir/f")), "/dir/");
}

TEST(KPathTextTest, SplitDirs)
{
    KString path("/a/b/");
    char* parts[8] = {};
    EXPECT_EQ(SplitDirs(path, parts), 2);
    EXPECT_STREQ(parts[0], "a");
    EXPECT_STREQ(parts[1], "b");
    EXPECT_STREQ(parts[2], "");

    // The capacity bounds what is stored, never what is counted.
    KString deep("/1/2/3/4/5/6/");
    char* few[2] = {};
    EXPECT_EQ(SplitDirs(deep, few, 2), 6);
    EXPECT_STREQ(few[1], "2");
}

TEST(KPathTextTest, FullPaths)
{
    EXPECT_EQ(S(MakeFullPath("/base/dir", "../f.txt")), "/base/f.txt");
    EXPECT_EQ(S(MakeFullPath("/base/dir/", "f.txt")), "/base/dir/f.txt");
    EXPECT_EQ(S(MakeFullPath("", "f.txt")), "f.txt");
    EXPECT_EQ(S(MakeFullPath("/base", "/abs//f.txt")), "/abs/f.txt");

    KString cwd = KGetCurrentDirectory();
    EXPECT_EQ(S(KFullPath("sub/../f")), S(cwd) + "/f");
    EXPECT_EQ(S(KFullPath("/x/./y")), "/x/y");
    EXPECT_FALSE(GetIsRelativePath(nullptr));
    EXPECT_FALSE(GetIsRelativePath("/a"));
    EXPECT_TRUE(GetIsRelativePath("a"));
    EXPECT_TRUE(GetIsRelativePath("C:\\a"));
}

TEST(KPathRelativeTest, WorkedExamples)
{
    EXPECT_EQ(S(GetRelativePath("/p/a/b/x.scn", "/p/a/c/t.tif")), "../c/t.tif");
    EXPECT_EQ(S(GetRelativePath("/p/a/b/x.scn", "/p/a/b/t.tif")), "t.tif");
    EXPECT_EQ(S(GetRelativePath("/p/a/b/x.scn", "/P/A/B/sub/t.tif")), "sub/t.tif");
    EXPECT_EQ(S(GetRelativePath("/p/a/b/x.scn", "/q/t.tif")), "../../../q/t.tif");
    EXPECT_EQ(S(GetRelativePath("c:/p/x.scn", "d:/p/t.tif")), "d:/p/t.tif");

    EXPECT_EQ(S(GetRelativeFilePath("/p/a/b/x.scn", "/p/a/c/t.tif")), "../c/t.tif");
    EXPECT_EQ(S(GetRelativeFilePath("/p/a/b/x.scn", "/p/a/b/t.tif")), "t.tif");
}

TEST(KPathRelativeTest, FilesDirectlyUnderTheRoot)
{
    // The root is the directory of "/x.scn", not the current directory.
    EXPECT_EQ(S(GetRelativePath("/x.scn", "/p/t.tif")), "p/t.tif");
    EXPECT_EQ(S(GetRelativePath("/p/x.scn", "/t.tif")), "../t.tif");
}

TEST(KPathRelativeTest, RelativeInputsCompareEveryComponent)
{
    EXPECT_EQ(S(GetRelativePath("a/b/x.scn", "c/b/t.tif")), "../../c/b/t.tif");
    EXPECT_EQ(S(GetRelativePath("a/b/x.scn", "a/b/t.tif")), "t.tif");
}

TEST(KPathRelativeTest, DeepPaths)
{
    std::string common, from, to;
    for (int i = 0; i < 200; ++i) common += "/c" + std::to_string(i);
    from = common + "/left/x.scn";
    to = common + "/right/deeper/t.tif";
    EXPECT_EQ(S(GetRelativePath(from.c_str(), to.c_str())), "../right/deeper/t.tif");
}

TEST(KPathTextTest, NameAndIndex)
{
    KString name;
    int index = -1;
    KString full("Cube(12)");
    GetNameAndIndex(full, name, index);
    EXPECT_EQ(S(name), "Cube");
    EXPECT_EQ(index, 12);

    full = "Cube";
    GetNameAndIndex(full, name, index);
    EXPECT_EQ(S(name), "Cube");
    EXPECT_EQ(index, 0);

    full = "Cube(x)";
    GetNameAndIndex(full, name, index);
    EXPECT_EQ(S(name), "Cube");
    EXPECT_EQ(index, 0);

    full = "My Cube (3)";
    GetNameAndIndex(full, full, index);  // the same string in and out
    EXPECT_EQ(S(full), "My Cube ");
    EXPECT_EQ(index, 3);
}

TEST(KPathTextTest, TranslateSubPath)
{
    char result[64];
    EXPECT_FALSE(KTranslateSubPath(result, "", "/old", "/new/"));
    EXPECT_TRUE(KTranslateSubPath(result, "/old/tex/a.tif", "/old/", "/new/base", sizeof(result)));
    EXPECT_STREQ(result, "/new/tex/a.tif");
    EXPECT_FALSE(KTranslateSubPath(result, "/old/tex/a.tif", "/old/", "/new/", sizeof(result)));
    EXPECT_STREQ(result, "/old/tex/a.tif");

    // A result that does not fit is not written.
    char small[8] = "keep";
    EXPECT_FALSE(KTranslateSubPath(small, "/old/tex/a.tif", "/old/", "/new/base", sizeof(small)));
    EXPECT_STREQ(small, "keep");
}

TEST(KPathTextTest, SizeAndDateQueriesAreNotProvided)
{
    EXPECT_EQ(GetFileSize("/etc/hostname"), 0u);
    EXPECT_EQ(GetFileLastDate("/etc/hostname"), 0);
    EXPECT_EQ(S(GetFileSizeString("x", true)), "0");
    EXPECT_EQ(S(GetFileSizeString("x", false)), "0 bytes");
    EXPECT_EQ(S(GetFileLastDateString("x")), "");
}

TEST(KPathTempTest, TmpDirHandling)
{
    TmpDirEnv restore;
    char buffer[64];

    setenv("TMPDIR", "/var/tmp/", 1);
    EXPECT_EQ(GetTempPath(sizeof(buffer), buffer), 9u);
    EXPECT_STREQ(buffer, "/var/tmp/");

    setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(GetTempPath(sizeof(buffer), buffer), 9u);
    EXPECT_STREQ(buffer, "/var/tmp/");

    // Nine characters and the terminator need ten bytes.
    strcpy(buffer, "untouched");
    EXPECT_EQ(GetTempPath(9, buffer), 0u);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(GetTempPath(10, buffer), 9u);

    EXPECT_EQ(GetDevPath(sizeof(buffer), buffer), 9u);
    EXPECT_STREQ(buffer, "/var/tmp/");

    unsetenv("TMPDIR");
    EXPECT_EQ(GetTempPath(sizeof(buffer), buffer), 5u);
    EXPECT_STREQ(buffer, "/tmp/");
    strcpy(buffer, "untouched");
    EXPECT_EQ(GetTempPath(5, buffer), 0u);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(GetDevPath(sizeof(buffer), buffer), 1u);
    EXPECT_STREQ(buffer, "/");
    EXPECT_EQ(GetDevPath(1, buffer), 0u);
}

TEST(KPathTempTest, TempNamesAreNewFilesInTheDirectory)
{
    TempDir dir;
    KString a = GetTempName(dir.path.c_str(), "texfile");
    KString b = GetTempName(dir.path.c_str(), "texfile");
    std::string prefix = dir.path + "/texfile";
    EXPECT_EQ(S(a).compare(0, prefix.size(), prefix), 0);
    EXPECT_GT(a.GetLen(), prefix.size());
    EXPECT_FALSE(Exists(S(a)));
    EXPECT_NE(S(a), S(b));
}

TEST(KDirTest, ReadsEntries)
{
    TempDir dir;
    WriteAll(dir.File("one.txt"), "1");
    mkdir(dir.File("sub").c_str(), 0700);

    KDir reader;
    ASSERT_TRUE(reader.Open(dir.path.c_str()));
    int files = 0, dirs = 0;
    bool sawText = false;
    do {
        std::string name = reader.Name();
        if (name == "." || name == "..") continue;
        if (reader.GetType() == 1) ++dirs;
        else ++files;
        if (name == "one.txt") sawText = S(reader.GetExt()) == "txt";
        if (name == "sub") {
            EXPECT_EQ(S(reader.GetExt()), "");
        }
    } while (reader.Next());
    EXPECT_EQ(files, 1);
    EXPECT_EQ(dirs, 1);
    EXPECT_TRUE(sawText);
    reader.Close();
    EXPECT_STREQ(reader.Name(), "");

    // Text before the first ":" (a host name) is ignored.
    std::string withHost = "host:" + dir.path;
    EXPECT_TRUE(reader.Open(withHost.c_str()));
}

TEST(KDirTest, CreateIsEmptyAndDelete)
{
    TempDir dir;
    std::string made = dir.File("made");
    KDir reader;
    EXPECT_TRUE(reader.Create(made.c_str()));
    reader.Close();
    EXPECT_TRUE(IsDirectory(made));
    EXPECT_TRUE(reader.IsEmpty(made.c_str()));
    WriteAll(made + "/only", "x");
    EXPECT_FALSE(reader.IsEmpty(made.c_str()));
    EXPECT_TRUE(reader.IsEmpty(dir.File("missing").c_str()));

    WriteAll(made + "/second", "y");
    EXPECT_TRUE(reader.Delete(made.c_str()));
    EXPECT_FALSE(Exists(made));
}

TEST(KDirectoryTest, ExistRenameRemove)
{
    TempDir dir;
    EXPECT_TRUE(KDirectoryExist(""));
    EXPECT_TRUE(KDirectoryExist(dir.path.c_str()));
    EXPECT_FALSE(KDirectoryExist(dir.File("nope").c_str()));

    std::string a = dir.File("a"), b = dir.File("b");
    mkdir(a.c_str(), 0700);
    EXPECT_FALSE(KDirectoryRename(a.c_str(), b.c_str()));
    EXPECT_TRUE(KDirectoryRename(a.c_str(), b.c_str()));  // a is gone: failure

    mkdir((b + "/sub").c_str(), 0700);
    WriteAll(b + "/file", "f");
    EXPECT_TRUE(KDirectoryRemove(b.c_str(), false));  // the subdirectory stays
    EXPECT_TRUE(Exists(b + "/sub"));
    EXPECT_FALSE(Exists(b + "/file"));

    WriteAll(b + "/sub/deep", "d");
    EXPECT_FALSE(KDirectoryRemove(b.c_str(), true));
    EXPECT_FALSE(Exists(b));
    EXPECT_TRUE(KDirectoryRemove(b.c_str(), true));  // nothing left to remove
}

TEST(KDirectoryTest, RemoveNeverFollowsLinksOutOfTheTree)
{
    TempDir dir;
    std::string outside = dir.File("outside");
    mkdir(outside.c_str(), 0700);
    WriteAll(outside + "/precious", "keep me");
    WriteAll(dir.File("lonely.txt"), "keep me too");

    std::string tree = dir.File("tree");
    mkdir(tree.c_str(), 0700);
    mkdir((tree + "/inner").c_str(), 0700);
    ASSERT_EQ(symlink(outside.c_str(), (tree + "/inner/dirlink").c_str()), 0);
    ASSERT_EQ(symlink(dir.File("lonely.txt").c_str(), (tree + "/filelink").c_str()), 0);
    ASSERT_EQ(symlink((dir.path + "/nowhere").c_str(), (tree + "/dangling").c_str()), 0);

    EXPECT_FALSE(KDirectoryRemove(tree.c_str(), true));
    EXPECT_FALSE(Exists(tree));
    EXPECT_EQ(ReadAll(outside + "/precious"), "keep me");
    EXPECT_EQ(ReadAll(dir.File("lonely.txt")), "keep me too");

    // A link given as the directory itself: the link goes, its target stays.
    std::string rootLink = dir.File("rootlink");
    ASSERT_EQ(symlink(outside.c_str(), rootLink.c_str()), 0);
    EXPECT_FALSE(KDirectoryRemove((rootLink + "/").c_str(), true));
    EXPECT_FALSE(Exists(rootLink));
    EXPECT_EQ(ReadAll(outside + "/precious"), "keep me");
}

TEST(KDirTest, DeleteRemovesLinksNotTheirTargets)
{
    TempDir dir;
    std::string outside = dir.File("outside");
    mkdir(outside.c_str(), 0700);
    WriteAll(outside + "/precious", "keep");
    std::string victim = dir.File("victim");
    mkdir(victim.c_str(), 0700);
    ASSERT_EQ(symlink(outside.c_str(), (victim + "/link").c_str()), 0);
    KDir reader;
    EXPECT_TRUE(reader.Delete(victim.c_str()));
    EXPECT_FALSE(Exists(victim));
    EXPECT_EQ(ReadAll(outside + "/precious"), "keep");
}

TEST(KDirectoryTest, EnsureDirectoryExistance)
{
    TempDir dir;
    EXPECT_TRUE(KEnsureDirectoryExistance("file.txt"));  // nothing to create
    EXPECT_TRUE(KEnsureDirectoryExistance("/root-level-file"));

    std::string nested = dir.File("a/b//c/file.txt");
    EXPECT_TRUE(KEnsureDirectoryExistance(nested.c_str()));
    EXPECT_TRUE(IsDirectory(dir.File("a/b/c")));

    // Shell characters are plain characters of the name.
    std::string odd = dir.File("x; touch injected/$(echo y)/f");
    EXPECT_TRUE(KEnsureDirectoryExistance(odd.c_str()));
    EXPECT_TRUE(IsDirectory(dir.File("x; touch injected/$(echo y)")));
    EXPECT_FALSE(Exists("injected"));

    // A file in the way: the directory cannot be made, and that is reported.
    WriteAll(dir.File("blocker"), "");
    std::string blocked = dir.File("blocker/sub/f.txt");
    EXPECT_FALSE(KEnsureDirectoryExistance(blocked.c_str()));

    std::string longName;
    for (int i = 0; i < 80; ++i) longName += "/level" + std::to_string(i);
    std::string deep = dir.path + longName + "/f";
    EXPECT_GT(deep.size(), 512u);
    EXPECT_TRUE(KEnsureDirectoryExistance(deep.c_str()));
    EXPECT_TRUE(IsDirectory(dir.path + longName));
}

TEST(KDirectoryTest, CopyFile)
{
    TempDir dir;
    std::string big;
    for (int i = 0; i < 2600000; ++i) big += static_cast<char>('a' + i % 23);
    WriteAll(dir.File("src"), big);
    EXPECT_TRUE(KCopyFile(dir.File("dst").c_str(), dir.File("src").c_str()));
    EXPECT_EQ(ReadAll(dir.File("dst")), big);

    WriteAll(dir.File("empty"), "");
    EXPECT_TRUE(KCopyFile(dir.File("empty-copy").c_str(), dir.File("empty").c_str()));
    EXPECT_EQ(ReadAll(dir.File("empty-copy")), "");

    EXPECT_FALSE(KCopyFile(dir.File("x").c_str(), dir.File("missing").c_str()));
    EXPECT_FALSE(Exists(dir.File("x")));
    EXPECT_FALSE(KCopyFile(dir.File("no/such/dir").c_str(), dir.File("src").c_str()));
    if (Exists("/dev/full")) {
        EXPECT_FALSE(KCopyFile("/dev/full", dir.File("src").c_str()));
    }
}

TEST(KDirectoryTest, CurrentDirectoryAndReadOnly)
{
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    EXPECT_EQ(S(KGetCurrentDirectory()), cwd);
    std::string withHost = S(KGetCurrentDirectoryWithHostName());
    size_t colon = withHost.find(':');
    ASSERT_NE(colon, std::string::npos);
    EXPECT_EQ(withHost.substr(colon + 1), cwd);

    TempDir dir;
    std::string f = dir.File("ro");
    WriteAll(f, "x");
    chmod(f.c_str(), 0444);
    EXPECT_TRUE(FileIsReadOnly(f.c_str()));
    chmod(f.c_str(), 0644);
    EXPECT_FALSE(FileIsReadOnly(f.c_str()));
}

TEST(KPathLibraryTest, LibraryDirectories)
{
    KLib_SetMasterDirectory("/opt/master");
    KLib_SetHomeDirectory("/home/u");
    KLib_SetConfigDirectory("/etc/cfg");
    EXPECT_STREQ(KLib_GetMasterDirectory(), "/opt/master");
    EXPECT_STREQ(KLib_GetHomeDirectory(), "/home/u");
    EXPECT_STREQ(KLib_GetConfigDirectory(), "/etc/cfg");
    KLib_SetMasterDirectory(nullptr);
    EXPECT_STREQ(KLib_GetMasterDirectory(), "");
    KLib_SetHomeDirectory("");
    KLib_SetConfigDirectory("");
}
