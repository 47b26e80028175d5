// User parameters: the default table, text encodings, resets, persistence in
// a settings file and the master unit and scale.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

#include "base/kconfigfile.h"
#include "common/qox_test_common.h"
#include "scene/kqoxuserparams.h"

namespace {

using namespace qoxsdk_600;

class TestParams : public KQoxUserParams
{
public:
    using KQoxUserParams::Load;
    using KQoxUserParams::Save;
    void Load() override {}
    void Save() override {}
    ESysUnits GetSystemUnitInfo() const override { return mUnit; }
    double GetSystemScale(ESysUnits) const override { return mBaseScale; }

    ESysUnits mUnit = eUNIT;
    double mBaseScale = 1.0;
};

std::string Text(const KQoxUserParams& params, unsigned int index)
{
    return params.GetStringParam(index).ToChars();
}

TEST(UserParams, DefaultTableHoldsEveryKeyTypeAndText)
{
    // Every entry as key=value; in index order, then the declared types.
    const std::string expected =
        "kExportMasterUnitStr=Detected source world unit = Unit\n1 unit = 1 centimeter;"
        "kImportMasterUnitStr=Detected destination world unit = Unit\n1 centimeter = 1 unit;"
        "kShowWarnings=true;kAsciiQox=false;kExportMasterScale=1.0;kExportSamplingRate=30.0;"
        "kExportAnimation=true;kExportEmbedTextures=false;kExportConvert_2Tiff=false;kExportCameras=true;"
        "kExportLights=true;kExportGeometries=true;kExportSkins=true;kExportShapes=true;"
        "kExportBindPose=true;kExportPivotToNull=false;kExportApplyCstKeyRed=true;"
        "kExportCstKeyRedTPrec=0.00009;kExportCstKeyRedRPrec=0.009;kExportCstKeyRedSPrec=0.004;"
        "kExportCstKeyRedOPrec=0.009;kExportApplyKeyReduce=false;kExportKeyReducePrec=1.0000;"
        "kExportApplyKeySync=false;kExportApplyKeysOnFrm=true;kExportApplyUnroll=true;"
        "kExportUnrollPrec=0.25;kExportUnrollPath=true;kImportLoadMode=kCreate;kImportMasterScale=1.0;"
        "kImportSamplingRate=30.0;kImportAnimation=true;kImportCameras=true;kImportLights=true;"
        "kImportGeometries=true;kImportSkins=true;kImportShapes=true;kImportMarkers=false;"
        "kImportNullsToPivot=false;kImportApplyCstKeyRed=true;kImportCstKeyRedTPrec=0.00009;"
        "kImportCstKeyRedRPrec=0.009;kImportCstKeyRedSPrec=0.004;kImportCstKeyRedOPrec=0.009;"
        "kImportApplyKeyReduce=false;kImportKeyReducePrec=1.0000;kImportApplyKeySync=false;"
        "kImportApplyKeysOnFrm=true;kImportApplyUnroll=true;kImportUnrollPrec=0.25;"
        "kImportUnrollPath=true;";
    const std::string types = "220011000000000001111010001021100000000011110100010";
    TestParams params;
    ASSERT_EQ(params.GetNbParameters(), 51);
    std::string table, declared;
    for (unsigned int i = 0; i < 51; ++i)
    {
        const KQoxUserParamEntry* entry = params.Entry(i);
        table += std::string(entry->mName.ToChars()) + "=" + entry->mValue.ToChars() + ";";
        declared += std::to_string(entry->mType);
    }
    EXPECT_EQ(table, expected);
    EXPECT_EQ(declared, types);
    EXPECT_EQ(params.Entry(static_cast<unsigned int>(-1)), nullptr);
    EXPECT_EQ(params.GetDoubleParam(17), 0.00009);
    EXPECT_EQ(params.GetResamplingRate(true), 30.0);
}

TEST(UserParams, TextEncodings)
{
    TestParams params;
    struct DoubleCase
    {
        double value;
        const char* text;
        double readBack;
    };
    const DoubleCase doubles[] = {
        {24.0, "24.000000", 24.0},
        {0.0000001, "0.000000", 0.0},
        {91.44, "91.440002", 91.440002},
        {-2.5, "-2.500000", -2.5},
        {FLT_MAX, "340282346638528859811704183484516925440.000000", static_cast<double>(FLT_MAX)},
        {DBL_MAX, "inf", std::numeric_limits<double>::infinity()},
        {-DBL_MAX, "-inf", -std::numeric_limits<double>::infinity()},
        {std::numeric_limits<double>::denorm_min(), "0.000000", 0.0},
    };
    for (const DoubleCase& c : doubles)
    {
        SCOPED_TRACE(c.text);
        params.SetDoubleParam(5, c.value);
        EXPECT_EQ(Text(params, 5), c.text);
        EXPECT_EQ(params.GetDoubleParam(5), c.readBack);
    }
    // The declared type is never consulted.
    params.SetBoolParam(5, true);
    EXPECT_EQ(Text(params, 5), "true");
    EXPECT_EQ(params.GetDoubleParam(5), 0.0);
    EXPECT_EQ(params.Entry(5)->mType, KQoxUserParams::eDOUBLE);

    for (const char* text : {"True", "1", "true ", "TRUE", ""})
    {
        params.SetStringParam(2, KString(text));
        EXPECT_FALSE(params.GetBoolParam(2)) << text;
    }
    params.SetStringParam(4, KString("2.5cm"));
    EXPECT_EQ(params.GetDoubleParam(4), 2.5);

    // Indices past the end read empty and write nothing.
    params.SetDoubleParam(51, 1.0);
    EXPECT_EQ(Text(params, 51), "");
}

TEST(UserParams, LoadModeTexts)
{
    TestParams params;
    const char* texts[] = {"kExclusiveMerge", "kMerge", "kCreate"};
    for (int mode = 0; mode < 3; ++mode)
    {
        const KString text = params.LoadModeToString(static_cast<KQoxUserParams::ELoadMode>(mode));
        EXPECT_STREQ(text.ToChars(), texts[mode]);
        EXPECT_EQ(params.StringToLoadMode(text), mode);
    }
    EXPECT_STREQ(params.LoadModeToString(static_cast<KQoxUserParams::ELoadMode>(3)).ToChars(), "");
    for (const char* text : {"", "kmerge", "KCREATE", "kCreate "})
        EXPECT_EQ(params.StringToLoadMode(KString(text)), KQoxUserParams::eMERGE) << text;
}

TEST(UserParams, ResetVariants)
{
    TestParams params;
    for (unsigned int i = 0; i < 51; ++i)
        params.SetStringParam(i, KString("x"));
    KArrayTemplate<KQoxUserParamEntry*> extra;
    KQoxUserParamEntry entries[3] = {{KString("kMine"), 0, KString("true")},
                                     {KString("kMine"), 1, KString("2.0")},
                                     {KString("kOther"), 2, KString("text")}};
    for (KQoxUserParamEntry& entry : entries)
        extra.Add(&entry);
    params.AddUserParams(extra);
    ASSERT_EQ(params.GetNbParameters(), 54);

    params.ResetExport();
    // The side reset texts, written as they stand; the precisions differ from Reset's.
    EXPECT_EQ(Text(params, 17), "0.009");
    EXPECT_EQ(Text(params, 18), "0.00009");
    EXPECT_EQ(Text(params, 19), "0.009");
    EXPECT_EQ(Text(params, 20), "0.004");
    EXPECT_EQ(Text(params, 5), "30.0");
    EXPECT_EQ(Text(params, 3), "false");
    for (unsigned int untouched : {0u, 1u, 28u, 29u, 38u, 40u, 50u, 53u})
        EXPECT_EQ(Text(params, untouched), untouched == 53 ? "text" : "x") << untouched;

    params.ResetImport();
    EXPECT_EQ(Text(params, 40), "0.009");
    EXPECT_EQ(Text(params, 41), "0.00009");
    EXPECT_EQ(Text(params, 42), "0.009");
    EXPECT_EQ(Text(params, 43), "0.004");
    EXPECT_EQ(Text(params, 38), "false");
    EXPECT_EQ(Text(params, 28), "x");

    params.Reset();
    EXPECT_EQ(params.GetNbParameters(), 51);
    EXPECT_EQ(Text(params, 40), "0.00009");
}

TEST(UserParams, SettingsFileRoundTrip)
{
    qoxtest::TempDir dir;
    TestParams saved;
    saved.SetDoubleParam(5, 24.0);
    saved.SetBoolParam(6, false);
    saved.SetStringParam(28, saved.LoadModeToString(KQoxUserParams::eEXCLUSIVE_MERGE));
    saved.SetBoolParam(15, true);
    saved.SetBoolParam(38, true);
    saved.mUnit = KQoxUserParams::eINCH;
    saved.ComputeMasterScale(false, false);
    {
        KConfigFile file("registry.txt", dir.Path().c_str());
        saved.Save(file, "UserParams");
    }
    const std::string content = qoxtest::ReadFile(dir.File("registry.txt"));
    // One line per persisted entry, nothing else: no unit text, no skipped keys.
    int lines = 0;
    for (char c : content)
        lines += c == '\n';
    EXPECT_EQ(lines, 48) << content;
    EXPECT_EQ(content.rfind("[UserParams]\n", 0), 0u) << content;
    EXPECT_NE(content.find("kExportMasterScale = 2.540000\nkExportSamplingRate = 24.000000\n"), std::string::npos);
    for (const char* absent :
         {"kExportMasterUnitStr", "kImportMasterUnitStr", "kExportPivotToNull", "kImportNullsToPivot", "centimeter"})
        EXPECT_EQ(content.find(absent), std::string::npos) << absent;

    TestParams loaded;
    loaded.SetBoolParam(15, true);
    {
        KConfigFile file("registry.txt", dir.Path().c_str());
        loaded.Load(file, "UserParams");
    }
    for (unsigned int i = 0; i < 51; ++i)
    {
        const bool derived = i == 0 || i == 15 || i == 38;
        EXPECT_TRUE(derived || Text(loaded, i) == Text(saved, i)) << i;
    }
    EXPECT_TRUE(loaded.GetBoolParam(15));
    EXPECT_FALSE(loaded.GetBoolParam(38));

    // Keys the file lacks, or a section it lacks, keep their values; keys of
    // skipped entries in the file are never read.
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("partial.txt"), "[UserParams]\nkAsciiQox = true\nkExportPivotToNull = "
                                                            "true\nkExportMasterUnitStr = odd\nkImportUnrollPrec = "
                                                            "bad\n[Other]\nkShowWarnings = false\n"));
    TestParams partial;
    {
        KConfigFile file("partial.txt", dir.Path().c_str());
        partial.Load(file, "UserParams");
        TestParams untouched;
        untouched.Load(file, "Missing");
        EXPECT_EQ(Text(untouched, 3), "false");
    }
    EXPECT_TRUE(partial.GetBoolParam(3));
    EXPECT_TRUE(partial.GetBoolParam(2));
    EXPECT_FALSE(partial.GetBoolParam(15));
    EXPECT_EQ(Text(partial, 0), Text(TestParams(), 0));
    EXPECT_EQ(Text(partial, 49), "bad");
}

TEST(UserParams, ComputeMasterScale)
{
    struct Case
    {
        bool destination;
        int unit;
        double base;
        unsigned int textEntry;
        const char* text; // null: the entry keeps its default
        unsigned int scaleEntry;
        const char* scale;
    };
    const Case cases[] = {
        {false, 1, 1.0, 0, "Detected source world unit = Inch\n1 inch = 2.54 centimeters", 4, "2.540000"},
        {false, 8, 2.0, 0, "Detected source world unit = Kilometer\n1 kilometer = 100000 centimeters", 4,
         "200000.000000"},
        {false, 5, 1.0, 0, "Detected source world unit = Millimeter\n1 millimeter = 0.1 centimeters", 4, "0.100000"},
        {false, 9, 3.0, 0, nullptr, 4, "3.000000"},
        {false, -1, 0.5, 0, nullptr, 4, "0.500000"},
        {true, 2, 5.0, 1, "Detected destination world unit = Feet\n1 centimeter = 0.0328080 feet", 29, "0.032808"},
        {true, 4, 1.0, 1, "Detected destination world unit = Miles\n1 centimeter = 0.0000062 miles", 29, "0.000006"},
        {true, 7, 1.0, 1, "Detected destination world unit = Meter\n1 centimeter = 0.01 meter", 29, "0.010000"},
        {true, 8, 1.0, 1, "Detected destination world unit = Kilometer\n1 centimeter = 0.00001 kilometer", 29,
         "0.000010"},
        {true, 9, 7.0, 1, nullptr, 29, "1.000000"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.unit);
        TestParams params;
        const std::string defaultText = Text(params, c.textEntry);
        params.mUnit = static_cast<KQoxUserParams::ESysUnits>(c.unit);
        params.mBaseScale = c.base;
        params.ComputeMasterScale(c.destination, true);
        EXPECT_EQ(Text(params, c.textEntry), c.text ? c.text : defaultText);
        EXPECT_EQ(Text(params, c.scaleEntry), "1.0");
        params.ComputeMasterScale(c.destination, false);
        EXPECT_EQ(Text(params, c.scaleEntry), c.scale);
        // The other side is untouched.
        EXPECT_EQ(Text(params, c.destination ? 4 : 29), "1.0");
        EXPECT_EQ(Text(params, c.destination ? 0 : 1), TestParams().GetStringParam(c.destination ? 0 : 1).ToChars());
    }
}

} // namespace

// The settings file and the texts of the parameters are the same whatever
// decimal separator LC_NUMERIC has.
TEST(UserParams, SettingsFileWithADecimalComma)
{
    qoxtest::TempDir dir;
    auto saveAndLoad = [&](const char* name, double& scale, double& rate) {
        TestParams saved;
        saved.SetDoubleParam(5, 91.44);
        saved.SetStringParam(17, KString("0.5e-3"));
        saved.mUnit = KQoxUserParams::eINCH;
        saved.ComputeMasterScale(false, false);
        {
            KConfigFile file(name, dir.Path().c_str());
            saved.Save(file, "UserParams");
        }
        TestParams loaded;
        {
            KConfigFile file(name, dir.Path().c_str());
            loaded.Load(file, "UserParams");
        }
        scale = loaded.GetMasterScale(false);
        rate = loaded.GetDoubleParam(5);
        EXPECT_EQ(loaded.GetDoubleParam(17), 0.0005);
        return qoxtest::ReadFile(dir.File(name));
    };
    double scale = 0, rate = 0;
    const std::string inC = saveAndLoad("c.txt", scale, rate);
    ASSERT_NE(inC.find("kExportMasterScale = 2.540000\n"), std::string::npos) << inC;
    EXPECT_EQ(rate, 91.440002);

    qoxtest::CommaLocale comma;
    QOX_NEED_COMMA_LOCALE(comma);
    double scaleInComma = 0, rateInComma = 0;
    EXPECT_EQ(inC, saveAndLoad("comma.txt", scaleInComma, rateInComma));
    EXPECT_EQ(scale, scaleInComma);
    EXPECT_EQ(rate, rateInComma);
}
