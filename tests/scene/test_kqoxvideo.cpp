// Video clips: defaults, the property block, the path buffer, and the file
// names a clip and its textures exchange.

#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxuserproperty.h"
#include "media_test_util.h"

using namespace mediatest;

namespace {

KQoxVideoProperties* Block(KQoxVideo* video)
{
    return static_cast<KQoxVideoProperties*>(video->GetPropertyHandler());
}

} // namespace

TEST_F(MediaTest, NewClipDefaultsAndPropertyTable)
{
    KQoxVideo* v = Video("Clip");
    ASSERT_NE(v, nullptr);
    EXPECT_STREQ(v->GetName(), "Video::Clip");
    EXPECT_EQ(v->GetNameSpace(), KQoxObject::eVIDEO);
    EXPECT_EQ(v->GetFileName(), nullptr);
    EXPECT_STREQ(v->GetRelativeFileName(), "");
    EXPECT_TRUE(v->GetOriginalFormat());
    EXPECT_FALSE(v->ImageTextureGetMipMap());
    EXPECT_STREQ(v->GetOriginalFilename(), "");
    EXPECT_STREQ(v->GetTypeName().ToChars(), "Clip");
    KStringList flags = v->GetTypeFlags();
    ASSERT_EQ(flags.GetCount(), 1);
    EXPECT_STREQ(flags.GetStringAt(0), "Clip");
    EXPECT_EQ(v->GetTakeNodeCount(), 1);
    EXPECT_EQ(KQoxVideo::GetClassID(), KQoxVideoProperties::ClassId);

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
        if (types[i] != 5)
        {
            EXPECT_EQ(p->AsDouble(), 0.0) << names[i];
        }
    }
    EXPECT_EQ(v->GetFrameRate(), 0.0);
    EXPECT_EQ(v->GetLastFrame(), 0);
    EXPECT_EQ(v->GetWidth(), 0);
    EXPECT_EQ(v->GetHeight(), 0);
    EXPECT_EQ(v->GetStartFrame(), 0);
    EXPECT_EQ(v->GetStopFrame(), 0);
    EXPECT_EQ(v->GetPlaySpeed(), 0.0);
    EXPECT_EQ(v->GetOffset().Get(), 0);
    EXPECT_EQ(v->GetInterlaceMode(), KQoxVideo::eDISK);
    EXPECT_EQ(v->GetAccessMode(), KQoxVideo::eNONE);
    EXPECT_FALSE(v->GetFreeRunning());
    EXPECT_FALSE(v->GetLoop());
}

TEST_F(MediaTest, ClipAccessorsGoThroughTheBlock)
{
    KQoxVideo* v = Video("Clip");
    v->SetStartFrame(-5);
    v->SetStopFrame(2147483647);
    v->SetPlaySpeed(-0.5);
    v->SetOffset(KTime(46186158000LL));
    v->SetFreeRunning(true);
    v->SetLoop(true);
    v->SetInterlaceMode(KQoxVideo::eMEMORY);
    v->SetAccessMode(KQoxVideo::eFIELDS);
    Block(v)->FrameRate.Set(29.97);
    Block(v)->Width.Set(640);
    EXPECT_EQ(v->GetStartFrame(), -5);
    EXPECT_EQ(v->GetStopFrame(), 2147483647);
    EXPECT_EQ(v->GetPlaySpeed(), -0.5);
    EXPECT_EQ(v->GetOffset().Get(), 46186158000LL);
    EXPECT_TRUE(v->GetFreeRunning());
    EXPECT_TRUE(v->GetLoop());
    EXPECT_EQ(v->GetFrameRate(), 29.97);
    EXPECT_EQ(v->GetWidth(), 640);
    // The enumeration texts belong as listed: disk/memory to the interlace
    // mode, the frame access texts to the access mode.
    EXPECT_STREQ(Block(v)->InterlaceMode.GetValueAsString(v->GetInterlaceMode()), "Memory");
    EXPECT_STREQ(Block(v)->AccessMode.GetValueAsString(v->GetAccessMode()), "Fields");
    const char* access[8] = {"None",
                             "Fields",
                             "Half Frame Even",
                             "Half Frame Odd",
                             "Full Frame Even",
                             "Full Frame Odd",
                             "Full Frame Even/Odd",
                             "Full Frame Odd/Even"};
    for (int i = 0; i < 8; ++i)
        EXPECT_STREQ(Block(v)->AccessModeAsString(i), access[i]);
    EXPECT_EQ(Block(v)->AccessModeAsString(8), nullptr);
    EXPECT_STREQ(Block(v)->InterlaceModeAsString(2), "Disk Async");
    EXPECT_EQ(Block(v)->InterlaceModeAsString(-1), nullptr);

    v->ImageTextureSetMipMap(true);
    v->SetOriginalFormat(false);
    v->SetOriginalFilename("/src/clip.avi");
    v->Reset();
    EXPECT_FALSE(v->ImageTextureGetMipMap());
    EXPECT_TRUE(v->GetOriginalFormat());
    EXPECT_STREQ(v->GetOriginalFilename(), "");
    EXPECT_EQ(v->GetStartFrame(), -5) << "Init leaves the property values";
}

TEST_F(MediaTest, PathBufferIsReusedWhileTheTextFits)
{
    KQoxVideoProperties* block = Block(Video("Clip"));
    char three[] = "abc";
    char* buffer = block->PathSet(three);
    EXPECT_STREQ(buffer, "abc");
    char two[] = "xy";
    EXPECT_EQ(block->PathSet(two), buffer);
    EXPECT_STREQ(block->PathGet(), "xy");
    char longer[] = "a much longer path/clip.mov";
    char* grown = block->PathSet(longer);
    EXPECT_STREQ(grown, longer);
    EXPECT_STREQ(block->PathGet(), longer);
    // Setting the path from its own buffer keeps it.
    EXPECT_STREQ(block->PathSet(block->PathGet()), longer);
    EXPECT_EQ(block->PathSet(nullptr), nullptr);
    EXPECT_EQ(block->PathGet(), nullptr);
    // Through the property system.
    char viaProperty[] = "/clips/a.mov";
    block->Path.Set(viaProperty);
    EXPECT_STREQ(block->Path.Get(), "/clips/a.mov");
}

TEST_F(MediaTest, ClipAndTexturesExchangeFileNamesOnce)
{
    KQoxVideo* v = Video("Clip");
    EXPECT_FALSE(v->SetFileName(""));
    EXPECT_FALSE(v->SetFileName(nullptr));
    EXPECT_TRUE(v->SetFileName("/clips/a.mov"));
    EXPECT_TRUE(v->SetRelativeFileName("clips/a.mov"));

    // Connecting a texture hands it the clip's names and the clip's name.
    KQoxTexture* t1 = Texture("One");
    KQoxTexture* t2 = Texture("Two");
    ASSERT_TRUE(Use(t1, v));
    ASSERT_TRUE(Use(t2, v));
    EXPECT_EQ(t1->GetVideo(), v);
    for (KQoxTexture* t : {t1, t2})
    {
        EXPECT_STREQ(t->GetFileName(), "/clips/a.mov");
        EXPECT_STREQ(t->GetRelativeFileName(), "clips/a.mov");
        EXPECT_STREQ(t->GetMediaName(), "Video::Clip");
    }

    // From the clip to both textures; each passes it back and the clip stops.
    EXPECT_TRUE(v->SetFileName("/clips/b.mov"));
    EXPECT_TRUE(v->SetFileName("/clips/b.mov"));
    EXPECT_STREQ(t1->GetFileName(), "/clips/b.mov");
    EXPECT_STREQ(t2->GetFileName(), "/clips/b.mov");
    // From a texture to the clip and on to the other texture.
    EXPECT_TRUE(t1->SetFileName("/clips/c.mov"));
    EXPECT_STREQ(v->GetFileName(), "/clips/c.mov");
    EXPECT_STREQ(t2->GetFileName(), "/clips/c.mov");
    EXPECT_TRUE(t2->SetRelativeFileName("c.mov"));
    EXPECT_STREQ(v->GetRelativeFileName(), "c.mov");
    EXPECT_STREQ(t1->GetRelativeFileName(), "c.mov");
    // Copying a texture copies the file name on to the copy's own clip only.
    KQoxTexture* copy = Texture("Copy");
    *copy = *t1;
    EXPECT_EQ(copy->GetVideo(), nullptr);
    EXPECT_STREQ(copy->GetFileName(), "/clips/c.mov");

    // Destroying the clip first leaves textures without a clip.
    EXPECT_TRUE(mManager->DestroyKQoxVideo(v));
    EXPECT_EQ(t1->GetVideo(), nullptr);
    EXPECT_TRUE(t1->SetFileName("/clips/d.mov"));
    EXPECT_STREQ(t2->GetFileName(), "/clips/c.mov");
}

TEST_F(MediaTest, ClipWithoutNameLeavesAConnectedTextureAlone)
{
    KQoxVideo* v = Video("Empty");
    KQoxTexture* t = Texture("Named");
    t->SetFileName("/maps/keep.tif");
    ASSERT_TRUE(Use(t, v));
    EXPECT_STREQ(t->GetFileName(), "/maps/keep.tif");
    EXPECT_STREQ(t->GetMediaName(), "Video::Empty");
}

TEST_F(MediaTest, ClipJoinsTheEntityThroughItsTexturesNode)
{
    KQoxEntity entity(*mManager);
    KQoxNode* node = mManager->CreateKQoxNode("Box");
    ASSERT_TRUE(entity.GetRootNode()->AddChild(node));
    KQoxTexture* t = Texture("Wood");
    ASSERT_TRUE(node->GetPropertyHandler()->ConnectSrc(t->GetPropertyHandler()));
    KQoxVideo* v = Video("Clip");
    ASSERT_TRUE(Use(t, v));
    EXPECT_EQ(entity.GetVideoCount(), 1);
    EXPECT_EQ(entity.GetVideo(0), v);

    // A clip used directly by a node joins that node's entity.
    KQoxVideo* gobo = Video("Gobo");
    ASSERT_TRUE(node->GetPropertyHandler()->ConnectSrc(gobo->GetPropertyHandler()));
    EXPECT_EQ(entity.GetVideoCount(), 2);

    // Textures outside a scene, and users that are no nodes, are left alone.
    KQoxTexture* loose = Texture("Loose");
    KQoxVideo* other = Video("Other");
    ASSERT_TRUE(Use(loose, other));
    KQoxVideo* third = Video("Third");
    ASSERT_TRUE(Block(other)->ConnectSrc(third->GetPropertyHandler()));
    EXPECT_EQ(entity.GetVideoCount(), 2);
}

TEST_F(MediaTest, AnimatableUserPropertiesGetChannelsInEveryTake)
{
    KQoxVideo* v = Video("Clip");
    KQoxUserProperty* user = mManager->CreateKQoxUserProperty("Fade", "Real", "Fade");
    ASSERT_NE(user, nullptr);
    user->ModifyFlag(KQoxUserProperty::eANIMATABLE, true);
    v->AddProperty(user);
    ASSERT_NE(user->GetKProperty(), nullptr);
    ASSERT_NE(v->CreateTakeNode("Take 001"), nullptr);
    for (int take = 0; take < 2; ++take)
        EXPECT_NE(v->GetTakeNode(take)->GetKFCurve("Fade", nullptr, static_cast<const char*>(nullptr)), nullptr)
            << take;
    // A fresh take tree built by AddChannels holds the channel too.
    v->Reset();
    EXPECT_NE(v->GetDefaultTakeNode()->GetKFCurve("Fade", nullptr, static_cast<const char*>(nullptr)), nullptr);
}

TEST_F(MediaTest, TextureMovesItsClipBetweenEntities)
{
    KQoxEntity first(*mManager), second(*mManager);
    KQoxTexture* t = Texture("Wood");
    KQoxVideo* v = Video("Clip");
    ASSERT_TRUE(Use(t, v));
    EXPECT_TRUE(t->SetEntity(&first));
    EXPECT_EQ(first.GetVideoCount(), 1);
    EXPECT_TRUE(t->SetEntity(&first)); // no change
    EXPECT_TRUE(t->SetEntity(&second));
    EXPECT_EQ(first.GetVideoCount(), 0);
    EXPECT_EQ(second.GetVideo(0), v);
    // Another clip of the same name already counted: refused by the entity.
    KQoxTexture* other = Texture("Other");
    KQoxVideo* twin = mManager->CreateKQoxVideo("Clip");
    ASSERT_TRUE(Use(other, twin));
    EXPECT_FALSE(other->SetEntity(&second));
    EXPECT_EQ(other->GetEntity(), &second);
    EXPECT_TRUE(t->SetEntity(nullptr));
    EXPECT_TRUE(other->SetEntity(nullptr));
    EXPECT_EQ(second.GetVideoCount(), 0);
    EXPECT_TRUE(v->SetEntity(&first));
    EXPECT_EQ(v->GetEntity(), &first);
}
