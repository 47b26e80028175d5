// Properties: construction, names, ranges, value kinds and their conversions,
// enumerations, references and copies.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/ktime.h"
#include "object/kproperty.h"
#include "object_test_helpers.h"

namespace {

// An owner with a getter, a setter and a to-string function, that records the
// data notifications of its properties and may refuse renames.
class Holder : public TObject
{
public:
    Holder() : TObject("H") {}
    double GetValue() { return 42.0; }
    void SetValue(double value) { mSet = value; }
    char* ModeName(int value)
    {
        snprintf(mText, sizeof(mText), "mode%d", value);
        return mText;
    }
    bool PlugDataNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, void* a, void* b,
                        int value) override
    {
        NotifyLog().push_back("H:data " + std::to_string(action) + " " + PlugName(plug));
        return KObject::PlugDataNotify(callstack, action, plug, a, b, value);
    }
    bool PlugStateNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, void* a, void* b,
                         int value) override
    {
        bool result = TObject::PlugStateNotify(callstack, action, plug, a, b, value);
        if (action == kPlugNameChanging && mRefuseRename)
            return false;
        return result;
    }

    double mSet = 0.0;
    bool mRefuseRename = false;
    char mText[32] = {};
};

KPropertyToString ModeNameFunction()
{
    return static_cast<KPropertyToString>(&Holder::ModeName);
}

template <class T>
KPropertyTemplate<T>* Bare()
{
    KPropertyTemplate<T>* p = new KPropertyTemplate<T>();
    p->Init();
    return p;
}

std::string Str(const KString& s)
{
    return std::string(s.ToChars() ? s.ToChars() : "(invalid)");
}

} // namespace

TEST(Property, FullConstructionNamesTypesAndAddsToOwner)
{
    Holder* owner = new Holder();
    ClearLog();
    auto* p = new KPropertyTemplate<double>(owner, "Wei\"ght", KDataTypeWeight::DataType, true, nullptr,
                                            KProperty::eAnimated);
    EXPECT_STREQ(p->GetPropertyName(), "Weight"); // double quotes dropped
    EXPECT_TRUE(p->GetFlag(KPropertyInfo::eNameOwned));
    EXPECT_EQ(p->GetPropertyType(), kPropertyTypeDouble);
    EXPECT_EQ(p->GetPropertyDataType(), KDataTypeWeight::DataType);
    EXPECT_TRUE(p->IsUserProperty());
    EXPECT_TRUE(p->IsDynamic());
    EXPECT_TRUE(p->IsAnimated());
    EXPECT_FALSE(p->IsAnimatable());
    EXPECT_EQ(owner->GetPropertyCount(), 1);
    EXPECT_EQ(p->GetOwnerObject(), owner);
    EXPECT_EQ(p->GetPropertyInfo().GetWorldIndex(), 65535);
    std::vector<std::string> expected = {"H:state 27 prop:Wei\"ght", "H:state 28 prop:Weight",
                                         "H:property 8 prop:Weight dynamic", "H:property 11 prop:Weight dynamic"};
    EXPECT_EQ(NotifyLog(), expected);
    owner->Destroy(); // takes its dynamic property with it
}

TEST(Property, RenameRefusedByTheOwnerKeepsTheName)
{
    Holder* owner = new Holder();
    owner->mRefuseRename = true;
    // The refused name stays the caller's pointer.
    static const char kName[] = "Start";
    auto* p = new KPropertyTemplate<int>(owner, kName, nullptr, false, nullptr, 0);
    EXPECT_EQ(p->GetPropertyName(), kName);
    EXPECT_FALSE(p->GetFlag(KPropertyInfo::eNameOwned));
    EXPECT_FALSE(p->SetPropertyName("Other", false));
    EXPECT_STREQ(p->GetPropertyName(), "Start");
    owner->mRefuseRename = false;
    EXPECT_TRUE(p->SetPropertyName("Other", false));
    EXPECT_STREQ(p->GetPropertyName(), "Other");
    owner->Destroy();
}

TEST(Property, ValidatePropertyNameMakesItUnique)
{
    KObject* owner = new KObject();
    new KPropertyTemplate<double>(owner, "Weight", nullptr, false, nullptr, 0);
    new KPropertyTemplate<double>(owner, "Leg07", nullptr, false, nullptr, 0);
    auto* fresh = new KPropertyTemplate<double>(owner, "Fresh", nullptr, false, nullptr, 0);

    KString name("Weight");
    fresh->ValidatePropertyName(name);
    EXPECT_EQ(Str(name), "Weight 1");
    name = "Leg07";
    fresh->ValidatePropertyName(name);
    EXPECT_EQ(Str(name), "Leg8");
    name = "  ";
    fresh->ValidatePropertyName(name);
    EXPECT_EQ(Str(name), "1");
    name = "  Unused  ";
    fresh->ValidatePropertyName(name);
    EXPECT_EQ(Str(name), "Unused");
    name = "Fresh"; // the property's own name is no clash
    fresh->ValidatePropertyName(name);
    EXPECT_EQ(Str(name), "Fresh");
    name = "weight"; // names differ by case
    fresh->ValidatePropertyName(name);
    EXPECT_EQ(Str(name), "weight");
    // A run of digits too long for a number does not overflow.
    name = "Big99999999999999999999999";
    fresh->ValidatePropertyName(name);
    EXPECT_EQ(Str(name), "Big99999999999999999999999");
    owner->Destroy();
}

TEST(Property, DuplicatePropertyNamesGetTheNextFreeNumber)
{
    KObject* owner = new KObject();
    new KPropertyTemplate<double>(owner, "Weight", nullptr, false, nullptr, 0);
    new KPropertyTemplate<double>(owner, "Weight 1", nullptr, false, nullptr, 0);
    new KPropertyTemplate<double>(owner, "Leg8", nullptr, false, nullptr, 0);
    new KPropertyTemplate<double>(owner, "Leg07", nullptr, false, nullptr, 0);
    // The plain constructor does not validate: a duplicate stays a duplicate.
    auto* dup = new KPropertyTemplate<double>(owner, "Weight", nullptr, false, nullptr, 0);
    EXPECT_STREQ(dup->GetPropertyName(), "Weight");

    KString name("Weight");
    dup->ValidatePropertyName(name); // the other "Weight" and "Weight 1" are taken
    EXPECT_EQ(Str(name), "Weight 2");
    name = "Leg07";
    dup->ValidatePropertyName(name); // "Leg8" is taken too
    EXPECT_EQ(Str(name), "Leg9");

    EXPECT_TRUE(dup->SetPropertyName("Leg07", true));
    EXPECT_STREQ(dup->GetPropertyName(), "Leg9");
    EXPECT_EQ(owner->FindPropertyByName("Leg9"), dup);
    owner->Destroy();
}

TEST(Property, GetterAndSetterAreCalledOnTheOwner)
{
    Holder* owner = new Holder();
    KPropertyTemplate<double>* p = Bare<double>();
    p->SetPropertyInfo("V", owner,
                       KPropertyMemberCast<KPropertyAccessor>(static_cast<double (KPlug::*)()>(
                           static_cast<double (Holder::*)()>(&Holder::GetValue))),
                       KPropertyMemberCast<KPropertyAccessor>(static_cast<void (KPlug::*)(double)>(
                           static_cast<void (Holder::*)(double)>(&Holder::SetValue))));
    ClearLog();
    EXPECT_EQ(p->Get(), 42.0);
    p->Set(7.0);
    EXPECT_EQ(owner->mSet, 7.0);
    EXPECT_EQ(p->AsDouble(), 42.0); // the stored value comes from the getter again
    EXPECT_TRUE(p->SetDouble(8.0));
    EXPECT_EQ(owner->mSet, 8.0);
    std::vector<std::string> expected = {"H:data 20 prop:V", "H:data 21 prop:V", "H:data 20 prop:V",
                                         "H:data 21 prop:V"};
    EXPECT_EQ(NotifyLog(), expected);
    owner->DisconnectOwnedPlug(p);
    delete p;
    owner->Destroy();
}

TEST(Property, RangeNotifiesOnlyOnChange)
{
    TPlug listener("L");
    listener.mRecordState = true;
    KPropertyTemplate<double> p;
    p.RegisterNotify(&listener);
    ClearLog();
    EXPECT_EQ(p.GetPropertyMin(), 0.0);
    EXPECT_EQ(p.GetPropertyMax(), 100.0);
    EXPECT_TRUE(p.SetPropertyMinMax(0.0, 100.0));
    EXPECT_TRUE(NotifyLog().empty());
    EXPECT_TRUE(p.SetPropertyMin(1.0));
    ASSERT_EQ(NotifyLog().size(), 1u);
    EXPECT_EQ(NotifyLog()[0], "L:state31 prop:");
    EXPECT_EQ(p.GetPropertyMin(), 1.0);
    EXPECT_TRUE(p.SetPropertyMax(std::nan(""))); // a NaN always counts as a change
    EXPECT_TRUE(p.SetPropertyMax(std::nan("")));
    EXPECT_EQ(NotifyLog().size(), 3u);
    p.RemoveNotify(&listener);
}

TEST(Property, FlagsAndLabel)
{
    KPropertyTemplate<int> p;
    EXPECT_TRUE(p.GetEnable());
    p.SetEnable(false);
    EXPECT_EQ(p.GetPropertyFlag(), KProperty::eDisabled);
    p.SetEnable(true);
    p.SetReadOnly(true);
    EXPECT_EQ(p.GetPropertyFlag(), 32);
    p.GetPropertyInfo().SetAsStringFunc(ModeNameFunction());
    EXPECT_TRUE(p.GetFlag(KPropertyInfo::eHasToString));
    p.GetPropertyInfo().SetAsStringFunc(nullptr);
    EXPECT_FALSE(p.GetFlag(KPropertyInfo::eHasToString));
    p.SetPropertyLabel("Label");
    EXPECT_STREQ(p.GetPropertyLabel(), "Label");
    p.SetPropertyLabel(""); // an empty label is none
    EXPECT_EQ(p.GetPropertyLabel(), nullptr);
}

TEST(Property, TypeNames)
{
    const char* names[19] = {"unknown",  "int",       "bool",   "float",     "double",       "charptr", "enum",
                             "KTime",    "KString",   "object", "event",     "stringlist",   "Vector4D", "Vector3D",
                             "ColorRGB", "ColorRGBA", "Action", "Reference", "VectorElement"};
    KProperty p;
    for (int i = 0; i < 19; ++i)
    {
        EXPECT_STREQ(kPropertyTypeNames[i], names[i]);
        p.SetPropertyType(i);
        EXPECT_STREQ(p.GetPropertyTypeName(), names[i]);
        EXPECT_EQ(KProperty::GetPropertyTypeFromTypeName(names[i]), i);
    }
    EXPECT_EQ(KProperty::GetPropertyTypeFromTypeName("Double"), 0); // case matters
    EXPECT_EQ(KProperty::GetPropertyTypeFromTypeName("Reference"), 17);
    EXPECT_EQ(KProperty::GetPropertyTypeFromTypeName(""), 0);
    EXPECT_EQ(KProperty::GetPropertyTypeFromTypeName(nullptr), 0);
    p.SetPropertyType(19);
    EXPECT_STREQ(p.GetPropertyTypeName(), "unknown");
    p.SetPropertyType(-1);
    EXPECT_STREQ(p.GetPropertyTypeName(), "unknown");
}

namespace {
enum EMode
{
    eModeA,
    eModeB,
    eModeC
};
} // namespace

TEST(Property, TypeCodesOfTheValueTypes)
{
    EXPECT_EQ(KPropertyGetType(static_cast<double*>(nullptr)), 4);
    EXPECT_EQ(KPropertyGetType(static_cast<float*>(nullptr)), 3);
    EXPECT_EQ(KPropertyGetType(static_cast<bool*>(nullptr)), 2);
    EXPECT_EQ(KPropertyGetType(static_cast<int*>(nullptr)), 1);
    EXPECT_EQ(KPropertyGetType(static_cast<char**>(nullptr)), 5);
    EXPECT_EQ(KPropertyGetType(static_cast<KTime*>(nullptr)), 7);
    EXPECT_EQ(KPropertyGetType(static_cast<KString*>(nullptr)), 8);
    EXPECT_EQ(KPropertyGetType(static_cast<KObject**>(nullptr)), 9);
    EXPECT_EQ(KPropertyGetType(static_cast<KgeTVector*>(nullptr)), 13);
    EXPECT_EQ(KPropertyGetType(static_cast<KgeRGBVector*>(nullptr)), 14);
    EXPECT_EQ(KPropertyGetType(static_cast<KgeRGBAVector*>(nullptr)), 15);
    EXPECT_EQ(KPropertyGetType(static_cast<KProperty**>(nullptr)), 17);
    EXPECT_EQ(KPropertyGetType(static_cast<EMode*>(nullptr)), 6);

    // An enumeration property reads and writes like an int one.
    KPropertyTemplate<EMode> mode;
    mode.Init();
    EXPECT_EQ(mode.GetPropertyType(), kPropertyTypeEnum);
    EXPECT_TRUE(mode.SetInteger(2));
    EXPECT_EQ(mode.Get(), eModeC);
    mode.Set(eModeB);
    EXPECT_EQ(mode.AsInteger(), 1);
    EXPECT_EQ(mode.AsDouble(), 1.0);
}

TEST(Property, DataTypeFromTheValueKind)
{
    KProperty p;
    const struct
    {
        int mType;
        KDataType* mExpected;
    } rows[] = {{4, KDataTypeNumber::DataType},
                {7, KDataTypeTime::DataType},
                {12, KDataTypeVector4::DataType},
                {13, KDataTypeVector::DataType},
                {14, KDataTypeColor::DataType},
                {15, KDataTypeColorAndAlpha::DataType},
                {0, nullptr},
                {1, nullptr},
                {2, nullptr},
                {3, nullptr},
                {6, nullptr},
                {16, nullptr}};
    for (const auto& row : rows)
    {
        p.SetPropertyType(row.mType);
        EXPECT_EQ(p.GetPropertyDataType(), row.mExpected) << row.mType;
    }
    p.SetPropertyType(4);
    p.SetPropertyDataType(KDataTypeFieldOfView::DataType);
    EXPECT_EQ(p.GetPropertyDataType(), KDataTypeFieldOfView::DataType);
}

TEST(Property, IntegerAndDoubleConversions)
{
    KPropertyTemplate<int> i;
    i.Init();
    EXPECT_TRUE(i.SetDouble(2.9));
    EXPECT_EQ(i.AsInteger(), 2);
    i.SetDouble(-2.9);
    EXPECT_EQ(i.AsInteger(), -2);
    EXPECT_EQ(i.AsDouble(), -2.0);
    EXPECT_TRUE(i.SetInteger(-7));
    EXPECT_EQ(i.Get(), -7);

    KPropertyTemplate<bool> b;
    b.Init();
    b.Set(true);
    EXPECT_TRUE(b.SetDouble(0.4));
    EXPECT_EQ(b.AsInteger(), 0);
    EXPECT_TRUE(b.SetInteger(5));
    EXPECT_EQ(b.AsInteger(), 1);
    EXPECT_EQ(b.Get(), true);
    EXPECT_EQ(b.AsDouble(), 1.0);
    b.SetPropertyType(kPropertyTypeAction); // the second bool kind
    EXPECT_TRUE(b.SetInteger(0));
    EXPECT_EQ(b.Get(), false);

    KPropertyTemplate<float> f;
    f.Init();
    EXPECT_TRUE(f.SetDouble(1.5));
    EXPECT_EQ(f.AsDouble(), 1.5);
    EXPECT_EQ(f.AsInteger(), 0);
    EXPECT_FALSE(f.SetInteger(3));
    EXPECT_EQ(f.Get(), 1.5f);

    KPropertyTemplate<double> d;
    d.Init();
    EXPECT_TRUE(d.SetDouble(2.75));
    EXPECT_EQ(d.AsDouble(), 2.75);
    EXPECT_EQ(d.AsInteger(), 0); // a double has no integer form
    EXPECT_FALSE(d.SetInteger(1));
    EXPECT_EQ(d.Get(), 2.75);

    KPropertyTemplate<KString> s;
    s.Init();
    EXPECT_FALSE(s.SetDouble(1.0));
    EXPECT_FALSE(s.SetInteger(1));
    EXPECT_EQ(s.AsDouble(), 0.0);
    EXPECT_EQ(s.AsInteger(), 0);

    KPropertyTemplate<KgeTVector> v;
    v.Init();
    EXPECT_FALSE(v.SetDouble(1.0));
    EXPECT_EQ(v.Get().x, 0.0);
}

TEST(Property, TextOfEachKind)
{
    KPropertyTemplate<int> i;
    i.Init();
    i.Set(-12);
    EXPECT_EQ(Str(i.AsString()), "-12");

    KPropertyTemplate<bool> b;
    b.Init();
    EXPECT_EQ(Str(b.AsString()), "False");
    b.Set(true);
    EXPECT_EQ(Str(b.AsString()), "True");

    KPropertyTemplate<float> f;
    f.Init();
    f.Set(1.5f);
    EXPECT_EQ(Str(f.AsString()), "1.500000");
    KPropertyTemplate<double> d;
    d.Init();
    d.Set(-0.25);
    EXPECT_EQ(Str(d.AsString()), "-0.250000");

    KPropertyTemplate<char*> c;
    c.Init();
    EXPECT_EQ(Str(c.AsString()), ""); // no text stored yet
    static char text[] = "pointer";
    EXPECT_TRUE(c.SetString(text));
    EXPECT_EQ(c.Get(), text); // the pointer, not a copy
    EXPECT_EQ(Str(c.AsString()), "pointer");

    KPropertyTemplate<KString> s;
    s.Init();
    EXPECT_TRUE(s.SetString("words"));
    EXPECT_EQ(Str(s.Get()), "words");
    EXPECT_EQ(Str(s.AsString()), "words");

    KPropertyTemplate<KTime> t;
    t.Init();
    KTime when(KTIME_ONE_SECOND_TICKS * 61);
    t.Set(when);
    char expected[KTIME_STRING_SIZE];
    when.GetTimeString(expected, sizeof(expected), 5, 0, 2);
    EXPECT_EQ(Str(t.AsString()), expected);

    KPropertyTemplate<KgeTVector> v;
    v.Init();
    v.Set(KgeTVector(1, 2, 3, 9));
    EXPECT_EQ(Str(v.AsString()), "{1.000000,2.000000,3.000000}");

    KPropertyTemplate<KgeRGBVector> rgb;
    rgb.Init();
    rgb.Set(KgeRGBVector(0.5, 0.25, 0.125, 7.0));
    EXPECT_EQ(Str(rgb.AsString()), "{0.500000,0.250000,0.125000,1.000000}"); // the fourth stays 1

    KPropertyTemplate<KgeRGBAVector> rgba;
    rgba.Init();
    rgba.Set(KgeRGBAVector(0.5, 0.25, 0.125, 0.75));
    EXPECT_EQ(Str(rgba.AsString()), "{0.500000,0.250000,0.125000,0.750000}");

    // No text form, and no string to store.
    KPropertyTemplate<KProperty*> r;
    r.Init();
    EXPECT_EQ(Str(r.AsString()), "?");
    KProperty bare;
    EXPECT_EQ(Str(bare.AsString()), "?");
    for (int kind : {0, 10, 11, 18})
    {
        bare.SetPropertyType(kind);
        EXPECT_EQ(Str(bare.AsString()), "?") << kind;
    }
    EXPECT_FALSE(i.SetString("5"));
    EXPECT_EQ(i.Get(), -12);
}

TEST(Property, TextOfAnObjectValue)
{
    KPropertyTemplate<KObject*> o;
    o.Init();
    EXPECT_EQ(Str(o.AsString()), "Object!");
    o.GetPropertyInfo().ModifyFlag(KPropertyInfo::eObjectList, true);
    EXPECT_EQ(Str(o.AsString()), "ObjectList!");
    KObject* named = new KObject();
    named->SetObjectName("Cube");
    o.Set(named);
    EXPECT_EQ(Str(o.AsString()), named->GetObjectFullName());
    EXPECT_EQ(Str(o.AsString()), "Cube");
    o.Set(nullptr);
    named->Destroy();
}

TEST(Property, EnumerationStringList)
{
    Holder* owner = new Holder();
    auto* p = new KPropertyTemplate<int>(owner, "Mode", KDataTypeEnum::DataType, false, nullptr, 0);
    p->SetPropertyType(kPropertyTypeEnum);
    EXPECT_EQ(p->GetEnumStringList(false), nullptr);
    EXPECT_EQ(p->GetValueAsString(0), nullptr);
    KStringList* list = p->GetEnumStringList(true);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(p->GetEnumStringList(true), list); // made once
    EXPECT_EQ(list->GetCount(), 0);
    list->Add("Off");
    list->Add("On");
    ClearLog();
    p->NotifyEnumStringListChanged();
    EXPECT_EQ(NotifyLog(), std::vector<std::string>{"H:state 31 prop:Mode"});

    EXPECT_STREQ(p->GetValueAsString(1), "On");
    EXPECT_EQ(p->GetValueAsString(2), nullptr);  // past the end
    EXPECT_EQ(p->GetValueAsString(-1), nullptr); // a negative index is refused
    p->SetInteger(0);
    EXPECT_EQ(Str(p->AsString()), "Off");
    p->SetInteger(5);
    EXPECT_EQ(Str(p->AsString()), "");
    EXPECT_EQ(p->AsInteger(), 5);

    // The list of a property that is not a user property is its maker's.
    owner->Destroy();
    delete list;
}

TEST(Property, EnumerationThroughTheOwnersToStringFunction)
{
    Holder* owner = new Holder();
    auto* p = new KPropertyTemplate<int>(owner, "Order", nullptr, false, nullptr, 0);
    p->SetPropertyType(kPropertyTypeEnum);
    p->GetPropertyInfo().SetAsStringFunc(ModeNameFunction());
    EXPECT_STREQ(p->GetValueAsString(3), "mode3");
    p->Set(4);
    EXPECT_EQ(Str(p->AsString()), "mode4");
    // The slot holds the function: it is never read (or replaced) as a list.
    EXPECT_EQ(p->GetEnumStringList(false), nullptr);
    EXPECT_EQ(p->GetEnumStringList(true), nullptr);
    EXPECT_STREQ(p->GetValueAsString(1), "mode1");

    // A user property does not use the function.
    auto* u = new KPropertyTemplate<int>(owner, "UserOrder", nullptr, true, nullptr, 0);
    u->GetPropertyInfo().SetAsStringFunc(ModeNameFunction());
    EXPECT_EQ(u->GetValueAsString(1), nullptr);
    EXPECT_EQ(u->GetEnumStringList(true), nullptr);

    // Without an owner the function cannot be called.
    KPropertyTemplate<int> orphan;
    orphan.GetPropertyInfo().SetAsStringFunc(ModeNameFunction());
    EXPECT_EQ(orphan.GetValueAsString(1), nullptr);
    owner->Destroy();
}

TEST(Property, UserPropertyOwnsItsEnumeration)
{
    KObject* owner = new KObject();
    auto* p = new KPropertyTemplate<int>(owner, "Choice", nullptr, true, nullptr, 0);
    KStringList* list = p->GetEnumStringList(true);
    list->Add("A");
    list->Add("B");
    EXPECT_STREQ(p->GetValueAsString(0), "A");
    owner->Destroy(); // deletes the property and its list
}

TEST(Property, References)
{
    KObject* a = new KObject();
    KObject* b = new KObject();
    auto* target = new KPropertyTemplate<double>(a, "Target", nullptr, false, nullptr, 0);
    auto* other = new KPropertyTemplate<double>(a, "Other", nullptr, false, nullptr, 0);
    EXPECT_EQ(target->GetRefProperty(), target); // not a reference
    EXPECT_FALSE(target->IsReferenceProperty());

    auto* ref = new KPropertyTemplate<KProperty*>(b, "Ref", nullptr, true, target, 0);
    EXPECT_TRUE(ref->IsReferenceProperty());
    EXPECT_EQ(ref->GetRefProperty(), target);
    EXPECT_EQ(target->GetReferencePropertyCount(), 1);
    EXPECT_EQ(target->GetReferenceProperty(0), ref);
    EXPECT_EQ(target->GetReferenceProperty(1), nullptr);
    EXPECT_EQ(target->GetReferenceProperty(-1), nullptr);
    EXPECT_EQ(other->GetReferencePropertyCount(), 0);

    // Only properties count: a plain plug among the connections is not seen.
    TPlug plug("P");
    plug.mRecord = false;
    KPlug::ConnectPlug(target, &plug, kConnectionNormal);
    EXPECT_EQ(target->GetDstCount(), 2);
    EXPECT_EQ(target->GetReferencePropertyCount(), 1);
    KPropertyTemplate<KProperty*> lone;
    lone.Init();
    lone.ConnectSrc(&plug);
    EXPECT_EQ(lone.GetRefProperty(), nullptr);
    lone.ConnectSrc(other);
    EXPECT_EQ(lone.GetRefProperty(), other);
    lone.DisconnectAllSrc();
    KPlug::DisconnectPlug(target, &plug);

    // A property that is itself a sub-plug has no references.
    KPropertyTemplate<double> sub;
    sub.SetFilter(nullptr, KPlug::eSubPlug);
    sub.ConnectDst(ref);
    EXPECT_EQ(sub.GetReferencePropertyCount(), 0);
    sub.DisconnectAllDst();

    // Cutting the link from the target side removes the reference property.
    HdlKPlug hdl(ref);
    target->DisconnectAllDst();
    EXPECT_EQ(hdl.Get(), nullptr);
    EXPECT_EQ(target->GetReferencePropertyCount(), 0);
    b->Destroy();
    a->Destroy();
}

TEST(Property, CopyValueOnlyBetweenEqualTypes)
{
    KPropertyTemplate<KString> a, b;
    a.Init();
    b.Init();
    a.Set(KString("text"));
    EXPECT_FALSE(b.CopyPropertyValueFrom(&a)); // false in every case
    EXPECT_EQ(Str(b.Get()), "text");
    EXPECT_FALSE(b.CopyPropertyValueFrom(nullptr));
    EXPECT_FALSE(b.CopyPropertyValueFrom(&b));

    KPropertyTemplate<KgeTVector> v, w;
    v.Init();
    w.Init();
    v.Set(KgeTVector(1, 2, 3, 9));
    EXPECT_FALSE(w.CopyAnimationFrom(&v));
    KgeTVector got = w.Get();
    EXPECT_EQ(got.x, 1.0);
    EXPECT_EQ(got.z, 3.0);
    EXPECT_EQ(got.w, 1.0); // only three components are carried

    KPropertyTemplate<double> d;
    d.Init();
    d.Set(5.0);
    EXPECT_FALSE(v.CopyPropertyValueFrom(&d));
    EXPECT_EQ(v.Get().x, 1.0);

    // Assignment between properties reads, writes and stores.
    KPropertyTemplate<double> e;
    e.Init();
    e = d;
    EXPECT_EQ(e.Get(), 5.0);
    e = 6.5;
    EXPECT_EQ(static_cast<double>(e), 6.5);
}

TEST(Property, ClonedUserPropertyTakesTheKindOfItsDataType)
{
    KObject* from = new KObject();
    KObject* to = new KObject();
    KProperty* p =
        from->CreatePropertyFromType("P", kPropertyTypeInt, KDataTypeNumber::DataType, false, true, nullptr);
    KProperty* clone = to->CloneUserProperty(p);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->GetPropertyType(), kPropertyTypeDouble);
    EXPECT_EQ(clone->GetPropertyDataType(), KDataTypeNumber::DataType);
    KProperty* c =
        from->CreatePropertyFromType("C", kPropertyTypeVector3D, KDataTypeColor::DataType, false, true, nullptr);
    EXPECT_EQ(to->CloneUserProperty(c)->GetPropertyType(), kPropertyTypeColorRGB);
    from->Destroy();
    to->Destroy();
}

TEST(Property, DestroyingTheHolderOfAReferenceKeepsItAliveUntilBothSidesAreCut)
{
    KObject* a = new KObject();
    KObject* b = new KObject();
    auto* target = new KPropertyTemplate<double>(a, "Target", nullptr, false, nullptr, 0);
    auto* ref = new KPropertyTemplate<KProperty*>(b, "Ref", nullptr, true, target, 0);
    HdlKPlug hdl(ref);
    ASSERT_EQ(target->GetReferencePropertyCount(), 1);
    b->Destroy(); // the reference goes with its holder, not half-way through
    EXPECT_EQ(hdl.Get(), nullptr);
    EXPECT_EQ(target->GetReferencePropertyCount(), 0);
    a->Destroy();
}
