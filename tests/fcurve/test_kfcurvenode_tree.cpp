// Curve-node trees: building, names, lookup by name, type and path, cloning, templates, data nodes, time warps,
// callbacks, user locks and display state.

#include "fcurve_test_util.h"

#include "object/kpropertydatatype.h"

using namespace fctest;

namespace {

struct Call
{
    int tag, type, count;
    IData* data;
};

std::vector<Call> gCalls;
void* Tag(int tag)
{
    return reinterpret_cast<void*>(static_cast<intptr_t>(tag));
}

void Record(KFCurveNode*, KFCurveNodeEvent* event, void* data)
{
    gCalls.push_back(
        {static_cast<int>(reinterpret_cast<intptr_t>(data)), event->mEventType, event->mEventCount, event->mData});
}

void UnregisterSelf(KFCurveNode* node, KFCurveNodeEvent* event, void* data)
{
    Record(node, event, data);
    node->CallbackUnregister(UnregisterSelf, data);
}

std::vector<int> Tags()
{
    std::vector<int> tags;
    for (const Call& c : gCalls)
        tags.push_back(c.tag);
    return tags;
}

} // namespace

TEST(KFCurveNodeTree, CreationNamesAndTypes)
{
    KFCurveNode* node = KFCurveNodeCreate("Lcl Rotation", "RotUser", "lcl rotation", 2, 0);
    EXPECT_STREQ(node->GetTimeWarpName(), "RotUser");
    EXPECT_EQ(node->GetDataType(), KDataTypeLclRotation); // type names match ignoring case
    EXPECT_STREQ(node->GetTypeName(), "Lcl Rotation");
    // Initial flags 0x60: expanded and multi-layer, not visible.
    EXPECT_TRUE(node->IsExpended() && node->IsMultiLayer() && !node->GetVisibility());
    node->Destroy();
    KFCurveNode* plain = KFCurveNodeCreate("Weight", static_cast<KDataType*>(nullptr));
    EXPECT_STREQ(plain->GetTypeName(), "");
    EXPECT_STREQ(plain->GetTimeWarpName(), "Weight");
    plain->Destroy();
    KFCurveNode* warp = KFCurveNodeCreate("Warp", KDataTypeTimeWarp); // time-warp nodes get no second name
    EXPECT_STREQ(warp->GetTimeWarpName(), "");
    warp->Destroy();
    // From a data type: members and the layer type.
    const struct
    {
        KDataType* type;
        int members, layerType;
        const char* lastName;
    } cases[] = {{KDataTypeLclTranslation, 3, KFCL_ADD, "Z"},
                 {KDataTypeQuaternion, 4, KFCL_ADD, " "},
                 {KDataTypeMatrixRotation, 16, KFCL_EULER_XYZ, " "},
                 {KDataTypeScalingUV, 3, KFCL_MULT, "Z"},
                 {KDataTypeNumber, 0, KFCL_ADD, nullptr}};
    for (const auto& k : cases)
    {
        KFCurveNode* n = FCurveNodeCreateFromDataType(k.type, "N");
        EXPECT_EQ(n->GetCount(), k.members);
        EXPECT_EQ(n->GetLayerType(), k.layerType);
        if (k.lastName)
        {
            EXPECT_STREQ(n->Get(k.members - 1)->GetName(), k.lastName);
            EXPECT_EQ(n->Get(0)->GetDataType(), nullptr);
        }
        n->Destroy();
    }
}

TEST(KFCurveNodeTree, ChildrenLookupAndPaths)
{
    KFCurveNode* root = MakeTransform();
    EXPECT_EQ(root->Find("lcl ROTATION"), 1);
    EXPECT_EQ(root->Find("Nothing"), -1);
    EXPECT_EQ(root->Find(KDataTypeLclScaling), root->Get(2));
    EXPECT_EQ(root->Find(KDataTypeColor), nullptr);
    EXPECT_EQ(root->Get(4), nullptr);
    EXPECT_EQ(root->Get(-1), nullptr);
    KFCurveNode* tx = root->Get(0)->Get(0);
    EXPECT_EQ(tx->GetParent(), root->Get(0));
    EXPECT_FALSE(root->IsChild(tx));
    EXPECT_TRUE(root->IsChild(tx, true));
    // Paths with the aliases T, R, S (upper case only); a bare name finds the first depth first; the text is kept.
    const struct
    {
        const char* path;
        KFCurveNode* node;
    } paths[] = {{"T/X", tx},
                 {"Lcl Translation/x", tx},
                 {"R/Z", root->Get(1)->Get(2)},
                 {"S", root->Get(2)},
                 {"t", nullptr},
                 {"Y", root->Get(0)->Get(1)},
                 {"T/W", nullptr},
                 {"Nope/X", nullptr},
                 {"Transform", nullptr}};
    for (const auto& p : paths)
    {
        std::string text = p.path;
        EXPECT_EQ(root->FindRecursive(&text[0]), p.node) << p.path;
        EXPECT_EQ(text, p.path);
    }
    KFCurveNode* top = KFCurveNodeCreate("Top"); // an item not among the children is searched in each child's subtree
    top->Add(root);
    EXPECT_EQ(top->FindRecursive("Transform/T/X"), tx);
    EXPECT_EQ(top->FindRecursive("T/X"), tx);
    EXPECT_EQ(top->FindRecursive(KDataTypeLclRotation), root->Get(1));
    EXPECT_EQ(top->FindRecursive(KDataTypeColor), nullptr);
    KFCurve *t[3], *r[3], *s[3]; // transform curves; false when the rotation lacks "Z"
    EXPECT_TRUE(root->GetTransformCurves(t, r, s));
    EXPECT_EQ(t[1], root->Get(0)->Get(1)->FCurveGet());
    EXPECT_EQ(s[2], root->Get(2)->Get(2)->FCurveGet());
    root->Get(1)->Delete(2);
    EXPECT_FALSE(root->GetTransformCurves(t, r, s));
    EXPECT_NE(r[1], nullptr);
    EXPECT_EQ(r[2], nullptr);
    EXPECT_EQ(s[0], nullptr);
    // Destroying a child detaches it; Remove only detaches; Delete of a node that is no child still destroys it.
    root->Get(0)->Get(1)->Destroy();
    EXPECT_STREQ(root->Get(0)->Get(1)->GetName(), "Z");
    KFCurveNode* vis = root->Get(3);
    root->Remove(3);
    EXPECT_EQ(vis->GetParent(), nullptr);
    EXPECT_EQ(root->GetCount(), 3);
    vis->Destroy();
    root->Delete(KFCurveNodeCreate("Stray"));
    EXPECT_EQ(root->GetCount(), 3);
    top->Destroy();
    // Nodes named "T", "R", "S" without data types are found by name.
    KFCurveNode* named = KFCurveNodeCreate("Transform");
    for (const char* n : {"T", "R", "S"})
    {
        KFCurveNode* c = named->FindOrCreate(n, false);
        for (const char* m : {"X", "Y", "Z"})
            c->FindOrCreate(m, true);
    }
    EXPECT_TRUE(named->GetTransformCurves(t, r, s));
    EXPECT_EQ(s[2], named->Get(2)->Get(2)->FCurveGet());
    named->Destroy();
}

TEST(KFCurveNodeTree, SortedAddAndCurves)
{
    // Sorted insertion ignores case, goes before equal names and sets no parent.
    KFCurveNode* root = KFCurveNodeCreate("Root");
    KFCurveNode* c = KFCurveNodeCreate("Charlie");
    root->Add(KFCurveNodeCreate("alpha"));
    root->Add(c);
    KFCurveNode* b = KFCurveNodeCreate("BRAVO");
    KFCurveNode* c2 = KFCurveNodeCreate("charlie");
    EXPECT_EQ(root->SortedAdd(b), 1);
    EXPECT_EQ(root->SortedAdd(c2), 2);
    KFCurveNode* z = KFCurveNodeCreate("zulu"); // after every name: appended
    EXPECT_EQ(root->SortedAdd(z), 4);
    EXPECT_EQ(root->Get(3), c);
    EXPECT_EQ(b->GetParent(), nullptr);
    for (KFCurveNode* n : {b, c2, z})
    {
        root->Remove(root->Find(n));
        n->Destroy();
    }
    // A container lists children without owning them; Delete still destroys (and detaches) the child.
    KFCurveNode* container = KFCurveNodeCreate("List");
    container->SetContainerType(0xFF);
    container->Add(root->Get(0));
    EXPECT_EQ(root->Get(0)->GetParent(), root);
    container->Delete(0);
    EXPECT_EQ(root->GetCount(), 1);
    container->Destroy();
    // FindOrCreate ignores case; curves go on the leaves only; FCurveSet returns the curve it did not destroy.
    KFCurveNode* a = root->FindOrCreate("A", false);
    EXPECT_EQ(root->FindOrCreate("a", true), a);
    KFCurveNode* inner = root->FindOrCreate("B", false);
    inner->FindOrCreate("B1", false);
    EXPECT_FALSE(root->FCurveCreated());
    root->CreateFCurve();
    EXPECT_TRUE(root->FCurveCreated());
    EXPECT_TRUE(inner->FCurveGet() == nullptr && inner->Get(0)->FCurveGet() != nullptr);
    KFCurve* first = KFCurveCreate();
    EXPECT_EQ(a->FCurveSet(first, true), nullptr);
    EXPECT_EQ(a->FCurveSet(KFCurveCreate(), false), first);
    first->Destroy();
    root->Destroy();
}

TEST(KFCurveNodeTree, Clones)
{
    KFCurveNode* root = MakeTransform();
    KFCurve* tx = root->Get(0)->Get(0)->FCurveGet();
    tx->KeyAppendFast(KTime(100), 2.0f);
    root->Get(1)->SetRotationOrder(3);
    KFCurveNode* copy = root->Clone(false);
    KFCurve* cx = copy->Get(0)->Get(0)->FCurveGet();
    ASSERT_NE(cx, tx);
    EXPECT_EQ(Times(*cx), Times(*tx));
    EXPECT_EQ(copy->Get(1)->GetRotationOrder(), 3);
    copy->Get(0)->GetNameInfo()->mName = "Renamed";
    EXPECT_STREQ(root->Get(0)->GetName(), "Lcl Translation");
    // Template clones share the name record; structure clones get new empty curves on another layer id.
    KFCurveNode* shared = root->Clone(true);
    shared->Get(0)->GetNameInfo()->mName = "Moved";
    EXPECT_STREQ(root->Get(0)->GetName(), "Moved");
    EXPECT_EQ(root->Get(0)->GetNameInfo()->mRefCount, 2);
    shared->Destroy();
    EXPECT_EQ(root->Get(0)->GetNameInfo()->mRefCount, 1);
    KFCurveNode* structure = root->CloneTemplate(false, false, true, 5);
    EXPECT_EQ(structure->Get(0)->Get(0)->GetLayerID(), 5);
    EXPECT_EQ(structure->Get(0)->Get(0)->FCurveGet()->KeyGetCount(), 0);
    EXPECT_EQ(structure->ObjectLayerGet(), root);
    for (KFCurveNode* n : {structure, copy, root})
        n->Destroy();
}

TEST(KFCurveNodeTree, TimeWarpsAreCountedAndLoopsRefused)
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
    KFCurveNode* w1 = KFCurveNodeCreate("W1", KDataTypeTimeWarp);
    KFCurveNode* w2 = KFCurveNodeCreate("W2", KDataTypeTimeWarp);
    w1->TimeWarpSet(w2);
    w2->TimeWarpSet(w1);
    EXPECT_EQ(w2->TimeWarpGet(), nullptr);
    w1->TimeWarpSet(w1);
    EXPECT_EQ(w1->TimeWarpGet(), w2);
    w1->Destroy(); // releases w2
}

TEST(KFCurveNodeCallbacks, DeliveryOrderAccumulationAndUnregistering)
{
    gCalls.clear();
    KFCurveNode* node = KFCurveNodeCreate("N");
    EXPECT_TRUE(node->CallbackIsEnable()); // without a block: enabled, nothing fired, no update id
    node->SetVisibility(true);
    EXPECT_EQ(node->GetNodeUpdateId(), 0u);
    node->CallbackRegister(Record, Tag(1)); // delivered last registered first
    node->CallbackRegister(Record, Tag(2));
    node->FCurveSet(KFCurveCreate());
    EXPECT_EQ(Tags(), (std::vector<int>{2, 1}));
    EXPECT_EQ(gCalls[0].type, KFCURVENODEEVENT_FCURVE);
    EXPECT_EQ(gCalls[0].count, 1);
    EXPECT_EQ(node->GetNodeUpdateId(), 1u);
    gCalls.clear(); // while disabled, events accumulate into one, delivered first registered first
    node->CallbackEnable(false);
    node->FCurveSet(KFCurveCreate(), true);
    node->TimeWarpSet(KFCurveNodeCreate("W", KDataTypeTimeWarp));
    node->CreateLayerAt(1);
    EXPECT_TRUE(gCalls.empty());
    EXPECT_EQ(node->GetNodeUpdateId(), 4u);
    node->CallbackEnable(true);
    EXPECT_EQ(Tags(), (std::vector<int>{1, 2}));
    EXPECT_EQ(gCalls[0].type, 28);
    EXPECT_EQ(gCalls[0].count, 3);
    node->CallbackEnable(false); // cleared events are not delivered; data updates arrive even while disabled
    node->SetVisibility(true);
    node->CallbackClear();
    IData* data = reinterpret_cast<IData*>(Tag(77));
    node->DataUpdated(data);
    node->CallbackEnable(true);
    ASSERT_EQ(Tags(), (std::vector<int>{1, 2, 2, 1}));
    EXPECT_EQ(gCalls[2].type, KFCURVENODEEVENT_DATAUPDATED);
    EXPECT_EQ(gCalls[2].data, data);
    // The empty block stays (still disabled) until a pair that is not registered is unregistered.
    node->CallbackEnable(false);
    node->CallbackUnregister(Record, Tag(1));
    node->CallbackUnregister(Record, Tag(2));
    EXPECT_FALSE(node->CallbackIsEnable());
    node->CallbackUnregister(Record, Tag(5));
    EXPECT_TRUE(node->CallbackIsEnable());
    // A callback may unregister itself while events are delivered; the same function with another data pointer stays.
    gCalls.clear();
    node->CallbackRegister(UnregisterSelf, Tag(3));
    node->CallbackRegister(Record, Tag(4));
    node->SetVisibility(true);
    node->SetVisibility(false);
    EXPECT_EQ(Tags(), (std::vector<int>{4, 3, 4}));
    EXPECT_EQ(gCalls[2].type, KFCURVENODEEVENT_VISIBILITY);
    node->Destroy();
    EXPECT_EQ(gCalls.back().type, KFCURVENODEEVENT_DESTROY);
}

TEST(KFCurveNodeCallbacks, UserLock)
{
    KFCurveNode* t = FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "T");
    t->CreateFCurve();
    KFCurveNode* layer = t->CreateLayerAt(1);
    KFCurveNode* x = t->Get(0);
    t->UserLockAdd();
    t->UserLockAdd();
    t->UserLockRemove();
    EXPECT_TRUE(x->IsUserLocked());
    EXPECT_TRUE(layer->Get(2)->IsUserLocked());
    EXPECT_FALSE(x->SetPreExtrapolation(KFCURVE_EXTRAPOLATION_REPETITION, true));
    EXPECT_FALSE(x->SetPostExtrapolationCount(3, true));
    EXPECT_EQ(x->FCurveGet()->GetPreExtrapolation(), static_cast<unsigned int>(KFCURVE_EXTRAPOLATION_CONST));
    EXPECT_TRUE(x->SetPreExtrapolationCount(2, false));
    EXPECT_EQ(x->FCurveGet()->GetPreExtrapolationCount(), 2u);
    EXPECT_FALSE(t->SetPostExtrapolation(KFCURVE_EXTRAPOLATION_MIRROR_REPETITION, false)); // no curve
    t->UserLockRemove();
    EXPECT_TRUE(x->SetPostExtrapolation(KFCURVE_EXTRAPOLATION_KEEP_SLOPE, true));
    EXPECT_TRUE(x->SetPostExtrapolationCount(4, true));
    EXPECT_EQ(x->FCurveGet()->GetPostExtrapolationCount(), 4u);
    t->UserLockRemove(); // one removal too many leaves the node unlocked, not locked below zero
    EXPECT_EQ(t->GetUserLockCount(), 0);
    t->SetVisibility(true, true, true); // editable: visible with a curve of its own
    EXPECT_TRUE(x->IsEditable() && !t->IsEditable() && layer->Get(1)->GetVisibility());
    t->Destroy();
}
