// Curve nodes stored as "Channel" fields of the native file and read back:
// round trips in every form, layers, time warps, name matching, fields in any
// order, and damaged nesting.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/kqox.h"
#include "base/kset.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvelayer.h"
#include "fcurve/kfcurvenode.h"
#include "object/kpropertydatatype.h"

namespace {

const KQox::EForm kForms[] = {KQox::eBINARY, KQox::eASCII, KQox::eENCRYPTED};

KTime Seconds(double s)
{
    KTime t;
    t.SetSecondDouble(s);
    return t;
}

void AddKey(KFCurve* curve, double seconds, float value)
{
    KFCurveKey key;
    key.Init();
    key.Set(Seconds(seconds), value, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO);
    curve->KeyAdd(Seconds(seconds), key);
}

// "Transform" with the three local transform nodes (named as given) and
// "Visibility"; every leaf has a curve.
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

struct Image
{
    std::vector<unsigned char> bytes = std::vector<unsigned char>(1 << 20);
    unsigned int size = 0;
};

template <typename Writer>
Image WriteFile(KQox::EForm form, int sectionVersion, Writer write)
{
    Image image;
    KQox f;
    EXPECT_TRUE(f.ProjectCreate(image.bytes.data(), static_cast<unsigned int>(image.bytes.size()), form,
                                KQox::eVERSION_6, "pw"));
    f.ProjectWriteSectionBegin("Takes", sectionVersion);
    write(f);
    f.ProjectWriteSectionEnd();
    EXPECT_TRUE(f.ProjectClose()) << f.GetLastErrorString();
    image.size = static_cast<unsigned int>(f.ProjectGetFileSize());
    return image;
}

bool OpenSection(KQox& f, const Image& image)
{
    return f.ProjectOpen(image.bytes.data(), image.size, "pw") && f.ProjectOpenSection(0);
}

// Reads every channel of the section into the template's children.
void ReadInto(const Image& image, KFCurveNode* templateNode, bool createMissing = true)
{
    KQox f;
    ASSERT_TRUE(OpenSection(f, image)) << f.GetLastErrorString();
    while (KFCurveNodeCreate(&f, templateNode, false, createMissing, true))
    {
    }
}

TEST(KFCurveNodeStorage, RoundTripWithLayersAndTimeWarpsInEveryForm)
{
    for (KQox::EForm form : kForms)
    {
        SCOPED_TRACE(form);
        KFCurveNode* warp = KFCurveNodeCreate("Warp", KDataTypeTimeWarp);
        warp->FCurveSet(KFCurveCreate());
        AddKey(warp->FCurveGet(), 0.0, 0.0f);
        AddKey(warp->FCurveGet(), 10.0, 20.0f);
        KFCurveNode* keeper = KFCurveNodeCreate("Keeper"); // holds a reference to the warp
        keeper->TimeWarpSet(warp);
        KSet warps(16);
        warps.Add(3, reinterpret_cast<kReference>(warp));
        KFCurve_SetTWSet(&warps);

        KFCurveNode* source = MakeTransform();
        KFCurveNode* t = source->Get(0);
        AddKey(t->Get(0)->FCurveGet(), 0.0, 1.0f);
        AddKey(t->Get(0)->FCurveGet(), 1.0, 2.5f);
        t->Get(2)->FCurveGet()->SetValue(-4.0f);
        t->TimeWarpSet(warp);
        KFCurveNode* r = source->Get(1);
        KFCurveNode* layer = r->CreateLayerAt(2);
        AddKey(layer->Get(1)->FCurveGet(), 0.5, 45.0f);
        r->CreateLayerAt(5)->Get(2)->FCurveGet()->SetValue(7.0f);
        source->Get(3)->FCurveGet()->SetValue(1.0f);

        Image image = WriteFile(form, 6000, [&](KQox& f) {
            for (int i = 0; i < source->GetCount(); ++i)
                source->Get(i)->QoxStore(&f, false, true, true, "Channel", true, false);
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
        ASSERT_EQ(rt->Get(0)->FCurveGet()->KeyGetCount(), 2);
        EXPECT_EQ(rt->Get(0)->FCurveGet()->KeyGetValue(1), 2.5f);
        EXPECT_EQ(rt->Get(0)->FCurveGet()->KeyGetTime(1), Seconds(1.0));
        EXPECT_EQ(rt->Get(2)->FCurveGet()->GetValue(), -4.0f);
        EXPECT_EQ(rt->TimeWarpGet(), warp);
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
        EXPECT_EQ(l2->Get(1)->FCurveGet()->KeyGetValue(0), 45.0f);
        KFCurveNode* l5 = l2->LayerGet();
        ASSERT_NE(l5, nullptr);
        EXPECT_EQ(l5->GetLayerID(), 5);
        EXPECT_EQ(l5->Get(2)->FCurveGet()->GetValue(), 7.0f);
        EXPECT_EQ(target->Get(3)->FCurveGet()->GetValue(), 1.0f);

        // Evaluation agrees with the source's, time warp and layers included.
        double a[4], b[4];
        for (double s : {0.0, 0.25, 0.5, 1.0})
        {
            source->Get(0)->GeneralEvaluate(a, Seconds(s));
            rt->GeneralEvaluate(b, Seconds(s));
            EXPECT_NEAR(a[0], b[0], 1e-6);
            source->Get(1)->GeneralEvaluate(a, Seconds(s));
            rr->GeneralEvaluate(b, Seconds(s));
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(a[i], b[i], 1e-4);
        }

        target->Destroy();
        source->Destroy();
        EXPECT_EQ(warp->GetReferenceCount(), 1);
        KFCurve_SetTWSet(nullptr);
        keeper->Destroy(); // the last reference: the warp goes too
    }
}

TEST(KFCurveNodeStorage, FieldsInAnyOrderAndLayerTypeFromNames)
{
    // A hand-made file: the layer fields first, the curve last, the time-warp
    // number at the end.
    KFCurveNode* warp = KFCurveNodeCreate("Warp", KDataTypeTimeWarp);
    KFCurveNode* keeper = KFCurveNodeCreate("Keeper");
    keeper->TimeWarpSet(warp);
    KSet warps(16);
    warps.Add(9, reinterpret_cast<kReference>(warp));
    KFCurve_SetTWSet(&warps);
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
    {
        Image image = WriteFile(form, 6000, [](KQox& f) {
            f.FieldWriteBegin("Channel");
            f.FieldWriteC("R");
            f.FieldWriteBlockBegin();
            f.FieldWriteBegin("LayerType");
            f.FieldWriteI(4);
            f.FieldWriteEnd();
            for (const char* m : {"X", "Y", "Z", "W"})
            {
                f.FieldWriteBegin("Channel");
                f.FieldWriteC(m);
                f.FieldWriteBlockBegin();
                f.FieldWriteBegin("Default");
                f.FieldWriteD(m[0] == 'W' ? 1.0 : 0.5);
                f.FieldWriteEnd();
                f.FieldWriteBlockEnd();
                f.FieldWriteEnd();
            }
            f.FieldWriteBegin("TimeWarpID");
            f.FieldWriteI(9);
            f.FieldWriteEnd();
            f.FieldWriteBlockEnd();
            f.FieldWriteEnd();

            // A channel whose members carry the time warp of their parent.
            f.FieldWriteBegin("Channel");
            f.FieldWriteC("Lcl Translation");
            f.FieldWriteBlockBegin();
            f.FieldWriteBegin("Channel");
            f.FieldWriteC("X");
            f.FieldWriteBlockBegin();
            f.FieldWriteBegin("TimeWarpID");
            f.FieldWriteI(9);
            f.FieldWriteEnd();
            f.FieldWriteBegin("Default");
            f.FieldWriteD(3.0);
            f.FieldWriteEnd();
            f.FieldWriteBlockEnd();
            f.FieldWriteEnd();
            f.FieldWriteBlockEnd();
            f.FieldWriteEnd();
        });
        KFCurveNode* root = KFCurveNodeCreate("Root");
        ReadInto(image, root);
        ASSERT_EQ(root->GetCount(), 2);
        KFCurveNode* r = root->Get(0);
        EXPECT_STREQ(r->GetName(), "R");
        ASSERT_EQ(r->GetCount(), 4);
        EXPECT_EQ(r->GetLayerType(), KFCL_QUAT); // four members keep the type read
        EXPECT_EQ(r->Get(3)->FCurveGet()->GetValue(), 1.0f);
        EXPECT_EQ(r->TimeWarpGet(), warp);
        KFCurveNode* t = root->Get(1);
        EXPECT_EQ(t->GetLayerType(), KFCL_ADD); // from the name
        EXPECT_EQ(t->TimeWarpGet(), warp);
        EXPECT_EQ(t->Get(0)->TimeWarpGet(), nullptr);
        EXPECT_EQ(t->Get(0)->FCurveGet()->GetValue(), 3.0f);
        root->Destroy();
    }
    KFCurve_SetTWSet(nullptr);
    keeper->Destroy();
}

TEST(KFCurveNodeStorage, ChannelMatching)
{
    Image image = WriteFile(KQox::eBINARY, 6000, [](KQox& f) {
        // Matches "Lcl Rotation" through its parenthesised suffix.
        f.FieldWriteBegin("Channel");
        f.FieldWriteC("lcl rotation  (Euler)");
        f.FieldWriteBlockBegin();
        f.FieldWriteBegin("Channel");
        f.FieldWriteC("Y");
        f.FieldWriteBlockBegin();
        f.FieldWriteBegin("Default");
        f.FieldWriteD(12.0);
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        // A curve on a node with children is dropped.
        f.FieldWriteBegin("Default");
        f.FieldWriteD(99.0);
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        // Unknown to the template.
        f.FieldWriteBegin("Channel");
        f.FieldWriteC("Extra");
        f.FieldWriteBlockBegin();
        f.FieldWriteBegin("Default");
        f.FieldWriteD(5.0);
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
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

    // A template with a curve of its own gets no new children.
    KFCurveNode* curved = KFCurveNodeCreate("Curved");
    curved->FCurveSet(KFCurveCreate());
    ReadInto(image, curved, true);
    EXPECT_EQ(curved->GetCount(), 0);
    curved->Destroy();

    // Without template every channel is a new node, which keeps both its
    // curve and its channels.
    KQox f;
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

TEST(KFCurveNodeStorage, DefaultsOnlyAndUserNames)
{
    KFCurveNode* source = MakeTransform();
    AddKey(source->Get(0)->Get(0)->FCurveGet(), 1.0, 3.0f);
    source->Get(0)->Get(0)->FCurveGet()->SetValue(2.0f);
    source->Get(0)->CreateLayerAt(1);
    source->Get(0)->SetTimeWarpName("Mover");
    Image image = WriteFile(KQox::eASCII, 6000, [&](KQox& f) {
        source->Get(0)->QoxStore(&f, true, false, false, "Channel", true, false);
    });
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
    f.FieldReadBlockEnd();
    f.FieldReadEnd();
    f.FieldReadBlockEnd();
    f.FieldReadEnd();

    // Reading the user name back into the node's second name.
    KFCurveNode* target = MakeTransform();
    ReadInto(image, target);
    EXPECT_STREQ(target->Get(0)->GetTimeWarpName(), "Mover");
    EXPECT_EQ(target->Get(0)->LayerGet(), nullptr);
    EXPECT_EQ(target->Get(0)->Get(0)->FCurveGet()->KeyGetCount(), 0);
    target->Destroy();
    source->Destroy();
}

TEST(KFCurveNodeStorage, RetrieveIntoANodeAndOldSections)
{
    KFCurveNode* source = FCurveNodeCreateFromDataType(KDataTypeLclRotation, "Lcl Rotation");
    source->CreateFCurve();
    AddKey(source->Get(2)->FCurveGet(), 0.0, 30.0f);
    for (int version : {6000, 4000})
    {
        Image image = WriteFile(KQox::eBINARY, version, [&](KQox& f) {
            source->QoxStore(&f, false, false, true, "Channel", true, false);
        });
        KQox f;
        ASSERT_TRUE(OpenSection(f, image));
        KFCurveNode* node = FCurveNodeCreateFromDataType(KDataTypeLclRotation, "Other");
        node->CreateFCurve();
        EXPECT_FALSE(node->QoxRetrieve(&f));
        EXPECT_STREQ(node->GetName(), "Lcl Rotation");
        EXPECT_EQ(node->Get(2)->FCurveGet()->KeyGetCount(), 1);
        // Section version 4000: a rotation type named other than "R" loses
        // its layer type.
        EXPECT_EQ(node->GetLayerType(), version == 4000 ? KFCL_NOLAYER : KFCL_EULER_XYZ);
        // Nothing further: true, nothing changed.
        EXPECT_TRUE(node->QoxRetrieve(&f));
        EXPECT_STREQ(node->GetName(), "Lcl Rotation");
        node->Destroy();
    }
    source->Destroy();
}

TEST(KFCurveNodeStorage, DeepNestingDoesNotExhaustTheStack)
{
    const int depth = 20000;
    Image image = WriteFile(KQox::eBINARY, 6000, [&](KQox& f) {
        for (int i = 0; i < depth; ++i)
        {
            f.FieldWriteBegin("Channel");
            f.FieldWriteC("N");
            f.FieldWriteBlockBegin();
        }
        for (int i = 0; i < depth; ++i)
        {
            f.FieldWriteBlockEnd();
            f.FieldWriteEnd();
        }
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

} // namespace
