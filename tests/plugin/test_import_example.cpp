// The example scene: its writer reproduces the file kept in examples/, and
// zelt imports that file in the three modes through examples/import.zelt.
#include "import_test_util.h"

#include "common/qox_test_run.h"

#include <sys/stat.h>
#include <unistd.h>
#include <regex>
#include <sstream>

namespace {

// Runs zelt with arguments from the top of the source tree, as the README
// does, with environment; its output and errors go to out and err in
// folder. Its exit code.
int Zelt(const std::string& folder, std::vector<std::string> arguments, std::vector<std::string> environment,
         std::vector<std::string> unset = {})
{
    qoxtest::Command command;
    arguments.insert(arguments.begin(), ZELT_PATH);
    command.mArguments = arguments;
    command.mFolder = ZELT_EXAMPLES "/..";
    command.mEnvironment = environment;
    command.mUnset = unset;
    command.mOutput = folder + "/out.txt";
    command.mErrors = folder + "/err.txt";
    return qoxtest::Run(command).mExit;
}

// The part of a scene dump from a line equal to header (a node "Name (type)"
// or a section "# dag") up to the next line that starts another node or
// section; empty when there is no such line.
std::string Block(const std::string& dump, const std::string& header)
{
    size_t start = dump.find("\n" + header + "\n");
    if (start == std::string::npos)
        return "";
    start += 1;
    size_t end = start + header.size() + 1;
    while (end < dump.size() && (dump[end] == ' ' || (header[0] == '#' && dump[end] != '#')))
        end = dump.find('\n', end) + 1;
    return dump.substr(start, end - start);
}

// Whether the block holds the line (compared whole, indentation included).
bool HasLine(const std::string& block, const std::string& line)
{
    return ("\n" + block).find("\n" + line + "\n") != std::string::npos;
}

// The skin of the example's body: the spine and the head share the upper
// four points a quarter to three quarters; the lower four follow the spine.
const char kBodySkin[] = "  influences: Spine Head\n"
                         "    point 0: 0=1\n"
                         "    point 1: 0=1\n"
                         "    point 2: 0=0.25 1=0.75\n"
                         "    point 3: 0=0.25 1=0.75\n"
                         "    point 4: 0=1\n"
                         "    point 5: 0=1\n"
                         "    point 6: 0=0.25 1=0.75\n"
                         "    point 7: 0=0.25 1=0.75\n";

// The current take "Walk" sways the spine: -15, 15, -15 degrees at 0, 1, 2 s.
const char kSpineSway[] = "Spine_rotateZ (animCurveTA)\n"
                          "  Spine_rotateZ.output -> Spine.rotateZ\n"
                          "  curve type 0, 3 keys\n"
                          "    key 0 s = -0.26179938779914941 in 4 out 4 locked\n"
                          "    key 1 s = 0.26179938779914941 in 4 out 4 locked\n"
                          "    key 2 s = -0.26179938779914941 in 8 out 8 locked\n";

} // namespace

TEST_F(ImportTest, ExampleWriterReproducesTheKeptFile)
{
    const std::string written = mDir.File("example.qox");
    ASSERT_EQ(qoxtest::Run({EXAMPLE_SCENE_WRITER, written}).mExit, 0);
    const std::string kept = qoxtest::ReadFile(ZELT_EXAMPLES "/scene/example.qox");
    ASSERT_FALSE(kept.empty());
    EXPECT_TRUE(qoxtest::ReadFile(written) == kept) << "examples/scene/example.qox is out of date";

    // Add mode: every node of the file, and the lamp's static intensity.
    ASSERT_TRUE(Import(written, "kCreate"));
    const std::string dag = Dag();
    for (const char* text :
         {"Body (transform)\n  polySurfaceShape1 (mesh)\n", "Floor (transform)\n  polySurfaceShape2 (mesh)\n",
          "Hips (joint)\n  Spine (joint)\n    Head (joint)\n", "Lamp (transform)\n  LampShape (spotLight)\n",
          "Shot (transform)\n  camera1Shape (camera)\n"})
        EXPECT_NE(dag.find(text), std::string::npos) << text << dag;
    EXPECT_NEAR(std::stod(Attr("LampShape.intensity")), 0.8, 1e-6);
    EXPECT_TRUE(Entries(zelthost::TranscriptEntry::kError).empty());
}

// The README's script: zelt -r shows what the plug-in's commands give.
TEST_F(ImportTest, ResultsOfThePluginCommandsShowWithZeltR)
{
    ASSERT_TRUE(qoxtest::WriteFile(mDir.File("results.zelt"), "QOXRead -f \"examples/scene/example.qox\"\n"
                                                              "QOXGetTakeIndex \"Run\"\nQOXImportMode merge\n"));
    ASSERT_EQ(Zelt(mDir.Path(), {"-r", "-p", mDir.File("qoxzelt.so"), mDir.File("results.zelt")},
                   {"ZELT_PLUG_IN_PATH=" + mDir.Path()}),
              0) << qoxtest::ReadFile(mDir.File("err.txt"));
    EXPECT_EQ(qoxtest::ReadFile(mDir.File("out.txt")), "// Result: 2\n// Result: 1\n// Result: kMerge\n");
}

// Settings another user left in the temporary folder (exclusive merge,
// writable by all) are not the user's: the example, imported without a path
// list as the README runs the installed plug-in, still makes its mesh.
TEST_F(ImportTest, ExampleImportsWhateverSettingsLieInTheTemporaryFolder)
{
    const std::string tmp = mDir.File("tmp"), hostile = "[UserParams]\nkImportLoadMode = kExclusiveMerge\n";
    ASSERT_EQ(mkdir(tmp.c_str(), 01777) | chmod(tmp.c_str(), 01777), 0);
    ASSERT_TRUE(qoxtest::WriteFile(tmp + "/registry.txt", hostile));
    ASSERT_EQ(chmod((tmp + "/registry.txt").c_str(), 0666), 0);
    ASSERT_TRUE(geteuid() != 0 || chown((tmp + "/registry.txt").c_str(), 65534, 65534) == 0);
    ASSERT_TRUE(qoxtest::WriteFile(mDir.File("import.zelt"), "QOXImport -f \"examples/scene/example.qox\"\nls\n"));
    ASSERT_EQ(Zelt(mDir.Path(), {"-p", mDir.File("qoxzelt.so"), mDir.File("import.zelt")},
                   {"TMPDIR=" + tmp, "XDG_CONFIG_HOME=" + mDir.File("config")}, {"ZELT_PLUG_IN_PATH"}),
              0) << qoxtest::ReadFile(mDir.File("err.txt"));
    const std::string out = qoxtest::ReadFile(mDir.File("out.txt"));
    EXPECT_NE(out.find("Body (transform)\n  polySurfaceShape1 (mesh)\n"), std::string::npos) << out;
    EXPECT_EQ(qoxtest::ReadFile(tmp + "/registry.txt"), hostile);
    EXPECT_NE(qoxtest::ReadFile(mDir.File("config/qoxzelt/registry.txt")).find("kImportLoadMode = kCreate\n"),
              std::string::npos);
}

TEST_F(ImportTest, ExampleScriptImportsInEachMode)
{
    ASSERT_EQ(Zelt(mDir.Path(), {"-p", mDir.File("qoxzelt.so"), "examples/import.zelt"},
                   {"ZELT_PLUG_IN_PATH=" + mDir.Path()}),
              0) << qoxtest::ReadFile(mDir.File("err.txt"));
    const std::string out = qoxtest::ReadFile(mDir.File("out.txt"));
    const size_t add = out.find("== Add"), merge = out.find("== Merge"), exclusive = out.find("== Exclusive merge");
    ASSERT_LT(add, merge);
    ASSERT_LT(merge, exclusive);
    ASSERT_NE(exclusive, std::string::npos);
    EXPECT_NE(out.find("Lamp (transform)", add), std::string::npos);
    // Merge keeps the stage built before the import.
    EXPECT_LT(out.find("Stage (transform)", merge), exclusive);
    EXPECT_LT(out.find("Body (transform)", merge), exclusive);
    // Exclusive merge creates nothing new.
    EXPECT_EQ(out.find("Body (transform)", exclusive), std::string::npos) << out.substr(exclusive);
    EXPECT_TRUE(qoxtest::ReadFile(mDir.File("err.txt")).empty()) << qoxtest::ReadFile(mDir.File("err.txt"));
}

// What the example prints says what each value is: section titles, the DAG
// as "Name (type)" lines, counts as "label: n", attribute values as
// "node.attribute = value"; the commands the plug-in runs with display on
// show only when asked for (-e).
TEST_F(ImportTest, ExampleScriptOutputNamesEveryValue)
{
    const auto run = [&](std::vector<std::string> options) {
        options.insert(options.end(), {"-p", mDir.File("qoxzelt.so"), "examples/import.zelt"});
        EXPECT_EQ(Zelt(mDir.Path(), options, {"ZELT_PLUG_IN_PATH=" + mDir.Path()}), 0) << qoxtest::ReadFile(mDir.File("err.txt"));
        EXPECT_EQ(qoxtest::ReadFile(mDir.File("err.txt")), "");
        return qoxtest::ReadFile(mDir.File("out.txt"));
    };
    const std::string out = run({});
    const std::regex title("== .+"), dag(" *[A-Za-z_][A-Za-z0-9_:]* \\([a-zA-Z, ]+\\)"),
        count("[a-z ]+: [0-9]+( \\([0-9]+ keys\\))?"), value("[A-Za-z_][A-Za-z0-9_:]*\\.[A-Za-z]+ = .+");
    std::istringstream lines(out);
    int titles = 0;
    for (std::string line; std::getline(lines, line);)
    {
        titles += std::regex_match(line, title);
        EXPECT_TRUE(std::regex_match(line, title) || std::regex_match(line, dag) || std::regex_match(line, count) ||
                    std::regex_match(line, value))
            << "a line that does not say what it shows: " << line;
    }
    EXPECT_EQ(titles, 3);
    EXPECT_NE(out.find("\nHips.pelbrinTypeID = 2\nLampShape.intensity = 0.800000011920929\n== Merge"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("camera -centerOfInterest"), std::string::npos);

    // Asked for: the camera command the plug-in displays, once per import
    // that makes the camera.
    const std::string echoed = run({"-e"});
    size_t shown = 0;
    for (size_t at = 0; (at = echoed.find("\ncamera -centerOfInterest 5 ", at)) != std::string::npos; ++at)
        ++shown;
    EXPECT_EQ(shown, 2u) << echoed;
}

// The example script once more, with the whole host scene dumped after each
// mode: what each mode made of the open scene, down to skin weights and keys.
TEST_F(ImportTest, ExampleScriptScenesOfEachMode)
{
    std::string script = qoxtest::ReadFile(ZELT_EXAMPLES "/import.zelt");
    ASSERT_FALSE(script.empty());
    const char* modes[] = {"add", "merge", "exmerge"};
    size_t at = 0;
    for (const char* mode : modes)
    {
        at = script.find("\ninfo\n", at);
        ASSERT_NE(at, std::string::npos) << "no info line after the " << mode << " import";
        const std::string dump = "\ndump \"" + mDir.File(std::string(mode) + ".txt") + "\"";
        script.insert(at + 5, dump);
        at += 5 + dump.size();
    }
    ASSERT_TRUE(qoxtest::WriteFile(mDir.File("modes.zelt"), script));
    ASSERT_EQ(Zelt(mDir.Path(), {"-q", "-p", mDir.File("qoxzelt.so"), mDir.File("modes.zelt")},
                   {"ZELT_PLUG_IN_PATH=" + mDir.Path()}),
              0) << qoxtest::ReadFile(mDir.File("err.txt"));

    // Add: the file's tree in a new scene, the body skinned to spine and head.
    const std::string add = qoxtest::ReadFile(mDir.File("add.txt"));
    const std::string addDag = Block(add, "# dag");
    EXPECT_NE(
        addDag.find("\nBody (transform)\n  polySurfaceShape1 (mesh)\n  polySurfaceShape1Orig (mesh, intermediate)\n"),
        std::string::npos)
        << addDag;
    EXPECT_NE(addDag.find("\nHips (joint)\n  Spine (joint)\n    Head (joint)\n"), std::string::npos) << addDag;
    EXPECT_TRUE(HasLine(addDag, "Lamp (transform)")) << addDag;
    EXPECT_TRUE(HasLine(addDag, "Shot (transform)")) << addDag;
    EXPECT_EQ(addDag.find("Stage"), std::string::npos);
    const std::string addSkin = Block(add, "skinCluster1 (skinCluster)");
    EXPECT_NE(addSkin.find(kBodySkin), std::string::npos) << addSkin;
    EXPECT_TRUE(HasLine(addSkin, "  .bindPreMatrix[1] = 1 0 0 0 0 1 0 0 0 0 1 0 -0 -2 -0 1")) << addSkin;
    EXPECT_EQ(Block(add, "Spine_rotateZ (animCurveTA)"), kSpineSway);
    EXPECT_TRUE(HasLine(Block(add, "LampShape (spotLight)"), "  .intensity = 0.800000011920929"));

    // Merge: the stage stays, the open scene's Hips is the file's (no Hips1),
    // the file's spine and head hang under it, and the new body is skinned.
    const std::string merge = qoxtest::ReadFile(mDir.File("merge.txt"));
    const std::string mergeDag = Block(merge, "# dag");
    EXPECT_TRUE(HasLine(mergeDag, "Stage (transform)")) << mergeDag;
    EXPECT_NE(mergeDag.find("\nHips (joint)\n  Spine (joint)\n    Head (joint)\n"), std::string::npos) << mergeDag;
    EXPECT_EQ(mergeDag.find("Hips1"), std::string::npos) << mergeDag;
    EXPECT_EQ(mergeDag.find("Spine1"), std::string::npos) << mergeDag;
    EXPECT_TRUE(HasLine(mergeDag, "Body (transform)")) << mergeDag;
    EXPECT_NE(Block(merge, "skinCluster1 (skinCluster)").find(kBodySkin), std::string::npos);
    EXPECT_EQ(Block(merge, "Spine_rotateZ (animCurveTA)"), kSpineSway);

    // Exclusive merge: the two joints the scene had, nothing else made, and
    // the matched spine receives its sway.
    const std::string exclusive = qoxtest::ReadFile(mDir.File("exmerge.txt"));
    const std::string exclusiveDag = Block(exclusive, "# dag");
    for (const char* absent : {"Head", "Body", "Floor", "Lamp", "Shot", "skinCluster"})
        EXPECT_EQ(exclusive.find(absent), std::string::npos) << absent << "\n" << exclusive;
    EXPECT_NE(exclusiveDag.find("\nHips (joint)\n  Spine (joint)\n"), std::string::npos) << exclusiveDag;
    EXPECT_EQ(Block(exclusive, "Spine_rotateZ (animCurveTA)"), kSpineSway);
    EXPECT_TRUE(qoxtest::ReadFile(mDir.File("err.txt")).empty()) << qoxtest::ReadFile(mDir.File("err.txt"));
}

// Merging the file into the scene an add import of it made pairs every node:
// nothing is made twice, and the spine's curve gets the same keys again.
TEST_F(ImportTest, ExampleMergedOntoItselfPairsEveryNode)
{
    const std::string file = ZELT_EXAMPLES "/scene/example.qox";
    ASSERT_TRUE(Import(file, "kCreate"));
    const std::string dag = Dag();
    const std::string dump = zelthost::Host::Get().Dump();
    for (const char* mode : {"kMerge", "kExclusiveMerge"})
    {
        ASSERT_TRUE(Import(file, mode)) << mode;
        EXPECT_EQ(Dag(), dag) << mode;
        const std::string again = zelthost::Host::Get().Dump();
        EXPECT_EQ(again.find("skinCluster2"), std::string::npos) << mode;
        EXPECT_EQ(again.find("Spine_rotateZ1"), std::string::npos) << mode;
        EXPECT_EQ(Block(again, "Spine_rotateZ (animCurveTA)"), kSpineSway) << mode;
        EXPECT_EQ(Block(again, "skinCluster1 (skinCluster)"), Block(dump, "skinCluster1 (skinCluster)")) << mode;
    }
    EXPECT_TRUE(Entries(zelthost::TranscriptEntry::kError).empty());
}
