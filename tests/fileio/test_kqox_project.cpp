// The native file as the readers and writers use it: sections of a scene,
// the take list read at open time, a take file beside the scene, a nested
// scene and embedded media, with curves stored through the field layer.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/kqox.h"
#include "fcurve/kfcurve.h"

namespace {

const long long kSecond = 46186158000LL;

class ScratchDirectory
{
public:
    ScratchDirectory()
    {
        char pattern[] = "/tmp/kqoxprojectXXXXXX";
        const char* made = mkdtemp(pattern);
        mPath = made ? made : "";
    }
    ~ScratchDirectory()
    {
        std::error_code ignored;
        if (!mPath.empty())
            std::filesystem::remove_all(mPath, ignored);
    }
    std::string File(const char* name) const { return mPath + "/" + name; }

private:
    std::string mPath;
};

KFCurve* MakeCurve(float scale)
{
    KFCurve* curve = KFCurveCreate();
    curve->SetValue(scale);
    for (int i = 0; i < 5; ++i)
        curve->KeyAppendFast(KTime(i * kSecond / 24), scale * static_cast<float>(i * i));
    return curve;
}

// A scene: header field, definitions, objects with embedded media and a pose
// (a nested scene), the take list; the take's animation goes to a take file.
void WriteScene(const ScratchDirectory& dir, KQox::EForm form, const std::vector<unsigned char>& media)
{
    KQox scene;
    ASSERT_TRUE(scene.ProjectCreate(dir.File("scene.qox").c_str(), form));
    scene.FieldWriteBegin("Creator");
    scene.FieldWriteC("test");
    scene.FieldWriteEnd();

    scene.ProjectWriteSectionBegin("Definitions", 100);
    scene.FieldWriteBegin("Count");
    scene.FieldWriteI(2);
    scene.FieldWriteEnd();
    scene.ProjectWriteSectionEnd();

    scene.ProjectWriteSectionBegin("Objects", 191);
    scene.FieldWriteBegin("Video");
    scene.FieldWriteC("Video::clip");
    scene.FieldWriteBlockBegin();
    scene.FieldWriteBegin("Content");
    scene.FieldWriteR(media.data(), media.size());
    scene.FieldWriteEnd();
    scene.FieldWriteBlockEnd();
    scene.FieldWriteEnd();
    scene.FieldWriteBegin("Pose");
    scene.FieldWriteC("Pose::bind");
    scene.FieldWriteBlockBegin();
    scene.ProjectWriteSectionBegin("Objects", 191);
    scene.FieldWriteBegin("Model");
    scene.FieldWriteC("Model::hip");
    scene.FieldWriteEnd();
    scene.ProjectWriteSectionEnd();
    scene.FieldWriteBlockEnd();
    scene.FieldWriteEnd();
    scene.ProjectWriteSectionEnd();

    scene.ProjectWriteSectionBegin("Takes", 101);
    scene.FieldWriteBegin("Current");
    scene.FieldWriteC("Take 001");
    scene.FieldWriteEnd();
    const char* takes[] = {"Take 001", "Take 002"};
    for (int t = 0; t < 2; ++t)
    {
        scene.FieldWriteBegin("Take");
        scene.FieldWriteC(takes[t]);
        scene.FieldWriteBlockBegin();
        scene.FieldWriteBegin("FileName");
        scene.FieldWriteC(t == 0 ? "takes/Take_001.tak" : "takes/Take_002.tak");
        scene.FieldWriteEnd();
        scene.FieldWriteBegin("LocalTime");
        scene.FieldWriteT(KTime(0));
        scene.FieldWriteT(KTime(kSecond * (t + 1)));
        scene.FieldWriteEnd();
        scene.FieldWriteBlockEnd();
        scene.FieldWriteEnd();
    }
    scene.ProjectWriteSectionEnd();
    ASSERT_TRUE(scene.ProjectClose());

    // The first take's animation, apart in its take file.
    std::filesystem::create_directories(dir.File("takes"));
    KQox take;
    ASSERT_TRUE(take.ProjectCreate(dir.File("takes/Take_001.tak").c_str(), form));
    take.ProjectWriteSectionBegin("Animation", 4004);
    take.FieldWriteBegin("Model");
    take.FieldWriteC("Model::hip");
    take.FieldWriteBlockBegin();
    take.FieldWriteBegin("Channel");
    take.FieldWriteC("T");
    take.FieldWriteBlockBegin();
    KFCurve* curve = MakeCurve(2.0f);
    EXPECT_TRUE(curve->QoxStore(&take));
    curve->Destroy();
    take.FieldWriteBlockEnd();
    take.FieldWriteEnd();
    take.FieldWriteBlockEnd();
    take.FieldWriteEnd();
    take.ProjectWriteSectionEnd();
    ASSERT_TRUE(take.ProjectClose());
}

std::vector<std::string> ReadTakeNames(KQox& scene)
{
    std::vector<std::string> names;
    int section = scene.ProjectFindSection("Takes");
    if (section < 0 || !scene.ProjectOpenSection(section))
        return names;
    while (scene.FieldReadBegin("Take"))
    {
        names.push_back(scene.FieldReadC());
        scene.FieldReadEnd();
    }
    scene.ProjectReadSectionEnd();
    return names;
}

std::vector<unsigned char> Media()
{
    std::vector<unsigned char> media(2 * 1024 * 1024);
    for (size_t i = 0; i < media.size(); ++i)
        media[i] = static_cast<unsigned char>(i % 251);
    return media;
}

TEST(KQoxProject, SectionsTakesTakeFileNestedSceneAndMedia)
{
    std::vector<unsigned char> media = Media();
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII, KQox::eENCRYPTED})
    {
        SCOPED_TRACE(form);
        ScratchDirectory dir;
        WriteScene(dir, form, media);

        KQox scene;
        ASSERT_TRUE(scene.ProjectOpen(dir.File("scene.qox").c_str()));
        ASSERT_EQ(scene.ProjectGetSectionCount(), 3);
        EXPECT_EQ(scene.ProjectGetSectionVersion(scene.ProjectFindSection("Objects")), 191);
        EXPECT_STREQ(scene.FieldReadC("Creator", ""), "test");
        EXPECT_EQ(ReadTakeNames(scene), (std::vector<std::string>{"Take 001", "Take 002"}));

        // Objects: the media, and the pose's own sections.
        ASSERT_TRUE(scene.ProjectOpenSection(scene.ProjectFindSection("Objects")));
        ASSERT_TRUE(scene.FieldReadBegin("Video"));
        ASSERT_TRUE(scene.FieldReadBlockBegin());
        ASSERT_TRUE(scene.FieldReadBegin("Content"));
        std::vector<unsigned char> back(static_cast<size_t>(scene.FieldReadRSize()));
        ASSERT_TRUE(scene.FieldReadR(back.data(), back.size()));
        EXPECT_EQ(back, media);
        scene.FieldReadEnd();
        scene.FieldReadBlockEnd();
        scene.FieldReadEnd();
        ASSERT_TRUE(scene.FieldReadBegin("Pose"));
        ASSERT_TRUE(scene.FieldReadBlockBegin());
        ASSERT_TRUE(scene.ProjectReadSectionBegin("Objects"));
        EXPECT_STREQ(scene.FieldReadC("Model", ""), "Model::hip");
        scene.ProjectReadSectionEnd();
        scene.FieldReadBlockEnd();
        scene.FieldReadEnd();

        // The take file, named relative to the scene.
        ASSERT_TRUE(scene.ProjectOpenSection(scene.ProjectFindSection("Takes")));
        ASSERT_TRUE(scene.FieldReadBegin("Take"));
        ASSERT_TRUE(scene.FieldReadBlockBegin());
        std::string takeFile = scene.GetFullFilePath(scene.FieldReadC("FileName", ""));
        EXPECT_EQ(takeFile, dir.File("takes/Take_001.tak"));
        ASSERT_TRUE(scene.FieldReadBegin("LocalTime"));
        EXPECT_EQ(scene.FieldReadT().Get(), 0);
        EXPECT_EQ(scene.FieldReadT().Get(), kSecond);

        KQox take;
        ASSERT_TRUE(take.ProjectOpen(takeFile.c_str()));
        ASSERT_TRUE(take.ProjectOpenSection(0));
        ASSERT_TRUE(take.FieldReadBegin("Model"));
        ASSERT_TRUE(take.FieldReadBlockBegin());
        ASSERT_TRUE(take.FieldReadBegin("Channel"));
        EXPECT_STREQ(take.FieldReadC(), "T");
        ASSERT_TRUE(take.FieldReadBlockBegin());
        KFCurve* curve = KFCurveCreate(&take);
        ASSERT_NE(curve, nullptr);
        KFCurve* expected = MakeCurve(2.0f);
        ASSERT_EQ(curve->KeyGetCount(), expected->KeyGetCount());
        for (int i = 0; i < curve->KeyGetCount(); ++i)
        {
            EXPECT_EQ(curve->KeyGetTime(i).Get(), expected->KeyGetTime(i).Get());
            EXPECT_EQ(curve->KeyGetValue(i), expected->KeyGetValue(i));
        }
        expected->Destroy();
        curve->Destroy();
    }
}

// The take list of a damaged file still reads when the file is opened
// without the integrity check; the full check reports the damage.
TEST(KQoxProject, TakeListAtOpenTimeAndIntegrityLater)
{
    ScratchDirectory dir;
    WriteScene(dir, KQox::eBINARY, Media());
    std::string name = dir.File("scene.qox");
    {
        // Damage one byte in the middle of the embedded media.
        FILE* file = std::fopen(name.c_str(), "r+b");
        ASSERT_NE(file, nullptr);
        std::fseek(file, 1024 * 1024, SEEK_SET);
        int c = std::fgetc(file);
        std::fseek(file, 1024 * 1024, SEEK_SET);
        std::fputc(c ^ 0xFF, file);
        std::fclose(file);
    }
    KQox full;
    EXPECT_FALSE(full.ProjectOpen(name.c_str()));
    EXPECT_STREQ(full.GetLastErrorString(), "File is corrupted");

    KQox quick;
    ASSERT_TRUE(quick.ProjectOpen(name.c_str(), nullptr, false));
    EXPECT_EQ(ReadTakeNames(quick), (std::vector<std::string>{"Take 001", "Take 002"}));
    EXPECT_FALSE(quick.ProjectCheckIntegrity());
    EXPECT_EQ(quick.GetLastErrorID(), KQox::eFILE_CORRUPTED);
}

} // namespace
