// Shared set-up of the texture and video tests: a manager per test.
#ifndef QOX_TESTS_SCENE_MEDIA_TEST_UTIL_H
#define QOX_TESTS_SCENE_MEDIA_TEST_UTIL_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fcurve/kfcurve.h"
#include "object/kproperty.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

namespace mediatest {

using namespace qoxsdk_600;

class MediaTest : public ::testing::Test
{
protected:
    KQoxTexture* Texture(const char* name) { return mManager->CreateKQoxTexture(name); }
    KQoxVideo* Video(const char* name) { return mManager->CreateKQoxVideo(name); }
    // The clip becomes the texture's: its block the first source of the texture's.
    static bool Use(KQoxTexture* texture, KQoxVideo* video)
    {
        return texture->GetPropertyHandler()->ConnectSrc(video->GetPropertyHandler());
    }
    // A node of a new scene entity that uses the object's block.
    KQoxNode* NodeUsing(KQoxEntity& entity, KQoxPropertyHandler* block)
    {
        KQoxNode* node = mManager->CreateKQoxNode("User");
        EXPECT_TRUE(entity.GetRootNode()->AddChild(node));
        EXPECT_TRUE(node->GetPropertyHandler()->ConnectSrc(block));
        return node;
    }
    static std::vector<std::string> PropertyNames(KObject* block)
    {
        std::vector<std::string> names;
        for (int i = 0; i < block->GetPropertyCount(); ++i)
            names.push_back(block->GetProperty(i)->GetPropertyName());
        return names;
    }

    std::unique_ptr<KQoxSdkManager> mManager{new KQoxSdkManager};
};

} // namespace mediatest

#endif
