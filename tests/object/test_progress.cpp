// The quiet progress object.

#include <gtest/gtest.h>

#include "object/kprogress.h"

TEST(Progress, CancelFlags)
{
    IProgress* progress = KProgressCreate();
    EXPECT_FALSE(progress->GetCanCancelCommand());
    EXPECT_FALSE(progress->GetCancelCommand());
    EXPECT_TRUE(progress->GetCanCancelCommand());

    progress->SetCancelCommand();
    EXPECT_TRUE(progress->GetCancelCommand());
    EXPECT_TRUE(progress->GetCancelCommand());
    progress->ProgressClear();
    EXPECT_FALSE(progress->GetCanCancelCommand());
    EXPECT_FALSE(progress->GetCancelCommand());
    progress->Destroy();
}

TEST(Progress, KeepsOnlyTheStatus)
{
    IProgress* progress = KProgressCreate();
    EXPECT_STREQ(progress->GetProgressTitle(), "");
    EXPECT_EQ(progress->SetProgressInfo("a", "b", 50), 0);
    EXPECT_EQ(progress->SetProgressTitle("t"), 0);
    EXPECT_EQ(progress->SetProgressValue("v"), 0);
    EXPECT_EQ(progress->SetProgressPercent(70), 0);
    EXPECT_STREQ(progress->GetProgressTitle(), "");
    EXPECT_STREQ(progress->GetProgressValue(), "");
    EXPECT_EQ(progress->GetProgressPercent(), 0);

    progress->WaitBegin("Loading");
    EXPECT_STREQ(progress->GetProgressTitle(), "Loading");
    EXPECT_STREQ(progress->GetProgressValue(), "");
    progress->SetStatus("Saving");
    EXPECT_STREQ(progress->GetProgressTitle(), "Saving");
    progress->SetStatus(nullptr);
    EXPECT_STREQ(progress->GetProgressTitle(), "");
    progress->WaitBegin("Again");
    progress->ClearStatus();
    EXPECT_STREQ(progress->GetProgressTitle(), "");
    EXPECT_STREQ(progress->GetPixmapFilename(), "");

    progress->Destroy();
}

TEST(Progress, Interfaces)
{
    KProgress* progress = static_cast<KProgress*>(static_cast<IProgress*>(KProgressCreate()));
    EXPECT_EQ(progress->IQuery(0, 0), static_cast<IKObject*>(static_cast<IRegister*>(progress)));
    EXPECT_EQ(progress->IQuery(3, 0), static_cast<IKObject*>(static_cast<IRegister*>(progress)));
    EXPECT_EQ(progress->IQuery(12, 0), static_cast<IKObject*>(static_cast<IProgress*>(progress)));
    EXPECT_EQ(progress->IQuery(2, 0), nullptr);
    static_cast<IRegister*>(progress)->Destroy();
}

TEST(Progress, GlobalObjectIsRemadeAfterDestruction)
{
    IProgress* global = KGetGlobalProgress();
    ASSERT_NE(global, nullptr);
    EXPECT_EQ(KGetGlobalProgress(), global);
    global->SetStatus("busy");
    global->SetCancelCommand();
    global->Destroy();
    IProgress* fresh = KGetGlobalProgress();
    ASSERT_NE(fresh, nullptr);
    EXPECT_STREQ(fresh->GetProgressTitle(), "");
    EXPECT_FALSE(fresh->GetCancelCommand());
    // Destroying another progress object leaves the global one alone.
    KProgressCreate()->Destroy();
    EXPECT_EQ(KGetGlobalProgress(), fresh);
}
