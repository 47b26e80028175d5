// Start-up, registration, the commands and the translator, through the host
// stand-in and through zelt.
#include "plugin_test_util.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "base/kpath.h"
#include "common/qox_test_files.h"
#include "common/qox_test_run.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"
#include "plugin/qoxzeltplugin.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

namespace {

using namespace qoxsdk_600;
using Strings = std::vector<std::string>;

const char* const kCommandNames[] = {
    "QOXImport",      "QOXRead",           "QOXGetTakeCount",         "QOXGetTakeIndex",
    "QOXGetTakeName", "QOXGetTakeComment", "QOXGetTakeLocalTimeSpan", "QOXGetTakeReferenceTimeSpan",
    "QOXImportMode",  "QOXSetUserParams",  "QOXCharacterPreLoad",     "QOXCharacterPostLoad"};

void Touch(const std::string& path)
{
    std::ofstream(path) << "x";
}

// The text of any file the plug-in is given that is not a native scene file.
const std::string kNativeOnly = "File is corrupted: the plug-in reads native scene files only";

// A triangle exported to path in another format than the native one.
bool WriteForeignFile(const std::string& path, int format)
{
    KQoxRegisterGeometryFormats();
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxMesh* mesh = manager->CreateKQoxMesh();
    mesh->InitControlPoints(3);
    for (int i = 0; i < 3; ++i)
        mesh->GetControlPoints()[i] = KQoxVector4(i == 1, i == 2, 0);
    mesh->BeginPolygon();
    for (int i = 0; i < 3; ++i)
        mesh->AddPolygon(i);
    mesh->EndPolygon();
    KQoxNode* node = manager->CreateKQoxNode("Tri");
    node->SetNodeAttribute(mesh);
    scene.GetRootNode()->AddChild(node);
    KQoxExporter exporter(*manager);
    std::unique_ptr<KStreamOptions> options;
    if (!exporter.Initialize(path.c_str()) || !exporter.SetFileFormat(format))
        return false;
    options.reset(exporter.GetExportOptions());
    return exporter.Export(scene, options.get());
}

TEST(PluginDirectory, ChosenFromThePathList)
{
    qoxtest::TempDir dir;
    const std::string a = dir.File("a"), b = dir.File("b"), c = dir.File("c"), d = dir.File("d");
    const std::string fallback = dir.File("fallback");
    for (const std::string& sub : {a, b, c, d, fallback})
        mkdir(sub.c_str(), 0755);
    Touch(a + "/other.so");
    Touch(b + "/QoxZelt_6.SO"); // extension in upper case: not the plug-in
    Touch(c + "/QOXZELT.so");
    Touch(d + "/qoxzelt.so.txt");
    const std::string& fallbacks = fallback; // the user folder
    const struct
    {
        const char* mList;
        std::string mExpected;
    } rows[] = {
        {nullptr, fallback + "/"},
        {"", fallback + "/"},
        {"/nowhere/at/all", fallback + "/"},
        {"", fallback + "/"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(QoxZeltFindPluginDirectory(row.mList, fallbacks), row.mExpected) << (row.mList ? row.mList : "null");
    EXPECT_EQ(QoxZeltFindPluginDirectory((a + ";" + b + ";" + d).c_str(), fallbacks), fallback + "/");
    // The first qualifying entry wins; trailing separators give one "/".
    EXPECT_EQ(QoxZeltFindPluginDirectory((a + ";" + c + "//;" + b).c_str(), fallbacks), c + "/");
    EXPECT_EQ(QoxZeltFindPluginDirectory((";;" + c).c_str(), fallbacks), c + "/");
}

TEST(PluginDirectory, UnwritableEntryIsPassedOver)
{
    qoxtest::TempDir dir;
    const std::string locked = dir.File("locked"), open = dir.File("open");
    mkdir(locked.c_str(), 0755);
    mkdir(open.c_str(), 0755);
    Touch(locked + "/qoxzelt.so");
    Touch(open + "/qoxzelt.so");
    chmod(locked.c_str(), 0555);
    if (access(locked.c_str(), W_OK) == 0)
        GTEST_SKIP() << "permissions do not bind this user";
    EXPECT_EQ(QoxZeltFindPluginDirectory((locked + ";" + open).c_str(), dir.Path()), open + "/");
    EXPECT_EQ(QoxZeltFindPluginDirectory(locked.c_str(), dir.Path()), dir.Path() + "/");
    // A user folder other users may write is passed over too, for none.
    chmod(open.c_str(), 0777);
    EXPECT_EQ(QoxZeltFindPluginDirectory(locked.c_str(), open + "//"), "");
}

TEST(PluginDirectory, TheUserFolderFollowsXdgConfigHomeElseHome)
{
    const passwd* entry = getpwuid(geteuid());
    ASSERT_NE(entry, nullptr);
    const std::string database = std::string(entry->pw_dir) + "/.config/qoxzelt/";
    const struct
    {
        const char* mConfigHome;
        const char* mHome;
        std::string mExpected;
    } rows[] = {
        {"/x/cfg", "/h", "/x/cfg/qoxzelt/"},
        {"/x/cfg//", nullptr, "/x/cfg/qoxzelt/"},
        {"cfg", "/h", "/h/.config/qoxzelt/"}, // a relative one is ignored
        {"", "/h/", "/h/.config/qoxzelt/"},
        {nullptr, "/h", "/h/.config/qoxzelt/"},
        {nullptr, nullptr, database}, // no $HOME: the user database's
        {nullptr, "h", database},
        {"", "", database},
    };
    for (const auto& row : rows)
        EXPECT_EQ(QoxZeltUserFolderPath(row.mConfigHome, row.mHome), row.mExpected)
            << (row.mConfigHome ? row.mConfigHome : "null") << " " << (row.mHome ? row.mHome : "null");
}

TEST(PluginDirectory, TheUserFolderIsMade0700OrRefused)
{
    // In a test folder: "p" above "p/a" above the user folder "p/a/qoxzelt",
    // "shared" (0777) and "own" (0700) beside them.
    const uid_t self = geteuid(), nobody = 65534;
    const int kMissing = -1, kFile = -2, kLinkToShared = -3, kLinkToOwn = -4, kSharedGroup = 65534;
    const struct
    {
        mode_t mParentMode;
        bool mParentOthers; // another user's
        int mFolder;        // its mode, or one of the kinds above
        bool mFolderOthers;
        std::string mRefused; // "": accepted; else the folder named and why
        mode_t mModeAfter;
        int mFolderGroup = -1; // when not the user's primary group
    } rows[] = {
        {0700, false, kMissing, false, "", 0700}, // made, with p/a, whatever the umask
        {0700, false, 0755, false, "", 0755},
        {0700, false, 0500, false, "", 0700},
        {0700, false, 0777, false, "p/a/qoxzelt can be written by other users", 0777},
        {0700, false, 0770, false, "p/a/qoxzelt can be written by other users", 0770, kSharedGroup},
        {0700, false, 0700, true, "p/a/qoxzelt belongs to another user", 0700},
        {0700, false, kFile, false, "p/a/qoxzelt is not a folder", 0644},
        {0777, false, 0700, false, "p can be written by other users", 0700},
        {01777, false, kMissing, false, "", 0700}, // sticky: others cannot move it
        {0755, true, 0700, false, "p belongs to another user", 0700},
        {0700, false, kLinkToShared, false, "shared can be written by other users", 0777},
        {0700, false, kLinkToOwn, false, "", 0700},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.mRefused + " " + std::to_string(row.mFolder));
        if ((row.mParentOthers || row.mFolderOthers || row.mFolderGroup >= 0) && self != 0)
            continue; // giving a file away takes root
        qoxtest::TempDir dir;
        char real[PATH_MAX];
        ASSERT_TRUE(realpath(dir.Path().c_str(), real));
        const std::string base = real, parent = base + "/p", folder = parent + "/a/qoxzelt";
        mkdir(parent.c_str(), 0700);
        mkdir(dir.File("own").c_str(), 0700);
        mkdir(dir.File("shared").c_str(), 0700);
        chmod(dir.File("shared").c_str(), 0777);
        if (row.mFolder != kMissing)
            mkdir((parent + "/a").c_str(), 0700);
        if (row.mFolder == kFile)
        {
            Touch(folder);
            chmod(folder.c_str(), 0644); // whatever the umask
        }
        const char* target = row.mFolder == kLinkToOwn ? "own" : "shared";
        ASSERT_TRUE(row.mFolder >= kFile || symlink(dir.File(target).c_str(), folder.c_str()) == 0);
        ASSERT_TRUE(row.mFolder < 0 ||
                    (mkdir(folder.c_str(), 0700) == 0 && chmod(folder.c_str(), row.mFolder) == 0 &&
                     chown(folder.c_str(), row.mFolderOthers ? nobody : self, row.mFolderGroup) == 0));
        ASSERT_EQ(chmod(parent.c_str(), row.mParentMode) | chown(parent.c_str(), row.mParentOthers ? nobody : self, -1),
                  0);
        const mode_t umasked = umask(0277);
        std::string why = "(none)";
        const std::string found = QoxZeltFindPluginDirectory(nullptr, folder, &why);
        umask(umasked);
        EXPECT_EQ(found, row.mRefused.empty() ? folder + "/" : "");
        EXPECT_EQ(why, row.mRefused.empty() ? "(none)" : base + "/" + row.mRefused);
        struct stat info;
        EXPECT_TRUE(stat(folder.c_str(), &info) == 0 && (info.st_mode & 07777) == row.mModeAfter);
        EXPECT_TRUE(stat((parent + "/a").c_str(), &info) == 0 && (info.st_mode & 07777) == 0700);
    }
}

TEST(PluginDirectory, LogPathHasOneSeparatorWhateverTheDirectoryEndsWith)
{
    for (const char* master : {"/tmp/x", "/tmp/x/"})
    {
        KLib_SetMasterDirectory(master);
        EXPECT_EQ(QoxZeltLogPath(), "/tmp/x/qoxzeltlog.txt") << master;
    }
    KLib_SetMasterDirectory("");
    EXPECT_EQ(QoxZeltLogPath(), ""); // no folder, no log
}

TEST_F(PluginTest, WithoutAPathListTheSettingsGoToTheUsersOwnFolder)
{
    const uid_t self = geteuid(), nobody = 65534;
    const std::string home = getenv("HOME") ? getenv("HOME") : "", mine = "[UserParams]\nkImportLoadMode = kMerge\n";
    unsetenv("ZELT_PLUG_IN_PATH");
    const struct
    {
        bool mXdg;          // $XDG_CONFIG_HOME names the folder above, else $HOME does
        mode_t mFile;       // of a registry.txt holding kMerge there beforehand (0: none)
        bool mFileOthers;   // another user's
        mode_t mFolderMode; // of the user folder made beforehand (0: none)
        bool mFolderOthers;
        const char* mRead;        // the import mode the plug-in starts with
        const char* mRefused;     // "": the settings and log go there; else the end of the warning
        const char* mFileRefused; // "": the file is read and saved; else the end of the file's warning
    } rows[] = {
        {true, 0, false, 0, false, "kCreate", "", ""},
        {false, 0, false, 0, false, "kCreate", "", ""},
        {true, 0600, false, 0700, false, "kMerge", "", ""},
        {true, 0666, false, 0700, false, "kCreate", "", " can be written by other users"},
        {false, 0644, true, 0700, false, "kCreate", "", " belongs to another user"},
        {true, 0644, false, 0777, false, "kCreate", " can be written by other users", ""},
        {false, 0644, false, 0700, true, "kCreate", " belongs to another user", ""},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(std::string(row.mRead) + row.mRefused + " " + std::to_string(row.mFile));
        if ((row.mFileOthers || row.mFolderOthers) && self != 0)
            continue; // giving a file away takes root
        qoxtest::TempDir dir;
        setenv("XDG_CONFIG_HOME", row.mXdg ? dir.File("config").c_str() : "relative", 1);
        setenv("HOME", dir.File("home").c_str(), 1);
        const std::string folder = dir.File(row.mXdg ? "config/qoxzelt" : "home/.config/qoxzelt");
        const std::string settings = folder + "/registry.txt";
        if (row.mFolderMode)
        {
            std::filesystem::create_directories(folder);
            ASSERT_EQ(chmod(folder.c_str(), row.mFolderMode) |
                          chown(folder.c_str(), row.mFolderOthers ? nobody : self, -1),
                      0);
        }
        ASSERT_TRUE(!row.mFile || (qoxtest::WriteFile(settings, mine) && chmod(settings.c_str(), row.mFile) == 0 &&
                                   chown(settings.c_str(), row.mFileOthers ? nobody : self, -1) == 0));
        zelthost::Host::Get().ClearTranscript();
        ASSERT_TRUE(Load());
        EXPECT_EQ(Run("QOXImportMode"), Strings{row.mRead});
        ZStatus saved, failed;
        Run("QOXSetUserParams", &saved);
        // A failed import has a line to log: without a folder it goes
        // nowhere (not into the working folder).
        const std::string logHere = qoxtest::ReadFile("qoxzeltlog.txt");
        ASSERT_TRUE(qoxtest::WriteFile(dir.File("junk.qox"), std::string(300, '\x7f')));
        Run("QOXImport -f \"" + dir.File("junk.qox") + "\"", &failed);
        EXPECT_EQ(qoxtest::ReadFile("qoxzeltlog.txt"), logHere);
        EXPECT_EQ(qoxtest::ReadFile(folder + "/qoxzeltlog.txt").find("\tFile is corrupted") != std::string::npos,
                  !*row.mRefused);
        Run("QOXImportMode add");
        zelthost::Host::Get().UnloadAllPlugins(); // saves the settings once more

        const Strings warnings = HostWarnings();
        char real[PATH_MAX];
        ASSERT_TRUE(realpath(folder.c_str(), real));
        const std::string warning = "The settings are kept in memory only and no log is written: ";
        EXPECT_EQ(warnings, *row.mRefused       ? Strings{warning + real + row.mRefused}
                            : *row.mFileRefused ? Strings{kSettingsNotReadWarning + settings + row.mFileRefused}
                                                : Strings{});
        const bool kept = *row.mRefused || *row.mFileRefused;
        EXPECT_EQ(static_cast<bool>(saved), !kept);
        // Made 0700, or found; a file of the user's own (0600, as the one
        // read was) replaces it, or what was not read is left alone.
        struct stat info;
        for (const std::string& made : {folder, folder.substr(0, folder.rfind('/'))})
            EXPECT_TRUE(row.mFolderMode || (stat(made.c_str(), &info) == 0 && (info.st_mode & 07777) == 0700)) << made;
        ASSERT_EQ(stat(settings.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid == self && (info.st_mode & 07777) == 0600, !kept || row.mFile == 0600);
        if (kept)
        {
            EXPECT_EQ(qoxtest::ReadFile(settings), mine);
        }
        EXPECT_EQ(qoxtest::ReadFile(settings).find("kImportLoadMode = kCreate\n") != std::string::npos, !kept);
    }
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
}

// Whatever stands at "registry.txt" that is not read as settings is named,
// with its cause, in a warning when the plug-in loads, and left as it is:
// neither QOXSetUserParams nor the unloading saves over it. A file of the
// user's own that only the user's private group may write (as umask 002
// leaves it where each user has a group of their own: root's is) is read.
TEST_F(PluginTest, ASettingsFileNotReadIsAnnouncedAndLeftAsItIs)
{
    const uid_t self = geteuid(), nobody = 65534;
    const int kLink = -1, kFifo = -2, kFolder = -3, kAcl = -4, kNoGroup = 65534;
    const struct
    {
        int mMode;          // the file's, as the umask left it, or another kind
        bool mOthers;       // another user's
        int mGroup;         // the file's group when not the owner's own (-1)
        const char* mCause; // "": read; else the end of the warning
    } rows[] = {
        {0600, false, -1, ""},
        {0664, false, -1, ""}, // umask 002, the user's private group
        {0664, false, kNoGroup, " can be written by other users"},
        {kAcl, false, -1, " can be written by other users"}, // the private group, and another user
        {0666, false, -1, " can be written by other users"},
        {0644, true, -1, " belongs to another user"},
        {0200, false, -1, self == 0 ? "" : ": Permission denied"},
        {kLink, false, -1, " is a symbolic link"},
        {kFifo, false, -1, " is not a regular file"},
        {kFolder, false, -1, " is not a regular file"},
    };
    const std::string mine = "[UserParams]\nkImportLoadMode = kMerge\n", path = mDir.File("registry.txt"),
                      target = mDir.File("elsewhere.txt");
    for (const auto& row : rows)
    {
        SCOPED_TRACE(std::to_string(row.mMode) + " " + std::to_string(row.mGroup) + row.mCause);
        if (self != 0 && (row.mOthers || row.mGroup >= 0 || row.mMode == 0664 || row.mMode == kAcl))
            continue; // giving a file away takes root, and whose group is private the user database tells
        std::filesystem::remove_all(path);
        const mode_t umasked = umask(row.mMode > 0 ? ~row.mMode & 0777 : 0);
        ASSERT_TRUE(qoxtest::WriteFile(target, mine) &&
                    (row.mMode == kLink     ? symlink(target.c_str(), path.c_str()) == 0
                     : row.mMode == kFifo   ? mkfifo(path.c_str(), 0600) == 0
                     : row.mMode == kFolder ? mkdir(path.c_str(), 0700) == 0
                                            : qoxtest::WriteFile(path, mine)) &&
                    lchown(path.c_str(), row.mOthers ? nobody : self, row.mGroup) == 0);
        umask(umasked);
        const std::string acl = qoxtest::AccessAcl(nobody, 6);
        if (row.mMode == kAcl && setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)
            continue; // no access lists on this file system
        struct stat before, after;
        ASSERT_EQ(lstat(path.c_str(), &before), 0);

        zelthost::Host::Get().ClearTranscript();
        ASSERT_TRUE(Load());
        const bool read = !*row.mCause;
        EXPECT_EQ(Run("QOXImportMode"), Strings{read ? "kMerge" : "kCreate"});
        ZStatus saved;
        Run("QOXImportMode add; QOXSetUserParams", &saved);
        EXPECT_EQ(static_cast<bool>(saved), read);
        zelthost::Host::Get().UnloadAllPlugins(); // saves once more
        EXPECT_EQ(HostWarnings(), read ? Strings{} : Strings{kSettingsNotReadWarning + path + row.mCause});
        ASSERT_EQ(lstat(path.c_str(), &after), 0);
        if (read)
            EXPECT_TRUE(S_ISREG(after.st_mode) && after.st_mode == before.st_mode && after.st_uid == self &&
                        after.st_gid == before.st_gid &&
                        qoxtest::ReadFile(path).find("kImportLoadMode = kCreate\n") != std::string::npos);
        else
            EXPECT_TRUE(after.st_ino == before.st_ino && after.st_mode == before.st_mode &&
                        after.st_uid == before.st_uid && after.st_gid == before.st_gid &&
                        (!S_ISREG(after.st_mode) || !(after.st_mode & S_IRUSR) || qoxtest::ReadFile(path) == mine));
        EXPECT_EQ(qoxtest::ReadFile(target), mine);
        EXPECT_EQ(qoxtest::ListDirectory(mDir.Path()), (Strings{"elsewhere.txt", "qoxzelt.so", "registry.txt"}));
    }
}

// A settings file not read when the plug-in loaded stays as it is even
// when it could be read by the time the settings are saved (its mode put
// right, or something else put at its name meanwhile): the settings the
// host holds were never read from it, and the warning said they are kept in
// memory only.
TEST_F(PluginTest, ASettingsFileNotReadAtLoadIsNotSavedOverOnceItCouldBe)
{
    const std::string mine = "[UserParams]\nkImportLoadMode = kMerge\n[Other]\nKept = 1\n",
                      path = mDir.File("registry.txt");
    for (const bool replaced : {false, true})
    {
        SCOPED_TRACE(replaced ? "a file of the user's own put at its name" : "its mode put right");
        ASSERT_TRUE(qoxtest::WriteFile(path, mine) && chmod(path.c_str(), 0666) == 0);
        zelthost::Host::Get().ClearTranscript();
        ASSERT_TRUE(Load());
        EXPECT_EQ(HostWarnings(), Strings{kSettingsNotReadWarning + path + " can be written by other users"});
        if (replaced)
        {
            ASSERT_TRUE(unlink(path.c_str()) == 0 && qoxtest::WriteFile(path, mine));
        }
        ASSERT_EQ(chmod(path.c_str(), 0600), 0);
        ZStatus saved;
        Run("QOXImportMode add; QOXSetUserParams", &saved);
        EXPECT_FALSE(saved);
        zelthost::Host::Get().UnloadAllPlugins();
        EXPECT_EQ(qoxtest::ReadFile(path), mine);
        EXPECT_EQ(qoxtest::ListDirectory(mDir.Path()), (Strings{"qoxzelt.so", "registry.txt"}));
    }
}

// A settings file edited by hand: a line that is no setting is told at
// load with its file and number, and the file as it was is kept aside
// before the save at unloading replaces it. A save at unloading that fails
// (a full disk) is told, the file left as it was.
TEST_F(PluginTest, SettingsLinesLeftOutAndFailedSavesAreTold)
{
    const std::string path = mDir.File("registry.txt"), bak = path + ".bak";
    const struct
    {
        const char* mWhat;
        std::string mText;                 // the file before the load
        bool mFull;                        // the disk full at unloading
        Strings mLoad, mUnload;            // the warnings
        const char* mMode;                 // the import mode read
        Strings mFiles;                    // in the folder at the end
    } rows[] = {
        {"a line by hand",
         "[UserParams]\nkImportLoadMode: kMerge\nkImportShowUI = false\n",
         false,
         {path + ", line 2, is no setting (\"key = value\" in a section) and is left out: kImportLoadMode: kMerge",
          "The settings file as it was is kept as " + bak},
         {},
         "kCreate",
         {"qoxzelt.so", "registry.txt", "registry.txt.bak"}},
        {"a line by hand with control characters, told escaped",
         "[UserParams]\nkImport\x1b[2J\tLoad\rMode: kMerge\x7f\nkImportShowUI = false\n",
         false,
         {path + ", line 2, is no setting (\"key = value\" in a section) and is left out: "
                 "kImport\\e[2J\\tLoad\\rMode: kMerge\\x7F",
          "The settings file as it was is kept as " + bak},
         {},
         "kCreate",
         {"qoxzelt.so", "registry.txt", "registry.txt.bak"}},
        {"a full disk",
         "[UserParams]\nkImportLoadMode = kMerge\n",
         true,
         {},
         {"The settings could not be saved, their file is left as it was: " + path + ": File too large"},
         "kMerge",
         {"qoxzelt.so", "registry.txt"}},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.mWhat);
        std::filesystem::remove(bak);
        ASSERT_TRUE(qoxtest::WriteFile(path, row.mText));
        zelthost::Host::Get().ClearTranscript();
        ASSERT_TRUE(Load());
        EXPECT_EQ(HostWarnings(), row.mLoad);
        EXPECT_EQ(Run("QOXImportMode"), Strings{row.mMode});
        Run("QOXImportMode exmerge");
        zelthost::Host::Get().ClearTranscript();
        {
            std::unique_ptr<qoxtest::FileSizeLimit> full(row.mFull ? new qoxtest::FileSizeLimit(16) : nullptr);
            zelthost::Host::Get().UnloadAllPlugins();
        }
        EXPECT_EQ(HostWarnings(), row.mUnload);
        const std::string after = qoxtest::ReadFile(path);
        EXPECT_EQ(after == row.mText, row.mFull);
        EXPECT_EQ(after.find("kImportShowUI = false\n") != std::string::npos, !row.mFull);
        EXPECT_EQ(after.find("kImportLoadMode = kExclusiveMerge\n") != std::string::npos, !row.mFull);
        EXPECT_EQ(qoxtest::ListDirectory(mDir.Path()), row.mFiles);
        EXPECT_TRUE(row.mFull || qoxtest::ReadFile(bak) == row.mText);
    }
}

TEST_F(PluginTest, LoadRegistersEverythingAndUnloadRemovesIt)
{
    ASSERT_TRUE(Load());
    for (const char* name : kCommandNames)
    {
        ZStatus st;
        Run(name, &st);
        EXPECT_NE(st.errorString(), std::string("Cannot find procedure \"") + name + "\"");
    }
    // Settings live in the plug-in's directory.
    Run("QOXSetUserParams");
    EXPECT_NE(qoxtest::ReadFile(mDir.File("registry.txt")).find("[UserParams]"), std::string::npos);

    ASSERT_TRUE(zelthost::Host::Get().UnloadPlugin("qoxzelt"));
    for (const char* name : kCommandNames)
        EXPECT_EQ(RunError(name), std::string("Cannot find procedure \"") + name + "\"");
    EXPECT_EQ(RunError("file -import \"" + mDir.File("a.qox") + "\""),
              "file: No file translator for " + mDir.File("a.qox"));
    // And again: nothing is left registered that blocks a second load.
    ASSERT_TRUE(Load());
    EXPECT_EQ(Run("QOXGetTakeCount"), Strings{"0"});
}

TEST_F(PluginTest, TakeQueriesReadTheOpenFile)
{
    ASSERT_TRUE(Load());
    for (bool ascii : {false, true})
    {
        const std::string file = mDir.File(ascii ? "takes_ascii.qox" : "takes.qox");
        ASSERT_TRUE(WriteTakeFile(file, ascii));
        EXPECT_EQ(Run("QOXRead -f \"" + file + "\""), Strings{"2"});
        EXPECT_EQ(Run("QOXGetTakeCount"), Strings{"2"});
        EXPECT_EQ(Run("QOXGetTakeIndex Walk"), Strings{"0"});
        EXPECT_EQ(Run("QOXGetTakeIndex Run"), Strings{"1"});
        EXPECT_EQ(Run("QOXGetTakeIndex Jump"), Strings{"-1"});
        EXPECT_EQ(Run("QOXGetTakeName 0"), Strings{"Walk"});
        EXPECT_EQ(Run("QOXGetTakeComment Walk"), Strings{"slow"});
        EXPECT_EQ(Run("QOXGetTakeComment 1"), Strings{""});
        EXPECT_EQ(Run("QOXGetTakeLocalTimeSpan 0"), (Strings{"1", "3"}));
        EXPECT_EQ(Run("QOXGetTakeReferenceTimeSpan 0"), (Strings{"0", "4"}));
        EXPECT_EQ(Run("QOXGetTakeLocalTimeSpan Run"), (Strings{"0.5", "2"}));
        EXPECT_EQ(RunError("QOXGetTakeName 7"), "QOXGetTakeName: No such take: 7");
        EXPECT_EQ(RunError("QOXGetTakeName -1"), "QOXGetTakeName: No such take: -1");
    }
}

TEST_F(PluginTest, CommandsRefuseMissingArgumentsWithUsage)
{
    ASSERT_TRUE(Load());
    const struct
    {
        const char* mText;
        const char* mError;
    } rows[] = {
        {"QOXImport", "QOXImport: Use syntax: QOXImport -f \"filename\" [-caller name]"},
        {"QOXImport -f", "QOXImport: Use syntax: QOXImport -f \"filename\" [-caller name]"},
        {"QOXRead", "QOXRead: Use syntax: QOXRead -f \"filename\""},
        {"QOXGetTakeIndex", "QOXGetTakeIndex: Use syntax: QOXGetTakeIndex \"take name\""},
        {"QOXGetTakeName", "QOXGetTakeName: Use syntax: QOXGetTakeName takeIndex"},
        {"QOXGetTakeComment", "QOXGetTakeComment: Use syntax: QOXGetTakeComment takeIndex"},
        {"QOXGetTakeReferenceTimeSpan",
         "QOXGetTakeReferenceTimeSpan: Use syntax: QOXGetTakeReferenceTimeSpan takeIndex"},
        {"QOXImportMode 3",
         "QOXImportMode: Use syntax: QOXImportMode [0|1|2|exmerge|merge|add|kExclusiveMerge|kMerge|kCreate]"},
        {"QOXImportMode kAdd",
         "QOXImportMode: Use syntax: QOXImportMode [0|1|2|exmerge|merge|add|kExclusiveMerge|kMerge|kCreate]"},
        {"QOXImportMode Merge",
         "QOXImportMode: Use syntax: QOXImportMode [0|1|2|exmerge|merge|add|kExclusiveMerge|kMerge|kCreate]"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RunError(row.mText), row.mError);
}

TEST_F(PluginTest, MissingOrDamagedFileHasNoTakes)
{
    ASSERT_TRUE(Load());
    EXPECT_EQ(RunError("QOXRead -f \"" + mDir.File("missing.qox") + "\""), "QOXRead: File not opened: no such file");
    EXPECT_EQ(Run("QOXGetTakeCount"), Strings{"0"});
    EXPECT_EQ(RunError("QOXGetTakeName 0"), "QOXGetTakeName: No such take: 0");
    ASSERT_TRUE(qoxtest::WriteFile(mDir.File("junk.qox"), std::string(300, '\x7f')));
    EXPECT_EQ(RunError("QOXRead -f \"" + mDir.File("junk.qox") + "\""), "QOXRead: " + kNativeOnly);
    EXPECT_EQ(Run("QOXGetTakeCount"), Strings{"0"});
    // The import reports the reader's cause, and is gone afterwards.
    EXPECT_EQ(RunError("QOXImport -f \"" + mDir.File("junk.qox") + "\""), "QOXImport: " + kNativeOnly);
    EXPECT_EQ(Run("QOXGetTakeCount"), Strings{"0"});
}

// A file that does not open stops a script at QOXRead as at QOXImport, with
// the same cause; a file that opened but holds no scene is not "not opened".
// The plug-in reads native files only: another format's file, under its own
// extension, is told so.
TEST_F(PluginTest, ReadFailsAsImportDoesForFilesThatDoNotOpen)
{
    ASSERT_TRUE(Load());
    Run("createNode transform -n keep");
    ASSERT_TRUE(qoxtest::WriteFile(mDir.File("empty.qox"), ""));
    ASSERT_TRUE(qoxtest::WriteFile(mDir.File("text.qox"), "Some words, not a scene.\n"));
    ASSERT_TRUE(qoxtest::WriteFile(mDir.File("image.qox"), std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16)));
    ASSERT_EQ(mkdir(mDir.File("folder.qox").c_str(), 0755), 0);
    ASSERT_TRUE(WriteForeignFile(mDir.File("tri.obj"), eEXPORT_OBJ));
    ASSERT_TRUE(WriteForeignFile(mDir.File("tri.dxf"), eEXPORT_DXF));
    ASSERT_TRUE(WriteForeignFile(mDir.File("tri.3ds"), eEXPORT_3DS));
    const struct
    {
        std::string mFile;
        std::string mError;
    } rows[] = {{mDir.File("missing.qox"), "File not opened: no such file"},
                {mDir.File(std::string(5000, 'n')), "File not opened: the name is too long"},
                {mDir.File("folder.qox"), "File not opened: it is a directory"},
                {mDir.File("empty.qox"), "File is corrupted: the file is empty"},
                {mDir.File("text.qox"), kNativeOnly},
                {mDir.File("image.qox"), kNativeOnly},
                {mDir.File("tri.obj"), kNativeOnly},
                {mDir.File("tri.dxf"), kNativeOnly},
                {mDir.File("tri.3ds"), kNativeOnly}};
    for (const auto& row : rows)
    {
        const std::string before = zelthost::Host::Get().ListDag();
        const std::string read = RunError("QOXRead -f \"" + row.mFile + "\"");
        const std::string import = RunError("QOXImport -f \"" + row.mFile + "\"");
        EXPECT_EQ(read, "QOXRead: " + row.mError) << row.mFile.substr(0, 80);
        EXPECT_EQ(import, "QOXImport: " + row.mError) << row.mFile.substr(0, 80);
        EXPECT_EQ(zelthost::Host::Get().ListDag(), before) << row.mFile.substr(0, 80);
        EXPECT_EQ(Run("QOXGetTakeCount"), Strings{"0"});
    }
    // A file of another user's that this one may not read.
    const std::string locked = mDir.File("locked.qox");
    ASSERT_TRUE(WriteTakeFile(locked));
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    ASSERT_EQ(chmod(mDir.Path().c_str(), 0755), 0);
    EXPECT_EQ(qoxtest::UnprivilegedChildText([&] { return RunError("QOXRead -f \"" + locked + "\""); }),
              "QOXRead: File not opened: permission denied");

    // Through zelt: the script stops at the read, exit 1.
    ASSERT_TRUE(qoxtest::WriteFile(mDir.File("read.zelt"),
                                   "QOXRead -f \"" + mDir.File("folder.qox") + "\"\nprint \"after\"\n"));
    qoxtest::Command command;
    command.mArguments = {ZELT_PATH, "-p", mDir.File("qoxzelt.so"), mDir.File("read.zelt")};
    command.mOutput = mDir.File("out.txt");
    command.mErrors = mDir.File("err.txt");
    const int code = qoxtest::Run(command).mExit;
    EXPECT_EQ(code, 1);
    EXPECT_EQ(qoxtest::ReadFile(mDir.File("out.txt")), "");
    EXPECT_NE(qoxtest::ReadFile(mDir.File("err.txt")).find("read.zelt:1: QOXRead: "), std::string::npos);
}

TEST_F(PluginTest, ImportReadsTheFileAndDropsTheImportObject)
{
    ASSERT_TRUE(Load());
    const std::string file = mDir.File("takes.qox");
    ASSERT_TRUE(WriteTakeFile(file));
    EXPECT_EQ(Run("QOXRead -f \"" + file + "\""), Strings{"2"});
    EXPECT_EQ(Run("QOXImport -f \"" + file + "\" -caller \"QOXImportDialog\""), Strings{"1"});
    // The import object went with the import: no file is open any more.
    EXPECT_EQ(Run("QOXGetTakeCount"), Strings{"0"});
    // A different file replaces the open one.
    const std::string other = mDir.File("other.qox");
    ASSERT_TRUE(WriteTakeFile(other, true));
    Run("QOXRead -f \"" + file + "\"");
    EXPECT_EQ(RunError("QOXRead -f \"" + mDir.File("missing.qox") + "\""), "QOXRead: File not opened: no such file");
    EXPECT_EQ(Run("QOXRead -f \"" + other + "\""), Strings{"2"});
}

TEST_F(PluginTest, TranslatorIssuesTheImportCommand)
{
    ASSERT_TRUE(Load());
    const std::string file = mDir.File("takes.qox");
    ASSERT_TRUE(WriteTakeFile(file));
    zelthost::Host::Get().ClearTranscript();
    Run("file -import \"" + file + "\"");
    const std::string expected = "QOXImport -f \"" + file + "\" -caller \"QOXZeltTranslator\"";
    Strings commands = Commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), expected), commands.end());
}

TEST_F(PluginTest, ImportModeChangesTheSettingInMemoryOnly)
{
    ASSERT_TRUE(Load());
    EXPECT_EQ(Run("QOXImportMode"), Strings{"kCreate"});
    const struct
    {
        const char* mArgument;
        const char* mText;
    } rows[] = {{"0", "kExclusiveMerge"},
                {"kMerge", "kMerge"},
                {"2", "kCreate"},
                {"kExclusiveMerge", "kExclusiveMerge"},
                {"merge", "kMerge"},
                {"add", "kCreate"},
                {"exmerge", "kExclusiveMerge"}};
    for (const auto& row : rows)
        EXPECT_EQ(Run(std::string("QOXImportMode ") + row.mArgument), Strings{row.mText});
    EXPECT_EQ(qoxtest::ReadFile(mDir.File("registry.txt")).find("kExclusiveMerge"), std::string::npos);
    Run("QOXSetUserParams");
    EXPECT_NE(qoxtest::ReadFile(mDir.File("registry.txt")).find("kExclusiveMerge"), std::string::npos);
    // Reloading reads it back.
    ASSERT_TRUE(zelthost::Host::Get().UnloadPlugin("qoxzelt"));
    ASSERT_TRUE(Load());
    EXPECT_EQ(Run("QOXImportMode"), Strings{"kExclusiveMerge"});
}

TEST_F(PluginTest, ZeltRunsTheCommandsFromAScript)
{
    const std::string file = mDir.File("takes.qox");
    ASSERT_TRUE(WriteTakeFile(file));
    // The import drops the open file, so the last query fails on line 4.
    ASSERT_TRUE(qoxtest::WriteFile(mDir.File("run.zelt"), "QOXRead -f \"" + file +
                                                              "\"\nQOXGetTakeName 1\nQOXImport -f \"" + file +
                                                              "\"\nQOXGetTakeName 1\n"));
    qoxtest::Command command;
    command.mArguments = {ZELT_PATH, "-p", mDir.File("qoxzelt.so"), mDir.File("run.zelt")};
    command.mOutput = mDir.File("out.txt");
    command.mErrors = mDir.File("err.txt");
    const int code = qoxtest::Run(command).mExit;
    EXPECT_EQ(code, 1);
    EXPECT_NE(qoxtest::ReadFile(mDir.File("err.txt")).find("run.zelt:4: QOXGetTakeName: No such take: 1"),
              std::string::npos)
        << qoxtest::ReadFile(mDir.File("err.txt"));
}

} // namespace

namespace {

TEST_F(PluginTest, TranslatorRegistrationFailureStopsTheStartUp)
{
    ASSERT_TRUE(Load());
    // A second copy finds the translator "Qox" taken.
    std::filesystem::copy_file(mDir.File("qoxzelt.so"), mDir.File("qoxzelt2.so"));
    zelthost::Host::Get().ClearTranscript();
    EXPECT_FALSE(zelthost::Host::Get().LoadPlugin(mDir.File("qoxzelt2.so")));
    std::vector<std::string> errors = zelthost::Host::Get().Errors();
    ASSERT_FALSE(errors.empty());
    EXPECT_NE(errors.front().find("registerFileTranslator"), std::string::npos) << errors.front();
    // The first copy's commands still answer.
    EXPECT_EQ(Run("QOXGetTakeCount"), std::vector<std::string>{"0"});
}

} // namespace
