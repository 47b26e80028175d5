// The native files written for one fixed scene, pinned by size and checksum:
// the scene objects may change how they hold their values, never the bytes
// they write. The scene is written, read back and written again in the
// binary and the ASCII form.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodeproperties.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::ReadFile;
using qoxtest::TempDir;

namespace {

// 64-bit FNV-1a of the bytes.
uint64_t Checksum(const std::string& bytes)
{
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : bytes)
        hash = (hash ^ c) * 1099511628211ull;
    return hash;
}

std::string Fingerprint(const std::string& bytes)
{
    char text[48];
    snprintf(text, sizeof text, "%zu:%016llx", bytes.size(), static_cast<unsigned long long>(Checksum(bytes)));
    return text;
}

// The fingerprints (size and checksum) of the file written and of the file
// written again from what was read.
void ExpectPinned(int format, const char* written, const char* rewritten)
{
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    fileiotest::BuildScene(manager, scene, "");
    fileiotest::AddEveryKind(manager, scene, true);
    TempDir dir;
    const std::string first = dir.File("first.qox"), second = dir.File("second.qox");
    ASSERT_TRUE(fileiotest::Export(manager, scene, first, format));
    EXPECT_EQ(written, Fingerprint(ReadFile(first)));

    KQoxScene read(manager);
    ASSERT_TRUE(fileiotest::Import(manager, read, first));
    ASSERT_TRUE(fileiotest::Export(manager, read, second, format));
    EXPECT_EQ(rewritten, Fingerprint(ReadFile(second)));
}

} // namespace

TEST(NativePinnedBytes, BinaryFileKeepsItsBytes)
{
    ExpectPinned(eEXPORT_QOX_BINARY, "268770:5212324447139ae8", "266913:d89acaf597d665b8");
}

TEST(NativePinnedBytes, AsciiFileKeepsItsBytes)
{
    ExpectPinned(eEXPORT_QOX_ASCII, "337730:f9c71993a2697272", "336894:e2de3b74e0d7abce");
}

// Writing and reading a node's table go by value: the rows of a node written
// or read are not made as properties, and come back with the values written.
TEST(NativePinnedBytes, NodeRowsTravelAsValues)
{
    TempDir dir;
    const std::string name = dir.File("rows.qox");
    auto madeRows = [](KQoxNode* node) {
        KQoxNodeProperties& table = *node->GetProperties();
        int made = 0;
        for (int i = 0; i < table.GetPropertyCount(); ++i)
            made += table.GetPropertyIfMade(i) ? 1 : 0;
        return made;
    };
    {
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        KQoxNode* node = manager.CreateKQoxNode("Rows");
        scene.GetRootNode()->AddChild(node);
        node->SetRotationPivot(eSOURCE_SET, KQoxVector4(1, 2, 3));
        node->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
        node->SetRotationStiffness(KQoxVector4(0.25, 0.5, 0.75));
        node->SetUseQuaternionForInterpolation(true);
        node->SetVisibility(false);
        node->GetProperties()->mAxisLen.Value() = 7.5;
        node->UpdatePropertiesFromPivotsAndLimits();
        // The four channels are made with the table.
        EXPECT_EQ(madeRows(node), 4);
        ASSERT_TRUE(fileiotest::Export(manager, scene, name, eEXPORT_QOX_BINARY));
        EXPECT_EQ(madeRows(node), 4);
    }
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    ASSERT_TRUE(fileiotest::Import(manager, scene, name));
    ASSERT_EQ(scene.GetRootNode()->GetChildCount(), 1);
    KQoxNode* node = scene.GetRootNode()->GetChild(0);
    EXPECT_EQ(madeRows(node), 4);
    KQoxNodeProperties& table = *node->GetProperties();
    EXPECT_EQ(table.mAxisLen.Value(), 7.5);
    EXPECT_EQ(table.mRotationStiffnessY.Value(), 0.5);
    EXPECT_TRUE(table.mQuaternionInterpolate.Value());
    EXPECT_FALSE(table.mShow.Value());
    EXPECT_EQ(table.mRotationPivot.Value().y, 2.0);
    EXPECT_EQ(node->GetRotationPivot(eSOURCE_SET)[2], 3.0);
    EXPECT_EQ(madeRows(node), 4);
}
