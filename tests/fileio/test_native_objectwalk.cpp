// The objects of a native file are walked record by record until none is
// left: every record boundary of the objects list, damaged or cut, gives a
// clean refusal that leaves nothing behind.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/kcrcfile.h"
#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

using fileiotest::kHead;
using fileiotest::LE;
using fileiotest::ObjectBoundaries;
using fileiotest::RecordEnd;
using fileiotest::Reseal;

namespace {

// Imports the file; the listing of the scene read, or "" when refused (then
// with a clean error and nothing left in the manager).
std::string Import(const std::string& name)
{
    KQoxSdkManager manager;
    KQoxImporter importer(manager);
    KQoxScene scene(manager);
    const int nodesBefore = manager.GetKQoxNodeCount();
    if (importer.Initialize(name.c_str()) && importer.Import(scene))
        return fileiotest::ListScene(manager, scene);
    EXPECT_EQ(scene.GetRootNode()->GetChildCount(), 0);
    EXPECT_EQ(manager.GetKQoxNodeCount(), nodesBefore);
    const std::string error = importer.GetLastErrorString();
    EXPECT_EQ(error, "File is corrupted");
    return "";
}

class ObjectWalk : public ::testing::Test
{
protected:
    void SetUp() override
    {
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        fileiotest::BuildScene(manager, scene, "");
        fileiotest::AddEveryKind(manager, scene, true);
        mListing = fileiotest::ListScene(manager, scene);
        KQoxExporter exporter(manager);
        ASSERT_TRUE(exporter.Initialize(mDir.File("whole.qox").c_str()));
        exporter.SetFileFormat(eEXPORT_QOX_BINARY);
        ASSERT_TRUE(exporter.Export(scene));
        mWhole = ReadFile(mDir.File("whole.qox"));
        mBoundaries = ObjectBoundaries(mWhole);
    }

    std::string ImportBytes(const std::string& bytes)
    {
        const std::string name = mDir.File("cut.qox");
        WriteFile(name, bytes);
        return Import(name);
    }

    TempDir mDir;
    std::string mWhole;
    std::string mListing;
    std::vector<size_t> mBoundaries;
};

} // namespace

TEST_F(ObjectWalk, EveryObjectIsReadInFileOrder)
{
    // Many objects of several kinds, then the end marker.
    ASSERT_GT(mBoundaries.size(), 20u);
    EXPECT_EQ(mWhole[mBoundaries.back()], '\0');
    std::string resealed = mWhole;
    Reseal(resealed);
    EXPECT_EQ(resealed, mWhole);
    EXPECT_EQ(ImportBytes(mWhole), Import(mDir.File("whole.qox")));
    EXPECT_FALSE(ImportBytes(mWhole).empty());
}

TEST_F(ObjectWalk, CutAtEveryRecordBoundary)
{
    for (size_t at : mBoundaries)
    {
        SCOPED_TRACE(at);
        EXPECT_EQ(ImportBytes(mWhole.substr(0, at)), "");
        EXPECT_EQ(ImportBytes(mWhole.substr(0, at + 1)), "");
    }
}

TEST_F(ObjectWalk, DamagedHeadAtEveryRecordBoundary)
{
    for (size_t k = 0; k < mBoundaries.size(); ++k)
    {
        const size_t at = mBoundaries[k];
        SCOPED_TRACE(at);
        // A kind no record has, an end marker too early (or a record in its
        // place), and block sizes past the list's end.
        std::string bytes = mWhole;
        bytes[at] = 'X';
        Reseal(bytes);
        EXPECT_EQ(ImportBytes(bytes), "");
        bytes = mWhole;
        bytes[at] = bytes[at] == 0 ? 'F' : '\0';
        Reseal(bytes);
        EXPECT_EQ(ImportBytes(bytes), "");
        if (k + 1 == mBoundaries.size())
            continue;
        bytes = mWhole;
        const size_t length = static_cast<size_t>(LE(bytes, at + 1, 2));
        bytes[at + 3 + length + 12 + 7] = '\x40';
        Reseal(bytes);
        EXPECT_EQ(ImportBytes(bytes), "");
    }
}
