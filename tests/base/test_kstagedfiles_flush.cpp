// What a save flushes to disk and when: every new file before the rename
// that puts it in place and its folder after that rename, so that after a
// power loss a name holds either the old bytes or the new ones; a file
// rewritten in place is flushed once rewritten. What other saves meet while
// a commit is held up in its flush: a child forked then keeps no turn; a
// save of the same file waits its bound and fails, the old file kept. The program's own fsync and
// rename stand before the C library's (the SDK is linked in statically) and
// log each call with the path its descriptor names.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#include "base/ksavelock_private.h"
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

// Called inside fsync, while a commit holds its turn, when set.
std::function<void()> gOnFsync;

// A save killed at any moment of its commit: each call above, and each below,
// is a moment the child process may be killed at.
namespace {

int gKillAt = 0; // the moment to be killed at, counted from 1; 0: never
int gMoments = 0;

void Moment()
{
    if (gKillAt > 0 && ++gMoments == gKillAt)
        kill(getpid(), SIGKILL);
}

} // namespace

extern "C" int fsync(int fd)
{
    Record("fsync " + PathOf(fd));
    Moment();
    if (gOnFsync)
        gOnFsync();
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
    Moment();
    return static_cast<int>(syscall(SYS_renameat, AT_FDCWD, from, AT_FDCWD, to));
}

extern "C" int renameat(int fromDirectory, const char* from, int toDirectory, const char* to)
{
    Record("rename " + PathAt(fromDirectory, from) + " -> " + PathAt(toDirectory, to));
    Moment();
    return static_cast<int>(syscall(SYS_renameat, fromDirectory, from, toDirectory, to));
}

extern "C" int renameat2(int fromDirectory, const char* from, int toDirectory, const char* to, unsigned int flags)
{
    Record("rename " + PathAt(fromDirectory, from) + " -> " + PathAt(toDirectory, to));
    Moment();
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

extern "C" ssize_t pwrite(int fd, const void* data, size_t size, off_t at)
{
    Moment();
    return static_cast<ssize_t>(syscall(SYS_pwrite64, fd, data, size, at));
}

extern "C" int ftruncate(int fd, off_t size)
{
    Moment();
    return static_cast<int>(syscall(SYS_ftruncate, fd, size));
}

extern "C" int unlinkat(int directory, const char* name, int flags)
{
    Moment();
    return static_cast<int>(syscall(SYS_unlinkat, directory, name, flags));
}

extern "C" int fchmod(int fd, mode_t mode)
{
    Moment();
    return static_cast<int>(syscall(SYS_fchmod, fd, mode));
}

namespace {

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Where a killed save may have left the whole new contents of file: a copy
// named "<name>.newXXXXXX" beside it or in a private folder "qox.XXXXXX"
// under privateRoot.
std::vector<std::string> CompleteCopies(const std::string& file, const std::string& privateRoot)
{
    const size_t slash = file.rfind('/');
    const std::string folder = file.substr(0, slash), name = file.substr(slash + 1);
    std::vector<std::string> copies;
    std::vector<std::string> folders{folder};
    for (const std::string& entry : ListDirectory(privateRoot))
        if (StartsWith(entry, "qox."))
            folders.push_back(privateRoot + "/" + entry);
    for (const std::string& where : folders)
        for (const std::string& entry : ListDirectory(where))
            if (StartsWith(entry, name + ".new") && entry.size() == name.size() + 4 + 6)
                copies.push_back(where + "/" + entry);
    return copies;
}

// Puts text into path over its old bytes, keeping its inode and links.
void Overwrite(const std::string& path, const std::string& text)
{
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(syscall(SYS_write, fd, text.data(), text.size()), static_cast<long>(text.size()));
    close(fd);
}

} // namespace

TEST(KStagedFilesKill, AtEveryMomentOfACommitTheDataIsWholeWhereTheReadmeSays)
{
    struct Case
    {
        const char* name;
        bool hardLinked;   // rewritten in place from a copy beside the file
        bool shut;         // in a folder closed to new files: from a private copy
        bool library;      // a second file saved with the first
    };
    const Case cases[] = {
        {"replaced", false, false, false},
        {"replaced with its library", false, false, true},
        {"rewritten from a copy beside it", true, false, false},
        {"rewritten from a copy beside it, with its library", true, false, true},
        {"rewritten from a private copy", false, true, false},
    };
    const std::string oldText(150000, 'o'), newText = std::string(300000, 'n') + "end";
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        TempDir dir, tmp;
        chmod(dir.Path().c_str(), 0755);
        const std::string folder = RealPath(dir.Path()) + "/files";
        ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
        const std::string file = folder + "/scene.obj", library = folder + "/scene.mtl";
        // A folder closed to the saver: nobody's save as root (whom no
        // folder is closed to), else this user's in its own folder 0555.
        const uid_t saver = c.shut ? OtherUserOrSelf() : geteuid();
        ASSERT_EQ(chown(tmp.Path().c_str(), saver, GroupOf(saver)), 0);
        std::vector<std::string> names{"scene.obj"};
        Overwrite(file, oldText);
        ASSERT_EQ(chown(file.c_str(), saver, GroupOf(saver)), 0);
        if (c.library)
        {
            Overwrite(library, "old library");
            names.push_back("scene.mtl");
        }
        if (c.hardLinked)
        {
            ASSERT_EQ(link(file.c_str(), (folder + "/second.obj").c_str()), 0);
            names.push_back("second.obj");
        }
        std::sort(names.begin(), names.end());
        int killed = 0;
        for (int step = 1;; ++step)
        {
            ASSERT_LT(step, 1000) << "the save never ran to its end";
            chmod(folder.c_str(), 0777);
            for (const std::string& entry : ListDirectory(folder))
                if (std::find(names.begin(), names.end(), entry) == names.end())
                    unlink((folder + "/" + entry).c_str());
            for (const std::string& entry : ListDirectory(tmp.Path()))
                std::filesystem::remove_all(tmp.File(entry));
            Overwrite(file, oldText);
            if (c.library)
                Overwrite(library, "old library");
            if (c.shut)
                chmod(folder.c_str(), 0555);

            std::fflush(nullptr);
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0)
            {
                if (c.shut && geteuid() == 0 && !qoxtest::BecomeUser(65534, 65534))
                    _exit(126);
                setenv("TMPDIR", tmp.Path().c_str(), 1);
                KStagedFiles files;
                if (!WriteStaged(files, file, newText) || (c.library && !WriteStaged(files, library, "new library")))
                    _exit(1);
                if (files.IsRewrittenInPlace(file.c_str()) != (c.hardLinked || c.shut))
                    _exit(2);
                gKillAt = step;
                _exit(files.Commit() ? 0 : 3);
            }
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            const std::string now = ReadFile(file);
            if (WIFEXITED(status))
            {
                // Past the last moment: the save ran to its end.
                ASSERT_EQ(WEXITSTATUS(status), 0);
                EXPECT_EQ(now, newText);
                if (c.library)
                {
                    EXPECT_EQ(ReadFile(library), "new library");
                }
                EXPECT_EQ(ListDirectory(folder), names);
                EXPECT_TRUE(ListDirectory(tmp.Path()).empty());
                break;
            }
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
            ++killed;
            SCOPED_TRACE("killed at moment " + std::to_string(step));
            if (now != oldText && now != newText)
            {
                // Partly rewritten: the whole new contents stand in one copy.
                const std::vector<std::string> copies = CompleteCopies(file, tmp.Path());
                ASSERT_EQ(copies.size(), 1u) << "a partly rewritten file and no complete copy";
                EXPECT_EQ(ReadFile(copies[0]), newText);
            }
            // The main file, which names the library, is put last.
            if (c.library && now == newText)
            {
                EXPECT_EQ(ReadFile(library), "new library");
            }
        }
        EXPECT_GT(killed, 3);
        chmod(folder.c_str(), 0777);
    }
}

namespace {

// A save held up for good ends its process with SIGALRM after this many
// seconds, so that it fails the test instead of hanging it.
const unsigned kHeldForGood = 20;

int Finish(pid_t child)
{
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace

// A child forked while a commit holds its turn (without exec, still running
// after the save) keeps nothing of it: the next save of the file goes on at
// once.
TEST(KStagedFilesTurns, AChildForkedDuringASaveKeepsNoTurn)
{
    for (const bool hardLinked : {false, true})
    {
        SCOPED_TRACE(hardLinked ? "rewritten in place" : "replaced");
        TempDir dir;
        const std::string file = dir.File("scene.obj");
        ASSERT_TRUE(WriteFile(file, "old"));
        if (hardLinked)
        {
            ASSERT_EQ(link(file.c_str(), dir.File("second.obj").c_str()), 0);
        }
        Signal release;
        pid_t forked = -1;
        gOnFsync = [&] {
            if (forked >= 0)
                return;
            std::fflush(nullptr);
            forked = fork();
            if (forked == 0)
                _exit(release.Take() ? 0 : 1);
        };
        {
            KStagedFiles files;
            EXPECT_TRUE(WriteStaged(files, file, "first") && files.Commit());
        }
        gOnFsync = nullptr;
        ASSERT_GT(forked, 0);
        std::fflush(nullptr);
        const pid_t next = fork();
        if (next == 0)
        {
            alarm(kHeldForGood);
            KStagedFiles files;
            _exit(WriteStaged(files, file, "second") && files.Commit() ? 0 : 1);
        }
        EXPECT_EQ(Finish(next), 0);
        release.Give();
        EXPECT_EQ(Finish(forked), 0);
        EXPECT_EQ(ReadFile(file), "second");
    }
}

// A save of a file another process is saving (held up here in its flush)
// waits its bound, then fails with its cause: the old file stays
// byte-identical and nothing of the failed save's remains. The other save
// then ends as it would have. Through the same name, or another name of the
// file in another folder.
TEST(KStagedFilesTurns, ASaveHeldUpPastItsBoundFailsAndKeepsTheOldFile)
{
    struct Case
    {
        const char* name;
        bool hardLinked;   // rewritten in place
        bool otherFolder;  // the held save goes through a name in another folder
    };
    const Case cases[] = {
        {"replaced", false, false},
        {"rewritten in place", true, false},
        {"through a name in another folder", true, true},
    };
    const std::string oldText(100000, 'o');
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        TempDir dir, other;
        const std::string file = dir.File("scene.obj");
        ASSERT_TRUE(WriteFile(file, oldText));
        const std::string second = c.otherFolder ? other.File("scene.obj") : dir.File("second.obj");
        if (c.hardLinked)
        {
            ASSERT_EQ(link(file.c_str(), second.c_str()), 0);
        }
        const std::string heldName = c.otherFolder ? second : file;
        Signal held, go;
        std::fflush(nullptr);
        const pid_t holder = fork();
        if (holder == 0)
        {
            gOnFsync = [&] {
                static bool once = false;
                if (!once && (once = true))
                    held.Give() && go.Take();
            };
            KStagedFiles files;
            _exit(WriteStaged(files, heldName, "theirs") && files.Commit() ? 0 : 1);
        }
        ASSERT_TRUE(held.Take());
        std::fflush(nullptr);
        const pid_t saver = fork();
        if (saver == 0)
        {
            alarm(kHeldForGood);
            SetSaveLockWaitForTests(300);
            KStagedFiles files;
            if (!WriteStaged(files, file, "mine"))
                _exit(1);
            errno = 0;
            if (files.Commit())
                _exit(2);
            if (files.Error() != EAGAIN || errno != EAGAIN)
                _exit(3);
            if (std::string(files.Cause()) != "another program is saving it")
                _exit(4);
            _exit(0);
        }
        EXPECT_EQ(Finish(saver), 0);
        EXPECT_EQ(ReadFile(file), oldText);
        go.Give();
        EXPECT_EQ(Finish(holder), 0);
        EXPECT_EQ(ReadFile(file), "theirs");
        std::vector<std::string> names{"scene.obj"};
        if (c.hardLinked && !c.otherFolder)
            names.push_back("second.obj");
        EXPECT_EQ(ListDirectory(dir.Path()), names);
    }
}

// While a save of one file commits (held up here in its flush), saves of
// other files in its folder go on at once: a new file, another existing
// one, another hard-linked one rewritten in place.
TEST(KStagedFilesTurns, SavesOfOtherFilesInTheFolderNeverWait)
{
    TempDir dir;
    const std::string held = dir.File("held.obj"), existing = dir.File("other.obj"), linked = dir.File("linked.obj");
    ASSERT_TRUE(WriteFile(held, "old"));
    ASSERT_TRUE(WriteFile(existing, "old"));
    ASSERT_TRUE(WriteFile(linked, "old"));
    ASSERT_EQ(link(linked.c_str(), dir.File("second.obj").c_str()), 0);
    Signal holding, go;
    std::fflush(nullptr);
    const pid_t holder = fork();
    if (holder == 0)
    {
        gOnFsync = [&] {
            static bool once = false;
            if (!once && (once = true))
                holding.Give() && go.Take();
        };
        KStagedFiles files;
        _exit(WriteStaged(files, held, "held") && files.Commit() ? 0 : 1);
    }
    ASSERT_TRUE(holding.Take());
    for (const std::string& file : {dir.File("new.obj"), existing, linked})
    {
        SCOPED_TRACE(file);
        std::fflush(nullptr);
        const pid_t saver = fork();
        if (saver == 0)
        {
            alarm(kHeldForGood);
            KStagedFiles files;
            _exit(WriteStaged(files, file, "saved") && files.Commit() ? 0 : 1);
        }
        EXPECT_EQ(Finish(saver), 0);
        EXPECT_EQ(ReadFile(file), "saved");
    }
    EXPECT_EQ(ReadFile(held), "old");
    go.Give();
    EXPECT_EQ(Finish(holder), 0);
    EXPECT_EQ(ReadFile(held), "held");
}
