#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/kstringlist.h"

namespace {

typedef std::vector<std::string> Strings;

Strings Texts(const KStringList& list)
{
    Strings texts;
    for (int i = 0; i < list.GetCount(); ++i)
        texts.push_back(list.GetStringAt(i));
    return texts;
}

std::string Text(KStringList& list)
{
    KString out;
    list.GetText(out);
    return out.ToChars();
}

} // namespace

TEST(KStringListTest, InsertRemoveAndLookups)
{
    KStringList list;
    EXPECT_EQ(list.Add("b", 2), 0);
    EXPECT_EQ(list.Add("c", 0), 1);
    EXPECT_EQ(list.InsertAt(0, "a", 1), 0);
    EXPECT_EQ(list.InsertAt(100, "d", 4), 3); // clamped to the count
    EXPECT_EQ(Texts(list), (Strings{"a", "b", "c", "d"}));
    EXPECT_TRUE(list.GetStringAt(4) == nullptr && list.GetStringAt(-1) == nullptr);
    EXPECT_EQ(list.FindIndex(kReference(2)), 1);
    EXPECT_EQ(list.FindIndex("C"), -1);
    // An absent text and a text whose reference is 0 both answer 0.
    EXPECT_EQ(list.FindReference("zzz"), 0u);
    EXPECT_EQ(list.FindReference("c"), 0u);
    EXPECT_EQ(list.FindReference("d"), 4u);
    EXPECT_FALSE(list.SetStringAt(4, "x"));

    EXPECT_TRUE(list.Remove(*list.GetItemAt(2)));
    KStringListItem stranger("b", 2);
    EXPECT_FALSE(list.Remove(stranger)); // items are found by identity
    EXPECT_TRUE(list.Remove("a"));
    EXPECT_FALSE(list.Remove("a"));
    list.RemoveLast();
    EXPECT_EQ(Texts(list), (Strings{"b"}));
    EXPECT_EQ(list.InsertItemAt(0, new KStringListItem("y", 25)), 0); // owned by the list
    // References are pointer-sized.
    int object = 0;
    list.SetReferenceAt(1, reinterpret_cast<kReference>(&object));
    EXPECT_EQ(list.FindIndex(reinterpret_cast<kReference>(&object)), 1);
    list.Clear();
    list.RemoveLast(); // nothing to remove
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(KStringListTest, SortAndFindEqualIgnoreCase)
{
    KStringList list;
    list.Add("delta", 4);
    list.Add("ABC", 1);
    list.Add("Charlie", 3);
    list.Add("bravo", 2);
    list.Sort();
    EXPECT_EQ(Texts(list), (Strings{"ABC", "bravo", "Charlie", "delta"}));
    KStringListItem** slot = list.FindEqual("CHARLIE");
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ((*slot)->mReference, 3u);
    EXPECT_EQ(list.FindEqual("echo"), nullptr);
    EXPECT_EQ(KStringList().FindEqual("abc"), nullptr);
}

TEST(KStringListTest, TildeTextRoundTrip)
{
    KStringList list;
    for (const char* s : {"first", "", "third portion", "last"})
        list.Add(s, 7);
    EXPECT_EQ(Text(list), "first~~third portion~last");
    KStringList back;
    EXPECT_EQ(back.SetText("first~~third portion~last"), 3);
    EXPECT_EQ(Texts(back), Texts(list));
    KString out("head:"); // GetText appends
    back.GetText(out);
    EXPECT_STREQ(out, "head:first~~third portion~last");
    // The portion after the last "~" is added only when it is not empty.
    const struct
    {
        const char* text;
        int result;
        Strings items;
    } cases[] = {
        {"a~", 0, {"a"}}, {"~a", 1, {"", "a"}}, {"~~", 1, {"", ""}}, {"", 0, {}}, {nullptr, 0, {}}, {"one", 0, {"one"}},
    };
    for (const auto& c : cases)
    {
        list.Add("old", 1);
        EXPECT_EQ(list.SetText(c.text), c.result) << (c.text ? c.text : "null");
        EXPECT_EQ(Texts(list), c.items) << (c.text ? c.text : "null");
    }
    // The text may come from the list itself.
    list.SetText("x~y~z");
    EXPECT_EQ(list.SetText(list.GetStringAt(1)), 0);
    EXPECT_EQ(Texts(list), (Strings{"y"}));
}

TEST(KStringListTest, CopyAndAssignment)
{
    KStringList list;
    list.Add("a", 1);
    list.Add("b", 2);
    KStringList copy(list), assigned;
    assigned.Add("zz", 9);
    assigned = list;
    for (KStringList* l : {&copy, &assigned})
    {
        EXPECT_EQ(Texts(*l), Texts(list));
        EXPECT_EQ(l->GetReferenceAt(1), 2u);
        EXPECT_NE(l->GetItemAt(0), list.GetItemAt(0));
    }
    assigned.SetStringAt(0, "changed");
    EXPECT_STREQ(list.GetStringAt(0), "a");
    // Assigning or copying a list onto itself keeps its items.
    KStringList& alias = list;
    list = alias;
    list.CopyFrom(&list);
    EXPECT_EQ(Texts(list), (Strings{"a", "b"}));
    EXPECT_EQ(list.GetReferenceAt(1), 2u);
}
