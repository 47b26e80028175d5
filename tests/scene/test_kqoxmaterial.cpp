// Materials: defaults, clamping, the shininess scale, equality, copies, the
// channels of new takes and the property block.

#include "geometry_test_util.h"

#include <cmath>
#include <limits>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "scene/kqoxtakenode.h"

namespace geometrytest {
namespace {

KFCurve* Curve(KQoxMaterial* pMaterial, const char* pChannel, const char* pMember = nullptr)
{
    KFCurveNode* node = pMaterial->GetDefaultTakeNode()->GetKFCurveNode()->FindRecursive(pChannel);
    if (node && pMember)
        node = node->Get(node->Find(pMember));
    return node ? node->FCurveGet() : nullptr;
}

TEST_F(GeometryTest, MaterialDefaults)
{
    KQoxMaterial* material = mManager->CreateKQoxMaterial("Paint");
    EXPECT_STREQ(material->GetName(), "Material::Paint");
    EXPECT_STREQ(material->GetShadingModel(), "phong");
    EXPECT_FALSE(material->GetMultiLayer());
    EXPECT_EQ(material->GetDefaultOpacity(), 1.0);
    EXPECT_EQ(material->GetDefaultReflectivity(), static_cast<double>(0.3f));
    EXPECT_EQ(material->GetDefaultShininess(), static_cast<double>(6.4f) / 128.0);
    struct
    {
        KQoxColor mColor;
        double mValue;
    } colors[] = {{material->GetAmbient(), 0.2},
                  {material->GetDiffuse(), 0.8},
                  {material->GetSpecular(), 0.2},
                  {material->GetEmissive(), 0.0}};
    for (const auto& row : colors)
    {
        EXPECT_EQ(row.mColor.mRed, static_cast<double>(static_cast<float>(row.mValue)));
        EXPECT_EQ(row.mColor.mBlue, static_cast<double>(static_cast<float>(row.mValue)));
        EXPECT_EQ(row.mColor.mAlpha, 1.0);
    }
    // Seven channels in the Default take, in order.
    KFCurveNode* root = material->GetDefaultTakeNode()->GetKFCurveNode();
    const char* names[] = {"Emissive", "Ambient", "Diffuse", "Specular", "Opacity", "Reflectivity", "Shininess"};
    ASSERT_EQ(root->GetCount(), 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_STREQ(root->Get(i)->GetName(), names[i]);
    EXPECT_EQ(material->GetTypeName().GetLen(), 0u);
    EXPECT_STREQ(material->GetLastErrorString(), "");
}

TEST_F(GeometryTest, MaterialClampingAndShininessScale)
{
    KQoxMaterial* material = mManager->CreateKQoxMaterial("Paint");
    struct
    {
        double mSet;
        float mStored;
        double mRead;
    } shininess[] = {{0.5, 64.0f, 0.5},
                     {3.0, 128.0f, 1.0},
                     {-1.0, 0.0f, 0.0},
                     {std::numeric_limits<double>::max(), 128.0f, 1.0},
                     {-std::numeric_limits<double>::max(), 0.0f, 0.0},
                     {std::numeric_limits<double>::denorm_min(), 0.0f, 0.0}};
    for (const auto& row : shininess)
    {
        material->SetDefaultShininess(row.mSet);
        EXPECT_EQ(Curve(material, "Shininess")->GetValue(), row.mStored) << row.mSet;
        EXPECT_EQ(material->GetDefaultShininess(), row.mRead) << row.mSet;
    }
    // Stored values outside 0..128 read back clamped; opacity is clamped on
    // writing only.
    Curve(material, "Shininess")->SetValue(500.0f);
    EXPECT_EQ(material->GetShininess(), 1.0);
    Curve(material, "Shininess")->SetValue(-5.0f);
    EXPECT_EQ(material->GetShininess(), 0.0);
    material->SetDefaultOpacity(1.5);
    EXPECT_EQ(material->GetOpacity(), 1.0);
    material->SetOpacity(-0.5);
    EXPECT_EQ(material->GetOpacity(), 0.0);
    Curve(material, "Opacity")->SetValue(2.0f);
    EXPECT_EQ(material->GetDefaultOpacity(), 2.0);
    material->SetReflectivity(7.0);
    EXPECT_EQ(material->GetReflectivity(), 1.0);

    // Colours: alpha is never stored; getters give alpha 1.
    material->SetDefaultDiffuseColor(KQoxColor(0.1, 0.2, 0.3, 0.3));
    KQoxColor out(0.5, 0.5, 0.5, 0.25);
    material->GetDefaultDiffuseColor(out);
    EXPECT_EQ(out.mGreen, static_cast<double>(0.2f));
    EXPECT_EQ(out.mAlpha, 0.25);
    EXPECT_EQ(material->GetDiffuse().mAlpha, 1.0);
    // The Default take's curves and the properties stay equal.
    material->SetSpecular(KQoxColor(0.5, 0.25, 0.125, 1.0));
    auto* block = static_cast<KQoxMaterialProperties*>(material->GetPropertyHandler());
    EXPECT_EQ(block->Specular.Get().g, 0.25);
    EXPECT_EQ(block->Shininess.Get(), -5.0);
}

TEST_F(GeometryTest, MaterialEquality)
{
    KQoxMaterial* a = mManager->CreateKQoxMaterial("Paint");
    KQoxMaterial* b = mManager->CreateKQoxMaterial("Paint");
    EXPECT_TRUE(*a == *b);
    b->SetShadingModel("PHONG");
    b->SetMultiLayer(true);
    EXPECT_TRUE(*a == *b); // shading model without case, flag not compared
    KQoxMaterial* upper = mManager->CreateKQoxMaterial("PAINT");
    EXPECT_FALSE(*a == *upper);

    struct
    {
        const char* mName;
        void (*mChange)(KQoxMaterial*);
    } rows[] = {
        {"ambient", [](KQoxMaterial* m) { m->SetAmbient(KQoxColor(0.2, 0.2, 0.21, 1.0)); }},
        {"emissive", [](KQoxMaterial* m) { m->SetEmissive(KQoxColor(0.0, 0.0, 0.001, 1.0)); }},
        {"opacity", [](KQoxMaterial* m) { m->SetOpacity(0.5); }},
        {"shininess", [](KQoxMaterial* m) { m->SetShininess(0.9); }},
        {"reflectivity NaN", [](KQoxMaterial* m) { Curve(m, "Reflectivity")->SetValue(NAN); }},
        {"shading model", [](KQoxMaterial* m) { m->SetShadingModel("lambert"); }},
    };
    for (const auto& row : rows)
    {
        KQoxMaterial* changed = mManager->CreateKQoxMaterial("Paint");
        row.mChange(changed);
        EXPECT_FALSE(*a == *changed) << row.mName;
        EXPECT_TRUE(*a != *changed) << row.mName;
    }
    // Alpha differences do not count.
    KQoxMaterial* alpha = mManager->CreateKQoxMaterial("Paint");
    alpha->SetDiffuse(KQoxColor(0.8, 0.8, 0.8, 0.0));
    EXPECT_TRUE(*a == *alpha);
}

TEST_F(GeometryTest, MaterialCopyTakesAndReset)
{
    KQoxMaterial* source = mManager->CreateKQoxMaterial("Source");
    source->CreateTakeNode("Take 001");
    source->SetShadingModel("lambert");
    source->SetDefaultOpacity(0.25);
    KQoxMaterial* target = mManager->CreateKQoxMaterial("Target");
    target->SetMultiLayer(true);
    *target = *source;
    EXPECT_STREQ(target->GetShadingModel(), "lambert");
    EXPECT_TRUE(target->GetMultiLayer());
    EXPECT_EQ(target->GetTakeNodeCount(), 2);
    EXPECT_EQ(target->GetDefaultOpacity(), 0.25);
    // The copy's Default take drives the copy's own properties.
    target->SetDefaultReflectivity(0.75);
    auto* targetBlock = static_cast<KQoxMaterialProperties*>(target->GetPropertyHandler());
    auto* sourceBlock = static_cast<KQoxMaterialProperties*>(source->GetPropertyHandler());
    EXPECT_EQ(targetBlock->Reflectivity.Get(), 0.75);
    EXPECT_EQ(sourceBlock->Reflectivity.Get(), 0.3);

    // A new take starts from the Default take's values.
    KQoxTakeNode* take = target->CreateTakeNode("Take 002");
    ASSERT_NE(take, nullptr);
    EXPECT_EQ(take->GetKFCurveNode()->FindRecursive("Reflectivity")->FCurveGet()->GetValue(), 0.75f);

    // Reset rebuilds the Default take from the current property values.
    target->Reset();
    EXPECT_EQ(target->GetTakeNodeCount(), 1);
    EXPECT_EQ(target->GetDefaultReflectivity(), 0.75);
    EXPECT_STREQ(target->GetShadingModel(), "phong");
    EXPECT_FALSE(target->GetMultiLayer());
    EXPECT_TRUE(mManager->DestroyKQoxMaterial(source));
    EXPECT_FALSE(mManager->DestroyKQoxMaterial(source));
    // The assignment took the source's name with its takes.
    EXPECT_STREQ(target->GetName(), "Material::Source");
    EXPECT_EQ(mManager->FindKQoxMaterial("Source"), target);
}

// A node of the scene that uses a material's block brings the material into
// the scene's entity, once; a node outside the scene or a user that is no
// node brings nothing.
TEST_F(GeometryTest, MaterialJoinsTheEntityOfTheNodeThatUsesIt)
{
    const int before = Entity().GetMaterialCount();
    KQoxMaterial* paint = mManager->CreateKQoxMaterial("Paint");
    for (const char* name : {"First", "Second"})
        EXPECT_TRUE(NodeWith(name, nullptr)->GetPropertyHandler()->ConnectSrc(paint->GetPropertyHandler()));
    ASSERT_EQ(Entity().GetMaterialCount(), before + 1);
    EXPECT_EQ(Entity().GetMaterial(before), paint);

    KQoxMaterial* other = mManager->CreateKQoxMaterial("Other");
    KQoxNode* loose = mManager->CreateKQoxNode("Loose");
    EXPECT_TRUE(loose->GetPropertyHandler()->ConnectSrc(other->GetPropertyHandler()));
    KQoxTexture* texture = mManager->CreateKQoxTexture("Map");
    EXPECT_TRUE(texture->GetPropertyHandler()->ConnectSrc(other->GetPropertyHandler()));
    EXPECT_EQ(Entity().GetMaterialCount(), before + 1);
}

TEST(MaterialClassTest, PropertyBlockIdentity)
{
    EXPECT_EQ(KQoxMaterial::GetClassID(), KQoxMaterialProperties::ClassId);
    // Destroy deletes the block itself.
    KQoxMaterialProperties& block = *new KQoxMaterialProperties(nullptr);
    EXPECT_TRUE(block.Is(KQoxPropertyHandler::ClassId));
    EXPECT_FALSE(block.Is(KQoxTextureProperties::ClassId));
    EXPECT_STREQ(block.GetClassIdName(), "KQoxMaterialProperties");
    ASSERT_EQ(block.GetPropertyCount(), 7);
    EXPECT_STREQ(block.GetProperty(6)->GetPropertyName(), "Shininess");
    EXPECT_EQ(block.GetProperty(0)->GetPropertyType(), kPropertyTypeColorRGB);
    EXPECT_EQ(block.GetProperty(4)->GetPropertyType(), kPropertyTypeDouble);
    EXPECT_EQ(block.Ambient.Get().r, 0.2);
    block.Destroy(0);
}

} // namespace
} // namespace geometrytest
