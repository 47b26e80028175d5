#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/kstringlist.h"

namespace {

std::vector<std::string> Texts(const KStringList& list)
{
    std::vector<std::string> texts;
    for (int i = 0; i < list.GetCount(); ++i) {
        texts.push_back(list.GetStringAt(i));
    }
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
    EXPECT_EQ(list.InsertAt(100, "d", 4), 3);  // clamped to the count
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(list.GetReferenceAt(3), 4u);

    EXPECT_EQ(list.GetStringAt(list.GetCount()), nullptr);
    EXPECT_EQ(list.GetStringAt(-1), nullptr);

    EXPECT_EQ(list.FindIndex(kReference(2)), 1);
    EXPECT_EQ(list.FindIndex(kReference(9)), -1);
    EXPECT_EQ(list.FindIndex("c"), 2);
    EXPECT_EQ(list.FindIndex("C"), -1);
    // An absent text and a text whose reference is 0 both answer 0.
    EXPECT_EQ(list.FindReference("zzz"), 0u);
    EXPECT_EQ(list.FindReference("c"), 0u);
    EXPECT_EQ(list.FindReference("d"), 4u);

    EXPECT_TRUE(list.SetStringAt(1, "B"));
    EXPECT_FALSE(list.SetStringAt(4, "x"));
    EXPECT_STREQ(list.GetStringAt(1), "B");
    list.SetReferenceAt(1, 22);
    EXPECT_EQ(list.FindReference("B"), 22u);

    KStringListItem* item = list.GetItemAt(2);
    EXPECT_EQ(list.Find(*item), 2);
    EXPECT_EQ(list.FindItem(item), 2);
    EXPECT_TRUE(list.Remove(*item));
    KStringListItem stranger("c", 0);
    EXPECT_EQ(list.Find(stranger), -1);
    EXPECT_FALSE(list.Remove(stranger));
    EXPECT_TRUE(list.Remove("a"));
    EXPECT_FALSE(list.Remove("a"));
    list.RemoveLast();
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"B"}));

    // Items made by the caller are owned by the list.
    EXPECT_EQ(list.AddItem(new KStringListItem("z", 26)), 1);
    EXPECT_EQ(list.InsertItemAt(0, new KStringListItem("y", 25)), 0);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"y", "B", "z"}));
    // References are pointer-sized.
    int object = 0;
    list.SetReferenceAt(2, reinterpret_cast<kReference>(&object));
    EXPECT_EQ(list.FindIndex(reinterpret_cast<kReference>(&object)), 2);
    list.Clear();
    EXPECT_EQ(list.GetCount(), 0);
    list.RemoveLast();  // nothing to remove
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(KStringListTest, SortAndFindEqualIgnoreCase)
{
    KStringList list;
    list.Add("delta", 4);
    list.Add("ABC", 1);
    list.Add("Charlie", 3);
    list.Add("bravo", 2);
    EXPECT_EQ(list.FindIndex("abc"), -1);
    list.Sort();
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"ABC", "bravo", "Charlie", "delta"}));
    KStringListItem** slot = list.FindEqual("abc");
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ((*slot)->mReference, 1u);
    slot = list.FindEqual("CHARLIE");
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ((*slot)->mReference, 3u);
    EXPECT_EQ(list.FindEqual("echo"), nullptr);

    KStringList empty;
    EXPECT_EQ(empty.FindEqual("abc"), nullptr);
    empty.Sort();
}

TEST(KStringListTest, TextRoundTrip)
{
    KStringList list;
    list.Add("first", 7);
    list.Add("", 8);
    list.Add("third piece", 9);
    list.Add("last", 10);
    EXPECT_EQ(Text(list), "first~~third piece~last");

    KStringList back;
    EXPECT_EQ(back.SetText("first~~third piece~last"), 3);
    EXPECT_EQ(Texts(back), Texts(list));
    for (int i = 0; i < back.GetCount(); ++i) {
        EXPECT_EQ(back.GetReferenceAt(i), 0u);
    }
    EXPECT_EQ(Text(back), "first~~third piece~last");

    // GetText appends to what the string holds.
    KString out("head:");
    back.GetText(out);
    EXPECT_STREQ(out, "head:first~~third piece~last");
}

TEST(KStringListTest, SetTextPieces)
{
    KStringList list;
    list.Add("old", 1);
    // The piece after the last "~" is added only when it is not empty.
    EXPECT_EQ(list.SetText("a~"), 0);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"a"}));
    EXPECT_EQ(list.SetText("~a"), 1);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"", "a"}));
    EXPECT_EQ(list.SetText("~~"), 1);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(list.SetText(""), 0);
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.SetText(nullptr), 0);
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.SetText("one"), 0);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"one"}));

    // The text may come from the list itself.
    list.SetText("x~y~z");
    EXPECT_EQ(list.SetText(list.GetStringAt(1)), 0);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"y"}));
}

TEST(KStringListTest, CopyAndAssignment)
{
    KStringList list;
    list.Add("a", 1);
    list.Add("b", 2);

    KStringList copy(list);
    EXPECT_EQ(Texts(copy), Texts(list));
    EXPECT_EQ(copy.GetReferenceAt(1), 2u);
    EXPECT_NE(copy.GetItemAt(0), list.GetItemAt(0));

    KStringList assigned;
    assigned.Add("zz", 9);
    assigned = list;
    EXPECT_EQ(Texts(assigned), Texts(list));
    EXPECT_EQ(assigned.GetReferenceAt(0), 1u);
    EXPECT_NE(assigned.GetItemAt(1), list.GetItemAt(1));
    assigned.SetStringAt(0, "changed");
    EXPECT_STREQ(list.GetStringAt(0), "a");

    // Assigning or copying a list onto itself keeps its items.
    KStringList& alias = list;
    list = alias;
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"a", "b"}));
    list.CopyFrom(&list);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(list.GetReferenceAt(1), 2u);
}
