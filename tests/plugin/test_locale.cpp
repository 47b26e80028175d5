// The plug-in and the host while LC_NUMERIC writes a decimal comma: the
// settings file, script numbers and command texts as in the "C" locale.
#include "plugin_test_util.h"

#include <cstdio>
#include <utility>

#include "base/kpath.h"
#include "host/zfn.h"
#include "plugin/qoxzeltuserparams.h"
#include "plugin/qoxzeltutility.h"

using namespace qoxsdk_600;

namespace {

using Strings = std::vector<std::string>;

class PluginLocaleTest : public PluginTest
{
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        KLib_SetConfigDirectory((mDir.Path() + "/").c_str());
    }
    void TearDown() override
    {
        PluginTest::TearDown();
        KLib_SetConfigDirectory("");
    }

    // Saves settings with numbers of every kind to "registry.txt", loads
    // them into a fresh table: the file's text, then the numbers read.
    std::pair<std::string, std::vector<double>> SaveAndLoad()
    {
        {
            QoxZeltUserParams params;
            params.SetDoubleParam(KQoxUserParams::kImportSamplingRate, 23.976);
            params.SetDoubleParam(KQoxUserParams::kExportMasterScale, 2.54);
            params.SetStringParam(KQoxUserParams::kImportUnrollPrec, KString("1.5e-2"));
        }
        const std::string text = qoxtest::ReadFile(mDir.File("registry.txt"));
        QoxZeltUserParams loaded;
        loaded.Load();
        const std::vector<double> values = {loaded.GetDoubleParam(KQoxUserParams::kImportSamplingRate),
                                            loaded.GetDoubleParam(KQoxUserParams::kExportMasterScale),
                                            loaded.GetDoubleParam(KQoxUserParams::kImportUnrollPrec),
                                            loaded.GetResamplingRate(true)};
        return {text, values};
    }
};

} // namespace

TEST_F(PluginLocaleTest, SettingsFileReadsAndWritesTheSameWithADecimalComma)
{
    const auto inC = SaveAndLoad();
    ASSERT_NE(inC.first.find("kImportSamplingRate = 23.976000\n"), std::string::npos) << inC.first;
    EXPECT_EQ(inC.second[0], 23.976);
    EXPECT_EQ(inC.second[2], 0.015);
    ASSERT_EQ(std::remove(mDir.File("registry.txt").c_str()), 0);

    qoxtest::CommaLocale comma;
    QOX_NEED_COMMA_LOCALE(comma);
    const auto inComma = SaveAndLoad();
    EXPECT_EQ(inC.first, inComma.first);
    EXPECT_EQ(inC.second, inComma.second);
}

TEST_F(PluginLocaleTest, ScriptNumbersAndCommandTextsWithADecimalComma)
{
    qoxtest::CommaLocale comma;
    QOX_NEED_COMMA_LOCALE(comma);
    ASSERT_TRUE(Load());
    // The host's own numbers: arguments, results.
    Run("createNode transform -n a");
    Run("setAttr a.translateX 1.5e0; setAttr a.translateY -0.25");
    EXPECT_EQ(Run("getAttr a.translateX"), Strings{"1.5"});
    EXPECT_EQ(Run("getAttr a.translateY"), Strings{"-0.25"});

    // Seconds of a take read from an ASCII file and handed to the script.
    const std::string file = mDir.File("takes.qox");
    ASSERT_TRUE(WriteTakeFile(file, true));
    EXPECT_EQ(Run("QOXRead -f \"" + file + "\""), Strings{"2"});
    EXPECT_EQ(Run("QOXGetTakeLocalTimeSpan Run"), (Strings{"0.5", "2"}));

    // A matrix the plug-in sets through a command.
    Run("createNode cluster -n cl");
    ZSelectionList list;
    ZObject object;
    ASSERT_TRUE(list.add(ZString("cl")) && list.getDependNode(0, object));
    ZFnDependencyNode cluster(object);
    ZPlug plug;
    ASSERT_TRUE(QoxZeltUtility::GetPlug(cluster, "matrix", plug));
    const double values[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.1, -2.5, 1.0 / 3.0, 1};
    zelthost::Host::Get().ClearTranscript();
    EXPECT_TRUE(QoxZeltUtility::SetPlugMatrix(plug, values, false));
    EXPECT_EQ(Commands(), Strings{"setAttr cl.matrix -type \"matrix\" 1 0 0 0 0 1 0 0 0 0 1 0 0.10000000000000001 -2.5 "
                                  "0.33333333333333331 1"});
}
