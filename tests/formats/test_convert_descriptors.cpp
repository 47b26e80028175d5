// The file descriptors examples/convert needs, as the README gives them: a
// process with only its standard streams open saves at each limit the
// README gives, and one below fails the save with its message, the old
// files kept.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "common/qox_test_files.h"
#include "common/qox_test_limits.h"

using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

// Runs the converter from input to output with its standard streams alone
// open and a descriptor limit of limit: its exit code (-1 when it did not
// exit) and what it wrote to standard error.
int ConvertUnderLimit(const std::string& input, const std::string& output, int limit, const std::string& errors,
                      std::string& said)
{
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0)
    {
        const int in = open("/dev/null", O_RDONLY), err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || err < 0 || dup2(in, 0) != 0 || dup2(err, 1) != 1 || dup2(err, 2) != 2)
            _exit(126);
        for (int fd = 3; fd < 1024; ++fd)
            close(fd);
        rlimit few{};
        getrlimit(RLIMIT_NOFILE, &few);
        few.rlim_cur = static_cast<rlim_t>(limit);
        if (setrlimit(RLIMIT_NOFILE, &few) == 0)
            execl(QOX_CONVERT, QOX_CONVERT, input.c_str(), output.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    const bool exited = child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status);
    said = ReadFile(errors);
    return exited ? WEXITSTATUS(status) : -1;
}

// The README's text, each run of white space one space.
std::string ReadmeText()
{
    std::string text;
    for (const char c : ReadFile(QOX_EXAMPLES "/../README.md"))
        if (!std::isspace(static_cast<unsigned char>(c)))
            text += c;
        else if (!text.empty() && text.back() != ' ')
            text += ' ';
    return text;
}

} // namespace

TEST(ConvertDescriptors, TheGuidesLimitsSaveAndOneBelowFailsKeepingTheOldFiles)
{
#ifdef QOX_TEST_SANITIZED
    GTEST_SKIP() << "a sanitizer's runtime takes descriptors of its own (its checks open pipes)";
#endif
    TempDir dir;
    const std::string in = dir.File("in"), out = dir.File("out"), image = "P3\n1 1\n255\n255 0 0\n";
    ASSERT_TRUE(std::filesystem::create_directory(in));
    const std::string triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n";
    ASSERT_TRUE(WriteFile(in + "/plain.obj", triangle + "f 1 2 3\n"));
    ASSERT_TRUE(WriteFile(in + "/red.mtl", "newmtl paint\nKd 1 0 0\n"));
    ASSERT_TRUE(WriteFile(in + "/red.obj", "mtllib red.mtl\n" + triangle + "usemtl paint\nf 1 2 3\n"));
    ASSERT_TRUE(WriteFile(in + "/wood.ppm", image));
    ASSERT_TRUE(WriteFile(in + "/wood.mtl", "newmtl paint\nKd 1 0 0\nmap_Kd wood.ppm\n"));
    ASSERT_TRUE(WriteFile(in + "/wood.obj", "mtllib wood.mtl\n" + triangle + "usemtl paint\nf 1/1 2/2 3/3\n"));

    // The lowest limits, and where the README gives each ("#" the limit).
    // An OBJ read holds its material library open beside the file, so the
    // OBJ reader's needs may raise the rows that read one.
    const struct
    {
        const char* mInput;
        const char* mOutput;
        int mLimit;
        std::vector<std::string> mFiles; // the scene's own files, then any image copied
        std::string mReadme;
    } rows[] = {
        {"plain.obj", "scene.qox", 5, {"scene.qox"}, "a limit of # for a native, 3DS or DXF save"},
        {"plain.obj", "scene.3ds", 5, {"scene.3ds"}, "a limit of # for a native, 3DS or DXF save"},
        {"plain.obj", "scene.dxf", 5, {"scene.dxf"}, "a limit of # for a native, 3DS or DXF save"},
        {"red.obj", "scene.obj", 6, {"scene.mtl", "scene.obj"}, ", # for an OBJ with its material library"},
        {"wood.obj", "scene.3ds", 7, {"scene.3ds", "wood.ppm"}, ", # for a 3DS copying images"},
        {"wood.obj", "scene.obj", 9, {"scene.mtl", "scene.obj", "wood.ppm"}, "and # for an OBJ copying images"},
        {"wood.obj", "wood.qox", 7, {"wood.qox"}, "# for a native save embedding images"},
    };
    const std::string readme = ReadmeText();
    for (auto row : rows)
    {
        row.mReadme.replace(row.mReadme.find('#'), 1, std::to_string(row.mLimit));
        EXPECT_NE(readme.find(row.mReadme), std::string::npos) << "the README does not say \"" << row.mReadme << '"';
        for (const int limit : {row.mLimit, row.mLimit - 1})
        {
            SCOPED_TRACE(std::string(row.mInput) + " to " + row.mOutput + " under a limit of " + std::to_string(limit));
            std::filesystem::remove_all(out);
            ASSERT_TRUE(std::filesystem::create_directory(out));
            std::vector<std::string> old;
            for (const std::string& name : row.mFiles)
                if (name != "wood.ppm")
                {
                    ASSERT_TRUE(WriteFile(out + "/" + name, "old " + name));
                    old.push_back(name);
                }
            std::string said;
            const int status =
                ConvertUnderLimit(in + "/" + row.mInput, out + "/" + row.mOutput, limit, dir.File("said"), said);
            if (limit == row.mLimit)
            {
                EXPECT_EQ(status, 0) << said;
                EXPECT_EQ(qoxtest::ListDirectory(out), row.mFiles);
                for (const std::string& name : old)
                    EXPECT_NE(ReadFile(out + "/" + name), "old " + name) << name;
                if (row.mFiles.back() == "wood.ppm")
                {
                    EXPECT_EQ(ReadFile(out + "/wood.ppm"), image);
                }
                // The image is found, and embedded.
                EXPECT_EQ(said.find("not found"), std::string::npos) << said;
                if (row.mFiles.back() == "wood.qox")
                {
                    EXPECT_NE(ReadFile(out + "/wood.qox").find(image), std::string::npos);
                }
                continue;
            }
            EXPECT_EQ(status, 1);
            EXPECT_EQ(said, "convert: cannot write " + out + "/" + row.mOutput +
                                ": File not created: too many files are open\n");
            EXPECT_EQ(qoxtest::ListDirectory(out), old);
            for (const std::string& name : old)
                EXPECT_EQ(ReadFile(out + "/" + name), "old " + name) << name;
        }
    }
}
