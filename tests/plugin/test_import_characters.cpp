// Characters after an import: one empty host character per character of the
// scene, when the host has its character command.
#include "import_test_util.h"

#include "plugin/qoxzeltcommands.h"

using namespace qoxsdk_600;
using Strings = std::vector<std::string>;

TEST_F(ImportTest, CharactersBecomeHostCharactersThroughTheImport)
{
    ASSERT_TRUE(Import([](KQoxSdkManager& m, KQoxScene& s) {
        AddNode(m, s.GetRootNode(), "hips");
        s.CreateCharacter("Hero");
        s.CreateCharacter("Villain");
    }));
    EXPECT_EQ(CommandsStarting("exists"), Strings{"exists \"character\""});
    EXPECT_EQ(CommandsStarting("character"),
              (Strings{"character -empty -name \"Hero\"", "character -empty -name \"Villain\""}));
    EXPECT_EQ(Run("ls -type character"), (Strings{"Hero", "Villain"}));
}

TEST_F(ImportTest, CharactersNeedTheHostsCharacterCommand)
{
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    // No characters: the host is not asked.
    zelthost::Host::Get().ClearTranscript();
    EXPECT_TRUE(QOXCharacterPostLoad(&scene));
    EXPECT_TRUE(QOXCharacterPostLoad(nullptr));
    EXPECT_TRUE(Commands().empty());
    // A host without character support gets nothing made.
    scene.CreateCharacter("Hero");
    zelthost::Host::Get().missingCommands.insert("character");
    EXPECT_TRUE(QOXCharacterPostLoad(&scene));
    EXPECT_EQ(Commands(), Strings{"exists \"character\""});
    EXPECT_EQ(Run("ls -type character"), Strings{});
    // With it: a name the host holds already is made unique by the host.
    zelthost::Host::Get().missingCommands.clear();
    Run("character -empty -name Hero");
    EXPECT_TRUE(QOXCharacterPostLoad(&scene));
    EXPECT_EQ(Run("ls -type character"), (Strings{"Hero", "Hero1"}));
}
