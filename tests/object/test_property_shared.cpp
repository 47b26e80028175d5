// Descriptors shared between properties, and the parts of a plug kept apart
// until used (filter, sub-plugs, listeners).

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "object/kclassid.h"
#include "object/kproperty.h"
#include "object_test_helpers.h"

namespace {

// A descriptor as a class table holds it: made once, never freed. The name is
// an owned copy, so that copies of the descriptor copy it too.
const KPropertyInfo* SharedDescriptor()
{
    static KPropertyInfo* const info = [] {
        KPropertyInfo* made = new KPropertyInfo();
        made->SetAllocatedName("Shared \"Row\"");
        made->SetAllocatedLabel("The row");
        made->mType = kPropertyTypeDouble;
        made->mMin = -1.5;
        made->mMax = 2.5;
        made->ModifyFlag(KPropertyInfo::eAnimatable, true);
        return made;
    }();
    return info;
}

// A class registered after the plug library ended and started again.
KClassDefinition* LateDefinition()
{
    static KClassDefinition late = {nullptr, nullptr, "LateClass", nullptr};
    return &late;
}

} // namespace

TEST(SharedPropertyInfo, EveryChangeCopiesTheDescriptorFirst)
{
    TObject owner("owner");
    KPropertyTemplate<double> a, b, c;
    for (KPropertyTemplate<double>* p : {&a, &b, &c})
    {
        p->SetSharedPropertyInfo(SharedDescriptor());
        owner.ConnectOwnedPlug(p);
    }
    EXPECT_TRUE(a.HasSharedPropertyInfo());
    EXPECT_EQ(a.GetPropertyName(), b.GetPropertyName());
    EXPECT_STREQ("Shared Row", a.GetPropertyName()); // the quotes went with the first copy
    EXPECT_EQ(KPropertyInfo::eAnimatable | KPropertyInfo::eNameOwned, a.ReadPropertyInfo().GetFlags());
    EXPECT_EQ(KDataTypeNumber::DataType, a.GetPropertyDataType());

    // Reading through the const descriptor copies nothing; asking for the
    // descriptor to change does.
    EXPECT_EQ(-1.5, a.ReadPropertyInfo().mMin);
    EXPECT_TRUE(a.HasSharedPropertyInfo());
    a.SetPropertyLabel("Mine");
    EXPECT_FALSE(a.HasSharedPropertyInfo());
    EXPECT_STREQ("Mine", a.GetPropertyLabel());
    EXPECT_STREQ("The row", b.GetPropertyLabel());
    EXPECT_STREQ("Shared Row", a.GetPropertyName());
    EXPECT_NE(a.GetPropertyName(), b.GetPropertyName()); // its own copy of the name
    EXPECT_EQ(a.ReadPropertyInfo().GetFlags(), b.ReadPropertyInfo().GetFlags());

    // Values that do not change leave the descriptor shared.
    b.SetPropertyMinMax(-1.5, 2.5);
    b.SetPropertyType(kPropertyTypeDouble);
    EXPECT_TRUE(b.HasSharedPropertyInfo());
    b.SetPropertyMax(3);
    EXPECT_FALSE(b.HasSharedPropertyInfo());
    EXPECT_EQ(3, b.GetPropertyMax());
    EXPECT_EQ(2.5, c.GetPropertyMax());

    ASSERT_TRUE(c.SetPropertyName("Other", false));
    EXPECT_STREQ("Other", c.GetPropertyName());
    EXPECT_STREQ("Shared Row", SharedDescriptor()->mName);
    c.GetPropertyInfo().ModifyFlag(KPropertyInfo::eUser, true);
    KStringList* list = c.GetEnumStringList(true);
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(nullptr, SharedDescriptor()->mEnumList);
    EXPECT_TRUE(c.IsUserProperty());
    EXPECT_FALSE(SharedDescriptor()->mFlags & KPropertyInfo::eUser);

    // Going back to the shared descriptor frees the copy (with a user
    // property's enumeration list).
    c.SetSharedPropertyInfo(SharedDescriptor());
    EXPECT_TRUE(c.HasSharedPropertyInfo());
    EXPECT_STREQ("Shared Row", c.GetPropertyName());
    EXPECT_FALSE(c.IsUserProperty());
    EXPECT_EQ(nullptr, c.GetEnumStringList(false));
}

TEST(SharedPropertyInfo, NewPropertiesStartBlankAndApart)
{
    KPropertyTemplate<int> a, b;
    EXPECT_STREQ("", a.GetPropertyName());
    EXPECT_EQ(0, a.GetPropertyMin());
    EXPECT_EQ(100, a.GetPropertyMax());
    EXPECT_EQ(65535, a.ReadPropertyInfo().GetWorldIndex());
    a.Init();
    EXPECT_EQ(kPropertyTypeInt, a.GetPropertyType());
    EXPECT_EQ(kPropertyTypeUnknown, b.GetPropertyType());
    a.SetPropertyInfo("a", kPropertyTypeEnum);
    EXPECT_STREQ("", b.GetPropertyName());
    EXPECT_EQ(kPropertyTypeEnum, a.GetPropertyType());
}

TEST(PlugExtra, FilterSubPlugsAndListenersWithoutAndWithTheirRecord)
{
    KPlugFilter* none = KPlug_GetFilter(-1);
    ASSERT_NE(nullptr, none);
    TPlug plug("p");
    EXPECT_EQ(none, plug.GetFilter());
    EXPECT_EQ(0, plug.GetSubPlugCount());
    plug.RemoveNotify(&plug); // nothing registered: nothing happens
    plug.SubPlugRemove(&plug);
    EXPECT_EQ(&plug, plug.SubPlugFind(none));
    EXPECT_EQ(nullptr, plug.SubPlugFind(KPlug_GetFilter(KObject::ClassId)));

    plug.SetFilter(nullptr, 0);
    EXPECT_EQ(nullptr, plug.GetFilter());
    plug.SetFilter(KPlug_GetFilter(KObject::ClassId), 0);
    EXPECT_EQ(KPlug_GetFilter(KObject::ClassId), plug.GetFilter());
    plug.SetFilter(none, 0);
    EXPECT_EQ(none, plug.GetFilter());

    KPlug* sub = plug.SubPlugGetOrCreate(KPlug_GetFilter(KObject::ClassId));
    ASSERT_NE(nullptr, sub);
    EXPECT_EQ(1, plug.GetSubPlugCount());
    EXPECT_EQ(sub, plug.GetSubPlug(0));
    EXPECT_EQ(KPlug_GetFilter(KObject::ClassId), sub->GetFilter());
    plug.SubPlugRemoveAll();
    EXPECT_EQ(0, plug.GetSubPlugCount());
}

// The class-less filter a plug took at construction ends with the plug
// library; a plug made before does not take the next one.
TEST(PlugExtraDeathTest, DefaultFilterEndsWithThePlugLibrary)
{
    EXPECT_EXIT(
        {
            KPlug* before = new KPlug();
            bool ok = before->GetFilter() == KPlug_GetFilter(-1) && before->GetFilter() != nullptr;
            const unsigned int serial = KPlug_GetNoneFilterSerial();
            KPlug_Init();
            KPlug_Terminate();
            ok = ok && before->GetFilter() == nullptr && KPlug_GetFilter(-1) == nullptr;
            KPlug_RegisterClassId(LateDefinition(), -1);
            ok = ok && KPlug_GetFilter(-1) != nullptr && KPlug_GetNoneFilterSerial() == serial + 1;
            ok = ok && before->GetFilter() == nullptr;
            KPlug* after = new KPlug();
            ok = ok && after->GetFilter() == KPlug_GetFilter(-1);
            after->Destroy(0);
            before->Destroy(0);
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
