#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unistd.h>

#include "base/klib.h"

TEST(KLibTest, ProjectPathIsEmptyBeforeItIsSet)
{
    // A fresh process, so no earlier test has set the path.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            char* path = KLib_GetProjectFilePath();
            _exit(path && path[0] == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(KLibTest, ProjectPathIsCutTo1023Characters)
{
    std::string longPath(1500, 'p');
    KLib_SetProjectFilePath(longPath.c_str());
    EXPECT_EQ(strlen(KLib_GetProjectFilePath()), 1023u);
    EXPECT_EQ(std::string(KLib_GetProjectFilePath()), longPath.substr(0, 1023));

    std::string exact(1024, 'e');
    KLib_SetProjectFilePath(exact.c_str());
    EXPECT_EQ(strlen(KLib_GetProjectFilePath()), 1023u);

    KLib_SetProjectFilePath("/projects/scene.qox");
    EXPECT_STREQ(KLib_GetProjectFilePath(), "/projects/scene.qox");
    KLib_SetProjectFilePath(nullptr);
    EXPECT_STREQ(KLib_GetProjectFilePath(), "");
}

TEST(KLibTest, ApplicationFlags)
{
    KLib_SetApplicationQuit(false);
    KLib_SetApplicationNew(false);
    EXPECT_FALSE(KLib_GetApplicationClearModel());
    KLib_SetApplicationNew(true);
    EXPECT_TRUE(KLib_GetApplicationNew());
    EXPECT_TRUE(KLib_GetApplicationClearModel());
    KLib_SetApplicationNew(false);
    KLib_SetApplicationQuit(true);
    EXPECT_TRUE(KLib_GetApplicationQuit());
    EXPECT_TRUE(KLib_GetApplicationClearModel());
    KLib_SetApplicationQuit(false);

    gGlobalApplicationLock = 3;
    EXPECT_TRUE(KLib_GetApplicationLock());
    KLib_SetApplicationLock(true);  // only ever clears the counter
    EXPECT_FALSE(KLib_GetApplicationLock());
}

TEST(KLibTest, MachineQueries)
{
    char expected[256] = {};
    ASSERT_EQ(gethostname(expected, sizeof(expected) - 1), 0);
    char name[256];
    EXPECT_TRUE(KLib_GetComputerName(name, sizeof(name)));
    EXPECT_STREQ(name, expected);

    // A buffer too small for the name still ends in a terminator.
    char small[2] = {'x', 'x'};
    KLib_GetComputerName(small, sizeof(small));
    EXPECT_EQ(small[1], 0);

    char os[4] = "abc";
    EXPECT_TRUE(KLib_GetOSVersion(os, sizeof(os)));
    EXPECT_STREQ(os, "abc");

    EXPECT_EQ(KLib_GetProcessorCount(), static_cast<int>(sysconf(_SC_NPROCESSORS_CONF)));
    EXPECT_EQ(KLib_GetSerialDeviceCount(), 2);
    EXPECT_EQ(KLib_GetSerialDevicePortNumber(0), 2);
    EXPECT_EQ(KLib_GetSerialDevicePortNumber(1), 1);
    EXPECT_EQ(KLib_GetSerialDevicePortNumber(7), 1);
}

TEST(KLibTest, PutEndDigitString)
{
    char text[32] = "Camera";
    PutEndDigitString(text, 6, 42);
    EXPECT_STREQ(text, "Camera42");
    PutEndDigitString(text, 3, 0);
    EXPECT_STREQ(text, "Cam0");
}
