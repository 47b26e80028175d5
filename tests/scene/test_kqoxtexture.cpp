// Textures: defaults and the property block, mapping and texture-use forms,
// defaults at single and double precision, copy and comparison, and the scene
// entity that takes a texture when a node uses it.

#include <limits>
#include <thread>

#include "media_test_util.h"

using namespace mediatest;

namespace {

typedef KQoxTextureProperties P;

P* Block(KQoxTexture* texture)
{
    return static_cast<P*>(texture->GetPropertyHandler());
}

// Component 3 is left as the caller had it (7).
std::vector<double> Default(KQoxTexture* t, char which)
{
    KQoxVector4 v(7, 7, 7, 7);
    which == 'T' ? t->GetDefaultT(v) : which == 'R' ? t->GetDefaultR(v) : t->GetDefaultS(v);
    return {v[0], v[1], v[2], v[3]};
}

} // namespace

TEST_F(MediaTest, NewTextureDefaultsAndPropertyBlock)
{
    KQoxTexture* t = Texture("Wood");
    EXPECT_STREQ(t->GetName(), "Texture::Wood");
    EXPECT_STREQ(t->GetFileName(), "");
    EXPECT_STREQ(t->GetTypeName().ToChars(), "TextureVideoClip");
    EXPECT_EQ(t->GetMappingType(), KQoxTexture::eUV);
    EXPECT_EQ(Block(t)->CurrentMappingType.Get(), P::eUMT_UV);
    EXPECT_EQ(t->GetBlendMode(), KQoxTexture::eADDITIVE);
    EXPECT_EQ(t->GetTextureUse(), KQoxTexture::eSTANDARD);
    EXPECT_EQ(t->GetMaterialUse(), KQoxTexture::eDEFAULT_MATERIAL);
    EXPECT_EQ(t->GetWrapModeU() + t->GetWrapModeV(), 0);
    EXPECT_EQ(t->GetUVScaling()[0] * t->GetUVScaling()[1], 1.0);
    EXPECT_EQ(t->GetUVTranslation()[0] + t->GetUVTranslation()[1], 0.0);
    EXPECT_EQ(Default(t, 'T'), std::vector<double>({0, 0, 0, 7}));
    EXPECT_EQ(Default(t, 'R'), std::vector<double>({0, 0, 0, 7}));
    EXPECT_EQ(Default(t, 'S'), std::vector<double>({1, 1, 1, 7}));
    EXPECT_EQ(t->GetDefaultAlpha(), 1.0);
    KQoxTakeNode* take = t->GetDefaultTakeNode();
    ASSERT_EQ(t->GetTakeNodeCount(), 1);
    EXPECT_EQ(take->GetTextureScaleZ()->GetValue(), 1.0f);
    EXPECT_EQ(take->GetTextureAlpha()->GetValue(), 1.0f);

    // The block's properties in list order, their type codes and texts.
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
    ASSERT_EQ(PropertyNames(Block(t)), names);
    const int types[15] = {13, 13, 13, 4, 6, 6, 2, 2, 6, 2, 6, 6, 13, 13, 9};
    for (int i = 0; i < 15; ++i)
    {
        EXPECT_EQ(Block(t)->GetProperty(i)->GetPropertyType(), types[i]) << names[i];
        EXPECT_EQ(Block(t)->GetProperty(i)->IsAnimated(), i < 4) << names[i];
    }
    EXPECT_STREQ(Block(t)->TextureTypeUse.GetValueAsString(5), "Bump Map (NormalMap)");
    EXPECT_STREQ(Block(t)->CurrentMappingType.GetValueAsString(1), "Z");
    EXPECT_EQ(Block(t)->CurrentTextureBlendMode.GetValueAsString(4), nullptr);
}

TEST_F(MediaTest, MappingTypeAndTextureUseForms)
{
    // Applied in order: normal (true) or mapping type, then "CurrentMappingType".
    const struct
    {
        bool normal;
        int value, expected;
    } steps[] = {
        {true, 2, P::eUMT_UV},           {false, 1, P::eUMT_PLANAR_Z},  {true, 0, P::eUMT_PLANAR_X},
        {true, 1, P::eUMT_PLANAR_Y},     {false, 2, P::eUMT_SPHERICAL}, {true, 2, P::eUMT_SPHERICAL},
        {false, 3, P::eUMT_CYLINDRICAL}, {false, 4, P::eUMT_BOX},       {false, 5, P::eUMT_FACE},
        {false, 7, P::eUMT_ENVIRONMENT}, {false, 6, P::eUMT_UV},        {false, 0, P::eUMT_NO_MAPPING},
        {false, 42, P::eUMT_NO_MAPPING}, {true, 7, P::eUMT_NO_MAPPING}, {false, 1, P::eUMT_NO_MAPPING},
    };
    KQoxTexture* t = Texture("Map");
    for (const auto& s : steps)
    {
        if (s.normal)
            t->SetPlanarMappingNormal(static_cast<KQoxTexture::EPlanarMappingNormal>(s.value));
        else
            t->SetMappingType(static_cast<KQoxTexture::EMappingType>(s.value));
        EXPECT_EQ(Block(t)->CurrentMappingType.Get(), s.expected) << (s.normal ? "normal " : "type ") << s.value;
    }

    const int uses[][3] = {{0, 0, 0}, {1, 3, 1}, {2, 4, 2}, {3, 1, 3}, {4, 2, 4}, {5, 5, 5}, {6, 0, 0}, {-1, 0, 0}};
    for (const auto& u : uses) // use, "TextureTypeUse", read back
    {
        t->SetTextureUse(static_cast<KQoxTexture::ETextureUse>(u[0]));
        EXPECT_EQ(Block(t)->TextureTypeUse.Get(), u[1]) << u[0];
        EXPECT_EQ(t->GetTextureUse(), u[2]) << u[0];
    }
    t->SetMaterialUse(KQoxTexture::eMODEL_MATERIAL);
    EXPECT_TRUE(Block(t)->UseMaterial.Get());
    EXPECT_EQ(t->GetMaterialUse(), KQoxTexture::eMODEL_MATERIAL);
}

TEST_F(MediaTest, DefaultsAreSinglePrecisionInCurvesAndDoubleInProperties)
{
    KQoxTexture* t = Texture("Precision");
    t->SetDefaultT(KQoxVector4(0.1, -1e30, 3e38, 1));
    EXPECT_EQ(Default(t, 'T'), std::vector<double>({0.1f, -1e30f, 3e38f, 7}));
    KgeTVector stored;
    Block(t)->Translation->GetData(&stored, 0, nullptr, nullptr);
    EXPECT_EQ(stored.x, 0.1);
    EXPECT_EQ(stored.w, 1.0);
    t->SetDefaultAlpha(0.3);
    EXPECT_EQ(t->GetDefaultAlpha(), 0.3);
    EXPECT_EQ(t->GetDefaultTakeNode()->GetTextureAlpha()->GetValue(), 0.3f);

    t->SetTranslation(2.5, -4);
    t->SetRotation(10, 20, 30);
    t->SetScale(0.5, 8);
    t->SetCropping(1, 2, 3, 4); // left, top, right, bottom
    EXPECT_EQ(t->GetCroppingTop() * 10 + t->GetCroppingRight(), 23);
    EXPECT_EQ(Default(t, 'T'), std::vector<double>({2.5, -4, 0, 7}));
    EXPECT_EQ(t->GetScaleV(), 8);
    EXPECT_EQ(t->GetTranslationU(), 2.5);
    EXPECT_EQ(t->GetTranslationV(), -4);
    EXPECT_EQ(t->GetRotationU() * 100 + t->GetRotationV() * 10 + t->GetRotationW(), 1230);
    EXPECT_EQ(t->GetScaleU(), 0.5);
    EXPECT_EQ(Default(t, 'S'), std::vector<double>({0.5, 8, 1, 7}));

    t->CreateTakeNode("Take 001");
    t->Reset();
    EXPECT_EQ(t->GetTakeNodeCount(), 1);
    EXPECT_EQ(Default(t, 'S'), std::vector<double>({1, 1, 1, 7}));
    EXPECT_EQ(t->GetDefaultAlpha(), 1.0);
}

TEST_F(MediaTest, EqualityStripsNamesAndComparesTheListedValues)
{
    const char* names[][2] = {{"Wood 12", "Wood"}, {"Wood \t7 3\n", "Wood"}, {"123 45", ""}, {"", ""}};
    for (auto& n : names)
        EXPECT_STREQ(StripTrailingDigitsAndBlanks(n[0]).ToChars(), n[1]) << n[0];

    KQoxTexture* b = Texture("Brick");
    KQoxTexture* a = Texture("Brick 1");
    // Not compared: blend, wrap, unified mapping, pivots, relative name, and
    // component 2 of the translation and the scaling.
    a->SetBlendMode(KQoxTexture::eMODULATE2);
    a->SetWrapMode(KQoxTexture::eCLAMP, KQoxTexture::eCLAMP);
    Block(a)->CurrentMappingType.Set(P::eUMT_BOX);
    Block(a)->TextureScalingPivot.Set(KgeTVector(5, 5, 5, 1));
    a->SetRelativeFileName("other.tif");
    a->SetDefaultT(KQoxVector4(0, 0, 9, 1));
    a->SetDefaultS(KQoxVector4(1, 1, 9, 1));
    EXPECT_TRUE(*a == *b);

    void (*changes[])(KQoxTexture*) = {
        [](KQoxTexture* t) { t->SetDefaultT(KQoxVector4(0, 0.5, 0, 1)); },
        [](KQoxTexture* t) { t->SetRotation(0, 0, 1); },
        [](KQoxTexture* t) { t->SetScale(2, 1); },
        [](KQoxTexture* t) { t->SetDefaultAlpha(std::numeric_limits<double>::quiet_NaN()); },
        [](KQoxTexture* t) { t->mFlagB = 0; },
        [](KQoxTexture* t) { t->SetCropping(0, 0, 0, 1); },
        [](KQoxTexture* t) { t->SetAlphaSource(KQoxTexture::eBLACK); },
        [](KQoxTexture* t) { t->SetPlanarMappingNormal(KQoxTexture::ePLANAR_NORMAL_Y); },
        [](KQoxTexture* t) { t->SetMaterialUse(KQoxTexture::eMODEL_MATERIAL); },
        [](KQoxTexture* t) { t->SetTextureUse(KQoxTexture::eLIGHT_MAP); },
        [](KQoxTexture* t) { t->SetSwapUV(true); },
        [](KQoxTexture* t) { t->SetMediaName("Video::x"); },
        [](KQoxTexture* t) { t->SetUVTranslation(KQoxVector2(-0.0001, 0)); },
    };
    for (size_t i = 0; i < sizeof changes / sizeof changes[0]; ++i)
    {
        KQoxTexture* changed = Texture("Brick 2");
        changes[i](changed);
        EXPECT_FALSE(*changed == *b) << i;
        EXPECT_FALSE(*b == *changed) << i;
        EXPECT_TRUE(mManager->DestroyKQoxTexture(changed));
    }
    EXPECT_FALSE(*Texture("Brick2a") == *b);
}

TEST_F(MediaTest, AssignmentCopiesEverythingButTheRelativeName)
{
    KQoxTexture* source = Texture("Source");
    EXPECT_TRUE(source->SetFileName("/maps/a.tif"));
    EXPECT_FALSE(source->SetFileName(""));
    EXPECT_FALSE(source->SetFileName(nullptr));
    source->SetRelativeFileName("maps/a.tif");
    source->SetPlanarMappingNormal(KQoxTexture::ePLANAR_NORMAL_Y);
    source->SetMappingType(KQoxTexture::ePLANAR);
    source->SetTextureUse(KQoxTexture::eBUMP_NORMAL_MAP);
    source->SetBlendMode(KQoxTexture::eMODULATE);
    source->SetUVScaling(KQoxVector2(2, 3));
    source->SetTranslation(0.5, 0.25);
    source->SetDefaultAlpha(0.75);
    source->CreateTakeNode("Take 001");

    KQoxTexture* copy = Texture("Copy");
    *copy = *source;
    EXPECT_TRUE(*copy == *source);
    EXPECT_STREQ(copy->GetFileName(), "/maps/a.tif");
    EXPECT_STREQ(copy->GetRelativeFileName(), "");
    EXPECT_EQ(copy->GetTakeNodeCount(), 2);
    EXPECT_EQ(Block(copy)->CurrentMappingType.Get(), P::eUMT_PLANAR_Y);
    EXPECT_EQ(copy->GetBlendMode(), KQoxTexture::eMODULATE);
    // The animated properties follow the copied Default take, and stay apart.
    source->SetDefaultAlpha(0.1);
    EXPECT_EQ(copy->GetDefaultAlpha(), 0.75);
}

TEST_F(MediaTest, TextureJoinsTheEntityOfTheNodeThatUsesIt)
{
    KQoxEntity entity(*mManager);
    KQoxTexture* t = Texture("Wood");
    NodeUsing(entity, t->GetPropertyHandler());
    NodeUsing(entity, t->GetPropertyHandler());
    ASSERT_EQ(entity.GetTextureCount(), 1) << "taken once, by name";
    EXPECT_EQ(entity.GetTexture(0), t);

    // Users that are no nodes, or nodes outside any scene: nothing to take.
    KQoxTexture* other = Texture("Stone");
    KQoxNode* loose = mManager->CreateKQoxNode("Loose");
    EXPECT_TRUE(loose->GetPropertyHandler()->ConnectSrc(other->GetPropertyHandler()));
    EXPECT_TRUE(Block(t)->UseMipMap.ConnectSrc(other->GetPropertyHandler()));
    EXPECT_EQ(entity.GetTextureCount(), 1);
    // Destroying the texture before its users drops their connections.
    EXPECT_TRUE(mManager->DestroyKQoxTexture(other));
    EXPECT_EQ(loose->GetPropertyHandler()->GetSrcCount(), 0);
}

TEST_F(MediaTest, EachTextureAndClipKeepsItsOwnErrors)
{
    // A take that already exists fails on one object only; the others of its
    // class, of this manager or another thread's, record nothing.
    KQoxTexture* failing = Texture("Failing");
    KQoxTexture* other = Texture("Other");
    KQoxVideo* clip = Video("Clip");
    KQoxVideo* otherClip = Video("OtherClip");
    ASSERT_NE(failing->CreateTakeNode("Walk"), nullptr);
    EXPECT_EQ(failing->CreateTakeNode("Walk"), nullptr);
    ASSERT_NE(clip->CreateTakeNode("Walk"), nullptr);
    EXPECT_EQ(clip->CreateTakeNode("Walk"), nullptr);
    EXPECT_EQ(failing->GetLastErrorID(), 0);
    EXPECT_STREQ(failing->GetLastErrorString(), "Take node already exists");
    EXPECT_STREQ(clip->GetLastErrorString(), "Take node already exists");
    EXPECT_EQ(other->GetLastErrorID(), -1);
    EXPECT_EQ(otherClip->GetLastErrorID(), -1);
    EXPECT_STREQ(other->GetLastErrorString(), "");
    // The class's error object is each thread's own.
    KQoxTexture::GetError().SetLastErrorID(0);
    int seen = 0;
    std::thread([&seen] { seen = KQoxTexture::GetError().GetLastErrorID(); }).join();
    EXPECT_EQ(seen, -1);
    EXPECT_EQ(KQoxTexture::GetError().GetLastErrorID(), 0);
    EXPECT_STREQ(KQoxTexture::GetError().GetErrorString(0), "Take node error");
}
