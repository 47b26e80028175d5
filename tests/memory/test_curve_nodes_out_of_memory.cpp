// A curve node whose child list cannot grow (its one allocation failing,
// memory_test_util.h): Add reports it and adds nothing, KFCurveNodeAdopt
// throws std::bad_alloc; with memory back, the child is added where it
// would have been.
#include <gtest/gtest.h>

#include <new>

#include "fcurve/kfcurvenode.h"
#include "memory_test_util.h"

using qoxtest::AllocationFailure;

namespace {

KFCurveNode* NewNode(const char* name)
{
    return KFCurveNodeCreate(name, static_cast<KDataType*>(nullptr), KFCL_NOLAYER, 0);
}

// The list grows when it is empty (to 3 places), then full at 3 (to 6) and
// at 6 (to 12).
const int kCountsThatGrow[] = {0, 3, 6};

} // namespace

TEST(CurveNodesOutOfMemory, AddThatCannotGrowAddsNothing)
{
    for (const int before : kCountsThatGrow)
    {
        SCOPED_TRACE(before);
        KFCurveNode* parent = NewNode("Parent");
        for (int i = 0; i < before; ++i)
            ASSERT_EQ(parent->Add(NewNode("Member")), i);
        KFCurveNode* child = NewNode("Child");

        qoxtest::ArmAllocations(AllocationFailure::eOnlyAt, 1);
        const int index = parent->Add(child);
        const long counted = qoxtest::CountedAllocations(), failed = qoxtest::FailedAllocations();
        qoxtest::DisarmAllocations();

        EXPECT_EQ(counted, 1);
        EXPECT_EQ(failed, 1);
        EXPECT_EQ(index, -1);
        EXPECT_EQ(parent->GetCount(), before);
        EXPECT_EQ(child->GetParent(), nullptr);
        EXPECT_EQ(parent->Find(child), -1);

        EXPECT_EQ(parent->Add(child), before);
        EXPECT_EQ(parent->GetCount(), before + 1);
        EXPECT_EQ(child->GetParent(), parent);
        parent->Destroy();
    }
}

TEST(CurveNodesOutOfMemory, AdoptThatCannotGrowThrows)
{
    for (const int before : kCountsThatGrow)
    {
        SCOPED_TRACE(before);
        KFCurveNode* parent = NewNode("Parent");
        for (int i = 0; i < before; ++i)
            KFCurveNodeAdopt(parent, NewNode("Member"));
        // The child goes with the failure (a sanitizer tells if it is
        // freed twice or never).
        KFCurveNode* child = NewNode("Child");
        bool threw = false;
        qoxtest::ArmAllocations(AllocationFailure::eOnlyAt, 1);
        try
        {
            KFCurveNodeAdopt(parent, child);
        }
        catch (const std::bad_alloc&)
        {
            threw = true;
        }
        qoxtest::DisarmAllocations();
        EXPECT_TRUE(threw);
        EXPECT_EQ(parent->GetCount(), before);

        KFCurveNode* again = NewNode("Child");
        KFCurveNodeAdopt(parent, again);
        EXPECT_EQ(parent->Get(before), again);
        EXPECT_EQ(again->GetParent(), parent);
        parent->Destroy();
    }
}
