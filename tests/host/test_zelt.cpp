// Plug-ins loaded into the host, and the zelt runner on script files.
#include "host_test_util.h"

#include <fstream>

#include "common/qox_test_run.h"

namespace {

using PluginTest = HostTest;
using Strings = std::vector<std::string>;

TEST_F(PluginTest, CommandsAndTranslatorsComeAndGoWithThePlugin)
{
    zelthost::Host& host = zelthost::Host::Get();
    ASSERT_TRUE(host.LoadPlugin(HOST_TEST_PLUGIN));
    EXPECT_EQ(host.LoadPlugin(HOST_TEST_PLUGIN).errorString(), "The plug-in \"host_test_plugin\" is already loaded");
    EXPECT_EQ(Run("hello arm; hello arm"), Strings{"arm1"});
    EXPECT_EQ(RunError("hello"), "hello: hello needs a name");

    qoxtest::TempDir dir;
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("in.tst"), "leg\nfoot\n"));
    EXPECT_EQ(Run("file -import \"" + dir.File("in.tst") + "\""), Strings{dir.File("in.tst")});
    EXPECT_FALSE(Node("foot").isNull());
    Run("file -ea -type \"TestFormat\" \"" + dir.File("out.tst") + "\"");
    std::string written = qoxtest::ReadFile(dir.File("out.tst"));
    EXPECT_NE(written.find("|leg\n|foot\n"), std::string::npos);
    EXPECT_EQ(RunError("file -import \"" + dir.File("in.xyz") + "\""),
              "file: No file translator for " + dir.File("in.xyz"));
    EXPECT_EQ(RunError("file -i -type \"Other\" a.tst"), "file: No file translator named \"Other\"");

    ASSERT_TRUE(host.UnloadPlugin("host_test_plugin"));
    EXPECT_EQ(RunError("hello leg"), "Cannot find procedure \"hello\"");
    EXPECT_EQ(RunError("file -import \"" + dir.File("in.tst") + "\""),
              "file: No file translator for " + dir.File("in.tst"));
    EXPECT_FALSE(host.UnloadPlugin("host_test_plugin"));
    ZStatus st = host.LoadPlugin(dir.File("missing.so"));
    EXPECT_EQ(st.errorString().rfind("Cannot load plug-in " + dir.File("missing.so") + ": ", 0), 0u);
}

// Runs zelt with arguments; its exit code, standard output and error.
struct ZeltRun
{
    int code;
    std::string out, err;
};

ZeltRun Zelt(const qoxtest::TempDir& dir, std::vector<std::string> args)
{
    args.insert(args.begin(), ZELT_PATH);
    qoxtest::Outcome outcome = qoxtest::Run(args, dir.Path());
    return ZeltRun{outcome.mExit, outcome.mOut, outcome.mErr};
}

TEST(ZeltRunner, TheExampleBuildsAndShowsItsScene)
{
    qoxtest::TempDir dir;
    ZeltRun run = Zelt(dir, {"-d", dir.File("dump.txt"), ZELT_EXAMPLES "/hello.zelt"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("box (transform)\n  boxShape (mesh)\n  boxShapeOrig (mesh, intermediate)\n"
                           "rig:hip (joint)\n  rig:knee (joint)\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\nbox.rotateY = 172.173913043478\n"), std::string::npos); // at frame 12
    EXPECT_NE(run.out.find("skin clusters: 1\n"), std::string::npos);
    std::string dump = qoxtest::ReadFile(dir.File("dump.txt"));
    EXPECT_NE(dump.find("box_rotateY.output -> box.rotateY\n  curve type 0, 2 keys\n"
                        "    key 0.041666666666666664 s = 0 in 4 out 4 locked\n"
                        "    key 1 s = 6.2831853071795862 in 4 out 4 locked\n"),
              std::string::npos)
        << dump;
    EXPECT_NE(dump.find("boxPhong.outColor -> boxSG.surfaceShader\n"), std::string::npos);
    EXPECT_NE(dump.find("  member boxShape\n"), std::string::npos);
    EXPECT_NE(dump.find("  influences: rig:hip rig:knee\n"), std::string::npos);
}

TEST(ZeltRunner, FailuresStopTheRunUnlessToldToKeepGoing)
{
    qoxtest::TempDir dir;
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("bad.zelt"),
                                   "print \"one\"\nnope 1\nprint \"two\"\nx \"open\ngetAttr persp.nothing\n"));
    ZeltRun stop = Zelt(dir, {dir.File("bad.zelt")});
    EXPECT_EQ(stop.code, 1);
    EXPECT_EQ(stop.out, "one\n");
    EXPECT_EQ(stop.err, "Error: " + dir.File("bad.zelt") +
                            ":2: Cannot find procedure \"nope\"\n"
                            "zelt: 1 command(s) failed\n");
    ZeltRun go = Zelt(dir, {"-k", dir.File("bad.zelt")});
    EXPECT_EQ(go.code, 0);
    EXPECT_EQ(go.out, "one\ntwo\n");
    EXPECT_EQ(go.err, "Error: " + dir.File("bad.zelt") +
                          ":2: Cannot find procedure \"nope\"\n"
                          "Error: " +
                          dir.File("bad.zelt") +
                          ":4: Syntax error: unterminated string\n"
                          "Error: " +
                          dir.File("bad.zelt") +
                          ":5: getAttr: No attribute 'nothing' on persp\n"
                          "zelt: 3 command(s) failed\n");
    EXPECT_EQ(Zelt(dir, {}).code, 2);
    EXPECT_EQ(Zelt(dir, {"-x", "a.zelt"}).code, 2);
    ZeltRun missing = Zelt(dir, {dir.File("none.zelt")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("Cannot read the script " + dir.File("none.zelt")), std::string::npos);
}

TEST(ZeltRunner, PluginsLoadFromTheCommandLineOrAScript)
{
    qoxtest::TempDir dir;
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("p.zelt"), "hello world; upAxis -q -axis\nls -type transform\n"));
    ZeltRun run = Zelt(dir, {"-q", "-u", "z", "-p", HOST_TEST_PLUGIN, "-d", "-", dir.File("p.zelt")});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("world (transform)"), std::string::npos) << run.out;
    ASSERT_TRUE(
        qoxtest::WriteFile(dir.File("l.zelt"), std::string("loadPlugin \"") + HOST_TEST_PLUGIN + "\"\nhello there\n"));
    ZeltRun load = Zelt(dir, {dir.File("l.zelt")});
    EXPECT_EQ(load.code, 0) << load.err;
    EXPECT_EQ(load.out, "hello there\n");
    ZeltRun bad = Zelt(dir, {"-p", dir.File("nothing.so"), dir.File("l.zelt")});
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("Cannot load plug-in " + dir.File("nothing.so")), std::string::npos);
}

TEST(ZeltRunner, ResultsArePrintedWhenAskedFor)
{
    qoxtest::TempDir dir;
    // A line's result is its last command's; setAttr gives none, so its line prints nothing.
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("r.zelt"), "createNode joint -n hip\nsetAttr hip.translateY 2\n"
                                                       "hello leg; upAxis -q -axis\ngetAttr hip.translateY\n"));
    const std::vector<std::string> args = {"-q", "-u", "z", "-p", HOST_TEST_PLUGIN, dir.File("r.zelt")};
    std::vector<std::string> printed = args;
    printed.insert(printed.begin(), "-r");
    ZeltRun run = Zelt(dir, printed);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "// Result: hip\n// Result: z\n// Result: 2\n");
    ZeltRun quiet = Zelt(dir, args);
    EXPECT_EQ(quiet.code, 0) << quiet.err;
    EXPECT_EQ(quiet.out, "");
    // A failed line has no result to print.
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("f.zelt"), "createNode joint -n a\nnope\ncreateNode joint -n b\n"));
    ZeltRun failed = Zelt(dir, {"-r", "-k", "-q", dir.File("f.zelt")});
    EXPECT_EQ(failed.out, "// Result: a\n// Result: b\n");
}

} // namespace
