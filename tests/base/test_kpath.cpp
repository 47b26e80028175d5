#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

#include "base/kpath.h"
#include "test_util.h"

using qoxtest::Exists;
using qoxtest::IsDirectory;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WorkingFolder;
using qoxtest::WriteFile;

namespace {

std::string S(const KString& s)
{
    return std::string(static_cast<const char*>(s));
}

// Puts TMPDIR back as it was when the test ends.
struct TmpDirEnv
{
    TmpDirEnv()
        : had(getenv("TMPDIR") != nullptr)
        , saved(had ? getenv("TMPDIR") : "")
    {}
    ~TmpDirEnv() { had ? setenv("TMPDIR", saved.c_str(), 1) : unsetenv("TMPDIR"); }
    bool had;
    std::string saved;
};

} // namespace

TEST(KPathTextTest, CleanPathExamples)
{
    const char* const cases[][2] = {
        {"/a/./b//c/../d/", "/a/b/d"},
        {"a\\b\\..\\..\\..\\c", "../c"},
        {"C:\\dir\\f.txt", "C:/dir/f.txt"},
        {"/", "/"},
        {"a/../b", "b"},
        {"../../x/", "../../x"},
        {"/a/b/..", "/a"},
        {"\\lead", "lead"}, // a leading "\" is not absolute
    };
    for (const auto& c : cases)
        EXPECT_EQ(S(KCleanPath(c[0])), c[1]) << c[0];

    KString aboveRoot = KCleanPath("/..");
    EXPECT_TRUE(aboveRoot.IsOK());
    EXPECT_EQ(S(aboveRoot), "");
    EXPECT_FALSE(KCleanPath(".").IsOK()); // nothing left
    EXPECT_FALSE(KCleanPath("a/..").IsOK());
    // Far beyond 1,024 characters and 132 separators.
    std::string path, expected;
    for (int i = 0; i < 3000; ++i)
    {
        path += "/d" + std::to_string(i) + "//./";
        expected += "/d" + std::to_string(i);
    }
    EXPECT_EQ(S(KCleanPath((path + "x/..").c_str())), expected);
}

TEST(KPathTextTest, NamesDirectoriesAndDrives)
{
    const struct
    {
        KString got;
        const char* expected;
    } cases[] = {
        {ExtractFileName("C:\\dir/sub\\file.tar.gz", false), "file.tar"},
        {ExtractFileName("C:\\dir/sub\\file.tar.gz", true), "file.tar.gz"},
        {ExtractFileName("dir/", true), ""},
        {ExtractFileExtension("dir.old/readme"), ""},
        {ExtractFileExtension("a/b.TIF"), "TIF"},
        {ChangeFileExtension("a/scene.qox", ".bak"), "a/scene.bak"},
        {ChangeFileExtension("dir.old/readme", ".txt"), "dir.old/readme.txt"},
        {ExtractDirectory("name"), "name"},
        {ExtractDirectoryFromFilePath("name"), ""},
        {ExtractDirectory("a/b\\c"), "a"}, // "/" is looked for first
        {ExtractDirectory("a\\b\\c"), "a\\b"},
        {ExtractDirectoryFromFilePath("/p/a/x.scn"), "/p/a"},
        {ExtractParentDirectory("/p/a/x.scn", -1), "/p/a"},
        {ExtractParentDirectory("/p/a/x.scn", 0), "p"},
        {ExtractParentDirectory("/p/a/x.scn", 1), "a"},
        {ExtractParentDirectory("\\\\server\\share\\dir\\f", 0), "dir"},
        {ExtractDrive("c:/x"), "C:"},
        {ExtractDrive("//server/share/dir"), "//SERVER/SHARE"},
        {ExtractDrive("\\\\srv\\shr"), "\\\\SRV\\SHR"},
        {ExtractDrive("//server"), ""},
        {ExtractDrive("/usr/lib"), ""},
        {ExtractFilePathNoDrive("c:/dir/f.txt"), "/dir/"},
        {ExtractFilePathNoDrive("//srv/shr/dir/f"), "/dir/"},
        {MakeFullPath("/base/dir", "../f.txt"), "/base/f.txt"},
        {MakeFullPath("/base/dir/", "f.txt"), "/base/dir/f.txt"},
        {MakeFullPath("", "f.txt"), "f.txt"},
        {MakeFullPath("/base", "/abs//f.txt"), "/abs/f.txt"},
        {KFullPath("/x/./y"), "/x/y"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(S(c.got), c.expected);
    EXPECT_EQ(S(KFullPath("sub/../f")), S(KGetCurrentDirectory()) + "/f");
    EXPECT_FALSE(ExtractParentDirectory("/p/a/x.scn", 5).IsOK());
    EXPECT_FALSE(ExtractParentDirectory("\\\\server\\share", 0).IsOK());
    EXPECT_TRUE(TestFileExtension("x/y.QoX", "qox"));
    EXPECT_TRUE(TestSSFileExtension("y.qox"));
    EXPECT_FALSE(TestSSFileExtension("y.qox.bak"));
    EXPECT_TRUE(IsPathHidden("dir/.hidden"));
    EXPECT_TRUE(IsPathHidden("dir/"));
    EXPECT_FALSE(IsPathHidden("dir/shown.txt"));
    EXPECT_FALSE(GetIsRelativePath(nullptr));
    EXPECT_FALSE(GetIsRelativePath("/a"));
    EXPECT_TRUE(GetIsRelativePath("C:\\a"));
    // The capacity bounds what SplitDirs stores, never what it counts.
    KString deep("/1/2/3/4/5/6/");
    char* few[3] = {};
    EXPECT_EQ(SplitDirs(deep, few, 2), 6);
    EXPECT_STREQ(few[1], "2");
    EXPECT_EQ(few[2], nullptr);
}

TEST(KPathTextTest, RelativePathExamples)
{
    const char* const cases[][3] = {
        {"/p/a/b/x.scn", "/p/a/c/t.tif", "../c/t.tif"},
        {"/p/a/b/x.scn", "/p/a/b/t.tif", "t.tif"},
        {"/p/a/b/x.scn", "/P/A/B/sub/t.tif", "sub/t.tif"},
        {"/p/a/b/x.scn", "/q/t.tif", "../../../q/t.tif"},
        {"c:/p/x.scn", "d:/p/t.tif", "d:/p/t.tif"},
        // The root is the directory of "/x.scn", not the current directory.
        {"/x.scn", "/p/t.tif", "p/t.tif"},
        {"/p/x.scn", "/t.tif", "../t.tif"},
        // Relative inputs compare every component.
        {"a/b/x.scn", "c/b/t.tif", "../../c/b/t.tif"},
        {"a/b/x.scn", "a/b/t.tif", "t.tif"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(S(GetRelativePath(c[0], c[1])), c[2]) << c[0] << " " << c[1];
    EXPECT_EQ(S(GetRelativeFilePath("/p/a/b/x.scn", "/p/a/c/t.tif")), "../c/t.tif");

    std::string common;
    for (int i = 0; i < 200; ++i)
        common += "/c" + std::to_string(i);
    EXPECT_EQ(S(GetRelativePath((common + "/left/x.scn").c_str(), (common + "/right/deeper/t.tif").c_str())),
              "../right/deeper/t.tif");
}

TEST(KPathTextTest, NameIndexAndSubPaths)
{
    KString name;
    int index = -1;
    const struct
    {
        const char* full;
        const char* name;
        int index;
    } cases[] = {{"Cube(12)", "Cube", 12}, {"Cube", "Cube", 0}, {"Cube(x)", "Cube", 0}};
    for (const auto& c : cases)
    {
        KString full(c.full);
        GetNameAndIndex(full, name, index);
        EXPECT_EQ(S(name), c.name);
        EXPECT_EQ(index, c.index);
    }
    KString full("My Cube (3)");
    GetNameAndIndex(full, full, index); // the same string in and out
    EXPECT_EQ(S(full), "My Cube ");
    EXPECT_EQ(index, 3);

    char result[64];
    EXPECT_FALSE(KTranslateSubPath(result, "", "/old", "/new/"));
    EXPECT_TRUE(KTranslateSubPath(result, "/old/tex/a.tif", "/old/", "/new/base", sizeof(result)));
    EXPECT_STREQ(result, "/new/tex/a.tif");
    EXPECT_FALSE(KTranslateSubPath(result, "/old/tex/a.tif", "/old/", "/new/", sizeof(result)));
    EXPECT_STREQ(result, "/old/tex/a.tif");
    char small[8] = "keep"; // a result that does not fit is not written
    EXPECT_FALSE(KTranslateSubPath(small, "/old/tex/a.tif", "/old/", "/new/base", sizeof(small)));
    EXPECT_STREQ(small, "keep");
}

TEST(KPathTextTest, NumberedFileNames)
{
    const struct
    {
        const char* name;
        int number;
        const char* numbered;
    } cases[] = {{"diffuse.png", 1, "diffuse-1.png"}, {"a.b.tif", 12, "a.b-12.tif"}, {"readme", 2, "readme-2"},
                 {".hidden", 1, ".hidden-1"},         {"", 3, "-3"}};
    for (const auto& c : cases)
        EXPECT_EQ(KNumberedFileName(c.name, c.number), c.numbered) << c.name;
}

TEST(KPathFindTest, FileNamedInAFileIsFoundFromItsFolder)
{
    // dir/a holds the images; dir/img.png is another file, which the
    // lexically cleaned form of a path through the link dir/l (to dir/a/deep)
    // would name instead of dir/a/img.png.
    TempDir dir;
    for (const char* folder : {"a", "a/deep", "b"})
        ASSERT_EQ(mkdir(dir.File(folder).c_str(), 0700), 0);
    for (const char* file : {"a/img.png", "a/odd\\name.png", "img.png"})
        ASSERT_TRUE(WriteFile(dir.File(file), file));
    ASSERT_EQ(symlink(dir.File("a/deep").c_str(), dir.File("l").c_str()), 0);
    const WorkingFolder working(dir.Path());
    ASSERT_TRUE(working.Moved());
    const std::string image = dir.File("a/img.png");
    const struct
    {
        std::string directory, name, found;
    } cases[] = {
        {dir.File("a"), "img.png", image},
        {dir.File("a/"), "img.png", image},
        {dir.Path(), "a/./img.png", image},
        {dir.File("b"), "../a/img.png", image},
        {"a", "img.png", image},       // a relative folder, from the working folder
        {"", "a/img.png", image},      // no folder: the working folder
        {dir.File("b"), image, image}, // absolute: as it is
        {"/", dir.Path() + "/a/./img.png", dir.Path() + "/a/./img.png"},
        {dir.File("a"), "odd\\name.png", dir.File("a/odd\\name.png")}, // a backslash is part of the name
        {dir.Path(), "l/../img.png", dir.File("l/../img.png")},        // through the link: not cleaned
        {dir.File("b"), "img.png", ""},                                // no such file
        {dir.Path(), "a", ""},                                         // a folder
        {dir.Path(), "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(S(KFindFileFrom(c.directory.c_str(), c.name.c_str())), c.found) << c.directory << " " << c.name;
    EXPECT_EQ(S(KFindFileFrom(dir.Path().c_str(), nullptr)), "");
}

TEST(KPathFindTest, NamesWhoseLettersDifferInCaseFindTheOneFile)
{
    // Tools of systems that ignore case write map names in their own case;
    // the images beside the file are lower case. Each component that names
    // nothing as written is the one entry of its folder (of its kind) that
    // differs only in case; exact names win, twins find nothing.
    TempDir dir;
    for (const char* folder : {"maps", "Twins", "twins", "tex", "deep", "deep/Inner"})
        ASSERT_EQ(mkdir(dir.File(folder).c_str(), 0700), 0);
    for (const char* file : {"gl-14_ch.tga", "maps/wood.png", "Wood.tga", "wood.tga", "Twins/a.tga", "twins/a.tga",
                             "stone.TGA", "STONE.tga", "TEX", "tex/brick.ppm", "deep/Inner/rock.ppm", "ÄPFEL.png"})
        ASSERT_TRUE(WriteFile(dir.File(file), file));
    const WorkingFolder elsewhere("/");
    ASSERT_TRUE(elsewhere.Moved());
    const struct
    {
        std::string name, found, asWritten;
    } cases[] = {
        {"GL-14_CH.TGA", dir.File("gl-14_ch.tga"), ""},
        {"gl-14_ch.tga", dir.File("gl-14_ch.tga"), dir.File("gl-14_ch.tga")},
        {"MAPS/WOOD.PNG", dir.File("maps/wood.png"), ""},           // every component
        {"maps/./WOOD.PNG", dir.File("maps/wood.png"), ""},         // "." as written
        {"MAPS/../GL-14_ch.tga", dir.File("gl-14_ch.tga"), ""},     // ".." as written
        {dir.File("MAPS/Wood.png"), dir.File("maps/wood.png"), ""}, // absolute
        {"Wood.tga", dir.File("Wood.tga"), dir.File("Wood.tga")},   // the exact one of twins
        {"WOOD.TGA", "", ""},                                       // twins, neither exact
        {"TWINS/a.tga", "", ""},                                    // twin folders
        {"Stone.tga", "", ""},                                      // twins of any case
        {"TEX/BRICK.PPM", dir.File("tex/brick.ppm"), ""},           // the folder, not the file TEX
        {"Tex", dir.File("TEX"), ""},                               // the file, not the folder tex
        {"DEEP/inner/ROCK.ppm", dir.File("deep/Inner/rock.ppm"), ""},
        {"äPFEL.png", "", ""}, // ASCII letters only
        {"MAPS", "", ""},      // a folder is no file
        {"maps/wood.png/", "", ""},
        {"GL-14_CH.TGA/x", "", ""},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(S(KFindFileFrom(dir.Path().c_str(), c.name.c_str())), c.found) << c.name;
        EXPECT_EQ(S(KFindFileAsWritten(dir.Path().c_str(), c.name.c_str())), c.asWritten) << c.name;
    }
}

TEST(KPathFindTest, NamesWithAPathOfAnotherMachineFindTheImageBeside)
{
    // Downloaded models name their images with a path of the author's
    // machine while the images lie beside the model, often in the folders
    // that end that path: a name that names no file as written, nor in
    // another case, is looked for by its trailing parts, longest first, in
    // the given folder (each in any case there too), down to its base name.
    // Names that find a file as written still find that one; no part that
    // climbs out of the folder ("..") is tried.
    TempDir dir;
    for (const char* folder : {"maps", "textures", "proj", "proj/textures"})
        ASSERT_EQ(mkdir(dir.File(folder).c_str(), 0700), 0);
    for (const char* file : {"wood.png", "Stone.tga", "Twin.png", "twin.png", "maps/wood.png", "Äpfel.png",
                             "stone.png", "textures/stone.png", "textures/brick.png", "proj/textures/brick.png",
                             "secret.png"})
        ASSERT_TRUE(WriteFile(dir.File(file), file));
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir("/"), 0); // another working folder
    const std::string wood = dir.File("wood.png"), stone = dir.File("textures/stone.png");
    const struct
    {
        std::string name, found, anyCase;
        std::string in = ""; // the folder looked in, under dir
    } cases[] = {
        {"C:\\Users\\me\\Desktop\\wood.png", wood, ""},
        {"/home/me/models/wood.png", wood, ""},
        {"textures/wood.png", wood, ""},
        {"C:\\Users\\me\\Desktop\\STONE.TGA", dir.File("Stone.tga"), ""}, // in another case there too
        {"/home/me/MAPS/WOOD.PNG", dir.File("maps/wood.png"), ""},         // "MAPS/WOOD.PNG" in another case
        {"MAPS/WOOD.PNG", dir.File("maps/wood.png"), dir.File("maps/wood.png")},
        {dir.File("maps/wood.png"), dir.File("maps/wood.png"), dir.File("maps/wood.png")},
        {"/home/me/twin.png", dir.File("twin.png"), ""},
        {"/home/me/TWIN.PNG", "", ""},     // twins, neither as written
        {"/home/me/äpfel.png", "", ""},    // ASCII letters only: "Ä" is not "ä"
        {"C:\\Users\\me\\maps", "", ""},   // a folder is no file
        {"C:\\Users\\me\\Desktop\\", "", ""},
        {"C:\\models\\maps\\brick.png", "", ""},
        // Part by part, longest first: "textures/stone.png" before "stone.png".
        {"C:\\Users\\me\\proj\\textures\\stone.png", stone, ""},
        {"/home/me/proj/textures/stone.png", stone, ""},
        {"/home/me/proj/TEXTURES/Stone.PNG", stone, ""},
        {"\\\\server\\share\\textures\\stone.png", stone, ""},
        {"C:/Users/me//proj/textures/brick.png", dir.File("proj/textures/brick.png"), ""},
        {"C:\\Users\\me\\elsewhere\\textures\\brick.png", dir.File("textures/brick.png"), ""},
        // From maps/: a part holding ".." is no tail, so secret.png above
        // is not reached; the name as written is.
        {"C:\\me\\..\\secret.png", "", "", "maps"},
        {"/home/me/../../secret.png", "", "", "maps"},
        {"/home/me/x/../wood.png", dir.File("maps/wood.png"), "", "maps"},
        {"../secret.png", dir.File("secret.png"), dir.File("secret.png"), "maps"},
    };
    for (const auto& c : cases)
    {
        const std::string folder = c.in.empty() ? dir.Path() : dir.File(c.in);
        EXPECT_EQ(S(KFindFileFrom(folder.c_str(), c.name.c_str())), c.found) << c.name;
        EXPECT_EQ(S(KFindFileFrom(folder.c_str(), c.name.c_str(), KFindFile::eAnyCase)), c.anyCase) << c.name;
    }
    ASSERT_EQ(chdir(previous), 0);
    // The tails themselves: never absolute, never climbing.
    const std::pair<const char*, std::vector<std::string>> tails[] = {
        {"C:\\me\\proj\\textures\\stone.png",
         {"me/proj/textures/stone.png", "proj/textures/stone.png", "textures/stone.png", "stone.png"}},
        {"/home//me/stone.png", {"home/me/stone.png", "me/stone.png", "stone.png"}},
        {"a/../b/./c.png", {"b/c.png", "c.png"}},
        {"./c.png", {}},
        {"proj/..", {}},
        {"stone.png", {}},
        {"textures/", {}},
        {"", {}},
    };
    for (const auto& t : tails)
        EXPECT_EQ(KTrailingParts(t.first), t.second) << t.first;
    // A name of many parts: the tails of its last parts only.
    std::string deep = "C:";
    for (size_t i = 0; i < 10 * kTrailingPartsMost; ++i)
        deep += "\\d" + std::to_string(i);
    const std::vector<std::string> deepTails = KTrailingParts(deep.c_str());
    ASSERT_EQ(deepTails.size(), kTrailingPartsMost);
    EXPECT_EQ(deepTails.front().substr(0, 5), "d" + std::to_string(9 * kTrailingPartsMost) + "/");
    EXPECT_EQ(deepTails.back(), "d" + std::to_string(10 * kTrailingPartsMost - 1));
}

TEST(KPathTempTest, TmpDirHandling)
{
    TmpDirEnv restore;
    char buffer[64];
    for (const char* value : {"/var/tmp/", "/var/tmp"})
    {
        setenv("TMPDIR", value, 1);
        EXPECT_EQ(GetTempPath(sizeof(buffer), buffer), 9u);
        EXPECT_STREQ(buffer, "/var/tmp/");
    }
    strcpy(buffer, "untouched"); // nine characters and the terminator need ten bytes
    EXPECT_EQ(GetTempPath(9, buffer), 0u);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(GetTempPath(10, buffer), 9u);
    EXPECT_EQ(GetDevPath(sizeof(buffer), buffer), 9u);

    unsetenv("TMPDIR");
    EXPECT_EQ(GetTempPath(sizeof(buffer), buffer), 5u);
    EXPECT_STREQ(buffer, "/tmp/");
    strcpy(buffer, "untouched");
    EXPECT_EQ(GetTempPath(5, buffer), 0u);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(GetDevPath(sizeof(buffer), buffer), 1u);
    EXPECT_STREQ(buffer, "/");
    EXPECT_EQ(GetDevPath(1, buffer), 0u);

    TempDir dir; // temp names are new files in the directory
    const std::string a = S(GetTempName(dir.Path().c_str(), "texfile")), prefix = dir.Path() + "/texfile";
    EXPECT_EQ(a.compare(0, prefix.size(), prefix), 0);
    EXPECT_GT(a.size(), prefix.size());
    EXPECT_FALSE(Exists(a));
    EXPECT_NE(a, S(GetTempName(dir.Path().c_str(), "texfile")));
}

TEST(KDirTest, ReadsCreatesAndDeletes)
{
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("one.txt"), "1"));
    mkdir(dir.File("sub").c_str(), 0700);
    KDir reader;
    ASSERT_TRUE(reader.Open(("host:" + dir.Path()).c_str())); // a host name before ":" is ignored
    std::string seen;
    do
    {
        const std::string name = reader.Name();
        if (name != "." && name != "..")
            seen += name + "/" + std::to_string(reader.GetType()) + "/" + S(reader.GetExt()) + " ";
    } while (reader.Next());
    EXPECT_TRUE(seen == "one.txt/0/txt sub/1/ " || seen == "sub/1/ one.txt/0/txt ") << seen;
    reader.Close();

    const std::string made = dir.File("made");
    EXPECT_TRUE(reader.Create(made.c_str()));
    reader.Close();
    EXPECT_TRUE(IsDirectory(made));
    EXPECT_TRUE(reader.IsEmpty(made.c_str()));
    ASSERT_TRUE(WriteFile(made + "/only", "x"));
    EXPECT_FALSE(reader.IsEmpty(made.c_str()));
    EXPECT_TRUE(reader.IsEmpty(dir.File("missing").c_str()));
    // Delete removes links, never their targets.
    ASSERT_EQ(symlink(dir.File("sub").c_str(), (made + "/link").c_str()), 0);
    ASSERT_TRUE(WriteFile(dir.File("sub/precious"), "keep"));
    EXPECT_TRUE(reader.Delete(made.c_str()));
    EXPECT_FALSE(Exists(made));
    EXPECT_EQ(ReadFile(dir.File("sub/precious")), "keep");
}

TEST(KDirectoryTest, ExistRenameRemove)
{
    TempDir dir;
    EXPECT_TRUE(KDirectoryExist(""));
    EXPECT_TRUE(KDirectoryExist(dir.Path().c_str()));
    EXPECT_FALSE(KDirectoryExist(dir.File("nope").c_str()));
    const std::string a = dir.File("a"), b = dir.File("b");
    mkdir(a.c_str(), 0700);
    EXPECT_FALSE(KDirectoryRename(a.c_str(), b.c_str()));
    EXPECT_TRUE(KDirectoryRename(a.c_str(), b.c_str())); // a is gone: failure

    mkdir((b + "/sub").c_str(), 0700);
    ASSERT_TRUE(WriteFile(b + "/file", "f"));
    EXPECT_TRUE(KDirectoryRemove(b.c_str(), false)); // the subdirectory stays
    EXPECT_TRUE(Exists(b + "/sub"));
    EXPECT_FALSE(Exists(b + "/file"));
    ASSERT_TRUE(WriteFile(b + "/sub/deep", "d"));
    EXPECT_FALSE(KDirectoryRemove(b.c_str(), true));
    EXPECT_FALSE(Exists(b));
    EXPECT_TRUE(KDirectoryRemove(b.c_str(), true));                     // nothing left to remove
    const std::string withHost = S(KGetCurrentDirectoryWithHostName()); // "host:directory"
    EXPECT_EQ(withHost.substr(withHost.find(':') + 1), S(KGetCurrentDirectory()));
}

TEST(KDirectoryTest, RemoveNeverFollowsLinksOutOfTheTree)
{
    TempDir dir;
    const std::string outside = dir.File("outside"), tree = dir.File("tree");
    mkdir(outside.c_str(), 0700);
    ASSERT_TRUE(WriteFile(outside + "/precious", "keep me"));
    ASSERT_TRUE(WriteFile(dir.File("lonely.txt"), "keep me too"));
    mkdir(tree.c_str(), 0700);
    mkdir((tree + "/inner").c_str(), 0700);
    ASSERT_EQ(symlink(outside.c_str(), (tree + "/inner/dirlink").c_str()), 0);
    ASSERT_EQ(symlink(dir.File("lonely.txt").c_str(), (tree + "/filelink").c_str()), 0);
    ASSERT_EQ(symlink(dir.File("nowhere").c_str(), (tree + "/dangling").c_str()), 0);
    EXPECT_FALSE(KDirectoryRemove(tree.c_str(), true));
    EXPECT_FALSE(Exists(tree));
    EXPECT_EQ(ReadFile(outside + "/precious"), "keep me");
    EXPECT_EQ(ReadFile(dir.File("lonely.txt")), "keep me too");
    // A link given as the directory itself: the link goes, its target stays.
    const std::string rootLink = dir.File("rootlink");
    ASSERT_EQ(symlink(outside.c_str(), rootLink.c_str()), 0);
    EXPECT_FALSE(KDirectoryRemove((rootLink + "/").c_str(), true));
    EXPECT_FALSE(Exists(rootLink));
    EXPECT_EQ(ReadFile(outside + "/precious"), "keep me");
}

TEST(KDirectoryTest, EnsureDirectoryExistance)
{
    TempDir dir;
    EXPECT_TRUE(KEnsureDirectoryExistance("file.txt")); // nothing to create
    EXPECT_TRUE(KEnsureDirectoryExistance("/root-level-file"));
    EXPECT_TRUE(KEnsureDirectoryExistance(dir.File("a/b//c/file.txt").c_str()));
    EXPECT_TRUE(IsDirectory(dir.File("a/b/c")));
    // Shell characters are plain characters of the name.
    EXPECT_TRUE(KEnsureDirectoryExistance(dir.File("x; touch injected/$(echo y)/f").c_str()));
    EXPECT_TRUE(IsDirectory(dir.File("x; touch injected/$(echo y)")));
    EXPECT_FALSE(Exists("injected"));
    // A file in the way: the directory cannot be made, and that is reported.
    ASSERT_TRUE(WriteFile(dir.File("blocker"), ""));
    EXPECT_FALSE(KEnsureDirectoryExistance(dir.File("blocker/sub/f.txt").c_str()));

    std::string longName;
    for (int i = 0; i < 80; ++i)
        longName += "/level" + std::to_string(i);
    EXPECT_TRUE(KEnsureDirectoryExistance((dir.Path() + longName + "/f").c_str()));
    EXPECT_TRUE(IsDirectory(dir.Path() + longName));
}

TEST(KDirectoryTest, CopyFile)
{
    TempDir dir;
    std::string big;
    for (int i = 0; i < 2600000; ++i)
        big += static_cast<char>('a' + i % 23);
    ASSERT_TRUE(WriteFile(dir.File("src"), big));
    EXPECT_TRUE(KCopyFile(dir.File("dst").c_str(), dir.File("src").c_str()));
    EXPECT_EQ(ReadFile(dir.File("dst")), big);
    ASSERT_TRUE(WriteFile(dir.File("empty"), ""));
    EXPECT_TRUE(KCopyFile(dir.File("empty-copy").c_str(), dir.File("empty").c_str()));
    EXPECT_EQ(ReadFile(dir.File("empty-copy")), "");

    EXPECT_FALSE(KCopyFile(dir.File("x").c_str(), dir.File("missing").c_str()));
    EXPECT_FALSE(Exists(dir.File("x")));
    EXPECT_FALSE(KCopyFile(dir.File("no/such/dir").c_str(), dir.File("src").c_str()));
    if (Exists("/dev/full"))
    {
        EXPECT_FALSE(KCopyFile("/dev/full", dir.File("src").c_str()));
    }
}

TEST(KLibDirectories, TextHandedOutStaysWhileAnotherThreadSetsIt)
{
    KLib_SetMasterDirectory("/first/master");
    KLib_SetConfigDirectory("/first/config");
    const char* master = KLib_GetMasterDirectory();
    const char* config = KLib_GetConfigDirectory();
    std::string seen;
    std::thread([&seen] {
        KLib_SetMasterDirectory("/second/master/a/longer/one/than/before/so/that/it/moves");
        KLib_SetConfigDirectory(nullptr);
        seen = KLib_GetMasterDirectory();
    }).join();
    EXPECT_STREQ(master, "/first/master"); // the text handed out stays
    EXPECT_STREQ(config, "/first/config");
    EXPECT_EQ(seen, "/second/master/a/longer/one/than/before/so/that/it/moves");
    EXPECT_STREQ(KLib_GetMasterDirectory(), "/second/master/a/longer/one/than/before/so/that/it/moves");
    EXPECT_STREQ(KLib_GetConfigDirectory(), "");
    KLib_SetMasterDirectory("");
}
