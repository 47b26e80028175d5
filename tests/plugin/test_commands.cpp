// Start-up, registration, the commands and the translator, through the host
// stand-in and through zelt.
#include "plugin_test_util.h"

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "base/kpath.h"
#include "common/qox_test_files.h"
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
    const Strings fallbacks{fallback};
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
    EXPECT_EQ(QoxZeltFindPluginDirectory((locked + ";" + open).c_str(), {dir.Path()}), open + "/");
    EXPECT_EQ(QoxZeltFindPluginDirectory(locked.c_str(), {dir.Path()}), dir.Path() + "/");
    // A fallback that cannot be written is passed over as well.
    EXPECT_EQ(QoxZeltFindPluginDirectory(nullptr, {locked, open + "//"}), open + "/");
}

TEST(PluginDirectory, FallsBackToTheTemporaryFolderWhereUsrTmpIsMissing)
{
    // A fake root: "usr/tmp", the temporary directory and "tmp" under it,
    // each there or not. The first that is a writable folder is taken,
    // the last when none is.
    qoxtest::TempDir root;
    const std::string usrTmp = root.File("usr/tmp"), temporary = root.File("scratch"), tmp = root.File("tmp");
    struct Row
    {
        bool mUsrTmp, mTemporary, mTmp;
        bool mTemporaryGiven;
        std::string mExpected;
    };
    const Row rows[] = {
        {true, true, true, true, usrTmp + "/"},      // as before where /usr/tmp/ is there
        {false, true, true, true, temporary + "/"},  // $TMPDIR where it is missing
        {false, true, true, false, tmp + "/"},       // no $TMPDIR: /tmp/
        {false, false, true, true, tmp + "/"},       // a $TMPDIR that is missing too
        {false, false, false, true, tmp + "/"},      // none there: the last
        {true, false, false, true, usrTmp + "/"},
    };
    for (const Row& row : rows)
    {
        const std::string expected = row.mExpected;
        SCOPED_TRACE(expected);
        mkdir(root.File("usr").c_str(), 0755);
        for (const auto& [path, there] : {std::pair{usrTmp, row.mUsrTmp}, std::pair{temporary, row.mTemporary},
                                          std::pair{tmp, row.mTmp}})
            there ? (void)mkdir(path.c_str(), 0755) : (void)rmdir(path.c_str());
        Strings fallbacks{usrTmp + "/"};
        if (row.mTemporaryGiven)
            fallbacks.push_back(temporary);
        fallbacks.push_back(tmp + "/");
        EXPECT_EQ(QoxZeltFindPluginDirectory(nullptr, fallbacks), expected);
    }
    // A file where a folder is looked for is passed over.
    rmdir(usrTmp.c_str());
    Touch(usrTmp);
    mkdir(tmp.c_str(), 0755);
    EXPECT_EQ(QoxZeltFindPluginDirectory(nullptr, {usrTmp + "/", tmp}), tmp + "/");
}

TEST(PluginDirectory, TheFallbacksAreUsrTmpThenTmpdirThenTmp)
{
    EXPECT_EQ(QoxZeltFallbackDirectories(nullptr), (Strings{"/usr/tmp/", "/tmp/"}));
    EXPECT_EQ(QoxZeltFallbackDirectories(""), (Strings{"/usr/tmp/", "/tmp/"}));
    EXPECT_EQ(QoxZeltFallbackDirectories("/scratch/me//"), (Strings{"/usr/tmp/", "/scratch/me/", "/tmp/"}));
}

TEST(PluginDirectory, LogPathHasOneSeparatorWhateverTheDirectoryEndsWith)
{
    for (const char* master : {"/tmp/x", "/tmp/x/"})
    {
        KLib_SetMasterDirectory(master);
        EXPECT_EQ(QoxZeltLogPath(), "/tmp/x/qoxzeltlog.txt") << master;
    }
}

TEST_F(PluginTest, WithoutAPathListTheSettingsGoToTheTemporaryFolder)
{
    // A system without /usr/tmp/ (Debian): the settings are saved in $TMPDIR.
    struct stat info;
    if (stat("/usr/tmp", &info) == 0)
        GTEST_SKIP() << "this system has /usr/tmp";
    const std::string temporary = mDir.File("scratch");
    ASSERT_EQ(mkdir(temporary.c_str(), 0700), 0);
    const char* previous = getenv("TMPDIR");
    const std::string kept = previous ? previous : "";
    unsetenv("ZELT_PLUG_IN_PATH");
    setenv("TMPDIR", temporary.c_str(), 1);
    const ZStatus loaded = Load();
    ZStatus status;
    if (loaded)
        Run("QOXSetUserParams", &status);
    previous ? setenv("TMPDIR", kept.c_str(), 1) : unsetenv("TMPDIR");
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(status) << status.errorString();
    EXPECT_NE(qoxtest::ReadFile(temporary + "/registry.txt").find("[UserParams]"), std::string::npos);
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
    const std::string command = std::string(ZELT_PATH) + " -p " + mDir.File("qoxzelt.so") + " " +
                                mDir.File("read.zelt") + " >" + mDir.File("out.txt") + " 2>" + mDir.File("err.txt");
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
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
    const std::string command = std::string(ZELT_PATH) + " -p " + mDir.File("qoxzelt.so") + " " +
                                mDir.File("run.zelt") + " >" + mDir.File("out.txt") + " 2>" + mDir.File("err.txt");
    int status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1);
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
