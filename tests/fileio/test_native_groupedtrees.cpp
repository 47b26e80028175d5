// Take channel trees laid in blocks write and read as trees made member by
// member on the heap do, in both forms: the same bytes, the same scene.

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurve_internal.h"
#include "fcurve/kfcurvenode.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using fileiotest::Export;
using fileiotest::Import;
using fileiotest::ListScene;
using qoxtest::ReadFile;
using qoxtest::TempDir;

namespace {

const long long kSecond = qoxtest::kTicksPerSecond;

// Lays channel trees in blocks, or not, for its lifetime.
class Grouping
{
public:
    explicit Grouping(bool on)
        : mWas(kfcurve_detail::sGroupMembers)
    {
        kfcurve_detail::sGroupMembers = on;
    }
    ~Grouping() { kfcurve_detail::sGroupMembers = mWas; }

private:
    bool mWas;
};

void Keys(KFCurve* curve, float value0, float value1)
{
    int i = curve->KeyAdd(KTime(0));
    curve->KeySet(i, KTime(0), value0, KFCURVE_INTERPOLATION_LINEAR);
    i = curve->KeyAdd(KTime(kSecond));
    curve->KeySet(i, KTime(kSecond), value1, KFCURVE_INTERPOLATION_CUBIC);
}

// Five nodes in a chain, each with "Take 001" keyed on a channel of its
// own; the first with a copy "Take 002", the fourth with a curve moved in
// from the second's take (which loses that curve and its "Visibility"
// channel), and the fifth with odd values (NaN, the float range's ends).
void BuildTakes(KQoxSdkManager& manager, KQoxScene& scene)
{
    KQoxNode* parent = scene.GetRootNode();
    KQoxNode* nodes[5];
    for (int n = 0; n < 5; ++n)
    {
        nodes[n] = manager.CreateKQoxNode(("N" + std::to_string(n)).c_str());
        parent->AddChild(nodes[n]);
        parent = nodes[n];
        nodes[n]->SetDefaultT(KQoxVector4(n, 2 * n, -n, 0));
        KQoxTakeNode* take = nodes[n]->CreateTakeNode("Take 001");
        Keys(n % 2 ? take->GetEulerRotationY() : take->GetTranslationX(), static_cast<float>(n), 10.0f + n);
    }
    nodes[0]->CreateTakeNode("Take 002");
    KQoxTakeNode* second = nodes[1]->GetTakeNode(1);
    KQoxTakeNode* fourth = nodes[3]->GetTakeNode(1);
    KFCurveNode* from = second->GetKFCurveNode()->FindRecursive("R")->Get(1);
    KFCurveNode* to = fourth->GetKFCurveNode()->FindRecursive("S")->Get(2);
    to->FCurveSet(from->FCurveSet(nullptr), true);
    from->FCurveSet(KFCurveCreate());
    second->GetKFCurveNode()->Delete(1);
    KQoxTakeNode* fifth = nodes[4]->GetTakeNode(1);
    fifth->GetScaleX()->SetValue(std::numeric_limits<float>::quiet_NaN());
    fifth->GetScaleY()->SetValue(std::numeric_limits<float>::max());
    fifth->GetScaleZ()->SetValue(-std::numeric_limits<float>::max());
}

} // namespace

TEST(NativeGroupedTrees, BlocksWriteAndReadAsTheHeapDoes)
{
    TempDir dir;
    for (int format : {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII})
    {
        SCOPED_TRACE(format);
        const std::string heapFile = dir.File("heap.qox"), blockFile = dir.File("block.qox");
        std::string heapList;
        {
            Grouping off(false);
            KQoxSdkManager manager;
            KQoxScene scene(manager);
            BuildTakes(manager, scene);
            heapList = ListScene(manager, scene);
            ASSERT_TRUE(Export(manager, scene, heapFile, format));
        }
        {
            KQoxSdkManager manager;
            KQoxScene scene(manager);
            BuildTakes(manager, scene);
            EXPECT_TRUE(kfcurve_detail::IsGroupMember(scene.GetRootNode()->GetChild(0)->GetTakeNode(1)->GetScaleX()));
            EXPECT_TRUE(ListScene(manager, scene) == heapList);
            ASSERT_TRUE(Export(manager, scene, blockFile, format));
        }
        EXPECT_TRUE(ReadFile(blockFile) == ReadFile(heapFile));

        // Read both ways: the same scene, written again alike (the channel
        // taken out of the second node comes back with its built value).
        std::string readLists[2], rewritten[2];
        for (bool grouped : {false, true})
        {
            Grouping grouping(grouped);
            KQoxSdkManager manager;
            KQoxScene scene(manager);
            ASSERT_TRUE(Import(manager, scene, blockFile));
            EXPECT_EQ(kfcurve_detail::IsGroupMember(scene.GetRootNode()->GetChild(0)->GetTakeNode(1)->GetScaleX()),
                      grouped);
            readLists[grouped] = ListScene(manager, scene);
            const std::string again = dir.File("again.qox");
            ASSERT_TRUE(Export(manager, scene, again, format));
            rewritten[grouped] = ReadFile(again);
        }
        EXPECT_TRUE(readLists[0] == readLists[1]);
        EXPECT_TRUE(rewritten[0] == rewritten[1]);
    }
}
