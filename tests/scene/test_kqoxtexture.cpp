// Textures: defaults, the property block, mapping and texture-use forms,
// defaults at single and double precision, copy and comparison, and the
// scene entity that takes a texture when a node uses it.

#include <cmath>
#include <limits>

#include "fcurve/kfcurve.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxtakenode.h"
#include "media_test_util.h"

using namespace mediatest;

namespace {

typedef KQoxTextureProperties P;

KQoxTextureProperties* Block(KQoxTexture* texture)
{
    return static_cast<KQoxTextureProperties*>(texture->GetPropertyHandler());
}

void ExpectDefault(KQoxTexture* t, int channel, double x, double y, double z)
{
    KQoxVector4 v(7, 7, 7, 7);
    channel == 0 ? t->GetDefaultT(v) : channel == 1 ? t->GetDefaultR(v) : t->GetDefaultS(v);
    EXPECT_EQ(v[0], x);
    EXPECT_EQ(v[1], y);
    EXPECT_EQ(v[2], z);
    EXPECT_EQ(v[3], 7) << "the fourth component is the caller's";
}

} // namespace

TEST_F(MediaTest, NewTextureDefaults)
{
    KQoxTexture* t = Texture("Wood");
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t->GetName(), "Texture::Wood");
    EXPECT_EQ(t->GetNameSpace(), KQoxObject::eTEXTURE);
    EXPECT_STREQ(t->GetFileName(), "");
    EXPECT_STREQ(t->GetRelativeFileName(), "");
    EXPECT_STREQ(t->GetMediaName(), "");
    EXPECT_STREQ(t->GetTypeName().ToChars(), "TextureVideoClip");
    EXPECT_EQ(t->GetTypeFlags().GetCount(), 0);
    EXPECT_EQ(t->GetMappingType(), KQoxTexture::eUV);
    EXPECT_EQ(Block(t)->CurrentMappingType.Get(), P::eUMT_UV);
    EXPECT_EQ(t->GetBlendMode(), KQoxTexture::eADDITIVE);
    EXPECT_EQ(t->GetTextureUse(), KQoxTexture::eSTANDARD);
    EXPECT_EQ(t->GetMaterialUse(), KQoxTexture::eDEFAULT_MATERIAL);
    EXPECT_EQ(t->GetWrapModeU(), KQoxTexture::eREPEAT);
    EXPECT_EQ(t->GetWrapModeV(), KQoxTexture::eREPEAT);
    EXPECT_EQ(t->GetUVScaling()[0], 1.0);
    EXPECT_EQ(t->GetUVScaling()[1], 1.0);
    EXPECT_EQ(t->GetUVTranslation()[0], 0.0);
    EXPECT_EQ(t->GetUVTranslation()[1], 0.0);
    EXPECT_EQ(t->mFlagA, 1);
    EXPECT_EQ(t->mFlagB, 1);
    EXPECT_FALSE(t->GetSwapUV());
    ExpectDefault(t, 0, 0, 0, 0);
    ExpectDefault(t, 1, 0, 0, 0);
    ExpectDefault(t, 2, 1, 1, 1);
    EXPECT_EQ(t->GetDefaultAlpha(), 1.0);
    EXPECT_EQ(KQoxTexture::GetClassID(), KQoxTextureProperties::ClassId);
    EXPECT_TRUE(Block(t)->Is(KQoxPropertyHandler::ClassId));
    EXPECT_TRUE(Block(t)->Is(KObject::ClassId));
    EXPECT_STREQ(Block(t)->GetClassIdName(), "KQoxTextureProperties");
    EXPECT_EQ(Block(t)->GetKQoxTexture(), t);

    // One take, "Default", with the four channels and their colours.
    ASSERT_EQ(t->GetTakeNodeCount(), 1);
    KQoxTakeNode* take = t->GetDefaultTakeNode();
    EXPECT_STREQ(take->GetName(), "Default");
    KFCurve* curves[10] = {take->GetTextureTranslationX(),   take->GetTextureTranslationY(),
                           take->GetTextureTranslationZ(),   take->GetTextureEulerRotationX(),
                           take->GetTextureEulerRotationY(), take->GetTextureEulerRotationZ(),
                           take->GetTextureScaleX(),         take->GetTextureScaleY(),
                           take->GetTextureScaleZ(),         take->GetTextureAlpha()};
    const float values[10] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1};
    for (int i = 0; i < 10; ++i)
    {
        ASSERT_NE(curves[i], nullptr) << i;
        EXPECT_EQ(curves[i]->GetValue(), values[i]) << i;
    }
}

TEST_F(MediaTest, TexturePropertyBlockTable)
{
    KQoxTextureProperties* block = Block(Texture("Wood"));
    const std::vector<std::string> names = {"Translation",
                                            "Rotation",
                                            "Scaling",
                                            "Texture alpha",
                                            "TextureTypeUse",
                                            "CurrentTextureBlendMode",
                                            "UseMaterial",
                                            "UseMipMap",
                                            "CurrentMappingType",
                                            "UVSwap",
                                            "WrapModeU",
                                            "WrapModeV",
                                            "TextureRotationPivot",
                                            "TextureScalingPivot",
                                            "VideoProperty"};
    ASSERT_EQ(PropertyNames(block), names);
    const int types[15] = {13, 13, 13, 4, 6, 6, 2, 2, 6, 2, 6, 6, 13, 13, 9};
    for (int i = 0; i < 15; ++i)
    {
        KProperty* p = block->GetProperty(i);
        EXPECT_EQ(p->GetPropertyType(), types[i]) << names[i];
        EXPECT_EQ(p->IsAnimatable(), i < 4) << names[i];
        EXPECT_EQ(p->IsAnimated(), i < 4) << names[i];
    }
    EXPECT_TRUE(block->VideoProperty.IsPropertyObjectList());

    // Enumeration texts, as the property system reads them.
    struct Text
    {
        KProperty* property;
        int value;
        const char* text;
    };
    const Text texts[] = {
        {&block->TextureTypeUse, 0, "Color"},
        {&block->TextureTypeUse, 5, "Bump Map (NormalMap)"},
        {&block->TextureTypeUse, 6, nullptr},
        {&block->CurrentTextureBlendMode, 3, "Modulate2"},
        {&block->CurrentTextureBlendMode, -1, nullptr},
        {&block->CurrentMappingType, 1, "Z"},
        {&block->CurrentMappingType, 10, "None"},
        {&block->CurrentMappingType, 11, nullptr},
        {&block->WrapModeU, 1, "Clamp"},
        {&block->WrapModeV, 1, "Clamp"},
        {&block->WrapModeV, 2, nullptr},
    };
    for (const Text& t : texts)
        EXPECT_EQ(mediatest::Text(t.property->GetValueAsString(t.value)), mediatest::Text(t.text))
            << t.property->GetPropertyName() << " " << t.value;

    // Pivots read back with a fourth component of 1.
    block->TextureRotationPivot.Set(KgeTVector(1, 2, 3, 9));
    KgeTVector pivot = block->TextureRotationPivot.Get();
    EXPECT_EQ(pivot.x, 1);
    EXPECT_EQ(pivot.z, 3);
    EXPECT_EQ(pivot.w, 1);
}

TEST_F(MediaTest, MappingTypeAndItsPropertyForm)
{
    // Steps applied in order, each followed by the expected property value.
    struct Step
    {
        bool isNormal; // false: SetMappingType
        int value;
        int expected;
    };
    const Step steps[] = {
        {true, KQoxTexture::ePLANAR_NORMAL_Z, P::eUMT_UV}, // not planar: only stored
        {false, KQoxTexture::ePLANAR, P::eUMT_PLANAR_Z},   // 1 "Z"
        {true, KQoxTexture::ePLANAR_NORMAL_X, P::eUMT_PLANAR_X},
        {true, KQoxTexture::ePLANAR_NORMAL_Y, P::eUMT_PLANAR_Y},
        {false, KQoxTexture::eSPHERICAL, P::eUMT_SPHERICAL},
        {true, KQoxTexture::ePLANAR_NORMAL_Z, P::eUMT_SPHERICAL}, // no change while spherical
        {false, KQoxTexture::eCYLINDRICAL, P::eUMT_CYLINDRICAL},
        {false, KQoxTexture::eBOX, P::eUMT_BOX},
        {false, KQoxTexture::eFACE, P::eUMT_FACE},
        {false, KQoxTexture::eENVIRONMENT, P::eUMT_ENVIRONMENT},
        {false, KQoxTexture::eUV, P::eUMT_UV},
        {false, KQoxTexture::eNULL, P::eUMT_NO_MAPPING},
        {false, 42, P::eUMT_NO_MAPPING},
        {true, 7, P::eUMT_NO_MAPPING},                     // unknown normal
        {false, KQoxTexture::ePLANAR, P::eUMT_NO_MAPPING}, // planar with an unknown normal: unchanged
    };
    KQoxTexture* t = Texture("Map");
    for (const Step& s : steps)
    {
        if (s.isNormal)
            t->SetPlanarMappingNormal(static_cast<KQoxTexture::EPlanarMappingNormal>(s.value));
        else
            t->SetMappingType(static_cast<KQoxTexture::EMappingType>(s.value));
        EXPECT_EQ(Block(t)->CurrentMappingType.Get(), s.expected) << (s.isNormal ? "normal " : "type ") << s.value;
    }
    EXPECT_EQ(t->GetMappingType(), KQoxTexture::ePLANAR);
    EXPECT_EQ(t->GetPlanarMappingNormal(), 7);
}

TEST_F(MediaTest, TextureUseAndMaterialUse)
{
    struct Case
    {
        int use;
        int stored;   // "TextureTypeUse"
        int readBack; // GetTextureUse
    };
    const Case cases[] = {{0, 0, 0}, {1, 3, 1}, {2, 4, 2}, {3, 1, 3}, {4, 2, 4}, {5, 5, 5}, {6, 0, 0}, {-1, 0, 0}};
    KQoxTexture* t = Texture("Use");
    for (const Case& c : cases)
    {
        t->SetTextureUse(static_cast<KQoxTexture::ETextureUse>(c.use));
        EXPECT_EQ(Block(t)->TextureTypeUse.Get(), c.stored) << c.use;
        EXPECT_EQ(t->GetTextureUse(), c.readBack) << c.use;
    }
    t->SetTextureUse(KQoxTexture::eSPHERICAL_REFLEXION_MAP);
    EXPECT_STREQ(Block(t)->TextureTypeUse.GetValueAsString(Block(t)->TextureTypeUse.Get()), "Spherical Reflection Map");

    t->SetMaterialUse(KQoxTexture::eMODEL_MATERIAL);
    EXPECT_TRUE(Block(t)->UseMaterial.Get());
    EXPECT_EQ(t->GetMaterialUse(), KQoxTexture::eMODEL_MATERIAL);
    t->SetMaterialUse(KQoxTexture::eDEFAULT_MATERIAL);
    EXPECT_FALSE(Block(t)->UseMaterial.Get());
}

TEST_F(MediaTest, DefaultsAreSinglePrecisionInCurvesAndDoubleInProperties)
{
    KQoxTexture* t = Texture("Precision");
    t->SetDefaultT(KQoxVector4(0.1, -1e30, 3e38, 1));
    ExpectDefault(t, 0, double(0.1f), double(-1e30f), double(3e38f));
    KgeTVector stored;
    Block(t)->Translation->GetData(&stored, 0, nullptr, nullptr);
    EXPECT_EQ(stored.x, 0.1);
    EXPECT_EQ(stored.y, -1e30);
    EXPECT_EQ(stored.w, 1.0);

    t->SetDefaultAlpha(0.3);
    EXPECT_EQ(t->GetDefaultAlpha(), 0.3);
    EXPECT_EQ(t->GetDefaultTakeNode()->GetTextureAlpha()->GetValue(), 0.3f);

    // Shorthands: U, V (and W) are components 0, 1 (and 2).
    t->SetTranslation(2.5, -4);
    t->SetRotation(10, 20, 30);
    t->SetScale(0.5, 8);
    EXPECT_EQ(t->GetTranslationU(), 2.5);
    EXPECT_EQ(t->GetTranslationV(), -4);
    ExpectDefault(t, 0, 2.5, -4, 0);
    EXPECT_EQ(t->GetRotationU(), 10);
    EXPECT_EQ(t->GetRotationV(), 20);
    EXPECT_EQ(t->GetRotationW(), 30);
    EXPECT_EQ(t->GetScaleU(), 0.5);
    EXPECT_EQ(t->GetScaleV(), 8);
    ExpectDefault(t, 2, 0.5, 8, 1);

    // Reset brings every default back.
    t->SetCropping(1, 2, 3, 4);
    t->SetBlendMode(KQoxTexture::eMODULATE);
    t->CreateTakeNode("Take 001");
    t->Reset();
    EXPECT_EQ(t->GetTakeNodeCount(), 1);
    ExpectDefault(t, 0, 0, 0, 0);
    ExpectDefault(t, 2, 1, 1, 1);
    EXPECT_EQ(t->GetDefaultAlpha(), 1.0);
    EXPECT_EQ(t->GetCroppingRight(), 0);
    EXPECT_EQ(t->GetBlendMode(), KQoxTexture::eADDITIVE);
}

TEST_F(MediaTest, FileNamesAndCropping)
{
    KQoxTexture* t = Texture("Files");
    EXPECT_TRUE(t->SetFileName("/maps/wood.tif"));
    EXPECT_FALSE(t->SetFileName(""));
    EXPECT_FALSE(t->SetFileName(nullptr));
    EXPECT_STREQ(t->GetFileName(), "/maps/wood.tif");
    EXPECT_FALSE(t->SetRelativeFileName(""));
    EXPECT_TRUE(t->SetRelativeFileName("maps/wood.tif"));
    EXPECT_STREQ(t->GetRelativeFileName(), "maps/wood.tif");
    t->SetMediaName(nullptr);
    EXPECT_STREQ(t->GetMediaName(), "");
    EXPECT_EQ(t->GetVideo(), nullptr);

    t->SetCropping(1, 2, 3, 4); // left, top, right, bottom
    EXPECT_EQ(t->GetCroppingLeft(), 1);
    EXPECT_EQ(t->GetCroppingTop(), 2);
    EXPECT_EQ(t->GetCroppingRight(), 3);
    EXPECT_EQ(t->GetCroppingBottom(), 4);
}

TEST(TextureNames, StripTrailingDigitsAndBlanks)
{
    const char* cases[][2] = {
        {"Texture::Wood 12", "Texture::Wood"},
        {"Texture::Wood2a", "Texture::Wood2a"},
        {"Wood \t 7 3\n", "Wood"},
        {"123 45", ""},
        {"", ""},
        {"Brick", "Brick"},
    };
    for (auto& c : cases)
        EXPECT_STREQ(StripTrailingDigitsAndBlanks(c[0]).ToChars(), c[1]) << c[0];
    EXPECT_STREQ(StripTrailingDigitsAndBlanks(nullptr).ToChars(), "");
}

TEST_F(MediaTest, EqualityStripsNamesAndIgnoresWhatItShould)
{
    KQoxTexture* a = Texture("Brick 1");
    KQoxTexture* b = Texture("Brick");
    EXPECT_TRUE(*a == *b);
    // Not compared: blend, wrap, mip-map, unified mapping, pivots, relative
    // name, component 2 of the translation and of the scaling.
    a->SetBlendMode(KQoxTexture::eMODULATE2);
    a->SetWrapMode(KQoxTexture::eCLAMP, KQoxTexture::eCLAMP);
    Block(a)->UseMipMap.Set(true);
    Block(a)->CurrentMappingType.Set(P::eUMT_BOX);
    Block(a)->TextureScalingPivot.Set(KgeTVector(5, 5, 5, 1));
    a->SetRelativeFileName("other.tif");
    a->SetDefaultT(KQoxVector4(0, 0, 9, 1));
    a->SetDefaultS(KQoxVector4(1, 1, 9, 1));
    EXPECT_TRUE(*a == *b);

    // Each of these alone makes them differ.
    struct Change
    {
        const char* what;
        void (*apply)(KQoxTexture*);
    };
    const Change changes[] = {
        {"translation V", [](KQoxTexture* t) { t->SetDefaultT(KQoxVector4(0, 0.5, 0, 1)); }},
        {"rotation W", [](KQoxTexture* t) { t->SetRotation(0, 0, 1); }},
        {"scale U", [](KQoxTexture* t) { t->SetScale(2, 1); }},
        {"alpha", [](KQoxTexture* t) { t->SetDefaultAlpha(0.5); }},
        {"NaN alpha", [](KQoxTexture* t) { t->SetDefaultAlpha(std::numeric_limits<double>::quiet_NaN()); }},
        {"flag", [](KQoxTexture* t) { t->mFlagB = 0; }},
        {"cropping", [](KQoxTexture* t) { t->SetCropping(0, 0, 0, 1); }},
        {"alpha source", [](KQoxTexture* t) { t->SetAlphaSource(KQoxTexture::eBLACK); }},
        {"mapping", [](KQoxTexture* t) { t->SetMappingType(KQoxTexture::eBOX); }},
        {"normal", [](KQoxTexture* t) { t->SetPlanarMappingNormal(KQoxTexture::ePLANAR_NORMAL_Y); }},
        {"material use", [](KQoxTexture* t) { t->SetMaterialUse(KQoxTexture::eMODEL_MATERIAL); }},
        {"texture use", [](KQoxTexture* t) { t->SetTextureUse(KQoxTexture::eLIGHT_MAP); }},
        {"swap", [](KQoxTexture* t) { t->SetSwapUV(true); }},
        {"file", [](KQoxTexture* t) { t->SetFileName("x.tif"); }},
        {"media", [](KQoxTexture* t) { t->SetMediaName("Video::x"); }},
        {"UV scaling", [](KQoxTexture* t) { t->SetUVScaling(KQoxVector2(1, 2)); }},
        {"UV translation", [](KQoxTexture* t) { t->SetUVTranslation(KQoxVector2(-0.0001, 0)); }},
    };
    for (const Change& c : changes)
    {
        KQoxTexture* changed = Texture("Brick 2");
        c.apply(changed);
        EXPECT_FALSE(*changed == *b) << c.what;
        EXPECT_FALSE(*b == *changed) << c.what;
        EXPECT_TRUE(mManager->DestroyKQoxTexture(changed));
    }
    KQoxTexture* other = Texture("Brick2a");
    EXPECT_FALSE(*other == *b);
}

TEST_F(MediaTest, AssignmentCopiesEverythingButTheRelativeName)
{
    KQoxTexture* source = Texture("Source");
    source->SetFileName("/maps/a.tif");
    source->SetRelativeFileName("maps/a.tif");
    source->SetMediaName("Video::A");
    source->SetSwapUV(true);
    source->SetAlphaSource(KQoxTexture::eRGB_INTENSITY);
    source->SetCropping(1, 2, 3, 4);
    source->SetPlanarMappingNormal(KQoxTexture::ePLANAR_NORMAL_Y);
    source->SetMappingType(KQoxTexture::ePLANAR);
    source->SetMaterialUse(KQoxTexture::eMODEL_MATERIAL);
    source->SetTextureUse(KQoxTexture::eBUMP_NORMAL_MAP);
    source->SetBlendMode(KQoxTexture::eMODULATE);
    source->SetWrapMode(KQoxTexture::eCLAMP, KQoxTexture::eREPEAT);
    source->SetUVScaling(KQoxVector2(2, 3));
    source->SetUVTranslation(KQoxVector2(0.25, 0.5));
    source->SetTranslation(0.5, 0.25);
    source->SetRotation(1, 2, 3);
    source->SetDefaultAlpha(0.75);
    source->mFlagA = 5;
    source->CreateTakeNode("Take 001");

    KQoxTexture* copy = Texture("Copy");
    *copy = *source;
    EXPECT_TRUE(*copy == *source);
    EXPECT_STREQ(copy->GetRelativeFileName(), "");
    EXPECT_EQ(copy->GetTakeNodeCount(), 2);
    EXPECT_EQ(Block(copy)->CurrentMappingType.Get(), P::eUMT_PLANAR_Y);
    EXPECT_EQ(copy->GetBlendMode(), KQoxTexture::eMODULATE);
    EXPECT_EQ(copy->GetWrapModeU(), KQoxTexture::eCLAMP);
    // The animated properties follow the copied Default take.
    EXPECT_EQ(copy->GetDefaultAlpha(), 0.75);
    KgeTVector t;
    Block(copy)->Translation->GetData(&t, 0, nullptr, nullptr);
    EXPECT_EQ(t.x, 0.5);
    // The copy is independent.
    source->SetDefaultAlpha(0.1);
    EXPECT_EQ(copy->GetDefaultAlpha(), 0.75);
}

TEST_F(MediaTest, TextureJoinsTheEntityOfTheNodeThatUsesIt)
{
    KQoxEntity entity(*mManager);
    KQoxNode* node = mManager->CreateKQoxNode("Box");
    ASSERT_TRUE(entity.GetRootNode()->AddChild(node));
    KQoxNode* second = mManager->CreateKQoxNode("Sphere");
    ASSERT_TRUE(entity.GetRootNode()->AddChild(second));
    KQoxTexture* t = Texture("Wood");

    ASSERT_TRUE(node->GetPropertyHandler()->ConnectSrc(t->GetPropertyHandler()));
    EXPECT_EQ(entity.GetTextureCount(), 1);
    EXPECT_EQ(entity.GetTexture(0), t);
    ASSERT_TRUE(second->GetPropertyHandler()->ConnectSrc(t->GetPropertyHandler()));
    EXPECT_EQ(entity.GetTextureCount(), 1) << "held once by name";

    // Other users are not nodes, or nodes outside any scene: nothing to take.
    KQoxNode* loose = mManager->CreateKQoxNode("Loose");
    KQoxTexture* other = Texture("Stone");
    EXPECT_TRUE(loose->GetPropertyHandler()->ConnectSrc(other->GetPropertyHandler()));
    KQoxTexture* user = Texture("User");
    EXPECT_TRUE(user->GetPropertyHandler()->ConnectSrc(other->GetPropertyHandler()));
    KProperty* plain = &Block(user)->UseMipMap;
    EXPECT_TRUE(plain->ConnectSrc(other->GetPropertyHandler()));
    EXPECT_EQ(entity.GetTextureCount(), 1);

    // Destroying the texture before its users drops their connections.
    EXPECT_TRUE(mManager->DestroyKQoxTexture(other));
    EXPECT_EQ(loose->GetPropertyHandler()->GetSrcCount(), 0);
}
