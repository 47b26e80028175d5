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
    Holder()
        : TObject("H")
    {}
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

// A property of value type T with no owner, optionally holding a value.
template <class T>
struct Prop : KPropertyTemplate<T>
{
    Prop() { this->Init(); }
    explicit Prop(T value)
    {
        this->Init();
        this->Set(value);
    }
};

enum EMode
{
    eModeA,
    eModeB,
    eModeC
};

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
    EXPECT_TRUE(p->IsUserProperty() && p->IsDynamic() && p->IsAnimated());
    EXPECT_EQ(owner->GetProperty(0), p);
    EXPECT_EQ(NotifyLog(), Log({"H:state 27 prop:Wei\"ght", "H:state 28 prop:Weight",
                                "H:property 8 prop:Weight dynamic", "H:property 11 prop:Weight dynamic"}));
    owner->Destroy(); // takes its dynamic property with it
    // A rename refused by the owner keeps the name.
    owner = new Holder();
    owner->mRefuseRename = true;
    // The refused name stays the caller's pointer.
    static const char kName[] = "Start";
    auto* q = new KPropertyTemplate<int>(owner, kName, nullptr, false, nullptr, 0);
    EXPECT_EQ(q->GetPropertyName(), kName);
    EXPECT_FALSE(q->GetFlag(KPropertyInfo::eNameOwned));
    EXPECT_FALSE(q->SetPropertyName("Other", false));
    EXPECT_STREQ(q->GetPropertyName(), "Start");
    owner->mRefuseRename = false;
    EXPECT_TRUE(q->SetPropertyName("Other", false));
    EXPECT_STREQ(q->GetPropertyName(), "Other");
    owner->Destroy();
}

TEST(Property, ValidatePropertyNameMakesItUnique)
{
    KObject* owner = new KObject();
    for (const char* name : {"Weight", "Leg07"})
        new KPropertyTemplate<double>(owner, name, nullptr, false, nullptr, 0);
    auto* fresh = new KPropertyTemplate<double>(owner, "Fresh", nullptr, false, nullptr, 0);
    const char* rows[][2] = {
        {"Weight", "Weight 1"},
        {"Leg07", "Leg8"},
        {"  ", "1"},
        {"  Unused  ", "Unused"},
        {"Fresh", "Fresh"},   // the property's own name is no clash
        {"weight", "weight"}, // names differ by case
        // A run of digits too long for a number does not overflow.
        {"Big99999999999999999999999", "Big99999999999999999999999"},
    };
    for (const auto& row : rows)
    {
        KString name(row[0]);
        fresh->ValidatePropertyName(name);
        EXPECT_EQ(Str(name), row[1]) << row[0];
    }
    // Duplicates: the plain constructor does not validate, a duplicate stays one.
    new KPropertyTemplate<double>(owner, "Weight 1", nullptr, false, nullptr, 0);
    new KPropertyTemplate<double>(owner, "Leg8", nullptr, false, nullptr, 0);
    auto* dup = new KPropertyTemplate<double>(owner, "Weight", nullptr, false, nullptr, 0);
    EXPECT_STREQ(dup->GetPropertyName(), "Weight");
    KString name("Weight");
    dup->ValidatePropertyName(name); // the other "Weight" and "Weight 1" are taken
    EXPECT_EQ(Str(name), "Weight 2");
    EXPECT_TRUE(dup->SetPropertyName("Leg07", true)); // "Leg8" is taken too
    EXPECT_STREQ(dup->GetPropertyName(), "Leg9");
    EXPECT_EQ(owner->FindPropertyByName("Leg9"), dup);
    owner->Destroy();
}

TEST(Property, GetterAndSetterAreCalledOnTheOwner)
{
    Holder* owner = new Holder();
    KPropertyTemplate<double>* p = new Prop<double>();
    p->SetPropertyInfo("V", owner,
                       KPropertyMemberCast<KPropertyAccessor>(
                           static_cast<double (KPlug::*)()>(static_cast<double (Holder::*)()>(&Holder::GetValue))),
                       KPropertyMemberCast<KPropertyAccessor>(static_cast<void (KPlug::*)(double)>(
                           static_cast<void (Holder::*)(double)>(&Holder::SetValue))));
    ClearLog();
    EXPECT_EQ(p->Get(), 42.0);
    p->Set(7.0);
    EXPECT_EQ(owner->mSet, 7.0);
    EXPECT_EQ(p->AsDouble(), 42.0); // the stored value comes from the getter again
    EXPECT_TRUE(p->SetDouble(8.0));
    EXPECT_EQ(owner->mSet, 8.0);
    EXPECT_EQ(NotifyLog(), Log({"H:data 20 prop:V", "H:data 21 prop:V", "H:data 20 prop:V", "H:data 21 prop:V"}));
    owner->DisconnectOwnedPlug(p);
    delete p;
    owner->Destroy();
}

TEST(Property, RangeNotifiesOnlyOnChangeFlagsAndLabel)
{
    TPlug listener("L");
    listener.mRecordState = true;
    KPropertyTemplate<double> p;
    p.RegisterNotify(&listener);
    ClearLog();
    EXPECT_TRUE(p.SetPropertyMinMax(0.0, 100.0)); // the defaults
    EXPECT_TRUE(NotifyLog().empty());
    EXPECT_TRUE(p.SetPropertyMin(1.0));
    EXPECT_EQ(NotifyLog(), Log({"L:state31 prop:"}));
    EXPECT_EQ(p.GetPropertyMin(), 1.0);
    EXPECT_TRUE(p.SetPropertyMax(std::nan(""))); // a NaN always counts as a change
    EXPECT_TRUE(p.SetPropertyMax(std::nan("")));
    EXPECT_EQ(NotifyLog().size(), 3u);
    p.RemoveNotify(&listener);
    // Flags and label.
    p.SetEnable(false);
    p.SetEnable(true);
    p.SetReadOnly(true);
    EXPECT_EQ(p.GetPropertyFlag(), 32);
    p.GetPropertyInfo().SetAsStringFunc(ModeNameFunction());
    EXPECT_TRUE(p.GetFlag(KPropertyInfo::eHasToString));
    p.GetPropertyInfo().SetAsStringFunc(nullptr);
    EXPECT_FALSE(p.GetFlag(KPropertyInfo::eHasToString));
    p.SetPropertyLabel("Label");
    p.SetPropertyLabel(""); // an empty label is none
    EXPECT_EQ(p.GetPropertyLabel(), nullptr);
}

TEST(Property, TypeNamesCodesAndDataTypes)
{
    const char* names[19] = {"unknown",  "int",       "bool",   "float",     "double",       "charptr",  "enum",
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
    for (const char* name : {"Double", "", static_cast<const char*>(nullptr)}) // case matters
        EXPECT_EQ(KProperty::GetPropertyTypeFromTypeName(name), 0);
    for (int outside : {19, -1})
    {
        p.SetPropertyType(outside);
        EXPECT_STREQ(p.GetPropertyTypeName(), "unknown");
    }

#define TYPE_OF(T) KPropertyGetType(static_cast<T*>(nullptr))
    const int codes[] = {TYPE_OF(int),       TYPE_OF(bool),       TYPE_OF(float),        TYPE_OF(double),
                         TYPE_OF(char*),     TYPE_OF(EMode),      TYPE_OF(KTime),        TYPE_OF(KString),
                         TYPE_OF(KObject*),  TYPE_OF(KgeTVector), TYPE_OF(KgeRGBVector), TYPE_OF(KgeRGBAVector),
                         TYPE_OF(KProperty*)};
#undef TYPE_OF
    EXPECT_EQ(std::vector<int>(codes, codes + 13), std::vector<int>({1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 14, 15, 17}));
    // An enumeration property reads and writes like an int one.
    Prop<EMode> mode;
    EXPECT_EQ(mode.GetPropertyType(), kPropertyTypeEnum);
    EXPECT_TRUE(mode.SetInteger(2));
    EXPECT_EQ(mode.Get(), eModeC);
    mode.Set(eModeB);
    EXPECT_EQ(mode.AsInteger(), 1);
    EXPECT_EQ(mode.AsDouble(), 1.0);
    // The data type that goes with a value kind.
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
    Prop<int> i;
    Prop<bool> b(true);
    Prop<float> f;
    Prop<double> d;
    Prop<KString> s;
    Prop<KgeTVector> v;
    // SetDouble(x), then AsInteger and AsDouble; then SetInteger(n), then AsDouble.
    const struct
    {
        KProperty* mProperty;
        double mX;
        bool mSetDouble;
        int mInteger;
        double mDouble;
        int mN;
        bool mSetInteger;
        double mAfter;
    } rows[] = {
        {&i, 2.9, true, 2, 2.0, -7, true, -7.0},
        {&i, -2.9, true, -2, -2.0, 3, true, 3.0}, // towards zero
        {&b, 0.4, true, 0, 0.0, 5, true, 1.0},
        {&f, 1.5, true, 0, 1.5, 3, false, 1.5}, // no integer form: refused, value kept
        {&d, 2.75, true, 0, 2.75, 1, false, 2.75},
        {&s, 1.0, false, 0, 0.0, 1, false, 0.0},
        {&v, 1.0, false, 0, 0.0, 1, false, 0.0},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.mProperty->GetPropertyTypeName());
        EXPECT_EQ(row.mProperty->SetDouble(row.mX), row.mSetDouble);
        EXPECT_EQ(row.mProperty->AsInteger(), row.mInteger);
        EXPECT_EQ(row.mProperty->AsDouble(), row.mDouble);
        EXPECT_EQ(row.mProperty->SetInteger(row.mN), row.mSetInteger);
        EXPECT_EQ(row.mProperty->AsDouble(), row.mAfter);
    }
    EXPECT_EQ(i.Get(), 3);
    EXPECT_EQ(b.Get(), true);
    EXPECT_EQ(f.Get(), 1.5f);
    EXPECT_EQ(v.Get().x, 0.0);
    b.SetPropertyType(kPropertyTypeAction); // the second bool kind
    EXPECT_TRUE(b.SetInteger(0));
    EXPECT_EQ(b.Get(), false);
}

TEST(Property, TextOfEachKind)
{
    static char text[] = "pointer";
    Prop<int> i(-12);
    Prop<bool> no(false), yes(true);
    Prop<float> f(1.5f);
    Prop<double> d(-0.25);
    Prop<char*> none, c;
    Prop<KString> s;
    KTime when(KTIME_ONE_SECOND_TICKS * 61);
    Prop<KTime> t(when);
    char expected[KTIME_STRING_SIZE];
    when.GetTimeString(expected, sizeof(expected), 5, 0, 2);
    Prop<KgeTVector> v(KgeTVector(1, 2, 3, 9));
    Prop<KgeRGBVector> rgb(KgeRGBVector(0.5, 0.25, 0.125, 7.0));
    Prop<KgeRGBAVector> rgba(KgeRGBAVector(0.5, 0.25, 0.125, 0.75));
    Prop<KProperty*> r;
    EXPECT_TRUE(c.SetString(text));
    EXPECT_EQ(c.Get(), text); // the pointer, not a copy
    EXPECT_TRUE(s.SetString("words"));
    EXPECT_EQ(Str(s.Get()), "words");
    const struct
    {
        KProperty* mProperty;
        const char* mText;
    } rows[] = {
        {&i, "-12"},
        {&no, "False"},
        {&yes, "True"},
        {&f, "1.500000"},
        {&d, "-0.250000"},
        {&none, ""}, // no text stored yet
        {&c, "pointer"},
        {&s, "words"},
        {&t, expected},
        {&v, "{1.000000,2.000000,3.000000}"},
        {&rgb, "{0.500000,0.250000,0.125000,1.000000}"}, // the fourth stays 1
        {&rgba, "{0.500000,0.250000,0.125000,0.750000}"},
        {&r, "?"}, // no text form
    };
    for (const auto& row : rows)
        EXPECT_EQ(Str(row.mProperty->AsString()), row.mText) << row.mProperty->GetPropertyTypeName();
    KProperty bare;
    for (int kind : {0, 10, 11, 18})
    {
        bare.SetPropertyType(kind);
        EXPECT_EQ(Str(bare.AsString()), "?") << kind;
    }
    EXPECT_FALSE(i.SetString("5")); // no string to store
    EXPECT_EQ(i.Get(), -12);
    // An object value reads as its full name, or a mark.
    Prop<KObject*> o;
    EXPECT_EQ(Str(o.AsString()), "Object!");
    o.GetPropertyInfo().ModifyFlag(KPropertyInfo::eObjectList, true);
    EXPECT_EQ(Str(o.AsString()), "ObjectList!");
    KObject named;
    named.SetObjectFullName("pre:Cube");
    o.Set(&named);
    EXPECT_EQ(Str(o.AsString()), "pre:Cube");
    o.Set(nullptr);
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
    list->Add("Off");
    list->Add("On");
    ClearLog();
    p->NotifyEnumStringListChanged();
    EXPECT_EQ(NotifyLog(), Log({"H:state 31 prop:Mode"}));
    EXPECT_STREQ(p->GetValueAsString(1), "On");
    EXPECT_EQ(p->GetValueAsString(2), nullptr);  // past the end
    EXPECT_EQ(p->GetValueAsString(-1), nullptr); // a negative index is refused
    p->SetInteger(0);
    EXPECT_EQ(Str(p->AsString()), "Off");
    p->SetInteger(5);
    EXPECT_EQ(Str(p->AsString()), "");
    EXPECT_EQ(p->AsInteger(), 5);
    // The list of a property that is not a user property is its maker's...
    owner->Destroy();
    delete list;
    // ...that of a user property goes with it.
    owner = new Holder();
    p = new KPropertyTemplate<int>(owner, "Choice", nullptr, true, nullptr, 0);
    p->GetEnumStringList(true)->Add("A");
    EXPECT_STREQ(p->GetValueAsString(0), "A");
    owner->Destroy();
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

TEST(Property, References)
{
    KObject* a = new KObject();
    KObject* b = new KObject();
    auto* target = new KPropertyTemplate<double>(a, "Target", nullptr, false, nullptr, 0);
    auto* other = new KPropertyTemplate<double>(a, "Other", nullptr, false, nullptr, 0);
    EXPECT_EQ(target->GetRefProperty(), target); // not a reference
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
    KPlug::ConnectPlug(target, &plug, kConnectionNormal);
    EXPECT_EQ(target->GetDstCount(), 2);
    EXPECT_EQ(target->GetReferencePropertyCount(), 1);
    Prop<KProperty*> lone;
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
    // Destroying the holder of a reference takes the reference along, not half-way.
    ref = new KPropertyTemplate<KProperty*>(b, "Ref", nullptr, true, target, 0);
    hdl = HdlKPlug(ref);
    ASSERT_EQ(target->GetReferencePropertyCount(), 1);
    b->Destroy();
    EXPECT_EQ(hdl.Get(), nullptr);
    EXPECT_EQ(target->GetReferencePropertyCount(), 0);
    a->Destroy();
}

TEST(Property, CopyValueOnlyBetweenEqualTypes)
{
    Prop<KString> a(KString("text")), b;
    EXPECT_FALSE(b.CopyPropertyValueFrom(&a)); // false in every case
    EXPECT_EQ(Str(b.Get()), "text");
    EXPECT_FALSE(b.CopyPropertyValueFrom(nullptr));
    EXPECT_FALSE(b.CopyPropertyValueFrom(&b));

    Prop<KgeTVector> v(KgeTVector(1, 2, 3, 9)), w;
    EXPECT_FALSE(w.CopyAnimationFrom(&v));
    KgeTVector got = w.Get();
    EXPECT_EQ(got.x, 1.0);
    EXPECT_EQ(got.z, 3.0);
    EXPECT_EQ(got.w, 1.0); // only three components are carried
    Prop<double> d(5.0);
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
    KProperty* p = from->CreatePropertyFromType("P", kPropertyTypeInt, KDataTypeNumber::DataType, false, true, nullptr);
    KProperty* clone = to->CloneUserProperty(p);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->GetPropertyType(), kPropertyTypeDouble);
    KProperty* c =
        from->CreatePropertyFromType("C", kPropertyTypeVector3D, KDataTypeColor::DataType, false, true, nullptr);
    EXPECT_EQ(to->CloneUserProperty(c)->GetPropertyType(), kPropertyTypeColorRGB);
    from->Destroy();
    to->Destroy();
}
