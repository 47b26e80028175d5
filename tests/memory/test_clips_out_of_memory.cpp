// A clip's file names passed to the texture and the light that use it, with
// allocations failing at every point in turn (memory_test_util.h): each
// step either throws std::bad_alloc (as code that builds a scene does) or
// leaves the clip, the texture and the light naming the clip's files whole,
// never a name that lost its text for want of memory. Every name is longer
// than a short text keeps in its own room.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>

#include "memory_test_util.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::AllocationFailure;

namespace {

const std::string kFile = std::string("/srv/assets/") + qoxtest::kLongPathFolder + "brick.ppm";
const std::string kRelative = std::string("../") + qoxtest::kLongPathFolder + "brick.ppm";
const char kClipName[] = "Brick_wall_of_the_north_wing_terrace_on_the_second_floor_above_the_garden";

// A clip naming other files, a texture and a light's node, not connected.
struct Clip
{
    std::unique_ptr<KQoxSdkManager> mManager{KQoxSdkManager::CreateKQoxSdkManager()};
    KQoxVideo& mClip = *mManager->CreateKQoxVideo(kClipName);
    KQoxTexture& mTexture = *mManager->CreateKQoxTexture("Wall");
    KQoxNode& mSpot = *mManager->CreateKQoxNode("Spot");

    Clip()
    {
        mClip.SetFileName(("/srv/old/" + std::string(qoxtest::kLongPathFolder) + "old.ppm").c_str());
        mClip.SetRelativeFileName(("../old/" + std::string(qoxtest::kLongPathFolder) + "old.ppm").c_str());
        KQoxLight* light = mManager->CreateKQoxLight();
        light->SetFileName("gobo.ppm");
        mSpot.SetNodeAttribute(light);
    }
    void ConnectTexture() { mTexture.GetPropertyHandler()->ConnectSrc(mClip.GetPropertyHandler(), kConnectionNormal); }
    void ConnectSpot() { mSpot.GetPropertyHandler()->ConnectSrc(mClip.GetPropertyHandler(), kConnectionNormal); }
};

bool Same(const char* a, const std::string& b)
{
    return a && b == a;
}

struct Step
{
    const char* mWhat;
    std::function<void(Clip&)> mBefore; // with nothing failing
    std::function<void(Clip&)> mStep;
    std::function<bool(Clip&)> mWhole; // the names as the step gives them
};

const Step kSteps[] = {
    {"a clip connected to its texture",
     [](Clip& c) {
         c.mClip.SetFileName(kFile.c_str());
         c.mClip.SetRelativeFileName(kRelative.c_str());
     },
     [](Clip& c) { c.ConnectTexture(); },
     [](Clip& c) {
         return Same(c.mTexture.GetFileName(), kFile) && Same(c.mTexture.GetRelativeFileName(), kRelative) &&
                Same(c.mTexture.GetMediaName(), std::string("Video::") + kClipName);
     }},
    {"a clip connected to a light's node", [](Clip& c) { c.mClip.SetFileName(kFile.c_str()); },
     [](Clip& c) { c.ConnectSpot(); }, [](Clip& c) { return Same(c.mSpot.GetLight()->GetFileName(), kFile); }},
    {"a file name given to a clip its texture uses", [](Clip& c) { c.ConnectTexture(); },
     [](Clip& c) { c.mClip.SetFileName(kFile.c_str()); },
     [](Clip& c) { return Same(c.mClip.GetFileName(), kFile) && Same(c.mTexture.GetFileName(), kFile); }},
    {"a relative name given to a clip its texture uses", [](Clip& c) { c.ConnectTexture(); },
     [](Clip& c) { c.mClip.SetRelativeFileName(kRelative.c_str()); },
     [](Clip& c) {
         return Same(c.mClip.GetRelativeFileName(), kRelative) && Same(c.mTexture.GetRelativeFileName(), kRelative);
     }},
};

} // namespace

TEST(ClipsOutOfMemory, NamesPassWholeOrTheStepThrows)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    for (const Step& step : kSteps)
        for (AllocationFailure mode : {AllocationFailure::eOnlyAt, AllocationFailure::eFromOn})
        {
            const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
                [&](std::string& text) {
                    qoxtest::DisarmAllocations();
                    Clip clip;
                    step.mBefore(clip);
                    qoxtest::ResumeAllocations();
                    try
                    {
                        step.mStep(clip);
                    }
                    catch (const std::bad_alloc&)
                    {
                        return qoxtest::kWorkOutOfMemory;
                    }
                    qoxtest::DisarmAllocations();
                    const bool whole = step.mWhole(clip);
                    qoxtest::ResumeAllocations();
                    if (whole)
                        return qoxtest::kWorkDone;
                    text = "done, a name lost";
                    return qoxtest::kWorkFailed;
                },
                mode);
            qoxtest::ExpectEveryRunEndsWell(outcome, std::string(step.mWhat) + (mode == AllocationFailure::eOnlyAt
                                                                                    ? ", only the Nth"
                                                                                    : ", from the Nth on"));
        }
}
