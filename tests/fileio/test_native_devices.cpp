// A native export to a device writes the device; it never moves a file over it.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio_test_util.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

bool ExportTo(const std::string& name)
{
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    fileiotest::BuildScene(manager, scene, "");
    KQoxExporter exporter(manager);
    return exporter.Initialize(name.c_str()) && exporter.Export(scene);
}

} // namespace

TEST(NativeDevices, AreWrittenInPlace)
{
    ASSERT_TRUE(ExportTo("/dev/null"));
    struct stat status;
    ASSERT_EQ(stat("/dev/null", &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode)); // no file was moved over the device
}
