// Named objects: namespaces and their prefixes, initial and current names,
// and the attached user-property list.
#include <gtest/gtest.h>

#include "scene/kqoxuserproperty.h"
#include "scene_test_helpers.h"

using namespace qoxsdk_600;
using scenetest::TestAnimated;
using scenetest::TestManager;

namespace {
// A named object that counts its property hooks.
class Plain : public KQoxObject
{
public:
    Plain(KQoxSdkManager& pManager, const char* pName, ENameSpace pNameSpace)
        : KQoxObject(pManager, pName)
        , mNameSpace(pNameSpace)
    {}
    ENameSpace GetNameSpace() const override { return mNameSpace; }
    void PropertyAdded(KQoxUserProperty*) override { ++mAdded; }
    void PropertyRemoved(KQoxUserProperty*) override { ++mRemoved; }
    ENameSpace mNameSpace;
    int mAdded = 0;
    int mRemoved = 0;
};
} // namespace

TEST(KQoxObjectTest, SetNameUsesTheObjectsPrefix)
{
    struct Case
    {
        KQoxObject::ENameSpace space;
        const char* given;
        const char* current;
        const char* withoutPrefix;
    };
    const Case cases[] = {
        {KQoxObject::eNODE, "", "Model::Name", "Name"},
        {KQoxObject::eNODE, "Material::Box", "Model::Box", "Box"},
        {KQoxObject::eTEXTURE, "Material::Wood", "Texture::Wood", "Wood"},
        {KQoxObject::eNO_PREFIX, "Cluster Arm", "Cluster Arm", "Cluster Arm"},
        {KQoxObject::eNO_PREFIX, "Deformer::Skin", "Skin", "Skin"},
        {KQoxObject::ePOSE, "Bind", "Pose::Bind", "Bind"},
        {13, "Odd::Thing", "Thing", "Thing"},
    };
    TestManager manager;
    for (const Case& c : cases)
    {
        Plain object(manager, "Initial::Name", c.space);
        object.SetName(c.given);
        EXPECT_STREQ(c.current, object.GetName()) << c.given;
        EXPECT_STREQ("Initial::Name", object.GetInitialName()) << c.given;
        EXPECT_STREQ(c.withoutPrefix, object.GetNameWithoutNameSpacePrefix().ToChars()) << c.given;
    }
}

TEST(KQoxObjectTest, NameWithoutPrefixFallsBackOnTheFirstSeparator)
{
    TestManager manager;
    Plain material(manager, "Material::Red", KQoxObject::eMATERIAL);
    material.GetNameRecord().SetCurrentName("Texture::Red"); // as a renaming step may leave it
    EXPECT_STREQ("Red", material.GetNameWithoutNameSpacePrefix().ToChars());
    Plain node(manager, "NoSeparator", KQoxObject::eNODE);
    EXPECT_STREQ("NoSeparator", node.GetNameWithoutNameSpacePrefix().ToChars());
    Plain generic(manager, "Model::Kept", KQoxObject::eNO_PREFIX);
    EXPECT_STREQ("Model::Kept", generic.GetNameWithoutNameSpacePrefix().ToChars());

    node.SetInitialName("Model::Fresh");
    EXPECT_STREQ("Model::Fresh", node.GetInitialName());
    EXPECT_STREQ("Model::Fresh", node.GetName());

    EXPECT_STREQ("", KQoxObject::GetDefaultNameSpacePrefix(0).ToChars());
    EXPECT_STREQ("", KQoxObject::GetDefaultNameSpacePrefix(13).ToChars());
    EXPECT_STREQ("ControlSetPlug::", KQoxObject::GetDefaultNameSpacePrefix(12).ToChars());
    EXPECT_STREQ("c", KQoxObject::RemovePrefix("a::b:c").ToChars());
    EXPECT_STREQ("plain", KQoxObject::RemovePrefix("plain").ToChars());
    EXPECT_STREQ("", KQoxObject::RemovePrefix("trailing:").ToChars());
    EXPECT_STREQ("", KQoxObject::RemovePrefix(nullptr).ToChars());
}

TEST(KQoxObjectTest, AssignmentCopiesNamesWithinOneNamespaceOnly)
{
    TestManager manager;
    Plain node(manager, "Model::A", KQoxObject::eNODE);
    Plain other(manager, "Model::B", KQoxObject::eNODE);
    Plain material(manager, "Material::C", KQoxObject::eMATERIAL);
    other.SetName("Renamed");
    node = other;
    EXPECT_STREQ("Model::Renamed", node.GetName());
    EXPECT_STREQ("Model::B", node.GetInitialName());
    node = material;
    EXPECT_STREQ("Model::Renamed", node.GetName());
}

TEST(KQoxObjectTest, UserPropertyListAttachesEachOnce)
{
    TestManager manager;
    Plain object(manager, "Model::A", KQoxObject::eNODE);
    KQoxUserProperty* a = manager.CreateKQoxUserProperty("A", "Real", "A");
    KQoxUserProperty* b = manager.CreateKQoxUserProperty("B", "Bool", "B");
    b->ModifyFlag(KQoxUserProperty::eUSER, true);
    object.AddProperty(a);
    object.AddProperty(a);
    object.AddProperty(nullptr);
    object.AddProperty(b);
    EXPECT_EQ(2, object.GetPropertyCount());
    EXPECT_EQ(2, object.mAdded);
    EXPECT_EQ(1, object.GetPropertyCount(KQoxUserProperty::eUSER));
    EXPECT_EQ(a, object.GetProperty(0));
    EXPECT_EQ(nullptr, object.GetProperty(2));
    EXPECT_EQ(nullptr, object.GetProperty(-1));
    EXPECT_EQ(b, object.FindPropertyByName("B"));
    EXPECT_EQ(nullptr, object.FindPropertyByName("b"));
    EXPECT_EQ(nullptr, object.FindPropertyByName(nullptr));
    EXPECT_EQ(nullptr, object.GetProperty(static_cast<KProperty*>(nullptr)));

    object.RemoveProperty(a);
    object.RemoveProperty(a);
    object.RemoveProperty(nullptr);
    EXPECT_EQ(1, object.mRemoved);
    EXPECT_EQ(b, object.GetProperty(0));
    // Detached properties stay with the manager.
    EXPECT_EQ(2, manager.GetKQoxUserPropertyCount());
}

TEST(KQoxObjectTest, ObjectsAndTheirPropertiesGoInEitherOrder)
{
    // Properties destroyed by the manager while still attached elsewhere, and
    // objects destroyed while their properties live on.
    auto manager = std::make_unique<TestManager>();
    auto object = std::make_unique<TestAnimated>(*manager, "Model::A");
    object->PublishProperties();
    KQoxUserProperty* loose = manager->CreateKQoxUserProperty("Loose", "Real", "Loose");
    object.reset();
    EXPECT_EQ(5, manager->GetKQoxUserPropertyCount());
    EXPECT_TRUE(manager->DestroyKQoxUserProperty(loose));
    manager.reset();
}
