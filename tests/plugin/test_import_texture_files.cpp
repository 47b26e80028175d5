// Texture files through QOXImport: a native file read away from the image
// its clip embeds gives the host's file textures files that exist, in the
// user's cache where the file's folder cannot take the image.
#include "import_test_util.h"

#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

#include "common/qox_test_files.h"

#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxentity.h"

using namespace qoxsdk_600;
namespace fs = std::filesystem;

namespace {

const std::string kImage("\x89PNG not decoded here\0\x01\xff", 24);

} // namespace

// The clip "Gaspra" embeds images/951gaspra.png; the texture "Gaspra" names
// it by a bare relative name, the texture "Ida" by its full name, and both
// use the clip. The texture "Vesta" has no clip and names images/vesta.png,
// which is not there, with the relative name "vesta.png". The file is
// written beside the image and moved away.
TEST_F(ImportTest, FileTexturesNameFilesThatExistAfterTheMediaIsExtracted)
{
    const std::string made = mDir.File("images"), moved = mDir.File("moved");
    fs::create_directories(made);
    fs::create_directories(moved);
    const std::string image = made + "/951gaspra.png";
    ASSERT_TRUE(qoxtest::WriteFile(image, kImage));
    fs::rename(Write(
                   [&](KQoxSdkManager& m, KQoxScene& s) {
                       KQoxVideo* clip = m.CreateKQoxVideo("Gaspra");
                       clip->SetFileName(image.c_str());
                       s.GetEntity()->AddVideo(clip);
                       auto texture = [&](const char* name, const std::string& file, const char* relative,
                                          const char* media) {
                           KQoxTexture* t = m.CreateKQoxTexture(name);
                           t->SetFileName(file.c_str());
                           t->SetRelativeFileName(relative);
                           t->SetMediaName(media);
                           return t;
                       };
                       TexturedMesh(m, s, "rock", texture("Gaspra", "951gaspra.png", "", "Video::Gaspra"));
                       TexturedMesh(m, s, "moon", texture("Ida", image, "", "Video::Gaspra"));
                       TexturedMesh(m, s, "star", texture("Vesta", made + "/vesta.png", "vesta.png", ""));
                       AddTake(s, "Take 001");
                   },
                   "images/scene.qox"),
               moved + "/scene.qox");
    const std::string media = moved + "/scene.qox.media/951gaspra.png";

    enum Images
    {
        eKEPT,   // where the file was written
        eGONE,   // removed
        eBESIDE, // copies beside the moved file
    };
    struct Case
    {
        const char* mWhat;
        Images mImages;
        bool mFromFolder;                  // imported by its bare name from its own folder
        std::string mGaspra, mIda, mVesta; // mVesta "": not checked
    };
    const Case cases[] = {
        {"image kept", eKEPT, false, media, image, ""},
        {"image gone", eGONE, false, media, media, ""},
        {"again over the media extracted", eGONE, false, media, media, ""},
        {"by a relative name", eGONE, true, media, media, ""},
        {"images beside, by a relative name", eBESIDE, true, moved + "/951gaspra.png", media, moved + "/vesta.png"},
    };
    for (const Case& row : cases)
    {
        SCOPED_TRACE(row.mWhat);
        if (row.mImages != eKEPT)
            fs::remove(image);
        for (const char* name : {"/951gaspra.png", "/vesta.png"})
            EXPECT_TRUE(row.mImages != eBESIDE || qoxtest::WriteFile(moved + name, kImage));
        {
            std::optional<qoxtest::WorkingFolder> folder;
            if (row.mFromFolder)
                folder.emplace(moved);
            ASSERT_TRUE(Import(row.mFromFolder ? std::string("scene.qox") : moved + "/scene.qox"));
        }
        for (const auto& [node, expected] :
             {std::pair<const char*, std::string>{"Gaspra", row.mGaspra}, {"Ida", row.mIda}, {"Vesta", row.mVesta}})
        {
            if (expected.empty())
                continue;
            const std::string file = Attr(node + std::string(".fileTextureName"));
            EXPECT_EQ(file, expected) << node;
            EXPECT_EQ(qoxtest::ReadFile(file), kImage) << node;
        }
    }
}

namespace {

// The lines of the plug-in's log that tell what was found (tab first), tab
// removed.
std::vector<std::string> LoggedLines(const std::string& log)
{
    std::vector<std::string> lines;
    for (const std::string& line : qoxtest::SplitLines(log))
        if (line[0] == '\t')
            lines.push_back(line.substr(1, line.find_last_not_of('\n')));
    return lines;
}

class ImportMessageTest : public ImportTest
{
protected:
    std::string SceneWhoseImagesCannotGoBeside();
};

// A scene of two clips embedding wood.png and stone.png, each used by a
// texture, written beside the images (in "images", which the read names
// them by) and moved alone to shelf/scene.qox,
// where "scene.qox.media" is a file: the images can go only to the cache.
std::string ImportMessageTest::SceneWhoseImagesCannotGoBeside()
{
    const std::string made = mDir.File("images"), shelf = mDir.File("shelf");
    fs::create_directories(made);
    fs::create_directories(shelf);
    const std::string scene = Write(
        [&](KQoxSdkManager& m, KQoxScene& s) {
            for (const char* name : {"wood", "stone"})
            {
                const std::string image = made + "/" + name + ".png";
                EXPECT_TRUE(qoxtest::WriteFile(image, kImage));
                TexturedMesh(m, s, name, EmbeddedTexture(m, s, name, image));
            }
            AddTake(s, "Take 001");
        },
        "images/scene.qox");
    fs::rename(scene, shelf + "/scene.qox");
    fs::remove_all(made);
    EXPECT_TRUE(qoxtest::WriteFile(shelf + "/scene.qox.media", "not a folder"));
    return shelf + "/scene.qox";
}

} // namespace

// What the read says reaches the host user: each line of the SDK's message
// (here two images not extracted, the cache being a file) is a warning
// naming the file, and a line of the plug-in's log; the import succeeds.
TEST_F(ImportMessageTest, TheReadsMessageReachesTheHostAsWarningsAndTheLog)
{
    const std::string scene = SceneWhoseImagesCannotGoBeside(), cache = mDir.File("cache");
    ASSERT_TRUE(qoxtest::WriteFile(cache, "a file, not a folder"));
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    const ZStatus imported = Import(scene);
    unsetenv("XDG_CACHE_HOME");
    ASSERT_TRUE(imported) << imported.errorString();
    const std::string why = "(" + scene + ".media is not a folder; " + cache + "/qoxsdk: Not a directory): ";
    const std::vector<std::string> lines = {"Media not extracted " + why + mDir.File("images/wood.png"),
                                            "Media not extracted " + why + mDir.File("images/stone.png")};
    EXPECT_EQ(HostWarnings(), (std::vector<std::string>{scene + ": " + lines[0], scene + ": " + lines[1]}));
    EXPECT_EQ(LoggedLines(qoxtest::ReadFile(mDir.File("qoxzeltlog.txt"))), lines);
}

// Root working with a user's $HOME (sudo -E): the plug-in's load and a read
// that would extract to the cache make nothing in that home, and say why:
// the settings stay in memory, and the images are named as not extracted.
TEST_F(ImportMessageTest, RootWithAnotherUsersHomeMakesNothingThere)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "not root: giving the home to another user takes root";
    const std::string scene = SceneWhoseImagesCannotGoBeside(), home = mDir.File("home");
    ASSERT_EQ(mkdir(home.c_str(), 0755) | chown(home.c_str(), 65534, 65534), 0);
    const char* kept = getenv("HOME");
    const std::string before = kept ? kept : "";
    zelthost::Host::Get().UnloadAllPlugins();
    setenv("HOME", home.c_str(), 1);
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "ZELT_PLUG_IN_PATH"})
        unsetenv(variable);
    zelthost::Host::Get().ClearTranscript();
    const bool loaded = static_cast<bool>(Load());
    const std::vector<std::string> loadWarnings = HostWarnings();
    const ZStatus imported = loaded ? Import(scene) : ZStatus(ZStatus::kFailure, "not loaded");
    setenv("HOME", before.c_str(), 1);
    ASSERT_TRUE(imported) << imported.errorString();
    const std::string theirs = home + " belongs to another user";
    EXPECT_EQ(loadWarnings,
              std::vector<std::string>{"The settings are kept in memory only and no log is written: " + theirs});
    const std::string why = "(" + scene + ".media is not a folder; " + theirs + "): ";
    EXPECT_EQ(HostWarnings(),
              (std::vector<std::string>{scene + ": Media not extracted " + why + mDir.File("images/wood.png"),
                                        scene + ": Media not extracted " + why + mDir.File("images/stone.png")}));
    EXPECT_EQ(qoxtest::ListDirectory(home), std::vector<std::string>{});
}

// The file moved to a folder the importing user may not write (root imports
// it as another user): the image is extracted into that user's cache, and
// both file textures name the file there, whether the file is imported by
// its full name or by a name relative to its own folder.
TEST_F(ImportTest, FileTexturesNameTheCachedImageWhereTheScenesFolderCannotTakeIt)
{
    const uid_t nobody = 65534;
    // The importing user reaches the test's folder, and has a cache of its own.
    ASSERT_EQ(chmod(mDir.Path().c_str(), 0755), 0);
    const std::string made = mDir.File("images"), shelf = mDir.File("shelf"), cache = mDir.File("cache");
    for (const std::string& folder : {made, shelf, cache})
        fs::create_directories(folder);
    ASSERT_EQ(chmod(cache.c_str(), 0700), 0);
    ASSERT_TRUE(geteuid() != 0 || chown(cache.c_str(), nobody, nobody) == 0);
    const std::string image = made + "/951gaspra.png";
    ASSERT_TRUE(qoxtest::WriteFile(image, kImage));
    fs::rename(Write(
                   [&](KQoxSdkManager& m, KQoxScene& s) {
                       KQoxVideo* clip = m.CreateKQoxVideo("Gaspra");
                       clip->SetFileName(image.c_str());
                       s.GetEntity()->AddVideo(clip);
                       for (const auto& [node, name, file] :
                            {std::tuple<const char*, const char*, std::string>{"rock", "Gaspra", "951gaspra.png"},
                             {"moon", "Ida", image}})
                       {
                           KQoxTexture* texture = m.CreateKQoxTexture(name);
                           texture->SetFileName(file.c_str());
                           texture->SetMediaName("Video::Gaspra");
                           TexturedMesh(m, s, node, texture);
                       }
                       AddTake(s, "Take 001");
                   },
                   "images/scene.qox"),
               shelf + "/scene.qox");
    fs::remove_all(made);
    ASSERT_EQ(chmod((shelf + "/scene.qox").c_str(), 0644), 0);
    ASSERT_EQ(chmod(shelf.c_str(), 0555), 0);
    for (bool fromFolder : {false, true})
    {
        SCOPED_TRACE(fromFolder ? "by a relative name" : "by its full name");
        const std::string read = qoxtest::ChildText([&]() -> std::string {
            alarm(20);
            if (geteuid() == 0 && !qoxtest::BecomeUser(nobody, nobody))
                return "(cannot become another user)";
            setenv("XDG_CACHE_HOME", cache.c_str(), 1);
            std::optional<qoxtest::WorkingFolder> folder;
            if (fromFolder)
                folder.emplace(shelf);
            if (!Import(fromFolder ? std::string("scene.qox") : shelf + "/scene.qox"))
                return "(not imported)";
            std::string out;
            for (const char* node : {"Gaspra", "Ida"})
            {
                const std::string file = Attr(node + std::string(".fileTextureName"));
                out += file + (qoxtest::ReadFile(file) == kImage ? " holds the image\n" : " does not hold it\n");
            }
            return out;
        });
        const std::vector<std::string> folders = qoxtest::ListDirectory(cache + "/qoxsdk/media");
        ASSERT_EQ(folders.size(), 1u) << read;
        const std::string cached = fs::canonical(cache + "/qoxsdk/media/" + folders[0]).string() + "/951gaspra.png";
        EXPECT_EQ(read, cached + " holds the image\n" + cached + " holds the image\n");
        EXPECT_FALSE(fs::exists(shelf + "/scene.qox.media"));
    }
    chmod(shelf.c_str(), 0755);
}

// The cases of this program that act as another user, some from another
// working folder, run again from a working folder below a folder only this
// user may enter, as in a clone in root's home: a child that became another
// user works from a folder it may enter and comes back where it may.
TEST(ImportFromAClosedFolder, CasesAsAnotherUserPassBelowAFolderOnlyItsOwnerMayEnter)
{
    for (const char* cases : {"ImportTest.FileTextures*", "PluginTest.ReadFailsAsImportDoesForFilesThatDoNotOpen"})
    {
        std::string output;
        EXPECT_TRUE(qoxtest::RerunBelowAClosedFolder(cases, output)) << output;
    }
}
