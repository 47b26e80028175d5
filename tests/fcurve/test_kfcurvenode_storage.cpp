// Curve nodes stored as "Channel" fields of the native file and read back: round trips in every form, layers, time
// warps, name matching, fields in any order, and damaged nesting.

#include "fcurve_test_util.h"

#include "base/kset.h"
#include "fcurve/kfcurvelayer.h"
#include "object/kpropertydatatype.h"

using namespace fctest;

namespace {

void AddAuto(KFCurve* curve, double seconds, float value)
{
    AddKey(*curve, Sec(seconds), value, U);
}

// Reads every channel of the section into the template's children.
void ReadInto(const Image& image, KFCurveNode* templateNode, bool createMissing = true)
{
    KQox f;
    ASSERT_TRUE(OpenSection(f, image)) << f.GetLastErrorString();
    while (KFCurveNodeCreate(&f, templateNode, false, createMissing, true))
    {}
}

// A time warp registered under `nick`, kept alive by a second user.
struct RegisteredWarp
{
    KFCurveNode* warp = KFCurveNodeCreate("Warp", KDataTypeTimeWarp);
    KFCurveNode* keeper = KFCurveNodeCreate("Keeper");
    KSet set{16};
    explicit RegisteredWarp(int nick)
    {
        keeper->TimeWarpSet(warp);
        set.Add(nick, reinterpret_cast<kReference>(warp));
        KFCurve_SetTWSet(&set);
    }
    ~RegisteredWarp()
    {
        KFCurve_SetTWSet(nullptr);
        keeper->Destroy(); // the last reference: the warp goes too
    }
};

} // namespace

TEST(KFCurveNodeStorage, RoundTripWithLayersAndTimeWarpsInEveryForm)
{
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII, KQox::eENCRYPTED})
    {
        SCOPED_TRACE(form);
        RegisteredWarp tw(3);
        tw.warp->FCurveSet(KFCurveCreate());
        AddAuto(tw.warp->FCurveGet(), 0.0, 0.0f);
        AddAuto(tw.warp->FCurveGet(), 10.0, 20.0f);
        KFCurveNode* source = MakeTransform();
        KFCurveNode* t = source->Get(0);
        AddAuto(Member(t, 0), 0.0, 1.0f);
        AddAuto(Member(t, 0), 1.0, 2.5f);
        Member(t, 2)->SetValue(-4.0f);
        t->TimeWarpSet(tw.warp);
        KFCurveNode* r = source->Get(1);
        AddAuto(Member(r->CreateLayerAt(2), 1), 0.5, 45.0f);
        Member(r->CreateLayerAt(5), 2)->SetValue(7.0f);
        source->Get(3)->FCurveGet()->SetValue(1.0f);
        Image image = WriteSection(form, 6000, [&](KQox& f) {
            for (int i = 0; i < source->GetCount(); ++i)
                EXPECT_TRUE(source->Get(i)->QoxStore(&f, false, true, true, "Channel", true, false));
        });
        // The translation node's channel is named "T".
        {
            KQox f;
            ASSERT_TRUE(OpenSection(f, image));
            ASSERT_TRUE(f.FieldReadBegin("Channel"));
            EXPECT_STREQ(f.FieldReadC(), "T");
            ASSERT_TRUE(f.FieldReadBlockBegin());
            EXPECT_EQ(f.FieldReadI("TimeWarpID", 0), 3);
            EXPECT_EQ(f.FieldReadGetCount("LayerID"), 0);
            EXPECT_EQ(f.FieldReadGetCount("LayerType"), 1);
            EXPECT_EQ(f.FieldReadGetCount("UserName"), 0);
        }
        // Read into a template whose nodes have other names.
        KFCurveNode* target = MakeTransform("Position", "Orientation", "Size");
        ReadInto(image, target);
        ASSERT_EQ(target->GetCount(), 4);
        KFCurveNode* rt = target->Get(0);
        EXPECT_STREQ(rt->GetName(), "Position");
        EXPECT_EQ(Times(*Member(rt, 0)), (std::vector<long long>{0, kTicksPerSecond}));
        EXPECT_EQ(Values(*Member(rt, 0)), (std::vector<float>{1, 2.5f}));
        EXPECT_EQ(Member(rt, 2)->GetValue(), -4.0f);
        EXPECT_EQ(rt->TimeWarpGet(), tw.warp);
        EXPECT_EQ(rt->GetLayerType(), KFCL_ADD);
        KFCurveNode* rr = target->Get(1);
        EXPECT_EQ(rr->GetLayerType(), KFCL_EULER_XYZ);
        KFCurveNode* l2 = rr->LayerGet();
        ASSERT_NE(l2, nullptr);
        EXPECT_EQ(l2->GetLayerID(), 2);
        EXPECT_EQ(l2->GetLayerType(), KFCL_EULER_XYZ);
        EXPECT_EQ(l2->ObjectLayerGet(), rr);
        EXPECT_EQ(l2->GetNameInfo(), rr->GetNameInfo());
        ASSERT_EQ(l2->GetCount(), 3);
        EXPECT_EQ(l2->Get(1)->ObjectLayerGet(), rr->Get(1));
        EXPECT_EQ(l2->Get(1)->GetNameInfo(), rr->Get(1)->GetNameInfo());
        ASSERT_NE(l2->LayerGet(), nullptr);
        EXPECT_EQ(l2->LayerGet()->GetLayerID(), 5);
        EXPECT_EQ(Member(l2->LayerGet(), 2)->GetValue(), 7.0f);
        EXPECT_EQ(target->Get(3)->FCurveGet()->GetValue(), 1.0f);
        double a[4], b[4]; // evaluation agrees with the source's, time warp and layers included
        for (double s : {0.0, 0.25, 0.5, 1.0})
        {
            source->Get(0)->GeneralEvaluate(a, Sec(s));
            rt->GeneralEvaluate(b, Sec(s));
            EXPECT_NEAR(a[0], b[0], 1e-6);
            source->Get(1)->GeneralEvaluate(a, Sec(s));
            rr->GeneralEvaluate(b, Sec(s));
            ExpectNear3(b, a[0], a[1], a[2]);
        }
        target->Destroy();
        source->Destroy();
        EXPECT_EQ(tw.warp->GetReferenceCount(), 1);
    }
}

TEST(KFCurveNodeStorage, FieldsInAnyOrderAndLayerTypeFromNames)
{
    // By hand: layer fields first, curves last, the time warp at the end; then members carrying the parent's warp.
    RegisteredWarp tw(9);
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
    {
        Image image = WriteSection(form, 6000, [](KQox& f) {
            BeginChannel(f, "R");
            WriteI(f, "LayerType", 4);
            for (const char* m : {"X", "Y", "Z", "W"})
            {
                BeginChannel(f, m);
                WriteD(f, "Default", m[0] == 'W' ? 1.0 : 0.5);
                EndChannel(f);
            }
            WriteI(f, "TimeWarpID", 9);
            EndChannel(f);
            BeginChannel(f, "Lcl Translation");
            BeginChannel(f, "X");
            WriteI(f, "TimeWarpID", 9);
            WriteD(f, "Default", 3.0);
            EndChannel(f);
            EndChannel(f);
        });
        KFCurveNode* root = KFCurveNodeCreate("Root");
        ReadInto(image, root);
        ASSERT_EQ(root->GetCount(), 2);
        KFCurveNode* r = root->Get(0);
        EXPECT_STREQ(r->GetName(), "R");
        ASSERT_EQ(r->GetCount(), 4);
        EXPECT_EQ(r->GetLayerType(), KFCL_QUAT); // four members keep the type read
        EXPECT_EQ(Member(r, 3)->GetValue(), 1.0f);
        EXPECT_EQ(r->TimeWarpGet(), tw.warp);
        KFCurveNode* t = root->Get(1);
        EXPECT_EQ(t->GetLayerType(), KFCL_ADD); // from the name
        EXPECT_EQ(t->TimeWarpGet(), tw.warp);
        EXPECT_EQ(t->Get(0)->TimeWarpGet(), nullptr);
        EXPECT_EQ(Member(t, 0)->GetValue(), 3.0f);
        root->Destroy();
    }
}

TEST(KFCurveNodeStorage, ChannelMatching)
{
    Image image = WriteSection(KQox::eBINARY, 6000, [](KQox& f) {
        // Matches "Lcl Rotation" through its parenthesised suffix; a curve on a node with children is dropped.
        BeginChannel(f, "lcl rotation  (Euler)");
        BeginChannel(f, "Y");
        WriteD(f, "Default", 12.0);
        EndChannel(f);
        WriteD(f, "Default", 99.0);
        EndChannel(f);
        BeginChannel(f, "Extra"); // unknown to the template
        WriteD(f, "Default", 5.0);
        EndChannel(f);
    });
    KFCurveNode* target = MakeTransform();
    ReadInto(image, target, false);
    EXPECT_EQ(target->Get(1)->Get(1)->FCurveGet()->GetValue(), 12.0f);
    EXPECT_EQ(target->Get(1)->FCurveGet(), nullptr);
    EXPECT_EQ(target->GetCount(), 4); // "Extra" skipped
    target->Destroy();
    target = MakeTransform();
    ReadInto(image, target, true);
    ASSERT_EQ(target->GetCount(), 5);
    EXPECT_STREQ(target->Get(4)->GetName(), "Extra");
    EXPECT_EQ(target->Get(4)->FCurveGet()->GetValue(), 5.0f);
    target->Destroy();
    KQox f; // without template every channel is a new node, which keeps both its curve and its channels
    ASSERT_TRUE(OpenSection(f, image));
    KFCurveNode* first = KFCurveNodeCreate(&f);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->GetName(), "lcl rotation  (Euler)");
    EXPECT_EQ(first->GetCount(), 1);
    ASSERT_NE(first->FCurveGet(), nullptr);
    EXPECT_EQ(first->FCurveGet()->GetValue(), 99.0f);
    KFCurveNode* second = KFCurveNodeCreate(&f);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(KFCurveNodeCreate(&f), nullptr);
    first->Destroy();
    second->Destroy();
}

TEST(KFCurveNodeStorage, DefaultsOnlyUserNamesAndOldSections)
{
    KFCurveNode* source = MakeTransform();
    AddAuto(Member(source->Get(0), 0), 1.0, 3.0f);
    Member(source->Get(0), 0)->SetValue(2.0f);
    source->Get(0)->CreateLayerAt(1);
    source->Get(0)->SetTimeWarpName("Mover");
    Image image = WriteSection(
        KQox::eASCII, 6000, [&](KQox& f) { source->Get(0)->QoxStore(&f, true, false, false, "Channel", true, false); });
    {
        KQox f;
        ASSERT_TRUE(OpenSection(f, image));
        ASSERT_TRUE(f.FieldReadBegin("Channel"));
        EXPECT_STREQ(f.FieldReadC(), "Lcl Translation");
        ASSERT_TRUE(f.FieldReadBlockBegin());
        EXPECT_STREQ(f.FieldReadC("UserName", ""), "Mover");
        EXPECT_EQ(f.FieldReadGetCount("LayerChannel"), 0);
        EXPECT_EQ(f.FieldReadGetCount("Channel"), 3);
        ASSERT_TRUE(f.FieldReadBegin("Channel"));
        ASSERT_TRUE(f.FieldReadBlockBegin());
        EXPECT_EQ(f.FieldReadGetCount("Key"), 0);
        EXPECT_EQ(f.FieldReadD("Default", 0.0), 2.0);
    }
    KFCurveNode* target = MakeTransform(); // the user name comes back as the node's second name
    ReadInto(image, target);
    EXPECT_STREQ(target->Get(0)->GetTimeWarpName(), "Mover");
    EXPECT_EQ(target->Get(0)->LayerGet(), nullptr);
    EXPECT_EQ(Member(target->Get(0), 0)->KeyGetCount(), 0);
    target->Destroy();
    source->Destroy();
    // Retrieving takes the file's name; in sections of 4000 a rotation not named "R" loses its layer type.
    KFCurveNode* rotation = FCurveNodeCreateFromDataType(KDataTypeLclRotation, "Lcl Rotation");
    rotation->CreateFCurve();
    AddAuto(Member(rotation, 2), 0.0, 30.0f);
    for (int version : {6000, 4000})
    {
        image = WriteSection(KQox::eBINARY, version,
                             [&](KQox& f) { rotation->QoxStore(&f, false, false, true, "Channel", true, false); });
        KQox f;
        ASSERT_TRUE(OpenSection(f, image));
        KFCurveNode* node = FCurveNodeCreateFromDataType(KDataTypeLclRotation, "Other");
        node->CreateFCurve();
        EXPECT_TRUE(node->QoxRetrieve(&f));
        EXPECT_STREQ(node->GetName(), "Lcl Rotation");
        EXPECT_EQ(Member(node, 2)->KeyGetCount(), 1);
        EXPECT_EQ(node->GetLayerType(), version == 4000 ? KFCL_NOLAYER : KFCL_EULER_XYZ);
        EXPECT_FALSE(node->QoxRetrieve(&f)); // nothing further: false, nothing changed
        EXPECT_STREQ(node->GetName(), "Lcl Rotation");
        node->Destroy();
    }
    rotation->Destroy();
}

TEST(KFCurveNodeStorage, DeepNestingDoesNotExhaustTheStack)
{
    const int depth = 20000;
    Image image = WriteSection(KQox::eBINARY, 6000, [&](KQox& f) {
        for (int i = 0; i < depth; ++i)
            BeginChannel(f, "N");
        for (int i = 0; i < depth; ++i)
            EndChannel(f);
    });
    KQox f;
    ASSERT_TRUE(OpenSection(f, image));
    KFCurveNode* node = KFCurveNodeCreate(&f);
    ASSERT_NE(node, nullptr);
    int levels = 0;
    for (KFCurveNode* n = node; n && n->GetCount() > 0; n = n->Get(0))
        levels++;
    EXPECT_GT(levels, 10);
    EXPECT_LT(levels, depth);
    node->Destroy();
}

// Names matched without regard to case, stems before a parenthesised suffix
// (at most two blanks dropped), names whose first characters agree only in
// bit 5, and layer types from one-letter and longer names.
TEST(KFCurveNodeStorage, NameMatchingEdges)
{
    Image image = WriteSection(KQox::eBINARY, 6000, [](KQox& f) {
        for (const char* name : {"VISIBILITY", "Lcl Rotation   (Euler)", "`isibility", "Lcl Scaling (x)"})
        {
            BeginChannel(f, name);
            WriteD(f, "Default", 7.0);
            EndChannel(f);
        }
    });
    KFCurveNode* target = MakeTransform();
    ReadInto(image, target, false);
    EXPECT_EQ(target->GetCount(), 4); // three blanks and '`' match nothing
    EXPECT_EQ(target->Get(3)->FCurveGet()->GetValue(), 7.0f);
    EXPECT_NE(target->Get(1)->Get(0)->FCurveGet()->GetValue(), 7.0f);
    EXPECT_EQ(target->Get(2)->FCurveGet(), nullptr); // a node with children drops the curve
    target->Destroy();

    KQox f;
    ASSERT_TRUE(OpenSection(f, image));
    int count = 0;
    while (KFCurveNode* node = KFCurveNodeCreate(&f))
    {
        EXPECT_EQ(node->GetLayerType(), count == 3 ? KFCL_MULT : KFCL_NOLAYER) << node->GetName();
        node->Destroy();
        ++count;
    }
    EXPECT_EQ(count, 4);

    Image letters = WriteSection(KQox::eASCII, 6000, [](KQox& f) {
        for (const char* name : {"X", "S", "T", "", "Translation"})
        {
            BeginChannel(f, name);
            WriteD(f, "Default", 1.0);
            EndChannel(f);
        }
    });
    KQox g;
    ASSERT_TRUE(OpenSection(g, letters));
    const int expected[] = {KFCL_NOLAYER, KFCL_MULT, KFCL_ADD, KFCL_NOLAYER, KFCL_ADD};
    for (int type : expected)
    {
        KFCurveNode* node = KFCurveNodeCreate(&g);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->GetLayerType(), type) << node->GetName();
        node->Destroy();
    }
}

namespace {

// A "LayerID" left out.
const int kNone = -1;

// One upper layer of a chain written by hand: its own "LayerID" and its
// members' (kNone: not written; no members: a layer of a node without any).
struct WrittenLayer
{
    int mId;
    std::vector<int> mMembers;
};
struct LayerIdCase
{
    const char* mName;
    std::vector<WrittenLayer> mLayers;
    // Each layer's id then its members', as read ("" when refused).
    const char* mRead;
};

void WriteLayerId(KQox& f, int id)
{
    if (id != kNone)
        WriteI(f, "LayerID", id);
}

// A base node (members X, Y, Z when the layers have members) with a
// static value per curve, its layers nested as the writer nests them; the
// base writes its id 0 as this version's writer does (headId), or leaves
// it out as earlier writers did.
Image WriteChain(KQox::EForm form, const std::vector<WrittenLayer>& layers, bool headId = true)
{
    const char* const members[] = {"X", "Y", "Z"};
    return WriteSection(form, 6000, [&](KQox& f) {
        BeginChannel(f, "V");
        const size_t count = layers.front().mMembers.size();
        if (count == 0)
            WriteD(f, "Default", 1.0);
        for (size_t m = 0; m < count; ++m)
            StaticChannel(f, members[m], 1.0);
        if (headId)
            WriteI(f, "LayerID", 0);
        for (const WrittenLayer& layer : layers)
        {
            BeginChannel(f, "V", "LayerChannel");
            if (count == 0)
                WriteD(f, "Default", 0.5);
            for (size_t m = 0; m < layer.mMembers.size(); ++m)
            {
                BeginChannel(f, members[m]);
                WriteD(f, "Default", 0.5);
                WriteLayerId(f, layer.mMembers[m]);
                EndChannel(f);
            }
            WriteLayerId(f, layer.mId);
        }
        for (size_t l = 0; l <= layers.size(); ++l)
            EndChannel(f);
    });
}

// Each layer of node's chain: its id then its members'.
std::string LayerIds(KFCurveNode* node)
{
    std::string ids;
    for (KFCurveNode* layer = node->LayerGet(); layer; layer = layer->LayerGet())
    {
        ids += (ids.empty() ? "[" : " [") + std::to_string(layer->GetLayerID());
        for (int i = 0; i < layer->GetCount(); ++i)
            ids += " " + std::to_string(layer->Get(i)->GetLayerID());
        ids += "]";
    }
    return ids;
}

// What an earlier version read of a chain written by hand: each id left
// out is 0.
std::string EarlierReading(const std::vector<WrittenLayer>& layers)
{
    auto id = [](int written) { return std::to_string(written == kNone ? 0 : written); };
    std::string ids;
    for (const WrittenLayer& layer : layers)
    {
        ids += (ids.empty() ? "[" : " [") + id(layer.mId);
        for (int member : layer.mMembers)
            ids += " " + id(member);
        ids += "]";
    }
    return ids;
}

} // namespace

// An upper layer or a member read without its "LayerID" gets the id the
// file still tells: a member its layer's, a layer the one its members give,
// or the only one between its neighbours'. When none fits, or several do,
// the read is damage, and no layer is ever read as the base (id 0). An id
// written, 0 included, is read as it is. A chain whose head does not write
// its 0 was written by an earlier version, which left every id of 0 out:
// there each id missing is 0.
TEST(KFCurveNodeStorage, LayerIdsLeftOutAreGivenOnlyWhenOneFits)
{
    const int o = kNone;
    const LayerIdCase cases[] = {
        {"every id written", {{1, {1, 1, 1}}, {2, {2, 2, 2}}}, "[1 1 1 1] [2 2 2 2]"},
        {"the layer's from its members", {{o, {1, 1, 1}}, {2, {2, 2, 2}}}, "[1 1 1 1] [2 2 2 2]"},
        {"the top layer's from its members", {{1, {1, 1, 1}}, {o, {4, 4, 4}}}, "[1 1 1 1] [4 4 4 4]"},
        {"a member's from its layer", {{1, {1, 1, 1}}, {2, {2, o, 2}}}, "[1 1 1 1] [2 2 2 2]"},
        {"every member's from its layer", {{3, {o, o, o}}}, "[3 3 3 3]"},
        {"a member written on the base", {{3, {0, o, 3}}}, "[3 0 3 3]"},
        {"two layers' from their members", {{o, {1, 1, 1}}, {o, {2, 2, 2}}}, "[1 1 1 1] [2 2 2 2]"},
        {"the only id between the neighbours", {{o, {o, o, o}}, {2, {2, 2, 2}}}, "[1 1 1 1] [2 2 2 2]"},
        {"without members, the only id below the next", {{o, {}}, {2, {}}}, "[1] [2]"},
        {"without members, between two", {{1, {}}, {o, {}}, {3, {}}}, "[1] [2] [3]"},
        {"without members, two ids fit", {{o, {}}, {3, {}}}, ""},
        {"without members, the top layer", {{1, {}}, {o, {}}}, ""},
        {"the only layer, nothing tells", {{o, {}}}, ""},
        {"members on the base tell nothing", {{o, {0, 0, 0}}}, ""},
        {"members disagreeing", {{o, {1, 2, 1}}}, ""},
        {"members' id not above the layer below", {{2, {2, 2, 2}}, {o, {2, 2, 2}}}, ""},
        {"members' id not below the layer above", {{o, {3, 3, 3}}, {2, {2, 2, 2}}}, ""},
        {"two layers without ids nor members' ids", {{o, {o, o, o}}, {o, {o, o, o}}}, ""},
    };
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII, KQox::eENCRYPTED})
        for (const LayerIdCase& c : cases)
            for (bool headId : {true, false})
            {
                SCOPED_TRACE(std::string(c.mName) + ", form " + std::to_string(form) +
                             (headId ? "" : ", earlier writer"));
                const Image image = WriteChain(form, c.mLayers, headId);
                KQox f;
                ASSERT_TRUE(OpenSection(f, image)) << f.GetLastErrorString();
                KFCurveNode* node = KFCurveNodeCreate(&f);
                ASSERT_NE(node, nullptr);
                const std::string read = LayerIds(node);
                // A chain whose head leaves its id out comes from a writer that
                // left every 0 out: each id missing is 0, as that writer meant.
                const std::string expected = headId ? c.mRead : EarlierReading(c.mLayers);
                EXPECT_EQ(f.GetLastErrorID() == KQox::eFILE_CORRUPTED ? "" : read, expected) << read;
                // The base's members stay on the base; no id is left unset.
                for (int i = 0; i < node->GetCount(); ++i)
                    EXPECT_EQ(node->Get(i)->GetLayerID(), 0);
                EXPECT_EQ(read.find('-'), std::string::npos) << read;
                node->Destroy();
            }
}

// A member of an upper layer that lies on the base (id 0) keeps its id
// through a file in every form: the writer gives every id within a layer.
TEST(KFCurveNodeStorage, LayerMembersOnTheBaseKeepTheirId)
{
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII, KQox::eENCRYPTED})
    {
        SCOPED_TRACE(form);
        KFCurveNode* source = MakeTransform();
        KFCurveNode* layer = source->Get(0)->CreateLayerAt(2);
        ASSERT_NE(layer, nullptr);
        layer->Get(1)->SetLayerID(0);
        Image image = WriteSection(form, 6000, [&](KQox& f) {
            EXPECT_TRUE(source->Get(0)->QoxStore(&f, false, true, true, "Channel", true, false));
        });
        KQox f;
        ASSERT_TRUE(OpenSection(f, image));
        KFCurveNode* read = KFCurveNodeCreate(&f);
        ASSERT_NE(read, nullptr);
        EXPECT_NE(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
        EXPECT_EQ(LayerIds(read), "[2 2 0 2]");
        read->Destroy();
        source->Destroy();
    }
}
