// The lens modifier, unsigned sort and search of index arrays, and the
// component selection texts of the skin binding.
#include "plugin_test_util.h"

#include <cmath>
#include <limits>

#include "plugin/import/qoxzeltcomponentselection.h"
#include "plugin/import/qoxzeltimportutility.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

std::vector<int> Items(const KArrayTemplate<int>& array)
{
    std::vector<int> out;
    for (int i = 0; i < array.GetCount(); ++i)
        out.push_back(array[i]);
    return out;
}

TEST(FovToFocalLength, WorkedValues)
{
    QoxFOVToFocalLengthModifier vertical;
    vertical.mApertureMode = 2;
    vertical.mFilmHeight = 24.0;
    vertical.mFilmWidth = 1000.0; // not used in mode 2
    EXPECT_NEAR(vertical.Modify(90.0), 12.0, 1e-12);
    EXPECT_EQ(vertical.Modify(90), 12); // 12.000000000000002 truncates
    EXPECT_NEAR(vertical.Modify(90.0f), 12.0f, 1e-5f);

    QoxFOVToFocalLengthModifier squeezed;
    squeezed.mApertureMode = 0;
    squeezed.mFilmWidth = 36.0;
    squeezed.mSqueezeRatio = 2.0;
    EXPECT_NEAR(squeezed.Modify(40.0), 98.909, 1e-3);
    EXPECT_EQ(squeezed.Modify(40), 98);
    EXPECT_EQ(squeezed.Modify(40L), 98L);
    EXPECT_EQ(squeezed.Modify(40u), 98u);
    // Mode 1 uses the horizontal aperture as well.
    squeezed.mApertureMode = 1;
    EXPECT_NEAR(squeezed.Modify(40.0), 98.909, 1e-3);

    // Zero in every form; 180 degrees gives about 0.
    EXPECT_EQ(squeezed.Modify(0.0), 0.0);
    EXPECT_EQ(squeezed.Modify(0.0f), 0.0f);
    EXPECT_EQ(squeezed.Modify(0), 0);
    EXPECT_EQ(squeezed.Modify(0L), 0L);
    EXPECT_EQ(squeezed.Modify(0u), 0u);
    EXPECT_NEAR(squeezed.Modify(180.0), 0.0, 1e-12);
}

TEST(FovToFocalLength, ExtremeInputsStayInRange)
{
    QoxFOVToFocalLengthModifier lens;
    lens.mFilmWidth = 36.0;
    // A field of view near 0 gives huge focal lengths: clamped in integers.
    EXPECT_EQ(lens.Modify(1e-300), 36.0 / std::tan(1e-300 * 0.017453292519943295 * 0.5) * 0.5);
    lens.mFilmWidth = 1e12;
    EXPECT_EQ(lens.Modify(1), std::numeric_limits<int>::max());
    EXPECT_EQ(lens.Modify(-1), std::numeric_limits<int>::min());
    // Long is read as a 32-bit value: 2^32 + 90 is 90.
    lens.mFilmWidth = 24.0;
    EXPECT_EQ(lens.Modify((1L << 32) + 90L), 12L);
    // NaN apertures give NaN or 0, never a trap.
    lens.mFilmWidth = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(lens.Modify(30.0)));
    EXPECT_EQ(lens.Modify(30), 0);
    EXPECT_EQ(lens.Modify(30u), 0u);
}

TEST(UnsignedIndexArrays, SortSearchAndFindAfter)
{
    KArrayTemplate<int> items;
    QSortArrayTemplate(items);
    EXPECT_FALSE(BSearchArrayTemplate(items, 0));
    for (int v : {3, -1, 0})
        items.Add(v);
    QSortArrayTemplate(items);
    EXPECT_EQ(Items(items), (std::vector<int>{0, 3, -1}));
    EXPECT_TRUE(BSearchArrayTemplate(items, -1));
    EXPECT_TRUE(BSearchArrayTemplate(items, 3));
    EXPECT_TRUE(BSearchArrayTemplate(items, 0));
    EXPECT_FALSE(BSearchArrayTemplate(items, 1));
    EXPECT_FALSE(BSearchArrayTemplate(items, std::numeric_limits<int>::min()));

    KArrayTemplate<int> fives;
    for (int v : {5, 7, 5})
        fives.Add(v);
    EXPECT_EQ(fives.FindAfter(0, 5), 2);
    EXPECT_EQ(fives.FindAfter(2, 5), -1);
    EXPECT_EQ(fives.FindAfter(-1, 5), 0);
}

class SelectionTest : public ::testing::Test
{
protected:
    KQoxLink* Link(std::initializer_list<int> indices)
    {
        KQoxLink* link = mManager.CreateKQoxLink();
        for (int i : indices)
            link->AddControlPointIndex(i, 1.0);
        return link;
    }
    KQoxSdkManager mManager;
};

TEST_F(SelectionTest, ElementsAreTheSortedUnionOfTheLinks)
{
    KArrayTemplate<int> list;
    FillClusterElements(list, Link({3, 1}));
    FillClusterElements(list, Link({1, 2}));
    FillClusterElements(list, nullptr);
    EXPECT_EQ(Items(list), (std::vector<int>{1, 2, 3}));
    FillClusterElements(list, Link({100000, 0, 3, 50}));
    EXPECT_EQ(Items(list), (std::vector<int>{0, 1, 2, 3, 50, 100000}));

    // A large link in descending order: each index once, ascending.
    KQoxLink* big = mManager.CreateKQoxLink();
    for (int i = 99999; i >= 0; --i)
        big->AddControlPointIndex(i % 50000, 0.5);
    KArrayTemplate<int> many;
    FillClusterElements(many, big);
    ASSERT_EQ(many.GetCount(), 50000);
    for (int i = 0; i < many.GetCount(); ++i)
        ASSERT_EQ(many[i], i);
}

TEST_F(SelectionTest, RangesAndTheirText)
{
    KString prefix("P.vtx");
    const struct
    {
        std::vector<int> mList;
        const char* mText;
    } rows[] = {
        {{0, 1, 2, 3, 7, 9, 10}, " P.vtx[0:3] P.vtx[7] P.vtx[9:10]"},
        {{4}, " P.vtx[4]"},
        {{}, "before"},
        {{5, 6}, " P.vtx[5:6]"},
        {{1, 3, 5}, " P.vtx[1] P.vtx[3] P.vtx[5]"},
        {{2147483646, 2147483647}, " P.vtx[2147483646:2147483647]"},
    };
    for (const auto& row : rows)
    {
        KArrayTemplate<int> list;
        for (int v : row.mList)
            list.Add(v);
        KString text(row.mList.empty() ? "before" : "");
        BuildSelectCommandArgFromElementRange(text, GroupElementsByRange(list), prefix);
        EXPECT_STREQ(text.ToChars(), row.mText);
    }
}

TEST_F(SelectionTest, ControlVerticesAreWrittenOneByOne)
{
    KQoxNurb* surface = mManager.CreateKQoxNurb();
    surface->InitControlPoints(4, KQoxNurb::ePERIODIC, 3, KQoxNurb::eOPEN);
    KArrayTemplate<int> list;
    for (int v : {0, 5, 9})
        list.Add(v);
    KString prefix("|s|sShape.cv");
    KString text("x");
    EXPECT_TRUE(BuildSelectCommandArgFromElementCV(text, list, prefix, surface));
    EXPECT_STREQ(text.ToChars(), "x |s|sShape.cv[0][0] |s|sShape.cv[1][1] |s|sShape.cv[2][1]");

    // A surface without U control points cannot be divided: nothing written.
    KQoxNurb* empty = mManager.CreateKQoxNurb();
    KString none("y");
    EXPECT_FALSE(BuildSelectCommandArgFromElementCV(none, list, prefix, empty));
    EXPECT_FALSE(BuildSelectCommandArgFromElementCV(none, list, prefix, nullptr));
    EXPECT_STREQ(none.ToChars(), "y");
}

} // namespace
