// Curve-node trees: building, names, children, lookup by name, type and path,
// cloning, templates, data nodes, time warps and curve attachment.

#include <gtest/gtest.h>

#include <cstring>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kpropertydatatype.h"

namespace {

// "Transform" > "Lcl Translation" / "Lcl Rotation" / "Lcl Scaling" > X, Y, Z,
// plus "Visibility"; every leaf has a curve.
KFCurveNode* MakeTransform(const char* t = "Lcl Translation", const char* r = "Lcl Rotation",
                           const char* s = "Lcl Scaling")
{
    KFCurveNode* root = KFCurveNodeCreate("Transform");
    root->Add(FCurveNodeCreateFromDataType(KDataTypeLclTranslation, t));
    root->Add(FCurveNodeCreateFromDataType(KDataTypeLclRotation, r));
    root->Add(FCurveNodeCreateFromDataType(KDataTypeLclScaling, s));
    root->Add(KFCurveNodeCreate("Visibility", KDataTypeVisibility));
    root->CreateFCurve();
    return root;
}

TEST(KFCurveNodeTree, CreationNamesAndTypes)
{
    KFCurveNode* node = KFCurveNodeCreate("Lcl Rotation", "RotUser", "lcl rotation", 2, 0);
    EXPECT_STREQ(node->GetName(), "Lcl Rotation");
    EXPECT_STREQ(node->GetTimeWarpName(), "RotUser");
    EXPECT_EQ(node->GetDataType(), KDataTypeLclRotation);
    EXPECT_STREQ(node->GetTypeName(), "Lcl Rotation");
    EXPECT_EQ(node->GetLayerType(), 2);
    // Initial flags 0x60: expanded and multi-layer, not visible.
    EXPECT_TRUE(node->IsExpended());
    EXPECT_TRUE(node->IsMultiLayer());
    EXPECT_FALSE(node->GetVisibility());
    EXPECT_EQ(node->GetContainerType(), 0);
    node->Destroy();

    KFCurveNode* plain = KFCurveNodeCreate("Weight", static_cast<KDataType*>(nullptr));
    EXPECT_STREQ(plain->GetTypeName(), "");
    EXPECT_STREQ(plain->GetTimeWarpName(), "Weight");
    plain->Destroy();

    // Time-warp nodes get no type name.
    KFCurveNode* warp = KFCurveNodeCreate("Warp", KDataTypeTimeWarp);
    EXPECT_STREQ(warp->GetTimeWarpName(), "");
    warp->Destroy();
}

TEST(KFCurveNodeTree, CreateFromDataTypeNamesMembersAndLayerType)
{
    KFCurveNode* t = FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "T");
    ASSERT_EQ(t->GetCount(), 3);
    EXPECT_EQ(t->GetLayerType(), 1);
    EXPECT_STREQ(t->Get(0)->GetName(), "X");
    EXPECT_STREQ(t->Get(2)->GetName(), "Z");
    EXPECT_EQ(t->Get(0)->GetDataType(), nullptr);
    t->Destroy();

    KFCurveNode* q = FCurveNodeCreateFromDataType(KDataTypeQuaternion, "Q");
    ASSERT_EQ(q->GetCount(), 4);
    EXPECT_STREQ(q->Get(3)->GetName(), " ");
    q->Destroy();

    KFCurveNode* r = FCurveNodeCreateFromDataType(KDataTypeMatrixRotation, "M");
    EXPECT_EQ(r->GetLayerType(), 2);
    EXPECT_EQ(r->GetCount(), 16);
    r->Destroy();

    KFCurveNode* s = FCurveNodeCreateFromDataType(KDataTypeScalingUV, "UV");
    EXPECT_EQ(s->GetLayerType(), 3);
    s->Destroy();

    KFCurveNode* n = FCurveNodeCreateFromDataType(KDataTypeNumber, "N");
    EXPECT_EQ(n->GetCount(), 0);
    n->Destroy();
}

TEST(KFCurveNodeTree, ChildrenFindAndParents)
{
    KFCurveNode* root = MakeTransform();
    EXPECT_EQ(root->GetCount(), 4);
    EXPECT_EQ(root->Find("lcl ROTATION"), 1);
    EXPECT_EQ(root->Find("Nothing"), -1);
    EXPECT_EQ(root->Find(KDataTypeLclScaling), root->Get(2));
    EXPECT_EQ(root->Find(KDataTypeColor), nullptr);
    EXPECT_EQ(root->Get(4), nullptr);
    EXPECT_EQ(root->Get(-1), nullptr);
    KFCurveNode* x = root->Get(0)->Get(0);
    EXPECT_EQ(x->GetParent(), root->Get(0));
    EXPECT_TRUE(root->IsChild(root->Get(0)));
    EXPECT_FALSE(root->IsChild(x));
    EXPECT_TRUE(root->IsChild(x, true));

    // Destroying a child takes it out of its parent.
    root->Get(0)->Get(1)->Destroy();
    EXPECT_EQ(root->Get(0)->GetCount(), 2);
    EXPECT_STREQ(root->Get(0)->Get(1)->GetName(), "Z");

    // Remove detaches without destroying.
    KFCurveNode* vis = root->Get(3);
    root->Remove(3);
    EXPECT_EQ(vis->GetParent(), nullptr);
    EXPECT_EQ(root->GetCount(), 3);
    vis->Destroy();

    // Delete of a node that is not a child still destroys it.
    KFCurveNode* stray = KFCurveNodeCreate("Stray");
    root->Delete(stray);
    EXPECT_EQ(root->GetCount(), 3);
    root->Destroy();
}

TEST(KFCurveNodeTree, SortedAddIgnoresCaseAndGoesBeforeEqualNames)
{
    KFCurveNode* root = KFCurveNodeCreate("Root");
    KFCurveNode* a = KFCurveNodeCreate("alpha");
    KFCurveNode* c = KFCurveNodeCreate("Charlie");
    root->Add(a);
    root->Add(c);
    KFCurveNode* b = KFCurveNodeCreate("BRAVO");
    EXPECT_EQ(root->SortedAdd(b), 1);
    KFCurveNode* c2 = KFCurveNodeCreate("charlie");
    EXPECT_EQ(root->SortedAdd(c2), 2);
    EXPECT_EQ(root->Get(2), c2);
    EXPECT_EQ(root->Get(3), c);
    // SortedAdd does not set the parent link.
    EXPECT_EQ(b->GetParent(), nullptr);
    KFCurveNode* z = KFCurveNodeCreate("zulu");
    EXPECT_EQ(root->SortedAdd(z), 4);
    for (KFCurveNode* n : {b, c2, z})
        root->Remove(root->Find(n));
    for (KFCurveNode* n : {b, c2, z})
        n->Destroy();
    root->Destroy();
}

TEST(KFCurveNodeTree, ContainersOnlyListTheirChildren)
{
    KFCurveNode* owner = KFCurveNodeCreate("Owner");
    KFCurveNode* child = KFCurveNodeCreate("Child");
    owner->Add(child);
    KFCurveNode* container = KFCurveNodeCreate("List");
    container->SetContainerType(0xFF);
    EXPECT_EQ(container->GetContainerType(), 8);
    container->Add(child);
    EXPECT_EQ(child->GetParent(), owner);
    container->Clear();
    EXPECT_EQ(container->GetCount(), 0);
    EXPECT_EQ(owner->GetCount(), 1);
    EXPECT_EQ(child->GetParent(), owner);

    // Delete on a container still destroys the child (which leaves its owner).
    container->Add(child);
    container->Delete(0);
    EXPECT_EQ(owner->GetCount(), 0);
    container->Destroy();
    owner->Destroy();
}

TEST(KFCurveNodeTree, PathLookupWithAliasesAndSlashes)
{
    KFCurveNode* root = MakeTransform();
    KFCurveNode* tx = root->Get(0)->Get(0);
    EXPECT_EQ(root->FindRecursive("T/X"), tx);
    EXPECT_EQ(root->FindRecursive("Lcl Translation/x"), tx);
    EXPECT_EQ(root->FindRecursive("R/Z"), root->Get(1)->Get(2));
    EXPECT_EQ(root->FindRecursive("S"), root->Get(2));
    // Lower-case letters are plain names.
    EXPECT_EQ(root->FindRecursive("t"), nullptr);
    // A bare member name finds the first one depth first.
    EXPECT_EQ(root->FindRecursive("Y"), root->Get(0)->Get(1));
    EXPECT_EQ(root->FindRecursive("T/W"), nullptr);
    EXPECT_EQ(root->FindRecursive("Nope/X"), nullptr);
    // The caller's text is left as it was.
    char path[] = "R/Y";
    EXPECT_EQ(root->FindRecursive(path), root->Get(1)->Get(1));
    EXPECT_STREQ(path, "R/Y");
    // An item not among the children is searched in each child's subtree.
    EXPECT_EQ(root->FindRecursive("Transform"), nullptr);
    KFCurveNode* top = KFCurveNodeCreate("Top");
    top->Add(root);
    EXPECT_EQ(top->FindRecursive("Transform/T/X"), tx);
    EXPECT_EQ(top->FindRecursive("T/X"), tx);
    EXPECT_EQ(top->FindRecursive(KDataTypeLclRotation), root->Get(1));
    EXPECT_EQ(top->FindRecursive(KDataTypeColor), nullptr);
    top->Destroy();
}

TEST(KFCurveNodeTree, FindOrCreateAndCurvesOverTheTree)
{
    KFCurveNode* root = KFCurveNodeCreate("Root");
    KFCurveNode* a = root->FindOrCreate("A", false);
    EXPECT_EQ(a->FCurveGet(), nullptr);
    EXPECT_EQ(root->FindOrCreate("a", true), a);
    EXPECT_NE(a->FCurveGet(), nullptr);
    EXPECT_EQ(a->GetParent(), root);
    KFCurveNode* b = root->FindOrCreate("B", false);
    b->FindOrCreate("B1", false);
    EXPECT_FALSE(root->FCurveCreated());
    root->CreateFCurve();
    EXPECT_TRUE(root->FCurveCreated());
    EXPECT_EQ(b->FCurveGet(), nullptr); // inner nodes get none
    EXPECT_NE(b->Get(0)->FCurveGet(), nullptr);
    root->Destroy();
}

TEST(KFCurveNodeTree, FCurveSetReturnsThePreviousCurve)
{
    KFCurveNode* node = KFCurveNodeCreate("N");
    KFCurve* first = KFCurveCreate();
    EXPECT_EQ(node->FCurveSet(first), nullptr);
    KFCurve* second = KFCurveCreate();
    EXPECT_EQ(node->FCurveSet(second, false), first);
    EXPECT_EQ(node->FCurveSet(second, true), nullptr); // same curve: nothing
    EXPECT_EQ(node->FCurveGet(), second);
    KFCurve* third = KFCurveCreate();
    EXPECT_EQ(node->FCurveSet(third, true), nullptr); // second destroyed
    node->FCurveReplace(first);
    EXPECT_EQ(node->FCurveGet(), first);
    node->Destroy();
}

TEST(KFCurveNodeTree, TransformCurves)
{
    KFCurveNode* root = MakeTransform();
    KFCurve* t[3];
    KFCurve* r[3];
    KFCurve* s[3];
    EXPECT_TRUE(root->GetTransformCurves(t, r, s));
    EXPECT_EQ(t[1], root->Get(0)->Get(1)->FCurveGet());
    EXPECT_EQ(s[2], root->Get(2)->Get(2)->FCurveGet());
    // A rotation without "Z": false although translation was complete.
    root->Get(1)->Delete(2);
    EXPECT_FALSE(root->GetTransformCurves(t, r, s));
    EXPECT_NE(t[2], nullptr);
    EXPECT_NE(r[1], nullptr);
    EXPECT_EQ(r[2], nullptr);
    EXPECT_EQ(s[0], nullptr);
    root->Destroy();

    // Nodes named "T", "R", "S" without data types are found by name.
    KFCurveNode* named = KFCurveNodeCreate("Transform");
    for (const char* n : {"T", "R", "S"})
    {
        KFCurveNode* c = named->FindOrCreate(n, false);
        for (const char* m : {"X", "Y", "Z"})
            c->FindOrCreate(m, true);
    }
    EXPECT_TRUE(named->GetTransformCurves(t, r, s));
    named->Destroy();
}

TEST(KFCurveNodeTree, CloneCopiesCurvesAndTemplateClonesShareNames)
{
    KFCurveNode* root = MakeTransform();
    KFCurve* tx = root->Get(0)->Get(0)->FCurveGet();
    tx->KeyAppendFast(KTime(0), 1.0f);
    tx->KeyAppendFast(KTime(100), 2.0f);
    root->Get(1)->SetRotationOrder(3);
    root->Get(1)->SetUseQuaternion(true);

    KFCurveNode* copy = root->Clone(false);
    ASSERT_EQ(copy->GetCount(), 4);
    KFCurve* cx = copy->Get(0)->Get(0)->FCurveGet();
    ASSERT_NE(cx, nullptr);
    EXPECT_NE(cx, tx);
    EXPECT_EQ(cx->KeyGetCount(), 2);
    EXPECT_EQ(copy->Get(1)->GetRotationOrder(), 3);
    EXPECT_TRUE(copy->Get(1)->GetUseQuaternion());
    EXPECT_EQ(copy->Get(1)->GetLayerType(), 2);
    copy->Get(0)->GetNameInfo()->mName = "Renamed";
    EXPECT_STREQ(root->Get(0)->GetName(), "Lcl Translation");

    KFCurveNode* shared = root->Clone(true);
    EXPECT_EQ(shared->Get(0)->GetNameInfo(), root->Get(0)->GetNameInfo());
    EXPECT_EQ(shared->Get(0)->TemplateGet(), root->Get(0));
    shared->Get(0)->GetNameInfo()->mName = "Moved";
    EXPECT_STREQ(root->Get(0)->GetName(), "Moved");
    EXPECT_EQ(shared->Get(0)->GetNameInfo()->mRefCount, 2);

    // Structure only, with new empty curves, on another layer id.
    KFCurveNode* structure = root->CloneTemplate(false, false, true, 5);
    EXPECT_EQ(structure->GetLayerID(), 5);
    EXPECT_EQ(structure->Get(0)->Get(0)->GetLayerID(), 5);
    EXPECT_EQ(structure->Get(0)->Get(0)->FCurveGet()->KeyGetCount(), 0);
    EXPECT_EQ(structure->ObjectLayerGet(), root);

    shared->Destroy();
    EXPECT_EQ(root->Get(0)->GetNameInfo()->mRefCount, 1);
    structure->Destroy();
    copy->Destroy();
    root->Destroy();
}

TEST(KFCurveNodeTree, TemplateConstructorAndNameRecords)
{
    KFCurveNode* base = KFCurveNodeCreate("Base", KDataTypeLclRotation, 2, 7);
    KFCurveNode* fromTemplate = KFCurveNodeCreate(base);
    EXPECT_EQ(fromTemplate->GetLayerID(), 0);
    EXPECT_EQ(fromTemplate->GetLayerType(), 2);
    EXPECT_EQ(fromTemplate->GetDataType(), KDataTypeLclRotation);
    EXPECT_EQ(fromTemplate->GetNameInfo(), base->GetNameInfo());

    // Giving up the record: no name any more.
    fromTemplate->SetNameInfo(nullptr);
    EXPECT_STREQ(fromTemplate->GetName(), "");
    EXPECT_EQ(base->GetNameInfo()->mRefCount, 1);

    // TemplateSet shares the template's record, down the children.
    KFCurveNode* other = KFCurveNodeCreate("Other");
    other->FindOrCreate("OX", false);
    base->FindOrCreate("BX", false);
    other->TemplateSet(base);
    EXPECT_STREQ(other->GetName(), "Base");
    EXPECT_STREQ(other->Get(0)->GetName(), "BX");
    other->Destroy();
    fromTemplate->Destroy();
    base->Destroy();
}

TEST(KFCurveNodeTree, DataNodes)
{
    KFCurveNode* a = KFCurveNodeCreate("A");
    KFCurveNode* b = KFCurveNodeCreate("B");
    KFCurveNode* c = KFCurveNodeCreate("C");
    a->FindOrCreate("A0", false);
    b->FindOrCreate("B0", false);
    EXPECT_EQ(a->DataNodeGet(), a);
    a->DataNodeSet(b, true);
    EXPECT_EQ(a->Get(0)->DataNodeGet(), b->Get(0));
    b->DataNodeSet(c, false);
    EXPECT_EQ(a->DataNodeGet(), c);
    // A loop of links ends where it closes instead of running forever.
    c->DataNodeSet(a, false);
    EXPECT_NE(a->DataNodeGet(), nullptr);
    a->DataNodeSet(a, true);
    EXPECT_EQ(a->DataNodeGet(), a);
    EXPECT_EQ(a->Get(0)->DataNodeGet(), a->Get(0));
    a->Destroy();
    b->Destroy();
    c->Destroy();
}

TEST(KFCurveNodeTree, TimeWarpsAreCountedReferences)
{
    KFCurveNode* warp = KFCurveNodeCreate("Warp", KDataTypeTimeWarp);
    KFCurveNode* a = KFCurveNodeCreate("A");
    KFCurveNode* b = KFCurveNodeCreate("B");
    a->TimeWarpSet(warp);
    b->TimeWarpSet(warp);
    EXPECT_EQ(warp->GetReferenceCount(), 2);
    a->Destroy();
    EXPECT_EQ(warp->GetReferenceCount(), 1);
    b->TimeWarpSet(nullptr); // the last user destroys it
    b->Destroy();

    // A time warp that leads back to the node is refused.
    KFCurveNode* w1 = KFCurveNodeCreate("W1", KDataTypeTimeWarp);
    KFCurveNode* w2 = KFCurveNodeCreate("W2", KDataTypeTimeWarp);
    w1->TimeWarpSet(w2);
    w2->TimeWarpSet(w1);
    EXPECT_EQ(w2->TimeWarpGet(), nullptr);
    w1->TimeWarpSet(w1);
    EXPECT_EQ(w1->TimeWarpGet(), w2);
    w1->Destroy(); // releases w2
}

} // namespace
