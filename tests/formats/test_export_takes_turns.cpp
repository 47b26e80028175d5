// Exports among other processes: two processes saving one target at once,
// in every form, leave the files of one of them, whole and paired; a process
// killed at any moment of an export leaves the old file, the new one, or a
// partly rewritten one beside a complete copy named as the README says; an
// export of a file another process is saving fails at its bound and says so.

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "base/ksavelock.h"
#include "base/ksavelock_private.h"
#include "common/qox_test_files.h"
#include "export_test_util.h"
#include "fileio/kqoximporter.h"
#include "fileio_test_util.h"

using namespace exporttest;
using qoxtest::ListDirectory;
using qoxtest::ReadFile;
using qoxtest::TempDir;

namespace {

// The scene a file holds, listed; "" when it cannot be read.
std::string Listing(const std::string& path, int format)
{
    KQoxRegisterGeometryFormats();
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxImporter importer(*manager);
    if (!importer.Initialize(path.c_str()))
        return "";
    const bool native = format == eEXPORT_QOX_BINARY || format == eEXPORT_QOX_ASCII;
    std::unique_ptr<KStreamOptions> options(native ? nullptr : importer.GetImportOptions());
    const bool read = native ? importer.Import(scene) : options && importer.Import(scene, options.get());
    return read ? fileiotest::ListScene(*manager, scene) : "";
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

TEST(ExportsTakeTurns, TwoProcessesSavingOneTargetLeaveTheFilesOfOne)
{
    const int quads[2] = {1500, 4500};
    const char* const materials[2] = {"PaintA", "PaintB"};
    for (const Form& form : kForms)
        for (const bool hardLinked : {false, true})
        {
            SCOPED_TRACE(std::string(form.extension) + (hardLinked ? ", hard-linked" : ""));
            TempDir references[2], dir;
            const std::string name = std::string("scene.") + form.extension;
            std::string listings[2], error;
            for (int s = 0; s < 2; ++s)
            {
                // Under the target's own name: OBJ names its library after it.
                const std::string path = references[s].File(name);
                ASSERT_TRUE(ExportQuads(quads[s], path, form.format, error, materials[s])) << error;
                listings[s] = Listing(path, form.format);
                ASSERT_FALSE(listings[s].empty());
            }
            const std::string target = dir.File(name);
            ASSERT_TRUE(ExportQuads(1, target, form.format, error)) << error;
            if (hardLinked)
            {
                ASSERT_EQ(link(target.c_str(), dir.File("second").c_str()), 0);
            }
            int mixed = 0;
            const int rounds = 12;
            for (int round = 0; round < rounds; ++round)
            {
                qoxtest::Signal go;
                pid_t savers[2];
                std::fflush(nullptr);
                for (int s = 0; s < 2; ++s)
                {
                    savers[s] = fork();
                    if (savers[s] == 0)
                    {
                        std::string ignored;
                        _exit(go.Take() && ExportQuads(quads[s], target, form.format, ignored, materials[s]) ? 0 : 1);
                    }
                }
                ASSERT_TRUE(go.Give(2));
                for (const pid_t saver : savers)
                {
                    int status = 0;
                    EXPECT_EQ(waitpid(saver, &status, 0), saver);
                    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
                }
                const std::string now = Listing(target, form.format);
                if (now != listings[0] && now != listings[1])
                    ++mixed;
            }
            EXPECT_EQ(mixed, 0) << "of " << rounds << " rounds";
            for (const std::string& entry : ListDirectory(dir.Path()))
                EXPECT_FALSE(entry.find(".tmp") != std::string::npos || entry.find(".new") != std::string::npos)
                    << entry;
        }
}

// An OBJ export over a hard-linked file, rewritten in place from a copy
// large enough that its copying takes many steps, and over a plain file,
// replaced: killed as soon as the new contents are complete, and a little
// later each time.
TEST(ExportsTakeTurns, AnExportKilledAtManyMomentsLeavesTheDataWhole)
{
    struct Case
    {
        const char* name;
        bool hardLinked;
    };
    const Case cases[] = {{"rewritten in place", true}, {"replaced", false}};
    const int quads = 60000, oldQuads = 20000;
    const int moments = 40;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        TempDir reference, dir;
        std::string error;
        ASSERT_TRUE(ExportQuads(quads, reference.File("scene.obj"), eEXPORT_OBJ, error)) << error;
        ASSERT_TRUE(ExportQuads(oldQuads, reference.File("old.obj"), eEXPORT_OBJ, error)) << error;
        const std::string newBytes = ReadFile(reference.File("scene.obj"));
        const std::string target = dir.File("scene.obj");
        int partial = 0, whole = 0;
        for (int moment = 0; moment < moments; ++moment)
        {
            for (const std::string& entry : ListDirectory(dir.Path()))
                unlink(dir.File(entry).c_str());
            ASSERT_TRUE(ExportQuads(oldQuads, target, eEXPORT_OBJ, error)) << error;
            const std::string oldBytes = ReadFile(target);
            if (c.hardLinked)
            {
                ASSERT_EQ(link(target.c_str(), dir.File("second.obj").c_str()), 0);
            }
            std::fflush(nullptr);
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0)
            {
                std::string ignored;
                _exit(ExportQuads(quads, target, eEXPORT_OBJ, ignored) ? 0 : 1);
            }
            // Wait until the new contents stand complete beside the file or,
            // every other time, until the file itself has begun to change;
            // then a little longer each time: kills all through the commit.
            const bool untilTheFileChanges = moment % 2 == 1;
            bool reached = false;
            for (int polls = 0; !reached && polls < 1000000; ++polls)
            {
                struct stat status;
                if (untilTheFileChanges)
                    reached = stat(target.c_str(), &status) == 0 && static_cast<size_t>(status.st_size) != oldBytes.size();
                for (const std::string& entry : ListDirectory(dir.Path()))
                    reached = reached || (!untilTheFileChanges &&
                                          (StartsWith(entry, "scene.obj.tmp") || StartsWith(entry, "scene.obj.new")) &&
                                          stat(dir.File(entry).c_str(), &status) == 0 &&
                                          static_cast<size_t>(status.st_size) == newBytes.size());
                int ended;
                if (!reached && waitpid(child, &ended, WNOHANG) == child)
                    break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100 * (moment / 2)));
            kill(child, SIGKILL);
            int status = 0;
            waitpid(child, &status, 0);
            const std::string now = ReadFile(target);
            if (now == newBytes || now == oldBytes)
            {
                ++whole;
                continue;
            }
            ++partial;
            std::vector<std::string> copies;
            for (const std::string& entry : ListDirectory(dir.Path()))
                if (StartsWith(entry, "scene.obj.new"))
                    copies.push_back(entry);
            ASSERT_EQ(copies.size(), 1u) << "partly rewritten, at moment " << moment << ", and no complete copy";
            EXPECT_TRUE(ReadFile(dir.File(copies[0])) == newBytes) << "at moment " << moment;
        }
        std::printf("%s: %d kills left a whole file, %d a partly rewritten one beside its copy\n", c.name, whole,
                    partial);
        if (!c.hardLinked)
        {
            EXPECT_EQ(partial, 0);
        }
    }
}

// Another process of this user holds the turn on the file (its save going
// on): an export of it waits its bound, then fails with its cause, every
// old file byte-identical and no temporary left.
TEST(ExportsTakeTurns, AnExportOfAFileAnotherSaveHoldsFailsAtItsBound)
{
    for (const Form& form : kForms)
    {
        SCOPED_TRACE(form.extension);
        TempDir dir;
        const std::string target = dir.File(std::string("scene.") + form.extension);
        std::string error;
        ASSERT_TRUE(ExportQuads(3, target, form.format, error)) << error;
        const std::vector<std::string> names = ListDirectory(dir.Path());
        std::vector<std::string> before;
        for (const std::string& name : names)
            before.push_back(ReadFile(dir.File(name)));
        qoxtest::Signal held, go;
        std::fflush(nullptr);
        const pid_t holder = fork();
        if (holder == 0)
        {
            KSaveLock lock;
            const bool taken = lock.Take({target});
            held.Give();
            _exit(taken && go.Take() ? 0 : 1);
        }
        ASSERT_TRUE(held.Take());
        std::fflush(nullptr);
        const pid_t saver = fork();
        if (saver == 0)
        {
            alarm(20); // a save held up for good fails the test instead of hanging it
            SetSaveLockWaitForTests(300);
            std::string message;
            if (ExportQuads(300, target, form.format, message))
                _exit(1);
            _exit(message == "File not created: another program is saving it" ? 0 : 2);
        }
        int status = 0;
        EXPECT_EQ(waitpid(saver, &status, 0), saver);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        go.Give();
        EXPECT_EQ(waitpid(holder, &status, 0), holder);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(ListDirectory(dir.Path()), names);
        for (size_t i = 0; i < names.size(); ++i)
            EXPECT_TRUE(ReadFile(dir.File(names[i])) == before[i]) << names[i];
    }
}

// With few descriptors left, the turn a save takes never takes one its files
// need: a native, DXF or 3DS save with two descriptors left is made, new or
// over an old file; with one or none left it is made or fails leaving the
// old file and no temporary.
TEST(ExportsTakeTurns, TheTurnTakesNoDescriptorTheSaveNeeds)
{
    for (const Form& form : kForms)
    {
        if (form.format == eEXPORT_OBJ)
            continue; // its library needs more
        for (const int left : {2, 1, 0})
            for (const bool existing : {false, true})
            {
                SCOPED_TRACE(std::string(form.extension) + ", " + std::to_string(left) + " left" +
                             (existing ? ", over an old file" : ""));
                TempDir dir;
                const std::string target = dir.File(std::string("scene.") + form.extension);
                std::string error, old;
                if (existing)
                {
                    ASSERT_TRUE(ExportQuads(2, target, form.format, error)) << error;
                    old = ReadFile(target);
                }
                // A first export with every descriptor: the undefined-behaviour
                // sanitizer checks a type through a pipe the first time it
                // meets it, which the child could not open.
                TempDir warm;
                ASSERT_TRUE(ExportQuads(5, warm.File(std::string("scene.") + form.extension), form.format, error))
                    << error;
                std::fflush(nullptr);
                const pid_t saver = fork();
                if (saver == 0)
                {
                    const int lowest = dup(0);
                    close(lowest);
                    const rlimit limit{static_cast<rlim_t>(lowest + left), static_cast<rlim_t>(lowest + left)};
                    if (lowest < 0 || setrlimit(RLIMIT_NOFILE, &limit) != 0)
                        _exit(100);
                    std::string message;
                    _exit(ExportQuads(5, target, form.format, message) ? 0 : 1);
                }
                int status = 0;
                ASSERT_EQ(waitpid(saver, &status, 0), saver);
                ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 100);
                const bool saved = WEXITSTATUS(status) == 0;
                if (left == 2)
                {
                    EXPECT_TRUE(saved);
                }
                if (saved)
                {
                    EXPECT_FALSE(Listing(target, form.format).empty());
                    EXPECT_NE(ReadFile(target), old);
                }
                else if (existing)
                {
                    EXPECT_EQ(ReadFile(target), old);
                }
                const std::vector<std::string> expected =
                    saved || existing ? std::vector<std::string>{"scene." + std::string(form.extension)}
                                      : std::vector<std::string>{};
                EXPECT_EQ(ListDirectory(dir.Path()), expected);
            }
    }
}
