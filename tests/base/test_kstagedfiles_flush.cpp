// What a save flushes to disk and when: every new file before the rename
// that puts it in place and its folder after that rename, so that after a
// power loss a name holds either the old bytes or the new ones; a file
// rewritten in place is flushed once rewritten. The program's own fsync and
// rename stand before the C library's (the SDK is linked in statically) and
// log each call with the path its descriptor names.

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#include "base/kstagedfiles.h"
#include "common/qox_test_files.h"
#include "test_util.h"

using namespace qoxtest;

namespace {

std::mutex gLogMutex;
std::vector<std::string>* gLog = nullptr; // set while a test records

void Record(const std::string& line)
{
    std::lock_guard<std::mutex> lock(gLogMutex);
    if (gLog)
        gLog->push_back(line);
}

std::string PathOf(int fd)
{
    char path[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(link.c_str(), path, sizeof path - 1);
    return length < 0 ? std::string("?") : std::string(path, static_cast<size_t>(length));
}

// Records calls while alive.
class Recorder
{
public:
    Recorder()
    {
        std::lock_guard<std::mutex> lock(gLogMutex);
        gLog = &mLines;
    }
    ~Recorder()
    {
        std::lock_guard<std::mutex> lock(gLogMutex);
        gLog = nullptr;
    }
    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> lock(gLogMutex);
        return mLines;
    }

private:
    std::vector<std::string> mLines;
};

std::string RealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

size_t IndexOf(const std::vector<std::string>& lines, const std::string& line)
{
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == line)
            return i;
    return lines.size();
}

} // namespace

extern "C" int fsync(int fd)
{
    Record("fsync " + PathOf(fd));
    return static_cast<int>(syscall(SYS_fsync, fd));
}

// A name relative to a directory descriptor, as a path.
std::string PathAt(int directory, const char* name)
{
    if (name[0] == '/' || directory == AT_FDCWD)
        return name;
    return PathOf(directory) + "/" + name;
}

extern "C" int rename(const char* from, const char* to)
{
    Record(std::string("rename ") + from + " -> " + to);
    return static_cast<int>(syscall(SYS_renameat, AT_FDCWD, from, AT_FDCWD, to));
}

extern "C" int renameat(int fromDirectory, const char* from, int toDirectory, const char* to)
{
    Record("rename " + PathAt(fromDirectory, from) + " -> " + PathAt(toDirectory, to));
    return static_cast<int>(syscall(SYS_renameat, fromDirectory, from, toDirectory, to));
}

extern "C" int renameat2(int fromDirectory, const char* from, int toDirectory, const char* to, unsigned int flags)
{
    Record("rename " + PathAt(fromDirectory, from) + " -> " + PathAt(toDirectory, to));
    return static_cast<int>(syscall(SYS_renameat2, fromDirectory, from, toDirectory, to, flags));
}

TEST(KStagedFilesFlush, NewFilesReachTheDiskBeforeTheirRenameAndTheFolderAfter)
{
    TempDir dir;
    const std::string folder = RealPath(dir.Path());
    const std::string scene = folder + "/scene.obj", library = folder + "/scene.mtl";
    ASSERT_TRUE(WriteFile(scene, "old scene"));
    KStagedFiles files;
    ASSERT_TRUE(WriteStaged(files, scene, "new scene"));
    ASSERT_TRUE(WriteStaged(files, library, "new library"));
    Recorder recorder;
    ASSERT_TRUE(files.Commit());
    const std::vector<std::string> lines = recorder.Lines();

    // Each target is renamed onto from its temporary once, that temporary
    // flushed before the rename and the folder flushed after it.
    for (const std::string& target : {scene, library})
    {
        size_t renamed = lines.size();
        std::string temporary;
        for (size_t i = 0; i < lines.size(); ++i)
        {
            const std::string tail = " -> " + target;
            if (lines[i].rfind("rename ", 0) == 0 && lines[i].size() > tail.size() &&
                lines[i].compare(lines[i].size() - tail.size(), tail.size(), tail) == 0)
            {
                EXPECT_EQ(renamed, lines.size()) << "renamed twice: " << target;
                renamed = i;
                temporary = lines[i].substr(7, lines[i].size() - 7 - tail.size());
            }
        }
        ASSERT_LT(renamed, lines.size()) << "never renamed: " << target;
        EXPECT_LT(IndexOf(lines, "fsync " + temporary), renamed) << target;
        bool folderAfter = false;
        for (size_t i = renamed + 1; i < lines.size(); ++i)
            folderAfter = folderAfter || lines[i] == "fsync " + folder;
        EXPECT_TRUE(folderAfter) << target;
    }
    EXPECT_EQ(ReadFile(scene), "new scene");
    EXPECT_EQ(ReadFile(library), "new library");
}

TEST(KStagedFilesFlush, AFileRewrittenInPlaceIsFlushedAndNeverRenamed)
{
    TempDir dir;
    const std::string folder = RealPath(dir.Path());
    const std::string scene = folder + "/scene.qox", other = folder + "/other-name.qox";
    ASSERT_TRUE(WriteFile(scene, "the old scene, longer than the new"));
    ASSERT_EQ(link(scene.c_str(), other.c_str()), 0); // a second name: rewritten in place
    KStagedFiles files;
    ASSERT_TRUE(WriteStaged(files, scene, "new scene"));
    ASSERT_TRUE(files.IsRewrittenInPlace(scene.c_str()));
    Recorder recorder;
    ASSERT_TRUE(files.Commit());
    const std::vector<std::string> lines = recorder.Lines();
    // Nothing is renamed onto the file; its complete copy is flushed and
    // renamed to the name that tells it is whole, and its folder flushed,
    // before the file is written and flushed.
    size_t copyNamed = lines.size();
    for (size_t i = 0; i < lines.size(); ++i)
    {
        const std::string onto = " -> " + scene;
        EXPECT_FALSE(lines[i].size() > onto.size() &&
                     lines[i].compare(lines[i].size() - onto.size(), onto.size(), onto) == 0)
            << lines[i];
        if (lines[i].rfind("rename " + scene + ".tmp", 0) == 0 &&
            lines[i].find(" -> " + scene + ".new") != std::string::npos)
            copyNamed = i;
    }
    ASSERT_LT(copyNamed, lines.size());
    bool folderFlushed = false;
    for (size_t i = copyNamed + 1; i < IndexOf(lines, "fsync " + scene); ++i)
        folderFlushed = folderFlushed || lines[i] == "fsync " + folder;
    EXPECT_TRUE(folderFlushed);
    EXPECT_LT(IndexOf(lines, "fsync " + scene), lines.size());
    EXPECT_EQ(ReadFile(other), "new scene");
    EXPECT_EQ(ListDirectory(folder), (std::vector<std::string>{"other-name.qox", "scene.qox"}));
}
