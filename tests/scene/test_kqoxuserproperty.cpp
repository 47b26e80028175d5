// User properties: type names, flags, limits and default values, standing
// alone or wrapping a property; the property handler that turns one into a
// real property and destroys it again.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "object/kpropertydatatype.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxuserproperty.h"
#include "scene_test_helpers.h"

using namespace qoxsdk_600;
using scenetest::TestAnimated;
using scenetest::TestManager;

namespace {
// A property block that counts the default-value notices it gets.
class CountingHandler : public KQoxPropertyHandler
{
public:
    void DefaultValueChanged(KQoxUserProperty*) override { ++mNotices; }
    KQoxObject* GetKQoxObject() override { return nullptr; }
    int mNotices = 0;
};

struct HandlerDeleter
{
    void operator()(CountingHandler* handler) const { handler->Destroy(0); }
};
using HandlerPtr = std::unique_ptr<CountingHandler, HandlerDeleter>;
} // namespace

TEST(KQoxUserPropertyTest, TypeNamesBothWays)
{
    const char* names[] = {"Unidentified", "Bool", "Real", "Color", "Integer", "Vector"};
    for (int type = 0; type <= 5; ++type)
    {
        EXPECT_STREQ(names[type], KQoxUserProperty::GetPropertyTypeName(type));
        EXPECT_EQ(type, GetPropertyTypeFromName(names[type]));
    }
    EXPECT_EQ(nullptr, KQoxUserProperty::GetPropertyTypeName(6));
    EXPECT_EQ(nullptr, KQoxUserProperty::GetPropertyTypeName(-1));
    for (const char* other : {"bool", "REAL", "Colour", "", " Vector"})
        EXPECT_EQ(0, GetPropertyTypeFromName(other)) << other;
    EXPECT_EQ(0, GetPropertyTypeFromName(nullptr));
}

TEST(KQoxUserPropertyTest, EntryAndWrapperFlagsAndLimits)
{
    KQoxSdkManager manager;
    KQoxUserProperty entry(manager, "Mass", "Real", "");
    EXPECT_EQ(KQoxUserProperty::eREAL, entry.GetPropertyType());
    EXPECT_EQ(-std::numeric_limits<double>::infinity(), entry.GetMinLimit());
    EXPECT_EQ(std::numeric_limits<double>::infinity(), entry.GetMaxLimit());
    EXPECT_STREQ("Mass", entry.GetLabel(true).ToChars());
    EXPECT_STREQ("", entry.GetLabel(false).ToChars());
    entry.SetLimits(-1.0, 1.0);
    entry.SetMaxLimit(2.0);
    EXPECT_EQ(-1.0, entry.GetMinLimit());
    EXPECT_EQ(2.0, entry.GetMaxLimit());
    // An entry answers for any bit of the question.
    entry.ModifyFlag(KQoxUserProperty::eUSER, true);
    EXPECT_TRUE(entry.GetFlag(3));
    EXPECT_FALSE(entry.GetFlag(KQoxUserProperty::eANIMATABLE));

    // A wrapper answers single flags only, from the property-info bits.
    HandlerPtr block(new CountingHandler);
    KProperty* property = block->CreatePropertyFromType("P", kPropertyTypeDouble, nullptr, false, false, nullptr);
    KQoxUserProperty wrapper(manager, property);
    wrapper.ModifyFlag(KQoxUserProperty::eANIMATABLE | KQoxUserProperty::eTEMPORARY, true);
    EXPECT_TRUE(property->IsAnimatable());
    EXPECT_TRUE(property->IsTemporary());
    EXPECT_FALSE(property->IsUserProperty());
    wrapper.ModifyFlag(KQoxUserProperty::eUSER, true);
    EXPECT_TRUE(wrapper.GetFlag(KQoxUserProperty::eUSER));
    EXPECT_FALSE(wrapper.GetFlag(3));
    wrapper.SetLimits(-5.0, 5.0);
    EXPECT_EQ(-5.0, property->GetPropertyMin());

    // Without a property nothing holds a value: setters are ignored, getters
    // leave their outputs alone, nobody is told. Assignment changes nothing.
    entry.SetPropertyHandler(block.get());
    entry.SetDefaultValue(3.0);
    entry.SetDefaultValue(1.0, 2.0, 3.0);
    double value = 42.0;
    entry.GetDefaultValue(value);
    EXPECT_EQ(42.0, value);
    EXPECT_EQ(0, block->mNotices);
    entry = wrapper;
    EXPECT_STREQ("Mass", entry.GetName().ToChars());
}

TEST(KQoxUserPropertyTest, DefaultValuesByKind)
{
    KQoxSdkManager manager;
    HandlerPtr block(new CountingHandler);
    auto make = [&](const char* name, kPropertyType kind) {
        KProperty* property = block->CreatePropertyFromType(name, kind, nullptr, false, false, nullptr);
        auto* wrapper = manager.CreateKQoxUserProperty(property);
        wrapper->SetPropertyHandler(block.get());
        return wrapper;
    };
    KQoxUserProperty* real = make("Real", kPropertyTypeDouble);
    KQoxUserProperty* integer = make("Integer", kPropertyTypeInt);
    KQoxUserProperty* flag = make("Bool", kPropertyTypeBool);
    KQoxUserProperty* vector = make("Vector", kPropertyTypeVector3D);
    KQoxUserProperty* rgb = make("RGB", kPropertyTypeColorRGB);
    KQoxUserProperty* rgba = make("RGBA", kPropertyTypeColorRGBA);

    double d = 0;
    int i = 0;
    bool b = false;
    real->SetDefaultValue(-std::numeric_limits<double>::max());
    integer->SetDefaultValue(std::numeric_limits<int>::min());
    flag->SetDefaultValue(true);
    real->GetDefaultValue(d);
    integer->GetDefaultValue(i);
    flag->GetDefaultValue(b);
    EXPECT_EQ(-std::numeric_limits<double>::max(), d);
    EXPECT_EQ(std::numeric_limits<int>::min(), i);
    EXPECT_TRUE(b);
    EXPECT_EQ(3, block->mNotices);

    // A three-value default on a number changes nothing and tells nobody.
    real->SetDefaultValue(1.0, 2.0, 3.0);
    real->SetDefaultValue(KQoxColor(0.1, 0.2, 0.3));
    EXPECT_EQ(3, block->mNotices);

    vector->SetDefaultValue(1.0, -2.0, 1e300);
    double x = 0, y = 0, z = 0;
    vector->GetDefaultValue(x, y, z);
    EXPECT_EQ(1.0, x);
    EXPECT_EQ(-2.0, y);
    EXPECT_EQ(1e300, z);

    // Colours: three values are clamped, alpha is always written as 1.
    rgba->SetDefaultValue(KQoxColor(0.2, 0.4, 0.6, 0.5));
    double values[4] = {0, 0, 0, 0};
    rgba->GetKProperty()->GetData(values, 0, nullptr, nullptr);
    EXPECT_EQ(0.2, values[0]);
    EXPECT_EQ(0.6, values[2]);
    EXPECT_EQ(1.0, values[3]);
    rgb->SetDefaultValue(2.0, -1.0, 0.25);
    KQoxColor color(0.0, 0.0, 0.0, 0.3);
    rgb->GetDefaultValue(color);
    EXPECT_EQ(KQoxColor(1.0, 0.0, 0.25, 0.3), color); // alpha left as it was
    EXPECT_EQ(6, block->mNotices);
    KQoxColor untouched(0.5, 0.5, 0.5, 0.5);
    vector->GetDefaultValue(untouched);
    EXPECT_EQ(KQoxColor(0.5, 0.5, 0.5, 0.5), untouched);
}

TEST(KQoxPropertyHandlerTest, CreatesThePropertyOfAnEntryOnce)
{
    struct Case
    {
        const char* type;
        kPropertyType kind;
    };
    const Case cases[] = {{"Bool", kPropertyTypeBool},
                          {"Integer", kPropertyTypeInt},
                          {"Real", kPropertyTypeDouble},
                          {"Vector", kPropertyTypeVector3D},
                          {"Color", kPropertyTypeColorRGB}};

    KQoxSdkManager manager;
    HandlerPtr block(new CountingHandler);
    for (const Case& c : cases)
    {
        KQoxUserProperty* entry = manager.CreateKQoxUserProperty(c.type, c.type, "");
        ASSERT_TRUE(block->CreateKProperty(entry)) << c.type;
        KProperty* property = entry->GetKProperty();
        ASSERT_NE(nullptr, property);
        EXPECT_EQ(c.kind, property->GetPropertyType()) << c.type;
        EXPECT_STREQ(c.type, property->GetPropertyLabel()); // the name stands in for an empty label
        EXPECT_EQ(block.get(), entry->GetPropertyHandler());
        EXPECT_FALSE(property->IsAnimatable());
        EXPECT_FALSE(property->IsAnimated());
        EXPECT_FALSE(block->CreateKProperty(entry)); // a second time: refused, first kept
        EXPECT_EQ(property, entry->GetKProperty());
        // The wrapped property now answers the type, from its value kind.
        EXPECT_EQ(GetPropertyTypeFromName(c.type), entry->GetPropertyType());
        EXPECT_TRUE(*entry == property);
    }
    // Kinds without a user type, and a wrapper of nothing.
    for (kPropertyType kind : {kPropertyTypeEnum, kPropertyTypeString, kPropertyTypeTime})
    {
        KQoxUserProperty wrapper(manager, block->CreatePropertyFromType("K", kind, nullptr, false, false, nullptr));
        EXPECT_EQ(KQoxUserProperty::eUNIDENTIFIED, wrapper.GetPropertyType()) << kind;
    }
    KProperty* rgba = block->CreatePropertyFromType("A", kPropertyTypeColorRGBA, nullptr, false, false, nullptr);
    EXPECT_EQ(KQoxUserProperty::eCOLOR, KQoxUserProperty(manager, rgba).GetPropertyType());
    KQoxUserProperty empty(manager, static_cast<KProperty*>(nullptr));
    EXPECT_FALSE(empty == nullptr);
    EXPECT_STREQ("", empty.GetName().ToChars());
    EXPECT_FALSE(block->CreateKProperty(nullptr));
    KQoxUserProperty* unknown = manager.CreateKQoxUserProperty("Odd", "Matrix44", "Odd");
    EXPECT_FALSE(block->CreateKProperty(unknown));
    EXPECT_EQ(nullptr, unknown->GetKProperty());
}

TEST(KQoxPropertyHandlerTest, FlagsBecomePropertyBitsAndDestroyAllowsAgain)
{
    KQoxSdkManager manager;
    HandlerPtr block(new CountingHandler);
    KQoxUserProperty entry(manager, "Speed", KQoxUserProperty::eREAL, "Speed (m/s)",
                           KQoxUserProperty::eANIMATABLE | KQoxUserProperty::eUSER | KQoxUserProperty::eTEMPORARY);
    ASSERT_TRUE(block->CreateKProperty(&entry));
    KProperty* property = entry.GetKProperty();
    EXPECT_TRUE(property->IsAnimatable());
    EXPECT_TRUE(property->IsAnimated());
    EXPECT_TRUE(property->IsUserProperty());
    EXPECT_TRUE(property->IsTemporary());
    EXPECT_STREQ("Speed (m/s)", property->GetPropertyLabel());
    const int count = block->GetPropertyCount();

    EXPECT_TRUE(block->DestroyKProperty(&entry));
    EXPECT_EQ(nullptr, entry.GetKProperty());
    EXPECT_EQ(count - 1, block->GetPropertyCount());
    EXPECT_FALSE(block->DestroyKProperty(&entry));
    EXPECT_FALSE(block->DestroyKProperty(nullptr));
    EXPECT_TRUE(block->CreateKProperty(&entry));

    // Created by type: never animatable at creation, marked afterwards.
    KProperty* made = block->CreatePropertyFromType("Made", kPropertyTypeDouble, nullptr, true, true, nullptr);
    EXPECT_TRUE(made->IsAnimatable());
    EXPECT_TRUE(made->IsUserProperty());
    EXPECT_TRUE(block->Is(KQoxPropertyHandler::ClassId));
    EXPECT_TRUE(block->Is(KObject::ClassId));
    EXPECT_STREQ("KQoxPropertyHandler", block->GetClassIdName());
}
