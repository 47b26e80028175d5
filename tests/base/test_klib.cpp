#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "base/klib.h"

TEST(KLibTest, ProjectPathIsEmptyBeforeItIsSetAndCutTo1023Characters)
{
    // A fresh process, so no earlier test has set the path.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(_exit(KLib_GetProjectFilePath()[0] == 0 ? 0 : 1), ::testing::ExitedWithCode(0), "");
    for (size_t n : {1023u, 1024u, 1500u})
    {
        const std::string path(n, 'p');
        KLib_SetProjectFilePath(path.c_str());
        EXPECT_EQ(std::string(KLib_GetProjectFilePath()), path.substr(0, 1023)) << n;
    }
    KLib_SetProjectFilePath(nullptr);
    EXPECT_STREQ(KLib_GetProjectFilePath(), "");
}

TEST(KLibTest, FlagsMachineQueriesAndDigits)
{
    KLib_SetApplicationQuit(false);
    KLib_SetApplicationNew(true);
    EXPECT_TRUE(KLib_GetApplicationClearModel()); // new or quit
    gGlobalApplicationLock = 3;
    EXPECT_TRUE(KLib_GetApplicationLock());
    KLib_SetApplicationLock(true); // only ever clears the counter
    EXPECT_FALSE(KLib_GetApplicationLock());

    char small[2] = {'x', 'x'};
    KLib_GetComputerName(small, sizeof(small)); // too small for the name: still terminated
    EXPECT_EQ(small[1], 0);

    char text[32] = "Camera";
    PutEndDigitString(text, 6, 42);
    EXPECT_STREQ(text, "Camera42");
    PutEndDigitString(text, 3, 0);
    EXPECT_STREQ(text, "Cam0");
}
