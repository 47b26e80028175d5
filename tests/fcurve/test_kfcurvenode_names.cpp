// Name records of curve nodes: nodes made with the same name are still
// apart (renaming, time-warp names, properties and layers of one leave the
// others alone), template clones share their template's record, and trees
// of many equally named nodes end cleanly in any order.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurve_internal.h"
#include "fcurve/kfcurvenode.h"
#include "object/kpropertydatatype.h"

#include <sys/wait.h>
#include <unistd.h>

namespace {

KFCurveNode* MakeVector(const char* name, KDataType* type)
{
    KFCurveNode* node = KFCurveNodeCreate(name, type, KFCL_ADD, 0);
    for (const char* axis : {"X", "Y", "Z"})
    {
        KFCurveNode* member = KFCurveNodeCreate(axis, static_cast<KDataType*>(nullptr), KFCL_NOLAYER, 0);
        member->FCurveSet(KFCurveCreate());
        node->Add(member);
    }
    return node;
}

} // namespace

TEST(KFCurveNodeNames, EqualNamesStayApart)
{
    KFCurveNode* a = MakeVector("T", KDataTypeLclTranslation);
    KFCurveNode* b = MakeVector("T", KDataTypeLclTranslation);
    EXPECT_STREQ("T", a->GetName());
    EXPECT_STREQ("T", a->GetTimeWarpName());
    EXPECT_STREQ("Lcl Translation", a->GetTypeName());
    EXPECT_EQ(KDataTypeLclTranslation, b->GetDataType());
    EXPECT_EQ(nullptr, b->GetProperty());

    // Each record handed out is the node's own.
    ASSERT_NE(nullptr, a->Get(0)->GetNameInfo());
    EXPECT_NE(a->Get(0)->GetNameInfo(), b->Get(0)->GetNameInfo());
    EXPECT_EQ(1, a->Get(0)->GetNameInfo()->mRefCount);
    a->Get(0)->GetNameInfo()->mName = "U";
    EXPECT_STREQ("U", a->Get(0)->GetName());
    EXPECT_STREQ("X", b->Get(0)->GetName());
    EXPECT_EQ(0, b->Find("x"));
    EXPECT_EQ(-1, a->Find("x"));
    EXPECT_EQ(0, a->Find("u"));

    a->Get(1)->SetTimeWarpName("Warp");
    EXPECT_STREQ("Warp", a->Get(1)->GetTimeWarpName());
    EXPECT_STREQ("Y", b->Get(1)->GetTimeWarpName());
    EXPECT_STREQ("Y", a->Get(1)->GetName());

    a->SetLayerType(KFCL_MULT);
    EXPECT_EQ(KFCL_MULT, a->GetLayerType());
    EXPECT_EQ(KFCL_ADD, b->GetLayerType());

    // A record given to another node is shared and counted.
    KFCurveNode* c = KFCurveNodeCreate("C", static_cast<KDataType*>(nullptr), KFCL_NOLAYER, 0);
    c->SetNameInfo(b->Get(2)->GetNameInfo());
    EXPECT_EQ(2, b->Get(2)->GetNameInfo()->mRefCount);
    EXPECT_STREQ("Z", c->GetName());
    c->Destroy();
    EXPECT_EQ(1, b->Get(2)->GetNameInfo()->mRefCount);
    a->Destroy();
    b->Destroy();
}

TEST(KFCurveNodeNames, TemplateClonesShareTheTemplateRecord)
{
    KFCurveNode* source = MakeVector("S", KDataTypeLclScaling);
    KFCurveNode* shared = source->Clone(true);
    KFCurveNode* apart = source->Clone(false);
    source->Get(0)->SetTimeWarpName("Stretch");
    EXPECT_STREQ("Stretch", shared->Get(0)->GetTimeWarpName());
    EXPECT_STREQ("X", apart->Get(0)->GetTimeWarpName());
    shared->GetNameInfo()->mName = "Size";
    EXPECT_STREQ("Size", source->GetName());
    EXPECT_STREQ("S", apart->GetName());
    EXPECT_EQ(2, source->GetNameInfo()->mRefCount);
    // Either may go first.
    source->Destroy();
    EXPECT_STREQ("Size", shared->GetName());
    EXPECT_EQ(1, shared->GetNameInfo()->mRefCount);
    shared->Destroy();
    EXPECT_STREQ("S", apart->GetName());
    apart->Destroy();
}

TEST(KFCurveNodeNames, ManyTreesEndInAnyOrder)
{
    std::vector<KFCurveNode*> trees;
    for (int i = 0; i < 20000; ++i)
    {
        KFCurveNode* root = KFCurveNodeCreate("Transform", static_cast<KDataType*>(nullptr), KFCL_NOLAYER, 0);
        root->Add(MakeVector("T", KDataTypeLclTranslation));
        root->Add(MakeVector("R", KDataTypeLclRotation));
        trees.push_back(root);
    }
    trees[7]->Get(1)->Get(2)->GetNameInfo()->mName = "W";
    EXPECT_STREQ("Z", trees[8]->Get(1)->Get(2)->GetName());
    for (size_t i = 0; i < trees.size(); i += 2)
        trees[i]->Destroy();
    for (size_t i = trees.size() - 1; i < trees.size(); i -= 2)
    {
        EXPECT_STREQ("R", trees[i]->Get(1)->GetName());
        trees[i]->Destroy();
    }
}

// Nodes of the same names made and ended on several threads at once.
TEST(KFCurveNodeNames, ThreadsShareNamesSafely)
{
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &wrong] {
            for (int i = 0; i < 3000; ++i)
            {
                KFCurveNode* node =
                    MakeVector(i % 2 ? "T" : "R", i % 2 ? KDataTypeLclTranslation : KDataTypeLclRotation);
                KFCurveNode* copy = node->Clone(false);
                if (std::string(copy->Get(2)->GetName()) != "Z" || copy->GetDataType() != node->GetDataType())
                    ++wrong[static_cast<size_t>(t)];
                node->Destroy();
                copy->Destroy();
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(std::vector<int>(4, 0), wrong);
}

// Nodes of the same names renamed, given records of their own, cloned and
// used as templates on several threads at once, then ended on threads other
// than the ones that made them while those make more of the same names.
TEST(KFCurveNodeNames, ThreadsRenameCloneAndEndEachOthersNodes)
{
    const int kThreads = 4;
    const int kNodes = 600;
    std::vector<std::vector<KFCurveNode*>> made(kThreads);
    std::vector<int> wrong(kThreads, 0);
    auto work = [&](int t, bool endOthers) {
        std::vector<KFCurveNode*>& mine = made[static_cast<size_t>(t)];
        std::vector<KFCurveNode*>& others = made[static_cast<size_t>((t + 1) % kThreads)];
        for (int i = 0; i < kNodes; ++i)
        {
            KFCurveNode* node = MakeVector("T", KDataTypeLclTranslation);
            node->Get(i % 3)->SetTimeWarpName(i % 2 ? "Warp" : "T");
            if (i % 5 == 0)
                node->Get(0)->GetNameInfo()->mName = "Own";
            KFCurveNode* copy = node->Clone(false);
            KFCurveNode* shaped = node->CloneTemplate(true);
            const std::string second = i % 2 ? "Warp" : "T";
            if (std::string(copy->Get(i % 3)->GetTimeWarpName()) != second ||
                std::string(copy->Get(0)->GetName()) != (i % 5 == 0 ? "Own" : "X") ||
                std::string(shaped->Get(1)->GetName()) != "Y" || shaped->GetDataType() != KDataTypeLclTranslation)
                ++wrong[static_cast<size_t>(t)];
            copy->Destroy();
            shaped->Destroy();
            if (endOthers)
            {
                others.back()->Destroy();
                others.pop_back();
                node->Destroy();
            }
            else
            {
                mine.push_back(node);
            }
        }
    };
    for (bool endOthers : {false, true})
    {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back(work, t, endOthers);
        for (std::thread& thread : threads)
            thread.join();
    }
    EXPECT_EQ(std::vector<int>(kThreads, 0), wrong);
    for (const std::vector<KFCurveNode*>& left : made)
        EXPECT_TRUE(left.empty());
    // The pool ends with no record of these names left behind to go wrong:
    // a fresh node of the same names is as new.
    KFCurveNode* fresh = MakeVector("T", KDataTypeLclTranslation);
    EXPECT_STREQ("X", fresh->Get(0)->GetName());
    EXPECT_STREQ("Z", fresh->Get(2)->GetTimeWarpName());
    fresh->Destroy();
}

// Members a node holds apart once set: locks, time warp, template and data
// node; and children in any number.
TEST(KFCurveNodeMembers, SetOnlyWhereAsked)
{
    KFCurveNode* a = MakeVector("T", KDataTypeLclTranslation);
    KFCurveNode* b = MakeVector("T", KDataTypeLclTranslation);
    EXPECT_EQ(0, a->GetUserLockCount());
    a->UserLockAdd();
    a->UserLockAdd();
    EXPECT_EQ(2, a->Get(1)->GetUserLockCount());
    EXPECT_FALSE(b->IsUserLocked());
    KFCurveNode* copy = a->Clone(false);
    EXPECT_EQ(2, copy->Get(0)->GetUserLockCount());
    for (int i = 0; i < 3; ++i)
        a->UserLockRemove();
    EXPECT_FALSE(a->Get(2)->IsUserLocked());
    EXPECT_TRUE(copy->IsUserLocked());

    KFCurveNode* warp = KFCurveNodeCreate("Warp", static_cast<KDataType*>(nullptr), KFCL_NOLAYER, 0);
    a->TimeWarpSet(warp);
    EXPECT_EQ(warp, a->TimeWarpGet());
    EXPECT_EQ(1, warp->GetReferenceCount());
    EXPECT_EQ(nullptr, b->TimeWarpGet());
    EXPECT_EQ(nullptr, a->TemplateGet());
    b->DataNodeSet(a);
    EXPECT_EQ(a, b->DataNodeGet());
    EXPECT_EQ(a->Get(1), b->Get(1)->DataNodeGet());
    EXPECT_EQ(a, a->DataNodeGet());
    KFCurveNode* shaped = KFCurveNodeCreate(a);
    EXPECT_EQ(a, shaped->TemplateGet());
    a->SetUseQuaternion(true);
    EXPECT_TRUE(a->GetUseQuaternion());
    EXPECT_FALSE(b->GetUseQuaternion());
    EXPECT_FALSE(shaped->GetUseQuaternion());
    shaped->Destroy();
    copy->Destroy();
    b->Destroy();
    a->Destroy(); // lets go of the time warp too

    // Many children, sorted or appended, found and removed.
    KFCurveNode* parent = KFCurveNodeCreate("P", static_cast<KDataType*>(nullptr), KFCL_NOLAYER, 0);
    std::vector<KFCurveNode*> children;
    for (int i = 99; i >= 0; --i)
    {
        char name[8];
        std::snprintf(name, sizeof(name), "c%02d", i);
        children.push_back(KFCurveNodeCreate(name, static_cast<KDataType*>(nullptr), KFCL_NOLAYER, 0));
        EXPECT_EQ(0, parent->SortedAdd(children.back()));
    }
    ASSERT_EQ(100, parent->GetCount());
    EXPECT_STREQ("c00", parent->Get(0)->GetName());
    EXPECT_STREQ("c99", parent->Get(99)->GetName());
    EXPECT_EQ(nullptr, parent->Get(100));
    EXPECT_EQ(42, parent->Find("C42"));
    EXPECT_EQ(42, parent->Find(parent->Get(42)));
    parent->Delete(parent->Get(42));
    EXPECT_EQ(99, parent->GetCount());
    EXPECT_STREQ("c43", parent->Get(42)->GetName());
    EXPECT_EQ(-1, parent->Find("c42"));
    parent->Destroy();
}

// A thread that made nodes and ended keeps no pooled name alive: what it
// held for its next nodes is given back when it ends.
TEST(KFCurveNodeNames, EndedThreadsPinNoNames)
{
    const size_t before = kfcurve_detail::NamePoolRecordCount();
    for (int t = 0; t < 20; ++t)
    {
        std::thread worker([t] {
            const std::string name = "OnlyOnThread" + std::to_string(t);
            for (int i = 0; i < 3; ++i)
                MakeVector(name.c_str(), KDataTypeLclTranslation)->Destroy();
        });
        worker.join();
    }
    EXPECT_EQ(before, kfcurve_detail::NamePoolRecordCount());
}

namespace {

// Curve nodes of two names found in no other test: one made once, one twice,
// before exit.
KFCurveNode* gMadeBeforeExit[3] = {nullptr, nullptr, nullptr};
const char* const kNamesBeforeExit[3] = {"MadeOnceBeforeExit", "MadeTwiceBeforeExit", "MadeTwiceBeforeExit"};

KFCurveNode* MakeNamed(const char* name)
{
    return KFCurveNodeCreate(name, KDataTypeLclTranslation, KFCL_ADD, 0);
}

// Runs at exit, after the main thread's own destructors, as the destructor
// of a static scene would: makes and ends nodes of the names made before.
// Exits 0 when both names' records are gone with their last nodes.
void EndNodesAtExit()
{
    const size_t before = kfcurve_detail::NamePoolRecordCount();
    KFCurveNode* late[2] = {MakeNamed(kNamesBeforeExit[0]), MakeNamed(kNamesBeforeExit[1])};
    for (KFCurveNode* node : gMadeBeforeExit)
        node->Destroy();
    for (KFCurveNode* node : late)
        node->Destroy();
    _exit(kfcurve_detail::NamePoolRecordCount() + 2 == before ? 0 : 3);
}

} // namespace

// Nodes made and ended by objects destroyed at process exit, once the main
// thread has given its held names back, still count their names right: none
// is freed while in use (heap corruption at exit), none is left pinned.
TEST(KFCurveNodeNames, NodesEndedAtExitCountTheirNames)
{
    const pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0)
    {
        for (int i = 0; i < 3; ++i)
            gMadeBeforeExit[i] = MakeNamed(kNamesBeforeExit[i]);
        std::atexit(EndNodesAtExit);
        std::exit(0);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
    EXPECT_EQ(0, WEXITSTATUS(status));
}
