// Video clips: defaults and the property block, the path buffer, the file
// names a clip and its textures exchange, and scene entities.

#include "scene/kqoxuserproperty.h"
#include "media_test_util.h"

using namespace mediatest;

namespace {

KQoxVideoProperties* Block(KQoxVideo* video)
{
    return static_cast<KQoxVideoProperties*>(video->GetPropertyHandler());
}

} // namespace

TEST_F(MediaTest, NewClipDefaultsAndPropertyBlock)
{
    KQoxVideo* v = Video("Clip");
    EXPECT_STREQ(v->GetName(), "Video::Clip");
    EXPECT_EQ(v->GetFileName(), nullptr);
    EXPECT_STREQ(v->GetRelativeFileName(), "");
    EXPECT_TRUE(v->GetOriginalFormat());
    EXPECT_FALSE(v->ImageTextureGetMipMap());
    KStringList flags = v->GetTypeFlags();
    ASSERT_EQ(flags.GetCount(), 1);
    EXPECT_STREQ(flags.GetStringAt(0), "Clip");

    const std::vector<std::string> names = {"FrameRate",   "LastFrame", "Width",     "Height", "Path",
                                            "StartFrame",  "StopFrame", "PlaySpeed", "Offset", "InterlaceMode",
                                            "FreeRunning", "Loop",      "AccessMode"};
    ASSERT_EQ(PropertyNames(Block(v)), names);
    const int types[13] = {4, 1, 1, 1, 5, 1, 1, 4, 7, 6, 2, 2, 6};
    for (int i = 0; i < 13; ++i)
    {
        KProperty* p = Block(v)->GetProperty(i);
        EXPECT_EQ(p->GetPropertyType(), types[i]) << names[i];
        EXPECT_FALSE(p->IsAnimatable()) << names[i];
        EXPECT_TRUE(types[i] == 5 || p->AsDouble() == 0.0) << names[i];
    }
    // The interlacing texts belong to "AccessMode", disk and memory to "InterlaceMode".
    v->SetInterlaceMode(KQoxVideo::eMEMORY);
    v->SetAccessMode(KQoxVideo::eFIELDS);
    EXPECT_STREQ(Block(v)->InterlaceMode.GetValueAsString(v->GetInterlaceMode()), "Memory");
    EXPECT_STREQ(Block(v)->AccessMode.GetValueAsString(v->GetAccessMode()), "Fields");
    EXPECT_STREQ(Block(v)->AccessModeAsString(7), "Full Frame Odd/Even");
    EXPECT_EQ(Block(v)->AccessModeAsString(8), nullptr);

    v->SetOffset(KTime(46186158000LL));
    v->SetStopFrame(2147483647);
    v->ImageTextureSetMipMap(true);
    v->SetOriginalFormat(false);
    v->Reset(); // the flags come back; the property values stay
    EXPECT_FALSE(v->ImageTextureGetMipMap());
    EXPECT_TRUE(v->GetOriginalFormat());
    EXPECT_EQ(v->GetOffset().Get(), 46186158000LL);
    EXPECT_EQ(v->GetStopFrame(), 2147483647);
}

TEST_F(MediaTest, PathBufferIsReusedWhileTheTextFits)
{
    KQoxVideoProperties* block = Block(Video("Clip"));
    char three[] = "abc", two[] = "xy", longer[] = "a much longer path/clip.mov";
    char* buffer = block->PathSet(three);
    EXPECT_EQ(block->PathSet(two), buffer);
    EXPECT_STREQ(block->PathGet(), "xy");
    EXPECT_STREQ(block->PathSet(longer), longer);
    EXPECT_STREQ(block->PathSet(block->PathGet()), longer); // from its own buffer
    EXPECT_EQ(block->PathSet(nullptr), nullptr);
    block->Path.Set(two); // through the property system
    EXPECT_STREQ(block->Path.Get(), "xy");
}

TEST_F(MediaTest, ClipAndTexturesExchangeFileNamesOnce)
{
    KQoxVideo* v = Video("Clip");
    EXPECT_FALSE(v->SetFileName(""));
    EXPECT_FALSE(v->SetFileName(nullptr));
    EXPECT_TRUE(v->SetFileName("/clips/a.mov"));
    EXPECT_TRUE(v->SetRelativeFileName("clips/a.mov"));
    KQoxTexture* named = Texture("Named");
    named->SetFileName("/maps/keep.tif");
    ASSERT_TRUE(Use(named, Video("Empty"))); // a clip without a name leaves it
    EXPECT_STREQ(named->GetFileName(), "/maps/keep.tif");
    EXPECT_STREQ(named->GetMediaName(), "Video::Empty");

    // Connecting hands each texture the clip's names and the clip's name.
    KQoxTexture* t1 = Texture("One");
    KQoxTexture* t2 = Texture("Two");
    ASSERT_TRUE(Use(t1, v));
    ASSERT_TRUE(Use(t2, v));
    EXPECT_EQ(t1->GetVideo(), v);
    EXPECT_STREQ(t2->GetRelativeFileName(), "clips/a.mov");
    EXPECT_STREQ(t2->GetMediaName(), "Video::Clip");
    // Clip to both textures; each passes it back and the clip stops there.
    EXPECT_TRUE(v->SetFileName("/clips/b.mov"));
    EXPECT_TRUE(v->SetFileName("/clips/b.mov"));
    EXPECT_STREQ(t1->GetFileName(), "/clips/b.mov");
    EXPECT_STREQ(t2->GetFileName(), "/clips/b.mov");
    // A texture to the clip and on to the other texture.
    EXPECT_TRUE(t1->SetFileName("/clips/c.mov"));
    EXPECT_STREQ(v->GetFileName(), "/clips/c.mov");
    EXPECT_STREQ(t2->GetFileName(), "/clips/c.mov");
    EXPECT_TRUE(t2->SetRelativeFileName("c.mov"));
    EXPECT_STREQ(t1->GetRelativeFileName(), "c.mov");
    // The clip destroyed first: the textures are left without one.
    EXPECT_TRUE(mManager->DestroyKQoxVideo(v));
    EXPECT_EQ(t1->GetVideo(), nullptr);
    EXPECT_TRUE(t1->SetFileName("/clips/d.mov"));
    EXPECT_STREQ(t2->GetFileName(), "/clips/c.mov");
}

TEST_F(MediaTest, ClipsJoinAndMoveBetweenEntities)
{
    KQoxEntity entity(*mManager), second(*mManager);
    KQoxTexture* t = Texture("Wood");
    NodeUsing(entity, t->GetPropertyHandler());
    KQoxVideo* v = Video("Clip");
    ASSERT_TRUE(Use(t, v)); // through the node that uses the texture
    EXPECT_EQ(entity.GetVideoCount(), 1);
    NodeUsing(entity, Video("Gobo")->GetPropertyHandler()); // used by a node itself
    EXPECT_EQ(entity.GetVideoCount(), 2);
    ASSERT_TRUE(Use(Texture("Loose"), Video("Other"))); // no node, no entity
    EXPECT_EQ(entity.GetVideoCount(), 2);

    // A texture moves its clip's count; a clip of the same name is refused.
    EXPECT_TRUE(t->SetEntity(&second));
    EXPECT_EQ(second.GetVideo(0), v);
    KQoxTexture* other = Texture("Other");
    ASSERT_TRUE(Use(other, mManager->CreateKQoxVideo("Clip")));
    EXPECT_FALSE(other->SetEntity(&second));
    EXPECT_TRUE(t->SetEntity(nullptr));
    EXPECT_EQ(second.GetVideoCount(), 0);
}

TEST_F(MediaTest, AnimatableUserPropertiesOfAClipGetChannels)
{
    KQoxVideo* v = Video("Clip");
    KQoxUserProperty* user = mManager->CreateKQoxUserProperty("Fade", "Real", "Fade");
    user->ModifyFlag(KQoxUserProperty::eANIMATABLE, true);
    v->AddProperty(user);
    ASSERT_NE(v->CreateTakeNode("Take 001"), nullptr);
    v->Reset(); // a fresh Default take built by AddChannels
    v->CreateTakeNode("Take 002");
    for (int take = 0; take < 2; ++take)
        EXPECT_NE(v->GetTakeNode(take)->GetKFCurve("Fade", nullptr, static_cast<const char*>(nullptr)), nullptr);
}
