// Grouped allocation of channel trees: members laid in one block end on
// their own in any order, outlive their tree, move to other trees, and the
// block is freed with the last of them (the sanitizer build reports a block
// left behind, and any use of a member that ended).

#include "fcurve_test_util.h"

#include "fcurve/kfcurve_internal.h"
#include "fcurve/kfcurvegroup.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define QOX_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QOX_TEST_ASAN 1
#endif
#endif

using namespace fctest;
using kfcurve_detail::IsGroupMember;
using kfcurve_detail::SameGroup;

namespace {

// Room for a vector channel: the node, its three members with their
// curves, and its children array.
size_t VectorBytes()
{
    return KFCurveGroupScope::NodeBytes() + KFCurveGroupScope::ChildrenBytes(3) +
           3 * (KFCurveGroupScope::NodeBytes() + KFCurveGroupScope::CurveBytes());
}

// "T" with "X", "Y", "Z", each with a curve of static value base + i and,
// for "X", two keys.
KFCurveNode* MakeVector(float base)
{
    static const char* const kAxes[3] = {"X", "Y", "Z"};
    KFCurveNode* vector = KFCurveNodeCreate("T", static_cast<KDataType*>(nullptr), KFCL_ADD, 0);
    for (int i = 0; i < 3; ++i)
    {
        KFCurveNode* member = KFCurveNodeCreate(kAxes[i]);
        KFCurve* curve = KFCurveCreate();
        curve->SetValue(base + static_cast<float>(i));
        if (i == 0)
        {
            curve->KeySet(curve->KeyAdd(KTime(0)), KTime(0), base, KFCURVE_INTERPOLATION_LINEAR);
            curve->KeySet(curve->KeyAdd(Sec(1.0)), Sec(1.0), base + 10.0f, KFCURVE_INTERPOLATION_LINEAR);
        }
        member->FCurveSet(curve);
        vector->Add(member);
    }
    return vector;
}

KFCurveNode* MakeGroupedVector(float base)
{
    KFCurveGroupScope group(VectorBytes());
    return MakeVector(base);
}

// The values a vector made by MakeVector holds.
void ExpectVector(KFCurveNode* vector, float base)
{
    ASSERT_EQ(vector->GetCount(), 3);
    EXPECT_STREQ(vector->GetName(), "T");
    EXPECT_STREQ(vector->Get(0)->GetName(), "X");
    EXPECT_STREQ(vector->Get(2)->GetName(), "Z");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(vector->Get(i)->FCurveGet()->GetValue(), base + static_cast<float>(i));
    KFCurve* x = vector->Get(0)->FCurveGet();
    ASSERT_EQ(x->KeyGetCount(), 2);
    EXPECT_FLOAT_EQ(x->Evaluate(Sec(0.5)), base + 5.0f);
}

} // namespace

TEST(KFCurveGroup, MembersOfAScopeShareOneBlock)
{
    KFCurveNode* vector = MakeGroupedVector(1.0f);
    EXPECT_TRUE(IsGroupMember(vector));
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_TRUE(SameGroup(vector, vector->Get(i)));
        EXPECT_TRUE(SameGroup(vector, vector->Get(i)->FCurveGet()));
    }
    ExpectVector(vector, 1.0f);
    vector->Destroy();
}

TEST(KFCurveGroup, WithoutScopeMembersComeFromTheHeap)
{
    std::unique_ptr<KFCurveNode, void (*)(KFCurveNode*)> vector(MakeVector(2.0f),
                                                                [](KFCurveNode* node) { node->Destroy(); });
    EXPECT_FALSE(IsGroupMember(vector.get()));
    EXPECT_FALSE(IsGroupMember(vector->Get(0)));
    EXPECT_FALSE(IsGroupMember(vector->Get(0)->FCurveGet()));
    ExpectVector(vector.get(), 2.0f);
}

TEST(KFCurveGroup, ARoomTooSmallSendsTheRestToTheHeap)
{
    KFCurveNode* vector;
    {
        // Room for the vector node and one member only.
        KFCurveGroupScope group(2 * KFCurveGroupScope::NodeBytes());
        vector = MakeVector(3.0f);
    }
    EXPECT_TRUE(IsGroupMember(vector));
    EXPECT_TRUE(SameGroup(vector, vector->Get(0)));
    EXPECT_FALSE(IsGroupMember(vector->Get(0)->FCurveGet()));
    EXPECT_FALSE(IsGroupMember(vector->Get(2)));
    ExpectVector(vector, 3.0f);
    vector->Destroy();

    // A scope with no room lays nothing.
    KFCurveGroupScope none(0);
    KFCurve* curve = KFCurveCreate();
    EXPECT_FALSE(IsGroupMember(curve));
    curve->Destroy();
}

TEST(KFCurveGroup, ScopesNest)
{
    KFCurveGroupScope outer(2 * KFCurveGroupScope::NodeBytes());
    KFCurveNode* first = KFCurveNodeCreate("A");
    KFCurveNode* inner;
    {
        KFCurveGroupScope scope(KFCurveGroupScope::NodeBytes());
        EXPECT_EQ(KFCurveGroupScope::Open(), &scope);
        inner = KFCurveNodeCreate("B");
    }
    EXPECT_EQ(KFCurveGroupScope::Open(), &outer);
    KFCurveNode* second = KFCurveNodeCreate("C");
    EXPECT_TRUE(SameGroup(first, second));
    EXPECT_TRUE(IsGroupMember(inner));
    EXPECT_FALSE(SameGroup(first, inner));
    inner->Destroy();
    second->Destroy();
    first->Destroy();
}

TEST(KFCurveGroup, ChildrenFirstThenParent)
{
    KFCurveNode* vector = MakeGroupedVector(4.0f);
    for (int i = vector->GetCount() - 1; i >= 0; --i)
        vector->Delete(i);
    EXPECT_EQ(vector->GetCount(), 0);
    EXPECT_STREQ(vector->GetName(), "T");
    vector->Destroy();
}

TEST(KFCurveGroup, MembersEndInEveryOrder)
{
    // Each order of ending the vector, its members and their curves.
    for (int order = 0; order < 4; ++order)
    {
        KFCurveNode* vector = MakeGroupedVector(5.0f);
        KFCurveNode* members[3] = {vector->Get(0), vector->Get(1), vector->Get(2)};
        switch (order)
        {
        case 0: // the parent first, with its subtree
            vector->Destroy();
            break;
        case 1: // the members taken out first, ended by delete, middle one first
            for (KFCurveNode* member : members)
                vector->Remove(vector->Find(member));
            delete members[1];
            delete members[0];
            members[2]->Destroy();
            vector->Destroy();
            break;
        case 2: // the curves first, then the members through their parent
            for (KFCurveNode* member : members)
                member->FCurveSet(nullptr, true);
            vector->Destroy();
            break;
        case 3: // the parent taken apart, the members kept until after it
            for (KFCurveNode* member : members)
                vector->Remove(vector->Find(member));
            vector->Destroy();
            for (int i = 0; i < 3; ++i)
            {
                EXPECT_EQ(members[i]->FCurveGet()->GetValue(), 5.0f + static_cast<float>(i));
                members[i]->Destroy();
            }
            break;
        }
    }
}

TEST(KFCurveGroup, ARemovedMemberOutlivesItsTree)
{
    KFCurveNode* root = KFCurveNodeCreate("Defaults");
    {
        KFCurveGroupScope group(VectorBytes() + KFCurveGroupScope::ChildrenBytes(3));
        root->Add(MakeVector(7.0f));
    }
    KFCurveNode* vector = root->Get(0);
    KFCurveNode* y = vector->Get(1);
    vector->Remove(1);
    EXPECT_EQ(y->GetParent(), nullptr);
    root->Destroy();

    // What is left of the block holds y and its curve.
    EXPECT_STREQ(y->GetName(), "Y");
    KFCurve* curve = y->FCurveGet();
    EXPECT_EQ(curve->GetValue(), 8.0f);
    curve->KeySet(curve->KeyAdd(KTime(0)), KTime(0), 1.5f, KFCURVE_INTERPOLATION_CONSTANT);
    EXPECT_EQ(curve->KeyGetValue(0), 1.5f);
    y->Destroy();
}

TEST(KFCurveGroup, ACurveMovesIntoAnotherTree)
{
    KFCurveNode* from = MakeGroupedVector(9.0f);
    KFCurveNode* to = MakeGroupedVector(20.0f);
    // X's curve of the first tree replaces the second's, which ends.
    KFCurve* moved = from->Get(0)->FCurveSet(nullptr);
    to->Get(0)->FCurveSet(moved, true);
    // And a whole member moves across.
    KFCurveNode* z = from->Get(2);
    from->Remove(2);
    to->Add(z);
    from->Destroy();

    EXPECT_EQ(to->Get(0)->FCurveGet(), moved);
    EXPECT_FLOAT_EQ(moved->Evaluate(Sec(0.5)), 14.0f);
    ASSERT_EQ(to->GetCount(), 4);
    EXPECT_EQ(to->Get(3)->GetParent(), to);
    EXPECT_EQ(to->Get(3)->FCurveGet()->GetValue(), 11.0f);
    // The member array of four left the block for the heap.
    to->Destroy();
}

TEST(KFCurveGroup, ChildrenArraysGrowOutOfTheBlock)
{
    KFCurveNode* root;
    {
        KFCurveGroupScope group(KFCurveGroupScope::NodeBytes() + KFCurveGroupScope::ChildrenBytes(3) +
                                8 * KFCurveGroupScope::NodeBytes());
        root = KFCurveNodeCreate("Root");
        for (int i = 0; i < 8; ++i)
            root->Add(KFCurveNodeCreate(std::to_string(i).c_str()));
    }
    ASSERT_EQ(root->GetCount(), 8);
    for (int i = 0; i < 8; ++i)
    {
        EXPECT_STREQ(root->Get(i)->GetName(), std::to_string(i).c_str());
        EXPECT_EQ(root->Get(i)->GetParent(), root);
    }
    root->Delete(3);
    root->Delete(0);
    EXPECT_STREQ(root->Get(0)->GetName(), "1");
    EXPECT_STREQ(root->Get(2)->GetName(), "4");
    root->Destroy();
}

TEST(KFCurveGroup, ClonesAreLaidInOneBlock)
{
    KFCurveNode* source = MakeVector(12.0f); // on the heap
    source->Get(1)->SetVisibility(true);
    KFCurveNode* clone = source->Clone(false);
    EXPECT_TRUE(IsGroupMember(clone));
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_TRUE(SameGroup(clone, clone->Get(i)));
        EXPECT_TRUE(SameGroup(clone, clone->Get(i)->FCurveGet()));
        EXPECT_NE(clone->Get(i)->FCurveGet(), source->Get(i)->FCurveGet());
        EXPECT_EQ(clone->Get(i)->GetVisibility(), source->Get(i)->GetVisibility());
    }
    source->Destroy();
    ExpectVector(clone, 12.0f);

    // A clone of a clone, the first ending first; then as a template.
    KFCurveNode* second = clone->Clone(false);
    KFCurveNode* shape = clone->CloneTemplate(true, false, true);
    ASSERT_EQ(shape->GetCount(), 3);
    EXPECT_TRUE(SameGroup(shape, shape->Get(2)->FCurveGet()));
    EXPECT_EQ(shape->Get(0)->FCurveGet()->KeyGetCount(), 0);
    EXPECT_EQ(shape->Get(0)->TemplateGet(), clone->Get(0));
    shape->Destroy();
    clone->Destroy();
    ExpectVector(second, 12.0f);
    // A clone's member kept past the clone.
    KFCurveNode* kept = second->Get(0);
    second->Remove(0);
    second->Destroy();
    EXPECT_FLOAT_EQ(kept->FCurveGet()->Evaluate(Sec(0.5)), 17.0f);
    kept->Destroy();
}

TEST(KFCurveGroup, ALoneNodeClonesOnTheHeap)
{
    KFCurveNode* lone = KFCurveNodeCreate("Lone");
    lone->FCurveSet(KFCurveCreate());
    KFCurveNode* clone = lone->Clone(false);
    EXPECT_FALSE(IsGroupMember(clone));
    EXPECT_STREQ(clone->GetName(), "Lone");
    ASSERT_NE(clone->FCurveGet(), nullptr);
    clone->Destroy();
    lone->Destroy();
}

TEST(KFCurveGroup, MembersEndOnAnotherThread)
{
    // Blocks cut from slabs: a block that misses its last member, or is freed
    // twice, leaves its slab mapped or gives it back early.
    const size_t before = KFCurveGroupSlabs::BytesMapped();
    const int kVectors = 3000;
    std::vector<KFCurveNode*> vectors, xs;
    {
        KFCurveGroupSlabs slabs;
        for (int i = 0; i < kVectors; ++i)
        {
            vectors.push_back(MakeGroupedVector(static_cast<float>(i)));
            xs.push_back(vectors.back()->Get(0));
            vectors.back()->Remove(0);
        }
    }
    EXPECT_GT(KFCurveGroupSlabs::BytesMapped(), before);
    // Each block loses its tree on one thread and its first member on the
    // other, in the same order, so both threads end members of one block
    // at once.
    std::atomic<int> wrong{0};
    std::thread other([&] {
        for (KFCurveNode* vector : vectors)
        {
            if (vector->GetCount() != 2 ||
                vector->Get(1)->FCurveGet()->GetValue() != vector->Get(0)->FCurveGet()->GetValue() + 1.0f)
                ++wrong;
            vector->Destroy();
        }
    });
    for (int i = 0; i < kVectors; ++i)
    {
        if (xs[i]->FCurveGet()->Evaluate(Sec(0.5)) != static_cast<float>(i) + 5.0f)
            ++wrong;
        xs[i]->Destroy();
    }
    other.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(KFCurveGroupSlabs::BytesMapped(), before); // every block and slab given back once
}

#ifdef QOX_TEST_ASAN
TEST(KFCurveGroupDeathTest, AnEndedMemberIsPoisoned)
{
    EXPECT_DEATH(
        {
            KFCurveNode* vector = MakeGroupedVector(1.0f);
            KFCurve* curve = vector->Get(0)->FCurveGet();
            KFCurveNode* kept = vector->Get(1);
            vector->Remove(1);
            vector->Destroy();
            // The block lives on for kept; the curve ended with its node.
            volatile float value = curve->GetValue();
            (void)value;
            kept->Destroy();
        },
        "use-after-poison");
}
#endif
