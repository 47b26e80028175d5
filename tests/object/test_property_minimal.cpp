// The property base that objects rely on: names, ranges, values, getters
// and setters, copies.

#include <gtest/gtest.h>

#include <cmath>

#include "object/kproperty.h"
#include "object_test_helpers.h"

namespace {

class Holder : public TObject
{
public:
    Holder() : TObject("H") {}
    double GetValue() { return 42.0; }
    void SetValue(double value) { mSet = value; }
    double mSet = 0.0;
};

} // namespace

TEST(PropertyBase, FullConstructionNamesTypesAndAddsToOwner)
{
    Holder owner;
    ClearLog();
    KPropertyTemplate<double> p(&owner, "Wei\"ght", nullptr, true, nullptr, KProperty::eAnimated);
    EXPECT_STREQ(p.GetPropertyName(), "Weight"); // double quotes dropped
    EXPECT_EQ(p.GetPropertyType(), kPropertyTypeDouble);
    EXPECT_TRUE(p.IsUserProperty());
    EXPECT_TRUE(p.IsDynamic());
    EXPECT_TRUE(p.IsAnimated());
    EXPECT_EQ(owner.GetPropertyCount(), 1);
    EXPECT_EQ(p.GetOwnerObject(), &owner);
    std::vector<std::string> expected = {"H:state 27 prop:Wei\"ght", "H:state 28 prop:Weight",
                                         "H:property 8 prop:Weight dynamic", "H:property 11 prop:Weight dynamic"};
    EXPECT_EQ(NotifyLog(), expected);
    owner.PropertyRemoveFromList(&p);
}

TEST(PropertyBase, GetterAndSetterAreCalledOnTheOwner)
{
    Holder owner;
    KPropertyTemplate<double> p;
    p.Init();
    p.SetPropertyInfo("V", &owner,
                      KPropertyMemberCast<KPropertyAccessor>(static_cast<double (KPlug::*)()>(
                          static_cast<double (Holder::*)()>(&Holder::GetValue))),
                      KPropertyMemberCast<KPropertyAccessor>(static_cast<void (KPlug::*)(double)>(
                          static_cast<void (Holder::*)(double)>(&Holder::SetValue))));
    EXPECT_EQ(p.Get(), 42.0);
    p.Set(7.0);
    EXPECT_EQ(owner.mSet, 7.0);
    EXPECT_EQ(p.Get(), 42.0); // the stored value comes from the getter again
}

TEST(PropertyBase, RangeNotifiesOnlyOnChange)
{
    TPlug listener("L");
    listener.mRecordState = true;
    KPropertyTemplate<double> p;
    p.RegisterNotify(&listener);
    ClearLog();
    EXPECT_TRUE(p.SetPropertyMinMax(0.0, 100.0));
    EXPECT_TRUE(NotifyLog().empty());
    EXPECT_TRUE(p.SetPropertyMin(1.0));
    EXPECT_EQ(NotifyLog().size(), 1u);
    EXPECT_EQ(p.GetPropertyMin(), 1.0);
    EXPECT_TRUE(p.SetPropertyMax(std::nan(""))); // a NaN always counts as a change
    EXPECT_EQ(NotifyLog().size(), 2u);
    p.RemoveNotify(&listener);
}

TEST(PropertyBase, IntegerAndDoubleConversions)
{
    KPropertyTemplate<int> i;
    i.Init();
    EXPECT_TRUE(i.SetDouble(2.9));
    EXPECT_EQ(i.AsInteger(), 2);
    i.SetDouble(-2.9);
    EXPECT_EQ(i.AsInteger(), -2);
    KPropertyTemplate<bool> b;
    b.Init();
    b.SetDouble(0.4);
    EXPECT_EQ(b.AsInteger(), 0);
    b.SetInteger(5);
    EXPECT_EQ(b.AsInteger(), 1);
    EXPECT_EQ(b.Get(), true);
    KPropertyTemplate<float> f;
    f.Init();
    f.SetDouble(1.5);
    EXPECT_EQ(f.AsDouble(), 1.5);
    EXPECT_EQ(f.AsInteger(), 0);
    EXPECT_FALSE(f.SetInteger(3));
    KPropertyTemplate<KString> s;
    s.Init();
    EXPECT_FALSE(s.SetDouble(1.0));
    EXPECT_EQ(s.AsDouble(), 0.0);
}

TEST(PropertyBase, CopyValueOnlyBetweenEqualTypes)
{
    KPropertyTemplate<KString> a, b;
    a.Init();
    b.Init();
    a.Set(KString("text"));
    EXPECT_FALSE(b.CopyPropertyValueFrom(&a)); // false in every case
    EXPECT_EQ(std::string(b.Get()), "text");
    KPropertyTemplate<KgeTVector> v, w;
    v.Init();
    w.Init();
    v.Set(KgeTVector(1, 2, 3, 9));
    w.CopyAnimationFrom(&v);
    KgeTVector got = w.Get();
    EXPECT_EQ(got.x, 1.0);
    EXPECT_EQ(got.z, 3.0);
    EXPECT_EQ(got.w, 1.0); // only three components are carried
    KPropertyTemplate<double> d;
    d.Init();
    d.Set(5.0);
    EXPECT_FALSE(v.CopyPropertyValueFrom(&d));
    EXPECT_EQ(v.Get().x, 1.0);
}

TEST(PropertyBase, ValidateNameMakesItUnique)
{
    KObject owner;
    KPropertyTemplate<double> w1(&owner, "Weight", nullptr, false, nullptr, 0);
    KPropertyTemplate<double> leg(&owner, "Leg07", nullptr, false, nullptr, 0);
    KPropertyTemplate<double> fresh(&owner, "Fresh", nullptr, false, nullptr, 0);
    KString name("Weight");
    fresh.ValidatePropertyName(name);
    EXPECT_EQ(std::string(name), "Weight 1");
    name = "Leg07";
    fresh.ValidatePropertyName(name);
    EXPECT_EQ(std::string(name), "Leg8");
    name = "  ";
    fresh.ValidatePropertyName(name);
    EXPECT_EQ(std::string(name), "1");
    EXPECT_TRUE(fresh.SetPropertyName("Weight", true));
    EXPECT_STREQ(fresh.GetPropertyName(), "Weight 1");
    for (int i = owner.GetPropertyCount() - 1; i >= 0; --i)
        owner.PropertyIndexRemoveFromList(i);
}

TEST(PropertyBase, DataTypeKinds)
{
    KDataType number("Number");
    KDataType bare("Custom");
    EXPECT_EQ(DataTypeToPropertyType(&number), 4);
    EXPECT_EQ(DataTypeToPropertyType(&bare), 0);
    EXPECT_EQ(DataTypeToPropertyType(nullptr), 0);
    EXPECT_FALSE(bare.Init(nullptr));
    EXPECT_EQ(bare.GetMemberName(0), nullptr);
    EXPECT_EQ(bare.GetBaseDataType(), &bare);
    // A user property is cloned with the kind its data type names.
    KObject from, to;
    KProperty* p = from.CreatePropertyFromType("P", kPropertyTypeInt, &number, false, true, nullptr);
    KProperty* clone = to.CloneUserProperty(p);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->GetPropertyType(), 4);
    EXPECT_EQ(clone->GetPropertyDataType(), &number);
    // Without a data type the property's own kind is kept.
    KProperty* q = from.CreatePropertyFromType("Q", kPropertyTypeInt, nullptr, false, true, nullptr);
    EXPECT_EQ(to.CloneUserProperty(q)->GetPropertyType(), kPropertyTypeInt);
}

TEST(PropertyBase, PlugListReadsSourcesAsItems)
{
    KPlugListTemplate<KProperty> list;
    KPropertyTemplate<double> a, b;
    list.ConnectSrc(&a);
    list.ConnectSrc(&b);
    EXPECT_EQ(list.Get(1), &b);
    EXPECT_EQ(list.Get(0, -1), &a);
    EXPECT_EQ(list.Get(0, KProperty::ClassId), &a);
    EXPECT_TRUE(list.Is(KPlugList::ClassId));
}
