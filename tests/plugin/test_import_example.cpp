// The example scene: its writer reproduces the file kept in examples/, and
// zelt imports that file in the three modes through examples/import.zelt.
#include "import_test_util.h"

#include <cstdlib>

namespace {

int Shell(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST_F(ImportTest, ExampleWriterReproducesTheKeptFile)
{
    const std::string written = mDir.File("example.qox");
    ASSERT_EQ(Shell(std::string(EXAMPLE_SCENE_WRITER) + " " + written + " >/dev/null"), 0);
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

TEST_F(ImportTest, ExampleScriptImportsInEachMode)
{
    const std::string command = "cd " ZELT_EXAMPLES "/.. && ZELT_PLUG_IN_PATH=" + mDir.Path() + " " ZELT_PATH " -p " +
                                mDir.File("qoxzelt.so") + " examples/import.zelt >" + mDir.File("out.txt") + " 2>" +
                                mDir.File("err.txt");
    ASSERT_EQ(Shell(command), 0) << qoxtest::ReadFile(mDir.File("err.txt"));
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
