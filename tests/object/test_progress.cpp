// The quiet progress object.

#include <gtest/gtest.h>

#include "object/kprogress.h"

TEST(Progress, CancelFlagsAndStatus)
{
    KProgress* progress = static_cast<KProgress*>(KProgressCreate());
    // Asking for the cancel command makes it cancellable; clearing resets both.
    EXPECT_FALSE(progress->GetCanCancelCommand());
    EXPECT_FALSE(progress->GetCancelCommand());
    EXPECT_TRUE(progress->GetCanCancelCommand());
    progress->SetCancelCommand();
    EXPECT_TRUE(progress->GetCancelCommand());
    EXPECT_TRUE(progress->GetCancelCommand()); // reading does not reset it
    progress->ProgressClear();
    EXPECT_FALSE(progress->GetCanCancelCommand() || progress->GetCancelCommand());
    // Only the status is kept: it is the title.
    EXPECT_EQ(progress->SetProgressTitle("t") + progress->SetProgressPercent(70), 0);
    EXPECT_STREQ(progress->GetProgressTitle(), "");
    EXPECT_EQ(progress->GetProgressPercent(), 0);
    progress->WaitBegin("Loading");
    EXPECT_STREQ(progress->GetProgressTitle(), "Loading");
    progress->SetStatus("Saving");
    EXPECT_STREQ(progress->GetProgressTitle(), "Saving");
    progress->ClearStatus();
    EXPECT_STREQ(progress->GetProgressTitle(), "");
    EXPECT_EQ(progress->IQuery(12, 0), static_cast<IKObject*>(static_cast<IProgress*>(progress)));
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
