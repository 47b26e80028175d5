// Nulls and skeletons: defaults, is-set flags, type gating, flag 16 on the
// skeleton colour and the copies.

#include "scene/attributes/kqoxnull.h"
#include "scene/attributes/kqoxskeleton.h"
#include "scene/kqoxsdkmanager.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace qoxsdk_600;

std::string Flags(KQoxNodeAttribute& attribute)
{
    KStringList flags = attribute.GetTypeFlags();
    std::string text;
    for (int i = 0; i < flags.GetCount(); ++i)
        text += std::string(i ? "," : "") + flags.GetStringAt(i);
    return text;
}

bool ColorNotStored(KQoxSkeleton& skeleton)
{
    return skeleton.GetPropertyHandler()->Color.GetPropertyFlag(KQoxSkeleton::kNotStoredFlag);
}

TEST(NullTest, SizeAndItsFlag)
{
    KQoxSdkManager manager;
    KQoxNull* null = manager.CreateKQoxNull();
    EXPECT_EQ(null->GetAttributeType(), KQoxNodeAttribute::eNULL);
    EXPECT_EQ(null->GetSize(), 100.0);
    EXPECT_FALSE(null->GetSizeIsSet());
    null->SetSize(100.0);
    EXPECT_EQ(null->GetSize(), 100.0);
    EXPECT_TRUE(null->GetSizeIsSet());
    EXPECT_STREQ(null->GetTypeName().ToChars(), "Null");
    EXPECT_EQ(Flags(*null), "Null");
    EXPECT_EQ(null->GetPropertyHandler()->Size.Get(), 100.0);

    KQoxNull* copy = manager.CreateKQoxNull();
    copy->SetSize(-0.0);
    null->Reset();
    *copy = *null;
    EXPECT_FALSE(copy->GetSizeIsSet()); // the source's flag, not the setter's
    EXPECT_EQ(copy->GetSize(), 100.0);
}

TEST(SkeletonTest, NewSkeletonIsARootWithItsColourKeptOutOfFiles)
{
    KQoxSdkManager manager;
    KQoxSkeleton* skeleton = manager.CreateKQoxSkeleton();
    EXPECT_EQ(skeleton->GetAttributeType(), KQoxNodeAttribute::eSKELETON);
    EXPECT_EQ(skeleton->GetSkeletonType(), KQoxSkeleton::eROOT);
    EXPECT_TRUE(skeleton->IsRootSkeleton());
    EXPECT_EQ(Flags(*skeleton), "Null,Skeleton,Root");
    EXPECT_EQ(skeleton->GetLimbLength(), 1.0);
    EXPECT_EQ(skeleton->GetLimbNodeSize(), 100.0);
    EXPECT_EQ(skeleton->GetLimbNodeColor(), KQoxColor(0.8, 0.8, 0.8, 1.0));
    EXPECT_FALSE(skeleton->GetSkeletonTypeIsSet() || skeleton->GetLimbLengthIsSet() ||
                 skeleton->GetLimbNodeSizeIsSet() || skeleton->GetLimbNodeColorIsSet());
    EXPECT_TRUE(ColorNotStored(*skeleton));
    EXPECT_TRUE(skeleton->GetPropertyHandler()->LimbLength.GetPropertyFlag(1));
}

TEST(SkeletonTest, TypeGatesLengthAndColour)
{
    KQoxSdkManager manager;
    const struct
    {
        int mType;
        const char* mName;
        const char* mFlags;
        bool mLength;
        bool mColor;
    } cases[] = {{0, "Root", "Null,Skeleton,Root", false, false},
                 {1, "Limb", "Skeleton", true, true},
                 {2, "LimbNode", "Skeleton", false, true},
                 {3, "Root", "Null,Skeleton,Root", false, false},
                 {7, "", "", false, false},
                 {-1, "", "", false, false}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.mType);
        KQoxSkeleton* skeleton = manager.CreateKQoxSkeleton();
        skeleton->SetSkeletonType(static_cast<KQoxSkeleton::ESkeletonType>(c.mType));
        EXPECT_TRUE(skeleton->GetSkeletonTypeIsSet());
        EXPECT_STREQ(skeleton->GetTypeName().ToChars(), c.mName);
        EXPECT_EQ(Flags(*skeleton), c.mFlags);
        EXPECT_EQ(ColorNotStored(*skeleton), !c.mColor);
        EXPECT_EQ(skeleton->SetLimbLength(5.0), c.mLength);
        EXPECT_EQ(skeleton->GetLimbLength(), c.mLength ? 5.0 : 1.0);
        EXPECT_EQ(skeleton->GetLimbLengthIsSet(), c.mLength);
        EXPECT_EQ(skeleton->SetLimbNodeColor(KQoxColor(0.1, 0.2, 0.3, 0.0)), c.mColor);
        EXPECT_EQ(skeleton->GetLimbNodeColor(), c.mColor ? KQoxColor(0.1, 0.2, 0.3, 1.0) : KQoxColor(0.8, 0.8, 0.8));
        EXPECT_EQ(skeleton->GetLimbNodeColorIsSet(), c.mColor);
        EXPECT_TRUE(skeleton->SetLimbNodeSize(2.0));
        EXPECT_TRUE(skeleton->GetLimbNodeSizeIsSet());
        // Changing the type later keeps the values.
        skeleton->SetSkeletonType(KQoxSkeleton::eROOT);
        EXPECT_EQ(skeleton->GetLimbLength(), c.mLength ? 5.0 : 1.0);
        EXPECT_TRUE(ColorNotStored(*skeleton));
        skeleton->Reset();
        EXPECT_FALSE(skeleton->GetLimbNodeSizeIsSet());
        EXPECT_EQ(skeleton->GetLimbNodeSize(), 100.0);
    }
}

TEST(SkeletonTest, CopiesFollowTheSourceType)
{
    KQoxSdkManager manager;
    KQoxSkeleton* limb = manager.CreateKQoxSkeleton();
    limb->SetSkeletonType(KQoxSkeleton::eLIMB);
    limb->SetLimbLength(12.0);
    limb->SetLimbNodeColor(KQoxColor(0.0, 1.0, 0.0));
    KQoxSkeleton* target = manager.CreateKQoxSkeleton();
    *target = *limb;
    EXPECT_EQ(target->GetSkeletonType(), KQoxSkeleton::eLIMB);
    EXPECT_EQ(target->GetLimbLength(), 12.0);
    EXPECT_EQ(target->GetLimbNodeColor(), KQoxColor(0.0, 1.0, 0.0));
    EXPECT_FALSE(ColorNotStored(*target));
    EXPECT_FALSE(target->GetLimbNodeSizeIsSet()); // the source's flag

    // A root copies neither length nor colour, yet its is-set flags.
    KQoxSkeleton* root = manager.CreateKQoxSkeleton();
    root->SetSkeletonType(KQoxSkeleton::eLIMB);
    root->SetLimbNodeColor(KQoxColor(0.0, 0.0, 1.0));
    root->SetSkeletonType(KQoxSkeleton::eROOT);
    *target = *root;
    EXPECT_EQ(target->GetLimbLength(), 1.0);
    EXPECT_EQ(target->GetLimbNodeColor(), KQoxColor(0.8, 0.8, 0.8));
    EXPECT_TRUE(target->GetLimbNodeColorIsSet());
    EXPECT_TRUE(ColorNotStored(*target));
}

} // namespace
