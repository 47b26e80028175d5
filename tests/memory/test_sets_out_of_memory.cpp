// A set emptied when memory is short, as the data types empty theirs when
// they are freed (at exit too): removing an entry sorts what was added out
// of order, which never fails.
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>

#include "base/kset.h"
#include "memory_test_util.h"

using qoxtest::AllocationFailure;

namespace {

// A set with a sorted run and entries appended out of order behind it,
// then emptied by position from the back.
int FillAndEmpty(std::string&)
{
    std::unique_ptr<KCharPtrSet> set;
    int outcome = qoxtest::kWorkDone;
    try
    {
        set.reset(new KCharPtrSet(2));
        for (const char* key : {"b", "d", "f", "h"})
            set->Add(key, 1);
        set->Sort();
        for (const char* key : {"g", "a", "e", "c"})
            set->Add(key, 2);
    }
    catch (const std::bad_alloc&)
    {
        outcome = qoxtest::kWorkOutOfMemory;
    }
    if (set)
    {
        for (int i = set->GetCount() - 1; i >= 0; --i)
            set->RemoveFromIndex(i);
        if (set->GetCount() != 0)
            return qoxtest::kWorkFailed;
    }
    return outcome;
}

} // namespace

TEST(SetsOutOfMemory, EmptyingASetNeverFails)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    for (AllocationFailure mode : {AllocationFailure::eOnlyAt, AllocationFailure::eFromOn})
    {
        const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(FillAndEmpty, mode);
        qoxtest::ExpectEveryRunEndsWell(outcome,
                                        mode == AllocationFailure::eOnlyAt ? "only the Nth" : "from the Nth on");
    }
}
