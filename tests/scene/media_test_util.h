// Shared set-up of the texture and video tests: a manager per test, and the
// connections the scene makes between clips, textures and nodes.
#ifndef QOX_TESTS_SCENE_MEDIA_TEST_UTIL_H
#define QOX_TESTS_SCENE_MEDIA_TEST_UTIL_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "object/kproperty.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxsdkmanager.h"

namespace mediatest {

using namespace qoxsdk_600;

class MediaTest : public ::testing::Test
{
protected:
    MediaTest()
        : mManager(new KQoxSdkManager)
    {}

    KQoxTexture* Texture(const char* name) { return mManager->CreateKQoxTexture(name); }
    KQoxVideo* Video(const char* name) { return mManager->CreateKQoxVideo(name); }

    // The clip becomes the texture's (its block the first source of the
    // texture's block).
    static bool Use(KQoxTexture* texture, KQoxVideo* video)
    {
        return texture->GetPropertyHandler()->ConnectSrc(video->GetPropertyHandler());
    }

    // The names of the block's properties, in list order.
    static std::vector<std::string> PropertyNames(KObject* block)
    {
        std::vector<std::string> names;
        for (int i = 0; i < block->GetPropertyCount(); ++i)
            names.push_back(block->GetProperty(i)->GetPropertyName());
        return names;
    }

    std::unique_ptr<KQoxSdkManager> mManager;
};

inline std::string Text(const char* text)
{
    return text ? text : "(null)";
}

} // namespace mediatest

#endif
