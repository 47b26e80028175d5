// Names with control characters (a damaged or hostile file) in what a read
// says: through the SDK's message, the host's warnings and the plug-in's
// log, each control character is shown escaped and each message stays one
// line.
#include "import_test_util.h"

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "common/qox_test_files.h"

#include "fileio/kqoximporter.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxentity.h"

using namespace qoxsdk_600;
namespace fs = std::filesystem;

TEST_F(ImportTest, ControlCharactersInNamesAreShownEscapedOneLinePerMessage)
{
    const struct
    {
        std::string mRaw, mShown;
    } rows[] = {
        {"\n", "\\n"},
        {"\r", "\\r"},
        {"\x1b[31m", "\\e[31m"},
        {"\t", "\\t"},
        {"\x7f", "\\x7F"},
        {std::string("\x01\x1f", 2), "\\x01\\x1F"},
        {"\xc3\xa9", "\xc3\xa9"}, // UTF-8 as it is
    };
    // The images cannot go beside the scene (a file stands at its media
    // folder's name) nor to the cache (a file stands at $XDG_CACHE_HOME):
    // each is named as not extracted.
    const std::string cache = mDir.File("cache"), made = mDir.File("images");
    ASSERT_TRUE(qoxtest::WriteFile(cache, "a file, not a folder"));
    fs::create_directories(made);
    const std::string log = mDir.File("qoxzeltlog.txt");
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.mShown);
        const std::string image = made + "/wood" + row.mRaw + ".png", shown = made + "/wood" + row.mShown + ".png";
        ASSERT_TRUE(qoxtest::WriteFile(image, "\x89PNG wood"));
        const std::string scene = Write([&](KQoxSdkManager& m, KQoxScene& s) {
            TexturedMesh(m, s, "board", EmbeddedTexture(m, s, "wood", image));
            AddTake(s, "Take 001");
        });
        fs::remove(image);
        fs::remove_all(scene + ".media");
        ASSERT_TRUE(qoxtest::WriteFile(scene + ".media", "not a folder"));
        const std::string line = "Media not extracted (" + scene + ".media is not a folder; " + cache +
                                 "/qoxsdk: Not a directory): " + shown;
        setenv("XDG_CACHE_HOME", cache.c_str(), 1);

        // The SDK's message.
        KQoxSdkManager manager;
        KQoxScene read(manager);
        KQoxImporter importer(manager);
        ASSERT_TRUE(importer.Initialize(scene.c_str()) && importer.Import(read)) << importer.GetLastErrorString();
        KString message;
        importer.GetMessage(message);
        EXPECT_EQ(std::string(message.ToChars()), line + "\n");

        // The host's warnings and the log's lines.
        fs::remove(log);
        const ZStatus imported = Import(scene);
        unsetenv("XDG_CACHE_HOME");
        ASSERT_TRUE(imported) << imported.errorString();
        EXPECT_EQ(HostWarnings(), std::vector<std::string>{scene + ": " + line});
        std::vector<std::string> logged;
        for (const std::string& text : qoxtest::SplitLines(qoxtest::ReadFile(log)))
            if (!text.empty() && text[0] == '\t')
                logged.push_back(text.substr(1, text.find_last_not_of('\n')));
        EXPECT_EQ(logged, std::vector<std::string>{line});
    }
}
