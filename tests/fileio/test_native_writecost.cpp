// Writing a scene must not make the scene larger: the user-property wrappers
// a node puts off stay unmade, and the bytes are those written once every
// wrapper exists.

#include <gtest/gtest.h>

#include <malloc.h>
#include <string>

#include "common/qox_test_common.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxuserproperty.h"

using namespace qoxsdk_600;
using qoxtest::ReadFile;
using qoxtest::TempDir;

namespace {

// Heap bytes in use (0 where the allocator does not say, as under ASan).
long long HeapInUse()
{
    return static_cast<long long>(mallinfo2().uordblks);
}

const int kPlainNodes = 2000;

} // namespace

TEST(NativeWriteCost, WritingMakesNoPutOffWrapperAndWritesTheSameBytes)
{
    TempDir dir;
    for (int format : {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII, eEXPORT_QOX5_BINARY, eEXPORT_QOX5_ASCII})
    {
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        fileiotest::BuildScene(manager, scene, "");
        // Plain nodes made last keep their wrappers put off: about 50 each.
        for (int i = 0; i < kPlainNodes; ++i)
        {
            KQoxNode* node = manager.CreateKQoxNode(("Plain" + std::to_string(i)).c_str());
            scene.GetRootNode()->AddChild(node);
        }
        const int counted = manager.GetKQoxUserPropertyCount();
        const long long before = HeapInUse();
        const std::string first = dir.Path() + "/first" + std::to_string(format);
        ASSERT_TRUE(fileiotest::Export(manager, scene, first, format));
        // 100,000 wrappers made would take several megabytes.
        EXPECT_LT(HeapInUse() - before, 1 << 20) << "format " << format;
        EXPECT_EQ(counted, manager.GetKQoxUserPropertyCount());

        // Every wrapper made, then written again: the same bytes.
        for (int i = 0; i < scene.GetRootNode()->GetChildCount(); ++i)
            scene.GetRootNode()->GetChild(i)->GetPropertyCount();
        const std::string second = dir.Path() + "/second" + std::to_string(format);
        ASSERT_TRUE(fileiotest::Export(manager, scene, second, format));
        EXPECT_EQ(counted, manager.GetKQoxUserPropertyCount());
        EXPECT_EQ(ReadFile(first), ReadFile(second)) << "format " << format;
    }
}
