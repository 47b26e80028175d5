// Root reading a scene that lies in another user's home, through the SDK and
// through the plug-in's import, with that user's $HOME (sudo -E) or its own:
// nothing of root's appears in that user's tree, and the read's message says
// where the images went, or why they were not extracted.
#include "import_test_util.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/qox_test_files.h"

#include "fileio/kqoximporter.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxentity.h"

using namespace qoxsdk_600;
namespace fs = std::filesystem;

namespace {

const std::string kWood("\x89PNG wood\0\x02", 12);

// Every path below folder with its owner, sorted.
std::vector<std::string> Tree(const std::string& folder)
{
    std::vector<std::string> tree;
    std::error_code error;
    for (auto at = fs::recursive_directory_iterator(folder, error); !error && at != fs::recursive_directory_iterator();
         at.increment(error))
    {
        struct stat status;
        if (lstat(at->path().c_str(), &status) == 0)
            tree.push_back(at->path().string() + " " + std::to_string(status.st_uid));
    }
    std::sort(tree.begin(), tree.end());
    return tree;
}

} // namespace

TEST_F(ImportTest, RootMakesNothingInAnotherUsersHome)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "not root: giving a home to another user takes root";
    const passwd* other = getpwnam("nobody");
    if (!other || other->pw_uid == 0)
        GTEST_SKIP() << "no user \"nobody\" to give the home to";
    const uid_t user = other->pw_uid;
    const gid_t group = other->pw_gid;
    char real[PATH_MAX];
    ASSERT_TRUE(realpath(mDir.Path().c_str(), real));
    const std::string top = real, home = top + "/home/ann", rootHome = top + "/root";
    fs::create_directories(home + "/proj");
    fs::create_directories(home + "/made-by-root");
    fs::create_directories(rootHome);
    // The user's tree; "made-by-root" (root's, below the user's home) stays
    // root's, as an earlier root left it.
    for (const std::string& folder : {home, home + "/proj"})
        ASSERT_EQ(chown(folder.c_str(), user, group), 0);
    ASSERT_EQ(chmod(home.c_str(), 0555), 0);
    ASSERT_EQ(chmod((top + "/home").c_str(), 0755), 0);

    // The scene embeds wood.png; written by root elsewhere, then given to
    // the user in each folder.
    const std::string image = top + "/wood.png";
    ASSERT_TRUE(qoxtest::WriteFile(image, kWood));
    const std::string written = Write([&](KQoxSdkManager& m, KQoxScene& s) {
        TexturedMesh(m, s, "board", EmbeddedTexture(m, s, "wood", image));
        AddTake(s, "Take 001");
    });
    const std::string bytes = qoxtest::ReadFile(written);
    fs::remove(image);
    const struct
    {
        const char* mFolder; // the scene's folder, below the home
        const char* mTheirs; // the folder named as the user's
    } places[] = {{"", ""}, {"/proj", "/proj"}, {"/made-by-root", ""}};
    for (const auto& place : places)
    {
        const std::string scene = home + place.mFolder + "/scene.qox";
        ASSERT_TRUE(qoxtest::WriteFile(scene, bytes));
        ASSERT_EQ(chown(scene.c_str(), user, group), 0);
    }

    const std::vector<std::string> tree = Tree(home);
    for (const bool theirHome : {true, false})
        for (const bool plugin : {false, true})
            for (const auto& place : places)
            {
                const std::string scene = home + place.mFolder + "/scene.qox";
                SCOPED_TRACE(scene + (theirHome ? ", the user's $HOME" : ", root's $HOME") +
                             (plugin ? ", the plug-in" : ", the SDK"));
                const std::string theirs = home + place.mTheirs + " belongs to another user";
                // With root's $HOME, the cache there takes the image.
                const std::string cache = rootHome + "/.cache/qoxsdk/media";
                fs::remove_all(rootHome + "/.cache");
                setenv("HOME", theirHome ? home.c_str() : rootHome.c_str(), 1);
                for (const char* variable : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "ZELT_PLUG_IN_PATH"})
                    unsetenv(variable);
                std::string message, file;
                if (plugin)
                {
                    zelthost::Host::Get().UnloadAllPlugins();
                    ASSERT_TRUE(Load());
                    const ZStatus imported = Import(scene);
                    ASSERT_TRUE(imported) << imported.errorString();
                    for (const std::string& warning : HostWarnings())
                        message += warning.substr(warning.find(": ") + 2) + "\n";
                    file = Attr("wood.fileTextureName");
                    zelthost::Host::Get().UnloadAllPlugins();
                }
                else
                {
                    KQoxSdkManager manager;
                    KQoxScene read(manager);
                    KQoxImporter importer(manager);
                    ASSERT_TRUE(importer.Initialize(scene.c_str()) && importer.Import(read))
                        << importer.GetLastErrorString();
                    KString said;
                    importer.GetMessage(said);
                    message = said.ToChars();
                    KQoxEntity* entity = read.GetEntity();
                    for (int i = 0; i < entity->GetTextureCount(); ++i)
                        file = static_cast<KQoxTexture*>(entity->GetTexture(i))->GetFileName();
                }
                setenv("ZELT_PLUG_IN_PATH", mDir.Path().c_str(), 1);
                const std::vector<std::string> made = qoxtest::ListDirectory(cache);
                if (theirHome)
                {
                    EXPECT_EQ(message, "Media not extracted (" + theirs + "; " + home +
                                           " belongs to another user): " + image + "\n");
                    EXPECT_EQ(file, image);
                    EXPECT_EQ(made, std::vector<std::string>{});
                }
                else
                {
                    ASSERT_EQ(made.size(), 1u);
                    EXPECT_EQ(message,
                              "Media extracted into the cache (" + theirs + "): " + cache + "/" + made[0] + "\n");
                    EXPECT_EQ(file, cache + "/" + made[0] + "/wood.png");
                    EXPECT_EQ(qoxtest::ReadFile(file), kWood);
                }
                EXPECT_EQ(Tree(home), tree);
            }
}
